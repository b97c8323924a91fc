// JPEG XL through the open and export dispatch: our files read back by libjxl's own djxl, files
// that are turned or carry a profile read upright and in sRGB, animations as one object per
// frame, damaged and oversized files refused without harm.
#include "CodecTestUtil.h"
#include "codecs/ExportFrames.h"
#include "codecs/FileTypes.h"
#include "codecs/JxlCodec.h"
#include "codecs/OpenExport.h"
#include "raster/Dib.h"

#include "support/Profiles.h"
#include <gtest/gtest.h>
#include <jxl/encode.h>
#include <lcms2.h>

#include <cmath>
#include <cstdlib>
#include <cstring>

using namespace zepho;
using namespace zepho::test;

namespace {

using Bytes = std::vector<BYTE>;

std::string TempPath(const std::string& name) {
    return testing::TempDir() + "zepho_jxl_" + name;
}

// Colour ramps with every alpha from 0 to 255.
PackedDib Ramp(int w, int h, bool withAlpha, int seed = 0) {
    PackedDib d = CreateSolidDIB(w, h, 0, 255);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            BYTE* p = d.Pixel32(x, y);
            p[0] = static_cast<BYTE>(x * 255 / (w - 1));
            p[1] = static_cast<BYTE>(y * 255 / (h - 1));
            p[2] = static_cast<BYTE>((x + y + seed * 40) * 3);
            p[3] = withAlpha ? static_cast<BYTE>((x * 7 + y * 13 + seed * 50) & 0xFF) : 255;
        }
    return d;
}

struct Diff {
    int alphaMax = 0;
    int colourMax = 0;     // where alpha > 0
    double colourMean = 0; // where alpha > 0
};

Diff Compare(const PackedDib& want, const PackedDib& got) {
    Diff d;
    if (want.Width() != got.Width() || want.Height() != got.Height()) return {256, 256, 256};
    long sum = 0, n = 0;
    for (int y = 0; y < want.Height(); ++y)
        for (int x = 0; x < want.Width(); ++x) {
            const BYTE* a = want.Pixel32(x, y);
            const BYTE* b = got.Pixel32(x, y);
            d.alphaMax = std::max(d.alphaMax, std::abs(a[3] - b[3]));
            if (a[3] == 0) continue;
            for (int c = 0; c < 3; ++c) {
                d.colourMax = std::max(d.colourMax, std::abs(a[c] - b[c]));
                sum += std::abs(a[c] - b[c]);
                ++n;
            }
        }
    d.colourMean = n ? double(sum) / n : 0;
    return d;
}

// A lossless RGB file of `pic` as another program would write it: stored with an orientation
// or in the space of an ICC profile.
Bytes ForeignJxl(const PackedDib& pic, JxlOrientation orientation, const Bytes& icc) {
    JxlEncoder* enc = JxlEncoderCreate(nullptr);
    JxlBasicInfo info;
    JxlEncoderInitBasicInfo(&info);
    info.xsize = static_cast<std::uint32_t>(pic.Width());
    info.ysize = static_cast<std::uint32_t>(pic.Height());
    info.bits_per_sample = 8;
    info.uses_original_profile = JXL_TRUE;
    info.orientation = orientation;
    Bytes out;
    bool ok = JxlEncoderSetBasicInfo(enc, &info) == JXL_ENC_SUCCESS;
    if (icc.empty()) {
        JxlColorEncoding srgb;
        JxlColorEncodingSetToSRGB(&srgb, JXL_FALSE);
        ok = ok && JxlEncoderSetColorEncoding(enc, &srgb) == JXL_ENC_SUCCESS;
    } else {
        ok = ok && JxlEncoderSetICCProfile(enc, icc.data(), icc.size()) == JXL_ENC_SUCCESS;
    }
    JxlEncoderFrameSettings* settings = JxlEncoderFrameSettingsCreate(enc, nullptr);
    ok = ok && JxlEncoderSetFrameLossless(settings, JXL_TRUE) == JXL_ENC_SUCCESS;
    Bytes rgb;
    for (int y = 0; y < pic.Height(); ++y)
        for (int x = 0; x < pic.Width(); ++x) {
            const BYTE* p = pic.Pixel32(x, y);
            rgb.insert(rgb.end(), {p[2], p[1], p[0]});
        }
    const JxlPixelFormat format = {3, JXL_TYPE_UINT8, JXL_NATIVE_ENDIAN, 0};
    ok = ok && JxlEncoderAddImageFrame(settings, &format, rgb.data(), rgb.size()) == JXL_ENC_SUCCESS;
    JxlEncoderCloseInput(enc);
    out.resize(1 << 20);
    std::uint8_t* next = out.data();
    std::size_t avail = out.size();
    ok = ok && JxlEncoderProcessOutput(enc, &next, &avail) == JXL_ENC_SUCCESS;
    out.resize(ok ? static_cast<std::size_t>(next - out.data()) : 0);
    JxlEncoderDestroy(enc);
    return out;
}

