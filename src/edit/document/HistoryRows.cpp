#include "edit/document/HistoryRows.h"

#include "edit/undo/UndoStrings.h"

namespace zepho {

std::vector<CHistoryRow> HistoryRows(const COrvaneDoc& doc) {
    const CUndoManager& m = doc.UndoManager();
    const std::size_t current = m.UndoCount(), all = m.UndoCount() + m.RedoCount();
    // A document never read from or written to a file has no state to mark as saved.
    const bool hasFile = doc.HasSavedState();
    std::vector<CHistoryRow> rows(all + 1);
    rows[0].text = doc.WasOpened() ? strings::kHistoryOpen : strings::kHistoryNew;
    for (std::size_t i = 0; i <= all; ++i) {
        CHistoryRow& r = rows[i];
        if (i > 0) r.text = m.StepAt(i - 1)->StepName();
        r.current = i == current;
        r.redoable = i > current;
        r.saved = hasFile && (!doc.IsModified() ? r.current : m.StateAt(i) == doc.SavedState());
    }
    return rows;
}

} // namespace zepho
