// Simplification by short nearly straight links and by equal arcs: which
// middle nodes go, what the joined link carries, the every-other-node rhythm
// of one call, and the guards.
#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <utility>
#include <vector>

#include "bitmap.h"
#include "graph_builder.h"
#include "invariants.h"

namespace {

const double kPi = 3.14159265358979323846;

// One polyline through `points` on a 200 x 200 raster with the row index.
struct Line {
    CKTVector v;
    GraphBuilder g{v};
    int id;
    explicit Line(const std::vector<std::pair<int, int>> &points, bool closed = false) {
        g.rows(200, 200);
        id = g.path(points, closed);
    }
    std::vector<int> nodes() { return nodes_of(v, id); }
    _KTNODELINK *forward(int a, int b) { return g.find_link(a, b, id); }
    _KTNODELINK *twin(int a, int b) { return g.find_link(b, a, -id); }
    void area(int a, int b, double s) {
        forward(a, b)->area = s;
        twin(a, b)->area = -s;
    }
    // Arc fields as arc fitting leaves them on the forward link.
    void arc(int a, int b, double cx, double cy, double r) {
        _KTNODELINK *l = forward(a, b);
        l->centerx = cx;
        l->centery = cy;
        l->radius = r;
        l->arc = 1;
    }
};

}  // namespace

TEST(NearPoint, ACollinearNodeGoesAndTheJoinedLinkAddsAreasAndTheTriangle) {
    Line l({{10, 10}, {13, 10}, {40, 10}});
    l.area(0, 1, 1.5);
    l.area(1, 2, 2.5);
    ASSERT_EQ(l.v.mnearpoint(l.id, 5, 0.1), 0);
    ASSERT_EQ(check_graph(l.v), "");
    EXPECT_EQ(l.nodes(), (std::vector<int>{0, 2}));
    EXPECT_EQ(l.v.node[1].deleted, 1);
    EXPECT_EQ(l.v.lineinfo[10].nodenum, 2);  // out of its row
    ASSERT_TRUE(l.forward(0, 2) && l.twin(0, 2));
    EXPECT_DOUBLE_EQ(l.forward(0, 2)->length + l.twin(0, 2)->length, 60);
    EXPECT_DOUBLE_EQ(l.forward(0, 2)->area, 4.0);  // the triangle is flat: only the sum
    EXPECT_DOUBLE_EQ(l.twin(0, 2)->area, -4.0);
    EXPECT_EQ(l.v.mismodify(l.id), 1);
    // The removed node keeps its own records, aimed at its old neighbours.
    EXPECT_EQ(l.v.node[1].linknum * 100 + l.v.node[1].link[0].node * 10 + l.v.node[1].link[1].node, 202);

    // u = (2, 1), w = (20, 0): u x w = -20, half of it is the triangle term.
    Line t({{10, 10}, {12, 11}, {30, 10}});
    ASSERT_EQ(t.v.mnearpoint(t.id, 5, 0.6), 0);
    ASSERT_TRUE(t.forward(0, 2));
    EXPECT_DOUBLE_EQ(t.forward(0, 2)->area, -10);
    EXPECT_DOUBLE_EQ(t.twin(0, 2)->area, 10);
    EXPECT_DOUBLE_EQ(t.forward(0, 2)->length, 20);
}

TEST(SameCurvature, RefusalsMissingLinksAndJunctions) {
    Line flat({{10, 100}, {40, 90}, {70, 100}});
    flat.arc(0, 1, 40, 140, 50);
    flat.arc(1, 2, 40, 140, 50);
    EXPECT_EQ(flat.v.msamecurvature(flat.id, 0.1), -1);  // arc bit clear
    EXPECT_EQ(flat.v.mismodify(flat.id) + flat.v.node[1].deleted, 0);
    flat.v.msetarc(flat.id);
    flat.v.msetmodify(flat.id, 1);
    EXPECT_EQ(flat.v.msamecurvature(flat.id, 0.1), -1);  // already marked
    flat.v.msetmodify(flat.id, 0);
    flat.g.path_of({1, flat.g.node(40, 60)});  // a junction stays
    ASSERT_EQ(flat.v.msamecurvature(flat.id, 0.5), 0);
    EXPECT_EQ(flat.v.node[1].deleted, 0);
    // A straight first link (radius 0) agrees with nothing.
    Line straight({{10, 100}, {40, 100}, {70, 100}});
    straight.v.msetarc(straight.id);
    EXPECT_EQ(straight.v.msamecurvature(straight.id, 0.5), 0);
    EXPECT_EQ(straight.v.node[1].deleted, 0);
    // A node list naming a pair without a link: -9999 at once, not rebuilt.
    CKTVector v;
    GraphBuilder g(v);
    g.rows(100, 100);
    const int a = g.node(10, 10), b = g.node(20, 10), c = g.node(30, 10);
    g.link(a, b, 1);
    const int id = g.polyline({a, b, c});
    v.msetarc(id);
    EXPECT_EQ(v.msamecurvature(id, 0.1), -9999);
    EXPECT_EQ(v.mismodify(id), 0);
    // All polylines: arc ones simplified, the others reported with -1.
    CKTVector w;
    GraphBuilder h(w);
    h.rows(200, 200);
    const int arcline = h.path({{10, 100}, {40, 90}, {70, 100}}), plain = h.path({{10, 150}, {40, 150}, {70, 150}});
    w.msetarc(arcline);
    for (int k = 0; k < 2; ++k) {
        _KTNODELINK *l = h.find_link(k, k + 1, arcline);
        l->centerx = 40, l->centery = 140, l->radius = 50, l->arc = 1;
    }
    w.msetmodify(static_cast<unsigned char>(1));  // cleared by the pass
    EXPECT_EQ(w.msamecurvatureall(0.1), -1);
    EXPECT_EQ(nodes_of(w, arcline).size() * 10 + nodes_of(w, plain).size(), 23u);
    EXPECT_EQ(w.polyline[plain - 1].modify, 0);
}

