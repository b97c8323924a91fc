#include "CodecTestUtil.h"
#include "codecs/GifCodec.h"
#include "codecs/GifReader.h"
#include "codecs/GifWriter.h"
#include "platform/ByteStream.h"
#include "raster/Dib.h"
#include "support/GifBuilder.h"

#include <gtest/gtest.h>

#include <dlfcn.h>
#include <gif_lib.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <random>
#include <thread>

using namespace zepho;
using namespace zepho::test;

namespace {

std::string TempPath(const std::string& name) {
    return testing::TempDir() + "zepho_gif_" + name;
}

void SetPixel(PackedDib& d, int x, int y, BYTE b, BYTE g, BYTE r, BYTE a = 255) {
    const BYTE px[4] = {b, g, r, a};
    std::memcpy(d.Pixel32(x, y), px, 4);
}

std::uint32_t PixelOf(const PackedDib& d, int x, int y) {
    std::uint32_t v;
    std::memcpy(&v, d.Pixel32(x, y), 4);
    return v;
}

// Reads a file held in memory into a fresh document.
bool ReadBytes(const std::vector<BYTE>& bytes, CDocImage& doc) {
    MemoryReader in(bytes.data(), bytes.size());
    return ReadGif(doc, in, nullptr);
}

// The LZW data of the first image of a file we wrote (fixed layout: global table, control
// extension, descriptor without local table), with every sub-block length checked.
std::vector<BYTE> ImageData(const std::vector<BYTE>& file, int& minCode) {
    const std::size_t table = std::size_t{3} << ((file[10] & 7) + 1);
    std::size_t pos = 13 + table + 8 + 10;
    minCode = file.at(pos++);
    std::vector<BYTE> data;
    for (;;) {
        const int n = file.at(pos++);
        if (n == 0) break;
        EXPECT_LE(n, 254);
        data.insert(data.end(), file.begin() + static_cast<std::ptrdiff_t>(pos),
                    file.begin() + static_cast<std::ptrdiff_t>(pos + n));
        pos += n;
    }
    EXPECT_EQ(file.at(pos), 0x3B);
    EXPECT_EQ(pos + 1, file.size());
    return data;
}

// Where each clear code sits in a code stream, with the width it was read at and how full the
// table was; codes are followed the way any decoder must, without decoding pixels.
struct ClearSeen {
    std::size_t codeIndex;
    int width;
    int nextFree;
};
std::vector<ClearSeen> FindClears(const std::vector<BYTE>& data, int minCode, int& widthAfterLastClear) {
    const int clear = 1 << minCode;
    int width = minCode + 1, nextFree = clear + 2;
    bool fresh = true;
    std::vector<ClearSeen> seen;
    std::size_t bitPos = 0;
    widthAfterLastClear = 0;
    bool justCleared = false;
    for (std::size_t index = 0; bitPos + width <= data.size() * 8; ++index) {
        int code = 0;
        for (int k = 0; k < width; ++k, ++bitPos)
            code |= ((data[bitPos >> 3] >> (bitPos & 7)) & 1) << k;
        if (justCleared) widthAfterLastClear = width, justCleared = false;
        if (code == clear) {
            seen.push_back({index, width, nextFree});
            width = minCode + 1, nextFree = clear + 2, fresh = true, justCleared = true;
            continue;
        }
        if (code == clear + 1) break;
        if (!fresh && nextFree < 4096 && ++nextFree == (1 << width) && width < 12) ++width;
        fresh = false;
    }
    return seen;
}

// giflib, loaded at run time so that the codec tests need nothing more at link time.
struct Giflib {
    void* handle = nullptr;
    GifFileType* (*open)(const char*, int*) = nullptr;
    int (*slurp)(GifFileType*) = nullptr;
    int (*close)(GifFileType*, int*) = nullptr;
    int (*graphicsBlock)(GifFileType*, int, GraphicsControlBlock*) = nullptr;
    Giflib() {
        handle = dlopen("libgif.so.7", RTLD_NOW | RTLD_LOCAL);
        if (!handle) return;
        open = reinterpret_cast<decltype(open)>(dlsym(handle, "DGifOpenFileName"));
        slurp = reinterpret_cast<decltype(slurp)>(dlsym(handle, "DGifSlurp"));
        close = reinterpret_cast<decltype(close)>(dlsym(handle, "DGifCloseFile"));
        graphicsBlock = reinterpret_cast<decltype(graphicsBlock)>(dlsym(handle, "DGifSavedExtensionToGCB"));
    }
    ~Giflib() {
        if (handle) dlclose(handle);
    }
    bool Ok() const { return open && slurp && close && graphicsBlock; }
};

// giflib decodes the file to the same picture as our reader: colours through the global table,
// alpha 0 exactly where the index is the flagged transparent one.
void ExpectGiflibAgrees(const std::string& path, const PackedDib& ours) {
    static Giflib lib;
    if (!lib.Ok()) GTEST_SKIP() << "giflib not available";
    int err = 0;
    GifFileType* gif = lib.open(path.c_str(), &err);
    ASSERT_NE(gif, nullptr);
    ASSERT_EQ(lib.slurp(gif), GIF_OK);
    ASSERT_EQ(gif->ImageCount, 1);
    ASSERT_NE(gif->SColorMap, nullptr);
    const SavedImage& im = gif->SavedImages[0];
    ASSERT_EQ(im.ImageDesc.Width, ours.Width());
    ASSERT_EQ(im.ImageDesc.Height, ours.Height());
    GraphicsControlBlock gcb{};
    ASSERT_EQ(lib.graphicsBlock(gif, 0, &gcb), GIF_OK);
    int mismatches = 0;
    for (int y = 0; y < ours.Height(); ++y) { // giflib puts interlaced rows in place
        for (int x = 0; x < ours.Width(); ++x) {
            const int index = im.RasterBits[static_cast<std::size_t>(y) * ours.Width() + x];
            const GifColorType c = gif->SColorMap->Colors[index];
            const std::uint32_t want =
                index == gcb.TransparentColor ? 0u : 0xFF000000u | (c.Red << 16) | (c.Green << 8) | c.Blue;
            mismatches += PixelOf(ours, x, y) != want;
        }
    }
    EXPECT_EQ(mismatches, 0);
    lib.close(gif, &err);
}

// Random indices over `colours` entries: hard to compress, so the table fills quickly.
PackedDib NoiseImage(int w, int h, int colours, unsigned seed) {
    PackedDib d = PackedDib::Create(w, h, 8, colours);
    for (int i = 0; i < colours; ++i)
        d.ColorTable()[i] = RGBQUAD{BYTE(i), BYTE(255 - i), BYTE(i * 7), 0};
    std::mt19937 rng(seed);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            d.Row(y)[x] = static_cast<BYTE>(rng() % static_cast<unsigned>(colours));
    return d;
}

} // namespace

