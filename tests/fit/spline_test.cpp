// Spline fitting: knot rules, the natural and periodic tables, sampling and
// the failure paths.
#include <gtest/gtest.h>

#include <cmath>
#include <utility>
#include <vector>

#include "graph_builder.h"
#include "peer.h"
#include "sweep.h"

namespace {

using Points = std::vector<std::pair<double, double>>;

Points knots_of(const CKTVector &v, int count) {
    Points k;
    for (int i = 0; i < count; ++i) k.emplace_back(v.splineknotx[i], v.splineknoty[i]);
    return k;
}

int knot_count(const CKTVector &v) {
    // The table size is the knot count, one less for a closed curve.
    const _KTPOLYLINE &p = v.polyline[0];
    bool closed = p.nodeindex[0] == p.nodeindex[p.nodenum - 1];
    return v.splinetablenum + (closed ? 1 : 0);
}

void expect_knots(const CKTVector &v, const Points &want) {
    ASSERT_EQ(knot_count(v), int(want.size()));
    Points got = knots_of(v, int(want.size()));
    for (std::size_t i = 0; i < want.size(); ++i) {
        EXPECT_NEAR(got[i].first, want[i].first, 1e-9) << "knot " << i;
        EXPECT_NEAR(got[i].second, want[i].second, 1e-9) << "knot " << i;
    }
}

struct KnotCase {
    const char *name;
    std::vector<std::pair<int, int>> nodes;
    bool closed;
    int oldrule;
    Points knots;
};

const std::vector<KnotCase> kKnotCases = {
    {"corner turns get three knots each side",
     {{0, 0}, {100, 0}, {100, 100}}, false, 0,
     {{0, 0}, {92.5, 0}, {95, 0}, {97.5, 0}, {100, 0}, {100, 2.5}, {100, 5}, {100, 7.5},
      {100, 100}}},
    {"links of exactly 30 get nothing", {{0, 0}, {30, 0}, {30, 30}}, false, 0,
     {{0, 0}, {30, 0}, {30, 30}}},
    {"short straight predecessor of exactly a fifth", {{0, 0}, {10, 0}, {60, 0}}, false, 0,
     {{0, 0}, {10, 0}, {60, 0}}},
    {"short straight predecessor below a fifth", {{0, 0}, {9, 0}, {59, 0}}, false, 0,
     {{0, 0}, {9, 0}, {11.5, 0}, {14, 0}, {59, 0}}},
    {"short straight successor of exactly a fifth", {{0, 0}, {50, 0}, {60, 0}}, false, 0,
     {{0, 0}, {50, 0}, {60, 0}}},
    {"short straight successor below a fifth", {{0, 0}, {50, 0}, {59, 0}}, false, 0,
     {{0, 0}, {45, 0}, {47.5, 0}, {50, 0}, {59, 0}}},
    {"gentle turn with long neighbours gets nothing", {{0, 0}, {100, 0}, {200, 50}}, false, 0,
     {{0, 0}, {100, 0}, {200, 50}}},
    {"closed square: no knots at the start corner",
     {{0, 0}, {100, 0}, {100, 100}, {0, 100}}, true, 0,
     {{0, 0},      {92.5, 0},   {95, 0},     {97.5, 0},   {100, 0},    {100, 2.5},
      {100, 5},    {100, 7.5},  {100, 92.5}, {100, 95},   {100, 97.5}, {100, 100},
      {97.5, 100}, {95, 100},   {92.5, 100}, {7.5, 100},  {5, 100},    {2.5, 100},
      {0, 100},    {0, 97.5},   {0, 95},     {0, 92.5},   {0, 0}}},
    {"zero-length link adds no knot", {{0, 0}, {20, 0}, {20, 0}, {20, 20}}, false, 0,
     {{0, 0}, {20, 0}, {20, 20}}},
    {"old rule: short last link ends with the last node once", {{0, 0}, {50, 0}, {55, 0}},
     false, 1, {{0, 0}, {40, 0}, {50, 0}, {55, 0}}},
    {"old rule: short middle link with long neighbours",
     {{0, 0}, {50, 0}, {50, 5}, {50, 100}}, false, 1,
     {{0, 0}, {40, 0}, {50, 0}, {50, 5}, {50, 15}, {50, 100}}},
    {"old rule: short first link, next link skipped",
     {{0, 0}, {5, 0}, {5, 50}, {100, 50}}, false, 1,
     {{0, 0}, {5, 0}, {5, 10}, {5, 50}, {100, 50}}},
    {"old rule: neighbours of exactly 40 get nothing", {{0, 0}, {40, 0}, {45, 0}, {85, 0}},
     false, 1, {{0, 0}, {40, 0}, {45, 0}, {85, 0}}},
    {"old rule: long links only", {{0, 0}, {100, 0}, {100, 100}}, false, 1,
     {{0, 0}, {100, 0}, {100, 100}}},
};

int fit(CKTVector &v, int id, int division, int oldrule) {
    return oldrule ? v.msplineold(id, division) : v.mspline(id, division);
}

}  // namespace

