// Span generators for image warps that read a premultiplied B, G, R, A buffer directly, with
// the arithmetic of AGG's generators, byte for byte: the bilinear one (weights on a 1/256 grid,
// rounded shift by 16) and the lookup-table filters of even diameter (weights rounded to 1/16384,
// the sum rounded, colours held to alpha). Pixels outside the buffer repeat its edge, as with
// AGG's clone accessor. On x86 the taps of a row are weighed in pairs with SSE2, and the 2 x 2
// samplers take eight pixels at a time with AVX2 where the processor has it.
#pragma once

#include <agg_basics.h>
#include <agg_color_rgba.h>
#include <agg_image_filters.h>
#include <agg_rendering_buffer.h>
#include <agg_span_image_filter.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <vector>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace zepho::vor {

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

// AGG's linear span interpolator (the same end points, the same forward-adjusted steps), with
// the step written without a branch: its carry is data-dependent and would mispredict on
// every other pixel of a turned image.
template <class Transformer = agg::trans_affine> class StepInterpolator {
public:
    using trans_type = Transformer;
    static constexpr int subpixel_shift = agg::image_subpixel_shift;
    static constexpr int subpixel_scale = 1 << subpixel_shift;

    explicit StepInterpolator(Transformer& trans) : trans_(&trans) {}

    void begin(double x, double y, unsigned len) {
        double tx = x, ty = y;
        trans_->transform(&tx, &ty);
        const int x1 = agg::iround(tx * subpixel_scale), y1 = agg::iround(ty * subpixel_scale);
        tx = x + len;
        ty = y;
        trans_->transform(&tx, &ty);
        const int x2 = agg::iround(tx * subpixel_scale), y2 = agg::iround(ty * subpixel_scale);
        x_.Start(x1, x2, static_cast<int>(len));
        y_.Start(y1, y2, static_cast<int>(len));
    }
    void operator++() {
        x_.Step();
        y_.Step();
    }
    void coordinates(int* x, int* y) const {
        *x = x_.y;
        *y = y_.y;
    }

private:
    struct Line {
        int cnt = 1, lft = 0, rem = 0, mod = 0, y = 0;
        void Start(int y1, int y2, int count) {
            cnt = count <= 0 ? 1 : count;
            lft = (y2 - y1) / cnt;
            rem = (y2 - y1) % cnt;
            mod = rem;
            y = y1;
            if (mod <= 0) {
                mod += count;
                rem += count;
                --lft;
            }
            mod -= count;
        }
        void Step() {
            mod += rem;
            y += lft;
            const int carry = mod > 0;
            mod -= cnt & -carry;
            y += carry;
        }
    };
    Transformer* trans_;
    Line x_, y_;
};

// Where a 2 x 2 sampler reads: the address of the picture's top row, the distance from one row to
// the next (either sign), and the size.
struct TapSource {
    const agg::int8u* row0 = nullptr;
    std::ptrdiff_t stride = 0;
    int width = 0, height = 0;
};
// Samples n pixels at the interpolator's coordinates (xs, ys) with 2 x 2 taps into premultiplied
// B, G, R, A words. table is null for the bilinear weights; for a two-tap filter table it holds,
// for each sub-pixel phase f, weight[255 - f] in the low and weight[511 - f] in the high 16 bits.
// The source's rows and columns must be addressable with 32-bit offsets (see FitsTapOffsets).
using Sample2x2Fn = void (*)(const TapSource& src, const int* xs, const int* ys, int n,
                             const std::int32_t* table, std::uint32_t* out);
// The AVX2 path when the processor has it and it is switched on, else null. ZEPHO_DISABLE_SIMD=1
// (or ZEPHO_SIMD=sse2 or scalar) switches it off at the start.
Sample2x2Fn ActiveSample2x2();
// Switches the AVX2 path on or off, for tests and benchmarks that compare the paths.
void SetSamplerSimd(bool on);

inline bool FitsTapOffsets(const agg::rendering_buffer& buf) {
    const long long stride = buf.stride() < 0 ? -static_cast<long long>(buf.stride()) : buf.stride();
    return buf.height() > 0 && buf.width() > 0 && stride * buf.height() < (1LL << 31) - 8;
}

