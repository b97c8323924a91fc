// The transform source of an image object: the untouched source image with its scale factors,
// angle and filter. The object's raster is always rendered from it, so repeated transforms
// never degrade the picture.
#pragma once

#include "model/ObjShape.h"

namespace zepho {

class CBitmapObj : public CObjShape {
public:
    std::int32_t filter = 5;
    double scaleX = 1.0;
    double scaleY = 1.0;
    PackedDib source;

    ObjectKind Kind() const override { return KindTransformedImage; }
    PackedDib Render() override;
    void GetSize(double& width, double& height) const override;
    CGeometryMemento CreateTransformUndo() override;
    void RestoreGeometry(const CGeometryMemento& memento) override;
    PackedDib Transform(double sx, double sy, double newAngle) override;
    std::size_t Write(ByteWriter& out) const override;
    bool Read(ByteReader& in) override;
    Ref<CObjShape> Clone() const override;
    void TallyRasters(CRasterTally& tally) const override;
};

// The size of a w x h rectangle turned by `degrees`, rounded to whole pixels.
void RotatedSize(double w, double h, double degrees, int& outW, int& outH);
// The same before it is made an integer: the rounded sides as doubles (not finite for sides that
// are not).
void RotatedExtent(double w, double h, double degrees, double& outW, double& outH);
// Whether a raster of that many pixels a side can be rendered (kMaxRenderSide).
bool FitsRenderSide(double w, double h);

} // namespace zepho
