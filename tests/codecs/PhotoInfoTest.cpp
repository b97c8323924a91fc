// Photo information on open: damaged and oversized blocks cost the information, never the picture.
#include "codecs/CodecTestUtil.h"
#include "codecs/OpenExport.h"
#include "codecs/PhotoInfoIo.h"
#include "raster/Dib.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace zepho;
using namespace zepho::test;

namespace {

std::vector<BYTE> PlainFile(const std::string& path) {
    Ref<CDocImage> doc = DocWith(CreateSolidDIB(40, 30, RGB(10, 120, 200), 255));
    EXPECT_TRUE(ExportFile(*doc, path, 90, 0, nullptr, RGB(255, 255, 255)));
    return FileBytes(path);
}

// A JPEG segment: marker, big-endian length, payload.
std::vector<BYTE> Segment(BYTE marker, const std::string& payload) {
    const std::size_t n = payload.size() + 2;
    std::vector<BYTE> s{0xFF, marker, BYTE(n >> 8), BYTE(n)};
    s.insert(s.end(), payload.begin(), payload.end());
    return s;
}

std::string Le32(DWORD v) {
    return std::string{char(v), char(v >> 8), char(v >> 16), char(v >> 24)};
}

std::string Le16(WORD v) {
    return std::string{char(v), char(v >> 8)};
}

// One IFD entry: tag, type, count, value or offset.
std::string Entry(WORD tag, WORD type, DWORD count, DWORD value) {
    return Le16(tag) + Le16(type) + Le32(count) + Le32(value);
}

const std::string kExif("Exif\0\0", 6);
const std::string kTiff("II*\0", 4);

} // namespace

// A JPEG whose Exif, XMP or IPTC block lies (offsets past the end, counts of billions, an IFD
// that points at itself, XML that never closes) opens as a picture and exports as one.
TEST(PhotoInfoOpen, DamagedBlocksNeverStopAnOpen) {
    const std::string dir = testing::TempDir() + "/photoinfo_";
    const std::vector<BYTE> plain = PlainFile(dir + "plain.jpg");
    ASSERT_GT(plain.size(), 2u);
    const std::string make = Entry(0x010F, 2, 5, 26) + Le32(0) + std::string("Acme", 5);
    struct Case {
        const char* name;
        BYTE marker;
        std::string payload;
    };
    const Case cases[] = {
        {"IFD0 past the end", 0xE1, kExif + kTiff + Le32(0xFFFFFF00)},
        {"entry count of 65535", 0xE1, kExif + kTiff + Le32(8) + Le16(0xFFFF) + Entry(0x010F, 2, 4, 0)},
        {"a billion longs", 0xE1,
         kExif + kTiff + Le32(8) + Le16(1) + Entry(0x0111, 4, 0x40000000, 8) + Le32(0)},
        {"IFD chain that loops", 0xE1,
         kExif + kTiff + Le32(8) + Le16(1) + Entry(0x010F, 2, 4, 0x41414141) + Le32(8)},
        {"Exif IFD pointing at itself", 0xE1,
         kExif + kTiff + Le32(8) + Le16(1) + Entry(0x8769, 4, 1, 8) + Le32(0)},
        {"text beyond the block", 0xE1, kExif + kTiff + Le32(8) + Le16(1) + Entry(0x010F, 2, 0xFFFFFFF0, 26)},
        {"unclosed XMP", 0xE1,
         std::string("http://ns.adobe.com/xap/1.0/\0", 29) + "<x:xmpmeta><rdf:RDF><rdf:Des"},
        {"IPTC resource longer than the file", 0xED,
         std::string("Photoshop 3.0\0008BIM\x04\x04\0\0", 22) + "\xFF\xFF\xFF\xF0\x1C\x02\x78"},
        {"a valid Make", 0xE1, kExif + kTiff + Le32(8) + Le16(1) + make},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<BYTE> file(plain.begin(), plain.begin() + 2);
        const std::vector<BYTE> seg = Segment(c.marker, c.payload);
        file.insert(file.end(), seg.begin(), seg.end());
        file.insert(file.end(), plain.begin() + 2, plain.end());
        const std::string in = dir + "damaged.jpg";
        PutFile(in, file);
        CDocImage doc;
        LoadFlags flags;
        ASSERT_TRUE(OpenFile(doc, in, flags, nullptr));
        EXPECT_EQ(doc.width, 40);
        EXPECT_EQ(doc.height, 30);
        for (const char* ext : {"jpg", "png", "webp", "tif"}) {
            const std::string out = dir + "damaged_out." + ext;
            EXPECT_TRUE(ExportFile(doc, out, 90, 0, nullptr, RGB(255, 255, 255))) << ext;
            CDocImage back;
            LoadFlags backFlags;
            EXPECT_TRUE(OpenFile(back, out, backFlags, nullptr)) << ext;
            EXPECT_EQ(back.width, 40) << ext;
        }
    }
    // The valid block among them is kept and written back.
    CDocImage doc;
    LoadFlags flags;
    ASSERT_TRUE(OpenFile(doc, dir + "damaged.jpg", flags, nullptr));
    EXPECT_EQ(SummarizePhotoInfo(doc.photoInfo).make, "Acme");
}

