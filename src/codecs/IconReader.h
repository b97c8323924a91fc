// Reading icon and cursor files: the directory, one image resource, and whole files from streams.
#pragma once

#include "model/DocImage.h"
#include "platform/PackedDib.h"
#include "platform/Services.h"
#include "platform/WinTypes.h"

#include <cstdint>
#include <vector>

namespace zepho {

class ByteReader;

// One 16-byte directory entry.
struct IconDirEntry {
    BYTE width = 0;  // low byte of the width, 0 for 256
    BYTE height = 0; // low byte of the height
    BYTE colorCount = 0;
    WORD planes = 0;   // hot-spot X in a cursor
    WORD bitCount = 0; // hot-spot Y in a cursor
    DWORD bytesInRes = 0;
    DWORD imageOffset = 0;
};

constexpr WORD kIconType = 1;
constexpr WORD kCursorType = 2;

// The 6-byte header and the directory at the reader's position, which must not run past `end`.
// False for a wrong type (neither icon nor cursor), a zero count or a short directory.
bool ReadIconDirectory(ByteReader& in, std::uint64_t end, WORD& type, std::vector<IconDirEntry>& entries);
// Whether two entries point into one image (each spans its byte count, at least one byte, cut at
// `end`). Valid files never do; one image listed thousands of times would be decoded as often.
bool EntriesShareImages(const std::vector<IconDirEntry>& entries, std::uint64_t end);

// One image resource at the reader's position: BITMAPINFOHEADER (whose height counts the colour
// rows and the mask rows), colour table, colour rows, and with `withMask` the AND mask rows.
// Every byte must lie before `end`; sizes are checked against that before anything is allocated.
// With `make32` the result is 32-bit: AND bits give alpha 0, or a 32-bit image with an alpha
// channel of its own keeps it. Without it the colour rows come back at their own depth.
PackedDib ReadIconImage(ByteReader& in, std::uint64_t end, bool withMask, bool make32);

// The image an entry points at, BITMAPINFOHEADER-based or PNG; `base` is where the icon file
// starts in the stream and `end` where it ends. A PNG image is at its own depth unless `make32`.
PackedDib ReadIconEntryImage(ByteReader& in, std::uint64_t base, std::uint64_t end, const IconDirEntry& entry,
                             bool withMask, bool make32);

// Appends a 32-bit image as a hidden image object at (0, 0) and grows the canvas to hold it.
void AppendIconObject(CDocImage& doc, PackedDib image);

// ICO or CUR from a stream positioned at the file's start; see ReadIconFile.
bool ReadIcon(CDocImage& doc, ByteReader& in, IProgress* progress);
// ANI from a stream positioned at the file's start; see ReadAniFile.
bool ReadAni(CDocImage& doc, ByteReader& in, IProgress* progress);
// The first frame of an ANI stream at its own depth, without its mask; empty when there is none.
PackedDib ReadAniPreview(ByteReader& in);

// The document's delay (1/100 s) for an ANI rate in 1/60 s.
std::uint16_t AniRateToDelay(DWORD jiffies);

} // namespace zepho
