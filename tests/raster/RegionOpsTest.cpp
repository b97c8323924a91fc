#include "raster/RegionOps.h"

#include "raster/Blend.h"
#include "raster/Dib.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <deque>
#include <functional>
#include <random>
#include <vector>

using namespace zepho;

namespace {

using Mask = std::vector<bool>; // one flag per image pixel, row-major

// Blobs of a few colours and alphas around the class edge, so that the wand finds real shapes.
PackedDib PosterImage(std::mt19937& rng, int w, int h) {
    static const BYTE kAlpha[] = {255, 128, 127, 0, 200};
    PackedDib d = CreateTransparentDIB(w, h);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            BYTE* p = d.Pixel32(x, y);
            const BYTE* up = y > 0 ? d.Pixel32(x, y - 1) : nullptr;
            const BYTE* left = x > 0 ? d.Pixel32(x - 1, y) : nullptr;
            const unsigned k = rng() % 10;
            if (k < 4 && up)
                std::memcpy(p, up, 4);
            else if (k < 8 && left)
                std::memcpy(p, left, 4);
            else {
                for (int c = 0; c < 3; ++c)
                    p[c] = static_cast<BYTE>(100 + rng() % 3 * 20);
                p[3] = kAlpha[rng() % 5];
            }
        }
    return d;
}

// Breadth-first: a different visiting order from the code under test, the same connected set.
Mask Connected(const PackedDib& img, POINT seed, const Region* region,
               const std::function<bool(const BYTE*)>& qualifies) {
    const int w = img.Width(), h = img.Height();
    Mask in(static_cast<std::size_t>(w) * h), seen(in.size());
    std::deque<POINT> todo{seed};
    seen[seed.y * w + seed.x] = true;
    while (!todo.empty()) {
        const POINT p = todo.front();
        todo.pop_front();
        in[p.y * w + p.x] = true;
        const POINT next[] = {{p.x + 1, p.y}, {p.x - 1, p.y}, {p.x, p.y + 1}, {p.x, p.y - 1}};
        for (const POINT n : next) {
            if (n.x < 0 || n.y < 0 || n.x >= w || n.y >= h || seen[n.y * w + n.x]) continue;
            if (region && !region->Contains(n.x, n.y)) continue;
            seen[n.y * w + n.x] = true;
            if (qualifies(img.Pixel32(n.x, n.y))) todo.push_back(n);
        }
    }
    return in;
}

bool InRange(const BYTE* p, const BYTE* ref, int t) {
    for (int c = 0; c < 3; ++c)
        if (std::abs(p[c] - ref[c]) > t) return false;
    return true;
}

void ExpectSameSet(const Region& rgn, const Mask& ref, int w, int h, int seed) {
    const RECT b = rgn.Bounds();
    if (!rgn.IsEmpty()) {
        EXPECT_TRUE(b.left >= 0 && b.top >= 0 && b.right <= w && b.bottom <= h) << "seed " << seed;
    }
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            ASSERT_EQ(rgn.Contains(x, y), ref[y * w + x]) << "pixel " << x << "," << y << " seed " << seed;
}

// The fill colour composed over a pixel, written out from the formulas.
void RefOver(BYTE* p, COLORREF fill, int o) {
    const int a = p[3];
    const int ao = 255 - ((255 - a) * (255 - o)) / 255;
    const int f[3] = {GetBValue(fill), GetGValue(fill), GetRValue(fill)};
    for (int c = 0; c < 3; ++c) {
        int v = ((255 - o) * a * p[c]) / 255 + o * f[c];
        if (ao) v /= ao;
        p[c] = static_cast<BYTE>(std::min(v, 255));
    }
    p[3] = static_cast<BYTE>(ao);
}

const BYTE kZero[4] = {};

std::vector<BYTE> Bytes(const PackedDib& d) {
    return {d.Data(), d.Data() + d.Size()};
}

