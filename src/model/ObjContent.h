// What an object shows: its kind, raster, name, selection, filter, shadow and optional shape.
#pragma once

#include "model/ObjShape.h"
#include "model/ObjectKind.h"
#include "platform/PackedDib.h"
#include "platform/RefObject.h"

#include <cstdint>
#include <string>

namespace zepho {

class CObjContent : public CRefObject {
public:
    CObjContent() = default;
    explicit CObjContent(ObjectKind k) : kind(k) {}

    // Raster size and depth, kept in step with the raster by SetRaster.
    std::int32_t width = 0;
    std::int32_t height = 0;
    std::int32_t bitCount = 0;
    // Resampling filter 0..16 used when the object is scaled or rotated.
    std::int32_t filter = 5;
    PackedDib raster;
    std::string name;
    std::int32_t selected = 0;
    // Present exactly while the shadow is on.
    PackedDib shadowRaster;
    std::int32_t shadowType = 4;
    std::int32_t shadowOffsetX = 10;
    std::int32_t shadowOffsetY = 10;
    // Computed position of the shadow raster relative to the object's position.
    std::int32_t shadowPosX = 0;
    std::int32_t shadowPosY = 0;
    std::uint8_t shadowSize = 100;
    std::uint8_t shadowTransparency = 0;
    std::uint8_t shadowSmooth = 10;
    COLORREF shadowColour = 0;
    std::uint16_t shadowSkew = 30;
    std::uint16_t shadowPerspective = 80;
    Ref<CObjShape> shape;
    std::int32_t kind = KindImage;

    // Installs a raster (or none), taking width, height and depth from it.
    void SetRaster(PackedDib dib);
    void SetShape(Ref<CObjShape> s);
    // The shape's size if there is one, else the raster's.
    virtual void GetSize(double& w, double& h) const;

    // The 32-bit pixel (0xAARRGGBB as stored little-endian) at x, y counted from the top; 0 outside.
    std::uint32_t PixelAt(int x, int y) const;
    std::uint32_t ShadowPixelAt(int x, int y) const;
    // The centre of the geometry relative to the raster's top-left corner.
    void GetCenterOffset(double& cx, double& cy) const;

    bool HasShadow() const { return static_cast<bool>(shadowRaster); }
    // Rebuilds the shadow raster from the current raster and settings, and places it.
    void UpdateShadow();
    void FreeShadow() { shadowRaster.Reset(); }

    // Gives a plain image object a transform source (kind 4). False for any other kind.
    bool MakeTransformable();
    // Scales and rotates from the untouched source; the new raster replaces the old one.
    bool TransformContent(double scaleX, double scaleY, double angle);

    // An independent copy: raster, shadow and shape share their pixels with this one until
    // either side changes them.
    Ref<CObjContent> Clone() const;
};

// The shadow position for a raster of W x H and a shadow raster of w x h.
POINT ShadowPlacement(const CObjContent& c, int W, int H, int w, int h);

} // namespace zepho
