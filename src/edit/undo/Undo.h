// The undo history of one document: two lists of actions, newest at the tail.
#pragma once

#include "model/ObjContent.h"
#include "model/RasterTally.h"
#include "platform/Region.h"
#include "platform/RefObject.h"

#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace zepho {

class CAppSettings;
class COrvaneDoc;
class COrvaneView;
class CDrawObj;

// One recorded change. Built by the command after (or, for changes that run while the mouse
// moves, before) it changes the document; owned by the history once recorded.
class CUndoAction {
public:
    virtual ~CUndoAction() = default;
    CUndoAction(const CUndoAction&) = delete;
    CUndoAction& operator=(const CUndoAction&) = delete;

    virtual void Undo() {}
    virtual void Redo() {}

    std::string GetLabel() const { return label_; }
    // The step as the history lists it: the undo label without its first word.
    std::string StepName() const;
    // Adds the rasters and objects the action keeps for undo or redo.
    virtual void TallyRasters(CRasterTally& tally) const {}
    COrvaneDoc* Document() const { return doc_; }
    void SetDocument(COrvaneDoc* doc) { doc_ = doc; }

protected:
    explicit CUndoAction(const char* undoText) : undoText_(undoText), label_(undoText) {}

    // The label while the action waits in the redo list, and back again.
    void SetRedoLabel();
    void SetUndoLabel() { label_ = undoText_; }
    void SetLabel(std::string label) { label_ = std::move(label); }
    const char* UndoText() const { return undoText_; }

    // The document's first view, or none.
    COrvaneView* View() const;
    // `made` (the view an action was recorded in) while the document still shows it; the first
    // view when the action names none; none once that view has closed.
    COrvaneView* ViewOf(const COrvaneView* made) const;
    // Repaints the view and the objects panel; `rebuild` also makes the panel list the
    // objects again.
    void Repaint(bool rebuild) const;
    // The view's transform handles follow the object when it is the one carrying them.
    void ReattachHandles(const CDrawObj* obj) const;
    // Changes the selection region the document keeps for the view (ViewOf(made)) and tells the
    // view; false, with nothing changed, once that view has closed.
    bool RestoreSelection(const COrvaneView* made,
                          const std::function<void(std::optional<Region>&)>& change) const;

private:
    friend class CUndoManager;

    const char* undoText_;
    std::string label_;
    COrvaneDoc* doc_ = nullptr;
    // The document state this action leads to, numbered by the history that holds it.
    std::uint64_t state_ = 0;
};

// Part of a composite action that changes one object.
class CUndoRecord {
public:
    virtual ~CUndoRecord() = default;
    virtual void Undo(COrvaneDoc& doc) {}
    virtual void Redo(COrvaneDoc& doc) {}
    virtual void TallyRasters(CRasterTally& tally) const {}
};

// "Undo ..." becomes "Redo ...".
std::string RedoTextOf(const char* undoText);

// Renders a shape for its object. Vector shapes lose their transparent margins (the left and
// top ones are reported in `cut`) and a wholly transparent result counts as a failure; a
// transform source's rendering is kept whole, as the object's own transform keeps it.
PackedDib RenderForObject(CObjShape& shape, POINT* cut = nullptr);
// Installs a new raster and rebuilds the shadow when it is on.
void InstallRaster(CObjContent& content, PackedDib dib);

class CUndoManager {
public:
    // The limits are read from the settings at every Add; without settings they are the
    // built-in 26 steps and the automatic memory.
    void SetSettings(const CAppSettings* settings) { settings_ = settings; }
    // Adds the rasters the document itself shows: the history's memory leaves them out, since
    // dropping steps would not free them.
    void SetDocumentRasters(std::function<void(CRasterTally&)> rasters) { documentRasters_ = std::move(rasters); }

    // Records a new action. The redo list is discarded: its actions were undone, and redoing
    // one of them over the newer change would apply it to a document it was not made for.
    // Drops the oldest action when the undo list holds more than the step limit, and then the
    // oldest ones while the history holds more memory than its budget (the newest action
    // always stays).
    void Add(std::unique_ptr<CUndoAction> action);
    // Callers check PeekUndo/PeekRedo first.
    void Undo();
    void Redo();
    CUndoAction* PeekUndo() const { return undo_.empty() ? nullptr : undo_.back().get(); }
    CUndoAction* PeekRedo() const { return redo_.empty() ? nullptr : redo_.back().get(); }
    void RemoveAll();

    std::size_t UndoCount() const { return undo_.size(); }
    std::size_t RedoCount() const { return redo_.size(); }
    // The actions in history order: the undo list oldest first, then the redo list from the
    // next one to redo on (i < UndoCount() + RedoCount()).
    const CUndoAction* StepAt(std::size_t i) const;
    // The document state after step i (0 is the state below the oldest step).
    std::uint64_t StateAt(std::size_t i) const;
    // Pixel memory the history alone keeps alive, each block once.
    std::size_t HeldBytes() const;

    // Names the document state the history stands at: undoing and redoing back to a state gives
    // the same number, and a number, once left by a new action or a drop, never comes back.
    std::uint64_t State() const { return undo_.empty() ? base_ : undo_.back()->state_; }

private:
    void DropOldest();

    std::deque<std::unique_ptr<CUndoAction>> undo_;
    std::deque<std::unique_ptr<CUndoAction>> redo_;
    const CAppSettings* settings_ = nullptr;
    std::function<void(CRasterTally&)> documentRasters_;
    // The state below the oldest action left in the undo list.
    std::uint64_t base_ = 0;
    std::uint64_t lastState_ = 0;
};

// What the Edit menu shows for Undo and Redo.
struct UndoCommandState {
    bool enabled = false;
    std::string text;
};
UndoCommandState UndoState(const CUndoManager& manager);
UndoCommandState RedoState(const CUndoManager& manager);

} // namespace zepho
