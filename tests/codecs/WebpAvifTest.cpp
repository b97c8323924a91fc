// WebP and AVIF through the open and export dispatch, read back by us and by independent
// decoders; transparency kept on export; independent documents on several threads at once.
#include "CodecTestUtil.h"
#include "codecs/AvifCodec.h"
#include "codecs/OpenExport.h"
#include "codecs/WebpCodec.h"
#include "extlib/PngFile.h"
#include "raster/ColorReduce.h"
#include "raster/Dib.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <thread>

using namespace zepho;
using namespace zepho::test;

namespace {

using Bytes = std::vector<BYTE>;

std::string TempPath(const std::string& name) {
    return testing::TempDir() + "zepho_webp_" + name;
}

// Colour and alpha ramps that use every alpha from 0 to 255, with colour under alpha 0 too.
PackedDib Ramp(int w, int h, int seed) {
    PackedDib d = CreateSolidDIB(w, h, 0, 255);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            BYTE* p = d.Pixel32(x, y);
            p[0] = static_cast<BYTE>(x * 255 / std::max(w - 1, 1));
            p[1] = static_cast<BYTE>(y * 255 / std::max(h - 1, 1));
            p[2] = static_cast<BYTE>((x + y + seed * 40) * 3);
            p[3] = static_cast<BYTE>((x * 7 + y * 13 + seed * 50) & 0xFF);
        }
    return d;
}

Ref<CObjContent> ImageContent(PackedDib raster) {
    Ref<CObjContent> c = MakeRef<CObjContent>(KindImage);
    c->SetRaster(std::move(raster));
    return c;
}

Ref<CDrawObj> AddObject(CDocImage& doc, PackedDib raster, int x, int y, bool visible, int transparency = 0) {
    Ref<CDrawObj> o = MakeRef<CDrawObj>(ImageContent(std::move(raster)));
    o->x = x;
    o->y = y;
    o->visible = visible ? 1 : 0;
    o->transparency = static_cast<std::uint8_t>(transparency);
    doc.objects.AddTail(o);
    return o;
}

// Three visible objects at offsets (one half transparent, one with a shadow) and a hidden one.
Ref<CDocImage> LayeredDoc() {
    Ref<CDocImage> doc = MakeRef<CDocImage>();
    doc->width = 40;
    doc->height = 30;
    doc->delay = 7;
    AddObject(*doc, CreateSolidDIB(30, 20, RGB(250, 20, 10), 255), 0, 0, true);
    AddObject(*doc, CreateSolidDIB(8, 8, RGB(0, 0, 0), 255), 2, 2, false); // hidden: no frame
    AddObject(*doc, Ramp(20, 16, 1), 15, 10, true, 100);
    Ref<CDrawObj> shadowed = AddObject(*doc, CreateSolidDIB(6, 5, RGB(10, 200, 30), 200), 4, 20, true);
    shadowed->content->UpdateShadow();
    return doc;
}

// What the animation should show after each visible object: the composite of the stack up to it,
// built here from documents holding only that part of the stack.
std::vector<PackedDib> ExpectedFrames(const CDocImage& doc) {
    std::vector<PackedDib> frames;
    CDocImage part;
    part.width = doc.width;
    part.height = doc.height;
    for (const auto& o : doc.objects) {
        part.objects.AddTail(o);
        if (o->visible) frames.push_back(part.CompositeVisible(doc.width, doc.height));
    }
    return frames;
}

struct Diff {
    int alphaMismatches = 0;
    int colourMax = 0;        // where alpha > 0
    double colourMean = 0;    // where alpha > 0
    int hiddenMismatches = 0; // colour under alpha 0
};

