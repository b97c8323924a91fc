// What makes a photo upright and sRGB costs, beside what decoding it costs: a 12-megapixel JPEG
// (4000 x 3000) decoded, its pixels converted from a wide-gamut profile to sRGB, and turned a
// quarter. items/s are pixels/s; CPU time counts every thread's (ZEPHO_THREADS=1 for one).
#include "extlib/ImageIOCodecs.h"
#include "extlib/PhotoLook.h"
#include "raster/Dib.h"
#include "support/Profiles.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdlib>
#include <vector>

using namespace zepho;

namespace {

int Width() {
    const char* quick = std::getenv("ZEPHO_BENCH_QUICK");
    return quick && *quick && *quick != '0' ? 400 : 4000;
}

// A photo-like picture: smooth gradients with grain.
PackedDib Photo() {
    const int w = Width(), h = w * 3 / 4;
    PackedDib d = PackedDib::Create(w, h, 24);
    std::uint32_t seed = 7;
    for (int y = 0; y < h; ++y) {
        BYTE* p = d.Row(y);
        for (int x = 0; x < w; ++x, p += 3) {
            seed = seed * 1664525 + 1013904223;
            const int grain = static_cast<int>(seed >> 28) - 8;
            p[0] = static_cast<BYTE>(std::clamp(x * 255 / w + grain, 0, 255));
            p[1] = static_cast<BYTE>(std::clamp(y * 255 / h + grain, 0, 255));
            p[2] = static_cast<BYTE>(std::clamp((x + y) * 127 / w + grain, 0, 255));
        }
    }
    return d;
}

void BM_PhotoJpegDecode(benchmark::State& state) {
    MemoryWriter out;
    EncodeJpeg(Photo(), 90, out, nullptr);
    for (auto _ : state)
        benchmark::DoNotOptimize(DecodeJpeg(out.Data(), nullptr));
    state.SetItemsProcessed(state.iterations() * Width() * (Width() * 3 / 4));
}
BENCHMARK(BM_PhotoJpegDecode)->Unit(benchmark::kMillisecond)->MeasureProcessCPUTime()->UseRealTime();

void BM_PhotoProfileToSrgb(benchmark::State& state) {
    const std::vector<BYTE> icc = test::ProfileBytes(test::WideGamutProfile());
    const PackedDib photo = Photo();
    for (auto _ : state) {
        state.PauseTiming();
        PackedDib d = photo.Clone();
        state.ResumeTiming();
        if (ConvertToSrgb(d, icc) != ProfileOutcome::Converted) state.SkipWithError("not converted");
    }
    state.SetItemsProcessed(state.iterations() * photo.Width() * photo.Height());
}
BENCHMARK(BM_PhotoProfileToSrgb)->Unit(benchmark::kMillisecond)->MeasureProcessCPUTime()->UseRealTime();

void BM_PhotoTurnQuarter(benchmark::State& state) {
    const PackedDib photo = Photo();
    for (auto _ : state) {
        state.PauseTiming();
        PackedDib d = photo.Clone();
        state.ResumeTiming();
        benchmark::DoNotOptimize(ApplyOrientation(std::move(d), 6));
    }
    state.SetItemsProcessed(state.iterations() * photo.Width() * photo.Height());
}
BENCHMARK(BM_PhotoTurnQuarter)->Unit(benchmark::kMillisecond)->MeasureProcessCPUTime()->UseRealTime();

} // namespace
