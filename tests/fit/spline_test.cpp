// Spline fitting: the knot rules, the natural and periodic tables, the
// samples, and the failure paths.
#include <gtest/gtest.h>

#include <cmath>
#include <utility>
#include <vector>

#include "graph_builder.h"
#include "peer.h"
#include "sweep.h"

namespace {

using Points = std::vector<std::pair<double, double>>;

int fit(CKTVector &v, int id, int division, int oldrule) {
    return oldrule ? v.msplineold(id, division) : v.mspline(id, division);
}

// The knots of the last fit: the table size, one more for a closed curve.
Points knots(const CKTVector &v) {
    const _KTPOLYLINE &p = v.polyline[0];
    const int n = v.splinetablenum + (p.nodeindex[0] == p.nodeindex[p.nodenum - 1] ? 1 : 0);
    Points k;
    for (int i = 0; i < n; ++i) k.emplace_back(v.splineknotx[i], v.splineknoty[i]);
    return k;
}

// The natural (z at both ends 0) or periodic system of one coordinate:
// h0 z[a] + 2 (h0 + h1) z[i] + h1 z[i+1] = slope(i) - slope(a).
void expect_system(const CKTVector &v, const double *value, const double *z, int n, bool periodic) {
    const double *t = v.splineparam;
    EXPECT_DOUBLE_EQ(z[0], periodic ? z[n - 1] : 0.0);
    EXPECT_DOUBLE_EQ(z[n - 1], periodic ? z[0] : 0.0);
    for (int i = periodic ? 0 : 1; i < n - 1; ++i) {
        const int a = periodic ? (i + n - 2) % (n - 1) : i - 1;
        const double h0 = t[a + 1] - t[a], h1 = t[i + 1] - t[i];
        const double s0 = (value[a + 1] - value[a]) / h0, s1 = (value[i + 1] - value[i]) / h1;
        EXPECT_NEAR(h0 * z[a] + 2 * (h0 + h1) * z[i] + h1 * z[i + 1], s1 - s0, 1e-6 * (1 + std::fabs(s1 - s0))) << i;
    }
}

}  // namespace

TEST(Spline, KnotRules) {
    const struct {
        const char *name;
        std::vector<std::pair<int, int>> nodes;
        bool closed;
        int oldrule;
        Points knots;
    } cases[] = {
        {"corner turns get three knots each side", {{0, 0}, {100, 0}, {100, 100}}, false, 0,
         {{0, 0}, {92.5, 0}, {95, 0}, {97.5, 0}, {100, 0}, {100, 2.5}, {100, 5}, {100, 7.5}, {100, 100}}},
        {"links of exactly 30 get nothing", {{0, 0}, {30, 0}, {30, 30}}, false, 0, {{0, 0}, {30, 0}, {30, 30}}},
        {"short predecessor of exactly a fifth", {{0, 0}, {10, 0}, {60, 0}}, false, 0, {{0, 0}, {10, 0}, {60, 0}}},
        {"short predecessor below a fifth", {{0, 0}, {9, 0}, {59, 0}}, false, 0,
         {{0, 0}, {9, 0}, {11.5, 0}, {14, 0}, {59, 0}}},
        {"short successor of exactly a fifth", {{0, 0}, {50, 0}, {60, 0}}, false, 0, {{0, 0}, {50, 0}, {60, 0}}},
        {"short successor below a fifth", {{0, 0}, {50, 0}, {59, 0}}, false, 0,
         {{0, 0}, {45, 0}, {47.5, 0}, {50, 0}, {59, 0}}},
        {"gentle turn with long neighbours", {{0, 0}, {100, 0}, {200, 50}}, false, 0, {{0, 0}, {100, 0}, {200, 50}}},
        {"closed square: no knots at the start corner", {{0, 0}, {100, 0}, {100, 100}, {0, 100}}, true, 0,
         {{0, 0},    {92.5, 0},    {95, 0},      {97.5, 0},    {100, 0},     {100, 2.5},  {100, 5},  {100, 7.5},
          {100, 92.5}, {100, 95},  {100, 97.5},  {100, 100},   {97.5, 100},  {95, 100},   {92.5, 100}, {7.5, 100},
          {5, 100},   {2.5, 100},  {0, 100},     {0, 97.5},    {0, 95},      {0, 92.5},   {0, 0}}},
        {"zero-length link adds no knot", {{0, 0}, {20, 0}, {20, 0}, {20, 20}}, false, 0, {{0, 0}, {20, 0}, {20, 20}}},
        {"old rule: short last link", {{0, 0}, {50, 0}, {55, 0}}, false, 1, {{0, 0}, {40, 0}, {50, 0}, {55, 0}}},
        {"old rule: short middle link", {{0, 0}, {50, 0}, {50, 5}, {50, 100}}, false, 1,
         {{0, 0}, {40, 0}, {50, 0}, {50, 5}, {50, 15}, {50, 100}}},
        {"old rule: short first link, next skipped", {{0, 0}, {5, 0}, {5, 50}, {100, 50}}, false, 1,
         {{0, 0}, {5, 0}, {5, 10}, {5, 50}, {100, 50}}},
        {"old rule: neighbours of exactly 40", {{0, 0}, {40, 0}, {45, 0}, {85, 0}}, false, 1,
         {{0, 0}, {40, 0}, {45, 0}, {85, 0}}},
        {"old rule: long links only", {{0, 0}, {100, 0}, {100, 100}}, false, 1, {{0, 0}, {100, 0}, {100, 100}}},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        CKTVector v;
        GraphBuilder g(v);
        ASSERT_EQ(fit(v, g.path(c.nodes, c.closed), 4, c.oldrule), 0);
        const Points got = knots(v);
        ASSERT_EQ(got.size(), c.knots.size());
        for (std::size_t i = 0; i < got.size(); ++i) {
            EXPECT_NEAR(got[i].first, c.knots[i].first, 1e-9) << i;
            EXPECT_NEAR(got[i].second, c.knots[i].second, 1e-9) << i;
        }
        EXPECT_EQ(v.polyline[0].splinenum, (int(c.knots.size()) - 1) * 4);
        EXPECT_EQ(v.splinedivision * 10 + v.polyline[0].modify, 41);
    }
}

