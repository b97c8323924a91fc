#include "model/Frame.h"

#include "model/FrameView.h"
#include "platform/Parallel.h"
#include "raster/Blend.h"
#include "raster/Dib.h"

#include <algorithm>
#include <cstdint>

namespace zepho {

namespace {

POINT ShadowPos(const CDrawObj& o) {
    return {o.x + o.content->shadowPosX, o.y + o.content->shadowPosY};
}

bool Drawable(const CDrawObj& o) {
    return o.visible && o.content && o.content->raster;
}

// Every layer is drawn into one band of destination rows before the next band, so the band
// stays in the cache instead of the whole destination passing through memory once per layer.
// Bands are independent and go to different threads; each pixel still sees the layers in order.
void DrawObjects(const CDrawObjList& frame, PackedDib& dst, POINT origin, int zoom, const FloatingImage* fl,
                 int first = 0, int last = INT32_MAX) {
    first = std::max(first, 0);
    last = std::min(last, frame.Count());
    if (first >= last) return;
    dst.Detach(); // before the threads write through it
    const int height = dst.Height();
    // Bands of about 131072 pixels (512 KB) stay in a second-level cache while every layer is
    // drawn into them; bands of a quarter of that measured slower.
    const int bandRows = static_cast<int>(RowGrain(dst.Width(), 131072));
    const std::ptrdiff_t bands = (height + bandRows - 1) / bandRows;
    ParallelFor(bands, 1, [&](std::ptrdiff_t bandBegin, std::ptrdiff_t bandEnd) {
        // Bottom band first: rows are stored bottom-up, so memory is walked forwards.
        for (std::ptrdiff_t band = bandEnd - 1; band >= bandBegin; --band) {
            const int y0 = static_cast<int>(band) * bandRows, y1 = std::min(height, y0 + bandRows);
            auto blend = [&](const PackedDib& img, POINT pos, int t) {
                BlendAtZoomRows(dst, origin, img, pos, t, zoom, y0, y1);
            };
            for (int i = first; i < last; ++i) {
                const CDrawObj& o = *frame.At(i);
                if (Drawable(o)) {
                    if (o.content->HasShadow())
                        blend(o.content->shadowRaster, ShadowPos(o), o.ShadowTransparency());
                    blend(o.content->raster, o.Position(), o.transparency);
                }
                // The floating image sits above its object even while that object is hidden.
                if (fl && fl->after == &o) blend(*fl->image, fl->position, fl->transparency);
            }
        }
    });
}

} // namespace

void DrawFrame(const CDrawObjList& frame, PackedDib& dst, POINT origin, int zoom,
               const FloatingImage& floating) {
    if (!dst.Is32()) return;
    const bool hasFloating = floating.image && *floating.image;
    // A floating-after object that has left the stack puts the floating image on top.
    const bool anchored = hasFloating && floating.after && frame.IndexOf(floating.after) >= 0;
    DrawObjects(frame, dst, origin, zoom, anchored ? &floating : nullptr);
    if (hasFloating && !anchored)
        BlendAtZoom(dst, origin, *floating.image, floating.position, floating.transparency, zoom);
    DrawSelectionOutlines(frame, dst, origin, zoom);
}

void DrawFrameRange(const CDrawObjList& frame, PackedDib& dst, POINT origin, int zoom, int first, int last) {
    if (!dst.Is32()) return;
    DrawObjects(frame, dst, origin, zoom, nullptr, first, last);
}

void FlattenFrame(const CDrawObjList& frame, PackedDib& dst, POINT origin, int zoom) {
    if (!dst.Is32()) return;
    DrawObjects(frame, dst, origin, zoom, nullptr);
}

PackedDib CompositeVisible(const CDrawObjList& frame, int w, int h) {
    return CompositeVisibleRows(frame, w, 0, h);
}

PackedDib CompositeVisibleRows(const CDrawObjList& frame, int w, int top, int rows) {
    PackedDib out = CreateTransparentDIB(w, rows);
    if (!out) return out;
    const POINT origin{0, top};
    bool first = true;
    auto draw = [&](const PackedDib& img, POINT pos, int t) {
        if (first)
            CopyLayer(out, origin, img, pos, t);
        else
            CompositeOver(out, origin, img, pos, t);
        first = false;
    };
    for (const auto& ref : frame) {
        const CDrawObj& o = *ref;
        if (!Drawable(o)) continue;
        if (o.content->HasShadow()) draw(o.content->shadowRaster, ShadowPos(o), o.ShadowTransparency());
        draw(o.content->raster, o.Position(), o.transparency);
    }
    return out;
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
        BlendScaledShadow(dst, c.shadowRaster, POINT{std::max(c.shadowPosX, 0), std::max(c.shadowPosY, 0)},
                          scale, c.shadowTransparency);
        imagePos = {c.shadowPosX < 0 ? -c.shadowPosX : 0, c.shadowPosY < 0 ? -c.shadowPosY : 0};
    }
    BlendScaled(dst, c.raster, imagePos, scale);
}

} // namespace zepho
