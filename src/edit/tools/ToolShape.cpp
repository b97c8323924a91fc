#include "edit/commands/CmdCommon.h"
#include "edit/document/OrvaneDoc.h"
#include "edit/tools/ToolSet.h"
#include "edit/undo/UndoObjects.h"
#include "edit/view/OrvaneView.h"
#include "model/AppSettings.h"
#include "model/EllipseObj.h"
#include "model/PolygonObj.h"
#include "model/RectObj.h"

#include <algorithm>

namespace zepho {

namespace {

// The vertex list grows by this many points at a time.
constexpr std::size_t kVertexStep = 200;

bool IsShapeTool(int number) {
    return number == ToolRectangle || number == ToolEllipse || number == ToolPolygon;
}

// Creates the shape as a new object on top of the frame, alone selected, with the tool settings
// and paint colours. `box` is the shape's geometric rectangle in canvas pixels; the object lies
// half the outline width further up and left, so that the outline is centred on the box.
void AddShapeObject(COrvaneView& view, Ref<CShapeObj> shape, const RECT& box, CObjListUndo::Variant variant) {
    COrvaneDoc& doc = view.Document();
    const CAppSettings& s = doc.Settings();
    const int width = std::clamp(s.PaintShapeWidth, 0, 100);
    const bool fill = s.FillInsideShape != 0;
    if (width == 0 && !fill) return;
    const CPaintColours colours = view.PaintColours() ? *view.PaintColours() : CPaintColours::FromSettings(s);
    shape->fill = fill ? 1 : 0;
    shape->strokeWidth = width;
    shape->paint.color1 = colours.fore;
    shape->paint.color2 = colours.back;
    shape->paint.mode = static_cast<WORD>(std::clamp(s.FillShapeMode, 0, 5));
    PackedDib raster = shape->Render();
    if (!raster) return;

    CDocImage& img = doc.Image();
    auto action = std::make_unique<CObjListUndo>(variant);
    action->Capture(img.objects);
    img.DeselectAll();
    const ObjectKind kind = shape->Kind();
    Ref<CObjContent> content = MakeRef<CObjContent>(kind);
    content->SetShape(std::move(shape));
    content->SetRaster(std::move(raster));
    content->name = doc.NextObjectName(kind);
    content->selected = 1;
    Ref<CDrawObj> obj = MakeRef<CDrawObj>(content);
    obj->visible = 1;
    obj->transparency = static_cast<std::uint8_t>(std::clamp(s.ShapeOpacity, 0, 255));
    obj->x = box.left - width / 2;
    obj->y = box.top - width / 2;
    img.objects.AddTail(obj);
    CommitCommand(doc, std::move(action), true);
    // The command repaints the document's first view; the shape may have been drawn in another.
    view.InvalidateAll();
}

} // namespace

// --- rectangle and ellipse --------------------------------------------------------------------

bool CShapeTool::OnLButtonDown(COrvaneView& view, unsigned flags, POINT client) {
    CDragState& drag = view.Drag();
    drag.flags |= CDragState::RubberBand;
    view.BeginSnap();
    drag.start = drag.current = view.SnapLogical(view.ClientToLogical(client), flags);
    view.CaptureMouse();
    return true;
}

bool CShapeTool::OnMouseMove(COrvaneView& view, unsigned flags, POINT client) {
    CDragState& drag = view.Drag();
    if (!drag.Has(CDragState::RubberBand)) return false;
    view.MoveRubberBandTo(view.SnapLogical(view.ClientToLogical(client), flags));
    return true;
}

bool CShapeTool::OnLButtonUp(COrvaneView& view, unsigned flags, POINT client) {
    CDragState& drag = view.Drag();
    if (!drag.Has(CDragState::RubberBand)) return false;
    view.InvalidateRubberBand();
    drag.current = view.SnapLogical(view.ClientToLogical(client), flags);
    view.EndSnap();
    drag.flags &= ~CDragState::RubberBand;
    view.ReleaseMouse();
    const RECT dragged{std::min(drag.start.x, drag.current.x), std::min(drag.start.y, drag.current.y),
                       std::max(drag.start.x, drag.current.x), std::max(drag.start.y, drag.current.y)};
    const RECT rc = view.LogicalToCanvas(dragged);
    // A click or a sliver is not a shape.
    if (rc.Width() <= 2 || rc.Height() <= 2) return true;
    if (Number() == ToolEllipse) {
        Ref<CEllipseObj> ellipse = MakeRef<CEllipseObj>();
        ellipse->radiusX = rc.Width() / 2.0;
        ellipse->radiusY = rc.Height() / 2.0;
        AddShapeObject(view, ellipse, rc, CObjListUndo::PaintEllipse);
    } else {
        Ref<CRectObj> rect = MakeRef<CRectObj>();
        rect->width = rc.Width();
        rect->height = rc.Height();
        rect->roundCorner = std::clamp(view.Document().Settings().RoundRadius, 0, 50);
        AddShapeObject(view, rect, rc, CObjListUndo::PaintRectangle);
    }
    return true;
}

// --- polygon ----------------------------------------------------------------------------------

bool CPolygonTool::OnLButtonDown(COrvaneView& view, unsigned flags, POINT client) {
    CDragState& drag = view.Drag();
    if (drag.Has(CDragState::PolygonEnded)) return true;
    view.InvalidateRubberBand();
    if (!drag.Has(CDragState::Polygon)) {
        drag.lasso.clear();
        drag.flags |= CDragState::Polygon;
        view.CaptureMouse();
        view.BeginSnap();
    }
    std::vector<POINT>& vertices = drag.lasso;
    if (vertices.size() == vertices.capacity()) vertices.reserve(vertices.size() + kVertexStep);
    drag.current = view.SnapLogical(view.ClientToLogical(client), flags);
    vertices.push_back(view.LogicalToCanvas(drag.current));
    view.InvalidateRubberBand();
    return true;
}

bool CPolygonTool::OnMouseMove(COrvaneView& view, unsigned flags, POINT client) {
    CDragState& drag = view.Drag();
    if (!drag.Has(CDragState::Polygon) || drag.Has(CDragState::PolygonEnded)) return false;
    view.MoveRubberBandTo(view.SnapLogical(view.ClientToLogical(client), flags));
    return true;
}

bool CPolygonTool::OnLButtonDblClk(COrvaneView& view, unsigned, POINT) {
    // Handled even when it cannot end the polygon: a double click here never opens properties.
    CDragState& drag = view.Drag();
    if (drag.Has(CDragState::Polygon) && drag.lasso.size() >= 3) drag.flags |= CDragState::PolygonEnded;
    return true;
}

bool CPolygonTool::OnLButtonUp(COrvaneView& view, unsigned, POINT) {
    CDragState& drag = view.Drag();
    if (!drag.Has(CDragState::Polygon)) return false;
    if (!drag.Has(CDragState::PolygonEnded)) return true;
    view.InvalidateRubberBand();
    const std::vector<POINT> vertices = std::move(drag.lasso);
    drag.Clear();
    view.ReleaseMouse();
    view.EndSnap();

    Ref<CPolygonObj> polygon = MakeRef<CPolygonObj>();
    polygon->points.reserve(vertices.size());
    RECT box{vertices.front().x, vertices.front().y, vertices.front().x, vertices.front().y};
    for (const POINT& p : vertices) {
        polygon->points.push_back({static_cast<double>(p.x), static_cast<double>(p.y)});
        box.left = std::min(box.left, p.x);
        box.top = std::min(box.top, p.y);
        box.right = std::max(box.right, p.x);
        box.bottom = std::max(box.bottom, p.y);
    }
    AddShapeObject(view, polygon, box, CObjListUndo::PaintPolygon);
    return true;
}

// --- escape -----------------------------------------------------------------------------------

bool ShapeGestureActive(const COrvaneView& view) {
    return IsShapeTool(view.ToolNumber()) && view.Drag().Has(CDragState::RubberBand | CDragState::Polygon);
}

bool CancelShapeGesture(COrvaneView& view) {
    if (!ShapeGestureActive(view)) return false;
    view.InvalidateRubberBand();
    view.Drag().Clear();
    view.ReleaseMouse();
    view.EndSnap();
    return true;
}

} // namespace zepho
