#include "app/CanvasWidget.h"

#include "app/QtDib.h"

#include "model/Frame.h"
#include "raster/Blend.h"
#include "raster/Dib.h"

#include <QPaintEvent>
#include <QPainter>


namespace zepho {

namespace {
constexpr int kMargin = 16;
constexpr COLORREF kSurround = RGB(128, 128, 128);
constexpr COLORREF kCheckWhite = RGB(255, 255, 255);
constexpr COLORREF kCheckGrey = RGB(212, 212, 212);
} // namespace

CanvasWidget::CanvasWidget(COrvaneDoc& doc, QWidget* parent) : QWidget(parent), doc_(doc) {
    setAttribute(Qt::WA_OpaquePaintEvent);
    doc_.Subscribe(this);
}

CanvasWidget::~CanvasWidget() { doc_.Unsubscribe(this); }

QSize CanvasWidget::sizeHint() const {
    return QSize(doc_.Image().width + 2 * kMargin, doc_.Image().height + 2 * kMargin);
}

QPoint CanvasWidget::CanvasOrigin() const {
    return QPoint(std::max(kMargin, (width() - doc_.Image().width) / 2),
                  std::max(kMargin, (height() - doc_.Image().height) / 2));
}

PackedDib CanvasWidget::Compose(const QRect& area) const {
    PackedDib buffer = CreateSolidDIB(area.width(), area.height(), kSurround, 255);
    if (!buffer) return buffer;
    const QPoint origin = CanvasOrigin();
    // The checkerboard lies under the canvas only, aligned to the canvas's top-left corner.
    const QRect canvasRect(origin, QSize(doc_.Image().width, doc_.Image().height));
    const QRect under = canvasRect.intersected(area);
    if (under.isEmpty()) return buffer;
    PackedDib board = CreateSolidDIB(under.width(), under.height(), 0, 255);
    DrawCheckerboard(board, kCheckWhite, kCheckGrey, under.x() - origin.x(), under.y() - origin.y());
    // Objects are drawn into the canvas part only; outside it the surround stays.
    DrawFrame(doc_.Image().objects, board, POINT{under.x() - origin.x(), under.y() - origin.y()}, 1);
    BlendTransparent(buffer, POINT{area.x(), area.y()}, board, POINT{under.x(), under.y()}, 0);
    return buffer;
}

void CanvasWidget::paintEvent(QPaintEvent* event) {
    const QRect area = event->rect();
    PackedDib buffer = Compose(area);
    if (!buffer) return;
    QPainter painter(this);
    painter.drawImage(area.topLeft(), ToQImage(buffer));
}

} // namespace zepho
