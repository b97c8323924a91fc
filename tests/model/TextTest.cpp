#include "common/DumpPng.h"
#include "extlib/VorText.h"
#include "model/BitmapObj.h"
#include "model/TextObj.h"
#include "platform/ByteStream.h"
#include "raster/Dib.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstring>

using namespace zepho;

namespace {

// Fontconfig's state is released at the end so that leak checkers see a clean exit.
class FontEnvironment : public ::testing::Environment {
public:
    void TearDown() override { VorReleaseFonts(); }
};
const auto* const kFontEnvironment = ::testing::AddGlobalTestEnvironment(new FontEnvironment);

constexpr COLORREF kInk = RGB(0, 0, 160);

CTextRun MakeRun(std::u16string_view text, int points = 24, bool lineEnd = false, int spacing = 0,
                 int offset = 0) {
    CTextRun r;
    r.face = "DejaVu Sans";
    r.size = points * 20;
    r.spacing = spacing;
    r.baselineOffset = offset;
    r.lineEnd = lineEnd;
    r.SetText(text);
    return r;
}

Ref<CTextObj> Text(std::vector<CTextRun> runs) {
    CTextDefaults d;
    d.foreColor = kInk;
    Ref<CTextObj> t = MakeRef<CTextObj>(d);
    t->runs = std::move(runs);
    return t;
}

struct Ink {
    int left = INT_MAX, top = INT_MAX, right = INT_MIN, bottom = INT_MIN; // inclusive
};
// Ink of the columns [x0, x1) and the rows from y0 down.
Ink InkOf(const PackedDib& d, int x0 = 0, int y0 = 0, int x1 = INT_MAX) {
    Ink ink;
    for (int y = std::max(0, y0); y < d.Height(); ++y)
        for (int x = x0; x < std::min(d.Width(), x1); ++x)
            if (d.Pixel32(x, y)[3] > 64) {
                ink.left = std::min(ink.left, x), ink.right = std::max(ink.right, x);
                ink.top = std::min(ink.top, y), ink.bottom = std::max(ink.bottom, y);
            }
    return ink;
}

} // namespace

TEST(TextRuns, CapacityEqualityAndFormat) {
    CTextRun r;
    r.SetText(u"abc");
    EXPECT_EQ(r.capacity, 23);
    r.SetText(u"0123456789012345678901"); // 22 + terminator fits
    EXPECT_EQ(r.capacity, 23);
    r.SetText(u"01234567890123456789012");
    EXPECT_EQ(r.capacity, 43);

    CTextRun a = MakeRun(u"x"), b = MakeRun(u"x"), c = MakeRun(u"other");
    b.capacity = 99;
    EXPECT_EQ(a, b);
    EXPECT_TRUE(a.SameFormat(c));
    c.bold = 1;
    EXPECT_FALSE(a.SameFormat(c));
    a.lineEnd = 1;
    EXPECT_FALSE(a.SameFormat(b));
}

TEST(TextMeasure, RunsLinesAndBaselineOffsets) {
    const CTextRun a = MakeRun(u"A", 24, false, 1);
    const LOGFONTA font = a.Font(false);
    EXPECT_EQ(font.lfHeight, -32); // 24 pt at 96 pixels per inch
    const double extentA = VorMeasureText(nullptr, u"A", font);
    VorFontMetrics fm;
    ASSERT_TRUE(VorGetFontMetrics(nullptr, font, &fm));

    // The last run of a line adds no spacing after its last character.
    Ref<CTextObj> t = Text({a});
    t->Measure();
    EXPECT_DOUBLE_EQ(t->width, extentA);
    EXPECT_EQ(t->height, fm.ascent + fm.descent);

    // Earlier runs add spacing after every character; lines stack with the line spacing.
    t = Text({MakeRun(u"AB", 24, false, 3), MakeRun(u"A", 24, true, 3), MakeRun(u"A")});
    t->lineSpacing = 7;
    t->Measure();
    EXPECT_DOUBLE_EQ(t->width, VorMeasureText(nullptr, u"AB", font) + 6 + extentA);
    EXPECT_EQ(t->height, 2 * (fm.ascent + fm.descent) + 7);

    // A run moved down deepens its line's descent; moved up, it raises the ascent.
    t = Text({MakeRun(u"A"), MakeRun(u"A", 24, true, 0, 10), MakeRun(u"A", 24, false, 0, -6)});
    const CTextLayout moved = t->Layout();
    ASSERT_EQ(moved.lines.size(), 2u);
    EXPECT_EQ(moved.lines[0].ascent, fm.ascent);
    EXPECT_EQ(moved.lines[0].descent, fm.descent + 10);
    EXPECT_EQ(moved.lines[1].ascent, fm.ascent + 6);
    EXPECT_EQ(moved.lines[1].descent, fm.descent - 6);
}