TEST(GifWrite, TwoColourImageHasTheExactLayout) {
    // Red, red / blue, red: indices 0 0 1 0 in a 2-entry table, minimum code size 2.
    PackedDib d = CreateSolidDIB(2, 2, RGB(255, 0, 0), 255);
    SetPixel(d, 0, 1, 255, 0, 0);
    Ref<CDocImage> doc = DocWith(std::move(d));
    const std::string path = TempPath("golden.gif");
    ASSERT_TRUE(ExportGif(*doc, path, nullptr, false));
    const std::vector<BYTE> expected = {
        'G', 'I', 'F', '8', '9', 'a', 2, 0, 2, 0, 0x80, 0, 0, // screen: 1 bit, 2-entry table
        0xFF, 0, 0, 0, 0, 0xFF,                               // red, blue
        0x21, 0xF9, 4, 0, 20, 0, 0, 0,                        // delay 20, nothing transparent
        0x2C, 0, 0, 0, 0, 2, 0, 2, 0, 0,                      // whole canvas, not interlaced
        2,                                                    // minimum code size
        // clear(4) 0 0 at 3 bits, 1 at 3 bits (entry 7 made, width 4 next), 0 end(5) at 4 bits
        3, 0x04, 0x02, 0x05, 0, 0x3B};
    EXPECT_EQ(FileBytes(path), expected);
    std::remove(path.c_str());
}

