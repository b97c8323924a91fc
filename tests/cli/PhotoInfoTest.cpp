// A photo's information through the batch tool, read back by exiftool.
#include "cli/CliRun.h"
#include "codecs/OpenExport.h"
#include "raster/Dib.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

using namespace zepho;
using namespace zepho::test;

namespace {

bool HaveExiftool() {
    return std::system("command -v exiftool >/dev/null 2>&1") == 0;
}

std::string Shell(const std::string& cmd) {
    std::string out;
    FILE* p = popen(cmd.c_str(), "r");
    if (!p) return out;
    char buf[4096];
    std::size_t n;
    while ((n = fread(buf, 1, sizeof buf, p)) > 0)
        out.append(buf, n);
    pclose(p);
    return out;
}

// exiftool's JSON of the tags we look at, numbers as numbers.
std::string Tags(const std::string& file) {
    return Shell("exiftool -j -n -Make -Model -LensModel -DateTimeOriginal -Orientation -ExifImageWidth "
                 "-ExifImageHeight -GPSLatitude -ThumbnailImage -Title '" +
                 file + "' 2>/dev/null");
}

bool Has(const std::string& json, const std::string& field) {
    return json.find(field) != std::string::npos;
}

std::string Bytes(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>()};
}

// A 64 x 48 JPEG in two colours (left red, right blue), written by our own writer.
std::string PlainJpeg(const std::string& path) {
    CDocImage doc;
    PackedDib dib = CreateSolidDIB(64, 48, RGB(220, 30, 30), 255);
    for (int y = 0; y < 48; ++y)
        for (int x = 32; x < 64; ++x) {
            BYTE* p = dib.Row(y) + 4 * x;
            p[0] = 200, p[1] = 40, p[2] = 20;
        }
    AppendSingleImage(doc, std::move(dib));
    EXPECT_TRUE(ExportFile(doc, path, 90, 0, nullptr, RGB(255, 255, 255)));
    return path;
}

// The plain JPEG with what a camera writes: make, model, lens, date, exposure, GPS, a title,
// an IPTC caption, a thumbnail and the given orientation.
std::string CameraJpeg(const std::string& path, int orientation) {
    const std::string dir = testing::TempDir();
    PlainJpeg(path);
    PlainJpeg(dir + "/photo_thumb.jpg");
    const std::string cmd =
        "exiftool -q -overwrite_original -Make=Acme -Model='Shooter 5' -LensModel='Acme 35mm' "
        "-DateTimeOriginal='2024:05:06 07:08:09' -ExposureTime=1/125 -FNumber=2.8 -ISO=200 "
        "-GPSLatitude=48.85 -GPSLatitudeRef=N -GPSLongitude=2.35 -GPSLongitudeRef=E "
        "-XMP-dc:Title=Harbour -IPTC:Caption-Abstract='A harbour' -Orientation#=" +
        std::to_string(orientation) + " '-ThumbnailImage<=" + dir + "/photo_thumb.jpg' '" + path + "'";
    EXPECT_EQ(std::system(cmd.c_str()), 0);
    return path;
}

} // namespace

