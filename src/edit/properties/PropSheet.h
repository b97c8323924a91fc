// The "Properties" sheet of one object: its pages by kind, opened over one session.
#pragma once

#include "edit/properties/PropFillStroke.h"
#include "edit/properties/PropGeneral.h"
#include "edit/properties/PropShadow.h"

#include <memory>

namespace zepho {

class CPropertySheetModel {
public:
    // Images, ellipses, rectangles and polygons; text objects have their own editor.
    static bool Supports(const CDrawObj& obj);

    // The object must be one that Supports accepts.
    CPropertySheetModel(COrvaneDoc& doc, Ref<CDrawObj> obj, IUiHost& ui);

    CPropertySession& Session() { return session_; }
    CGeneralObjInfoPage& General() { return *general_; }
    // The kind's own "General" page, or none.
    CImageGeneralPage* Image() { return dynamic_cast<CImageGeneralPage*>(general_.get()); }
    CShapeSizePage* ShapeSize() { return dynamic_cast<CShapeSizePage*>(general_.get()); }
    CPolygonGeneralPage* Polygon() { return dynamic_cast<CPolygonGeneralPage*>(general_.get()); }
    // Ellipses, rectangles and polygons.
    CFillStrokePage* FillStroke() { return fillStroke_.get(); }
    CShadowPage& Shadow() { return *shadow_; }

    bool Ok() { return session_.Ok(); }
    void Cancel() { session_.Cancel(); }

private:
    CPropertySession session_;
    std::unique_ptr<CGeneralObjInfoPage> general_;
    std::unique_ptr<CFillStrokePage> fillStroke_;
    std::unique_ptr<CShadowPage> shadow_;
};

} // namespace zepho
