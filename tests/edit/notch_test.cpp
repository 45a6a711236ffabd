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
#include "sweep.h"

namespace {

using Pts = std::vector<std::pair<int, int>>;

// A w x h raster and document (black where `black` says) with one polyline
// through `points`.
struct Sheet {
    CKTVector v;
    GraphBuilder g{v};
    Bitmap doc;
    template <class F> Sheet(int w, int h, const Pts &points, F black) : doc(w, h) {
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x)
                if (black(x, y)) doc.set(x, y);
        g.rows(w, h);
        v.msetdocument(doc.data(), w, h);
        if (!points.empty()) g.path(points);
    }
    _KTNODE *at(int i) { return &v.node[i]; }
    std::pair<int, int> xy(int i) const { return {v.node[i].x, v.node[i].y}; }
    std::vector<int> row(int y) const {
        return std::vector<int>(v.lineinfo[y].nodeindex, v.lineinfo[y].nodeindex + v.lineinfo[y].nodenum);
    }
};

// Row 20 of a 100 x 50 sheet, nodes 0 .. 4 at x = 0, 20, 40, 60, 80.
const Pts kLine = {{0, 20}, {20, 20}, {40, 20}, {60, 20}, {80, 20}};
bool below20(int, int y) { return y > 20; }
}  // namespace

TEST(Notch, NodesInsideTheCircleMoveOntoIt) {
    // Radius longer than the links: the node just inside the circle moves
    // onto it, and along its row past a node it overtakes.
    Sheet s(100, 50, kLine, below20);
    const int lone = s.g.node(17, 20);
    ASSERT_EQ(s.v.maddnotch(s.at(2), 25, 8), 0);
    EXPECT_EQ(s.v.nodenum, 6);
    EXPECT_EQ(s.xy(1), std::make_pair(15, 20));
    EXPECT_EQ(s.xy(3), std::make_pair(65, 20));
    EXPECT_EQ(s.row(20), (std::vector<int>{0, 1, lone, 3, 4}));
    EXPECT_DOUBLE_EQ(s.g.find_link(0, 1, 1)->length, 15.0);
    EXPECT_DOUBLE_EQ(s.g.find_link(4, 3, -1)->length, 15.0);
    EXPECT_DOUBLE_EQ(s.g.find_link(1, 2, 1)->length, std::hypot(25.0, 8.0));
    EXPECT_EQ(nodes_of(s.v, 1), (std::vector<int>{0, 1, 2, 3, 4}));
    EXPECT_EQ(check_graph(s.v), "");

    // A vertical link: the moved node changes rows and enters in x order.
    Sheet t(50, 60, {{20, 2}, {20, 12}, {20, 22}, {20, 52}}, [](int x, int) { return x > 20; });
    t.g.node(25, 7);
    t.g.node(5, 7);
    ASSERT_EQ(t.v.maddnotch(t.at(2), 15, 6), 0);
    EXPECT_EQ(t.xy(1), std::make_pair(20, 7));
    EXPECT_EQ(t.row(7), (std::vector<int>{5, 1, 4}));
    EXPECT_EQ(t.row(12), std::vector<int>{});
    EXPECT_EQ(t.xy(6), std::make_pair(20, 37));
    EXPECT_EQ(t.xy(2), std::make_pair(26, 22));
    EXPECT_DOUBLE_EQ(t.g.find_link(0, 1, 1)->length + t.g.find_link(3, 6, -1)->length, 20.0);
    EXPECT_EQ(nodes_of(t.v, 1), (std::vector<int>{0, 1, 2, 6, 3}));
    EXPECT_EQ(check_graph(t.v), "");

    // A diagonal side: the crossing of (50,30) -> (60,40) with the circle
    // of radius 18 about (40,20) lies at (52.7, 32.7).
    Sheet d(100, 50, {{0, 20}, {20, 20}, {40, 20}, {50, 30}, {60, 40}}, below20);
    ASSERT_EQ(d.v.maddnotch(d.at(2), 18, 5), 0);
    EXPECT_EQ(d.xy(3), std::make_pair(52, 32));
    EXPECT_EQ(d.xy(5), std::make_pair(22, 20));
    EXPECT_EQ(check_graph(d.v), "");

    // Up to four nodes of a side may lie inside; those between N and the
    // moved one stay.  A fifth refuses the notch and changes nothing.
    const Pts pts = {{0, 20}, {10, 20}, {12, 20}, {14, 20}, {16, 20}, {18, 20}, {20, 20}, {38, 20}};
    Sheet five(100, 50, pts, below20), four(100, 50, pts, below20);
    EXPECT_EQ(five.v.maddnotch(five.at(6), 11, 3), -1);
    for (int i = 0; i < 8; ++i) EXPECT_EQ(five.v.node[i].x, pts[i].first);
    ASSERT_EQ(four.v.maddnotch(four.at(6), 9, 3), 0);
    EXPECT_EQ(four.v.node[2].x, 11);
    for (int i : {3, 4, 5}) EXPECT_EQ(four.v.node[i].x, pts[i].first);
    EXPECT_EQ(four.v.node[8].x, 29);

    // New side nodes take their places in their row by x, where every
    // search finds them.
    Sheet n(100, 50, kLine, below20);
    ASSERT_EQ(n.v.maddnotch(n.at(2), 5, 8), 0);
    EXPECT_EQ(n.row(20), (std::vector<int>{0, 1, 5, 6, 3, 4}));
    EXPECT_EQ(n.v.msearchnodefast(35, 20, 2), 1);
    EXPECT_EQ(n.v.msearchNN(36, 20, 3.0), n.at(5));
    EXPECT_EQ(check_graph(n.v), "");
}

