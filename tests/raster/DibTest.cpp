#include "raster/Dib.h"

#include <gtest/gtest.h>

using namespace zepho;

TEST(Dib, CreateAndDuplicate) {
    PackedDib d = CreateDIB(3, 2, 8, 16);
    ASSERT_TRUE(d);
    EXPECT_EQ(d.Header()->biClrUsed, 16u);
    EXPECT_EQ(CreateDIB(3, 2, 24, 16).Header()->biClrUsed, 0u);
    GetDIBBits(d)[0] = 9;
    PackedDib c = DuplicateDIB(d);
    ASSERT_TRUE(c);
    EXPECT_EQ(GetDIBBits(c)[0], 9);
    EXPECT_NE(GetDIBBits(c), GetDIBBits(d));
    EXPECT_FALSE(DuplicateDIB(PackedDib()));
}

TEST(Dib, ConvertTo32EveryDepth) {
    // 16-bit 5-6-5 through masks: low bits are not filled.
    PackedDib d16 = PackedDib::Create(2, 1, 16, 0, BI_BITFIELDS);
    d16.Masks()[0] = 0xF800;
    d16.Masks()[1] = 0x07E0;
    d16.Masks()[2] = 0x001F;
    d16.Row(0)[0] = 0xFF;
    d16.Row(0)[1] = 0xFF;
    d16.Row(0)[2] = 0x1F; // pure blue
    PackedDib c16 = ConvertTo32(d16);
    ASSERT_TRUE(c16);
    const BYTE* p = c16.Pixel32(0, 0);
    EXPECT_EQ(p[0], 248);
    EXPECT_EQ(p[1], 252);
    EXPECT_EQ(p[2], 248);
    EXPECT_EQ(p[3], 255);
    EXPECT_EQ(c16.Pixel32(1, 0)[0], 248);
    EXPECT_EQ(c16.Pixel32(1, 0)[2], 0);

    // Masks in another order read from where they lie: red lowest here.
    PackedDib swapped = PackedDib::Create(1, 1, 16, 0, BI_BITFIELDS);
    swapped.Masks()[0] = 0x001F;
    swapped.Masks()[1] = 0x03E0;
    swapped.Masks()[2] = 0x7C00;
    swapped.Row(0)[0] = 0x1F; // red 31
    PackedDib cs = ConvertTo32(swapped);
    EXPECT_EQ(cs.Pixel32(0, 0)[2], 248);
    EXPECT_EQ(cs.Pixel32(0, 0)[0], 0);

    // Plain 16-bit is 5-5-5.
    PackedDib d555 = CreateDIB(1, 1, 16);
    d555.Row(0)[0] = 0x00;
    d555.Row(0)[1] = 0x7C; // red 31
    EXPECT_EQ(ConvertTo32(d555).Pixel32(0, 0)[2], 248);

    // Palette depths read the colour table; rows are bottom-up.
    PackedDib d4 = CreateDIB(3, 2, 4, 2);
    d4.ColorTable()[1] = RGBQUAD{1, 2, 3, 0};
    d4.Row(1)[0] = 0x01; // second pixel of the bottom row
    PackedDib c4 = ConvertTo32(d4);
    EXPECT_EQ(c4.Pixel32(1, 1)[2], 3);
    EXPECT_EQ(c4.Pixel32(0, 1)[2], 0);
    EXPECT_EQ(c4.Pixel32(1, 0)[2], 0);

    PackedDib d24 = CreateDIB(2, 1, 24);
    d24.Row(0)[3] = 7;
    d24.Row(0)[5] = 9;
    PackedDib c24 = ConvertTo32(d24);
    EXPECT_EQ(c24.Pixel32(1, 0)[0], 7);
    EXPECT_EQ(c24.Pixel32(1, 0)[2], 9);
}

TEST(Dib, ConvertTo32MaskBitSetMeansTransparent) {
    PackedDib img = CreateDIB(10, 2, 24);
    PackedDib mask = CreateDIB(10, 2, 1);
    mask.Row(0)[0] = 0x80; // (0, 0)
    mask.Row(1)[1] = 0x40; // (9, 1)
    PackedDib c = ConvertTo32(img, &mask);
    ASSERT_TRUE(c);
    EXPECT_EQ(c.Pixel32(0, 0)[3], 0);
    EXPECT_EQ(c.Pixel32(1, 0)[3], 255);
    EXPECT_EQ(c.Pixel32(9, 1)[3], 0);
    EXPECT_EQ(c.Pixel32(8, 1)[3], 255);
    PackedDib wrong = CreateDIB(9, 2, 1);
    EXPECT_FALSE(ConvertTo32(img, &wrong));
}

