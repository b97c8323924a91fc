// Shared pieces of the shell tests: a main window over settings of its own, and action lookup.
#pragma once

#include "app/canvas/DocumentWindow.h"
#include "app/mainwindow/MainWindow.h"
#include "app/mainwindow/ZephoApp.h"

#include <QAction>
#include <QApplication>
#include <QTemporaryDir>
#include <QTest>

namespace zepho::test {

// The first action of a widget tree with this text, or null.
inline QAction* FindAction(QWidget* root, const QString& text) {
    for (QAction* a : root->findChildren<QAction*>())
        if (a->text() == text) return a;
    return nullptr;
}

// A started application with its settings in a temporary folder, and its shown main window.
struct ShellSession {
    QTemporaryDir dir;
    CZephoApp app{dir.filePath("zepho.ini")};
    MainWindow window{(app.Start(), app)};

    explicit ShellSession(QSize size = QSize(900, 700)) {
        window.resize(size);
        window.show();
    }
    QAction* Find(const QString& text) { return FindAction(&window, text); }
    // The widget with the keyboard, once the window has it back: after long work the window's
    // activation may still be on its way.
    QWidget* Focused() {
        QTest::qWaitFor([] { return QApplication::focusWidget() != nullptr; }, 2000);
        return QApplication::focusWidget();
    }
    // Waits until the main window is the active one, as keyboard shortcuts need.
    bool Active() { return QTest::qWaitForWindowActive(&window, 2000); }
};

} // namespace zepho::test
