// Anti-aliased shapes, image warps and the shadow blur, drawn into caller-owned 32-bit DIBs with
// straight alpha. Every call leaves pixels it does not reach as they were, allocates nothing the
// caller must free, returns non-zero on success and 0 when the target or an argument is unusable
// (then the target is untouched).
#pragma once

#include "extlib/VorGeometry.h"
#include "platform/PackedDib.h"

namespace zepho {

// The largest side, in pixels, of a target that shapes, text and warped images are drawn into.
// The rasteriser keeps coordinates in 24.8 fixed point, which holds at most 8,388,607 pixels;
// every vertex is clipped to the target before that conversion, so a target within this side
// keeps every coordinate far inside the range. Larger targets are refused (the calls return 0).
constexpr int kMaxRenderSide = 65535;

// Paints the path's interior, taken into the target by matrix, with the fill mode (mode 0 uses
// color2). nonZero 1 fills by the non-zero winding rule, 0 by even-odd.
BOOL FillShape(PackedDib& target, const CVorPath& path, const CVorTransMatrix& matrix, _TEXTFILLMODE fill,
               int nonZero);

// Paints the path's outline with the given width (in path units, so the matrix scales it) and
// the fill mode (mode 0 uses color1). lineJoin 0 mitres corners, 1 rounds them, 2 bevels them.
// Open sub-paths get butt ends; closed ones (end-polygon with the close flag) are joined all round.
BOOL StrokeShape(PackedDib& target, const CVorPath& path, const CVorTransMatrix& matrix, double width,
                 _TEXTFILLMODE fill, int lineJoin);

// Names of the resampling filters in index order; an index outside 0..16 means 5 (Hanning).
constexpr int kVorFilterCount = 17;
extern const char* const kVorFilterNames[kVorFilterCount];

// Draws source over target, warped. matrix maps target pixel coordinates to source coordinates
// (the inverse of the placement). Colours are filtered with premultiplied alpha, so transparent
// source pixels lend no colour to the edges; target pixels outside the warped source rectangle
// are left as they were. Filter 0 (nearest) copies pixels without premultiplying them. When the
// warp shrinks the source, the filters average over the shrunken footprint.
// marginX and marginY are not read: the placement is wholly in the matrix (shadows pass their
// blur margin there already).
BOOL TransformImage(PackedDib& target, const PackedDib& source, const CVorTransMatrix& matrix, double marginX,
                    double marginY, int filter);

// A new width x height picture of one colour and alpha with source drawn over it as
// TransformImage draws it: the bytes of filling a new picture and calling TransformImage, without
// the separate pass over the picture (each row is filled just before it is drawn, by the thread
// that draws it). Empty when a side is below 1 or above kMaxRenderSide, the source is not 32-bit,
// the matrix is unusable or memory runs out.
PackedDib TransformedImage(int width, int height, COLORREF colour, BYTE alpha, const PackedDib& source,
                           const CVorTransMatrix& matrix, int filter);

// Draws source over target mapped onto the quadrilateral (x1, y1) ... (x4, y4): the source's
// top-left, top-right, bottom-right and bottom-left corners land on the four points in that
// order. Bilinear filtering with premultiplied alpha; a degenerate quadrilateral draws nothing.
BOOL BulidPerspective(PackedDib& target, const PackedDib& source, double x1, double y1, double x2, double y2,
                      double x3, double y3, double x4, double y4);

// Blurs all four channels in place with a triangle kernel reaching `radius` pixels each way
// (rounded to whole pixels), weighting colours by alpha; pixels outside the image repeat the
// edge. Cost does not grow with the radius. A radius below 0.5 changes nothing; pixels that end
// fully transparent keep their colour bytes.
BOOL BlurShadowDIB(PackedDib& dib, double radius);

} // namespace zepho
