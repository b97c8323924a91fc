#include "edit/undo/Undo.h"

#include "edit/document/OrvaneDoc.h"
#include "edit/undo/UndoStrings.h"
#include "model/AppSettings.h"
#include "raster/Dib.h"

#include <cstring>

namespace zepho {

std::string RedoTextOf(const char* undoText) {
    const std::size_t n = std::strlen(strings::kUndoWord);
    if (std::strncmp(undoText, strings::kUndoWord, n) != 0) return undoText;
    return strings::kRedoWord + std::string(undoText + n);
}

PackedDib RenderForObject(CObjShape& shape, POINT* cut) {
    if (cut) *cut = POINT{};
    PackedDib dib = shape.Render();
    if (!dib || shape.Kind() == KindTransformedImage) return dib;
    if (!dib.Is32()) return {};
    const Margins m = FindOpaqueBounds(dib);
    if (m.left + m.right >= dib.Width() || m.top + m.bottom >= dib.Height()) return {};
    if (m == Margins{}) return dib;
    if (cut) *cut = POINT{m.left, m.top};
    return CropDIB(dib, m.left, m.top, m.right, m.bottom);
}

void InstallRaster(CObjContent& content, PackedDib dib) {
    content.SetRaster(std::move(dib));
    if (content.HasShadow()) content.UpdateShadow();
}

std::string CUndoAction::StepName() const {
    const std::size_t n = std::strlen(strings::kUndoWord);
    if (std::strncmp(undoText_, strings::kUndoWord, n) == 0 && undoText_[n] == ' ') return undoText_ + n + 1;
    return undoText_;
}

void CUndoAction::SetRedoLabel() {
    label_ = RedoTextOf(undoText_);
}

COrvaneView* CUndoAction::View() const {
    return doc_ ? doc_->GetView() : nullptr;
}

COrvaneView* CUndoAction::ViewOf(const COrvaneView* made) const {
    if (!made) return View();
    return doc_ ? doc_->FindView(made) : nullptr;
}

void CUndoAction::Repaint(bool rebuild) const {
    if (!doc_) return;
    doc_->NotifyCanvasInvalidated();
    if (rebuild) doc_->NotifyObjectsChanged();
    doc_->NotifyObjectsRepainted();
}

void CUndoAction::ReattachHandles(const CDrawObj* obj) const {
    if (doc_ && obj) doc_->NotifyObjectPlaced(*obj);
}

bool CUndoAction::RestoreSelection(const COrvaneView* made, const std::function<void(std::optional<Region>&)>& change) const {
    const COrvaneView* view = ViewOf(made);
    std::optional<Region>* selection = doc_ && view ? doc_->SelectionOf(view) : nullptr;
    if (!selection) return false;
    change(*selection);
    doc_->NotifySelectionRegionRestored(view);
    return true;
}

void CUndoManager::DropOldest() {
    base_ = undo_.front()->state_;
    undo_.pop_front();
}

void CUndoManager::Add(std::unique_ptr<CUndoAction> action) {
    if (!action) return;
    const CAppSettings builtIn;
    const CAppSettings& settings = settings_ ? *settings_ : builtIn;
    const int limit = settings.UndoMaxTimes;
    // "More than": the list may hold one action beyond the limit.
    redo_.clear();
    if (undo_.size() > static_cast<std::size_t>(limit < 0 ? 0 : limit)) DropOldest();
    action->state_ = ++lastState_;
    undo_.push_back(std::move(action));
    const std::size_t budget = UndoBudgetBytes(settings);
    while (undo_.size() > 1 && HeldBytes() > budget)
        DropOldest();
}

const CUndoAction* CUndoManager::StepAt(std::size_t i) const {
    if (i < undo_.size()) return undo_[i].get();
    i -= undo_.size();
    return i < redo_.size() ? redo_[redo_.size() - 1 - i].get() : nullptr;
}

std::uint64_t CUndoManager::StateAt(std::size_t i) const {
    if (i == 0) return base_;
    const CUndoAction* a = StepAt(i - 1);
    return a ? a->state_ : 0;
}

std::size_t CUndoManager::HeldBytes() const {
    CRasterTally shown;
    if (documentRasters_) documentRasters_(shown);
    CRasterTally held(&shown);
    for (const auto& a : undo_)
        a->TallyRasters(held);
    for (const auto& a : redo_)
        a->TallyRasters(held);
    return held.Bytes();
}

void CUndoManager::Undo() {
    if (undo_.empty()) return;
    redo_.push_back(std::move(undo_.back()));
    undo_.pop_back();
    redo_.back()->Undo();
}

void CUndoManager::Redo() {
    if (redo_.empty()) return;
    undo_.push_back(std::move(redo_.back()));
    redo_.pop_back();
    undo_.back()->Redo();
}

void CUndoManager::RemoveAll() {
    undo_.clear();
    redo_.clear();
    base_ = ++lastState_;
}

UndoCommandState UndoState(const CUndoManager& manager) {
    if (const CUndoAction* a = manager.PeekUndo()) return {true, a->GetLabel()};
    return {false, strings::kCantUndo};
}

UndoCommandState RedoState(const CUndoManager& manager) {
    if (const CUndoAction* a = manager.PeekRedo()) return {true, a->GetLabel()};
    return {false, strings::kCantRedo};
}

} // namespace zepho
