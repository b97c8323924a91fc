// The effect dialogs' sessions: live preview, OK as one undo step, Cancel giving everything back.
#include "edit/CmdTestUtil.h"
#include "edit/commands/CmdEffects.h"
#include "edit/undo/UndoStrings.h"
#include "extlib/ImageTransform.h"
#include "model/ModelStrings.h"
#include "raster/Filters.h"

#include <cstring>

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
    EXPECT_GT(f.host.invalidatedAll, paints);
    EXPECT_TRUE(Shows(*a, BoxBlur(start, 5)));
    EXPECT_NE(DibChecksum(a->content->shadowRaster), shadow) << "the shadow follows the preview";
    m->SetValue(0, 3);
    EXPECT_TRUE(Shows(*a, BoxBlur(start, 3))) << "never blurred on top of the last preview";
    m->SetValue(0, 1);
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
        ASSERT_EQ(f.ui.shown.size(), 1u);
        EXPECT_NE(f.ui.shown[0].text.find(std::string("If you want to ") + c.verb + ",it must"),
                  std::string::npos);
        EXPECT_EQ(f.Dump() != before, c.previewOnOpen);
        m->SetValue(c.param, c.value);
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
