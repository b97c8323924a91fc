#include "raster/RegionOps.h"

#include "raster/Blend.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <limits>
#include <new>
#include <vector>

namespace zepho {

namespace {

using std::int64_t;

constexpr int kBatchRects = 100;

// A document rectangle of a w x h image at pos, cut to the 32-bit coordinate range that regions
// live in (an image placed near the limit would otherwise wrap).
RECT PlacedRect(POINT pos, int w, int h) {
    constexpr int64_t hi = std::numeric_limits<LONG>::max();
    const int64_t r = std::min<int64_t>(int64_t{pos.x} + w, hi),
                  b = std::min<int64_t>(int64_t{pos.y} + h, hi);
    return RECT{pos.x, pos.y, static_cast<LONG>(r), static_cast<LONG>(b)};
}

// Calls fn(y, x0, x1) for every run of pixels of `clip` that lies in the region (all of `clip`
// without one). Each pixel comes once; runs come band by band from the top.
template <class Fn> void ForEachSpan(const RECT& clip, const Region* region, Fn fn) {
    if (clip.IsEmpty()) return;
    if (!region) {
        for (LONG y = clip.top; y < clip.bottom; ++y)
            fn(y, clip.left, clip.right);
        return;
    }
    int n = 0;
    const pixman_box32_t* boxes = pixman_region32_rectangles(region->Native(), &n);
    for (int i = 0; i < n; ++i) {
        const pixman_box32_t& b = boxes[i];
        if (b.y2 <= clip.top) continue;
        if (b.y1 >= clip.bottom) break; // bands are sorted by their top
        const LONG x0 = std::max<LONG>(b.x1, clip.left), x1 = std::min<LONG>(b.x2, clip.right);
        if (x0 >= x1) continue;
        const LONG y1 = std::min<LONG>(b.y2, clip.bottom);
        for (LONG y = std::max<LONG>(b.y1, clip.top); y < y1; ++y)
            fn(y, x0, x1);
    }
}

// One bit per image pixel, bit i = y * width + x, least significant bit first.
class BitGrid {
public:
    // Throws std::bad_alloc like any container.
    BitGrid(int width, int height, bool set)
        : width_(width), bits_((static_cast<std::size_t>(width) * static_cast<std::size_t>(height) + 7) / 8,
                               set ? 0xFF : 0) {}
    bool Test(int x, int y) const {
        const std::size_t i = Index(x, y);
        return (bits_[i >> 3] >> (i & 7)) & 1;
    }
    void Set(int x, int y) {
        const std::size_t i = Index(x, y);
        bits_[i >> 3] |= static_cast<BYTE>(1u << (i & 7));
    }
    void Clear(int x, int y) {
        const std::size_t i = Index(x, y);
        bits_[i >> 3] &= static_cast<BYTE>(~(1u << (i & 7)));
    }

private:
    std::size_t Index(int x, int y) const {
        return static_cast<std::size_t>(y) * static_cast<std::size_t>(width_) + static_cast<std::size_t>(x);
    }
    int width_;
    std::vector<BYTE> bits_;
};

struct Seed {
    int x, y;
};

// Each channel of a reference colour widened by the tolerance, clamped to 0..255.
struct ColourRange {
    BYTE lo[3], hi[3]; // blue, green, red as stored in a pixel

    ColourRange(BYTE b, BYTE g, BYTE r, int tolerance) {
        const BYTE v[3] = {b, g, r};
        for (int c = 0; c < 3; ++c) {
            lo[c] = static_cast<BYTE>(std::clamp(v[c] - tolerance, 0, 255));
            hi[c] = static_cast<BYTE>(std::clamp(v[c] + tolerance, 0, 255));
        }
    }
    bool Accepts(const BYTE* p) const {
        return p[0] >= lo[0] && p[0] <= hi[0] && p[1] >= lo[1] && p[1] <= hi[1] && p[2] >= lo[2] &&
               p[2] <= hi[2];
    }
};

// Runs of pixels become rectangles merged into a batch of 100; each full batch becomes one region.
// Batch regions are united pairwise like a binary counter, so that the work stays n log n in the
// number of rectangles instead of growing with the result for every batch.
class RegionBuilder {
public:
    // A run of pixels in one row: the rectangle its pixels would merge into one by one.
    void AddRect(const RECT& rc) {
        if (count_ == kBatchRects) Flush();
        count_ = AddRectMerged(batch_, count_, rc);
    }

