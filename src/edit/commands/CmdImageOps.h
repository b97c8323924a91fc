// The immediate whole-object image operations: gray, mirror and negative.
#pragma once

#include "edit/document/OrvaneDoc.h"
#include "edit/undo/UndoImage.h"
#include "platform/Services.h"

#include <functional>
#include <vector>

namespace zepho {

enum class ImageOp { Gray, MirrorHorz, MirrorVert, Negative };

// Runs the kernel on every selected visible object. Shape objects are asked about first and
// become plain image objects when the user agrees; the others are left alone.
bool CmdImageOperation(COrvaneDoc& doc, ImageOp op, IUiHost& ui);

// The same for any per-object kernel, recorded under the given variant; verb is what the
// conversion question names ("gray it"). The effect dialogs use this pattern on OK.
using ImageKernel = std::function<PackedDib(const PackedDib&)>;
bool ApplyToSelectedImages(COrvaneDoc& doc, CImageOpUndo::Variant variant, const char* verb,
                           const ImageKernel& kernel, IUiHost& ui);

// The selected visible objects that an image operation may change, bottom to top: images, and
// shapes that the user agrees to convert ("If you want to <verb>,it must be converted ...").
// False, after the message, when the frame has no object or none is selected.
bool SelectImageTargets(COrvaneDoc& doc, const char* verb, IUiHost& ui, std::vector<Ref<CDrawObj>>& targets);

bool CanImageOperation(const COrvaneDoc& doc);

} // namespace zepho
