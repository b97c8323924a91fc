// The Transform menu's filters and colour adjustments on 32-bit images.
#include "raster/Filters.h"
#include "extlib/AdjustHsl.h"
#include "extlib/ImageTransform.h"
#include "platform/Parallel.h"
#include "raster/Cpu.h"
#include "raster/Dib.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cstdint>
#include <cstring>
#include <functional>
#include <random>
#include <thread>

using namespace zepho;

namespace {

PackedDib RandomImage(int w, int h, unsigned seed) {
    PackedDib d = CreateDIB(w, h, 32);
    std::mt19937 rng(seed);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w * 4; ++x)
            d.Row(y)[x] = static_cast<BYTE>(rng());
    return d;
}

bool SameBytes(const PackedDib& a, const PackedDib& b) {
    return a.Size() == b.Size() && std::memcmp(a.Data(), b.Data(), a.Size()) == 0;
}

// B, G, R, A of one pixel.
std::array<int, 4> Px(const PackedDib& d, int x, int y) {
    const BYTE* p = d.Pixel32(x, y);
    return {p[0], p[1], p[2], p[3]};
}

void SetPx(PackedDib& d, int x, int y, int b, int g, int r, int a = 255) {
    BYTE* p = d.Pixel32(x, y);
    p[0] = static_cast<BYTE>(b);
    p[1] = static_cast<BYTE>(g);
    p[2] = static_cast<BYTE>(r);
    p[3] = static_cast<BYTE>(a);
}

int At(const PackedDib& d, int x, int y, int c) {
    return d.Pixel32(std::clamp(x, 0, d.Width() - 1), std::clamp(y, 0, d.Height() - 1))[c];
}

// Straight from the definitions: every window summed anew, edges repeated.
PackedDib ReferenceBox(const PackedDib& src, int n) {
    PackedDib out = src.Clone();
    const int h = n / 2;
    for (int y = 0; y < src.Height(); ++y)
        for (int x = 0; x < src.Width(); ++x)
            for (int c = 0; c < 4; ++c) {
                int s = 0;
                for (int dy = -h; dy <= h; ++dy)
                    for (int dx = -h; dx <= h; ++dx)
                        s += At(src, x + dx, y + dy, c);
                out.Pixel32(x, y)[c] = static_cast<BYTE>(s / (n * n));
            }
    return out;
}

PackedDib ReferenceSharpen(const PackedDib& src, int f) {
    PackedDib out = src.Clone();
    for (int y = 0; y < src.Height(); ++y)
        for (int x = 0; x < src.Width(); ++x)
            for (int c = 0; c < 4; ++c) {
                const int v = At(src, x, y, c);
                int s = 0;
                for (int dy = -1; dy <= 1; ++dy)
                    for (int dx = -1; dx <= 1; ++dx)
                        s += At(src, x + dx, y + dy, c);
                out.Pixel32(x, y)[c] = static_cast<BYTE>(std::clamp(v + f * (v - (s - v) / 8), 0, 255));
            }
    return out;
}

using Filter = std::function<PackedDib(const PackedDib&)>;

} // namespace

TEST(Filters, EveryFilterLeavesItsInputAndRefusesOtherDepths) {
    const std::vector<Filter> all = {
        [](const PackedDib& d) { return BoxBlur(d, 5); },
        [](const PackedDib& d) { return GaussianBlur(d, 5); },
        [](const PackedDib& d) { return Sharpen(d, 200); },
        [](const PackedDib& d) { return Emboss(d, 128, 3, 45); },
        [](const PackedDib& d) { return Sunspot(d, 30, 60, 90); },
        [](const PackedDib& d) { return AdjustDIBBrightAndConstract(d, 40, -20, nullptr, 0); },
        [](const PackedDib& d) { return AdjustDIBHSL(d, 30, 20, -10, nullptr, 0); },
        [](const PackedDib& d) { return AdjustDIBRGB(d, 10, -20, 30, nullptr, 0); },
    };
    const PackedDib src = RandomImage(9, 7, 1);
    const PackedDib before = src.Clone();
    for (std::size_t i = 0; i < all.size(); ++i) {
        PackedDib out = all[i](src);
        ASSERT_TRUE(out.Is32()) << "filter " << i;
        EXPECT_EQ(out.Width(), 9);
        EXPECT_EQ(out.Height(), 7);
        EXPECT_FALSE(SameBytes(out, src)) << "filter " << i << " changed nothing";
        EXPECT_TRUE(SameBytes(src, before)) << "filter " << i << " wrote into its input";
        EXPECT_FALSE(all[i](PackedDib())) << "filter " << i;
        EXPECT_FALSE(all[i](CreateDIB(4, 4, 8))) << "filter " << i;
    }
}

