#include "model/BitmapObj.h"
#include "model/DocImage.h"
#include "model/ImageObjects.h"
#include "model/ModelStrings.h"
#include "raster/Dib.h"
#include "support/ScriptedUiHost.h"

#include <gtest/gtest.h>

#include <cmath>

using namespace zepho;

namespace {

int g_liveContents = 0;
struct CountedContent : CObjContent {
    CountedContent() { ++g_liveContents; }
    ~CountedContent() override { --g_liveContents; }
};

Ref<CDrawObj> MakeObject(int w, int h, COLORREF colour = RGB(10, 20, 30), BYTE alpha = 255, int x = 0, int y = 0) {
    Ref<CObjContent> c = MakeRef<CObjContent>(KindImage);
    c->SetRaster(CreateSolidDIB(w, h, colour, alpha));
    Ref<CDrawObj> o = MakeRef<CDrawObj>(c);
    o->x = x;
    o->y = y;
    o->visible = 1;
    return o;
}

// A stand-in vector shape: renders a solid rectangle of its size.
struct FakeShape : CObjShape {
    double w = 10, h = 10;
    ObjectKind Kind() const override { return KindRectangle; }
    PackedDib Render() override { return CreateSolidDIB(int(w), int(h), RGB(1, 2, 3), 255); }
    void GetSize(double& ow, double& oh) const override { ow = w, oh = h; }
    CGeometryMemento CreateTransformUndo() override { return {}; }
    void RestoreGeometry(const CGeometryMemento&) override {}
    PackedDib Transform(double sx, double sy, double a) override {
        w *= sx, h *= sy, angle = a;
        return Render();
    }
    std::size_t Write(ByteWriter&) const override { return 0; }
    bool Read(ByteReader&) override { return false; }
    Ref<CObjShape> Clone() const override { return MakeRef<FakeShape>(*this); }
};

} // namespace

TEST(Lifecycle, SharedContentSurvivesItsObject) {
    {
        Ref<CountedContent> content = MakeRef<CountedContent>();
        content->SetRaster(CreateSolidDIB(4, 4, 0, 255));
        Ref<CObjContent> undoHolder = content; // as an undo record would
        {
            CDocImage doc;
            doc.objects.AddTail(MakeRef<CDrawObj>(content));
            EXPECT_EQ(content->RefCount(), 3);
        }
        EXPECT_EQ(content->RefCount(), 2);
        EXPECT_EQ(g_liveContents, 1);
    }
    EXPECT_EQ(g_liveContents, 0);
}

TEST(Lifecycle, CreateTransformDestroy) {
    // Run under the leak checker in CI: nothing may remain after the document goes.
    Ref<CDocImage> doc = MakeRef<CDocImage>();
    for (int i = 0; i < 3; ++i) {
        Ref<CDrawObj> o = MakeObject(20, 10);
        o->content->shadowType = 4;
        o->content->UpdateShadow();
        EXPECT_TRUE(o->TransformAbout(10, 5, 1.5, 1.0, 30.0 * i));
        doc->objects.AddTail(o);
    }
    Ref<CObjContent> kept = doc->objects.At(1)->content->Clone();
    ASSERT_TRUE(kept);
    EXPECT_TRUE(kept->shape);
    doc->Clear();
    EXPECT_EQ(doc->objects.Count(), 0);
}

