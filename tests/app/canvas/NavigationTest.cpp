// Getting around a document as users of other editors expect: keys and the wheel zoom about a
// point, a large picture opens fitted, the status bar shows the zoom, and the Window menu and
// Ctrl+Tab reach every document.
#include "app/ShellTestUtil.h"
#include "app/canvas/CanvasView.h"
#include "edit/view/OrvaneView.h"
#include "model/DocDump.h"
#include "raster/Dib.h"

#include <QApplication>
#include <QDir>
#include <QImage>
#include <QLabel>
#include <QMdiArea>
#include <QMenu>
#include <QMenuBar>
#include <QSet>
#include <QStatusBar>
#include <QTest>
#include <QWheelEvent>
#include <gtest/gtest.h>

using namespace zepho;

QApplication& TestApp();

namespace {
QString WritePicture(const QString& path, int w, int h) {
    QImage img(w, h, QImage::Format_RGB32);
    img.fill(QColor(40, 120, 200));
    EXPECT_TRUE(img.save(path));
    return path;
}

QMenu* TopMenu(QMainWindow& window, const QString& title) {
    for (QAction* a : window.menuBar()->actions())
        if (a->text() == title) return a->menu();
    return nullptr;
}

QStringList ZoomLabels(QMainWindow& window) {
    QStringList out;
    for (QLabel* l : window.statusBar()->findChildren<QLabel*>())
        if (l->text().endsWith('%')) out << l->text();
    return out;
}
} // namespace

