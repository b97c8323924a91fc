#include "edit/undo/Undo.h"

#include "edit/document/OrvaneDoc.h"
#include "edit/undo/UndoStrings.h"
#include "edit/view/OrvaneView.h"
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
    if (COrvaneView* v = View()) v->InvalidateAll();
    if (rebuild) doc_->NotifyObjectsChanged();
    doc_->NotifyObjectsRepainted();
}

void CUndoAction::ReattachHandles(const CDrawObj* obj) const {
    COrvaneView* v = View();
    if (v && obj && v->ActiveObject() == obj) v->AttachHandles(Ref<CDrawObj>(v->ActiveObject()));
}

void CUndoManager::Add(std::unique_ptr<CUndoAction> action) {
    if (!action) return;
    const int limit = settings_ ? settings_->UndoMaxTimes : CAppSettings{}.UndoMaxTimes;
    // "More than": the list may hold one action beyond the limit.
    redo_.clear();
    if (undo_.size() > static_cast<std::size_t>(limit < 0 ? 0 : limit)) {
        base_ = undo_.front()->state_;
        undo_.pop_front();
    }
    action->state_ = ++lastState_;
    undo_.push_back(std::move(action));
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
