#include "app/properties/PropertyEditor.h"

#include "app/properties/PropertySheet.h"
#include "app/properties/TextEditor.h"
#include "model/AppSettings.h"

namespace zepho {

namespace {
DialogRunner& Runner() {
    static DialogRunner runner;
    return runner;
}

int Run(QDialog& dialog) {
    return Runner() ? Runner()(dialog) : dialog.exec();
}

CTextObj* TextOf(CDrawObj& obj) {
    return obj.content ? dynamic_cast<CTextObj*>(obj.content->shape.Get()) : nullptr;
}

// Runs the editor until it is cancelled or confirmed with something to show.
bool RunTextEditor(QWidget* parent, COrvaneDoc& doc, CDrawObj& obj, const CTextEditValues& start, bool isNew,
                   CAppSettings& settings, IUiHost& ui, bool& recorded) {
    TextEditorDialog dialog(start, ui, parent);
    recorded = false;
    dialog.confirm = [&](const CTextEditValues& v) {
        const TextCommit r = CommitTextEdit(doc, obj, v, isNew, ui);
        recorded = r == TextCommit::Done && !isNew;
        return r == TextCommit::Done || r == TextCommit::Unchanged;
    };
    if (Run(dialog) != QDialog::Accepted) return false;
    dialog.Values().StoreSettings(settings);
    return true;
}
} // namespace

void SetDialogRunner(DialogRunner runner) {
    Runner() = std::move(runner);
}

bool EditObjectProperties(QWidget* parent, COrvaneDoc& doc, CDrawObj& obj, CAppSettings& settings,
                          IUiHost& ui) {
    if (TextOf(obj)) return EditTextObject(parent, doc, obj, settings, ui);
    if (!CPropertySheetModel::Supports(obj)) return false;
    PropertySheetDialog dialog(doc, Ref<CDrawObj>(&obj), ui, parent);
    Run(dialog);
    // A runner that returns without closing the sheet leaves nothing half-done.
    if (dialog.result() != QDialog::Accepted) dialog.reject();
    return dialog.Recorded();
}

bool EditTextObject(QWidget* parent, COrvaneDoc& doc, CDrawObj& obj, CAppSettings& settings, IUiHost& ui) {
    const CTextObj* text = TextOf(obj);
    if (!text) return false;
    bool recorded = false;
    RunTextEditor(parent, doc, obj, CTextEditValues::Of(*text), false, settings, ui, recorded);
    return recorded;
}

bool EditNewText(QWidget* parent, COrvaneDoc& doc, CDrawObj& obj, CAppSettings& settings, IUiHost& ui) {
    const CTextObj* text = TextOf(obj);
    if (!text) return false;
    CTextEditValues start = CTextEditValues::Of(*text);
    start.TakeSettings(settings);
    bool recorded = false;
    return RunTextEditor(parent, doc, obj, start, true, settings, ui, recorded);
}

} // namespace zepho
