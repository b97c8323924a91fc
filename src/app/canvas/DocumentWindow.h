// One MDI child: a view of a document. Several windows may show the same document.
#pragma once

#include "edit/document/OrvaneDoc.h"
#include "edit/tools/Tool.h"

#include <QString>
#include <QWidget>

#include <memory>

namespace zepho {

class CanvasView;
class CAppSettings;

class DocumentWindow : public QWidget, private IDocObserver {
    Q_OBJECT
public:
    DocumentWindow(std::shared_ptr<COrvaneDoc> doc, CPaintColours* colours, IUiHost* ui,
                   const CAppSettings* settings, QWidget* parent = nullptr);
    ~DocumentWindow() override;

    COrvaneDoc& Document() const { return *doc_; }
    const std::shared_ptr<COrvaneDoc>& SharedDocument() const { return doc_; }
    CanvasView* Canvas() const { return canvas_; }

    // The document's file (empty until saved or opened) and the title shown for it.
    QString FilePath() const;
    void SetFilePath(const QString& path);
    QString DocumentTitle() const;
    void UpdateTitle();
    // Tells apart documents of the same name: "Untitled 2".
    void SetTitleNumber(int n) {
        titleNumber_ = n;
        UpdateTitle();
    }

signals:
    // The document changed in a way that can change the state of commands.
    void DocumentChanged();

private:
    void ObjectsChanged() override;
    void ObjectsRepainted() override;
    void SelectionChanged() override;

    std::shared_ptr<COrvaneDoc> doc_;
    CanvasView* canvas_ = nullptr;
    int titleNumber_ = 0;
};

} // namespace zepho
