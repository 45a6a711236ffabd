// Allocation-failure sweep over whole calls: each driver, and each step of
// an editing script on a sample drawing, is run again and again with its
// 1st, 2nd, 3rd ... allocation failing until a run needs no failure.  After
// every failed run the result is "-1000" (or what the call documents), the
// graph keeps its structural rules, the vectorizer runs again and is
// destroyed; the sanitizer build reports any leak on the way.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "bitmap.h"
#include "graph_compare.h"
#include "invariants.h"
#include "vectorizer/geometry.h"
#include "vectorizer/memory.h"

namespace {

// Strokes with a T junction, a crossing, a ring, a thick bar and a speck:
// every stage and every clean-up pass has work to do.
Bitmap drawing() {
    Bitmap b(72, 48, 10);  // a padded stride
    auto disc = [&b](int cx, int cy, int r) {
        for (int y = cy - r; y <= cy + r; ++y)
            for (int x = cx - r; x <= cx + r; ++x)
                if ((x - cx) * (x - cx) + (y - cy) * (y - cy) <= r * r) b.set(x, y);
    };
    for (int x = 4; x < 40; ++x) disc(x, 6, 1);                 // bar
    for (int y = 6; y < 40; ++y) disc(22, y, 1);                // stem: T junction
    for (int i = 0; i < 28; ++i) disc(6 + i, 14 + i, 0);       // diagonal across the stem
    for (int a = 0; a < 360; a += 2) {                          // ring
        const double t = a * ktv::kPi / 180;
        b.set(56 + static_cast<int>(10 * std::cos(t)), 30 + static_cast<int>(10 * std::sin(t)));
    }
    for (int y = 40; y < 46; ++y)
        for (int x = 40; x < 68; ++x) b.set(x, y);              // thick bar
    b.set(66, 4);                                               // speck
    return b;
}

// Rules after a failure part-way: rows may be unsorted, records short.
CheckOptions after_failure() {
    CheckOptions o = structural_checks();
    o.rows_sorted = false;
    o.polylines_complete = false;
    o.links_to_deleted = true;
    return o;
}

// The driver calls with the arguments of an ordinary run.
struct DriverCase {
    const char *name;
    std::function<int(CKTVector &)> run;
};

const std::vector<DriverCase> &drivers() {
    static const std::vector<DriverCase> cases = {
        {"outline fast", [](CKTVector &v) { return v.mabstractoutlinefast(4, 0, 1.0, 1); }},
        {"centerline", [](CKTVector &v) { return v.mabstractcenterline(31, 4, 4.0, 8.0, 0.8, 3.0, 1.0); }},
        {"outline", [](CKTVector &v) { return v.mabstractoutline(4, 3, 1.0, 1); }},
    };
    return cases;
}

// Fails the n-th request of `call` for n = 1, 2, ... until a run needs no
// failure; `check` judges each failed run.  Returns the points swept.
int sweep(const std::function<void(CKTVector &)> &setup, const std::function<int(CKTVector &)> &call,
          const std::function<void(CKTVector &, int, int)> &check) {
    for (int n = 1; n < 100000; ++n) {
        CKTVector v;
        setup(v);
        const long before = ktv::mem_failures();
        ktv::mem_fail_at(n);
        const int r = call(v);
        ktv::mem_fail_at(0);
        if (ktv::mem_failures() == before) return n - 1;
        check(v, r, n);
        if (::testing::Test::HasFatalFailure()) return n;
    }
    ADD_FAILURE() << "the call never runs without failing";
    return 0;
}

// Every host-visible array read to its count (the sanitizer build checks
// the reads); the sum only keeps the reads from being dropped.
void read_everything(CKTVector &v) {
    double sum = 0;
    for (int i = 0; i < v.nodenum; ++i) {
        const _KTNODE &n = v.node[i];
        sum += n.x + n.y + n.linknum;
        for (int k = 0; k < n.linknum; ++k) sum += n.link[k].length + n.link[k].node + n.link[k].id;
    }
    for (int i = 0; v.polyline && i < v.polylinenum; ++i) {
        const _KTPOLYLINE &p = v.polyline[i];
        for (int k = 0; k < p.nodenum; ++k) sum += p.nodeindex[k];
        for (int k = 0; k < p.prevnum; ++k) sum += p.prev[k];
        for (int k = 0; k < p.nextnum; ++k) sum += p.next[k];
        for (int k = 0; k < p.splinenum; ++k) sum += p.splinex[k] + p.spliney[k];
    }
    EXPECT_FALSE(sum != sum);
}

void count(const char *what, int points) {
    std::printf("[ sweep    ] %-28s %d allocation points\n", what, points);
}

}  // namespace

