// Runs the batch tool as a user would and checks its outputs.
#include "cli/CliRun.h"
#include "extlib/PngFile.h"
#include "model/DocImage.h"
#include "model/TextObj.h"
#include "platform/SaveTarget.h"
#include "raster/Dib.h"
#include "support/AviWriter.h"
#include "support/ImageMagick.h"

#include <gtest/gtest.h>
#include <png.h>

#include <array>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <sys/wait.h>

using namespace zepho;
using test::Cli;
using test::CliRun;

namespace {

// Reads a PNG back with libpng: width, height and the RGBA bytes.
bool ReadPng(const std::string& path, int& w, int& h, std::vector<unsigned char>& rgba) {
    png_image img{};
    img.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_file(&img, path.c_str())) return false;
    img.format = PNG_FORMAT_RGBA;
    rgba.resize(PNG_IMAGE_SIZE(img));
    w = static_cast<int>(img.width);
    h = static_cast<int>(img.height);
    return png_image_finish_read(&img, nullptr, rgba.data(), 0, nullptr) != 0;
}

std::string MakeDocument() {
    CDocImage doc;
    doc.width = 20;
    doc.height = 10;
    for (int i = 0; i < 2; ++i) {
        Ref<CObjContent> c = MakeRef<CObjContent>(KindImage);
        c->SetRaster(CreateSolidDIB(4 + i, 3, i ? RGB(0, 0, 255) : RGB(255, 0, 0), i ? 255 : 128));
        c->name = i ? "Top \"quoted\"" : "Bottom";
        Ref<CDrawObj> o = MakeRef<CDrawObj>(c);
        o->visible = 1;
        o->x = 2 * i;
        doc.objects.AddTail(o);
    }
    Ref<CTextObj> text = MakeRef<CTextObj>();
    CTextRun run;
    run.face = "DejaVu Sans";
    run.SetText(u"Gr\u00fc\u00dfe");
    text->runs.push_back(run);
    Ref<CObjContent> tc = MakeRef<CObjContent>(KindText);
    tc->SetRaster(text->Render());
    tc->SetShape(text);
    tc->name = "Text - 1";
    Ref<CDrawObj> to = MakeRef<CDrawObj>(tc);
    doc.objects.AddTail(to);
    const std::string path = testing::TempDir() + "/cli_doc.qzi";
    EXPECT_EQ(doc.SaveNative(path, nullptr), 1);
    return path;
}

} // namespace

TEST(Cli, InfoObjectsFlatten) {
    const std::string doc = MakeDocument();
    CliRun info = Cli("info " + doc + " --json");
    ASSERT_EQ(info.status, 0) << info.err;
    EXPECT_NE(info.out.find("\"format\":\"qzi 2003\""), std::string::npos);
    EXPECT_NE(info.out.find("\"name\":\"Top \\\"quoted\\\"\""), std::string::npos);
    EXPECT_NE(info.out.find("\"width\":20"), std::string::npos);
    EXPECT_NE(info.out.find("\"face\":\"DejaVu Sans\""), std::string::npos);
    EXPECT_NE(info.out.find("\"text\":\"Gr\xc3\xbc\xc3\x9f"
                            "e\""),
              std::string::npos)
        << info.out;
    CliRun text = Cli("info " + doc);
    ASSERT_EQ(text.status, 0);
    EXPECT_NE(text.out.find("canvas: 20 x 10"), std::string::npos);

    const std::string dir = testing::TempDir() + "/cli_objects";
    CliRun objects = Cli("objects " + doc + " " + dir);
    ASSERT_EQ(objects.status, 0) << objects.err;
    std::ifstream manifest(dir + "/manifest.json");
    std::stringstream m;
    m << manifest.rdbuf();
    EXPECT_NE(m.str().find("{\"index\":0,\"file\":\"000.png\",\"name\":\"Bottom\",\"kind\":0,\"x\":0,\"y\":0,"
                           "\"width\":4,\"height\":3,\"visible\":true,\"locked\":false,\"transparency\":0,"
                           "\"shadow\":false}"),
              std::string::npos)
        << m.str();
    int w = 0, h = 0;
    std::vector<unsigned char> px;
    ASSERT_TRUE(ReadPng(dir + "/001.png", w, h, px));
    EXPECT_EQ(w, 5);
    EXPECT_EQ(h, 3);
    EXPECT_EQ(px[2], 255); // blue, straight RGBA
    ASSERT_TRUE(ReadPng(dir + "/000.png", w, h, px));
    EXPECT_EQ(px[0], 255);
    EXPECT_EQ(px[3], 128);

    const std::string flat = testing::TempDir() + "/cli_flat.png";
    CliRun f = Cli("flatten " + doc + " " + flat);
    ASSERT_EQ(f.status, 0) << f.err;
    ASSERT_TRUE(ReadPng(flat, w, h, px));
    EXPECT_EQ(w, 20);
    EXPECT_EQ(h, 10);
    EXPECT_EQ(px[3], 128);         // (0, 0): the half-transparent red alone
    EXPECT_EQ(px[4 * 2 + 3], 255); // (2, 0): the blue one on top
    EXPECT_EQ(px[4 * 19 + 3], 0);  // nothing there
}

TEST(Cli, VideoLibrariesAreLoadedOnlyForAVideo) {
    // The dynamic loader lists every library it opens on stderr under LD_DEBUG=files.
    const std::string png = testing::TempDir() + "/cli_small.png";
    PackedDib small = CreateSolidDIB(3, 2, RGB(1, 2, 3), 255);
    ASSERT_TRUE(WritePngRgba(png, small));
    CliRun still = Cli("info " + png, "LD_DEBUG=files");
    ASSERT_EQ(still.status, 0) << still.err;
    EXPECT_NE(still.err.find("libpng"), std::string::npos) << "LD_DEBUG gave no list";
    EXPECT_EQ(still.err.find("libavformat"), std::string::npos);

    const std::string avi = testing::TempDir() + "/cli_clip.avi";
    ASSERT_TRUE(test::WriteTestAvi(avi, 16, 8, 15, {3}));
    CliRun video = Cli("info " + avi + " --json", "LD_DEBUG=files");
    ASSERT_EQ(video.status, 0) << video.err;
    EXPECT_NE(video.err.find("libavformat"), std::string::npos);
    EXPECT_NE(video.out.find("\"format\":\"avi\",\"width\":16,\"height\":8,\"delay\":7"), std::string::npos)
        << video.out;
    const std::string qzi = testing::TempDir() + "/cli_clip.qzi";
    ASSERT_EQ(Cli("convert " + avi + " " + qzi).status, 0);
    EXPECT_NE(Cli("info " + qzi).out.find("objects: 3"), std::string::npos);
}

