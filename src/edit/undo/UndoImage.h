// Undo of raster edits: per-object raster records and the composite actions that hold them.
#pragma once

#include "edit/undo/Undo.h"
#include "model/DrawObj.h"

#include <memory>
#include <vector>

namespace zepho {

// An object's raster before an edit: its own pixels for a plain image, else the shape that
// renders them. Undo and redo both exchange it with the object's current raster.
class CImageBackup : public CUndoRecord {
public:
    // A plain raster; the record owns the DIB.
    void SetRaster(Ref<CDrawObj> obj, int kind, PackedDib dib);
    // A raster generated from a shape.
    void SetSource(Ref<CDrawObj> obj, int kind, Ref<CObjShape> shape);
    // How far the edit moved the object (a trim's left and top margins).
    void SetDisplacement(int dx, int dy) {
        dx_ = dx;
        dy_ = dy;
    }
    // The whole edit: keeps the object's raster (or its shape), installs the new one, makes the
    // object a plain image and moves it by (dx, dy). False, with nothing changed, without a
    // content or a new raster.
    bool Edit(Ref<CDrawObj> obj, PackedDib newDib, int dx = 0, int dy = 0);

    void Undo(COrvaneDoc& doc) override { Exchange(doc); }
    void Redo(COrvaneDoc& doc) override { Exchange(doc); }
    void TallyRasters(CRasterTally& tally) const override {
        tally.Add(raster_);
        tally.AddShape(shape_.Get());
        tally.AddObject(obj_.Get());
    }

    const Ref<CDrawObj>& Object() const { return obj_; }
    int StoredKind() const { return kind_; }
    const Ref<CObjShape>& StoredShape() const { return shape_; }
    const PackedDib& StoredRaster() const { return raster_; }

protected:
    // False, with the object and the record unchanged, when the stored shape renders nothing.
    bool Exchange(COrvaneDoc& doc);

private:
    Ref<CDrawObj> obj_;
    int kind_ = 0;
    PackedDib raster_;
    Ref<CObjShape> shape_;
    int dx_ = 0, dy_ = 0;
};

// A resampled plain raster: also the shadow offsets, which scale with it.
class CImageBackupSized : public CImageBackup {
public:
    void SetShadowOffsets(int x, int y) {
        shadowX_ = x;
        shadowY_ = y;
    }
    // The resize: as Edit, and the shadow offsets scale by the factors, rounded.
    bool Resize(Ref<CDrawObj> obj, PackedDib newDib, double scaleX, double scaleY);

    void Undo(COrvaneDoc& doc) override { ExchangeSized(doc); }
    void Redo(COrvaneDoc& doc) override { ExchangeSized(doc); }

private:
    void ExchangeSized(COrvaneDoc& doc);
    int shadowX_ = 10, shadowY_ = 10;
};

// A whole object taken out of the frame. Applied when made.
class CObjectRemoval : public CUndoRecord {
public:
    // Removes the object now and returns the record; none when the object is not in the frame.
    static std::unique_ptr<CObjectRemoval> Remove(COrvaneDoc& doc, Ref<CDrawObj> obj);
    CObjectRemoval(Ref<CDrawObj> obj, int index) : obj_(std::move(obj)), index_(index) {}

