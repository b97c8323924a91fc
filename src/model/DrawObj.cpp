#include "model/DrawObj.h"

#include "raster/Blend.h"
#include "raster/Dib.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdint>

namespace zepho {

SIZE CDrawObj::GetSize() const {
    if (!content) return {fallbackWidth, fallbackHeight};
    return {content->width, content->height};
}

namespace {
// Coordinates from files can sit near the ends of the integer range: sums are taken wide and
// held to it.
LONG Held(long long v) { return static_cast<LONG>(std::clamp<long long>(v, INT32_MIN, INT32_MAX)); }
} // namespace

RECT CDrawObj::GetBounds() const {
    const SIZE s = GetSize();
    RECT r{x, y, Held(0LL + x + s.cx), Held(0LL + y + s.cy)};
    if (content && content->HasShadow()) {
        const long long sx = 0LL + x + content->shadowPosX, sy = 0LL + y + content->shadowPosY;
        const RECT sr{Held(sx), Held(sy), Held(sx + content->shadowRaster.Width()),
                      Held(sy + content->shadowRaster.Height())};
        r = UnionRects(r, sr);
    }
    return r;
}

bool CDrawObj::HitTest(POINT pt) const {
    const SIZE s = GetSize();
    if (pt.x < x || pt.x >= 0LL + x + s.cx || pt.y < y || pt.y >= 0LL + y + s.cy) return false;
    if (!content || !content->raster) return true;
    return IsOpaqueAt(content->raster, POINT{pt.x - x, pt.y - y});
}

DRect CDrawObj::GetFrame() const {
    double cx = 0, cy = 0, w = 0, h = 0;
    if (content) {
        content->GetCenterOffset(cx, cy);
        content->GetSize(w, h);
    } else {
        cx = fallbackWidth / 2.0;
        cy = fallbackHeight / 2.0;
        w = fallbackWidth;
        h = fallbackHeight;
    }
    cx += x;
    cy += y;
    return {cx - w / 2, cy - h / 2, cx + w / 2, cy + h / 2};
}

bool CDrawObj::TransformAbout(double centerX, double centerY, double scaleX, double scaleY, double angle) {
    if (!content || !content->TransformContent(scaleX, scaleY, angle)) return false;
    const DRect f = GetFrame();
    x += static_cast<std::int32_t>(std::floor(centerX - (f.left + f.right) / 2 + 0.5));
    y += static_cast<std::int32_t>(std::floor(centerY - (f.top + f.bottom) / 2 + 0.5));
    return true;
}

CGeometryMemento CDrawObj::CreateTransformUndo() const {
    CGeometryMemento m;
    if (!content) return m;
    if (content->shape) return content->shape->CreateTransformUndo();
    m.kind = static_cast<ObjectKind>(content->kind);
    return m;
}

int CDrawObj::ShadowTransparency() const {
    return content ? CombinedShadowTransparency(transparency, content->shadowTransparency) : transparency;
}

} // namespace zepho
