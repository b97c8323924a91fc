#include "model/DibStream.h"

#include <algorithm>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace zepho {

void PackBitsEncode(const BYTE* data, std::size_t n, std::size_t step, std::vector<BYTE>& out) {
    auto at = [&](std::size_t i) { return data[i * step]; };
    std::size_t i = 0;
    while (i < n) {
        if (i + 1 < n && at(i + 1) == at(i)) {
            std::size_t len = 2;
            while (i + len < n && len < 128 && at(i + len) == at(i)) ++len;
            out.push_back(static_cast<BYTE>(1 - static_cast<int>(len)));
            out.push_back(at(i));
            i += len;
        } else {
            // The copy run stops before a byte that equals its successor: that byte starts
            // the next (repeat) run.
            std::size_t len = 1;
            while (len < 128 && i + len < n && !(i + len + 1 < n && at(i + len) == at(i + len + 1))) ++len;
            out.push_back(static_cast<BYTE>(len - 1));
            for (std::size_t k = 0; k < len; ++k) out.push_back(at(i + k));
            i += len;
        }
    }
}

std::size_t WriteDIBStream(ByteWriter& out, const PackedDib& dib) {
    if (!dib.Is32()) return 0;
    const int w = dib.Width(), h = dib.Height();
    const std::uint64_t start = out.Tell();
    out.WriteI32(w);
    out.WriteI32(h);
    std::vector<BYTE> packed;
    static constexpr int kPlaneByte[4] = {2, 1, 0, 3}; // red, green, blue, alpha
    for (int plane : kPlaneByte) {
        for (int y = 0; y < h; ++y) {
            packed.clear();
            PackBitsEncode(dib.Row(y) + plane, static_cast<std::size_t>(w), 4, packed);
            out.Write(packed.data(), packed.size());
        }
    }
    if (out.Failed()) return 0;
    return static_cast<std::size_t>(out.Tell() - start);
}

namespace {

// Decodes one row of `w` bytes from [p, end) into out[0..w). Bytes past the row's end are
// consumed and dropped; a header byte 0x80 is skipped. Returns where the next row starts, or null
// when the bytes ran out before the row was complete. Every run is copied in 16-byte pieces: the
// input is padded for reads past a run's end and `out` holds kRowSlack bytes past w.
constexpr int kRowSlack = 128 + 16;

const BYTE* DecodeRow(const BYTE* p, const BYTE* end, BYTE* out, int w) {
    int x = 0;
    while (x < w) {
        if (p == end) return nullptr;
        const BYTE h = *p;
        if (h < 0x80) {
            const int n = h + 1;
            if (end - p - 1 < n) return nullptr;
            for (int k = 0; k < n; k += 16) std::memcpy(out + x + k, p + 1 + k, 16);
            x += n;
            p += n + 1;
        } else if (h > 0x80) {
            if (end - p < 2) return nullptr;
            const int n = 257 - h;
            BYTE v[16];
            std::memset(v, p[1], 16);
            for (int k = 0; k < n; k += 16) std::memcpy(out + x + k, v, 16);
            x += n;
            p += 2;
        } else {
            ++p;
        }
    }
    return p;
}

// Pixels of a row from its red, green, blue and alpha bytes (`out` must not overlap them).
void Interleave(BYTE* out, const BYTE* r, const BYTE* g, const BYTE* b, const BYTE* a, int w) {
    int x = 0;
#if defined(__SSE2__)
    for (; x + 16 <= w; x += 16) {
        auto load = [x](const BYTE* s) { return _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + x)); };
        const __m128i vr = load(r), vg = load(g), vb = load(b), va = load(a);
        const __m128i bgLo = _mm_unpacklo_epi8(vb, vg), bgHi = _mm_unpackhi_epi8(vb, vg);
        const __m128i raLo = _mm_unpacklo_epi8(vr, va), raHi = _mm_unpackhi_epi8(vr, va);
        auto* o = reinterpret_cast<__m128i*>(out + 4 * x);
        _mm_storeu_si128(o + 0, _mm_unpacklo_epi16(bgLo, raLo));
        _mm_storeu_si128(o + 1, _mm_unpackhi_epi16(bgLo, raLo));
        _mm_storeu_si128(o + 2, _mm_unpacklo_epi16(bgHi, raHi));
        _mm_storeu_si128(o + 3, _mm_unpackhi_epi16(bgHi, raHi));
    }
