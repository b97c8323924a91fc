// Snapping: which target wins on each axis, the tolerance in screen pixels at any zoom, turned
// objects by their bounding boxes, equal spacing, and the gestures that snap or are let go.
#include "edit/DrawToolTestUtil.h"

#include "edit/commands/CmdAlign.h"
#include "edit/tools/ToolSet.h"
#include "edit/undo/UndoStrings.h"
#include "edit/view/Snap.h"
#include "model/RectObj.h"

#include <gtest/gtest.h>

#include <cmath>

namespace zepho::test {
namespace {

constexpr double kDeg = 3.141592653589793 / 180;

struct SnapScene {
    CDocImage image;
    CGuides guides;
    CSnapOptions options;

    explicit SnapScene(int w = 100, int h = 80) {
        image.width = w;
        image.height = h;
    }
    Ref<CDrawObj> Box(int x, int y, int w, int h) {
        Ref<CDrawObj> o = ImageObject(w, h, RGB(9, 9, 9), x, y);
        image.objects.AddTail(o);
        return o;
    }
    CSnapper Snapper(const std::vector<const CDrawObj*>& excluded = {}) const {
        return CSnapper(image, guides, options, excluded);
    }
};

TEST(Snap, NearestTargetWinsPerAxis) {
    struct Case {
        const char* what;
        unsigned targets;
        bool guidesShown;
        DRect box;
        DPoint move;
    };
    // Canvas 100 x 80; an object at 40..60 x 20..40; a vertical guide at x = 30, a horizontal one
    // at y = 70; grid every 16.
    const Case cases[] = {
        {"left edge to the canvas edge", kDefaultSnapTargets, true, {3, 50, 13, 60}, {-3, 0}},
        {"centre onto the object's left beats edges further off",
         kDefaultSnapTargets,
         true,
         {36, 50, 46, 60},
         {-1, 0}},
        {"without objects the right edge finds the canvas centre",
         SnapToCanvas | SnapToGuides,
         true,
         {36, 50, 46, 60},
         {4, 0}},
        {"a guide at the tolerance's limit still pulls", SnapToGuides, true, {36, 50, 46, 60}, {-6, 0}},
        {"hidden guides do not pull", SnapToGuides, false, {36, 50, 46, 60}, {0, 0}},
        {"top onto the object's bottom beats the guide further off",
         kDefaultSnapTargets,
         true,
         {0, 41, 10, 66},
         {0, -1}},
        {"grid: the nearest line for any edge or centre", SnapToGrid, true, {21, 43, 31, 59}, {1, -3}},
        {"nothing in reach", SnapToCanvas, true, {20, 20, 30, 30}, {0, 0}},
        {"no targets at all", 0, true, {3, 3, 13, 13}, {0, 0}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        SnapScene s;
        s.Box(40, 20, 20, 20);
        s.guides.vertical = {30};
        s.guides.horizontal = {70};
        s.options.targets = c.targets;
        s.options.guidesShown = c.guidesShown;
        const DPoint m = s.Snapper().SnapBox(c.box, 1);
        EXPECT_DOUBLE_EQ(m.x, c.move.x);
        EXPECT_DOUBLE_EQ(m.y, c.move.y);
    }
}

TEST(Snap, ToleranceIsSixScreenPixelsAtAnyZoom) {
    struct Case {
        int zoom;
        double x;
        double move;
    };
    // Canvas 100 wide: targets at 0, 50 and 100.
    const Case cases[] = {
        {1, 6, -6},    {1, 7, 0},   {2, 3, -3},  {2, 3.5, 0},   {8, 0.75, -0.75}, {8, 0.8, 0},
        {-2, 12, -12}, {-2, 13, 0}, {-8, 47, 3}, {-8, 20, -20}, {-8, 76, 24},     {-8, 24, -24},
    };
    SnapScene s;
    s.options.targets = SnapToCanvas;
    const CSnapper snapper = s.Snapper();
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message() << "zoom " << c.zoom << " at x " << c.x);
        EXPECT_DOUBLE_EQ(snapper.SnapPoint({c.x, 200}, c.zoom).x, c.move);
    }
    EXPECT_DOUBLE_EQ(CSnapper::Tolerance(8), 0.75);
    EXPECT_DOUBLE_EQ(CSnapper::Tolerance(-8), 48);
}

TEST(Snap, TurnedObjectsSnapByTheirBoundingBox) {
    SnapScene s(400, 400);
    s.options.targets = SnapToObjects;
    Ref<CRectObj> rect = MakeRef<CRectObj>();
    rect->width = 100;
    rect->height = 40;
    rect->fill = 1;
    Ref<CObjContent> c = MakeRef<CObjContent>(KindRectangle);
    c->SetShape(rect);
    c->SetRaster(rect->Render());
    Ref<CDrawObj> o = MakeRef<CDrawObj>(c);
    o->x = 150;
    o->y = 150;
    o->visible = 1;
    s.image.objects.AddTail(o);
    ASSERT_TRUE(o->TransformAbout(200, 170, 1, 1, 45));

    // The turned rectangle covers far more height than its frame, which stays 100 x 40 and unturned.
    const DRect box = CSnapper::BoxOf(*o);
    const DRect frame = o->GetFrame();
    ASSERT_GT(box.bottom - box.top, 70);
    ASSERT_LT(frame.bottom - frame.top, 50);
    EXPECT_EQ(box.left, o->x);
    EXPECT_EQ(box.right, o->x + o->GetSize().cx);

    // A box 4 pixels below the bounding box's bottom snaps onto it, not onto the frame's.
    const DPoint m = s.Snapper().SnapBox({0, box.bottom + 4, 20, box.bottom + 24}, 1);
    EXPECT_DOUBLE_EQ(m.y, -4);
    const DPoint nearFrame = s.Snapper().SnapBox({0, frame.bottom + 2, 20, frame.bottom + 22}, 1);
    EXPECT_NE(nearFrame.y, -2);
}

TEST(Snap, EqualSpacingPullsAndShowsTheGaps) {
    struct Case {
        const char* what;
        std::vector<RECT> others;
        DRect box;
        double move;
        std::vector<int> gaps;
    };
    const Case cases[] = {
        {"halfway between two neighbours",
         {{10, 10, 30, 30}, {70, 10, 90, 30}},
         {38, 10, 58, 30},
         2,
         {10, 10}},
        {"repeating the gap of the two on the left",
         {{10, 10, 30, 30}, {50, 10, 70, 30}},
         {88, 12, 108, 28},
         2,
         {20, 20}},
        {"repeating the gap of the two on the right",
         {{100, 10, 120, 30}, {140, 10, 160, 30}},
         {63, 5, 83, 25},
         -3,
         {20, 20}},
        {"neighbours outside the band do not count",
         {{10, 50, 30, 70}, {70, 50, 90, 70}},
         {38, 10, 58, 30},
         0,
         {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        SnapScene s(200, 100);
        s.options.targets = SnapToObjects;
        for (const RECT& r : c.others)
            s.Box(r.left, r.top, r.right - r.left, r.bottom - r.top);
        SnapFeedback fb;
        const DPoint m = s.Snapper().SnapBox(c.box, 1, &fb);
        EXPECT_DOUBLE_EQ(m.x, c.move);
        std::vector<int> lengths;
        for (const SnapGap& g : fb.gaps)
            if (g.horizontal) lengths.push_back(g.Length());
        EXPECT_EQ(lengths, c.gaps);
    }
}

TEST(Snap, SmartGuideLinesRunAcrossWhatLinesUp) {
    SnapScene s;
    s.options.targets = SnapToObjects;
    s.Box(40, 20, 20, 10);
    SnapFeedback fb;
    // Left edge 2 right of the object's left: snaps, and one vertical line joins the two.
    const DPoint m = s.Snapper().SnapBox({42, 50, 54, 60}, 1, &fb);
    EXPECT_DOUBLE_EQ(m.x, -2);
    ASSERT_EQ(fb.lines.size(), 1u);
    EXPECT_TRUE(fb.lines[0].vertical);
    EXPECT_DOUBLE_EQ(fb.lines[0].pos, 40);
    EXPECT_DOUBLE_EQ(fb.lines[0].from, 20);
    EXPECT_DOUBLE_EQ(fb.lines[0].to, 60);
    // Nothing lines up: no lines.
    s.Snapper().SnapBox({12, 50, 22, 63}, 1, &fb);
    EXPECT_TRUE(fb.Empty());
}

TEST(Snap, AngleStepsOfFifteenDegrees) {
    const std::pair<double, double> cases[] = {{7, 0}, {8, 15}, {44, 45}, {352, 345}, {358, 0}, {-10, 345}};
    for (const auto& [in, out] : cases) {
        SCOPED_TRACE(in);
        EXPECT_NEAR(SnapAngle(in * kDeg), out * kDeg, 1e-12);
    }
}

TEST(Snap, GuideHitFindsTheNearestWithinReach) {
    CGuides g;
    g.vertical = {10, 14, 40};
    EXPECT_EQ(g.Hit(true, 13, 3), 1);
    EXPECT_EQ(g.Hit(true, 11.5, 3), 0);
    EXPECT_EQ(g.Hit(true, 25, 3), -1);
    EXPECT_EQ(g.Hit(false, 10, 3), -1);
}

TEST(Snap, GuidesRoundTripAndDamagedTextKeepsWhatItCanRead) {
    CGuides g;
    g.vertical = {10, -3, 400};
    g.horizontal = {7};
    g.gridShown = true;
    EXPECT_EQ(FormatGuides(g), "v=10,-3,400;h=7;grid=1");
    EXPECT_EQ(ParseGuides(FormatGuides(g)), g);
    EXPECT_EQ(ParseGuides(FormatGuides(CGuides{})), CGuides{});

    const CGuides damaged = ParseGuides("v=1,x,,2,99999999999;h=5q,6;grid=yes;junk;=");
    EXPECT_EQ(damaged.vertical, (std::vector<int>{1, 2}));
    EXPECT_EQ(damaged.horizontal, (std::vector<int>{6}));
    EXPECT_FALSE(damaged.gridShown);
}

// --- through the tools ------------------------------------------------------------------------

TEST(SnapGestures, MovingObjectsSnapUnlessAltIsHeld) {
    DrawToolFixture f;
    Ref<CDrawObj> fixed = f.AddImage(20, 20, RGB(0, 0, 200), 60, 10);
    Ref<CDrawObj> moved = f.AddImage(20, 20, RGB(200, 0, 0), 10, 10);
    // Dragged 27 right: the right edge (57) lands 3 short of the other's left edge and snaps.
    f.Drag({{15, 15}, {30, 16}, {42, 15}});
    EXPECT_EQ(moved->Position(), (POINT{40, 10}));
    EXPECT_TRUE(f.view->SmartGuides().Empty());
    f.doc.OnEditUndo();
    EXPECT_EQ(moved->Position(), (POINT{10, 10}));

    // The same drag with Alt moves by the mouse alone.
    f.Drag({{15, 15}, {30, 16}, {42, 15}}, kMkAlt);
    EXPECT_EQ(moved->Position(), (POINT{37, 10}));
    EXPECT_EQ(f.Label(), strings::kUndoMove);

    // While the mouse is down the smart guide shows where the edges meet.
    f.view->OnLButtonDown(kMkLButton, f.At(40, 15));
    f.view->OnMouseMove(kMkLButton, f.At(42, 15));
    EXPECT_EQ(moved->Position(), (POINT{40, 10}));
    ASSERT_FALSE(f.view->SmartGuides().lines.empty());
    EXPECT_DOUBLE_EQ(f.view->SmartGuides().lines[0].pos, 60);
    // Alt during the drag lets go of the target.
    f.view->OnMouseMove(kMkLButton | kMkAlt, f.At(43, 15));
    EXPECT_EQ(moved->Position(), (POINT{40, 10}));
    f.view->OnMouseMove(kMkLButton | kMkAlt, f.At(44, 15));
    EXPECT_EQ(moved->Position(), (POINT{41, 10}));
    EXPECT_TRUE(f.view->SmartGuides().Empty());
    f.view->OnLButtonUp(0, f.At(44, 15));
}

TEST(SnapGestures, SnappingOffKeepsTheMouseAndNudgesNeverSnap) {
    DrawToolFixture f;
    f.AddImage(20, 20, RGB(0, 0, 200), 60, 10);
    Ref<CDrawObj> moved = f.AddImage(20, 20, RGB(200, 0, 0), 10, 10);
    f.settings.SnapEnabled = 0;
    f.Drag({{15, 15}, {42, 15}});
    EXPECT_EQ(moved->Position(), (POINT{37, 10}));
    f.settings.SnapEnabled = 1;
    // One pixel from the target, the arrow key still moves by exactly its offset.
    f.settings.HorizontalOffset = 2;
    ASSERT_TRUE(CmdNudge(f.doc, f.settings, NudgeKey::Right));
    EXPECT_EQ(moved->Position(), (POINT{39, 10}));
}

TEST(SnapGestures, DrawnShapesAndSelectionsSnapTheirCorners) {
    struct Case {
        int tool;
        unsigned keys;
        RECT expected;
    };
    // Canvas 100 x 80: dragged from (2, 3) to (48, 37); the end lies near the canvas centre.
    const Case cases[] = {
        {ToolRectangle, 0, {0, 0, 50, 40}},       {ToolRectangle, kMkAlt, {2, 3, 48, 37}},
        {ToolEllipse, 0, {0, 0, 50, 40}},         {ToolRectSelect, 0, {0, 0, 50, 40}},
        {ToolRectSelect, kMkAlt, {2, 3, 48, 37}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message() << "tool " << c.tool << " keys " << c.keys);
        DrawToolFixture f;
        f.settings.PaintShapeWidth = 0;
        f.settings.FillInsideShape = 1;
        f.view->SelectTool(c.tool);
        f.view->OnLButtonDown(kMkLButton | c.keys, f.At(2, 3));
        f.view->OnMouseMove(kMkLButton | c.keys, f.At(30, 30));
        f.view->OnMouseMove(kMkLButton | c.keys, f.At(48, 37));
        // The status bar tells the size being dragged out.
        const LONG w = c.expected.right - c.expected.left, h = c.expected.bottom - c.expected.top;
        EXPECT_EQ(f.host.status, " x=48 y=37   " + std::to_string(w) + " x " + std::to_string(h));
        f.view->OnLButtonUp(c.keys, f.At(48, 37));
        RECT got{};
        if (c.tool == ToolRectSelect) {
            ASSERT_TRUE(f.Sel());
            got = f.Sel()->Bounds();
        } else {
            ASSERT_EQ(f.Objects().Count(), 1);
            const Ref<CDrawObj> o = f.Objects().Tail();
            got = {o->x, o->y, o->x + o->GetSize().cx, o->y + o->GetSize().cy};
        }
        EXPECT_EQ(got, c.expected);
        EXPECT_TRUE(f.view->SmartGuides().Empty());
    }
}

TEST(SnapGestures, PolygonPointsAndTransformHandlesSnap) {
    DrawToolFixture f;
    f.settings.PaintShapeWidth = 0;
    f.view->SelectTool(ToolPolygon);
    f.Click(3, 2);
    f.Click(48, 5);
    f.Click(97, 60);
    f.view->OnLButtonDown(kMkLButton, f.At(30, 78));
    f.view->OnLButtonUp(0, f.At(30, 78));
    f.view->OnLButtonDblClk(kMkLButton, f.At(30, 78));
    f.view->OnLButtonUp(0, f.At(30, 78));
    ASSERT_EQ(f.Objects().Count(), 1);
    const Ref<CDrawObj> poly = f.Objects().Tail();
    // (3, 2) went to the corner, (97, 60) to the right edge, (30, 78) to the bottom edge.
    EXPECT_EQ(poly->Position(), (POINT{0, 0}));
    EXPECT_EQ(poly->GetSize().cx, 100);
    EXPECT_EQ(poly->GetSize().cy, 80);

    // A corner handle of the free transform dragged near the canvas edge lands on it.
    DrawToolFixture t;
    Ref<CDrawObj> img = t.AddImage(40, 30, RGB(0, 90, 0), 20, 20);
    img->content->selected = 1;
    t.view->SelectTool(ToolTransform);
    AttachToSingleSelected(*t.view);
    ASSERT_EQ(t.view->ActiveObject(), img.Get());
    // Corner 4 is the bottom-right one: dragged from (60, 50) to (97, 78).
    t.view->OnLButtonDown(kMkLButton, t.At(60, 50));
    t.view->OnMouseMove(kMkLButton, t.At(97, 78));
    EXPECT_DOUBLE_EQ(t.view->Tracker().Point(4).x, 100);
    EXPECT_DOUBLE_EQ(t.view->Tracker().Point(4).y, 80);
    t.view->OnMouseMove(kMkLButton | kMkAlt, t.At(97, 78));
    EXPECT_DOUBLE_EQ(t.view->Tracker().Point(4).x, 97);
    t.view->OnLButtonUp(0, t.At(97, 78));
    EXPECT_TRUE(t.view->SmartGuides().Empty());
}

} // namespace
} // namespace zepho::test
