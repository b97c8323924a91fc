// Soft shadow images of an object's raster: its silhouette in the shadow colour, scaled flat or
// laid down in perspective, then blurred. The caller places the result.
#pragma once

#include "platform/PackedDib.h"

namespace zepho {

// A canvas of (floor(W * scale + 0.5) + 2 * blur) by (floor(H * scale + 0.5) + 2 * blur) pixels in
// the shadow colour, holding the silhouette scaled by `scale` at (blur, blur), blurred by `blur`.
// Empty when the raster is not 32-bit, the arguments are unusable or memory runs out.
PackedDib MakeFlatShadow(const PackedDib& raster, COLORREF color, double scale, int blur);

// Shadow types 6..9: the silhouette laid onto a quadrilateral that leans by skewDegrees and
// reaches perspective percent of the raster's height, then blurred by `blur`. Types 6 and 7 keep
// the object's bottom edge at the shadow's bottom, 8 and 9 at its top (the shadow falls forward);
// 6 and 8 lean the far edge left, 7 and 9 right. Empty for other types and as above.
PackedDib MakePerspectiveShadow(const PackedDib& raster, int type, COLORREF color, double scale, int blur,
                                int skewDegrees, int perspective);

} // namespace zepho
