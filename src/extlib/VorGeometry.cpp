#include "extlib/VorGeometry.h"

#include <algorithm>
#include <cmath>

namespace zepho {

namespace {

constexpr double kTwoPi = 6.283185307179586;

// agg::arc steps by an angle that shrinks with the radius; past this radius the step is held so
// that one turn never needs more than about 8000 vertices (huge radii would otherwise hang).
double ApproximationScaleFor(double radius) {
    constexpr double kLimit = 1.7e6;
    return radius > kLimit ? kLimit / radius : 1.0;
}

bool AllFinite(std::initializer_list<double> values) {
    return std::all_of(values.begin(), values.end(), [](double v) { return std::isfinite(v); });
}

} // namespace

CVorTransMatrix CVorTransMatrix::Rotation(double radians) {
    const double c = std::cos(radians);
    const double s = std::sin(radians);
    return {c, s, -s, c, 0, 0};
}

CVorTransMatrix& CVorTransMatrix::Multiply(const CVorTransMatrix& other) {
    agg::trans_affine::multiply(other);
    return *this;
}

BOOL CVorTransMatrix::Invert() {
    if (!IsUsable()) {
        *this = CVorTransMatrix(0, 0, 0, 0, 0, 0);
        return 0;
    }
    agg::trans_affine::invert();
    return 1;
}

bool CVorTransMatrix::IsUsable() const {
    if (!AllFinite({sx, shy, shx, sy, tx, ty})) return false;
    // Anything whose inverse is finite counts, however stretched; drawing copes with the rest.
    const double det = determinant();
    if (!std::isfinite(det) || det == 0 || !std::isfinite(1.0 / det)) return false;
    CVorTransMatrix inv = *this;
    inv.agg::trans_affine::invert();
    return AllFinite({inv.sx, inv.shy, inv.shx, inv.sy, inv.tx, inv.ty});
}

void CVorArc::Init(double x, double y, double rx, double ry, double a1, double a2, BOOL ccw) {
    empty_ = !AllFinite({x, y, rx, ry, a1, a2});
    if (empty_) return;
    // Bring the sweep into one turn here; agg::arc would add 2 pi in a loop, which never ends
    // for angles far apart.
    double sweep = a2 - a1;
    if (ccw) {
        if (sweep < 0) sweep += std::ceil(-sweep / kTwoPi) * kTwoPi;
    } else {
        if (sweep > 0) sweep -= std::ceil(sweep / kTwoPi) * kTwoPi;
    }
    sweep = std::clamp(sweep, -kTwoPi, kTwoPi);
    if (!std::isfinite(sweep)) {
        empty_ = true;
        return;
    }
    arc_.approximation_scale(ApproximationScaleFor((std::fabs(rx) + std::fabs(ry)) / 2));
    arc_.init(x, y, rx, ry, a1, a1 + sweep, ccw != 0);
}

void CVorArc::rewind(unsigned pathId) {
    if (!empty_) arc_.rewind(pathId);
}

unsigned CVorArc::vertex(double* x, double* y) {
    return empty_ ? static_cast<unsigned>(agg::path_cmd_stop) : arc_.vertex(x, y);
}

void CVorRoundRect::Init(double x1, double y1, double x2, double y2, double r) {
    empty_ = !AllFinite({x1, y1, x2, y2, r});
    if (empty_) return;
    rect_.rect(x1, y1, x2, y2);
    rect_.radius(std::max(r, 0.0));
    rect_.normalize_radius();
    rect_.approximation_scale(ApproximationScaleFor(std::max(r, 0.0)));
}

void CVorRoundRect::rewind(unsigned pathId) {
    if (!empty_) rect_.rewind(pathId);
}

unsigned CVorRoundRect::vertex(double* x, double* y) {
    return empty_ ? static_cast<unsigned>(agg::path_cmd_stop) : rect_.vertex(x, y);
}

} // namespace zepho