Diff Compare(const PackedDib& want, const PackedDib& got, int alphaSlack = 0) {
    Diff d;
    long sum = 0, n = 0;
    for (int y = 0; y < want.Height(); ++y)
        for (int x = 0; x < want.Width(); ++x) {
            const BYTE* a = want.Pixel32(x, y);
            const BYTE* b = got.Pixel32(x, y);
            d.alphaMismatches += std::abs(a[3] - b[3]) > alphaSlack;
            if (a[3] == 0) {
                d.hiddenMismatches += std::memcmp(a, b, 3) != 0;
                continue;
            }
            for (int c = 0; c < 3; ++c) {
                d.colourMax = std::max(d.colourMax, std::abs(a[c] - b[c]));
                sum += std::abs(a[c] - b[c]);
                ++n;
            }
        }
    d.colourMean = n ? double(sum) / n : 0;
    return d;
}

bool Tool(const char* name) {
    return std::system(("command -v " + std::string(name) + " >/dev/null 2>&1").c_str()) == 0;
}

// ImageMagick proper, not whatever else answers to `convert` on the path.
bool HaveMagick() {
    return std::system("/usr/bin/convert -version 2>/dev/null | grep -q ImageMagick") == 0;
}

// A picture from raw RGBA rows (top row first).
PackedDib FromRgba(const BYTE* rgba, int w, int h) {
    PackedDib d = CreateSolidDIB(w, h, 0, 0);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const BYTE* s = rgba + 4 * (std::size_t(y) * w + x);
            BYTE* p = d.Pixel32(x, y);
            p[0] = s[2], p[1] = s[1], p[2] = s[0], p[3] = s[3];
        }
    return d;
}

// A PAM file of dwebp (RGB_ALPHA, 8 bits).
PackedDib ReadPam(const std::string& path) {
    const Bytes b = FileBytes(path);
    const std::string text(b.begin(), b.end());
    const auto end = text.find("ENDHDR\n");
    int w = 0, h = 0;
    if (end == std::string::npos || std::sscanf(text.c_str() + text.find("WIDTH"), "WIDTH %d", &w) != 1 ||
        std::sscanf(text.c_str() + text.find("HEIGHT"), "HEIGHT %d", &h) != 1 ||
        b.size() < end + 7 + std::size_t(w) * h * 4)
        return {};
    return FromRgba(b.data() + end + 7, w, h);
}

// Every frame ImageMagick sees in a file, composed onto the full canvas.
std::vector<PackedDib> MagickFrames(const std::string& path, int w, int h) {
    const std::string raw = path + ".rgba";
    std::vector<PackedDib> frames;
    if (!RunQuiet("/usr/bin/convert '" + path + "' -coalesce -depth 8 rgba:'" + raw + "'")) return frames;
    const Bytes b = FileBytes(raw);
    std::remove(raw.c_str());
    const std::size_t frame = std::size_t(w) * h * 4;
    for (std::size_t at = 0; at + frame <= b.size(); at += frame)
        frames.push_back(FromRgba(b.data() + at, w, h));
    return frames;
}

// Pillow composes animation frames as a viewer does.
bool HavePillow() {
    return std::system("/usr/bin/python3 -c 'import PIL.WebPImagePlugin' >/dev/null 2>&1") == 0;
}

std::vector<PackedDib> PillowFrames(const std::string& path, int w, int h) {
    const std::string raw = path + ".rgba";
    const std::string script = "import sys\nfrom PIL import Image\nim = Image.open(sys.argv[1])\n"
                               "with open(sys.argv[2], 'wb') as f:\n"
                               "    for i in range(getattr(im, 'n_frames', 1)):\n"
                               "        im.seek(i)\n"
                               "        f.write(im.convert('RGBA').tobytes())\n";
    const std::string py = path + ".py";
    PutFile(py, Bytes(script.begin(), script.end()));
    std::vector<PackedDib> frames;
    if (RunQuiet("/usr/bin/python3 '" + py + "' '" + path + "' '" + raw + "'")) {
        const Bytes b = FileBytes(raw);
        const std::size_t frame = std::size_t(w) * h * 4;
        for (std::size_t at = 0; at + frame <= b.size(); at += frame)
            frames.push_back(FromRgba(b.data() + at, w, h));
    }
    std::remove(raw.c_str());
    std::remove(py.c_str());
    return frames;
}

} // namespace

