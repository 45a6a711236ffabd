// The centre-line and outline drivers with their clean-up passes.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "bitmap.h"
#include "graph_builder.h"
#include "invariants.h"
#include "peer.h"

namespace {

void stroke(Bitmap &b, double x0, double y0, double x1, double y1, double half) {
    const int steps = static_cast<int>(std::hypot(x1 - x0, y1 - y0)) + 1;
    for (int i = 0; i <= steps; ++i) {
        const double x = x0 + (x1 - x0) * i / steps, y = y0 + (y1 - y0) * i / steps;
        for (int dy = -static_cast<int>(half) - 1; dy <= half + 1; ++dy)
            for (int dx = -static_cast<int>(half) - 1; dx <= half + 1; ++dx)
                if (dx * dx + dy * dy <= half * half + 0.25)
                    b.set(static_cast<int>(std::lround(x)) + dx, static_cast<int>(std::lround(y)) + dy);
    }
}

Bitmap random_drawing(std::mt19937 &rng) {
    const int w = 60 + static_cast<int>(rng() % 140), h = 60 + static_cast<int>(rng() % 140);
    Bitmap b(w, h);
    const int n = 3 + static_cast<int>(rng() % 10);
    for (int i = 0; i < n; ++i)
        stroke(b, rng() % w, rng() % h, rng() % w, rng() % h, 0.5 + (rng() % 5) * 0.6);
    for (int i = 0; i < 8; ++i) b.set(static_cast<int>(rng() % w), static_cast<int>(rng() % h));  // specks
    return b;
}

// Everything a host can read, as text, for exact comparison.
std::string state(CKTVector &v) {
    std::string s;
    char buf[256];
    for (int i = 0; i < v.nodenum; ++i) {
        const _KTNODE &n = v.node[i];
        std::snprintf(buf, sizeof buf, "n%d %d %d %u %u %u %d:", i, n.x, n.y, n.flag, n.deleted, n.spare, n.linknum);
        s += buf;
        for (int k = 0; k < n.linknum; ++k) {
            const _KTNODELINK &l = n.link[k];
            std::snprintf(buf, sizeof buf, " [%d %d %.17g %.17g %u %u]", l.id, l.node, l.length, l.area, l.mark, l.arc);
            s += buf;
        }
        s += '\n';
    }
    for (int i = 0; i < v.polylinenum; ++i) {
        const _KTPOLYLINE &p = v.polyline[i];
        std::snprintf(buf, sizeof buf, "p%d %u %u %u %u:", i + 1, p.flag, p.deleted, p.modify, p.jointmark);
        s += buf;
        for (int k = 0; k < p.nodenum; ++k) s += ' ' + std::to_string(p.nodeindex[k]);
        s += " |";
        for (int k = 0; k < p.prevnum; ++k) s += ' ' + std::to_string(p.prev[k]);
        s += " |";
        for (int k = 0; k < p.nextnum; ++k) s += ' ' + std::to_string(p.next[k]);
        s += '\n';
    }
    return s;
}

CheckOptions after_centerline() {
    // The passes edit inside polylines (merges, bridges, skips), which can
    // leave links on no polyline and move connected ends.
    return structural_checks();
}

}  // namespace

TEST(CenterlineDriver, TrackedMarksGiveTheSameResultAsClearingEverything) {
    std::mt19937 rng(5);
    for (int trial = 0; trial < 120; ++trial) {
        Bitmap b = random_drawing(rng);
        const int flags = static_cast<int>(rng() % 32);
        const double a = 1 + rng() % 8, bb = 2 + rng() % 12, c = (rng() % 100) / 100.0;
        const double d = 1 + rng() % 8, e = 0.5 + (rng() % 4) * 0.5;
        const int maxlength = static_cast<int>(rng() % 12);
        CKTVector fast, reference;
        Peer::findreference(reference) = 1;
        for (CKTVector *v : {&fast, &reference}) {
            v->msetdocument(b.data(), b.width, b.height);
            ASSERT_EQ(v->mabstractcenterline(flags, maxlength, a, bb, c, d, e), 0);
        }
        ASSERT_EQ(state(fast), state(reference)) << "trial " << trial << " flags " << flags;
        EXPECT_EQ(check_graph(fast, after_centerline()), "") << "trial " << trial;
    }
}