BYTE MaskAt(const PackedDib& m, POINT pos, int x, int y) {
    x -= pos.x, y -= pos.y;
    if (x < 0 || y < 0 || x >= m.Width() || y >= m.Height()) return 0;
    return m.Row(y)[x];
}

} // namespace

TEST(RegionBuild, AddRectMergedCollapsesRunsAndBlocks) {
    RECT list[8];
    int n = 0;
    for (int x = 0; x < 5; ++x)
        n = AddRectMerged(list, n, RECT{x, 0, x + 1, 1});
    ASSERT_EQ(n, 1);
    EXPECT_EQ(list[0], (RECT{0, 0, 5, 1}));
    EXPECT_EQ(AddRectMerged(list, n, RECT{0, 0, 5, 1}), 1); // equal: unchanged
    // A second row of the same span merges vertically; a gap rectangle bridges two pieces.
    for (int x = 0; x < 5; ++x)
        n = AddRectMerged(list, n, RECT{x, 1, x + 1, 2});
    ASSERT_EQ(n, 1);
    EXPECT_EQ(list[0], (RECT{0, 0, 5, 2}));
    n = AddRectMerged(list, n, RECT{7, 0, 8, 2});
    n = AddRectMerged(list, n, RECT{9, 0, 10, 2});
    ASSERT_EQ(n, 3);
    n = AddRectMerged(list, n, RECT{8, 0, 9, 2});
    ASSERT_EQ(n, 2);
    EXPECT_EQ(list[1], (RECT{7, 0, 10, 2}));
    n = AddRectMerged(list, n, RECT{5, 0, 7, 2});
    ASSERT_EQ(n, 1);
    EXPECT_EQ(list[0], (RECT{0, 0, 10, 2}));
}

TEST(RegionWand, UniformImagesClampedSeedAndClassEdge) {
    for (BYTE alpha : {BYTE{255}, BYTE{0}}) {
        const PackedDib img = alpha ? CreateSolidDIB(7, 5, RGB(10, 20, 30), 255) : CreateTransparentDIB(7, 5);
        for (auto select : {SelectSimilarContiguous, SelectSimilarGlobal}) {
            const auto r = select(img, -50, 1000, 0); // clamped to the bottom-left pixel
            ASSERT_TRUE(r);
            EXPECT_EQ(*r, Region::Rect(0, 0, 7, 5));
        }
    }
    // Alpha 127 is transparent-class next to an opaque seed of the same colour; 128 is opaque.
    PackedDib img = CreateSolidDIB(4, 1, RGB(50, 50, 50), 255);
    img.Pixel32(1, 0)[3] = 127;
    img.Pixel32(3, 0)[3] = 128;
    EXPECT_EQ(*SelectSimilarGlobal(img, 0, 0, 255), Region::Rect(0, 0, 1, 1).Union(Region::Rect(2, 0, 4, 1)));
    EXPECT_EQ(*SelectSimilarContiguous(img, 0, 0, 255), Region::Rect(0, 0, 1, 1));
    EXPECT_EQ(*SelectSimilarContiguous(img, 1, 0, 0), Region::Rect(1, 0, 2, 1));
    EXPECT_TRUE(SelectSimilarGlobal(PackedDib(), 0, 0, 10)->IsEmpty());
}

TEST(RegionWand, MatchesBruteForceOnRandomImages) {
    for (int seed = 1; seed <= 40; ++seed) {
        std::mt19937 rng(seed);
        const int w = 1 + rng() % 90, h = 1 + rng() % 70;
        const PackedDib img = PosterImage(rng, w, h);
        const int sx = static_cast<int>(rng() % w), sy = static_cast<int>(rng() % h);
        const int tol = seed % 4 == 0 ? 0 : seed % 4 == 1 ? 255 : static_cast<int>(rng() % 40);
        const BYTE* s = img.Pixel32(sx, sy);
        auto match = [&](const BYTE* p) { return (p[3] >= 128) == (s[3] >= 128) && InRange(p, s, tol); };
        const auto contiguous = SelectSimilarContiguous(img, sx, sy, tol);
        ASSERT_TRUE(contiguous);
        ExpectSameSet(*contiguous, Connected(img, POINT{sx, sy}, nullptr, match), w, h, seed);
        Mask all(static_cast<std::size_t>(w) * h);
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x)
                all[y * w + x] = match(img.Pixel32(x, y));
        ExpectSameSet(*SelectSimilarGlobal(img, sx, sy, tol), all, w, h, seed);
    }
}

