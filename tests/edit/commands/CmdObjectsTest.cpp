// New, duplicate, delete, trim, combine, make frame, properties and the objects panel's controls.
#include "edit/commands/CmdObjects.h"
#include "edit/CmdTestUtil.h"
#include "edit/commands/CmdPanel.h"
#include "edit/commands/CommandStrings.h"
#include "edit/undo/UndoStrings.h"
#include "model/ModelStrings.h"

using namespace zepho;
using namespace zepho::test;

TEST(CmdObjects, NewObjectIsATransparentCanvasOnTopAndTheOnlySelection) {
    CmdFixture f;
    f.AddImage("A", 5, 5, 1, 1, true);
    const std::string before = f.Dump();
    const int changed = f.log.changed;
    ASSERT_TRUE(CmdNewObject(f.doc));
    const Ref<CDrawObj> top = f.Objects().Tail();
    EXPECT_EQ(top->content->name, "Obj - 1");
    EXPECT_EQ(top->GetSize().cx, 100);
    EXPECT_EQ(top->GetSize().cy, 80);
    EXPECT_FALSE(IsOpaqueAt(top->content->raster, POINT{50, 40}));
    EXPECT_TRUE(top->IsSelected() && top->visible);
    EXPECT_FALSE(f.Objects().Head()->IsSelected());
    EXPECT_EQ(f.Label(), strings::kUndoNewObject);
    EXPECT_TRUE(f.doc.IsModified());
    EXPECT_GT(f.log.changed, changed);
    f.ExpectUndoRedo(before, f.Dump());
}

TEST(CmdObjects, DuplicateInsertsNamedCopiesAboveTheTopmostSelectedOriginal) {
    CmdFixture f;
    f.AddImage("A", 4, 4, 1, 2, true)->transparency = 30;
    f.AddImage("B", 4, 4, 0, 0, false);
    f.AddShape("C", 7, 8, true)->locked = 1;
    f.AddImage("D", 4, 4, 0, 0, false);
    f.doc.counters[COrvaneDoc::CounterImage] = 5;
    const std::string before = f.Dump();
    ASSERT_TRUE(CmdDuplicate(f.doc, PanelItems(f.doc.Image(), true)));
    EXPECT_EQ(f.Order(), "A,B,C,Obj - 5,Rectangle - 1,D");
    const Ref<CDrawObj> a2 = f.Objects().At(3), c2 = f.Objects().At(4);
    EXPECT_EQ(a2->x, 1);
    EXPECT_EQ(a2->transparency, 30);
    EXPECT_EQ(c2->locked, 1);
    EXPECT_EQ(c2->content->kind, KindRectangle);
    EXPECT_NE(c2->content->shape, f.Objects().At(2)->content->shape) << "a copy, not a shared shape";
    EXPECT_TRUE(a2->IsSelected() && c2->IsSelected());
    EXPECT_FALSE(f.Objects().At(0)->IsSelected() || f.Objects().At(2)->IsSelected());
    f.ExpectUndoRedo(before, f.Dump());

    // Nothing selected: nothing recorded.
    f.doc.Image().DeselectAll();
    const std::size_t steps = f.doc.UndoManager().UndoCount();
    EXPECT_FALSE(CmdDuplicate(f.doc, PanelItems(f.doc.Image(), true)));
    EXPECT_EQ(f.doc.UndoManager().UndoCount(), steps);
}

TEST(CmdObjects, DeleteRemovesTheSelectedAndUndoPutsThemBack) {
    CmdFixture f;
    f.AddImage("A", 4, 4, 0, 0, true);
    f.AddImage("B", 4, 4, 0, 0, false);
    f.AddImage("C", 4, 4, 0, 0, true);
    const std::string before = f.Dump();
    ASSERT_TRUE(CmdDeleteObjects(f.doc));
    EXPECT_EQ(f.Order(), "B");
    EXPECT_EQ(f.Label(), strings::kUndoDelete);
    f.ExpectUndoRedo(before, f.Dump());
    f.doc.Image().DeselectAll();
    EXPECT_FALSE(CmdDeleteObjects(f.doc));
}

