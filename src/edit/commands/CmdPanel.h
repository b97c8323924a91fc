// What the objects panel's eye, lock and transparency controls do to the document. The panel
// passes its items: the objects in panel order, top first.
#pragma once

#include "edit/document/OrvaneDoc.h"

#include <vector>

namespace zepho {

class CAppSettings;

// The panel's items: every object top first, or only the visible ones when the panel does
// not show all items.
std::vector<Ref<CDrawObj>> PanelItems(const CDocImage& image, bool showAllItems);

// The eye of item `item`: flips its visibility, and that of every selected item when it is
// selected itself. With the panel listing visible objects only, hidden objects lose their
// selection and the panel is told to list the objects again.
bool CmdToggleVisible(COrvaneDoc& doc, const CAppSettings& settings,
                      const std::vector<Ref<CDrawObj>>& panelItems, int item);
// The lock of item `item`, by the same rule.
bool CmdToggleLock(COrvaneDoc& doc, const std::vector<Ref<CDrawObj>>& panelItems, int item);
// Every selected item takes the transparency (its low 8 bits).
bool CmdSetTransparency(COrvaneDoc& doc, const std::vector<Ref<CDrawObj>>& panelItems, int value);

} // namespace zepho
