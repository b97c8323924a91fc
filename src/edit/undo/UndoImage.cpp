#include "edit/undo/UndoImage.h"

#include "edit/document/OrvaneDoc.h"
#include "edit/undo/UndoStrings.h"

#include <algorithm>
#include <cmath>

namespace zepho {

namespace {
void ReattachIfActive(COrvaneDoc& doc, CDrawObj* obj) {
    if (obj) doc.NotifyObjectPlaced(*obj);
}

int RoundScaled(int v, double s) {
    return static_cast<int>(std::floor(v * s + 0.5));
}
} // namespace

// --- raster records -------------------------------------------------------------------------

void CImageBackup::SetRaster(Ref<CDrawObj> obj, int kind, PackedDib dib) {
    obj_ = std::move(obj);
    kind_ = kind;
    raster_ = std::move(dib);
    shape_.Reset();
}

void CImageBackup::SetSource(Ref<CDrawObj> obj, int kind, Ref<CObjShape> shape) {
    obj_ = std::move(obj);
    kind_ = kind;
    shape_ = std::move(shape);
    raster_.Reset();
}

bool CImageBackup::Edit(Ref<CDrawObj> obj, PackedDib newDib, int dx, int dy) {
    if (!obj || !obj->content || !newDib) return false;
    CObjContent& c = *obj->content;
    if (c.shape)
        SetSource(obj, c.kind, c.shape);
    else
        SetRaster(obj, c.kind, std::move(c.raster));
    c.SetShape({});
    c.kind = KindImage;
    InstallRaster(c, std::move(newDib));
    obj->x += dx;
    obj->y += dy;
    SetDisplacement(dx, dy);
    return true;
}

bool CImageBackup::Exchange(COrvaneDoc& doc) {
    if (!obj_ || !obj_->content) return false;
    CObjContent& c = *obj_->content;
    PackedDib next = shape_ ? RenderForObject(*shape_) : std::move(raster_);
    if (!next) {
        // A shape that renders nothing would leave the object without pixels.
        if (!shape_) raster_ = std::move(next);
        return false;
    }
    Ref<CObjShape> nowShape;
    PackedDib nowRaster;
    const int nowKind = c.kind;
    if (c.kind != KindImage && c.shape)
        nowShape = c.shape;
    else
        nowRaster = std::move(c.raster);

    c.kind = kind_;
    c.SetShape(shape_);
    InstallRaster(c, std::move(next));
    c.selected = 1;

    kind_ = nowKind;
    shape_ = std::move(nowShape);
    raster_ = std::move(nowRaster);

    dx_ = -dx_;
    dy_ = -dy_;
    obj_->x += dx_;
    obj_->y += dy_;
    ReattachIfActive(doc, obj_.Get());
    return true;
}

bool CImageBackupSized::Resize(Ref<CDrawObj> obj, PackedDib newDib, double scaleX, double scaleY) {
    if (!obj || !obj->content || !newDib) return false;
    CObjContent& c = *obj->content;
    const int oldX = c.shadowOffsetX, oldY = c.shadowOffsetY;
    c.shadowOffsetX = RoundScaled(oldX, scaleX);
    c.shadowOffsetY = RoundScaled(oldY, scaleY);
    if (!Edit(std::move(obj), std::move(newDib))) {
        c.shadowOffsetX = oldX;
        c.shadowOffsetY = oldY;
        return false;
    }
    SetShadowOffsets(oldX, oldY);
    return true;
}

void CImageBackupSized::ExchangeSized(COrvaneDoc& doc) {
    if (!Object() || !Object()->content) return;
    CObjContent& c = *Object()->content;
    std::swap(c.shadowOffsetX, shadowX_);
    std::swap(c.shadowOffsetY, shadowY_);
    if (!Exchange(doc)) {
        std::swap(c.shadowOffsetX, shadowX_);
        std::swap(c.shadowOffsetY, shadowY_);
    }
}

std::unique_ptr<CObjectRemoval> CObjectRemoval::Remove(COrvaneDoc& doc, Ref<CDrawObj> obj) {
    const int index = obj ? doc.Image().objects.IndexOf(obj.Get()) : -1;
    if (index < 0) return {};
    auto r = std::make_unique<CObjectRemoval>(std::move(obj), index);
    r->Redo(doc);
    return r;
}

void CObjectRemoval::Undo(COrvaneDoc& doc) {
    if (!obj_) return;
    CDrawObjList& list = doc.Image().objects;
    if (list.IndexOf(obj_.Get()) >= 0) return;
    // An index the list has since outgrown would drop the object: it goes on top instead.
    list.InsertAt(obj_, std::clamp(index_, 0, list.Count()));
    if (obj_->content) obj_->content->selected = 1;
}

void CObjectRemoval::Redo(COrvaneDoc& doc) {
    if (obj_) doc.Image().objects.Remove(obj_.Get());
}

// --- composites -----------------------------------------------------------------------------

void CRecordList::Undo(COrvaneDoc& doc) {
    for (auto it = records_.rbegin(); it != records_.rend(); ++it)
        (*it)->Undo(doc);
}

void CRecordList::Redo(COrvaneDoc& doc) {
    for (auto& r : records_)
        r->Redo(doc);
}

void CCompositeUndo::Undo() {
    if (!Document()) return;
    records_.Undo(*Document());
    Document()->NotifySelectionChanged();
    Repaint(false);
    SetRedoLabel();
}

void CCompositeUndo::Redo() {
    if (!Document()) return;
    records_.Redo(*Document());
    Document()->NotifySelectionChanged();
    Repaint(false);
    SetUndoLabel();
}

const char* CRasterEditUndo::LabelOf(Variant v) {
    return v == PaintLine ? strings::kUndoPaintLine : strings::kUndoTrim;
}

const char* CImageOpUndo::LabelOf(Variant v) {
    switch (v) {
    case Negative:
        return strings::kUndoNegative;
    case Gray:
        return strings::kUndoGray;
    case MirrorHorz:
        return strings::kUndoMirrorHorz;
    case MirrorVert:
        return strings::kUndoMirrorVert;
    case AdjustRgb:
        return strings::kUndoAdjustRgb;
    case AdjustHsl:
        return strings::kUndoAdjustHsl;
    case AdjustBrightness:
        return strings::kUndoAdjustBrightness;
    case Blur:
        return strings::kUndoBlur;
    case GaussianBlur:
        return strings::kUndoGaussianBlur;
    case Sharpness:
        return strings::kUndoSharpness;
    case Emboss:
        return strings::kUndoEmboss;
    case Sunspot:
        return strings::kUndoSunspot;
    }
    return strings::kUndoNegative;
}

const char* CEraseUndo::LabelOf(Variant v) {
    return v == Flood ? strings::kUndoFlood : strings::kUndoErase;
}

void CEraseUndo::Undo() {
    if (!Document()) return;
    backup_.Undo(*Document());
    Repaint(false);
    SetRedoLabel();
}

void CEraseUndo::Redo() {
    if (!Document()) return;
    backup_.Redo(*Document());
    Repaint(false);
    SetUndoLabel();
}

const char* CCutDeleteUndo::LabelOf(Variant v) {
    return v == Cut ? strings::kUndoCut : strings::kUndoCutDelete;
}

void CCutDeleteUndo::Undo() {
    if (!Document()) return;
    // Afterwards exactly the restored objects are selected.
    Document()->Image().DeselectAll();
    records_.Undo(*Document());
    UndoExtra(*Document());
    Document()->NotifySelectionChanged();
    Repaint(true);
    SetRedoLabel();
}

void CCutDeleteUndo::Redo() {
    if (!Document()) return;
    records_.Redo(*Document());
    RedoExtra(*Document());
    Document()->NotifySelectionChanged();
    Repaint(true);
    SetUndoLabel();
}

// --- convert --------------------------------------------------------------------------------

CConvertUndo::CConvertUndo(Ref<CDrawObj> obj)
    : CUndoAction(strings::kUndoConvertFirst), obj_(std::move(obj)) {
    if (obj_ && obj_->content) {
        shape_ = obj_->content->shape;
        kind_ = obj_->content->kind;
    }
}

void CConvertUndo::Exchange() {
    if (!obj_ || !obj_->content) return;
    CObjContent& c = *obj_->content;
    if (shape_ != c.shape) {
        Ref<CObjShape> previous = c.shape;
        c.SetShape(shape_);
        shape_ = std::move(previous);
    }
    std::swap(c.kind, kind_);
    ReattachHandles(obj_.Get());
    Repaint(true);
}

void CConvertUndo::Undo() {
    Exchange();
    SetLabel(strings::kRedoConvert);
}

void CConvertUndo::Redo() {
    Exchange();
    SetLabel(strings::kUndoConvert);
}

} // namespace zepho
