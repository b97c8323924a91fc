// Undo of the Image menu's whole-picture commands: crop, flips and quarter turns. One action
// puts back the canvas size, every object's position, raster or geometry, and the selection.
#pragma once

#include "edit/undo/UndoCanvas.h"
#include "edit/undo/UndoTransform.h"

#include <memory>
#include <optional>
#include <vector>

namespace zepho {

class CWholeImageUndo : public CResizeCanvasUndo {
public:
    enum Variant { Crop, FlipHorz, FlipVert, Rotate90Cw, Rotate90Ccw, Rotate180 };
    static const char* LabelOf(Variant v);

    // The canvas size and the view's selection region before the command.
    CWholeImageUndo(Variant v, int width, int height, std::optional<Region> selection,
                    const COrvaneView* view = nullptr);
    // A raster the command replaced (CImageBackup); the object's position goes through AddObject.
    void AddRecord(std::unique_ptr<CUndoRecord> r) { records_.Add(std::move(r)); }
    // A shape turned through its own geometry; it puts back the position itself.
    void AddTransform(std::unique_ptr<CTransformUndo> t) {
        if (t) transforms_.push_back(std::move(t));
    }
    void Undo() override;
    void Redo() override;
    void TallyRasters(CRasterTally& tally) const override {
        CResizeCanvasUndo::TallyRasters(tally);
        records_.TallyRasters(tally);
        for (const auto& t : transforms_)
            t->TallyRasters(tally);
    }

private:
    void ExchangeSelection();
    CRecordList records_;
    std::vector<std::unique_ptr<CTransformUndo>> transforms_;
    std::optional<Region> selection_;
    const COrvaneView* view_;
};

} // namespace zepho
