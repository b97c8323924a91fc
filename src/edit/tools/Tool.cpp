#include "edit/tools/Tool.h"

#include "edit/tools/ToolSet.h"
#include "edit/view/OrvaneView.h"
#include "model/AppSettings.h"

namespace zepho {

namespace {

constexpr ToolInfo kTools[ToolCount] = {
    {ToolMove, kCursorMoving, 0, 1, 0},
    {ToolRectSelect, 179, kCursorOverSelection, 8, 1},
    {ToolEllipseSelect, 178, kCursorOverSelection, 8, 2},
    {ToolLasso, 176, kCursorOverSelection, 8, 3},
    {ToolMagicWand, 177, kCursorOverSelection, 2, 0},
    {ToolTransform, kCursorMoving, 0, 1, 0},
    {ToolText, kCursorArrow, 0, 0, 0},
    {ToolPaintLine, 303, 0, 4, 0},
    {ToolEraser, 298, 0, 3, 0},
    {ToolFlood, 297, 0, 7, 0},
    {ToolPicker, kCursorPicker, 0, 6, 0},
    {ToolRectangle, 302, 0, 5, 1},
    {ToolEllipse, 302, 0, 5, 0},
    {ToolPolygon, 302, 0, 5, 0},
};

} // namespace

const ToolInfo& ToolInfoOf(int number) {
    return kTools[number >= 0 && number < ToolCount ? number : ToolMove];
}

CPaintColours CPaintColours::FromSettings(const CAppSettings& settings) {
    return {settings.PaintForeColor, settings.PaintBackgndColor};
}

void CPaintColours::SaveTo(CAppSettings& settings) const {
    settings.PaintForeColor = fore;
    settings.PaintBackgndColor = back;
}

bool CTool::OnLButtonDown(COrvaneView&, unsigned, POINT) {
    return false;
}
bool CTool::OnMouseMove(COrvaneView&, unsigned, POINT) {
    return false;
}
bool CTool::OnLButtonUp(COrvaneView&, unsigned, POINT) {
    return false;
}
bool CTool::OnLButtonDblClk(COrvaneView&, unsigned, POINT) {
    return false;
}
bool CTool::OnRButtonDown(COrvaneView&, unsigned, POINT) {
    return false;
}
bool CTool::OnExtra(COrvaneView&, unsigned, POINT) {
    return false;
}

int CTool::GetCursor(const COrvaneView& view, POINT client) const {
    const ToolInfo& info = ToolInfoOf(number_);
    if (info.selectionCursor && view.Selection()) {
        const POINT p = view.ClientToCanvas(client);
        if (view.Selection()->Contains(p.x, p.y)) return info.selectionCursor;
    }
    return info.cursor;
}

CTool& ToolOf(int number) {
    static CMoveTool move;
    static CRectSelectTool rectSelect(ToolRectSelect);
    static CRectSelectTool ellipseSelect(ToolEllipseSelect);
    static CLassoTool lasso;
    static CMagicWandTool wand;
    static CTransformTool transform;
    static CTextTool text;
    static CPaintLineTool paintLine;
    static CEraserTool eraser;
    static CFloodTool flood;
    static CPickerTool picker;
    static CShapeTool rectangle(ToolRectangle);
    static CShapeTool ellipse(ToolEllipse);
    static CPolygonTool polygon;
    switch (number) {
    case ToolRectSelect:
        return rectSelect;
    case ToolEllipseSelect:
        return ellipseSelect;
    case ToolLasso:
        return lasso;
    case ToolMagicWand:
        return wand;
    case ToolTransform:
        return transform;
    case ToolText:
        return text;
    case ToolPaintLine:
        return paintLine;
    case ToolEraser:
        return eraser;
    case ToolFlood:
        return flood;
    case ToolPicker:
        return picker;
    case ToolRectangle:
        return rectangle;
    case ToolEllipse:
        return ellipse;
    case ToolPolygon:
        return polygon;
    default:
        return move;
    }
}

} // namespace zepho
