// The SSE2 path of the transparency blend: four pixels at a time, with whole groups of opaque
// or skipped pixels handled without arithmetic.
#include "raster/BlendRow.h"

#if defined(__SSE2__)
#include <emmintrin.h>

namespace zepho::detail {

namespace {

void BlendRowSse2Impl(BYTE* dst, const BYTE* src, int n, int t) {
    const __m128i zero = _mm_setzero_si128();
    const __m128i tAlpha = _mm_set1_epi32(static_cast<int>(static_cast<unsigned>(t) << 24));
    const __m128i all255 = _mm_set1_epi32(255);
    const __m128i k32768 = _mm_set1_epi16(static_cast<short>(0x8000));
    const __m128i one = _mm_set1_epi16(1);
    int i = 0;
    for (; i + 4 <= n; i += 4) {
        const __m128i s = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src + 4 * i));
        // a' = max(a - t, 0) in the low byte of each pixel's lane.
        const __m128i a = _mm_srli_epi32(_mm_subs_epu8(s, tAlpha), 24);
        const __m128i skip = _mm_cmpeq_epi32(a, zero);
        const __m128i copy = _mm_cmpeq_epi32(a, all255);
        const int skipBits = _mm_movemask_epi8(skip);
        if (skipBits == 0xFFFF) continue;
        __m128i* dp = reinterpret_cast<__m128i*>(dst + 4 * i);
        if (_mm_movemask_epi8(copy) == 0xFFFF) {
            _mm_storeu_si128(dp, s);
            continue;
        }
        const __m128i d = _mm_loadu_si128(dp);
        // w = (a' * 32768) / 255 = x + x / 255 with x = a' * 128, the division done exactly
        // as (x + 1 + (x >> 8)) >> 8 for x < 65536.
        const __m128i x = _mm_slli_epi16(a, 7);
        const __m128i w = _mm_add_epi16(
            x, _mm_srli_epi16(_mm_add_epi16(_mm_add_epi16(x, one), _mm_srli_epi16(x, 8)), 8));
        const __m128i wl = _mm_shufflelo_epi16(w, _MM_SHUFFLE(2, 2, 0, 0));
        const __m128i wh = _mm_shufflehi_epi16(w, _MM_SHUFFLE(2, 2, 0, 0));
        const __m128i wlo = _mm_unpacklo_epi32(wl, wl);
        const __m128i whi = _mm_unpackhi_epi32(wh, wh);
        const __m128i ilo = _mm_sub_epi16(k32768, wlo);
        const __m128i ihi = _mm_sub_epi16(k32768, whi);
        __m128i rlo = _mm_add_epi16(_mm_mulhi_epu16(_mm_unpacklo_epi8(d, zero), ilo),
                                    _mm_mulhi_epu16(_mm_unpacklo_epi8(s, zero), wlo));
        __m128i rhi = _mm_add_epi16(_mm_mulhi_epu16(_mm_unpackhi_epi8(d, zero), ihi),
                                    _mm_mulhi_epu16(_mm_unpackhi_epi8(s, zero), whi));
        rlo = _mm_add_epi16(rlo, rlo);
        rhi = _mm_add_epi16(rhi, rhi);
        __m128i r = _mm_packus_epi16(rlo, rhi);
        r = _mm_or_si128(_mm_and_si128(copy, s), _mm_andnot_si128(copy, r));
        r = _mm_or_si128(_mm_and_si128(skip, d), _mm_andnot_si128(skip, r));
        _mm_storeu_si128(dp, r);
    }
    if (i < n) BlendRowScalar(dst + 4 * i, src + 4 * i, n - i, t);
}

} // namespace

const BlendRowFn BlendRowSse2 = &BlendRowSse2Impl;

} // namespace zepho::detail

#else

namespace zepho::detail {
const BlendRowFn BlendRowSse2 = nullptr;
}

#endif
