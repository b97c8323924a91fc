#include "model/BitmapObj.h"
#include "model/DibStream.h"
#include "model/DocImage.h"
#include "platform/ByteStream.h"
#include "raster/Dib.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>

using namespace zepho;

namespace {

std::vector<BYTE> Save(const CDocImage& doc) {
    MemoryWriter out;
    EXPECT_TRUE(doc.WriteNative(out, nullptr, "t.qzi"));
    return out.Take();
}

bool Load(CDocImage& doc, const std::vector<BYTE>& bytes) {
    MemoryReader in(bytes);
    return doc.ReadNativeFrom(in, nullptr, "t.qzi");
}

// Little-endian byte builder for files written by hand from the layout tables.
struct Bytes {
    std::vector<BYTE> b;
    Bytes& tag(const char* t) { return raw(t, 4); }
    Bytes& raw(const void* p, std::size_t n) {
        b.insert(b.end(), static_cast<const BYTE*>(p), static_cast<const BYTE*>(p) + n);
        return *this;
    }
    Bytes& u8(int v) { b.push_back(static_cast<BYTE>(v)); return *this; }
    Bytes& u16(int v) { return u8(v & 0xFF).u8((v >> 8) & 0xFF); }
    Bytes& i32(long v) { return u16(int(v & 0xFFFF)).u16(int((v >> 16) & 0xFFFF)); }
    Bytes& name(const std::string& s) {
        char buf[48] = {};
        std::memcpy(buf, s.data(), std::min<std::size_t>(48, s.size()));
        return raw(buf, 48);
    }
    Bytes& header(const char* version, int w, int h, int n) {
        return tag("QZI ").tag(version).i32(0x112233).i32(3).i32(w).i32(h).u16(0).u16(7).u8(1).u8(0x0C).u8(0x80).u8(0).i32(n);
    }
    std::size_t size() const { return b.size(); }
};

Ref<CDrawObj> ImageObject(int w, int h, COLORREF colour, BYTE alpha) {
    Ref<CObjContent> c = MakeRef<CObjContent>(KindImage);
    c->SetRaster(CreateSolidDIB(w, h, colour, alpha));
    Ref<CDrawObj> o = MakeRef<CDrawObj>(c);
    o->visible = 1;
    return o;
}

// Planes of a w x 1 raster of one colour: each row one repeat run (w >= 2).
void SolidPlanes(Bytes& b, int w, BYTE r, BYTE g, BYTE bl, BYTE a) {
    for (BYTE v : {r, g, bl, a}) b.u8(1 - w).u8(v);
}

} // namespace

TEST(NativeFormat, EmptyDocumentIsTheHeader) {
    CDocImage doc;
    doc.width = 10;
    doc.height = 20;
    const auto bytes = Save(doc);
    ASSERT_EQ(bytes.size(), 36u);
    EXPECT_EQ(0, std::memcmp(bytes.data(), "QZI 2003", 8));
    CDocImage back;
    ASSERT_TRUE(Load(back, bytes));
    EXPECT_EQ(back.objects.Count(), 0);
    EXPECT_EQ(back.height, 20);
}

TEST(NativeFormat, GoldenImageObjectWithShadow) {
    CDocImage doc;
    doc.width = 30;
    doc.height = 20;
    doc.matteColour = 0x112233;
    doc.gifBackgroundIndex = 3;
    doc.delay = 7;
    doc.gifTransparentIndex = 1;
    doc.gifControlFlags = 0x0C;
    Ref<CDrawObj> o = ImageObject(2, 1, RGB(10, 20, 30), 255);
    o->x = -4;
    o->y = 5;
    o->locked = 1;
    o->transparency = 9;
    CObjContent& c = *o->content;
    c.name = "Obj - 1";
    c.filter = 3;
    c.shadowType = 6;
    c.shadowColour = RGB(1, 2, 3);
    c.UpdateShadow();
    doc.objects.AddTail(o);

    Bytes want;
    want.header("2003", 30, 20, 1);
    want.i32(136).i32(8 + 8).i32(0).i32(3).name("Obj - 1").i32(-4).i32(5).u8(1).u8(1).u8(9).u8(0);
    want.i32(RGB(1, 2, 3)).u8(6).u8(0).u8(100).u8(10).i32(10).i32(10).u16(30).u16(80).i32(1);
    want.i32(2).i32(1);
    SolidPlanes(want, 2, 10, 20, 30, 255);
    EXPECT_EQ(Save(doc), want.b);
}

