#include "extlib/VorPaint.h"
#include "extlib/VorRender.h"
#include "extlib/VorSampler.h"
#include "platform/Parallel.h"

#include <agg_image_accessors.h>
#include <agg_image_filters.h>
#include <agg_path_storage.h>
#include <agg_renderer_scanline.h>
#include <agg_scanline_u.h>
#include <agg_span_allocator.h>
#include <agg_span_image_filter_rgba.h>
#include <agg_span_interpolator_linear.h>
#include <agg_trans_perspective.h>

#include <algorithm>
#include <array>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>
#include <vector>

#if defined(__linux__)
#include <sys/mman.h>
#endif

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
        BYTE* p = target_.Pixel32(begin, y);
        for (; begin < end; ++begin, p += 4) {
            const int i = begin - x;
            Blend(p, colors[i], covers ? covers[i] : cover);
        }
    }

    // The same for a span of premultiplied B, G, R, A words (see DirectSampler::generate_bgra):
    // runs of eight opaque, fully covered pixels are copied as they are.
    void blend_bgra_hspan(int x, int y, unsigned len, const std::uint32_t* words, const agg::int8u* covers) {
        if (y < 0 || y >= target_.Height()) return;
        const int begin = std::max(x, 0);
        const int end = std::min(x + static_cast<int>(len), target_.Width());
        if (end <= begin) return;
        std::uint32_t uniformWord = 0;
        if (uniform_) uniformWord = uniform_[0] | (uniform_[1] << 8) | (uniform_[2] << 16);
        BYTE* p = target_.Pixel32(begin, y);
        for (int i = begin - x, last = end - x; i < last;) {
            if (i + 8 <= last) {
                std::uint32_t all = words[i];
                for (int k = 1; k < 8; ++k)
                    all &= words[i + k];
                std::uint64_t cover8;
                std::memcpy(&cover8, covers + i, 8);
                if ((all >> 24) == 255 && cover8 == ~std::uint64_t{0}) {
                    if (uniform_) {
                        for (int k = 0; k < 8; ++k) {
                            const std::uint32_t v = 0xFF000000u | uniformWord;
                            std::memcpy(p + 4 * k, &v, 4);
                        }
                    } else {
                        std::memcpy(p, words + i, 32);
                    }
                    i += 8;
                    p += 32;
                    continue;
                }
            }
            const std::uint32_t v = words[i];
            color_type c(static_cast<agg::int8u>(v >> 16), static_cast<agg::int8u>(v >> 8),
                         static_cast<agg::int8u>(v), static_cast<agg::int8u>(v >> 24));
            Blend(p, c, covers[i]);
            ++i;
            p += 4;
        }
    }

private:
    void Blend(BYTE* p, const color_type& c, unsigned cover) const {
        if (c.a == 0) return;
        unsigned r = c.r, g = c.g, b = c.b;
        if (uniform_) {
            b = uniform_[0];
            g = uniform_[1];
            r = uniform_[2];
        } else if (Premultiplied && c.a < 255) {
            const std::uint32_t k = DemultiplyTable()[c.a];
            r = std::min(255u, (r * k + 32768) >> 16);
            g = std::min(255u, (g * k + 32768) >> 16);
            b = std::min(255u, (b * k + 32768) >> 16);
        }
        vor::StraightBlender::blend_pix(p, r, g, b, c.a, cover);
    }

    PackedDib& target_;
    const BYTE* uniform_;
};

// Uninitialised memory for a working copy of a picture. Large blocks are aligned to 2 MB and
// asked to be backed by huge pages: a turned picture is read across its rows, and with 4 KB
// pages nearly every pixel would miss the address translation cache.
class WorkBuffer {
public:
    explicit WorkBuffer(std::size_t bytes) {
        constexpr std::size_t kHuge = std::size_t{1} << 21;
        if (bytes >= 4 * kHuge) {
            const std::size_t rounded = (bytes + kHuge - 1) / kHuge * kHuge;
            data_.reset(static_cast<BYTE*>(std::aligned_alloc(kHuge, rounded)));
#if defined(__linux__) && defined(MADV_HUGEPAGE)
            if (data_) madvise(data_.get(), rounded, MADV_HUGEPAGE);
#endif
        }
        if (!data_) data_.reset(static_cast<BYTE*>(std::malloc(bytes ? bytes : 1)));
        if (!data_) throw std::bad_alloc();
    }
    BYTE* Data() {
        return data_.get();
    }

private:
    struct Free {
        void operator()(BYTE* p) const { std::free(p); }
    };
    std::unique_ptr<BYTE, Free> data_;
};