TEST(Cli, ErrorsNameTheFileAndExitOne) {
    CliRun missing = Cli("info /nonexistent/thing.qzi");
    EXPECT_EQ(missing.status, 1);
    EXPECT_NE(missing.err.find("/nonexistent/thing.qzi"), std::string::npos);
    EXPECT_EQ(missing.err.find('\n'), missing.err.size() - 1); // one line

    const std::string bad = testing::TempDir() + "/cli_bad.qzi";
    {
        std::ofstream f(bad, std::ios::binary);
        f << "QZI 2003 and then nonsense";
    }
    CliRun damaged = Cli("flatten " + bad + " " + testing::TempDir() + "/never.png");
    EXPECT_EQ(damaged.status, 1);
    EXPECT_NE(damaged.err.find("damaged"), std::string::npos);
    CliRun wrongType = Cli("info " + testing::TempDir() + "/cli_stderr.txt");
    EXPECT_EQ(wrongType.status, 1);
    EXPECT_EQ(Cli("info " + MakeDocument() + " --json > /dev/full").status, 1);
    EXPECT_EQ(Cli("").status, 2);
    EXPECT_EQ(Cli("frobnicate x").status, 2);
}

TEST(Cli, ConvertBetweenDocumentsAndImages) {
    const std::string doc = MakeDocument();
    const std::string dir = testing::TempDir();
    // Document -> PNG over a chosen background -> back into a document -> and out again.
    CliRun toPng = Cli("convert " + doc + " " + dir + "/cli_conv.png --background 00ff00");
    ASSERT_EQ(toPng.status, 0) << toPng.err;
    int w = 0, h = 0;
    std::vector<unsigned char> px;
    ASSERT_TRUE(ReadPng(dir + "/cli_conv.png", w, h, px));
    EXPECT_EQ(w, 20);
    EXPECT_EQ(h, 10);
    EXPECT_EQ(px[4 * 19 + 0], 0); // (19, 0): only the background
    EXPECT_EQ(px[4 * 19 + 1], 255);
    EXPECT_EQ(px[4 * 19 + 3], 255);

    CliRun info = Cli("info " + dir + "/cli_conv.png --json");
    ASSERT_EQ(info.status, 0) << info.err;
    EXPECT_NE(info.out.find("\"format\":\"png\""), std::string::npos) << info.out;
    CliRun toDoc = Cli("convert " + dir + "/cli_conv.png " + dir + "/cli_conv.qzi");
    ASSERT_EQ(toDoc.status, 0) << toDoc.err;
    CliRun toJpg = Cli("convert " + dir + "/cli_conv.qzi " + dir + "/cli_conv.jpg --option 40");
    ASSERT_EQ(toJpg.status, 0) << toJpg.err;
    CliRun toBmp = Cli("convert " + dir + "/cli_conv.jpg " + dir + "/cli_conv.bmp --option 2");
    ASSERT_EQ(toBmp.status, 0) << toBmp.err;
    CliRun toGif = Cli("convert " + dir + "/cli_conv.bmp " + dir + "/cli_conv.gif");
    ASSERT_EQ(toGif.status, 0) << toGif.err;
    CliRun gifInfo = Cli("info " + dir + "/cli_conv.gif --json");
    ASSERT_EQ(gifInfo.status, 0) << gifInfo.err;
    EXPECT_NE(gifInfo.out.find("\"format\":\"gif\""), std::string::npos) << gifInfo.out;
    // Layers survive a trip through PSD; the flattened formats give one object.
    CliRun toPsd = Cli("convert " + doc + " " + dir + "/cli_conv.psd");
    ASSERT_EQ(toPsd.status, 0) << toPsd.err;
    CliRun psdInfo = Cli("info " + dir + "/cli_conv.psd --json");
    ASSERT_EQ(psdInfo.status, 0) << psdInfo.err;
    EXPECT_NE(psdInfo.out.find("\"name\""), psdInfo.out.rfind("\"name\"")) << psdInfo.out;
    CliRun toCur = Cli("convert " + dir + "/cli_conv.psd " + dir + "/cli_conv.cur --option 131073");
    ASSERT_EQ(toCur.status, 0) << toCur.err;
    CliRun bmpInfo = Cli("info " + dir + "/cli_conv.bmp");
    ASSERT_EQ(bmpInfo.status, 0) << bmpInfo.err;
    EXPECT_NE(bmpInfo.out.find("canvas: 20 x 10"), std::string::npos) << bmpInfo.out;

    EXPECT_EQ(Cli("convert " + doc + " " + dir + "/x.heic").status, 1); // read only
    EXPECT_EQ(Cli("convert " + doc + " " + dir + "/x.png --background green").status, 2);
    EXPECT_EQ(Cli("convert " + doc + " " + dir + "/x.png --option").status, 2);
    CliRun missingDir = Cli("convert " + doc + " /nonexistent/dir/x.png");
    EXPECT_EQ(missingDir.status, 1);
    EXPECT_NE(missingDir.err.find("/nonexistent/dir/x.png"), std::string::npos);
}

#include "codecs/OpenExport.h"

#include <cstring>

