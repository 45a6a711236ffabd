// Long random sequences of graph edits on graphs built by the fast outline
// driver from random drawings and by hand; the graph invariants are checked
// after every operation.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "bitmap.h"
#include "graph_builder.h"
#include "graph_compare.h"
#include "invariants.h"
#include "peer.h"
#include "vectorizer/memory.h"

namespace {

class RandomEdits {
public:
    explicit RandomEdits(unsigned seed) : rng_(seed) {}

    // A random drawing of strokes, blobs and rings, vectorized by the fast
    // outline driver (with the driver's node search on or off).
    void from_drawing(CKTVector &v, Bitmap &b) {
        const int w = 40 + pick(80), h = 40 + pick(80);
        b = Bitmap(w, h);
        const int shapes = 2 + pick(6);
        for (int s = 0; s < shapes; ++s) {
            const int x0 = pick(w), y0 = pick(h), x1 = pick(w), y1 = pick(h), t = 1 + pick(4);
            for (int i = 0; i <= 60; ++i) {
                const int x = x0 + (x1 - x0) * i / 60, y = y0 + (y1 - y0) * i / 60;
                for (int dy = -t; dy <= t; ++dy)
                    for (int dx = -t; dx <= t; ++dx)
                        if (dx * dx + dy * dy <= t * t) b.set(x + dx, y + dy);
            }
        }
        v.msetdocument(b.data(), b.width, b.height);
        ASSERT_EQ(v.mabstractoutlinefast(pick(6), 0, 0.5 + pick(3), pick(2)), 0);
    }

    // A hand-made graph: a grid of nodes with random paths through it.
    void by_hand(CKTVector &v) {
        GraphBuilder g(v);
        g.rows(64, 64);
        std::vector<int> grid;
        for (int y = 0; y < 8; ++y)
            for (int x = 0; x < 8; ++x) grid.push_back(g.node(4 + 8 * x + pick(3), 4 + 8 * y + pick(3)));
        const int paths = 4 + pick(8);
        for (int p = 0; p < paths; ++p) {
            int at = pick(64);
            std::vector<int> nodes{grid[static_cast<size_t>(at)]};
            const int len = 1 + pick(6);
            for (int k = 0; k < len; ++k) {
                const int x = at % 8, y = at / 8;
                const int dir = pick(4);
                const int nx = x + (dir == 0) - (dir == 1), ny = y + (dir == 2) - (dir == 3);
                if (nx < 0 || ny < 0 || nx > 7 || ny > 7) break;
                const int next = ny * 8 + nx;
                bool used = false;
                for (int n : nodes) used |= n == grid[static_cast<size_t>(next)];
                if (used) break;
                at = next;
                nodes.push_back(grid[static_cast<size_t>(at)]);
            }
            if (nodes.size() >= 2) g.path_of(nodes);
        }
    }

    // The checks for the graph as edited so far.
    CheckOptions checks(CheckOptions o = {}) const { return o; }

    int pick(int n) { return n <= 0 ? 0 : static_cast<int>(rng_() % static_cast<unsigned>(n)); }

    // A random live node, or -1.
    int live_node(CKTVector &v, int wanted_links = -1) {
        for (int tries = 0; tries < 40 && v.nodenum > 0; ++tries) {
            const int i = pick(v.nodenum);
            if (v.node[i].deleted) continue;
            if (wanted_links >= 0 && v.node[i].linknum != wanted_links) continue;
            return i;
        }
        return -1;
    }

    // Whether every polyline through node n has n as its first or last node:
    // removing such a node, or a link at it, cuts no polyline in two.  A
    // host splits a polyline (mseparatepolyline) before removing a node or
    // link inside it; unlinking inside a polyline rebuilds only the part that
    // holds its first live node and leaves the other part's links without a
    // record.
    bool only_ends(CKTVector &v, int n) {
        for (int k = 0; k < v.node[n].linknum; ++k) {
            const int id = v.node[n].link[k].id;
            const _KTPOLYLINE &p = v.polyline[(id < 0 ? -id : id) - 1];
            if (p.nodenum < 1 || (p.nodeindex[0] != n && p.nodeindex[p.nodenum - 1] != n)) return false;
        }
        return true;
    }

