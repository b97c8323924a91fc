// The Transform menu's effect dialogs driven through their controls.
#include "app/ShellTestUtil.h"
#include "app/dialogs/EffectDialogs.h"
#include "edit/commands/CmdEffects.h"
#include "model/DocDump.h"
#include "raster/Dib.h"
#include "raster/Filters.h"
#include "support/ScriptedUiHost.h"

#include <QApplication>
#include <QGroupBox>
#include <QLabel>
#include <QMenu>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>
#include <QSpinBox>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

#include <cstring>

using namespace zepho;

QApplication& TestApp();

namespace {

// Stripes on the object's image, so that every effect changes something; the object is selected.
void Stripe(CDrawObj& obj) {
    PackedDib& d = obj.content->raster;
    for (int y = 0; y < d.Height(); ++y)
        for (int x = 0; x < d.Width(); x += 3)
            std::memset(d.Pixel32(x, y), (x * 7 + y) & 0xFF, 3);
    obj.content->selected = 1;
}

struct DialogFixture {
    CAppSettings settings;
    test::ScriptedUiHost ui;
    COrvaneDoc doc;
    Ref<CDrawObj> obj;
    PackedDib start;

    explicit DialogFixture(int w = 40, int h = 30) {
        TestApp();
        doc.SetSettings(&settings);
        doc.CreateNewImage(w, h, false, RGB(200, 100, 50));
        obj = doc.Image().objects.Head();
        Stripe(*obj);
        start = obj->content->raster.Clone();
    }
    bool Shows(const PackedDib& expected) const {
        const PackedDib& d = obj->content->raster;
        return d.Size() == expected.Size() && std::memcmp(d.Data(), expected.Data(), d.Size()) == 0;
    }
    std::string Dump() const { return DumpDocument(doc.Image()); }
};

// Runs the event loop until the dialog shows the exact preview of its values and is idle.
bool Settle(EffectDialog& d) {
    return QTest::qWaitFor([&] { return d.Model().Ready() && !d.Model().Busy(); }, 20000);
}

} // namespace

TEST(EffectDialog, BlurSliderAndSpinBoxDriveThePreviewAndOkRecordsOnce) {
    DialogFixture f;
    auto model = BeginEffect(f.doc, EffectKind::Blur, f.ui);
    ASSERT_TRUE(model);
    EffectDialog d(*model);
    EXPECT_EQ(d.windowTitle(), QStringLiteral("Blur"));
    EXPECT_EQ(d.group->title(), QStringLiteral("Blur"));
    ASSERT_EQ(d.sliders.size(), 1u);
    QSlider* slider = d.sliders[0];
    QSpinBox* spin = d.spins[0];
    EXPECT_EQ(slider->minimum(), 1);
    EXPECT_EQ(slider->maximum(), 50);
    EXPECT_EQ(slider->tickInterval(), 5);
    EXPECT_EQ(spin->value(), 1);

    slider->setValue(5);
    EXPECT_EQ(spin->value(), 5);
    ASSERT_TRUE(Settle(d));
    EXPECT_TRUE(f.Shows(BoxBlur(f.start, 5)));
    spin->setValue(3);
    EXPECT_EQ(slider->value(), 3);
    ASSERT_TRUE(Settle(d));
    EXPECT_TRUE(f.Shows(BoxBlur(f.start, 3)));
    // The images follow the slider while it is dragged.
    slider->setSliderDown(true);
    slider->setValue(9);
    EXPECT_EQ(spin->value(), 9);
    ASSERT_TRUE(Settle(d));
    EXPECT_TRUE(f.Shows(BoxBlur(f.start, 9)));
    slider->setSliderDown(false);
    EXPECT_FALSE(d.status->isVisible());

    d.accept();
    EXPECT_TRUE(d.Recorded());
    EXPECT_EQ(f.doc.UndoManager().UndoCount(), 1u);
    EXPECT_EQ(f.doc.UndoManager().PeekUndo()->GetLabel(), "Undo Blur");
    f.doc.OnEditUndo();
    EXPECT_TRUE(f.Shows(f.start));
}

TEST(EffectDialog, EmbossDirectionsSetTheAngleAndCancelRestores) {
    DialogFixture f;
    const std::string before = f.Dump();
    auto model = BeginEffect(f.doc, EffectKind::Emboss, f.ui);
    ASSERT_TRUE(model);
    EffectDialog d(*model);
    ASSERT_TRUE(Settle(d));
    EXPECT_TRUE(f.Shows(Emboss(f.start, 128, 1, 0))) << "the first preview shows at once";
    EXPECT_EQ(d.windowTitle(), QStringLiteral("Emboss"));
    QSpinBox* angle = d.spins[kEmbossAngle];
    ASSERT_TRUE(angle && d.directions[4]);
    EXPECT_EQ(d.sliders[kEmbossAngle], nullptr);
    EXPECT_EQ(d.directions[4]->text(), QStringLiteral("Custom angle"));
    EXPECT_TRUE(d.directions[0]->isChecked());
    EXPECT_FALSE(angle->isEnabled());
    EXPECT_EQ(d.sliders[0]->value(), 128);
    EXPECT_EQ(d.spins[1]->maximum(), 15);

    d.directions[1]->setChecked(true);
    EXPECT_EQ(angle->value(), 90);
    ASSERT_TRUE(Settle(d));
    EXPECT_TRUE(f.Shows(Emboss(f.start, 128, 1, 90)));
    d.directions[4]->setChecked(true);
    EXPECT_TRUE(angle->isEnabled());
    angle->setValue(45);
    d.spins[1]->setValue(4);
    ASSERT_TRUE(Settle(d));
    EXPECT_TRUE(f.Shows(Emboss(f.start, 128, 4, 45)));
    d.directions[3]->setChecked(true);
    EXPECT_EQ(angle->value(), 270);
    EXPECT_FALSE(angle->isEnabled());

    d.reject();
    EXPECT_FALSE(d.Recorded());
    EXPECT_EQ(f.Dump(), before);
    EXPECT_EQ(f.doc.UndoManager().UndoCount(), 0u);
}

