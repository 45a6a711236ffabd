// Circle fitting: snapping closed polylines onto the circle through three of
// their nodes, with the row index kept consistent.
#include <gtest/gtest.h>

#include <cmath>
#include <utility>
#include <vector>

#include "graph_builder.h"
#include "invariants.h"
#include "peer.h"
#include "vectorizer/memory.h"

namespace {

const double kPi = 3.14159265358979323846;

using Pts = std::vector<std::pair<int, int>>;

Pts positions(const CKTVector &v) {
    Pts p;
    for (int i = 0; i < v.nodenum; ++i) p.emplace_back(v.node[i].x, v.node[i].y);
    return p;
}

// A closed polyline of `points` in a raster of w x h with its row index.
struct Loop {
    CKTVector v;
    GraphBuilder g{v};
    int id;
    Loop(const Pts &points, int w = 200, int h = 200) {
        g.rows(w, h);
        id = g.path(points, true);
    }
    _KTNODE *second() { return &v.node[v.polyline[id - 1].nodeindex[1]]; }
};

// Twelve nodes: the three sample nodes (entries 0, 4, 8) lie on the circle
// of radius 50 about (100, 100); the others anywhere.
Pts twelve() {
    return {{150, 100}, {140, 130}, {120, 140}, {110, 160}, {100, 150}, {70, 140},
            {60, 130},  {40, 110},  {50, 100},  {60, 60},   {80, 50},   {130, 60}};
}

}  // namespace

TEST(Circle, ThroughThreePoints) {
    CKTVector v;
    GraphBuilder g(v);
    int a = g.node(150, 100), b = g.node(100, 150), c = g.node(50, 100), d = g.node(0, 100);
    double cx, cy, r;
    Peer::mfitcircle3(v, &v.node[a], &v.node[b], &v.node[c], cx, cy, r);
    EXPECT_NEAR(cx, 100, 1e-12);
    EXPECT_NEAR(cy, 100, 1e-12);
    EXPECT_NEAR(r, 50, 1e-12);
    Peer::mfitcircle3(v, &v.node[a], &v.node[c], &v.node[d], cx, cy, r);  // collinear
    EXPECT_TRUE(std::isinf(r));
    Peer::mfitcircle3(v, &v.node[a], &v.node[a], &v.node[a], cx, cy, r);  // coinciding
    EXPECT_TRUE(std::isinf(r));
}

TEST(Circle, TwelveNodesOnRadiusFifty) {
    Loop l(twelve());
    ASSERT_EQ(l.v.mfitcircle(100.0, l.second()), 0);
    const double chord = 100 * std::sin(15 * kPi / 180);
    const double seg = 0.5 * 50 * 50 * (kPi / 6 - 0.5);  // r^2/2 (angle - sin angle)
    const _KTPOLYLINE &p = l.v.polyline[0];
    for (int k = 0; k < 12; ++k) {
        const _KTNODE &n = l.v.node[p.nodeindex[k]];
        double a = k * (2 * kPi / 12);
        EXPECT_EQ(n.x, int(100 + 50 * std::cos(a) + 0.5)) << k;
        EXPECT_EQ(n.y, int(100 + 50 * std::sin(a) + 0.5)) << k;
        int b = p.nodeindex[k + 1];
        _KTNODELINK *f = l.g.find_link(p.nodeindex[k], b, 1);
        _KTNODELINK *t = l.g.find_link(b, p.nodeindex[k], -1);
        ASSERT_TRUE(f && t);
        EXPECT_NEAR(f->length, chord, 1e-9);
        EXPECT_NEAR(t->length, chord, 1e-9);
        EXPECT_NEAR(f->area, -seg, 1e-9);
        EXPECT_NEAR(t->area, seg, 1e-9);
    }
    EXPECT_EQ(l.v.node[p.nodeindex[3]].y, 150);  // growing angle goes to growing y first
    EXPECT_EQ(p.flag & 4, 4);
    EXPECT_EQ(p.modify, 1);
    EXPECT_EQ(check_graph(l.v), "");
    // A second call in the same pass is refused.
    EXPECT_EQ(l.v.mfitcircle(100.0, l.second()), -1);
}