    int live_polyline(CKTVector &v) {
        for (int tries = 0; tries < 40 && v.polylinenum > 0; ++tries) {
            const int id = 1 + pick(v.polylinenum);
            if (!v.polyline[id - 1].deleted && v.polyline[id - 1].nodenum >= 2) return id;
        }
        return 0;
    }

    // One random edit; returns its name for the failure message.
    std::string step(CKTVector &v) {
        // Removing a polyline or unlinking at its end leaves links on no
        // polyline (the sequence then moves to a new graph): drawn rarely so
        // that most sequences run long.
        const int draw = pick(100);
        int op = draw % 20;
        if (op == 3) op = 4;    // munlinknode: only the rare draws below
        if (op == 12) op = 11;  // mdeletepolyline: likewise
        if (draw < 2) op = 12;
        else if (draw < 5) op = 3;
        switch (op) {
        case 0: {
            const int n = live_node(v);
            if (n >= 0 && (Peer::mismiddle(v, n) || only_ends(v, n))) v.mdeletenode(&v.node[n]);
            return "mdeletenode";
        }
        case 1: {
            const int n = live_node(v, 2);
            if (n >= 0 && Peer::mismiddle(v, n)) v.mskipnode(&v.node[n]);
            return "mskipnode";
        }
        case 2: {
            const int a = live_node(v);
            if (a < 0) return "merge";
            Peer::mfindnodefast(v, v.node[a].x, v.node[a].y, 4);
            for (int b = Peer::mnextfound(v, -1); b >= 0; b = Peer::mnextfound(v, b))
                if (b != a) {
                    Peer::mintegratenode(v, &v.node[a], &v.node[b]);
                    break;
                }
            return "mintegratenode";
        }
        case 3: {
            const int a = live_node(v);
            if (a >= 0 && v.node[a].linknum > 0) {
                const int b = v.node[a].link[pick(v.node[a].linknum)].node;
                if (only_ends(v, a) || only_ends(v, b)) v.munlinknode(&v.node[a], &v.node[b]);
            }
            return "munlinknode";
        }
        case 4: {
            const int id = live_polyline(v);
            // At an inner node: a split at an end leaves a one-node polyline.
            const _KTPOLYLINE *p = id ? &v.polyline[id - 1] : nullptr;
            if (p && p->nodenum >= 3)
                v.mseparatepolyline(pick(2) ? id : -id, &v.node[p->nodeindex[1 + pick(p->nodenum - 2)]]);
            return "mseparatepolyline";
        }
        case 5: {
            const int a = live_node(v, 1), b = live_node(v, 1);
            if (a >= 0 && b >= 0 && a != b) Peer::mlinkpolyline(v, &v.node[a], &v.node[b]);
            return "mlinkpolyline";
        }
        case 6: {
            const int a = live_node(v, 1);
            if (a < 0) return "fuse";
            Peer::mfindnodefast(v, v.node[a].x, v.node[a].y, 6);
            for (int b = Peer::mnextfound(v, -1); b >= 0; b = Peer::mnextfound(v, b))
                if (b != a && v.node[b].linknum == 1) {
                    Peer::mintegratepolyline2(v, &v.node[a], &v.node[b]);
                    break;
                }
            return "mintegratepolyline(a, b)";
        }
        case 7: {
            const int n = live_node(v, 2);
            if (n >= 0) Peer::mintegratepolyline1(v, &v.node[n]);
            return "mintegratepolyline(node)";
        }
        case 8: {
            const int j = live_node(v);
            if (j >= 0 && v.node[j].linknum >= 2) {
                const _KTNODE &n = v.node[j];
                v.mconnectpolyline(&v.node[j], &v.node[n.link[pick(n.linknum)].node],
                                   &v.node[n.link[pick(n.linknum)].node]);
            }
            return "mconnectpolyline(joint)";
        }
        case 9: {
            const int j = live_node(v);
            if (j >= 0) {
                const int x = v.node[j].x, y = v.node[j].y;
                v.mconnectpolyline(x - 6 + pick(13), y - 6 + pick(13), x - 6 + pick(13), y - 6 + pick(13));
            }
            return "mconnectpolyline(stroke)";
        }
        case 10: {
            const int id = live_polyline(v);
            if (id) {
                _KTPOLYLINE &p = v.polyline[id - 1];
                const bool start = pick(2);
                const int count = start ? p.prevnum : p.nextnum;
                if (count) {
                    const int e = (start ? p.prev : p.next)[pick(count)];
                    v.mdisconnectpolyline(id, &v.node[start ? p.nodeindex[0] : p.nodeindex[p.nodenum - 1]],
                                          e < 0 ? -e : e);
                }
            }
            return "mdisconnectpolyline";
        }
        case 11: {
            const int id = live_polyline(v);
            if (id) v.mupdatepolyline(pick(2) ? id : -id);
            return "mupdatepolyline";
        }
        case 13: {
            // The mark is cleared first: a rebuilt polyline stays marked and
            // would be refused.
            const int id = live_polyline(v);
            if (id) {
                v.msetmodify(id, 0);
                v.mnearpoint(id, 1 + pick(12), 0.1 * pick(16));
            }
            return "mnearpoint";
        }
        case 14: {
            const int id = live_polyline(v);
            if (id) {
                v.msetmodify(id, 0);
                v.marc(id, 1, 1000);
                v.msetarc(id);
                v.msetmodify(id, 0);
                v.msamecurvature(id, 0.05 * pick(8));
            }
            return "marc, msamecurvature";
        }
        case 15: {
            const int n = live_node(v);
            if (n >= 0)
                v.minsertnode(v.node[n].x + pick(9) - 4, v.node[n].y + pick(9) - 4, 0.1, 4);
            return "minsertnode";
        }
        case 16: {
            const int n = live_node(v);
            if (n >= 0) v.movenode(&v.node[n], v.node[n].x + pick(11) - 5, v.node[n].y + pick(11) - 5);
            return "movenode";
        }
        case 17: {
            const int n = live_node(v);
            if (n >= 0)
                v.movenodeattach(&v.node[n], v.node[n].x + pick(7) - 3, v.node[n].y + pick(7) - 3);
            return "movenodeattach";
        }
        case 18: {
            const int n = live_node(v);
            if (n >= 0 && v.node[n].linknum > 0)
                v.msharpencorner(&v.node[n], &v.node[v.node[n].link[0].node]);
            return "msharpencorner";
        }
        case 19: {
            const int n = live_node(v, 2);
            if (n >= 0) v.maddnotch(&v.node[n], 1 + pick(8), pick(7) - 3);
            return "maddnotch";
        }
        default: {
            const int n = live_node(v);
            if (n >= 0) v.mdeletepolyline(&v.node[n]);
            return "mdeletepolyline";
        }
        }
    }

private:
    std::mt19937 rng_;
};

int operations() {
    const char *env = std::getenv("KTVEC_RANDOM_EDITS");
    return env ? std::atoi(env) : 100000;
}

}  // namespace

