// Arc fitting: recovering the circle from a link's area, the choice of
// centre, the limits and the marks.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "graph_builder.h"
#include "peer.h"

namespace {

const double kPi = 3.14159265358979323846;

// Area cut off from the circle by a chord of half-length c seen under the
// half angle theta.
double segment_area(double c, double theta) {
    double s = std::sin(theta);
    return c * c * (theta - s * std::cos(theta)) / (s * s);
}

// One polyline a -> b with the given area on the forward link.
struct Chord {
    CKTVector v;
    GraphBuilder g{v};
    int a, b, id;
    Chord(int x0, int y0, int x1, int y1, double area) {
        a = g.node(x0, y0);
        b = g.node(x1, y1);
        id = 1;
        g.link(a, b, id, area);
        g.polyline({a, b});
    }
    _KTNODELINK &forward() { return *g.find_link(a, b, id); }
    _KTNODELINK &twin() { return *g.find_link(b, a, -id); }
};

}  // namespace

TEST(Arc, QuarterCircleOnATenPixelChord) {
    const double area = 25 * (kPi / 4 - 0.5) / 0.5;
    struct Case {
        double area;
        double cx, cy;
        int arc;
    } cases[] = {{area, 5, -5, 1}, {-area, 5, 5, 2}};
    for (const Case &c : cases) {
        Chord k(0, 0, 10, 0, c.area);
        ASSERT_EQ(k.v.marc(k.id, 1.0, 1000.0), 0);
        _KTNODELINK &l = k.forward();
        EXPECT_EQ(l.arc, c.arc);
        // The iteration stops once a step is at most 0.001: a few 1e-6 off.
        EXPECT_NEAR(l.radius, 5 * std::sqrt(2.0), 1e-4);
        EXPECT_NEAR(l.centerx, c.cx, 1e-4);
        EXPECT_NEAR(l.centery, c.cy, 1e-4);
        EXPECT_EQ(k.twin().arc, 0);  // only the forward half is written
        EXPECT_EQ(k.twin().radius, 0);
    }
}

// The radius comes back from the area for flat to half-circle arcs in any
// chord direction; a positive area puts the centre to the chord's
// (sin, -cos) side, a negative one to the other.
TEST(Arc, RecoversTheCircleInEveryDirection) {
    const int dirs[][2] = {{40, 0}, {0, 40}, {-40, 0}, {0, -40}, {30, 40}, {-24, 7}};
    for (double theta : {0.2, 0.5, kPi / 4, 1.2, 1.5}) {
        for (auto &d : dirs) {
            for (int sign : {1, -1}) {
                double len = std::hypot(d[0], d[1]), c = len / 2;
                Chord k(100, 100, 100 + d[0], 100 + d[1], sign * segment_area(c, theta));
                ASSERT_EQ(k.v.marc(k.id, 0.5, 1e6), 0);
                _KTNODELINK &l = k.forward();
                SCOPED_TRACE(testing::Message() << theta << " " << d[0] << "," << d[1] << " " << sign);
                double r = c / std::sin(theta);
                EXPECT_NEAR(l.radius, r, 1e-4 * r);
                double dc = r * std::cos(theta);
                double ux = d[1] / len, uy = -d[0] / len;  // (sin, -cos) of the chord angle
                EXPECT_NEAR(l.centerx, 100 + d[0] / 2.0 + sign * dc * ux, 1e-3 * r);
                EXPECT_NEAR(l.centery, 100 + d[1] / 2.0 + sign * dc * uy, 1e-3 * r);
                EXPECT_EQ(l.arc, sign > 0 ? 1 : 2);
                // The centre is at the radius from both ends.
                EXPECT_NEAR(std::hypot(l.centerx - 100, l.centery - 100), l.radius, 1e-6 * r);
            }
        }
    }
}

TEST(Arc, RefusedLinksKeepTheirOldArc) {
    const double half = 25 * kPi / 2;  // half circle over a 10 px chord
    struct Case {
        const char *name;
        int x1, y1;
        double area, minr, maxr;
        bool fitted;
    } cases[] = {
        {"area exactly 0.5", 10, 0, 0.5, 1, 1000, false},
        {"area exactly -0.5", 10, 0, -0.5, 1, 1000, false},
        {"exactly a half circle", 10, 0, half, 1, 1000, true},
        {"more than a half circle", 10, 0, half * 1.001, 1, 1000, false},
        {"radius above the limit", 10, 0, 14.27, 1, 7.0, false},
        {"radius below the limit", 10, 0, 14.27, 7.1, 1000, false},
        {"nearly straight: radius beyond 1000", 100, 0, 0.6, 1, 1000, false},
        {"coinciding ends", 0, 0, 3, 0, 1000, false},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        Chord k(0, 0, c.x1, c.y1, c.area);
        _KTNODELINK &l = k.forward();
        l.centerx = 77;
        l.centery = 78;
        l.radius = 79;
        l.arc = 2;
        ASSERT_EQ(k.v.marc(k.id, c.minr, c.maxr), 0);
        EXPECT_EQ(k.v.arcminradius, c.minr);
        EXPECT_EQ(k.v.arcmaxradius, c.maxr);
        if (c.fitted) {
            EXPECT_EQ(l.arc, 1);
            EXPECT_NEAR(l.radius, 5, 1e-3);
            EXPECT_NEAR(l.centerx, 5, 1e-2);
            EXPECT_NEAR(l.centery, 0, 1e-2);
        } else {
            EXPECT_EQ(l.arc, 2);
            EXPECT_EQ(l.centerx, 77);
            EXPECT_EQ(l.centery, 78);
            EXPECT_EQ(l.radius, 79);
        }
    }
}

