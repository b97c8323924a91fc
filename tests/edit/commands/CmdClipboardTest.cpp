// Copy, Copy Merged and Paste through an in-memory clipboard.
#include "edit/commands/CmdClipboard.h"
#include "edit/CmdTestUtil.h"
#include "edit/commands/CommandStrings.h"
#include "edit/undo/UndoStrings.h"
#include "model/ClipRecord.h"

using namespace zepho;
using namespace zepho::test;

namespace {
std::vector<CClipItem> Items(const MemoryClipboard& clip) {
    return PasteFromClipboard(clip, [](int) { return std::string("x"); });
}
} // namespace

TEST(CmdClipboard, CopyThenPasteIntoAnotherDocumentKeepsKindsShadowsAndTransparency) {
    CmdFixture src;
    MemoryClipboard clip;
    Ref<CDrawObj> plain = src.AddImage("Plain", 6, 5, 3, 4, true, RGB(9, 8, 7));
    plain->transparency = 40;
    plain->content->shadowOffsetX = -2;
    plain->content->shadowColour = RGB(0, 0, 200);
    plain->content->UpdateShadow();
    Ref<CDrawObj> warped = src.AddImage("Warped", 8, 4, 20, 21, true, RGB(1, 200, 3));
    ASSERT_TRUE(warped->content->TransformContent(1.0, 2.0, 30.0));
    src.AddImage("Unselected", 2, 2, 0, 0, false);
    ASSERT_TRUE(CmdCopy(src.doc, clip, src.ui));

    CmdFixture dst;
    dst.AddImage("Low", 2, 2, 0, 0, true);
    dst.AddImage("Top", 2, 2, 0, 0, false);
    const std::string before = dst.Dump();
    ASSERT_TRUE(CmdPaste(dst.doc, clip));
    EXPECT_EQ(dst.Order(), "Low,Obj - 1,Obj - 2,Top") << "above the highest selected object, new names";
    const Ref<CDrawObj> p1 = dst.Objects().At(1), p2 = dst.Objects().At(2);
    EXPECT_EQ(p1->x, 3);
    EXPECT_EQ(p1->y, 4);
    EXPECT_EQ(p1->transparency, 40);
    ASSERT_TRUE(p1->content->HasShadow());
    EXPECT_EQ(p1->content->shadowOffsetX, -2);
    EXPECT_EQ(DibChecksum(p1->content->shadowRaster), DibChecksum(plain->content->shadowRaster));
    EXPECT_EQ(DibChecksum(p1->content->raster), DibChecksum(plain->content->raster));
    EXPECT_EQ(p2->content->kind, KindTransformedImage);
    EXPECT_EQ(DibChecksum(p2->content->raster), DibChecksum(warped->content->raster));
    EXPECT_TRUE(p1->IsSelected() && p2->IsSelected());
    EXPECT_FALSE(dst.Objects().At(0)->IsSelected());
    EXPECT_EQ(dst.Label(), strings::kUndoPaste);
    dst.ExpectUndoRedo(before, dst.Dump());
}

TEST(CmdClipboard, PasteTakesAPlainBitmapAsOneImageAndNothingOtherwise) {
    CmdFixture f;
    MemoryClipboard clip;
    EXPECT_FALSE(CmdPaste(f.doc, clip));
    EXPECT_EQ(f.doc.UndoManager().UndoCount(), 0u);
    PackedDib dib = CreateDIB(3, 2, 24);
    clip.SetContents(nullptr, &dib);
    f.AddImage("Only", 2, 2, 5, 5, false);
    ASSERT_TRUE(CmdPaste(f.doc, clip));
    EXPECT_EQ(f.Order(), "Only,Obj - 1");
    EXPECT_EQ(f.Objects().Tail()->x, 0);
    EXPECT_EQ(f.Objects().Tail()->content->bitCount, 32);
}

TEST(CmdClipboard, CopyWithoutSelectedVisibleObjectsLeavesTheClipboard) {
    CmdFixture f;
    MemoryClipboard clip;
    f.AddImage("Hidden", 2, 2, 0, 0, true)->visible = 0;
    EXPECT_FALSE(CmdCopy(f.doc, clip, f.ui));
    EXPECT_EQ(f.Messages(), std::vector<std::string>{"Your selected  proportion is empty or transparent!"});
    EXPECT_EQ(clip.writes, 0);
}

TEST(CmdClipboard, CopyMergedOfOneObjectKeepsItsPixelsAndLook) {
    CmdFixture f;
    MemoryClipboard clip;
    Ref<CDrawObj> a = f.AddImage("A", 10, 6, -4, 78, false, RGB(10, 20, 30));
    a->transparency = 100;
    f.AddImage("Hidden", 5, 5, 0, 0, true)->visible = 0;
    ASSERT_TRUE(CmdCopyMerged(f.doc, clip, f.ui));
    const auto items = Items(clip);
    ASSERT_EQ(items.size(), 1u);
    EXPECT_EQ(items[0].content->kind, KindImage);
    EXPECT_EQ(items[0].position.x, 0);
    EXPECT_EQ(items[0].position.y, 78);
    EXPECT_EQ(items[0].content->width, 6) << "cut to the canvas";
    EXPECT_EQ(items[0].content->height, 2);
    EXPECT_EQ(items[0].content->PixelAt(0, 0), 0xFF0A141Eu);
    EXPECT_EQ(items[0].transparency, 100);
}

TEST(CmdClipboard, CopyMergedComposesShadowsAndObjects) {
    CmdFixture f;
    MemoryClipboard clip;
    Ref<CDrawObj> a = f.AddImage("A", 4, 4, 10, 10, false, RGB(255, 0, 0));
    a->content->shadowOffsetX = a->content->shadowOffsetY = 2;
    a->content->shadowSmooth = 0;
    a->content->UpdateShadow();
    f.AddImage("B", 4, 4, 12, 10, false, RGB(0, 0, 255))->transparency = 255;
    ASSERT_TRUE(CmdCopyMerged(f.doc, clip, f.ui));
    const auto items = Items(clip);
    ASSERT_EQ(items.size(), 1u);
    const RECT r = UnionRects(a->GetBounds(), RECT{12, 10, 16, 14});
    EXPECT_EQ(items[0].position.x, r.left);
    EXPECT_EQ(items[0].content->width, r.right - r.left);
    EXPECT_EQ(items[0].transparency, 0);
    EXPECT_EQ(items[0].content->PixelAt(10 - r.left, 10 - r.top), 0xFFFF0000u);
    // Where only the shadow lies it shows in black.
    EXPECT_EQ(items[0].content->PixelAt(15 - r.left, 15 - r.top), 0xFF000000u);

    // Everything off the canvas or invisible: nothing to copy.
    CmdFixture g;
    g.AddImage("Off", 4, 4, 200, 200, false);
    g.AddImage("Clear", 4, 4, 0, 0, false)->transparency = 255;
    EXPECT_FALSE(CmdCopyMerged(g.doc, clip, g.ui));
    EXPECT_EQ(g.Messages(), std::vector<std::string>{strings::kCopyEmpty});
}
