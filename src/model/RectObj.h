// A rectangle, with square or rounded corners.
#pragma once

#include "model/ShapeObj.h"

namespace zepho {

class CRectObj : public CShapeObj {
public:
    double width = 0;
    double height = 0;
    // Corner radius in percent of the shorter side; below 1 the corners are square.
    std::int32_t roundCorner = 50;

    ObjectKind Kind() const override { return KindRectangle; }
    PackedDib Render() override;
    void GetSize(double& w, double& h) const override;
    CGeometryMemento CreateTransformUndo() override;
    void RestoreGeometry(const CGeometryMemento& memento) override;
    PackedDib Transform(double sx, double sy, double newAngle) override;
    std::size_t Write(ByteWriter& out) const override;
    bool Read(ByteReader& in) override;
    Ref<CObjShape> Clone() const override;

    // The corner radius in pixels that roundCorner gives.
    double CornerRadius() const;
    // The outline centred in a target of the given size.
    void BuildPath(CVorPath& path, int targetW, int targetH) const;
};

} // namespace zepho
