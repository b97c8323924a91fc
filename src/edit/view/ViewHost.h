// What a view model asks of the widget that shows it. Everything past the first five calls has
// a harmless default, so a host implements only what it can show.
#pragma once

#include "platform/WinTypes.h"

#include <string>

namespace zepho {

class CDrawObj;

// Which context menu a right click asks for.
enum class ContextMenu { Selection, Objects };

// What the colour picker's options page shows for the point under the mouse.
struct PickedColour {
    // False when nothing is composed at the point: the colour texts are emptied.
    bool valid = false;
    BYTE red = 0, green = 0, blue = 0;
    // 255 minus the composed alpha.
    int transparent = 255;
};

class IViewHost {
public:
    virtual ~IViewHost() = default;
    // A rectangle in client coordinates needs repainting (no erase).
    virtual void InvalidateRect(const RECT& client) = 0;
    virtual void InvalidateAll() = 0;
    virtual SIZE ClientSize() const = 0;
    virtual POINT ScrollPosition() const = 0;
    // The scrollable extent and which scroll bars it needs.
    virtual void SetScrollSizes(SIZE total, bool horzBar, bool vertBar) = 0;

    // Scrolls to the scroll position p, kept within the scrollable extent by the widget.
    virtual void ScrollTo(POINT p) { (void)p; }

    virtual void CaptureMouse() {}
    virtual void ReleaseMouse() {}
    // A cursor id of the tool table; 0 is the default arrow.
    virtual void SetCursor(int cursorId) { (void)cursorId; }
    virtual void ShowContextMenu(ContextMenu menu, POINT client) { (void)menu, (void)client; }
    virtual void SetStatusText(const std::string& text) { (void)text; }
    // A periodic timer that calls the view's OnTimer(id).
    virtual void StartTimer(int id, int periodMs) { (void)id, (void)periodMs; }
    // The colour of the area around the canvas (the system's button face).
    virtual COLORREF FaceColour() const { return RGB(240, 240, 240); }

    // The property editor of the object's kind.
    virtual void OpenProperties(CDrawObj& obj) { (void)obj; }
    // The text editor for a freshly placed text object; true when the user confirmed it (the
    // object then carries its text and raster), false when it was cancelled.
    virtual bool OpenTextEditor(CDrawObj& obj) {
        (void)obj;
        return false;
    }

    // The paint colours changed (the colour picker): the shell updates its two colour buttons.
    virtual void PaintColoursChanged() {}
    // The colour picker's options page follows the point under the mouse.
    virtual void ShowPickedColour(const PickedColour& colour) { (void)colour; }
    // The current tool changed: the shell shows its options page and checks its button.
    virtual void ToolChanged(int toolNumber) { (void)toolNumber; }
};

} // namespace zepho
