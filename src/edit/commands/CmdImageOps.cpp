#include "edit/commands/CmdImageOps.h"

#include "edit/commands/CmdCommon.h"
#include "model/ModelStrings.h"
#include "platform/Format.h"
#include "raster/Adjust.h"

namespace zepho {

bool SelectImageTargets(COrvaneDoc& doc, const char* verb, IUiHost& ui, std::vector<Ref<CDrawObj>>& targets) {
    targets.clear();
    CDocImage& img = doc.Image();
    if (img.objects.IsEmpty()) {
        ShowCommandMessage(ui, strings::kNeedObjectPresent);
        return false;
    }
    if (!AnySelected(img)) {
        ShowCommandMessage(ui, strings::kNeedObjectSelected);
        return false;
    }
    // The questions are modal: walk a copy of the list.
    CDrawObjList objects;
    objects.CopyFrom(img.objects);
    for (const auto& o : objects) {
        if (!o->visible || !o->IsSelected() || !o->content) continue;
        const CObjContent& c = *o->content;
        if (c.kind != KindImage && c.kind != KindTransformedImage &&
            !ui.AskYesNo(Format(strings::kConvertAsk, c.name.c_str(), verb), strings::kAppTitle))
            continue;
        targets.push_back(o);
    }
    return true;
}

bool ApplyToSelectedImages(COrvaneDoc& doc, CImageOpUndo::Variant variant, const char* verb,
                           const ImageKernel& kernel, IUiHost& ui) {
    std::vector<Ref<CDrawObj>> targets;
    if (!SelectImageTargets(doc, verb, ui, targets)) return false;
    auto action = std::make_unique<CImageOpUndo>(variant);
    for (const auto& o : targets) {
        // A kernel that fails leaves the object, source and all, as it was.
        PackedDib result = kernel(o->content->raster);
        auto backup = std::make_unique<CImageBackup>();
        if (backup->Edit(o, std::move(result))) action->AddRecord(std::move(backup));
    }
    if (action->IsEmpty()) return false;
    CommitCommand(doc, std::move(action), true);
    return true;
}

bool CmdImageOperation(COrvaneDoc& doc, ImageOp op, IUiHost& ui) {
    switch (op) {
    case ImageOp::Gray:
        return ApplyToSelectedImages(doc, CImageOpUndo::Gray, strings::kVerbGray, MakeGray, ui);
    case ImageOp::MirrorHorz:
        return ApplyToSelectedImages(doc, CImageOpUndo::MirrorHorz, strings::kVerbMirror, MirrorHorizontally,
                                     ui);
    case ImageOp::MirrorVert:
        return ApplyToSelectedImages(doc, CImageOpUndo::MirrorVert, strings::kVerbMirror, MirrorVertically,
                                     ui);
    case ImageOp::Negative:
        return ApplyToSelectedImages(doc, CImageOpUndo::Negative, strings::kVerbNegative, MakeNegative, ui);
    }
    return false;
}

bool CanImageOperation(const COrvaneDoc& doc) {
    return !doc.Image().objects.IsEmpty();
}

} // namespace zepho
