// Every file our writers produce is read back by ImageMagick, a decoder that shares no code with
// ours, and compared pixel by pixel with what the file should hold.
#include "CodecTestUtil.h"
#include "codecs/IconCodec.h"
#include "codecs/OpenExport.h"
#include "extlib/PngFile.h"
#include "model/Frame.h"
#include "raster/ColorReduce.h"
#include "raster/Dib.h"
#include "support/ImageMagick.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>

using namespace zepho;
using namespace zepho::test;

namespace {

std::string TempPath(const std::string& name) {
    return testing::TempDir() + "zepho_interop_" + name;
}

void SetPixel(PackedDib& d, int x, int y, std::uint32_t argb) {
    std::memcpy(d.Pixel32(x, y), &argb, 4);
}

Ref<CDrawObj> AddObject(CDocImage& doc, PackedDib raster, int x, int y, int transparency, const char* name) {
    Ref<CObjContent> c = MakeRef<CObjContent>(KindImage);
    c->SetRaster(std::move(raster));
    c->name = name;
    Ref<CDrawObj> o = MakeRef<CDrawObj>(c);
    o->x = x;
    o->y = y;
    o->visible = 1;
    o->transparency = static_cast<std::uint8_t>(transparency);
    doc.objects.AddTail(o);
    return o;
}

// Many colours: a noisy gradient under a half-transparent square that reaches past the canvas.
Ref<CDocImage> PhotoDoc() {
    Ref<CDocImage> doc = MakeRef<CDocImage>();
    doc->width = 49;
    doc->height = 31;
    std::mt19937 rng(7);
    PackedDib base = CreateSolidDIB(49, 31, 0, 255);
    for (int y = 0; y < 31; ++y)
        for (int x = 0; x < 49; ++x)
            SetPixel(base, x, y,
                     0xFF000000u | std::uint32_t(x * 5) << 16 | std::uint32_t(y * 8) << 8 |
                         std::uint32_t(rng() % 256));
    AddObject(*doc, std::move(base), 0, 0, 0, "Obj - 1");
    AddObject(*doc, CreateSolidDIB(20, 20, RGB(255, 255, 0), 160), 35, 5, 40, "Obj - 2");
    return doc;
}

// Few colours, with transparent parts: exact palettes and transparency masks.
Ref<CDocImage> GraphicDoc() {
    Ref<CDocImage> doc = MakeRef<CDocImage>();
    doc->width = 37;
    doc->height = 23;
    PackedDib d = CreateTransparentDIB(37, 23);
    const std::uint32_t colours[] = {0xFFFF0000u, 0xFF00C000u, 0xFF0000FFu, 0xFF202020u, 0xFFFFFFFFu};
    for (int y = 0; y < 23; ++y)
        for (int x = 0; x < 37; ++x)
            if ((x + y) % 7 != 0) SetPixel(d, x, y, colours[(x / 4 + y / 3) % 5]);
    AddObject(*doc, std::move(d), 0, 0, 0, "Obj - 1");
    return doc;
}

// Black and white only, for the fax codings of TIFF and 1-bit files.
Ref<CDocImage> BlackWhiteDoc() {
    Ref<CDocImage> doc = MakeRef<CDocImage>();
    doc->width = 45;
    doc->height = 17;
    PackedDib d = CreateSolidDIB(45, 17, RGB(255, 255, 255), 255);
    for (int y = 0; y < 17; ++y)
        for (int x = 0; x < 45; ++x)
            if ((x * x + y * 3) % 11 < 5) SetPixel(d, x, y, 0xFF000000u);
    AddObject(*doc, std::move(d), 0, 0, 0, "Obj - 1");
    return doc;
}

// Compares what ImageMagick decoded with what the file should hold: colour within `tolerance` per
// channel, alpha exactly when `withAlpha` (colour then only where the pixel is not transparent),
// else opaque. Reports the first differences.
::testing::AssertionResult SamePixels(const MagickImage& got, const PackedDib& want32, int tolerance,
                                      bool withAlpha) {
    if (got.width != want32.Width() || got.height != want32.Height())
        return ::testing::AssertionFailure() << "size " << got.width << " x " << got.height << ", expected "
                                             << want32.Width() << " x " << want32.Height();
    int bad = 0;
    ::testing::AssertionResult result = ::testing::AssertionSuccess();
    for (int y = 0; y < got.height; ++y)
        for (int x = 0; x < got.width; ++x) {
            const BYTE* w = want32.Pixel32(x, y);
            const unsigned char* g = got.At(x, y);
            const int wantAlpha = withAlpha ? w[3] : 255;
            bool ok = g[3] == wantAlpha;
            if (wantAlpha != 0)
                for (int c = 0; c < 3; ++c)
                    ok = ok && std::abs(int(g[c]) - int(w[2 - c])) <= tolerance;
            if (ok) continue;
            if (bad++ < 3) {
                if (bad == 1) result = ::testing::AssertionFailure();
                result << "(" << x << "," << y << ") rgba " << int(g[0]) << " " << int(g[1]) << " "
                       << int(g[2]) << " " << int(g[3]) << ", expected " << int(w[2]) << " " << int(w[1])
                       << " " << int(w[0]) << " " << wantAlpha << "; ";
            }
        }
    if (bad) result << bad << " pixels differ";
    return result;
}

// The mean difference per colour channel: a lossy coding must still show the picture.
double MeanError(const MagickImage& got, const PackedDib& want32) {
    if (got.width != want32.Width() || got.height != want32.Height()) return 255;
    double sum = 0;
    for (int y = 0; y < got.height; ++y)
        for (int x = 0; x < got.width; ++x)
            for (int c = 0; c < 3; ++c)
                sum += std::abs(int(got.At(x, y)[c]) - int(want32.Pixel32(x, y)[2 - c]));
    return sum / (3.0 * got.width * got.height);
}

// What a file of ours holds, read back by our own reader: the first object's raster.
PackedDib OurRead(const std::string& path) {
    Ref<CDocImage> doc = MakeRef<CDocImage>();
    LoadFlags flags;
    if (!OpenFile(*doc, path, flags, nullptr) || doc->objects.Count() == 0) return {};
    return doc->objects.At(0)->content->raster.Clone();
}

class Interop : public ::testing::Test {
protected:
    void SetUp() override {
        if (ImageMagickConvert().empty()) GTEST_SKIP() << kNoImageMagick;
    }
};

} // namespace

