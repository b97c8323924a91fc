// Brightness/contrast, hue/saturation/lightness and red/green/blue adjustments of packed DIBs.
// Rows are shared among threads; the bytes do not depend on how many.
#include "extlib/AdjustHsl.h"
#include "extlib/ImageTransform.h"
#include "platform/Parallel.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdlib>
#include <cstring>

namespace zepho {

namespace {

using Lut = std::array<BYTE, 256>;

BYTE RoundByte(double v) {
    v = std::floor(v + 0.5);
    return static_cast<BYTE>(v < 0 ? 0 : (v > 255 ? 255 : v));
}

void Report(IProgress* progress, int base, int rowsDone, int height) {
    if (!progress) return;
    progress->SetPos(std::min(100, base + static_cast<int>(100LL * rowsDone / height)));
    progress->Pump();
}

// A copy of the DIB with rowFn(row, width, bytesPerPixel) run on every row; alpha stays. With a
// progress indicator the rows go in bands, and the indicator advances between bands on the
// calling thread.
template <class RowFn> PackedDib MapRows(const PackedDib& dib, IProgress* progress, int base, RowFn rowFn) {
    const int bits = dib.BitCount();
    if (!dib || (bits != 24 && bits != 32) || dib.Width() <= 0 || dib.Height() <= 0) return {};
    PackedDib out = dib.Clone();
    if (!out) return out;
    const int w = out.Width(), h = out.Height(), step = bits / 8;
    auto rows = [&](std::ptrdiff_t begin, std::ptrdiff_t end) {
        for (std::ptrdiff_t y = begin; y < end; ++y)
            rowFn(out.Row(static_cast<int>(y)), w, step);
    };
    const std::ptrdiff_t grain = RowGrain(w);
    if (!progress) {
        ParallelFor(h, grain, rows);
        return out;
    }
    constexpr int kBands = 32;
    for (int band = 0; band < kBands; ++band) {
        const std::ptrdiff_t y0 = std::ptrdiff_t{h} * band / kBands,
                             y1 = std::ptrdiff_t{h} * (band + 1) / kBands;
        if (y0 == y1) continue;
        ParallelFor(y1 - y0, grain, [&](std::ptrdiff_t b, std::ptrdiff_t e) { rows(y0 + b, y0 + e); });
        Report(progress, base, static_cast<int>(y1), h);
    }
    return out;
}

// A copy of the DIB with fn(b, g, r) run on every pixel; alpha stays.
template <class Fn> PackedDib MapColours(const PackedDib& dib, IProgress* progress, int base, Fn fn) {
    return MapRows(dib, progress, base, [&](BYTE* p, int w, int step) {
        for (int x = 0; x < w; ++x, p += step)
            fn(p[0], p[1], p[2]);
    });
}

PackedDib MapLuts(const PackedDib& dib, const Lut& b, const Lut& g, const Lut& r, IProgress* progress,
                  int base) {
    return MapColours(dib, progress, base, [&](BYTE& pb, BYTE& pg, BYTE& pr) {
        pb = b[pb];
        pg = g[pg];
        pr = r[pr];
    });
}

Lut OffsetLut(int offset) {
    Lut t;
    for (int v = 0; v < 256; ++v)
        t[v] = static_cast<BYTE>(std::clamp(v + offset, 0, 255));
    return t;
}

} // namespace

PackedDib AdjustDIBBrightAndConstract(const PackedDib& dib, int brightness, int contrast, IProgress* progress,
                                      int base) {
    brightness = std::clamp(brightness, -255, 255);
    contrast = std::clamp(contrast, -127, 127);
    const double factor = contrast < 0 ? (128.0 + contrast) / 128.0 : 128.0 / (128.0 - contrast);
    Lut t;
    for (int v = 0; v < 256; ++v) {
        const int lit = std::clamp(v + brightness, 0, 255);
        t[v] = RoundByte((lit - 128) * factor + 128);
    }
    return MapLuts(dib, t, t, t, progress, base);
}

PackedDib AdjustDIBRGB(const PackedDib& dib, int red, int green, int blue, IProgress* progress, int base) {
    return MapLuts(dib, OffsetLut(blue), OffsetLut(green), OffsetLut(red), progress, base);
}

PackedDib AdjustDIBHSL(const PackedDib& dib, int hue, int saturation, int lightness, IProgress* progress,
                       int base) {
    if (hue == 0 && saturation == 0 && lightness == 0)
        return MapColours(dib, progress, base, [](BYTE&, BYTE&, BYTE&) {});
    detail::HslParams k;
    k.turn = std::clamp(hue, -180, 180) / 360.0;
    k.sat = 1 + std::clamp(saturation, -100, 100) / 100.0;
    k.light = std::clamp(lightness, -100, 100) / 100.0;
    const auto row = detail::HslVectorActive() ? detail::HslRowAvx2 : &detail::HslRowScalar;
    return MapRows(dib, progress, base, [&](BYTE* p, int w, int step) { row(p, w, step, k); });
}

namespace detail {

namespace {

double HueToChannel(double p, double q, double t) {
    if (t < 0) t += 1;
    if (t > 1) t -= 1;
    if (t < 1.0 / 6) return p + (q - p) * 6 * t;
    if (t < 0.5) return q;
    if (t < 2.0 / 3) return p + (q - p) * (2.0 / 3 - t) * 6;
    return p;
}

bool VectorFromEnvironment() {
    if (!HslRowAvx2) return false;
#if defined(__x86_64__) || defined(__i386__)
    __builtin_cpu_init();
    if (!__builtin_cpu_supports("avx2")) return false;
#endif
    const char* off = std::getenv("ZEPHO_DISABLE_SIMD");
    if (off && *off && std::strcmp(off, "0") != 0) return false;
    const char* cap = std::getenv("ZEPHO_SIMD");
    return !(cap && (std::strcmp(cap, "sse2") == 0 || std::strcmp(cap, "scalar") == 0));
}

bool& VectorOn() {
    static bool on = VectorFromEnvironment();
    return on;
}

} // namespace

bool HslVectorActive() {
    return VectorOn();
}
void SetHslVector(bool on) {
    VectorOn() = on && VectorFromEnvironment();
}

void HslRowScalar(BYTE* px, int n, int step, const HslParams& k) {
    for (int i = 0; i < n; ++i, px += step) {
        BYTE& pb = px[0];
        BYTE& pg = px[1];
        BYTE& pr = px[2];
        const double r = pr / 255.0, g = pg / 255.0, b = pb / 255.0;
        const double hi = std::max({r, g, b}), lo = std::min({r, g, b});
        double l = (hi + lo) / 2, s = 0, h = 0;
        if (hi > lo) {
            const double d = hi - lo;
            s = l > 0.5 ? d / (2 - hi - lo) : d / (hi + lo);
            if (hi == r)
                h = (g - b) / d + (g < b ? 6 : 0);
            else if (hi == g)
                h = (b - r) / d + 2;
            else
                h = (r - g) / d + 4;
            h /= 6;
        }
        h += k.turn;
        h -= std::floor(h);
        s = std::min(1.0, s * k.sat);
        l = k.light >= 0 ? l + (1 - l) * k.light : l * (1 + k.light);
        if (s <= 0) {
            pr = pg = pb = RoundByte(l * 255);
            continue;
        }
        const double q = l < 0.5 ? l * (1 + s) : l + s - l * s;
        const double p = 2 * l - q;
        pr = RoundByte(HueToChannel(p, q, h + 1.0 / 3) * 255);
        pg = RoundByte(HueToChannel(p, q, h) * 255);
        pb = RoundByte(HueToChannel(p, q, h - 1.0 / 3) * 255);
    }
}

} // namespace detail

} // namespace zepho
