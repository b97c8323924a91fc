// Conversions between packed DIBs and Qt images.
#pragma once

#include "platform/PackedDib.h"

#include <QImage>

namespace zepho {

// A copy of a 32-bit DIB as a straight-alpha ARGB image (top-down rows).
QImage ToQImage(const PackedDib& dib);
// A copy of any Qt image as a 32-bit straight-alpha DIB; empty for a null image.
PackedDib FromQImage(const QImage& image);

} // namespace zepho
