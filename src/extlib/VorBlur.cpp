#include "extlib/VorRender.h"

#include "platform/Parallel.h"

#include <algorithm>
#include <cmath>
#include <memory>
#include <new>

namespace zepho {

namespace {

// The triangle kernel of radius r is two boxes of r + 1 taps, one reaching back [i - r, i] and one
// reaching forward [i, i + r]. Each box runs with one moving sum, so a pixel costs the same for
// every radius. Outside the image the edge value repeats. Both passes work in place: the only
// overwritten value a later step still needs is the one just replaced.
//
// A pixel's four channels travel together as one small vector; the sums are doubles, each step
// subtracting in floats and adding in doubles exactly as a plain loop over the channels would, so
// the result is the same on every machine and for every cut of the work between threads.

// Vectors of four doubles pass between inline functions of this file only, so the register
// convention for them on machines without 256-bit registers does not matter.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic ignored "-Wpsabi"
#endif
typedef float F4 __attribute__((vector_size(16)));
typedef double D4 __attribute__((vector_size(32)));
typedef int I4 __attribute__((vector_size(16)));
typedef BYTE B4 __attribute__((vector_size(4)));

inline F4 Load(const float* p) {
    F4 v;
    __builtin_memcpy(&v, p, sizeof v);
    return v;
}
inline void Store(float* p, F4 v) {
    __builtin_memcpy(p, &v, sizeof v);
}
inline D4 Wide(F4 v) {
    return __builtin_convertvector(v, D4);
}
inline F4 Narrow(D4 v) {
    return __builtin_convertvector(v, F4);
}

// L lines of n pixels, 4 floats each, side by side: each line's steps wait on its own sum only,
// so the lines keep the processor busy together.
// Forward walks each line from its first pixel to its last, backward the other way; pixels
// past either end count as the end pixel.
template <int L, bool Forward> void BoxLines(float* const* d, int n, int r, double norm) {
    const auto at = [n](int t) { return Forward ? t : n - 1 - t; };
    D4 sum[L];
    for (int l = 0; l < L; ++l)
        sum[l] = D4{0, 0, 0, 0};
    for (int k = 0; k <= r; ++k)
        for (int l = 0; l < L; ++l)
            sum[l] += Wide(Load(d[l] + 4 * at(std::min(k, n - 1))));
    for (int t = 0; t < n; ++t) {
        const int i = at(t), j = at(std::min(t + r + 1, n - 1));
        for (int l = 0; l < L; ++l) {
            float* p = d[l] + 4 * i;
            const F4 prev = Load(p);
            const F4 in = Load(d[l] + 4 * j);
            Store(p, Narrow(sum[l] * norm));
            sum[l] += Wide(in - prev);
        }
    }
}

// Reads row y of the picture into its line of floats, colours weighted by alpha.
inline void ReadRow(const BYTE* s, float* d, int w) {
    for (int x = 0; x < w; ++x, s += 4, d += 4) {
        const float a = s[3];
        d[0] = s[0] * a;
        d[1] = s[1] * a;
        d[2] = s[2] * a;
        d[3] = a;
    }
}

// Rounds half away from zero, as lround does: for a float in [0, 255] the sum with 0.5 in doubles
// is exact (or, below 0.5, stays below 1), so truncating it gives the same integer.
inline BYTE RoundByte(float v) {
    const float c = std::clamp(v, 0.0f, 255.0f);
    return static_cast<BYTE>(static_cast<int>(static_cast<double>(c) + 0.5));
}

// Back to bytes: alpha, and the colours divided by it again. A transparent pixel keeps its colour
// bytes.
inline void PutPixel(BYTE* p, F4 v) {
    const float a = v[3];
    const BYTE alpha = RoundByte(a);
    p[3] = alpha;
    if (alpha == 0) return;
    // RoundByte on the three quotients and alpha at once.
    F4 q = v / F4{a, a, a, a};
    q[3] = a;
    const F4 zero = {0, 0, 0, 0}, top = {255, 255, 255, 255};
    q = q < zero ? zero : q;
    q = top < q ? top : q;
    const I4 i = __builtin_convertvector(Wide(q) + 0.5, I4);
    const B4 bytes = __builtin_convertvector(i, B4);
    __builtin_memcpy(p, &bytes, 4);
}

// Asks for a band's part of a row some rows ahead: the rows of a band lie a whole row of the
// picture apart, too far for the processor to guess.
constexpr int kAhead = 8;
inline void Prefetch(const float* p, int n) {
    for (int k = 0; k < 4 * n; k += 16)
        __builtin_prefetch(p + k);
}

// Columns go in bands this many pixels wide, so that a band's sums stay in the first-level cache
// and its rows, read once down and once up, in the second.
constexpr int kBand = 16;

// The column boxes of pixels [x0, x0 + n) with n <= kBand: the backward box in place, then the
// forward box, whose results go straight to the picture's bytes.
void ColumnBand(float* buf, BYTE* row0, std::ptrdiff_t pitch, int w, int h, int r, double norm, int x0,
                int n) {
    const std::size_t stride = static_cast<std::size_t>(w) * 4;
    float* base = buf + static_cast<std::size_t>(x0) * 4;
    auto row = [&](int y) { return base + static_cast<std::size_t>(y) * stride; };
    D4 sum[kBand];

    for (int i = 0; i < n; ++i)
        sum[i] = D4{0, 0, 0, 0};
    for (int k = 0; k <= r; ++k) {
        const float* p = row(std::max(h - 1 - k, 0));
        for (int i = 0; i < n; ++i)
            sum[i] += Wide(Load(p + 4 * i));
    }
    for (int y = h - 1; y >= 0; --y) {
        float* p = row(y);
        const float* in = row(std::max(y - r - 1, 0));
        Prefetch(row(std::max(y - kAhead, 0)), n);
        Prefetch(row(std::max(y - r - 1 - kAhead, 0)), n);
        for (int i = 0; i < n; ++i) {
            const F4 prev = Load(p + 4 * i);
            const F4 next = Load(in + 4 * i);
            Store(p + 4 * i, Narrow(sum[i] * norm));
            sum[i] += Wide(next - prev);
        }
    }

    for (int i = 0; i < n; ++i)
        sum[i] = D4{0, 0, 0, 0};
    for (int k = 0; k <= r; ++k) {
        const float* p = row(std::min(k, h - 1));
        for (int i = 0; i < n; ++i)
            sum[i] += Wide(Load(p + 4 * i));
    }
    for (int y = 0; y < h; ++y) {
        const float* p = row(y);
        const float* in = row(std::min(y + r + 1, h - 1));
        BYTE* out = row0 + y * pitch + static_cast<std::ptrdiff_t>(x0) * 4;
        Prefetch(row(std::min(y + kAhead, h - 1)), n);
        Prefetch(row(std::min(y + r + 1 + kAhead, h - 1)), n);
        for (int i = 0; i < n; ++i) {
            PutPixel(out + 4 * i, Narrow(sum[i] * norm));
            sum[i] += Wide(Load(in + 4 * i) - Load(p + 4 * i));
        }
    }
}

} // namespace

BOOL BlurShadowDIB(PackedDib& dib, double radius) {
    if (!dib.Is32()) return 0;
    if (!(radius >= 0.5)) return 1; // also NaN
    const int w = dib.Width(), h = dib.Height();
    // Past the image's size a wider kernel only repeats the edge further.
    const int r = static_cast<int>(std::min(std::floor(radius + 0.5), static_cast<double>(std::max(w, h))));
    const double norm = 1.0 / (r + 1);

    // Colours weighted by alpha (c * a, up to 65025) so that transparent pixels lend no colour.
    // Four floats a pixel: four pixels' worth of the budget of the document being read.
    const PixelCharge charge(w, h, 4);
    if (!charge.Ok()) return 0;
    // Every float is written by the row pass before anything reads it.
    const std::unique_ptr<float[]> buf(new (std::nothrow) float[static_cast<std::size_t>(w) * h * 4]);
    if (!buf) return 0;

    // Each row is read in and blurred along while it is still in the cache.
    ParallelFor(h, RowGrain(w, 4096), [&](std::ptrdiff_t y0, std::ptrdiff_t y1) {
        for (std::ptrdiff_t y = y0; y < y1; y += 2) {
            float* lines[2];
            const int count = y + 1 < y1 ? 2 : 1;
            for (int l = 0; l < count; ++l) {
                lines[l] = buf.get() + static_cast<std::size_t>(y + l) * w * 4;
                ReadRow(dib.Row(static_cast<int>(y + l)), lines[l], w);
            }
            if (count == 2) {
                BoxLines<2, false>(lines, w, r, norm);
                BoxLines<2, true>(lines, w, r, norm);
            } else {
                BoxLines<1, false>(lines, w, r, norm);
                BoxLines<1, true>(lines, w, r, norm);
            }
        }
    });

    // The picture's rows lie a stride apart, bottom row first.
    BYTE* const row0 = dib.Row(0);
    const std::ptrdiff_t pitch = -static_cast<std::ptrdiff_t>(dib.Stride());
    const int bands = (w + kBand - 1) / kBand;
    const std::ptrdiff_t bandGrain =
        std::max<std::ptrdiff_t>(1, 4096 / (static_cast<std::ptrdiff_t>(kBand) * h));
    ParallelFor(bands, bandGrain, [&](std::ptrdiff_t b0, std::ptrdiff_t b1) {
        for (std::ptrdiff_t b = b0; b < b1; ++b) {
            const int x0 = static_cast<int>(b) * kBand;
            ColumnBand(buf.get(), row0, pitch, w, h, r, norm, x0, std::min(kBand, w - x0));
        }
    });
    return 1;
}

} // namespace zepho
