// The Transform menu's filters on a full-HD image; items/s are pixels/s. Box blur costs the same
// at every size. Pixman's convolution filter runs the same 3 x 3 kernels on the same bytes as a
// peer (it weighs every tap of the window per pixel, so it is only measured at radius 1).
// The Gaussian blur also reports Pillow's GaussianBlur of the same pixels with the same sigma
// (pillow_ms, CPU time, median of five, timed in a python3 subprocess) when Pillow is installed.
// The argument `threads` 0 means every core; runs on more than one thread report wall-clock time.
#include "platform/Parallel.h"
#include "raster/Dib.h"
#include "raster/Filters.h"

#include <benchmark/benchmark.h>
#include <pixman.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <random>
#include <string>
#include <unistd.h>
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
    SetParallelThreads(static_cast<int>(state.range(1)));
    for (auto _ : state) {
        PackedDib out = BoxBlur(src, static_cast<int>(state.range(0)));
        benchmark::DoNotOptimize(out.Data());
    }
    SetParallelThreads(0);
    SetPixels(state);
}

// Pillow's GaussianBlur of Photo()'s bytes (as RGBA) with standard deviation sigma, in ms of
// CPU time; 0 when Pillow cannot be run.
double PillowGaussianMs(double sigma) {
    static std::map<double, double> cache;
    if (auto it = cache.find(sigma); it != cache.end()) return it->second;
    char path[] = "/tmp/zepho-bench-XXXXXX";
    const int fd = mkstemp(path);
    if (fd < 0) return cache[sigma] = 0;
    close(fd);
    {
        std::ofstream f(path, std::ios::binary);
        for (int y = 0; y < kH; ++y)
            f.write(reinterpret_cast<const char*>(Photo().Row(y)), 4 * kW);
    }
    const std::string script = "import sys,time\nfrom PIL import Image, ImageFilter\n"
                               "im=Image.frombytes('RGBA',(" +
                               std::to_string(kW) + "," + std::to_string(kH) +
                               "),open(sys.argv[1],'rb').read())\nts=[]\n"
                               "for i in range(6):\n t=time.process_time(); "
                               "im.filter(ImageFilter.GaussianBlur(float(sys.argv[2])))\n"
                               " ts.append(time.process_time()-t)\n"
                               "ts=sorted(ts[1:]); print(ts[2]*1000)\n";
    const std::string scriptPath = std::string(path) + ".py";
    std::ofstream(scriptPath) << script;
    double ms = 0;
    for (const char* python : {"/usr/bin/python3", "python3"}) {
        const std::string cmd = std::string(python) + " " + scriptPath + " " + path + " " +
                                std::to_string(sigma) + " 2>/dev/null";
        if (FILE* p = popen(cmd.c_str(), "r")) {
            if (std::fscanf(p, "%lf", &ms) != 1) ms = 0;
            pclose(p);
        }
        if (ms > 0) break;
    }
    std::remove(path);
    std::remove(scriptPath.c_str());
    return cache[sigma] = ms;
}

void BM_GaussianBlur(benchmark::State& state) {
    const PackedDib& src = Photo();
    const int size = static_cast<int>(state.range(0));
    SetParallelThreads(static_cast<int>(state.range(1)));
    for (auto _ : state) {
        PackedDib out = GaussianBlur(src, size);
        benchmark::DoNotOptimize(out.Data());
    }
    SetParallelThreads(0);
    SetPixels(state);
    // The same radius and sigma as ours.
    const int n = size % 2 ? size : size - 1;
    const double r = std::max((n - 1) / 2, 1);
    state.counters["pillow_ms"] = PillowGaussianMs(r / 3);
}

void BM_GaussianBlurReference(benchmark::State& state) {
    for (auto _ : state) {
        PackedDib out = detail::GaussianBlurReference(Photo(), static_cast<int>(state.range(0)));
        benchmark::DoNotOptimize(out.Data());
    }
    SetPixels(state);
}

// Runs `filter` on Photo() with the thread count in the benchmark's first argument.
template <class Filter> void RunOnPhoto(benchmark::State& state, Filter filter) {
    const PackedDib& src = Photo();
    SetParallelThreads(static_cast<int>(state.range(0)));
    for (auto _ : state) {
        PackedDib out = filter(src);
        benchmark::DoNotOptimize(out.Data());
    }
    SetParallelThreads(0);
    SetPixels(state);
}

void BM_Sharpen(benchmark::State& state) {
    RunOnPhoto(state, [](const PackedDib& d) { return Sharpen(d, 200); });
}

void BM_Emboss(benchmark::State& state) {
    RunOnPhoto(state, [](const PackedDib& d) { return Emboss(d, 128, 3, 45); });
}

void BM_Sunspot(benchmark::State& state) {
    RunOnPhoto(state, [](const PackedDib& d) { return Sunspot(d, 30, 60, 90); });
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

BENCHMARK(BM_BoxBlur)
    ->Args({3, 1})
    ->Args({50, 1})
    ->Args({101, 1})
    ->ArgNames({"size", "threads"})
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_BoxBlur)
    ->Args({3, 2})
    ->Args({50, 2})
    ->Args({101, 2})
    ->ArgNames({"size", "threads"})
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_GaussianBlur)
    ->Args({3, 1})
    ->Args({50, 1})
    ->ArgNames({"size", "threads"})
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_GaussianBlur)
    ->Args({3, 0})
    ->Args({50, 0})
    ->ArgNames({"size", "threads"})
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_GaussianBlurReference)->Arg(3)->Arg(50)->ArgName("size")->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Sharpen)->Arg(1)->ArgName("threads")->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Sharpen)->Arg(2)->ArgName("threads")->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Emboss)->Arg(1)->ArgName("threads")->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Emboss)->Arg(2)->ArgName("threads")->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Sunspot)->Arg(1)->ArgName("threads")->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Sunspot)->Arg(2)->ArgName("threads")->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PixmanBox3)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PixmanGaussian3)->Unit(benchmark::kMillisecond);
