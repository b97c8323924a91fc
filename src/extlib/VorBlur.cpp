#include "extlib/VorRender.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <new>
#include <vector>

namespace zepho {

namespace {

// The triangle kernel of radius r is two boxes of r + 1 taps, one reaching back [i - r, i] and one
// reaching forward [i, i + r]. Each box runs with one moving sum, so a pixel costs the same for
// every radius. Outside the image the edge value repeats. Both passes work in place: the only
// overwritten value a later step still needs is the one just replaced, kept in `prev`.

// One channel-interleaved line of n pixels with 4 floats each.
void BoxForwardLine(float* d, int n, int r, double* sum) {
    const double norm = 1.0 / (r + 1);
    for (int c = 0; c < 4; ++c)
        sum[c] = 0;
    for (int k = 0; k <= r; ++k) {
        const float* p = d + 4 * std::min(k, n - 1);
        for (int c = 0; c < 4; ++c)
            sum[c] += p[c];
    }
    for (int i = 0; i < n; ++i) {
        float* p = d + 4 * i;
        const float* in = d + 4 * std::min(i + r + 1, n - 1);
        for (int c = 0; c < 4; ++c) {
            const float prev = p[c];
            p[c] = static_cast<float>(sum[c] * norm);
            sum[c] += in[c] - prev;
        }
    }
}

void BoxBackwardLine(float* d, int n, int r, double* sum) {
    const double norm = 1.0 / (r + 1);
    for (int c = 0; c < 4; ++c)
        sum[c] = 0;
    for (int k = 0; k <= r; ++k) {
        const float* p = d + 4 * std::max(n - 1 - k, 0);
        for (int c = 0; c < 4; ++c)
            sum[c] += p[c];
    }
    for (int i = n - 1; i >= 0; --i) {
        float* p = d + 4 * i;
        const float* in = d + 4 * std::max(i - r - 1, 0);
        for (int c = 0; c < 4; ++c) {
            const float prev = p[c];
            p[c] = static_cast<float>(sum[c] * norm);
            sum[c] += in[c] - prev;
        }
    }
}

// The same down the columns, a whole row at a time so that memory is read in order.
class ColumnBoxes {
public:
    ColumnBoxes(float* data, int w, int h, int r)
        : d_(data), n_(static_cast<std::size_t>(w) * 4), h_(h), r_(r), sum_(n_), prev_(n_) {}

    void Forward() {
        Start([&](int k) { return std::min(k, h_ - 1); });
        for (int y = 0; y < h_; ++y)
            Step(y, std::min(y + r_ + 1, h_ - 1));
    }
    void Backward() {
        Start([&](int k) { return std::max(h_ - 1 - k, 0); });
        for (int y = h_ - 1; y >= 0; --y)
            Step(y, std::max(y - r_ - 1, 0));
    }

private:
    float* RowPtr(int y) { return d_ + static_cast<std::size_t>(y) * n_; }

    template <class RowOf> void Start(RowOf rowOf) {
        std::fill(sum_.begin(), sum_.end(), 0.0);
        for (int k = 0; k <= r_; ++k) {
            const float* p = RowPtr(rowOf(k));
            for (std::size_t i = 0; i < n_; ++i)
                sum_[i] += p[i];
        }
    }
    void Step(int y, int incoming) {
        const double norm = 1.0 / (r_ + 1);
        float* p = RowPtr(y);
        std::memcpy(prev_.data(), p, n_ * sizeof(float));
        for (std::size_t i = 0; i < n_; ++i)
            p[i] = static_cast<float>(sum_[i] * norm);
        const float* in = RowPtr(incoming);
        for (std::size_t i = 0; i < n_; ++i)
            sum_[i] += in[i] - prev_[i];
    }

    float* d_;
    std::size_t n_;
    int h_, r_;
    std::vector<double> sum_;
    std::vector<float> prev_;
};

} // namespace

BOOL BlurShadowDIB(PackedDib& dib, double radius) {
    if (!dib.Is32()) return 0;
    if (!(radius >= 0.5)) return 1; // also NaN
    const int w = dib.Width(), h = dib.Height();
    // Past the image's size a wider kernel only repeats the edge further.
    const int r = static_cast<int>(std::min(std::floor(radius + 0.5), static_cast<double>(std::max(w, h))));

    // Colours weighted by alpha (c * a, up to 65025) so that transparent pixels lend no colour.
    // Four floats a pixel: four pixels' worth of the budget of the document being read.
    const PixelCharge charge(w, h, 4);
    if (!charge.Ok()) return 0;
    std::vector<float> buf;
    try {
        buf.resize(static_cast<std::size_t>(w) * h * 4);
    } catch (const std::bad_alloc&) {
        return 0;
    }
    for (int y = 0; y < h; ++y) {
        const BYTE* s = dib.Row(y);
        float* d = buf.data() + static_cast<std::size_t>(y) * w * 4;
        for (int x = 0; x < w; ++x, s += 4, d += 4) {
            const float a = s[3];
            d[0] = s[0] * a;
            d[1] = s[1] * a;
            d[2] = s[2] * a;
            d[3] = a;
        }
    }

    double sum[4];
    for (int y = 0; y < h; ++y) {
        float* line = buf.data() + static_cast<std::size_t>(y) * w * 4;
        BoxBackwardLine(line, w, r, sum);
        BoxForwardLine(line, w, r, sum);
    }
    try {
        ColumnBoxes columns(buf.data(), w, h, r);
        columns.Backward();
        columns.Forward();
    } catch (const std::bad_alloc&) {
        return 0;
    }

    for (int y = 0; y < h; ++y) {
        BYTE* p = dib.Row(y);
        const float* s = buf.data() + static_cast<std::size_t>(y) * w * 4;
        for (int x = 0; x < w; ++x, p += 4, s += 4) {
            const float a = s[3];
            const int alpha = static_cast<int>(std::lround(std::clamp(a, 0.0f, 255.0f)));
            p[3] = static_cast<BYTE>(alpha);
            if (alpha == 0) continue; // keep the colour bytes
            for (int c = 0; c < 3; ++c)
                p[c] = static_cast<BYTE>(std::lround(std::clamp(s[c] / a, 0.0f, 255.0f)));
        }
    }
    return 1;
}

} // namespace zepho
