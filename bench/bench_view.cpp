// A full-window repaint of the view: surround, edge, checkerboard, frame composition, object
// frames and the selection outline, as the widget asks for it. items/s counts window pixels.
#include "edit/document/OrvaneDoc.h"
#include "edit/view/OrvaneView.h"
#include "raster/Dib.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdint>
#include <memory>
#include <random>

using namespace zepho;

namespace {

constexpr int kDocW = 4000, kDocH = 3000, kObjects = 20;
constexpr int kWinW = 1920, kWinH = 1080;

struct WindowHost : IViewHost {
    POINT scroll{};
    void InvalidateRect(const RECT&) override {}
    void InvalidateAll() override {}
    SIZE ClientSize() const override { return {kWinW, kWinH}; }
    POINT ScrollPosition() const override { return scroll; }
    void SetScrollSizes(SIZE, bool, bool) override {}
};

PackedDib RandomAlphaImage(int w, int h, unsigned seed) {
    PackedDib d = CreateTransparentDIB(w, h);
    std::mt19937 rng(seed);
    auto* p = reinterpret_cast<std::uint32_t*>(d.Bits());
    for (std::size_t i = 0, n = std::size_t(w) * h; i < n; ++i)
        p[i] = rng();
    return d;
}

struct Scene {
    COrvaneDoc doc;
    WindowHost host;
    std::unique_ptr<COrvaneView> view;

    Scene() {
        doc.Image().width = kDocW;
        doc.Image().height = kDocH;
        std::mt19937 rng(7);
        for (int i = 0; i < kObjects; ++i) {
            Ref<CObjContent> c = MakeRef<CObjContent>(KindImage);
            c->SetRaster(RandomAlphaImage(1200 + 40 * i, 900 + 30 * i, 100 + i));
            if (i % 4 == 0) c->UpdateShadow();
            c->selected = i % 5 == 0;
            Ref<CDrawObj> o = MakeRef<CDrawObj>(c);
            o->x = static_cast<int>(rng() % 2800);
            o->y = static_cast<int>(rng() % 2100);
            o->visible = 1;
            doc.Image().objects.AddTail(o);
        }
        view = std::make_unique<COrvaneView>(doc, &host);
        view->SetSelection(Region::Ellipse(RECT{500, 400, 3500, 2600}));
    }
};

void BM_ViewRepaint(benchmark::State& state) {
    static Scene scene;
    scene.view->SetZoom(static_cast<int>(state.range(0)));
    // The middle of the document when it scrolls.
    const RECT& c = scene.view->CanvasRect();
    scene.host.scroll = {std::max(0, (c.left + c.right - kWinW) / 2),
                         std::max(0, (c.top + c.bottom - kWinH) / 2)};
    for (auto _ : state) {
        PackedDib d = scene.view->Render(RECT{0, 0, kWinW, kWinH});
        benchmark::DoNotOptimize(d.Data());
    }
    state.SetItemsProcessed(state.iterations() * std::int64_t{kWinW} * kWinH);
}

} // namespace

BENCHMARK(BM_ViewRepaint)->Arg(1)->Arg(2)->Arg(-2)->Arg(-4)->ArgName("zoom")->Unit(benchmark::kMillisecond);
