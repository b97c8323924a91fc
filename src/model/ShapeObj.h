// What the vector shapes (ellipse, rectangle, polygon, text) have in common: the fill switch,
// the outline width and the one paint used for both fill and outline, and the 28 bytes that
// open each of their stored records.
#pragma once

#include "extlib/VorGeometry.h"
#include "model/ObjShape.h"
#include "raster/Dib.h"

#include <cstdint>
#include <functional>

namespace zepho {

class CShapeObj : public CObjShape {
public:
    // Fill the inside.
    std::uint8_t fill = 1;
    // Outline width in pixels, 0..100; 0 draws no outline.
    std::int32_t strokeWidth = 0;
    // color1 strokes, color2 fills; mode picks the paint style; reserved is kept through files.
    _TEXTFILLMODE paint;

protected:
    // angle, fill, strokeWidth and paint, as the record's first 28 bytes.
    void WriteVectorPart(ByteWriter& out) const;
    bool ReadVectorPart(ByteReader& in);

    // Builds the outline in target pixels for a target of the given size.
    using OutlineBuilder = std::function<void(CVorPath& path, int targetW, int targetH)>;
    // Renders a w x h shape turned by the angle: fill, then outline, then trimmed to what was
    // painted. margins receives the trimmed margins when the result is not empty.
    PackedDib RenderOutline(double w, double h, const OutlineBuilder& build, Margins* margins) const;
};

inline bool EndsOnVertex(const CVorPath& path) {
    double x = 0, y = 0;
    return agg::is_vertex(path.last_vertex(&x, &y));
}

// Appends a vertex source: its first vertex starts the figure, later ones continue it; the figure
// is closed when it ends on a vertex.
template <class Source> void AppendClosedFigure(CVorPath& path, Source& source) {
    source.rewind(0);
    double x = 0, y = 0;
    bool first = true;
    for (unsigned cmd = source.vertex(&x, &y); !agg::is_stop(cmd); cmd = source.vertex(&x, &y)) {
        if (!agg::is_vertex(cmd)) continue;
        if (first)
            path.move_to(x, y);
        else
            path.line_to(x, y);
        first = false;
    }
    if (EndsOnVertex(path)) path.close_polygon();
}

} // namespace zepho
