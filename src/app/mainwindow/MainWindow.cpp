#include "app/mainwindow/MainWindow.h"

#include "app/canvas/CanvasView.h"
#include "app/canvas/DocumentWindow.h"
#include "app/mainwindow/AppIcon.h"
#include "app/mainwindow/AppStrings.h"
#include "app/mainwindow/MainWindowActions.h"
#include "app/mainwindow/ZephoApp.h"
#include "app/services/BackgroundWork.h"
#include "edit/commands/LongWork.h"

#include <QApplication>
#include <QClipboard>
#include <QCloseEvent>
#include <QGuiApplication>
#include <QLabel>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenuBar>
#include <QMessageBox>
#include <QMimeData>
#include <QProgressBar>
#include <QStatusBar>
#include <QTimer>
#include <QUrl>

namespace zepho {

MainWindow::MainWindow(CZephoApp& app, QWidget* parent)
    : QMainWindow(parent), app_(app), ui_(this), progress_(nullptr, nullptr),
      act_(std::make_unique<Actions>()) {
    setWindowTitle(kAppTitle);
    // Our mark in the title bar, on every document window and in the task switcher.
    QApplication::setWindowIcon(AppIcon());
    setWindowIcon(AppIcon());
    setAcceptDrops(true);
    LoadHelp();
    mdi_ = new QMdiArea;
    mdi_->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    mdi_->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    setCentralWidget(mdi_);
    connect(mdi_, &QMdiArea::subWindowActivated, this, &MainWindow::UpdateCommands);
    // The keyboard reaches the document as soon as its window is active.
    connect(mdi_, &QMdiArea::subWindowActivated, this, [](QMdiSubWindow* sub) {
        if (auto* w = sub ? qobject_cast<DocumentWindow*>(sub->widget()) : nullptr) w->Canvas()->setFocus();
    });

    statusText_ = new QLabel;
    statusPos_ = new QLabel;
    statusZoom_ = new QLabel;
    statusZoom_->setMinimumWidth(48);
    statusZoom_->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    progressBar_ = new QProgressBar;
    progressBar_->setRange(0, 100);
    progressBar_->setMaximumWidth(200);
    progressBar_->setVisible(false);
    statusBar()->addWidget(statusText_, 1);
    statusBar()->addPermanentWidget(progressBar_);
    statusBar()->addPermanentWidget(statusPos_);
    statusBar()->addPermanentWidget(statusZoom_);
    progress_ = QtProgress(statusText_, progressBar_);

    paint = CPaintColours::FromSettings(app_.Settings());

    BuildFileMenu();
    BuildEditMenu();
    BuildObjectMenus();
    BuildImageMenu();
    BuildSelectionCommands();
    BuildCaptureMenu();
    BuildViewParts();
    BuildWindowMenu();
    BuildHelpMenu();
    // Paste follows what other programs put on the clipboard.
    connect(QGuiApplication::clipboard(), &QClipboard::dataChanged, this, &MainWindow::UpdateCommands);
    UpdateCommands();
    resize(1100, 800);
    // The core's long work (rendering a transform, resampling every object) runs on a worker
    // while the windows repaint, with progress and Cancel when it takes a while.
    SetLongWorkRunner([](const std::function<void()>& work) {
        QWidget* parent = QApplication::activeModalWidget();
        if (!parent) parent = QApplication::activeWindow();
        return RunWithProgress(parent, kAppTitle, [&work](WorkProgress&) { work(); });
    });
}

MainWindow::~MainWindow() {
    // The colours last chosen go back into the settings that are saved at exit.
    paint.SaveTo(app_.Settings());
    // Windows go before the documents they watch.
    mdi_->closeAllSubWindows();
    delete mdi_;
}

DocumentWindow* MainWindow::ActiveDocumentWindow() const {
    QMdiSubWindow* sub = mdi_->activeSubWindow();
    if (!sub && !mdi_->subWindowList().isEmpty()) sub = mdi_->subWindowList().last();
    return sub ? qobject_cast<DocumentWindow*>(sub->widget()) : nullptr;
}

QList<DocumentWindow*> MainWindow::DocumentWindows() const {
    QList<DocumentWindow*> out;
    for (QMdiSubWindow* sub : mdi_->subWindowList())
        if (auto* w = qobject_cast<DocumentWindow*>(sub->widget())) out << w;
    return out;
}

DocumentWindow* MainWindow::AddWindow(std::shared_ptr<COrvaneDoc> doc) {
    doc->SetSettings(&app_.Settings());
    auto* window = new DocumentWindow(std::move(doc), &paint, uiHost_, &app_.Settings());
    // Another document of the same name gets a number: "ScreenShot", "ScreenShot 2".
    for (int n = 2;; ++n) {
        bool taken = false;
        for (DocumentWindow* other : DocumentWindows())
            taken |= &other->Document() != &window->Document() &&
                     other->DocumentTitle() == window->DocumentTitle();
        if (!taken) break;
        window->SetTitleNumber(n);
    }
    QMdiSubWindow* sub = mdi_->addSubWindow(window);
    connect(window, &DocumentWindow::DocumentChanged, this, &MainWindow::UpdateCommands);
    ConnectCanvas(window);
    connect(window, &QObject::destroyed, this, &MainWindow::UpdateCommands, Qt::QueuedConnection);
    // Large enough for the canvas at actual size where the area allows.
    const CDocImage& img = window->Document().Image();
    sub->resize(std::clamp(img.width + 60, 300, std::max(300, mdi_->width() - 20)),
                std::clamp(img.height + 80, 200, std::max(200, mdi_->height() - 20)));
    sub->installEventFilter(this);
    // The first document fills the area; later ones open beside it at their own size.
    if (mdi_->subWindowList().size() == 1)
        sub->showMaximized();
    else
        window->show();
    mdi_->setActiveSubWindow(sub);
    // A canvas larger than its window opens whole, once the window has its size.
    QTimer::singleShot(0, window, [this, window] {
        if (window->Canvas()->View().LargerThanWindow()) window->Canvas()->FitInWindow();
        UpdateCommands();
    });
    UpdateCommands();
    return window;
}

void MainWindow::OnNewWindow() {
    if (DocumentWindow* w = ActiveDocumentWindow()) AddWindow(w->SharedDocument());
}

void MainWindow::closeEvent(QCloseEvent* event) {
    if (busy_) {
        event->ignore();
        return;
    }
    // Each modified document is offered for saving once, whatever its number of windows.
    QList<COrvaneDoc*> asked;
    for (DocumentWindow* w : DocumentWindows()) {
        if (asked.contains(&w->Document())) continue;
        asked << &w->Document();
        // The question is asked over the document it is about.
        if (w->Document().IsModified())
            if (auto* sub = qobject_cast<QMdiSubWindow*>(w->parentWidget())) mdi_->setActiveSubWindow(sub);
        if (!ConfirmClose(w)) {
            event->ignore();
            return;
        }
    }
    for (DocumentWindow* w : DocumentWindows())
        w->Document().SetModifiedFlag(false);
    mdi_->closeAllSubWindows();
    event->accept();
}

void MainWindow::dragEnterEvent(QDragEnterEvent* event) {
    if (event->mimeData()->hasUrls()) event->acceptProposedAction();
}

void MainWindow::dropEvent(QDropEvent* event) {
    // Files dropped while another file is read or written wait for another drop.
    if (busy_) {
        event->ignore();
        return;
    }
    for (const QUrl& url : event->mimeData()->urls())
        if (url.isLocalFile()) OpenDocument(url.toLocalFile());
    event->acceptProposedAction();
}

void MainWindow::OnAbout() {
    QMessageBox box(this);
    box.setObjectName(QStringLiteral("aboutBox"));
    box.setWindowTitle(QStringLiteral("About %1").arg(kAppTitle));
    box.setText(QStringLiteral("<b>%1</b><p>A layered image editor.</p>").arg(kAppTitle));
    box.setWindowIcon(AppIcon());
    box.setIconPixmap(AppIcon().pixmap(QSize(64, 64), box.devicePixelRatioF()));
    box.setStandardButtons(QMessageBox::Ok);
    box.exec();
}

} // namespace zepho
