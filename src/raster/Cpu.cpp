#include "raster/Cpu.h"

#include "raster/BlendRow.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

namespace zepho {

namespace {

SimdLevel FromEnvironment() {
    const char* off = std::getenv("ZEPHO_DISABLE_SIMD");
    if (off && *off && std::strcmp(off, "0") != 0) return SimdLevel::Scalar;
    const char* cap = std::getenv("ZEPHO_SIMD");
    if (cap && std::strcmp(cap, "sse2") == 0) return std::min(SimdLevel::Sse2, SupportedSimd());
    if (cap && std::strcmp(cap, "scalar") == 0) return SimdLevel::Scalar;
    return SupportedSimd();
}

SimdLevel& Level() {
    static SimdLevel level = FromEnvironment();
    return level;
}

} // namespace

SimdLevel SupportedSimd() {
#if defined(__x86_64__) || defined(__i386__)
    __builtin_cpu_init();
    if (detail::BlendRowAvx2 && __builtin_cpu_supports("avx2")) return SimdLevel::Avx2;
    if (detail::BlendRowSse2 && __builtin_cpu_supports("sse2")) return SimdLevel::Sse2;
#endif
    return SimdLevel::Scalar;
}

bool CpuHasSse2() {
    return SupportedSimd() >= SimdLevel::Sse2;
}

SimdLevel ActiveSimd() {
    return Level();
}
bool SimdActive() {
    return Level() != SimdLevel::Scalar;
}

const char* SimdName(SimdLevel level) {
    switch (level) {
    case SimdLevel::Avx2:
        return "avx2";
    case SimdLevel::Sse2:
        return "sse2";
    default:
        return "scalar";
    }
}

void SetSimdLevel(SimdLevel level) {
    Level() = std::min(level, SupportedSimd());
}
void SetSimdActive(bool on) {
    SetSimdLevel(on ? SupportedSimd() : SimdLevel::Scalar);
}

namespace detail {
BlendRowFn ActiveBlendRow() {
    switch (Level()) {
    case SimdLevel::Avx2:
        return BlendRowAvx2;
    case SimdLevel::Sse2:
        return BlendRowSse2;
    default:
        return &BlendRowScalar;
    }
}

CompositeRowFn ActiveCompositeRow() {
    return Level() == SimdLevel::Avx2 && CompositeOverRowAvx2 ? CompositeOverRowAvx2
                                                              : &CompositeOverRowScalar;
}
} // namespace detail

} // namespace zepho