TEST(RegionOps, RectInRegionAgreesWithPixelTest) {
    std::mt19937 rng(7);
    Region r = Region::Ellipse(RECT{0, 0, 30, 20});
    r.Union(Region::Rect(25, 5, 40, 30));
    EXPECT_TRUE(RectInRegion(r, RECT{100, 100, 100, 200})); // no pixels
    EXPECT_FALSE(RectInRegion(Region(), RECT{0, 0, 1, 1}));
    for (int i = 0; i < 2000; ++i) {
        const LONG l = rng() % 45 - 2, t = rng() % 35 - 2;
        const RECT rc{l, t, l + 1 + static_cast<LONG>(rng() % 12), t + 1 + static_cast<LONG>(rng() % 12)};
        bool all = true;
        for (LONG y = rc.top; y < rc.bottom; ++y)
            for (LONG x = rc.left; x < rc.right; ++x)
                all = all && r.Contains(x, y);
        ASSERT_EQ(RectInRegion(r, rc), all)
            << rc.left << "," << rc.top << " " << rc.right << "," << rc.bottom;
    }
}

TEST(RegionOps, CopyAndMergeKeepOnlyRegionPixels) {
    std::mt19937 rng(3);
    const PackedDib a = PosterImage(rng, 20, 16), b = PosterImage(rng, 12, 12);
    const POINT posA{-5, 10}, posB{8, 3};
    Region rgn = Region::Ellipse(RECT{-10, 0, 20, 24});
    rgn.Union(Region::Rect(100, 100, 110, 110)); // far away: widens the bounds only

    POINT at{};
    const PackedDib cut = CopyRegionPixels(a, posA, rgn, at);
    ASSERT_TRUE(cut);
    EXPECT_EQ(at.x, -5);
    EXPECT_EQ(at.y, 10);
    EXPECT_EQ(cut.Width(), 20);
    EXPECT_EQ(cut.Height(), 16);
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 20; ++x) {
            const bool in = rgn.Contains(x + posA.x, y + posA.y);
            ASSERT_EQ(std::memcmp(cut.Pixel32(x, y), in ? a.Pixel32(x, y) : kZero, 4), 0) << x << "," << y;
        }

    POINT full{};
    const PackedDib merged = MergeImages(a, posA, 30, b, posB, 10, full);
    const PackedDib inRgn = MergeImagesInRegion(a, posA, 30, b, posB, 10, rgn, at);
    ASSERT_TRUE(inRgn);
    EXPECT_EQ(at.x, -5); // the union (-5, 3)-(20, 26) cut to the region's bounds (-10, 0)-(110, 110)
    EXPECT_EQ(at.y, 3);
    EXPECT_EQ(inRgn.Width(), 25);
    EXPECT_EQ(inRgn.Height(), 23);
    for (int y = 0; y < inRgn.Height(); ++y)
        for (int x = 0; x < inRgn.Width(); ++x) {
            const int dx = x + at.x, dy = y + at.y;
            const BYTE* want = rgn.Contains(dx, dy) ? merged.Pixel32(dx - full.x, dy - full.y) : kZero;
            ASSERT_EQ(std::memcmp(inRgn.Pixel32(x, y), want, 4), 0) << x << "," << y;
        }

    const Region away = Region::Rect(500, 500, 510, 510);
    EXPECT_FALSE(CopyRegionPixels(a, posA, away, at));
    EXPECT_FALSE(MergeImagesInRegion(a, posA, 0, b, posB, 0, away, at));
    EXPECT_FALSE(CopyRegionPixels(a, posA, Region(), at));
}

