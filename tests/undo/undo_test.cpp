// Undo copies and change tracking: a copy equals its source and is
// independent of it in both directions, a failed copy leaks nothing and can
// be repeated, the memory figure counts what a copy takes, and refitting
// runs the fits a marked polyline asks for.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "drawing.h"
#include "graph_builder.h"
#include "graph_compare.h"
#include "invariants.h"
#include "peer.h"
#include "vectorizer/memory.h"

namespace {

// A small drawing's centre lines, with spline samples on a few polylines
// and arcs on the rest, so that every kind of array of the vector layer is
// present (connections come from the driver's junction pass).
struct Drawing {
    ktvdraw::Canvas page;
    CKTVector v;
    explicit Drawing(std::uint64_t seed, int width = 700, int height = 500)
        : page(make(seed, width, height)) {
        v.msetdocument(page.data(), page.width(), page.stride(), page.height());
        EXPECT_EQ(v.mabstractcenterline(31, 4, 3, 8, 0.9, 4, 1.5), 0);
        v.marcall(1, 1000);
        for (int id = 1; id <= v.polylinenum; id += 5)
            if (!v.polyline[id - 1].deleted) {
                v.msetmodify(id, 0);
                v.mspline(id, 3);
            }
    }
    static ktvdraw::Canvas make(std::uint64_t seed, int width, int height) {
        ktvdraw::DrawingOptions o;
        o.dpi = 100;
        return ktvdraw::render_drawing(width, height, seed, o);
    }
};

int count_connections(CKTVector &v) {
    int n = 0;
    for (int i = 0; i < v.polylinenum; ++i) n += v.polyline[i].prevnum + v.polyline[i].nextnum;
    return n;
}

int count_samples(CKTVector &v) {
    int n = 0;
    for (int i = 0; i < v.polylinenum; ++i) n += v.polyline[i].splinenum;
    return n;
}

// Some edits of every kind of list: nodes go, polylines are rebuilt and
// split, connections drop, samples are refitted.  The invariants hold after
// each.
void edit(CKTVector &v) {
    ASSERT_GE(v.mnearpointall(6, 0.4), -1);
    ASSERT_EQ(check_graph(v, structural_checks()), "");
    for (int id = 1; id <= v.polylinenum; ++id) {
        _KTPOLYLINE &p = v.polyline[id - 1];
        if (p.deleted || p.nodenum < 3) continue;
        ASSERT_EQ(v.mseparatepolyline(id, &v.node[p.nodeindex[1]]), 0);
        ASSERT_EQ(check_graph(v, structural_checks()), "");
        break;
    }
    for (int id = 1; id <= v.polylinenum; ++id)
        if (!v.polyline[id - 1].deleted && v.polyline[id - 1].prevnum > 0) {
            Peer::mdisconnectall(v, id);
            break;
        }
    ASSERT_EQ(check_graph(v, structural_checks()), "");
    v.msetspline(1);
    v.msetmodify(1, 1);
    v.mreflectmodify();
    ASSERT_EQ(check_graph(v, structural_checks()), "");
}

// A copy that succeeds: canundo 1, the layers equal, the invariants hold.
void copy_into(CKTVector &dest, CKTVector &source) {
    ASSERT_EQ(dest.mundo(&source), 0);
    EXPECT_EQ(dest.mgetcanundo(), 1);
    EXPECT_EQ(graph_difference(dest, source), "");
    ASSERT_EQ(check_graph(dest), "");
}

}  // namespace