namespace {

// A 12 x 8 animation of three frames: a background with a square moving over it.
std::string MakeAnimation(const std::string& name) {
    CDocImage doc;
    doc.width = 12;
    doc.height = 8;
    doc.delay = 9;
    for (int i = 0; i < 3; ++i) {
        Ref<CObjContent> c = MakeRef<CObjContent>(KindImage);
        c->SetRaster(i == 0 ? CreateSolidDIB(12, 8, RGB(0, 0, 200), 255)
                            : CreateSolidDIB(3, 3, RGB(250, 10 * i, 0), 255));
        Ref<CDrawObj> o = MakeRef<CDrawObj>(c);
        o->visible = 1;
        o->x = 4 * i;
        o->y = i;
        doc.objects.AddTail(o);
    }
    const std::string path = testing::TempDir() + "/" + name;
    EXPECT_TRUE(ExportFile(doc, path, 0, kExportAnimate, nullptr, 0));
    return path;
}

int ObjectCount(const std::string& path) {
    CDocImage doc;
    LoadFlags flags;
    return OpenFile(doc, path, flags, nullptr) ? doc.objects.Count() : -1;
}

} // namespace

TEST(Cli, AnimateKeepsEveryFrame) {
    const std::string dir = testing::TempDir();
    const std::string anim = MakeAnimation("cli_anim.gif");
    ASSERT_EQ(ObjectCount(anim), 3);

    // Every frame of the animation goes into the new one; without --animate the first frame
    // alone is the picture, as the editor opens it.
    CliRun again = Cli("convert " + anim + " " + dir + "/cli_again.gif --animate");
    ASSERT_EQ(again.status, 0) << again.err;
    CDocImage a, b;
    LoadFlags flags;
    ASSERT_TRUE(OpenFile(a, anim, flags, nullptr));
    ASSERT_TRUE(OpenFile(b, dir + "/cli_again.gif", flags, nullptr));
    ASSERT_EQ(b.objects.Count(), 3);
    EXPECT_EQ(b.delay, 9);
    for (int i = 0; i < 3; ++i) {
        for (CDocImage* d : {&a, &b})
            for (int k = 0; k < 3; ++k)
                d->objects.At(k)->visible = k <= i;
        const PackedDib x = a.CompositeVisible(12, 8), y = b.CompositeVisible(12, 8);
        int differ = 0;
        for (int py = 0; py < 8; ++py)
            for (int px = 0; px < 12; ++px)
                differ += std::memcmp(x.Pixel32(px, py), y.Pixel32(px, py), 4) != 0;
        EXPECT_EQ(differ, 0) << "frame " << i;
    }
    CliRun single = Cli("convert " + anim + " " + dir + "/cli_single.gif");
    ASSERT_EQ(single.status, 0) << single.err;
    EXPECT_EQ(ObjectCount(dir + "/cli_single.gif"), 1);
    CliRun png = Cli("convert " + anim + " " + dir + "/cli_first.png");
    ASSERT_EQ(png.status, 0) << png.err;
    int w = 0, h = 0;
    std::vector<unsigned char> px;
    ASSERT_TRUE(ReadPng(dir + "/cli_first.png", w, h, px));
    EXPECT_EQ(px[2], 200); // the first frame's blue, not an empty canvas
    EXPECT_EQ(px[3], 255);

    // Animated cursors take every frame the same way.
    ASSERT_EQ(Cli("convert " + anim + " " + dir + "/cli_anim.ani --animate").status, 0);
    EXPECT_EQ(ObjectCount(dir + "/cli_anim.ani"), 3);
    ASSERT_EQ(Cli("convert " + anim + " " + dir + "/cli_one.ani").status, 0);
    EXPECT_EQ(ObjectCount(dir + "/cli_one.ani"), 1);

    // A document's visible objects are the frames; hidden ones stay out.
    CliRun fromDoc = Cli("convert " + MakeDocument() + " " + dir + "/cli_doc.gif --animate");
    ASSERT_EQ(fromDoc.status, 0) << fromDoc.err;
    EXPECT_EQ(ObjectCount(dir + "/cli_doc.gif"), 2);

    // Another program counts the frames too.
    FILE* p = popen("/usr/bin/identify -version 2>/dev/null", "r");
    char banner[128] = {};
    const bool magick = p && fread(banner, 1, sizeof banner - 1, p) > 0 && std::strstr(banner, "ImageMagick");
    if (p) pclose(p);
    if (magick) {
        FILE* id = popen(("/usr/bin/identify -format '%T,' " + dir + "/cli_again.gif").c_str(), "r");
        ASSERT_NE(id, nullptr);
        char out[64] = {};
        fread(out, 1, sizeof out - 1, id);
        pclose(id);
        EXPECT_STREQ(out, "9,9,9,");
    }

    EXPECT_EQ(Cli("convert " + anim + " " + dir + "/x.gif --animate 1").status, 2);
}

#include "cli/Json.h"

#include <cmath>

TEST(Cli, JsonStaysValidForAnyValue) {
    zepho::cli::JsonWriter j;
    j.BeginObject().Field("nan", std::nan("")).Field("name", std::string("a\xff\"b\xc3\xa9")).EndObject();
    EXPECT_EQ(j.Take(), "{\"nan\":null,\"name\":\"a\\ufffd\\\"b\xc3\xa9\"}");
}

