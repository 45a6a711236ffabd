// Simplification by short nearly straight links and by equal arcs: which
// middle nodes go, what the joined link carries, the every-other-node rhythm
// of one call, and the guards.
#include <gtest/gtest.h>

#include <cmath>
#include <utility>
#include <vector>

#include "drawing.h"
#include "graph_builder.h"
#include "invariants.h"
#include "peer.h"

namespace {

const double kPi = 3.14159265358979323846;

using Points = std::vector<std::pair<int, int>>;

// One polyline through `points` on a 200 x 200 raster with the row index.
struct Line {
    CKTVector v;
    GraphBuilder g{v};
    int id;
    explicit Line(const Points &points, bool closed = false) {
        g.rows(200, 200);
        id = g.path(points, closed);
    }
    std::vector<int> nodes() { return nodes_of(v, id); }
    // The forward link a -> b of the polyline and its twin.
    _KTNODELINK *forward(int a, int b) { return g.find_link(a, b, id); }
    _KTNODELINK *twin(int a, int b) { return g.find_link(b, a, -id); }
    bool in_row(int n) {
        const KTLINEINFO &row = v.lineinfo[v.node[n].y];
        for (int i = 0; i < row.nodenum; ++i)
            if (row.nodeindex[i] == n) return true;
        return false;
    }
};

// Arc fields as arc fitting would leave them on the forward link.
void set_arc(_KTNODELINK *l, double cx, double cy, double r) {
    l->centerx = cx;
    l->centery = cy;
    l->radius = r;
    l->arc = 1;
}

}  // namespace

TEST(NearPoint, CollinearNodeGoesAndTheAreasAdd) {
    Line l({{10, 10}, {13, 10}, {40, 10}});
    l.forward(0, 1)->area = 1.5;
    l.twin(0, 1)->area = -1.5;
    l.forward(1, 2)->area = 2.5;
    l.twin(1, 2)->area = -2.5;
    ASSERT_EQ(l.v.mnearpoint(l.id, 5, 0.1), 0);
    ASSERT_EQ(check_graph(l.v), "");
    EXPECT_EQ(l.nodes(), (std::vector<int>{0, 2}));
    EXPECT_EQ(l.v.node[1].deleted, 1);
    EXPECT_FALSE(l.in_row(1));
    _KTNODELINK *f = l.forward(0, 2), *t = l.twin(0, 2);
    ASSERT_TRUE(f && t);
    EXPECT_DOUBLE_EQ(f->length, 30);
    EXPECT_DOUBLE_EQ(t->length, 30);
    EXPECT_DOUBLE_EQ(f->area, 4.0);  // the triangle is flat: only the sum
    EXPECT_DOUBLE_EQ(t->area, -4.0);
    EXPECT_EQ(l.v.mismodify(l.id), 1);
    // The removed node keeps its own records, still aimed at its old
    // neighbours.
    ASSERT_EQ(l.v.node[1].linknum, 2);
    EXPECT_EQ(l.v.node[1].link[0].node, 0);
    EXPECT_EQ(l.v.node[1].link[1].node, 2);
}

TEST(NearPoint, TurnAngleAndLinkLengthsDecide) {
    // N1 -> N2 is 3 px; N3 lies 20 px from N2 in the direction that turns
    // the path by the given angle (degrees).  Angle limit pi/4, dist 5.
    struct Case {
        const char *name;
        double turn;
        int first;  // length of N1 -> N2
        bool removed;
    } cases[] = {
        {"straight on", 0, 3, true},
        {"30 degrees next to a short link", 30, 3, true},
        {"right angle next to a short link", 90, 3, false},
        {"60 degrees", 60, 3, false},
        {"turning back", 180, 3, false},
        {"both links at least dist long", 10, 5, false},
        {"both long, straight", 0, 7, false},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        const double a = c.turn * kPi / 180;
        const int x2 = 50 + c.first;
        Line l({{50, 100}, {x2, 100},
                {x2 + int(std::lround(20 * std::cos(a))), 100 + int(std::lround(20 * std::sin(a)))}});
        ASSERT_EQ(l.v.mnearpoint(l.id, 5, kPi / 4), 0);
        ASSERT_EQ(check_graph(l.v), "");
        EXPECT_EQ(l.v.node[1].deleted, c.removed ? 1 : 0);
        EXPECT_EQ(l.nodes().size(), c.removed ? 2u : 3u);
        EXPECT_EQ(l.v.mismodify(l.id), 1);  // rebuilt either way
    }
}

