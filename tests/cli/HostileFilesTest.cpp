// Hostile files through the batch tool: each one is refused with a message that names the size,
// or opens (and draws) within the pixel budget.
#include "cli/CliRun.h"
#include "codecs/IconCodec.h"
#include "model/DocImage.h"
#include "model/RectObj.h"
#include "model/TextObj.h"
#include "platform/ByteStream.h"
#include "raster/Dib.h"

#include <gtest/gtest.h>
#include <png.h>

#include <array>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <sys/wait.h>
#include <vector>

using namespace zepho;
using test::Cli;
using test::CliRun;

namespace {

std::string WriteFile(const std::string& name, const std::vector<BYTE>& bytes) {
    const std::string path = testing::TempDir() + "/" + name;
    std::ofstream f(path, std::ios::binary);
    f.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    return path;
}

void PutLe32(std::vector<BYTE>& b, std::size_t at, std::uint32_t v) {
    for (int i = 0; i < 4; ++i)
        b[at + i] = static_cast<BYTE>(v >> (8 * i));
}

Ref<CDrawObj> Place(Ref<CObjShape> shape, ObjectKind kind, const char* name) {
    Ref<CObjContent> c = MakeRef<CObjContent>(kind);
    c->SetShape(shape);
    c->name = name;
    Ref<CDrawObj> o = MakeRef<CDrawObj>(c);
    o->visible = 1;
    return o;
}

Ref<CRectObj> Rect(double w, double h) {
    Ref<CRectObj> r = MakeRef<CRectObj>();
    r->width = w;
    r->height = h;
    r->fill = 1;
    return r;
}

// The native bytes of a document, shapes written as records (their rasters are not needed).
std::vector<BYTE> Native(const CDocImage& doc) {
    MemoryWriter out;
    EXPECT_TRUE(doc.WriteNative(out, nullptr, "x"));
    return out.Take();
}

constexpr std::size_t kTable = 36, kEntry = 100;

// A small document holding one shape, with its entry open to patching.
std::vector<BYTE> OneShape(Ref<CObjShape> shape, ObjectKind kind, int canvas = 100) {
    CDocImage doc;
    doc.width = doc.height = canvas;
    doc.objects.AddTail(Place(shape, kind, "hostile"));
    doc.objects.AddTail(Place(Rect(5, 5), KindRectangle, "ordinary"));
    return Native(doc);
}

std::vector<BYTE> HugeRectangle() {
    return OneShape(Rect(30000, 30000), KindRectangle);
}

// 64 entries whose payloads are all the first one's.
std::vector<BYTE> SharedPayload() {
    CDocImage doc;
    doc.width = doc.height = 100;
    for (int i = 0; i < 64; ++i)
        doc.objects.AddTail(Place(Rect(7000, 7000), KindRectangle, "shared"));
    std::vector<BYTE> b = Native(doc);
    const std::uint32_t offset = b[kTable] | b[kTable + 1] << 8 | b[kTable + 2] << 16 | b[kTable + 3] << 24;
    for (std::size_t i = 1; i < 64; ++i)
        PutLe32(b, kTable + i * kEntry, offset);
    return b;
}

// A shadow of size 255 on an 8000 x 8000 object: a 20400-pixel canvas blurred in floats.
std::vector<BYTE> WideShadow() {
    std::vector<BYTE> b = OneShape(Rect(8000, 8000), KindRectangle, 8000);
    const std::size_t shadow = kTable + 76; // colour, type, transparency, size, smooth, ...
    b[shadow + 4] = 4;                      // type: offset down right
    b[shadow + 6] = 255;                    // size: 255 %
    PutLe32(b, shadow + 20, 1);             // on
    return b;
}

std::vector<BYTE> FarShadowOffset() {
    std::vector<BYTE> b = OneShape(Rect(10, 10), KindRectangle);
    PutLe32(b, kTable + 64, 1000);       // x
    PutLe32(b, kTable + 84, 2147483000); // shadow offset x
    PutLe32(b, kTable + 88, 2147483000); // shadow offset y
    PutLe32(b, kTable + 96, 1);          // shadow on
    return b;
}

std::vector<BYTE> LongRectangle() {
    return OneShape(Rect(9e6, 2), KindRectangle);
}

std::vector<BYTE> SpacedText() {
    Ref<CTextObj> text = MakeRef<CTextObj>();
    CTextRun run;
    run.face = "DejaVu Sans";
    run.spacing = 16777296;
    run.SetText(u"Ab");
    text->runs.push_back(run);
    return OneShape(text, KindText);
}

// One 16 x 16 image listed by every one of 65535 directory entries.
std::vector<BYTE> RepeatedIcon() {
    constexpr std::size_t n = 65535;
    const std::size_t image = 6 + 16 * n;
    const std::size_t bytes = 40 + 16 * 16 * 4 + 16 * 4;
    std::vector<BYTE> b(image + bytes);
    b[2] = 1;
    b[4] = 0xFF;
    b[5] = 0xFF;
    for (std::size_t i = 0; i < n; ++i) {
        BYTE* e = &b[6 + 16 * i];
        e[0] = e[1] = 16;
        e[4] = 1;
        e[6] = 32;
        std::memcpy(e + 8, &bytes, 4);
        std::memcpy(e + 12, &image, 4);
    }
    BITMAPINFOHEADER h{};
    h.biSize = 40;
    h.biWidth = 16;
    h.biHeight = 32;
    h.biPlanes = 1;
    h.biBitCount = 32;
    std::memcpy(&b[image], &h, sizeof h);
    return b;
}

// A 1-bit PNG of side x side, all zero: a few kilobytes that decode to side^2 pixels.
std::vector<BYTE> BlankPng(int side) {
    std::vector<BYTE> out;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    png_set_write_fn(
        png, &out,
        [](png_structp p, png_bytep d, png_size_t n) {
            auto* v = static_cast<std::vector<BYTE>*>(png_get_io_ptr(p));
            v->insert(v->end(), d, d + n);
        },
        nullptr);
    png_set_compression_level(png, 1);
    png_set_IHDR(png, info, side, side, 1, PNG_COLOR_TYPE_GRAY, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    std::vector<BYTE> row(static_cast<std::size_t>(side + 7) / 8);
    for (int y = 0; y < side; ++y)
        png_write_row(png, row.data());
    png_write_end(png, info);
    png_destroy_write_struct(&png, &info);
    return out;
}

enum class Expect { Refused, Opens, OpensWithoutOne };

struct Case {
    const char* name;
    const char* file;
    std::function<std::vector<BYTE>()> make;
    const char* options;
    Expect expect;
};

} // namespace

// Refused: the message names the size and the budget. Opens: info and flatten both succeed, and
// an object too large to draw is left out with a line saying so.
TEST(HostileFiles, RefusedOrWithinBudget) {
    const Case cases[] = {
        // 900 megapixels fit the default budget; a smaller one refuses them before drawing.
        {"30000 x 30000 rectangle", "rect.qzi", HugeRectangle, "--max-pixels 100000000", Expect::Refused},
        {"shared payloads", "shared.qzi", SharedPayload, "", Expect::Refused},
        {"shadow of size 255", "shadow.qzi", WideShadow, "", Expect::Refused},
        {"repeated icon image", "repeat.ico", RepeatedIcon, "", Expect::Refused},
        // Decoded at one bit and then widened to 32: twice its pixels.
        {"1-bit PNG", "blank.png", [] { return BlankPng(3000); }, "--max-pixels 10000000", Expect::Refused},
        {"1-bit PNG in budget", "blank2.png", [] { return BlankPng(3000); }, "", Expect::Opens},
        {"shadow offset near INT_MAX", "offset.qzi", FarShadowOffset, "", Expect::Opens},
        {"9e6 x 2 rectangle", "long.qzi", LongRectangle, "", Expect::OpensWithoutOne},
        {"letter spacing 16777296", "spaced.qzi", SpacedText, "", Expect::OpensWithoutOne},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string path = WriteFile(c.file, c.make());
        const std::string opts = std::string(" ") + c.options;
        const CliRun info = Cli("info " + path + opts);
        if (c.expect == Expect::Refused) {
            EXPECT_EQ(info.status, 1);
            // Shared payloads are refused as damaged; the rest by their size.
            const bool shared =
                std::string(c.name) == "shared payloads" || std::string(c.name) == "repeated icon image";
            EXPECT_EQ(info.err.find("over the budget of") != std::string::npos, !shared) << info.err;
            continue;
        }
        ASSERT_EQ(info.status, 0) << info.err;
        const bool leftOut = info.err.find("left out: \"hostile\"") != std::string::npos;
        EXPECT_EQ(leftOut, c.expect == Expect::OpensWithoutOne) << info.err;
        if (c.expect == Expect::OpensWithoutOne) {
            EXPECT_NE(info.err.find("too large to draw"), std::string::npos);
            EXPECT_NE(info.out.find("ordinary"), std::string::npos) << info.out;
        }
        const CliRun flat = Cli("flatten " + path + " " + testing::TempDir() + "/hostile.png" + opts);
        EXPECT_EQ(flat.status, 0) << flat.err;
    }
}

// A budget too small for a canvas refuses even an empty document: what opens must draw.
TEST(HostileFiles, CanvasCountsAgainstTheBudget) {
    CDocImage doc;
    doc.width = 5000;
    doc.height = 5000;
    const std::string path = WriteFile("canvas.qzi", Native(doc));
    EXPECT_EQ(Cli("info " + path).status, 0);
    const CliRun tight = Cli("info " + path + " --max-pixels 1000000");
    EXPECT_EQ(tight.status, 1);
    EXPECT_NE(tight.err.find("5000 x 5000 pixels is over the budget of 1000000 pixels"), std::string::npos)
        << tight.err;
    EXPECT_EQ(Cli("info " + path + " --max-pixels 0").status, 2);
}
