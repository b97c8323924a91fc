// The Capture menu's and its dialog's texts.
#pragma once

namespace zepho::capture {

inline constexpr const char kMenu[] = "&Capture";
inline constexpr const char kFullScreen[] = "&Full Screen";
inline constexpr const char kWindowOrControl[] = "&Window or Control";
inline constexpr const char kSettings[] = "Capture &Settings";
inline constexpr const char kFullScreenTip[] = "Capture the whole screen";
inline constexpr const char kWindowTip[] = "Capture a window or control picked with the mouse";
inline constexpr const char kSettingsTip[] = "Change the capture settings";
inline constexpr const char kNeedsX11[] = "Screen capture needs an X11 display";
inline constexpr const char kFailed[] = "The screen could not be captured.";
inline constexpr const char kNoPortal[] =
    "Screen capture on Wayland needs the desktop portal (xdg-desktop-portal), which is not running.";
inline constexpr const char kCancelled[] = "The screen capture was cancelled.";

// Capture Settings dialog.
inline constexpr const char kSettingsTitle[] = "Capture Settings";
inline constexpr const char kDelay[] = "Delay time before capture";
inline constexpr const char kMilliseconds[] = "milliseconds";
inline constexpr const char kIncludeCursor[] = "Include cursor image";
inline constexpr const char kHideWindow[] = "Hide this window before capturing screen";
inline constexpr const char kRestoreWindow[] = "Restore this window to front after capture";
inline constexpr const char kNewView[] = "Create a new view for each capture";
inline constexpr const char kInsertView[] = "Insert each new capture into current view";

} // namespace zepho::capture
