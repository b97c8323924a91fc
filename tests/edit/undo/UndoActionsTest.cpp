#include "edit/UndoTestUtil.h"
#include "edit/undo/UndoCanvas.h"
#include "edit/undo/UndoObjects.h"
#include "edit/undo/UndoTransform.h"
#include "model/DocDump.h"
#include "model/ImageObjects.h"

#include "support/ScriptedUiHost.h"

#include <gtest/gtest.h>

using namespace zepho;
using namespace zepho::test;

namespace {
std::vector<CDrawObj*> Order(const CDrawObjList& list) {
    std::vector<CDrawObj*> v;
    for (const auto& o : list)
        v.push_back(o.Get());
    return v;
}

// Gray as the image operation would record it.
struct GrayOp : IImageOperation {
    CImageOpUndo* action;
    std::string Verb() const override { return "gray it"; }
    void Accept(const Ref<CDrawObj>& obj) override {
        PackedDib gray = CreateSolidDIB(obj->content->width, obj->content->height, RGB(128, 128, 128), 255);
        auto backup = std::make_unique<CImageBackup>();
        if (backup->Edit(obj, std::move(gray))) action->AddRecord(std::move(backup));
    }
};
} // namespace

TEST(UndoObjectList, DeleteRestoresSameInstancesPlacesAndSelection) {
    UndoFixture f;
    Ref<CDrawObj> a = ImageObject(2, 2, 0), b = ImageObject(2, 2, 0), c = ImageObject(2, 2, 0),
                  d = ImageObject(2, 2, 0);
    for (auto& o : {a, b, c, d})
        f.Add(o);
    b->content->selected = 1;
    d->content->selected = 1;
    f.view->AttachHandles(d);

    auto del = std::make_unique<CObjListUndo>(CObjListUndo::Delete);
    del->Capture(f.Objects());
    f.Objects().Remove(b.Get());
    f.Objects().Remove(d.Get());
    f.doc.AddUndo(std::move(del));
    a->content->selected = 1; // selected after the delete: keeps its flag through the undo

    f.doc.OnEditUndo();
    EXPECT_EQ(Order(f.Objects()), (std::vector<CDrawObj*>{a.Get(), b.Get(), c.Get(), d.Get()}));
    EXPECT_TRUE(a->IsSelected() && b->IsSelected() && d->IsSelected());
    EXPECT_FALSE(c->IsSelected());
    EXPECT_GE(f.log.changed, 1);

    f.doc.OnEditRedo();
    EXPECT_EQ(Order(f.Objects()), (std::vector<CDrawObj*>{a.Get(), c.Get()}));
    // The handles leave an object that left the frame.
    EXPECT_EQ(f.view->ActiveObject(), nullptr);
}

TEST(UndoObjectList, ZOrderRestoresExactlyTheStoredSelection) {
    UndoFixture f;
    Ref<CDrawObj> a = ImageObject(2, 2, 0), b = ImageObject(2, 2, 0), c = ImageObject(2, 2, 0);
    for (auto& o : {a, b, c})
        f.Add(o);
    a->content->selected = 1;
    auto z = std::make_unique<CZOrderUndo>(CZOrderUndo::ToFront);
    z->Capture(f.Objects());
    f.Objects().Remove(a.Get());
    f.Objects().AddTail(a);
    f.doc.AddUndo(std::move(z));
    b->content->selected = 1;
    f.doc.OnEditUndo();
    EXPECT_EQ(Order(f.Objects()), (std::vector<CDrawObj*>{a.Get(), b.Get(), c.Get()}));
    EXPECT_TRUE(a->IsSelected());
    EXPECT_FALSE(b->IsSelected());
    f.doc.OnEditRedo();
    EXPECT_EQ(Order(f.Objects()), (std::vector<CDrawObj*>{b.Get(), c.Get(), a.Get()}));
    EXPECT_TRUE(a->IsSelected() && b->IsSelected());
}

