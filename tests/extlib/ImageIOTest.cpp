#include "extlib/ImageIO.h"
#include "extlib/ImageIOCodecs.h"
#include "extlib/ImageIOUtil.h"
#include "extlib/PngFile.h"
#include "platform/ByteStream.h"

#include <gtest/gtest.h>

#include <dirent.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <random>
#include <string>
#include <vector>

namespace zepho {
namespace {

using Bytes = std::vector<BYTE>;

class TempDir {
public:
    TempDir() {
        std::string pattern = "/tmp/zepho-imageio-XXXXXX";
        if (mkdtemp(pattern.data())) path_ = pattern;
    }
    ~TempDir() {
        if (path_.empty()) return;
        for (const std::string& name : Names())
            std::remove((path_ + "/" + name).c_str());
        rmdir(path_.c_str());
    }
    const std::string& Path() const { return path_; }
    std::string File(const std::string& name) const { return path_ + "/" + name; }
    std::vector<std::string> Names() const {
        std::vector<std::string> names;
        if (DIR* d = opendir(path_.c_str())) {
            while (dirent* e = readdir(d))
                if (std::strcmp(e->d_name, ".") && std::strcmp(e->d_name, "..")) names.push_back(e->d_name);
            closedir(d);
        }
        return names;
    }

private:
    std::string path_;
};

Bytes ReadAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), {});
}

void WriteAll(const std::string& path, const Bytes& bytes) {
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

// A picture with something different in every pixel: random indices over a random palette, or
// random colours with a smooth part so that JPEG has something to keep.
PackedDib Picture(int w, int h, int bits, unsigned seed, int colours = 0) {
    std::mt19937 rng(seed);
    PackedDib dib = PackedDib::Create(w, h, bits, bits <= 8 ? colours : 0);
    if (bits <= 8) {
        const int n = dib.ColorCount();
        for (int i = 0; i < n; ++i)
            dib.ColorTable()[i] = RGBQUAD{BYTE(rng()), BYTE(rng()), BYTE(rng()), 0};
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) {
                const int v = static_cast<int>(rng() % n), per = 8 / bits;
                dib.Row(y)[x / per] |= static_cast<BYTE>(v << (8 - bits - (x % per) * bits));
            }
        return dib;
    }
    const int n = bits / 8;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            BYTE* p = dib.Row(y) + static_cast<std::size_t>(n) * x;
            if (bits == 16) {
                const WORD v = static_cast<WORD>(rng() & 0x7FFF);
                p[0] = BYTE(v);
                p[1] = BYTE(v >> 8);
                continue;
            }
            for (int c = 0; c < n; ++c)
                p[c] = static_cast<BYTE>(rng());
        }
    return dib;
}

PackedDib Smooth(int w, int h) {
    PackedDib dib = PackedDib::Create(w, h, 24);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            BYTE* p = dib.Row(y) + 3 * x;
            p[0] = BYTE(x * 255 / w);
            p[1] = BYTE(y * 255 / h);
            p[2] = BYTE((x + y) * 127 / (w + h));
        }
    return dib;
}

PackedDib GrayPalette(int w, int h) {
    PackedDib dib = PackedDib::Create(w, h, 8, 256);
    imageio::SetGrayRamp(dib, 256);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            dib.Row(y)[x] = BYTE((x * 7 + y * 3) & 255);
    return dib;
}

// Largest difference of any colour channel (and alpha when both have it); -1 when the sizes differ.
int MaxDiff(const PackedDib& a, const PackedDib& b) {
    if (!a || !b || a.Width() != b.Width() || a.Height() != b.Height()) return -1;
    const int w = a.Width();
    std::vector<BYTE> ra(3 * w), rb(3 * w);
    int worst = 0;
    for (int y = 0; y < a.Height(); ++y) {
        imageio::RowToBgr(a, y, ra.data());
        imageio::RowToBgr(b, y, rb.data());
        for (int i = 0; i < 3 * w; ++i)
            worst = std::max(worst, std::abs(ra[i] - rb[i]));
        if (a.BitCount() == 32 && b.BitCount() == 32)
            for (int x = 0; x < w; ++x)
                worst = std::max(worst, std::abs(a.Row(y)[4 * x + 3] - b.Row(y)[4 * x + 3]));
    }
    return worst;
}

using Loader = PackedDib (CImage::*)(const std::string&, IProgress*);

struct Format {
    const char* ext;
    Loader load;
};

PackedDib Load(Loader load, const std::string& path) {
    CImage image;
    return (image.*load)(path, nullptr);
}

class RecordingProgress final : public IProgress {
public:
    void SetText(const std::string&) override {}
    void SetPos(int p) override { positions.push_back(p); }
    void Pump() override { ++pumps; }
    std::vector<int> positions;
    int pumps = 0;
};

// ---- round trips

