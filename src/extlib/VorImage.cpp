#include "extlib/VorPaint.h"
#include "extlib/VorRender.h"

#include <agg_image_accessors.h>
#include <agg_image_filters.h>
#include <agg_path_storage.h>
#include <agg_renderer_scanline.h>
#include <agg_scanline_u.h>
#include <agg_span_allocator.h>
#include <agg_span_image_filter_rgba.h>
#include <agg_span_interpolator_linear.h>
#include <agg_trans_perspective.h>

#include <array>
#include <cstring>
#include <new>
#include <vector>

namespace zepho {

const char* const kVorFilterNames[kVorFilterCount] = {
    "Simple",  "Bilinear", "Bicubic",  "Spline16", "Spline36", "Hanning", "Hamming", "Hermite", "Kaiser",
    "Quadric", "Catrom",   "Gaussian", "Bessel",   "Mitchell", "Sinc",    "lanczos", "blackman"};

namespace {

using vor::Rasterizer;
using vor::SafeVertices;

// Per-pixel mapping of target pixel centres into the source, held to a range that the filters'
// fixed-point arithmetic cannot overflow (a pixel near a perspective horizon maps very far).
template <class Transformer> class ClampedInterpolator {
public:
    using trans_type = Transformer;
    static constexpr int subpixel_shift = agg::image_subpixel_shift;
    static constexpr int subpixel_scale = 1 << subpixel_shift;

    explicit ClampedInterpolator(const Transformer& t) : trans_(&t) {}
    ClampedInterpolator(Transformer& t) : trans_(&t) {}
    const Transformer& transformer() const { return *trans_; }

    void begin(double x, double y, unsigned) {
        x_ = x;
        y_ = y;
        Calc();
    }
    void operator++() {
        x_ += 1;
        Calc();
    }
    void coordinates(int* x, int* y) const {
        *x = ix_;
        *y = iy_;
    }

private:
    static int ToFixed(double v) {
        constexpr double kLimit = 1 << 20;
        if (!(v > -kLimit)) v = -kLimit; // NaN lands here too
        if (v > kLimit) v = kLimit;
        return agg::iround(v * subpixel_scale);
    }
    void Calc() {
        double x = x_, y = y_;
        trans_->transform(&x, &y);
        ix_ = ToFixed(x);
        iy_ = ToFixed(y);
    }

    const Transformer* trans_;
    double x_ = 0, y_ = 0;
    int ix_ = 0, iy_ = 0;
};

// AGG's general image filter, except that the weighted sum is rounded instead of truncated:
// truncation turns an opaque interior into alpha 254 for several kernels. A fixed Diameter lets
// the compiler unroll the common small kernels; 0 reads it from the filter.
template <class Source, class Interpolator, int Diameter = 0>
class RoundedFilterRgba : public agg::span_image_filter<Source, Interpolator> {
    using Base = agg::span_image_filter<Source, Interpolator>;

public:
    using color_type = agg::rgba8;

    RoundedFilterRgba(Source& src, Interpolator& interp, agg::image_filter_lut& lut)
        : Base(src, interp, &lut) {}

