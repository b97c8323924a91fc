// Converting one image file into another a band of rows at a time, for pictures too large to
// hold whole several times over. It gives the bytes that opening the file as a document and
// exporting it would give, and declines whatever it cannot give that way.
#pragma once

#include "platform/Services.h"
#include "platform/WinTypes.h"

#include <cstdint>
#include <string>

namespace zepho {

enum class StreamOutcome {
    Written,     // the target holds the converted picture
    Failed,      // the target could not be written; it is as it was
    NotStreamed, // nothing was written: take the document's way (also for a damaged file)
};

struct StreamRequest {
    std::string in, out;
    DWORD option = 0;        // the writer's option word, as ExportFile takes it
    DWORD extra = 0;         // the kExport bits of ExportFile
    COLORREF background = 0; // what transparency is flattened over
    // The composite keeping its transparency (ExportCompositePng) instead of ExportFile's picture.
    bool composite = false;
};

// Whether a request may stream at all, from the names and options alone: a PNG or JPEG into a
// PNG, JPEG or TIFF, not as an animation.
bool MayStream(const StreamRequest& request);

// Reads `in` (one picture: a PNG that is not interlaced, or a JPEG) and writes `out` (PNG, JPEG
// or TIFF) band by band. Declined (NotStreamed) when the picture is stored turned (an Exif
// orientation other than 1 or mirrored), or when its flattened picture has 256 colours or fewer
// (the export then writes a palette). The photo information goes out as ExportFile puts it in.
// `profileUnusable` is set when the file's colour profile could not be used.
StreamOutcome ExportStreamed(const StreamRequest& request, IProgress* progress,
                             bool* profileUnusable = nullptr);

// The pixels a streamed conversion holds at once at most for a picture of this width, for
// callers that share a memory budget among conversions.
std::uint64_t StreamedPixels(int width);

} // namespace zepho