// An XMP packet larger than any camera writes is left out; the picture opens.
TEST(PhotoInfoOpen, OversizedBlockIsLeftOut) {
    const std::string dir = testing::TempDir() + "/photoinfo_big_";
    const std::vector<BYTE> plain = PlainFile(dir + "plain.png");
    ASSERT_GT(plain.size(), 33u);
    const std::string packet = "<?xpacket begin=\"\"?><x:xmpmeta xmlns:x=\"adobe:ns:meta/\"><!--" +
                               std::string(kMaxPhotoInfoBlock, ' ') + "--></x:xmpmeta><?xpacket end=\"w\"?>";
    const std::vector<BYTE> itxt = PngChunk("iTXt", std::string("XML:com.adobe.xmp\0\0\0\0\0", 22) + packet);
    std::vector<BYTE> file(plain.begin(), plain.begin() + 33); // signature and IHDR
    file.insert(file.end(), itxt.begin(), itxt.end());
    file.insert(file.end(), plain.begin() + 33, plain.end());
    PutFile(dir + "in.png", file);
    CDocImage doc;
    LoadFlags flags;
    ASSERT_TRUE(OpenFile(doc, dir + "in.png", flags, nullptr));
    EXPECT_EQ(doc.width, 40);
    EXPECT_TRUE(doc.photoInfo.xmp.empty());
}

// Only a document that is the photo keeps its information: a re-open clears what the last file
// had, and what the document says of itself is what goes out, not what the file held.
TEST(PhotoInfoOpen, BelongsToTheDocumentOpened) {
    const std::string dir = testing::TempDir() + "/photoinfo_doc_";
    CDocImage doc;
    doc.photoInfo.xmp = "<x:xmpmeta xmlns:x=\"adobe:ns:meta/\"/>";
    PlainFile(dir + "plain.png");
    LoadFlags flags;
    ASSERT_TRUE(OpenFile(doc, dir + "plain.png", flags, nullptr));
    EXPECT_TRUE(doc.photoInfo.Empty());
}

// Save and reopen keeps a photo's information in a block after the payloads, which the format's
// readers never look at; a document without it is written exactly as before, and a damaged block
// costs only the information.
TEST(PhotoInfoNative, SaveAndReopenKeepsItAndDamageCostsOnlyIt) {
    const std::string dir = testing::TempDir() + "/photoinfo_native_";
    CPhotoInfo info;
    const std::string make = Entry(0x010F, 2, 5, 26) + Le32(0) + std::string("Acme", 5);
    const std::string tiff = kTiff + Le32(8) + Le16(1) + make;
    info.exif.assign(tiff.begin(), tiff.end());
    info.xmp = "<x:xmpmeta xmlns:x=\"adobe:ns:meta/\"/>";
    info.iptc = {0x1C, 0x02, 0x78, 0x00, 0x03, 'c', 'a', 't'};
    info.profile = "Adobe RGB (1998)";
    info.orientation = 6;

    for (int objects : {0, 2}) {
        SCOPED_TRACE(objects);
        Ref<CDocImage> doc = DocWith(CreateSolidDIB(40, 30, RGB(10, 120, 200), 255));
        if (objects == 0)
            doc->objects.RemoveAll();
        else
            doc->objects.AddTail(DocWith(CreateSolidDIB(5, 5, RGB(1, 2, 3), 255))->objects.At(0));
        ASSERT_TRUE(doc->SaveNative(dir + "plain.qzi", nullptr));
        doc->photoInfo = info;
        ASSERT_TRUE(doc->SaveNative(dir + "photo.qzi", nullptr));
        const std::vector<BYTE> plain = FileBytes(dir + "plain.qzi");
        const std::vector<BYTE> photo = FileBytes(dir + "photo.qzi");
        ASSERT_GT(photo.size(), plain.size());
        EXPECT_TRUE(std::equal(plain.begin(), plain.end(), photo.begin()));

        CDocImage back;
        LoadFlags flags;
        ASSERT_TRUE(OpenFile(back, dir + "photo.qzi", flags, nullptr));
        EXPECT_EQ(back.objects.Count(), objects);
        EXPECT_EQ(back.photoInfo.exif, info.exif);
        EXPECT_EQ(back.photoInfo.xmp, info.xmp);
        EXPECT_EQ(back.photoInfo.iptc, info.iptc);
        EXPECT_EQ(back.photoInfo.profile, info.profile);
        EXPECT_EQ(back.photoInfo.orientation, 6);

        // Damage past the payloads never stops the open.
        const std::size_t at = plain.size();
        const struct {
            const char* name;
            std::size_t offset;
            std::string bytes; // written over the block at offset
            std::size_t keep;  // bytes of the file kept, 0 for all
        } damage[] = {
            {"cut short", 0, "", photo.size() - 3},
            {"length past the end", 4, Le32(0xFFFFFFF0), 0},
            {"Exif longer than the block", 12, Le32(0x7FFFFFFF), 0},
            {"another tag", 0, "JUNK", 0},
        };
        for (const auto& d : damage) {
            SCOPED_TRACE(d.name);
            std::vector<BYTE> bad = photo;
            std::copy(d.bytes.begin(), d.bytes.end(), bad.begin() + static_cast<long>(at + d.offset));
            if (d.keep) bad.resize(d.keep);
            PutFile(dir + "bad.qzi", bad);
            CDocImage reopened;
            LoadFlags badFlags;
            ASSERT_TRUE(OpenFile(reopened, dir + "bad.qzi", badFlags, nullptr));
            EXPECT_EQ(reopened.objects.Count(), objects);
            EXPECT_FALSE(reopened.photoInfo.WorthKeeping());
        }
        if (objects == 0) continue;
        // What was saved goes out with the next export.
        ASSERT_TRUE(ExportFile(back, dir + "out.jpg", 90, 0, nullptr, RGB(255, 255, 255)));
        const PhotoSummary summary = SummarizePhotoInfo(ReadPhotoInfo(dir + "out.jpg"));
        EXPECT_EQ(summary.make, "Acme");
        EXPECT_EQ(summary.orientation, 1);
    }
}