TEST(EffectDialog, TransformMenuOrderAndARunFromTheMenu) {
    test::ShellSession s;
    DocumentWindow* w = s.window.NewDocument();
    ASSERT_TRUE(w);
    Ref<CDrawObj> obj = w->Document().Image().objects.Head();
    Stripe(*obj);
    s.window.UpdateCommands();

    QMenu* transform = nullptr;
    for (QMenu* m : s.window.findChildren<QMenu*>())
        if (m->title() == QStringLiteral("&Transform")) transform = m;
    ASSERT_TRUE(transform);
    QStringList texts;
    for (QAction* a : transform->actions())
        if (!a->isSeparator()) texts << a->text();
    EXPECT_EQ(texts, (QStringList{"&Gray", "Mirror &horizontally", "Mirror &vertically",
                                  "Brightness/Contrast", "Red/Green/Blue", "Hue/Saturation/Lightness", "Blur",
                                  "Gaussian Blur", "Sharpness", "Emboss", "Sunspot", "&Negative"}));

    bool seen = false;
    QTimer::singleShot(0, [&] {
        auto* d = qobject_cast<EffectDialog*>(QApplication::activeModalWidget());
        if (!d) return;
        seen = true;
        EXPECT_EQ(d->windowTitle(), QStringLiteral("Adjust BC"));
        EXPECT_EQ(d->group->title(), QStringLiteral("Brightness&&Contrast"));
        EXPECT_EQ(d->sliders[1]->minimum(), -127);
        // OK at once: the dialog waits for the worker, then keeps its result.
        d->sliders[0]->setValue(60);
        d->accept();
        EXPECT_TRUE(d->Applying());
    });
    s.Find("Brightness/Contrast")->trigger();
    EXPECT_TRUE(seen);
    EXPECT_TRUE(s.Find("Undo Adjust Brightness/Contrast")) << "one undo entry with its label";
    EXPECT_EQ(w->Document().UndoManager().UndoCount(), 1u);
    w->Document().SetModifiedFlag(false); // no question about saving at the end
}

TEST(EffectDialog, OkWaitsForTheWorkerWithAProgressBarThatCancelLeaves) {
    DialogFixture f(2000, 1500);
    const std::string before = f.Dump();

    auto model = BeginEffect(f.doc, EffectKind::GaussianBlur, f.ui);
    ASSERT_TRUE(model);
    {
        // Closed while the worker runs: everything comes back, the news of the work is dropped.
        auto d = std::make_unique<EffectDialog>(*model);
        d->sliders[0]->setValue(30);
        EXPECT_TRUE(d->progress->isVisibleTo(d.get()));
        ASSERT_TRUE(QApplication::overrideCursor());
        EXPECT_EQ(QApplication::overrideCursor()->shape(), Qt::BusyCursor);
        d->reject();
        EXPECT_FALSE(QApplication::overrideCursor());
        d.reset();
        QTest::qWait(50);
        EXPECT_EQ(f.Dump(), before);
    }

    model = BeginEffect(f.doc, EffectKind::GaussianBlur, f.ui);
    EffectDialog d(*model);
    d.sliders[0]->setValue(50);
    EXPECT_EQ(d.status->text(), QStringLiteral("Working..."));
    d.accept();
    ASSERT_TRUE(d.Applying());
    EXPECT_EQ(d.status->text(), QStringLiteral("Applying..."));
    EXPECT_TRUE(d.progress->isVisibleTo(&d));
    EXPECT_FALSE(d.group->isEnabled());
    EXPECT_FALSE(d.okButton->isEnabled());
    // Cancel while OK waits returns to the controls.
    d.reject();
    EXPECT_FALSE(d.Applying());
    EXPECT_TRUE(d.group->isEnabled());
    EXPECT_FALSE(d.Recorded());
    EXPECT_EQ(f.doc.UndoManager().UndoCount(), 0u);

    d.accept();
    ASSERT_TRUE(d.Applying());
    ASSERT_TRUE(QTest::qWaitFor([&] { return !d.Applying(); }, 20000));
    EXPECT_TRUE(d.Recorded());
    EXPECT_EQ(d.result(), QDialog::Accepted);
    EXPECT_TRUE(f.Shows(GaussianBlur(f.start, 50)));
    EXPECT_EQ(f.doc.UndoManager().UndoCount(), 1u);
    EXPECT_FALSE(QApplication::overrideCursor());
    f.doc.OnEditUndo();
    EXPECT_TRUE(f.Shows(f.start));
}