TEST(ImageIORoundTrip, LosslessFormatsKeepEveryPixelAndKeepPalettes) {
    TempDir dir;
    struct Case {
        const char* ext;
        Loader load;
        DWORD option;
        std::vector<int> depths;
    };
    const std::vector<Case> cases = {
        {"bmp", &CImage::LoadBmpFile, 85, {1, 4, 8, 16, 24}},
        {"dib", &CImage::LoadBmpFile, 85, {8}},
        {"png", &CImage::LoadPNGFile, 85, {1, 4, 8, 16, 24}},
        {"pcx", &CImage::LoadPCXFile, 85, {1, 4, 8, 24}},
        {"tga", &CImage::LoadTGAFile, 0, {1, 4, 8, 16, 24}},
        {"tga", &CImage::LoadTGAFile, 1, {8, 16, 24}},
        {"tga", &CImage::LoadTGAFile, 2, {8, 24}},
        {"tga", &CImage::LoadTGAFile, 3, {4, 8, 16, 24}},
        {"tif", &CImage::LoadTIFFFile, 1, {1, 4, 8, 24}},
        {"tiff", &CImage::LoadTIFFFile, 5, {1, 4, 8, 16, 24}},
        {"TIF", &CImage::LoadTIFFFile, 8, {4, 8, 24}},
        {"tif", &CImage::LoadTIFFFile, 32946, {8, 24}},
        {"tif", &CImage::LoadTIFFFile, 12345, {8, 24}}, // unknown code: stored uncompressed
    };
    unsigned seed = 1;
    for (const Case& c : cases)
        for (int bits : c.depths)
            for (int colours : {0, 3}) {
                if (bits > 8 && colours) continue;
                // Odd sizes exercise every kind of row padding.
                const PackedDib src = Picture(13 + bits, 7, bits, ++seed, colours);
                const std::string path = dir.File("pic." + std::string(c.ext));
                SCOPED_TRACE(path + " option " + std::to_string(c.option) + " bits " + std::to_string(bits) +
                             " colours " + std::to_string(colours));
                CImage image;
                ASSERT_NE(image.SaveImageFile(path, src, c.option, nullptr), 0);
                const PackedDib back = Load(c.load, path);
                ASSERT_TRUE(back);
                EXPECT_EQ(MaxDiff(src, back), 0);
                if (bits <= 8) {
                    EXPECT_LE(back.BitCount(), 8) << "palette images stay palette images";
                }
                if (std::string(c.ext) == "bmp") {
                    EXPECT_EQ(back.BitCount(), bits);
                }
            }
}

TEST(ImageIORoundTrip, BlackAndWhiteStaysOneBit) {
    TempDir dir;
    PackedDib bw = Picture(37, 5, 1, 8);
    bw.ColorTable()[0] = RGBQUAD{0, 0, 0, 0};
    bw.ColorTable()[1] = RGBQUAD{255, 255, 255, 0};
    for (auto [ext, load] : {std::pair{"png", &CImage::LoadPNGFile},
                             {"pcx", &CImage::LoadPCXFile},
                             {"bmp", &CImage::LoadBmpFile},
                             {"tif", &CImage::LoadTIFFFile}}) {
        SCOPED_TRACE(ext);
        const std::string path = dir.File(std::string("bw.") + ext);
        CImage image;
        ASSERT_NE(image.SaveImageFile(path, bw, 1, nullptr), 0);
        const PackedDib back = Load(load, path);
        EXPECT_EQ(back.BitCount(), 1);
        EXPECT_EQ(MaxDiff(bw, back), 0);
    }
}

TEST(ImageIORoundTrip, AlphaSurvivesWhereTheFormatHoldsIt) {
    TempDir dir;
    PackedDib src = Picture(9, 5, 32, 77);
    src.Pixel32(0, 0)[3] = 0;
    src.Pixel32(1, 0)[3] = 255;
    for (auto [ext, load] : {std::pair{"png", &CImage::LoadPNGFile},
                             {"tga", &CImage::LoadTGAFile},
                             {"bmp", &CImage::LoadBmpFile},
                             {"tif", &CImage::LoadTIFFFile}}) {
        SCOPED_TRACE(ext);
        const std::string path = dir.File(std::string("a.") + ext);
        CImage image;
        ASSERT_NE(image.SaveImageFile(path, src, 1, nullptr), 0);
        const PackedDib back = Load(load, path);
        ASSERT_TRUE(back);
        EXPECT_EQ(back.BitCount(), 32);
        EXPECT_EQ(MaxDiff(src, back), 0);
    }
}

TEST(ImageIORoundTrip, JpegStaysCloseAndPaletteImagesBecomeColourOrGrey) {
    TempDir dir;
    const std::string path = dir.File("a.JpEg");
    CImage image;
    const PackedDib smooth = Smooth(64, 48);
    ASSERT_NE(image.SaveImageFile(path, smooth, 95, nullptr), 0);
    const Bytes bytes = ReadAll(path);
    ASSERT_GE(bytes.size(), 2u);
    EXPECT_EQ(bytes[0], 0xFF);
    EXPECT_EQ(bytes[1], 0xD8);
    PackedDib back = Load(&CImage::LoadJPGFile, path);
    ASSERT_TRUE(back);
    EXPECT_EQ(back.BitCount(), 24);
    EXPECT_LE(MaxDiff(smooth, back), 12);

    // Quality outside 1..100 is clamped, and quality changes the file.
    ASSERT_NE(image.SaveImageFile(path, smooth, 0, nullptr), 0);
    const std::size_t low = ReadAll(path).size();
    ASSERT_NE(image.SaveImageFile(path, smooth, 100000, nullptr), 0);
    EXPECT_GT(ReadAll(path).size(), low);

    const PackedDib gray = GrayPalette(40, 30);
    ASSERT_NE(image.SaveImageFile(path, gray, 90, nullptr), 0);
    back = Load(&CImage::LoadJPGFile, path);
    ASSERT_TRUE(back);
    EXPECT_EQ(back.BitCount(), 8);
    EXPECT_TRUE(imageio::IsGrayPalette(back));
    EXPECT_LE(MaxDiff(gray, back), 24);

    const PackedDib colour = Picture(20, 10, 4, 5);
    ASSERT_NE(image.SaveImageFile(path, colour, 100, nullptr), 0);
    back = Load(&CImage::LoadJPGFile, path);
    ASSERT_TRUE(back);
    EXPECT_EQ(back.BitCount(), 24);
}

