// Moving the selected objects up and down the stack.
#pragma once

#include "edit/document/OrvaneDoc.h"
#include "edit/undo/UndoObjects.h"
#include "platform/Services.h"

namespace zepho {

// Front and forward refuse when the top object is selected, back and backward when the bottom
// one is; front and back repeat passes until that object is selected, forward and backward
// make one pass. Selected objects keep their relative order.
bool CmdZOrder(COrvaneDoc& doc, CZOrderUndo::Variant variant, IUiHost& ui);
inline bool CmdMoveToFront(COrvaneDoc& doc, IUiHost& ui) {
    return CmdZOrder(doc, CZOrderUndo::ToFront, ui);
}
inline bool CmdMoveToBack(COrvaneDoc& doc, IUiHost& ui) {
    return CmdZOrder(doc, CZOrderUndo::ToBack, ui);
}
inline bool CmdMoveForward(COrvaneDoc& doc, IUiHost& ui) {
    return CmdZOrder(doc, CZOrderUndo::Forward, ui);
}
inline bool CmdMoveBackward(COrvaneDoc& doc, IUiHost& ui) {
    return CmdZOrder(doc, CZOrderUndo::Backward, ui);
}

// Enabled while the frame holds an object (the command explains why it cannot move).
bool CanZOrder(const COrvaneDoc& doc);

} // namespace zepho