TEST(UndoRaster, TrimMovesByTheMarginsBothWays) {
    UndoFixture f;
    Ref<CDrawObj> o = ImageObject(10, 8, RGB(1, 2, 3), 20, 30);
    f.Add(o);
    const std::uint64_t before = DibChecksum(o->content->raster);
    auto trim = std::make_unique<CRasterEditUndo>(CRasterEditUndo::Trim);
    auto backup = std::make_unique<CImageBackup>();
    ASSERT_TRUE(backup->Edit(o, CropDIB(o->content->raster, 3, 2, 1, 1), 3, 2));
    trim->AddRecord(std::move(backup));
    f.doc.AddUndo(std::move(trim));
    EXPECT_EQ(o->Position(), (POINT{23, 32}));
    const std::uint64_t after = DibChecksum(o->content->raster);

    f.doc.OnEditUndo();
    EXPECT_EQ(o->Position(), (POINT{20, 30}));
    EXPECT_EQ(o->content->width, 10);
    EXPECT_EQ(DibChecksum(o->content->raster), before);
    f.doc.OnEditRedo();
    EXPECT_EQ(o->Position(), (POINT{23, 32}));
    EXPECT_EQ(DibChecksum(o->content->raster), after);
    EXPECT_EQ(o->content->width, 6);
}

TEST(UndoRaster, GrayOnConvertedShapeRestoresItsSource) {
    UndoFixture f;
    Ref<CDrawObj> shape = ShapeObject(5, 5);
    shape->content->selected = 1;
    f.Add(shape);
    Ref<CObjShape> source = shape->content->shape;
    const std::uint64_t rendered = DibChecksum(shape->content->raster);
    ScriptedUiHost ui;
    ui.answers = {true};
    auto action = std::make_unique<CImageOpUndo>(CImageOpUndo::Gray);
    GrayOp op;
    op.action = action.get();
    ASSERT_TRUE(ConvertToImageObjects(f.doc.Image(), op, ui));
    ASSERT_FALSE(action->IsEmpty());
    f.doc.AddUndo(std::move(action));
    EXPECT_EQ(shape->content->kind, KindImage);
    EXPECT_FALSE(shape->content->shape);
    const std::uint64_t gray = DibChecksum(shape->content->raster);

    f.doc.OnEditUndo();
    EXPECT_EQ(shape->content->kind, KindRectangle);
    EXPECT_EQ(shape->content->shape, source);
    EXPECT_EQ(DibChecksum(shape->content->raster), rendered);
    f.doc.OnEditRedo();
    EXPECT_EQ(shape->content->kind, KindImage);
    EXPECT_FALSE(shape->content->shape);
    EXPECT_EQ(DibChecksum(shape->content->raster), gray);

    // A source that renders nothing leaves the object and the record alone.
    static_cast<FakeShape*>(source.Get())->failRender = true;
    f.doc.OnEditUndo();
    EXPECT_EQ(shape->content->kind, KindImage);
    EXPECT_EQ(DibChecksum(shape->content->raster), gray);
}

TEST(UndoRaster, CutRemovalsGoBackAtTheirPlaces) {
    UndoFixture f;
    Ref<CDrawObj> objs[5];
    for (auto& o : objs)
        f.Add(o = ImageObject(2, 2, 0));
    auto cut = std::make_unique<CCutDeleteUndo>(CCutDeleteUndo::Delete);
    // Removed bottom to top: the second record's index counts without the first object.
    cut->AddRecord(CObjectRemoval::Remove(f.doc, objs[1]));
    cut->AddRecord(CObjectRemoval::Remove(f.doc, objs[3]));
    cut->AddRecord(CObjectRemoval::Remove(f.doc, objs[3])); // already gone: no record
    EXPECT_EQ(cut->Count(), 2u);
    objs[0]->content->selected = 1;
    f.doc.AddUndo(std::move(cut));
    f.doc.OnEditUndo();
    std::vector<CDrawObj*> expect;
    for (auto& o : objs)
        expect.push_back(o.Get());
    EXPECT_EQ(Order(f.Objects()), expect);
    EXPECT_FALSE(objs[0]->IsSelected());
    EXPECT_TRUE(objs[1]->IsSelected() && objs[3]->IsSelected());
    f.doc.OnEditRedo();
    EXPECT_EQ(Order(f.Objects()), (std::vector<CDrawObj*>{objs[0].Get(), objs[2].Get(), objs[4].Get()}));
}

