// BMP and DIB files: the file header, then a packed DIB. Read are the core (12-byte) and the
// longer info headers, 1/4/8-bit palettes, RLE4 and RLE8, 16 and 32 bits with or without channel
// masks, 24 bits, bottom-up and top-down rows. A file without the "BM" header that starts with
// an info header is read as a bare packed DIB.
#include "extlib/ImageIOCodecs.h"
#include "extlib/ImageIOUtil.h"

#include <bit>
#include <climits>
#include <cstring>

namespace zepho {

using namespace imageio;

namespace {

constexpr DWORD kAlphaBitfields = 6;

struct BmpInfo {
    std::size_t headerStart = 0;
    DWORD headerSize = 0;
    LONG width = 0;
    LONG height = 0;
    bool topDown = false;
    int bits = 0;
    DWORD compression = BI_RGB;
    DWORD colorsUsed = 0;
    DWORD masks[4] = {}; // red, green, blue, alpha
    std::size_t paletteStart = 0;
    int paletteEntrySize = 4;
    std::size_t pixelStart = 0;
};

bool ParseHeader(std::span<const BYTE> f, BmpInfo& info) {
    const std::size_t size = f.size();
    std::size_t offBits = 0;
    if (size >= 14 && f[0] == 'B' && f[1] == 'M') {
        info.headerStart = 14;
        offBits = Le32(&f[10]);
    } else {
        info.headerStart = 0;
    }
    if (size < info.headerStart + 4) return false;
    info.headerSize = Le32(&f[info.headerStart]);
    const DWORD hs = info.headerSize;
    if (hs != 12 && (hs < 16 || hs > 4096)) return false;
    if (size < info.headerStart + hs) return false;
    const BYTE* h = &f[info.headerStart];
    if (hs == 12) {
        info.width = Le16(h + 4);
        info.height = Le16(h + 6);
        info.bits = Le16(h + 10);
        info.paletteEntrySize = 3;
    } else {
        // Shorter OS/2 headers leave the later fields out: they read as zero.
        BYTE full[56] = {};
        std::memcpy(full, h, std::min<std::size_t>(hs, sizeof full));
        info.width = static_cast<LONG>(Le32(full + 4));
        info.height = static_cast<LONG>(Le32(full + 8));
        info.bits = Le16(full + 14);
        info.compression = Le32(full + 16);
        info.colorsUsed = Le32(full + 32);
        if (hs >= 52)
            for (int i = 0; i < 3; ++i)
                info.masks[i] = Le32(full + 40 + 4 * i);
        if (hs >= 56) info.masks[3] = Le32(full + 52);
    }
    if (info.height < 0) {
        if (info.height == INT32_MIN) return false;
        info.height = -info.height;
        info.topDown = true;
    }
    if (info.width <= 0 || info.height <= 0) return false;
    const int b = info.bits;
    if (b != 1 && b != 4 && b != 8 && b != 16 && b != 24 && b != 32) return false;

    std::size_t after = info.headerStart + hs;
    switch (info.compression) {
    case BI_RGB:
        break;
    case BI_RLE8:
    case BI_RLE4:
        if (b != (info.compression == BI_RLE8 ? 8 : 4) || info.topDown) return false;
        break;
    case BI_BITFIELDS:
    case kAlphaBitfields: {
        if (b != 16 && b != 32) return false;
        if (hs == 40) {
            // The masks follow the header.
            const int n = info.compression == kAlphaBitfields ? 4 : 3;
            if (size < after + 4 * n) return false;
            for (int i = 0; i < n; ++i)
                info.masks[i] = Le32(&f[after + 4 * i]);
            after += 4 * n;
        } else if (hs < 52) {
            return false;
        }
        if (!info.masks[0] && !info.masks[1] && !info.masks[2]) return false;
        break;
    }
    default:
        return false;
    }

    info.paletteStart = after;
    std::size_t paletteEnd = after;
    if (b <= 8) {
        DWORD n = info.colorsUsed ? info.colorsUsed : (DWORD{1} << b);
        n = std::min<DWORD>(n, DWORD{1} << b);
        // Some writers claim more entries than they store before the pixels.
        if (offBits > after && offBits < after + n * info.paletteEntrySize)
            n = static_cast<DWORD>((offBits - after) / info.paletteEntrySize);
        if (n == 0 || size < after + n * info.paletteEntrySize) return false;
        info.colorsUsed = n;
        paletteEnd = after + n * info.paletteEntrySize;
    }
    info.pixelStart = (offBits >= paletteEnd && offBits < size) ? offBits : paletteEnd;
    return true;
}

// RLE8 and RLE4 into a bottom-up palette DIB. False when the data ends before the picture does.
bool DecodeRle(std::span<const BYTE> data, PackedDib& dib, bool four, RowProgress& progress) {
    const int w = dib.Width(), h = dib.Height();
    const std::size_t stride = dib.Stride();
    BYTE* bits = dib.Bits();
    auto put = [&](int x, int y, int v) {
        if (x >= w || y >= h) return;
        BYTE* row = bits + static_cast<std::size_t>(y) * stride;
        if (!four) {
            row[x] = static_cast<BYTE>(v);
        } else {
            BYTE& b = row[x >> 1];
            b = (x & 1) ? static_cast<BYTE>((b & 0xF0) | (v & 0x0F))
                        : static_cast<BYTE>((b & 0x0F) | (v << 4));
        }
    };
    std::size_t p = 0;
    const std::size_t n = data.size();
    int x = 0, y = 0;
    while (y < h) {
        if (n - p < 2) return false;
        const int count = data[p], value = data[p + 1];
        p += 2;
        if (count > 0) {
            for (int i = 0; i < count && x + i < w; ++i)
                put(x + i, y, four ? ((i & 1) ? value & 0x0F : value >> 4) : value);
            x = std::min(w, x + count);
            continue;
        }
        if (value == 0) { // end of line
            x = 0;
            ++y;
            progress.Update(static_cast<std::uint64_t>(y));
        } else if (value == 1) { // end of bitmap
            return true;
        } else if (value == 2) { // delta
            if (n - p < 2) return false;
            x = std::min(w, x + data[p]);
            y += data[p + 1];
            p += 2;
        } else { // absolute run, padded to a 16-bit boundary
            const std::size_t bytes = four ? (static_cast<std::size_t>(value) + 1) / 2 : value;
            const std::size_t padded = (bytes + 1) & ~std::size_t{1};
            if (n - p < padded) return false;
            for (int i = 0; i < value && x + i < w; ++i) {
                const BYTE b = data[p + (four ? i / 2 : i)];
                put(x + i, y, four ? ((i & 1) ? b & 0x0F : b >> 4) : b);
            }
            x = std::min(w, x + value);
            p += padded;
        }
    }
    return true;
}

} // namespace

PackedDib DecodeBmp(std::span<const BYTE> f, IProgress* progress) {
    BmpInfo info;
    if (!ParseHeader(f, info)) return {};
    const int w = info.width, h = info.height, b = info.bits;
    const std::span<const BYTE> data = f.subspan(info.pixelStart);
    const std::size_t fileStride = PackedDib::RowBytes(w, b);
    const bool rle = info.compression == BI_RLE8 || info.compression == BI_RLE4;
    if (fileStride == 0) return {};
    if (rle) {
        // Two bytes of run code give at most 255 pixels; allow for deltas skipping blank areas.
        if (!Plausible(static_cast<std::uint64_t>(w) * h, data.size(), 4096)) return {};
    } else if (static_cast<std::uint64_t>(fileStride) * h > data.size()) {
        return {};
    }

    // Decide the output depth and how to move the pixels.
    DWORD masks[4] = {info.masks[0], info.masks[1], info.masks[2], info.masks[3]};
    bool bitfields = info.compression == BI_BITFIELDS || info.compression == kAlphaBitfields;
    int outBits = b;
    if (b == 16 && bitfields && masks[0] == 0x7C00 && masks[1] == 0x03E0 && masks[2] == 0x001F)
        bitfields = false;
    if (b == 16 && bitfields) outBits = 24;
    bool alpha = false;
    if (b == 32) {
        if (!bitfields) {
            masks[0] = 0xFF0000;
            masks[1] = 0x00FF00;
            masks[2] = 0x0000FF;
            masks[3] = 0xFF000000;
        }
        // An alpha byte that is zero everywhere is padding, not transparency.
        if (masks[3]) {
            for (int y = 0; y < h && !alpha; ++y) {
                const BYTE* row = &data[static_cast<std::size_t>(y) * fileStride];
                for (int x = 0; x < w && !alpha; ++x)
                    alpha = (Le32(row + 4 * x) & masks[3]) != 0;
            }
        }
        outBits = alpha ? 32 : 24;
    }

    PackedDib dib = PackedDib::Create(w, h, outBits, b <= 8 ? static_cast<int>(info.colorsUsed) : 0);
    if (!dib) return dib;
    if (b <= 8) {
        RGBQUAD* table = dib.ColorTable();
        for (DWORD i = 0; i < info.colorsUsed; ++i) {
            const BYTE* e = &f[info.paletteStart + i * info.paletteEntrySize];
            table[i] = RGBQUAD{e[0], e[1], e[2], 0};
        }
    }
    RowProgress steps(progress, static_cast<std::uint64_t>(h));
    if (rle) {
        if (!DecodeRle(data, dib, info.compression == BI_RLE4, steps)) return {};
        steps.Finish();
        return dib;
    }

    // Channel unpacking for masked layouts; identity copies for the rest.
    PackedDib fake;
    if (outBits != b || (b == 32 && bitfields)) {
        // Wrap the file's pixels as a masked DIB so RowToBgr can unpack them row by row.
        fake = PackedDib::Create(w, 1, b, 0, BI_BITFIELDS);
        if (!fake) return {};
        std::memcpy(fake.Masks(), masks, 12);
    }
    const std::size_t copy = std::min(fileStride, dib.Stride());
    std::vector<BYTE> bgr(fake && outBits == 32 ? 3 * static_cast<std::size_t>(w) : 0);
    const DWORD ma = masks[3];
    const int aShift = ma ? std::countr_zero(ma) : 0;
    const int aWidth = ma ? std::popcount(ma >> aShift) : 0;
    for (int i = 0; i < h; ++i) {
        const BYTE* src = &data[static_cast<std::size_t>(i) * fileStride];
        const int y = info.topDown ? i : h - 1 - i; // picture row
        BYTE* dst = dib.Row(y);
        if (!fake) {
            std::memcpy(dst, src, copy);
        } else {
            std::memcpy(fake.Bits(), src, fileStride);
            if (outBits == 32) {
                RowToBgr(fake, 0, bgr.data());
                for (int x = 0; x < w; ++x) {
                    const DWORD v = (Le32(src + 4 * x) & ma) >> aShift;
                    dst[4 * x] = bgr[3 * x];
                    dst[4 * x + 1] = bgr[3 * x + 1];
                    dst[4 * x + 2] = bgr[3 * x + 2];
                    dst[4 * x + 3] = aWidth >= 8 ? static_cast<BYTE>(v >> (aWidth - 8))
                                                 : static_cast<BYTE>(v * 255 / ((DWORD{1} << aWidth) - 1));
                }
            } else {
                RowToBgr(fake, 0, dst);
            }
        }
        steps.Update(static_cast<std::uint64_t>(i) + 1);
    }
    return dib;
}

namespace {

// A 32-bit image with straight alpha goes out with a version 5 header whose bit fields name the
// alpha byte, as other programs expect for transparency in a BMP.
bool EncodeBmpWithAlpha(const PackedDib& dib, ByteWriter& out, IProgress* progress) {
    constexpr std::size_t kV5 = 124;
    const std::size_t stride = dib.Stride();
    const std::size_t image = stride * static_cast<std::size_t>(dib.Height());
    const std::size_t offBits = 14 + kV5;
    if (offBits + image > 0xFFFFFFFFu) return false;
    BYTE v5[kV5] = {};
    auto put32 = [&v5](std::size_t at, DWORD v) {
        for (int i = 0; i < 4; ++i)
            v5[at + i] = static_cast<BYTE>(v >> (8 * i));
    };
    const BITMAPINFOHEADER& h = *dib.Header();
    put32(0, kV5);
    put32(4, static_cast<DWORD>(h.biWidth));
    put32(8, static_cast<DWORD>(h.biHeight));
    v5[12] = 1;  // planes
    v5[14] = 32; // bits
    put32(16, BI_BITFIELDS);
    put32(20, static_cast<DWORD>(image));
    const DWORD ppm = h.biXPelsPerMeter ? static_cast<DWORD>(h.biXPelsPerMeter) : 2835; // 72 dpi
    put32(24, ppm);
    put32(28, h.biYPelsPerMeter ? static_cast<DWORD>(h.biYPelsPerMeter) : ppm);
    put32(40, 0x00FF0000); // red
    put32(44, 0x0000FF00); // green
    put32(48, 0x000000FF); // blue
    put32(52, 0xFF000000); // alpha
    put32(56, 0x73524742); // 'sRGB'
    put32(108, 4);         // rendering intent: pictures
    BYTE fileHeader[14] = {'B', 'M'};
    const DWORD fileSize = static_cast<DWORD>(offBits + image);
    for (int i = 0; i < 4; ++i) {
        fileHeader[2 + i] = static_cast<BYTE>(fileSize >> (8 * i));
        fileHeader[10 + i] = static_cast<BYTE>(offBits >> (8 * i));
    }
    if (!out.Write(fileHeader, sizeof fileHeader) || !out.Write(v5, sizeof v5)) return false;
    RowProgress steps(progress, static_cast<std::uint64_t>(dib.Height()));
    for (int y = 0; y < dib.Height(); ++y) {
        if (!out.Write(dib.Bits() + static_cast<std::size_t>(y) * stride, stride)) return false;
        steps.Update(static_cast<std::uint64_t>(y) + 1);
    }
    return true;
}

} // namespace

bool EncodeBmp(const PackedDib& dib, ByteWriter& out, IProgress* progress) {
    if (!Writable(dib)) return false;
    if (dib.BitCount() == 32 && dib.Header()->biCompression == BI_RGB)
        return EncodeBmpWithAlpha(dib, out, progress);
    BITMAPINFOHEADER h = *dib.Header();
    const int bits = h.biBitCount;
    const std::size_t stride = dib.Stride();
    const std::size_t image = stride * static_cast<std::size_t>(dib.Height());
    const int colours = bits <= 8 ? PaletteEntries(dib) : 0;
    const std::size_t masks = h.biCompression == BI_BITFIELDS ? 12 : 0;
    const std::size_t offBits = 14 + sizeof h + masks + 4 * static_cast<std::size_t>(colours);
    if (offBits + image > 0xFFFFFFFFu) return false;
    h.biSizeImage = static_cast<DWORD>(image);
    h.biClrUsed = static_cast<DWORD>(colours);
    h.biClrImportant = 0;
    if (!h.biXPelsPerMeter) h.biXPelsPerMeter = h.biYPelsPerMeter = 2835; // 72 dpi

    BYTE fileHeader[14] = {'B', 'M'};
    const DWORD fileSize = static_cast<DWORD>(offBits + image);
    for (int i = 0; i < 4; ++i) {
        fileHeader[2 + i] = static_cast<BYTE>(fileSize >> (8 * i));
        fileHeader[10 + i] = static_cast<BYTE>(offBits >> (8 * i));
    }
    if (!out.Write(fileHeader, sizeof fileHeader) || !out.Write(&h, sizeof h)) return false;
    if (masks && !out.Write(dib.Masks(), masks)) return false;
    for (int i = 0; i < colours; ++i) {
        RGBQUAD c = PaletteColor(dib, i);
        c.rgbReserved = 0;
        if (!out.Write(&c, sizeof c)) return false;
    }
    RowProgress steps(progress, static_cast<std::uint64_t>(dib.Height()));
    for (int y = 0; y < dib.Height(); ++y) {
        if (!out.Write(dib.Bits() + static_cast<std::size_t>(y) * stride, stride)) return false;
        steps.Update(static_cast<std::uint64_t>(y) + 1);
    }
    return true;
}

} // namespace zepho
