#include "edit/OrvaneView.h"

#include "edit/EditStrings.h"
#include "edit/OrvaneDoc.h"
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
constexpr COLORREF kCheckWhite = RGB(255, 255, 255);
constexpr COLORREF kCheckGrey = RGB(212, 212, 212);
// Coordinates of the zoomed outline stay well inside 32 bits.
constexpr std::int64_t kOutlineLimit = std::int64_t{1} << 30;

// Zoomed length as the layout uses it: truncated when reduced.
int ZoomedLength(int length, int zoom) {
    return zoom >= 1 ? length * zoom : length / -zoom;
}

// Zoomed length as the mouse mapping uses it: rounded when reduced.
int ZoomedLengthRounded(int length, int zoom) {
    return zoom >= 1 ? length * zoom
                     : static_cast<int>(std::floor(static_cast<double>(length) / -zoom + 0.5));
}

LONG FloorDiv(std::int64_t a, int n) {
    std::int64_t q = a / n;
    if (a % n != 0 && a < 0) --q;
    return static_cast<LONG>(std::clamp(q, -kOutlineLimit, kOutlineLimit));
}

LONG ZoomOutlineCoord(LONG v, int zoom, bool roundUp) {
    if (zoom >= 1)
        return static_cast<LONG>(std::clamp(std::int64_t{v} * zoom, -kOutlineLimit, kOutlineLimit));
    const int n = -zoom;
    return roundUp ? FloorDiv(std::int64_t{v} + n - 1, n) : FloorDiv(v, n);
}

BYTE Clamp255(int v) {
    return static_cast<BYTE>(std::clamp(v, 0, 255));
}

// Fills a rectangle given in view coordinates into dst, whose top-left lies at origin.
void FillViewRect(PackedDib& dst, POINT origin, const RECT& r, COLORREF c) {
    const RECT local{r.left - origin.x, r.top - origin.y, r.right - origin.x, r.bottom - origin.y};
    const RECT clip = IntersectRects(local, RECT{0, 0, dst.Width(), dst.Height()});
    for (LONG y = clip.top; y < clip.bottom; ++y) {
        BYTE* p = dst.Pixel32(clip.left, y);
        for (LONG x = clip.left; x < clip.right; ++x, p += 4) {
            p[0] = GetBValue(c);
            p[1] = GetGValue(c);
            p[2] = GetRValue(c);
            p[3] = 255;
        }
    }
}

// A three-dimensional rectangle: top and left sides in one colour, bottom and right in the other.
void Draw3dRect(PackedDib& dst, POINT origin, const RECT& r, COLORREF topLeft, COLORREF bottomRight) {
    FillViewRect(dst, origin, RECT{r.left, r.top, r.right - 1, r.top + 1}, topLeft);
    FillViewRect(dst, origin, RECT{r.left, r.top, r.left + 1, r.bottom - 1}, topLeft);
    FillViewRect(dst, origin, RECT{r.right - 1, r.top, r.right, r.bottom}, bottomRight);
    FillViewRect(dst, origin, RECT{r.left, r.bottom - 1, r.right, r.bottom}, bottomRight);
}

RECT Inflate(const RECT& r, LONG d) {
    return {r.left - d, r.top - d, r.right + d, r.bottom + d};
}
RECT OffsetBy(const RECT& r, LONG dx, LONG dy) {
    return {r.left + dx, r.top + dy, r.right + dx, r.bottom + dy};
}

// The pixels of a region that have a 4-neighbour outside it.
Region BorderOf(const Region& shape) {
    Region inner = shape;
    const int shifts[4][2] = {{1, 0}, {-1, 0}, {0, 1}, {0, -1}};
    for (const auto& s : shifts) {
        Region moved = shape;
        moved.Offset(s[0], s[1]);
        inner.Intersect(moved);
    }
    return Region::Combine(shape, inner, CombineMode::Diff);
}

// The pixels of a 1-pixel line from a to b, both ends included.
void AddLinePixels(std::vector<RECT>& out, POINT a, POINT b) {
    const std::int64_t dx = std::llabs(std::int64_t{b.x} - a.x), dy = -std::llabs(std::int64_t{b.y} - a.y);
    const int sx = a.x < b.x ? 1 : -1, sy = a.y < b.y ? 1 : -1;
    std::int64_t err = dx + dy;
    std::int64_t x = a.x, y = a.y;
    // Runs along x become one rectangle each.
    std::int64_t runStart = x;
    for (;;) {
        const bool last = x == b.x && y == b.y;
        const std::int64_t e2 = 2 * err;
        const bool stepY = !last && e2 <= dx;
        if (last || stepY) {
            const std::int64_t l = std::min(runStart, x), r = std::max(runStart, x) + 1;
            out.push_back(RECT{static_cast<LONG>(l), static_cast<LONG>(y), static_cast<LONG>(r),
                               static_cast<LONG>(y + 1)});
        }
        if (last) break;
        if (e2 >= dy) {
            err += dy;
            x += sx;
        }
        if (stepY) {
            err += dx;
            y += sy;
            runStart = x;
        }
    }
}

