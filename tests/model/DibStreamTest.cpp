#include "model/DibStream.h"
#include "model/BitmapObj.h"
#include "raster/Dib.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>

using namespace zepho;

namespace {
std::vector<BYTE> Pack(const std::vector<BYTE>& row) {
    std::vector<BYTE> out;
    PackBitsEncode(row.data(), row.size(), 1, out);
    return out;
}
} // namespace

TEST(PackBits, WriterRunChoices) {
    EXPECT_EQ(Pack(std::vector<BYTE>(300, 7)),
              (std::vector<BYTE>{0x81, 7, 0x81, 7, 0xD5, 7})); // 128, 128, 44
    // A copy run ends before the byte that equals its successor; that byte starts a repeat.
    EXPECT_EQ(Pack({1, 2, 3, 3, 3}), (std::vector<BYTE>{1, 1, 2, 0xFE, 3}));
    EXPECT_EQ(Pack({1, 2, 2}), (std::vector<BYTE>{0, 1, 0xFF, 2}));
    EXPECT_EQ(Pack({1, 2, 3}), (std::vector<BYTE>{2, 1, 2, 3}));
    EXPECT_EQ(Pack({9}), (std::vector<BYTE>{0, 9}));
    EXPECT_EQ(Pack({4, 4}), (std::vector<BYTE>{0xFF, 4}));
    std::vector<BYTE> ramp(130);
    for (int i = 0; i < 130; ++i)
        ramp[i] = static_cast<BYTE>(i);
    const auto packed = Pack(ramp);
    EXPECT_EQ(packed[0], 127);
    EXPECT_EQ(packed[129], 1); // the two bytes left over
}

// The writer's rule applied one byte at a time.
std::vector<BYTE> ReferencePack(const std::vector<BYTE>& b) {
    std::vector<BYTE> out;
    const std::size_t n = b.size();
    for (std::size_t i = 0; i < n;) {
        std::size_t len = 1;
        if (i + 1 < n && b[i + 1] == b[i]) {
            while (i + len < n && len < 128 && b[i + len] == b[i])
                ++len;
            out.push_back(static_cast<BYTE>(257 - len));
            out.push_back(b[i]);
        } else {
            while (len < 128 && i + len < n && !(i + len + 1 < n && b[i + len] == b[i + len + 1]))
                ++len;
            out.push_back(static_cast<BYTE>(len - 1));
            out.insert(out.end(), b.begin() + static_cast<std::ptrdiff_t>(i),
                       b.begin() + static_cast<std::ptrdiff_t>(i + len));
        }
        i += len;
    }
    return out;
}

TEST(PackBits, WriterMatchesTheRuleOnRandomRows) {
    std::mt19937 rng(8);
    for (int round = 0; round < 2000; ++round) {
        // Stretches of noise, of slow ramps (pairs) and of one value, of random lengths.
        std::vector<BYTE> row;
        const std::size_t n = 1 + rng() % 400;
        while (row.size() < n) {
            const unsigned kind = rng() % 3, len = 1 + rng() % (rng() % 3 ? 24 : 300);
            const BYTE v = static_cast<BYTE>(rng());
            for (unsigned k = 0; k < len && row.size() < n; ++k)
                row.push_back(kind == 0   ? static_cast<BYTE>(rng())
                              : kind == 1 ? static_cast<BYTE>(v + k / 2)
                                          : v);
        }
        ASSERT_EQ(Pack(row), ReferencePack(row)) << "round " << round;
    }
}

TEST(DibStream, RoundTripAndPosition) {
    std::mt19937 rng(5);
    PackedDib dib = CreateTransparentDIB(37, 5);
    for (int y = 0; y < 5; ++y)
        for (int x = 0; x < 37; ++x)
            for (int c = 0; c < 4; ++c)
                dib.Pixel32(x, y)[c] = static_cast<BYTE>(rng() % 3 ? rng() : x / 8);
    MemoryWriter out;
    out.WriteU32(0xDEADBEEF);
    const std::size_t n = WriteDIBStream(out, dib);
    ASSERT_GT(n, 8u);
    out.WriteU32(0x12345678);
    std::vector<BYTE> bytes = out.Take();
    MemoryReader in(bytes);
    in.Skip(4);
    PackedDib back = ReadDIBStream(in);
    ASSERT_TRUE(back);
    EXPECT_EQ(in.Tell(), 4 + n); // left exactly after the stream
    EXPECT_EQ(0, std::memcmp(back.Bits(), dib.Bits(), dib.Size() - 40));
    // Red plane first: the first row's first header byte follows width and height.
    EXPECT_EQ(bytes[4], 37);
    EXPECT_EQ(bytes[8], 5);
}

