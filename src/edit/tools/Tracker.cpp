#include "edit/tools/Tracker.h"

#include "edit/tools/Tool.h"

#include <algorithm>
#include <cmath>
#include <cstdint>

namespace zepho {

namespace {

constexpr double kTwoPi = 6.283185307179586;
constexpr double kTiny = 5e-8;
// Beyond this the geometry cannot be on any screen; drawing it would only cost time.
constexpr double kDrawLimit = 1 << 24;

DPoint Mid(const DPoint& a, const DPoint& b) {
    return {(a.x + b.x) / 2, (a.y + b.y) / 2};
}
double Dist(const DPoint& a, const DPoint& b) {
    return std::hypot(a.x - b.x, a.y - b.y);
}

// Orthogonal projection of p onto the line through c along the unit direction d.
DPoint Project(const DPoint& p, const DPoint& c, const DPoint& d) {
    const double t = (p.x - c.x) * d.x + (p.y - c.y) * d.y;
    return {c.x + t * d.x, c.y + t * d.y};
}

struct Painter {
    PackedDib& dst;
    POINT origin;
    int scale = 1;

    void Put(std::int64_t x, std::int64_t y, COLORREF c) {
        x -= origin.x;
        y -= origin.y;
        if (x < 0 || y < 0 || x >= dst.Width() || y >= dst.Height()) return;
        BYTE* p = dst.Pixel32(static_cast<int>(x), static_cast<int>(y));
        p[0] = GetBValue(c);
        p[1] = GetGValue(c);
        p[2] = GetRValue(c);
        p[3] = 255;
    }

    // A line in black and white dashes of 4. Each pixel depends only on the end points, never
    // on the clip, so neighbouring repaints join without seams.
    void Line(std::int64_t x0, std::int64_t y0, std::int64_t x1, std::int64_t y1) {
        const bool steep = std::llabs(y1 - y0) > std::llabs(x1 - x0);
        if (steep) {
            std::swap(x0, y0);
            std::swap(x1, y1);
        }
        if (x0 > x1) {
            std::swap(x0, x1);
            std::swap(y0, y1);
        }
        // Visit only the part of the major axis the destination can show.
        std::int64_t lo = steep ? origin.y : origin.x;
        std::int64_t hi = lo + (steep ? dst.Height() : dst.Width()) - 1;
        lo = std::max(lo, x0);
        hi = std::min(hi, x1);
        const std::int64_t dx = x1 - x0, dy = y1 - y0;
        for (std::int64_t x = lo; x <= hi; ++x) {
            std::int64_t y = y0;
            if (dx) {
                // Rounded to nearest with exact integers.
                const std::int64_t num = 2 * (x - x0) * dy + dx;
                std::int64_t q = num / (2 * dx);
                if (num % (2 * dx) != 0 && num < 0) --q;
                y = y0 + q;
            }
            const COLORREF c = ((x - x0) & 7) < 4 ? RGB(0, 0, 0) : RGB(255, 255, 255);
            if (steep)
                Put(y, x, c);
            else
                Put(x, y, c);
        }
    }

    // A square handle: black border, white inside.
    void Handle(std::int64_t cx, std::int64_t cy) {
        const int h = 3 * scale;
        for (int dy = -h; dy <= h; ++dy)
            for (int dx = -h; dx <= h; ++dx) {
                const bool edge = dx == -h || dx == h || dy == -h || dy == h;
                Put(cx + dx, cy + dy, edge ? RGB(0, 0, 0) : RGB(255, 255, 255));
            }
    }

