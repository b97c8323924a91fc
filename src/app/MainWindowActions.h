// The main window's actions, shared by the files that build its menus.
#pragma once

#include "app/MainWindow.h"

#include <QAction>

namespace zepho {

struct MainWindow::Actions {
    QAction* newDoc = nullptr;
    QAction* open = nullptr;
    QAction* close = nullptr;
    QAction* save = nullptr;
    QAction* saveAs = nullptr;
    QAction* exit = nullptr;
    QAction* undo = nullptr;
    QAction* redo = nullptr;
    QAction* preferences = nullptr;
    QAction* newWindow = nullptr;
    QAction* cascade = nullptr;
    QAction* tile = nullptr;
    QAction* arrange = nullptr;
    QAction* about = nullptr;
    QMenu* editMenu = nullptr;
    QMenu* windowMenu = nullptr;
};

} // namespace zepho