// Every writer that can hold the information gets it back: the fields kept, the picture upright
// with orientation 1 and its new size, no thumbnail; the location and everything can be left out,
// in single and batch conversions alike.
TEST(PhotoInfoCli, CarriedThroughEveryFormat) {
    if (!HaveExiftool()) GTEST_SKIP() << "exiftool missing (libimage-exiftool-perl)";
    const std::string dir = testing::TempDir() + "/photo_";
    const std::string src = CameraJpeg(dir + "camera.jpg", 6);

    CliRun info = Cli("info " + src + " --json");
    ASSERT_EQ(info.status, 0) << info.err;
    EXPECT_TRUE(Has(info.out, "\"photo\":{\"make\":\"Acme\",\"model\":\"Shooter 5\",\"lens\":\"Acme 35mm\","
                              "\"dateTaken\":\"2024:05:06 07:08:09\",\"exposureTime\":\"1/125\","
                              "\"fNumber\":\"2.8\",\"iso\":200,\"location\":true,\"orientation\":6}"))
        << info.out;

    for (const char* ext : {"jpg", "png", "webp", "tif", "avif", "jxl"}) {
        SCOPED_TRACE(ext);
        const std::string out = dir + "kept." + ext;
        CliRun run = Cli("convert " + src + " " + out);
        ASSERT_EQ(run.status, 0) << run.err;
        EXPECT_EQ(run.err, "");
        const std::string tags = Tags(out);
        for (const char* field :
             {"\"Make\": \"Acme\"", "\"Model\": \"Shooter 5\"", "\"LensModel\": \"Acme 35mm\"",
              "\"DateTimeOriginal\": \"2024:05:06 07:08:09\"", "\"Title\": \"Harbour\"",
              "\"Orientation\": 1,", "\"ExifImageWidth\": 48,", "\"ExifImageHeight\": 64,",
              "\"GPSLatitude\": 48.85"})
            EXPECT_TRUE(Has(tags, field)) << field << "\n" << tags;
        EXPECT_FALSE(Has(tags, "ThumbnailImage")) << tags;
        // Read back by us, the picture stays upright: the orientation is not applied twice.
        CliRun back = Cli("info " + out + " --json");
        EXPECT_TRUE(Has(back.out, "\"width\":48,\"height\":64")) << back.out;
        EXPECT_TRUE(Has(back.out, "\"make\":\"Acme\"")) << back.out;

        const std::string noGps = dir + "nogps." + ext;
        ASSERT_EQ(Cli("convert " + src + " " + noGps + " --strip-location").status, 0);
        const std::string stripped = Tags(noGps);
        EXPECT_FALSE(Has(stripped, "GPS")) << stripped;
        EXPECT_TRUE(Has(stripped, "\"Make\": \"Acme\"")) << stripped;
        EXPECT_TRUE(Has(stripped, "\"Title\": \"Harbour\"")) << stripped;

        const std::string bare = dir + "bare." + ext;
        ASSERT_EQ(Cli("convert " + src + " " + bare + " --strip-metadata").status, 0);
        const std::string none = Tags(bare);
        // The information changes no pixel: both files draw the same picture.
        ASSERT_EQ(Cli("flatten " + out + " " + out + ".png").status, 0);
        ASSERT_EQ(Cli("flatten " + bare + " " + bare + ".png").status, 0);
        EXPECT_EQ(Bytes(out + ".png"), Bytes(bare + ".png"));
        // (Our TIFF writer states orientation 1 in every file it writes.)
        for (const char* tag : {"Make", "Title", "GPS", "ExifImageWidth", "Thumbnail"})
            EXPECT_FALSE(Has(none, tag)) << tag << "\n" << none;
        if (std::string(ext) != "tif") {
            EXPECT_FALSE(Has(none, "Orientation")) << none;
        }
    }

    // What described the TIFF's own pixels (strips, depth, its palette) never follows the photo on.
    ASSERT_EQ(Cli("convert " + dir + "kept.tif " + dir + "chain.jpg").status, 0);
    const std::string ifd0 = Shell("exiftool -a -s -IFD0:all '" + dir + "chain.jpg'");
    EXPECT_TRUE(Has(ifd0, "Make")) << ifd0;
    for (const char* tag :
         {"StripOffsets", "BitsPerSample", "ColorMap", "Compression", "PhotometricInterpretation"})
        EXPECT_FALSE(Has(ifd0, tag)) << tag << "\n" << ifd0;

    // A batch run takes the same options.
    const std::string outDir = dir + "batch";
    std::system(("rm -rf '" + outDir + "' && mkdir '" + outDir + "'").c_str());
    CliRun batch = Cli("convert " + src + " --out-dir " + outDir + " --to webp --strip-location -j 2");
    ASSERT_EQ(batch.status, 0) << batch.err;
    const std::string tags = Tags(outDir + "/photo_camera.webp");
    EXPECT_TRUE(Has(tags, "\"Make\": \"Acme\"")) << tags;
    EXPECT_FALSE(Has(tags, "GPS")) << tags;
}

