// The text editor: rich text typed in a text box with its font, size, weight, slant, glyph
// outline, baseline offset and character spacing, over the text object's line spacing,
// alignment, fill and soft outline. Its contents become the object's runs and back.
#pragma once

#include "edit/properties/TextEditModel.h"

#include <QDialog>

#include <functional>
#include <vector>

class QCheckBox;
class QComboBox;
class QFontComboBox;
class QTabWidget;
class QTextCharFormat;
class QTextDocument;
class QTextEdit;
class QToolButton;

namespace zepho {

class BoundBox;
class ColorButton;

// The runs a rich-text document holds: one per stretch of one format, the last run of every
// line but the last marked as ending it.
std::vector<CTextRun> RunsFromDocument(const QTextDocument& doc);
// Fills the document with the runs, every paragraph aligned alike (0, 2 or 6).
void DocumentFromRuns(QTextDocument& doc, const std::vector<CTextRun>& runs, int alignment);

class TextEditorDialog : public QDialog {
    Q_OBJECT
public:
    TextEditorDialog(const CTextEditValues& values, IUiHost& ui, QWidget* parent = nullptr);

    CTextEditValues Values() const;
    // Asked by OK; false keeps the dialog open on its text page with the focus in the text.
    std::function<bool(const CTextEditValues&)> confirm;

    void accept() override;

    QTabWidget* tabs = nullptr;
    QTextEdit* edit = nullptr;
    QFontComboBox* face = nullptr;
    QComboBox* size = nullptr;
    QToolButton* bold = nullptr;
    QToolButton* italic = nullptr;
    QToolButton* outlined = nullptr;
    BoundBox* line = nullptr;
    BoundBox* baseline = nullptr;
    BoundBox* character = nullptr;
    QToolButton* align[3] = {}; // left, centre, right
    ColorButton* colour1 = nullptr;
    ColorButton* colour2 = nullptr;
    QToolButton* styles[6] = {};
    QCheckBox* outline = nullptr;
    ColorButton* outlineColour = nullptr;
    BoundBox* thickness = nullptr;
    BoundBox* smooth = nullptr;
    BoundBox* outlineTransparency = nullptr;

private:
    QWidget* BuildTextPage();
    QWidget* BuildAppearancePage();
    QWidget* BuildOutlinePage();
    // Applies a format to the selection, or to what is typed next.
    void Merge(const QTextCharFormat& format);
    void ShowFormat(const QTextCharFormat& format);
    void SetAlignment(int alignment);
    void RefreshStyles();

    IUiHost& ui_;
    int alignment_ = 0;
    int mode_ = 0;
    // Kept through the editor unchanged.
    WORD paintReserved_ = 0;
    bool showing_ = false;
};

} // namespace zepho
