// The colour adjustments on a 12-megapixel photo-like image (4000 x 3000), as the dialogs' live
// preview runs them on every slider change; items/s are pixels/s. `threads` 1 is one thread,
// 0 every core (wall-clock time). The HSL scalar figure is the path without AVX2.
#include "extlib/AdjustHsl.h"
#include "extlib/ImageTransform.h"
#include "platform/Parallel.h"
#include "raster/Adjust.h"
#include "raster/Dib.h"

#include <benchmark/benchmark.h>

#include <cstdint>
#include <random>

using namespace zepho;

namespace {

constexpr int kW = 4000, kH = 3000;

const PackedDib& Photo() {
    static PackedDib d = [] {
        PackedDib p = CreateDIB(kW, kH, 32);
        std::mt19937 rng(5);
        for (int y = 0; y < kH; ++y) {
            BYTE* row = p.Row(y);
            for (int x = 0; x < kW; ++x) {
                row[4 * x] = static_cast<BYTE>((x / 16 + y / 9) ^ (rng() & 7));
                row[4 * x + 1] = static_cast<BYTE>((x * y / 4000) ^ (rng() & 7));
                row[4 * x + 2] = static_cast<BYTE>(y / 12 + (rng() & 15));
                row[4 * x + 3] = 255;
            }
        }
        return p;
    }();
    return d;
}

template <class Fn> void Run(benchmark::State& state, Fn fn) {
    SetParallelThreads(static_cast<int>(state.range(0)));
    for (auto _ : state) {
        PackedDib out = fn(Photo());
        benchmark::DoNotOptimize(out.Data());
    }
    SetParallelThreads(0);
    state.SetItemsProcessed(state.iterations() * std::int64_t{kW} * kH);
}

void BM_AdjustHue(benchmark::State& state) {
    Run(state, [](const PackedDib& d) { return AdjustDIBHSL(d, 90, 0, 0, nullptr, 0); });
}
void BM_AdjustHslAll(benchmark::State& state) {
    Run(state, [](const PackedDib& d) { return AdjustDIBHSL(d, -40, 30, -20, nullptr, 0); });
}
void BM_AdjustHueScalar(benchmark::State& state) {
    const bool was = detail::HslVectorActive();
    detail::SetHslVector(false);
    Run(state, [](const PackedDib& d) { return AdjustDIBHSL(d, 90, 0, 0, nullptr, 0); });
    detail::SetHslVector(was);
}
void BM_AdjustBrightContrast(benchmark::State& state) {
    Run(state, [](const PackedDib& d) { return AdjustDIBBrightAndConstract(d, 40, 30, nullptr, 0); });
}
void BM_AdjustRGB(benchmark::State& state) {
    Run(state, [](const PackedDib& d) { return AdjustDIBRGB(d, 20, -30, 40, nullptr, 0); });
}
void BM_MakeGray(benchmark::State& state) {
    Run(state, [](const PackedDib& d) { return MakeGray(d); });
}
void BM_MakeNegative(benchmark::State& state) {
    Run(state, [](const PackedDib& d) { return MakeNegative(d); });
}

void Threads(benchmark::internal::Benchmark* b) {
    b->Arg(1)->ArgName("threads")->Unit(benchmark::kMillisecond);
}
void Threaded(benchmark::internal::Benchmark* b) {
    b->Arg(0)->ArgName("threads")->UseRealTime()->Unit(benchmark::kMillisecond);
}

} // namespace

BENCHMARK(BM_AdjustHue)->Apply(Threads);
BENCHMARK(BM_AdjustHue)->Apply(Threaded);
BENCHMARK(BM_AdjustHueScalar)->Apply(Threads);
BENCHMARK(BM_AdjustHslAll)->Apply(Threads);
BENCHMARK(BM_AdjustBrightContrast)->Apply(Threads);
BENCHMARK(BM_AdjustBrightContrast)->Apply(Threaded);
BENCHMARK(BM_AdjustRGB)->Apply(Threads);
BENCHMARK(BM_AdjustRGB)->Apply(Threaded);
BENCHMARK(BM_MakeGray)->Apply(Threads);
BENCHMARK(BM_MakeNegative)->Apply(Threads);
