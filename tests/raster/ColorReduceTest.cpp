#include "raster/ColorReduce.h"

#include "raster/Dib.h"

#include <gtest/gtest.h>

#include <cstring>
#include <initializer_list>

using namespace zepho;

namespace {

void Put24(PackedDib& d, int x, int y, BYTE r, BYTE g, BYTE b) {
    BYTE* p = d.Row(y) + 3 * x;
    p[0] = b, p[1] = g, p[2] = r;
}

void PutGray32(PackedDib& d, int x, int y, BYTE v) {
    BYTE* p = d.Pixel32(x, y);
    p[0] = p[1] = p[2] = v;
}

int IndexAt(const PackedDib& d, int x, int y) {
    const BYTE* row = d.Row(y);
    if (d.BitCount() == 1) return (row[x >> 3] >> (7 - (x & 7))) & 1;
    if (d.BitCount() == 4) return (x & 1) ? (row[x >> 1] & 15) : (row[x >> 1] >> 4);
    return row[x];
}

void SetIndex(PackedDib& d, int x, int y, int v) {
    BYTE* row = d.Row(y);
    if (d.BitCount() == 1)
        row[x >> 3] = static_cast<BYTE>((row[x >> 3] & ~(0x80 >> (x & 7))) | ((v & 1) << (7 - (x & 7))));
    else if (d.BitCount() == 4)
        row[x >> 1] = static_cast<BYTE>((x & 1) ? (row[x >> 1] & 0xF0) | v : (row[x >> 1] & 0x0F) | (v << 4));
    else
        row[x] = static_cast<BYTE>(v);
}

unsigned Pixel16(const PackedDib& d, int x) {
    return d.Row(0)[2 * x] | (d.Row(0)[2 * x + 1] << 8);
}

bool SameBytes(const PackedDib& a, const PackedDib& b) {
    return a && b && a.Size() == b.Size() && std::memcmp(a.Data(), b.Data(), a.Size()) == 0;
}

struct RecordingProgress : IProgress {
    std::vector<int> positions;
    int pumps = 0;
    void SetText(const std::string&) override {}
    void SetPos(int p) override { positions.push_back(p); }
    void Pump() override { ++pumps; }
};

// n distinct colours row by row from the top-left of a 16-wide image, the rest colour 0.
PackedDib Distinct24(int n) {
    PackedDib d = CreateDIB(16, (n + 15) / 16, 24);
    for (int i = 0; i < 16 * d.Height(); ++i)
        Put24(d, i % 16, i / 16, i < n ? static_cast<BYTE>(i) : 0, i < n ? static_cast<BYTE>(i >> 8) : 0, 77);
    return d;
}

} // namespace

TEST(ColorReduce, TrueColourFormulasAndProgress) {
    PackedDib d32 = CreateDIB(1, 1, 32);
    BYTE* p = d32.Pixel32(0, 0);
    p[0] = 18, p[1] = 52, p[2] = 86, p[3] = 0;
    PackedDib d24 = ConvertTo24(d32);
    ASSERT_TRUE(d24);
    EXPECT_EQ(std::memcmp(d24.Row(0), "\x12\x34\x56", 3), 0);
    // Red 86 >> 3, green 52 >> 3, blue 18 >> 3; bit 15 stays clear.
    EXPECT_EQ(Pixel16(ConvertTo16(d32), 0), (10u << 10) | (6u << 5) | 2u);

    // All fifteen colour bits set; bit 15 is ignored on reading.
    PackedDib w16 = CreateDIB(2, 1, 16);
    std::memcpy(w16.Row(0), "\xFF\x7F\xFF\xFF", 4);
    PackedDib w24 = ConvertTo24(w16);
    for (int i = 0; i < 6; ++i)
        EXPECT_EQ(w24.Row(0)[i], 248) << i;
    EXPECT_TRUE(SameBytes(ConvertTo16(w16), w16));

    // A set bit of a 1-bit image picks the second table entry.
    PackedDib d1 = CreateDIB(9, 1, 1);
    d1.ColorTable()[1] = RGBQUAD{1, 2, 3, 0};
    SetIndex(d1, 8, 0, 1);
    EXPECT_EQ(std::memcmp(ConvertTo24(d1).Row(0) + 21, "\0\0\0\x01\x02\x03", 6), 0);

    // 5-6-5 bit fields are decoded through their masks and written back as plain 5-5-5.
    PackedDib f16 = PackedDib::Create(1, 1, 16, 0, BI_BITFIELDS);
    f16.Masks()[0] = 0xF800, f16.Masks()[1] = 0x07E0, f16.Masks()[2] = 0x001F;
    std::memcpy(f16.Row(0), "\xE0\x07", 2); // pure green
    EXPECT_EQ(ConvertTo24(f16).Row(0)[1], 252);
    PackedDib g16 = ConvertTo16(f16);
    EXPECT_EQ(g16.Header()->biCompression, BI_RGB);
    EXPECT_EQ(Pixel16(g16, 0), 31u << 5);

    RecordingProgress progress;
    ASSERT_TRUE(ConvertTo24(CreateDIB(3, 4, 32), &progress, 10));
    EXPECT_EQ(progress.positions, (std::vector<int>{35, 60, 85, 110}));
    EXPECT_EQ(progress.pumps, 4);
}

