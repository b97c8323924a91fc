// The rectangle, ellipse and polygon tools driven through the view's mouse entry points: when
// they create an object, what it carries, and the undo record.
#include "edit/DrawToolTestUtil.h"

#include "edit/tools/ToolSet.h"
#include "edit/undo/UndoStrings.h"
#include "model/EllipseObj.h"
#include "model/PolygonObj.h"
#include "model/RectObj.h"

#include <gtest/gtest.h>

namespace zepho::test {
namespace {

struct ShapeFixture : DrawToolFixture {
    ObserverLog log;

    ShapeFixture() { doc.Subscribe(&log); }
    ~ShapeFixture() { doc.Unsubscribe(&log); }

    // What the widget sends for a double click: press, release, double click, release.
    void DoubleClick(int x, int y) {
        Click(x, y);
        view->OnLButtonDblClk(kMkLButton, At(x, y));
        view->OnLButtonUp(0, At(x, y));
    }
    Ref<CDrawObj> Top() { return Objects().IsEmpty() ? Ref<CDrawObj>() : Objects().Tail(); }
    template <class T> T* ShapeOf(const Ref<CDrawObj>& o) {
        return dynamic_cast<T*>(o->content->shape.Get());
    }
    int Selected() {
        int n = 0;
        for (const auto& o : Objects())
            n += o->IsSelected() ? 1 : 0;
        return n;
    }
    bool GestureOver() const { return view->Drag().flags == 0 && !view->HasCapture(); }
};

constexpr std::uint32_t Argb(COLORREF c) {
    return 0xFF000000u | (GetRValue(c) << 16) | (GetGValue(c) << 8) | GetBValue(c);
}

TEST(ShapeTools, RectangleNeedsMoreThanTwoPixelsEachWayAndSomethingToDraw) {
    ShapeFixture f;
    f.view->SelectTool(ToolRectangle);
    f.Drag({{10, 10}, {12, 40}});
    f.Drag({{10, 10}, {40, 12}});
    EXPECT_TRUE(f.Objects().IsEmpty());
    EXPECT_TRUE(f.GestureOver());
    EXPECT_TRUE(f.view->RubberBand().IsEmpty());

    f.settings.PaintShapeWidth = 0;
    f.settings.FillInsideShape = 0;
    f.Drag({{10, 10}, {40, 40}});
    EXPECT_TRUE(f.Objects().IsEmpty());
    EXPECT_EQ(f.UndoCount(), 0u);
    EXPECT_FALSE(f.doc.IsModified());

    // Fill alone is enough, and three pixels each way is a shape; its name counter was untouched.
    f.settings.FillInsideShape = 1;
    f.Drag({{10, 10}, {13, 13}});
    ASSERT_EQ(f.Objects().Count(), 1);
    EXPECT_EQ(f.Top()->content->name, "Rectangle - 1");
    EXPECT_EQ(f.Top()->Position(), (POINT{10, 10}));
}

TEST(ShapeTools, RectangleCarriesTheSettingsAndIsOneUndoStep) {
    ShapeFixture f;
    Ref<CDrawObj> image = f.AddImage(40, 30, RGB(0, 200, 0), 0, 0);
    image->content->selected = 1;
    f.settings.PaintShapeWidth = 6;
    f.settings.FillInsideShape = 1;
    f.settings.FillShapeMode = 3;
    f.settings.RoundRadius = 20;
    f.settings.ShapeOpacity = 77;
    // The tool's own rule: the corners stay where the mouse put them.
    f.settings.SnapEnabled = 0;
    f.colours = {RGB(1, 2, 3), RGB(4, 5, 6)};
    const std::string before = f.Dump();
    f.view->SelectTool(ToolRectangle);
    // Dragged from the lower right: the object still lies 3 up and left of the upper left corner.
    f.Drag({{50, 40}, {30, 30}, {20, 10}});

    ASSERT_EQ(f.Objects().Count(), 2);
    const Ref<CDrawObj> o = f.Top();
    EXPECT_EQ(o->content->kind, KindRectangle);
    EXPECT_EQ(o->content->name, "Rectangle - 1");
    EXPECT_TRUE(o->IsSelected());
    EXPECT_EQ(f.Selected(), 1);
    EXPECT_EQ(o->transparency, 77);
    EXPECT_EQ(o->Position(), (POINT{17, 7}));
    const CRectObj* r = f.ShapeOf<CRectObj>(o);
    ASSERT_TRUE(r);
    EXPECT_EQ(r->width, 30);
    EXPECT_EQ(r->height, 30);
    EXPECT_EQ(r->roundCorner, 20);
    EXPECT_EQ(r->fill, 1);
    EXPECT_EQ(r->strokeWidth, 6);
    EXPECT_EQ(r->paint.color1, RGB(1, 2, 3));
    EXPECT_EQ(r->paint.color2, RGB(4, 5, 6));
    EXPECT_EQ(r->paint.mode, 3);
    EXPECT_TRUE(f.doc.IsModified());
    EXPECT_GT(f.log.changed, 0);
    const std::string after = f.Dump();

    EXPECT_EQ(f.UndoCount(), 1u);
    EXPECT_EQ(f.Label(), strings::kUndoPaintRectangle);
    f.doc.OnEditUndo();
    EXPECT_EQ(f.Dump(), before);
    EXPECT_TRUE(image->IsSelected());
    EXPECT_EQ(f.RedoLabel(), "Redo paint rectangle");
    f.doc.OnEditRedo();
    EXPECT_EQ(f.Dump(), after);
    EXPECT_TRUE(f.Top()->IsSelected());
}

TEST(ShapeTools, EllipseOutlinesInTheForegroundAndFillsWithTheBackground) {
    ShapeFixture f;
    f.settings.PaintShapeWidth = 4;
    f.colours = {RGB(200, 0, 0), RGB(0, 0, 200)};
    f.view->SelectTool(ToolEllipse);
    // The band while dragging is the ellipse, not its box.
    f.view->OnLButtonDown(kMkLButton, f.At(10, 20));
    f.view->OnMouseMove(kMkLButton, f.At(50, 40));
    EXPECT_FALSE(f.view->RubberBand().IsEmpty());
    EXPECT_FALSE(f.view->RubberBand().Contains(f.At(10, 20).x, f.At(10, 20).y));
    f.view->OnLButtonUp(0, f.At(50, 40));

    ASSERT_EQ(f.Objects().Count(), 1);
    const Ref<CDrawObj> o = f.Top();
    EXPECT_EQ(o->content->kind, KindEllipse);
    EXPECT_EQ(o->content->name, "Ellipse - 1");
    EXPECT_EQ(f.Label(), strings::kUndoPaintEllipse);
    const CEllipseObj* e = f.ShapeOf<CEllipseObj>(o);
    ASSERT_TRUE(e);
    EXPECT_EQ(e->radiusX, 20);
    EXPECT_EQ(e->radiusY, 10);
    EXPECT_EQ(e->paint.mode, 0);
    EXPECT_EQ(PixelOf(*o, 30, 30), Argb(RGB(0, 0, 200)));
    EXPECT_EQ(PixelOf(*o, 10, 30), Argb(RGB(200, 0, 0)));
}

TEST(ShapeTools, PolygonNeedsThreeVerticesAndIgnoresPressesOnceEnded) {
    ShapeFixture f;
    f.AddImage(100, 80, RGB(255, 255, 255), 0, 0);
    f.settings.PaintShapeWidth = 2;
    f.view->SelectTool(ToolPolygon);

    // Two vertices: the double click neither ends the polygon nor opens the object's properties.
    f.Click(10, 10);
    f.DoubleClick(50, 10);
    EXPECT_EQ(f.Objects().Count(), 1);
    EXPECT_TRUE(f.host.propertySheets.empty());
    EXPECT_TRUE(f.view->Drag().Has(CDragState::Polygon));
    EXPECT_TRUE(f.view->HasCapture());
    EXPECT_TRUE(CancelShapeGesture(*f.view));
    EXPECT_TRUE(f.GestureOver());
    EXPECT_EQ(f.UndoCount(), 0u);

    // The placed edges and the line to the mouse show as the band.
    f.Click(10, 10);
    f.Click(50, 10);
    f.view->OnMouseMove(0, f.At(50, 50));
    const Region band = f.view->RubberBand();
    EXPECT_TRUE(band.Contains(f.At(30, 10).x, f.At(30, 10).y));
    EXPECT_TRUE(band.Contains(f.At(50, 30).x, f.At(50, 30).y));

    // Four vertices; a press between the ending double click and its release adds none.
    f.Click(50, 50);
    f.Click(10, 50);
    f.view->OnLButtonDblClk(kMkLButton, f.At(10, 50));
    f.view->OnLButtonDown(kMkLButton, f.At(90, 70));
    f.view->OnLButtonUp(0, f.At(10, 50));
    ASSERT_EQ(f.Objects().Count(), 2);
    const Ref<CDrawObj> o = f.Top();
    EXPECT_EQ(o->content->kind, KindPolygon);
    EXPECT_EQ(o->content->name, "Polygon - 1");
    EXPECT_EQ(f.Selected(), 1);
    EXPECT_EQ(f.Label(), strings::kUndoPaintPolygon);
    const CPolygonObj* p = f.ShapeOf<CPolygonObj>(o);
    ASSERT_TRUE(p);
    EXPECT_EQ(p->points, (std::vector<PointD>{{10, 10}, {50, 10}, {50, 50}, {10, 50}}));
    EXPECT_EQ(o->Position(), (POINT{9, 9}));
    EXPECT_TRUE(f.GestureOver());

    f.doc.OnEditUndo();
    EXPECT_EQ(f.Objects().Count(), 1);
}

TEST(ShapeTools, PolygonVerticesSurviveAZoomAndASwitchOfToolsDropsThem) {
    ShapeFixture f;
    f.view->SelectTool(ToolPolygon);
    f.Click(10, 10);
    f.view->SetZoom(2);
    f.Click(40, 10);
    f.Click(40, 30);
    f.DoubleClick(10, 30);
    ASSERT_EQ(f.Objects().Count(), 1);
    EXPECT_EQ(f.ShapeOf<CPolygonObj>(f.Top())->points,
              (std::vector<PointD>{{10, 10}, {40, 10}, {40, 30}, {10, 30}}));
    EXPECT_EQ(f.Top()->Position(), (POINT{6, 6}));

    f.Click(10, 10);
    f.Click(40, 10);
    f.Click(40, 30);
    f.view->SelectTool(ToolEllipse);
    EXPECT_TRUE(f.GestureOver());
    EXPECT_TRUE(f.view->RubberBand().IsEmpty());
    EXPECT_FALSE(CancelShapeGesture(*f.view));
    EXPECT_EQ(f.Objects().Count(), 1);
}

} // namespace
} // namespace zepho::test
