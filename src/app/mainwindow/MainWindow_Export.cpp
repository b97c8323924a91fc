// Bringing images into a document and exporting it: Add Image(s) and the Save As formats.
#include "app/canvas/DocumentWindow.h"
#include "app/canvas/QtDib.h"
#include "app/dialogs/ExportDialog.h"
#include "app/dialogs/ImageBrowser.h"
#include "app/dialogs/VideoBrowser.h"
#include "app/mainwindow/AppStrings.h"
#include "app/mainwindow/MainWindowActions.h"
#include "app/mainwindow/ZephoApp.h"
#include "app/services/BackgroundWork.h"
#include "codecs/CodecStrings.h"
#include "codecs/OpenExport.h"
#include "edit/document/CmdFiles.h"
#include "model/FileStrings.h"
#include "platform/ByteStream.h"
#include "platform/Format.h"
#include "platform/SaveTarget.h"

#include <cctype>

#include <QDir>
#include <QFileInfo>
#include <QMenu>

namespace zepho {

void MainWindow::BuildExportCommands(QMenu* menu) {
    const auto& formats = ExportFormats();
    for (int i = 0; i < static_cast<int>(formats.size()); ++i)
        menu->addAction(QString::fromUtf8(formats[static_cast<std::size_t>(i)].menuText), this,
                        [this, i] { OnExport(i); });
}

void MainWindow::OnExport(int formatIndex) {
    DocumentWindow* w = ActiveDocumentWindow();
    if (!w || GestureInProgress() || busy_) return;
    const ExportFormat& format = ExportFormats()[static_cast<std::size_t>(formatIndex)];
    COrvaneDoc& doc = w->Document();
    CAppSettings& settings = app_.Settings();

    // The document's title without its extension, beside the file it came from.
    const QString base =
        QFileInfo(w->DocumentTitle()).completeBaseName() + QLatin1Char('.') + format.extension;
    const QString dir = DocumentFolder(*w);
    const QImage preview = ToQImage(FlattenForExport(doc.Image(), settings.DefaultBackgroundColor));
    ExportDialog dialog(format, settings, QDir(dir).filePath(base), preview, this);
    if (!doc.Image().photoInfo.Empty()) dialog.OfferPhotoInfo();
    if (dialog.exec() != QDialog::Accepted) return;
    const QString path = dialog.ChosenPath();
    if (path.isEmpty()) return;
    dialog.Store(settings);

    // Flattening and encoding run on a worker with the window's progress and Cancel; the document
    // takes no input meanwhile. A cancelled save stops at its next write and leaves the file as it
    // was.
    BusyScope busy(busy_);
    const std::string file = path.toStdString();
    const std::string status = strings::kSavingFile + QFileInfo(path).fileName().toStdString();
    const CDocImage& image = doc.Image();
    const COLORREF background = settings.DefaultBackgroundColor;
    const DWORD option = dialog.Option(), extra = dialog.Extra();
    const bool bmp = format.id == ExportFormat::Bmp;
    bool ok = false;
    std::string reason;
    const bool finished = RunWithProgress(
        this, kAppTitle,
        [&](WorkProgress& progress) {
            ResetSaveError();
            progress.SetText(status);
            progress.SetPos(0);
            ok = bmp ? ExportBmp(image, file, static_cast<int>(option), &progress, background,
                                 (extra & kExportKeepAlpha) != 0)
                     : ExportFile(image, file, option, extra, &progress, background);
            if (!ok) reason = LastSaveError();
        },
        &progress_);
    progress_.SetText({});
    progress_.SetPos(0);
    if (finished && !ok) {
        // A file that may not be replaced says why as well.
        if (reason.empty()) reason = SaveRefusalText(SaveRefusalOf(file));
        if (!reason.empty())
            reason[0] = static_cast<char>(std::toupper(static_cast<unsigned char>(reason[0])));
        uiHost_->MessageBox(strings::SaveFailedText(file, reason), kAppTitle, MsgIcon::Error);
    }
}

void MainWindow::OnOpenAvi() {
    VideoBrowserDialog dialog(app_.Settings(), QStringLiteral("Open AVI File"), this);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return;
    OpenDocument(dialog.selectedFiles().first());
}

void MainWindow::OnAddAvi() {
    DocumentWindow* w = ActiveDocumentWindow();
    if (!w || GestureInProgress() || busy_) return;
    VideoBrowserDialog dialog(app_.Settings(), QStringLiteral("Add AVI"), this);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return;
    AddImageFiles(w, {dialog.selectedFiles().first()}, true);
}

void MainWindow::OnAddImages() {
    DocumentWindow* w = ActiveDocumentWindow();
    if (!w || GestureInProgress() || busy_) return;
    ImageBrowserDialog dialog(app_.Settings(), QString::fromUtf8(kAddImagesTitle), true, this);
    if (dialog.exec() != QDialog::Accepted) return;
    AddImageFiles(w, dialog.selectedFiles());
}

} // namespace zepho
