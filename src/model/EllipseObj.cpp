#include "model/EllipseObj.h"

#include "platform/ByteStream.h"

namespace zepho {

namespace {
constexpr double kDegToRad = 0.017453292519943295;
}

void CEllipseObj::BuildPath(CVorPath& path, int targetW, int targetH) const {
    CVorArc arc(targetW / 2.0, targetH / 2.0, radiusX, radiusY, startAngle * kDegToRad, endAngle * kDegToRad,
                1);
    AppendClosedFigure(path, arc);
}

PackedDib CEllipseObj::Render() {
    double w = 0, h = 0;
    GetSize(w, h);
    return RenderOutline(
        w, h, [this](CVorPath& p, int tw, int th) { BuildPath(p, tw, th); }, nullptr);
}

void CEllipseObj::GetSize(double& width, double& height) const {
    width = 2 * radiusX;
    height = 2 * radiusY;
}

CGeometryMemento CEllipseObj::CreateTransformUndo() {
    CGeometryMemento m;
    m.kind = KindEllipse;
    m.scaleX = radiusX;
    m.scaleY = radiusY;
    m.angle = angle;
    m.shape = Ref<CObjShape>(this);
    return m;
}

void CEllipseObj::RestoreGeometry(const CGeometryMemento& memento) {
    radiusX = memento.scaleX;
    radiusY = memento.scaleY;
    angle = memento.angle;
}

PackedDib CEllipseObj::Transform(double sx, double sy, double newAngle) {
    const double oldX = radiusX, oldY = radiusY, oldAngle = angle;
    radiusX *= sx;
    radiusY *= sy;
    angle = newAngle;
    PackedDib out = Render();
    if (!out) {
        radiusX = oldX;
        radiusY = oldY;
        angle = oldAngle;
    }
    return out;
}

std::size_t CEllipseObj::Write(ByteWriter& out) const {
    const std::uint64_t start = out.Tell();
    WriteVectorPart(out);
    out.WriteI32(arcFlag);
    out.WriteF64(startAngle);
    // The record keeps the sweep, not the end.
    out.WriteF64(endAngle - startAngle);
    out.WriteF64(radiusX);
    out.WriteF64(radiusY);
    if (out.Failed()) return 0;
    return static_cast<std::size_t>(out.Tell() - start);
}

bool CEllipseObj::Read(ByteReader& in) {
    CEllipseObj r;
    LONG flag = 0;
    double sweep = 0;
    if (!r.ReadVectorPart(in) || !in.ReadI32(flag) || !in.ReadF64(r.startAngle) || !in.ReadF64(sweep) ||
        !in.ReadF64(r.radiusX) || !in.ReadF64(r.radiusY))
        return false;
    r.arcFlag = flag;
    r.endAngle = r.startAngle + sweep;
    *this = r;
    return true;
}

Ref<CObjShape> CEllipseObj::Clone() const {
    return MakeRef<CEllipseObj>(*this);
}

} // namespace zepho