RECT NormalisedRect(POINT a, POINT b) {
    return {std::min(a.x, b.x), std::min(a.y, b.y), std::max(a.x, b.x), std::max(a.y, b.y)};
}

} // namespace

COrvaneView::COrvaneView(COrvaneDoc& doc, IViewHost* host) : doc_(doc), host_(host) {
    doc_.AddView(this);
    doc_.Subscribe(this);
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
    return OffsetBy(r, -s.x, -s.y);
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
    if (host_) host_->InvalidateAll();
}

void COrvaneView::InvalidateViewRect(const RECT& view) {
    if (host_) host_->InvalidateRect(Inflate(LogicalToClient(view), 1));
}

void COrvaneView::InvalidateCanvasRect(const RECT& canvas) {
    InvalidateViewRect(OffsetBy(ZoomRect(canvas, zoom_), canvasRect_.left, canvasRect_.top));
}

void COrvaneView::InvalidateObject(const CDrawObj& obj) {
    InvalidateCanvasRect(obj.GetBounds());
}

void COrvaneView::DrawSelectionOutline(const RECT& viewRect) {
    InvalidateViewRect(OffsetBy(viewRect, canvasRect_.left, canvasRect_.top));
}

PackedDib COrvaneView::Render(const RECT& client) const {
    if (client.IsEmpty()) return {};
    const COLORREF face = host_ ? host_->FaceColour() : RGB(240, 240, 240);
    PackedDib buf = CreateSolidDIB(client.Width(), client.Height(), face, 255);
    if (!buf) return buf;
    const POINT tl = ClientToLogical(POINT{client.left, client.top});
    const RECT area{tl.x, tl.y, tl.x + client.Width(), tl.y + client.Height()};

    // The sunken edge: two nested rectangles, dark above and left, light below and right.
    const int r = GetRValue(face), g = GetGValue(face), b = GetBValue(face);
    const COLORREF dark = RGB(Clamp255(r - 82), Clamp255(g - 85), Clamp255(b - 82));
    const COLORREF light = RGB(Clamp255(r + 82), Clamp255(g + 85), Clamp255(b + 82));
    const RECT edge = Inflate(canvasRect_, 2);
    Draw3dRect(buf, tl, edge, dark, light);
    Draw3dRect(buf, tl, Inflate(edge, -1), dark, light);

    const RECT under = IntersectRects(area, canvasRect_);
    if (!under.IsEmpty()) {
        PackedDib board = CreateSolidDIB(under.Width(), under.Height(), 0, 255);
        if (!board) return buf;
        // The canvas origin is the board's origin, so the squares stay put while scrolling.
        const POINT at{under.left - canvasRect_.left, under.top - canvasRect_.top};
        DrawCheckerboard(board, kCheckWhite, kCheckGrey, at.x, at.y);
        zepho::FloatingImage fl;
        if (floating_) {
            fl.image = &floating_;
            fl.position = floatingPos_;
            fl.transparency = floatingTransparency_;
            fl.after = floatingAfter_.Get();
        }
        DrawFrame(doc_.Image().objects, board, at, zoom_, fl);
        const LONG dx = under.left - area.left, dy = under.top - area.top;
        for (LONG y = 0; y < under.Height(); ++y) {
            BYTE* d = buf.Pixel32(dx, dy + y);
            std::memcpy(d, board.Pixel32(0, y), 4 * static_cast<std::size_t>(under.Width()));
            // The screen has no alpha: the blend lowers it where objects are translucent.
            for (LONG x = 0; x < under.Width(); ++x)
                d[4 * x + 3] = 255;
        }
    }

    if (active_) tracker_.Draw(buf, tl, zoom_, CanvasOrigin());
    DrawOutline(buf, tl);
    DrawRubberBand(buf, tl);
    return buf;
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

void COrvaneView::RebuildOutline() {
    outline_.reset();
    if (!selection_ || selection_->IsEmpty()) return;
    std::vector<RECT> rects = selection_->Rects();
    for (RECT& rc : rects)
        rc = {ZoomOutlineCoord(rc.left, zoom_, false), ZoomOutlineCoord(rc.top, zoom_, false),
              ZoomOutlineCoord(rc.right, zoom_, true), ZoomOutlineCoord(rc.bottom, zoom_, true)};
    const Region zoomed = Region::FromRects(rects.data(), static_cast<int>(rects.size()));
    // The border pixels: those with a 4-neighbour outside.
    outline_ = BorderOf(zoomed);
}

void COrvaneView::DrawOutline(PackedDib& dst, POINT origin) const {
    if (!outline_) return;
    const LONG sx = canvasRect_.left + static_cast<LONG>(ToScreenScale(dragOffset_.x, zoom_));
    const LONG sy = canvasRect_.top + static_cast<LONG>(ToScreenScale(dragOffset_.y, zoom_));
    const RECT bounds{0, 0, dst.Width(), dst.Height()};
    for (const RECT& rc : outline_->Rects()) {
        const RECT local = IntersectRects(OffsetBy(rc, sx - origin.x, sy - origin.y), bounds);
        for (LONG y = local.top; y < local.bottom; ++y) {
            BYTE* p = dst.Pixel32(local.left, y);
            for (LONG x = local.left; x < local.right; ++x, p += 4) {
                // Dashes of 4 along the diagonals; the phase makes them march.
                const LONG k = (x + origin.x - sx) + (y + origin.y - sy) + phase_;
                const BYTE v = (k & 7) < 4 ? 255 : 0;
                p[0] = p[1] = p[2] = v;
                p[3] = 255;
            }
        }
    }
}

Region COrvaneView::RubberBand() const {
    if (drag_.Has(CDragState::RubberBand)) {
        const RECT rc = NormalisedRect(drag_.start, drag_.current);
        if (rc.IsEmpty()) return {};
        if (toolNumber_ == ToolEllipseSelect || toolNumber_ == ToolEllipse)
            return BorderOf(Region::Ellipse(rc));
        // The rectangle shows the rounded corners its selection or shape will get.
        const int percent =
            toolNumber_ == ToolRectangle ? doc_.Settings().RoundRadius : doc_.Settings().SelectionRoundCorner;
        const int corner =
            static_cast<int>(std::floor(percent * std::min(rc.Width(), rc.Height()) * 0.02 + 0.5));
        return BorderOf(Region::RoundRect(rc, corner, corner));
    }
    std::vector<RECT> pixels;
    if (drag_.Has(CDragState::Lasso)) {
        for (std::size_t i = 1; i < drag_.lasso.size(); ++i)
            AddLinePixels(pixels, drag_.lasso[i - 1], drag_.lasso[i]);
    } else if (drag_.Has(CDragState::Polygon)) {
        // The placed edges, and the rubber line from the last vertex to the mouse.
        POINT last{};
        for (std::size_t i = 0; i < drag_.lasso.size(); ++i) {
            const POINT p = CanvasToLogical(drag_.lasso[i]);
            if (i > 0) AddLinePixels(pixels, last, p);
            last = p;
        }
        if (!drag_.lasso.empty()) AddLinePixels(pixels, last, drag_.current);
    } else if (drag_.Has(CDragState::RubberLine)) {
        AddLinePixels(pixels, drag_.start, drag_.current);
    }
    return Region::FromRects(pixels.data(), static_cast<int>(pixels.size()));
}

void COrvaneView::InvalidateRubberBand() {
    const Region band = RubberBand();
    if (!band.IsEmpty()) InvalidateViewRect(band.Bounds());
}

void COrvaneView::DrawRubberBand(PackedDib& dst, POINT origin) const {
    if (!drag_.Has(CDragState::RubberBand | CDragState::Lasso | CDragState::RubberLine | CDragState::Polygon))
        return;
    const RECT bounds{0, 0, dst.Width(), dst.Height()};
    for (const RECT& rc : RubberBand().Rects()) {
        const RECT local = IntersectRects(OffsetBy(rc, -origin.x, -origin.y), bounds);
        for (LONG y = local.top; y < local.bottom; ++y) {
            BYTE* p = dst.Pixel32(local.left, y);
            // Inverted, so that it shows on any colour.
            for (LONG x = local.left; x < local.right; ++x, p += 4) {
                p[0] = static_cast<BYTE>(~p[0]);
                p[1] = static_cast<BYTE>(~p[1]);
                p[2] = static_cast<BYTE>(~p[2]);
            }
        }
    }
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
    InvalidateViewRect(OffsetBy(outline_->Bounds(), canvasRect_.left, canvasRect_.top));
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
