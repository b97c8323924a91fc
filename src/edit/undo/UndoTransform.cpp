#include "edit/undo/UndoTransform.h"

#include "edit/document/OrvaneDoc.h"
#include "edit/undo/UndoStrings.h"
#include "model/BitmapObj.h"

namespace zepho {

std::unique_ptr<CTransformUndo> CTransformUndo::Create(Ref<CDrawObj> obj) {
    if (!obj || !obj->content) return {};
    CGeometryMemento g = obj->CreateTransformUndo();
    switch (obj->content->kind) {
    case KindEllipse:
        return std::make_unique<CEllipseTransformUndo>(std::move(obj), std::move(g));
    case KindRectangle:
        return std::make_unique<CRectTransformUndo>(std::move(obj), std::move(g));
    case KindPolygon:
        return std::make_unique<CPolygonTransformUndo>(std::move(obj), std::move(g));
    case KindText:
        return std::make_unique<CTextTransformUndo>(std::move(obj), std::move(g));
    default:
        return std::make_unique<CImageTransformUndo>(std::move(obj), std::move(g));
    }
}

CTransformUndo::CTransformUndo(Ref<CDrawObj> obj, CGeometryMemento geometry)
    : CUndoAction(strings::kUndoTransform), obj_(std::move(obj)), geometry_(std::move(geometry)) {
    if (obj_) {
        left_ = obj_->x;
        top_ = obj_->y;
    }
}

bool CTransformUndo::Exchange() {
    if (!obj_ || !obj_->content) return false;
    Ref<CObjShape> shape = geometry_.shape ? geometry_.shape : obj_->content->shape;
    if (!shape) return false;
    CGeometryMemento aside = shape->CreateTransformUndo();
    shape->RestoreGeometry(geometry_);
    POINT cut{};
    PackedDib dib = RenderForObject(*shape, &cut);
    if (!dib) {
        shape->RestoreGeometry(aside);
        return false;
    }
    Finish(std::move(dib), std::move(aside), cut);
    return true;
}

void CTransformUndo::Finish(PackedDib dib, CGeometryMemento aside, POINT cut) {
    InstallRaster(*obj_->content, std::move(dib));
    geometry_ = std::move(aside);
    // Margins cut off the rendering move the pixels that remain.
    const int x = left_ + cut.x, y = top_ + cut.y;
    left_ = obj_->x;
    top_ = obj_->y;
    obj_->x = x;
    obj_->y = y;
}

bool CImageTransformUndo::Exchange() {
    if (!obj_ || !obj_->content) return false;
    CObjContent& c = *obj_->content;
    Ref<CBitmapObj> now = RefCast<CBitmapObj>(c.shape);
    CGeometryMemento aside;
    if (now) aside = now->CreateTransformUndo();

    if (!geometry_.hadTransform) {
        // Back to the plain image: its pixels are the untouched source.
        PackedDib dib = now ? now->source.Share() : PackedDib{};
        if (now && !dib) return false;
        if (now) {
            c.SetShape({});
            c.kind = KindImage;
            Finish(std::move(dib), std::move(aside), {});
        } else {
            Finish(std::move(c.raster), std::move(aside), {});
        }
        return true;
    }

    Ref<CBitmapObj> target = RefCast<CBitmapObj>(geometry_.shape);
    if (!target) {
        // The source is made afresh from the plain image, as the first transform made it.
        if (now || !c.raster) return false;
        target = MakeRef<CBitmapObj>();
        target->source = c.raster.Share();
        if (!target->source) return false;
    }
    target->RestoreGeometry(geometry_);
    PackedDib dib = target->Render();
    if (!dib) {
        if (target == now) target->RestoreGeometry(aside);
        return false;
    }
    c.SetShape(target);
    c.kind = KindTransformedImage;
    Finish(std::move(dib), std::move(aside), {});
    return true;
}

void CTransformUndo::Undo() {
    if (!Exchange()) return;
    ReattachHandles(obj_.Get());
    Repaint(false);
    SetRedoLabel();
}

void CTransformUndo::Redo() {
    if (!Exchange()) return;
    ReattachHandles(obj_.Get());
    Repaint(false);
    SetUndoLabel();
}

} // namespace zepho
