// Reading and writing image files a band of rows at a time, for conversions that never hold the
// whole picture. The readers give exactly the pixels the whole-image loaders of ImageIO give (the
// colour profile applied, the orientation left to the caller); the writers are the ones the
// whole-image encoders use, so a picture written either way has the same bytes.
#pragma once

#include "platform/ByteStream.h"
#include "platform/PackedDib.h"

#include <memory>
#include <span>
#include <string>

namespace zepho {

class CRowReader {
public:
    virtual ~CRowReader() = default;
    // A PNG (not interlaced) or JPEG file by its extension, the header read; null for another
    // format, a file these readers cannot take row by row, or a damaged header.
    static std::unique_ptr<CRowReader> Open(const std::string& path);

    int Width() const { return width_; }
    int Height() const { return height_; }
    // The depth of the bands: 1, 2, 4 or 8 bits with the file's colour table, 24, or 32 with
    // straight alpha, as the whole-image loader gives it.
    int Bits() const { return bits_; }
    // The Exif orientation (1..8) the picture is stored in; the bands are as stored.
    int Orientation() const { return orientation_; }
    // Whether a colour profile was unusable so far (the bands are then as stored).
    bool ProfileUnusable() const { return profileUnusable_; }

    // The next `rows` rows (fewer at the bottom) in sRGB; empty at the end or when the file turns
    // out damaged (Failed() then tells).
    virtual PackedDib ReadBand(int rows) = 0;
    bool Failed() const { return failed_; }
    int RowsRead() const { return rowsRead_; }

protected:
    CRowReader() = default;
    int width_ = 0, height_ = 0, bits_ = 0, orientation_ = 1;
    int rowsRead_ = 0;
    bool failed_ = false;
    bool profileUnusable_ = false;
};

// Writers of 24-bit (blue, green, red) or 32-bit rows: PNG (32-bit rows may go out as RGB),
// JPEG (quality in the option word as for SaveImageFile, alpha ignored) and TIFF (the
// compression code; 32-bit rows with their alpha). The bytes go to `out` as they are made, except
// where the format needs the whole picture first (JPEG's optimised Huffman tables keep its
// coefficients, a quarter of the raster at 4:2:0).
class CRowWriter {
public:
    virtual ~CRowWriter() = default;
    // For the extension of `path`; null for another format. `channels` is what the file holds
    // (3 or 4; JPEG takes 3 only), `rowBits` the depth of the bands that will come (24 or 32).
    static std::unique_ptr<CRowWriter> Create(const std::string& path, ByteWriter& out, int width, int height,
                                              int channels, int rowBits, DWORD option);
    // Rows in order, from the top; false once anything failed.
    virtual bool AddBand(const PackedDib& band) = 0;
    // After the last row; false when rows are missing or anything failed.
    virtual bool Finish() = 0;

protected:
    CRowWriter() = default;
};

} // namespace zepho
