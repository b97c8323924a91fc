#include "CodecTestUtil.h"
#include "codecs/IconCodec.h"
#include "codecs/IconReader.h"
#include "codecs/IconWriter.h"
#include "extlib/PngFile.h"
#include "platform/ByteStream.h"
#include "raster/Dib.h"
#include "support/IconFiles.h"
#include "support/ImageMagick.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <random>

using namespace zepho;
using namespace zepho::test;

namespace {

std::string TempPath(const std::string& name) {
    return testing::TempDir() + "zepho_icon_" + name;
}

void SetPixel(PackedDib& d, int x, int y, std::uint32_t argb) {
    std::memcpy(d.Pixel32(x, y), &argb, 4);
}
std::uint32_t PixelOf(const PackedDib& d, int x, int y) {
    std::uint32_t v;
    std::memcpy(&v, d.Pixel32(x, y), 4);
    return v;
}

template <typename ReadFn> bool ReadMem(ReadFn read, const Bytes& bytes, Ref<CDocImage>& doc) {
    doc = MakeRef<CDocImage>();
    MemoryReader in(bytes.data(), bytes.size());
    return read(*doc, in, nullptr);
}

// Red, red / blue, transparent: black under the mask makes a third colour.
PackedDib SmallImage() {
    PackedDib d = CreateSolidDIB(2, 2, RGB(255, 0, 0), 255);
    SetPixel(d, 0, 1, 0xFF0000FF);
    SetPixel(d, 1, 1, 0x00123456);
    return d;
}

} // namespace

TEST(IconWrite, IcoCurAndAniHaveTheExactLayout) {
    const std::string ico = TempPath("golden.ico");
    ASSERT_TRUE(WriteIconFile(*DocWith(SmallImage()), ico, false, 0x00070005, nullptr));
    const Bytes expectedIco = {
        0,    0, 1,   0, 1,    0,                                 // icon, one image
        2,    2, 3,   0, 1,    0, 4, 0, 68, 0, 0, 0, 22, 0, 0, 0, // 2 x 2, 3 colours, planes 1, 4 bits
        40,   0, 0,   0, 2,    0, 0, 0, 4,  0, 0, 0, 1,  0, 4, 0, 0, 0, 0, 0,
        0,    0, 0,   0, 0,    0, 0, 0, 0,  0, 0, 0, 3,  0, 0, 0, 0, 0, 0, 0, // biClrUsed 3
        0,    0, 255, 0, 255,  0, 0, 0, 0,  0, 0, 0,                          // red, blue, black
        0x12, 0, 0,   0, 0x00, 0, 0, 0,                                       // colour rows bottom-up
        0x40, 0, 0,   0, 0,    0, 0, 0};                                      // mask rows bottom-up
    EXPECT_EQ(FileBytes(ico), expectedIco);

    // White, black as a cursor: 1 bit, hot spot (5, 7) instead of planes and bit count.
    PackedDib bw = CreateSolidDIB(2, 1, RGB(255, 255, 255), 255);
    SetPixel(bw, 1, 0, 0xFF000000);
    const std::string cur = TempPath("golden.cur");
    ASSERT_TRUE(WriteIconFile(*DocWith(bw.Clone()), cur, true, 0x00070005, nullptr));
    const Bytes expectedCur = {0, 0, 2,   0,   1,   0, 2, 1, 2, 0, 5,    0, 7, 0, 56, 0, 0, 0, 22, 0,
                               0, 0, 40,  0,   0,   0, 2, 0, 0, 0, 2,    0, 0, 0, 1,  0, 1, 0, 0,  0,
                               0, 0, 0,   0,   0,   0, 0, 0, 0, 0, 0,    0, 0, 0, 2,  0, 0, 0, 0,  0,
                               0, 0, 255, 255, 255, 0, 0, 0, 0, 0, 0x40, 0, 0, 0, 0,  0, 0, 0};
    EXPECT_EQ(FileBytes(cur), expectedCur);

    const std::string ani = TempPath("golden.ani");
    ASSERT_TRUE(WriteAniFile(*DocWith(std::move(bw)), ani, 0x00070005, nullptr));
    Bytes expectedAni;
    PutTag(expectedAni, "RIFF"), Put32(expectedAni, 78 + 68), PutTag(expectedAni, "ACON");
    PutTag(expectedAni, "anih"), Put32(expectedAni, 36);
    for (std::uint32_t v : {36, 1, 1, 2, 1, 1, 1, 12, 1})
        Put32(expectedAni, v);
    PutTag(expectedAni, "LIST"), Put32(expectedAni, 78 + 12), PutTag(expectedAni, "fram");
    PutTag(expectedAni, "icon"), Put32(expectedAni, 78);
    Append(expectedAni, expectedCur);
    EXPECT_EQ(FileBytes(ani), expectedAni);
    for (const auto& p : {ico, cur, ani})
        std::remove(p.c_str());
}

