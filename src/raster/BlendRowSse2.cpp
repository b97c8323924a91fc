// The SSE2 path of the transparency blend, four pixels at a time. Groups whose pixels are all
// skipped or all copied need no arithmetic. The channels are worked on as two sets of 16-bit
// lanes (blue/red and green/alpha), so that one weight vector serves all four pixels.
#include "raster/BlendRow.h"

#if defined(__SSE2__)
#include <emmintrin.h>

namespace zepho::detail {

namespace {

void BlendRowSse2Impl(BYTE* dst, const BYTE* src, int n, int t) {
    const __m128i tAlpha = _mm_set1_epi32(static_cast<int>(static_cast<unsigned>(t) << 24));
    const __m128i alphaMask = _mm_set1_epi32(static_cast<int>(0xFF000000u));
    const __m128i lowBytes = _mm_set1_epi16(0x00FF);
    const __m128i k32768 = _mm_set1_epi16(static_cast<short>(0x8000));
    // w = ((a - t) * 32768) / 255 is exactly the high half of ((a - t) << 8) * 32896 for the
    // alphas that get blended (1..254).
    const __m128i k32896 = _mm_set1_epi16(static_cast<short>(32896));
    const __m128i zero = _mm_setzero_si128();
    int i = 0;
    for (; i + 4 <= n; i += 4) {
        const __m128i s = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src + 4 * i));
        // (a - t) << 8 in the upper 16-bit lane of every pixel, saturated at 0.
        const __m128i a8 = _mm_and_si128(_mm_subs_epu8(s, tAlpha), alphaMask);
        const __m128i skip = _mm_cmpeq_epi32(a8, zero);
        const __m128i copy = _mm_cmpeq_epi32(a8, alphaMask);
        const int skipBits = _mm_movemask_epi8(skip);
        if (skipBits == 0xFFFF) continue;
        __m128i* dp = reinterpret_cast<__m128i*>(dst + 4 * i);
        const int copyBits = _mm_movemask_epi8(copy);
        if (copyBits == 0xFFFF) {
            _mm_storeu_si128(dp, s);
            continue;
        }
        const __m128i d = _mm_loadu_si128(dp);
        const __m128i aa = _mm_or_si128(a8, _mm_srli_epi32(a8, 16));
        const __m128i w = _mm_mulhi_epu16(aa, k32896);
        const __m128i inv = _mm_sub_epi16(k32768, w);
        const __m128i re = _mm_add_epi16(_mm_mulhi_epu16(_mm_and_si128(d, lowBytes), inv),
                                         _mm_mulhi_epu16(_mm_and_si128(s, lowBytes), w));
        const __m128i ro = _mm_add_epi16(_mm_mulhi_epu16(_mm_srli_epi16(d, 8), inv),
                                         _mm_mulhi_epu16(_mm_srli_epi16(s, 8), w));
        // Each half sum is at most 127, so doubling keeps every channel within its byte.
        __m128i r = _mm_or_si128(_mm_add_epi16(re, re), _mm_slli_epi16(ro, 9));
        if (skipBits | copyBits) {
            r = _mm_or_si128(_mm_and_si128(copy, s), _mm_andnot_si128(copy, r));
            r = _mm_or_si128(_mm_and_si128(skip, d), _mm_andnot_si128(skip, r));
        }
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
