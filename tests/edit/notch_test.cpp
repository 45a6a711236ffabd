// Notches cut into a polyline at an inner node, and the front test that
// picks the black side of the document.
#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <limits>
#include <string>
#include <utility>
#include <vector>

#include "bitmap.h"
#include "graph_builder.h"
#include "invariants.h"
#include "peer.h"
#include "vectorizer/memory.h"

namespace {

using Pts = std::vector<std::pair<int, int>>;

std::vector<int> row_of(CKTVector &v, int y) {
    const KTLINEINFO &r = v.lineinfo[y];
    return std::vector<int>(r.nodeindex, r.nodeindex + r.nodenum);
}

// A w x h raster and document (black where `black` says) with one polyline
// through `points`.
struct Sheet {
    CKTVector v;
    GraphBuilder g{v};
    Bitmap doc;
    int id = 0;
    template <class F> Sheet(int w, int h, const Pts &points, F black) : doc(w, h) {
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x)
                if (black(x, y)) doc.set(x, y);
        g.rows(w, h);
        v.msetdocument(doc.data(), w, h);
        if (!points.empty()) id = g.path(points);
    }
    _KTNODE *at(int i) { return &v.node[i]; }
};

// Row 20 of a 100 x 50 sheet, nodes 0 .. 4 at x = 0, 20, 40, 60, 80; the
// document is black below the line.
const Pts kLine = {{0, 20}, {20, 20}, {40, 20}, {60, 20}, {80, 20}};
bool below20(int, int y) { return y > 20; }
bool above20(int, int y) { return y < 20; }

}  // namespace

TEST(Notch, OnlyAnInnerNodeOfOnePolyline) {
    struct Case {
        const char *what;
        int node;
        double radius, depth;
    };
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    const std::vector<Case> cases = {
        {"start node", 0, 5, 8},        {"end node", 4, 5, 8},          {"junction", 2, 5, 8},
        {"two polylines", 7, 5, 8},     {"lone node", 6, 5, 8},         {"negative radius", 1, -5, 8},
        {"radius not a number", 1, nan, 8}, {"infinite radius", 1, inf, 8}, {"infinite depth", 1, 5, inf},
        {"depth not a number", 1, 5, nan},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        Sheet s(100, 50, kLine, below20);
        const int extra = s.g.node(40, 30), lone = s.g.node(90, 40);
        ASSERT_EQ(lone, 6);
        s.g.path_of({2, extra});  // node 2 becomes a junction
        const int a = s.g.node(10, 45), m = s.g.node(20, 45), b = s.g.node(30, 45);
        ASSERT_EQ(m, 8);
        s.g.path_of({a, m});
        s.g.path_of({m, b});
        s.v.msetmodify(0);
        EXPECT_EQ(s.v.maddnotch(s.at(c.node == 7 ? m : c.node), c.radius, c.depth), -1);
        EXPECT_EQ(s.v.nodenum, 10);
        EXPECT_EQ(s.v.node[1].x, 20);
        EXPECT_EQ(s.v.node[1].y, 20);
        EXPECT_EQ(s.v.polyline[0].modify, 0);
        EXPECT_EQ(check_graph(s.v), "");
    }
    Sheet s(100, 50, kLine, below20);
    _KTNODE stranger{};
    EXPECT_EQ(s.v.maddnotch(nullptr, 5, 8), -1);
    EXPECT_EQ(s.v.maddnotch(&stranger, 5, 8), -1);
}

// Radius shorter than both links: two new nodes on N's links, N moved into
// the black below the line.
TEST(Notch, ShortRadiusMakesTwoNewNodes) {
    Sheet s(100, 50, kLine, below20);
    ASSERT_EQ(s.v.maddnotch(s.at(2), 5, 8), 0);
    ASSERT_EQ(s.v.nodenum, 7);
    EXPECT_EQ(std::make_pair(s.v.node[5].x, s.v.node[5].y), std::make_pair(35, 20));
    EXPECT_EQ(std::make_pair(s.v.node[6].x, s.v.node[6].y), std::make_pair(45, 20));
    EXPECT_EQ(std::make_pair(s.v.node[2].x, s.v.node[2].y), std::make_pair(40, 28));
    ASSERT_EQ(s.v.node[2].linknum, 2);
    EXPECT_EQ(s.v.node[2].link[0].node, 5);
    EXPECT_EQ(s.v.node[2].link[1].node, 6);
    EXPECT_EQ(nodes_of(s.v, 1), (std::vector<int>{0, 1, 5, 2, 6, 3, 4}));
    EXPECT_DOUBLE_EQ(s.g.find_link(1, 5, 1)->length, 15.0);
    EXPECT_DOUBLE_EQ(s.g.find_link(5, 2, 1)->length, std::hypot(5.0, 8.0));
    EXPECT_DOUBLE_EQ(s.g.find_link(2, 5, -1)->length, std::hypot(5.0, 8.0));
    EXPECT_EQ(s.v.polyline[0].modify, 1);
    // The new nodes take their places in row 20 by x.
    EXPECT_EQ(row_of(s.v, 20), (std::vector<int>{0, 1, 5, 6, 3, 4}));
    EXPECT_EQ(row_of(s.v, 28), (std::vector<int>{2}));
    EXPECT_EQ(check_graph(s.v), "");
}

