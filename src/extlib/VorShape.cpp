#include "extlib/VorPaint.h"
#include "extlib/VorRender.h"

#include <agg_conv_curve.h>
#include <agg_conv_stroke.h>
#include <agg_conv_transform.h>

#include <new>

namespace zepho {

using vor::ConstPathSource;
using vor::Rasterizer;
using vor::SafeVertices;

namespace {

// Curves are flattened finely enough for the size they end up at.
double ApproximationScale(const CVorTransMatrix& m) {
    return std::clamp(m.scale(), 1e-3, 1e3);
}

void PrepareRasterizer(Rasterizer& ras, const PackedDib& target) {
    ras.clip_box(0, 0, target.Width(), target.Height());
}

} // namespace

BOOL FillShape(PackedDib& target, const CVorPath& path, const CVorTransMatrix& matrix, _TEXTFILLMODE fill,
               int nonZero) try {
    if (!vor::Drawable(target) || !matrix.IsUsable()) return 0;
    ConstPathSource src(path);
    agg::conv_curve<ConstPathSource> curves(src);
    curves.approximation_scale(ApproximationScale(matrix));
    SafeVertices<agg::conv_curve<ConstPathSource>> safe(curves);
    agg::rect_d box;
    if (!vor::BoundsOf(safe, box)) return 1; // nothing to paint

    agg::trans_affine mtx = matrix; // conv_transform wants a mutable one
    agg::conv_transform<SafeVertices<agg::conv_curve<ConstPathSource>>> placed(safe, mtx);
    SafeVertices<decltype(placed)> safePlaced(placed);
    Rasterizer ras;
    PrepareRasterizer(ras, target);
    ras.filling_rule(nonZero ? agg::fill_non_zero : agg::fill_even_odd);
    ras.add_path(safePlaced);
    vor::PaintRasterized(target, ras, fill, fill.color2, box, matrix);
    return 1;
} catch (const std::bad_alloc&) {
    return 0;
}

BOOL StrokeShape(PackedDib& target, const CVorPath& path, const CVorTransMatrix& matrix, double width,
                 _TEXTFILLMODE fill, int lineJoin) try {
    if (!vor::Drawable(target) || !matrix.IsUsable() || !std::isfinite(width) || width <= 0) return 0;
    ConstPathSource src(path);
    agg::conv_curve<ConstPathSource> curves(src);
    curves.approximation_scale(ApproximationScale(matrix));
    SafeVertices<agg::conv_curve<ConstPathSource>> safe(curves);
    using Stroke = agg::conv_stroke<SafeVertices<agg::conv_curve<ConstPathSource>>>;
    Stroke stroke(safe);
    stroke.width(std::min(width, 1e6));
    stroke.line_join(lineJoin == 1 ? agg::round_join : lineJoin == 2 ? agg::bevel_join : agg::miter_join);
    stroke.line_cap(agg::butt_cap);
    stroke.approximation_scale(ApproximationScale(matrix));
    agg::rect_d box;
    if (!vor::BoundsOf(stroke, box)) return 1;

    agg::trans_affine mtx = matrix;
    agg::conv_transform<Stroke> placed(stroke, mtx);
    SafeVertices<decltype(placed)> safePlaced(placed);
    Rasterizer ras;
    PrepareRasterizer(ras, target);
    ras.filling_rule(agg::fill_non_zero);
    ras.add_path(safePlaced);
    vor::PaintRasterized(target, ras, fill, fill.color1, box, matrix);
    return 1;
} catch (const std::bad_alloc&) {
    return 0;
}

} // namespace zepho
