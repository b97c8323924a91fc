#include "model/DibStream.h"

#include <algorithm>
#include <cstring>

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

// Decodes one row of `w` bytes from [p, end) into every fourth byte of dst. Bytes past the row's
// end are consumed and dropped; a header byte 0x80 is skipped. Returns where the next row starts,
// or null when the bytes ran out before the row was complete.
const BYTE* DecodeRow(const BYTE* p, const BYTE* end, BYTE* dst, int w) {
    int x = 0;
    while (x < w) {
        if (p == end) return nullptr;
        const BYTE h = *p++;
        if (h == 0x80) continue;
        if (h < 0x80) {
            const int n = h + 1;
            if (end - p < n) return nullptr;
            const int take = std::min(n, w - x);
            for (int k = 0; k < take; ++k) dst[4 * (x + k)] = p[k];
            x += take;
            p += n;
        } else {
            if (p == end) return nullptr;
            const BYTE v = *p++;
            const int take = std::min(257 - h, w - x);
            for (int k = 0; k < take; ++k) dst[4 * (x + k)] = v;
            x += take;
        }
    }
    return p;
}

// Feeds rows to the decoder from large reads; at the end gives back to the reader what was
// read but not used, so that the reader stands just after the stream.
class RowSource {
public:
    RowSource(ByteReader& in, std::uint64_t limit) : in_(in), left_(std::min(limit, in.Remaining())) {}

    bool Decode(BYTE* dst, int w) {
        for (;;) {
            if (const BYTE* next = DecodeRow(buf_.data() + pos_, buf_.data() + len_, dst, w)) {
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
        if (buf_.size() < keep + n) buf_.resize(keep + n);
        if (!in_.Read(buf_.data() + keep, n)) return false;
        pos_ = 0;
        len_ = keep + n;
        left_ -= n;
        return true;
    }

    static constexpr std::size_t kBlock = 256 * 1024;
    ByteReader& in_;
    std::uint64_t left_;
    std::vector<BYTE> buf_;
    std::size_t pos_ = 0, len_ = 0;
};

} // namespace

std::uint64_t MinimumPlaneBytes(std::uint64_t w, std::uint64_t h) { return 4 * h * ((w + 127) / 128) * 2; }

bool ReadDIBPlanes(ByteReader& in, PackedDib& dib, std::uint64_t limit) {
    if (!dib.Is32()) return false;
    const int w = dib.Width(), h = dib.Height();
    if (MinimumPlaneBytes(w, h) > std::min(limit, in.Remaining())) return false;
    RowSource src(in, limit);
    static constexpr int kPlaneByte[4] = {2, 1, 0, 3};
    for (int plane : kPlaneByte)
        for (int y = 0; y < h; ++y)
            if (!src.Decode(dib.Row(y) + plane, w)) return false;
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
