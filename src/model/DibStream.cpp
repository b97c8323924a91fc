#include "model/DibStream.h"

#include <algorithm>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace zepho {

namespace {

int FirstSet(unsigned mask) {
    return __builtin_ctz(mask);
}

// The first k in [from, limit) where b[k] == b[k + 1] (k + 1 < n), or limit.
std::size_t FirstPair(const BYTE* b, std::size_t from, std::size_t limit, std::size_t n) {
    std::size_t k = from;
#if defined(__SSE2__)
    for (; k + 16 < n && k < limit; k += 16) {
        const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(b + k));
        const __m128i next = _mm_loadu_si128(reinterpret_cast<const __m128i*>(b + k + 1));
        if (const unsigned m = static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(a, next))))
            return std::min(limit, k + FirstSet(m));
    }
#endif
    for (; k < limit; ++k)
        if (k + 1 < n && b[k] == b[k + 1]) return k;
    return limit;
}

// The first k in [from, limit) where b[k] != v, or limit.
std::size_t FirstOther(const BYTE* b, std::size_t from, std::size_t limit, BYTE v) {
    std::size_t k = from;
#if defined(__SSE2__)
    const __m128i vv = _mm_set1_epi8(static_cast<char>(v));
    for (; k + 16 <= limit; k += 16) {
        const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(b + k));
        if (const unsigned m = ~static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(a, vv))) & 0xFFFF)
            return k + FirstSet(m);
    }
#endif
    for (; k < limit; ++k)
        if (b[k] != v) return k;
    return limit;
}

// Channel `plane` of w pixels into w contiguous bytes.
void GatherChannel(const BYTE* px, int plane, int w, BYTE* out) {
    int x = 0;
#if defined(__SSE2__)
    const __m128i low = _mm_set1_epi32(0xFF);
    const __m128i shift = _mm_cvtsi32_si128(8 * plane);
    auto take = [&](int at) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(px + 4 * at));
        return _mm_and_si128(_mm_srl_epi32(v, shift), low);
    };
    for (; x + 16 <= w; x += 16) {
        const __m128i lo = _mm_packs_epi32(take(x), take(x + 4));
        const __m128i hi = _mm_packs_epi32(take(x + 8), take(x + 12));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + x), _mm_packus_epi16(lo, hi));
    }
#endif
    for (; x < w; ++x)
        out[x] = px[4 * x + plane];
}

} // namespace

// Copy runs move in 16-byte pieces: `b` is readable and `out` writable PackBitsSlack bytes past
// their ends.
std::size_t PackBitsEncodeRow(const BYTE* b, std::size_t n, BYTE* out) {
    BYTE* o = out;
    std::size_t i = 0;
    while (i < n) {
        if (i + 1 < n && b[i + 1] == b[i]) {
            const std::size_t len = FirstOther(b, i + 2, std::min(n, i + 128), b[i]) - i;
            *o++ = static_cast<BYTE>(1 - static_cast<int>(len));
            *o++ = b[i];
            i += len;
        } else {
            // The copy run stops before a byte that equals its successor: that byte starts
            // the next (repeat) run.
            const std::size_t len = FirstPair(b, i + 1, std::min(n, i + 128), n) - i;
            *o++ = static_cast<BYTE>(len - 1);
            for (std::size_t k = 0; k < len; k += 16)
                std::memcpy(o + k, b + i + k, 16);
            o += len;
            i += len;
        }
    }
    return static_cast<std::size_t>(o - out);
}

void PackBitsEncode(const BYTE* data, std::size_t n, std::size_t step, std::vector<BYTE>& out) {
    std::vector<BYTE> gathered(n + PackBitsSlack);
    for (std::size_t i = 0; i < n; ++i)
        gathered[i] = data[i * step];
    const std::size_t at = out.size();
    out.resize(at + PackBitsBound(n));
    out.resize(at + PackBitsEncodeRow(gathered.data(), n, out.data() + at));
}

std::size_t WriteDIBStream(ByteWriter& out, const PackedDib& dib) {
    if (!dib.Is32()) return 0;
    const int w = dib.Width(), h = dib.Height();
    const std::uint64_t start = out.Tell();
    out.WriteI32(w);
    out.WriteI32(h);
    // Rows are coded into one buffer that goes out whenever it could not take another row.
    const std::size_t uw = static_cast<std::size_t>(w), rowBound = PackBitsBound(uw);
    std::vector<BYTE> row(uw + PackBitsSlack), packed(std::max<std::size_t>(rowBound, 256 * 1024));
    std::size_t used = 0;
    static constexpr int kPlaneByte[4] = {2, 1, 0, 3}; // red, green, blue, alpha
    for (int plane : kPlaneByte) {
        for (int y = 0; y < h; ++y) {
            if (packed.size() - used < rowBound) {
                out.Write(packed.data(), used);
                used = 0;
            }
            GatherChannel(dib.Row(y), plane, w, row.data());
            used += PackBitsEncodeRow(row.data(), uw, packed.data() + used);
        }
    }
    out.Write(packed.data(), used);
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
            for (int k = 0; k < n; k += 16)
                std::memcpy(out + x + k, p + 1 + k, 16);
            x += n;
            p += n + 1;
        } else if (h > 0x80) {
            if (end - p < 2) return nullptr;
            const int n = 257 - h;
            BYTE v[16];
            std::memset(v, p[1], 16);
            for (int k = 0; k < n; k += 16)
                std::memcpy(out + x + k, v, 16);
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

std::uint64_t MinimumPlaneBytes(std::uint64_t w, std::uint64_t h) {
    return 4 * h * ((w + 127) / 128) * 2;
}

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
    auto planeRow = [&](int y, int c) {
        return block + 3 * uw * static_cast<std::size_t>(h - 1 - y) + c * uw;
    };
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

PackedDib ReadDIBStream(ByteReader& in, std::uint64_t limit) {
    LONG w = 0, h = 0;
    if (limit < 8 || !in.ReadI32(w) || !in.ReadI32(h) || w <= 0 || h <= 0) return {};
    const std::uint64_t left = std::min(limit - 8, in.Remaining());
    // A stream too short for the rows it claims is refused before anything is allocated.
    if (MinimumPlaneBytes(w, h) > left) return {};
    PackedDib dib = PackedDib::Create(w, h, 32);
    if (!dib || !ReadDIBPlanes(in, dib, left)) return {};
    return dib;
}

} // namespace zepho