// The Compression tag of a TIFF file written by us (little-endian, first directory).
int TiffCompression(const Bytes& f) {
    if (f.size() < 8 || f[0] != 'I') return -1;
    const std::size_t ifd = imageio::Le32(&f[4]);
    if (ifd + 2 > f.size()) return -1;
    const int n = imageio::Le16(&f[ifd]);
    for (int i = 0; i < n && ifd + 2 + 12 * (i + 1) <= f.size(); ++i) {
        const BYTE* e = &f[ifd + 2 + 12 * i];
        if (imageio::Le16(e) == 259) return imageio::Le16(e + 8);
    }
    return -1;
}

TEST(ImageIORoundTrip, TiffCcittOnlyForBlackAndWhiteAndJpegWithinTolerance) {
    TempDir dir;
    const std::string path = dir.File("fax.tif");
    CImage image;
    for (RGBQUAD first : {RGBQUAD{0, 0, 0, 0}, RGBQUAD{255, 255, 255, 0}}) {
        PackedDib bw = Picture(70, 33, 1, 9);
        bw.ColorTable()[0] = first;
        bw.ColorTable()[1] = first.rgbRed ? RGBQUAD{0, 0, 0, 0} : RGBQUAD{255, 255, 255, 0};
        for (DWORD code : {3u, 4u}) {
            ASSERT_NE(image.SaveImageFile(path, bw, code, nullptr), 0);
            EXPECT_EQ(TiffCompression(ReadAll(path)), static_cast<int>(code));
            const PackedDib back = Load(&CImage::LoadTIFFFile, path);
            EXPECT_EQ(back.BitCount(), 1);
            EXPECT_EQ(MaxDiff(bw, back), 0);
        }
    }
    // Anything but black and white cannot be faxed: it is written losslessly with LZW instead.
    for (int bits : {1, 8, 24}) {
        const PackedDib src = Picture(21, 11, bits, 40 + bits);
        ASSERT_NE(image.SaveImageFile(path, src, 4, nullptr), 0);
        EXPECT_EQ(TiffCompression(ReadAll(path)), 5);
        EXPECT_EQ(MaxDiff(src, Load(&CImage::LoadTIFFFile, path)), 0);
    }
    const PackedDib smooth = Smooth(48, 40);
    ASSERT_NE(image.SaveImageFile(path, smooth, 7, nullptr), 0);
    EXPECT_EQ(TiffCompression(ReadAll(path)), 7);
    EXPECT_LE(MaxDiff(smooth, Load(&CImage::LoadTIFFFile, path)), 16);
    const PackedDib gray = GrayPalette(33, 17);
    ASSERT_NE(image.SaveImageFile(path, gray, 7, nullptr), 0);
    const PackedDib back = Load(&CImage::LoadTIFFFile, path);
    EXPECT_EQ(back.BitCount(), 8);
    EXPECT_LE(MaxDiff(gray, back), 16);
}

TEST(ImageIORoundTrip, TgaOptionsChooseRunLengthAndRowOrder) {
    TempDir dir;
    const std::string path = dir.File("a.tga");
    PackedDib flat = PackedDib::Create(200, 4, 24);
    CImage image;
    std::vector<std::size_t> sizes;
    for (DWORD option = 0; option < 4; ++option) {
        ASSERT_NE(image.SaveImageFile(path, flat, option, nullptr), 0);
        const Bytes f = ReadAll(path);
        ASSERT_GE(f.size(), 18u);
        EXPECT_EQ(f[2], (option & 1) ? 10 : 2);
        EXPECT_EQ((f[17] & 0x20) != 0, !(option & 2)) << "top-down unless bit 1 asks for bottom-up";
        sizes.push_back(f.size());
    }
    EXPECT_LT(sizes[1], sizes[0] / 10);
}

// ---- files laid out by hand