TEST(NearPoint, TheJoinedLinkKeepsTheCutOffTriangle) {
    // u = (2, 1), w = (20, 0): u x w = -20, half of it is the triangle term.
    // The path turns by about 30 degrees at N2.
    Line l({{10, 10}, {12, 11}, {30, 10}});
    ASSERT_EQ(l.v.mnearpoint(l.id, 5, 0.6), 0);
    ASSERT_EQ(check_graph(l.v), "");
    ASSERT_TRUE(l.forward(0, 2));
    EXPECT_DOUBLE_EQ(l.forward(0, 2)->area, -10);
    EXPECT_DOUBLE_EQ(l.twin(0, 2)->area, 10);
    EXPECT_DOUBLE_EQ(l.forward(0, 2)->length, 20);
}

TEST(NearPoint, JunctionNodeStays) {
    Line l({{10, 10}, {12, 10}, {30, 10}});
    const int spur = l.g.node(12, 40);
    l.g.path_of({1, spur});
    ASSERT_EQ(check_graph(l.v), "");
    ASSERT_EQ(l.v.mnearpoint(l.id, 5, 0.5), 0);
    ASSERT_EQ(check_graph(l.v), "");
    EXPECT_EQ(l.v.node[1].deleted, 0);
    EXPECT_EQ(l.nodes(), (std::vector<int>{0, 1, 2}));
}

TEST(NearPoint, ARunLosesEveryOtherNodePerCall) {
    Line l({{10, 10}, {12, 10}, {14, 10}, {16, 10}, {18, 10}, {20, 10}, {22, 10}});
    const std::vector<std::vector<int>> after = {{0, 2, 4, 6}, {0, 4, 6}, {0, 6}, {0, 6}};
    for (const std::vector<int> &want : after) {
        ASSERT_EQ(l.v.mnearpointall(5, 0.5), 0);
        ASSERT_EQ(check_graph(l.v), "");
        EXPECT_EQ(l.nodes(), want);
    }
    // The joined link carries the whole stretch.
    EXPECT_DOUBLE_EQ(l.forward(0, 6)->length, 12);
}

TEST(NearPoint, ClosedPolylineStaysClosed) {
    // A square with a short step in each side: the steps go, the corners
    // (right angles) stay.
    Line l({{10, 10}, {12, 10}, {40, 10}, {40, 12}, {40, 40}, {38, 40}, {10, 40}, {10, 38}}, true);
    ASSERT_EQ(l.v.mnearpoint(l.id, 5, kPi / 4), 0);
    ASSERT_EQ(check_graph(l.v), "");
    const std::vector<int> n = l.nodes();
    ASSERT_GE(n.size(), 2u);
    EXPECT_EQ(n.front(), n.back());
    for (int k : n) EXPECT_EQ(l.v.node[k].deleted, 0);
    for (int k : {2, 4, 6}) EXPECT_EQ(l.v.node[k].deleted, 0) << k;  // corners
}

TEST(NearPoint, GuardsAndShortPolylines) {
    Line l({{10, 10}, {12, 10}, {30, 10}});
    l.v.msetmodify(l.id, 1);
    EXPECT_EQ(l.v.mnearpoint(l.id, 5, 0.5), -1);
    EXPECT_EQ(l.v.node[1].deleted, 0);
    EXPECT_EQ(l.nodes().size(), 3u);

    // A two-node polyline is only rebuilt (and so marked).
    Line two({{10, 10}, {11, 10}});
    EXPECT_EQ(two.v.mnearpoint(two.id, 5, 0.5), 0);
    EXPECT_EQ(two.v.mismodify(two.id), 1);
    EXPECT_EQ(two.nodes().size(), 2u);

    // dist 0: no link is shorter, nothing goes.
    Line z({{10, 10}, {11, 10}, {12, 10}});
    EXPECT_EQ(z.v.mnearpoint(z.id, 0, 0.5), 0);
    EXPECT_EQ(z.nodes().size(), 3u);
}

TEST(NearPoint, AllPolylinesSkipDeletedOnesAndMarkTheRest) {
    CKTVector v;
    GraphBuilder g(v);
    g.rows(100, 100);
    const int a = g.path({{10, 10}, {12, 10}, {30, 10}});
    const int b = g.path({{10, 50}, {12, 50}, {30, 50}});
    const int c = g.path({{10, 70}, {12, 70}, {30, 70}});
    v.polyline[c - 1].deleted = 1;  // skipped (its links stay)
    EXPECT_EQ(v.mnearpointall(5, 0.5), 0);
    EXPECT_EQ(nodes_of(v, a).size(), 2u);
    EXPECT_EQ(nodes_of(v, b).size(), 2u);
    EXPECT_EQ(nodes_of(v, c).size(), 3u);
    EXPECT_EQ(v.polyline[c - 1].modify, 0);
    // Every live polyline was rebuilt and marked, so a single call refuses.
    EXPECT_EQ(v.mnearpoint(a, 5, 0.5), -1);
}

