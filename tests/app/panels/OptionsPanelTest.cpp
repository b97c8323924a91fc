#include "app/panels/OptionsPanel.h"
#include "app/panels/NumberBox.h"
#include "app/panels/OptionsPages.h"
#include "edit/tools/Tool.h"
#include "model/AppSettings.h"

#include <QApplication>
#include <QCheckBox>
#include <QTest>
#include <QToolButton>
#include <gtest/gtest.h>

using namespace zepho;

QApplication& TestApp();

TEST(OptionsPanel, EachToolShowsItsPageWithItsArgument) {
    TestApp();
    CAppSettings s;
    OptionsPanel panel(s, [](const QString&) {});
    const int expected[ToolCount] = {1, 8, 8, 8, 2, 1, 0, 4, 3, 7, 6, 5, 5, 5};
    for (int tool = 0; tool < ToolCount; ++tool) {
        panel.ShowToolPage(tool);
        EXPECT_EQ(panel.CurrentPageNumber(), expected[tool]) << "tool " << tool;
    }
    auto* shapes = qobject_cast<ShapeSettingPage*>(panel.PageWidget(OptionsPanel::PageShape));
    auto* selections = qobject_cast<ShapeSelectionPage*>(panel.PageWidget(OptionsPanel::PageShapeSelection));
    ASSERT_TRUE(shapes && selections);
    panel.ShowToolPage(ToolRectangle);
    EXPECT_TRUE(shapes->roundCorner->isEnabled());
    panel.ShowToolPage(ToolEllipse);
    EXPECT_FALSE(shapes->roundCorner->isEnabled());
    panel.ShowToolPage(ToolEllipseSelect);
    EXPECT_FALSE(selections->roundCorner->isEnabled());
    EXPECT_TRUE(selections->equalSides->isEnabled());
    panel.ShowToolPage(ToolLasso);
    EXPECT_FALSE(selections->equalSides->isEnabled());
}

TEST(OptionsPanel, NumberBoxesTakeDigitsInRangeAndWriteTheirSetting) {
    TestApp();
    int width = 8;
    NumberBox box(1, 50, &width);
    box.show();
    box.selectAll();
    QTest::keyClicks(&box, "7");
    EXPECT_EQ(width, 7);
    QTest::keyClicks(&box, "9"); // 79 is out of range: undone
    EXPECT_EQ(box.text(), QString("7"));
    QTest::keyClicks(&box, "x");
    EXPECT_EQ(box.text(), QString("7"));
    box.selectAll();
    QTest::keyClicks(&box, "37");
    EXPECT_EQ(width, 37);
}

TEST(OptionsPanel, GradientAndFillStyles) {
    TestApp();
    CAppSettings s;
    s.FillShapeMode = 0;
    ShapeSettingPage page(s);
    EXPECT_FALSE(page.gradient->isChecked());
    EXPECT_FALSE(page.styles[0]->isEnabled());
    page.gradient->setChecked(true); // no style down: style 1
    EXPECT_EQ(s.FillShapeMode, 1);
    EXPECT_TRUE(page.styles[0]->isChecked());
    page.styles[3]->click();
    EXPECT_EQ(s.FillShapeMode, 4);
    EXPECT_FALSE(page.styles[0]->isChecked());
    page.gradient->setChecked(false);
    EXPECT_EQ(s.FillShapeMode, 0);
    EXPECT_FALSE(page.styles[3]->isEnabled());
    page.gradient->setChecked(true); // the chosen style comes back
    EXPECT_EQ(s.FillShapeMode, 4);
    EXPECT_TRUE(page.styles[3]->isChecked());
    page.gradient->setChecked(false);
    s.FillShapeMode = 3;
    ShapeSettingPage reopened(s);
    EXPECT_TRUE(reopened.gradient->isChecked());
    EXPECT_TRUE(reopened.styles[2]->isChecked());

    // Pen page: the transparency is the low byte of the opacity setting; check boxes write 0/1.
    s.LineOpacity = 0x1234;
    EraseSettingPage pen(s, true);
    EXPECT_EQ(pen.transparency->value(), 0x34);
    pen.allowTransparent->setChecked(false);
    EXPECT_EQ(s.AllowPaintTransparence, 0);
    pen.straightLine->click();
    EXPECT_EQ(s.PaintBeeline, 1);
    EraseSettingPage eraser(s, false);
    EXPECT_TRUE(eraser.allowTransparent->isHidden());
}
