#include "raster/Blend.h"
#include "raster/BlendRow.h"
#include "raster/Cpu.h"
#include "raster/Dib.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <random>
#include <vector>

using namespace zepho;

namespace {

// The pixel rule written out plainly, as the reference for both kernel paths.
void RefPixel(BYTE* d, const BYTE* s, int t) {
    const int a = s[3];
    if (a <= t) return;
    const int ap = a - t;
    if (ap == 255) {
        std::memcpy(d, s, 4);
        return;
    }
    const long w = (ap * 32768L) / 255;
    for (int c = 0; c < 4; ++c) {
        const long v = 2 * ((d[c] * (32768 - w)) / 65536 + (s[c] * w) / 65536);
        d[c] = static_cast<BYTE>(std::min(255L, v));
    }
}

PackedDib Solid(int w, int h, BYTE b, BYTE g, BYTE r, BYTE a) {
    return CreateSolidDIB(w, h, RGB(r, g, b), a);
}

PackedDib RandomImage(std::mt19937& rng, int w, int h, int alphaMode) {
    PackedDib d = CreateTransparentDIB(w, h);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            BYTE* p = d.Pixel32(x, y);
            for (int c = 0; c < 3; ++c)
                p[c] = static_cast<BYTE>(rng());
            // Mix runs of opaque and clear pixels into random ones so every group shape occurs.
            const unsigned k = rng() % 8;
            p[3] = alphaMode == 0 ? static_cast<BYTE>(rng())
                   : k < 2        ? 255
                   : k < 4        ? 0
                                  : static_cast<BYTE>(rng());
        }
    return d;
}

std::vector<BYTE> Bytes(const PackedDib& d) {
    return {d.Data(), d.Data() + d.Size()};
}

// Runs a test body once per available kernel path.
template <class Fn> void ForEachPath(Fn fn) {
    const SimdLevel was = ActiveSimd();
    for (SimdLevel level : {SimdLevel::Scalar, SimdLevel::Sse2, SimdLevel::Avx2}) {
        if (level > SupportedSimd()) continue;
        SetSimdLevel(level);
        SCOPED_TRACE(SimdName(level));
        fn();
    }
    SetSimdLevel(was);
}

} // namespace

TEST(BlendRule, ExactBytes) {
    ForEachPath([] {
        // Widths 1 and 7 take the tail and the group paths.
        for (int w : {1, 7}) {
            PackedDib white = Solid(w, 1, 255, 255, 255, 255);
            PackedDib black = Solid(w, 1, 0, 0, 0, 255);
            PackedDib half = Solid(w, 1, 255, 255, 255, 128);
            BlendTransparent(white, {0, 0}, half, {0, 0}, 0);
            BlendTransparent(black, {0, 0}, half, {0, 0}, 0);
            for (int x = 0; x < w; ++x) {
                EXPECT_EQ(white.Pixel32(x, 0)[0], 252);
                EXPECT_EQ(white.Pixel32(x, 0)[2], 252);
                EXPECT_EQ(black.Pixel32(x, 0)[1], 126);
            }
        }
    });
}

TEST(BlendRule, OpaqueCopiedTransparencyBlendsAndEqualAlphaSkips) {
    ForEachPath([] {
        const BYTE src[4] = {1, 3, 5, 255};
        const BYTE dstInit[4] = {201, 101, 51, 77};
        for (int w : {1, 4, 9}) {
            PackedDib s = Solid(w, 1, src[0], src[1], src[2], src[3]);
            PackedDib d0 = Solid(w, 1, dstInit[0], dstInit[1], dstInit[2], dstInit[3]);
            PackedDib d1 = d0.Clone();
            BlendTransparent(d0, {0, 0}, s, {0, 0}, 0);
            EXPECT_EQ(0, std::memcmp(d0.Pixel32(w - 1, 0), src, 4));
            BlendTransparent(d1, {0, 0}, s, {0, 0}, 1);
            BYTE expect[4];
            std::memcpy(expect, dstInit, 4);
            RefPixel(expect, src, 1);
            EXPECT_EQ(0, std::memcmp(d1.Pixel32(0, 0), expect, 4));
            EXPECT_EQ(d1.Pixel32(0, 0)[0] % 2, 0); // blended bytes are even, so not a copy

            PackedDib s2 = Solid(w, 1, 9, 9, 9, 40);
            PackedDib d2 = Solid(w, 1, 201, 101, 51, 77);
            BlendTransparent(d2, {0, 0}, s2, {0, 0}, 40);
            EXPECT_EQ(0, std::memcmp(d2.Pixel32(w - 1, 0), dstInit, 4));
        }
    });
}