TEST(Navigation, KeysWheelAndFitZoomAboutTheirPoint) {
    TestApp();
    test::ShellSession s;
    const QString path = WritePicture(s.dir.filePath("photo.png"), 4000, 3000);
    DocumentWindow* w = s.window.OpenDocument(path);
    ASSERT_TRUE(w);
    QApplication::processEvents();
    CanvasView* c = w->Canvas();
    COrvaneView& v = c->View();
    // Opened whole, at the largest level of the zoom list that fits.
    EXPECT_EQ(v.Zoom(), v.FitZoom());
    EXPECT_LT(v.Zoom(), -1);
    EXPECT_EQ(ZoomLabels(s.window), QStringList{QString::fromStdString(v.ZoomText())});

    // The keys work without clicking the canvas first.
    const int fitted = v.Zoom();
    QTest::keyClick(s.Focused(), Qt::Key_Plus);
    EXPECT_EQ(v.Zoom(), fitted + 1 == -1 ? 1 : fitted + 1);
    QTest::keyClick(s.Focused(), Qt::Key_Minus);
    EXPECT_EQ(v.Zoom(), fitted);
    QTest::keyClick(s.Focused(), Qt::Key_1, Qt::ControlModifier);
    EXPECT_EQ(v.Zoom(), 1);
    EXPECT_EQ(ZoomLabels(s.window), QStringList{"100%"});
    QTest::keyClick(s.Focused(), Qt::Key_Equal, Qt::ControlModifier);
    EXPECT_EQ(v.Zoom(), 2);
    QTest::keyClick(s.Focused(), Qt::Key_0, Qt::ControlModifier);
    EXPECT_EQ(v.Zoom(), fitted);

    // Ctrl+wheel keeps the canvas point under the mouse where it was.
    QTest::keyClick(s.Focused(), Qt::Key_1, Qt::ControlModifier);
    const QPoint mouse(c->viewport()->width() / 3, c->viewport()->height() / 3);
    const auto under = [&] { return v.LogicalToCanvasExact(v.ClientToLogical(POINT{mouse.x(), mouse.y()})); };
    const DPoint before = under();
    QWheelEvent up(mouse, c->viewport()->mapToGlobal(mouse), QPoint(), QPoint(0, 120), Qt::NoButton,
                   Qt::ControlModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(c->viewport(), &up);
    EXPECT_EQ(v.Zoom(), 2);
    EXPECT_NEAR(under().x, before.x, 0.5);
    EXPECT_NEAR(under().y, before.y, 0.5);
    EXPECT_EQ(ZoomLabels(s.window), QStringList{"200%"});

    // The View menu names its keys.
    QMenu* view = TopMenu(s.window, "&View");
    ASSERT_TRUE(view);
    QStringList texts;
    for (QAction* a : view->actions())
        texts << a->text();
    EXPECT_TRUE(texts.contains("Zoom In\t+"));
    EXPECT_TRUE(texts.contains("Zoom Out\t-"));
    EXPECT_TRUE(texts.contains("&Fit in Window"));
    EXPECT_TRUE(s.Find("&4x"));
    EXPECT_TRUE(s.Find("1/&4x"));
}

TEST(Navigation, WindowMenuListsDocumentsUnderTheirOwnNames) {
    TestApp();
    test::ShellSession s;
    // No document: File holds only what can start one.
    QMenu* file = TopMenu(s.window, "&File");
    ASSERT_TRUE(file);
    QStringList shown;
    for (QAction* a : file->actions())
        if (a->isVisible() && !a->isSeparator()) shown << a->text();
    EXPECT_EQ(shown, (QStringList{"&New", "&Open...", "Open A&VI File...", "P&rint Setup...", "Recent &Files",
                                  "E&xit"}));

    QDir(s.dir.path()).mkpath("a");
    QDir(s.dir.path()).mkpath("b");
    DocumentWindow* first = s.window.OpenDocument(WritePicture(s.dir.filePath("a/shot.png"), 40, 30));
    DocumentWindow* second = s.window.OpenDocument(WritePicture(s.dir.filePath("b/shot.png"), 40, 30));
    ASSERT_TRUE(first && second);
    EXPECT_EQ(first->DocumentTitle(), "shot.png");
    EXPECT_EQ(second->DocumentTitle(), "shot.png 2");
    EXPECT_EQ(s.window.ActiveDocumentWindow(), second);

    QMenu* windows = TopMenu(s.window, "&Window");
    ASSERT_TRUE(windows);
    emit windows->aboutToShow();
    QStringList listed, checked;
    for (QAction* a : windows->actions())
        if (a->text().startsWith('&') && a->text().contains("shot.png")) {
            listed << a->text();
            if (a->isChecked()) checked << a->text();
        }
    EXPECT_EQ(listed, (QStringList{"&1 shot.png", "&2 shot.png 2"}));
    EXPECT_EQ(checked, QStringList{"&2 shot.png 2"});

    // Ctrl+Tab from anywhere in the window goes to the next document, Ctrl+Shift+Tab back.
    ASSERT_TRUE(s.Active());
    QTest::keyClick(&s.window, Qt::Key_Tab, Qt::ControlModifier);
    EXPECT_EQ(s.window.ActiveDocumentWindow(), first);
    QTest::keyClick(&s.window, Qt::Key_Tab, Qt::ControlModifier | Qt::ShiftModifier);
    EXPECT_EQ(s.window.ActiveDocumentWindow(), second);

    // The Edit menu's prompts.
    EXPECT_EQ(s.Find("Can't &Undo")->statusTip(), "Undo the last action");
    EXPECT_EQ(s.Find("Can't &Redo")->statusTip(), "Redo the previously undone action");
}

TEST(PaintColours, XSwapsAndDResetsThemFromAnywhereInTheWindow) {
    TestApp();
    test::ShellSession s;
    DocumentWindow* w = s.window.OpenDocument(WritePicture(s.dir.filePath("p.png"), 40, 30));
    ASSERT_TRUE(w);
    s.window.paint = {RGB(200, 10, 10), RGB(10, 200, 10)};
    QTest::keyClick(s.Focused(), Qt::Key_X);
    EXPECT_EQ(s.window.paint.fore, RGB(10, 200, 10));
    EXPECT_EQ(s.window.paint.back, RGB(200, 10, 10));
    QTest::keyClick(s.Focused(), Qt::Key_D);
    EXPECT_EQ(s.window.paint.fore, RGB(0, 0, 0));
    EXPECT_EQ(s.window.paint.back, RGB(255, 255, 255));
    // The buttons beside the two colours do the same.
    s.window.paint.fore = RGB(1, 2, 3);
    s.Find("Swap Colors")->trigger();
    EXPECT_EQ(s.window.paint.back, RGB(1, 2, 3));
}

TEST(PlayAnimation, ShowsTheFramesInTurnAndEscapeStopsWithoutChangingTheDocument) {
    TestApp();
    test::ShellSession s;
    DocumentWindow* w = s.window.OpenDocument(WritePicture(s.dir.filePath("base.png"), 40, 30));
    ASSERT_TRUE(w);
    CDocImage& img = w->Document().Image();
    img.delay = 2; // 20 ms a frame
    for (COLORREF c : {RGB(255, 0, 0), RGB(0, 0, 255)}) {
        Ref<CObjContent> content = MakeRef<CObjContent>(KindImage);
        content->SetRaster(CreateSolidDIB(10, 10, c, 255));
        Ref<CDrawObj> o = MakeRef<CDrawObj>(content);
        o->visible = 1;
        img.objects.AddTail(o);
    }
    const std::string before = DumpDocument(img, DumpOptions{false});
    CanvasView* c = w->Canvas();
    c->View().SetZoom(1);
    s.Find("&Play Animation")->trigger();
    ASSERT_TRUE(c->Playing());
    QSet<int> seen;
    for (int i = 0; i < 40 && seen.size() < 3; ++i) {
        seen << c->PlayFrame();
        QTest::qWait(10);
    }
    EXPECT_EQ(seen, (QSet<int>{0, 1, 2}));
    // The last frame shows the blue square over the red one over the picture.
    while (c->PlayFrame() != 2)
        QTest::qWait(5);
    const QImage shown = c->viewport()->grab().toImage();
    const RECT r = c->View().LogicalToClient(c->View().CanvasRect());
    EXPECT_EQ(QColor(shown.pixel(r.left + 5, r.top + 5)), QColor(0, 0, 255));
    EXPECT_EQ(QColor(shown.pixel(r.left + 30, r.top + 20)), QColor(40, 120, 200));
    QTest::keyClick(c, Qt::Key_Escape);
    EXPECT_FALSE(c->Playing());
    EXPECT_EQ(DumpDocument(img, DumpOptions{false}), before);
    // One visible object is no animation.
    for (int i = 1; i < img.objects.Count(); ++i)
        img.objects.At(i)->visible = 0;
    EXPECT_FALSE(c->PlayAnimation());
}