TEST(DibStream, DecoderRulesAndHostileInput) {
    // 3 x 1: red row with a skipped 0x80 and an overlong run whose extra bytes are dropped.
    std::vector<BYTE> s = {3, 0, 0, 0, 1, 0, 0, 0};
    for (BYTE b : {0x80, 0xFC, 9})
        s.push_back(b); // repeat 5 times into a 3-byte row
    for (BYTE b : {2, 1, 2, 3})
        s.push_back(b); // green: copy 3
    for (BYTE b : {0xFE, 4})
        s.push_back(b); // blue: repeat 3
    for (BYTE b : {0xFE, 255})
        s.push_back(b); // alpha
    MemoryReader in(s);
    PackedDib d = ReadDIBStream(in);
    ASSERT_TRUE(d);
    EXPECT_EQ(d.Pixel32(2, 0)[2], 9);
    EXPECT_EQ(d.Pixel32(1, 0)[1], 2);
    EXPECT_EQ(d.Pixel32(2, 0)[0], 4);
    EXPECT_EQ(d.Pixel32(0, 0)[3], 255);

    // A huge claimed size in a few bytes fails at once; so does a stream cut short.
    std::vector<BYTE> huge = {0xA0, 0x86, 0x01, 0, 0xA0, 0x86, 0x01, 0, 0x81, 0};
    MemoryReader hin(huge);
    EXPECT_FALSE(ReadDIBStream(hin));
    std::vector<BYTE> cut(s.begin(), s.end() - 1);
    MemoryReader cin(cut);
    EXPECT_FALSE(ReadDIBStream(cin));

    // A fully transparent image codes every alpha row as repeat runs of 0.
    PackedDib clear = CreateTransparentDIB(4, 2);
    MemoryWriter w;
    WriteDIBStream(w, clear);
    const auto bytes = w.Take();
    EXPECT_EQ(bytes.size(), 8u + 4 * 2 * 2);
    EXPECT_EQ(bytes[bytes.size() - 2], 0xFD);
    EXPECT_EQ(bytes.back(), 0);
}

// Decodes one row the plain way, byte by byte, as the format describes it.
bool ReferenceRow(const std::vector<BYTE>& s, std::size_t& i, std::vector<BYTE>& row) {
    std::size_t x = 0;
    while (x < row.size()) {
        if (i >= s.size()) return false;
        const BYTE h = s[i++];
        if (h == 0x80) continue;
        const int n = h < 0x80 ? h + 1 : 257 - h;
        for (int k = 0; k < n; ++k) {
            if (i >= s.size()) return false;
            const BYTE v = s[h < 0x80 ? i++ : i];
            if (x < row.size()) row[x] = v;
            ++x;
        }
        if (h > 0x80) ++i;
    }
    return true;
}

