// Commands on the photo information a document keeps from the file it was opened from.
#pragma once

#include "edit/document/OrvaneDoc.h"

namespace zepho {

// "Remove location": the GPS coordinates leave the document's photo information (Exif and XMP),
// everything else stays; one undo step. False, with nothing changed, when there is no location or
// the blocks cannot be rewritten.
bool CmdRemoveLocation(COrvaneDoc& doc);

} // namespace zepho
