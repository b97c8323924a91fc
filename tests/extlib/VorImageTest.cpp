#include "common/DumpPng.h"
#include "extlib/VorRender.h"
#include "extlib/VorSampler.h"
#include "extlib/VorTestUtil.h"
#include "platform/Parallel.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <random>
#include <vector>

namespace zepho {
namespace {

using test::At;
using test::Px;
using test::Solid;

constexpr double kPi = 3.141592653589793;
constexpr COLORREF kWhite = RGB(255, 255, 255);

// Target-to-source matrix of a turn by `angle` about the centres of both images.
CVorTransMatrix TurnInverse(double angle, int sw, int sh, int tw, int th) {
    CVorTransMatrix m = CVorTransMatrix::Translation(-sw / 2.0, -sh / 2.0);
    m.Multiply(CVorTransMatrix::Rotation(angle));
    m.Multiply(CVorTransMatrix::Translation(tw / 2.0, th / 2.0));
    m.Invert();
    return m;
}

TEST(VorTransformImage, QuarterTurnWithNearestIsAnExactPermutation) {
    const unsigned seed = 20240611;
    std::mt19937 rng(seed);
    const int w = 37, h = 23;
    PackedDib src = PackedDib::Create(w, h, 32);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            BYTE* p = src.Pixel32(x, y);
            for (int c = 0; c < 3; ++c)
                p[c] = static_cast<BYTE>(rng());
            p[3] = static_cast<BYTE>(1 + rng() % 255); // any alpha but 0, which draws nothing
        }
    PackedDib dst = PackedDib::Create(h, w, 32);
    ASSERT_TRUE(TransformImage(dst, src, TurnInverse(kPi / 2, w, h, h, w), 0, 0, 0));
    // A quarter turn in y-down pixels takes (x, y) to (h - 1 - y, x).
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            ASSERT_EQ(std::memcmp(src.Pixel32(x, y), dst.Pixel32(h - 1 - y, x), 4), 0)
                << "seed " << seed << " at " << x << "," << y;
}

TEST(VorTransformImage, EveryFilterKeepsColourAtTheBorderAndLeavesTheRestAlone) {
    // Opaque red with a blue stripe, framed by transparent green: premultiplied filtering must
    // not let any green in.
    const int w = 40, h = 30;
    PackedDib src = Solid(w, h, RGB(0, 255, 0), 0);
    for (int y = 5; y < h - 5; ++y)
        for (int x = 5; x < w - 5; ++x)
            std::memcpy(src.Pixel32(x, y), x >= 18 && x < 22 ? "\xff\0\0\xff" : "\0\0\xff\xff", 4);
    PackedDib reference5;
    for (int filter = -1; filter <= kVorFilterCount; ++filter) {
        PackedDib dst = Solid(64, 64, kWhite, 0);
        ASSERT_TRUE(TransformImage(dst, src, TurnInverse(0.5236, w, h, 64, 64), 0, 0, filter));
        if (filter >= 0 && filter < kVorFilterCount)
            test::DumpPng(std::string("filter_") + kVorFilterNames[filter], dst);
        int opaque = 0;
        for (int y = 0; y < 64; ++y)
            for (int x = 0; x < 64; ++x) {
                const Px p = At(dst, x, y);
                if (p.a == 0) {
                    ASSERT_EQ(p.r + p.g + p.b, 3 * 255) << "filter " << filter;
                    continue;
                }
                opaque += p.a == 255;
                ASSERT_TRUE(p.g == 0) << "filter " << filter << " at " << x << "," << y << ": " << p.r << " "
                                      << p.g << " " << p.b << " alpha " << p.a;
            }
        // Normalised kernels keep the coverage: the red square's alpha all arrives somewhere.
        EXPECT_NEAR(test::AlphaSum(dst), 30 * 20 * 255, 30 * 20 * 255 * 0.03) << "filter " << filter;
        EXPECT_GT(opaque, 250) << "filter " << filter;
        EXPECT_EQ(At(dst, 30, 34).a, 255) << "filter " << filter;
        EXPECT_EQ(At(dst, 0, 0).a, 0);
        if (filter == 5) reference5 = std::move(dst);
    }
    // Out of range means Hanning.
    for (int bad : {-1, 17, 1000}) {
        PackedDib dst = Solid(64, 64, kWhite, 0);
        TransformImage(dst, src, TurnInverse(0.5236, w, h, 64, 64), 0, 0, bad);
        EXPECT_TRUE(test::SameBytes(dst, reference5)) << bad;
    }
}

TEST(VorTransformImage, OnlyTheCoveredAreaChanges) {
    PackedDib dst = Solid(50, 50, RGB(0, 0, 255), 255);
    PackedDib src = Solid(10, 10, RGB(255, 255, 0), 255);
    CVorTransMatrix place = CVorTransMatrix::Translation(20, 30);
    place.Invert();
    ASSERT_TRUE(TransformImage(dst, src, place, 0, 0, 2));
    for (int y = 0; y < 50; ++y)
        for (int x = 0; x < 50; ++x) {
            const Px p = At(dst, x, y);
            const bool inside = x >= 20 && x < 30 && y >= 30 && y < 40;
            EXPECT_EQ(RGB(p.r, p.g, p.b), inside ? RGB(255, 255, 0) : RGB(0, 0, 255)) << x << "," << y;
            EXPECT_EQ(p.a, 255);
        }
}

TEST(VorTransformImage, ShrinkingAveragesInsteadOfAliasing) {
    // A one-pixel checkerboard shrunk four times must come out grey, not black or white.
    PackedDib src = PackedDib::Create(64, 64, 32);
    for (int y = 0; y < 64; ++y)
        for (int x = 0; x < 64; ++x) {
            std::memset(src.Pixel32(x, y), (x + y) % 2 ? 255 : 0, 3);
            src.Pixel32(x, y)[3] = 255;
        }
    for (int filter : {1, 5, 15}) {
        PackedDib dst = Solid(16, 16, kWhite, 0);
        ASSERT_TRUE(TransformImage(dst, src, CVorTransMatrix::Scaling(4, 4), 0, 0, filter));
        for (int y = 2; y < 14; ++y)
            for (int x = 2; x < 14; ++x)
                ASSERT_NEAR(At(dst, x, y).g, 128, 20) << "filter " << filter;
    }
}

TEST(VorTransformImage, IntoItselfAndUnusableInput) {
    PackedDib dib = Solid(20, 20, kWhite, 0);
    std::memcpy(dib.Pixel32(0, 0), "\x01\x02\x03\xff", 4);
    CVorTransMatrix shift = CVorTransMatrix::Translation(5, 5);
    shift.Invert();
    ASSERT_TRUE(TransformImage(dib, dib, shift, 0, 0, 0));
    EXPECT_EQ(At(dib, 5, 5).b, 1);
    EXPECT_EQ(At(dib, 0, 0).b, 1);

    PackedDib before = dib.Clone();
    EXPECT_FALSE(TransformImage(dib, dib, CVorTransMatrix(0, 0, 0, 0, 0, 0), 0, 0, 0));
    EXPECT_FALSE(TransformImage(dib, PackedDib(), CVorTransMatrix(), 0, 0, 0));
    // A wild but valid matrix only draws what lands inside.
    EXPECT_TRUE(TransformImage(dib, before, CVorTransMatrix::Scaling(1e-9, 1e9), 0, 0, 5));
    EXPECT_TRUE(TransformImage(dib, before, CVorTransMatrix::Scaling(1e7, 1e7), 0, 0, 1));
}

bool InsideQuad(const double (&q)[8], double x, double y, double margin) {
    for (int i = 0; i < 4; ++i) {
        const double ax = q[2 * i], ay = q[2 * i + 1];
        const double bx = q[(2 * i + 2) % 8], by = q[(2 * i + 3) % 8];
        const double len = std::hypot(bx - ax, by - ay);
        // Clockwise on screen (y down): inside is where the cross product is positive.
        if (((bx - ax) * (y - ay) - (by - ay) * (x - ax)) / len < margin) return false;
    }
    return true;
}

TEST(VorBulidPerspective, FillsTheQuadrilateralAndNothingElse) {
    PackedDib src = Solid(30, 20, RGB(10, 20, 30), 255);
    PackedDib dst = Solid(100, 80, kWhite, 0);
    const double q[8] = {20, 10, 70, 10, 90, 70, 5, 70};
    ASSERT_TRUE(BulidPerspective(dst, src, q[0], q[1], q[2], q[3], q[4], q[5], q[6], q[7]));
    test::DumpPng("perspective", dst);
    for (int y = 0; y < 80; ++y)
        for (int x = 0; x < 100; ++x) {
            const Px p = At(dst, x, y);
            if (InsideQuad(q, x + 0.5, y + 0.5, 0.75)) {
                ASSERT_EQ(p.a, 255) << x << "," << y;
            } else if (!InsideQuad(q, x + 0.5, y + 0.5, -0.75)) {
                ASSERT_EQ(p.a, 0) << x << "," << y;
                ASSERT_EQ(p.r, 255);
            }
            if (p.a) {
                ASSERT_EQ(RGB(p.r, p.g, p.b), RGB(10, 20, 30));
            }
        }
}

TEST(VorBulidPerspective, CornersLandInOrderAndFlatQuadsDrawNothing) {
    // Left half red, right half blue: a mirrored quadrilateral must mirror the halves.
    PackedDib src = Solid(20, 20, RGB(0, 0, 255), 255);
    for (int y = 0; y < 20; ++y)
        for (int x = 0; x < 10; ++x)
            std::memcpy(src.Pixel32(x, y), "\0\0\xff\xff", 4);
    PackedDib dst = Solid(40, 40, kWhite, 0);
    ASSERT_TRUE(BulidPerspective(dst, src, 40, 0, 0, 0, 0, 40, 40, 40));
    EXPECT_EQ(At(dst, 35, 20).r, 255);
    EXPECT_EQ(At(dst, 5, 20).b, 255);

    PackedDib before = dst.Clone();
    EXPECT_FALSE(BulidPerspective(dst, src, 0, 5, 10, 5, 20, 5, 30, 5));
    EXPECT_FALSE(BulidPerspective(dst, src, 0, 0, NAN, 0, 10, 10, 0, 10));
    EXPECT_TRUE(test::SameBytes(dst, before));
}

TEST(VorBlurShadowDIB, RadiusZeroChangesNothing) {
    PackedDib dib = Solid(16, 9, RGB(1, 2, 3), 0);
    std::memcpy(dib.Pixel32(4, 4), "\x90\x80\x70\xc0", 4);
    PackedDib before = dib.Clone();
    EXPECT_TRUE(BlurShadowDIB(dib, 0));
    EXPECT_TRUE(BlurShadowDIB(dib, 0.4));
    EXPECT_TRUE(BlurShadowDIB(dib, NAN));
    EXPECT_TRUE(test::SameBytes(dib, before));
}

TEST(VorBlurShadowDIB, SpreadsAlphaOverTheRadiusKeepingItsSumAndColour) {
    const COLORREF shadow = RGB(40, 60, 200);
    for (int r : {1, 4, 25}) {
        PackedDib dib = Solid(120, 100, shadow, 0);
        for (int y = 40; y < 60; ++y)
            for (int x = 30; x < 90; ++x)
                dib.Pixel32(x, y)[3] = 255;
        const long before = test::AlphaSum(dib);
        ASSERT_TRUE(BlurShadowDIB(dib, r));
        if (r == 25) test::DumpPng("blur_25", dib);
        EXPECT_NEAR(test::AlphaSum(dib), before, before * 0.01) << r;
        for (int y = 0; y < 100; ++y)
            for (int x = 0; x < 120; ++x) {
                const Px p = At(dib, x, y);
                ASSERT_EQ(RGB(p.r, p.g, p.b), shadow) << r;
                // The kernel reaches exactly r pixels beyond the shape.
                const bool far = x < 30 - r || x >= 90 + r || y < 40 - r || y >= 60 + r;
                if (far) {
                    ASSERT_EQ(p.a, 0) << r << " at " << x << "," << y;
                }
            }
        EXPECT_GT(At(dib, 30 - r + r / 2, 50).a, 0) << r;
        EXPECT_LT(At(dib, 30, 50).a, 255) << r;
    }
}

TEST(VorBlurShadowDIB, TransparentNeighboursLendNoColour) {
    // Red opaque beside transparent green: the blurred edge must stay red.
    PackedDib dib = Solid(40, 10, RGB(0, 255, 0), 0);
    for (int y = 0; y < 10; ++y)
        for (int x = 0; x < 20; ++x)
            std::memcpy(dib.Pixel32(x, y), "\0\0\xff\xff", 4);
    ASSERT_TRUE(BlurShadowDIB(dib, 6));
    for (int x = 0; x < 40; ++x) {
        const Px p = At(dib, x, 5);
        if (p.a)
            EXPECT_EQ(RGB(p.r, p.g, p.b), RGB(255, 0, 0)) << x;
        else
            EXPECT_EQ(p.g, 255) << "a fully transparent pixel keeps its colour";
    }
    EXPECT_EQ(At(dib, 0, 0).a, 255) << "the edge repeats outward";
}

} // namespace
} // namespace zepho