TEST(TextRender, NothingToDrawIsNoImage) {
    Ref<CTextObj> t = Text({MakeRun(u"")});
    t->width = 50;
    EXPECT_FALSE(t->Render());
    EXPECT_EQ(t->width, 0);

    t = Text({MakeRun(u"    ")}); // a size, but no ink
    EXPECT_FALSE(t->Render());
    EXPECT_GT(t->width, 0);

    // The render clamped the scale before failing; the old one must still come back.
    t->angle = 5;
    EXPECT_FALSE(t->Transform(1e-6, 1, 30));
    EXPECT_EQ(t->scaleX, 1.0);
    EXPECT_EQ(t->angle, 5);
}

TEST(TextRender, ScalesAreClampedWhenMeasured) {
    Ref<CTextObj> t = Text({MakeRun(u"Scale")});
    t->scaleX = 0.0001;
    t->scaleY = 60; // a 38-pixel line would reach 2280 pixels
    ASSERT_TRUE(t->Render());
    EXPECT_DOUBLE_EQ(t->scaleX, 1 / t->width);
    EXPECT_DOUBLE_EQ(t->scaleY, 2000 / t->height);

    // Not measuring keeps the stored size and scales as they are.
    const double measured = t->width;
    t->measure = 0;
    t->width = 2 * measured;
    t->scaleY = 60;
    ASSERT_TRUE(t->Render());
    EXPECT_EQ(t->width, 2 * measured);
    EXPECT_EQ(t->scaleY, 60);
}

TEST(TextRender, CanvasTurnsWithTheText) {
    Ref<CTextObj> t = Text({MakeRun(u"Turn")});
    t->scaleX = 2;
    PackedDib flat = t->Render();
    ASSERT_TRUE(flat);
    int w, h;
    RotatedSize((t->width + 10) * 2, t->height, 0, w, h);
    EXPECT_EQ(t->marginLeft + flat.Width() + t->marginRight, w);
    EXPECT_EQ(t->marginTop + flat.Height() + t->marginBottom, h);

    t->angle = 90;
    PackedDib up = t->Render();
    ASSERT_TRUE(up);
    EXPECT_EQ(t->marginLeft + up.Width() + t->marginRight, h);
    EXPECT_EQ(t->marginTop + up.Height() + t->marginBottom, w);
    EXPECT_NEAR(up.Height(), flat.Width(), 2);
}

TEST(TextRender, AlignmentPlacesShorterLines) {
    // Left and right ends of the short second line's ink, in layout coordinates.
    auto secondLine = [](int alignment, double& width) {
        Ref<CTextObj> t = Text({MakeRun(u"WWWWWW", 24, true), MakeRun(u"l")});
        t->alignment = alignment;
        PackedDib d = t->Render();
        EXPECT_TRUE(d);
        width = t->width;
        const CTextLine first = t->Layout().lines[0];
        // The canvas pads the layout by 5 pixels each side; the raster lacks the trimmed margins.
        const Ink ink = InkOf(d, 0, first.ascent + first.descent + 1 - t->marginTop);
        const int dx = t->marginLeft - 5;
        return std::pair<double, double>{ink.left + dx, ink.right + dx + 1.0};
    };
    double width;
    EXPECT_LT(secondLine(CTextObj::kAlignLeft, width).first, 8);
    EXPECT_GT(secondLine(CTextObj::kAlignRight, width).second, width - 8);
    const auto centre = secondLine(CTextObj::kAlignCenter, width);
    EXPECT_NEAR((centre.first + centre.second) / 2, width / 2, 4);
}

