// Centre-line post-processing time per node, from the A4 and A0 drawings to
// a synthetic graph of more than a million nodes.  The passes run on the
// graph the driver's own stages built (drawings) or on a hand-made graph of
// repeated cells that give every pass work: a crossing split into two
// junctions, two aligned strokes with a gap, a speck of a segment, an end
// point next to another polyline.
//
// Times are processor time of this process, best of --repeat runs (3 by
// default, for every graph alike: the first run of a large graph also pays
// for the fresh pages of its heap), each on a freshly built graph.  Each line also shows the row density (entries per occupied row of
// the row index) and a digest of the resulting graph.
//
// usage: ktvec_postscaling [--reference] [--cells N] [--synthetic-only] [--repeat N]
//   --reference   also time the passes with every search clearing the
//                 whole node array (slow on large graphs)
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>

#include "drawing.h"
#include "graph_builder.h"
#include "peer.h"
#include "vectorizer/memory.h"

namespace {

// Processor time of this (single-threaded) process: the machine is shared,
// so wall time would measure the neighbours too.
double cpu_ms() {
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return 1e3 * static_cast<double>(t.tv_sec) + 1e-6 * static_cast<double>(t.tv_nsec);
}

// A digest of the post-processed graph (nodes, links, polyline node lists),
// to check that a faster pass leaves exactly the same result.
unsigned long long digest(const CKTVector &v) {
    unsigned long long h = 1469598103934665603ull;
    auto mix = [&h](long long value) {
        h ^= static_cast<unsigned long long>(value);
        h *= 1099511628211ull;
    };
    for (int i = 0; i < v.nodenum; ++i) {
        const _KTNODE &n = v.node[i];
        mix(n.x), mix(n.y), mix(n.deleted), mix(n.linknum);
        for (int k = 0; k < n.linknum; ++k) mix(n.link[k].node), mix(n.link[k].id);
    }
    for (int p = 0; p < v.polylinenum; ++p) {
        const _KTPOLYLINE &l = v.polyline[p];
        mix(l.deleted), mix(l.nodenum);
        for (int k = 0; k < l.nodenum; ++k) mix(l.nodeindex[k]);
    }
    return h;
}

// Entries per row of the row index, over the rows holding any node.
void row_density(CKTVector &v, double &mean, int &most) {
    long long entries = 0;
    int rows = 0;
    most = 0;
    for (int y = 0; y < Peer::linerows(v); ++y) {
        const int n = v.lineinfo[y].nodenum;
        if (n == 0) continue;
        entries += n;
        ++rows;
        most = std::max(most, n);
    }
    mean = rows ? static_cast<double>(entries) / rows : 0.0;
}

struct Run {
    int nodes = 0;
    double ms = 0.0;
    double row_mean = 0.0;
    int row_most = 0;
    unsigned long long digest = 0;
};

// Runs the centre-line passes on a built graph and keeps the best time.
void post(CKTVector &v, Run &best, bool first) {
    Run r;
    r.nodes = v.nodenum;
    row_density(v, r.row_mean, r.row_most);
    const double t0 = cpu_ms();
    Peer::mpostprocesscenterline(v, 31, 3, 8, 0.9, 4);
    r.ms = cpu_ms() - t0;
    r.digest = digest(v);
    if (first || r.ms < best.ms) best = r;
}

void report(const char *name, const Run &r, int repeats) {
    std::printf("%-34s %9d nodes %6.0f/row (max %5d) %10.1f ms %7.3f us/node  best of %d  graph %016llx\n",
                name, r.nodes, r.row_mean, r.row_most, r.ms, 1000.0 * r.ms / r.nodes, repeats, r.digest);
    std::fflush(stdout);
}

void drawing(const ktvdraw::PageSize &ps, bool reference, int repeats) {
    ktvdraw::DrawingOptions o;
    o.dpi = ps.dpi;
    ktvdraw::Canvas page = ktvdraw::render_drawing(ps.width, ps.height, 1, o);
    for (int ref = 0; ref <= (reference ? 1 : 0); ++ref) {
        Run best;
        for (int rep = 0; rep < repeats; ++rep) {
            CKTVector v;
            v.msetdocument(page.data(), ps.width, page.stride(), ps.height);
            Peer::findreference(v) = static_cast<unsigned char>(ref);
            v.makethindata();
            v.minitbuffer();
            v.mpreprocess1();
            v.mtrace();
            v.mpreprocess2(4);
            v.mapplox2(1.5, 1);
            v.makepolyline();
            post(v, best, rep == 0);
        }
        char name[64];
        std::snprintf(name, sizeof name, "%s drawing%s", ps.name, ref ? ", whole-array clearing" : "");
        report(name, best, repeats);
    }
}

// The cells stand in a square grid of 40-pixel cells (aligned: every cell
// of a grid row puts its nodes on the same few pixel rows, some 500 entries
// per occupied row at a million nodes), or staggered: each cell shifted
// down by its own 0 to 39 pixels on an 80-pixel row pitch, which spreads a
// grid row's nodes over all its pixel rows as a scanned page does (a page
// about as large as A0 at 400 dpi).
void synthetic(int side, bool staggered, bool reference, int repeats) {
    const int cell = 40, pitch = staggered ? 80 : 40;
    for (int ref = 0; ref <= (reference ? 1 : 0); ++ref) {
        Run best;
        for (int rep = 0; rep < repeats; ++rep) {
            CKTVector v;
            GraphBuilder g(v);
            g.rows(side * cell, side * pitch);
            // Room for everything at once: the builder grows its tables one
            // record at a time otherwise.  The polyline table is left as
            // polyline construction leaves it: half as many records again
            // of uninitialised room underneath, for the splits of the passes.
            const std::size_t cells = static_cast<std::size_t>(side) * side;
            v.node = ktv::alloc_zeroed<_KTNODE>(cells * 18);
            v.nodecapacity = static_cast<int>(cells * 18);
            v.polyline = ktv::alloc_array<_KTPOLYLINE>(cells * 15);
            std::memset(static_cast<void *>(v.polyline), 0, cells * 10 * sizeof(_KTPOLYLINE));
            v.polylinecapacity = static_cast<int>(cells * 10);
            Peer::polylineblock(v) = static_cast<int>(cells * 15);
            for (int cy = 0; cy < side; ++cy)
                for (int cx = 0; cx < side; ++cx) {
                    const int shift = staggered ? (cx * 17 + cy * 29 + (cx * cy) % 7) % cell : 0;
                    const int x = cx * cell, y = cy * pitch + shift;
                    const int j1 = g.node(x + 18, y + 20), j2 = g.node(x + 22, y + 20);
                    g.path_of({g.node(x + 8, y + 10), j1});
                    g.path_of({g.node(x + 8, y + 30), j1});
                    g.path_of({j1, j2});
                    g.path_of({j2, g.node(x + 32, y + 10)});
                    g.path_of({j2, g.node(x + 32, y + 30)});
                    g.path({{x + 2, y + 36}, {x + 14, y + 36}});
                    g.path({{x + 19, y + 36}, {x + 30, y + 36}});
                    g.path({{x + 34, y + 2}, {x + 36, y + 3}});
                    g.path({{x + 2, y + 2}, {x + 12, y + 3}, {x + 24, y + 2}});
                    g.path({{x + 13, y + 4}, {x + 13, y + 9}});
                }
            Peer::findreference(v) = static_cast<unsigned char>(ref);
            post(v, best, rep == 0);
        }
        char name[64];
        std::snprintf(name, sizeof name, "%s %dx%d cells%s", staggered ? "staggered" : "aligned", side,
                      side, ref ? ", whole-array clearing" : "");
        report(name, best, repeats);
    }
}

}  // namespace

