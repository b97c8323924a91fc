#include "platform/Region.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <iterator>
#include <limits>
#include <utility>

namespace zepho {

namespace {

using i64 = std::int64_t;
// Wide enough for the products of two squared 32-bit extents.
using u128 = unsigned __int128;
using i128 = __int128;

constexpr i64 kLimit = Region::kShapeLimit;
constexpr i64 kInt32Min = std::numeric_limits<std::int32_t>::min();
constexpr i64 kInt32Max = std::numeric_limits<std::int32_t>::max();

i64 FloorDiv(i64 a, i64 b) { // b > 0
    i64 q = a / b;
    if (a % b != 0 && a < 0) --q;
    return q;
}

// Collects the spans of successive rows and turns runs of rows with equal spans into one band
// of rectangles, so a shape costs rectangles per distinct row, never per pixel.
class BandBuilder {
public:
    using Spans = std::vector<std::pair<i64, i64>>; // sorted, disjoint, not touching

    // Rows [y0, y1) all hold spans.
    void AddRows(i64 y0, i64 y1, const Spans& spans) {
        if (y0 == bandBottom_ && spans == band_) {
            bandBottom_ = y1;
            return;
        }
        Flush();
        band_ = spans;
        bandTop_ = y0;
        bandBottom_ = y1;
    }

    Region Finish() {
        Flush();
        Region result = Region::FromBoxes(boxes_.data(), static_cast<int>(boxes_.size()));
        boxes_.clear();
        return result;
    }

private:
    void Flush() {
        for (const auto& [x0, x1] : band_) {
            boxes_.push_back(
                pixman_box32_t{static_cast<std::int32_t>(x0), static_cast<std::int32_t>(bandTop_),
                               static_cast<std::int32_t>(x1), static_cast<std::int32_t>(bandBottom_)});
        }
        band_.clear();
    }

