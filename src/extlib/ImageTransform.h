// Colour conversion and adjustment calls on packed DIBs.
#pragma once

#include "platform/WinTypes.h"

namespace zepho {

// Reads pixel x of one row of pixels at the given depth (1, 4, 8, 16, 24 or 32 bits) into red,
// green and blue. Depths of 8 bits or less look the index up in the colour table, which must
// hold every index the row uses (an index past `colorCount` reads as black). 16-bit pixels are
// 5-5-5 with the low bits left empty.
void GetPixelRGB(const BYTE* row, int x, int bitCount, const RGBQUAD* colorTable, BYTE& red, BYTE& green,
                 BYTE& blue, int colorCount = 256);

} // namespace zepho
