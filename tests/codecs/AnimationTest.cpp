// Animated GIF and ANI export: every visible object a frame, read back by our readers and by
// ImageMagick.
#include "CodecTestUtil.h"
#include "codecs/GifAnimation.h"
#include "codecs/GifCodec.h"
#include "codecs/GifReader.h"
#include "codecs/IconCodec.h"
#include "codecs/IconWriter.h"
#include "codecs/OpenExport.h"
#include "extlib/PngFile.h"
#include "platform/ByteStream.h"
#include "raster/Dib.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <random>

using namespace zepho;
using namespace zepho::test;

namespace {

using Bytes = std::vector<BYTE>;

std::string TempPath(const std::string& name) {
    return testing::TempDir() + "zepho_anim_" + name;
}

std::uint32_t PixelOf(const PackedDib& d, int x, int y) {
    std::uint32_t v;
    std::memcpy(&v, d.Pixel32(x, y), 4);
    return v;
}

void Put(PackedDib& d, int x, int y, std::uint32_t argb) {
    std::memcpy(d.Pixel32(x, y), &argb, 4);
}

Ref<CDrawObj> AddObject(CDocImage& doc, PackedDib raster, int x, int y, bool visible = true) {
    Ref<CObjContent> c = MakeRef<CObjContent>(KindImage);
    c->SetRaster(std::move(raster));
    Ref<CDrawObj> o = MakeRef<CDrawObj>(c);
    o->x = x;
    o->y = y;
    o->visible = visible ? 1 : 0;
    doc.objects.AddTail(o);
    return o;
}

// What a GIF can hold of a 32-bit picture: alpha 0 is transparent (all zero, as our reader gives
// it), partial alpha is blended over white and becomes opaque.
PackedDib GifDomain(const PackedDib& d) {
    PackedDib out = d.Clone();
    for (int y = 0; y < d.Height(); ++y)
        for (int x = 0; x < d.Width(); ++x) {
            BYTE* p = out.Pixel32(x, y);
            const int a = p[3];
            if (a == 0) {
                std::memset(p, 0, 4);
            } else if (a != 255) {
                for (int c = 0; c < 3; ++c)
                    p[c] = static_cast<BYTE>(std::min(255, (255 * (255 - a) + p[c] * a) / 255));
                p[3] = 255;
            }
        }
    return out;
}

// The canvas after each visible object, as the document flattens it.
std::vector<PackedDib> Steps(const CDocImage& doc) {
    std::vector<PackedDib> steps;
    std::vector<int> shown;
    for (int i = 0; i < doc.objects.Count(); ++i)
        if (doc.objects.At(i)->visible) shown.push_back(i);
    for (std::size_t k = 0; k < shown.size(); ++k) {
        std::vector<int> saved;
        for (int i = 0; i < doc.objects.Count(); ++i) {
            saved.push_back(doc.objects.At(i)->visible);
            const bool upTo = std::find(shown.begin(), shown.begin() + static_cast<std::ptrdiff_t>(k) + 1,
                                        i) != shown.begin() + static_cast<std::ptrdiff_t>(k) + 1;
            doc.objects.At(i)->visible = upTo ? 1 : 0;
        }
        steps.push_back(GifDomain(doc.CompositeVisible(doc.width, doc.height)));
        for (int i = 0; i < doc.objects.Count(); ++i)
            doc.objects.At(i)->visible = saved[static_cast<std::size_t>(i)];
    }
    return steps;
}

int CountDifferences(const PackedDib& a, const PackedDib& b) {
    if (a.Width() != b.Width() || a.Height() != b.Height()) return -1;
    int n = 0;
    for (int y = 0; y < a.Height(); ++y)
        for (int x = 0; x < a.Width(); ++x)
            n += PixelOf(a, x, y) != PixelOf(b, x, y);
    return n;
}

// Opens a file the way the editor does and shows every frame.
Ref<CDocImage> OpenAll(const std::string& path) {
    Ref<CDocImage> doc = MakeRef<CDocImage>();
    LoadFlags flags;
    if (!OpenFile(*doc, path, flags, nullptr)) return {};
    for (const auto& o : doc->objects)
        o->visible = 1;
    return doc;
}

// A 40 x 30 canvas: a background of a few colours with a transparent corner, objects smaller
// than the canvas at different places (one with a hole, one half transparent, one hidden, one
// that changes nothing).
Ref<CDocImage> LayeredDoc() {
    Ref<CDocImage> doc = MakeRef<CDocImage>();
    doc->width = 40;
    doc->height = 30;
    doc->delay = 7;
    PackedDib bg = CreateSolidDIB(40, 30, RGB(10, 20, 30), 255);
    for (int y = 0; y < 30; ++y)
        for (int x = 0; x < 40; ++x)
            Put(bg, x, y,
                x < 6 && y < 4 ? 0u : 0xFF000000u | std::uint32_t(((x / 5 + y / 7) % 6) * 0x2A1F13));
    AddObject(*doc, std::move(bg), 0, 0);
    AddObject(*doc, CreateSolidDIB(8, 6, RGB(255, 0, 0), 255), 5, 5);
    PackedDib holed = CreateSolidDIB(8, 6, RGB(0, 200, 0), 255);
    Put(holed, 3, 2, 0);
    AddObject(*doc, std::move(holed), 9, 7);
    AddObject(*doc, CreateSolidDIB(40, 30, RGB(0, 0, 255), 255), 0, 0, false);
    AddObject(*doc, CreateSolidDIB(8, 6, RGB(255, 0, 0), 255), 30, 22);
    AddObject(*doc, CreateSolidDIB(6, 6, RGB(0, 0, 0), 128), 0, 0); // over the transparent corner too
    AddObject(*doc, CreateSolidDIB(2, 2, 0, 0), 20, 20);            // draws nothing
    return doc;
}

bool HaveImageMagick() {
    FILE* p = popen("/usr/bin/convert -version 2>/dev/null", "r");
    if (!p) return false;
    char buf[256] = {};
    const std::size_t n = fread(buf, 1, sizeof buf - 1, p);
    pclose(p);
    return n > 0 && std::strstr(buf, "ImageMagick") != nullptr;
}

// ImageMagick's frames of a GIF, each drawn over the ones before as its disposal says.
std::vector<PackedDib> ImageMagickFrames(const std::string& gif, int w, int h) {
    const std::string raw = gif + ".rgba";
    const std::string cmd =
        "/usr/bin/convert '" + gif + "' -coalesce -depth 8 'rgba:" + raw + "' 2>/dev/null";
    std::vector<PackedDib> frames;
    if (std::system(cmd.c_str()) != 0) return frames;
    const Bytes rgba = FileBytes(raw);
    std::remove(raw.c_str());
    const std::size_t size = std::size_t(w) * h * 4;
    for (std::size_t off = 0; off + size <= rgba.size(); off += size) {
        PackedDib f = PackedDib::Create(w, h, 32);
        for (int i = 0; i < w * h; ++i) {
            const BYTE* q = &rgba[off + 4 * std::size_t(i)];
            Put(f, i % w, i / w,
                q[3] ? 0xFF000000u | std::uint32_t(q[0]) << 16 | std::uint32_t(q[1]) << 8 | q[2] : 0u);
        }
        frames.push_back(std::move(f));
    }
    return frames;
}

std::string Output(const std::string& cmd) {
    std::string out;
    FILE* p = popen(cmd.c_str(), "r");
    if (!p) return out;
    std::array<char, 4096> buf;
    std::size_t n;
    while ((n = fread(buf.data(), 1, buf.size(), p)) > 0)
        out.append(buf.data(), n);
    pclose(p);
    return out;
}

struct GifFrameInfo {
    int left, top, w, h;
    BYTE controlFlags;
    WORD delay;
    bool localTable;
};

std::vector<GifFrameInfo> FramesOf(const std::string& path) {
    GifReader r;
    std::vector<GifFrameInfo> frames;
    if (!r.Open(path)) return frames;
    GifImage image;
    while (!r.AtEnd() && r.ReadImage(image, false, nullptr) == GifReader::Status::Image)
        frames.push_back({image.left, image.top, image.dib.Width(), image.dib.Height(), image.controlFlags,
                          image.delay, (image.imageFlags & 0x80) != 0});
    return frames;
}

// A photograph-like picture: smooth colour fields with grain, far more than 256 colours.
PackedDib Photo(int w, int h, int seed) {
    PackedDib d = PackedDib::Create(w, h, 32);
    std::mt19937 rng(static_cast<unsigned>(seed));
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const double r = 128 + 90 * std::sin(x * 0.031 + seed) * std::cos(y * 0.017);
            const double g = 110 + 80 * std::sin(y * 0.023 + x * 0.007);
            const double b = 140 + 70 * std::cos((x + y) * 0.012 + seed);
            auto c = [&](double v) { return std::uint32_t(std::clamp(int(v) + int(rng() % 9) - 4, 0, 255)); };
            Put(d, x, y, 0xFF000000u | c(r) << 16 | c(g) << 8 | c(b));
        }
    return d;
}

} // namespace

