// The File menu: new, open, save, close, recent files, exit.
#include "app/canvas/DocumentWindow.h"
#include "app/dialogs/ExportDialog.h"
#include "app/dialogs/ImageBrowser.h"
#include "app/dialogs/NewImageDialog.h"
#include "app/dialogs/PropertiesDialog.h"
#include "app/mainwindow/AppStrings.h"
#include "app/mainwindow/MainWindowActions.h"
#include "app/mainwindow/ZephoApp.h"
#include "app/services/BackgroundWork.h"
#include "codecs/CodecStrings.h"
#include "edit/document/CmdFiles.h"
#include "model/FileStrings.h"
#include "platform/ByteStream.h"
#include "platform/Format.h"
#include "platform/SaveTarget.h"

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenuBar>
#include <QMessageBox>
#include <QTimer>

namespace zepho {

void MainWindow::BuildFileMenu() {
    QMenu* m = menuBar()->addMenu(QStringLiteral("&File"));
    act_->newDoc = m->addAction(QIcon::fromTheme("document-new"), QStringLiteral("&New"), this,
                                [this] { NewDocument(); });
    act_->newDoc->setShortcut(QKeySequence::New);
    act_->open = m->addAction(QIcon::fromTheme("document-open"), QStringLiteral("&Open..."), this,
                              &MainWindow::OnOpen);
    act_->open->setShortcut(QKeySequence::Open);
    act_->openAvi = m->addAction(QStringLiteral("Open A&VI File..."), this, &MainWindow::OnOpenAvi);
    act_->addImages = m->addAction(QStringLiteral("A&dd Image(s)..."), this, &MainWindow::OnAddImages);
    act_->addAvi = m->addAction(QStringLiteral("Add AV&I..."), this, &MainWindow::OnAddAvi);
    act_->close = m->addAction(QStringLiteral("&Close"), this, [this] {
        if (QMdiSubWindow* sub = mdi_->activeSubWindow()) sub->close();
    });
    act_->save =
        m->addAction(QIcon::fromTheme("document-save"), QStringLiteral("&Save"), this, &MainWindow::OnSave);
    act_->save->setShortcut(QKeySequence::Save);
    QMenu* saveAs = m->addMenu(QStringLiteral("Save &As"));
    act_->saveAs = saveAs->menuAction();
    saveAs->addAction(QStringLiteral("&QZI..."), this, &MainWindow::OnSaveAs);
    saveAs->addSeparator();
    BuildExportCommands(saveAs);
    m->addSeparator();
    QAction* recentAnchor = m->addSeparator();
    recentMenu_ = m->addMenu(QStringLiteral("Recent &Files"));
    RebuildRecentFiles();
    m->addSeparator();
    act_->exit = m->addAction(QStringLiteral("E&xit"), this, &QWidget::close);
    act_->exit->setShortcut(QKeySequence::Quit);
    BuildPrintCommands(m, recentAnchor);
}

void MainWindow::RebuildRecentFiles() {
    recentMenu_->clear();
    const QStringList& files = app_.RecentFiles();
    for (int i = 0; i < files.size(); ++i) {
        const QString path = files[i];
        recentMenu_
            ->addAction(QStringLiteral("&%1 %2").arg(i + 1).arg(QFileInfo(path).fileName()), this,
                        [this, path] { OpenDocument(path); })
            ->setToolTip(path);
    }
    recentMenu_->setEnabled(!files.isEmpty());
}

DocumentWindow* MainWindow::NewDocument() {
    CAppSettings& s = app_.Settings();
    if (app_.skipNewImageDialog) {
        app_.skipNewImageDialog = false;
    } else {
        NewImageDialog dialog(s, this);
        if (dialog.exec() != QDialog::Accepted) return nullptr;
        dialog.Store(s);
    }
    auto doc = std::make_shared<COrvaneDoc>();
    doc->ResetShapeCounters();
    if (!doc->CreateNewImage(s.NewImageWidth, s.NewImageHeight, s.InitTransparent != 0, s.InitColor))
        return nullptr;
    DocumentWindow* w = AddWindow(std::move(doc));
    w->Document().NotifyDefaultMode();
    return w;
}

// Opens files by extension, asking the PSD question through this window.
FileLoader MainWindow::FileLoaderWithQuestions() {
    return FileLoaderAsking(*uiHost_);
}

FileLoader MainWindow::FileLoaderAsking(IUiHost& host) {
    CAppSettings* settings = &app_.Settings();
    return
        [&host, settings](CDocImage& image, const std::string& file, LoadFlags& flags, IProgress* progress) {
            return OpenFileWith(image, file, flags, progress, OpenContext{&host, settings});
        };
}

bool MainWindow::AddImageFiles(DocumentWindow* w, const QStringList& files, bool video) {
    if (!w || files.isEmpty()) return false;
    std::vector<std::string> paths;
    for (const QString& f : files)
        paths.push_back(QFileInfo(f).absoluteFilePath().toStdString());
    BusyScope busy(busy_);
    // The files are read on a worker; the reader's questions and messages come back here.
    WorkerUiHost askHere(*uiHost_);
    const bool added = CmdAddImageFiles(w->Document(), paths, *uiHost_, FileLoaderAsking(askHere), video);
    UpdateCommands();
    return added;
}

// Reads the file into the new document on a worker while the window repaints; the document is
// nobody else's until it is handed to a window. A question the reader asks (PSD layers) is put
// on the UI thread. False when the file cannot be read or the user cancelled.
bool MainWindow::ReadInto(COrvaneDoc& doc, const QString& path, bool& cancelled) {
    BusyScope busy(busy_);
    WorkerUiHost askHere(*uiHost_);
    doc.SetFileLoader(FileLoaderAsking(askHere));
    const std::string file = path.toStdString();
    bool ok = false;
    cancelled = !RunWithProgress(
        this, kAppTitle, [&](WorkProgress& progress) { ok = doc.OnOpenDocument(file, &progress); },
        &progress_);
    doc.SetFileLoader(FileLoaderWithQuestions());
    return ok && !cancelled;
}

DocumentWindow* MainWindow::OpenDocument(const QString& path) {
    const QString abs = QFileInfo(path).absoluteFilePath();
    // A document that is already open gets its window activated.
    for (DocumentWindow* w : DocumentWindows())
        if (w->FilePath() == abs) {
            mdi_->setActiveSubWindow(qobject_cast<QMdiSubWindow*>(w->parentWidget()));
            return w;
        }
    auto doc = std::make_shared<COrvaneDoc>();
    doc->SetSettings(&app_.Settings());
    bool cancelled = false;
    if (!ReadInto(*doc, abs, cancelled)) {
        if (cancelled) return nullptr;
        // The reader's own reason, when it has one (over the memory budget, nothing readable).
        const LoadFlags& f = doc->lastLoad;
        const std::string& why = !f.refusal.empty() ? f.refusal : f.problem;
        uiHost_->MessageBox(why.empty() ? std::string(kOpenFailed) : std::string(kOpenFailed) + "\n\n" + why,
                            kAppTitle, MsgIcon::Error);
        return nullptr;
    }
    if (!doc->lastLoad.leftOut.empty()) {
        std::string text = kObjectsLeftOut;
        for (const std::string& line : doc->lastLoad.leftOut)
            text += "\n" + line;
        uiHost_->MessageBox(text, kAppTitle, MsgIcon::Warning);
    }
    // Only a native document is saved back where it came from; an imported image keeps its
    // name in the title and asks where to go on its first save.
    if (doc->lastLoad.nativeLoaded) {
        doc->filePath = abs.toStdString();
        doc->guides = app_.GuidesOf(abs);
    } else {
        doc->title = QFileInfo(abs).fileName().toStdString();
        doc->importedFrom = abs.toStdString();
    }
    app_.AddRecentFile(abs);
    RebuildRecentFiles();
    return AddWindow(std::move(doc));
}

void MainWindow::OpenWhenShown(const QString& path, std::function<void()> then) {
    QTimer::singleShot(0, this, [this, path, then = std::move(then)] {
        OpenDocument(path);
        if (then) then();
    });
}

void MainWindow::OnOpen() {
    ImageBrowserDialog dialog(app_.Settings(), QStringLiteral("Open"), false, this);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return;
    OpenDocument(dialog.selectedFiles().first());
}

bool MainWindow::SaveDocumentAs(DocumentWindow* w, const QString& path) {
    if (!w || path.isEmpty()) return false;
    COrvaneDoc& doc = w->Document();
    BusyScope busy(busy_);
    const std::uint64_t changes = doc.ChangeCount();
    // The file is written on a worker with the window's progress and Cancel; the document takes no
    // input meanwhile. A cancelled save stops at its next write and leaves the file as it was.
    const std::string file = path.toStdString();
    const CDocImage& image = doc.Image();
    bool saved = false;
    std::string reason;
    const bool finished = RunWithProgress(
        this, kAppTitle,
        [&](WorkProgress& progress) {
            ResetSaveError();
            saved = image.SaveNative(file, &progress) != 0;
            if (!saved) reason = LastSaveError();
        },
        &progress_);
    progress_.SetText({});
    progress_.SetPos(0);
    // Cancel pressed after the file was already in place does not unsave it.
    if (!finished && !saved) return false;
    if (!saved) {
        // A file that may not be replaced (read-only, a folder) is said so, and Save As is offered.
        const SaveRefusal refusal = SaveRefusalOf(file);
        std::string text = strings::SaveFailedText(path.toUtf8().constData(), reason);
        if (refusal == SaveRefusal::None) {
            uiHost_->MessageBox(text, kAppTitle, MsgIcon::Error);
            return false;
        }
        text = Format(strings::kSaveFailed, path.toUtf8().constData()) + "\n" + SaveRefusalText(refusal) +
               ". " + kSaveElsewhere;
        if (!uiHost_->AskYesNo(text, kAppTitle)) return false;
        const QString other = AskSavePath(w);
        return !other.isEmpty() && other != path && SaveDocumentAs(w, other);
    }
    // A change that arrived while the file was written (a capture, say) is not in it.
    if (doc.ChangeCount() == changes) doc.SetModifiedFlag(false);
    const QString abs = QFileInfo(path).absoluteFilePath();
    doc.filePath = abs.toStdString();
    app_.KeepGuides(abs, doc.guides);
    app_.AddRecentFile(abs);
    RebuildRecentFiles();
    for (DocumentWindow* other : DocumentWindows())
        if (&other->Document() == &doc) other->UpdateTitle();
    UpdateCommands();
    return true;
}

void MainWindow::OnProperties() {
    DocumentWindow* w = ActiveDocumentWindow();
    if (!w || GestureInProgress() || busy_) return;
    COrvaneDoc& doc = w->Document();
    const std::string& from = doc.filePath.empty() ? doc.importedFrom : doc.filePath;
    PropertiesDialog dialog(doc, QString::fromStdString(from), this);
    dialog.exec();
    UpdateCommands();
}

// Where a document's files are proposed: beside the file it was opened from or imported from.
QString MainWindow::DocumentFolder(const DocumentWindow& w) const {
    const std::string& from =
        w.Document().filePath.empty() ? w.Document().importedFrom : w.Document().filePath;
    return from.empty() ? QDir::currentPath() : QFileInfo(QString::fromStdString(from)).absolutePath();
}

// The save dialog adds the extension itself, before it asks about overwriting.
QString MainWindow::AskSavePath(DocumentWindow* w) {
    QFileDialog dialog(this);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setNameFilter(kNativeFilterQt);
    dialog.setDefaultSuffix(QStringLiteral("qzi"));
    dialog.selectFile(
        w->FilePath().isEmpty()
            ? QDir(DocumentFolder(*w)).filePath(QFileInfo(w->DocumentTitle()).completeBaseName() + ".qzi")
            : w->FilePath());
    return dialog.exec() == QDialog::Accepted && !dialog.selectedFiles().isEmpty()
               ? dialog.selectedFiles().first()
               : QString();
}

bool MainWindow::SaveDocument(DocumentWindow* w) {
    if (!w) return false;
    if (w->FilePath().isEmpty()) return SaveDocumentAs(w, AskSavePath(w));
    return SaveDocumentAs(w, w->FilePath());
}

void MainWindow::OnSave() {
    SaveDocument(ActiveDocumentWindow());
}

void MainWindow::OnSaveAs() {
    if (DocumentWindow* w = ActiveDocumentWindow()) {
        const QString path = AskSavePath(w);
        if (!path.isEmpty()) SaveDocumentAs(w, path);
    }
}

bool MainWindow::ConfirmClose(DocumentWindow* w) {
    if (!w || !w->Document().IsModified()) return true;
    const auto answer = QMessageBox::question(
        this, kAppTitle, Format(kSaveChanges, w->DocumentTitle().toUtf8().constData()).c_str(),
        QMessageBox::Save | QMessageBox::Discard | QMessageBox::Cancel, QMessageBox::Save);
    if (answer == QMessageBox::Cancel) return false;
    if (answer == QMessageBox::Save) return SaveDocument(w);
    return true;
}

} // namespace zepho
