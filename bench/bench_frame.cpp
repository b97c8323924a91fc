// Frame composition of a document as the view repaints it. items/s counts pixel-object pairs
// (view pixels x objects) so that the figure compares with one BM_BlendTransparent per object.
#include "model/Frame.h"
#include "raster/Blend.h"
#include "raster/Dib.h"

#include <benchmark/benchmark.h>

#include <cstdint>
#include <random>

using namespace zepho;

namespace {

constexpr int kW = 1920, kH = 1080, kObjects = 20;

PackedDib RandomAlphaImage(int w, int h, unsigned seed) {
    PackedDib d = CreateTransparentDIB(w, h);
    std::mt19937 rng(seed);
    auto* p = reinterpret_cast<std::uint32_t*>(d.Bits());
    for (std::size_t i = 0, n = std::size_t(w) * h; i < n; ++i) p[i] = rng();
    return d;
}

const CDrawObjList& Document() {
    static CDrawObjList list = [] {
        CDrawObjList l;
        for (int i = 0; i < kObjects; ++i) {
            Ref<CObjContent> c = MakeRef<CObjContent>(KindImage);
            c->SetRaster(RandomAlphaImage(kW, kH, 100 + i));
            if (i % 2) c->UpdateShadow();
            Ref<CDrawObj> o = MakeRef<CDrawObj>(c);
            o->visible = 1;
            l.AddTail(o);
        }
        return l;
    }();
    return list;
}

void BM_DrawFrame(benchmark::State& state) {
    const int zoom = static_cast<int>(state.range(0));
    const CDrawObjList& doc = Document();
    PackedDib view = CreateSolidDIB(kW, kH, RGB(255, 255, 255), 255);
    for (auto _ : state) {
        DrawFrame(doc, view, POINT{0, 0}, zoom);
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * std::int64_t{kW} * kH * kObjects);
}

} // namespace

BENCHMARK(BM_DrawFrame)->Arg(1)->Arg(2)->Arg(-2)->ArgName("zoom")->Unit(benchmark::kMillisecond);