TEST(SameCurvature, EqualArcsMergeWithinTheTolerance) {
    // Two links whose arcs are given by hand; the second arc's centre is
    // off by `shift` px, radius 50: merged when shift < tolerance * 50.
    struct Case {
        const char *name;
        double shift, dr, tolerance;
        bool merged;
    } cases[] = {
        {"same circle", 0, 0, 0.01, true},
        {"tolerance 0 merges nothing", 0, 0, 0, false},
        {"centre off by less than the tolerance", 0.4, 0, 0.01, true},
        {"centre off by exactly the tolerance", 0.5, 0, 0.01, false},
        {"radius off by more", 0, 0.6, 0.01, false},
        {"radius off by less", 0, 0.3, 0.01, true},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        Line l({{10, 100}, {40, 90}, {70, 100}});
        l.v.msetarc(l.id);
        set_arc(l.forward(0, 1), 40, 140, 50);
        set_arc(l.forward(1, 2), 40 + c.shift, 140, 50 + c.dr);
        l.forward(0, 1)->area = 3;
        l.twin(0, 1)->area = -3;
        l.forward(1, 2)->area = 4;
        l.twin(1, 2)->area = -4;
        ASSERT_EQ(l.v.msamecurvature(l.id, c.tolerance), 0);
        ASSERT_EQ(check_graph(l.v), "");
        EXPECT_EQ(l.v.node[1].deleted, c.merged ? 1 : 0);
        if (!c.merged) continue;
        _KTNODELINK *f = l.forward(0, 2);
        ASSERT_TRUE(f);
        // u = (30, -10), w = (60, 0): the triangle term is -(u x w) / 2 = -300,
        // the opposite orientation of the short-link simplification.
        EXPECT_DOUBLE_EQ(f->area, 3 + 4 - 300);
        EXPECT_DOUBLE_EQ(l.twin(0, 2)->area, -(3 + 4 - 300));
        EXPECT_DOUBLE_EQ(f->length, 60);
        // The first arc stays on the joined link.
        EXPECT_EQ(f->centerx, 40);
        EXPECT_EQ(f->centery, 140);
        EXPECT_EQ(f->radius, 50);
        EXPECT_EQ(f->arc, 1);
    }
}

TEST(SameCurvature, RefusalsAndMissingLinks) {
    Line flat({{10, 100}, {40, 90}, {70, 100}});
    set_arc(flat.forward(0, 1), 40, 140, 50);
    set_arc(flat.forward(1, 2), 40, 140, 50);
    EXPECT_EQ(flat.v.msamecurvature(flat.id, 0.1), -1);  // arc bit clear
    EXPECT_EQ(flat.v.mismodify(flat.id), 0);
    EXPECT_EQ(flat.v.node[1].deleted, 0);
    flat.v.msetarc(flat.id);
    flat.v.msetmodify(flat.id, 1);
    EXPECT_EQ(flat.v.msamecurvature(flat.id, 0.1), -1);  // already marked

    // A straight first link (radius 0) agrees with nothing.
    Line straight({{10, 100}, {40, 100}, {70, 100}});
    straight.v.msetarc(straight.id);
    EXPECT_EQ(straight.v.msamecurvature(straight.id, 0.5), 0);
    EXPECT_EQ(straight.v.node[1].deleted, 0);

    // A node list that names a pair without a link: -9999 at once, not
    // rebuilt.
    CKTVector v;
    GraphBuilder g(v);
    g.rows(100, 100);
    const int a = g.node(10, 10), b = g.node(20, 10), c = g.node(30, 10);
    g.link(a, b, 1);
    const int id = g.polyline({a, b, c});
    v.msetarc(id);
    EXPECT_EQ(v.msamecurvature(id, 0.1), -9999);
    EXPECT_EQ(v.mismodify(id), 0);
    EXPECT_EQ(nodes_of(v, id).size(), 3u);
}

TEST(SameCurvature, JunctionNodeStays) {
    Line l({{10, 100}, {40, 90}, {70, 100}});
    l.v.msetarc(l.id);
    set_arc(l.forward(0, 1), 40, 140, 50);
    set_arc(l.forward(1, 2), 40, 140, 50);
    const int spur = l.g.node(40, 60);
    l.g.path_of({1, spur});
    ASSERT_EQ(l.v.msamecurvature(l.id, 0.5), 0);
    ASSERT_EQ(check_graph(l.v), "");
    EXPECT_EQ(l.v.node[1].deleted, 0);
}

