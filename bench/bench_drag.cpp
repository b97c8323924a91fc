// Dragging one object of a 50-object 4096 x 4096 document (photo-like opaque objects, soft-edged
// translucent ones, some with a transparency, every fourth with a shadow) with the move tool in a
// 1920 x 1080 window: the middle object of the stack, 1.3 megapixels, with a shadow. Each
// iteration is one mouse step and the repaint of the area it invalidated, as the widget asks for
// it. keep:1 repaints from the view's kept composition, keep:0 composes every object at every
// step (as the view did before it kept one). max_ms is the slowest step; start_ms the first
// full-window repaint of the drag, which makes the kept images; kept_MB their size.
#include "edit/document/OrvaneDoc.h"
#include "edit/tools/Tool.h"
#include "edit/view/OrvaneView.h"
#include "raster/Dib.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <random>
#include <vector>

using namespace zepho;

namespace {

constexpr int kWinW = 1920, kWinH = 1080, kObjects = 50;

bool Quick() {
    const char* q = std::getenv("ZEPHO_BENCH_QUICK");
    return q && *q && *q != '0';
}

struct DragHost : IViewHost {
    POINT scroll{};
    RECT damage{};
    void Add(const RECT& r) {
        damage = damage.IsEmpty() ? r
                                  : RECT{std::min(damage.left, r.left), std::min(damage.top, r.top),
                                         std::max(damage.right, r.right), std::max(damage.bottom, r.bottom)};
    }
    void InvalidateRect(const RECT& r) override { Add(r); }
    void InvalidateAll() override { damage = RECT{0, 0, kWinW, kWinH}; }
    SIZE ClientSize() const override { return {kWinW, kWinH}; }
    POINT ScrollPosition() const override { return scroll; }
    void SetScrollSizes(SIZE, bool, bool) override {}
    // The part of the window the widget would repaint, and nothing pending afterwards.
    RECT TakeDamage() {
        const RECT r{std::max<LONG>(damage.left, 0), std::max<LONG>(damage.top, 0),
                     std::min<LONG>(damage.right, kWinW), std::min<LONG>(damage.bottom, kWinH)};
        damage = {};
        return r;
    }
};

// Smooth colour fields with grain, opaque: what a photo's pixels look like to the blend.
PackedDib PhotoLike(int w, int h, unsigned seed) {
    PackedDib d = PackedDib::Create(w, h, 32);
    std::mt19937 rng(seed);
    const double fx = 0.002 + (rng() % 100) * 0.0001, fy = 0.003 + (rng() % 100) * 0.0001;
    for (int y = 0; y < h; ++y) {
        BYTE* p = d.Pixel32(0, y);
        for (int x = 0; x < w; ++x, p += 4) {
            const unsigned n = rng();
            p[0] = static_cast<BYTE>(128 + 100 * std::sin(x * fx) + (n & 15));
            p[1] = static_cast<BYTE>(128 + 100 * std::cos(y * fy) + ((n >> 4) & 15));
            p[2] = static_cast<BYTE>((x + y + ((n >> 8) & 31)) & 255);
            p[3] = 255;
        }
    }
    return d;
}

// A soft-edged ellipse, partly translucent inside: a cut-out or a brush stroke.
PackedDib AlphaLike(int w, int h, unsigned seed) {
    PackedDib d = PhotoLike(w, h, seed);
    const double cx = w / 2.0, cy = h / 2.0;
    const int inside = seed % 3 == 0 ? 170 : 255;
    for (int y = 0; y < h; ++y) {
        BYTE* p = d.Pixel32(0, y);
        for (int x = 0; x < w; ++x, p += 4) {
            const double r = std::hypot((x - cx) / cx, (y - cy) / cy);
            p[3] = static_cast<BYTE>(r >= 1 ? 0 : r > 0.85 ? inside * (1 - r) / 0.15 : inside);
        }
    }
    return d;
}

struct DragScene {
    COrvaneDoc doc;
    DragHost host;
    std::unique_ptr<COrvaneView> view;
    int docSize = Quick() ? 1024 : 4096;
    std::vector<POINT> start;

