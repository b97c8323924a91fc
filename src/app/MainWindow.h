#pragma once

#include <QMainWindow>

namespace zepho {

class CanvasWidget;

class MainWindow : public QMainWindow {
    Q_OBJECT
public:
    explicit MainWindow(QWidget* parent = nullptr);
    CanvasWidget* Canvas() const { return canvas_; }

private:
    CanvasWidget* canvas_ = nullptr;
};

} // namespace zepho