TEST(TextRender, BaselineOffsetsMoveRunsDown) {
    PackedDib d = Text({MakeRun(u"H"), MakeRun(u"H", 24, false, 0, 12)})->Render();
    ASSERT_TRUE(d);
    const Ink left = InkOf(d, 0, 0, d.Width() / 2), right = InkOf(d, d.Width() / 2, 0);
    EXPECT_EQ(right.top - left.top, 12);
    EXPECT_EQ(right.bottom - left.bottom, 12);
}

namespace {
long long TotalInk(const PackedDib& d) {
    long long sum = 0;
    for (int y = 0; y < d.Height(); ++y)
        for (int x = 0; x < d.Width(); ++x)
            sum += d.Pixel32(x, y)[3];
    return sum;
}
} // namespace

// Every glyph keeps all of its ink, whatever the sizes of the runs and however far its marks
// reach: the text's raster holds as much ink as the same text between two large blank lines.
TEST(TextRender, EveryGlyphKeepsItsInk) {
    // Stacked marks above the first line and below the last; runs of three sizes; the integral
    // and the double-struck letter come from another face than the run's.
    std::vector<CTextRun> runs = {MakeRun(u"\u1ea4\u1ed6 Hello Zepho gjpqy", 12, true),
                                  MakeRun(u"Second line gyp ", 24, false),
                                  MakeRun(u"g\u0330\u0330\u0330\u0330y \u222b\u2124", 16)};
    runs[1].bold = 1;
    runs[2].face = "Liberation Sans";
    for (double angle : {0.0, 30.0}) {
        for (bool outlined : {false, true}) {
            SCOPED_TRACE(testing::Message() << "angle " << angle << (outlined ? ", outlined" : ""));
            for (CTextRun& r : runs)
                r.outlined = outlined;
            std::vector<CTextRun> padded = runs;
            padded.back().lineEnd = 1;
            padded.insert(padded.begin(), MakeRun(u" ", 72, true));
            padded.push_back(MakeRun(u" ", 72));
            long long ink[2] = {};
            for (int i = 0; i < 2; ++i) {
                Ref<CTextObj> t = Text(i ? padded : runs);
                t->angle = angle;
                const PackedDib d = t->Render();
                ASSERT_TRUE(d);
                if (i == 0) test::DumpPng("text_every_glyph", d);
                ink[i] = TotalInk(d);
            }
            // Turned, the edges fall on other fractions of a pixel; that moves a few pixels' worth
            // of coverage.
            EXPECT_NEAR(static_cast<double>(ink[0]), static_cast<double>(ink[1]), angle ? 2 * 255.0 : 0.0);
        }
    }

    // Text that fits its box keeps the box's canvas and its place, ink beyond the box grows the
    // canvas on that side only: the margins count from the box's canvas.
    Ref<CTextObj> plain = Text({MakeRun(u"Hello", 24, true), MakeRun(u"Second", 24)});
    const PackedDib p = plain->Render();
    ASSERT_TRUE(p);
    int w, h;
    RotatedSize(plain->width + 10, plain->height, 0, w, h);
    EXPECT_GE(std::min({plain->marginLeft, plain->marginTop, plain->marginRight, plain->marginBottom}), 0);
    EXPECT_EQ(plain->marginTop + p.Height() + plain->marginBottom, h);
    Ref<CTextObj> deep = Text({MakeRun(u"Hello", 24, true), MakeRun(u"Second g\u0330\u0330\u0330", 24)});
    const PackedDib q = deep->Render();
    ASSERT_TRUE(q);
    EXPECT_EQ(deep->marginTop, plain->marginTop);
    EXPECT_LT(deep->marginBottom, 0);
    EXPECT_EQ(deep->marginTop + q.Height() + deep->marginBottom, h);
}

