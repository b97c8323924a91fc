#include "platform/Region.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <random>
#include <string>
#include <vector>

using namespace zepho;

namespace {

using i64 = std::int64_t;
constexpr LONG kMin = std::numeric_limits<LONG>::min();
constexpr LONG kMax = std::numeric_limits<LONG>::max();

// The region inside `area`, rows joined by '|', for readable failures.
std::string Picture(const Region& rgn, const RECT& area) {
    std::string s;
    for (LONG y = area.top; y < area.bottom; ++y) {
        if (y != area.top) s += '|';
        for (LONG x = area.left; x < area.right; ++x)
            s += rgn.Contains(x, y) ? '#' : '.';
    }
    return s;
}

// Per-pixel references, in doubled coordinates so that everything is an exact integer.
// Rounded rectangle (the full corner size gives the ellipse): centre inside or on the corner ellipse.
bool RoundRectRef(const RECT& rc, i64 ew, i64 eh, LONG x, LONG y) {
    if (!rc.Contains(x, y)) return false;
    const i64 px = 2 * i64{x} + 1, py = 2 * i64{y} + 1;
    const i64 dx = std::max({i64{0}, 2 * rc.left + ew - px, px - (2 * rc.right - ew)});
    const i64 dy = std::max({i64{0}, 2 * rc.top + eh - py, py - (2 * rc.bottom - eh)});
    return dx * dx * eh * eh + dy * dy * ew * ew <= ew * ew * eh * eh;
}

// Polygon: winding number of the edges crossing the centre's row at or left of the centre.
bool PolygonRef(const std::vector<POINT>& pts, FillMode mode, LONG x, LONG y) {
    int winding = 0;
    for (std::size_t i = 0; i < pts.size(); ++i) {
        POINT a = pts[i], b = pts[(i + 1) % pts.size()];
        const int dir = a.y < b.y ? 1 : -1;
        if (a.y > b.y) std::swap(a, b);
        if (a.y == b.y || y < a.y || y >= b.y) continue;
        const i64 dx = b.x - a.x, dy = b.y - a.y;
        if (2 * i64{a.x} * dy + (2 * i64{y} + 1 - 2 * a.y) * dx <= (2 * i64{x} + 1) * dy) winding += dir;
    }
    return mode == FillMode::Winding ? winding != 0 : (winding & 1) != 0;
}

void ExpectRoundRectMatches(const RECT& rc, int ew, int eh, bool ellipse) {
    const Region rgn = ellipse ? Region::Ellipse(rc) : Region::RoundRect(rc, ew, eh);
    for (LONG y = rc.top - 2; y < rc.bottom + 2; ++y)
        for (LONG x = rc.left - 2; x < rc.right + 2; ++x)
            ASSERT_EQ(rgn.Contains(x, y), RoundRectRef(rc, ew, eh, x, y))
                << x << "," << y << " in " << rc.Width() << "x" << rc.Height() << " corners " << ew << "x"
                << eh;
}

} // namespace

TEST(Region, RectsHoldLeftTopButNotRightBottom) {
    EXPECT_EQ(Picture(Region::Rect(2, 3, 5, 5), RECT{1, 2, 6, 6}), ".....|.###.|.###.|.....");
    EXPECT_EQ(Region::Rect(2, 3, 5, 5).Bounds(), (RECT{2, 3, 5, 5}));
    EXPECT_TRUE(Region::Rect(5, 5, 5, 10).IsEmpty());
    EXPECT_TRUE(Region::Rect(5, 5, 4, 10).IsEmpty());
    EXPECT_EQ(Region().Bounds(), RECT{});
    EXPECT_TRUE(Region().Rects().empty());
    // Wider than 2^31: must not overflow on the way into pixman.
    const Region wide = Region::Rect(kMin, 0, kMax, 1);
    EXPECT_TRUE(wide.Contains(0, 0) && wide.Contains(kMin, 0));
    EXPECT_EQ(wide.Bounds(), (RECT{kMin, 0, kMax, 1}));

    const RECT parts[] = {{0, 0, 5, 10}, {3, 0, 10, 10}, {20, 20, 20, 30}, {7, 2, 9, 4}};
    const Region u = Region::FromRects(parts, 4);
    EXPECT_EQ(u, Region::Rect(0, 0, 10, 10));
    EXPECT_EQ(u.RectCount(), 1);
    EXPECT_FALSE(u == Region::Rect(0, 0, 10, 11));
}

