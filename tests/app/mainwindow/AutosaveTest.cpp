// Autosave in the running editor: copies of changed documents, their removal, recovery after a
// kill, and the recovery dialog.
#include "app/ShellTestUtil.h"

#include "app/dialogs/PreferencesDialog.h"
#include "app/dialogs/RecoveryDialog.h"
#include "app/mainwindow/AutosaveController.h"
#include "edit/commands/CmdImageOps.h"
#include "model/DocDump.h"
#include "raster/Dib.h"
#include "support/Mishaps.h"
#include "support/ScriptedUiHost.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QMdiSubWindow>
#include <QMessageBox>
#include <QProcess>
#include <QPushButton>
#include <QSpinBox>
#include <QStatusBar>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>

#include <gtest/gtest.h>

#include <csignal>
#include <memory>

#include <sys/wait.h>
#include <unistd.h>

using namespace zepho;

namespace {

Ref<CDrawObj> Picture(int w, int h, COLORREF colour, int x, int y, const char* name) {
    Ref<CObjContent> c = MakeRef<CObjContent>(KindImage);
    c->SetRaster(CreateSolidDIB(w, h, colour, 255));
    c->name = name;
    Ref<CDrawObj> o = MakeRef<CDrawObj>(c);
    o->x = x, o->y = y, o->visible = 1;
    return o;
}

// A two-picture document saved at `path`.
void WritePictureFile(const QString& path) {
    CDocImage doc;
    doc.width = 120, doc.height = 90;
    doc.objects.AddTail(Picture(120, 90, RGB(250, 250, 250), 0, 0, "Obj - 1"));
    doc.objects.AddTail(Picture(40, 30, RGB(200, 30, 10), 12, 15, "Obj - 2"));
    ASSERT_TRUE(doc.SaveNative(path.toStdString(), nullptr));
}

std::string DumpFile(const QString& path) {
    CDocImage doc;
    if (!doc.ReadNativeAnyVersion(path.toStdString(), nullptr)) return "(unreadable)";
    return DumpDocument(doc, DumpOptions{false});
}

// The negative of every object, as the Negative command makes it.
void Negate(COrvaneDoc& doc, IUiHost& ui) {
    for (const Ref<CDrawObj>& o : doc.Image().objects)
        o->content->selected = 1;
    ASSERT_TRUE(CmdImageOperation(doc, ImageOp::Negative, ui));
}

QByteArray Bytes(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

QStringList EntryFiles(const QString& folder) {
    return QDir(folder).entryList({"*.qzi", "*.ini"}, QDir::Files, QDir::Name);
}

// Answers the next "Save changes?" question with Discard.
void DiscardNextQuestion() {
    auto* timer = new QTimer;
    QObject::connect(timer, &QTimer::timeout, timer, [timer] {
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
            box->button(QMessageBox::Discard)->click();
            timer->deleteLater();
        }
    });
    timer->start(20);
}

} // namespace

TEST(AutosaveShell, ChangedDocumentsAreCopiedAndTheCopyGoesOnSaveAndOnClose) {
    test::ShellSession s;
    test::ScriptedUiHost ui;
    s.window.SetUiHost(&ui);
    const QString file = s.dir.filePath("pic.qzi");
    const QString folder = s.dir.filePath("state/autosave");
    WritePictureFile(file);
    const QByteArray userBytes = Bytes(file);
    DocumentWindow* w = s.window.OpenDocument(file);
    ASSERT_TRUE(w);
    COrvaneDoc& doc = w->Document();

    AutosaveController autosave(s.window, s.app.Settings(), folder.toStdString());
    autosave.SetIntervalSeconds(0); // driven by hand here
    // Nothing changed yet: nothing is written.
    autosave.AutosaveNow();
    autosave.Flush();
    EXPECT_TRUE(EntryFiles(folder).isEmpty());

    Negate(doc, ui);
    autosave.AutosaveNow();
    autosave.Flush();
    const std::string entry = autosave.EntryOf(&doc);
    ASSERT_FALSE(entry.empty());
    const QString copy = folder + "/" + QString::fromStdString(entry) + ".qzi";
    EXPECT_EQ(DumpFile(copy), DumpDocument(doc.Image(), DumpOptions{false}));
    EXPECT_EQ(autosave.writesDone.load(), 1);
    // The user's file and the document's state are left alone.
    EXPECT_EQ(Bytes(file), userBytes);
    EXPECT_TRUE(doc.IsModified());
    EXPECT_EQ(w->FilePath(), QFileInfo(file).absoluteFilePath());
    // This instance runs: its copy is not offered for recovery.
    EXPECT_TRUE(autosave.Orphans().empty());
    // Without a further change there is nothing to write again.
    autosave.AutosaveNow();
    autosave.Flush();
    EXPECT_EQ(autosave.writesDone.load(), 1);

    // Saving removes the copy.
    ASSERT_TRUE(s.window.SaveDocument(w));
    autosave.Sweep();
    autosave.Flush();
    EXPECT_TRUE(EntryFiles(folder).isEmpty());

    // So does closing without saving, by the user's choice.
    Negate(doc, ui);
    autosave.AutosaveNow();
    autosave.Flush();
    EXPECT_EQ(EntryFiles(folder).size(), 2);
    DiscardNextQuestion();
    qobject_cast<QMdiSubWindow*>(w->parentWidget())->close();
    QApplication::processEvents();
    autosave.Sweep();
    autosave.Flush();
    EXPECT_TRUE(EntryFiles(folder).isEmpty());
    // The saved file holds the first change only.
    EXPECT_NE(Bytes(file), userBytes);
}

