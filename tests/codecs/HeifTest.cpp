// HEIF opening: files written by libheif's own encoder (heif-enc) read as its converter reads
// them, upright when the file says it is turned, in sRGB when it carries a profile; damaged and
// oversized files refused without harm.
#include "CodecTestUtil.h"
#include "codecs/FileTypes.h"
#include "codecs/HeifCodec.h"
#include "codecs/OpenExport.h"
#include "extlib/PhotoLook.h"
#include "raster/Dib.h"

#include "support/Profiles.h"
#include <gtest/gtest.h>
#include <lcms2.h>
#include <zlib.h>

#include <cstdlib>
#include <cstring>

using namespace zepho;
using namespace zepho::test;

namespace {

using Bytes = std::vector<BYTE>;

std::string TempPath(const std::string& name) {
    return testing::TempDir() + "zepho_heif_" + name;
}

bool HaveHeifTools() {
    return RunQuiet("command -v heif-enc") && RunQuiet("command -v heif-convert");
}

// Red and green ramps over blue, alpha falling off to the right when asked.
PackedDib Picture(int w, int h, bool withAlpha) {
    PackedDib d = CreateSolidDIB(w, h, 0, 255);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            BYTE* p = d.Pixel32(x, y);
            p[0] = 200;
            p[1] = static_cast<BYTE>(y * 255 / (h - 1));
            p[2] = static_cast<BYTE>(x * 255 / (w - 1));
            p[3] = withAlpha ? static_cast<BYTE>(255 - x * 200 / (w - 1)) : 255;
        }
    return d;
}

// The largest difference of any channel (alpha included) between two images of one size.
int MaxDiff(const PackedDib& a, const PackedDib& b) {
    if (a.Width() != b.Width() || a.Height() != b.Height()) return 256;
    int worst = 0;
    for (int y = 0; y < a.Height(); ++y)
        for (int x = 0; x < a.Width(); ++x)
            for (int c = 0; c < 4; ++c)
                worst = std::max(worst, std::abs(a.Pixel32(x, y)[c] - b.Pixel32(x, y)[c]));
    return worst;
}

// Our PNG of `pic`, encoded by heif-enc (lossless 4:4:4) into `heic`.
bool EncodeWithHeifEnc(const PackedDib& pic, const std::string& heic, const Bytes& icc = {}) {
    const std::string png = heic + ".png";
    if (!ExportFile(*DocWith(pic.Clone()), png, 0, kExportKeepAlpha, nullptr, 0)) return false;
    if (!icc.empty()) {
        // An iCCP chunk right after IHDR (8 bytes of signature, 25 of IHDR).
        Bytes png8 = FileBytes(png);
        uLongf zlen = compressBound(static_cast<uLong>(icc.size()));
        Bytes z(zlen);
        if (compress2(z.data(), &zlen, icc.data(), static_cast<uLong>(icc.size()), 9) != Z_OK) return false;
        Bytes chunk = {'i', 'C', 'C', 'P', 't', 'e', 's', 't', 0, 0};
        chunk.insert(chunk.end(), z.begin(), z.begin() + static_cast<std::ptrdiff_t>(zlen));
        const uLong crc = crc32(0, chunk.data(), static_cast<uInt>(chunk.size()));
        const std::uint32_t len = static_cast<std::uint32_t>(chunk.size() - 4);
        Bytes out(png8.begin(), png8.begin() + 33);
        for (int s = 24; s >= 0; s -= 8)
            out.push_back(static_cast<BYTE>(len >> s));
        out.insert(out.end(), chunk.begin(), chunk.end());
        for (int s = 24; s >= 0; s -= 8)
            out.push_back(static_cast<BYTE>(crc >> s));
        out.insert(out.end(), png8.begin() + 33, png8.end());
        PutFile(png, out);
    }
    const bool ok = RunQuiet("heif-enc -L -p chroma=444 -o '" + heic + "' '" + png + "'");
    std::remove(png.c_str());
    return ok;
}

// The messages an open shows the user.
struct MessageRecorder : IUiHost {
    std::vector<std::string> shown;
    void MessageBox(const std::string& text, const std::string&, MsgIcon) override { shown.push_back(text); }
    bool AskYesNo(const std::string&, const std::string&) override { return false; }
};

// Replaces the first property box of `type` by an irot of the same size (libheif skips the
// padding), so that the picture is stored turned.
bool TurnStored(Bytes& file, const char* type, BYTE quarterTurns) {
    for (std::size_t i = 4; i + 5 <= file.size(); ++i)
        if (std::memcmp(file.data() + i, type, 4) == 0) {
            std::memcpy(file.data() + i, "irot", 4);
            const std::size_t size =
                std::size_t(file[i - 4]) << 24 | file[i - 3] << 16 | file[i - 2] << 8 | file[i - 1];
            for (std::size_t k = i + 4; k < i - 4 + size; ++k)
                file[k] = 0;
            file[i + 4] = quarterTurns;
            return true;
        }
    return false;
}

} // namespace