TEST(GifWrite, RoundTripKeepsPixelsTransparencyAndInterlace) {
    // 13 rows so that every interlace pass is partial; 5 colours, one transparent and one
    // half-transparent pixel.
    PackedDib d = CreateSolidDIB(7, 13, RGB(10, 20, 30), 255);
    for (int y = 0; y < 13; ++y)
        SetPixel(d, y % 7, y, BYTE(40 * (y % 3)), 90, 200);
    SetPixel(d, 6, 12, 1, 2, 3, 0);
    SetPixel(d, 0, 0, 0, 100, 200, 128); // over white: 127, 177, 227
    for (const bool interlace : {false, true}) {
        SCOPED_TRACE(interlace);
        Ref<CDocImage> doc = DocWith(d.Clone());
        doc->delay = 345;
        doc->gifTransparentIndex = 0; // taken by a visible colour: the lowest free index is used
        const std::string path = TempPath("roundtrip.gif");
        ASSERT_TRUE(ExportGif(*doc, path, nullptr, interlace));

        Ref<CDocImage> back = MakeRef<CDocImage>();
        ASSERT_TRUE(ReadGifFile(*back, path, nullptr));
        ASSERT_EQ(back->objects.Count(), 1);
        EXPECT_EQ(back->width, 7);
        EXPECT_EQ(back->height, 13);
        EXPECT_EQ(back->delay, 345);
        EXPECT_EQ(back->gifControlFlags, 1); // disposal 0, transparent colour flagged
        EXPECT_EQ(back->gifTransparentIndex, 5);
        EXPECT_EQ(back->gifImageFlags, interlace ? 0x40 : 0);
        const PackedDib& got = back->objects.At(0)->content->raster;
        for (int y = 0; y < 13; ++y)
            for (int x = 0; x < 7; ++x) {
                if (x == 6 && y == 12) {
                    EXPECT_EQ(PixelOf(got, x, y), 0u);
                } else if (x == 0 && y == 0) {
                    EXPECT_EQ(PixelOf(got, x, y), 0xFFE3B17Fu);
                } else {
                    EXPECT_EQ(PixelOf(got, x, y), PixelOf(d, x, y)) << x << "," << y;
                }
            }
        ExpectGiflibAgrees(path, got);
        std::remove(path.c_str());
    }
}

TEST(GifWrite, TransparentIndexChoice) {
    auto prepare = [](const PackedDib& d, int preferred) {
        GifWriter w;
        EXPECT_TRUE(w.Prepare(d, RGB(0, 0, 0), preferred, nullptr));
        return w;
    };
    // Three colours (black matte, white, grey) in a 4-entry table; the matte's index 0 is only
    // used under the mask, so the preferred index 0 is kept; an index that a visible pixel uses is
    // not, nor is one beyond the table.
    PackedDib d = CreateSolidDIB(4, 1, RGB(255, 255, 255), 255);
    SetPixel(d, 0, 0, 0, 0, 0, 0);
    SetPixel(d, 3, 0, 128, 128, 128);
    EXPECT_EQ(prepare(d, 0).TransparentIndex(), 0);
    EXPECT_EQ(prepare(d, 3).TransparentIndex(), 3);
    EXPECT_EQ(prepare(d, 1).TransparentIndex(), 0);
    EXPECT_EQ(prepare(d, 9).TransparentIndex(), 0);

    // Two visible colours fill a 2-entry table: the transparent index is the colour count and the
    // table doubles. The first pixel is the transparent one, so its matte colour is index 0.
    PackedDib two = CreateSolidDIB(3, 1, RGB(255, 0, 0), 255);
    SetPixel(two, 1, 0, 0, 0, 0, 0);
    SetPixel(two, 2, 0, 0, 0, 0); // black is also the matte colour
    GifWriter w2 = prepare(two, 0);
    EXPECT_EQ(w2.ColorCount(), 2);
    EXPECT_EQ(w2.TransparentIndex(), 2);
    EXPECT_EQ(w2.TableSize(), 4);

    // No transparent pixel: no mask, and the preferred index is written unflagged.
    GifWriter opaque = prepare(CreateSolidDIB(2, 2, RGB(1, 2, 3), 255), 77);
    EXPECT_FALSE(opaque.Mask());
    EXPECT_EQ(opaque.TransparentIndex(), 77);
}

