#include "raster/Shadow.h"

#include "extlib/VorRender.h"
#include "platform/PixelBudget.h"
#include "raster/Dib.h"

#include <algorithm>
#include <cmath>

namespace zepho {

namespace {

constexpr double kDegToRad = 0.017453292519943295;
// Shadow canvases past the renderer's largest side are refused rather than attempted.
constexpr double kMaxSide = kMaxRenderSide;

// A canvas side computed in doubles, or -1 when it is not a usable size.
int Side(double v) {
    return std::isfinite(v) && v >= 1 && v <= kMaxSide ? static_cast<int>(v) : -1;
}

// The canvas and the blur's four float planes, checked against the budget of a document being
// read before anything is drawn.
bool ShadowFits(int w, int h, int blur) {
    return PixelBudgetScope::CurrentAllows(w, h, blur >= 1 ? 5 : 1);
}

} // namespace

PackedDib MakeFlatShadow(const PackedDib& raster, COLORREF color, double scale, int blur) {
    if (!raster.Is32() || !std::isfinite(scale) || scale < 0) return {};
    const int b = std::max(blur, 0);
    const double z = scale;
    const int w = Side(std::floor(raster.Width() * z + 0.5) + 2.0 * b);
    const int h = Side(std::floor(raster.Height() * z + 0.5) + 2.0 * b);
    if (w < 0 || h < 0 || !ShadowFits(w, h, b)) return {};
    PackedDib canvas = CreateSolidDIB(w, h, color, 0);
    if (!canvas) return {};
    {
        const PackedDib silhouette = MakeSilhouette(raster, color);
        if (!silhouette) return {};
        CVorTransMatrix m = CVorTransMatrix::Scaling(z, z);
        m.Multiply(CVorTransMatrix::Translation(b, b));
        // A zero scale leaves nothing to draw; the blank canvas is still the shadow.
        if (m.Invert()) TransformImage(canvas, silhouette, m, b, b, 0);
    }
    BlurShadowDIB(canvas, b);
    return canvas;
}

PackedDib MakePerspectiveShadow(const PackedDib& raster, int type, COLORREF color, double scale, int blur,
                                int skewDegrees, int perspective) {
    if (!raster.Is32() || type < 6 || type > 9 || !std::isfinite(scale)) return {};
    const double W = raster.Width(), H = raster.Height();
    const double z = scale;
    const double b = std::max(blur, 0);
    const double a = skewDegrees * kDegToRad;
    const double p = perspective;
    const double U = std::sin(a) * p * H * 0.01;
    const double V = std::cos(a) * p * H * 0.01;
    const int w = Side(std::max(std::floor(V + std::max(W, W * z)) + 2 * b, 1.0));
    const int h = Side(std::max(std::floor(U + 0.5) + 2 * b, 1.0));
    if (w < 0 || h < 0 || !ShadowFits(w, h, static_cast<int>(b))) return {};

    double q[8];
    switch (type) {
    case 6:
        q[0] = b, q[1] = b, q[2] = W * z + b, q[3] = b, q[4] = W * z + b + V, q[5] = b + U,
        q[6] = W * z + b + V - W, q[7] = b + U;
        break;
    case 7:
        q[0] = b + V, q[1] = b, q[2] = W * z + b + V, q[3] = b, q[4] = W + b, q[5] = b + U, q[6] = b,
        q[7] = b + U;
        break;
    case 8:
        q[0] = b, q[1] = b + U, q[2] = W * z + b, q[3] = b + U, q[4] = W * z + b + V, q[5] = b,
        q[6] = W * z + b + V - W, q[7] = b;
        break;
    default:
        q[0] = b + V, q[1] = b + U, q[2] = W * z + b + V, q[3] = b + U, q[4] = W + b, q[5] = b, q[6] = b,
        q[7] = b;
        break;
    }

    PackedDib canvas = CreateSolidDIB(w, h, color, 0);
    if (!canvas) return {};
    {
        const PackedDib silhouette = MakeSilhouette(raster, color);
        if (!silhouette) return {};
        // A flat quadrilateral (no skew or no perspective) draws nothing and is not an error.
        BulidPerspective(canvas, silhouette, q[0], q[1], q[2], q[3], q[4], q[5], q[6], q[7]);
    }
    BlurShadowDIB(canvas, b);
    return canvas;
}

} // namespace zepho
