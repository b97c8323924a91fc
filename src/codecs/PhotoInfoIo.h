// A photo's Exif, XMP and IPTC blocks in and out of files, through exiv2. Nothing of exiv2
// crosses this boundary: its exceptions are caught here and its log is silenced.
#pragma once

#include "codecs/FileTypes.h"
#include "model/PhotoInfo.h"

#include <string>
#include <vector>

namespace zepho {

// Whether files of the kind are looked at for photo information on open.
bool ReadsPhotoInfo(FileKind kind);
// Whether an export to the kind writes the document's photo information back.
bool WritesPhotoInfo(FileKind kind);

// The blocks of a file, without what described the stored pixels (thumbnails, strips, tiles,
// the colour profile): the document holds the picture upright and in sRGB. Empty when the file has
// none or they cannot be read; never throws.
CPhotoInfo ReadPhotoInfo(const std::string& path);
CPhotoInfo ReadPhotoInfo(const std::vector<BYTE>& file);

// What changes on the way out.
struct PhotoInfoOut {
    int width = 0; // the written picture's size
    int height = 0;
    bool stripLocation = false; // GPS coordinates left out, everything else kept
};

// Puts the blocks into an encoded file held in memory (JPEG, PNG, TIFF, WebP): orientation 1,
// the pixel dimensions of the written picture, no thumbnail. False, with `file` as it was, when
// exiv2 cannot write them.
bool EmbedPhotoInfo(std::vector<BYTE>& file, const CPhotoInfo& info, const PhotoInfoOut& out);

// The blocks as they go into a container that holds them as items or boxes of its own (AVIF,
// JPEG XL): the Exif TIFF structure and the XMP packet of the written picture, prepared as
// EmbedPhotoInfo prepares them. IPTC has no place there.
struct PhotoBlocks {
    std::vector<BYTE> exif;
    std::string xmp;
    bool Empty() const { return exif.empty() && xmp.empty(); }
};
PhotoBlocks PhotoBlocksOut(const CPhotoInfo& info, const PhotoInfoOut& out);

// Takes the GPS coordinates out of the blocks, keeping everything else. False, with `info` as it
// was, when exiv2 cannot rewrite them.
bool RemovePhotoLocation(CPhotoInfo& info);

// The fields the batch tool reports; empty strings and zeros where the photo has none.
struct PhotoSummary {
    std::string make, model, lens, dateTaken, exposureTime;
    std::string fNumber; // "2.8"
    long iso = 0;
    bool hasLocation = false;
    // What the file's Exif said (1..8); the pixels were turned upright on open.
    int orientation = 1;
};
PhotoSummary SummarizePhotoInfo(const CPhotoInfo& info);

} // namespace zepho
