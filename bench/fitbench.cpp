// ktvec_fitbench: the fitting, simplification and undo operations on the
// centre lines of a synthetic drawing (A0 at 400 dpi by default), through
// the public interface.
//
// The drawing is vectorized once; every measured run starts from an undo
// copy of that result (restored with mundo outside the clock), so each run
// sees the same graph.  Times are the best of N runs, wall and thread CPU.
// Memory: the live heap bytes that one undo copy holds (counted by the
// heap wrappers of heapcount.cpp, usable block sizes), against the figure
// mgetundomemory reports (record sizes of the 32-bit interface) and the
// bytes the copy asks for in this build's record sizes.
//
// usage: ktvec_fitbench [--page a0|a4] [--repeat N] [--seed S]
#include <sys/resource.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>

#include "drawing.h"
#include "heapcount.h"
#include "ktvec.h"

namespace {

using Clock = std::chrono::steady_clock;

double thread_cpu_seconds() {
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return ts.tv_sec + ts.tv_nsec * 1e-9;
}

struct Timing {
    double wall = 1e300, cpu = 1e300;
};

// Times `body` once and keeps the least wall and CPU time in `t`.
template <class Body> void time_once(Timing &t, Body body) {
    const double c0 = thread_cpu_seconds();
    const Clock::time_point t0 = Clock::now();
    body();
    t.wall = std::min(t.wall, std::chrono::duration<double>(Clock::now() - t0).count());
    t.cpu = std::min(t.cpu, thread_cpu_seconds() - c0);
}

double peak_rss_mb() {
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return u.ru_maxrss / 1024.0;
}

// Counts of the vector layer.
struct Layer {
    long nodes = 0, live = 0, links = 0, polylines = 0, livepolylines = 0, connections = 0,
         samples = 0, arcs = 0;
};

Layer count(CKTVector &v) {
    Layer c;
    c.nodes = v.mgetnodenum();
    for (int i = 0; i < v.mgetnodenum(); ++i) {
        const _KTNODE *n = v.mgetnode(i);
        c.live += !n->deleted;
        c.links += n->linknum;
        for (int k = 0; k < n->linknum; ++k) c.arcs += !n->deleted && n->link[k].arc != 0;
    }
    c.polylines = v.mgetpolylinenum();
    for (int id = 1; id <= v.mgetpolylinenum(); ++id) {
        const _KTPOLYLINE *p = v.mgetpolyline(id);
        c.livepolylines += !p->deleted;
        c.connections += p->prevnum + p->nextnum;
        c.samples += p->splinenum;
    }
    return c;
}

// Bytes a deep copy asks for with this build's record sizes: every node and
// link, every row record with its entries, the polyline table at its
// allocated size with each used record's lists and samples.
long long copy_request_bytes(CKTVector &v) {
    long long b = 0;
    for (int i = 0; i < v.nodenum; ++i)
        b += sizeof(_KTNODE) + static_cast<long long>(sizeof(_KTNODELINK)) * v.node[i].linknum;
    if (v.lineinfo)
        for (int y = 0; y < v.height; ++y)
            b += sizeof(KTLINEINFO) + 4LL * v.lineinfo[y].nodenum;
    b += static_cast<long long>(sizeof(_KTPOLYLINE)) * v.polylinecapacity;
    for (int i = 0; i < v.polylinenum; ++i) {
        const _KTPOLYLINE &p = v.polyline[i];
        b += 4LL * (p.nodenum + p.prevnum + p.nextnum) + 16LL * p.splinenum;
    }
    return b;
}

void row(const char *name, const Timing &t, long before, long after, const char *what) {
    std::printf("%-34s %9.1f ms wall %9.1f ms cpu   %9ld -> %9ld %s\n", name, t.wall * 1e3,
                t.cpu * 1e3, before, after, what);
}

}  // namespace

