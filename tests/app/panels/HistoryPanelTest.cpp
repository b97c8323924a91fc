// The History panel in the main window: its rows follow the document's steps, a click or a key
// jumps there, and the Edit menu's Undo and Redo and the panel always agree.
#include "app/ShellTestUtil.h"
#include "app/dialogs/PreferencesDialog.h"
#include "app/panels/HistoryPanel.h"
#include "edit/commands/CmdImageOps.h"
#include "model/DocDump.h"
#include "support/ScriptedUiHost.h"

#include <QDockWidget>
#include <QLabel>
#include <QListWidget>
#include <QSpinBox>
#include <gtest/gtest.h>

using namespace zepho;

namespace {
QStringList Rows(const HistoryPanel& p) {
    QStringList rows;
    for (int i = 0; i < p.list->count(); ++i)
        rows << p.list->item(i)->text();
    return rows;
}
bool Greyed(const HistoryPanel& p, int row) {
    return p.list->item(row)->foreground().color() == p.palette().color(QPalette::Disabled, QPalette::Text);
}
} // namespace

TEST(HistoryPanel, RowsFollowTheStepsAndJumpsGoThere) {
    test::ShellSession s;
    HistoryPanel* panel = s.window.History();
    ASSERT_TRUE(panel);
    ASSERT_TRUE(s.window.HistoryDock()->toggleViewAction());
    EXPECT_EQ(s.window.HistoryDock()->toggleViewAction()->text(), QString("&History Panel"));
    s.window.HistoryDock()->show();
    s.window.HistoryDock()->raise();

    DocumentWindow* w = s.window.NewDocument();
    ASSERT_TRUE(w);
    COrvaneDoc& doc = w->Document();
    EXPECT_EQ(panel->Document(), &doc);
    EXPECT_EQ(Rows(*panel), QStringList{"New"});

    test::ScriptedUiHost ui;
    std::vector<std::string> dumps{DumpDocument(doc.Image(), DumpOptions{false})};
    for (ImageOp op : {ImageOp::Negative, ImageOp::Gray, ImageOp::MirrorHorz}) {
        doc.Image().objects.Head()->content->selected = 1;
        ASSERT_TRUE(CmdImageOperation(doc, op, ui));
        dumps.push_back(DumpDocument(doc.Image(), DumpOptions{false}));
    }
    EXPECT_EQ(Rows(*panel), (QStringList{"New", "Negative", "Gray", "Mirror horizontally"}));
    EXPECT_EQ(panel->list->currentRow(), 3);
    EXPECT_TRUE(panel->memory->text().startsWith("History holds ")) << panel->memory->text().toStdString();

    // A click on the first row undoes everything at once; the menu says what is left to do.
    const QRect first = panel->list->visualItemRect(panel->list->item(0));
    QTest::mouseClick(panel->list->viewport(), Qt::LeftButton, {}, first.center());
    EXPECT_EQ(DumpDocument(doc.Image(), DumpOptions{false}), dumps[0]);
    EXPECT_EQ(panel->list->currentRow(), 0);
    EXPECT_FALSE(doc.IsModified());
    for (int r = 1; r <= 3; ++r)
        EXPECT_TRUE(Greyed(*panel, r)) << r;

    // The keyboard moves one row at a time; the menu's Redo and Undo move the highlight.
    panel->list->setFocus();
    QTest::keyClick(panel->list, Qt::Key_Down);
    EXPECT_EQ(DumpDocument(doc.Image(), DumpOptions{false}), dumps[1]);
    QTest::keyClick(panel->list, Qt::Key_End);
    EXPECT_EQ(DumpDocument(doc.Image(), DumpOptions{false}), dumps[3]);
    EXPECT_EQ(doc.UndoManager().RedoCount(), 0u);
    doc.OnEditUndo();
    EXPECT_EQ(panel->list->currentRow(), 2);
    EXPECT_TRUE(Greyed(*panel, 3));
    EXPECT_FALSE(Greyed(*panel, 2));

    // A new step replaces the greyed ones.
    ASSERT_TRUE(CmdImageOperation(doc, ImageOp::MirrorVert, ui));
    EXPECT_EQ(Rows(*panel), (QStringList{"New", "Negative", "Gray", "Mirror vertically"}));
    EXPECT_EQ(panel->list->currentRow(), 3);

    // The saved state carries the icon, wherever the history goes.
    EXPECT_TRUE(s.window.SaveDocumentAs(w, s.dir.filePath("saved.qzi")));
    EXPECT_FALSE(panel->list->item(3)->icon().isNull());
    panel->list->setCurrentRow(1);
    EXPECT_TRUE(doc.IsModified());
    EXPECT_FALSE(panel->list->item(3)->icon().isNull());
    EXPECT_TRUE(panel->list->item(1)->icon().isNull());
    // Back at the saved row the document is unmodified again (and closes without asking).
    panel->list->setCurrentRow(3);
    EXPECT_FALSE(doc.IsModified());
}

TEST(HistoryPanel, PreferencesSetTheUndoMemory) {
    CAppSettings settings;
    PreferencesDialog automatic(settings);
    EXPECT_EQ(automatic.undoMemory->value(), AutomaticUndoMegabytes());
    automatic.Store(settings);
    EXPECT_EQ(settings.UndoMaxMegabytes, 0) << "the automatic amount stays automatic";
    automatic.undoMemory->setValue(300);
    automatic.Store(settings);
    EXPECT_EQ(settings.UndoMaxMegabytes, 300);
    EXPECT_EQ(UndoBudgetBytes(settings), std::size_t{300} << 20);
    PreferencesDialog again(settings);
    EXPECT_EQ(again.undoMemory->value(), 300);
}
