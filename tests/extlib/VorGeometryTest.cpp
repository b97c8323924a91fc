#include "extlib/VorGeometry.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

namespace zepho {
namespace {

constexpr double kPi = 3.141592653589793;

struct Vertex {
    unsigned cmd;
    double x, y;
};

template <class Source> std::vector<Vertex> Collect(Source& src, std::size_t limit = 1000000) {
    std::vector<Vertex> out;
    src.rewind(0);
    for (;;) {
        Vertex v{};
        v.cmd = src.vertex(&v.x, &v.y);
        if (v.cmd == agg::path_cmd_stop || out.size() >= limit) break;
        out.push_back(v);
    }
    return out;
}

TEST(VorTransMatrix, MultiplyAppliesTheOtherTransformAfterThisOne) {
    CVorTransMatrix m = CVorTransMatrix::Translation(10, 0);
    m.Multiply(CVorTransMatrix::Rotation(kPi / 2));
    double x = 0, y = 0;
    m.Transform(&x, &y);
    EXPECT_NEAR(x, 0, 1e-12); // moved to (10, 0), then turned onto the y axis
    EXPECT_NEAR(y, 10, 1e-12);

    CVorTransMatrix r = CVorTransMatrix::Rotation(kPi / 2);
    r.Multiply(CVorTransMatrix::Translation(10, 0));
    x = 0, y = 0;
    r.Transform(&x, &y);
    EXPECT_NEAR(x, 10, 1e-12);
    EXPECT_NEAR(y, 0, 1e-12);

    const CVorTransMatrix rot = CVorTransMatrix::Rotation(0.3);
    EXPECT_DOUBLE_EQ(rot.A(), std::cos(0.3));
    EXPECT_DOUBLE_EQ(rot.B(), std::sin(0.3));
    EXPECT_DOUBLE_EQ(rot.C(), -std::sin(0.3));
    EXPECT_DOUBLE_EQ(rot.D(), std::cos(0.3));
}

TEST(VorTransMatrix, InvertUndoesAComposedTransform) {
    CVorTransMatrix m = CVorTransMatrix::Translation(-50, -20);
    m.Multiply(CVorTransMatrix::Scaling(2.5, 0.5));
    m.Multiply(CVorTransMatrix::Rotation(-0.7));
    m.Multiply(CVorTransMatrix::Translation(80, 60));
    CVorTransMatrix inv = m;
    EXPECT_TRUE(inv.Invert());
    for (double px : {0.0, 13.5, -200.0}) {
        double x = px, y = 7 - px;
        m.Transform(&x, &y);
        inv.Transform(&x, &y);
        EXPECT_NEAR(x, px, 1e-9);
        EXPECT_NEAR(y, 7 - px, 1e-9);
    }
}

TEST(VorTransMatrix, SingularOrNonFiniteMatricesRefuseToInvert) {
    CVorTransMatrix flat = CVorTransMatrix::Scaling(0, 3);
    EXPECT_FALSE(flat.Invert());
    EXPECT_FALSE(flat.IsUsable());

    CVorTransMatrix nan(NAN, 0, 0, 1, 0, 0);
    EXPECT_FALSE(nan.Invert());

    // Tiny but honest scales still invert.
    CVorTransMatrix tiny = CVorTransMatrix::Scaling(1e-6, 1e-6);
    EXPECT_TRUE(tiny.Invert());
    EXPECT_NEAR(tiny.A(), 1e6, 1e-3);
}

TEST(VorArc, FullEllipseRunsOnceAroundAndStops) {
    CVorArc arc;
    arc.Init(50, 40, 30, 20, 0, 2 * kPi, 1);
    const std::vector<Vertex> v = Collect(arc);
    ASSERT_GT(v.size(), 16u);
    EXPECT_EQ(v.front().cmd, unsigned(agg::path_cmd_move_to));
    EXPECT_NEAR(v.front().x, 80, 1e-9);
    EXPECT_NEAR(v.front().y, 40, 1e-9);
    double prevAngle = -1;
    for (std::size_t i = 0; i < v.size(); ++i) {
        if (i > 0) {
            EXPECT_EQ(v[i].cmd, unsigned(agg::path_cmd_line_to));
        }
        const double u = (v[i].x - 50) / 30, w = (v[i].y - 40) / 20;
        EXPECT_NEAR(u * u + w * w, 1, 1e-9);
        double angle = std::atan2(w, u);
        if (angle < -1e-9) angle += 2 * kPi;
        if (i + 1 < v.size()) { // the last vertex closes the turn at 2 pi
            EXPECT_GT(angle, prevAngle);
            prevAngle = angle;
        }
    }
    EXPECT_NEAR(v.back().x, 80, 1e-9);
    EXPECT_NEAR(v.back().y, 40, 1e-6);
    double x, y;
    EXPECT_EQ(arc.vertex(&x, &y), unsigned(agg::path_cmd_stop)); // stays stopped
    EXPECT_EQ(Collect(arc).size(), v.size());                    // and rewinds
}

TEST(VorArc, HostileArgumentsStayBounded) {
    CVorArc farApart(0, 0, 10, 10, 1e300, 0, 1);
    EXPECT_LT(Collect(farApart).size(), 100000u);
    CVorArc huge(0, 0, 1e12, 1e12, 0, 2 * kPi, 1);
    EXPECT_LT(Collect(huge).size(), 100000u);
    CVorArc nan(0, 0, NAN, 10, 0, 1, 1);
    EXPECT_TRUE(Collect(nan).empty());
    // Clockwise arcs run the other way round.
    CVorArc cw(0, 0, 10, 10, 0, kPi / 2, 0);
    const std::vector<Vertex> v = Collect(cw);
    ASSERT_GT(v.size(), 2u);
    EXPECT_LT(v[1].y, 0); // toward negative angles first
}

TEST(VorRoundRect, StaysInsideItsRectangleAndClosesThePolygon) {
    CVorRoundRect rr(10, 20, 110, 70, 40); // radius larger than half the height shrinks to fit
    const std::vector<Vertex> v = Collect(rr);
    ASSERT_GT(v.size(), 8u);
    EXPECT_EQ(v.front().cmd, unsigned(agg::path_cmd_move_to));
    EXPECT_EQ(v.back().cmd & agg::path_cmd_mask, unsigned(agg::path_cmd_end_poly));
    EXPECT_TRUE(v.back().cmd & agg::path_flags_close);
    for (const Vertex& p : v) {
        if (!agg::is_vertex(p.cmd)) continue;
        EXPECT_GE(p.x, 10 - 1e-9);
        EXPECT_LE(p.x, 110 + 1e-9);
        EXPECT_GE(p.y, 20 - 1e-9);
        EXPECT_LE(p.y, 70 + 1e-9);
        // The corner itself is cut away.
        EXPECT_GT(std::hypot(p.x - 10, p.y - 20), 5);
    }
}

} // namespace
} // namespace zepho