TEST(Cli, WhatCouldNotBeKeptIsSaidAndEmptyResultsFail) {
    const std::string dir = testing::TempDir();
    // An 800 x 600 picture becomes a 256 x 192 icon, with a one-line note.
    CDocImage big;
    big.width = 800;
    big.height = 600;
    Ref<CObjContent> c = MakeRef<CObjContent>(KindImage);
    c->SetRaster(CreateSolidDIB(800, 600, RGB(200, 30, 30), 255));
    Ref<CDrawObj> o = MakeRef<CDrawObj>(c);
    o->visible = 1;
    big.objects.AddTail(o);
    ASSERT_EQ(big.SaveNative(dir + "/cli_big.qzi", nullptr), 1);
    for (const char* ext : {"ico", "cur", "ani"}) {
        const std::string out = dir + "/cli_big." + ext;
        CliRun icon = Cli("convert " + dir + "/cli_big.qzi " + out);
        ASSERT_EQ(icon.status, 0) << icon.err;
        EXPECT_EQ(icon.err,
                  "zepho-cli: " + out +
                      ": note: Icons and cursors hold at most 256 x 256 pixels: the 800 x 600 picture is "
                      "saved scaled down to 256 x 192.\n");
        CliRun info = Cli("info " + out);
        ASSERT_EQ(info.status, 0) << info.err;
        EXPECT_NE(info.out.find("canvas: 256 x 192"), std::string::npos) << info.out;
    }
    EXPECT_EQ(Cli("convert " + MakeDocument() + " " + dir + "/cli_small.ico").err, "");

    // A PSD none of whose layers can be read fails with the reason instead of an empty success.
    CliRun toPsd = Cli("convert " + MakeDocument() + " " + dir + "/cli_layers.psd");
    ASSERT_EQ(toPsd.status, 0) << toPsd.err;
    std::vector<unsigned char> psd;
    {
        std::ifstream f(dir + "/cli_layers.psd", std::ios::binary);
        psd.assign(std::istreambuf_iterator<char>(f), {});
    }
    for (std::size_t i = 0; i + 8 <= psd.size(); ++i)
        if (std::memcmp(&psd[i], "8BIMnorm", 8) == 0) psd[i + 3] = 'X'; // no layer is ours any more
    {
        std::ofstream f(dir + "/cli_nothing.psd", std::ios::binary);
        f.write(reinterpret_cast<const char*>(psd.data()), static_cast<std::streamsize>(psd.size()));
    }
    CliRun nothing = Cli("info " + dir + "/cli_nothing.psd");
    EXPECT_EQ(nothing.status, 1);
    EXPECT_EQ(nothing.err,
              "zepho-cli: " + dir +
                  "/cli_nothing.psd: None of the layers of this PSD file could be read, so there is "
                  "nothing to show.\n");
    EXPECT_EQ(nothing.out, "");

    // A video damaged after its third frame: the three are kept, a note says so, the run succeeds.
    const std::string video = dir + "/cli_cut.avi";
    ASSERT_TRUE(test::WriteTestAvi(video, 16, 8, 10, {6}, 3));
    CliRun cut = Cli("convert " + video + " " + dir + "/cli_cut.qzi");
    EXPECT_EQ(cut.status, 0);
    EXPECT_EQ(cut.err,
              "zepho-cli: " + video +
                  ": note: Only the first 3 frames of this video could be read; they were imported and the "
                  "rest was left out.\n");
    CliRun kept = Cli("info " + dir + "/cli_cut.qzi");
    EXPECT_NE(kept.out.find("objects: 3"), std::string::npos) << kept.out;
    ASSERT_TRUE(test::WriteTestAvi(video, 16, 8, 10, {6}, 0));
    EXPECT_EQ(Cli("info " + video).status, 1);
}

TEST(Cli, ImageMagicksZipCodedPsdOpensWithItsLayers) {
    if (test::ImageMagickConvert().empty()) GTEST_SKIP() << test::kNoImageMagick;
    const std::string dir = testing::TempDir();
    const std::string a = dir + "/cli_a.png", b = dir + "/cli_b.png", psd = dir + "/cli_theirs.psd";
    ASSERT_TRUE(test::ImageMagickRun("-size 40x30 plasma:fractal -seed 3 '" + a + "'"));
    ASSERT_TRUE(test::ImageMagickRun(
        "-size 20x10 gradient:red-blue -alpha set -channel A -evaluate set 50% '" + b + "'"));
    ASSERT_TRUE(test::ImageMagickRun("'" + a + "' '" + a + "' '" + b + "' -compress zip '" + psd + "'"));
    CliRun info = Cli("info " + psd);
    ASSERT_EQ(info.status, 0) << info.err;
    EXPECT_NE(info.out.find("objects: 2"), std::string::npos) << info.out;
    EXPECT_NE(info.out.find("size 20 x 10"), std::string::npos) << info.out;
}

#include "extlib/PngFile.h"

#include <dirent.h>
#include <sys/stat.h>

namespace {

std::vector<std::string> ListDir(const std::string& dir) {
    std::vector<std::string> names;
    if (DIR* d = opendir(dir.c_str())) {
        while (const dirent* e = readdir(d))
            if (std::string(e->d_name) != "." && std::string(e->d_name) != "..") names.push_back(e->d_name);
        closedir(d);
    }
    std::sort(names.begin(), names.end());
    return names;
}

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> out;
    std::stringstream ss(text);
    for (std::string line; std::getline(ss, line);)
        out.push_back(line);
    return out;
}

std::string Slurp(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    std::stringstream ss;
    ss << f.rdbuf();
    return ss.str();
}

std::string FreshDir(const std::string& name) {
    const std::string dir = testing::TempDir() + "/" + name;
    std::system(("rm -rf '" + dir + "'").c_str());
    mkdir(dir.c_str(), 0777);
    return dir;
}

} // namespace

#include "codecs/GifCodec.h"
#include "codecs/PsdCodec.h"
#include "support/AviWriter.h"
#include "support/GifBuilder.h"
#include "support/IconFiles.h"

#include <regex>