TEST(Spline, OpenCurvesInterpolateAndSolveTheNaturalSystem) {
    CKTVector v;
    GraphBuilder g(v);
    ASSERT_EQ(v.mspline(-g.path({{0, 0}, {80, 10}, {90, 60}, {40, 120}, {45, 125}, {200, 130}}), 7), 0);  // either id
    const int n = v.splinetablenum;
    ASSERT_GE(n, 6);
    EXPECT_EQ(v.splineparam[0], 0.0);
    EXPECT_DOUBLE_EQ(v.splineparam[n - 1], 1.0);
    for (int j = 0; j < n; ++j) {
        double x, y;
        Peer::mspline2(v, v.splineparam[j], &x, &y);
        EXPECT_NEAR(x, v.splineknotx[j], 1e-9) << j;
        EXPECT_NEAR(y, v.splineknoty[j], 1e-9) << j;
    }
    expect_system(v, v.splineknotx, v.splinezx, n, false);
    expect_system(v, v.splineknoty, v.splinezy, n, false);
    const _KTPOLYLINE &p = v.polyline[0];
    ASSERT_EQ(p.splinenum, (n - 1) * 7);
    EXPECT_EQ(p.splinex[0] + p.spliney[0], 0);
    EXPECT_NEAR(p.splinex[p.splinenum - 1], 200, 1e-9);
    EXPECT_NEAR(p.spliney[p.splinenum - 1], 130, 1e-9);
    // Two nodes: even samples on the segment.
    for (int division : {1, 2, 5}) {
        CKTVector w;
        GraphBuilder h(w);
        ASSERT_EQ(w.mspline(h.path({{50, 50}, {10, 140}}), division), 0);
        ASSERT_EQ(w.polyline[0].splinenum, division);
        for (int k = 0; k < division; ++k) {
            const double t = division > 1 ? double(k) / (division - 1) : 0.0;
            EXPECT_NEAR(w.polyline[0].splinex[k], 50 - 40 * t, 1e-9);
            EXPECT_NEAR(w.polyline[0].spliney[k], 50 + 90 * t, 1e-9);
        }
    }
}

TEST(Spline, ClosedCurvesArePeriodic) {
    // A pentagon, by either knot rule, and a closed polyline of two distinct
    // nodes (there and back: the periodic system at its smallest).
    for (int oldrule : {0, 1, 2}) {
        CKTVector v;
        GraphBuilder g(v);
        std::vector<std::pair<int, int>> pts = {{100, 50}, {150, 80}, {120, 140}, {60, 130}, {40, 70}};
        if (oldrule == 2) pts = {{100, 50}, {140, 50}};
        ASSERT_EQ(fit(v, g.path(pts, true), 50, oldrule & 1), 0);
        const int n = v.splinetablenum;  // intervals
        EXPECT_DOUBLE_EQ(v.splineparam[n], 1.0);
        expect_system(v, v.splineknotx, v.splinezx, n + 1, true);
        expect_system(v, v.splineknoty, v.splinezy, n + 1, true);
        for (int j = 0; j <= n; ++j) {
            double x, y;
            Peer::mspline2C(v, v.splineparam[j], &x, &y);
            EXPECT_NEAR(x, v.splineknotx[j], 1e-9) << j;
            EXPECT_NEAR(y, v.splineknoty[j], 1e-9) << j;
        }
        const _KTPOLYLINE &p = v.polyline[0];
        const int s = p.splinenum;
        ASSERT_EQ(s, n * 50);
        for (int k : {0, s - 1}) EXPECT_NEAR(std::hypot(p.splinex[k] - 100, p.spliney[k] - 50), 0, 1e-9);
        // Equal parameter steps both sides of the start node: one-sided
        // differences agree up to the curvature term (where the curve does
        // not turn back there); a parameter one period off gives the same
        // point.
        const double ax = p.splinex[1] - p.splinex[0], ay = p.spliney[1] - p.spliney[0];
        if (oldrule < 2) {
            EXPECT_NEAR(ax, p.splinex[s - 1] - p.splinex[s - 2], 0.05 * std::hypot(ax, ay));
            EXPECT_NEAR(ay, p.spliney[s - 1] - p.spliney[s - 2], 0.05 * std::hypot(ax, ay));
        }
        double x0, y0, x1, y1;
        Peer::mspline2C(v, 0.3, &x0, &y0);
        Peer::mspline2C(v, 1.3, &x1, &y1);
        EXPECT_NEAR(std::hypot(x0 - x1, y0 - y1), 0, 1e-9);
    }
}

