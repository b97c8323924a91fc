// The direct samplers of the image warps against AGG's own span generators on the same buffer:
// the same bytes for every filter, on random positions inside, across and far outside the
// edges, under a turn and under a magnifying shear.
#include "extlib/VorSampler.h"
#include "extlib/VorGeometry.h"

#include <agg_image_accessors.h>
#include <agg_image_filters.h>
#include <agg_pixfmt_rgba.h>
#include <agg_span_image_filter_rgba.h>
#include <agg_span_interpolator_linear.h>

#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <vector>

namespace zepho {
namespace {

using Pixfmt = agg::pixfmt_bgra32_pre;
using Accessor = agg::image_accessor_clone<Pixfmt>;

void Calculate(agg::image_filter_lut& lut, int which) {
    switch (which) {
    case 0:
        lut.calculate(agg::image_filter_hanning(), true);
        break;
    case 1:
        lut.calculate(agg::image_filter_bicubic(), true);
        break;
    case 2:
        lut.calculate(agg::image_filter_spline36(), true);
        break;
    case 3:
        lut.calculate(agg::image_filter_lanczos(4.0), true);
        break;
    default:
        lut.calculate(agg::image_filter_bessel(), true);
        break;
    }
}

template <class Interp, class Trans>
void CompareOn(const agg::rendering_buffer& buf, Trans& trans, unsigned seed) {
    std::mt19937 rng(seed);
    Pixfmt pixf(const_cast<agg::rendering_buffer&>(buf));
    Accessor acc(pixf);
    std::vector<agg::rgba8> want(64), got(64);
    for (int which = -1; which < 5; ++which) {
        agg::image_filter_lut lut;
        if (which >= 0) Calculate(lut, which);
        for (int iter = 0; iter < 150; ++iter) {
            const int x = static_cast<int>(rng() % 120) - 40, y = static_cast<int>(rng() % 120) - 40;
            const unsigned len = 1 + rng() % 64;
            Interp a(trans), b(trans);
            if (which < 0) {
                agg::span_image_filter_rgba_bilinear<Accessor, Interp> ref(acc, a);
                ref.generate(want.data(), x, y, len);
                vor::DirectSampler<Interp, 0> direct(buf, b, nullptr);
                direct.generate(got.data(), x, y, len);
            } else {
                vor::RoundedFilterRgba<Accessor, Interp> ref(acc, a, lut);
                ref.generate(want.data(), x, y, len);
                const int d = static_cast<int>(lut.diameter());
                ASSERT_TRUE(d == 2 || d == 4 || d == 6 || d == 8) << d;
                if (d == 2) vor::DirectSampler<Interp, 2>(buf, b, &lut).generate(got.data(), x, y, len);
                if (d == 4) vor::DirectSampler<Interp, 4>(buf, b, &lut).generate(got.data(), x, y, len);
                if (d == 6) vor::DirectSampler<Interp, 6>(buf, b, &lut).generate(got.data(), x, y, len);
                if (d == 8) vor::DirectSampler<Interp, 8>(buf, b, &lut).generate(got.data(), x, y, len);
            }
            ASSERT_EQ(0, std::memcmp(want.data(), got.data(), len * sizeof(agg::rgba8)))
                << "seed " << seed << " filter " << which << " at " << x << "," << y << " len " << len;
        }
    }
}

TEST(VorSampler, DirectSamplersGiveTheBytesOfAggsGenerators) {
    // A premultiplied source with every alpha, 29 x 17, so windows cross every edge.
    const int w = 29, h = 17;
    std::mt19937 rng(31337);
    std::vector<agg::int8u> bytes(w * h * 4);
    for (int i = 0; i < w * h; ++i) {
        const unsigned a = rng() % 4 == 0 ? 255 : rng() % 256;
        for (int c = 0; c < 3; ++c)
            bytes[4 * i + c] = static_cast<agg::int8u>(rng() % (a + 1));
        bytes[4 * i + 3] = static_cast<agg::int8u>(a);
    }
    agg::rendering_buffer buf(bytes.data(), w, h, w * 4);

    CVorTransMatrix turn = CVorTransMatrix::Rotation(0.7);
    turn.Multiply(CVorTransMatrix::Scaling(0.8, 0.6));
    turn.Multiply(CVorTransMatrix::Translation(3.3, -2.1));
    agg::trans_affine& affine = turn;
    // Magnified with a shear: many target pixels per source pixel, every sub-pixel phase.
    agg::trans_affine shear(0.13, 0.05, -0.07, 0.21, -4.5, 6.25);
    // Both the eight-pixel path, where the processor has it, and the one-pixel path.
    for (bool wide : {true, false}) {
        SCOPED_TRACE(wide ? "eight at a time" : "one at a time");
        vor::SetSamplerSimd(wide);
        CompareOn<agg::span_interpolator_linear<agg::trans_affine>>(buf, affine, 1);
        CompareOn<vor::StepInterpolator<agg::trans_affine>>(buf, affine, 3);
        CompareOn<agg::span_interpolator_linear<agg::trans_affine>>(buf, shear, 2);
        // Upside down in memory, as the pictures' own rows are read.
        std::vector<agg::int8u> flipped(bytes.size());
        for (int y = 0; y < h; ++y)
            std::memcpy(&flipped[(h - 1 - y) * w * 4], &bytes[y * w * 4], w * 4);
        agg::rendering_buffer up(flipped.data(), w, h, -w * 4);
        CompareOn<vor::StepInterpolator<agg::trans_affine>>(up, affine, 4);
    }
    vor::SetSamplerSimd(true);
}

// The branch-free interpolator steps exactly as AGG's linear one, on spans of every length and
// slopes of both signs, steep and shallow.
TEST(VorSampler, StepInterpolatorFollowsAggsLinearInterpolator) {
    std::mt19937 rng(99);
    for (int iter = 0; iter < 2000; ++iter) {
        const double a = (rng() % 2000) / 1000.0 - 1, b = (rng() % 2000) / 1000.0 - 1;
        agg::trans_affine m(a * 3, b, -b, a * 0.5 + (rng() % 7), (rng() % 1000) - 500.5,
                            (rng() % 1000) / 7.0);
        agg::span_interpolator_linear<agg::trans_affine> want(m);
        vor::StepInterpolator<agg::trans_affine> got(m);
        const unsigned len = 1 + rng() % 300;
        const double x = static_cast<int>(rng() % 400) - 200 + 0.5,
                     y = static_cast<int>(rng() % 400) - 200 + 0.5;
        want.begin(x, y, len);
        got.begin(x, y, len);
        for (unsigned i = 0; i < len; ++i, ++want, ++got) {
            int wx, wy, gx, gy;
            want.coordinates(&wx, &wy);
            got.coordinates(&gx, &gy);
            ASSERT_EQ(wx, gx) << "iteration " << iter << " step " << i;
            ASSERT_EQ(wy, gy) << "iteration " << iter << " step " << i;
        }
    }
}

} // namespace
} // namespace zepho
