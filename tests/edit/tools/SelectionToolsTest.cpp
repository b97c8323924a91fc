// The selection tools driven through the view's mouse entry points, the selection commands and
// their undo records.
#include "edit/DrawToolTestUtil.h"

#include "edit/commands/CmdClipboard.h"
#include "edit/commands/CmdSelection.h"
#include "edit/undo/UndoStrings.h"
#include "model/ClipRecord.h"
#include "model/ModelStrings.h"

#include <gtest/gtest.h>

namespace zepho::test {
namespace {

TEST(SelectionTools, RectangleGetsItsRoundCornersAndUndoesToNoSelection) {
    DrawToolFixture f;
    f.settings.SelectionRoundCorner = 50;
    f.view->SelectTool(ToolRectSelect);
    f.Click(20, 20);
    EXPECT_FALSE(f.Sel());
    EXPECT_EQ(f.UndoCount(), 0u);

    // 40 x 20: a corner of floor(50 * 20 * 0.02 + 0.5) = 20, dragged from either corner.
    f.Drag({{50, 30}, {30, 20}, {10, 10}});
    ASSERT_TRUE(f.Sel());
    EXPECT_EQ(*f.Sel(), Region::RoundRect(RECT{10, 10, 50, 30}, 20, 20));
    EXPECT_FALSE(f.Sel()->Contains(10, 10));
    EXPECT_TRUE(f.Sel()->Contains(30, 20));
    EXPECT_EQ(f.Label(), strings::kUndoRectSelection);
    EXPECT_EQ(f.host.captures, 2);
    EXPECT_FALSE(f.view->HasCapture());
    EXPECT_EQ(f.view->Drag().flags, 0u);

    f.doc.OnEditUndo();
    EXPECT_FALSE(f.Sel());
    EXPECT_EQ(f.RedoLabel(), "Redo Rectangular Selection");
    f.doc.OnEditRedo();
    EXPECT_EQ(*f.Sel(), Region::RoundRect(RECT{10, 10, 50, 30}, 20, 20));

    // The ellipse ignores the corner setting.
    f.view->SelectTool(ToolEllipseSelect);
    f.Drag({{60, 10}, {90, 50}});
    EXPECT_EQ(*f.Sel(), Region::Ellipse(RECT{60, 10, 90, 50}));
    EXPECT_EQ(f.Label(), strings::kUndoEllipseSelection);
}

TEST(SelectionTools, RubberBandShowsOnlyWhileDragging) {
    DrawToolFixture f;
    f.view->SelectTool(ToolRectSelect);
    f.view->OnLButtonDown(kMkLButton, f.At(10, 10));
    f.view->OnMouseMove(kMkLButton, f.At(30, 20));
    const Region band = f.view->RubberBand();
    EXPECT_FALSE(band.IsEmpty());
    // The band is drawn inverted: the white checker square under its corner turns black.
    const POINT corner = f.At(10, 10);
    const PackedDib shot = f.view->Render(RECT{corner.x, corner.y, corner.x + 1, corner.y + 1});
    EXPECT_EQ(shot.Pixel32(0, 0)[0], 0);
    f.view->OnLButtonUp(0, f.At(30, 20));
    EXPECT_TRUE(f.view->RubberBand().IsEmpty());
}

TEST(SelectionTools, ModifierKeysUniteOrSubtract) {
    DrawToolFixture f;
    const Region a = Region::Rect(0, 0, 30, 30);
    const Region b = Region::Rect(20, 20, 60, 60);

    // Ctrl over a rectangle that lies wholly inside the selection leaves nothing selected. The
    // drag starts on the selection's outer edge, which is not inside it.
    f.view->SelectTool(ToolRectSelect);
    f.Select(RECT{0, 0, 50, 50});
    f.Drag({{50, 50}, {10, 10}}, kMkControl);
    EXPECT_FALSE(f.Sel());
    f.doc.OnEditUndo();
    EXPECT_EQ(*f.Sel(), Region::Rect(0, 0, 50, 50));

    // Shift unites, Ctrl takes the old selection away; both together do the second too.
    f.view->SetSelection(a);
    f.Drag({{60, 60}, {20, 20}}, kMkShift);
    EXPECT_EQ(*f.Sel(), Region::Combine(a, b, CombineMode::Or));
    f.view->SetSelection(a);
    f.Drag({{60, 60}, {20, 20}}, kMkShift | kMkControl);
    EXPECT_EQ(*f.Sel(), Region::Combine(b, a, CombineMode::Diff));

    // The lasso with both keys only unites.
    f.view->SelectTool(ToolLasso);
    f.view->SetSelection(a);
    f.Drag({{60, 20}, {60, 60}, {20, 60}, {20, 20}}, kMkShift | kMkControl);
    EXPECT_EQ(*f.Sel(), Region::Combine(a, b, CombineMode::Or));
    EXPECT_EQ(f.Label(), strings::kUndoLassoSelection);
    f.view->SetSelection(a);
    f.Drag({{60, 20}, {60, 60}, {20, 60}, {20, 20}}, kMkControl);
    EXPECT_EQ(*f.Sel(), Region::Combine(b, a, CombineMode::Diff));

    // Without a selection the keys change nothing.
    f.view->SetSelection(std::nullopt);
    f.Drag({{60, 20}, {60, 60}, {20, 60}, {20, 20}}, kMkControl);
    EXPECT_EQ(*f.Sel(), b);
}

TEST(SelectionTools, LassoOfFewerThanThreePointsSelectsNothing) {
    DrawToolFixture f;
    f.view->SelectTool(ToolLasso);
    f.Drag({{10, 10}, {40, 40}});
    EXPECT_FALSE(f.Sel());
    EXPECT_EQ(f.UndoCount(), 0u);
    EXPECT_TRUE(f.view->Drag().lasso.empty());
}

TEST(SelectionTools, MagicWandConnectedOrGlobalAndOutsideTheCanvas) {
    DrawToolFixture f;
    f.AddImage(100, 80, RGB(200, 0, 0), 0, 0);
    f.AddImage(10, 80, RGB(0, 0, 200), 40, 0); // splits the red into two halves
    f.view->SelectTool(ToolMagicWand);
    f.Click(5, 5);
    ASSERT_TRUE(f.Sel());
    EXPECT_EQ(*f.Sel(), Region::Rect(0, 0, 40, 80));
    EXPECT_EQ(f.Label(), strings::kUndoMagicWandSelection);

    // Pressed inside the selection the wand drags it; beside it, global mode finds both halves.
    f.settings.ConnectedPixelsMagicWand = 0;
    f.view->SetSelection(Region::Rect(0, 0, 10, 10));
    f.Click(60, 5, kMkShift);
    EXPECT_EQ(*f.Sel(),
              Region::Combine(Region::Rect(0, 0, 40, 80), Region::Rect(50, 0, 100, 80), CombineMode::Or));

    // Beside the canvas the wand lets go of the selection, as an undoable step.
    const std::size_t before = f.UndoCount();
    f.Click(-5, -5);
    EXPECT_FALSE(f.Sel());
    EXPECT_EQ(f.UndoCount(), before + 1);
    f.doc.OnEditUndo();
    EXPECT_TRUE(f.Sel());
    // Without a selection nothing is recorded there.
    f.view->SetSelection(std::nullopt);
    f.Click(-5, -5);
    EXPECT_EQ(f.UndoCount(), before);
}

TEST(SelectionTools, DraggingInsideMovesTheSelectionByRoundedCanvasPixels) {
    DrawToolFixture f;
    f.view->SetZoom(2);
    f.view->SelectTool(ToolMagicWand); // every selection tool drags its selection
    f.Select(RECT{10, 10, 30, 30});
    const POINT p = f.At(15, 15);
    f.view->OnLButtonDown(kMkLButton, p);
    EXPECT_TRUE(f.view->HasCapture());
    f.view->OnMouseMove(kMkLButton, POINT{p.x + 5, p.y + 1});
    EXPECT_TRUE(f.view->SelectionDragging());
    // The region stays put until the release.
    EXPECT_EQ(*f.Sel(), Region::Rect(10, 10, 30, 30));
    f.view->OnLButtonUp(0, POINT{p.x + 5, p.y + 1});
    EXPECT_FALSE(f.view->SelectionDragging());
    EXPECT_EQ(*f.Sel(), Region::Rect(13, 11, 33, 31)); // floor(2.5 + 0.5), floor(0.5 + 0.5)
    EXPECT_EQ(f.Label(), strings::kUndoMoveSelection);
    EXPECT_TRUE(f.doc.IsModified());

    f.doc.OnEditUndo();
    EXPECT_EQ(*f.Sel(), Region::Rect(10, 10, 30, 30));
    EXPECT_EQ(f.RedoLabel(), strings::kUndoMoveSelection);
    f.doc.OnEditRedo();
    EXPECT_EQ(*f.Sel(), Region::Rect(13, 11, 33, 31));

    // A drag that rounds to nothing records nothing.
    const std::size_t count = f.UndoCount();
    f.view->OnLButtonDown(kMkLButton, f.At(15, 15));
    f.view->OnLButtonUp(0, f.At(15, 15));
    EXPECT_EQ(f.UndoCount(), count);
}

TEST(SelectionCommands, SelectAllInvertUnselectAndTheirUndo) {
    DrawToolFixture f;
    CmdInvertSelection(*f.view); // nothing selected: the whole canvas
    EXPECT_EQ(*f.Sel(), Region::Rect(0, 0, 100, 80));
    EXPECT_EQ(f.Label(), strings::kUndoInvertSelection);

    f.Select(RECT{0, 0, 50, 80});
    CmdInvertSelection(*f.view);
    EXPECT_EQ(*f.Sel(), Region::Rect(50, 0, 100, 80));
    CmdSelectAll(*f.view);
    EXPECT_EQ(*f.Sel(), Region::Rect(0, 0, 100, 80));
    EXPECT_EQ(f.Label(), strings::kUndoSelectAll);
    // Inverting everything leaves no selection.
    CmdInvertSelection(*f.view);
    EXPECT_FALSE(f.Sel());
    EXPECT_FALSE(CanUnselectAll(*f.view));
    EXPECT_FALSE(CmdUnselectAll(*f.view));
    EXPECT_EQ(f.Label(), strings::kUndoInvertSelection);

    f.doc.OnEditUndo();
    ASSERT_TRUE(CmdUnselectAll(*f.view));
    EXPECT_FALSE(f.Sel());
    EXPECT_EQ(f.Label(), strings::kUndoUnselectAll);
    f.doc.OnEditUndo();
    EXPECT_EQ(*f.Sel(), Region::Rect(0, 0, 100, 80));
    EXPECT_EQ(f.RedoLabel(), "Redo Unselect All");
    // The outline follows every exchange.
    EXPECT_TRUE(f.view->SelectionOutline());
}

} // namespace
} // namespace zepho::test