TEST(DibStream, DecoderMatchesPlainDecodingOfRandomStreams) {
    std::mt19937 rng(11);
    for (int round = 0; round < 400; ++round) {
        const int w = 1 + static_cast<int>(rng() % 70), h = 1 + static_cast<int>(rng() % 7);
        std::vector<BYTE> s = {BYTE(w), 0, 0, 0, BYTE(h), 0, 0, 0};
        // Rows of random runs of every kind, 0x80 among them, the last run often overlong.
        for (int r = 0; r < 4 * h; ++r)
            for (int x = 0; x < w;) {
                const unsigned kind = rng() % 5;
                if (kind == 0) {
                    s.push_back(0x80);
                } else if (kind < 3) {
                    const int n = 1 + static_cast<int>(rng() % (rng() % 4 ? 20 : 128));
                    s.push_back(static_cast<BYTE>(n - 1));
                    for (int k = 0; k < n; ++k)
                        s.push_back(static_cast<BYTE>(rng()));
                    x += n;
                } else {
                    const int n = 2 + static_cast<int>(rng() % (rng() % 4 ? 20 : 127));
                    s.push_back(static_cast<BYTE>(1 - n));
                    s.push_back(static_cast<BYTE>(rng()));
                    x += n;
                }
            }
        const std::size_t streamEnd = s.size();
        s.push_back(0x5A); // a byte that belongs to whatever follows

        PackedDib expect = CreateTransparentDIB(w, h);
        std::size_t i = 8;
        std::vector<BYTE> row(static_cast<std::size_t>(w));
        static constexpr int kByte[4] = {2, 1, 0, 3};
        for (int c : kByte)
            for (int y = 0; y < h; ++y) {
                ASSERT_TRUE(ReferenceRow(s, i, row));
                for (int x = 0; x < w; ++x)
                    expect.Pixel32(x, y)[c] = row[static_cast<std::size_t>(x)];
            }
        ASSERT_EQ(i, streamEnd);

        MemoryReader in(s);
        PackedDib got = ReadDIBStream(in);
        ASSERT_TRUE(got) << "round " << round;
        EXPECT_EQ(in.Tell(), streamEnd) << "round " << round;
        for (int y = 0; y < h; ++y)
            ASSERT_EQ(0, std::memcmp(got.Row(y), expect.Row(y), 4 * static_cast<std::size_t>(w)))
                << "round " << round << " " << w << "x" << h << " row " << y;
        // Any cut inside the stream fails.
        std::vector<BYTE> cut(s.begin(),
                              s.begin() + static_cast<std::ptrdiff_t>(8 + rng() % (streamEnd - 8)));
        MemoryReader cin(cut);
        EXPECT_FALSE(ReadDIBStream(cin)) << "round " << round;
    }
}

TEST(DibStream, LargeRasterRoundTripsAcrossReadBlocks) {
    // Noise codes to more than the decoder reads at a time, so rows straddle its reads.
    std::mt19937 rng(3);
    PackedDib dib = CreateTransparentDIB(701, 433);
    for (int y = 0; y < dib.Height(); ++y)
        for (int x = 0; x < dib.Width(); ++x)
            for (int c = 0; c < 4; ++c)
                dib.Pixel32(x, y)[c] = static_cast<BYTE>(x % 97 < 60 ? rng() : y);
    MemoryWriter out;
    const std::size_t n = WriteDIBStream(out, dib);
    ASSERT_GT(n, 3u * 256 * 1024);
    std::vector<BYTE> bytes = out.Take();
    MemoryReader in(bytes);
    PackedDib back = ReadDIBStream(in);
    ASSERT_TRUE(back);
    EXPECT_EQ(in.Tell(), n);
    for (int y = 0; y < dib.Height(); ++y)
        ASSERT_EQ(0, std::memcmp(back.Row(y), dib.Row(y), 4 * 701u)) << "row " << y;
}

TEST(DibStream, TransformedImageRecord) {
    CBitmapObj bmp;
    bmp.source = CreateSolidDIB(6, 4, RGB(1, 2, 3), 200);
    bmp.filter = 3;
    bmp.angle = 12.5;
    bmp.scaleX = 2;
    bmp.scaleY = 0.5;
    MemoryWriter w;
    const std::size_t n = bmp.Write(w);
    EXPECT_EQ(n, w.Size());
    auto bytes = w.Take();
    MemoryReader r(bytes);
    CBitmapObj back;
    ASSERT_TRUE(back.Read(r));
    EXPECT_EQ(back.filter, 3);
    EXPECT_DOUBLE_EQ(back.angle, 12.5);
    EXPECT_DOUBLE_EQ(back.scaleY, 0.5);
    EXPECT_EQ(back.source.Pixel32(5, 3)[3], 200);
    bytes.resize(bytes.size() - 3);
    MemoryReader shortR(bytes);
    CBitmapObj fail;
    EXPECT_FALSE(fail.Read(shortR));
}
