// The paint line, eraser and flood-fill tools, and Cut, Delete and Copy of a selection.
#include "edit/DrawToolTestUtil.h"

#include "edit/commands/CmdClipboard.h"
#include "edit/commands/CommandStrings.h"
#include "edit/tools/ToolStrings.h"
#include "edit/undo/UndoStrings.h"
#include "model/ModelStrings.h"
#include "platform/Format.h"

#include <gtest/gtest.h>

namespace zepho::test {
namespace {

constexpr std::uint32_t kOpaqueRed = 0xFFC80000;

std::uint32_t Argb(COLORREF c, int alpha) {
    return (std::uint32_t(alpha) << 24) | (GetRValue(c) << 16) | (GetGValue(c) << 8) | GetBValue(c);
}

// --- paint line -------------------------------------------------------------------------------

TEST(PaintLine, StrokePaintsOnlyInsideTheSelectionAndUndoesInOneStep) {
    DrawToolFixture f;
    f.colours.fore = RGB(0, 0, 255);
    Ref<CDrawObj> o = f.AddImage(100, 80, RGB(0, 0, 0), 0, 0, 0); // transparent
    o->content->selected = 1;
    const PackedDib before = o->content->raster.Clone();
    f.Select(RECT{0, 0, 30, 80});
    f.settings.PaintLineWidth = 4;
    f.view->SelectTool(ToolPaintLine);
    f.Drag({{5, 20}, {25, 20}, {55, 20}});
    EXPECT_FALSE(f.view->Floating());
    EXPECT_EQ(f.view->Drag().flags, 0u);

    EXPECT_EQ(PixelOf(*o, 15, 20), Argb(RGB(0, 0, 255), 255));
    EXPECT_EQ(PixelOf(*o, 15, 40) >> 24, 0u);
    for (int x = 30; x < 60; ++x)
        ASSERT_EQ(PixelOf(*o, x, 20) >> 24, 0u) << x;
    EXPECT_EQ(f.UndoCount(), 1u);
    EXPECT_EQ(f.Label(), strings::kUndoPaintLine);
    EXPECT_TRUE(f.doc.IsModified());

    f.doc.OnEditUndo();
    EXPECT_TRUE(SameBytes(o->content->raster, before));
    EXPECT_EQ(o->Position(), (POINT{0, 0}));
}

TEST(PaintLine, GrowsTheObjectOrKeepsToItsPixels) {
    DrawToolFixture f;
    Ref<CDrawObj> o = f.AddImage(20, 20, RGB(200, 0, 0), 40, 30);
    f.settings.PaintLineWidth = 2;
    f.settings.PaintRoundCap = 0;
    f.view->SelectTool(ToolPaintLine);
    f.Drag({{10, 40}, {50, 40}});
    EXPECT_TRUE(o->IsSelected());
    // The stroke reached out to the left: the object now starts there.
    EXPECT_LT(o->x, 40);
    EXPECT_EQ(o->content->raster.Width(), 60 - o->x);
    EXPECT_EQ(PixelOf(*o, 20, 40) >> 24, 255u);
    f.doc.OnEditUndo();
    EXPECT_EQ(o->Position(), (POINT{40, 30}));
    EXPECT_EQ(o->content->raster.Width(), 20);

    // Kept to the object's pixels, the same stroke stays inside its rectangle.
    f.settings.AllowPaintTransparence = 0;
    f.Drag({{10, 40}, {55, 40}});
    EXPECT_EQ(o->Position(), (POINT{40, 30}));
    EXPECT_EQ(o->content->raster.Width(), 20);
    EXPECT_EQ(PixelOf(*o, 45, 40), 0xFF000000u); // the foreground colour over red

    // A stroke with the pen fully transparent leaves no trace and no undo step.
    f.settings.LineOpacity = 255;
    const std::size_t count = f.UndoCount();
    f.Drag({{42, 35}, {55, 35}});
    EXPECT_EQ(f.UndoCount(), count);
}

TEST(PaintLine, StraightLineModeDrawsOneSegmentOnRelease) {
    DrawToolFixture f;
    Ref<CDrawObj> o = f.AddImage(100, 80, RGB(0, 0, 0), 0, 0, 0);
    f.settings.PaintBeeline = 1;
    f.settings.PaintLineWidth = 2;
    f.settings.PaintRoundCap = 0;
    f.view->SelectTool(ToolPaintLine);
    f.view->OnLButtonDown(kMkLButton, f.At(10, 10));
    f.view->OnMouseMove(kMkLButton, f.At(50, 70)); // passes by, paints nothing
    EXPECT_FALSE(f.view->RubberBand().IsEmpty());
    f.view->OnMouseMove(kMkLButton, f.At(50, 10));
    f.view->OnLButtonUp(0, f.At(50, 10));
    EXPECT_EQ(PixelOf(*o, 30, 10) >> 24, 255u);
    EXPECT_EQ(PixelOf(*o, 30, 40) >> 24, 0u);
    EXPECT_EQ(f.UndoCount(), 1u);
}

// --- eraser -----------------------------------------------------------------------------------

TEST(Eraser, LowersAlphaToItsStrengthOncePerStroke) {
    DrawToolFixture f;
    Ref<CDrawObj> o = f.AddImage(60, 40, RGB(200, 0, 0), 10, 10);
    const PackedDib before = o->content->raster.Clone();
    f.settings.EraseTransparence = 128;
    f.settings.EraseLineWidth = 6;
    f.settings.EraseRoundCap = 0;
    f.view->SelectTool(ToolEraser);
    f.Drag({{15, 30}, {40, 30}, {60, 30}});
    EXPECT_EQ(PixelOf(*o, 30, 30), (127u << 24) | 0xC80000u);
    EXPECT_EQ(PixelOf(*o, 30, 45), kOpaqueRed);
    EXPECT_EQ(f.Label(), strings::kUndoErase);
    EXPECT_EQ(f.UndoCount(), 1u);
    // A second pass does not lower it further.
    f.Drag({{15, 30}, {60, 30}});
    EXPECT_EQ(PixelOf(*o, 30, 30) >> 24, 127u);
    EXPECT_EQ(f.UndoCount(), 2u);

    f.doc.OnEditUndo();
    f.doc.OnEditUndo();
    EXPECT_TRUE(SameBytes(o->content->raster, before));

    // A stroke beside the object records nothing.
    f.Drag({{80, 70}, {95, 70}});
    EXPECT_EQ(f.UndoCount(), 0u);
}

// --- messages and the conversion question ------------------------------------------------------

TEST(StrokeAndFloodTools, RefuseWithTheirMessages) {
    DrawToolFixture f;
    f.view->SelectTool(ToolPaintLine);
    f.Click(5, 5);
    f.view->SelectTool(ToolEraser);
    f.Click(5, 5);
    f.view->SelectTool(ToolFlood);
    f.Click(5, 5);
    Ref<CDrawObj> hidden = f.AddImage(10, 10, 0, 0, 0);
    hidden->visible = 0;
    f.view->SelectTool(ToolPaintLine);
    f.Click(5, 5);
    EXPECT_EQ(f.Messages(),
              (std::vector<std::string>{strings::kPaintNeedObject, strings::kEraseNeedObject,
                                        strings::kFloodNeedObject, strings::kPaintNeedSelected}));
    EXPECT_EQ(f.host.captures, 0);
}

TEST(StrokeAndFloodTools, ShapeObjectsAreConvertedOnlyWhenTheUserAgrees) {
    DrawToolFixture f;
    Ref<CDrawObj> shape = f.Add(ShapeObject(10, 10));
    const std::string start = f.Dump();
    f.view->SelectTool(ToolEraser);
    f.Drag({{12, 12}, {18, 12}});
    ASSERT_EQ(f.ui.shown.size(), 1u);
    EXPECT_TRUE(f.ui.shown[0].question);
    EXPECT_EQ(f.ui.shown[0].text, Format(strings::kConvertAsk, "Rectangle - 1", strings::kVerbPaintErase));
    EXPECT_EQ(f.UndoCount(), 0u);
    EXPECT_TRUE(shape->content->shape);

    f.view->SelectTool(ToolFlood);
    f.Click(12, 12);
    EXPECT_EQ(f.ui.shown.back().text, Format(strings::kConvertAsk, "Rectangle - 1", strings::kVerbFlood));
    EXPECT_EQ(f.UndoCount(), 0u);
    shape->content->selected = 0;
    EXPECT_EQ(f.Dump(), start);

    // Yes: the conversion is a step of its own. The question took the button's release, so no
    // stroke is left running with the button up; the next press erases. Undoing both steps
    // gives the shape back.
    f.ui.answers = {true};
    f.view->SelectTool(ToolEraser);
    f.Drag({{12, 12}, {18, 12}});
    EXPECT_FALSE(shape->content->shape);
    EXPECT_EQ(shape->content->kind, KindImage);
    EXPECT_EQ(f.UndoCount(), 1u);
    EXPECT_FALSE(f.view->Drag().Has(CDragState::Stroke));
    f.Drag({{12, 12}, {18, 12}});
    EXPECT_EQ(f.UndoCount(), 2u);
    f.doc.OnEditUndo();
    f.doc.OnEditUndo();
    EXPECT_TRUE(shape->content->shape);
    EXPECT_EQ(shape->content->kind, KindRectangle);
}

// --- flood fill -------------------------------------------------------------------------------

TEST(FloodFill, ConnectedAreaOrEverySimilarPixel) {
    DrawToolFixture f;
    f.colours.back = RGB(0, 255, 0);
    f.colours.fore = RGB(0, 0, 255);
    Ref<CDrawObj> o = f.AddImage(30, 10, RGB(200, 0, 0), 0, 0);
    // A dark column splits the red; one pixel on the right is close enough to match.
    for (int y = 0; y < 10; ++y) {
        BYTE* p = o->content->raster.Pixel32(10, y);
        p[0] = p[1] = p[2] = 0;
    }
    o->content->raster.Pixel32(20, 5)[2] = 210;
    const PackedDib before = o->content->raster.Clone();
    f.view->SelectTool(ToolFlood);
    f.Click(2, 2);
    EXPECT_TRUE(o->IsSelected());
    EXPECT_EQ(PixelOf(*o, 5, 5), Argb(RGB(0, 255, 0), 255));
    EXPECT_EQ(PixelOf(*o, 10, 5), 0xFF000000u);
    EXPECT_EQ(PixelOf(*o, 25, 5), kOpaqueRed);
    EXPECT_EQ(f.Label(), strings::kUndoFlood);
    f.doc.OnEditUndo();
    EXPECT_TRUE(SameBytes(o->content->raster, before));

    // Every similar pixel, with the right button's foreground colour, half transparent.
    f.settings.FloodAdjacentArea = 0;
    f.settings.FloodOpacity = 128;
    f.view->OnRButtonDown(kMkRButton, f.At(2, 2));
    EXPECT_TRUE(f.host.menus.empty());
    const std::uint32_t p = PixelOf(*o, 25, 5);
    EXPECT_EQ(p >> 24, 255u);
    EXPECT_GT(p & 0xFF, 0u);
    EXPECT_GT((p >> 16) & 0xFF, 0u);
    EXPECT_NE(PixelOf(*o, 20, 5) & 0xFF, 0u); // within the tolerance of 32
    EXPECT_EQ(PixelOf(*o, 10, 5), 0xFF000000u);

    // With Similarity 0 the near pixel stays.
    f.doc.OnEditUndo();
    f.settings.FloodSimilarity = 0;
    f.Click(2, 2);
    EXPECT_EQ(PixelOf(*o, 20, 5) & 0xFF, 0u);
}

TEST(FloodFill, SelectionLimitsTheFillAndClicksOutsideItAreRefused) {
    DrawToolFixture f;
    Ref<CDrawObj> o = f.AddImage(40, 40, RGB(200, 0, 0), 0, 0);
    f.colours.back = RGB(0, 255, 0);
    f.Select(RECT{0, 0, 20, 40});
    f.view->SelectTool(ToolFlood);
    f.Click(30, 5);
    EXPECT_EQ(f.Messages(), std::vector<std::string>{strings::kFloodOutsideSelection});
    EXPECT_EQ(f.UndoCount(), 0u);
    f.Click(5, 5);
    EXPECT_EQ(PixelOf(*o, 19, 30), Argb(RGB(0, 255, 0), 255));
    EXPECT_EQ(PixelOf(*o, 20, 30), kOpaqueRed);
}

TEST(FloodFill, TransparentSeedGrowsTheObjectAndKeepsItsOwnPixels) {
    DrawToolFixture f(40, 30);
    f.colours.back = RGB(0, 255, 0);
    Ref<CDrawObj> o = f.AddImage(10, 10, RGB(200, 0, 0), 20, 10);
    // A translucent pixel of the object must come through the fill unchanged.
    o->content->raster.Pixel32(0, 0)[3] = 100;
    const PackedDib before = o->content->raster.Clone();
    f.view->SelectTool(ToolFlood);

    f.settings.FloodTransparence = 0;
    f.Click(5, 5);
    EXPECT_EQ(f.Messages(), std::vector<std::string>{strings::kFloodTransparentOff});
    f.settings.FloodTransparence = 1;
    f.Select(RECT{0, 0, 40, 20});
    f.Click(5, 5);
    EXPECT_EQ(o->Position(), (POINT{0, 0}));
    EXPECT_EQ(o->content->raster.Width(), 40);
    EXPECT_EQ(o->content->raster.Height(), 20);
    EXPECT_EQ(PixelOf(*o, 5, 5), Argb(RGB(0, 255, 0), 255));
    EXPECT_EQ(PixelOf(*o, 20, 10), (100u << 24) | 0xC80000u);
    EXPECT_EQ(PixelOf(*o, 25, 15), kOpaqueRed);
    EXPECT_EQ(f.Label(), strings::kUndoFlood);

    f.doc.OnEditUndo();
    EXPECT_EQ(o->Position(), (POINT{20, 10}));
    EXPECT_TRUE(SameBytes(o->content->raster, before));
    f.doc.OnEditRedo();
    EXPECT_EQ(o->Position(), (POINT{0, 0}));
}

// --- cut, delete and copy of a selection ---------------------------------------------------------

TEST(CutDelete, WithoutSelectionRemovesTheSelectedObjects) {
    DrawToolFixture f;
    Ref<CDrawObj> a = f.AddImage(10, 10, RGB(200, 0, 0), 0, 0);
    Ref<CDrawObj> b = f.AddImage(10, 10, RGB(0, 200, 0), 20, 0);
    b->content->selected = 1;
    const std::string start = f.Dump();
    EXPECT_FALSE(CmdDeleteSelection(*f.view, f.ui)); // answered No
    ASSERT_EQ(f.ui.shown.size(), 1u);
    EXPECT_EQ(f.ui.shown[0].text, strings::kAskClearSelection);
    EXPECT_EQ(f.ui.shown[0].caption, strings::kAppTitle);

    f.ui.answers = {true};
    ASSERT_TRUE(CmdCut(*f.view, f.clipboard, f.ui));
    EXPECT_EQ(f.Objects().Count(), 1);
    EXPECT_EQ(f.Label(), strings::kUndoCut);
    EXPECT_TRUE(f.clipboard.block);
    const std::string end = f.Dump();
    f.doc.OnEditUndo();
    EXPECT_EQ(f.Dump(), start);
    f.doc.OnEditRedo();
    EXPECT_EQ(f.Dump(), end);
}

TEST(CutDelete, SelectionClearsCoveredPixelsTrimsAndRemovesEmptiedObjects) {
    DrawToolFixture f;
    Ref<CDrawObj> a = f.AddImage(20, 10, RGB(200, 0, 0), 0, 0);
    Ref<CDrawObj> b = f.AddImage(5, 5, RGB(0, 200, 0), 2, 2);
    Ref<CDrawObj> untouched = f.AddImage(5, 5, RGB(0, 0, 200), 60, 60);
    for (const auto& o : f.Objects())
        o->content->selected = 1;
    const std::string start = f.Dump();
    f.Select(RECT{0, 0, 10, 10});
    f.ui.answers = {true};
    ASSERT_TRUE(CmdDeleteSelection(*f.view, f.ui));
    // The left half went: the rest moved to where its pixels start.
    EXPECT_EQ(a->Position(), (POINT{10, 0}));
    EXPECT_EQ(a->content->raster.Width(), 10);
    EXPECT_EQ(f.Objects().IndexOf(b.Get()), -1);
    EXPECT_EQ(untouched->content->raster.Width(), 5);
    EXPECT_EQ(f.Label(), strings::kUndoCutDelete);
    const std::string end = f.Dump();
    f.doc.OnEditUndo();
    EXPECT_EQ(f.Dump(), start);
    f.doc.OnEditRedo();
    EXPECT_EQ(f.Dump(), end);

    // Nothing left under the selection.
    f.ui.answers = {true};
    EXPECT_FALSE(CmdDeleteSelection(*f.view, f.ui));
    EXPECT_EQ(f.Messages().back(), strings::kCopyEmpty);
    EXPECT_EQ(f.Dump(), end);
}

TEST(CutDelete, ShapeInTheSelectionIsAskedAboutAndSkippedOnNo) {
    DrawToolFixture f;
    Ref<CDrawObj> shape = f.Add(ShapeObject(0, 0));
    shape->content->selected = 1;
    f.Select(RECT{0, 0, 5, 6});
    f.ui.answers = {true, false};
    EXPECT_FALSE(CmdCut(*f.view, f.clipboard, f.ui));
    EXPECT_EQ(f.ui.shown[1].text, Format(strings::kConvertAsk, "Rectangle - 1", strings::kVerbCutPortion));
    EXPECT_TRUE(shape->content->shape);
    f.ui.answers = {true, true};
    ASSERT_TRUE(CmdCut(*f.view, f.clipboard, f.ui));
    EXPECT_FALSE(shape->content->shape);
    EXPECT_EQ(shape->Position(), (POINT{5, 0}));
    f.doc.OnEditUndo();
    EXPECT_TRUE(shape->content->shape);
    EXPECT_EQ(shape->Position(), (POINT{0, 0}));
}

TEST(CopySelection, PartlyCoveredObjectsTravelAsCutOuts) {
    DrawToolFixture f;
    Ref<CDrawObj> a = f.AddImage(20, 10, RGB(200, 0, 0), 10, 10);
    a->content->selected = 1;
    a->transparency = 55;
    f.Select(RECT{0, 0, 15, 80});
    ASSERT_TRUE(CmdCopy(f.doc, f.clipboard, f.ui));
    ASSERT_TRUE(CmdPaste(f.doc, f.clipboard));
    const Ref<CDrawObj>& pasted = f.Objects().Tail();
    EXPECT_EQ(pasted->Position(), (POINT{10, 10}));
    EXPECT_EQ(pasted->content->raster.Width(), 5);
    EXPECT_EQ(pasted->transparency, 0);
    EXPECT_EQ(PixelOf(*pasted, 12, 12), (200u << 24) | 0xC80000u); // the transparency applied

    // Wholly covered, the object itself goes, with its transparency.
    f.Select(RECT{0, 0, 100, 80});
    a->content->selected = 1;
    pasted->content->selected = 0;
    ASSERT_TRUE(CmdCopy(f.doc, f.clipboard, f.ui));
    ASSERT_TRUE(CmdPaste(f.doc, f.clipboard));
    const Ref<CDrawObj>& whole = f.Objects().At(1); // pasted above the selected object
    EXPECT_EQ(whole->transparency, 55);
    EXPECT_EQ(whole->content->raster.Width(), 20);

    // A selection beside the object copies nothing.
    f.Select(RECT{50, 50, 60, 60});
    EXPECT_FALSE(CmdCopy(f.doc, f.clipboard, f.ui));
    EXPECT_EQ(f.Messages().back(), strings::kCopyEmpty);
}

} // namespace
} // namespace zepho::test
