// A push button showing a colour; a click offers a few common colours and "More..." for the
// full colour dialog.
#pragma once

#include "platform/WinTypes.h"

#include <QToolButton>

namespace zepho {

class ColorButton : public QToolButton {
    Q_OBJECT
public:
    explicit ColorButton(COLORREF colour, QWidget* parent = nullptr);
    COLORREF Colour() const { return colour_; }
    void SetColour(COLORREF colour);

signals:
    void ColourChanged(COLORREF colour);

private:
    void ChooseMore();
    COLORREF colour_;
};

QColor ToQColor(COLORREF c);
COLORREF FromQColor(const QColor& c);

} // namespace zepho