namespace {
struct ProgressRecord final : IProgress {
    std::vector<int> positions;
    int pumps = 0;
    void SetText(const std::string&) override {}
    void SetPos(int p) override { positions.push_back(p); }
    void Pump() override { ++pumps; }
};
} // namespace

TEST(GifAnimation, EveryStepComesBackThroughOurReader) {
    Ref<CDocImage> doc = LayeredDoc();
    doc->gifControlFlags = 0x02 | (2 << 2); // user input; the file's own disposal wins
    const std::vector<PackedDib> want = Steps(*doc);
    ASSERT_EQ(want.size(), 6u);
    for (const bool interlace : {false, true}) {
        const std::string path = TempPath(interlace ? "steps_i.gif" : "steps.gif");
        ProgressRecord progress;
        ASSERT_TRUE(ExportFile(*doc, path, interlace ? 1 : 0, kExportAnimate, &progress, 0xFFFFFF));
        // One bar from composing to writing.
        ASSERT_FALSE(progress.positions.empty());
        EXPECT_TRUE(std::is_sorted(progress.positions.begin(), progress.positions.end()));
        EXPECT_EQ(progress.positions.back(), 100);
        EXPECT_GE(progress.pumps, 6);
        const Bytes file = FileBytes(path);
        ASSERT_GT(file.size(), 13u);
        EXPECT_EQ(std::memcmp(file.data(), "GIF89a", 6), 0);
        static const BYTE kLoop[] = {0x21, 0xFF, 0x0B, 'N', 'E', 'T', 'S', 'C', 'A',
                                     'P',  'E',  '2',  '.', '0', 3,   1,   0,   0};
        EXPECT_NE(std::search(file.begin(), file.end(), std::begin(kLoop), std::end(kLoop)), file.end());

        const std::vector<GifFrameInfo> frames = FramesOf(path);
        ASSERT_EQ(frames.size(), 6u);
        EXPECT_EQ(frames[0].w, 40);
        EXPECT_EQ(frames[0].h, 30);
        EXPECT_EQ(frames[0].controlFlags & 0x02, 0x02);
        for (const GifFrameInfo& f : frames) {
            EXPECT_EQ(f.delay, 7);
            EXPECT_EQ((f.controlFlags >> 2) & 7, 1); // drawn over, never restored
        }
        // Later frames are cut to what changed: the red square, the green one, ...
        EXPECT_EQ(std::make_tuple(frames[1].left, frames[1].top, frames[1].w, frames[1].h),
                  std::make_tuple(5, 5, 8, 6));
        EXPECT_EQ(std::make_tuple(frames[2].left, frames[2].top, frames[2].w, frames[2].h),
                  std::make_tuple(9, 7, 8, 6));
        EXPECT_EQ(frames[5].w * frames[5].h, 1); // nothing changed, the frame still counts

        Ref<CDocImage> back = OpenAll(path);
        ASSERT_TRUE(back);
        EXPECT_EQ(back->width, 40);
        EXPECT_EQ(back->delay, 7);
        const std::vector<PackedDib> got = Steps(*back);
        ASSERT_EQ(got.size(), want.size());
        for (std::size_t i = 0; i < want.size(); ++i)
            EXPECT_EQ(CountDifferences(got[i], want[i]), 0)
                << "frame " << i << (interlace ? " interlaced" : "");
        std::remove(path.c_str());
    }

    // With one visible object the file is the single picture, byte for byte.
    Ref<CDocImage> one = DocWith(CreateSolidDIB(9, 4, RGB(1, 2, 3), 255), 12, 8, 2, 1);
    AddObject(*one, CreateSolidDIB(3, 3, RGB(9, 9, 9), 255), 0, 0, false);
    const std::string a = TempPath("one_anim.gif"), b = TempPath("one_plain.gif");
    ASSERT_TRUE(ExportFile(*one, a, 0, kExportAnimate, nullptr, 0));
    ASSERT_TRUE(ExportFile(*one, b, 0, 0, nullptr, 0));
    EXPECT_EQ(FileBytes(a), FileBytes(b));
    std::remove(a.c_str());
    std::remove(b.c_str());
}

