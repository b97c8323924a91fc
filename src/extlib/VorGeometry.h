// Geometry of the vector renderer: path storage, affine matrix, elliptic arc and rounded
// rectangle, all on Anti-Grain Geometry so that paths built by the model feed the rasteriser as
// they are. Coordinates are pixels, x to the right and y downward.
#pragma once

#include "platform/WinTypes.h"

#include <agg_arc.h>
#include <agg_path_storage.h>
#include <agg_rounded_rect.h>
#include <agg_trans_affine.h>

namespace zepho {

// Vertex storage in blocks of 2^BlockShift vertices; each vertex is two coordinates and one
// command byte (move-to 1, line-to 2, end-polygon with close 0x4F, ...).
template <class T, unsigned BlockShift = 8, unsigned BlockPool = 256>
using CVorVertexBlockStorage = agg::vertex_block_storage<T, BlockShift, BlockPool>;

template <class VertexContainer> using CVorPathBase = agg::path_base<VertexContainer>;

// The path type every drawing call takes.
using CVorPath = CVorPathBase<CVorVertexBlockStorage<double, 8, 256>>;

// Paint of a fill or stroke, kept whole by shapes and text and passed by copy.
//
// mode 0 paints one colour: color2 for FillShape (the fill colour), color1 for StrokeShape and
// the text calls. Modes 1..5 blend from color1 to color2 across the bounding box of what is drawn
// (the path before the matrix, so the blend turns with the shape; for text the box of the run
// from its start to its advance, ascent above the baseline to descent below):
//   1 horizontal: color1 at the left edge, color2 at the right edge;
//   2 vertical: color1 at the top, color2 at the bottom;
//   3 diagonal: color1 at the top-left corner, color2 at the bottom-right corner;
//   4 radial: color1 at the centre, color2 on the ellipse inscribed in the box and beyond;
//   5 mirrored horizontal: color1 at the left and right edges, color2 on the vertical centre line.
// Any other mode paints like mode 0. reserved is never read.
struct _TEXTFILLMODE {
    COLORREF color1 = 0;
    COLORREF color2 = 0;
    WORD mode = 0;
    WORD reserved = 0;
};
static_assert(sizeof(_TEXTFILLMODE) == 12);

// Affine matrix (a, b, c, d, e, f): x' = a x + c y + e, y' = b x + d y + f.
class CVorTransMatrix : public agg::trans_affine {
public:
    CVorTransMatrix() = default; // identity
    CVorTransMatrix(double a, double b, double c, double d, double e, double f)
        : agg::trans_affine(a, b, c, d, e, f) {}
    explicit CVorTransMatrix(const agg::trans_affine& m) : agg::trans_affine(m) {}

    static CVorTransMatrix Identity() { return {}; }
    // (cos r, sin r, -sin r, cos r, 0, 0).
    static CVorTransMatrix Rotation(double radians);
    static CVorTransMatrix Scaling(double sx, double sy) { return {sx, 0, 0, sy, 0, 0}; }
    static CVorTransMatrix Translation(double x, double y) { return {1, 0, 0, 1, x, y}; }

    double A() const { return sx; }
    double B() const { return shy; }
    double C() const { return shx; }
    double D() const { return sy; }
    double E() const { return tx; }
    double F() const { return ty; }

    // Appends other: the result applies this matrix first, then other.
    CVorTransMatrix& Multiply(const CVorTransMatrix& other);
    // Inverts in place. A singular or non-finite matrix cannot be inverted: it becomes all
    // zeros (which every drawing call refuses) and the result is 0.
    BOOL Invert();
    // True when finite and invertible; drawing calls draw nothing through any other matrix.
    bool IsUsable() const;

    void Transform(double* x, double* y) const { agg::trans_affine::transform(x, y); }
};

// Elliptic arc as a vertex source: a move-to at the start angle, line-to vertices along the arc,
// then 0 (stop). Angles are radians measured from the x axis toward y.
class CVorArc {
public:
    CVorArc() = default;
    CVorArc(double x, double y, double rx, double ry, double a1, double a2, BOOL ccw = 1) {
        Init(x, y, rx, ry, a1, a2, ccw);
    }

    // ccw non-zero sweeps from a1 toward larger angles up to a2 (adding turns to a2 until it is not
    // below a1), zero the other way. A sweep of more than one turn is drawn as one full turn;
    // non-finite input gives an empty arc.
    void Init(double x, double y, double rx, double ry, double a1, double a2, BOOL ccw = 1);

    void rewind(unsigned pathId);
    unsigned vertex(double* x, double* y);

private:
    agg::arc arc_;
    bool empty_ = true;
};

// Rectangle with round corners of one radius as a vertex source; the radius shrinks to fit the
// rectangle. Ends with an end-polygon command carrying the close flag, then 0.
class CVorRoundRect {
public:
    CVorRoundRect() = default;
    CVorRoundRect(double x1, double y1, double x2, double y2, double r) { Init(x1, y1, x2, y2, r); }

    void Init(double x1, double y1, double x2, double y2, double r);

    void rewind(unsigned pathId);
    unsigned vertex(double* x, double* y);

private:
    agg::rounded_rect rect_;
    bool empty_ = true;
};

} // namespace zepho
