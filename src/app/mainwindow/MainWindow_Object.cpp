// The Object and Transform menus, the clipboard commands and the objects panel.
#include "app/canvas/DocumentWindow.h"
#include "app/dialogs/EffectDialogs.h"
#include "app/dialogs/EffectStrings.h"
#include "app/dialogs/ResizeDialogs.h"
#include "app/mainwindow/AppStrings.h"
#include "app/mainwindow/MainWindowActions.h"
#include "app/mainwindow/ZephoApp.h"
#include "app/panels/HistoryPanel.h"
#include "app/panels/ObjectsPanel.h"
#include "app/properties/PropertyEditor.h"
#include "edit/commands/CmdClipboard.h"
#include "edit/commands/CmdImageOps.h"
#include "edit/commands/CmdObjects.h"
#include "edit/commands/CmdResize.h"

#include <QDockWidget>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenuBar>

namespace zepho {

namespace {
// A menu entry that runs a command on the active document and refreshes the menus. Nothing
// runs in the middle of a mouse gesture (a shortcut could otherwise cut into a recorded drag).
template <class Fn> QAction* AddCommand(QMenu* menu, MainWindow* w, const QString& text, Fn run) {
    return menu->addAction(text, w, [w, run] {
        if (w->GestureInProgress()) return;
        if (DocumentWindow* d = w->ActiveDocumentWindow()) run(d->Document());
        w->UpdateCommands();
    });
}
} // namespace

void MainWindow::BuildObjectMenus() {
    QMenu* edit = act_->editMenu;
    edit->addSeparator();
    act_->copy = AddCommand(edit, this, QStringLiteral("&Copy"),
                            [this](COrvaneDoc& d) { CmdCopy(d, clipboard_, Ui(), ActiveView()); });
    act_->copy->setShortcuts({QKeySequence(Qt::CTRL | Qt::Key_C), QKeySequence(Qt::CTRL | Qt::Key_Insert)});
    act_->copyMerged = AddCommand(edit, this, QStringLiteral("Copy Merged"), [this](COrvaneDoc& d) {
        CmdCopyMerged(d, clipboard_, Ui(), ActiveView());
    });
    act_->paste =
        AddCommand(edit, this, QStringLiteral("&Paste"), [this](COrvaneDoc& d) { CmdPaste(d, clipboard_); });
    act_->paste->setShortcuts({QKeySequence(Qt::CTRL | Qt::Key_V), QKeySequence(Qt::SHIFT | Qt::Key_Insert)});

    edit->addSeparator();
    act_->resizeImage = AddCommand(edit, this, QStringLiteral("Resize Image"), [this](COrvaneDoc& d) {
        ResizeImageDialog dialog(d.Image().width, d.Image().height, app_.Settings(), this);
        if (dialog.exec() != QDialog::Accepted) return;
        dialog.model.Commit(app_.Settings());
        if (dialog.model.Fields().Changed())
            CmdResizeImage(d, ActiveView(), dialog.model.Fields().PixelWidth(),
                           dialog.model.Fields().PixelHeight());
    });
    act_->resizeImage->setStatusTip(QStringLiteral("Changes the size of image"));
    act_->resizeCanvas = AddCommand(edit, this, QStringLiteral("Resi&ze Canvas"), [this](COrvaneDoc& d) {
        ResizeCanvasDialog dialog(d.Image().width, d.Image().height, app_.Settings(), this);
        if (dialog.exec() != QDialog::Accepted) return;
        dialog.model.Commit(app_.Settings());
        CmdResizeCanvas(d, ActiveView(), dialog.model.Fields().PixelWidth(),
                        dialog.model.Fields().PixelHeight(), app_.Settings());
    });
    act_->resizeCanvas->setStatusTip(QStringLiteral("Modify canvas size"));

    QMenu* object = menuBar()->addMenu(QStringLiteral("&Object"));
    act_->objectMenu = object;
    act_->newObject =
        AddCommand(object, this, QStringLiteral("&New Object"), [](COrvaneDoc& d) { CmdNewObject(d); });
    act_->duplicate = AddCommand(object, this, QStringLiteral("&Duplicate Object(s)"),
                                 [this](COrvaneDoc& d) { CmdDuplicate(d, objectsPanel_->Items()); });
    act_->deleteObjects = AddCommand(object, this, QStringLiteral("D&elete Object(s)"),
                                     [](COrvaneDoc& d) { CmdDeleteObjects(d); });
    object->addSeparator();
    act_->trim = AddCommand(object, this, QStringLiteral("&Trim object(s)"),
                            [this](COrvaneDoc& d) { CmdTrim(d, Ui()); });
    act_->combine = AddCommand(object, this, QStringLiteral("&Combine as single object"),
                               [this](COrvaneDoc& d) { CmdCombine(d, Ui()); });
    act_->makeFrame = AddCommand(object, this, QStringLiteral("&Make image as single object"),
                                 [](COrvaneDoc& d) { CmdMakeFrame(d); });
    object->addSeparator();
    act_->properties = AddCommand(object, this, QStringLiteral("&Properties"), [this](COrvaneDoc& d) {
        if (Ref<CDrawObj> obj = CmdPropertiesTarget(d, Ui()))
            EditObjectProperties(this, d, *obj, app_.Settings(), Ui());
    });

    QMenu* transform = menuBar()->addMenu(QStringLiteral("&Transform"));
    act_->transformMenu = transform;
    auto imageOp = [this, transform](const char* text, ImageOp op) {
        act_->imageOps.push_back(
            AddCommand(transform, this, text, [this, op](COrvaneDoc& d) { CmdImageOperation(d, op, Ui()); }));
    };
    // The effect dialogs run on the same objects as the immediate operations.
    auto effect = [this, transform](const char* text, EffectKind kind) {
        act_->imageOps.push_back(
            AddCommand(transform, this, QString::fromUtf8(text),
                       [this, kind](COrvaneDoc& d) { RunEffectDialog(this, d, kind, Ui()); }));
    };
    imageOp("&Gray", ImageOp::Gray);
    imageOp("Mirror &horizontally", ImageOp::MirrorHorz);
    imageOp("Mirror &vertically", ImageOp::MirrorVert);
    effect(effects::kMenuBrightnessContrast, EffectKind::BrightnessContrast);
    effect(effects::kMenuRgb, EffectKind::Rgb);
    effect(effects::kMenuHsl, EffectKind::Hsl);
    effect(effects::kMenuBlur, EffectKind::Blur);
    effect(effects::kMenuGaussianBlur, EffectKind::GaussianBlur);
    effect(effects::kMenuSharpness, EffectKind::Sharpness);
    effect(effects::kMenuEmboss, EffectKind::Emboss);
    effect(effects::kMenuSunspot, EffectKind::Sunspot);
    imageOp("&Negative", ImageOp::Negative);

    objectsPanel_ = new ObjectsPanel(app_.Settings(), uiHost_);
    objectsDock_ = new QDockWidget(QStringLiteral("Objects Panel"), this);
    objectsDock_->setObjectName(QStringLiteral("ObjectsPanel"));
    objectsDock_->setWidget(objectsPanel_);
    addDockWidget(Qt::RightDockWidgetArea, objectsDock_);
    connect(objectsPanel_, &ObjectsPanel::PropertiesRequested, this, [this](CDrawObj* obj) {
        if (DocumentWindow* w = ActiveDocumentWindow(); w && obj)
            EditObjectProperties(this, w->Document(), *obj, app_.Settings(), Ui());
        UpdateCommands();
    });
    connect(mdi_, &QMdiArea::subWindowActivated, this, [this] {
        DocumentWindow* w = ActiveDocumentWindow();
        objectsPanel_->SetDocument(w ? &w->Document() : nullptr);
    });
}

void MainWindow::UpdateObjectCommands(COrvaneDoc* doc) {
    const bool open = doc != nullptr;
    act_->objectMenu->menuAction()->setVisible(open);
    act_->transformMenu->menuAction()->setVisible(open);
    act_->newObject->setEnabled(open && CanNewObject(*doc));
    act_->duplicate->setEnabled(open && CanDuplicate(*doc));
    act_->deleteObjects->setEnabled(open && CanDeleteObjects(*doc));
    act_->trim->setEnabled(open && CanTrim(*doc));
    act_->combine->setEnabled(open && CanCombine(*doc));
    act_->makeFrame->setEnabled(open && CanMakeFrame(*doc));
    act_->properties->setEnabled(open && CanProperties(*doc));
    for (QAction* a : act_->imageOps)
        a->setEnabled(open && CanImageOperation(*doc));
    act_->resizeImage->setEnabled(open && CanResize(*doc));
    act_->resizeCanvas->setEnabled(open && CanResize(*doc));
    act_->copy->setEnabled(open && CanCopy(*doc));
    act_->copyMerged->setEnabled(open && CanCopyMerged(*doc));
    act_->paste->setEnabled(open && CanPaste(clipboard_));
    if (!open) objectsPanel_->SetDocument(nullptr);
    if (!open && historyPanel_) historyPanel_->SetDocument(nullptr);
}

} // namespace zepho