TEST(GifWrite, FullPaletteWithTransparencyDropsOneColourForIndex255) {
    // 256 opaque colours (black, the matte colour, among them) and a transparent pixel.
    PackedDib d = CreateSolidDIB(16, 17, RGB(0, 0, 0), 255);
    for (int i = 0; i < 256; ++i)
        SetPixel(d, i % 16, i / 16, BYTE(i), BYTE(i * 7), BYTE(i * 13));
    SetPixel(d, 5, 16, 0, 0, 0, 0);
    Ref<CDocImage> doc = DocWith(d.Clone());
    const std::string path = TempPath("full.gif");
    ASSERT_TRUE(ExportGif(*doc, path, nullptr, false));
    const std::vector<BYTE> bytes = FileBytes(path);
    EXPECT_EQ(bytes[10], 0xF7); // 8 bits, 256-entry table
    const std::size_t gce = 13 + 768;
    EXPECT_EQ(bytes[gce + 3], 1);
    EXPECT_EQ(bytes[gce + 6], 255);

    Ref<CDocImage> back = MakeRef<CDocImage>();
    ASSERT_TRUE(ReadGifFile(*back, path, nullptr));
    const PackedDib& got = back->objects.At(0)->content->raster;
    EXPECT_EQ(PixelOf(got, 5, 16), 0u);
    int transparent = 0;
    for (int y = 0; y < 17; ++y)
        for (int x = 0; x < 16; ++x)
            transparent += got.Pixel32(x, y)[3] == 0;
    EXPECT_EQ(transparent, 1);

    ExpectGiflibAgrees(path, got);
    std::remove(path.c_str());
}

TEST(GifWrite, PhotoIsQuantisedCloselyAndTheSameOnEveryThread) {
    // Smooth colour fields under noise: far more than 256 colours, as in a photograph.
    PackedDib d = CreateSolidDIB(320, 240, RGB(0, 0, 0), 255);
    std::mt19937 rng(5);
    for (int y = 0; y < 240; ++y)
        for (int x = 0; x < 320; ++x) {
            const int n = static_cast<int>(rng() % 13) - 6;
            auto c = [n](double v) { return static_cast<BYTE>(std::clamp(static_cast<int>(v) + n, 0, 255)); };
            SetPixel(d, x, y, c(120 + 90 * std::sin(x * 0.02 + y * 0.01)), c(y * 255.0 / 240),
                     c(255 - x * 200.0 / 320));
        }
    Ref<CDocImage> doc = DocWith(d.Clone());
    const std::string path = TempPath("photo.gif"), again = TempPath("photo2.gif");
    ASSERT_TRUE(ExportGif(*doc, path, nullptr, false));
    // An export on another thread (as the editor runs them) writes the same bytes.
    bool ok = false;
    std::thread([&] { ok = ExportGif(*doc, again, nullptr, false); }).join();
    ASSERT_TRUE(ok);
    EXPECT_EQ(FileBytes(path), FileBytes(again));

    Ref<CDocImage> back = MakeRef<CDocImage>();
    ASSERT_TRUE(ReadGifFile(*back, path, nullptr));
    const PackedDib& got = back->objects.At(0)->content->raster;
    double squared = 0;
    for (int y = 0; y < 240; ++y)
        for (int x = 0; x < 320; ++x)
            for (int c = 0; c < 3; ++c) {
                const double e = got.Pixel32(x, y)[c] - d.Pixel32(x, y)[c];
                squared += e * e;
            }
    const double psnr = 10 * std::log10(255.0 * 255.0 * 3 * 320 * 240 / squared);
    EXPECT_GT(psnr, 30.0);
    ExpectGiflibAgrees(path, got);
    std::remove(path.c_str());
    std::remove(again.c_str());
}

TEST(GifWrite, TableFullEmitsClearAndWidthStartsOver) {
    // Noise over 256 colours needs far more than 4096 codes.
    GifWriter w;
    ASSERT_TRUE(w.SetImage(NoiseImage(300, 200, 256, 7), {}, 0));
    MemoryWriter out;
    ASSERT_TRUE(w.Write(out, {}, nullptr));
    const std::vector<BYTE> file = out.Take();
    int minCode = 0;
    const std::vector<BYTE> data = ImageData(file, minCode);
    ASSERT_EQ(minCode, 8);
    int widthAfter = 0;
    const std::vector<ClearSeen> clears = FindClears(data, minCode, widthAfter);
    ASSERT_GE(clears.size(), 2u);
    EXPECT_EQ(clears[0].codeIndex, 0u);
    EXPECT_EQ(clears[0].width, 9);
    for (std::size_t i = 1; i < clears.size(); ++i) {
        EXPECT_EQ(clears[i].width, 12);
        EXPECT_EQ(clears[i].nextFree, 4096);
    }
    EXPECT_EQ(widthAfter, 9);

    // And the whole stream decodes to the same indices.
    MemoryReader in(file.data(), file.size());
    GifReader reader;
    ASSERT_TRUE(reader.Open(in));
    GifImage image;
    ASSERT_EQ(reader.ReadImage(image, true, nullptr), GifReader::Status::Image);
    ASSERT_EQ(image.dib.BitCount(), 8);
    for (int y = 0; y < 200; ++y)
        ASSERT_EQ(std::memcmp(image.dib.Row(y), w.Image().Row(y), 300), 0) << y;
}

