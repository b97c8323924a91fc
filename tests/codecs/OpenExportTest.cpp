#include "codecs/OpenExport.h"
#include "CodecTestUtil.h"
#include "codecs/CodecStrings.h"
#include "codecs/FileTypes.h"
#include "raster/ColorReduce.h"
#include "raster/Dib.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <fstream>

using namespace zepho;
using namespace zepho::test;

namespace {

std::string TempPath(const std::string& name) {
    return testing::TempDir() + "zepho_codecs_" + name;
}

// Pixels of n distinct opaque colours, one per pixel, in a row-major strip.
PackedDib DistinctColours(int n, int w) {
    const int h = (n + w - 1) / w;
    PackedDib d = CreateSolidDIB(w, h, RGB(0, 0, 0), 255);
    for (int i = 0; i < w * h; ++i) {
        BYTE* p = d.Pixel32(i % w, i / w);
        const int k = std::min(i, n - 1);
        p[0] = static_cast<BYTE>(k), p[1] = static_cast<BYTE>(k >> 8), p[2] = 7;
    }
    return d;
}

} // namespace

TEST(FileTypes, ChosenByTheExtensionAlone) {
    EXPECT_EQ(FileKindOf("/a/b/photo.JpEg"), FileKind::Jpg);
    EXPECT_EQ(FileKindOf("x.tar.png"), FileKind::Png);
    EXPECT_EQ(FileKindOf("scan.TIF"), FileKind::Tiff);
    EXPECT_EQ(FileKindOf("old.dib"), FileKind::Bmp);
    EXPECT_EQ(FileKindOf("doc.qzi"), FileKind::Native);
    EXPECT_EQ(FileKindOf("noext"), FileKind::None);
    EXPECT_EQ(FileKindOf("dir.png/noext"), FileKind::None); // a dot in a folder name is not an extension
    EXPECT_EQ(FileKindOf("x.WebP"), FileKind::Webp);
    EXPECT_EQ(FileKindOf("x.avif"), FileKind::Avif);
    EXPECT_EQ(FileKindOf("x.jxl"), FileKind::Jxl);
    EXPECT_EQ(FileKindOf("x.heic"), FileKind::Heif);
    // Every Save As entry is written by the dispatch and named by its own extension and filter.
    ASSERT_EQ(SaveAsTypes().size(), 14u);
    for (const SaveAsType& t : SaveAsTypes()) {
        EXPECT_EQ(FileKindOf(std::string("x.") + t.extension), t.kind) << t.extension;
        EXPECT_TRUE(CanExport(t.kind)) << t.extension;
        EXPECT_NE(std::string(t.filter).find(std::string("*.") + t.extension), std::string::npos) << t.filter;
    }
    const std::string open = strings::kOpenFilter;
    EXPECT_NE(open.find("*.webp;*.avif;*.heic;*.heif;*.jxl|"), std::string::npos);
    EXPECT_NE(open.find("|AVIF (AV1 Image File Format)|*.avif|HEIF (High Efficiency Image File "
                        "Format)|*.heic;*.heif|JXL (JPEG XL "
                        "Image)|*.jxl||"),
              std::string::npos);
}

TEST(OpenFile, UnknownOrMissingExtensionFailsOnAnEmptyModel) {
    Ref<CDocImage> doc = DocWith(CreateSolidDIB(2, 2, RGB(1, 2, 3), 255), 2, 2);
    LoadFlags flags;
    EXPECT_FALSE(OpenFile(*doc, "/nonexistent/dir/file", flags, nullptr));
    EXPECT_EQ(doc->objects.Count(), 0); // cleared first
    EXPECT_FALSE(OpenFile(*doc, "/nonexistent/dir/file.jxl", flags, nullptr));
    EXPECT_FALSE(OpenFile(*doc, "/nonexistent/dir/file.png", flags, nullptr));
    EXPECT_FALSE(flags.nativeLoaded);
}

