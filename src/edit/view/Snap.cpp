#include "edit/view/Snap.h"

#include "model/DocImage.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace zepho {

namespace {

constexpr double kPi = 3.141592653589793;
// Positions that differ by less than this line up (centres of odd sizes sit on halves, and the
// tools round their moves to whole pixels).
constexpr double kAligned = 0.51;

double Centre(double a, double b) {
    return (a + b) / 2;
}

bool Overlap(double a0, double a1, double b0, double b1) {
    return a0 < b1 && b0 < a1;
}

// The box's extent along an axis and across it.
double Lo(const DRect& r, bool horizontal) {
    return horizontal ? r.left : r.top;
}
double Hi(const DRect& r, bool horizontal) {
    return horizontal ? r.right : r.bottom;
}

// The neighbours of a box along an axis: among the boxes sharing its band across the axis, the
// nearest wholly before and wholly after it, and the one before each of those.
struct Neighbours {
    const DRect* before = nullptr;
    const DRect* beforeThat = nullptr;
    const DRect* after = nullptr;
    const DRect* afterThat = nullptr;
};

Neighbours FindNeighbours(const std::vector<DRect>& others, const DRect& box, bool horizontal) {
    Neighbours n;
    const double c = Centre(Lo(box, horizontal), Hi(box, horizontal));
    const auto inBand = [&](const DRect& o) {
        return Overlap(Lo(o, !horizontal), Hi(o, !horizontal), Lo(box, !horizontal), Hi(box, !horizontal));
    };
    for (const DRect& o : others) {
        if (!inBand(o)) continue;
        if (Hi(o, horizontal) <= c && (!n.before || Hi(o, horizontal) > Hi(*n.before, horizontal)))
            n.before = &o;
        if (Lo(o, horizontal) >= c && (!n.after || Lo(o, horizontal) < Lo(*n.after, horizontal)))
            n.after = &o;
    }
    for (const DRect& o : others) {
        if (!inBand(o)) continue;
        if (n.before && Hi(o, horizontal) <= Lo(*n.before, horizontal) &&
            (!n.beforeThat || Hi(o, horizontal) > Hi(*n.beforeThat, horizontal)))
            n.beforeThat = &o;
        if (n.after && Lo(o, horizontal) >= Hi(*n.after, horizontal) &&
            (!n.afterThat || Lo(o, horizontal) < Lo(*n.afterThat, horizontal)))
            n.afterThat = &o;
    }
    return n;
}

// Where a gap between a and b (a before b along the axis) is drawn across it: the middle of
// the band both share, or of the pair's union when they share none.
double Across(const DRect& a, const DRect& b, bool horizontal) {
    const double lo = std::max(Lo(a, !horizontal), Lo(b, !horizontal));
    const double hi = std::min(Hi(a, !horizontal), Hi(b, !horizontal));
    if (lo < hi) return Centre(lo, hi);
    return Centre(std::min(Lo(a, !horizontal), Lo(b, !horizontal)),
                  std::max(Hi(a, !horizontal), Hi(b, !horizontal)));
}

SnapGap GapBetween(const DRect& a, const DRect& b, bool horizontal) {
    return SnapGap{horizontal, Hi(a, horizontal), Lo(b, horizontal), Across(a, b, horizontal)};
}

void AddGap(std::vector<SnapGap>& gaps, const SnapGap& g) {
    for (const SnapGap& o : gaps)
        if (o.horizontal == g.horizontal && o.from == g.from && o.to == g.to) return;
    gaps.push_back(g);
}

} // namespace

int CGuides::Hit(bool verticalGuide, double pos, double tolerance) const {
    const std::vector<int>& list = Of(verticalGuide);
    int best = -1;
    double bestD = tolerance;
    for (std::size_t i = 0; i < list.size(); ++i) {
        const double d = std::fabs(list[i] - pos);
        if (d <= bestD) {
            bestD = d;
            best = static_cast<int>(i);
        }
    }
    return best;
}

int SnapGap::Length() const {
    return static_cast<int>(std::floor(to - from + 0.5));
}

bool SnapFeedback::operator==(const SnapFeedback& o) const {
    const auto sameLine = [](const SnapLine& a, const SnapLine& b) {
        return a.vertical == b.vertical && a.pos == b.pos && a.from == b.from && a.to == b.to;
    };
    const auto sameGap = [](const SnapGap& a, const SnapGap& b) {
        return a.horizontal == b.horizontal && a.from == b.from && a.to == b.to && a.across == b.across;
    };
    return std::equal(lines.begin(), lines.end(), o.lines.begin(), o.lines.end(), sameLine) &&
           std::equal(gaps.begin(), gaps.end(), o.gaps.begin(), o.gaps.end(), sameGap);
}