TEST(ImageIOHandMade, BmpEightBitPaletteBottomUp) {
    // 3 x 2, 8 bits, two palette entries; rows padded to 4 bytes, bottom row first.
    Bytes f = {'B', 'M', 0, 0, 0, 0, 0, 0, 0, 0, 14 + 40 + 8, 0, 0, 0};
    const BYTE info[40] = {40, 0, 0, 0, 3, 0, 0, 0, 2, 0, 0, 0, 1, 0, 8, 0, 0, 0, 0, 0,
                           0,  0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 2, 0, 0, 0, 0, 0, 0, 0};
    f.insert(f.end(), info, info + 40);
    const BYTE palette[8] = {0x10, 0x20, 0x30, 0, 0xA0, 0xB0, 0xC0, 0};
    f.insert(f.end(), palette, palette + 8);
    const BYTE rows[8] = {1, 0, 1, 0xEE, 0, 0, 1, 0xEE}; // bottom: 1 0 1, top: 0 0 1
    f.insert(f.end(), rows, rows + 8);
    const PackedDib dib = DecodeBmp(f, nullptr);
    ASSERT_TRUE(dib);
    EXPECT_EQ(dib.BitCount(), 8);
    EXPECT_EQ(dib.ColorCount(), 2);
    EXPECT_EQ(dib.ColorTable()[1].rgbRed, 0xC0);
    EXPECT_EQ(dib.Row(0)[0], 0);
    EXPECT_EQ(dib.Row(0)[2], 1);
    EXPECT_EQ(dib.Row(1)[0], 1);
    EXPECT_EQ(dib.Row(1)[1], 0);

    // The same as a top-down file swaps the rows; a 32-bit file with zero alpha is opaque 24-bit.
    Bytes top = f;
    top[22] = 0xFE;
    top[23] = top[24] = top[25] = 0xFF;
    const PackedDib flipped = DecodeBmp(top, nullptr);
    ASSERT_TRUE(flipped);
    EXPECT_EQ(flipped.Row(0)[0], 1);
    EXPECT_EQ(flipped.Row(1)[2], 1);
}

TEST(ImageIOHandMade, BmpThirtyTwoBitsAlphaOnlyWhenUsedAndMasksUnpacked) {
    auto file = [](DWORD compression, WORD bits, const Bytes& masks, const Bytes& pixels) {
        Bytes f = {
            'B', 'M', 0, 0, 0, 0, 0, 0, 0,          0, BYTE(54 + masks.size()), 0, 0, 0, 40, 0, 0, 0, 2, 0,
            0,   0,   1, 0, 0, 0, 1, 0, BYTE(bits), 0, BYTE(compression),       0, 0, 0};
        f.resize(54, 0);
        f.insert(f.end(), masks.begin(), masks.end());
        f.insert(f.end(), pixels.begin(), pixels.end());
        return f;
    };
    PackedDib d = DecodeBmp(file(0, 32, {}, {1, 2, 3, 0, 4, 5, 6, 0}), nullptr);
    ASSERT_TRUE(d);
    EXPECT_EQ(d.BitCount(), 24);
    d = DecodeBmp(file(0, 32, {}, {1, 2, 3, 0x80, 4, 5, 6, 0}), nullptr);
    ASSERT_TRUE(d);
    EXPECT_EQ(d.BitCount(), 32);
    EXPECT_EQ(d.Row(0)[3], 0x80);
    EXPECT_EQ(d.Row(0)[7], 0);
    // 5-6-5: pure red and pure green.
    d = DecodeBmp(file(3, 16, {0, 0xF8, 0, 0, 0xE0, 0x07, 0, 0, 0x1F, 0, 0, 0}, {0x00, 0xF8, 0xE0, 0x07}),
                  nullptr);
    ASSERT_TRUE(d);
    EXPECT_EQ(d.BitCount(), 24);
    const BYTE expect[6] = {0, 0, 255, 0, 255, 0};
    EXPECT_EQ(std::memcmp(d.Row(0), expect, 6), 0);
}

Bytes BmpFile(int w, int h, int bits, DWORD compression, int colours, const Bytes& pixels) {
    const int offBits = 54 + 4 * colours;
    Bytes f = {'B',
               'M',
               0,
               0,
               0,
               0,
               0,
               0,
               0,
               0,
               BYTE(offBits),
               BYTE(offBits >> 8),
               0,
               0,
               40,
               0,
               0,
               0,
               BYTE(w),
               0,
               0,
               0,
               BYTE(h),
               0,
               0,
               0,
               1,
               0,
               BYTE(bits),
               0,
               BYTE(compression),
               0,
               0,
               0};
    f.resize(46, 0);
    f.insert(f.end(), {BYTE(colours), 0, 0, 0, 0, 0, 0, 0});
    for (int i = 0; i < colours; ++i)
        f.insert(f.end(), {BYTE(i), BYTE(2 * i), BYTE(3 * i), 0});
    f.insert(f.end(), pixels.begin(), pixels.end());
    return f;
}