namespace {

struct Listed {
    std::string name;
    bool visible = false;
};

// The objects that `info --json` lists, bottom first.
std::vector<Listed> ListObjects(const std::string& file, const std::string& options = {}) {
    const CliRun r = Cli("info " + file + " --json" + options);
    EXPECT_EQ(r.status, 0) << file << ": " << r.err;
    std::vector<Listed> out;
    static const std::regex object("\"index\":\\d+,\"name\":\"([^\"]*)\".*?\"visible\":(true|false)");
    for (auto it = std::sregex_iterator(r.out.begin(), r.out.end(), object); it != std::sregex_iterator();
         ++it)
        out.push_back({(*it)[1].str(), (*it)[2].str() == "true"});
    return out;
}

void PutBytes(const std::string& path, const std::vector<BYTE>& bytes) {
    std::ofstream f(path, std::ios::binary | std::ios::trunc);
    f.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

// A one-object document of a solid colour.
Ref<CDocImage> SolidDocument(int w, int h, COLORREF colour) {
    Ref<CDocImage> doc = MakeRef<CDocImage>();
    doc->width = w;
    doc->height = h;
    Ref<CDrawObj> o = MakeRef<CDrawObj>(MakeRef<CObjContent>(KindImage));
    o->content->SetRaster(CreateSolidDIB(w, h, colour, 255));
    o->visible = 1;
    doc->objects.AddTail(o);
    return doc;
}

} // namespace

TEST(CliBatch, ManyFilesOnTwoThreadsOneDamagedNothingOverwritten) {
    const std::string in = FreshDir("cli_batch_in"), out = testing::TempDir() + "/cli_batch_out";
    std::system(("rm -rf '" + out + "'").c_str());
    std::string files;
    for (int i = 0; i < 50; ++i) {
        const std::string path = in + "/img_" + std::to_string(i) + ".png";
        if (i == 17) {
            // A PNG signature and then rubbish.
            std::ofstream(path, std::ios::binary) << "\x89PNG\r\n\x1a\n and nothing that decodes";
        } else {
            PackedDib d =
                CreateSolidDIB(6 + i % 5, 4 + i % 3, RGB(i * 5, 255 - i, 9), static_cast<BYTE>(100 + i));
            ASSERT_TRUE(WritePngRgba(path, d));
        }
        files += " " + path;
    }
    CliRun run = Cli("convert" + files + " --out-dir " + out + " --to webp -j 2");
    EXPECT_EQ(run.status, 1);
    std::vector<std::string> produced = ListDir(out);
    ASSERT_EQ(produced.size(), 49u); // no partial file, no temporary left behind
    for (const std::string& name : produced)
        EXPECT_TRUE(name.size() > 5 && name.substr(name.size() - 5) == ".webp" && name[0] != '.') << name;
    EXPECT_EQ(std::count(produced.begin(), produced.end(), "img_17.webp"), 0);
    const std::vector<std::string> lines = Lines(run.err);
    ASSERT_EQ(lines.size(), 2u) << run.err; // one error line and the summary
    EXPECT_NE(lines[0].find("img_17.png"), std::string::npos);
    EXPECT_EQ(lines[1], "converted 49 of 50 files; 1 failed");
    // The outputs are pictures of the inputs, alpha included.
    CliRun info = Cli("info " + out + "/img_3.webp");
    ASSERT_EQ(info.status, 0) << info.err;
    EXPECT_NE(info.out.find("canvas: 9 x 4"), std::string::npos) << info.out;
    CliRun toPng = Cli("convert " + out + "/img_3.webp " + out + "/../cli_batch_back.png --keep-alpha");
    ASSERT_EQ(toPng.status, 0) << toPng.err;
    int w = 0, h = 0;
    std::vector<unsigned char> px;
    ASSERT_TRUE(ReadPng(out + "/../cli_batch_back.png", w, h, px));
    EXPECT_EQ(px[3], 103); // WebP and its export keep the transparency

    // Again: every output exists, so nothing is written; a changed output stays as it is.
    std::ofstream(out + "/img_4.webp", std::ios::binary | std::ios::trunc) << "mine";
    run = Cli("convert" + files + " --out-dir " + out + " --to webp -j 2");
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(Lines(run.err).size(), 51u);
    EXPECT_NE(run.err.find("already exists"), std::string::npos);
    EXPECT_EQ(Slurp(out + "/img_4.webp"), "mine");
    // --force replaces them; one thread is enough.
    run = Cli("convert" + files + " --out-dir " + out + " --to .WEBP --force -j 1");
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(Lines(run.err).size(), 2u) << run.err;
    EXPECT_NE(Slurp(out + "/img_4.webp"), "mine");
    EXPECT_EQ(ListDir(out).size(), 49u);

    // Nothing failing: exit 0. Two inputs that would write one output: the second fails.
    const std::string two = FreshDir("cli_batch_two");
    run = Cli("convert " + in + "/img_1.png " + in + "/img_2.png " + in + "/img_1.png --out-dir " + two +
              " --to avif --quality 70 --speed 10");
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.err.find("would write"), std::string::npos) << run.err;
    EXPECT_EQ(ListDir(two).size(), 2u);
    run = Cli("convert " + in + "/img_5.png " + in + "/img_6.png --out-dir " + two +
              "/sub --to tif --keep-alpha");
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(Lines(run.err).back(), "converted 2 of 2 files");
    EXPECT_EQ(ListDir(two + "/sub"), (std::vector<std::string>{"img_5.tif", "img_6.tif"}));

    // Usage errors are caught before any work.
    EXPECT_EQ(Cli("convert " + in + "/img_1.png --out-dir " + two + " --to jpg --keep-alpha").status, 2);
    EXPECT_EQ(Cli("convert " + in + "/img_1.png --out-dir " + two + " --to xyz").status, 2);
    EXPECT_EQ(Cli("convert " + in + "/img_1.png --out-dir " + two).status, 2);
    EXPECT_EQ(Cli("convert " + in + "/img_1.png --out-dir " + two + " --to png -j 0").status, 2);
}

