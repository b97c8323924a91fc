// Reading and writing the common raster file formats: BMP, JPEG, TIFF, the composite image of a
// PSD, TGA, PNG and PCX. Every image crosses this boundary as a packed DIB.
#pragma once

#include "platform/PackedDib.h"
#include "platform/Services.h"

#include <string>

namespace zepho {

// One object per operation, created and destroyed around it.
//
// The loaders return a new packed DIB of the image at the depth the file holds (1, 4 or 8 bits
// with the file's colour table, 16 bits as 5-5-5, 24 bits, or 32 bits when the file carries an
// alpha channel: blue, green, red, alpha, straight alpha), or an empty one when the file cannot be
// read. They never allocate before the header has been checked against the file's size.
//
// `SaveImageFile` writes a 24-bit DIB or a palette DIB of 1, 4 or 8 bits (16 bits too for BMP);
// the format follows from the path's extension (BMP/DIB, JPG/JPEG, PNG, PCX, TGA, TIF/TIFF). The
// option word is the JPEG quality 1..100 for JPG, the TIFF compression code (1, 3, 4, 5, 7, 8 or
// 32946) for TIFF, bit 0 = run-length coding and bit 1 = bottom-up rows for TGA, and is not used
// by the other formats. The file is written beside the target and renamed over it, so a failed
// save leaves an existing file as it was. Non-zero on success.
//
// The progress indicator may be null; otherwise it is advanced 0..100 and pumped as rows go.
class CImage {
public:
    PackedDib LoadBmpFile(const std::string& path, IProgress* progress);
    PackedDib LoadJPGFile(const std::string& path, IProgress* progress);
    PackedDib LoadTIFFFile(const std::string& path, IProgress* progress);
    PackedDib LoadPSDFile(const std::string& path, IProgress* progress);
    PackedDib LoadTGAFile(const std::string& path, IProgress* progress);
    PackedDib LoadPNGFile(const std::string& path, IProgress* progress);
    PackedDib LoadPCXFile(const std::string& path, IProgress* progress);

    BOOL SaveImageFile(const std::string& path, const PackedDib& dib, DWORD option, IProgress* progress);
};

} // namespace zepho
