// Where the shell opens the property sheet and the text editor.
#pragma once

#include "edit/document/OrvaneDoc.h"

#include <functional>

class QDialog;
class QWidget;

namespace zepho {

class CAppSettings;

// Runs a modal dialog and returns its result; tests drive the dialog instead of a user.
using DialogRunner = std::function<int(QDialog&)>;
// An empty runner goes back to exec().
void SetDialogRunner(DialogRunner runner);

// The property sheet of the object's kind ("Properties" for images, ellipses, rectangles and
// polygons, the text editor for text). True when the object changed (one undo step recorded).
bool EditObjectProperties(QWidget* parent, COrvaneDoc& doc, CDrawObj& obj, CAppSettings& settings,
                          IUiHost& ui);

// The text editor over an existing text object: true when the edit recorded one undo step.
bool EditTextObject(QWidget* parent, COrvaneDoc& doc, CDrawObj& obj, CAppSettings& settings, IUiHost& ui);

// The text editor over a text object the text tool has just placed (what the view host's
// OpenTextEditor answers): true when confirmed; the object then carries its text and raster
// and the tool records "Undo add text". What the editor confirms becomes the start of the next
// text (outline, line spacing, alignment).
bool EditNewText(QWidget* parent, COrvaneDoc& doc, CDrawObj& obj, CAppSettings& settings, IUiHost& ui);

} // namespace zepho
