#include "raster/ColorReduce.h"

#include "extlib/ImageTransform.h"
#include "raster/Dib.h"

#include <algorithm>
#include <cstring>

namespace zepho {

namespace {

void ReportRow(IProgress* progress, int base, int rowsDone, int height) {
    if (!progress) return;
    progress->SetPos(base + static_cast<int>(100LL * rowsDone / height));
    progress->Pump();
}

// Raw pixel value (an index for palette depths) and its write-back, any depth.
DWORD GetRaw(const BYTE* row, int x, int bits) {
    switch (bits) {
    case 1:
        return (row[x >> 3] >> (7 - (x & 7))) & 1;
    case 4:
        return (x & 1) ? (row[x >> 1] & 0x0F) : (row[x >> 1] >> 4);
    case 8:
        return row[x];
    case 16:
        return row[2 * static_cast<std::size_t>(x)] | (row[2 * static_cast<std::size_t>(x) + 1] << 8);
    case 24: {
        const BYTE* p = row + 3 * static_cast<std::size_t>(x);
        return p[0] | (p[1] << 8) | (DWORD(p[2]) << 16);
    }
    default: {
        const BYTE* p = row + 4 * static_cast<std::size_t>(x);
        return p[0] | (p[1] << 8) | (DWORD(p[2]) << 16) | (DWORD(p[3]) << 24);
    }
    }
}

void PutRaw(BYTE* row, int x, int bits, DWORD v) {
    switch (bits) {
    case 1: {
        const int shift = 7 - (x & 7);
        row[x >> 3] = static_cast<BYTE>((row[x >> 3] & ~(1 << shift)) | ((v & 1) << shift));
        break;
    }
    case 4:
        if (x & 1)
            row[x >> 1] = static_cast<BYTE>((row[x >> 1] & 0xF0) | (v & 0x0F));
        else
            row[x >> 1] = static_cast<BYTE>((row[x >> 1] & 0x0F) | ((v & 0x0F) << 4));
        break;
    case 8:
        row[x] = static_cast<BYTE>(v);
        break;
    default: {
        BYTE* p = row + static_cast<std::size_t>(x) * (bits / 8);
        for (int i = 0; i < bits / 8; ++i)
            p[i] = static_cast<BYTE>(v >> (8 * i));
    }
    }
}

// Converts row by row into 16 or 24 bits. BI_BITFIELDS sources are decoded through their masks
// first; plain 16-bit sources are 5-5-5.
PackedDib ConvertToTrueColour(const PackedDib& dib, int bits, IProgress* progress, int base) {
    if (!dib.IsSound()) return {};
    if (dib.BitCount() == bits && !dib.Masks()) return DuplicateDIB(dib);
    PackedDib decoded;
    const PackedDib* src = &dib;
    if (dib.Masks()) {
        decoded = ConvertTo32(dib);
        if (!decoded) return {};
        src = &decoded;
    }
    const int w = src->Width(), h = src->Height(), srcBits = src->BitCount();
    const RGBQUAD* table = src->ColorTable();
    const int colours = src->ColorCount();
    PackedDib out = CreateDIB(w, h, bits);
    if (!out) return out;
    if (srcBits == 32 && bits == 24) {
        // The flattened picture of every export: the alpha byte is dropped.
        for (int y = 0; y < h; ++y) {
            const BYTE* s = src->Row(y);
            BYTE* d = out.Row(y);
            for (int x = 0; x < w; ++x, s += 4, d += 3) {
                d[0] = s[0];
                d[1] = s[1];
                d[2] = s[2];
            }
            ReportRow(progress, base, y + 1, h);
        }
        return out;
    }
    for (int y = 0; y < h; ++y) {
        const BYTE* s = src->Row(y);
        BYTE* d = out.Row(y);
        for (int x = 0; x < w; ++x) {
            BYTE r, g, b;
            GetPixelRGB(s, x, srcBits, table, r, g, b, colours);
            if (bits == 24) {
                *d++ = b;
                *d++ = g;
                *d++ = r;
            } else {
                const unsigned p = ((r >> 3) << 10) | ((g & 248) << 2) | (b >> 3);
                *d++ = static_cast<BYTE>(p);
                *d++ = static_cast<BYTE>(p >> 8);
            }
        }
        ReportRow(progress, base, y + 1, h);
    }
    return out;
}

// A 1- or 4-bit image at a wider palette depth with the same colour table and indices.
PackedDib WidenPalette(const PackedDib& dib, int bits, IProgress* progress, int base) {
    const int srcBits = dib.BitCount();
    const int colours = std::min(dib.ColorCount(), 1 << srcBits);
    const int w = dib.Width(), h = dib.Height();
    PackedDib out = CreateDIB(w, h, bits, colours);
    if (!out) return out;
    std::copy(dib.ColorTable(), dib.ColorTable() + colours, out.ColorTable());
    for (int y = 0; y < h; ++y) {
        const BYTE* s = dib.Row(y);
        BYTE* d = out.Row(y);
        for (int x = 0; x < w; ++x)
            PutRaw(d, x, bits, GetRaw(s, x, srcBits));
        ReportRow(progress, base, y + 1, h);
    }
    return out;
}

// Whether a palette image's table fits within `colors` entries.
bool TableFits(const PackedDib& dib, int colors) {
    return std::min(dib.ColorCount(), 1 << dib.BitCount()) <= colors;
}

void MakeTableGray(PackedDib& dib) {
    if (!dib) return;
    RGBQUAD* table = dib.ColorTable();
    const int n = dib.ColorCount();
    for (int i = 0; i < n; ++i) {
        const BYTE v =
            static_cast<BYTE>(0.11 * table[i].rgbBlue + 0.59 * table[i].rgbGreen + 0.3 * table[i].rgbRed);
        table[i].rgbBlue = table[i].rgbGreen = table[i].rgbRed = v;
    }
}

// Both images sound and the mask 1-bit; the common area in picture coordinates from the top-left.
bool CommonArea(const PackedDib& image, const PackedDib& mask, int& w, int& h) {
    if (!image.IsSound() || !mask.IsSound() || mask.BitCount() != 1) return false;
    w = std::min(image.Width(), mask.Width());
    h = std::min(image.Height(), mask.Height());
    return true;
}

inline bool MaskBit(const BYTE* row, int x) {
    return (row[x >> 3] >> (7 - (x & 7))) & 1;
}

} // namespace

PackedDib ConvertTo24(const PackedDib& dib, IProgress* progress, int base) {
    return ConvertToTrueColour(dib, 24, progress, base);
}

PackedDib ConvertTo16(const PackedDib& dib, IProgress* progress, int base) {
    return ConvertToTrueColour(dib, 16, progress, base);
}

PackedDib ReduceTo4(const PackedDib& dib, int colors, IProgress* progress, int base) {
    if (!dib.IsSound()) return {};
    if (dib.BitCount() == 1 && TableFits(dib, colors)) return WidenPalette(dib, 4, progress, base);
    if (dib.BitCount() == 4 && colors == 16) return DuplicateDIB(dib);
    return ReduceColorQuantity(dib, 4, colors, progress, base);
}

PackedDib ReduceTo8(const PackedDib& dib, int colors, IProgress* progress, int base) {
    if (!dib.IsSound()) return {};
    if ((dib.BitCount() == 1 || dib.BitCount() == 4) && TableFits(dib, colors))
        return WidenPalette(dib, 8, progress, base);
    if (dib.BitCount() == 8 && colors == 256) return DuplicateDIB(dib);
    return ReduceColorQuantity(dib, 8, colors, progress, base);
}

PackedDib ReduceTo4Gray(const PackedDib& dib, int colors, IProgress* progress, int base) {
    PackedDib out = ReduceTo4(dib, colors, progress, base);
    MakeTableGray(out);
    return out;
}

PackedDib ReduceTo8Gray(const PackedDib& dib, int colors, IProgress* progress, int base) {
    PackedDib out = ReduceTo8(dib, colors, progress, base);
    MakeTableGray(out);
    return out;
}

PackedDib ConvertToBlackWhite(const PackedDib& dib) {
    if (!dib.IsSound()) return {};
    CPalette palette;
    palette.entries = {RGBQUAD{0, 0, 0, 0}, RGBQUAD{255, 255, 255, 0}};
    return ConvertDIBFormat(dib, 1, &palette);
}

PackedDib MakeExactPalette(const PackedDib& dib24) {
    if (!dib24.IsSound()) return {};
    PackedDib converted;
    const PackedDib* src = &dib24;
    if (dib24.BitCount() != 24) {
        converted = ConvertTo24(dib24);
        if (!converted) return {};
        src = &converted;
    }
    CColorIndexMap map;
    const int w = src->Width(), h = src->Height();
    DWORD lastKey = 0xFFFFFFFFu;
    for (int y = 0; y < h; ++y) {
        const BYTE* s = src->Row(y);
        for (int x = 0; x < w; ++x, s += 3) {
            const DWORD key = (DWORD(s[2]) << 16) | (DWORD(s[1]) << 8) | s[0];
            if (key == lastKey || map.Lookup(key) >= 0) {
                lastKey = key;
                continue;
            }
            if (map.GetCount() == 256) return {};
            map.SetAt(key, map.GetCount());
            lastKey = key;
        }
    }
    return Convert24BitsDIBToLowerBitsDIB(*src, map);
}

PackedDib ConvertForExport(const PackedDib& dib, int option, IProgress* progress, int base) {
    switch (option) {
    case ExportColors256:
        return ReduceTo8(dib, 256, progress, base);
    case ExportColors16:
        return ReduceTo4(dib, 16, progress, base);
    case ExportBlackWhite:
        return ConvertToBlackWhite(dib);
    case ExportHighColors:
        return ConvertTo16(dib, progress, base);
    case ExportTrueColors:
        return ConvertTo24(dib, progress, base);
    case ExportGrays16:
        return ReduceTo4Gray(dib, 16, progress, base);
    case ExportGrays256:
        return ReduceTo8Gray(dib, 256, progress, base);
    default:
        return {};
    }
}

PackedDib CopyMaskBits(const PackedDib& image1, const PackedDib& mask1) {
    int w = 0, h = 0;
    if (!CommonArea(image1, mask1, w, h) || image1.BitCount() != 1) return {};
    PackedDib out = DuplicateDIB(image1);
    if (!out) return out;
    const int fullBytes = w / 8, rest = w % 8;
    const BYTE keep = static_cast<BYTE>(0xFF >> rest); // bits right of the common area
    for (int y = 0; y < h; ++y) {
        BYTE* d = out.Row(y);
        const BYTE* m = mask1.Row(y);
        std::memcpy(d, m, static_cast<std::size_t>(fullBytes));
        if (rest) d[fullBytes] = static_cast<BYTE>((d[fullBytes] & keep) | (m[fullBytes] & ~keep));
    }
    return out;
}

PackedDib FillWithFirstPixel(const PackedDib& image, const PackedDib& reference) {
    if (!image.IsSound() || !reference.IsSound()) return {};
    PackedDib out = DuplicateDIB(image);
    if (!out) return out;
    const int bits = out.BitCount();
    const int w = std::min(image.Width(), reference.Width()),
              h = std::min(image.Height(), reference.Height());
    const DWORD first = GetRaw(out.Row(0), 0, bits);
    for (int y = 0; y < h; ++y) {
        BYTE* d = out.Row(y);
        for (int x = 0; x < w; ++x)
            PutRaw(d, x, bits, first);
    }
    return out;
}

PackedDib MaskToTwoColours(const PackedDib& image, const PackedDib& mask1) {
    int w = 0, h = 0;
    if (!CommonArea(image, mask1, w, h)) return {};
    const int bits = image.BitCount();
    if (bits != 16 && bits != 24 && bits != 32) return {};
    PackedDib out = DuplicateDIB(image);
    if (!out) return out;
    // The colour bits of a pixel; complementing them is 255 minus each 8-bit channel.
    DWORD colourBits = 0xFFFFFF;
    if (bits == 16) {
        const DWORD* m = out.Masks();
        colourBits = m ? ((m[0] | m[1] | m[2]) & 0xFFFF) : 0x7FFF;
    }
    DWORD set = GetRaw(out.Row(0), 0, bits) & colourBits;
    DWORD clear = set ^ colourBits;
    if (bits == 32) {
        set |= 0xFF000000u;
        clear |= 0xFF000000u;
    }
    for (int y = 0; y < h; ++y) {
        BYTE* d = out.Row(y);
        const BYTE* m = mask1.Row(y);
        for (int x = 0; x < w; ++x)
            PutRaw(d, x, bits, MaskBit(m, x) ? set : clear);
    }
    return out;
}

PackedDib MaskToTwoIndices(const PackedDib& image, const PackedDib& mask1) {
    int w = 0, h = 0;
    if (!CommonArea(image, mask1, w, h)) return {};
    const int bits = image.BitCount();
    if (bits != 1 && bits != 4 && bits != 8) return {};
    PackedDib out = DuplicateDIB(image);
    if (!out) return out;
    const RGBQUAD* table = out.ColorTable();
    // Only entries that a pixel of this depth can name take part.
    const int entries = std::min(out.ColorCount(), 1 << bits);
    const DWORD set = GetRaw(out.Row(0), 0, bits);
    BYTE r, g, b;
    GetPixelRGB(out.Row(0), 0, bits, table, r, g, b, entries);
    DWORD clear = 0;
    if (entries >= 2) {
        int best = -1;
        for (int i = 0; i < entries; ++i) {
            const int dr = table[i].rgbRed - r, dg = table[i].rgbGreen - g, db = table[i].rgbBlue - b;
            const int dist = dr * dr + dg * dg + db * db;
            if (dist > best) {
                best = dist;
                clear = static_cast<DWORD>(i);
            }
        }
    }
    for (int y = 0; y < h; ++y) {
        BYTE* d = out.Row(y);
        const BYTE* m = mask1.Row(y);
        for (int x = 0; x < w; ++x)
            PutRaw(d, x, bits, MaskBit(m, x) ? set : clear);
    }
    return out;
}

} // namespace zepho
