#include "raster/Cpu.h"

#include "raster/BlendRow.h"

#include <cstdlib>

namespace zepho {

namespace {

bool EnvDisablesSimd() {
    const char* v = std::getenv("ZEPHO_DISABLE_SIMD");
    return v && *v && !(v[0] == '0' && v[1] == '\0');
}

detail::BlendRowFn& Chosen() {
    static detail::BlendRowFn fn = (CpuHasSse2() && !EnvDisablesSimd()) ? detail::BlendRowSse2
                                                                          : &detail::BlendRowScalar;
    return fn;
}

} // namespace

bool CpuHasSse2() {
#if defined(__x86_64__) || defined(__i386__)
    if (!detail::BlendRowSse2) return false;
    __builtin_cpu_init();
    return __builtin_cpu_supports("sse2");
#else
    return false;
#endif
}

bool SimdActive() { return Chosen() != &detail::BlendRowScalar; }

void SetSimdActive(bool on) {
    Chosen() = (on && CpuHasSse2()) ? detail::BlendRowSse2 : &detail::BlendRowScalar;
}

namespace detail {
BlendRowFn ActiveBlendRow() { return Chosen(); }
} // namespace detail

} // namespace zepho
