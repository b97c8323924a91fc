#include "model/ShapeFactory.h"

#include "model/BitmapObj.h"

namespace zepho {

Ref<CObjShape> CreateShapeOfKind(int kind) {
    switch (kind) {
    case KindTransformedImage:
        return MakeRef<CBitmapObj>();
    default:
        return {};
    }
}

} // namespace zepho
