// Brush strokes: the pen tile, the stepping of one mouse step into tile stamps, and the stamp.
#include "raster/RegionOps.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <new>
#include <utility>
#include <vector>

namespace zepho {

namespace {

using std::int64_t;

// A fractional part this close to 0 or 1 counts as a whole pixel, so that a stroke lying on pixel
// rows does not pick up a faint extra row.
constexpr float kSnap = 0.000005f;

struct Range {
    double lo, hi;
};

// Area of the box x0..x1, y0..y1 (distances from the disk's centre, all >= 0) on the inner side
// of the chord through the two points where the circle of radius r crosses the box's outline.
double ChordArea(Range x, Range y, double r) {
    const double r2 = r * r;
    if (x.hi * x.hi + y.hi * y.hi <= r2) return (x.hi - x.lo) * (y.hi - y.lo);
    if (x.lo * x.lo + y.lo * y.lo >= r2) return 0;
    // The arc falls from left to right: it enters through the top or the left edge and leaves
    // through the right or the bottom edge.
    double px[6], py[6];
    int n = 0;
    px[n] = x.lo, py[n++] = y.lo;
    const double top = y.hi < r ? std::sqrt(r2 - y.hi * y.hi) : -1;
    if (top >= x.lo) {
        px[n] = x.lo, py[n++] = y.hi;
        px[n] = top, py[n++] = y.hi;
    } else {
        px[n] = x.lo, py[n++] = std::sqrt(r2 - x.lo * x.lo);
    }
    const double right = x.hi < r ? std::sqrt(r2 - x.hi * x.hi) : -1;
    if (right >= y.lo) {
        px[n] = x.hi, py[n++] = right;
        px[n] = x.hi, py[n++] = y.lo;
    } else {
        px[n] = std::sqrt(r2 - y.lo * y.lo), py[n++] = y.lo;
    }
    double twice = 0;
    for (int i = 0; i < n; ++i) {
        const int j = (i + 1) % n;
        twice += px[i] * py[j] - px[j] * py[i];
    }
    return std::abs(twice) / 2;
}

// The pixel's extent along one axis as distances from the centre; a pixel that straddles the
// centre line (odd widths) splits into two halves.
int Pieces(int i, double c, Range out[2]) {
    const double lo = i - c, hi = i + 1 - c;
    if (lo >= 0) {
        out[0] = {lo, hi};
        return 1;
    }
    if (hi <= 0) {
        out[0] = {-hi, -lo};
        return 1;
    }
    out[0] = {0, hi};
    out[1] = {0, -lo};
    return 2;
}

double DiskCoverage(int i, int j, int w) {
    const double c = w / 2.0;
    Range xs[2], ys[2];
    const int nx = Pieces(i, c, xs), ny = Pieces(j, c, ys);
    double area = 0;
    for (int a = 0; a < nx; ++a)
        for (int b = 0; b < ny; ++b) {
            // Ordered arguments make the tile exactly symmetric about its diagonal.
            Range p = xs[a], q = ys[b];
            if (p.lo > q.lo || (p.lo == q.lo && p.hi > q.hi)) std::swap(p, q);
            area += ChordArea(p, q, c);
        }
    return std::min(area, 1.0);
}

// w x w pen tile: every byte the value, or an antialiased disk of diameter w.
std::vector<BYTE> MakeTile(int w, int value, bool disk) {
    std::vector<BYTE> tile(static_cast<std::size_t>(w) * w, static_cast<BYTE>(value));
    if (!disk) return tile;
    for (int j = 0; j < w; ++j)
        for (int i = 0; i < w; ++i)
            tile[static_cast<std::size_t>(j) * w + i] = static_cast<BYTE>(value * DiskCoverage(i, j, w));
    return tile;
}

bool Inside(PointF p, int width, int height) {
    return p.x >= 0 && p.y >= 0 && p.x < width && p.y < height;
}

// Moves `out` along the segment from `in` (inside the box) to where it leaves the box.
void ClipToBox(PointF in, PointF& out, double left, double top, double right, double bottom) {
    const double dx = double{out.x} - in.x, dy = double{out.y} - in.y;
    double t = 1;
    if (dx > 0) t = std::min(t, (right - in.x) / dx);
    if (dx < 0) t = std::min(t, (left - in.x) / dx);
    if (dy > 0) t = std::min(t, (bottom - in.y) / dy);
    if (dy < 0) t = std::min(t, (top - in.y) / dy);
    out = PointF{static_cast<float>(in.x + t * dx), static_cast<float>(in.y + t * dy)};
}

// Cuts the segment a-b to the box; false when it misses the box altogether.
bool ClipSegment(PointF& a, PointF& b, double left, double top, double right, double bottom) {
    const double dx = double{b.x} - a.x, dy = double{b.y} - a.y;
    double t0 = 0, t1 = 1;
    auto edge = [&](double p, double q) {
        if (p == 0) return q >= 0;
        const double r = q / p;
        if (p < 0) {
            if (r > t1) return false;
            t0 = std::max(t0, r);
        } else {
            if (r < t0) return false;
            t1 = std::min(t1, r);
        }
        return true;
    };
    if (!edge(-dx, a.x - left) || !edge(dx, right - a.x) || !edge(-dy, a.y - top) || !edge(dy, bottom - a.y))
        return false;
    const PointF from = a;
    a = PointF{static_cast<float>(from.x + t0 * dx), static_cast<float>(from.y + t0 * dy)};
    b = PointF{static_cast<float>(from.x + t1 * dx), static_cast<float>(from.y + t1 * dy)};
    return true;
}

// The pixels of one stamp's rectangle (image coordinates) that the region allows, as boxes.
class RegionClip {
public:
    explicit RegionClip(const Region* region) : region_(region) {}

