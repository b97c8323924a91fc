#include "extlib/ImageTransform.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>

using namespace zepho;

namespace {

void Put24(PackedDib& d, int x, int y, BYTE r, BYTE g, BYTE b) {
    BYTE* p = d.Row(y) + 3 * x;
    p[0] = b, p[1] = g, p[2] = r;
}

int IndexAt(const PackedDib& d, int x, int y) {
    const BYTE* row = d.Row(y);
    if (d.BitCount() == 1) return (row[x >> 3] >> (7 - (x & 7))) & 1;
    if (d.BitCount() == 4) return (x & 1) ? (row[x >> 1] & 15) : (row[x >> 1] >> 4);
    return row[x];
}

// Mean absolute channel error of a palette image against its 24- or 32-bit source.
double MeanError(const PackedDib& src, const PackedDib& out) {
    const int step = src.BitCount() / 8;
    long long err = 0;
    for (int y = 0; y < src.Height(); ++y)
        for (int x = 0; x < src.Width(); ++x) {
            const int i = IndexAt(out, x, y);
            EXPECT_LT(i, out.ColorCount());
            const RGBQUAD q = out.ColorTable()[i];
            const BYTE* s = src.Row(y) + step * x;
            err += std::abs(q.rgbBlue - s[0]) + std::abs(q.rgbGreen - s[1]) + std::abs(q.rgbRed - s[2]);
        }
    return static_cast<double>(err) / (3.0 * src.Width() * src.Height());
}

// A smooth photo-like 32-bit image with far more than 256 colours, red high and blue low.
PackedDib Photo(int w, int h) {
    PackedDib d = PackedDib::Create(w, h, 32);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            BYTE* p = d.Pixel32(x, y);
            p[0] = static_cast<BYTE>(40 + 60 * std::sin(x * 0.1));
            p[1] = static_cast<BYTE>(y * 255 / h);
            p[2] = static_cast<BYTE>(200 + x * 55 / w);
            p[3] = static_cast<BYTE>(x); // alpha plays no part
        }
    return d;
}

struct RecordingProgress : IProgress {
    std::vector<int> positions;
    int pumps = 0;
    void SetText(const std::string&) override {}
    void SetPos(int p) override { positions.push_back(p); }
    void Pump() override { ++pumps; }
};

} // namespace

TEST(ColorIndexMap, KeysSharingABucketStayApart) {
    CColorIndexMap map;
    for (int i = 0; i < 40; ++i)
        map.SetAt(0x800000 + 16 * 17 * i, i); // all in one bucket
    EXPECT_EQ(map.Lookup(0x800000), 0);
    EXPECT_EQ(map.Lookup(0x800000 + 16 * 17 * 39), 39);
    EXPECT_EQ(map.Lookup(0x800001), -1);
    map.SetAt(0x800000, 5); // an update, not a new entry
    EXPECT_EQ(map.Lookup(0x800000), 5);
    EXPECT_EQ(map.GetCount(), 40);
    EXPECT_EQ(map.Entries().size(), 40u);
    map.RemoveAll();
    EXPECT_EQ(map.GetCount(), 0);
    EXPECT_EQ(map.Lookup(0x800000), -1);
}

TEST(Convert24Bits, PixelsAreTheMapsIndicesAtTheSmallestDepth) {
    PackedDib d = PackedDib::Create(9, 2, 24);
    Put24(d, 0, 0, 255, 0, 0);
    Put24(d, 8, 1, 0, 0, 255);
    CColorIndexMap map;
    map.SetAt(0xFF0000, 1);
    map.SetAt(0x000000, 0);
    PackedDib one = Convert24BitsDIBToLowerBitsDIB(d, map);
    EXPECT_FALSE(one); // blue is missing from the map
    map.SetAt(0x0000FF, 2);
    PackedDib out = Convert24BitsDIBToLowerBitsDIB(d, map);
    ASSERT_TRUE(out);
    EXPECT_EQ(out.BitCount(), 4);
    EXPECT_EQ(out.ColorCount(), 3);
    EXPECT_EQ(IndexAt(out, 0, 0), 1);
    EXPECT_EQ(IndexAt(out, 1, 0), 0);
    EXPECT_EQ(IndexAt(out, 8, 1), 2);
    EXPECT_EQ(out.ColorTable()[1].rgbRed, 255);
    EXPECT_EQ(out.ColorTable()[2].rgbBlue, 255);

    map.SetAt(0x0000FF, 16);
    EXPECT_EQ(Convert24BitsDIBToLowerBitsDIB(d, map).BitCount(), 8);
    map.SetAt(0x0000FF, 256);
    EXPECT_FALSE(Convert24BitsDIBToLowerBitsDIB(d, map));
    EXPECT_FALSE(Convert24BitsDIBToLowerBitsDIB(PackedDib::Create(2, 2, 32), map));
}

