// ktvec_bench: throughput and memory of the raster stages on synthetic
// drawings (A4 at 300 dpi, A0 at 400 dpi) through the public interface, and
// the three drivers stage by stage (the post-processing through the test
// peer, the class being exported whole).
//
// Each page runs in a forked child so that its peak resident memory is its
// own; inside the child, every measurement also reports the peak resident
// memory of the process while it ran (the kernel's high-water mark is reset
// before each one where /proc allows it) and the peak of live heap bytes.
// Times are the best of N runs.
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <ctime>
#include <cstdio>
#include <cstdlib>
#include <cmath>
#include <cstring>
#include <functional>
#include <random>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "drawing.h"
#include "groundtruth.h"
#include "heapcount.h"
#include "imagefile.h"
#include "ktvec.h"
#include "skeletonscore.h"
#include "spread.h"
#include "../tests/support/peer.h"
#include "zhangsuen.h"

namespace {

// ---- the page under test ---------------------------------------------------

struct Page {
    std::string name;
    int width = 0, height = 0, stride = 0;
    double dpi = 0;
    std::vector<unsigned char> bits;
    long black = 0;
    double megapixels() const { return (double)width * height / 1e6; }
};

struct Options {
    std::vector<std::string> sizes{"a4", "a0"};
    std::string input;       // a PBM or PNG file instead of the generated pages
    int repeat = 0;          // 0 = per page default
    unsigned long long seed = 1;
    bool fork_pages = true;
    bool tsv = false;        // machine-readable lines instead of the table
    std::vector<std::string> only;  // measurement names; empty = all
};

// ---- memory probes ------------------------------------------------------------

// A field of /proc/self/status in MB ("VmRSS", "VmHWM"); -1 when unknown.
double status_mb(const char *field) {
    std::FILE *f = std::fopen("/proc/self/status", "r");
    if (!f) return -1;
    char line[256];
    double mb = -1;
    std::size_t n = std::strlen(field);
    while (std::fgets(line, sizeof line, f))
        if (std::strncmp(line, field, n) == 0 && line[n] == ':') {
            mb = std::atof(line + n + 1) / 1024.0;
            break;
        }
    std::fclose(f);
    return mb;
}

// The highest resident size of this process so far.  Resetting the kernel's
// high-water mark also resets what getrusage reports, so the run keeps its
// own maximum across resets.
double g_run_peak_mb = 0;
double run_peak_mb() {
    g_run_peak_mb = std::max(g_run_peak_mb, status_mb("VmHWM"));
    return g_run_peak_mb;
}

// Resets the peak resident size to the current one (Linux clear_refs 5).
bool reset_peak() {
    run_peak_mb();
    std::FILE *f = std::fopen("/proc/self/clear_refs", "w");
    if (!f) return false;
    bool ok = std::fputs("5", f) >= 0;
    return std::fclose(f) == 0 && ok;
}

// ---- timing and reporting -------------------------------------------------------

using Clock = std::chrono::steady_clock;

double seconds_since(Clock::time_point t0) {
    return std::chrono::duration<double>(Clock::now() - t0).count();
}

// CPU time of this thread: unlike the wall clock it does not grow when other
// programs compete for the processor.
double thread_cpu_seconds() {
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return ts.tv_sec + ts.tv_nsec * 1e-9;
}

struct Row {
    Row(std::string s, std::string c) : stage(std::move(s)), call(std::move(c)) {}
    std::string stage, call;
    double best = 0;         // seconds, wall clock
    double cpu = -1;         // seconds of thread CPU time, best run; -1 = not measured
    double amount = 0;       // pixels or points handled per run
    const char *unit = "Mpx/s";
    double peak_mb = -1;     // resident memory of the process
    double heap_mb = -1;     // live heap bytes of the process
    std::string note;
};

class Report {
public:
    Report(const Page &page, const Options &opt) : page_(page), opt_(opt) {}

    void header() const {
        if (opt_.tsv) return;
        std::printf("\n%s  %d x %d = %.2f Mpx", page_.name.c_str(), page_.width, page_.height,
                    page_.megapixels());
        if (page_.dpi > 0) std::printf(", %.0f dpi, seed %llu", page_.dpi, opt_.seed);
        std::printf(", %ld black px, bitmap %.1f MB\n", page_.black,
                    page_.bits.size() / 1048576.0);
        std::printf("  %-26s %-24s %10s %9s %14s %8s %8s  %s\n", "stage", "call", "best ms",
                    "cpu ms", "rate", "RSS MB", "heap MB", "note");
    }

    void add(const Row &r) {
        rows_.push_back(r);
        double rate = r.best > 0 ? r.amount / r.best / 1e6 : 0;
        if (opt_.tsv) {
            std::printf("%s\t%s\t%s\t%.4f\t%.4f\t%.2f\t%s\t%.1f\t%.1f\t%s\n",
                        page_.name.c_str(), r.stage.c_str(), r.call.c_str(), r.best * 1e3,
                        r.cpu * 1e3, rate, r.unit, r.peak_mb, r.heap_mb, r.note.c_str());
        } else {
            char ratebuf[32];
            std::snprintf(ratebuf, sizeof ratebuf, "%.1f %s", rate, r.unit);
            char cpubuf[32] = "-";
            if (r.cpu >= 0) std::snprintf(cpubuf, sizeof cpubuf, "%.2f", r.cpu * 1e3);
            std::printf("  %-26s %-24s %10.2f %9s %14s %8.1f %8.1f  %s\n", r.stage.c_str(),
                        r.call.c_str(), r.best * 1e3, cpubuf, ratebuf, r.peak_mb, r.heap_mb,
                        r.note.c_str());
        }
        std::fflush(stdout);
    }

