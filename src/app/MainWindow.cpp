#include "app/MainWindow.h"

#include "app/AppStrings.h"
#include "app/CanvasWidget.h"

#include <QScrollArea>

namespace zepho {

namespace {
// The start-up document's size and colour until the settings are read from the store.
constexpr int kNewImageWidth = 640;
constexpr int kNewImageHeight = 480;
constexpr COLORREF kInitColor = 0xFFFFFF;
} // namespace

MainWindow::MainWindow(QWidget* parent) : QMainWindow(parent), doc_(std::make_unique<COrvaneDoc>()) {
    setWindowTitle(QString::fromUtf8(kAppTitle));
    doc_->CreateNewImage(kNewImageWidth, kNewImageHeight, false, kInitColor);
    canvas_ = new CanvasWidget(*doc_);
    auto* scroll = new QScrollArea;
    scroll->setWidget(canvas_);
    scroll->setWidgetResizable(true);
    scroll->setAlignment(Qt::AlignCenter);
    setCentralWidget(scroll);
    resize(900, 650);
}

// The canvas (owned by Qt through the scroll area) goes before the document it watches.
MainWindow::~MainWindow() { delete takeCentralWidget(); }

} // namespace zepho
