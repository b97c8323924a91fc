#include "app/mainwindow/MainWindow.h"
#include "app/ShellTestUtil.h"
#include "app/canvas/DocumentWindow.h"
#include "app/dialogs/NewImageDialog.h"
#include "app/dialogs/PreferencesDialog.h"
#include "app/mainwindow/ZephoApp.h"
#include "app/panels/ColorButton.h"
#include "edit/undo/UndoObjects.h"
#include "support/Mishaps.h"
#include "support/ScriptedUiHost.h"

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenuBar>
#include <QRadioButton>
#include <QSpinBox>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace zepho;

QApplication& TestApp();

using test::FindAction;

TEST(Shell, StartUpDocumentFromSavedSettingsThenDialog) {
    TestApp();
    QTemporaryDir dir;
    const QString ini = dir.filePath("zepho.ini");
    {
        QSettings s(ini, QSettings::IniFormat);
        s.setValue("Default/NewImageWidth", 320);
        s.setValue("Default/NewImageHeight", 200);
        s.setValue("Default/InitColor", 0x0000FF);
        s.setValue("XWorkspace/Layout", "old");
    }
    CZephoApp app(ini);
    app.Start();
    EXPECT_FALSE(app.Store().contains("XWorkspace/Layout"));
    MainWindow window(app);
    EXPECT_EQ(window.windowTitle(), QString("Quarnix Zepho Image"));
    DocumentWindow* first = window.NewDocument(); // no dialog the first time
    ASSERT_TRUE(first);
    const CDocImage& img = first->Document().Image();
    EXPECT_EQ(img.width, 320);
    EXPECT_EQ(img.objects.Head()->content->PixelAt(0, 0) & 0xFFFFFF, 0xFF0000u); // red as 0xRRGGBB
    EXPECT_EQ(img.objects.Head()->content->name, "Obj - 1");

    // The dialog's values go back into the settings.
    NewImageDialog dialog(app.Settings());
    EXPECT_EQ(dialog.widthBox->value(), 320);
    EXPECT_EQ(dialog.widthBox->maximum(), 2000);
    dialog.widthBox->setValue(5000);
    dialog.transparent->setChecked(true);
    EXPECT_FALSE(dialog.colour->isEnabled());
    dialog.Store(app.Settings());
    EXPECT_EQ(app.Settings().NewImageWidth, 2000);
    EXPECT_EQ(app.Settings().InitTransparent, 1);
}

TEST(Shell, SaveCloseReopenAndUndoLabels) {
    TestApp();
    QTemporaryDir dir;
    CZephoApp app(dir.filePath("zepho.ini"));
    app.Start();
    const QString path = dir.filePath("doc.qzi");
    {
        MainWindow window(app);
        DocumentWindow* w = window.NewDocument();
        ASSERT_TRUE(w);
        COrvaneDoc& doc = w->Document();
        // A recorded change shows in the Edit menu.
        Ref<CDrawObj> obj = doc.Image().objects.Head();
        auto action = std::make_unique<CShowHideUndo>(false);
        action->AddObject(obj, obj->visible);
        obj->visible = 0;
        doc.AddUndo(std::move(action));
        doc.SetModifiedFlag();
        window.UpdateCommands();
        QAction* undo = FindAction(&window, "Undo show/hide object(s)");
        ASSERT_TRUE(undo) << "undo label";
        EXPECT_TRUE(undo->isEnabled());
        undo->trigger();
        EXPECT_TRUE(obj->visible);
        EXPECT_TRUE(FindAction(&window, "Can't &Undo"));
        ASSERT_TRUE(window.SaveDocumentAs(w, path));
        EXPECT_FALSE(doc.IsModified());
        EXPECT_EQ(w->windowTitle(), QString("doc.qzi"));
    }
    {
        MainWindow window(app);
        DocumentWindow* w = window.OpenDocument(path);
        ASSERT_TRUE(w);
        EXPECT_EQ(w->Document().Image().objects.Count(), 1);
        EXPECT_EQ(w->Document().Image().width, 640);
        EXPECT_EQ(app.RecentFiles().value(0), QFileInfo(path).absoluteFilePath());
        // Opening it again activates the same window.
        EXPECT_EQ(window.OpenDocument(path), w);
        EXPECT_EQ(window.DocumentWindows().size(), 1);
    }
    // A save that cannot be done reports the path and why.
    MainWindow window(app);
    test::ScriptedUiHost ui;
    window.SetUiHost(&ui);
    app.skipNewImageDialog = true;
    DocumentWindow* w = window.NewDocument();
    const QString bad = dir.filePath("missing/dir/x.qzi");
    EXPECT_FALSE(window.SaveDocumentAs(w, bad));
    ASSERT_EQ(ui.shown.size(), 1u);
    EXPECT_EQ(ui.shown[0].text, "Save to file " + bad.toStdString() + " fail!\nNo such file or directory.");
    // So does one that runs out of room (a file-size limit stands in for a full disk).
    const QString full = dir.filePath("full.qzi");
    {
        test::FileSizeLimit limit(1024);
        EXPECT_FALSE(window.SaveDocumentAs(w, full));
    }
    ASSERT_EQ(ui.shown.size(), 2u);
    EXPECT_EQ(ui.shown[1].text, "Save to file " + full.toStdString() + " fail!\nFile too large.");
    EXPECT_FALSE(QFileInfo::exists(full));
    EXPECT_EQ(QDir(dir.path()).entryList({"*zepho-tmp*"}, QDir::Files), QStringList());
    w->Document().SetModifiedFlag(false);
}