TEST(IconWrite, RoundTripsKeepPixelsAndChooseTheDepth) {
    struct Case {
        int colours, bits, entryColours;
    };
    for (const Case c : {Case{2, 1, 2}, Case{16, 4, 16}, Case{256, 8, 0}, Case{300, 24, 0}}) {
        SCOPED_TRACE(c.colours);
        PackedDib d = CreateSolidDIB(20, 20, 0, 255);
        for (int i = 0; i < 400; ++i)
            SetPixel(d, i % 20, i / 20, 0xFF004000u | std::uint32_t(i % c.colours) * 0x010001u);
        Ref<CDocImage> doc = DocWith(d.Clone());
        const std::string path = TempPath("round.cur");
        ASSERT_TRUE(WriteIconFile(*doc, path, true, 0, nullptr));
        const Bytes file = FileBytes(path);
        EXPECT_EQ(file[8], c.entryColours);
        EXPECT_EQ(file[22 + 14], c.bits);
        Ref<CDocImage> back = MakeRef<CDocImage>();
        ASSERT_TRUE(ReadIconFile(*back, path, nullptr));
        ASSERT_EQ(back->objects.Count(), 1);
        for (int y = 0; y < 20; ++y)
            for (int x = 0; x < 20; ++x)
                ASSERT_EQ(PixelOf(RasterOf(*back, 0), x, y), PixelOf(d, x, y)) << x << "," << y;
        std::remove(path.c_str());
    }

    // Transparency survives through the mask; partial alpha is blended over white. The ANI
    // carries the same image and its display rate 12 gives a delay of 20.
    PackedDib d = CreateSolidDIB(33, 3, RGB(10, 20, 30), 255);
    SetPixel(d, 32, 2, 0x00FFFFFF);
    SetPixel(d, 0, 0, 0x80C86400); // over white: 127, 177, 227
    for (const bool ani : {false, true}) {
        const std::string path = TempPath(ani ? "alpha.ani" : "alpha.ico");
        Ref<CDocImage> doc = DocWith(d.Clone());
        ASSERT_TRUE(ani ? WriteAniFile(*doc, path, 0, nullptr)
                        : WriteIconFile(*doc, path, false, 0, nullptr));
        Ref<CDocImage> back = MakeRef<CDocImage>();
        ASSERT_TRUE(ani ? ReadAniFile(*back, path, nullptr) : ReadIconFile(*back, path, nullptr));
        ASSERT_EQ(back->objects.Count(), 1);
        EXPECT_EQ(back->width, 33);
        const PackedDib& got = RasterOf(*back, 0);
        EXPECT_EQ(PixelOf(got, 32, 2), 0u);
        EXPECT_EQ(PixelOf(got, 0, 0), 0xFFE3B17Fu);
        EXPECT_EQ(PixelOf(got, 5, 1), 0xFF0A141Eu);
        if (ani) {
            EXPECT_EQ(back->delay, 20);
        }
        std::remove(path.c_str());
    }
}