namespace zepho {
namespace {

// FNV-1a over a picture's bytes.
std::uint64_t Fingerprint(const PackedDib& d, std::uint64_t h = 1469598103934665603ull) {
    for (std::size_t i = 0; i < d.Size(); ++i)
        h = (h ^ d.Data()[i]) * 1099511628211ull;
    return h;
}

// Pictures whose warps every filter must keep drawing exactly as it did: an opaque photo, a
// picture with runs of opaque, clear and partly clear pixels, and a one-colour silhouette with
// soft edges. Wide enough for the eight-pixel paths, odd sizes for their tails.
PackedDib WarpSource(int kind) {
    std::mt19937 rng(700 + kind);
    const int w = 97, h = 61;
    PackedDib d = PackedDib::Create(w, h, 32);
    for (int y = 0; y < h; ++y) {
        unsigned run = 0, runAlpha = 255;
        for (int x = 0; x < w; ++x) {
            BYTE* p = d.Pixel32(x, y);
            if (run == 0) {
                run = 1 + rng() % 20;
                runAlpha = rng() % 3 == 0 ? 0 : rng() % 2 ? 255 : rng() & 255;
            }
            --run;
            if (kind == 2) {
                p[0] = 40, p[1] = 90, p[2] = 200;
                const double dx = (x - w / 2.0) / (w / 2.5), dy = (y - h / 2.0) / (h / 2.5);
                p[3] = static_cast<BYTE>(
                    std::clamp(255.0 * (1.4 - std::sqrt(dx * dx + dy * dy)) * 2, 0.0, 255.0));
                continue;
            }
            p[0] = static_cast<BYTE>(x * 5 ^ y * 3);
            p[1] = static_cast<BYTE>(rng());
            p[2] = static_cast<BYTE>((x + y) * 2);
            p[3] = kind == 0 ? 255 : static_cast<BYTE>(runAlpha);
        }
    }
    return d;
}

} // namespace

// Every filter, turned, enlarged, shrunk and sheared, onto a clear and onto a partly painted
// target: the bytes of each are pinned, so that a faster path cannot change a single one.
TEST(VorTransformImage, WarpsKeepTheirBytes) {
    struct Warp {
        double angle, sx, sy, shear;
    };
    const Warp warps[] = {{0.5236, 1, 1, 0}, {-1.1, 1.7, 1.3, 0}, {0.3, 0.45, 0.6, 0}, {0, 1, 1, 0.35}};
    // Both with the eight-pixel samplers, where the processor has them, and without.
    for (bool wide : {true, false}) {
        SCOPED_TRACE(wide ? "eight at a time" : "one at a time");
        vor::SetSamplerSimd(wide);
        std::uint64_t sums[3] = {};
        for (int kind = 0; kind < 3; ++kind) {
            const PackedDib src = WarpSource(kind);
            std::uint64_t h = 1469598103934665603ull;
            for (int filter = 0; filter < kVorFilterCount; ++filter)
                for (const Warp& warp : warps)
                    for (int painted = 0; painted < 2; ++painted) {
                        PackedDib dst = Solid(131, 113, kWhite, 0);
                        if (painted) {
                            std::mt19937 rng(filter * 10 + kind);
                            for (int y = 0; y < dst.Height(); ++y)
                                for (int x = 0; x < dst.Width(); ++x)
                                    if ((x / 9 + y / 7) % 3 == 0)
                                        for (int c = 0; c < 4; ++c)
                                            dst.Pixel32(x, y)[c] = static_cast<BYTE>(rng());
                        }
                        CVorTransMatrix m =
                            CVorTransMatrix::Translation(-src.Width() / 2.0, -src.Height() / 2.0);
                        m.Multiply(CVorTransMatrix::Scaling(warp.sx, warp.sy));
                        m.Multiply(CVorTransMatrix(1, 0, warp.shear, 1, 0, 0));
                        m.Multiply(CVorTransMatrix::Rotation(warp.angle));
                        m.Multiply(CVorTransMatrix::Translation(dst.Width() / 2.0, dst.Height() / 2.0));
                        m.Invert();
                        ASSERT_TRUE(TransformImage(dst, src, m, 0, 0, filter));
                        h = Fingerprint(dst, h);
                        if (!painted) {
                            // A new picture made and drawn in one pass is the same picture.
                            const PackedDib made = TransformedImage(131, 113, kWhite, 0, src, m, filter);
                            ASSERT_TRUE(test::SameBytes(made, dst)) << "filter " << filter;
                        }
                    }
            sums[kind] = h;
        }
        EXPECT_EQ(sums[0], 0x511c91231a855424ull);
        EXPECT_EQ(sums[1], 0xcc150fb05f59e033ull);
        EXPECT_EQ(sums[2], 0x01718c6e4b902827ull);
    }
    vor::SetSamplerSimd(true);
}

} // namespace zepho