TEST(OpenFile, ExportedImageOpensAsOneObjectAtTheOrigin) {
    // An object off the origin over a white background; the export flattens it.
    PackedDib red = CreateSolidDIB(3, 2, RGB(200, 10, 20), 255);
    Ref<CDocImage> doc = DocWith(std::move(red), 7, 5, 2, 1);
    const std::string path = TempPath("open.png");
    ASSERT_TRUE(ExportFile(*doc, path, 85, 0, nullptr, RGB(255, 255, 255)));

    Ref<CDocImage> back = MakeRef<CDocImage>();
    back->gifBackgroundIndex = 9;
    back->gifTransparentIndex = 4;
    LoadFlags flags;
    ASSERT_TRUE(OpenFile(*back, path, flags, nullptr));
    EXPECT_FALSE(flags.nativeLoaded);
    EXPECT_EQ(back->width, 7);
    EXPECT_EQ(back->height, 5);
    EXPECT_EQ(back->gifBackgroundIndex, 0);
    EXPECT_EQ(back->gifTransparentIndex, 0);
    ASSERT_EQ(back->objects.Count(), 1);
    const Ref<CDrawObj> obj = back->objects.Head();
    EXPECT_EQ(obj->x, 0);
    EXPECT_EQ(obj->y, 0);
    EXPECT_EQ(obj->content->kind, KindImage);
    const PackedDib& r = obj->content->raster;
    ASSERT_TRUE(r.Is32());
    const BYTE* in = r.Pixel32(2, 1);
    EXPECT_EQ(in[2], 200);
    EXPECT_EQ(in[1], 10);
    EXPECT_EQ(in[0], 20);
    EXPECT_EQ(in[3], 255);
    const BYTE* out = r.Pixel32(0, 0);
    EXPECT_EQ(out[0] + out[1] + out[2], 3 * 255);
    std::remove(path.c_str());
}

TEST(ExportFile, FlattensOverTheBackgroundAndLeavesTheDocumentAlone) {
    // Only transparent and hidden objects: the file is the background colour.
    Ref<CDocImage> doc = DocWith(CreateTransparentDIB(4, 4), 4, 4);
    Ref<CObjContent> hidden = MakeRef<CObjContent>(KindImage);
    hidden->SetRaster(CreateSolidDIB(4, 4, RGB(0, 0, 0), 255));
    Ref<CDrawObj> h = MakeRef<CDrawObj>(hidden);
    doc->objects.AddTail(h);
    const std::string path = TempPath("bg.bmp");
    ASSERT_TRUE(ExportFile(*doc, path, 85, 0, nullptr, RGB(10, 20, 30)));
    EXPECT_EQ(doc->objects.Count(), 2);
    EXPECT_EQ(h->visible, 0);
    EXPECT_EQ(doc->objects.Head()->content->raster.Pixel32(0, 0)[3], 0);

    PackedDib file = ConvertTo32(LoadPreviewImage(path));
    ASSERT_TRUE(file);
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 4; ++x) {
            const BYTE* p = file.Pixel32(x, y);
            ASSERT_EQ(p[2], 10);
            ASSERT_EQ(p[1], 20);
            ASSERT_EQ(p[0], 30);
        }
    std::remove(path.c_str());
}

TEST(ExportFile, ExactPaletteUpTo256Colours) {
    const std::string path = TempPath("pal.png");
    Ref<CDocImage> d256 = DocWith(DistinctColours(256, 16), 16, 16);
    ASSERT_TRUE(ExportFile(*d256, path, 85, 0, nullptr, RGB(255, 255, 255)));
    PackedDib a = LoadPreviewImage(path);
    ASSERT_TRUE(a);
    EXPECT_LE(a.BitCount(), 8);
    // Every colour survives the palette.
    PackedDib a32 = ConvertTo32(a);
    EXPECT_EQ(a32.Pixel32(15, 15)[0], 255);
    EXPECT_EQ(a32.Pixel32(1, 0)[0], 1);

    Ref<CDocImage> d257 = DocWith(DistinctColours(257, 17), 17, 16);
    ASSERT_TRUE(ExportFile(*d257, path, 85, 0, nullptr, RGB(255, 255, 255)));
    PackedDib b = LoadPreviewImage(path);
    ASSERT_TRUE(b);
    EXPECT_GE(b.BitCount(), 24);
    std::remove(path.c_str());
}

