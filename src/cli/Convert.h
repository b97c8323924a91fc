// Reading any file the tool knows and writing it in another format, one file or many at once.
#pragma once

#include "codecs/StreamExport.h"
#include "model/DocImage.h"
#include "platform/Services.h"

#include <cstdint>
#include <string>
#include <vector>

namespace zepho::cli {

// How convert writes its outputs; -1 means the format's default.
struct ConvertOptions {
    long option = -1;           // --option: the writer's option word as is
    long background = 0xFFFFFF; // --background, RRGGBB
    int quality = -1;           // --quality: JPEG, WebP, AVIF, JPEG XL
    int speed = -1;             // --speed: AVIF encoder speed 0..10
    bool lossless = false;      // --lossless: WebP, JPEG XL
    bool keepAlpha = false;     // --keep-alpha: PNG, TIFF, TGA, BMP keep the transparency
    bool animate = false;       // --animate: one frame per visible object
    bool force = false;         // --force: replace existing outputs (several inputs only)
    bool stripLocation = false; // --strip-location: the photo information without GPS
    bool stripMetadata = false; // --strip-metadata: no photo information at all
    bool composite = false;     // flatten: the composite with its transparency, written as PNG
};

// "cannot write ...", with the reason when the target refuses to be replaced (read-only, ...).
std::string CannotWrite(const std::string& path, const char* what);

// The pixel budget of every read (--max-pixels); 0 is the default budget.
extern std::uint64_t gMaxPixels;
// A layered PSD is read as its composite image (--psd-composite, the editor's PSDOpenFashion 1).
extern bool gPsdComposite;

// Reads a document or an image within the pixel budget; on failure false with the reason. What
// the readers tell on the way (a video cut short, objects left out as too large) goes to stderr
// as notes. `progress` may be null. The
// frames of an animation (GIF, WebP, JPEG XL, ANI, AVI, icon images) come in as the editor opens them, the
// first one visible, or with `allFrames` all visible; documents and PSD layers keep their own.
bool LoadDocument(const std::string& path, CDocImage& doc, std::string& format, std::string& why,
                  IProgress* progress, bool allFrames = false);

// Whether the options make sense for files of this output extension; otherwise the reason.
bool CheckOutputType(const std::string& outPath, const ConvertOptions& opts, std::string& why);

// Writes the document in the format `out` names. On failure false with the reason; the target is
// then untouched.
bool WriteDocument(const CDocImage& doc, const std::string& out, const ConvertOptions& opts,
                   IProgress* progress, std::string& why);

// Whether converting `in` to `out` may go a band of rows at a time (see StreamExport.h).
bool MayConvertStreamed(const std::string& in, const std::string& out, const ConvertOptions& opts);
// Converts `in` to `out` band by band when it can; NotStreamed when the document's way must be
// taken (nothing was written then), Failed with the reason when the target could not be written.
// With opts.composite the composite keeps its transparency, as `flatten` writes it.
StreamOutcome ConvertStreamed(const std::string& in, const std::string& out, const ConvertOptions& opts,
                              IProgress* progress, std::string& why);

// Roughly how many pixels converting `in` holds at once, from its header alone: little for a
// conversion that streams, a few times the picture for one that goes through a document. A file
// whose size cannot be told counts as several pixels for each of its bytes.
std::uint64_t ConversionPixels(const std::string& in, const std::string& out, const ConvertOptions& opts);

// Converts every input into outDir (names kept, extension replaced by `ext`) on `jobs` threads.
// One line per failed file on stderr, a progress bar there when it is a terminal, a summary at
// the end. Conversions run at once only while their pixels (ConversionPixels) fit in the budget
// of --max-pixels together; one that needs more than all of it runs alone. Existing outputs are kept unless
// opts.force. Exit status: 0, or 1 when any file failed.
int ConvertMany(const std::vector<std::string>& inputs, const std::string& outDir, const std::string& ext,
                int jobs, const ConvertOptions& opts);

} // namespace zepho::cli
