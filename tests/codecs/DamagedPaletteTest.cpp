// Palette files cut short: an open either fails or shows exactly the pixels of the whole file,
// never a picture whose colours were guessed.
#include "CodecTestUtil.h"
#include "codecs/OpenExport.h"
#include "raster/Dib.h"

#include <gtest/gtest.h>

#include <cstring>

using namespace zepho;
using namespace zepho::test;

namespace {

std::string TempPath(const std::string& name) {
    return testing::TempDir() + "zepho_damaged_" + name;
}

// 48 x 40 pixels of 200 distinct colours: every exporter writes it as a palette image.
Ref<CDocImage> PaletteDocument() {
    PackedDib d = CreateSolidDIB(48, 40, RGB(0, 0, 0), 255);
    for (int y = 0; y < 40; ++y)
        for (int x = 0; x < 48; ++x) {
            BYTE* p = d.Pixel32(x, y);
            const int k = (x * 7 + y * 13) % 200;
            p[0] = static_cast<BYTE>(k), p[1] = static_cast<BYTE>(255 - k), p[2] = static_cast<BYTE>(k * 3);
        }
    return DocWith(std::move(d));
}

// The opened picture's pixels, or empty when the open failed.
std::vector<std::uint32_t> Opened(const std::string& path) {
    CDocImage doc;
    LoadFlags flags;
    std::vector<std::uint32_t> pixels;
    if (!OpenFile(doc, path, flags, nullptr) || doc.objects.Count() != 1) return pixels;
    const CObjContent& c = *doc.objects.At(0)->content;
    for (int y = 0; y < c.height; ++y)
        for (int x = 0; x < c.width; ++x)
            pixels.push_back(c.PixelAt(x, y));
    return pixels;
}

void PutLe(std::vector<BYTE>& b, std::size_t at, std::uint32_t v, int n) {
    for (int i = 0; i < n; ++i)
        b[at + i] = static_cast<BYTE>(v >> (8 * i));
}

// A palette TIFF laid out header, directory, pixels, colour map: cutting its tail takes the
// colour map and nothing else. libtiff then reads the picture as grey.
std::vector<BYTE> TiffWithMapLast(int w, int h) {
    constexpr int kEntries = 10;
    const std::size_t ifd = 8, strip = ifd + 2 + 12 * kEntries + 4,
                      map = strip + static_cast<std::size_t>(w) * h;
    std::vector<BYTE> b(map + 3 * 256 * 2);
    b[0] = b[1] = 'I';
    b[2] = 42;
    PutLe(b, 4, static_cast<std::uint32_t>(ifd), 4);
    PutLe(b, ifd, kEntries, 2);
    const std::uint32_t tags[kEntries][3] = {
        {256, 3, static_cast<std::uint32_t>(w)},     // width
        {257, 3, static_cast<std::uint32_t>(h)},     // length
        {258, 3, 8},                                 // bits per sample
        {259, 3, 1},                                 // no compression
        {262, 3, 3},                                 // palette
        {273, 4, static_cast<std::uint32_t>(strip)}, // strip offset
        {277, 3, 1},                                 // samples per pixel
        {278, 3, static_cast<std::uint32_t>(h)},     // rows per strip
        {279, 4, static_cast<std::uint32_t>(w * h)}, // strip bytes
        {320, 3, static_cast<std::uint32_t>(map)},   // colour map (768 shorts, at an offset)
    };
    for (int i = 0; i < kEntries; ++i) {
        const std::size_t e = ifd + 2 + 12 * static_cast<std::size_t>(i);
        PutLe(b, e, tags[i][0], 2);
        PutLe(b, e + 2, tags[i][1], 2);
        PutLe(b, e + 4, tags[i][0] == 320 ? 768 : 1, 4);
        PutLe(b, e + 8, tags[i][2], tags[i][1] == 3 && tags[i][0] != 320 ? 2 : 4);
    }
    for (std::size_t i = 0; i < static_cast<std::size_t>(w) * h; ++i)
        b[strip + i] = static_cast<BYTE>(i * 37 % 256);
    for (int i = 0; i < 768; ++i)
        PutLe(b, map + 2 * static_cast<std::size_t>(i), static_cast<std::uint32_t>((i * 97 % 256) * 257), 2);
    return b;
}

struct Damage {
    const char* file;
    std::vector<BYTE> whole;
    // Lengths to cut the file to.
    std::vector<std::size_t> cuts;
};

std::vector<std::size_t> Fractions(std::size_t size) {
    std::vector<std::size_t> cuts;
    for (int percent = 30; percent <= 90; percent += 5)
        cuts.push_back(size * static_cast<std::size_t>(percent) / 100);
    return cuts;
}

std::vector<std::size_t> Tail(std::size_t size, std::initializer_list<std::size_t> lost) {
    std::vector<std::size_t> cuts;
    for (std::size_t n : lost)
        cuts.push_back(size - n);
    return cuts;
}

std::vector<BYTE> Exported(const char* name) {
    const std::string path = TempPath(name);
    EXPECT_TRUE(ExportFile(*PaletteDocument(), path, 0, 0, nullptr, RGB(255, 255, 255)) ||
                ExportFile(*PaletteDocument(), path, 85, 0, nullptr, RGB(255, 255, 255)));
    return FileBytes(path);
}

} // namespace