TEST(RandomEdits, InvariantsHoldAfterEveryOperation) {
    // Every operation keeps the structural invariants.  Edits may also take
    // a graph out of normal form (links left on no polyline, see
    // CheckOptions::links_on_polylines); the sequence then goes on with a
    // new graph, since later edits of such a graph follow chains that no
    // record describes.
    RandomEdits r(20261205);
    const int total = operations();
    int done = 0, graphs = 0, left_normal_form = 0;
    const CheckOptions structural = structural_checks();
    for (int graph = 0; done < total; ++graph, ++graphs) {
        CKTVector v;
        Bitmap b;
        if (graph % 2 == 0) r.from_drawing(v, b);
        else r.by_hand(v);
        ASSERT_EQ(check_graph(v), "") << "graph " << graph << " as built";
        for (int k = 0; k < 150 && done < total; ++k, ++done) {
            const std::string before = std::getenv("KTVEC_DUMP") ? dump_graph(v) : "";
            const std::string op = r.step(v);
            const std::string problems = check_graph(v, r.checks(structural));
            ASSERT_EQ(problems, "") << "graph " << graph << ", operation " << k << ": " << op << "\n"
                                    << before << "after:\n" << dump_graph(v);
            const std::string weak = check_graph(v, r.checks());
            if (!weak.empty()) {
                if (std::getenv("KTVEC_WHY")) std::printf("%s: %s", op.c_str(), weak.substr(0, weak.find('\n') + 1).c_str());
                ++left_normal_form;
                break;
            }
        }
    }
    // Sequences are long enough to build up edits on edits.
    EXPECT_GE(done / graphs, 20);
    std::printf("%d operations on %d graphs, %d left normal form\n", done, graphs, left_normal_form);
}

