// Resize Image, Resize Canvas and the field logic of their dialogs.
#include "edit/commands/CmdResize.h"
#include "edit/CmdTestUtil.h"
#include "edit/dialogs/ResizeModels.h"
#include "edit/undo/UndoStrings.h"

using namespace zepho;
using namespace zepho::test;

TEST(ResizeFields, RatioKeptFollowsTheTableOfRules) {
    CResizeFields w(100, 50, true);
    EXPECT_EQ(w.GetMode(), CResizeFields::Pixels);
    EXPECT_TRUE(w.PixelFieldsEnabled() && !w.PercentFieldsEnabled());
    w.SetPixelWidth(150);
    EXPECT_EQ(w.WidthPercent(), 150);
    EXPECT_EQ(w.HeightPercent(), 150);
    EXPECT_EQ(w.PixelHeight(), 75);
    w.SetPixelHeight(33);
    EXPECT_EQ(w.HeightPercent(), 66);
    EXPECT_EQ(w.WidthPercent(), 66);
    EXPECT_EQ(w.PixelWidth(), 66);
    w.SetWidthPercent(33);
    EXPECT_EQ(w.PixelWidth(), 33);
    EXPECT_EQ(w.PixelHeight(), 17); // 16.5 rounds up
    w.SetHeightPercent(57);
    EXPECT_EQ(w.PixelHeight(), 29); // 28.5 rounds up
    EXPECT_EQ(w.PixelWidth(), 57);  // 57 * 100 / 100
    EXPECT_TRUE(w.Changed());
}

TEST(ResizeFields, WithoutRatioOnlyTheOwnPercentageFollows) {
    CResizeFields f(3, 7, false);
    f.SetPixelWidth(5);
    EXPECT_EQ(f.WidthPercent(), 166); // 500 / 3 truncated
    EXPECT_EQ(f.PixelHeight(), 7);
    EXPECT_EQ(f.HeightPercent(), 100);
    f.SetPixelHeight(5);
    EXPECT_EQ(f.HeightPercent(), 71); // 71.43
    EXPECT_EQ(f.PixelWidth(), 5);
}

TEST(ResizeFields, RangesGrowWithLargeDocumentsAndClampEveryField) {
    CResizeFields big(3000, 10, true);
    EXPECT_EQ(big.MaxPixelWidth(), 3000);
    EXPECT_EQ(big.MinWidthPercent(), 1);
    EXPECT_EQ(big.MaxWidthPercent(), 100);
    EXPECT_EQ(big.MinHeightPercent(), 10);
    EXPECT_EQ(big.MaxHeightPercent(), 20000);
    big.SetWidthPercent(0);
    EXPECT_EQ(big.WidthPercent(), 1);
    EXPECT_EQ(big.PixelWidth(), 30);
    EXPECT_EQ(big.PixelHeight(), 1) << "0.1 pixel is still one pixel";
    big.SetPixelWidth(100000);
    EXPECT_EQ(big.PixelWidth(), 3000);
    EXPECT_EQ(big.PixelHeight(), 10);
    CResizeFields empty(0, 0, true);
    empty.SetPixelWidth(10);
    EXPECT_EQ(empty.PixelHeight(), 10);
}

TEST(ResizeModels, DialogsReadAndWriteTheirSettings) {
    CAppSettings s;
    s.PreserveRatio = 0;
    s.ReferencePos = 12;
    s.HorzOffset = -5;
    s.VertOffset = 4000;
    CResizeCanvasModel canvas(10, 10, s);
    EXPECT_FALSE(canvas.Fields().PreserveRatio());
    EXPECT_EQ(canvas.AnchorCell(), 0);
    EXPECT_EQ(canvas.HorzOffset(), -5);
    EXPECT_EQ(canvas.VertOffset(), 0);
    canvas.SetByOffset(true);
    canvas.SetAnchorCell(8);
    canvas.SetAnchorCell(9);
    canvas.SetVertOffset(-2000);
    canvas.Fields().SetPreserveRatio(true);
    canvas.Commit(s);
    EXPECT_EQ(s.ResizingReference, 1);
    EXPECT_EQ(s.ReferencePos, 8);
    EXPECT_EQ(s.VertOffset, -1000);
    EXPECT_EQ(s.PreserveRatio, 1);
    CResizeImageModel image(10, 10, s);
    image.Fields().SetPreserveRatio(false);
    image.Commit(s);
    EXPECT_EQ(s.PreserveRatio, 0);
}

