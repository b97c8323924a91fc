// From a slider change to what an effect dialog shows, on a 12-megapixel photo-like image
// (4000 x 3000) in a 1600 x 1000 view at its fit zoom (25 %), wall-clock:
//   first_ms        the change until the quick preview at the view's resolution is in the object;
//   first_drawn_ms  the same plus the repaint of the window that shows it;
//   exact_ms        the change until the exact full-size preview is in the object (the iteration);
//   sync_ms         the effect applied in full on the calling thread, as the dialogs did before;
//   opening_first_ms  first_ms of a change made at once as the dialog opens, which also waits for
//                     the copy and reduction of the image the dialog starts with.
// Each iteration moves the slider by one step, so every one is a real change.
#include "edit/dialogs/EffectModel.h"
#include "edit/document/OrvaneDoc.h"
#include "edit/view/OrvaneView.h"
#include "raster/Dib.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <random>
#include <vector>

using namespace zepho;

namespace {

bool Quick() {
    const char* quick = std::getenv("ZEPHO_BENCH_QUICK");
    return quick && *quick && *quick != '0';
}

struct WindowHost : IViewHost {
    SIZE client;
    explicit WindowHost(SIZE c) : client(c) {}
    void InvalidateRect(const RECT&) override {}
    void InvalidateAll() override {}
    SIZE ClientSize() const override { return client; }
    POINT ScrollPosition() const override { return {0, 0}; }
    void SetScrollSizes(SIZE, bool, bool) override {}
};

struct Scene {
    // The short smoke run takes a quarter of the pixels.
    int w = Quick() ? 2000 : 4000, h = Quick() ? 1500 : 3000;
    COrvaneDoc doc;
    WindowHost host{Quick() ? SIZE{800, 500} : SIZE{1600, 1000}};
    std::unique_ptr<COrvaneView> view;
    Ref<CDrawObj> obj;

    Scene() {
        doc.Image().width = w;
        doc.Image().height = h;
        PackedDib p = CreateDIB(w, h, 32);
        std::mt19937 rng(5);
        for (int y = 0; y < h; ++y) {
            BYTE* row = p.Row(y);
            for (int x = 0; x < w; ++x) {
                row[4 * x] = static_cast<BYTE>((x / 16 + y / 9) ^ (rng() & 7));
                row[4 * x + 1] = static_cast<BYTE>((x * y / 4000) ^ (rng() & 7));
                row[4 * x + 2] = static_cast<BYTE>(y / 12 + (rng() & 15));
                row[4 * x + 3] = 255;
            }
        }
        Ref<CObjContent> c = MakeRef<CObjContent>(KindImage);
        c->SetRaster(std::move(p));
        c->selected = 1;
        obj = MakeRef<CDrawObj>(c);
        obj->visible = 1;
        doc.Image().objects.AddTail(obj);
        view = std::make_unique<COrvaneView>(doc, &host);
        view->SetZoom(view->FitZoom());
        view->UpdateScrollSizes();
    }
};

Scene& TheScene() {
    static Scene scene;
    return scene;
}

// Counts the worker's news, so that the benchmark sleeps until there is something to poll.
struct News {
    std::mutex lock;
    std::condition_variable cv;
    std::uint64_t count = 0;

