#include "drive.h"

#include "ktvec_refine.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

// Strokes and rings drawn from the input: far more of them give a graph
// with junctions, loops and ends than random bits do.
void draw_shapes(FuzzBitmap &b, FuzzInput &in) {
    auto plot = [&b](int x, int y) {
        if (x < 0 || y < 0 || x >= b.width || y >= b.height) return;
        b.bits[static_cast<size_t>(y) * static_cast<size_t>(b.stride) + static_cast<size_t>(x >> 3)] |=
            static_cast<unsigned char>(0x80u >> (x & 7));
    };
    const int shapes = in.byte() % 12;
    for (int s = 0; s < shapes; ++s) {
        const int kind = in.byte() % 3;
        const int x0 = in.below(b.width + 1), y0 = in.below(b.height + 1);
        const int x1 = in.below(b.width + 1), y1 = in.below(b.height + 1);
        const int t = in.byte() % 4;
        if (kind < 2) {  // a stroke of half-thickness t
            const int steps = std::abs(x1 - x0) + std::abs(y1 - y0) + 1;
            for (int i = 0; i <= steps; ++i) {
                const int x = x0 + (x1 - x0) * i / steps, y = y0 + (y1 - y0) * i / steps;
                for (int dy = -t; dy <= t; ++dy)
                    for (int dx = -t; dx <= t; ++dx)
                        if (dx * dx + dy * dy <= t * t) plot(x + dx, y + dy);
            }
        } else {  // a ring centred on (x0, y0)
            const int r = 1 + std::abs(x1 - x0) / 2;
            for (int dy = -r - t; dy <= r + t; ++dy)
                for (int dx = -r - t; dx <= r + t; ++dx) {
                    const double d = std::sqrt(static_cast<double>(dx * dx + dy * dy));
                    if (std::fabs(d - r) <= t + 0.5) plot(x0 + dx, y0 + dy);
                }
        }
    }
}

void fail(const char *what, const std::string &detail, CKTVector &v) {
    std::fprintf(stderr, "%s\n%s\n%s", what, detail.c_str(), dump_graph(v).c_str());
    std::abort();
}

}  // namespace

FuzzBitmap make_bitmap(FuzzInput &in) {
    FuzzBitmap b;
    const std::uint8_t mode = in.byte();
    b.width = in.below(301);
    b.height = in.below(301);
    if (mode & 0x80) {  // small pictures are the interesting ones
        b.width %= 40;
        b.height %= 40;
    } else if (!(mode & 1)) {
        // Dense raw bits give a node per few pixels, and the node table
        // grows four records at a time: under the sanitizer's allocator,
        // which copies on every reallocation, a full 300x300 page takes a
        // minute instead of milliseconds.
        b.width %= 97;
        b.height %= 97;
    }
    const int packed = (b.width + 7) / 8;
    b.stride = packed + (mode >> 2 & 3);
    b.bits.assign(static_cast<size_t>(b.height) * static_cast<size_t>(b.stride), 0);
    if (mode & 1) {
        draw_shapes(b, in);
    } else {
        // Raw bits: a run of input bytes, repeated over the whole raster.
        const int run = in.byte();
        std::vector<unsigned char> pattern;
        for (int i = 0; i < run && !in.empty(); ++i) pattern.push_back(in.byte());
        if (!pattern.empty())
            for (size_t i = 0; i < b.bits.size(); ++i) b.bits[i] = pattern[i % pattern.size()];
    }
    if (!(mode & 2)) {  // set every padding bit
        const unsigned tail = static_cast<unsigned>(b.width & 7);
        for (int y = 0; y < b.height; ++y) {
            unsigned char *row = b.bits.data() + static_cast<size_t>(y) * static_cast<size_t>(b.stride);
            if (tail) row[packed - 1] |= static_cast<unsigned char>(0xFFu >> tail);
            for (int k = packed; k < b.stride; ++k) row[k] = 0xFF;
        }
    }
    return b;
}

void set_document(CKTVector &v, FuzzBitmap &b, FuzzInput &in) {
    if (b.stride == (b.width + 7) / 8 && (in.byte() & 1))
        v.msetdocument(b.data(), b.width, b.height);
    else
        v.msetdocument(b.data(), b.width, b.stride, b.height);
}