TEST(Heif, OpensWhatLibheifWritesAsItsConverterDoes) {
    EXPECT_EQ(FileKindOf("x.HEIC"), FileKind::Heif);
    EXPECT_EQ(FileKindOf("x.heif"), FileKind::Heif);
    EXPECT_TRUE(CanOpen(FileKind::Heif));
    EXPECT_FALSE(CanExport(FileKind::Heif));
    if (!HaveHeifTools()) GTEST_SKIP() << "heif-enc or heif-convert missing (libheif-examples)";

    struct Case {
        const char* name;
        bool alpha;
        // A property of the colour image replaced by a quarter turn anticlockwise, or none (the
        // alpha image keeps its own properties, so only an opaque picture is turned).
        const char* turnIn;
    };
    const Case cases[] = {
        {"opaque.heic", false, nullptr}, {"alpha.heif", true, nullptr}, {"turned.heic", false, "pixi"}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string path = TempPath(c.name);
        const PackedDib pic = Picture(40, 30, c.alpha);
        ASSERT_TRUE(EncodeWithHeifEnc(pic, path));
        if (c.turnIn) {
            Bytes file = FileBytes(path);
            ASSERT_TRUE(TurnStored(file, c.turnIn, 1));
            PutFile(path, file);
        }
        Ref<CDocImage> doc = OpenDoc(path);
        ASSERT_TRUE(doc);
        ASSERT_EQ(doc->objects.Count(), 1);
        const PackedDib& got = RasterOf(*doc);
        const PackedDib want = ReadBackWith("heif-convert", path);
        ASSERT_TRUE(want);
        EXPECT_EQ(got.Width(), c.turnIn ? 30 : 40);
        EXPECT_EQ(doc->width, got.Width());
        EXPECT_LE(MaxDiff(want, got), 1);
        // Lossless coding: close to what went in, alpha exact.
        if (!c.turnIn) {
            EXPECT_LE(MaxDiff(pic, got), 3);
        } else {
            // A quarter turn anticlockwise: the stored top-right corner is now the top-left.
            const BYTE* tl = got.Pixel32(0, 0);
            const BYTE* storedTr = pic.Pixel32(39, 0);
            EXPECT_NEAR(tl[2], storedTr[2], 3);
            EXPECT_EQ(tl[3], storedTr[3]);
        }
        PackedDib preview = LoadPreviewImage(path);
        EXPECT_LE(MaxDiff(preview, got), 0);
        std::remove(path.c_str());
    }
}

TEST(Heif, EmbeddedProfileIsConvertedToSrgb) {
    if (!HaveHeifTools()) GTEST_SKIP() << "heif-enc missing (libheif-examples)";
    const std::string path = TempPath("profile.heic");
    // Pure red in a space whose red is sRGB's blue.
    ASSERT_TRUE(EncodeWithHeifEnc(CreateSolidDIB(16, 16, RGB(255, 0, 0), 255), path, SwappedProfile()));
    if (RunQuiet("heif-info '" + path + "' | grep -q 'color profile: no'"))
        GTEST_SKIP() << "this heif-enc does not carry a PNG's profile over";
    Ref<CDocImage> doc = OpenDoc(path);
    ASSERT_TRUE(doc);
    const BYTE* p = RasterOf(*doc).Pixel32(8, 8);
    EXPECT_GT(p[0], 200) << "blue";
    EXPECT_LT(p[2], 60) << "red";

    // A profile of a space the pixels are not in: the picture opens as stored, and the user is
    // told once.
    Bytes file = FileBytes(path);
    std::size_t colr = 0;
    for (std::size_t i = 0; i + 32 <= file.size() && !colr; ++i)
        if (std::memcmp(file.data() + i, "colrprof", 8) == 0) colr = i;
    ASSERT_NE(colr, 0u);
    std::memcpy(file.data() + colr + 8 + 16, "CMYK", 4);
    PutFile(path, file);
    MessageRecorder ui;
    CDocImage stored;
    LoadFlags flags;
    OpenContext context;
    context.ui = &ui;
    ASSERT_TRUE(OpenFileWith(stored, path, flags, nullptr, context));
    EXPECT_GE(stored.objects.At(0)->content->raster.Pixel32(8, 8)[2], 250) << "red as stored";
    ASSERT_EQ(ui.shown.size(), 1u);
    EXPECT_EQ(ui.shown[0], kProfileUnusable);
    std::remove(path.c_str());
}