TEST(GifAnimation, PalettesFollowTheFrames) {
    auto write = [](const std::vector<PackedDib>& frames, GifAnimationStats& st, Bytes& bytes) {
        GifAnimationWriter w;
        ASSERT_TRUE(w.Begin(frames[0].Width(), frames[0].Height()));
        for (const PackedDib& f : frames)
            ASSERT_TRUE(w.AddFrame(f));
        MemoryWriter out;
        GifAnimationOptions options;
        options.preferredTransparent = 3;
        ASSERT_TRUE(w.Write(out, options, nullptr, &st));
        bytes = out.Take();
        ASSERT_EQ(st.bytes, bytes.size());
    };
    auto decode = [](const Bytes& bytes) {
        Ref<CDocImage> doc = MakeRef<CDocImage>();
        MemoryReader in(bytes.data(), bytes.size());
        EXPECT_TRUE(ReadGif(*doc, in, nullptr));
        for (const auto& o : doc->objects)
            o->visible = 1;
        return Steps(*doc);
    };

    // Few colours in all: one exact table, the preferred transparent index, exact frames.
    {
        std::vector<PackedDib> frames;
        PackedDib screen = CreateSolidDIB(30, 20, RGB(40, 50, 60), 255);
        for (int i = 0; i < 5; ++i) {
            for (int k = 0; k < 4; ++k)
                Put(screen, 3 * i + k, 2 * i, 0xFF000000u | std::uint32_t(i * 40 + k));
            frames.push_back(screen.Clone());
        }
        GifAnimationStats st;
        Bytes bytes;
        write(frames, st, bytes);
        EXPECT_TRUE(st.globalPalette);
        EXPECT_EQ(st.localPalettes, 0);
        EXPECT_EQ(st.quantisedFrames, 0);
        const std::vector<PackedDib> got = decode(bytes);
        ASSERT_EQ(got.size(), 5u);
        for (int i = 0; i < 5; ++i)
            EXPECT_EQ(CountDifferences(got[static_cast<std::size_t>(i)], frames[static_cast<std::size_t>(i)]),
                      0)
                << i;
        // The first frame's transparent index is the preferred one: 3, from byte 13 + table on.
        const std::vector<GifFrameInfo> info = [&] {
            const std::string p = TempPath("pal.gif");
            PutFile(p, bytes);
            auto f = FramesOf(p);
            std::remove(p.c_str());
            return f;
        }();
        ASSERT_EQ(info.size(), 5u);
        EXPECT_FALSE(info[1].localTable);
    }

    // A photograph with small exact changes: one quantised shared table, the small frames exact in
    // tables of their own, unchanged pixels left alone.
    {
        std::vector<PackedDib> frames;
        PackedDib screen = Photo(96, 64, 1);
        frames.push_back(screen.Clone());
        for (int i = 0; i < 4; ++i) {
            for (int y = 0; y < 6; ++y)
                for (int x = 0; x < 6; ++x)
                    Put(screen, 10 + 15 * i + x, 20 + y, 0xFF000000u | (i % 2 ? 0xFF00FFu : 0x00FFFFu));
            frames.push_back(screen.Clone());
        }
        GifAnimationStats st;
        Bytes bytes;
        write(frames, st, bytes);
        EXPECT_TRUE(st.globalPalette);
        EXPECT_EQ(st.quantisedFrames, 1);
        const std::vector<PackedDib> got = decode(bytes);
        ASSERT_EQ(got.size(), 5u);
        // The squares are exact; the photograph is close and the same in every frame outside
        // the squares.
        double err = 0;
        for (int y = 0; y < 64; ++y)
            for (int x = 0; x < 96; ++x) {
                const std::uint32_t a = PixelOf(got[0], x, y), b = PixelOf(frames[0], x, y);
                for (int c = 0; c < 24; c += 8)
                    err += std::abs(int((a >> c) & 0xFF) - int((b >> c) & 0xFF));
                for (std::size_t i = 1; i < 5; ++i) {
                    const bool square = y >= 20 && y < 26 && (x - 10) % 15 < 6 && x >= 10 &&
                                        (x - 10) / 15 < static_cast<int>(i);
                    if (square)
                        EXPECT_EQ(PixelOf(got[i], x, y), PixelOf(frames[i], x, y)) << x << "," << y;
                    else
                        ASSERT_EQ(PixelOf(got[i], x, y), a) << i << ": " << x << "," << y;
                }
            }
        EXPECT_LT(err / (96 * 64 * 3), 6.0);
    }

    // Two photographs of different colours: each is better with its own table.
    {
        std::vector<PackedDib> frames;
        frames.push_back(Photo(64, 48, 2));
        frames.push_back(Photo(64, 48, 2));
        for (int y = 0; y < 48; ++y)
            for (int x = 0; x < 64; ++x) {
                const std::uint32_t p = PixelOf(frames[1], x, y);
                // Channels rotated and pushed to the other end of the scale.
                Put(frames[1], x, y,
                    0xFF000000u | ((255 - (p & 0xFF)) << 16) | (((p >> 16) & 0xFF) / 4) << 8 |
                        (255 - ((p >> 8) & 0xFF)));
            }
        GifAnimationStats st;
        Bytes bytes;
        write(frames, st, bytes);
        EXPECT_EQ(st.quantisedFrames, 2);
        EXPECT_GE(st.localPalettes, 1);
        ASSERT_EQ(decode(bytes).size(), 2u);
    }

    // Two dots in opposite corners of a noisy picture: the frame spans the picture, and what
    // lies between them costs next to nothing as transparency.
    {
        std::vector<PackedDib> frames;
        PackedDib screen = CreateSolidDIB(120, 90, 0, 255);
        std::mt19937 rng(9);
        for (int y = 0; y < 90; ++y)
            for (int x = 0; x < 120; ++x)
                Put(screen, x, y, 0xFF000000u | (rng() % 200) * 0x010305u);
        frames.push_back(screen.Clone());
        Put(screen, 0, 0, 0xFFFFFFFFu);
        Put(screen, 119, 89, 0xFFFFFFFFu);
        frames.push_back(screen.Clone());
        GifAnimationStats st;
        Bytes bytes;
        write(frames, st, bytes);
        EXPECT_EQ(st.transparentFrames, 1);
        const std::string p = TempPath("dots.gif");
        PutFile(p, bytes);
        const std::vector<GifFrameInfo> info = FramesOf(p);
        ASSERT_EQ(info.size(), 2u);
        EXPECT_EQ(info[1].w * info[1].h, 120 * 90);
        GifAnimationStats alone;
        Bytes first;
        std::vector<PackedDib> one;
        one.push_back(frames[0].Clone());
        write(one, alone, first);
        EXPECT_LT(bytes.size(), first.size() + 600); // the whole second frame
        const std::vector<PackedDib> got = decode(bytes);
        EXPECT_EQ(CountDifferences(got[1], frames[1]), 0);
        std::remove(p.c_str());
    }

    // A frame may only add to the screen: one that takes a visible pixel away is refused.
    GifAnimationWriter w;
    ASSERT_TRUE(w.Begin(4, 4));
    EXPECT_TRUE(w.AddFrame(CreateSolidDIB(4, 4, RGB(1, 1, 1), 255)));
    EXPECT_FALSE(w.AddFrame(CreateSolidDIB(4, 4, 0, 0)));
    EXPECT_FALSE(w.AddFrame(CreateSolidDIB(5, 4, 0, 255)));
    EXPECT_FALSE(w.Begin(0, 4));
    EXPECT_FALSE(w.Begin(70000, 4));
}

