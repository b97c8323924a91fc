// The property pages preview on the object, give everything back on Cancel and record one
// step on OK.
#include "edit/properties/PropSheet.h"
#include "edit/CmdTestUtil.h"
#include "edit/properties/PropNumber.h"
#include "edit/properties/PropStrings.h"
#include "edit/undo/UndoStrings.h"
#include "model/EllipseObj.h"
#include "model/ModelStrings.h"
#include "model/PolygonObj.h"
#include "model/RectObj.h"
#include "model/TextObj.h"

using namespace zepho;
using namespace zepho::test;

namespace {

template <class Shape> Ref<CDrawObj> Place(Ref<Shape> s, ObjectKind kind, const char* name, int x, int y) {
    s->paint.color1 = RGB(0, 0, 200);
    s->paint.color2 = RGB(250, 200, 0);
    Ref<CObjContent> c = MakeRef<CObjContent>(kind);
    c->SetShape(s);
    c->SetRaster(RenderForObject(*s));
    c->name = name;
    Ref<CDrawObj> o = MakeRef<CDrawObj>(c);
    o->x = x;
    o->y = y;
    o->visible = 1;
    return o;
}

Ref<CDrawObj> Rect(double w, double h, int stroke, bool fill) {
    Ref<CRectObj> r = MakeRef<CRectObj>();
    r->width = w;
    r->height = h;
    r->roundCorner = 0;
    r->strokeWidth = stroke;
    r->fill = fill ? 1 : 0;
    return Place(r, KindRectangle, "Rectangle - 1", 20, 15);
}

Ref<CDrawObj> Ellipse() {
    Ref<CEllipseObj> e = MakeRef<CEllipseObj>();
    e->radiusX = 20;
    e->radiusY = 10;
    e->strokeWidth = 3;
    return Place(e, KindEllipse, "Ellipse - 1", 5, 5);
}

Ref<CDrawObj> Polygon() {
    Ref<CPolygonObj> p = MakeRef<CPolygonObj>();
    p->points = {{0, 0}, {40, 5}, {25, 30}};
    p->strokeWidth = 2;
    return Place(p, KindPolygon, "Polygon - 1", 30, 30);
}

struct PropFixture : CmdFixture {
    // A picture with a pattern, so that resampling shows in the pixels.
    Ref<CDrawObj> Picture() {
        Ref<CDrawObj> o = AddImage("Obj - 1", 40, 20, 10, 10, true);
        PackedDib& d = o->content->raster;
        for (int y = 0; y < 20; ++y)
            for (int x = 0; x < 40; ++x)
                d.Pixel32(x, y)[1] = static_cast<BYTE>(x * 6 + y);
        return o;
    }
    Ref<CDrawObj> Put(Ref<CDrawObj> o) {
        Add(o);
        return o;
    }
    std::size_t Steps() const { return doc.UndoManager().UndoCount(); }
};

} // namespace

TEST(PropSheet, OkWithoutChangesRecordsNothingForAnyKind) {
    PropFixture f;
    const Ref<CDrawObj> objects[] = {f.Picture(), f.Put(Rect(30, 20, 2, true)), f.Put(Ellipse()),
                                     f.Put(Polygon())};
    const std::string start = f.Dump();
    for (const Ref<CDrawObj>& o : objects) {
        ASSERT_TRUE(CPropertySheetModel::Supports(*o));
        CPropertySheetModel sheet(f.doc, o, f.ui);
        EXPECT_EQ(sheet.FillStroke() != nullptr, o->content->kind != KindImage);
        // Setting what is already there changes nothing either.
        sheet.General().SetName(o->content->name);
        sheet.General().SetLeft(o->x);
        EXPECT_FALSE(sheet.Ok());
    }
    EXPECT_EQ(f.Steps(), 0u);
    EXPECT_EQ(f.Dump(), start);
    EXPECT_FALSE(f.doc.IsModified());
}

