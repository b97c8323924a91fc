// WebP files through libwebp: stills and animations, read and written with their alpha.
#pragma once

#include "model/DocImage.h"
#include "platform/PackedDib.h"
#include "platform/Services.h"

#include <span>
#include <string>
#include <vector>

namespace zepho {

// The option word of a WebP export: the quality 1..100 in the low byte (0 takes 75, above 100
// takes 100) and this bit for lossless coding, where the quality sets the effort instead.
constexpr DWORD kWebpLossless = 0x100;
constexpr int kWebpDefaultQuality = 75;

// Reads a still or animated WebP into the (already cleared) model: the canvas takes the file's
// size and every frame becomes one canvas-sized image object at (0, 0), composed as a viewer
// shows it, hidden (the opener shows the first one); an animation's first frame duration sets the
// document's delay (hundredths of a second). False for a damaged file or one whose frames would
// not fit in memory; objects appended before the damage stay.
bool ReadWebp(CDocImage& doc, std::span<const BYTE> file, IProgress* progress);
bool ReadWebpFile(CDocImage& doc, const std::string& path, IProgress* progress);

// The first frame as a 32-bit DIB; empty when unreadable.
PackedDib DecodeWebpFirstFrame(std::span<const BYTE> file);
PackedDib LoadWebpPreview(const std::string& path);

// Encodes 32-bit images of one size: one image as a still, more as an animation that loops
// forever with `frameMs` milliseconds per frame. Alpha is kept (losslessly); lossless coding
// keeps every pixel, the colour under transparent pixels included. False on failure.
bool EncodeWebp(const std::vector<const PackedDib*>& frames, int frameMs, DWORD option,
                std::vector<BYTE>& out, IProgress* progress);

// Writes the visible objects flattened with their transparency, or with `animate` one frame per
// visible object from the bottom up (each the canvas after drawing that object; the document's
// delay per frame). Replaces the target only when everything was written.
bool ExportWebp(const CDocImage& doc, const std::string& path, DWORD option, bool animate,
                IProgress* progress);

} // namespace zepho
