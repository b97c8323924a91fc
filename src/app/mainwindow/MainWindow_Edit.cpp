// The Edit, Window and Help menus and the commands' enabled states.
#include "app/canvas/CanvasView.h"
#include "app/canvas/DocumentWindow.h"
#include "app/dialogs/PreferencesDialog.h"
#include "app/mainwindow/AppStrings.h"
#include "app/mainwindow/Icons.h"
#include "app/mainwindow/MainWindowActions.h"
#include "app/mainwindow/ZephoApp.h"
#include "app/panels/ObjectsPanel.h"
#include "app/panels/OptionsPanel.h"
#include "edit/commands/CmdSelection.h"
#include "edit/undo/Undo.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDockWidget>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenuBar>
#include <QShortcut>
#include <QWhatsThis>

namespace zepho {

void MainWindow::BuildEditMenu() {
    QMenu* m = menuBar()->addMenu(QStringLiteral("&Edit"));
    act_->editMenu = m;
    act_->undo = m->addAction(QIcon::fromTheme("edit-undo"), QString(), this, [this] {
        if (GestureInProgress()) return;
        if (DocumentWindow* w = ActiveDocumentWindow()) w->Document().OnEditUndo();
        UpdateCommands();
    });
    act_->undo->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Z));
    act_->undo->setStatusTip(QStringLiteral("Undo the last action"));
    act_->redo = m->addAction(QIcon::fromTheme("edit-redo"), QString(), this, [this] {
        if (GestureInProgress()) return;
        if (DocumentWindow* w = ActiveDocumentWindow()) w->Document().OnEditRedo();
        UpdateCommands();
    });
    act_->redo->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Y));
    act_->redo->setStatusTip(QStringLiteral("Redo the previously undone action"));
    m->addSeparator();
    act_->preferences = m->addAction(QStringLiteral("Preferences..."), this, &MainWindow::OnPreferences);
}

void MainWindow::BuildSelectionCommands() {
    QMenu* m = act_->editMenu;
    // A command on the active view, never in the middle of a mouse gesture.
    auto command = [this](const QString& text, QKeySequence key, auto run) {
        auto* a = new QAction(text, this);
        a->setShortcut(key);
        connect(a, &QAction::triggered, this, [this, run] {
            if (GestureInProgress()) return;
            if (CanvasView* c = ActiveCanvas()) run(c->View());
            UpdateCommands();
        });
        return a;
    };
    act_->cut = command(QStringLiteral("Cu&t"), QKeySequence(Qt::CTRL | Qt::Key_X),
                        [this](COrvaneView& v) { CmdCut(v, clipboard_, Ui()); });
    act_->deleteSelection = command(QStringLiteral("&Delete"), QKeySequence(Qt::Key_Delete),
                                    [this](COrvaneView& v) { CmdDeleteSelection(v, Ui()); });
    act_->selectAll = command(QStringLiteral("Select &All"), QKeySequence(Qt::CTRL | Qt::Key_A),
                              [](COrvaneView& v) { CmdSelectAll(v); });
    act_->unselectAll = command(QStringLiteral("U&nselect All"), QKeySequence(Qt::Key_Escape),
                                [](COrvaneView& v) { CmdUnselectAll(v); });
    act_->invertSelection =
        command(QStringLiteral("Invert"), QKeySequence(), [](COrvaneView& v) { CmdInvertSelection(v); });
    // Cut before Copy; Delete and the selection group after Paste; Preferences last.
    m->insertAction(act_->copy, act_->cut);
    const QList<QAction*> actions = m->actions();
    const qsizetype paste = actions.indexOf(act_->paste);
    QAction* afterPaste = paste >= 0 && paste + 1 < actions.size() ? actions[paste + 1] : nullptr;
    m->insertAction(afterPaste, act_->deleteSelection);
    m->insertSeparator(afterPaste);
    for (QAction* a : {act_->selectAll, act_->unselectAll, act_->invertSelection})
        m->insertAction(afterPaste, a);
    m->removeAction(act_->preferences);
    m->addSeparator();
    m->addAction(act_->preferences);
}