TEST(GifWrite, FailedWritesAreReportedAndLeaveTheOldFile) {
    GifWriter w;
    ASSERT_TRUE(w.SetImage(NoiseImage(64, 64, 16, 3), {}, 0));
    MemoryWriter full;
    ASSERT_TRUE(w.Write(full, {}, nullptr));
    for (std::size_t limit : {std::size_t{0}, std::size_t{20}, full.Size() / 2, full.Size() - 1}) {
        ShortWriter sink(limit);
        EXPECT_FALSE(w.Write(sink, {}, nullptr)) << limit;
    }

    const std::string path = TempPath("keep.gif");
    PutFile(path, {'o', 'l', 'd'});
    Ref<CDocImage> empty = MakeRef<CDocImage>(); // a 0 x 0 canvas cannot be flattened
    EXPECT_FALSE(ExportGif(*empty, path, nullptr, false));
    EXPECT_EQ(FileBytes(path), (std::vector<BYTE>{'o', 'l', 'd'}));
    Ref<CDocImage> huge = DocWith(CreateSolidDIB(1, 1, 0, 255));
    huge->width = 70000; // beyond the format's 16-bit sizes
    EXPECT_FALSE(ExportGif(*huge, path, nullptr, false));
    EXPECT_EQ(FileBytes(path), (std::vector<BYTE>{'o', 'l', 'd'}));
    std::remove(path.c_str());
    EXPECT_FALSE(ExportGif(*DocWith(CreateSolidDIB(2, 2, 0, 255)), "/nonexistent-dir/x.gif", nullptr, false));
}

TEST(GifRead, Gif87aWithoutControlExtensionAndLocalTable) {
    GifBuilder b;
    b.Header("GIF87a", 5, 4, {0x000000, 0xFFFFFF}, 1);
    // 3 x 2 at (2, 1) with its own table.
    b.Image(2, 1, 3, 2, {0, 1, 2, 2, 1, 0}, 2, 0, {0xFF0000, 0x00FF00, 0x0000FF}).Trailer();
    Ref<CDocImage> doc = MakeRef<CDocImage>();
    ASSERT_TRUE(ReadBytes(b.bytes, *doc));
    EXPECT_EQ(doc->width, 5);
    EXPECT_EQ(doc->height, 4);
    EXPECT_EQ(doc->gifBackgroundIndex, 1);
    EXPECT_EQ(doc->delay, 0);
    EXPECT_EQ(doc->gifTransparentIndex, 255);
    EXPECT_EQ(doc->gifControlFlags, CDocImage::kDefaultGifControlFlags);
    EXPECT_EQ(doc->gifImageFlags, 0x81);
    ASSERT_EQ(doc->objects.Count(), 1);
    const Ref<CDrawObj> obj = doc->objects.At(0);
    EXPECT_EQ(obj->x, 2);
    EXPECT_EQ(obj->y, 1);
    const PackedDib& px = obj->content->raster;
    EXPECT_EQ(PixelOf(px, 0, 0), 0xFFFF0000u);
    EXPECT_EQ(PixelOf(px, 1, 0), 0xFF00FF00u);
    EXPECT_EQ(PixelOf(px, 2, 0), 0xFF0000FFu);
    EXPECT_EQ(PixelOf(px, 2, 1), 0xFFFF0000u);
}

