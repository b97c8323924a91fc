// Resize Image (every object rescaled in place) and Resize Canvas (objects moved, nothing
// scaled). Both record one undo step and leave the document alone when the size is unchanged.
#pragma once

#include "edit/document/OrvaneDoc.h"

namespace zepho {

class CAppSettings;
class COrvaneView;

// Objects keep their places proportionally; each content is rescaled through its shape, a
// plain image resampled with its own filter; shadow offsets scale with it.
bool CmdResizeImage(COrvaneDoc& doc, COrvaneView* view, int newWidth, int newHeight);

// How far Resize Canvas moves the objects for a size change of (dW, dH): the settings' offsets
// when anchored by offset, else the anchor cell's share of the change (halves toward zero).
POINT CanvasShift(const CAppSettings& settings, int dW, int dH);
bool CmdResizeCanvas(COrvaneDoc& doc, COrvaneView* view, int newWidth, int newHeight,
                     const CAppSettings& settings);

// A plain raster scaled to floor(w * sx + 0.5) x floor(h * sy + 0.5) (at least 1 x 1) with the
// filter; empty when that fails.
PackedDib ResampleDIB(const PackedDib& src, double sx, double sy, int filter);

bool CanResize(const COrvaneDoc& doc);

} // namespace zepho