    Region Finish() {
        Flush();
        Region result;
        for (Region& r : levels_)
            result.Union(r);
        levels_.clear();
        return result;
    }

private:
    void Flush() {
        if (count_ == 0) return;
        Region r = Region::FromRects(batch_, count_);
        count_ = 0;
        for (Region& slot : levels_) {
            if (slot.IsEmpty()) {
                slot = std::move(r);
                return;
            }
            r.Union(slot);
            slot.Clear();
        }
        levels_.push_back(std::move(r));
    }

    RECT batch_[kBatchRects];
    int count_ = 0;
    std::vector<Region> levels_; // level k holds the union of 2^k batches, or nothing
};

// The seed's class and colour range, and the pixel test of the magic wand.
struct WandTest {
    bool opaque;
    ColourRange range;
    bool Matches(const BYTE* p) const { return (p[3] >= 128) == opaque && range.Accepts(p); }
};

WandTest MakeWandTest(const PackedDib& image, int& x, int& y, int tolerance) {
    x = std::clamp(x, 0, image.Width() - 1);
    y = std::clamp(y, 0, image.Height() - 1);
    const BYTE* s = image.Pixel32(x, y);
    return WandTest{s[3] >= 128, ColourRange(s[0], s[1], s[2], tolerance)};
}

// The fill colour composed over a pixel with the fill's opacity as its alpha.
struct OverPaint {
    unsigned o;
    BYTE colour[3]; // blue, green, red

