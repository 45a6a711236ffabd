// The editor's engine in the browser: one image, its vectors and their
// editing history, behind plain C functions that the page calls through
// WebAssembly.
//
// The page runs the program's own code paths, so that what it shows and
// exports is what `ktvec` gives for the same file and options:
//  - options are parsed by the program's option tables, the driver and the
//    post-processing run as in `ktvec COMMAND`;
//  - the result is written as the program's JSON and read back into the
//    vectorizer that is edited, exactly as `ktvec edit` reads it, so node
//    numbers are the file's and every edit is an op of the edit script,
//    parsed and applied by the same code that `ktvec edit --ops` uses;
//  - exports go through the program's writers.
//
// Undo keeps, per applied op, a copy of the graph from before it (mundo into
// a second vectorizer); undoing copies the graph back and keeps the current
// one for redo.  The effective script is the list of applied ops still on
// the undo side.
//
// With the sub-pixel geometry on (the program's --refine), the drawing and
// the exports are the refiner's lines, measured against the ink the driver
// read.  They describe one graph, so they are measured again after every
// run, edit, undo and redo, keeping what the edits placed and deleted
// (edited_geometry.h), and a change whose graph cannot be measured for want
// of memory is not made: what is drawn and exported is always the geometry
// of the graph as it stands, as `ktvec edit --image` writes it.
//
// Every entry point catches what the program's code throws: a failure
// leaves the session as it was and a message behind (kw_message), and
// running out of memory is reported as such, never as a dead tab.
#include <emscripten/emscripten.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include "commands.h"
#include "drawing.h"
#include "edit_ops.h"
#include "edited_geometry.h"
#include "error.h"
#include "image.h"
#include "json_reader.h"
#include "options.h"
#include "postprocess.h"
#include "result_loader.h"
#include "vector_view.h"
#include "writers.h"
#include "vectorizer/memory.h"

using namespace ktvcli;

