#include "edit/commands/CmdPhotoInfo.h"

#include "codecs/PhotoInfoIo.h"
#include "edit/commands/CmdCommon.h"
#include "edit/undo/UndoCanvas.h"

namespace zepho {

bool CmdRemoveLocation(COrvaneDoc& doc) {
    CPhotoInfo& info = doc.Image().photoInfo;
    if (!SummarizePhotoInfo(info).hasLocation) return false;
    CPhotoInfo before = info;
    if (!RemovePhotoLocation(info)) return false;
    CommitCommand(doc, std::make_unique<CPhotoInfoUndo>(std::move(before)), false);
    return true;
}

} // namespace zepho
