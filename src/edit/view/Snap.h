// Exact placement: the guides and grid of a document, and the snapping rules that pull a dragged
// box or point onto the canvas edges and centre, the guides, the grid and the other objects'
// edges and centres, with the smart-guide lines and equal-spacing gaps the view draws meanwhile.
#pragma once

#include "edit/tools/Tracker.h"
#include "model/DrawObj.h"

#include <optional>
#include <string>
#include <vector>

namespace zepho {

class CDocImage;

// What snapping may pull towards; the View menu's Snap To submenu.
enum SnapTarget : unsigned {
    SnapToCanvas = 1,
    SnapToGuides = 2,
    SnapToGrid = 4,
    SnapToObjects = 8,
};
inline constexpr unsigned kDefaultSnapTargets = SnapToCanvas | SnapToGuides | SnapToObjects;
// A target this close on screen wins, whatever the zoom.
inline constexpr double kSnapScreenPixels = 6;
inline constexpr int kDefaultGridSpacing = 16;
// The grid is drawn only where its lines lie at least this far apart on screen.
inline constexpr int kMinGridScreenGap = 4;

// The guides of one document (canvas pixels) and whether its grid shows. Not part of the file:
// the shell keeps them beside its recent-file list, keyed by the file.
struct CGuides {
    // x of each vertical guide, y of each horizontal one.
    std::vector<int> vertical;
    std::vector<int> horizontal;
    bool gridShown = false;

    std::vector<int>& Of(bool verticalGuide) { return verticalGuide ? vertical : horizontal; }
    const std::vector<int>& Of(bool verticalGuide) const { return verticalGuide ? vertical : horizontal; }
    // The index of the guide nearest to `pos` within `tolerance`, or -1.
    int Hit(bool verticalGuide, double pos, double tolerance) const;
    bool Empty() const { return vertical.empty() && horizontal.empty(); }
    bool operator==(const CGuides&) const = default;
};

struct CSnapOptions {
    bool enabled = true;
    unsigned targets = kDefaultSnapTargets;
    // Hidden guides do not pull.
    bool guidesShown = true;
    int gridSpacing = kDefaultGridSpacing;
};

// Where edges or centres line up: a vertical line at x = pos (or a horizontal one at y = pos)
// from `from` to `to` along it, in canvas pixels.
struct SnapLine {
    bool vertical = true;
    double pos = 0, from = 0, to = 0;
};

// A gap between two neighbours that the dragged box repeats: horizontal gaps run from x = from
// to x = to at y = across; vertical ones from y = from to y = to at x = across.
struct SnapGap {
    bool horizontal = true;
    double from = 0, to = 0, across = 0;
    int Length() const;
};

struct SnapFeedback {
    std::vector<SnapLine> lines;
    std::vector<SnapGap> gaps;
    bool Empty() const { return lines.empty() && gaps.empty(); }
    void Clear() {
        lines.clear();
        gaps.clear();
    }
    bool operator==(const SnapFeedback& o) const;
};

// The targets of one gesture, gathered when it starts (the dragged objects excluded).
class CSnapper {
public:
    CSnapper(const CDocImage& image, const CGuides& guides, const CSnapOptions& options,
             const std::vector<const CDrawObj*>& excluded = {});

    // The snapping distance in canvas pixels at a zoom level (1..8 magnify, -2..-8 reduce).
    static double Tolerance(int zoom);
    // The box an object occupies for snapping: its raster, which for a turned object is the
    // bounding box of the turned geometry.
    static DRect BoxOf(const CDrawObj& obj);

    // The offset that brings the box's left, centre or right and its top, middle or bottom onto
    // the nearest target per axis (0 on an axis with none in reach). Equal spacing to the
    // neighbours counts as a target too. `feedback` receives what lines up afterwards.
    DPoint SnapBox(const DRect& box, int zoom, SnapFeedback* feedback = nullptr) const;
    // The same for one point (a corner being drawn, a handle).
    DPoint SnapPoint(DPoint p, int zoom, SnapFeedback* feedback = nullptr) const;

private:
    enum Kind { Guide, Object, Canvas, Spacing };
    struct Target {
        double pos;
        Kind kind;
        // The target's extent across the axis, for the smart-guide line.
        double from, to;
    };
    struct Axis {
        std::vector<Target> targets;
        double length = 0;
    };
    // The best move on one axis for anchors at `anchors` (offsets from `base`), or none.
    std::optional<double> Nearest(const Axis& axis, const std::vector<double>& anchors,
                                  const std::vector<Target>& extra, double tolerance) const;
    // Positions of the box's leading edge that repeat a neighbour's spacing.
    std::vector<Target> SpacingTargets(const DRect& box, bool horizontal) const;
    void Explain(const DRect& box, SnapFeedback& feedback) const;

    Axis x_, y_;
    std::vector<DRect> others_;
    int grid_ = 0;
    bool enabled_ = false;
    bool spacing_ = false;
};

// The guides as the shell stores them: "v=10,20;h=5;grid=1". Parsing takes what it can read of a
// damaged text and drops the rest; positions are held to +-1,000,000.
std::string FormatGuides(const CGuides& guides);
CGuides ParseGuides(const std::string& text);

// A turn of the knob held to whole steps of 15 degrees (radians in, radians out, in [0, 2pi)).
double SnapAngle(double radians);

} // namespace zepho