TEST(Arc, ModifyGuardSpareAndDirection) {
    CKTVector v;
    GraphBuilder g(v);
    const double area = 25 * (kPi / 4 - 0.5) / 0.5;
    int n0 = g.node(0, 0), n1 = g.node(10, 0), n2 = g.node(10, 10), n3 = g.node(30, 10);
    g.link(n0, n1, 1, area);
    g.link(n1, n2, 1, -area);
    g.link(n2, n3, 1, 0.1);
    g.polyline({n0, n1, n2, n3});
    for (int i = 0; i < 4; ++i) v.node[i].spare = 9;

    ASSERT_EQ(v.marc(-1, 2.0, 50.0), 0);  // the end's id fits the same links
    EXPECT_EQ(g.find_link(n0, n1, 1)->arc, 1);
    EXPECT_EQ(g.find_link(n1, n2, 1)->arc, 2);
    EXPECT_NEAR(g.find_link(n1, n2, 1)->centerx, 5, 1e-4);  // (10,0)->(10,10), negative area
    EXPECT_NEAR(g.find_link(n1, n2, 1)->centery, 5, 1e-4);
    EXPECT_EQ(g.find_link(n2, n3, 1)->arc, 0);
    EXPECT_EQ(v.node[n0].spare, 0);
    EXPECT_EQ(v.node[n1].spare, 0);
    EXPECT_EQ(v.node[n2].spare, 0);  // examined, though too flat
    EXPECT_EQ(v.node[n3].spare, 9);  // never the first node of a link
    EXPECT_EQ(v.polyline[0].modify, 1);

    // Refused while marked: nothing changes, the limits stay.
    g.find_link(n0, n1, 1)->arc = 0;
    EXPECT_EQ(v.marc(1, 1.0, 1000.0), -1);
    EXPECT_EQ(g.find_link(n0, n1, 1)->arc, 0);
    EXPECT_EQ(v.arcminradius, 2.0);
    EXPECT_EQ(v.arcmaxradius, 50.0);
}

TEST(Arc, LinkWithoutTheForwardIdIsLeftAlone) {
    Chord k(0, 0, 10, 0, 14.27);
    _KTNODELINK &l = k.forward();
    l.id = 5;  // no +1 link on the first node
    k.v.node[k.a].spare = 3;
    ASSERT_EQ(k.v.marc(1, 1, 1000), 0);
    EXPECT_EQ(l.arc, 0);
    EXPECT_EQ(k.v.node[k.a].spare, 0);
}

TEST(Arc, AllPolylinesAreMarked) {
    CKTVector v;
    GraphBuilder g(v);
    int a = g.path({{0, 0}, {10, 0}});
    int b = g.path({{0, 20}, {10, 20}, {20, 30}});
    int c = g.path({{0, 40}, {10, 40}});
    g.find_link(v.polyline[a - 1].nodeindex[0], v.polyline[a - 1].nodeindex[1], a)->area = 14.27;
    v.polyline[c - 1].deleted = 1;
    v.polyline[b - 1].modify = 1;  // cleared before the pass
    v.marcall(1.0, 1000.0);
    EXPECT_EQ(v.polyline[a - 1].flag & 1, 1);
    EXPECT_EQ(v.polyline[b - 1].flag & 1, 1);  // no arc found, still marked
    EXPECT_EQ(v.polyline[c - 1].flag & 1, 0);
    EXPECT_EQ(v.polyline[a - 1].modify, 1);
    EXPECT_EQ(v.polyline[b - 1].modify, 1);
    EXPECT_EQ(v.polyline[c - 1].modify, 0);
    EXPECT_EQ(g.find_link(v.polyline[a - 1].nodeindex[0], v.polyline[a - 1].nodeindex[1], a)->arc, 1);
}

TEST(Arc, NoPolylineTable) {
    CKTVector v;
    EXPECT_EQ(v.marc(1, 1, 1000), -1004);
    v.marcall(1, 1000);  // nothing to do, nothing to crash on
    EXPECT_EQ(v.arcminradius, 1.0);
}
