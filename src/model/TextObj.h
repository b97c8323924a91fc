// A text object: lines of runs, each run with its own font, baseline offset and character
// spacing, painted with one fill, optionally haloed by a soft outline, scaled and turned as a
// whole.
#pragma once

#include "extlib/VorText.h"
#include "model/ShapeObj.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace zepho {

// One stretch of text in one format.
struct CTextRun {
    // UTF-8. Records store at most 31 characters as single-byte text, with a terminator.
    std::string face;
    // Twips (1/20 point).
    std::int32_t size = 240;
    std::int32_t bold = 0;
    std::int32_t italic = 0;
    // Drawn as glyph outlines instead of filled glyphs.
    std::int32_t outlined = 0;
    // Pixels, positive moves the run down.
    std::int32_t baselineOffset = 0;
    // Pixels added after every character.
    std::int32_t spacing = 0;
    std::u16string text;
    // Characters allocated for the text, as the record stores it.
    std::int32_t capacity = 0;
    // This run ends its line.
    std::int32_t lineEnd = 0;
    std::int32_t charSet = 1;

    // Keeps the capacity while the text fits with its terminator, otherwise grows it by 20.
    void SetText(std::u16string_view s);
    // Everything but the capacity.
    bool operator==(const CTextRun& o) const;
    // Could be merged with o: this run does not end a line and all but text, capacity and line
    // end agree.
    bool SameFormat(const CTextRun& o) const;
    // The run's font at the measuring resolution; painting asks for antialiased glyphs.
    LOGFONTA Font(bool painting) const;
};

// Start values that new text objects take from the application settings.
struct CTextDefaults {
    COLORREF foreColor = 0;               // the foreground paint colour (PaintForeColor)
    COLORREF backColor = 0xFFFFFF;        // the background paint colour (PaintBackgndColor)
    std::int32_t outline = 0;             // MadeTextOutline
    COLORREF outlineColor = 0;            // TextOutlineColor
    std::int32_t outlineThickness = 5;    // TextOutlineThickness
    std::int32_t outlineTransparency = 0; // TextOutlineOpacity
};

// Where measuring put each line.
struct CTextLine {
    std::size_t firstRun = 0;
    std::size_t endRun = 0; // one past the last run
    double width = 0;
    int ascent = 0;  // above the baseline, baseline offsets included
    int descent = 0; // below it
};

struct CTextLayout {
    std::vector<CTextLine> lines;
    // Each run's plain extent, without spacing.
    std::vector<double> extents;
    double width = 0;
    double height = 0;
};

class CTextObj : public CShapeObj {
public:
    explicit CTextObj(const CTextDefaults& defaults = {});

    // Extra pixels between lines.
    std::int32_t lineSpacing = 0;
    // 0 left, 2 right, 6 centred.
    std::int32_t alignment = 0;
    double scaleX = 1.0;
    double scaleY = 1.0;
    // Natural size of the laid-out text.
    double width = 0;
    double height = 0;
    std::int32_t outline = 0;
    COLORREF outlineColor = 0;
    std::int32_t outlineThickness = 0;
    std::int32_t outlineTransparency = 0;
    // Blur radius of the outline.
    std::int32_t outlineSmooth = 0;
    // The ranges the property page offers; stored values outside them are kept but drawn clamped.
    static constexpr int kMaxOutlineThickness = 100;
    static constexpr int kMaxOutlineSmooth = 150;
    std::vector<CTextRun> runs;
    // 1: measure at every render; 0: keep width and height while they are usable.
    std::int32_t measure = 1;
    // Transparent margins trimmed off the last rendered image, counted from the text box's canvas
    // (negative where glyphs reach beyond it).
    std::int32_t marginLeft = 0;
    std::int32_t marginTop = 0;
    std::int32_t marginRight = 0;
    std::int32_t marginBottom = 0;

    static constexpr int kAlignLeft = 0;
    static constexpr int kAlignRight = 2;
    static constexpr int kAlignCenter = 6;

    ObjectKind Kind() const override { return KindText; }
    PackedDib Render() override;
    void GetSize(double& w, double& h) const override;
    CGeometryMemento CreateTransformUndo() override;
    void RestoreGeometry(const CGeometryMemento& memento) override;
    PackedDib Transform(double sx, double sy, double newAngle) override;
    std::size_t Write(ByteWriter& out) const override;
    bool Read(ByteReader& in) override;
    Ref<CObjShape> Clone() const override;
    void GetCenterCorrection(double& dx, double& dy) const override;

    // Breaks the runs into lines and measures them.
    CTextLayout Layout() const;
    // Sets width and height from the layout.
    void Measure();
    // True when there is nothing to lay out (no runs, or one empty run).
    bool IsEmpty() const;

private:
    // Draws every run through the matrix into target (fill or halo).
    void DrawRuns(PackedDib& target, const CTextLayout& layout, const CVorTransMatrix& matrix,
                  bool halo) const;
    // Calls fn(run, x, baseline) with every run's pen start in layout space.
    template <class Fn> void PlaceRuns(const CTextLayout& layout, Fn&& fn) const;
    // The box around every glyph's ink in layout space; false when nothing has ink.
    bool InkBox(const CTextLayout& layout, VorInkBox& box) const;
    // The halo around the text drawn centred on (centreX, centreY) of its image.
    PackedDib AddOutline(const PackedDib& text, const CTextLayout& layout, double sx, double sy,
                         double centreX, double centreY) const;
    // The stroke width drawn: the stored value held to 0..kMaxOutlineThickness.
    int OutlineThickness() const;
};

} // namespace zepho