TEST(ObjectList, InsertBoundsAndDuplicates) {
    CDrawObjList list;
    Ref<CDrawObj> a = MakeObject(1, 1), b = MakeObject(1, 1), c = MakeObject(1, 1), d = MakeObject(1, 1);
    EXPECT_TRUE(list.AddTail(a));
    EXPECT_FALSE(list.AddTail(a));
    EXPECT_FALSE(list.InsertAt(a, 0));
    EXPECT_FALSE(list.InsertAt(b, 2)); // beyond the count
    EXPECT_TRUE(list.InsertAt(b, 1));  // equal to the count: appends
    EXPECT_TRUE(list.InsertAt(c, 0));
    EXPECT_EQ(list.IndexOf(c.Get()), 0);
    EXPECT_EQ(list.IndexOf(b.Get()), 2);
    EXPECT_EQ(list.IndexOf(d.Get()), -1);
    EXPECT_EQ(list.FindByContent(b->content.Get()), b);
    EXPECT_EQ(a->RefCount(), 2);
    CDrawObjList copy;
    copy.AddTail(d);
    copy.CopyFrom(list);
    EXPECT_EQ(copy.Count(), 3);
    EXPECT_EQ(d->RefCount(), 1);
    EXPECT_EQ(a->RefCount(), 3);
    // The copy refuses what it now holds and takes back what the copy dropped.
    EXPECT_FALSE(copy.AddTail(b));
    EXPECT_TRUE(copy.AddTail(d));
    EXPECT_TRUE(copy.Remove(a.Get()));
    EXPECT_FALSE(copy.Remove(a.Get()));
    EXPECT_EQ(copy.IndexOf(a.Get()), -1);
    EXPECT_TRUE(copy.InsertAt(a, 1));
    EXPECT_EQ(copy.IndexOf(a.Get()), 1);
    list.RemoveAll();
    EXPECT_EQ(a->RefCount(), 2);
    EXPECT_TRUE(list.AddTail(a));
}

TEST(Document, SearchesAndCounts) {
    CDocImage doc;
    EXPECT_EQ(doc.CountVisible(), 0);
    EXPECT_FALSE(doc.TopmostVisible());
    PackedDib empty = doc.CompositeVisible(3, 2);
    ASSERT_TRUE(empty);
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 3; ++x) EXPECT_EQ(empty.Pixel32(x, y)[3], 0);

    Ref<CDrawObj> low = MakeObject(10, 10), mid = MakeObject(10, 10, 0, 255, 20, 0), top = MakeObject(10, 10);
    top->content->raster.Pixel32(5, 5)[3] = 0; // a hole
    doc.objects.AddTail(low);
    doc.objects.AddTail(mid);
    doc.objects.AddTail(top);
    mid->content->selected = 1;
    low->content->selected = 1;
    EXPECT_EQ(doc.TopmostAt({5, 5}), low); // the top one is transparent there
    EXPECT_EQ(doc.TopmostAt({1, 1}), top);
    EXPECT_EQ(doc.TopmostSelectedAt({1, 1}), low);
    EXPECT_EQ(doc.TopmostSelectedAt({100, 100}), mid); // nothing hit: the highest selected
    EXPECT_EQ(doc.CountSelectedVisible(), 2);
    EXPECT_FALSE(doc.AnySelectedLocked());
    mid->locked = 1;
    EXPECT_TRUE(doc.AnySelectedLocked());
    mid->visible = 0;
    EXPECT_FALSE(doc.AnySelectedLocked());
    EXPECT_EQ(SingleSelectedObject(doc), low);
    mid->visible = 1;
    EXPECT_FALSE(SingleSelectedObject(doc));
    doc.MoveSelected(3, -2, nullptr);
    EXPECT_EQ(mid->Position(), (POINT{23, -2}));
    EXPECT_EQ(top->Position(), (POINT{0, 0}));
    doc.DeselectAll();
    EXPECT_EQ(doc.CountSelectedVisible(), 0);

    for (const auto& o : doc.objects) o->visible = 0;
    doc.ShowFirstObjectOnly();
    EXPECT_EQ(doc.CountVisible(), 1);
    EXPECT_TRUE(low->visible);
    doc.SetDisposal(3);
    EXPECT_EQ(doc.gifControlFlags, 3 << 2);
    doc.Clear();
    EXPECT_EQ(doc.Disposal(), 2);
    EXPECT_EQ(doc.delay, 20);
}

TEST(Object, PixelsAndHits) {
    Ref<CDrawObj> o = MakeObject(4, 3, RGB(0, 0, 0), 255, 10, 20);
    BYTE* topLeft = o->content->raster.Pixel32(0, 0);
    topLeft[0] = 0x11, topLeft[1] = 0x22, topLeft[2] = 0x33, topLeft[3] = 0x44;
    EXPECT_EQ(o->content->PixelAt(0, 0), 0x44332211u);
    EXPECT_EQ(o->content->PixelAt(4, 0), 0u);
    EXPECT_EQ(o->content->PixelAt(-1, 0), 0u);
    EXPECT_EQ(o->content->ShadowPixelAt(0, 0), 0u);
    o->content->raster.Pixel32(1, 1)[3] = 0;
    EXPECT_TRUE(o->HitTest({10, 20}));
    EXPECT_FALSE(o->HitTest({11, 21}));
    EXPECT_FALSE(o->HitTest({14, 20}));
    CDrawObj bare;
    bare.fallbackWidth = 5;
    bare.fallbackHeight = 5;
    EXPECT_TRUE(bare.HitTest({4, 4}));
    EXPECT_FALSE(bare.HitTest({5, 4}));
}

