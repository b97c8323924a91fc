// The effect dialogs' sessions: live preview, OK as one undo step, Cancel giving everything back.
#include "edit/CmdTestUtil.h"
#include "edit/commands/CmdEffects.h"
#include "edit/undo/UndoStrings.h"
#include "extlib/ImageTransform.h"
#include "model/ModelStrings.h"
#include "platform/Parallel.h"
#include "raster/Filters.h"

#include <condition_variable>
#include <cstring>
#include <mutex>
#include <random>

using namespace zepho;
using namespace zepho::test;

namespace {

// Vertical stripes, so that every effect has something to change.
Ref<CDrawObj> Striped(CmdFixture& f, const char* name, bool selected) {
    Ref<CDrawObj> o = f.AddImage(name, 8, 6, 3, 4, selected, RGB(200, 40, 10));
    PackedDib& d = o->content->raster;
    for (int y = 0; y < d.Height(); ++y)
        for (int x = 0; x < d.Width(); x += 2)
            std::memset(d.Pixel32(x, y), 30 + 10 * y, 3);
    return o;
}

// A photo-like image, large enough for quick previews.
Ref<CDrawObj> Photo(CmdFixture& f, int w, int h) {
    Ref<CDrawObj> o = f.AddImage("Photo", w, h, 0, 0, true);
    PackedDib& d = o->content->raster;
    std::mt19937 rng(7);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            BYTE* p = d.Pixel32(x, y);
            p[0] = static_cast<BYTE>(x / 5 + (rng() & 31));
            p[1] = static_cast<BYTE>(y / 3 ^ (rng() & 15));
            p[2] = static_cast<BYTE>((x + y) / 9);
        }
    return o;
}

bool Shows(const CDrawObj& o, const PackedDib& expected) {
    const PackedDib& d = o.content->raster;
    return d.Size() == expected.Size() && std::memcmp(d.Data(), expected.Data(), d.Size()) == 0;
}

} // namespace

TEST(Effects, PreviewsFromTheUnchangedImageAndCancelGivesItBack) {
    CmdFixture f;
    Ref<CDrawObj> a = Striped(f, "A", true);
    Ref<CDrawObj> b = Striped(f, "B", false);
    for (int y = 0; y < 6; ++y)
        a->content->raster.Pixel32(0, y)[3] = 0; // the shadow's outline changes with a blur
    a->content->UpdateShadow();
    ASSERT_TRUE(a->content->HasShadow());
    const PackedDib start = a->content->raster.Clone();
    const std::uint64_t shadow = DibChecksum(a->content->shadowRaster);
    const std::uint64_t unselected = DibChecksum(b->content->raster);
    const std::string before = f.Dump();

    auto m = BeginEffect(f.doc, EffectKind::Blur, f.ui);
    ASSERT_TRUE(m);
    EXPECT_EQ(m->ObjectCount(), 1u);
    EXPECT_EQ(f.Dump(), before) << "the blur shows nothing at its start value";
    const int paints = f.host.invalidatedAll;
    m->SetValue(0, 5);
    m->Settle();
    EXPECT_GT(f.host.invalidatedAll, paints);
    EXPECT_TRUE(Shows(*a, BoxBlur(start, 5)));
    EXPECT_NE(DibChecksum(a->content->shadowRaster), shadow) << "the shadow follows the preview";
    m->SetValue(0, 3);
    m->Settle();
    EXPECT_TRUE(Shows(*a, BoxBlur(start, 3))) << "never blurred on top of the last preview";
    m->SetValue(0, 1);
    m->Settle();
    EXPECT_TRUE(Shows(*a, start));
    m->SetValue(0, 500);
    EXPECT_EQ(m->Value(0), 50);
    EXPECT_EQ(DibChecksum(b->content->raster), unselected) << "unselected objects stay";

    m->Cancel();
    EXPECT_EQ(f.Dump(), before);
    EXPECT_EQ(DibChecksum(a->content->shadowRaster), shadow);
    EXPECT_EQ(f.doc.UndoManager().UndoCount(), 0u);
    EXPECT_FALSE(f.doc.IsModified());
}

TEST(Effects, OkRecordsOneStepThatUndoesAndRedoes) {
    CmdFixture f;
    Striped(f, "A", true);
    Striped(f, "B", true);
    const std::string before = f.Dump();
    auto m = BeginEffect(f.doc, EffectKind::Sharpness, f.ui);
    ASSERT_TRUE(m);
    m->SetValue(0, 120);
    m->SetValue(0, 255);
    m->Settle();
    const std::string after = f.Dump();
    ASSERT_NE(after, before);
    EXPECT_TRUE(m->Ok());
    EXPECT_EQ(f.doc.UndoManager().UndoCount(), 1u);
    EXPECT_EQ(f.Label(), strings::kUndoSharpness);
    EXPECT_TRUE(f.doc.IsModified());
    m.reset(); // closing after OK gives nothing back
    EXPECT_EQ(f.Dump(), after);
    f.ExpectUndoRedo(before, after);
}

