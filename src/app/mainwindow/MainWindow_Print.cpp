// Printing the flattened document, and the help.
#include "app/canvas/DocumentWindow.h"
#include "app/canvas/QtDib.h"
#include "app/mainwindow/AppStrings.h"
#include "app/mainwindow/MainWindowActions.h"
#include "app/mainwindow/ZephoApp.h"
#include "model/AppSettings.h"
#include "model/Frame.h"
#include "raster/Dib.h"

#include <QDialog>
#include <QFile>
#include <QMenuBar>
#include <QPageSetupDialog>
#include <QPainter>
#include <QPrintDialog>
#include <QPrintPreviewDialog>
#include <QPrinter>
#include <QTextBrowser>
#include <QVBoxLayout>

// The help pages live in the library's resources, which a static library must register itself.
static void InitHelpResources() {
    Q_INIT_RESOURCE(help);
}

namespace zepho {

QImage MainWindow::FlattenedImage(const COrvaneDoc& doc) const {
    const CDocImage& img = doc.Image();
    // As for export: the visible objects over the default background colour.
    PackedDib canvas = CreateSolidDIB(img.width, img.height, app_.Settings().DefaultBackgroundColor, 255);
    if (!canvas) return {};
    FlattenFrame(img.objects, canvas, POINT{0, 0}, 1);
    QImage q = ToQImage(canvas);
    return q.convertToFormat(QImage::Format_RGB32);
}

void MainWindow::PrintDocument(QPrinter& printer) {
    DocumentWindow* w = ActiveDocumentWindow();
    if (!w) return;
    const QImage image = FlattenedImage(w->Document());
    if (image.isNull()) return;
    QPainter p(&printer);
    const QRect page = p.viewport();
    // The whole picture on the page, as large as fits, keeping its proportions.
    QSize size = image.size();
    size.scale(page.size(), Qt::KeepAspectRatio);
    p.setViewport(page.x() + (page.width() - size.width()) / 2,
                  page.y() + (page.height() - size.height()) / 2, size.width(), size.height());
    p.setWindow(image.rect());
    p.drawImage(0, 0, image);
}

void MainWindow::BuildPrintCommands(QMenu* file, QAction* before) {
    if (!printer_) printer_ = std::make_unique<QPrinter>(QPrinter::HighResolution);
    act_->print = new QAction(QStringLiteral("&Print..."), this);
    act_->print->setShortcut(QKeySequence::Print);
    connect(act_->print, &QAction::triggered, this, [this] {
        QPrintDialog dialog(printer_.get(), this);
        if (dialog.exec() == QDialog::Accepted) PrintDocument(*printer_);
    });
    act_->printPreview = new QAction(QStringLiteral("Print Pre&view"), this);
    connect(act_->printPreview, &QAction::triggered, this, [this] {
        QPrintPreviewDialog preview(printer_.get(), this);
        connect(&preview, &QPrintPreviewDialog::paintRequested, this,
                [this](QPrinter* p) { PrintDocument(*p); });
        preview.exec();
    });
    act_->printSetup = new QAction(QStringLiteral("P&rint Setup..."), this);
    connect(act_->printSetup, &QAction::triggered, this, [this] {
        QPageSetupDialog dialog(printer_.get(), this);
        dialog.exec();
    });
    file->insertAction(before, act_->print);
    file->insertAction(before, act_->printPreview);
    file->insertAction(before, act_->printSetup);
    file->insertSeparator(before);
}

void MainWindow::LoadHelp() {
    ::InitHelpResources();
}

void MainWindow::ShowHelp() {
    auto* dialog = new QDialog(this);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->setWindowTitle(QStringLiteral("%1 Help").arg(kAppTitle));
    auto* browser = new QTextBrowser;
    QFile guide(QStringLiteral(":/help/guide.html"));
    if (guide.open(QIODevice::ReadOnly)) browser->setHtml(QString::fromUtf8(guide.readAll()));
    auto* layout = new QVBoxLayout(dialog);
    layout->addWidget(browser);
    dialog->resize(640, 560);
    dialog->show();
}

} // namespace zepho
