#include "model/ObjContent.h"

#include "model/BitmapObj.h"
#include "raster/Shadow.h"

#include <cmath>
#include <cstring>

namespace zepho {

namespace {
constexpr double kDegToRad = 0.017453292519943295;
inline long Round(double v) { return static_cast<long>(std::floor(v + 0.5)); }

std::uint32_t ReadPixel(const PackedDib& dib, int x, int y) {
    if (!dib.Is32() || x < 0 || y < 0 || x >= dib.Width() || y >= dib.Height()) return 0;
    std::uint32_t v;
    std::memcpy(&v, dib.Pixel32(x, y), 4);
    return v;
}
} // namespace

void CObjContent::SetRaster(PackedDib dib) {
    raster = std::move(dib);
    if (!raster) {
        width = height = bitCount = 0;
        return;
    }
    width = raster.Width();
    height = std::abs(raster.Height());
    bitCount = raster.BitCount();
}

void CObjContent::SetShape(Ref<CObjShape> s) {
    if (s != shape) shape = std::move(s);
}

void CObjContent::GetSize(double& w, double& h) const {
    if (shape) {
        shape->GetSize(w, h);
        return;
    }
    w = width;
    h = height;
}

std::uint32_t CObjContent::PixelAt(int x, int y) const { return ReadPixel(raster, x, y); }
std::uint32_t CObjContent::ShadowPixelAt(int x, int y) const { return ReadPixel(shadowRaster, x, y); }

void CObjContent::GetCenterOffset(double& cx, double& cy) const {
    cx = width / 2.0;
    cy = height / 2.0;
    if (shape) {
        double dx = 0, dy = 0;
        shape->GetCenterCorrection(dx, dy);
        cx += dx;
        cy += dy;
    }
}

POINT ShadowPlacement(const CObjContent& c, int W, int H, int w, int h) {
    const int cx = (W - w) / 2, cy = (H - h) / 2;
    const int s = c.shadowSmooth, dx = c.shadowOffsetX, dy = c.shadowOffsetY;
    const double a = c.shadowSkew * kDegToRad, p = c.shadowPerspective, z = c.shadowSize;
    switch (c.shadowType) {
    case 1:
        return {cx - dx, cy - dy};
    case 2:
        return {cx + dx, cy - dy};
    case 3:
        return {cx - dx, cy + dy};
    case 4:
        return {cx + dx, cy + dy};
    case 5:
        return {cx, cy};
    case 6:
        return {static_cast<LONG>(-(Round(z * W * 0.01 + std::cos(a) * H * p * 0.01 - W) + s)),
                static_cast<LONG>(H - s - Round(std::sin(a) * H * p * 0.01))};
    case 7:
        return {-s, static_cast<LONG>(H - s - Round(p * std::sin(a) * H * 0.01))};
    case 8:
        return {static_cast<LONG>(-(Round(z * W * 0.01 + p * std::cos(a) * H * 0.01 - W) + s)), H - s};
    case 9:
        return {-s, H - s};
    default:
        return {0, 0};
    }
}

void CObjContent::UpdateShadow() {
    shadowRaster.Reset();
    if (!raster.Is32()) return;
    if (shadowType >= 1 && shadowType <= 5)
        shadowRaster = MakeFlatShadow(raster, shadowColour, shadowSize * 0.01, shadowSmooth);
    else if (shadowType >= 6 && shadowType <= 9)
        shadowRaster = MakePerspectiveShadow(raster, shadowType, shadowColour, shadowSize * 0.01, shadowSmooth,
                                             shadowSkew, shadowPerspective);
    if (!shadowRaster) return;
    const POINT p = ShadowPlacement(*this, width, height, shadowRaster.Width(), shadowRaster.Height());
    shadowPosX = p.x;
    shadowPosY = p.y;
}

bool CObjContent::MakeTransformable() {
    if (kind != KindImage || !raster) return false;
    PackedDib copy = raster.Share();
    Ref<CBitmapObj> bmp = MakeRef<CBitmapObj>();
    bmp->source = std::move(copy);
    bmp->filter = 5;
    SetShape(bmp);
    kind = KindTransformedImage;
    return true;
}

bool CObjContent::TransformContent(double scaleX, double scaleY, double newAngle) {
    const bool madeNow = !shape;
    if (madeNow && !MakeTransformable()) return false;
    PackedDib out = shape->Transform(scaleX, scaleY, newAngle);
    if (!out) {
        // A failed first transform leaves a plain image object, as it was.
        if (madeNow) {
            shape.Reset();
            kind = KindImage;
        }
        return false;
    }
    SetRaster(std::move(out));
    if (HasShadow()) UpdateShadow();
    return true;
}

Ref<CObjContent> CObjContent::Clone() const {
    Ref<CObjContent> c = MakeRef<CObjContent>(static_cast<ObjectKind>(kind));
    c->filter = filter;
    c->name = name;
    c->selected = selected;
    c->shadowType = shadowType;
    c->shadowOffsetX = shadowOffsetX;
    c->shadowOffsetY = shadowOffsetY;
    c->shadowPosX = shadowPosX;
    c->shadowPosY = shadowPosY;
    c->shadowSize = shadowSize;
    c->shadowTransparency = shadowTransparency;
    c->shadowSmooth = shadowSmooth;
    c->shadowColour = shadowColour;
    c->shadowSkew = shadowSkew;
    c->shadowPerspective = shadowPerspective;
    c->SetRaster(raster.Share());
    c->shadowRaster = shadowRaster.Share();
    if (shape) c->shape = shape->Clone();
    if ((raster && !c->raster) || (shadowRaster && !c->shadowRaster) || (shape && !c->shape)) return {};
    return c;
}

} // namespace zepho