TEST(RegionMask, AlphaKernelsClipToImageAndRegion) {
    PackedDib img = CreateSolidDIB(6, 4, RGB(1, 2, 3), 200);
    PackedDib mask = CreateBrushMask(4, 3);
    mask.Row(0)[0] = 255; // lands on image (-1, -1): outside
    mask.Row(1)[1] = 255; // (0, 0)
    mask.Row(1)[2] = 100; // (1, 0)
    mask.Row(2)[3] = 100; // (2, 1): outside the region below
    const Region rgn = Region::Rect(0, 0, 2, 1);
    EraseByMask(img, mask, POINT{-1, -1}, &rgn);
    EXPECT_EQ(img.Pixel32(0, 0)[3], 0);
    EXPECT_EQ(img.Pixel32(1, 0)[3], 155);
    EXPECT_EQ(img.Pixel32(2, 1)[3], 200);
    EXPECT_EQ(img.Pixel32(1, 0)[0], 3); // colour untouched
    EraseByMask(img, mask, POINT{-1, -1}, nullptr);
    EXPECT_EQ(img.Pixel32(2, 1)[3], 155);

    // Masks hanging over every edge, or wholly outside, touch nothing outside the image.
    PackedDib big = CreateBrushMask(10, 8);
    for (int y = 0; y < 8; ++y)
        std::memset(big.Row(y), 180, 10);
    for (POINT p :
         {POINT{-3, -2}, POINT{4, 2}, POINT{-20, 0}, POINT{0, 100}, POINT{INT32_MAX - 2, INT32_MIN}}) {
        PackedDib one = CreateTransparentDIB(6, 4);
        PaintAlphaByMask(one, big, p, nullptr);
        for (int y = 0; y < 4; ++y)
            for (int x = 0; x < 6; ++x) {
                const bool under = x - p.x >= 0 && x - p.x < 10 && y - p.y >= 0 && y - p.y < 8;
                ASSERT_EQ(one.Pixel32(x, y)[3], under ? 180 : 0);
            }
    }

    // WhereOpaque: only where the reference has alpha; raising never lowers.
    PackedDib ref = CreateSolidDIB(6, 4, 0, 255);
    ref.Pixel32(1, 1)[3] = 0;
    PackedDib layer = CreateTransparentDIB(6, 4);
    layer.Pixel32(2, 2)[3] = 250;
    PaintAlphaByMaskWhereOpaque(layer, big, ref, POINT{0, 0}, nullptr);
    EXPECT_EQ(layer.Pixel32(0, 0)[3], 180);
    EXPECT_EQ(layer.Pixel32(1, 1)[3], 0);
    EXPECT_EQ(layer.Pixel32(2, 2)[3], 250);
    PackedDib smallRef = CreateSolidDIB(2, 2, 0, 255); // shorter than the layer: beyond it nothing
    PackedDib layer2 = CreateTransparentDIB(6, 4);
    PaintAlphaByMaskWhereOpaque(layer2, big, smallRef, POINT{0, 0}, nullptr);
    EXPECT_EQ(layer2.Pixel32(1, 1)[3], 180);
    EXPECT_EQ(layer2.Pixel32(2, 1)[3], 0);
}