TEST(CenterlineDriver, SecondRunOnTheSameVectorizer) {
    std::mt19937 rng(9);
    CKTVector v, fresh;
    Bitmap first = random_drawing(rng), second = random_drawing(rng);
    v.msetdocument(first.data(), first.width, first.height);
    ASSERT_EQ(v.mabstractcenterline(31, 8, 3, 8, 0.9, 4, 1.5), 0);
    v.msetdocument(second.data(), second.width, second.height);
    ASSERT_EQ(v.mabstractcenterline(31, 8, 3, 8, 0.9, 4, 1.5), 0);
    fresh.msetdocument(second.data(), second.width, second.height);
    ASSERT_EQ(fresh.mabstractcenterline(31, 8, 3, 8, 0.9, 4, 1.5), 0);
    EXPECT_EQ(state(v), state(fresh));
}

TEST(CenterlineDriver, BlankPage) {
    Bitmap b(50, 40);
    CKTVector v;
    v.msetdocument(b.data(), b.width, b.height);
    EXPECT_EQ(v.mabstractcenterline(31, 8, 3, 8, 0.9, 4, 1.5), 0);
    EXPECT_EQ(v.nodenum, 0);
    EXPECT_EQ(v.polylinenum, 0);
}

TEST(CenterlinePasses, GapBetweenAlignedEndsIsBridged) {
    for (double c : {0.9, 1.0}) {
        CKTVector v;
        GraphBuilder g(v);
        g.rows(100, 50);
        g.path({{10, 20}, {40, 20}});  // ends at node 1 (40, 20)
        g.path({{46, 20}, {80, 20}});  // starts at node 2 (46, 20)
        Peer::mpostprocesscenterline(v, 2, 0.0, 8.0, c, 0.0);
        const int live = (v.polyline[0].deleted == 0) + (v.polyline[1].deleted == 0);
        if (c < 1) {
            EXPECT_EQ(live, 1);
            EXPECT_EQ(v.node[1].linknum, 2);
        } else {
            EXPECT_EQ(live, 2);  // no cosine exceeds 1
        }
        EXPECT_EQ(check_graph(v, after_centerline()), "");
    }
}

TEST(CenterlinePasses, ShortIsolatedSegmentsAreDropped) {
    CKTVector v;
    GraphBuilder g(v);
    g.rows(100, 100);
    g.path({{10, 10}, {13, 14}});  // length exactly 5: stays
    g.path({{50, 50}, {52, 54}});  // shorter: goes
    Peer::mpostprocesscenterline(v, 0, 5.0, 0.0, 0.0, 0.0);
    EXPECT_EQ(v.polyline[0].deleted, 0);
    EXPECT_EQ(v.polyline[1].deleted, 1);
    EXPECT_EQ(v.node[2].deleted, 1);
    EXPECT_EQ(v.node[3].deleted, 1);
    EXPECT_EQ(check_graph(v), "");
}

TEST(CenterlinePasses, StraightThroughConnectionsAtACross) {
    CKTVector v;
    GraphBuilder g(v);
    g.rows(100, 100);
    const int j = g.node(50, 50);
    const int w = g.node(20, 50), e = g.node(80, 50), n = g.node(50, 20), s = g.node(50, 80);
    g.path_of({w, j});
    g.path_of({j, e});
    g.path_of({n, j});
    g.path_of({j, s});
    Peer::mpostprocesscenterline(v, 4, 0.0, 0.0, 0.9, 0.0);
    EXPECT_EQ(v.polyline[0].nextnum, 1);
    EXPECT_EQ(v.polyline[0].next[0], 2);
    EXPECT_EQ(v.polyline[2].nextnum, 1);
    EXPECT_EQ(v.polyline[2].next[0], 4);
    EXPECT_EQ(v.polyline[1].prevnum, 1);
    EXPECT_EQ(v.polyline[3].prevnum, 1);
    EXPECT_EQ(check_graph(v), "");
}

TEST(CenterlinePasses, CrossingSplitInTwoJunctionsIsMerged) {
    CKTVector v;
    GraphBuilder g(v);
    g.rows(100, 100);
    const int j1 = g.node(48, 50), j2 = g.node(52, 50);
    const int a = g.node(28, 30), b = g.node(28, 70), c = g.node(72, 30), d = g.node(72, 70);
    g.path_of({a, j1});
    g.path_of({b, j1});
    g.path_of({j1, j2});
    g.path_of({j2, c});
    g.path_of({j2, d});
    Peer::mpostprocesscenterline(v, 16, 0.0, 0.0, 0.9, 5.0);
    const int survivor = v.node[j1].deleted ? j2 : j1;
    EXPECT_EQ(v.node[survivor].deleted, 0);
    EXPECT_EQ(v.node[j1].deleted + v.node[j2].deleted, 1);
    EXPECT_EQ(v.node[survivor].x, 50);
    EXPECT_EQ(v.node[survivor].linknum, 4);
    EXPECT_EQ(check_graph(v, after_centerline()), "");
}

