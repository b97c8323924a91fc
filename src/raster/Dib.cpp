#include "raster/Dib.h"

#include "extlib/ImageTransform.h"

#include <algorithm>
#include <bit>
#include <cstring>

namespace zepho {

PackedDib CreateDIB(int width, int height, int bitCount, int colorsUsed) {
    return PackedDib::Create(width, height, bitCount, colorsUsed);
}

BYTE* GetDIBBits(PackedDib& dib) { return dib.Bits(); }
const BYTE* GetDIBBits(const PackedDib& dib) { return dib.Bits(); }

PackedDib DuplicateDIB(const PackedDib& dib) { return dib.Clone(); }

namespace {

// Widens a channel of `bits` bits sitting at bit 0 to 8 bits, low bits left empty.
inline BYTE Widen(DWORD v, int bits) {
    if (bits <= 0) return 0;
    return static_cast<BYTE>(bits <= 8 ? (v << (8 - bits)) : (v >> (bits - 8)));
}

void ConvertBitfields16(const PackedDib& src, PackedDib& dst) {
    const DWORD* m = src.Masks();
    // Only the 16 pixel bits count; each channel is taken from where its mask lies, so masks
    // in any order or position read right (the usual 5-5-5 and 5-6-5 masks sit blue lowest).
    const DWORD redMask = m[0] & 0xFFFF, greenMask = m[1] & 0xFFFF, blueMask = m[2] & 0xFFFF;
    auto shiftOf = [](DWORD mask) { return mask ? std::countr_zero(mask) : 0; };
    const int sB = shiftOf(blueMask), sG = shiftOf(greenMask), sR = shiftOf(redMask);
    const int bB = std::popcount(blueMask), bG = std::popcount(greenMask), bR = std::popcount(redMask);
    const int w = src.Width(), h = src.Height();
    for (int y = 0; y < h; ++y) {
        const BYTE* s = src.Row(y);
        BYTE* d = dst.Row(y);
        for (int x = 0; x < w; ++x, d += 4) {
            const DWORD p = s[2 * x] | (s[2 * x + 1] << 8);
            d[0] = Widen((p & blueMask) >> sB, bB);
            d[1] = Widen((p & greenMask) >> sG, bG);
            d[2] = Widen((p & redMask) >> sR, bR);
            d[3] = 255;
        }
    }
}

} // namespace

PackedDib ConvertTo32(const PackedDib& src, const PackedDib* mask) {
    if (!src) return {};
    const int w = src.Width(), h = src.Height();
    if (mask && (!*mask || mask->Width() != w || mask->Height() != h || mask->BitCount() != 1)) return {};
    PackedDib dst = PackedDib::Create(w, h, 32);
    if (!dst) return dst;
    const int bits = src.BitCount();
    if (bits == 16 && src.Header()->biCompression == BI_BITFIELDS) {
        ConvertBitfields16(src, dst);
    } else {
        const RGBQUAD* table = src.ColorTable();
        const int colours = src.ColorCount();
        for (int y = 0; y < h; ++y) {
            const BYTE* s = src.Row(y);
            BYTE* d = dst.Row(y);
            for (int x = 0; x < w; ++x, d += 4) {
                GetPixelRGB(s, x, bits, table, d[2], d[1], d[0], colours);
                d[3] = 255;
            }
        }
    }
    if (mask) {
        for (int y = 0; y < h; ++y) {
            const BYTE* m = mask->Row(y);
            BYTE* d = dst.Row(y);
            for (int x = 0; x < w; ++x)
                if ((m[x >> 3] >> (7 - (x & 7))) & 1) d[4 * x + 3] = 0;
        }
    }
    return dst;
}

PackedDib CreateSolidDIB(int width, int height, COLORREF color, BYTE alpha) {
    PackedDib dib = PackedDib::Create(width, height, 32);
    if (!dib) return dib;
    const BYTE px[4] = {GetBValue(color), GetGValue(color), GetRValue(color), alpha};
    BYTE* row = dib.Bits();
    for (int x = 0; x < width; ++x) std::memcpy(row + 4 * x, px, 4);
    for (int y = 1; y < height; ++y) std::memcpy(row + y * dib.Stride(), row, dib.Stride());
    return dib;
}

PackedDib CreateTransparentDIB(int width, int height) { return PackedDib::Create(width, height, 32); }

PackedDib MakeSilhouette(const PackedDib& src, COLORREF color) {
    if (!src.Is32()) return {};
    PackedDib dst = CreateSolidDIB(src.Width(), src.Height(), color, 0);
    if (!dst) return dst;
    const std::size_t n = static_cast<std::size_t>(src.Width()) * src.Height();
    const BYTE* s = src.Bits();
    BYTE* d = dst.Bits();
    for (std::size_t i = 0; i < n; ++i) d[4 * i + 3] = s[4 * i + 3];
    return dst;
}

void FillAlphaRect(PackedDib& dib, const RECT& rect, BYTE alpha) {
    if (!dib.Is32()) return;
    const RECT r = IntersectRects(rect, RECT{0, 0, dib.Width(), dib.Height()});
    for (int y = r.top; y < r.bottom; ++y) {
        BYTE* p = dib.Pixel32(r.left, y);
        for (int x = r.left; x < r.right; ++x, p += 4) p[3] = alpha;
    }
}

bool IsOpaqueAt(const PackedDib& dib, POINT pt) {
    if (!dib.Is32() || pt.x < 0 || pt.y < 0 || pt.x >= dib.Width() || pt.y >= dib.Height()) return false;
    return dib.Pixel32(pt.x, pt.y)[3] != 0;
}

Margins FindOpaqueBounds(const PackedDib& dib) {
    Margins m;
    if (!dib.Is32()) return m;
    const int w = dib.Width(), h = dib.Height();
    auto rowEmpty = [&](int y, int x0, int x1) {
        const BYTE* p = dib.Pixel32(x0, y);
        for (int x = x0; x < x1; ++x, p += 4)
            if (p[3]) return false;
        return true;
    };
    auto colEmpty = [&](int x, int y0, int y1) {
        for (int y = y0; y < y1; ++y)
            if (dib.Pixel32(x, y)[3]) return false;
        return true;
    };
    while (m.top < h && rowEmpty(m.top, 0, w)) ++m.top;
    if (m.top == h) {
        m.left = m.right = w;
        m.bottom = h;
        return m;
    }
    while (m.left < w && colEmpty(m.left, m.top, h)) ++m.left;
    while (m.right < w - m.left && colEmpty(w - 1 - m.right, m.top, h)) ++m.right;
    while (m.bottom < h - m.top && rowEmpty(h - 1 - m.bottom, m.left, w - m.right)) ++m.bottom;
    return m;
}

PackedDib CropDIB(const PackedDib& dib, int left, int top, int right, int bottom) {
    if (!dib.Is32() || left < 0 || top < 0 || right < 0 || bottom < 0) return {};
    const int w = dib.Width() - left - right, h = dib.Height() - top - bottom;
    if (w <= 0 || h <= 0) return {};
    PackedDib out = PackedDib::Create(w, h, 32);
    if (!out) return out;
    for (int y = 0; y < h; ++y) std::memcpy(out.Row(y), dib.Pixel32(left, top + y), 4 * static_cast<std::size_t>(w));
    return out;
}

namespace {
inline int FloorDiv8(int v) { return v >= 0 ? v / 8 : -((-v + 7) / 8); }
} // namespace

void DrawCheckerboard(PackedDib& dst, COLORREF color1, COLORREF color2, int offsetX, int offsetY) {
    if (!dst.Is32()) return;
    const int w = dst.Width(), h = dst.Height();
    const BYTE c[2][3] = {{GetBValue(color1), GetGValue(color1), GetRValue(color1)},
                          {GetBValue(color2), GetGValue(color2), GetRValue(color2)}};
    int y = 0;
    while (y < h) {
        const int band = FloorDiv8(y + offsetY);
        const int bandEnd = std::min(h, band * 8 + 8 - offsetY);
        BYTE* first = dst.Row(y);
        for (int x = 0; x < w; ++x) {
            const BYTE* col = c[(FloorDiv8(x + offsetX) + band) & 1];
            first[4 * x] = col[0];
            first[4 * x + 1] = col[1];
            first[4 * x + 2] = col[2];
        }
        for (int yy = y + 1; yy < bandEnd; ++yy) {
            BYTE* row = dst.Row(yy);
            for (int x = 0; x < w; ++x) std::memcpy(row + 4 * x, first + 4 * x, 3);
        }
        y = bandEnd;
    }
}

void DrawDashedRect(PackedDib& dst, POINT origin, const RECT& rect) {
    if (!dst.Is32()) return;
    const int w = dst.Width(), h = dst.Height();
    const int x2 = rect.right - 1, y2 = rect.bottom - 1;
    auto put = [&](int x, int y, bool white) {
        const int px = x - origin.x, py = y - origin.y;
        if (px < 0 || py < 0 || px >= w || py >= h) return;
        BYTE* p = dst.Pixel32(px, py);
        p[0] = p[1] = p[2] = white ? 255 : 0;
    };
    // Horizontal edges first: the vertical ones own the corners they share.
    const int xStart = std::max(rect.left, origin.x), xEnd = std::min(x2, origin.x + w);
    for (int x = xStart; x < xEnd; ++x) {
        const bool white = ((x - rect.left) % 6) / 3 == 0;
        put(x, rect.top, white);
        put(x, y2, white);
    }
    const int yStart = std::max(rect.top, origin.y), yEnd = std::min(y2, origin.y + h);
    for (int y = yStart; y < yEnd; ++y) {
        const bool black = ((y - rect.top) % 6) / 3 == 0;
        put(rect.left, y, !black);
        put(x2, y, !black);
    }
}

} // namespace zepho
