#include "app/capture/CapturePicker.h"

#include "app/canvas/QtDib.h"

#include <QCursor>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QScreen>

#include <cmath>

namespace zepho {

CapturePicker::CapturePicker(IWindowSystem& sys, const PackedDib& frozen, std::function<void(POINT)> picked,
                             std::function<void()> cancelled)
    : QWidget(nullptr, Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint | Qt::BypassWindowManagerHint),
      sys_(sys), frozen_(ToQImage(frozen)), picked_(std::move(picked)), cancelled_(std::move(cancelled)) {
    // Kept out of the window manager's hands, the picker is a plain child of the root window
    // (no frame to look through) and stays where it is put.
    setAttribute(Qt::WA_OpaquePaintEvent);
    setMouseTracking(true);
    setCursor(Qt::CrossCursor);
}

bool CapturePicker::Open() {
    if (frozen_.isNull()) return false;
    const qreal dpr =
        QGuiApplication::primaryScreen() ? QGuiApplication::primaryScreen()->devicePixelRatio() : 1.0;
    frozen_.setDevicePixelRatio(dpr);
    const SIZE screen = sys_.ScreenSize();
    setGeometry(0, 0, static_cast<int>(std::ceil(screen.cx / dpr)),
                static_cast<int>(std::ceil(screen.cy / dpr)));
    show();
    if (!winId() || !isVisible()) return false;
    raise();
    activateWindow();
    grabKeyboard();
    TrackPoint(ToScreen(QCursor::pos()));
    return true;
}

POINT CapturePicker::ToScreen(QPointF global) const {
    const qreal dpr = frozen_.devicePixelRatio();
    return POINT{static_cast<LONG>(std::floor(global.x() * dpr)),
                 static_cast<LONG>(std::floor(global.y() * dpr))};
}

QRect CapturePicker::ToLogical(const RECT& r) const {
    const qreal dpr = frozen_.devicePixelRatio();
    const QPoint topLeft(static_cast<int>(std::floor(r.left / dpr)),
                         static_cast<int>(std::floor(r.top / dpr)));
    const QPoint bottomRight(static_cast<int>(std::ceil(r.right / dpr)),
                             static_cast<int>(std::ceil(r.bottom / dpr)));
    return QRect(topLeft, bottomRight - QPoint(1, 1));
}

void CapturePicker::TrackPoint(POINT screen) {
    const WindowId w = WindowFromPoint(sys_, screen, static_cast<WindowId>(winId()));
    if (w == candidate_) return;
    if (candidate_) update(ToLogical(CandidateRepaintRect(sys_, candidate_)));
    candidate_ = w;
    frame_ = CandidateFrame(sys_, w);
    if (candidate_) update(ToLogical(CandidateRepaintRect(sys_, candidate_)));
}

void CapturePicker::paintEvent(QPaintEvent* event) {
    QPainter p(this);
    p.drawImage(QPointF(0, 0), frozen_);
    for (const RECT& r : frame_.Rects()) {
        const QRect q = ToLogical(r);
        if (q.intersects(event->rect())) p.fillRect(q, QColor(255, 0, 0));
    }
}

void CapturePicker::mouseMoveEvent(QMouseEvent* event) {
    TrackPoint(ToScreen(event->globalPosition()));
}

void CapturePicker::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) return;
    if (picked_) picked_(ToScreen(event->globalPosition()));
}

void CapturePicker::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Escape) {
        if (cancelled_) cancelled_();
        return;
    }
    QWidget::keyPressEvent(event);
}

} // namespace zepho