TEST(WebpRoundTrip, StillsKeepAlphaAndLosslessKeepsEveryByte) {
    const PackedDib src = Ramp(37, 23, 0);
    Ref<CDocImage> doc = DocWith(src.Clone());
    const std::string path = TempPath("still.webp");

    ASSERT_TRUE(ExportFile(*doc, path, 60 | kWebpLossless, 0, nullptr, RGB(255, 255, 255)));
    Ref<CDocImage> back = OpenDoc(path);
    ASSERT_TRUE(back);
    EXPECT_EQ(back->width, 37);
    EXPECT_EQ(back->height, 23);
    ASSERT_EQ(back->objects.Count(), 1);
    EXPECT_EQ(back->objects.Head()->x, 0);
    const Diff exact = Compare(src, RasterOf(*back, 0));
    EXPECT_EQ(exact.alphaMismatches, 0);
    EXPECT_EQ(exact.colourMax, 0);
    EXPECT_EQ(exact.hiddenMismatches, 0); // colour under transparent pixels too

    // Lossy: alpha is still coded losslessly; colour within the codec's loss, closer at 95.
    double meanAt[2] = {};
    int index = 0;
    for (const DWORD quality : {30u, 95u}) {
        ASSERT_TRUE(ExportFile(*doc, path, quality, 0, nullptr, 0));
        back = OpenDoc(path);
        ASSERT_TRUE(back);
        const Diff lossy = Compare(src, RasterOf(*back, 0));
        EXPECT_EQ(lossy.alphaMismatches, 0) << quality;
        EXPECT_LT(lossy.colourMean, 12.0) << quality;
        meanAt[index++] = lossy.colourMean;
    }
    EXPECT_LT(meanAt[1], meanAt[0]);

    // The preview is the picture itself.
    const PackedDib preview = LoadPreviewImage(path);
    ASSERT_TRUE(preview.Is32());
    EXPECT_EQ(preview.Width(), 37);
    std::remove(path.c_str());
}

TEST(WebpRoundTrip, AnimationHasOneFramePerVisibleObjectFromTheBottomUp) {
    const Ref<CDocImage> doc = LayeredDoc();
    const std::vector<PackedDib> want = ExpectedFrames(*doc);
    ASSERT_EQ(want.size(), 3u);
    const std::string path = TempPath("anim.webp");
    ASSERT_TRUE(ExportFile(*doc, path, 80 | kWebpLossless, kExportAnimate, nullptr, 0));

    Ref<CDocImage> back = OpenDoc(path);
    ASSERT_TRUE(back);
    EXPECT_EQ(back->width, 40);
    EXPECT_EQ(back->height, 30);
    EXPECT_EQ(back->delay, 7);
    ASSERT_EQ(back->objects.Count(), 3);
    for (int i = 0; i < 3; ++i) {
        const Ref<CDrawObj>& o = back->objects.At(i);
        EXPECT_EQ(o->x, 0);
        EXPECT_EQ(RasterOf(*back, i).Width(), 40);
        const Diff d = Compare(want[static_cast<std::size_t>(i)], RasterOf(*back, i));
        EXPECT_EQ(d.alphaMismatches, 0) << i;
        EXPECT_EQ(d.colourMax, 0) << i;
    }
    // Frames are opened as a GIF's are: the opener shows the first one.
    EXPECT_EQ(back->objects.At(1)->visible, 0);

    // Lossy animation: same frames within the loss; the preview is the first frame.
    ASSERT_TRUE(ExportFile(*doc, path, 90, kExportAnimate, nullptr, 0));
    back = OpenDoc(path);
    ASSERT_TRUE(back);
    ASSERT_EQ(back->objects.Count(), 3);
    for (int i = 0; i < 3; ++i) {
        const Diff d = Compare(want[static_cast<std::size_t>(i)], RasterOf(*back, i), 2);
        EXPECT_EQ(d.alphaMismatches, 0) << i;
        EXPECT_LT(d.colourMean, 8.0) << i;
    }
    const PackedDib preview = LoadPreviewImage(path);
    ASSERT_TRUE(preview.Is32());
    EXPECT_LT(Compare(want[0], preview, 2).colourMean, 8.0);

    // Without the animation bit: one still picture of the whole stack, transparency kept.
    ASSERT_TRUE(ExportFile(*doc, path, 100 | kWebpLossless, 0, nullptr, RGB(0, 255, 0)));
    back = OpenDoc(path);
    ASSERT_TRUE(back);
    ASSERT_EQ(back->objects.Count(), 1);
    const Diff still = Compare(doc->CompositeVisible(40, 30), RasterOf(*back, 0));
    EXPECT_EQ(still.alphaMismatches, 0);
    EXPECT_EQ(still.colourMax, 0);
    std::remove(path.c_str());
}

