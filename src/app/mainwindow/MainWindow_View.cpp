// Toolbars, the View menu, the options panel, the paint colours, context menus and the status
// bar's position text.
#include "app/canvas/CanvasView.h"
#include "app/canvas/DocumentWindow.h"
#include "app/dialogs/EffectStrings.h"
#include "app/mainwindow/AppStrings.h"
#include "app/mainwindow/Icons.h"
#include "app/mainwindow/MainWindowActions.h"
#include "app/mainwindow/ZephoApp.h"
#include "app/panels/ColorButton.h"
#include "app/panels/HistoryPanel.h"
#include "app/panels/ObjectsPanel.h"
#include "app/panels/OptionsPanel.h"
#include "app/properties/PropertyEditor.h"
#include "edit/commands/CmdAlign.h"
#include "edit/commands/CmdOrder.h"

#include <QActionGroup>
#include <QDockWidget>
#include <QLabel>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QMenuBar>
#include <QStatusBar>
#include <QToolBar>
#include <QWhatsThis>

namespace zepho {

namespace {
// Zoom command ids of the View menu: actual size, zoom in 2x..8x, zoom out 1/2x..1/8x.
constexpr int kZoomActual = 32922;
constexpr int kZoomInFirst = 32908;
constexpr int kZoomOutFirst = 32915;

// The tools in toolbar order, with their texts, icons and help.
struct ToolButton {
    int tool;
    const char* text;
    ToolIconId icon;
    const char* help;
};
constexpr ToolButton kTools[] = {
    {ToolMove, "Default Mode", ToolIconId::Default,
     "Selects and moves objects. Ctrl toggles an object's selection, Shift adds to it."},
    {ToolRectSelect, "Rectangular Selection", ToolIconId::RectSelect,
     "Drag a rectangle to select. Shift adds to the selection, Ctrl takes the old selection away; drag "
     "inside the selection to move it."},
    {ToolEllipseSelect, "Elliptical Selection", ToolIconId::EllipseSelect,
     "Drag an ellipse to select. Shift adds to the selection, Ctrl takes the old selection away."},
    {ToolLasso, "Lasso Selection", ToolIconId::Lasso,
     "Draw around the area to select. Shift adds to the selection, Ctrl takes the old selection away."},
    {ToolMagicWand, "Magic Wand Selection", ToolIconId::MagicWand,
     "Selects the pixels of similar colour around the click, or everywhere."},
    {ToolTransform, "Resize and Rotate", ToolIconId::Transform,
     "Scales the selected object with its handles and turns it with the knob."},
    {ToolText, "Text", ToolIconId::Text, "Click on the canvas to write a new text object."},
    {ToolPaintLine, "Pencil", ToolIconId::Pencil,
     "Draws lines with the foreground colour into an image object."},
    {ToolEraser, "Erase", ToolIconId::Erase, "Erases the pixels of an image object along the stroke."},
    {ToolFlood, "Flood Fill", ToolIconId::Fill,
     "Fills an area of similar colour: left button with the background colour, right with the "
     "foreground colour."},
    {ToolPicker, "Pick Color", ToolIconId::Picker,
     "Takes the colour under the mouse: left button for the foreground, right for the background."},
    {ToolRectangle, "Rectangle", ToolIconId::Rectangle,
     "Drag to draw a rectangle object: outline in the foreground colour, filled with the background colour."},
    {ToolEllipse, "Ellipse", ToolIconId::Ellipse,
     "Drag to draw an ellipse object: outline in the foreground colour, filled with the background colour."},
    {ToolPolygon, "Polygon", ToolIconId::Polygon,
     "Click to place each corner and double-click to finish the polygon object; Esc cancels it."}};
} // namespace

CanvasView* MainWindow::ActiveCanvas() const {
    DocumentWindow* w = ActiveDocumentWindow();
    return w ? w->Canvas() : nullptr;
}

void MainWindow::RunLayoutCommand(const QString& name) {
    CanvasView* c = ActiveCanvas();
    if (!c) return;
    COrvaneDoc& doc = c->View().Document();
    IUiHost& ui = Ui();
    if (name == "Move forward") CmdMoveForward(doc, ui);
    if (name == "Move backward") CmdMoveBackward(doc, ui);
    if (name == "Move to front") CmdMoveToFront(doc, ui);
    if (name == "Move to back") CmdMoveToBack(doc, ui);
    if (name == "Center vertically") CmdAlign(doc, AlignKind::CenterVert, ui);
    if (name == "Center horizontally") CmdAlign(doc, AlignKind::CenterHorz, ui);
    if (name == "Center horizontally and vertically") CmdAlign(doc, AlignKind::CenterBoth, ui);
    if (name == "Allign top") CmdAlign(doc, AlignKind::Top, ui);
    if (name == "Align right") CmdAlign(doc, AlignKind::Right, ui);
    if (name == "Align left") CmdAlign(doc, AlignKind::Left, ui);
    if (name == "Align bottom") CmdAlign(doc, AlignKind::Bottom, ui);
    UpdateCommands();
}

void MainWindow::BuildViewParts() {
    // Main toolbar: the commands that exist, in their order.
    QToolBar* main = addToolBar(QStringLiteral("Main Toolbar"));
    main->setObjectName(QStringLiteral("MainToolbar"));
    act_->newDoc->setIcon(CommandIcon(CommandIconId::New));
    act_->open->setIcon(CommandIcon(CommandIconId::Open));
    act_->openAvi->setIcon(CommandIcon(CommandIconId::OpenAvi));
    act_->addImages->setIcon(CommandIcon(CommandIconId::AddImages));
    act_->save->setIcon(CommandIcon(CommandIconId::Save));
    act_->undo->setIcon(CommandIcon(CommandIconId::Undo));
    act_->redo->setIcon(CommandIcon(CommandIconId::Redo));
    act_->copy->setIcon(CommandIcon(CommandIconId::Copy));
    act_->paste->setIcon(CommandIcon(CommandIconId::Paste));
    act_->deleteObjects->setIcon(CommandIcon(CommandIconId::Delete));
    act_->cut->setIcon(CommandIcon(CommandIconId::Cut));
    act_->deleteSelection->setIcon(CommandIcon(CommandIconId::Delete));
    act_->resizeImage->setIcon(CommandIcon(CommandIconId::ResizeImage));
    act_->print->setIcon(CommandIcon(CommandIconId::Print));
    for (QAction* a :
         {act_->newDoc, act_->open, act_->openAvi, act_->addImages, act_->save, act_->print, act_->undo,
          act_->redo, act_->cut, act_->copy, act_->paste, act_->deleteSelection, act_->resizeImage})
        main->addAction(a);
    // The effect dialogs used most, from the Transform menu.
    const std::pair<const char*, CommandIconId> effectButtons[] = {
        {effects::kMenuRgb, CommandIconId::AdjustRgb},
        {effects::kMenuHsl, CommandIconId::AdjustHsl},
        {effects::kMenuGaussianBlur, CommandIconId::GaussianBlur},
        {effects::kMenuSharpness, CommandIconId::Sharpness},
        {effects::kMenuEmboss, CommandIconId::Emboss}};
    for (const auto& [text, icon] : effectButtons)
        for (QAction* a : act_->imageOps)
            if (a->text() == QString::fromUtf8(text)) {
                a->setIcon(CommandIcon(icon));
                a->setToolTip(a->text());
                main->addAction(a);
            }
    act_->newDoc->setToolTip(QStringLiteral("New"));
    act_->open->setToolTip(QStringLiteral("Open"));
    act_->openAvi->setToolTip(QStringLiteral("Open AVI File"));
    act_->addImages->setToolTip(QStringLiteral("Add Image(s)"));
    act_->save->setToolTip(QStringLiteral("Save"));

    // Drawing toolbar: the tools, the zoom commands and the two paint colours.
    QToolBar* drawing = addToolBar(QStringLiteral("Drawing Toolbar"));
    drawing->setObjectName(QStringLiteral("DrawingToolbar"));
    addToolBar(Qt::LeftToolBarArea, drawing);
    toolGroup_ = new QActionGroup(this);
    for (const ToolButton& t : kTools) {
        QAction* a = drawing->addAction(ToolIcon(t.icon), t.text);
        a->setWhatsThis(QStringLiteral("<b>%1</b><br>%2").arg(t.text, t.help));
        a->setCheckable(true);
        a->setData(t.tool);
        toolGroup_->addAction(a);
        const int tool = t.tool;
        connect(a, &QAction::triggered, this, [this, tool] {
            if (CanvasView* c = ActiveCanvas()) c->View().SelectTool(tool);
            optionsPanel_->ShowToolPage(tool);
        });
    }
    toolGroup_->actions().first()->setChecked(true);
    drawing->addSeparator();

    QMenu* view = menuBar()->addMenu(QStringLiteral("&View"));
    act_->viewMenu = view;
    auto zoomAction = [this](QMenu* menu, const QString& text, int id) {
        QAction* a = menu->addAction(text, this, [this, id] {
            if (CanvasView* c = ActiveCanvas()) c->View().OnZoomCommand(id);
            UpdateCommands();
        });
        a->setCheckable(true);
        a->setData(id);
        act_->zoom.push_back(a);
        return a;
    };
    QAction* actual = zoomAction(view, QStringLiteral("&Actual Size"), kZoomActual);
    actual->setIcon(ToolIcon(ToolIconId::ActualSize));
    actual->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_1));
    act_->fitInWindow = view->addAction(QStringLiteral("&Fit in Window"), this, [this] {
        if (CanvasView* c = ActiveCanvas()) c->FitInWindow();
        UpdateCommands();
    });
    act_->fitInWindow->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_0));
    act_->playAnimation = view->addAction(QStringLiteral("&Play Animation"), this, [this] {
        if (CanvasView* c = ActiveCanvas()) {
            c->setFocus();
            c->PlayAnimation();
        }
    });
    QMenu* zoomIn = view->addMenu(QStringLiteral("Zoom In\t+"));
    QMenu* zoomOut = view->addMenu(QStringLiteral("Zoom Out\t-"));
    for (int i = 0; i < 7; ++i) {
        zoomAction(zoomIn, QStringLiteral("&%1x").arg(i + 2), kZoomInFirst + i);
        zoomAction(zoomOut, QStringLiteral("1/&%1x").arg(i + 2), kZoomOutFirst + i);
    }
    view->addSeparator();
    BuildGuideCommands(view);
    act_->zoomInStep =
        drawing->addAction(ToolIcon(ToolIconId::ZoomIn), QStringLiteral("Zoom In"), this, [this] {
            if (CanvasView* c = ActiveCanvas()) c->ZoomStep(true);
            UpdateCommands();
        });
    act_->zoomOutStep =
        drawing->addAction(ToolIcon(ToolIconId::ZoomOut), QStringLiteral("Zoom Out"), this, [this] {
            if (CanvasView* c = ActiveCanvas()) c->ZoomStep(false);
            UpdateCommands();
        });
    // + and - as on the toolbar, and the Ctrl forms other editors use; the window holds them so
    // that they work while the toolbar is hidden.
    act_->zoomInStep->setShortcuts({QKeySequence(Qt::Key_Plus), QKeySequence(Qt::CTRL | Qt::Key_Equal),
                                    QKeySequence(Qt::CTRL | Qt::Key_Plus)});
    act_->zoomOutStep->setShortcuts({QKeySequence(Qt::Key_Minus), QKeySequence(Qt::CTRL | Qt::Key_Minus)});
    addAction(act_->zoomInStep);
    addAction(act_->zoomOutStep);
    drawing->addAction(actual);
    drawing->addSeparator();
    foreButton_ = new ColorButton(paint.fore);
    foreButton_->setToolTip(QStringLiteral("Foreground color"));
    backButton_ = new ColorButton(paint.back);
    backButton_->setToolTip(QStringLiteral("Background color"));
    connect(foreButton_, &ColorButton::ColourChanged, this, [this](COLORREF c) { paint.fore = c; });
    connect(backButton_, &ColorButton::ColourChanged, this, [this](COLORREF c) { paint.back = c; });
    drawing->addWidget(foreButton_);
    drawing->addWidget(backButton_);
    // X swaps the two colours and D resets them to black on white, as in other editors.
    QAction* swap = drawing->addAction(QStringLiteral("Swap Colors"), this, [this] {
        std::swap(paint.fore, paint.back);
        foreButton_->SetColour(paint.fore);
        backButton_->SetColour(paint.back);
    });
    swap->setShortcut(QKeySequence(Qt::Key_X));
    swap->setIcon(CommandIcon(CommandIconId::SwapColours));
    QAction* reset = drawing->addAction(QStringLiteral("Default Colors"), this, [this] {
        paint.fore = RGB(0, 0, 0);
        paint.back = RGB(255, 255, 255);
        foreButton_->SetColour(paint.fore);
        backButton_->SetColour(paint.back);
    });
    reset->setShortcut(QKeySequence(Qt::Key_D));
    reset->setIcon(CommandIcon(CommandIconId::DefaultColours));
    for (QAction* a : {swap, reset}) {
        a->setToolTip(QStringLiteral("%1 (%2)").arg(a->text(), a->shortcut().toString()));
        addAction(a);
    }

    optionsPanel_ =
        new OptionsPanel(app_.Settings(), [this](const QString& name) { RunLayoutCommand(name); });
    auto* optionsDock = new QDockWidget(QStringLiteral("Options Panel"), this);
    optionsDock->setObjectName(QStringLiteral("OptionsPanel"));
    optionsDock->setWidget(optionsPanel_);
    optionsPanel_->setWhatsThis(QStringLiteral("The settings of the current tool."));
    objectsPanel_->setWhatsThis(QStringLiteral(
        "The objects of the document, topmost first: select them, show or hide them with the eye, lock them, "
        "open their properties and set their transparency."));
    main->addSeparator();
    QAction* contextHelp = QWhatsThis::createAction(this);
    contextHelp->setIcon(CommandIcon(CommandIconId::ContextHelp));
    main->addAction(contextHelp);
    addDockWidget(Qt::RightDockWidgetArea, optionsDock);

    historyPanel_ = new HistoryPanel;
    historyPanel_->mayJump = [this] { return !GestureInProgress(); };
    historyPanel_->setWhatsThis(QStringLiteral(
        "The steps of the document, oldest first: click a step, or move with the arrow keys, to undo or redo "
        "everything up to it. Greyed steps can be redone; the save icon marks the state saved in the file."));
    connect(historyPanel_, &HistoryPanel::Jumped, this, &MainWindow::UpdateCommands);
    connect(mdi_, &QMdiArea::subWindowActivated, this, [this] {
        DocumentWindow* w = ActiveDocumentWindow();
        historyPanel_->SetDocument(w ? &w->Document() : nullptr);
    });
    historyDock_ = new QDockWidget(kHistoryPanel, this);
    historyDock_->setObjectName(QStringLiteral("HistoryPanel"));
    historyDock_->setWidget(historyPanel_);
    addDockWidget(Qt::RightDockWidgetArea, historyDock_);
    tabifyDockWidget(objectsDock_, historyDock_);
    objectsDock_->raise();

    view->addSeparator();
    for (QAction* a : {main->toggleViewAction(), drawing->toggleViewAction(), optionsDock->toggleViewAction(),
                       objectsDock_->toggleViewAction(), historyDock_->toggleViewAction()})
        view->addAction(a);
    historyDock_->toggleViewAction()->setText(kHistoryMenu);
    historyDock_->toggleViewAction()->setStatusTip(QStringLiteral("Show or hide the history panel"));
    main->toggleViewAction()->setText(QStringLiteral("&Main Toolbar"));
    drawing->toggleViewAction()->setText(QStringLiteral("&Drawing Toolbar"));
    optionsDock->toggleViewAction()->setText(QStringLiteral("&Options Panel"));
    optionsDock->toggleViewAction()->setStatusTip(QStringLiteral("Show or hide options panel"));
    objectsDock_->toggleViewAction()->setText(QStringLiteral("O&bjects Panel"));
    QAction* status = view->addAction(QStringLiteral("&Status Bar"));
    status->setCheckable(true);
    status->setChecked(true);
    connect(status, &QAction::toggled, statusBar(), &QWidget::setVisible);
}