// A top-down premultiplied copy of a straight-alpha DIB, for the filters; it also notes whether
// every visible pixel has the same colour.
class PremultipliedCopy {
public:
    explicit PremultipliedCopy(const PackedDib& src) : w_(src.Width()), h_(src.Height()) {
        // Rows in parallel; each notes whether it is opaque throughout, its first visible colour
        // and whether the rest match it.
        struct RowInfo {
            bool opaque = false, seen = false, uniform = true;
            BYTE colour[3] = {};
        };
        std::vector<RowInfo> rows(static_cast<std::size_t>(h_));
        ParallelFor(h_, RowGrain(w_), [&](std::ptrdiff_t begin, std::ptrdiff_t end) {
            for (std::ptrdiff_t y = begin; y < end; ++y) {
                RowInfo& ri = rows[static_cast<std::size_t>(y)];
                const BYTE* row = src.Row(static_cast<int>(y));
                const BYTE* s = row;
                int x = 0;
                for (; x < w_ && ri.uniform; ++x, s += 4) {
                    if (s[3] == 0) continue;
                    if (!ri.seen) {
                        std::memcpy(ri.colour, s, 3);
                        ri.seen = true;
                    } else if (std::memcmp(ri.colour, s, 3) != 0) {
                        ri.uniform = false;
                    }
                }
                std::uint32_t all = 0xFFFFFFFFu;
                for (x = 0, s = row; x < w_; ++x, s += 4) {
                    std::uint32_t v;
                    std::memcpy(&v, s, 4);
                    all &= v;
                }
                ri.opaque = (all >> 24) == 255;
            }
        });
        bool seen = false;
        for (const RowInfo& ri : rows) {
            if (!ri.seen || !uniform_) continue;
            if (!ri.uniform || (seen && std::memcmp(colour_, ri.colour, 3) != 0)) {
                uniform_ = false;
                continue;
            }
            std::memcpy(colour_, ri.colour, 3);
            seen = true;
        }
        // Opaque rows are their own premultiplied form. They are still copied: the copy sits on
        // huge pages, which the sampler's walk across rows needs more than the copy costs.
        bytes_ = std::make_unique<WorkBuffer>(static_cast<std::size_t>(w_) * h_ * 4);
        ParallelFor(h_, RowGrain(w_), [&](std::ptrdiff_t begin, std::ptrdiff_t end) {
            for (std::ptrdiff_t y = begin; y < end; ++y) {
                const BYTE* s = src.Row(static_cast<int>(y));
                BYTE* d = bytes_->Data() + static_cast<std::size_t>(y) * w_ * 4;
                if (rows[static_cast<std::size_t>(y)].opaque) {
                    std::memcpy(d, s, static_cast<std::size_t>(w_) * 4);
                    continue;
                }
                for (int x = 0; x < w_; ++x, s += 4, d += 4) {
                    const unsigned a = s[3];
                    if (a == 255) {
                        std::memcpy(d, s, 4);
                    } else {
                        for (int c = 0; c < 3; ++c)
                            d[c] = static_cast<BYTE>((s[c] * a + 127) / 255);
                        d[3] = static_cast<BYTE>(a);
                    }
                }
            }
        });
        rbuf_.attach(bytes_->Data(), w_, h_, w_ * 4);
    }
    agg::rendering_buffer& Buffer() { return rbuf_; }
    // The shared colour (B, G, R) or null.
    const BYTE* Uniform() const { return uniform_ ? colour_ : nullptr; }

private:
    bool uniform_ = true;
    BYTE colour_[3] = {};
    int w_, h_;
    std::unique_ptr<WorkBuffer> bytes_;
    agg::rendering_buffer rbuf_;
};

