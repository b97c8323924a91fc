#pragma once

namespace zepho {

class CDrawObj;
class COrvaneView;

// What panels and views hear from a document. Commands never paint: they change the model and
// tell the observers, who follow.
class IDocObserver {
public:
    virtual ~IDocObserver() = default;
    // Objects were added, removed, reordered or renamed: rebuild lists.
    virtual void ObjectsChanged() {}
    // Objects' pixels or placement changed: repaint.
    virtual void ObjectsRepainted() {}
    virtual void SelectionChanged() {}
    // A new or freshly opened document asks its views for the default tool.
    virtual void DefaultModeRequested() {}
    // Steps were recorded, undone, redone or dropped, or the saved state moved.
    virtual void HistoryChanged() {}
    // What undo and redo tell the views. The whole canvas is to be drawn afresh:
    virtual void CanvasInvalidated() {}
    // The canvas changed size:
    virtual void CanvasResized() {}
    // An object moved or changed shape (transform handles on it follow):
    virtual void ObjectPlaced(const CDrawObj& obj) {}
    // An object's area is to be drawn afresh:
    virtual void ObjectAreaChanged(const CDrawObj& obj) {}
    // Objects left the frame (handles on one of them go):
    virtual void ObjectsRemoved() {}
    // The selection region the document keeps for `view` was set back:
    virtual void SelectionRegionRestored(const COrvaneView* view) {}
};

} // namespace zepho
