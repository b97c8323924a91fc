#include "common/DumpPng.h"
#include "model/BitmapObj.h"
#include "model/EllipseObj.h"
#include "model/ObjContent.h"
#include "model/PolygonObj.h"
#include "model/RectObj.h"
#include "platform/ByteStream.h"
#include "raster/Dib.h"

#include <gtest/gtest.h>

#include <cstring>

using namespace zepho;

namespace {

constexpr COLORREF kStroke = RGB(200, 0, 0);
constexpr COLORREF kFill = RGB(0, 0, 200);

BYTE Alpha(const PackedDib& d, int x, int y) {
    return d.Pixel32(x, y)[3];
}
COLORREF Colour(const PackedDib& d, int x, int y) {
    const BYTE* p = d.Pixel32(x, y);
    return RGB(p[2], p[1], p[0]);
}

template <class T> Ref<T> Painted(Ref<T> s, int stroke) {
    s->strokeWidth = stroke;
    s->paint.color1 = kStroke;
    s->paint.color2 = kFill;
    return s;
}
Ref<CRectObj> Rect(double w, double h, int stroke, int corner = 0) {
    Ref<CRectObj> r = Painted(MakeRef<CRectObj>(), stroke);
    r->width = w, r->height = h, r->roundCorner = corner;
    return r;
}
Ref<CPolygonObj> Triangle(int stroke = 8) {
    Ref<CPolygonObj> p = Painted(MakeRef<CPolygonObj>(), stroke);
    p->points = {{20, 30}, {120, 30}, {20, 130}};
    return p;
}

std::vector<BYTE> Record(const CObjShape& s) {
    MemoryWriter w;
    const std::size_t n = s.Write(w);
    EXPECT_EQ(n, w.Size());
    return w.Take();
}

} // namespace

TEST(Shapes, RectangleRendersOnlyWhatIsPainted) {
    Ref<CRectObj> r = Rect(100, 50, 0);
    r->fill = 0;
    EXPECT_FALSE(r->Render()); // invisible: no raster

    r = Rect(100, 50, 4);
    PackedDib d = r->Render();
    ASSERT_TRUE(d);
    EXPECT_LE(d.Width(), 104);
    EXPECT_LE(d.Height(), 54);
    EXPECT_EQ(FindOpaqueBounds(d), Margins{});
    EXPECT_EQ(Colour(d, d.Width() / 2, d.Height() / 2), kFill);
    EXPECT_EQ(Colour(d, d.Width() / 2, 1), kStroke);

    // Turned, the bounding box's corners are cut away but the raster is still trimmed.
    r = Rect(100, 50, 6);
    r->angle = 30;
    d = r->Render();
    ASSERT_TRUE(d);
    test::DumpPng("shape_rect_rotated", d);
    EXPECT_EQ(FindOpaqueBounds(d), Margins{});
    EXPECT_EQ(Alpha(d, 0, 0), 0);
    EXPECT_NEAR(d.Width(), 100 * 0.866 + 50 * 0.5 + 6, 3);
}

TEST(Shapes, RoundCornersFollowTheShorterSide) {
    Ref<CRectObj> r = Rect(100, 50, 0, 50);
    EXPECT_DOUBLE_EQ(r->CornerRadius(), 25);
    PackedDib round = r->Render();
    ASSERT_TRUE(round);
    EXPECT_EQ(round.Width(), 100);
    EXPECT_EQ(Alpha(round, 3, 3), 0);
    EXPECT_EQ(Alpha(round, 12, 12), 255);
    r->roundCorner = 0;
    EXPECT_EQ(Alpha(r->Render(), 0, 0), 255);
}

TEST(Shapes, EllipsesAndArcs) {
    Ref<CEllipseObj> e = Painted(MakeRef<CEllipseObj>(), 0);
    e->radiusX = 40, e->radiusY = 20;
    CVorPath path;
    e->BuildPath(path, 80, 40);
    double x, y;
    EXPECT_EQ(path.last_vertex(&x, &y), unsigned(agg::path_cmd_end_poly) | agg::path_flags_close);
    PackedDib d = e->Render();
    ASSERT_TRUE(d);
    ASSERT_EQ(d.Width(), 80);
    ASSERT_EQ(d.Height(), 40);
    // The arc's vertices are not placed symmetrically; only edge shading may differ.
    for (int py = 0; py < 40; ++py)
        for (int px = 0; px < 80; ++px) {
            ASSERT_NEAR(Alpha(d, px, py), Alpha(d, 79 - px, py), 40) << px << "," << py;
            ASSERT_NEAR(Alpha(d, px, py), Alpha(d, px, 39 - py), 40) << px << "," << py;
        }

    // A quarter from the x axis toward y, closed by its chord: the bulge lies below the chord.
    e = Painted(MakeRef<CEllipseObj>(), 3);
    e->radiusX = 60, e->radiusY = 40, e->endAngle = 90;
    d = e->Render();
    ASSERT_TRUE(d);
    test::DumpPng("shape_arc", d);
    EXPECT_NEAR(d.Width(), 63, 8); // the chord's sharp corners reach a little further
    EXPECT_NEAR(d.Height(), 43, 8);
    EXPECT_EQ(Alpha(d, 5, 5), 0);
    EXPECT_EQ(Colour(d, d.Width() * 6 / 10, d.Height() * 6 / 10), kFill);
}

