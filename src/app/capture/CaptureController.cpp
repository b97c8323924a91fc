#include "app/capture/CaptureController.h"

#include "app/capture/CaptureSettingsDialog.h"
#include "app/capture/CaptureStrings.h"
#include "app/capture/X11Capture.h"
#include "app/mainwindow/AppStrings.h"
#include "model/AppSettings.h"

#include <QAction>
#include <QGuiApplication>
#include <QMainWindow>
#include <QTimer>
#include <QtGui/qguiapplication_platform.h>

#include <xcb/xcb.h>

#include <cstdlib>

namespace zepho {

namespace {
constexpr int kBusyRetryMs = 150;
}

CaptureController::CaptureController(QMainWindow* main, CAppSettings& settings,
                                     std::unique_ptr<IWindowSystem> sys, Callbacks callbacks)
    : QObject(main), main_(main), settings_(settings), sys_(std::move(sys)), callbacks_(std::move(callbacks)),
      model_(sys_.get(), *this, settings_) {}

CaptureController::CaptureController(QMainWindow* main, CAppSettings& settings,
                                     const QDBusConnection& portalBus, Callbacks callbacks)
    : QObject(main), main_(main), settings_(settings),
      portal_(std::make_unique<PortalScreenshot>(portalBus,
                                                 [this](ScreenshotOutcome outcome, PackedDib picture) {
                                                     // The answer may come in the middle of a
                                                     // gesture or a dialog: wait for its end.
                                                     DeliverWhenIdle(outcome, std::move(picture));
                                                 })),
      callbacks_(std::move(callbacks)), model_(nullptr, *this, settings_, portal_.get()) {}

void CaptureController::TellPortalTheParent() {
    // The portal puts its dialogs over this window; it knows X11 windows by their number.
    if (portal_ && QGuiApplication::platformName() == QLatin1String("xcb") && main_->isVisible())
        portal_->SetParentWindow(QStringLiteral("x11:%1").arg(main_->winId(), 0, 16));
}

CaptureController::~CaptureController() {
    delete picker_.data();
}

std::unique_ptr<IWindowSystem> CaptureController::SystemOfThisDisplay() {
    if (QGuiApplication::platformName() != QLatin1String("xcb")) return nullptr;
    auto* x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    if (!x11 || !x11->connection()) return nullptr;
    // The toolkit's connection, so that its window identifiers (the picker's) are ours too; the
    // screen is the one the display name chooses.
    int screen = 0;
    char* host = nullptr;
    int display = 0;
    if (xcb_parse_display(nullptr, &host, &display, &screen)) std::free(host);
    auto sys = std::make_unique<X11WindowSystem>(x11->connection(), screen);
    if (!sys->IsValid()) return nullptr;
    return sys;
}

bool CaptureController::OnWaylandSession() {
    if (QGuiApplication::platformName().startsWith(QLatin1String("wayland"))) return true;
    // Under XWayland the X server shows only the other X programs: the portal sees everything.
    return QGuiApplication::platformName() == QLatin1String("xcb") &&
           qEnvironmentVariable("XDG_SESSION_TYPE") == QLatin1String("wayland");
}

CaptureController* CaptureController::ForThisSession(QMainWindow* main, CAppSettings& settings,
                                                     Callbacks callbacks) {
    if (OnWaylandSession())
        return new CaptureController(main, settings, QDBusConnection::sessionBus(), std::move(callbacks));
    return new CaptureController(main, settings, SystemOfThisDisplay(), std::move(callbacks));
}

void CaptureController::DeliverWhenIdle(ScreenshotOutcome outcome, PackedDib picture) {
    if (callbacks_.busy && callbacks_.busy()) {
        auto held = std::make_shared<PackedDib>(std::move(picture));
        QTimer::singleShot(kBusyRetryMs, this,
                           [this, outcome, held] { DeliverWhenIdle(outcome, std::move(*held)); });
        return;
    }
    model_.OnScreenshot(outcome, std::move(picture));
    UpdateActions();
}

void CaptureController::SetActions(QAction* fullScreen, QAction* window) {
    fullScreenAction_ = fullScreen;
    windowAction_ = window;
    if (!Available())
        for (QAction* a : {fullScreen, window}) {
            a->setStatusTip(capture::kNeedsX11);
            a->setToolTip(capture::kNeedsX11);
        }
    UpdateActions();
}

void CaptureController::UpdateActions() {
    const bool ready = Available() && model_.GetState() == CCaptureModel::Idle;
    for (QAction* a : {fullScreenAction_.data(), windowAction_.data()})
        if (a) a->setEnabled(ready);
}

void CaptureController::FullScreen() {
    TellPortalTheParent();
    model_.FullScreen();
    UpdateActions();
}

void CaptureController::WindowOrControl() {
    TellPortalTheParent();
    model_.WindowOrControl();
    UpdateActions();
}

void CaptureController::EditSettings() {
    CaptureSettingsDialog dialog(settings_, main_);
    if (dialog.exec() == QDialog::Accepted) dialog.Store(settings_);
}

void CaptureController::HideMainWindow() {
    savedState_ = main_->windowState() & ~Qt::WindowMinimized;
    main_->hide();
}

void CaptureController::ShowMainWindow() {
    main_->setWindowState(savedState_);
    main_->show();
}

void CaptureController::BringMainWindowToFront() {
    main_->raise();
    main_->activateWindow();
}

void CaptureController::RepaintMainWindow() {
    main_->repaint();
}

QTimer* CaptureController::TimerFor(int id) {
    QTimer*& timer = timers_[id];
    if (!timer) {
        timer = new QTimer(this);
        timer->setSingleShot(true);
        connect(timer, &QTimer::timeout, this, [this, id, timer] {
            // A picture must not land in a document in the middle of a command, a gesture or
            // a question: try again shortly.
            if (callbacks_.busy && callbacks_.busy()) {
                timer->start(kBusyRetryMs);
                return;
            }
            model_.OnTimer(id);
            UpdateActions();
        });
    }
    return timer;
}

void CaptureController::StartTimer(int id, int milliseconds) {
    TimerFor(id)->start(milliseconds);
}

void CaptureController::StopTimer(int id) {
    TimerFor(id)->stop();
}

bool CaptureController::OpenPicker(const PackedDib& frozen) {
    ClosePicker();
    if (!sys_) return false;
    auto* picker = new CapturePicker(
        *sys_, frozen,
        [this](POINT at) {
            model_.OnPick(at);
            UpdateActions();
        },
        [this] {
            model_.OnPickerCancelled();
            UpdateActions();
        });
    if (!picker->Open()) {
        delete picker;
        return false;
    }
    picker_ = picker;
    return true;
}

void CaptureController::ClosePicker() {
    if (!picker_) return;
    CapturePicker* picker = picker_.data();
    picker_ = nullptr;
    picker->releaseKeyboard();
    picker->hide();
    // It may be closing from inside its own mouse or key handler.
    picker->deleteLater();
}

COrvaneDoc* CaptureController::ActiveDocument() {
    return callbacks_.activeDocument ? callbacks_.activeDocument() : nullptr;
}

void CaptureController::OpenDocument(std::shared_ptr<COrvaneDoc> doc) {
    if (callbacks_.openDocument) callbacks_.openDocument(std::move(doc));
}

void CaptureController::ReportCaptureFailed() {
    if (callbacks_.ui) callbacks_.ui().MessageBox(capture::kFailed, kAppTitle, MsgIcon::Warning);
}

void CaptureController::ReportServiceMissing() {
    if (callbacks_.ui) callbacks_.ui().MessageBox(capture::kNoPortal, kAppTitle, MsgIcon::Warning);
}

void CaptureController::ReportCaptureCancelled() {
    if (callbacks_.ui) callbacks_.ui().MessageBox(capture::kCancelled, kAppTitle, MsgIcon::Information);
}

} // namespace zepho