TEST(Spline, KnotRules) {
    for (const KnotCase &c : kKnotCases) {
        SCOPED_TRACE(c.name);
        CKTVector v;
        GraphBuilder g(v);
        int id = g.path(c.nodes, c.closed);
        ASSERT_EQ(fit(v, id, 4, c.oldrule), 0);
        expect_knots(v, c.knots);
        EXPECT_EQ(v.polyline[0].splinenum, (int(c.knots.size()) - 1) * 4);
        EXPECT_EQ(v.splinedivision, 4);
        EXPECT_EQ(v.polyline[0].modify, 1);
    }
}

TEST(Spline, TwoNodesGiveEvenSamplesOnTheSegment) {
    for (auto [x1, y1] : std::vector<std::pair<int, int>>{{3, 4}, {100, 0}, {-40, 90}}) {
        for (int division : {1, 2, 5, 16}) {
            CKTVector v;
            GraphBuilder g(v);
            int id = g.path({{50, 50}, {50 + x1, 50 + y1}});
            ASSERT_EQ(v.mspline(id, division), 0);
            const _KTPOLYLINE &p = v.polyline[0];
            ASSERT_EQ(p.splinenum, division);
            for (int k = 0; k < division; ++k) {
                double t = division > 1 ? double(k) / (division - 1) : 0.0;
                EXPECT_NEAR(p.splinex[k], 50 + t * x1, 1e-9) << division << " " << k;
                EXPECT_NEAR(p.spliney[k], 50 + t * y1, 1e-9) << division << " " << k;
            }
        }
    }
}

// Every knot lies on the curve, the first and last samples are the end
// knots, and the coefficients satisfy the natural spline's equations.
TEST(Spline, OpenCurveInterpolatesAndSatisfiesTheNaturalSystem) {
    CKTVector v;
    GraphBuilder g(v);
    int id = g.path({{0, 0}, {80, 10}, {90, 60}, {40, 120}, {45, 125}, {200, 130}});
    ASSERT_EQ(v.mspline(id, 7), 0);
    const int n = v.splinetablenum;
    ASSERT_GE(n, 6);
    const double *t = v.splineparam;
    EXPECT_EQ(t[0], 0.0);
    EXPECT_DOUBLE_EQ(t[n - 1], 1.0);
    for (int j = 0; j < n; ++j) {
        double x, y;
        Peer::mspline2(v, t[j], &x, &y);
        EXPECT_NEAR(x, v.splineknotx[j], 1e-9) << j;
        EXPECT_NEAR(y, v.splineknoty[j], 1e-9) << j;
    }
    for (auto [v_, z] : {std::pair{v.splineknotx, v.splinezx}, std::pair{v.splineknoty, v.splinezy}}) {
        EXPECT_EQ(z[0], 0.0);
        EXPECT_EQ(z[n - 1], 0.0);
        for (int i = 1; i < n - 1; ++i) {
            double h0 = t[i] - t[i - 1], h1 = t[i + 1] - t[i];
            double s0 = (v_[i] - v_[i - 1]) / h0, s1 = (v_[i + 1] - v_[i]) / h1;
            double lhs = h0 * z[i - 1] + 2 * (h0 + h1) * z[i] + h1 * z[i + 1];
            EXPECT_NEAR(lhs, s1 - s0, 1e-6 * (1 + std::fabs(s1 - s0))) << i;
        }
    }
    const _KTPOLYLINE &p = v.polyline[0];
    ASSERT_EQ(p.splinenum, (n - 1) * 7);
    EXPECT_DOUBLE_EQ(p.splinex[0], 0);
    EXPECT_DOUBLE_EQ(p.spliney[0], 0);
    EXPECT_NEAR(p.splinex[p.splinenum - 1], 200, 1e-9);
    EXPECT_NEAR(p.spliney[p.splinenum - 1], 130, 1e-9);
}

