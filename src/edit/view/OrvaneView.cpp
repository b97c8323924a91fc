#include "edit/view/OrvaneView.h"

#include "edit/document/OrvaneDoc.h"
#include "edit/view/ViewRects.h"
#include "edit/view/ViewStrings.h"
#include "model/AppSettings.h"
#include "model/Frame.h"
#include "model/ModelStrings.h"
#include "platform/Format.h"
#include "platform/Services.h"
#include "raster/Dib.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>

namespace zepho {

namespace {

constexpr double kDegToRad = 0.017453292519943295;

// Zoomed length as the layout uses it: truncated when reduced.
int ZoomedLength(int length, int zoom) {
    return zoom >= 1 ? length * zoom : length / -zoom;
}

// Zoomed length as the mouse mapping uses it: rounded when reduced.
int ZoomedLengthRounded(int length, int zoom) {
    return zoom >= 1 ? length * zoom
                     : static_cast<int>(std::floor(static_cast<double>(length) / -zoom + 0.5));
}

} // namespace

COrvaneView::COrvaneView(COrvaneDoc& doc, IViewHost* host)
    : doc_(doc), host_(host), selection_(doc.AddView(this)) {
    doc_.Subscribe(this);
}

void COrvaneView::ObjectsRemoved() {
    if (active_ && doc_.Image().objects.IndexOf(active_.Get()) < 0) AttachHandles({});
}

COrvaneView::~COrvaneView() {
    doc_.Unsubscribe(this);
    doc_.RemoveView(this);
}

void COrvaneView::OnInitialUpdate() {
    SelectTool(ToolMove);
    UpdateScrollSizes();
    if (host_) host_->StartTimer(kOutlineTimerId, kOutlineTimerMs);
}

// --- zoom -------------------------------------------------------------------------------------

void COrvaneView::SetZoom(int zoom) {
    if (zoom == 0 || zoom == -1 || zoom > kMaxZoom || zoom < kMinZoom) return;
    zoom_ = zoom;
    AfterZoom();
}

void COrvaneView::ZoomIn() {
    if (CanZoomIn()) SetZoom(zoom_ == -2 ? 1 : zoom_ + 1);
}

void COrvaneView::ZoomOut() {
    if (CanZoomOut()) SetZoom(zoom_ == 1 ? -2 : zoom_ - 1);
}

void COrvaneView::AfterZoom() {
    RebuildOutline();
    // Twice: the first run may bring in scroll bars that shrink the client area.
    UpdateScrollSizes();
    UpdateScrollSizes();
    InvalidateAll();
}

void COrvaneView::ZoomAbout(int zoom, POINT anchor) {
    if (zoom == 0 || zoom == -1 || zoom > kMaxZoom || zoom < kMinZoom) return;
    const DPoint c = LogicalToCanvasExact(ClientToLogical(anchor));
    SetZoom(zoom);
    const double scale = zoom_ >= 1 ? zoom_ : 1.0 / -zoom_;
    const double lx = canvasRect_.left + c.x * scale, ly = canvasRect_.top + c.y * scale;
    if (host_)
        host_->ScrollTo(POINT{static_cast<LONG>(std::lround(lx)) - anchor.x,
                              static_cast<LONG>(std::lround(ly)) - anchor.y});
    InvalidateAll();
}

void COrvaneView::ZoomInAbout(POINT anchor) {
    if (CanZoomIn()) ZoomAbout(zoom_ == -2 ? 1 : zoom_ + 1, anchor);
}

void COrvaneView::ZoomOutAbout(POINT anchor) {
    if (CanZoomOut()) ZoomAbout(zoom_ == 1 ? -2 : zoom_ - 1, anchor);
}

int COrvaneView::FitZoom() const {
    const CDocImage& img = doc_.Image();
    const SIZE client = host_ ? host_->ClientSize() : SIZE{img.width + 4, img.height + 4};
    for (int z = kMaxZoom; z > kMinZoom; z = z == 1 ? -2 : z - 1)
        if (ZoomedLength(img.width, z) + 4 <= client.cx && ZoomedLength(img.height, z) + 4 <= client.cy)
            return z;
    return kMinZoom;
}

bool COrvaneView::LargerThanWindow() const {
    const CDocImage& img = doc_.Image();
    if (!host_) return false;
    const SIZE client = host_->ClientSize();
    return img.width + 4 > client.cx || img.height + 4 > client.cy;
}

std::string COrvaneView::ZoomText() const {
    if (zoom_ >= 1) return std::to_string(zoom_ * 100) + "%";
    // 100 / n with at most one decimal: 50%, 33.3%, 25%, 12.5%.
    const int tenths = (1000 + -zoom_ / 2) / -zoom_;
    return std::to_string(tenths / 10) + (tenths % 10 ? "." + std::to_string(tenths % 10) : "") + "%";
}

int COrvaneView::ZoomOfCommand(int id) {
    if (id == 32922) return 1;
    if (id >= 32908 && id <= 32914) return id - 32906;
    if (id >= 32915 && id <= 32921) return 32913 - id;
    return 0;
}

void COrvaneView::OnZoomCommand(int id) {
    if (const int z = ZoomOfCommand(id)) SetZoom(z);
}

bool COrvaneView::IsZoomCommandChecked(int id) const {
    // Actual Size carries no check mark.
    return id != 32922 && ZoomOfCommand(id) == zoom_;
}

// --- layout and mapping -----------------------------------------------------------------------

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

POINT COrvaneView::ClientToLogical(POINT p) const {
    const POINT s = host_ ? host_->ScrollPosition() : POINT{};
    return {p.x + s.x, p.y + s.y};
}

POINT COrvaneView::LogicalToClient(POINT p) const {
    const POINT s = host_ ? host_->ScrollPosition() : POINT{};
    return {p.x - s.x, p.y - s.y};
}

RECT COrvaneView::LogicalToClient(const RECT& r) const {
    const POINT s = host_ ? host_->ScrollPosition() : POINT{};
    return OffsetRectBy(r, -s.x, -s.y);
}

POINT COrvaneView::LogicalToCanvas(POINT p) const {
    const CDocImage& img = doc_.Image();
    const int zw = ZoomedLengthRounded(img.width, zoom_), zh = ZoomedLengthRounded(img.height, zoom_);
    const SIZE client = host_ ? host_->ClientSize() : SIZE{zw + 4, zh + 4};
    const LONG offX = 2 + (client.cx - std::min<LONG>(zw + 4, client.cx)) / 2;
    const LONG offY = 2 + (client.cy - std::min<LONG>(zh + 4, client.cy)) / 2;
    const LONG x = p.x - offX, y = p.y - offY;
    if (zoom_ >= 1)
        return {static_cast<LONG>(std::floor(static_cast<double>(x) / zoom_ + 0.5)),
                static_cast<LONG>(std::floor(static_cast<double>(y) / zoom_ + 0.5))};
    return {x * -zoom_, y * -zoom_};
}

RECT COrvaneView::LogicalToCanvas(const RECT& r) const {
    const POINT a = LogicalToCanvas(POINT{r.left, r.top}), b = LogicalToCanvas(POINT{r.right, r.bottom});
    return {a.x, a.y, b.x, b.y};
}

POINT COrvaneView::CanvasToLogical(POINT p) const {
    const CDocImage& img = doc_.Image();
    const int zw = ZoomedLength(img.width, zoom_), zh = ZoomedLength(img.height, zoom_);
    const SIZE client = host_ ? host_->ClientSize() : SIZE{zw + 4, zh + 4};
    const LONG offX = 2 + (client.cx - std::min<LONG>(zw + 4, client.cx)) / 2;
    const LONG offY = 2 + (client.cy - std::min<LONG>(zh + 4, client.cy)) / 2;
    if (zoom_ >= 1) return {p.x * zoom_ + offX, p.y * zoom_ + offY};
    return {p.x / -zoom_ + offX, p.y / -zoom_ + offY};
}

DPoint COrvaneView::LogicalToCanvasExact(POINT p) const {
    const double x = p.x - canvasRect_.left, y = p.y - canvasRect_.top;
    if (zoom_ >= 1) return {x / zoom_, y / zoom_};
    return {x * -zoom_, y * -zoom_};
}

bool COrvaneView::InsideCanvas(POINT c, bool boundsIncluded) const {
    const CDocImage& img = doc_.Image();
    if (boundsIncluded) return c.x >= 0 && c.y >= 0 && c.x <= img.width && c.y <= img.height;
    return c.x >= 0 && c.y >= 0 && c.x < img.width && c.y < img.height;
}

// --- repainting -------------------------------------------------------------------------------

void COrvaneView::InvalidateAll() {
    composition_.Drop();
    if (host_) host_->InvalidateAll();
}

void COrvaneView::InvalidateOverlay() {
    if (host_) host_->InvalidateAll();
}

void COrvaneView::SetKeepComposition(bool keep) {
    keepComposition_ = keep;
    if (!keep) composition_.Drop();
}

void COrvaneView::InvalidateViewRect(const RECT& view) {
    if (host_) host_->InvalidateRect(InflateRectBy(LogicalToClient(view), 1));
}

void COrvaneView::InvalidateCanvasRect(const RECT& canvas) {
    composition_.Drop();
    InvalidateCanvasArea(canvas);
}

void COrvaneView::InvalidateCanvasArea(const RECT& canvas) {
    InvalidateViewRect(OffsetRectBy(ZoomRect(canvas, zoom_), canvasRect_.left, canvasRect_.top));
}

void COrvaneView::InvalidateObject(const CDrawObj& obj) {
    InvalidateCanvasRect(obj.GetBounds());
}

void COrvaneView::DrawSelectionOutline(const RECT& viewRect) {
    InvalidateViewRect(OffsetRectBy(viewRect, canvasRect_.left, canvasRect_.top));
}

// --- selection --------------------------------------------------------------------------------

void COrvaneView::SetSelection(std::optional<Region> region) {
    selection_ = std::move(region);
    SelectionRegionChanged();
}

void COrvaneView::SelectionRegionChanged() {
    RebuildOutline();
    InvalidateAll();
}

void COrvaneView::InvalidateRubberBand() {
    const Region band = RubberBand();
    if (!band.IsEmpty()) InvalidateViewRect(band.Bounds());
}

void COrvaneView::SetSelectionDragOffset(POINT canvasOffset) {
    dragging_ = true;
    dragOffset_ = canvasOffset;
    InvalidateAll();
}

void COrvaneView::EndSelectionDrag() {
    dragging_ = false;
    dragOffset_ = {};
    InvalidateAll();
}

void COrvaneView::OnTimer(int timerId) {
    if (timerId != kOutlineTimerId || dragging_ || !outline_) return;
    phase_ = (phase_ + 1) % 8;
    InvalidateViewRect(OffsetRectBy(outline_->Bounds(), canvasRect_.left, canvasRect_.top));
}

// --- tracker and floating raster --------------------------------------------------------------

void COrvaneView::AttachHandles(Ref<CDrawObj> obj) {
    active_ = std::move(obj);
    tracker_.Clear();
    if (active_) {
        const CObjContent* c = active_->content.Get();
        tracker_.Build(active_->GetFrame(), c && c->shape ? c->shape->angle * kDegToRad : 0.0);
    }
    InvalidateAll();
}

void COrvaneView::SetFloating(PackedDib image, POINT position, int transparency, Ref<CDrawObj> after) {
    floating_ = std::move(image);
    floatingPos_ = position;
    floatingTransparency_ = transparency;
    floatingAfter_ = std::move(after);
    InvalidateAll();
}

void COrvaneView::ClearFloating() {
    // A tool may have taken the pixels already; the place above its object goes too.
    const bool shown = floating_ || floatingAfter_;
    floating_.Reset();
    floatingAfter_.Reset();
    if (shown) InvalidateAll();
}

// --- tools and mouse --------------------------------------------------------------------------

void COrvaneView::SelectTool(int number) {
    if (number < 0 || number >= ToolCount) return;
    // A gesture of the old tool ends here.
    ReleaseMouse();
    InvalidateRubberBand();
    drag_.Clear();
    if (stroke_.hasLayer) ClearFloating();
    stroke_ = {};
    if (dragging_) EndSelectionDrag();
    if (toolNumber_ == ToolTransform && number != ToolTransform) AttachHandles({});
    tracker_.dragged = -1;
    tracker_.rotating = false;
    EndSnap();
    toolNumber_ = number;
    if (host_) host_->ToolChanged(number);
}

void COrvaneView::OnLButtonDown(unsigned flags, POINT client) {
    CurrentTool().OnLButtonDown(*this, flags, client);
    SetCursor(CursorAt(client));
}

void COrvaneView::OnMouseMove(unsigned flags, POINT client) {
    if (host_) host_->SetStatusText(PositionText(ClientToCanvas(client)));
    CurrentTool().OnMouseMove(*this, flags, client);
    // A selection or shape being dragged out tells its size too.
    if (const std::optional<SIZE> size = RubberBandSize(); size && host_)
        host_->SetStatusText(PositionText(ClientToCanvas(client)) + "   " + SizeText(*size));
    SetCursor(CursorAt(client));
}

void COrvaneView::OnLButtonUp(unsigned flags, POINT client) {
    CurrentTool().OnLButtonUp(*this, flags, client);
    SetCursor(CursorAt(client));
}

void COrvaneView::OnLButtonDblClk(unsigned flags, POINT client) {
    if (CurrentTool().OnLButtonDblClk(*this, flags, client)) return;
    CDocImage& img = doc_.Image();
    const Ref<CDrawObj> obj = img.TopmostAt(ClientToCanvas(client));
    if (!obj || !obj->content) return;
    img.DeselectAll();
    obj->content->selected = 1;
    SelectionFlagsChanged();
    if (host_) host_->OpenProperties(*obj);
}

void COrvaneView::OnRButtonDown(unsigned flags, POINT client) {
    if (CurrentTool().OnRButtonDown(*this, flags, client) || !host_) return;
    const POINT p = ClientToCanvas(client);
    if (selection_ && selection_->Contains(p.x, p.y))
        host_->ShowContextMenu(ContextMenu::Selection, client);
    else if (InsideCanvas(p, true))
        host_->ShowContextMenu(ContextMenu::Objects, client);
}

std::string COrvaneView::PositionText(POINT canvas) {
    return Format(strings::kStatusPosition, canvas.x, canvas.y);
}

void COrvaneView::MoveSelectedObjects(int dx, int dy) {
    doc_.Image().MoveSelected(dx, dy, this);
}

void COrvaneView::CaptureMouse() {
    captured_ = true;
    if (host_) host_->CaptureMouse();
}

void COrvaneView::ReleaseMouse() {
    if (!captured_) return;
    captured_ = false;
    if (host_) host_->ReleaseMouse();
}

void COrvaneView::SetCursor(int cursorId) {
    if (host_) host_->SetCursor(cursorId);
}

void COrvaneView::ShowMessage(const char* text) const {
    if (ui_) ui_->MessageBox(text, strings::kAppTitle, MsgIcon::Warning);
}

void COrvaneView::SelectionFlagsChanged() {
    doc_.NotifySelectionChanged();
    InvalidateAll();
}

} // namespace zepho