TEST(ImageIOHandMade, BmpRunLengthAndCoreHeader) {
    // RLE8, 4 x 3. Bottom row: a run of two 5s, then an absolute run 7 8 9 (padded) cut at the
    // width; middle row: a delta to x = 2 and one 4; top row: four 6s, then the end.
    const Bytes rle8 = {2, 5, 0, 3, 7, 8, 9, 0, 0, 0, 0, 2, 2, 0, 1, 4, 0, 0, 4, 6, 0, 1};
    PackedDib dib = DecodeBmp(BmpFile(4, 3, 8, BI_RLE8, 10, rle8), nullptr);
    ASSERT_TRUE(dib);
    const BYTE top[4] = {6, 6, 6, 6}, middle[4] = {0, 0, 4, 0}, bottom[4] = {5, 5, 7, 8};
    EXPECT_EQ(std::memcmp(dib.Row(0), top, 4), 0);
    EXPECT_EQ(std::memcmp(dib.Row(1), middle, 4), 0);
    EXPECT_EQ(std::memcmp(dib.Row(2), bottom, 4), 0);
    // Without its last rows and end code the data is truncated.
    EXPECT_FALSE(DecodeBmp(BmpFile(4, 3, 8, BI_RLE8, 10, Bytes(rle8.begin(), rle8.begin() + 16)), nullptr));

    dib = DecodeBmp(BmpFile(5, 1, 4, BI_RLE4, 3, {5, 0x12, 0, 1}), nullptr);
    ASSERT_TRUE(dib);
    EXPECT_EQ(dib.BitCount(), 4);
    const BYTE nibbles[3] = {0x12, 0x12, 0x10};
    EXPECT_EQ(std::memcmp(dib.Row(0), nibbles, 3), 0);

    // The 12-byte core header with three-byte palette entries.
    const Bytes core = {'B', 'M', 0, 0, 0, 0, 0, 0, 0, 0, 32, 0, 0, 0, 12,   0, 0, 0,
                        3,   0,   1, 0, 1, 0, 1, 0, 1, 2, 3,  4, 5, 6, 0xA0, 0, 0, 0};
    dib = DecodeBmp(core, nullptr);
    ASSERT_TRUE(dib);
    EXPECT_EQ(dib.BitCount(), 1);
    EXPECT_EQ(dib.ColorTable()[1].rgbRed, 6);
    EXPECT_EQ(dib.Row(0)[0], 0xA0);
}

TEST(ImageIOHandMade, TgaColourMapStartingPastZeroAndGreyImages) {
    // Type 1, 2 x 1, 8-bit indices into a map of two 24-bit entries that starts at index 4.
    const Bytes mapped = {0, 1, 1, 4, 0,    2,  0,  24, 0,  0,  0,  0, 2,
                          0, 1, 0, 8, 0x20, 10, 20, 30, 40, 50, 60, 5, 4};
    PackedDib dib = DecodeTga(mapped, nullptr);
    ASSERT_TRUE(dib);
    EXPECT_EQ(dib.BitCount(), 8);
    EXPECT_EQ(dib.ColorTable()[5].rgbBlue, 40);
    EXPECT_EQ(dib.Row(0)[0], 5);
    // Type 3, right-to-left.
    const Bytes grey = {0, 0, 3, 0, 0, 0, 0, 0, 0, 0, 0, 0, 3, 0, 1, 0, 8, 0x30, 1, 2, 3};
    dib = DecodeTga(grey, nullptr);
    ASSERT_TRUE(dib);
    EXPECT_TRUE(imageio::IsGrayPalette(dib));
    const BYTE mirrored[3] = {3, 2, 1};
    EXPECT_EQ(std::memcmp(dib.Row(0), mirrored, 3), 0);
}

TEST(ImageIOHandMade, TgaRunLengthTopDownWithPacketsAcrossRows) {
    // Type 10, 3 x 2, 24 bits, top-left origin. A run of 4 red spans both rows, then 2 raw pixels.
    Bytes f = {0, 0, 10, 0, 0, 0, 0, 0, 0, 0, 0, 0, 3, 0, 2, 0, 24, 0x20};
    const BYTE packets[] = {0x83, 0, 0, 255, 0x01, 1, 2, 3, 4, 5, 6};
    f.insert(f.end(), packets, packets + sizeof packets);
    const PackedDib dib = DecodeTga(f, nullptr);
    ASSERT_TRUE(dib);
    EXPECT_EQ(dib.BitCount(), 24);
    const BYTE top[9] = {0, 0, 255, 0, 0, 255, 0, 0, 255};
    const BYTE bottom[9] = {0, 0, 255, 1, 2, 3, 4, 5, 6};
    EXPECT_EQ(std::memcmp(dib.Row(0), top, 9), 0);
    EXPECT_EQ(std::memcmp(dib.Row(1), bottom, 9), 0);

    // Without the top-down bit the first stored row is the bottom one.
    f[17] = 0;
    const PackedDib up = DecodeTga(f, nullptr);
    ASSERT_TRUE(up);
    EXPECT_EQ(std::memcmp(up.Row(1), top, 9), 0);
    // One pixel short fails.
    f.pop_back();
    EXPECT_FALSE(DecodeTga(f, nullptr));
}