TEST(CliBatch, KeepAlphaAnimateAndCodecOptionsForOneFile) {
    const std::string doc = MakeDocument();
    const std::string dir = testing::TempDir();
    int w = 0, h = 0;
    std::vector<unsigned char> px;
    // --keep-alpha: the empty corner stays transparent instead of taking the background.
    ASSERT_EQ(Cli("convert " + doc + " " + dir + "/cli_keep.png --keep-alpha --background 00ff00").status, 0);
    ASSERT_TRUE(ReadPng(dir + "/cli_keep.png", w, h, px));
    EXPECT_EQ(px[4 * 19 + 3], 0);
    EXPECT_EQ(px[3], 128);
    ASSERT_EQ(Cli("convert " + doc + " " + dir + "/cli_keep.bmp --keep-alpha").status, 0);
    CliRun back = Cli("convert " + dir + "/cli_keep.bmp " + dir + "/cli_keep_bmp.png --keep-alpha");
    ASSERT_EQ(back.status, 0) << back.err;
    ASSERT_TRUE(ReadPng(dir + "/cli_keep_bmp.png", w, h, px));
    EXPECT_EQ(px[4 * 19 + 3], 0);
    EXPECT_EQ(px[3], 128);
    CliRun jpg = Cli("convert " + doc + " " + dir + "/cli_keep.jpg --keep-alpha");
    EXPECT_EQ(jpg.status, 1);
    EXPECT_NE(jpg.err.find("no transparency"), std::string::npos);

    // --animate: one frame per visible object (the document has two).
    ASSERT_EQ(Cli("convert " + doc + " " + dir + "/cli_anim.webp --animate --lossless").status, 0);
    CliRun info = Cli("info " + dir + "/cli_anim.webp");
    ASSERT_EQ(info.status, 0) << info.err;
    EXPECT_NE(info.out.find("objects: 2"), std::string::npos) << info.out;
    // An animation opens as in the editor: its first frame shows (not an empty canvas)...
    ASSERT_EQ(Cli("convert " + dir + "/cli_anim.webp " + dir + "/cli_first.png --keep-alpha").status, 0);
    ASSERT_TRUE(ReadPng(dir + "/cli_first.png", w, h, px));
    EXPECT_EQ(px[4 * 2 + 0], 255); // (2, 0): the bottom object alone, half transparent red
    EXPECT_EQ(px[4 * 2 + 3], 128);
    // ...and with --animate every frame is shown and written again.
    ASSERT_EQ(Cli("convert " + dir + "/cli_anim.webp " + dir + "/cli_anim2.webp --animate --lossless").status,
              0);
    info = Cli("info " + dir + "/cli_anim2.webp");
    EXPECT_NE(info.out.find("objects: 2"), std::string::npos) << info.out;
    ASSERT_EQ(Cli("convert " + doc + " " + dir + "/cli_still.webp --quality 20").status, 0);
    info = Cli("info " + dir + "/cli_still.webp");
    EXPECT_NE(info.out.find("objects: 1"), std::string::npos) << info.out;
    EXPECT_EQ(Cli("convert " + doc + " " + dir + "/cli_anim.png --animate").status, 1);
    EXPECT_EQ(Cli("convert " + doc + " " + dir + "/cli.avif --quality 101").status, 2);
    EXPECT_EQ(Cli("convert " + doc + " " + dir + "/cli.avif --speed 11").status, 2);
    ASSERT_EQ(Cli("convert " + doc + " " + dir + "/cli.avif --quality 100 --speed 10").status, 0);
    info = Cli("info " + dir + "/cli.avif --json");
    EXPECT_NE(info.out.find("\"format\":\"avif\""), std::string::npos) << info.out;
}

// The batch tool opens every kind of file exactly as the editor's Open does: frames and icon
// images are named by their kind with only the bottom one showing, PSD layers keep their own
// visibility, and a layered PSD can be read as its composite instead.
TEST(Cli, OpensFilesAsTheEditorDoes) {
    const std::string dir = testing::TempDir() + "/cli_open_";
    using test::GifBuilder;

    const std::string single = dir + "single.gif";
    ASSERT_TRUE(ExportGif(*SolidDocument(6, 4, RGB(200, 0, 0)), single, nullptr, false));
    GifBuilder three;
    three.Header("GIF89a", 4, 4, {0xFF0000, 0x00FF00, 0x0000FF, 0xFFFFFF});
    for (int i = 0; i < 3; ++i)
        three.Control(0x04, 10, 0).Image(0, 0, 4, 4, std::vector<BYTE>(16, static_cast<BYTE>(i)), 2);
    three.Trailer();
    PutBytes(dir + "three.gif", three.bytes);

    using test::Resource;
    const test::Bytes red = Resource(2, 2, 32, {}, {0xFFFF0000, 0xFFFF0000, 0xFFFF0000, 0xFFFF0000}, {});
    const test::Bytes blue = Resource(3, 3, 24, {}, std::vector<std::uint32_t>(9, 0x0000FF), {});
    PutBytes(dir + "two.ico", test::IconFile(1, {red, blue}));
    test::Bytes chunks = test::Anih(2, 6);
    test::Bytes icons = test::Chunk("icon", test::IconFile(2, {red}));
    test::Append(icons, test::Chunk("icon", test::IconFile(2, {blue})));
    test::Append(chunks, test::List("fram", icons));
    PutBytes(dir + "two.ani", test::Riff(chunks));
    ASSERT_TRUE(test::WriteTestAvi(dir + "clip.avi", 8, 6, 10, {3}));

    // Only the bottom one visible, every object named by its kind.
    const struct {
        std::string file;
        std::size_t count;
    } animations[] = {{single, 1},
                      {dir + "three.gif", 3},
                      {dir + "two.ico", 2},
                      {dir + "two.ani", 2},
                      {dir + "clip.avi", 3}};
    for (const auto& a : animations) {
        SCOPED_TRACE(a.file);
        const std::vector<Listed> objects = ListObjects(a.file);
        ASSERT_EQ(objects.size(), a.count);
        for (std::size_t i = 0; i < objects.size(); ++i) {
            EXPECT_EQ(objects[i].name, "Obj - " + std::to_string(i + 1));
            EXPECT_EQ(objects[i].visible, i == 0);
        }
    }

    // What shows is what the flattened image and the converted copy hold.
    int w = 0, h = 0;
    std::vector<unsigned char> px;
    ASSERT_EQ(Cli("flatten " + single + " " + dir + "single.png").status, 0);
    ASSERT_TRUE(ReadPng(dir + "single.png", w, h, px));
    ASSERT_EQ(w * h * 4, static_cast<int>(px.size()));
    EXPECT_EQ(px[0], 200);
    EXPECT_EQ(px[3], 255);
    ASSERT_EQ(Cli("convert " + dir + "two.ico " + dir + "ico.png").status, 0);
    ASSERT_TRUE(ReadPng(dir + "ico.png", w, h, px));
    EXPECT_EQ(w, 3); // the canvas is the largest image
    EXPECT_EQ(px[0], 255);
    EXPECT_EQ(px[2], 0); // the red bottom image, not the blue one above it
    const std::string objectsDir = dir + "objects";
    ASSERT_EQ(Cli("objects " + dir + "three.gif " + objectsDir).status, 0);
    std::ifstream manifest(objectsDir + "/manifest.json");
    std::stringstream m;
    m << manifest.rdbuf();
    EXPECT_NE(m.str().find("\"name\":\"Obj - 3\""), std::string::npos) << m.str();

    // A layered PSD whose bottom layer is hidden keeps it hidden.
    Ref<CDocImage> layered = SolidDocument(5, 5, RGB(0, 0, 255));
    layered->objects.Head()->visible = 0;
    Ref<CDrawObj> top = MakeRef<CDrawObj>(MakeRef<CObjContent>(KindImage));
    top->content->SetRaster(CreateSolidDIB(5, 5, RGB(0, 160, 0), 255));
    top->visible = 1;
    layered->objects.AddTail(top);
    const std::string psd = dir + "layers.psd";
    ASSERT_TRUE(ExportPsd(*layered, psd, nullptr, RGB(255, 255, 255)));
    const std::vector<Listed> layers = ListObjects(psd);
    ASSERT_EQ(layers.size(), 2u);
    EXPECT_EQ(layers[0].name, "Obj - 1");
    EXPECT_FALSE(layers[0].visible);
    EXPECT_EQ(layers[1].name, "Obj - 2");
    EXPECT_TRUE(layers[1].visible);
    // ... or comes as its one composite image when asked.
    const std::vector<Listed> composite = ListObjects(psd, " --psd-composite");
    ASSERT_EQ(composite.size(), 1u);
    EXPECT_EQ(composite[0].name, "Obj - 1");
    EXPECT_TRUE(composite[0].visible);
    ASSERT_EQ(Cli("flatten --psd-composite " + psd + " " + dir + "psd.png").status, 0);
    ASSERT_TRUE(ReadPng(dir + "psd.png", w, h, px));
    EXPECT_EQ(px[1], 160);
    EXPECT_EQ(px[3], 255);

    // Native documents keep their stored names and visibility.
    const std::vector<Listed> native = ListObjects(MakeDocument());
    ASSERT_EQ(native.size(), 3u);
    EXPECT_EQ(native[0].name, "Bottom");
    EXPECT_TRUE(native[1].visible);
    EXPECT_NE(Cli("--help").err.find(".avi"), std::string::npos);
}