TEST(WebpInterop, IndependentDecodersReadOurStillsAndAnimations) {
    const PackedDib src = Ramp(33, 21, 2);
    const std::string still = TempPath("interop.webp"), pam = still + ".pam";
    ASSERT_TRUE(ExportFile(*DocWith(src.Clone()), still, 50 | kWebpLossless, 0, nullptr, 0));
    bool checked = false;
    if (Tool("dwebp")) {
        ASSERT_TRUE(RunQuiet("dwebp '" + still + "' -pam -o '" + pam + "'"));
        const PackedDib theirs = ReadPam(pam);
        ASSERT_TRUE(theirs.Is32());
        const Diff d = Compare(src, theirs);
        EXPECT_EQ(d.alphaMismatches + d.colourMax + d.hiddenMismatches, 0);
        // A lossy file: dwebp and our open see the same picture.
        ASSERT_TRUE(ExportFile(*DocWith(src.Clone()), still, 40, 0, nullptr, 0));
        ASSERT_TRUE(RunQuiet("dwebp '" + still + "' -pam -o '" + pam + "'"));
        const Ref<CDocImage> ours = OpenDoc(still);
        ASSERT_TRUE(ours);
        const Diff lossy = Compare(RasterOf(*ours, 0), ReadPam(pam));
        EXPECT_EQ(lossy.alphaMismatches, 0);
        EXPECT_LE(lossy.colourMax, 1);
        std::remove(pam.c_str());
        checked = true;
    }
    const Ref<CDocImage> doc = LayeredDoc();
    const std::vector<PackedDib> want = ExpectedFrames(*doc);
    const std::string anim = TempPath("interop_anim.webp");
    ASSERT_TRUE(ExportFile(*doc, anim, 75 | kWebpLossless, kExportAnimate, nullptr, 0));
    if (Tool("webpmux")) {
        const std::string info = anim + ".txt";
        ASSERT_TRUE(std::system(("webpmux -info '" + anim + "' > '" + info + "' 2>&1").c_str()) == 0);
        const Bytes text = FileBytes(info);
        EXPECT_NE(std::string(text.begin(), text.end()).find("Number of frames: 3"), std::string::npos);
        std::remove(info.c_str());
        checked = true;
    }
    if (HavePillow()) {
        const std::vector<PackedDib> frames = PillowFrames(anim, 40, 30);
        ASSERT_EQ(frames.size(), 3u);
        for (std::size_t i = 0; i < 3; ++i) {
            const Diff d = Compare(want[i], frames[i]);
            EXPECT_EQ(d.alphaMismatches, 0) << i;
            EXPECT_EQ(d.colourMax, 0) << i;
        }
        // A lossy animation: Pillow and our open see the same frames.
        const std::string lossy = TempPath("interop_lossy.webp");
        ASSERT_TRUE(ExportFile(*doc, lossy, 60, kExportAnimate, nullptr, 0));
        const std::vector<PackedDib> theirs = PillowFrames(lossy, 40, 30);
        const Ref<CDocImage> ours = OpenDoc(lossy);
        ASSERT_TRUE(ours);
        ASSERT_EQ(theirs.size(), 3u);
        ASSERT_EQ(ours->objects.Count(), 3);
        for (int i = 0; i < 3; ++i) {
            const Diff d = Compare(RasterOf(*ours, i), theirs[static_cast<std::size_t>(i)]);
            EXPECT_EQ(d.alphaMismatches, 0) << i;
            EXPECT_LE(d.colourMax, 1) << i;
        }
        std::remove(lossy.c_str());
        checked = true;
    }
    // ImageMagick 6 paints the canvas outside a cropped first frame opaque black when it
    // coalesces, so it only counts the frames here.
    if (HaveMagick()) {
        EXPECT_EQ(MagickFrames(anim, 40, 30).size(), 3u);
        checked = true;
    }
    std::remove(still.c_str());
    std::remove(anim.c_str());
    if (!checked) GTEST_SKIP() << "no independent WebP decoder (dwebp, webpmux, Pillow, ImageMagick)";
}