TEST(NativeFormat, RoundTripKeepsEverythingButSelection) {
    CDocImage doc;
    doc.width = 50;
    doc.height = 40;
    Ref<CDrawObj> a = ImageObject(12, 9, RGB(200, 100, 0), 128);
    a->content->name = std::string(48, 'n');
    a->content->selected = 1;
    a->content->shadowType = 9;
    a->content->shadowSmooth = 2;
    a->content->UpdateShadow();
    Ref<CDrawObj> b = ImageObject(20, 10, RGB(1, 2, 3), 255);
    b->content->name = std::string(60, 'x');
    ASSERT_TRUE(b->content->TransformContent(1.5, 1, 30));
    b->visible = 0;
    doc.objects.AddTail(a);
    doc.objects.AddTail(b);
    const auto bytes = Save(doc);
    // The 48-character name has no terminator: the next field follows at once.
    EXPECT_EQ(bytes[36 + 16 + 47], 'n');

    CDocImage back;
    ASSERT_TRUE(Load(back, bytes));
    ASSERT_EQ(back.objects.Count(), 2);
    const CObjContent& ra = *back.objects.At(0)->content;
    const CObjContent& rb = *back.objects.At(1)->content;
    EXPECT_EQ(ra.name, std::string(48, 'n'));
    EXPECT_EQ(rb.name, std::string(48, 'x'));
    EXPECT_FALSE(ra.selected);
    ASSERT_TRUE(ra.HasShadow()); // rebuilt from the settings
    EXPECT_EQ(ra.shadowType, 9);
    EXPECT_EQ(ra.shadowRaster.Width(), a->content->shadowRaster.Width());
    EXPECT_EQ(0, std::memcmp(ra.raster.Bits(), a->content->raster.Bits(), a->content->raster.Size() - 40));
    EXPECT_EQ(rb.kind, KindTransformedImage);
    EXPECT_EQ(rb.width, b->content->width);
    EXPECT_FALSE(back.objects.At(1)->visible);
    auto* bmp = dynamic_cast<CBitmapObj*>(rb.shape.Get());
    ASSERT_TRUE(bmp);
    EXPECT_DOUBLE_EQ(bmp->scaleX, 1.5);
    EXPECT_EQ(bmp->source.Width(), 20);
    EXPECT_EQ(Save(back), bytes);
}

TEST(NativeFormat, UnknownKindReadsAsImage) {
    Bytes f;
    f.header("2003", 4, 4, 1);
    f.i32(136).i32(16).i32(9).i32(5).name("odd").i32(0).i32(0).u8(1).u8(0).u8(0).u8(0);
    f.i32(0).u8(4).u8(0).u8(100).u8(10).i32(10).i32(10).u16(30).u16(80).i32(0);
    f.i32(2).i32(1);
    SolidPlanes(f, 2, 1, 2, 3, 4);
    CDocImage doc;
    ASSERT_TRUE(Load(doc, f.b));
    EXPECT_EQ(doc.objects.Head()->content->kind, 9);
    EXPECT_FALSE(doc.objects.Head()->content->shape);
    EXPECT_EQ(doc.objects.Head()->content->PixelAt(1, 0), 0x04010203u);
}

