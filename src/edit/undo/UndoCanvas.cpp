#include "edit/undo/UndoCanvas.h"

#include "edit/document/OrvaneDoc.h"
#include "edit/undo/UndoStrings.h"

#include <cmath>

namespace zepho {

// --- selection ------------------------------------------------------------------------------

const char* CSelectionUndo::LabelOf(Variant v) {
    switch (v) {
    case Rectangular:
        return strings::kUndoRectSelection;
    case Elliptic:
        return strings::kUndoEllipseSelection;
    case Lasso:
        return strings::kUndoLassoSelection;
    case MagicWand:
        return strings::kUndoMagicWandSelection;
    case SelectAll:
        return strings::kUndoSelectAll;
    case UnselectAll:
        return strings::kUndoUnselectAll;
    case Invert:
        return strings::kUndoInvertSelection;
    }
    return strings::kUndoRectSelection;
}

CSelectionUndo::CSelectionUndo(Variant v, std::optional<Region> previous, const COrvaneView* view)
    : CUndoAction(LabelOf(v)), region_(std::move(previous)), view_(view) {}

void CSelectionUndo::Exchange() {
    RestoreSelection(view_, [this](std::optional<Region>& selection) { std::swap(selection, region_); });
}

void CSelectionUndo::Undo() {
    Exchange();
    SetRedoLabel();
}

void CSelectionUndo::Redo() {
    Exchange();
    SetUndoLabel();
}

CMoveSelectionUndo::CMoveSelectionUndo(int dx, int dy, const COrvaneView* view)
    : CUndoAction(strings::kUndoMoveSelection), dx_(dx), dy_(dy), view_(view) {}

void CMoveSelectionUndo::Exchange() {
    dx_ = -dx_;
    dy_ = -dy_;
    RestoreSelection(view_, [this](std::optional<Region>& selection) {
        if (selection) selection->Offset(dx_, dy_);
    });
}

// --- resample -------------------------------------------------------------------------------

CResampleRecord::CResampleRecord(Ref<CDrawObj> obj) : obj_(std::move(obj)) {
    if (!obj_ || !obj_->content) return;
    shadowX_ = obj_->content->shadowOffsetX;
    shadowY_ = obj_->content->shadowOffsetY;
    if (obj_->content->shape) geometry_ = obj_->content->shape->CreateTransformUndo();
}

bool CResampleRecord::Resize(double scaleX, double scaleY) {
    if (!obj_ || !obj_->content || !obj_->content->shape) return false;
    CObjContent& c = *obj_->content;
    return Resized(scaleX, scaleY, c.shape->Transform(scaleX, scaleY, c.shape->angle));
}

bool CResampleRecord::Resized(double scaleX, double scaleY, PackedDib dib) {
    if (!obj_ || !obj_->content || !dib) return false;
    CObjContent& c = *obj_->content;
    scaleX_ = scaleX;
    scaleY_ = scaleY;
    c.shadowOffsetX = static_cast<int>(std::floor(c.shadowOffsetX * scaleX + 0.5));
    c.shadowOffsetY = static_cast<int>(std::floor(c.shadowOffsetY * scaleY + 0.5));
    InstallRaster(c, std::move(dib));
    return true;
}

bool CResampleRecord::Exchange(COrvaneDoc& doc) {
    if (!obj_ || !obj_->content || !obj_->content->shape) return false;
    CObjContent& c = *obj_->content;
    CObjShape& shape = *c.shape;
    CGeometryMemento aside = shape.CreateTransformUndo();
    shape.RestoreGeometry(geometry_);
    PackedDib dib = shape.Render();
    if (!dib) {
        shape.RestoreGeometry(aside);
        return false;
    }
    scaleX_ = 1.0 / scaleX_;
    scaleY_ = 1.0 / scaleY_;
    geometry_ = std::move(aside);
    std::swap(c.shadowOffsetX, shadowX_);
    std::swap(c.shadowOffsetY, shadowY_);
    InstallRaster(c, std::move(dib));
    doc.NotifyObjectPlaced(*obj_);
    return true;
}

// --- canvas ---------------------------------------------------------------------------------

CResizeCanvasUndo::CResizeCanvasUndo(int width, int height)
    : CResizeCanvasUndo(strings::kUndoResizeCanvas, width, height) {}

CResizeCanvasUndo::CResizeCanvasUndo(const char* label, int width, int height)
    : CUndoAction(label), width_(width), height_(height) {}

void CResizeCanvasUndo::AddObject(Ref<CDrawObj> obj, int left, int top) {
    if (obj) entries_.push_back({std::move(obj), left, top});
}

void CResizeCanvasUndo::ExchangeCanvas() {
    if (!Document()) return;
    CDocImage& img = Document()->Image();
    std::swap(img.width, width_);
    std::swap(img.height, height_);
    for (Entry& e : entries_) {
        std::swap(e.obj->x, e.left);
        std::swap(e.obj->y, e.top);
        ReattachHandles(e.obj.Get());
    }
    Document()->NotifyCanvasResized();
    Repaint(false);
}

void CResizeCanvasUndo::Undo() {
    ExchangeCanvas();
    SetRedoLabel();
}

void CResizeCanvasUndo::Redo() {
    ExchangeCanvas();
    SetUndoLabel();
}

CResizeAnimUndo::CResizeAnimUndo(int width, int height)
    : CResizeCanvasUndo(strings::kUndoResizeAnim, width, height) {}

void CResizeAnimUndo::Undo() {
    if (!Document()) return;
    records_.Undo(*Document());
    ExchangeCanvas();
    SetRedoLabel();
}

void CResizeAnimUndo::Redo() {
    if (!Document()) return;
    records_.Redo(*Document());
    ExchangeCanvas();
    SetUndoLabel();
}

CPhotoInfoUndo::CPhotoInfoUndo(CPhotoInfo before)
    : CUndoAction(strings::kUndoRemoveLocation), other_(std::move(before)) {}

void CPhotoInfoUndo::Exchange() {
    if (Document()) std::swap(Document()->Image().photoInfo, other_);
}

} // namespace zepho
