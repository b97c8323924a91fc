#include "common/DumpPng.h"
#include "extlib/VorRender.h"
#include "extlib/VorTestUtil.h"

#include <gtest/gtest.h>

#include <cmath>
#include <set>

namespace zepho {
namespace {

using test::At;
using test::Paint;
using test::Px;
using test::Solid;

constexpr COLORREF kWhite = RGB(255, 255, 255);

// Anti-aliased edges onto a transparent target keep the exact colour; only alpha is partial.
TEST(VorShape, EdgesOnTransparentTargetKeepTheExactColour) {
    for (COLORREF colour : {RGB(255, 0, 0), RGB(200, 100, 50), RGB(3, 250, 129)}) {
        PackedDib dib = Solid(64, 64, kWhite, 0);
        ASSERT_TRUE(
            FillShape(dib, test::Ellipse(32, 32, 21.3, 17.7), CVorTransMatrix(), Paint(0, colour), 1));
        test::DumpPng("shape_edge_colour", dib);
        int partial = 0, opaque = 0;
        for (int y = 0; y < 64; ++y)
            for (int x = 0; x < 64; ++x) {
                const Px p = At(dib, x, y);
                if (p.a == 0) {
                    EXPECT_EQ(p.r + p.g + p.b, 3 * 255) << "untouched pixels stay white";
                    continue;
                }
                partial += p.a < 255;
                opaque += p.a == 255;
                ASSERT_EQ(RGB(p.r, p.g, p.b), colour) << x << "," << y << " alpha " << p.a;
            }
        EXPECT_GT(partial, 40);
        EXPECT_NEAR(opaque, 3.14159 * 21.3 * 17.7, 80);
    }
}

TEST(VorShape, PartialCoverageBlendsOverAnOpaqueTarget) {
    PackedDib dib = Solid(8, 8, RGB(0, 0, 255), 255);
    // Covers half of column 2.
    ASSERT_TRUE(FillShape(dib, test::Box(2.5, 0, 6, 8), CVorTransMatrix(), Paint(0, RGB(255, 0, 0)), 1));
    const Px edge = At(dib, 2, 4);
    EXPECT_EQ(edge.a, 255);
    EXPECT_NEAR(edge.r, 128, 2);
    EXPECT_NEAR(edge.b, 127, 2);
    EXPECT_EQ(At(dib, 4, 4).r, 255);
    EXPECT_EQ(At(dib, 1, 4).b, 255);
}

TEST(VorShape, MatrixPlacesThePathAndFillRuleDecidesOverlaps) {
    // Two nested squares of the same winding: non-zero fills the inner one, even-odd cuts it out.
    CVorPath nested = test::Box(0, 0, 20, 20);
    CVorPath inner = test::Box(5, 5, 15, 15);
    nested.concat_path(inner);

    CVorTransMatrix move = CVorTransMatrix::Translation(10, 10);
    PackedDib nonZero = Solid(40, 40, kWhite, 0);
    PackedDib evenOdd = Solid(40, 40, kWhite, 0);
    FillShape(nonZero, nested, move, Paint(0, RGB(0, 0, 0)), 1);
    FillShape(evenOdd, nested, move, Paint(0, RGB(0, 0, 0)), 0);
    EXPECT_EQ(At(nonZero, 20, 20).a, 255);
    EXPECT_EQ(At(evenOdd, 20, 20).a, 0);
    EXPECT_EQ(At(evenOdd, 12, 12).a, 255);
    EXPECT_EQ(At(nonZero, 5, 5).a, 0); // moved away from the origin
}

TEST(VorShape, ModeZeroUsesFillColourForFillsAndStrokeColourForStrokes) {
    const _TEXTFILLMODE paint = Paint(RGB(10, 20, 30), RGB(200, 150, 100));
    PackedDib dib = Solid(60, 60, kWhite, 0);
    const CVorPath box = test::Box(10, 10, 50, 50);
    ASSERT_TRUE(FillShape(dib, box, CVorTransMatrix(), paint, 1));
    ASSERT_TRUE(StrokeShape(dib, box, CVorTransMatrix(), 4, paint, 0));
    test::DumpPng("shape_fill_and_stroke", dib);
    const Px inside = At(dib, 30, 30), onEdge = At(dib, 10, 30), corner = At(dib, 9, 9);
    EXPECT_EQ(RGB(inside.r, inside.g, inside.b), paint.color2);
    EXPECT_EQ(RGB(onEdge.r, onEdge.g, onEdge.b), paint.color1);
    EXPECT_EQ(corner.a, 255) << "mitred corner";
    EXPECT_EQ(At(dib, 7, 30).a, 0); // half of 4 pixels each side
    EXPECT_EQ(At(dib, 8, 30).a, 255);
}

TEST(VorShape, StrokeRefusesUnusableWidthsAndMatrices) {
    PackedDib dib = Solid(10, 10, kWhite, 0);
    PackedDib before = dib.Clone();
    const CVorPath box = test::Box(1, 1, 9, 9);
    EXPECT_FALSE(StrokeShape(dib, box, CVorTransMatrix(), 0, Paint(0, 0), 0));
    EXPECT_FALSE(StrokeShape(dib, box, CVorTransMatrix(), NAN, Paint(0, 0), 0));
    EXPECT_FALSE(FillShape(dib, box, CVorTransMatrix::Scaling(0, 1), Paint(0, 0), 1));
    PackedDib eightBit = PackedDib::Create(10, 10, 8);
    EXPECT_FALSE(FillShape(eightBit, box, CVorTransMatrix(), Paint(0, 0), 1));
    EXPECT_TRUE(test::SameBytes(dib, before));
}

TEST(VorShape, HostileVerticesNeitherCrashNorHang) {
    PackedDib dib = Solid(50, 50, kWhite, 0);
    CVorPath path;
    path.move_to(5, 5);
    path.line_to(NAN, 3);
    path.line_to(1e300, -1e300);
    path.line_to(45, 45);
    path.line_to(5, 45);
    path.close_polygon();
    EXPECT_TRUE(FillShape(dib, path, CVorTransMatrix(), Paint(0, 0), 1));
    EXPECT_TRUE(StrokeShape(dib, path, CVorTransMatrix::Scaling(1e6, 1e6), 3, Paint(0, 0), 1));
    EXPECT_TRUE(FillShape(dib, CVorPath(), CVorTransMatrix(), Paint(0, 0), 1)); // empty path
}

TEST(VorShape, FillModesBlendAcrossThePathsBox) {
    const COLORREF c1 = RGB(255, 0, 0), c2 = RGB(0, 0, 255);
    const CVorPath box = test::Box(0, 0, 100, 60);
    std::set<std::vector<BYTE>> distinct;
    PackedDib modes[6];
    for (int mode = 0; mode <= 5; ++mode) {
        modes[mode] = Solid(100, 60, kWhite, 0);
        ASSERT_TRUE(FillShape(modes[mode], box, CVorTransMatrix(), Paint(c1, c2, WORD(mode)), 1));
        test::DumpPng("fill_mode_" + std::to_string(mode), modes[mode]);
        distinct.insert(std::vector<BYTE>(modes[mode].Data(), modes[mode].Data() + modes[mode].Size()));
    }
    EXPECT_EQ(distinct.size(), 6u);
    const auto red = [&](int mode, int x, int y) { return At(modes[mode], x, y).r; };
    EXPECT_GT(red(1, 0, 30), 250); // horizontal: colour 1 at the left
    EXPECT_LT(red(1, 99, 30), 5);  // colour 2 at the right
    EXPECT_EQ(red(1, 50, 0), red(1, 50, 59));
    EXPECT_GT(red(2, 50, 0), 250); // vertical
    EXPECT_LT(red(2, 50, 59), 5);
    EXPECT_GT(red(3, 0, 0), 250); // diagonal
    EXPECT_LT(red(3, 99, 59), 5);
    EXPECT_NEAR(red(3, 99, 0), red(3, 0, 59), 8);
    EXPECT_GT(red(4, 50, 30), 245); // radial from the centre
    EXPECT_LT(red(4, 99, 30), 10);
    EXPECT_GT(red(5, 0, 30), 250); // mirrored: colour 1 at both sides, colour 2 in the middle
    EXPECT_GT(red(5, 99, 30), 245);
    EXPECT_LT(red(5, 50, 30), 8);

    // The blend turns with the shape: a quarter turn puts colour 1 at the top.
    PackedDib turned = Solid(60, 100, kWhite, 0);
    CVorTransMatrix m = CVorTransMatrix::Rotation(3.141592653589793 / 2);
    m.Multiply(CVorTransMatrix::Translation(60, 0));
    ASSERT_TRUE(FillShape(turned, box, m, Paint(c1, c2, 1), 1));
    EXPECT_GT(At(turned, 30, 0).r, 250);
    EXPECT_LT(At(turned, 30, 99).r, 5);

    // Unknown modes paint like mode 0.
    PackedDib unknown = Solid(100, 60, kWhite, 0);
    FillShape(unknown, box, CVorTransMatrix(), Paint(c1, c2, 77), 1);
    EXPECT_TRUE(test::SameBytes(unknown, modes[0]));
}

} // namespace
} // namespace zepho
