// Conversions between bit depths for export: 24 and 16 bits from any depth, colour and gray
// palettes, exact palettes of images with at most 256 colours, and the mask helpers of the icon
// and GIF writers. Every function takes a packed DIB and returns a new one, or an empty one; the
// input is never changed.
#pragma once

#include "platform/PackedDib.h"
#include "platform/Services.h"

namespace zepho {

// The export colour option of the BMP export ("Colors" radio group).
enum ExportColorOption {
    ExportColors256 = 0,
    ExportColors16 = 1,
    ExportBlackWhite = 2,
    ExportHighColors = 3,
    ExportTrueColors = 4,
    ExportGrays16 = 5,
    ExportGrays256 = 6,
};

// Row progress: after each row the bar goes to base + 100 * rows done / height and is pumped.
PackedDib ConvertTo24(const PackedDib& dib, IProgress* progress = nullptr, int base = 0);
PackedDib ConvertTo16(const PackedDib& dib, IProgress* progress = nullptr, int base = 0);
PackedDib ReduceTo4(const PackedDib& dib, int colors, IProgress* progress = nullptr, int base = 0);
PackedDib ReduceTo8(const PackedDib& dib, int colors, IProgress* progress = nullptr, int base = 0);
PackedDib ReduceTo4Gray(const PackedDib& dib, int colors, IProgress* progress = nullptr, int base = 0);
PackedDib ReduceTo8Gray(const PackedDib& dib, int colors, IProgress* progress = nullptr, int base = 0);
PackedDib ConvertToBlackWhite(const PackedDib& dib);
// A palette DIB of the 24-bit image's own colours in order of first appearance (rows from the
// top), or empty when it has more than 256.
PackedDib MakeExactPalette(const PackedDib& dib24);
// The conversion the export colour option names (0..6); empty for other values or on failure.
PackedDib ConvertForExport(const PackedDib& dib, int option, IProgress* progress = nullptr, int base = 0);

// Mask helpers of the icon and GIF writers.
PackedDib CopyMaskBits(const PackedDib& image1, const PackedDib& mask1);
PackedDib FillWithFirstPixel(const PackedDib& image, const PackedDib& reference);
PackedDib MaskToTwoColours(const PackedDib& image, const PackedDib& mask1);
PackedDib MaskToTwoIndices(const PackedDib& image, const PackedDib& mask1);

} // namespace zepho
