// Screen capture: what it asks of the windowing system, the shaping of the pictures, the timing
// of the two capture commands and the delivery of the result into a document.
#pragma once

#include "edit/document/OrvaneDoc.h"
#include "platform/PackedDib.h"
#include "platform/Region.h"

#include <cstdint>
#include <memory>
#include <vector>

namespace zepho {

class CAppSettings;

namespace strings {
// The title of a document made from a capture.
inline constexpr const char kScreenShotTitle[] = "ScreenShot";
} // namespace strings

// A window of the windowing system; 0 is no window.
using WindowId = std::uint32_t;

struct CursorImage {
    // 32-bit, colour premultiplied by alpha.
    PackedDib image;
    POINT hotSpot{};
    // Screen coordinates of the pointer.
    POINT position{};
};

// The windowing system as capturing sees it. Rectangles are in screen pixels.
class IWindowSystem {
public:
    virtual ~IWindowSystem() = default;
    virtual SIZE ScreenSize() = 0;
    // The screen as it is shown, every window included; 32-bit, alpha undefined. Empty when the
    // screen cannot be read.
    virtual PackedDib GrabScreen() = 0;
    // False when the cursor cannot be read.
    virtual bool GetCursor(CursorImage& out) = 0;
    // The window that holds all others.
    virtual WindowId Desktop() = 0;
    virtual bool IsVisible(WindowId w) = 0;
    virtual bool GetWindowRect(WindowId w, RECT& out) = 0;
    // Front to back.
    virtual std::vector<WindowId> Children(WindowId w) = 0;
    // 0 for the desktop.
    virtual WindowId Parent(WindowId w) = 0;
    // The window's shape relative to its top-left corner; false when it is a plain rectangle.
    virtual bool GetShape(WindowId w, Region& out) = 0;
    // The window's pixels within rect (inside both the window and the screen), 32-bit and of
    // rect's size, alpha undefined; empty when they cannot be read.
    virtual PackedDib GrabWindow(WindowId w, const RECT& rect) = 0;
    // The constant alpha the window is shown with, when it has one.
    virtual bool GetOpacity(WindowId w, BYTE& alpha) = 0;
    // Holds the pointer at one screen point (the picked window stays under it until it is
    // grabbed), and lets it go again.
    virtual void ConfinePointer(POINT at) { (void)at; }
    virtual void ReleasePointer() {}
};

// The deepest visible window whose rectangle holds the point, searched from the desktop with
// children taken front to back and `exclude` (the picker) skipped; 0 when the desktop itself
// is hidden or does not hold the point.
WindowId WindowFromPoint(IWindowSystem& sys, POINT pt, WindowId exclude);

// Draws the cursor with its hot spot at its position; origin is the screen point of the
// picture's top-left pixel.
void DrawCursor(PackedDib& picture, POINT origin, const CursorImage& cursor);

// The whole screen, the cursor drawn in when asked, every alpha byte 255. The screen copy
// already shows every window as the user sees it (stacking, translucency and shapes are the
// display server's work), so nothing is drawn over it again.
PackedDib ScreenPicture(IWindowSystem& sys, bool includeCursor);

// The window's rectangle clipped to the screen, from the window's own pixels, the cursor drawn
// in when asked; alpha 255 inside the window's shape and 0 outside it. `alpha` receives the
// window's constant alpha, or 255. Empty when the window is off screen or cannot be read.
PackedDib WindowPicture(IWindowSystem& sys, WindowId w, bool includeCursor, BYTE& alpha);

// The picker's 4-pixel frame around a candidate, in screen coordinates: centred on the outline
// of its shape or rectangle, and clipped to its parent unless that is the desktop.
Region CandidateFrame(IWindowSystem& sys, WindowId w);
// What must be repainted when the frame comes or goes: the rectangle grown by 2 pixels.
RECT CandidateRepaintRect(IWindowSystem& sys, WindowId w);

// A new top object of the document showing the picture (its content named with the next image
// name and the only selection, at (0, 0), transparency 255 - alpha), as one undo step. False
// when there is no picture.
bool InsertCapture(COrvaneDoc& doc, PackedDib picture, BYTE alpha);
// A document of the picture's size holding one such object, titled "ScreenShot" and modified;
// null when there is no picture.
std::shared_ptr<COrvaneDoc> NewCaptureDocument(PackedDib picture, BYTE alpha);

// How a request to a screenshot service ended.
enum class ScreenshotOutcome { Taken, Cancelled, Failed };

// A screenshot service of the desktop that answers later, such as the portal of a Wayland
// session: the compositor takes the picture and may let the user choose what it shows.
class IScreenshotService {
public:
    virtual ~IScreenshotService() = default;
    // False when the service is not running and cannot be started.
    virtual bool Ready() = 0;
    // Asks for the whole screen, or lets the user choose a screen, window or area (interactive).
    // The answer comes later through CCaptureModel::OnScreenshot; false when the request could
    // not be sent.
    virtual bool RequestScreenshot(bool interactive) = 0;
};

// What the capture commands ask of the shell.
class ICaptureHost {
public:
    virtual ~ICaptureHost() = default;
    // Minimises and hides the main window.
    virtual void HideMainWindow() = 0;
    // Shows the main window again in its former state.
    virtual void ShowMainWindow() = 0;
    virtual void BringMainWindowToFront() = 0;
    virtual void RepaintMainWindow() = 0;
    // One-shot timers by identifier; starting a running timer starts it again.
    virtual void StartTimer(int id, int milliseconds) = 0;
    virtual void StopTimer(int id) = 0;
    // Closes a picker that is still open, then opens one over the whole screen showing the
    // frozen picture; false when it cannot be created.
    virtual bool OpenPicker(const PackedDib& frozen) = 0;
    virtual void ClosePicker() = 0;
    // The document of the active window, if any.
    virtual COrvaneDoc* ActiveDocument() = 0;
    // Opens a window on a new document.
    virtual void OpenDocument(std::shared_ptr<COrvaneDoc> doc) = 0;
    // The screen or the window could not be read.
    virtual void ReportCaptureFailed() = 0;
    // The screenshot service is not there.
    virtual void ReportServiceMissing() = 0;
    // The user dismissed the screenshot service's own dialog.
    virtual void ReportCaptureCancelled() = 0;
};

// The capture commands as a state machine driven by the shell's menu, timers and picker.
class CCaptureModel {
public:
    // AwaitingScreenshot: a screenshot service has been asked and has not answered yet.
    enum State {
        Idle = 0,
        FullScreenPending = 1,
        WindowPending = 2,
        WindowPicked = 4,
        AwaitingScreenshot = 8
    };
    static constexpr int kTimerCapture = 1001;
    static constexpr int kTimerPicked = 1002;
    // The pause between the click in the picker and the grab, so that the picker is gone.
    static constexpr int kPickedDelay = 100;