int main(int argc, char **argv) {
    bool reference = false, drawings = true;
    int side = 243;  // 243 x 243 cells of 17 nodes: 1,003,833 nodes
    int repeats = 3;
    for (int i = 1; i < argc; ++i) {
        if (!std::strcmp(argv[i], "--reference")) reference = true;
        else if (!std::strcmp(argv[i], "--cells") && i + 1 < argc) side = std::atoi(argv[++i]);
        else if (!std::strcmp(argv[i], "--synthetic-only")) drawings = false;
        else if (!std::strcmp(argv[i], "--repeat") && i + 1 < argc)
            repeats = std::max(1, std::atoi(argv[++i]));
        else {
            std::fprintf(stderr, "usage: ktvec_postscaling [--reference] [--cells N] [--synthetic-only]"
                                 " [--repeat N]\n");
            return 2;
        }
    }
    std::printf("centre-line post-processing (flags 31, a 3, b 8, c 0.9, d 4; drawings traced with\n"
                "maxlength 4, e 1.5), processor time\n");
    if (drawings) {
        drawing(ktvdraw::kPageA4, reference, repeats);
        drawing(ktvdraw::kPageA0, reference, repeats);
    }
    // The same staggered cells at about 10 thousand and 100 thousand nodes:
    // identical content at three sizes, so the growth per node that is left
    // comes from the graph outgrowing the caches, not from the passes.
    for (const int smaller : {side / 10, side / 3})
        if (smaller > 0 && smaller < side) synthetic(smaller, true, false, repeats);
    synthetic(side, false, false, repeats);
    synthetic(side, true, false, repeats);
    if (reference) synthetic(side / 8, false, true, 1);
    return 0;
}
