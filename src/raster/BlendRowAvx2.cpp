// The AVX2 path of the transparency blend: the SSE2 method on eight pixels at a time.
// Only this function is built for AVX2 (nothing inline from shared headers is), and it is
// only called when the processor has it.
#include "raster/BlendRow.h"

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>

namespace zepho::detail {

namespace {

__attribute__((target("avx2"))) void BlendRowAvx2Impl(BYTE* dst, const BYTE* src, int n, int t) {
    const __m256i tAlpha = _mm256_set1_epi32(static_cast<int>(static_cast<unsigned>(t) << 24));
    const __m256i alphaMask = _mm256_set1_epi32(static_cast<int>(0xFF000000u));
    const __m256i lowBytes = _mm256_set1_epi16(0x00FF);
    const __m256i k32768 = _mm256_set1_epi16(static_cast<short>(0x8000));
    const __m256i k32896 = _mm256_set1_epi16(static_cast<short>(32896));
    const __m256i zero = _mm256_setzero_si256();
    int i = 0;
    for (; i + 8 <= n; i += 8) {
        const __m256i s = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(src + 4 * i));
        const __m256i a8 = _mm256_and_si256(_mm256_subs_epu8(s, tAlpha), alphaMask);
        const __m256i skip = _mm256_cmpeq_epi32(a8, zero);
        const __m256i copy = _mm256_cmpeq_epi32(a8, alphaMask);
        const unsigned skipBits = static_cast<unsigned>(_mm256_movemask_epi8(skip));
        if (skipBits == 0xFFFFFFFFu) continue;
        __m256i* dp = reinterpret_cast<__m256i*>(dst + 4 * i);
        const unsigned copyBits = static_cast<unsigned>(_mm256_movemask_epi8(copy));
        if (copyBits == 0xFFFFFFFFu) {
            _mm256_storeu_si256(dp, s);
            continue;
        }
        const __m256i d = _mm256_loadu_si256(dp);
        const __m256i aa = _mm256_or_si256(a8, _mm256_srli_epi32(a8, 16));
        const __m256i w = _mm256_mulhi_epu16(aa, k32896);
        const __m256i inv = _mm256_sub_epi16(k32768, w);
        const __m256i re = _mm256_add_epi16(_mm256_mulhi_epu16(_mm256_and_si256(d, lowBytes), inv),
                                            _mm256_mulhi_epu16(_mm256_and_si256(s, lowBytes), w));
        const __m256i ro = _mm256_add_epi16(_mm256_mulhi_epu16(_mm256_srli_epi16(d, 8), inv),
                                            _mm256_mulhi_epu16(_mm256_srli_epi16(s, 8), w));
        __m256i r = _mm256_or_si256(_mm256_add_epi16(re, re), _mm256_slli_epi16(ro, 9));
        // Unconditional: a branch here mispredicts on mixed alpha and costs more than it saves.
        r = _mm256_blendv_epi8(r, s, copy);
        r = _mm256_blendv_epi8(r, d, skip);
        _mm256_storeu_si256(dp, r);
    }
    if (i < n) BlendRowScalar(dst + 4 * i, src + 4 * i, n - i, t);
}

} // namespace

const BlendRowFn BlendRowAvx2 = &BlendRowAvx2Impl;

} // namespace zepho::detail

#else

namespace zepho::detail {
const BlendRowFn BlendRowAvx2 = nullptr;
}

#endif
