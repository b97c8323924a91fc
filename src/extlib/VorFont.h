// Internal font engine of the text calls: fontconfig matching, FreeType faces and HarfBuzz
// shaping behind one process-wide cache. Measuring and drawing both go through LayoutRun, so a
// run is measured exactly as it is drawn. Not part of the library's interface.
#pragma once

#include "platform/WinTypes.h"

#include <agg_path_storage.h>

#include <string>
#include <string_view>

namespace zepho::vor {

struct RunLayout {
    double advance = 0; // pen advance in pixels, spacing included
    int ascent = 0;     // whole pixels above the baseline
    int descent = 0;    // whole pixels below it
    double em = 0;      // the em size in pixels
};

struct FaceDescription {
    std::string family;
    std::string style;
    std::string file;
    bool syntheticBold = false;
    bool syntheticItalic = false;
};

// Shapes the run and, when outlines is given, appends the glyph outlines with the run's pen
// starting at (x, baseline). spacing pixels follow every UTF-16 unit. False when no font can be
// had (no fontconfig, no face); layout is then all zeros.
bool LayoutRun(std::u16string_view text, const LOGFONTA& font, double spacing, double x, double baseline,
               RunLayout& layout, agg::path_storage* outlines);

bool DescribeFace(const LOGFONTA& font, FaceDescription& out);

// Frees every face, pattern and the fontconfig state; the next call starts afresh.
void ReleaseFontCache();

} // namespace zepho::vor