int run_driver(CKTVector &v, FuzzInput &in, Driver &which) {
    // KTVEC_FUZZ_VERBOSE prints each call, to turn a finding into a test.
    const bool verbose = std::getenv("KTVEC_FUZZ_VERBOSE") != nullptr;
    which = static_cast<Driver>(in.byte() % 3);
    if (verbose) std::fprintf(stderr, "document %dx%d stride %d\n", v.width, v.height, v.bytesperline);
    switch (which) {
    case Driver::OutlineFast: {
        const int maxlength = in.int_arg(), ignored = in.int_arg();
        const double tolerance = in.double_arg();
        const int search = in.int_arg();
        if (verbose) std::fprintf(stderr, "mabstractoutlinefast(%d, %d, %.17g, %d)\n", maxlength, ignored, tolerance, search);
        return v.mabstractoutlinefast(maxlength, ignored, tolerance, search);
    }
    case Driver::Centerline: {
        const int flags = in.byte() < 230 ? in.byte() & 31 : in.int_arg();
        const int maxlength = in.int_arg();
        const double a = in.double_arg(), b = in.double_arg(), c = in.cosine_arg(), d = in.double_arg();
        const double e = in.double_arg();
        if (verbose)
            std::fprintf(stderr, "mabstractcenterline(%d, %d, %.17g, %.17g, %.17g, %.17g, %.17g)\n", flags,
                         maxlength, a, b, c, d, e);
        return v.mabstractcenterline(flags, maxlength, a, b, c, d, e);
    }
    default: {
        const int maxlength = in.int_arg(), spurnodes = in.int_arg();
        const double tolerance = in.double_arg();
        const int search = in.int_arg();
        if (verbose) std::fprintf(stderr, "mabstractoutline(%d, %d, %.17g, %d)\n", maxlength, spurnodes, tolerance, search);
        return v.mabstractoutline(maxlength, spurnodes, tolerance, search);
    }
    }
}

int drive_checked(CKTVector &v, FuzzBitmap &bitmap, FuzzInput &in, Driver &which, CKTRefiner *refined) {
    bitmap = make_bitmap(in);
    set_document(v, bitmap, in);
    if (std::getenv("KTVEC_FUZZ_VERBOSE"))
        for (int y = 0; y < bitmap.height; ++y) {
            for (int x = 0; x < bitmap.width; ++x)
                std::fputc(bitmap.bits[static_cast<size_t>(y) * static_cast<size_t>(bitmap.stride) +
                                       static_cast<size_t>(x >> 3)] & (0x80u >> (x & 7))
                               ? '#'
                               : '.',
                           stderr);
            std::fputc('\n', stderr);
        }
    const int r = run_driver(v, in, which);
    check_after_driver(v, which, r, refined);
    return r;
}

void check_graph_or_abort(CKTVector &v, const CheckOptions &o, const char *when) {
    const std::string problems = check_graph(v, o);
    if (!problems.empty()) fail(when, problems, v);
    for (int i = 0; i < v.nodenum; ++i) {
        const _KTNODE &n = v.node[i];
        if (!n.deleted && (n.x < 0 || n.y < 0 || n.x >= v.width || n.y >= v.height))
            fail(when, "node " + std::to_string(i) + " at (" + std::to_string(n.x) + "," +
                           std::to_string(n.y) + ") outside the raster",
                 v);
    }
}

void check_after_driver(CKTVector &v, Driver which, int result, CKTRefiner *refined) {
    // The fast driver leaves the normal form; the clean-up passes edit
    // inside polylines and outline spur removal leaves links aimed at the
    // deleted spur; a failed stage leaves rows unsorted and records short.
    CheckOptions o = which == Driver::OutlineFast ? CheckOptions{} : structural_checks();
    if (which == Driver::Outline) o.links_to_deleted = true;
    // Open finding (tests/fuzz/regressions): merging junction pairs can
    // leave live single-node records; relaxed so the search goes deeper.
    if (which == Driver::Centerline) o.polylines_complete = false;
    // Skipping a node where two polylines meet leaves a crossed pair (see
    // CheckOptions::crossed_pairs).
    if (which == Driver::Centerline) o.crossed_pairs = true;
    if (chain_meets_itself(v)) o.chain_ends = o.links_on_polylines = false;
    if (result < 0) {
        o = structural_checks();
        o.rows_sorted = false;
        o.polylines_complete = false;
        o.links_to_deleted = true;
    }
    if (result != 0 && result != -1 && result != -1000) {
        std::fprintf(stderr, "driver %d returned %d\n", static_cast<int>(which), result);
        std::abort();
    }
    check_graph_or_abort(v, o, "after a driver");
    read_everything(v);
    // The sub-pixel stage on whatever the driver left: 0 or -1000, every
    // point it hands out readable, the graph untouched.
    if (result == 0) {
        CKTRefiner own;
        CKTRefiner &r = refined ? *refined : own;
        const int rc = which == Driver::Centerline ? r.mrefinecenterline(&v) : r.mrefineoutline(&v);
        if (rc != 0 && rc != -1000) {
            std::fprintf(stderr, "refiner returned %d\n", rc);
            std::abort();
        }
        double sum = 0;
        for (int k = 0; k < r.mgetlinenum(); ++k) {
            const _KTREFINEDLINE &l = *r.mgetline(k);
            for (int i = 0; i < l.pointnum; ++i) sum += l.point[i].x + l.point[i].y + l.node[i];
        }
        volatile double keep = sum;
        (void)keep;
        check_graph_or_abort(v, o, "after refining");
    }
}
