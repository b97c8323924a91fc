#include "app/CanvasWidget.h"
#include "app/MainWindow.h"
#include "app/QtDib.h"
#include "raster/Dib.h"

#include <QApplication>
#include <QImage>
#include <gtest/gtest.h>

using namespace zepho;

QApplication& TestApp() {
    static int argc = 1;
    static char name[] = "test_app";
    static char* argv[] = {name, nullptr};
    static QApplication app(argc, argv);
    return app;
}

namespace {
QApplication& App() { return TestApp(); }
} // namespace

TEST(Shell, MainWindowShowsTheNewDocument) {
    App();
    MainWindow window;
    EXPECT_EQ(window.windowTitle(), QString("Quarnix Zepho Image"));
    ASSERT_EQ(window.Document().Image().objects.Count(), 1);
    EXPECT_EQ(window.Document().Image().width, 640);
    window.show();
    CanvasWidget* canvas = window.Canvas();
    canvas->resize(700, 540);
    const QImage shot = canvas->grab().toImage();
    const QPoint o = canvas->CanvasOrigin();
    EXPECT_EQ(shot.pixelColor(o + QPoint(320, 240)), QColor(255, 255, 255));
    EXPECT_EQ(shot.pixelColor(o + QPoint(639, 479)), QColor(255, 255, 255));
    EXPECT_EQ(shot.pixelColor(o + QPoint(-1, -1)), QColor(128, 128, 128));
    EXPECT_EQ(shot.pixelColor(o + QPoint(640, 100)), QColor(128, 128, 128));
}

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
