// What the paint, erase and flood tools and the cut share: the object they act on, the
// question that turns a shape into a plain image, and trimming a raster to its pixels.
#pragma once

#include "model/DocImage.h"
#include "platform/Services.h"

namespace zepho {

class COrvaneDoc;

// Among the visible objects, from the top: the selected one under the point, else the highest
// selected one, else the one under the point, else the highest. None without visible objects.
Ref<CDrawObj> PaintTarget(const CDocImage& image, POINT canvas);

// The object's raster comes from a shape (not from its own pixels or a transform source).
bool IsVectorSourced(const CDrawObj& obj);

// Asks whether the shape object may become a plain image ("If you want to <verb>,..."); true
// for objects that need no conversion.
bool AskConversion(const CDrawObj& obj, const char* verb, IUiHost& ui);

// Records the conversion of a shape object into a plain image (its pixels stay) and marks the
// document modified.
void ConvertToImage(COrvaneDoc& doc, const Ref<CDrawObj>& obj);

// The raster without its fully transparent margins; `offset` receives the left and top
// margins. Empty when no pixel shows.
PackedDib TrimTransparent(const PackedDib& dib, POINT& offset);

} // namespace zepho
