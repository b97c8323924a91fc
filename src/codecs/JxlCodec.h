// JPEG XL files through libjxl: stills and animations, read and written with their alpha.
#pragma once

#include "model/DocImage.h"
#include "platform/PackedDib.h"
#include "platform/Services.h"

#include <span>
#include <string>
#include <vector>

namespace zepho {

struct PhotoBlocks;

// The option word of a JPEG XL export: the quality 1..100 in the low byte (0 takes 90, above 100
// takes 100), mapped to a Butteraugli distance as the reference encoder maps it (100 is
// lossless), and this bit for lossless coding whatever the quality.
constexpr DWORD kJxlLossless = 0x100;
constexpr int kJxlDefaultQuality = 90;

// The distance a quality 1..100 asks for: 0 (lossless) at 100, 1.0 at 90, 25 at 1.
float JxlDistance(int quality);

// Reads a still or animated JPEG XL into the (already cleared) model: the canvas takes the
// picture's size as seen (the stored orientation applied) and every frame becomes one
// canvas-sized image object at (0, 0), hidden unless it is the only one (the opener shows the
// first); an animation's
// first frame duration sets the document's delay (hundredths of a second). Pixels come in sRGB:
// lossy files are decoded into it, an embedded profile converts the others. False for a damaged
// file or one whose pixels the budget refuses; frames appended before the damage stay.
bool ReadJxl(CDocImage& doc, std::span<const BYTE> file, IProgress* progress);
bool ReadJxlFile(CDocImage& doc, const std::string& path, IProgress* progress);

// The first frame as a 32-bit DIB; empty when unreadable.
PackedDib DecodeJxlFirstFrame(std::span<const BYTE> file);
PackedDib LoadJxlPreview(const std::string& path);

// Encodes 32-bit sRGB images of one size: one as a still, more as an animation that loops
// forever with `frameMs` milliseconds per frame. Alpha is kept when any pixel is not opaque;
// `photo` adds its Exif and XMP boxes. False on failure.
bool EncodeJxl(const std::vector<const PackedDib*>& frames, int frameMs, DWORD option, std::vector<BYTE>& out,
               IProgress* progress, const PhotoBlocks* photo = nullptr);

// Writes the visible objects flattened with their transparency, or with `animate` one frame per
// visible object from the bottom up (the document's delay per frame). Replaces the target only
// when everything was written.
bool ExportJxl(const CDocImage& doc, const std::string& path, DWORD option, bool animate,
               IProgress* progress);

} // namespace zepho
