// Runs the batch tool as a user would and checks its outputs.
#include "extlib/PngFile.h"
#include "model/DocImage.h"
#include "model/TextObj.h"
#include "raster/Dib.h"
#include "support/AviWriter.h"

#include <gtest/gtest.h>
#include <png.h>

#include <array>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <sys/wait.h>

using namespace zepho;

namespace {

struct CliRun {
    int status = -1;
    std::string out, err;
};

// `env` is put before the command as shell variable assignments.
CliRun Cli(const std::string& args, const std::string& env = "") {
    const std::string errFile = testing::TempDir() + "/cli_stderr.txt";
    const std::string cmd = env + " " + std::string(ZEPHO_CLI) + " " + args + " 2>" + errFile;
    CliRun r;
    FILE* p = popen(cmd.c_str(), "r");
    if (!p) return r;
    std::array<char, 4096> buf;
    std::size_t n;
    while ((n = fread(buf.data(), 1, buf.size(), p)) > 0)
        r.out.append(buf.data(), n);
    const int st = pclose(p);
    r.status = WIFEXITED(st) ? WEXITSTATUS(st) : -1;
    std::ifstream e(errFile);
    std::stringstream ss;
    ss << e.rdbuf();
    r.err = ss.str();
    return r;
}

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

    EXPECT_EQ(Cli("convert " + doc + " " + dir + "/x.webp").status, 1);
    EXPECT_EQ(Cli("convert " + doc + " " + dir + "/x.png --background green").status, 2);
    EXPECT_EQ(Cli("convert " + doc + " " + dir + "/x.png --option").status, 2);
    CliRun missingDir = Cli("convert " + doc + " /nonexistent/dir/x.png");
    EXPECT_EQ(missingDir.status, 1);
    EXPECT_NE(missingDir.err.find("/nonexistent/dir/x.png"), std::string::npos);
}

#include "cli/Json.h"

#include <cmath>

TEST(Cli, JsonStaysValidForAnyValue) {
    zepho::cli::JsonWriter j;
    j.BeginObject().Field("nan", std::nan("")).Field("name", std::string("a\xff\"b\xc3\xa9")).EndObject();
    EXPECT_EQ(j.Take(), "{\"nan\":null,\"name\":\"a\\ufffd\\\"b\xc3\xa9\"}");
}