TEST(ExportFile, WideCanvasesAreWrittenBandByBandWithTheSamePixels) {
    // A canvas wide enough to be composed in several bands, with objects across the band edges:
    // a noisy half-transparent picture, a translucent block and a hidden one.
    constexpr int kW = 4096, kH = 300;
    PackedDib photo = CreateSolidDIB(kW - 100, kH - 20, RGB(0, 0, 0), 255);
    std::uint32_t seed = 12345;
    for (int y = 0; y < photo.Height(); ++y)
        for (int x = 0; x < photo.Width(); ++x) {
            BYTE* p = photo.Pixel32(x, y);
            seed = seed * 1103515245u + 12345u;
            p[0] = static_cast<BYTE>(x + (seed >> 28)), p[1] = static_cast<BYTE>(y),
            p[2] = static_cast<BYTE>(seed >> 20);
            p[3] = static_cast<BYTE>(128 + (x + y) % 128);
        }
    Ref<CDocImage> doc = DocWith(std::move(photo), kW, kH, 50, 10);
    auto add = [&](PackedDib raster, int x, int y, int transparency, bool visible) {
        Ref<CObjContent> c = MakeRef<CObjContent>(KindImage);
        c->SetRaster(std::move(raster));
        Ref<CDrawObj> o = MakeRef<CDrawObj>(c);
        o->x = x, o->y = y, o->transparency = static_cast<BYTE>(transparency), o->visible = visible ? 1 : 0;
        doc->objects.AddTail(o);
    };
    add(CreateSolidDIB(700, 200, RGB(200, 30, 60), 200), 1000, 60, 70, true);
    add(CreateSolidDIB(300, 300, RGB(0, 255, 0), 255), 0, 0, 0, false);

    const std::string flat = TempPath("bands.png");
    ASSERT_TRUE(ExportFile(*doc, flat, 85, 0, nullptr, RGB(250, 240, 230)));
    const PackedDib expected = ConvertTo24(FlattenForExport(*doc, RGB(250, 240, 230)));
    const PackedDib got = LoadPreviewImage(flat);
    ASSERT_EQ(got.BitCount(), 24);
    for (int y = 0; y < kH; ++y)
        ASSERT_EQ(std::memcmp(got.Row(y), expected.Row(y), 3 * kW), 0) << "row " << y;

    // With transparency kept, as the batch tool flattens.
    const std::string composite = TempPath("bands_rgba.png");
    ASSERT_TRUE(ExportCompositePng(*doc, composite, nullptr));
    const PackedDib keep = doc->CompositeVisible(kW, kH);
    const PackedDib back = LoadPreviewImage(composite);
    ASSERT_EQ(back.BitCount(), 32);
    for (int y = 0; y < kH; ++y)
        ASSERT_EQ(std::memcmp(back.Row(y), keep.Row(y), 4 * kW), 0) << "row " << y;
    EXPECT_FALSE(ExportCompositePng(*doc, "/nonexistent-dir/x.png", nullptr));
    std::remove(flat.c_str());
    std::remove(composite.c_str());
}

TEST(ExportFile, FormatsWithoutALibraryWriterFail) {
    Ref<CDocImage> doc = DocWith(CreateSolidDIB(2, 2, RGB(1, 2, 3), 255), 2, 2);
    EXPECT_FALSE(ExportFile(*doc, TempPath("x.qzi"), 85, 0, nullptr, 0));
    EXPECT_FALSE(ExportFile(*doc, TempPath("x"), 85, 0, nullptr, 0));
    EXPECT_FALSE(ExportFile(*doc, TempPath("x.avi"), 85, 0, nullptr, 0));
    EXPECT_FALSE(ExportFile(*doc, "/nonexistent/dir/x.png", 85, 0, nullptr, 0));
}