TEST(UndoMemory, CountsRecordsAndLists) {
    CKTVector v;
    EXPECT_EQ(v.mgetundomemory(), 0);
    GraphBuilder g(v);
    g.path({{0, 0}, {5, 0}});
    // Two nodes, one link pair, one polyline of two nodes, no rows.
    EXPECT_EQ(v.mgetundomemory(), 2 * 20 + 2 * 56 + 44 + 8);
    EXPECT_EQ(v.mgetundomemory(), 204);

    // Connection entries and curve samples: 4 bytes an entry, 16 a sample.
    g.path({{0, 9}, {5, 9}});
    ASSERT_GE(Peer::maddnext(v, 1, 2), 0);
    ASSERT_GE(Peer::maddprev(v, 2, -1), 0);
    ASSERT_EQ(v.mspline(2, 4), 0);
    ASSERT_EQ(v.polyline[1].splinenum, 4);
    EXPECT_EQ(v.mgetundomemory(), 2 * 204 + 4 + 4 + 16 * 4);
    // Deleted ones count like live ones.
    v.node[0].deleted = 1;
    v.polyline[0].deleted = 1;
    EXPECT_EQ(v.mgetundomemory(), 2 * 204 + 4 + 4 + 16 * 4);
}

TEST(UndoMemory, RowRecordsAndTheirEntries) {
    CKTVector v;
    GraphBuilder g(v);
    g.rows(30, 12);
    g.path({{0, 0}, {5, 0}, {5, 7}});
    EXPECT_EQ(v.mgetundomemory(), 3 * 20 + 4 * 56 + 44 + 12 + 12 * 20 + 3 * 4);
}

TEST(UndoMemory, DriverResultMatchesTheCopy) {
    Drawing d(7);
    ASSERT_GT(d.v.nodenum, 100);
    long links = 0, rowentries = 0, lists = 0;
    for (int i = 0; i < d.v.nodenum; ++i) links += d.v.node[i].linknum;
    for (int y = 0; y < d.v.height; ++y) rowentries += d.v.lineinfo[y].nodenum;
    for (int i = 0; i < d.v.polylinenum; ++i) {
        const _KTPOLYLINE &p = d.v.polyline[i];
        lists += p.nodenum + p.prevnum + p.nextnum + 4 * p.splinenum;
    }
    ASSERT_GT(count_connections(d.v), 0);
    ASSERT_GT(count_samples(d.v), 0);
    const long want = 20L * d.v.nodenum + 56 * links + 20L * d.v.height + 4 * rowentries +
                      44L * d.v.polylinenum + 4 * lists;
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
        copy_into(snapshot, work);

        // Editing the working copy leaves the snapshot as it was.
        edit(work);
        EXPECT_NE(graph_difference(work, reference), "");
        EXPECT_EQ(graph_difference(snapshot, reference), "");

        // Undo: the working copy equals the state before the edit again.
        copy_into(work, snapshot);

        // Editing the snapshot leaves the restored copy alone.
        edit(snapshot);
        EXPECT_EQ(graph_difference(work, reference), "");
    }
    // The snapshot is gone; the working copy owns all it points to.
    EXPECT_EQ(graph_difference(work, reference), "");
    edit(work);
    ASSERT_EQ(check_graph(work, structural_checks()), "");
}

TEST(Undo, EmptySourceEmptiesAndHeightFollows) {
    Drawing d(5);
    CKTVector empty;
    ASSERT_EQ(d.v.mundo(&empty), 0);
    EXPECT_EQ(d.v.mgetcanundo(), 1);
    EXPECT_EQ(d.v.nodenum, 0);
    EXPECT_EQ(d.v.node, nullptr);
    EXPECT_EQ(d.v.polylinenum, 0);
    EXPECT_EQ(d.v.polyline, nullptr);
    EXPECT_EQ(d.v.lineinfo, nullptr);
    EXPECT_EQ(d.v.mgetundomemory(), 0);

    // The destination takes the source's row count whatever its own
    // document says.
    CKTVector small;
    GraphBuilder g(small);
    g.rows(40, 30);
    g.path({{1, 1}, {9, 29}});
    CKTVector other;
    other.msetdocument(nullptr, 800, 600);
    ASSERT_EQ(other.mundo(&small), 0);
    EXPECT_EQ(other.height, 30);
    EXPECT_EQ(Peer::linerows(other), 30);
    EXPECT_EQ(graph_difference(other, small), "");
    // Rows made, nodes can be found and moved through them.
    EXPECT_EQ(Peer::msearchjust(other, 9, 29), &other.node[1]);
}

