// Gray, mirror and negative on the selected objects, with the conversion question for shapes.
#include "edit/commands/CmdImageOps.h"
#include "edit/CmdTestUtil.h"
#include "edit/undo/UndoStrings.h"
#include "model/ModelStrings.h"

using namespace zepho;
using namespace zepho::test;

TEST(CmdImageOps, GrayChangesSelectedVisibleImagesOnly) {
    CmdFixture f;
    Ref<CDrawObj> a = f.AddImage("A", 3, 2, 0, 0, true, RGB(255, 0, 0));
    Ref<CDrawObj> hidden = f.AddImage("H", 3, 2, 0, 0, true, RGB(255, 0, 0));
    hidden->visible = 0;
    Ref<CDrawObj> u = f.AddImage("U", 3, 2, 0, 0, false, RGB(255, 0, 0));
    const std::string before = f.Dump();
    ASSERT_TRUE(CmdImageOperation(f.doc, ImageOp::Gray, f.ui));
    EXPECT_EQ(a->content->PixelAt(1, 1), 0xFF4C4C4Cu);
    EXPECT_EQ(hidden->content->PixelAt(1, 1), 0xFFFF0000u);
    EXPECT_EQ(u->content->PixelAt(1, 1), 0xFFFF0000u);
    EXPECT_TRUE(f.ui.shown.empty());
    EXPECT_EQ(f.Label(), strings::kUndoGray);
    f.ExpectUndoRedo(before, f.Dump());
}

TEST(CmdImageOps, ShapesAreAskedAboutAndNoLeavesThemAlone) {
    CmdFixture f;
    f.AddShape("Rectangle - 1", 0, 0, true);
    f.AddShape("Rectangle - 2", 5, 5, true);
    const std::string before = f.Dump();
    EXPECT_FALSE(CmdImageOperation(f.doc, ImageOp::MirrorHorz, f.ui));
    ASSERT_EQ(f.ui.shown.size(), 2u);
    EXPECT_TRUE(f.ui.shown[0].question);
    EXPECT_EQ(f.ui.shown[0].text,
              "The Object \"Rectangle - 1\" is not an image object.\r\nIf you want to mirror "
              "it,it must be converted to an image object.\r\nConvert it now?");
    EXPECT_EQ(f.ui.shown[0].caption, strings::kAppTitle);
    EXPECT_EQ(f.Dump(), before);
    EXPECT_EQ(f.doc.UndoManager().UndoCount(), 0u);
    EXPECT_FALSE(f.doc.IsModified()) << "nothing changed, nothing to save";
}

TEST(CmdImageOps, AConvertedShapeComesBackOnUndo) {
    CmdFixture f;
    Ref<CDrawObj> s = f.AddShape("Rectangle - 1", 0, 0, true);
    f.ui.answers = {true};
    const std::string before = f.Dump();
    ASSERT_TRUE(CmdImageOperation(f.doc, ImageOp::Negative, f.ui));
    EXPECT_NE(f.ui.shown[0].text.find("If you want to negative it,it"), std::string::npos);
    EXPECT_EQ(s->content->kind, KindImage);
    EXPECT_FALSE(s->content->shape);
    EXPECT_EQ(s->content->PixelAt(0, 0), 0xFFF5EBE1u); // 255 minus (30, 20, 10)
    f.ExpectUndoRedo(before, f.Dump());
    f.doc.OnEditUndo();
    EXPECT_EQ(s->content->kind, KindRectangle);
    EXPECT_TRUE(s->content->shape);
}

TEST(CmdImageOps, TransformedImagesAreImagesAndMirroringTwiceIsTheStart) {
    CmdFixture f;
    Ref<CDrawObj> a = f.AddImage("A", 6, 4, 0, 0, true, RGB(1, 2, 3));
    FillAlphaRect(a->content->raster, RECT{0, 0, 2, 4}, 0);
    ASSERT_TRUE(a->content->TransformContent(1.5, 1.0, 0.0));
    ASSERT_EQ(a->content->kind, KindTransformedImage);
    const std::string start = f.Dump();
    const std::uint64_t pixels = DibChecksum(a->content->raster);
    ASSERT_TRUE(CmdImageOperation(f.doc, ImageOp::MirrorVert, f.ui));
    ASSERT_TRUE(CmdImageOperation(f.doc, ImageOp::MirrorHorz, f.ui));
    ASSERT_TRUE(CmdImageOperation(f.doc, ImageOp::MirrorHorz, f.ui));
    ASSERT_TRUE(CmdImageOperation(f.doc, ImageOp::MirrorVert, f.ui));
    EXPECT_TRUE(f.ui.shown.empty());
    EXPECT_EQ(a->content->kind, KindImage);
    EXPECT_EQ(DibChecksum(a->content->raster), pixels);
    for (int i = 0; i < 4; ++i)
        f.doc.OnEditUndo();
    EXPECT_EQ(f.Dump(), start);
}

TEST(CmdImageOps, PreconditionsShowTheirMessages) {
    CmdFixture f;
    EXPECT_FALSE(CmdImageOperation(f.doc, ImageOp::Gray, f.ui));
    f.AddImage("A", 2, 2, 0, 0, false);
    EXPECT_FALSE(CmdImageOperation(f.doc, ImageOp::Gray, f.ui));
    EXPECT_EQ(f.Messages(),
              (std::vector<std::string>{strings::kNeedObjectPresent, strings::kNeedObjectSelected}));
}