TEST(BlendRule, RowPathsAgreeOnEveryAlphaAndTransparency) {
    if (SupportedSimd() == SimdLevel::Scalar) GTEST_SKIP() << "no SIMD path";
    std::vector<BYTE> src(256 * 4), d1(256 * 4), d2, d3;
    for (int a = 0; a < 256; ++a) {
        src[4 * a] = static_cast<BYTE>(a * 7);
        src[4 * a + 1] = static_cast<BYTE>(255 - a);
        src[4 * a + 2] = static_cast<BYTE>(a | 1);
        src[4 * a + 3] = static_cast<BYTE>(a);
    }
    for (int t = 0; t < 256; t += 3) {
        for (int i = 0; i < 256 * 4; ++i)
            d1[i] = static_cast<BYTE>(i * 13 + t);
        d2 = d3 = d1;
        detail::BlendRowScalar(d1.data(), src.data(), 256, t);
        detail::BlendRowSse2(d2.data(), src.data(), 256, t);
        ASSERT_EQ(d1, d2) << "sse2 t=" << t;
        if (SupportedSimd() < SimdLevel::Avx2) continue;
        detail::BlendRowAvx2(d3.data(), src.data(), 256, t);
        ASSERT_EQ(d1, d3) << "avx2 t=" << t;
    }
}

namespace {

enum class Mapping { Plain, Magnified, Reduced };

// Reference: each destination pixel, mapped straight from the table of the three mappings.
void RefBlend(PackedDib& dst, POINT o, const PackedDib& src, POINT p, int t, Mapping m, int k) {
    const long sw = src.Width(), sh = src.Height();
    long left = p.x, top = p.y, right = p.x + sw, bottom = p.y + sh;
    if (m == Mapping::Magnified) left *= k, top *= k, right *= k, bottom *= k;
    if (m == Mapping::Reduced) left = p.x / k, top = p.y / k, right = (p.x + sw) / k, bottom = (p.y + sh) / k;
    for (int y = 0; y < dst.Height(); ++y)
        for (int x = 0; x < dst.Width(); ++x) {
            const long vx = x + o.x, vy = y + o.y;
            if (vx < left || vx >= right || vy < top || vy >= bottom) continue;
            long sx = vx - left, sy = vy - top;
            if (m == Mapping::Magnified) sx /= k, sy /= k;
            if (m == Mapping::Reduced) sx *= k, sy *= k;
            if (sx >= sw || sy >= sh) continue;
            RefPixel(dst.Pixel32(x, y), src.Pixel32(static_cast<int>(sx), static_cast<int>(sy)), t);
        }
}

} // namespace

