// Pictures on the sheet's buttons, drawn by the same code that draws the objects.
#pragma once

#include "extlib/VorGeometry.h"

#include <QIcon>
#include <QSize>

namespace zepho {

// A rectangle painted in one of the six fill styles with the two colours. Text paints its
// plain style with colour 1, shapes with colour 2.
QIcon FillStyleIcon(int mode, COLORREF color1, COLORREF color2, bool textPaint, QSize size = QSize(36, 24));
// A small square with the shadow of one of the nine types.
QIcon ShadowTypeIcon(int type, QSize size = QSize(36, 36));

} // namespace zepho
