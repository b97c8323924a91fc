#include "edit/document/OrvaneDoc.h"
#include "edit/tools/ToolSet.h"
#include "edit/undo/UndoObjects.h"
#include "edit/view/OrvaneView.h"
#include "edit/view/ViewStrings.h"
#include "model/AppSettings.h"

namespace zepho {

bool CMoveTool::OnLButtonDown(COrvaneView& view, unsigned flags, POINT client) {
    CDragState& drag = view.Drag();
    const POINT pt = view.ClientToCanvas(client);
    drag.start = drag.current = pt;
    CDocImage& img = view.Document().Image();
    const Ref<CDrawObj> hit = img.TopmostAt(pt);
    if (!hit || !hit->content) {
        img.DeselectAll();
    } else if (flags & kMkControl) {
        hit->content->selected = !hit->content->selected;
    } else if (flags & kMkShift) {
        hit->content->selected = 1;
    } else if (!hit->content->selected) {
        img.DeselectAll();
        hit->content->selected = 1;
    }
    view.SelectionFlagsChanged();
    // Only visible objects move; with none of them selected there is nothing to drag.
    if (img.CountSelectedVisible() > 0) drag.flags |= CDragState::Moving | CDragState::MoveNotRecorded;
    return true;
}

bool CMoveTool::OnMouseMove(COrvaneView& view, unsigned, POINT client) {
    CDragState& drag = view.Drag();
    if (!drag.Has(CDragState::Moving)) return false;
    const POINT pt = view.ClientToCanvas(client);
    // A move that stays on the same canvas pixel is still a click: nothing to record.
    if (pt == drag.current) return true;
    COrvaneDoc& doc = view.Document();
    CDocImage& img = doc.Image();
    if (drag.Has(CDragState::MoveNotRecorded)) {
        if (img.AnySelectedLocked()) {
            drag.flags &= ~(CDragState::Moving | CDragState::MoveNotRecorded);
            view.ShowMessage(strings::kObjectsLocked);
            return true;
        }
        auto undo = std::make_unique<CMoveUndo>();
        for (const auto& o : img.objects)
            if (o->visible && o->IsSelected()) undo->AddObject(o, o->x, o->y);
        doc.AddUndo(std::move(undo));
        doc.SetModifiedFlag();
        view.CaptureMouse();
        drag.flags &= ~CDragState::MoveNotRecorded;
    }
    const int dx = pt.x - drag.current.x, dy = pt.y - drag.current.y;
    drag.current = pt;
    view.MoveSelectedObjects(dx, dy);
    return true;
}

bool CMoveTool::OnLButtonUp(COrvaneView& view, unsigned, POINT) {
    CDragState& drag = view.Drag();
    if (!drag.Has(CDragState::Moving)) return false;
    drag.flags &= ~(CDragState::Moving | CDragState::MoveNotRecorded);
    view.ReleaseMouse();
    COrvaneDoc& doc = view.Document();
    if (doc.Settings().ShowDetails) doc.NotifyObjectsRepainted();
    view.InvalidateAll();
    return true;
}

int CMoveTool::GetCursor(const COrvaneView& view, POINT) const {
    return view.Drag().Has(CDragState::Moving) ? kCursorMoving : kCursorArrow;
}

} // namespace zepho
