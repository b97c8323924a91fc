// The Capture menu's commands: the capture model with its windowing system, the main window's
// hiding and return, the one-shot timers and the picker.
#pragma once

#include "edit/dialogs/CaptureModel.h"
#include "platform/Services.h"

#include "app/capture/CapturePicker.h"
#include "app/capture/PortalScreenshot.h"
#include <QObject>
#include <QPointer>

#include <functional>
#include <map>
#include <memory>

class QAction;
class QMainWindow;
class QTimer;

namespace zepho {

class CaptureController : public QObject, public ICaptureHost {
    Q_OBJECT
public:
    struct Callbacks {
        std::function<COrvaneDoc*()> activeDocument;
        std::function<void(std::shared_ptr<COrvaneDoc>)> openDocument;
        std::function<IUiHost&()> ui;
        // True while the editor must not be changed: a file being read or written, a mouse
        // gesture in a view, a modal dialog or a menu open. A capture waits for it to end.
        std::function<bool()> busy;
    };
    // sys null: capture is not available on this display.
    CaptureController(QMainWindow* main, CAppSettings& settings, std::unique_ptr<IWindowSystem> sys,
                      Callbacks callbacks);
    // Captures through the desktop portal on this bus instead of reading the screen itself.
    CaptureController(QMainWindow* main, CAppSettings& settings, const QDBusConnection& portalBus,
                      Callbacks callbacks);
    ~CaptureController() override;

    // The X11 display's window system when the application runs on one, else null.
    static std::unique_ptr<IWindowSystem> SystemOfThisDisplay();
    // True on a Wayland session, where only the desktop portal may read the screen.
    static bool OnWaylandSession();
    // The controller this session calls for: X11, the portal, or none at all.
    static CaptureController* ForThisSession(QMainWindow* main, CAppSettings& settings, Callbacks callbacks);

    PortalScreenshot* Portal() const { return portal_.get(); }

    CCaptureModel& Model() { return model_; }
    bool Available() const { return model_.Available(); }
    CapturePicker* Picker() const { return picker_; }

    // The menu's actions follow the state: the commands wait while a capture runs.
    void SetActions(QAction* fullScreen, QAction* window);
    void UpdateActions();

    void FullScreen();
    void WindowOrControl();
    // The Capture Settings dialog; OK stores its values.
    void EditSettings();

    // ICaptureHost
    void HideMainWindow() override;
    void ShowMainWindow() override;
    void BringMainWindowToFront() override;
    void RepaintMainWindow() override;
    void StartTimer(int id, int milliseconds) override;
    void StopTimer(int id) override;
    bool OpenPicker(const PackedDib& frozen) override;
    void ClosePicker() override;
    COrvaneDoc* ActiveDocument() override;
    void OpenDocument(std::shared_ptr<COrvaneDoc> doc) override;
    void ReportCaptureFailed() override;
    void ReportServiceMissing() override;
    void ReportCaptureCancelled() override;

private:
    QTimer* TimerFor(int id);
    void DeliverWhenIdle(ScreenshotOutcome outcome, PackedDib picture);
    void TellPortalTheParent();

    QMainWindow* main_;
    CAppSettings& settings_;
    std::unique_ptr<IWindowSystem> sys_;
    std::unique_ptr<PortalScreenshot> portal_;
    Callbacks callbacks_;
    CCaptureModel model_;
    std::map<int, QTimer*> timers_;
    QPointer<CapturePicker> picker_;
    Qt::WindowStates savedState_ = Qt::WindowNoState;
    QPointer<QAction> fullScreenAction_, windowAction_;
};

} // namespace zepho
