// The "Properties" sheet driven through its controls.
#include "app/properties/PropertySheet.h"
#include "app/properties/PropertyBoundBox.h"
#include "app/properties/PropertyEditor.h"
#include "edit/properties/PropStrings.h"
#include "edit/undo/UndoObjects.h"
#include "model/AppSettings.h"
#include "model/DocDump.h"
#include "model/ModelStrings.h"
#include "model/RectObj.h"
#include "support/ScriptedUiHost.h"

#include <QApplication>
#include <QCheckBox>
#include <QLineEdit>
#include <QRadioButton>
#include <QSlider>
#include <QTabWidget>
#include <QTest>
#include <QToolButton>
#include <gtest/gtest.h>

using namespace zepho;

QApplication& TestApp();

namespace {

struct SheetFixture {
    CAppSettings settings;
    test::ScriptedUiHost ui;
    COrvaneDoc doc;
    Ref<CDrawObj> rect;

    SheetFixture() {
        TestApp();
        doc.SetSettings(&settings);
        doc.CreateNewImage(200, 150, false, RGB(255, 255, 255));
        Ref<CRectObj> r = MakeRef<CRectObj>();
        r->width = 60;
        r->height = 40;
        r->strokeWidth = 0;
        r->paint.color2 = RGB(0, 120, 0);
        Ref<CObjContent> c = MakeRef<CObjContent>(KindRectangle);
        c->SetShape(r);
        c->SetRaster(RenderForObject(*r));
        c->name = "Rectangle - 1";
        rect = MakeRef<CDrawObj>(c);
        rect->x = 30;
        rect->y = 20;
        rect->visible = 1;
        doc.Image().objects.AddTail(rect);
    }
    ~SheetFixture() { SetDialogRunner({}); }
    std::string Dump() const { return DumpDocument(doc.Image(), DumpOptions{false}); }
};

void Type(BoundBox* box, const QString& text) {
    box->findChild<QLineEdit*>()->setText(text);
}

TEST(PropertySheet, PagesOfARectangleAndLockDisablingThePosition) {
    SheetFixture f;
    PropertySheetDialog d(f.doc, f.rect, f.ui);
    ASSERT_EQ(d.tabs->count(), 3);
    EXPECT_EQ(d.tabs->tabText(1), QStringLiteral("Fill and Stroke"));
    EXPECT_EQ(d.windowTitle(), QStringLiteral("Properties"));
    EXPECT_TRUE(d.pixel->isChecked());
    EXPECT_TRUE(d.ratio->isChecked());
    ASSERT_NE(d.roundness, nullptr);
    EXPECT_EQ(d.name->text(), QStringLiteral("Rectangle - 1"));

    EXPECT_TRUE(d.left->isEnabled());
    d.lock->setChecked(true);
    EXPECT_FALSE(d.left->isEnabled());
    EXPECT_FALSE(d.top->isEnabled());
    EXPECT_TRUE(f.rect->locked);
    d.lock->setChecked(false);
    EXPECT_TRUE(d.left->isEnabled());
    EXPECT_TRUE(d.top->isEnabled());
    d.reject();
}

TEST(PropertySheet, NumberBoxesRefuseWhatIsOutOfRange) {
    SheetFixture f;
    PropertySheetDialog d(f.doc, f.rect, f.ui);
    Type(d.transparency, QStringLiteral("300"));
    EXPECT_FALSE(d.transparency->CheckNow());
    ASSERT_EQ(f.ui.shown.size(), 1u);
    EXPECT_EQ(f.ui.shown[0].text, "Please input a digital between 0 and 255!");
    EXPECT_EQ(f.ui.shown[0].caption, strings::kCaptionError);
    EXPECT_EQ(f.rect->transparency, 0);

    Type(d.horz, QStringLiteral("0.5"));
    EXPECT_FALSE(d.horz->CheckNow());
    EXPECT_EQ(f.ui.shown.back().text, "Please input a digital between 1.000 and 2000.000 !");

    Type(d.transparency, QStringLiteral("128"));
    EXPECT_TRUE(d.transparency->CheckNow());
    EXPECT_EQ(f.rect->transparency, 128);
    // Width 30 with the ratio kept: the height box follows.
    Type(d.horz, QStringLiteral("30"));
    EXPECT_TRUE(d.horz->CheckNow());
    EXPECT_EQ(d.vert->Value(), 20);
    EXPECT_EQ(f.rect->content->width, 30);
    d.reject();
    EXPECT_EQ(f.rect->transparency, 0);
    EXPECT_EQ(f.rect->content->width, 60);
}

TEST(PropertySheet, ClearingFillWithoutStrokeIsRefusedAndRechecked) {
    SheetFixture f;
    PropertySheetDialog d(f.doc, f.rect, f.ui);
    EXPECT_FALSE(d.stroke->isChecked());
    d.fill->setChecked(false);
    EXPECT_TRUE(d.fill->isChecked());
    ASSERT_EQ(f.ui.shown.size(), 1u);
    EXPECT_EQ(f.ui.shown[0].text, strings::kFillNeeded);
    EXPECT_EQ(f.ui.shown[0].caption, strings::kAppTitle);
    d.styles[2]->click();
    EXPECT_EQ(dynamic_cast<CRectObj&>(*f.rect->content->shape).paint.mode, 2);
    d.reject();
}

TEST(PropertySheet, OkIsOneStepAndCancelGivesBack) {
    SheetFixture f;
    const std::string start = f.Dump();
    SetDialogRunner([](QDialog& dialog) {
        auto& d = dynamic_cast<PropertySheetDialog&>(dialog);
        d.shadow->setChecked(true);
        d.shadowTypes[6]->click();
        d.shadowSliders[PropertySheetDialog::Smooth]->setValue(25);
        d.accept();
        return d.result();
    });
    EXPECT_TRUE(EditObjectProperties(nullptr, f.doc, *f.rect, f.settings, f.ui));
    EXPECT_TRUE(f.rect->content->HasShadow());
    EXPECT_EQ(f.rect->content->shadowType, 7);
    EXPECT_EQ(f.rect->content->shadowSmooth, 25);
    ASSERT_EQ(f.doc.UndoManager().UndoCount(), 1u);
    const std::string after = f.Dump();

    SetDialogRunner([](QDialog& dialog) {
        auto& d = dynamic_cast<PropertySheetDialog&>(dialog);
        d.name->setText(QStringLiteral("gone"));
        d.shadow->setChecked(false);
        d.reject();
        return d.result();
    });
    EXPECT_FALSE(EditObjectProperties(nullptr, f.doc, *f.rect, f.settings, f.ui));
    EXPECT_EQ(f.Dump(), after);
    EXPECT_EQ(f.doc.UndoManager().UndoCount(), 1u);
    f.doc.OnEditUndo();
    EXPECT_EQ(f.Dump(), start);
}

} // namespace
