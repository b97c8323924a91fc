#include "raster/Blend.h"

#include "platform/Parallel.h"
#include "raster/BlendRow.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <vector>

namespace zepho {

namespace detail {

void BlendRowScalar(BYTE* dst, const BYTE* src, int n, int t) {
    for (int i = 0; i < n; ++i, dst += 4, src += 4) {
        const int a = src[3] - t;
        if (a <= 0) continue;
        if (a == 255) {
            std::memcpy(dst, src, 4);
            continue;
        }
        const unsigned w = (static_cast<unsigned>(a) * 32768u) / 255u;
        const unsigned inv = 32768u - w;
        for (int c = 0; c < 4; ++c) {
            const unsigned v = 2 * (((dst[c] * inv) >> 16) + ((src[c] * w) >> 16));
            dst[c] = static_cast<BYTE>(std::min(255u, v));
        }
    }
}

void CompositeOverRowScalar(BYTE* d, const BYTE* s, int n, int t) {
    for (int i = 0; i < n; ++i, d += 4, s += 4) {
        const unsigned as = static_cast<unsigned>(std::max(s[3] - t, 0));
        const unsigned ad = d[3];
        if (as == 0 && ad != 0) continue; // the formula gives the destination back
        if (as == 255) {
            d[0] = s[0];
            d[1] = s[1];
            d[2] = s[2];
            d[3] = 255;
            continue;
        }
        const unsigned ao = 255 - ((255 - ad) * (255 - as)) / 255;
        for (int c = 0; c < 3; ++c) {
            unsigned v = ((255 - as) * ad * d[c]) / 255 + as * s[c];
            if (ao) v /= ao;
            d[c] = static_cast<BYTE>(std::min(v, 255u));
        }
        d[3] = static_cast<BYTE>(ao);
    }
}

} // namespace detail

namespace {

using std::int64_t;

struct Span {
    int x0 = 0, x1 = 0, y0 = 0, y1 = 0; // destination pixels, relative to the destination
    bool Empty() const { return x1 <= x0 || y1 <= y0; }
};

// The part of the destination covered by a source rectangle given in destination space.
Span Clip(const PackedDib& dst, POINT origin, int64_t left, int64_t top, int64_t right, int64_t bottom) {
    Span s;
    // Clamped into the destination before narrowing: a source far away must not wrap around.
    const int64_t w = dst.Width(), h = dst.Height();
    s.x0 = static_cast<int>(std::clamp<int64_t>(left - origin.x, 0, w));
    s.y0 = static_cast<int>(std::clamp<int64_t>(top - origin.y, 0, h));
    s.x1 = static_cast<int>(std::clamp<int64_t>(right - origin.x, 0, w));
    s.y1 = static_cast<int>(std::clamp<int64_t>(bottom - origin.y, 0, h));
    return s;
}

bool Usable(const PackedDib& dst, const PackedDib& src) {
    return dst.Is32() && src.Is32();
}

// Keeps a span to the destination rows [rowBegin, rowEnd).
void LimitRows(Span& s, int rowBegin, int rowEnd) {
    s.y0 = std::max(s.y0, rowBegin);
    s.y1 = std::min(s.y1, rowEnd);
}

// Calls fn(dstRow, srcRow, n) for every row of the 100 % intersection within the given rows.
template <class Fn>
void ForEachRow(PackedDib& dst, POINT origin, const PackedDib& src, POINT pos, Fn fn, int rowBegin = 0,
                int rowEnd = INT32_MAX) {
    if (!Usable(dst, src)) return;
    Span s = Clip(dst, origin, pos.x, pos.y, int64_t{pos.x} + src.Width(), int64_t{pos.y} + src.Height());
    LimitRows(s, rowBegin, rowEnd);
    if (s.Empty()) return;
    dst.Detach(); // before the threads write through it
    const int64_t sx = int64_t{s.x0} + origin.x - pos.x;
    // Rows are independent; large areas are shared among threads. Rows are stored bottom-up, so
    // each piece is walked from its last picture row to its first: the addresses then ascend,
    // which the processor's prefetch follows.
    ParallelFor(s.y1 - s.y0, RowGrain(s.x1 - s.x0, 32768), [&](std::ptrdiff_t begin, std::ptrdiff_t end) {
        for (int y = s.y0 + static_cast<int>(end) - 1; y >= s.y0 + begin; --y) {
            const int64_t sy = int64_t{y} + origin.y - pos.y;
            fn(dst.Pixel32(s.x0, y), src.Pixel32(static_cast<int>(sx), static_cast<int>(sy)), s.x1 - s.x0);
        }
    });
}

inline void CopyLayerRow(BYTE* d, const BYTE* s, int n, int t) {
    for (int i = 0; i < n; ++i, d += 4, s += 4) {
        d[0] = s[0];
        d[1] = s[1];
        d[2] = s[2];
        d[3] = static_cast<BYTE>(std::max(s[3] - t, 0));
    }
}

// Gathers source pixels for a run of destination columns, then blends the run in one go.
class RowGather {
public:
    explicit RowGather(int n) : buf_(static_cast<std::size_t>(n) * 4) {}
    BYTE* Data() { return buf_.data(); }

private:
    std::vector<BYTE> buf_;
};

} // namespace

void BlendTransparentRows(PackedDib& dst, POINT origin, const PackedDib& src, POINT pos, int t, int rowBegin,
                          int rowEnd) {
    const detail::BlendRowFn row = detail::ActiveBlendRow();
    ForEachRow(
        dst, origin, src, pos, [&](BYTE* d, const BYTE* s, int n) { row(d, s, n, t); }, rowBegin, rowEnd);
}

void BlendTransparent(PackedDib& dst, POINT origin, const PackedDib& src, POINT pos, int t) {
    BlendTransparentRows(dst, origin, src, pos, t, 0, INT32_MAX);
}

void BlendMagnifiedRows(PackedDib& dst, POINT origin, const PackedDib& src, POINT pos, int t, int z,
                        int rowBegin, int rowEnd) {
    if (!Usable(dst, src) || z < 2) return;
    const int64_t left = int64_t{pos.x} * z, top = int64_t{pos.y} * z;
    Span s = Clip(dst, origin, left, top, left + int64_t{src.Width()} * z, top + int64_t{src.Height()} * z);
    LimitRows(s, rowBegin, rowEnd);
    if (s.Empty()) return;
    const int n = s.x1 - s.x0;
    RowGather gather(n);
    const detail::BlendRowFn row = detail::ActiveBlendRow();
    int64_t gatheredRow = -1;
    // Bottom-up, in the order the rows are stored.
    for (int y = s.y1 - 1; y >= s.y0; --y) {
        const int64_t sy = (int64_t{y} + origin.y - top) / z;
        if (sy != gatheredRow) {
            // Each source pixel repeated z times; the first one may be cut by the clip.
            const std::uint32_t* sr = reinterpret_cast<const std::uint32_t*>(src.Row(static_cast<int>(sy)));
            auto* out = reinterpret_cast<std::uint32_t*>(gather.Data());
            const int64_t vx = int64_t{s.x0} + origin.x - left;
            const std::uint32_t* sp = sr + vx / z;
            int take = z - static_cast<int>(vx % z);
            for (int i = 0; i < n;) {
                const std::uint32_t px = *sp++;
                for (const int end = std::min(n, i + take); i < end; ++i)
                    out[i] = px;
                take = z;
            }
            gatheredRow = sy;
        }
        row(dst.Pixel32(s.x0, y), gather.Data(), n, t);
    }
}

void BlendMagnified(PackedDib& dst, POINT origin, const PackedDib& src, POINT pos, int t, int z) {
    BlendMagnifiedRows(dst, origin, src, pos, t, z, 0, INT32_MAX);
}

void BlendReducedRows(PackedDib& dst, POINT origin, const PackedDib& src, POINT pos, int t, int f,
                      int rowBegin, int rowEnd) {
    if (!Usable(dst, src) || f < 2) return;
    const int64_t left = pos.x / f, top = pos.y / f;
    const int64_t right = (int64_t{pos.x} + src.Width()) / f, bottom = (int64_t{pos.y} + src.Height()) / f;
    Span s = Clip(dst, origin, left, top, right, bottom);
    // Never sample past the source's last column or row.
    s.x1 = static_cast<int>(std::min<int64_t>(s.x1, left - origin.x + (src.Width() - 1) / f + 1));
    s.y1 = static_cast<int>(std::min<int64_t>(s.y1, top - origin.y + (src.Height() - 1) / f + 1));
    LimitRows(s, rowBegin, rowEnd);
    if (s.Empty()) return;
    const int n = s.x1 - s.x0;
    RowGather gather(n);
    const detail::BlendRowFn row = detail::ActiveBlendRow();
    const int64_t sx0 = (int64_t{s.x0} + origin.x - left) * f;
    for (int y = s.y0; y < s.y1; ++y) {
        const int64_t sy = (int64_t{y} + origin.y - top) * f;
        const BYTE* sr = src.Row(static_cast<int>(sy));
        auto* out = reinterpret_cast<std::uint32_t*>(gather.Data());
        for (int i = 0; i < n; ++i)
            std::memcpy(out + i, sr + 4 * (sx0 + int64_t{i} * f), 4);
        row(dst.Pixel32(s.x0, y), gather.Data(), n, t);
    }
}

void BlendReduced(PackedDib& dst, POINT origin, const PackedDib& src, POINT pos, int t, int f) {
    BlendReducedRows(dst, origin, src, pos, t, f, 0, INT32_MAX);
}

void BlendAtZoomRows(PackedDib& dst, POINT origin, const PackedDib& src, POINT pos, int t, int zoom,
                     int rowBegin, int rowEnd) {
    if (zoom > 1)
        BlendMagnifiedRows(dst, origin, src, pos, t, zoom, rowBegin, rowEnd);
    else if (zoom < -1)
        BlendReducedRows(dst, origin, src, pos, t, -zoom, rowBegin, rowEnd);
    else
        BlendTransparentRows(dst, origin, src, pos, t, rowBegin, rowEnd);
}

void BlendAtZoom(PackedDib& dst, POINT origin, const PackedDib& src, POINT pos, int t, int zoom) {
    BlendAtZoomRows(dst, origin, src, pos, t, zoom, 0, INT32_MAX);
}

namespace {

void BlendScaledImpl(PackedDib& dst, const PackedDib& src, POINT pos, int scale, int t) {
    if (!Usable(dst, src) || scale <= 0) return;
    const int64_t sw = src.Width(), sh = src.Height();
    const Span s = Clip(dst, POINT{0, 0}, (int64_t{pos.x} * scale) >> 15, (int64_t{pos.y} * scale) >> 15,
                        ((pos.x + sw) * scale) >> 15, ((pos.y + sh) * scale) >> 15);
    if (s.Empty()) return;
    const int n = s.x1 - s.x0;
    std::vector<int> columns(static_cast<std::size_t>(n));
    for (int i = 0; i < n; ++i)
        columns[i] =
            static_cast<int>(std::clamp<int64_t>(((int64_t{s.x0} + i) << 15) / scale - pos.x, 0, sw - 1));
    RowGather gather(n);
    const detail::BlendRowFn row = detail::ActiveBlendRow();
    for (int y = s.y0; y < s.y1; ++y) {
        const int64_t sy = std::clamp<int64_t>((int64_t{y} << 15) / scale - pos.y, 0, sh - 1);
        const BYTE* sr = src.Row(static_cast<int>(sy));
        auto* out = reinterpret_cast<std::uint32_t*>(gather.Data());
        for (int i = 0; i < n; ++i)
            std::memcpy(out + i, sr + 4 * columns[i], 4);
        row(dst.Pixel32(s.x0, y), gather.Data(), n, t);
    }
}

} // namespace

void BlendScaled(PackedDib& dst, const PackedDib& src, POINT pos, int scale) {
    BlendScaledImpl(dst, src, pos, scale, 0);
}

void BlendScaledShadow(PackedDib& dst, const PackedDib& src, POINT pos, int scale, int t) {
    BlendScaledImpl(dst, src, pos, scale, t);
}

void CopyLayer(PackedDib& dst, POINT origin, const PackedDib& src, POINT pos, int t) {
    ForEachRow(dst, origin, src, pos, [&](BYTE* d, const BYTE* s, int n) { CopyLayerRow(d, s, n, t); });
}

void CompositeOver(PackedDib& dst, POINT origin, const PackedDib& src, POINT pos, int t) {
    const detail::CompositeRowFn row = detail::ActiveCompositeRow();
    ForEachRow(dst, origin, src, pos, [&](BYTE* d, const BYTE* s, int n) { row(d, s, n, t); });
}

PackedDib MergeImages(const PackedDib& a, POINT posA, int tA, const PackedDib& b, POINT posB, int tB,
                      POINT& outPos) {
    // The union is taken in 64 bits: images near the ends of the coordinate range must not wrap.
    int64_t left = INT64_MAX, top = INT64_MAX, right = INT64_MIN, bottom = INT64_MIN;
    for (const auto& [img, pos] : {std::pair<const PackedDib&, POINT>{a, posA}, {b, posB}}) {
        if (!img.Is32()) continue;
        left = std::min<int64_t>(left, pos.x);
        top = std::min<int64_t>(top, pos.y);
        right = std::max<int64_t>(right, int64_t{pos.x} + img.Width());
        bottom = std::max<int64_t>(bottom, int64_t{pos.y} + img.Height());
    }
    if (right <= left || bottom <= top || right - left > INT32_MAX || bottom - top > INT32_MAX) return {};
    PackedDib out = PackedDib::Create(static_cast<int>(right - left), static_cast<int>(bottom - top), 32);
    if (!out) return out;
    outPos = POINT{static_cast<LONG>(left), static_cast<LONG>(top)};
    CopyLayer(out, outPos, a, posA, tA);
    CompositeOver(out, outPos, b, posB, tB);
    return out;
}

} // namespace zepho