TEST(RegionFill, FloodsMatchReferenceFlood) {
    for (int seed = 1; seed <= 30; ++seed) {
        std::mt19937 rng(seed);
        const int w = 1 + rng() % 60, h = 1 + rng() % 50;
        const PackedDib img = PosterImage(rng, w, h);
        const POINT s{static_cast<LONG>(rng() % w), static_cast<LONG>(rng() % h)};
        const Region rgn = Region::Ellipse(RECT{-5, -3, w, h + 4});
        const Region* region = seed % 3 ? &rgn : nullptr;
        if (region && !rgn.Contains(s.x, s.y)) continue;
        const int tol = static_cast<int>(rng() % 50), o = seed % 5 == 0 ? 255 : static_cast<int>(rng() % 256);
        const BYTE* sp = img.Pixel32(s.x, s.y);
        const COLORREF refColour = RGB(sp[2], sp[1], sp[0]), fill = RGB(rng(), rng(), rng());
        auto similar = [&](const BYTE* p) { return p[3] != 0 && InRange(p, sp, tol); };
        auto clear = [](const BYTE* p) { return p[3] == 0; };

        for (int kind = 0; kind < 4; ++kind) {
            PackedDib got = img.Clone(), want = img.Clone();
            Mask paint(static_cast<std::size_t>(w) * h);
            if (kind == 0) paint = Connected(img, s, region, similar);
            if (kind == 1) paint = Connected(img, s, region, clear);
            for (int y = 0; y < h; ++y)
                for (int x = 0; x < w; ++x)
                    if (kind >= 2 && (!region || rgn.Contains(x, y)))
                        paint[y * w + x] = kind == 2 ? similar(img.Pixel32(x, y)) : clear(img.Pixel32(x, y));
            for (int i = 0; i < w * h; ++i) {
                if (!paint[i]) continue;
                BYTE* p = want.Pixel32(i % w, i / w);
                if (kind % 2 == 0)
                    RefOver(p, fill, o);
                else
                    p[0] = GetBValue(fill), p[1] = GetGValue(fill), p[2] = GetRValue(fill), p[3] = 77;
            }
            bool ok = kind == 0   ? FloodFillSimilar(got, refColour, fill, o, tol, s, region)
                      : kind == 1 ? FloodFillTransparent(got, fill, 77, s, region)
                      : kind == 2 ? FillSimilarGlobal(got, refColour, fill, o, tol, region)
                                  : FillTransparentGlobal(got, fill, 77, region);
            ASSERT_TRUE(ok);
            ASSERT_EQ(Bytes(got), Bytes(want)) << "seed " << seed << " kind " << kind;
        }
    }
}

TEST(RegionFill, SeedRulesAndBlendEdges) {
    // A transparent seed is painted; its transparent neighbours of matching colour are not.
    PackedDib img = CreateTransparentDIB(3, 1);
    img.Pixel32(2, 0)[3] = 255;
    ASSERT_TRUE(FloodFillSimilar(img, RGB(0, 0, 0), RGB(9, 9, 9), 255, 10, POINT{0, 0}, nullptr));
    EXPECT_EQ(img.Pixel32(0, 0)[3], 255);
    EXPECT_EQ(img.Pixel32(1, 0)[3], 0);
    // Opacity 128 over opaque keeps alpha 255 and blends; opacity 255 gives the fill exactly.
    PackedDib solid = CreateSolidDIB(2, 2, RGB(200, 0, 100), 255);
    ASSERT_TRUE(FillSimilarGlobal(solid, RGB(200, 0, 100), RGB(0, 255, 100), 128, 0, nullptr));
    const BYTE* p = solid.Pixel32(1, 1);
    EXPECT_EQ(p[3], 255);
    EXPECT_EQ(p[2], (127 * 255 * 200 / 255 + 0) / 255);
    EXPECT_EQ(p[1], (128 * 255) / 255);
    // Seeds outside the image or the region paint nothing; empty images are harmless.
    PackedDib keep = CreateSolidDIB(4, 4, RGB(1, 1, 1), 255);
    const auto before = Bytes(keep);
    const Region rgn = Region::Rect(0, 0, 2, 2);
    EXPECT_TRUE(FloodFillSimilar(keep, RGB(1, 1, 1), RGB(9, 9, 9), 255, 0, POINT{-1, 2}, nullptr));
    EXPECT_TRUE(FloodFillSimilar(keep, RGB(1, 1, 1), RGB(9, 9, 9), 255, 0, POINT{3, 3}, &rgn));
    EXPECT_TRUE(FloodFillTransparent(keep, RGB(9, 9, 9), 255, POINT{4, 0}, nullptr));
    EXPECT_EQ(Bytes(keep), before);
    PackedDib none;
    EXPECT_TRUE(FloodFillTransparent(none, 0, 255, POINT{0, 0}, nullptr));
    EXPECT_TRUE(FillTransparentGlobal(none, 0, 255, &rgn));
}