namespace {
// An old-version file with one 3 x 1 object.
Bytes OldFile(const char* version) {
    const bool v2001 = !std::strcmp(version, "2001"), v2002 = !std::strcmp(version, "2002");
    const int entry = v2002 ? 100 : v2001 ? 96 : 76;
    Bytes f;
    f.header(version, 8, 8, 1);
    f.i32(3).i32(1).name("old").i32(2).i32(3).u8(1).u8(1).u8(5).u8(0);
    if (v2001 || v2002) {
        f.i32(RGB(9, 9, 9)).u8(7).u8(0).u8(150).u8(3).i32(4).i32(5);
        if (v2002) f.u16(45).u16(60);
        f.i32(1);
    }
    f.i32(36 + entry).i32(8);
    for (BYTE v : {10, 20, 30, 255}) f.u8(0xFE).u8(v);
    return f;
}
} // namespace

TEST(NativeFormat, EarlierVersionsOpenAndSaveAsCurrent) {
    for (const char* v : {"2000", "2001", "2002"}) {
        SCOPED_TRACE(v);
        CDocImage doc;
        ASSERT_TRUE(Load(doc, OldFile(v).b));
        ASSERT_EQ(doc.objects.Count(), 1);
        const CDrawObj& o = *doc.objects.Head();
        const CObjContent& c = *o.content;
        EXPECT_EQ(c.name, "old");
        EXPECT_EQ(o.x, 2);
        EXPECT_TRUE(o.locked);
        EXPECT_EQ(o.transparency, 5);
        EXPECT_EQ(c.kind, KindImage);
        EXPECT_EQ(c.PixelAt(2, 0), 0xFF0A141Eu);
        if (!std::strcmp(v, "2000")) {
            EXPECT_FALSE(c.HasShadow());
        } else {
            EXPECT_TRUE(c.HasShadow());
            EXPECT_EQ(c.shadowType, 7);
            EXPECT_EQ(c.shadowSize, 150);
            EXPECT_EQ(c.shadowSkew, !std::strcmp(v, "2001") ? 30 : 45);
            EXPECT_EQ(c.shadowPerspective, !std::strcmp(v, "2001") ? 80 : 60);
        }
        const auto saved = Save(doc);
        EXPECT_EQ(0, std::memcmp(saved.data() + 4, "2003", 4));
        EXPECT_EQ(saved.size(), 36u + 100 + 8 + 8 * 1 + 0); // DIB stream: size + four repeat runs
    }
    for (const char* v : {"2004", "2005", "1999"}) {
        Bytes f = OldFile("2002");
        std::memcpy(f.b.data() + 4, v, 4);
        CDocImage doc;
        EXPECT_FALSE(Load(doc, f.b)) << v;
    }
}

TEST(NativeFormat, TruncatedAndLyingFilesFail) {
    CDocImage doc;
    doc.width = doc.height = 10;
    Ref<CDrawObj> o = ImageObject(5, 3, RGB(1, 2, 3), 200);
    o->content->shadowType = 2;
    o->content->UpdateShadow();
    doc.objects.AddTail(o);
    doc.objects.AddTail(ImageObject(3, 3, RGB(4, 5, 6), 255));
    std::vector<std::vector<BYTE>> files = {Save(doc), OldFile("2000").b, OldFile("2001").b, OldFile("2002").b};
    for (const auto& file : files) {
        for (std::size_t n = 0; n < file.size(); ++n) {
            std::vector<BYTE> prefix(file.begin(), file.begin() + static_cast<long>(n));
            CDocImage d;
            EXPECT_FALSE(Load(d, prefix)) << "prefix " << n;
        }
    }
    // A header claiming 2^31 - 1 objects, or a raster of 100000 x 100000, fails at once.
    const auto start = std::chrono::steady_clock::now();
    Bytes many;
    many.header("2003", 1, 1, 0x7FFFFFFF);
    CDocImage d1;
    EXPECT_FALSE(Load(d1, many.b));
    Bytes big = OldFile("2000");
    big.b[36] = 0xA0, big.b[37] = 0x86, big.b[38] = 0x01; // width 100000
    big.b[40] = 0xA0, big.b[41] = 0x86, big.b[42] = 0x01; // height 100000
    CDocImage d2;
    EXPECT_FALSE(Load(d2, big.b));
    // A payload that lies past the end of the file.
    Bytes outside = OldFile("2000");
    outside.b[36 + 68] = 0xF0;
    CDocImage d3;
    EXPECT_FALSE(Load(d3, outside.b));
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
}

