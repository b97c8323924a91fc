// PNG files of 32-bit straight-alpha images, through libpng.
#pragma once

#include "platform/PackedDib.h"

#include <string>
#include <vector>

namespace zepho {

// Encodes a 32-bit DIB as an 8-bit RGBA PNG. False when the image is not 32-bit or libpng fails.
bool EncodePngRgba(const PackedDib& dib, std::vector<BYTE>& out, int compression = -1);
// Writes it to a file, replacing the target only when everything was written.
bool WritePngRgba(const std::string& path, const PackedDib& dib);

} // namespace zepho