TEST(Filters, BoxBlurMatchesTheWindowMeanAtEverySize) {
    for (unsigned seed : {2u, 3u}) {
        const PackedDib src = RandomImage(13, 9, seed);
        for (int size : {3, 5, 7, 9}) {
            SCOPED_TRACE(testing::Message() << "seed " << seed << " size " << size);
            EXPECT_TRUE(SameBytes(BoxBlur(src, size), ReferenceBox(src, size)));
        }
        // Even sizes step down, and the window never outgrows the image (9 rows here).
        EXPECT_TRUE(SameBytes(BoxBlur(src, 4), ReferenceBox(src, 3)));
        EXPECT_TRUE(SameBytes(BoxBlur(src, 50), ReferenceBox(src, 9)));
    }
}

TEST(Filters, BoxBlurSizesThatAverageNothing) {
    const PackedDib src = RandomImage(6, 5, 4);
    EXPECT_TRUE(SameBytes(BoxBlur(src, 1), src));
    EXPECT_TRUE(SameBytes(BoxBlur(src, 0), src));
    EXPECT_TRUE(SameBytes(BoxBlur(src, 2), BoxBlur(src, 3)));
    const PackedDib narrow = RandomImage(2, 5, 11);
    EXPECT_TRUE(SameBytes(BoxBlur(narrow, 50), ReferenceBox(narrow, 3)));
    const PackedDib column = RandomImage(1, 20, 5);
    EXPECT_TRUE(SameBytes(BoxBlur(column, 50), column));
}

TEST(Filters, FlatImagesStayFlat) {
    for (const auto& [b, g, r, a] :
         {std::array<int, 4>{0, 0, 0, 0}, {255, 255, 255, 255}, {7, 100, 201, 99}}) {
        PackedDib flat = CreateDIB(11, 8, 32);
        for (int y = 0; y < 8; ++y)
            for (int x = 0; x < 11; ++x)
                SetPx(flat, x, y, b, g, r, a);
        for (int size : {3, 8, 50}) {
            EXPECT_TRUE(SameBytes(BoxBlur(flat, size), flat)) << size;
            EXPECT_TRUE(SameBytes(GaussianBlur(flat, size), flat)) << size;
        }
        EXPECT_TRUE(SameBytes(Sharpen(flat, 255), flat));
    }
}

TEST(Filters, GaussianWeightsAndRenormalisedEdges) {
    // One row: the vertical pass has a single row to weigh, so only the horizontal one acts.
    PackedDib row = CreateDIB(3, 1, 32);
    SetPx(row, 0, 0, 0, 0, 0, 255);
    SetPx(row, 1, 0, 255, 0, 0, 255);
    SetPx(row, 2, 0, 0, 0, 0, 255);
    PackedDib g = GaussianBlur(row, 3);
    ASSERT_TRUE(g);
    const double e = std::exp(-4.5);
    EXPECT_EQ(Px(g, 1, 0)[0], static_cast<int>(255 / (1 + 2 * e))); // 249
    EXPECT_EQ(Px(g, 0, 0)[0], static_cast<int>(255 * e / (1 + e))); // 2, window cut at the edge
    EXPECT_EQ(Px(g, 2, 0)[0], Px(g, 0, 0)[0]);
    EXPECT_EQ(Px(g, 1, 0)[3], 255);

    const PackedDib src = RandomImage(12, 10, 6);
    // Sizes 1, 2 and 3 all use radius 1; larger sizes reach further.
    EXPECT_TRUE(SameBytes(GaussianBlur(src, 2), GaussianBlur(src, 3)));
    EXPECT_TRUE(SameBytes(GaussianBlur(src, 1), GaussianBlur(src, 3)));
    EXPECT_FALSE(SameBytes(GaussianBlur(src, 7), GaussianBlur(src, 3)));
    // The kernel is symmetric: blurring a mirrored image mirrors the blur.
    PackedDib mirrored = src.Clone();
    for (int y = 0; y < 10; ++y)
        for (int x = 0; x < 12; ++x)
            std::memcpy(mirrored.Pixel32(x, y), src.Pixel32(11 - x, y), 4);
    PackedDib a = GaussianBlur(src, 9), b = GaussianBlur(mirrored, 9);
    for (int y = 0; y < 10; ++y)
        for (int x = 0; x < 12; ++x)
            ASSERT_EQ(Px(a, x, y), Px(b, 11 - x, y)) << x << "," << y;
}

