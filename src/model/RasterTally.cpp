#include "model/RasterTally.h"

#include "model/DrawObj.h"
#include "model/DrawObjList.h"

namespace zepho {

void CRasterTally::Add(const PackedDib& dib) {
    const void* key = dib.BlockKey();
    if (!key || (known_ && known_->Holds(key))) return;
    if (blocks_.insert(key).second) bytes_ += dib.BlockBytes();
}

void CRasterTally::AddContent(const CObjContent* content) {
    if (!content) return;
    Add(content->raster);
    Add(content->shadowRaster);
    AddShape(content->shape.Get());
}

void CRasterTally::AddObject(const CDrawObj* obj) {
    if (obj) AddContent(obj->content.Get());
}

void CRasterTally::AddObjects(const CDrawObjList& list) {
    for (const Ref<CDrawObj>& o : list)
        AddObject(o.Get());
}

void CRasterTally::AddShape(const CObjShape* shape) {
    if (shape) shape->TallyRasters(*this);
}

} // namespace zepho
