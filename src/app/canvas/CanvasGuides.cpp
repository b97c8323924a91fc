// The document window's rulers, guides, grid and smart guides: what is drawn over the composed
// canvas (never part of the picture) and the dragging of guides.
#include "app/canvas/CanvasView.h"
#include "app/canvas/Rulers.h"
#include "edit/document/OrvaneDoc.h"
#include "model/AppSettings.h"

#include <QPainter>
#include <QScrollBar>

#include <algorithm>
#include <cmath>

namespace zepho {

namespace {
const QColor kGuideColour(0, 162, 232);
const QColor kSmartColour(236, 0, 140);
// Screen pixels within which a guide is grabbed.
constexpr double kGuideGrab = 3;

QColor FromColorRef(COLORREF c) {
    return QColor(GetRValue(c), GetGValue(c), GetBValue(c));
}
} // namespace

double CanvasView::Scale() const {
    const int z = view_->Zoom();
    return z >= 1 ? z : 1.0 / -z;
}

double CanvasView::CanvasToClientX(double x) const {
    return view_->CanvasRect().left - horizontalScrollBar()->value() + x * Scale();
}
double CanvasView::CanvasToClientY(double y) const {
    return view_->CanvasRect().top - verticalScrollBar()->value() + y * Scale();
}
double CanvasView::ClientToCanvasX(double x) const {
    return (x + horizontalScrollBar()->value() - view_->CanvasRect().left) / Scale();
}
double CanvasView::ClientToCanvasY(double y) const {
    return (y + verticalScrollBar()->value() - view_->CanvasRect().top) / Scale();
}

void CanvasView::SetRulersShown(bool shown) {
    if (shown == rulersShown_) return;
    rulersShown_ = shown;
    if (shown && !hRuler_) {
        hRuler_ = new Ruler(*this, Qt::Horizontal);
        vRuler_ = new Ruler(*this, Qt::Vertical);
        rulerCorner_ = new QWidget(this);
        rulerCorner_->setAutoFillBackground(true);
    }
    const int t = shown ? Ruler::kThickness : 0;
    setViewportMargins(t, t, 0, 0);
    for (QWidget* w : {static_cast<QWidget*>(hRuler_), static_cast<QWidget*>(vRuler_), rulerCorner_})
        if (w) w->setVisible(shown);
    PlaceRulers();
}

void CanvasView::PlaceRulers() {
    if (!rulersShown_ || !hRuler_) return;
    const QRect vp = viewport()->geometry();
    const int t = Ruler::kThickness;
    hRuler_->setGeometry(vp.left(), vp.top() - t, vp.width(), t);
    vRuler_->setGeometry(vp.left() - t, vp.top(), t, vp.height());
    rulerCorner_->setGeometry(vp.left() - t, vp.top() - t, t, t);
    hRuler_->update();
    vRuler_->update();
}

void CanvasView::TrackMouse(const QPointF& pos) {
    mouse_ = pos;
    if (hRuler_ && rulersShown_) {
        hRuler_->update();
        vRuler_->update();
    }
}

std::optional<std::pair<bool, int>> CanvasView::GuideAt(const QPoint& p) const {
    const CAppSettings& s = view_->Document().Settings();
    const CGuides& g = view_->Document().guides;
    if (!s.ShowGuides) return std::nullopt;
    const double tol = kGuideGrab / Scale();
    const int v = g.Hit(true, ClientToCanvasX(p.x()), tol);
    const int h = g.Hit(false, ClientToCanvasY(p.y()), tol);
    if (v >= 0) return std::make_pair(true, v);
    if (h >= 0) return std::make_pair(false, h);
    return std::nullopt;
}

bool CanvasView::BeginGuideDrag(bool vertical, int index) {
    const CAppSettings& s = view_->Document().Settings();
    if (!s.ShowGuides || s.LockGuides || guideDrag_.active) return false;
    guideDrag_ = {true, vertical, index, 0, index >= 0};
    if (index >= 0) guideDrag_.pos = view_->Document().guides.Of(vertical)[static_cast<std::size_t>(index)];
    viewport()->setCursor(vertical ? Qt::SplitHCursor : Qt::SplitVCursor);
    return true;
}

void CanvasView::MoveGuideDrag(const QPoint& p) {
    if (!guideDrag_.active) return;
    const double c = guideDrag_.vertical ? ClientToCanvasX(p.x()) : ClientToCanvasY(p.y());
    guideDrag_.pos = std::floor(c + 0.5);
    // Over its ruler (or beyond the viewport on that side) the guide is on its way out.
    guideDrag_.shown = guideDrag_.vertical ? p.x() >= 0 : p.y() >= 0;
    TrackMouse(p);
    viewport()->update();
    SetStatusText(COrvaneView::PositionText(
        POINT{static_cast<LONG>(ClientToCanvasX(p.x())), static_cast<LONG>(ClientToCanvasY(p.y()))}));
}

void CanvasView::EndGuideDrag(const QPoint& p) {
    if (!guideDrag_.active) return;
    MoveGuideDrag(p);
    CGuides& g = view_->Document().guides;
    std::vector<int>& list = g.Of(guideDrag_.vertical);
    const int pos = static_cast<int>(std::clamp(guideDrag_.pos, -1e6, 1e6));
    if (guideDrag_.index >= 0 && static_cast<std::size_t>(guideDrag_.index) < list.size()) {
        if (guideDrag_.shown)
            list[static_cast<std::size_t>(guideDrag_.index)] = pos;
        else
            list.erase(list.begin() + guideDrag_.index);
    } else if (guideDrag_.shown) {
        list.push_back(pos);
    }
    guideDrag_ = {};
    viewport()->unsetCursor();
    SetCursor(view_->CursorAt(POINT{p.x(), p.y()}));
    viewport()->update();
    emit GuidesChanged();
}

void CanvasView::PaintOverlay(QPainter& p, const QRect& area) {
    const COrvaneDoc& doc = view_->Document();
    const CAppSettings& s = doc.Settings();
    const double scale = Scale();
    const RECT cr = view_->LogicalToClient(view_->CanvasRect());
    const QRectF canvas(cr.left, cr.top, cr.right - cr.left, cr.bottom - cr.top);
    p.save();
    p.setClipRect(area);
    p.setRenderHint(QPainter::Antialiasing, false);
    // One device pixel, whatever the screen's density.
    const auto pen = [](const QColor& c) {
        QPen pen(c);
        pen.setCosmetic(true);
        pen.setWidth(0);
        return pen;
    };
    // The grid: only where its lines stay apart enough to be read.
    const int spacing = std::max(s.GridSpacing, 1);
    if (doc.guides.gridShown && spacing * scale >= kMinGridScreenGap) {
        p.setPen(pen(FromColorRef(s.GridColor)));
        const QRectF visible = canvas.intersected(QRectF(area));
        const double firstX = std::ceil(ClientToCanvasX(visible.left()) / spacing) * spacing;
        for (double x = firstX; CanvasToClientX(x) <= visible.right(); x += spacing)
            p.drawLine(QPointF(CanvasToClientX(x), visible.top()),
                       QPointF(CanvasToClientX(x), visible.bottom()));
        const double firstY = std::ceil(ClientToCanvasY(visible.top()) / spacing) * spacing;
        for (double y = firstY; CanvasToClientY(y) <= visible.bottom(); y += spacing)
            p.drawLine(QPointF(visible.left(), CanvasToClientY(y)),
                       QPointF(visible.right(), CanvasToClientY(y)));
    }
    // Guides across the whole window.
    const QRectF whole(viewport()->rect());
    if (s.ShowGuides) {
        p.setPen(pen(kGuideColour));
        for (std::size_t i = 0; i < doc.guides.vertical.size(); ++i) {
            if (guideDrag_.active && guideDrag_.vertical && guideDrag_.index == static_cast<int>(i)) continue;
            const double x = CanvasToClientX(doc.guides.vertical[i]);
            p.drawLine(QPointF(x, whole.top()), QPointF(x, whole.bottom()));
        }
        for (std::size_t i = 0; i < doc.guides.horizontal.size(); ++i) {
            if (guideDrag_.active && !guideDrag_.vertical && guideDrag_.index == static_cast<int>(i))
                continue;
            const double y = CanvasToClientY(doc.guides.horizontal[i]);
            p.drawLine(QPointF(whole.left(), y), QPointF(whole.right(), y));
        }
    }
    if (guideDrag_.active && guideDrag_.shown) {
        QPen dragged = pen(kGuideColour);
        dragged.setStyle(Qt::DashLine);
        p.setPen(dragged);
        if (guideDrag_.vertical) {
            const double x = CanvasToClientX(guideDrag_.pos);
            p.drawLine(QPointF(x, whole.top()), QPointF(x, whole.bottom()));
        } else {
            const double y = CanvasToClientY(guideDrag_.pos);
            p.drawLine(QPointF(whole.left(), y), QPointF(whole.right(), y));
        }
    }
    // Smart guides: lines through what lines up, and the equal gaps with their lengths.
    const SnapFeedback& smart = view_->SmartGuides();
    if (!smart.Empty()) {
        p.setPen(pen(kSmartColour));
        for (const SnapLine& l : smart.lines) {
            if (l.vertical)
                p.drawLine(QPointF(CanvasToClientX(l.pos), CanvasToClientY(l.from)),
                           QPointF(CanvasToClientX(l.pos), CanvasToClientY(l.to)));
            else
                p.drawLine(QPointF(CanvasToClientX(l.from), CanvasToClientY(l.pos)),
                           QPointF(CanvasToClientX(l.to), CanvasToClientY(l.pos)));
        }
        QFont f = font();
        f.setPointSizeF(std::max(7.0, f.pointSizeF() * 0.85));
        p.setFont(f);
        const QFontMetrics fm(f);
        for (const SnapGap& g : smart.gaps) {
            QPointF a, b;
            if (g.horizontal) {
                a = {CanvasToClientX(g.from), CanvasToClientY(g.across)};
                b = {CanvasToClientX(g.to), CanvasToClientY(g.across)};
            } else {
                a = {CanvasToClientX(g.across), CanvasToClientY(g.from)};
                b = {CanvasToClientX(g.across), CanvasToClientY(g.to)};
            }
            p.setPen(pen(kSmartColour));
            p.drawLine(a, b);
            const QPointF bar = g.horizontal ? QPointF(0, 4) : QPointF(4, 0);
            p.drawLine(a - bar, a + bar);
            p.drawLine(b - bar, b + bar);
            const QString label = QString::number(g.Length());
            const QSizeF size(fm.horizontalAdvance(label) + 8, fm.height() + 2);
            const QRectF box(QPointF((a.x() + b.x() - size.width()) / 2, (a.y() + b.y() - size.height()) / 2),
                             size);
            p.setRenderHint(QPainter::Antialiasing, true);
            p.setPen(Qt::NoPen);
            p.setBrush(kSmartColour);
            p.drawRoundedRect(box, 3, 3);
            p.setPen(Qt::white);
            p.drawText(box, Qt::AlignCenter, label);
            p.setBrush(Qt::NoBrush);
            p.setRenderHint(QPainter::Antialiasing, false);
        }
    }
    p.restore();
}

} // namespace zepho