TEST(Notch, ApexOnTheBlackSide) {
    struct Case {
        bool (*black)(int, int);
        double depth;
        int ay;
    };
    // Black below: the first candidate (below) is taken.  Black above: the
    // first candidate is white all round, so the apex goes the other way.
    // A negative depth turns both candidates round.
    const std::vector<Case> cases = {{below20, 8, 28}, {above20, 8, 12}, {below20, 1, 21},
                                     {above20, -8, 12}, {below20, -8, 28}};
    for (const Case &c : cases) {
        SCOPED_TRACE(c.ay);
        Sheet s(100, 50, kLine, c.black);
        ASSERT_EQ(s.v.maddnotch(s.at(2), 5, c.depth), 0);
        EXPECT_EQ(s.v.node[2].x, 40);
        EXPECT_EQ(s.v.node[2].y, c.ay);
        EXPECT_EQ(check_graph(s.v), "");
    }
}

// Radius longer than the first link: the node just inside the circle moves
// onto it, and along its row past a node it overtakes.
TEST(Notch, LongRadiusMovesTheNodeInsideOntoTheCircle) {
    Sheet s(100, 50, kLine, below20);
    const int lone = s.g.node(17, 20);
    ASSERT_EQ(row_of(s.v, 20), (std::vector<int>{0, lone, 1, 2, 3, 4}));
    ASSERT_EQ(s.v.maddnotch(s.at(2), 25, 8), 0);
    EXPECT_EQ(s.v.nodenum, 6);
    EXPECT_EQ(std::make_pair(s.v.node[1].x, s.v.node[1].y), std::make_pair(15, 20));
    EXPECT_EQ(std::make_pair(s.v.node[3].x, s.v.node[3].y), std::make_pair(65, 20));
    EXPECT_EQ(row_of(s.v, 20), (std::vector<int>{0, 1, lone, 3, 4}));
    EXPECT_DOUBLE_EQ(s.g.find_link(0, 1, 1)->length, 15.0);
    EXPECT_DOUBLE_EQ(s.g.find_link(4, 3, -1)->length, 15.0);
    EXPECT_DOUBLE_EQ(s.g.find_link(1, 2, 1)->length, std::hypot(25.0, 8.0));
    EXPECT_EQ(nodes_of(s.v, 1), (std::vector<int>{0, 1, 2, 3, 4}));
    EXPECT_EQ(check_graph(s.v), "");
}

// A vertical link crossed by the circle: the side point lies on it at
// distance radius; the moved node changes rows and is entered in x order.
TEST(Notch, VerticalLinkCrossedByTheCircle) {
    Sheet s(50, 60, {{20, 2}, {20, 12}, {20, 22}, {20, 52}}, [](int x, int) { return x > 20; });
    s.g.node(25, 7);
    s.g.node(5, 7);
    ASSERT_EQ(s.v.maddnotch(s.at(2), 15, 6), 0);
    EXPECT_EQ(std::make_pair(s.v.node[1].x, s.v.node[1].y), std::make_pair(20, 7));
    EXPECT_EQ(row_of(s.v, 7), (std::vector<int>{5, 1, 4}));
    EXPECT_EQ(row_of(s.v, 12), (std::vector<int>{}));
    ASSERT_EQ(s.v.nodenum, 7);
    EXPECT_EQ(std::make_pair(s.v.node[6].x, s.v.node[6].y), std::make_pair(20, 37));
    EXPECT_EQ(std::make_pair(s.v.node[2].x, s.v.node[2].y), std::make_pair(26, 22));
    EXPECT_DOUBLE_EQ(s.g.find_link(0, 1, 1)->length, 5.0);
    EXPECT_DOUBLE_EQ(s.g.find_link(3, 6, -1)->length, 15.0);
    EXPECT_EQ(nodes_of(s.v, 1), (std::vector<int>{0, 1, 2, 6, 3}));
    EXPECT_EQ(check_graph(s.v), "");
}

