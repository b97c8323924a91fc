// The main window's actions, shared by the files that build its menus.
#pragma once

#include "app/mainwindow/MainWindow.h"

#include <QAction>
#include <QActionGroup>

#include <vector>

namespace zepho {

struct MainWindow::Actions {
    QAction* newDoc = nullptr;
    QAction* open = nullptr;
    QAction* close = nullptr;
    QAction* save = nullptr;
    QAction* saveAs = nullptr;
    QAction* addImages = nullptr;
    QAction* openAvi = nullptr;
    QAction* addAvi = nullptr;
    QAction* exit = nullptr;
    QAction* print = nullptr;
    QAction* printPreview = nullptr;
    QAction* printSetup = nullptr;
    QAction* help = nullptr;
    QAction* undo = nullptr;
    QAction* redo = nullptr;
    QAction* preferences = nullptr;
    QAction* newWindow = nullptr;
    QAction* cascade = nullptr;
    QAction* tile = nullptr;
    QAction* arrange = nullptr;
    QAction* about = nullptr;
    QAction* copy = nullptr;
    QAction* copyMerged = nullptr;
    QAction* paste = nullptr;
    QAction* resizeImage = nullptr;
    QAction* resizeCanvas = nullptr;
    QAction* newObject = nullptr;
    QAction* duplicate = nullptr;
    QAction* deleteObjects = nullptr;
    QAction* trim = nullptr;
    QAction* combine = nullptr;
    QAction* makeFrame = nullptr;
    QAction* properties = nullptr;
    std::vector<QAction*> imageOps;
    // The Image menu.
    QMenu* imageMenu = nullptr;
    QAction* imageProperties = nullptr;
    QAction* cropToSelection = nullptr;
    std::vector<QAction*> wholeImageOps;
    std::vector<QAction*> zoom;
    QAction* zoomInStep = nullptr;
    QAction* zoomOutStep = nullptr;
    QAction* fitInWindow = nullptr;
    QAction* playAnimation = nullptr;
    // Rulers, guides, grid and snapping.
    QAction* rulers = nullptr;
    QAction* showGuides = nullptr;
    QAction* lockGuides = nullptr;
    QAction* clearGuides = nullptr;
    QAction* newGuide = nullptr;
    QAction* grid = nullptr;
    QAction* snap = nullptr;
    // Checkable, with the target bit as data.
    std::vector<QAction*> snapTargets;
    QAction* nextWindow = nullptr;
    QAction* previousWindow = nullptr;
    // The open documents at the end of the Window menu.
    QActionGroup* windowList = nullptr;
    // The selection commands of the Edit menu.
    QAction* cut = nullptr;
    QAction* deleteSelection = nullptr;
    QAction* selectAll = nullptr;
    QAction* unselectAll = nullptr;
    QAction* invertSelection = nullptr;
    QMenu* viewMenu = nullptr;
    QMenu* editMenu = nullptr;
    QMenu* objectMenu = nullptr;
    QMenu* transformMenu = nullptr;
    QMenu* windowMenu = nullptr;
};

} // namespace zepho