TEST(PropSheet, TextObjectsAndForeignShapesAreNotTheSheetsBusiness) {
    PropFixture f;
    Ref<CObjContent> c = MakeRef<CObjContent>(KindText);
    c->SetShape(MakeRef<CTextObj>());
    EXPECT_FALSE(CPropertySheetModel::Supports(CDrawObj(c)));
    // A rectangle kind whose shape is not a rectangle.
    EXPECT_FALSE(CPropertySheetModel::Supports(*ShapeObject()));
}

TEST(PropSheet, ImageSizeKeepsTheRatioInPixelsAndPercent) {
    PropFixture f;
    Ref<CDrawObj> o = f.Picture();
    CPropertySheetModel sheet(f.doc, o, f.ui);
    CImageGeneralPage& g = *sheet.Image();
    EXPECT_EQ(g.Unit(), SizeUnit::Pixel);
    EXPECT_TRUE(g.KeepRatio());
    EXPECT_DOUBLE_EQ(g.MaxHorz(), 2000);

    ASSERT_TRUE(g.SetHorz(20));
    EXPECT_DOUBLE_EQ(g.VertBox(), 10);
    EXPECT_EQ(o->content->kind, KindTransformedImage);
    EXPECT_EQ(o->content->width, 20);
    EXPECT_EQ(o->content->height, 10);
    // Shrunk about its centre.
    EXPECT_EQ(o->x, 20);
    EXPECT_EQ(o->y, 15);

    g.SetUnit(SizeUnit::Percentage);
    EXPECT_DOUBLE_EQ(g.HorzBox(), 50);
    EXPECT_DOUBLE_EQ(g.VertBox(), 50);
    EXPECT_DOUBLE_EQ(g.MinHorz(), 2.5);
    ASSERT_TRUE(g.SetVert(150));
    EXPECT_DOUBLE_EQ(g.HorzBox(), 150);
    EXPECT_EQ(o->content->width, 60);
    EXPECT_EQ(o->content->height, 30);

    g.SetKeepRatio(false);
    ASSERT_TRUE(g.SetHorz(100));
    EXPECT_EQ(o->content->width, 40);
    EXPECT_EQ(o->content->height, 30);
    g.SetUnit(SizeUnit::Pixel);
    EXPECT_DOUBLE_EQ(g.HorzBox(), 40);
    EXPECT_DOUBLE_EQ(g.VertBox(), 30);

    ASSERT_TRUE(g.SetFilter(0));
    EXPECT_EQ(g.Filter(), 0);
    EXPECT_FALSE(g.SetFilter(17));
    EXPECT_TRUE(sheet.Ok());
    EXPECT_EQ(f.Steps(), 1u);
}

TEST(PropSheet, ShapeSizesFollowTheKeptSizesAcrossUnits) {
    PropFixture f;
    Ref<CDrawObj> o = f.Put(Rect(30, 20, 2, true));
    CPropertySheetModel sheet(f.doc, o, f.ui);
    CShapeSizePage& g = *sheet.ShapeSize();
    auto& rect = static_cast<CRectObj&>(*o->content->shape);

    ASSERT_TRUE(g.SetVert(40));
    EXPECT_DOUBLE_EQ(g.HorzBox(), 60);
    EXPECT_DOUBLE_EQ(rect.width, 60);
    EXPECT_DOUBLE_EQ(rect.height, 40);

    g.SetUnit(SizeUnit::Percentage);
    EXPECT_DOUBLE_EQ(g.HorzBox(), 200);
    EXPECT_DOUBLE_EQ(g.VertBox(), 200);
    EXPECT_DOUBLE_EQ(g.MinHorz(), 100.0 / 30);
    EXPECT_DOUBLE_EQ(g.MaxVert(), 2000 * 100.0 / 20);
    ASSERT_TRUE(g.SetHorz(50));
    EXPECT_DOUBLE_EQ(g.VertBox(), 50);
    EXPECT_DOUBLE_EQ(rect.width, 15);
    EXPECT_DOUBLE_EQ(rect.height, 10);

    // The height that the ratio asks for is held within its range.
    g.SetUnit(SizeUnit::Pixel);
    EXPECT_DOUBLE_EQ(g.HorzBox(), 15);
    ASSERT_TRUE(g.SetVert(2000));
    EXPECT_DOUBLE_EQ(g.HorzBox(), 2000);
    EXPECT_DOUBLE_EQ(rect.width, 2000);
    EXPECT_DOUBLE_EQ(rect.height, 2000);

    // Switching to percent holds the shown values within the new range too.
    ASSERT_TRUE(g.SetVert(10));
    g.SetUnit(SizeUnit::Percentage);
    EXPECT_DOUBLE_EQ(g.HorzBox(), 15.0 * 100 / 30);

    ASSERT_TRUE(g.HasRoundness());
    ASSERT_TRUE(g.SetRoundness(80));
    EXPECT_EQ(rect.roundCorner, 50);
    ASSERT_TRUE(g.SetAngle(45));
    EXPECT_DOUBLE_EQ(rect.angle, 45);
    EXPECT_TRUE(g.Changed());
}

