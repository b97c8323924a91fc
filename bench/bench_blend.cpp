// Blend kernels against pixman and against the memory-traffic limit, on the same buffers.
// Every benchmark reports items/s as pixels/s.
#include "platform/Parallel.h"
#include "raster/Blend.h"
#include "raster/Cpu.h"
#include "raster/Dib.h"

#include "BenchSizes.h"

#include <benchmark/benchmark.h>
#include <pixman.h>

#include <cstdint>
#include <cstring>
#include <map>
#include <random>
#include <tuple>

using namespace zepho;

namespace {

enum SourceKind { kOpaque = 0, kClear = 1, kRandom = 2 };

PackedDib MakeSource(int w, int h, int kind) {
    PackedDib d = CreateTransparentDIB(w, h);
    std::mt19937 rng(1234);
    auto* p = reinterpret_cast<std::uint32_t*>(d.Bits());
    const std::size_t n = static_cast<std::size_t>(w) * h;
    for (std::size_t i = 0; i < n; ++i) {
        std::uint32_t v = rng();
        if (kind == kOpaque) v |= 0xFF000000u;
        if (kind == kClear) v &= 0x00FFFFFFu;
        if (kind == kRandom) {
            // Premultiply, so that pixman reads valid data from the very same bytes.
            const std::uint32_t a = v >> 24;
            const std::uint32_t r = ((v >> 16) & 0xFF) * a / 255, g = ((v >> 8) & 0xFF) * a / 255,
                                b = (v & 0xFF) * a / 255;
            v = (a << 24) | (r << 16) | (g << 8) | b;
        }
        p[i] = v;
    }
    return d;
}

// Buffers are shared between benchmarks so that every kernel sees the same bytes.
const PackedDib& Source(int w, int h, int kind) {
    static std::map<std::tuple<int, int, int>, PackedDib> cache;
    auto& d = cache[{w, h, kind}];
    if (!d) d = MakeSource(w, h, kind);
    return d;
}

PackedDib Canvas(int w, int h) {
    return CreateSolidDIB(w, h, RGB(200, 120, 40), 255);
}

pixman_image_t* Wrap(const PackedDib& d) {
    return pixman_image_create_bits(PIXMAN_a8r8g8b8, d.Width(), d.Height(),
                                    reinterpret_cast<uint32_t*>(const_cast<BYTE*>(d.Bits())),
                                    static_cast<int>(d.Stride()));
}

void SetPixels(benchmark::State& state, std::int64_t perIteration) {
    state.SetItemsProcessed(state.iterations() * perIteration);
}

void BM_BlendTransparent(benchmark::State& state) {
    const int w = state.range(0), h = state.range(1), kind = state.range(2), t = state.range(3);
    const PackedDib& src = Source(w, h, kind);
    PackedDib dst = Canvas(w, h);
    for (auto _ : state) {
        BlendTransparent(dst, {0, 0}, src, {0, 0}, t);
        benchmark::ClobberMemory();
    }
    SetPixels(state, std::int64_t{w} * h);
    state.SetLabel(SimdName(ActiveSimd()));
}

template <SimdLevel level> void BM_BlendAt(benchmark::State& state) {
    const SimdLevel was = ActiveSimd();
    SetSimdLevel(level);
    BM_BlendTransparent(state);
    SetSimdLevel(was);
}
void BM_BlendScalar(benchmark::State& state) {
    BM_BlendAt<SimdLevel::Scalar>(state);
}
void BM_BlendSse2(benchmark::State& state) {
    BM_BlendAt<SimdLevel::Sse2>(state);
}

void BM_BlendMagnified(benchmark::State& state) {
    // A quarter-size source magnified 4 times fills the destination.
    const int w = state.range(0), h = state.range(1);
    const PackedDib& src = Source(w / 4, h / 4, kRandom);
    PackedDib dst = Canvas(w, h);
    for (auto _ : state) {
        BlendMagnified(dst, {0, 0}, src, {0, 0}, 0, 4);
        benchmark::ClobberMemory();
    }
    SetPixels(state, std::int64_t{w} * h);
}

void BM_BlendReduced(benchmark::State& state) {
    // A full-size source reduced by 4; items are the destination pixels written.
    const int w = state.range(0), h = state.range(1);
    const PackedDib& src = Source(w, h, kRandom);
    PackedDib dst = Canvas(w / 4, h / 4);
    for (auto _ : state) {
        BlendReduced(dst, {0, 0}, src, {0, 0}, 0, 4);
        benchmark::ClobberMemory();
    }
    SetPixels(state, std::int64_t{w / 4} * (h / 4));
}

// On one thread, to compare with pixman, which uses one; the threaded variant reports wall time.
void CompositeOverOn(benchmark::State& state, int threads) {
    const int w = state.range(0), h = state.range(1);
    const PackedDib& src = Source(w, h, kRandom);
    PackedDib dst = Canvas(w, h);
    SetParallelThreads(threads);
    for (auto _ : state) {
        CompositeOver(dst, {0, 0}, src, {0, 0}, 0);
        benchmark::ClobberMemory();
    }
    SetParallelThreads(0);
    SetPixels(state, std::int64_t{w} * h);
    state.SetLabel(SimdName(ActiveSimd()));
}
void BM_CompositeOver(benchmark::State& state) {
    CompositeOverOn(state, 1);
}
void BM_CompositeOverThreaded(benchmark::State& state) {
    CompositeOverOn(state, 0);
}
void BM_CompositeOverScalar(benchmark::State& state) {
    const SimdLevel was = ActiveSimd();
    SetSimdLevel(SimdLevel::Scalar);
    CompositeOverOn(state, 1);
    SetSimdLevel(was);
}

void PixmanOver(benchmark::State& state, bool halfMask) {
    const int w = state.range(0), h = state.range(1), kind = state.range(2);
    const PackedDib& src = Source(w, h, kind);
    PackedDib dst = Canvas(w, h);
    pixman_image_t* s = Wrap(src);
    pixman_image_t* d = Wrap(dst);
    const pixman_color_t half{0, 0, 0, 0x8000};
    pixman_image_t* m = halfMask ? pixman_image_create_solid_fill(&half) : nullptr;
    for (auto _ : state) {
        pixman_image_composite32(PIXMAN_OP_OVER, s, m, d, 0, 0, 0, 0, 0, 0, w, h);
        benchmark::ClobberMemory();
    }
    pixman_image_unref(s);
    pixman_image_unref(d);
    if (m) pixman_image_unref(m);
    SetPixels(state, std::int64_t{w} * h);
}

void BM_PixmanOver(benchmark::State& state) {
    PixmanOver(state, false);
}
void BM_PixmanOverMask(benchmark::State& state) {
    PixmanOver(state, true);
}

void BM_LimitRMW(benchmark::State& state) {
    const int w = state.range(0), h = state.range(1);
    const PackedDib& src = Source(w, h, kRandom);
    PackedDib dst = Canvas(w, h);
    const std::size_t n = static_cast<std::size_t>(w) * h;
    for (auto _ : state) {
        auto* d = reinterpret_cast<std::uint32_t*>(dst.Bits());
        const auto* s = reinterpret_cast<const std::uint32_t*>(src.Bits());
        for (std::size_t i = 0; i < n; ++i)
            d[i] |= s[i];
        benchmark::ClobberMemory();
    }
    SetPixels(state, static_cast<std::int64_t>(n));
}

// Sizes: 1920 x 1080 and 4096 x 4096. Sources: 0 opaque, 1 transparent, 2 random alpha.
void BlendArgs(benchmark::internal::Benchmark* b) {
    for (auto [w, h] : bench::BenchSizes()) {
        for (int kind : {kOpaque, kClear, kRandom})
            b->Args({w, h, kind, 0});
        b->Args({w, h, kRandom, 128});
    }
    b->ArgNames({"w", "h", "src", "t"});
}
void RandomArgs(benchmark::internal::Benchmark* b) {
    for (auto [w, h] : bench::BenchSizes())
        b->Args({w, h, kRandom, 0});
    b->ArgNames({"w", "h", "src", "t"});
}
void PeerArgs(benchmark::internal::Benchmark* b) {
    for (auto [w, h] : bench::BenchSizes())
        for (int kind : {kOpaque, kClear, kRandom})
            b->Args({w, h, kind});
    b->ArgNames({"w", "h", "src"});
}
void MaskArgs(benchmark::internal::Benchmark* b) {
    for (auto [w, h] : bench::BenchSizes())
        b->Args({w, h, kRandom});
    b->ArgNames({"w", "h", "src"});
}
void SizeArgs(benchmark::internal::Benchmark* b) {
    for (auto [w, h] : bench::BenchSizes())
        b->Args({w, h});
    b->ArgNames({"w", "h"});
}

} // namespace

BENCHMARK(BM_BlendTransparent)->Apply(BlendArgs);
BENCHMARK(BM_BlendSse2)->Apply(BlendArgs);
BENCHMARK(BM_BlendScalar)->Apply(RandomArgs);
BENCHMARK(BM_BlendMagnified)->Apply(SizeArgs);
BENCHMARK(BM_BlendReduced)->Apply(SizeArgs);
BENCHMARK(BM_CompositeOver)->Apply(SizeArgs);
BENCHMARK(BM_CompositeOverThreaded)->Apply(SizeArgs)->UseRealTime();
BENCHMARK(BM_CompositeOverScalar)->Args({1920, 1080})->ArgNames({"w", "h"});
BENCHMARK(BM_PixmanOver)->Apply(PeerArgs);
BENCHMARK(BM_PixmanOverMask)->Apply(MaskArgs);
BENCHMARK(BM_LimitRMW)->Apply(SizeArgs);
