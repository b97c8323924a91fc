// The widget that shows a document: the view's pixels are composed by the raster kernels into
// a buffer the size of the repainted area, then handed to the screen.
#pragma once

#include "edit/OrvaneDoc.h"
#include "platform/PackedDib.h"

#include <QWidget>

namespace zepho {

class CanvasWidget : public QWidget, private IDocObserver {
    Q_OBJECT
public:
    explicit CanvasWidget(COrvaneDoc& doc, QWidget* parent = nullptr);
    ~CanvasWidget() override;

    QSize sizeHint() const override;
    // Top-left of the canvas inside the widget.
    QPoint CanvasOrigin() const;
    // Composes the given widget area (surround, checkerboard, the document's objects).
    PackedDib Compose(const QRect& area) const;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void ObjectsChanged() override { update(); }
    void ObjectsRepainted() override { update(); }
    void SelectionChanged() override { update(); }

    COrvaneDoc& doc_;
};

} // namespace zepho