// A closed polyline: periodic system, samples start and end on the start
// node, and the slope does not jump there.
TEST(Spline, ClosedCurveIsPeriodic) {
    for (int oldrule : {0, 1}) {
        CKTVector v;
        GraphBuilder g(v);
        int id = g.path({{100, 50}, {150, 80}, {120, 140}, {60, 130}, {40, 70}}, true);
        ASSERT_EQ(fit(v, id, 50, oldrule), 0);
        const int n = v.splinetablenum;  // intervals
        const double *t = v.splineparam;
        EXPECT_DOUBLE_EQ(t[n], 1.0);
        for (auto [v_, z] :
             {std::pair{v.splineknotx, v.splinezx}, std::pair{v.splineknoty, v.splinezy}}) {
            EXPECT_DOUBLE_EQ(z[0], z[n]);
            for (int i = 0; i < n; ++i) {
                int a = (i + n - 1) % n;  // previous interval, cyclically
                double h0 = t[a + 1] - t[a], h1 = t[i + 1] - t[i];
                double s0 = (v_[a + 1] - v_[a]) / h0, s1 = (v_[i + 1] - v_[i]) / h1;
                double lhs = h0 * z[a] + 2 * (h0 + h1) * z[i] + h1 * z[i + 1];
                EXPECT_NEAR(lhs, s1 - s0, 1e-6 * (1 + std::fabs(s1 - s0))) << i;
            }
        }
        for (int j = 0; j <= n; ++j) {
            double x, y;
            Peer::mspline2C(v, t[j], &x, &y);
            EXPECT_NEAR(x, v.splineknotx[j], 1e-9) << j;
            EXPECT_NEAR(y, v.splineknoty[j], 1e-9) << j;
        }
        const _KTPOLYLINE &p = v.polyline[0];
        const int s = p.splinenum;
        ASSERT_EQ(s, n * 50);
        EXPECT_NEAR(p.splinex[0], 100, 1e-9);
        EXPECT_NEAR(p.spliney[0], 50, 1e-9);
        EXPECT_NEAR(p.splinex[s - 1], 100, 1e-9);
        EXPECT_NEAR(p.spliney[s - 1], 50, 1e-9);
        // Equal parameter steps on both sides of the start node: one-sided
        // differences agree up to the curvature term.
        double ax = p.splinex[1] - p.splinex[0], ay = p.spliney[1] - p.spliney[0];
        double bx = p.splinex[s - 1] - p.splinex[s - 2], by = p.spliney[s - 1] - p.spliney[s - 2];
        double step = std::hypot(ax, ay);
        ASSERT_GT(step, 0.1);
        EXPECT_NEAR(ax, bx, 0.05 * step);
        EXPECT_NEAR(ay, by, 0.05 * step);
        // Folding: a parameter one period off gives the same point.
        double x0, y0, x1, y1;
        Peer::mspline2C(v, 0.3, &x0, &y0);
        Peer::mspline2C(v, 1.3, &x1, &y1);
        EXPECT_NEAR(x0, x1, 1e-9);
        EXPECT_NEAR(y0, y1, 1e-9);
    }
}

TEST(Spline, EitherIdFitsTheRecordInNodeOrderOnceUntilCleared) {
    CKTVector v;
    GraphBuilder g(v);
    const int id = g.path({{0, 0}, {100, 0}, {100, 100}});
    ASSERT_EQ(v.mspline(-id, 3), 0);
    const _KTPOLYLINE &p = v.polyline[0];
    ASSERT_EQ(p.splinenum, 24);
    EXPECT_DOUBLE_EQ(p.splinex[0], 0);
    EXPECT_NEAR(p.spliney[23], 100, 1e-9);
    // Refused (0) while marked: the first fit, its samples and its tables stay.
    const double *x = p.splinex;
    const std::vector<double> first(x, x + p.splinenum);
    const double *knots = v.splineknotx;
    EXPECT_EQ(v.mspline(id, 9) + v.msplineold(-id, 9), 0);
    EXPECT_EQ(v.splinedivision, 3);
    EXPECT_EQ(v.splineknotx, knots);
    ASSERT_EQ(p.splinex, x);
    EXPECT_EQ(std::vector<double>(x, x + p.splinenum), first);
    v.polyline[0].modify = 0;
    ASSERT_EQ(v.mspline(id, 9), 0);
    EXPECT_EQ(p.splinenum * 10 + v.splinedivision, 729);
}

