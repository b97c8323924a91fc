#include "model/PolygonObj.h"

#include "platform/ByteStream.h"

#include <climits>
#include <cmath>
#include <new>

namespace zepho {

namespace {
constexpr std::uint64_t kPointBytes = 16;
}

void CPolygonObj::GetBounds(double& minX, double& minY, double& maxX, double& maxY) const {
    minX = minY = maxX = maxY = 0;
    for (std::size_t i = 0; i < points.size(); ++i) {
        const PointD& p = points[i];
        if (i == 0 || p.x < minX) minX = p.x;
        if (i == 0 || p.x > maxX) maxX = p.x;
        if (i == 0 || p.y < minY) minY = p.y;
        if (i == 0 || p.y > maxY) maxY = p.y;
    }
}

void CPolygonObj::GetSize(double& width, double& height) const {
    double minX, minY, maxX, maxY;
    GetBounds(minX, minY, maxX, maxY);
    width = maxX - minX;
    height = maxY - minY;
}

void CPolygonObj::BuildPath(CVorPath& path, int targetW, int targetH, double W, double H) const {
    double minX, minY, maxX, maxY;
    GetBounds(minX, minY, maxX, maxY);
    const double dx = -minX + (targetW - W) / 2, dy = -minY + (targetH - H) / 2;
    for (std::size_t i = 0; i < points.size(); ++i) {
        if (i == 0)
            path.move_to(points[i].x + dx, points[i].y + dy);
        else
            path.line_to(points[i].x + dx, points[i].y + dy);
    }
    if (EndsOnVertex(path)) path.close_polygon();
}

PackedDib CPolygonObj::Render() {
    double w = 0, h = 0;
    GetSize(w, h);
    const double W = std::floor(w + 0.5), H = std::floor(h + 0.5);
    Margins trim;
    PackedDib out = RenderOutline(
        W, H, [&](CVorPath& p, int tw, int th) { BuildPath(p, tw, th, W, H); }, &trim);
    if (out) {
        trimLeft = trim.left;
        trimTop = trim.top;
        trimRight = trim.right;
        trimBottom = trim.bottom;
    }
    return out;
}

CGeometryMemento CPolygonObj::CreateTransformUndo() {
    CGeometryMemento m;
    m.kind = KindPolygon;
    m.angle = angle;
    m.points.reserve(points.size() * 2);
    for (const PointD& p : points) {
        m.points.push_back(p.x);
        m.points.push_back(p.y);
    }
    m.extra[0] = trimLeft;
    m.extra[1] = trimTop;
    m.extra[2] = trimRight;
    m.extra[3] = trimBottom;
    m.shape = Ref<CObjShape>(this);
    return m;
}

void CPolygonObj::RestoreGeometry(const CGeometryMemento& memento) {
    points.resize(memento.points.size() / 2);
    for (std::size_t i = 0; i < points.size(); ++i)
        points[i] = {memento.points[2 * i], memento.points[2 * i + 1]};
    angle = memento.angle;
    trimLeft = memento.extra[0];
    trimTop = memento.extra[1];
    trimRight = memento.extra[2];
    trimBottom = memento.extra[3];
}

PackedDib CPolygonObj::Transform(double sx, double sy, double newAngle) {
    // Scaling back by 1 / s cannot undo a zero or overflowing scale: keep the old points instead.
    const std::vector<PointD> old = points;
    const double oldAngle = angle;
    const std::int32_t oldTrims[4] = {trimLeft, trimTop, trimRight, trimBottom};
    double minX, minY, maxX, maxY;
    GetBounds(minX, minY, maxX, maxY);
    for (PointD& p : points) {
        p.x = (p.x - minX) * sx + minX;
        p.y = (p.y - minY) * sy + minY;
    }
    angle = newAngle;
    PackedDib out = Render();
    if (!out) {
        points = old;
        angle = oldAngle;
        trimLeft = oldTrims[0];
        trimTop = oldTrims[1];
        trimRight = oldTrims[2];
        trimBottom = oldTrims[3];
    }
    return out;
}

std::size_t CPolygonObj::Write(ByteWriter& out) const {
    if (points.size() > static_cast<std::size_t>(INT_MAX)) return 0;
    const std::uint64_t start = out.Tell();
    WriteVectorPart(out);
    out.WriteI32(static_cast<LONG>(points.size()));
    for (const PointD& p : points) {
        out.WriteF64(p.x);
        out.WriteF64(p.y);
    }
    if (out.Failed()) return 0;
    return static_cast<std::size_t>(out.Tell() - start);
}

bool CPolygonObj::Read(ByteReader& in) try {
    CPolygonObj r;
    LONG n = 0;
    if (!r.ReadVectorPart(in) || !in.ReadI32(n)) return false;
    // The count must fit in what is left before anything is allocated for it.
    if (n < 0 || static_cast<std::uint64_t>(n) > in.Remaining() / kPointBytes) return false;
    r.points.resize(static_cast<std::size_t>(n));
    for (PointD& p : r.points)
        if (!in.ReadF64(p.x) || !in.ReadF64(p.y)) return false;
    *this = std::move(r);
    return true;
} catch (const std::bad_alloc&) {
    return false;
}

Ref<CObjShape> CPolygonObj::Clone() const try {
    return MakeRef<CPolygonObj>(*this);
} catch (const std::bad_alloc&) {
    return {};
}

void CPolygonObj::GetCenterCorrection(double& dx, double& dy) const {
    dx = (trimRight - trimLeft) / 2.0;
    dy = (trimBottom - trimTop) / 2.0;
}

} // namespace zepho
