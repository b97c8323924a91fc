// Layered PSD export and layer import of a 1920 x 1080 document with three layers: a
// photograph-like background, a flat half-transparent panel and a noisy sticker with a shadow.
// Everything in memory; items/s are pixels/s over all layers and the composite.
#include "codecs/PsdCodec.h"
#include "platform/ByteStream.h"
#include "raster/Dib.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <random>

using namespace zepho;

namespace {

constexpr int kW = 1920;
constexpr int kH = 1080;

PackedDib Smooth(int w, int h) {
    PackedDib d = CreateSolidDIB(w, h, 0, 255);
    std::mt19937 rng(42);
    for (int y = 0; y < h; ++y) {
        BYTE* p = d.Row(y);
        for (int x = 0; x < w; ++x, p += 4) {
            const double v =
                128 + 60 * std::sin(x * 0.011 + y * 0.004) + 50 * std::cos(y * 0.013 - x * 0.002);
            const int base = std::clamp(static_cast<int>(v), 0, 255);
            p[0] = static_cast<BYTE>(base);
            p[1] = static_cast<BYTE>(std::clamp(base + static_cast<int>(rng() % 5) - 2, 0, 255));
            p[2] = static_cast<BYTE>(255 - base);
        }
    }
    return d;
}

PackedDib Noisy(int w, int h) {
    PackedDib d = CreateTransparentDIB(w, h);
    std::mt19937 rng(7);
    for (int y = 0; y < h; ++y) {
        BYTE* p = d.Row(y);
        for (int x = 0; x < w; ++x, p += 4) {
            const std::uint32_t v = rng();
            std::memcpy(p, &v, 4);
        }
    }
    return d;
}

void Add(CDocImage& doc, PackedDib raster, int x, int y, int transparency) {
    Ref<CObjContent> c = MakeRef<CObjContent>(KindImage);
    c->SetRaster(std::move(raster));
    Ref<CDrawObj> o = MakeRef<CDrawObj>(c);
    o->x = x;
    o->y = y;
    o->visible = 1;
    o->transparency = static_cast<std::uint8_t>(transparency);
    doc.objects.AddTail(o);
}

struct Fixture {
    Ref<CDocImage> doc = MakeRef<CDocImage>();
    std::vector<BYTE> file;
    std::int64_t pixels = 0;
    Fixture() {
        doc->width = kW;
        doc->height = kH;
        Add(*doc, Smooth(kW, kH), 0, 0, 0);
        Add(*doc, CreateSolidDIB(800, 500, RGB(20, 90, 200), 200), 100, 80, 40);
        Add(*doc, Noisy(400, 300), 1200, 600, 0);
        Ref<CObjContent> sticker = doc->objects.Tail()->content;
        sticker->shadowRaster = CreateSolidDIB(420, 320, 0, 160);
        sticker->shadowPosX = 5;
        sticker->shadowPosY = 5;
        MemoryWriter out;
        ExportPsd(*doc, out, nullptr, RGB(255, 255, 255));
        file = out.Take();
        pixels = 2LL * kW * kH + 800 * 500 + 425 * 325;
    }
};

const Fixture& Data() {
    static const Fixture f;
    return f;
}

void BM_PsdExport(benchmark::State& state) {
    const Fixture& f = Data();
    for (auto _ : state) {
        MemoryWriter out;
        benchmark::DoNotOptimize(ExportPsd(*f.doc, out, nullptr, RGB(255, 255, 255)));
    }
    state.SetItemsProcessed(state.iterations() * f.pixels);
}
BENCHMARK(BM_PsdExport)->Unit(benchmark::kMillisecond);

void BM_PsdImportLayers(benchmark::State& state) {
    const Fixture& f = Data();
    for (auto _ : state) {
        Ref<CDocImage> doc = MakeRef<CDocImage>();
        MemoryReader in(f.file.data(), f.file.size());
        benchmark::DoNotOptimize(ReadPsdLayers(*doc, in, nullptr));
    }
    state.SetItemsProcessed(state.iterations() * (f.pixels - 1LL * kW * kH));
}
BENCHMARK(BM_PsdImportLayers)->Unit(benchmark::kMillisecond);

} // namespace