// Bits of a codestream, least significant first, as JPEG XL packs them.
struct BitReader {
    const Bytes& b;
    std::size_t pos = 0;
    std::uint32_t Read(int n) {
        std::uint32_t v = 0;
        for (int i = 0; i < n; ++i, ++pos)
            v |= std::uint32_t((b[pos / 8] >> (pos % 8)) & 1) << i;
        return v;
    }
};
struct BitWriter {
    Bytes b;
    std::size_t pos = 0;
    void Write(std::uint32_t v, int n) {
        for (int i = 0; i < n; ++i, ++pos) {
            if (pos / 8 >= b.size()) b.push_back(0);
            b[pos / 8] |= static_cast<BYTE>(((v >> i) & 1) << (pos % 8));
        }
    }
};

// The codestream with its size header replaced by one claiming side x side pixels.
Bytes ClaimSize(const Bytes& file, std::uint32_t side) {
    static constexpr int kBits[4] = {9, 13, 18, 30};
    BitReader r{file};
    BitWriter w;
    w.Write(r.Read(16), 16); // the signature
    if (r.Read(1)) {
        r.Read(5);
        if (r.Read(3) == 0) r.Read(5);
    } else {
        r.Read(kBits[r.Read(2)]);
        if (r.Read(3) == 0) r.Read(kBits[r.Read(2)]);
    }
    w.Write(0, 1);
    w.Write(3, 2);
    w.Write(side - 1, 30);
    w.Write(0, 3);
    w.Write(3, 2);
    w.Write(side - 1, 30);
    while (r.pos < 8 * file.size())
        w.Write(r.Read(1), 1);
    return w.b;
}

} // namespace

TEST(Jxl, DistanceFollowsTheReferenceEncodersQualityScale) {
    struct Case {
        int quality;
        float distance;
    };
    for (const Case& c :
         {Case{100, 0.0f}, Case{90, 1.0f}, Case{30, 6.4f}, Case{1, 23.8677f}, Case{-5, 23.8677f}})
        EXPECT_NEAR(JxlDistance(c.quality), c.distance, 1e-3) << c.quality;
}

TEST(Jxl, ExportedFilesReadBackByDjxlAndByUs) {
    EXPECT_EQ(FileKindOf("a.JXL"), FileKind::Jxl);
    EXPECT_TRUE(CanExport(FileKind::Jxl));
    EXPECT_TRUE(CanAnimate(FileKind::Jxl));
    const bool djxl = RunQuiet("command -v djxl");
    if (!djxl) std::printf("djxl not installed (libjxl-tools): our files checked by our reader only\n");

    struct Case {
        const char* name;
        DWORD option;
        bool alpha;
        int colourMax;     // against the picture, where it is not transparent (lossy coding
        double colourMean; // moves the sharp edges of the ramps a long way)
    };
    const Case cases[] = {
        {"lossless.jxl", kJxlLossless | 50, true, 0, 0},
        {"q100.jxl", 100, false, 0, 0},
        {"q90.jxl", 90, true, 255, 3.0},
        {"q40.jxl", 40, false, 255, 8.0},
    };
    std::size_t q90Size = 0, q40Size = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string path = TempPath(c.name);
        const PackedDib pic = Ramp(64, 48, c.alpha);
        ASSERT_TRUE(ExportFile(*DocWith(pic.Clone()), path, c.option, 0, nullptr, RGB(255, 255, 255)));
        Ref<CDocImage> doc = OpenDoc(path);
        ASSERT_TRUE(doc);
        ASSERT_EQ(doc->objects.Count(), 1);
        EXPECT_TRUE(doc->objects.At(0)->visible);
        EXPECT_EQ(doc->width, 64);
        const Diff ours = Compare(pic, RasterOf(*doc));
        EXPECT_LE(ours.colourMax, c.colourMax);
        EXPECT_LE(ours.colourMean, c.colourMean);
        EXPECT_LE(ours.alphaMax, c.colourMax == 0 ? 0 : 8) << "alpha";
        if (djxl) {
            const PackedDib theirs = ReadBackWith("djxl", path);
            ASSERT_TRUE(theirs) << "djxl could not read our file";
            const Diff d = Compare(RasterOf(*doc), theirs);
            EXPECT_LE(d.colourMax, 1);
            EXPECT_LE(d.alphaMax, 1);
        }
        EXPECT_EQ(Compare(LoadPreviewImage(path), RasterOf(*doc)).colourMax, 0);
        (c.option == 90 ? q90Size : q40Size) = FileBytes(path).size();
        std::remove(path.c_str());
    }
    EXPECT_LT(q40Size, q90Size);
}