TEST(Shell, SettingsWrittenAtExitAreReadAtNextStart) {
    TestApp();
    QTemporaryDir dir;
    const QString ini = dir.filePath("zepho.ini");
    {
        CZephoApp app(ini);
        app.Start();
        PreferencesDialog prefs(app.Settings());
        prefs.undoLevels->setValue(40);
        prefs.horizontalOffset->setValue(5);
        prefs.psdComposite->setChecked(true);
        prefs.Store(app.Settings());
        {
            MainWindow window(app);
            window.paint.fore = RGB(1, 2, 3);
        }
        app.AddRecentFile(dir.filePath("a.qzi"));
        app.Exit();
    }
    CZephoApp again(ini);
    again.Start();
    EXPECT_EQ(again.Settings().UndoMaxTimes, 40);
    EXPECT_EQ(again.Settings().HorizontalOffset, 5);
    EXPECT_EQ(again.Settings().PSDOpenFashion, 1);
    EXPECT_EQ(again.Settings().PaintForeColor, RGB(1, 2, 3));
    EXPECT_EQ(again.RecentFiles().size(), 1);
}

TEST(Shell, SeveralWindowsOfOneDocument) {
    TestApp();
    test::ShellSession session(QSize(800, 600));
    MainWindow& window = session.window;
    DocumentWindow* w = window.NewDocument();
    ASSERT_TRUE(w);
    FindAction(&window, "&New Window")->trigger();
    ASSERT_EQ(window.DocumentWindows().size(), 2);
    EXPECT_EQ(&window.DocumentWindows()[0]->Document(), &window.DocumentWindows()[1]->Document());
    FindAction(&window, "&Close")->trigger();
    QApplication::processEvents();
    EXPECT_EQ(window.DocumentWindows().size(), 1);
}

#include "app/dialogs/ResizeDialogs.h"

#include <QCheckBox>
#include <QPushButton>

TEST(Shell, ResizeDialogsKeepTheRatioAndTheAnchor) {
    TestApp();
    CAppSettings settings;
    settings.PreserveRatio = 1;
    ResizeImageDialog image(200, 100, settings);
    EXPECT_EQ(image.windowTitle(), QString("Resize Animation"));
    image.fields->width->setValue(100);
    EXPECT_EQ(image.fields->height->value(), 50);
    EXPECT_EQ(image.fields->widthPct->value(), 50);
    EXPECT_FALSE(image.fields->widthPct->isEnabled());
    image.fields->percentage->setChecked(true);
    EXPECT_TRUE(image.fields->widthPct->isEnabled());
    image.fields->ratio->setChecked(false);
    image.model.Commit(settings);
    EXPECT_EQ(settings.PreserveRatio, 0);

    ResizeCanvasDialog canvas(200, 100, settings);
    canvas.cells[8]->click();
    EXPECT_TRUE(canvas.cells[8]->isChecked());
    EXPECT_FALSE(canvas.cells[0]->isChecked());
    EXPECT_FALSE(canvas.horz->isEnabled());
    canvas.byOffset->setChecked(true);
    EXPECT_TRUE(canvas.horz->isEnabled());
    canvas.horz->setValue(-20);
    canvas.model.Commit(settings);
    EXPECT_EQ(settings.ReferencePos, 8);
    EXPECT_EQ(settings.ResizingReference, 1);
    EXPECT_EQ(settings.HorzOffset, -20);
}

TEST(Shell, AnOpenOverTheMemoryBudgetSaysWhy) {
    TestApp();
    test::ShellSession s;
    test::ScriptedUiHost ui;
    s.window.SetUiHost(&ui);
    s.app.Settings().MaxDocumentMegapixels = 1;
    const QString path = s.dir.filePath("wide.png");
    QImage wide(2000, 1000, QImage::Format_RGB32);
    wide.fill(Qt::darkGreen);
    ASSERT_TRUE(wide.save(path));
    EXPECT_FALSE(s.window.OpenDocument(path));
    ASSERT_EQ(ui.shown.size(), 1u);
    const std::string& text = ui.shown[0].text;
    EXPECT_EQ(text.rfind("Failed to open document.\n\ntoo large: an image of 2000 x 1000 pixels", 0), 0u)
        << text;
    EXPECT_NE(text.find("over the budget of 1048576 pixels"), std::string::npos) << text;
    // Within the budget it opens without a word.
    s.app.Settings().MaxDocumentMegapixels = 4;
    ui.shown.clear();
    EXPECT_TRUE(s.window.OpenDocument(path));
    EXPECT_TRUE(ui.shown.empty());
}

TEST(Shell, SavingOverAReadOnlyFileIsRefusedAndOffersAnotherName) {
    TestApp();
    test::ShellSession s;
    test::ScriptedUiHost ui;
    s.window.SetUiHost(&ui);
    s.app.skipNewImageDialog = true;
    DocumentWindow* w = s.window.NewDocument();
    ASSERT_TRUE(w);
    const QString path = s.dir.filePath("locked.qzi");
    ASSERT_TRUE(s.window.SaveDocumentAs(w, path));
    QFile::setPermissions(path, QFile::ReadOwner | QFile::ReadGroup | QFile::ReadOther);
    const QByteArray kept = [&] {
        QFile f(path);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }();
    w->Document().SetModifiedFlag();
    EXPECT_FALSE(s.window.SaveDocumentAs(w, path)); // answered No
    ASSERT_EQ(ui.shown.size(), 1u);
    EXPECT_TRUE(ui.shown[0].question);
    EXPECT_EQ(ui.shown[0].text,
              "Save to file " + path.toStdString() +
                  " fail!\nthe file is read-only. Do you want to save it under another name?");
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_EQ(f.readAll(), kept) << "the read-only file is left alone";
    EXPECT_TRUE(w->Document().IsModified());
    w->Document().SetModifiedFlag(false);
}