TEST(GifAnimation, FailuresLeaveTheTargetAlone) {
    Ref<CDocImage> doc = LayeredDoc();
    GifAnimationWriter w;
    ASSERT_TRUE(w.Begin(doc->width, doc->height));
    for (const PackedDib& s : Steps(*doc))
        ASSERT_TRUE(w.AddFrame(s));
    MemoryWriter full;
    ASSERT_TRUE(w.Write(full, {}, nullptr));
    for (std::size_t limit = 0; limit < full.Size(); limit += 7) {
        ShortWriter sink(limit);
        EXPECT_FALSE(w.Write(sink, {}, nullptr)) << limit;
    }
    const std::string path = TempPath("keep.gif");
    PutFile(path, {'o', 'l', 'd'});
    Ref<CDocImage> empty = MakeRef<CDocImage>();
    EXPECT_FALSE(ExportFile(*empty, path, 0, kExportAnimate, nullptr, 0));
    EXPECT_EQ(FileBytes(path), (Bytes{'o', 'l', 'd'}));
    std::remove(path.c_str());
    EXPECT_FALSE(ExportFile(*doc, "/nonexistent-dir/x.gif", 0, kExportAnimate, nullptr, 0));
}

// Open an animation, change it, write it again, open that: the frames are the edited ones.
TEST(GifAnimation, EditedAnimationsComeBackEdited) {
    std::vector<std::string> sources;
    const std::string ours = TempPath("src_ours.gif");
    ASSERT_TRUE(ExportFile(*LayeredDoc(), ours, 0, kExportAnimate, nullptr, 0));
    sources.push_back(ours);
    if (HaveImageMagick()) {
        // Full frames written by another program.
        std::vector<std::string> pngs;
        for (int i = 0; i < 3; ++i) {
            PackedDib f = CreateSolidDIB(24, 16, RGB(200, 200, 200), 255);
            for (int k = 0; k < 5; ++k)
                Put(f, 4 * i + k, 3 + i, 0xFF000000u | std::uint32_t(0x3300FF * (i + 1)));
            pngs.push_back(TempPath("im" + std::to_string(i) + ".png"));
            ASSERT_TRUE(WritePngRgba(pngs.back(), f));
        }
        const std::string theirs = TempPath("src_im.gif");
        ASSERT_EQ(std::system(("/usr/bin/convert -delay 12 '" + pngs[0] + "' '" + pngs[1] + "' '" + pngs[2] +
                               "' -loop 0 '" + theirs + "'")
                                  .c_str()),
                  0);
        for (const std::string& p : pngs)
            std::remove(p.c_str());
        sources.push_back(theirs);
    }
    for (const std::string& src : sources) {
        Ref<CDocImage> doc = OpenAll(src);
        ASSERT_TRUE(doc) << src;
        ASSERT_GE(doc->objects.Count(), 3) << src;
        // Paint into the second frame, move the third, drop the first's neighbour's visibility
        // and put a new frame on top.
        PackedDib& second = doc->objects.At(1)->content->raster;
        for (int y = 0; y < std::min(2, second.Height()); ++y)
            for (int x = 0; x < std::min(3, second.Width()); ++x)
                Put(second, x, y, 0xFF123456u);
        doc->objects.At(2)->x += 3;
        doc->objects.At(2)->y += 1;
        AddObject(*doc, CreateSolidDIB(4, 3, RGB(250, 240, 5), 255), 2, 9);
        doc->delay = 15;
        const std::vector<PackedDib> want = Steps(*doc);

        const std::string out = TempPath("edited.gif");
        ASSERT_TRUE(ExportFile(*doc, out, 0, kExportAnimate, nullptr, 0));
        Ref<CDocImage> back = OpenAll(out);
        ASSERT_TRUE(back);
        EXPECT_EQ(back->delay, 15);
        const std::vector<PackedDib> got = Steps(*back);
        ASSERT_EQ(got.size(), want.size()) << src;
        for (std::size_t i = 0; i < want.size(); ++i)
            EXPECT_EQ(CountDifferences(got[i], want[i]), 0) << src << " frame " << i;
        std::remove(out.c_str());
        std::remove(src.c_str());
    }
}

