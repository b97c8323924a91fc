#include "model/BitmapObj.h"
#include "model/DibStream.h"
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
    for (int i = 0; i < 130; ++i) ramp[i] = static_cast<BYTE>(i);
    const auto packed = Pack(ramp);
    EXPECT_EQ(packed[0], 127);
    EXPECT_EQ(packed[129], 1); // the two bytes left over
}

TEST(DibStream, RoundTripAndPosition) {
    std::mt19937 rng(5);
    PackedDib dib = CreateTransparentDIB(37, 5);
    for (int y = 0; y < 5; ++y)
        for (int x = 0; x < 37; ++x)
            for (int c = 0; c < 4; ++c) dib.Pixel32(x, y)[c] = static_cast<BYTE>(rng() % 3 ? rng() : x / 8);
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
    for (BYTE b : {0x80, 0xFC, 9}) s.push_back(b); // repeat 5 times into a 3-byte row
    for (BYTE b : {2, 1, 2, 3}) s.push_back(b);    // green: copy 3
    for (BYTE b : {0xFE, 4}) s.push_back(b);       // blue: repeat 3
    for (BYTE b : {0xFE, 255}) s.push_back(b);     // alpha
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