TEST(Filters, SharpenSteps) {
    PackedDib d = CreateDIB(3, 3, 32);
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 3; ++x)
            SetPx(d, x, y, 50, 50, 50, 50);
    SetPx(d, 1, 1, 100, 100, 100, 100);
    PackedDib s = Sharpen(d, 100);
    EXPECT_EQ(Px(s, 1, 1), (std::array<int, 4>{150, 150, 150, 150})); // alpha too
    EXPECT_EQ(Px(s, 0, 0)[0], 44); // (500 - 50) / 8 = 56 with edges repeated
    s = Sharpen(d, 200);
    EXPECT_EQ(Px(s, 1, 1)[0], 200);
    EXPECT_EQ(Px(s, 0, 0)[0], 38);
    s = Sharpen(d, 255);
    EXPECT_EQ(Px(s, 1, 1)[0], 200);

    const PackedDib src = RandomImage(10, 7, 7);
    EXPECT_TRUE(SameBytes(Sharpen(src, 50), src));
    EXPECT_TRUE(SameBytes(Sharpen(src, 100), Sharpen(src, 199)));
    EXPECT_TRUE(SameBytes(Sharpen(src, 100), ReferenceSharpen(src, 1)));
    EXPECT_TRUE(SameBytes(Sharpen(src, 255), ReferenceSharpen(src, 2)));
    const PackedDib dot = RandomImage(1, 1, 8);
    EXPECT_TRUE(SameBytes(Sharpen(dot, 255), dot));
}

TEST(Filters, EmbossComparesWithTheNeighbourInTheAngleDirection) {
    // Brightness sums that differ by multiples of 3 from the centre's, all distinct.
    PackedDib d = CreateDIB(3, 3, 32);
    int sum = 30;
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 3; ++x, sum += 9)
            SetPx(d, x, y, sum / 3, sum / 3, sum / 3, 77);
    auto sumAt = [&](int x, int y) { return 3 * Px(d, x, y)[0]; };
    const struct {
        int angle, nx, ny;
    } cases[] = {{0, 2, 1},   {360, 2, 1}, {90, 1, 0},  {180, 0, 1}, {270, 1, 2}, {10, 2, 1},
                 {30, 2, 0},  {330, 2, 1}, {60, 2, 0},  {100, 1, 0}, {135, 0, 1}, {224, 0, 0},
                 {240, 2, 2}, {300, 1, 2}, {-90, 1, 2}, {720, 2, 1}};
    for (const auto& c : cases) {
        PackedDib e = Emboss(d, 128, 1, c.angle);
        const int expected = 128 + (sumAt(1, 1) - sumAt(c.nx, c.ny)) / 3;
        EXPECT_EQ(Px(e, 1, 1), (std::array<int, 4>{expected, expected, expected, 77})) << "angle " << c.angle;
    }
    // Neighbours outside the image are clamped back onto it: the corner compares with itself.
    EXPECT_EQ(Px(Emboss(d, 128, 15, 0), 2, 0)[0], 128);
    // Weighted differences are clamped; fractions truncate towards zero.
    PackedDib two = CreateDIB(2, 1, 32);
    SetPx(two, 0, 0, 30, 30, 31);
    SetPx(two, 1, 0, 0, 0, 0);
    EXPECT_EQ(Px(Emboss(two, 128, 1, 0), 0, 0)[0], 158); // 128 + 91 / 3
    EXPECT_EQ(Px(Emboss(two, 128, 15, 0), 0, 0)[0], 255);
    EXPECT_EQ(Px(Emboss(two, 128, 1, 180), 1, 0)[0], 97); // 128 - 30.33
    EXPECT_EQ(Px(Emboss(two, 0, 1, 180), 1, 0)[0], 0);
    PackedDib flat = CreateSolidDIB(4, 4, RGB(90, 10, 200), 33);
    EXPECT_EQ(Px(Emboss(flat, 61, 9, 45), 2, 3), (std::array<int, 4>{61, 61, 61, 33}));
}

