#include "extlib/VorText.h"
#include "common/DumpPng.h"
#include "extlib/VorRender.h"
#include "extlib/VorTestUtil.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstring>

namespace zepho {
namespace {

using test::At;
using test::Paint;
using test::Px;
using test::Solid;

constexpr COLORREF kWhite = RGB(255, 255, 255);

// Fontconfig's state is released at the end so that leak checkers see a clean exit.
class FontEnvironment : public ::testing::Environment {
public:
    void TearDown() override { VorReleaseFonts(); }
};
const auto* const kFontEnvironment = ::testing::AddGlobalTestEnvironment(new FontEnvironment);

LOGFONTA Font(const char* face, int pixels, bool bold = false, bool italic = false) {
    LOGFONTA f;
    f.lfHeight = -pixels;
    f.lfWeight = bold ? 700 : 400;
    f.lfItalic = italic;
    f.lfQuality = 4;
    std::strncpy(f.lfFaceName, face, LF_FACESIZE - 1);
    return f;
}

bool HasFamily(const char* family) {
    VorFontInfo info;
    return VorDescribeFont(Font(family, 10), &info) && info.family == family;
}

struct Ink {
    int left = INT_MAX, top = INT_MAX, right = INT_MIN, bottom = INT_MIN; // inclusive
    long area = 0;
};
Ink InkOf(const PackedDib& d) {
    Ink ink;
    for (int y = 0; y < d.Height(); ++y)
        for (int x = 0; x < d.Width(); ++x)
            if (d.Pixel32(x, y)[3]) {
                ink.left = std::min(ink.left, x);
                ink.right = std::max(ink.right, x);
                ink.top = std::min(ink.top, y);
                ink.bottom = std::max(ink.bottom, y);
                ++ink.area;
            }
    return ink;
}

TEST(VorText, CommonFaceNamesLandOnMetricCompatibleFonts) {
    if (!HasFamily("Liberation Sans")) GTEST_SKIP() << "Liberation fonts not installed";
    VorFontInfo info;
    ASSERT_TRUE(VorDescribeFont(Font("Arial", 12), &info));
    EXPECT_EQ(info.family, "Liberation Sans");
    ASSERT_TRUE(VorDescribeFont(Font("Times New Roman", 12), &info));
    EXPECT_EQ(info.family, "Liberation Serif");
    // An unknown name still gets a face.
    ASSERT_TRUE(VorDescribeFont(Font("No Such Face At All", 12), &info));
    EXPECT_FALSE(info.file.empty());
}

TEST(VorText, BoldAndItalicSelectDifferentFaces) {
    VorFontInfo regular, bold, italic, both;
    ASSERT_TRUE(VorDescribeFont(Font("Arial", 12), &regular));
    ASSERT_TRUE(VorDescribeFont(Font("Arial", 12, true), &bold));
    ASSERT_TRUE(VorDescribeFont(Font("Arial", 12, false, true), &italic));
    ASSERT_TRUE(VorDescribeFont(Font("Arial", 12, true, true), &both));
    EXPECT_NE(regular.file, bold.file);
    EXPECT_NE(regular.file, italic.file);
    EXPECT_NE(bold.file, both.file);
    EXPECT_NE(italic.file, both.file);
    EXPECT_FALSE(bold.syntheticBold);

    // Measuring follows the face: bold is wider.
    EXPECT_GT(VorMeasureText(nullptr, u"Hamburgefonts", Font("Arial", 20, true)),
              VorMeasureText(nullptr, u"Hamburgefonts", Font("Arial", 20)));
}

TEST(VorText, RunLiesInsideTheMeasuredBoxOnItsBaseline) {
    for (const char* face : {"Arial", "Times New Roman", "DejaVu Sans"}) {
        for (bool italic : {false, true}) {
            const LOGFONTA font = Font(face, 40, false, italic);
            const std::u16string text = u"gjpqy \u00C0\u00C9";
            VorFontMetrics m;
            ASSERT_TRUE(VorGetFontMetrics(nullptr, font, &m));
            EXPECT_EQ(m.em, 40);
            const double advance = VorMeasureText(nullptr, text, font);
            const double x = 10, y = 10 + m.ascent;
            PackedDib dib = Solid(static_cast<int>(advance) + 40, m.ascent + m.descent + 40, kWhite, 0);
            ASSERT_TRUE(
                PaintText(dib, nullptr, text, x, y, font, 0, Paint(RGB(0, 0, 0), 0), CVorTransMatrix()));
            test::DumpPng(std::string("text_box_") + face + (italic ? "_italic" : ""), dib);
            const Ink ink = InkOf(dib);
            ASSERT_GT(ink.area, 0);
            EXPECT_GE(ink.top, y - m.ascent) << face;
            EXPECT_LT(ink.bottom, y + m.descent) << face;
            EXPECT_GE(ink.left, x - 1) << face;
            EXPECT_LE(ink.right, x + advance + 1) << face;
            EXPECT_GT(ink.bottom, y + m.descent / 2) << "descenders reach down";
        }
    }
}

TEST(VorText, YIsTheBaseline) {
    const LOGFONTA font = Font("DejaVu Sans", 30);
    PackedDib dib = Solid(60, 60, kWhite, 0);
    ASSERT_TRUE(PaintText(dib, nullptr, u"xH", 5, 40, font, 0, Paint(0, 0), CVorTransMatrix()));
    const Ink ink = InkOf(dib);
    EXPECT_EQ(ink.bottom, 39);                 // flat bottoms sit on the baseline
    EXPECT_NEAR(40 - ink.top, 0.73 * 30, 1.5); // cap height of the face
}

TEST(VorText, SpacingFollowsEveryUtf16Unit) {
    const LOGFONTA font = Font("Arial", 24);
    // A ligature candidate, a combining accent and a surrogate pair all count per unit.
    for (const std::u16string& text : {std::u16string(u"office"), std::u16string(u"e\u0301t\u00e9"),
                                       std::u16string(u"A\U0001D400B"), std::u16string(u"W")}) {
        const double plain = VorMeasureText(nullptr, text, font);
        const double spaced = VorMeasureText(nullptr, text, font, 7);
        EXPECT_NEAR(spaced - plain, 7.0 * text.size(), 1e-9);
    }
    // Drawing agrees: the spaced run's ink reaches further by the added spacing between letters.
    PackedDib plain = Solid(300, 50, kWhite, 0), spaced = Solid(300, 50, kWhite, 0);
    PaintText(plain, nullptr, u"IIII", 10, 35, font, 0, Paint(0, 0), CVorTransMatrix());
    PaintText(spaced, nullptr, u"IIII", 10, 35, font, 10, Paint(0, 0), CVorTransMatrix());
    EXPECT_NEAR(InkOf(spaced).right - InkOf(plain).right, 30, 1);
    EXPECT_EQ(InkOf(spaced).left, InkOf(plain).left);
}

TEST(VorText, ShapingAppliesKerning) {
    const LOGFONTA font = Font("Arial", 50);
    const double pair = VorMeasureText(nullptr, u"AV", font);
    const double apart = VorMeasureText(nullptr, u"A", font) + VorMeasureText(nullptr, u"V", font);
    EXPECT_LT(pair, apart - 1);
}

TEST(VorText, MatrixFillModesAndOutlines) {
    const LOGFONTA font = Font("DejaVu Sans", 48, true);
    const std::u16string text = u"OHO";
    const double advance = VorMeasureText(nullptr, text, font);
    VorFontMetrics m;
    ASSERT_TRUE(VorGetFontMetrics(nullptr, font, &m));
    const int w = static_cast<int>(advance) + 20, h = m.ascent + m.descent + 20;
    const double x = 10, y = 10 + m.ascent;
    const auto draw = [&](auto&& call) {
        PackedDib dib = Solid(w, h, kWhite, 0);
        EXPECT_TRUE(call(dib));
        return dib;
    };
    const _TEXTFILLMODE black = Paint(RGB(0, 0, 0), RGB(255, 255, 255));
    const CVorTransMatrix id;
    PackedDib filled =
        draw([&](PackedDib& d) { return PaintText(d, nullptr, text, x, y, font, 0, black, id); });
    PackedDib outline =
        draw([&](PackedDib& d) { return StrokeText(d, nullptr, text, x, y, font, 0, black, id, 1); });
    PackedDib halo =
        draw([&](PackedDib& d) { return StrokeText_Blend(d, nullptr, text, x, y, font, 0, black, id, 6.0); });
    test::DumpPng("text_filled", filled);
    test::DumpPng("text_outline", outline);
    test::DumpPng("text_halo", halo);
    const Ink fi = InkOf(filled), oi = InkOf(outline), hi = InkOf(halo);
    EXPECT_LT(oi.area, fi.area / 2);
    EXPECT_GT(hi.area, fi.area);
    EXPECT_NEAR(hi.left, fi.left - 3, 1);
    // The halo covers the glyphs wholly, inside included.
    for (int py = 0; py < h; ++py)
        for (int px = 0; px < w; ++px)
            if (filled.Pixel32(px, py)[3] == 255) {
                ASSERT_EQ(halo.Pixel32(px, py)[3], 255);
            }

    // Mode 1 blends across the run: the first letter is near colour 1, the last near colour 2.
    PackedDib blend = draw([&](PackedDib& d) {
        return PaintText(d, nullptr, text, x, y, font, 0, Paint(RGB(255, 0, 0), RGB(0, 0, 255), 1), id);
    });
    test::DumpPng("text_mode1", blend);
    const Px first = At(blend, fi.left + 2, (fi.top + fi.bottom) / 2);
    const Px last = At(blend, fi.right - 2, (fi.top + fi.bottom) / 2);
    EXPECT_GT(first.r, 200);
    EXPECT_GT(last.b, 200);

    // A half-size matrix halves the ink.
    PackedDib small = draw([&](PackedDib& d) {
        return PaintText(d, nullptr, text, x, y, font, 0, black, CVorTransMatrix::Scaling(0.5, 0.5));
    });
    const Ink si = InkOf(small);
    EXPECT_NEAR(si.right - si.left, (fi.right - fi.left) / 2.0, 2);
}

TEST(VorText, NonLatinScriptsAndEdgeCasesDrawSafely) {
    const LOGFONTA font = Font("Arial", 30);
    PackedDib dib = Solid(300, 60, kWhite, 0);
    // Arabic and Hebrew are missing from the Liberation faces and come from a fallback face.
    EXPECT_TRUE(PaintText(dib, nullptr, u"\u0633\u0644\u0627\u0645 \u05e9\u05dc\u05d5\u05dd", 10, 40, font, 0,
                          Paint(0, 0), CVorTransMatrix()));
    test::DumpPng("text_scripts", dib);
    EXPECT_GT(InkOf(dib).area, 200);
    EXPECT_GT(VorMeasureText(nullptr, u"\u0633\u0644\u0627\u0645", font), 20);

    PackedDib empty = Solid(20, 20, kWhite, 0);
    PackedDib before = empty.Clone();
    EXPECT_TRUE(PaintText(empty, nullptr, u"", 0, 10, font, 0, Paint(0, 0), CVorTransMatrix()));
    EXPECT_TRUE(PaintText(empty, nullptr, u"   \t", 0, 10, font, 0, Paint(0, 0), CVorTransMatrix()));
    EXPECT_TRUE(PaintText(empty, nullptr, u"\xD800x", 0, 10, font, 0, Paint(0, 0),
                          CVorTransMatrix::Translation(1e6, 0)));
    EXPECT_TRUE(test::SameBytes(empty, before));
    EXPECT_FALSE(PaintText(empty, nullptr, u"x", NAN, 10, font, 0, Paint(0, 0), CVorTransMatrix()));
    EXPECT_FALSE(StrokeText(empty, nullptr, u"x", 0, 10, font, 0, Paint(0, 0), CVorTransMatrix(), 0));
    EXPECT_EQ(VorMeasureText(nullptr, u"", font), 0);

    LOGFONTA huge = font;
    huge.lfHeight = -2000000;
    EXPECT_FALSE(PaintText(empty, nullptr, u"x", 0, 10, huge, 0, Paint(0, 0), CVorTransMatrix()));

    // A positive height is the cell: ascent plus descent.
    LOGFONTA cell = font;
    cell.lfHeight = 40;
    VorFontMetrics m;
    ASSERT_TRUE(VorGetFontMetrics(nullptr, cell, &m));
    EXPECT_NEAR(m.ascent + m.descent, 40, 2);
}

TEST(VorText, ReleasingFontsStartsAfresh) {
    const LOGFONTA font = Font("Arial", 20);
    const double before = VorMeasureText(nullptr, u"Again", font);
    VorReleaseFonts();
    EXPECT_EQ(VorMeasureText(nullptr, u"Again", font), before);
}

} // namespace
} // namespace zepho
