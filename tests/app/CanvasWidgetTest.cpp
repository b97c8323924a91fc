#include "app/CanvasWidget.h"
#include "app/QtDib.h"
#include "raster/Dib.h"

#include <QApplication>
#include <QImage>
#include <gtest/gtest.h>

using namespace zepho;

QApplication& TestApp();

namespace {
QApplication& App() { return TestApp(); }
} // namespace

TEST(Shell, TransparentDocumentShowsTheCheckerboardAndAnyAreaMatches) {
    App();
    COrvaneDoc doc;
    ASSERT_TRUE(doc.CreateNewImage(64, 48, true, RGB(255, 0, 0)));
    // A half-transparent blue object over the transparent background.
    Ref<CObjContent> c = MakeRef<CObjContent>(KindImage);
    c->SetRaster(CreateSolidDIB(10, 10, RGB(0, 0, 255), 255));
    Ref<CDrawObj> o = MakeRef<CDrawObj>(c);
    o->visible = 1;
    o->x = 20;
    o->transparency = 128;
    doc.Image().objects.AddTail(o);
    CanvasWidget canvas(doc);
    canvas.resize(100, 80);
    const QPoint org = canvas.CanvasOrigin();
    const QImage whole = ToQImage(canvas.Compose(QRect(0, 0, 100, 80)));
    // Inside the selection outline that the new, selected object carries.
    EXPECT_EQ(whole.pixelColor(org + QPoint(1, 1)), QColor(255, 255, 255));
    EXPECT_EQ(whole.pixelColor(org + QPoint(9, 1)), QColor(212, 212, 212));
    EXPECT_EQ(whole.pixelColor(org + QPoint(0, 0)), QColor(0, 0, 0));
    const QColor blended = whole.pixelColor(org + QPoint(21, 1));
    EXPECT_GT(blended.blue(), 200);
    EXPECT_LT(blended.red(), 160);
    const QImage part = ToQImage(canvas.Compose(QRect(13, 7, 50, 61)));
    for (int y = 0; y < part.height(); ++y)
        for (int x = 0; x < part.width(); ++x)
            ASSERT_EQ(part.pixel(x, y), whole.pixel(x + 13, y + 7)) << x << "," << y;
}