TEST(Undo, TheCopyCanGrowAgain) {
    // Tables are copied at their used size (the polyline table at its
    // allocated size); adding nodes, polylines and row entries afterwards
    // grows them as usual.
    Drawing d(11);
    CKTVector copy;
    ASSERT_EQ(copy.mundo(&d.v), 0);
    for (int k = 0; k < 20; ++k) ASSERT_EQ(copy.makenewpolyline(10 + k, 10, 40 + k, 30), 0);
    ASSERT_EQ(check_graph(copy, structural_checks()), "");
    EXPECT_EQ(copy.polylinenum, d.v.polylinenum + 20);
    edit(copy);
}

// Runs dest.mundo(&source) with its n-th allocation failing, for every n
// until the copy succeeds (or, with `stride`, for every stride-th n).  A
// failed copy answers -1000 and leaves canundo 0 and a destination that can
// be released or copied into again; the layers finished before the failure
// stay, the one that failed is gone.  The leak checker of the sanitizer
// build sees every block made.  Returns the number of failed copies.
int sweep_failures(CKTVector &source, long stride) {
    int failures = 0;
    for (long n = 1;; n += stride) {
        CKTVector dest;
        GraphBuilder g(dest);
        g.rows(50, 50);
        g.path({{1, 1}, {20, 20}, {30, 5}});
        dest.msetcanundo(1);
        ktv::mem_fail_at(n);
        const int r = dest.mundo(&source);
        ktv::mem_fail_at(0);
        if (r == 0) {
            EXPECT_EQ(dest.mgetcanundo(), 1);
            EXPECT_EQ(graph_difference(dest, source), "");
            return failures;
        }
        ++failures;
        EXPECT_EQ(r, -1000) << "request " << n;
        EXPECT_EQ(dest.mgetcanundo(), 0);
        if (dest.node) {
            for (int i = 0; i < dest.nodenum; ++i) EXPECT_EQ(dest.node[i].linknum, source.node[i].linknum);
            CheckOptions o = weak_checks();
            o.polylines = dest.polyline != nullptr;
            if (dest.lineinfo) {
                EXPECT_EQ(check_graph(dest, o), "") << "request " << n;
            }
        } else {
            EXPECT_EQ(dest.nodenum, 0);
            EXPECT_EQ(dest.lineinfo, nullptr);
            EXPECT_EQ(dest.polyline, nullptr);
        }
        if (n % 3 == 0) {
            // Copied into again: complete and equal.
            EXPECT_EQ(dest.mundo(&source), 0);
            EXPECT_EQ(graph_difference(dest, source), "");
        } else if (n % 3 == 1) {
            dest.mfreepolyline();
            dest.mfreenode();
            dest.mfreelineinfo();
        }
        if (n > 1000000) return failures;
    }
}

TEST(Undo, FailedCopyLeaksNothingAndCanBeRepeated) {
    // Every request of a copy of a small graph with each kind of array:
    // rows, links, connections, curve samples.
    CKTVector v;
    GraphBuilder g(v);
    g.rows(60, 40);
    const int a = g.path({{2, 2}, {20, 2}, {30, 12}});
    const int b = g.path_of({2, g.node(40, 30), g.node(55, 30)});
    const int c = g.path({{5, 30}, {15, 38}});
    ASSERT_GE(Peer::maddnext(v, a, b), 0);
    ASSERT_GE(Peer::maddprev(v, b, -a), 0);
    ASSERT_EQ(v.mspline(b, 4), 0);
    ASSERT_EQ(v.mspline(c, 2), 0);
    ASSERT_EQ(check_graph(v), "");
    const int failures = sweep_failures(v, 1);
    // One request per node with links, row with nodes and list at least.
    EXPECT_GT(failures, v.nodenum + 4 * 3);

    // A driver result, every 23rd request.
    Drawing d(9, 300, 220);
    ASSERT_GT(count_connections(d.v), 0);
    ASSERT_GT(count_samples(d.v), 0);
    EXPECT_GT(sweep_failures(d.v, 23), d.v.nodenum / 23);
}

