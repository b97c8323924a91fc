// The AVX2 path of the 2 x 2 samplers (bilinear and the two-tap filter tables): eight target
// pixels at a time, their 32 taps fetched by gathers at clamped rows and columns (so the picture's edges
// repeat, as everywhere else), the channels of each pair of taps in one row weighed by one multiply-add in
// 16-bit lanes. The integer arithmetic is that of the one-pixel path, step for step, so the bytes are the
// same. Only this file is built for AVX2 and it is only called when the processor has it.
#include "extlib/VorSampler.h"

#include <cstdlib>
#include <cstring>

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>

namespace zepho::vor {

namespace {

#define ZEPHO_AVX2 __attribute__((target("avx2")))

// The weight of pixel k of each half, spread over that pixel's four channels.
ZEPHO_AVX2 inline __m256i Spread(__m256i v, int k) {
    return _mm256_permutevar8x32_epi32(v, _mm256_setr_epi32(k, k, k, k, k + 4, k + 4, k + 4, k + 4));
}

ZEPHO_AVX2 inline __m256i ClampTo(__m256i v, __m256i last) {
    return _mm256_min_epi32(_mm256_max_epi32(v, _mm256_setzero_si256()), last);
}

// Each pixel's two taps of a row, channel by channel in 16-bit lanes: [c0, c1] pairs for
// pixels 0 | 4, 1 | 5, 2 | 6 and 3 | 7 (one per 128-bit half).
ZEPHO_AVX2 inline void Split(__m256i a, __m256i b, __m256i* out) {
    const __m256i zero = _mm256_setzero_si256();
    const __m256i lo = _mm256_unpacklo_epi8(a, b), hi = _mm256_unpackhi_epi8(a, b);
    out[0] = _mm256_unpacklo_epi8(lo, zero);
    out[1] = _mm256_unpackhi_epi8(lo, zero);
    out[2] = _mm256_unpacklo_epi8(hi, zero);
    out[3] = _mm256_unpackhi_epi8(hi, zero);
}

// The same from each pixel's two taps of a row loaded together (B, G, R, A of the left tap,
// then of the right one), pixels 0, 1 | 4, 5 in a and 2, 3 | 6, 7 in b.
ZEPHO_AVX2 inline void SplitPairs(__m256i a, __m256i b, __m256i* out) {
    const __m256i zero = _mm256_setzero_si256();
    const __m256i interleave = _mm256_setr_epi8(0, 4, 1, 5, 2, 6, 3, 7, 8, 12, 9, 13, 10, 14, 11, 15, 0, 4, 1,
                                                5, 2, 6, 3, 7, 8, 12, 9, 13, 10, 14, 11, 15);
    a = _mm256_shuffle_epi8(a, interleave);
    b = _mm256_shuffle_epi8(b, interleave);
    out[0] = _mm256_unpacklo_epi8(a, zero);
    out[1] = _mm256_unpackhi_epi8(a, zero);
    out[2] = _mm256_unpacklo_epi8(b, zero);
    out[3] = _mm256_unpackhi_epi8(b, zero);
}

// One tap's weight from the row and column weights: (wy * wx + 8192) >> 14.
ZEPHO_AVX2 inline __m256i TapWeight(__m256i wy, __m256i wx) {
    const __m256i round = _mm256_set1_epi32(agg::image_filter_scale / 2);
    return _mm256_srai_epi32(_mm256_add_epi32(_mm256_mullo_epi32(wy, wx), round), agg::image_filter_shift);
}

// The two weights of a row in the 16-bit halves of each pixel's lane.
ZEPHO_AVX2 inline __m256i WeightPair(__m256i w0, __m256i w1) {
    return _mm256_blend_epi16(w0, _mm256_slli_epi32(w1, 16), 0xAA);
}

// Eight pixels: xs, ys are the interpolator's coordinates (1/256 pixel, at pixel centres).
// table is null for the bilinear weights, else the packed pair table (see Sample2x2Avx2).
ZEPHO_AVX2 inline __m256i Eight(const TapSource& src, const int* xs, const int* ys,
                                const std::int32_t* table) {
    const __m256i half = _mm256_set1_epi32(agg::image_subpixel_scale / 2);
    const __m256i mask = _mm256_set1_epi32(agg::image_subpixel_mask);
    const __m256i zero = _mm256_setzero_si256();
    const __m256i one = _mm256_set1_epi32(1);
    const __m256i xr = _mm256_sub_epi32(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(xs)), half);
    const __m256i yr = _mm256_sub_epi32(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(ys)), half);
    const __m256i fx = _mm256_and_si256(xr, mask), fy = _mm256_and_si256(yr, mask);
    const __m256i x0 = _mm256_srai_epi32(xr, agg::image_subpixel_shift);
    const __m256i y0 = _mm256_srai_epi32(yr, agg::image_subpixel_shift);
    const __m256i lastX = _mm256_set1_epi32(src.width - 1), lastY = _mm256_set1_epi32(src.height - 1);
    const __m256i stride = _mm256_set1_epi32(static_cast<int>(src.stride));
    __m256i top[4], bottom[4];
    // Inside the picture (both taps of each row in it, and both rows) each row's pair of taps is
    // one 8-byte load; at the edges the taps are gathered one by one at clamped places.
    const __m256i outside = _mm256_or_si256(
        _mm256_or_si256(_mm256_cmpgt_epi32(zero, x0), _mm256_cmpgt_epi32(x0, _mm256_sub_epi32(lastX, one))),
        _mm256_or_si256(_mm256_cmpgt_epi32(zero, y0), _mm256_cmpgt_epi32(y0, _mm256_sub_epi32(lastY, one))));
    if (_mm256_testz_si256(outside, outside)) {
        alignas(32) int at[8];
        _mm256_store_si256(reinterpret_cast<__m256i*>(at),
                           _mm256_add_epi32(_mm256_mullo_epi32(y0, stride), _mm256_slli_epi32(x0, 2)));
        const agg::int8u* p = src.row0;
        const std::ptrdiff_t next = src.stride;
        const auto pairAt = [](const agg::int8u* q) {
            long long v;
            std::memcpy(&v, q, 8);
            return v;
        };
        // Pixels 0, 1 | 4, 5 and 2, 3 | 6, 7, so that the halves split as the gathered ones do.
        const __m256i topA =
            _mm256_setr_epi64x(pairAt(p + at[0]), pairAt(p + at[1]), pairAt(p + at[4]), pairAt(p + at[5]));
        const __m256i topB =
            _mm256_setr_epi64x(pairAt(p + at[2]), pairAt(p + at[3]), pairAt(p + at[6]), pairAt(p + at[7]));
        const __m256i botA = _mm256_setr_epi64x(pairAt(p + at[0] + next), pairAt(p + at[1] + next),
                                                pairAt(p + at[4] + next), pairAt(p + at[5] + next));
        const __m256i botB = _mm256_setr_epi64x(pairAt(p + at[2] + next), pairAt(p + at[3] + next),
                                                pairAt(p + at[6] + next), pairAt(p + at[7] + next));
        SplitPairs(topA, topB, top);
        SplitPairs(botA, botB, bottom);
    } else {
        const __m256i colA = _mm256_slli_epi32(ClampTo(x0, lastX), 2);
        const __m256i colB = _mm256_slli_epi32(ClampTo(_mm256_add_epi32(x0, one), lastX), 2);
        const __m256i rowA = _mm256_mullo_epi32(ClampTo(y0, lastY), stride);
        const __m256i rowB = _mm256_mullo_epi32(ClampTo(_mm256_add_epi32(y0, one), lastY), stride);
        const int* base = reinterpret_cast<const int*>(src.row0);
        const __m256i t00 = _mm256_i32gather_epi32(base, _mm256_add_epi32(rowA, colA), 1);
        const __m256i t01 = _mm256_i32gather_epi32(base, _mm256_add_epi32(rowA, colB), 1);
        const __m256i t10 = _mm256_i32gather_epi32(base, _mm256_add_epi32(rowB, colA), 1);
        const __m256i t11 = _mm256_i32gather_epi32(base, _mm256_add_epi32(rowB, colB), 1);
        Split(t00, t01, top);
        Split(t10, t11, bottom);
    }

