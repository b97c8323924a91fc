#include "extlib/ImageTransform.h"

namespace zepho {

void GetPixelRGB(const BYTE* row, int x, int bitCount, const RGBQUAD* colorTable, BYTE& red, BYTE& green,
                 BYTE& blue, int colorCount) {
    int index = -1;
    switch (bitCount) {
    case 1:
        index = (row[x >> 3] >> (7 - (x & 7))) & 1;
        break;
    case 4:
        index = (x & 1) ? (row[x >> 1] & 0x0F) : (row[x >> 1] >> 4);
        break;
    case 8:
        index = row[x];
        break;
    case 16: {
        const unsigned p = row[2 * x] | (row[2 * x + 1] << 8);
        blue = static_cast<BYTE>((p & 0x1F) << 3);
        green = static_cast<BYTE>(((p >> 5) & 0x1F) << 3);
        red = static_cast<BYTE>(((p >> 10) & 0x1F) << 3);
        return;
    }
    case 24:
    case 32: {
        const BYTE* p = row + static_cast<long>(x) * (bitCount / 8);
        blue = p[0];
        green = p[1];
        red = p[2];
        return;
    }
    default:
        red = green = blue = 0;
        return;
    }
    if (!colorTable || index >= colorCount) {
        red = green = blue = 0;
        return;
    }
    red = colorTable[index].rgbRed;
    green = colorTable[index].rgbGreen;
    blue = colorTable[index].rgbBlue;
}

} // namespace zepho
