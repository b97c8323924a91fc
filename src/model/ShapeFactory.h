#pragma once

#include "model/ObjShape.h"

namespace zepho {

// A new shape of a stored kind with its defaults, ready for Read; none for kinds without shape.
Ref<CObjShape> CreateShapeOfKind(int kind);

} // namespace zepho