TEST(Region, EllipsesAreSymmetricBandedAndExact) {
    EXPECT_EQ(Region::Ellipse(RECT{0, 0, 2, 2}), Region::Rect(0, 0, 2, 2));
    EXPECT_EQ(Picture(Region::Ellipse(RECT{0, 0, 4, 4}), RECT{-1, -1, 5, 5}),
              "......|..##..|.####.|.####.|..##..|......");
    EXPECT_EQ(Picture(Region::Ellipse(RECT{0, 0, 5, 5}), RECT{0, 0, 5, 5}), ".###.|#####|#####|#####|.###.");
    EXPECT_TRUE(Region::Ellipse(RECT{3, 3, 3, 9}).IsEmpty());

    for (const RECT rc : {RECT{-3, 10, 14, 31}, RECT{0, 0, 16, 6}, RECT{5, 1, 6, 40}}) {
        const Region e = Region::Ellipse(rc);
        EXPECT_EQ(e.Bounds(), rc); // the extreme pixels reach every side
        for (LONG y = rc.top; y < rc.bottom; ++y)
            for (LONG x = rc.left; x < rc.right; ++x) {
                ASSERT_EQ(e.Contains(x, y), e.Contains(rc.left + rc.right - 1 - x, y)) << x << "," << y;
                ASSERT_EQ(e.Contains(x, y), e.Contains(x, rc.top + rc.bottom - 1 - y)) << x << "," << y;
            }
    }
    for (int w = 1; w <= 13; ++w)
        for (int h = 1; h <= 13; ++h)
            ExpectRoundRectMatches(RECT{-w / 2, 3, w - w / 2, 3 + h}, w, h, true);

    // At most one rectangle per row, far fewer than the ~470000 pixels, equal neighbours merged.
    const std::vector<RECT> rects = Region::Ellipse(RECT{0, 0, 1000, 600}).Rects();
    EXPECT_LE(rects.size(), 600u);
    for (std::size_t i = 1; i < rects.size(); ++i) {
        ASSERT_GE(rects[i].top, rects[i - 1].bottom);
        ASSERT_FALSE(rects[i].top == rects[i - 1].bottom && rects[i].left == rects[i - 1].left &&
                     rects[i].right == rects[i - 1].right)
            << i;
    }
}

TEST(Region, RoundRectCornersAndClamping) {
    const RECT rc{0, 0, 10, 8};
    const Region r = Region::RoundRect(rc, 4, 4);
    EXPECT_EQ(Picture(r, RECT{0, 0, 10, 2}), ".########.|##########");
    EXPECT_EQ(Picture(r, RECT{0, 6, 10, 8}), "##########|.########.");
    EXPECT_EQ(Region::RoundRect(rc, 100, 100), Region::Ellipse(rc));
    EXPECT_EQ(Region::RoundRect(rc, 0, 5), Region::Rect(rc));
    EXPECT_EQ(Region::RoundRect(rc, -4, -4), Region::Rect(rc));
    for (const RECT box : {RECT{0, 0, 12, 9}, RECT{-5, 2, 4, 20}, RECT{1, 1, 30, 3}})
        for (int ew = 1; ew <= box.Width(); ew += 3)
            for (int eh = 1; eh <= box.Height(); eh += 2)
                ExpectRoundRectMatches(box, ew, eh, false);
}

