#include "model/ShapeObj.h"

#include "extlib/VorRender.h"
#include "model/BitmapObj.h"
#include "platform/ByteStream.h"

#include <algorithm>
#include <climits>
#include <cmath>

namespace zepho {

namespace {
constexpr double kDegToRad = 0.017453292519943295;
// Beyond this a shape could never fit a raster; refusing early keeps the size arithmetic sane.
constexpr double kMaxExtent = 1e8;
} // namespace

void CShapeObj::WriteVectorPart(ByteWriter& out) const {
    out.WriteF64(angle);
    out.WriteI32(fill ? 1 : 0);
    out.WriteI32(strokeWidth);
    out.WriteU32(paint.color1);
    out.WriteU32(paint.color2);
    out.WriteU16(paint.mode);
    out.WriteU16(paint.reserved);
}

bool CShapeObj::ReadVectorPart(ByteReader& in) {
    double a = 0;
    LONG f = 0, sw = 0;
    DWORD c1 = 0, c2 = 0;
    WORD mode = 0, reserved = 0;
    if (!in.ReadF64(a) || !in.ReadI32(f) || !in.ReadI32(sw) || !in.ReadU32(c1) || !in.ReadU32(c2) ||
        !in.ReadU16(mode) || !in.ReadU16(reserved))
        return false;
    angle = a;
    fill = f ? 1 : 0;
    strokeWidth = sw;
    paint.color1 = c1;
    paint.color2 = c2;
    paint.mode = mode;
    paint.reserved = reserved;
    return true;
}

PackedDib CShapeObj::RenderOutline(double w, double h, const OutlineBuilder& build, Margins* margins) const {
    // A negative width read from a file draws like no outline rather than shrinking the target.
    const int stroke = std::max(0, strokeWidth);
    tooLarge = false;
    if (stroke < 1 && !fill) return {};
    if (!std::isfinite(w) || !std::isfinite(h) || !std::isfinite(angle)) return {};
    double ew = 0, eh = 0;
    RotatedExtent(w, h, angle, ew, eh);
    if (!FitsRenderSide(ew + stroke, eh + stroke)) {
        tooLarge = true;
        return {};
    }
    if (std::fabs(w) > kMaxExtent || std::fabs(h) > kMaxExtent) return {};
    int bw = 0, bh = 0;
    RotatedSize(w, h, angle, bw, bh);
    const long long tw = static_cast<long long>(bw) + stroke, th = static_cast<long long>(bh) + stroke;
    if (tw < 1 || th < 1 || tw > INT_MAX || th > INT_MAX) return {};
    PackedDib target = CreateSolidDIB(static_cast<int>(tw), static_cast<int>(th), RGB(255, 255, 255), 0);
    if (!target) return {};

    CVorPath path;
    build(path, target.Width(), target.Height());

    const double cx = target.Width() / 2.0, cy = target.Height() / 2.0;
    CVorTransMatrix m;
    m.Multiply(CVorTransMatrix::Translation(-cx, -cy));
    m.Multiply(CVorTransMatrix::Rotation(angle * kDegToRad));
    m.Multiply(CVorTransMatrix::Translation(cx, cy));
    m.Invert();

    if (fill) FillShape(target, path, m, paint, 1);
    if (stroke != 0) StrokeShape(target, path, m, stroke, paint, 0);

    const Margins trim = FindOpaqueBounds(target);
    if (trim.top == target.Height()) return {};
    if (trim.left > 0 || trim.top > 0 || trim.right > 0 || trim.bottom > 0) {
        target = CropDIB(target, trim.left, trim.top, trim.right, trim.bottom);
        if (!target) return {};
    }
    if (margins) *margins = trim;
    return target;
}

} // namespace zepho
