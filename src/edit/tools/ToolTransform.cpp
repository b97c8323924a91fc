#include "edit/commands/CmdImageTransform.h"
#include "edit/document/OrvaneDoc.h"
#include "edit/tools/ToolSet.h"
#include "edit/undo/UndoTransform.h"
#include "edit/view/OrvaneView.h"

#include <cmath>

namespace zepho {

namespace {

constexpr double kRadToDeg = 57.29577951308232;
// Angles that differ by less than this (degrees) are the same angle: a radian round trip
// must not turn a release at the start angle into a transform.
constexpr double kSameAngle = 1e-9;

// Transforms the tracker's object about the tracker's centre and records the undo when the
// object took it. The tracker follows the object either way. The rendering runs as long work
// (off the UI thread in the shell); a cancelled one leaves the object as it was.
void ApplyTransform(COrvaneView& view, double sx, double sy, double degrees) {
    Ref<CDrawObj> obj(view.ActiveObject());
    if (!obj) return;
    const DPoint c = view.Tracker().Center();
    std::unique_ptr<CTransformUndo> undo = CTransformUndo::Create(obj);
    // A handle dragged onto the opposite side leaves no size to scale to.
    const bool valid = std::isfinite(sx) && std::isfinite(sy) && sx > 0 && sy > 0 && std::isfinite(degrees);
    const bool applied = undo && valid && TransformAboutInBackground(*obj, c.x, c.y, sx, sy, degrees);
    view.AttachHandles(obj);
    if (!applied) return;
    COrvaneDoc& doc = view.Document();
    doc.AddUndo(std::move(undo));
    doc.SetModifiedFlag();
    doc.NotifyObjectsRepainted();
}

double ObjectAngle(const CDrawObj& obj) {
    return obj.content && obj.content->shape ? obj.content->shape->angle : 0.0;
}

} // namespace

void AttachToSingleSelected(COrvaneView& view) {
    Ref<CDrawObj> single;
    int count = 0;
    for (const auto& o : view.Document().Image().objects)
        if (o->IsSelected()) {
            single = o;
            ++count;
        }
    view.AttachHandles(count == 1 ? single : Ref<CDrawObj>{});
}

bool CTransformTool::OnLButtonDown(COrvaneView& view, unsigned flags, POINT client) {
    CTracker& t = view.Tracker();
    if (view.ActiveObject()) {
        if (t.HitKnob(view.ClientToLogical(client), view.Zoom(), view.CanvasOrigin())) {
            view.CaptureMouse();
            t.rotating = true;
            return true;
        }
        const int handle = t.HitHandle(view.ClientToCanvas(client));
        if (handle >= 0) {
            view.CaptureMouse();
            t.dragged = handle;
            view.BeginSnap({view.ActiveObject()});
            return true;
        }
    }
    CMoveTool::OnLButtonDown(view, flags, client);
    view.AttachHandles({});
    return true;
}

bool CTransformTool::OnMouseMove(COrvaneView& view, unsigned flags, POINT client) {
    CTracker& t = view.Tracker();
    if (t.rotating) {
        double a = t.AngleTowards(view.LogicalToCanvasExact(view.ClientToLogical(client)));
        // Shift holds the turn to steps of 15 degrees.
        if (flags & kMkShift) a = SnapAngle(a);
        if (a != t.Angle()) {
            t.SetAngle(a);
            view.InvalidateOverlay();
        }
        return true;
    }
    if (t.dragged >= 0 && (flags & kMkLButton)) {
        const POINT p = view.ClientToCanvas(client);
        DPoint at{static_cast<double>(p.x), static_cast<double>(p.y)};
        const DPoint snap = view.SnapPoint(at, flags);
        at.x += snap.x;
        at.y += snap.y;
        t.DragHandle(t.dragged, at);
        view.InvalidateOverlay();
        return true;
    }
    return CMoveTool::OnMouseMove(view, flags, client);
}

bool CTransformTool::OnLButtonUp(COrvaneView& view, unsigned flags, POINT client) {
    CTracker& t = view.Tracker();
    if (t.dragged >= 0) {
        view.ReleaseMouse();
        view.EndSnap();
        t.dragged = -1;
        CDrawObj* obj = view.ActiveObject();
        if (!obj || !obj->content) return true;
        double w = 0, h = 0;
        obj->content->GetSize(w, h);
        ApplyTransform(view, t.Width() / w, t.Height() / h, t.Angle() * kRadToDeg);
        return true;
    }
    if (t.rotating) {
        view.ReleaseMouse();
        t.rotating = false;
        CDrawObj* obj = view.ActiveObject();
        if (!obj) return true;
        const double degrees = t.Angle() * kRadToDeg;
        if (std::fabs(degrees - ObjectAngle(*obj)) < kSameAngle) return true;
        ApplyTransform(view, 1.0, 1.0, degrees);
        return true;
    }
    CMoveTool::OnLButtonUp(view, flags, client);
    AttachToSingleSelected(view);
    return true;
}

int CTransformTool::GetCursor(const COrvaneView& view, POINT client) const {
    const CTracker& t = view.Tracker();
    if (t.rotating) return kCursorRotate;
    if (t.dragged >= 0) return t.HandleCursor(t.dragged);
    if (view.ActiveObject() && !view.Drag().Has(CDragState::Moving)) {
        if (t.HitKnob(view.ClientToLogical(client), view.Zoom(), view.CanvasOrigin())) return kCursorRotate;
        const int handle = t.HitHandle(view.ClientToCanvas(client));
        if (handle >= 0) return t.HandleCursor(handle);
    }
    return CMoveTool::GetCursor(view, client);
}

} // namespace zepho
