// Small helpers shared by the vector-renderer tests.
#pragma once

#include "extlib/VorGeometry.h"
#include "platform/PackedDib.h"

#include <cstring>

namespace zepho::test {

inline PackedDib Solid(int w, int h, COLORREF c, BYTE alpha) {
    PackedDib dib = PackedDib::Create(w, h, 32);
    const BYTE px[4] = {GetBValue(c), GetGValue(c), GetRValue(c), alpha};
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            std::memcpy(dib.Pixel32(x, y), px, 4);
    return dib;
}

struct Px {
    int b, g, r, a;
};
inline Px At(const PackedDib& d, int x, int y) {
    const BYTE* p = d.Pixel32(x, y);
    return {p[0], p[1], p[2], p[3]};
}

inline bool SameBytes(const PackedDib& a, const PackedDib& b) {
    return a.Size() == b.Size() && std::memcmp(a.Data(), b.Data(), a.Size()) == 0;
}

inline long AlphaSum(const PackedDib& d) {
    long s = 0;
    for (int y = 0; y < d.Height(); ++y)
        for (int x = 0; x < d.Width(); ++x)
            s += d.Pixel32(x, y)[3];
    return s;
}

inline CVorPath Ellipse(double cx, double cy, double rx, double ry) {
    CVorPath path;
    CVorArc arc(cx, cy, rx, ry, 0, 6.283185307179586, 1);
    path.concat_path(arc);
    path.close_polygon();
    return path;
}

inline CVorPath Box(double x0, double y0, double x1, double y1) {
    CVorPath path;
    path.move_to(x0, y0);
    path.line_to(x0, y1);
    path.line_to(x1, y1);
    path.line_to(x1, y0);
    path.close_polygon();
    return path;
}

inline _TEXTFILLMODE Paint(COLORREF c1, COLORREF c2, WORD mode = 0) {
    _TEXTFILLMODE f;
    f.color1 = c1;
    f.color2 = c2;
    f.mode = mode;
    return f;
}

} // namespace zepho::test
