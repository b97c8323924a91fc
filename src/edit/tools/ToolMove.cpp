#include "edit/document/OrvaneDoc.h"
#include "edit/tools/ToolSet.h"
#include "edit/undo/UndoObjects.h"
#include "edit/view/OrvaneView.h"
#include "edit/view/ViewStrings.h"
#include "model/AppSettings.h"

#include <algorithm>
#include <cmath>

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

bool CMoveTool::OnMouseMove(COrvaneView& view, unsigned flags, POINT client) {
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
        // The moved objects snap as one box to everything else.
        std::vector<const CDrawObj*> moving;
        bool first = true;
        for (const auto& o : img.objects) {
            if (!o->visible || !o->IsSelected()) continue;
            moving.push_back(o.Get());
            const DRect b = CSnapper::BoxOf(*o);
            drag.startBox =
                first
                    ? b
                    : DRect{std::min(drag.startBox.left, b.left), std::min(drag.startBox.top, b.top),
                            std::max(drag.startBox.right, b.right), std::max(drag.startBox.bottom, b.bottom)};
            first = false;
        }
        drag.moved = {};
        view.BeginSnap(moving);
    }
    // The objects follow the mouse from where the drag started, then snap.
    POINT total{pt.x - drag.start.x, pt.y - drag.start.y};
    const DRect& b = drag.startBox;
    const DPoint snap =
        view.SnapBox({b.left + total.x, b.top + total.y, b.right + total.x, b.bottom + total.y}, flags);
    total.x += static_cast<LONG>(std::floor(snap.x + 0.5));
    total.y += static_cast<LONG>(std::floor(snap.y + 0.5));
    const int dx = total.x - drag.moved.x, dy = total.y - drag.moved.y;
    drag.current = pt;
    drag.moved = total;
    if (dx != 0 || dy != 0) view.MoveSelectedObjects(dx, dy);
    return true;
}

bool CMoveTool::OnLButtonUp(COrvaneView& view, unsigned, POINT) {
    CDragState& drag = view.Drag();
    if (!drag.Has(CDragState::Moving)) return false;
    drag.flags &= ~(CDragState::Moving | CDragState::MoveNotRecorded);
    view.ReleaseMouse();
    view.EndSnap();
    COrvaneDoc& doc = view.Document();
    if (doc.Settings().ShowDetails) doc.NotifyObjectsRepainted();
    view.InvalidateAll();
    return true;
}

int CMoveTool::GetCursor(const COrvaneView& view, POINT) const {
    return view.Drag().Has(CDragState::Moving) ? kCursorMoving : kCursorArrow;
}

} // namespace zepho
