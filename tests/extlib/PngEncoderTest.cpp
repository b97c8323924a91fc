// True-colour PNG writing: exact pixels as read back by libpng and by ImageMagick, and files no
// larger than libpng's own defaults make, for photographs, drawings and both in one picture.
#include "extlib/PngEncoder.h"
#include "extlib/ImageIO.h"
#include "extlib/PngFile.h"
#include "platform/ByteStream.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

namespace zepho {
namespace {

using Bytes = std::vector<BYTE>;

std::string TempFile(const std::string& name) {
    return testing::TempDir() + "zepho_pngenc_" + std::to_string(getpid()) + "_" + name;
}

Bytes ReadAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), {});
}

// Rows [from, to) of a 32-bit picture: a noisy photograph-like field.
void PaintPhoto(PackedDib& d, int from, int to, unsigned seed) {
    std::mt19937 rng(seed);
    for (int y = from; y < to; ++y)
        for (int x = 0; x < d.Width(); ++x) {
            BYTE* p = d.Pixel32(x, y);
            for (int c = 0; c < 3; ++c) {
                const double v =
                    128 + 90 * std::sin(x * 0.013 * (c + 1) + y * 0.007) + static_cast<int>(rng() % 15) - 7;
                p[c] = static_cast<BYTE>(std::clamp(static_cast<int>(v), 0, 255));
            }
            p[3] = static_cast<BYTE>(255 - (x + y) % 7);
        }
}

// Rows [from, to) of a drawing: flat panels, a repeated glyph-like pattern and a gradient bar.
void PaintDrawing(PackedDib& d, int from, int to) {
    static const char* kGlyph[5] = {"0110", "1001", "1111", "1001", "1001"};
    for (int y = from; y < to; ++y)
        for (int x = 0; x < d.Width(); ++x) {
            BYTE* p = d.Pixel32(x, y);
            std::uint32_t c = (x / 97 + y / 61) % 2 ? 0xF0F0F0 : 0x3060A0;
            if (y % 20 < 5 && x % 6 < 4 && kGlyph[y % 20][x % 6] == '1') c = 0x202020;
            if (y % 50 > 44) c = 0x010101u * static_cast<std::uint32_t>(x * 255 / d.Width());
            p[0] = static_cast<BYTE>(c), p[1] = static_cast<BYTE>(c >> 8), p[2] = static_cast<BYTE>(c >> 16);
            p[3] = 255;
        }
}

// ImageMagick, when installed (a stand-in `convert` may come first on the PATH).
bool HaveImageMagick() {
    static const bool have = std::system("/usr/bin/convert -version 2>/dev/null | grep -q ImageMagick") == 0;
    return have;
}

// The file as ImageMagick reads it: 8-bit RGBA bytes, top row first.
Bytes ImageMagickPixels(const std::string& png) {
    const std::string raw = png + ".rgba";
    if (std::system(("/usr/bin/convert '" + png + "' -depth 8 'rgba:" + raw + "' 2>/dev/null").c_str()) != 0)
        return {};
    Bytes out = ReadAll(raw);
    std::remove(raw.c_str());
    return out;
}

// A 24- or 32-bit picture's pixels as RGBA bytes, alpha 255 unless kept from a 32-bit one.
Bytes Rgba(const PackedDib& d, bool keepAlpha) {
    Bytes out;
    const int step = d.BitCount() / 8;
    for (int y = 0; y < d.Height(); ++y)
        for (int x = 0; x < d.Width(); ++x) {
            const BYTE* p = d.Row(y) + step * x;
            out.insert(out.end(), {p[2], p[1], p[0], keepAlpha && step == 4 ? p[3] : BYTE{255}});
        }
    return out;
}

PackedDib Drop(const PackedDib& d) {
    PackedDib out = PackedDib::Create(d.Width(), d.Height(), 24);
    for (int y = 0; y < d.Height(); ++y)
        for (int x = 0; x < d.Width(); ++x)
            std::memcpy(out.Row(y) + 3 * x, d.Pixel32(x, y), 3);
    return out;
}

} // namespace

TEST(PngEncoder, PhotosDrawingsAndMixturesReadBackExactlyAndStaySmall) {
    constexpr int kW = 480, kH = 360;
    struct Case {
        const char* name;
        int photoRows; // the top rows are photographic, the rest drawn
    };
    for (const Case& c : {Case{"photo", kH}, Case{"drawing", 0}, Case{"mixed", kH / 2}}) {
        SCOPED_TRACE(c.name);
        PackedDib d = PackedDib::Create(kW, kH, 32);
        PaintPhoto(d, 0, c.photoRows, 3);
        PaintDrawing(d, c.photoRows, kH);

        // RGBA, as the batch tool writes flattened documents and objects.
        const std::string rgbaPath = TempFile(std::string(c.name) + "_rgba.png");
        ASSERT_TRUE(WritePngRgba(rgbaPath, d));
        const Bytes rgbaFile = ReadAll(rgbaPath);
        const PackedDib back = DecodePng(rgbaFile, nullptr);
        ASSERT_TRUE(back.Is32());
        EXPECT_EQ(Rgba(back, true), Rgba(d, true));
        // libpng at its defaults is the yardstick for size.
        Bytes reference;
        ASSERT_TRUE(EncodePngRgba(d, reference));
        EXPECT_LE(rgbaFile.size(), reference.size() * 103 / 100) << reference.size();

        // RGB through the image-file library, as exports save photographs.
        const std::string rgbPath = TempFile(std::string(c.name) + "_rgb.png");
        ASSERT_TRUE(CImage().SaveImageFile(rgbPath, Drop(d), 85, nullptr));
        const PackedDib rgb = CImage().LoadPNGFile(rgbPath, nullptr);
        ASSERT_EQ(rgb.BitCount(), 24);
        EXPECT_EQ(Rgba(rgb, false), Rgba(d, false));

        if (HaveImageMagick()) {
            EXPECT_EQ(ImageMagickPixels(rgbaPath), Rgba(d, true));
            EXPECT_EQ(ImageMagickPixels(rgbPath), Rgba(d, false));
        }
        std::remove(rgbaPath.c_str());
        std::remove(rgbPath.c_str());
    }
}