TEST(UndoTransform, ImageExchangeRestoresRasterPositionAndGeometry) {
    UndoFixture f;
    Ref<CDrawObj> o = ImageObject(20, 10, RGB(200, 0, 0), 40, 40);
    f.Add(o);
    const std::string start = DumpDocument(f.doc.Image());
    auto t = CTransformUndo::Create(o);
    ASSERT_TRUE(dynamic_cast<CImageTransformUndo*>(t.get()));
    ASSERT_TRUE(o->TransformAbout(50, 45, 2.0, 1.0, 90));
    f.view->AttachHandles(o);
    f.doc.AddUndo(std::move(t));
    const std::string end = DumpDocument(f.doc.Image());
    ASSERT_NE(start, end);

    f.doc.OnEditUndo();
    EXPECT_EQ(DumpDocument(f.doc.Image()), start);
    EXPECT_EQ(f.view->TrackerFrame().right - f.view->TrackerFrame().left, 20);
    f.doc.OnEditRedo();
    EXPECT_EQ(DumpDocument(f.doc.Image()), end);
    EXPECT_EQ(f.view->TrackerFrame().right - f.view->TrackerFrame().left, 40); // unrotated
    EXPECT_NEAR(f.view->TrackerAngle(), 1.5707963, 1e-6);

    // A second transform starts from a transform source.
    auto t2 = CTransformUndo::Create(o);
    ASSERT_TRUE(o->TransformAbout(50, 45, 0.5, 0.5, 30));
    f.doc.AddUndo(std::move(t2));
    f.doc.OnEditUndo();
    EXPECT_EQ(DumpDocument(f.doc.Image()), end);
    f.doc.OnEditUndo();
    EXPECT_EQ(DumpDocument(f.doc.Image()), start);
}

TEST(UndoTransform, FailingRenderKeepsTheStoredState) {
    UndoFixture f;
    Ref<CDrawObj> o = ShapeObject(10, 10);
    f.Add(o);
    auto t = CTransformUndo::Create(o);
    ASSERT_TRUE(dynamic_cast<CRectTransformUndo*>(t.get()));
    ASSERT_TRUE(o->TransformAbout(15, 13, 2.0, 3.0, 0));
    f.doc.AddUndo(std::move(t));
    const std::string transformed = DumpDocument(f.doc.Image());
    auto* shape = static_cast<FakeShape*>(o->content->shape.Get());
    shape->failRender = true;
    f.doc.OnEditUndo();
    EXPECT_EQ(DumpDocument(f.doc.Image()), transformed);
    EXPECT_EQ(f.doc.UndoManager().PeekRedo()->GetLabel(), "Undo Transform object");
    shape->failRender = false;
    f.doc.OnEditRedo(); // the record still holds the state before the transform
    EXPECT_EQ(o->content->width, 10);
    EXPECT_EQ(o->Position(), (POINT{10, 10}));
}

TEST(UndoSelection, RegionExchangeAndMove) {
    UndoFixture f;
    auto sel = std::make_unique<CSelectionUndo>(CSelectionUndo::Rectangular, std::nullopt);
    f.view->SetSelection(Region::Rect(0, 0, 10, 10));
    f.doc.AddUndo(std::move(sel));
    auto move = std::make_unique<CMoveSelectionUndo>(5, 7);
    f.view->Selection()->Offset(5, 7);
    f.doc.AddUndo(std::move(move));

    f.doc.OnEditUndo();
    EXPECT_EQ(f.view->Selection()->Bounds(), (RECT{0, 0, 10, 10}));
    EXPECT_EQ(UndoState(f.doc.UndoManager()).text, "Undo Rectangular Selection");
    EXPECT_EQ(RedoState(f.doc.UndoManager()).text, "Undo Move Selection");
    f.doc.OnEditUndo();
    EXPECT_FALSE(f.view->Selection().has_value());
    f.doc.OnEditRedo();
    f.doc.OnEditRedo();
    EXPECT_EQ(f.view->Selection()->Bounds(), (RECT{5, 7, 15, 17}));
    EXPECT_EQ(UndoState(f.doc.UndoManager()).text, "Undo Move Selection");
}

