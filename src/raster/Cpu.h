// Selection between the SSE2 and the scalar pixel kernels.
//
// The choice is made once, on first use: SSE2 when the processor has it and the environment
// variable ZEPHO_DISABLE_SIMD is not set to a non-zero value. Both paths give the same bytes.
#pragma once

namespace zepho {

bool CpuHasSse2();
// True while the SIMD kernels are in use.
bool SimdActive();
// Switches the SIMD kernels on or off (on only where the processor allows); for tests and
// benchmarks that compare the two paths.
void SetSimdActive(bool on);

} // namespace zepho
