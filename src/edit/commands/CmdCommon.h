// Steps every object command shares: showing its messages and committing its one undo action.
#pragma once

#include "edit/document/OrvaneDoc.h"
#include "platform/Services.h"

#include <memory>
#include <string>

namespace zepho {

// A message box captioned with the application title.
void ShowCommandMessage(IUiHost& ui, const std::string& text, MsgIcon icon = MsgIcon::None);

// The views repaint and the objects panel follows; `rebuild` makes the panel list the objects
// again (they were added, removed, reordered or their selection changed).
void RefreshAfterCommand(COrvaneDoc& doc, bool rebuild);

// Records the action, marks the document modified and refreshes.
void CommitCommand(COrvaneDoc& doc, std::unique_ptr<CUndoAction> action, bool rebuild);

bool AnySelected(const CDocImage& image);

} // namespace zepho