TEST(Undo, FindMarksAfterACopy) {
    // Searches inside the drivers clear only the nodes they marked last
    // time.  That list describes the destination's old nodes, not the
    // copied ones, whose find bits come from the source: the first search
    // after a copy must clear the whole array.
    Drawing d(13);
    const _KTNODE &n0 = d.v.node[0];
    Peer::mfindnodefast(d.v, n0.x, n0.y, 30);
    ASSERT_GT(d.v.mgetfindnodenum(), 0);
    CKTVector copy;
    GraphBuilder g(copy);
    g.rows(100, 100);
    g.path({{50, 50}, {60, 60}});
    Peer::findtracking(copy) = 1;
    ASSERT_EQ(Peer::mfindnodefast(copy, 50, 50, 3), 1);  // a valid list of one node
    ASSERT_EQ(copy.mundo(&d.v), 0);
    EXPECT_EQ(copy.mgetfindnodenum(), d.v.mgetfindnodenum());
    const _KTNODE &far = copy.node[copy.nodenum - 1];
    Peer::mfindnodefast(copy, far.x, far.y, 0);
    int marked_elsewhere = 0;
    for (int i = 0; i < copy.nodenum; ++i)
        marked_elsewhere += (copy.node[i].flag & 2) && (copy.node[i].x != far.x || copy.node[i].y != far.y);
    EXPECT_EQ(marked_elsewhere, 0);
}

TEST(Refit, MarkedPolylinesGetTheirFitsInOrder) {
    const double kPi = 3.14159265358979323846;
    const double quarter = 25 * (kPi / 4 - 0.5) / 0.5;  // quarter circle over 10 px
    CKTVector v;
    GraphBuilder g(v);
    const int both = g.path({{0, 0}, {10, 0}, {20, 0}});
    const int arcs = g.path({{0, 20}, {10, 20}});
    const int plain = g.path({{0, 40}, {10, 40}});
    const int unmarked = g.path({{0, 60}, {10, 60}});
    const int gone = g.path({{0, 80}, {10, 80}});
    for (int id : {both, arcs, plain, unmarked, gone}) {
        g.find_link(v.polyline[id - 1].nodeindex[0], v.polyline[id - 1].nodeindex[1], id)->area = quarter;
        v.msetmodify(id, 1);
    }
    v.msetarc(both);
    v.msetspline(both);
    v.msetarc(arcs);
    v.msetarc(unmarked);
    v.msetmodify(unmarked, 0);
    v.msetarc(gone);
    v.polyline[gone - 1].deleted = 1;
    v.arcminradius = 1;
    v.arcmaxradius = 100;
    v.splinedivision = 4;

    v.mreflectmodify();
    auto radius = [&](int id) {
        return g.find_link(v.polyline[id - 1].nodeindex[0], v.polyline[id - 1].nodeindex[1], id)->radius;
    };
    // Arcs, then the spline (refused if the arc fit's mark were left).
    EXPECT_NEAR(radius(both), 5 * std::sqrt(2.0), 1e-3);
    EXPECT_EQ(v.polyline[both - 1].splinenum, 2 * 4);
    EXPECT_EQ(v.polyline[both - 1].modify, 0);
    EXPECT_NEAR(radius(arcs), 5 * std::sqrt(2.0), 1e-3);
    EXPECT_EQ(v.polyline[arcs - 1].splinenum, 0);
    EXPECT_EQ(v.polyline[arcs - 1].modify, 0);
    // No fit asked: the mark stays.  Unmarked and deleted: not refitted.
    EXPECT_EQ(v.polyline[plain - 1].modify, 1);
    EXPECT_EQ(radius(unmarked), 0);
    EXPECT_EQ(radius(gone), 0);
    EXPECT_EQ(v.polyline[gone - 1].modify, 1);

    // The stored limits are used: a limit below the radius refuses the arc.
    v.msetmodify(arcs, 1);
    g.find_link(v.polyline[arcs - 1].nodeindex[0], v.polyline[arcs - 1].nodeindex[1], arcs)->radius = 0;
    v.arcmaxradius = 7;
    v.mreflectmodify();
    EXPECT_EQ(radius(arcs), 0);
    EXPECT_EQ(v.polyline[arcs - 1].modify, 0);
}