void MainWindow::UpdateSelectionCommands() {
    const COrvaneView* v = ActiveView();
    act_->cut->setEnabled(v && CanCutOrDelete(*v));
    act_->deleteSelection->setEnabled(v && CanCutOrDelete(*v));
    act_->selectAll->setEnabled(v != nullptr);
    act_->unselectAll->setEnabled(v && CanUnselectAll(*v));
    act_->invertSelection->setEnabled(v != nullptr);
}

void MainWindow::BuildWindowMenu() {
    QMenu* m = menuBar()->addMenu(QStringLiteral("&Window"));
    act_->windowMenu = m;
    act_->newWindow = m->addAction(QStringLiteral("&New Window"), this, &MainWindow::OnNewWindow);
    act_->cascade = m->addAction(QStringLiteral("&Cascade"), mdi_, &QMdiArea::cascadeSubWindows);
    act_->tile = m->addAction(QStringLiteral("&Tile"), mdi_, &QMdiArea::tileSubWindows);
    act_->arrange = m->addAction(QStringLiteral("&Arrange Icons"), this, [this] {
        for (QMdiSubWindow* sub : mdi_->subWindowList())
            if (sub->isMinimized()) sub->showMinimized();
        mdi_->tileSubWindows();
    });
    // Ctrl+Tab and Ctrl+Shift+Tab go through the documents from anywhere in the window.
    act_->nextWindow = new QAction(QStringLiteral("Ne&xt Window"), this);
    act_->nextWindow->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Tab));
    connect(act_->nextWindow, &QAction::triggered, mdi_, &QMdiArea::activateNextSubWindow);
    act_->previousWindow = new QAction(QStringLiteral("Pre&vious Window"), this);
    act_->previousWindow->setShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Tab));
    connect(act_->previousWindow, &QAction::triggered, mdi_, &QMdiArea::activatePreviousSubWindow);
    for (QAction* a : {act_->nextWindow, act_->previousWindow}) {
        a->setShortcutContext(Qt::ApplicationShortcut);
        m->addAction(a);
        addAction(a);
    }
    m->addSeparator();
    act_->windowList = new QActionGroup(this);
    connect(m, &QMenu::aboutToShow, this, &MainWindow::FillWindowList);
}

// The open documents, numbered, the active one checked.
void MainWindow::FillWindowList() {
    for (QAction* a : act_->windowList->actions())
        delete a;
    QMdiSubWindow* active = mdi_->activeSubWindow();
    int n = 0;
    for (QMdiSubWindow* sub : mdi_->subWindowList()) {
        auto* w = qobject_cast<DocumentWindow*>(sub->widget());
        if (!w) continue;
        ++n;
        QString title = w->windowTitle();
        title.replace(QLatin1Char('&'), QStringLiteral("&&"));
        QAction* a = act_->windowMenu->addAction(n < 10 ? QStringLiteral("&%1 %2").arg(n).arg(title) : title);
        a->setCheckable(true);
        a->setChecked(sub == active);
        act_->windowList->addAction(a);
        connect(a, &QAction::triggered, this, [this, sub] { mdi_->setActiveSubWindow(sub); });
    }
}

void MainWindow::BuildHelpMenu() {
    QMenu* m = menuBar()->addMenu(QStringLiteral("&Help"));
    act_->help = m->addAction(QStringLiteral("&Help Topics"), this, &MainWindow::ShowHelp);
    act_->help->setShortcut(QKeySequence::HelpContents);
    QAction* whatsThis = QWhatsThis::createAction(this);
    whatsThis->setShortcut(QKeySequence(Qt::SHIFT | Qt::Key_F1));
    whatsThis->setIcon(CommandIcon(CommandIconId::ContextHelp));
    m->addAction(whatsThis);
    // F6 and Shift+F6 move between the document and the panels.
    auto* nextPane = new QShortcut(QKeySequence(Qt::Key_F6), this);
    connect(nextPane, &QShortcut::activated, this, [this] { CyclePane(true); });
    auto* prevPane = new QShortcut(QKeySequence(Qt::SHIFT | Qt::Key_F6), this);
    connect(prevPane, &QShortcut::activated, this, [this] { CyclePane(false); });
    m->addSeparator();
    act_->about = m->addAction(QStringLiteral("&About %1...").arg(kAppTitle), this, &MainWindow::OnAbout);
}