    // A round knob: black ring, white inside.
    void Knob(std::int64_t cx, std::int64_t cy) {
        // Its size in window pixels.
        const int r = 4 * scale, s2 = scale * scale;
        for (int dy = -r; dy <= r; ++dy)
            for (int dx = -r; dx <= r; ++dx) {
                const int d = dx * dx + dy * dy;
                if (d <= 9 * s2)
                    Put(cx + dx, cy + dy, RGB(255, 255, 255));
                else if (d <= 20 * s2)
                    Put(cx + dx, cy + dy, RGB(0, 0, 0));
            }
    }
};

} // namespace

double ToScreenScale(double v, int zoom) {
    return zoom >= 1 ? v * zoom : v / -zoom;
}

void CTracker::Build(const DRect& frame, double angle) {
    frame_ = frame;
    angle_ = angle;
    const double cx = (frame.left + frame.right) / 2, cy = (frame.top + frame.bottom) / 2;
    const double c = std::cos(angle), s = std::sin(angle);
    const DPoint corners[4] = {{frame.left, frame.top},
                               {frame.right, frame.top},
                               {frame.right, frame.bottom},
                               {frame.left, frame.bottom}};
    for (int i = 0; i < 4; ++i) {
        const double dx = corners[i].x - cx, dy = corners[i].y - cy;
        const double turned = c * dy + s * dx;
        pts_[2 * i] = {cx + c * dx - s * dy, flipped ? cy - turned : cy + turned};
    }
    UpdateMidpoints();
}

void CTracker::Clear() {
    frame_ = {};
    angle_ = 0;
    dragged = -1;
    rotating = false;
    for (DPoint& p : pts_)
        p = {};
}

void CTracker::UpdateMidpoints() {
    for (int i = 1; i < kHandleCount; i += 2)
        pts_[i] = Mid(pts_[i - 1], pts_[(i + 1) % kHandleCount]);
}

DPoint CTracker::Center() const {
    return Mid(pts_[0], pts_[4]);
}
double CTracker::Width() const {
    return Dist(pts_[0], pts_[2]);
}
double CTracker::Height() const {
    return Dist(pts_[2], pts_[4]);
}

DPoint CTracker::Knob(int zoom, POINT origin, int scale) const {
    const DPoint c = Center();
    const DPoint sc{ToScreenScale(c.x, zoom), ToScreenScale(c.y, zoom)};
    const DPoint s3{ToScreenScale(pts_[3].x, zoom), ToScreenScale(pts_[3].y, zoom)};
    const double r = Dist(sc, s3) + kKnobGap * scale;
    const double dy = std::sin(angle_) * r;
    return {origin.x + sc.x + std::cos(angle_) * r, origin.y + (flipped ? sc.y - dy : sc.y + dy)};
}

bool CTracker::HitKnob(POINT logical, int zoom, POINT origin) const {
    const DPoint k = Knob(zoom, origin);
    return std::fabs(logical.x - k.x) <= kHitDistance && std::fabs(logical.y - k.y) <= kHitDistance;
}

int CTracker::HitHandle(POINT canvas) const {
    for (int i = 0; i < kHandleCount; ++i)
        if (std::fabs(canvas.x - pts_[i].x) <= kHitDistance &&
            std::fabs(canvas.y - pts_[i].y) <= kHitDistance)
            return i;
    return -1;
}

void CTracker::DragHandle(int handle, DPoint p) {
    if (handle < 0 || handle >= kHandleCount) return;
    // Axis A follows the angle, axis B is perpendicular to it.
    const DPoint a{std::cos(angle_), flipped ? -std::sin(angle_) : std::sin(angle_)};
    const DPoint b{-a.y, a.x};
    struct Move {
        int corner;
        bool alongA;
    };
    static constexpr Move kMoves[kHandleCount][2] = {
        {{2, false}, {6, true}}, {{2, false}, {0, false}}, {{4, true}, {0, false}}, {{2, true}, {4, true}},
        {{2, true}, {6, false}}, {{6, false}, {4, false}}, {{0, true}, {4, false}}, {{0, true}, {6, true}},
    };
    for (const Move& m : kMoves[handle])
        pts_[m.corner] = Project(p, pts_[m.corner], m.alongA ? a : b);
    if (handle % 2 == 0) pts_[handle] = p;
    UpdateMidpoints();
}

double CTracker::AngleTowards(DPoint canvas) const {
    const DPoint c = Center();
    const double dx = canvas.x - c.x, dy = flipped ? c.y - canvas.y : canvas.y - c.y;
    if (std::fabs(dx) < kTiny) return dy >= 0 ? 1.5707963267948966 : 4.71238898038469;
    double a = std::atan2(dy, dx);
    if (a < 0) a += kTwoPi;
    return a;
}

int CTracker::HandleCursor(int handle) const {
    if (handle < 0 || handle >= kHandleCount) return kCursorArrow;
    const DPoint c = Center();
    double deg = std::atan2(pts_[handle].y - c.y, pts_[handle].x - c.x) * 57.29577951308232;
    deg = std::fmod(deg + 360.0 + 22.5, 180.0);
    static constexpr int kBins[4] = {kCursorTrackWE, kCursorTrackNWSE, kCursorTrackNS, kCursorTrackNESW};
    return kBins[std::clamp(static_cast<int>(deg / 45.0), 0, 3)];
}

void CTracker::Draw(PackedDib& dst, POINT dstOrigin, int zoom, POINT origin, int scale) const {
    if (!dst.Is32()) return;
    std::int64_t sx[kHandleCount + 1], sy[kHandleCount + 1];
    for (int i = 0; i <= kHandleCount; ++i) {
        const DPoint p = i < kHandleCount ? DPoint{origin.x + ToScreenScale(pts_[i].x, zoom),
                                                   origin.y + ToScreenScale(pts_[i].y, zoom)}
                                          : Knob(zoom, origin, std::max(scale, 1));
        if (!std::isfinite(p.x) || !std::isfinite(p.y) || std::fabs(p.x) > kDrawLimit ||
            std::fabs(p.y) > kDrawLimit)
            return;
        sx[i] = static_cast<std::int64_t>(std::floor(p.x + 0.5));
        sy[i] = static_cast<std::int64_t>(std::floor(p.y + 0.5));
    }
    Painter paint{dst, dstOrigin, std::max(scale, 1)};
    for (int i = 0; i < kHandleCount; i += 2) {
        const int j = (i + 2) % kHandleCount;
        paint.Line(sx[i], sy[i], sx[j], sy[j]);
    }
    paint.Line(sx[3], sy[3], sx[kHandleCount], sy[kHandleCount]);
    for (int i = 0; i < kHandleCount; ++i)
        paint.Handle(sx[i], sy[i]);
    paint.Knob(sx[kHandleCount], sy[kHandleCount]);
}

} // namespace zepho
