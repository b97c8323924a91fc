// The tools: move (0), the selection tools (1-4), free transform (5), text (6), paint line,
// eraser and flood fill (7-9), the colour picker (10) and the rectangle, ellipse and polygon
// shapes (11-13).
#pragma once

#include "edit/tools/Tool.h"
#include "edit/view/ViewHost.h"

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

// The selection tools. Pressing inside the selection drags it instead (released, it moves by
// the drag in canvas pixels); otherwise each tool makes its own region.
class CSelectionTool : public CTool {
public:
    int GetCursor(const COrvaneView& view, POINT client) const override;

protected:
    explicit CSelectionTool(int number) : CTool(number) {}
    // True when the press started a selection move.
    static bool StartSelectionMove(COrvaneView& view, POINT client);
    static bool DragSelection(COrvaneView& view, unsigned flags, POINT client);
    static bool EndSelectionMove(COrvaneView& view, POINT client);
};

// Rectangular (1) and elliptic (2) selection: a rubber band.
class CRectSelectTool : public CSelectionTool {
public:
    explicit CRectSelectTool(int number) : CSelectionTool(number) {}
    bool OnLButtonDown(COrvaneView& view, unsigned flags, POINT client) override;
    bool OnMouseMove(COrvaneView& view, unsigned flags, POINT client) override;
    bool OnLButtonUp(COrvaneView& view, unsigned flags, POINT client) override;
};

class CLassoTool : public CSelectionTool {
public:
    CLassoTool() : CSelectionTool(ToolLasso) {}
    bool OnLButtonDown(COrvaneView& view, unsigned flags, POINT client) override;
    bool OnMouseMove(COrvaneView& view, unsigned flags, POINT client) override;
    bool OnLButtonUp(COrvaneView& view, unsigned flags, POINT client) override;
};

// Selects the pixels of similar colour, connected or not, in the visible objects' composition.
class CMagicWandTool : public CSelectionTool {
public:
    CMagicWandTool() : CSelectionTool(ToolMagicWand) {}
    bool OnLButtonDown(COrvaneView& view, unsigned flags, POINT client) override;
    bool OnMouseMove(COrvaneView& view, unsigned flags, POINT client) override;
    bool OnLButtonUp(COrvaneView& view, unsigned flags, POINT client) override;
};

// Paint line (7) and eraser (8): strokes of coverage masks, limited by the selection. The
// paint tool draws into a layer shown over its object and merges it on release; the eraser
// lowers the object's alpha as it goes.
class CStrokeTool : public CTool {
public:
    bool OnLButtonDown(COrvaneView& view, unsigned flags, POINT client) override;
    bool OnMouseMove(COrvaneView& view, unsigned flags, POINT client) override;
    bool OnLButtonUp(COrvaneView& view, unsigned flags, POINT client) override;

protected:
    explicit CStrokeTool(int number) : CTool(number) {}
    // One step from a to b (scroll coordinates).
    virtual void Step(COrvaneView& view, POINT a, POINT b) const = 0;
    virtual void Finish(COrvaneView& view) const = 0;
    virtual bool Beeline(const COrvaneView& view) const = 0;
};

class CPaintLineTool : public CStrokeTool {
public:
    CPaintLineTool() : CStrokeTool(ToolPaintLine) {}

protected:
    void Step(COrvaneView& view, POINT a, POINT b) const override;
    void Finish(COrvaneView& view) const override;
    bool Beeline(const COrvaneView& view) const override;
};

class CEraserTool : public CStrokeTool {
public:
    CEraserTool() : CStrokeTool(ToolEraser) {}

protected:
    void Step(COrvaneView& view, POINT a, POINT b) const override;
    void Finish(COrvaneView& view) const override;
    bool Beeline(const COrvaneView& view) const override;
};

// Left fills with the background colour, right with the foreground colour.
class CFloodTool : public CTool {
public:
    CFloodTool() : CTool(ToolFlood) {}
    bool OnLButtonDown(COrvaneView& view, unsigned flags, POINT client) override;
    bool OnRButtonDown(COrvaneView& view, unsigned flags, POINT client) override;
};

// Rectangle (11) and ellipse (12): a rubber band, released into a new shape object.
class CShapeTool : public CTool {
public:
    explicit CShapeTool(int number) : CTool(number) {}
    bool OnLButtonDown(COrvaneView& view, unsigned flags, POINT client) override;
    bool OnMouseMove(COrvaneView& view, unsigned flags, POINT client) override;
    bool OnLButtonUp(COrvaneView& view, unsigned flags, POINT client) override;
};

// Polygon (13): every press adds a vertex, a double click on three or more ends the polygon
// and the release that follows creates it.
class CPolygonTool : public CTool {
public:
    CPolygonTool() : CTool(ToolPolygon) {}
    bool OnLButtonDown(COrvaneView& view, unsigned flags, POINT client) override;
    bool OnMouseMove(COrvaneView& view, unsigned flags, POINT client) override;
    bool OnLButtonUp(COrvaneView& view, unsigned flags, POINT client) override;
    bool OnLButtonDblClk(COrvaneView& view, unsigned flags, POINT client) override;
};

// Whether a shape tool's rubber band or polygon is in progress.
bool ShapeGestureActive(const COrvaneView& view);
// Escape: the shape in progress goes without creating anything. False when there was none.
bool CancelShapeGesture(COrvaneView& view);

// The colour the visible objects and their shadows compose at a canvas point, from the
// topmost down until the composed alpha is full.
PickedColour ComposedColourAt(const CDocImage& image, POINT canvas);

// Attaches the tracker to the only selected object, or detaches it.
void AttachToSingleSelected(COrvaneView& view);

} // namespace zepho
