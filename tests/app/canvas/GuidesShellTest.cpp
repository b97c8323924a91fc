// Rulers, guides and grid in the editor: guides dragged out of a ruler, moved and dragged back,
// locked, typed and cleared; the grid drawn only where it can be read; and the guides of a saved
// document coming back with it while the file's bytes stay as they were.
#include "app/ShellTestUtil.h"
#include "app/canvas/CanvasView.h"
#include "app/canvas/Rulers.h"
#include "edit/view/OrvaneView.h"

#include <QFile>
#include <QImage>
#include <QMdiArea>
#include <QTest>
#include <gtest/gtest.h>

#include <cmath>

using namespace zepho;

QApplication& TestApp();

namespace {

QPoint ViewportPoint(CanvasView* c, double canvasX, double canvasY) {
    return QPoint(static_cast<int>(std::floor(c->CanvasToClientX(canvasX))),
                  static_cast<int>(std::floor(c->CanvasToClientY(canvasY))));
}

// A drag whose points are given in the viewport's coordinates, started on `from`.
void DragFrom(QWidget* from, CanvasView* c, QPoint start, const std::vector<QPoint>& viewportPath) {
    QTest::mousePress(from, Qt::LeftButton, {}, start);
    QPoint last = start;
    for (const QPoint& p : viewportPath) {
        last = from->mapFromGlobal(c->viewport()->mapToGlobal(p));
        QTest::mouseMove(from, last);
    }
    QTest::mouseRelease(from, Qt::LeftButton, {}, last);
}

QByteArray Bytes(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

} // namespace

TEST(GuidesShell, RulersMakeGuidesThatMoveLockAndGo) {
    TestApp();
    test::ShellSession s;
    DocumentWindow* w = s.window.NewDocument();
    ASSERT_TRUE(w);
    CanvasView* c = w->Canvas();
    COrvaneDoc& doc = w->Document();
    QApplication::processEvents();

    // View > Rulers puts a ruler along the top and the left, and takes the viewport's room.
    QAction* rulers = s.Find("&Rulers");
    ASSERT_TRUE(rulers);
    EXPECT_EQ(rulers->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_R));
    rulers->trigger();
    ASSERT_TRUE(c->RulersShown());
    ASSERT_TRUE(c->HorizontalRuler() && c->HorizontalRuler()->isVisible());
    EXPECT_EQ(c->viewport()->geometry().top() - c->HorizontalRuler()->geometry().top(), Ruler::kThickness);
    EXPECT_EQ(Ruler::LabelStep(1), 50);
    EXPECT_EQ(Ruler::LabelStep(8), 10);
    EXPECT_EQ(Ruler::LabelStep(0.125), 500);

    // Out of the top ruler onto the canvas: a horizontal guide where the mouse let go.
    DragFrom(c->HorizontalRuler(), c, QPoint(100, 10), {ViewportPoint(c, 30, 20), ViewportPoint(c, 30, 40)});
    ASSERT_EQ(doc.guides.horizontal, std::vector<int>{40});
    DragFrom(c->VerticalRuler(), c, QPoint(10, 100), {ViewportPoint(c, 64, 40)});
    ASSERT_EQ(doc.guides.vertical, std::vector<int>{64});

    // The move tool takes a guide before the objects: moved, then dragged back onto its ruler.
    DragFrom(c->viewport(), c, ViewportPoint(c, 200, 40), {ViewportPoint(c, 200, 90)});
    EXPECT_EQ(doc.guides.horizontal, std::vector<int>{90});
    DragFrom(c->viewport(), c, ViewportPoint(c, 64, 200), {QPoint(-5, 200)});
    EXPECT_TRUE(doc.guides.vertical.empty());

    // Locked guides stay put.
    QAction* lock = s.Find("&Lock Guides");
    ASSERT_TRUE(lock);
    lock->trigger();
    DragFrom(c->viewport(), c, ViewportPoint(c, 200, 90), {ViewportPoint(c, 200, 120)});
    EXPECT_EQ(doc.guides.horizontal, std::vector<int>{90});
    lock->trigger();
    // That drag went to the objects: nothing to save at the end.
    doc.SetModifiedFlag(false);

