// The main window: the documents' MDI area, menus, toolbars and status bar.
#pragma once

#include "app/services/QtServices.h"
#include "edit/document/OrvaneDoc.h"
#include "edit/tools/Tool.h"

#include <QImage>
#include <QMainWindow>
#include <QPrinter>

#include <functional>
#include <memory>

class QMdiArea;
class QMdiSubWindow;
class QLabel;
class QProgressBar;
class QAction;
class QDockWidget;
class QMenu;

class QActionGroup;

namespace zepho {

class HistoryPanel;
class CZephoApp;
class COrvaneDoc;
class DocumentWindow;
class ObjectsPanel;
class OptionsPanel;
class CanvasView;
class COrvaneView;
class ColorButton;

class MainWindow : public QMainWindow {
    Q_OBJECT
public:
    explicit MainWindow(CZephoApp& app, QWidget* parent = nullptr);
    ~MainWindow() override;

    // File commands. NewDocument asks with the "New Image" dialog unless the application says
    // to skip it; the others report failures in message boxes and return false.
    DocumentWindow* NewDocument();
    DocumentWindow* OpenDocument(const QString& path);
    // The start-up's file: opened once the event loop runs (the window shows and paints first),
    // read on a worker with progress; `then` runs after it, whether it opened or not.
    void OpenWhenShown(const QString& path, std::function<void()> then = {});
    // "Add Image(s)" and "Add AVI" with the chosen files: read on a worker with progress, then
    // added in one undo step. True when anything was added.
    bool AddImageFiles(DocumentWindow* window, const QStringList& files, bool video = false);
    bool SaveDocument(DocumentWindow* window);
    bool SaveDocumentAs(DocumentWindow* window, const QString& path);
    // Asks to save a modified document whose last window is closing; false means cancel.
    bool ConfirmClose(DocumentWindow* window);
    // A document recovered from an autosave, in a window of its own.
    DocumentWindow* AddRestoredDocument(std::shared_ptr<COrvaneDoc> doc) { return AddWindow(std::move(doc)); }

    DocumentWindow* ActiveDocumentWindow() const;
    QList<DocumentWindow*> DocumentWindows() const;
    QMdiArea* MdiArea() const { return mdi_; }
    IUiHost& Ui() { return *uiHost_; }
    // Tests answer the message boxes instead of a user.
    void SetUiHost(IUiHost* host) { uiHost_ = host ? host : &ui_; }
    IProgress& Progress() { return progress_; }

    // The paint colours of the two colour buttons.
    CPaintColours paint;

public slots:
    void UpdateCommands();

protected:
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    void BuildFileMenu();
    void BuildEditMenu();
    // Cut, Delete, Select All, Unselect All and Invert, placed among the Edit menu's commands.
    void BuildSelectionCommands();
    void UpdateSelectionCommands();
    void BuildWindowMenu();
    void FillWindowList();
    void BuildHelpMenu();
    void BuildObjectMenus();
    // The Image menu, between Edit and Object: crop, flips and turns of the whole picture.
    void BuildImageMenu();
    void UpdateImageCommands();
    // The Capture menu and the controller behind its commands.
    void BuildCaptureMenu();
    class CaptureController* capture_ = nullptr;
    void BuildPrintCommands(QMenu* file, QAction* before);
    void PrintDocument(QPrinter& printer);
    void ShowHelp();
    void CyclePane(bool forward);
    static void LoadHelp();
    void BuildViewParts();
    // View > Rulers, Guides, Grid and Snap.
    void BuildGuideCommands(QMenu* view);
    void UpdateGuideCommands();
    // The document's guides or grid changed: its windows repaint and the file's record follows.
    void GuidesEdited(COrvaneDoc& doc);
    void ConnectCanvas(DocumentWindow* window);
    void UpdateViewCommands();
    int CurrentTool() const;
    void UpdateObjectCommands(COrvaneDoc* doc);
    void RebuildRecentFiles();
    DocumentWindow* AddWindow(std::shared_ptr<COrvaneDoc> doc);
    void OnOpen();
    void OnSave();
    void OnSaveAs();
    void OnProperties();
    void OnAddImages();
    void OnOpenAvi();
    void OnAddAvi();
    void BuildExportCommands(QMenu* menu);
    void OnExport(int formatIndex);
    QString AskSavePath(DocumentWindow* w);
    QString DocumentFolder(const DocumentWindow& w) const;
    void OnNewWindow();
    void OnPreferences();
    void OnAbout();
    bool ReadInto(COrvaneDoc& doc, const QString& path, bool& cancelled);
    FileLoader FileLoaderWithQuestions();
    // A loader whose questions (PSD layers, AVI messages) go to `host`.
    FileLoader FileLoaderAsking(IUiHost& host);

    // Set while a file is read or written: the progress pump repaints, and a close request that
    // arrives then must wait for the file to be done.
    bool busy_ = false;
    struct BusyScope {
        explicit BusyScope(bool& flag) : flag_(flag), was_(flag) { flag_ = true; }
        ~BusyScope() { flag_ = was_; }
        bool& flag_;
        bool was_;
    };

    CZephoApp& app_;
    QMdiArea* mdi_ = nullptr;
    QLabel* statusText_ = nullptr;
    QLabel* statusPos_ = nullptr;
    QLabel* statusZoom_ = nullptr;
    QProgressBar* progressBar_ = nullptr;
    QtUiHost ui_;
    IUiHost* uiHost_ = &ui_;
    QtProgress progress_;
    QtClipboard clipboard_;

public:
    ObjectsPanel* Panel() const { return objectsPanel_; }
    OptionsPanel* Options() const { return optionsPanel_; }
    HistoryPanel* History() const { return historyPanel_; }
    QDockWidget* HistoryDock() const { return historyDock_; }
    CanvasView* ActiveCanvas() const;
    COrvaneView* ActiveView() const;
    // A mouse gesture is running in some view: commands wait until it ends.
    bool GestureInProgress() const;
    // The visible objects over the export background colour, as printed.
    QImage FlattenedImage(const COrvaneDoc& doc) const;
    // Runs an order or align command by its name on the active view.
    void RunLayoutCommand(const QString& name);
    // View > Guides > New Guide...: asks for the direction and position; false when cancelled.
    bool AskNewGuide(bool& vertical, int& position);
    // Tests answer the New Guide dialog instead of a user.
    std::function<bool(bool&, int&)> newGuideAnswer;

private:
    QMenu* recentMenu_ = nullptr;
    ObjectsPanel* objectsPanel_ = nullptr;
    QDockWidget* objectsDock_ = nullptr;
    OptionsPanel* optionsPanel_ = nullptr;
    HistoryPanel* historyPanel_ = nullptr;
    QDockWidget* historyDock_ = nullptr;
    QActionGroup* toolGroup_ = nullptr;
    std::unique_ptr<QPrinter> printer_;
    ColorButton* foreButton_ = nullptr;
    ColorButton* backButton_ = nullptr;
    struct Actions;
    std::unique_ptr<Actions> act_;
};

} // namespace zepho