TEST(GifAnimation, ImageMagickPlaysTheSameFrames) {
    if (!HaveImageMagick()) GTEST_SKIP() << "ImageMagick (/usr/bin/convert) not available";
    Ref<CDocImage> doc = LayeredDoc();
    // Photograph under the objects: quantised shared table, exact local ones.
    doc->objects.At(0)->content->SetRaster(Photo(40, 30, 5));
    for (const bool interlace : {false, true}) {
        const std::vector<PackedDib> want = Steps(*doc);
        const std::string path = TempPath("im.gif");
        ASSERT_TRUE(ExportFile(*doc, path, interlace, kExportAnimate, nullptr, 0));
        const std::vector<PackedDib> frames = ImageMagickFrames(path, 40, 30);
        ASSERT_EQ(frames.size(), want.size());
        // Ours and ImageMagick's decoding of the same file agree exactly; both are close to
        // the frames asked for (exact outside the quantised photograph).
        Ref<CDocImage> back = OpenAll(path);
        ASSERT_TRUE(back);
        const std::vector<PackedDib> ourSteps = Steps(*back);
        for (std::size_t i = 0; i < frames.size(); ++i) {
            EXPECT_EQ(CountDifferences(frames[i], ourSteps[i]), 0) << i;
            double err = 0;
            for (int y = 0; y < 30; ++y)
                for (int x = 0; x < 40; ++x) {
                    const std::uint32_t a = PixelOf(frames[i], x, y), b = PixelOf(want[i], x, y);
                    ASSERT_EQ(a >> 24, b >> 24) << i << ": " << x << "," << y;
                    for (int c = 0; c < 24; c += 8)
                        err += std::abs(int((a >> c) & 0xFF) - int((b >> c) & 0xFF));
                }
            EXPECT_LT(err / (40 * 30 * 3), 6.0) << i;
        }
        const std::string verbose = Output("/usr/bin/identify -verbose '" + path + "' 2>/dev/null");
        std::size_t loops = 0;
        for (std::size_t at = 0; (at = verbose.find("Iterations: 0", at)) != std::string::npos; ++at)
            ++loops;
        EXPECT_EQ(loops, want.size());
        EXPECT_EQ(Output("/usr/bin/identify -format '%T,' '" + path + "'"), "7,7,7,7,7,7,");
        std::remove(path.c_str());
    }
}

