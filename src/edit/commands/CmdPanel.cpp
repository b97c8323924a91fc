#include "edit/commands/CmdPanel.h"

#include "edit/commands/CmdCommon.h"
#include "edit/undo/UndoObjects.h"
#include "edit/view/OrvaneView.h"
#include "model/AppSettings.h"

namespace zepho {

namespace {
bool ValidItem(const std::vector<Ref<CDrawObj>>& items, int item) {
    return item >= 0 && item < static_cast<int>(items.size()) && items[static_cast<std::size_t>(item)] &&
           items[static_cast<std::size_t>(item)]->content;
}

// The objects a click on an item acts on: every selected item when the clicked one is selected.
std::vector<Ref<CDrawObj>> Targets(const std::vector<Ref<CDrawObj>>& items, int item, bool& selectionMode) {
    const Ref<CDrawObj>& clicked = items[static_cast<std::size_t>(item)];
    selectionMode = clicked->IsSelected();
    if (!selectionMode) return {clicked};
    std::vector<Ref<CDrawObj>> out;
    for (const auto& o : items)
        if (o && o->IsSelected()) out.push_back(o);
    return out;
}

void InvalidateObjects(COrvaneDoc& doc, const std::vector<Ref<CDrawObj>>& objects) {
    if (COrvaneView* view = doc.GetView())
        for (const auto& o : objects)
            view->InvalidateObject(*o);
}
} // namespace

std::vector<Ref<CDrawObj>> PanelItems(const CDocImage& image, bool showAllItems) {
    std::vector<Ref<CDrawObj>> items;
    for (auto it = image.objects.rbegin(); it != image.objects.rend(); ++it)
        if (showAllItems || (*it)->visible) items.push_back(*it);
    return items;
}

bool CmdToggleVisible(COrvaneDoc& doc, const CAppSettings& settings,
                      const std::vector<Ref<CDrawObj>>& panelItems, int item) {
    if (!ValidItem(panelItems, item)) return false;
    const int value = panelItems[static_cast<std::size_t>(item)]->visible ? 0 : 1;
    bool selectionMode = false;
    const std::vector<Ref<CDrawObj>> targets = Targets(panelItems, item, selectionMode);
    auto action = std::make_unique<CShowHideUndo>(selectionMode);
    bool removedRows = false;
    for (const auto& o : targets) {
        action->AddObject(o, o->visible);
        o->visible = value;
        // A hidden object has no row to be selected in.
        if (!settings.ShowAllItems && !value) {
            o->content->selected = 0;
            removedRows = true;
        }
    }
    InvalidateObjects(doc, targets);
    CommitCommand(doc, std::move(action), removedRows);
    return true;
}

bool CmdToggleLock(COrvaneDoc& doc, const std::vector<Ref<CDrawObj>>& panelItems, int item) {
    if (!ValidItem(panelItems, item)) return false;
    const int value = panelItems[static_cast<std::size_t>(item)]->locked ? 0 : 1;
    bool selectionMode = false;
    const std::vector<Ref<CDrawObj>> targets = Targets(panelItems, item, selectionMode);
    auto action = std::make_unique<CLockUndo>(selectionMode);
    for (const auto& o : targets) {
        action->AddObject(o, o->locked);
        o->locked = value;
    }
    InvalidateObjects(doc, targets);
    CommitCommand(doc, std::move(action), false);
    return true;
}

bool CmdSetTransparency(COrvaneDoc& doc, const std::vector<Ref<CDrawObj>>& panelItems, int value) {
    const auto t = static_cast<std::uint8_t>(value & 0xFF);
    auto action = std::make_unique<COpacityUndo>();
    bool changed = false;
    std::vector<Ref<CDrawObj>> targets;
    for (const auto& o : panelItems) {
        if (!o || !o->IsSelected()) continue;
        action->AddObject(o, o->transparency);
        changed = changed || o->transparency != t;
        o->transparency = t;
        targets.push_back(o);
    }
    // The spin box reports its value again when a change ends; that is no new step.
    if (!changed) return false;
    InvalidateObjects(doc, targets);
    CommitCommand(doc, std::move(action), false);
    return true;
}

} // namespace zepho