// A crashed instance's copy is restored on a disk with no room for a second copy, then edited:
// the copy stays recoverable throughout, failed autosaves are tried again at each interval, the
// user is told once, and the first write that fits replaces the copy.
TEST(AutosaveShell, FullDiskNeverLosesTheRecoveryCopy) {
    test::ShellSession s;
    // However the test ends, the windows close without a question.
    struct Unmodify {
        MainWindow& window;
        ~Unmodify() {
            for (DocumentWindow* w : window.DocumentWindows())
                w->Document().SetModifiedFlag(false);
        }
    } unmodify{s.window};
    test::ScriptedUiHost ui;
    s.window.SetUiHost(&ui);
    const QString file = s.dir.filePath("pic.qzi");
    WritePictureFile(file);
    // Room for the few hundred bytes of a description, and then for nothing at all.
    for (rlim_t room : {rlim_t(2048), rlim_t(0)}) {
        SCOPED_TRACE(room);
        ui.shown.clear();
        const QString folder = s.dir.filePath(QString("state%1").arg(room));
        std::string crashedCopy;
        {
            COrvaneDoc crashed;
            ASSERT_TRUE(crashed.Image().ReadNativeAnyVersion(file.toStdString(), nullptr));
            // A photo's worth of detail, that no compression makes small.
            Ref<CDrawObj> photo = Picture(64, 48, RGB(0, 0, 0), 5, 5, "Photo");
            std::uint32_t seed = 12345;
            for (int y = 0; y < 48; ++y)
                for (int x = 0; x < 64; ++x)
                    for (int c = 0; c < 3; ++c)
                        photo->content->raster.Pixel32(x, y)[c] =
                            static_cast<BYTE>((seed = seed * 1664525 + 1013904223) >> 24);
            crashed.Image().objects.AddTail(photo);
            Negate(crashed, ui);
            CAutosaveSnapshot snap = TakeAutosaveSnapshot(crashed, "pic.qzi");
            snap.info.originalPath = QFileInfo(file).absoluteFilePath().toStdString();
            snap.info.pid = test::DeadPid();
            ASSERT_TRUE(WriteAutosave(folder.toStdString(), "77-1", snap));
            crashedCopy = DumpDocument(crashed.Image(), DumpOptions{false});
        }
        const QString copy = folder + "/77-1.qzi";
        const QByteArray copyBytes = Bytes(copy);

        auto autosave =
            std::make_unique<AutosaveController>(s.window, s.app.Settings(), folder.toStdString());
        autosave->SetIntervalSeconds(0);
        auto full = std::make_unique<test::FileSizeLimit>(room);
        autosave->OfferRecovery("restore");
        DocumentWindow* w = s.window.ActiveDocumentWindow();
        ASSERT_TRUE(w);
        EXPECT_EQ(DumpDocument(w->Document().Image(), DumpOptions{false}), crashedCopy);
        EXPECT_EQ(Bytes(copy), copyBytes);
        // With room for its description the copy is now this instance's; without, it stays the
        // crashed one's and is still offered.
        // (Without, the restored document was also copied at once, in vain.)
        EXPECT_EQ(autosave->Orphans().size(), room ? 0u : 1u);
        const int before = autosave->FailuresInARow();
        EXPECT_EQ(before, room ? 0 : 1);

        Negate(w->Document(), ui);
        for (int attempt = 1; attempt <= 3; ++attempt) {
            autosave->AutosaveNow(); // the interval passed; unchanged since the last attempt after the first
            autosave->Flush();
            QApplication::processEvents();
            EXPECT_EQ(autosave->FailuresInARow(), before + attempt);
            EXPECT_EQ(Bytes(copy), copyBytes);
            EXPECT_EQ(QDir(folder).entryList({"*.qzi"}, QDir::Files), QStringList{"77-1.qzi"});
            EXPECT_EQ(QDir(folder).entryList({"*zepho-tmp*"}, QDir::Files), QStringList());
            // Told after the second failure, and only once.
            ASSERT_EQ(ui.shown.size(), before + attempt < 2 ? 0u : 1u);
        }
        const std::string told = "Autosave could not write to " + folder.toStdString() + ": File too large";
        EXPECT_EQ(ui.shown[0].text, told);
        EXPECT_EQ(s.window.statusBar()->currentMessage().toStdString(), told);

        // Room again: the next interval writes the edited document, in place of the old copy.
        full.reset();
        autosave->AutosaveNow();
        autosave->Flush();
        EXPECT_EQ(autosave->FailuresInARow(), 0);
        EXPECT_TRUE(s.window.statusBar()->currentMessage().isEmpty());
        const std::string entry = autosave->EntryOf(&w->Document());
        EXPECT_EQ(entry == "77-1", room != 0);
        EXPECT_EQ(QDir(folder).entryList({"*.qzi"}, QDir::Files),
                  QStringList{QString::fromStdString(entry) + ".qzi"});
        // The editor dies here: the next start finds the edited document.
        autosave.reset();
        const auto orphans = FindOrphanAutosaves(folder.toStdString());
        ASSERT_EQ(orphans.size(), 1u);
        EXPECT_EQ(DumpFile(QString::fromStdString(orphans[0].documentPath)),
                  DumpDocument(w->Document().Image(), DumpOptions{false}));
        w->Document().SetModifiedFlag(false);
        qobject_cast<QMdiSubWindow*>(w->parentWidget())->close();
        QApplication::processEvents();
    }
}

