#include "raster/Adjust.h"

#include <cstring>

namespace zepho {

namespace {
// Copies the image and runs fn over every pixel (B, G, R, A bytes) of the copy.
template <class Fn> PackedDib MapPixels(const PackedDib& src, Fn fn) {
    if (!src.Is32()) return {};
    PackedDib out = src.Clone();
    if (!out) return out;
    const int w = out.Width(), h = out.Height();
    for (int y = 0; y < h; ++y) {
        BYTE* p = out.Row(y);
        for (int x = 0; x < w; ++x, p += 4)
            fn(p);
    }
    return out;
}
} // namespace

PackedDib MakeGray(const PackedDib& src) {
    return MapPixels(src, [](BYTE* p) {
        const double v = 0.3 * p[2] + 0.59 * p[1] + 0.11 * p[0];
        // The weights sum to 1, but rounding must not let white spill past 255.
        const BYTE g = v >= 255.0 ? 255 : static_cast<BYTE>(v);
        p[0] = p[1] = p[2] = g;
    });
}

PackedDib MakeNegative(const PackedDib& src) {
    return MapPixels(src, [](BYTE* p) {
        p[0] = static_cast<BYTE>(255 - p[0]);
        p[1] = static_cast<BYTE>(255 - p[1]);
        p[2] = static_cast<BYTE>(255 - p[2]);
    });
}

PackedDib MirrorHorizontally(const PackedDib& src) {
    if (!src.Is32()) return {};
    PackedDib out = src.Clone();
    if (!out) return out;
    const int w = out.Width(), h = out.Height();
    for (int y = 0; y < h; ++y) {
        const BYTE* s = src.Row(y);
        BYTE* d = out.Row(y);
        for (int x = 0; x < w; ++x)
            std::memcpy(d + 4 * static_cast<std::size_t>(w - 1 - x), s + 4 * static_cast<std::size_t>(x), 4);
    }
    return out;
}

PackedDib MirrorVertically(const PackedDib& src) {
    if (!src.Is32()) return {};
    PackedDib out = src.Clone();
    if (!out) return out;
    const int h = out.Height();
    const std::size_t stride = out.Stride();
    for (int y = 0; y < h; ++y)
        std::memcpy(out.Row(y), src.Row(h - 1 - y), stride);
    return out;
}

} // namespace zepho
