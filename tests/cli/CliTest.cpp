// Runs the batch tool as a user would and checks its outputs.
#include "model/DocImage.h"
#include "model/TextObj.h"
#include "raster/Dib.h"

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

CliRun Cli(const std::string& args) {
    const std::string errFile = testing::TempDir() + "/cli_stderr.txt";
    const std::string cmd = std::string(ZEPHO_CLI) + " " + args + " 2>" + errFile;
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
