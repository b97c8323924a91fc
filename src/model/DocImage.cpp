#include "model/DocImage.h"

#include "model/Frame.h"

namespace zepho {

RECT ZoomRect(const RECT& r, int zoom) {
    if (zoom > 1) return {r.left * zoom, r.top * zoom, r.right * zoom, r.bottom * zoom};
    if (zoom < 0) {
        const int n = -zoom;
        return {r.left / n, r.top / n, r.right / n, r.bottom / n};
    }
    return r;
}

void CDocImage::Clear() {
    objects.RemoveAll();
    width = height = 0;
    gifControlFlags = kDefaultGifControlFlags;
    gifTransparentIndex = 0;
    gifImageFlags = 0x80;
    matteColour = 0;
    gifBackgroundIndex = 0;
    delay = 20;
    photoInfo.Clear();
}

void CDocImage::ShowFirstObjectOnly() {
    if (!objects.IsEmpty()) objects.Head()->visible = 1;
}

int CDocImage::CountVisible() const {
    int n = 0;
    for (const auto& o : objects) n += o->visible ? 1 : 0;
    return n;
}

int CDocImage::CountSelectedVisible() const {
    int n = 0;
    for (const auto& o : objects) n += (o->visible && o->IsSelected()) ? 1 : 0;
    return n;
}

bool CDocImage::AnySelectedLocked() const {
    for (const auto& o : objects)
        if (o->visible && o->IsSelected() && o->locked) return true;
    return false;
}

void CDocImage::DeselectAll() {
    for (const auto& o : objects)
        if (o->content) o->content->selected = 0;
}

Ref<CDrawObj> CDocImage::TopmostVisible() const {
    for (auto it = objects.rbegin(); it != objects.rend(); ++it)
        if ((*it)->visible) return *it;
    return {};
}

Ref<CDrawObj> CDocImage::TopmostAt(POINT pt) const {
    for (auto it = objects.rbegin(); it != objects.rend(); ++it)
        if ((*it)->visible && (*it)->HitTest(pt)) return *it;
    return {};
}

Ref<CDrawObj> CDocImage::TopmostSelectedAt(POINT pt) const {
    Ref<CDrawObj> highest;
    for (auto it = objects.rbegin(); it != objects.rend(); ++it) {
        const auto& o = *it;
        if (!o->visible || !o->IsSelected()) continue;
        if (o->HitTest(pt)) return o;
        if (!highest) highest = o;
    }
    return highest;
}

void CDocImage::MoveSelected(int dx, int dy, IFrameView* view) {
    for (const auto& o : objects) {
        if (!o->visible || !o->IsSelected()) continue;
        if (view) view->InvalidateDocRect(o->GetBounds());
        o->x += dx;
        o->y += dy;
        if (view) view->InvalidateDocRect(o->GetBounds());
    }
}

PackedDib CDocImage::CompositeVisible(int w, int h) const { return zepho::CompositeVisible(objects, w, h); }

void CDocImage::InvalidateSelection(IFrameView& view, int zoom) const {
    for (const auto& o : objects)
        if (o->visible && o->IsSelected()) view.DrawSelectionOutline(ZoomRect(o->GetBounds(), zoom));
}

} // namespace zepho