TEST(Spline, RefusalsDegenerateCountsAndMemoryFailures) {
    CKTVector v;
    GraphBuilder g(v);
    const int id = g.path({{0, 0}, {100, 0}, {100, 100}});
    ASSERT_EQ(v.mspline(id, 3), 0);
    // Refused (0) while marked: the first fit, its samples and tables stay.
    const _KTPOLYLINE &p = v.polyline[0];
    const std::vector<double> first(p.splinex, p.splinex + p.splinenum);
    const double *knots = v.splineknotx;
    EXPECT_EQ(v.mspline(id, 9) + v.msplineold(-id, 9), 0);
    EXPECT_EQ(v.splinedivision, 3);
    EXPECT_EQ(v.splineknotx, knots);
    EXPECT_EQ(std::vector<double>(p.splinex, p.splinex + p.splinenum), first);
    v.polyline[0].modify = 0;
    ASSERT_EQ(v.mspline(id, 9), 0);
    EXPECT_EQ(p.splinenum * 10 + v.splinedivision, 729);
    CKTVector none;
    EXPECT_EQ(none.mspline(1, 4) + none.msplineold(-1, 4), -2008);  // no polyline table
    EXPECT_EQ(none.splinedivision, 0);
    const struct {
        const char *name;
        std::vector<std::pair<int, int>> nodes;
        int division, result, splinenum;
    } cases[] = {
        {"division 0", {{0, 0}, {100, 0}, {100, 100}}, 0, 0, 0},
        {"negative division", {{0, 0}, {100, 0}, {100, 100}}, -3, -1000, 0},
        {"a single sample is the first knot", {{7, 9}, {20, 30}}, 1, 0, 1},
        {"one node", {{5, 5}}, 4, 0, 0},
        {"no node", {}, 4, 0, 0},
        {"no node, negative division", {}, -2, -1000, 0},
        {"all nodes on one pixel", {{5, 5}, {5, 5}}, 4, 0, 0},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        CKTVector w;
        GraphBuilder h(w);
        EXPECT_EQ(w.mspline(h.path(c.nodes), c.division), c.result);
        const _KTPOLYLINE &q = w.polyline[0];
        EXPECT_EQ(q.splinenum, c.splinenum);
        EXPECT_EQ(!q.splinex + !q.spliney, c.splinenum ? 0 : 2);
        EXPECT_EQ(w.splinedivision * 10 + q.modify, c.division * 10 + 1);
        if (c.splinenum == 1) {
            EXPECT_EQ(q.splinex[0] * 10 + q.spliney[0], 79);
        }
    }
    // Every allocation failing in turn: -1000 with no samples, and the next
    // fit still works.
    for (int oldrule : {0, 1})
        for (bool sticky : {false, true})
            sweep([&](long n) {
                CKTVector w;
                GraphBuilder h(w);
                const int closed = h.path({{0, 0}, {100, 0}, {100, 100}, {3, 100}}, true);
                int r = 0;
                const bool failed = fails_at(n, [&] { r = fit(w, closed, 5, oldrule); }, sticky);
                _KTPOLYLINE &q = w.polyline[0];
                EXPECT_EQ(q.modify * 10 + w.splinedivision, 15);
                if (!failed) {
                    EXPECT_GT(q.splinenum, 0);
                    return false;
                }
                EXPECT_EQ(r, -1000);
                EXPECT_TRUE(!q.splinenum && !q.splinex && !q.spliney);
                q.modify = 0;
                EXPECT_EQ(fit(w, closed, 5, oldrule), 0);
                EXPECT_GT(q.splinenum, 0);
                return true;
            });
}
