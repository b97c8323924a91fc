// The file commands run their reading and writing on a worker: the start-up file arrives after
// the window is shown, and a cancelled open or export leaves everything as it was.
#include "app/ShellTestUtil.h"
#include "app/dialogs/ExportDialog.h"
#include "app/services/BackgroundWork.h"
#include "support/ScriptedUiHost.h"

#include <QApplication>
#include <QDialog>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QPushButton>
#include <QRandomGenerator>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

#include <cstring>

using namespace zepho;

QApplication& TestApp();

namespace {

// A photo-like picture that takes a moment to read and to write.
QString WriteNoise(const QString& path, int w, int h) {
    QImage img(w, h, QImage::Format_RGB32);
    QRandomGenerator rng(42);
    for (int y = 0; y < h; ++y) {
        auto* row = reinterpret_cast<quint32*>(img.scanLine(y));
        for (int x = 0; x < w; ++x)
            row[x] = rng.generate() | 0xFF000000u;
    }
    EXPECT_TRUE(img.save(path));
    return path;
}

// Presses Cancel in the work window as soon as it shows.
struct CancelPresser {
    QTimer timer;
    bool pressed = false;
    int previousDelay = SetProgressWindowDelay(0);
    CancelPresser() {
        QObject::connect(&timer, &QTimer::timeout, [this] {
            for (QWidget* w : QApplication::topLevelWidgets())
                if (w->objectName() == kWorkWindowName && w->isVisible()) {
                    w->findChild<QPushButton*>()->click();
                    pressed = true;
                    timer.stop();
                }
        });
        timer.start(2);
    }
    ~CancelPresser() { SetProgressWindowDelay(previousDelay); }
};

// Counts the paintings of a widget.
struct PaintCounter : QObject {
    int paints = 0;
    bool eventFilter(QObject*, QEvent* e) override {
        if (e->type() == QEvent::Paint) ++paints;
        return false;
    }
};

void AnswerExportDialog(const QString& path) {
    QTimer::singleShot(0, [path] {
        auto* d = qobject_cast<ExportDialog*>(QApplication::activeModalWidget());
        ASSERT_TRUE(d) << "no export dialog";
        // The target exists on purpose: no question about replacing it.
        d->setOption(QFileDialog::DontConfirmOverwrite);
        d->selectFile(path);
        QMetaObject::invokeMethod(d, "accept", Qt::DirectConnection);
    });
}

bool WriteBytes(const QString& path, const char* text) {
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(text) == static_cast<qint64>(std::strlen(text));
}

std::string Contents(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll().toStdString() : std::string("<none>");
}

} // namespace

TEST(BackgroundCommands, StartupFileArrivesAfterTheWindowIsShownAndPainted) {
    TestApp();
    test::ShellSession s;
    test::ScriptedUiHost ui;
    s.window.SetUiHost(&ui);
    const QString path = WriteNoise(s.dir.filePath("big.png"), 2000, 1500);
    PaintCounter counter;
    s.window.MdiArea()->viewport()->installEventFilter(&counter);
    int paintsWhenDocumentCame = -1;
    QObject::connect(s.window.MdiArea(), &QMdiArea::subWindowActivated, [&](QMdiSubWindow* sub) {
        if (sub && paintsWhenDocumentCame < 0) paintsWhenDocumentCame = counter.paints;
    });
    bool after = false;
    s.window.OpenWhenShown(path, [&] { after = true; });
    // The window is there at once, without the document.
    EXPECT_TRUE(s.window.isVisible());
    EXPECT_TRUE(s.window.DocumentWindows().isEmpty());
    ASSERT_TRUE(QTest::qWaitFor([&] { return !s.window.DocumentWindows().isEmpty(); }, 20000));
    EXPECT_GT(paintsWhenDocumentCame, 0) << "the window painted before the document came";
    EXPECT_TRUE(after);
    DocumentWindow* w = s.window.DocumentWindows().first();
    EXPECT_EQ(w->Document().Image().width, 2000);
    EXPECT_EQ(w->Document().Image().height, 1500);
    EXPECT_EQ(w->windowTitle(), QString("big.png"));
    EXPECT_TRUE(ui.shown.empty());

    // An open that is cancelled leaves no document and says nothing.
    {
        CancelPresser cancel;
        EXPECT_EQ(s.window.OpenDocument(WriteNoise(s.dir.filePath("other.png"), 2000, 1500)), nullptr);
        EXPECT_TRUE(cancel.pressed);
    }
    EXPECT_EQ(s.window.DocumentWindows().size(), 1);
    EXPECT_TRUE(ui.shown.empty());
}

