// The Image menu: Crop to Selection, the flips and the turns of the whole picture, Properties. It sits
// beside Edit because its commands change the canvas itself, while the Transform menu's act on
// the selected objects.
#include "app/canvas/DocumentWindow.h"
#include "app/mainwindow/AppStrings.h"
#include "app/mainwindow/MainWindowActions.h"
#include "edit/commands/CmdImageTransform.h"

#include <QMenuBar>

namespace zepho {

void MainWindow::BuildImageMenu() {
    auto* menu = new QMenu(QString::fromUtf8(kImageMenu), this);
    menu->setObjectName(QStringLiteral("ImageMenu"));
    menuBar()->insertMenu(act_->objectMenu->menuAction(), menu);
    act_->imageMenu = menu;

    // Runs on the active document and its view; nothing runs in the middle of a mouse gesture.
    auto command = [this, menu](const char* text, const char* tip, auto run) {
        QAction* a = menu->addAction(QString::fromUtf8(text), this, [this, run] {
            if (GestureInProgress()) return;
            if (DocumentWindow* d = ActiveDocumentWindow()) run(d->Document(), ActiveView());
            UpdateCommands();
        });
        a->setStatusTip(QString::fromUtf8(tip));
        return a;
    };
    act_->cropToSelection = command(kMenuCropToSelection, kTipCropToSelection,
                                    [](COrvaneDoc& d, COrvaneView* v) { CmdCropToSelection(d, v); });
    act_->cropToSelection->setShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_X));
    menu->addSeparator();
    auto turn = [this, command](const char* text, const char* tip, WholeImageOp op) {
        act_->wholeImageOps.push_back(command(text, tip, [this, op](COrvaneDoc& d, COrvaneView* v) {
            CmdTransformWholeImage(d, v, op, Ui());
        }));
    };
    turn(kMenuFlipHorz, kTipFlipHorz, WholeImageOp::FlipHorz);
    turn(kMenuFlipVert, kTipFlipVert, WholeImageOp::FlipVert);
    menu->addSeparator();
    turn(kMenuRotateCw, kTipRotate, WholeImageOp::Rotate90Cw);
    turn(kMenuRotateCcw, kTipRotate, WholeImageOp::Rotate90Ccw);
    turn(kMenuRotate180, kTipRotate, WholeImageOp::Rotate180);
    menu->addSeparator();
    act_->imageProperties =
        menu->addAction(QString::fromUtf8(kMenuImageProperties), this, &MainWindow::OnProperties);
    act_->imageProperties->setStatusTip(QString::fromUtf8(kTipImageProperties));
    act_->imageProperties->setShortcut(QKeySequence(Qt::ALT | Qt::Key_Return));
}

void MainWindow::UpdateImageCommands() {
    DocumentWindow* w = ActiveDocumentWindow();
    act_->imageMenu->menuAction()->setVisible(w != nullptr);
    act_->cropToSelection->setEnabled(w && CanCropToSelection(w->Document(), ActiveView()));
    for (QAction* a : act_->wholeImageOps)
        a->setEnabled(w && CanTransformWholeImage(w->Document()));
}

} // namespace zepho
