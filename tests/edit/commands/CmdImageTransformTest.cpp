// The Image menu's whole-picture commands: crop to the selection, flips and quarter turns.
#include "edit/commands/CmdImageTransform.h"
#include "edit/CmdTestUtil.h"
#include "edit/commands/CommandStrings.h"
#include "edit/undo/UndoStrings.h"
#include "model/PolygonObj.h"
#include "model/TextObj.h"

#include <cstring>

using namespace zepho;
using namespace zepho::test;

namespace {

// A 3 x 2 image whose every pixel differs:  A B C / D E F.
constexpr std::uint32_t kA = 0xFF010000, kB = 0xFF020000, kC = 0xFF030000;
constexpr std::uint32_t kD = 0xFF000100, kE = 0xFF000200, kF = 0xFF000300;

Ref<CDrawObj> AddLetters(CmdFixture& f, int x, int y) {
    Ref<CDrawObj> o = f.AddImage("Letters", 3, 2, x, y, false);
    PackedDib& d = o->content->raster;
    const std::uint32_t px[2][3] = {{kA, kB, kC}, {kD, kE, kF}};
    for (int r = 0; r < 2; ++r)
        for (int c = 0; c < 3; ++c)
            std::memcpy(d.Pixel32(c, r), &px[r][c], 4);
    return o;
}

// The object's rows, top to bottom, as letters.
std::string Rows(const CDrawObj& o) {
    std::string s;
    const PackedDib& d = o.content->raster;
    for (int y = 0; y < d.Height(); ++y) {
        if (y) s += '/';
        for (int x = 0; x < d.Width(); ++x) {
            std::uint32_t v = 0;
            std::memcpy(&v, d.Pixel32(x, y), 4);
            const std::uint32_t all[6] = {kA, kB, kC, kD, kE, kF};
            char ch = '?';
            for (int i = 0; i < 6; ++i)
                if (all[i] == v) ch = static_cast<char>('A' + i);
            s += ch;
        }
    }
    return s;
}

struct Case {
    WholeImageOp op;
    const char* label;
    int canvasW, canvasH;
    POINT pos;
    const char* rows;
    POINT hiddenPos;
};

} // namespace