TEST(Filters, SunspotFallsOffToTheFarthestCorner) {
    PackedDib d = CreateSolidDIB(5, 5, RGB(0, 0, 0), 10);
    PackedDib s = Sunspot(d, 50, 50, 45);
    EXPECT_EQ(Px(s, 2, 2), (std::array<int, 4>{45, 45, 45, 10}));
    EXPECT_EQ(Px(s, 0, 2)[0], 22); // distance 4 of 8
    EXPECT_EQ(Px(s, 0, 0)[0], 0);
    EXPECT_EQ(Px(s, 4, 4)[0], 0);
    // Vertical positions count from the bottom: 100 is the top row.
    s = Sunspot(d, 0, 100, 45);
    EXPECT_EQ(Px(s, 0, 0)[2], 45);
    EXPECT_EQ(Px(s, 4, 4)[2], 0);
    s = Sunspot(d, 100, 0, 45);
    EXPECT_EQ(Px(s, 4, 4)[1], 45);
    // Clamped at white; a single pixel is its own centre and gets everything.
    EXPECT_EQ(Px(Sunspot(CreateSolidDIB(3, 3, RGB(250, 250, 250), 255), 50, 50, 255), 1, 1)[0], 255);
    EXPECT_EQ(Px(Sunspot(CreateSolidDIB(1, 1, RGB(1, 2, 3), 4), 50, 50, 100), 0, 0),
              (std::array<int, 4>{103, 102, 101, 4}));
    const PackedDib src = RandomImage(6, 4, 9);
    EXPECT_TRUE(SameBytes(Sunspot(src, 20, 80, 0), src));
}

TEST(ColourAdjust, ZeroChangesNothingAndAlphaIsKept) {
    const PackedDib src = RandomImage(16, 16, 10);
    EXPECT_TRUE(SameBytes(AdjustDIBBrightAndConstract(src, 0, 0, nullptr, 0), src));
    EXPECT_TRUE(SameBytes(AdjustDIBHSL(src, 0, 0, 0, nullptr, 0), src));
    EXPECT_TRUE(SameBytes(AdjustDIBRGB(src, 0, 0, 0, nullptr, 0), src));
    for (const PackedDib& out :
         {AdjustDIBBrightAndConstract(src, 100, 50, nullptr, 0), AdjustDIBHSL(src, 90, -50, 30, nullptr, 0),
          AdjustDIBRGB(src, 200, -200, 0, nullptr, 0)})
        for (int y = 0; y < 16; ++y)
            for (int x = 0; x < 16; ++x)
                ASSERT_EQ(Px(out, x, y)[3], Px(src, x, y)[3]);
    // 24-bit images keep their depth.
    PackedDib rgb24 = CreateDIB(3, 2, 24);
    rgb24.Row(0)[0] = 100;
    PackedDib b24 = AdjustDIBRGB(rgb24, 0, 0, 20, nullptr, 0);
    ASSERT_TRUE(b24);
    EXPECT_EQ(b24.BitCount(), 24);
    EXPECT_EQ(b24.Row(0)[0], 120);
    EXPECT_EQ(b24.Row(0)[3], 20);
}

TEST(ColourAdjust, BrightnessContrastAndOffsetsClampMonotonically) {
    PackedDib ramp = CreateDIB(256, 1, 32);
    for (int v = 0; v < 256; ++v)
        SetPx(ramp, v, 0, v, v, v);
    PackedDib prev;
    for (int b = -255; b <= 255; b += 15) {
        PackedDib out = AdjustDIBBrightAndConstract(ramp, b, 0, nullptr, 0);
        for (int v = 0; v < 256; ++v) {
            ASSERT_EQ(Px(out, v, 0)[0], std::clamp(v + b, 0, 255));
            if (prev) {
                ASSERT_GE(Px(out, v, 0)[0], Px(prev, v, 0)[0]);
            }
        }
        prev = std::move(out);
    }
    // More contrast pushes values away from mid-grey; the least leaves nearly one grey.
    PackedDib most = AdjustDIBBrightAndConstract(ramp, 0, 127, nullptr, 0);
    EXPECT_EQ(Px(most, 127, 0)[0], 0);
    EXPECT_EQ(Px(most, 129, 0)[0], 255);
    PackedDib least = AdjustDIBBrightAndConstract(ramp, 0, -127, nullptr, 0);
    EXPECT_EQ(Px(least, 0, 0)[0], 127);
    EXPECT_EQ(Px(least, 255, 0)[0], 129);
    PackedDib half = AdjustDIBBrightAndConstract(ramp, 0, 64, nullptr, 0);
    EXPECT_EQ(Px(half, 100, 0)[0], 72); // 128 + (100 - 128) * 2
    PackedDib rgb = AdjustDIBRGB(ramp, 255, -10, 5, nullptr, 0);
    EXPECT_EQ(Px(rgb, 5, 0), (std::array<int, 4>{10, 0, 255, 255}));
    EXPECT_EQ(Px(rgb, 252, 0), (std::array<int, 4>{255, 242, 255, 255}));
}

