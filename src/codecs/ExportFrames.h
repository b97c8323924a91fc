// The images an animated export writes, built from the document's visible objects.
#pragma once

#include "model/DocImage.h"
#include "platform/PackedDib.h"

#include <vector>

namespace zepho {

// One canvas-sized 32-bit image per visible object, from the bottom up: each is the canvas after
// drawing that object (with its shadow) over everything below it, transparency kept, exactly as
// CompositeVisible would compose that part of the stack. Empty when the document has no visible
// object or memory runs out.
std::vector<PackedDib> AnimationFrames(const CDocImage& doc);

} // namespace zepho
