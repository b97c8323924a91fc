// The commit of a free transform of a 12-megapixel image object, as the transform tool and the
// property editor make it: the object re-rendered from its source at the new angle and scale
// (and its shadow rebuilt when it has one). Wall-clock time with the given number of threads; the
// CPU column sums every thread.
#include "model/BitmapObj.h"
#include "model/DrawObj.h"
#include "model/ObjContent.h"
#include "platform/Parallel.h"
#include "raster/Dib.h"

#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstdlib>
#include <random>

using namespace zepho;

namespace {

// An opaque 4000 x 3000 picture with detail.
const PackedDib& Photo() {
    static const PackedDib photo = [] {
        PackedDib d = CreateTransparentDIB(4000, 3000);
        std::mt19937 rng(4242);
        for (int y = 0; y < d.Height(); ++y) {
            BYTE* p = d.Row(y);
            for (int x = 0; x < d.Width(); ++x, p += 4) {
                p[0] = static_cast<BYTE>(x ^ y);
                p[1] = static_cast<BYTE>((x * 3 + y) >> 2);
                p[2] = static_cast<BYTE>(rng());
                p[3] = 255;
            }
        }
        return d;
    }();
    return photo;
}

Ref<CDrawObj> PlainObject(bool shadow) {
    Ref<CObjContent> c = MakeRef<CObjContent>(KindImage);
    c->SetRaster(Photo().Clone());
    if (shadow) c->UpdateShadow();
    return MakeRef<CDrawObj>(c);
}

// Arguments: threads, 1 when the object is a plain image (the first transform makes its
// source), 1 with a shadow, and the angle and scale (percent) of the commit.
void BM_TransformCommit(benchmark::State& state) {
    const int threads = static_cast<int>(state.range(0));
    const bool first = state.range(1) != 0, shadow = state.range(2) != 0;
    const double angle = static_cast<double>(state.range(3)), scale = state.range(4) / 100.0;
    SetParallelThreads(threads);
    Ref<CDrawObj> again = first ? Ref<CDrawObj>{} : PlainObject(shadow);
    if (again) again->TransformAbout(2000, 1500, 1.0, 1.0, 1.0);
    for (auto _ : state) {
        Ref<CDrawObj> obj = again;
        state.PauseTiming();
        if (first) {
            obj = PlainObject(shadow);
        } else {
            // Back to the source's own size, so that every commit scales it the same.
            Ref<CBitmapObj> bmp = RefCast<CBitmapObj>(obj->content->shape);
            bmp->scaleX = bmp->scaleY = 1.0;
        }
        state.ResumeTiming();
        const bool done = obj->TransformAbout(2000, 1500, scale, scale, angle);
        if (!done) state.SkipWithError("the transform failed");
        benchmark::DoNotOptimize(obj->content->raster.Bits());
        if (first) {
            state.PauseTiming();
            obj.Reset();
            state.ResumeTiming();
        }
    }
    SetParallelThreads(0);
}

// Threads, first, shadow, angle, scale. The short run of `make test` (ZEPHO_BENCH_QUICK=1) takes
// only the rotate commit itself: the others cost seconds each.
void CommitArgs(benchmark::internal::Benchmark* b) {
    b->ArgNames({"threads", "first", "shadow", "angle", "scale"});
    b->Args({2, 0, 0, 30, 100});
    const char* quick = std::getenv("ZEPHO_BENCH_QUICK");
    if (quick && *quick && *quick != '0') return;
    b->Args({2, 1, 0, 30, 100});
    b->Args({1, 0, 0, 30, 100});
    b->Args({2, 0, 0, 0, 150});
    b->Args({1, 0, 1, 30, 100});
    b->Args({2, 0, 1, 30, 100});
}

} // namespace

BENCHMARK(BM_TransformCommit)
    ->Apply(CommitArgs)
    ->UseRealTime()
    ->MeasureProcessCPUTime()
    ->Unit(benchmark::kMillisecond);
