// Pictures for the documentation, taken on a real X display only when asked:
//   ZEPHO_SCREENSHOT_DIR=docs xvfb-run -a -s "-screen 0 560x600x24" env QT_QPA_PLATFORM=xcb test_app
//       --gtest_filter=PropertyScreenshot.*
#include "app/canvas/QtDib.h"
#include "app/properties/PropertySheet.h"
#include "model/RectObj.h"
#include "model/TextObj.h"
#include "raster/Dib.h"
#include "support/ScriptedUiHost.h"

#include <QApplication>
#include <QLabel>
#include <QPainter>
#include <QProcess>
#include <QTabWidget>
#include <QTest>
#include <gtest/gtest.h>

#include <cstdlib>

using namespace zepho;

QApplication& TestApp();

namespace {

QString ShotDir() {
    const char* dir = std::getenv("ZEPHO_SCREENSHOT_DIR");
    return dir ? QString::fromLocal8Bit(dir) : QString();
}

void Shoot(QWidget& w, const QString& name) {
    w.move(0, 0);
    w.show();
    w.raise();
    w.activateWindow();
    for (int i = 0; i < 20; ++i) {
        QTest::qWait(25);
        QApplication::processEvents();
    }
    const QString path = ShotDir() + "/" + name;
    ASSERT_EQ(
        QProcess::execute(
            "import",
            {"-window", "root", "-crop",
             QString("%1x%2+0+0").arg(w.frameGeometry().width()).arg(w.frameGeometry().height()), path}),
        0);
}

TEST(PropertyScreenshot, RectangleShadowPage) {
    if (ShotDir().isEmpty()) GTEST_SKIP();
    TestApp();
    test::ScriptedUiHost ui;
    COrvaneDoc doc;
    doc.CreateNewImage(200, 150, false, RGB(255, 255, 255));
    Ref<CRectObj> r = MakeRef<CRectObj>();
    r->width = 80;
    r->height = 50;
    r->roundCorner = 20;
    r->strokeWidth = 4;
    r->paint = {RGB(20, 40, 160), RGB(250, 190, 40), 3, 0};
    Ref<CObjContent> c = MakeRef<CObjContent>(KindRectangle);
    c->SetShape(r);
    c->SetRaster(RenderForObject(*r));
    c->name = "Rectangle - 1";
    c->UpdateShadow();
    Ref<CDrawObj> o = MakeRef<CDrawObj>(c);
    o->visible = 1;
    doc.Image().objects.AddTail(o);
    PropertySheetDialog d(doc, o, ui);
    d.tabs->setCurrentIndex(2);
    Shoot(d, "property-sheet-shadow.png");
    d.reject();
}

TEST(PropertyScreenshot, TwoFontTextWithOutline) {
    if (ShotDir().isEmpty()) GTEST_SKIP();
    TestApp();
    CTextObj t;
    t.paint = {RGB(30, 60, 200), RGB(200, 30, 120), 2, 0};
    t.outline = 1;
    t.outlineColor = RGB(255, 220, 0);
    t.outlineThickness = 4;
    t.outlineSmooth = 3;
    CTextRun a;
    a.face = "DejaVu Serif";
    a.size = 720;
    a.bold = 1;
    a.SetText(u"Zepho ");
    CTextRun b;
    b.face = "Liberation Sans";
    b.size = 560;
    b.italic = 1;
    b.SetText(u"Image");
    b.lineEnd = 1;
    CTextRun c = a;
    c.bold = 0;
    c.size = 400;
    c.SetText(u"two fonts, one outline");
    t.runs = {a, b, c};
    t.alignment = CTextObj::kAlignCenter;
    const PackedDib dib = t.Render();
    ASSERT_TRUE(dib);
    QImage text = ToQImage(dib);
    QPixmap pm(text.width() + 40, text.height() + 40);
    pm.fill(QColor(235, 235, 235));
    QPainter p(&pm);
    p.drawImage(20, 20, text);
    p.end();
    QLabel label;
    label.setWindowFlag(Qt::FramelessWindowHint);
    label.setPixmap(pm);
    label.resize(pm.size());
    Shoot(label, "text-two-fonts-outline.png");
}

} // namespace