TEST(AutosaveShell, RecoveryDialogListsEntriesWithThumbnailsAndTicks) {
    QTemporaryDir dir;
    const QString folder = dir.filePath("a");
    COrvaneDoc doc;
    ASSERT_TRUE(doc.CreateNewImage(50, 40, false, RGB(0, 128, 255)));
    CAutosaveSnapshot one = TakeAutosaveSnapshot(doc, "Untitled 2");
    CAutosaveSnapshot two = TakeAutosaveSnapshot(doc, "b.qzi");
    two.info.originalPath = "/home/u/b.qzi";
    ASSERT_TRUE(WriteAutosave(folder.toStdString(), "1-1", one));
    ASSERT_TRUE(WriteAutosave(folder.toStdString(), "1-2", two));
    std::vector<AutosaveEntry> found = FindOrphanAutosaves(folder.toStdString());
    ASSERT_EQ(found.size(), 2u);

    RecoveryDialog dialog(found);
    QTreeWidget* list = dialog.List();
    ASSERT_EQ(list->topLevelItemCount(), 2);
    QStringList names{list->topLevelItem(0)->text(0), list->topLevelItem(1)->text(0)};
    names.sort();
    EXPECT_EQ(names, QStringList({"Untitled 2", "b.qzi"}));
    for (int i = 0; i < 2; ++i) {
        EXPECT_FALSE(list->topLevelItem(i)->icon(0).isNull());
        EXPECT_FALSE(list->topLevelItem(i)->text(2).isEmpty());
    }
    const int pathRow = list->topLevelItem(0)->text(0) == "b.qzi" ? 0 : 1;
    EXPECT_EQ(list->topLevelItem(pathRow)->text(1), "/home/u/b.qzi");
    list->topLevelItem(pathRow)->setCheckState(0, Qt::Unchecked);
    const auto chosen = dialog.Chosen();
    ASSERT_EQ(chosen.size(), 1u);
    EXPECT_EQ(chosen[0].info.title, "Untitled 2");
    EXPECT_EQ(dialog.choice(), RecoveryDialog::Later);
}

