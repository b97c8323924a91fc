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

} // namespace zepho::detail