#endif
    for (; x < w; ++x) {
        BYTE* px = out + 4 * x;
        const BYTE cb = b[x], cg = g[x], cr = r[x], ca = a[x];
        px[0] = cb, px[1] = cg, px[2] = cr, px[3] = ca;
    }
}

// Feeds rows to the decoder from large reads; at the end gives back to the reader what was
// read but not used, so that the reader stands just after the stream.
class RowSource {
public:
    RowSource(ByteReader& in, std::uint64_t limit) : in_(in), left_(std::min(limit, in.Remaining())) {}

    bool Decode(BYTE* out, int w) {
        for (;;) {
            if (const BYTE* next = DecodeRow(buf_.data() + pos_, buf_.data() + len_, out, w)) {
                pos_ = static_cast<std::size_t>(next - buf_.data());
                return true;
            }
            if (!Refill()) return false;
        }
    }
    void GiveBack() { in_.Seek(in_.Tell() - (len_ - pos_)); }

private:
    // Keeps the unread tail, then reads at least as much again (a row may be long).
    bool Refill() {
        if (left_ == 0) return false;
        const std::size_t keep = len_ - pos_;
        const std::size_t want = std::max<std::size_t>(kBlock, keep);
        const std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(want, left_));
        if (pos_ > 0 && keep > 0) std::memmove(buf_.data(), buf_.data() + pos_, keep);
        if (buf_.size() < keep + n + kPad) buf_.resize(keep + n + kPad);
        if (!in_.Read(buf_.data() + keep, n)) return false;
        pos_ = 0;
        len_ = keep + n;
        left_ -= n;
        return true;
    }

    static constexpr std::size_t kBlock = 256 * 1024;
    static constexpr std::size_t kPad = 16; // runs are copied in 16-byte pieces
    ByteReader& in_;
    std::uint64_t left_;
    std::vector<BYTE> buf_;
    std::size_t pos_ = 0, len_ = 0;
};

} // namespace

std::uint64_t MinimumPlaneBytes(std::uint64_t w, std::uint64_t h) { return 4 * h * ((w + 127) / 128) * 2; }

// The red, green and blue planes are decoded first into the front three quarters of the raster's
// own block, the three rows of stored row j side by side at 3 * w * j; then each alpha row, as it
// is decoded, is interleaved with its row's three planes into the pixels. The stored rows go up
// the block as the picture's rows come down, so pixel row j (at 4 * w * j) only covers plane rows
// at or below j, which are used by then; rows 0..2 overlap their own planes and go through a copy.
bool ReadDIBPlanes(ByteReader& in, PackedDib& dib, std::uint64_t limit) {
    if (!dib.Is32()) return false;
    const int w = dib.Width(), h = dib.Height();
    if (MinimumPlaneBytes(w, h) > std::min(limit, in.Remaining())) return false;
    const std::size_t uw = static_cast<std::size_t>(w);
    BYTE* const block = dib.Bits();
    auto planeRow = [&](int y, int c) { return block + 3 * uw * static_cast<std::size_t>(h - 1 - y) + c * uw; };
    RowSource src(in, limit);
    std::vector<BYTE> row(uw + kRowSlack), rgb(3 * uw);
    for (int c = 0; c < 3; ++c)
        for (int y = 0; y < h; ++y) {
            if (!src.Decode(row.data(), w)) return false;
            std::memcpy(planeRow(y, c), row.data(), uw);
        }
    for (int y = 0; y < h; ++y) {
        if (!src.Decode(row.data(), w)) return false;
        const BYTE* planes = planeRow(y, 0);
        if (h - 1 - y < 3) planes = static_cast<const BYTE*>(std::memcpy(rgb.data(), planes, 3 * uw));
        Interleave(dib.Row(y), planes, planes + uw, planes + 2 * uw, row.data(), w);
    }
    src.GiveBack();
    return true;
}

PackedDib ReadDIBStream(ByteReader& in) {
    LONG w = 0, h = 0;
    if (!in.ReadI32(w) || !in.ReadI32(h) || w <= 0 || h <= 0) return {};
    // A stream too short for the rows it claims is refused before anything is allocated.
    if (MinimumPlaneBytes(w, h) > in.Remaining()) return {};
    PackedDib dib = PackedDib::Create(w, h, 32);
    if (!dib || !ReadDIBPlanes(in, dib, in.Remaining())) return {};
    return dib;
}

} // namespace zepho
