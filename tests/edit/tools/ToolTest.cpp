// The move, free-transform, colour-picker and text tools driven through the view's mouse
// entry points, and the tracker's geometry.
#include "edit/ViewTestUtil.h"

#include "edit/tools/ToolSet.h"
#include "edit/undo/UndoStrings.h"
#include "edit/view/ViewStrings.h"
#include "model/BitmapObj.h"
#include "model/TextObj.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

namespace zepho::test {
namespace {

using ToolFixture = ViewFixture;

bool SameBytes(const PackedDib& a, const PackedDib& b) {
    return a.Size() == b.Size() && std::memcmp(a.Data(), b.Data(), a.Size()) == 0;
}

TEST(MoveTool, ClicksSelectToggleAddAndClear) {
    ToolFixture f;
    Ref<CDrawObj> a = f.Add(ImageObject(20, 20, 0, 0, 0));
    Ref<CDrawObj> b = f.Add(ImageObject(20, 20, 0, 30, 0));
    Ref<CDrawObj> c = f.Add(ImageObject(20, 20, 0, 60, 0));

    f.Click(35, 5);
    EXPECT_TRUE(!a->IsSelected() && b->IsSelected() && !c->IsSelected());
    f.Click(5, 5, kMkControl);
    EXPECT_TRUE(a->IsSelected() && b->IsSelected());
    f.Click(35, 5, kMkControl); // toggles off, the others stay
    EXPECT_TRUE(a->IsSelected() && !b->IsSelected());
    f.Click(65, 5, kMkShift);
    f.Click(65, 5, kMkShift); // Shift never deselects
    EXPECT_TRUE(a->IsSelected() && c->IsSelected());
    f.Click(5, 5); // on a selected object: the selection stays for a drag
    EXPECT_TRUE(a->IsSelected() && c->IsSelected());
    f.Click(50, 50);
    EXPECT_FALSE(a->IsSelected() || b->IsSelected() || c->IsSelected());

    EXPECT_EQ(f.UndoCount(), 0u);
    EXPECT_EQ(f.host.captures, 0);
    EXPECT_FALSE(f.doc.IsModified());
}

TEST(MoveTool, DragRecordsOneMoveAndUndoPutsItBack) {
    ToolFixture f;
    f.settings.SnapEnabled = 0;
    Ref<CDrawObj> a = f.Add(ImageObject(20, 20, 0, 0, 0));
    Ref<CDrawObj> b = f.Add(ImageObject(20, 20, 0, 30, 0));
    Ref<CDrawObj> hidden = f.Add(ImageObject(20, 20, 0, 60, 0));
    b->content->selected = 1;
    hidden->content->selected = 1;
    hidden->visible = 0;

    const unsigned shift = kMkLButton | kMkShift;
    f.view->OnLButtonDown(shift, f.At(5, 5));
    EXPECT_EQ(f.view->CursorAt(f.At(5, 5)), kCursorMoving);
    f.view->OnMouseMove(shift, f.At(5, 5)); // no motion yet
    EXPECT_EQ(f.UndoCount(), 0u);
    f.view->OnMouseMove(shift, f.At(10, 8));
    f.view->OnMouseMove(shift, f.At(12, 8));
    EXPECT_EQ(f.UndoCount(), 1u);
    EXPECT_EQ(f.host.captures, 1);
    f.view->OnLButtonUp(kMkShift, f.At(12, 8));
    EXPECT_EQ(f.host.releases, 1);
    EXPECT_EQ(f.view->CursorAt(f.At(12, 8)), kCursorArrow);

    // Every visible selected object moves; the hidden one keeps its place.
    EXPECT_EQ(a->Position(), (POINT{7, 3}));
    EXPECT_EQ(b->Position(), (POINT{37, 3}));
    EXPECT_EQ(hidden->Position(), (POINT{60, 0}));
    EXPECT_EQ(f.Label(), strings::kUndoMove);
    EXPECT_TRUE(f.doc.IsModified());

    f.doc.OnEditUndo();
    EXPECT_EQ(a->Position(), (POINT{0, 0}));
    EXPECT_EQ(b->Position(), (POINT{30, 0}));
}

TEST(MoveTool, ClickWithoutMotionRecordsNothing) {
    ToolFixture f;
    Ref<CDrawObj> a = f.Add(ImageObject(20, 20, 0, 0, 0));
    f.Drag({{5, 5}, {5, 5}, {5, 5}});
    EXPECT_EQ(f.UndoCount(), 0u);
    EXPECT_EQ(a->Position(), (POINT{0, 0}));

    // At zoom 4 a one-pixel wobble stays on the same canvas pixel.
    f.view->SetZoom(4);
    const POINT p = f.At(5, 5);
    f.view->OnLButtonDown(kMkLButton, p);
    f.view->OnMouseMove(kMkLButton, POINT{p.x + 1, p.y});
    f.view->OnLButtonUp(0, POINT{p.x + 1, p.y});
    EXPECT_EQ(f.UndoCount(), 0u);
}

TEST(MoveTool, ZoomedDragMovesByCanvasPixels) {
    ToolFixture f;
    f.settings.SnapEnabled = 0;
    Ref<CDrawObj> a = f.Add(ImageObject(20, 20, 0, 0, 0));
    f.view->SetZoom(2);
    const POINT p = f.At(5, 5);
    f.view->OnLButtonDown(kMkLButton, p);
    f.view->OnMouseMove(kMkLButton, POINT{p.x + 4, p.y + 7}); // 2 and floor(3.5 + 0.5)
    f.view->OnLButtonUp(0, POINT{p.x + 4, p.y + 7});
    EXPECT_EQ(a->Position(), (POINT{2, 4}));
}

TEST(MoveTool, LockedObjectBlocksTheDragWithTheMessage) {
    ToolFixture f;
    Ref<CDrawObj> a = f.Add(ImageObject(20, 20, 0, 0, 0));
    Ref<CDrawObj> b = f.Add(ImageObject(20, 20, 0, 30, 0));
    b->content->selected = 1;
    b->locked = 1;
    f.Drag({{5, 5}, {9, 9}, {12, 12}}, kMkShift);
    ASSERT_EQ(f.ui.shown.size(), 1u);
    EXPECT_EQ(f.ui.shown[0].text, strings::kObjectsLocked);
    EXPECT_EQ(a->Position(), (POINT{0, 0}));
    EXPECT_EQ(b->Position(), (POINT{30, 0}));
    EXPECT_EQ(f.UndoCount(), 0u);
    EXPECT_EQ(f.host.captures, 0);
}

// An image object 20 x 10 at (30, 20), selected and carrying the handles of tool 5.
struct TransformFixture : ToolFixture {
    Ref<CDrawObj> obj = Add(ImageObject(20, 10, RGB(40, 80, 120), 30, 20));
    TransformFixture() {
        obj->content->selected = 1;
        view->SelectTool(ToolTransform);
        Click(35, 25); // button up attaches the handles to the only selected object
    }
    // The client point nearest to a canvas point given as doubles (zoom 1).
    POINT KnobClient() const {
        const DPoint k = view->Tracker().Knob(view->Zoom(), view->CanvasOrigin());
        return view->LogicalToClient(
            POINT{static_cast<LONG>(std::lround(k.x)), static_cast<LONG>(std::lround(k.y))});
    }
};

TEST(TransformTool, CornerDragDoublesBothScalesAndUndoRestoresEverything) {
    TransformFixture f;
    ASSERT_EQ(f.view->ActiveObject(), f.obj.Get());
    const PackedDib before = f.obj->content->raster.Clone();
    EXPECT_EQ(f.view->CursorAt(f.At(50, 30)), kCursorTrackNWSE);

    f.Drag({{50, 30}, {60, 35}, {70, 40}}); // corner 4, to twice its distance from corner 0
    ASSERT_EQ(f.UndoCount(), 1u);
    EXPECT_EQ(f.Label(), strings::kUndoTransform);
    Ref<CBitmapObj> source = RefCast<CBitmapObj>(f.obj->content->shape);
    ASSERT_TRUE(source);
    EXPECT_DOUBLE_EQ(source->scaleX, 2.0);
    EXPECT_DOUBLE_EQ(source->scaleY, 2.0);
    EXPECT_EQ(f.obj->content->width, 40);
    EXPECT_EQ(f.obj->content->height, 20);
    EXPECT_EQ(f.obj->Position(), (POINT{30, 20})); // centred on the tracker's centre (50, 30)
    EXPECT_EQ(f.view->ActiveObject(), f.obj.Get());
    EXPECT_DOUBLE_EQ(f.view->TrackerFrame().right, 70.0);
    EXPECT_EQ(f.host.captures, f.host.releases);

    f.doc.OnEditUndo();
    EXPECT_TRUE(SameBytes(f.obj->content->raster, before));
    EXPECT_FALSE(f.obj->content->shape);
    EXPECT_EQ(f.obj->Position(), (POINT{30, 20}));
    EXPECT_EQ(f.view->ActiveObject(), f.obj.Get());
    EXPECT_DOUBLE_EQ(f.view->TrackerFrame().right, 50.0);
    EXPECT_DOUBLE_EQ(f.view->TrackerAngle(), 0.0);
}

TEST(TransformTool, RotationRecordsOnlyAChangedAngle) {
    TransformFixture f;
    // Pressed and released on the knob at its own angle: nothing.
    const POINT knob = f.KnobClient();
    f.view->OnLButtonDown(kMkLButton, knob);
    EXPECT_TRUE(f.view->Tracker().rotating);
    EXPECT_EQ(f.view->CursorAt(knob), kCursorRotate);
    f.view->OnLButtonUp(0, knob);
    EXPECT_EQ(f.UndoCount(), 0u);

    // Away to straight below the centre and back to the start angle: still nothing.
    f.Drag({{80, 25}, {40, 60}, {80, 25}});
    EXPECT_EQ(f.UndoCount(), 0u);
    EXPECT_FALSE(f.obj->content->shape);

    // Released below the centre: a quarter turn.
    f.Drag({{80, 25}, {40, 60}});
    ASSERT_EQ(f.UndoCount(), 1u);
    ASSERT_TRUE(f.obj->content->shape);
    EXPECT_DOUBLE_EQ(f.obj->content->shape->angle, 90.0);
    EXPECT_NEAR(f.view->TrackerAngle(), 1.5707963267948966, 1e-12);

    // The same angle again, from the rotated knob: the round trip through radians is no change.
    f.view->OnLButtonDown(kMkLButton, f.KnobClient());
    f.view->OnLButtonUp(0, f.KnobClient());
    EXPECT_EQ(f.UndoCount(), 1u);
}

TEST(TransformTool, KnobLiesThirtyScreenPixelsBeyondTheRightEdgeAtEveryZoom) {
    for (int zoom : {1, 4, -4}) {
        SCOPED_TRACE(zoom);
        TransformFixture f;
        f.view->SetZoom(zoom);
        const POINT o = f.view->CanvasOrigin();
        for (double angle : {0.0, 0.5235987755982988}) {
            CTracker& t = f.view->Tracker();
            t.SetAngle(angle);
            const DPoint k = t.Knob(zoom, o);
            const DPoint p3{o.x + ToScreenScale(t.Point(3).x, zoom), o.y + ToScreenScale(t.Point(3).y, zoom)};
            EXPECT_NEAR(std::hypot(k.x - p3.x, k.y - p3.y), 30.0, 1e-9);
        }
        f.view->Tracker().SetAngle(0);
        const POINT knob = f.KnobClient();
        f.view->OnLButtonDown(kMkLButton, knob);
        EXPECT_TRUE(f.view->Tracker().rotating);
        f.view->OnLButtonUp(0, knob);
    }
}

TEST(TransformTool, ClickAwayFromTheHandlesActsAsTheMoveTool) {
    TransformFixture f;
    Ref<CDrawObj> other = f.Add(ImageObject(10, 10, 0, 70, 50));
    f.Click(75, 55);
    EXPECT_TRUE(other->IsSelected() && !f.obj->IsSelected());
    EXPECT_EQ(f.view->ActiveObject(), other.Get());
    f.Click(35, 25, kMkShift);
    EXPECT_EQ(f.view->ActiveObject(), nullptr); // two selected
    f.Drag({{35, 25}, {40, 25}});
    EXPECT_EQ(other->Position(), (POINT{75, 50}));
    EXPECT_EQ(f.Label(), strings::kUndoMove);
}

TEST(Tracker, HandlesKeepARectangleAndTheOppositeCornerStill) {
    CTracker t;
    t.Build(DRect{10, 20, 50, 40}, 0.5235987755982988);
    const DPoint target{70, 15};
    for (int h = 0; h < CTracker::kHandleCount; ++h) {
        SCOPED_TRACE(h);
        CTracker u = t;
        u.DragHandle(h, target);
        const DPoint e1{u.Point(2).x - u.Point(0).x, u.Point(2).y - u.Point(0).y};
        const DPoint e2{u.Point(4).x - u.Point(2).x, u.Point(4).y - u.Point(2).y};
        EXPECT_NEAR(e1.x * e2.x + e1.y * e2.y, 0.0, 1e-9); // still right-angled
        const DPoint e3{u.Point(6).x - u.Point(4).x, u.Point(6).y - u.Point(4).y};
        EXPECT_NEAR(e1.x + e3.x, 0.0, 1e-9);
        EXPECT_NEAR(e1.y + e3.y, 0.0, 1e-9);
        if (h % 2 == 0) {
            EXPECT_DOUBLE_EQ(u.Point(h).x, target.x);
            const int opposite = (h + 4) % 8;
            EXPECT_NEAR(u.Point(opposite).x, t.Point(opposite).x, 1e-9);
            EXPECT_NEAR(u.Point(opposite).y, t.Point(opposite).y, 1e-9);
        } else {
            // The far edge stays.
            for (int c : {(h + 3) % 8, (h + 5) % 8}) {
                EXPECT_NEAR(u.Point(c).x, t.Point(c).x, 1e-9);
                EXPECT_NEAR(u.Point(c).y, t.Point(c).y, 1e-9);
            }
        }
        for (int m = 1; m < CTracker::kHandleCount; m += 2)
            EXPECT_NEAR(u.Point(m).x, (u.Point(m - 1).x + u.Point((m + 1) % 8).x) / 2, 1e-9);
    }
}

TEST(Tracker, AngleTowardsAPointCoversTheFullTurn) {
    CTracker t;
    t.Build(DRect{0, 0, 20, 20}, 0);
    EXPECT_DOUBLE_EQ(t.AngleTowards({20, 10}), 0.0);
    EXPECT_DOUBLE_EQ(t.AngleTowards({10, 30}), 1.5707963267948966);
    EXPECT_DOUBLE_EQ(t.AngleTowards({10, -5}), 4.71238898038469);
    EXPECT_NEAR(t.AngleTowards({20, 0}), 5.497787143782138, 1e-12);
    t.flipped = true;
    t.Build(DRect{0, 0, 20, 20}, 0);
    EXPECT_DOUBLE_EQ(t.AngleTowards({10, -5}), 1.5707963267948966);
    EXPECT_DOUBLE_EQ(t.Point(0).y, 20.0); // the rectangle mirrored
}

TEST(PickerTool, ComposesFromTheTopAndSetsTheColourOfTheButton) {
    ToolFixture f;
    f.Add(ImageObject(20, 20, RGB(0, 0, 255), 0, 0));
    Ref<CObjContent> red = MakeRef<CObjContent>(KindImage);
    red->SetRaster(CreateSolidDIB(10, 10, RGB(255, 0, 0), 128));
    Ref<CDrawObj> top = MakeRef<CDrawObj>(red);
    top->visible = 1;
    f.Add(top);
    f.colours = {RGB(1, 1, 1), RGB(2, 2, 2)};
    f.view->SelectTool(ToolPicker);

    f.view->OnRButtonDown(kMkRButton, f.At(5, 5));
    EXPECT_EQ(f.colours.back, RGB(128, 0, 127));
    EXPECT_EQ(f.colours.fore, RGB(1, 1, 1));
    EXPECT_EQ(f.host.coloursChanged, 1);
    EXPECT_TRUE(f.host.menus.empty());

    f.view->OnLButtonDown(kMkLButton, f.At(15, 15));
    EXPECT_EQ(f.colours.fore, RGB(0, 0, 255));

    // Nothing composed there, or outside the canvas: the colours stay.
    f.view->OnLButtonDown(kMkLButton, f.At(50, 50));
    f.view->OnLButtonDown(kMkLButton, f.At(-3, 5));
    EXPECT_EQ(f.colours.fore, RGB(0, 0, 255));
    EXPECT_EQ(f.host.coloursChanged, 2);

    f.view->OnMouseMove(0, f.At(5, 5));
    ASSERT_EQ(f.host.picked.size(), 1u);
    EXPECT_TRUE(f.host.picked[0].valid);
    EXPECT_EQ(f.host.picked[0].red, 128);
    EXPECT_EQ(f.host.picked[0].transparent, 0);
    f.view->OnMouseMove(0, f.At(50, 50));
    EXPECT_FALSE(f.host.picked.back().valid);
    EXPECT_EQ(f.host.picked.back().transparent, 255);

    // Transparency counts: the red layer fades out.
    top->transparency = 128;
    EXPECT_EQ(ComposedColourAt(f.doc.Image(), POINT{5, 5}).red, 0);
}

TEST(PickerTool, ShadowsComposeUnderTheirObject) {
    ToolFixture f;
    Ref<CDrawObj> o = f.Add(ImageObject(20, 20, RGB(255, 255, 255), 30, 30));
    o->content->shadowColour = RGB(0, 0, 200);
    o->content->UpdateShadow();
    ASSERT_TRUE(o->content->HasShadow());
    const CObjContent& c = *o->content;
    // A point covered by the shadow alone.
    bool found = false;
    for (int y = 0; y < 80 && !found; ++y)
        for (int x = 0; x < 100 && !found; ++x) {
            const std::uint32_t s = c.ShadowPixelAt(x - 30 - c.shadowPosX, y - 30 - c.shadowPosY);
            if ((s >> 24) < 100 || c.PixelAt(x - 30, y - 30)) continue;
            found = true;
            const PickedColour p = ComposedColourAt(f.doc.Image(), POINT{x, y});
            EXPECT_TRUE(p.valid);
            EXPECT_EQ(p.blue, 200);
            EXPECT_EQ(p.transparent, 255 - static_cast<int>(s >> 24));
        }
    EXPECT_TRUE(found);
    // On the object itself the opaque white stops the walk before its shadow.
    EXPECT_EQ(ComposedColourAt(f.doc.Image(), POINT{35, 35}).blue, 255);
}

TEST(TextTool, CancelLeavesNoTraceAndConfirmRecordsTheNewText) {
    ToolFixture f;
    const Ref<CDrawObj> image = f.Add(ImageObject(20, 20, 0, 0, 0));
    image->content->selected = 1;
    f.colours = {RGB(9, 8, 7), RGB(1, 2, 3)};
    f.view->SelectTool(ToolText);
    f.Click(10, 12);
    ASSERT_EQ(f.host.textEditors.size(), 1u);
    EXPECT_EQ(f.Objects().Count(), 1);
    EXPECT_EQ(f.UndoCount(), 0u);

    f.host.confirmText = true;
    f.Click(30, 40);
    ASSERT_EQ(f.host.textEditors.size(), 2u);
    ASSERT_EQ(f.Objects().Count(), 2);
    const Ref<CDrawObj>& text = f.Objects().Tail();
    EXPECT_EQ(text.Get(), f.host.textEditors[1]);
    EXPECT_EQ(text->Position(), (POINT{30, 40}));
    EXPECT_TRUE(text->visible);
    EXPECT_EQ(text->content->kind, KindText);
    Ref<CTextObj> shape = RefCast<CTextObj>(text->content->shape);
    ASSERT_TRUE(shape);
    EXPECT_EQ(shape->paint.color1, RGB(9, 8, 7)); // the paint colours
    EXPECT_EQ(shape->paint.color2, RGB(1, 2, 3));
    EXPECT_EQ(text->content->name, "Text - 1");
    EXPECT_EQ(f.Label(), strings::kUndoAddText);
    EXPECT_TRUE(text->IsSelected()) << "the new text is selected, alone";
    EXPECT_FALSE(image->IsSelected());
    f.doc.OnEditUndo();
    EXPECT_EQ(f.Objects().Count(), 1);
    EXPECT_TRUE(image->IsSelected());

    f.Click(100, 40); // outside the canvas
    EXPECT_EQ(f.host.textEditors.size(), 2u);
}

} // namespace
} // namespace zepho::test
