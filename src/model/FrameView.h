#pragma once

#include "platform/WinTypes.h"

namespace zepho {

// What the model asks of a view while it changes objects: repaint an area, outline a selection.
class IFrameView {
public:
    virtual ~IFrameView() = default;
    // An area in document coordinates needs repainting.
    virtual void InvalidateDocRect(const RECT& docRect) = 0;
    // Draws a selection outline around an area given in view (zoomed) coordinates.
    virtual void DrawSelectionOutline(const RECT& viewRect) = 0;
};

// A rectangle in document coordinates mapped to view coordinates: multiplied by a zoom above 1,
// divided (truncating) by n for a zoom of -n.
RECT ZoomRect(const RECT& r, int zoom);

} // namespace zepho