// Up to four nodes of a side may lie inside the circle; the nodes between N
// and the moved one stay where they are.  A fifth one refuses the notch.
TEST(Notch, AtMostFourNodesOfASideInsideTheCircle) {
    const Pts pts = {{0, 20}, {10, 20}, {12, 20}, {14, 20}, {16, 20}, {18, 20}, {20, 20}, {38, 20}};
    {
        Sheet s(100, 50, pts, below20);
        EXPECT_EQ(s.v.maddnotch(s.at(6), 11, 3), -1);
        EXPECT_EQ(s.v.nodenum, 8);
        for (int i = 0; i < 8; ++i) EXPECT_EQ(s.v.node[i].x, pts[static_cast<size_t>(i)].first);
        EXPECT_EQ(check_graph(s.v), "");
    }
    Sheet s(100, 50, pts, below20);
    ASSERT_EQ(s.v.maddnotch(s.at(6), 9, 3), 0);
    EXPECT_EQ(s.v.node[2].x, 11);
    for (int i : {3, 4, 5}) EXPECT_EQ(s.v.node[i].x, pts[static_cast<size_t>(i)].first);
    EXPECT_EQ(s.v.node[8].x, 29);
    EXPECT_EQ(check_graph(s.v), "");
}

// The polyline ends, or comes round to N again, inside the circle.
TEST(Notch, SideThatEndsInsideTheCircle) {
    {
        Sheet s(100, 50, {{0, 20}, {10, 20}, {40, 20}}, below20);
        EXPECT_EQ(s.v.maddnotch(s.at(1), 15, 5), -1);
        EXPECT_EQ(s.v.nodenum, 3);
        EXPECT_EQ(check_graph(s.v), "");
    }
    {
        // The first side is done when the second fails: the new node stays
        // and the polyline is brought up to date.
        Sheet s(100, 50, {{0, 20}, {30, 20}, {40, 20}}, below20);
        EXPECT_EQ(s.v.maddnotch(s.at(1), 15, 5), -1);
        ASSERT_EQ(s.v.nodenum, 4);
        EXPECT_EQ(s.v.node[3].x, 15);
        EXPECT_EQ(s.v.node[1].y, 20);
        EXPECT_EQ(nodes_of(s.v, 1), (std::vector<int>{0, 3, 1, 2}));
        EXPECT_EQ(check_graph(s.v), "");
    }
    CKTVector v;
    GraphBuilder g(v);
    g.rows(50, 50);
    g.path({{20, 20}, {24, 20}, {22, 23}}, true);
    EXPECT_EQ(v.maddnotch(&v.node[1], 10, 5), -1);
    EXPECT_EQ(v.nodenum, 3);
    EXPECT_EQ(check_graph(v), "");
}

TEST(FrontTest, BlackPixelOrAFourNeighbour) {
    struct Case {
        int bx, by;  // the one black pixel
        int x, y;    // probe
        int expected;
    };
    const std::vector<Case> cases = {
        {15, 4, 0, 5, 0},  // byte before column 0 is the previous row's last pixel
        {7, 5, 8, 5, 1},   // column 8 looks left into the previous byte
        {1, 5, 0, 5, 1},   {0, 5, 0, 5, 1},   {4, 4, 5, 5, 0},   {5, 4, 5, 5, 1},
        {5, 6, 5, 5, 1},   {3, 1, 3, 0, 1},   {3, 0, 3, 0, 1},   {3, 7, 3, 7, 1},
        {3, 7, 3, 6, 1},   {3, 7, 3, 5, 0},   {14, 2, 15, 2, 1}, {15, 2, 15, 2, 1},
        // probes outside the document read it as white but see the inside
        {0, 5, -1, 5, 1},  {0, 5, -2, 5, 0},  {15, 5, 16, 5, 1}, {5, 0, 5, -1, 1},
        {5, 7, 5, 8, 1},   {5, 7, 5, 9, 0},   {5, 5, INT_MIN, INT_MIN, 0},
        {5, 5, INT_MAX, INT_MAX, 0},          {5, 5, INT_MAX, 5, 0},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(testing::Message() << "black " << c.bx << "," << c.by << " probe " << c.x << ","
                                        << c.y);
        CKTVector v;
        Bitmap doc(16, 8);
        doc.set(c.bx, c.by);
        v.msetdocument(doc.data(), 16, 8);
        EXPECT_EQ(Peer::mcheckfront(v, c.x, c.y), c.expected);
    }
}