TEST(ImageIOHandMade, PcxTwentyFourBitsInThreePlanes) {
    // 3 x 1: planes red, green, blue, each 4 bytes per line (even), run-length coded.
    Bytes f(128, 0);
    f[0] = 0x0A;
    f[1] = 5;
    f[2] = 1;
    f[3] = 8;
    f[8] = 2; // xmax
    f[65] = 3;
    f[66] = 4;
    const BYTE data[] = {0xC3, 200, 0,             // red: 200 200 200, pad 0
                         10,   20,  0xC1, 0xC5, 0, // green: 10 20 0xC5 (escaped), pad
                         0xC4, 7};                 // blue: 7 7 7 7
    f.insert(f.end(), data, data + sizeof data);
    const PackedDib dib = DecodePcx(f, nullptr);
    ASSERT_TRUE(dib);
    EXPECT_EQ(dib.BitCount(), 24);
    const BYTE expect[9] = {7, 10, 200, 7, 20, 200, 7, 0xC5, 200};
    EXPECT_EQ(std::memcmp(dib.Row(0), expect, 9), 0);
}

Bytes PsdHeader(int channels, int w, int h, int mode, int depth = 8) {
    Bytes f = {'8', 'B', 'P', 'S', 0, 1, 0, 0, 0, 0, 0, 0, 0, BYTE(channels)};
    for (int v : {h, w}) {
        const BYTE b[4] = {BYTE(v >> 24), BYTE(v >> 16), BYTE(v >> 8), BYTE(v)};
        f.insert(f.end(), b, b + 4);
    }
    f.insert(f.end(), {0, BYTE(depth), 0, BYTE(mode)});
    return f;
}

TEST(ImageIOHandMade, PsdCompositeRawAndPackBits) {
    // RGB 2 x 2, raw planes, after an empty colour table, resources and layer section.
    Bytes raw = PsdHeader(3, 2, 2, 3);
    raw.insert(raw.end(), {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0});
    raw.insert(raw.end(), {1, 2, 3, 4, 11, 12, 13, 14, 21, 22, 23, 24});
    PackedDib dib = DecodePsdComposite(raw, nullptr);
    ASSERT_TRUE(dib);
    EXPECT_EQ(dib.BitCount(), 24);
    const BYTE top[6] = {21, 11, 1, 22, 12, 2};
    EXPECT_EQ(std::memcmp(dib.Row(0), top, 6), 0);
    EXPECT_EQ(dib.Row(1)[5], 4);

    // Grey 4 x 1 with PackBits: a run of 3 then a literal of 1; skipped resources of 4 bytes.
    Bytes rle = PsdHeader(1, 4, 1, 1);
    rle.insert(rle.end(), {0, 0, 0, 0, 0, 0, 0, 4, 9, 9, 9, 9, 0, 0, 0, 0, 0, 1});
    rle.insert(rle.end(), {0, 4, 0xFE, 50, 0, 60});
    dib = DecodePsdComposite(rle, nullptr);
    ASSERT_TRUE(dib);
    EXPECT_EQ(dib.BitCount(), 8);
    const BYTE grey[4] = {50, 50, 50, 60};
    EXPECT_EQ(std::memcmp(dib.Row(0), grey, 4), 0);
    // A row that its byte count cannot fill fails.
    rle[rle.size() - 5] = 3;
    rle.pop_back();
    EXPECT_FALSE(DecodePsdComposite(rle, nullptr));
}

TEST(ImageIOHandMade, PsdIndexedAndSixteenBitComposites) {
    // Indexed 2 x 1: a 768-byte table of 256 reds, greens, blues.
    Bytes indexed = PsdHeader(1, 2, 1, 2);
    indexed.insert(indexed.end(), {0, 0, 3, 0});
    Bytes table(768, 0);
    table[7] = 70;       // red of entry 7
    table[512 + 7] = 90; // blue of entry 7
    indexed.insert(indexed.end(), table.begin(), table.end());
    indexed.insert(indexed.end(), {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 7, 0});
    PackedDib dib = DecodePsdComposite(indexed, nullptr);
    ASSERT_TRUE(dib);
    EXPECT_EQ(dib.BitCount(), 8);
    EXPECT_EQ(dib.ColorTable()[7].rgbRed, 70);
    EXPECT_EQ(dib.ColorTable()[7].rgbBlue, 90);
    EXPECT_EQ(dib.Row(0)[0], 7);

    // RGB 1 x 1 at 16 bits per sample keeps the high bytes.
    Bytes deep = PsdHeader(3, 1, 1, 3, 16);
    deep.insert(deep.end(), {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x12, 0x34, 0x56, 0x78, 0x9A, 0xBC});
    dib = DecodePsdComposite(deep, nullptr);
    ASSERT_TRUE(dib);
    const BYTE bgr[3] = {0x9A, 0x56, 0x12};
    EXPECT_EQ(std::memcmp(dib.Row(0), bgr, 3), 0);
}

// ---- hostile input

Bytes Encoded(const std::function<bool(ByteWriter&)>& encode) {
    MemoryWriter out;
    EXPECT_TRUE(encode(out));
    return out.Take();
}

struct Sample {
    const char* name;
    Bytes file;
    PackedDib (*decode)(std::span<const BYTE>, IProgress*);
};

