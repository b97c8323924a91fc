// The free-transform handles: a rotated rectangle in canvas pixels with eight handles (corners
// at even indices, edge midpoints at odd ones) and a rotation knob beyond the right edge.
#pragma once

#include "model/DrawObj.h"
#include "platform/PackedDib.h"

namespace zepho {

struct DPoint {
    double x = 0, y = 0;
};

class CTracker {
public:
    static constexpr int kHandleCount = 8;
    // A handle or the knob is hit within this distance on both axes.
    static constexpr double kHitDistance = 3;
    // Screen pixels between the right edge's midpoint and the knob.
    static constexpr double kKnobGap = 30;

    // The unrotated rectangle turned by the angle (radians) about its centre.
    void Build(const DRect& frame, double angle);
    // The same rectangle at another angle.
    void SetAngle(double angle) { Build(frame_, angle); }
    void Clear();

    const DRect& Frame() const { return frame_; }
    double Angle() const { return angle_; }
    const DPoint& Point(int index) const { return pts_[index]; }
    // Midpoint of corner 0 and the corner opposite it.
    DPoint Center() const;
    // Edge lengths: corner 0 to 2, and corner 2 to 4.
    double Width() const;
    double Height() const;

    // The knob in view (scroll) coordinates for the zoom and the canvas rectangle's origin.
    DPoint Knob(int zoom, POINT canvasOrigin, int scale = 1) const;
    bool HitKnob(POINT logical, int zoom, POINT canvasOrigin) const;
    // The first handle near the canvas point, or -1.
    int HitHandle(POINT canvas) const;
    // Reshapes the rectangle for a handle dragged to p (canvas pixels).
    void DragHandle(int handle, DPoint p);
    // The angle in [0, 2pi) from the centre towards a canvas point.
    double AngleTowards(DPoint canvas) const;
    // The resize cursor that suits a handle at its current place.
    int HandleCursor(int handle) const;

    // Draws the outline, the handles and the knob into dst, whose top-left pixel lies at
    // dstOrigin in view coordinates.
    // scale: device pixels per window pixel; the handles keep their size in window pixels and the
    // lines are one device pixel wide.
    void Draw(PackedDib& dst, POINT dstOrigin, int zoom, POINT canvasOrigin, int scale = 1) const;

    // Orientation: the rectangle and the knob mirrored vertically about the centre.
    bool flipped = false;
    // The handle being dragged, or -1; whether the knob is being dragged.
    int dragged = -1;
    bool rotating = false;

private:
    void UpdateMidpoints();

    DRect frame_{};
    double angle_ = 0;
    DPoint pts_[kHandleCount]{};
};

// A canvas length or coordinate at screen scale.
double ToScreenScale(double v, int zoom);

} // namespace zepho