TEST_F(Interop, FlattenedExportsOfEveryLibraryFormatAndOption) {
    const COLORREF bg = RGB(30, 60, 90);
    struct Case {
        std::string ext;
        DWORD option;
        int tolerance; // lossy codings are compared with our own decoding of the file
    };
    std::vector<Case> cases = {{"png", 85, 0}, {"pcx", 85, 0}, {"jpg", 85, 3}, {"jpg", 20, 3}};
    for (DWORD bits = 0; bits < 4; ++bits)
        cases.push_back({"tga", bits, 0}); // RLE, bottom-up
    for (DWORD code : {1, 3, 4, 5, 7, 8, 32946})
        cases.push_back({"tif", code, code == 7 ? 3 : 0});
    for (const auto& make : {PhotoDoc, GraphicDoc, BlackWhiteDoc}) {
        Ref<CDocImage> doc = make();
        const PackedDib flat = FlattenForExport(*doc, bg);
        for (const Case& c : cases) {
            SCOPED_TRACE(c.ext + " option " + std::to_string(c.option) + ", " + std::to_string(doc->width) +
                         " wide");
            const std::string path = TempPath("flat." + c.ext);
            ASSERT_TRUE(ExportFile(*doc, path, c.option, 0, nullptr, bg));
            MagickImage got;
            ASSERT_TRUE(ImageMagickRead(path, got));
            const std::vector<BYTE> bytes = FileBytes(path);
            if (c.ext == "pcx" && bytes.size() > 65 && bytes[3] == 1 && bytes[65] == 1 &&
                ImageMagickVersion().find("ImageMagick 6.") != std::string::npos) {
                // A lone 1-bit plane is black at 0 and white at 1; ImageMagick 6 swaps the two
                // (later versions read it as written). The picture must come back exactly swapped.
                PackedDib swapped = flat.Clone();
                for (int y = 0; y < swapped.Height(); ++y)
                    for (int x = 0; x < swapped.Width(); ++x)
                        for (int k = 0; k < 3; ++k)
                            swapped.Pixel32(x, y)[k] = static_cast<BYTE>(255 - swapped.Pixel32(x, y)[k]);
                EXPECT_TRUE(SamePixels(got, swapped, 0, false));
            } else if (c.tolerance == 0) {
                EXPECT_TRUE(SamePixels(got, flat, 0, false));
            } else {
                const PackedDib ours = OurRead(path);
                ASSERT_TRUE(ours);
                EXPECT_TRUE(SamePixels(got, ours, c.tolerance, false));
                if (c.ext == "jpg") {
                    // And still the picture: no further from it than ImageMagick's own coding.
                    const std::string png = TempPath("flat.png"), theirs = TempPath("theirs.jpg");
                    ASSERT_TRUE(ExportFile(*doc, png, 85, 0, nullptr, bg));
                    ASSERT_TRUE(ImageMagickRun("'" + png + "' -quality " + std::to_string(c.option) + " '" +
                                               theirs + "'"));
                    MagickImage reference;
                    ASSERT_TRUE(ImageMagickRead(theirs, reference));
                    EXPECT_LE(MeanError(got, flat), 1.25 * MeanError(reference, flat) + 0.5);
                    std::remove(png.c_str());
                    std::remove(theirs.c_str());
                }
            }
            std::remove(path.c_str());
        }
        // BMP at every colour choice holds the converted picture.
        for (int choice = 0; choice <= 6; ++choice) {
            SCOPED_TRACE("bmp colours " + std::to_string(choice) + ", " + std::to_string(doc->width) +
                         " wide");
            const std::string path = TempPath("flat.bmp");
            ASSERT_TRUE(ExportBmp(*doc, path, choice, nullptr, bg));
            const PackedDib want = ConvertTo32(ConvertForExport(flat, choice));
            ASSERT_TRUE(want);
            MagickImage got;
            ASSERT_TRUE(ImageMagickRead(path, got));
            // 5-bit samples of high colour may be widened to 8 bits either way.
            EXPECT_TRUE(SamePixels(got, want, choice == 3 ? 8 : 0, false));
            std::remove(path.c_str());
        }
    }
}

