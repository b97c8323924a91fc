// The tools built so far: move (0), free transform (5), text (6) and the colour picker (10).
#pragma once

#include "edit/Tool.h"
#include "edit/ViewHost.h"

namespace zepho {

class CDocImage;
class CDrawObj;

class CMoveTool : public CTool {
public:
    CMoveTool() : CTool(ToolMove) {}
    bool OnLButtonDown(COrvaneView& view, unsigned flags, POINT client) override;
    bool OnMouseMove(COrvaneView& view, unsigned flags, POINT client) override;
    bool OnLButtonUp(COrvaneView& view, unsigned flags, POINT client) override;
    int GetCursor(const COrvaneView& view, POINT client) const override;

protected:
    explicit CMoveTool(int number) : CTool(number) {}
};

// Handles and knob first; everything else as the move tool.
class CTransformTool : public CMoveTool {
public:
    CTransformTool() : CMoveTool(ToolTransform) {}
    bool OnLButtonDown(COrvaneView& view, unsigned flags, POINT client) override;
    bool OnMouseMove(COrvaneView& view, unsigned flags, POINT client) override;
    bool OnLButtonUp(COrvaneView& view, unsigned flags, POINT client) override;
    int GetCursor(const COrvaneView& view, POINT client) const override;
};

class CTextTool : public CTool {
public:
    CTextTool() : CTool(ToolText) {}
    bool OnLButtonDown(COrvaneView& view, unsigned flags, POINT client) override;
};

class CPickerTool : public CTool {
public:
    CPickerTool() : CTool(ToolPicker) {}
    // Left sets the foreground colour, right the background colour.
    bool OnLButtonDown(COrvaneView& view, unsigned flags, POINT client) override;
    bool OnRButtonDown(COrvaneView& view, unsigned flags, POINT client) override;
    bool OnMouseMove(COrvaneView& view, unsigned flags, POINT client) override;
    int GetCursor(const COrvaneView& view, POINT client) const override;
};

// The colour the visible objects and their shadows compose at a canvas point, from the
// topmost down until the composed alpha is full.
PickedColour ComposedColourAt(const CDocImage& image, POINT canvas);

// Attaches the tracker to the only selected object, or detaches it.
void AttachToSingleSelected(COrvaneView& view);

} // namespace zepho
