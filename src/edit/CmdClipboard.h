// Copy, Copy Merged and Paste of whole objects through the private clipboard block.
#pragma once

#include "edit/OrvaneDoc.h"
#include "platform/Services.h"

namespace zepho {

// The selected visible objects, with their kinds, shadows and transparency.
bool CmdCopy(COrvaneDoc& doc, IClipboard& clipboard, IUiHost& ui);
// The visible objects as the canvas shows them, merged into one plain image.
bool CmdCopyMerged(COrvaneDoc& doc, IClipboard& clipboard, IUiHost& ui);
// The clipboard's objects (or its plain bitmap as one image object), inserted above the
// highest selected object, or on top; they become the selection.
bool CmdPaste(COrvaneDoc& doc, const IClipboard& clipboard);

bool CanCopy(const COrvaneDoc& doc);
bool CanCopyMerged(const COrvaneDoc& doc);
bool CanPaste(const IClipboard& clipboard);

} // namespace zepho
