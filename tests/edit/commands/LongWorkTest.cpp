// The commits that render large objects (free transform, Resize Image, the property sheet's
// previews) work out their rasters as long work: on another thread they give the same bytes and
// the same undo step as in place, and a cancelled one leaves the document as it was.
#include "edit/commands/LongWork.h"
#include "edit/CmdTestUtil.h"
#include "edit/ViewTestUtil.h"
#include "edit/commands/CmdImageTransform.h"
#include "edit/commands/CmdResize.h"
#include "edit/properties/PropSheet.h"
#include "edit/tools/ToolSet.h"
#include "model/BitmapObj.h"
#include "model/EllipseObj.h"
#include "raster/Dib.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <thread>

namespace zepho::test {
namespace {

// Runs long work on a thread of its own (as the shell does) and answers `wanted`.
struct ThreadRunner {
    bool wanted = true;
    int runs = 0;
    bool onOtherThread = true;
    ThreadRunner() {
        SetLongWorkRunner([this](const std::function<void()>& work) {
            ++runs;
            const std::thread::id caller = std::this_thread::get_id();
            std::thread t([&] {
                if (std::this_thread::get_id() == caller) onOtherThread = false;
                work();
            });
            t.join();
            return wanted;
        });
    }
    ~ThreadRunner() { SetLongWorkRunner({}); }
};

bool SameBytes(const PackedDib& a, const PackedDib& b) {
    return a.Size() == b.Size() && (a.Size() == 0 || std::memcmp(a.Data(), b.Data(), a.Size()) == 0);
}

// A picture with noise in every channel, so that any difference in resampling shows.
PackedDib Noise(int w, int h, unsigned seed) {
    PackedDib d = CreateSolidDIB(w, h, RGB(0, 0, 0), 255);
    unsigned s = seed;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            BYTE* p = d.Pixel32(x, y);
            for (int i = 0; i < 4; ++i) {
                s = s * 1103515245u + 12345u;
                p[i] = static_cast<BYTE>(s >> 16);
            }
        }
    return d;
}

Ref<CDrawObj> NoisyObject(int w, int h, int x, int y, unsigned seed) {
    Ref<CDrawObj> o = ImageObject(w, h, RGB(0, 0, 0), x, y);
    o->content->SetRaster(Noise(w, h, seed));
    o->content->shadowType = 2;
    o->content->shadowOffsetX = 6;
    o->content->shadowOffsetY = 4;
    o->content->UpdateShadow();
    return o;
}

// What the object became, as the model's own transform in place makes it.
void ExpectSameObject(const CDrawObj& got, const CDrawObj& want) {
    EXPECT_EQ(got.Position(), want.Position());
    EXPECT_EQ(got.content->kind, want.content->kind);
    EXPECT_TRUE(SameBytes(got.content->raster, want.content->raster));
    EXPECT_TRUE(SameBytes(got.content->shadowRaster, want.content->shadowRaster));
    EXPECT_EQ(got.content->shadowPosX, want.content->shadowPosX);
    EXPECT_EQ(got.content->shadowPosY, want.content->shadowPosY);
    const auto* a = dynamic_cast<const CBitmapObj*>(got.content->shape.Get());
    const auto* b = dynamic_cast<const CBitmapObj*>(want.content->shape.Get());
    ASSERT_TRUE(a && b);
    EXPECT_EQ(a->scaleX, b->scaleX);
    EXPECT_EQ(a->scaleY, b->scaleY);
    EXPECT_EQ(a->angle, b->angle);
    EXPECT_TRUE(SameBytes(a->source, b->source));
}

Ref<CDrawObj> CopyOf(const CDrawObj& o) {
    Ref<CDrawObj> c = MakeRef<CDrawObj>(o.content->Clone());
    c->x = o.x;
    c->y = o.y;
    return c;
}

constexpr double kRadToDeg = 57.29577951308232;

} // namespace

