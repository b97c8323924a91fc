// Conversions a band of rows at a time write the bytes that opening the file and exporting the
// document write, or decline and write nothing.
#include "codecs/StreamExport.h"
#include "codecs/CodecTestUtil.h"
#include "codecs/OpenExport.h"
#include "codecs/PhotoInfoIo.h"
#include "extlib/ImageIO.h"
#include "raster/Dib.h"
#include "support/Profiles.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <cstdio>
#include <cstring>
#include <map>
#include <string>
#include <vector>

using namespace zepho;
using namespace zepho::test;

namespace {

std::string Temp(const std::string& name) {
    return ::testing::TempDir() + "stream_" + name;
}

// Smooth colour fields under grain, so that every band has hundreds of colours; with `alpha` a
// soft-edged hole in the middle and an opaque rest.
PackedDib PhotoLike(int w, int h, bool alpha, unsigned seed = 1) {
    PackedDib d = PackedDib::Create(w, h, 32);
    unsigned s = seed;
    for (int y = 0; y < h; ++y) {
        BYTE* p = d.Row(y);
        for (int x = 0; x < w; ++x, p += 4) {
            s = s * 1103515245u + 12345u;
            const int grain = static_cast<int>((s >> 16) & 15);
            p[0] = static_cast<BYTE>((x * 255 / w + grain) & 255);
            p[1] = static_cast<BYTE>((y * 255 / h + grain * 2) & 255);
            p[2] = static_cast<BYTE>(((x + y) * 127 / (w + h) + grain) & 255);
            const int dx = x - w / 2, dy = y - h / 2, r2 = dx * dx + dy * dy;
            p[3] = !alpha || r2 > (w * w) / 16
                       ? 255
                       : static_cast<BYTE>(std::min(255, r2 * 255 / ((w * w) / 16 + 1)));
        }
    }
    return d;
}

// Writes the raster as the named file, keeping its alpha where the format can.
std::string MakeInput(const std::string& name, PackedDib raster, DWORD option = 95) {
    const std::string path = Temp(name);
    Ref<CDocImage> doc = DocWith(std::move(raster));
    EXPECT_TRUE(ExportFile(*doc, path, option, kExportKeepAlpha, nullptr, RGB(255, 255, 255)));
    return path;
}

// The PNG at `path` with a chunk put in after its header.
void InsertAfterHeader(const std::string& path, const std::vector<BYTE>& chunk) {
    std::vector<BYTE> png = FileBytes(path);
    png.insert(png.begin() + 33, chunk.begin(), chunk.end());
    PutFile(path, png);
}

// An Exif block (TIFF structure, little-endian) with the orientation and a camera make.
std::vector<BYTE> ExifBlock(int orientation) {
    const std::string make = "Maker";
    std::string t("II*\0\x08\0\0\0", 8);
    auto le16 = [](WORD v) { return std::string{char(v), char(v >> 8)}; };
    auto le32 = [](DWORD v) { return std::string{char(v), char(v >> 8), char(v >> 16), char(v >> 24)}; };
    t += le16(2);
    t += le16(0x010F) + le16(2) + le32(static_cast<DWORD>(make.size() + 1)) + le32(8 + 2 + 24 + 4);
    t += le16(0x0112) + le16(3) + le32(1) + le16(static_cast<WORD>(orientation)) + le16(0);
    t += le32(0);
    t += make + '\0';
    return {t.begin(), t.end()};
}

// The JPEG at `path` with an Exif segment after its start marker.
void InsertExif(const std::string& path, int orientation) {
    std::vector<BYTE> jpg = FileBytes(path);
    std::vector<BYTE> exif = ExifBlock(orientation);
    std::vector<BYTE> seg{0xFF, 0xE1, 0, 0, 'E', 'x', 'i', 'f', 0, 0};
    seg.insert(seg.end(), exif.begin(), exif.end());
    seg[2] = BYTE((seg.size() - 2) >> 8), seg[3] = BYTE(seg.size() - 2);
    jpg.insert(jpg.begin() + 2, seg.begin(), seg.end());
    PutFile(path, jpg);
}

// The target written the document's way: opened as the editor opens it, then exported.
std::vector<BYTE> ThroughDocument(const StreamRequest& r) {
    Ref<CDocImage> doc = OpenDoc(r.in);
    EXPECT_TRUE(doc);
    if (!doc) return {};
    const std::string out = r.out + ".doc" + r.out.substr(r.out.rfind('.'));
    const bool ok = r.composite ? ExportCompositePng(*doc, out, nullptr, (r.extra & kExportKeepAlpha) != 0)
                                : ExportFile(*doc, out, r.option, r.extra, nullptr, r.background);
    EXPECT_TRUE(ok);
    std::vector<BYTE> bytes = FileBytes(out);
    std::remove(out.c_str());
    return bytes;
}

struct Case {
    const char* input; // key of the inputs below
    const char* out;   // extension
    DWORD option;
    DWORD extra;
    bool composite;
};

} // namespace

