#include "model/DocImage.h"
#include "model/Frame.h"
#include "raster/Dib.h"

#include <gtest/gtest.h>

using namespace zepho;

namespace {

Ref<CDrawObj> Solid(int w, int h, COLORREF colour, int x, int y) {
    Ref<CObjContent> c = MakeRef<CObjContent>(KindImage);
    c->SetRaster(CreateSolidDIB(w, h, colour, 255));
    Ref<CDrawObj> o = MakeRef<CDrawObj>(c);
    o->x = x, o->y = y, o->visible = 1;
    return o;
}

BYTE Red(const PackedDib& d, int x, int y) { return d.Pixel32(x, y)[2]; }

} // namespace

TEST(Frame, FloatingImageOnTopOrAboveItsObject) {
    CDrawObjList frame;
    Ref<CDrawObj> low = Solid(4, 4, RGB(10, 0, 0), 0, 0), high = Solid(4, 4, RGB(20, 0, 0), 2, 0);
    frame.AddTail(low);
    frame.AddTail(high);
    PackedDib floating = CreateSolidDIB(2, 1, RGB(99, 0, 0), 255);

    PackedDib dst = CreateSolidDIB(8, 4, 0, 255);
    DrawFrame(frame, dst, {0, 0}, 1, FloatingImage{&floating, {2, 0}, 0, nullptr});
    EXPECT_EQ(Red(dst, 2, 0), 99); // above everything
    EXPECT_EQ(Red(dst, 1, 0), 10);
    EXPECT_EQ(Red(dst, 5, 0), 20);

    dst = CreateSolidDIB(8, 4, 0, 255);
    DrawFrame(frame, dst, {0, 0}, 1, FloatingImage{&floating, {1, 0}, 0, low.Get()});
    EXPECT_EQ(Red(dst, 1, 0), 99); // above the low object
    EXPECT_EQ(Red(dst, 2, 0), 20); // under the high one

    high->visible = 0;
    dst = CreateSolidDIB(8, 4, 0, 255);
    FlattenFrame(frame, dst, {0, 0}, 1);
    EXPECT_EQ(Red(dst, 3, 0), 10);
    EXPECT_EQ(Red(dst, 5, 0), 0);
}

TEST(Frame, ZoomShadowsAndOutlines) {
    CDrawObjList frame;
    Ref<CDrawObj> o = Solid(4, 2, RGB(200, 0, 0), 1, 1);
    frame.AddTail(o);
    PackedDib dst = CreateSolidDIB(12, 8, 0, 255);
    DrawFrame(frame, dst, {0, 0}, 2);
    EXPECT_EQ(Red(dst, 2, 2), 200);
    EXPECT_EQ(Red(dst, 9, 5), 200);
    EXPECT_EQ(Red(dst, 10, 5), 0);
    PackedDib small = CreateSolidDIB(4, 4, 0, 255);
    DrawFrame(frame, small, {0, 0}, -2);
    EXPECT_EQ(Red(small, 0, 0), 200); // columns 1 / 2 = 0 up to 5 / 2 = 2
    EXPECT_EQ(Red(small, 1, 0), 200);
    EXPECT_EQ(Red(small, 2, 0), 0);

    // Selected objects get the dashed outline around their bounds (in view coordinates).
    o->content->selected = 1;
    PackedDib out = CreateSolidDIB(12, 8, RGB(50, 50, 50), 255);
    DrawSelectionOutlines(frame, out, {0, 0}, 2);
    EXPECT_EQ(out.Pixel32(2, 2)[1], 0);   // the left edge starts black
    EXPECT_EQ(out.Pixel32(3, 2)[1], 255); // the top edge white
    EXPECT_EQ(out.Pixel32(5, 4)[1], 50);

    // A hidden object's shadow is not drawn either.
    o->content->shadowSmooth = 0;
    o->content->shadowOffsetX = o->content->shadowOffsetY = 2;
    o->content->UpdateShadow();
    ASSERT_TRUE(o->content->HasShadow());
    PackedDib withShadow = CreateSolidDIB(12, 8, RGB(255, 255, 255), 255);
    FlattenFrame(frame, withShadow, {0, 0}, 1);
    EXPECT_EQ(withShadow.Pixel32(6, 3)[1], 0); // black shadow below-right
    o->visible = 0;
    PackedDib hidden = CreateSolidDIB(12, 8, RGB(255, 255, 255), 255);
    FlattenFrame(frame, hidden, {0, 0}, 1);
    EXPECT_EQ(hidden.Pixel32(6, 3)[1], 255);
}

TEST(Frame, CompositeVisibleKeepsTransparency) {
    CDrawObjList frame;
    Ref<CDrawObj> a = Solid(2, 1, RGB(100, 0, 0), 0, 0), b = Solid(2, 1, RGB(200, 0, 0), 1, 0);
    a->transparency = 127;
    b->transparency = 127;
    frame.AddTail(a);
    frame.AddTail(b);
    PackedDib out = CompositeVisible(frame, 4, 1);
    ASSERT_TRUE(out);
    EXPECT_EQ(out.Pixel32(0, 0)[3], 128);
    EXPECT_EQ(out.Pixel32(1, 0)[3], 255 - (127 * 127) / 255);
    EXPECT_EQ(out.Pixel32(2, 0)[3], 128);
    EXPECT_EQ(out.Pixel32(3, 0)[3], 0);
}

TEST(Frame, ThumbnailFitsShadowAndImage) {
    Ref<CDrawObj> o = Solid(4, 4, RGB(255, 0, 0), 0, 0);
    CObjContent& c = *o->content;
    c.shadowType = 1;
    c.shadowSmooth = 0;
    c.shadowOffsetX = c.shadowOffsetY = 2;
    c.UpdateShadow(); // the shadow lies up-left at (-2, -2)
    PackedDib thumb = CreateSolidDIB(6, 6, RGB(255, 255, 255), 255);
    DrawObjectThumbnail(*o, thumb, 32768);
    EXPECT_EQ(thumb.Pixel32(0, 0)[2], 0);   // shadow at the origin
    EXPECT_EQ(thumb.Pixel32(2, 2)[2], 255); // image moved by 2, 2
    EXPECT_EQ(thumb.Pixel32(2, 2)[1], 0);
    EXPECT_EQ(thumb.Pixel32(5, 5)[1], 0);
}