    void line(const std::string &text) const {
        if (!opt_.tsv) std::printf("  %s\n", text.c_str());
        std::fflush(stdout);
    }

    const Row *find(const std::string &stage) const {
        for (const Row &r : rows_)
            if (r.stage == stage) return &r;
        return nullptr;
    }

private:
    const Page &page_;
    const Options &opt_;
    std::vector<Row> rows_;
};

// Runs `body` `repeat` times (each call returns its own elapsed seconds, so
// set-up work can stay outside the clock) and keeps the best time and the
// process's peak resident memory and peak live heap across the runs.
template <class Body> void best_of(int repeat, Row &row, Body body) {
    bool fresh = reset_peak();
    ktvdraw::heap_reset_peak();
    row.best = row.cpu = 1e300;
    for (int i = 0; i < repeat; ++i) {
        double c0 = thread_cpu_seconds();
        row.best = std::min(row.best, body());
        row.cpu = std::min(row.cpu, thread_cpu_seconds() - c0);
    }
    row.peak_mb = status_mb("VmHWM");
    if (ktvdraw::heap_counting()) row.heap_mb = ktvdraw::heap_peak() / 1048576.0;
    if (!fresh && row.note.empty()) row.note = "peak since start";
}

// Runs one part of a measurement, keeps its least wall and CPU time in
// `row`, and returns the wall time of this run.
template <class Part> double timed(Row &row, Part part) {
    double c0 = thread_cpu_seconds();
    Clock::time_point t0 = Clock::now();
    part();
    double wall = seconds_since(t0);
    row.best = std::min(row.best, wall);
    row.cpu = std::min(row.cpu, thread_cpu_seconds() - c0);
    return wall;
}

void set_document(CKTVector &v, Page &page) {
    v.msetdocument(page.bits.data(), page.width, page.stride, page.height);
}

std::string failed(const char *call, int result) {
    return std::string(call) + " returned " + std::to_string(result);
}

// ---- measurements: one function each ------------------------------------------------

struct Context {
    Page &page;
    const Options &opt;
    Report &report;
    int repeat;
};

// One raster preparation stage on a reused vectorizer.
void measure_preparation(Context &c, const char *stage, const char *call,
                         int (CKTVector::*method)()) {
    CKTVector v;
    set_document(v, c.page);
    Row row{stage, call};
    row.amount = c.page.width * (double)c.page.height;
    int result = 0;
    best_of(c.repeat, row, [&] {
        Clock::time_point t0 = Clock::now();
        result = (v.*method)();
        return seconds_since(t0);
    });
    if (result != 0) row.note = failed(call, result);
    else {
        long set = 0;
        std::size_t bytes = (std::size_t)c.page.stride * c.page.height;
        for (std::size_t i = 0; i < bytes; ++i) set += __builtin_popcount(v.thindata[i]);
        row.note = std::to_string(set) + " px out";
    }
    c.report.add(row);
}

void measure_thinning(Context &c) {
    measure_preparation(c, "thinning", "makethindata", &CKTVector::makethindata);
}
void measure_outline(Context &c) {
    measure_preparation(c, "outline", "makeoutlinedata", &CKTVector::makeoutlinedata);
}
void measure_1side(Context &c) {
    measure_preparation(c, "one-side outline", "make1sideoutlinedata",
                        &CKTVector::make1sideoutlinedata);
}

// Buffer set-up and tracing on the thinned page, each timed alone and as
// the pair (with the point pass that runs between them in every driver).
void measure_setup_trace(Context &c) {
    CKTVector v;
    set_document(v, c.page);
    int prepared = v.makethindata();
    const double pixels = c.page.width * (double)c.page.height;
    Row setup{"buffer set-up", "minitbuffer"}, pass{"point pass", "mpreprocess1"},
        trace{"tracing", "mtrace"}, both{"set-up + tracing", "minitbuffer..mtrace"};
    setup.amount = pass.amount = trace.amount = both.amount = pixels;
    setup.best = pass.best = trace.best = 1e300;
    setup.cpu = pass.cpu = trace.cpu = 1e300;
    int rs = 0, rt = 0;
    best_of(c.repeat, both, [&] {
        double a = timed(setup, [&] { rs = v.minitbuffer(); });
        double b = timed(pass, [&] { v.mpreprocess1(); });
        double d = timed(trace, [&] { rt = rs == 0 ? v.mtrace() : rs; });
        return a + b + d;
    });
    setup.peak_mb = pass.peak_mb = trace.peak_mb = both.peak_mb;
    setup.heap_mb = pass.heap_mb = trace.heap_mb = both.heap_mb;
    if (prepared != 0) both.note = failed("makethindata", prepared);
    else if (rs != 0) both.note = failed("minitbuffer", rs);
    else if (rt != 0) both.note = failed("mtrace", rt);
    else {
        setup.note = std::to_string(v.pointnum) + " points";
        int kept = 0;
        for (int i = 0; i < v.segmentnum; ++i) kept += v.segment[i].discard == 0;
        trace.note = std::to_string(kept) + " segments kept of " + std::to_string(v.segmentnum);
    }
    c.report.add(setup);
    c.report.add(pass);
    c.report.add(trace);
    c.report.add(both);
}

// The bit-parallel Zhang-Suen reference, from packed bytes to packed bytes.
void measure_reference(Context &c) {
    Row row{"reference Zhang-Suen", "64-bit words"};
    row.amount = c.page.width * (double)c.page.height;
    std::vector<unsigned char> out(c.page.bits.size());
    int iterations = 0;
    long left = 0;
    best_of(c.repeat, row, [&] {
        Clock::time_point t0 = Clock::now();
        ktvdraw::ZhangSuen z;
        z.load(c.page.bits.data(), c.page.width, c.page.height, c.page.stride);
        iterations = z.run();
        z.store(out.data(), c.page.stride);
        double s = seconds_since(t0);
        left = z.count();
        return s;
    });
    row.note = std::to_string(iterations) + " iterations, " + std::to_string(left) + " px out";
    c.report.add(row);
    const Row *thin = c.report.find("thinning");
    if (thin && thin->best > 0 && thin->cpu > 0) {
        char buf[160];
        std::snprintf(buf, sizeof buf,
                      "thinning speed / reference speed = %.2f by the wall clock, %.2f by CPU "
                      "time (goal >= 0.5: within 2x)",
                      row.best / thin->best, row.cpu / thin->cpu);
        c.report.line(buf);
    }
}

// The approximation kernels on the long chains traced from the thinned page.
void measure_kernels(Context &c) {
    CKTVector v;
    set_document(v, c.page);
    int r = v.makethindata();
    if (r == 0) r = v.minitbuffer();
    if (r == 0) {
        v.mpreprocess1();
        r = v.mtrace();
    }
    const int kMinChain = 32;
    std::vector<_KTPOINT *> flat;
    std::vector<std::size_t> starts;
    int longest = 0;
    for (int i = 0; r == 0 && i < v.segmentnum; ++i) {
        const _KTSEGMENT &s = v.segment[i];
        if (s.discard || s.pointnum < kMinChain) continue;
        starts.push_back(flat.size());
        flat.insert(flat.end(), s.pointlist, s.pointlist + s.pointnum);
        longest = std::max(longest, s.pointnum);
    }
    starts.push_back(flat.size());
    const std::size_t chains = starts.size() - 1;
    std::vector<_KTPOINT *> vertices(std::max(longest, 3));
    std::vector<double> lengths(std::max(longest, 3)), sums(lengths.size()),
        worksums(lengths.size()), workdev(lengths.size());
    const double tolerance = 1.0;
    char note[96];
    std::snprintf(note, sizeof note, "%zu chains of >= %d points, mean %.0f, tolerance %.1f",
                  chains, kMinChain, chains ? (double)flat.size() / chains : 0.0, tolerance);
    for (int kernel = 1; kernel <= 3; ++kernel) {
        Row row{"kernel L" + std::to_string(kernel),
                "MORABASE_approximateL" + std::to_string(kernel)};
        row.unit = "Mpt/s";
        row.amount = (double)flat.size();
        long out = 0;
        best_of(c.repeat, row, [&] {
            out = 0;
            Clock::time_point t0 = Clock::now();
            for (std::size_t k = 0; k < chains; ++k) {
                int n = (int)(starts[k + 1] - starts[k]);
                _KTPOINT **p = flat.data() + starts[k];
                if (kernel == 1)
                    out += MORABASE_approximateL1(tolerance, n, p, vertices.data(), lengths.data(),
                                                  sums.data());
                else if (kernel == 2)
                    out += MORABASE_approximateL2(tolerance, n, p, vertices.data(), lengths.data(),
                                                  sums.data(), worksums.data(), workdev.data());
                else
                    out += MORABASE_approximateL3(tolerance, n, p, vertices.data(), lengths.data(),
                                                  sums.data(), worksums.data(), workdev.data());
            }
            return seconds_since(t0);
        });
        row.note = r != 0 ? failed("tracing", r) : std::string(note) + ", " + std::to_string(out) + " vertices";
        c.report.add(row);
    }
}

// The drivers with the command-line program's defaults.
struct DriverCall {
    const char *stage, *call, *arguments;
    int (*run)(CKTVector &);
};
const DriverCall kFastOutline{"fast outline driver", "mabstractoutlinefast",
                              "maxlength 4, tolerance 1.5, nodesearch 1",
                              [](CKTVector &v) { return v.mabstractoutlinefast(4, 0, 1.5, 1); }};
const DriverCall kOutline{"outline driver", "mabstractoutline",
                          "maxlength 4, spurnodes 1, tolerance 1.5, nodesearch 1",
                          [](CKTVector &v) { return v.mabstractoutline(4, 1, 1.5, 1); }};
const DriverCall kCenterline{"centre-line driver", "mabstractcenterline",
                             "flags 31, maxlength 4, a 3, b 8, c 0.9, d 4, e 1.5",
                             [](CKTVector &v) { return v.mabstractcenterline(31, 4, 3, 8, 0.9, 4, 1.5); }};

// Live nodes and polylines of a vectorizer's result.
std::pair<int, int> graph_size(CKTVector &v) {
    int nodes = 0, lines = 0;
    for (int i = 0; i < v.mgetnodenum(); ++i) nodes += !v.mgetnode(i)->deleted;
    for (int id = 1; id <= v.mgetpolylinenum(); ++id) lines += !v.mgetpolyline(id)->deleted;
    return {nodes, lines};
}

// One whole driver, re-run on one vectorizer (every stage replaces what the
// last run left).
void measure_driver(Context &c, const DriverCall &d) {
    CKTVector v;
    set_document(v, c.page);
    Row row{d.stage, d.call};
    row.amount = c.page.width * (double)c.page.height;
    int result = 0;
    best_of(c.repeat, row, [&] {
        Clock::time_point t0 = Clock::now();
        result = d.run(v);
        return seconds_since(t0);
    });
    if (result != 0) row.note = failed(d.call, result);
    else {
        std::pair<int, int> size = graph_size(v);
        row.note = std::string(d.arguments) + ": " + std::to_string(size.first) + " nodes, " +
                   std::to_string(size.second) + " polylines";
    }
    c.report.add(row);
}

void measure_outlinefast(Context &c) { measure_driver(c, kFastOutline); }
void measure_outline_driver(Context &c) { measure_driver(c, kOutline); }
void measure_centerline_driver(Context &c) { measure_driver(c, kCenterline); }

// A driver's frame stage by stage, in the driver's order, so a slow driver
// shows where its time goes.  Stages 1 to 7 are public calls; the
// post-processing is private and is reached the way the tests reach it
// (the class is exported whole).  The same vectorizer is re-run, as a host
// re-runs a driver; the result is checked against the driver's own.
struct FrameStage {
    const char *stage, *call;
    int (*run)(CKTVector &);
};
struct Frame {
    const char *total, *arguments;
    const DriverCall &driver;
    std::vector<FrameStage> stages;
};

// The stages every driver shares around its own preparation, approximation
// and post-processing (none for the fast outline driver), with the
// command-line program's settings as in the driver calls above.
std::vector<FrameStage> frame_stages(FrameStage prepare, FrameStage approximate, const FrameStage *post) {
    std::vector<FrameStage> stages{
        prepare,
        {"  2 buffer set-up", "minitbuffer", [](CKTVector &v) { return v.minitbuffer(); }},
        {"  3 point pass", "mpreprocess1", [](CKTVector &v) { v.mpreprocess1(); return 0; }},
        {"  4 tracing", "mtrace", [](CKTVector &v) { return v.mtrace(); }},
        {"  5 segment pass", "mpreprocess2", [](CKTVector &v) { v.mpreprocess2(4); return 0; }},
        approximate,
        {"  7 polylines", "makepolyline", [](CKTVector &v) { return v.makepolyline(); }}};
    if (post) stages.push_back(*post);
    return stages;
}

const FrameStage kCenterlinePost{"  8 post-processing", "mpostprocesscenterline",
                                 [](CKTVector &v) { Peer::mpostprocesscenterline(v, 31, 3, 8, 0.9, 4); return 0; }};
const FrameStage kOutlinePost{"  8 post-processing", "mpostprocessoutline",
                              [](CKTVector &v) { Peer::mpostprocessoutline(v, 1); return 0; }};

const Frame kFastOutlineFrame{
    "fast outline frame", "maxlength 4, tolerance 1.5, nodesearch 1", kFastOutline,
    frame_stages({"  1 one-side outline", "make1sideoutlinedata", [](CKTVector &v) { return v.make1sideoutlinedata(); }},
                 {"  6 approximation", "mapplox", [](CKTVector &v) { return v.mapplox(1.5, 1); }}, nullptr)};
const Frame kCenterlineFrame{
    "centre-line frame", "flags 31, maxlength 4, a 3, b 8, c 0.9, d 4, e 1.5", kCenterline,
    frame_stages({"  1 thinning", "makethindata", [](CKTVector &v) { return v.makethindata(); }},
                 {"  6 approximation", "mapplox2", [](CKTVector &v) { return v.mapplox2(1.5, 1); }},
                 &kCenterlinePost)};
const Frame kOutlineFrame{
    "outline frame", "maxlength 4, spurnodes 1, tolerance 1.5, nodesearch 1", kOutline,
    frame_stages({"  1 outline", "makeoutlinedata", [](CKTVector &v) { return v.makeoutlinedata(); }},
                 {"  6 approximation", "mapplox2", [](CKTVector &v) { return v.mapplox2(1.5, 1); }},
                 &kOutlinePost)};

// Live nodes, polylines and link records: what the stage-by-stage run must
// share with the driver.
struct GraphCounts {
    int nodes = 0, polylines = 0;
    long links = 0;
    bool operator==(const GraphCounts &o) const {
        return nodes == o.nodes && polylines == o.polylines && links == o.links;
    }
};
GraphCounts graph_counts(CKTVector &v) {
    GraphCounts g;
    std::tie(g.nodes, g.polylines) = graph_size(v);
    for (int i = 0; i < v.mgetnodenum(); ++i)
        if (!v.mgetnode(i)->deleted) g.links += v.mgetnode(i)->linknum;
    return g;
}

void measure_frame(Context &c, const Frame &f) {
    CKTVector v;
    set_document(v, c.page);
    std::vector<Row> rows;
    for (const FrameStage &st : f.stages) {
        rows.emplace_back(st.stage, st.call);
        rows.back().best = rows.back().cpu = 1e300;
        rows.back().amount = c.page.width * (double)c.page.height;
    }
    std::string failure;
    Row total{f.total, "stages one by one"};
    total.amount = c.page.width * (double)c.page.height;
    best_of(c.repeat, total, [&] {
        double sum = 0;
        for (std::size_t i = 0; i < rows.size() && failure.empty(); ++i)
            sum += timed(rows[i], [&] {
                int r = f.stages[i].run(v);
                if (r < 0) failure = failed(f.stages[i].call, r);
            });
        return sum;
    });
    // The frame's CPU time is the sum of its stages' least times.
    total.cpu = 0;
    for (Row &row : rows) {
        row.peak_mb = total.peak_mb;
        row.heap_mb = total.heap_mb;
        total.cpu += row.cpu;
        c.report.add(row);
    }
    if (failure.empty()) {
        const GraphCounts mine = graph_counts(v);
        CKTVector w;
        set_document(w, c.page);
        const int r = f.driver.run(w);
        const GraphCounts driver = graph_counts(w);
        char rate[48];
        std::snprintf(rate, sizeof rate, "%.1f Mpx/s by CPU time; ", total.cpu > 0 ? total.amount / total.cpu / 1e6 : 0.0);
        total.note = rate + std::string(f.arguments) + ": " + std::to_string(mine.nodes) + " nodes, " +
                     std::to_string(mine.polylines) + " polylines, " +
                     (r == 0 && mine == driver ? "as the driver"
                                               : "NOT as " + std::string(f.driver.call) + " (" +
                                                     std::to_string(driver.nodes) + " nodes, " +
                                                     std::to_string(driver.polylines) + " polylines)");
    } else {
        total.note = failure;
    }
    c.report.add(total);
}

void measure_driver_stages(Context &c) { measure_frame(c, kFastOutlineFrame); }
void measure_centerline_stages(Context &c) { measure_frame(c, kCenterlineFrame); }
void measure_outline_stages(Context &c) { measure_frame(c, kOutlineFrame); }

// Mean, 95th percentile and maximum of a list of errors (the list is
// reordered).
using ktvdraw::Spread;
using ktvdraw::spread;

// How closely the fast outline driver's polylines follow the true stroke
// borders of a known sheet, per approximation tolerance.  A contour pixel's
// centre lies half a pixel inside the border, so a node's error is
// |border offset + 0.5|; a link's error is taken at its midpoint, where a
// chord cuts a curve deepest.
void outline_accuracy(Context &c, ktvdraw::Canvas &sheet) {
    ktvdraw::PrimitiveIndex index(sheet.primitives(), 32);
    c.report.line("outline accuracy of mabstractoutlinefast (maxlength 4, nodesearch 1) on the same sheet, px:");
    c.report.line("  tolerance    nodes  polylines  node mean   p95    max   link-mid mean   p95    max");
    for (double tolerance : {0.5, 1.0, 1.5, 2.0, 3.0}) {
        CKTVector v;
        v.msetdocument(sheet.data(), sheet.width(), sheet.stride(), sheet.height());
        int r = v.mabstractoutlinefast(4, 0, tolerance, 1);
        if (r != 0) {
            c.report.line("  " + failed("mabstractoutlinefast", r));
            return;
        }
        std::vector<double> nodes, links;
        for (int i = 0; i < v.mgetnodenum(); ++i) {
            const _KTNODE *n = v.mgetnode(i);
            if (n->deleted) continue;
            nodes.push_back(std::fabs(index.border_offset({n->x + 0.5, n->y + 0.5}, 10) + 0.5));
            for (int k = 0; k < n->linknum; ++k) {
                const _KTNODE *m = v.mgetnode(n->link[k].node);
                if (!m || n->link[k].node <= i || m->deleted) continue;
                ktvdraw::Point mid{(n->x + m->x) / 2.0 + 0.5, (n->y + m->y) / 2.0 + 0.5};
                links.push_back(std::fabs(index.border_offset(mid, 10) + 0.5));
            }
        }
        int polylines = graph_size(v).second;
        Spread a = spread(nodes), b = spread(links);
        char buf[200];
        std::snprintf(buf, sizeof buf, "  %9.1f %8zu %10d %10.2f %5.2f %6.2f %15.2f %5.2f %6.2f", tolerance,
                      nodes.size(), polylines, a.mean, a.p95, a.max, b.mean, b.p95, b.max);
        c.report.line(buf);
    }
}

// How closely the centre-line driver's graph follows the true centre lines:
// node and link-midpoint distances, the share of the true centre lines that
// some link passes within max(2, width / 2) of, and links with no stroke
// under them (midpoint beyond half the width + 2 px of every centre line).
void centerline_accuracy(Context &c, ktvdraw::Canvas &sheet) {
    const auto &truth = sheet.primitives();
    ktvdraw::PrimitiveIndex index(truth, 32);
    CKTVector v;
    v.msetdocument(sheet.data(), sheet.width(), sheet.stride(), sheet.height());
    int r = kCenterline.run(v);
    if (r != 0) {
        c.report.line("centre-line driver: " + failed(kCenterline.call, r));
        return;
    }
    double widest = 0;
    for (const ktvdraw::Primitive &p : truth) widest = std::max(widest, p.width);
    std::vector<double> nodes, links;
    std::vector<ktvdraw::Primitive> segments;  // the links as zero-width lines
    long stray = 0;
    for (int i = 0; i < v.mgetnodenum(); ++i) {
        const _KTNODE *n = v.mgetnode(i);
        if (n->deleted) continue;
        double d = 0;
        index.nearest({n->x + 0.5, n->y + 0.5}, 1e9, &d);
        nodes.push_back(d);
        for (int k = 0; k < n->linknum; ++k) {
            const _KTNODE *m = v.mgetnode(n->link[k].node);
            if (!m || n->link[k].node <= i || m->deleted) continue;
            ktvdraw::Point mid{(n->x + m->x) / 2.0 + 0.5, (n->y + m->y) / 2.0 + 0.5};
            int near = index.nearest(mid, widest / 2 + 2, &d);
            if (near < 0 || d > truth[near].width / 2 + 2) ++stray;
            else links.push_back(d);
            ktvdraw::Primitive seg;
            seg.x0 = n->x + 0.5; seg.y0 = n->y + 0.5; seg.x1 = m->x + 0.5; seg.y1 = m->y + 0.5;
            segments.push_back(seg);
        }
    }
    ktvdraw::PrimitiveIndex graph(segments, 32);
    long samples = 0, covered = 0;
    for (const ktvdraw::Primitive &p : truth) {
        double reach = std::max(2.0, p.width / 2);
        for (const ktvdraw::Point &q : ktvdraw::sample_along(p, 1.0)) {
            ++samples;
            covered += graph.nearest(q, reach) >= 0;
        }
    }
    std::pair<int, int> size = graph_size(v);
    Spread a = spread(nodes), b = spread(links);
    char buf[220];
    std::snprintf(buf, sizeof buf, "centre-line accuracy of mabstractcenterline (%s) on the same sheet, px:",
                  kCenterline.arguments);
    c.report.line(buf);
    c.report.line("    nodes  polylines  node mean   p95    max   link-mid mean   p95   stray links  coverage");
    std::snprintf(buf, sizeof buf, "  %7d %10d %10.2f %5.2f %6.2f %15.2f %5.2f %13ld %8.1f%%", size.first,
                  size.second, a.mean, a.p95, a.max, b.mean, b.p95, stray,
                  samples ? 100.0 * covered / samples : 0.0);
    c.report.line(buf);
}

// Centre-line accuracy of the thinning and of the reference on a sheet of
// known vectors the size of an A4 page (noisy borders).  Not timed.
void measure_accuracy(Context &c) {
    const int w = ktvdraw::kPageA4.width, h = ktvdraw::kPageA4.height;
    if (c.page.name != ktvdraw::kPageA4.name) {
        c.report.line("accuracy: measured beside the generated A4 page only");
        return;
    }
    ktvdraw::GroundTruthOptions gt;
    gt.noise = true;
    ktvdraw::Canvas sheet = ktvdraw::render_ground_truth(w, h, c.opt.seed, gt);
    auto print = [&](const char *name, const ktvdraw::SkeletonScore &s) {
        char buf[200];
        std::snprintf(buf, sizeof buf, "  %-22s %8ld %8.2f %8.2f %6ld %8.1f%% %8.2f %6ld", name,
                      s.pixels, s.mean_offset, s.p95_offset, s.stray, 100 * s.coverage,
                      s.mean_end_gap, s.spurs);
        c.report.line(buf);
    };
    char head[200];
    std::snprintf(head, sizeof head,
                  "centre-line accuracy on a %dx%d sheet of %zu known strokes (widths 2-9 px, "
                  "noisy borders):",
                  w, h, sheet.primitives().size());
    c.report.line(head);
    c.report.line("  skeleton                 pixels  mean px   p95 px  stray  coverage  end gap  spurs");
    CKTVector v;
    v.msetdocument(sheet.data(), w, sheet.stride(), h);
    if (v.makethindata() == 0)
        print("makethindata", ktvdraw::score_skeleton(v.thindata, w, h, sheet.stride(), sheet.primitives()));
    ktvdraw::ZhangSuen z;
    z.load(sheet.data(), w, h, sheet.stride());
    z.run();
    std::vector<unsigned char> out(sheet.bits().size());
    z.store(out.data(), sheet.stride());
    print("Zhang-Suen reference", ktvdraw::score_skeleton(out.data(), w, h, sheet.stride(), sheet.primitives()));
    outline_accuracy(c, sheet);
    centerline_accuracy(c, sheet);
}

// Random interactive edits on the fast outline driver's graph of the page:
// picks near random points, deletions and skips of middle nodes, splits,
// rebuilds, connections drawn across nodes.  Each repetition starts from a
// fresh graph, the graph is built outside the timing.
void measure_edits(Context &c) {
    const int ops = 20000;
    Row row{"random edits", "picks, deletes, splits, connects"};
    row.amount = ops * 1e3;  // the table divides by 1e6: thousands of edits per second
    row.unit = "kops/s";
    CKTVector v;
    set_document(v, c.page);
    int result = 0;
    best_of(c.repeat, row, [&] {
        result = v.mabstractoutlinefast(4, 0, 1.5, 1);
        std::mt19937 rng(7);
        auto pick = [&](int n) { return n > 0 ? static_cast<int>(rng() % static_cast<unsigned>(n)) : 0; };
        Clock::time_point t0 = Clock::now();
        for (int k = 0; k < ops && v.mgetnodenum() > 0; ++k) {
            _KTNODE *n = v.mgetnode(pick(v.mgetnodenum()));
            if (n->deleted) continue;
            switch (k % 6) {
            case 0: {
                _KTNODE *picked = nullptr;
                v.mselectnode1(n->x + pick(9) - 4, n->y + pick(9) - 4, picked);
                break;
            }
            case 1:
                if (v.mismiddlenode(n)) v.mdeletenode(n);
                break;
            case 2:
                if (v.mismiddlenode(n)) v.mseparatepolyline(n->link[0].id, n);
                break;
            case 3:
                if (n->linknum > 0) v.mupdatepolyline(n->link[0].id);
                break;
            case 4:
                v.mconnectpolyline(n->x - 5, n->y - 5, n->x + 5, n->y + 5);
                break;
            default:
                if (v.mismiddlenode(n)) v.mskipnode(n);
                break;
            }
        }
        return seconds_since(t0);
    });
    if (result != 0) row.note = failed("mabstractoutlinefast", result);
    else row.note = "on the fast outline graph, " + std::to_string(v.mgetnodenum()) + " nodes";
    c.report.add(row);
}

// Spline fitting with 10 samples per knot interval on every live polyline of
// the centre-line result.
void measure_splines(Context &c) {
    CKTVector v;
    set_document(v, c.page);
    Row row{"splines", "mspline"};
    row.unit = "Msamples/s";
    const int result = v.mabstractcenterline(31, 8, 3, 8, 0.9, 4, 1.5);
    best_of(c.repeat, row, [&] {
        v.msetmodify(static_cast<unsigned char>(0));
        double samples = 0;
        Clock::time_point t0 = Clock::now();
        for (int id = 1; id <= v.mgetpolylinenum(); ++id) {
            if (v.mgetpolyline(id)->deleted) continue;
            v.mspline(id, 10);
            samples += v.mgetpolyline(id)->splinenum;
        }
        const double t = seconds_since(t0);
        row.amount = samples;
        return t;
    });
    if (result != 0) row.note = failed("mabstractcenterline", result);
    else row.note = "division 10 on the centre-line result";
    c.report.add(row);
}

struct Measurement {
    const char *name;
    void (*run)(Context &);
};

const Measurement kMeasurements[] = {
    {"thinning", measure_thinning},
    {"outline", measure_outline},
    {"1side", measure_1side},
    {"trace", measure_setup_trace},
    {"reference", measure_reference},
    {"accuracy", measure_accuracy},
    {"kernels", measure_kernels},
    {"driver", measure_outlinefast},
    {"outline-driver", measure_outline_driver},
    {"centerline", measure_centerline_driver},
    {"stages", measure_driver_stages},
    {"centerline-stages", measure_centerline_stages},
    {"outline-stages", measure_outline_stages},
    {"edits", measure_edits},
    {"splines", measure_splines},
};

bool selected(const Options &opt, const char *name) {
    return opt.only.empty() || std::find(opt.only.begin(), opt.only.end(), name) != opt.only.end();
}

// ---- pages -------------------------------------------------------------------

bool make_page(const std::string &size, const Options &opt, Page &page) {
    if (!opt.input.empty()) {
        ktvdraw::PackedImage img;
        std::string err = ktvdraw::read_image(opt.input, img);
        if (!err.empty()) {
            std::fprintf(stderr, "ktvec_bench: %s\n", err.c_str());
            return false;
        }
        page.name = opt.input;
        page.width = img.width;
        page.height = img.height;
        page.stride = img.stride;
        page.bits = std::move(img.bits);
    } else {
        const ktvdraw::PageSize &ps = size == "a0" ? ktvdraw::kPageA0 : ktvdraw::kPageA4;
        ktvdraw::DrawingOptions d;
        d.dpi = ps.dpi;
        ktvdraw::Canvas canvas = ktvdraw::render_drawing(ps.width, ps.height, opt.seed, d);
        page.name = ps.name;
        page.width = ps.width;
        page.height = ps.height;
        page.dpi = ps.dpi;
        page.stride = canvas.stride();
        page.bits = canvas.take_bits();
    }
    page.black = 0;
    for (unsigned char b : page.bits) page.black += __builtin_popcount(b);
    return true;
}

int run_page(const std::string &size, const Options &opt) {
    Page page;
    if (!make_page(size, opt, page)) return 1;
    Report report(page, opt);
    report.header();
    Context c{page, opt, report, opt.repeat > 0 ? opt.repeat : (page.megapixels() > 50 ? 3 : 7)};
    for (const Measurement &m : kMeasurements)
        if (selected(opt, m.name)) m.run(c);
    double peak = run_peak_mb();
    if (opt.tsv) std::printf("%s\tprocess\t-\t0\t0\t0\t-\t%.1f\t-1\t\n", page.name.c_str(), peak);
    else std::printf("  peak resident memory of the whole %s run: %.1f MB\n", page.name.c_str(), peak);
    std::fflush(stdout);
    return 0;
}

void usage(std::FILE *to) {
    std::fprintf(to,
                 "usage: ktvec_bench [options]\n"
                 "  --quick          A4 only\n"
                 "  --size a4|a0     one page size (default: both)\n"
                 "  --input FILE     a PBM or PNG file instead of the generated pages\n"
                 "  --repeat N       runs per measurement, best kept (default 7 on A4, 3 on A0)\n"
                 "  --seed N         drawing seed (default 1)\n"
                 "  --only A,B       measurements: thinning outline 1side trace reference accuracy\n"
                 "                   kernels driver stages outline-driver centerline\n"
                 "                   centerline-stages outline-stages edits splines\n"
                 "  --tsv            tab-separated: page stage call ms cpums rate unit rssMB heapMB note\n"
                 "  --no-fork        run the pages in this process (peak memory accumulates)\n");
}

}  // namespace

