// The "Fill and Stroke" page of ellipses, rectangles and polygons.
#pragma once

#include "edit/properties/PropSession.h"
#include "extlib/VorGeometry.h"

namespace zepho {

class CShapeObj;

class CFillStrokePage : public CPropertyPage {
public:
    static constexpr int kMaxWidth = 100;
    static constexpr int kModeCount = 6;

    CFillStrokePage(CPropertySession& session, IUiHost& ui);

    bool Stroke() const { return stroke_; }
    bool Fill() const;
    // The page's width: what the stroke gets back when it is turned on again.
    int Width() const { return width_; }
    COLORREF StrokeColour() const;
    COLORREF FillColour() const;
    int Mode() const;

    // Turning one off while the other is off is refused with a message; the box stays checked
    // and the result is false. False too when the shape could show nothing after the change.
    bool SetStroke(bool on);
    bool SetFill(bool on);
    bool SetWidth(int width);
    bool SetStrokeColour(COLORREF c);
    bool SetFillColour(COLORREF c);
    bool SetMode(int mode);

    bool Changed() const override;

private:
    CShapeObj& Shape() const;
    // Changes the shape's paint and shows it; the old paint comes back on failure.
    bool Apply(std::uint8_t fill, int strokeWidth, _TEXTFILLMODE paint);

    IUiHost& ui_;
    bool stroke_;
    int width_;
    std::uint8_t fill0_;
    int width0_;
    _TEXTFILLMODE paint0_;
};

} // namespace zepho