    // New Guide... at an exact place, then Clear.
    s.window.newGuideAnswer = [](bool& vertical, int& position) {
        vertical = true;
        position = 123;
        return true;
    };
    s.Find("&New Guide...")->trigger();
    EXPECT_EQ(doc.guides.vertical, std::vector<int>{123});
    // Guides are drawn over the canvas in their own colour, never into the picture.
    QApplication::processEvents();
    const QImage shot = c->viewport()->grab().toImage();
    const QPoint g = ViewportPoint(c, 123, 10);
    EXPECT_EQ(shot.pixelColor(g), QColor(0, 162, 232));
    QAction* clear = s.Find("&Clear Guides");
    ASSERT_TRUE(clear && clear->isEnabled());
    clear->trigger();
    EXPECT_TRUE(doc.guides.Empty());
    EXPECT_FALSE(clear->isEnabled());
}

TEST(GuidesShell, GridShowsOnlyWhereItsLinesStayApart) {
    TestApp();
    test::ShellSession s;
    DocumentWindow* w = s.window.NewDocument();
    ASSERT_TRUE(w);
    CanvasView* c = w->Canvas();
    s.app.Settings().GridColor = RGB(255, 0, 0);
    QAction* grid = s.Find("G&rid");
    ASSERT_TRUE(grid);
    EXPECT_EQ(grid->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_Apostrophe));
    grid->trigger();
    EXPECT_TRUE(w->Document().guides.gridShown);

    struct Case {
        int zoom;
        bool drawn;
    };
    // 16 pixels: 16 screen pixels at 1, 4 at 1/4, 2 at 1/8.
    for (const Case& k : {Case{1, true}, Case{-4, true}, Case{-8, false}}) {
        SCOPED_TRACE(k.zoom);
        c->View().SetZoom(k.zoom);
        QApplication::processEvents();
        const QImage shot = c->viewport()->grab().toImage();
        const QPoint at = ViewportPoint(c, 32, 40);
        EXPECT_EQ(shot.pixelColor(at) == QColor(255, 0, 0), k.drawn);
    }
    grid->trigger();
    EXPECT_FALSE(w->Document().guides.gridShown);
}

TEST(GuidesShell, GuidesComeBackWithTheSavedFileWhoseBytesStayTheSame) {
    TestApp();
    QTemporaryDir files;
    const QString path = files.filePath("poster.qzi");
    QByteArray saved;
    {
        test::ShellSession s;
        DocumentWindow* w = s.window.NewDocument();
        ASSERT_TRUE(w);
        ASSERT_TRUE(s.window.SaveDocumentAs(w, path));
        saved = Bytes(path);
        s.window.newGuideAnswer = [](bool& vertical, int& position) {
            vertical = false;
            position = 77;
            return true;
        };
        s.Find("&New Guide...")->trigger();
        s.Find("G&rid")->trigger();
        ASSERT_TRUE(s.window.SaveDocumentAs(w, path));
        EXPECT_EQ(Bytes(path), saved);
        // The settings file of this machine keeps them.
        s.app.Exit();
        CZephoApp reader(s.dir.filePath("zepho.ini"));
        reader.Start();
        const CGuides kept = reader.GuidesOf(path);
        EXPECT_EQ(kept.horizontal, std::vector<int>{77});
        EXPECT_TRUE(kept.gridShown);
        // Another file has none.
        EXPECT_TRUE(reader.GuidesOf(files.filePath("other.qzi")) == CGuides{});

        // Reopened in this session: the guides and grid are back.
        s.window.MdiArea()->closeAllSubWindows();
        QApplication::processEvents();
        DocumentWindow* reopened = s.window.OpenDocument(path);
        ASSERT_TRUE(reopened);
        EXPECT_EQ(reopened->Document().guides.horizontal, std::vector<int>{77});
        EXPECT_TRUE(reopened->Document().guides.gridShown);
    }
}
