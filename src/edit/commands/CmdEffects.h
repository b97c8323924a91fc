// The Transform menu's effect dialogs: which objects they work on.
#pragma once

#include "edit/dialogs/EffectModel.h"
#include "platform/Services.h"

#include <memory>

namespace zepho {

// A session over the selected visible images, shapes included when the user agrees to convert
// them; emboss and sunspot show their first preview at once. None, after the precondition
// message, when nothing is there to change.
std::unique_ptr<CEffectModel> BeginEffect(COrvaneDoc& doc, EffectKind kind, IUiHost& ui);

} // namespace zepho
