// A closed polygon of any number of points. Its raster is trimmed unevenly, so it keeps the
// trimmed margins to find its geometric centre again.
#pragma once

#include "model/ShapeObj.h"

#include <vector>

namespace zepho {

struct PointD {
    double x = 0;
    double y = 0;
    friend bool operator==(const PointD&, const PointD&) = default;
};

class CPolygonObj : public CShapeObj {
public:
    CPolygonObj() { strokeWidth = 8; }

    std::vector<PointD> points;
    // Margins trimmed off the last rendered raster.
    std::int32_t trimLeft = 0;
    std::int32_t trimTop = 0;
    std::int32_t trimRight = 0;
    std::int32_t trimBottom = 0;

    ObjectKind Kind() const override { return KindPolygon; }
    PackedDib Render() override;
    void GetSize(double& width, double& height) const override;
    CGeometryMemento CreateTransformUndo() override;
    void RestoreGeometry(const CGeometryMemento& memento) override;
    PackedDib Transform(double sx, double sy, double newAngle) override;
    std::size_t Write(ByteWriter& out) const override;
    bool Read(ByteReader& in) override;
    Ref<CObjShape> Clone() const override;
    void GetCenterCorrection(double& dx, double& dy) const override;

    // The points' bounding box; all zero without points.
    void GetBounds(double& minX, double& minY, double& maxX, double& maxY) const;
    // The outline centred in a target of the given size; W x H is the rounded size.
    void BuildPath(CVorPath& path, int targetW, int targetH, double W, double H) const;
};

} // namespace zepho