std::vector<Sample> Samples(const PackedDib& p8, const PackedDib& p24) {
    std::vector<Sample> s;
    s.push_back({"bmp", Encoded([&](ByteWriter& o) { return EncodeBmp(p8, o, nullptr); }), &DecodeBmp});
    s.push_back({"png", Encoded([&](ByteWriter& o) { return EncodePng(p24, o, nullptr); }), &DecodePng});
    s.push_back(
        {"jpeg", Encoded([&](ByteWriter& o) { return EncodeJpeg(p24, 90, o, nullptr); }), &DecodeJpeg});
    s.push_back(
        {"tiff", Encoded([&](ByteWriter& o) { return EncodeTiff(p24, 5, o, nullptr); }), &DecodeTiff});
    s.push_back(
        {"tga", Encoded([&](ByteWriter& o) { return EncodeTga(p8, kTgaRle, o, nullptr); }), &DecodeTga});
    s.push_back({"pcx", Encoded([&](ByteWriter& o) { return EncodePcx(p24, o, nullptr); }), &DecodePcx});
    Bytes psd = PsdHeader(3, 2, 1, 3);
    psd.insert(psd.end(), {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1, 0, 2, 0, 2, 0, 2});
    psd.insert(psd.end(), {0xFF, 5, 0xFF, 6, 0xFF, 7});
    s.push_back({"psd", psd, &DecodePsdComposite});
    return s;
}

TEST(ImageIOHostile, EveryPrefixLoadsNothingOrTheWholePicture) {
    const PackedDib p8 = Picture(11, 6, 8, 3), p24 = Smooth(19, 9);
    for (const Sample& s : Samples(p8, p24)) {
        SCOPED_TRACE(s.name);
        const PackedDib whole = s.decode(s.file, nullptr);
        ASSERT_TRUE(whole);
        for (std::size_t n = 0; n < s.file.size(); ++n) {
            // A copy of exactly n bytes, so a read past the end is a read past an allocation.
            const Bytes prefix(s.file.begin(), s.file.begin() + static_cast<std::ptrdiff_t>(n));
            const PackedDib got = s.decode(prefix, nullptr);
            if (got) {
                ASSERT_EQ(MaxDiff(got, whole), 0) << "prefix of " << n << " bytes";
            }
        }
    }
}

TEST(ImageIOHostile, CorruptedBytesNeverCrash) {
    const unsigned seed = 424242;
    std::mt19937 rng(seed);
    const PackedDib p8 = Picture(11, 6, 8, 3), p24 = Smooth(19, 9);
    for (const Sample& s : Samples(p8, p24)) {
        for (int round = 0; round < 300; ++round) {
            Bytes f = s.file;
            const int flips = 1 + static_cast<int>(rng() % 4);
            for (int i = 0; i < flips; ++i)
                f[rng() % f.size()] = static_cast<BYTE>(rng());
            const PackedDib got = s.decode(f, nullptr);
            if (got) {
                EXPECT_GT(got.Width(), 0) << s.name << " seed " << seed << " round " << round;
            }
        }
    }
}

std::uint32_t Crc32(const BYTE* p, std::size_t n) {
    std::uint32_t c = 0xFFFFFFFFu;
    for (std::size_t i = 0; i < n; ++i) {
        c ^= p[i];
        for (int k = 0; k < 8; ++k)
            c = (c >> 1) ^ (0xEDB88320u & (0u - (c & 1)));
    }
    return ~c;
}

TEST(ImageIOHostile, HugeClaimedSizesInTinyFilesFailAtOnce) {
    // BMP: 100000 x 100000 at 24 bits in a 60-byte file.
    Bytes bmp = {'B', 'M', 60, 0,    0,    0, 0, 0,    0,    0, 54, 0, 0, 0,  40,
                 0,   0,   0,  0xA0, 0x86, 1, 0, 0xA0, 0x86, 1, 0,  1, 0, 24, 0};
    bmp.resize(60, 0);
    EXPECT_FALSE(DecodeBmp(bmp, nullptr));
    bmp[30] = 1; // and run-length coded (8 bits)
    bmp[28] = 8;
    EXPECT_FALSE(DecodeBmp(bmp, nullptr));

    Bytes tga = {0, 0, 10, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0xFF, 32, 0x28, 0xFF, 1, 2, 3, 4};
    EXPECT_FALSE(DecodeTga(tga, nullptr));

    Bytes pcx(140, 0);
    pcx[0] = 0x0A;
    pcx[2] = 1;
    pcx[3] = 8;
    pcx[8] = pcx[9] = pcx[10] = pcx[11] = 0xFF;
    pcx[65] = 3;
    pcx[66] = 0;
    pcx[67] = 1;
    EXPECT_FALSE(DecodePcx(pcx, nullptr));

    Bytes psd = PsdHeader(3, 30000, 30000, 3);
    psd.insert(psd.end(), {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1, 0, 2, 0xFF, 0});
    EXPECT_FALSE(DecodePsdComposite(psd, nullptr));

    // PNG: a valid IHDR (with its checksum) for 1000000 x 1000000 and no image data worth the name.
    Bytes png = {0x89, 'P', 'N',  'G',  0x0D, 0x0A, 0x1A, 0x0A, 0,    0, 0, 13, 'I', 'H', 'D',
                 'R',  0,   0x0F, 0x42, 0x40, 0,    0x0F, 0x42, 0x40, 8, 2, 0,  0,   0};
    const std::uint32_t crc = Crc32(&png[12], 17);
    png.insert(png.end(), {BYTE(crc >> 24), BYTE(crc >> 16), BYTE(crc >> 8), BYTE(crc)});
    png.insert(png.end(), {0, 0, 0, 0, 'I', 'D', 'A', 'T', 0x35, 0xAF, 0x06, 0x1E});
    EXPECT_FALSE(DecodePng(png, nullptr));

    // JPEG and TIFF: take a real small file and rewrite its size fields.
    const PackedDib small = Smooth(16, 16);
    Bytes jpeg = Encoded([&](ByteWriter& o) { return EncodeJpeg(small, 50, o, nullptr); });
    for (std::size_t i = 0; i + 8 < jpeg.size(); ++i)
        if (jpeg[i] == 0xFF && jpeg[i + 1] == 0xC0) {
            jpeg[i + 5] = jpeg[i + 6] = jpeg[i + 7] = jpeg[i + 8] = 0xFF;
            break;
        }
    EXPECT_FALSE(DecodeJpeg(jpeg, nullptr));
    Bytes tiff = Encoded([&](ByteWriter& o) { return EncodeTiff(small, 1, o, nullptr); });
    const std::size_t ifd = imageio::Le32(&tiff[4]);
    for (int i = 0; i < imageio::Le16(&tiff[ifd]); ++i) {
        BYTE* e = &tiff[ifd + 2 + 12 * i];
        const int tag = imageio::Le16(e);
        if (tag == 256 || tag == 257) {
            e[2] = 4; // LONG
            e[8] = 0xA0, e[9] = 0x86, e[10] = 1, e[11] = 0;
        }
    }
    EXPECT_FALSE(DecodeTiff(tiff, nullptr));
}