// The shadow blur as it was before it ran on several threads: one row, then one row of columns
// at a time, rounding with lround. The blur must keep giving exactly these bytes.
namespace zepho {
namespace {
namespace reference {

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

void BlurShadow(PackedDib& dib, double radius) {
    if (!(radius >= 0.5)) return;
    const int w = dib.Width(), h = dib.Height();
    const int r = static_cast<int>(std::min(std::floor(radius + 0.5), static_cast<double>(std::max(w, h))));
    std::vector<float> buf(static_cast<std::size_t>(w) * h * 4);
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
    ColumnBoxes columns(buf.data(), w, h, r);
    columns.Backward();
    columns.Forward();
    for (int y = 0; y < h; ++y) {
        BYTE* p = dib.Row(y);
        const float* s = buf.data() + static_cast<std::size_t>(y) * w * 4;
        for (int x = 0; x < w; ++x, p += 4, s += 4) {
            const float a = s[3];
            const int alpha = static_cast<int>(std::lround(std::clamp(a, 0.0f, 255.0f)));
            p[3] = static_cast<BYTE>(alpha);
            if (alpha == 0) continue;
            for (int c = 0; c < 3; ++c)
                p[c] = static_cast<BYTE>(std::lround(std::clamp(s[c] / a, 0.0f, 255.0f)));
        }
    }
}

} // namespace reference

// Masks as the shadows and text halos blur them: a soft-edged shape in one colour, and noise
// with every alpha and colour, transparent in places (whose colour bytes must survive).
PackedDib BlurSource(int w, int h, bool noise, unsigned seed) {
    std::mt19937 rng(seed);
    PackedDib d = PackedDib::Create(w, h, 32);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            BYTE* p = d.Pixel32(x, y);
            if (noise) {
                for (int c = 0; c < 3; ++c)
                    p[c] = static_cast<BYTE>(rng());
                p[3] = rng() % 3 == 0 ? 0 : static_cast<BYTE>(rng());
            } else {
                const double u = (x - w / 2.0) / (w / 3.0 + 1), v = (y - h / 2.0) / (h / 3.0 + 1);
                p[0] = 30, p[1] = 60, p[2] = 200;
                p[3] = static_cast<BYTE>(std::clamp((1 - u * u - v * v) * 1000.0, 0.0, 255.0));
            }
        }
    return d;
}

TEST(VorBlurShadowDIB, MatchesTheSingleThreadedBlurByteForByteOnAnyThreadCount) {
    struct Size {
        int w, h;
    };
    // Lines either way, sizes below the radius and past it, tails of the column bands, and a
    // picture large enough to be cut between threads in many pieces.
    const Size sizes[] = {{1, 1}, {1, 301}, {257, 1}, {3, 5}, {17, 33}, {45, 2}, {1000, 700}};
    // The editor's shadow and outline smoothing reaches 150; stored files may hold up to 255.
    const double radii[] = {0.5, 1, 2, 2.5, 10, 37, 150, 255};
    for (const Size s : sizes)
        for (const bool noise : {false, true}) {
            const PackedDib source = BlurSource(s.w, s.h, noise, 77 + s.w * 3 + s.h);
            for (const double radius : radii) {
                if (s.w * s.h > 10000 && radius != 2 && radius != 150) continue; // keep the run short
                PackedDib want = source.Clone();
                reference::BlurShadow(want, radius);
                for (const int threads : {1, 2}) {
                    SetParallelThreads(threads);
                    PackedDib got = source.Clone();
                    ASSERT_TRUE(BlurShadowDIB(got, radius));
                    SetParallelThreads(0);
                    bool same = true;
                    for (int y = 0; y < s.h && same; ++y)
                        for (int x = 0; x < s.w && same; ++x) {
                            const Px a = At(got, x, y), b = At(want, x, y);
                            same = a.r == b.r && a.g == b.g && a.b == b.b && a.a == b.a;
                            EXPECT_TRUE(same)
                                << s.w << "x" << s.h << (noise ? " noise" : " shape") << " radius " << radius
                                << " threads " << threads << " at " << x << "," << y;
                        }
                }
            }
        }
}

} // namespace
} // namespace zepho