using PixfmtPre = agg::pixfmt_bgra32_pre;
using PixfmtPlain = agg::pixfmt_bgra32_plain;

// The spans of a band of scanlines, copied out of the rasterizer so that the rows can be
// generated on several threads. Each span keeps the extent and covers AGG swept for it, so
// the generators see exactly the calls of a sequential render.
struct SpanRow {
    int y = 0;
    std::size_t first = 0, count = 0; // into Spans::spans
};
struct StoredSpan {
    int x = 0, len = 0;
    std::size_t covers = 0; // into Spans::covers
};
struct Spans {
    std::vector<SpanRow> rows;
    std::vector<StoredSpan> spans;
    std::vector<agg::int8u> covers;
    void Clear() {
        rows.clear();
        spans.clear();
        covers.clear();
    }
};

// Sweeps up to `maxRows` scanlines; false when the rasterizer had none left.
bool SweepBand(Rasterizer& ras, agg::scanline_u8& sl, Spans& out, std::size_t maxRows) {
    out.Clear();
    while (out.rows.size() < maxRows && ras.sweep_scanline(sl)) {
        SpanRow row;
        row.y = sl.y();
        row.first = out.spans.size();
        auto span = sl.begin();
        for (unsigned n = sl.num_spans(); n; --n, ++span) {
            StoredSpan st;
            st.x = span->x;
            st.len = span->len;
            st.covers = out.covers.size();
            out.covers.insert(out.covers.end(), span->covers, span->covers + span->len);
            out.spans.push_back(st);
        }
        row.count = out.spans.size() - row.first;
        out.rows.push_back(row);
    }
    return !out.rows.empty();
}

// For a target made for the drawing: the colour its rows start with, filled into each row just
// before the row is drawn, on the thread that draws it. Rows the drawing never reaches are
// filled afterwards.
struct RowFill {
    std::uint32_t word = 0; // B, G, R, A as stored
    std::vector<unsigned char> done;
    void Row(PackedDib& target, int y) {
        std::fill_n(reinterpret_cast<std::uint32_t*>(target.Row(y)), target.Width(), word);
        done[static_cast<std::size_t>(y)] = 1;
    }
};

// Renders the rasterized area with span generators made by makeGen() (one per piece of work,
// as generators keep state), band by band, the rows of a band spread over threads. Rows are
// independent, so the bytes are those of a sequential render.
template <bool Premultiplied, class MakeGen>
void Render(Rasterizer& ras, PackedDib& target, MakeGen makeGen, const BYTE* uniformBgr = nullptr,
            RowFill* fill = nullptr) {
    if (!ras.rewind_scanlines()) return;
    target.Detach(); // before the threads write through it
    agg::scanline_u8 sl;
    sl.reset(ras.min_x(), ras.max_x());
    Spans band;
    const std::ptrdiff_t grain = RowGrain(ras.max_x() - ras.min_x() + 1, 8192);
    while (SweepBand(ras, sl, band, 256)) {
        ParallelFor(static_cast<std::ptrdiff_t>(band.rows.size()), grain,
                    [&](std::ptrdiff_t begin, std::ptrdiff_t end) {
                        auto context = makeGen();
                        auto& gen = context->gen;
                        gen.prepare();
                        agg::span_allocator<agg::rgba8> alloc;
                        std::vector<std::uint32_t> words;
                        OverRenderer<Premultiplied> ren(target, uniformBgr);
                        for (std::ptrdiff_t r = begin; r < end; ++r) {
                            const SpanRow& row = band.rows[static_cast<std::size_t>(r)];
                            if (fill) fill->Row(target, row.y);
                            for (std::size_t i = row.first; i < row.first + row.count; ++i) {
                                const StoredSpan& span = band.spans[i];
                                const unsigned len = static_cast<unsigned>(span.len);
                                const agg::int8u* covers = band.covers.data() + span.covers;
                                if constexpr (requires { gen.generate_bgra(words.data(), 0, 0, 1u); }) {
                                    words.resize(len);
                                    gen.generate_bgra(words.data(), span.x, row.y, len);
                                    ren.blend_bgra_hspan(span.x, row.y, len, words.data(), covers);
                                } else {
                                    agg::rgba8* colors = alloc.allocate(len);
                                    gen.generate(colors, span.x, row.y, len);
                                    ren.blend_color_hspan(span.x, row.y, len, colors, covers, *covers);
                                }
                            }
                        }
                    });
    }
}