TEST(Region, PolygonEdgesFollowTheFillConvention) {
    const POINT square[] = {{0, 0}, {10, 0}, {10, 10}, {0, 10}};
    EXPECT_EQ(Region::Polygon(square, 4, FillMode::Alternate), Region::Rect(0, 0, 10, 10));
    EXPECT_EQ(Region::Polygon(square, 4, FillMode::Winding), Region::Rect(0, 0, 10, 10));

    // Two triangles sharing a diagonal tile the square: no pixel twice, none missing. Centres on
    // the diagonal (x + y == 9) go to the triangle on whose left the edge lies.
    const POINT lower[] = {{0, 0}, {10, 0}, {0, 10}};
    const POINT upper[] = {{10, 0}, {10, 10}, {0, 10}};
    const Region a = Region::Polygon(lower, 3, FillMode::Alternate);
    const Region b = Region::Polygon(upper, 3, FillMode::Alternate);
    EXPECT_TRUE(Region::Combine(a, b, CombineMode::And).IsEmpty());
    EXPECT_EQ(Region::Combine(a, b, CombineMode::Or), Region::Rect(0, 0, 10, 10));
    EXPECT_EQ(Picture(a, RECT{7, 0, 10, 3}), "##.|#..|...");

    const POINT line[] = {{0, 0}, {5, 5}, {10, 10}};
    EXPECT_TRUE(Region::Polygon(line, 3, FillMode::Alternate).IsEmpty());
    EXPECT_TRUE(Region::Polygon(square, 2, FillMode::Alternate).IsEmpty());
    EXPECT_TRUE(Region::Polygon(square, 4, static_cast<FillMode>(0)).IsEmpty());
}

TEST(Region, RandomPolygonsMatchPerPixelReference) {
    const unsigned seed = 20240611;
    std::mt19937 rng(seed);
    std::uniform_int_distribution<int> coord(-3, 22), count(3, 12);
    for (int round = 0; round < 300; ++round) {
        std::vector<POINT> pts(static_cast<std::size_t>(count(rng)));
        for (POINT& p : pts)
            p = POINT{coord(rng), coord(rng)};
        for (FillMode mode : {FillMode::Alternate, FillMode::Winding}) {
            const Region r = Region::Polygon(pts.data(), static_cast<int>(pts.size()), mode);
            for (LONG y = -4; y < 24; ++y)
                for (LONG x = -4; x < 24; ++x)
                    ASSERT_EQ(r.Contains(x, y), PolygonRef(pts, mode, x, y))
                        << "seed " << seed << " round " << round << " mode " << static_cast<int>(mode)
                        << " at " << x << "," << y;
        }
    }
}

TEST(Region, AlternateAndWindingDifferOnOverlaps) {
    // Two squares drawn as one outline in the same direction; their overlap is wound twice.
    const POINT twice[] = {{0, 0}, {10, 0}, {10, 10}, {0, 10}, {0, 0},
                           {5, 5}, {15, 5}, {15, 15}, {5, 15}, {5, 5}};
    const Region sq1 = Region::Rect(0, 0, 10, 10), sq2 = Region::Rect(5, 5, 15, 15);
    EXPECT_EQ(Region::Polygon(twice, 10, FillMode::Alternate), Region::Combine(sq1, sq2, CombineMode::Xor));
    EXPECT_EQ(Region::Polygon(twice, 10, FillMode::Winding), Region::Combine(sq1, sq2, CombineMode::Or));
}

TEST(Region, AbsurdCoordinatesStayBounded) {
    const LONG lim = Region::kShapeLimit;
    const POINT huge[] = {{kMin, kMin}, {kMax, kMin}, {kMax, kMax}, {kMin, kMax}};
    EXPECT_EQ(Region::Polygon(huge, 4, FillMode::Winding), Region::Rect(-lim, -lim, lim, lim));
    EXPECT_EQ(Region::Ellipse(RECT{kMin, kMin, kMax, kMax}), Region::Rect(-lim, -lim, lim, lim));

    const POINT tri[] = {{-1000000000, 0}, {1000000000, 0}, {0, 1000000000}};
    const Region t = Region::Polygon(tri, 3, FillMode::Alternate);
    EXPECT_TRUE(t.Contains(0, 0));
    EXPECT_EQ(t.Bounds(), (RECT{-lim, 0, lim, lim}));

    // Many edges each crossing the whole scan range: refused rather than ground through.
    std::vector<POINT> zigzag;
    for (int i = 0; i < 64; ++i)
        zigzag.push_back(POINT{i * 10, i % 2 ? kMax : kMin});
    EXPECT_TRUE(Region::Polygon(zigzag.data(), 64, FillMode::Alternate).IsEmpty());
}