// Every writer, from every kind of input the bands come from: the same bytes either way.
TEST(StreamExport, WritesTheBytesOfTheDocumentsExport) {
    const int w = 301, h = 2100; // several bands, the last one short
    std::map<std::string, std::string> inputs;
    inputs["rgb.png"] = MakeInput("rgb.png", PhotoLike(w, h, false));
    inputs["rgba.png"] = MakeInput("rgba.png", PhotoLike(w, h, true));
    inputs["photo.jpg"] = MakeInput("photo.jpg", PhotoLike(w, h, false), 90);
    // A wide-gamut profile: the bands are converted to sRGB as the whole picture is.
    inputs["wide.png"] = MakeInput("wide.png", PhotoLike(w, h, false, 7));
    {
        const std::vector<BYTE> icc = ProfileBytes(WideGamutProfile());
        std::vector<BYTE> packed(compressBound(static_cast<uLong>(icc.size())));
        uLongf n = static_cast<uLongf>(packed.size());
        ASSERT_EQ(compress(packed.data(), &n, icc.data(), static_cast<uLong>(icc.size())), Z_OK);
        std::vector<BYTE> data{'w', 'i', 'd', 'e', 0, 0};
        data.insert(data.end(), packed.begin(), packed.begin() + static_cast<long>(n));
        InsertAfterHeader(inputs["wide.png"], PngChunk("iCCP", data));
    }
    // Camera information goes out again; a mirrored picture is mirrored band by band.
    inputs["exif.jpg"] = MakeInput("exif.jpg", PhotoLike(w, h, false, 3), 90);
    InsertExif(inputs["exif.jpg"], 1);
    inputs["mirror.jpg"] = MakeInput("mirror.jpg", PhotoLike(w, h, false, 5), 90);
    InsertExif(inputs["mirror.jpg"], 2);

    const Case cases[] = {
        {"rgb.png", "png", 85, 0, false},
        {"rgb.png", "jpg", 80, 0, false},
        {"rgb.png", "tif", 1, 0, false},
        {"rgb.png", "tif", 5, 0, false},
        {"rgb.png", "tif", 7, 0, false},
        {"rgba.png", "png", 85, 0, false},
        {"rgba.png", "jpg", 85, 0, false},
        {"rgba.png", "tif", 8, 0, false},
        {"rgba.png", "png", 85, kExportKeepAlpha, false},
        {"rgba.png", "tif", 1, kExportKeepAlpha, false},
        {"rgba.png", "tif", 7, kExportKeepAlpha, false},
        {"photo.jpg", "png", 85, 0, false},
        {"photo.jpg", "jpg", 75, 0, false},
        {"photo.jpg", "tif", 1, 0, false},
        {"wide.png", "png", 85, 0, false},
        {"wide.png", "jpg", 85, 0, false},
        {"exif.jpg", "jpg", 85, 0, false},
        {"exif.jpg", "png", 85, kExportStripLocation, false},
        {"exif.jpg", "tif", 1, 0, false},
        {"exif.jpg", "jpg", 85, kExportStripMetadata, false},
        {"mirror.jpg", "png", 85, 0, false},
        // The composite the flatten command writes: RGB when opaque, RGBA otherwise or when asked.
        {"rgb.png", "png", 0, 0, true},
        {"rgba.png", "png", 0, 0, true},
        {"photo.jpg", "png", 0, kExportKeepAlpha, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.input) + " -> ." + c.out + " option " + std::to_string(c.option) +
                     " extra " + std::to_string(c.extra) + (c.composite ? " composite" : ""));
        StreamRequest r;
        r.in = inputs[c.input];
        r.out = Temp(std::string("out.") + c.out);
        r.option = c.option;
        r.extra = c.extra;
        r.background = RGB(30, 200, 90);
        r.composite = c.composite;
        ASSERT_TRUE(MayStream(r));
        std::remove(r.out.c_str());
        ASSERT_EQ(ExportStreamed(r, nullptr), StreamOutcome::Written);
        const std::vector<BYTE> streamed = FileBytes(r.out);
        const std::vector<BYTE> whole = ThroughDocument(r);
        ASSERT_FALSE(whole.empty());
        EXPECT_TRUE(streamed == whole) << streamed.size() << " bytes streamed, " << whole.size() << " whole";
        std::remove(r.out.c_str());
    }
    // What the composites hold: no alpha channel where every pixel is opaque.
    StreamRequest r{inputs["rgb.png"], Temp("flat.png"), 0, 0, 0, true};
    ASSERT_EQ(ExportStreamed(r, nullptr), StreamOutcome::Written);
    EXPECT_EQ(CImage().LoadPNGFile(r.out, nullptr).BitCount(), 24);
    r.in = inputs["rgba.png"];
    ASSERT_EQ(ExportStreamed(r, nullptr), StreamOutcome::Written);
    EXPECT_EQ(CImage().LoadPNGFile(r.out, nullptr).BitCount(), 32);
    // The photo information is in the streamed file.
    r = StreamRequest{inputs["exif.jpg"], Temp("exif_out.jpg"), 85, 0, 0, false};
    ASSERT_EQ(ExportStreamed(r, nullptr), StreamOutcome::Written);
    EXPECT_FALSE(ReadPhotoInfo(r.out).exif.empty());
    std::remove(r.out.c_str());
    for (const auto& [key, path] : inputs)
        std::remove(path.c_str());
}