TEST(PngEncoder, EachBandIsCompressedForWhatItHolds) {
    PackedDib d = PackedDib::Create(400, 600, 32);
    PaintPhoto(d, 0, 300, 8);
    PaintDrawing(d, 300, 600);
    MemoryWriter out;
    PngRowEncoder encoder(out);
    ASSERT_TRUE(encoder.Begin(400, 600, 4));
    for (int y = 0; y < 600; ++y)
        ASSERT_TRUE(encoder.AddRow(d.Row(y)));
    ASSERT_TRUE(encoder.Finish());
    EXPECT_GT(encoder.PhotoBands(), 0);
    EXPECT_GT(encoder.DrawnBands(), 0);
    const Bytes file = out.Take();
    EXPECT_EQ(Rgba(DecodePng(file, nullptr), true), Rgba(d, true));
}

// The filtered rows inside a file (its IDAT data inflated), hashed: what the filters chose and
// made, independent of the compressor. The suite also runs with ZEPHO_DISABLE_SIMD=1, so both
// paths must give these same values.
std::uint64_t FilteredHash(const Bytes& file, std::size_t rawSize) {
    Bytes idat;
    for (std::size_t at = 8; at + 12 <= file.size();) {
        const std::size_t n = std::size_t(file[at]) << 24 | std::size_t(file[at + 1]) << 16 |
                              std::size_t(file[at + 2]) << 8 | file[at + 3];
        if (std::memcmp(&file[at + 4], "IDAT", 4) == 0)
            idat.insert(idat.end(), file.begin() + at + 8, file.begin() + at + 8 + n);
        at += n + 12;
    }
    Bytes raw(rawSize);
    uLongf got = rawSize;
    if (uncompress(raw.data(), &got, idat.data(), idat.size()) != Z_OK || got != rawSize) return 0;
    std::uint64_t h = 14695981039346656037ull;
    for (BYTE b : raw)
        h = (h ^ b) * 1099511628211ull;
    return h;
}

TEST(PngEncoder, FilteredRowsAreTheSameWithAndWithoutSimd) {
    // An odd width, so that every row ends in bytes the vector loop leaves to the scalar one.
    PackedDib d = PackedDib::Create(123, 77, 32);
    PaintPhoto(d, 0, 40, 21);
    PaintDrawing(d, 40, 77);
    for (const int channels : {3, 4}) {
        MemoryWriter out;
        PngRowEncoder encoder(out);
        ASSERT_TRUE(encoder.Begin(123, 77, channels, 4));
        for (int y = 0; y < 77; ++y)
            ASSERT_TRUE(encoder.AddRow(d.Row(y)));
        ASSERT_TRUE(encoder.Finish());
        const Bytes file = out.Take();
        EXPECT_EQ(Rgba(DecodePng(file, nullptr), channels == 4), Rgba(d, channels == 4));
        EXPECT_EQ(FilteredHash(file, 77 * (123 * channels + 1)),
                  channels == 3 ? 6076760879227980214u : 17398569757404154767u)
            << channels;
    }
}

TEST(PngEncoder, MisuseAndFailedWritesAreReported) {
    MemoryWriter out;
    PngRowEncoder bad(out);
    EXPECT_FALSE(bad.Begin(0, 5, 3));
    EXPECT_FALSE(bad.Begin(5, 5, 2));
    EXPECT_FALSE(bad.AddRow(nullptr)); // not begun

    PackedDib d = PackedDib::Create(64, 64, 32);
    PaintPhoto(d, 0, 64, 1);
    PngRowEncoder early(out);
    ASSERT_TRUE(early.Begin(64, 64, 4));
    for (int y = 0; y < 10; ++y)
        ASSERT_TRUE(early.AddRow(d.Row(y)));
    EXPECT_FALSE(early.Finish()); // rows missing

    // A sink that refuses after 100 bytes fails the encoder, never silently.
    class Short final : public ByteWriter {
        bool WriteAt(std::uint64_t pos, const void*, std::size_t n) override { return pos + n <= 100; }
    } sink;
    PngRowEncoder failing(sink);
    bool ok = failing.Begin(64, 64, 4);
    for (int y = 0; ok && y < 64; ++y)
        ok = failing.AddRow(d.Row(y));
    EXPECT_FALSE(ok && failing.Finish());
}

} // namespace zepho
