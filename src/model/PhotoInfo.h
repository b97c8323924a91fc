// A photo's information blocks (Exif, XMP, IPTC) as the file carried them, kept with the document
// so that an export can write them back out. The codecs layer reads and writes them; here they
// are plain bytes.
#pragma once

#include "platform/WinTypes.h"

#include <cstddef>
#include <string>
#include <vector>

namespace zepho {

// No block larger than this is kept: nothing a camera or an editor writes comes near it.
constexpr std::size_t kMaxPhotoInfoBlock = 16u << 20;

struct CPhotoInfo {
    // The Exif block as a TIFF structure ("II*\0" or "MM\0*" and its IFDs), without the APP1
    // "Exif\0\0" prefix.
    std::vector<BYTE> exif;
    // The XMP packet, UTF-8.
    std::string xmp;
    // IPTC-IIM records (0x1C datasets), without the Photoshop resource around them.
    std::vector<BYTE> iptc;

    // The description of the colour profile the pixels were converted from when the file was
    // read ("Adobe RGB (1998)"); said, never written back (the pixels are sRGB now).
    std::string profile;
    // The orientation the file said it was stored in (1..8), applied when it was read.
    int orientation = 1;

    bool Empty() const { return exif.empty() && xmp.empty() && iptc.empty(); }
    // Whether there is anything a saved document should carry along.
    bool WorthKeeping() const { return !Empty() || !profile.empty(); }
    void Clear() { *this = CPhotoInfo{}; }
};

} // namespace zepho
