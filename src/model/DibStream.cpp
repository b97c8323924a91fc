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
            std::size_t len = 1;
            while (len < 128 && i + len < n && at(i + len - 1) != at(i + len)) ++len;
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

// Reads the stream in blocks and gives back, at the end, what it did not use.
class BlockSource {
public:
    explicit BlockSource(ByteReader& in) : in_(in) {}
    bool Next(BYTE& b) {
        if (pos_ == len_) {
            const std::uint64_t n = std::min<std::uint64_t>(sizeof buf_, in_.Remaining());
            if (n == 0 || !in_.Read(buf_, static_cast<std::size_t>(n))) return false;
            len_ = static_cast<std::size_t>(n);
            pos_ = 0;
        }
        b = buf_[pos_++];
        return true;
    }
    void GiveBack() { in_.Seek(in_.Tell() - (len_ - pos_)); }

private:
    ByteReader& in_;
    BYTE buf_[1024];
    std::size_t pos_ = 0, len_ = 0;
};

// Decodes one row of `w` bytes into every fourth byte of dst. Bytes past the row's end are
// consumed and dropped.
bool DecodeRow(BlockSource& src, BYTE* dst, int w) {
    int x = 0;
    BYTE h, v;
    while (x < w) {
        if (!src.Next(h)) return false;
        if (h == 0x80) continue;
        if (h < 0x80) {
            for (int k = 0; k <= h; ++k) {
                if (!src.Next(v)) return false;
                if (x < w) dst[4 * x++] = v;
            }
        } else {
            if (!src.Next(v)) return false;
            for (int k = 0; k < 257 - h; ++k)
                if (x < w) dst[4 * x++] = v;
        }
    }
    return true;
}

} // namespace

namespace {
// Every row of every plane takes at least two bytes per 128 pixels.
std::uint64_t MinimumPlaneBytes(std::uint64_t w, std::uint64_t h) { return 4 * h * ((w + 127) / 128) * 2; }
} // namespace

bool ReadDIBPlanes(ByteReader& in, PackedDib& dib, std::uint64_t limit) {
    if (!dib.Is32()) return false;
    const int w = dib.Width(), h = dib.Height();
    if (MinimumPlaneBytes(w, h) > std::min(limit, in.Remaining())) return false;
    BlockSource src(in);
    static constexpr int kPlaneByte[4] = {2, 1, 0, 3};
    for (int plane : kPlaneByte)
        for (int y = 0; y < h; ++y)
            if (!DecodeRow(src, dib.Row(y) + plane, w)) return false;
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