TEST(Circle, TriangleIsTheSmallestLoop) {
    Loop l({{150, 100}, {100, 150}, {50, 100}});
    ASSERT_EQ(l.v.mfitcircle(60.0, l.second()), 0);
    Pts want = {{150, 100}, {int(100 + 50 * std::cos(2 * kPi / 3) + 0.5), int(100 + 50 * std::sin(2 * kPi / 3) + 0.5)},
                {int(100 + 50 * std::cos(4 * kPi / 3) + 0.5), int(100 + 50 * std::sin(4 * kPi / 3) + 0.5)}};
    EXPECT_EQ(positions(l.v), want);
    EXPECT_EQ(check_graph(l.v), "");
}

// Refusals and non-applicable cases: nothing moves, no link changes.
TEST(Circle, RefusalsLeaveEverythingAsItWas) {
    struct Case {
        const char *name;
        Pts points;
        bool closed;
        double maxradius;
        int result;
        bool marked;
    } cases[] = {
        {"two distinct nodes (nodenum 3)", {{10, 10}, {40, 40}}, true, 1000, -1, true},
        {"open polyline", {{150, 100}, {100, 150}, {50, 100}, {100, 50}}, false, 1000, 0, true},
        {"radius above the limit", {{150, 100}, {100, 150}, {50, 100}}, true, 49.9, -1, true},
        {"collinear samples", {{10, 10}, {20, 10}, {25, 30}, {30, 10}}, true, 1e300, -1, true},
        {"coinciding samples", {{10, 10}, {10, 10}, {40, 40}, {10, 10}}, true, 1e300, -1, true},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        CKTVector v;
        GraphBuilder g(v);
        g.rows(200, 200);
        int id = g.path(c.points, c.closed);
        Pts before = positions(v);
        _KTNODE *start = &v.node[v.polyline[id - 1].nodeindex[1]];
        EXPECT_EQ(v.mfitcircle(c.maxradius, start), c.result);
        EXPECT_EQ(positions(v), before);
        EXPECT_EQ(v.polyline[0].modify, c.marked ? 1 : 0);
        EXPECT_EQ(v.polyline[0].flag, 0);
        EXPECT_EQ(g.find_link(v.polyline[0].nodeindex[0], v.polyline[0].nodeindex[1], 1)->area, 0);
    }
}

TEST(Circle, OnlyTwoLinkNodesStartAFit) {
    Loop l(twelve());
    int extra = l.g.node(199, 199);  // may move the node array
    l.g.link(1, extra, 2);  // node 1 becomes a junction
    Pts before = positions(l.v);
    EXPECT_EQ(l.v.mfitcircle(100, &l.v.node[extra]), 0);  // one link
    EXPECT_EQ(l.v.mfitcircle(100, &l.v.node[1]), 0);      // three links
    EXPECT_EQ(l.v.polyline[0].modify, 0);
    EXPECT_EQ(positions(l.v), before);
    EXPECT_EQ(l.v.mfitcircle(100, &l.v.node[0]), 0);  // the start node has two links
    EXPECT_EQ(l.v.polyline[0].flag & 4, 4);
}

