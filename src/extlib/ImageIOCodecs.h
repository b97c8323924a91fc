// The format readers and writers behind CImage, over bytes in memory (readers) and any byte
// writer (writers), so they can be tested and fuzzed without files. Readers return an empty DIB
// for anything they cannot read; writers return false and may leave partial output behind, which
// CImage never commits.
#pragma once

#include "platform/ByteStream.h"
#include "platform/PackedDib.h"
#include "platform/Services.h"

#include <span>
#include <string>

namespace zepho {

PackedDib DecodeBmp(std::span<const BYTE> file, IProgress* progress);
// Writes the DIB at its own depth (1, 4, 8, 16, 24 or 32 bits). A 32-bit DIB without masks is
// straight-alpha BGRA: it gets a version 5 header with an alpha mask.
bool EncodeBmp(const PackedDib& dib, ByteWriter& out, IProgress* progress);

PackedDib DecodeJpeg(std::span<const BYTE> file, IProgress* progress);
// quality is clamped to 1..100. Palette images are written as grey when every colour is grey,
// otherwise as colour.
bool EncodeJpeg(const PackedDib& dib, int quality, ByteWriter& out, IProgress* progress);

PackedDib DecodeTiff(std::span<const BYTE> file, IProgress* progress);
// compression is a TIFF compression code; see TiffFile.cpp for how each depth is stored.
bool EncodeTiff(const PackedDib& dib, DWORD compression, ByteWriter& out, IProgress* progress);

// Option bits of EncodeTga.
constexpr DWORD kTgaRle = 1;
constexpr DWORD kTgaBottomUp = 2;
PackedDib DecodeTga(std::span<const BYTE> file, IProgress* progress);
bool EncodeTga(const PackedDib& dib, DWORD options, ByteWriter& out, IProgress* progress);

PackedDib DecodePcx(std::span<const BYTE> file, IProgress* progress);
bool EncodePcx(const PackedDib& dib, ByteWriter& out, IProgress* progress);

// Encodes the DIB in the format of `path`'s extension (BMP/DIB, JPG/JPEG, PNG, PCX, TGA, TIF/TIFF)
// with the option word CImage::SaveImageFile takes; false for another extension.
bool EncodeImageFile(const std::string& path, const PackedDib& dib, DWORD option, ByteWriter& out,
                     IProgress* progress);

// The flattened image at the end of a PSD file.
PackedDib DecodePsdComposite(std::span<const BYTE> file, IProgress* progress);

} // namespace zepho
