// Snapping for the view's gestures: the snapper of the gesture in progress and the smart guides
// it shows.
#include "edit/document/OrvaneDoc.h"
#include "edit/view/OrvaneView.h"
#include "model/AppSettings.h"

#include <algorithm>
#include <cmath>
#include <string>

namespace zepho {

CSnapOptions COrvaneView::SnapOptions() const {
    const CAppSettings& s = doc_.Settings();
    CSnapOptions o;
    o.enabled = s.SnapEnabled != 0;
    o.targets = static_cast<unsigned>(s.SnapTargets) & 15u;
    o.guidesShown = s.ShowGuides != 0;
    o.gridSpacing = std::max(s.GridSpacing, 1);
    return o;
}

bool COrvaneView::Snaps(unsigned flags) const {
    return (flags & kMkAlt) == 0 && doc_.Settings().SnapEnabled != 0;
}

void COrvaneView::BeginSnap(const std::vector<const CDrawObj*>& moving) {
    snapper_.emplace(doc_.Image(), doc_.guides, SnapOptions(), moving);
    ShowSmartGuides({});
}

void COrvaneView::EndSnap() {
    snapper_.reset();
    ShowSmartGuides({});
}

void COrvaneView::ShowSmartGuides(SnapFeedback feedback) {
    if (feedback == smartGuides_) return;
    smartGuides_ = std::move(feedback);
    InvalidateOverlay();
}

DPoint COrvaneView::SnapBox(const DRect& box, unsigned flags) {
    if (!snapper_ || !Snaps(flags)) {
        ShowSmartGuides({});
        return {};
    }
    SnapFeedback feedback;
    const DPoint move = snapper_->SnapBox(box, zoom_, &feedback);
    ShowSmartGuides(std::move(feedback));
    return move;
}

DPoint COrvaneView::SnapPoint(DPoint canvas, unsigned flags) {
    if (!snapper_ || !Snaps(flags)) {
        ShowSmartGuides({});
        return {};
    }
    SnapFeedback feedback;
    const DPoint move = snapper_->SnapPoint(canvas, zoom_, &feedback);
    ShowSmartGuides(std::move(feedback));
    return move;
}

POINT COrvaneView::SnapLogical(POINT logical, unsigned flags) {
    const DPoint c = LogicalToCanvasExact(logical);
    const DPoint move = SnapPoint(c, flags);
    if (move.x == 0 && move.y == 0) return logical;
    const double scale = zoom_ >= 1 ? zoom_ : 1.0 / -zoom_;
    return {static_cast<LONG>(std::lround(canvasRect_.left + (c.x + move.x) * scale)),
            static_cast<LONG>(std::lround(canvasRect_.top + (c.y + move.y) * scale))};
}

std::string COrvaneView::SizeText(SIZE size) {
    return std::to_string(size.cx) + " x " + std::to_string(size.cy);
}

std::optional<SIZE> COrvaneView::RubberBandSize() const {
    if (!drag_.Has(CDragState::RubberBand)) return std::nullopt;
    const POINT a = LogicalToCanvas(drag_.start), b = LogicalToCanvas(drag_.current);
    return SIZE{std::abs(b.x - a.x), std::abs(b.y - a.y)};
}

} // namespace zepho
