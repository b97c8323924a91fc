// Photos open upright and in sRGB: the Exif orientation and embedded colour profiles of JPEG,
// PNG and TIFF files, against ImageMagick as the independent reader.
#include "extlib/PhotoLook.h"
#include "extlib/ImageIOCodecs.h"
#include "extlib/PngFile.h"
#include "support/ImageMagick.h"
#include "support/Profiles.h"

#include <gtest/gtest.h>

#include <lcms2.h>
#include <zlib.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

using namespace zepho;
using namespace zepho::test;
namespace fs = std::filesystem;

namespace {

std::vector<BYTE> ReadAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

void WriteAll(const std::string& path, const std::vector<BYTE>& bytes) {
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

struct TempDir {
    fs::path path = fs::temp_directory_path() / ("zepho-photolook-" + std::to_string(::getpid()));
    TempDir() { fs::create_directories(path); }
    ~TempDir() { fs::remove_all(path); }
    std::string operator/(const std::string& name) const { return (path / name).string(); }
};

// An Exif block as cameras write it (big-endian here), holding only the orientation.
std::vector<BYTE> ExifWithOrientation(int orientation) {
    return {'M', 'M', 0, 42, 0, 0, 0, 8, 0, 1, 0x01, 0x12, 0, 3, 0, 0, 0, 1, 0, BYTE(orientation),
            0,   0,   0, 0,  0, 0};
}

// The decoded picture as ImageMagick holds it: R, G, B, A a pixel, top row first.
MagickImage Pixels(const PackedDib& dib) {
    MagickImage m;
    m.width = dib.Width(), m.height = dib.Height();
    const int bits = dib.BitCount();
    for (int y = 0; y < m.height; ++y)
        for (int x = 0; x < m.width; ++x) {
            if (bits <= 8) {
                const int index =
                    (dib.Row(y)[x * bits / 8] >> (8 - bits - (x * bits) % 8)) & ((1 << bits) - 1);
                const RGBQUAD c = dib.ColorTable()[index];
                m.rgba.insert(m.rgba.end(), {c.rgbRed, c.rgbGreen, c.rgbBlue, 255});
                continue;
            }
            const BYTE* p = dib.Row(y) + static_cast<std::size_t>(x) * (bits / 8);
            m.rgba.insert(m.rgba.end(), {p[2], p[1], p[0], 255});
        }
    return m;
}

// The largest difference of one channel, or 999 when the sizes differ.
int MaxDifference(const MagickImage& a, const MagickImage& b) {
    if (a.width != b.width || a.height != b.height) return 999;
    int most = 0;
    for (std::size_t i = 0; i < a.rgba.size(); ++i)
        most = std::max(most, std::abs(int(a.rgba[i]) - int(b.rgba[i])));
    return most;
}

PackedDib Decode(const std::string& path) {
    const std::vector<BYTE> bytes = ReadAll(path);
    const std::string ext = fs::path(path).extension().string();
    return ext == ".png"   ? DecodePng(bytes, nullptr)
           : ext == ".jpg" ? DecodeJpeg(bytes, nullptr)
                           : DecodeTiff(bytes, nullptr);
}

bool SaveProfile(cmsHPROFILE p, const std::string& path) {
    const bool ok = p && cmsSaveProfileToFile(p, path.c_str());
    if (p) cmsCloseProfile(p);
    return ok;
}

} // namespace

// The orientation is read from well-formed blocks only: anything short or lying reads as 1.
TEST(PhotoLook, ExifOrientationOfGoodAndDamagedBlocks) {
    for (int o = 1; o <= 8; ++o)
        EXPECT_EQ(ExifOrientation(ExifWithOrientation(o)), o);
    std::vector<BYTE> app1 = {'E', 'x', 'i', 'f', 0, 0};
    const std::vector<BYTE> six = ExifWithOrientation(6);
    app1.insert(app1.end(), six.begin(), six.end());
    EXPECT_EQ(ExifOrientation(app1), 6);
    const std::vector<BYTE> little = {'I',  'I', 42, 0, 8, 0, 0, 0, 1, 0, 0x12,
                                      0x01, 3,   0,  1, 0, 0, 0, 8, 0, 0, 0};
    EXPECT_EQ(ExifOrientation(little), 8);
    std::vector<BYTE> lying = six;
    lying[7] = 200; // IFD past the end
    std::vector<BYTE> manyEntries = six;
    manyEntries[9] = 200, manyEntries[11] = 0x13; // more entries than there are bytes
    std::vector<BYTE> outOfRange = six;
    outOfRange[19] = 9;
    std::vector<BYTE> wrongType = six;
    wrongType[13] = 4;
    for (const std::vector<BYTE>& bad :
         {std::vector<BYTE>{}, std::vector<BYTE>(six.begin(), six.begin() + 12), lying, manyEntries,
          outOfRange, wrongType, std::vector<BYTE>{'X', 'X', 0, 42, 0, 0, 0, 8}})
        EXPECT_EQ(ExifOrientation(bad), 1);
}

// Every orientation of a JPEG (against ImageMagick's -auto-orient) and of a PNG's eXIf chunk and a
// TIFF's tag (against ImageMagick turning the picture itself).
TEST(PhotoLook, OrientedFilesOpenUpright) {
    if (ImageMagickConvert().empty()) GTEST_SKIP() << kNoImageMagick;
    TempDir dir;
    // No symmetry: a corner marked, a gradient each way.
    ASSERT_TRUE(
        ImageMagickRun("-size 30x20 gradient:red-blue -fill lime -draw 'rectangle 0,0 6,4' -depth 8 PNG24:" +
                       dir / "base.png"));
    const char* turns[9] = {"",           "",           "-flop",       "-rotate 180", "-flip",
                            "-transpose", "-rotate 90", "-transverse", "-rotate 270"};
    for (int o = 1; o <= 8; ++o) {
        SCOPED_TRACE(o);
        MagickImage want, fromIm;
        ASSERT_TRUE(ImageMagickRun(dir / "base.png " + turns[o] + " " + dir / "want.png"));
        ASSERT_TRUE(ImageMagickRead(dir / "want.png", want));

        // JPEG: APP1 put right after SOI, as cameras do.
        ASSERT_TRUE(ImageMagickRun(dir / "base.png -quality 95 " + dir / "plain.jpg"));
        std::vector<BYTE> jpg = ReadAll(dir / "plain.jpg"), exif = {'E', 'x', 'i', 'f', 0, 0};
        const std::vector<BYTE> block = ExifWithOrientation(o);
        exif.insert(exif.end(), block.begin(), block.end());
        const std::vector<BYTE> head = {0xFF, 0xE1, BYTE((exif.size() + 2) >> 8), BYTE(exif.size() + 2)};
        jpg.insert(jpg.begin() + 2, exif.begin(), exif.end());
        jpg.insert(jpg.begin() + 2, head.begin(), head.end());
        WriteAll(dir / "o.jpg", jpg);
        ASSERT_TRUE(ImageMagickRun(dir / "o.jpg -auto-orient " + dir / "im.png"));
        ASSERT_TRUE(ImageMagickRead(dir / "im.png", fromIm));
        EXPECT_EQ(MaxDifference(Pixels(Decode(dir / "o.jpg")), fromIm), 0);

        // PNG: an eXIf chunk before the image data.
        std::vector<BYTE> png = ReadAll(dir / "base.png"),
                          chunk = {0, 0, 0, BYTE(block.size()), 'e', 'X', 'I', 'f'};
        chunk.insert(chunk.end(), block.begin(), block.end());
        const uLong crc = crc32(0, chunk.data() + 4, static_cast<uInt>(chunk.size() - 4));
        chunk.insert(chunk.end(), {BYTE(crc >> 24), BYTE(crc >> 16), BYTE(crc >> 8), BYTE(crc)});
        png.insert(png.begin() + 33, chunk.begin(), chunk.end()); // after the signature and IHDR
        WriteAll(dir / "o.png", png);
        EXPECT_EQ(MaxDifference(Pixels(Decode(dir / "o.png")), want), 0);

        // TIFF: the orientation tag, as ImageMagick writes it.
        const char* names[9] = {"",        "TopLeft",  "TopRight",    "BottomRight", "BottomLeft",
                                "LeftTop", "RightTop", "RightBottom", "LeftBottom"};
        ASSERT_TRUE(ImageMagickRun(dir / "base.png -orient " + names[o] + " " + dir / "o.tif"));
        EXPECT_EQ(MaxDifference(Pixels(Decode(dir / "o.tif")), want), 0);
    }
}

// The integer path for matrix-shaper profiles gives what Little CMS gives, within a level, over
// the whole cube of colours (every fifth level of each channel), alpha untouched.
TEST(PhotoLook, MatrixShaperPathMatchesLittleCms) {
    cmsHPROFILE wide = WideGamutProfile();
    const std::vector<BYTE> icc = ProfileBytes(WideGamutProfile());
    cmsHPROFILE srgb = cmsCreate_sRGBProfile();
    cmsHTRANSFORM reference = cmsCreateTransform(wide, TYPE_BGRA_8, srgb, TYPE_BGRA_8, INTENT_PERCEPTUAL,
                                                 cmsFLAGS_BLACKPOINTCOMPENSATION | cmsFLAGS_COPY_ALPHA);
    ASSERT_TRUE(reference);
    PackedDib dib = PackedDib::Create(52 * 52, 52, 32);
    for (int b = 0; b < 52; ++b)
        for (int g = 0; g < 52; ++g)
            for (int r = 0; r < 52; ++r) {
                BYTE* p = dib.Pixel32(g * 52 + r, b);
                p[0] = BYTE(b * 5), p[1] = BYTE(g * 5), p[2] = BYTE(r * 5), p[3] = BYTE(r + g);
            }
    PackedDib want = dib.Clone();
    for (int y = 0; y < want.Height(); ++y)
        cmsDoTransform(reference, want.Row(y), want.Row(y), static_cast<cmsUInt32Number>(want.Width()));
    ASSERT_EQ(ConvertToSrgb(dib, icc), ProfileOutcome::Converted);
    int most = 0;
    for (int y = 0; y < dib.Height(); ++y)
        for (int i = 0; i < 4 * dib.Width(); ++i)
            most = std::max(most, std::abs(int(dib.Row(y)[i]) - int(want.Row(y)[i])));
    EXPECT_LE(most, 1);
    cmsDeleteTransform(reference);
    cmsCloseProfile(srgb);
    cmsCloseProfile(wide);
}

// Pixels stored in a wide gamut come out in sRGB within two levels of ImageMagick's conversion,
// whatever the format carries the profile in; a profile that is sRGB changes nothing; a damaged
// one leaves the pixels as stored and leaves a note to tell the user.
TEST(PhotoLook, EmbeddedProfilesConvertToSrgb) {
    if (ImageMagickConvert().empty()) GTEST_SKIP() << kNoImageMagick;
    TempDir dir;
    ASSERT_TRUE(SaveProfile(cmsCreate_sRGBProfile(), dir / "srgb.icc"));
    ASSERT_TRUE(SaveProfile(WideGamutProfile(), dir / "wide.icc"));
    ASSERT_TRUE(ImageMagickRun("-size 48x32 gradient:'rgb(0,200,0)-rgb(200,30,90)' -depth 8 PNG24:" +
                               dir / "base.png"));
    for (const char* ext : {"jpg", "png", "tif"}) {
        SCOPED_TRACE(ext);
        const std::string wide = dir / (std::string("wide.") + ext),
                          plain = dir / (std::string("plain.") + ext);
        ASSERT_TRUE(ImageMagickRun(dir / "base.png -quality 100 -profile " + dir / "srgb.icc -profile " +
                                   dir / "wide.icc " + wide));
        ASSERT_TRUE(ImageMagickRun(wide + " -profile " + dir / "srgb.icc -depth 8 " + dir / "im.png"));
        MagickImage fromIm;
        ASSERT_TRUE(ImageMagickRead(dir / "im.png", fromIm));
        TakeProfileUnusableNote();
        const PackedDib ours = Decode(wide);
        EXPECT_FALSE(TakeProfileUnusableNote());
        EXPECT_LE(MaxDifference(Pixels(ours), fromIm), 2);
        // Not the stored values: they are far off (the green is about 100 in red).
        ASSERT_TRUE(ImageMagickRun(wide + " +profile '*' " + plain));
        EXPECT_GT(MaxDifference(Pixels(Decode(plain)), fromIm), 40);

        // An sRGB profile: the same bytes as without one.
        ASSERT_TRUE(ImageMagickRun(plain + " -quality 100 -profile " + dir / "srgb.icc " + dir / "s" + ext));
        const PackedDib withSrgb = Decode(dir / "s" + ext);
        ASSERT_TRUE(ImageMagickRun(dir / "s" + ext + " +profile '*' " + dir / "n" + ext));
        EXPECT_EQ(MaxDifference(Pixels(withSrgb), Pixels(Decode(dir / "n" + ext))), 0);
    }

    // A damaged profile: the picture opens as stored, and the reader says so once.
    std::vector<BYTE> icc = ReadAll(dir / "wide.icc");
    ASSERT_GT(icc.size(), 200u);
    icc.resize(150);
    PackedDib dib = Decode(dir / "plain.png");
    const MagickImage before = Pixels(dib);
    EXPECT_EQ(ConvertToSrgb(dib, icc), ProfileOutcome::Unusable);
    for (BYTE& b : icc)
        b ^= 0x5A;
    EXPECT_EQ(ConvertToSrgb(dib, icc), ProfileOutcome::Unusable);
    EXPECT_EQ(MaxDifference(Pixels(dib), before), 0);
    EXPECT_EQ(ProfileDescription(ReadAll(dir / "srgb.icc")), "sRGB built-in");
}

// A CMYK JPEG as prepress tools write it (Adobe-inverted, with its press profile) comes out within
// a few levels of ImageMagick's conversion; without a profile of its own it is read with the
// standard press profile, which gives the same picture when that was the profile it was made with.
TEST(PhotoLook, CmykJpegsConvertThroughTheirOwnOrTheStandardProfile) {
    if (ImageMagickConvert().empty()) GTEST_SKIP() << kNoImageMagick;
    const std::vector<BYTE> standard = ReadAll(kDefaultCmykProfilePath);
    if (standard.empty()) GTEST_SKIP() << "no standard CMYK profile (libgs-common)";
    TempDir dir;
    ASSERT_TRUE(SaveProfile(cmsCreate_sRGBProfile(), dir / "srgb.icc"));
    WriteAll(dir / "press.icc", standard);
    ASSERT_TRUE(ImageMagickRun("-size 48x32 gradient:'rgb(0,160,220)-rgb(230,40,60)' -depth 8 PNG24:" +
                               dir / "base.png"));
    ASSERT_TRUE(ImageMagickRun(dir / "base.png -profile " + dir / "srgb.icc -profile " +
                               dir / "press.icc -quality 100 " + dir / "cmyk.jpg"));
    ASSERT_TRUE(ImageMagickRun(dir / "cmyk.jpg -profile " + dir / "srgb.icc -depth 8 " + dir / "im.png"));
    MagickImage fromIm;
    ASSERT_TRUE(ImageMagickRead(dir / "im.png", fromIm));
    TakeProfileUnusableNote();
    TakeProfileSeen();
    const PackedDib own = Decode(dir / "cmyk.jpg");
    EXPECT_FALSE(TakeProfileUnusableNote());
    EXPECT_NE(TakeProfileSeen(), "");
    EXPECT_LE(MaxDifference(Pixels(own), fromIm), 3);

    ASSERT_TRUE(ImageMagickRun(dir / "cmyk.jpg +profile '*' " + dir / "bare.jpg"));
    const PackedDib bare = Decode(dir / "bare.jpg");
    EXPECT_FALSE(TakeProfileUnusableNote());
    EXPECT_EQ(TakeProfileSeen(), "");
    EXPECT_EQ(MaxDifference(Pixels(bare), Pixels(own)), 0);
}