TEST(TextRender, OutlineGrowsTheImage) {
    std::vector<CTextRun> runs = {MakeRun(u"Zepho ", 28), MakeRun(u"Image", 20, true),
                                  MakeRun(u"second line", 16)};
    runs[0].bold = 1;
    runs[1].face = "DejaVu Serif";
    runs[1].italic = 1;
    runs[2].outlined = 1;
    Ref<CTextObj> t = Text(runs);
    PackedDib plain = t->Render();
    ASSERT_TRUE(plain);
    const int canvasW = t->marginLeft + plain.Width() + t->marginRight;

    t->outline = 1, t->outlineColor = RGB(255, 200, 0), t->outlineThickness = 4;
    PackedDib haloed = t->Render();
    ASSERT_TRUE(haloed);
    test::DumpPng("text_two_lines_outlined", haloed);
    // The canvas grows by max(2 x thickness, smooth), the ink by the stroke.
    EXPECT_EQ(t->marginLeft + haloed.Width() + t->marginRight, canvasW + 8);
    EXPECT_NEAR(haloed.Width(), plain.Width() + 4, 2);
    EXPECT_NEAR(haloed.Height(), plain.Height() + 4, 2);

    t->outlineSmooth = 12;
    PackedDib soft = t->Render();
    ASSERT_TRUE(soft);
    test::DumpPng("text_two_lines_soft_outline", soft);
    EXPECT_EQ(t->marginLeft + soft.Width() + t->marginRight, canvasW + 12);
    EXPECT_GT(soft.Width(), haloed.Width());

    // A damaged record's thickness and smoothing are drawn at the most the page offers (and
    // kept as they are): the canvas grows by 2 x 100, not by 2 x 10550.
    t->outlineThickness = 10550, t->outlineSmooth = 90000;
    PackedDib huge = t->Render();
    ASSERT_TRUE(huge);
    EXPECT_EQ(t->marginLeft + huge.Width() + t->marginRight, canvasW + 200);
    EXPECT_EQ(t->outlineThickness, 10550);
}

TEST(TextRecords, RoundTripAndShortRecords) {
    Ref<CTextObj> t = Text({MakeRun(u"Gr\u00fc\u00dfe \u4e16", 30, true, 2, -4), MakeRun(u"x")});
    t->runs[0].face = "A face name of thirty-one chars";
    t->runs[1].charSet = 0x80;
    t->angle = 33, t->paint.reserved = 0x1234, t->lineSpacing = 9, t->alignment = 6;
    t->scaleX = 1.5, t->scaleY = 0.75, t->width = 123.25, t->height = 45.5;
    t->outline = 1, t->outlineColor = RGB(9, 8, 7), t->outlineThickness = 6;
    t->outlineTransparency = 200, t->outlineSmooth = 20;
    MemoryWriter w;
    const std::size_t n = t->Write(w);
    const std::vector<BYTE> b = w.Take();
    ASSERT_EQ(n, b.size());
    ASSERT_EQ(b.size(), 92u + (72 + 2 * 7) + (72 + 2));

    CTextObj r;
    MemoryReader in(b);
    ASSERT_TRUE(r.Read(in));
    EXPECT_EQ(r.runs, t->runs);
    EXPECT_EQ(r.scaleY, 0.75);
    EXPECT_EQ(r.outlineSmooth, 20);
    MemoryWriter again;
    r.Write(again);
    EXPECT_EQ(again.Data(), b);

    for (std::size_t cut = 0; cut < b.size(); ++cut) {
        CTextObj s;
        MemoryReader part(b.data(), cut);
        ASSERT_FALSE(s.Read(part)) << cut;
        ASSERT_TRUE(s.runs.empty());
    }
}

TEST(TextRecords, StoredCapacityNeverSizesTheBuffer) {
    Ref<CTextObj> t = Text({MakeRun(u"longer than its capacity")});
    // Too small for the text, and absurdly large: both read, and are written back as they were.
    for (std::int32_t capacity : {1, 0x7FFFFFFF}) {
        t->runs[0].capacity = capacity;
        MemoryWriter w, again;
        ASSERT_GT(t->Write(w), 0u);
        CTextObj r;
        MemoryReader in(w.Data());
        ASSERT_TRUE(r.Read(in));
        EXPECT_EQ(r.runs[0].text, u"longer than its capacity");
        r.Write(again);
        EXPECT_EQ(again.Data(), w.Data());
    }

    // Counts of runs or characters beyond the payload fail before anything is allocated.
    MemoryWriter w;
    t->Write(w);
    for (std::size_t at : {88u, 92u + 32 + 28}) {
        std::vector<BYTE> b = w.Data();
        const std::int32_t huge = 0x7FFFFFFF;
        std::memcpy(b.data() + at, &huge, 4);
        CTextObj r;
        MemoryReader in(b);
        EXPECT_FALSE(r.Read(in)) << at;
    }
}
