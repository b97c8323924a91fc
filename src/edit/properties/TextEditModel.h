// What the text editor edits on a text object, and how its result is confirmed.
#pragma once

#include "edit/document/OrvaneDoc.h"
#include "model/TextObj.h"

#include <vector>

namespace zepho {

class CAppSettings;

struct CTextEditValues {
    static constexpr int kMaxLine = 100;
    static constexpr int kMinBaseline = -100, kMaxBaseline = 100;
    static constexpr int kMaxCharacter = 100;
    static constexpr int kMaxThickness = 100;
    static constexpr int kMaxSmooth = 150;
    static constexpr int kMaxTransparency = 255;
    static constexpr int kFaceLimit = 31;

    std::vector<CTextRun> runs;
    int lineSpacing = 0;
    int alignment = CTextObj::kAlignLeft;
    _TEXTFILLMODE paint;
    int outline = 0;
    COLORREF outlineColor = 0;
    int outlineThickness = 0;
    int outlineTransparency = 0;
    int outlineSmooth = 0;

    static CTextEditValues Of(const CTextObj& text);
    // Every value held within its range; neighbouring runs of one format become one run.
    void Normalise();
    void ApplyTo(CTextObj& text) const;

    // A new text starts with the outline, line spacing and alignment the editor last confirmed.
    void TakeSettings(const CAppSettings& settings);
    void StoreSettings(CAppSettings& settings) const;
};

enum class TextCommit {
    Done,          // the object shows the new text (and an existing one recorded one undo step)
    Unchanged,     // an existing text confirmed as it was: nothing recorded
    NothingToShow, // the text renders nothing: the message was shown, the object is untouched
    Failed,        // not a text object
};

// Confirms the editor's values on a text object. A new text (placed by the text tool, which
// records its own step) only takes the values; an existing one records one properties step.
// The object keeps its top-left corner.
TextCommit CommitTextEdit(COrvaneDoc& doc, CDrawObj& obj, const CTextEditValues& values, bool isNew,
                          IUiHost& ui);

} // namespace zepho