TEST(ColorReduce, ExactPaletteInFirstSeenOrder) {
    // Rows are read from the top, so the bottom row (stored first) gets the last indices.
    PackedDib d256 = Distinct24(256);
    PackedDib out = MakeExactPalette(d256);
    ASSERT_TRUE(out);
    EXPECT_EQ(out.BitCount(), 8);
    EXPECT_EQ(out.ColorCount(), 256);
    for (int i = 0; i < 256; ++i) {
        ASSERT_EQ(IndexAt(out, i % 16, i / 16), i);
        ASSERT_EQ(std::memcmp(&out.ColorTable()[i], d256.Row(i / 16) + 3 * (i % 16), 3), 0) << i;
    }
    EXPECT_FALSE(MakeExactPalette(Distinct24(257)));

    // Repeats keep their first index.
    PackedDib small = CreateDIB(3, 2, 24);
    const BYTE colours[2][3] = {{5, 6, 5}, {7, 5, 6}};
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 3; ++x)
            Put24(small, x, y, colours[y][x], colours[y][x], colours[y][x]);
    PackedDib s3 = MakeExactPalette(small);
    ASSERT_TRUE(s3);
    EXPECT_EQ(s3.BitCount(), 4);
    EXPECT_EQ(s3.ColorCount(), 3);
    const int expected[2][3] = {{0, 1, 0}, {2, 0, 1}};
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 3; ++x)
            EXPECT_EQ(IndexAt(s3, x, y), expected[y][x]);
}

TEST(ColorReduce, PaletteImagesWidenOrCopy) {
    PackedDib d4 = CreateDIB(5, 2, 4, 16);
    for (int i = 0; i < 16; ++i)
        d4.ColorTable()[i] = RGBQUAD{BYTE(i), BYTE(2 * i), BYTE(3 * i), 0};
    SetIndex(d4, 4, 1, 15);
    SetIndex(d4, 1, 0, 7);
    PackedDib d8 = ReduceTo8(d4, 256);
    ASSERT_TRUE(d8);
    EXPECT_EQ(d8.BitCount(), 8);
    EXPECT_EQ(d8.ColorCount(), 16);
    EXPECT_EQ(IndexAt(d8, 4, 1), 15);
    EXPECT_EQ(IndexAt(d8, 1, 0), 7);
    EXPECT_EQ(d8.ColorTable()[15].rgbRed, 45);
    EXPECT_TRUE(SameBytes(ReduceTo4(d4, 16), d4));
    EXPECT_TRUE(SameBytes(ReduceTo8(d8, 256), d8));
    // Sixteen entries do not fit eight colours: the image is quantised instead.
    EXPECT_LE(ReduceTo8(d4, 8).ColorCount(), 8);

    PackedDib d1 = CreateDIB(10, 1, 1);
    d1.ColorTable()[0] = RGBQUAD{0, 0, 200, 0};
    SetIndex(d1, 9, 0, 1);
    PackedDib w4 = ReduceTo4(d1, 16);
    ASSERT_TRUE(w4);
    EXPECT_EQ(w4.BitCount(), 4);
    EXPECT_EQ(w4.ColorCount(), 2);
    EXPECT_EQ(IndexAt(w4, 9, 0), 1);
    EXPECT_EQ(w4.ColorTable()[0].rgbRed, 200);
}