    __m256i sum[4];
    if (!table) {
        // fg = 32768 + ((c00 (256 - fx) + c01 fx)(256 - fy) + (c10 (256 - fx) + c11 fx) fy), >> 16.
        const __m256i full = _mm256_set1_epi32(agg::image_subpixel_scale);
        const __m256i wx = _mm256_or_si256(_mm256_sub_epi32(full, fx), _mm256_slli_epi32(fx, 16));
        const __m256i round = _mm256_set1_epi32(32768);
        for (int k = 0; k < 4; ++k) {
            const __m256i w = Spread(wx, k), f = Spread(fy, k);
            const __m256i t = _mm256_mullo_epi32(_mm256_madd_epi16(top[k], w), _mm256_sub_epi32(full, f));
            const __m256i b = _mm256_mullo_epi32(_mm256_madd_epi16(bottom[k], w), f);
            sum[k] = _mm256_srli_epi32(_mm256_add_epi32(_mm256_add_epi32(t, b), round), 16);
        }
    } else {
        // Tap weights ((wy * wx + 8192) >> 14) from the filter table, then the sum from 8192, >> 14.
        const __m256i px = _mm256_i32gather_epi32(table, fx, 4), py = _mm256_i32gather_epi32(table, fy, 4);
        const __m256i wx0 = _mm256_srai_epi32(_mm256_slli_epi32(px, 16), 16), wx1 = _mm256_srai_epi32(px, 16);
        const __m256i wy0 = _mm256_srai_epi32(_mm256_slli_epi32(py, 16), 16), wy1 = _mm256_srai_epi32(py, 16);
        const __m256i round = _mm256_set1_epi32(agg::image_filter_scale / 2);
        const __m256i wTop = WeightPair(TapWeight(wy0, wx0), TapWeight(wy0, wx1));
        const __m256i wBottom = WeightPair(TapWeight(wy1, wx0), TapWeight(wy1, wx1));
        for (int k = 0; k < 4; ++k) {
            const __m256i s = _mm256_add_epi32(_mm256_madd_epi16(top[k], Spread(wTop, k)),
                                               _mm256_madd_epi16(bottom[k], Spread(wBottom, k)));
            sum[k] = _mm256_srai_epi32(_mm256_add_epi32(s, round), agg::image_filter_shift);
        }
    }
    // To 16 bits (pixels 0, 1 | 4, 5 and 2, 3 | 6, 7), held to 0..255 and the colours to alpha,
    // then to bytes in pixel order.
    __m256i a = _mm256_packs_epi32(sum[0], sum[1]), b = _mm256_packs_epi32(sum[2], sum[3]);
    if (table) {
        const __m256i top255 = _mm256_set1_epi16(255);
        a = _mm256_min_epi16(_mm256_max_epi16(a, zero), top255);
        b = _mm256_min_epi16(_mm256_max_epi16(b, zero), top255);
        a = _mm256_min_epi16(a, _mm256_shufflehi_epi16(_mm256_shufflelo_epi16(a, 0xFF), 0xFF));
        b = _mm256_min_epi16(b, _mm256_shufflehi_epi16(_mm256_shufflelo_epi16(b, 0xFF), 0xFF));
    }
    return _mm256_packus_epi16(a, b);
}

