// Row kernels behind the blend operations. Internal to the raster layer; the paths are
// exposed so that tests can compare them byte for byte.
#pragma once

#include "platform/WinTypes.h"

namespace zepho::detail {

// Draws n source pixels onto n destination pixels with the transparency rule:
// alpha a <= t leaves the destination, a - t = 255 copies the pixel, anything else blends all
// four bytes with the weight w = ((a - t) * 32768) / 255:
//   byte = min(255, 2 * (((d * (32768 - w)) >> 16) + ((s * w) >> 16)))
using BlendRowFn = void (*)(BYTE* dst, const BYTE* src, int n, int t);

void BlendRowScalar(BYTE* dst, const BYTE* src, int n, int t);
// Null when the build has no such path.
extern const BlendRowFn BlendRowSse2;
extern const BlendRowFn BlendRowAvx2;

// The row kernel currently chosen (see Cpu.h).
BlendRowFn ActiveBlendRow();

// The alpha-preserving "over" of n source pixels with transparency t onto n destination pixels:
// a_s = max(s_A - t, 0), a_o = 255 - ((255 - a_d) * (255 - a_s)) / 255, and each colour
//   ((((255 - a_s) * a_d * c_d) / 255 + a_s * c_s) / a_o), clamped to 255 (no division when a_o is 0).
using CompositeRowFn = void (*)(BYTE* dst, const BYTE* src, int n, int t);
void CompositeOverRowScalar(BYTE* dst, const BYTE* src, int n, int t);
// Null when the build has no such path.
extern const CompositeRowFn CompositeOverRowAvx2;
// The AVX2 path when it is in use, else the scalar one (there is no SSE2 path).
CompositeRowFn ActiveCompositeRow();

} // namespace zepho::detail