TEST(PropSheet, PolygonScalesCopyEachOtherAndComeBackExactly) {
    PropFixture f;
    Ref<CDrawObj> o = f.Put(Polygon());
    auto& poly = static_cast<CPolygonObj&>(*o->content->shape);
    const std::vector<PointD> start = poly.points;
    CPropertySheetModel sheet(f.doc, o, f.ui);
    CPolygonGeneralPage& g = *sheet.Polygon();
    ASSERT_TRUE(g.SetHorz(200));
    EXPECT_DOUBLE_EQ(g.VertBox(), 200);
    EXPECT_EQ(poly.points[1], (PointD{80, 10}));
    ASSERT_TRUE(g.SetHorz(100));
    EXPECT_EQ(poly.points, start);
    EXPECT_FALSE(g.Changed());
}

TEST(PropSheet, LockDisablesThePositionAndMovesNothing) {
    PropFixture f;
    Ref<CDrawObj> o = f.Put(Ellipse());
    CPropertySheetModel sheet(f.doc, o, f.ui);
    CGeneralObjInfoPage& g = sheet.General();
    EXPECT_TRUE(g.PositionEnabled());
    g.SetLocked(true);
    EXPECT_FALSE(g.PositionEnabled());
    g.SetLeft(100);
    EXPECT_EQ(o->x, 5);
    g.SetLocked(false);
    EXPECT_TRUE(g.PositionEnabled());
    g.SetLeft(5000);
    EXPECT_EQ(o->x, 1000);
    g.SetName(std::string(60, 'n'));
    EXPECT_EQ(o->content->name.size(), 48u);
    g.SetName("\xc3\xa9" + std::string(60, 'n'));
    EXPECT_EQ(o->content->name.size(), 49u); // 48 characters, the first two bytes long
    g.SetTransparency(300);
    EXPECT_EQ(o->transparency, 255);
}