TEST(RandomEdits, MemoryFailureInAnyEditLeavesAConsistentGraph) {
    // The same edit is replayed on the same graph with its 1st, 2nd, ...
    // allocation failing until it succeeds.  A failed edit reports -1000 (or
    // a result of its own that needs no memory); the steps it had done stay,
    // but counts, lists and link pairs remain consistent, and the graph can
    // still be edited and released.
    CheckOptions after_failure = structural_checks();
    after_failure.rows_sorted = false;
    after_failure.polylines_complete = false;
    int swept = 0;
    for (unsigned seed = 1; seed <= 60; ++seed) {
        for (int prefix = 0; prefix < 40; prefix += 13) {
            for (int k = 1;; ++k) {
                RandomEdits r(seed);
                CKTVector v;
                Bitmap b;
                if (seed % 2) r.from_drawing(v, b);
                else r.by_hand(v);
                for (int i = 0; i < prefix; ++i) r.step(v);
                if (!check_graph(v, r.checks()).empty()) break;  // left normal form: next sample
                const long before = ktv::mem_failures();
                ktv::mem_fail_at(k);
                const std::string op = r.step(v);
                ktv::mem_fail_at(0);
                const bool failed = ktv::mem_failures() > before;
                ASSERT_EQ(check_graph(v, after_failure), "")
                    << "seed " << seed << " prefix " << prefix << " failing request " << k << " in " << op;
                r.step(v);  // the graph can still be edited
                ASSERT_EQ(check_graph(v, after_failure), "") << "after a further edit";
                ++swept;
                if (!failed) break;  // the edit succeeded without the failure firing
                if (k > 200) break;
            }
        }
    }
    EXPECT_GT(swept, 200);
}

TEST(RandomEdits, UndoRestoresTheSnapshotExactly) {
    // The host's undo cycle on random graphs: a snapshot is copied before a
    // few random edits and copied back after them.  The graph then equals a
    // second copy taken with the snapshot, field for field, and editing goes
    // on from there after the snapshot is gone.
    RandomEdits r(77);
    int restored = 0;
    for (int graph = 0; graph < 60; ++graph) {
        CKTVector v;
        Bitmap b;
        if (graph % 2 == 0) r.from_drawing(v, b);
        else r.by_hand(v);
        for (int round = 0; round < 8; ++round) {
            CKTVector snapshot, reference;
            ASSERT_EQ(snapshot.mundo(&v), 0);
            ASSERT_EQ(reference.mundo(&v), 0);
            std::string ops;
            for (int k = 1 + r.pick(10); k > 0; --k) {
                ops += r.step(v) + " ";
                ASSERT_EQ(check_graph(v, r.checks(structural_checks())), "")
                    << "graph " << graph << ": " << ops;
                if (!check_graph(v, r.checks()).empty()) break;  // left normal form: restore now
            }
            ASSERT_EQ(v.mundo(&snapshot), 0);
            EXPECT_EQ(v.mgetcanundo(), 1);
            ASSERT_EQ(graph_difference(v, reference), "") << "graph " << graph << ": " << ops;
            ASSERT_EQ(check_graph(v, r.checks(structural_checks())), "");
            ++restored;
            for (int k = 0; k < 3; ++k) r.step(v);  // edits that are kept
            if (!check_graph(v, r.checks()).empty()) break;  // left normal form: next graph
        }
    }
    EXPECT_GT(restored, 200);
}