// Seeded random cases: every mapping, positions across all four edges, both paths, compared
// byte for byte with the reference (which also proves nothing outside the overlap is touched).
TEST(BlendMappings, RandomCasesMatchReferenceOnBothPaths) {
    const unsigned baseSeed = 20261207;
    for (int iter = 0; iter < 300; ++iter) {
        const unsigned seed = baseSeed + iter;
        std::mt19937 rng(seed);
        const Mapping m = static_cast<Mapping>(iter % 3);
        const int k = 2 + static_cast<int>(rng() % 7);
        const int dw = 1 + rng() % 40, dh = 1 + rng() % 30, sw = 1 + rng() % 33, sh = 1 + rng() % 20;
        const POINT o{static_cast<LONG>(rng() % 41) - 20, static_cast<LONG>(rng() % 41) - 20};
        const int spread = m == Mapping::Reduced ? 200 : 50;
        POINT p{static_cast<LONG>(rng() % spread) - spread / 2,
                static_cast<LONG>(rng() % spread) - spread / 2};
        if (m == Mapping::Magnified) p = {p.x / k, p.y / k};
        const int t = (rng() % 3 == 0) ? 0 : static_cast<int>(rng() % 256);
        PackedDib src = RandomImage(rng, sw, sh, iter & 1);
        PackedDib base = RandomImage(rng, dw, dh, 0);
        PackedDib want = base.Clone();
        RefBlend(want, o, src, p, t, m, k);
        ForEachPath([&] {
            PackedDib got = base.Clone();
            if (m == Mapping::Plain) BlendTransparent(got, o, src, p, t);
            if (m == Mapping::Magnified) BlendMagnified(got, o, src, p, t, k);
            if (m == Mapping::Reduced) BlendReduced(got, o, src, p, t, k);
            ASSERT_EQ(Bytes(got), Bytes(want)) << "seed " << seed << " mapping " << static_cast<int>(m);
        });
    }
}

TEST(BlendMappings, ReducedExample) {
    // A 5-pixel-wide image at x = 5 reduced by 2 covers columns 2..4, sampling 0, 2 and 4.
    PackedDib src = CreateTransparentDIB(5, 2);
    for (int x = 0; x < 5; ++x) {
        BYTE* p = src.Pixel32(x, 0);
        p[0] = static_cast<BYTE>(10 * (x + 1));
        p[3] = 255;
    }
    PackedDib dst = CreateTransparentDIB(8, 1);
    BlendReduced(dst, {0, 0}, src, {5, 0}, 0, 2);
    const int want[8] = {0, 0, 10, 30, 50, 0, 0, 0};
    for (int x = 0; x < 8; ++x)
        EXPECT_EQ(dst.Pixel32(x, 0)[0], want[x]) << x;
}

TEST(BlendMappings, BadInputIsIgnored) {
    PackedDib dst24 = CreateDIB(4, 4, 24);
    PackedDib src = Solid(4, 4, 1, 2, 3, 255);
    const auto before = Bytes(dst24);
    BlendTransparent(dst24, {0, 0}, src, {0, 0}, 0);
    BlendMagnified(dst24, {0, 0}, src, {0, 0}, 0, 2);
    BlendReduced(dst24, {0, 0}, src, {0, 0}, 0, 2);
    BlendScaled(dst24, src, {0, 0}, 32768);
    CompositeOver(dst24, {0, 0}, src, {0, 0}, 0);
    EXPECT_EQ(Bytes(dst24), before);
    PackedDib empty, dst = Solid(4, 4, 0, 0, 0, 0);
    BlendTransparent(dst, {0, 0}, empty, {0, 0}, 0);
    BlendTransparent(empty, {0, 0}, src, {0, 0}, 0);
    BlendMagnified(dst, {0, 0}, src, {0, 0}, 0, 1); // not a magnification
    BlendReduced(dst, {0, 0}, src, {0, 0}, 0, 0);
    BlendScaled(dst, src, {0, 0}, 0);
    EXPECT_EQ(dst.Pixel32(0, 0)[3], 0);
    POINT pos{};
    EXPECT_FALSE(MergeImages(empty, {0, 0}, 0, empty, {0, 0}, 0, pos));
}

