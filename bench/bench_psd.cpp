// Layered PSD export and layer import of a 1920 x 1080 document with three layers: a
// photograph-like background, a flat half-transparent panel and a noisy sticker with a shadow.
// Then the import of a 1920 x 1080 layer whose channels are Zip coded, as other programs write
// them, beside zlib inflating the same channels alone (the peer: the least such an import costs).
// Everything in memory; items/s are pixels/s over all layers and the composite.
#include "codecs/PsdCodec.h"
#include "platform/ByteStream.h"
#include "raster/Dib.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <random>

#include <zlib.h>

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

// One layer of the photograph-like picture with graded transparency, its four channels Zip coded.
struct ZipFixture {
    std::vector<BYTE> file;
    std::vector<std::vector<BYTE>> streams;
    ZipFixture() {
        PackedDib d = Smooth(kW, kH);
        for (int y = 0; y < kH; ++y)
            for (int x = 0; x < kW; ++x)
                d.Pixel32(x, y)[3] = static_cast<BYTE>(x * 255 / (kW - 1));
        std::vector<BYTE> plane(static_cast<std::size_t>(kW) * kH);
        for (const int byte : {3, 2, 1, 0}) { // transparency, red, green, blue
            for (int y = 0; y < kH; ++y)
                for (int x = 0; x < kW; ++x)
                    plane[static_cast<std::size_t>(y) * kW + x] = d.Pixel32(x, y)[byte];
            uLongf size = compressBound(static_cast<uLong>(plane.size()));
            std::vector<BYTE> z(size);
            compress2(z.data(), &size, plane.data(), static_cast<uLong>(plane.size()), 6);
            z.resize(size);
            streams.push_back(std::move(z));
        }
        auto u16 = [this](unsigned v) { file.insert(file.end(), {BYTE(v >> 8), BYTE(v)}); };
        auto u32 = [this](std::uint32_t v) {
            file.insert(file.end(), {BYTE(v >> 24), BYTE(v >> 16), BYTE(v >> 8), BYTE(v)});
        };
        file = {'8', 'B', 'P', 'S', 0, 1, 0, 0, 0, 0, 0, 0};
        u16(3), u32(kH), u32(kW), u16(8), u16(3), u32(0), u32(0);
        const std::size_t section = file.size();
        u32(0), u32(0), u16(1);
        u32(0), u32(0), u32(kH), u32(kW), u16(4);
        for (int k = 0; k < 4; ++k)
            u16(static_cast<unsigned>(k - 1) & 0xFFFF),
                u32(static_cast<std::uint32_t>(2 + streams[k].size()));
        file.insert(file.end(), {'8', 'B', 'I', 'M', 'n', 'o', 'r', 'm', 255, 0, 0, 0});
        u32(12), u32(0), u32(0), u32(0x024C3100); // the name "L1"
        for (const auto& z : streams) {
            u16(2);
            file.insert(file.end(), z.begin(), z.end());
        }
        if ((file.size() - section) % 2) file.push_back(0);
        u32(0);
        const std::uint32_t length = static_cast<std::uint32_t>(file.size() - section - 4);
        for (int i = 0; i < 4; ++i) {
            file[section + i] = BYTE(length >> (24 - 8 * i));
            file[section + 4 + i] = BYTE((length - 8) >> (24 - 8 * i));
        }
    }
};

const ZipFixture& ZipData() {
    static const ZipFixture f;
    return f;
}

void BM_PsdImportZipLayer(benchmark::State& state) {
    const ZipFixture& f = ZipData();
    for (auto _ : state) {
        Ref<CDocImage> doc = MakeRef<CDocImage>();
        MemoryReader in(f.file.data(), f.file.size());
        if (!ReadPsdLayers(*doc, in, nullptr) || doc->objects.Count() != 1) {
            state.SkipWithError("the Zip-coded layer was not read");
            return;
        }
    }
    state.SetItemsProcessed(state.iterations() * std::int64_t{kW} * kH);
}
BENCHMARK(BM_PsdImportZipLayer)->Unit(benchmark::kMillisecond);

void BM_ZlibInflatePeer(benchmark::State& state) {
    const ZipFixture& f = ZipData();
    std::vector<BYTE> plane(static_cast<std::size_t>(kW) * kH);
    for (auto _ : state)
        for (const auto& z : f.streams) {
            uLongf size = static_cast<uLongf>(plane.size());
            benchmark::DoNotOptimize(uncompress(plane.data(), &size, z.data(), static_cast<uLong>(z.size())));
        }
    state.SetItemsProcessed(state.iterations() * std::int64_t{kW} * kH);
}
BENCHMARK(BM_ZlibInflatePeer)->Unit(benchmark::kMillisecond);

} // namespace