TEST(IconWrite, CanvasesAboveTheIconSizeAreScaledToFitNeverWrapped) {
    EXPECT_EQ(IconExportSize(800, 600), (SIZE{256, 192}));
    EXPECT_EQ(IconExportSize(300, 1000), (SIZE{77, 256}));
    EXPECT_EQ(IconExportSize(257, 1), (SIZE{256, 1}));
    EXPECT_EQ(IconExportSize(5000, 2), (SIZE{256, 1}));
    EXPECT_EQ(IconExportSize(256, 256), (SIZE{256, 256}));
    EXPECT_EQ(IconExportSize(20, 7), (SIZE{20, 7}));
    EXPECT_EQ(IconExportHotSpot(0x012C031F, 800, 600), 0x006000FFu); // (799, 300) -> (255, 96)
    EXPECT_EQ(IconExportHotSpot(0x00070005, 256, 256), 0x00070005u);

    // An 800 x 600 picture: red left half, blue right half, a transparent hole in the blue.
    PackedDib d = CreateSolidDIB(800, 600, RGB(220, 0, 0), 255);
    for (int y = 0; y < 600; ++y)
        for (int x = 400; x < 800; ++x)
            SetPixel(d, x, y, x >= 600 && y >= 300 && y < 500 ? 0u : 0xFF0000DCu);
    Ref<CDocImage> doc = DocWith(std::move(d));
    for (const char* ext : {"ico", "cur", "ani"}) {
        SCOPED_TRACE(ext);
        const std::string path = TempPath(std::string("big.") + ext);
        const bool ani = ext[0] == 'a', cursor = ext[0] == 'c';
        ASSERT_TRUE(ani ? WriteAniFile(*doc, path, 0x012C031F, nullptr)
                        : WriteIconFile(*doc, path, cursor, 0x012C031F, nullptr));
        const Bytes file = FileBytes(path);
        const std::size_t entry = ani ? 12 + 44 + 12 + 8 + 6 : 6;
        EXPECT_EQ(file[entry], 0);       // 256
        EXPECT_EQ(file[entry + 1], 192); // never a wrapped 600
        if (cursor || ani) {
            EXPECT_EQ(file[entry + 4], 255);
            EXPECT_EQ(file[entry + 6], 96);
        }
        Ref<CDocImage> back = MakeRef<CDocImage>();
        ASSERT_TRUE(ani ? ReadAniFile(*back, path, nullptr) : ReadIconFile(*back, path, nullptr));
        ASSERT_EQ(back->objects.Count(), 1);
        EXPECT_EQ(back->width, 256);
        EXPECT_EQ(back->height, 192);
        const PackedDib& got = RasterOf(*back, 0);
        EXPECT_EQ(PixelOf(got, 60, 100), 0xFFDC0000u);
        EXPECT_EQ(PixelOf(got, 150, 20), 0xFF0000DCu);
        EXPECT_EQ(PixelOf(got, 220, 130) >> 24, 0u); // inside the hole
        std::remove(path.c_str());
    }

    // The writers themselves refuse an image the directory cannot describe.
    PackedDib image, mask;
    ASSERT_TRUE(PrepareIconImage(CreateSolidDIB(257, 2, 0, 255), image, mask));
    MemoryWriter out;
    EXPECT_EQ(IconResourceSize(image), 0u);
    EXPECT_FALSE(WriteIcon(out, image, mask, false, 0, nullptr));
    EXPECT_FALSE(WriteAni(out, image, mask, 0, nullptr));
}

TEST(IconRead, ImagesInDirectoryOrderWithTheirMaskRules) {
    // A 1-bit image with a mask, a 32-bit image without alpha (the mask decides) and one with
    // alpha (its own alpha decides, the mask is ignored), stored out of order, then a PNG image.
    const Bytes oneBit = Resource(3, 2, 1, {0x000000, 0xFFFFFF}, {0, 1, 1, 1, 0, 0}, {1, 0, 0, 0, 0, 1});
    const Bytes noAlpha = Resource(2, 5, 32, {}, {0x112233, 0x445566, 0, 0, 0, 0, 0, 0, 0, 0x778899},
                                   {0, 1, 0, 0, 0, 0, 0, 0, 0, 0});
    const Bytes withAlpha = Resource(1, 1, 32, {}, {0x80102030}, {1});
    PackedDib pngImage = CreateSolidDIB(4, 1, RGB(1, 2, 3), 40);
    Bytes png;
    ASSERT_TRUE(EncodePngRgba(pngImage, png));
    Bytes file = IconFile(1, {oneBit, noAlpha, withAlpha, png}, {2, 0, 3, 1});
    Ref<CDocImage> doc;
    ASSERT_TRUE(ReadMem(ReadIcon, file, doc));
    ASSERT_EQ(doc->objects.Count(), 4);
    EXPECT_EQ(doc->width, 4);
    EXPECT_EQ(doc->height, 5);
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(doc->objects.At(i)->x, 0);
        EXPECT_EQ(doc->objects.At(i)->visible, 0);
    }
    EXPECT_EQ(PixelOf(RasterOf(*doc, 0), 0, 0), 0u);
    EXPECT_EQ(PixelOf(RasterOf(*doc, 0), 1, 0), 0xFFFFFFFFu);
    EXPECT_EQ(PixelOf(RasterOf(*doc, 0), 2, 1), 0x00000000u);
    EXPECT_EQ(PixelOf(RasterOf(*doc, 0), 1, 1), 0xFF000000u);
    EXPECT_EQ(PixelOf(RasterOf(*doc, 1), 0, 0), 0xFF112233u);
    EXPECT_EQ(PixelOf(RasterOf(*doc, 1), 1, 0), 0x00445566u);
    EXPECT_EQ(PixelOf(RasterOf(*doc, 2), 0, 0), 0x80102030u);
    EXPECT_EQ(PixelOf(RasterOf(*doc, 3), 3, 0), 0x28010203u);

    // The preview is the first image at its own depth, without the mask.
    const std::string path = TempPath("four.ico");
    PutFile(path, file);
    const PackedDib preview = LoadIconPreview(path);
    ASSERT_TRUE(preview);
    EXPECT_EQ(preview.BitCount(), 1);
    EXPECT_EQ(preview.Row(0)[0], 0x60);
    std::remove(path.c_str());
}