TEST(BlendScaled, SamplesAndClamps) {
    PackedDib src = CreateTransparentDIB(4, 4);
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 4; ++x) {
            BYTE* p = src.Pixel32(x, y);
            p[0] = static_cast<BYTE>(x);
            p[1] = static_cast<BYTE>(y);
            p[3] = 255;
        }
    ForEachPath([&] {
        PackedDib dst = CreateTransparentDIB(4, 4);
        BlendScaled(dst, src, {0, 0}, 16384); // half size: a 2 x 2 area
        EXPECT_EQ(dst.Pixel32(1, 1)[0], 2);
        EXPECT_EQ(dst.Pixel32(1, 1)[1], 2);
        EXPECT_EQ(dst.Pixel32(2, 0)[3], 0);
        PackedDib big = CreateTransparentDIB(10, 10);
        BlendScaled(big, src, {1, 1}, 65536); // double size, offset one source pixel
        EXPECT_EQ(big.Pixel32(1, 1)[3], 0);
        EXPECT_EQ(big.Pixel32(2, 2)[0], 0);
        EXPECT_EQ(big.Pixel32(9, 9)[0], 3);
        PackedDib shadow = Solid(2, 2, 0, 0, 0, 255);
        BlendScaledShadow(shadow, Solid(2, 2, 255, 255, 255, 200), {0, 0}, 32768, 200);
        EXPECT_EQ(shadow.Pixel32(0, 0)[0], 0); // alpha equal to the transparency: untouched
    });
}

TEST(Composite, CopyLayerOverAndMerge) {
    PackedDib dst = CreateTransparentDIB(3, 1);
    PackedDib layer = Solid(2, 1, 100, 100, 100, 128);
    CopyLayer(dst, {0, 0}, layer, {1, 0}, 28);
    EXPECT_EQ(dst.Pixel32(0, 0)[3], 0);
    EXPECT_EQ(dst.Pixel32(1, 0)[3], 100);
    EXPECT_EQ(dst.Pixel32(1, 0)[0], 100);
    CopyLayer(dst, {0, 0}, layer, {1, 0}, 200);
    EXPECT_EQ(dst.Pixel32(2, 0)[3], 0);

    PackedDib d = Solid(1, 1, 100, 100, 100, 128);
    CompositeOver(d, {0, 0}, Solid(1, 1, 200, 200, 200, 128), {0, 0}, 0);
    EXPECT_EQ(d.Pixel32(0, 0)[3], 192); // 255 - 127 * 127 / 255
    EXPECT_EQ(d.Pixel32(0, 0)[0], 166); // (127 * 128 * 100 / 255 + 128 * 200) / 192
    PackedDib clear = CreateTransparentDIB(1, 1);
    clear.Pixel32(0, 0)[0] = 50;
    CompositeOver(clear, {0, 0}, Solid(1, 1, 9, 9, 9, 10), {0, 0}, 10);
    EXPECT_EQ(clear.Pixel32(0, 0)[0], 0); // nothing over nothing leaves no colour

    POINT pos{};
    PackedDib a = Solid(2, 2, 10, 20, 30, 255), b = Solid(2, 2, 40, 50, 60, 255);
    PackedDib m = MergeImages(a, {-1, 0}, 0, b, {2, 1}, 0, pos);
    ASSERT_TRUE(m);
    EXPECT_EQ(pos, (POINT{-1, 0}));
    EXPECT_EQ(m.Width(), 5);
    EXPECT_EQ(m.Height(), 3);
    EXPECT_EQ(m.Pixel32(0, 0)[0], 10);
    EXPECT_EQ(m.Pixel32(3, 1)[0], 40);
    EXPECT_EQ(m.Pixel32(2, 0)[3], 0);
    EXPECT_EQ(CombinedShadowTransparency(0, 128), 128);
    EXPECT_EQ(CombinedShadowTransparency(100, 128), 255 - (155 * 127) / 255);
}