TEST(Shadow, PlacementOfEveryType) {
    CObjContent c;
    c.shadowOffsetX = 7;
    c.shadowOffsetY = 3;
    c.shadowSmooth = 4;
    c.shadowSize = 100;
    c.shadowSkew = 30;
    c.shadowPerspective = 80;
    // Raster 100 x 50, shadow 108 x 58: centred position (-4, -4).
    const POINT want[10] = {{},        {-11, -7}, {3, -7}, {-11, -1}, {3, -1},
                            {-4, -4}, {0, 0},    {-4, 0}, {0, 46},   {-4, 46}};
    for (int type = 1; type <= 9; ++type) {
        c.shadowType = type;
        POINT p = ShadowPlacement(c, 100, 50, 108, 58);
        if (type >= 6) {
            const double a = 30 * 0.017453292519943295;
            const LONG up = static_cast<LONG>(std::floor(std::sin(a) * 50 * 80 * 0.01 + 0.5)); // 20
            const LONG over = static_cast<LONG>(std::floor(100 + std::cos(a) * 50 * 0.8 - 100 + 0.5)); // 35
            POINT expect = type == 6 ? POINT{-(over + 4), 50 - 4 - up}
                         : type == 7 ? POINT{-4, 50 - 4 - up}
                         : type == 8 ? POINT{-(over + 4), 46}
                                     : POINT{-4, 46};
            EXPECT_EQ(p, expect) << type;
            EXPECT_EQ(up, 20);
            EXPECT_EQ(over, 35);
        } else {
            EXPECT_EQ(p, want[type]) << type;
        }
    }
}

TEST(Shadow, BuiltPlacedAndBounded) {
    Ref<CDrawObj> o = MakeObject(40, 30, 0, 255, 100, 100);
    CObjContent& c = *o->content;
    c.UpdateShadow(); // type 4, offsets 10, blur 10
    ASSERT_TRUE(c.HasShadow());
    EXPECT_EQ(c.shadowRaster.Width(), 60);
    EXPECT_EQ(c.shadowRaster.Height(), 50);
    EXPECT_EQ(c.shadowPosX, 0); // centred -10, then 10 right
    EXPECT_EQ(c.shadowPosY, 0);
    c.shadowType = 1; // up-left
    c.UpdateShadow();
    EXPECT_EQ(c.shadowPosX, -20);
    EXPECT_EQ(o->GetBounds(), (RECT{80, 80, 140, 130}));
    c.shadowType = 0;
    c.UpdateShadow();
    EXPECT_FALSE(c.HasShadow());
    EXPECT_EQ(o->GetBounds(), (RECT{100, 100, 140, 130}));
}

TEST(Transform, SizesSourceAndFailure) {
    Ref<CDrawObj> o = MakeObject(100, 50);
    CObjContent& c = *o->content;
    ASSERT_TRUE(c.TransformContent(1, 1, 90));
    EXPECT_EQ(c.kind, KindTransformedImage);
    ASSERT_TRUE(RefCast<CBitmapObj>(c.shape));
    EXPECT_EQ(c.width, 50);
    EXPECT_EQ(c.height, 100);
    ASSERT_TRUE(c.TransformContent(1, 1, 45));
    EXPECT_EQ(c.width, 106);
    EXPECT_EQ(c.height, 106);
    // Angles replace, scales multiply, always from the stored source.
    ASSERT_TRUE(c.TransformContent(2, 1, 30));
    ASSERT_TRUE(c.TransformContent(1, 3, 60));
    auto* bmp = static_cast<CBitmapObj*>(c.shape.Get());
    EXPECT_DOUBLE_EQ(bmp->angle, 60);
    EXPECT_DOUBLE_EQ(bmp->scaleX, 2);
    EXPECT_DOUBLE_EQ(bmp->scaleY, 3);
    EXPECT_EQ(bmp->source.Width(), 100);
    int w = 0, h = 0;
    RotatedSize(200, 150, 60, w, h);
    EXPECT_EQ(c.width, w);
    EXPECT_EQ(c.height, h);

    // Too small: fails and changes nothing.
    const int oldW = c.width;
    EXPECT_FALSE(c.TransformContent(0.001, 0.001, 0));
    EXPECT_EQ(c.width, oldW);
    EXPECT_DOUBLE_EQ(bmp->scaleX, 2);
    EXPECT_DOUBLE_EQ(bmp->angle, 60);
    Ref<CDrawObj> plain = MakeObject(10, 10);
    EXPECT_FALSE(plain->content->TransformContent(0.01, 0.01, 0));
    EXPECT_EQ(plain->content->kind, KindImage);
    EXPECT_FALSE(plain->content->shape);
    EXPECT_EQ(plain->content->width, 10);
}

