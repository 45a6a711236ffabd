// Undo copies and change tracking: a copy equals its source and is
// independent of it in both directions, a failed copy leaks nothing and can
// be repeated, the memory figure counts what a copy takes, and refitting
// runs the fits a marked polyline asks for.
#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <vector>

#include "bitmap.h"
#include "graph_builder.h"
#include "invariants.h"
#include "peer.h"
#include "sweep.h"

namespace {

// Centre lines of random strokes with arcs on every polyline and spline
// samples on every fifth, so that every kind of array of the vector layer
// is there (connections come from the driver's junction pass).
struct Drawing {
    Bitmap page;
    CKTVector v;
    explicit Drawing(unsigned seed) {
        std::mt19937 rng(seed);
        page = random_strokes(rng);
        stroke(page, 5, page.height / 2, page.width - 5, page.height / 2, 1.5);  // a crossing to connect through
        stroke(page, page.width / 2, 5, page.width / 2, page.height - 5, 1.5);
        v.msetdocument(page.data(), page.width, page.height);
        EXPECT_EQ(v.mabstractcenterline(31, 4, 3, 8, 0.9, 4, 1.5), 0);
        v.marcall(1, 1000);
        for (int id = 1; id <= v.polylinenum; id += 5) {
            if (v.polyline[id - 1].deleted) continue;
            v.msetmodify(id, 0);
            v.mspline(id, 3);
        }
        int connections = 0, samples = 0;
        for (int i = 0; i < v.polylinenum; ++i) {
            connections += v.polyline[i].prevnum + v.polyline[i].nextnum;
            samples += v.polyline[i].splinenum;
        }
        EXPECT_GT(connections, 0);
        EXPECT_GT(samples, 0);
    }
};

// Edits of every kind of list: nodes go, polylines split, connections
// drop, samples are refitted.
void edit(CKTVector &v) {
    EXPECT_GE(v.mnearpointall(6, 0.4), -1);
    for (int id = 1; id <= v.polylinenum; ++id)
        if (!v.polyline[id - 1].deleted && v.polyline[id - 1].nodenum >= 3) {
            EXPECT_EQ(v.mseparatepolyline(id, &v.node[v.polyline[id - 1].nodeindex[1]]), 0);
            break;
        }
    for (int id = 1; id <= v.polylinenum; ++id)
        if (!v.polyline[id - 1].deleted && v.polyline[id - 1].prevnum > 0) {
            Peer::mdisconnectall(v, id);
            break;
        }
    v.msetspline(1);
    v.msetmodify(1, 1);
    v.mreflectmodify();
    EXPECT_EQ(check_graph(v, structural_checks()), "");
}

}  // namespace

TEST(Undo, MemoryFigureCountsRecordsAndLists) {
    CKTVector v;
    EXPECT_EQ(v.mgetundomemory(), 0);
    // 20 bytes a node, 56 a link record, 20 a row record and 4 an entry,
    // 44 a polyline record, 4 a list entry and 16 a spline sample; deleted
    // records count like live ones.
    Drawing d(7);
    d.v.node[0].deleted = 1;
    d.v.polyline[0].deleted = 1;
    long links = 0, rowentries = 0, lists = 0;
    for (int i = 0; i < d.v.nodenum; ++i) links += d.v.node[i].linknum;
    for (int y = 0; y < d.v.height; ++y) rowentries += d.v.lineinfo[y].nodenum;
    for (int i = 0; i < d.v.polylinenum; ++i) {
        const _KTPOLYLINE &p = d.v.polyline[i];
        lists += p.nodenum + p.prevnum + p.nextnum + 4 * p.splinenum;
    }
    const long want = 20L * d.v.nodenum + 56 * links + 20L * d.v.height + 4 * rowentries + 44L * d.v.polylinenum +
                      4 * lists;
    EXPECT_EQ(d.v.mgetundomemory(), want);
    CKTVector copy;
    ASSERT_EQ(copy.mundo(&d.v), 0);
    EXPECT_EQ(copy.mgetundomemory(), want);
}

