// The Image menu: its place in the menu bar, its commands on the active document, their one-step
// undo through the Edit menu, and Crop to Selection following the selection.
#include "app/ShellTestUtil.h"
#include "app/canvas/CanvasView.h"
#include "app/mainwindow/AppStrings.h"
#include "model/DocDump.h"
#include "raster/Dib.h"
#include "support/ScriptedUiHost.h"

#include <QApplication>
#include <QMenuBar>
#include <gtest/gtest.h>

using namespace zepho;

QApplication& TestApp();

namespace {

std::string Dump(const COrvaneDoc& doc) {
    return DumpDocument(doc.Image(), DumpOptions{false});
}

} // namespace

TEST(ImageMenu, SitsAfterEditAndRunsEachCommandAsOneUndoStep) {
    TestApp();
    test::ShellSession s;
    test::ScriptedUiHost ui;
    s.window.SetUiHost(&ui);
    QStringList titles;
    for (QAction* a : s.window.menuBar()->actions())
        if (a->isVisible()) titles << a->text();
    EXPECT_FALSE(titles.contains(QString::fromUtf8(kImageMenu))) << "no document, no Image menu";

    DocumentWindow* w = s.window.NewDocument();
    ASSERT_TRUE(w);
    titles.clear();
    for (QAction* a : s.window.menuBar()->actions())
        if (a->isVisible()) titles << a->text();
    ASSERT_TRUE(titles.contains(QString::fromUtf8(kImageMenu)));
    EXPECT_EQ(titles.indexOf(QString::fromUtf8(kImageMenu)), titles.indexOf("&Edit") + 1);

    COrvaneDoc& doc = w->Document();
    const int W = doc.Image().width, H = doc.Image().height;
    // A 4 x 2 image at (10, 20) whose left column is red and the rest blue.
    Ref<CObjContent> c = MakeRef<CObjContent>(KindImage);
    PackedDib dib = CreateSolidDIB(4, 2, RGB(0, 0, 255), 255);
    for (int y = 0; y < 2; ++y)
        dib.Pixel32(0, y)[2] = 255, dib.Pixel32(0, y)[0] = 0;
    c->SetRaster(std::move(dib));
    c->name = "Marked";
    Ref<CDrawObj> o = MakeRef<CDrawObj>(c);
    o->visible = 1;
    o->x = 10;
    o->y = 20;
    doc.Image().objects.AddTail(o);
    s.window.UpdateCommands();

    const std::string start = Dump(doc);
    QAction* rotate = s.Find(QString::fromUtf8(kMenuRotateCw));
    ASSERT_TRUE(rotate);
    ASSERT_TRUE(rotate->isEnabled());
    rotate->trigger();
    EXPECT_EQ(doc.Image().width, H);
    EXPECT_EQ(doc.Image().height, W);
    EXPECT_EQ(o->x, H - 20 - 2);
    EXPECT_EQ(o->y, 10);
    EXPECT_EQ(o->content->PixelAt(0, 0), 0xFFFF0000u) << "the red column is now the top row";
    EXPECT_EQ(o->content->PixelAt(1, 0), 0xFFFF0000u);
    EXPECT_EQ(o->content->PixelAt(0, 1), 0xFF0000FFu);
    const std::string turned = Dump(doc);

    QAction* undo = s.Find("Undo Rotate 90\u00b0 Clockwise");
    ASSERT_TRUE(undo) << "the Edit menu names the step";
    undo->trigger();
    EXPECT_EQ(Dump(doc), start);
    QAction* redo = s.Find("Redo Rotate 90\u00b0 Clockwise");
    ASSERT_TRUE(redo);
    redo->trigger();
    EXPECT_EQ(Dump(doc), turned);

    s.Find(QString::fromUtf8(kMenuFlipHorz))->trigger();
    EXPECT_EQ(o->x, H - (H - 22) - 2);
    EXPECT_EQ(o->content->PixelAt(0, 0), 0xFFFF0000u);
    EXPECT_EQ(o->content->PixelAt(1, 3), 0xFF0000FFu);
    s.Find("Undo Flip Horizontal")->trigger();
    EXPECT_EQ(Dump(doc), turned);
    s.Find(QString::fromUtf8(kMenuRotateCcw))->trigger();
    EXPECT_EQ(Dump(doc), start) << "a turn back is the start";
    EXPECT_TRUE(ui.shown.empty()) << "images are flipped and turned without a question";
    doc.SetModifiedFlag(false); // closes without the save question
}

TEST(ImageMenu, CropToSelectionFollowsTheSelection) {
    TestApp();
    test::ShellSession s;
    test::ScriptedUiHost ui;
    s.window.SetUiHost(&ui);
    DocumentWindow* w = s.window.NewDocument();
    ASSERT_TRUE(w);
    COrvaneDoc& doc = w->Document();
    QAction* crop = s.Find(QString::fromUtf8(kMenuCropToSelection));
    ASSERT_TRUE(crop);
    EXPECT_FALSE(crop->isEnabled()) << "nothing selected";

    COrvaneView* view = s.window.ActiveView();
    ASSERT_TRUE(view);
    view->SetSelection(Region::Rect(30, 40, 130, 90));
    s.window.UpdateCommands();
    ASSERT_TRUE(crop->isEnabled());
    const std::string before = Dump(doc);
    const POINT was = doc.Image().objects.Head()->Position();
    crop->trigger();
    EXPECT_EQ(doc.Image().width, 100);
    EXPECT_EQ(doc.Image().height, 50);
    EXPECT_EQ(doc.Image().objects.Head()->x, was.x - 30);
    EXPECT_EQ(doc.Image().objects.Head()->y, was.y - 40);
    ASSERT_TRUE(s.Find("Undo Crop to Selection"));
    s.Find("Undo Crop to Selection")->trigger();
    EXPECT_EQ(Dump(doc), before);
    EXPECT_EQ(*view->Selection(), Region::Rect(30, 40, 130, 90));
    view->SetSelection(std::nullopt);
    s.window.UpdateCommands();
    EXPECT_FALSE(crop->isEnabled());
}