TEST(ConvertDIBFormat, NearestEntryFirstOnTies) {
    PackedDib d = PackedDib::Create(3, 1, 32);
    const BYTE grays[3] = {127, 128, 255};
    for (int x = 0; x < 3; ++x)
        d.Pixel32(x, 0)[0] = d.Pixel32(x, 0)[1] = d.Pixel32(x, 0)[2] = grays[x];
    PackedDib bw = ConvertDIBFormat(d, 1, nullptr); // one bit without a palette: black and white
    ASSERT_TRUE(bw);
    EXPECT_EQ(bw.ColorTable()[1].rgbGreen, 255);
    EXPECT_EQ(IndexAt(bw, 0, 0), 0);
    EXPECT_EQ(IndexAt(bw, 1, 0), 1);

    CPalette tie;
    tie.entries = {RGBQUAD{0, 0, 100, 0}, RGBQUAD{0, 0, 100, 0}, RGBQUAD{0, 0, 156, 0}};
    PackedDib one = PackedDib::Create(1, 1, 24);
    Put24(one, 0, 0, 128, 0, 0);
    EXPECT_EQ(IndexAt(ConvertDIBFormat(one, 4, &tie), 0, 0), 0);
    Put24(one, 0, 0, 157, 0, 0);
    EXPECT_EQ(IndexAt(ConvertDIBFormat(one, 8, &tie), 0, 0), 2);

    const CPalette empty;
    EXPECT_FALSE(ConvertDIBFormat(d, 8, &empty));
    EXPECT_FALSE(ConvertDIBFormat(d, 2, &tie));
}

TEST(ConvertDIBFormat, TrueColourTargets) {
    PackedDib d = PackedDib::Create(1, 1, 32);
    BYTE* p = d.Pixel32(0, 0);
    p[0] = 18, p[1] = 52, p[2] = 86, p[3] = 7;
    PackedDib d16 = ConvertDIBFormat(d, 16, nullptr);
    ASSERT_TRUE(d16);
    EXPECT_EQ(d16.Row(0)[0] | (d16.Row(0)[1] << 8), (10 << 10) | (6 << 5) | 2);
    EXPECT_EQ(ConvertDIBFormat(d, 32, nullptr).Pixel32(0, 0)[3], 7); // 32 to 32 keeps alpha
    PackedDib d24 = ConvertDIBFormat(d16, 24, nullptr);
    EXPECT_EQ(d24.Row(0)[0], 16);
    EXPECT_EQ(d24.Row(0)[2], 80);
    EXPECT_EQ(ConvertDIBFormat(d24, 32, nullptr).Pixel32(0, 0)[3], 255);
}

TEST(ReduceColorQuantity, PhotoStaysWithinBoundsAndClose) {
    PackedDib photo = Photo(96, 64);
    for (const auto& [bits, colors] :
         {std::pair{8, 256}, std::pair{8, 255}, std::pair{4, 16}, std::pair{4, 5}}) {
        SCOPED_TRACE(testing::Message() << bits << " bits, " << colors << " colours");
        PackedDib out = ReduceColorQuantity(photo, bits, colors, nullptr, 0);
        ASSERT_TRUE(out);
        EXPECT_EQ(out.BitCount(), bits);
        EXPECT_EQ(out.Width(), 96);
        EXPECT_EQ(out.Height(), 64);
        EXPECT_LE(out.ColorCount(), colors);
        // Swapped red and blue would be off by about 100.
        EXPECT_LT(MeanError(photo, out), bits == 8 ? 8 : 40);
    }
}

