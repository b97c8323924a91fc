// Commands that bring files into an open document.
#pragma once

#include "edit/document/OrvaneDoc.h"
#include "platform/Services.h"

#include <string>
#include <vector>

namespace zepho {

// "Add Image(s)": every object of each file, in order, on top of the stack and selected, with the
// next default name of its kind. Of a file that is neither a native document nor imported layers
// only the bottom object is shown. The first file that cannot be read stops the loop with "Load
// file %s fail!"; what earlier files added stays, under one undo record. True when anything was
// added.
// "Add AVI" is the same with its own undo label. The loader runs as long work (RunLongWork): in the
// shell on a worker thread, so it must ask its questions through a host that can be called there.
bool CmdAddImageFiles(COrvaneDoc& doc, const std::vector<std::string>& paths, IUiHost& ui,
                      const FileLoader& loader = &OpenFile, bool video = false);

} // namespace zepho
