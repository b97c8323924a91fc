#include "model/RectObj.h"

#include "platform/ByteStream.h"

#include <algorithm>

namespace zepho {

double CRectObj::CornerRadius() const {
    return roundCorner * std::min(width, height) * 0.01;
}

void CRectObj::BuildPath(CVorPath& path, int targetW, int targetH) const {
    const double x0 = (targetW - width) / 2, y0 = (targetH - height) / 2;
    if (roundCorner < 1) {
        path.move_to(x0, y0);
        path.line_to(x0, y0 + height);
        path.line_to(x0 + width, y0 + height);
        path.line_to(x0 + width, y0);
        path.line_to(x0, y0);
        path.close_polygon();
        return;
    }
    CVorRoundRect rect(x0, y0, x0 + width, y0 + height, CornerRadius());
    AppendClosedFigure(path, rect);
}

PackedDib CRectObj::Render() {
    return RenderOutline(
        width, height, [this](CVorPath& p, int tw, int th) { BuildPath(p, tw, th); }, nullptr);
}

void CRectObj::GetSize(double& w, double& h) const {
    w = width;
    h = height;
}

CGeometryMemento CRectObj::CreateTransformUndo() {
    CGeometryMemento m;
    m.kind = KindRectangle;
    m.scaleX = width;
    m.scaleY = height;
    m.angle = angle;
    m.shape = Ref<CObjShape>(this);
    return m;
}

void CRectObj::RestoreGeometry(const CGeometryMemento& memento) {
    width = memento.scaleX;
    height = memento.scaleY;
    angle = memento.angle;
}

PackedDib CRectObj::Transform(double sx, double sy, double newAngle) {
    const double oldW = width, oldH = height, oldAngle = angle;
    width *= sx;
    height *= sy;
    angle = newAngle;
    PackedDib out = Render();
    if (!out) {
        width = oldW;
        height = oldH;
        angle = oldAngle;
    }
    return out;
}

std::size_t CRectObj::Write(ByteWriter& out) const {
    const std::uint64_t start = out.Tell();
    WriteVectorPart(out);
    out.WriteI32(roundCorner);
    out.WriteF64(width);
    out.WriteF64(height);
    if (out.Failed()) return 0;
    return static_cast<std::size_t>(out.Tell() - start);
}

bool CRectObj::Read(ByteReader& in) {
    CRectObj r;
    LONG corner = 0;
    if (!r.ReadVectorPart(in) || !in.ReadI32(corner) || !in.ReadF64(r.width) || !in.ReadF64(r.height))
        return false;
    r.roundCorner = corner;
    *this = r;
    return true;
}

Ref<CObjShape> CRectObj::Clone() const {
    return MakeRef<CRectObj>(*this);
}

} // namespace zepho