TEST(GifRead, AnimationGivesEveryImageInOrder) {
    GifBuilder b;
    b.Header("GIF89a", 8, 8, {0x112233, 0x445566, 0x778899, 0xAABBCC});
    b.Raw({0x21, 0xFF, 11}).Raw({'N', 'E', 'T', 'S', 'C', 'A', 'P', 'E', '2', '.', '0'}).Raw({3, 1, 0, 0, 0});
    b.Control(0x05, 7, 2).Image(0, 0, 2, 2, {0, 1, 2, 3}, 2);
    b.Raw({0x21, 0xFE, 3, 'h', 'i', '!', 0});
    b.Control(0x08, 50, 0).Image(3, 4, 2, 1, {3, 3}, 2);
    b.Raw({0x21, 0x01, 12, 0, 0, 0, 0, 8, 0, 8, 0, 8, 8, 0, 1, 2, 'a', 'b', 0}); // plain text
    b.Image(6, 6, 1, 1, {1}, 2).Trailer();
    struct Recorder final : IProgress {
        std::vector<int> pos;
        void SetText(const std::string&) override {}
        void SetPos(int p) override { pos.push_back(p); }
        void Pump() override {}
    } progress;
    Ref<CDocImage> doc = MakeRef<CDocImage>();
    MemoryReader in(b.bytes.data(), b.bytes.size());
    ASSERT_TRUE(ReadGif(*doc, in, &progress));
    ASSERT_EQ(doc->objects.Count(), 3);
    const POINT at[] = {{0, 0}, {3, 4}, {6, 6}};
    const SIZE size[] = {{2, 2}, {2, 1}, {1, 1}};
    for (int i = 0; i < 3; ++i) {
        const Ref<CDrawObj> o = doc->objects.At(i);
        EXPECT_EQ(o->x, at[i].x);
        EXPECT_EQ(o->y, at[i].y);
        EXPECT_EQ(o->content->width, size[i].cx);
        EXPECT_EQ(o->content->height, size[i].cy);
        EXPECT_EQ(o->visible, 0); // the opener decides what shows
    }
    // The first image's control extension: transparent index 2 flagged.
    EXPECT_EQ(doc->gifControlFlags, 0x05);
    EXPECT_EQ(doc->delay, 7);
    EXPECT_EQ(doc->gifTransparentIndex, 2);
    const PackedDib& first = doc->objects.At(0)->content->raster;
    EXPECT_EQ(PixelOf(first, 0, 1), 0u);
    EXPECT_EQ(PixelOf(first, 1, 1), 0xFFAABBCCu);
    // Index 0 in the second image is not flagged transparent (bit 0 clear).
    EXPECT_EQ(PixelOf(doc->objects.At(1)->content->raster, 0, 0), 0xFFAABBCCu);
    ASSERT_GE(progress.pos.size(), 4u);
    EXPECT_TRUE(std::is_sorted(progress.pos.begin(), progress.pos.end()));
    EXPECT_EQ(progress.pos.back(), 100);

    // The preview is the first image alone, at the file's depth (4-entry table: 4 bits).
    const std::string path = TempPath("anim.gif");
    PutFile(path, b.bytes);
    const PackedDib preview = LoadGifPreview(path);
    ASSERT_TRUE(preview);
    EXPECT_EQ(preview.BitCount(), 4);
    EXPECT_EQ(preview.Width(), 2);
    EXPECT_EQ(preview.Row(1)[0], 0x23);
    std::remove(path.c_str());
}

TEST(GifRead, CodeStreamRules) {
    auto read = [](const std::vector<int>& codes, int width, int w, Ref<CDocImage>& doc) {
        GifBuilder b;
        b.Header("GIF89a", w, 1, {0x000000, 0xFFFFFF});
        b.Raw({0x2C}).U16(0).U16(0).U16(w).U16(1).Raw({0, 2}).Codes(codes, width).Trailer();
        doc = MakeRef<CDocImage>();
        return ReadBytes(b.bytes, *doc);
    };
    Ref<CDocImage> doc;
    // A code beyond the next free one ends the image and keeps what came before.
    ASSERT_TRUE(read({4, 1, 7, 0}, 3, 3, doc));
    const PackedDib& px = doc->objects.At(0)->content->raster;
    EXPECT_EQ(PixelOf(px, 0, 0), 0xFFFFFFFFu);
    EXPECT_EQ(PixelOf(px, 1, 0), 0u);
    // The string being defined (code == next free) repeats the previous string plus its first byte.
    ASSERT_TRUE(read({4, 1, 6, 5}, 3, 3, doc));
    for (int x = 0; x < 3; ++x)
        EXPECT_EQ(PixelOf(doc->objects.At(0)->content->raster, x, 0), 0xFFFFFFFFu);
    // After a clear the next code must be a colour.
    EXPECT_FALSE(read({4, 6, 5}, 3, 2, doc));
    EXPECT_FALSE(read({4, 1, 4, 7, 5}, 3, 2, doc));
}