TEST(Jxl, AnimationIsOneObjectPerFrameBothWays) {
    Ref<CDocImage> doc = MakeRef<CDocImage>();
    doc->width = 40;
    doc->height = 30;
    doc->delay = 7;
    for (int i = 0; i < 3; ++i) {
        Ref<CObjContent> c = MakeRef<CObjContent>(KindImage);
        c->SetRaster(Ramp(20 + 5 * i, 16, i == 1, i));
        Ref<CDrawObj> o = MakeRef<CDrawObj>(c);
        o->x = 6 * i;
        o->y = 4 * i;
        o->visible = 1;
        doc->objects.AddTail(o);
    }
    const std::vector<PackedDib> want = AnimationFrames(*doc);
    ASSERT_EQ(want.size(), 3u);
    const std::string path = TempPath("anim.jxl");
    ASSERT_TRUE(ExportFile(*doc, path, kJxlLossless, kExportAnimate, nullptr, 0));
    Ref<CDocImage> back = OpenDoc(path);
    ASSERT_TRUE(back);
    ASSERT_EQ(back->objects.Count(), 3);
    EXPECT_EQ(back->delay, 7);
    for (int i = 0; i < 3; ++i) {
        const Diff d = Compare(want[static_cast<std::size_t>(i)], RasterOf(*back, i));
        EXPECT_EQ(d.colourMax, 0) << "frame " << i;
        EXPECT_EQ(d.alphaMax, 0) << "frame " << i;
    }
    // The opener shows the first frame only.
    ShowBottomUnlessKept(*back, LoadFlags{});
    EXPECT_TRUE(back->objects.At(0)->visible);
    EXPECT_FALSE(back->objects.At(2)->visible);
    if (RunQuiet("command -v djxl")) {
        EXPECT_TRUE(RunQuiet("djxl '" + path + "' '" + path + ".png'"));
    }
    std::remove((path + ".png").c_str());
    std::remove(path.c_str());
}

TEST(Jxl, TurnedAndProfiledFilesComeInUprightAndInSrgb) {
    const PackedDib pic = Ramp(40, 30, false);
    // Turned a quarter clockwise to be seen: the stored bottom-left corner is the top-left.
    const Bytes turned = ForeignJxl(pic, JXL_ORIENT_ROTATE_90_CW, {});
    ASSERT_FALSE(turned.empty());
    const std::string path = TempPath("turned.jxl");
    PutFile(path, turned);
    Ref<CDocImage> doc = OpenDoc(path);
    ASSERT_TRUE(doc);
    const PackedDib& got = RasterOf(*doc);
    ASSERT_EQ(got.Width(), 30);
    ASSERT_EQ(got.Height(), 40);
    EXPECT_EQ(doc->width, 30);
    EXPECT_EQ(std::memcmp(got.Pixel32(0, 0), pic.Pixel32(0, 29), 4), 0);
    EXPECT_EQ(std::memcmp(got.Pixel32(29, 0), pic.Pixel32(0, 0), 4), 0);
    if (RunQuiet("command -v djxl")) {
        EXPECT_EQ(Compare(ReadBackWith("djxl", path), got).colourMax, 0);
    }

    // Pure red in a space whose red is sRGB's blue.
    const Bytes profiled =
        ForeignJxl(CreateSolidDIB(8, 8, RGB(255, 0, 0), 255), JXL_ORIENT_IDENTITY, SwappedProfile());
    ASSERT_FALSE(profiled.empty());
    PutFile(path, profiled);
    doc = OpenDoc(path);
    ASSERT_TRUE(doc);
    const BYTE* p = RasterOf(*doc).Pixel32(4, 4);
    EXPECT_GT(p[0], 200) << "blue";
    EXPECT_LT(p[2], 60) << "red";
    std::remove(path.c_str());
}

TEST(Jxl, DamagedTruncatedAndOversizedFilesFailCleanly) {
    EXPECT_FALSE(DecodeJxlFirstFrame({}));
    CDocImage junkDoc;
    EXPECT_FALSE(ReadJxl(junkDoc, Bytes(100, 0xFF), nullptr));
    std::vector<BYTE> whole;
    const PackedDib pic = Ramp(64, 48, true);
    ASSERT_TRUE(EncodeJxl({&pic}, 100, 90, whole, nullptr));
    ASSERT_TRUE(DecodeJxlFirstFrame(whole));

    const std::string path = TempPath("cut.jxl");
    for (std::size_t n : {std::size_t{2}, std::size_t{9}, whole.size() / 3, whole.size() - 1}) {
        PutFile(path, Bytes(whole.begin(), whole.begin() + static_cast<std::ptrdiff_t>(n)));
        LoadFlags flags;
        CDocImage doc;
        EXPECT_FALSE(OpenFile(doc, path, flags, nullptr)) << n << " bytes";
    }
    for (std::size_t at = 0; at < whole.size(); at += 5) {
        Bytes bad = whole;
        bad[at] ^= 0x5A;
        CDocImage doc;
        ReadJxl(doc, bad, nullptr);
    }

    // 50000 x 50000 claimed in a few hundred bytes: refused with the size, before libjxl
    // allocates anything of it; so is the same claim with no budget open.
    const Bytes big = ClaimSize(whole, 50000);
    PutFile(path, big);
    LoadFlags flags;
    EXPECT_FALSE(OpenDoc(path, &flags));
    EXPECT_NE(flags.refusal.find("50000"), std::string::npos) << flags.refusal;
    EXPECT_FALSE(DecodeJxlFirstFrame(big));
    std::remove(path.c_str());
}
