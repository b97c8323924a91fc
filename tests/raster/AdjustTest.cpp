#include "raster/Adjust.h"
#include "raster/Dib.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>

using namespace zepho;

namespace {
PackedDib RandomImage(int w, int h, unsigned seed) {
    PackedDib d = CreateDIB(w, h, 32);
    std::mt19937 rng(seed);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w * 4; ++x)
            d.Row(y)[x] = static_cast<BYTE>(rng());
    return d;
}

bool SameBytes(const PackedDib& a, const PackedDib& b) {
    return a.Size() == b.Size() && std::memcmp(a.Data(), b.Data(), a.Size()) == 0;
}

std::uint32_t Px(const PackedDib& d, int x, int y) {
    std::uint32_t v;
    std::memcpy(&v, d.Pixel32(x, y), 4);
    return v;
}
} // namespace

TEST(Adjust, GrayWeightsTruncateAndKeepAlpha) {
    PackedDib d = CreateSolidDIB(3, 1, RGB(255, 0, 0), 77);
    // Red, white and a mix whose weighted sum lands just below an integer.
    std::memcpy(d.Pixel32(1, 0), "\xff\xff\xff\x10", 4);
    std::memcpy(d.Pixel32(2, 0), "\x0a\x14\x1e\xff", 4); // b=10 g=20 r=30 -> 9+11.8+1.1 = 21.9
    const PackedDib before = d.Clone();
    PackedDib g = MakeGray(d);
    ASSERT_TRUE(g.Is32());
    EXPECT_EQ(Px(g, 0, 0), 0x4D4C4C4Cu); // 76 in all three channels, alpha 77
    EXPECT_EQ(Px(g, 1, 0), 0x10FFFFFFu);
    EXPECT_EQ(Px(g, 2, 0), 0xFF151515u);
    EXPECT_TRUE(SameBytes(d, before)) << "the input must stay as it was";
}

TEST(Adjust, NegativeTwiceGivesTheInput) {
    const PackedDib src = RandomImage(7, 5, 3);
    PackedDib once = MakeNegative(src);
    ASSERT_TRUE(once);
    for (int y = 0; y < 5; ++y)
        for (int x = 0; x < 7; ++x) {
            const BYTE* s = src.Pixel32(x, y);
            const BYTE* n = once.Pixel32(x, y);
            ASSERT_EQ(n[0], 255 - s[0]);
            ASSERT_EQ(n[3], s[3]) << "alpha is never changed";
        }
    EXPECT_TRUE(SameBytes(MakeNegative(once), src));
}

TEST(Adjust, MirrorsExchangeSidesAndUndoThemselves) {
    const PackedDib src = RandomImage(5, 3, 9);
    PackedDib h = MirrorHorizontally(src), v = MirrorVertically(src);
    ASSERT_TRUE(h && v);
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 5; ++x) {
            ASSERT_EQ(Px(h, x, y), Px(src, 4 - x, y));
            ASSERT_EQ(Px(v, x, y), Px(src, x, 2 - y));
        }
    EXPECT_TRUE(SameBytes(MirrorHorizontally(h), src));
    EXPECT_TRUE(SameBytes(MirrorVertically(v), src));
    // One pixel wide (or high) mirrors into an identical copy.
    const PackedDib column = RandomImage(1, 4, 5);
    EXPECT_TRUE(SameBytes(MirrorHorizontally(column), column));
    const PackedDib row = RandomImage(6, 1, 6);
    EXPECT_TRUE(SameBytes(MirrorVertically(row), row));
}

TEST(Adjust, RefusesWhatIsNotA32BitImage) {
    EXPECT_FALSE(MakeGray(PackedDib()));
    const PackedDib eight = CreateDIB(4, 4, 8);
    EXPECT_FALSE(MakeNegative(eight));
    EXPECT_FALSE(MirrorHorizontally(eight));
    EXPECT_FALSE(MirrorVertically(eight));
}
