#include "model/BitmapObj.h"

#include "extlib/VorRender.h"
#include "model/DibStream.h"
#include "model/RasterTally.h"
#include "raster/Dib.h"

#include <algorithm>
#include <cmath>

namespace zepho {

namespace {
constexpr double kDegToRad = 0.017453292519943295;
}

void RotatedExtent(double w, double h, double degrees, double& outW, double& outH) {
    // The corners go through the inverse of a turn by +angle, as the drawing matrix does.
    const double r = -degrees * kDegToRad, c = std::cos(r), s = std::sin(r);
    double minX = 0, maxX = 0, minY = 0, maxY = 0;
    const double xs[4] = {-w / 2, w / 2, w / 2, -w / 2}, ys[4] = {-h / 2, -h / 2, h / 2, h / 2};
    for (int i = 0; i < 4; ++i) {
        const double x = xs[i] * c - ys[i] * s, y = xs[i] * s + ys[i] * c;
        if (i == 0 || x < minX) minX = x;
        if (i == 0 || x > maxX) maxX = x;
        if (i == 0 || y < minY) minY = y;
        if (i == 0 || y > maxY) maxY = y;
    }
    outW = std::floor(maxX - minX + 0.5);
    outH = std::floor(maxY - minY + 0.5);
}

void RotatedSize(double w, double h, double degrees, int& outW, int& outH) {
    double fw = 0, fh = 0;
    RotatedExtent(w, h, degrees, fw, fh);
    // Sizes beyond any raster we could hold count as failures, not as overflowing integers.
    outW = (fw >= 1 && fw < 1e9) ? static_cast<int>(fw) : 0;
    outH = (fh >= 1 && fh < 1e9) ? static_cast<int>(fh) : 0;
}

bool FitsRenderSide(double w, double h) {
    return w <= kMaxRenderSide && h <= kMaxRenderSide;
}

PackedDib CBitmapObj::Render() {
    tooLarge = false;
    if (!source.Is32()) return {};
    const int W = source.Width(), H = source.Height();
    double ew = 0, eh = 0;
    RotatedExtent(W * scaleX, H * scaleY, angle, ew, eh);
    if (std::isfinite(ew) && std::isfinite(eh) && !FitsRenderSide(ew, eh)) {
        tooLarge = true;
        return {};
    }
    int tw = 0, th = 0;
    RotatedSize(W * scaleX, H * scaleY, angle, tw, th);
    // Larger renders than any screen or file needs (16384 x 16384) are refused rather than tried.
    if (tw < 1 || th < 1 || static_cast<long long>(tw) * th > (1LL << 28)) return {};
    const double r = -angle * kDegToRad;
    CVorTransMatrix m;
    m.Multiply(CVorTransMatrix::Translation(-W / 2.0, -H / 2.0));
    m.Multiply(CVorTransMatrix::Scaling(scaleX, scaleY));
    m.Multiply(CVorTransMatrix::Rotation(r));
    m.Multiply(CVorTransMatrix::Translation(tw / 2.0, th / 2.0));
    if (!m.Invert()) return {};
    // Clear white, the source drawn over it; each row is filled as it is drawn.
    return TransformedImage(tw, th, RGB(255, 255, 255), 0, source, m, filter);
}

void CBitmapObj::GetSize(double& width, double& height) const {
    if (!source) {
        width = height = 0;
        return;
    }
    width = source.Width() * scaleX;
    height = source.Height() * scaleY;
}

CGeometryMemento CBitmapObj::CreateTransformUndo() {
    CGeometryMemento m;
    m.kind = KindTransformedImage;
    m.hadTransform = true;
    m.scaleX = scaleX;
    m.scaleY = scaleY;
    m.angle = angle;
    m.shape = Ref<CObjShape>(this);
    return m;
}

void CBitmapObj::RestoreGeometry(const CGeometryMemento& memento) {
    scaleX = memento.scaleX;
    scaleY = memento.scaleY;
    angle = memento.angle;
}

PackedDib CBitmapObj::Transform(double sx, double sy, double newAngle) {
    const double oldX = scaleX, oldY = scaleY, oldAngle = angle;
    scaleX *= sx;
    scaleY *= sy;
    angle = newAngle;
    PackedDib out = Render();
    if (!out) {
        scaleX = oldX;
        scaleY = oldY;
        angle = oldAngle;
    }
    return out;
}

std::size_t CBitmapObj::Write(ByteWriter& out) const {
    const std::uint64_t start = out.Tell();
    out.WriteI32(filter);
    out.WriteF64(angle);
    out.WriteF64(scaleX);
    out.WriteF64(scaleY);
    if (out.Failed() || !WriteDIBStream(out, source)) return 0;
    return static_cast<std::size_t>(out.Tell() - start);
}

bool CBitmapObj::Read(ByteReader& in) {
    LONG f = 0;
    double a = 0, sx = 0, sy = 0;
    if (!in.ReadI32(f) || !in.ReadF64(a) || !in.ReadF64(sx) || !in.ReadF64(sy)) return false;
    PackedDib src = ReadDIBStream(in);
    if (!src) return false;
    filter = f;
    angle = a;
    scaleX = sx;
    scaleY = sy;
    source = std::move(src);
    return true;
}

void CBitmapObj::TallyRasters(CRasterTally& tally) const {
    tally.Add(source);
}

Ref<CObjShape> CBitmapObj::Clone() const {
    Ref<CBitmapObj> c = MakeRef<CBitmapObj>();
    c->angle = angle;
    c->filter = filter;
    c->scaleX = scaleX;
    c->scaleY = scaleY;
    c->source = source.Share();
    if (source && !c->source) return {};
    return c;
}

} // namespace zepho