// Names with letters beyond ASCII come out whole and as valid UTF-8, however long.
TEST(Cli, LongAccentedNamesStayValidText) {
    CDocImage doc;
    doc.width = doc.height = 2;
    Ref<CDrawObj> o = MakeRef<CDrawObj>(MakeRef<CObjContent>(KindImage));
    o->content->SetRaster(CreateSolidDIB(2, 2, RGB(1, 2, 3), 255));
    for (int i = 0; i < 60; ++i)
        o->content->name += "\u00e9";
    doc.objects.AddTail(o);
    const std::string path = testing::TempDir() + "/cli_accents.qzi";
    ASSERT_EQ(doc.SaveNative(path, nullptr), 1);
    const std::vector<Listed> objects = ListObjects(path);
    ASSERT_EQ(objects.size(), 1u);
    std::string want;
    for (int i = 0; i < 48; ++i)
        want += "\u00e9";
    EXPECT_EQ(objects[0].name, want);
}

// Names as long as the file system allows convert one by one and in a batch; a failed write says
// why; what a killed run left in the output folder is gone after the next one.
TEST(CliBatch, LongNamesReasonsAndLeftovers) {
    const std::string in = FreshDir("cli_long_in"), out = FreshDir("cli_long_out");
    const std::string longName = std::string(246, 'l');
    ASSERT_TRUE(WritePngRgba(in + "/" + longName + ".png", CreateSolidDIB(30, 20, RGB(9, 99, 199), 255)));
    ASSERT_TRUE(WritePngRgba(in + "/small.png", CreateSolidDIB(30, 20, RGB(200, 10, 10), 255)));
    // A run killed in the middle of a save left its temporary file, which nobody holds.
    const std::string left = out + "/small.webp" + kTempMarker + "Xy12Zq";
    std::ofstream(left) << "half a file";

    CliRun run =
        Cli("convert " + in + "/" + longName + ".png " + in + "/small.png --out-dir " + out + " --to webp");
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(ListDir(out), (std::vector<std::string>{longName + ".webp", "small.webp"}));
    // One input to a name of 255 bytes, twice (the second replaces the first).
    const std::string longest = out + "/" + std::string(251, 'x') + ".qzi";
    for (int i = 0; i < 2; ++i) {
        run = Cli("convert " + out + "/small.webp " + longest);
        EXPECT_EQ(run.status, 0) << run.err;
    }
    EXPECT_EQ(Cli("info " + longest).status, 0);
    EXPECT_EQ(ListDir(out).size(), 3u);

    // The system's reason: a folder that is not there, a name too long, a disk too full (a
    // file-size limit stands in for it).
    run = Cli("convert " + in + "/small.png " + out + "/none/x.png");
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.err.find("cannot write the image: No such file or directory"), std::string::npos)
        << run.err;
    run = Cli("convert " + in + "/small.png " + out + "/" + std::string(260, 'y') + ".png");
    EXPECT_NE(run.err.find("cannot write the image: File name too long"), std::string::npos) << run.err;
    run = Cli("convert " + in + "/small.png " + out + "/big.bmp", "ulimit -f 1;");
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.err.find("cannot write the image: File too large"), std::string::npos) << run.err;
    run = Cli("convert " + in + "/small.png --out-dir " + out + " --to bmp", "ulimit -f 1;");
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.err.find("cannot write the image: File too large"), std::string::npos) << run.err;
    EXPECT_EQ(ListDir(out).size(), 3u); // and nothing half written
}

