// The rulers along the top and left of a document window: canvas pixels at the view's zoom and
// scroll, with the mouse's position marked. Dragging out of a ruler makes a guide.
#pragma once

#include <QWidget>

namespace zepho {

class CanvasView;

class Ruler : public QWidget {
    Q_OBJECT
public:
    static constexpr int kThickness = 20;

    // A horizontal ruler runs along the top and makes horizontal guides.
    Ruler(CanvasView& canvas, Qt::Orientation orientation);
    Qt::Orientation Orientation() const { return orientation_; }
    // Canvas pixels between two labelled ticks at a scale (screen pixels per canvas pixel).
    static int LabelStep(double scale);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    CanvasView& canvas_;
    Qt::Orientation orientation_;
    bool dragging_ = false;
};

} // namespace zepho