TEST(NativeFormat, FilesOnDiskAndSafeSaving) {
    const std::string dir = testing::TempDir();
    const std::string path = dir + "/native_test.qzi";
    CDocImage doc;
    doc.width = doc.height = 4;
    doc.objects.AddTail(ImageObject(4, 4, RGB(7, 8, 9), 255));
    ASSERT_EQ(doc.SaveNative(path, nullptr), 1);
    CDocImage any, exact, wrong;
    EXPECT_EQ(any.ReadNativeAnyVersion(path, nullptr), 1);
    EXPECT_EQ(any.objects.Count(), 1);
    EXPECT_EQ(exact.ReadNative(path, nullptr), 1);
    EXPECT_EQ(wrong.ReadNative2002(path, nullptr), 0);
    EXPECT_EQ(any.ReadNativeAnyVersion(dir + "/missing.qzi", nullptr), 0);
    // A save that cannot complete leaves the previous file as it was.
    CDocImage broken;
    broken.objects.AddTail(MakeRef<CDrawObj>()); // no content: cannot be written
    EXPECT_EQ(broken.SaveNative(path, nullptr), 0);
    CDocImage again;
    EXPECT_EQ(again.ReadNative(path, nullptr), 1);
    EXPECT_EQ(again.objects.Count(), 1);
    EXPECT_EQ(doc.SaveNative(dir + "/no/such/dir/x.qzi", nullptr), 0);
    // A shape that renders nothing would make the file unreadable: the save is refused.
    CDocImage blank;
    Ref<CObjContent> c = MakeRef<CObjContent>(KindRectangle);
    c->SetShape(MakeRef<CBitmapObj>());
    blank.objects.AddTail(MakeRef<CDrawObj>(c));
    EXPECT_EQ(blank.SaveNative(path, nullptr), 0);
    std::remove(path.c_str());
}

#include "model/EllipseObj.h"
#include "model/PolygonObj.h"
#include "model/RectObj.h"
#include "model/TextObj.h"

namespace {

Bytes& F64(Bytes& b, double v) { return b.raw(&v, 8); }

// The common 28 bytes of every vector record.
void VectorPart(Bytes& b, double angle, int fill, int stroke, COLORREF c1, COLORREF c2, int mode) {
    F64(b, angle).i32(fill).i32(stroke).i32(c1).i32(c2).u16(mode).u16(0);
}

template <class Shape>
Ref<CDrawObj> ShapeObject(Ref<Shape> shape, ObjectKind kind, const std::string& name, int x, int y) {
    Ref<CObjContent> c = MakeRef<CObjContent>(kind);
    c->SetRaster(shape->Render());
    c->SetShape(shape);
    c->name = name;
    Ref<CDrawObj> o = MakeRef<CDrawObj>(c);
    o->visible = 1;
    o->x = x;
    o->y = y;
    return o;
}

void Entry(Bytes& b, long offset, long size, int kind, const std::string& name, int x, int y) {
    b.i32(offset).i32(size).i32(kind).i32(5).name(name).i32(x).i32(y).u8(1).u8(0).u8(0).u8(0);
    b.i32(0).u8(4).u8(0).u8(100).u8(10).i32(10).i32(10).u16(30).u16(80).i32(0);
}

} // namespace

