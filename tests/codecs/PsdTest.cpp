#include "CodecTestUtil.h"
#include "codecs/OpenExport.h"
#include "codecs/PsdCodec.h"
#include "codecs/PsdReader.h"
#include "codecs/PsdWriter.h"
#include "extlib/ImageIO.h"
#include "model/DibStream.h"
#include "model/Frame.h"
#include "platform/ByteStream.h"
#include "raster/Blend.h"
#include "raster/Dib.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <random>

#include <zlib.h>

using namespace zepho;
using namespace zepho::test;

namespace {

std::string TempPath(const std::string& name) {
    return testing::TempDir() + "zepho_psd_" + name;
}

std::uint32_t PixelOf(const PackedDib& d, int x, int y) {
    std::uint32_t v;
    std::memcpy(&v, d.Pixel32(x, y), 4);
    return v;
}

void SetPixel(PackedDib& d, int x, int y, std::uint32_t argb) {
    std::memcpy(d.Pixel32(x, y), &argb, 4);
}

bool SameImage(const PackedDib& a, const PackedDib& b) {
    if (!a.Is32() || !b.Is32() || a.Width() != b.Width() || a.Height() != b.Height()) return false;
    for (int y = 0; y < a.Height(); ++y)
        if (std::memcmp(a.Row(y), b.Row(y), 4 * static_cast<std::size_t>(a.Width())) != 0) return false;
    return true;
}

Ref<CDrawObj> AddObject(CDocImage& doc, PackedDib raster, int x, int y, int transparency = 0,
                        const char* name = "") {
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

PackedDib Noise(int w, int h, unsigned seed) {
    std::mt19937 rng(seed);
    PackedDib d = CreateTransparentDIB(w, h);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            // Few values, so that runs and copies both occur.
            SetPixel(d, x, y, (rng() % 3 ? 0xFF000000u : (rng() % 4) << 30) | (rng() % 5) * 0x00333333u);
    return d;
}

// Big-endian bytes of a hand-made file.
struct Bytes {
    std::vector<BYTE> b;
    Bytes& Raw(std::initializer_list<int> v) {
        for (int x : v)
            b.push_back(static_cast<BYTE>(x));
        return *this;
    }
    Bytes& Add(const std::vector<BYTE>& v) {
        b.insert(b.end(), v.begin(), v.end());
        return *this;
    }
    Bytes& Str(const char* s) {
        b.insert(b.end(), s, s + std::strlen(s));
        return *this;
    }
    Bytes& U16(int v) { return Raw({v >> 8, v}); }
    Bytes& U32(std::uint32_t v) { return Raw({int(v >> 24), int(v >> 16), int(v >> 8), int(v)}); }
};

struct ChannelDef {
    int id;
    std::vector<BYTE> data; // compression word included
};

struct LayerDef {
    int top, left, bottom, right;
    std::vector<ChannelDef> channels;
    int opacity = 255;
    int flags = 0;
    const char* blend = "8BIM";
    std::vector<BYTE> extra{};
};

std::vector<BYTE> RawChannel(std::initializer_list<int> v) {
    Bytes b;
    b.U16(0).Raw(v);
    return b.b;
}

// PackBits rows after their count table.
std::vector<BYTE> RleChannel(const std::vector<std::vector<BYTE>>& rows) {
    Bytes b;
    b.U16(1);
    for (const auto& r : rows)
        b.U16(static_cast<int>(r.size()));
    for (const auto& r : rows)
        b.Add(r);
    return b.b;
}

std::vector<BYTE> Header(int w, int h, int mode = 3, int depth = 8, int channels = 3) {
    Bytes b;
    b.Str("8BPS").U16(1).Raw({0, 0, 0, 0, 0, 0}).U16(channels).U32(h).U32(w).U16(depth).U16(mode);
    b.U32(0).U32(4).Raw({1, 2, 3, 4}); // no colour mode data; four bytes of resources
    return b.b;
}

std::vector<BYTE> MakePsd(int w, int h, const std::vector<LayerDef>& layers, int mode = 3, int depth = 8,
                          int count = -1000) {
    Bytes info;
    info.U16(count == -1000 ? static_cast<int>(layers.size()) : count);
    for (const LayerDef& l : layers) {
        info.U32(l.top).U32(l.left).U32(l.bottom).U32(l.right).U16(static_cast<int>(l.channels.size()));
        for (const ChannelDef& c : l.channels)
            info.U16(c.id).U32(static_cast<std::uint32_t>(c.data.size()));
        info.Str(l.blend).Str("norm").Raw({l.opacity, 0, l.flags, 0});
        info.U32(static_cast<std::uint32_t>(l.extra.size())).Add(l.extra);
    }
    for (const LayerDef& l : layers)
        for (const ChannelDef& c : l.channels)
            info.Add(c.data);
    Bytes f;
    f.Add(Header(w, h, mode, depth)).U32(static_cast<std::uint32_t>(info.b.size() + 8));
    f.U32(static_cast<std::uint32_t>(info.b.size())).Add(info.b).U32(0);
    f.U16(0); // the composite is not read here
    return f.b;
}

// Three colour channels of one raw pixel.
std::vector<ChannelDef> RgbPixel(int r, int g, int b) {
    return {{0, RawChannel({r})}, {1, RawChannel({g})}, {2, RawChannel({b})}};
}

bool Import(const std::vector<BYTE>& bytes, CDocImage& doc, IProgress* progress = nullptr) {
    MemoryReader in(bytes.data(), bytes.size());
    return ReadPsdLayers(doc, in, progress);
}

int Check(const std::vector<BYTE>& bytes) {
    MemoryReader in(bytes.data(), bytes.size());
    return CheckPsd(in);
}

struct ProgressLog final : IProgress {
    std::vector<int> positions;
    void SetText(const std::string&) override {}
    void SetPos(int p) override { positions.push_back(p); }
    void Pump() override {}
};

} // namespace

TEST(PsdWrite, PackBitsRuns) {
    auto encode = [](const std::vector<BYTE>& v, std::size_t stride = 1) {
        std::vector<BYTE> out(PackBitsBound(v.size() / stride));
        out.resize(PsdWriter::PackBitsEncode(v.data(), stride, v.size() / stride, out.data()));
        return out;
    };
    EXPECT_EQ(encode(std::vector<BYTE>(200, 7)), (std::vector<BYTE>{0x81, 7, 0xB9, 7})); // 128 + 72
    EXPECT_EQ(encode(std::vector<BYTE>(129, 7)), (std::vector<BYTE>{0x81, 7, 0, 7}));
    EXPECT_EQ(encode({1, 2, 2, 3}), (std::vector<BYTE>{0, 1, 0xFF, 2, 0, 3}));
    std::vector<BYTE> distinct(130);
    for (int i = 0; i < 130; ++i)
        distinct[i] = static_cast<BYTE>(i);
    const std::vector<BYTE> packed = encode(distinct);
    ASSERT_EQ(packed.size(), 1 + 128 + 1 + 2u);
    EXPECT_EQ(packed[0], 127);
    EXPECT_EQ(packed[129], 1);
    // Every fourth byte.
    EXPECT_EQ(encode({5, 0, 0, 0, 5, 1, 1, 1, 6, 2, 2, 2}, 4), (std::vector<BYTE>{0xFF, 5, 0, 6}));
}

TEST(PsdWrite, TwoLayerExportHasTheExactLayout) {
    Ref<CDocImage> doc = MakeRef<CDocImage>();
    doc->width = 2;
    doc->height = 2;
    PackedDib a = CreateSolidDIB(2, 2, RGB(255, 0, 0), 255);
    SetPixel(a, 0, 1, 0xFF0000FFu); // blue at the bottom left
    AddObject(*doc, std::move(a), 0, 0, 0, "bg");
    PackedDib b = CreateTransparentDIB(1, 1);
    SetPixel(b, 0, 0, 0x8000FF00u); // green, alpha 128
    AddObject(*doc, std::move(b), 1, 1, 100, "Layer 1")->visible = 0;
    const std::string path = TempPath("golden.psd");
    ASSERT_TRUE(ExportPsd(*doc, path, nullptr));

    Bytes e;
    e.Str("8BPS").U16(1).Raw({0, 0, 0, 0, 0, 0}).U16(3).U32(2).U32(2).U16(8).U16(3).U32(0).U32(0);
    e.U32(272).U32(264).U16(2);
    // Records: rectangle, channels -1, 0, 1, 2 with their lengths, blending, extra data and name.
    e.U32(0).U32(0).U32(2).U32(2).U16(4).U16(0xFFFF).U32(10).U16(0).U32(11).U16(1).U32(10).U16(2).U32(11);
    e.Str("8BIMnorm").Raw({255, 0, 0, 0}).U32(32).U32(0).U32(0).Raw({2}).Str("bg").Raw({0});
    e.Str("8BIMluni").U32(8).U32(2).U16('b').U16('g');
    e.U32(1).U32(1).U32(2).U32(2).U16(4).U16(0xFFFF).U32(6).U16(0).U32(6).U16(1).U32(6).U16(2).U32(6);
    e.Str("8BIMnorm").Raw({155, 0, 2, 0}).U32(48).U32(0).U32(0).Raw({7}).Str("Layer 1");
    e.Str("8BIMluni").U32(20).U32(7);
    for (char c : std::string("Layer 1"))
        e.U16(static_cast<BYTE>(c));
    e.U16(0);
    // The first layer's channels: alpha, red, green, blue, each a count table and its rows.
    e.U16(1).U16(2).U16(2).Raw({0xFF, 0xFF, 0xFF, 0xFF});
    e.U16(1).U16(2).U16(3).Raw({0xFF, 0xFF, 1, 0, 0xFF});
    e.U16(1).U16(2).U16(2).Raw({0xFF, 0, 0xFF, 0});
    e.U16(1).U16(2).U16(3).Raw({0xFF, 0, 1, 0xFF, 0});
    // The second layer's single pixel: copy runs of one byte.
    e.U16(1).U16(2).Raw({0, 0x80}).U16(1).U16(2).Raw({0, 0}).U16(1).U16(2).Raw({0, 0xFF});
    e.U16(1).U16(2).Raw({0, 0});
    e.U32(0); // global mask
    // The composite (the hidden layer left out): one table, then red, green and blue.
    e.U16(1).U16(2).U16(3).U16(2).U16(2).U16(2).U16(3);
    e.Raw({0xFF, 0xFF, 1, 0, 0xFF}).Raw({0xFF, 0, 0xFF, 0}).Raw({0xFF, 0, 1, 0xFF, 0});
    EXPECT_EQ(FileBytes(path), e.b);
    std::remove(path.c_str());
}

TEST(PsdWrite, LayerNamesArePaddedToFourBytesAndComeBack) {
    auto field = [](const std::string& name) { return PsdWriter::PascalName(name); };
    auto bytes = [](int length, const std::string& text, int zeros) {
        std::vector<BYTE> b{static_cast<BYTE>(length)};
        b.insert(b.end(), text.begin(), text.end());
        b.insert(b.end(), static_cast<std::size_t>(zeros), 0);
        return b;
    };
    // Length byte and name fill a multiple of 4; nothing is added to the name itself.
    EXPECT_EQ(field("Layer 1"), bytes(7, "Layer 1", 0));
    EXPECT_EQ(field("Obj - 10"), bytes(8, "Obj - 10", 3));
    EXPECT_EQ(field("Rectangle - 1"), bytes(13, "Rectangle - 1", 2));
    EXPECT_EQ(field("ab"), bytes(2, "ab", 1));
    EXPECT_EQ(field(""), bytes(0, "", 3));
    EXPECT_EQ(field(std::string(300, 'x')), bytes(255, std::string(255, 'x'), 0));
    // A two-byte character that would straddle the 255th byte is left out whole.
    EXPECT_EQ(field(std::string(254, 'x') + "\xC3\xA9"), bytes(254, std::string(254, 'x'), 1));

    // Every length comes back as it was, and the file stays readable past the names.
    Ref<CDocImage> doc = MakeRef<CDocImage>();
    doc->width = 3;
    doc->height = 2;
    // The whole name comes back through the UTF-16 block, also where the single-byte field
    // cannot hold it (Japanese, an emoji outside the basic plane).
    const char* names[] = {"Obj - 10",
                           "Rectangle - 1",
                           "",
                           "a",
                           "ab",
                           "abc",
                           "Text - 1 ",
                           "\xC3\xA9t\xC3\xA9",
                           "\xE6\x97\xA5\xE6\x9C\xAC \xF0\x9F\x98\x80"};
    for (int i = 0; i < 9; ++i)
        AddObject(*doc, CreateSolidDIB(1 + i % 3, 1 + i % 2, RGB(10 * i, 0, 0), 255), i % 3, 0, 0, names[i]);
    MemoryWriter out;
    ASSERT_TRUE(ExportPsd(*doc, out, nullptr, 0));
    Ref<CDocImage> back = MakeRef<CDocImage>();
    ASSERT_TRUE(Import(out.Data(), *back));
    ASSERT_EQ(back->objects.Count(), 9);
    for (int i = 0; i < 9; ++i) {
        EXPECT_EQ(back->objects.At(i)->content->name, names[i]) << i;
        EXPECT_EQ(PixelOf(back->objects.At(i)->content->raster, 0, 0), 0xFF000000u | (10u * i) << 16) << i;
    }

    // Files written before, with a space added to names of even length, give the names back;
    // a name of odd length that ends in a space is its own.
    auto named = [](std::initializer_list<int> nameField) {
        LayerDef l{0, 0, 1, 1, RgbPixel(1, 2, 3)};
        l.extra = {0, 0, 0, 0, 0, 0, 0, 0};
        for (int v : nameField)
            l.extra.push_back(static_cast<BYTE>(v));
        return l;
    };
    back = MakeRef<CDocImage>();
    ASSERT_TRUE(Import(
        MakePsd(2, 2,
                {named({9, 'O', 'b', 'j', ' ', '-', ' ', '1', '0', ' '}), named({1, ' '}),
                 named({3, 'a', 'b', ' '}), named({5, 'a', 'b', 'c', ' ', ' ', 0, 0}), named({200, 'x'})}),
        *back));
    ASSERT_EQ(back->objects.Count(), 5);
    EXPECT_EQ(back->objects.At(0)->content->name, "Obj - 10");
    EXPECT_EQ(back->objects.At(1)->content->name, "");
    EXPECT_EQ(back->objects.At(2)->content->name, "ab ");
    EXPECT_EQ(back->objects.At(3)->content->name, "abc  ");
    EXPECT_EQ(back->objects.At(4)->content->name, ""); // a length past the extra data: no name

    // Other programs' files: a code-page name alone is read as Windows-1252; a "luni" block after
    // other blocks wins over the field (counting a terminating zero or not); a damaged block
    // leaves the field's name.
    auto block = [](const char* key, std::initializer_list<int> data) {
        std::vector<BYTE> b{'8', 'B', 'I', 'M'};
        b.insert(b.end(), key, key + 4);
        const std::size_t n = data.size();
        for (int s : {24, 16, 8, 0})
            b.push_back(static_cast<BYTE>(n >> s));
        for (int v : data)
            b.push_back(static_cast<BYTE>(v));
        return b;
    };
    auto withBlocks = [&](std::initializer_list<int> field, std::vector<std::vector<BYTE>> blocks) {
        LayerDef l = named(field);
        for (const auto& b : blocks)
            l.extra.insert(l.extra.end(), b.begin(), b.end());
        return l;
    };
    back = MakeRef<CDocImage>();
    ASSERT_TRUE(
        Import(MakePsd(2, 2,
                       {withBlocks({3, 'C', 'a', 0xE9}, {}),
                        withBlocks({3, 'a', 'b', 'c'}, {block("lsct", {0, 0, 0, 0}),
                                                        block("luni", {0, 0, 0, 2, 0x65, 0xE5, 0x67, 0x2C})}),
                        withBlocks({3, 'a', 'b', 'c'}, {block("luni", {0, 0, 0, 2, 0, 0x41, 0, 0})}),
                        withBlocks({3, 'a', 'b', 'c'}, {block("luni", {0, 0, 0, 9, 0, 0x41})}),
                        withBlocks({3, 'a', 'b', 'c'}, {block("luni", {0, 0, 0, 1, 0xD8, 0x3D, 0, 0})})}),
               *back));
    ASSERT_EQ(back->objects.Count(), 5);
    EXPECT_EQ(back->objects.At(0)->content->name, "Ca\xC3\xA9");
    EXPECT_EQ(back->objects.At(1)->content->name, "\xE6\x97\xA5\xE6\x9C\xAC");
    EXPECT_EQ(back->objects.At(2)->content->name, "A");
    EXPECT_EQ(back->objects.At(3)->content->name, "abc");
    EXPECT_EQ(back->objects.At(4)->content->name, "\xEF\xBF\xBD"); // half a surrogate pair
}

TEST(PsdCheck, AnswersByModeAndLayerCount) {
    const LayerDef one{0, 0, 1, 1, RgbPixel(1, 2, 3)};
    EXPECT_EQ(Check(MakePsd(2, 2, {one})), 1);
    EXPECT_EQ(Check(MakePsd(2, 2, {one, one})), 2);
    EXPECT_EQ(Check(MakePsd(2, 2, {one, one}, 3, 8, -2)), 2); // negative: the composite has alpha
    EXPECT_EQ(Check(MakePsd(2, 2, {one, one}, 1)), 1);        // grey scale
    EXPECT_EQ(Check(MakePsd(2, 2, {one, one}, 3, 32)), 1);    // depths we do not read as layers
    EXPECT_EQ(Check(MakePsd(2, 2, {})), 1);
    Bytes noSection;
    noSection.Add(Header(2, 2)).U32(0);
    EXPECT_EQ(Check(noSection.b), 1);

    std::vector<BYTE> bad = MakePsd(2, 2, {one, one});
    bad[5] = 2; // version
    EXPECT_EQ(Check(bad), 0);
    bad = MakePsd(2, 2, {one, one});
    bad[13] = 25; // channels
    EXPECT_EQ(Check(bad), 0);
    bad[13] = 24;
    EXPECT_EQ(Check(bad), 2);
    bad[0] = 'x';
    EXPECT_EQ(Check(bad), 0);
    EXPECT_EQ(Check(std::vector<BYTE>(bad.begin(), bad.begin() + 20)), 0);

    const std::string path = TempPath("check.psd");
    PutFile(path, MakePsd(2, 2, {one, one}));
    EXPECT_EQ(CheckPsdFile(path), 2);
    std::remove(path.c_str());
    EXPECT_EQ(CheckPsdFile(path), 0);
}

namespace {

// Raw and coded layers, channels that are not ours, and layers that give no object.
std::vector<LayerDef> HandMadeLayers() {
    // A 2 x 2 raw layer with a name in its extra data.
    LayerDef plain{0,
                   0,
                   2,
                   2,
                   {{0, RawChannel({10, 11, 12, 13})},
                    {1, RawChannel({20, 21, 22, 23})},
                    {2, RawChannel({30, 31, 32, 33})}}};
    plain.extra = {0, 0, 0, 0, 0, 0, 0, 0, 3, 'a', 'b', 'c'};
    // A hidden 2 x 2 PackBits layer at (2, 1) with transparency, between channels that are not
    // ours (a mask and an extra channel, one coded, one raw, of sizes unrelated to the layer).
    LayerDef coded{1,
                   2,
                   3,
                   4,
                   {{-2, RleChannel({{0xFD, 9}, {0xFD, 9}, {0xFD, 9}})},
                    {-1, RleChannel({{0xFF, 200}, {1, 0, 255}})},
                    {0, RleChannel({{0xFE, 40}, {0x80, 0xFF, 41}})}, // a run past the row; a 128 header
                    {5, RawChannel({1, 2, 3, 4, 5, 6, 7})},
                    {1, RleChannel({{1, 50, 51}, {0xFF, 52}})},
                    {2, RleChannel({{0xFF, 60}, {0xFF, 61}})}},
                   128,
                   2};
    LayerDef noBlue{0, 0, 1, 1, {{0, RawChannel({1})}, {1, RawChannel({2})}}};
    LayerDef outside{5, 10, 6, 11, RgbPixel(70, 71, 72), 0};
    LayerDef empty{0, 0, 0, 0, {{-1, {0, 1}}, {0, {0, 1}}, {1, {0, 1}}, {2, {0, 1}}}};
    LayerDef inverted{3, 3, 1, 1, RgbPixel(1, 2, 3)};
    return {plain, coded, noBlue, empty, inverted, outside};
}

} // namespace

// A layer is the rectangle around an object and its shadow; when that rectangle is too large to
// write (a shadow thrown hundreds of millions of pixels away), the layer keeps what the canvas
// shows, so the file still holds every visible pixel. Ordinary layers reaching past the canvas
// stay whole.
TEST(PsdWrite, LayersTooLargeToWriteKeepWhatTheCanvasShows) {
    Ref<CDocImage> doc = MakeRef<CDocImage>();
    doc->width = 40;
    doc->height = 30;
    AddObject(*doc, Noise(40, 30, 7), 0, 0, 0, "base");
    const auto shadowed = [&](PackedDib raster, int x, int y, int transparency, int shadowX, int shadowY,
                              const char* name) {
        Ref<CDrawObj> o = AddObject(*doc, std::move(raster), x, y, transparency, name);
        o->content->shadowRaster = Noise(12, 9, 11);
        o->content->shadowPosX = shadowX;
        o->content->shadowPosY = shadowY;
        o->content->shadowTransparency = 40;
        return o;
    };
    // On the canvas, its shadow 838 million pixels to the right: the layer is the object alone.
    shadowed(Noise(10, 8, 8), 5, 4, 20, 838'000'000, 2, "far shadow");
    // Far off to the left, its shadow thrown back onto the canvas and past its bottom edge.
    shadowed(Noise(6, 6, 9), -900'000'000, 10, 0, 900'000'010, 15, "far object");
    // Object and shadow both far away: nothing to show, an empty layer.
    shadowed(Noise(6, 6, 10), 2'000'000'000, 0, 0, -100'000'000, 0, "nothing shown");
    // Past the canvas edges but small: written whole, as before.
    AddObject(*doc, Noise(300, 7, 12), -3, -2, 77, "wide");
    // Wider than readers take a layer: what the canvas shows of it.
    AddObject(*doc, Noise(300'001, 1, 13), -5, 29, 0, "too wide");

    const std::string path = TempPath("clipped.psd");
    const COLORREF bg = RGB(10, 200, 30);
    ASSERT_TRUE(ExportFile(*doc, path, 0, 0, nullptr, bg));
    Ref<CDocImage> back = MakeRef<CDocImage>();
    ASSERT_TRUE(Import(FileBytes(path), *back));
    ASSERT_EQ(back->objects.Count(), 5); // the empty layer is not an object
    struct Want {
        const char* name;
        int x, y, w, h, transparency;
    } const want[] = {{"base", 0, 0, 40, 30, 0},
                      {"far shadow", 5, 4, 10, 8, 0},
                      {"far object", 10, 25, 12, 5, 0},
                      {"wide", -3, -2, 300, 7, 77},
                      {"too wide", 0, 29, 40, 1, 0}};
    for (int i = 0; i < 5; ++i) {
        const CDrawObj& o = *back->objects.At(i);
        EXPECT_EQ(o.content->name, want[i].name) << i;
        EXPECT_EQ(o.x, want[i].x) << i;
        EXPECT_EQ(o.y, want[i].y) << i;
        EXPECT_EQ(o.content->raster.Width(), want[i].w) << i;
        EXPECT_EQ(o.content->raster.Height(), want[i].h) << i;
        EXPECT_EQ(o.transparency, want[i].transparency) << i;
    }
    EXPECT_TRUE(SameImage(back->objects.At(3)->content->raster, doc->objects.At(4)->content->raster));
    // Every pixel the canvas showed is in the layers: they draw the same picture again (the
    // colours; a flattened picture's alpha is not stored).
    const PackedDib again = FlattenForExport(*back, bg), before = FlattenForExport(*doc, bg);
    for (int y = 0; y < 30; ++y)
        for (int x = 0; x < 40; ++x)
            ASSERT_EQ(PixelOf(again, x, y) & 0xFFFFFFu, PixelOf(before, x, y) & 0xFFFFFFu) << x << "," << y;
    std::remove(path.c_str());
}

TEST(PsdRead, LayersKeepPlaceOpacityAndVisibility) {
    const std::vector<LayerDef> layers = HandMadeLayers();
    const LayerDef& plain = layers[0];
    const std::vector<BYTE> file = MakePsd(4, 3, layers);

    Ref<CDocImage> doc = MakeRef<CDocImage>();
    ProgressLog progress;
    ASSERT_TRUE(Import(file, *doc, &progress));
    EXPECT_EQ(doc->width, 4);
    EXPECT_EQ(doc->height, 3);
    ASSERT_EQ(doc->objects.Count(), 3);
    EXPECT_EQ(progress.positions.back(), 100);

    const CDrawObj& o0 = *doc->objects.At(0);
    EXPECT_EQ(o0.content->name, "abc");
    EXPECT_EQ(o0.x, 0);
    EXPECT_EQ(o0.y, 0);
    EXPECT_EQ(o0.transparency, 0);
    EXPECT_TRUE(o0.visible);
    const PackedDib& r0 = o0.content->raster;
    EXPECT_EQ(PixelOf(r0, 0, 0), 0xFF0A141Eu);
    EXPECT_EQ(PixelOf(r0, 1, 1), 0xFF0D1721u);

    const CDrawObj& o1 = *doc->objects.At(1);
    EXPECT_EQ(o1.x, 2);
    EXPECT_EQ(o1.y, 1);
    EXPECT_EQ(o1.transparency, 127);
    EXPECT_FALSE(o1.visible);
    const PackedDib& r1 = o1.content->raster;
    EXPECT_EQ(PixelOf(r1, 0, 0), 0xC828323Cu);
    EXPECT_EQ(PixelOf(r1, 1, 0), 0xC828333Cu);
    EXPECT_EQ(PixelOf(r1, 0, 1), 0x0029343Du);
    EXPECT_EQ(PixelOf(r1, 1, 1), 0xFF29343Du);

    const CDrawObj& o2 = *doc->objects.At(2);
    EXPECT_EQ(o2.x, 0); // beyond the canvas: brought to its edge
    EXPECT_EQ(o2.y, 0);
    EXPECT_EQ(o2.transparency, 255);
    EXPECT_EQ(PixelOf(o2.content->raster, 0, 0), 0xFF464748u);
    EXPECT_EQ(o0.content->kind, KindImage);

    // 16-bit samples keep their high byte, raw and coded.
    LayerDef deep{0,
                  0,
                  2,
                  1,
                  {{0, RawChannel({0x12, 0x34, 0x56, 0x78})},
                   {1, RleChannel({{1, 0xAB, 0xCD}, {0xFF, 0xEF}})},
                   {2, RawChannel({0, 0, 0xFF, 0xFF})}}};
    doc = MakeRef<CDocImage>();
    ASSERT_TRUE(Import(MakePsd(1, 2, {deep, deep}, 3, 16), *doc));
    ASSERT_EQ(doc->objects.Count(), 2);
    EXPECT_EQ(PixelOf(doc->objects.At(0)->content->raster, 0, 0), 0xFF12AB00u);
    EXPECT_EQ(PixelOf(doc->objects.At(0)->content->raster, 0, 1), 0xFF56EFFFu);

    // Grey scale is not imported as layers.
    EXPECT_FALSE(Import(MakePsd(4, 3, {plain, plain}, 1), *doc));
}

TEST(PsdRead, AFileWithNothingToShowIsRefusedWithTheReason) {
    const std::vector<LayerDef> layers = HandMadeLayers();
    const LayerDef& plain = layers[0];
    LayerDef wrong = plain;
    wrong.blend = "8BIX";
    LayerDef unknownCoding{0, 0, 1, 1, {{0, {0, 4, 1}}, {1, {0, 4, 2}}, {2, {0, 4, 3}}}};
    // A record without the blend signature; layers none of which can be shown.
    for (const std::vector<LayerDef>& files :
         {std::vector<LayerDef>{plain, wrong}, std::vector<LayerDef>{layers[2], layers[3], layers[4]},
          std::vector<LayerDef>{unknownCoding, unknownCoding}}) {
        Ref<CDocImage> doc = MakeRef<CDocImage>();
        const std::vector<BYTE> bytes = MakePsd(4, 3, files);
        MemoryReader in(bytes);
        std::string problem;
        EXPECT_FALSE(ReadPsdLayers(*doc, in, nullptr, &problem));
        EXPECT_EQ(doc->objects.Count(), 0);
        EXPECT_EQ(problem, "None of the layers of this PSD file could be read, so there is nothing to show.");
    }
    // Through the open: the caller gets the reason in place of its general message.
    const std::string path = TempPath("nothing.psd");
    PutFile(path, MakePsd(4, 3, {plain, wrong}));
    Ref<CDocImage> doc = MakeRef<CDocImage>();
    LoadFlags flags;
    EXPECT_FALSE(OpenFile(*doc, path, flags, nullptr));
    EXPECT_EQ(flags.problem,
              "None of the layers of this PSD file could be read, so there is nothing to show.");
    // Damage is not mistaken for an empty file.
    std::vector<BYTE> cut = MakePsd(4, 3, {plain, plain});
    cut.resize(cut.size() - 10);
    std::string problem;
    MemoryReader in(cut);
    EXPECT_FALSE(ReadPsdLayers(*doc, in, nullptr, &problem));
    EXPECT_TRUE(problem.empty());
    std::remove(path.c_str());
}

namespace {

// A channel of samples (top row first) coded with zlib, the rows first turned into differences
// from their left neighbour when `predicted`; 16-bit samples are big-endian pairs.
std::vector<BYTE> ZipChannel(std::vector<BYTE> samples, int width, int sampleBytes, bool predicted) {
    if (predicted) {
        const std::size_t rowBytes = static_cast<std::size_t>(width * sampleBytes);
        for (std::size_t row = 0; row < samples.size(); row += rowBytes)
            for (int x = width - 1; x > 0; --x) {
                BYTE* p = &samples[row + static_cast<std::size_t>(x * sampleBytes)];
                if (sampleBytes == 1) {
                    p[0] = static_cast<BYTE>(p[0] - p[-1]);
                } else {
                    const unsigned d = (((p[0] << 8) | p[1]) - ((p[-2] << 8) | p[-1])) & 0xFFFF;
                    p[0] = static_cast<BYTE>(d >> 8);
                    p[1] = static_cast<BYTE>(d);
                }
            }
    }
    uLongf size = compressBound(static_cast<uLong>(samples.size()));
    std::vector<BYTE> packed(size);
    compress2(packed.data(), &size, samples.data(), static_cast<uLong>(samples.size()), 9);
    Bytes b;
    b.U16(predicted ? 3 : 2);
    b.b.insert(b.b.end(), packed.begin(), packed.begin() + static_cast<std::ptrdiff_t>(size));
    return b.b;
}

} // namespace

TEST(PsdRead, ZipChannelsWithAndWithoutPredictionAt8And16Bits) {
    // A 3 x 2 layer whose rows rise and fall, so that differences wrap around.
    const std::vector<BYTE> red8{10, 250, 3, 0, 255, 1}, green8{1, 2, 3, 4, 5, 6},
        blue8{200, 100, 50, 25, 12, 6}, alpha8{255, 0, 128, 1, 2, 3};
    for (const bool predicted : {false, true}) {
        LayerDef l{0,
                   0,
                   2,
                   3,
                   {{-1, ZipChannel(alpha8, 3, 1, predicted)},
                    {0, ZipChannel(red8, 3, 1, predicted)},
                    {1, RleChannel({{2, 1, 2, 3}, {2, 4, 5, 6}})}, // codings may be mixed
                    {2, ZipChannel(blue8, 3, 1, predicted)}}};
        Ref<CDocImage> doc = MakeRef<CDocImage>();
        ASSERT_TRUE(Import(MakePsd(3, 2, {l, l}), *doc)) << predicted;
        ASSERT_EQ(doc->objects.Count(), 2);
        const PackedDib& r = doc->objects.At(0)->content->raster;
        for (int i = 0; i < 6; ++i) {
            const BYTE* p = r.Pixel32(i % 3, i / 3);
            EXPECT_EQ(p[2], red8[i]) << predicted << i;
            EXPECT_EQ(p[1], green8[i]) << predicted << i;
            EXPECT_EQ(p[0], blue8[i]) << predicted << i;
            EXPECT_EQ(p[3], alpha8[i]) << predicted << i;
        }

        // 16 bits: the high byte of every sample, after the differences are summed in 16 bits.
        std::vector<BYTE> red16, rest16;
        for (int i = 0; i < 6; ++i) {
            const unsigned v = i % 2 ? 0xFFFFu - 300u * i : 0x0100u * red8[i] + 0xFF;
            red16.insert(red16.end(), {static_cast<BYTE>(v >> 8), static_cast<BYTE>(v)});
            rest16.insert(rest16.end(), {static_cast<BYTE>(40 * i), 0x80});
        }
        LayerDef deep{0,
                      0,
                      2,
                      3,
                      {{0, ZipChannel(red16, 3, 2, predicted)},
                       {1, ZipChannel(rest16, 3, 2, predicted)},
                       {2, ZipChannel(rest16, 3, 2, !predicted)}}};
        doc = MakeRef<CDocImage>();
        ASSERT_TRUE(Import(MakePsd(3, 2, {deep, deep}, 3, 16), *doc)) << predicted;
        const PackedDib& d = doc->objects.At(1)->content->raster;
        for (int i = 0; i < 6; ++i) {
            const BYTE* p = d.Pixel32(i % 3, i / 3);
            EXPECT_EQ(p[2], red16[2 * i]) << predicted << i;
            EXPECT_EQ(p[1], 40 * i) << predicted << i;
            EXPECT_EQ(p[0], 40 * i) << predicted << i;
            EXPECT_EQ(p[3], 255);
        }
    }

    auto fails = [](const LayerDef& l) {
        Ref<CDocImage> doc = MakeRef<CDocImage>();
        return !Import(MakePsd(3, 2, {l, l}), *doc);
    };
    // A stream that is damaged, or that ends before the layer is full.
    std::vector<BYTE> damaged = ZipChannel(red8, 3, 1, false);
    damaged[5] ^= 0x55;
    EXPECT_TRUE(fails({0, 0, 2, 3, {{0, damaged}, {1, RawChannel({1, 2, 3, 4, 5, 6})}, {2, damaged}}}));
    const std::vector<BYTE> shortStream = ZipChannel({1, 2, 3}, 3, 1, false);
    EXPECT_TRUE(fails({0, 0, 2, 3, {{0, shortStream}, {1, shortStream}, {2, shortStream}}}));
    // A layer of 30000 x 30000 behind a few bytes of stream is refused before its raster is made.
    const std::vector<BYTE> tiny = ZipChannel(std::vector<BYTE>(1000, 7), 1000, 1, false);
    EXPECT_TRUE(fails({0, 0, 30000, 30000, {{0, tiny}, {1, tiny}, {2, tiny}}}));
}

TEST(PsdRoundTrip, LayersAndCompositeComeBack) {
    Ref<CDocImage> doc = MakeRef<CDocImage>();
    doc->width = 61;
    doc->height = 40;
    AddObject(*doc, Noise(61, 40, 1), 0, 0, 0, "base");
    AddObject(*doc, Noise(300, 7, 2), -3, -2, 77, "wide");
    Ref<CDrawObj> hidden = AddObject(*doc, Noise(5, 9, 3), 50, 30, 0, "hidden");
    hidden->visible = 0;
    Ref<CDrawObj> shadowed = AddObject(*doc, Noise(12, 10, 4), 20, 15, 30, "shadowed");
    shadowed->content->shadowRaster = Noise(16, 14, 5);
    shadowed->content->shadowPosX = -2;
    shadowed->content->shadowPosY = 3;
    shadowed->content->shadowTransparency = 50;
    doc->objects.AddTail(MakeRef<CDrawObj>(MakeRef<CObjContent>(KindImage))); // no raster: an empty layer

    const std::string path = TempPath("roundtrip.psd");
    ProgressLog progress;
    ASSERT_TRUE(ExportPsd(*doc, path, &progress, RGB(10, 200, 30)));
    EXPECT_EQ(progress.positions.back(), 100);
    const std::vector<BYTE> bytes = FileBytes(path);
    EXPECT_EQ(Check(bytes), 2);
    // The layer info is padded to an even length.
    EXPECT_EQ(bytes[41] % 2, 0);

    Ref<CDocImage> back = MakeRef<CDocImage>();
    ASSERT_TRUE(Import(bytes, *back));
    EXPECT_EQ(back->width, 61);
    EXPECT_EQ(back->height, 40);
    ASSERT_EQ(back->objects.Count(), 4);
    for (int i = 0; i < 3; ++i) {
        const CDrawObj& a = *doc->objects.At(i);
        const CDrawObj& b = *back->objects.At(i);
        EXPECT_EQ(b.content->name, a.content->name) << i;
        EXPECT_EQ(b.x, a.x) << i;
        EXPECT_EQ(b.y, a.y) << i;
        EXPECT_EQ(b.transparency, a.transparency) << i;
        EXPECT_EQ(b.visible, a.visible) << i;
        EXPECT_TRUE(SameImage(b.content->raster, a.content->raster)) << i;
    }
    // The shadow is baked in, each part with its own transparency, at full opacity.
    POINT pos{};
    const PackedDib merged =
        MergeImages(shadowed->content->shadowRaster, POINT{18, 18}, shadowed->ShadowTransparency(),
                    shadowed->content->raster, POINT{20, 15}, 30, pos);
    const CDrawObj& s = *back->objects.At(3);
    EXPECT_EQ(s.x, 18);
    EXPECT_EQ(s.y, 15);
    EXPECT_EQ(s.transparency, 0);
    EXPECT_TRUE(SameImage(s.content->raster, merged));

    // The composite reads back through the image-file library with the flattened pixels.
    PackedDib expected = CreateSolidDIB(61, 40, RGB(10, 200, 30), 255);
    FlattenFrame(doc->objects, expected, POINT{0, 0}, 1);
    const PackedDib composite = CImage().LoadPSDFile(path, nullptr);
    ASSERT_EQ(composite.BitCount(), 24);
    ASSERT_EQ(composite.Width(), 61);
    ASSERT_EQ(composite.Height(), 40);
    for (int y = 0; y < 40; ++y)
        for (int x = 0; x < 61; ++x)
            ASSERT_EQ(std::memcmp(composite.Row(y) + 3 * x, expected.Pixel32(x, y), 3), 0) << x << "," << y;
    std::remove(path.c_str());
}

TEST(PsdRead, DamagedFilesFailCleanly) {
    Ref<CDocImage> doc = MakeRef<CDocImage>();
    doc->width = 9;
    doc->height = 7;
    AddObject(*doc, Noise(9, 7, 6), 0, 0);
    AddObject(*doc, Noise(4, 3, 7), 2, 2, 9);
    MemoryWriter out;
    ASSERT_TRUE(ExportPsd(*doc, out, nullptr, 0));
    const std::vector<BYTE> good = out.Data();
    const std::size_t sectionEnd =
        34 + 4 + ((std::size_t{good[34]} << 24) | (good[35] << 16) | (good[36] << 8) | good[37]);

    // Every prefix: a cut inside the layers fails, a cut in the composite keeps both layers.
    for (std::size_t n = 0; n < good.size(); ++n) {
        Ref<CDocImage> d = MakeRef<CDocImage>();
        const bool ok = Import(std::vector<BYTE>(good.begin(), good.begin() + n), *d);
        ASSERT_EQ(ok, n >= sectionEnd) << n;
        if (ok) {
            ASSERT_EQ(d->objects.Count(), 2) << n;
        }
        Check(std::vector<BYTE>(good.begin(), good.begin() + n));
    }
    // Seeded byte flips never crash or hang.
    const std::vector<BYTE> handMade = MakePsd(4, 3, HandMadeLayers());
    const std::vector<BYTE> zipped = [] {
        std::vector<BYTE> samples(5 * 4);
        for (std::size_t i = 0; i < samples.size(); ++i)
            samples[i] = static_cast<BYTE>(i * 37);
        LayerDef l{0,
                   0,
                   4,
                   5,
                   {{-1, ZipChannel(samples, 5, 1, true)},
                    {0, ZipChannel(samples, 5, 1, false)},
                    {1, ZipChannel(samples, 5, 1, true)},
                    {2, ZipChannel(samples, 5, 1, false)}}};
        l.extra = {0, 0, 0, 0, 0, 0, 0, 0, 3, 'a', 'b', 'c'};
        return MakePsd(5, 4, {l, l});
    }();
    std::mt19937 rng(4044);
    for (int i = 0; i < 9000; ++i) {
        std::vector<BYTE> bad = i % 3 == 0 ? good : i % 3 == 1 ? handMade : zipped;
        for (int k = 0; k < 3; ++k)
            bad[rng() % bad.size()] = static_cast<BYTE>(rng());
        Ref<CDocImage> d = MakeRef<CDocImage>();
        Import(bad, *d);
        Check(bad);
    }

    auto fails = [](const std::vector<BYTE>& bytes) {
        Ref<CDocImage> d = MakeRef<CDocImage>();
        return !Import(bytes, *d);
    };
    // A 30000 x 30000 layer over a few bytes is refused before its raster is made, coded or raw.
    EXPECT_TRUE(fails(MakePsd(4, 4, {{0, 0, 30000, 30000, RgbPixel(1, 2, 3)}})));
    LayerDef hugeCoded{
        0,
        0,
        30000,
        30000,
        {{0, RleChannel({{0xFF, 1}})}, {1, RleChannel({{0xFF, 1}})}, {2, RleChannel({{0xFF, 1}})}}};
    EXPECT_TRUE(fails(MakePsd(4, 4, {hugeCoded})));
    // Sides beyond what the format can hold, whatever the data.
    EXPECT_TRUE(fails(MakePsd(4, 4, {{-2000000000, 0, 2000000000, 1, RgbPixel(1, 2, 3)}})));
    // Coded rows that run out before the row is complete.
    EXPECT_TRUE(fails(MakePsd(
        4, 4,
        {{0, 0, 1, 2, {{0, RleChannel({{0, 1}})}, {1, RawChannel({1, 2})}, {2, RawChannel({1, 2})}}}})));
    // A layer count the section cannot hold; a canvas of 0 x 0.
    EXPECT_TRUE(fails(MakePsd(4, 4, {{0, 0, 1, 1, RgbPixel(1, 2, 3)}}, 3, 8, 32767)));
    EXPECT_TRUE(fails(MakePsd(0, 0, {})));
    // Channel lengths past the section, and a section past the file.
    std::vector<BYTE> lying = MakePsd(4, 4, {{0, 0, 1, 1, RgbPixel(1, 2, 3)}});
    std::vector<BYTE> longChannel = lying;
    longChannel[38 + 8 + 2 + 16 + 2 + 2 + 1] = 1; // the red channel's length + 65536
    EXPECT_TRUE(fails(longChannel));
    lying[38] = 0x7F;
    EXPECT_TRUE(fails(lying));
}

TEST(PsdWrite, FailedWritesAreReportedAndKeepTheOldFile) {
    Ref<CDocImage> doc = MakeRef<CDocImage>();
    doc->width = 30;
    doc->height = 20;
    AddObject(*doc, Noise(30, 20, 8), 0, 0);
    AddObject(*doc, Noise(7, 7, 9), 3, 4, 20);
    MemoryWriter full;
    ASSERT_TRUE(ExportPsd(*doc, full, nullptr, 0));
    for (std::size_t limit :
         {std::size_t{0}, std::size_t{30}, std::size_t{200}, full.Size() / 2, full.Size() - 1}) {
        ShortWriter sink(limit);
        EXPECT_FALSE(ExportPsd(*doc, sink, nullptr, 0)) << limit;
    }

    const std::string path = TempPath("keep.psd");
    PutFile(path, {'o', 'l', 'd'});
    Ref<CDocImage> empty = MakeRef<CDocImage>(); // a 0 x 0 canvas has no composite
    EXPECT_FALSE(ExportPsd(*empty, path, nullptr));
    EXPECT_EQ(FileBytes(path), (std::vector<BYTE>{'o', 'l', 'd'}));
    ASSERT_TRUE(ExportPsd(*doc, path, nullptr, 0));
    EXPECT_EQ(FileBytes(path), full.Data());
    // A row that codes to more bytes than its 16-bit count can say.
    Ref<CDocImage> wide = MakeRef<CDocImage>();
    wide->width = 70000;
    wide->height = 1;
    PackedDib stripes = CreateTransparentDIB(70000, 1);
    for (int x = 0; x < 70000; x += 2)
        SetPixel(stripes, x, 0, 0xFFFFFFFFu);
    AddObject(*wide, std::move(stripes), 0, 0);
    EXPECT_FALSE(ExportPsd(*wide, path, nullptr));
    EXPECT_EQ(FileBytes(path), full.Data());
    std::remove(path.c_str());
    EXPECT_FALSE(ExportPsd(*doc, "/nonexistent-dir/x.psd", nullptr));
}
