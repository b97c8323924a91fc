// The selection and paint tools in the shell: the drawing toolbar, the Edit menu's selection
// commands and their states, and a rubber band dragged on the canvas widget.
#include "app/ShellTestUtil.h"
#include "app/canvas/CanvasView.h"
#include "edit/commands/CommandStrings.h"
#include "edit/undo/UndoStrings.h"
#include "support/ScriptedUiHost.h"

#include <QApplication>
#include <QMenu>
#include <QMenuBar>
#include <QTest>
#include <QToolBar>
#include <gtest/gtest.h>

using namespace zepho;

QApplication& TestApp();

namespace {

QPoint CanvasPoint(CanvasView& v, int x, int y) {
    const POINT p = v.View().LogicalToClient(v.View().CanvasToLogical(POINT{x, y}));
    return QPoint(p.x, p.y);
}

QStringList TextsOf(const QList<QAction*>& actions) {
    QStringList texts;
    for (QAction* a : actions)
        if (!a->isSeparator() && !a->text().isEmpty()) texts << a->text();
    return texts;
}

} // namespace

TEST(ToolsShell, DrawingToolbarHoldsTheToolsInOrder) {
    TestApp();
    test::ShellSession session;
    auto* drawing = session.window.findChild<QToolBar*>(QStringLiteral("DrawingToolbar"));
    ASSERT_TRUE(drawing);
    QList<QAction*> tools;
    for (QAction* a : drawing->actions())
        if (a->actionGroup()) tools << a;
    EXPECT_EQ(TextsOf(tools),
              (QStringList{"Default Mode", "Rectangular Selection", "Elliptical Selection", "Lasso Selection",
                           "Magic Wand Selection", "Resize and Rotate", "Text", "Pencil", "Erase",
                           "Flood Fill", "Pick Color", "Rectangle", "Ellipse", "Polygon"}));
    for (int i = 0; i < tools.size(); ++i)
        EXPECT_EQ(tools[i]->data().toInt(), i);

    DocumentWindow* w = session.window.NewDocument();
    ASSERT_TRUE(w);
    tools[ToolFlood]->trigger();
    EXPECT_EQ(w->Canvas()->View().ToolNumber(), ToolFlood);
    w->Document().SetModifiedFlag(false);
}

TEST(ToolsShell, EditMenuOrderAndSelectionCommandStates) {
    TestApp();
    test::ShellSession session;
    test::ScriptedUiHost ui;
    session.window.SetUiHost(&ui);
    DocumentWindow* w = session.window.NewDocument();
    ASSERT_TRUE(w);
    QMenu* edit = nullptr;
    for (QAction* a : session.window.menuBar()->actions())
        if (a->text() == "&Edit") edit = a->menu();
    ASSERT_TRUE(edit);
    const QStringList texts = TextsOf(edit->actions());
    const QStringList expected{"Cu&t",         "&Copy",          "Copy Merged",   "&Paste",
                               "&Delete",      "Select &All",    "U&nselect All", "Invert",
                               "Resize Image", "Resi&ze Canvas", "Preferences..."};
    ASSERT_GE(texts.size(), expected.size());
    EXPECT_EQ(texts.mid(texts.size() - expected.size()), expected);

    QAction* cut = session.Find("Cu&t");
    QAction* del = session.Find("&Delete");
    QAction* selectAll = session.Find("Select &All");
    QAction* unselect = session.Find("U&nselect All");
    QAction* invert = session.Find("Invert");
    ASSERT_TRUE(cut && del && selectAll && unselect && invert);
    EXPECT_EQ(cut->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_X));
    EXPECT_EQ(del->shortcut(), QKeySequence(Qt::Key_Delete));
    EXPECT_EQ(selectAll->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_A));
    EXPECT_EQ(unselect->shortcut(), QKeySequence(Qt::Key_Escape));
    // Del is no longer claimed twice.
    EXPECT_TRUE(session.Find("D&elete Object(s)")->shortcut().isEmpty());

    // The new image's one object is selected; there is no selection region yet.
    session.window.UpdateCommands();
    EXPECT_TRUE(cut->isEnabled() && del->isEnabled() && selectAll->isEnabled() && invert->isEnabled());
    EXPECT_FALSE(unselect->isEnabled());
    selectAll->trigger();
    EXPECT_TRUE(w->Canvas()->View().Selection());
    EXPECT_TRUE(unselect->isEnabled());
    EXPECT_EQ(session.Find(QString(strings::kUndoSelectAll)) != nullptr, true);
    unselect->trigger();
    EXPECT_FALSE(w->Canvas()->View().Selection());
    EXPECT_FALSE(unselect->isEnabled());

    // Delete without a selection region, answered Yes: the object goes and nothing is left to cut.
    ui.answers = {true};
    del->trigger();
    EXPECT_TRUE(w->Document().Image().objects.IsEmpty());
    EXPECT_FALSE(cut->isEnabled());
    EXPECT_FALSE(del->isEnabled());
    ASSERT_FALSE(ui.shown.empty());
    EXPECT_EQ(ui.shown.back().text, strings::kAskClearSelection);
    w->Document().SetModifiedFlag(false);
    session.window.SetUiHost(nullptr);
}

TEST(ToolsShell, RubberBandDragOnTheCanvasMakesASelection) {
    TestApp();
    test::ShellSession session;
    DocumentWindow* w = session.window.NewDocument();
    ASSERT_TRUE(w);
    session.Find("Rectangular Selection")->trigger();
    CanvasView* view = w->Canvas();
    // The band's corners where the mouse put them, not pulled onto the canvas edge.
    session.app.Settings().SnapEnabled = 0;
    QApplication::processEvents();
    const QPoint from = CanvasPoint(*view, 10, 12), to = CanvasPoint(*view, 40, 30);
    QTest::mousePress(view->viewport(), Qt::LeftButton, {}, from);
    QTest::mouseMove(view->viewport(), CanvasPoint(*view, 25, 20));
    QTest::mouseMove(view->viewport(), to);
    // The band shows while dragging, inverted over the new image's white.
    const QImage shot = view->viewport()->grab().toImage();
    EXPECT_EQ(shot.pixelColor(to.x() - 1, to.y() - 1), QColor(0, 0, 0));
    EXPECT_EQ(shot.pixelColor(CanvasPoint(*view, 25, 20)), QColor(255, 255, 255));
    QTest::mouseRelease(view->viewport(), Qt::LeftButton, {}, to);
    ASSERT_TRUE(view->View().Selection());
    EXPECT_EQ(*view->View().Selection(), Region::Rect(10, 12, 40, 30));
    EXPECT_TRUE(view->View().RubberBand().IsEmpty());
    // The release alone brought Unselect All on.
    EXPECT_TRUE(session.Find("U&nselect All")->isEnabled());
    w->Document().SetModifiedFlag(false);
}