TEST(Composition, SourcesNearTheEndsOfTheCoordinateRangeStayOutside) {
    // A destination at the origin and sources two billion pixels away on either side: nothing is
    // drawn, nothing wraps into the destination.
    PackedDib dst = CreateSolidDIB(8, 8, RGB(1, 2, 3), 255);
    const PackedDib src = CreateSolidDIB(4, 4, RGB(200, 200, 200), 255);
    for (const POINT pos : {POINT{INT32_MAX - 2, 0}, POINT{INT32_MIN + 1, 0}, POINT{0, INT32_MAX - 1}}) {
        CompositeOver(dst, POINT{0, 0}, src, pos, 0);
        CopyLayer(dst, POINT{INT32_MIN, INT32_MIN}, src, pos, 0);
    }
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 8; ++x)
            ASSERT_EQ(dst.Pixel32(x, y)[2], 1) << x << "," << y;
    // A union wider than any image can be is refused rather than wrapped.
    POINT out{};
    EXPECT_FALSE(MergeImages(src, POINT{INT32_MAX - 2, 0}, 0, src, POINT{INT32_MIN, 0}, 0, out));
    PackedDib near = MergeImages(src, POINT{INT32_MAX - 8, 5}, 0, src, POINT{INT32_MAX - 6, 5}, 0, out);
    ASSERT_TRUE(near);
    EXPECT_EQ(near.Width(), 6);
    EXPECT_EQ(out.x, INT32_MAX - 8);
}

namespace {

// The "over" written out plainly from its definition.
void RefOver(BYTE* d, const BYTE* s, int t) {
    const long as = std::max(s[3] - t, 0), ad = d[3];
    const long ao = 255 - ((255 - ad) * (255 - as)) / 255;
    for (int c = 0; c < 3; ++c) {
        long v = ((255 - as) * ad * d[c]) / 255 + as * s[c];
        if (ao) v /= ao;
        d[c] = static_cast<BYTE>(std::min(v, 255L));
    }
    d[3] = static_cast<BYTE>(ao);
}

} // namespace

// Every pair of source and destination alpha, with colours that reach the rounding edges, at
// several transparencies: the row paths agree with the definition byte for byte.
TEST(Composite, OverRowPathsAgreeOnEveryAlphaPair) {
    std::mt19937 rng(424242);
    std::vector<BYTE> src(256 * 256 * 4), base(src.size());
    for (std::size_t i = 0; i < 256 * 256; ++i) {
        for (int c = 0; c < 3; ++c) {
            // Extremes and random values.
            const unsigned k = rng() % 4;
            src[4 * i + c] = static_cast<BYTE>(k == 0 ? 255 : k == 1 ? 0 : rng());
            base[4 * i + c] = static_cast<BYTE>(k == 2 ? 255 : rng());
        }
        src[4 * i + 3] = static_cast<BYTE>(i & 255);
        base[4 * i + 3] = static_cast<BYTE>(i >> 8);
    }
    for (int t : {0, 1, 77, 254, 255}) {
        std::vector<BYTE> want = base;
        for (std::size_t i = 0; i < 256 * 256; ++i)
            RefOver(&want[4 * i], &src[4 * i], t);
        std::vector<BYTE> got = base;
        detail::CompositeOverRowScalar(got.data(), src.data(), 256 * 256, t);
        ASSERT_EQ(got, want) << "scalar t=" << t;
        if (detail::CompositeOverRowAvx2 && SupportedSimd() >= SimdLevel::Avx2) {
            // Odd lengths take the tail.
            got = base;
            detail::CompositeOverRowAvx2(got.data(), src.data(), 256 * 256 - 3, t);
            detail::CompositeOverRowAvx2(got.data() + 4 * (256 * 256 - 3), src.data() + 4 * (256 * 256 - 3),
                                         3, t);
            ASSERT_EQ(got, want) << "avx2 t=" << t;
        }
    }
}

