#include "app/canvas/CanvasView.h"

#include "app/canvas/QtDib.h"
#include "app/canvas/Rulers.h"
#include "edit/commands/CmdAlign.h"
#include "edit/tools/ToolSet.h"
#include "model/AppSettings.h"

#include <QCursor>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QScrollBar>
#include <QTimer>
#include <QWheelEvent>

namespace zepho {

namespace {
POINT ToPoint(const QPointF& p) {
    return {static_cast<LONG>(p.x()), static_cast<LONG>(p.y())};
}

Qt::CursorShape ShapeOf(int id) {
    switch (id) {
    case kCursorTrackWE:
        return Qt::SizeHorCursor;
    case kCursorTrackNWSE:
        return Qt::SizeFDiagCursor;
    case kCursorTrackNS:
        return Qt::SizeVerCursor;
    case kCursorTrackNESW:
        return Qt::SizeBDiagCursor;
    case kCursorMoving:
    case kCursorOverSelection:
        return Qt::SizeAllCursor;
    case kCursorRotate:
        return Qt::OpenHandCursor;
    case kCursorArrow:
        return Qt::ArrowCursor;
    default:
        // The drawing tools' cursors: a precise cross for placing points.
        return Qt::CrossCursor;
    }
}
} // namespace

CanvasView::CanvasView(COrvaneDoc& doc, CPaintColours* colours, IUiHost* ui, const CAppSettings* settings,
                       QWidget* parent)
    : QAbstractScrollArea(parent), view_(std::make_unique<COrvaneView>(doc, this)), settings_(settings) {
    viewport()->setAttribute(Qt::WA_OpaquePaintEvent);
    viewport()->setMouseTracking(true);
    setFocusPolicy(Qt::StrongFocus);
    view_->SetPaintColours(colours);
    view_->SetUiHost(ui);
    view_->OnInitialUpdate();
}

CanvasView::~CanvasView() {
    for (auto& [id, timer] : timers_)
        timer->stop();
    view_.reset();
}

void CanvasView::InvalidateRect(const RECT& r) {
    viewport()->update(QRect(r.left, r.top, r.right - r.left, r.bottom - r.top));
}

void CanvasView::InvalidateAll() {
    viewport()->update();
    // A zoom or a new layout moves the rulers' scales.
    if (rulersShown_ && hRuler_) {
        hRuler_->update();
        vRuler_->update();
    }
}

SIZE CanvasView::ClientSize() const {
    return {viewport()->width(), viewport()->height()};
}

POINT CanvasView::ScrollPosition() const {
    return {horizontalScrollBar()->value(), verticalScrollBar()->value()};
}

void CanvasView::SetScrollSizes(SIZE total, bool horzBar, bool vertBar) {
    const QSize client = viewport()->size();
    horizontalScrollBar()->setRange(0, horzBar ? std::max(0, int(total.cx) - client.width()) : 0);
    verticalScrollBar()->setRange(0, vertBar ? std::max(0, int(total.cy) - client.height()) : 0);
    horizontalScrollBar()->setPageStep(client.width());
    verticalScrollBar()->setPageStep(client.height());
    horizontalScrollBar()->setSingleStep(16);
    verticalScrollBar()->setSingleStep(16);
}

void CanvasView::ScrollTo(POINT p) {
    horizontalScrollBar()->setValue(p.x);
    verticalScrollBar()->setValue(p.y);
}

void CanvasView::ZoomStep(bool in) {
    const POINT middle{viewport()->width() / 2, viewport()->height() / 2};
    in ? view_->ZoomInAbout(middle) : view_->ZoomOutAbout(middle);
    emit ZoomChanged();
}

void CanvasView::FitInWindow() {
    view_->SetZoom(view_->FitZoom());
    emit ZoomChanged();
}

bool CanvasView::PlayAnimation() {
    StopAnimation();
    int visible = 0;
    for (const auto& o : view_->Document().Image().objects)
        visible += o->visible ? 1 : 0;
    if (visible < 2) return false;
    playTimer_ = new QTimer(this);
    // The delay is in hundredths of a second; a zero delay plays at 10 frames a second.
    const int delay = view_->Document().Image().delay;
    playTimer_->setInterval(std::max(delay, 1) * 10);
    connect(playTimer_, &QTimer::timeout, this, &CanvasView::NextFrame);
    playFrame_ = -1;
    NextFrame();
    playTimer_->start();
    return true;
}

void CanvasView::StopAnimation() {
    if (!playTimer_) return;
    delete playTimer_;
    playTimer_ = nullptr;
    playFrame_ = -1;
    playImage_ = QImage();
    viewport()->update();
}

void CanvasView::NextFrame() {
    const CDocImage& img = view_->Document().Image();
    std::vector<const CDrawObj*> frames;
    for (const auto& o : img.objects)
        if (o->visible) frames.push_back(o.Get());
    if (frames.size() < 2) return StopAnimation();
    playFrame_ = playFrame_ + 1 >= static_cast<int>(frames.size()) ? 0 : playFrame_ + 1;
    // Each frame draws over the one before; the first starts from a clear canvas.
    if (playFrame_ == 0 && !composer_.Start(img.width, img.height)) return StopAnimation();
    composer_.Add(*frames[static_cast<std::size_t>(playFrame_)]);
    playImage_ = ToQImage(composer_.Image());
    viewport()->update();
}

void CanvasView::CaptureMouse() {
    viewport()->grabMouse();
}
void CanvasView::ReleaseMouse() {
    viewport()->releaseMouse();
}
void CanvasView::SetCursor(int id) {
    viewport()->setCursor(ShapeOf(id));
}

void CanvasView::ShowContextMenu(ContextMenu menu, POINT client) {
    emit ContextMenuRequested(menu, viewport()->mapToGlobal(QPoint(client.x, client.y)));
}

void CanvasView::SetStatusText(const std::string& text) {
    emit StatusText(QString::fromStdString(text));
}

void CanvasView::StartTimer(int id, int periodMs) {
    QTimer*& timer = timers_[id];
    if (!timer) {
        timer = new QTimer(this);
        connect(timer, &QTimer::timeout, this, [this, id] { view_->OnTimer(id); });
    }
    timer->start(periodMs);
}

COLORREF CanvasView::FaceColour() const {
    const QColor c = palette().color(QPalette::Window);
    return RGB(c.red(), c.green(), c.blue());
}

void CanvasView::OpenProperties(CDrawObj& obj) {
    emit PropertiesRequested(&obj);
}
bool CanvasView::OpenTextEditor(CDrawObj& obj) {
    return textEditor && textEditor(obj);
}
void CanvasView::PaintColoursChanged() {
    emit PaintColoursEdited();
}
void CanvasView::ShowPickedColour(const PickedColour& colour) {
    emit PickedColourChanged(colour);
}
void CanvasView::ToolChanged(int tool) {
    emit ToolSwitched(tool);
}

void CanvasView::paintEvent(QPaintEvent* event) {
    const QRect area = event->rect();
    // On a high-density screen the canvas is drawn at device pixels, so that it is sharp at
    // actual size; a fractional ratio takes the nearest whole one and lets the painter scale.
    const int scale = std::clamp(qRound(viewport()->devicePixelRatioF()), 1, 4);
    PackedDib buffer =
        view_->Render(RECT{area.left(), area.top(), area.right() + 1, area.bottom() + 1}, scale);
    QPainter painter(viewport());
    if (buffer) {
        QImage image = ToQImage(buffer);
        image.setDevicePixelRatio(scale);
        painter.drawImage(area.topLeft(), image);
    } else
        painter.fillRect(area, palette().window());
    if (!playImage_.isNull()) {
        const RECT r = view_->LogicalToClient(view_->CanvasRect());
        const QRect target(r.left, r.top, r.right - r.left, r.bottom - r.top);
        painter.fillRect(target, Qt::white);
        painter.drawImage(target, playImage_);
        return;
    }
    PaintOverlay(painter, area);
}

void CanvasView::resizeEvent(QResizeEvent* event) {
    QAbstractScrollArea::resizeEvent(event);
    view_->OnSize();
    PlaceRulers();
}

void CanvasView::scrollContentsBy(int, int) {
    viewport()->update();
    if (rulersShown_ && hRuler_) {
        hRuler_->update();
        vRuler_->update();
    }
}

unsigned CanvasView::Flags(const QMouseEvent* e) const {
    unsigned f = 0;
    if (e->buttons() & Qt::LeftButton) f |= kMkLButton;
    if (e->buttons() & Qt::RightButton) f |= kMkRButton;
    if (e->modifiers() & Qt::ShiftModifier) f |= kMkShift;
    if (e->modifiers() & Qt::ControlModifier) f |= kMkControl;
    if (e->modifiers() & Qt::AltModifier) f |= kMkAlt;
    return f;
}

void CanvasView::mousePressEvent(QMouseEvent* e) {
    setFocus();
    if (Playing()) {
        StopAnimation();
        return;
    }
    if (spaceHeld_ && e->button() == Qt::LeftButton) {
        panning_ = true;
        panFrom_ = e->position().toPoint();
        scrollFrom_ = QPoint(horizontalScrollBar()->value(), verticalScrollBar()->value());
        viewport()->setCursor(Qt::ClosedHandCursor);
        return;
    }
    // With the move tool a guide is taken before the objects under it.
    if (e->button() == Qt::LeftButton && view_->ToolNumber() == ToolMove && view_->Drag().flags == 0)
        if (const auto guide = GuideAt(e->position().toPoint());
            guide && BeginGuideDrag(guide->first, guide->second))
            return;
    const POINT p = ToPoint(e->position());
    if (e->button() == Qt::LeftButton) view_->OnLButtonDown(Flags(e), p);
    if (e->button() == Qt::RightButton) view_->OnRButtonDown(Flags(e), p);
    emit ToolActed();
}

void CanvasView::mouseMoveEvent(QMouseEvent* e) {
    if (panning_) {
        const QPoint d = e->position().toPoint() - panFrom_;
        ScrollTo(POINT{scrollFrom_.x() - d.x(), scrollFrom_.y() - d.y()});
        return;
    }
    TrackMouse(e->position());
    if (guideDrag_.active) {
        MoveGuideDrag(e->position().toPoint());
        return;
    }
    if (spaceHeld_) return;
    const POINT p = ToPoint(e->position());
    view_->OnMouseMove(Flags(e), p);
    SetCursor(view_->CursorAt(p));
    // Over a guide the move tool offers to move it.
    const CAppSettings& s = view_->Document().Settings();
    if (e->buttons() == Qt::NoButton && view_->ToolNumber() == ToolMove && !s.LockGuides)
        if (const auto guide = GuideAt(e->position().toPoint()))
            viewport()->setCursor(guide->first ? Qt::SplitHCursor : Qt::SplitVCursor);
}

void CanvasView::mouseReleaseEvent(QMouseEvent* e) {
    if (panning_) {
        if (e->button() == Qt::LeftButton) {
            panning_ = false;
            viewport()->setCursor(spaceHeld_ ? Qt::OpenHandCursor
                                             : ShapeOf(view_->CursorAt(ToPoint(e->position()))));
        }
        return;
    }
    if (guideDrag_.active) {
        if (e->button() == Qt::LeftButton) EndGuideDrag(e->position().toPoint());
        return;
    }
    if (e->button() == Qt::LeftButton) view_->OnLButtonUp(Flags(e), ToPoint(e->position()));
    emit ToolActed();
}

void CanvasView::mouseDoubleClickEvent(QMouseEvent* e) {
    if (e->button() == Qt::LeftButton) view_->OnLButtonDblClk(Flags(e), ToPoint(e->position()));
}

bool CanvasView::event(QEvent* e) {
    if (e->type() == QEvent::Leave) {
        mouse_.reset();
        if (rulersShown_ && hRuler_) {
            hRuler_->update();
            vRuler_->update();
        }
    }
    // Escape ends a shape in progress or the animation before it can reach Unselect All's shortcut.
    if (e->type() == QEvent::ShortcutOverride && static_cast<QKeyEvent*>(e)->key() == Qt::Key_Escape &&
        (ShapeGestureActive(*view_) || Playing())) {
        e->accept();
        return true;
    }
    return QAbstractScrollArea::event(e);
}

void CanvasView::keyPressEvent(QKeyEvent* e) {
    const int key = e->key();
    if (key == Qt::Key_Escape && Playing()) {
        StopAnimation();
        return;
    }
    // The hand, as long as no tool is in the middle of a gesture.
    if (key == Qt::Key_Space) {
        if (!e->isAutoRepeat() && !view_->HasCapture() && view_->Drag().flags == 0) {
            spaceHeld_ = true;
            viewport()->setCursor(Qt::OpenHandCursor);
        }
        return;
    }
    if (key == Qt::Key_Escape && CancelShapeGesture(*view_)) return;
    if (settings_ &&
        (key == Qt::Key_Left || key == Qt::Key_Right || key == Qt::Key_Up || key == Qt::Key_Down)) {
        const NudgeKey k = key == Qt::Key_Left    ? NudgeKey::Left
                           : key == Qt::Key_Right ? NudgeKey::Right
                           : key == Qt::Key_Up    ? NudgeKey::Up
                                                  : NudgeKey::Down;
        if (CmdNudge(view_->Document(), *settings_, k)) return;
    }
    QAbstractScrollArea::keyPressEvent(e);
}

void CanvasView::keyReleaseEvent(QKeyEvent* e) {
    if (e->key() == Qt::Key_Space && !e->isAutoRepeat()) {
        EndPan();
        return;
    }
    QAbstractScrollArea::keyReleaseEvent(e);
}

void CanvasView::focusOutEvent(QFocusEvent* e) {
    EndPan();
    QAbstractScrollArea::focusOutEvent(e);
}

void CanvasView::EndPan() {
    if (!spaceHeld_ && !panning_) return;
    spaceHeld_ = panning_ = false;
    viewport()->setCursor(ShapeOf(view_->CursorAt(ToPoint(viewport()->mapFromGlobal(QCursor::pos())))));
}

void CanvasView::wheelEvent(QWheelEvent* e) {
    if (e->modifiers() & Qt::ControlModifier) {
        // The point under the mouse stays under it.
        const POINT at = ToPoint(e->position());
        if (e->angleDelta().y() > 0)
            view_->ZoomInAbout(at);
        else if (e->angleDelta().y() < 0)
            view_->ZoomOutAbout(at);
        emit ZoomChanged();
        return;
    }
    QAbstractScrollArea::wheelEvent(e);
}

} // namespace zepho
