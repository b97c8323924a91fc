#include "edit/tools/ToolTargets.h"

#include "edit/document/OrvaneDoc.h"
#include "edit/undo/UndoImage.h"
#include "model/ModelStrings.h"
#include "platform/Format.h"
#include "raster/Dib.h"

namespace zepho {

Ref<CDrawObj> PaintTarget(const CDocImage& image, POINT canvas) {
    if (Ref<CDrawObj> o = image.TopmostSelectedAt(canvas)) return o;
    if (Ref<CDrawObj> o = image.TopmostAt(canvas)) return o;
    return image.TopmostVisible();
}

bool IsVectorSourced(const CDrawObj& obj) {
    return obj.content && obj.content->kind != KindImage && obj.content->kind != KindTransformedImage;
}

bool AskConversion(const CDrawObj& obj, const char* verb, IUiHost& ui) {
    if (!IsVectorSourced(obj)) return true;
    return ui.AskYesNo(Format(strings::kConvertAsk, obj.content->name.c_str(), verb), strings::kAppTitle);
}

void ConvertToImage(COrvaneDoc& doc, const Ref<CDrawObj>& obj) {
    if (!obj || !obj->content) return;
    auto undo = std::make_unique<CConvertUndo>(obj);
    obj->content->SetShape({});
    obj->content->kind = KindImage;
    doc.AddUndo(std::move(undo));
    doc.SetModifiedFlag();
}

PackedDib TrimTransparent(const PackedDib& dib, POINT& offset) {
    offset = {};
    if (!dib.Is32()) return {};
    const Margins m = FindOpaqueBounds(dib);
    if (m.left + m.right >= dib.Width() || m.top + m.bottom >= dib.Height()) return {};
    offset = {m.left, m.top};
    if (m == Margins{}) return DuplicateDIB(dib);
    return CropDIB(dib, m.left, m.top, m.right, m.bottom);
}

} // namespace zepho