// Seeded random layers at random offsets through CompositeOver and MergeImages on every path.
TEST(Composite, RandomOverCasesMatchTheDefinitionOnEveryPath) {
    for (int iter = 0; iter < 200; ++iter) {
        const unsigned seed = 777000 + iter;
        std::mt19937 rng(seed);
        const int dw = 1 + rng() % 45, dh = 1 + rng() % 20, sw = 1 + rng() % 45, sh = 1 + rng() % 20;
        const POINT o{static_cast<LONG>(rng() % 41) - 20, static_cast<LONG>(rng() % 41) - 20};
        const POINT p{static_cast<LONG>(rng() % 61) - 30, static_cast<LONG>(rng() % 41) - 20};
        const int t = rng() % 2 ? 0 : static_cast<int>(rng() % 256);
        PackedDib src = RandomImage(rng, sw, sh, iter & 1);
        PackedDib base = RandomImage(rng, dw, dh, (iter >> 1) & 1);
        PackedDib want = base.Clone();
        for (int y = 0; y < dh; ++y)
            for (int x = 0; x < dw; ++x) {
                const long sx = x + o.x - p.x, sy = y + o.y - p.y;
                if (sx >= 0 && sy >= 0 && sx < sw && sy < sh)
                    RefOver(want.Pixel32(x, y), src.Pixel32(static_cast<int>(sx), static_cast<int>(sy)), t);
            }
        ForEachPath([&] {
            PackedDib got = base.Clone();
            CompositeOver(got, o, src, p, t);
            ASSERT_EQ(Bytes(got), Bytes(want)) << "seed " << seed;
        });
    }
}

// Destinations that are opaque or clear throughout take their own arithmetic: every source
// alpha against every source colour and every destination colour, source runs that are clear or
// opaque throughout, at several transparencies, on every path, byte for byte with the definition.
TEST(Composite, OverOpaqueAndClearDestinationsMatchTheDefinition) {
    std::mt19937 rng(5150);
    constexpr int kW = 256, kH = 768;
    PackedDib src = CreateTransparentDIB(kW, kH);
    for (int y = 0; y < kH; ++y) {
        // Rows 512 on: runs of eight pixels sharing a clear, opaque or random alpha.
        unsigned runAlpha = 0;
        for (int x = 0; x < kW; ++x) {
            BYTE* p = src.Pixel32(x, y);
            const int v = y & 255;
            if (x % 8 == 0) runAlpha = rng() % 3 == 0 ? 0 : rng() % 2 ? 255 : rng() & 255;
            p[0] = static_cast<BYTE>(y < 256 ? v : rng());
            p[1] = static_cast<BYTE>(y < 256 ? 255 - v : rng());
            p[2] = static_cast<BYTE>(rng());
            p[3] = static_cast<BYTE>(y < 512 ? x : runAlpha);
        }
    }
    for (BYTE destAlpha : {BYTE{255}, BYTE{0}}) {
        PackedDib base = CreateTransparentDIB(kW, kH);
        for (int y = 0; y < kH; ++y)
            for (int x = 0; x < kW; ++x) {
                BYTE* p = base.Pixel32(x, y);
                // Rows 256..511: every destination colour against every source alpha.
                const int v = y & 255;
                p[0] = static_cast<BYTE>(y >= 256 && y < 512 ? v : rng());
                p[1] = static_cast<BYTE>(y >= 256 && y < 512 ? 255 - v : rng() % 2 ? 255 : 0);
                p[2] = static_cast<BYTE>(rng());
                p[3] = destAlpha;
            }
        for (int t : {0, 1, 100, 255}) {
            PackedDib want = base.Clone();
            for (int y = 0; y < kH; ++y)
                for (int x = 0; x < kW; ++x)
                    RefOver(want.Pixel32(x, y), src.Pixel32(x, y), t);
            ForEachPath([&] {
                PackedDib got = base.Clone();
                CompositeOver(got, {0, 0}, src, {0, 0}, t);
                ASSERT_EQ(Bytes(got), Bytes(want)) << "destination alpha " << int{destAlpha} << " t=" << t;
                // One column in: every group straddles the pixels the row before it ended with.
                PackedDib shifted = base.Clone();
                CompositeOver(shifted, {0, 0}, src, {1, 0}, t);
                for (int y = 0; y < kH; ++y)
                    for (int x = 1; x < kW; ++x) {
                        BYTE px[4];
                        std::memcpy(px, base.Pixel32(x, y), 4);
                        RefOver(px, src.Pixel32(x - 1, y), t);
                        ASSERT_EQ(0, std::memcmp(px, shifted.Pixel32(x, y), 4))
                            << x << "," << y << " t=" << t;
                    }
            });
        }
    }
}