TEST(NativeFormat, GoldenDocumentOfEveryKind) {
    CDocImage doc;
    doc.width = 200;
    doc.height = 100;
    doc.matteColour = 0x112233;
    doc.gifBackgroundIndex = 3;
    doc.delay = 7;
    doc.gifTransparentIndex = 1;
    doc.gifControlFlags = 0x0C;

    Ref<CDrawObj> image = ImageObject(2, 1, RGB(10, 20, 30), 255);
    image->content->name = "Obj - 1";
    Ref<CRectObj> rect = MakeRef<CRectObj>();
    rect->width = 40, rect->height = 20, rect->roundCorner = 10, rect->strokeWidth = 2;
    rect->paint = {RGB(255, 0, 0), RGB(0, 0, 255), 1, 0};
    Ref<CPolygonObj> poly = MakeRef<CPolygonObj>();
    poly->points = {{0, 0}, {30, 5}, {10, 25}};
    poly->angle = 15;
    poly->paint = {RGB(0, 0, 0), RGB(0, 200, 0), 0, 0};
    Ref<CEllipseObj> ellipse = MakeRef<CEllipseObj>();
    ellipse->radiusX = 12, ellipse->radiusY = 8, ellipse->startAngle = 30, ellipse->endAngle = 300;
    ellipse->fill = 0;
    ellipse->strokeWidth = 3;
    Ref<CTextObj> text = MakeRef<CTextObj>();
    CTextRun run;
    run.face = "DejaVu Sans";
    run.size = 240;
    run.bold = 1;
    run.SetText(u"Hi");
    run.lineEnd = 0;
    text->runs.push_back(run);
    ASSERT_TRUE(text->Render());
    for (auto o : {image, ShapeObject(rect, KindRectangle, "Rectangle - 1", 5, 6),
                   ShapeObject(poly, KindPolygon, "Polygon - 1", 7, 8),
                   ShapeObject(ellipse, KindEllipse, "Ellipse - 1", 9, 10),
                   ShapeObject(text, KindText, "Text - 1", 11, 12)})
        doc.objects.AddTail(o);

    // Payloads, written out from the layout tables.
    Bytes pImage;
    pImage.i32(2).i32(1);
    SolidPlanes(pImage, 2, 10, 20, 30, 255);
    Bytes pRect;
    VectorPart(pRect, 0, 1, 2, RGB(255, 0, 0), RGB(0, 0, 255), 1);
    F64(pRect.i32(10), 40);
    F64(pRect, 20);
    Bytes pPoly;
    VectorPart(pPoly, 15, 1, 8, RGB(0, 0, 0), RGB(0, 200, 0), 0);
    pPoly.i32(3);
    for (double v : {0.0, 0.0, 30.0, 5.0, 10.0, 25.0}) F64(pPoly, v);
    Bytes pEllipse;
    VectorPart(pEllipse, 0, 0, 3, ellipse->paint.color1, ellipse->paint.color2, 0);
    pEllipse.i32(1);
    for (double v : {30.0, 270.0, 12.0, 8.0}) F64(pEllipse, v);
    Bytes pText;
    VectorPart(pText, 0, text->fill, text->strokeWidth, text->paint.color1, text->paint.color2, text->paint.mode);
    pText.i32(0).i32(0);
    for (double v : {text->scaleX, text->scaleY, text->width, text->height}) F64(pText, v);
    pText.i32(0).i32(text->outlineColor).i32(text->outlineThickness).i32(0).i32(text->outlineSmooth).i32(1);
    char face[32] = "DejaVu Sans";
    pText.raw(face, 32).i32(240).i32(1).i32(0).i32(0).i32(0).i32(0).i32(text->runs[0].capacity).i32(2);
    pText.u16('H').u16('i').i32(0).i32(1);

    Bytes want;
    want.header("2003", 200, 100, 5);
    const std::vector<const Bytes*> payloads = {&pImage, &pRect, &pPoly, &pEllipse, &pText};
    const char* names[] = {"Obj - 1", "Rectangle - 1", "Polygon - 1", "Ellipse - 1", "Text - 1"};
    const int kinds[] = {0, 2, 3, 1, 5};
    long offset = 36 + 5 * 100;
    for (int i = 0; i < 5; ++i) {
        const long size = static_cast<long>(payloads[i]->size());
        Entry(want, offset, size, kinds[i], names[i], i == 0 ? 0 : 3 + 2 * i, i == 0 ? 0 : 4 + 2 * i);
        offset += size;
    }
    for (const Bytes* p : payloads) want.raw(p->b.data(), p->size());
    const auto got = Save(doc);
    ASSERT_EQ(got.size(), want.size());
    for (std::size_t i = 0; i < got.size(); ++i) ASSERT_EQ(got[i], want.b[i]) << "byte " << i;

    // And back: every kind renders again from its record.
    CDocImage back;
    ASSERT_TRUE(Load(back, got));
    ASSERT_EQ(back.objects.Count(), 5);
    for (int i = 0; i < 5; ++i) {
        const CObjContent& c = *back.objects.At(i)->content;
        EXPECT_EQ(c.kind, kinds[i]);
        EXPECT_EQ(c.name, names[i]);
        EXPECT_TRUE(c.raster) << i;
        EXPECT_EQ(c.width, doc.objects.At(i)->content->width) << i;
    }
    EXPECT_EQ(Save(back), got);
}