TEST_F(Interop, GifPlainAndInterlacedKeepColoursAndTransparency) {
    for (const bool interlace : {false, true})
        for (const auto& make : {GraphicDoc, PhotoDoc}) {
            Ref<CDocImage> doc = make();
            SCOPED_TRACE(std::to_string(doc->width) + " wide, interlace " + std::to_string(interlace));
            const std::string path = TempPath(interlace ? "i.gif" : "p.gif");
            ASSERT_TRUE(ExportFile(*doc, path, interlace ? 1 : 0, 0, nullptr, 0));
            const std::vector<BYTE> bytes = FileBytes(path);
            ASSERT_GT(bytes.size(), 13u);
            MagickImage got;
            ASSERT_TRUE(ImageMagickRead(path, got));
            // Few colours go out exactly with their transparent pixels; many are reduced, and
            // both readers must then agree on the reduced picture.
            const PackedDib want =
                doc->width == 37 ? doc->CompositeVisible(doc->width, doc->height) : OurRead(path);
            ASSERT_TRUE(want);
            EXPECT_TRUE(SamePixels(got, want, 0, true));
            std::remove(path.c_str());
        }
}

TEST_F(Interop, IconsCursorsAndAnimatedCursors) {
    for (const auto& make : {GraphicDoc, PhotoDoc}) {
        Ref<CDocImage> doc = make();
        const PackedDib want = doc->CompositeVisible(doc->width, doc->height);
        for (const char* ext : {"ico", "cur"}) {
            SCOPED_TRACE(std::string(ext) + ", " + std::to_string(doc->width) + " wide");
            const std::string path = TempPath(std::string("x.") + ext);
            ASSERT_TRUE(ExportFile(*doc, path, 0x00030002, 0, nullptr, 0));
            MagickImage got;
            ASSERT_TRUE(ImageMagickRead(path, got));
            EXPECT_TRUE(SamePixels(got, want, 0, true));
            std::remove(path.c_str());
        }

        // ImageMagick has no reader of animated cursors: the RIFF structure is walked here and
        // the cursor of its frame is given to ImageMagick.
        const std::string ani = TempPath("x.ani");
        ASSERT_TRUE(ExportFile(*doc, ani, 0x00030002, 0, nullptr, 0));
        const std::vector<BYTE> bytes = FileBytes(ani);
        auto u32 = [&bytes](std::size_t at) {
            return std::uint32_t(bytes[at]) | std::uint32_t(bytes[at + 1]) << 8 |
                   std::uint32_t(bytes[at + 2]) << 16 | std::uint32_t(bytes[at + 3]) << 24;
        };
        ASSERT_GE(bytes.size(), 12u);
        EXPECT_EQ(std::memcmp(bytes.data(), "RIFFxxxxACON", 4), 0);
        EXPECT_EQ(u32(4), bytes.size() - 8);
        EXPECT_EQ(std::memcmp(bytes.data() + 8, "ACON", 4), 0);
        std::size_t at = 12, icon = 0, iconSize = 0, frames = 0;
        while (at + 8 <= bytes.size()) {
            const std::uint32_t size = u32(at + 4);
            ASSERT_LE(at + 8 + size, bytes.size()) << at;
            if (std::memcmp(bytes.data() + at, "LIST", 4) == 0) {
                EXPECT_EQ(std::memcmp(bytes.data() + at + 8, "fram", 4), 0);
                at += 12; // into the list
                continue;
            }
            if (std::memcmp(bytes.data() + at, "icon", 4) == 0) icon = at + 8, iconSize = size, ++frames;
            at += 8 + size + (size & 1);
        }
        EXPECT_EQ(at, bytes.size());
        ASSERT_NE(icon, 0u);
        const std::string cur = TempPath("frame.cur");
        PutFile(cur, std::vector<BYTE>(bytes.begin() + static_cast<std::ptrdiff_t>(icon),
                                       bytes.begin() + static_cast<std::ptrdiff_t>(icon + iconSize)));
        // One frame per visible object, each that object alone on the canvas; the last is read.
        std::vector<const CDrawObj*> visible;
        for (const auto& o : doc->objects)
            if (o->visible) visible.push_back(o.Get());
        PackedDib wantLast = want.Clone();
        if (visible.size() > 1) {
            ASSERT_EQ(frames, visible.size());
            CFrameComposer alone;
            ASSERT_TRUE(alone.Start(doc->width, doc->height));
            alone.Add(*visible.back());
            wantLast = alone.Take();
            // An icon image holds no partial transparency: it is drawn over white, as the writer does.
            for (int y = 0; y < wantLast.Height(); ++y)
                for (int x = 0; x < wantLast.Width(); ++x) {
                    BYTE* p = wantLast.Pixel32(x, y);
                    if (p[3] == 0 || p[3] == 255) continue;
                    for (int c = 0; c < 3; ++c)
                        p[c] = static_cast<BYTE>(std::min(255, (255 * (255 - p[3]) + p[c] * p[3]) / 255));
                    p[3] = 255;
                }
        }
        MagickImage got;
        ASSERT_TRUE(ImageMagickRead(cur, got));
        EXPECT_TRUE(SamePixels(got, wantLast, 0, true));
        std::remove(ani.c_str());
        std::remove(cur.c_str());
    }

    // A canvas above 256 x 256 is read at its scaled size, never at a wrapped one.
    Ref<CDocImage> big = MakeRef<CDocImage>();
    big->width = 800;
    big->height = 600;
    AddObject(*big, CreateSolidDIB(400, 600, RGB(0, 128, 255), 255), 0, 0, 0, "Obj - 1");
    AddObject(*big, CreateSolidDIB(400, 300, RGB(250, 250, 0), 255), 400, 300, 0, "Obj - 2");
    for (const char* ext : {"ico", "cur"}) {
        const std::string path = TempPath(std::string("big.") + ext);
        ASSERT_TRUE(ExportFile(*big, path, 0, 0, nullptr, 0));
        MagickImage got;
        ASSERT_TRUE(ImageMagickRead(path, got));
        const PackedDib ours = OurRead(path);
        ASSERT_TRUE(ours);
        EXPECT_EQ(ours.Width(), 256);
        EXPECT_EQ(ours.Height(), 192);
        EXPECT_TRUE(SamePixels(got, ours, 0, true)) << ext;
        std::remove(path.c_str());
    }
    // So is every frame of an animated cursor.
    const std::string ani = TempPath("big.ani");
    ASSERT_TRUE(ExportFile(*big, ani, 0, 0, nullptr, 0));
    Ref<CDocImage> frames = MakeRef<CDocImage>();
    LoadFlags flags;
    ASSERT_TRUE(OpenFile(*frames, ani, flags, nullptr));
    ASSERT_EQ(frames->objects.Count(), 2);
    for (const auto& o : frames->objects) {
        EXPECT_EQ(o->content->raster.Width(), 256);
        EXPECT_EQ(o->content->raster.Height(), 192);
    }
    std::remove(ani.c_str());
}

