// The DIB stream of the native format: width, height, then the red, green, blue and alpha
// planes of a 32-bit raster, each row PackBits-coded, rows from the top down.
#pragma once

#include "platform/ByteStream.h"
#include "platform/PackedDib.h"

#include <vector>

namespace zepho {

// Writes the stream; returns the bytes written (0 when the raster is not 32-bit or a write fails).
std::size_t WriteDIBStream(ByteWriter& out, const PackedDib& dib);
// Reads a stream into a new 32-bit raster, leaving the reader just after it. Empty when the
// stream is malformed or claims more pixels than the bytes left could hold. `limit` is the most
// bytes the stream may take (its entry's size): nothing past it is read.
PackedDib ReadDIBStream(ByteReader& in, std::uint64_t limit = ~std::uint64_t{0});

// The fewest bytes that four planes of w x h can take (every row at least two bytes per 128
// pixels): a stream shorter than this is refused before anything is allocated.
std::uint64_t MinimumPlaneBytes(std::uint64_t w, std::uint64_t h);

// Decodes the four planes (red, green, blue, alpha) of a raster whose size is already known,
// reading at most `limit` bytes' worth of runs. False when the bytes run out or are too few to
// hold that many rows.
bool ReadDIBPlanes(ByteReader& in, PackedDib& dib, std::uint64_t limit);

// PackBits as the writer chooses its runs: a repeat run over all following equal bytes (at
// most 128), else a copy run that ends before the first byte that equals its successor.
// Appends the coded bytes to `out`.
void PackBitsEncode(const BYTE* data, std::size_t n, std::size_t step, std::vector<BYTE>& out);
// The same over n contiguous bytes into `out`, which holds at least PackBitsBound(n) bytes;
// returns the coded length. Both `data` and `out` must stay readable/writable PackBitsSlack
// bytes past their ends (runs are moved in fixed pieces).
std::size_t PackBitsEncodeRow(const BYTE* data, std::size_t n, BYTE* out);
constexpr std::size_t PackBitsSlack = 16;
// The most bytes n bytes can code to (a copy run of one before every repeat run of two), with
// the slack.
constexpr std::size_t PackBitsBound(std::size_t n) {
    return n + n / 3 + 2 + PackBitsSlack;
}

} // namespace zepho