TEST(RegionOps, MoveOpaquePixelsCopiesAndMarksSource) {
    PackedDib dst = CreateSolidDIB(4, 4, RGB(1, 1, 1), 255);
    PackedDib src = CreateSolidDIB(3, 3, RGB(50, 60, 70), 90);
    src.Pixel32(1, 1)[3] = 0;
    MoveOpaquePixels(dst, POINT{10, 10}, src, POINT{12, 11}); // overlap: dst (2..3, 1..3)
    EXPECT_EQ(dst.Pixel32(2, 1)[3], 90);
    EXPECT_EQ(dst.Pixel32(2, 1)[0], 70);
    EXPECT_EQ(dst.Pixel32(3, 2)[3], 255); // src (1, 1) is transparent: kept
    EXPECT_EQ(dst.Pixel32(1, 1)[3], 255);
    EXPECT_EQ(src.Pixel32(0, 0)[0], 0);  // moved: blue cleared
    EXPECT_EQ(src.Pixel32(2, 0)[0], 70); // outside the overlap
    EXPECT_EQ(src.Pixel32(1, 1)[0], 70);
}

TEST(StrokeMask, HorizontalEvenWidthStampsSquares) {
    POINT at{};
    const PackedDib m = StrokeMask(100, 100, PointF{10, 10}, PointF{20, 10}, 4, 200, nullptr, false, at);
    ASSERT_TRUE(m);
    EXPECT_EQ(at.x, 7);
    EXPECT_EQ(at.y, 7);
    EXPECT_EQ(m.Width(), 16);
    EXPECT_EQ(m.Height(), 6);
    for (int y = 0; y < 100; ++y)
        for (int x = 0; x < 100; ++x)
            ASSERT_EQ(MaskAt(m, at, x, y), (x >= 8 && x < 21 && y >= 8 && y < 12) ? 200 : 0) << x << "," << y;
}

TEST(StrokeMask, EndsOutsideAndHostileInput) {
    POINT at{};
    // A step with both ends outside draws where it crosses the image (a quick swipe over a small
    // object), and nothing when it passes by.
    const PackedDib across = StrokeMask(50, 50, PointF{-10, 25}, PointF{60, 25}, 5, 255, nullptr, true, at);
    ASSERT_TRUE(across);
    EXPECT_EQ(MaskAt(across, at, 0, 25), 255);
    EXPECT_EQ(MaskAt(across, at, 49, 25), 255);
    EXPECT_EQ(MaskAt(across, at, 25, 10), 0);
    EXPECT_FALSE(StrokeMask(50, 50, PointF{-10, -20}, PointF{60, -20}, 5, 255, nullptr, true, at));
    EXPECT_FALSE(StrokeMask(50, 50, PointF{-30, 10}, PointF{10, -30}, 5, 255, nullptr, true, at));
    EXPECT_FALSE(StrokeMask(50, 50, PointF{1, 1}, PointF{NAN, 2}, 5, 255, nullptr, true, at));
    EXPECT_FALSE(StrokeMask(50, 50, PointF{1, 1}, PointF{2, 2}, 0, 255, nullptr, true, at));
    EXPECT_FALSE(StrokeMask(0, 50, PointF{1, 1}, PointF{2, 2}, 4, 255, nullptr, true, at));
    const Region away = Region::Rect(80, 80, 90, 90);
    EXPECT_FALSE(StrokeMask(50, 50, PointF{1, 1}, PointF{2, 2}, 4, 255, &away, true, at));
    // A far end is cut at the pen's reach: the same mask as a step to just past the edge.
    const PackedDib far = StrokeMask(50, 50, PointF{20, 25}, PointF{-1e30f, 25}, 6, 255, nullptr, false, at);
    POINT at2{};
    const PackedDib near = StrokeMask(50, 50, PointF{20, 25}, PointF{-4, 25}, 6, 255, nullptr, false, at2);
    ASSERT_TRUE(far && near);
    EXPECT_EQ(at.x, at2.x);
    EXPECT_EQ(Bytes(far), Bytes(near));
    EXPECT_EQ(MaskAt(far, at, 0, 25), 255);
    // A region limits the mask's rectangle and its pixels.
    const Region half = Region::Rect(0, 0, 15, 50);
    const PackedDib cut = StrokeMask(50, 50, PointF{5, 5}, PointF{30, 20}, 7, 255, &half, true, at);
    ASSERT_TRUE(cut);
    EXPECT_LE(at.x + cut.Width(), 15);
}

