// The guide (F1) keeps up with the program: it names every tool of the drawing toolbar and shows
// every key of the View and Window menus and of the window-wide commands.
#include "app/ShellTestUtil.h"

#include <QApplication>
#include <QFile>
#include <QMenu>
#include <QMenuBar>
#include <QToolBar>
#include <gtest/gtest.h>

using namespace zepho;

QApplication& TestApp();

namespace {
QMenu* MenuNamed(QMainWindow& w, const QString& title) {
    for (QAction* a : w.menuBar()->actions())
        if (a->menu() && a->text().remove('&') == title) return a->menu();
    return nullptr;
}
} // namespace

TEST(Guide, NamesEveryToolAndEveryNavigationKey) {
    TestApp();
    test::ShellSession s; // registers the guide's resource
    QFile file(QStringLiteral(":/help/guide.html"));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QString guide = QString::fromUtf8(file.readAll());

    int tools = 0;
    for (QToolBar* bar : s.window.findChildren<QToolBar*>())
        for (QAction* a : bar->actions())
            if (a->isCheckable() && a->actionGroup()) {
                ++tools;
                EXPECT_TRUE(guide.contains(QStringLiteral("<b>%1</b>").arg(a->text().remove('&'))))
                    << "tool " << a->text().toStdString();
            }
    EXPECT_GE(tools, 14);

    QList<QAction*> keyed = s.window.actions();
    for (const char* menu : {"View", "Window"}) {
        QMenu* m = MenuNamed(s.window, QString::fromLatin1(menu));
        ASSERT_TRUE(m) << menu;
        keyed += m->actions();
    }
    int keys = 0;
    for (QAction* a : keyed)
        for (const QKeySequence& k : a->shortcuts()) {
            const QString text = k.toString(QKeySequence::PortableText);
            if (text == QStringLiteral("Ctrl++")) continue; // the Ctrl+= key on most keyboards
            ++keys;
            EXPECT_TRUE(guide.contains(QStringLiteral("<b>%1</b>").arg(text.toHtmlEscaped())))
                << a->text().toStdString() << ": " << text.toStdString();
        }
    EXPECT_GE(keys, 9);
}