TEST(GifRead, DamagedFilesFailCleanly) {
    GifBuilder good;
    good.Header("GIF89a", 4, 4, {0x000000, 0xFFFFFF, 0xFF0000, 0x00FF00});
    good.Control(1, 10, 3).Image(0, 0, 4, 4, {0, 1, 2, 3, 3, 2, 1, 0, 0, 0, 1, 1, 2, 2, 3, 3}, 2, 0x40);
    good.Control(0, 10, 0).Image(1, 1, 2, 2, {1, 1, 1, 1}, 2).Trailer();
    Ref<CDocImage> doc = MakeRef<CDocImage>();
    ASSERT_TRUE(ReadBytes(good.bytes, *doc));
    ASSERT_EQ(doc->objects.Count(), 2);

    // Every prefix: a clean failure, or the images complete so far (a cut between two images).
    int succeeded = 0;
    for (std::size_t n = 0; n < good.bytes.size(); ++n) {
        Ref<CDocImage> d = MakeRef<CDocImage>();
        if (!ReadBytes(std::vector<BYTE>(good.bytes.begin(), good.bytes.begin() + n), *d)) continue;
        ++succeeded;
        ASSERT_GE(d->objects.Count(), 1) << n;
        EXPECT_EQ(d->objects.At(0)->content->width, 4);
        if (d->objects.Count() == 2) {
            EXPECT_EQ(n, good.bytes.size() - 1);
        }
    }
    EXPECT_EQ(succeeded, 2);
    // Seeded byte flips never crash or hang.
    std::mt19937 rng(2024);
    for (int i = 0; i < 3000; ++i) {
        std::vector<BYTE> bad = good.bytes;
        for (int k = 0; k < 3; ++k)
            bad[rng() % bad.size()] = static_cast<BYTE>(rng());
        Ref<CDocImage> d = MakeRef<CDocImage>();
        ReadBytes(bad, *d);
    }

    auto fails = [](const std::vector<BYTE>& bytes) {
        Ref<CDocImage> d = MakeRef<CDocImage>();
        return !ReadBytes(bytes, *d);
    };
    // A descriptor of 65535 x 65535 over a few bytes of data is refused before allocating.
    GifBuilder lying;
    lying.Header("GIF89a", 1, 1, {0, 0xFFFFFF});
    lying.Raw({0x2C}).U16(0).U16(0).U16(65535).U16(65535).Raw({0, 2}).Codes({4, 1, 5}, 3).Trailer();
    EXPECT_TRUE(fails(lying.bytes));
    // A global table longer than the file, an unknown extension, a sub-block past the end.
    EXPECT_TRUE(fails({'G', 'I', 'F', '8', '9', 'a', 1, 0, 1, 0, 0x87, 0, 0, 1, 2, 3}));
    GifBuilder unknown;
    unknown.Header("GIF89a", 1, 1, {}).Raw({0x21, 0x77, 0}).Image(0, 0, 1, 1, {0}, 2).Trailer();
    EXPECT_TRUE(fails(unknown.bytes));
    GifBuilder pastEnd;
    pastEnd.Header("GIF89a", 1, 1, {}).Raw({0x21, 0xFE, 200, 'x'});
    EXPECT_TRUE(fails(pastEnd.bytes));
    EXPECT_TRUE(fails({'G', 'I', 'F', '8', '8', 'a', 1, 0, 1, 0, 0, 0, 0, 0x3B}));

    // Anything after the trailer is ignored.
    std::vector<BYTE> trailing = good.bytes;
    trailing.insert(trailing.end(), {0x21, 0x77, 0xFF});
    EXPECT_FALSE(fails(trailing));
}

TEST(GifRead, PixelBoundNeverRefusesWhatAnEncoderCanProduce) {
    // A single colour is the best case for LZW: the bound must still admit it.
    for (const int side : {1, 3, 64, 700, 2000}) {
        GifWriter w;
        PackedDib solid = PackedDib::Create(side, side, 8, 256);
        ASSERT_TRUE(w.SetImage(std::move(solid), {}, 0));
        MemoryWriter out;
        ASSERT_TRUE(w.Write(out, {}, nullptr));
        int minCode = 0;
        const std::vector<BYTE> data = ImageData(out.Data(), minCode);
        EXPECT_GE(GifReader::MaxPixelsFrom(data.size(), minCode), 1ULL * side * side) << side;
        Ref<CDocImage> doc = MakeRef<CDocImage>();
        EXPECT_TRUE(ReadBytes(out.Data(), *doc)) << side;
    }
}
