#include "extlib/VorText.h"

#include "extlib/VorFont.h"
#include "extlib/VorPaint.h"

#include <agg_conv_curve.h>
#include <agg_conv_stroke.h>
#include <agg_conv_transform.h>
#include <agg_gamma_functions.h>

#include <new>

namespace zepho {

namespace {

using vor::Rasterizer;
using vor::SafeVertices;

enum class TextStyle { Fill, Outline, Halo };

constexpr BYTE kNonAntialiasedQuality = 3;

template <class Source> void AddPlaced(Rasterizer& ras, Source& src, const CVorTransMatrix& matrix) {
    agg::trans_affine mtx = matrix;
    agg::conv_transform<Source> placed(src, mtx);
    SafeVertices<agg::conv_transform<Source>> safe(placed);
    ras.add_path(safe);
}

BOOL DrawRun(PackedDib& target, std::u16string_view text, double x, double y, const LOGFONTA& font,
             double spacing, const _TEXTFILLMODE& fill, const CVorTransMatrix& matrix, TextStyle style,
             double width) try {
    if (!vor::Drawable(target) || !matrix.IsUsable()) return 0;
    if (style != TextStyle::Fill && !(std::isfinite(width) && width > 0)) return 0;
    agg::path_storage glyphs;
    vor::RunLayout layout;
    if (!vor::LayoutRun(text, font, spacing, x, y, layout, &glyphs)) return 0;
    if (glyphs.total_vertices() == 0) return 1;

    // Blends run over the run's box, not its ink, so that every letter of a line shares them.
    const agg::rect_d box(x, y - layout.ascent, x + layout.advance, y + layout.descent);
    const double approx = std::clamp(matrix.scale(), 1e-3, 1e3);
    agg::conv_curve<agg::path_storage> curves(glyphs);
    curves.approximation_scale(approx);
    SafeVertices<agg::conv_curve<agg::path_storage>> safe(curves);
    using Stroke = agg::conv_stroke<SafeVertices<agg::conv_curve<agg::path_storage>>>;
    Stroke stroke(safe);
    stroke.width(std::min(width, 1e5));
    stroke.line_join(agg::round_join);
    stroke.line_cap(agg::round_cap);
    stroke.approximation_scale(approx);

    const auto paint = [&](auto& source) {
        Rasterizer ras;
        ras.clip_box(0, 0, target.Width(), target.Height());
        ras.filling_rule(agg::fill_non_zero);
        if (font.lfQuality == kNonAntialiasedQuality) ras.gamma(agg::gamma_threshold(0.5));
        AddPlaced(ras, source, matrix);
        vor::PaintRasterized(target, ras, fill, fill.color1, box, matrix);
    };
    // The halo paints glyphs and stroke one after the other: one rasteriser pass would let their
    // opposite windings cancel where they overlap.
    if (style != TextStyle::Outline) paint(safe);
    if (style != TextStyle::Fill) paint(stroke);
    return 1;
} catch (const std::bad_alloc&) {
    return 0;
}

} // namespace

BOOL PaintText(PackedDib& target, const CVorDC*, std::u16string_view text, double x, double y,
               const LOGFONTA& font, double spacing, _TEXTFILLMODE fill, const CVorTransMatrix& matrix) {
    return DrawRun(target, text, x, y, font, spacing, fill, matrix, TextStyle::Fill, 0);
}

BOOL StrokeText(PackedDib& target, const CVorDC*, std::u16string_view text, double x, double y,
                const LOGFONTA& font, double spacing, _TEXTFILLMODE fill, const CVorTransMatrix& matrix,
                int lineWidth) {
    return DrawRun(target, text, x, y, font, spacing, fill, matrix, TextStyle::Outline, lineWidth);
}

BOOL StrokeText_Blend(PackedDib& target, const CVorDC*, std::u16string_view text, double x, double y,
                      const LOGFONTA& font, double spacing, _TEXTFILLMODE fill, const CVorTransMatrix& matrix,
                      double thickness) {
    return DrawRun(target, text, x, y, font, spacing, fill, matrix, TextStyle::Halo, thickness);
}

double VorMeasureText(const CVorDC*, std::u16string_view text, const LOGFONTA& font, double spacing) {
    vor::RunLayout layout;
    try {
        if (!vor::LayoutRun(text, font, spacing, 0, 0, layout, nullptr)) return 0;
    } catch (const std::bad_alloc&) {
        return 0;
    }
    return layout.advance;
}

BOOL VorGetTextInk(const CVorDC*, std::u16string_view text, const LOGFONTA& font, double spacing,
                   VorInkBox* box) try {
    if (!box) return 0;
    agg::path_storage glyphs;
    vor::RunLayout layout;
    if (!vor::LayoutRun(text, font, spacing, 0, 0, layout, &glyphs)) return 0;
    // The outline's points with the curves' control points: a curve never leaves their hull.
    bool any = false;
    VorInkBox ink;
    for (unsigned i = 0; i < glyphs.total_vertices(); ++i) {
        double x, y;
        if (!agg::is_vertex(glyphs.vertex(i, &x, &y))) continue;
        if (!any || x < ink.left) ink.left = x;
        if (!any || x > ink.right) ink.right = x;
        if (!any || y < ink.top) ink.top = y;
        if (!any || y > ink.bottom) ink.bottom = y;
        any = true;
    }
    if (!any) return 0;
    *box = ink;
    return 1;
} catch (const std::bad_alloc&) {
    return 0;
}

BOOL VorGetFontMetrics(const CVorDC*, const LOGFONTA& font, VorFontMetrics* metrics) {
    vor::RunLayout layout;
    try {
        if (!metrics || !vor::LayoutRun(u"", font, 0, 0, 0, layout, nullptr)) return 0;
    } catch (const std::bad_alloc&) {
        return 0;
    }
    metrics->ascent = layout.ascent;
    metrics->descent = layout.descent;
    metrics->em = layout.em;
    return 1;
}

BOOL VorDescribeFont(const LOGFONTA& font, VorFontInfo* info) {
    vor::FaceDescription d;
    try {
        if (!info || !vor::DescribeFace(font, d)) return 0;
    } catch (const std::bad_alloc&) {
        return 0;
    }
    info->family = d.family;
    info->style = d.style;
    info->file = d.file;
    info->syntheticBold = d.syntheticBold;
    info->syntheticItalic = d.syntheticItalic;
    return 1;
}

void VorReleaseFonts() {
    vor::ReleaseFontCache();
}

} // namespace zepho
