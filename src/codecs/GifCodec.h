// The GIF entry points of the open, export and preview dispatch.
#pragma once

#include "model/DocImage.h"
#include "platform/PackedDib.h"
#include "platform/Services.h"

#include <string>

namespace zepho {

class ByteReader;

// Reads every image of a GIF87a/GIF89a file into the (already cleared) model: the canvas takes
// the logical screen size, each image becomes an image object at its left and top, in file
// order (hidden: the opener shows the first one), and the first image's control and descriptor fields go to
// the document's GIF fields. False on a damaged file; objects appended before the damage stay.
bool ReadGifFile(CDocImage& doc, const std::string& path, IProgress* progress);
// The same from a stream positioned at the signature.
bool ReadGif(CDocImage& doc, ByteReader& in, IProgress* progress);

// The first image of the file as a palette DIB of 1, 4 or 8 bits; empty when unreadable.
PackedDib LoadGifPreview(const std::string& path);

// Writes the visible objects, flattened, as a one-image GIF89a through a temporary file that
// replaces the target only when every byte was written. False on any failure; the target is then
// untouched.
bool ExportGif(const CDocImage& doc, const std::string& path, IProgress* progress, bool interlace);

// The visible objects as the frames of an animation, bottom up: frame i shows the canvas after
// drawing visible objects 0..i (each at its position, with its shadow and transparency), every
// frame for the document's delay, looping forever. Opening the file gives one object per frame
// whose stack, drawn up to object i, is frame i again. With fewer than two visible objects this
// is ExportGif. False on any failure; the target is then untouched.
bool ExportGifAnimation(const CDocImage& doc, const std::string& path, IProgress* progress, bool interlace);

} // namespace zepho
