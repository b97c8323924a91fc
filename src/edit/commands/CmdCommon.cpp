#include "edit/commands/CmdCommon.h"

#include "edit/view/OrvaneView.h"
#include "model/ModelStrings.h"

namespace zepho {

void ShowCommandMessage(IUiHost& ui, const std::string& text, MsgIcon icon) {
    ui.MessageBox(text, strings::kAppTitle, icon);
}

void RefreshAfterCommand(COrvaneDoc& doc, bool rebuild) {
    if (COrvaneView* view = doc.GetView()) view->InvalidateAll();
    if (rebuild) {
        doc.NotifyObjectsChanged();
        doc.NotifySelectionChanged();
    }
    doc.NotifyObjectsRepainted();
}

void CommitCommand(COrvaneDoc& doc, std::unique_ptr<CUndoAction> action, bool rebuild) {
    doc.AddUndo(std::move(action));
    doc.SetModifiedFlag();
    RefreshAfterCommand(doc, rebuild);
}

bool AnySelected(const CDocImage& image) {
    for (const auto& o : image.objects)
        if (o->IsSelected()) return true;
    return false;
}

} // namespace zepho
