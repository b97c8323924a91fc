#include "app/canvas/CanvasView.h"
#include "app/ShellTestUtil.h"
#include "app/canvas/DocumentWindow.h"
#include "app/mainwindow/MainWindow.h"
#include "app/mainwindow/ZephoApp.h"
#include "model/AppSettings.h"
#include "raster/Dib.h"

#include <QAction>
#include <QApplication>
#include <QMenuBar>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

using namespace zepho;

QApplication& TestApp();

namespace {
Ref<CDrawObj> AddSolid(COrvaneDoc& doc, int x, int y, COLORREF colour, BYTE transparency) {
    Ref<CObjContent> c = MakeRef<CObjContent>(KindImage);
    c->SetRaster(CreateSolidDIB(10, 10, colour, 255));
    Ref<CDrawObj> o = MakeRef<CDrawObj>(c);
    o->visible = 1;
    o->x = x;
    o->y = y;
    o->transparency = transparency;
    doc.Image().objects.AddTail(o);
    return o;
}

QPoint CanvasPoint(CanvasView& v, int x, int y) {
    const POINT p = v.View().LogicalToClient(v.View().CanvasToLogical(POINT{x, y}));
    return QPoint(p.x, p.y);
}
} // namespace

TEST(CanvasView, PaintsTheViewModelsComposition) {
    TestApp();
    CAppSettings settings;
    COrvaneDoc doc;
    ASSERT_TRUE(doc.CreateNewImage(64, 48, true, RGB(255, 0, 0)));
    doc.Image().DeselectAll();
    AddSolid(doc, 20, 0, RGB(0, 0, 255), 128);
    CPaintColours colours;
    CanvasView view(doc, &colours, nullptr, &settings);
    view.resize(200, 150);
    view.show();
    const QImage shot = view.viewport()->grab().toImage();
    EXPECT_EQ(shot.pixelColor(CanvasPoint(view, 1, 1)), QColor(255, 255, 255));
    EXPECT_EQ(shot.pixelColor(CanvasPoint(view, 9, 1)), QColor(212, 212, 212));
    const QColor blended = shot.pixelColor(CanvasPoint(view, 21, 1));
    EXPECT_GT(blended.blue(), 200);
    EXPECT_LT(blended.red(), 160);
    // Ctrl+wheel zooms.
    QWheelEvent wheel(QPointF(10, 10), view.mapToGlobal(QPointF(10, 10)), QPoint(), QPoint(0, 120),
                      Qt::NoButton, Qt::ControlModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(view.viewport(), &wheel);
    EXPECT_EQ(view.View().Zoom(), 2);
}

TEST(CanvasView, DraggingWithTheMoveToolRecordsOneMove) {
    TestApp();
    test::ShellSession session;
    MainWindow& window = session.window;
    CZephoApp& app = session.app;
    DocumentWindow* w = window.NewDocument();
    ASSERT_TRUE(w);
    COrvaneDoc& doc = w->Document();
    Ref<CDrawObj> obj = AddSolid(doc, 30, 30, RGB(0, 128, 0), 0);
    doc.Image().DeselectAll();
    obj->content->selected = 1;
    doc.NotifyObjectsChanged();
    CanvasView* view = w->Canvas();
    QApplication::processEvents();
    view->View().SetZoom(1); // whole pixels (a canvas larger than the window opens reduced)
    const QPoint from = CanvasPoint(*view, 35, 35), to = CanvasPoint(*view, 45, 40);
    QTest::mousePress(view->viewport(), Qt::LeftButton, {}, from);
    QTest::mouseMove(view->viewport(), CanvasPoint(*view, 40, 37));
    QTest::mouseMove(view->viewport(), to);
    QTest::mouseRelease(view->viewport(), Qt::LeftButton, {}, to);
    EXPECT_EQ(obj->x, 40);
    EXPECT_EQ(obj->y, 35);
    EXPECT_EQ(doc.UndoManager().UndoCount(), 1u);
    window.UpdateCommands();
    QAction* undo = session.Find("Undo move object(s)");
    ASSERT_TRUE(undo);
    undo->trigger();
    EXPECT_EQ(obj->x, 30);
    EXPECT_EQ(obj->y, 30);
    // The arrow keys nudge by the settings' offsets.
    app.Settings().HorizontalOffset = 5;
    QTest::keyClick(view, Qt::Key_Right);
    EXPECT_EQ(obj->x, 35);
    doc.SetModifiedFlag(false);
}

#include <QFile>
#include <QFileInfo>
#include <QPrinter>

TEST(CanvasView, ZoomCommandsFollowTheView) {
    TestApp();
    test::ShellSession session;
    MainWindow& window = session.window;
    auto find = [&](const QString& text) { return session.Find(text); };
    // Without a document the zoom commands are off and only File, View and Help remain.
    window.UpdateCommands();
    ASSERT_TRUE(find("&8x"));
    EXPECT_FALSE(find("&8x")->isEnabled());
    EXPECT_FALSE(find("&Edit")->isVisible());
    EXPECT_TRUE(find("&View")->isVisible());
    DocumentWindow* w = window.NewDocument();
    ASSERT_TRUE(w);
    window.UpdateCommands();
    EXPECT_FALSE(find("&2x")->isChecked());
    find("&8x")->trigger();
    EXPECT_EQ(w->Canvas()->View().Zoom(), 8);
    EXPECT_TRUE(find("&8x")->isChecked());
    EXPECT_FALSE(find("Zoom In")->isEnabled()); // already at the largest
    find("1/&8x")->trigger();
    EXPECT_EQ(w->Canvas()->View().Zoom(), -8);
    EXPECT_FALSE(find("Zoom Out")->isEnabled());
    EXPECT_TRUE(find("Zoom In")->isEnabled());

    // What printing draws: the flattened picture over the export background.
    const QImage flat = window.FlattenedImage(w->Document());
    EXPECT_EQ(flat.size(), QSize(640, 480));
    EXPECT_EQ(flat.pixelColor(10, 10), QColor(255, 255, 255));
    w->Document().SetModifiedFlag(false);
}

TEST(CanvasView, TheUserGuideShipsWithTheProgram) {
    TestApp();
    QTemporaryDir dir;
    CZephoApp app(dir.filePath("zepho.ini"));
    MainWindow window(app); // registers the help pages
    QFile guide(":/help/guide.html");
    ASSERT_TRUE(guide.open(QIODevice::ReadOnly));
    EXPECT_GT(guide.size(), 1000);
}

#include "app/properties/PropertyEditor.h"
#include "app/properties/TextEditor.h"

#include <QTextEdit>

TEST(CanvasView, TheTextToolOpensTheEditorFromTheToolbar) {
    TestApp();
    test::ShellSession session;
    MainWindow& window = session.window;
    DocumentWindow* w = window.NewDocument();
    ASSERT_TRUE(w);
    QAction* textTool = session.Find("Text");
    ASSERT_TRUE(textTool);
    textTool->trigger();
    EXPECT_EQ(w->Canvas()->View().ToolNumber(), ToolText);
    SetDialogRunner([](QDialog& dialog) {
        auto& d = dynamic_cast<TextEditorDialog&>(dialog);
        QTest::keyClicks(d.edit, "Hi");
        d.accept();
        return d.result();
    });
    const QPoint at = CanvasPoint(*w->Canvas(), 50, 60);
    QTest::mouseClick(w->Canvas()->viewport(), Qt::LeftButton, {}, at);
    SetDialogRunner({});
    ASSERT_EQ(w->Document().Image().objects.Count(), 2);
    EXPECT_EQ(w->Document().Image().objects.Tail()->content->kind, KindText);
    window.UpdateCommands();
    bool labelled = false;
    for (QAction* a : window.findChildren<QAction*>())
        labelled |= a->text() == "Undo add text";
    EXPECT_TRUE(labelled);
    w->Document().SetModifiedFlag(false);
}

#include "app/services/QtServices.h"
#include <QClipboard>

TEST(CanvasView, EveryWindowFollowsAndCommandsWaitForTheGesture) {
    TestApp();
    test::ShellSession session;
    MainWindow& window = session.window;
    DocumentWindow* first = window.NewDocument();
    ASSERT_TRUE(first);
    auto find = [&](const QString& text) { return session.Find(text); };
    find("&New Window")->trigger();
    DocumentWindow* second = window.ActiveDocumentWindow();
    ASSERT_NE(first, second);
    // A canvas resize from the second window lays out both.
    COrvaneDoc& doc = first->Document();
    doc.Image().width = 1280; // as a canvas resize leaves it
    doc.NotifyObjectsChanged();
    const RECT r1 = first->Canvas()->View().CanvasRect(), r2 = second->Canvas()->View().CanvasRect();
    EXPECT_EQ(r1.right - r1.left, 1280);
    EXPECT_EQ(r2.right - r2.left, 1280);

    // Paste follows the clipboard.
    QGuiApplication::clipboard()->clear();
    window.UpdateCommands();
    EXPECT_FALSE(find("&Paste")->isEnabled());
    QImage img(4, 4, QImage::Format_ARGB32);
    img.fill(Qt::red);
    QGuiApplication::clipboard()->setImage(img);
    EXPECT_TRUE(find("&Paste")->isEnabled());

    // Undo waits while a drag is under way.
    Ref<CDrawObj> obj = doc.Image().objects.Head();
    obj->content->selected = 1;
    doc.SetModifiedFlag();
    CanvasView* view = second->Canvas();
    const POINT p = view->View().LogicalToClient(view->View().CanvasToLogical(POINT{5, 5}));
    view->View().OnLButtonDown(kMkLButton, p);
    view->View().OnMouseMove(kMkLButton, POINT{p.x + 10, p.y});
    EXPECT_EQ(obj->x, 10);
    window.UpdateCommands();
    find("Undo move object(s)")->trigger();
    EXPECT_EQ(obj->x, 10); // refused mid-drag
    view->View().OnLButtonUp(0, POINT{p.x + 10, p.y});
    find("Undo move object(s)")->trigger();
    EXPECT_EQ(obj->x, 0);
    doc.SetModifiedFlag(false);
}
