// HEIF and HEIC stills through libheif: the primary image, upright and with its alpha.
#pragma once

#include "model/DocImage.h"
#include "platform/PackedDib.h"
#include "platform/Services.h"

#include <span>
#include <string>

namespace zepho {

// The primary image of a HEIF file as a 32-bit DIB, straight alpha, 8 bits per channel whatever
// the file's depth: turned and mirrored as the file says, and converted to sRGB when the file
// carries an ICC profile. Empty for a damaged file, one the installed decoders cannot read, or one
// whose size the pixel budget refuses.
PackedDib DecodeHeif(std::span<const BYTE> file);
// Reads it into the (already cleared) model as one image object at (0, 0).
bool ReadHeifFile(CDocImage& doc, const std::string& path, IProgress* progress);
PackedDib LoadHeifPreview(const std::string& path);

} // namespace zepho
