// The Gaussian blur, in single precision, one output row per step so that rows can be spread
// over threads: each row first takes the vertical window straight from the source bytes, then
// the horizontal window over that line. The result is truncated like the double-precision
// definition (kept as detail::GaussianBlurReference) and differs from it by at most 1.
#include "platform/Parallel.h"
#include "raster/Cpu.h"
#include "raster/Filters.h"

#include <algorithm>
#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#endif
#include <cmath>
#include <cstdint>
#include <new>
#include <vector>

// The vectors live inside this file's own helpers only; their ABI never meets another unit.
#pragma GCC diagnostic ignored "-Wpsabi"

namespace zepho {

namespace {

#define ZEPHO_GAUSS_AVX2 0
namespace generic {
#include "raster/GaussKernel.inc"
} // namespace generic
#undef ZEPHO_GAUSS_AVX2

#if defined(__x86_64__) || defined(__i386__)
// Every function of the second copy is compiled for AVX2 (clang spells the pragma its own way).
#if defined(__clang__)
#pragma clang attribute push(__attribute__((target("avx2"))), apply_to = function)
#else
#pragma GCC push_options
#pragma GCC target("avx2")
#endif
#define ZEPHO_GAUSS_AVX2 1
namespace avx2 {
#include "raster/GaussKernel.inc"
} // namespace avx2
#if defined(__clang__)
#pragma clang attribute pop
#else
#pragma GCC pop_options
#endif
#define ZEPHO_HAVE_GAUSS_AVX2 1
#endif

using VerticalFn = void (*)(float*, const BYTE*, const BYTE* const*, const BYTE* const*, const float*, int,
                            std::size_t);
using HorizontalFn = void (*)(BYTE*, const float*, const float*, int, std::size_t, std::size_t, float);

// Lifts values that rounding left a hair below a whole number, so that flat areas stay flat.
constexpr float kBias = 1.0f / 128;

// Weights for distances 0..r of the window centred on `at` in [0, count), normalised over the taps
// that lie inside; a tap outside on one side only leaves the other.
void CutWeights(const std::vector<double>& k, int r, int at, int count, float* out) {
    double total = k[0];
    for (int d = 1; d <= r; ++d)
        total += k[d] * ((at - d >= 0) + (at + d < count));
    for (int d = 0; d <= r; ++d)
        out[d] = static_cast<float>(k[d] / total);
}

} // namespace

PackedDib GaussianBlur(const PackedDib& src, int size) {
    if (!src.Is32()) return {};
    PackedDib out = src.Clone();
    if (!out) return out;
    const int w = src.Width(), ht = src.Height();
    int n = std::min({size, w, ht});
    if (n % 2 == 0) --n;
    const int r = std::max((n - 1) / 2, 1);

    VerticalFn vertical = &generic::Vertical;
    HorizontalFn horizontal = &generic::HorizontalWhole;
#ifdef ZEPHO_HAVE_GAUSS_AVX2
    if (ActiveSimd() == SimdLevel::Avx2) {
        vertical = &avx2::Vertical;
        horizontal = &avx2::HorizontalWhole;
    }
#endif
    try {
        std::vector<double> k(r + 1);
        const double s = r / 3.0;
        for (int d = 0; d <= r; ++d)
            k[d] = std::exp(-(double(d) * d) / (2 * s * s));
        // Whole windows share one set of weights.
        std::vector<float> whole(r + 1);
        CutWeights(k, r, r, 2 * r + 1, whole.data());
        const std::size_t n4 = 4 * static_cast<std::size_t>(w);
        const int x0 = std::min(r, w), x1 = std::max(w - r, x0); // whole row windows for x0 <= x < x1

        ParallelFor(ht, RowGrain(w, 8192), [&](std::ptrdiff_t begin, std::ptrdiff_t end) {
            std::vector<float> line(n4);
            std::vector<const BYTE*> up(r + 1), down(r + 1);
            std::vector<float> cut(r + 1);
            for (int y = static_cast<int>(begin); y < end; ++y) {
                bool inside = true;
                for (int d = 1; d <= r; ++d) {
                    up[d] = y - d >= 0 ? src.Row(y - d) : nullptr;
                    down[d] = y + d < ht ? src.Row(y + d) : nullptr;
                    inside = inside && up[d] && down[d];
                }
                const float* kv = whole.data();
                if (!inside) {
                    CutWeights(k, r, y, ht, cut.data());
                    kv = cut.data();
                }
                vertical(line.data(), src.Row(y), up.data(), down.data(), kv, r, n4);

                BYTE* o = out.Row(y);
                horizontal(o, line.data(), whole.data(), r, 4 * static_cast<std::size_t>(x0),
                           4 * static_cast<std::size_t>(x1), kBias);
                // Windows cut by the left or right border.
                float kx[64];
                std::vector<float> kxLarge;
                float* kh = kx;
                if (r + 1 > 64) {
                    kxLarge.resize(r + 1);
                    kh = kxLarge.data();
                }
                auto edge = [&](int x) {
                    CutWeights(k, r, x, w, kh);
                    for (int c = 0; c < 4; ++c) {
                        const float* p = line.data() + 4 * static_cast<std::size_t>(x) + c;
                        float v = kh[0] * p[0];
                        for (int d = 1; d <= r; ++d) {
                            const bool left = x - d >= 0, right = x + d < w;
                            if (left && right)
                                v = v + kh[d] * (p[-4 * d] + p[4 * d]);
                            else if (left)
                                v = v + kh[d] * p[-4 * d];
                            else if (right)
                                v = v + kh[d] * p[4 * d];
                        }
                        const int t = static_cast<int>(v + kBias);
                        o[4 * static_cast<std::size_t>(x) + c] = static_cast<BYTE>(std::clamp(t, 0, 255));
                    }
                };
                for (int x = 0; x < x0; ++x)
                    edge(x);
                for (int x = x1; x < w; ++x)
                    edge(x);
            }
        });
    } catch (const std::bad_alloc&) {
        return {};
    }
    return out;
}

} // namespace zepho
