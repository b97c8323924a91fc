#include "raster/Filters.h"

#include "platform/Parallel.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <new>
#include <numbers>
#include <type_traits>
#include <vector>

namespace zepho {

namespace {

inline int Clamp(int v, int lo, int hi) {
    return v < lo ? lo : (v > hi ? hi : v);
}
inline BYTE ClampByte(int v) {
    return static_cast<BYTE>(v < 0 ? 0 : (v > 255 ? 255 : v));
}
inline BYTE ClampByte(double v) {
    return v <= 0.0 ? 0 : (v >= 255.0 ? 255 : static_cast<BYTE>(v));
}

// The sums of every (2h + 1) x (2h + 1) window, edge pixels repeated, for the rows y0 <= y < y1,
// as running sums: one column sum per pixel of the row moves down a row at a time, and a window
// slides along it. emitRow(y, sums) receives the four channel sums (B, G, R, A) of the windows
// centred on each pixel of row y, 4 * width of them, row after row. Sum must hold
// 255 * (2h + 1)^2.
template <class Sum, class EmitRow>
void WindowSums(const PackedDib& src, int h, int y0, int y1, EmitRow emitRow) {
    const int w = src.Width(), ht = src.Height();
    const std::size_t n4 = 4 * static_cast<std::size_t>(w);
    // Each column sum holds at most 255 * (2h + 1) <= 255 * 2^16 for any image we can hold.
    std::vector<std::uint32_t> colStore(n4, 0);
    std::vector<Sum> sumStore(n4);
    std::uint32_t* const col = colStore.data();
    Sum* const sums = sumStore.data();
    for (int dy = y0 - h; dy <= y0 + h; ++dy) {
        const BYTE* row = src.Row(Clamp(dy, 0, ht - 1));
        for (std::size_t i = 0; i < n4; ++i)
            col[i] += row[i];
    }
    const int last = w - 1;
    for (int y = y0; y < y1; ++y) {
        Sum s[4] = {0, 0, 0, 0};
        for (int dx = -h; dx <= h; ++dx) {
            const std::uint32_t* c = col + 4 * static_cast<std::size_t>(Clamp(dx, 0, last));
            for (int k = 0; k < 4; ++k)
                s[k] += c[k];
        }
        for (int x = 0;; ++x) {
            Sum* out = sums + 4 * static_cast<std::size_t>(x);
            for (int k = 0; k < 4; ++k)
                out[k] = s[k];
            if (x == last) break;
            const std::uint32_t* add = col + 4 * static_cast<std::size_t>(std::min(x + h + 1, last));
            const std::uint32_t* sub = col + 4 * static_cast<std::size_t>(std::max(x - h, 0));
            for (int k = 0; k < 4; ++k)
                s[k] = s[k] + add[k] - sub[k];
        }
        emitRow(y, static_cast<const Sum*>(sums));
        if (y + 1 == y1) break;
        const BYTE* add = src.Row(std::min(y + h + 1, ht - 1));
        const BYTE* sub = src.Row(std::max(y - h, 0));
        for (std::size_t i = 0; i < n4; ++i)
            col[i] = col[i] + add[i] - sub[i];
    }
}

// Runs WindowSums over the whole image in bands of rows spread over threads. Each band starts
// its column sums afresh from 2h + 1 rows, so a band is made at least as tall as the window
// (up to a sixteenth of the image) to keep that start small beside the band's own work.
template <class Sum, class EmitRow> void BandedWindowSums(const PackedDib& src, int h, EmitRow emitRow) {
    const int ht = src.Height();
    const std::ptrdiff_t grain =
        std::max<std::ptrdiff_t>(RowGrain(src.Width()), std::min(2 * h + 1, (ht + 15) / 16));
    ParallelFor(ht, grain, [&](std::ptrdiff_t begin, std::ptrdiff_t end) {
        WindowSums<Sum>(src, h, static_cast<int>(begin), static_cast<int>(end), emitRow);
    });
}

// Division of the sums 0..255 * d by a fixed d as a multiplication and a shift:
// floor(s / d) = (s * m) >> shift with m = ceil(2^shift / d). Writing e = m * d - 2^shift < d, the
// product is s / d + s * e / (d * 2^shift), which stays below the next integer as long as
// s * e < 2^shift. Set looks for a shift where that holds for the largest s with m below 2^32,
// so that s * m fits 64 bits; there is one for every d up to about 8.4 million.
struct ByteQuotient {
    std::uint64_t m = 0;
    int shift = 0;
    bool Set(std::uint64_t d) {
        if (d == 0 || d >= (std::uint64_t(1) << 24)) return false; // keeps 255 * d * e below 2^56
        for (int sh = 32; sh < 64; ++sh) {
            const std::uint64_t p = std::uint64_t(1) << sh;
            const std::uint64_t mm = (p + d - 1) / d;
            if (mm >> 32) return false; // only grows with the shift
            if (255 * d * (mm * d - p) < p) {
                m = mm;
                shift = sh;
                return true;
            }
        }
        return false;
    }
    BYTE operator()(std::uint32_t s) const { return static_cast<BYTE>((s * m) >> shift); }
};

// n = size limited to the image and made odd.
int WindowSize(const PackedDib& src, int size) {
    int n = std::min({size, src.Width(), src.Height()});
    if (n % 2 == 0) --n;
    return n;
}

template <class Sum> void BoxMean(const PackedDib& src, PackedDib& out, int n) {
    const std::size_t n4 = 4 * static_cast<std::size_t>(src.Width());
    const Sum area = static_cast<Sum>(n) * static_cast<Sum>(n);
    ByteQuotient q;
    if (std::is_same_v<Sum, std::uint32_t> && q.Set(area)) {
        BandedWindowSums<Sum>(src, n / 2, [&out, n4, q](int y, const Sum* s) {
            BYTE* o = out.Row(y);
            for (std::size_t i = 0; i < n4; ++i)
                o[i] = q(static_cast<std::uint32_t>(s[i]));
        });
        return;
    }
    BandedWindowSums<Sum>(src, n / 2, [&out, n4, area](int y, const Sum* s) {
        BYTE* o = out.Row(y);
        for (std::size_t i = 0; i < n4; ++i)
            o[i] = static_cast<BYTE>(s[i] / area);
    });
}

} // namespace

PackedDib BoxBlur(const PackedDib& src, int size) {
    if (!src.Is32()) return {};
    PackedDib out = src.Clone();
    // Size 2 is the first step that blurs: it takes the 3 x 3 box rather than none.
    const int n = std::min({size, src.Width(), src.Height()}) == 2 ? 3 : WindowSize(src, size);
    if (!out || n < 2) return out;
    try {
        // 32-bit window sums while 255 * n * n fits, which covers every size the dialog offers.
        if (n <= 4095)
            BoxMean<std::uint32_t>(src, out, n);
        else
            BoxMean<std::uint64_t>(src, out, n);
    } catch (const std::bad_alloc&) {
        return {};
    }
    return out;
}

namespace detail {

PackedDib GaussianBlurReference(const PackedDib& src, int size) {
    if (!src.Is32()) return {};
    PackedDib out = src.Clone();
    if (!out) return out;
    const int w = src.Width(), ht = src.Height();
    const int r = std::max((WindowSize(src, size) - 1) / 2, 1);
    try {
        // Weights for distances 0..r, normalised over the whole window -r..r.
        std::vector<double> k(r + 1);
        const double s = r / 3.0;
        double total = 0;
        for (int d = 0; d <= r; ++d) {
            k[d] = std::exp(-(double(d) * d) / (2 * s * s));
            total += d == 0 ? k[d] : 2 * k[d];
        }
        for (double& v : k)
            v /= total;

        const std::size_t n4 = 4 * static_cast<std::size_t>(w);
        // Horizontal results for the rows the vertical window can reach, in a ring.
        const int ringRows = std::min(2 * r + 1, ht);
        std::vector<double> ring(static_cast<std::size_t>(ringRows) * n4);
        std::vector<double> acc(n4);
        std::vector<double> line(n4);
        // The weights of a whole window, summed in the order the taps are taken.
        double fullWeights = 0;
        for (int d = -r; d <= r; ++d)
            fullWeights += k[std::abs(d)];
        auto horizontal = [&](int y) {
            const BYTE* in = src.Row(y);
            double* h = &ring[static_cast<std::size_t>(y % ringRows) * n4];
            std::copy(in, in + n4, line.begin());
            // Windows cut by the left or right border, weighed pixel by pixel.
            auto edge = [&](int x) {
                const int lo = std::max(x - r, 0), hi = std::min(x + r, w - 1);
                double a[4] = {0, 0, 0, 0}, weights = 0;
                for (int xx = lo; xx <= hi; ++xx) {
                    const double kw = k[std::abs(xx - x)];
                    for (int c = 0; c < 4; ++c)
                        a[c] += kw * line[4 * static_cast<std::size_t>(xx) + c];
                    weights += kw;
                }
                for (int c = 0; c < 4; ++c)
                    h[4 * static_cast<std::size_t>(x) + c] = a[c] / weights;
            };
            const int x0 = std::min(r, w), x1 = w - r; // whole windows for x0 <= x < x1
            for (int x = 0; x < x0; ++x)
                edge(x);
            if (x0 < x1) {
                // Whole windows: one tap at a time along the row, the same sums in the same order.
                const std::size_t i0 = 4 * static_cast<std::size_t>(x0),
                                  i1 = 4 * static_cast<std::size_t>(x1);
                std::fill(h + i0, h + i1, 0.0);
                for (int d = -r; d <= r; ++d) {
                    const double kw = k[std::abs(d)];
                    const double* tap = line.data() + static_cast<std::ptrdiff_t>(i0) + 4 * d;
                    double* out = h + i0;
                    for (std::size_t i = 0; i < i1 - i0; ++i)
                        out[i] += kw * tap[i];
                }
                for (std::size_t i = i0; i < i1; ++i)
                    h[i] /= fullWeights;
            }
            for (int x = std::max(x1, x0); x < w; ++x)
                edge(x);
        };
        int done = 0; // rows with horizontal results
        for (int y = 0; y < ht; ++y) {
            const int lo = std::max(y - r, 0), hi = std::min(y + r, ht - 1);
            while (done <= hi)
                horizontal(done++);
            std::fill(acc.begin(), acc.end(), 0.0);
            double weights = 0;
            for (int yy = lo; yy <= hi; ++yy) {
                const double kw = k[std::abs(yy - y)];
                const double* h = &ring[static_cast<std::size_t>(yy % ringRows) * n4];
                for (std::size_t i = 0; i < n4; ++i)
                    acc[i] += kw * h[i];
                weights += kw;
            }
            BYTE* o = out.Row(y);
            // A flat area must stay flat: rounding error may land a hair below the integer.
            for (std::size_t i = 0; i < n4; ++i)
                o[i] = ClampByte(acc[i] / weights + 1e-9);
        }
    } catch (const std::bad_alloc&) {
        return {};
    }
    return out;
}

} // namespace detail

PackedDib Sharpen(const PackedDib& src, int amount) {
    if (!src.Is32()) return {};
    PackedDib out = src.Clone();
    const int f = amount / 100;
    if (!out || f == 0) return out;
    try {
        const std::size_t n4 = 4 * static_cast<std::size_t>(src.Width());
        BandedWindowSums<std::uint32_t>(src, 1, [&src, &out, n4, f](int y, const std::uint32_t* s) {
            const BYTE* in = src.Row(y);
            BYTE* o = out.Row(y);
            for (std::size_t i = 0; i < n4; ++i) {
                const int v = in[i];
                const int around = static_cast<int>(s[i]) - v;
                o[i] = ClampByte(v + f * (v - around / 8));
            }
        });
    } catch (const std::bad_alloc&) {
        return {};
    }
    return out;
}

PackedDib Emboss(const PackedDib& src, int elevation, int weight, int angle) {
    if (!src.Is32()) return {};
    PackedDib out = src.Clone();
    if (!out) return out;
    const int a = ((angle % 360) + 360) % 360;
    const double t = std::tan(a * std::numbers::pi / 180.0);
    // The neighbour compared with: one step towards the angle, rounded to the pixel grid.
    int dx = 0, dy = 0;
    if (a == 0) {
        dx = 1;
    } else if (a == 90) {
        dy = -1;
    } else if (a == 180) {
        dx = -1;
    } else if (a == 270) {
        dy = 1;
    } else if (a <= 45 || a >= 315) {
        dx = 1;
        dy = -static_cast<int>(t + 0.5);
    } else if (a <= 134) {
        dx = static_cast<int>(1 / t + 0.5);
        dy = -1;
    } else if (a <= 224) {
        dx = -1;
        dy = -static_cast<int>(t + 0.5);
    } else {
        dx = static_cast<int>(1 / t + 0.5);
        dy = 1;
    }
    const int w = src.Width(), h = src.Height();
    try {
        // By value: the pixel stores would otherwise make the compiler reload them.
        ParallelFor(h, RowGrain(w),
                    [&src, &out, w, h, dx, dy, elevation, weight](std::ptrdiff_t begin, std::ptrdiff_t end) {
                        for (int y = static_cast<int>(begin); y < end; ++y) {
                            const BYTE* in = src.Row(y);
                            const BYTE* nb = src.Row(Clamp(y + dy, 0, h - 1));
                            BYTE* o = out.Row(y);
                            for (int x = 0; x < w; ++x) {
                                const BYTE* p = in + 4 * static_cast<std::size_t>(x);
                                const BYTE* q = nb + 4 * static_cast<std::size_t>(Clamp(x + dx, 0, w - 1));
                                const int diff = (p[0] + p[1] + p[2]) - (q[0] + q[1] + q[2]);
                                const BYTE v = ClampByte(elevation + weight * static_cast<double>(diff) / 3);
                                BYTE* d = o + 4 * static_cast<std::size_t>(x);
                                d[0] = d[1] = d[2] = v;
                            }
                        }
                    });
    } catch (const std::bad_alloc&) {
        return {};
    }
    return out;
}

PackedDib Sunspot(const PackedDib& src, int horzPercent, int vertPercent, int brightness) {
    if (!src.Is32()) return {};
    PackedDib out = src.Clone();
    if (!out || brightness == 0) return out;
    const int w = src.Width(), h = src.Height();
    // Vertical positions count from the bottom row.
    const std::int64_t cx = (static_cast<std::int64_t>(w - 1) * horzPercent) / 100;
    const std::int64_t cy = static_cast<std::int64_t>(std::trunc((1 - vertPercent * 0.01) * (h - 1)));
    std::int64_t far = 0;
    for (std::int64_t px : {std::int64_t(0), std::int64_t(w - 1)})
        for (std::int64_t py : {std::int64_t(0), std::int64_t(h - 1)})
            far = std::max(far, (px - cx) * (px - cx) + (py - cy) * (py - cy));
    const double d = static_cast<double>(far);
    try {
        ParallelFor(
            h, RowGrain(w), [&out, w, cx, cy, d, brightness](std::ptrdiff_t begin, std::ptrdiff_t end) {
                for (int y = static_cast<int>(begin); y < end; ++y) {
                    BYTE* o = out.Row(y);
                    const double ry = static_cast<double>((y - cy) * (y - cy));
                    for (int x = 0; x < w; ++x) {
                        // A single pixel is its own centre and farthest corner: it gets the whole light.
                        const double dist = static_cast<double>((x - cx) * (x - cx)) + ry;
                        const int delta = d > 0 ? static_cast<int>((1 - dist / d) * brightness) : brightness;
                        BYTE* p = o + 4 * static_cast<std::size_t>(x);
                        for (int c = 0; c < 3; ++c)
                            p[c] = ClampByte(p[c] + delta);
                    }
                }
            });
    } catch (const std::bad_alloc&) {
        return {};
    }
    return out;
}

} // namespace zepho
