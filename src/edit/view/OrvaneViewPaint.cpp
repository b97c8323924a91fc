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

// A three-dimensional rectangle: top and left sides in one colour, bottom and right in the other.
void Draw3dRect(PackedDib& dst, POINT origin, const RECT& r, COLORREF topLeft, COLORREF bottomRight) {
    FillViewRect(dst, origin, RECT{r.left, r.top, r.right - 1, r.top + 1}, topLeft);
    FillViewRect(dst, origin, RECT{r.left, r.top, r.left + 1, r.bottom - 1}, topLeft);
    FillViewRect(dst, origin, RECT{r.right - 1, r.top, r.right, r.bottom}, bottomRight);
    FillViewRect(dst, origin, RECT{r.left, r.bottom - 1, r.right, r.bottom}, bottomRight);
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
    const RECT edge = InflateRectBy(canvasRect_, 2);
    Draw3dRect(buf, tl, edge, dark, light);
    Draw3dRect(buf, tl, InflateRectBy(edge, -1), dark, light);

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

void COrvaneView::DrawRubberBand(PackedDib& dst, POINT origin) const {
    if (!drag_.Has(CDragState::RubberBand | CDragState::Lasso | CDragState::RubberLine | CDragState::Polygon))
        return;
    const RECT bounds{0, 0, dst.Width(), dst.Height()};
    for (const RECT& rc : RubberBand().Rects()) {
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
