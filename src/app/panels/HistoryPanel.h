// The History panel: the active document's steps, the opened or new document first. A click or
// the arrow keys go to a row as one undo or redo jump.
#pragma once

#include "edit/document/OrvaneDoc.h"

#include <QWidget>

#include <functional>

class QLabel;
class QListWidget;

namespace zepho {

class HistoryPanel : public QWidget, private IDocObserver {
    Q_OBJECT
public:
    explicit HistoryPanel(QWidget* parent = nullptr);
    ~HistoryPanel() override;

    // Shows the history of the document of the active view (or none).
    void SetDocument(COrvaneDoc* doc);
    COrvaneDoc* Document() const { return doc_; }
    // Asked before a jump; false leaves the document where it is (a mouse gesture is running).
    std::function<bool()> mayJump;

    // Parts exposed for the tests.
    QListWidget* list = nullptr;
    QLabel* memory = nullptr;

signals:
    // The document went to another row.
    void Jumped();

public slots:
    void Rebuild();

private:
    void HistoryChanged() override { Rebuild(); }
    void OnRowChosen(int row);

    COrvaneDoc* doc_ = nullptr;
    bool updating_ = false;
};

} // namespace zepho
