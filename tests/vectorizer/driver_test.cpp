// The vectorizer object and the driver frame: initial state, documents,
// accessors and release; the fast outline driver end to end; and the
// drawings the fuzzers turned up, replayed through the driver they broke.
#include <gtest/gtest.h>

#include <cstdlib>
#include <dirent.h>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "bitmap.h"
#include "chains.h"
#include "invariants.h"
#include "peer.h"
#include "vectorizer/memory.h"

namespace {

// Two filled rectangles and a thick ring: three black areas, one hole.
Bitmap shapes() {
    Bitmap b(64, 40);
    for (int y = 0; y < 40; ++y)
        for (int x = 0; x < 64; ++x) {
            const bool ring = x >= 44 && x <= 60 && y >= 20 && y <= 36 && !(x >= 49 && x <= 55 && y >= 25 && y <= 31);
            if ((x >= 4 && x <= 23 && y >= 4 && y <= 15) || (x >= 30 && x <= 38 && y >= 6 && y <= 30) || ring)
                b.set(x, y);
        }
    return b;
}

int outline(CKTVector &v, Bitmap &b, double tolerance = 1.0, int search = 1) {
    v.msetdocument(b.data(), b.width, b.height);
    return v.mabstractoutlinefast(10, 0, tolerance, search);
}

}  // namespace

TEST(Object, ReleaseCanRunTwiceAndFreesTheRowsItMade) {
    Bitmap b = Bitmap::from_ascii({"#####", "#...#", "#####"});
    CKTVector v;
    load_working_raster(v, b);
    ASSERT_EQ(v.minitbuffer(), 0);
    ASSERT_EQ(v.mtrace(), 0);
    for (int y = 0; y < 3; ++y) v.lineinfo[y].nodeindex = ktv::alloc_zeroed<int>(4);
    v.msetdocument(b.data(), 5, 1);  // a smaller document: the old 3 rows still go
    for (int round = 0; round < 2; ++round) {
        Peer::mfreepoint(v);
        Peer::mfreesegment(v);
        Peer::mfreespline(v);
        v.mfreenode();
        v.mfreelineinfo();  // the sanitizer build reports a leak if a row is missed
        v.mfreepolyline();
        EXPECT_TRUE(!v.point && !v.segment && !v.lineinfo && !v.node && !v.polyline);
        EXPECT_EQ(v.pointnum + v.segmentnum + v.segmentcapacity + Peer::linerows(v), 0);
    }
}

TEST(Driver, BlankAndEmptyDocumentsGiveNothing) {
    Bitmap blank(50, 30), empty(0, 0);
    for (Bitmap *b : {&blank, &empty}) {
        CKTVector v;
        EXPECT_EQ(outline(v, *b), 0);
        EXPECT_EQ(v.mgetnodenum() + v.mgetpolylinenum(), 0);
        EXPECT_EQ(check_graph(v), "");
    }
}

TEST(Driver, NodeSearchClosesOutlinesAndWithoutItTheyStayOpenAtOnePixel) {
    Bitmap b = shapes();
    for (int search : {1, 0}) {
        CKTVector v;
        ASSERT_EQ(outline(v, b, 1.0, search), 0);
        EXPECT_EQ(check_graph(v), "");
        int outlines = 0;
        for (int id = 1; id <= v.mgetpolylinenum(); ++id) {
            const _KTPOLYLINE *p = v.mgetpolyline(id);
            if (p->nodenum == 0) continue;
            ++outlines;
            const int first = p->nodeindex[0], last = p->nodeindex[p->nodenum - 1];
            EXPECT_EQ(first == last, search == 1) << "polyline " << id;
            EXPECT_EQ(v.mgetnode(first)->x, v.mgetnode(last)->x);
            EXPECT_EQ(v.mgetnode(first)->y, v.mgetnode(last)->y);
        }
        EXPECT_GE(outlines, 4);  // three outer outlines and the hole
    }
}

