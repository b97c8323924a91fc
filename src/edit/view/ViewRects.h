// Rectangle arithmetic the view's mapping and painting share.
#pragma once

#include "platform/WinTypes.h"

namespace zepho {

// The rectangle grown by d on every side (shrunk when d is negative).
inline RECT InflateRectBy(const RECT& r, LONG d) {
    return {r.left - d, r.top - d, r.right + d, r.bottom + d};
}

inline RECT OffsetRectBy(const RECT& r, LONG dx, LONG dy) {
    return {r.left + dx, r.top + dy, r.right + dx, r.bottom + dy};
}

} // namespace zepho
