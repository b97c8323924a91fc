// An ellipse, or an arc of one closed by its chord.
#pragma once

#include "model/ShapeObj.h"

namespace zepho {

class CEllipseObj : public CShapeObj {
public:
    CEllipseObj() { strokeWidth = 8; }

    double radiusX = 0;
    double radiusY = 0;
    // Degrees; 0..360 is the whole ellipse.
    double startAngle = 0;
    double endAngle = 360;
    // Kept with the ellipse; drawing does not read it.
    std::int32_t arcFlag = 1;

    ObjectKind Kind() const override { return KindEllipse; }
    PackedDib Render() override;
    void GetSize(double& width, double& height) const override;
    CGeometryMemento CreateTransformUndo() override;
    void RestoreGeometry(const CGeometryMemento& memento) override;
    PackedDib Transform(double sx, double sy, double newAngle) override;
    std::size_t Write(ByteWriter& out) const override;
    bool Read(ByteReader& in) override;
    Ref<CObjShape> Clone() const override;

    // The outline centred in a target of the given size.
    void BuildPath(CVorPath& path, int targetW, int targetH) const;
};

} // namespace zepho
