#include "edit/properties/PropFillStroke.h"

#include "edit/commands/CmdCommon.h"
#include "edit/properties/PropStrings.h"
#include "model/ShapeObj.h"

#include <algorithm>

namespace zepho {

CFillStrokePage::CFillStrokePage(CPropertySession& session, IUiHost& ui) : CPropertyPage(session), ui_(ui) {
    const CShapeObj& s = Shape();
    fill0_ = s.fill;
    width0_ = s.strokeWidth;
    paint0_ = s.paint;
    stroke_ = s.strokeWidth > 0;
    // A shape without an outline still offers a visible width for when it gets one.
    width_ = s.strokeWidth > 0 ? std::min(s.strokeWidth, kMaxWidth) : 1;
}

CShapeObj& CFillStrokePage::Shape() const {
    return dynamic_cast<CShapeObj&>(*session_.Content().shape);
}

bool CFillStrokePage::Fill() const {
    return Shape().fill != 0;
}
COLORREF CFillStrokePage::StrokeColour() const {
    return Shape().paint.color1;
}
COLORREF CFillStrokePage::FillColour() const {
    return Shape().paint.color2;
}
int CFillStrokePage::Mode() const {
    return Shape().paint.mode;
}

bool CFillStrokePage::Apply(std::uint8_t fill, int strokeWidth, _TEXTFILLMODE paint) {
    CShapeObj& s = Shape();
    const std::uint8_t oldFill = s.fill;
    const int oldWidth = s.strokeWidth;
    const _TEXTFILLMODE oldPaint = s.paint;
    return session_.Rerender(
        [&] {
            s.fill = fill;
            s.strokeWidth = strokeWidth;
            s.paint = paint;
        },
        [&] {
            s.fill = oldFill;
            s.strokeWidth = oldWidth;
            s.paint = oldPaint;
        });
}

bool CFillStrokePage::SetStroke(bool on) {
    if (on == stroke_) return true;
    if (!on && !Fill()) {
        ShowCommandMessage(ui_, strings::kStrokeNeeded, MsgIcon::Error);
        return false;
    }
    const CShapeObj& s = Shape();
    if (!Apply(s.fill, on ? width_ : 0, s.paint)) return false;
    stroke_ = on;
    return true;
}

bool CFillStrokePage::SetFill(bool on) {
    if (on == Fill()) return true;
    if (!on && !stroke_) {
        ShowCommandMessage(ui_, strings::kFillNeeded, MsgIcon::Error);
        return false;
    }
    const CShapeObj& s = Shape();
    return Apply(on ? 1 : 0, s.strokeWidth, s.paint);
}

bool CFillStrokePage::SetWidth(int width) {
    width = std::clamp(width, 0, kMaxWidth);
    if (!stroke_) {
        width_ = width;
        return true;
    }
    const CShapeObj& s = Shape();
    if (!Apply(s.fill, width, s.paint)) return false;
    width_ = width;
    return true;
}

bool CFillStrokePage::SetStrokeColour(COLORREF c) {
    const CShapeObj& s = Shape();
    _TEXTFILLMODE p = s.paint;
    p.color1 = c;
    return Apply(s.fill, s.strokeWidth, p);
}

bool CFillStrokePage::SetFillColour(COLORREF c) {
    const CShapeObj& s = Shape();
    _TEXTFILLMODE p = s.paint;
    p.color2 = c;
    return Apply(s.fill, s.strokeWidth, p);
}

bool CFillStrokePage::SetMode(int mode) {
    if (mode < 0 || mode >= kModeCount) return false;
    const CShapeObj& s = Shape();
    _TEXTFILLMODE p = s.paint;
    p.mode = static_cast<WORD>(mode);
    return Apply(s.fill, s.strokeWidth, p);
}

bool CFillStrokePage::Changed() const {
    const CShapeObj& s = Shape();
    return s.fill != fill0_ || s.strokeWidth != width0_ || s.paint.color1 != paint0_.color1 ||
           s.paint.color2 != paint0_.color2 || s.paint.mode != paint0_.mode;
}

} // namespace zepho
