// Colour and orientation adjustments of 32-bit object images. Each returns a new image and leaves
// the input untouched; alpha is never changed. The result is empty when the input is not a
// 32-bit image or memory runs out.
#pragma once

#include "platform/PackedDib.h"

namespace zepho {

// Red, green and blue all become trunc(0.3 r + 0.59 g + 0.11 b).
PackedDib MakeGray(const PackedDib& src);
// Red, green and blue become 255 minus themselves.
PackedDib MakeNegative(const PackedDib& src);
// Left and right exchange.
PackedDib MirrorHorizontally(const PackedDib& src);
// Top and bottom exchange.
PackedDib MirrorVertically(const PackedDib& src);

} // namespace zepho