TEST(ColorReduce, GrayTablesKeepTheIndices) {
    // v = trunc(0.11 b + 0.59 g + 0.3 r).
    PackedDib rgb = CreateDIB(4, 1, 24);
    Put24(rgb, 0, 0, 255, 0, 0);
    Put24(rgb, 1, 0, 0, 255, 0);
    Put24(rgb, 2, 0, 0, 0, 255);
    Put24(rgb, 3, 0, 255, 255, 255);
    PackedDib colour = ReduceTo8(rgb, 256);
    PackedDib gray = ReduceTo8Gray(rgb, 256);
    PackedDib gray4 = ReduceTo4Gray(rgb, 16);
    ASSERT_TRUE(colour && gray && gray4);
    EXPECT_EQ(gray4.BitCount(), 4);
    const BYTE expected[4] = {76, 150, 28, 255};
    for (int x = 0; x < 4; ++x) {
        EXPECT_EQ(IndexAt(gray, x, 0), IndexAt(colour, x, 0));
        const RGBQUAD q = gray.ColorTable()[IndexAt(gray, x, 0)];
        EXPECT_TRUE(q.rgbRed == expected[x] && q.rgbGreen == expected[x] && q.rgbBlue == expected[x]) << x;
        EXPECT_EQ(gray4.ColorTable()[IndexAt(gray4, x, 0)].rgbGreen, expected[x]);
    }
}

TEST(ColorReduce, ExportOptionsAndBlackWhite) {
    PackedDib img = CreateDIB(6, 2, 32);
    for (int x = 0; x < 6; ++x)
        PutGray32(img, x, 0, BYTE(x * 50));
    PutGray32(img, 0, 1, 128);
    PutGray32(img, 1, 1, 127);
    const int depth[7] = {8, 4, 1, 16, 24, 4, 8};
    for (int option = 0; option < 7; ++option)
        EXPECT_EQ(ConvertForExport(img, option).BitCount(), depth[option]);
    EXPECT_FALSE(ConvertForExport(img, 7));
    EXPECT_FALSE(ConvertForExport(img, -1));

    PackedDib bw = ConvertToBlackWhite(img);
    ASSERT_TRUE(bw);
    EXPECT_EQ(bw.ColorCount(), 2);
    EXPECT_EQ(bw.ColorTable()[1].rgbRed, 255);
    EXPECT_EQ(IndexAt(bw, 0, 1), 1); // 128 is nearer white
    EXPECT_EQ(IndexAt(bw, 1, 1), 0);
}

TEST(ColorReduce, BadInputGivesNothing) {
    PackedDib depth3 = CreateDIB(4, 4, 8);
    depth3.Header()->biBitCount = 3;
    PackedDib noWidth = CreateDIB(4, 4, 24);
    noWidth.Header()->biWidth = 0;
    PackedDib tooTall = CreateDIB(4, 4, 24);
    tooTall.Header()->biHeight = 400; // more rows than the block holds
    const PackedDib none, mask = CreateDIB(4, 4, 1);
    for (const PackedDib* bad : std::initializer_list<const PackedDib*>{&none, &depth3, &noWidth, &tooTall}) {
        EXPECT_FALSE(ConvertTo16(*bad));
        EXPECT_FALSE(MakeExactPalette(*bad));
        for (int option = 0; option < 7; ++option)
            EXPECT_FALSE(ConvertForExport(*bad, option));
        EXPECT_FALSE(CopyMaskBits(mask, *bad));
        EXPECT_FALSE(FillWithFirstPixel(*bad, mask));
        EXPECT_FALSE(MaskToTwoColours(*bad, mask));
    }
    EXPECT_FALSE(CopyMaskBits(CreateDIB(4, 4, 4), mask));
    EXPECT_FALSE(MaskToTwoColours(CreateDIB(4, 4, 8), mask));
    EXPECT_FALSE(MaskToTwoIndices(CreateDIB(4, 4, 24), mask));
}

