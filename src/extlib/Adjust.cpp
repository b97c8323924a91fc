// Brightness/contrast, hue/saturation/lightness and red/green/blue adjustments of packed DIBs.
#include "extlib/ImageTransform.h"

#include <algorithm>
#include <array>
#include <cmath>

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

// A copy of the DIB with fn(b, g, r) run on every pixel; alpha stays.
template <class Fn> PackedDib MapColours(const PackedDib& dib, IProgress* progress, int base, Fn fn) {
    const int bits = dib.BitCount();
    if (!dib || (bits != 24 && bits != 32) || dib.Width() <= 0 || dib.Height() <= 0) return {};
    PackedDib out = dib.Clone();
    if (!out) return out;
    const int w = out.Width(), h = out.Height(), step = bits / 8;
    for (int y = 0; y < h; ++y) {
        BYTE* p = out.Row(y);
        for (int x = 0; x < w; ++x, p += step)
            fn(p[0], p[1], p[2]);
        Report(progress, base, y + 1, h);
    }
    return out;
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

double HueToChannel(double p, double q, double t) {
    if (t < 0) t += 1;
    if (t > 1) t -= 1;
    if (t < 1.0 / 6) return p + (q - p) * 6 * t;
    if (t < 0.5) return q;
    if (t < 2.0 / 3) return p + (q - p) * (2.0 / 3 - t) * 6;
    return p;
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
    const double turn = std::clamp(hue, -180, 180) / 360.0;
    const double sat = 1 + std::clamp(saturation, -100, 100) / 100.0;
    const double light = std::clamp(lightness, -100, 100) / 100.0;
    return MapColours(dib, progress, base, [&](BYTE& pb, BYTE& pg, BYTE& pr) {
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
        h += turn;
        h -= std::floor(h);
        s = std::min(1.0, s * sat);
        l = light >= 0 ? l + (1 - l) * light : l * (1 + light);
        if (s <= 0) {
            pr = pg = pb = RoundByte(l * 255);
            return;
        }
        const double q = l < 0.5 ? l * (1 + s) : l + s - l * s;
        const double p = 2 * l - q;
        pr = RoundByte(HueToChannel(p, q, h + 1.0 / 3) * 255);
        pg = RoundByte(HueToChannel(p, q, h) * 255);
        pb = RoundByte(HueToChannel(p, q, h - 1.0 / 3) * 255);
    });
}

} // namespace zepho
