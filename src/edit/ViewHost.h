// What a view model asks of the widget that shows it.
#pragma once

#include "platform/WinTypes.h"

namespace zepho {

class IViewHost {
public:
    virtual ~IViewHost() = default;
    // A rectangle in client coordinates needs repainting (no erase).
    virtual void InvalidateRect(const RECT& client) = 0;
    virtual void InvalidateAll() = 0;
    virtual SIZE ClientSize() const = 0;
    virtual POINT ScrollPosition() const = 0;
    // The scrollable extent and which scroll bars it needs.
    virtual void SetScrollSizes(SIZE total, bool horzBar, bool vertBar) = 0;
};

} // namespace zepho