TEST(OutlineDriver, ShapesGiveClosedOutlinesAndAValidGraph) {
    Bitmap b(120, 80);
    for (int y = 10; y < 40; ++y)
        for (int x = 10; x < 50; ++x) b.set(x, y);
    for (int y = 20; y < 70; ++y)
        for (int x = 60; x < 110; ++x)
            if (std::hypot(x - 85.0, y - 45.0) < 22 && std::hypot(x - 85.0, y - 45.0) > 10) b.set(x, y);
    CKTVector v;
    v.msetdocument(b.data(), b.width, b.height);
    ASSERT_EQ(v.mabstractoutline(4, 3, 1.5, 1), 0);
    int closed = 0;
    for (int i = 0; i < v.polylinenum; ++i) {
        const _KTPOLYLINE &p = v.polyline[i];
        EXPECT_EQ(p.flag, 0);
        EXPECT_EQ(p.modify, 0);
        if (!p.deleted && p.nodenum > 2 && p.nodeindex[0] == p.nodeindex[p.nodenum - 1]) ++closed;
    }
    EXPECT_EQ(closed, 3);  // the rectangle, and the ring's two boundaries
    CheckOptions spurs;
    spurs.links_to_deleted = true;
    EXPECT_EQ(check_graph(v, spurs), "");
}

TEST(OutlineDriver, SpurOnAJunction) {
    // A three-node spur hanging off a junction: all its nodes but the
    // junction go; the junction keeps one link, aimed at a deleted node.
    CKTVector v;
    GraphBuilder g(v);
    g.rows(100, 100);
    const int j = g.node(50, 50);
    const int a0 = g.node(10, 50), a1 = g.node(20, 52), a2 = g.node(30, 50), a3 = g.node(40, 52);
    const int b1 = g.node(60, 52), b2 = g.node(70, 50), b3 = g.node(80, 52), b4 = g.node(90, 50);
    const int s1 = g.node(50, 60), s2 = g.node(50, 70);
    g.path_of({a0, a1, a2, a3, j});
    g.path_of({j, b1, b2, b3, b4});
    g.path_of({s2, s1, j});
    v.mpostprocessoutline(3);
    EXPECT_EQ(v.polyline[2].deleted, 1);
    EXPECT_EQ(v.node[s1].deleted, 1);
    EXPECT_EQ(v.node[s2].deleted, 1);
    EXPECT_EQ(v.node[j].linknum, 3);
    EXPECT_EQ(v.polyline[0].deleted + v.polyline[1].deleted, 0);  // not joined at j
    CheckOptions spurs;
    spurs.links_to_deleted = true;
    EXPECT_EQ(check_graph(v, spurs), "");
}

TEST(OutlineDriver, TwoNodeSpurAndIsolatedPiece) {
    CKTVector v;
    GraphBuilder g(v);
    g.rows(100, 100);
    const int j = g.node(50, 50);
    const int a0 = g.node(20, 50), a1 = g.node(35, 52), b1 = g.node(65, 52), b2 = g.node(80, 50);
    const int s = g.node(50, 60);
    g.path_of({a0, a1, j});
    g.path_of({j, b1, b2});
    g.path_of({s, j});
    g.path({{5, 90}, {9, 90}});
    v.msetmodify(1);
    v.polyline[0].flag = 7;
    v.mpostprocessoutline(2);
    EXPECT_EQ(v.polyline[2].deleted, 1);
    EXPECT_EQ(v.node[s].deleted, 1);
    EXPECT_EQ(v.polyline[3].deleted, 1);
    EXPECT_EQ(v.node[j].linknum, 2);
    // the two polylines left at j are joined, and no flag or mark remains
    EXPECT_EQ(v.polyline[0].deleted + v.polyline[1].deleted, 1);
    for (int i = 0; i < v.polylinenum; ++i) {
        EXPECT_EQ(v.polyline[i].flag, 0);
        EXPECT_EQ(v.polyline[i].modify, 0);
    }
    EXPECT_EQ(check_graph(v), "");
}