TEST(PropSheet, FillAndStrokeRefuseToLeaveNothing) {
    PropFixture f;
    Ref<CDrawObj> o = f.Put(Rect(30, 20, 0, true));
    auto& rect = static_cast<CRectObj&>(*o->content->shape);
    CPropertySheetModel sheet(f.doc, o, f.ui);
    CFillStrokePage& p = *sheet.FillStroke();
    const std::uint64_t raster = DibChecksum(o->content->raster);

    EXPECT_FALSE(p.Stroke());
    EXPECT_FALSE(p.SetFill(false));
    EXPECT_TRUE(p.Fill());
    ASSERT_EQ(f.ui.shown.size(), 1u);
    EXPECT_EQ(f.ui.shown[0].text, strings::kFillNeeded);
    EXPECT_EQ(f.ui.shown[0].caption, strings::kAppTitle);
    EXPECT_EQ(DibChecksum(o->content->raster), raster);

    // Stroke on gives the page's width back; off sets it to 0.
    ASSERT_TRUE(p.SetWidth(6));
    EXPECT_EQ(rect.strokeWidth, 0);
    ASSERT_TRUE(p.SetStroke(true));
    EXPECT_EQ(rect.strokeWidth, 6);
    ASSERT_TRUE(p.SetFill(false));
    EXPECT_FALSE(p.SetStroke(false));
    EXPECT_EQ(f.ui.shown.back().text, strings::kStrokeNeeded);
    EXPECT_TRUE(p.Stroke());

    // A width of 0 with the fill off would show nothing: refused, the object stays.
    const std::uint64_t outlined = DibChecksum(o->content->raster);
    EXPECT_FALSE(p.SetWidth(0));
    EXPECT_EQ(rect.strokeWidth, 6);
    EXPECT_EQ(p.Width(), 6);
    EXPECT_EQ(DibChecksum(o->content->raster), outlined);

    ASSERT_TRUE(p.SetFill(true));
    ASSERT_TRUE(p.SetStroke(false));
    EXPECT_EQ(rect.strokeWidth, 0);
    ASSERT_TRUE(p.SetMode(4));
    ASSERT_TRUE(p.SetFillColour(RGB(1, 2, 3)));
    EXPECT_EQ(rect.paint.mode, 4);
    EXPECT_EQ(rect.paint.color2, RGB(1, 2, 3));
    EXPECT_FALSE(p.SetMode(6));
}

TEST(PropSheet, ShadowPageBuildsRebuildsAndFrees) {
    PropFixture f;
    Ref<CDrawObj> o = f.Put(Rect(30, 20, 2, true));
    CPropertySheetModel sheet(f.doc, o, f.ui);
    CShadowPage& s = sheet.Shadow();
    CObjContent& c = *o->content;
    EXPECT_FALSE(s.On());
    ASSERT_TRUE(s.SetOn(true));
    ASSERT_TRUE(c.HasShadow());
    const std::uint64_t flat = DibChecksum(c.shadowRaster);
    s.SetType(7);
    EXPECT_NE(DibChecksum(c.shadowRaster), flat);
    s.SetSize(10);
    EXPECT_EQ(s.Size(), 50);
    s.SetSkew(90);
    EXPECT_EQ(s.Skew(), 75);
    s.SetOffsetX(-4);
    EXPECT_EQ(s.OffsetX(), 0);
    s.SetType(10);
    EXPECT_EQ(s.Type(), 7);
    ASSERT_TRUE(s.SetOn(false));
    EXPECT_FALSE(c.HasShadow());
    EXPECT_TRUE(s.Changed());
}

TEST(PropSheet, CancelAfterManyPreviewsGivesEverythingBack) {
    PropFixture f;
    const Ref<CDrawObj> objects[] = {f.Picture(), f.Put(Rect(30, 20, 2, true)), f.Put(Polygon())};
    objects[1]->content->UpdateShadow();
    for (const Ref<CDrawObj>& o : objects) {
        SCOPED_TRACE(o->content->name);
        const std::string start = f.Dump();
        CObjShape* shape = o->content->shape.Get();
        double cx = 0, cy = 0;
        o->content->GetCenterOffset(cx, cy);
        {
            CPropertySheetModel sheet(f.doc, o, f.ui);
            CGeneralObjInfoPage& g = sheet.General();
            g.SetName("renamed");
            g.SetLeft(-7);
            g.SetTransparency(99);
            g.SetVisible(false);
            auto& sized = dynamic_cast<CSizedGeneralPage&>(g);
            ASSERT_TRUE(sized.SetHorz(sized.HorzBox() * 1.7));
            ASSERT_TRUE(sized.SetAngle(33.5));
            if (CFillStrokePage* p = sheet.FillStroke()) {
                ASSERT_TRUE(p->SetMode(3));
                ASSERT_TRUE(p->SetStrokeColour(RGB(9, 9, 9)));
            }
            CShadowPage& s = sheet.Shadow();
            s.SetOn(!s.On());
            s.SetOn(true);
            s.SetType(8);
            s.SetSmooth(40);
            s.SetColour(RGB(0, 90, 0));
            ASSERT_TRUE(sheet.Session().Changed());
            EXPECT_NE(f.Dump(), start);
            sheet.Cancel();
        }
        EXPECT_EQ(f.Dump(), start);
        EXPECT_EQ(o->content->shape.Get(), shape);
        double cx2 = 0, cy2 = 0;
        o->content->GetCenterOffset(cx2, cy2);
        EXPECT_EQ(cx2, cx);
        EXPECT_EQ(cy2, cy);
    }
    EXPECT_EQ(f.Steps(), 0u);
}

