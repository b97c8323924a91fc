#include "edit/OrvaneView.h"

#include "edit/OrvaneDoc.h"

namespace zepho {

namespace {
constexpr double kDegToRad = 0.017453292519943295;

// Zoomed length as the layout uses it: truncated when reduced.
int ZoomedLength(int length, int zoom) {
    return zoom >= 1 ? length * zoom : length / -zoom;
}
} // namespace

COrvaneView::COrvaneView(COrvaneDoc& doc, IViewHost* host) : doc_(doc), host_(host) {
    doc_.AddView(this);
}

COrvaneView::~COrvaneView() {
    doc_.RemoveView(this);
}

void COrvaneView::SetZoom(int zoom) {
    if (zoom == 0 || zoom == -1 || zoom > 8 || zoom < -8) return;
    zoom_ = zoom;
    // Twice: the first run may bring in scroll bars that shrink the client area.
    UpdateScrollSizes();
    UpdateScrollSizes();
    InvalidateAll();
}

void COrvaneView::UpdateScrollSizes() {
    const CDocImage& img = doc_.Image();
    const int zw = ZoomedLength(img.width, zoom_), zh = ZoomedLength(img.height, zoom_);
    const int contentW = zw + 4, contentH = zh + 4;
    const SIZE client = host_ ? host_->ClientSize() : SIZE{contentW, contentH};
    const bool horz = contentW >= client.cx, vert = contentH >= client.cy;
    const int scrollW = horz ? contentW : client.cx, scrollH = vert ? contentH : client.cy;
    canvasRect_.left = (scrollW - contentW) / 2 + 2;
    canvasRect_.top = (scrollH - contentH) / 2 + 2;
    canvasRect_.right = canvasRect_.left + zw;
    canvasRect_.bottom = canvasRect_.top + zh;
    if (host_) host_->SetScrollSizes(SIZE{scrollW, scrollH}, horz, vert);
}

void COrvaneView::InvalidateAll() {
    if (host_) host_->InvalidateAll();
}

void COrvaneView::InvalidateObject(const CDrawObj& obj) {
    if (!host_) return;
    RECT r = ZoomRect(obj.GetBounds(), zoom_);
    const POINT scroll = host_->ScrollPosition();
    const LONG dx = canvasRect_.left - scroll.x, dy = canvasRect_.top - scroll.y;
    host_->InvalidateRect(RECT{r.left + dx - 1, r.top + dy - 1, r.right + dx + 1, r.bottom + dy + 1});
}

void COrvaneView::SetSelection(std::optional<Region> region) {
    selection_ = std::move(region);
    SelectionRegionChanged();
}

void COrvaneView::SelectionRegionChanged() {
    InvalidateAll();
}

void COrvaneView::AttachHandles(Ref<CDrawObj> obj) {
    active_ = std::move(obj);
    trackerFrame_ = {};
    trackerAngle_ = 0;
    if (active_) {
        trackerFrame_ = active_->GetFrame();
        const CObjContent* c = active_->content.Get();
        if (c && c->shape) trackerAngle_ = c->shape->angle * kDegToRad;
    }
    InvalidateAll();
}

} // namespace zepho