    void Apply(BYTE* p) const {
        const unsigned a = p[3];
        const unsigned ao = 255 - ((255 - a) * (255 - o)) / 255;
        for (int c = 0; c < 3; ++c) {
            unsigned v = ((255 - o) * a * p[c]) / 255 + o * colour[c];
            if (ao) v /= ao;
            p[c] = static_cast<BYTE>(std::min(v, 255u));
        }
        p[3] = static_cast<BYTE>(ao);
    }
};

void StoreColour(BYTE* dst, COLORREF c) {
    dst[0] = GetBValue(c);
    dst[1] = GetGValue(c);
    dst[2] = GetRValue(c);
}

// The 4-connected flood shared by both flood fills. `blocked` starts with every pixel outside
// the region set, so neighbours outside it are never pushed. qualifies(p) is asked once per
// neighbour, before anything near it is painted; paint(p) runs on every popped pixel.
template <class Qualifies, class Paint>
bool Flood(PackedDib& image, POINT seed, const Region* region, Qualifies qualifies, Paint paint) {
    if (!image.Is32()) return true;
    const int w = image.Width(), h = image.Height();
    if (seed.x < 0 || seed.y < 0 || seed.x >= w || seed.y >= h) return true;
    try {
        BitGrid visited(w, h, region != nullptr);
        if (region) {
            ForEachSpan(RECT{0, 0, w, h}, region, [&](LONG y, LONG x0, LONG x1) {
                for (LONG x = x0; x < x1; ++x)
                    visited.Clear(x, y);
            });
            if (visited.Test(seed.x, seed.y)) return true; // the seed lies outside the region
        }
        std::vector<Seed> stack;
        stack.reserve(kBatchRects);
        stack.push_back({seed.x, seed.y});
        visited.Set(seed.x, seed.y);
        auto visit = [&](int x, int y) {
            if (visited.Test(x, y)) return;
            visited.Set(x, y);
            if (qualifies(image.Pixel32(x, y))) stack.push_back({x, y});
        };
        while (!stack.empty()) {
            const Seed s = stack.back();
            stack.pop_back();
            paint(image.Pixel32(s.x, s.y));
            if (s.y + 1 < h) visit(s.x, s.y + 1);
            if (s.x + 1 < w) visit(s.x + 1, s.y);
            if (s.y > 0) visit(s.x, s.y - 1);
            if (s.x > 0) visit(s.x - 1, s.y);
        }
    } catch (const std::bad_alloc&) {
        return false;
    }
    return true;
}

// Every pixel of the image (and of the region) that qualifies is painted.
template <class Qualifies, class Paint>
void FillEvery(PackedDib& image, const Region* region, Qualifies qualifies, Paint paint) {
    if (!image.Is32()) return;
    ForEachSpan(RECT{0, 0, image.Width(), image.Height()}, region, [&](LONG y, LONG x0, LONG x1) {
        BYTE* p = image.Pixel32(x0, y);
        for (LONG x = x0; x < x1; ++x, p += 4)
            if (qualifies(p)) paint(p);
    });
}

// Calls fn(imagePixel, m, x, y) for every mask byte m > 0 over the image, within `clip` (image
// coordinates) and the region.
template <class Fn>
void ForEachMaskPixel(PackedDib& image, const PackedDib& mask, POINT maskPos, const Region* region, RECT clip,
                      Fn fn) {
    if (!image.Is32() || mask.BitCount() != 8 || mask.Width() <= 0 || mask.Height() <= 0) return;
    const int64_t mx0 = std::max<int64_t>({maskPos.x, clip.left, 0});
    const int64_t my0 = std::max<int64_t>({maskPos.y, clip.top, 0});
    const int64_t mx1 = std::min<int64_t>({int64_t{maskPos.x} + mask.Width(), clip.right, image.Width()});
    const int64_t my1 = std::min<int64_t>({int64_t{maskPos.y} + mask.Height(), clip.bottom, image.Height()});
    if (mx0 >= mx1 || my0 >= my1) return;
    const RECT area{static_cast<LONG>(mx0), static_cast<LONG>(my0), static_cast<LONG>(mx1),
                    static_cast<LONG>(my1)};
    ForEachSpan(area, region, [&](LONG y, LONG x0, LONG x1) {
        const BYTE* m = mask.Row(static_cast<int>(y - maskPos.y)) + (x0 - maskPos.x);
        BYTE* p = image.Pixel32(x0, y);
        for (LONG x = x0; x < x1; ++x, ++m, p += 4)
            if (*m) fn(p, *m, x, y);
    });
}

constexpr RECT kNoClip{std::numeric_limits<LONG>::min(), std::numeric_limits<LONG>::min(),
                       std::numeric_limits<LONG>::max(), std::numeric_limits<LONG>::max()};

} // namespace

int AddRectMerged(RECT* list, int count, RECT rc) {
    if (!list) return 0;
    count = std::max(count, 0);
    for (int i = 0; i < count;) {
        const RECT& r = list[i];
        if (r == rc) return count;
        const bool vertical =
            r.left == rc.left && r.right == rc.right && (r.top == rc.bottom || r.bottom == rc.top);
        const bool horizontal =
            r.top == rc.top && r.bottom == rc.bottom && (r.left == rc.right || r.right == rc.left);
        if (!vertical && !horizontal) {
            ++i;
            continue;
        }
        rc = UnionRects(rc, r);
        std::memmove(list + i, list + i + 1, sizeof(RECT) * static_cast<std::size_t>(count - i - 1));
        --count;
        i = 0;
    }
    list[count] = rc;
    return count + 1;
}

std::optional<Region> SelectSimilarContiguous(const PackedDib& image, int x, int y, int tolerance) {
    if (!image.Is32()) return Region();
    const int w = image.Width(), h = image.Height();
    const WandTest test = MakeWandTest(image, x, y, tolerance);
    try {
        // The flood marks the selected pixels; they are handed to the builder afterwards as runs
        // per row, which merge far better than pixels in the flood's zigzag order.
        BitGrid visited(w, h, false), selected(w, h, false);
        std::vector<Seed> stack;
        stack.reserve(kBatchRects);
        stack.push_back({x, y});
        visited.Set(x, y);
        RECT box{x, y, x + 1, y + 1};
        auto visit = [&](int nx, int ny) {
            if (visited.Test(nx, ny)) return;
            visited.Set(nx, ny);
            if (test.Matches(image.Pixel32(nx, ny))) stack.push_back({nx, ny});
        };
        while (!stack.empty()) {
            const Seed s = stack.back();
            stack.pop_back();
            selected.Set(s.x, s.y);
            box = UnionRects(box, RECT{s.x, s.y, s.x + 1, s.y + 1});
            if (s.y + 1 < h) visit(s.x, s.y + 1);
            if (s.x + 1 < w) visit(s.x + 1, s.y);
            if (s.y > 0) visit(s.x, s.y - 1);
            if (s.x > 0) visit(s.x - 1, s.y);
        }
        RegionBuilder builder;
        for (int py = box.top; py < box.bottom; ++py)
            for (int px = box.left; px < box.right;) {
                if (!selected.Test(px, py)) {
                    ++px;
                    continue;
                }
                const int start = px;
                while (px < box.right && selected.Test(px, py))
                    ++px;
                builder.AddRect(RECT{start, py, px, py + 1});
            }
        return builder.Finish();
    } catch (const std::bad_alloc&) {
        return std::nullopt;
    }
}

std::optional<Region> SelectSimilarGlobal(const PackedDib& image, int x, int y, int tolerance) {
    if (!image.Is32()) return Region();
    const WandTest test = MakeWandTest(image, x, y, tolerance);
    try {
        RegionBuilder builder;
        const int w = image.Width();
        for (int py = 0; py < image.Height(); ++py) {
            const BYTE* row = image.Row(py);
            for (int px = 0; px < w;) {
                if (!test.Matches(row + 4 * px)) {
                    ++px;
                    continue;
                }
                const int start = px;
                while (px < w && test.Matches(row + 4 * px))
                    ++px;
                builder.AddRect(RECT{start, py, px, py + 1});
            }
        }
        return builder.Finish();
    } catch (const std::bad_alloc&) {
        return std::nullopt;
    }
}

bool RectInRegion(const Region& region, const RECT& rc) {
    if (rc.IsEmpty()) return true; // no pixel lies outside
    pixman_box32_t box{rc.left, rc.top, rc.right, rc.bottom};
    return pixman_region32_contains_rectangle(region.Native(), &box) == PIXMAN_REGION_IN;
}

PackedDib CopyRegionPixels(const PackedDib& image, POINT pos, const Region& region, POINT& outPos) {
    if (!image.Is32()) return {};
    const RECT area = IntersectRects(PlacedRect(pos, image.Width(), image.Height()), region.Bounds());
    if (area.IsEmpty()) return {};
    PackedDib out = PackedDib::Create(area.Width(), area.Height(), 32);
    if (!out) return out;
    ForEachSpan(area, &region, [&](LONG y, LONG x0, LONG x1) {
        std::memcpy(out.Pixel32(x0 - area.left, y - area.top), image.Pixel32(x0 - pos.x, y - pos.y),
                    4 * static_cast<std::size_t>(x1 - x0));
    });
    outPos = POINT{area.left, area.top};
    return out;
}

PackedDib MergeImagesInRegion(const PackedDib& a, POINT posA, int transparencyA, const PackedDib& b,
                              POINT posB, int transparencyB, const Region& region, POINT& outPos) {
    const RECT ra = a.Is32() ? PlacedRect(posA, a.Width(), a.Height()) : RECT{};
    const RECT rb = b.Is32() ? PlacedRect(posB, b.Width(), b.Height()) : RECT{};
    const RECT area = IntersectRects(UnionRects(ra, rb), region.Bounds());
    // Two images far apart may span more than an int; no image that big can be made anyway.
    const int64_t width = int64_t{area.right} - area.left, height = int64_t{area.bottom} - area.top;
    if (width <= 0 || height <= 0 || width > std::numeric_limits<int>::max() ||
        height > std::numeric_limits<int>::max())
        return {};
    PackedDib out = PackedDib::Create(static_cast<int>(width), static_cast<int>(height), 32);
    if (!out) return out;
    const POINT origin{area.left, area.top};
    // Compose the whole area, then clear what lies outside the region. An image that misses the
    // area is left out: the kernels' clipping is not meant for offsets beyond an int.
    if (!IntersectRects(ra, area).IsEmpty()) CopyLayer(out, origin, a, posA, transparencyA);
    if (!IntersectRects(rb, area).IsEmpty()) CompositeOver(out, origin, b, posB, transparencyB);
    Region outside = Region::Rect(area);
    outside.Subtract(region);
    ForEachSpan(area, &outside, [&](LONG y, LONG x0, LONG x1) {
        std::memset(out.Pixel32(x0 - area.left, y - area.top), 0, 4 * static_cast<std::size_t>(x1 - x0));
    });
    outPos = origin;
    return out;
}

PackedDib CreateBrushMask(int width, int height) {
    PackedDib mask = PackedDib::Create(width, height, 8);
    if (!mask) return mask;
    RGBQUAD* table = mask.ColorTable();
    for (int i = 0; i < 256; ++i) {
        const BYTE v = static_cast<BYTE>(i);
        table[i] = RGBQUAD{v, v, v, 0};
    }
    return mask;
}

void EraseByMask(PackedDib& image, const PackedDib& mask, POINT maskPos, const Region* region) {
    ForEachMaskPixel(image, mask, maskPos, region, kNoClip, [](BYTE* p, BYTE m, LONG, LONG) {
        p[3] = std::min<BYTE>(p[3], static_cast<BYTE>(255 - m));
    });
}

void PaintAlphaByMask(PackedDib& image, const PackedDib& mask, POINT maskPos, const Region* region) {
    ForEachMaskPixel(image, mask, maskPos, region, kNoClip,
                     [](BYTE* p, BYTE m, LONG, LONG) { p[3] = std::max(p[3], m); });
}

void PaintAlphaByMaskWhereOpaque(PackedDib& image, const PackedDib& mask, const PackedDib& reference,
                                 POINT maskPos, const Region* region) {
    if (!reference.Is32()) return; // transparent everywhere
    ForEachMaskPixel(image, mask, maskPos, region, RECT{0, 0, reference.Width(), reference.Height()},
                     [&](BYTE* p, BYTE m, LONG x, LONG y) {
                         if (reference.Pixel32(x, y)[3] != 0) p[3] = std::max(p[3], m);
                     });
}

bool FloodFillSimilar(PackedDib& image, COLORREF reference, COLORREF fill, int opacity, int tolerance,
                      POINT seed, const Region* region) {
    const ColourRange range(GetBValue(reference), GetGValue(reference), GetRValue(reference), tolerance);
    OverPaint paint{static_cast<unsigned>(std::clamp(opacity, 0, 255)), {}};
    StoreColour(paint.colour, fill);
    return Flood(
        image, seed, region, [&](const BYTE* p) { return p[3] != 0 && range.Accepts(p); },
        [&](BYTE* p) { paint.Apply(p); });
}

bool FillSimilarGlobal(PackedDib& image, COLORREF reference, COLORREF fill, int opacity, int tolerance,
                       const Region* region) {
    const ColourRange range(GetBValue(reference), GetGValue(reference), GetRValue(reference), tolerance);
    OverPaint paint{static_cast<unsigned>(std::clamp(opacity, 0, 255)), {}};
    StoreColour(paint.colour, fill);
    FillEvery(
        image, region, [&](const BYTE* p) { return p[3] != 0 && range.Accepts(p); },
        [&](BYTE* p) { paint.Apply(p); });
    return true;
}

bool FloodFillTransparent(PackedDib& image, COLORREF fill, int alpha, POINT seed, const Region* region) {
    BYTE px[4];
    StoreColour(px, fill);
    px[3] = static_cast<BYTE>(std::clamp(alpha, 0, 255));
    return Flood(
        image, seed, region, [](const BYTE* p) { return p[3] == 0; },
        [&](BYTE* p) { std::memcpy(p, px, 4); });
}

bool FillTransparentGlobal(PackedDib& image, COLORREF fill, int alpha, const Region* region) {
    BYTE px[4];
    StoreColour(px, fill);
    px[3] = static_cast<BYTE>(std::clamp(alpha, 0, 255));
    FillEvery(
        image, region, [](const BYTE* p) { return p[3] == 0; }, [&](BYTE* p) { std::memcpy(p, px, 4); });
    return true;
}

void MoveOpaquePixels(PackedDib& dst, POINT dstPos, PackedDib& src, POINT srcPos) {
    if (!dst.Is32() || !src.Is32()) return;
    const int64_t x0 = std::max<int64_t>(dstPos.x, srcPos.x), y0 = std::max<int64_t>(dstPos.y, srcPos.y);
    const int64_t x1 = std::min(int64_t{dstPos.x} + dst.Width(), int64_t{srcPos.x} + src.Width());
    const int64_t y1 = std::min(int64_t{dstPos.y} + dst.Height(), int64_t{srcPos.y} + src.Height());
    for (int64_t y = y0; y < y1; ++y) {
        BYTE* d = dst.Pixel32(static_cast<int>(x0 - dstPos.x), static_cast<int>(y - dstPos.y));
        BYTE* s = src.Pixel32(static_cast<int>(x0 - srcPos.x), static_cast<int>(y - srcPos.y));
        for (int64_t x = x0; x < x1; ++x, d += 4, s += 4) {
            if (s[3] == 0) continue;
            std::memcpy(d, s, 4);
            s[0] = 0;
        }
    }
}

} // namespace zepho