int main(int argc, char **argv) {
    Options opt;
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        auto value = [&]() -> std::string {
            if (i + 1 >= argc) {
                std::fprintf(stderr, "ktvec_bench: %s needs a value\n", a.c_str());
                std::exit(2);
            }
            return argv[++i];
        };
        if (a == "--quick") opt.sizes = {"a4"};
        else if (a == "--size") {
            std::string s = value();
            if (s == "A4") s = "a4";
            if (s == "A0") s = "a0";
            if (s != "a4" && s != "a0") {
                std::fprintf(stderr, "ktvec_bench: --size must be a4 or a0\n");
                return 2;
            }
            opt.sizes = {s};
        } else if (a == "--input") opt.input = value();
        else if (a == "--repeat") opt.repeat = std::max(1, std::atoi(value().c_str()));
        else if (a == "--seed") opt.seed = std::strtoull(value().c_str(), nullptr, 10);
        else if (a == "--tsv") opt.tsv = true;
        else if (a == "--no-fork") opt.fork_pages = false;
        else if (a == "--only") {
            std::string list = value();
            for (std::size_t p = 0; p <= list.size();) {
                std::size_t q = list.find(',', p);
                if (q == std::string::npos) q = list.size();
                if (q > p) opt.only.push_back(list.substr(p, q - p));
                p = q + 1;
            }
        } else if (a == "-h" || a == "--help") {
            usage(stdout);
            return 0;
        } else {
            std::fprintf(stderr, "ktvec_bench: unknown option %s\n", a.c_str());
            usage(stderr);
            return 2;
        }
    }
    for (const std::string &name : opt.only)
        if (std::none_of(std::begin(kMeasurements), std::end(kMeasurements),
                         [&](const Measurement &m) { return name == m.name; })) {
            std::fprintf(stderr, "ktvec_bench: unknown measurement %s\n", name.c_str());
            return 2;
        }
    if (!opt.input.empty()) opt.sizes = {"file"};
    if (!opt.tsv)
        std::printf("ktvec_bench: best of N runs; rate = page pixels (or chain points) / best ms;\n"
                    "  cpu ms = least thread CPU time of a run (best ms well above it: a busy machine);\n"
                    "  RSS MB / heap MB = peak resident memory / peak live heap bytes of the\n"
                    "  process during the measurement (the page bitmap included)\n");
    int status = 0;
    for (const std::string &size : opt.sizes) {
        if (!opt.fork_pages) {
            status |= run_page(size, opt);
            continue;
        }
        std::fflush(stdout);
        pid_t pid = fork();
        if (pid < 0) {
            std::perror("ktvec_bench: fork");
            return 1;
        }
        if (pid == 0) {
            int rc = run_page(size, opt);
            std::fflush(stdout);
            _exit(rc);
        }
        int wstatus = 0;
        if (waitpid(pid, &wstatus, 0) < 0) {
            std::perror("ktvec_bench: waitpid");
            return 1;
        }
        if (!WIFEXITED(wstatus) || WEXITSTATUS(wstatus) != 0) {
            std::fprintf(stderr, "ktvec_bench: the %s run failed (status %d)\n", size.c_str(),
                         wstatus);
            status = 1;
        }
    }
    return status;
}