TEST(AniRead, FramesInOrderAndTheirDelay) {
    const Bytes frame1 = IconFile(2, {Resource(2, 1, 8, {0xFF0000, 0x00FF00}, {0, 1}, {0, 1})});
    const Bytes frame2 = IconFile(2, {Resource(3, 2, 24, {}, {1, 2, 3, 4, 5, 6}, {})});
    auto ani = [&](std::uint32_t frames, std::uint32_t displayRate, const Bytes& extra) {
        Bytes chunks = Anih(frames, displayRate);
        Append(chunks, extra);
        Append(chunks, Chunk("odd!", {1, 2, 3})); // unknown, odd-sized, padded
        Append(chunks, Chunk("seq ", {}));
        Append(chunks, List("INFO", Chunk("INAM", {'h', 'i', 0})));
        Append(chunks, List("fram", [&] {
                   Bytes icons = Chunk("icon", frame1);
                   Append(icons, Chunk("icon", frame2));
                   return icons;
               }()));
        return Riff(chunks);
    };
    Ref<CDocImage> doc;
    ASSERT_TRUE(ReadMem(ReadAni, ani(2, 6, {}), doc));
    ASSERT_EQ(doc->objects.Count(), 2);
    EXPECT_EQ(doc->delay, 10);
    EXPECT_EQ(doc->width, 3);
    EXPECT_EQ(doc->height, 2);
    EXPECT_EQ(PixelOf(RasterOf(*doc, 0), 0, 0), 0xFFFF0000u);
    EXPECT_EQ(PixelOf(RasterOf(*doc, 0), 1, 0), 0x0000FF00u); // masked: alpha 0, colour kept
    EXPECT_EQ(PixelOf(RasterOf(*doc, 1), 2, 1), 0xFF000006u);

    Bytes rate;
    Put32(rate, 3), Put32(rate, 50);
    ASSERT_TRUE(ReadMem(ReadAni, ani(2, 6, Chunk("rate", rate)), doc));
    EXPECT_EQ(doc->delay, 5);
    ASSERT_TRUE(ReadMem(ReadAni, ani(2, 6, Chunk("rate", {3, 0})), doc)); // too short: absent
    EXPECT_EQ(doc->delay, 10);
    EXPECT_EQ(AniRateToDelay(0xFFFFFFFFu), 65535);
    // The header's frame count must match the frames found, and must not be zero.
    EXPECT_FALSE(ReadMem(ReadAni, ani(3, 6, {}), doc));
    EXPECT_EQ(doc->objects.Count(), 0);
    EXPECT_FALSE(ReadMem(ReadAni, ani(0, 6, {}), doc));

    const std::string path = TempPath("two.ani");
    PutFile(path, ani(2, 6, {}));
    const PackedDib preview = LoadIconPreview(path);
    ASSERT_TRUE(preview);
    EXPECT_EQ(preview.BitCount(), 8);
    EXPECT_EQ(preview.Width(), 2);
    std::remove(path.c_str());
}