bool MainWindow::GestureInProgress() const {
    for (DocumentWindow* w : DocumentWindows()) {
        const COrvaneView& v = w->Canvas()->View();
        if (v.HasCapture() || v.Drag().flags != 0) return true;
    }
    return false;
}

COrvaneView* MainWindow::ActiveView() const {
    CanvasView* c = ActiveCanvas();
    return c ? &c->View() : nullptr;
}

void MainWindow::OnPreferences() {
    PreferencesDialog dialog(app_.Settings(), this);
    if (dialog.exec() != QDialog::Accepted) return;
    dialog.Store(app_.Settings());
    // The grid follows its new spacing and colour.
    for (DocumentWindow* w : DocumentWindows())
        w->Canvas()->viewport()->update();
}

void MainWindow::UpdateCommands() {
    DocumentWindow* w = ActiveDocumentWindow();
    const bool open = w != nullptr;
    for (QAction* a : {act_->close, act_->save, act_->saveAs, act_->addImages, act_->addAvi, act_->newWindow,
                       act_->cascade, act_->tile, act_->arrange, act_->print, act_->printPreview})
        a->setEnabled(open);
    // Without a document File offers only what starts one, Print Setup, the recent files and Exit.
    for (QAction* a : {act_->close, act_->save, act_->saveAs, act_->addImages, act_->addAvi, act_->print,
                       act_->printPreview})
        a->setVisible(open);
    // Without a document only File, View, Capture and Help are offered.
    act_->editMenu->menuAction()->setVisible(open);
    act_->windowMenu->menuAction()->setVisible(open);
    const UndoCommandState u =
        open ? UndoState(w->Document().UndoManager()) : UndoCommandState{false, "Can't &Undo"};
    const UndoCommandState r =
        open ? RedoState(w->Document().UndoManager()) : UndoCommandState{false, "Can't &Redo"};
    act_->undo->setText(QString::fromStdString(u.text));
    act_->undo->setEnabled(u.enabled);
    act_->redo->setText(QString::fromStdString(r.text));
    act_->redo->setEnabled(r.enabled);
    UpdateObjectCommands(open ? &w->Document() : nullptr);
    UpdateSelectionCommands();
    UpdateImageCommands();
    UpdateViewCommands();
    if (w) w->UpdateTitle();
}

bool MainWindow::eventFilter(QObject* watched, QEvent* event) {
    // Closing the last window of a modified document offers to save it first.
    if (event->type() == QEvent::Close)
        if (auto* sub = qobject_cast<QMdiSubWindow*>(watched))
            if (auto* w = qobject_cast<DocumentWindow*>(sub->widget())) {
                int views = 0;
                for (DocumentWindow* other : DocumentWindows())
                    views += &other->Document() == &w->Document();
                if (views == 1 && !ConfirmClose(w)) {
                    event->ignore();
                    return true;
                }
            }
    return QMainWindow::eventFilter(watched, event);
}

} // namespace zepho

namespace zepho {

void MainWindow::CyclePane(bool forward) {
    QList<QWidget*> panes;
    if (QMdiSubWindow* sub = mdi_->activeSubWindow()) panes << sub->widget();
    for (QWidget* w : {static_cast<QWidget*>(objectsPanel_), static_cast<QWidget*>(optionsPanel_)})
        if (w->isVisible()) panes << w;
    if (panes.isEmpty()) return;
    int current = -1;
    for (int i = 0; i < panes.size(); ++i)
        if (panes[i]->isAncestorOf(QApplication::focusWidget()) || panes[i] == QApplication::focusWidget())
            current = i;
    const int next = (current + (forward ? 1 : panes.size() - 1)) % panes.size();
    panes[next]->setFocus(Qt::ShortcutFocusReason);
    if (QWidget* child = panes[next]->nextInFocusChain(); child && panes[next]->isAncestorOf(child))
        child->setFocus(Qt::ShortcutFocusReason);
}

} // namespace zepho
