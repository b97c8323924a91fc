// The optional vector description behind an object's raster.
#pragma once

#include "model/ObjectKind.h"
#include "platform/PackedDib.h"
#include "platform/RefObject.h"

#include <cstddef>
#include <vector>

namespace zepho {

class CRasterTally;

class ByteReader;
class ByteWriter;
class CObjShape;

// A snapshot of an object's geometry, taken before a transform so that the transform can be
// undone. The edit layer wraps it in its undo action together with the object and position.
struct CGeometryMemento {
    ObjectKind kind = KindImage;
    // Image objects: whether a transform source existed when the snapshot was taken.
    bool hadTransform = false;
    double scaleX = 1.0;
    double scaleY = 1.0;
    double angle = 0.0;
    // Polygons: the point array (x, y pairs) and their further integer geometry values.
    std::vector<double> points;
    int extra[4] = {0, 0, 0, 0};
    // The shape the snapshot belongs to (counted), or none for an image without transform.
    Ref<CObjShape> shape;
};

class CObjShape : public CRefObject {
public:
    // Rotation in degrees; every shape has one.
    double angle = 0.0;
    // Set when the last Render() drew nothing because its raster would have a side above
    // kMaxRenderSide: the geometry is sound but too large to draw.
    mutable bool tooLarge = false;

    virtual ObjectKind Kind() const = 0;
    // A new 32-bit raster of the current geometry, or empty on failure.
    virtual PackedDib Render() = 0;
    // The geometric size (width, height).
    virtual void GetSize(double& width, double& height) const = 0;
    // The geometry as it is now, for the transform undo.
    virtual CGeometryMemento CreateTransformUndo() = 0;
    // Puts back the geometry of a snapshot taken from this shape (does not render).
    virtual void RestoreGeometry(const CGeometryMemento& memento) = 0;
    // Multiplies the size by the factors, sets the angle and renders; on failure the previous
    // size and angle are restored and the result is empty.
    virtual PackedDib Transform(double scaleX, double scaleY, double angle) = 0;
    // The shape's stored record at the stream's position; Write returns the bytes written
    // (0 on failure), Read is false when the record is malformed or cut short.
    virtual std::size_t Write(ByteWriter& out) const = 0;
    virtual bool Read(ByteReader& in) = 0;
    // An independent copy (for duplicating objects); none when memory runs out.
    virtual Ref<CObjShape> Clone() const = 0;
    // How far the geometry's centre lies from the raster's centre (polygons and text keep
    // uneven trims); zero for the others.
    virtual void GetCenterCorrection(double& dx, double& dy) const { dx = dy = 0; }
    // Adds the rasters the shape keeps of its own (a transform source) to the tally.
    virtual void TallyRasters(CRasterTally& tally) const {}
};

} // namespace zepho