    template <class Fn> void ForEach(const RECT& rc, Fn fn) const {
        if (rc.IsEmpty()) return;
        if (!region_) {
            fn(rc);
            return;
        }
        int n = 0;
        const pixman_box32_t* boxes = pixman_region32_rectangles(region_->Native(), &n);
        for (int i = 0; i < n; ++i) {
            const pixman_box32_t& b = boxes[i];
            if (b.y2 <= rc.top) continue;
            if (b.y1 >= rc.bottom) break;
            const RECT part = IntersectRects(rc, RECT{b.x1, b.y1, b.x2, b.y2});
            if (!part.IsEmpty()) fn(part);
        }
    }

private:
    const Region* region_;
};

} // namespace

void StampMax(PackedDib& mask, POINT pos, const BYTE* tile, int w, int h, const Region* region,
              POINT maskPos) {
    if (!tile || w <= 0 || h <= 0 || mask.BitCount() != 8 || mask.Width() <= 0 || mask.Height() <= 0) return;
    // The tile's part inside the mask, in mask coordinates.
    const int64_t x0 = std::max<int64_t>(pos.x, 0), y0 = std::max<int64_t>(pos.y, 0);
    const int64_t x1 = std::min<int64_t>(int64_t{pos.x} + w, mask.Width());
    const int64_t y1 = std::min<int64_t>(int64_t{pos.y} + h, mask.Height());
    if (x0 >= x1 || y0 >= y1) return;
    auto stamp = [&](int64_t sx0, int64_t sy0, int64_t sx1, int64_t sy1) {
        for (int64_t y = sy0; y < sy1; ++y) {
            BYTE* m = mask.Row(static_cast<int>(y)) + sx0;
            const BYTE* t = tile + (y - pos.y) * w + (sx0 - pos.x);
            for (int64_t x = sx0; x < sx1; ++x, ++m, ++t)
                *m = std::max(*m, *t);
        }
    };
    if (!region) {
        stamp(x0, y0, x1, y1);
        return;
    }
    // Region boxes are in image coordinates; a mask beyond the 32-bit range has no pixel in any.
    const int64_t ix0 = x0 + maskPos.x, iy0 = y0 + maskPos.y, ix1 = x1 + maskPos.x, iy1 = y1 + maskPos.y;
    constexpr int64_t lo = std::numeric_limits<LONG>::min(), hi = std::numeric_limits<LONG>::max();
    const RECT rc{static_cast<LONG>(std::clamp(ix0, lo, hi)), static_cast<LONG>(std::clamp(iy0, lo, hi)),
                  static_cast<LONG>(std::clamp(ix1, lo, hi)), static_cast<LONG>(std::clamp(iy1, lo, hi))};
    RegionClip(region).ForEach(rc, [&](const RECT& part) {
        stamp(int64_t{part.left} - maskPos.x, int64_t{part.top} - maskPos.y, int64_t{part.right} - maskPos.x,
              int64_t{part.bottom} - maskPos.y);
    });
}

PackedDib StrokeMask(int width, int height, PointF p1, PointF p2, int w, int value, const Region* region,
                     bool diskTip, POINT& maskPos) {
    if (width <= 0 || height <= 0 || w <= 0 || w > kMaxPenWidth) return {};
    if (!std::isfinite(p1.x) || !std::isfinite(p1.y) || !std::isfinite(p2.x) || !std::isfinite(p2.y))
        return {};
    value = std::clamp(value, 0, 255);
    const int h = w / 2;

    // A step that leaves the image is cut where the pen no longer reaches it.
    const bool in1 = Inside(p1, width, height), in2 = Inside(p2, width, height);
    const double margin = h + 1;
    // Both ends outside: a quick swipe across a small object still paints or erases where it
    // crossed, and draws nothing when it missed.
    if (!in1 && !in2 && !ClipSegment(p1, p2, -margin, -margin, width + margin, height + margin)) return {};
    if (!in1) ClipToBox(p2, p1, -margin, -margin, width + margin, height + margin);
    if (!in2) ClipToBox(p1, p2, -margin, -margin, width + margin, height + margin);

    // The segment's box grown by the pen, within the image and the region's bounds.
    RECT area{static_cast<LONG>(std::floor(std::min(p1.x, p2.x))) - (h + 1),
              static_cast<LONG>(std::floor(std::min(p1.y, p2.y))) - (h + 1),
              static_cast<LONG>(std::ceil(std::max(p1.x, p2.x))) + (h + 1),
              static_cast<LONG>(std::ceil(std::max(p1.y, p2.y))) + (h + 1)};
    area = IntersectRects(area, RECT{0, 0, width, height});
    if (region) area = IntersectRects(area, region->Bounds());
    if (area.IsEmpty()) return {};

    PackedDib mask = CreateBrushMask(area.Width(), area.Height());
    if (!mask) return mask;
    // Stamps look only at the region's part over the mask.
    Region local;
    if (region) {
        local = *region;
        local.Intersect(Region::Rect(area));
    }
    const Region* clip = region ? &local : nullptr;
    const POINT origin{area.left, area.top};

    try {
        const std::vector<BYTE> tile = MakeTile(w, value, diskTip);
        std::vector<BYTE> tall(static_cast<std::size_t>(w + 1) * w), turned(tall.size());

        // Step along the longer axis u; v is the other one.
        const bool alongX = std::abs(p2.x - p1.x) >= std::abs(p2.y - p1.y);
        const float u1 = alongX ? p1.x : p1.y, v1 = alongX ? p1.y : p1.x;
        const float u2 = alongX ? p2.x : p2.y, v2 = alongX ? p2.y : p2.x;
        // Coinciding ends (a click) have no slope; their one step stamps the tip once.
        const float m = u2 != u1 ? (v2 - v1) / (u2 - u1) : 0.0f;
        const float q = v1 - m * u1;
        const bool odd = (w & 1) != 0;
        const int uStart = static_cast<int>(std::floor(std::min(u1, u2)));
        const int uEnd = std::max(static_cast<int>(std::ceil(std::max(u1, u2))), uStart + (u1 == u2 ? 1 : 0));

        // Stamps a tile given along (u, v) with its top-left at (u0, v0); tileV rows along v.
        auto stamp = [&](int u0, int v0, const BYTE* t, int tileV) {
            const int x = alongX ? u0 : v0, y = alongX ? v0 : u0;
            const int tw = alongX ? w : tileV, th = alongX ? tileV : w;
            if (int64_t{x} + tw <= area.left || x >= area.right || int64_t{y} + th <= area.top ||
                y >= area.bottom)
                return;
            if (!alongX) {
                // Along y the tile's rows become columns.
                for (int r = 0; r < tileV; ++r)
                    for (int c = 0; c < w; ++c)
                        turned[static_cast<std::size_t>(c) * tileV + r] =
                            t[static_cast<std::size_t>(r) * w + c];
                t = turned.data();
            }
            StampMax(mask, POINT{x - origin.x, y - origin.y}, t, tw, th, clip, origin);
        };

        for (int u = uStart; u < uEnd; ++u) {
            const float us = odd ? static_cast<float>(u) + 0.5f : static_cast<float>(u);
            const float v = m * us + q + (odd ? 0.5f : 0.0f);
            const float vf = std::floor(v);
            const int vi = static_cast<int>(vf);
            const float f = v - vf;
            if (f < kSnap) {
                stamp(u - h, vi - h, tile.data(), w);
            } else if ((vf + 1) - v < kSnap) {
                stamp(u - h, vi - h + 1, tile.data(), w);
            } else {
                // Between two rows: the tile spread over w + 1 rows by the fraction. In double
                // precision the sum of two equal rows is exact, so a full interior stays full.
                const double g = (vf + 1) - v, rest = 1 - g;
                const std::size_t ws = static_cast<std::size_t>(w);
                for (std::size_t c = 0; c < ws; ++c) {
                    tall[c] = static_cast<BYTE>(tile[c] * g);
                    tall[ws * ws + c] = static_cast<BYTE>(tile[(ws - 1) * ws + c] * rest);
                }
                for (std::size_t k = 1; k < ws; ++k)
                    for (std::size_t c = 0; c < ws; ++c)
                        tall[k * ws + c] =
                            static_cast<BYTE>(tile[k * ws + c] * g + tile[(k - 1) * ws + c] * rest);
                stamp(u - h, vi - h, tall.data(), w + 1);
            }
        }
    } catch (const std::bad_alloc&) {
        return {};
    }
    maskPos = origin;
    return mask;
}

} // namespace zepho
