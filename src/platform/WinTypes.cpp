#include "platform/WinTypes.h"

#include <algorithm>

namespace zepho {

RECT IntersectRects(const RECT& a, const RECT& b) {
    RECT r{std::max(a.left, b.left), std::max(a.top, b.top), std::min(a.right, b.right),
           std::min(a.bottom, b.bottom)};
    if (r.IsEmpty()) return RECT{};
    return r;
}

RECT UnionRects(const RECT& a, const RECT& b) {
    if (a.IsEmpty()) return b.IsEmpty() ? RECT{} : b;
    if (b.IsEmpty()) return a;
    return RECT{std::min(a.left, b.left), std::min(a.top, b.top), std::max(a.right, b.right),
                std::max(a.bottom, b.bottom)};
}

} // namespace zepho
