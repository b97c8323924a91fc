#include "edit/properties/PropSheet.h"

#include "model/BitmapObj.h"
#include "model/EllipseObj.h"
#include "model/PolygonObj.h"
#include "model/RectObj.h"

namespace zepho {

bool CPropertySheetModel::Supports(const CDrawObj& obj) {
    const CObjContent* c = obj.content.Get();
    if (!c) return false;
    const CObjShape* s = c->shape.Get();
    switch (c->kind) {
    case KindImage:
        return !s;
    case KindTransformedImage:
        return dynamic_cast<const CBitmapObj*>(s) != nullptr;
    case KindEllipse:
        return dynamic_cast<const CEllipseObj*>(s) != nullptr;
    case KindRectangle:
        return dynamic_cast<const CRectObj*>(s) != nullptr;
    case KindPolygon:
        return dynamic_cast<const CPolygonObj*>(s) != nullptr;
    default:
        return false;
    }
}

CPropertySheetModel::CPropertySheetModel(COrvaneDoc& doc, Ref<CDrawObj> obj, IUiHost& ui)
    : session_(doc, std::move(obj)) {
    switch (session_.Content().kind) {
    case KindEllipse:
    case KindRectangle:
        general_ = std::make_unique<CShapeSizePage>(session_);
        break;
    case KindPolygon:
        general_ = std::make_unique<CPolygonGeneralPage>(session_);
        break;
    default:
        general_ = std::make_unique<CImageGeneralPage>(session_);
        break;
    }
    session_.AddPage(general_.get());
    if (IsVectorKind(session_.Content().kind)) {
        fillStroke_ = std::make_unique<CFillStrokePage>(session_, ui);
        session_.AddPage(fillStroke_.get());
    }
    shadow_ = std::make_unique<CShadowPage>(session_);
    session_.AddPage(shadow_.get());
}

} // namespace zepho
