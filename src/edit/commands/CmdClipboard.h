// Copy, Copy Merged and Paste through the private clipboard block: whole objects, or what the
// view's selection region cuts out of them.
#pragma once

#include "edit/document/OrvaneDoc.h"
#include "platform/Region.h"
#include "platform/Services.h"

namespace zepho {

class COrvaneView;

// The selected visible objects, with their kinds, shadows and transparency. With a selection
// in the document's view, an object the region does not wholly cover goes as a plain image of
// its pixels inside the region (shadow merged in, transparency applied).
bool CmdCopy(COrvaneDoc& doc, IClipboard& clipboard, IUiHost& ui, const COrvaneView* view = nullptr);
// The same without the message, limited by the given region (none: whole objects). False when
// nothing was put on the clipboard.
bool CopySelectedObjects(COrvaneDoc& doc, IClipboard& clipboard, const Region* selection);
// The visible objects as the canvas shows them, merged into one plain image, limited to the
// view's selection when there is one.
bool CmdCopyMerged(COrvaneDoc& doc, IClipboard& clipboard, IUiHost& ui, const COrvaneView* view = nullptr);
// The clipboard's objects (or its plain bitmap as one image object), inserted above the
// highest selected object, or on top; they become the selection.
bool CmdPaste(COrvaneDoc& doc, const IClipboard& clipboard);

bool CanCopy(const COrvaneDoc& doc);
bool CanCopyMerged(const COrvaneDoc& doc);
bool CanPaste(const IClipboard& clipboard);

} // namespace zepho
