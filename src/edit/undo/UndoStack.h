// Undo of a row of the objects panel dragged to another place in the stack.
#pragma once

#include "edit/undo/UndoObjects.h"
#include "edit/undo/UndoStrings.h"

namespace zepho {

// Like the order commands' undo: the whole list and exactly the stored selection come back.
class CStackMoveUndo : public CObjListUndo {
public:
    CStackMoveUndo() : CObjListUndo(strings::kUndoMoveInStack) {}

protected:
    void Exchange() override { ExchangeList(true); }
};

} // namespace zepho
