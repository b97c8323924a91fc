#include "edit/commands/CmdSelection.h"

#include "edit/commands/CmdClipboard.h"
#include "edit/commands/CmdCommon.h"
#include "edit/commands/CommandStrings.h"
#include "edit/document/OrvaneDoc.h"
#include "edit/tools/ToolTargets.h"
#include "edit/undo/UndoImage.h"
#include "model/ModelStrings.h"
#include "model/ObjectKind.h"
#include "raster/Dib.h"

#include <cstring>
#include <utility>

namespace zepho {

namespace {

Region CanvasRegion(const COrvaneView& view) {
    const CDocImage& img = view.Document().Image();
    return Region::Rect(0, 0, img.width, img.height);
}

bool Confirmed(IUiHost& ui) {
    return ui.AskYesNo(strings::kAskClearSelection, strings::kAppTitle);
}

// The object's raster with the pixels inside the region cleared, or empty when none of them
// showed.
PackedDib ClearCovered(const CDrawObj& o, const Region& selection) {
    const PackedDib& raster = o.content->raster;
    Region covered = Region::Rect(o.x, o.y, o.x + raster.Width(), o.y + raster.Height());
    covered.Intersect(selection);
    if (covered.IsEmpty()) return {};
    PackedDib next = DuplicateDIB(raster);
    if (!next) return {};
    bool changed = false;
    for (const RECT& rc : covered.Rects())
        for (LONG y = rc.top; y < rc.bottom; ++y) {
            BYTE* p = next.Pixel32(rc.left - o.x, y - o.y);
            for (LONG x = rc.left; x < rc.right; ++x, p += 4)
                if (p[3]) {
                    changed = true;
                    std::memset(p, 0, 4);
                }
        }
    return changed ? std::move(next) : PackedDib{};
}

// The covered pixels of every selected visible object go; objects left empty leave the frame.
bool ClearSelectedPart(COrvaneView& view, const Region& selection, CCutDeleteUndo::Variant variant,
                       IUiHost& ui) {
    COrvaneDoc& doc = view.Document();
    auto action = std::make_unique<CCutRemoveUndo>(variant);
    bool any = false;
    // The questions are modal and removals change the list: walk a copy.
    CDrawObjList objects;
    objects.CopyFrom(doc.Image().objects);
    for (const auto& o : objects) {
        if (!o->visible || !o->IsSelected() || !o->content || !o->content->raster.Is32()) continue;
        const PackedDib& raster = o->content->raster;
        const Region area = Region::Rect(o->x, o->y, o->x + raster.Width(), o->y + raster.Height());
        // Only objects the selection reaches are asked about.
        if (Region::Combine(area, selection, CombineMode::And).IsEmpty()) continue;
        if (!AskConversion(*o, strings::kVerbCutPortion, ui)) continue;
        PackedDib cleared = ClearCovered(*o, selection);
        if (!cleared) continue;
        any = true;
        POINT cut{};
        PackedDib rest = TrimTransparent(cleared, cut);
        if (!rest) {
            action->AddRemoval(CObjectRemoval::Remove(doc, o));
            continue;
        }
        auto backup = std::make_unique<CImageBackup>();
        if (backup->Edit(o, std::move(rest), cut.x, cut.y)) action->AddRecord(std::move(backup));
    }
    if (!any) {
        ShowCommandMessage(ui, strings::kCopyEmpty);
        return false;
    }
    CommitCommand(doc, std::move(action), true);
    return true;
}

// Without a selection the selected visible objects leave the frame whole.
bool RemoveSelectedObjects(COrvaneDoc& doc, CCutDeleteUndo::Variant variant) {
    auto action = std::make_unique<CCutDeleteUndo>(variant);
    CDrawObjList objects;
    objects.CopyFrom(doc.Image().objects);
    for (const auto& o : objects)
        if (o->visible && o->IsSelected()) action->AddRecord(CObjectRemoval::Remove(doc, o));
    if (action->IsEmpty()) return false;
    CommitCommand(doc, std::move(action), true);
    return true;
}

bool CutOrDelete(COrvaneView& view, IClipboard* clipboard, IUiHost& ui) {
    const CCutDeleteUndo::Variant variant = clipboard ? CCutDeleteUndo::Cut : CCutDeleteUndo::Delete;
    if (!Confirmed(ui)) return false;
    COrvaneDoc& doc = view.Document();
    const std::optional<Region>& selection = view.Selection();
    if (clipboard) CopySelectedObjects(doc, *clipboard, selection ? &*selection : nullptr);
    if (selection) {
        // The region is copied: the questions on the way must not see it change.
        const Region region = *selection;
        return ClearSelectedPart(view, region, variant, ui);
    }
    return RemoveSelectedObjects(doc, variant);
}

} // namespace

Region ApplySelectionKeys(Region made, const std::optional<Region>& current, unsigned keyFlags, bool lasso) {
    if (!current) return made;
    const bool shift = (keyFlags & kMkShift) != 0, ctrl = (keyFlags & kMkControl) != 0;
    if (shift) made.Union(*current);
    // The lasso takes one rule only: Shift wins.
    if (ctrl && !(lasso && shift)) made.Subtract(*current);
    return made;
}

void InstallSelection(COrvaneView& view, CSelectionUndo::Variant variant, std::optional<Region> region) {
    if (region && region->IsEmpty()) region.reset();
    std::optional<Region> previous = std::exchange(view.Selection(), std::move(region));
    view.Document().AddUndo(std::make_unique<CSelectionUndo>(variant, std::move(previous), &view));
    view.SelectionRegionChanged();
}

void CmdSelectAll(COrvaneView& view) {
    InstallSelection(view, CSelectionUndo::SelectAll, CanvasRegion(view));
}

bool CmdUnselectAll(COrvaneView& view) {
    if (!view.Selection()) return false;
    InstallSelection(view, CSelectionUndo::UnselectAll, std::nullopt);
    return true;
}

void CmdInvertSelection(COrvaneView& view) {
    Region inverted = CanvasRegion(view);
    if (view.Selection()) inverted.Subtract(*view.Selection());
    InstallSelection(view, CSelectionUndo::Invert, std::move(inverted));
}

bool CmdCut(COrvaneView& view, IClipboard& clipboard, IUiHost& ui) {
    return CutOrDelete(view, &clipboard, ui);
}

bool CmdDeleteSelection(COrvaneView& view, IUiHost& ui) {
    return CutOrDelete(view, nullptr, ui);
}

bool CanCutOrDelete(const COrvaneView& view) {
    return view.Document().Image().CountSelectedVisible() > 0;
}

bool CanUnselectAll(const COrvaneView& view) {
    return view.Selection().has_value();
}

} // namespace zepho
