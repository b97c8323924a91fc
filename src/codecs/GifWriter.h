// The GIF writer: one palette image, an optional transparent colour, GIF89a.
#pragma once

#include "platform/PackedDib.h"
#include "platform/Services.h"
#include "platform/WinTypes.h"

namespace zepho {

class ByteWriter;

struct GifWriteOptions {
    // Written when it lies below the table size, else 0.
    int backgroundIndex = 0;
    // Hundredths of a second.
    WORD delay = 20;
    bool interlace = false;
};

class GifWriter {
public:
    // Turns a flattened 32-bit image into what the file holds: alpha 0 becomes the transparent
    // colour (its pixels take `matte` for counting), partial alpha is blended over white, an image
    // of at most 256 colours keeps them exactly and a larger one is quantised to 256. The
    // transparent index is `preferredTransparent` when no visible pixel uses it, else the lowest
    // free index; without a free one a 256-colour image is quantised to 255 colours and index 255
    // is taken. Without transparent pixels `preferredTransparent` is still written (unflagged).
    bool Prepare(const PackedDib& image32, COLORREF matte, int preferredTransparent, IProgress* progress);
    // A palette image of 1, 4 or 8 bits written as it is; a 1-bit mask of the same size (set bit =
    // transparent) makes those pixels `transparentIndex` and flags it.
    bool SetImage(PackedDib image, PackedDib mask, int transparentIndex);

    // The whole file. False when the image is missing or too large for the format, or a write
    // failed.
    bool Write(ByteWriter& out, const GifWriteOptions& options, IProgress* progress) const;

    const PackedDib& Image() const { return image_; }
    const PackedDib& Mask() const { return mask_; }
    int TransparentIndex() const { return transparentIndex_; }
    int ColorCount() const { return colorCount_; }
    int TableSize() const { return tableSize_; }

private:
    PackedDib image_;
    PackedDib mask_;
    int transparentIndex_ = 0;
    int colorCount_ = 0;
    int tableSize_ = 2;
};

} // namespace zepho