TEST(Effects, NothingShownNothingRecorded) {
    CmdFixture f;
    Striped(f, "A", true);
    const std::string before = f.Dump();
    {
        auto m = BeginEffect(f.doc, EffectKind::BrightnessContrast, f.ui);
        ASSERT_TRUE(m);
        EXPECT_FALSE(m->Ok());
    }
    {
        // A dialog torn down without OK or Cancel cancels.
        auto m = BeginEffect(f.doc, EffectKind::Rgb, f.ui);
        m->SetValue(1, -90);
        m->Settle();
        EXPECT_NE(f.Dump(), before);
    }
    EXPECT_EQ(f.Dump(), before);
    EXPECT_EQ(f.doc.UndoManager().UndoCount(), 0u);
}

TEST(Effects, EachDialogItsVerbLabelAndOpeningPreview) {
    const struct {
        EffectKind kind;
        int param, value;
        const char* verb;
        const char* label;
        bool previewOnOpen;
    } cases[] = {
        {EffectKind::Blur, 0, 3, "blur it", "Undo Blur", false},
        {EffectKind::GaussianBlur, 0, 3, "blur it", "Undo Gaussian Blur", false},
        {EffectKind::Sharpness, 0, 100, "make sharpness", "Undo Sharpness", false},
        {EffectKind::Emboss, 0, 100, "emboss", "Undo Emboss", true},
        {EffectKind::Sunspot, 2, 90, "make sunspot", "Undo Sunspot", true},
        {EffectKind::BrightnessContrast, 1, 50, "adjust its brightness/contrast",
         "Undo Adjust Brightness/Contrast", false},
        {EffectKind::Hsl, 0, 60, "adjust its hue/saturation/lightness",
         "Undo Adjust Hue/Saturation/Lightness", false},
        {EffectKind::Rgb, 2, -40, "adjust its red/green/blue values", "Undo Adjust red/green/blue", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        CmdFixture f;
        Striped(f, "A", true);
        f.AddShape("Rectangle - 1", 0, 0, true); // the user says No
        const std::string before = f.Dump();
        auto m = BeginEffect(f.doc, c.kind, f.ui);
        ASSERT_TRUE(m);
        m->Settle();
        ASSERT_EQ(f.ui.shown.size(), 1u);
        EXPECT_NE(f.ui.shown[0].text.find(std::string("If you want to ") + c.verb + ",it must"),
                  std::string::npos);
        EXPECT_EQ(f.Dump() != before, c.previewOnOpen);
        m->SetValue(c.param, c.value);
        m->Settle();
        EXPECT_NE(f.Dump(), before);
        EXPECT_TRUE(m->Ok());
        EXPECT_EQ(f.Label(), c.label);
    }
}

TEST(Effects, ConvertedShapesComeBackOnCancelAndOnUndo) {
    CmdFixture f;
    Ref<CDrawObj> s = f.AddShape("Rectangle - 1", 0, 0, true);
    Ref<CObjShape> shape = s->content->shape;
    const std::string before = f.Dump();

    f.ui.answers = {true};
    auto m = BeginEffect(f.doc, EffectKind::Emboss, f.ui);
    ASSERT_TRUE(m);
    m->Settle();
    EXPECT_EQ(s->content->kind, KindImage) << "the preview is a plain image";
    EXPECT_EQ(s->content->PixelAt(0, 0), 0xFF808080u); // a flat image embosses to the elevation
    m->Cancel();
    EXPECT_EQ(f.Dump(), before);
    EXPECT_EQ(s->content->shape, shape);
    EXPECT_EQ(s->content->kind, KindRectangle);

    f.ui.answers = {true};
    m = BeginEffect(f.doc, EffectKind::Sunspot, f.ui);
    ASSERT_TRUE(m);
    m->SetValue(2, 200);
    ASSERT_TRUE(m->Ok());
    EXPECT_FALSE(s->content->shape);
    const std::string after = f.Dump();
    f.ExpectUndoRedo(before, after);
    f.doc.OnEditUndo();
    EXPECT_EQ(s->content->shape, shape);
}

TEST(Effects, NoDialogWithoutSomethingToChange) {
    CmdFixture f;
    EXPECT_FALSE(BeginEffect(f.doc, EffectKind::Blur, f.ui));
    f.AddImage("A", 2, 2, 0, 0, false);
    EXPECT_FALSE(BeginEffect(f.doc, EffectKind::Blur, f.ui));
    EXPECT_EQ(f.Messages(),
              (std::vector<std::string>{strings::kNeedObjectPresent, strings::kNeedObjectSelected}));
    f.ui.shown.clear();
    f.AddShape("Rectangle - 1", 0, 0, true);
    EXPECT_FALSE(BeginEffect(f.doc, EffectKind::Emboss, f.ui)) << "every shape declined";
    EXPECT_EQ(f.ui.shown.size(), 1u);
}

TEST(Effects, QuickPreviewFirstThenExactlyTheLastValueOnAnyThreadCount) {
    for (int threads : {0, 1}) {
        SCOPED_TRACE(threads);
        SetParallelThreads(threads);
        CmdFixture f;
        f.view->SetZoom(-4);
        // Not a multiple of 4: the blocks on the right and bottom edges are partial.
        Ref<CDrawObj> p = Photo(f, 1030, 1030);
        const PackedDib start = p->content->raster.Clone();
        const std::string before = f.Dump();
        auto m = BeginEffect(f.doc, EffectKind::GaussianBlur, f.ui);
        ASSERT_TRUE(m);

        // The worker is held after its first result, so that the quick preview can be looked at.
        std::mutex gate;
        std::condition_variable cv;
        int calls = 0;
        bool go = false;
        m->SetListener([&] {
            std::unique_lock<std::mutex> hold(gate);
            if (++calls == 1) {
                cv.notify_all();
                cv.wait(hold, [&] { return go; });
            }
        });
        m->SetValue(0, 40);
        {
            std::unique_lock<std::mutex> hold(gate);
            cv.wait(hold, [&] { return calls >= 1; });
        }
        ASSERT_TRUE(m->Poll());
        EXPECT_FALSE(m->Ready());
        const PackedDib& quick = p->content->raster;
        ASSERT_EQ(quick.Size(), start.Size());
        EXPECT_FALSE(Shows(*p, start));
        for (int y : {0, 400, 1028})
            for (int x : {0, 4, 600, 1028})
                EXPECT_EQ(std::memcmp(quick.Pixel32(x, y), quick.Pixel32(x + 1, y + 1), 4), 0)
                    << "one colour per 4 x 4 block at " << x << "," << y;
        {
            std::lock_guard<std::mutex> hold(gate);
            go = true;
        }
        cv.notify_all();

        // A slider swept through many values: only the last one's exact image stays.
        for (int v = 2; v <= 50; v += 3) {
            m->SetValue(0, v);
            if (v % 2) m->Poll();
        }
        m->SetValue(0, 33);
        m->Settle();
        EXPECT_TRUE(m->Ready());
        EXPECT_TRUE(Shows(*p, GaussianBlur(start, 33)));
        m->SetListener({});
        ASSERT_TRUE(m->Ok());
        EXPECT_EQ(f.doc.UndoManager().UndoCount(), 1u);
        f.ExpectUndoRedo(before, f.Dump());
        f.doc.OnEditUndo();
        EXPECT_TRUE(Shows(*p, start));
    }
    SetParallelThreads(0);
}

TEST(Effects, OkWhileTheWorkerRunsKeepsTheExactImageAndShadow) {
    CmdFixture f;
    f.view->SetZoom(-2);
    Ref<CDrawObj> p = Photo(f, 1200, 900);
    for (int y = 0; y < 40; ++y)
        p->content->raster.Pixel32(5, y)[3] = 0;
    p->content->UpdateShadow();
    ASSERT_TRUE(p->content->HasShadow());
    const PackedDib start = p->content->raster.Clone();
    Ref<CObjContent> expected = p->content->Clone();
    expected->SetRaster(AdjustDIBHSL(start, 90, 20, 0, nullptr, 0));
    expected->UpdateShadow();

    auto m = BeginEffect(f.doc, EffectKind::Hsl, f.ui);
    ASSERT_TRUE(m);
    m->SetValue(0, 90);
    m->SetValue(1, 20);
    EXPECT_FALSE(m->Ready()) << "results arrive only through Poll";
    ASSERT_TRUE(m->Ok());
    EXPECT_TRUE(Shows(*p, expected->raster));
    EXPECT_EQ(DibChecksum(p->content->shadowRaster), DibChecksum(expected->shadowRaster));
    EXPECT_EQ(p->content->shadowPosX, expected->shadowPosX);
    EXPECT_EQ(f.doc.UndoManager().UndoCount(), 1u);
    f.doc.OnEditUndo();
    EXPECT_TRUE(Shows(*p, start));
}

TEST(Effects, StoppedOrClosedMidWorkNothingChangesWithoutUndo) {
    CmdFixture f;
    f.view->SetZoom(-3);
    Ref<CDrawObj> p = Photo(f, 1500, 1000);
    const PackedDib start = p->content->raster.Clone();
    const std::string before = f.Dump();
    {
        auto m = BeginEffect(f.doc, EffectKind::GaussianBlur, f.ui);
        m->SetValue(0, 50);
        m->Poll();
    } // closed while the worker runs
    EXPECT_EQ(f.Dump(), before);
    EXPECT_TRUE(Shows(*p, start));

    auto m = BeginEffect(f.doc, EffectKind::Sunspot, f.ui);
    ASSERT_TRUE(m);
    m->SetValue(2, 200);
    m->StopWork();
    // Given up work comes back when asked for.
    m->Finish();
    m->Settle();
    EXPECT_TRUE(Shows(*p, Sunspot(start, 20, 80, 200)));
    m->Cancel();
    EXPECT_FALSE(m->Ok());
    EXPECT_EQ(f.Dump(), before);
    EXPECT_TRUE(Shows(*p, start));
    EXPECT_EQ(f.doc.UndoManager().UndoCount(), 0u);
}
