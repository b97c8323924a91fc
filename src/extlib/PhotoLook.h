// How a photo's file says its pixels are meant to be seen: turned or mirrored (the Exif
// orientation) and in which colour space (an embedded ICC profile). Readers decode the stored
// pixels, then hand them here, so that the document holds the picture upright and in sRGB.
#pragma once

#include "platform/PackedDib.h"

#include <cstddef>
#include <span>
#include <string>

namespace zepho {

// ---- Orientation

// The orientation (1..8) of an Exif block: the bytes from the TIFF header ("II*\0" or "MM\0*")
// on, or with the "Exif\0\0" of a JPEG APP1 segment before it. 1 when the block has none, or
// is damaged.
int ExifOrientation(std::span<const BYTE> exif);

// The picture as the orientation says it is seen: 1 unchanged, 2 mirrored left-right, 3 turned
// half round, 4 mirrored top-bottom, 5 mirrored about the main diagonal, 6 turned a quarter
// clockwise, 7 mirrored about the other diagonal, 8 turned a quarter anticlockwise. Works at any
// depth; empty when memory runs out.
PackedDib ApplyOrientation(PackedDib dib, int orientation);

// ---- Colour profiles

enum class ProfileOutcome {
    // No profile, or one that describes sRGB already: the pixels were left as they are.
    None,
    // The pixels are in sRGB now.
    Converted,
    // The profile is damaged, or describes a space the pixels are not in: the pixels were left
    // as they are stored (and the user should be told so).
    Unusable,
};

// Converts a decoded image from the space of `icc` to sRGB: the colour table of a palette DIB,
// or the pixels of a 24-bit or 32-bit one (alpha kept). Grey images carry a grey profile (their
// palette is converted); RGB profiles on RGB pixels. Transforms are cached by profile, and rows
// are converted in parallel.
ProfileOutcome ConvertToSrgb(PackedDib& dib, std::span<const BYTE> icc);

// CMYK pixels as libjpeg gives them (4 bytes a pixel; Adobe files store them inverted) to BGR, a
// row at a time: through `icc` when the file has a CMYK profile, else through the system's standard
// press profile (kDefaultCmykProfilePath), else through the naive formula that needs none.
inline constexpr char kDefaultCmykProfilePath[] = "/usr/share/color/icc/ghostscript/default_cmyk.icc";
class CCmykToSrgb {
public:
    CCmykToSrgb(std::span<const BYTE> icc, bool inverted);
    ~CCmykToSrgb();
    CCmykToSrgb(const CCmykToSrgb&) = delete;
    CCmykToSrgb& operator=(const CCmykToSrgb&) = delete;
    // Converted when the profile is used, None without one, Unusable when it could not be used
    // (the formula is used then).
    ProfileOutcome Outcome() const { return outcome_; }
    void Row(const BYTE* cmyk, BYTE* bgr, int width) const;

private:
    void* transform_ = nullptr;
    bool inverted_ = false;
    ProfileOutcome outcome_ = ProfileOutcome::None;
};

// The profile's description ("Adobe RGB (1998)"), empty when it has none or is damaged.
std::string ProfileDescription(std::span<const BYTE> icc);

// The colour space AVIF and HEIF files state by code (ITU-T H.273) rather than by an ICC profile,
// as an ICC profile to convert with: `primaries` and `transfer` are the codes, `xy` the CIE x, y of
// red, green, blue and white. Empty when the space is sRGB already (primaries 1 or 2 with an sRGB-
// like transfer) or needs more than a profile (PQ and HLG are for HDR displays); `hdr` then tells
// the two apart.
std::vector<BYTE> ProfileFromCodes(int primaries, int transfer, const float xy[8], bool& hdr);

// Readers note here, on the thread that reads, when a profile could not be used; whoever opened
// the file takes the note afterwards and tells the user once.
void NoteProfileOutcome(ProfileOutcome outcome);
// Whether a profile was unusable since the last call (on this thread); clears the note.
bool TakeProfileUnusableNote();

// The description of the last profile ConvertToSrgb was given on this thread since the last
// call (empty when none, or when it has none); clears it.
std::string TakeProfileSeen();
// The last orientation other than 1 that ApplyOrientation turned a picture by on this thread
// since the last call (1 when none); clears it.
int TakeOrientationSeen();

// The text the editor shows, once, when a profile was unusable.
inline constexpr const char kProfileUnusable[] =
    "The colour profile of this file could not be used; its colours are shown as they are stored.";

} // namespace zepho
