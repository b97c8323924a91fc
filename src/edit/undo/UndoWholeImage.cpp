#include "edit/undo/UndoWholeImage.h"

#include "edit/document/OrvaneDoc.h"
#include "edit/undo/UndoStrings.h"

namespace zepho {

const char* CWholeImageUndo::LabelOf(Variant v) {
    switch (v) {
    case Crop:
        return strings::kUndoCropToSelection;
    case FlipHorz:
        return strings::kUndoFlipHorz;
    case FlipVert:
        return strings::kUndoFlipVert;
    case Rotate90Cw:
        return strings::kUndoRotate90Cw;
    case Rotate90Ccw:
        return strings::kUndoRotate90Ccw;
    case Rotate180:
        return strings::kUndoRotate180;
    }
    return strings::kUndoFlipHorz;
}

CWholeImageUndo::CWholeImageUndo(Variant v, int width, int height, std::optional<Region> selection,
                                 const COrvaneView* view)
    : CResizeCanvasUndo(LabelOf(v), width, height), selection_(std::move(selection)), view_(view) {}

void CWholeImageUndo::ExchangeSelection() {
    RestoreSelection(view_, [this](std::optional<Region>& selection) { std::swap(selection, selection_); });
}

void CWholeImageUndo::Undo() {
    if (!Document()) return;
    for (auto it = transforms_.rbegin(); it != transforms_.rend(); ++it) {
        (*it)->SetDocument(Document());
        (*it)->Undo();
    }
    records_.Undo(*Document());
    ExchangeCanvas();
    ExchangeSelection();
    Repaint(true);
    SetRedoLabel();
}

void CWholeImageUndo::Redo() {
    if (!Document()) return;
    for (auto& t : transforms_) {
        t->SetDocument(Document());
        t->Redo();
    }
    records_.Redo(*Document());
    ExchangeCanvas();
    ExchangeSelection();
    Repaint(true);
    SetUndoLabel();
}

} // namespace zepho