int main(int argc, char **argv) {
    ktvdraw::PageSize ps = ktvdraw::kPageA0;
    int repeat = 3;
    unsigned long long seed = 1;
    for (int i = 1; i < argc; ++i) {
        if (!std::strcmp(argv[i], "--page") && i + 1 < argc) {
            ++i;
            ps = !std::strcmp(argv[i], "a4") ? ktvdraw::kPageA4 : ktvdraw::kPageA0;
        } else if (!std::strcmp(argv[i], "--repeat") && i + 1 < argc) {
            repeat = std::max(1, std::atoi(argv[++i]));
        } else if (!std::strcmp(argv[i], "--seed") && i + 1 < argc) {
            seed = std::strtoull(argv[++i], nullptr, 10);
        } else {
            std::fprintf(stderr, "usage: %s [--page a0|a4] [--repeat N] [--seed S]\n", argv[0]);
            return 2;
        }
    }

    ktvdraw::DrawingOptions o;
    o.dpi = ps.dpi;
    ktvdraw::Canvas page = ktvdraw::render_drawing(ps.width, ps.height, seed, o);
    std::printf("%s page %d x %d at %.0f dpi, seed %llu, best of %d\n", ps.name, ps.width, ps.height,
                ps.dpi, seed, repeat);

    CKTVector base;
    base.msetdocument(page.data(), ps.width, page.stride(), ps.height);
    Timing driver;
    int result = 0;
    time_once(driver, [&] { result = base.mabstractcenterline(31, 4, 3, 8, 0.9, 4, 1.5); });
    if (result != 0) {
        std::fprintf(stderr, "mabstractcenterline: %d\n", result);
        return 1;
    }
    const Layer l0 = count(base);
    std::printf("centre lines: %ld nodes (%ld live), %ld link records, %ld polylines (%ld live), "
                "%ld connection entries\n\n",
                l0.nodes, l0.live, l0.links, l0.polylines, l0.livepolylines, l0.connections);
    row("mabstractcenterline (once)", driver, 0, l0.live, "live nodes");

    // Each run: restore the working copy from `from` (not timed), then time
    // `op` on it.  Returns the counts after the last run.
    CKTVector work;
    auto measure = [&](const char *name, CKTVector &from, auto op, auto value, const char *what) {
        Timing t;
        long before = 0, after = 0;
        for (int r = 0; r < repeat; ++r) {
            work.mundo(&from);
            before = value(count(work));
            time_once(t, [&] { op(work); });
            after = value(count(work));
        }
        row(name, t, before, after, what);
    };
    auto live = [](const Layer &c) { return c.live; };
    auto arcs = [](const Layer &c) { return c.arcs; };

    measure("marcall(1, 1000)", base, [](CKTVector &v) { v.marcall(1, 1000); }, arcs, "links with an arc");
    measure("mfitcircleall(1000)", base, [](CKTVector &v) { v.mfitcircleall(1000); }, live, "live nodes");
    measure("mnearpointall(4, pi/8)", base, [](CKTVector &v) { v.mnearpointall(4, 0.3927); }, live,
            "live nodes");
    measure("mnearpointall(8, pi/4)", base, [](CKTVector &v) { v.mnearpointall(8, 0.7854); }, live,
            "live nodes");

    // Curvature simplification needs arcs: start from the arc-fitted graph.
    CKTVector fitted;
    fitted.mundo(&base);
    fitted.marcall(1, 1000);
    measure("msamecurvatureall(0.1)", fitted, [](CKTVector &v) { v.msamecurvatureall(0.1); }, live,
            "live nodes");
    measure("msamecurvatureall(0.3)", fitted, [](CKTVector &v) { v.msamecurvatureall(0.3); }, live,
            "live nodes");

    // Refitting after simplification: every rebuilt polyline is marked and
    // carries the arc flag.
    CKTVector simplified;
    simplified.mundo(&fitted);
    simplified.msamecurvatureall(0.1);
    measure("mreflectmodify (arcs)", simplified, [](CKTVector &v) { v.mreflectmodify(); }, arcs,
            "links with an arc");

    // The undo copy itself: time, and the heap it holds.
    std::printf("\n");
    Timing copy;
    long long held = 0;
    double heap_peak_mb = 0;
    for (int r = 0; r < repeat; ++r) {
        CKTVector snapshot;
        const std::size_t live0 = ktvdraw::heap_live();
        ktvdraw::heap_reset_peak();
        int res = 0;
        time_once(copy, [&] { res = snapshot.mundo(&base); });
        if (res != 0) {
            std::fprintf(stderr, "mundo: %d\n", res);
            return 1;
        }
        held = static_cast<long long>(ktvdraw::heap_live()) - static_cast<long long>(live0);
        heap_peak_mb = (ktvdraw::heap_peak() - live0) / 1048576.0;
    }
    // Restoring into a vectorizer that holds a layer already releases it
    // first: the host's undo step.
    Timing restore;
    for (int r = 0; r < repeat; ++r) {
        work.mundo(&fitted);
        time_once(restore, [&] { work.mundo(&base); });
    }
    row("mundo (into an empty vectorizer)", copy, 0, l0.nodes, "nodes copied");
    row("mundo (replacing a layer)", restore, 0, l0.nodes, "nodes copied");

    const int reported = base.mgetundomemory();
    const long long asked = copy_request_bytes(base);
    std::printf("\nundo copy memory\n");
    std::printf("  mgetundomemory (32-bit record sizes)   %12d bytes %8.1f MB\n", reported,
                reported / 1048576.0);
    std::printf("  requested, this build's record sizes   %12lld bytes %8.1f MB  (%.2f x)\n", asked,
                asked / 1048576.0, double(asked) / reported);
    if (ktvdraw::heap_counting()) {
        std::printf("  live heap held by the copy             %12lld bytes %8.1f MB  (%.2f x)\n", held,
                    held / 1048576.0, double(held) / reported);
        std::printf("  heap peak during the copy              %21.1f MB\n", heap_peak_mb);
    } else {
        std::printf("  (heap counting off in this build)\n");
    }
    std::printf("  record sizes here: node %zu, link %zu, row %zu, polyline %zu\n", sizeof(_KTNODE),
                sizeof(_KTNODELINK), sizeof(KTLINEINFO), sizeof(_KTPOLYLINE));
    std::printf("peak resident size of the process: %.1f MB\n", peak_rss_mb());
    return 0;
}