TEST(AvifRoundTrip, QualityHundredIsExactAndLowerQualityStaysClose) {
    const PackedDib src = Ramp(41, 27, 3);
    Ref<CDocImage> doc = DocWith(src.Clone());
    const std::string path = TempPath("still.avif"), png = path + ".png";

    ASSERT_TRUE(ExportFile(*doc, path, AvifOption(100, 8), 0, nullptr, RGB(255, 255, 255)));
    Ref<CDocImage> back = OpenDoc(path);
    ASSERT_TRUE(back);
    EXPECT_EQ(back->width, 41);
    ASSERT_EQ(back->objects.Count(), 1);
    Diff d = Compare(src, RasterOf(*back, 0));
    EXPECT_EQ(d.alphaMismatches, 0);
    EXPECT_EQ(d.colourMax, 0);
    if (Tool("avifdec")) {
        ASSERT_TRUE(RunQuiet("avifdec '" + path + "' '" + png + "'"));
        Ref<CDocImage> theirs = OpenDoc(png);
        ASSERT_TRUE(theirs);
        d = Compare(src, RasterOf(*theirs, 0));
        EXPECT_EQ(d.alphaMismatches, 0);
        EXPECT_EQ(d.colourMax, 0);
    }

    double meanAt[2] = {};
    int index = 0;
    for (const int quality : {40, 90}) {
        ASSERT_TRUE(ExportFile(*doc, path, AvifOption(quality, 9), 0, nullptr, 0));
        back = OpenDoc(path);
        ASSERT_TRUE(back);
        d = Compare(src, RasterOf(*back, 0), 1);
        EXPECT_EQ(d.alphaMismatches, 0) << quality; // alpha is coded losslessly
        EXPECT_LT(d.colourMean, 12.0) << quality;
        meanAt[index++] = d.colourMean;
        if (Tool("avifdec")) {
            ASSERT_TRUE(RunQuiet("avifdec '" + path + "' '" + png + "'"));
            Ref<CDocImage> theirs = OpenDoc(png);
            ASSERT_TRUE(theirs);
            const Diff t = Compare(RasterOf(*back, 0), RasterOf(*theirs, 0), 1);
            EXPECT_EQ(t.alphaMismatches, 0);
            EXPECT_LE(t.colourMax, 2) << quality; // two decoders of one file agree
        }
    }
    EXPECT_LT(meanAt[1], meanAt[0]);
    // An opaque picture has no alpha plane and comes back opaque.
    ASSERT_TRUE(ExportFile(*DocWith(CreateSolidDIB(9, 9, RGB(10, 120, 240), 255)), path, 0, 0, nullptr, 0));
    back = OpenDoc(path);
    ASSERT_TRUE(back);
    EXPECT_EQ(RasterOf(*back, 0).Pixel32(4, 4)[3], 255);
    const PackedDib preview = LoadPreviewImage(path);
    ASSERT_TRUE(preview.Is32());
    EXPECT_EQ(preview.Width(), 9);
    if (!Tool("avifdec")) std::printf("avifdec not installed: AVIF files checked by our reader only\n");
    std::remove(path.c_str());
    std::remove(png.c_str());
}