TEST(IconRead, DamagedAndLyingFilesFailFast) {
    const Bytes ico = IconFile(1, {Resource(3, 3, 4, {0x0000FF, 0x00FF00, 0xFF0000},
                                            {0, 1, 2, 2, 1, 0, 1, 1, 1}, {1, 0, 0, 0, 1, 0, 0, 0, 1}),
                                   Resource(1, 1, 24, {}, {0x123456}, {0})});
    Bytes cur = ico;
    cur[2] = 2;
    Bytes aniChunks = Anih(2, 6);
    Append(aniChunks, List("fram", [&] {
               Bytes b = Chunk("icon", IconFile(2, {Resource(1, 1, 1, {0, 0xFFFFFF}, {1}, {0})}));
               Append(b, Chunk("icon", cur));
               return b;
           }()));
    const Bytes ani = Riff(aniChunks);
    Ref<CDocImage> doc;
    ASSERT_TRUE(ReadMem(ReadIcon, ico, doc));
    ASSERT_TRUE(ReadMem(ReadAni, ani, doc));

    // Every prefix fails and leaves an empty model; seeded byte flips never crash or hang.
    for (const auto& [good, isAni] : {std::pair{ico, false}, std::pair{ani, true}}) {
        auto read = [&, asAni = isAni](const Bytes& b) {
            return asAni ? ReadMem(ReadAni, b, doc) : ReadMem(ReadIcon, b, doc);
        };
        for (std::size_t n = 0; n < good.size(); ++n) {
            ASSERT_FALSE(read(Bytes(good.begin(), good.begin() + std::ptrdiff_t(n)))) << n;
            ASSERT_EQ(doc->objects.Count(), 0);
            ASSERT_EQ(doc->width, 0);
        }
        std::mt19937 rng(77);
        for (int i = 0; i < 3000; ++i) {
            Bytes bad = good;
            for (int k = 0; k < 3; ++k)
                bad[rng() % bad.size()] = static_cast<BYTE>(rng());
            read(bad);
        }
    }

    auto icoFails = [&](const Bytes& b) { return !ReadMem(ReadIcon, b, doc); };
    // A header claiming 65535 x 65535 pixels, a PNG entry claiming 4 GB, 65535 entries in a few
    // bytes, more palette entries than the depth allows, a top-down height.
    Bytes huge = Resource(1, 1, 32, {}, {0}, {0});
    huge[4] = huge[5] = 0xFF, huge[8] = 0xFE, huge[9] = 0xFF, huge[10] = 0x01; // 65535 x (2 * 65535)
    EXPECT_TRUE(icoFails(IconFile(1, {huge})));
    Bytes png = IconFile(1, {Bytes{0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n', 0, 0}});
    png[14] = png[15] = png[16] = png[17] = 0xFF;
    EXPECT_TRUE(icoFails(png));
    EXPECT_TRUE(icoFails({0, 0, 1, 0, 0xFF, 0xFF, 0, 0}));
    EXPECT_TRUE(icoFails(IconFile(1, {Resource(1, 1, 1, {0, 0xFFFFFF}, {0}, {0}, 3)})));
    Bytes topDown = ico;
    topDown[6 + 32 + 8] = 0xFA, topDown[6 + 32 + 9] = topDown[6 + 32 + 10] = topDown[6 + 32 + 11] = 0xFF;
    EXPECT_TRUE(icoFails(topDown));
    EXPECT_TRUE(icoFails({0, 0, 3, 0, 1, 0})); // neither icon nor cursor

    // Chunks: one running past its list fails; zero-size chunks and deep lists end.
    auto aniFails = [&](const Bytes& b) { return !ReadMem(ReadAni, b, doc); };
    Bytes past = ani;
    past[12 + 44 + 4] = 0xFF;
    EXPECT_TRUE(aniFails(past));
    Bytes zeros = Anih(1, 6);
    for (int i = 0; i < 1000; ++i)
        Append(zeros, Chunk("zero", {}));
    Bytes nested = Chunk("icon", IconFile(2, {Resource(1, 1, 1, {0, 0xFFFFFF}, {1}, {0})}));
    for (int i = 0; i < 20; ++i)
        nested = List("deep", nested);
    EXPECT_TRUE(aniFails(Riff(zeros)));
    EXPECT_FALSE(aniFails(Riff([&] {
        Bytes b = Anih(1, 6);
        Append(b, List("fram", Chunk("icon", IconFile(2, {Resource(1, 1, 1, {0, 0xFFFFFF}, {1}, {0})}))));
        return b;
    }())));
    Append(zeros, nested);
    EXPECT_TRUE(aniFails(Riff(zeros))); // the frame lies too deep to be followed
}

TEST(IconWrite, FailedWritesAreReportedAndKeepTheOldFile) {
    PackedDib image, mask;
    ASSERT_TRUE(PrepareIconImage(SmallImage(), image, mask));
    for (const bool ani : {false, true}) {
        MemoryWriter full;
        ASSERT_TRUE(ani ? WriteAni(full, image, mask, 0, nullptr)
                        : WriteIcon(full, image, mask, true, 0, nullptr));
        for (std::size_t limit = 0; limit < full.Size(); ++limit) {
            ShortWriter sink(limit);
            EXPECT_FALSE(ani ? WriteAni(sink, image, mask, 0, nullptr)
                             : WriteIcon(sink, image, mask, true, 0, nullptr))
                << limit;
        }
    }

    const std::string path = TempPath("keep.ico");
    PutFile(path, {'o', 'l', 'd'});
    EXPECT_FALSE(WriteIconFile(*MakeRef<CDocImage>(), path, false, 0, nullptr));
    EXPECT_FALSE(WriteAniFile(*MakeRef<CDocImage>(), path, 0, nullptr));
    EXPECT_EQ(FileBytes(path), (Bytes{'o', 'l', 'd'}));
    std::remove(path.c_str());
    EXPECT_FALSE(WriteIconFile(*DocWith(SmallImage()), "/nonexistent-dir/x.ico", false, 0, nullptr));
}

TEST(IconInterop, ImageMagickReadsOursAndWeReadItsIcons) {
    if (ImageMagickConvert().empty()) GTEST_SKIP() << kNoImageMagick;
    auto run = [](const std::string& from, const std::string& to) {
        return ImageMagickRun("'" + from + "' -depth 8 '" + to + "'");
    };
    PackedDib d = CreateSolidDIB(7, 5, RGB(200, 100, 50), 255);
    for (int i = 0; i < 7; ++i)
        SetPixel(d, i, i % 5, 0xFF000000u | 0x1F3F5Fu * std::uint32_t(i));
    SetPixel(d, 6, 4, 0);
    for (const bool cursor : {false, true}) {
        const std::string path = TempPath(cursor ? "im.cur" : "im.ico"), raw = path + ".rgba";
        ASSERT_TRUE(WriteIconFile(*DocWith(d.Clone()), path, cursor, 0x00020001, nullptr));
        ASSERT_TRUE(run(path, "rgba:" + raw));
        const Bytes rgba = FileBytes(raw);
        ASSERT_EQ(rgba.size(), 7u * 5 * 4);
        for (int i = 0; i < 35; ++i) {
            const BYTE* p = d.Pixel32(i % 7, i / 7);
            const BYTE* q = &rgba[4 * std::size_t(i)];
            EXPECT_EQ(q[3], p[3]) << i;
            if (p[3]) {
                EXPECT_TRUE(q[0] == p[2] && q[1] == p[1] && q[2] == p[0]) << i;
            }
        }
        std::remove(path.c_str());
        std::remove(raw.c_str());
    }

    // Its 32-bit images keep their alpha; at 256 x 256 it stores PNG.
    for (const int side : {9, 256}) {
        PackedDib src = CreateSolidDIB(side, side, 0, 255);
        for (int y = 0; y < side; ++y)
            for (int x = 0; x < side; ++x)
                SetPixel(src, x, y,
                         std::uint32_t((x * 37 + y) & 0xFF) << 24 | std::uint32_t(x * 7919 + y * 31));
        const std::string png = TempPath("im.png"), ico = TempPath("im_theirs.ico");
        ASSERT_TRUE(WritePngRgba(png, src));
        ASSERT_TRUE(run(png, ico));
        Ref<CDocImage> doc = MakeRef<CDocImage>();
        ASSERT_TRUE(ReadIconFile(*doc, ico, nullptr)) << side;
        ASSERT_EQ(doc->objects.Count(), 1);
        int mismatches = 0;
        for (int y = 0; y < side; ++y)
            for (int x = 0; x < side; ++x) {
                const std::uint32_t want = PixelOf(src, x, y), got = PixelOf(RasterOf(*doc, 0), x, y);
                mismatches += (want >> 24) != (got >> 24) || ((want >> 24) != 0 && want != got);
            }
        EXPECT_EQ(mismatches, 0) << side;
        std::remove(png.c_str());
        std::remove(ico.c_str());
    }
}
