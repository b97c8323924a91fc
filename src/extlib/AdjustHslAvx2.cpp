// The AVX2 path of the hue/saturation/lightness kernel: the scalar path's double arithmetic on
// four pixels at once, every branch computed and the taken one selected, so each lane does the
// same operations in the same order as the scalar code.
#include "extlib/AdjustHsl.h"

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>

#include <array>

namespace zepho::detail {

namespace {

#define ZEPHO_AVX2 __attribute__((target("avx2")))

ZEPHO_AVX2 inline __m256d Select(__m256d mask, __m256d yes, __m256d no) {
    return _mm256_blendv_pd(no, yes, mask);
}

// t < 0: t + 1; then t > 1: t - 1; then the four pieces of the channel curve.
ZEPHO_AVX2 inline __m256d Channel(__m256d p, __m256d q, __m256d t) {
    const __m256d zero = _mm256_setzero_pd(), one = _mm256_set1_pd(1.0);
    t = Select(_mm256_cmp_pd(t, zero, _CMP_LT_OQ), _mm256_add_pd(t, one), t);
    t = Select(_mm256_cmp_pd(t, one, _CMP_GT_OQ), _mm256_sub_pd(t, one), t);
    const __m256d six = _mm256_set1_pd(6.0), twoThirds = _mm256_set1_pd(2.0 / 3);
    const __m256d qp = _mm256_sub_pd(q, p);
    const __m256d rising = _mm256_add_pd(p, _mm256_mul_pd(_mm256_mul_pd(qp, six), t));
    const __m256d falling =
        _mm256_add_pd(p, _mm256_mul_pd(_mm256_mul_pd(qp, _mm256_sub_pd(twoThirds, t)), six));
    __m256d v = Select(_mm256_cmp_pd(t, twoThirds, _CMP_LT_OQ), falling, p);
    v = Select(_mm256_cmp_pd(t, _mm256_set1_pd(0.5), _CMP_LT_OQ), q, v);
    return Select(_mm256_cmp_pd(t, _mm256_set1_pd(1.0 / 6), _CMP_LT_OQ), rising, v);
}

// floor(v * 255 + 0.5) held to 0..255.
ZEPHO_AVX2 inline __m128i ToBytes(__m256d v) {
    v = _mm256_floor_pd(_mm256_add_pd(_mm256_mul_pd(v, _mm256_set1_pd(255.0)), _mm256_set1_pd(0.5)));
    v = _mm256_min_pd(_mm256_max_pd(v, _mm256_setzero_pd()), _mm256_set1_pd(255.0));
    return _mm256_cvttpd_epi32(v);
}

ZEPHO_AVX2 void HslRowAvx2Impl(BYTE* p, int n, int step, const HslParams& k) {
    const __m256d zero = _mm256_setzero_pd(), one = _mm256_set1_pd(1.0), two = _mm256_set1_pd(2.0),
                  half = _mm256_set1_pd(0.5);
    static const auto unit = [] {
        std::array<double, 256> t{};
        for (int v = 0; v < 256; ++v)
            t[v] = v / 255.0;
        return t;
    }();
    const __m256d turn = _mm256_set1_pd(k.turn), sat = _mm256_set1_pd(k.sat), light = _mm256_set1_pd(k.light);
    int i = 0;
    for (; i + 4 <= n; i += 4, p += 4 * step) {
        const int s1 = step, s2 = 2 * step, s3 = 3 * step;
        // v / 255.0 from a table of the same quotients; halving is exact, so it is a multiply.
        const __m256d r = _mm256_setr_pd(unit[p[2]], unit[p[s1 + 2]], unit[p[s2 + 2]], unit[p[s3 + 2]]);
        const __m256d g = _mm256_setr_pd(unit[p[1]], unit[p[s1 + 1]], unit[p[s2 + 1]], unit[p[s3 + 1]]);
        const __m256d b = _mm256_setr_pd(unit[p[0]], unit[p[s1]], unit[p[s2]], unit[p[s3]]);
        const __m256d hi = _mm256_max_pd(_mm256_max_pd(r, g), b);
        const __m256d lo = _mm256_min_pd(_mm256_min_pd(r, g), b);
        __m256d l = _mm256_mul_pd(_mm256_add_pd(hi, lo), half);
        const __m256d coloured = _mm256_cmp_pd(hi, lo, _CMP_GT_OQ);
        const __m256d d = _mm256_sub_pd(hi, lo);
        const __m256d den = Select(_mm256_cmp_pd(l, half, _CMP_GT_OQ),
                                   _mm256_sub_pd(_mm256_sub_pd(two, hi), lo), _mm256_add_pd(hi, lo));
        __m256d s = _mm256_and_pd(coloured, _mm256_div_pd(d, den));
        const __m256d isR = _mm256_cmp_pd(hi, r, _CMP_EQ_OQ), isG = _mm256_cmp_pd(hi, g, _CMP_EQ_OQ);
        const __m256d num =
            Select(isR, _mm256_sub_pd(g, b), Select(isG, _mm256_sub_pd(b, r), _mm256_sub_pd(r, g)));
        const __m256d offR = _mm256_and_pd(_mm256_cmp_pd(g, b, _CMP_LT_OQ), _mm256_set1_pd(6.0));
        const __m256d off = Select(isR, offR, Select(isG, two, _mm256_set1_pd(4.0)));
        __m256d h = _mm256_div_pd(_mm256_add_pd(_mm256_div_pd(num, d), off), _mm256_set1_pd(6.0));
        h = _mm256_and_pd(coloured, h);
        h = _mm256_add_pd(h, turn);
        h = _mm256_sub_pd(h, _mm256_floor_pd(h));
        s = _mm256_min_pd(_mm256_mul_pd(s, sat), one);
        l = k.light >= 0 ? _mm256_add_pd(l, _mm256_mul_pd(_mm256_sub_pd(one, l), light))
                         : _mm256_mul_pd(l, _mm256_add_pd(one, light));
        const __m256d q = Select(_mm256_cmp_pd(l, half, _CMP_LT_OQ), _mm256_mul_pd(l, _mm256_add_pd(one, s)),
                                 _mm256_sub_pd(_mm256_add_pd(l, s), _mm256_mul_pd(l, s)));
        const __m256d pp = _mm256_sub_pd(_mm256_mul_pd(two, l), q);
        const __m256d grey = _mm256_cmp_pd(s, zero, _CMP_LE_OQ);
        const __m256d third = _mm256_set1_pd(1.0 / 3);
        const __m256d vr = Select(grey, l, Channel(pp, q, _mm256_add_pd(h, third)));
        const __m256d vg = Select(grey, l, Channel(pp, q, h));
        const __m256d vb = Select(grey, l, Channel(pp, q, _mm256_sub_pd(h, third)));
        alignas(16) int out[3][4];
        _mm_store_si128(reinterpret_cast<__m128i*>(out[0]), ToBytes(vb));
        _mm_store_si128(reinterpret_cast<__m128i*>(out[1]), ToBytes(vg));
        _mm_store_si128(reinterpret_cast<__m128i*>(out[2]), ToBytes(vr));
        for (int j = 0; j < 4; ++j)
            for (int c = 0; c < 3; ++c)
                p[j * step + c] = static_cast<BYTE>(out[c][j]);
    }
    if (i < n) HslRowScalar(p, n - i, step, k);
}

} // namespace

void (*const HslRowAvx2)(BYTE*, int, int, const HslParams&) = &HslRowAvx2Impl;

} // namespace zepho::detail

#else

namespace zepho::detail {
void (*const HslRowAvx2)(BYTE*, int, int, const HslParams&) = nullptr;
}

#endif
