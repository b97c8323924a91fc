// Escape on the canvas widget drops a polygon in progress before Unselect All can take the key.
#include "app/ShellTestUtil.h"
#include "app/canvas/CanvasView.h"

#include <QApplication>
#include <QTest>
#include <gtest/gtest.h>

using namespace zepho;

QApplication& TestApp();

namespace {

QPoint CanvasPoint(CanvasView& v, int x, int y) {
    const POINT p = v.View().LogicalToClient(v.View().CanvasToLogical(POINT{x, y}));
    return QPoint(p.x, p.y);
}

} // namespace

TEST(ShapeToolsShell, EscapeDropsAPolygonInProgressBeforeUnselectAll) {
    TestApp();
    test::ShellSession session;
    DocumentWindow* w = session.window.NewDocument();
    ASSERT_TRUE(w);
    session.Find("Polygon")->trigger();
    CanvasView* canvas = w->Canvas();
    COrvaneView& view = canvas->View();
    ASSERT_EQ(view.ToolNumber(), ToolPolygon);
    QApplication::processEvents();
    const int before = w->Document().Image().objects.Count();

    QWidget* vp = canvas->viewport();
    // With a selection Escape is Unselect All's key; a polygon in progress takes it first.
    view.SetSelection(Region::Rect(0, 0, 20, 20));
    QTest::mouseClick(vp, Qt::LeftButton, {}, CanvasPoint(*canvas, 30, 30));
    QTest::mouseClick(vp, Qt::LeftButton, {}, CanvasPoint(*canvas, 50, 30));
    ASSERT_TRUE(view.Drag().Has(CDragState::Polygon));
    QTest::keyClick(canvas, Qt::Key_Escape);
    EXPECT_EQ(view.Drag().flags, 0u);
    EXPECT_FALSE(view.HasCapture());
    EXPECT_TRUE(view.Selection());
    EXPECT_EQ(w->Document().Image().objects.Count(), before);
    // Without a polygon the key unselects again.
    QTest::keyClick(canvas, Qt::Key_Escape);
    EXPECT_FALSE(view.Selection());
    w->Document().SetModifiedFlag(false);
}