    void generate(color_type* span, int x, int y, unsigned len) {
        Base::interpolator().begin(x + Base::filter_dx_dbl(), y + Base::filter_dy_dbl(), len);
        const int diameter = Diameter ? Diameter : static_cast<int>(Base::filter().diameter());
        const int start = Base::filter().start();
        const agg::int16* weights = Base::filter().weight_array();
        constexpr int kMask = agg::image_subpixel_mask;
        constexpr int kScale = agg::image_subpixel_scale;
        constexpr int kShift = agg::image_filter_shift;
        do {
            Base::interpolator().coordinates(&x, &y);
            x -= Base::filter_dx_int();
            y -= Base::filter_dy_int();
            // Four named sums keep the accumulators in registers.
            int s0 = agg::image_filter_scale / 2, s1 = s0, s2 = s0, s3 = s0;
            const int xFract = x & kMask;
            int yHr = kMask - (y & kMask);
            const auto* p = static_cast<const agg::int8u*>(
                Base::source().span((x >> agg::image_subpixel_shift) + start,
                                    (y >> agg::image_subpixel_shift) + start, diameter));
            for (int row = 0;;) {
                const int wy = weights[yHr];
                int xHr = kMask - xFract;
                for (int col = 0;;) {
                    const int w = (wy * weights[xHr] + agg::image_filter_scale / 2) >> kShift;
                    s0 += w * p[0];
                    s1 += w * p[1];
                    s2 += w * p[2];
                    s3 += w * p[3];
                    if (++col == diameter) break;
                    xHr += kScale;
                    p = static_cast<const agg::int8u*>(Base::source().next_x());
                }
                if (++row == diameter) break;
                yHr += kScale;
                p = static_cast<const agg::int8u*>(Base::source().next_y());
            }
            // Bytes are B, G, R, A; premultiplied, so no colour may exceed alpha.
            const int a = std::clamp(s3 >> kShift, 0, 255);
            span->a = static_cast<agg::int8u>(a);
            span->b = static_cast<agg::int8u>(std::clamp(s0 >> kShift, 0, a));
            span->g = static_cast<agg::int8u>(std::clamp(s1 >> kShift, 0, a));
            span->r = static_cast<agg::int8u>(std::clamp(s2 >> kShift, 0, a));
            ++span;
            ++Base::interpolator();
        } while (--len);
    }
};

// 255 * 65536 / a, to demultiply without a division per channel.
const std::array<std::uint32_t, 256>& DemultiplyTable() {
    static const std::array<std::uint32_t, 256> table = [] {
        std::array<std::uint32_t, 256> t{};
        for (unsigned a = 1; a < 256; ++a)
            t[a] = (255u * 65536u + a / 2) / a;
        return t;
    }();
    return table;
}

// Composites generated spans over a straight-alpha target. Premultiplied spans are brought back
// to straight colour first, so both kinds meet the target through the same exact blender. When the
// source has one colour throughout (a silhouette), that colour is used as it is: demultiplying
// faint pixels would otherwise round it off.
template <bool Premultiplied> class OverRenderer {
public:
    using color_type = agg::rgba8;

    OverRenderer(PackedDib& target, const BYTE* uniformBgr) : target_(target), uniform_(uniformBgr) {}

    void blend_color_hspan(int x, int y, unsigned len, const color_type* colors, const agg::int8u* covers,
                           agg::int8u cover) {
        if (y < 0 || y >= target_.Height()) return;
        int begin = std::max(x, 0);
        const int end = std::min(x + static_cast<int>(len), target_.Width());
        const auto& inv = DemultiplyTable();
        BYTE* p = target_.Pixel32(begin, y);
        for (; begin < end; ++begin, p += 4) {
            const int i = begin - x;
            const color_type& c = colors[i];
            if (c.a == 0) continue;
            unsigned r = c.r, g = c.g, b = c.b;
            if (uniform_) {
                b = uniform_[0];
                g = uniform_[1];
                r = uniform_[2];
            } else if (Premultiplied && c.a < 255) {
                const std::uint32_t k = inv[c.a];
                r = std::min(255u, (r * k + 32768) >> 16);
                g = std::min(255u, (g * k + 32768) >> 16);
                b = std::min(255u, (b * k + 32768) >> 16);
            }
            vor::StraightBlender::blend_pix(p, r, g, b, c.a, covers ? covers[i] : cover);
        }
    }

private:
    PackedDib& target_;
    const BYTE* uniform_;
};

// A top-down premultiplied copy of a straight-alpha DIB, for the filters; it also notes whether
// every visible pixel has the same colour.
class PremultipliedCopy {
public:
    explicit PremultipliedCopy(const PackedDib& src)
        : w_(src.Width()), h_(src.Height()), bytes_(static_cast<std::size_t>(w_) * h_ * 4) {
        bool seen = false;
        for (int y = 0; y < h_; ++y) {
            const BYTE* s = src.Row(y);
            BYTE* d = bytes_.data() + static_cast<std::size_t>(y) * w_ * 4;
            for (int x = 0; x < w_; ++x, s += 4, d += 4) {
                const unsigned a = s[3];
                if (a != 0 && uniform_) {
                    if (!seen) {
                        std::memcpy(colour_, s, 3);
                        seen = true;
                    } else if (std::memcmp(colour_, s, 3) != 0) {
                        uniform_ = false;
                    }
                }
                if (a == 255) {
                    std::memcpy(d, s, 4);
                } else {
                    for (int c = 0; c < 3; ++c)
                        d[c] = static_cast<BYTE>((s[c] * a + 127) / 255);
                    d[3] = static_cast<BYTE>(a);
                }
            }
        }
        rbuf_.attach(bytes_.data(), w_, h_, w_ * 4);
    }
    agg::rendering_buffer& Buffer() { return rbuf_; }
    // The shared colour (B, G, R) or null.
    const BYTE* Uniform() const { return uniform_ ? colour_ : nullptr; }

private:
    bool uniform_ = true;
    BYTE colour_[3] = {};
    int w_, h_;
    std::vector<BYTE> bytes_;
    agg::rendering_buffer rbuf_;
};

using PixfmtPre = agg::pixfmt_bgra32_pre;
using PixfmtPlain = agg::pixfmt_bgra32_plain;

template <bool Premultiplied, class SpanGen>
void Render(Rasterizer& ras, PackedDib& target, SpanGen& gen, const BYTE* uniformBgr = nullptr) {
    agg::scanline_u8 sl;
    agg::span_allocator<agg::rgba8> alloc;
    OverRenderer<Premultiplied> ren(target, uniformBgr);
    agg::render_scanlines_aa(ras, sl, ren, alloc, gen);
}

void CalculateFilter(agg::image_filter_lut& lut, int filter) {
    constexpr double kRadius = 4.0; // sinc, lanczos and blackman
    switch (filter) {
    case 1:
        lut.calculate(agg::image_filter_bilinear(), true);
        break;
    case 2:
        lut.calculate(agg::image_filter_bicubic(), true);
        break;
    case 3:
        lut.calculate(agg::image_filter_spline16(), true);
        break;
    case 4:
        lut.calculate(agg::image_filter_spline36(), true);
        break;
    case 6:
        lut.calculate(agg::image_filter_hamming(), true);
        break;
    case 7:
        lut.calculate(agg::image_filter_hermite(), true);
        break;
    case 8:
        lut.calculate(agg::image_filter_kaiser(), true);
        break;
    case 9:
        lut.calculate(agg::image_filter_quadric(), true);
        break;
    case 10:
        lut.calculate(agg::image_filter_catrom(), true);
        break;
    case 11:
        lut.calculate(agg::image_filter_gaussian(), true);
        break;
    case 12:
        lut.calculate(agg::image_filter_bessel(), true);
        break;
    case 13:
        lut.calculate(agg::image_filter_mitchell(), true);
        break;
    case 14:
        lut.calculate(agg::image_filter_sinc(kRadius), true);
        break;
    case 15:
        lut.calculate(agg::image_filter_lanczos(kRadius), true);
        break;
    case 16:
        lut.calculate(agg::image_filter_blackman(kRadius), true);
        break;
    default:
        lut.calculate(agg::image_filter_hanning(), true);
        break;
    }
}

// Adds the polygon that a source rectangle covers in the target.
void AddQuad(Rasterizer& ras, const double (&pts)[8]) {
    agg::path_storage quad;
    quad.move_to(pts[0], pts[1]);
    quad.line_to(pts[2], pts[3]);
    quad.line_to(pts[4], pts[5]);
    quad.line_to(pts[6], pts[7]);
    quad.close_polygon();
    SafeVertices<agg::path_storage> safe(quad);
    ras.add_path(safe);
}

template <class Interp>
void AffineDraw(Rasterizer& ras, PackedDib& target, const PackedDib& source,
                const agg::trans_affine& toSource, int filter) {
    Interp interp(const_cast<agg::trans_affine&>(toSource));
    if (filter == 0) {
        // Nearest neighbour mixes nothing, so the straight pixels are used as they are.
        agg::rendering_buffer rbuf;
        vor::AttachDib(source, rbuf);
        PixfmtPlain plain(rbuf);
        agg::image_accessor_clone<PixfmtPlain> acc(plain);
        agg::span_image_filter_rgba_nn<agg::image_accessor_clone<PixfmtPlain>, Interp> gen(acc, interp);
        Render<false>(ras, target, gen);
        return;
    }
    PremultipliedCopy pre(source);
    PixfmtPre pixf(pre.Buffer());
    agg::image_accessor_clone<PixfmtPre> acc(pixf);

    // Shrinking needs the filter spread over the source footprint of a target pixel, or fine
    // detail aliases.
    double scaleX = 1, scaleY = 1;
    toSource.scaling_abs(&scaleX, &scaleY);
    // Past 1e5 the result is a pixel or two and the resampler's fixed point would overflow.
    const double shrink = std::max(scaleX, scaleY);
    const bool shrinking = shrink > 1.01 && shrink < 1e5;

    if (filter == 1 && !shrinking) {
        agg::span_image_filter_rgba_bilinear<agg::image_accessor_clone<PixfmtPre>, Interp> gen(acc, interp);
        Render<true>(ras, target, gen, pre.Uniform());
        return;
    }
    agg::image_filter_lut lut;
    CalculateFilter(lut, filter);
    if (shrinking) {
        // The resampler only offers a linear interpolator; the affine mapping is linear anyway.
        using Linear = agg::span_interpolator_linear<agg::trans_affine>;
        Linear linear(const_cast<agg::trans_affine&>(toSource));
        agg::span_image_resample_rgba_affine<agg::image_accessor_clone<PixfmtPre>> gen(acc, linear, lut);
        Render<true>(ras, target, gen, pre.Uniform());
    } else if (lut.diameter() == 2) {
        RoundedFilterRgba<agg::image_accessor_clone<PixfmtPre>, Interp, 2> gen(acc, interp, lut);
        Render<true>(ras, target, gen, pre.Uniform());
    } else if (lut.diameter() == 4) {
        RoundedFilterRgba<agg::image_accessor_clone<PixfmtPre>, Interp, 4> gen(acc, interp, lut);
        Render<true>(ras, target, gen, pre.Uniform());
    } else {
        RoundedFilterRgba<agg::image_accessor_clone<PixfmtPre>, Interp> gen(acc, interp, lut);
        Render<true>(ras, target, gen, pre.Uniform());
    }
}

} // namespace

BOOL TransformImage(PackedDib& target, const PackedDib& source, const CVorTransMatrix& matrix, double marginX,
                    double marginY, int filter) try {
    if (!vor::Drawable(target) || !source.Is32() || !matrix.IsUsable()) return 0;
    if (filter < 0 || filter >= kVorFilterCount) filter = 5;
    // Drawing an image into itself reads what it writes; work from a copy.
    PackedDib copy;
    const PackedDib* src = &source;
    if (&source == &target) {
        copy = source.Clone();
        if (!copy) return 0;
        src = &copy;
    }

    CVorTransMatrix toTarget = matrix;
    toTarget.Invert();
    const double w = src->Width(), h = src->Height();
    double pts[8] = {0, 0, w, 0, w, h, 0, h};
    for (int i = 0; i < 8; i += 2)
        toTarget.Transform(&pts[i], &pts[i + 1]);

    Rasterizer ras;
    ras.clip_box(0, 0, target.Width(), target.Height());
    AddQuad(ras, pts);

    // AGG's linear interpolator is the fast one, but its fixed point overflows when a target
    // corner maps far outside the source; such matrices go through the clamped one.
    const agg::trans_affine& toSource = matrix;
    bool nearby = true;
    for (double cx : {0.0, double(target.Width())})
        for (double cy : {0.0, double(target.Height())}) {
            double x = cx, y = cy;
            toSource.transform(&x, &y);
            nearby = nearby && std::fabs(x) < (1 << 20) && std::fabs(y) < (1 << 20);
        }
    if (nearby)
        AffineDraw<agg::span_interpolator_linear<agg::trans_affine>>(ras, target, *src, toSource, filter);
    else
        AffineDraw<ClampedInterpolator<agg::trans_affine>>(ras, target, *src, toSource, filter);
    return 1;
} catch (const std::bad_alloc&) {
    return 0;
}

BOOL BulidPerspective(PackedDib& target, const PackedDib& source, double x1, double y1, double x2, double y2,
                      double x3, double y3, double x4, double y4) try {
    if (!vor::Drawable(target) || !source.Is32()) return 0;
    const double quad[8] = {x1, y1, x2, y2, x3, y3, x4, y4};
    for (double v : quad)
        if (!std::isfinite(v)) return 0;
    agg::trans_perspective toSource;
    if (!toSource.quad_to_rect(quad, 0, 0, source.Width(), source.Height()) || !toSource.is_valid()) return 0;

    PackedDib copy;
    const PackedDib* src = &source;
    if (&source == &target) {
        copy = source.Clone();
        if (!copy) return 0;
        src = &copy;
    }
    Rasterizer ras;
    ras.clip_box(0, 0, target.Width(), target.Height());
    AddQuad(ras, quad);

    PremultipliedCopy pre(*src);
    PixfmtPre pixf(pre.Buffer());
    agg::image_accessor_clone<PixfmtPre> acc(pixf);
    using Interp = ClampedInterpolator<agg::trans_perspective>;
    Interp interp(toSource);
    agg::span_image_filter_rgba_bilinear<agg::image_accessor_clone<PixfmtPre>, Interp> gen(acc, interp);
    Render<true>(ras, target, gen, pre.Uniform());
    return 1;
} catch (const std::bad_alloc&) {
    return 0;
}

} // namespace zepho