namespace {

// Results of the entry points besides the library's own codes.
constexpr int kOk = 0;
constexpr int kFailed = -1;         // refused; kw_message says why
constexpr int kNoMemory = -1000;    // the library's code for memory

// How a row of browser pixels (RGBA, 8 bits each) becomes grey, chosen from
// the PNG header so that the grey levels are the ones the program's PNG
// reader makes for the same file.
enum GreyKind { kGreyChannel = 0, kGreyRgb = 1, kGreyAlpha = 2, kGreyRgbAlpha = 3 };

// The weights libpng's rgb-to-grey conversion uses without a cHRM chunk
// (sRGB primaries, 15-bit fixed point); grey pixels keep their level, as
// there.
unsigned char rgb_to_grey(unsigned r, unsigned g, unsigned b) {
    if (r == g && g == b) return static_cast<unsigned char>(r);
    return static_cast<unsigned char>((6968u * r + 23434u * g + 2366u * b) >> 15);
}

using Clock = std::chrono::steady_clock;
double ms_since(Clock::time_point t) { return std::chrono::duration<double, std::milli>(Clock::now() - t).count(); }

// The sub-pixel geometry of a graph: the refiner's lines, and what is drawn
// and exported of them, the edits' placements kept.
struct Measured {
    std::unique_ptr<CKTRefiner> refiner;    // null for an edited outline result, which needs none
    std::unique_ptr<EditedGeometry> lines;  // reads *refiner
};

struct HistoryEntry {
    std::string op;                       // the op as the script writes it
    std::unique_ptr<CKTVector> snapshot;  // undo side: before the op; redo side: after it
    // The snapshot's sub-pixel geometry, kept by the last entry of each side
    // only (see keep_measured): an undo right after an edit, or a redo
    // right after an undo, takes it back instead of measuring again the
    // graph it was measured on.  Empty when the geometry was off.
    Measured measured;
};

struct Session {
    // input
    std::string source = "scan";
    std::string format;
    GreyImage grey;            // grey input (PNG): kept for re-thresholding
    bool have_grey = false;
    bool one_bit = false;      // 1-bit PNG: taken bit for bit, no threshold
    bool invert = false;
    double dpi_x = 0, dpi_y = 0;
    LoadedImage image;         // the binarised input shown under the vectors
    bool have_image = false;
    // result
    const Command *command = nullptr;  // that made it
    std::unique_ptr<CKTVector> graph;  // the edited graph, read back from the JSON
    LoadedResult loaded;               // its blank page and the file's header
    ResultInfo info;                   // the run's own record (resolution for DXF)
    PackedBitmap ink;                  // the document the driver read: the input, pre-cleaned
    UneditedResult before;             // the result as vectorized, which edits are told from
    std::unique_ptr<CKTVector> base;   // ... its graph, until its sub-pixel geometry is measured
    bool refine = false;               // the sub-pixel geometry is drawn and exported
    Measured measured;                 // for the graph as it stands, while it is
    double refine_ms = 0;
    std::vector<HistoryEntry> undo, redo;
    double vectorize_ms = 0, load_ms = 0;
    int driver_result = 0;
    // outputs handed to the page
    std::string message, text;
    std::vector<double> geometry;
    std::vector<std::int32_t> nodes;
};

Session &session() {
    static Session s;
    return s;
}

// Runs `body` with the program's exceptions turned into a result and a message.
template <class Body> int guarded(Body body) {
    Session &s = session();
    s.message.clear();
    try {
        return body(s);
    } catch (const CliError &e) {
        const std::string what = e.what();
        s.message = what;
        return what.find("out of memory") != std::string::npos || what.find("too large for memory") != std::string::npos
                   ? kNoMemory : kFailed;
    } catch (const std::bad_alloc &) {
        s.message = "out of memory";
        return kNoMemory;
    } catch (const std::exception &e) {
        s.message = e.what();
        return kFailed;
    }
}

std::size_t history_bytes(const std::vector<HistoryEntry> &h) {
    std::size_t bytes = 0;
    for (const HistoryEntry &e : h)
        if (e.snapshot) bytes += static_cast<std::size_t>(e.snapshot->mgetundomemory());
    return bytes;
}

// Snapshots beyond this many bytes are dropped oldest first: their ops stay
// in the script, only undo cannot reach back past them.
constexpr std::size_t kHistoryBytes = std::size_t(512) << 20;

void trim_history(Session &s) {
    std::size_t bytes = history_bytes(s.undo) + history_bytes(s.redo);
    for (HistoryEntry &e : s.undo) {
        if (bytes <= kHistoryBytes) break;
        if (!e.snapshot) continue;
        bytes -= static_cast<std::size_t>(e.snapshot->mgetundomemory());
        e.snapshot.reset();
    }
}

// Puts `entry` last on `side`, with `measured`, the geometry of its
// snapshot; the entry it follows lets its own go, so that the history holds
// at most two geometries besides the one drawn.
void keep_measured(std::vector<HistoryEntry> &side, HistoryEntry entry, Measured measured) {
    if (!side.empty()) side.back().measured = Measured();
    entry.measured = std::move(measured);
    side.push_back(std::move(entry));
}

void binarise_input(Session &s, int threshold) {
    LoadedImage image;
    image.format = s.format == "PNG" ? "PNG" : "PBM";
    image.dpi_x = s.dpi_x;
    image.dpi_y = s.dpi_y;
    if (s.one_bit) {
        // 0 is black in a 1-bit grey PNG; the browser hands out 0 or 255.
        image.bitmap = binarise(s.grey, 128);
    } else {
        image.threshold = threshold >= 0 ? threshold : otsu_threshold(s.grey);
        image.bitmap = binarise(s.grey, image.threshold);
    }
    if (s.invert) image.bitmap.invert();
    s.image = std::move(image);
    s.have_image = true;
}

// What a copy of the vector layer (mundo) leaves out and an edit reads: the
// document and the kept fitting limits.
void adopt_settings(CKTVector &to, const CKTVector &from) {
    to.msetdocument(from.document, from.width, from.bytesperline, from.height);
    to.selectradius = from.selectradius;
    to.arcminradius = from.arcminradius;
    to.arcmaxradius = from.arcmaxradius;
    to.splinedivision = from.splinedivision;
}

// Back to the graph `copy` holds after a change that failed part-way:
// copied back, or, when even that copy finds no memory, the copy itself
// becomes the graph with the settings a copy does not carry.
void restore_graph(Session &s, std::unique_ptr<CKTVector> &copy) {
    if (s.graph->mundo(copy.get()) != 0) {
        adopt_settings(*copy, *s.graph);
        s.graph = std::move(copy);
    }
}

void forget_result(Session &s) {
    s.graph.reset();
    s.base.reset();
    s.before = UneditedResult();
    s.measured = Measured();
    s.ink = PackedBitmap();
    s.undo.clear();
    s.redo.clear();
}

// The refiner's lines of `graph`, a result of `c` on `ink` made with
// `settings`.  Throws "out of memory" when the refiner finds none.
std::unique_ptr<CKTRefiner> refine_graph(Session &s, const Command &c, const Settings &settings, const PackedBitmap &ink,
                                         CKTVector &graph) {
    const Clock::time_point start = Clock::now();
    auto r = std::make_unique<CKTRefiner>();
    if (refine_against(c, settings, *r, graph, ink) != KTVEC_OK)
        throw CliError("out of memory while measuring the sub-pixel geometry");
    s.refine_ms = ms_since(start);
    return r;
}

// The same for `graph`, the session's result or its graph as vectorized,
// with the settings the result records.
std::unique_ptr<CKTRefiner> refine_graph(Session &s, CKTVector &graph) {
    return refine_graph(s, *s.command, recorded_settings(*s.command, s.info), s.ink, graph);
}

// The sub-pixel geometry of the session's graph as it stands, when `refine`
// (else none): centre lines measured again, outlines drawn from the
// unedited result's rings without measuring (refine_ms stays 0).  Throws
// "out of memory" as refine_graph, or std::bad_alloc.
Measured measure(Session &s, bool refine) {
    s.refine_ms = 0;
    Measured m;
    if (!refine) return m;
    if (EditedGeometry::measures_edited(s.before)) m.refiner = refine_graph(s, *s.graph);
    m.lines = std::make_unique<EditedGeometry>();
    m.lines->compose(s.before, *s.graph, m.refiner.get());
    return m;
}

// How `c`'s sub-pixel geometry is measured.
UneditedResult::Lines lines_of(const Command &c) {
    return refines_outlines(c) ? UneditedResult::Lines::Outlines : UneditedResult::Lines::CentreLines;
}

// What the writers and the drawing read of the graph's view: the sub-pixel
// geometry when it is on.
void add_refined(const Session &s, VectorView &view) {
    if (s.refine) view.set_refined(s.measured.lines.get());
}

}  // namespace