#include "model/ClipRecord.h"

namespace {
bool ValidUtf8(const std::string& s) {
    for (std::size_t i = 0; i < s.size();) {
        const auto b = static_cast<unsigned char>(s[i]);
        const std::size_t n = b < 0x80 ? 1 : b >= 0xC2 && b < 0xE0 ? 2 : b >= 0xE0 && b < 0xF0 ? 3 : 0;
        if (n == 0 || i + n > s.size()) return false;
        for (std::size_t k = 1; k < n; ++k)
            if ((static_cast<unsigned char>(s[i + k]) & 0xC0) != 0x80) return false;
        i += n;
    }
    return true;
}
std::string Field(const std::vector<BYTE>& b, std::size_t at, std::size_t n) {
    return std::string(reinterpret_cast<const char*>(b.data()) + at, n);
}
// Start of the first run's face in a text record: the vector part and 64 bytes of settings.
constexpr std::size_t kFaceInRecord = 28 + 64;
} // namespace

TEST(NativeFormat, NamesAndFacesAreSingleByteText) {
    CDocImage doc;
    doc.width = doc.height = 30;
    Ref<CDrawObj> image = ImageObject(2, 2, RGB(1, 2, 3), 255);
    image->content->name = "Caf\u00e9 \u20ac\u2026\u2122\u0178\u00ff \u03a9\u4e2d";
    Ref<CTextObj> text = MakeRef<CTextObj>();
    CTextRun run;
    run.face = "Fa\u00e7ade \u00d1";
    run.SetText(u"Hi");
    run.lineEnd = 1;
    text->runs.push_back(run);
    run.face.clear();
    for (int i = 0; i < 40; ++i)
        run.face += "\u00e9";
    text->runs.push_back(run);
    Ref<CDrawObj> textObj = ShapeObject(text, KindText, std::string(), 0, 0);
    for (int i = 0; i < 60; ++i)
        textObj->content->name += "\u00e8";
    doc.objects.AddTail(image);
    doc.objects.AddTail(textObj);

    // Written one byte per character; what the code page lacks becomes '?', and long names and
    // faces are cut by characters (a face always keeps its terminator).
    const auto bytes = Save(doc);
    EXPECT_EQ(Field(bytes, 36 + 16, 48),
              std::string("Caf\xe9 \x80\x85\x99\x9f\xff ??") + std::string(35, '\0'));
    EXPECT_EQ(Field(bytes, 136 + 16, 48), std::string(48, '\xe8'));
    const std::size_t record = static_cast<std::size_t>(bytes[136] | bytes[137] << 8);
    EXPECT_EQ(Field(bytes, record + kFaceInRecord, 32), std::string("Fa\xe7"
                                                                    "ade \xd1") +
                                                            std::string(24, '\0'));
    const std::size_t second = record + kFaceInRecord + 32 + 4 * 8 + 2 * 2 + 8;
    EXPECT_EQ(Field(bytes, second, 32), std::string(31, '\xe9') + '\0');

    CDocImage back;
    ASSERT_TRUE(Load(back, bytes));
    EXPECT_EQ(back.objects.At(0)->content->name, "Caf\u00e9 \u20ac\u2026\u2122\u0178\u00ff ??");
    std::string e48;
    for (int i = 0; i < 48; ++i)
        e48 += "\u00e8";
    EXPECT_EQ(back.objects.At(1)->content->name, e48);
    auto* t = dynamic_cast<CTextObj*>(back.objects.At(1)->content->shape.Get());
    ASSERT_TRUE(t);
    ASSERT_EQ(t->runs.size(), 2u);
    EXPECT_EQ(t->runs[0].face, "Fa\u00e7ade \u00d1");
    EXPECT_EQ(t->runs[1].face.size(), 62u); // 31 characters of two bytes
    EXPECT_TRUE(ValidUtf8(t->runs[1].face));
    EXPECT_EQ(Save(back), bytes);

    // The font engine gets the face as UTF-8, cut between characters to fit its 31 bytes.
    const LOGFONTA font = t->runs[1].Font(true);
    EXPECT_EQ(std::string(font.lfFaceName), t->runs[1].face.substr(0, 30));
    EXPECT_EQ(std::string(t->runs[0].Font(true).lfFaceName), "Fa\u00e7ade \u00d1");

    // Every byte of the upper half, as another system's file holds it, reads as its character
    // and is written back unchanged.
    for (int start : {0x80, 0xB0, 0xD0}) {
        SCOPED_TRACE(start);
        std::vector<BYTE> patched = bytes;
        for (int i = 0; i < 48; ++i)
            patched[36 + 16 + static_cast<std::size_t>(i)] = static_cast<BYTE>(start + i);
        for (int i = 0; i < 31; ++i)
            patched[record + kFaceInRecord + static_cast<std::size_t>(i)] = static_cast<BYTE>(start + 31 - i);
        CDocImage other;
        ASSERT_TRUE(Load(other, patched));
        const std::string& name = other.objects.At(0)->content->name;
        EXPECT_TRUE(ValidUtf8(name));
        if (start == 0x80) {
            EXPECT_EQ(name.substr(0, 3), "\u20ac"); // 0x80 the euro sign
            EXPECT_EQ(name.substr(3, 2), "\u0081"); // undefined: kept as its control character
            EXPECT_EQ(name.substr(5, 3), "\u201a"); // 0x82
            EXPECT_EQ(name.substr(name.size() - 2), "\u00af");
        }
        if (start == 0xD0) {
            EXPECT_EQ(name.substr(name.size() - 2), "\u00ff");
        }
        EXPECT_EQ(Save(other), patched);
    }

    // Clipboard blocks carry text records the same way.
    std::vector<CClipItem> items(1);
    items[0].content = back.objects.At(1)->content;
    const std::vector<BYTE> block = WriteClipBlock(items);
    const std::size_t payload = static_cast<std::size_t>(block[12] | block[13] << 8);
    EXPECT_EQ(Field(block, payload + kFaceInRecord, 32), std::string("Fa\xe7"
                                                                     "ade \xd1") +
                                                             std::string(24, '\0'));
    const auto pasted = ReadClipBlock(block, nullptr);
    ASSERT_EQ(pasted.size(), 1u);
    auto* pt = dynamic_cast<CTextObj*>(pasted[0].content->shape.Get());
    ASSERT_TRUE(pt);
    EXPECT_EQ(pt->runs[0].face, "Fa\u00e7ade \u00d1");
    EXPECT_EQ(pt->runs[1].face, t->runs[1].face);
}
