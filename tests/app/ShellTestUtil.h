// Shared pieces of the shell tests: a main window over settings of its own, and action lookup.
#pragma once

#include "app/canvas/DocumentWindow.h"
#include "app/mainwindow/MainWindow.h"
#include "app/mainwindow/ZephoApp.h"

#include <QAction>
#include <QTemporaryDir>

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
};

} // namespace zepho::test
