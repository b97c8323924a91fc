// Dragging a row of the objects panel to another place in the stack.
#pragma once

#include "edit/document/OrvaneDoc.h"

#include <vector>

namespace zepho {

// `rows` are the panel's objects, topmost first. The object of row `from` takes the place of row
// `to`: dragged up it lands directly above that row's object, dragged down directly below it.
// Objects the panel does not list keep their places relative to the others. One undo step;
// false, with nothing recorded, when the rows are out of range or the object would not move.
bool CmdMoveRowInStack(COrvaneDoc& doc, const std::vector<Ref<CDrawObj>>& rows, int from, int to);

} // namespace zepho
