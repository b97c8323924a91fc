#include "app/canvas/Rulers.h"

#include "app/canvas/CanvasView.h"

#include <QMouseEvent>
#include <QPainter>

#include <cmath>

namespace zepho {

Ruler::Ruler(CanvasView& canvas, Qt::Orientation orientation)
    : QWidget(&canvas), canvas_(canvas), orientation_(orientation) {
    setAttribute(Qt::WA_OpaquePaintEvent);
    setCursor(orientation == Qt::Horizontal ? Qt::SplitVCursor : Qt::SplitHCursor);
    setToolTip(QStringLiteral("Drag onto the canvas to place a guide"));
}

int Ruler::LabelStep(double scale) {
    // Labels at least 50 screen pixels apart, on round numbers.
    static constexpr int kSteps[] = {1,   2,    5,    10,   20,    50,    100,  200,
                                     500, 1000, 2000, 5000, 10000, 20000, 50000};
    for (int s : kSteps)
        if (s * scale >= 50) return s;
    return 100000;
}

void Ruler::paintEvent(QPaintEvent*) {
    QPainter p(this);
    const QColor face = palette().color(QPalette::Window);
    p.fillRect(rect(), face.lighter(106));
    const QColor ink = palette().color(QPalette::WindowText);
    const bool horizontal = orientation_ == Qt::Horizontal;
    const int length = horizontal ? width() : height();
    // The ruler lies beside the viewport: its offset along the axis.
    const QPoint origin = canvas_.viewport()->mapTo(&canvas_, QPoint(0, 0)) - pos();
    const int shift = horizontal ? origin.x() : origin.y();
    const double scale = canvas_.Scale();
    const auto toRuler = [&](double c) {
        return (horizontal ? canvas_.CanvasToClientX(c) : canvas_.CanvasToClientY(c)) + shift;
    };
    const auto fromRuler = [&](double r) {
        return horizontal ? canvas_.ClientToCanvasX(r - shift) : canvas_.ClientToCanvasY(r - shift);
    };
    const int step = LabelStep(scale);
    // Minor ticks: tenths, fifths or halves of a step, whichever keeps them 5 pixels apart.
    int minor = step;
    for (int parts : {10, 5, 2})
        if (step % parts == 0 && step / parts * scale >= 5) {
            minor = step / parts;
            break;
        }
    const double first = std::floor(fromRuler(0) / minor) * minor;
    const double last = fromRuler(length);
    QFont f = font();
    f.setPointSizeF(std::max(6.0, f.pointSizeF() * 0.75));
    p.setFont(f);
    p.setPen(ink);
    for (double c = first; c <= last; c += minor) {
        const double at = std::floor(toRuler(c)) + 0.5;
        const long v = std::lround(c);
        const bool major = v % step == 0;
        const bool half = !major && step % 2 == 0 && v % (step / 2) == 0;
        const double tick = major ? kThickness : half ? kThickness * 0.45 : kThickness * 0.25;
        if (horizontal) {
            p.drawLine(QPointF(at, kThickness - tick), QPointF(at, kThickness));
            if (major) p.drawText(QPointF(at + 2, f.pointSizeF() + 2), QString::number(v));
        } else {
            p.drawLine(QPointF(kThickness - tick, at), QPointF(kThickness, at));
            if (major) {
                p.save();
                p.translate(f.pointSizeF() + 2, at + 2);
                p.rotate(90);
                p.drawText(QPointF(0, 0), QString::number(v));
                p.restore();
            }
        }
    }
    // The edge towards the canvas and the mouse's mark.
    p.setPen(face.darker(140));
    if (horizontal)
        p.drawLine(0, height() - 1, width(), height() - 1);
    else
        p.drawLine(width() - 1, 0, width() - 1, height());
    if (const std::optional<QPointF> m = canvas_.MouseClient()) {
        p.setPen(QColor(220, 0, 0));
        const double at = std::floor((horizontal ? m->x() : m->y()) + shift) + 0.5;
        if (horizontal)
            p.drawLine(QPointF(at, 0), QPointF(at, kThickness));
        else
            p.drawLine(QPointF(0, at), QPointF(kThickness, at));
    }
}

void Ruler::mousePressEvent(QMouseEvent* e) {
    if (e->button() != Qt::LeftButton) return;
    // The top ruler makes horizontal guides, the left one vertical guides.
    dragging_ = canvas_.BeginGuideDrag(orientation_ == Qt::Vertical, -1);
}

void Ruler::mouseMoveEvent(QMouseEvent* e) {
    if (dragging_) canvas_.MoveGuideDrag(canvas_.viewport()->mapFromGlobal(e->globalPosition().toPoint()));
}

void Ruler::mouseReleaseEvent(QMouseEvent* e) {
    if (!dragging_ || e->button() != Qt::LeftButton) return;
    dragging_ = false;
    canvas_.EndGuideDrag(canvas_.viewport()->mapFromGlobal(e->globalPosition().toPoint()));
}

} // namespace zepho
