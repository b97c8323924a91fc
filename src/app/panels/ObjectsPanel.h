// The objects panel: the active document's objects, topmost first, with thumbnails, the eye,
// lock and properties hot spots, the transparency box and the object buttons.
#pragma once

#include "edit/document/OrvaneDoc.h"

#include <QWidget>

#include <vector>

class QListWidget;
class QSpinBox;
class QRadioButton;
class QComboBox;
class QToolButton;

namespace zepho {

class CAppSettings;

class ObjectsPanel : public QWidget, private IDocObserver {
    Q_OBJECT
public:
    ObjectsPanel(CAppSettings& settings, IUiHost*& ui, QWidget* parent = nullptr);
    ~ObjectsPanel() override;

    // Shows the document of the active view (or none).
    void SetDocument(COrvaneDoc* doc);
    COrvaneDoc* Document() const { return doc_; }

    // Row geometry for the thumbnail size option s: rows are 36 + 16s high.
    int RowHeight() const;
    enum class HotSpot { None, Eye, Lock, Properties };
    HotSpot HotSpotAt(const QPoint& viewportPos, int* row) const;
    // The rows' objects, topmost first.
    const std::vector<Ref<CDrawObj>>& Items() const { return items_; }

    // Parts exposed for the tests.
    QListWidget* list = nullptr;
    QSpinBox* transparency = nullptr;
    QRadioButton* allObjects = nullptr;
    QRadioButton* visibleOnly = nullptr;
    QComboBox* sizeBox = nullptr;
    QToolButton* newButton = nullptr;
    QToolButton* duplicateButton = nullptr;
    QToolButton* deleteButton = nullptr;
    QToolButton* commandsButton = nullptr;

signals:
    void PropertiesRequested(CDrawObj* obj);

public slots:
    void Rebuild();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void ObjectsChanged() override { Rebuild(); }
    void ObjectsRepainted() override;
    void SelectionChanged() override;
    void RowsToDocument();
    void DocumentToRows();
    void UpdatePage();
    void OnTransparencyEdited();
    void ShowCommandsMenu();

    CAppSettings& settings_;
    IUiHost*& ui_;
    COrvaneDoc* doc_ = nullptr;
    std::vector<Ref<CDrawObj>> items_;
    bool updating_ = false;
    // A row pressed with the left button, and whether the mouse has since moved far enough to
    // drag it to another place in the stack.
    int pressRow_ = -1;
    QPoint pressPos_;
    bool draggingRow_ = false;
    bool DragRow(QEvent* event);
    class RowDelegate;
};

} // namespace zepho
