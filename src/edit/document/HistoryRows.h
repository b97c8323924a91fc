// What the History panel lists: the document as opened or created, then one row per step.
#pragma once

#include "edit/document/OrvaneDoc.h"

#include <string>
#include <vector>

namespace zepho {

struct CHistoryRow {
    // "Open" or "New" for the first row, else the step's label without "Undo ".
    std::string text;
    // The state the document shows now.
    bool current = false;
    // A step that was undone and can be redone.
    bool redoable = false;
    // The state that equals the file.
    bool saved = false;
};

// Row i stands for the document after i steps (COrvaneDoc::JumpTo(i) goes there).
std::vector<CHistoryRow> HistoryRows(const COrvaneDoc& doc);

} // namespace zepho
