#include "extlib/ImageIOUtil.h"

#include "platform/ByteStream.h"

#include <bit>
#include <cstring>
#include <new>

namespace zepho::imageio {

bool ReadWholeFile(const std::string& path, std::vector<BYTE>& out) {
    FileReader in(path);
    if (!in.IsOpen()) return false;
    // Nothing we read can be larger than the largest image block we would hold.
    if (in.Size() > PackedDib::kMaxBytes) return false;
    try {
        out.resize(static_cast<std::size_t>(in.Size()));
    } catch (const std::bad_alloc&) {
        return false;
    }
    return in.Read(out.data(), out.size());
}

void SetGrayRamp(PackedDib& dib, int n) {
    RGBQUAD* table = dib.ColorTable();
    if (!table || n < 2) return;
    n = std::min(n, dib.ColorCount());
    for (int i = 0; i < n; ++i) {
        const BYTE v = static_cast<BYTE>(i * 255 / (n - 1));
        table[i] = RGBQUAD{v, v, v, 0};
    }
}

bool IsGrayPalette(const PackedDib& dib) {
    const RGBQUAD* table = dib.ColorTable();
    if (!table) return false;
    const int n = dib.ColorCount();
    for (int i = 0; i < n; ++i)
        if (table[i].rgbRed != table[i].rgbGreen || table[i].rgbGreen != table[i].rgbBlue) return false;
    return true;
}

int MaxIndex(const PackedDib& dib) {
    const int bits = dib.BitCount();
    if (bits > 8) return 0;
    const int w = dib.Width(), h = dib.Height();
    int best = 0;
    for (int y = 0; y < h; ++y) {
        const BYTE* row = dib.Row(y);
        if (bits == 8) {
            for (int x = 0; x < w; ++x)
                best = std::max<int>(best, row[x]);
        } else {
            const int perByte = 8 / bits, mask = (1 << bits) - 1;
            for (int x = 0; x < w; ++x) {
                const int shift = 8 - bits - (x % perByte) * bits;
                best = std::max(best, (row[x / perByte] >> shift) & mask);
            }
        }
        if (best == (1 << bits) - 1) break;
    }
    return best;
}

int PaletteEntries(const PackedDib& dib) {
    const int bits = dib.BitCount();
    if (bits > 8) return 0;
    const int n = std::min(dib.ColorCount(), 1 << bits);
    return std::max(n, MaxIndex(dib) + 1);
}

RGBQUAD PaletteColor(const PackedDib& dib, int i) {
    const RGBQUAD* table = dib.ColorTable();
    if (!table || i < 0 || i >= dib.ColorCount()) return RGBQUAD{0, 0, 0, 0};
    return table[i];
}

namespace {

struct Channel {
    DWORD mask = 0;
    int shift = 0;
    int width = 0;
    explicit Channel(DWORD m) : mask(m) {
        if (!m) return;
        shift = std::countr_zero(m);
        width = std::min(std::popcount(m >> shift), 32);
    }
    BYTE Get(DWORD px) const {
        if (!mask) return 0;
        const DWORD v = (px & mask) >> shift;
        if (width >= 8) return static_cast<BYTE>(v >> (width - 8));
        const DWORD max = (DWORD{1} << width) - 1;
        return static_cast<BYTE>((v * 255 + max / 2) / max);
    }
};

} // namespace

void RowToBgr(const PackedDib& dib, int y, BYTE* out) {
    const int w = dib.Width(), bits = dib.BitCount();
    const BYTE* row = dib.Row(y);
    if (bits <= 8) {
        const RGBQUAD* table = dib.ColorTable();
        const int n = dib.ColorCount();
        const int perByte = 8 / bits, mask = (1 << bits) - 1;
        for (int x = 0; x < w; ++x, out += 3) {
            const int shift = 8 - bits - (x % perByte) * bits;
            const int i = (row[x / perByte] >> shift) & mask;
            if (i < n) {
                out[0] = table[i].rgbBlue;
                out[1] = table[i].rgbGreen;
                out[2] = table[i].rgbRed;
            } else {
                out[0] = out[1] = out[2] = 0;
            }
        }
        return;
    }
    if (bits == 24) {
        std::memcpy(out, row, 3 * static_cast<std::size_t>(w));
        return;
    }
    const DWORD* masks = dib.Masks();
    const DWORD defaults16[3] = {0x7C00, 0x03E0, 0x001F};
    const DWORD defaults32[3] = {0xFF0000, 0x00FF00, 0x0000FF};
    const DWORD* m = masks ? masks : (bits == 16 ? defaults16 : defaults32);
    const Channel r(m[0]), g(m[1]), b(m[2]);
    for (int x = 0; x < w; ++x, out += 3) {
        const DWORD px = bits == 16 ? Le16(row + 2 * x) : Le32(row + 4 * x);
        out[0] = b.Get(px);
        out[1] = g.Get(px);
        out[2] = r.Get(px);
    }
}

PackedDib ToBgr24(const PackedDib& dib) {
    if (!Writable(dib)) return {};
    PackedDib out = PackedDib::Create(dib.Width(), dib.Height(), 24);
    if (!out) return out;
    for (int y = 0; y < dib.Height(); ++y)
        RowToBgr(dib, y, out.Row(y));
    return out;
}

bool Writable(const PackedDib& dib) {
    if (!dib || dib.Width() <= 0 || dib.Height() <= 0) return false;
    std::size_t offset = 0, total = 0;
    return PackedDib::Layout(*dib.Header(), offset, total) && total <= dib.Size();
}

} // namespace zepho::imageio