// A picture without information is written as before: none appears, and a photo stripped of
// its information comes out byte for byte as the same picture that never had any.
TEST(PhotoInfoCli, PlainPicturesGetNoInformation) {
    if (!HaveExiftool()) GTEST_SKIP() << "exiftool missing (libimage-exiftool-perl)";
    const std::string dir = testing::TempDir() + "/photo_plain_";
    const std::string plain = PlainJpeg(dir + "in.jpg");
    const std::string camera = CameraJpeg(dir + "camera.jpg", 1);
    CliRun info = Cli("info " + plain + " --json");
    EXPECT_FALSE(Has(info.out, "\"photo\"")) << info.out;
    struct Case {
        const char* ext;
        std::vector<std::string> markers; // where each format keeps its information
    };
    for (const Case& c : {Case{"jpg", {"Exif", "http://ns.adobe.com/xap", "Photoshop 3.0"}},
                          Case{"png", {"eXIf", "Raw profile", "iTXt", "zTXt"}},
                          Case{"webp", {"EXIF", "XMP ", "VP8X"}}, Case{"tif", {"Acme", "xmpmeta"}}}) {
        SCOPED_TRACE(c.ext);
        const std::string a = dir + "a." + c.ext, b = dir + "b." + c.ext;
        ASSERT_EQ(Cli("convert " + plain + " " + a).status, 0);
        ASSERT_EQ(Cli("convert " + camera + " " + b + " --strip-metadata").status, 0);
        const std::string bytes = Bytes(a);
        ASSERT_FALSE(bytes.empty());
        EXPECT_EQ(bytes, Bytes(b));
        for (const std::string& m : c.markers)
            EXPECT_EQ(bytes.find(m), std::string::npos) << m;
    }
}

// HEIC (libheif's items, grids included) and AVIF (exiv2) photos bring their information along
// to the formats that can hold it.
TEST(PhotoInfoCli, ReadFromHeifAndAvif) {
    if (!HaveExiftool()) GTEST_SKIP() << "exiftool missing (libimage-exiftool-perl)";
    const std::string dir = testing::TempDir() + "/photo_iso_";
    PlainJpeg(dir + "in.jpg");
    ASSERT_EQ(Cli("convert " + dir + "in.jpg " + dir + "in.png").status, 0);
    ASSERT_EQ(Cli("convert " + dir + "in.jpg " + dir + "in.avif").status, 0);
    std::vector<std::string> inputs{dir + "in.avif"};
    if (std::system(("heif-enc -q 90 -o '" + dir + "in.heic' '" + dir + "in.png' >/dev/null 2>&1").c_str()) ==
        0)
        inputs.push_back(dir + "in.heic");
    else
        std::fprintf(stderr, "note: heif-enc missing (libheif-examples), HEIC left out\n");
    for (const std::string& in : inputs) {
        SCOPED_TRACE(in);
        ASSERT_EQ(std::system(("exiftool -q -overwrite_original -Make=Acme -Model=Iso '" + in + "'").c_str()),
                  0);
        CliRun info = Cli("info " + in + " --json");
        EXPECT_TRUE(Has(info.out, "\"make\":\"Acme\",\"model\":\"Iso\"")) << info.out;
        ASSERT_EQ(Cli("convert " + in + " " + dir + "out.jpg").status, 0);
        const std::string tags = Tags(dir + "out.jpg");
        EXPECT_TRUE(Has(tags, "\"Model\": \"Iso\"")) << tags;
        EXPECT_TRUE(Has(tags, "\"ExifImageWidth\": 64,")) << tags;
    }
}
