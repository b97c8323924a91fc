// Selection between the SIMD and the scalar pixel kernels.
//
// The choice is made once, on first use, from what the processor reports: AVX2 where present,
// else SSE2, else scalar. Setting the environment variable ZEPHO_DISABLE_SIMD=1 forces the
// scalar path; ZEPHO_SIMD=sse2 caps the choice at SSE2. Every path gives the same bytes.
#pragma once

namespace zepho {

enum class SimdLevel { Scalar = 0, Sse2 = 1, Avx2 = 2 };

// The best level this processor and build support.
SimdLevel SupportedSimd();
bool CpuHasSse2();
// The level in use.
SimdLevel ActiveSimd();
bool SimdActive();
const char* SimdName(SimdLevel level);
// Switches to a level (capped at what is supported); for tests and benchmarks that compare
// the paths.
void SetSimdLevel(SimdLevel level);
void SetSimdActive(bool on);

} // namespace zepho
