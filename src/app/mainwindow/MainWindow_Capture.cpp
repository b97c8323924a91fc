// The Capture menu: full screen, a window or control picked with the mouse, and the settings.
#include "app/mainwindow/MainWindow.h"

#include "app/canvas/DocumentWindow.h"
#include "app/capture/CaptureController.h"
#include "app/capture/CaptureStrings.h"
#include "app/mainwindow/ZephoApp.h"

#include <QApplication>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QMenuBar>

namespace zepho {

void MainWindow::BuildCaptureMenu() {
    CaptureController::Callbacks callbacks;
    // While the main window is hidden for a capture no window of the area is "active"; the
    // current one is the one the user left.
    callbacks.activeDocument = [this]() -> COrvaneDoc* {
        QMdiSubWindow* sub = mdi_->currentSubWindow();
        auto* w = sub ? qobject_cast<DocumentWindow*>(sub->widget()) : nullptr;
        return w ? &w->Document() : nullptr;
    };
    callbacks.openDocument = [this](std::shared_ptr<COrvaneDoc> doc) {
        if (DocumentWindow* w = AddWindow(std::move(doc))) w->Document().NotifyDefaultMode();
    };
    callbacks.ui = [this]() -> IUiHost& { return Ui(); };
    callbacks.busy = [this] {
        // The picker itself is the one window of ours that may be up while a capture finishes.
        QWidget* modal = QApplication::activeModalWidget();
        return busy_ || GestureInProgress() || (modal && modal != this) || QApplication::activePopupWidget();
    };
    capture_ = CaptureController::ForThisSession(this, app_.Settings(), std::move(callbacks));

    QMenu* m = menuBar()->addMenu(capture::kMenu);
    QAction* full = m->addAction(capture::kFullScreen, capture_, &CaptureController::FullScreen);
    full->setShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_F));
    full->setStatusTip(capture::kFullScreenTip);
    QAction* window = m->addAction(capture::kWindowOrControl, capture_, &CaptureController::WindowOrControl);
    window->setStatusTip(capture::kWindowTip);
    m->addSeparator();
    m->addAction(capture::kSettings, capture_, &CaptureController::EditSettings)
        ->setStatusTip(capture::kSettingsTip);
    capture_->SetActions(full, window);
}

} // namespace zepho
