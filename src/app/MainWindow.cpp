#include "app/MainWindow.h"

#include "app/AppStrings.h"
#include "app/CanvasWidget.h"

#include <QScrollArea>

namespace zepho {

MainWindow::MainWindow(QWidget* parent) : QMainWindow(parent) {
    setWindowTitle(QString::fromUtf8(kAppTitle));
    canvas_ = new CanvasWidget(640, 480);
    auto* scroll = new QScrollArea;
    scroll->setWidget(canvas_);
    scroll->setWidgetResizable(true);
    scroll->setAlignment(Qt::AlignCenter);
    setCentralWidget(scroll);
    resize(900, 650);
}

} // namespace zepho
