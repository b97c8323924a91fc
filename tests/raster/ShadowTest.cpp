#include "raster/Shadow.h"
#include "common/DumpPng.h"
#include "raster/Dib.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

namespace zepho {
namespace {

constexpr COLORREF kShadow = RGB(20, 30, 40);

// An opaque ellipse-ish blob on transparency, so that silhouettes have a shape.
PackedDib Blob(int w, int h) {
    PackedDib dib = CreateSolidDIB(w, h, RGB(200, 10, 10), 0);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const double u = (x + 0.5) / w * 2 - 1, v = (y + 0.5) / h * 2 - 1;
            if (u * u + v * v < 1) dib.Pixel32(x, y)[3] = 255;
        }
    return dib;
}

long AlphaSum(const PackedDib& d) {
    long s = 0;
    for (int y = 0; y < d.Height(); ++y)
        for (int x = 0; x < d.Width(); ++x)
            s += d.Pixel32(x, y)[3];
    return s;
}

bool AllShadowColour(const PackedDib& d) {
    for (int y = 0; y < d.Height(); ++y)
        for (int x = 0; x < d.Width(); ++x) {
            const BYTE* p = d.Pixel32(x, y);
            if (p[0] != GetBValue(kShadow) || p[1] != GetGValue(kShadow) || p[2] != GetRValue(kShadow))
                return false;
        }
    return true;
}

TEST(Shadow, FlatCanvasSizes) {
    struct Case {
        int w, h;
        double z;
        int b;
        int cw, ch;
    } cases[] = {
        {100, 50, 1.0, 10, 120, 70},  {101, 51, 0.5, 3, 57, 32}, // 50.5 and 25.5 round up
        {33, 40, 1.5, 0, 50, 60},                                // 49.5 rounds up
        {40, 30, 2.0, 150, 380, 360}, {3, 3, 0.01, 1, 2, 2},
    };
    for (const Case& c : cases) {
        const PackedDib s = MakeFlatShadow(Blob(c.w, c.h), kShadow, c.z, c.b);
        ASSERT_TRUE(s.Is32()) << c.w << "x" << c.h;
        EXPECT_EQ(s.Width(), c.cw) << c.w << "x" << c.h << " z " << c.z << " b " << c.b;
        EXPECT_EQ(s.Height(), c.ch) << c.w << "x" << c.h << " z " << c.z << " b " << c.b;
        EXPECT_TRUE(AllShadowColour(s));
    }
    EXPECT_FALSE(MakeFlatShadow(PackedDib(), kShadow, 1, 10));
    EXPECT_FALSE(MakeFlatShadow(Blob(10, 10), kShadow, NAN, 10));
    EXPECT_FALSE(MakeFlatShadow(Blob(10, 10), kShadow, 0, 0)); // nothing left
    EXPECT_FALSE(MakeFlatShadow(Blob(10, 10), kShadow, 1e12, 0));
}

TEST(Shadow, FlatWithoutBlurIsTheSilhouette) {
    const PackedDib blob = Blob(31, 17);
    const PackedDib s = MakeFlatShadow(blob, kShadow, 1.0, 0);
    const PackedDib silhouette = MakeSilhouette(blob, kShadow);
    ASSERT_EQ(s.Size(), silhouette.Size());
    EXPECT_EQ(std::memcmp(s.Data(), silhouette.Data(), s.Size()), 0);
}

TEST(Shadow, FlatShadowScalesIntoItsMarginAndBlurs) {
    const PackedDib blob = Blob(80, 60);
    const PackedDib s = MakeFlatShadow(blob, kShadow, 0.5, 8);
    test::DumpPng("shadow_flat", s);
    ASSERT_TRUE(s.Is32());
    EXPECT_NEAR(AlphaSum(s), AlphaSum(blob) * 0.25, AlphaSum(blob) * 0.25 * 0.05);
    EXPECT_EQ(s.Pixel32(0, 0)[3], 0);
    EXPECT_GT(s.Pixel32(s.Width() / 2, s.Height() / 2)[3], 240);
    EXPECT_GT(s.Pixel32(4, s.Height() / 2)[3], 0); // the blur reaches into the margin
}

TEST(Shadow, PerspectiveCanvasSizes) {
    const PackedDib blob = Blob(100, 50);
    // U = sin 30 * 0.8 * 50 = 20, V = cos 30 * 0.8 * 50 = 34.64
    PackedDib s = MakePerspectiveShadow(blob, 6, kShadow, 1.0, 10, 30, 80);
    EXPECT_EQ(s.Width(), 154);
    EXPECT_EQ(s.Height(), 40);
    s = MakePerspectiveShadow(blob, 9, kShadow, 2.0, 0, 30, 80);
    EXPECT_EQ(s.Width(), 234);
    EXPECT_EQ(s.Height(), 20);
    s = MakePerspectiveShadow(blob, 7, kShadow, 0.5, 0, 0, 80); // no skew: flat, one pixel high
    ASSERT_TRUE(s.Is32());
    EXPECT_EQ(s.Width(), 140);
    EXPECT_EQ(s.Height(), 1);
    EXPECT_EQ(AlphaSum(s), 0);
    EXPECT_TRUE(AllShadowColour(s));
    EXPECT_FALSE(MakePerspectiveShadow(blob, 5, kShadow, 1.0, 0, 30, 80));
    EXPECT_FALSE(MakePerspectiveShadow(blob, 10, kShadow, 1.0, 0, 30, 80));
}

TEST(Shadow, PerspectiveLaysTheObjectDownTheRightWay) {
    // Top half opaque, bottom half clear: types 6 and 7 keep the top far (at the canvas top),
    // 8 and 9 fold it toward the viewer (canvas bottom).
    PackedDib half = CreateSolidDIB(60, 60, RGB(1, 2, 3), 0);
    for (int y = 0; y < 30; ++y)
        for (int x = 0; x < 60; ++x)
            half.Pixel32(x, y)[3] = 255;
    for (int type = 6; type <= 9; ++type) {
        const PackedDib s = MakePerspectiveShadow(half, type, kShadow, 1.0, 0, 45, 100);
        ASSERT_TRUE(s.Is32());
        test::DumpPng("shadow_perspective_" + std::to_string(type), s);
        EXPECT_TRUE(AllShadowColour(s));
        const int cx = s.Width() / 2;
        const BYTE top = s.Pixel32(cx, 1)[3], bottom = s.Pixel32(cx, s.Height() - 2)[3];
        if (type <= 7) {
            EXPECT_EQ(top, 255) << type;
            EXPECT_EQ(bottom, 0) << type;
        } else {
            EXPECT_EQ(top, 0) << type;
            EXPECT_EQ(bottom, 255) << type;
        }
        // The far edge leans left for 6 and 8, right for 7 and 9.
        const int farRow = type <= 7 ? 1 : s.Height() - 2;
        const bool leftFar = s.Pixel32(3, farRow)[3] != 0;
        EXPECT_EQ(leftFar, type == 6 || type == 8) << type;
    }
}

} // namespace
} // namespace zepho