TEST(ExportBmp, ColourChoiceSetsTheDepth) {
    PackedDib grad = CreateSolidDIB(40, 3, RGB(0, 0, 0), 255);
    for (int x = 0; x < 40; ++x)
        for (int y = 0; y < 3; ++y) {
            BYTE* p = grad.Pixel32(x, y);
            p[0] = static_cast<BYTE>(x * 6), p[1] = static_cast<BYTE>(255 - x * 6),
            p[2] = static_cast<BYTE>(y * 100);
        }
    Ref<CDocImage> doc = DocWith(std::move(grad), 40, 3);
    const std::string path = TempPath("depth.bmp");
    const struct { int choice, bits; } cases[] = {{2, 1}, {1, 4}, {0, 8}, {3, 16}, {4, 24}, {5, 4}, {6, 8}};
    for (const auto& c : cases) {
        ASSERT_TRUE(ExportBmp(*doc, path, c.choice, nullptr, RGB(255, 255, 255))) << c.choice;
        PackedDib back = LoadPreviewImage(path);
        ASSERT_TRUE(back) << c.choice;
        EXPECT_EQ(back.BitCount(), c.bits) << c.choice;
        EXPECT_EQ(back.Width(), 40);
    }
    EXPECT_FALSE(ExportBmp(*doc, path, 7, nullptr, 0));
    std::remove(path.c_str());
}

TEST(OpenFile, NativeDocumentsKeepTheirObjects) {
    Ref<CDocImage> doc = DocWith(CreateSolidDIB(3, 3, RGB(9, 8, 7), 255), 5, 6, 1, 2);
    doc->objects.Head()->content->name = "kept";
    const std::string path = TempPath("doc.QZI");
    ASSERT_NE(doc->SaveNative(path, nullptr), 0);
    Ref<CDocImage> back = MakeRef<CDocImage>();
    LoadFlags flags;
    ASSERT_TRUE(OpenFile(*back, path, flags, nullptr));
    EXPECT_TRUE(flags.nativeLoaded);
    ASSERT_EQ(back->objects.Count(), 1);
    EXPECT_EQ(back->objects.Head()->content->name, "kept");
    EXPECT_EQ(back->objects.Head()->x, 1);
    EXPECT_FALSE(LoadPreviewImage(path)); // documents have no preview image
    std::remove(path.c_str());
}

TEST(OpenFile, GifFramesArriveHiddenAndExportKeepsTransparency) {
    PackedDib half = CreateTransparentDIB(4, 3);
    FillAlphaRect(half, RECT{0, 0, 2, 3}, 255);
    Ref<CDocImage> doc = DocWith(std::move(half), 4, 3);
    const std::string path = TempPath("t.GIF");
    ASSERT_TRUE(ExportFile(*doc, path, 1, 0, nullptr, RGB(255, 255, 255)));
    Ref<CDocImage> back = MakeRef<CDocImage>();
    LoadFlags flags;
    ASSERT_TRUE(OpenFile(*back, path, flags, nullptr));
    ASSERT_EQ(back->objects.Count(), 1);
    EXPECT_EQ(back->objects.Head()->visible, 0); // the opener shows the first one
    EXPECT_EQ(back->objects.Head()->content->raster.Pixel32(0, 0)[3], 255);
    EXPECT_EQ(back->objects.Head()->content->raster.Pixel32(3, 0)[3], 0);
    EXPECT_EQ(back->gifImageFlags & 0x40, 0x40); // option 1 interlaced it
    PackedDib preview = LoadPreviewImage(path);
    ASSERT_TRUE(preview);
    EXPECT_LE(preview.BitCount(), 8);
    std::remove(path.c_str());
}

#include "model/AppSettings.h"
#include "support/ScriptedUiHost.h"

namespace {

// Answers the PSD question from a script and counts how often it was asked.
struct PsdAnswers : test::ScriptedUiHost {
    bool accept = true;
    int fashion = 0;
    bool showTip = true;
    int asked = 0;
    bool ChoosePsdOpenFashion(int& f, bool& tip) override {
        ++asked;
        if (!accept) return false;
        f = fashion;
        tip = showTip;
        return true;
    }
};

} // namespace