TEST(Shapes, PolygonScalesFromItsTopLeftAndKeepsItsCentre) {
    Ref<CPolygonObj> p = Triangle();
    ASSERT_TRUE(p->Transform(2.0, 1.0, 0));
    EXPECT_EQ(p->points[0].x, 20);
    EXPECT_EQ(p->points[1].x, 220);
    EXPECT_EQ(p->points[2].y, 130);

    // Turned, the raster is trimmed unevenly; the trims lead back to the geometric centre.
    PackedDib d = p->Transform(0.5, 1.0, 45);
    ASSERT_TRUE(d);
    test::DumpPng("shape_polygon", d);
    int bw, bh;
    RotatedSize(100, 100, 45, bw, bh);
    const int targetW = bw + 8, targetH = bh + 8;
    EXPECT_EQ(p->trimLeft + d.Width() + p->trimRight, targetW);
    EXPECT_EQ(p->trimTop + d.Height() + p->trimBottom, targetH);
    EXPECT_TRUE(p->trimLeft != p->trimRight || p->trimTop != p->trimBottom);
    CObjContent c(KindPolygon);
    c.SetRaster(std::move(d));
    c.SetShape(p);
    double cx, cy;
    c.GetCenterOffset(cx, cy);
    EXPECT_DOUBLE_EQ(cx, targetW / 2.0 - p->trimLeft);
    EXPECT_DOUBLE_EQ(cy, targetH / 2.0 - p->trimTop);
}

TEST(Shapes, FailedTransformRestoresAndSnapshotsPutBack) {
    Ref<CRectObj> r = Rect(100, 50, 0);
    r->angle = 10;
    EXPECT_FALSE(r->Transform(0, 1, 0));
    EXPECT_EQ(r->width, 100);
    EXPECT_EQ(r->angle, 10);
    Ref<CEllipseObj> e = Painted(MakeRef<CEllipseObj>(), 0);
    e->radiusX = 30, e->radiusY = 10;
    EXPECT_FALSE(e->Transform(0, 0, 20));
    EXPECT_EQ(e->radiusX, 30);
    EXPECT_EQ(e->angle, 0);

    // A zero scale cannot be divided back out: the points themselves must come back.
    Ref<CPolygonObj> p = Triangle(0);
    ASSERT_TRUE(p->Transform(1, 1, 45));
    const CGeometryMemento m = p->CreateTransformUndo();
    const auto points = p->points;
    const int trimLeft = p->trimLeft, trimBottom = p->trimBottom;
    EXPECT_FALSE(p->Transform(0, 0, 30));
    EXPECT_EQ(p->points, points);
    EXPECT_EQ(p->angle, 45);
    EXPECT_EQ(p->trimLeft, trimLeft);

    ASSERT_TRUE(p->Transform(1.7, 0.6, 10));
    p->RestoreGeometry(m);
    EXPECT_EQ(p->points, points);
    EXPECT_EQ(p->angle, 45);
    EXPECT_EQ(p->trimBottom, trimBottom);
}

TEST(ShapeRecords, RoundTripEveryKind) {
    CEllipseObj e;
    e.angle = 12.5, e.fill = 0, e.strokeWidth = 7;
    e.paint = {RGB(1, 2, 3), RGB(4, 5, 6), 3, 0xBEEF};
    e.radiusX = 11.25, e.radiusY = 7.5, e.startAngle = 30, e.endAngle = 120, e.arcFlag = 0;
    std::vector<BYTE> b = Record(e);
    ASSERT_EQ(b.size(), 64u);
    // The common part's layout, then the arc with its sweep rather than its end.
    const BYTE head[] = {0, 0, 0, 0, 7, 0, 0, 0, 1, 2, 3, 0, 4, 5, 6, 0, 3, 0, 0xEF, 0xBE, 0, 0, 0, 0};
    EXPECT_EQ(0, std::memcmp(b.data() + 8, head, sizeof head));
    double sweep;
    std::memcpy(&sweep, b.data() + 40, 8);
    EXPECT_EQ(sweep, 90);
    CEllipseObj e2;
    MemoryReader re(b);
    ASSERT_TRUE(e2.Read(re));
    EXPECT_EQ(e2.endAngle, 120);
    EXPECT_EQ(Record(e2), b);

    Ref<CRectObj> r = Rect(33.5, 44.25, 3, 17);
    b = Record(*r);
    ASSERT_EQ(b.size(), 48u);
    CRectObj r2;
    MemoryReader rr(b);
    ASSERT_TRUE(r2.Read(rr));
    EXPECT_EQ(Record(r2), b);

    Ref<CPolygonObj> p = Triangle();
    b = Record(*p);
    ASSERT_EQ(b.size(), 28u + 4 + 3 * 16);
    CPolygonObj p2;
    MemoryReader rp(b);
    ASSERT_TRUE(p2.Read(rp));
    EXPECT_EQ(p2.points, p->points);
}

TEST(ShapeRecords, ShortOrLyingRecordsFailAndChangeNothing) {
    const std::vector<BYTE> b = Record(*Triangle());
    for (std::size_t n = 0; n < b.size(); ++n) {
        CPolygonObj q;
        q.points = {{1, 2}};
        MemoryReader in(b.data(), n);
        ASSERT_FALSE(q.Read(in)) << n;
        ASSERT_EQ(q.points.size(), 1u);
    }
    // Counts beyond the payload (or below zero) are refused before anything is allocated.
    for (std::int32_t count : {0x7FFFFFFF, 4, -1}) {
        std::vector<BYTE> lying = b;
        std::memcpy(lying.data() + 28, &count, 4);
        CPolygonObj q;
        MemoryReader in(lying);
        EXPECT_FALSE(q.Read(in)) << count;
    }
}
