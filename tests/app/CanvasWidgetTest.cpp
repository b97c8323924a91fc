#include "app/CanvasWidget.h"
#include "app/MainWindow.h"

#include <QApplication>
#include <QImage>
#include <gtest/gtest.h>

using namespace zepho;

namespace {
QApplication& App() {
    static int argc = 1;
    static char name[] = "test_app";
    static char* argv[] = {name, nullptr};
    static QApplication app(argc, argv);
    return app;
}
} // namespace

TEST(Shell, MainWindowShowsTheWhiteCanvas) {
    App();
    MainWindow window;
    EXPECT_EQ(window.windowTitle(), QString("Quarnix Zepho Image"));
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

TEST(Shell, ComposeAnyAreaMatchesTheWholePicture) {
    App();
    CanvasWidget canvas(64, 48);
    canvas.resize(100, 80);
    const QImage whole = ToQImage(canvas.Compose(QRect(0, 0, 100, 80)));
    const QImage part = ToQImage(canvas.Compose(QRect(13, 7, 50, 61)));
    for (int y = 0; y < part.height(); ++y)
        for (int x = 0; x < part.width(); ++x)
            ASSERT_EQ(part.pixel(x, y), whole.pixel(x + 13, y + 7)) << x << "," << y;
}