TEST(UndoCanvas, CanvasExchangeWithResampledObjects) {
    UndoFixture f;
    Ref<CDrawObj> img = ImageObject(10, 10, RGB(9, 9, 9), 4, 6), shp = ShapeObject(20, 20);
    img->content->shadowOffsetX = 5;
    f.Add(img);
    f.Add(shp);
    f.view->AttachHandles(shp);
    // The raster exchange selects what it restores.
    const DumpOptions content{false};
    const std::string start = DumpDocument(f.doc.Image(), content);

    auto resize = std::make_unique<CResizeAnimUndo>(f.doc.Image().width, f.doc.Image().height);
    auto sized = std::make_unique<CImageBackupSized>();
    ASSERT_TRUE(sized->Resize(img, CreateSolidDIB(15, 5, RGB(9, 9, 9), 255), 1.5, 0.5));
    EXPECT_EQ(img->content->shadowOffsetX, 8); // floor(7.5 + 0.5)
    resize->AddRecord(std::move(sized));
    auto resample = std::make_unique<CResampleRecord>(shp);
    ASSERT_TRUE(resample->Resize(1.5, 0.5));
    resize->AddRecord(std::move(resample));
    for (auto& o : {img, shp}) {
        resize->AddObject(o, o->x, o->y);
        o->x = o->x * 3 / 2;
        o->y = o->y / 2;
    }
    f.doc.Image().width = 150;
    f.doc.Image().height = 40;
    f.doc.AddUndo(std::move(resize));
    const std::string end = DumpDocument(f.doc.Image(), content);
    const int layouts = f.host.layouts;

    for (int round = 0; round < 2; ++round) {
        f.doc.OnEditUndo();
        EXPECT_EQ(DumpDocument(f.doc.Image(), content), start);
        EXPECT_EQ(f.doc.UndoManager().PeekRedo()->GetLabel(), "Redo Resize animation");
        f.doc.OnEditRedo();
        EXPECT_EQ(DumpDocument(f.doc.Image(), content), end);
    }
    EXPECT_GT(f.host.layouts, layouts);
    EXPECT_EQ(f.view->TrackerFrame().right - f.view->TrackerFrame().left, 15);
}

TEST(UndoObjects, ShowHideInVisibleOnlyModeAndProperties) {
    UndoFixture f;
    f.settings.ShowAllItems = 0;
    Ref<CDrawObj> a = ImageObject(2, 2, 0), b = ImageObject(2, 2, 0);
    f.Add(a);
    f.Add(b);
    a->content->selected = b->content->selected = 1;
    auto hide = std::make_unique<CShowHideUndo>(true);
    hide->AddObject(a, 1);
    a->visible = 0;
    a->content->selected = 0;
    f.doc.AddUndo(std::move(hide));
    f.doc.OnEditUndo();
    EXPECT_TRUE(a->visible && a->IsSelected());
    f.doc.OnEditRedo();
    // Hidden again, and with no row in the panel it cannot stay selected.
    EXPECT_FALSE(a->visible);
    EXPECT_FALSE(a->IsSelected());

    // Properties: fields, shadow and the shape's paint come back together.
    Ref<CDrawObj> s = ShapeObject(3, 4);
    f.Add(s);
    const std::string start = DumpDocument(f.doc.Image());
    auto props =
        std::make_unique<CPropertiesUndo>(s, ObjectProperties::Of(*s), ShapeProperties::Of(*s->content));
    s->content->name = "renamed";
    s->x = 50;
    s->transparency = 99;
    auto* fake = static_cast<FakeShape*>(s->content->shape.Get());
    fake->colour = RGB(1, 1, 1);
    fake->w = 30;
    s->content->SetRaster(fake->Render());
    s->content->shadowType = 5;
    s->content->UpdateShadow();
    f.doc.AddUndo(std::move(props));
    const std::string end = DumpDocument(f.doc.Image());
    f.doc.OnEditUndo();
    EXPECT_EQ(DumpDocument(f.doc.Image()), start);
    EXPECT_EQ(s->content->shape.Get(), fake); // the same shape, its values put back
    f.doc.OnEditRedo();
    EXPECT_EQ(DumpDocument(f.doc.Image()), end);
}