namespace {

// The chunks of a RIFF file: tag and body.
std::vector<std::pair<std::string, Bytes>> AniChunks(const Bytes& f) {
    std::vector<std::pair<std::string, Bytes>> chunks;
    std::size_t at = 12;
    while (at + 8 <= f.size()) {
        const std::string tag(f.begin() + static_cast<std::ptrdiff_t>(at),
                              f.begin() + static_cast<std::ptrdiff_t>(at) + 4);
        const std::uint32_t size =
            f[at + 4] | f[at + 5] << 8 | f[at + 6] << 16 | std::uint32_t(f[at + 7]) << 24;
        if (tag == "LIST") {
            at += 12; // into the list
            continue;
        }
        if (at + 8 + size > f.size()) break;
        chunks.emplace_back(tag, Bytes(f.begin() + static_cast<std::ptrdiff_t>(at) + 8,
                                       f.begin() + static_cast<std::ptrdiff_t>(at + 8 + size)));
        at += 8 + size + (size & 1);
    }
    return chunks;
}

std::uint32_t U32(const Bytes& b, std::size_t at) {
    return b[at] | b[at + 1] << 8 | b[at + 2] << 16 | std::uint32_t(b[at + 3]) << 24;
}

} // namespace

TEST(AniAnimation, EveryVisibleObjectIsAFrame) {
    Ref<CDocImage> doc = MakeRef<CDocImage>();
    doc->width = 16;
    doc->height = 12;
    doc->delay = 10;
    PackedDib a = CreateSolidDIB(16, 12, 0, 0);
    for (int i = 0; i < 12; ++i)
        Put(a, i, i, 0xFF000000u | std::uint32_t(0x10204 * i));
    AddObject(*doc, std::move(a), 0, 0);
    AddObject(*doc, CreateSolidDIB(20, 20, RGB(90, 0, 0), 255), 0, 0, false);
    AddObject(*doc, CreateSolidDIB(5, 4, RGB(0, 90, 200), 255), 9, 6); // partly off the canvas? no: inside
    AddObject(*doc, Photo(10, 8, 3), -3, 7);                           // more than 256 colours, cut
    // Each frame is its object alone on the canvas.
    std::vector<PackedDib> want;
    for (int i : {0, 2, 3}) {
        CDocImage single;
        single.width = 16;
        single.height = 12;
        Ref<CDrawObj> o = doc->objects.At(i);
        single.objects.AddTail(o);
        want.push_back(GifDomain(single.CompositeVisible(16, 12)));
    }

    const std::string path = TempPath("frames.ani");
    ASSERT_TRUE(ExportFile(*doc, path, 0x00050003, 0, nullptr, 0));
    const Bytes file = FileBytes(path);
    ASSERT_EQ(U32(file, 4), file.size() - 8);
    const auto chunks = AniChunks(file);
    ASSERT_FALSE(chunks.empty());
    ASSERT_EQ(chunks[0].first, "anih");
    EXPECT_EQ(U32(chunks[0].second, 4), 3u);  // frames
    EXPECT_EQ(U32(chunks[0].second, 8), 3u);  // steps
    EXPECT_EQ(U32(chunks[0].second, 28), 6u); // 10/100 s is 6/60 s
    std::vector<Bytes> icons;
    for (const auto& [tag, body] : chunks)
        if (tag == "icon") icons.push_back(body);
    ASSERT_EQ(icons.size(), 3u);
    for (const Bytes& icon : icons) {
        EXPECT_EQ(icon[2], 2);                  // a cursor ...
        EXPECT_EQ(icon[10] | icon[11] << 8, 3); // ... with the hot spot
        EXPECT_EQ(icon[12] | icon[13] << 8, 5);
    }

    Ref<CDocImage> back = MakeRef<CDocImage>();
    LoadFlags flags;
    ASSERT_TRUE(OpenFile(*back, path, flags, nullptr));
    ASSERT_EQ(back->objects.Count(), 3);
    EXPECT_EQ(back->delay, 10);
    for (int i = 0; i < 3; ++i) {
        const PackedDib& got = back->objects.At(i)->content->raster;
        // Our reader keeps black under the mask; compare what shows.
        int diff = 0;
        for (int y = 0; y < 12; ++y)
            for (int x = 0; x < 16; ++x) {
                const std::uint32_t p = PixelOf(got, x, y),
                                    q = PixelOf(want[static_cast<std::size_t>(i)], x, y);
                diff += (p >> 24) != (q >> 24) || ((q >> 24) && p != q);
            }
        EXPECT_EQ(diff, 0) << "frame " << i;
    }

    if (HaveImageMagick()) {
        // Each frame is a cursor file of its own: ImageMagick reads them to the same pixels.
        for (std::size_t i = 0; i < icons.size(); ++i) {
            const std::string cur = TempPath("frame.cur"), raw = cur + ".rgba";
            PutFile(cur, icons[i]);
            ASSERT_EQ(std::system(
                          ("/usr/bin/convert '" + cur + "' -depth 8 'rgba:" + raw + "' 2>/dev/null").c_str()),
                      0);
            const Bytes rgba = FileBytes(raw);
            ASSERT_EQ(rgba.size(), 16u * 12 * 4);
            int diff = 0;
            for (int k = 0; k < 16 * 12; ++k) {
                const std::uint32_t q = PixelOf(want[i], k % 16, k / 16);
                const BYTE* p = &rgba[4 * std::size_t(k)];
                diff +=
                    p[3] != (q >> 24) ||
                    (p[3] && (p[0] != ((q >> 16) & 0xFF) || p[1] != ((q >> 8) & 0xFF) || p[2] != (q & 0xFF)));
            }
            EXPECT_EQ(diff, 0) << "frame " << i;
            std::remove(cur.c_str());
            std::remove(raw.c_str());
        }
    }

    // One visible object: the one-frame file as before, display rate 12.
    doc->objects.At(2)->visible = 0;
    doc->objects.At(3)->visible = 0;
    ASSERT_TRUE(ExportFile(*doc, path, 0, 0, nullptr, 0));
    const auto single = AniChunks(FileBytes(path));
    ASSERT_FALSE(single.empty());
    EXPECT_EQ(U32(single[0].second, 4), 1u);
    EXPECT_EQ(U32(single[0].second, 28), 12u);
    std::remove(path.c_str());

    // Delays turn into the nearest display rate and back.
    EXPECT_EQ(AniRateOf(20), 12u);
    EXPECT_EQ(AniRateOf(7), 4u);
    EXPECT_EQ(AniRateOf(0), 1u);
}