    // sys may be null (no supported windowing system): the commands then do nothing.
    CCaptureModel(IWindowSystem* sys, ICaptureHost& host, const CAppSettings& settings);
    // Captures through a screenshot service instead (used when sys is null): the same delays and
    // hiding, the service takes the picture, interactively for Window or Control.
    CCaptureModel(IWindowSystem* sys, ICaptureHost& host, const CAppSettings& settings,
                  IScreenshotService* service);

    State GetState() const { return state_; }
    bool Available() const { return sys_ != nullptr || service_ != nullptr; }
    // The click point stored by the picker.
    POINT PickedPoint() const { return picked_; }

    // Delays before the full-screen grab and before the picker opens.
    static int FullScreenDelay(const CAppSettings& s);
    static int PickerDelay(const CAppSettings& s);

    void FullScreen();
    void WindowOrControl();
    void OnTimer(int id);
    // The picker was clicked at a screen point.
    void OnPick(POINT screen);
    // The picker was dismissed without a pick.
    void OnPickerCancelled();
    // The screenshot service answered; the picture is empty unless the outcome is Taken.
    void OnScreenshot(ScreenshotOutcome outcome, PackedDib picture);

    // Where the picture goes: the active document or a new one.
    void Deliver(PackedDib picture, BYTE alpha);

private:
    // Back to idle with the main window as the settings want it.
    void Finish(bool showMain);
    // Starts a command; false when there is nothing to capture with or a capture is running.
    bool Begin(State pending);

    IWindowSystem* sys_;
    IScreenshotService* service_ = nullptr;
    ICaptureHost& host_;
    const CAppSettings& settings_;
    State state_ = Idle;
    // Whether this capture hid the main window (the setting may change meanwhile).
    bool hidMain_ = false;
    POINT picked_{};
};

} // namespace zepho