TEST(ReduceColorQuantity, FewColoursKeptExactly) {
    PackedDib d = PackedDib::Create(16, 8, 24);
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 16; ++x) {
            const int c = (x + y) % 16;
            Put24(d, x, y, static_cast<BYTE>(c * 17), static_cast<BYTE>(255 - c * 13),
                  static_cast<BYTE>(c * 5));
        }
    for (int bits : {4, 8}) {
        PackedDib out = ReduceColorQuantity(d, bits, 16, nullptr, 0);
        ASSERT_TRUE(out);
        EXPECT_EQ(out.ColorCount(), 16);
        EXPECT_EQ(MeanError(d, out), 0.0);
    }
    EXPECT_EQ(ReduceColorQuantity(d, 8, 1, nullptr, 0).ColorCount(), 1);
}

TEST(ReduceColorQuantity, ProgressAndBadInput) {
    RecordingProgress progress;
    ASSERT_TRUE(ReduceColorQuantity(Photo(20, 10), 8, 256, &progress, 0));
    ASSERT_FALSE(progress.positions.empty());
    EXPECT_EQ(progress.positions.back(), 100);
    EXPECT_GE(progress.pumps, 10);

    PackedDib d = Photo(4, 4);
    EXPECT_FALSE(ReduceColorQuantity(PackedDib(), 8, 256, nullptr, 0));
    EXPECT_FALSE(ReduceColorQuantity(d, 5, 16, nullptr, 0));
    EXPECT_FALSE(ReduceColorQuantity(d, 8, 0, nullptr, 0));
    d.Header()->biBitCount = 3;
    EXPECT_FALSE(ReduceColorQuantity(d, 8, 256, nullptr, 0));
    d.Header()->biBitCount = 32;
    d.Header()->biWidth = 0;
    EXPECT_FALSE(ReduceColorQuantity(d, 8, 256, nullptr, 0));
    d.Header()->biWidth = 5000; // more pixels than the block holds
    EXPECT_FALSE(ConvertDIBFormat(d, 24, nullptr));
}

TEST(QuantizeColorHistogram, WeightedColoursGiveASharedTable) {
    // Few colours come back as they are; the weights decide where a small table goes.
    const std::vector<std::pair<DWORD, unsigned>> few = {{0x102030, 5}, {0xF0E0D0, 7}, {0x00FF00, 1}};
    const std::vector<RGBQUAD> exact = QuantizeColorHistogram(few, 16);
    ASSERT_EQ(exact.size(), 3u);
    auto has = [](const std::vector<RGBQUAD>& t, DWORD key) {
        for (const RGBQUAD& q : t)
            if ((DWORD(q.rgbRed) << 16 | DWORD(q.rgbGreen) << 8 | q.rgbBlue) == key) return true;
        return false;
    };
    for (const auto& [key, n] : few)
        EXPECT_TRUE(has(exact, key)) << std::hex << key;

    // Two clusters of greys, far apart: one entry near each.
    std::vector<std::pair<DWORD, unsigned>> clusters;
    for (DWORD v = 0; v < 20; ++v) {
        clusters.emplace_back((v + 10) * 0x010101u, 1000);
        clusters.emplace_back((v + 200) * 0x010101u, 100);
    }
    for (const int speed : {1, 4, 10}) {
        const std::vector<RGBQUAD> two = QuantizeColorHistogram(clusters, 2, speed);
        ASSERT_EQ(two.size(), 2u) << speed;
        const int lo = std::min(two[0].rgbGreen, two[1].rgbGreen),
                  hi = std::max(two[0].rgbGreen, two[1].rgbGreen);
        EXPECT_LT(std::abs(lo - 20), 8) << speed;
        EXPECT_GT(hi, 150) << speed;
    }

    EXPECT_TRUE(QuantizeColorHistogram({}, 16).empty());
    EXPECT_TRUE(QuantizeColorHistogram(few, 1).empty());
    EXPECT_TRUE(QuantizeColorHistogram(few, 257).empty());
    EXPECT_TRUE(QuantizeColorHistogram({{0x123456, 0}}, 16).empty());
}
