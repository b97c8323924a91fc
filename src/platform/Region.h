// Region: a set of integer pixels, kept as y-x banded rectangles in a pixman_region32_t.
//
// It stands in for the GDI region everywhere the editor needs one (selections, clipping, shape
// masks). Pixel conventions follow GDI: a rectangle holds left <= x < right, top <= y < bottom,
// and curved or polygonal shapes hold the pixels whose centres (x + 0.5, y + 0.5) they cover.
#pragma once

#include "platform/WinTypes.h"

#include <pixman.h>

#include <cstdint>
#include <vector>

namespace zepho {

// Polygon fill rules, numbered as GDI's ALTERNATE and WINDING.
enum class FillMode : int { Alternate = 1, Winding = 2 };

// Region combination, numbered as GDI's RGN_AND .. RGN_COPY so stored values map directly.
enum class CombineMode : int { And = 1, Or = 2, Xor = 3, Diff = 4, Copy = 5 };

class Region {
public:
    // Ellipses, rounded rectangles and polygons are scan converted only within
    // [-kShapeLimit, kShapeLimit) on both axes. Far beyond any image we hold, and it keeps the
    // row loop and the rectangle list bounded whatever coordinates a file carries.
    static constexpr LONG kShapeLimit = 1 << 20;
    // A polygon is refused (empty region) when it has more points than this, or when its
    // edges, after clipping to the limit above, cross more rows than this in total: memory,
    // work and the rectangle count grow with these. A plain rectangle polygon spanning the
    // whole limit needs 2^22 crossings.
    static constexpr int kMaxPolygonPoints = 1 << 20;
    static constexpr std::int64_t kMaxPolygonCrossings = std::int64_t{1} << 23;

    Region();
    ~Region();
    // Copies are deep; a moved-from region is empty.
    Region(const Region& other);
    Region(Region&& other) noexcept;
    Region& operator=(const Region& other);
    Region& operator=(Region&& other) noexcept;

    static Region Rect(const RECT& rc);
    static Region Rect(LONG left, LONG top, LONG right, LONG bottom);
    // Union of n rectangles; empty ones are ignored.
    static Region FromRects(const RECT* rects, int n);
    // Union of n pixman boxes (x2, y2 exclusive); empty ones are ignored.
    static Region FromBoxes(const pixman_box32_t* boxes, int n);
    // The ellipse inscribed in rc: the pixels whose centres lie inside or on it. (With integer
    // corners no centre ever falls exactly on the ellipse, so "strictly inside" is the same.)
    // Symmetric left/right and top/bottom.
    static Region Ellipse(const RECT& rc);
    // rc with its corners rounded by ellipses of the given size, clamped to rc's size. A size
    // of 0 (or less) on either axis gives the plain rectangle.
    static Region RoundRect(const RECT& rc, int ellipseWidth, int ellipseHeight);
    // The closed polygon through count points. A pixel centre exactly on an edge is in when
    // that edge bounds the shape on its left, out when on its right, so polygons sharing an
    // edge neither overlap nor leave a gap (centres never fall on horizontal edges). Fewer
    // than 3 points, an unknown mode or a polygon over the limits above give an empty region.
    static Region Polygon(const POINT* pts, int count, FillMode mode);

    // a combined with b; Copy gives a. An unknown mode gives an empty region.
    static Region Combine(const Region& a, const Region& b, CombineMode mode);
    Region& Union(const Region& other);
    Region& Intersect(const Region& other);
    Region& Subtract(const Region& other);
    Region& Xor(const Region& other);

    // Moves every pixel; pixels that would leave the 32-bit coordinate range are dropped.
    void Offset(LONG dx, LONG dy);
    void Clear();

    bool IsEmpty() const;
    bool Contains(LONG x, LONG y) const;
    // Bounding rectangle; RECT{} when empty.
    RECT Bounds() const;
    // The banded rectangles, top to bottom and left to right within a band.
    std::vector<RECT> Rects() const;
    int RectCount() const;
    // For handing to pixman (clip regions); never to be modified through.
    const pixman_region32_t* Native() const { return &reg_; }

    // Same pixel set.
    friend bool operator==(const Region& a, const Region& b);

private:
    // Makes the region empty after pixman reports an allocation failure.
    void Check(bool ok);

    pixman_region32_t reg_;
};

} // namespace zepho