// The editor is killed after an autosave; the next start restores the document, and Save
// writes it to its original file.
TEST(AutosaveShell, KilledEditorIsRecoveredAtTheNextStart) {
    QTemporaryDir dir;
    const QString file = dir.filePath("pic.qzi");
    WritePictureFile(file);
    const QByteArray userBytes = Bytes(file);
    const std::string original = DumpFile(file);
    std::string expected;
    {
        COrvaneDoc doc;
        ASSERT_TRUE(doc.Image().ReadNativeAnyVersion(file.toStdString(), nullptr));
        test::ScriptedUiHost ui;
        Negate(doc, ui);
        expected = DumpDocument(doc.Image(), DumpOptions{false});
    }
    ASSERT_NE(expected, DumpFile(file));

    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("QT_QPA_PLATFORM", "offscreen");
    env.insert("XDG_STATE_HOME", dir.filePath("state"));
    env.insert("XDG_CONFIG_HOME", dir.filePath("config"));
    env.insert("ZEPHO_AUTOSAVE_SECONDS", "1");
    env.insert("ZEPHO_RECOVERY_ANSWER", "later");
    const QString folder = dir.filePath("state/zepho/autosave");

    QProcess first;
    first.setProcessEnvironment(env);
    first.start(ZEPHO_EXE, {file, "--test-edit=negative"});
    ASSERT_TRUE(first.waitForStarted(10000));
    QElapsedTimer waited;
    waited.start();
    while (!QDir(folder).entryList({"*.ini"}, QDir::Files).size() && waited.elapsed() < 60000 &&
           first.state() == QProcess::Running)
        QTest::qWait(100);
    ASSERT_EQ(QDir(folder).entryList({"*.ini"}, QDir::Files).size(), 1)
        << first.readAllStandardError().constData();
    ::kill(static_cast<pid_t>(first.processId()), SIGKILL);
    ASSERT_TRUE(first.waitForFinished(10000));
    EXPECT_EQ(Bytes(file), userBytes);
    const auto orphans = FindOrphanAutosaves(folder.toStdString());
    ASSERT_EQ(orphans.size(), 1u);
    EXPECT_EQ(orphans[0].info.originalPath, QFileInfo(file).absoluteFilePath().toStdString());
    EXPECT_EQ(DumpFile(QString::fromStdString(orphans[0].documentPath)), expected);

    QProcess second;
    env.insert("ZEPHO_RECOVERY_ANSWER", "restore");
    second.setProcessEnvironment(env);
    second.start(ZEPHO_EXE, {"--test-save-and-quit"});
    ASSERT_TRUE(second.waitForFinished(60000));
    EXPECT_EQ(second.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(second.exitCode(), 0) << second.readAllStandardError().constData();
    EXPECT_EQ(DumpFile(file), expected);
    // A clean exit leaves no copies behind.
    EXPECT_TRUE(EntryFiles(folder).isEmpty());

    // A session that ends by SIGTERM long before the next autosave still leaves a copy.
    env.insert("ZEPHO_AUTOSAVE_SECONDS", "3600");
    env.insert("ZEPHO_RECOVERY_ANSWER", "later");
    QProcess third;
    third.setProcessEnvironment(env);
    third.start(ZEPHO_EXE, {file, "--test-edit=negative"});
    ASSERT_TRUE(third.waitForStarted(10000));
    const QString lock = folder + "/" + QString::number(third.processId()) + ".lock";
    waited.restart();
    while (!QFile::exists(lock) && waited.elapsed() < 60000 && third.state() == QProcess::Running)
        QTest::qWait(100);
    ASSERT_TRUE(QFile::exists(lock));
    QTest::qWait(1000); // past start-up, into the event loop
    EXPECT_TRUE(EntryFiles(folder).isEmpty());
    ::kill(static_cast<pid_t>(third.processId()), SIGTERM);
    ASSERT_TRUE(third.waitForFinished(30000));
    EXPECT_EQ(third.exitStatus(), QProcess::CrashExit); // ended by the signal, as asked
    const auto left = FindOrphanAutosaves(folder.toStdString());
    ASSERT_EQ(left.size(), 1u);
    // The negative of the saved negative: the picture as first written.
    EXPECT_EQ(DumpFile(QString::fromStdString(left[0].documentPath)), original);
}

TEST(AutosaveShell, PreferencesSetTheIntervalAndZeroTurnsItOff) {
    test::ShellSession s;
    CAppSettings& settings = s.app.Settings();
    EXPECT_EQ(settings.AutosaveMinutes, 2);
    AutosaveController autosave(s.window, settings, s.dir.filePath("a").toStdString());
    EXPECT_EQ(autosave.IntervalMs(), 2 * 60 * 1000);

    PreferencesDialog dialog(settings);
    EXPECT_EQ(dialog.autosaveMinutes->value(), 2);
    dialog.autosaveMinutes->setValue(0);
    EXPECT_EQ(dialog.autosaveMinutes->text(), "Off");
    dialog.Store(settings);
    EXPECT_EQ(settings.AutosaveMinutes, 0);
    EXPECT_EQ(autosave.IntervalMs(), 0);
    // Off means off, also when the session ends.
    DocumentWindow* w = s.window.ActiveDocumentWindow();
    if (!w) w = s.window.NewDocument();
    ASSERT_TRUE(w);
    w->Document().SetModifiedFlag(true);
    autosave.AutosaveBeforeEnd();
    EXPECT_TRUE(EntryFiles(s.dir.filePath("a")).isEmpty());

    dialog.autosaveMinutes->setValue(7);
    dialog.Store(settings);
    EXPECT_EQ(autosave.IntervalMs(), 7 * 60 * 1000);
    autosave.AutosaveBeforeEnd();
    EXPECT_EQ(EntryFiles(s.dir.filePath("a")).size(), 2);
    // A test or the environment may set seconds instead.
    autosave.SetIntervalSeconds(1);
    EXPECT_EQ(autosave.IntervalMs(), 1000);
    w->Document().SetModifiedFlag(false); // the window closes without a question
}
