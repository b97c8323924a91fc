#include "model/Frame.h"
#include "model/DocImage.h"
#include "platform/Parallel.h"
#include "raster/Blend.h"
#include "raster/Dib.h"

#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <random>

using namespace zepho;

namespace {

Ref<CDrawObj> Solid(int w, int h, COLORREF colour, int x, int y) {
    Ref<CObjContent> c = MakeRef<CObjContent>(KindImage);
    c->SetRaster(CreateSolidDIB(w, h, colour, 255));
    Ref<CDrawObj> o = MakeRef<CDrawObj>(c);
    o->x = x, o->y = y, o->visible = 1;
    return o;
}

BYTE Red(const PackedDib& d, int x, int y) {
    return d.Pixel32(x, y)[2];
}

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

// The view's composition is drawn band by band on several threads: for random stacks of
// half-transparent objects with shadows, a floating image and every zoom, the bytes equal the
// layers blended one after another over the whole destination, on one thread or more.
TEST(Frame, BandedCompositionAndItsRangesEqualLayerByLayer) {
    for (unsigned seed = 1; seed <= 12; ++seed) {
        std::mt19937 rng(seed);
        CDrawObjList frame;
        for (int i = 0; i < 5; ++i) {
            PackedDib img = CreateTransparentDIB(20 + rng() % 200, 10 + rng() % 300);
            for (int y = 0; y < img.Height(); ++y)
                for (int x = 0; x < img.Width() * 4; ++x)
                    img.Row(y)[x] = static_cast<BYTE>(rng());
            Ref<CObjContent> c = MakeRef<CObjContent>(KindImage);
            c->SetRaster(std::move(img));
            if (i % 2) c->UpdateShadow();
            Ref<CDrawObj> o = MakeRef<CDrawObj>(c);
            o->x = static_cast<LONG>(rng() % 200) - 50, o->y = static_cast<LONG>(rng() % 300) - 50;
            o->visible = rng() % 5 != 0;
            o->transparency = static_cast<BYTE>(rng() % 3 ? 0 : rng() % 200);
            frame.AddTail(o);
        }
        PackedDib floating = CreateSolidDIB(30, 40, RGB(1, 2, 3), 150);
        const FloatingImage fl{&floating, {17, 23}, 9, frame.At(2).Get()};
        const int zoom = std::array<int, 4>{1, 3, -2, 1}[seed % 4];
        const POINT origin{static_cast<LONG>(rng() % 40) - 20, static_cast<LONG>(rng() % 40) - 20};

        auto layerByLayer = [&](const FloatingImage* floatingImage) {
            PackedDib want = CreateSolidDIB(250, 333, RGB(9, 8, 7), 255);
            for (const auto& ref : frame) {
                const CDrawObj& o = *ref;
                if (o.visible) {
                    if (o.content->HasShadow())
                        BlendAtZoom(want, origin, o.content->shadowRaster,
                                    {o.x + o.content->shadowPosX, o.y + o.content->shadowPosY},
                                    o.ShadowTransparency(), zoom);
                    BlendAtZoom(want, origin, o.content->raster, o.Position(), o.transparency, zoom);
                }
                if (floatingImage && floatingImage->after == &o)
                    BlendAtZoom(want, origin, floating, fl.position, fl.transparency, zoom);
            }
            return want;
        };
        const PackedDib want = layerByLayer(&fl), plain = layerByLayer(nullptr);
        // Two ranges one after the other, split anywhere, as the view composes a drag.
        for (int split = 0; split <= frame.Count(); ++split) {
            PackedDib got = CreateSolidDIB(250, 333, RGB(9, 8, 7), 255);
            DrawFrameRange(frame, got, origin, zoom, 0, split);
            DrawFrameRange(frame, got, origin, zoom, split, frame.Count());
            ASSERT_EQ(0, std::memcmp(got.Data(), plain.Data(), plain.Size()))
                << "seed " << seed << " split " << split;
        }
        for (int threads : {1, 2}) {
            SetParallelThreads(threads);
            PackedDib got = CreateSolidDIB(250, 333, RGB(9, 8, 7), 255);
            DrawFrame(frame, got, origin, zoom, fl);
            ASSERT_EQ(0, std::memcmp(got.Data(), want.Data(), want.Size()))
                << "seed " << seed << " threads " << threads;
        }
        SetParallelThreads(0);
    }
}
