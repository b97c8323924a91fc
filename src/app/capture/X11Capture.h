// The windowing system for screen capture on an X11 display, through xcb with the SHAPE and
// XFIXES extensions. Free of Qt, so that it can be tested on a connection of its own.
#pragma once

#include "edit/dialogs/CaptureModel.h"

#include <cstdint>

struct xcb_connection_t;

namespace zepho {

class X11WindowSystem : public IWindowSystem {
public:
    // Works on screen `screenNumber` of the connection; the connection stays the caller's and
    // must outlive this object.
    X11WindowSystem(xcb_connection_t* connection, int screenNumber);
    // A pointer still held is let go.
    ~X11WindowSystem() override { ReleasePointer(); }

    // False when the connection or the screen is unusable.
    bool IsValid() const { return root_ != 0; }

    SIZE ScreenSize() override;
    PackedDib GrabScreen() override;
    bool GetCursor(CursorImage& out) override;
    WindowId Desktop() override { return root_; }
    bool IsVisible(WindowId w) override;
    bool GetWindowRect(WindowId w, RECT& out) override;
    std::vector<WindowId> Children(WindowId w) override;
    WindowId Parent(WindowId w) override;
    bool GetShape(WindowId w, Region& out) override;
    PackedDib GrabWindow(WindowId w, const RECT& rect) override;
    // A window shown with _NET_WM_WINDOW_OPACITY (0 .. 0xFFFFFFFF), set on it or, as window
    // managers and toolkits do, on the top-level window holding it: the high byte.
    bool GetOpacity(WindowId w, BYTE& alpha) override;
    // An input-only window of one pixel at the point confines the pointer grab to it.
    void ConfinePointer(POINT at) override;
    void ReleasePointer() override;

private:
    // How the pixels of a drawable are stored.
    struct PixelFormat {
        int bitsPerPixel = 0;
        int scanlinePad = 32;
        bool msbFirst = false;
        std::uint32_t masks[3] = {};
    };
    bool FormatOf(WindowId w, PixelFormat& out);
    // The rectangle (in the drawable's own coordinates) read into a new 32-bit DIB.
    PackedDib ReadImage(WindowId drawable, const PixelFormat& format, int x, int y, int width, int height);

    // The window the pointer is held in while a picked window waits to be taken; 0 when free.
    std::uint32_t confine_ = 0;
    xcb_connection_t* c_ = nullptr;
    WindowId root_ = 0;
    int screenWidth_ = 0, screenHeight_ = 0;
    bool shape_ = false;
    bool xfixes_ = false;
    std::uint32_t opacityAtom_ = 0;
    PixelFormat rootFormat_;
};

} // namespace zepho
