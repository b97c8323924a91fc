// X swaps the paint colours and D resets them to black on white; the toolbar buttons and the
// painting tools follow, and typing x or d into a box stays typing.
#include "app/ShellTestUtil.h"
#include "app/panels/ColorButton.h"

#include <QApplication>
#include <QLineEdit>
#include <QTest>
#include <QToolBar>
#include <gtest/gtest.h>

using namespace zepho;

QApplication& TestApp();

TEST(ColourKeys, XSwapsAndDResetsTheColours) {
    TestApp();
    test::ShellSession s;
    ASSERT_TRUE(s.window.NewDocument());
    QApplication::processEvents();
    QList<ColorButton*> buttons = s.window.findChildren<ColorButton*>();
    ColorButton* fore = nullptr;
    ColorButton* back = nullptr;
    for (ColorButton* b : buttons) {
        if (b->toolTip() == QStringLiteral("Foreground color")) fore = b;
        if (b->toolTip() == QStringLiteral("Background color")) back = b;
    }
    ASSERT_TRUE(fore && back);
    s.window.paint = {RGB(200, 10, 20), RGB(5, 60, 220)};
    fore->SetColour(s.window.paint.fore);
    back->SetColour(s.window.paint.back);

    QTest::keyClick(s.Focused(), Qt::Key_X);
    EXPECT_EQ(s.window.paint.fore, RGB(5, 60, 220));
    EXPECT_EQ(s.window.paint.back, RGB(200, 10, 20));
    EXPECT_EQ(fore->Colour(), RGB(5, 60, 220));
    EXPECT_EQ(back->Colour(), RGB(200, 10, 20));
    QTest::keyClick(s.Focused(), Qt::Key_X);
    EXPECT_EQ(s.window.paint.fore, RGB(200, 10, 20));

    QTest::keyClick(s.Focused(), Qt::Key_D);
    EXPECT_EQ(s.window.paint.fore, RGB(0, 0, 0));
    EXPECT_EQ(s.window.paint.back, RGB(255, 255, 255));
    EXPECT_EQ(fore->Colour(), RGB(0, 0, 0));
    EXPECT_EQ(back->Colour(), RGB(255, 255, 255));

    // A text box keeps its letters.
    auto* box = new QLineEdit(&s.window);
    box->show();
    box->setFocus();
    QApplication::processEvents();
    s.window.paint = {RGB(1, 2, 3), RGB(4, 5, 6)};
    QTest::keyClicks(box, QStringLiteral("xd"));
    EXPECT_EQ(box->text(), QStringLiteral("xd"));
    EXPECT_EQ(s.window.paint.fore, RGB(1, 2, 3));
    EXPECT_EQ(s.window.paint.back, RGB(4, 5, 6));
}
