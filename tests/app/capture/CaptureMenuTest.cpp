// The Capture menu's place, on the offscreen platform where capturing is not possible.
#include "app/ShellTestUtil.h"

#include <QMenuBar>

#include <gtest/gtest.h>

using namespace zepho;
using namespace zepho::test;

TEST(CaptureMenu, SitsBetweenTransformAndViewAndSaysWhyItIsOff) {
    ShellSession s;
    auto visibleMenus = [&] {
        QStringList titles;
        for (QAction* a : s.window.menuBar()->actions())
            if (a->isVisible()) titles << a->text();
        return titles;
    };
    if (s.window.DocumentWindows().isEmpty()) {
        ASSERT_TRUE(s.window.NewDocument());
    }
    QStringList titles = visibleMenus();
    int capture = titles.indexOf(QStringLiteral("&Capture"));
    ASSERT_GE(capture, 1) << titles.join(',').toStdString();
    EXPECT_EQ(titles.value(capture - 1), QStringLiteral("&Transform"));
    EXPECT_EQ(titles.value(capture + 1), QStringLiteral("&View"));

    for (DocumentWindow* w : s.window.DocumentWindows()) {
        w->Document().SetModifiedFlag(false);
        w->parentWidget()->close();
    }
    s.window.UpdateCommands();
    titles = visibleMenus();
    capture = titles.indexOf(QStringLiteral("&Capture"));
    ASSERT_GE(capture, 0) << titles.join(',').toStdString() << " with no document open";
    EXPECT_EQ(titles.value(capture + 1), QStringLiteral("&View"));

    QAction* full = s.Find(QStringLiteral("&Full Screen"));
    QAction* window = s.Find(QStringLiteral("&Window or Control"));
    ASSERT_TRUE(full && window);
    EXPECT_FALSE(full->isEnabled());
    EXPECT_FALSE(window->isEnabled());
    EXPECT_EQ(full->statusTip(), QStringLiteral("Screen capture needs an X11 display"));
    EXPECT_TRUE(s.Find(QStringLiteral("Capture &Settings"))->isEnabled());
}
