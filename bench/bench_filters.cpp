// The Transform menu's filters on a full-HD image; items/s are pixels/s. Box blur costs the same
// at every size. Pixman's convolution filter runs the same 3 x 3 kernels on the same bytes as a
// peer (it weighs every tap of the window per pixel, so it is only measured at radius 1).
#include "raster/Dib.h"
#include "raster/Filters.h"

#include <benchmark/benchmark.h>
#include <pixman.h>

#include <cmath>
#include <random>
#include <vector>

using namespace zepho;

namespace {

constexpr int kW = 1920, kH = 1080;

const PackedDib& Photo() {
    static PackedDib d = [] {
        PackedDib p = CreateDIB(kW, kH, 32);
        std::mt19937 rng(77);
        for (int y = 0; y < kH; ++y)
            for (int x = 0; x < kW * 4; ++x)
                p.Row(y)[x] = static_cast<BYTE>((x / 4 + y) ^ (rng() & 15));
        return p;
    }();
    return d;
}

void SetPixels(benchmark::State& state) {
    state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(kW) * kH);
}

void BM_BoxBlur(benchmark::State& state) {
    const PackedDib& src = Photo();
    for (auto _ : state) {
        PackedDib out = BoxBlur(src, static_cast<int>(state.range(0)));
        benchmark::DoNotOptimize(out.Data());
    }
    SetPixels(state);
}

void BM_GaussianBlur(benchmark::State& state) {
    const PackedDib& src = Photo();
    for (auto _ : state) {
        PackedDib out = GaussianBlur(src, static_cast<int>(state.range(0)));
        benchmark::DoNotOptimize(out.Data());
    }
    SetPixels(state);
}

void BM_Sharpen(benchmark::State& state) {
    for (auto _ : state) {
        PackedDib out = Sharpen(Photo(), 200);
        benchmark::DoNotOptimize(out.Data());
    }
    SetPixels(state);
}

// A 3 x 3 convolution with pixman: `weights` are the row weights of a separable kernel.
void PixmanConvolve(benchmark::State& state, const double (&weights)[3]) {
    const PackedDib& src = Photo();
    PackedDib dst = CreateDIB(kW, kH, 32);
    auto wrap = [](const PackedDib& d) {
        return pixman_image_create_bits(PIXMAN_a8r8g8b8, d.Width(), d.Height(),
                                        reinterpret_cast<uint32_t*>(const_cast<BYTE*>(d.Bits())),
                                        static_cast<int>(d.Stride()));
    };
    pixman_image_t* s = wrap(src);
    pixman_image_t* d = wrap(dst);
    std::vector<pixman_fixed_t> params = {pixman_int_to_fixed(3), pixman_int_to_fixed(3)};
    for (double wy : weights)
        for (double wx : weights)
            params.push_back(pixman_double_to_fixed(wx * wy));
    pixman_image_set_filter(s, PIXMAN_FILTER_CONVOLUTION, params.data(), static_cast<int>(params.size()));
    pixman_image_set_repeat(s, PIXMAN_REPEAT_PAD);
    for (auto _ : state) {
        pixman_image_composite32(PIXMAN_OP_SRC, s, nullptr, d, 0, 0, 0, 0, 0, 0, kW, kH);
        benchmark::DoNotOptimize(dst.Data());
    }
    pixman_image_unref(s);
    pixman_image_unref(d);
    SetPixels(state);
}

void BM_PixmanBox3(benchmark::State& state) {
    const double third[3] = {1.0 / 3, 1.0 / 3, 1.0 / 3};
    PixmanConvolve(state, third);
}

void BM_PixmanGaussian3(benchmark::State& state) {
    const double e = std::exp(-4.5), sum = 1 + 2 * e;
    const double k[3] = {e / sum, 1 / sum, e / sum};
    PixmanConvolve(state, k);
}

} // namespace

BENCHMARK(BM_BoxBlur)->Arg(3)->Arg(50)->Arg(101)->ArgName("size")->Unit(benchmark::kMillisecond);
BENCHMARK(BM_GaussianBlur)->Arg(3)->Arg(50)->ArgName("size")->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Sharpen)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PixmanBox3)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PixmanGaussian3)->Unit(benchmark::kMillisecond);
