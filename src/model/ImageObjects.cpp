#include "model/ImageObjects.h"

#include "model/ModelStrings.h"
#include "platform/Format.h"

namespace zepho {

bool ConvertToImageObjects(CDocImage& doc, IImageOperation& op, IUiHost& ui) {
    if (doc.CountVisible() == 0) {
        ui.MessageBox(strings::kNeedObjectPresent, strings::kAppTitle, MsgIcon::None);
        return false;
    }
    if (doc.CountSelectedVisible() == 0) {
        ui.MessageBox(strings::kNeedObjectSelected, strings::kAppTitle, MsgIcon::None);
        return false;
    }
    bool any = false;
    const std::string verb = op.Verb();
    // A copy of the stack: the operation may record or reorder objects while we walk.
    CDrawObjList objects;
    objects.CopyFrom(doc.objects);
    for (const auto& o : objects) {
        if (!o->visible || !o->IsSelected()) continue;
        CObjContent& c = *o->content;
        if (IsVectorKind(c.kind) &&
            !ui.AskYesNo(Format(strings::kConvertAsk, c.name.c_str(), verb.c_str()), strings::kAppTitle))
            continue;
        op.Accept(o);
        c.SetShape({});
        c.kind = KindImage;
        any = true;
    }
    return any;
}

Ref<CDrawObj> SingleSelectedObject(const CDocImage& doc) {
    Ref<CDrawObj> found;
    for (const auto& o : doc.objects) {
        if (!o->visible || !o->IsSelected()) continue;
        if (found) return {};
        found = o;
    }
    return found;
}

} // namespace zepho