TEST(BackgroundCommands, CancelledExportLeavesTheFileAndAFinishedOneWritesIt) {
    TestApp();
    test::ShellSession s;
    test::ScriptedUiHost ui;
    s.window.SetUiHost(&ui);
    DocumentWindow* w = s.window.OpenDocument(WriteNoise(s.dir.filePath("photo.png"), 2000, 1500));
    ASSERT_TRUE(w);
    const QString target = s.dir.filePath("out.png");
    ASSERT_TRUE(WriteBytes(target, "the old picture"));
    QAction* png = s.Find("P&NG...");
    ASSERT_TRUE(png);
    {
        CancelPresser cancel;
        AnswerExportDialog(target);
        png->trigger();
        EXPECT_TRUE(cancel.pressed);
    }
    EXPECT_TRUE(Contents(target) == "the old picture") << "the file was replaced";
    EXPECT_TRUE(QDir(s.dir.path()).entryList({"*zepho-tmp*"}, QDir::Files).isEmpty());
    EXPECT_TRUE(ui.shown.empty()) << ui.shown[0].text;

    AnswerExportDialog(target);
    png->trigger();
    EXPECT_TRUE(ui.shown.empty()) << ui.shown[0].text;
    const QImage back(target);
    EXPECT_EQ(back.size(), QSize(2000, 1500));
    EXPECT_EQ(back.pixel(1999, 0), QImage(s.dir.filePath("photo.png")).pixel(1999, 0));
    EXPECT_FALSE(w->Document().IsModified());
}

TEST(BackgroundCommands, CancelledSaveLeavesTheFileAndAFinishedOneWritesIt) {
    TestApp();
    test::ShellSession s;
    test::ScriptedUiHost ui;
    s.window.SetUiHost(&ui);
    DocumentWindow* w = s.window.OpenDocument(WriteNoise(s.dir.filePath("photo.png"), 2000, 1500));
    ASSERT_TRUE(w);
    const QString target = s.dir.filePath("doc.qzi");
    // On a loaded machine the save may put its file in place before the click arrives: it then
    // counts as saved, whole. Cancel is tried until it comes first.
    bool cancelled = false;
    for (int attempt = 0; attempt < 5 && !cancelled; ++attempt) {
        ASSERT_TRUE(WriteBytes(target, "the old document"));
        CancelPresser cancel;
        cancelled = !s.window.SaveDocumentAs(w, target);
        EXPECT_TRUE(cancel.pressed);
        if (!cancelled) EXPECT_EQ(Contents(target).substr(0, 7), "QZI 200");
        // A cancelled Save As leaves the document where it was.
        if (cancelled && attempt == 0) EXPECT_TRUE(w->FilePath().isEmpty());
        EXPECT_TRUE(QDir(s.dir.path()).entryList({"*zepho-tmp*"}, QDir::Files).isEmpty());
        EXPECT_TRUE(ui.shown.empty()) << ui.shown[0].text;
    }
    ASSERT_TRUE(cancelled) << "every save finished before its Cancel";
    EXPECT_TRUE(Contents(target) == "the old document") << "the file was replaced";

    EXPECT_TRUE(s.window.SaveDocumentAs(w, target));
    EXPECT_TRUE(ui.shown.empty()) << ui.shown[0].text;
    EXPECT_EQ(Contents(target).substr(0, 7), "QZI 200");
    EXPECT_EQ(w->FilePath(), QFileInfo(target).absoluteFilePath());
    EXPECT_FALSE(w->Document().IsModified());
}

TEST(BackgroundCommands, AddedImagesAreReadOnAWorkerAndACancelAddsNothing) {
    TestApp();
    test::ShellSession s;
    test::ScriptedUiHost ui;
    s.window.SetUiHost(&ui);
    DocumentWindow* w = s.window.OpenDocument(WriteNoise(s.dir.filePath("base.png"), 40, 30));
    ASSERT_TRUE(w);
    const QString big = WriteNoise(s.dir.filePath("big.png"), 2000, 1500);
    {
        CancelPresser cancel;
        EXPECT_FALSE(s.window.AddImageFiles(w, {big}));
        EXPECT_TRUE(cancel.pressed);
    }
    EXPECT_EQ(w->Document().Image().objects.Count(), 1);
    EXPECT_TRUE(ui.shown.empty()) << ui.shown[0].text;

    EXPECT_TRUE(s.window.AddImageFiles(w, {big, WriteNoise(s.dir.filePath("small.png"), 7, 5)}));
    const CDrawObjList& objects = w->Document().Image().objects;
    ASSERT_EQ(objects.Count(), 3);
    EXPECT_EQ(objects.At(1)->content->raster.Width(), 2000);
    EXPECT_EQ(objects.At(2)->content->raster.Width(), 7);
    EXPECT_TRUE(ui.shown.empty()) << ui.shown[0].text;
    // One step takes both away.
    QAction* undo = s.Find("Undo Add image file(s)");
    ASSERT_TRUE(undo);
    undo->trigger();
    EXPECT_EQ(objects.Count(), 1);
}
