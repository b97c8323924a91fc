// Writing icon, cursor and animated-cursor files of one image.
#pragma once

#include "platform/PackedDib.h"
#include "platform/Services.h"
#include "platform/WinTypes.h"

#include <cstdint>
#include <vector>

namespace zepho {

class ByteWriter;

// Turns a flattened 32-bit image into what the file holds: a palette image of its exact colours
// when there are at most 256, else 24 bits, and a 1-bit AND mask of the same size (set bit =
// transparent). Transparent pixels are black under the mask, partly transparent ones are blended
// over white. The mask is all clear when nothing is transparent.
bool PrepareIconImage(const PackedDib& flat32, PackedDib& image, PackedDib& mask);

// Bytes of the image resource: header, colour table, colour rows and mask rows; 0 when the image
// cannot be written (wrong depth, or a side above 256 pixels).
std::uint64_t IconResourceSize(const PackedDib& image);

// A whole ICO or CUR file of one image with its mask. False when the image cannot be written or
// a write failed.
bool WriteIcon(ByteWriter& out, const PackedDib& image, const PackedDib& mask, bool cursor, DWORD hotSpot,
               IProgress* progress);
// A whole one-frame ANI file whose frame is the same image as a cursor.
bool WriteAni(ByteWriter& out, const PackedDib& image, const PackedDib& mask, DWORD hotSpot,
              IProgress* progress);

// One frame of an animated cursor: the image and its AND mask, as PrepareIconImage makes them.
struct AniFrame {
    PackedDib image;
    PackedDib mask;
};
// A whole ANI file of every frame in order, each a cursor with the same hot spot, shown for
// `rate` sixtieths of a second. The header's size and bit count are the first frame's.
bool WriteAniFrames(ByteWriter& out, const std::vector<AniFrame>& frames, DWORD hotSpot, DWORD rate,
                    IProgress* progress);
// The display rate (1/60 s) closest to a delay in 1/100 s, at least 1.
DWORD AniRateOf(int delay);

} // namespace zepho
