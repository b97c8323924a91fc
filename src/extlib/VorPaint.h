// Internal pieces shared by the shape, image and text drawing of the vector renderer: the
// straight-alpha pixel format, the rasteriser type, and painting a rasterised outline with a fill
// mode. Not part of the library's interface.
#pragma once

#include "extlib/VorGeometry.h"
#include "extlib/VorRender.h"
#include "platform/PackedDib.h"

#include <agg_basics.h>
#include <agg_color_rgba.h>
#include <agg_pixfmt_rgba.h>
#include <agg_rasterizer_scanline_aa.h>
#include <agg_rendering_buffer.h>

#include <algorithm>
#include <cmath>

namespace zepho::vor {

// Straight-alpha "over" done exactly: onto a transparent pixel the colour is copied unchanged,
// so anti-aliased edges keep the drawn colour and only their alpha is partial.
struct StraightBlender : agg::conv_rgba_plain<agg::rgba8, agg::order_bgra> {
    using color_type = agg::rgba8;
    using order_type = agg::order_bgra;
    using value_type = agg::int8u;

    static void blend_pix(value_type* p, unsigned cr, unsigned cg, unsigned cb, unsigned alpha,
                          unsigned cover) {
        blend_pix(p, cr, cg, cb, (alpha * cover + 127) / 255);
    }
    static void blend_pix(value_type* p, unsigned cr, unsigned cg, unsigned cb, unsigned alpha) {
        if (alpha == 0) return;
        const unsigned da = p[order_type::A];
        if (alpha == 255 || da == 0) {
            p[order_type::R] = static_cast<value_type>(cr);
            p[order_type::G] = static_cast<value_type>(cg);
            p[order_type::B] = static_cast<value_type>(cb);
            p[order_type::A] = static_cast<value_type>(alpha);
            return;
        }
        // Weights scaled by 255 * 255; the result alpha is their sum.
        const unsigned ws = alpha * 255;
        const unsigned wd = da * (255 - alpha);
        const unsigned wa = ws + wd;
        const auto mix = [&](unsigned s, unsigned d) {
            return static_cast<value_type>((s * ws + d * wd + wa / 2) / wa);
        };
        p[order_type::R] = mix(cr, p[order_type::R]);
        p[order_type::G] = mix(cg, p[order_type::G]);
        p[order_type::B] = mix(cb, p[order_type::B]);
        p[order_type::A] = static_cast<value_type>((wa + 127) / 255);
    }
};

using PixfmtStraight = agg::pixfmt_alpha_blend_rgba<StraightBlender, agg::rendering_buffer>;
// Clipping in doubles before the conversion to fixed point keeps far-away vertices harmless.
using Rasterizer = agg::rasterizer_scanline_aa<agg::rasterizer_sl_clip_dbl>;

// A 32-bit target the rasteriser can address (no side above kMaxRenderSide).
inline bool Drawable(const PackedDib& target) {
    return target.Is32() && target.Width() <= kMaxRenderSide && target.Height() <= kMaxRenderSide;
}

// Attaches a buffer to a 32-bit DIB so that AGG's row 0 is the picture's top row.
bool AttachDib(PackedDib& dib, agg::rendering_buffer& rbuf);
bool AttachDib(const PackedDib& dib, agg::rendering_buffer& rbuf);

// Passes a vertex source through, dropping vertices that are not finite and holding the rest
// within +-1e9 pixels, so that the clipper's arithmetic stays finite. The clipper then cuts every
// edge to the target (at most kMaxRenderSide a side) before the 24.8 fixed-point conversion.
template <class Source> class SafeVertices {
public:
    explicit SafeVertices(Source& src) : src_(src) {}
    void rewind(unsigned id) { src_.rewind(id); }
    unsigned vertex(double* x, double* y) {
        for (;;) {
            const unsigned cmd = src_.vertex(x, y);
            if (!agg::is_vertex(cmd)) return cmd;
            if (!std::isfinite(*x) || !std::isfinite(*y)) continue;
            *x = std::clamp(*x, -1e9, 1e9);
            *y = std::clamp(*y, -1e9, 1e9);
            return cmd;
        }
    }

private:
    Source& src_;
};

// Reads a path that cannot be rewound in place (path_base's own iterator is not const).
class ConstPathSource {
public:
    explicit ConstPathSource(const CVorPath& path) : path_(path) {}
    void rewind(unsigned) { index_ = 0; }
    unsigned vertex(double* x, double* y) {
        if (index_ >= path_.total_vertices()) return agg::path_cmd_stop;
        return path_.vertex(index_++, x, y);
    }

private:
    const CVorPath& path_;
    unsigned index_ = 0;
};

// The bounding box of a vertex source's vertices; false when it has none.
template <class Source> bool BoundsOf(Source& src, agg::rect_d& box) {
    bool any = false;
    double x = 0, y = 0;
    src.rewind(0);
    for (unsigned cmd; !agg::is_stop(cmd = src.vertex(&x, &y));) {
        if (!agg::is_vertex(cmd)) continue;
        if (!any) {
            box = agg::rect_d(x, y, x, y);
            any = true;
        } else {
            box.x1 = std::min(box.x1, x);
            box.y1 = std::min(box.y1, y);
            box.x2 = std::max(box.x2, x);
            box.y2 = std::max(box.y2, y);
        }
    }
    return any;
}

// Paints what the rasteriser holds into the target with the fill mode. plainColor is used by
// mode 0 and unknown modes; box is the blend's box in path space and pathToTarget the matrix that
// took the path into the target.
void PaintRasterized(PackedDib& target, Rasterizer& ras, const _TEXTFILLMODE& fill, COLORREF plainColor,
                     const agg::rect_d& box, const CVorTransMatrix& pathToTarget);

} // namespace zepho::vor
