// Where a document's dialogs open: beside the document they change, not over it or in a corner.
#pragma once

class QWidget;
class QRect;

namespace zepho {

// The on-screen frame of the active document window of the main window that owns `dialog`
// (its parent's top-level window); the main window's own frame when it shows no document.
// Empty when the dialog has no parent.
QRect ActiveDocumentFrame(const QWidget* dialog);

// Moves the dialog's frame next to the active document window: to its right, or to its left
// when the screen has no room there, or inside its right edge when the document fills the
// screen; always within the screen's available area.
void PlaceBesideDocument(QWidget* dialog);

// Places the dialog beside the document the first time it is shown.
void PlaceBesideDocumentOnShow(QWidget* dialog);

} // namespace zepho