    std::vector<pixman_box32_t> boxes_;
    Spans band_;
    i64 bandTop_ = 0;
    i64 bandBottom_ = std::numeric_limits<i64>::min();
};

// Largest M >= 0 with M^2 * eh^2 <= ew^2 * (eh^2 - dy^2), for 0 <= dy < eh < 2^32 and
// ew < 2^32: how far (in half pixels) a row dy half pixels from the corner ellipse's centre
// reaches sideways. Exact, so equal |dy| gives equal reach and the shape is symmetric.
i64 EllipseReach(i64 ew, i64 eh, i64 dy) {
    const u128 eh2 = static_cast<u128>(eh) * static_cast<u128>(eh);
    const u128 rhs = static_cast<u128>(ew) * static_cast<u128>(ew) *
                     (static_cast<u128>(eh - dy) * static_cast<u128>(eh + dy));
    const double guess = static_cast<double>(ew) *
                         std::sqrt(static_cast<double>(eh - dy) * static_cast<double>(eh + dy)) /
                         static_cast<double>(eh);
    i64 m = std::clamp<i64>(static_cast<i64>(guess), 0, ew);
    auto fits = [&](i64 v) { return static_cast<u128>(v) * static_cast<u128>(v) * eh2 <= rhs; };
    while (m < ew && fits(m + 1))
        ++m;
    while (m > 0 && !fits(m))
        --m;
    return m;
}

// The rectangle rc with corners rounded by ellipses of ew x eh (1 <= ew <= width,
// 1 <= eh <= height). With the full size this is the inscribed ellipse. Works in doubled
// coordinates so that pixel centres and ellipse centres are integers.
Region RoundShape(const RECT& rc, i64 ew, i64 eh) {
    const i64 l = rc.left, t = rc.top, r = rc.right, b = rc.bottom;
    // Corner ellipse centres, doubled.
    const i64 cxL = 2 * l + ew, cxR = 2 * r - ew;
    const i64 cyT = 2 * t + eh, cyB = 2 * b - eh;
    const i64 y0 = std::max(t, -kLimit), y1 = std::min(b, kLimit);
    BandBuilder builder;
    BandBuilder::Spans spans;
    for (i64 y = y0; y < y1;) {
        const i64 py = 2 * y + 1;
        const i64 dy = std::max({i64{0}, cyT - py, py - cyB});
        // The straight middle rows all share one span.
        const i64 rowsEnd = dy == 0 ? std::min(y1, FloorDiv(cyB - 1, 2) + 1) : y + 1;
        const i64 m = EllipseReach(ew, eh, dy);
        // Pixel centres 2x + 1 within [cxL - m, cxR + m].
        const i64 x0 = std::max(-FloorDiv(-(cxL - m - 1), 2), -kLimit);
        const i64 x1 = std::min(FloorDiv(cxR + m - 1, 2) + 1, kLimit);
        spans.clear();
        if (x0 < x1) spans.emplace_back(x0, x1);
        builder.AddRows(y, rowsEnd, spans);
        y = rowsEnd;
    }
    return builder.Finish();
}

// One non-horizontal polygon edge, walked downwards a row at a time. Where it crosses the
// centre line y + 0.5 of row y, x - 0.5 = N / D exactly; q = ceil(N / D) is the first pixel
// whose centre is at or right of the crossing, and r = q * D - N keeps the remainder so the
// walk never drifts.
struct Edge {
    i64 yTop, yBottom; // rows [yTop, yBottom), after clipping
    int dir;           // +1 downwards, -1 upwards
    i64 q, r, d;       // current crossing
    i64 stepQ, stepR;  // per row: 2 dx = stepQ * d + stepR
    bool Vertical() const { return stepQ == 0 && stepR == 0; }
    void Advance(i64 rows) {
        if (Vertical()) return;
        for (i64 i = 0; i < rows; ++i) {
            q += stepQ;
            r -= stepR;
            if (r < 0) {
                ++q;
                r += d;
            }
        }
    }
};

bool MakeEdge(const POINT& from, const POINT& to, Edge& e) {
    if (from.y == to.y) return false;
    const bool down = from.y < to.y;
    const POINT& a = down ? from : to;
    const POINT& b = down ? to : from;
    e.yTop = std::max<i64>(a.y, -kLimit);
    e.yBottom = std::min<i64>(b.y, kLimit);
    if (e.yTop >= e.yBottom) return false;
    e.dir = down ? 1 : -1;
    const i64 dx = i64{b.x} - a.x, dy = i64{b.y} - a.y;
    e.d = 2 * dy;
    // N at the first row: (2 ax - 1) dy + (2 y + 1 - 2 ay) dx.
    const i128 n =
        static_cast<i128>(2 * i64{a.x} - 1) * dy + static_cast<i128>(2 * e.yTop + 1 - 2 * i64{a.y}) * dx;
    i128 q = n / e.d;
    if (q * e.d < n) ++q;
    e.q = static_cast<i64>(q);
    e.r = static_cast<i64>(q * e.d - n);
    e.stepQ = FloorDiv(2 * dx, e.d);
    e.stepR = 2 * dx - e.stepQ * e.d;
    return true;
}

} // namespace

Region::Region() {
    pixman_region32_init(&reg_);
}

Region::~Region() {
    pixman_region32_fini(&reg_);
}

Region::Region(const Region& other) {
    pixman_region32_init(&reg_);
    Check(pixman_region32_copy(&reg_, &other.reg_));
}

Region::Region(Region&& other) noexcept {
    pixman_region32_init(&reg_);
    std::swap(reg_, other.reg_);
}

Region& Region::operator=(const Region& other) {
    if (this != &other) Check(pixman_region32_copy(&reg_, &other.reg_));
    return *this;
}

Region& Region::operator=(Region&& other) noexcept {
    if (this != &other) {
        std::swap(reg_, other.reg_);
        other.Clear();
    }
    return *this;
}

void Region::Check(bool ok) {
    if (!ok) pixman_region32_clear(&reg_);
}

void Region::Clear() {
    pixman_region32_clear(&reg_);
}

Region Region::Rect(const RECT& rc) {
    const pixman_box32_t box{rc.left, rc.top, rc.right, rc.bottom};
    return FromBoxes(&box, 1);
}

Region Region::Rect(LONG left, LONG top, LONG right, LONG bottom) {
    return Rect(RECT{left, top, right, bottom});
}

Region Region::FromRects(const RECT* rects, int n) {
    if (!rects || n <= 0) return Region();
    std::vector<pixman_box32_t> boxes;
    boxes.reserve(static_cast<std::size_t>(n));
    for (int i = 0; i < n; ++i) {
        if (!rects[i].IsEmpty())
            boxes.push_back(pixman_box32_t{rects[i].left, rects[i].top, rects[i].right, rects[i].bottom});
    }
    return FromBoxes(boxes.data(), static_cast<int>(boxes.size()));
}

Region Region::FromBoxes(const pixman_box32_t* boxes, int n) {
    Region result;
    if (!boxes || n <= 0) return result;
    auto empty = [](const pixman_box32_t& b) { return b.x1 >= b.x2 || b.y1 >= b.y2; };
    std::vector<pixman_box32_t> kept;
    if (std::any_of(boxes, boxes + n, empty)) {
        std::copy_if(boxes, boxes + n, std::back_inserter(kept), [&](const auto& b) { return !empty(b); });
        boxes = kept.data();
        n = static_cast<int>(kept.size());
    }
    if (n == 0) return result;
    pixman_region32_fini(&result.reg_);
    if (n == 1) {
        // pixman's single-box path goes through x/width and overflows on very wide boxes.
        pixman_region32_init_with_extents(&result.reg_, boxes);
    } else {
        // Merges the boxes into bands.
        result.Check(pixman_region32_init_rects(&result.reg_, boxes, n));
    }
    return result;
}

Region Region::Ellipse(const RECT& rc) {
    if (rc.IsEmpty()) return Region();
    return RoundShape(rc, i64{rc.right} - rc.left, i64{rc.bottom} - rc.top);
}

Region Region::RoundRect(const RECT& rc, int ellipseWidth, int ellipseHeight) {
    if (rc.IsEmpty()) return Region();
    const i64 w = i64{rc.right} - rc.left, h = i64{rc.bottom} - rc.top;
    const i64 ew = std::clamp<i64>(ellipseWidth, 0, w), eh = std::clamp<i64>(ellipseHeight, 0, h);
    if (ew == 0 || eh == 0) return Rect(rc);
    return RoundShape(rc, ew, eh);
}

Region Region::Polygon(const POINT* pts, int count, FillMode mode) {
    if (!pts || count < 3 || count > kMaxPolygonPoints) return Region();
    if (mode != FillMode::Alternate && mode != FillMode::Winding) return Region();
    std::vector<Edge> edges;
    i64 crossings = 0;
    for (int i = 0; i < count; ++i) {
        Edge e;
        if (!MakeEdge(pts[i], pts[(i + 1) % count], e)) continue;
        crossings += e.yBottom - e.yTop;
        if (crossings > kMaxPolygonCrossings) return Region();
        edges.push_back(e);
    }
    std::sort(edges.begin(), edges.end(), [](const Edge& a, const Edge& b) { return a.yTop < b.yTop; });

    BandBuilder builder;
    BandBuilder::Spans spans;
    std::vector<Edge*> active;
    std::vector<std::pair<i64, int>> xs; // (first pixel at or right of the crossing, direction)
    std::size_t next = 0;
    i64 y = edges.empty() ? 0 : edges.front().yTop;
    while (next < edges.size() || !active.empty()) {
        if (active.empty()) y = std::max(y, edges[next].yTop);
        while (next < edges.size() && edges[next].yTop <= y)
            active.push_back(&edges[next++]);

        xs.clear();
        bool allVertical = true;
        i64 rowsEnd = next < edges.size() ? edges[next].yTop : kLimit;
        for (const Edge* e : active) {
            xs.emplace_back(std::clamp(e->q, -kLimit, kLimit), e->dir);
            allVertical = allVertical && e->Vertical();
            rowsEnd = std::min(rowsEnd, e->yBottom);
        }
        // Rows between events repeat when every active edge is vertical.
        if (!allVertical) rowsEnd = y + 1;
        std::sort(xs.begin(), xs.end());

        spans.clear();
        int winding = 0;
        i64 start = 0;
        for (std::size_t i = 0; i < xs.size();) {
            const i64 x = xs[i].first;
            const bool wasIn = mode == FillMode::Winding ? winding != 0 : (winding & 1) != 0;
            for (; i < xs.size() && xs[i].first == x; ++i)
                winding += xs[i].second;
            const bool isIn = mode == FillMode::Winding ? winding != 0 : (winding & 1) != 0;
            if (!wasIn && isIn) start = x;
            if (wasIn && !isIn && start < x) spans.emplace_back(start, x);
        }
        builder.AddRows(y, rowsEnd, spans);

        for (Edge* e : active)
            e->Advance(rowsEnd - y);
        y = rowsEnd;
        active.erase(
            std::remove_if(active.begin(), active.end(), [y](const Edge* e) { return e->yBottom <= y; }),
            active.end());
    }
    return builder.Finish();
}

Region Region::Combine(const Region& a, const Region& b, CombineMode mode) {
    Region result;
    bool ok = true;
    switch (mode) {
    case CombineMode::And:
        ok = pixman_region32_intersect(&result.reg_, &a.reg_, &b.reg_);
        break;
    case CombineMode::Or:
        ok = pixman_region32_union(&result.reg_, &a.reg_, &b.reg_);
        break;
    case CombineMode::Xor: {
        Region both;
        ok = pixman_region32_union(&result.reg_, &a.reg_, &b.reg_) &&
             pixman_region32_intersect(&both.reg_, &a.reg_, &b.reg_) &&
             pixman_region32_subtract(&result.reg_, &result.reg_, &both.reg_);
        break;
    }
    case CombineMode::Diff:
        ok = pixman_region32_subtract(&result.reg_, &a.reg_, &b.reg_);
        break;
    case CombineMode::Copy:
        ok = pixman_region32_copy(&result.reg_, &a.reg_);
        break;
    }
    result.Check(ok);
    return result;
}

Region& Region::Union(const Region& other) {
    Check(pixman_region32_union(&reg_, &reg_, &other.reg_));
    return *this;
}

Region& Region::Intersect(const Region& other) {
    Check(pixman_region32_intersect(&reg_, &reg_, &other.reg_));
    return *this;
}

Region& Region::Subtract(const Region& other) {
    Check(pixman_region32_subtract(&reg_, &reg_, &other.reg_));
    return *this;
}

Region& Region::Xor(const Region& other) {
    *this = Combine(*this, other, CombineMode::Xor);
    return *this;
}

void Region::Offset(LONG dx, LONG dy) {
    if ((dx == 0 && dy == 0) || IsEmpty()) return;
    // pixman adds in 32 bits; keep only what stays representable once moved.
    const pixman_box32_t* e = pixman_region32_extents(&reg_);
    const i64 loX = std::max(kInt32Min, kInt32Min - dx), hiX = std::min(kInt32Max, kInt32Max - dx);
    const i64 loY = std::max(kInt32Min, kInt32Min - dy), hiY = std::min(kInt32Max, kInt32Max - dy);
    if (e->x1 < loX || e->x2 > hiX || e->y1 < loY || e->y2 > hiY) {
        Intersect(Rect(static_cast<LONG>(loX), static_cast<LONG>(loY), static_cast<LONG>(hiX),
                       static_cast<LONG>(hiY)));
        if (IsEmpty()) return;
    }
    pixman_region32_translate(&reg_, dx, dy);
}

bool Region::IsEmpty() const {
    return !pixman_region32_not_empty(&reg_);
}

bool Region::Contains(LONG x, LONG y) const {
    return pixman_region32_contains_point(&reg_, x, y, nullptr);
}

RECT Region::Bounds() const {
    if (IsEmpty()) return RECT{};
    const pixman_box32_t* e = pixman_region32_extents(&reg_);
    return RECT{e->x1, e->y1, e->x2, e->y2};
}

std::vector<RECT> Region::Rects() const {
    int n = 0;
    const pixman_box32_t* boxes = pixman_region32_rectangles(&reg_, &n);
    std::vector<RECT> out;
    out.reserve(static_cast<std::size_t>(n));
    for (int i = 0; i < n; ++i)
        out.push_back(RECT{boxes[i].x1, boxes[i].y1, boxes[i].x2, boxes[i].y2});
    return out;
}

int Region::RectCount() const {
    return pixman_region32_n_rects(&reg_);
}

bool operator==(const Region& a, const Region& b) {
    if (pixman_region32_equal(&a.reg_, &b.reg_)) return true;
    if (a.Bounds() != b.Bounds()) return false;
    // Same extents but a different rectangle list: compare as pixel sets.
    return Region::Combine(a, b, CombineMode::Xor).IsEmpty();
}

} // namespace zepho
