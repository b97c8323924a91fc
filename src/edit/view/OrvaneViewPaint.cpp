// What the view paints: the canvas frame, the composed objects over the checkerboard, the
// marching outline of the selection and the rubber bands of the selection and shape tools.
#include "edit/view/OrvaneView.h"

#include "edit/document/OrvaneDoc.h"
#include "edit/view/ViewRects.h"
#include "model/AppSettings.h"
#include "model/Frame.h"
#include "platform/Services.h"
#include "raster/Dib.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>

namespace zepho {

namespace {

constexpr COLORREF kCheckWhite = RGB(255, 255, 255);
constexpr COLORREF kCheckGrey = RGB(212, 212, 212);
// Coordinates of the zoomed outline stay well inside 32 bits.
constexpr std::int64_t kOutlineLimit = std::int64_t{1} << 30;

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

// A three-dimensional rectangle with sides t pixels wide: top and left sides in one colour,
// bottom and right in the other.
void Draw3dRect(PackedDib& dst, POINT origin, const RECT& r, COLORREF topLeft, COLORREF bottomRight, int t) {
    FillViewRect(dst, origin, RECT{r.left, r.top, r.right - t, r.top + t}, topLeft);
    FillViewRect(dst, origin, RECT{r.left, r.top, r.left + t, r.bottom - t}, topLeft);
    FillViewRect(dst, origin, RECT{r.right - t, r.top, r.right, r.bottom}, bottomRight);
    FillViewRect(dst, origin, RECT{r.left, r.bottom - t, r.right, r.bottom}, bottomRight);
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

constexpr int kMaxScale = 4;

// The zoom that draws the canvas at device resolution on a screen of `scale` device pixels per
// window pixel; 0 when a reduction cannot be expressed as one.
int DeviceZoom(int zoom, int scale) {
    if (scale == 1) return zoom;
    if (zoom >= 1) return zoom * scale;
    const int n = -zoom;
    if (n % scale != 0) return 0;
    return n == scale ? 1 : -(n / scale);
}

RECT ScaledRect(const RECT& r, int scale) {
    return {r.left * scale, r.top * scale, r.right * scale, r.bottom * scale};
}

// Each pixel becomes a square of scale x scale.
PackedDib Enlarged(const PackedDib& src, int scale) {
    if (!src) return {};
    PackedDib out = PackedDib::Create(src.Width() * scale, src.Height() * scale, 32);
    if (!out) return out;
    for (int y = 0; y < out.Height(); ++y) {
        auto* d = reinterpret_cast<std::uint32_t*>(out.Pixel32(0, y));
        const BYTE* s = src.Pixel32(0, y / scale);
        for (int x = 0; x < out.Width(); ++x)
            std::memcpy(d + x, s + 4 * (x / scale), 4);
    }
    return out;
}

// The checkerboard with squares of `size` pixels, for screens of more than one device pixel per
// window pixel (the squares keep their size in window pixels).
void DrawLargeCheckerboard(PackedDib& dst, POINT offset, int size) {
    for (int y = 0; y < dst.Height(); ++y) {
        BYTE* p = dst.Pixel32(0, y);
        const int row = (y + offset.y) / size;
        for (int x = 0; x < dst.Width(); ++x, p += 4) {
            const COLORREF c = (((x + offset.x) / size + row) & 1) == 0 ? kCheckWhite : kCheckGrey;
            p[0] = GetBValue(c);
            p[1] = GetGValue(c);
            p[2] = GetRValue(c);
        }
    }
}

// The checkerboard under the objects for a w x h part of the canvas whose top-left lies at `at`
// (zoomed canvas coordinates, device pixels).
PackedDib Checkerboard(int w, int h, POINT at, int scale) {
    PackedDib board = CreateSolidDIB(w, h, 0, 255);
    if (!board) return board;
    if (scale == 1)
        DrawCheckerboard(board, kCheckWhite, kCheckGrey, at.x, at.y);
    else
        DrawLargeCheckerboard(board, at, 8 * scale);
    return board;
}

// A kept composition larger than this (bytes) is not made: the drag composes in full.
constexpr std::uint64_t kMaxKeptBytes = std::uint64_t{256} << 20;

RECT NormalisedRect(POINT a, POINT b) {
    return {std::min(a.x, b.x), std::min(a.y, b.y), std::max(a.x, b.x), std::max(a.y, b.y)};
}

} // namespace

PackedDib COrvaneView::Render(const RECT& client, int scale) const {
    if (client.IsEmpty()) return {};
    scale = std::clamp(scale, 1, kMaxScale);
    const int zoom = DeviceZoom(zoom_, scale);
    if (zoom == 0) return Enlarged(Render(client, 1), scale);
    const COLORREF face = host_ ? host_->FaceColour() : RGB(240, 240, 240);
    PackedDib buf = CreateSolidDIB(client.Width() * scale, client.Height() * scale, face, 255);
    if (!buf) return buf;
    const POINT tl0 = ClientToLogical(POINT{client.left, client.top});
    const POINT tl{tl0.x * scale, tl0.y * scale};
    const RECT area{tl.x, tl.y, tl.x + buf.Width(), tl.y + buf.Height()};
    const RECT canvas = ScaledRect(canvasRect_, scale);

    // The sunken edge: two nested rectangles, dark above and left, light below and right.
    const int r = GetRValue(face), g = GetGValue(face), b = GetBValue(face);
    const COLORREF dark = RGB(Clamp255(r - 82), Clamp255(g - 85), Clamp255(b - 82));
    const COLORREF light = RGB(Clamp255(r + 82), Clamp255(g + 85), Clamp255(b + 82));
    for (int ring = 2; ring > 0; --ring)
        Draw3dRect(buf, tl, InflateRectBy(canvas, ring * scale), dark, light, scale);

    const RECT under = IntersectRects(area, canvas);
    if (!under.IsEmpty()) {
        // The canvas origin is the board's origin, so the squares stay put while scrolling.
        const POINT at{under.left - canvas.left, under.top - canvas.top};
        const PackedDib board = ComposeCanvas(under.Width(), under.Height(), at, zoom, scale, canvas);
        if (!board) return buf;
        const LONG dx = under.left - area.left, dy = under.top - area.top;
        for (LONG y = 0; y < under.Height(); ++y) {
            auto* d = reinterpret_cast<std::uint32_t*>(buf.Pixel32(dx, dy + y));
            const auto* s = reinterpret_cast<const std::uint32_t*>(board.Pixel32(0, y));
            // The screen has no alpha: the blend lowers it where objects are translucent.
            for (LONG x = 0; x < under.Width(); ++x)
                d[x] = s[x] | 0xFF000000u;
        }
    }

    if (active_) tracker_.Draw(buf, tl, zoom, POINT{canvas.left, canvas.top}, scale);
    DrawOutline(buf, tl, scale, canvas, zoom);
    DrawRubberBand(buf, tl, scale);
    return buf;
}

bool COrvaneView::CompositionRange(int& split, int& top) const {
    if (!keepComposition_ || floating_ || floatingAfter_) return false;
    const CDrawObjList& objects = doc_.Image().objects;
    split = top = objects.Count();
    if (drag_.Has(CDragState::Moving)) {
        // The move tool moves the visible selected objects.
        for (int i = 0; i < objects.Count(); ++i)
            if (objects.At(i)->visible && objects.At(i)->IsSelected()) {
                split = std::min(split, i);
                top = i + 1;
            }
        return true;
    }
    // Dragging the transform handles changes nothing but the handles until the release.
    return active_ && (tracker_.dragged >= 0 || tracker_.rotating);
}

PackedDib COrvaneView::ComposeCanvas(int w, int h, POINT at, int zoom, int scale, const RECT& canvas) const {
    const CDrawObjList& frame = doc_.Image().objects;
    int split = 0, top = 0;
    if (!CompositionRange(split, top)) {
        composition_.Drop();
    } else {
        // The visible part of the canvas, relative to its origin.
        const SIZE client = host_ ? host_->ClientSize() : SIZE{canvasRect_.right + 2, canvasRect_.bottom + 2};
        const POINT s = ClientToLogical(POINT{0, 0});
        const RECT window{s.x * scale, s.y * scale, (s.x + client.cx) * scale, (s.y + client.cy) * scale};
        const RECT area = OffsetRectBy(IntersectRects(window, canvas), -canvas.left, -canvas.top);
        const std::uint64_t bytes = 4 * std::uint64_t(std::max<LONG>(area.Width(), 0)) *
                                    std::uint64_t(std::max<LONG>(area.Height(), 0));
        if (bytes <= kMaxKeptBytes) {
            PackedDib board = PackedDib::Create(w, h, 32);
            const CViewComposition::Key key{zoom, scale, area, split, top};
            if (board && composition_.Compose(frame, key, board, at, [scale](int bw, int bh, POINT p) {
                    return Checkerboard(bw, bh, p, scale);
                }))
                return board;
        } else {
            composition_.Drop();
        }
    }
    PackedDib board = Checkerboard(w, h, at, scale);
    if (!board) return board;
    zepho::FloatingImage fl;
    if (floating_) {
        fl.image = &floating_;
        fl.position = floatingPos_;
        fl.transparency = floatingTransparency_;
        fl.after = floatingAfter_.Get();
    }
    DrawFrame(frame, board, at, zoom, fl);
    return board;
}

std::optional<Region> COrvaneView::OutlineAt(int zoom) const {
    if (!selection_ || selection_->IsEmpty()) return std::nullopt;
    std::vector<RECT> rects = selection_->Rects();
    for (RECT& rc : rects)
        rc = {ZoomOutlineCoord(rc.left, zoom, false), ZoomOutlineCoord(rc.top, zoom, false),
              ZoomOutlineCoord(rc.right, zoom, true), ZoomOutlineCoord(rc.bottom, zoom, true)};
    const Region zoomed = Region::FromRects(rects.data(), static_cast<int>(rects.size()));
    // The border pixels: those with a 4-neighbour outside.
    return BorderOf(zoomed);
}

void COrvaneView::RebuildOutline() {
    outline_ = OutlineAt(zoom_);
    deviceOutline_.reset();
    deviceOutlineZoom_ = 0;
}

void COrvaneView::DrawOutline(PackedDib& dst, POINT origin, int scale, const RECT& canvas, int zoom) const {
    if (!outline_) return;
    if (scale != 1 && deviceOutlineZoom_ != zoom) {
        deviceOutline_ = OutlineAt(zoom);
        deviceOutlineZoom_ = zoom;
    }
    const std::optional<Region>& outline = scale == 1 ? outline_ : deviceOutline_;
    if (!outline) return;
    const LONG sx = canvas.left + static_cast<LONG>(ToScreenScale(dragOffset_.x, zoom));
    const LONG sy = canvas.top + static_cast<LONG>(ToScreenScale(dragOffset_.y, zoom));
    const RECT bounds{0, 0, dst.Width(), dst.Height()};
    for (const RECT& rc : outline->Rects()) {
        const RECT local = IntersectRects(OffsetRectBy(rc, sx - origin.x, sy - origin.y), bounds);
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

Region COrvaneView::RubberBand(int scale) const {
    // The band is drawn through the device pixels of the scaled points, one device pixel wide.
    const auto up = [scale](POINT p) { return POINT{p.x * scale, p.y * scale}; };
    if (drag_.Has(CDragState::RubberBand)) {
        const RECT rc = NormalisedRect(up(drag_.start), up(drag_.current));
        if (rc.IsEmpty()) return {};
        if (toolNumber_ == ToolEllipseSelect || toolNumber_ == ToolEllipse)
            return BorderOf(Region::Ellipse(rc));
        // The rectangle shows the rounded corners its selection or shape will get.
        const int percent =
            toolNumber_ == ToolRectangle ? doc_.Settings().RoundRadius : doc_.Settings().SelectionRoundCorner;
        const int corner =
            scale *
            static_cast<int>(std::floor(percent * std::min(rc.Width(), rc.Height()) / scale * 0.02 + 0.5));
        return BorderOf(Region::RoundRect(rc, corner, corner));
    }
    std::vector<RECT> pixels;
    if (drag_.Has(CDragState::Lasso)) {
        for (std::size_t i = 1; i < drag_.lasso.size(); ++i)
            AddLinePixels(pixels, up(drag_.lasso[i - 1]), up(drag_.lasso[i]));
    } else if (drag_.Has(CDragState::Polygon)) {
        // The placed edges, and the rubber line from the last vertex to the mouse.
        POINT last{};
        for (std::size_t i = 0; i < drag_.lasso.size(); ++i) {
            const POINT p = up(CanvasToLogical(drag_.lasso[i]));
            if (i > 0) AddLinePixels(pixels, last, p);
            last = p;
        }
        if (!drag_.lasso.empty()) AddLinePixels(pixels, last, up(drag_.current));
    } else if (drag_.Has(CDragState::RubberLine)) {
        AddLinePixels(pixels, up(drag_.start), up(drag_.current));
    }
    return Region::FromRects(pixels.data(), static_cast<int>(pixels.size()));
}

void COrvaneView::DrawRubberBand(PackedDib& dst, POINT origin, int scale) const {
    if (!drag_.Has(CDragState::RubberBand | CDragState::Lasso | CDragState::RubberLine | CDragState::Polygon))
        return;
    const RECT bounds{0, 0, dst.Width(), dst.Height()};
    for (const RECT& rc : RubberBand(scale).Rects()) {
        const RECT local = IntersectRects(OffsetRectBy(rc, -origin.x, -origin.y), bounds);
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

} // namespace zepho
