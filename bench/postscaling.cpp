// Centre-line post-processing time per node, from the A4 and A0 drawings to
// a synthetic graph of more than a million nodes.  The passes run on the
// graph the driver's own stages built (drawings) or on a hand-made graph of
// repeated cells that give every pass work: a crossing split into two
// junctions, two aligned strokes with a gap, a speck of a segment, an end
// point next to another polyline.
//
// usage: ktvec_postscaling [--reference] [--cells N] [--synthetic-only]
//   --reference   also time the passes with every search clearing the
//                 whole node array (slow on large graphs)
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "drawing.h"
#include "graph_builder.h"
#include "peer.h"
#include "vectorizer/memory.h"

namespace {

using Clock = std::chrono::steady_clock;

double ms_since(Clock::time_point t0) {
    return std::chrono::duration<double, std::milli>(Clock::now() - t0).count();
}

void report(const char *name, int nodes, double ms) {
    std::printf("%-34s %9d nodes %10.1f ms %8.3f us/node\n", name, nodes, ms, 1000.0 * ms / nodes);
}

void drawing(const ktvdraw::PageSize &ps, bool reference) {
    ktvdraw::DrawingOptions o;
    o.dpi = ps.dpi;
    ktvdraw::Canvas page = ktvdraw::render_drawing(ps.width, ps.height, 1, o);
    for (int ref = 0; ref <= (reference ? 1 : 0); ++ref) {
        CKTVector v;
        v.msetdocument(page.data(), ps.width, page.stride(), ps.height);
        Peer::findreference(v) = static_cast<unsigned char>(ref);
        v.makethindata();
        v.minitbuffer();
        v.mpreprocess1();
        v.mtrace();
        v.mpreprocess2(8);
        v.mapplox2(1.5, 1);
        v.makepolyline();
        const int nodes = v.nodenum;
        Clock::time_point t0 = Clock::now();
        Peer::mpostprocesscenterline(v, 31, 3, 8, 0.9, 4);
        char name[64];
        std::snprintf(name, sizeof name, "%s drawing%s", ps.name, ref ? ", whole-array clearing" : "");
        report(name, nodes, ms_since(t0));
    }
}

void synthetic(int side, bool reference) {
    const int cell = 40;
    for (int ref = 0; ref <= (reference ? 1 : 0); ++ref) {
        CKTVector v;
        GraphBuilder g(v);
        g.rows(side * cell, side * cell);
        // Room for everything at once: the builder grows its tables one
        // record at a time otherwise.
        const std::size_t cells = static_cast<std::size_t>(side) * side;
        v.node = ktv::alloc_zeroed<_KTNODE>(cells * 18);
        v.nodecapacity = static_cast<int>(cells * 18);
        v.polyline = ktv::alloc_zeroed<_KTPOLYLINE>(cells * 10);
        v.polylinecapacity = static_cast<int>(cells * 10);
        for (int cy = 0; cy < side; ++cy)
            for (int cx = 0; cx < side; ++cx) {
                const int x = cx * cell, y = cy * cell;
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
        const int nodes = v.nodenum;
        Clock::time_point t0 = Clock::now();
        Peer::mpostprocesscenterline(v, 31, 3, 8, 0.9, 4);
        char name[64];
        std::snprintf(name, sizeof name, "synthetic %dx%d cells%s", side, side,
                      ref ? ", whole-array clearing" : "");
        report(name, nodes, ms_since(t0));
    }
}

}  // namespace

int main(int argc, char **argv) {
    bool reference = false, drawings = true;
    int side = 243;  // 243 x 243 cells of 17 nodes: 1,003,833 nodes
    for (int i = 1; i < argc; ++i) {
        if (!std::strcmp(argv[i], "--reference")) reference = true;
        else if (!std::strcmp(argv[i], "--cells") && i + 1 < argc) side = std::atoi(argv[++i]);
        else if (!std::strcmp(argv[i], "--synthetic-only")) drawings = false;
        else {
            std::fprintf(stderr, "usage: ktvec_postscaling [--reference] [--cells N] [--synthetic-only]\n");
            return 2;
        }
    }
    std::printf("centre-line post-processing (flags 31, a 3, b 8, c 0.9, d 4)\n");
    if (drawings) {
        drawing(ktvdraw::kPageA4, reference);
        drawing(ktvdraw::kPageA0, reference);
    }
    synthetic(side, false);
    if (reference) synthetic(side / 8, true);
    return 0;
}
