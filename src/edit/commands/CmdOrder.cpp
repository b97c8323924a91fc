#include "edit/commands/CmdOrder.h"

#include "edit/commands/CmdCommon.h"
#include "edit/commands/CommandStrings.h"
#include "model/ModelStrings.h"

#include <utility>
#include <vector>

namespace zepho {

namespace {
using Order = std::vector<Ref<CDrawObj>>;

bool Selected(const Order& order, std::size_t i) {
    return order[i]->IsSelected();
}

// One pass toward the top: from the top down, every selected object with an unselected one
// above it changes place with that one.
void PassUp(Order& order) {
    for (std::size_t i = order.size() - 1; i-- > 0;)
        if (Selected(order, i) && !Selected(order, i + 1)) std::swap(order[i], order[i + 1]);
}

void PassDown(Order& order) {
    for (std::size_t i = 1; i < order.size(); ++i)
        if (Selected(order, i) && !Selected(order, i - 1)) std::swap(order[i], order[i - 1]);
}
} // namespace

bool CmdZOrder(COrvaneDoc& doc, CZOrderUndo::Variant variant, IUiHost& ui) {
    CDrawObjList& list = doc.Image().objects;
    const bool up = variant == CZOrderUndo::ToFront || variant == CZOrderUndo::Forward;
    if (!list.IsEmpty() && (up ? list.Tail() : list.Head())->IsSelected()) {
        ShowCommandMessage(ui, up ? strings::kAlreadyInFront : strings::kAlreadyBack);
        return false;
    }
    if (!AnySelected(doc.Image())) {
        ShowCommandMessage(ui, strings::kNeedObjectSelected);
        return false;
    }
    auto action = std::make_unique<CZOrderUndo>(variant);
    action->Capture(list);
    Order order(list.begin(), list.end());
    switch (variant) {
    case CZOrderUndo::ToFront:
        while (!order.back()->IsSelected())
            PassUp(order);
        break;
    case CZOrderUndo::Forward:
        PassUp(order);
        break;
    case CZOrderUndo::ToBack:
        while (!order.front()->IsSelected())
            PassDown(order);
        break;
    case CZOrderUndo::Backward:
        PassDown(order);
        break;
    }
    list.RemoveAll();
    for (auto& o : order)
        list.AddTail(std::move(o));
    CommitCommand(doc, std::move(action), true);
    return true;
}

bool CanZOrder(const COrvaneDoc& doc) {
    return !doc.Image().objects.IsEmpty();
}

} // namespace zepho
