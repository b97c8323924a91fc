#include "edit/commands/CmdSelection.h"
#include "edit/document/OrvaneDoc.h"
#include "edit/tools/ToolSet.h"
#include "edit/view/OrvaneView.h"
#include "model/AppSettings.h"
#include "raster/RegionOps.h"

#include <algorithm>
#include <cmath>

namespace zepho {

namespace {

// A drag in scroll coordinates as canvas pixels: rounded when zoomed in, scaled when reduced.
LONG DragToCanvas(LONG d, int zoom) {
    if (zoom >= 1) return static_cast<LONG>(std::floor(static_cast<double>(d) / zoom + 0.5));
    return d * -zoom;
}

POINT DragOffset(const COrvaneView& view) {
    const CDragState& drag = view.Drag();
    return {DragToCanvas(drag.current.x - drag.start.x, view.Zoom()),
            DragToCanvas(drag.current.y - drag.start.y, view.Zoom())};
}

RECT Normalised(POINT a, POINT b) {
    return {std::min(a.x, b.x), std::min(a.y, b.y), std::max(a.x, b.x), std::max(a.y, b.y)};
}

void InvalidateSegment(COrvaneView& view, POINT a, POINT b) {
    IViewHost* host = view.Host();
    if (!host) return;
    const RECT r = view.LogicalToClient(Normalised(a, b));
    host->InvalidateRect(RECT{r.left - 1, r.top - 1, r.right + 2, r.bottom + 2});
}

} // namespace

// --- selection move ---------------------------------------------------------------------------

bool CSelectionTool::StartSelectionMove(COrvaneView& view, POINT client) {
    CDragState& drag = view.Drag();
    const std::optional<Region>& selection = view.Selection();
    if (drag.Has(CDragState::RubberBand) || !selection) return false;
    const POINT p = view.ClientToCanvas(client);
    if (!selection->Contains(p.x, p.y)) return false;
    drag.flags |= CDragState::Moving;
    drag.start = drag.current = view.ClientToLogical(client);
    view.CaptureMouse();
    return true;
}

bool CSelectionTool::DragSelection(COrvaneView& view, unsigned flags, POINT client) {
    CDragState& drag = view.Drag();
    if (!drag.Has(CDragState::Moving)) return false;
    if (!(flags & kMkLButton)) return true;
    drag.current = view.ClientToLogical(client);
    view.SetSelectionDragOffset(DragOffset(view));
    return true;
}

bool CSelectionTool::EndSelectionMove(COrvaneView& view, POINT client) {
    CDragState& drag = view.Drag();
    if (!drag.Has(CDragState::Moving)) return false;
    drag.current = view.ClientToLogical(client);
    drag.flags &= ~CDragState::Moving;
    view.ReleaseMouse();
    const POINT d = DragOffset(view);
    view.EndSelectionDrag();
    if ((d.x == 0 && d.y == 0) || !view.Selection()) return true;
    COrvaneDoc& doc = view.Document();
    doc.AddUndo(std::make_unique<CMoveSelectionUndo>(d.x, d.y, &view));
    doc.SetModifiedFlag();
    view.Selection()->Offset(d.x, d.y);
    view.SelectionRegionChanged();
    return true;
}

int CSelectionTool::GetCursor(const COrvaneView& view, POINT client) const {
    if (view.Drag().Has(CDragState::Moving)) return kCursorOverSelection;
    return CTool::GetCursor(view, client);
}

// --- rectangle and ellipse --------------------------------------------------------------------

bool CRectSelectTool::OnLButtonDown(COrvaneView& view, unsigned flags, POINT client) {
    if (StartSelectionMove(view, client)) return true;
    CDragState& drag = view.Drag();
    drag.flags |= CDragState::RubberBand;
    view.BeginSnap();
    drag.start = drag.current = view.SnapLogical(view.ClientToLogical(client), flags);
    view.CaptureMouse();
    return true;
}

bool CRectSelectTool::OnMouseMove(COrvaneView& view, unsigned flags, POINT client) {
    if (DragSelection(view, flags, client)) return true;
    CDragState& drag = view.Drag();
    if (!drag.Has(CDragState::RubberBand)) return false;
    view.MoveRubberBandTo(view.SnapLogical(view.ClientToLogical(client), flags));
    return true;
}

bool CRectSelectTool::OnLButtonUp(COrvaneView& view, unsigned flags, POINT client) {
    if (EndSelectionMove(view, client)) return true;
    CDragState& drag = view.Drag();
    if (!drag.Has(CDragState::RubberBand)) return false;
    view.InvalidateRubberBand();
    drag.current = view.SnapLogical(view.ClientToLogical(client), flags);
    drag.flags &= ~CDragState::RubberBand;
    view.ReleaseMouse();
    view.EndSnap();
    if (drag.start == drag.current) return true;
    const RECT dragged = Normalised(drag.start, drag.current);
    if (dragged.IsEmpty()) return true;
    const RECT rc = view.LogicalToCanvas(dragged);
    if (rc.IsEmpty()) return true;
    Region made;
    if (Number() == ToolEllipseSelect) {
        made = Region::Ellipse(rc);
    } else {
        // The corner is measured on the canvas, so that the region has the corners its rubber
        // band showed at any zoom.
        const int percent = view.Document().Settings().SelectionRoundCorner;
        const int corner =
            static_cast<int>(std::floor(percent * std::min(rc.Width(), rc.Height()) * 0.02 + 0.5));
        made = Region::RoundRect(rc, corner, corner);
    }
    made = ApplySelectionKeys(std::move(made), view.Selection(), flags, false);
    InstallSelection(view,
                     Number() == ToolEllipseSelect ? CSelectionUndo::Elliptic : CSelectionUndo::Rectangular,
                     std::move(made));
    return true;
}

// --- lasso ------------------------------------------------------------------------------------

bool CLassoTool::OnLButtonDown(COrvaneView& view, unsigned, POINT client) {
    if (StartSelectionMove(view, client)) return true;
    CDragState& drag = view.Drag();
    drag.flags |= CDragState::Lasso;
    drag.start = drag.current = view.ClientToLogical(client);
    drag.lasso.assign(1, drag.start);
    view.CaptureMouse();
    return true;
}

bool CLassoTool::OnMouseMove(COrvaneView& view, unsigned flags, POINT client) {
    if (DragSelection(view, flags, client)) return true;
    CDragState& drag = view.Drag();
    if (!drag.Has(CDragState::Lasso) || !(flags & kMkLButton)) return false;
    const POINT p = view.ClientToLogical(client);
    drag.lasso.push_back(p);
    InvalidateSegment(view, drag.current, p);
    drag.current = p;
    return true;
}

bool CLassoTool::OnLButtonUp(COrvaneView& view, unsigned flags, POINT client) {
    if (EndSelectionMove(view, client)) return true;
    CDragState& drag = view.Drag();
    if (!drag.Has(CDragState::Lasso)) return false;
    view.InvalidateRubberBand();
    std::vector<POINT> points = std::move(drag.lasso);
    drag.lasso.clear();
    drag.flags &= ~CDragState::Lasso;
    view.ReleaseMouse();
    for (POINT& p : points)
        p = view.LogicalToCanvas(p);
    Region made = Region::Polygon(points.data(), static_cast<int>(points.size()), FillMode::Alternate);
    if (made.IsEmpty()) return true;
    made = ApplySelectionKeys(std::move(made), view.Selection(), flags, true);
    InstallSelection(view, CSelectionUndo::Lasso, std::move(made));
    return true;
}

// --- magic wand -------------------------------------------------------------------------------

bool CMagicWandTool::OnLButtonDown(COrvaneView& view, unsigned flags, POINT client) {
    if (StartSelectionMove(view, client)) return true;
    const POINT p = view.ClientToCanvas(client);
    if (!view.InsideCanvas(p)) {
        // A click beside the canvas lets go of the selection.
        if (view.Selection()) InstallSelection(view, CSelectionUndo::MagicWand, std::nullopt);
        return true;
    }
    const CDocImage& img = view.Document().Image();
    const PackedDib flat = img.CompositeVisible(img.width, img.height);
    if (!flat) return true;
    const CAppSettings& s = view.Document().Settings();
    std::optional<Region> made = s.ConnectedPixelsMagicWand
                                     ? SelectSimilarContiguous(flat, p.x, p.y, s.Similarity)
                                     : SelectSimilarGlobal(flat, p.x, p.y, s.Similarity);
    if (!made) return true;
    InstallSelection(view, CSelectionUndo::MagicWand,
                     ApplySelectionKeys(std::move(*made), view.Selection(), flags, false));
    return true;
}

bool CMagicWandTool::OnMouseMove(COrvaneView& view, unsigned flags, POINT client) {
    return DragSelection(view, flags, client);
}

bool CMagicWandTool::OnLButtonUp(COrvaneView& view, unsigned, POINT client) {
    return EndSelectionMove(view, client);
}

} // namespace zepho
