// The icon, cursor and animated-cursor entry points of the open, export and preview dispatch.
#pragma once

#include "model/DocImage.h"
#include "platform/PackedDib.h"
#include "platform/Services.h"
#include "platform/WinTypes.h"

#include <string>

namespace zepho {

// Reads every image of an ICO or CUR file into the (already cleared) model, in directory order:
// each becomes a hidden image object at (0, 0) (the opener shows the first one) whose alpha
// comes from the AND mask, or from the image's own alpha channel when a 32-bit image has one.
// The canvas grows to the largest width and the largest height. Images stored as PNG are read
// too. False on a damaged file, with the model cleared.
bool ReadIconFile(CDocImage& doc, const std::string& path, IProgress* progress);
// The same for the frames of an animated cursor: one object per "icon" chunk, in file order; the
// document's delay comes from the first rate entry or the header's display rate. False, with the
// model cleared, when the frames found do not match the header's frame count.
bool ReadAniFile(CDocImage& doc, const std::string& path, IProgress* progress);

// The largest side an icon or cursor image can have: its directory entry holds one byte per side.
constexpr int kMaxIconSide = 256;

// The size at which a canvas of w x h is written as an icon, cursor or animated cursor: itself
// up to 256 x 256, a larger one scaled down to fit with its aspect kept (800 x 600 gives
// 256 x 192). An export panel compares it with the canvas to tell the user beforehand.
SIZE IconExportSize(int w, int h);
// The hot spot (X in the low 16 bits, Y in the high 16 bits) on a canvas of w x h moved to the
// same place of the image IconExportSize() gives.
DWORD IconExportHotSpot(DWORD hotSpot, int w, int h);

// Writes the visible objects, flattened, as an ICO (cursor false) or CUR file of one image:
// at most 256 colours as an exact palette image, more at 24 bits, transparency in the AND mask.
// A canvas larger than 256 x 256 is scaled down to IconExportSize() with the objects' default
// resampling filter, never written with sizes the directory cannot hold. The hot spot (X in the
// low 16 bits, Y in the high 16 bits) only goes into a cursor. The target is replaced only when
// every byte was written; false on any failure.
bool WriteIconFile(const CDocImage& doc, const std::string& path, bool cursor, DWORD hotSpot,
                   IProgress* progress);
// An animated cursor: with two or more visible objects, one frame per visible object from the
// bottom up, each the object alone at its place on a transparent canvas (as reading the file
// gives them back), shown for the document's delay; otherwise the flattened picture as one frame.
bool WriteAniFile(const CDocImage& doc, const std::string& path, DWORD hotSpot, IProgress* progress);

// The first image of an ICO, CUR or ANI file (the path's extension decides which) at the depth
// the file holds, without its mask; empty when unreadable.
PackedDib LoadIconPreview(const std::string& path);

} // namespace zepho