TEST(Dib, SolidSilhouetteAlphaRect) {
    PackedDib s = CreateSolidDIB(3, 2, RGB(10, 20, 30), 40);
    const BYTE* p = s.Pixel32(2, 1);
    EXPECT_EQ(p[0], 30);
    EXPECT_EQ(p[2], 10);
    EXPECT_EQ(p[3], 40);
    s.Pixel32(1, 0)[3] = 99;
    PackedDib sil = MakeSilhouette(s, RGB(1, 2, 3));
    EXPECT_EQ(sil.Pixel32(1, 0)[3], 99);
    EXPECT_EQ(sil.Pixel32(1, 0)[0], 3);
    FillAlphaRect(s, RECT{-5, 1, 2, 10}, 7);
    EXPECT_EQ(s.Pixel32(0, 1)[3], 7);
    EXPECT_EQ(s.Pixel32(2, 1)[3], 40);
    EXPECT_EQ(s.Pixel32(0, 0)[3], 40);
    EXPECT_EQ(s.Pixel32(0, 1)[0], 30);
    EXPECT_TRUE(IsOpaqueAt(s, {0, 0}));
    EXPECT_FALSE(IsOpaqueAt(s, {3, 0}));
    EXPECT_FALSE(IsOpaqueAt(CreateTransparentDIB(2, 2), {0, 0}));
}

TEST(Dib, OpaqueBoundsAndCrop) {
    PackedDib empty = CreateTransparentDIB(10, 8);
    EXPECT_EQ(FindOpaqueBounds(empty), (Margins{8, 10, 10, 8}));
    EXPECT_FALSE(CropDIB(empty, 10, 8, 10, 8));

    PackedDib one = CreateTransparentDIB(10, 10);
    one.Pixel32(3, 2)[3] = 1;
    one.Pixel32(3, 2)[0] = 42;
    const Margins m = FindOpaqueBounds(one);
    EXPECT_EQ(m, (Margins{2, 3, 6, 7}));
    PackedDib c = CropDIB(one, m.left, m.top, m.right, m.bottom);
    ASSERT_TRUE(c);
    EXPECT_EQ(c.Width(), 1);
    EXPECT_EQ(c.Height(), 1);
    EXPECT_EQ(c.Pixel32(0, 0)[0], 42);

    // Left/right only look at rows from top down; bottom only between left and right.
    PackedDib l = CreateTransparentDIB(6, 5);
    l.Pixel32(1, 1)[3] = 9;
    l.Pixel32(4, 3)[3] = 9;
    EXPECT_EQ(FindOpaqueBounds(l), (Margins{1, 1, 1, 1}));
    PackedDib crop = CropDIB(l, 1, 1, 1, 1);
    EXPECT_EQ(crop.Width(), 4);
    EXPECT_EQ(crop.Pixel32(3, 2)[3], 9);
}

TEST(Dib, CheckerboardAlignment) {
    PackedDib d = CreateSolidDIB(20, 20, RGB(1, 1, 1), 77);
    DrawCheckerboard(d, RGB(255, 255, 255), RGB(212, 212, 212), 3, 5);
    auto grey = [&](int x, int y) { return d.Pixel32(x, y)[0] == 212; };
    EXPECT_FALSE(grey(0, 0));
    EXPECT_FALSE(grey(4, 2)); // x + 3 = 7, y + 5 = 7: still square (0, 0)
    EXPECT_TRUE(grey(5, 0));  // x + 3 = 8
    EXPECT_TRUE(grey(0, 3));  // y + 5 = 8
    EXPECT_FALSE(grey(5, 3));
    EXPECT_TRUE(grey(13, 19)); // squares (2, 3)
    EXPECT_EQ(d.Pixel32(7, 7)[3], 77);
    // Bands copied from their first row keep the pattern on every row.
    for (int y = 3; y < 11; ++y) EXPECT_TRUE(grey(0, y)) << y;
}

TEST(Dib, DashedRectPattern) {
    PackedDib d = CreateSolidDIB(12, 10, RGB(100, 100, 100), 255);
    DrawDashedRect(d, {0, 0}, RECT{0, 0, 10, 8});
    auto v = [&](int x, int y) { return d.Pixel32(x, y)[1]; };
    // Top and bottom rows: white for k mod 6 < 3, black otherwise, up to but not including x2.
    EXPECT_EQ(v(1, 0), 255);
    EXPECT_EQ(v(3, 0), 0);
    EXPECT_EQ(v(6, 0), 255);
    EXPECT_EQ(v(8, 7), 255);
    EXPECT_EQ(v(5, 7), 0);
    // Left and right columns: black first; the vertical edges own the top corners.
    EXPECT_EQ(v(0, 0), 0);
    EXPECT_EQ(v(9, 0), 0);
    EXPECT_EQ(v(0, 4), 255);
    EXPECT_EQ(v(9, 6), 0);
    EXPECT_EQ(v(0, 7), 255);  // drawn by the bottom row only
    EXPECT_EQ(v(9, 7), 100);  // the far corner is never drawn
    EXPECT_EQ(v(5, 4), 100);
    EXPECT_EQ(d.Pixel32(3, 0)[3], 255);
    // An origin shifts the rectangle; parts outside are clipped.
    PackedDib e = CreateSolidDIB(4, 4, RGB(100, 100, 100), 255);
    DrawDashedRect(e, {10, 10}, RECT{8, 8, 13, 13});
    EXPECT_EQ(e.Pixel32(0, 2)[0], 255); // (10, 12): bottom row, k = 2
    EXPECT_EQ(e.Pixel32(2, 0)[0], 0);   // (12, 10): right column, k = 2
    EXPECT_EQ(e.Pixel32(2, 1)[0], 255); // (12, 11): right column, k = 3
    EXPECT_EQ(e.Pixel32(2, 2)[0], 100); // (12, 12): the far corner
}