TEST(Heif, DamagedTruncatedAndOversizedFilesFailCleanly) {
    EXPECT_FALSE(DecodeHeif({}));
    const Bytes junk(200, 0x5A);
    EXPECT_FALSE(DecodeHeif(junk));
    if (!HaveHeifTools()) GTEST_SKIP() << "heif-enc missing (libheif-examples)";
    const std::string path = TempPath("whole.heic");
    ASSERT_TRUE(EncodeWithHeifEnc(Picture(40, 30, true), path));
    const Bytes whole = FileBytes(path);
    ASSERT_TRUE(DecodeHeif(whole));

    const std::string cut = TempPath("cut.heic");
    for (std::size_t n :
         {std::size_t{12}, std::size_t{40}, whole.size() / 3, whole.size() / 2, whole.size() - 20}) {
        PutFile(cut, Bytes(whole.begin(), whole.begin() + static_cast<std::ptrdiff_t>(n)));
        LoadFlags flags;
        CDocImage doc;
        EXPECT_FALSE(OpenFile(doc, cut, flags, nullptr)) << n << " bytes";
    }
    // Bytes changed all over the file: whatever opens, nothing may crash.
    for (std::size_t at = 0; at < whole.size(); at += 7) {
        Bytes bad = whole;
        bad[at] ^= 0xA5;
        DecodeHeif(bad);
    }

    // A file that claims 50000 x 50000 pixels is refused before anything of that size exists.
    Bytes big = whole;
    int claims = 0;
    for (std::size_t i = 0; i + 16 <= big.size(); ++i)
        if (std::memcmp(big.data() + i, "ispe", 4) == 0) {
            for (int side = 0; side < 2; ++side) {
                BYTE* v = big.data() + i + 8 + 4 * side;
                v[0] = 0, v[1] = 0, v[2] = 0xC3, v[3] = 0x50;
            }
            ++claims;
        }
    ASSERT_GT(claims, 0);
    PutFile(cut, big);
    LoadFlags flags;
    EXPECT_FALSE(OpenDoc(cut, &flags));
    EXPECT_NE(flags.refusal.find("50000"), std::string::npos) << flags.refusal;
    std::remove(cut.c_str());
    std::remove(path.c_str());
}

// A colour space stated by code rather than by a profile (nclx, as converters write Display P3) is
// shown in sRGB; a grey stays grey; HDR transfers, which need more than a profile, open as stored
// and are told once. (heif-enc cannot write such a box; HEIF takes the same path in the reader.)
TEST(Heif, ColourSpaceStatedByCodeIsConverted) {
    if (!RunQuiet("command -v avifenc")) GTEST_SKIP() << "avifenc missing (libavif-bin)";
    PackedDib pic = CreateSolidDIB(16, 16, RGB(200, 40, 40), 255);
    for (int y = 8; y < 16; ++y)
        for (int x = 0; x < 16; ++x)
            pic.Pixel32(x, y)[0] = pic.Pixel32(x, y)[1] = pic.Pixel32(x, y)[2] = 128;
    const std::string png = TempPath("nclx.png");
    ASSERT_TRUE(ExportFile(*DocWith(pic.Clone()), png, 0, 0, nullptr, 0));
    // What the red is in sRGB: Display P3's primaries and white, sRGB's curve.
    const double srgbCurve[5] = {2.4, 1 / 1.055, 0.055 / 1.055, 1 / 12.92, 0.04045};
    cmsToneCurve* tone = cmsBuildParametricToneCurve(nullptr, 4, srgbCurve);
    cmsToneCurve* curves[3] = {tone, tone, tone};
    const cmsCIExyY d65 = {0.3127, 0.3290, 1};
    const cmsCIExyYTRIPLE p3 = {{0.680, 0.320, 1}, {0.265, 0.690, 1}, {0.150, 0.060, 1}};
    cmsHPROFILE inP = cmsCreateRGBProfile(&d65, &p3, curves), outP = cmsCreate_sRGBProfile();
    cmsHTRANSFORM t = cmsCreateTransform(inP, TYPE_RGB_8, outP, TYPE_RGB_8, INTENT_PERCEPTUAL, 0);
    const BYTE red[3] = {200, 40, 40};
    BYTE want[3] = {};
    cmsDoTransform(t, red, want, 1);
    cmsDeleteTransform(t);
    cmsCloseProfile(inP);
    cmsCloseProfile(outP);
    cmsFreeToneCurve(tone);

    const struct {
        const char* name;
        std::string command;
        bool hdr;
    } cases[] = {
        {"p3.avif", "avifenc -l --cicp 12/13/0 IN OUT", false},
        {"pq.avif", "avifenc -l --cicp 9/16/0 IN OUT", true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string out = TempPath(c.name);
        std::string cmd = c.command;
        cmd.replace(cmd.find("OUT"), 3, "'" + out + "'");
        cmd.replace(cmd.find("IN"), 2, "'" + png + "'");
        ASSERT_TRUE(RunQuiet(cmd));
        MessageRecorder ui;
        CDocImage doc;
        LoadFlags flags;
        OpenContext context;
        context.ui = &ui;
        ASSERT_TRUE(OpenFileWith(doc, out, flags, nullptr, context));
        EXPECT_EQ(ui.shown.size(), c.hdr ? 1u : 0u);
        const PackedDib& got = doc.objects.At(0)->content->raster;
        const BYTE* r = got.Pixel32(4, 2);
        const BYTE* g = got.Pixel32(4, 12);
        const BYTE* expect = c.hdr ? red : want;
        for (int ch = 0; ch < 3; ++ch) {
            EXPECT_NEAR(r[2 - ch], expect[ch], 2) << ch;
            EXPECT_NEAR(g[ch], 128, 1) << ch;
        }
        if (!c.hdr) EXPECT_GT(r[2], 215) << "more saturated in sRGB";
    }
}
