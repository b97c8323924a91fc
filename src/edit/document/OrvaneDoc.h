// A document: its content model, its object-name counters, its views and observers.
#pragma once

#include "codecs/OpenExport.h"
#include "edit/document/DocObserver.h"
#include "edit/undo/Undo.h"
#include "edit/view/Snap.h"
#include "model/DocImage.h"
#include "platform/Region.h"
#include "platform/Services.h"

#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace zepho {

class CAppSettings;
class COrvaneView;

// Reads a file into the model, choosing the reader by extension.
using FileLoader =
    std::function<bool(CDocImage& image, const std::string& path, LoadFlags& flags, IProgress*)>;

class COrvaneDoc {
public:
    COrvaneDoc();
    ~COrvaneDoc();
    COrvaneDoc(const COrvaneDoc&) = delete;
    COrvaneDoc& operator=(const COrvaneDoc&) = delete;

    CDocImage& Image() { return *image_; }
    const CDocImage& Image() const { return *image_; }

    // Name counters, in this order: image, rectangle, ellipse, polygon, text.
    enum Counter {
        CounterImage,
        CounterRectangle,
        CounterEllipse,
        CounterPolygon,
        CounterText,
        CounterCount
    };
    int counters[CounterCount] = {1, 1, 1, 1, 1};

    // The default name for a kind, consuming one number; empty for an unknown kind.
    std::string NextObjectName(int kind);
    // Every object gets a fresh default name, bottom to top.
    void RenameAllByKind();
    // Sets the canvas size and adds one image object filled with the colour (alpha 0 when
    // transparent). False when the image cannot be created.
    bool CreateNewImage(int width, int height, bool transparent, COLORREF colour);
    // The four counters that a new or opened document starts again (text keeps counting).
    void ResetShapeCounters();

    // Opens a file with the reader (the extension's reader unless another was set), as a freshly
    // opened document.
    bool OnOpenDocument(const std::string& path, IProgress* progress);
    void SetFileLoader(FileLoader loader) { loader_ = std::move(loader); }
    LoadFlags lastLoad;

    // The one entry through which commands record a change; the history owns the action.
    void AddUndo(std::unique_ptr<CUndoAction> action);
    CUndoManager& UndoManager() { return undo_; }
    const CUndoManager& UndoManager() const { return undo_; }
    // The Edit menu's Undo and Redo: nothing on an empty list. The document is unmodified again
    // exactly when the history returns to the state last opened or saved.
    void OnEditUndo();
    void OnEditRedo();
    // Undoes or redoes until `steps` actions are in the undo list (0: the document as opened or
    // created), as one change: the observers hear each event once, at the end.
    void JumpTo(std::size_t steps);
    // The history's state that equals the file (none once it cannot be reached again).
    std::uint64_t SavedState() const { return savedState_; }
    // Whether the document was read from a file (the history's first row is "Open"), rather
    // than created.
    bool WasOpened() const { return opened_; }
    // Whether some state of the document equals a file: it was opened, or saved since.
    bool HasSavedState() const { return hasFile_; }

    // The application's settings (not owned); built-in values until the shell sets them.
    void SetSettings(const CAppSettings* settings);
    const CAppSettings& Settings() const;

    // The native file the document was opened from or saved to; empty for a new document and for
    // one imported from another format (saving it then asks for a name).
    std::string filePath;
    // What the window shows while there is no file path (the imported file's name), if anything.
    std::string title;
    // The file an imported document was read from (never written to): dialogs start beside it.
    std::string importedFrom;
    // The guides and the grid's visibility; kept by the shell beside the file, not in it.
    CGuides guides;

    bool IsModified() const { return modified_; }
    // Marks a change (true) or that the document now equals its file (false: the saved point
    // moves to where the history stands). A change that no undo action recorded leaves no way
    // back to the saved state.
    void SetModifiedFlag(bool modified = true);
    // Grows with every change: a save clears the modified flag only when nothing changed while
    // it was writing.
    std::uint64_t ChangeCount() const { return changes_; }

    // Views showing this document; the first is the one commands talk to. Each view's selection
    // region is kept here (AddView returns it), so that undo sets it back without the view, which
    // hears SelectionRegionRestored.
    std::optional<Region>& AddView(COrvaneView* view);
    void RemoveView(COrvaneView* view);
    // The selection region of one of this document's views; none for a view it does not show in.
    std::optional<Region>* SelectionOf(const COrvaneView* view);
    COrvaneView* GetView() const { return views_.empty() ? nullptr : views_.front(); }
    // The view when it is one of this document's, else none (it may have closed).
    COrvaneView* FindView(const COrvaneView* view) const {
        for (COrvaneView* v : views_)
            if (v == view) return v;
        return nullptr;
    }

    void Subscribe(IDocObserver* observer);
    void Unsubscribe(IDocObserver* observer);
    void NotifyObjectsChanged();
    void NotifyObjectsRepainted();
    void NotifySelectionChanged();
    void NotifyDefaultMode();
    void NotifyHistoryChanged();
    void NotifyCanvasInvalidated();
    void NotifyCanvasResized();
    void NotifyObjectPlaced(const CDrawObj& obj);
    void NotifyObjectAreaChanged(const CDrawObj& obj);
    void NotifyObjectsRemoved();
    void NotifySelectionRegionRestored(const COrvaneView* view);

private:
    void Notify(void (IDocObserver::*event)());
    template <class Event> void NotifyNow(const Event& event);
    // While a jump runs, events wait here and go out once each when it ends.
    int holding_ = 0;
    std::vector<void (IDocObserver::*)()> held_;
    bool opened_ = false;
    bool hasFile_ = false;

    Ref<CDocImage> image_;
    FileLoader loader_;
    bool modified_ = false;
    std::uint64_t changes_ = 0;
    // The history's state when the document was last opened or saved, and the state the
    // newest recorded action led to; kNoState once the saved state cannot be reached.
    static constexpr std::uint64_t kNoState = ~std::uint64_t{0};
    std::uint64_t savedState_ = 0;
    std::uint64_t recordedState_ = kNoState;
    std::vector<COrvaneView*> views_;
    std::map<const COrvaneView*, std::optional<Region>> selections_;
    std::vector<IDocObserver*> observers_;
    const CAppSettings* settings_ = nullptr;
    // Declared last so that it goes first: its actions release objects of the image.
    CUndoManager undo_;
};

} // namespace zepho