// Circles reaching past the raster edges: nodes stop on the edge rows and
// columns, and the row index stays consistent.
TEST(Circle, ClampedAtAllFourEdges) {
    struct Case {
        const char *name;
        Pts samples;  // entries 0, 4, 8 of twelve nodes
        int w, h;
    } cases[] = {
        {"left and top", {{45, 20}, {20, 45}, {0, 35}}, 200, 200},
        {"right and bottom", {{50, 45}, {30, 5}, {10, 45}}, 52, 52},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        Pts pts;
        for (int k = 0; k < 12; ++k) pts.push_back(k % 4 == 0 ? c.samples[k / 4] : std::pair{25, 25});
        Loop l(pts, c.w, c.h);
        double cx, cy, r;
        const int *ni = l.v.polyline[0].nodeindex;
        Peer::mfitcircle3(l.v, &l.v.node[ni[0]], &l.v.node[ni[4]], &l.v.node[ni[8]], cx, cy, r);
        ASSERT_EQ(l.v.mfitcircle(1000, l.second()), 0);
        for (int k = 0; k < 12; ++k) {
            const _KTNODE &n = l.v.node[ni[k]];
            // Same angle arithmetic as the fit: some corners land exactly
            // on a rounding boundary.
            const double step = 2 * kPi / 12;
            double x = cx + r * std::cos(k * step) + 0.5, y = cy + r * std::sin(k * step) + 0.5;
            int want_x = x >= c.w ? c.w - 1 : x < 0 ? 0 : int(x);
            int want_y = y >= c.h ? c.h - 1 : y < 0 ? 0 : int(y);
            EXPECT_EQ(n.x, want_x) << k;
            EXPECT_EQ(n.y, want_y) << k;
            EXPECT_TRUE(n.x >= 0 && n.x < c.w && n.y >= 0 && n.y < c.h) << k;
        }
        EXPECT_EQ(check_graph(l.v), "");
    }
}

// A row that cannot grow stops the fit with -1000; the nodes moved so far
// stay moved, the failing one stays where it was, and the row index is
// complete.  Fail each allocation in turn until the fit succeeds.
TEST(Circle, RowGrowthFailure) {
    bool done = false;
    int failures = 0;
    for (long n = 1; n < 40 && !done; ++n) {
        SCOPED_TRACE(n);
        Loop l(twelve());
        ktv::mem_fail_at(n);
        int r = l.v.mfitcircle(100, l.second());
        ktv::mem_fail_at(0);
        EXPECT_EQ(check_graph(l.v), "");
        if (r == 0) {
            done = true;
            break;
        }
        EXPECT_EQ(r, -1000);
        ++failures;
        EXPECT_EQ(l.v.polyline[0].flag & 4, 0);
        EXPECT_EQ(l.g.find_link(0, 1, 1)->area, 0);  // links untouched
    }
    EXPECT_TRUE(done);
    EXPECT_GT(failures, 3);
}

TEST(Circle, AllPolylines) {
    CKTVector v;
    GraphBuilder g(v);
    g.rows(400, 400);
    int round = g.path(twelve(), true);
    Pts shifted;
    for (auto [x, y] : twelve()) shifted.emplace_back(x + 200, y);
    int junction = g.path(shifted, true);
    int gone = g.path({{150, 300}, {100, 350}, {50, 300}}, true);
    int open = g.path({{300, 300}, {320, 300}, {340, 310}, {360, 300}});
    // The junction loop's second node gets a third link.
    int second = v.polyline[junction - 1].nodeindex[1];
    g.path_of({second, g.node(390, 390)});
    v.polyline[gone - 1].deleted = 1;
    v.polyline[round - 1].modify = 1;  // cleared before the pass
    Pts before = positions(v);

    v.mfitcircleall(100);
    EXPECT_EQ(v.polyline[round - 1].flag & 4, 4);
    EXPECT_EQ(v.polyline[junction - 1].flag & 4, 0);
    EXPECT_EQ(v.polyline[gone - 1].flag & 4, 0);
    EXPECT_EQ(v.polyline[open - 1].modify, 1);  // examined, not closed
    EXPECT_EQ(v.polyline[gone - 1].modify, 0);
    EXPECT_EQ(v.polyline[junction - 1].modify, 0);
    Pts after = positions(v);
    for (int k = 12; k < v.nodenum; ++k) EXPECT_EQ(after[k], before[k]) << k;
    CheckOptions marked_by_hand;  // `gone` was flagged deleted with its links in place
    marked_by_hand.links_on_polylines = false;
    EXPECT_EQ(check_graph(v, marked_by_hand), "");
}