TEST(PropSheet, OneOkIsOneStepThatUndoesAndRedoesEverything) {
    PropFixture f;
    const Ref<CDrawObj> objects[] = {f.Picture(), f.Put(Ellipse()), f.Put(Polygon())};
    for (const Ref<CDrawObj>& o : objects) {
        SCOPED_TRACE(o->content->name);
        const std::string start = f.Dump();
        const std::size_t steps = f.Steps();
        CPropertySheetModel sheet(f.doc, o, f.ui);
        sheet.General().SetName("changed");
        sheet.General().SetTop(3);
        sheet.General().SetLocked(true);
        auto& sized = dynamic_cast<CSizedGeneralPage&>(sheet.General());
        ASSERT_TRUE(sized.SetVert(sized.VertBox() / 2));
        ASSERT_TRUE(sized.SetAngle(90));
        if (CFillStrokePage* p = sheet.FillStroke()) {
            ASSERT_TRUE(p->SetFill(false));
        }
        ASSERT_TRUE(sheet.Shadow().SetOn(true));
        sheet.Shadow().SetOffsetY(25);
        ASSERT_TRUE(sheet.Ok());
        EXPECT_EQ(f.Steps(), steps + 1);
        EXPECT_EQ(f.Label(), strings::kUndoProperties);
        EXPECT_TRUE(f.doc.IsModified());
        f.ExpectUndoRedo(start, f.Dump());
    }
}

TEST(PropNumber, BoxesTakeNumbersInRangeAndNameTheRangeOtherwise) {
    int v = 0;
    EXPECT_TRUE(ParseIntBox(" 12 ", 0, 255, v));
    EXPECT_EQ(v, 12);
    EXPECT_TRUE(ParseIntBox("-1000", -1000, 1000, v));
    EXPECT_EQ(v, -1000);
    for (const char* bad : {"", "256", "-1", "1.5", "12a", "99999999999999999999", "+"})
        EXPECT_FALSE(ParseIntBox(bad, 0, 255, v)) << bad;
    EXPECT_EQ(IntRangeMessage(0, 255), "Please input a digital between 0 and 255!");

    double d = 0;
    EXPECT_TRUE(ParseFloatBox("359.999", 0, 359.999, d));
    EXPECT_FALSE(ParseFloatBox("360", 0, 359.999, d));
    EXPECT_FALSE(ParseFloatBox("nan", 0, 359.999, d));
    EXPECT_FALSE(ParseFloatBox("1e", 0, 359.999, d));
    // A range end shown rounded is still in range, and held at the exact end.
    EXPECT_TRUE(ParseFloatBox(FormatFloatBox(100.0 / 30), 100.0 / 30, 6666.67, d));
    EXPECT_DOUBLE_EQ(d, 100.0 / 30);
    EXPECT_EQ(FloatRangeMessage(1, 359.999), "Please input a digital between 1.000 and 359.999 !");
    EXPECT_EQ(FormatFloatBox(20), "20");
    EXPECT_EQ(FormatFloatBox(3.25), "3.25");
}
