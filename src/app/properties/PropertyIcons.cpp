#include "app/properties/PropertyIcons.h"

#include "app/canvas/QtDib.h"
#include "extlib/VorRender.h"
#include "model/ObjContent.h"
#include "raster/Dib.h"

#include <QPainter>
#include <QPixmap>

namespace zepho {

QIcon FillStyleIcon(int mode, COLORREF color1, COLORREF color2, bool textPaint, QSize size) {
    PackedDib dib = CreateSolidDIB(size.width(), size.height(), RGB(255, 255, 255), 0);
    if (!dib) return {};
    CVorPath path;
    path.move_to(2, 2);
    path.line_to(size.width() - 2, 2);
    path.line_to(size.width() - 2, size.height() - 2);
    path.line_to(2, size.height() - 2);
    path.close_polygon();
    _TEXTFILLMODE paint;
    paint.color1 = color1;
    paint.color2 = textPaint && mode == 0 ? color1 : color2;
    paint.mode = static_cast<WORD>(mode);
    FillShape(dib, path, CVorTransMatrix::Identity(), paint, 1);
    _TEXTFILLMODE frame;
    frame.color1 = RGB(90, 90, 90);
    StrokeShape(dib, path, CVorTransMatrix::Identity(), 1, frame, 0);
    return QIcon(QPixmap::fromImage(ToQImage(dib)));
}

QIcon ShadowTypeIcon(int type, QSize size) {
    const int side = size.width() / 2;
    CObjContent c;
    c.SetRaster(CreateSolidDIB(side, side, RGB(70, 110, 200), 255));
    c.shadowType = type;
    c.shadowOffsetX = c.shadowOffsetY = side / 4;
    c.shadowSmooth = 2;
    c.shadowColour = RGB(60, 60, 60);
    c.shadowSkew = 45;
    c.shadowPerspective = 60;
    c.UpdateShadow();
    QPixmap pm(size);
    pm.fill(Qt::white);
    QPainter p(&pm);
    // The pair is centred on the square alone; the shadow may reach past the picture.
    const int x = (size.width() - side) / 2, y = (size.height() - side) / 2 - (type >= 6 ? side / 3 : 0);
    if (c.HasShadow()) p.drawImage(x + c.shadowPosX, y + c.shadowPosY, ToQImage(c.shadowRaster));
    p.drawImage(x, y, ToQImage(c.raster));
    p.end();
    return QIcon(pm);
}

} // namespace zepho