TEST(ColourAdjust, HueTurnsTheColourCircle) {
    PackedDib d = CreateDIB(4, 1, 32);
    SetPx(d, 0, 0, 0, 0, 255);     // red
    SetPx(d, 1, 0, 128, 128, 128); // grey
    SetPx(d, 2, 0, 0, 128, 0);     // dark green
    SetPx(d, 3, 0, 40, 80, 200);
    PackedDib h = AdjustDIBHSL(d, 120, 0, 0, nullptr, 0);
    EXPECT_EQ(Px(h, 0, 0), (std::array<int, 4>{0, 255, 0, 255}));
    EXPECT_EQ(Px(h, 1, 0), (std::array<int, 4>{128, 128, 128, 255}));
    EXPECT_EQ(Px(h, 2, 0), (std::array<int, 4>{128, 0, 0, 255})); // green to blue
    EXPECT_TRUE(SameBytes(AdjustDIBHSL(d, 180, 0, 0, nullptr, 0), AdjustDIBHSL(d, -180, 0, 0, nullptr, 0)));
    // Saturation: greys stay grey, -100 leaves only grey.
    PackedDib s = AdjustDIBHSL(d, 0, 100, 0, nullptr, 0);
    EXPECT_EQ(Px(s, 1, 0), (std::array<int, 4>{128, 128, 128, 255}));
    s = AdjustDIBHSL(d, 0, -100, 0, nullptr, 0);
    EXPECT_EQ(Px(s, 0, 0), (std::array<int, 4>{128, 128, 128, 255}));
    EXPECT_EQ(Px(s, 3, 0)[0], Px(s, 3, 0)[2]);
    // Lightness runs from black to white.
    PackedDib up = AdjustDIBHSL(d, 0, 0, 100, nullptr, 0), down = AdjustDIBHSL(d, 0, 0, -100, nullptr, 0);
    for (int x = 0; x < 4; ++x) {
        EXPECT_EQ(Px(up, x, 0), (std::array<int, 4>{255, 255, 255, 255}));
        EXPECT_EQ(Px(down, x, 0), (std::array<int, 4>{0, 0, 0, 255}));
    }
    PackedDib lighter = AdjustDIBHSL(d, 0, 0, 40, nullptr, 0);
    for (int c = 0; c < 3; ++c)
        EXPECT_GE(Px(lighter, 3, 0)[c], Px(d, 3, 0)[c]);
}

// The single-precision blur against the double-precision definition: random noise, smooth
// ramps and flat areas, images smaller than the window, every vector path.
TEST(Filters, GaussianBlurStaysWithinOneOfTheDoublePrecisionDefinition) {
    std::vector<PackedDib> images;
    images.push_back(RandomImage(67, 45, 21));
    images.push_back(RandomImage(5, 90, 22));
    images.push_back(RandomImage(1, 7, 23));
    PackedDib ramp = CreateDIB(120, 33, 32);
    for (int y = 0; y < 33; ++y)
        for (int x = 0; x < 120; ++x)
            SetPx(ramp, x, y, x * 2, y * 7, (x * y) & 255, x < 60 ? 255 : 3 * y);
    images.push_back(std::move(ramp));
    const SimdLevel was = ActiveSimd();
    for (std::size_t i = 0; i < images.size(); ++i) {
        const PackedDib& src = images[i];
        for (int size : {2, 3, 4, 9, 25, 50}) {
            const PackedDib want = detail::GaussianBlurReference(src, size);
            PackedDib first;
            for (SimdLevel level : {SimdLevel::Scalar, SimdLevel::Sse2, SimdLevel::Avx2}) {
                SetSimdLevel(level);
                PackedDib got = GaussianBlur(src, size);
                ASSERT_TRUE(got);
                int worst = 0;
                for (int y = 0; y < src.Height(); ++y)
                    for (int x = 0; x < src.Width() * 4; ++x)
                        worst = std::max(worst, std::abs(got.Row(y)[x] - want.Row(y)[x]));
                EXPECT_LE(worst, 1) << "image " << i << " size " << size << " " << SimdName(level);
                // Every vector path gives the same bytes.
                if (!first)
                    first = std::move(got);
                else
                    EXPECT_TRUE(SameBytes(first, got)) << "image " << i << " size " << size;
            }
        }
    }
    SetSimdLevel(was);
}