TEST(CmdImageTransform, EachTurnMovesAndTurnsImagesAndTheCanvasInOneUndoStep) {
    // Canvas 100 x 80; the 3 x 2 image at (10, 20).
    const Case cases[] = {
        {WholeImageOp::FlipHorz, strings::kUndoFlipHorz, 100, 80, {87, 20}, "CBA/FED", {98, 0}},
        {WholeImageOp::FlipVert, strings::kUndoFlipVert, 100, 80, {10, 58}, "DEF/ABC", {-2, 76}},
        {WholeImageOp::Rotate90Cw, strings::kUndoRotate90Cw, 80, 100, {58, 10}, "DA/EB/FC", {76, -2}},
        {WholeImageOp::Rotate90Ccw, strings::kUndoRotate90Ccw, 80, 100, {20, 87}, "CF/BE/AD", {0, 98}},
        {WholeImageOp::Rotate180, strings::kUndoRotate180, 100, 80, {87, 58}, "FED/CBA", {98, 76}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        CmdFixture f;
        Ref<CDrawObj> o = AddLetters(f, 10, 20);
        Ref<CDrawObj> hidden = f.AddImage("Hidden", 4, 4, -2, 0, false);
        hidden->visible = 0;
        f.view->SetSelection(Region::Rect(0, 0, 5, 5));
        const std::string before = f.Dump();
        ASSERT_TRUE(CmdTransformWholeImage(f.doc, f.view.get(), c.op, f.ui));
        EXPECT_EQ(f.doc.Image().width, c.canvasW);
        EXPECT_EQ(f.doc.Image().height, c.canvasH);
        EXPECT_EQ(o->x, c.pos.x);
        EXPECT_EQ(o->y, c.pos.y);
        EXPECT_EQ(Rows(*o), c.rows);
        // Hidden objects and objects partly off the canvas follow too: their rectangle is mapped.
        EXPECT_EQ(hidden->x, c.hiddenPos.x);
        EXPECT_EQ(hidden->y, c.hiddenPos.y);
        EXPECT_EQ(f.Label(), c.label);
        EXPECT_EQ(f.doc.UndoManager().UndoCount(), 1u);
        EXPECT_FALSE(f.view->Selection()) << "the selection no longer fits the turned picture";
        EXPECT_TRUE(f.doc.IsModified());
        const std::string after = f.Dump();
        f.ExpectUndoRedo(before, after);
        f.doc.OnEditUndo();
        ASSERT_TRUE(f.view->Selection());
        EXPECT_EQ(*f.view->Selection(), Region::Rect(0, 0, 5, 5));
        EXPECT_EQ(Rows(*o), "ABC/DEF");
    }
}

TEST(CmdImageTransform, TurnsCombineAsOnPaper) {
    CmdFixture f;
    Ref<CDrawObj> o = AddLetters(f, 10, 20);
    const std::string start = f.Dump();
    for (int i = 0; i < 4; ++i)
        ASSERT_TRUE(CmdTransformWholeImage(f.doc, f.view.get(), WholeImageOp::Rotate90Cw, f.ui));
    EXPECT_EQ(f.Dump(), start) << "four quarter turns are no turn";
    ASSERT_TRUE(CmdTransformWholeImage(f.doc, f.view.get(), WholeImageOp::Rotate90Cw, f.ui));
    ASSERT_TRUE(CmdTransformWholeImage(f.doc, f.view.get(), WholeImageOp::Rotate90Ccw, f.ui));
    EXPECT_EQ(f.Dump(), start);
    ASSERT_TRUE(CmdTransformWholeImage(f.doc, f.view.get(), WholeImageOp::FlipHorz, f.ui));
    ASSERT_TRUE(CmdTransformWholeImage(f.doc, f.view.get(), WholeImageOp::FlipVert, f.ui));
    const std::string both = f.Dump();
    for (int i = 0; i < 2; ++i)
        f.doc.OnEditUndo();
    ASSERT_TRUE(CmdTransformWholeImage(f.doc, f.view.get(), WholeImageOp::Rotate180, f.ui));
    EXPECT_EQ(f.Dump(), both) << "a half turn is both flips";
}

TEST(CmdImageTransform, ShapesTurnThroughTheirOwnRotationAndStayShapes) {
    CmdFixture f;
    Ref<CDrawObj> s = f.AddShape("Rectangle - 1", 30, 10, false); // 10 x 6
    const std::string before = f.Dump();
    ASSERT_TRUE(CmdTransformWholeImage(f.doc, f.view.get(), WholeImageOp::Rotate90Cw, f.ui));
    EXPECT_TRUE(f.ui.shown.empty()) << "a turn asks nothing";
    EXPECT_EQ(s->content->kind, KindRectangle);
    ASSERT_TRUE(s->content->shape);
    EXPECT_DOUBLE_EQ(s->content->shape->angle, 270.0);
    // The centre (35, 13) of the 100 x 80 canvas lands at (80 - 13, 35) = (67, 35).
    const DRect fr = s->GetFrame();
    EXPECT_NEAR((fr.left + fr.right) / 2, 67.0, 0.5);
    EXPECT_NEAR((fr.top + fr.bottom) / 2, 35.0, 0.5);
    f.ExpectUndoRedo(before, f.Dump());
    ASSERT_TRUE(CmdTransformWholeImage(f.doc, f.view.get(), WholeImageOp::Rotate90Ccw, f.ui));
    ASSERT_TRUE(CmdTransformWholeImage(f.doc, f.view.get(), WholeImageOp::Rotate90Ccw, f.ui));
    EXPECT_DOUBLE_EQ(s->content->shape->angle, 90.0);
}

TEST(CmdImageTransform, APolygonTurnsTheWayThePictureTurns) {
    CmdFixture f;
    // A right triangle with its square corner at the top left.
    Ref<CPolygonObj> p = MakeRef<CPolygonObj>();
    p->strokeWidth = 0;
    p->points = {{0, 0}, {40, 0}, {0, 40}};
    Ref<CObjContent> c = MakeRef<CObjContent>(KindPolygon);
    c->SetShape(p);
    c->SetRaster(p->Render());
    c->name = "Polygon - 1";
    Ref<CDrawObj> o = MakeRef<CDrawObj>(c);
    o->x = 10;
    o->y = 10;
    o->visible = 1;
    f.Add(o);
    auto opaque = [&](int x, int y) { return (o->content->PixelAt(x, y) >> 24) > 128; };
    const SIZE s0 = o->GetSize();
    ASSERT_TRUE(opaque(2, 2));
    ASSERT_FALSE(opaque(s0.cx - 3, s0.cy - 3));

    const std::string before = f.Dump();
    ASSERT_TRUE(CmdTransformWholeImage(f.doc, f.view.get(), WholeImageOp::Rotate90Cw, f.ui));
    EXPECT_EQ(o->content->kind, KindPolygon);
    const SIZE s1 = o->GetSize();
    EXPECT_NEAR(s1.cx, s0.cy, 1);
    EXPECT_TRUE(opaque(s1.cx - 3, 2)) << "the square corner is now at the top right";
    EXPECT_FALSE(opaque(2, s1.cy - 3));
    // The triangle covered canvas (10..50, 10..50); turned on the 100 x 80 canvas it covers
    // (80 - 50 .. 80 - 10, 10 .. 50).
    EXPECT_NEAR(o->x, 30, 1);
    EXPECT_NEAR(o->y, 10, 1);
    f.ExpectUndoRedo(before, f.Dump());
}

TEST(CmdImageTransform, ATextTurnsTheWayThePictureTurns) {
    CmdFixture f;
    // An "L": its upright stroke on the left, its foot at the bottom.
    CTextDefaults d;
    d.foreColor = RGB(0, 0, 0);
    Ref<CTextObj> t = MakeRef<CTextObj>(d);
    CTextRun run;
    run.face = "DejaVu Sans";
    run.size = 40 * 20;
    run.SetText(u"L");
    t->runs = {run};
    Ref<CObjContent> c = MakeRef<CObjContent>(KindText);
    c->SetShape(t);
    c->SetRaster(t->Render());
    ASSERT_TRUE(c->raster);
    c->name = "Text - 1";
    Ref<CDrawObj> o = MakeRef<CDrawObj>(c);
    o->x = 10;
    o->y = 10;
    o->visible = 1;
    f.Add(o);
    // Ink in the top half against the bottom half, and in the left half against the right.
    auto balance = [&](bool vertical) {
        const PackedDib& dib = o->content->raster;
        long first = 0, second = 0;
        for (int y = 0; y < dib.Height(); ++y)
            for (int x = 0; x < dib.Width(); ++x) {
                const int a = dib.Pixel32(x, y)[3];
                ((vertical ? y * 2 < dib.Height() : x * 2 < dib.Width()) ? first : second) += a;
            }
        return first - second;
    };
    ASSERT_GT(balance(false), 0) << "the upright stroke is on the left";
    ASSERT_TRUE(CmdTransformWholeImage(f.doc, f.view.get(), WholeImageOp::Rotate90Cw, f.ui));
    EXPECT_EQ(o->content->kind, KindText);
    EXPECT_GT(balance(true), 0) << "turned clockwise the upright stroke lies along the top";
    EXPECT_GT(balance(false), 0) << "and the foot stands on the left";
}

TEST(CmdImageTransform, ATransformedImageTurnsThroughItsSourceTheWayThePictureTurns) {
    CmdFixture f;
    Ref<CDrawObj> o = AddLetters(f, 10, 20);
    // Through the object's own transform (as the Resize and Rotate tool does), unturned.
    ASSERT_TRUE(o->TransformAbout(11.5, 21, 1.0, 1.0, 0.0));
    ASSERT_EQ(o->content->kind, KindTransformedImage);
    ASSERT_EQ(Rows(*o), "ABC/DEF");
    const std::string before = f.Dump();
    ASSERT_TRUE(CmdTransformWholeImage(f.doc, f.view.get(), WholeImageOp::Rotate90Cw, f.ui));
    EXPECT_EQ(o->content->kind, KindTransformedImage) << "the source is kept";
    EXPECT_EQ(Rows(*o), "DA/EB/FC");
    EXPECT_EQ(o->x, 58);
    EXPECT_EQ(o->y, 10);
    f.ExpectUndoRedo(before, f.Dump());
}

TEST(CmdImageTransform, FlipAsksOnceBeforeConvertingShapesAndNoChangesNothing) {
    CmdFixture f;
    Ref<CDrawObj> a = f.AddShape("Rectangle - 1", 0, 0, false);
    Ref<CDrawObj> b = f.AddShape("Rectangle - 2", 20, 5, false);
    Ref<CDrawObj> img = AddLetters(f, 1, 1);
    const std::string before = f.Dump();
    f.ui.answers = {false};
    EXPECT_FALSE(CmdTransformWholeImage(f.doc, f.view.get(), WholeImageOp::FlipHorz, f.ui));
    ASSERT_EQ(f.ui.shown.size(), 1u);
    EXPECT_TRUE(f.ui.shown[0].question);
    EXPECT_EQ(f.ui.shown[0].text, strings::kFlipConvertAsk);
    EXPECT_EQ(f.Dump(), before);
    EXPECT_EQ(f.doc.UndoManager().UndoCount(), 0u);

    f.ui.answers = {true};
    ASSERT_TRUE(CmdTransformWholeImage(f.doc, f.view.get(), WholeImageOp::FlipHorz, f.ui));
    EXPECT_EQ(f.ui.shown.size(), 2u) << "one question for all the shapes";
    EXPECT_EQ(a->content->kind, KindImage);
    EXPECT_EQ(b->content->kind, KindImage);
    EXPECT_EQ(b->x, 100 - 20 - 10);
    EXPECT_EQ(Rows(*img), "CBA/FED");
    f.ExpectUndoRedo(before, f.Dump());
    f.doc.OnEditUndo();
    EXPECT_EQ(a->content->kind, KindRectangle);
    EXPECT_TRUE(b->content->shape);
}

TEST(CmdImageTransform, CropToSelectionMakesTheCanvasTheSelectionsBox) {
    CmdFixture f;
    Ref<CDrawObj> o = AddLetters(f, 10, 20);
    Ref<CDrawObj> outside = f.AddImage("Outside", 5, 5, 90, 70, false);
    EXPECT_FALSE(CanCropToSelection(f.doc, f.view.get())) << "no selection, nothing to crop to";
    EXPECT_FALSE(CmdCropToSelection(f.doc, f.view.get()));

    // An ellipse's box; the part beyond the canvas's right edge is not canvas.
    f.view->SetSelection(Region::Ellipse(RECT{8, 15, 120, 40}));
    ASSERT_TRUE(CanCropToSelection(f.doc, f.view.get()));
    const Region selection = *f.view->Selection();
    const RECT box = selection.Bounds();
    const std::string before = f.Dump();
    ASSERT_TRUE(CmdCropToSelection(f.doc, f.view.get()));
    EXPECT_EQ(f.doc.Image().width, 100 - box.left);
    EXPECT_EQ(f.doc.Image().height, box.bottom - box.top);
    EXPECT_EQ(o->x, 10 - box.left);
    EXPECT_EQ(o->y, 20 - box.top);
    EXPECT_EQ(Rows(*o), "ABC/DEF") << "pixels are kept whole";
    EXPECT_EQ(outside->x, 90 - box.left) << "objects off the new canvas stay, as after a canvas resize";
    ASSERT_TRUE(f.view->Selection());
    Region moved = selection;
    moved.Offset(-box.left, -box.top);
    EXPECT_EQ(*f.view->Selection(), moved) << "the selection stays over the same pixels";
    EXPECT_EQ(f.Label(), strings::kUndoCropToSelection);
    f.ExpectUndoRedo(before, f.Dump());
    f.doc.OnEditUndo();
    EXPECT_EQ(*f.view->Selection(), selection);
    EXPECT_EQ(f.doc.UndoManager().PeekRedo()->GetLabel(), "Redo Crop to Selection");

    // A selection wholly off the canvas, or one that is the canvas itself, crops nothing.
    f.view->SetSelection(Region::Rect(200, 200, 220, 220));
    EXPECT_FALSE(CanCropToSelection(f.doc, f.view.get()));
    f.view->SetSelection(Region::Rect(-5, -5, 200, 200));
    EXPECT_FALSE(CmdCropToSelection(f.doc, f.view.get()));
}

TEST(CmdImageTransform, RotateDib90TurnsEveryPixel) {
    CmdFixture f;
    Ref<CDrawObj> o = AddLetters(f, 0, 0);
    PackedDib cw = RotateDib90(o->content->raster, true);
    ASSERT_TRUE(cw);
    EXPECT_EQ(cw.Width(), 2);
    EXPECT_EQ(cw.Height(), 3);
    PackedDib back = RotateDib90(cw, false);
    EXPECT_EQ(DibChecksum(back), DibChecksum(o->content->raster));
    EXPECT_FALSE(RotateDib90(PackedDib{}, true));
}
