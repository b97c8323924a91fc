#pragma once

#include <cstdint>

namespace zepho {

// What an object is; stored in contents and in files.
enum ObjectKind : std::int32_t {
    KindImage = 0,
    KindEllipse = 1,
    KindRectangle = 2,
    KindPolygon = 3,
    KindTransformedImage = 4,
    KindText = 5,
};

// Shape objects keep vector geometry that a pixel operation would lose.
inline bool IsVectorKind(std::int32_t kind) {
    return kind == KindEllipse || kind == KindRectangle || kind == KindPolygon || kind == KindText;
}

} // namespace zepho
