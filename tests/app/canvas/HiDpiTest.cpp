// The shell on a screen of two device pixels per window pixel. These cases run in the suite's
// second pass under QT_SCALE_FACTOR=2 (see tests/CMakeLists.txt); at ratio 1 they are skipped.
#include "app/canvas/CanvasView.h"
#include "app/mainwindow/Icons.h"
#include "app/panels/ObjectsPanel.h"
#include "edit/document/OrvaneDoc.h"
#include "model/AppSettings.h"
#include "raster/Dib.h"
#include "support/ScriptedUiHost.h"

#include <QApplication>
#include <QImage>
#include <QListWidget>
#include <QPixmap>
#include <gtest/gtest.h>

using namespace zepho;

QApplication& TestApp();

TEST(HiDpi, CanvasPixelsAreTwoByTwoDevicePixelsAndIconsAreDrawnAtTheRatio) {
    if (TestApp().devicePixelRatio() < 2) GTEST_SKIP() << "needs QT_SCALE_FACTOR=2";
    CAppSettings settings;
    COrvaneDoc doc;
    ASSERT_TRUE(doc.CreateNewImage(16, 12, true, RGB(255, 255, 255)));
    doc.Image().DeselectAll();
    // A one-pixel checker of black and white over the whole canvas.
    PackedDib raster = CreateSolidDIB(16, 12, RGB(255, 255, 255), 255);
    for (int y = 0; y < raster.Height(); ++y)
        for (int x = 0; x < raster.Width(); ++x)
            if ((x + y) & 1) {
                BYTE* p = raster.Pixel32(x, y);
                p[0] = p[1] = p[2] = 0;
            }
    doc.Image().objects.Head()->content->SetRaster(std::move(raster));
    CPaintColours colours;
    CanvasView view(doc, &colours, nullptr, &settings);
    view.resize(200, 150);
    view.show();
    const QPixmap grabbed = view.viewport()->grab();
    ASSERT_EQ(grabbed.devicePixelRatio(), 2.0);
    const QImage shot = grabbed.toImage();
    ASSERT_EQ(shot.width(), 2 * view.viewport()->width());
    const POINT o = view.View().LogicalToClient(view.View().CanvasToLogical(POINT{0, 0}));
    for (int y = 0; y < 12; ++y)
        for (int x = 0; x < 16; ++x) {
            const QColor want = (x + y) & 1 ? QColor(0, 0, 0) : QColor(255, 255, 255);
            for (int j = 0; j < 2; ++j)
                for (int i = 0; i < 2; ++i)
                    ASSERT_EQ(shot.pixelColor(2 * (o.x + x) + i, 2 * (o.y + y) + j), want)
                        << "canvas " << x << "," << y << " device " << i << "," << j;
        }

    // Reduced by 2 every canvas pixel still has a device pixel of its own, where enlarging the
    // window-resolution picture would show every other one only.
    view.View().SetZoom(-2);
    const QImage reduced = view.viewport()->grab().toImage();
    const POINT r = view.View().LogicalToClient(view.View().CanvasToLogical(POINT{0, 0}));
    for (int y = 0; y < 12; ++y)
        for (int x = 0; x < 16; ++x)
            ASSERT_EQ(reduced.pixelColor(2 * r.x + x, 2 * r.y + y),
                      (x + y) & 1 ? QColor(0, 0, 0) : QColor(255, 255, 255))
                << "canvas " << x << "," << y;

    // The toolbar's icons come drawn for the ratio, not enlarged from 24 pixels.
    const QPixmap icon = ToolIcon(ToolIconId{}).pixmap(QSize(24, 24), 2.0);
    EXPECT_EQ(icon.width(), 48);
    EXPECT_EQ(icon.devicePixelRatio(), 2.0);
    const QImage big = icon.toImage();
    const QImage small = ToolIcon(ToolIconId{}).pixmap(QSize(24, 24), 1.0).toImage();
    ASSERT_EQ(small.width(), 24);
    EXPECT_NE(big, small.scaled(48, 48)) << "a picture of its own at each ratio";
}

TEST(HiDpi, ObjectThumbnailsAreDrawnAtDeviceResolution) {
    if (TestApp().devicePixelRatio() < 2) GTEST_SKIP() << "needs QT_SCALE_FACTOR=2";
    CAppSettings settings;
    test::ScriptedUiHost ui;
    COrvaneDoc doc;
    doc.SetSettings(&settings);
    ASSERT_TRUE(doc.CreateNewImage(48, 48, true, RGB(255, 255, 255)));
    doc.Image().DeselectAll();
    // A one-pixel checker as large as the thumbnail's side in window pixels: at ratio 2 the
    // thumbnail has room for every pixel.
    PackedDib raster = CreateSolidDIB(48, 48, RGB(255, 255, 255), 255);
    for (int y = 0; y < 48; ++y)
        for (int x = 0; x < 48; ++x)
            if ((x + y) & 1) {
                BYTE* p = raster.Pixel32(x, y);
                p[0] = p[1] = p[2] = 0;
            }
    doc.Image().objects.Head()->content->SetRaster(std::move(raster));
    IUiHost* host = &ui;
    ObjectsPanel panel{settings, host};
    panel.resize(400, 300);
    panel.show();
    panel.SetDocument(&doc);
    ASSERT_EQ(panel.RowHeight() - 4, 48);
    QApplication::processEvents();
    const QImage shot = panel.list->viewport()->grab().toImage();
    const QRect r = panel.list->visualItemRect(panel.list->item(0));
    ASSERT_EQ(panel.list->count(), 1);
    const QPoint at = 2 * (r.topLeft() + QPoint(2, 2));
    // Inside the thumbnail's frame: neighbouring device pixels alternate.
    for (int y = 4; y < 12; ++y)
        for (int x = 4; x < 12; ++x)
            ASSERT_NE(shot.pixelColor(at + QPoint(x, y)), shot.pixelColor(at + QPoint(x + 1, y)))
                << x << "," << y;
}
