#include "edit/commands/CmdAlign.h"

#include "edit/commands/CmdCommon.h"
#include "edit/undo/UndoObjects.h"
#include "edit/view/OrvaneView.h"
#include "model/AppSettings.h"
#include "model/ModelStrings.h"

#include <algorithm>
#include <limits>

namespace zepho {

namespace {
RECT ObjectRect(const CDrawObj& o) {
    const SIZE s = o.GetSize();
    return {o.x, o.y, o.x + s.cx, o.y + s.cy};
}

CMoveUndo::Variant VariantOf(AlignKind k) {
    switch (k) {
    case AlignKind::Left:
        return CMoveUndo::AlignLeft;
    case AlignKind::Top:
        return CMoveUndo::AlignTop;
    case AlignKind::Right:
        return CMoveUndo::AlignRight;
    case AlignKind::Bottom:
        return CMoveUndo::AlignBottom;
    case AlignKind::CenterHorz:
        return CMoveUndo::CenterHorz;
    case AlignKind::CenterVert:
        return CMoveUndo::CenterVert;
    case AlignKind::CenterBoth:
        return CMoveUndo::CenterBoth;
    }
    return CMoveUndo::Move;
}

// Moves the object, repainting where it was and where it lands.
void MoveObject(COrvaneDoc& doc, CDrawObj& o, int x, int y) {
    COrvaneView* view = doc.GetView();
    if (view) view->InvalidateObject(o);
    o.x = x;
    o.y = y;
    if (view) {
        view->InvalidateObject(o);
        if (view->ActiveObject() == &o) view->AttachHandles(Ref<CDrawObj>(&o));
    }
}
} // namespace

bool CmdAlign(COrvaneDoc& doc, AlignKind kind, IUiHost& ui) {
    CDocImage& img = doc.Image();
    if (img.objects.IsEmpty()) {
        ShowCommandMessage(ui, strings::kNeedObjectPresent);
        return false;
    }
    int count = 0;
    LONG minLeft = std::numeric_limits<LONG>::max(), minTop = minLeft;
    LONG maxRight = std::numeric_limits<LONG>::min(), maxBottom = maxRight;
    for (const auto& o : img.objects) {
        if (!o->IsSelected()) continue;
        const RECT r = ObjectRect(*o);
        minLeft = std::min(minLeft, r.left);
        minTop = std::min(minTop, r.top);
        maxRight = std::max(maxRight, r.right);
        maxBottom = std::max(maxBottom, r.bottom);
        ++count;
    }
    if (count == 0) {
        ShowCommandMessage(ui, strings::kNeedObjectSelected);
        return false;
    }
    const bool single = count == 1;
    auto action = std::make_unique<CMoveUndo>(VariantOf(kind));
    bool moved = false;
    for (const auto& o : img.objects) {
        if (!o->IsSelected() || !o->visible) continue;
        const RECT r = ObjectRect(*o);
        int x = o->x, y = o->y;
        const int cx = (r.left + r.right) / 2, cy = (r.top + r.bottom) / 2;
        switch (kind) {
        case AlignKind::Left:
            x = single ? 0 : minLeft;
            break;
        case AlignKind::Top:
            y = single ? 0 : minTop;
            break;
        case AlignKind::Right:
            x += (single ? img.width : maxRight) - r.right;
            break;
        case AlignKind::Bottom:
            y += (single ? img.height : maxBottom) - r.bottom;
            break;
        case AlignKind::CenterHorz:
            x += (img.width >> 1) - cx;
            break;
        case AlignKind::CenterVert:
            y += (img.height >> 1) - cy;
            break;
        case AlignKind::CenterBoth:
            x += (img.width >> 1) - cx;
            y += (img.height >> 1) - cy;
            break;
        }
        if (x == o->x && y == o->y) continue;
        action->AddObject(o, o->x, o->y);
        MoveObject(doc, *o, x, y);
        moved = true;
    }
    if (!moved) return false;
    CommitCommand(doc, std::move(action), false);
    return true;
}

bool CmdNudge(COrvaneDoc& doc, const CAppSettings& settings, NudgeKey key) {
    const int h = std::clamp(settings.HorizontalOffset, 1, 100),
              v = std::clamp(settings.VerticalOffset, 1, 100);
    int dx = 0, dy = 0;
    switch (key) {
    case NudgeKey::Left:
        dx = -h;
        break;
    case NudgeKey::Right:
        dx = h;
        break;
    case NudgeKey::Up:
        dy = -v;
        break;
    case NudgeKey::Down:
        dy = v;
        break;
    }
    auto action = std::make_unique<CMoveUndo>(CMoveUndo::Move);
    bool moved = false;
    for (const auto& o : doc.Image().objects) {
        if (!o->IsSelected() || !o->visible) continue;
        action->AddObject(o, o->x, o->y);
        MoveObject(doc, *o, o->x + dx, o->y + dy);
        moved = true;
    }
    if (!moved) return false;
    CommitCommand(doc, std::move(action), false);
    return true;
}

bool CanAlign(const COrvaneDoc& doc) {
    return !doc.Image().objects.IsEmpty();
}
bool CanNudge(const COrvaneDoc& doc) {
    return doc.Image().CountSelectedVisible() > 0;
}

} // namespace zepho
