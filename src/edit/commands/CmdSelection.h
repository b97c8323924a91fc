// The selection region's commands (Select All, Unselect All, Invert, Cut, Delete) and the steps
// the selection tools share with them.
#pragma once

#include "edit/undo/UndoCanvas.h"
#include "edit/view/OrvaneView.h"
#include "platform/Services.h"

#include <optional>

namespace zepho {

// The region a selection gesture ends with, after its modifier keys: Shift unites it with the
// current selection, Ctrl takes the current selection away from it. With both keys the
// rectangle, ellipse and wand do both (the union, less the current selection), the lasso only
// unites. Without a current selection the keys change nothing.
Region ApplySelectionKeys(Region made, const std::optional<Region>& current, unsigned keyFlags, bool lasso);

// Records the change under the variant and installs the region (an empty one clears the
// selection, as nothing would show it); the outline follows and the view repaints.
void InstallSelection(COrvaneView& view, CSelectionUndo::Variant variant, std::optional<Region> region);

void CmdSelectAll(COrvaneView& view);
// False, recording nothing, when there is no selection.
bool CmdUnselectAll(COrvaneView& view);
// The canvas less the selection; the whole canvas without one.
void CmdInvertSelection(COrvaneView& view);

// After "Are you sure clear the selection?": with a selection, the covered pixels of every
// selected visible image object become transparent (shapes are converted when the user agrees,
// objects left empty leave the frame); without one, the selected visible objects leave the
// frame. Cut copies to the clipboard first. False when nothing changed.
bool CmdCut(COrvaneView& view, IClipboard& clipboard, IUiHost& ui);
bool CmdDeleteSelection(COrvaneView& view, IUiHost& ui);

bool CanCutOrDelete(const COrvaneView& view);
bool CanUnselectAll(const COrvaneView& view);

} // namespace zepho