// The drivers and the fitting calls give exact results: on random drawings
// every field of the result (see dump_graph) is pinned by a recorded digest.
// A figure changes only when a result does; the message gives the new one.
TEST(Driver, ExactResultsOnRandomDrawings) {
    // call 0: fast outline (argument: node search); 1: centre lines with the
    // passes the argument names, then simplified, arcs, same curvature,
    // circles and splines; 2: outline (argument: spur nodes), arcs, circles.
    const struct {
        unsigned seed;
        int call, argument;
        unsigned long long digest;
    } cases[] = {
        {1, 0, 1, 11492636385485320296ull}, {2, 0, 0, 18243268891001129174ull}, {3, 1, 31, 2395844317011203087ull},
        {4, 1, 31, 2172297257497867787ull}, {5, 1, 31, 6768350357420169421ull}, {8, 1, 1, 14467528246105297319ull},
        {9, 1, 2, 7200023097098850708ull}, {10, 1, 4, 13888664497433673483ull}, {11, 1, 8, 12536348617198365266ull},
        {12, 1, 16, 14631753476364730220ull}, {13, 1, 0, 12744645403654630389ull}, {6, 2, 3, 5832811251363906128ull},
        {7, 2, 3, 667159125715140537ull}, {14, 2, 1, 15106565588769988051ull},
    };
    for (const auto &c : cases) {
        std::mt19937 rng(c.seed);
        Bitmap b = random_strokes(rng);
        CKTVector v;
        v.msetdocument(b.data(), b.width, b.height);
        if (c.call == 0) {
            ASSERT_EQ(v.mabstractoutlinefast(4, 0, 1.5, c.argument), 0);
        } else if (c.call == 1) {
            ASSERT_EQ(v.mabstractcenterline(c.argument, 4, 3, 8, 0.9, 4, 1.5), 0);
            v.mnearpointall(3, 0.5);
            v.marcall(1, 1000);
            v.msamecurvatureall(0.2);
            v.mfitcircleall(40);
            v.msetmodify(static_cast<unsigned char>(0));
            for (int id = 1; id <= v.polylinenum; ++id)
                if (!v.polyline[id - 1].deleted) id % 2 ? v.mspline(id, 3) : v.msplineold(id, 4);
        } else {
            ASSERT_EQ(v.mabstractoutline(4, c.argument, 1.5, 1), 0);
            v.marcall(2, 500);
            v.mfitcircleall(30);
        }
        EXPECT_EQ(digest(dump_graph(v)), c.digest) << "seed " << c.seed << " call " << c.call << " " << c.argument;
    }
}

// Each file of tests/fuzz/regressions holds the driver call, and the
// picture ('#' black) after a line "rows"; a file marked "open" records a
// finding that is not fixed yet and is reported as skipped.
TEST(FuzzRegressions, EveryFoundDrawingKeepsTheGraphRules) {
    const char *root = std::getenv("KTVEC_SOURCE_DIR");
    const std::string folder = std::string(root ? root : ".") + "/tests/fuzz/regressions";
    DIR *d = opendir(folder.c_str());
    ASSERT_NE(d, nullptr) << folder;
    int replayed = 0;
    std::string open;
    while (dirent *e = readdir(d)) {
        const std::string name = e->d_name;
        if (name.size() < 5 || name.substr(name.size() - 4) != ".txt") continue;
        SCOPED_TRACE(name);
        std::ifstream in(folder + "/" + name);
        std::string line, driver, open_note;
        std::vector<double> a;
        std::vector<std::string> rows;
        bool picture = false;
        while (std::getline(in, line)) {
            if (picture) {
                if (!line.empty()) rows.push_back(line);
            } else if (line.rfind("call ", 0) == 0) {
                std::istringstream words(line.substr(5));
                words >> driver;
                for (double x; words >> x;) a.push_back(x);
            } else if (line.rfind("open ", 0) == 0) {
                open_note = line.substr(5);
            } else {
                picture = line == "rows";
            }
        }
        Bitmap b(rows.empty() ? 0 : static_cast<int>(rows[0].size()), static_cast<int>(rows.size()));
        for (int y = 0; y < b.height; ++y)
            for (int x = 0; x < b.width; ++x)
                if (rows[y][x] == '#') b.set(x, y);
        CKTVector v;
        v.msetdocument(b.data(), b.width, b.height);
        auto i = [&a](size_t k) { return static_cast<int>(a.at(k)); };
        CheckOptions o = structural_checks();
        int result;
        if (driver == "centerline") {
            o.crossed_pairs = true;
            result = v.mabstractcenterline(i(0), i(1), a.at(2), a.at(3), a.at(4), a.at(5), a.at(6));
        } else if (driver == "outline") {
            o.links_to_deleted = true;
            result = v.mabstractoutline(i(0), i(1), a.at(2), i(3));
        } else {
            o = CheckOptions{};
            result = v.mabstractoutlinefast(i(0), i(1), a.at(2), i(3));
        }
        if (chain_meets_itself(v)) o.chain_ends = o.links_on_polylines = false;
        const std::string problems = check_graph(v, o);
        ++replayed;
        if (!open_note.empty()) {
            open += name + " (" + open_note + (problems.empty() ? ", now passes: close it" : "") + ") ";
            continue;
        }
        EXPECT_EQ(result, 0);
        EXPECT_EQ(problems, "") << dump_graph(v);
    }
    closedir(d);
    EXPECT_GT(replayed, 0);
    if (!open.empty()) GTEST_SKIP() << "open findings: " << open;
}