    // Puts the object back at its index, selected.
    void Undo(COrvaneDoc& doc) override;
    void Redo(COrvaneDoc& doc) override;
    void TallyRasters(CRasterTally& tally) const override { tally.AddObject(obj_.Get()); }
    const Ref<CDrawObj>& Object() const { return obj_; }
    int Index() const { return index_; }

private:
    Ref<CDrawObj> obj_;
    int index_ = -1;
};

// Records in the order the command visited the objects. Undo walks them backwards so that
// removals go back at the indices they were taken from.
class CRecordList {
public:
    void Add(std::unique_ptr<CUndoRecord> r) {
        if (r) records_.push_back(std::move(r));
    }
    bool IsEmpty() const { return records_.empty(); }
    std::size_t Count() const { return records_.size(); }
    void Undo(COrvaneDoc& doc);
    void Redo(COrvaneDoc& doc);
    void TallyRasters(CRasterTally& tally) const {
        for (const auto& r : records_)
            r->TallyRasters(tally);
    }

private:
    std::vector<std::unique_ptr<CUndoRecord>> records_;
};

// Base of the actions that only replay their records.
class CCompositeUndo : public CUndoAction {
public:
    void AddRecord(std::unique_ptr<CUndoRecord> r) { records_.Add(std::move(r)); }
    // A command records the action only when some object changed.
    bool IsEmpty() const { return records_.IsEmpty(); }
    std::size_t Count() const { return records_.Count(); }
    void Undo() override;
    void Redo() override;
    void TallyRasters(CRasterTally& tally) const override { records_.TallyRasters(tally); }

protected:
    explicit CCompositeUndo(const char* label) : CUndoAction(label) {}
    CRecordList records_;
};

class CRasterEditUndo : public CCompositeUndo {
public:
    enum Variant { Trim, PaintLine };
    static const char* LabelOf(Variant v);
    explicit CRasterEditUndo(Variant v) : CCompositeUndo(LabelOf(v)) {}
};

class CImageOpUndo : public CCompositeUndo {
public:
    enum Variant {
        Negative,
        Gray,
        MirrorHorz,
        MirrorVert,
        AdjustRgb,
        AdjustHsl,
        AdjustBrightness,
        Blur,
        GaussianBlur,
        Sharpness,
        Emboss,
        Sunspot
    };
    static const char* LabelOf(Variant v);
    explicit CImageOpUndo(Variant v) : CCompositeUndo(LabelOf(v)) {}
};

// One object's raster; recorded when the stroke begins.
class CEraseUndo : public CUndoAction {
public:
    enum Variant { Erase, Flood };
    static const char* LabelOf(Variant v);
    explicit CEraseUndo(Variant v) : CUndoAction(LabelOf(v)) {}
    CImageBackup& Backup() { return backup_; }
    void Undo() override;
    void Redo() override;
    void TallyRasters(CRasterTally& tally) const override { backup_.TallyRasters(tally); }

private:
    CImageBackup backup_;
};

// Cut or delete: of the selected part (raster records) or of whole objects (removals).
class CCutDeleteUndo : public CCompositeUndo {
public:
    enum Variant { Cut, Delete };
    static const char* LabelOf(Variant v);
    explicit CCutDeleteUndo(Variant v) : CCompositeUndo(LabelOf(v)) {}
    void Undo() override;
    void Redo() override;

protected:
    virtual void UndoExtra(COrvaneDoc&) {}
    virtual void RedoExtra(COrvaneDoc&) {}
};

// A cut of the selected part that left some objects without pixels: those are removed too.
class CCutRemoveUndo : public CCutDeleteUndo {
public:
    using CCutDeleteUndo::CCutDeleteUndo;
    void AddRemoval(std::unique_ptr<CObjectRemoval> r) { removals_.Add(std::move(r)); }
    void TallyRasters(CRasterTally& tally) const override {
        CCutDeleteUndo::TallyRasters(tally);
        removals_.TallyRasters(tally);
    }

protected:
    void UndoExtra(COrvaneDoc& doc) override { removals_.Undo(doc); }
    void RedoExtra(COrvaneDoc& doc) override { removals_.Redo(doc); }

private:
    CRecordList removals_;
};

// Turning a shape object into a plain image: the pixels stay, the source and kind go.
class CConvertUndo : public CUndoAction {
public:
    // Takes the object's shape and kind as they are before the conversion.
    explicit CConvertUndo(Ref<CDrawObj> obj);
    void Undo() override;
    void Redo() override;
    void TallyRasters(CRasterTally& tally) const override {
        tally.AddObject(obj_.Get());
        tally.AddShape(shape_.Get());
    }

private:
    void Exchange();
    Ref<CDrawObj> obj_;
    Ref<CObjShape> shape_;
    int kind_ = 0;
};

} // namespace zepho
