// The view model: zoom steps, layout, mapping, repaint composition, selection outline and the
// mouse rules every tool shares.
#include "edit/ViewTestUtil.h"

#include <gtest/gtest.h>

#include <cstring>

namespace zepho::test {
namespace {

std::uint32_t PixelOf(const PackedDib& d, int x, int y) {
    std::uint32_t v;
    std::memcpy(&v, d.Pixel32(x, y), 4);
    return v;
}

constexpr std::uint32_t Opaque(int r, int g, int b) {
    return 0xFF000000u | static_cast<std::uint32_t>(r) << 16 | static_cast<std::uint32_t>(g) << 8 |
           static_cast<std::uint32_t>(b);
}

TEST(ViewLayout, SmallCanvasIsCentredAndLargeOneScrolls) {
    ViewFixture f;
    EXPECT_EQ(f.view->CanvasRect(), (RECT{100, 60, 200, 140}));

    f.view->SetZoom(8); // 800 x 640 in 300 x 200: both bars, the canvas at the margin
    EXPECT_EQ(f.view->CanvasRect(), (RECT{2, 2, 802, 642}));
    EXPECT_EQ(f.view->CanvasToLogical(POINT{1, 1}), (POINT{10, 10}));
}

TEST(ViewZoom, StepsSkipMinusOneAndZeroAndStopAtTheEnds) {
    ViewFixture f;
    f.view->ZoomOut();
    EXPECT_EQ(f.view->Zoom(), -2);
    f.view->ZoomIn();
    EXPECT_EQ(f.view->Zoom(), 1);

    f.view->SetZoom(8);
    EXPECT_FALSE(f.view->CanZoomIn());
    f.view->ZoomIn();
    EXPECT_EQ(f.view->Zoom(), 8);
    f.view->SetZoom(-8);
    EXPECT_FALSE(f.view->CanZoomOut());
    EXPECT_TRUE(f.view->CanZoomIn());
    f.view->ZoomOut();
    EXPECT_EQ(f.view->Zoom(), -8);

    for (int bad : {0, -1, 9, -9}) {
        f.view->SetZoom(bad);
        EXPECT_EQ(f.view->Zoom(), -8);
    }

    EXPECT_EQ(COrvaneView::ZoomOfCommand(32922), 1);
    EXPECT_EQ(COrvaneView::ZoomOfCommand(32908), 2);
    EXPECT_EQ(COrvaneView::ZoomOfCommand(32914), 8);
    EXPECT_EQ(COrvaneView::ZoomOfCommand(32915), -2);
    EXPECT_EQ(COrvaneView::ZoomOfCommand(32921), -8);
    EXPECT_EQ(COrvaneView::ZoomOfCommand(32907), 0);
    f.view->OnZoomCommand(32910);
    EXPECT_EQ(f.view->Zoom(), 4);
    EXPECT_TRUE(f.view->IsZoomCommandChecked(32910));
    EXPECT_FALSE(f.view->IsZoomCommandChecked(32909));
}

TEST(ViewMapping, ZoomedPointsRoundOneWayAndScaleTheOther) {
    ViewFixture f;
    f.view->SetZoom(2);
    const POINT origin = f.view->CanvasToLogical(POINT{0, 0});
    EXPECT_EQ(f.view->LogicalToCanvas(POINT{origin.x + 1, origin.y}).x, 1); // floor(0.5 + 0.5)
    EXPECT_EQ(f.view->LogicalToCanvas(POINT{origin.x - 1, origin.y}).x, 0);
    f.view->SetZoom(-2);
    const POINT o2 = f.view->CanvasToLogical(POINT{0, 0});
    EXPECT_EQ(f.view->LogicalToCanvas(POINT{o2.x + 1, o2.y}).x, 2);

    // Scrolled: client points are shifted by the scroll position before mapping.
    f.view->SetZoom(1);
    f.host.scroll = {5, 7};
    EXPECT_EQ(f.view->ClientToCanvas(POINT{95, 53}), (POINT{0, 0}));
    EXPECT_EQ(f.view->LogicalToClient(RECT{10, 10, 20, 20}), (RECT{5, 3, 15, 13}));
    EXPECT_EQ(f.view->LogicalToCanvas(RECT{100, 60, 150, 101}), (RECT{0, 0, 50, 41}));
}

TEST(ViewMapping, OddCanvasLaysOutTruncatedAndMapsRounded) {
    ViewFixture f(101, 80);
    f.view->SetZoom(-2);
    // Layout: 50 wide, left = (300 - 54) / 2 + 2. Mapping: 51 wide, offset 2 + (300 - 55) / 2.
    EXPECT_EQ(f.view->CanvasRect().left, 125);
    EXPECT_EQ(f.view->CanvasRect().right, 175);
    EXPECT_EQ(f.view->LogicalToCanvas(POINT{124, 100}).x, 0);
    EXPECT_EQ(f.view->CanvasToLogical(POINT{0, 0}).x, 125);
}

TEST(ViewMouse, StatusTextShowsTheCanvasPosition) {
    ViewFixture f;
    f.view->OnMouseMove(0, f.At(0, 0));
    EXPECT_EQ(f.host.status, " x=0 y=0");
    f.view->OnMouseMove(0, POINT{0, 0});
    EXPECT_EQ(f.host.status, " x=-100 y=-60");
}

TEST(ViewInvalidate, ObjectAreaFollowsZoomAndScroll) {
    ViewFixture f;
    Ref<CDrawObj> o = ImageObject(10, 6, 0, 4, 2);
    f.view->SetZoom(2); // canvas at (50, 20)
    f.host.rects.clear();
    f.view->InvalidateObject(*o);
    ASSERT_EQ(f.host.rects.size(), 1u);
    EXPECT_EQ(f.host.rects[0], (RECT{57, 23, 79, 37}));

    f.view->SetZoom(-2); // canvas at (125, 80)
    f.host.scroll = {3, 0};
    f.host.rects.clear();
    f.view->InvalidateObject(*o);
    ASSERT_EQ(f.host.rects.size(), 1u);
    EXPECT_EQ(f.host.rects[0], (RECT{123, 80, 130, 85}));
}

// A document with something of everything the view draws.
void Furnish(ViewFixture& f) {
    Ref<CDrawObj> a = f.Add(ImageObject(40, 30, RGB(200, 30, 30), 5, 7));
    Ref<CDrawObj> b = f.Add(ImageObject(33, 21, RGB(20, 90, 200), 37, 19));
    b->transparency = 100;
    b->content->selected = 1;
    b->content->UpdateShadow();
    Ref<CDrawObj> c = f.Add(ImageObject(9, 9, RGB(0, 160, 0), 90, 70)); // past the corner
    c->content->selected = 1;
    f.view->SetSelection(Region::Ellipse(RECT{20, 10, 61, 45}));
    f.view->AttachHandles(a);
    f.view->SetFloating(CreateSolidDIB(6, 5, RGB(250, 250, 0), 200), POINT{50, 50});
}

TEST(ViewRender, TilesEqualTheWholeAtEveryZoom) {
    for (int zoom : {1, 3, -3}) {
        SCOPED_TRACE(zoom);
        ViewFixture f;
        f.host.client = {170, 130}; // small enough to scroll at zoom 3
        Furnish(f);
        f.view->SetZoom(zoom);
        f.host.scroll = zoom == 3 ? POINT{41, 17} : POINT{};
        const RECT whole{0, 0, 170, 130};
        const PackedDib full = f.view->Render(whole);
        ASSERT_TRUE(full.Is32());
        for (int ty = 0; ty < 130; ty += 23)
            for (int tx = 0; tx < 170; tx += 37) {
                const RECT tile{tx, ty, std::min(tx + 37, 170), std::min(ty + 23, 130)};
                const PackedDib part = f.view->Render(tile);
                ASSERT_TRUE(part.Is32());
                for (int y = 0; y < tile.Height(); ++y)
                    ASSERT_EQ(0, std::memcmp(part.Pixel32(0, y), full.Pixel32(tile.left, tile.top + y),
                                             4 * static_cast<std::size_t>(tile.Width())))
                        << "tile " << tx << "," << ty << " row " << y;
            }
    }
}

TEST(ViewRender, SurroundEdgeCheckerboardAndObjects) {
    ViewFixture f;
    f.Add(ImageObject(4, 4, RGB(10, 20, 30), 16, 0));
    const PackedDib d = f.view->Render(RECT{0, 0, 300, 200});
    ASSERT_TRUE(d.Is32());
    EXPECT_EQ(PixelOf(d, 0, 0), Opaque(240, 240, 240));
    // Canvas at (100, 60): the edge's top-left in the darker face, bottom-right in the lighter.
    EXPECT_EQ(PixelOf(d, 98, 70), Opaque(158, 155, 158));
    EXPECT_EQ(PixelOf(d, 99, 70), Opaque(158, 155, 158));
    EXPECT_EQ(PixelOf(d, 201, 70), Opaque(255, 255, 255));
    EXPECT_EQ(PixelOf(d, 150, 141), Opaque(255, 255, 255));
    EXPECT_EQ(PixelOf(d, 97, 70), Opaque(240, 240, 240));
    // Squares of 8 from the canvas origin, white first.
    EXPECT_EQ(PixelOf(d, 100, 60), Opaque(255, 255, 255));
    EXPECT_EQ(PixelOf(d, 108, 60), Opaque(212, 212, 212));
    EXPECT_EQ(PixelOf(d, 108, 68), Opaque(255, 255, 255));
    EXPECT_EQ(PixelOf(d, 116, 60), Opaque(10, 20, 30));

    // Scrolling keeps the squares on the canvas.
    f.host.scroll = {3, 0};
    const PackedDib s = f.view->Render(RECT{0, 0, 300, 200});
    EXPECT_EQ(PixelOf(s, 105, 60), Opaque(212, 212, 212));
    EXPECT_EQ(PixelOf(s, 104, 60), Opaque(255, 255, 255));
}

TEST(ViewRender, TranslucentObjectsLeaveTheScreenOpaque) {
    ViewFixture f;
    Ref<CDrawObj> o = f.Add(ImageObject(4, 4, RGB(0, 0, 0), 0, 0));
    o->transparency = 128;
    const PackedDib d = f.view->Render(RECT{100, 60, 104, 64});
    EXPECT_EQ(d.Pixel32(1, 1)[3], 255);
    EXPECT_LT(d.Pixel32(1, 1)[0], 200);
}

// Every window pixel of a render as a square of scale x scale device pixels.
bool EqualsEnlarged(const PackedDib& device, const PackedDib& window, int scale) {
    if (device.Width() != window.Width() * scale || device.Height() != window.Height() * scale) return false;
    for (int y = 0; y < device.Height(); ++y)
        for (int x = 0; x < device.Width(); ++x)
            if (PixelOf(device, x, y) != PixelOf(window, x / scale, y / scale)) {
                ADD_FAILURE() << "device pixel " << x << "," << y << ": " << std::hex << PixelOf(device, x, y)
                              << " window " << PixelOf(window, x / scale, y / scale);
                return false;
            }
    return true;
}

TEST(ViewRender, DoubleDensityDrawsAtDevicePixelsWithOutlinesOneDevicePixelWide) {
    ViewFixture f;
    // A one-pixel checker of red and blue, 6 x 6, at canvas (10, 10) over a dark square.
    Ref<CDrawObj> dark = f.Add(ImageObject(30, 30, RGB(10, 20, 30), 0, 0));
    Ref<CDrawObj> checker = f.Add(ImageObject(6, 6, RGB(255, 0, 0), 10, 10));
    for (int y = 0; y < 6; ++y)
        for (int x = 0; x < 6; ++x)
            if ((x + y) & 1) {
                BYTE* p = checker->content->raster.Pixel32(x, y);
                p[0] = 255, p[2] = 0;
            }
    const RECT client{0, 0, 300, 200};

    // At actual size each canvas pixel is 2 x 2 device pixels, and neighbours stay apart: the
    // picture is the window-resolution one enlarged, no smoothing, edge and squares included.
    const PackedDib d1 = f.view->Render(client);
    const PackedDib d2 = f.view->Render(client, 2);
    ASSERT_TRUE(d2.Is32());
    EXPECT_TRUE(EqualsEnlarged(d2, d1, 2));
    const POINT c = f.At(10, 10); // window point of the checker's corner
    for (int y = 0; y < 6; ++y)
        for (int x = 0; x < 6; ++x) {
            const std::uint32_t want = (x + y) & 1 ? Opaque(0, 0, 255) : Opaque(255, 0, 0);
            for (int j = 0; j < 2; ++j)
                for (int i = 0; i < 2; ++i)
                    ASSERT_EQ(PixelOf(d2, 2 * (c.x + x) + i, 2 * (c.y + y) + j), want) << x << "," << y;
        }
    // A part of the window renders the same device pixels as the whole.
    const PackedDib part = f.view->Render(RECT{c.x - 3, c.y - 2, c.x + 5, c.y + 7}, 2);
    for (int y = 0; y < part.Height(); ++y)
        for (int x = 0; x < part.Width(); ++x)
            ASSERT_EQ(PixelOf(part, x, y), PixelOf(d2, 2 * (c.x - 3) + x, 2 * (c.y - 2) + y));

    // Reduced by 2 the device pixels still show every canvas pixel; a reduction by 3 is the
    // window-resolution picture enlarged.
    f.view->SetZoom(-2);
    const PackedDib r2 = f.view->Render(client, 2);
    const POINT rc = f.At(10, 10);
    EXPECT_EQ(PixelOf(r2, 2 * rc.x, 2 * rc.y), Opaque(255, 0, 0));
    EXPECT_EQ(PixelOf(r2, 2 * rc.x + 1, 2 * rc.y), Opaque(0, 0, 255));
    f.view->SetZoom(-3);
    EXPECT_TRUE(EqualsEnlarged(f.view->Render(client, 2), f.view->Render(client), 2));
    f.view->SetZoom(1);

    // The selection's marching outline is one device pixel wide, on the device pixels of its
    // border, black or white.
    f.view->SetSelection(Region::Rect(2, 2, 8, 8));
    const PackedDib s2 = f.view->Render(client, 2);
    const POINT o = f.At(2, 2);
    for (int x = 2 * o.x; x < 2 * o.x + 12; ++x) {
        const std::uint32_t v = PixelOf(s2, x, 2 * o.y);
        EXPECT_TRUE(v == Opaque(0, 0, 0) || v == Opaque(255, 255, 255)) << x;
        const std::uint32_t below = PixelOf(s2, x, 2 * o.y + 1);
        if (x == 2 * o.x || x == 2 * o.x + 11)
            EXPECT_TRUE(below == Opaque(0, 0, 0) || below == Opaque(255, 255, 255)) << x;
        else
            EXPECT_EQ(below, Opaque(10, 20, 30)) << x;
    }
    f.view->SetSelection(std::nullopt);

    // The transform handles keep their size in window pixels with a border one device pixel wide.
    f.view->SelectTool(ToolTransform);
    f.view->AttachHandles(dark);
    const POINT h = f.At(0, 15); // the middle of the left side
    const PackedDib h2 = f.view->Render(client, 2);
    const PackedDib h1 = f.view->Render(client);
    auto run = [](const PackedDib& d, int x, int y, int step) {
        // The handle's white inside, left of its centre, up to its black border.
        int n = 0;
        while (PixelOf(d, x - step * n, y) == Opaque(255, 255, 255))
            ++n;
        return std::pair{n, PixelOf(d, x - step * n, y)};
    };
    const auto [w1, edge1] = run(h1, h.x, h.y, 1);
    const auto [w2, edge2] = run(h2, 2 * h.x, 2 * h.y, 1);
    EXPECT_EQ(edge1, Opaque(0, 0, 0));
    EXPECT_EQ(edge2, Opaque(0, 0, 0));
    EXPECT_EQ(w1, 3);
    EXPECT_EQ(w2, 6);
    EXPECT_NE(PixelOf(h2, 2 * h.x - 7, 2 * h.y), Opaque(0, 0, 0)) << "a border of one device pixel";
}

TEST(ViewSelection, OutlineFollowsZoomAndTheTimerMarchesIt) {
    ViewFixture f;
    f.view->OnTimer(COrvaneView::kOutlineTimerId);
    EXPECT_EQ(f.view->OutlinePhase(), 0); // nothing to march

    f.view->SetSelection(Region::Rect(10, 10, 20, 20));
    ASSERT_TRUE(f.view->SelectionOutline());
    const Region& o1 = *f.view->SelectionOutline();
    EXPECT_TRUE(o1.Contains(10, 10) && o1.Contains(19, 19) && o1.Contains(15, 10));
    EXPECT_FALSE(o1.Contains(15, 15) || o1.Contains(20, 15));

    f.view->SetZoom(2);
    const Region& o2 = *f.view->SelectionOutline();
    EXPECT_TRUE(o2.Contains(20, 20) && o2.Contains(39, 39));
    EXPECT_FALSE(o2.Contains(19, 20) || o2.Contains(30, 30));

    f.host.rects.clear();
    for (int i = 0; i < 9; ++i)
        f.view->OnTimer(COrvaneView::kOutlineTimerId);
    EXPECT_EQ(f.view->OutlinePhase(), 1);
    EXPECT_EQ(f.host.rects.size(), 9u);
    f.view->OnTimer(7); // another timer
    EXPECT_EQ(f.view->OutlinePhase(), 1);

    // While the selection is dragged the dashes hold still.
    f.view->SetSelectionDragOffset(POINT{3, 0});
    f.view->OnTimer(COrvaneView::kOutlineTimerId);
    EXPECT_EQ(f.view->OutlinePhase(), 1);
    f.view->EndSelectionDrag();

    f.view->SetSelection(std::nullopt);
    EXPECT_FALSE(f.view->SelectionOutline());
}

TEST(ViewMouse, RightButtonMenusFollowSelectionThenCanvasBounds) {
    ViewFixture f;
    f.view->SetSelection(Region::Rect(10, 10, 20, 20));
    f.view->OnRButtonDown(kMkRButton, f.At(15, 15));
    f.view->OnRButtonDown(kMkRButton, f.At(100, 80)); // both bounds included
    f.view->OnRButtonDown(kMkRButton, f.At(101, 40));
    f.view->OnRButtonDown(kMkRButton, f.At(40, -1));
    ASSERT_EQ(f.host.menus.size(), 2u);
    EXPECT_EQ(f.host.menus[0].first, ContextMenu::Selection);
    EXPECT_EQ(f.host.menus[1].first, ContextMenu::Objects);
    EXPECT_EQ(f.host.menus[0].second, f.At(15, 15));

    // The picker takes the right button for itself, the flood fill too.
    for (int tool : {ToolPicker, ToolFlood}) {
        f.view->SelectTool(tool);
        f.view->OnRButtonDown(kMkRButton, f.At(15, 15));
    }
    EXPECT_EQ(f.host.menus.size(), 2u);
}

TEST(ViewMouse, DoubleClickMakesTheTopmostVisibleTheOnlySelectedAndOpensIt) {
    ViewFixture f;
    Ref<CDrawObj> low = f.Add(ImageObject(30, 30, 0, 0, 0));
    Ref<CDrawObj> top = f.Add(ImageObject(30, 30, 0, 10, 10));
    Ref<CDrawObj> hidden = f.Add(ImageObject(30, 30, 0, 10, 10));
    hidden->visible = 0;
    low->content->selected = 1;
    hidden->content->selected = 1;

    f.view->OnLButtonDblClk(kMkLButton, f.At(15, 15));
    EXPECT_TRUE(top->IsSelected());
    EXPECT_FALSE(low->IsSelected() || hidden->IsSelected());
    ASSERT_EQ(f.host.propertySheets.size(), 1u);
    EXPECT_EQ(f.host.propertySheets[0], top.Get());

    f.view->OnLButtonDblClk(kMkLButton, f.At(90, 70)); // nothing there
    EXPECT_EQ(f.host.propertySheets.size(), 1u);
    EXPECT_TRUE(top->IsSelected());
}

TEST(ViewTools, SwitchingCursorsAndTheTransformHandles) {
    EXPECT_EQ(ToolInfoOf(99).number, ToolMove);

    ViewFixture f;
    EXPECT_EQ(f.view->ToolNumber(), ToolMove);
    Ref<CDrawObj> o = f.Add(ImageObject(10, 10, 0));
    f.view->SelectTool(ToolTransform);
    f.view->AttachHandles(o);
    f.view->SelectTool(ToolTransform);
    EXPECT_EQ(f.view->ActiveObject(), o.Get());
    f.view->SelectTool(ToolPicker);
    EXPECT_EQ(f.view->ActiveObject(), nullptr);
    EXPECT_EQ(f.host.toolsShown.back(), ToolPicker);
    EXPECT_EQ(f.view->CursorAt(f.At(5, 5)), kCursorPicker);
    EXPECT_EQ(f.view->CursorAt(f.At(-5, 5)), kCursorArrow);

    // A tool still to come shows its own cursor, and the selection cursor over the selection.
    f.view->SelectTool(ToolRectSelect);
    f.view->SetSelection(Region::Rect(0, 0, 10, 10));
    EXPECT_EQ(f.view->CursorAt(f.At(5, 5)), kCursorOverSelection);
    EXPECT_EQ(f.view->CursorAt(f.At(50, 50)), 179);

    // A document that asks for the default mode gets the move tool.
    f.doc.NotifyDefaultMode();
    EXPECT_EQ(f.view->ToolNumber(), ToolMove);
}

TEST(ViewZoom, AboutAPointKeepsItUnderTheMouseAndFitPicksTheLargestLevelThatFits) {
    ViewFixture f(1000, 800); // in a 300 x 200 window
    COrvaneView& v = *f.view;
    const auto canvasUnder = [&v](POINT client) { return v.LogicalToCanvasExact(v.ClientToLogical(client)); };
    const POINT mouse{120, 90};
    const DPoint start = canvasUnder(mouse);
    for (int step = 0; step < 6; ++step) {
        if (step < 3)
            v.ZoomInAbout(mouse);
        else
            v.ZoomOutAbout(mouse);
        const DPoint now = canvasUnder(mouse);
        // Within one screen pixel of where it was.
        const double pixel = v.Zoom() >= 1 ? 1.0 / v.Zoom() : -v.Zoom();
        EXPECT_NEAR(now.x, start.x, pixel) << "zoom " << v.Zoom();
        EXPECT_NEAR(now.y, start.y, pixel) << "zoom " << v.Zoom();
    }
    EXPECT_EQ(v.Zoom(), 1);
    v.ZoomOutAbout(mouse);
    EXPECT_EQ(v.Zoom(), -2) << "the steps skip -1 and 0 as the toolbar's do";

    EXPECT_TRUE(v.LargerThanWindow());
    EXPECT_EQ(v.FitZoom(), -5) << "1/4 leaves 204 rows for 200";
    v.SetZoom(v.FitZoom());
    EXPECT_EQ(v.ZoomText(), "20%");
    EXPECT_FALSE(f.host.total.cx > f.host.client.cx || f.host.total.cy > f.host.client.cy)
        << "no scroll bars";

    ViewFixture small(20, 10);
    EXPECT_FALSE(small.view->LargerThanWindow());
    EXPECT_EQ(small.view->FitZoom(), 8);
    for (const auto& [zoom, text] :
         {std::pair<int, const char*>{1, "100%"}, {8, "800%"}, {-3, "33.3%"}, {-8, "12.5%"}}) {
        small.view->SetZoom(zoom);
        EXPECT_EQ(small.view->ZoomText(), text);
    }
}

} // namespace
} // namespace zepho::test
