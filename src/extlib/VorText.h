// Text drawing and measuring. Fonts are matched by face name, weight and slant through
// fontconfig (a name it does not know gets the default sans-serif face; a missing bold or italic
// face is synthesised), glyphs come from FreeType as outlines and runs are shaped with HarfBuzz,
// so kerning, ligatures and complex scripts come out right. Characters the face lacks are taken
// from the next face that has them. Measuring shapes exactly as drawing does.
//
// Text is UTF-16. A font is a LOGFONTA: lfHeight < 0 is the em height in pixels, > 0 the cell
// height (ascent + descent), 0 a default of 16 pixels; lfWeight 700 and up is bold; lfItalic;
// lfCharSet hints the language; lfQuality 3 (non-antialiased) draws hard edges. Width, escapement,
// underline and strike-out are not read: the matrix stretches and turns the text.
#pragma once

#include "extlib/VorGeometry.h"
#include "platform/PackedDib.h"

#include <string>
#include <string_view>

namespace zepho {

// Stands in for the memory device context of the text calls. It only carries the resolution
// that point sizes convert with; faces are cached process-wide. Every call accepts null.
struct CVorDC {
    int logPixelsY = 96;
};

// Paints the run's glyphs. (x, y) is the start of the run on its baseline, in layout space;
// the matrix takes layout space into the target. spacing pixels are added after every UTF-16
// unit. Fill mode 0 paints color1. Returns 0 when nothing could be drawn (no usable target,
// matrix or font).
BOOL PaintText(PackedDib& target, const CVorDC* dc, std::u16string_view text, double x, double y,
               const LOGFONTA& font, double spacing, _TEXTFILLMODE fill, const CVorTransMatrix& matrix);

// Paints the outlines of the run's glyphs, lineWidth pixels wide (in layout space).
BOOL StrokeText(PackedDib& target, const CVorDC* dc, std::u16string_view text, double x, double y,
                const LOGFONTA& font, double spacing, _TEXTFILLMODE fill, const CVorTransMatrix& matrix,
                int lineWidth);

// Paints the glyphs grown by a stroke of the given thickness: the glyph interiors and their
// outline together, the halo that a soft text outline is blurred from.
BOOL StrokeText_Blend(PackedDib& target, const CVorDC* dc, std::u16string_view text, double x, double y,
                      const LOGFONTA& font, double spacing, _TEXTFILLMODE fill, const CVorTransMatrix& matrix,
                      double thickness);

// Pen advance of the run in pixels with spacing after every UTF-16 unit (pass 0 for the plain
// extent); 0 when no font can be had.
double VorMeasureText(const CVorDC* dc, std::u16string_view text, const LOGFONTA& font, double spacing = 0);

// The box around the glyph outlines of a run drawn from (0, 0) on its baseline, in pixels, y
// growing downwards. It holds every bit of ink PaintText lays down, which may reach beyond the
// font's ascent and descent (marks stacked on letters, characters taken from another face).
struct VorInkBox {
    double left = 0, top = 0, right = 0, bottom = 0;
};
// 0 when the run has no ink (empty, only spaces) or no font can be had.
BOOL VorGetTextInk(const CVorDC* dc, std::u16string_view text, const LOGFONTA& font, double spacing,
                   VorInkBox* box);

struct VorFontMetrics {
    int ascent = 0;  // whole pixels above the baseline, accents included
    int descent = 0; // whole pixels below it
    double em = 0;   // em height in pixels
};
// Metrics of the font's main face; 0 when no font can be had.
BOOL VorGetFontMetrics(const CVorDC* dc, const LOGFONTA& font, VorFontMetrics* metrics);

struct VorFontInfo {
    std::string family;
    std::string style;
    std::string file;
    bool syntheticBold = false;
    bool syntheticItalic = false;
};
// The face a font request lands on.
BOOL VorDescribeFont(const LOGFONTA& font, VorFontInfo* info);

// Frees the cached faces and shuts fontconfig down (for leak checks at exit); later calls start
// afresh.
void VorReleaseFonts();

} // namespace zepho