// The vector path of the HSL adjustment does the scalar path's double arithmetic lane by lane:
// a dense sample of the colour cube under turns, saturations and lightnesses of both signs, in
// 24 and 32 bits, gives the same bytes.
TEST(ColourAdjust, HslVectorPathMatchesTheScalarPath) {
    if (!detail::HslRowAvx2) GTEST_SKIP() << "no vector path in this build";
    const bool was = detail::HslVectorActive();
    detail::SetHslVector(true);
    if (!detail::HslVectorActive()) GTEST_SKIP() << "vector path switched off or unsupported";
    for (int bits : {32, 24}) {
        // 52^3 colours, every step of 5 plus the extremes; a width that leaves a tail.
        const int w = 53 * 7 + 3, h = (52 * 52 * 52 + w - 1) / w;
        PackedDib cube = CreateDIB(w, h, bits);
        const int step = bits / 8;
        int k = 0;
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x, ++k) {
                BYTE* p = cube.Row(y) + step * x;
                p[0] = static_cast<BYTE>(std::min(255, (k % 52) * 5));
                p[1] = static_cast<BYTE>(std::min(255, (k / 52 % 52) * 5));
                p[2] = static_cast<BYTE>(std::min(255, (k / 2704 % 52) * 5));
            }
        for (const auto& [hue, sat, light] : {std::array<int, 3>{90, 0, 0},
                                              {-180, 0, 0},
                                              {37, 55, -20},
                                              {-121, -100, 40},
                                              {1, 100, 100},
                                              {179, -37, -100},
                                              {0, 13, 0}}) {
            detail::SetHslVector(false);
            const PackedDib want = AdjustDIBHSL(cube, hue, sat, light, nullptr, 0);
            detail::SetHslVector(true);
            const PackedDib got = AdjustDIBHSL(cube, hue, sat, light, nullptr, 0);
            ASSERT_TRUE(SameBytes(got, want)) << bits << " bits, " << hue << " " << sat << " " << light;
        }
    }
    detail::SetHslVector(was);
}

namespace {

// FNV-1a over the size and the pixel bytes.
std::uint64_t Fingerprint(const PackedDib& d, std::uint64_t h = 14695981039346656037ull) {
    auto mix = [&](std::uint64_t v) {
        h ^= v;
        h *= 1099511628211ull;
    };
    mix(static_cast<std::uint64_t>(d.Width()));
    mix(static_cast<std::uint64_t>(d.Height()));
    for (int y = 0; y < d.Height(); ++y)
        for (int x = 0; x < 4 * d.Width(); ++x)
            mix(d.Row(y)[x]);
    return h;
}

} // namespace

