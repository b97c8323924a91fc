// Undo of a free transform: the object's geometry and position before the transform.
#pragma once

#include "edit/undo/Undo.h"
#include "model/DrawObj.h"

#include <memory>

namespace zepho {

class CTransformUndo : public CUndoAction {
public:
    // Takes the object's geometry and position before a transform, in the record for its kind.
    static std::unique_ptr<CTransformUndo> Create(Ref<CDrawObj> obj);

    CTransformUndo(Ref<CDrawObj> obj, CGeometryMemento geometry);
    void Undo() override;
    void Redo() override;
    void TallyRasters(CRasterTally& tally) const override {
        tally.AddObject(obj_.Get());
        tally.AddShape(geometry_.shape.Get());
    }

    const Ref<CDrawObj>& Object() const { return obj_; }
    const CGeometryMemento& Geometry() const { return geometry_; }
    POINT Position() const { return {left_, top_}; }

protected:
    // Puts the stored geometry into the object's source and renders it. False, with the object
    // and the record unchanged, when no raster results.
    virtual bool Exchange();
    // Installs the rendered raster, keeps `aside` and exchanges the position.
    void Finish(PackedDib dib, CGeometryMemento aside, POINT cut);

    Ref<CDrawObj> obj_;
    CGeometryMemento geometry_;
    int left_ = 0, top_ = 0;
};

class CEllipseTransformUndo : public CTransformUndo {
public:
    using CTransformUndo::CTransformUndo;
};

class CRectTransformUndo : public CTransformUndo {
public:
    using CTransformUndo::CTransformUndo;
};

class CPolygonTransformUndo : public CTransformUndo {
public:
    using CTransformUndo::CTransformUndo;
};

class CTextTransformUndo : public CTransformUndo {
public:
    using CTransformUndo::CTransformUndo;
};

// Image objects keep their untransformed pixels in a transform source. An image that had no
// source before the transform loses it on undo and gets it back on redo.
class CImageTransformUndo : public CTransformUndo {
public:
    using CTransformUndo::CTransformUndo;

protected:
    bool Exchange() override;
};

} // namespace zepho