TEST(AllocSweep, EveryDriverFailsCleanlyAtEveryAllocation) {
    Bitmap b = drawing();
    auto document = [&b](CKTVector &v) { v.msetdocument(b.data(), b.width, b.bytesperline, b.height); };
    for (const DriverCase &d : drivers()) {
        CKTVector reference;
        document(reference);
        ASSERT_EQ(d.run(reference), 0);
        int incomplete = 0;
        const int points = sweep(document, d.run, [&](CKTVector &v, int r, int n) {
            // A failure in the clean-up leaves the driver's result 0 and
            // is recorded; one that a fallback absorbed leaves the result
            // complete.
            EXPECT_TRUE(r == -1000 || r == 0) << d.name << " request " << n << ": " << r;
            incomplete += v.mispostprocessincomplete();
            if (r == 0 && !v.mispostprocessincomplete()) {
                EXPECT_EQ(graph_difference(v, reference), "") << d.name << " request " << n;
            }
            if (r < 0) {
                EXPECT_EQ(v.mispostprocessincomplete(), 0) << d.name << " request " << n;
            }
            ASSERT_EQ(check_graph(v, after_failure()), "") << d.name << " request " << n;
            ASSERT_EQ(d.run(v), 0) << d.name << " again after request " << n;
            EXPECT_EQ(v.mispostprocessincomplete(), 0) << d.name << " again after request " << n;
            CheckOptions whole = structural_checks();
            whole.links_to_deleted = true;
            ASSERT_EQ(check_graph(v, whole), "") << d.name << " rerun after request " << n;
        });
        count(d.name, points);
        EXPECT_GT(points, 20) << d.name;
        if (std::string(d.name) != "outline fast") {
            EXPECT_GT(incomplete, 0) << d.name;
        }
    }
}

TEST(AllocSweep, ASecondRunFailsCleanlyOverTheFirstOnesResult) {
    // The stages replace what the previous run left; a failure part-way
    // leaves a mixture of old and new layers that must still be released.
    Bitmap b = drawing();
    for (const DriverCase &d : drivers()) {
        auto first_run = [&](CKTVector &v) {
            v.msetdocument(b.data(), b.width, b.bytesperline, b.height);
            ASSERT_EQ(d.run(v), 0);
        };
        // Only reading, running again and destroying are promised: a stage
        // that failed may have replaced the row records while the nodes of
        // the first run are still there, unlisted, until approximation
        // replaces them.
        const int points = sweep(first_run, d.run, [&](CKTVector &v, int r, int n) {
            EXPECT_TRUE(r == -1000 || r == 0) << d.name << " request " << n << ": " << r;
            read_everything(v);
            ASSERT_EQ(d.run(v), 0) << d.name << " again after request " << n;
        });
        count((std::string(d.name) + ", second run").c_str(), points);
        EXPECT_GT(points, 20) << d.name;
    }
}

