#include "app/canvas/DocumentWindow.h"

#include "app/canvas/CanvasView.h"
#include "app/mainwindow/AppStrings.h"

#include <QFileInfo>
#include <QVBoxLayout>

namespace zepho {

DocumentWindow::DocumentWindow(std::shared_ptr<COrvaneDoc> doc, CPaintColours* colours, IUiHost* ui,
                               const CAppSettings* settings, QWidget* parent)
    : QWidget(parent), doc_(std::move(doc)) {
    setAttribute(Qt::WA_DeleteOnClose);
    canvas_ = new CanvasView(*doc_, colours, ui, settings);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(canvas_);
    doc_->Subscribe(this);
    UpdateTitle();
}

DocumentWindow::~DocumentWindow() {
    doc_->Unsubscribe(this);
    // The canvas watches the document too: let it go while the document is surely alive.
    delete layout();
    qDeleteAll(findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly));
}

QString DocumentWindow::FilePath() const {
    return QString::fromStdString(doc_->filePath);
}

void DocumentWindow::SetFilePath(const QString& path) {
    doc_->filePath = path.toStdString();
    UpdateTitle();
}

QString DocumentWindow::DocumentTitle() const {
    const QString path = FilePath();
    QString name = !path.isEmpty()       ? QFileInfo(path).fileName()
                   : doc_->title.empty() ? QString(kUntitled)
                                         : QString::fromStdString(doc_->title);
    return titleNumber_ > 1 ? name + QStringLiteral(" %1").arg(titleNumber_) : name;
}

void DocumentWindow::UpdateTitle() {
    setWindowTitle(DocumentTitle() + (doc_->IsModified() ? QStringLiteral(" *") : QString()));
}

// Every window of the document follows a change, not only the one the command ran in: the
// layout may have changed (canvas size) and so may any pixel.
void DocumentWindow::ObjectsChanged() {
    canvas_->View().OnSize();
    canvas_->View().InvalidateAll();
    UpdateTitle();
    emit DocumentChanged();
}

void DocumentWindow::ObjectsRepainted() {
    canvas_->View().InvalidateAll();
    UpdateTitle();
    emit DocumentChanged();
}

void DocumentWindow::SelectionChanged() {
    emit DocumentChanged();
}

} // namespace zepho