TEST(StrokeMask, DiskTipIsSymmetricWithFullCentre) {
    for (int w : {4, 5, 8, 13, 20}) {
        POINT at{};
        // Coinciding ends stamp the tip once; a half-pixel centre puts odd widths on whole pixels.
        const float c = (w & 1) ? 29.5f : 30.0f;
        const PackedDib m = StrokeMask(60, 60, PointF{c, c}, PointF{c, c}, w, 240, nullptr, true, at);
        ASSERT_TRUE(m) << w;
        // Odd widths step at the pixel centre x + 0.5 and move the line down half a pixel.
        const int x0 = static_cast<int>(c) - w / 2, y0 = 30 - w / 2;
        long sum = 0;
        for (int j = 0; j < w; ++j)
            for (int i = 0; i < w; ++i) {
                const int v = MaskAt(m, at, x0 + i, y0 + j);
                sum += v;
                ASSERT_EQ(v, MaskAt(m, at, x0 + w - 1 - i, y0 + j)) << w;
                ASSERT_EQ(v, MaskAt(m, at, x0 + i, y0 + w - 1 - j)) << w;
                ASSERT_EQ(v, MaskAt(m, at, x0 + j, y0 + i)) << w;
            }
        EXPECT_EQ(MaskAt(m, at, x0 + w / 2, y0 + w / 2), 240) << w;
        if (w >= 8) { // smaller disks reach into the corner pixels
            EXPECT_EQ(MaskAt(m, at, x0, y0), 0) << w;
        }
        // Chords lie inside the circle; they and truncation lose a little along the edge only.
        const double disk = 240 * M_PI * w * w / 4;
        EXPECT_LE(sum, disk) << w;
        EXPECT_GE(sum, disk - 240 * 0.2 * w) << w;
    }
}

TEST(StrokeMask, SteppingAlongYIsTheTransposeOfAlongX) {
    for (int w : {3, 6}) {
        POINT ax{}, ay{};
        const PackedDib mx =
            StrokeMask(80, 80, PointF{10.3f, 12.6f}, PointF{40.2f, 21.9f}, w, 255, nullptr, true, ax);
        const PackedDib my =
            StrokeMask(80, 80, PointF{12.6f, 10.3f}, PointF{21.9f, 40.2f}, w, 255, nullptr, true, ay);
        ASSERT_TRUE(mx && my);
        int partial = 0;
        for (int y = 0; y < 80; ++y)
            for (int x = 0; x < 80; ++x) {
                ASSERT_EQ(MaskAt(mx, ax, x, y), MaskAt(my, ay, y, x)) << w << ": " << x << "," << y;
                const int v = MaskAt(mx, ax, x, y);
                partial += v > 0 && v < 255;
            }
        EXPECT_GT(partial, 0); // the fractional rows are blended in
        if (w == 6) {
            EXPECT_EQ(MaskAt(mx, ax, 25, 17), 255);
        }
    }
}