// ---- saving

TEST(ImageIOSave, FailureLeavesTheOldFileAndNoLitter) {
    TempDir dir;
    const std::string path = dir.File("keep.tga");
    WriteAll(path, {'o', 'l', 'd'});
    CImage image;
    // Too wide for a TGA header: the writer gives up after the file was opened.
    const PackedDib wide = PackedDib::Create(70000, 1, 24);
    EXPECT_EQ(image.SaveImageFile(path, wide, 0, nullptr), 0);
    EXPECT_EQ(ReadAll(path), (Bytes{'o', 'l', 'd'}));
    EXPECT_EQ(dir.Names(), std::vector<std::string>{"keep.tga"});

    const PackedDib pic = Picture(4, 4, 24, 1);
    EXPECT_EQ(image.SaveImageFile(dir.File("missing/a.png"), pic, 85, nullptr), 0);
    EXPECT_EQ(image.SaveImageFile(dir.File("noext"), pic, 85, nullptr), 0);
    EXPECT_EQ(image.SaveImageFile(dir.File("a.gif"), pic, 85, nullptr), 0);
    EXPECT_EQ(image.SaveImageFile(dir.File("a.png"), PackedDib(), 85, nullptr), 0);
    EXPECT_EQ(dir.Names(), std::vector<std::string>{"keep.tga"});

    EXPECT_NE(image.SaveImageFile(path, pic, 0, nullptr), 0);
    EXPECT_EQ(MaxDiff(pic, Load(&CImage::LoadTGAFile, path)), 0);
}

TEST(ImageIOSave, ProgressRunsFromZeroToHundredInOrder) {
    TempDir dir;
    const PackedDib pic = Smooth(50, 300);
    for (auto [ext, load] : {std::pair{"png", &CImage::LoadPNGFile},
                             {"jpg", &CImage::LoadJPGFile},
                             {"tif", &CImage::LoadTIFFFile},
                             {"bmp", &CImage::LoadBmpFile},
                             {"tga", &CImage::LoadTGAFile},
                             {"pcx", &CImage::LoadPCXFile}}) {
        SCOPED_TRACE(ext);
        const std::string path = dir.File(std::string("p.") + ext);
        RecordingProgress saving, loading;
        CImage image;
        ASSERT_NE(image.SaveImageFile(path, pic, 5, &saving), 0);
        ASSERT_TRUE((image.*load)(path, &loading));
        for (const RecordingProgress* p : {&saving, &loading}) {
            ASSERT_FALSE(p->positions.empty());
            EXPECT_EQ(p->positions.front(), 0);
            EXPECT_EQ(p->positions.back(), 100);
            EXPECT_TRUE(std::is_sorted(p->positions.begin(), p->positions.end()));
            EXPECT_GT(p->pumps, 0);
        }
    }
}

TEST(ImageIOLoad, MissingAndForeignFilesLoadNothing) {
    TempDir dir;
    const std::string text = dir.File("x.png");
    WriteAll(text, {'h', 'e', 'l', 'l', 'o'});
    for (Loader load :
         {&CImage::LoadBmpFile, &CImage::LoadJPGFile, &CImage::LoadTIFFFile, &CImage::LoadPSDFile,
          &CImage::LoadTGAFile, &CImage::LoadPNGFile, &CImage::LoadPCXFile}) {
        EXPECT_FALSE(Load(load, dir.File("absent")));
        EXPECT_FALSE(Load(load, text));
        EXPECT_FALSE(Load(load, dir.Path())); // a directory
    }
}

} // namespace
} // namespace zepho