CSnapper::CSnapper(const CDocImage& image, const CGuides& guides, const CSnapOptions& options,
                   const std::vector<const CDrawObj*>& excluded) {
    enabled_ = options.enabled && options.targets != 0;
    x_.length = image.width;
    y_.length = image.height;
    if (!enabled_) return;
    const double w = image.width, h = image.height;
    // Order matters on a tie: a guide the user placed beats an object, an object the canvas.
    if ((options.targets & SnapToGuides) && options.guidesShown) {
        for (int gx : guides.vertical)
            x_.targets.push_back({double(gx), Guide, 0, h});
        for (int gy : guides.horizontal)
            y_.targets.push_back({double(gy), Guide, 0, w});
    }
    if (options.targets & SnapToObjects) {
        for (const auto& o : image.objects) {
            if (!o->visible || !o->content) continue;
            if (std::find(excluded.begin(), excluded.end(), o.Get()) != excluded.end()) continue;
            const DRect b = BoxOf(*o);
            if (b.right <= b.left || b.bottom <= b.top) continue;
            others_.push_back(b);
            for (double v : {b.left, Centre(b.left, b.right), b.right})
                x_.targets.push_back({v, Object, b.top, b.bottom});
            for (double v : {b.top, Centre(b.top, b.bottom), b.bottom})
                y_.targets.push_back({v, Object, b.left, b.right});
        }
        spacing_ = true;
    }
    if (options.targets & SnapToCanvas) {
        for (double v : {0.0, w / 2, w})
            x_.targets.push_back({v, Canvas, 0, h});
        for (double v : {0.0, h / 2, h})
            y_.targets.push_back({v, Canvas, 0, w});
    }
    if (options.targets & SnapToGrid) grid_ = std::max(options.gridSpacing, 1);
}

double CSnapper::Tolerance(int zoom) {
    if (zoom >= 1) return kSnapScreenPixels / zoom;
    return kSnapScreenPixels * -zoom;
}

DRect CSnapper::BoxOf(const CDrawObj& obj) {
    const SIZE s = obj.GetSize();
    return {double(obj.x), double(obj.y), double(obj.x) + s.cx, double(obj.y) + s.cy};
}

std::optional<double> CSnapper::Nearest(const Axis& axis, const std::vector<double>& anchors,
                                        const std::vector<Target>& extra, double tolerance) const {
    std::optional<double> best;
    double bestD = tolerance;
    const auto consider = [&](double move) {
        // Strictly nearer only: on a tie the earlier target keeps its place.
        if (std::fabs(move) < bestD || (!best && std::fabs(move) <= bestD)) {
            bestD = std::fabs(move);
            best = move;
        }
    };
    for (const Target& t : axis.targets)
        for (double a : anchors)
            consider(t.pos - a);
    // Spacing positions are for the leading edge only.
    for (const Target& t : extra)
        consider(t.pos - anchors.front());
    if (grid_ > 0)
        for (double a : anchors)
            consider(std::floor(a / grid_ + 0.5) * grid_ - a);
    return best;
}

std::vector<CSnapper::Target> CSnapper::SpacingTargets(const DRect& box, bool horizontal) const {
    std::vector<Target> out;
    if (!spacing_) return out;
    const Neighbours n = FindNeighbours(others_, box, horizontal);
    const double size = Hi(box, horizontal) - Lo(box, horizontal);
    if (n.before && n.after) {
        const double room = Lo(*n.after, horizontal) - Hi(*n.before, horizontal);
        if (room >= size) out.push_back({Hi(*n.before, horizontal) + (room - size) / 2, Spacing, 0, 0});
    }
    if (n.before && n.beforeThat) {
        const double gap = Lo(*n.before, horizontal) - Hi(*n.beforeThat, horizontal);
        out.push_back({Hi(*n.before, horizontal) + gap, Spacing, 0, 0});
    }
    if (n.after && n.afterThat) {
        const double gap = Lo(*n.afterThat, horizontal) - Hi(*n.after, horizontal);
        out.push_back({Lo(*n.after, horizontal) - gap - size, Spacing, 0, 0});
    }
    return out;
}

DPoint CSnapper::SnapBox(const DRect& box, int zoom, SnapFeedback* feedback) const {
    DPoint move;
    if (feedback) feedback->Clear();
    if (!enabled_) return move;
    const double tol = Tolerance(zoom);
    const std::optional<double> mx =
        Nearest(x_, {box.left, Centre(box.left, box.right), box.right}, SpacingTargets(box, true), tol);
    const std::optional<double> my =
        Nearest(y_, {box.top, Centre(box.top, box.bottom), box.bottom}, SpacingTargets(box, false), tol);
    move.x = mx.value_or(0);
    move.y = my.value_or(0);
    if (feedback)
        Explain({box.left + move.x, box.top + move.y, box.right + move.x, box.bottom + move.y}, *feedback);
    return move;
}

DPoint CSnapper::SnapPoint(DPoint p, int zoom, SnapFeedback* feedback) const {
    DPoint move;
    if (feedback) feedback->Clear();
    if (!enabled_) return move;
    const double tol = Tolerance(zoom);
    move.x = Nearest(x_, {p.x}, {}, tol).value_or(0);
    move.y = Nearest(y_, {p.y}, {}, tol).value_or(0);
    if (feedback) {
        const DPoint q{p.x + move.x, p.y + move.y};
        Explain({q.x, q.y, q.x, q.y}, *feedback);
    }
    return move;
}