TEST(CmdResizeCanvas, AnchorsAndOffsetsMoveTheObjects) {
    CmdFixture f;
    f.doc.Image().width = 100;
    f.doc.Image().height = 100;
    Ref<CDrawObj> a = f.AddImage("A", 4, 4, 10, 20, false);
    f.settings.ReferencePos = 4;
    const std::string before = f.Dump();
    ASSERT_TRUE(CmdResizeCanvas(f.doc, f.view.get(), 151, 100, f.settings));
    EXPECT_EQ(a->x, 35);
    EXPECT_EQ(a->y, 20);
    EXPECT_EQ(f.doc.Image().width, 151);
    EXPECT_EQ(f.Label(), strings::kUndoResizeCanvas);
    f.ExpectUndoRedo(before, f.Dump());

    f.settings.ReferencePos = 8;
    ASSERT_TRUE(CmdResizeCanvas(f.doc, f.view.get(), 141, 90, f.settings));
    EXPECT_EQ(a->x, 25);
    EXPECT_EQ(a->y, 10);

    f.settings.ResizingReference = 1;
    f.settings.HorzOffset = f.settings.VertOffset = 0;
    ASSERT_TRUE(CmdResizeCanvas(f.doc, f.view.get(), 50, 60, f.settings));
    EXPECT_EQ(a->x, 25);
    EXPECT_EQ(a->y, 10);
    EXPECT_EQ(f.doc.Image().height, 60);
    EXPECT_FALSE(CmdResizeCanvas(f.doc, f.view.get(), 50, 60, f.settings)) << "same size, no step";
    EXPECT_EQ(CanvasShift(f.settings, -7, 9).x, 0);
    f.settings.ResizingReference = 0;
    f.settings.ReferencePos = 7;
    EXPECT_EQ(CanvasShift(f.settings, -7, 9).x, -3) << "halves truncate toward zero";
    EXPECT_EQ(CanvasShift(f.settings, -7, 9).y, 9);
}

TEST(CmdResizeImage, ScalesPositionsContentsAndShadowsAndUndoesExactly) {
    CmdFixture f; // canvas 100 x 80
    Ref<CDrawObj> a = f.AddImage("A", 10, 6, 11, 21, false, RGB(40, 50, 60));
    a->content->shadowOffsetX = 5;
    a->content->shadowOffsetY = 5;
    a->content->filter = 0;
    a->content->UpdateShadow();
    Ref<CDrawObj> s = f.AddShape("S", 30, 40, false);
    s->content->shadowOffsetY = -3;
    const std::string before = f.Dump();
    ASSERT_TRUE(CmdResizeImage(f.doc, f.view.get(), 200, 40));
    EXPECT_EQ(f.doc.Image().width, 200);
    EXPECT_EQ(f.doc.Image().height, 40);
    EXPECT_EQ(a->x, 22);
    EXPECT_EQ(a->y, 11); // 10.5 rounds up
    EXPECT_EQ(a->content->kind, KindImage);
    EXPECT_EQ(a->GetSize().cx, 20);
    EXPECT_EQ(a->GetSize().cy, 3);
    EXPECT_EQ(a->content->PixelAt(19, 2), 0xFF28323Cu);
    EXPECT_EQ(a->content->shadowOffsetX, 10);
    EXPECT_EQ(a->content->shadowOffsetY, 3);
    EXPECT_TRUE(a->content->HasShadow());
    EXPECT_EQ(s->GetSize().cx, 20);
    EXPECT_EQ(s->GetSize().cy, 3);
    EXPECT_EQ(s->content->shadowOffsetY, -1); // -1.5 rounds up
    EXPECT_EQ(f.Label(), strings::kUndoResizeAnim);
    f.ExpectUndoRedo(before, f.Dump());
    EXPECT_FALSE(CmdResizeImage(f.doc, f.view.get(), 200, 40));
    EXPECT_FALSE(CmdResizeImage(f.doc, f.view.get(), 0, 40));
}
