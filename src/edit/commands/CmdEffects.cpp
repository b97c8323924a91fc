#include "edit/commands/CmdEffects.h"

#include "edit/commands/CmdImageOps.h"

namespace zepho {

std::unique_ptr<CEffectModel> BeginEffect(COrvaneDoc& doc, EffectKind kind, IUiHost& ui) {
    std::vector<Ref<CDrawObj>> targets;
    if (!SelectImageTargets(doc, EffectInfoOf(kind).verb, ui, targets) || targets.empty()) return {};
    auto model = std::make_unique<CEffectModel>(doc, kind, std::move(targets));
    if (model->Info().previewOnOpen) model->Preview();
    return model;
}

} // namespace zepho
