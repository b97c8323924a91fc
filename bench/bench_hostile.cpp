// Documents whose size comes from their object count: a GIF of many one-pixel frames read into
// one object each, and a polygon of many points rendered. Items/s are objects/s and points/s.
#include "codecs/OpenExport.h"
#include "model/PolygonObj.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

using namespace zepho;

namespace {

// n frames of one pixel each, a graphic control extension before every frame.
std::string ManyFrameGif(int n) {
    const std::string path = "/tmp/zepho_bench_frames_" + std::to_string(n) + ".gif";
    std::vector<unsigned char> b = {'G',  'I', 'F', '8', '9', 'a', 1,   0,   1,  0,
                                    0x80, 0,   0,   0,   0,   0,   255, 255, 255};
    const unsigned char frame[] = {0x21, 0xF9, 4, 8, 2, 0, 0, 0, 0x2C, 0, 0, 0,
                                   0,    1,    0, 1, 0, 0, 2, 2, 0x44, 1, 0};
    for (int i = 0; i < n; ++i)
        b.insert(b.end(), frame, frame + sizeof frame);
    b.push_back(0x3B);
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(b.data()), std::streamsize(b.size()));
    return path;
}

void BM_OpenManyFrameGif(benchmark::State& state) {
    const int n = static_cast<int>(state.range(0));
    const std::string path = ManyFrameGif(n);
    for (auto _ : state) {
        CDocImage doc;
        LoadFlags flags;
        if (!OpenFile(doc, path, flags, nullptr) || doc.objects.Count() != n)
            state.SkipWithError("open failed");
    }
    state.SetItemsProcessed(state.iterations() * n);
    std::remove(path.c_str());
}
BENCHMARK(BM_OpenManyFrameGif)->Arg(25000)->Arg(200000)->Unit(benchmark::kMillisecond);

// A filled and outlined polygon of n points on a circle of 400 pixels.
void BM_RenderPolygon(benchmark::State& state) {
    const int n = static_cast<int>(state.range(0));
    CPolygonObj poly;
    poly.strokeWidth = 1;
    for (int i = 0; i < n; ++i) {
        const double a = 2 * M_PI * i / n;
        poly.points.push_back({500 + 400 * std::cos(a), 500 + 400 * std::sin(a)});
    }
    for (auto _ : state) {
        PackedDib d = poly.Render();
        benchmark::DoNotOptimize(d.Bits());
    }
    state.SetItemsProcessed(state.iterations() * n);
}
BENCHMARK(BM_RenderPolygon)->Arg(62500)->Arg(1000000)->Unit(benchmark::kMillisecond);

} // namespace