ZEPHO_AVX2 void Sample2x2Avx2Impl(const TapSource& src, const int* xs, const int* ys, int n,
                                  const std::int32_t* table, std::uint32_t* out) {
    int i = 0;
    // Along a turned row nearly every pixel starts a new source row, which no hardware prefetch
    // foresees: the taps of the pixels kAhead further on are asked for while these are worked on.
    constexpr int kAhead = 16;
    const __m256i lastX = _mm256_set1_epi32(src.width - 1), lastY = _mm256_set1_epi32(src.height - 1);
    const __m256i half = _mm256_set1_epi32(agg::image_subpixel_scale / 2);
    const __m256i stride = _mm256_set1_epi32(static_cast<int>(src.stride));
    alignas(32) int ahead[8];
    for (; i + 8 <= n; i += 8) {
        if (i + kAhead + 8 <= n) {
            const __m256i xr = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(xs + i + kAhead));
            const __m256i yr = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(ys + i + kAhead));
            const __m256i x0 =
                ClampTo(_mm256_srai_epi32(_mm256_sub_epi32(xr, half), agg::image_subpixel_shift), lastX);
            const __m256i y0 =
                ClampTo(_mm256_srai_epi32(_mm256_sub_epi32(yr, half), agg::image_subpixel_shift), lastY);
            _mm256_store_si256(reinterpret_cast<__m256i*>(ahead),
                               _mm256_add_epi32(_mm256_mullo_epi32(y0, stride), _mm256_slli_epi32(x0, 2)));
            for (int k = 0; k < 8; ++k) {
                const agg::int8u* p = src.row0 + ahead[k];
                _mm_prefetch(reinterpret_cast<const char*>(p), _MM_HINT_T0);
                _mm_prefetch(reinterpret_cast<const char*>(p + src.stride), _MM_HINT_T0);
            }
        }
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + i), Eight(src, xs + i, ys + i, table));
    }
    if (i == n) return;
    // The last few: the final coordinates repeated to fill a group, only the real ones kept.
    int tx[8], ty[8];
    for (int k = 0; k < 8; ++k) {
        tx[k] = xs[std::min(i + k, n - 1)];
        ty[k] = ys[std::min(i + k, n - 1)];
    }
    alignas(32) std::uint32_t tail[8];
    _mm256_store_si256(reinterpret_cast<__m256i*>(tail), Eight(src, tx, ty, table));
    std::memcpy(out + i, tail, static_cast<std::size_t>(n - i) * 4);
}

#undef ZEPHO_AVX2

bool Avx2Supported() {
    __builtin_cpu_init();
    return __builtin_cpu_supports("avx2");
}

bool& SimdWanted() {
    static bool wanted = [] {
        const char* off = std::getenv("ZEPHO_DISABLE_SIMD");
        const char* cap = std::getenv("ZEPHO_SIMD");
        if (off && *off && std::strcmp(off, "0") != 0) return false;
        if (cap && (std::strcmp(cap, "sse2") == 0 || std::strcmp(cap, "scalar") == 0)) return false;
        return true;
    }();
    return wanted;
}

} // namespace

Sample2x2Fn ActiveSample2x2() {
    static const bool supported = Avx2Supported();
    return supported && SimdWanted() ? &Sample2x2Avx2Impl : nullptr;
}

void SetSamplerSimd(bool on) {
    SimdWanted() = on;
}

} // namespace zepho::vor

#else

namespace zepho::vor {
Sample2x2Fn ActiveSample2x2() {
    return nullptr;
}
void SetSamplerSimd(bool) {}
} // namespace zepho::vor

#endif