extern "C" {

// ---- memory shared with the page ---------------------------------------------------

EMSCRIPTEN_KEEPALIVE void *kw_alloc(std::size_t bytes) { return ::operator new(bytes ? bytes : 1, std::nothrow); }
EMSCRIPTEN_KEEPALIVE void kw_free(void *p) { ::operator delete(p); }

// For the tests: the n-th request of the allocation seam from now fails,
// and with `sticky` every later one too (0 switches this off), so that the
// page's answer to running out of memory can be seen without exhausting it.
EMSCRIPTEN_KEEPALIVE void kw_fail_allocation_at(int n, int sticky) { ktv::mem_fail_at(n, sticky != 0); }
// For the tests too: the requests of the seam since the last call with
// `reset`, so that a failure can be aimed at the last steps of an edit.
EMSCRIPTEN_KEEPALIVE double kw_allocations(int reset) {
    const long n = ktv::mem_requests();
    if (reset) ktv::mem_reset_requests();
    return static_cast<double>(n);
}

// The last failure's message, and the last text an entry point produced.
EMSCRIPTEN_KEEPALIVE const char *kw_message() { return session().message.c_str(); }
EMSCRIPTEN_KEEPALIVE const char *kw_text() { return session().text.c_str(); }
EMSCRIPTEN_KEEPALIVE int kw_text_size() { return static_cast<int>(session().text.size()); }

// ---- input -----------------------------------------------------------------------------

// An image file that the page does not decode itself (PBM, and whatever is
// not PNG: the program's reader names what it is).  0 or a negative code.
EMSCRIPTEN_KEEPALIVE int kw_load_file(const unsigned char *data, std::size_t size, const char *name, int invert,
                                      double max_pixels) {
    return guarded([&](Session &s) {
        ReadOptions options;
        options.invert = invert != 0;
        options.max_pixels = static_cast<std::uint64_t>(max_pixels);
        LoadedImage image = decode_image(data, size, options);
        forget_result(s);
        s.source = name;
        s.format = image.format;
        s.have_grey = s.one_bit = false;
        s.grey = GreyImage();
        s.invert = options.invert;
        s.dpi_x = image.dpi_x;
        s.dpi_y = image.dpi_y;
        s.image = std::move(image);
        s.have_image = true;
        return kOk;
    });
}

// A PNG that the browser decoded: the grey image is allocated here and
// filled in bands of rows by kw_grey_rows.  `one_bit`: a 1-bit grey file.
EMSCRIPTEN_KEEPALIVE int kw_begin_grey(int width, int height, const char *name, int one_bit, double dpi_x,
                                       double dpi_y, double max_pixels) {
    return guarded([&](Session &s) {
        ReadOptions options;
        options.max_pixels = static_cast<std::uint64_t>(max_pixels);
        check_dimensions(static_cast<std::uint64_t>(width), static_cast<std::uint64_t>(height), options, "PNG");
        GreyImage grey = allocate_grey(width, height);
        forget_result(s);
        s.have_image = false;
        s.image = LoadedImage();
        s.grey = std::move(grey);
        s.have_grey = true;
        s.one_bit = one_bit != 0;
        s.source = name;
        s.format = "PNG";
        s.dpi_x = dpi_x;
        s.dpi_y = dpi_y;
        return kOk;
    });
}

// Rows y0 .. y0 + rows - 1 of the browser's RGBA pixels into grey, by `kind`.
EMSCRIPTEN_KEEPALIVE void kw_grey_rows(const unsigned char *rgba, int y0, int rows, int kind) {
    Session &s = session();
    if (!s.have_grey || y0 < 0 || rows < 0 || y0 + rows > s.grey.height) return;
    const std::size_t w = static_cast<std::size_t>(s.grey.width);
    unsigned char *out = s.grey.pixels.data() + static_cast<std::size_t>(y0) * w;
    for (std::size_t i = 0, n = w * static_cast<std::size_t>(rows); i < n; ++i) {
        const unsigned char *p = rgba + 4 * i;
        const unsigned g = kind == kGreyRgb || kind == kGreyRgbAlpha ? rgb_to_grey(p[0], p[1], p[2]) : p[0];
        out[i] = kind == kGreyAlpha || kind == kGreyRgbAlpha ? compose_over_white(g, p[3]) : static_cast<unsigned char>(g);
    }
}

// Binarises the grey input at `threshold` (-1: Otsu's); the threshold used,
// -1 for 1-bit input, or a negative code below -1.
EMSCRIPTEN_KEEPALIVE int kw_threshold(int threshold, int invert) {
    int used = -1;
    const int r = guarded([&](Session &s) {
        if (!s.have_grey) {
            // A 1-bit file: only the inversion can change.
            if (s.have_image && (invert != 0) != s.invert) {
                s.image.bitmap.invert();
                s.invert = invert != 0;
                forget_result(s);
            }
            return kOk;
        }
        s.invert = invert != 0;
        binarise_input(s, threshold);
        forget_result(s);
        used = s.image.threshold;
        return kOk;
    });
    return r < 0 ? (r == kFailed ? -2 : r) : used;
}

EMSCRIPTEN_KEEPALIVE int kw_width() { return session().have_image ? session().image.bitmap.width : 0; }
EMSCRIPTEN_KEEPALIVE int kw_height() { return session().have_image ? session().image.bitmap.height : 0; }

// The binarised scan as RGBA for display: `w` x `h` output pixels from image
// position (x0, y0), each covering 2^level x 2^level image pixels, grey by
// the share of ink in it (`ink` is the level of a fully black pixel).
EMSCRIPTEN_KEEPALIVE void kw_scan_tile(int level, int x0, int y0, int w, int h, int ink, unsigned char *rgba) {
    Session &s = session();
    if (!s.have_image || level < 0 || level > 16) return;
    const PackedBitmap &b = s.image.bitmap;
    const int step = 1 << level;
    std::vector<std::uint32_t> count(static_cast<std::size_t>(w));
    for (int ty = 0; ty < h; ++ty) {
        std::fill(count.begin(), count.end(), 0u);
        int rows = 0;
        for (int dy = 0; dy < step; ++dy) {
            const long long y = static_cast<long long>(y0) + static_cast<long long>(ty) * step + dy;
            if (y < 0 || y >= b.height) continue;
            ++rows;
            const unsigned char *row = b.row(static_cast<int>(y));
            for (int tx = 0; tx < w; ++tx) {
                const long long xs = static_cast<long long>(x0) + static_cast<long long>(tx) * step;
                std::uint32_t c = 0;
                if (step >= 8 && xs % 8 == 0 && xs >= 0 && xs + step <= b.width) {
                    // Whole bytes (the padding bits past the width are 0).
                    for (long long k = xs >> 3, e = (xs + step) >> 3; k < e; ++k)
                        c += static_cast<std::uint32_t>(__builtin_popcount(row[k]));
                } else {
                    for (long long x = xs; x < xs + step; ++x)
                        if (x >= 0 && x < b.width && (row[x >> 3] & (0x80u >> (x & 7)))) ++c;
                }
                count[static_cast<std::size_t>(tx)] += c;
            }
        }
        const double cells = static_cast<double>(step) * step;
        unsigned char *out = rgba + static_cast<std::size_t>(ty) * w * 4;
        for (int tx = 0; tx < w; ++tx) {
            const double share = rows ? count[static_cast<std::size_t>(tx)] / cells : 0;
            const auto g = static_cast<unsigned char>(std::lround(255 - share * (255 - ink)));
            out[4 * tx] = out[4 * tx + 1] = out[4 * tx + 2] = g;
            out[4 * tx + 3] = 255;
        }
    }
}

// ---- options ---------------------------------------------------------------------------

// The options of `command` (its driver options, then post-processing, then
// how the SVG and DXF downloads draw the result) as a JSON list for the side
// panel: name, value placeholder, default, range, meaning, and whether it is
// a switch with a --no- form.
EMSCRIPTEN_KEEPALIVE const char *kw_options(const char *command) {
    Session &s = session();
    s.text.clear();
    const Command *c = find_command(command);
    if (!c) return s.text.c_str();
    const Settings defaults = command_defaults(*c);
    TextSink out;
    out.put('[');
    bool first = true;
    for (const OptionTable &t : {c->options, postprocess_options(), drawing_options()}) {
        for (const OptionDef *o = t.begin; o != t.end; ++o) {
            if (!first) out.put(',');
            first = false;
            out.put("{\"name\":").json_string(o->name);
            out.put(",\"group\":").json_string(t.heading);
            out.put(",\"metavar\":").json_string(o->metavar ? o->metavar : "");
            const double d = option_value(*o, defaults);
            out.put(",\"default\":");
            if (std::isnan(d)) out.put("null");
            else out.number(d);
            out.put(",\"default_text\":").json_string(o->default_text ? o->default_text : "");
            out.put(",\"min\":").number(o->min).put(",\"max\":").number(o->max);
            out.put(",\"switch\":").put(o->metavar ? "false" : "true");
            out.put(",\"negatable\":").put(o->negatable ? "true" : "false");
            out.put(",\"sets\":").json_string(o->sets ? o->sets : "");
            out.put(",\"help\":").json_string(o->help).put('}');
        }
    }
    out.put(']');
    s.text = out.text();
    return s.text.c_str();
}

// ---- vectorizing -----------------------------------------------------------------------

// Runs `command` with the options in `args` (one argument per line, as on
// the command line) on the binarised input, then, with --refine (the
// command's default but for outline-fast), the sub-pixel stage.  0, or the
// library's negative code (-1000: out of memory, also when the clean-up or
// the sub-pixel stage ran short of it), or -1 for options the program
// refuses; on failure the previous result and its history stay.
EMSCRIPTEN_KEEPALIVE int kw_vectorize(const char *command, const char *args) {
    return guarded([&](Session &s) {
        if (!s.have_image) throw CliError("no image loaded");
        const Command *c = find_command(command);
        if (!c) throw CliError(std::string("unknown command '") + command + "'", true);
        std::vector<std::string> words;
        for (const char *p = args; *p;) {
            const char *e = std::strchr(p, '\n');
            words.emplace_back(p, e ? static_cast<std::size_t>(e - p) : std::strlen(p));
            p = e ? e + 1 : p + std::strlen(p);
        }
        std::vector<char *> argv;
        for (std::string &w : words) argv.push_back(&w[0]);
        Settings settings = command_defaults(*c);
        parse_options(static_cast<int>(argv.size()), argv.data(), {c->options, postprocess_options(), drawing_options()},
                      settings);
        const PostProcessing post = postprocessing(settings);

        // The pre-cleaning works on the document in place: a copy of the
        // input, so that a second run starts from the same pixels.
        const PackedBitmap &input = s.image.bitmap;
        PackedBitmap work = allocate_bitmap(input.width, input.height);
        std::memcpy(work.bits.data(), input.bits.data(), input.bits.size());

        const Clock::time_point start = Clock::now();
        std::string json;
        ResultInfo info;
        {
            CKTVector v;
            v.msetdocument(work.bits.data(), work.width, work.height);
            // The sub-pixel stage measures the graph read back, below.
            Settings run = settings;
            run.refine = false;
            CKTRefiner unused;
            const int result = vectorize_document(*c, run, post, v, unused);
            s.driver_result = result;
            if (result == kNoMemory) throw CliError("out of memory while vectorizing");
            if (result < 0) throw CliError("vectorizing failed (library code " + std::to_string(result) + ")");
            // As the program: a partly cleaned graph is no result.
            if (v.mispostprocessincomplete())
                throw CliError("out of memory while cleaning up the vectors (result incomplete)");
            s.vectorize_ms = ms_since(start);
            info = result_info(*c, settings, s.image, post, s.source);
            VectorView view(v);
            TextSink sink;
            write_json(view, info, sink);
            json = sink.text();
        }
        // The edited graph is the file read back, as `ktvec edit` reads it.
        const Clock::time_point load_start = Clock::now();
        auto graph = std::make_unique<CKTVector>();
        LoadedResult loaded;
        {
            const JsonDocument doc(json);
            load_result(doc, *graph, loaded);
        }
        s.load_ms = ms_since(load_start);
        // The graph read back is measured as the program measures the
        // driver's: the same nodes in the same order, against the same ink.
        // Unedited, it is drawn as the refiner gives it.  Without the
        // sub-pixel geometry it is kept until that is switched on.
        UneditedResult before;
        Measured measured;
        std::unique_ptr<CKTVector> base;
        s.refine_ms = 0;
        if (settings.refine) {
            measured.refiner = refine_graph(s, *c, settings, work, *graph);
            before.take(*graph, measured.refiner.get(), lines_of(*c));
            measured.lines = std::make_unique<EditedGeometry>();
            measured.lines->compose(before, *graph, measured.refiner.get());
        } else {
            before.take(*graph, nullptr, lines_of(*c));
            base = std::make_unique<CKTVector>();
            if (base->mundo(graph.get()) != 0) throw CliError("out of memory while keeping the vectorized graph");
        }
        s.command = c;
        s.ink = std::move(work);
        s.graph = std::move(graph);
        s.loaded = std::move(loaded);
        s.info = std::move(info);
        s.before = std::move(before);
        s.base = std::move(base);
        s.refine = settings.refine;
        s.measured = std::move(measured);
        s.undo.clear();
        s.redo.clear();
        return kOk;
    });
}

// Switches the sub-pixel geometry on or off for the result as it stands,
// as --refine / --no-refine would have: the drawing and the exports follow,
// and so does the parameter the files record.  0, or -1000 (memory for the
// refiner could not be obtained; nothing changed).
EMSCRIPTEN_KEEPALIVE int kw_set_refine(int on) {
    return guarded([&](Session &s) {
        if (!s.graph) return kOk;
        double first_ms = 0;
        if (on && s.base) {
            // The result as vectorized, measured once: what edits are told from.
            const std::unique_ptr<CKTRefiner> r = refine_graph(s, *s.base);
            UneditedResult before;
            before.take(*s.base, r.get(), lines_of(*s.command));
            s.before = std::move(before);
            s.base.reset();
            first_ms = s.refine_ms;
        }
        s.measured = measure(s, on != 0);
        // Outlines are measured once, above: that is the switch's cost.
        if (s.refine_ms == 0) s.refine_ms = first_ms;
        s.refine = on != 0;
        for (auto &parameter : s.info.parameters)
            if (parameter.first == "refine") parameter.second = s.refine ? 1 : 0;
        return kOk;
    });
}

// Milliseconds of the last sub-pixel measurement (after a run, an edit, an
// undo or redo, or the switch); 0 when that measured nothing: an edit,
// undo or redo of outlines, or an undo or redo that took back the geometry
// its history entry kept.
EMSCRIPTEN_KEEPALIVE double kw_refine_ms() { return session().refine_ms; }
EMSCRIPTEN_KEEPALIVE double kw_vectorize_ms() { return session().vectorize_ms; }
EMSCRIPTEN_KEEPALIVE double kw_load_ms() { return session().load_ms; }
EMSCRIPTEN_KEEPALIVE int kw_threshold_used() { return session().image.threshold; }

// ---- reading the graph ----------------------------------------------------------------

// Live node and polyline counts as the JSON counts them; -1 without a graph.
EMSCRIPTEN_KEEPALIVE int kw_count(int which) {
    Session &s = session();
    if (!s.graph) return -1;
    const VectorView view(*s.graph);
    return which == 0 ? view.written_nodes() : view.live_polylines();
}

// The drawing of the graph, as doubles: the strokes the program's SVG
// draws (the refiner's lines while the sub-pixel geometry is on, else the
// nodes, fitted arcs, circles and spline samples), each live polyline's
// beside the facts that selecting and editing it need:
//   refined (0 or 1), polyline count, then per live polyline:
//     id, flag, modify, prev count, prev..., next count, next...,
//     node count, nodes..., its stroke;
//   then the count of the refiner's own lines (stroke ends and dots the
//   clean-up dropped, outline rings), each a stroke.
// A stroke: kind (0 path, 1 spline samples, 2 circle), closed, then
//   kind 0, 1: n, n x (x, y); kind 0 then m (0, or n - 1), m x (cx, cy, r,
//              sweep): the piece from point i to i + 1 is an arc when r > 0;
//   kind 2:    cx, cy, r.
// A polyline the refiner draws no line for (a single node) has an empty
// path.  Positions are in the node frame (a pixel's centre at integer
// coordinates); a drawer adds 0.5.  The nodes themselves (kw_nodes) stay
// the handles that edits move.
EMSCRIPTEN_KEEPALIVE int kw_geometry() {
    return guarded([&](Session &s) {
        std::vector<double> &g = s.geometry, strokes;
        g.clear();
        if (!s.graph) return 0;
        VectorView view(*s.graph);
        add_refined(s, view);
        // Every stroke once, where it starts in `strokes` by polyline id.
        constexpr std::size_t kNone = ~std::size_t(0);
        std::vector<std::size_t> at(static_cast<std::size_t>(view.polyline_slots()) + 1, kNone);
        std::vector<std::size_t> own;
        for_each_stroke(view, [&](const Stroke &k) {
            if (k.id > 0) at[static_cast<std::size_t>(k.id)] = strokes.size();
            else own.push_back(strokes.size());
            const int kind = k.kind == Stroke::Kind::Circle ? 2 : k.kind == Stroke::Kind::Samples ? 1 : 0;
            strokes.insert(strokes.end(), {double(kind), k.closed ? 1.0 : 0.0});
            if (kind == 2) {
                strokes.insert(strokes.end(), {k.circle.cx, k.circle.cy, k.circle.r});
                return;
            }
            strokes.push_back(double(k.points.size()));
            for (const DrawPoint &p : k.points) strokes.insert(strokes.end(), {p.x, p.y});
            if (kind == 1) return;
            strokes.push_back(double(k.pieces.size()));
            for (const ArcPiece &a : k.pieces) strokes.insert(strokes.end(), {a.cx, a.cy, a.r, a.sweep ? 1.0 : 0.0});
        });
        auto put_stroke = [&](std::size_t from) {
            if (from == kNone) {
                g.insert(g.end(), {0.0, 0.0, 0.0, 0.0});  // an empty path
                return;
            }
            const std::size_t kind = static_cast<std::size_t>(strokes[from]);
            std::size_t end = from + 2;
            if (kind == 2) {
                end += 3;
            } else {
                end += 1 + 2 * static_cast<std::size_t>(strokes[end]);
                if (kind == 0) end += 1 + 4 * static_cast<std::size_t>(strokes[end]);
            }
            g.insert(g.end(), strokes.begin() + static_cast<std::ptrdiff_t>(from), strokes.begin() + static_cast<std::ptrdiff_t>(end));
        };
        auto put_list = [&](const int *v, int n) {
            g.push_back(n);
            for (int i = 0; i < n; ++i) g.push_back(v[i]);
        };
        g.insert(g.end(), {view.refined() ? 1.0 : 0.0, 0.0});
        int count = 0;
        for (int id = 1, n = view.polyline_slots(); id <= n; ++id) {
            const _KTPOLYLINE &p = view.polyline(id);
            if (p.deleted || p.nodenum < 1 || !p.nodeindex) continue;
            ++count;
            g.insert(g.end(), {double(id), double(p.flag), double(p.modify)});
            put_list(p.prev, p.prevnum);
            put_list(p.next, p.nextnum);
            put_list(p.nodeindex, p.nodenum);
            put_stroke(at[static_cast<std::size_t>(id)]);
        }
        g[1] = count;
        g.push_back(double(own.size()));
        for (const std::size_t from : own) put_stroke(from);
        return static_cast<int>(g.size());
    });
}
EMSCRIPTEN_KEEPALIVE const double *kw_geometry_data() { return session().geometry.data(); }

// Every node slot as four ints: x, y, link count, deleted.  The count of
// slots, or -1 without a graph.
EMSCRIPTEN_KEEPALIVE int kw_nodes() {
    Session &s = session();
    s.nodes.clear();
    if (!s.graph) return -1;
    CKTVector &v = *s.graph;
    const int n = v.mgetnodenum();
    s.nodes.resize(static_cast<std::size_t>(n) * 4);
    for (int i = 0; i < n; ++i) {
        const _KTNODE &nd = *v.mgetnode(i);
        std::int32_t *o = &s.nodes[static_cast<std::size_t>(i) * 4];
        o[0] = nd.x, o[1] = nd.y, o[2] = nd.linknum, o[3] = nd.deleted;
    }
    return n;
}
EMSCRIPTEN_KEEPALIVE const std::int32_t *kw_nodes_data() { return session().nodes.data(); }

// ---- editing ---------------------------------------------------------------------------

// Applies one op of the edit script (a JSON object, as `ktvec edit --ops`
// takes it) and measures the sub-pixel geometry of the edited graph.  0
// done; -1 refused (kw_message names the op, the call and the library's
// code); -1000 out of memory.  A refused op leaves the graph as it was
// before it: the library does not roll back, the snapshot does.
EMSCRIPTEN_KEEPALIVE int kw_apply(const char *op_json) {
    return guarded([&](Session &s) {
        if (!s.graph) throw CliError("nothing to edit: vectorize first");
        const std::string text = std::string("{\"ops\":[") + op_json + "]}";
        std::vector<Op> ops;
        {
            const JsonDocument doc(text);
            ops = parse_ops(doc);
        }
        if (ops.size() != 1 || ops[0].kind == OpKind::Undo) throw CliError("one op, not undo, at a time");
        // Room for the entry made below, before anything changes.
        s.undo.reserve(s.undo.size() + 1);
        std::string op = op_json;
        auto before = std::make_unique<CKTVector>();
        if (before->mundo(s.graph.get()) != 0) throw CliError("out of memory: no room to keep the graph for undo, nothing changed");
        Measured measured;
        try {
            apply_ops(ops, *s.graph);
            measured = measure(s, s.refine);
        } catch (...) {
            restore_graph(s, before);
            throw;
        }
        keep_measured(s.undo, {std::move(op), std::move(before), {}}, std::move(s.measured));
        s.measured = std::move(measured);
        s.redo.clear();
        trim_history(s);
        return kOk;
    });
}

// Undo / redo one op, its sub-pixel geometry measured again unless the
// entry kept it: 0 done, 1 nothing to take back or to do again, -1000 out
// of memory (nothing changed).
EMSCRIPTEN_KEEPALIVE int kw_undo(int redo) {
    return guarded([&](Session &s) {
        std::vector<HistoryEntry> &from = redo ? s.redo : s.undo;
        std::vector<HistoryEntry> &to = redo ? s.undo : s.redo;
        if (!s.graph || from.empty() || !from.back().snapshot) return 1;
        to.reserve(to.size() + 1);  // room for the entry made below, before anything changes
        auto current = std::make_unique<CKTVector>();
        if (current->mundo(s.graph.get()) != 0) throw CliError("out of memory: cannot keep the graph for redo");
        Measured measured;
        const int copied = s.graph->mundo(from.back().snapshot.get());
        try {
            if (copied != 0) throw CliError("out of memory while undoing");
            if (s.refine && from.back().measured.lines) {
                // The graph is the snapshot again, as it was measured.
                measured = std::move(from.back().measured);
                s.refine_ms = 0;
            } else {
                measured = measure(s, s.refine);
            }
        } catch (...) {
            restore_graph(s, current);
            throw;
        }
        std::string op = std::move(from.back().op);
        from.pop_back();
        keep_measured(to, {std::move(op), std::move(current), {}}, std::move(s.measured));
        s.measured = std::move(measured);
        return 0;
    });
}

EMSCRIPTEN_KEEPALIVE int kw_undo_depth(int redo) {
    const std::vector<HistoryEntry> &h = redo ? session().redo : session().undo;
    int n = 0;
    for (auto it = h.rbegin(); it != h.rend() && it->snapshot; ++it) ++n;
    return n;
}

// The effective edit script: the applied ops still on the undo side.
EMSCRIPTEN_KEEPALIVE const char *kw_script() {
    Session &s = session();
    s.text = "{\"ops\":[";
    for (std::size_t i = 0; i < s.undo.size(); ++i) s.text += (i ? ",\n" : "\n") + s.undo[i].op;
    s.text += "\n]}\n";
    return s.text.c_str();
}

// ---- picking ---------------------------------------------------------------------------

// The live node nearest to (x, y) within `radius` pixels, or -1.
EMSCRIPTEN_KEEPALIVE int kw_pick_node(double x, double y, double radius) {
    Session &s = session();
    if (!s.graph) return -1;
    CKTVector &v = *s.graph;
    int best = -1;
    double best_d = radius;
    for (int i = 0, n = v.mgetnodenum(); i < n; ++i) {
        const _KTNODE &nd = *v.mgetnode(i);
        if (nd.deleted) continue;
        const double d = std::hypot(nd.x - x, nd.y - y);
        if (d <= best_d) {
            best = i;
            best_d = d;
        }
    }
    return best;
}

// ---- exporting -------------------------------------------------------------------------

// The graph in `format` ("svg", "json", "dxf") through the program's
// writers; the text in kw_text, its size the result, or a negative code.
EMSCRIPTEN_KEEPALIVE int kw_export(const char *format) {
    return guarded([&](Session &s) {
        if (!s.graph) throw CliError("nothing to export: vectorize first");
        OutputFormat f;
        if (!format_from_name(format, f)) throw CliError(std::string("unknown format '") + format + "'");
        VectorView view(*s.graph);
        add_refined(s, view);
        TextSink sink;
        write_result(f, view, s.info, sink);
        s.text = sink.text();
        return static_cast<int>(s.text.size());
    });
}

}  // extern "C"
