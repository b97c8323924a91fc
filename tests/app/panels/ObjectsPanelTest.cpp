#include "app/panels/ObjectsPanel.h"
#include "app/canvas/CanvasView.h"
#include "edit/commands/CmdObjects.h"
#include "model/AppSettings.h"
#include "raster/Dib.h"
#include "support/ScriptedUiHost.h"

#include <QApplication>
#include <QListWidget>
#include <QMouseEvent>
#include <QRadioButton>
#include <QSpinBox>
#include <QTest>
#include <QToolButton>
#include <gtest/gtest.h>

using namespace zepho;

QApplication& TestApp();

namespace {

struct PanelFixture {
    CAppSettings settings;
    test::ScriptedUiHost scripted;
    IUiHost* ui = &scripted;
    COrvaneDoc doc;
    ObjectsPanel panel{settings, ui};

    PanelFixture() {
        doc.SetSettings(&settings);
        doc.CreateNewImage(60, 40, false, RGB(255, 255, 255));
        for (int i = 0; i < 2; ++i) {
            Ref<CObjContent> c = MakeRef<CObjContent>(KindImage);
            c->SetRaster(CreateSolidDIB(10, 10, i ? RGB(0, 0, 255) : RGB(255, 0, 0), 255));
            c->name = i ? "Blue" : "Red";
            Ref<CDrawObj> o = MakeRef<CDrawObj>(c);
            o->visible = 1;
            o->x = 5;
            o->y = 5;
            o->transparency = static_cast<BYTE>(10 + 10 * i);
            doc.Image().objects.AddTail(o);
        }
        doc.Image().DeselectAll();
        panel.resize(400, 500);
        panel.show();
        panel.SetDocument(&doc);
    }
    // Clicks a hot spot of a row: the eye is at h + 14, the lock at h + 38, vertically centred.
    void ClickHotSpot(int row, int dx) {
        const QRect r = panel.list->visualItemRect(panel.list->item(row));
        const int h = panel.RowHeight();
        QTest::mouseClick(panel.list->viewport(), Qt::LeftButton, {},
                          QPoint(r.left() + h + dx + 5, r.top() + h / 2));
    }
};

} // namespace

TEST(ObjectsPanel, RowsAreTopmostFirstAndFollowTheSelection) {
    TestApp();
    PanelFixture f;
    ASSERT_EQ(f.panel.list->count(), 3);
    EXPECT_EQ(f.panel.Items()[0]->content->name, "Blue");
    EXPECT_EQ(f.panel.Items()[2]->content->name, "Obj - 1");
    EXPECT_EQ(f.panel.RowHeight(), 52); // thumbnail size option 1

    // Rows to document.
    f.panel.list->item(0)->setSelected(true);
    f.panel.list->item(1)->setSelected(true);
    EXPECT_TRUE(f.panel.Items()[0]->IsSelected());
    EXPECT_TRUE(f.panel.Items()[1]->IsSelected());
    EXPECT_FALSE(f.panel.Items()[2]->IsSelected());
    // Different transparencies leave the box empty.
    EXPECT_EQ(f.panel.transparency->value(), -1);
    EXPECT_TRUE(f.panel.duplicateButton->isEnabled());

    // Document to rows.
    f.doc.Image().DeselectAll();
    f.doc.Image().objects.Head()->content->selected = 1;
    f.doc.NotifySelectionChanged();
    EXPECT_FALSE(f.panel.list->item(0)->isSelected());
    EXPECT_TRUE(f.panel.list->item(2)->isSelected());
    EXPECT_EQ(f.panel.transparency->value(), 0);
}

TEST(ObjectsPanel, TransparencySetsEverySelectedObjectInOneStep) {
    TestApp();
    PanelFixture f;
    f.panel.list->item(0)->setSelected(true);
    f.panel.list->item(1)->setSelected(true);
    f.panel.transparency->setValue(60);
    emit f.panel.transparency->editingFinished();
    EXPECT_EQ(f.panel.Items()[0]->transparency, 60);
    EXPECT_EQ(f.panel.Items()[1]->transparency, 60);
    EXPECT_EQ(f.doc.UndoManager().UndoCount(), 1u);
    f.doc.OnEditUndo();
    EXPECT_EQ(f.panel.Items()[0]->transparency, 20);
    EXPECT_EQ(f.panel.Items()[1]->transparency, 10);
}

