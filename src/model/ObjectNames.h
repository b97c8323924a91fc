// Default object names: "Obj - %d" for image objects, "Rectangle - %d", "Ellipse - %d",
// "Polygon - %d" and "Text - %d", each kind numbered by its own counter.
#pragma once

#include <functional>
#include <string>

namespace zepho {

// Names a new content by its kind.
using NameForKind = std::function<std::string(int kind)>;

// The counters, in this order.
enum NameCounter {
    CounterImage,
    CounterRectangle,
    CounterEllipse,
    CounterPolygon,
    CounterText,
    CounterCount
};

// The default name for a kind, consuming one number of its counter; empty for an unknown kind.
std::string NextDefaultName(int kind, int (&counters)[CounterCount]);

} // namespace zepho
