#include "model/ShapeFactory.h"

#include "model/BitmapObj.h"
#include "model/EllipseObj.h"
#include "model/PolygonObj.h"
#include "model/RectObj.h"
#include "model/TextObj.h"

namespace zepho {

Ref<CObjShape> CreateShapeOfKind(int kind) {
    switch (kind) {
    case KindEllipse:
        return MakeRef<CEllipseObj>();
    case KindRectangle:
        return MakeRef<CRectObj>();
    case KindPolygon:
        return MakeRef<CPolygonObj>();
    case KindText:
        return MakeRef<CTextObj>();
    case KindTransformedImage:
        return MakeRef<CBitmapObj>();
    default:
        return {};
    }
}

} // namespace zepho