// JPEG XL is written with the quality, lossless and animation options and read back by libjxl's
// own djxl; HEIF files open but are not written.
TEST(CliBatch, JpegXlWrittenAndHeifRead) {
    const std::string doc = MakeDocument();
    const std::string dir = testing::TempDir() + "/cli_jxl_";
    const bool djxl = std::system("command -v djxl >/dev/null 2>&1") == 0;
    int w = 0, h = 0;
    std::vector<unsigned char> px;
    struct Case {
        const char* name;
        const char* options;
        int objects;
    };
    for (const Case& c : {Case{"q80.jxl", "--quality 80", 1}, Case{"lossless.jxl", "--lossless", 1},
                          Case{"anim.jxl", "--animate --lossless", 2}}) {
        SCOPED_TRACE(c.name);
        const std::string out = dir + c.name;
        CliRun run = Cli("convert " + doc + " " + out + " " + c.options);
        ASSERT_EQ(run.status, 0) << run.err;
        CliRun info = Cli("info " + out + " --json");
        EXPECT_NE(info.out.find("\"format\":\"jxl\""), std::string::npos) << info.out;
        EXPECT_NE(info.out.find("\"index\":" + std::to_string(c.objects - 1)), std::string::npos) << info.out;
        EXPECT_EQ(info.out.find("\"index\":" + std::to_string(c.objects)), std::string::npos) << info.out;
        if (djxl && c.objects == 1) {
            ASSERT_EQ(std::system(("djxl '" + out + "' '" + out + ".png' >/dev/null 2>&1").c_str()), 0);
            ASSERT_TRUE(ReadPng(out + ".png", w, h, px));
            EXPECT_EQ(w, 20);
            // (0, 0): the half transparent red of the bottom object, kept over no background.
            EXPECT_NEAR(px[0], 255, 4);
            EXPECT_NEAR(px[3], 128, 4);
            EXPECT_EQ(px[4 * 19 + 3], 0);
        }
    }
    EXPECT_EQ(Cli("convert " + doc + " " + dir + "x.jxl --quality 0").status, 2);
    CliRun heic = Cli("convert " + doc + " " + dir + "x.heic");
    EXPECT_EQ(heic.status, 1);
    EXPECT_FALSE(std::ifstream(dir + "x.heic").good());

    if (std::system("command -v heif-enc >/dev/null 2>&1") != 0) {
        std::printf("heif-enc not installed (libheif-examples): HEIF input not checked\n");
        return;
    }
    ASSERT_EQ(Cli("convert " + doc + " " + dir + "in.png --keep-alpha").status, 0);
    ASSERT_EQ(
        std::system(("heif-enc -q 90 -o '" + dir + "in.heic' '" + dir + "in.png' >/dev/null 2>&1").c_str()),
        0);
    CliRun run = Cli("convert " + dir + "in.heic " + dir + "from_heic.png --keep-alpha");
    ASSERT_EQ(run.status, 0) << run.err;
    ASSERT_TRUE(ReadPng(dir + "from_heic.png", w, h, px));
    EXPECT_EQ(w, 20);
    EXPECT_NEAR(px[3], 128, 4);
    EXPECT_EQ(px[4 * 19 + 3], 0);
    // A cut one fails with the file named, the tool does not crash.
    std::ifstream in(dir + "in.heic", std::ios::binary);
    const std::string whole{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    std::ofstream(dir + "bad.heic", std::ios::binary) << whole.substr(0, whole.size() / 2);
    run = Cli("convert " + dir + "bad.heic " + dir + "bad.png");
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.err.find("bad.heic"), std::string::npos) << run.err;
}

namespace {

// The PNG's colour type: 2 RGB, 6 RGBA, 3 palette.
int PngColourType(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    char head[26] = {};
    f.read(head, sizeof head);
    return f ? static_cast<unsigned char>(head[25]) : -1;
}

std::string FileText(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>()};
}

} // namespace

// Photos go a band at a time, flat pictures through a document; both give what one file at a
// time gives, on several threads and under a budget that lets one conversion run at once.
TEST(CliBatch, StreamedAndWholeConversionsAgreeUnderAMemoryBudget) {
    const std::string dir = testing::TempDir() + "/cli_stream/";
    std::system(("rm -rf " + dir + " && mkdir -p " + dir).c_str());
    PackedDib photo = PackedDib::Create(500, 700, 32);
    for (int y = 0; y < 700; ++y)
        for (int x = 0; x < 500; ++x) {
            BYTE* p = photo.Row(y) + 4 * x;
            p[0] = BYTE(x * 7 + y), p[1] = BYTE(y * 3), p[2] = BYTE(x ^ y),
            p[3] = x < 20 ? BYTE(100) : BYTE(255);
        }
    ASSERT_TRUE(WritePngRgba(dir + "photo.png", photo));
    ASSERT_TRUE(WritePngRgba(dir + "flat.png", CreateSolidDIB(600, 400, RGB(9, 99, 199), 255)));
    for (const char* ext : {"jpg", "tif", "png"}) {
        SCOPED_TRACE(ext);
        const std::string out = dir + "out_" + ext;
        const CliRun batch = Cli("convert " + dir + "photo.png " + dir + "flat.png --out-dir " + out +
                                 " --to " + ext + " -j 2 --max-pixels 1000000");
        ASSERT_EQ(batch.status, 0) << batch.err;
        for (const char* name : {"photo", "flat"}) {
            const std::string one = dir + name + "_one." + ext;
            ASSERT_EQ(Cli(std::string("convert ") + dir + name + ".png " + one).status, 0);
            EXPECT_EQ(FileText(out + "/" + name + "." + ext), FileText(one)) << name;
        }
    }
    // Flattened: the alpha channel only where some pixel is transparent, or when asked for.
    ASSERT_TRUE(WritePngRgba(dir + "opaque.png", CreateSolidDIB(300, 300, RGB(1, 2, 3), 255)));
    const struct {
        const char* in;
        const char* options;
        int type;
    } flats[] = {{"photo.png", "", 6}, {"opaque.png", "", 2}, {"opaque.png", " --keep-alpha", 6}};
    for (const auto& f : flats) {
        const std::string out = dir + "flat_" + f.in;
        const CliRun run = Cli("flatten " + dir + f.in + " " + out + f.options);
        ASSERT_EQ(run.status, 0) << run.err;
        EXPECT_EQ(PngColourType(out), f.type) << f.in << f.options;
    }
}