    DragScene() {
        doc.Image().width = docSize;
        doc.Image().height = docSize;
        const int unit = docSize / 1024;
        std::mt19937 rng(11);
        for (int i = 0; i < kObjects; ++i) {
            int w = (250 + static_cast<int>(rng() % 500)) * unit;
            int h = (200 + static_cast<int>(rng() % 400)) * unit;
            if (i == kObjects / 2) w = 330 * unit, h = 250 * unit;
            Ref<CObjContent> c = MakeRef<CObjContent>(KindImage);
            c->SetRaster(i % 3 == 1 ? AlphaLike(w, h, 300 + i) : PhotoLike(w, h, 300 + i));
            if (i % 4 == 0 || i == kObjects / 2) c->UpdateShadow();
            Ref<CDrawObj> o = MakeRef<CDrawObj>(c);
            o->x = static_cast<int>(rng() % static_cast<unsigned>(docSize - w));
            o->y = static_cast<int>(rng() % static_cast<unsigned>(docSize - h));
            o->transparency = i % 4 == 3 ? 60 : 0;
            o->visible = 1;
            doc.Image().objects.AddTail(o);
            start.push_back(o->Position());
        }
        view = std::make_unique<COrvaneView>(doc, &host);
        view->OnInitialUpdate();
    }

    // The middle of the document in view.
    void Place(int zoom) {
        for (int i = 0; i < kObjects; ++i) {
            doc.Image().objects.At(i)->x = start[static_cast<std::size_t>(i)].x;
            doc.Image().objects.At(i)->y = start[static_cast<std::size_t>(i)].y;
        }
        view->SetZoom(zoom);
        const RECT& c = view->CanvasRect();
        host.scroll = {std::max(0, (c.left + c.right - kWinW) / 2),
                       std::max(0, (c.top + c.bottom - kWinH) / 2)};
        view->UpdateScrollSizes();
        view->InvalidateAll();
        host.TakeDamage();
    }
};

DragScene& Scene() {
    static DragScene scene;
    return scene;
}

double Ms(std::chrono::steady_clock::duration d) {
    return std::chrono::duration<double, std::milli>(d).count();
}

void BM_DragObject(benchmark::State& state) {
    const int zoom = static_cast<int>(state.range(0));
    DragScene& s = Scene();
    s.view->SetKeepComposition(state.range(1) != 0);
    s.Place(zoom);
    // The middle object of the stack is grabbed at its centre, which starts at the left of the
    // window: what the move tool does on a press on one of its visible pixels.
    CDrawObj& o = *s.doc.Image().objects.At(kObjects / 2);
    const POINT left = s.view->ClientToCanvas(POINT{40, kWinH / 2});
    o.x = left.x;
    o.y = left.y - o.content->height / 2;
    POINT mouse = s.view->LogicalToClient(s.view->CanvasToLogical(POINT{o.x + o.content->width / 2, left.y}));
    s.doc.Image().DeselectAll();
    o.content->selected = 1;
    s.view->SelectionFlagsChanged();
    CDragState& drag = s.view->Drag();
    drag.start = drag.current = s.view->ClientToCanvas(mouse);
    drag.flags |= CDragState::Moving | CDragState::MoveNotRecorded;
    auto t0 = std::chrono::steady_clock::now();
    PackedDib first = s.view->Render(s.host.TakeDamage());
    const double startMs = Ms(std::chrono::steady_clock::now() - t0);
    benchmark::DoNotOptimize(first.Data());

    double maxMs = 0;
    int dir = 1;
    for (auto _ : state) {
        // Across the window and back, a little downwards and up again on the way.
        if (mouse.x > kWinW - 300) dir = -1;
        if (mouse.x < 300) dir = 1;
        mouse.x += 14 * dir;
        mouse.y += (mouse.x / 140) % 2 == 0 ? 3 : -3;
        t0 = std::chrono::steady_clock::now();
        s.view->OnMouseMove(kMkLButton, mouse);
        PackedDib d = s.view->Render(s.host.TakeDamage());
        maxMs = std::max(maxMs, Ms(std::chrono::steady_clock::now() - t0));
        benchmark::DoNotOptimize(d.Data());
    }
    state.counters["kept_MB"] = static_cast<double>(s.view->KeptCompositionBytes()) / (1 << 20);
    state.counters["object_px"] = static_cast<double>(o.content->width) * o.content->height;
    s.view->OnLButtonUp(kMkLButton, mouse);
    s.host.TakeDamage();
    state.counters["max_ms"] = maxMs;
    state.counters["start_ms"] = startMs;
}

} // namespace

BENCHMARK(BM_DragObject)
    ->ArgsProduct({{1, -2}, {0, 1}})
    ->ArgNames({"zoom", "keep"})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
