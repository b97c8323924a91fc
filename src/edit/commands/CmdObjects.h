// The object commands that change which objects the frame holds: new, duplicate, delete, trim,
// combine, make frame, and the precondition of Properties. Each returns true when it changed
// the document (and then recorded exactly one undo action).
#pragma once

#include "edit/document/OrvaneDoc.h"
#include "platform/Services.h"

#include <vector>

namespace zepho {

// A transparent canvas-sized image object on top, the only one selected.
bool CmdNewObject(COrvaneDoc& doc);
// Copies of the selected panel items (panel order, top first) above the topmost original.
bool CmdDuplicate(COrvaneDoc& doc, const std::vector<Ref<CDrawObj>>& panelItems);
bool CmdDeleteObjects(COrvaneDoc& doc);
// Crops the transparent margins of the selected image objects.
bool CmdTrim(COrvaneDoc& doc, IUiHost& ui);
// The selected visible objects composed into one image object.
bool CmdCombine(COrvaneDoc& doc, IUiHost& ui);
// The visible objects flattened into a new object on top; the originals stay, hidden.
bool CmdMakeFrame(COrvaneDoc& doc);
// The object whose property sheet Properties opens; none (after a message when several are
// selected) otherwise.
Ref<CDrawObj> CmdPropertiesTarget(const COrvaneDoc& doc, IUiHost& ui);

// Whether the menus offer the commands. Commands that explain a failed precondition with a
// message stay enabled while the frame holds any object, so that the message can be seen.
bool CanNewObject(const COrvaneDoc& doc);
bool CanDuplicate(const COrvaneDoc& doc);
bool CanDeleteObjects(const COrvaneDoc& doc);
bool CanTrim(const COrvaneDoc& doc);
bool CanCombine(const COrvaneDoc& doc);
bool CanMakeFrame(const COrvaneDoc& doc);
bool CanProperties(const COrvaneDoc& doc);

} // namespace zepho