TEST(Transform, AboutCentreAndMemento) {
    Ref<CDrawObj> o = MakeObject(100, 50, 0, 255, 10, 10);
    CGeometryMemento before = o->CreateTransformUndo();
    EXPECT_EQ(before.kind, KindImage);
    EXPECT_FALSE(before.hadTransform);
    const DRect f0 = o->GetFrame();
    EXPECT_DOUBLE_EQ(f0.left, 10);
    EXPECT_DOUBLE_EQ(f0.bottom, 60);
    ASSERT_TRUE(o->TransformAbout(60, 35, 1, 1, 90));
    const DRect f = o->GetFrame();
    EXPECT_NEAR((f.left + f.right) / 2, 60, 0.5);
    EXPECT_NEAR((f.top + f.bottom) / 2, 35, 0.5);
    EXPECT_EQ(o->x, 35); // the 50 x 100 raster centred on (60, 35)
    EXPECT_EQ(o->y, -15);
    CGeometryMemento after = o->CreateTransformUndo();
    EXPECT_TRUE(after.hadTransform);
    EXPECT_DOUBLE_EQ(after.angle, 90);
}

namespace {
struct RecordingOp : IImageOperation {
    std::vector<Ref<CDrawObj>> got;
    std::string Verb() const override { return "blur it"; }
    void Accept(const Ref<CDrawObj>& o) override { got.push_back(o); }
};
} // namespace

TEST(ImageObjects, ConvertAsksForShapesOnly) {
    CDocImage doc;
    test::ScriptedUiHost ui;
    RecordingOp op;
    EXPECT_FALSE(ConvertToImageObjects(doc, op, ui));
    ASSERT_EQ(ui.shown.size(), 1u);
    EXPECT_EQ(ui.shown[0].text, strings::kNeedObjectPresent);

    Ref<CDrawObj> image = MakeObject(10, 10), rect = MakeObject(10, 10), rect2 = MakeObject(10, 10);
    ASSERT_TRUE(image->content->TransformContent(1, 1, 10));
    for (auto& r : {rect, rect2}) {
        r->content->kind = KindRectangle;
        r->content->SetShape(MakeRef<FakeShape>());
    }
    rect->content->name = "Rectangle - 1";
    for (auto& o : {image, rect, rect2}) doc.objects.AddTail(o);
    ui.shown.clear();
    EXPECT_FALSE(ConvertToImageObjects(doc, op, ui));
    EXPECT_EQ(ui.shown.back().text, strings::kNeedObjectSelected);

    for (auto& o : {image, rect, rect2}) o->content->selected = 1;
    ui.shown.clear();
    ui.answers = {true, false};
    EXPECT_TRUE(ConvertToImageObjects(doc, op, ui));
    ASSERT_EQ(ui.shown.size(), 2u); // the transformed image is not asked about
    EXPECT_EQ(ui.shown[0].text, "The Object \"Rectangle - 1\" is not an image object.\r\nIf you want to blur "
                                "it,it must be converted to an image object.\r\nConvert it now?");
    EXPECT_EQ(ui.shown[0].caption, "Quarnix Zepho Image");
    ASSERT_EQ(op.got.size(), 2u);
    EXPECT_EQ(image->content->kind, KindImage);
    EXPECT_FALSE(image->content->shape);
    EXPECT_EQ(rect->content->kind, KindImage);
    EXPECT_EQ(rect2->content->kind, KindRectangle); // answered No
    EXPECT_TRUE(rect2->content->shape);
}