// One generator with everything it reads through: pixel format, accessor, interpolator.
template <class Pixfmt, class Interp, template <class, class> class Gen> struct GenContext {
    using Accessor = agg::image_accessor_clone<Pixfmt>;
    Pixfmt pixf;
    Accessor acc;
    Interp interp;
    Gen<Accessor, Interp> gen;
    template <class Trans>
    GenContext(agg::rendering_buffer& buf, Trans& trans)
        : pixf(buf), acc(pixf), interp(trans), gen(acc, interp) {}
    template <class Trans>
    GenContext(agg::rendering_buffer& buf, Trans& trans, agg::image_filter_lut& lut)
        : pixf(buf), acc(pixf), interp(trans), gen(acc, interp, lut) {}
};

template <class Source, class Interp> using NearestGen = agg::span_image_filter_rgba_nn<Source, Interp>;
template <class Source, class Interp>
using BilinearGen = agg::span_image_filter_rgba_bilinear<Source, Interp>;
template <class Source, class Interp> using ResampleGen = agg::span_image_resample_rgba_affine<Source>;
template <class Source, class Interp> using FilterGenAny = vor::RoundedFilterRgba<Source, Interp>;

// A direct sampler and its interpolator.
template <class Interp, int Diameter> struct DirectContext {
    Interp interp;
    vor::DirectSampler<Interp, Diameter> gen;
    template <class Trans>
    DirectContext(const agg::rendering_buffer& buf, Trans& trans, const agg::image_filter_lut* lut)
        : interp(trans), gen(buf, interp, lut) {}
};

template <class Interp, int Diameter, class Trans>
auto DirectMaker(const agg::rendering_buffer& buf, Trans& trans, const agg::image_filter_lut* lut) {
    return [&buf, &trans, lut] { return std::make_unique<DirectContext<Interp, Diameter>>(buf, trans, lut); };
}

template <template <class, class> class Gen, class Pixfmt, class Interp, class Trans, class... Lut>
auto Maker(agg::rendering_buffer& buf, Trans& trans, Lut&... lut) {
    return [&buf, &trans, &lut...] {
        return std::make_unique<GenContext<Pixfmt, Interp, Gen>>(buf, trans, lut...);
    };
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
                const agg::trans_affine& toSource, int filter, RowFill* fill) {
    auto& trans = const_cast<agg::trans_affine&>(toSource);
    if (filter == 0) {
        // Nearest neighbour mixes nothing, so the straight pixels are used as they are.
        agg::rendering_buffer rbuf;
        vor::AttachDib(source, rbuf);
        Render<false>(ras, target, Maker<NearestGen, PixfmtPlain, Interp>(rbuf, trans), nullptr, fill);
        return;
    }
    PremultipliedCopy pre(source);
    agg::rendering_buffer& buf = pre.Buffer();

    // Shrinking needs the filter spread over the source footprint of a target pixel, or fine
    // detail aliases.
    double scaleX = 1, scaleY = 1;
    toSource.scaling_abs(&scaleX, &scaleY);
    // Past 1e5 the result is a pixel or two and the resampler's fixed point would overflow.
    const double shrink = std::max(scaleX, scaleY);
    const bool shrinking = shrink > 1.01 && shrink < 1e5;

    if (filter == 1 && !shrinking) {
        Render<true>(ras, target, DirectMaker<Interp, 0>(buf, trans, nullptr), pre.Uniform(), fill);
        return;
    }
    agg::image_filter_lut lut;
    CalculateFilter(lut, filter);
    if (shrinking) {
        // The resampler only offers a linear interpolator; the affine mapping is linear anyway.
        using Linear = agg::span_interpolator_linear<agg::trans_affine>;
        Render<true>(ras, target, Maker<ResampleGen, PixfmtPre, Linear>(buf, trans, lut), pre.Uniform(),
                     fill);
    } else if (lut.diameter() == 2) {
        Render<true>(ras, target, DirectMaker<Interp, 2>(buf, trans, &lut), pre.Uniform(), fill);
    } else if (lut.diameter() == 4) {
        Render<true>(ras, target, DirectMaker<Interp, 4>(buf, trans, &lut), pre.Uniform(), fill);
    } else if (lut.diameter() == 6) {
        Render<true>(ras, target, DirectMaker<Interp, 6>(buf, trans, &lut), pre.Uniform(), fill);
    } else if (lut.diameter() == 8) {
        Render<true>(ras, target, DirectMaker<Interp, 8>(buf, trans, &lut), pre.Uniform(), fill);
    } else {
        Render<true>(ras, target, Maker<FilterGenAny, PixfmtPre, Interp>(buf, trans, lut), pre.Uniform(),
                     fill);
    }
}

} // namespace

