#include "edit/commands/CmdStack.h"

#include "edit/commands/CmdCommon.h"
#include "edit/undo/UndoStack.h"

#include <algorithm>

namespace zepho {

bool CmdMoveRowInStack(COrvaneDoc& doc, const std::vector<Ref<CDrawObj>>& rows, int from, int to) {
    const int n = static_cast<int>(rows.size());
    if (from < 0 || to < 0 || from >= n || to >= n || from == to) return false;
    CDrawObjList& list = doc.Image().objects;
    // Bottom to top.
    std::vector<Ref<CDrawObj>> order(list.begin(), list.end());
    const Ref<CDrawObj>& moved = rows[static_cast<std::size_t>(from)];
    const Ref<CDrawObj>& anchor = rows[static_cast<std::size_t>(to)];
    auto m = std::find(order.begin(), order.end(), moved);
    if (m == order.end() || std::find(order.begin(), order.end(), anchor) == order.end()) return false;

    auto action = std::make_unique<CStackMoveUndo>();
    action->Capture(list);
    Ref<CDrawObj> keep = *m;
    order.erase(m);
    auto a = std::find(order.begin(), order.end(), anchor);
    // Rows run top to bottom: a smaller row is higher in the stack.
    order.insert(to < from ? a + 1 : a, std::move(keep));
    list.RemoveAll();
    for (auto& o : order)
        list.AddTail(std::move(o));
    CommitCommand(doc, std::move(action), true);
    return true;
}

} // namespace zepho
