// Packed-DIB helpers: creation, conversion to the 32-bit object format, small pixel utilities.
//
// Object pixels are 32 bits, bytes blue, green, red, alpha, with straight alpha. Coordinates are
// picture coordinates: x to the right, y downward from the top-left pixel.
#pragma once

#include "platform/PackedDib.h"

namespace zepho {

// A new zero-filled DIB; colorsUsed is kept for depths of 8 or less. Empty on failure.
PackedDib CreateDIB(int width, int height, int bitCount, int colorsUsed = 0);
// Address of the first stored pixel row.
BYTE* GetDIBBits(PackedDib& dib);
const BYTE* GetDIBBits(const PackedDib& dib);
// Byte copy of the whole block (empty stays empty).
PackedDib DuplicateDIB(const PackedDib& dib);

// Any depth into 32 bits. Without a mask every alpha is 255; with a 1-bit mask of the same size
// a set bit gives alpha 0 and a clear bit 255.
PackedDib ConvertTo32(const PackedDib& dib, const PackedDib* mask = nullptr);

// Every pixel the given colour with the given alpha.
PackedDib CreateSolidDIB(int width, int height, COLORREF color, BYTE alpha);
// All bytes zero.
PackedDib CreateTransparentDIB(int width, int height);
// Same size, every pixel the colour with the source pixel's alpha.
PackedDib MakeSilhouette(const PackedDib& src, COLORREF color);

// Sets only the alpha byte of the pixels inside rect (clipped).
void FillAlphaRect(PackedDib& dib, const RECT& rect, BYTE alpha);
// True when the point lies inside and its alpha is not 0.
bool IsOpaqueAt(const PackedDib& dib, POINT pt);

struct Margins {
    int top = 0, left = 0, right = 0, bottom = 0;
    friend bool operator==(const Margins&, const Margins&) = default;
};
// The transparent margins around the pixels whose alpha is not 0.
Margins FindOpaqueBounds(const PackedDib& dib);
// A new 32-bit DIB without the given margins; empty when nothing is left.
PackedDib CropDIB(const PackedDib& dib, int left, int top, int right, int bottom);

// 8 x 8 squares: the square ((x + ox) / 8, (y + oy) / 8) takes colour 1 when its indices sum
// even, otherwise colour 2. Only blue, green and red are written. Colours are B, G, R bytes
// given as COLORREFs.
void DrawCheckerboard(PackedDib& dst, COLORREF color1, COLORREF color2, int offsetX, int offsetY);
// The black-and-white dashed outline of a selected object; rect is in the same space as
// the destination origin.
void DrawDashedRect(PackedDib& dst, POINT dstOrigin, const RECT& rect);

} // namespace zepho
