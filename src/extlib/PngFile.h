// PNG files through libpng.
#pragma once

#include "platform/ByteStream.h"
#include "platform/PackedDib.h"
#include "platform/Services.h"

#include <functional>
#include <span>
#include <string>
#include <vector>

namespace zepho {

// Encodes a 32-bit DIB as an 8-bit RGBA PNG. False when the image is not 32-bit or libpng fails.
bool EncodePngRgba(const PackedDib& dib, std::vector<BYTE>& out, int compression = -1);
// Writes it to a file, replacing the target only when everything was written. With
// FileWriter::Sync::Deferred the caller makes the file durable later (SyncFileSystemOf).
bool WritePngRgba(const std::string& path, const PackedDib& dib,
                  FileWriter::Sync sync = FileWriter::Sync::Now);

// Writes a width x height PNG whose rows come a band at a time from `band(top, rows)`: 32-bit
// images width x rows, or empty when they cannot be made (the write then fails). RGBA when
// `alpha` is set, else RGB without the fourth byte. The target is replaced only when everything
// was written. The progress runs 0..100 over the rows.
bool WritePngBands(const std::string& path, int width, int height, bool alpha,
                   const std::function<PackedDib(int top, int rows)>& band, IProgress* progress);

// Reads a PNG at the depth it holds: palette images (2-bit ones widened to 8) and grey images
// without transparency as palette DIBs, colour as 24 bits, anything with an alpha channel or a
// transparent colour as 32-bit straight alpha. 16-bit samples keep their high byte. Empty when
// the file is damaged or truncated.
PackedDib DecodePng(std::span<const BYTE> file, IProgress* progress);
// Writes a palette DIB as a palette PNG, 24 bits as RGB, 32 bits as RGBA; 16 bits go as RGB.
bool EncodePng(const PackedDib& dib, ByteWriter& out, IProgress* progress);

} // namespace zepho
