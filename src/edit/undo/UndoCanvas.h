// Undo of the view's selection region and of canvas and animation resizes.
#pragma once

#include "edit/undo/UndoImage.h"
#include "model/PhotoInfo.h"
#include "platform/Region.h"

#include <optional>

namespace zepho {

class CSelectionUndo : public CUndoAction {
public:
    enum Variant { Rectangular, Elliptic, Lasso, MagicWand, SelectAll, UnselectAll, Invert };
    static const char* LabelOf(Variant v);
    // The view's region before the change; none when there was no selection. The selection
    // belongs to `view` (none: the document's first view).
    CSelectionUndo(Variant v, std::optional<Region> previous, const COrvaneView* view = nullptr);
    void Undo() override;
    void Redo() override;

private:
    void Exchange();
    std::optional<Region> region_;
    const COrvaneView* view_;
};

// Its label stays "Undo Move Selection" in both lists.
class CMoveSelectionUndo : public CUndoAction {
public:
    CMoveSelectionUndo(int dx, int dy, const COrvaneView* view = nullptr);
    void Undo() override { Exchange(); }
    void Redo() override { Exchange(); }

private:
    void Exchange();
    int dx_, dy_;
    const COrvaneView* view_;
};

// An object whose raster comes from a shape, resampled by scaling the shape.
class CResampleRecord : public CUndoRecord {
public:
    // Keeps the object's geometry and shadow offsets as they are now.
    explicit CResampleRecord(Ref<CDrawObj> obj);
    // The resize itself: scales the shape, renders it and scales the shadow offsets. False,
    // with nothing changed, when the object has no shape or the shape renders nothing.
    bool Resize(double scaleX, double scaleY);
    // The same with the rendering done elsewhere: the shape holds its new geometry already and
    // `dib` is what it renders (empty fails, with nothing changed).
    bool Resized(double scaleX, double scaleY, PackedDib dib);

    void Undo(COrvaneDoc& doc) override { Exchange(doc); }
    void Redo(COrvaneDoc& doc) override { Exchange(doc); }
    void TallyRasters(CRasterTally& tally) const override {
        tally.AddObject(obj_.Get());
        tally.AddShape(geometry_.shape.Get());
    }
    double ScaleX() const { return scaleX_; }
    double ScaleY() const { return scaleY_; }

private:
    bool Exchange(COrvaneDoc& doc);
    Ref<CDrawObj> obj_;
    double scaleX_ = 1.0, scaleY_ = 1.0;
    int shadowX_ = 10, shadowY_ = 10;
    // The other side's geometry, restored exactly rather than by multiplying with 1 / scale,
    // so that undo and redo never drift.
    CGeometryMemento geometry_;
};

class CResizeCanvasUndo : public CUndoAction {
public:
    // The canvas size before the resize.
    CResizeCanvasUndo(int width, int height);
    // An object the resize moved, with its position before.
    void AddObject(Ref<CDrawObj> obj, int left, int top);
    void Undo() override;
    void Redo() override;
    void TallyRasters(CRasterTally& tally) const override {
        for (const auto& e : entries_)
            tally.AddObject(e.obj.Get());
    }

protected:
    CResizeCanvasUndo(const char* label, int width, int height);
    void ExchangeCanvas();

private:
    struct Entry {
        Ref<CDrawObj> obj;
        int left, top;
    };
    int width_, height_;
    std::vector<Entry> entries_;
};

// "Resize Image": every object resampled, then the canvas exchange.
class CResizeAnimUndo : public CResizeCanvasUndo {
public:
    CResizeAnimUndo(int width, int height);
    // CImageBackupSized for plain rasters, CResampleRecord for rasters from shapes.
    void AddRecord(std::unique_ptr<CUndoRecord> r) { records_.Add(std::move(r)); }
    void Undo() override;
    void Redo() override;
    void TallyRasters(CRasterTally& tally) const override {
        CResizeCanvasUndo::TallyRasters(tally);
        records_.TallyRasters(tally);
    }

private:
    CRecordList records_;
};

// The document's photo information before a change to it.
class CPhotoInfoUndo : public CUndoAction {
public:
    explicit CPhotoInfoUndo(CPhotoInfo before);
    void Undo() override { Exchange(); }
    void Redo() override { Exchange(); }

private:
    void Exchange();
    CPhotoInfo other_;
};

} // namespace zepho