TEST(Spline, DegenerateCounts) {
    struct Case {
        const char *name;
        std::vector<std::pair<int, int>> nodes;
        int division;
        int result, splinenum, division_kept;
    } cases[] = {
        {"division 0", {{0, 0}, {100, 0}, {100, 100}}, 0, 0, 0, 0},
        {"negative division", {{0, 0}, {100, 0}, {100, 100}}, -3, -1000, 0, -3},
        {"single sample is the first knot", {{7, 9}, {20, 30}}, 1, 0, 1, 1},
        {"one node", {{5, 5}}, 4, 0, 0, 4},
        {"no node", {}, 4, 0, 0, 4},
        {"no node, negative division", {}, -2, -1000, 0, -2},
        {"all nodes on one pixel", {{5, 5}, {5, 5}}, 4, 0, 0, 4},
    };
    CKTVector none;
    EXPECT_EQ(none.mspline(1, 4) + none.msplineold(-1, 4), -2008);  // no polyline table
    EXPECT_EQ(none.splinedivision, 0);
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        CKTVector v;
        GraphBuilder g(v);
        int id = g.path(c.nodes);
        EXPECT_EQ(v.mspline(id, c.division), c.result);
        const _KTPOLYLINE &p = v.polyline[0];
        EXPECT_EQ(p.splinenum, c.splinenum);
        EXPECT_EQ(p.splinex == nullptr, c.splinenum == 0);
        EXPECT_EQ(p.spliney == nullptr, c.splinenum == 0);
        EXPECT_EQ(v.splinedivision, c.division_kept);
        EXPECT_EQ(p.modify, 1);
        if (c.splinenum == 1) {
            EXPECT_EQ(p.splinex[0], 7);
            EXPECT_EQ(p.spliney[0], 9);
        }
    }
}

// Fail the first, second, ... allocation of a fit until it succeeds: every
// failure answers -1000 with no samples, and the next fit still works.
TEST(Spline, EveryAllocationFailure) {
    for (int oldrule : {0, 1})
        for (bool sticky : {false, true}) {
            SCOPED_TRACE(testing::Message() << "rule " << oldrule << " sticky " << sticky);
            sweep([&](long n) {
                CKTVector v;
                GraphBuilder g(v);
                const int id = g.path({{0, 0}, {100, 0}, {100, 100}, {3, 100}}, true);
                int r = 0;
                const bool failed = fails_at(n, [&] { r = fit(v, id, 5, oldrule); }, sticky);
                _KTPOLYLINE &p = v.polyline[0];
                EXPECT_EQ(p.modify * 10 + v.splinedivision, 15);
                if (!failed) {
                    EXPECT_GT(p.splinenum, 0);
                    return false;
                }
                EXPECT_EQ(r, -1000);
                EXPECT_TRUE(!p.splinenum && !p.splinex && !p.spliney);
                p.modify = 0;
                EXPECT_EQ(fit(v, id, 5, oldrule), 0);
                EXPECT_GT(p.splinenum, 0);
                return true;
            });
        }
}

// A long wavy polyline: sampling stays proportional to the samples.
TEST(Spline, LongPolyline) {
    CKTVector v;
    GraphBuilder g(v);
    std::vector<std::pair<int, int>> pts;
    for (int i = 0; i < 20000; ++i) pts.emplace_back(i * 40, (i % 2) * 40);
    int id = g.path(pts);
    ASSERT_EQ(v.mspline(id, 8), 0);
    const _KTPOLYLINE &p = v.polyline[0];
    EXPECT_EQ(p.splinenum, (knot_count(v) - 1) * 8);
    for (int k = 0; k < p.splinenum; k += 997) {
        EXPECT_TRUE(std::isfinite(p.splinex[k]) && std::isfinite(p.spliney[k])) << k;
    }
}

// A closed polyline of two distinct nodes runs there and back: the periodic
// system is at its smallest (two intervals) and must still give a finite
// curve through both nodes.
TEST(Spline, ClosedThereAndBack) {
    for (int length : {10, 40}) {
        CKTVector v;
        GraphBuilder g(v);
        int id = g.path({{0, 0}, {length, 0}}, true);
        ASSERT_EQ(v.mspline(id, 6), 0);
        const _KTPOLYLINE &p = v.polyline[0];
        ASSERT_GT(p.splinenum, 0);
        for (int k = 0; k < p.splinenum; ++k)
            ASSERT_TRUE(std::isfinite(p.splinex[k]) && std::isfinite(p.spliney[k])) << k;
        EXPECT_NEAR(p.splinex[0], 0, 1e-9);
        EXPECT_NEAR(p.splinex[p.splinenum - 1], 0, 1e-9);
        for (int j = 0; j <= v.splinetablenum; ++j) {
            double x, y;
            Peer::mspline2C(v, v.splineparam[j], &x, &y);
            EXPECT_NEAR(x, v.splineknotx[j], 1e-9) << length << " knot " << j;
        }
    }
}