TEST(OpenFile, PsdLayersOrCompositeAsTheUserChose) {
    Ref<CDocImage> doc = DocWith(CreateSolidDIB(3, 2, RGB(200, 0, 0), 255), 6, 4, 1, 1);
    Ref<CObjContent> c = MakeRef<CObjContent>(KindImage);
    c->SetRaster(CreateSolidDIB(2, 2, RGB(0, 0, 200), 255));
    Ref<CDrawObj> top = MakeRef<CDrawObj>(c);
    top->visible = 1;
    top->x = 4;
    doc->objects.AddTail(top);
    const std::string path = TempPath("layers.psd");
    ASSERT_TRUE(ExportFile(*doc, path, 0, 0, nullptr, RGB(255, 255, 255)));

    CAppSettings settings;
    PsdAnswers ui;
    ui.fashion = 1;
    ui.showTip = false;
    Ref<CDocImage> back = MakeRef<CDocImage>();
    LoadFlags flags;
    ASSERT_TRUE(OpenFileWith(*back, path, flags, nullptr, OpenContext{&ui, &settings}));
    EXPECT_EQ(ui.asked, 1);
    EXPECT_EQ(settings.PSDOpenFashion, 1);
    EXPECT_EQ(settings.ShowPSDOpenFashionTip, 0);
    EXPECT_FALSE(flags.layersLoaded);
    ASSERT_EQ(back->objects.Count(), 1); // the composite
    EXPECT_EQ(back->width, 6);

    // Not asked again; the stored choice holds. Back to layers once the setting says so.
    LoadFlags again;
    ASSERT_TRUE(OpenFileWith(*back, path, again, nullptr, OpenContext{&ui, &settings}));
    EXPECT_EQ(ui.asked, 1);
    EXPECT_EQ(back->objects.Count(), 1);
    settings.PSDOpenFashion = 0;
    LoadFlags layers;
    ASSERT_TRUE(OpenFileWith(*back, path, layers, nullptr, OpenContext{&ui, &settings}));
    EXPECT_TRUE(layers.layersLoaded);
    ASSERT_EQ(back->objects.Count(), 2);
    EXPECT_EQ(back->objects.At(1)->x, 4);

    // Cancel keeps the settings and opens the way they say.
    settings.ShowPSDOpenFashionTip = 1;
    ui.accept = false;
    LoadFlags cancelled;
    ASSERT_TRUE(OpenFileWith(*back, path, cancelled, nullptr, OpenContext{&ui, &settings}));
    EXPECT_EQ(ui.asked, 2);
    EXPECT_EQ(settings.ShowPSDOpenFashionTip, 1);
    EXPECT_TRUE(cancelled.layersLoaded);
    std::remove(path.c_str());
}

TEST(OpenFile, IconsAndCursorsRoundTrip) {
    PackedDib half = CreateTransparentDIB(16, 16);
    FillAlphaRect(half, RECT{0, 0, 8, 16}, 255);
    Ref<CDocImage> doc = DocWith(std::move(half), 16, 16);
    for (const char* name : {"i.ico", "c.cur", "a.ani"}) {
        const std::string path = TempPath(name);
        ASSERT_TRUE(ExportFile(*doc, path, (3u << 16) | 2u, 0, nullptr, 0)) << name;
        Ref<CDocImage> back = MakeRef<CDocImage>();
        LoadFlags flags;
        ASSERT_TRUE(OpenFile(*back, path, flags, nullptr)) << name;
        ASSERT_EQ(back->objects.Count(), 1) << name;
        const PackedDib& r = back->objects.Head()->content->raster;
        EXPECT_EQ(r.Pixel32(0, 0)[3], 255) << name;
        EXPECT_EQ(r.Pixel32(15, 0)[3], 0) << name;
        EXPECT_TRUE(LoadPreviewImage(path)) << name;
        std::remove(path.c_str());
    }
}