TEST(WebpAvifHostile, DamagedTruncatedAndOverclaimingFilesFailCleanly) {
    const std::string webp = TempPath("hostile.webp"), avif = TempPath("hostile.avif");
    ASSERT_TRUE(ExportFile(*DocWith(Ramp(16, 12, 4)), webp, 70, 0, nullptr, 0));
    ASSERT_TRUE(ExportFile(*DocWith(Ramp(16, 12, 4)), avif, AvifOption(50, 10), 0, nullptr, 0));
    const Ref<CDocImage> layered = LayeredDoc();
    const std::string anim = TempPath("hostile_anim.webp");
    ASSERT_TRUE(ExportFile(*layered, anim, 70, kExportAnimate, nullptr, 0));
    for (const std::string& path : {webp, avif, anim}) {
        const Bytes full = FileBytes(path);
        const std::string cut = path + ".cut" + path.substr(path.rfind('.'));
        // Every prefix opens nothing or the whole picture (an animation may stop at a frame).
        for (std::size_t n = 0; n < full.size(); n += std::max<std::size_t>(1, full.size() / 60)) {
            PutFile(cut, Bytes(full.begin(), full.begin() + static_cast<std::ptrdiff_t>(n)));
            Ref<CDocImage> doc = MakeRef<CDocImage>();
            LoadFlags flags;
            if (OpenFile(*doc, cut, flags, nullptr)) {
                ASSERT_GE(doc->objects.Count(), 1) << path << " " << n;
                EXPECT_EQ(RasterOf(*doc, 0).Width(), doc->width);
            }
            LoadPreviewImage(cut);
        }
        std::remove(cut.c_str());
    }
    // A still WebP whose header claims the largest size in a few dozen bytes; an AVIF that is
    // something else entirely.
    Bytes claim = {'R', 'I', 'F', 'F', 30,  0,  0, 0, 'W', 'E', 'B',
                   'P', 'V', 'P', '8', 'L', 18, 0, 0, 0,   0x2F};
    const std::uint32_t bits = (16383u - 1) | ((16383u - 1) << 14) | (1u << 28);
    for (int i = 0; i < 4; ++i)
        claim.push_back(static_cast<BYTE>(bits >> (8 * i)));
    claim.resize(38, 0);
    PutFile(webp, claim);
    EXPECT_FALSE(OpenDoc(webp));
    EXPECT_FALSE(LoadPreviewImage(webp));
    PutFile(avif, {'G', 'I', 'F', '8', '9', 'a'});
    EXPECT_FALSE(OpenDoc(avif));
    EXPECT_FALSE(OpenDoc(TempPath("missing.avif")));
    std::remove(webp.c_str());
    std::remove(avif.c_str());
    std::remove(anim.c_str());
}