void MainWindow::ConnectCanvas(DocumentWindow* w) {
    CanvasView* c = w->Canvas();
    c->View().SelectTool(CurrentTool());
    COrvaneDoc* doc = &w->Document();
    c->textEditor = [this, doc](CDrawObj& obj) {
        return EditNewText(this, *doc, obj, app_.Settings(), Ui());
    };
    connect(c, &CanvasView::PropertiesRequested, this, [this, doc](CDrawObj* obj) {
        if (obj) EditObjectProperties(this, *doc, *obj, app_.Settings(), Ui());
        UpdateCommands();
    });
    connect(c, &CanvasView::StatusText, statusPos_, &QLabel::setText);
    connect(c, &CanvasView::ZoomChanged, this, &MainWindow::UpdateCommands);
    c->SetRulersShown(app_.Settings().ShowRulers != 0);
    connect(c, &CanvasView::GuidesChanged, this, [this, doc] { GuidesEdited(*doc); });
    connect(c, &CanvasView::PaintColoursEdited, this, [this] {
        foreButton_->SetColour(paint.fore);
        backButton_->SetColour(paint.back);
    });
    connect(c, &CanvasView::PickedColourChanged, optionsPanel_, &OptionsPanel::ShowPickedColour);
    connect(c, &CanvasView::ToolSwitched, this, [this](int tool) {
        for (QAction* a : toolGroup_->actions())
            a->setChecked(a->data().toInt() == tool);
        optionsPanel_->ShowToolPage(tool);
    });
    // A tool may have changed the selection region: Cut, Delete and Unselect All follow.
    connect(c, &CanvasView::ToolActed, this, &MainWindow::UpdateCommands);
    connect(c, &CanvasView::ContextMenuRequested, this, [this](ContextMenu menu, const QPoint& global) {
        QMenu m(this);
        if (menu == ContextMenu::Selection) {
            for (QAction* a : {act_->cut, act_->copy, act_->deleteSelection})
                m.addAction(a);
            m.addSeparator();
            for (QAction* a : {act_->selectAll, act_->unselectAll, act_->invertSelection})
                m.addAction(a);
            m.exec(global);
            return;
        }
        for (QAction* a : {act_->newObject, act_->duplicate, act_->deleteObjects})
            m.addAction(a);
        m.addSeparator();
        QMenu* order = m.addMenu(QStringLiteral("Sequence"));
        for (const char* name : {"Move forward", "Move backward", "Move to front", "Move to back"})
            order->addAction(name, this, [this, name] { RunLayoutCommand(name); });
        QMenu* align = m.addMenu(QStringLiteral("Layout"));
        for (const char* name :
             {"Center vertically", "Center horizontally", "Center horizontally and vertically", "Allign top",
              "Align right", "Align left", "Align bottom"})
            align->addAction(name, this, [this, name] { RunLayoutCommand(name); });
        m.addSeparator();
        for (QAction* a : {act_->trim, act_->combine, act_->makeFrame})
            m.addAction(a);
        m.exec(global);
    });
}

int MainWindow::CurrentTool() const {
    QAction* a = toolGroup_ ? toolGroup_->checkedAction() : nullptr;
    return a ? a->data().toInt() : ToolMove;
}

void MainWindow::UpdateViewCommands() {
    CanvasView* c = ActiveCanvas();
    act_->viewMenu->setEnabled(true);
    for (QAction* a : act_->zoom) {
        a->setEnabled(c != nullptr);
        a->setChecked(c && c->View().IsZoomCommandChecked(a->data().toInt()));
    }
    act_->zoomInStep->setEnabled(c && c->View().CanZoomIn());
    act_->zoomOutStep->setEnabled(c && c->View().CanZoomOut());
    act_->fitInWindow->setEnabled(c != nullptr);
    act_->playAnimation->setEnabled(c != nullptr);
    UpdateGuideCommands();
    statusZoom_->setText(c ? QString::fromStdString(c->View().ZoomText()) : QString());
    for (QAction* a : toolGroup_->actions())
        a->setEnabled(c != nullptr);
    if (c) {
        const int tool = c->View().ToolNumber();
        for (QAction* a : toolGroup_->actions())
            a->setChecked(a->data().toInt() == tool);
        optionsPanel_->ShowToolPage(tool);
    }
}

} // namespace zepho
