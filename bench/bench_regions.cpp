// Magic-wand regions, fills and brush strokes on a photo-like 1920 x 1080 image. Items are image
// pixels (mask pixels for strokes). The pixman peer builds a region straight from the per-row
// runs of the same pixel set, the cheapest way pixman offers to turn pixels into a region.
#include "raster/Dib.h"
#include "raster/RegionOps.h"

#include <benchmark/benchmark.h>
#include <pixman.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <optional>
#include <random>
#include <vector>

using namespace zepho;

namespace {

constexpr int kW = 1920, kH = 1080;
constexpr int kTolerance = 24;
constexpr POINT kSeed{960, 540};

// Smooth gradients and soft blobs with a little sensor noise: large similar areas with ragged
// borders, as in a photo of sky and foliage.
const PackedDib& Photo() {
    static const PackedDib img = [] {
        PackedDib d = CreateTransparentDIB(kW, kH);
        std::mt19937 rng(42);
        std::normal_distribution<double> noise(0, 2.5);
        for (int y = 0; y < kH; ++y)
            for (int x = 0; x < kW; ++x) {
                const double blob =
                    40 * std::sin(x * 0.013) * std::cos(y * 0.017) + 25 * std::sin((x + y) * 0.031);
                BYTE* p = d.Pixel32(x, y);
                p[0] = static_cast<BYTE>(std::clamp(150 + blob + noise(rng), 0.0, 255.0));
                p[1] = static_cast<BYTE>(std::clamp(120 + 0.05 * y + blob * 0.7 + noise(rng), 0.0, 255.0));
                p[2] = static_cast<BYTE>(std::clamp(90 + 0.03 * x + noise(rng), 0.0, 255.0));
                p[3] = 255;
            }
        return d;
    }();
    return img;
}

// The result's size: rectangles and the share of the image selected.
void Report(benchmark::State& state, const std::optional<Region>& r) {
    if (!r) return;
    double area = 0;
    for (const RECT& rc : r->Rects())
        area += static_cast<double>(rc.Width()) * rc.Height();
    state.counters["rects"] = r->RectCount();
    state.counters["selected"] = area / (double{kW} * kH);
}

void BM_SelectSimilarContiguous(benchmark::State& state) {
    const PackedDib& img = Photo();
    std::optional<Region> r;
    for (auto _ : state) {
        r = SelectSimilarContiguous(img, kSeed.x, kSeed.y, static_cast<int>(state.range(0)));
        benchmark::DoNotOptimize(r);
    }
    state.SetItemsProcessed(state.iterations() * kW * kH);
    Report(state, r);
}

void BM_SelectSimilarGlobal(benchmark::State& state) {
    const PackedDib& img = Photo();
    std::optional<Region> r;
    for (auto _ : state) {
        r = SelectSimilarGlobal(img, kSeed.x, kSeed.y, static_cast<int>(state.range(0)));
        benchmark::DoNotOptimize(r);
    }
    state.SetItemsProcessed(state.iterations() * kW * kH);
    Report(state, r);
}

// The global wand's pixel set as runs per row, handed to pixman in one call.
void BM_PixmanRowSpans(benchmark::State& state) {
    const PackedDib& img = Photo();
    const BYTE* s = img.Pixel32(kSeed.x, kSeed.y);
    auto match = [&](const BYTE* p) {
        for (int c = 0; c < 3; ++c)
            if (std::abs(p[c] - s[c]) > kTolerance) return false;
        return (p[3] >= 128) == (s[3] >= 128);
    };
    std::vector<pixman_box32_t> boxes;
    std::int64_t rects = 0;
    for (auto _ : state) {
        boxes.clear();
        for (int y = 0; y < kH; ++y) {
            const BYTE* row = img.Row(y);
            for (int x = 0; x < kW;) {
                if (!match(row + 4 * x)) {
                    ++x;
                    continue;
                }
                const int x0 = x;
                while (x < kW && match(row + 4 * x))
                    ++x;
                boxes.push_back(pixman_box32_t{x0, y, x, y + 1});
            }
        }
        pixman_region32_t r;
        pixman_region32_init_rects(&r, boxes.data(), static_cast<int>(boxes.size()));
        rects = pixman_region32_n_rects(&r);
        pixman_region32_fini(&r);
    }
    state.SetItemsProcessed(state.iterations() * kW * kH);
    state.counters["rects"] = static_cast<double>(rects);
}

void BM_FloodFillSimilar(benchmark::State& state) {
    const PackedDib& img = Photo();
    const BYTE* s = img.Pixel32(kSeed.x, kSeed.y);
    const COLORREF ref = RGB(s[2], s[1], s[0]);
    PackedDib work = img.Clone();
    for (auto _ : state) {
        state.PauseTiming();
        work = img.Clone();
        state.ResumeTiming();
        benchmark::DoNotOptimize(
            FloodFillSimilar(work, ref, RGB(255, 0, 0), 128, kTolerance, kSeed, nullptr));
    }
    state.SetItemsProcessed(state.iterations() * kW * kH);
}

void BM_StrokeMaskDiagonal(benchmark::State& state) {
    const int w = static_cast<int>(state.range(0));
    std::int64_t pixels = 0;
    for (auto _ : state) {
        POINT at{};
        PackedDib m =
            StrokeMask(kW, kH, PointF{5.3f, 7.1f}, PointF{1900.6f, 1070.2f}, w, 255, nullptr, true, at);
        pixels = std::int64_t{m.Width()} * m.Height();
        benchmark::DoNotOptimize(m);
    }
    state.SetItemsProcessed(state.iterations() * pixels);
}

} // namespace

BENCHMARK(BM_SelectSimilarContiguous)
    ->Arg(kTolerance)
    ->Arg(64)
    ->ArgName("tol")
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SelectSimilarGlobal)->Arg(kTolerance)->Arg(64)->ArgName("tol")->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PixmanRowSpans)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FloodFillSimilar)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_StrokeMaskDiagonal)->Arg(8)->Arg(50)->ArgName("w")->Unit(benchmark::kMillisecond);