    void Signal() {
        {
            std::lock_guard<std::mutex> hold(lock);
            ++count;
        }
        cv.notify_all();
    }
    void WaitPast(std::uint64_t& seen) {
        std::unique_lock<std::mutex> hold(lock);
        cv.wait(hold, [&] { return count != seen; });
        seen = count;
    }
    // Like an event loop: wakes for news, or when the time is up.
    void WaitPastUntil(std::uint64_t& seen, std::chrono::steady_clock::time_point until) {
        std::unique_lock<std::mutex> hold(lock);
        cv.wait_until(hold, until, [&] { return count != seen; });
        seen = count;
    }
};

double Ms(std::chrono::steady_clock::duration d) {
    return std::chrono::duration<double, std::milli>(d).count();
}

void RunPreview(benchmark::State& state, EffectKind kind, int param, int a, int b) {
    Scene& s = TheScene();
    using Clock = std::chrono::steady_clock;
    const RECT window{0, 0, s.host.client.cx, s.host.client.cy};

    double sync = 0;
    for (int i = 0; i < 3; ++i) {
        std::vector<int> values;
        for (const EffectParam& p : EffectInfoOf(kind).params)
            values.push_back(p.start);
        values[param] = a;
        const auto t0 = Clock::now();
        PackedDib out = ApplyEffect(kind, s.obj->content->raster, values);
        sync += Ms(Clock::now() - t0);
        benchmark::DoNotOptimize(out.Data());
    }

    CEffectModel model(s.doc, kind, {s.obj});
    News news;
    model.SetListener([&] { news.Signal(); });
    std::uint64_t seen = 0;
    // The first change of a dialog, made at once as it opens, also waits for the worker's copy of
    // the unchanged image and its reduction: apart.
    const auto open = Clock::now();
    model.Prepare();
    model.SetValue(param, b);
    while (!model.Poll())
        news.WaitPast(seen);
    const double opening = Ms(Clock::now() - open);
    model.Settle();
    double first = 0, drawn = 0, exact = 0;
    bool odd = false;
    for (auto _ : state) {
        odd = !odd;
        const auto t0 = Clock::now();
        model.SetValue(param, odd ? a : b);
        while (!model.Poll())
            news.WaitPast(seen);
        const auto t1 = Clock::now();
        PackedDib shown = s.view->Render(window);
        benchmark::DoNotOptimize(shown.Data());
        const auto t2 = Clock::now();
        while (!model.Ready())
            if (!model.Poll()) news.WaitPast(seen);
        const auto t3 = Clock::now();
        first += Ms(t1 - t0);
        drawn += Ms(t2 - t0);
        exact += Ms(t3 - t0);
    }
    model.SetListener({});
    model.Cancel();
    const double n = static_cast<double>(state.iterations());
    state.counters["first_ms"] = first / n;
    state.counters["first_drawn_ms"] = drawn / n;
    state.counters["exact_ms"] = exact / n;
    state.counters["sync_ms"] = sync / 3;
    state.counters["opening_first_ms"] = opening;
    state.counters["zoom"] = s.view->Zoom();
}

// A slider dragged without pause: a change every 16 ms while the worker is still busy with the
// earlier ones, then the time from the last change to its own first (quick) and exact previews.
void RunDrag(benchmark::State& state, EffectKind kind, int param, int from) {
    Scene& s = TheScene();
    using Clock = std::chrono::steady_clock;
    CEffectModel model(s.doc, kind, {s.obj});
    News news;
    model.SetListener([&] { news.Signal(); });
    std::uint64_t seen = 0;
    model.SetValue(param, from);
    model.Settle();
    double first = 0, exact = 0;
    int v = from;
    for (auto _ : state) {
        for (int k = 0; k < 10; ++k) {
            model.SetValue(param, ++v > from + 40 ? (v = from) : v);
            const auto next = Clock::now() + std::chrono::milliseconds(16);
            while (Clock::now() < next) {
                model.Poll();
                news.WaitPastUntil(seen, next);
            }
        }
        const auto t0 = Clock::now();
        model.SetValue(param, v + 1 > from + 40 ? from - 1 : v + 1);
        while (!model.ShowsCurrent())
            if (!model.Poll()) news.WaitPast(seen);
        const auto t1 = Clock::now();
        while (!model.Ready())
            if (!model.Poll()) news.WaitPast(seen);
        first += Ms(t1 - t0);
        exact += Ms(Clock::now() - t0);
    }
    model.SetListener({});
    model.Cancel();
    const double n = static_cast<double>(state.iterations());
    state.counters["drag_first_ms"] = first / n;
    state.counters["drag_exact_ms"] = exact / n;
}

void BM_PreviewDragHue(benchmark::State& state) {
    RunDrag(state, EffectKind::Hsl, 0, 40);
}
void BM_PreviewDragGaussianBlur(benchmark::State& state) {
    RunDrag(state, EffectKind::GaussianBlur, 0, 5);
}

void BM_PreviewHue(benchmark::State& state) {
    RunPreview(state, EffectKind::Hsl, 0, 90, 89);
}
void BM_PreviewGaussianBlur50(benchmark::State& state) {
    RunPreview(state, EffectKind::GaussianBlur, 0, 50, 49);
}
void BM_PreviewBlur50(benchmark::State& state) {
    RunPreview(state, EffectKind::Blur, 0, 50, 49);
}

} // namespace

BENCHMARK(BM_PreviewHue)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(Quick() ? 2 : 8);
BENCHMARK(BM_PreviewGaussianBlur50)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(Quick() ? 2 : 8);
BENCHMARK(BM_PreviewBlur50)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(Quick() ? 2 : 8);
BENCHMARK(BM_PreviewDragHue)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(Quick() ? 1 : 4);
BENCHMARK(BM_PreviewDragGaussianBlur)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(Quick() ? 1 : 4);
