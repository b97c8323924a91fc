// Image warps and the shadow blur, with pixman's affine transform on the same data as the peer
// figure. Every benchmark reports items/s as source pixels/s.
#include "extlib/VorRender.h"
#include "platform/Parallel.h"
#include "raster/Dib.h"

#include <benchmark/benchmark.h>
#include <pixman.h>

#include <cmath>
#include <cstdint>
#include <random>

using namespace zepho;

namespace {

constexpr int kW = 1920, kH = 1080;
constexpr double kAngle = 30 * 0.017453292519943295;

// An opaque picture with detail, so that filters have something to do.
PackedDib Photo(int w = kW, int h = kH) {
    PackedDib d = CreateTransparentDIB(w, h);
    std::mt19937 rng(99);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            BYTE* p = d.Pixel32(x, y);
            p[0] = static_cast<BYTE>(x ^ y);
            p[1] = static_cast<BYTE>((x * 3 + y) >> 2);
            p[2] = static_cast<BYTE>(rng());
            p[3] = 255;
        }
    return d;
}

// The target that holds the whole turned picture, and the target-to-source matrix.
struct Turn {
    int tw, th;
    CVorTransMatrix toSource;
};
Turn MakeTurn(int w = kW, int h = kH) {
    const double c = std::cos(kAngle), s = std::sin(kAngle);
    Turn t;
    t.tw = static_cast<int>(std::ceil(w * c + h * s));
    t.th = static_cast<int>(std::ceil(w * s + h * c));
    CVorTransMatrix m = CVorTransMatrix::Translation(-w / 2.0, -h / 2.0);
    m.Multiply(CVorTransMatrix::Rotation(kAngle));
    m.Multiply(CVorTransMatrix::Translation(t.tw / 2.0, t.th / 2.0));
    m.Invert();
    t.toSource = m;
    return t;
}

// Arguments: filter, threads (1 one thread, 0 every core: wall-clock time), and the source's
// width and height.
void BM_TransformImage(benchmark::State& state) {
    const int filter = static_cast<int>(state.range(0));
    const int w = static_cast<int>(state.range(2)), h = static_cast<int>(state.range(3));
    const PackedDib src = Photo(w, h);
    const Turn turn = MakeTurn(w, h);
    PackedDib dst = CreateSolidDIB(turn.tw, turn.th, RGB(255, 255, 255), 0);
    SetParallelThreads(static_cast<int>(state.range(1)));
    for (auto _ : state) {
        TransformImage(dst, src, turn.toSource, 0, 0, filter);
        benchmark::DoNotOptimize(dst.Bits());
    }
    SetParallelThreads(0);
    state.SetItemsProcessed(state.iterations() * w * h);
    state.SetLabel(kVorFilterNames[filter]);
}
void TransformArgs(benchmark::internal::Benchmark* b) {
    for (int filter : {0, 1, 5})
        b->Args({filter, 1, kW, kH});
    b->ArgNames({"filter", "threads", "w", "h"})->Unit(benchmark::kMillisecond);
}
// A 12-megapixel photo turned as the free-transform commit does.
void PhotoArgs(benchmark::internal::Benchmark* b) {
    for (int filter : {1, 5})
        b->Args({filter, 1, 4000, 3000});
    b->ArgNames({"filter", "threads", "w", "h"})->Unit(benchmark::kMillisecond);
}
void ThreadedArgs(benchmark::internal::Benchmark* b) {
    for (int filter : {1, 5}) {
        b->Args({filter, 0, kW, kH});
        b->Args({filter, 0, 4000, 3000});
    }
    b->ArgNames({"filter", "threads", "w", "h"})->UseRealTime()->Unit(benchmark::kMillisecond);
}
BENCHMARK(BM_TransformImage)->Apply(TransformArgs);
BENCHMARK(BM_TransformImage)->Apply(PhotoArgs);
BENCHMARK(BM_TransformImage)->Apply(ThreadedArgs);

// The same turn through pixman, bilinear, OVER onto a transparent target (pixman's pixels are
// premultiplied; the opaque source reads the same either way).
void BM_PixmanTransform(benchmark::State& state) {
    PackedDib src = Photo();
    const Turn turn = MakeTurn();
    PackedDib dst = CreateSolidDIB(turn.tw, turn.th, RGB(255, 255, 255), 0);
    // Pixman wants top-down rows; a negative stride from the last stored row gives that.
    const auto topDown = [](PackedDib& d) { return reinterpret_cast<std::uint32_t*>(d.Row(0)); };
    pixman_image_t* s =
        pixman_image_create_bits(PIXMAN_a8r8g8b8, kW, kH, topDown(src), -static_cast<int>(src.Stride()));
    pixman_image_t* d = pixman_image_create_bits(PIXMAN_a8r8g8b8, turn.tw, turn.th, topDown(dst),
                                                 -static_cast<int>(dst.Stride()));
    const agg::trans_affine& m = turn.toSource;
    pixman_transform_t t;
    pixman_transform_init_identity(&t);
    t.matrix[0][0] = pixman_double_to_fixed(m.sx);
    t.matrix[0][1] = pixman_double_to_fixed(m.shx);
    t.matrix[0][2] = pixman_double_to_fixed(m.tx);
    t.matrix[1][0] = pixman_double_to_fixed(m.shy);
    t.matrix[1][1] = pixman_double_to_fixed(m.sy);
    t.matrix[1][2] = pixman_double_to_fixed(m.ty);
    pixman_image_set_transform(s, &t);
    pixman_image_set_filter(s, PIXMAN_FILTER_BILINEAR, nullptr, 0);
    for (auto _ : state) {
        pixman_image_composite32(PIXMAN_OP_OVER, s, nullptr, d, 0, 0, 0, 0, 0, 0, turn.tw, turn.th);
        benchmark::DoNotOptimize(dst.Bits());
    }
    pixman_image_unref(s);
    pixman_image_unref(d);
    state.SetItemsProcessed(state.iterations() * kW * kH);
}
BENCHMARK(BM_PixmanTransform)->Unit(benchmark::kMillisecond);

// A shadow-like canvas: an opaque ellipse in one colour on transparency.
void BM_BlurShadow(benchmark::State& state) {
    const double radius = static_cast<double>(state.range(0));
    PackedDib dib = CreateSolidDIB(kW, kH, RGB(30, 30, 30), 0);
    for (int y = 0; y < kH; ++y)
        for (int x = 0; x < kW; ++x) {
            const double u = (x - kW / 2.0) / (kW / 3.0), v = (y - kH / 2.0) / (kH / 3.0);
            if (u * u + v * v < 1) dib.Pixel32(x, y)[3] = 255;
        }
    for (auto _ : state) {
        BlurShadowDIB(dib, radius);
        benchmark::DoNotOptimize(dib.Bits());
    }
    state.SetItemsProcessed(state.iterations() * kW * kH);
}
// Runs on ZEPHO_THREADS threads; the CPU column sums them all.
BENCHMARK(BM_BlurShadow)
    ->Arg(2)
    ->Arg(150)
    ->UseRealTime()
    ->MeasureProcessCPUTime()
    ->Unit(benchmark::kMillisecond);

} // namespace