template <class Interpolator, int Diameter> class DirectSampler {
public:
    using color_type = agg::rgba8;

    // Diameter 0 is AGG's bilinear filter (no table); otherwise lut's diameter must be Diameter.
    DirectSampler(const agg::rendering_buffer& buf, Interpolator& interp, const agg::image_filter_lut* lut)
        : buf_(buf), interp_(interp), weights_(lut ? lut->weight_array() : nullptr),
          start_(lut ? lut->start() : 0) {
        if constexpr (Diameter == 0 || Diameter == 2) {
            // The wide path reads the taps at the pixel and the next one (a two-tap table starts at 0).
            if (FitsTapOffsets(buf) && start_ == 0) wide_ = ActiveSample2x2();
            if (wide_) {
                taps_.row0 = buf.row_ptr(0);
                taps_.stride = buf.stride();
                taps_.width = static_cast<int>(buf.width());
                taps_.height = static_cast<int>(buf.height());
            }
            if (wide_ && Diameter == 2) {
                pairs_.resize(agg::image_subpixel_scale);
                for (int f = 0; f < agg::image_subpixel_scale; ++f)
                    pairs_[f] = static_cast<std::int32_t>(
                        (static_cast<std::uint32_t>(static_cast<std::uint16_t>(weights_[255 - f]))) |
                        (static_cast<std::uint32_t>(static_cast<std::uint16_t>(weights_[511 - f])) << 16));
            }
        }
    }

    void prepare() {}

    // The span as premultiplied B, G, R, A words, the byte order of the pictures.
    void generate_bgra(std::uint32_t* out, int x, int y, unsigned len) {
        if (!wide_) {
            // One pixel at a time through the span of colours.
            span_.resize(len);
            generate_narrow(span_.data(), x, y, len);
            for (unsigned i = 0; i < len; ++i) {
                const color_type& c = span_[i];
                out[i] = c.b | (c.g << 8) | (c.r << 16) | (static_cast<std::uint32_t>(c.a) << 24);
            }
            return;
        }
        xs_.resize(len);
        ys_.resize(len);
        interp_.begin(x + 0.5, y + 0.5, len);
        // Stepped in a local copy, which stays in registers.
        Interpolator walk = interp_;
        int* xs = xs_.data();
        int* ys = ys_.data();
        for (unsigned i = 0; i < len; ++i) {
            walk.coordinates(&xs[i], &ys[i]);
            ++walk;
        }
        interp_ = walk;
        wide_(taps_, xs_.data(), ys_.data(), static_cast<int>(len), Diameter ? pairs_.data() : nullptr, out);
    }

    void generate(color_type* span, int x, int y, unsigned len) {
        if (!wide_) {
            generate_narrow(span, x, y, len);
            return;
        }
        words_.resize(len);
        generate_bgra(words_.data(), x, y, len);
        for (unsigned i = 0; i < len; ++i) {
            const std::uint32_t v = words_[i];
            span[i] = color_type(static_cast<agg::int8u>(v >> 16), static_cast<agg::int8u>(v >> 8),
                                 static_cast<agg::int8u>(v), static_cast<agg::int8u>(v >> 24));
        }
    }

private:
    void generate_narrow(color_type* span, int x, int y, unsigned len) {
        constexpr int kTaps = Diameter ? Diameter : 2;
        const int w = static_cast<int>(buf_.width()), h = static_cast<int>(buf_.height());
        interp_.begin(x + 0.5, y + 0.5, len);
        // A second walk a few pixels ahead asks for the source lines before they are read: along
        // a turned row each pixel may start a new source row, which no hardware prefetch foresees.
        constexpr unsigned kAhead = 16;
        Interpolator ahead = interp_;
        for (unsigned i = 0; i < kAhead && i < len; ++i)
            ++ahead;
        unsigned aheadLeft = len > kAhead ? len - kAhead : 0;
        do {
            if (aheadLeft) {
                int ax = 0, ay = 0;
                ahead.coordinates(&ax, &ay);
                ax = std::clamp((ax >> agg::image_subpixel_shift) + start_, 0, w - 1);
                ay = std::clamp((ay >> agg::image_subpixel_shift) + start_, 0, h - 1);
                __builtin_prefetch(buf_.row_ptr(ay) + 4 * ax);
                __builtin_prefetch(buf_.row_ptr(std::min(ay + kTaps - 1, h - 1)) + 4 * ax);
                ++ahead;
                --aheadLeft;
            }
            int xs = 0, ys = 0;
            interp_.coordinates(&xs, &ys);
            xs -= agg::image_subpixel_scale / 2;
            ys -= agg::image_subpixel_scale / 2;
            const int xFract = xs & agg::image_subpixel_mask, yFract = ys & agg::image_subpixel_mask;
            const int x0 = (xs >> agg::image_subpixel_shift) + start_,
                      y0 = (ys >> agg::image_subpixel_shift) + start_;
            // Rows and columns of the taps, held inside the buffer.
            const agg::int8u* rows[kTaps];
            int cols[kTaps];
            for (int r = 0; r < kTaps; ++r)
                rows[r] = buf_.row_ptr(std::clamp(y0 + r, 0, h - 1));
            for (int c = 0; c < kTaps; ++c)
                cols[c] = 4 * std::clamp(x0 + c, 0, w - 1);
            if constexpr (Diameter == 0)
                Bilinear(span, rows, cols, xFract, yFract);
            else
                Filtered(span, rows, cols, xFract, yFract);
            ++span;
            ++interp_;
        } while (--len);
    }

private:
    // fg = 128 * 256 + sum of weight * pixel, weights (256 - fx or fx) * (256 - fy or fy); the
    // sum is taken row by row, which is the same integer.
    static std::uint32_t Tap(const agg::int8u* row, int col) {
        std::uint32_t v;
        std::memcpy(&v, row + col, 4);
        return v;
    }
#if defined(__SSE2__)
    static __m128i TapVec(const agg::int8u* row, int col) {
        return _mm_cvtsi32_si128(static_cast<int>(Tap(row, col)));
    }
#endif

    static void Bilinear(color_type* span, const agg::int8u* const* rows, const int* cols, int fx, int fy) {
#if defined(__SSE2__)
        const __m128i zero = _mm_setzero_si128();
        const __m128i wx = _mm_set1_epi32((fx << 16) | (agg::image_subpixel_scale - fx));
        auto rowSum = [&](const agg::int8u* row) {
            const __m128i ab = _mm_unpacklo_epi8(TapVec(row, cols[0]), TapVec(row, cols[1]));
            return _mm_madd_epi16(_mm_unpacklo_epi8(ab, zero), wx); // each at most 65280
        };
        // Every product and sum below is an integer under 2^24, so the floats are exact.
        const __m128 top = _mm_cvtepi32_ps(rowSum(rows[0]));
        const __m128 bottom = _mm_cvtepi32_ps(rowSum(rows[1]));
        __m128 v =
            _mm_add_ps(_mm_mul_ps(top, _mm_set1_ps(static_cast<float>(agg::image_subpixel_scale - fy))),
                       _mm_mul_ps(bottom, _mm_set1_ps(static_cast<float>(fy))));
        v = _mm_mul_ps(_mm_add_ps(v, _mm_set1_ps(32768.0f)), _mm_set1_ps(1.0f / 65536));
        Store(span, _mm_cvttps_epi32(v), false);
#else
        unsigned fg[4] = {32768, 32768, 32768, 32768};
        const unsigned weight[4] = {unsigned((256 - fx) * (256 - fy)), unsigned(fx * (256 - fy)),
                                    unsigned((256 - fx) * fy), unsigned(fx * fy)};
        for (int t = 0; t < 4; ++t) {
            const std::uint32_t px = Tap(rows[t / 2], cols[t % 2]);
            for (int c = 0; c < 4; ++c)
                fg[c] += weight[t] * ((px >> (8 * c)) & 255);
        }
        span->b = static_cast<agg::int8u>(fg[0] >> 16);
        span->g = static_cast<agg::int8u>(fg[1] >> 16);
        span->r = static_cast<agg::int8u>(fg[2] >> 16);
        span->a = static_cast<agg::int8u>(fg[3] >> 16);
#endif
    }

    void Filtered(color_type* span, const agg::int8u* const* rows, const int* cols, int xFract,
                  int yFract) const {
        constexpr int kMask = agg::image_subpixel_mask, kScale = agg::image_subpixel_scale;
        constexpr int kHalf = agg::image_filter_scale / 2;
        int wx[Diameter];
        for (int c = 0; c < Diameter; ++c)
            wx[c] = weights_[kMask - xFract + c * kScale];
#if defined(__SSE2__)
        const __m128i zero = _mm_setzero_si128();
        __m128i sum = _mm_set1_epi32(kHalf);
        for (int r = 0; r < Diameter; ++r) {
            const int wy = weights_[kMask - yFract + r * kScale];
            for (int c = 0; c < Diameter; c += 2) {
                // Weights are within +-16384, so they fit the 16-bit lanes.
                const int w0 = (wy * wx[c] + kHalf) >> agg::image_filter_shift;
                const int w1 = (wy * wx[c + 1] + kHalf) >> agg::image_filter_shift;
                const __m128i pair = _mm_unpacklo_epi8(
                    _mm_unpacklo_epi8(TapVec(rows[r], cols[c]), TapVec(rows[r], cols[c + 1])), zero);
                const __m128i wv = _mm_set1_epi32(static_cast<int>((static_cast<unsigned>(w1) << 16) |
                                                                   (static_cast<unsigned>(w0) & 0xFFFFu)));
                sum = _mm_add_epi32(sum, _mm_madd_epi16(pair, wv));
            }
        }
        Store(span, _mm_srai_epi32(sum, agg::image_filter_shift), true);
#else
        int s[4] = {kHalf, kHalf, kHalf, kHalf};
        for (int r = 0; r < Diameter; ++r) {
            const int wy = weights_[kMask - yFract + r * kScale];
            for (int c = 0; c < Diameter; ++c) {
                const int wt = (wy * wx[c] + kHalf) >> agg::image_filter_shift;
                const std::uint32_t px = Tap(rows[r], cols[c]);
                for (int k = 0; k < 4; ++k)
                    s[k] += wt * static_cast<int>((px >> (8 * k)) & 255);
            }
        }
        const int a = std::clamp(s[3] >> agg::image_filter_shift, 0, 255);
        span->a = static_cast<agg::int8u>(a);
        span->b = static_cast<agg::int8u>(std::clamp(s[0] >> agg::image_filter_shift, 0, a));
        span->g = static_cast<agg::int8u>(std::clamp(s[1] >> agg::image_filter_shift, 0, a));
        span->r = static_cast<agg::int8u>(std::clamp(s[2] >> agg::image_filter_shift, 0, a));
#endif
    }

#if defined(__SSE2__)
    // Four 32-bit channels B, G, R, A held to 0..255 (and the colours to alpha when asked) into
    // the span's R, G, B, A.
    static void Store(color_type* span, __m128i bgra, bool toAlpha) {
        __m128i v = _mm_packs_epi32(_mm_shuffle_epi32(bgra, _MM_SHUFFLE(3, 0, 1, 2)), bgra);
        v = _mm_min_epi16(_mm_max_epi16(v, _mm_setzero_si128()), _mm_set1_epi16(255));
        if (toAlpha) v = _mm_min_epi16(v, _mm_shufflelo_epi16(v, _MM_SHUFFLE(3, 3, 3, 3)));
        const int out = _mm_cvtsi128_si32(_mm_packus_epi16(v, v));
        std::memcpy(static_cast<void*>(span), &out, 4);
    }
#endif

    const agg::rendering_buffer& buf_;
    Interpolator& interp_;
    const agg::int16* weights_;
    int start_;
    Sample2x2Fn wide_ = nullptr;
    TapSource taps_;
    std::vector<std::int32_t> pairs_;
    std::vector<int> xs_, ys_;
    std::vector<std::uint32_t> words_;
    std::vector<color_type> span_;
};

} // namespace zepho::vor