TEST(ColorReduce, MaskHelpersWorkOnTheCommonArea) {
    // Image 12 wide, mask 6 wide: bits 0..5 of the top two rows from the mask, the rest kept.
    PackedDib img = CreateDIB(12, 3, 1);
    std::memset(img.Bits(), 0xFF, img.Stride() * 3);
    PackedDib mask = CreateDIB(6, 2, 1);
    SetIndex(mask, 1, 0, 1);
    PackedDib copied = CopyMaskBits(img, mask);
    ASSERT_TRUE(copied);
    for (int x = 0; x < 12; ++x) {
        EXPECT_EQ(IndexAt(copied, x, 0), x >= 6 || x == 1) << x;
        EXPECT_EQ(IndexAt(copied, x, 1), x >= 6) << x;
        EXPECT_EQ(IndexAt(copied, x, 2), 1) << x;
    }

    PackedDib d4 = CreateDIB(5, 3, 4);
    SetIndex(d4, 0, 0, 9);
    SetIndex(d4, 4, 2, 3);
    PackedDib filled = FillWithFirstPixel(d4, CreateDIB(4, 2, 32));
    ASSERT_TRUE(filled);
    EXPECT_EQ(IndexAt(filled, 3, 1), 9);
    EXPECT_EQ(IndexAt(filled, 4, 0), 0);
    EXPECT_EQ(IndexAt(filled, 0, 2), 0);

    // Set bits: the first pixel's colour; clear bits: its complement; 32 bits opaque.
    PackedDib c32 = CreateDIB(2, 1, 32);
    std::memcpy(c32.Pixel32(0, 0), "\x0A\x14\x1E\x00", 4);
    PackedDib m2 = CreateDIB(2, 1, 1);
    SetIndex(m2, 0, 0, 1);
    PackedDib two = MaskToTwoColours(c32, m2);
    ASSERT_TRUE(two);
    EXPECT_EQ(std::memcmp(two.Pixel32(0, 0), "\x0A\x14\x1E\xFF", 4), 0);
    EXPECT_EQ(std::memcmp(two.Pixel32(1, 0), "\xF5\xEB\xE1\xFF", 4), 0);
    PackedDib c16 = CreateDIB(2, 1, 16);
    std::memcpy(c16.Row(0), "\x21\x84", 2); // bit 15 set, each channel 1
    PackedDib two16 = MaskToTwoColours(c16, m2);
    EXPECT_EQ(Pixel16(two16, 0), 0x0421u);
    EXPECT_EQ(Pixel16(two16, 1), 0x0421u ^ 0x7FFFu);

    // Palette images: the entry farthest from the first pixel's colour, the first on ties.
    PackedDib p8 = CreateDIB(2, 1, 8, 4);
    const BYTE levels[4] = {0, 100, 200, 0};
    for (int i = 0; i < 4; ++i)
        p8.ColorTable()[i] = RGBQUAD{levels[i], levels[i], levels[i], 0};
    p8.Row(0)[0] = 1;
    PackedDib m21 = CreateDIB(2, 1, 1);
    SetIndex(m21, 1, 0, 1);
    PackedDib idx = MaskToTwoIndices(p8, m21);
    ASSERT_TRUE(idx);
    EXPECT_EQ(IndexAt(idx, 0, 0), 0);
    EXPECT_EQ(IndexAt(idx, 1, 0), 1);
    // A 4-bit pixel names only the first sixteen entries, however long the table.
    PackedDib long4 = CreateDIB(2, 1, 4, 256);
    long4.ColorTable()[200] = RGBQUAD{255, 255, 255, 0};
    long4.ColorTable()[15] = RGBQUAD{50, 50, 50, 0};
    EXPECT_EQ(IndexAt(MaskToTwoIndices(long4, CreateDIB(2, 1, 1)), 1, 0), 15);
}