namespace {

// One step of the editing script: its arguments are found on the graph as
// it stands, so the script means the same after any earlier step.
struct Edit {
    const char *name;
    std::function<int(CKTVector &)> run;
    bool may_refuse = false;  // its result can be -1 (or -2..-4) on its own
};

int first_node(CKTVector &v, int links) {
    for (int i = 0; i < v.nodenum; ++i)
        if (!v.node[i].deleted && v.node[i].linknum == links) return i;
    return -1;
}

int middle_node(CKTVector &v) {
    for (int i = 0; i < v.nodenum; ++i)
        if (!v.node[i].deleted && v.mismiddlenode(&v.node[i])) return i;
    return -1;
}

int longest_polyline(CKTVector &v) {
    int best = 0;
    for (int id = 1; id <= v.polylinenum; ++id)
        if (!v.polyline[id - 1].deleted && (!best || v.polyline[id - 1].nodenum > v.polyline[best - 1].nodenum))
            best = id;
    return best;
}

int junction(CKTVector &v) {
    for (int i = 0; i < v.nodenum; ++i)
        if (!v.node[i].deleted && v.node[i].linknum >= 3) return i;
    return -1;
}

std::vector<Edit> script() {
    return {
        {"mselectnode", [](CKTVector &v) { return v.mselectnode(0, 0, 40, 30) >= 0 ? 0 : -1; }},
        {"mseparatepolyline",
         [](CKTVector &v) {
             const int id = longest_polyline(v);
             const _KTPOLYLINE &p = v.polyline[id - 1];
             return v.mseparatepolyline(id, &v.node[p.nodeindex[p.nodenum / 2]]);
         }},
        {"mconnectpolyline",
         [](CKTVector &v) {
             const int j = junction(v);
             if (j < 0) return 0;
             _KTNODE &n = v.node[j];
             return v.mconnectpolyline(&n, &v.node[n.link[0].node], &v.node[n.link[1].node]);
         },
         true},
        {"makenewpolyline", [](CKTVector &v) { return v.makenewpolyline(-5, 3, 30, 200); }},
        {"marcall", [](CKTVector &v) { v.marcall(2.0, 500.0); return 0; }},
        {"mspline",
         [](CKTVector &v) {
             v.msetmodify(static_cast<unsigned char>(0));
             return v.mspline(longest_polyline(v), 8);
         }},
        {"minsertnode", [](CKTVector &v) { return v.minsertnode(22.0, 20.0, 0.1, 3.0); }},
        {"movenodeattach",
         [](CKTVector &v) {
             const int n = first_node(v, 1);
             return n < 0 ? 0 : v.movenodeattach(&v.node[n], v.node[n].x + 3, v.node[n].y + 2);
         }},
        {"maddnotch",
         [](CKTVector &v) {
             const int n = middle_node(v);
             return n < 0 ? 0 : v.maddnotch(&v.node[n], 3.0, 2.0);
         },
         true},
        {"mfitcircleall", [](CKTVector &v) { v.mfitcircleall(100.0); return 0; }},
        {"mnearpointall",
         [](CKTVector &v) {
             v.msetmodify(static_cast<unsigned char>(0));
             return v.mnearpointall(2.0, 0.9);
         },
         true},
        {"mdeletenode",
         [](CKTVector &v) {
             const int n = middle_node(v);
             return n < 0 ? 0 : v.mdeletenode(&v.node[n]);
         }},
        {"mergenode",
         [](CKTVector &v) {
             const int a = first_node(v, 1), b = middle_node(v);
             return a < 0 || b < 0 ? 0 : v.mergenode(&v.node[a], &v.node[b]);
         }},
        {"mdeletepolyline",
         [](CKTVector &v) {
             const int n = first_node(v, 1);
             return n < 0 ? 0 : v.mdeletepolyline(&v.node[n]);
         },
         true},
        {"mreflectmodify",
         [](CKTVector &v) {
             // Arcs on one changed polyline, a spline on the others.
             for (int id = 1; id <= v.polylinenum; ++id) {
                 if (id % 3 == 0) v.msetarc(id);
                 else v.msetspline(id);
                 v.msetmodify(id, 1);
             }
             v.mreflectmodify();
             return 0;
         }},
    };
}

void outline_graph(CKTVector &v, Bitmap &b) {
    v.msetdocument(b.data(), b.width, b.bytesperline, b.height);
    ASSERT_EQ(v.mabstractoutlinefast(4, 0, 1.0, 1), 0);
}

}  // namespace

TEST(AllocSweep, EveryEditFailsCleanlyAtEveryAllocation) {
    Bitmap b = drawing();
    const std::vector<Edit> edits = script();
    int total = 0;
    for (size_t k = 0; k < edits.size(); ++k) {
        const Edit &e = edits[k];
        auto before = [&](CKTVector &v) {
            outline_graph(v, b);
            for (size_t i = 0; i < k; ++i) edits[i].run(v);
        };
        CheckOptions o = after_failure();
        o.rows_sorted = true;  // no edit leaves a row out of x order
        const int points = sweep(before, e.run, [&](CKTVector &v, int r, int n) {
            EXPECT_TRUE(r == -1000 || r >= 0 || (e.may_refuse && r > -5))
                << e.name << " request " << n << ": " << r;
            ASSERT_EQ(check_graph(v, o), "") << e.name << " request " << n << "\n" << dump_graph(v);
            read_everything(v);
            // The graph can still be edited: the rest of the script runs.
            for (size_t i = k + 1; i < edits.size(); ++i) edits[i].run(v);
            ASSERT_EQ(check_graph(v, o), "") << "the rest after " << e.name << " request " << n;
            read_everything(v);
        });
        count(e.name, points);
        total += points;
    }
    EXPECT_GT(total, 30);
}

TEST(AllocSweep, UndoCopyFailsCleanlyAndLeavesTheSourceAlone) {
    // A failed copy leaves the part copied so far (nodes whose links name
    // twins not yet copied) and no undo; it reads safely, the source is
    // never changed, and a later copy succeeds.
    Bitmap b = drawing();
    CKTVector source;
    outline_graph(source, b);
    const std::string shape = dump_graph(source);
    const int points = sweep([](CKTVector &) {},
                             [&](CKTVector &target) { return target.mundo(&source); },
                             [&](CKTVector &target, int r, int n) {
                                 EXPECT_EQ(r, -1000) << "request " << n;
                                 EXPECT_EQ(target.mgetcanundo(), 0) << "request " << n;
                                 read_everything(target);
                                 ASSERT_EQ(dump_graph(source), shape) << "request " << n;
                                 ASSERT_EQ(target.mundo(&source), 0) << "request " << n;
                                 ASSERT_EQ(dump_graph(target), shape) << "request " << n;
                             });
    count("mundo", points);
    EXPECT_GT(points, 3);
}