TEST(Undo, CopyEqualsSourceAndNeitherSeesTheOthersEdits) {
    Drawing d(3);
    CKTVector &work = d.v;
    CKTVector reference;
    ASSERT_EQ(reference.mundo(&work), 0);
    {
        CKTVector snapshot;
        EXPECT_EQ(snapshot.mgetcanundo(), 0);
        ASSERT_EQ(snapshot.mundo(&work), 0);
        EXPECT_EQ(snapshot.mgetcanundo(), 1);
        EXPECT_EQ(dump_graph(snapshot), dump_graph(work));
        EXPECT_EQ(check_graph(snapshot, structural_checks()), "");
        edit(work);
        EXPECT_NE(dump_graph(work), dump_graph(reference));
        EXPECT_EQ(dump_graph(snapshot), dump_graph(reference));
        ASSERT_EQ(work.mundo(&snapshot), 0);  // undo
        EXPECT_EQ(dump_graph(work), dump_graph(reference));
        EXPECT_EQ(work.mundo(&work), 0);  // its own copy already
        edit(snapshot);
        EXPECT_EQ(dump_graph(work), dump_graph(reference));
    }
    // The snapshot is gone; the working copy owns all it points to and
    // grows as usual.
    EXPECT_EQ(dump_graph(work), dump_graph(reference));
    for (int k = 0; k < 20; ++k) ASSERT_EQ(work.makenewpolyline(10 + k, 10, 40 + k, 30), 0);
    EXPECT_EQ(work.polylinenum, reference.polylinenum + 20);
    edit(work);

    // An empty source empties; the destination takes the source's row
    // count whatever its own document says, and finds nodes through it.
    CKTVector empty;
    ASSERT_EQ(reference.mundo(&empty), 0);
    EXPECT_EQ(reference.mgetcanundo(), 1);
    EXPECT_TRUE(!reference.node && !reference.polyline && !reference.lineinfo);
    EXPECT_EQ(reference.nodenum + reference.polylinenum + reference.mgetundomemory(), 0);
    CKTVector small, other;
    GraphBuilder g(small);
    g.rows(40, 30);
    g.path({{1, 1}, {9, 29}});
    other.msetdocument(nullptr, 800, 600);
    ASSERT_EQ(other.mundo(&small), 0);
    EXPECT_EQ(other.height, 30);
    EXPECT_EQ(Peer::linerows(other), 30);
    EXPECT_EQ(dump_graph(other), dump_graph(small));
    EXPECT_EQ(Peer::msearchjust(other, 9, 29), &other.node[1]);
}

TEST(Undo, FailedCopyLeaksNothingAndCanBeRepeated) {
    // Every request of a copy of a small graph with each kind of array, and
    // every 23rd of a drawing's.  A failed copy answers -1000, leaves canundo
    // 0 and the layers finished before the failure; the source is never
    // changed; the destination can be released or copied into again.
    CKTVector small;
    GraphBuilder g(small);
    g.rows(60, 40);
    const int a = g.path({{2, 2}, {20, 2}, {30, 12}});
    const int b = g.path_of({2, g.node(40, 30), g.node(55, 30)});
    const int c = g.path({{5, 30}, {15, 38}});
    Peer::maddnext(small, a, b);
    Peer::maddprev(small, b, -a);
    ASSERT_EQ(small.mspline(b, 4), 0);
    ASSERT_EQ(small.mspline(c, 2), 0);
    Drawing d(9);
    for (CKTVector *source : {&small, &d.v}) {
        const std::string shape = dump_graph(*source);
        const long step = source == &small ? 1 : 23;
        const int failures = sweep(
            [&](long n) {
                CKTVector dest;
                GraphBuilder h(dest);
                h.rows(50, 50);
                h.path({{1, 1}, {20, 20}, {30, 5}});
                dest.msetcanundo(1);
                int r = 0;
                if (!fails_at(n, [&] { r = dest.mundo(source); })) {
                    EXPECT_EQ(dump_graph(dest), dump_graph(*source));
                    return false;
                }
                EXPECT_EQ(r, -1000) << "request " << n;
                EXPECT_EQ(dest.mgetcanundo(), 0);
                EXPECT_EQ(dump_graph(*source), shape);
                if (dest.node) {
                    for (int i = 0; i < dest.nodenum; ++i) EXPECT_EQ(dest.node[i].linknum, source->node[i].linknum);
                    CheckOptions o = weak_checks();
                    o.polylines = dest.polyline != nullptr;
                    if (dest.lineinfo) {
                        EXPECT_EQ(check_graph(dest, o), "") << "request " << n;
                    }
                } else {
                    EXPECT_TRUE(!dest.nodenum && !dest.lineinfo && !dest.polyline);
                }
                if (n % 2) {
                    EXPECT_EQ(dest.mundo(source), 0);
                    EXPECT_EQ(dump_graph(dest), dump_graph(*source));
                } else {
                    dest.mfreepolyline();
                    dest.mfreenode();
                    dest.mfreelineinfo();
                }
                return !::testing::Test::HasFailure();
            },
            step);
        EXPECT_GT(failures, source->nodenum / step + 4);
    }
}

TEST(Undo, FirstSearchAfterACopyClearsTheWholeArray) {
    // Searches inside the drivers clear only the nodes they marked last
    // time.  That list describes the destination's old nodes, not the
    // copied ones, whose find bits come from the source.
    Drawing d(13);
    Peer::mfindnodefast(d.v, d.v.node[0].x, d.v.node[0].y, 30);
    ASSERT_GT(d.v.mgetfindnodenum(), 0);
    CKTVector copy;
    GraphBuilder g(copy);
    g.rows(100, 100);
    g.path({{50, 50}, {60, 60}});
    Peer::findtracking(copy) = 1;
    ASSERT_EQ(Peer::mfindnodefast(copy, 50, 50, 3), 1);
    ASSERT_EQ(copy.mundo(&d.v), 0);
    EXPECT_EQ(copy.mgetfindnodenum(), d.v.mgetfindnodenum());
    const _KTNODE &far = copy.node[copy.nodenum - 1];
    Peer::mfindnodefast(copy, far.x, far.y, 0);
    for (int i = 0; i < copy.nodenum; ++i)
        EXPECT_FALSE((copy.node[i].flag & 2) && (copy.node[i].x != far.x || copy.node[i].y != far.y)) << i;
}