TEST(CmdObjects, TrimCropsMarginsAndReportsEmptyAndUntrimmableObjects) {
    CmdFixture f;
    Ref<CDrawObj> framed = f.AddImage("Framed", 10, 8, 5, 6, true);
    FillAlphaRect(framed->content->raster, RECT{0, 0, 10, 8}, 0);
    FillAlphaRect(framed->content->raster, RECT{2, 3, 7, 5}, 255);
    Ref<CDrawObj> empty = f.AddImage("Hollow", 4, 4, 0, 0, true);
    FillAlphaRect(empty->content->raster, RECT{0, 0, 4, 4}, 0);
    f.AddShape("Shape", 0, 0, true); // vector objects are never trimmed
    const std::string before = f.Dump();
    ASSERT_TRUE(CmdTrim(f.doc, f.ui));
    EXPECT_EQ(framed->x, 7);
    EXPECT_EQ(framed->y, 9);
    EXPECT_EQ(framed->GetSize().cx, 5);
    EXPECT_EQ(framed->GetSize().cy, 2);
    ASSERT_EQ(f.ui.shown.size(), 1u);
    EXPECT_EQ(f.ui.shown[0].text, "The object \"Hollow\" can not be trimed as it is empty!");
    EXPECT_EQ(f.ui.shown[0].caption, strings::kAppTitle);
    EXPECT_EQ(f.Label(), strings::kUndoTrim);
    f.ExpectUndoRedo(before, f.Dump());

    // Trimmed already: nothing left to crop, nothing recorded.
    f.ui.shown.clear();
    f.doc.Image().DeselectAll();
    framed->content->selected = 1;
    const std::size_t steps = f.doc.UndoManager().UndoCount();
    EXPECT_FALSE(CmdTrim(f.doc, f.ui));
    EXPECT_EQ(f.Messages(), std::vector<std::string>{strings::kTrimNothing});
    EXPECT_EQ(f.doc.UndoManager().UndoCount(), steps);
}

TEST(CmdObjects, CombineComposesTheSelectionWhereTheTopmostWas) {
    CmdFixture f;
    Ref<CDrawObj> a = f.AddImage("A", 4, 4, 10, 10, true, RGB(255, 0, 0));
    f.AddImage("U", 4, 4, 0, 0, false);
    f.AddImage("B", 4, 4, 40, 60, true, RGB(0, 0, 255))->transparency = 255;
    f.AddImage("T", 4, 4, 0, 0, false);
    a->content->shadowOffsetX = 3;
    a->content->shadowOffsetY = 3;
    a->content->UpdateShadow();
    const std::string before = f.Dump();
    ASSERT_TRUE(CmdCombine(f.doc, f.ui));
    EXPECT_EQ(f.Order(), "U,Obj - 1,T");
    const Ref<CDrawObj> c = f.Objects().At(1);
    const RECT expect = UnionRects(a->GetBounds(), RECT{40, 60, 44, 64});
    EXPECT_EQ(c->x, expect.left);
    EXPECT_EQ(c->y, expect.top);
    EXPECT_EQ(c->GetSize().cx, expect.right - expect.left);
    EXPECT_EQ(c->GetSize().cy, expect.bottom - expect.top);
    EXPECT_EQ(c->content->PixelAt(10 - c->x, 10 - c->y), 0xFFFF0000u);
    // The fully transparent object adds nothing.
    EXPECT_EQ(c->content->PixelAt(41 - c->x, 61 - c->y) >> 24, 0u);
    EXPECT_TRUE(c->visible && c->IsSelected());
    EXPECT_EQ(f.Label(), strings::kUndoCombine);
    f.ExpectUndoRedo(before, f.Dump());

    f.doc.Image().DeselectAll();
    f.Objects().At(0)->content->selected = 1;
    f.Objects().At(0)->visible = 0;
    EXPECT_FALSE(CmdCombine(f.doc, f.ui));
    EXPECT_EQ(f.Messages(), std::vector<std::string>{strings::kCombineNeedVisible});
}

TEST(CmdObjects, MakeFrameHidesTheOriginalsAndUndoShowsThemAgain) {
    CmdFixture f;
    f.AddImage("A", 4, 4, 0, 0, true, RGB(255, 0, 0));
    f.AddImage("Hidden", 4, 4, 0, 0, false)->visible = 0;
    f.AddImage("B", 4, 4, 2, 2, false, RGB(0, 255, 0));
    const std::string before = f.Dump();
    ASSERT_TRUE(CmdMakeFrame(f.doc));
    ASSERT_EQ(f.Objects().Count(), 4);
    const Ref<CDrawObj> frame = f.Objects().Tail();
    EXPECT_EQ(frame->GetSize().cx, 100);
    EXPECT_EQ(frame->content->PixelAt(0, 0), 0xFFFF0000u);
    EXPECT_EQ(frame->content->PixelAt(3, 3), 0xFF00FF00u);
    for (int i = 0; i < 3; ++i)
        EXPECT_FALSE(f.Objects().At(i)->visible);
    EXPECT_TRUE(frame->visible && frame->IsSelected());
    EXPECT_EQ(f.Label(), strings::kUndoMakeFrame);
    const std::string after = f.Dump();
    f.doc.OnEditUndo();
    EXPECT_EQ(f.Order(), "A,Hidden,B");
    EXPECT_TRUE(f.Objects().At(0)->visible && f.Objects().At(2)->visible);
    EXPECT_FALSE(f.Objects().At(1)->visible);
    f.doc.OnEditRedo();
    f.ExpectUndoRedo(before, after);
}

