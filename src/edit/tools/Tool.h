// The mouse tools of a view: the handler interface, the table of the fourteen tools, the drag
// state their gestures share and the two paint colours they read and set.
#pragma once

#include "model/DrawObj.h"
#include "platform/WinTypes.h"

#include <vector>

namespace zepho {

class CAppSettings;
class COrvaneView;

// Key and button flags that come with every mouse message.
inline constexpr unsigned kMkLButton = 0x0001;
inline constexpr unsigned kMkRButton = 0x0002;
inline constexpr unsigned kMkShift = 0x0004;
inline constexpr unsigned kMkControl = 0x0008;
// Alt held: the gesture does not snap.
inline constexpr unsigned kMkAlt = 0x0020;

enum ToolNumber {
    ToolMove = 0,
    ToolRectSelect = 1,
    ToolEllipseSelect = 2,
    ToolLasso = 3,
    ToolMagicWand = 4,
    ToolTransform = 5,
    ToolText = 6,
    ToolPaintLine = 7,
    ToolEraser = 8,
    ToolFlood = 9,
    ToolPicker = 10,
    ToolRectangle = 11,
    ToolEllipse = 12,
    ToolPolygon = 13,
    ToolCount = 14
};

// Cursor ids the host maps to its cursor images. 0 is the default arrow; the numbers above 100
// are the tool table's cursor resources, the small ones the tracker's resize cursors.
inline constexpr int kCursorArrow = 0;
inline constexpr int kCursorTrackWE = 1;
inline constexpr int kCursorTrackNWSE = 2;
inline constexpr int kCursorTrackNS = 3;
inline constexpr int kCursorTrackNESW = 4;
inline constexpr int kCursorPicker = 296;
inline constexpr int kCursorOverSelection = 322;
inline constexpr int kCursorMoving = 323;
inline constexpr int kCursorRotate = 362;

struct ToolInfo {
    int number;
    // The tool's cursor resource (for the move and transform tools, while dragging).
    int cursor;
    // Shown instead over the selection (selection tools), else 0.
    int selectionCursor;
    // The options page 1..8 the tool shows, 0 for an empty panel, and the page's argument.
    int optionsPage;
    int pageArgument;
};

// The table row of a tool; the move tool's for a number outside 0..13.
const ToolInfo& ToolInfoOf(int number);

// The paint colours of the shell's two colour buttons.
struct CPaintColours {
    COLORREF fore = 0;
    COLORREF back = 0xFFFFFF;

    static CPaintColours FromSettings(const CAppSettings& settings);
    void SaveTo(CAppSettings& settings) const;
};

// The gesture in progress. Only one runs at a time in a view.
struct CDragState {
    enum : unsigned {
        RubberBand = 1,
        Moving = 2,
        MoveNotRecorded = 4,
        Lasso = 8,
        // A paint or erase stroke, and whether it has taken a step yet.
        Stroke = 16,
        StrokeNotStarted = 32,
        // A straight-line stroke shows its rubber line.
        RubberLine = 64,
        // A polygon is being placed, and its double click has ended it (the release creates it).
        Polygon = 128,
        PolygonEnded = 256
    };
    unsigned flags = 0;
    // Start and current points of the drag (canvas pixels for the move tool, scroll
    // coordinates for the selection and stroke tools).
    POINT start{};
    POINT current{};
    // The lasso's points (scroll coordinates), or the polygon's vertices (canvas pixels, so that
    // a zoom between two clicks keeps them where they were placed).
    std::vector<POINT> lasso;
    // The move tool: how far the objects have moved since the press (canvas pixels), and the
    // box they occupied then.
    POINT moved{};
    DRect startBox{};

    bool Has(unsigned f) const { return (flags & f) != 0; }
    void Clear() { *this = CDragState{}; }
};

// The paint or erase stroke in progress: its object and, for the paint tool, where its layer
// (the view's floating raster) lies on the canvas.
struct CStrokeState {
    Ref<CDrawObj> target;
    RECT area{};
    bool hasLayer = false;
    // The eraser's undo is recorded at its first step that touches the object.
    bool recorded = false;
};

// A tool: stateless, one object per tool number. Every handler gets the view, the key flags
// and the point in client coordinates, and says whether it handled the message.
class CTool {
public:
    virtual ~CTool() = default;
    virtual bool OnLButtonDown(COrvaneView& view, unsigned flags, POINT client);
    virtual bool OnMouseMove(COrvaneView& view, unsigned flags, POINT client);
    virtual bool OnLButtonUp(COrvaneView& view, unsigned flags, POINT client);
    virtual bool OnLButtonDblClk(COrvaneView& view, unsigned flags, POINT client);
    virtual bool OnRButtonDown(COrvaneView& view, unsigned flags, POINT client);
    // The further handler of the paint and erase tools.
    virtual bool OnExtra(COrvaneView& view, unsigned flags, POINT client);
    // The cursor to show at the point; kCursorArrow for the default.
    virtual int GetCursor(const COrvaneView& view, POINT client) const;
    // A status-bar text of the paint and erase tools; null for the others.
    virtual const char* StatusText() const { return nullptr; }

    int Number() const { return number_; }

protected:
    explicit CTool(int number) : number_(number) {}

private:
    int number_;
};

// The singleton of a tool number (the move tool for a number outside 0..13).
CTool& ToolOf(int number);

} // namespace zepho
