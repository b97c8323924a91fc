// AVIF still images through libavif, read and written with their alpha.
#pragma once

#include "model/DocImage.h"
#include "platform/PackedDib.h"
#include "platform/Services.h"

#include <span>
#include <string>
#include <vector>

namespace zepho {

struct PhotoBlocks;

// The option word of an AVIF export: quality 1..100 in the low byte (0 takes 60, above 100 takes
// 100; 100 is lossless colour), encoder speed 0 (slowest, smallest) .. 10 (fastest) in the second
// byte plus one (0 there takes speed 6).
constexpr int kAvifDefaultQuality = 60;
constexpr int kAvifDefaultSpeed = 6;
constexpr DWORD AvifOption(int quality, int speed) {
    return static_cast<DWORD>(quality & 0xFF) | (static_cast<DWORD>((speed + 1) & 0xFF) << 8);
}

// The (first) image of an AVIF file as a 32-bit DIB, straight alpha, 8 bits per channel whatever
// the file's depth. Empty for a damaged file or one whose size it cannot plausibly hold.
PackedDib DecodeAvif(std::span<const BYTE> file);
// Reads it into the (already cleared) model as one image object at (0, 0).
bool ReadAvifFile(CDocImage& doc, const std::string& path, IProgress* progress);
PackedDib LoadAvifPreview(const std::string& path);

// Encodes a 32-bit image as 8-bit 4:4:4 AVIF; the alpha plane, when any pixel is not opaque, is
// coded losslessly; `photo` adds its Exif and XMP items. False on failure.
bool EncodeAvif(const PackedDib& dib, DWORD option, std::vector<BYTE>& out,
                const PhotoBlocks* photo = nullptr);

// Writes the visible objects flattened with their transparency. Replaces the target only when
// everything was written.
bool ExportAvif(const CDocImage& doc, const std::string& path, DWORD option, IProgress* progress);

} // namespace zepho
