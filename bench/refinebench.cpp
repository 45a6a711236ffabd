// Cost of the sub-pixel stage per megapixel, beside the driver it follows.
//
//   ktvec_refinebench [--size a4|a0|WxH] [--input FILE] [--seed N] [--clean]
//                     [--stage outline|centerline] [--repeat N] [--threads N]
//                     [--no-pen-widths]
//
// The page is a generated technical drawing (as ktvec_drawgen makes it) or
// an image file.  The driver runs once; the refiner then runs `repeat` times
// on `threads` threads (0, the default: one per core) and the best run
// counts, in processor time of all threads and by the wall clock, and by
// the wall clock among the quiet runs (the rest of the machine nearly
// idle meanwhile; "-" when there was none).
// For outlines the tracing of the crack borders is also timed on its own
// (the rest is the polygon fit), with the counts that set the work: borders,
// turning corners, unit crack edges and polygon vertices.
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "drawing.h"
#include "imagefile.h"
#include "ktvec.h"
#include "ktvec_refine.h"
#include "refine/crack.h"

namespace {

double cpu_seconds() {
    timespec ts{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) + 1e-9 * static_cast<double>(ts.tv_nsec);
}

double wall_seconds() {
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

// Processor seconds the whole machine has been busy (Linux: /proc/stat),
// or -1 where that cannot be read.
double machine_busy_seconds() {
    std::FILE *f = std::fopen("/proc/stat", "r");
    if (!f) return -1;
    long long v[8] = {};
    const int n = std::fscanf(f, "cpu %lld %lld %lld %lld %lld %lld %lld %lld", &v[0], &v[1], &v[2], &v[3], &v[4],
                              &v[5], &v[6], &v[7]);
    std::fclose(f);
    if (n != 8) return -1;
    const long ticks = sysconf(_SC_CLK_TCK);
    return static_cast<double>(v[0] + v[1] + v[2] + v[5] + v[6] + v[7]) / static_cast<double>(ticks > 0 ? ticks : 100);
}

// On a shared machine the wall clock of a run on several threads says
// little while other processes take the cores: a run is quiet when the
// rest of the machine used less than 5 % of its cores meanwhile.
struct Best {
    double cpu = 1e300, wall = 1e300, quiet = 1e300;
    void take(double c, double w, bool q) {
        cpu = std::min(cpu, c);
        wall = std::min(wall, w);
        if (q) quiet = std::min(quiet, w);
    }
};

template <class Run> Best timed(int repeat, Run run) {
    Best b;
    const double cores = std::max(1u, std::thread::hardware_concurrency());
    for (int i = 0; i < repeat; ++i) {
        const double m0 = machine_busy_seconds(), c0 = cpu_seconds(), w0 = wall_seconds();
        if (!run()) {
            std::fprintf(stderr, "ktvec_refinebench: out of memory\n");
            std::exit(1);
        }
        const double c = cpu_seconds() - c0, w = wall_seconds() - w0, m1 = machine_busy_seconds();
        b.take(c, w, m0 >= 0 && m1 >= 0 && m1 - m0 - c < 0.05 * cores * w);
    }
    return b;
}

void row(const char *what, const Best &b, double mpx) {
    char quiet[32] = "-";
    if (b.quiet < 1e300) std::snprintf(quiet, sizeof quiet, "%.1f", b.quiet * 1e3);
    std::printf("| %s | %.1f | %.1f | %s | %.2f | %.0f |\n", what, b.cpu * 1e3, b.wall * 1e3, quiet, b.cpu * 1e3 / mpx,
                mpx / b.cpu);
}

int usage() {
    std::fprintf(stderr,
                 "usage: ktvec_refinebench [--size a4|a0|WxH] [--input FILE] [--seed N] [--clean]\n"
                 "                         [--stage outline|centerline] [--repeat N] [--threads N]\n"
                 "                         [--no-pen-widths]\n");
    return 2;
}

}  // namespace

int main(int argc, char **argv) {
    int w = ktvdraw::kPageA4.width, h = ktvdraw::kPageA4.height;
    double dpi = ktvdraw::kPageA4.dpi;
    std::string input, stage = "outline", size = "a4";
    std::uint64_t seed = 1;
    int repeat = 3, threads = 0;
    bool clean = false, pens = true;
    for (int i = 1; i < argc; ++i) {
        const bool more = i + 1 < argc;
        if (!std::strcmp(argv[i], "--size") && more) {
            size = argv[++i];
            if (size == "a0") w = ktvdraw::kPageA0.width, h = ktvdraw::kPageA0.height, dpi = ktvdraw::kPageA0.dpi;
            else if (size != "a4" && (std::sscanf(size.c_str(), "%dx%d", &w, &h) != 2 || w < 1 || h < 1))
                return usage();
        } else if (!std::strcmp(argv[i], "--input") && more) input = argv[++i];
        else if (!std::strcmp(argv[i], "--seed") && more) seed = std::strtoull(argv[++i], nullptr, 10);
        else if (!std::strcmp(argv[i], "--stage") && more) stage = argv[++i];
        else if (!std::strcmp(argv[i], "--repeat") && more) repeat = std::max(1, std::atoi(argv[++i]));
        else if (!std::strcmp(argv[i], "--threads") && more) threads = std::max(0, std::atoi(argv[++i]));
        else if (!std::strcmp(argv[i], "--clean")) clean = true;
        else if (!std::strcmp(argv[i], "--no-pen-widths")) pens = false;
        else return usage();
    }
    if (stage != "outline" && stage != "centerline") return usage();

    ktvdraw::PackedImage page;
    if (!input.empty()) {
        const std::string err = ktvdraw::read_image(input, page);
        if (!err.empty()) {
            std::fprintf(stderr, "ktvec_refinebench: %s\n", err.c_str());
            return 1;
        }
    } else {
        ktvdraw::DrawingOptions o;
        o.dpi = dpi;
        o.noise = !clean;
        const ktvdraw::Canvas c = ktvdraw::render_drawing(w, h, seed, o);
        page.width = c.width();
        page.height = c.height();
        page.stride = c.stride();
        page.bits = c.bits();
    }
    const double mpx = static_cast<double>(page.width) * page.height / 1e6;
    CKTRefiner refiner;
    refiner.msetthreadnum(threads);
    refiner.msetpenwidths(pens);
    std::printf("%s: %dx%d (%.1f Mpx), stage %s on %s, best of %d, processor time and wall clock\n\n",
                input.empty() ? ("generated " + size + ", seed " + std::to_string(seed)).c_str() : input.c_str(),
                page.width, page.height, mpx, stage.c_str(),
                threads ? (std::to_string(threads) + " thread(s)").c_str() : "a thread per core", repeat);
    std::printf("| step | cpu ms | wall ms | quiet wall ms | cpu ms/Mpx | Mpx/s |\n|---|---|---|---|---|---|\n");

    CKTVector v;
    v.msetdocument(page.bits.data(), page.width, page.stride, page.height);
    const Best driver = timed(1, [&] {
        const int r = stage == "outline" ? v.mabstractoutline(4, 1, 1.5, 1)
                                         : v.mabstractcenterline(31, 4, 3.0, 8.0, 0.9, 4.0, 1.5);
        return r != -1000;
    });
    row(stage == "outline" ? "driver mabstractoutline (one run)" : "driver mabstractcenterline (one run)", driver, mpx);

    const Best refine = timed(repeat, [&] {
        return (stage == "outline" ? refiner.mrefineoutline(&v) : refiner.mrefinecenterline(&v)) == 0;
    });
    long points = 0;
    for (int i = 0; i < refiner.mgetlinenum(); ++i) points += refiner.mgetline(i)->pointnum;

    if (stage == "outline") {
        long rings = 0, corners = 0, edges = 0;
        ktv::refine::CrackTracer tracer;
        ktv::refine::Array<ktv::refine::Corner> ring;
        const Best trace = timed(repeat, [&] {
            rings = corners = edges = 0;
            if (!tracer.start(page.bits.data(), page.width, page.height, static_cast<std::size_t>(page.stride)))
                return false;
            for (int r; (r = tracer.next(ring)) != 0;) {
                if (r < 0) return false;
                ++rings;
                corners += static_cast<long>(ring.size());
                for (std::size_t k = 0; k < ring.size(); ++k) {
                    const ktv::refine::Corner &a = ring[k], &b = ring[k + 1 < ring.size() ? k + 1 : 0];
                    edges += std::abs(b.x - a.x) + std::abs(b.y - a.y);
                }
            }
            return true;
        });
        row("crack tracing", trace, mpx);
        row("refine_outlines (tracing and polygon fit)", refine, mpx);
        std::printf("\nborders %ld, turning corners %ld, unit crack edges %ld, polygon vertices %ld "
                    "(%.1f per 100 px of border)\n",
                    rings, corners, edges, points - refiner.mgetlinenum(),
                    edges ? 100.0 * (points - refiner.mgetlinenum()) / edges : 0.0);
    } else {
        row("refine_centerlines", refine, mpx);
        std::printf("\nlines %d, points %ld\n", refiner.mgetlinenum(), points);
    }
    return 0;
}