TEST_F(Interop, LayeredPsdWithNamesOfEveryLength) {
    Ref<CDocImage> doc = PhotoDoc();
    const char* names[] = {"Obj - 10", "Rectangle - 1", "", "a", "Text - 1", "Caf\xC3\xA9 \xE6\x97\xA5"};
    doc->objects.At(0)->content->name = names[0];
    doc->objects.At(1)->content->name = names[1];
    PackedDib ring = CreateTransparentDIB(9, 6);
    for (int y = 0; y < 6; ++y)
        for (int x = 0; x < 9; ++x)
            if (x == 0 || y == 0 || x == 8 || y == 5) SetPixel(ring, x, y, 0xC0804020u);
    AddObject(*doc, std::move(ring), 3, 4, 0, names[2]);
    AddObject(*doc, CreateSolidDIB(3, 3, RGB(1, 2, 3), 255), 40, 20, 100, names[3]);
    AddObject(*doc, CreateSolidDIB(5, 2, RGB(200, 2, 3), 255), 1, 1, 0, names[4])->visible = 0;
    AddObject(*doc, CreateSolidDIB(2, 7, RGB(9, 250, 3), 255), 20, 2, 0, names[5]);
    const int layers = doc->objects.Count();
    const COLORREF bg = RGB(250, 240, 230);
    const std::string path = TempPath("layers.psd");
    ASSERT_TRUE(ExportFile(*doc, path, 0, 0, nullptr, bg));

    // The composite and then one image per layer, each with its name.
    const std::vector<std::string> info = ImageMagickInfo(path, "%l|%n");
    ASSERT_EQ(info.size(), std::size_t(layers) + 1);
    EXPECT_EQ(info[0], "|" + std::to_string(layers + 1));
    for (int i = 0; i < layers; ++i)
        EXPECT_EQ(info[std::size_t(i) + 1], std::string(names[i]) + "|" + std::to_string(layers + 1)) << i;
    MagickImage got;
    ASSERT_TRUE(ImageMagickRead(path, got, 0));
    EXPECT_TRUE(SamePixels(got, FlattenForExport(*doc, bg), 0, false));
    for (int i = 0; i < layers; ++i) {
        ASSERT_TRUE(ImageMagickRead(path, got, i + 1)) << i;
        // ImageMagick gives a layer's pixels with the layer's opacity applied to their alpha.
        const CDrawObj& o = *doc->objects.At(i);
        PackedDib want = o.content->raster.Clone();
        const int opacity = 255 - o.transparency;
        for (int y = 0; y < want.Height(); ++y)
            for (int x = 0; x < want.Width(); ++x) {
                BYTE& a = want.Pixel32(x, y)[3];
                a = static_cast<BYTE>((a * opacity + 127) / 255);
            }
        EXPECT_TRUE(SamePixels(got, want, 0, true)) << i;
    }
    std::remove(path.c_str());
}