TEST(Region, CombineModesOnOverlappingRects) {
    const Region a = Region::Rect(0, 0, 10, 10), b = Region::Rect(5, 5, 15, 15);
    const Region andR = Region::Combine(a, b, CombineMode::And);
    const Region orR = Region::Combine(a, b, CombineMode::Or);
    const Region xorR = Region::Combine(a, b, CombineMode::Xor);
    const Region diff = Region::Combine(a, b, CombineMode::Diff);
    EXPECT_EQ(andR, Region::Rect(5, 5, 10, 10));
    for (LONG y = -1; y <= 15; ++y)
        for (LONG x = -1; x <= 15; ++x) {
            const bool inA = a.Contains(x, y), inB = b.Contains(x, y);
            ASSERT_EQ(orR.Contains(x, y), inA || inB) << x << "," << y;
            ASSERT_EQ(xorR.Contains(x, y), inA != inB) << x << "," << y;
            ASSERT_EQ(diff.Contains(x, y), inA && !inB) << x << "," << y;
        }
    EXPECT_EQ(orR.Bounds(), (RECT{0, 0, 15, 15}));
    EXPECT_EQ(Region::Combine(a, b, CombineMode::Copy), a);
    EXPECT_TRUE(Region::Combine(a, b, static_cast<CombineMode>(9)).IsEmpty());

    Region m = a;
    EXPECT_EQ(m.Union(b), orR);
    EXPECT_EQ((m = a).Intersect(b), andR);
    EXPECT_EQ((m = a).Subtract(b), diff);
    EXPECT_EQ((m = a).Xor(b), xorR);
    EXPECT_TRUE(m.Xor(m).IsEmpty());
}

TEST(Region, OffsetMovesEveryPixelAndDropsWhatLeavesTheRange) {
    const Region before = Region::Ellipse(RECT{0, 0, 9, 7});
    Region r = before;
    r.Offset(-20, 33);
    EXPECT_EQ(r.Bounds(), (RECT{-20, 33, -11, 40}));
    EXPECT_EQ(Picture(r, RECT{-20, 33, -11, 40}), Picture(before, RECT{0, 0, 9, 7}));
    r.Offset(20, -33);
    EXPECT_EQ(r, before);

    Region edge = Region::Rect(kMax - 10, 0, kMax, 5);
    edge.Offset(5, 0);
    EXPECT_EQ(edge.Bounds(), (RECT{kMax - 5, 0, kMax, 5}));
    Region low = Region::Rect(kMin, 0, kMin + 4, 4);
    low.Offset(-2, 0);
    EXPECT_EQ(low.Bounds(), (RECT{kMin, 0, kMin + 2, 4}));
    low.Offset(0, kMin);
    low.Offset(0, -100);
    EXPECT_TRUE(low.IsEmpty());
}

TEST(Region, CopiesAreIndependentAndMovesEmptyTheSource) {
    Region a = Region::Ellipse(RECT{0, 0, 20, 20});
    Region copy = a;
    a.Subtract(Region::Rect(0, 0, 10, 20));
    EXPECT_TRUE(copy.Contains(5, 10));
    EXPECT_FALSE(a.Contains(5, 10));

    Region target = Region::Rect(100, 100, 110, 110);
    target = copy;
    copy.Clear();
    EXPECT_TRUE(target.Contains(5, 10));
    EXPECT_FALSE(target.Contains(100, 100));

    Region moved = std::move(target);
    EXPECT_TRUE(moved.Contains(5, 10));
    EXPECT_TRUE(target.IsEmpty()); // a moved-from region is defined to be empty
}