TEST(CmdObjects, PropertiesNeedsOneVisibleSelectedObject) {
    CmdFixture f;
    Ref<CDrawObj> a = f.AddImage("A", 4, 4, 0, 0, true);
    f.AddImage("H", 4, 4, 0, 0, true)->visible = 0;
    EXPECT_EQ(CmdPropertiesTarget(f.doc, f.ui), a);
    f.AddImage("B", 4, 4, 0, 0, true);
    EXPECT_FALSE(CmdPropertiesTarget(f.doc, f.ui));
    EXPECT_EQ(f.Messages(), std::vector<std::string>{strings::kSelectOneVisible});
}

TEST(CmdPanel, EyeActsOnTheSelectionWhenTheClickedItemIsSelected) {
    CmdFixture f;
    Ref<CDrawObj> a = f.AddImage("A", 4, 4, 0, 0, true);
    Ref<CDrawObj> b = f.AddImage("B", 4, 4, 0, 0, false);
    Ref<CDrawObj> c = f.AddImage("C", 4, 4, 0, 0, true);
    const std::string before = f.Dump();
    // Panel order is top first: C, B, A.
    ASSERT_TRUE(CmdToggleVisible(f.doc, f.settings, PanelItems(f.doc.Image(), true), 0));
    EXPECT_FALSE(a->visible || c->visible);
    EXPECT_TRUE(b->visible);
    EXPECT_EQ(f.Label(), strings::kUndoShowHide);
    f.ExpectUndoRedo(before, f.Dump());

    // An unselected item changes alone.
    ASSERT_TRUE(CmdToggleLock(f.doc, PanelItems(f.doc.Image(), true), 1));
    EXPECT_EQ(b->locked, 1);
    EXPECT_EQ(a->locked, 0);
    EXPECT_EQ(f.Label(), strings::kUndoLock);
}

TEST(CmdPanel, VisibleOnlyListingDeselectsWhatItHidesAndRebuilds) {
    CmdFixture f;
    f.settings.ShowAllItems = 0;
    Ref<CDrawObj> a = f.AddImage("A", 4, 4, 0, 0, true);
    f.AddImage("Gone", 4, 4, 0, 0, false)->visible = 0;
    Ref<CDrawObj> c = f.AddImage("C", 4, 4, 0, 0, true);
    const auto items = PanelItems(f.doc.Image(), false);
    ASSERT_EQ(items.size(), 2u);
    const int changed = f.log.changed;
    ASSERT_TRUE(CmdToggleVisible(f.doc, f.settings, items, 1));
    EXPECT_FALSE(a->visible || c->visible);
    EXPECT_FALSE(a->IsSelected() || c->IsSelected());
    EXPECT_GT(f.log.changed, changed);
    f.doc.OnEditUndo();
    EXPECT_TRUE(a->visible && c->visible);
    EXPECT_TRUE(a->IsSelected() && c->IsSelected());
}

TEST(CmdPanel, TransparencySetsEverySelectedItemInOneStep) {
    CmdFixture f;
    Ref<CDrawObj> a = f.AddImage("A", 4, 4, 0, 0, true);
    Ref<CDrawObj> b = f.AddImage("B", 4, 4, 0, 0, true);
    Ref<CDrawObj> u = f.AddImage("U", 4, 4, 0, 0, false);
    a->transparency = 10;
    b->transparency = 20;
    const std::string before = f.Dump();
    ASSERT_TRUE(CmdSetTransparency(f.doc, PanelItems(f.doc.Image(), true), 256 + 60));
    EXPECT_EQ(a->transparency, 60);
    EXPECT_EQ(b->transparency, 60);
    EXPECT_EQ(u->transparency, 0);
    EXPECT_EQ(f.doc.UndoManager().UndoCount(), 1u);
    EXPECT_EQ(f.Label(), strings::kUndoOpacity);
    f.ExpectUndoRedo(before, f.Dump());
    // The same value again is no new step.
    EXPECT_FALSE(CmdSetTransparency(f.doc, PanelItems(f.doc.Image(), true), 60));
    EXPECT_EQ(f.doc.UndoManager().UndoCount(), 1u);
}