// What the bands cannot give is declined before anything is written, and the target is kept.
TEST(StreamExport, DeclinesWhatNeedsTheWholePicture) {
    const std::string out = Temp("declined.png");
    PutFile(out, {'k', 'e', 'p', 't'});
    // Few colours: the export writes a palette.
    const std::string flat = MakeInput("flat.png", CreateSolidDIB(200, 300, RGB(10, 20, 30), 255));
    // Turned a quarter: the first row written is the last column read.
    const std::string turned = MakeInput("turned.jpg", PhotoLike(120, 90, false), 90);
    InsertExif(turned, 6);
    // Cut short in its pixel data: left to the document's reader to report.
    const std::string cut = MakeInput("cut.png", PhotoLike(300, 900, false));
    {
        std::vector<BYTE> bytes = FileBytes(cut);
        bytes.resize(bytes.size() * 2 / 3);
        PutFile(cut, bytes);
    }
    for (const std::string& in : {flat, turned, cut}) {
        SCOPED_TRACE(in);
        StreamRequest r{in, out, 85, 0, RGB(255, 255, 255), false};
        EXPECT_EQ(ExportStreamed(r, nullptr), StreamOutcome::NotStreamed);
        EXPECT_EQ(FileBytes(out), (std::vector<BYTE>{'k', 'e', 'p', 't'}));
        std::remove(in.c_str());
    }
    // Not by name: formats without a row reader or writer, and animations.
    EXPECT_FALSE(MayStream({"a.gif", "b.png", 0, 0, 0, false}));
    EXPECT_FALSE(MayStream({"a.png", "b.webp", 0, 0, 0, false}));
    EXPECT_FALSE(MayStream({"a.png", "b.tif", 0, 0, 0, true}));
    EXPECT_FALSE(MayStream({"a.png", "b.png", 0, kExportAnimate, 0, false}));
    EXPECT_TRUE(MayStream({"a.jpeg", "b.tiff", 0, 0, 0, false}));
    // A target that cannot be written fails, rather than falling back.
    const std::string photo = MakeInput("photo2.png", PhotoLike(200, 200, false));
    EXPECT_EQ(ExportStreamed({photo, "/nonexistent-dir/x.png", 85, 0, 0, false}, nullptr),
              StreamOutcome::Failed);
    std::remove(photo.c_str());
    std::remove(out.c_str());
}

// The flatten command's composite leaves out an alpha channel that is opaque everywhere.
TEST(ExportCompositePng, WritesAlphaOnlyWhereSomePixelIsTransparent) {
    Ref<CDocImage> opaque = DocWith(PhotoLike(120, 80, false));
    Ref<CDocImage> holed = DocWith(PhotoLike(120, 80, true));
    Ref<CDocImage> uncovered = DocWith(PhotoLike(120, 80, false), 130, 80); // a column of canvas shows
    const std::string out = Temp("composite.png");
    const struct {
        const CDocImage* doc;
        bool keepAlpha;
        int bits;
    } rows[] = {{opaque.Get(), false, 24},
                {opaque.Get(), true, 32},
                {holed.Get(), false, 32},
                {uncovered.Get(), false, 32}};
    for (const auto& row : rows) {
        ASSERT_TRUE(ExportCompositePng(*row.doc, out, nullptr, row.keepAlpha));
        const PackedDib back = CImage().LoadPNGFile(out, nullptr);
        ASSERT_EQ(back.BitCount(), row.bits);
        // Same pixels either way.
        const PackedDib want = row.doc->CompositeVisible(row.doc->width, row.doc->height);
        const PackedDib got = back.BitCount() == 32 ? DuplicateDIB(back) : ConvertTo32(back);
        for (int y = 0; y < want.Height(); ++y)
            ASSERT_EQ(std::memcmp(got.Row(y), want.Row(y), 4 * static_cast<std::size_t>(want.Width())), 0)
                << "row " << y << " of a " << row.bits << "-bit file";
    }
    std::remove(out.c_str());
}
