// The widget that shows a canvas: the pixels are composed by the raster kernels into a
// buffer the size of the repainted area, then handed to the screen.
#pragma once

#include "platform/PackedDib.h"

#include <QWidget>

namespace zepho {

class CanvasWidget : public QWidget {
    Q_OBJECT
public:
    explicit CanvasWidget(int canvasWidth, int canvasHeight, QWidget* parent = nullptr);

    QSize sizeHint() const override;
    // Top-left of the canvas inside the widget.
    QPoint CanvasOrigin() const;
    // Composes the given widget area (checkerboard, the canvas, the surround) into a 32-bit image.
    PackedDib Compose(const QRect& area) const;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    PackedDib canvas_;
};

// Copies a 32-bit packed DIB into a QImage (top-down rows).
QImage ToQImage(const PackedDib& dib);

} // namespace zepho