namespace {

// TransformImage's drawing, with the target's rows filled first when fill is given.
void DrawWarped(PackedDib& target, const PackedDib& src, const CVorTransMatrix& matrix, int filter,
                RowFill* fill) {
    CVorTransMatrix toTarget = matrix;
    toTarget.Invert();
    const double w = src.Width(), h = src.Height();
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
        AffineDraw<vor::StepInterpolator<agg::trans_affine>>(ras, target, src, toSource, filter, fill);
    else
        AffineDraw<ClampedInterpolator<agg::trans_affine>>(ras, target, src, toSource, filter, fill);
}

// Drawing an image into itself reads what it writes: the source to read from, a copy (kept in
// `copy`) when it is the target. Null when the copy cannot be made.
const PackedDib* SourceApart(const PackedDib& source, const PackedDib& target, PackedDib& copy) {
    if (&source != &target) return &source;
    copy = source.Clone();
    return copy ? &copy : nullptr;
}

} // namespace

BOOL TransformImage(PackedDib& target, const PackedDib& source, const CVorTransMatrix& matrix, double marginX,
                    double marginY, int filter) try {
    if (!vor::Drawable(target) || !source.Is32() || !matrix.IsUsable()) return 0;
    if (filter < 0 || filter >= kVorFilterCount) filter = 5;
    PackedDib copy;
    const PackedDib* src = SourceApart(source, target, copy);
    if (!src) return 0;
    DrawWarped(target, *src, matrix, filter, nullptr);
    return 1;
} catch (const std::bad_alloc&) {
    return 0;
}

PackedDib TransformedImage(int width, int height, COLORREF colour, BYTE alpha, const PackedDib& source,
                           const CVorTransMatrix& matrix, int filter) try {
    if (width < 1 || height < 1 || width > kMaxRenderSide || height > kMaxRenderSide || !source.Is32() ||
        !matrix.IsUsable())
        return {};
    if (filter < 0 || filter >= kVorFilterCount) filter = 5;
    PackedDib target = PackedDib::Create(width, height, 32);
    if (!target) return target;
    RowFill fill;
    fill.word = GetBValue(colour) | (GetGValue(colour) << 8) | (GetRValue(colour) << 16) |
                (static_cast<std::uint32_t>(alpha) << 24);
    fill.done.assign(static_cast<std::size_t>(height), 0);
    DrawWarped(target, source, matrix, filter, &fill);
    ParallelFor(height, RowGrain(width, 65536), [&](std::ptrdiff_t begin, std::ptrdiff_t end) {
        for (std::ptrdiff_t y = begin; y < end; ++y)
            if (!fill.done[static_cast<std::size_t>(y)]) fill.Row(target, static_cast<int>(y));
    });
    return target;
} catch (const std::bad_alloc&) {
    return {};
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
    const PackedDib* src = SourceApart(source, target, copy);
    if (!src) return 0;
    Rasterizer ras;
    ras.clip_box(0, 0, target.Width(), target.Height());
    AddQuad(ras, quad);

    PremultipliedCopy pre(*src);
    using Interp = ClampedInterpolator<agg::trans_perspective>;
    Render<true>(ras, target, Maker<BilinearGen, PixfmtPre, Interp>(pre.Buffer(), toSource), pre.Uniform());
    return 1;
} catch (const std::bad_alloc&) {
    return 0;
}

} // namespace zepho
