#include "model/Frame.h"

#include "model/FrameView.h"
#include "raster/Blend.h"
#include "raster/Dib.h"

#include <algorithm>

namespace zepho {

namespace {

POINT ShadowPos(const CDrawObj& o) { return {o.x + o.content->shadowPosX, o.y + o.content->shadowPosY}; }

bool Drawable(const CDrawObj& o) { return o.visible && o.content && o.content->raster; }

void DrawObjects(const CDrawObjList& frame, PackedDib& dst, POINT origin, int zoom, const FloatingImage* fl) {
    for (const auto& ref : frame) {
        const CDrawObj& o = *ref;
        if (Drawable(o)) {
            if (o.content->HasShadow())
                BlendAtZoom(dst, origin, o.content->shadowRaster, ShadowPos(o), o.ShadowTransparency(), zoom);
            BlendAtZoom(dst, origin, o.content->raster, o.Position(), o.transparency, zoom);
        }
        // The floating image sits above its object even while that object is hidden.
        if (fl && fl->after == &o)
            BlendAtZoom(dst, origin, *fl->image, fl->position, fl->transparency, zoom);
    }
}

} // namespace

void DrawFrame(const CDrawObjList& frame, PackedDib& dst, POINT origin, int zoom, const FloatingImage& floating) {
    if (!dst.Is32()) return;
    const bool hasFloating = floating.image && *floating.image;
    // A floating-after object that has left the stack puts the floating image on top.
    const bool anchored = hasFloating && floating.after && frame.IndexOf(floating.after) >= 0;
    DrawObjects(frame, dst, origin, zoom, anchored ? &floating : nullptr);
    if (hasFloating && !anchored)
        BlendAtZoom(dst, origin, *floating.image, floating.position, floating.transparency, zoom);
    DrawSelectionOutlines(frame, dst, origin, zoom);
}

void FlattenFrame(const CDrawObjList& frame, PackedDib& dst, POINT origin, int zoom) {
    if (!dst.Is32()) return;
    DrawObjects(frame, dst, origin, zoom, nullptr);
}

PackedDib CompositeVisible(const CDrawObjList& frame, int w, int h) {
    CFrameComposer composer;
    if (!composer.Start(w, h)) return {};
    for (const auto& ref : frame)
        composer.Add(*ref);
    return composer.Take();
}

bool CFrameComposer::Start(int w, int h) {
    image_ = CreateTransparentDIB(w, h);
    first_ = true;
    return static_cast<bool>(image_);
}

bool CFrameComposer::Add(const CDrawObj& o) {
    if (!image_ || !Drawable(o)) return false;
    if (o.content->HasShadow()) Draw(o.content->shadowRaster, ShadowPos(o), o.ShadowTransparency());
    Draw(o.content->raster, o.Position(), o.transparency);
    return true;
}

void CFrameComposer::Draw(const PackedDib& img, POINT pos, int transparency) {
    // The first layer is copied, so that a lone object keeps its pixels exactly.
    if (first_)
        CopyLayer(image_, POINT{0, 0}, img, pos, transparency);
    else
        CompositeOver(image_, POINT{0, 0}, img, pos, transparency);
    first_ = false;
}

void DrawSelectionOutlines(const CDrawObjList& frame, PackedDib& dst, POINT origin, int zoom) {
    for (const auto& ref : frame)
        if (ref->visible && ref->IsSelected()) DrawDashedRect(dst, origin, ZoomRect(ref->GetBounds(), zoom));
}

void DrawObjectThumbnail(const CDrawObj& o, PackedDib& dst, int scale) {
    if (!o.content || !o.content->raster) return;
    const CObjContent& c = *o.content;
    POINT imagePos{0, 0};
    if (c.HasShadow()) {
        BlendScaledShadow(dst, c.shadowRaster, POINT{std::max(c.shadowPosX, 0), std::max(c.shadowPosY, 0)}, scale,
                          c.shadowTransparency);
        imagePos = {c.shadowPosX < 0 ? -c.shadowPosX : 0, c.shadowPosY < 0 ? -c.shadowPosY : 0};
    }
    BlendScaled(dst, c.raster, imagePos, scale);
}

} // namespace zepho
