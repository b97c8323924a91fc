#include "app/mainwindow/Icons.h"

#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

namespace zepho {

namespace {

constexpr int kSize = 24;

// Drawn once per device pixel ratio, so that the icon stays sharp on high-density screens.
template <class Draw> QIcon Drawn(Draw draw) {
    QIcon icon;
    for (int ratio = 1; ratio <= 3; ++ratio) {
        QPixmap pm(kSize * ratio, kSize * ratio);
        pm.setDevicePixelRatio(ratio);
        pm.fill(Qt::transparent);
        QPainter p(&pm);
        p.setRenderHint(QPainter::Antialiasing);
        p.setPen(QPen(QColor(40, 40, 40), 1.6, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        draw(p);
        p.end();
        icon.addPixmap(pm);
    }
    return icon;
}

QPen Dashed() {
    QPen pen(QColor(40, 40, 40), 1.4, Qt::DashLine);
    pen.setDashPattern({2.0, 2.0});
    return pen;
}

void Magnifier(QPainter& p, bool plus) {
    p.drawEllipse(QRectF(3, 3, 12, 12));
    p.setPen(QPen(QColor(40, 40, 40), 3, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(14, 14), QPointF(20.5, 20.5));
    p.setPen(QPen(QColor(40, 40, 40), 1.6));
    p.drawLine(QPointF(6, 9), QPointF(12, 9));
    if (plus) p.drawLine(QPointF(9, 6), QPointF(9, 12));
}

void Page(QPainter& p) {
    QPainterPath page;
    page.moveTo(5, 2);
    page.lineTo(15, 2);
    page.lineTo(19, 6);
    page.lineTo(19, 22);
    page.lineTo(5, 22);
    page.closeSubpath();
    p.fillPath(page, Qt::white);
    p.drawPath(page);
}

void Arrow(QPainter& p, bool redo) {
    QPainterPath path;
    if (redo) {
        path.moveTo(6, 17);
        path.cubicTo(6, 8, 14, 7, 18, 11);
    } else {
        path.moveTo(18, 17);
        path.cubicTo(18, 8, 10, 7, 6, 11);
    }
    p.drawPath(path);
    const QPointF tip = redo ? QPointF(19, 12) : QPointF(5, 12);
    p.drawLine(tip, tip + QPointF(redo ? -5 : 5, 0));
    p.drawLine(tip, tip + QPointF(0, -5));
}

} // namespace

QIcon ToolIcon(ToolIconId id) {
    switch (id) {
    case ToolIconId::Default:
        return Drawn([](QPainter& p) {
            QPolygonF arrow({{6, 3}, {6, 19}, {10, 15}, {13, 21}, {15.5, 20}, {12.5, 14}, {18, 14}});
            p.setBrush(Qt::white);
            p.drawPolygon(arrow);
        });
    case ToolIconId::RectSelect:
        return Drawn([](QPainter& p) {
            p.setPen(Dashed());
            p.drawRect(QRectF(3.5, 5.5, 17, 13));
        });
    case ToolIconId::EllipseSelect:
        return Drawn([](QPainter& p) {
            p.setPen(Dashed());
            p.drawEllipse(QRectF(3.5, 5.5, 17, 13));
        });
    case ToolIconId::Lasso:
        return Drawn([](QPainter& p) {
            p.setPen(Dashed());
            QPainterPath path;
            path.moveTo(6, 16);
            path.cubicTo(0, 8, 10, 2, 17, 5);
            path.cubicTo(24, 9, 18, 17, 10, 16);
            p.drawPath(path);
            p.setPen(QPen(QColor(40, 40, 40), 1.6));
            p.drawLine(QPointF(7, 16), QPointF(5, 21));
        });
    case ToolIconId::MagicWand:
        return Drawn([](QPainter& p) {
            p.setPen(QPen(QColor(40, 40, 40), 2.5, Qt::SolidLine, Qt::RoundCap));
            p.drawLine(QPointF(4, 20), QPointF(14, 10));
            p.setPen(QPen(QColor(220, 160, 0), 1.6));
            for (int a = 0; a < 4; ++a) {
                const QPointF c(17, 7);
                const QPointF d = a == 0   ? QPointF(4, 0)
                                  : a == 1 ? QPointF(0, 4)
                                  : a == 2 ? QPointF(3, 3)
                                           : QPointF(3, -3);
                p.drawLine(c - d, c + d);
            }
        });
    case ToolIconId::Transform:
        return Drawn([](QPainter& p) {
            p.drawRect(QRectF(5, 7, 12, 12));
            p.setBrush(Qt::white);
            for (QPointF h : {QPointF(5, 7), QPointF(17, 7), QPointF(5, 19), QPointF(17, 19)})
                p.drawRect(QRectF(h.x() - 2, h.y() - 2, 4, 4));
            p.setBrush(Qt::NoBrush);
            p.drawArc(QRectF(13, 1, 9, 9), 0, 180 * 16);
        });
    case ToolIconId::Text:
        return Drawn([](QPainter& p) {
            QFont f("serif");
            f.setPixelSize(20);
            f.setBold(true);
            p.setFont(f);
            p.drawText(QRectF(0, 0, kSize, kSize), Qt::AlignCenter, "A");
        });
    case ToolIconId::Pencil:
        return Drawn([](QPainter& p) {
            QPolygonF body({{15, 3}, {21, 9}, {9, 21}, {3, 21}, {3, 15}});
            p.setBrush(QColor(250, 210, 90));
            p.drawPolygon(body);
            p.drawLine(QPointF(3, 15), QPointF(9, 21));
        });
    case ToolIconId::Erase:
        return Drawn([](QPainter& p) {
            QPolygonF body({{13, 3}, {21, 11}, {12, 20}, {4, 12}});
            p.setBrush(QColor(240, 150, 170));
            p.drawPolygon(body);
            p.drawLine(QPointF(8, 16), QPointF(16, 8));
            p.drawLine(QPointF(12, 20), QPointF(21, 20));
        });
    case ToolIconId::Fill:
        return Drawn([](QPainter& p) {
            QPolygonF bucket({{4, 10}, {12, 2}, {20, 10}, {12, 18}});
            p.setBrush(Qt::white);
            p.drawPolygon(bucket);
            p.setBrush(QColor(40, 110, 220));
            p.drawEllipse(QRectF(17, 15, 5, 6));
        });
    case ToolIconId::Picker:
        return Drawn([](QPainter& p) {
            p.setPen(QPen(QColor(40, 40, 40), 2.5, Qt::SolidLine, Qt::RoundCap));
            p.drawLine(QPointF(4, 20), QPointF(14, 10));
            p.setBrush(QColor(40, 40, 40));
            p.drawEllipse(QRectF(13, 4, 7, 7));
        });
    case ToolIconId::Rectangle:
        return Drawn([](QPainter& p) {
            p.setBrush(QColor(120, 170, 240));
            p.drawRect(QRectF(3.5, 5.5, 17, 13));
        });
    case ToolIconId::Ellipse:
        return Drawn([](QPainter& p) {
            p.setBrush(QColor(120, 170, 240));
            p.drawEllipse(QRectF(3.5, 5.5, 17, 13));
        });
    case ToolIconId::Polygon:
        return Drawn([](QPainter& p) {
            p.setBrush(QColor(120, 170, 240));
            p.drawPolygon(QPolygonF({{12, 3}, {21, 10}, {17, 20}, {7, 20}, {3, 10}}));
        });
    case ToolIconId::ZoomIn:
        return Drawn([](QPainter& p) { Magnifier(p, true); });
    case ToolIconId::ZoomOut:
        return Drawn([](QPainter& p) { Magnifier(p, false); });
    case ToolIconId::ActualSize:
        return Drawn([](QPainter& p) {
            QFont f("sans");
            f.setPixelSize(11);
            f.setBold(true);
            p.setFont(f);
            p.drawText(QRectF(0, 0, kSize, kSize), Qt::AlignCenter, "1:1");
        });
    default:
        return {};
    }
}

QIcon CommandIcon(CommandIconId id) {
    static const char* const kTheme[] = {"document-new",  "document-open",  "video-x-generic", "list-add",
                                         "document-save", "document-print", "edit-undo",       "edit-redo",
                                         "edit-cut",      "edit-copy",      "edit-paste",      "edit-delete",
                                         nullptr,         nullptr,          nullptr,           nullptr,
                                         nullptr,         nullptr,          "help-contextual"};
    const int i = static_cast<int>(id);
    if (i >= 0 && i < static_cast<int>(CommandIconId::Count) && kTheme[i] && QIcon::hasThemeIcon(kTheme[i]))
        return QIcon::fromTheme(kTheme[i]);
    switch (id) {
    case CommandIconId::New:
        return Drawn([](QPainter& p) { Page(p); });
    case CommandIconId::Open:
        return Drawn([](QPainter& p) {
            p.setBrush(QColor(240, 200, 90));
            p.drawPolygon(QPolygonF({{2, 7}, {9, 7}, {11, 9}, {21, 9}, {21, 20}, {2, 20}}));
        });
    case CommandIconId::OpenAvi:
        return Drawn([](QPainter& p) {
            p.setBrush(QColor(60, 60, 60));
            p.drawRect(QRectF(3, 5, 18, 14));
            p.setBrush(Qt::white);
            p.drawPolygon(QPolygonF({{10, 9}, {15, 12}, {10, 15}}));
        });
    case CommandIconId::AddImages:
        return Drawn([](QPainter& p) {
            p.setBrush(QColor(170, 210, 250));
            p.drawRect(QRectF(3, 6, 14, 12));
            p.setPen(QPen(QColor(0, 140, 0), 2.4));
            p.drawLine(QPointF(18, 14), QPointF(18, 22));
            p.drawLine(QPointF(14, 18), QPointF(22, 18));
        });
    case CommandIconId::Save:
        return Drawn([](QPainter& p) {
            p.setBrush(QColor(60, 90, 170));
            p.drawRect(QRectF(3, 3, 18, 18));
            p.setBrush(Qt::white);
            p.drawRect(QRectF(7, 3, 10, 6));
            p.drawRect(QRectF(6, 13, 12, 8));
        });
    case CommandIconId::Print:
        return Drawn([](QPainter& p) {
            p.setBrush(Qt::white);
            p.drawRect(QRectF(7, 3, 10, 6));
            p.setBrush(QColor(150, 150, 150));
            p.drawRect(QRectF(3, 9, 18, 8));
            p.setBrush(Qt::white);
            p.drawRect(QRectF(7, 14, 10, 7));
        });
    case CommandIconId::Undo:
        return Drawn([](QPainter& p) { Arrow(p, false); });
    case CommandIconId::Redo:
        return Drawn([](QPainter& p) { Arrow(p, true); });
    case CommandIconId::Cut:
        return Drawn([](QPainter& p) {
            p.drawEllipse(QRectF(3, 15, 6, 6));
            p.drawEllipse(QRectF(15, 15, 6, 6));
            p.drawLine(QPointF(8, 16), QPointF(17, 3));
            p.drawLine(QPointF(16, 16), QPointF(7, 3));
        });
    case CommandIconId::Copy:
        return Drawn([](QPainter& p) {
            p.setBrush(Qt::white);
            p.drawRect(QRectF(3, 3, 11, 13));
            p.drawRect(QRectF(9, 8, 11, 13));
        });
    case CommandIconId::Paste:
        return Drawn([](QPainter& p) {
            p.setBrush(QColor(200, 160, 100));
            p.drawRect(QRectF(4, 4, 14, 17));
            p.setBrush(Qt::white);
            p.drawRect(QRectF(10, 9, 10, 12));
        });
    case CommandIconId::Delete:
        return Drawn([](QPainter& p) {
            p.setPen(QPen(QColor(200, 30, 30), 3, Qt::SolidLine, Qt::RoundCap));
            p.drawLine(QPointF(6, 6), QPointF(18, 18));
            p.drawLine(QPointF(18, 6), QPointF(6, 18));
        });
    case CommandIconId::ResizeImage:
        return Drawn([](QPainter& p) {
            p.drawRect(QRectF(3, 9, 10, 10));
            p.drawLine(QPointF(12, 10), QPointF(20, 3));
            p.drawLine(QPointF(20, 3), QPointF(15, 3));
            p.drawLine(QPointF(20, 3), QPointF(20, 8));
        });
    case CommandIconId::AdjustRgb:
        return Drawn([](QPainter& p) {
            p.setPen(Qt::NoPen);
            p.setOpacity(0.8);
            p.setBrush(Qt::red);
            p.drawEllipse(QRectF(2, 3, 12, 12));
            p.setBrush(Qt::green);
            p.drawEllipse(QRectF(10, 3, 12, 12));
            p.setBrush(Qt::blue);
            p.drawEllipse(QRectF(6, 10, 12, 12));
        });
    case CommandIconId::AdjustHsl:
        return Drawn([](QPainter& p) {
            QConicalGradient g(12, 12, 0);
            for (int i = 0; i <= 6; ++i)
                g.setColorAt(i / 6.0, QColor::fromHsv((i * 60) % 360, 255, 255));
            p.setBrush(g);
            p.drawEllipse(QRectF(2, 2, 20, 20));
        });
    case CommandIconId::GaussianBlur:
        return Drawn([](QPainter& p) {
            QRadialGradient g(12, 12, 10);
            g.setColorAt(0, QColor(40, 40, 40));
            g.setColorAt(1, Qt::transparent);
            p.setPen(Qt::NoPen);
            p.setBrush(g);
            p.drawEllipse(QRectF(2, 2, 20, 20));
        });
    case CommandIconId::Sharpness:
        return Drawn([](QPainter& p) {
            p.setBrush(QColor(40, 40, 40));
            p.drawPolygon(QPolygonF({{12, 2}, {21, 21}, {3, 21}}));
        });
    case CommandIconId::Emboss:
        return Drawn([](QPainter& p) {
            p.setPen(QPen(Qt::white, 2));
            p.drawLine(QPointF(4, 20), QPointF(4, 4));
            p.drawLine(QPointF(4, 4), QPointF(20, 4));
            p.setPen(QPen(QColor(60, 60, 60), 2));
            p.drawLine(QPointF(20, 4), QPointF(20, 20));
            p.drawLine(QPointF(20, 20), QPointF(4, 20));
            p.fillRect(QRectF(6, 6, 12, 12), QColor(160, 160, 160));
        });
    case CommandIconId::SwapColours:
        return Drawn([](QPainter& p) {
            // Two overlapping squares and a bent arrow between their corners.
            p.setBrush(Qt::white);
            p.drawRect(QRectF(10, 10, 11, 11));
            p.setBrush(Qt::black);
            p.drawRect(QRectF(3, 3, 11, 11));
            p.setPen(QPen(QColor(30, 30, 30), 1.5));
            p.setBrush(Qt::NoBrush);
            p.drawArc(QRectF(14, 2, 12, 12), 90 * 16, 90 * 16);
            p.drawLine(QPointF(20, 8), QPointF(20, 5));
        });
    case CommandIconId::DefaultColours:
        return Drawn([](QPainter& p) {
            p.setBrush(Qt::white);
            p.drawRect(QRectF(9, 9, 9, 9));
            p.setBrush(Qt::black);
            p.drawRect(QRectF(4, 4, 9, 9));
        });
    case CommandIconId::ContextHelp:
        return Drawn([](QPainter& p) {
            QFont f("sans");
            f.setPixelSize(18);
            f.setBold(true);
            p.setFont(f);
            p.drawText(QRectF(0, 0, kSize, kSize), Qt::AlignCenter, "?");
        });
    default:
        return {};
    }
}

} // namespace zepho
