// Arc fitting's refusals (area, radius limits, marks: the old arc stays)
// and circle fitting (a closed polyline snapped onto the circle through
// three of its nodes).  Fitted results on drawings are pinned by the exact
// driver results.
#include <gtest/gtest.h>

#include <cmath>
#include <utility>
#include <vector>

#include "graph_builder.h"
#include "invariants.h"
#include "peer.h"

namespace {

const double kPi = 3.14159265358979323846;
const double kQuarter = 25 * (kPi / 4 - 0.5) / 0.5;  // area of a quarter circle over a 10 px chord

using Pts = std::vector<std::pair<int, int>>;

// One polyline a -> b with the given area on the forward link.
struct Chord {
    CKTVector v;
    GraphBuilder g{v};
    int a, b;
    Chord(int x0, int y0, int x1, int y1, double area) {
        a = g.node(x0, y0);
        b = g.node(x1, y1);
        g.link(a, b, 1, area);
        g.polyline({a, b});
    }
    _KTNODELINK &forward() { return *g.find_link(a, b, 1); }
    _KTNODELINK &twin() { return *g.find_link(b, a, -1); }
};

Pts positions(const CKTVector &v) {
    Pts p;
    for (int i = 0; i < v.nodenum; ++i) p.emplace_back(v.node[i].x, v.node[i].y);
    return p;
}

// Twelve nodes: the samples (entries 0, 4, 8) lie on the circle of radius
// 50 about (100, 100); the others anywhere.
const Pts kTwelve = {{150, 100}, {140, 130}, {120, 140}, {110, 160}, {100, 150}, {70, 140},
                     {60, 130},  {40, 110},  {50, 100},  {60, 60},   {80, 50},   {130, 60}};

// A closed polyline in a w x h raster with its row index.
struct Loop {
    CKTVector v;
    GraphBuilder g{v};
    int id;
    explicit Loop(const Pts &points, int w = 200, int h = 200) {
        g.rows(w, h);
        id = g.path(points, true);
    }
    _KTNODE *second() { return &v.node[v.polyline[id - 1].nodeindex[1]]; }
};

}  // namespace

TEST(Arc, RefusedLinksKeepTheirOldArc) {
    const double half = 25 * kPi / 2;  // half circle over a 10 px chord
    const struct {
        const char *name;
        int x1;
        double area, minr, maxr;
        bool fitted;
    } cases[] = {
        {"area exactly 0.5", 10, 0.5, 1, 1000, false},
        {"area exactly -0.5", 10, -0.5, 1, 1000, false},
        {"exactly a half circle", 10, half, 1, 1000, true},
        {"more than a half circle", 10, half * 1.001, 1, 1000, false},
        {"radius above the limit", 10, 14.27, 1, 7.0, false},
        {"radius below the limit", 10, 14.27, 7.1, 1000, false},
        {"nearly straight: radius beyond 1000", 100, 0.6, 1, 1000, false},
        {"coinciding ends", 0, 3, 0, 1000, false},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        Chord k(0, 0, c.x1, 0, c.area);
        _KTNODELINK &l = k.forward();
        l.centerx = 77;
        l.centery = 78;
        l.radius = 79;
        l.arc = 2;
        ASSERT_EQ(k.v.marc(1, c.minr, c.maxr), 0);
        EXPECT_EQ(k.v.arcminradius * 10000 + k.v.arcmaxradius, c.minr * 10000 + c.maxr);
        if (c.fitted) {
            EXPECT_EQ(l.arc, 1);
            EXPECT_NEAR(l.radius, 5, 1e-3);
            EXPECT_NEAR(l.centerx, 5, 1e-2);
            EXPECT_NEAR(l.centery, 0, 1e-2);
        } else {
            EXPECT_EQ(l.arc * 1000000 + l.centerx * 10000 + l.centery * 100 + l.radius, 2777879);
        }
    }
}

TEST(Circle, TwelveNodesOnRadiusFiftyAndATriangle) {
    Loop l(kTwelve);
    ASSERT_EQ(l.v.mfitcircle(100.0, l.second()), 0);
    const double chord = 100 * std::sin(15 * kPi / 180), seg = 0.5 * 50 * 50 * (kPi / 6 - 0.5);
    const _KTPOLYLINE &p = l.v.polyline[0];
    for (int k = 0; k < 12; ++k) {
        const _KTNODE &n = l.v.node[p.nodeindex[k]];
        const double a = k * (2 * kPi / 12);  // growing angle goes to growing y first
        EXPECT_EQ(n.x * 1000 + n.y, int(100 + 50 * std::cos(a) + 0.5) * 1000 + int(100 + 50 * std::sin(a) + 0.5)) << k;
        const _KTNODELINK *f = l.g.find_link(p.nodeindex[k], p.nodeindex[k + 1], 1);
        const _KTNODELINK *t = l.g.find_link(p.nodeindex[k + 1], p.nodeindex[k], -1);
        ASSERT_TRUE(f && t);
        EXPECT_NEAR(f->length, chord, 1e-9);
        EXPECT_NEAR(t->length, chord, 1e-9);
        EXPECT_NEAR(f->area, -seg, 1e-9);
        EXPECT_NEAR(t->area, seg, 1e-9);
    }
    EXPECT_EQ(p.flag & 4, 4);
    EXPECT_EQ(p.modify, 1);
    EXPECT_EQ(check_graph(l.v), "");
    EXPECT_EQ(l.v.mfitcircle(100.0, l.second()), -1);  // a second call in the same pass

    Loop t({{150, 100}, {100, 150}, {50, 100}});  // the smallest loop
    ASSERT_EQ(t.v.mfitcircle(60.0, t.second()), 0);
    const Pts want = {{150, 100}, {75, 143}, {75, 57}};
    EXPECT_EQ(positions(t.v), want);
}