void CSnapper::Explain(const DRect& box, SnapFeedback& feedback) const {
    // Lines through what the box's edges and centre now touch: the guides show themselves.
    for (const bool vertical : {true, false}) {
        const Axis& axis = vertical ? x_ : y_;
        const double lo = vertical ? box.left : box.top, hi = vertical ? box.right : box.bottom;
        const double acrossLo = vertical ? box.top : box.left, acrossHi = vertical ? box.bottom : box.right;
        for (const Target& t : axis.targets) {
            if (t.kind == Guide) continue;
            if (std::fabs(t.pos - lo) >= kAligned && std::fabs(t.pos - Centre(lo, hi)) >= kAligned &&
                std::fabs(t.pos - hi) >= kAligned)
                continue;
            SnapLine line{vertical, t.pos, std::min(t.from, acrossLo), std::max(t.to, acrossHi)};
            auto same = std::find_if(feedback.lines.begin(), feedback.lines.end(), [&](const SnapLine& l) {
                return l.vertical == vertical && l.pos == t.pos;
            });
            if (same == feedback.lines.end()) {
                feedback.lines.push_back(line);
            } else {
                same->from = std::min(same->from, line.from);
                same->to = std::max(same->to, line.to);
            }
        }
    }
    if (!spacing_ || box.right <= box.left || box.bottom <= box.top) return;
    // Equal spacing: the box halfway between its neighbours, or repeating a neighbour's gap.
    for (const bool horizontal : {true, false}) {
        const Neighbours n = FindNeighbours(others_, box, horizontal);
        const double before = n.before ? Lo(box, horizontal) - Hi(*n.before, horizontal) : -1;
        const double after = n.after ? Lo(*n.after, horizontal) - Hi(box, horizontal) : -1;
        if (n.before && n.after && before > 0 && std::fabs(before - after) < kAligned) {
            AddGap(feedback.gaps, GapBetween(*n.before, box, horizontal));
            AddGap(feedback.gaps, GapBetween(box, *n.after, horizontal));
        }
        if (n.before && n.beforeThat && before > 0 &&
            std::fabs(before - (Lo(*n.before, horizontal) - Hi(*n.beforeThat, horizontal))) < kAligned) {
            AddGap(feedback.gaps, GapBetween(*n.beforeThat, *n.before, horizontal));
            AddGap(feedback.gaps, GapBetween(*n.before, box, horizontal));
        }
        if (n.after && n.afterThat && after > 0 &&
            std::fabs(after - (Lo(*n.afterThat, horizontal) - Hi(*n.after, horizontal))) < kAligned) {
            AddGap(feedback.gaps, GapBetween(box, *n.after, horizontal));
            AddGap(feedback.gaps, GapBetween(*n.after, *n.afterThat, horizontal));
        }
    }
}

namespace {
constexpr long kGuideLimit = 1000000;
// Guides beyond this many per direction are dropped: no one places them by hand.
constexpr std::size_t kMaxGuides = 1000;

void ParseList(const std::string& list, std::vector<int>& out) {
    std::size_t at = 0;
    while (at < list.size() && out.size() < kMaxGuides) {
        std::size_t end = list.find(',', at);
        if (end == std::string::npos) end = list.size();
        const std::string item = list.substr(at, end - at);
        char* stop = nullptr;
        const long v = std::strtol(item.c_str(), &stop, 10);
        if (!item.empty() && stop && *stop == 0 && v >= -kGuideLimit && v <= kGuideLimit)
            out.push_back(static_cast<int>(v));
        at = end + 1;
    }
}
} // namespace

std::string FormatGuides(const CGuides& guides) {
    std::string out;
    for (const bool vertical : {true, false}) {
        out += vertical ? "v=" : ";h=";
        const std::vector<int>& list = guides.Of(vertical);
        for (std::size_t i = 0; i < list.size(); ++i)
            out += (i ? "," : "") + std::to_string(list[i]);
    }
    out += guides.gridShown ? ";grid=1" : ";grid=0";
    return out;
}

CGuides ParseGuides(const std::string& text) {
    CGuides g;
    std::size_t at = 0;
    while (at < text.size()) {
        std::size_t end = text.find(';', at);
        if (end == std::string::npos) end = text.size();
        const std::string field = text.substr(at, end - at);
        const std::size_t eq = field.find('=');
        if (eq != std::string::npos) {
            const std::string key = field.substr(0, eq), value = field.substr(eq + 1);
            if (key == "v") ParseList(value, g.vertical);
            if (key == "h") ParseList(value, g.horizontal);
            if (key == "grid") g.gridShown = value == "1";
        }
        at = end + 1;
    }
    return g;
}

double SnapAngle(double radians) {
    const double step = kPi / 12;
    double a = std::floor(radians / step + 0.5) * step;
    a = std::fmod(a, 2 * kPi);
    if (a < 0) a += 2 * kPi;
    // A whole turn rounds to 0, not to a hair below 2pi.
    if (2 * kPi - a < 1e-9) a = 0;
    return a;
}

} // namespace zepho