TEST(LongWork, FreeTransformRendersOnAWorkerExactlyAsInPlaceAndCancelChangesNothing) {
    ThreadRunner runner;
    ViewFixture f(400, 300);
    Ref<CDrawObj> obj = f.Add(NoisyObject(120, 80, 40, 30, 7));
    obj->visible = 1;
    obj->content->selected = 1;
    f.view->SelectTool(ToolTransform);
    f.Click(100, 70); // the handles follow the only selected object
    ASSERT_EQ(f.view->ActiveObject(), obj.Get());
    const std::string start = DumpDocument(f.doc.Image(), DumpOptions{false});

    // Two commits through the tool: the first makes the transform source, the second scales it
    // again; each against the model's TransformAbout on a copy with the tracker's values.
    Ref<CDrawObj> want = CopyOf(*obj);
    const std::vector<std::vector<POINT>> drags = {{{160, 110}, {180, 120}, {201, 131}},
                                                   {{201, 131}, {150, 95}}};
    for (const auto& path : drags) {
        const CTracker& t = f.view->Tracker();
        f.view->OnLButtonDown(kMkLButton, f.At(path[0].x, path[0].y));
        for (std::size_t i = 1; i < path.size(); ++i)
            f.view->OnMouseMove(kMkLButton, f.At(path[i].x, path[i].y));
        double w = 0, h = 0;
        obj->content->GetSize(w, h);
        const DPoint c = t.Center();
        ASSERT_TRUE(want->TransformAbout(c.x, c.y, t.Width() / w, t.Height() / h, t.Angle() * kRadToDeg));
        f.view->OnLButtonUp(0, f.At(path.back().x, path.back().y));
        ExpectSameObject(*obj, *want);
    }
    EXPECT_EQ(runner.runs, 2);
    EXPECT_TRUE(runner.onOtherThread);
    ASSERT_EQ(f.UndoCount(), 2u);
    const std::string end = DumpDocument(f.doc.Image(), DumpOptions{false});

    // A cancelled turn by the knob: no step, nothing changed, the handles on the object again.
    runner.wanted = false;
    const DPoint k = f.view->Tracker().Knob(f.view->Zoom(), f.view->CanvasOrigin());
    const POINT knob = f.view->LogicalToClient(
        POINT{static_cast<LONG>(std::lround(k.x)), static_cast<LONG>(std::lround(k.y))});
    f.view->OnLButtonDown(kMkLButton, knob);
    f.view->OnMouseMove(kMkLButton, f.At(100, 250));
    f.view->OnLButtonUp(0, f.At(100, 250));
    EXPECT_EQ(runner.runs, 3);
    EXPECT_EQ(f.UndoCount(), 2u);
    EXPECT_EQ(DumpDocument(f.doc.Image(), DumpOptions{false}), end);
    EXPECT_EQ(f.view->ActiveObject(), obj.Get());
    EXPECT_DOUBLE_EQ(f.view->TrackerAngle(), 0.0);

    // The steps undo to the start and redo to the end.
    f.doc.OnEditUndo();
    f.doc.OnEditUndo();
    EXPECT_EQ(DumpDocument(f.doc.Image(), DumpOptions{false}), start);
    f.doc.OnEditRedo();
    f.doc.OnEditRedo();
    EXPECT_EQ(DumpDocument(f.doc.Image(), DumpOptions{false}), end);
}

TEST(LongWork, ResizeImageResamplesOnAWorkerWithTheSameBytesAndOneStep) {
    // The same picture resized in place and on a worker.
    auto build = [](CmdFixture& f) {
        f.Add(NoisyObject(90, 60, 10, 12, 3));
        Ref<CDrawObj> turned = NoisyObject(50, 40, 30, 20, 11);
        ASSERT_TRUE(turned->TransformAbout(55, 40, 1.3, 0.8, 33));
        f.Add(turned);
        f.AddShape("S", 40, 50, false);
    };
    CmdFixture inPlace, worker;
    build(inPlace);
    build(worker);
    const std::string before = worker.Dump();
    ASSERT_EQ(inPlace.Dump(), before);
    ASSERT_TRUE(CmdResizeImage(inPlace.doc, nullptr, 173, 61));
    {
        ThreadRunner runner;
        ASSERT_TRUE(CmdResizeImage(worker.doc, nullptr, 173, 61));
        EXPECT_EQ(runner.runs, 1);
        EXPECT_TRUE(runner.onOtherThread);
    }
    const std::string after = worker.Dump();
    EXPECT_EQ(after, inPlace.Dump());
    EXPECT_NE(after, before);
    EXPECT_EQ(worker.doc.UndoManager().UndoCount(), 1u);
    // The shaped objects kept their own shapes (the undo step holds them) with the new geometry.
    auto it = worker.doc.Image().objects.begin();
    ++it;
    const auto* source = dynamic_cast<const CBitmapObj*>((*it)->content->shape.Get());
    ASSERT_TRUE(source);
    EXPECT_DOUBLE_EQ(source->scaleX, 1.3 * 173 / 100);
    worker.ExpectUndoRedo(before, after);

    // Cancelled: nothing moves, nothing is recorded.
    worker.doc.OnEditUndo();
    ThreadRunner runner;
    runner.wanted = false;
    EXPECT_FALSE(CmdResizeImage(worker.doc, nullptr, 20, 300));
    EXPECT_EQ(worker.Dump(), before);
    EXPECT_EQ(worker.doc.UndoManager().UndoCount(), 0u);
    EXPECT_EQ(worker.doc.Image().width, 100);
}

TEST(LongWork, PropertyPreviewsRenderOnAWorkerAndACancelledOneKeepsTheValues) {
    ThreadRunner runner;
    CmdFixture f;
    Ref<CDrawObj> o = NoisyObject(40, 20, 10, 10, 5);
    f.Add(o);
    Ref<CDrawObj> want = CopyOf(*o);
    const std::string before = f.Dump();
    {
        CPropertySheetModel sheet(f.doc, o, f.ui);
        CImageGeneralPage& g = *sheet.Image();
        ASSERT_TRUE(g.SetHorz(30)); // ratio kept: 30 x 15
        EXPECT_EQ(runner.runs, 1);
        EXPECT_TRUE(runner.onOtherThread);
        ASSERT_TRUE(want->content->TransformContent(0.75, 0.75, 0));
        EXPECT_TRUE(SameBytes(o->content->raster, want->content->raster));
        EXPECT_TRUE(SameBytes(o->content->shadowRaster, want->content->shadowRaster));
        const std::string previewed = f.Dump();

        runner.wanted = false;
        EXPECT_FALSE(g.SetAngle(40));
        EXPECT_EQ(o->content->shape->angle, 0.0);
        EXPECT_EQ(f.Dump(), previewed);
        runner.wanted = true;
        EXPECT_TRUE(sheet.Ok());
    }
    EXPECT_EQ(f.doc.UndoManager().UndoCount(), 1u);
    f.doc.OnEditUndo();
    EXPECT_EQ(f.Dump(), before);
}

} // namespace zepho::test
