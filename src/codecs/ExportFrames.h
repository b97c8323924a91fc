// The images an animated export writes, built from the document's visible objects.
#pragma once

#include "model/DocImage.h"
#include "platform/PackedDib.h"

#include <functional>
#include <string>
#include <vector>

namespace zepho {

// One canvas-sized 32-bit image per visible object, from the bottom up: each is the canvas after
// drawing that object (with its shadow) over everything below it, transparency kept, exactly as
// CompositeVisible would compose that part of the stack. Empty when the document has no visible
// object or memory runs out.
std::vector<PackedDib> AnimationFrames(const CDocImage& doc);

// Encodes frames (at `frameMs` each) into bytes; false when it cannot.
using FrameEncoder =
    std::function<bool(const std::vector<const PackedDib*>& frames, int frameMs, std::vector<BYTE>& out)>;
// The export of the formats whose encoders take every frame at once: the animation frames with
// `animate`, else the flattened canvas, encoded and written to `path` in one piece.
bool ExportFramesWith(const CDocImage& doc, const std::string& path, bool animate,
                      const FrameEncoder& encode);

} // namespace zepho
