#pragma once

#include "edit/OrvaneDoc.h"

#include <QMainWindow>

#include <memory>

namespace zepho {

class CanvasWidget;

class MainWindow : public QMainWindow {
    Q_OBJECT
public:
    explicit MainWindow(QWidget* parent = nullptr);
    ~MainWindow() override;
    CanvasWidget* Canvas() const { return canvas_; }
    COrvaneDoc& Document() { return *doc_; }

private:
    std::unique_ptr<COrvaneDoc> doc_;
    CanvasWidget* canvas_ = nullptr;
};

} // namespace zepho