TEST(ObjectsPanel, EyeHidesTheObjectAndTheCanvasFollows) {
    TestApp();
    PanelFixture f;
    CPaintColours colours;
    CanvasView canvas(f.doc, &colours, nullptr, &f.settings);
    canvas.resize(200, 150);
    canvas.show();
    const POINT p = canvas.View().LogicalToClient(canvas.View().CanvasToLogical(POINT{8, 8}));
    auto colourAt = [&] { return canvas.viewport()->grab().toImage().pixelColor(QPoint(p.x, p.y)); };
    EXPECT_GT(colourAt().blue(), 200); // the blue object, nearly opaque
    EXPECT_LT(colourAt().red(), 40);
    f.ClickHotSpot(0, 14); // the blue object's eye
    EXPECT_FALSE(f.panel.Items()[0]->visible);
    EXPECT_GT(colourAt().red(), 200); // the red one underneath shows now
    EXPECT_LT(colourAt().blue(), 40);
    EXPECT_EQ(f.doc.UndoManager().UndoCount(), 1u);
    f.ClickHotSpot(1, 38); // lock of the red one
    EXPECT_TRUE(f.panel.Items()[1]->locked);

    // Listing visible objects only: the hidden one has no row.
    f.panel.visibleOnly->setChecked(true);
    EXPECT_EQ(f.panel.list->count(), 2);
    EXPECT_EQ(f.settings.ShowAllItems, 0);
}

TEST(ObjectsPanel, ButtonsRunTheObjectCommands) {
    TestApp();
    PanelFixture f;
    f.panel.newButton->click();
    EXPECT_EQ(f.doc.Image().objects.Count(), 4);
    EXPECT_EQ(f.panel.list->count(), 4);
    EXPECT_TRUE(f.panel.list->item(0)->isSelected()); // the new object, on top and selected
    f.panel.deleteButton->click();
    EXPECT_EQ(f.panel.list->count(), 3);
    f.panel.SetDocument(nullptr);
    EXPECT_EQ(f.panel.list->count(), 0);
    EXPECT_FALSE(f.panel.newButton->isEnabled());
}

namespace {
// Presses on a row away from its hot spots, moves to another row and releases there.
void DragRow(ObjectsPanel& panel, int from, int to) {
    QWidget* vp = panel.list->viewport();
    const QRect a = panel.list->visualItemRect(panel.list->item(from));
    const QRect b = panel.list->visualItemRect(panel.list->item(to));
    const QPoint start(a.right() - 8, a.center().y()), end(b.right() - 8, b.center().y());
    QTest::mousePress(vp, Qt::LeftButton, {}, start);
    for (const QPoint p : {QPoint(start.x(), (start.y() + end.y()) / 2), end}) {
        QMouseEvent move(QEvent::MouseMove, p, vp->mapToGlobal(p), Qt::NoButton, Qt::LeftButton,
                         Qt::NoModifier);
        QApplication::sendEvent(vp, &move);
    }
    QTest::mouseRelease(vp, Qt::LeftButton, {}, end);
}

std::string Names(const COrvaneDoc& doc) {
    std::string s;
    for (const auto& o : doc.Image().objects)
        s += (s.empty() ? "" : ",") + o->content->name;
    return s;
}
} // namespace

TEST(ObjectsPanel, DraggingARowMovesItsObjectInTheStackAsOneUndoStep) {
    TestApp();
    PanelFixture f;
    ASSERT_EQ(Names(f.doc), "Obj - 1,Red,Blue"); // bottom to top; rows are Blue, Red, Obj - 1
    // The bottom row dragged onto the top row goes to the top of the stack.
    DragRow(f.panel, 2, 0);
    EXPECT_EQ(Names(f.doc), "Red,Blue,Obj - 1");
    ASSERT_EQ(f.panel.list->count(), 3);
    EXPECT_EQ(f.panel.Items()[0]->content->name, "Obj - 1") << "the panel lists the new order";
    ASSERT_TRUE(f.doc.UndoManager().PeekUndo());
    EXPECT_EQ(f.doc.UndoManager().PeekUndo()->GetLabel(), "Undo move in stack");
    EXPECT_EQ(f.doc.UndoManager().UndoCount(), 1u);
    EXPECT_TRUE(f.doc.IsModified());

    // The top row dragged onto the middle one lands directly below that object.
    DragRow(f.panel, 0, 1);
    EXPECT_EQ(Names(f.doc), "Red,Obj - 1,Blue");
    f.doc.OnEditUndo();
    EXPECT_EQ(Names(f.doc), "Red,Blue,Obj - 1");
    f.doc.OnEditUndo();
    EXPECT_EQ(Names(f.doc), "Obj - 1,Red,Blue");
    EXPECT_EQ(f.panel.Items()[0]->content->name, "Blue");
    f.doc.OnEditRedo();
    EXPECT_EQ(Names(f.doc), "Red,Blue,Obj - 1");

    // A click without a drag only selects.
    const std::size_t steps = f.doc.UndoManager().UndoCount();
    const QRect r = f.panel.list->visualItemRect(f.panel.list->item(1));
    QTest::mouseClick(f.panel.list->viewport(), Qt::LeftButton, {}, QPoint(r.right() - 8, r.center().y()));
    EXPECT_EQ(f.doc.UndoManager().UndoCount(), steps);
    EXPECT_TRUE(f.panel.Items()[1]->IsSelected());
}