TEST(SameCurvature, FittedArcOfOneCircleThinsOut) {
    // Nodes every 15 degrees on a circle of radius 60; each link's area is
    // the circular segment over its chord, so arc fitting gives every link
    // the same circle and the simplification joins them call after call.
    const double r = 60, cx = 100, cy = 100, step = kPi / 12;
    CKTVector v;
    GraphBuilder g(v);
    g.rows(200, 200);
    std::vector<int> nodes;
    for (int k = 0; k <= 8; ++k)
        nodes.push_back(g.node(int(std::lround(cx + r * std::cos(k * step))),
                               int(std::lround(cy + r * std::sin(k * step)))));
    const int id = g.path_of(nodes);
    for (int k = 0; k + 1 < 9; ++k) {
        const _KTNODE &a = v.node[nodes[k]], &b = v.node[nodes[k + 1]];
        const double c = 0.5 * std::hypot(b.x - a.x, b.y - a.y);
        const double t = std::asin(std::min(1.0, c / r));
        const double s = c * c * (t - std::sin(t) * std::cos(t)) / (std::sin(t) * std::sin(t));
        // A positive area takes the centre on the side where chord x
        // (centre - start) is negative.
        const double side = (b.x - a.x) * (cy - a.y) - (b.y - a.y) * (cx - a.x);
        const double area = side < 0 ? s : -s;
        g.find_link(nodes[k], nodes[k + 1], id)->area = area;
        g.find_link(nodes[k + 1], nodes[k], -id)->area = -area;
    }
    v.marcall(1, 1000);
    for (int k = 0; k + 1 < 9; ++k) {
        const _KTNODELINK *l = g.find_link(nodes[k], nodes[k + 1], id);
        ASSERT_NEAR(l->radius, r, 2.5);
        ASSERT_NEAR(l->centerx, cx, 2.5);
        ASSERT_NEAR(l->centery, cy, 2.5);
    }
    std::size_t before = nodes_of(v, id).size();
    for (int call = 0; call < 4; ++call) {
        ASSERT_EQ(v.msamecurvatureall(0.1), 0);
        ASSERT_EQ(check_graph(v), "");
        // Every other middle node per call: 9, 5, 3, 2, 2 nodes.
        const std::size_t now = nodes_of(v, id).size();
        EXPECT_EQ(now, before - (before - 1) / 2) << "call " << call;
        before = now;
    }
    EXPECT_EQ(nodes_of(v, id), (std::vector<int>{nodes.front(), nodes.back()}));
}

TEST(SameCurvature, AllPolylinesReportNonArcPolylines) {
    CKTVector v;
    GraphBuilder g(v);
    g.rows(200, 200);
    const int arcline = g.path({{10, 100}, {40, 90}, {70, 100}});
    const int plain = g.path({{10, 150}, {40, 150}, {70, 150}});
    v.msetarc(arcline);
    set_arc(g.find_link(0, 1, arcline), 40, 140, 50);
    set_arc(g.find_link(1, 2, arcline), 40, 140, 50);
    v.msetmodify(static_cast<unsigned char>(1));  // cleared by the pass
    EXPECT_EQ(v.msamecurvatureall(0.1), -1);
    ASSERT_EQ(check_graph(v), "");
    EXPECT_EQ(nodes_of(v, arcline).size(), 2u);
    EXPECT_EQ(nodes_of(v, plain).size(), 3u);
    EXPECT_EQ(v.polyline[plain - 1].modify, 0);
}

TEST(Simplify, DrawingKeepsEndsAndJunctionsAndTheInvariants) {
    // On a drawing's centre lines both simplifications, called until
    // nothing changes, remove only middle nodes: every end node and
    // junction stays live with its number of links, and the graph keeps
    // its invariants after every call.
    ktvdraw::DrawingOptions o;
    o.dpi = 100;
    ktvdraw::Canvas page = ktvdraw::render_drawing(900, 640, 21, o);
    CKTVector v;
    v.msetdocument(page.data(), page.width(), page.stride(), page.height());
    ASSERT_EQ(v.mabstractcenterline(31, 4, 3, 8, 0.9, 4, 1.5), 0);
    ASSERT_EQ(check_graph(v), "");
    std::vector<int> kept;
    for (int i = 0; i < v.nodenum; ++i)
        if (!v.node[i].deleted && v.node[i].linknum != 2) kept.push_back(i);
    auto live = [&] {
        int n = 0;
        for (int i = 0; i < v.nodenum; ++i) n += !v.node[i].deleted;
        return n;
    };
    const int before = live();
    int last = before;
    for (int call = 0; call < 30; ++call) {
        if (call % 2 == 0) {
            EXPECT_EQ(v.mnearpointall(6, 0.5), 0);
        } else {
            v.marcall(1, 1000);
            EXPECT_EQ(v.msamecurvatureall(0.2), 0);
        }
        ASSERT_EQ(check_graph(v), "") << "call " << call;
        const int now = live();
        EXPECT_LE(now, last);
        last = now;
    }
    EXPECT_LT(last, before);
    for (int i : kept) {
        EXPECT_EQ(v.node[i].deleted, 0) << i;
        EXPECT_NE(v.node[i].linknum, 2) << i;
    }
}
