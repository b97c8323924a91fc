// TGA files: colour-mapped (1, 9), true-colour (2, 10) and grey (3, 11) images, raw or run-length
// coded, 8, 15, 16, 24 and 32 bits, rows stored from the bottom or the top, right-to-left too.
#include "extlib/ImageIOCodecs.h"
#include "extlib/ImageIOUtil.h"

#include <cstring>

namespace zepho {

using namespace imageio;

namespace {

constexpr std::size_t kHeader = 18;

// Reads the pixel stream, raw or as run-length packets, into `pixels` (count * bpp bytes). Packets
// may run across rows. False when the data ends first.
bool ReadPixels(std::span<const BYTE> data, bool rle, int bpp, std::size_t count, BYTE* pixels,
                RowProgress& progress, std::size_t perRow) {
    const std::size_t need = count * bpp;
    if (!rle) {
        if (data.size() < need) return false;
        std::memcpy(pixels, data.data(), need);
        return true;
    }
    std::size_t p = 0, done = 0;
    const std::size_t n = data.size();
    while (done < count) {
        if (p >= n) return false;
        const BYTE head = data[p++];
        const std::size_t run = std::min<std::size_t>((head & 0x7F) + 1, count - done);
        BYTE* dst = pixels + done * bpp;
        if (head & 0x80) {
            if (n - p < static_cast<std::size_t>(bpp)) return false;
            for (std::size_t i = 0; i < run; ++i)
                std::memcpy(dst + i * bpp, &data[p], bpp);
            p += bpp;
        } else {
            const std::size_t bytes = ((head & 0x7F) + 1) * static_cast<std::size_t>(bpp);
            if (n - p < bytes) return false;
            std::memcpy(dst, &data[p], run * bpp);
            p += bytes;
        }
        done += run;
        progress.Update(done / perRow);
    }
    return true;
}

RGBQUAD MapEntry(const BYTE* e, int bits) {
    if (bits == 15 || bits == 16) {
        const WORD v = Le16(e);
        auto five = [](int c) { return static_cast<BYTE>((c << 3) | (c >> 2)); };
        return RGBQUAD{five(v & 31), five((v >> 5) & 31), five((v >> 10) & 31), 0};
    }
    return RGBQUAD{e[0], e[1], e[2], 0};
}

} // namespace

PackedDib DecodeTga(std::span<const BYTE> f, IProgress* progress) {
    if (f.size() < kHeader) return {};
    const int idLength = f[0], mapType = f[1], type = f[2];
    const int mapFirst = Le16(&f[3]), mapLength = Le16(&f[5]), mapBits = f[7];
    const int w = Le16(&f[12]), h = Le16(&f[14]), depth = f[16], descriptor = f[17];
    const bool rle = type >= 9;
    const int base = rle ? type - 8 : type;
    if (base < 1 || base > 3 || w == 0 || h == 0 || mapType > 1) return {};

    int outBits = 0;
    if (base == 1) {
        if (mapType != 1 || depth != 8 || mapLength == 0) return {};
        if (mapBits != 15 && mapBits != 16 && mapBits != 24 && mapBits != 32) return {};
        outBits = 8;
    } else if (base == 3) {
        if (depth != 8) return {};
        outBits = 8;
    } else {
        if (depth == 15 || depth == 16)
            outBits = 16;
        else if (depth == 24)
            outBits = 24;
        else if (depth == 32)
            outBits = (descriptor & 0x0F) ? 32 : 24;
        else
            return {};
    }
    const int bpp = (depth + 7) / 8;

    std::size_t pos = kHeader + idLength;
    const std::size_t mapEntryBytes = mapType ? (static_cast<std::size_t>(mapBits) + 7) / 8 : 0;
    const std::size_t mapBytes = mapEntryBytes * mapLength;
    if (f.size() < pos + mapBytes) return {};
    const std::size_t mapStart = pos;
    pos += mapBytes;

    const std::size_t count = static_cast<std::size_t>(w) * h;
    const std::span<const BYTE> data = f.subspan(pos);
    // A raw image needs all its bytes; a run-length one at least one packet per 128 pixels.
    const std::uint64_t least = rle ? (count + 127) / 128 * (1 + bpp) : count * bpp;
    if (least > data.size()) return {};

    int colours = 0;
    if (base == 1) colours = std::min(256, mapFirst + mapLength);
    if (base == 3) colours = 256;
    PackedDib dib = PackedDib::Create(w, h, outBits, colours);
    std::vector<BYTE> pixels;
    try {
        pixels.resize(count * bpp);
    } catch (const std::bad_alloc&) {
        return {};
    }
    if (!dib) return dib;
    if (base == 1) {
        RGBQUAD* table = dib.ColorTable();
        for (int i = mapFirst; i < colours; ++i)
            table[i] = MapEntry(&f[mapStart + (i - mapFirst) * mapEntryBytes], mapBits);
    } else if (base == 3) {
        SetGrayRamp(dib, 256);
    }

    RowProgress steps(progress, static_cast<std::uint64_t>(h));
    if (!ReadPixels(data, rle, bpp, count, pixels.data(), steps, static_cast<std::size_t>(w))) return {};

    const bool topDown = (descriptor & 0x20) != 0, rightToLeft = (descriptor & 0x10) != 0;
    for (int i = 0; i < h; ++i) {
        const BYTE* src = pixels.data() + static_cast<std::size_t>(i) * w * bpp;
        BYTE* dst = dib.Row(topDown ? i : h - 1 - i);
        for (int x = 0; x < w; ++x) {
            const BYTE* s = src + static_cast<std::size_t>(rightToLeft ? w - 1 - x : x) * bpp;
            switch (outBits) {
            case 8:
                dst[x] = s[0];
                break;
            case 16: {
                const WORD v = static_cast<WORD>(Le16(s) & 0x7FFF);
                dst[2 * x] = static_cast<BYTE>(v);
                dst[2 * x + 1] = static_cast<BYTE>(v >> 8);
                break;
            }
            case 24:
                std::memcpy(dst + 3 * x, s, 3);
                break;
            default:
                std::memcpy(dst + 4 * x, s, 4);
                break;
            }
        }
    }
    steps.Finish();
    return dib;
}

namespace {

// One row of pixels as run-length packets: runs of 2..128 equal pixels, literals of up to 128.
void PackRow(const BYTE* px, int w, int bpp, std::vector<BYTE>& out) {
    int x = 0;
    auto same = [&](int a, int b) { return std::memcmp(px + a * bpp, px + b * bpp, bpp) == 0; };
    while (x < w) {
        int run = 1;
        while (x + run < w && run < 128 && same(x, x + run))
            ++run;
        if (run >= 2) {
            out.push_back(static_cast<BYTE>(0x80 | (run - 1)));
            out.insert(out.end(), px + x * bpp, px + (x + 1) * bpp);
            x += run;
            continue;
        }
        int lit = 1;
        while (x + lit < w && lit < 128 && !(x + lit + 1 < w && same(x + lit, x + lit + 1)))
            ++lit;
        out.push_back(static_cast<BYTE>(lit - 1));
        out.insert(out.end(), px + x * bpp, px + (x + lit) * bpp);
        x += lit;
    }
}

} // namespace

bool EncodeTga(const PackedDib& dib, DWORD options, ByteWriter& out, IProgress* progress) {
    if (!Writable(dib)) return false;
    const int w = dib.Width(), h = dib.Height(), bits = dib.BitCount();
    if (w > 0xFFFF || h > 0xFFFF) return false;
    const bool rle = (options & kTgaRle) != 0, bottomUp = (options & kTgaBottomUp) != 0;
    const bool masked = dib.Header()->biCompression == BI_BITFIELDS;

    int depth = 24, type = 2, colours = 0;
    if (bits <= 8) {
        depth = 8;
        type = 1;
        colours = PaletteEntries(dib);
    } else if (bits == 16 && !masked) {
        depth = 16;
    } else if (bits == 32 && !masked) {
        depth = 32;
    }
    if (rle) type += 8;
    const int bpp = depth / 8;

    BYTE header[kHeader] = {};
    header[1] = colours ? 1 : 0;
    header[2] = static_cast<BYTE>(type);
    header[5] = static_cast<BYTE>(colours);
    header[6] = static_cast<BYTE>(colours >> 8);
    header[7] = colours ? 24 : 0;
    header[12] = static_cast<BYTE>(w);
    header[13] = static_cast<BYTE>(w >> 8);
    header[14] = static_cast<BYTE>(h);
    header[15] = static_cast<BYTE>(h >> 8);
    header[16] = static_cast<BYTE>(depth);
    header[17] = static_cast<BYTE>((depth == 32 ? 8 : 0) | (bottomUp ? 0 : 0x20));
    if (!out.Write(header, sizeof header)) return false;
    for (int i = 0; i < colours; ++i) {
        const RGBQUAD c = PaletteColor(dib, i);
        const BYTE e[3] = {c.rgbBlue, c.rgbGreen, c.rgbRed};
        if (!out.Write(e, 3)) return false;
    }

    std::vector<BYTE> row(static_cast<std::size_t>(w) * bpp), packed;
    packed.reserve(row.size() + row.size() / 64 + 2);
    RowProgress steps(progress, static_cast<std::uint64_t>(h));
    for (int i = 0; i < h; ++i) {
        const int y = bottomUp ? h - 1 - i : i;
        const BYTE* src = dib.Row(y);
        if (bits <= 8) {
            const int perByte = 8 / bits, mask = (1 << bits) - 1;
            for (int x = 0; x < w; ++x)
                row[x] = static_cast<BYTE>((src[x / perByte] >> (8 - bits - (x % perByte) * bits)) & mask);
        } else if (depth == 24) {
            RowToBgr(dib, y, row.data());
        } else {
            std::memcpy(row.data(), src, row.size());
        }
        const BYTE* put = row.data();
        std::size_t size = row.size();
        if (rle) {
            packed.clear();
            PackRow(row.data(), w, bpp, packed);
            put = packed.data();
            size = packed.size();
        }
        if (!out.Write(put, size)) return false;
        steps.Update(static_cast<std::uint64_t>(i) + 1);
    }
    return true;
}

} // namespace zepho
