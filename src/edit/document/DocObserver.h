#pragma once

namespace zepho {

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
};

} // namespace zepho