TEST(DamagedPalette, CutFilesAreRefusedOrExact) {
    std::vector<Damage> cases;
    const std::vector<BYTE> tiff = TiffWithMapLast(48, 40);
    cases.push_back({"map.tif", tiff, Fractions(tiff.size())});
    cases.back().cuts.push_back(tiff.size() - 1);
    cases.back().cuts.push_back(tiff.size() - 1000);
    for (const char* name : {"palette.tif", "palette.pcx", "palette.bmp", "palette.tga", "palette.gif"}) {
        std::vector<BYTE> whole = Exported(name);
        ASSERT_GT(whole.size(), 1000u) << name;
        std::vector<std::size_t> cuts = Fractions(whole.size());
        // The PCX colour table is the file's last 769 bytes: lose a part of it or all.
        for (std::size_t n : Tail(whole.size(), {1, 2, 300, 768, 769, 770}))
            cuts.push_back(n);
        cases.push_back({name, std::move(whole), std::move(cuts)});
    }
    for (const Damage& d : cases) {
        SCOPED_TRACE(d.file);
        const std::string path = TempPath(d.file);
        PutFile(path, d.whole);
        const std::vector<std::uint32_t> exact = Opened(path);
        ASSERT_FALSE(exact.empty()) << "the whole file opens";
        for (std::size_t cut : d.cuts) {
            SCOPED_TRACE(cut);
            PutFile(path,
                    std::vector<BYTE>(d.whole.begin(), d.whole.begin() + static_cast<std::ptrdiff_t>(cut)));
            const std::vector<std::uint32_t> got = Opened(path);
            if (!got.empty()) {
                EXPECT_EQ(got, exact) << "opened with other pixels";
            }
        }
    }
}

// A 256-colour PCX whose table is gone opens only when its header says it is grey.
TEST(DamagedPalette, PcxWithoutItsTableOpensOnlyWhenMarkedGrey) {
    const std::string path = TempPath("grey.pcx");
    std::vector<BYTE> b = Exported("grey.pcx");
    b.resize(b.size() - 769);
    PutFile(path, b);
    EXPECT_TRUE(Opened(path).empty());
    b[68] = 2;
    PutFile(path, b);
    const std::vector<std::uint32_t> grey = Opened(path);
    ASSERT_FALSE(grey.empty());
    const std::uint32_t p = grey[0];
    EXPECT_EQ(p & 0xFF, (p >> 8) & 0xFF);
    EXPECT_EQ(p & 0xFF, (p >> 16) & 0xFF);
}