TEST_F(Interop, ImageMagicksZipCodedPsdOpensWithItsLayers) {
    // Two layers of many colours, one with graded transparency, at 8 and 16 bits: ImageMagick
    // writes their channels Zip-coded. The first image it is given becomes the composite.
    std::mt19937 rng(11);
    PackedDib a = CreateSolidDIB(49, 31, 0, 255), b = CreateSolidDIB(20, 12, 0, 255);
    for (int y = 0; y < 31; ++y)
        for (int x = 0; x < 49; ++x)
            SetPixel(a, x, y, std::uint32_t(x * 5 + 10) << 24 | (rng() & 0xFFFFFFu));
    for (int y = 0; y < 12; ++y)
        for (int x = 0; x < 20; ++x)
            SetPixel(b, x, y, 0xFF000000u | (rng() & 0xFFFFFFu));
    const std::string first = TempPath("l1.png"), second = TempPath("l2.png"), psd = TempPath("theirs.psd");
    ASSERT_TRUE(WritePngRgba(first, a));
    ASSERT_TRUE(WritePngRgba(second, b));
    for (const int depth : {8, 16}) {
        SCOPED_TRACE(depth);
        ASSERT_TRUE(ImageMagickRun("'" + first + "' '" + first + "' '" + second + "' -depth " +
                                   std::to_string(depth) + " -compress zip '" + psd + "'"));
        Ref<CDocImage> back = MakeRef<CDocImage>();
        LoadFlags flags;
        ASSERT_TRUE(OpenFile(*back, psd, flags, nullptr)) << flags.problem;
        ASSERT_EQ(back->objects.Count(), 2);
        const PackedDib* sources[] = {&a, &b};
        for (int i = 0; i < 2; ++i) {
            EXPECT_EQ(back->objects.At(i)->content->raster.Width(), sources[i]->Width());
            MagickImage theirs;
            ASSERT_TRUE(ImageMagickRead(psd, theirs, i + 1));
            EXPECT_TRUE(SamePixels(theirs, back->objects.At(i)->content->raster, 0, true)) << i;
            EXPECT_TRUE(SamePixels(theirs, *sources[i], 0, true)) << i;
        }
    }
    for (const auto& p : {first, second, psd})
        std::remove(p.c_str());
}