// Every allocation fails in turn (the node table, row 20 and the apex's
// row are all full or empty, so each must grow): -1000 and the graph
// exactly as it was, until the notch goes through.
TEST(Notch, AFailedNotchChangesNothing) {
    const int failed = sweep([](long n) {
        Sheet s(100, 50, kLine, below20);
        for (int k = 0; k < 3; ++k) s.g.node(90 + 3 * k, 20);
        const std::string before = dump_graph(s.v);
        int r = 0;
        if (!fails_at(n, [&] { r = s.v.maddnotch(s.at(2), 5, 8); })) return false;
        EXPECT_EQ(r, -1000);
        EXPECT_EQ(dump_graph(s.v), before) << "request " << n;
        return true;
    });
    EXPECT_GE(failed, 4);
}

TEST(FrontTest, BlackPixelOrAFourNeighbourInsideTheDocument) {
    const struct {
        int bx, by;  // the one black pixel
        int x, y;    // probe
        int expected;
    } cases[] = {
        {15, 4, 0, 5, 0},  // the byte before column 0 is the previous row's last pixel
        {7, 5, 8, 5, 1},   // column 8 looks left into the previous byte
        {1, 5, 0, 5, 1},   {0, 5, 0, 5, 1},   {4, 4, 5, 5, 0},   {5, 4, 5, 5, 1},
        {5, 6, 5, 5, 1},   {3, 1, 3, 0, 1},   {3, 0, 3, 0, 1},   {3, 7, 3, 7, 1},
        {3, 7, 3, 6, 1},   {3, 7, 3, 5, 0},   {14, 2, 15, 2, 1}, {15, 2, 15, 2, 1},
        // probes outside the document read it as white but see the inside
        {0, 5, -1, 5, 1},  {0, 5, -2, 5, 0},  {15, 5, 16, 5, 1}, {5, 0, 5, -1, 1},
        {5, 7, 5, 8, 1},   {5, 7, 5, 9, 0},   {5, 5, INT_MIN, INT_MIN, 0},
        {5, 5, INT_MAX, INT_MAX, 0},          {5, 5, INT_MAX, 5, 0},
    };
    for (const auto &c : cases) {
        CKTVector v;
        Bitmap doc(16, 8);
        doc.set(c.bx, c.by);
        v.msetdocument(doc.data(), 16, 8);
        EXPECT_EQ(Peer::mcheckfront(v, c.x, c.y), c.expected)
            << "black " << c.bx << "," << c.by << " probe " << c.x << "," << c.y;
    }
    // Bits in the padding of a row lie outside the document; no document
    // is all white.
    CKTVector v;
    EXPECT_EQ(Peer::mcheckfront(v, 0, 0), 0);
    Bitmap doc(12, 8, 4);
    doc.set(12, 5);
    doc.set(20, 5);
    v.msetdocument(doc.data(), 12, 4, 8);
    EXPECT_EQ(Peer::mcheckfront(v, 11, 5) + Peer::mcheckfront(v, 12, 5), 0);
    doc.set(11, 5);
    EXPECT_EQ(Peer::mcheckfront(v, 10, 5), 1);
}