// Bits in the padding of a row lie outside the document.
TEST(FrontTest, PaddingAndNoDocument) {
    CKTVector v;
    EXPECT_EQ(Peer::mcheckfront(v, 0, 0), 0);
    Bitmap doc(12, 8, 4);
    doc.set(12, 5);
    doc.set(20, 5);
    v.msetdocument(doc.data(), 12, 4, 8);
    EXPECT_EQ(Peer::mcheckfront(v, 11, 5), 0);
    EXPECT_EQ(Peer::mcheckfront(v, 12, 5), 0);
    doc.set(11, 5);
    EXPECT_EQ(Peer::mcheckfront(v, 10, 5), 1);
}

// Lines along each edge of the raster, notched with depths that reach far
// outside it, on white and on black documents: every node stays inside.
TEST(Notch, NearEveryEdgeTheApexStaysInTheRaster) {
    // Five nodes, notched at the middle one: radius 4 makes new side nodes,
    // radius 9 moves the second and fourth onto the circle.
    auto along = [](int fixed, bool vertical, bool reversed) {
        Pts p;
        for (int c : {2, 8, 15, 22, 28}) {
            const int t = reversed ? 29 - c : c;
            p.push_back(vertical ? std::make_pair(fixed, t) : std::make_pair(t, fixed));
        }
        return p;
    };
    const std::vector<Pts> lines = {along(1, false, false), along(28, false, true), along(1, true, false),
                                    along(28, true, true),  along(0, false, true),  along(29, true, false)};
    for (const Pts &line : lines)
        for (bool black : {false, true})
            for (double depth : {100.0, -100.0, 1e12, 3.0})
                for (double radius : {4.0, 9.0, 0.0}) {
                    SCOPED_TRACE(testing::Message() << line[0].first << "," << line[0].second << " black "
                                                    << black << " depth " << depth << " radius " << radius);
                    Sheet s(30, 30, line, [&](int, int) { return black; });
                    ASSERT_EQ(s.v.maddnotch(s.at(2), radius, depth), 0);
                    for (int i = 0; i < s.v.nodenum; ++i) {
                        EXPECT_GE(s.v.node[i].x, 0);
                        EXPECT_LT(s.v.node[i].x, 30);
                        EXPECT_GE(s.v.node[i].y, 0);
                        EXPECT_LT(s.v.node[i].y, 30);
                    }
                    EXPECT_EQ(check_graph(s.v), "");
                }
}

// A search after a notch finds the new side nodes: every search that
// relies on rows in x order stays right.
TEST(Notch, SearchesFindTheSideNodes) {
    Sheet s(100, 50, kLine, below20);
    ASSERT_EQ(s.v.maddnotch(s.at(2), 5, 8), 0);
    EXPECT_EQ(s.v.msearchnodefast(35, 20, 2), 1);
    _KTNODE *picked = nullptr;
    s.v.mselectnode1(45, 21, picked);
    EXPECT_EQ(picked, &s.v.node[6]);
    EXPECT_EQ(s.v.msearchNN(36, 20, 3.0), &s.v.node[5]);
}

// Every allocation fails in turn (the node table, row 20 and the apex's
// row are all full or empty, so each must grow): -1000 with the graph
// exactly as it was, until the notch goes through.
TEST(Notch, AllocationFailures) {
    int failures = 0;
    bool done = false;
    for (long n = 1; n < 60 && !done; ++n) {
        SCOPED_TRACE(n);
        Sheet s(100, 50, kLine, below20);
        for (int k = 0; k < 3; ++k) s.g.node(90 + 3 * k, 20);
        ASSERT_EQ(s.v.nodenum, s.v.nodecapacity);
        ASSERT_EQ(s.v.lineinfo[20].nodenum, s.v.lineinfo[20].nodecapacity);
        const std::string before = dump_graph(s.v);
        ktv::mem_fail_at(n);
        const int r = s.v.maddnotch(s.at(2), 5, 8);
        ktv::mem_fail_at(0);
        EXPECT_EQ(check_graph(s.v), "");
        if (r == 0) {
            done = true;
            continue;
        }
        EXPECT_EQ(r, -1000);
        ++failures;
        EXPECT_EQ(dump_graph(s.v), before);
        EXPECT_EQ(row_of(s.v, 20), (std::vector<int>{0, 1, 2, 3, 4, 5, 6, 7}));
    }
    EXPECT_TRUE(done);
    EXPECT_GE(failures, 4);
}