namespace zepho::test {
namespace {

TEST(SelectionCommands, EachWindowKeepsItsOwnSelectionThroughUndoAndCopy) {
    DrawToolFixture f;
    Ref<CDrawObj> obj = f.AddImage(100, 80, RGB(10, 20, 30), 0, 0);
    obj->content->selected = 1;
    // A second window on the same document, made current for the commands.
    auto second = std::make_unique<COrvaneView>(f.doc, &f.host);
    second->SetUiHost(&f.ui);
    second->OnInitialUpdate();
    second->SetSelection(Region::Rect(RECT{0, 0, 10, 10}));

    CmdSelectAll(*second);
    EXPECT_FALSE(f.view->Selection());
    f.doc.OnEditUndo();
    ASSERT_TRUE(second->Selection());
    EXPECT_EQ(second->Selection()->Bounds(), (RECT{0, 0, 10, 10}));
    EXPECT_FALSE(f.view->Selection()); // the first window was not touched

    // Copy takes the selection of the window it runs in: a 10 x 10 piece, not the whole object.
    ASSERT_TRUE(CmdCopy(f.doc, f.clipboard, f.ui, second.get()));
    std::vector<CClipItem> items = PasteFromClipboard(f.clipboard, [](int) { return std::string("p"); });
    ASSERT_EQ(items.size(), 1u);
    EXPECT_EQ(items[0].content->raster.Width(), 10);

    // Once that window has closed, its steps change nothing.
    CmdSelectAll(*second);
    second.reset();
    f.doc.OnEditUndo();
    EXPECT_FALSE(f.view->Selection());
}

TEST(SelectionCommands, CopyingOnlyTransparentPixelsLeavesTheClipboardAlone) {
    DrawToolFixture f;
    Ref<CDrawObj> obj = f.AddImage(100, 80, RGB(10, 20, 30), 0, 0, 0);
    obj->content->selected = 1;
    f.Select(RECT{5, 5, 15, 15});
    EXPECT_FALSE(CmdCopy(f.doc, f.clipboard, f.ui));
    EXPECT_FALSE(f.clipboard.HasPrivate());
    ASSERT_EQ(f.ui.shown.size(), 1u);
}

} // namespace
} // namespace zepho::test
