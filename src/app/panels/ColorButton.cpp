#include "app/panels/ColorButton.h"

#include "app/mainwindow/AppStrings.h"

#include <QColorDialog>
#include <QMenu>
#include <QPainter>
#include <QPixmap>

namespace zepho {

QColor ToQColor(COLORREF c) {
    return QColor(GetRValue(c), GetGValue(c), GetBValue(c));
}
COLORREF FromQColor(const QColor& c) {
    return RGB(c.red(), c.green(), c.blue());
}

ColorButton::ColorButton(COLORREF colour, QWidget* parent) : QToolButton(parent), colour_(colour) {
    setPopupMode(QToolButton::InstantPopup);
    auto* menu = new QMenu(this);
    static const COLORREF kCommon[] = {
        RGB(0, 0, 0),   RGB(255, 255, 255), RGB(128, 128, 128), RGB(255, 0, 0),   RGB(0, 128, 0),
        RGB(0, 0, 255), RGB(255, 255, 0),   RGB(0, 255, 255),   RGB(255, 0, 255), RGB(128, 0, 0)};
    for (COLORREF c : kCommon) {
        QPixmap swatch(16, 16);
        swatch.fill(ToQColor(c));
        menu->addAction(QIcon(swatch), ToQColor(c).name(), this, [this, c] { SetColour(c); });
    }
    menu->addSeparator();
    menu->addAction(kMoreColors, this, &ColorButton::ChooseMore);
    setMenu(menu);
    SetColour(colour);
}

void ColorButton::SetColour(COLORREF colour) {
    colour_ = colour;
    QPixmap swatch(40, 16);
    swatch.fill(ToQColor(colour));
    QPainter(&swatch).drawRect(0, 0, 39, 15);
    setIcon(QIcon(swatch));
    setIconSize(swatch.size());
    emit ColourChanged(colour);
}

void ColorButton::ChooseMore() {
    const QColor c = QColorDialog::getColor(ToQColor(colour_), this);
    if (c.isValid()) SetColour(FromQColor(c));
}

} // namespace zepho
