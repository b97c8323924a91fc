// The AVX2 path of the alpha-preserving "over", eight pixels at a time. Over an opaque
// destination (the usual flatten onto a background) the new alpha is 255 and the colours are
// worked on in 16-bit lanes; over a clear one the source comes through as it is. Otherwise each
// channel takes a 32-bit lane and the integer divisions are exact: by 255 through a multiply and
// shift, by the new alpha through a float reciprocal whose error stays far below the gap to the
// next integer. The general formula already gives the destination back for a clear source and
// the source for an opaque one, so those cases only need shortcuts, not separate arithmetic.
#include "raster/BlendRow.h"

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>

namespace zepho::detail {

namespace {

// floor(x / 255) for any 32-bit x.
__attribute__((target("avx2"))) inline __m256i Div255(__m256i x) {
    const __m256i magic = _mm256_set1_epi32(static_cast<int>(0x80808081u));
    const __m256i even = _mm256_srli_epi64(_mm256_mul_epu32(x, magic), 39);
    const __m256i odd = _mm256_srli_epi64(_mm256_mul_epu32(_mm256_srli_epi64(x, 32), magic), 39);
    return _mm256_or_si256(even, _mm256_slli_epi64(odd, 32));
}

// floor(x / 255) for x <= 65025.
__attribute__((target("avx2"))) inline __m256i Div255Small(__m256i x) {
    return _mm256_srli_epi32(_mm256_mullo_epi32(x, _mm256_set1_epi32(32897)), 23);
}

// Four pixels of each 128-bit half, widened to 16-bit lanes, over an opaque destination. The
// new alpha is 255, so each colour is floor(((255 - a_s) * c_d + a_s * c_s) / 255): the sum
// stays below 65536 and is divided exactly as floor(x * 32897 / 2^23).
__attribute__((target("avx2"))) inline __m256i OverOpaqueWide(__m256i d, __m256i s) {
    const __m256i as = _mm256_shufflehi_epi16(_mm256_shufflelo_epi16(s, 0xFF), 0xFF);
    const __m256i ias = _mm256_xor_si256(as, _mm256_set1_epi16(0x00FF));
    const __m256i x = _mm256_add_epi16(_mm256_mullo_epi16(d, ias), _mm256_mullo_epi16(s, as));
    return _mm256_srli_epi16(_mm256_mulhi_epu16(x, _mm256_set1_epi16(static_cast<short>(0x8081))), 7);
}

// Eight pixels over an opaque destination; st is the source with its alpha already lowered.
__attribute__((target("avx2"))) inline __m256i OverOpaque(__m256i d, __m256i st) {
    const __m256i zero = _mm256_setzero_si256();
    const __m256i lo = OverOpaqueWide(_mm256_unpacklo_epi8(d, zero), _mm256_unpacklo_epi8(st, zero));
    const __m256i hi = OverOpaqueWide(_mm256_unpackhi_epi8(d, zero), _mm256_unpackhi_epi8(st, zero));
    return _mm256_or_si256(_mm256_packus_epi16(lo, hi), _mm256_set1_epi32(static_cast<int>(0xFF000000u)));
}

__attribute__((target("avx2"))) void CompositeOverRowAvx2Impl(BYTE* dst, const BYTE* src, int n, int t) {
    const __m256i k255 = _mm256_set1_epi32(255);
    const __m256i zero = _mm256_setzero_si256();
    const __m256i alphaMask = _mm256_set1_epi32(static_cast<int>(0xFF000000u));
    const __m256i tAlpha = _mm256_set1_epi32(static_cast<int>(static_cast<unsigned>(t) << 24));
    // Lifts exact quotients that the reciprocal left a hair low; a true fraction stays below 1.
    const __m256 bias = _mm256_set1_ps(1.0f / 1024);
    int i = 0;
    for (; i + 8 <= n; i += 8) {
        const __m256i s = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(src + 4 * i));
        __m256i* dp = reinterpret_cast<__m256i*>(dst + 4 * i);
        const __m256i d = _mm256_loadu_si256(dp);
        // The transparency only lowers the alpha byte; colours pass the saturating subtraction as
        // they are.
        const __m256i st = _mm256_subs_epu8(s, tAlpha);
        const bool allClear = _mm256_testz_si256(st, alphaMask);
        const bool allOpaque = _mm256_testc_si256(st, alphaMask);
        if (_mm256_testc_si256(d, alphaMask)) {
            if (allClear) continue;
            _mm256_storeu_si256(dp, allOpaque ? _mm256_or_si256(s, alphaMask) : OverOpaque(d, st));
            continue;
        }
        if (allOpaque) {
            _mm256_storeu_si256(dp, _mm256_or_si256(s, alphaMask));
            continue;
        }
        const __m256i as = _mm256_srli_epi32(st, 24);
        const __m256i ad = _mm256_srli_epi32(d, 24);
        const __m256i clear = _mm256_cmpeq_epi32(as, zero);
        const __m256i keep = _mm256_andnot_si256(_mm256_cmpeq_epi32(ad, zero), clear);
        if (_mm256_movemask_epi8(keep) == -1) continue;
        if (_mm256_testz_si256(d, alphaMask)) {
            // Over nothing the source comes through with its lowered alpha; a clear one leaves zeros.
            _mm256_storeu_si256(dp, _mm256_andnot_si256(clear, st));
            continue;
        }
        const __m256i ias = _mm256_sub_epi32(k255, as);
        const __m256i ao =
            _mm256_sub_epi32(k255, Div255Small(_mm256_mullo_epi32(_mm256_sub_epi32(k255, ad), ias)));
        const __m256i weight = _mm256_mullo_epi32(ias, ad);
        // 1 / ao; ao = 0 only where everything else is 0 too.
        const __m256 recip = _mm256_div_ps(_mm256_set1_ps(1.0f),
                                           _mm256_cvtepi32_ps(_mm256_max_epi32(ao, _mm256_set1_epi32(1))));
        __m256i out = _mm256_slli_epi32(ao, 24);
        for (int c = 0; c < 3; ++c) {
            const __m256i cd = _mm256_and_si256(_mm256_srli_epi32(d, 8 * c), k255);
            const __m256i cs = _mm256_and_si256(_mm256_srli_epi32(s, 8 * c), k255);
            const __m256i v =
                _mm256_add_epi32(Div255(_mm256_mullo_epi32(weight, cd)), _mm256_mullo_epi32(as, cs));
            const __m256 q = _mm256_add_ps(_mm256_mul_ps(_mm256_cvtepi32_ps(v), recip), bias);
            const __m256i qi = _mm256_min_epi32(_mm256_cvttps_epi32(q), k255);
            out = _mm256_or_si256(out, _mm256_slli_epi32(qi, 8 * c));
        }
        _mm256_storeu_si256(dp, out);
    }
    if (i < n) CompositeOverRowScalar(dst + 4 * i, src + 4 * i, n - i, t);
}

} // namespace

const CompositeRowFn CompositeOverRowAvx2 = &CompositeOverRowAvx2Impl;

} // namespace zepho::detail

#else

namespace zepho::detail {
const CompositeRowFn CompositeOverRowAvx2 = nullptr;
}

#endif