// Box blur, sharpen, emboss and sunspot are cut into bands of rows and spread over threads. On
// any number of threads, and with a watch counting their progress, they give the bytes they gave
// when they ran on one thread row after row (the fingerprints below were taken from that version):
// random pixels with alpha, single rows and columns, images smaller than the window, images cut
// into many bands.
TEST(Filters, BandedFiltersGiveTheOneThreadBytesOnAnyNumberOfThreads) {
    const std::vector<PackedDib> images = [] {
        std::vector<PackedDib> v;
        unsigned seed = 40;
        for (const auto& [w, h] : {std::array<int, 2>{1, 1},
                                   {1, 300},
                                   {300, 1},
                                   {2, 3},
                                   {5, 4},
                                   {300, 200},
                                   {257, 131},
                                   {37, 700},
                                   {1100, 60}})
            v.push_back(RandomImage(w, h, seed++));
        return v;
    }();
    struct Case {
        const char* name;
        Filter run;
        std::uint64_t golden;
    };
    const Case cases[] = {
        {"box 2", [](const PackedDib& d) { return BoxBlur(d, 2); }, 0x0672a4d9f6dc1aa4ull},
        {"box 3", [](const PackedDib& d) { return BoxBlur(d, 3); }, 0x0672a4d9f6dc1aa4ull},
        {"box 5", [](const PackedDib& d) { return BoxBlur(d, 5); }, 0xd73ce5f08c61e4a4ull},
        {"box 8", [](const PackedDib& d) { return BoxBlur(d, 8); }, 0x18766ce5bf40797bull},
        {"box 50", [](const PackedDib& d) { return BoxBlur(d, 50); }, 0x798d2e8f636086faull},
        {"box 101", [](const PackedDib& d) { return BoxBlur(d, 101); }, 0xec24f7f8df6603f2ull},
        {"sharpen 100", [](const PackedDib& d) { return Sharpen(d, 100); }, 0xee532945863c96d6ull},
        {"sharpen 255", [](const PackedDib& d) { return Sharpen(d, 255); }, 0x95b906f87e0e9986ull},
        {"emboss 45", [](const PackedDib& d) { return Emboss(d, 128, 3, 45); }, 0x52d9a05714440874ull},
        {"emboss 200", [](const PackedDib& d) { return Emboss(d, 0, 15, 200); }, 0xf34e76e6ea9d606dull},
        {"emboss 300", [](const PackedDib& d) { return Emboss(d, 200, 1, 300); }, 0x95ede44098c2149eull},
        {"sunspot up", [](const PackedDib& d) { return Sunspot(d, 30, 60, 90); }, 0x49349e9b27eabefcull},
        {"sunspot down", [](const PackedDib& d) { return Sunspot(d, 100, 0, -120); }, 0x190e22479e2aa7edull},
        {"sunspot full", [](const PackedDib& d) { return Sunspot(d, 50, 50, 255); }, 0x33fc498573a6e8a0ull},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        for (int threads : {1, 2, 4}) {
            SetParallelThreads(threads);
            for (bool watched : {false, true}) {
                // A watch makes even one thread work in pieces.
                ParallelWatch watch;
                ParallelWatchScope scope(watched ? &watch : nullptr);
                std::uint64_t h = 14695981039346656037ull;
                for (std::size_t i = 0; i < images.size(); ++i) {
                    watch.RestartCount();
                    const PackedDib out = c.run(images[i]);
                    ASSERT_TRUE(out) << "image " << i;
                    h = Fingerprint(out, h);
                    // Whatever changes pixels counts its work up to the whole.
                    if (watched && !SameBytes(out, images[i])) {
                        EXPECT_EQ(watch.Fraction(), 1.0) << "image " << i;
                    }
                }
                EXPECT_EQ(h, c.golden)
                    << threads << " threads" << (watched ? ", watched" : "") << " 0x" << std::hex << h;
            }
        }
    }
    SetParallelThreads(0);
}

// A preview of a 12 MP photo that is no longer wanted stops part-way: once its watch is cancelled
// no further band starts. One not cancelled counts up to the whole image and changes nothing.
TEST(Filters, CancelledWatchStopsABoxBlurOfAPhotoEarly) {
    PackedDib photo = CreateDIB(4000, 3000, 32);
    ASSERT_TRUE(photo);
    for (int y = 0; y < 3000; ++y)
        for (int x = 0; x < 4000 * 4; ++x)
            photo.Row(y)[x] = static_cast<BYTE>(x * 7 + y * 13 + (x >> 5));
    SetParallelThreads(1);
    PackedDib want;
    {
        ParallelWatch watch;
        ParallelWatchScope scope(&watch);
        want = BoxBlur(photo, 25);
        ASSERT_TRUE(want);
        EXPECT_EQ(watch.Fraction(), 1.0);
    }
    EXPECT_TRUE(SameBytes(want, BoxBlur(photo, 25)));

    for (int threads : {1, 2}) {
        SetParallelThreads(threads);
        ParallelWatch watch;
        std::atomic<bool> finished{false};
        // Cancels as soon as the first band is counted.
        std::thread stopper([&] {
            while (watch.Fraction() == 0 && !finished.load())
                std::this_thread::yield();
            watch.Cancel();
        });
        {
            ParallelWatchScope scope(&watch);
            PackedDib out = BoxBlur(photo, 25);
        }
        finished = true;
        stopper.join();
        EXPECT_GT(watch.Fraction(), 0.0) << threads;
        EXPECT_LT(watch.Fraction(), 0.5) << threads << " threads: the blur ran on after the cancel";
    }
    SetParallelThreads(0);
}