TEST(KeepTransparency, PngTiffTgaBmpKeepAlphaOnlyWhenAsked) {
    // A half-transparent ramp off the origin of a larger canvas: the rest is fully transparent.
    Ref<CDocImage> doc = DocWith(Ramp(20, 10, 5), 26, 14, 3, 2);
    const PackedDib want = doc->CompositeVisible(26, 14);
    for (const char* ext : {"png", "tif", "tga", "bmp"}) {
        const std::string path = TempPath(std::string("keep.") + ext);
        const bool bmp = std::string(ext) == "bmp";
        ASSERT_TRUE(bmp ? ExportBmp(*doc, path, ExportTrueColors, nullptr, RGB(0, 0, 255), true)
                        : ExportFile(*doc, path, std::string(ext) == "tif" ? 5 : 1, kExportKeepAlpha, nullptr,
                                     RGB(0, 0, 255)))
            << ext;
        Ref<CDocImage> back = OpenDoc(path);
        ASSERT_TRUE(back) << ext;
        Diff d = Compare(want, RasterOf(*back, 0));
        EXPECT_EQ(d.alphaMismatches, 0) << ext;
        EXPECT_EQ(d.colourMax, 0) << ext;
        if (HaveMagick()) {
            const std::vector<PackedDib> theirs = MagickFrames(path, 26, 14);
            ASSERT_EQ(theirs.size(), 1u) << ext;
            d = Compare(want, theirs[0]);
            EXPECT_EQ(d.alphaMismatches, 0) << ext;
            EXPECT_EQ(d.colourMax, 0) << ext;
        }
        // Off (the default): flattened over the fill colour, opaque.
        ASSERT_TRUE(bmp ? ExportBmp(*doc, path, ExportTrueColors, nullptr, RGB(0, 0, 255))
                        : ExportFile(*doc, path, 1, 0, nullptr, RGB(0, 0, 255)));
        back = OpenDoc(path);
        ASSERT_TRUE(back) << ext;
        const BYTE* corner = RasterOf(*back, 0).Pixel32(25, 13);
        EXPECT_TRUE(corner[0] == 255 && corner[1] == 0 && corner[2] == 0 && corner[3] == 255) << ext;
        std::remove(path.c_str());
    }
    if (!HaveMagick()) std::printf("ImageMagick not installed: kept alpha checked by our readers only\n");
    // Formats without transparency ignore the bit; the others' colour choices too.
    const std::string jpg = TempPath("keep.jpg"), bmp8 = TempPath("keep8.bmp");
    ASSERT_TRUE(ExportFile(*doc, jpg, 90, kExportKeepAlpha, nullptr, RGB(0, 0, 255)));
    ASSERT_TRUE(ExportBmp(*doc, bmp8, ExportColors256, nullptr, RGB(0, 0, 255), true));
    Ref<CDocImage> back = OpenDoc(bmp8);
    ASSERT_TRUE(back);
    EXPECT_EQ(RasterOf(*back, 0).Pixel32(25, 13)[3], 255);
    std::remove(jpg.c_str());
    std::remove(bmp8.c_str());
}

TEST(ParallelDocuments, IndependentOpensAndExportsOnThreadsMatchOneAtATime) {
    // Each thread owns its documents; the results must be the same bytes as one by one.
    const char* exts[] = {"png", "jpg", "tif", "tga", "bmp", "pcx", "gif", "psd", "webp", "avif", "ico"};
    constexpr int kCount = sizeof exts / sizeof *exts;
    auto work = [&](int i, const std::string& tag, Bytes& written, Bytes& reread) {
        Ref<CDocImage> doc = LayeredDoc();
        const std::string path = TempPath("par_" + tag + "_" + std::to_string(i) + "." + exts[i]);
        if (!ExportFile(*doc, path, std::string(exts[i]) == "avif" ? AvifOption(70, 10) : 85, 0, nullptr, 0))
            return;
        written = FileBytes(path);
        if (Ref<CDocImage> back = OpenDoc(path)) {
            const PackedDib flat = back->CompositeVisible(back->width, back->height);
            reread.assign(flat.Data(), flat.Data() + flat.Size());
        }
        std::remove(path.c_str());
    };
    std::vector<Bytes> serialOut(kCount), serialBack(kCount), parallelOut(kCount), parallelBack(kCount);
    for (int i = 0; i < kCount; ++i)
        work(i, "s", serialOut[i], serialBack[i]);
    std::vector<std::thread> threads;
    for (int i = 0; i < kCount; ++i)
        threads.emplace_back(work, i, "p", std::ref(parallelOut[i]), std::ref(parallelBack[i]));
    for (std::thread& t : threads)
        t.join();
    for (int i = 0; i < kCount; ++i) {
        EXPECT_FALSE(serialOut[i].empty()) << exts[i];
        EXPECT_FALSE(serialBack[i].empty()) << exts[i];
        EXPECT_EQ(serialOut[i], parallelOut[i]) << exts[i];
        EXPECT_EQ(serialBack[i], parallelBack[i]) << exts[i];
    }
}
