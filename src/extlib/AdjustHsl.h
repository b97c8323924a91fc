// The hue/saturation/lightness kernel, internal to the library. Rows are mapped either one pixel
// at a time in double precision or four pixels at a time with AVX2 doing the very same double
// operations, so both give the same bytes; the choice exists for tests and benchmarks.
#pragma once

#include "platform/WinTypes.h"

namespace zepho::detail {

struct HslParams {
    double turn = 0;  // hue turn in whole turns, -0.5..0.5
    double sat = 1;   // saturation factor 0..2
    double light = 0; // -1..1
};

// Maps n pixels of `step` bytes (3 or 4; blue, green, red first) in place.
void HslRowScalar(BYTE* p, int n, int step, const HslParams& k);
// Null when the build has no AVX2 path.
extern void (*const HslRowAvx2)(BYTE* p, int n, int step, const HslParams& k);

// Whether AdjustDIBHSL uses the AVX2 path: the processor has it and neither ZEPHO_DISABLE_SIMD
// nor ZEPHO_SIMD=sse2/scalar turns it off. SetHslVector(false) forces the scalar path.
bool HslVectorActive();
void SetHslVector(bool on);

} // namespace zepho::detail
