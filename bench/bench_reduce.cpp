// Colour reduction for export on a screen-sized photo-like image; items/s are pixels/s.
#include "raster/ColorReduce.h"
#include "raster/Dib.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <random>

using namespace zepho;

namespace {

constexpr int kWidth = 1920, kHeight = 1080;

// Smooth gradients with a little noise: hundreds of thousands of colours, like a photo.
const PackedDib& Photo24() {
    static PackedDib d = [] {
        PackedDib p = CreateDIB(kWidth, kHeight, 24);
        std::mt19937 rng(99);
        for (int y = 0; y < kHeight; ++y) {
            BYTE* row = p.Row(y);
            for (int x = 0; x < kWidth; ++x, row += 3) {
                const int noise = static_cast<int>(rng() % 9) - 4;
                auto clamp = [](double v) { return static_cast<BYTE>(v < 0 ? 0 : v > 255 ? 255 : v); };
                row[0] = clamp(128 + 100 * std::sin(x * 0.004 + y * 0.002) + noise);
                row[1] = clamp(y * 255.0 / kHeight + noise);
                row[2] = clamp(x * 255.0 / kWidth - noise);
            }
        }
        return p;
    }();
    return d;
}

// A graphic with 200 colours in flat runs: the exact palette succeeds.
const PackedDib& Graphic24() {
    static PackedDib d = [] {
        PackedDib p = CreateDIB(kWidth, kHeight, 24);
        for (int y = 0; y < kHeight; ++y) {
            BYTE* row = p.Row(y);
            for (int x = 0; x < kWidth; ++x, row += 3) {
                const int c = (x / 24 + y / 40) % 200;
                row[0] = static_cast<BYTE>(c);
                row[1] = static_cast<BYTE>(255 - c);
                row[2] = static_cast<BYTE>(c * 7);
            }
        }
        return p;
    }();
    return d;
}

void BM_MakeExactPalette_Graphic(benchmark::State& state) {
    for (auto _ : state)
        benchmark::DoNotOptimize(MakeExactPalette(Graphic24()));
    state.SetItemsProcessed(state.iterations() * kWidth * kHeight);
}
BENCHMARK(BM_MakeExactPalette_Graphic)->Unit(benchmark::kMillisecond);

// Bails out at the 257th colour, which a photo reaches within its first row.
void BM_MakeExactPalette_Photo(benchmark::State& state) {
    for (auto _ : state)
        benchmark::DoNotOptimize(MakeExactPalette(Photo24()));
}
BENCHMARK(BM_MakeExactPalette_Photo)->Unit(benchmark::kMicrosecond);

void BM_ReduceTo8_Photo(benchmark::State& state) {
    for (auto _ : state)
        benchmark::DoNotOptimize(ReduceTo8(Photo24(), 256));
    state.SetItemsProcessed(state.iterations() * kWidth * kHeight);
}
BENCHMARK(BM_ReduceTo8_Photo)->Unit(benchmark::kMillisecond);

void BM_ConvertToBlackWhite_Photo(benchmark::State& state) {
    for (auto _ : state)
        benchmark::DoNotOptimize(ConvertToBlackWhite(Photo24()));
    state.SetItemsProcessed(state.iterations() * kWidth * kHeight);
}
BENCHMARK(BM_ConvertToBlackWhite_Photo)->Unit(benchmark::kMillisecond);

} // namespace
