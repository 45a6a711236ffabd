// The vectorizing commands end to end: each failure is one line naming the
// file and the problem, with exit status 1 (input, output) or 2 (command
// line) and no file under any output name; a run writes what the library
// computes with the arguments its options name, post-processed in the
// documented order.  Most runs are in-process; a few run the built program
// for what only a process shows (exit status, standard input, a header that
// talks it into a huge allocation).
#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <functional>
#include <map>
#include <thread>

#include "image.h"
#include "postprocess.h"
#include "preclean.h"
#include "result_loader.h"
#include "support.h"
#include "text_sink.h"
#include "vector_view.h"
#include "writers.h"

using namespace ktvcli;

namespace {

// One line with the program's prefix containing `problem`, nothing on
// standard output.
void expect_one_line(const RunResult &r, const std::string &problem) {
    EXPECT_EQ(r.err.rfind("ktvec: ", 0), 0u) << r.err;
    EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
    EXPECT_NE(r.err.find(problem), std::string::npos) << r.err;
    EXPECT_TRUE(r.out.empty()) << r.out.substr(0, 200);
}

// The graph part of a JSON result, everything from "counts" on.
std::string graph_of(const std::string &json) {
    const std::size_t at = json.find("\"counts\"");
    return at == std::string::npos ? json : json.substr(at);
}

// The library's graph for the decoded file after `calls`, as JSON.
std::string library_graph(const std::string &path, const std::function<int(CKTVector &)> &calls) {
    LoadedImage image = read_image(path, {});
    CKTVector v;
    v.msetdocument(image.bitmap.bits.data(), image.bitmap.width, image.bitmap.height);
    EXPECT_EQ(calls(v), 0);
    VectorView view(v);
    TextSink sink;
    write_json(view, ResultInfo{}, sink);
    return graph_of(sink.text());
}

// A command's JSON for `input` with `options`, written in-process.
std::string run_json(const std::string &command, const std::string &input, std::vector<std::string> options,
                     const TempDir &dir) {
    std::vector<std::string> args = {command, input, "-q", "-o", dir / "r.json"};
    args.insert(args.end(), options.begin(), options.end());
    const RunResult r = run_here(args);
    EXPECT_EQ(r.status, 0) << r.err;
    return read_bytes(dir / "r.json");
}

}  // namespace

TEST(Program, FailuresAreOneLineAndLeaveNoOutput) {
    const std::string good = pbm_raw(sample_drawing());
    const std::string png = png_of(sample_drawing(), PngKind::Grey8);
    const struct {
        const char *name;
        std::string file;
        std::vector<std::string> extra;
        int status;
        std::string problem;
    } cases[] = {
        {"empty.pbm", "", {}, 1, "empty.pbm: empty file"},
        {"trunc.pbm", good.substr(0, good.size() - 5), {}, 1, "trunc.pbm: truncated PBM data"},
        {"trunc.png", png.substr(0, png.size() / 2), {}, 1, "trunc.png: truncated PNG data"},
        {"magic.png", "GIF89a....", {}, 1, "magic.png: unsupported image format GIF"},
        {"lying.pbm", "P4\n40000 40000\n\x01\x02", {}, 1, "lying.pbm: image of 40000x40000 pixels exceeds the limit"},
        {"small.pbm", good, {"--max-pixels", "100"}, 1, "small.pbm: image of 61x43 pixels exceeds the limit of 100"},
        {"opt1.pbm", good, {"--nodesearch", "3"}, 2, "--nodesearch: '3' is out of range"},
        {"opt2.pbm", good, {"--frobnicate"}, 2, "unknown option '--frobnicate' (see 'ktvec outline-fast --help')"},
        {"opt3.pbm", good, {"--format", "xml"}, 2, "--format: 'xml' is not svg, json or dxf"},
        {"opt4.pbm", good, {"-o", "x.txt"}, 2, "cannot tell the output format"},
        {"opt5.pbm", good, {"--background", "--format", "json"}, 2, "--background needs an SVG output"},
        {"opt6.pbm", good, {"another.pbm"}, 2, "more than one input file"},
        {"opt7.pbm", good, {"--units", "mm", "-o", "x.dxf"}, 2, "--units mm needs the resolution"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        TempDir dir;
        write_bytes(dir / c.name, c.file);
        write_bytes(dir / "keep.svg", "old");
        std::vector<std::string> args = {"outline-fast", dir / c.name, "-o", dir / "out.svg", "-o", dir / "keep.svg"};
        args.insert(args.end(), c.extra.begin(), c.extra.end());
        const RunResult r = run_here(args);
        EXPECT_EQ(r.status, c.status);
        expect_one_line(r, c.problem);
        std::vector<std::string> left = {"keep.svg", c.name};
        std::sort(left.begin(), left.end());
        EXPECT_EQ(dir.names(), left);
        EXPECT_EQ(read_bytes(dir / "keep.svg"), "old");
    }
    TempDir dir;
    write_bytes(dir / "d.pbm", good);
    write_bytes(dir / "file", "x");
    const struct {
        std::vector<std::string> args;
        int status;
        std::string problem;
    } places[] = {
        {{"outline-fast", dir / "nope.png", "-o", dir / "a.svg"}, 1, "nope.png: cannot open (No such file or directory)"},
        {{"outline-fast", dir / "file/in.pbm", "-o", dir / "a.svg"}, 1, "file/in.pbm: cannot open"},
        {{"outline-fast", dir.path(), "-o", dir / "a.svg"}, 1, "is a directory, not an image"},
        {{"outline-fast", "", "-o", dir / "a.svg"}, 2, "no input file"},
        {{"outline-fast", dir / "d.pbm", "-o", dir / "missing/a.svg"}, 1, "missing/a.svg: cannot create file (No such file or directory)"},
        {{"outline-fast", dir / "d.pbm", "-o", dir / "a.svg", "-o", dir / "file/a.json"}, 1, "file/a.json: cannot create file"},
        {{"outline-fast", dir / "d.pbm", "--format", "svg", "-o", dir.path()}, 1, "is a directory"},
        {{"outline-fast", dir / "d.pbm", "-o", dir.path()}, 2, "cannot tell the output format"},
        {{"outline-fast", dir / "d.pbm"}, 2, "no output file"},
        {{"outline-fast", "-o", dir / "a.svg"}, 2, "no input file"},
        {{"centreline", dir / "d.pbm"}, 2, "unknown command 'centreline'"},
        {{"centerline", dir / "d.pbm", "-o", dir / "a.svg", "--spur-nodes", "3"}, 2, "(see 'ktvec centerline --help')"},
    };
    for (const auto &c : places) {
        const RunResult r = run_here(c.args);
        EXPECT_EQ(r.status, c.status) << c.problem;
        expect_one_line(r, c.problem);
    }
    EXPECT_EQ(dir.names(), (std::vector<std::string>{"d.pbm", "file"}));
}

TEST(Program, RealProcessesExitWithTheStatusAndReadStandardInput) {
    TempDir dir;
    write_bytes(dir / "d.pbm", pbm_plain(sample_drawing()));
    write_bytes(dir / "empty.pbm", "");
    RunResult r = run_ktvec({"outline-fast", dir / "empty.pbm", "-o", dir / "a.svg"});
    EXPECT_EQ(r.status, 1);
    expect_one_line(r, "empty.pbm: empty file");
    r = run_ktvec({"outline-fast", dir / "d.pbm", "-o", dir / "a.svg", "--tolerance", "nan"});
    EXPECT_EQ(r.status, 2);
    expect_one_line(r, "--tolerance: 'nan' is out of range");
    r = run_ktvec({});
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("usage:"), std::string::npos);
    // '-' reads standard input (an empty one is refused like an empty file),
    // here a pipe that brings more than the first read block in a short
    // piece and then the rest: no read may run past the block.
    std::string piped = pbm_plain(sample_drawing());
    piped.insert(3, "#" + std::string(70000, '.') + "\n");
    ASSERT_EQ(::mkfifo((dir / "pipe").c_str(), 0600), 0);
    std::thread writer([&] {
        const int fd = ::open((dir / "pipe").c_str(), O_WRONLY);
        EXPECT_EQ(::write(fd, piped.data(), 1000), 1000);
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        EXPECT_EQ(::write(fd, piped.data() + 1000, piped.size() - 1000), static_cast<ssize_t>(piped.size() - 1000));
        ::close(fd);
    });
    r = run_ktvec({"outline-fast", "-", "--format", "json", "-o", "-", "-q"}, dir / "pipe");
    writer.join();
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(JsonDocument(r.out).root().member("source").text(), "<stdin>");
    const std::string plain = run_json("outline-fast", dir / "d.pbm", {}, dir);
    EXPECT_EQ(r.out.substr(r.out.find("\"image\"")), plain.substr(plain.find("\"image\"")));
    expect_one_line(run_ktvec({"outline-fast", "-", "-o", dir / "a.svg"}, dir / "empty.pbm"), "<stdin>: empty file");
    // A header that asks for ten gigapixels is refused before anything is
    // allocated, in an address space far too small for them.
    write_bytes(dir / "huge.pbm", "P4\n100000 100000\n");
    rlimit saved{};
    getrlimit(RLIMIT_AS, &saved);
#if !defined(__SANITIZE_ADDRESS__)
    rlimit lower = saved;
    lower.rlim_cur = std::min<rlim_t>(saved.rlim_max, 768ull << 20);
    setrlimit(RLIMIT_AS, &lower);
#endif
    r = run_ktvec({"outline-fast", dir / "huge.pbm", "-o", dir / "a.svg"});
    setrlimit(RLIMIT_AS, &saved);
    EXPECT_EQ(r.status, 1);
    expect_one_line(r, "exceeds the limit of 1000000000 pixels");
    EXPECT_EQ(dir.names(), (std::vector<std::string>{"d.pbm", "empty.pbm", "huge.pbm", "pipe", "r.json"}));
}

TEST(Program, HelpNamesEveryCommandAndOption) {
    RunResult r = run_here({"--help"});
    EXPECT_EQ(r.status, 0);
    for (const char *c : {"\n  centerline ", "\n  outline ", "\n  outline-fast ", "\n  edit ", "\n  batch ", "PBM", "PNG", "TIFF"})
        EXPECT_NE(r.out.find(c), std::string::npos) << c;
    for (const char *command : {"centerline", "outline", "outline-fast"}) {
        r = run_here({command, "-h"});
        EXPECT_EQ(r.status, 0);
        for (const char *o : {"--tolerance", "--threshold", "--format", "--max-pixels", "--arcs", "[default: "})
            EXPECT_NE(r.out.find(o), std::string::npos) << command << " " << o;
    }
    EXPECT_NE(r.out.find("without post-processing"), std::string::npos);  // the last one asked
    r = run_here({"--version"});
    EXPECT_EQ(r.status * 10 + r.out.rfind("ktvec ", 0), 0u);
}

TEST(Program, FormatsStandardOutputQuietInvertPipesAndBackground) {
    TempDir dir;
    Bitmap b = sample_drawing();
    write_bytes(dir / "d.pbm", pbm_plain(b));
    // --format decides over the extension; '-' is standard output; -q
    // silences the summary.
    RunResult r = run_here({"outline-fast", dir / "d.pbm", "--format", "json", "-o", "-", "-q"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(r.err.empty()) << r.err;
    const std::string plain = r.out;
    const JsonDocument doc(plain);
    EXPECT_EQ(doc.root().member("command").text(), "outline-fast");
    // Without -q, one summary line: the input, its size and format, the counts.
    r = run_here({"outline-fast", dir / "d.pbm", "-o", dir / "s.svg"});
    const JsonValue counts = doc.root().member("counts");
    EXPECT_NE(r.err.find("d.pbm (61x43 PBM): " + std::to_string(std::lround(counts.member("nodes").number())) + " nodes, " +
                         std::to_string(std::lround(counts.member("polylines").number())) + " polylines, "),
              std::string::npos) << r.err;
    EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1);
    // White on black, inverted, gives the same result.
    Bitmap neg(b.width, b.height);
    for (int y = 0; y < b.height; ++y)
        for (int x = 0; x < b.width; ++x) neg.set(x, y, !b.get(x, y));
    write_bytes(dir / "neg.pbm", pbm_raw(neg));
    r = run_here({"outline-fast", dir / "neg.pbm", "--invert", "--format", "json", "-o", "-", "-q"});
    EXPECT_EQ(r.out.substr(r.out.find("\"image\"")), plain.substr(plain.find("\"image\"")));
    // A pipe is written in place, never replaced by a renamed file.
    ASSERT_EQ(::mkfifo((dir / "pipe").c_str(), 0600), 0);
    std::string piped;
    std::thread reader([&] { piped = read_bytes(dir / "pipe"); });
    r = run_here({"outline-fast", dir / "d.pbm", "--format", "svg", "-o", dir / "pipe", "-q"});
    if (r.status != 0) {  // the pipe was never opened: release the reader
        const int fd = ::open((dir / "pipe").c_str(), O_WRONLY | O_NONBLOCK);
        if (fd >= 0) ::close(fd);
    }
    reader.join();
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_NE(piped.find("</svg>"), std::string::npos);
    struct stat st {};
    ASSERT_EQ(::stat((dir / "pipe").c_str(), &st), 0);
    EXPECT_TRUE(S_ISFIFO(st.st_mode));
    r = run_here({"outline-fast", dir / "d.pbm", "-o", dir / "bg.svg", "--background", "-q"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(read_bytes(dir / "bg.svg").find("data:image/png;base64,"), std::string::npos);
    // DXF by extension (any case) or --format, in the units asked for.
    ASSERT_EQ(run_here({"centerline", dir / "d.pbm", "-o", dir / "a.DXF", "--dpi", "300", "-q"}).status, 0);
    EXPECT_NE(read_bytes(dir / "a.DXF").find("$INSUNITS\n 70\n4\n"), std::string::npos);
    ASSERT_EQ(run_here({"outline", dir / "d.pbm", "-o", dir / "b.txt", "--format", "dxf", "--units", "px", "-q"}).status, 0);
    EXPECT_NE(read_bytes(dir / "b.txt").find("$INSUNITS\n 70\n0\n"), std::string::npos);
}

TEST(Program, EachCommandRunsItsDriverWithItsOptionsAndRecordsThem) {
    TempDir dir;
    write_bytes(dir / "d.pbm", pbm_raw(stroke_drawing()));
    const std::string json =
        run_json("centerline", dir / "d.pbm", {"--no-connect", "--straightness", "0.8", "--maxlength", "8", "--no-refine"}, dir);
    EXPECT_EQ(graph_of(json), library_graph(dir / "d.pbm", [](CKTVector &v) { return v.mabstractcenterline(27, 8, 3, 8, 0.8, 4, 1); }));
    const JsonDocument doc(json);
    const JsonValue p = doc.root().member("parameters");
    const std::pair<const char *, double> want[] = {
        {"cut-spurs", 1},       {"maxlength", 8},     {"tolerance", 1},      {"bridge-gaps", 1},   {"bridge-radius", 8},
        {"straightness", 0.8},  {"merge-ends", 1},    {"merge-radius", 3},   {"merge-junctions", 1},
        {"junction-link", 4},   {"connect", 0},       {"part-pairs", kDefaultPartPairs ? 1.0 : 0.0},
        {"despeckle", static_cast<double>(kDefaultDespeckle)},
        {"fill-holes", static_cast<double>(kDefaultFillHoles)}, {"keep-cells", kDefaultKeepCells ? 1.0 : 0.0},
        {"smooth", kDefaultSmooth ? 1.0 : 0.0},
        {"refine", 0},
    };
    EXPECT_EQ(p.size(), sizeof want / sizeof want[0]);
    for (const auto &w : want) EXPECT_EQ(p.member(w.first).number(), w.second) << w.first;
    // The bundled sheet as outlines, pre-cleaning off so that the library
    // here sees the same pixels, and unrefined.
    EXPECT_EQ(graph_of(run_json("outline", KTVEC_SAMPLE_PNG, {"--spur-nodes", "3", "--maxlength", "6", "--tolerance", "1",
                                                              "--nodesearch", "0", "--fill-holes", "0", "--no-refine"}, dir)),
              library_graph(KTVEC_SAMPLE_PNG, [](CKTVector &v) { return v.mabstractoutline(6, 3, 1.0, 0); }));
}

TEST(Program, PostProcessingRunsEachCallInTheDocumentedOrder) {
    TempDir dir;
    write_bytes(dir / "c.pbm", pbm_raw(fitting_drawing()));
    auto splines = [](CKTVector &v, int division) {
        v.msetmodify(static_cast<unsigned char>(0));
        for (int id = 1; id <= v.mgetpolylinenum(); ++id)
            if (!v.mgetpolyline(id)->deleted) v.msetspline(id), v.mspline(id, division);
    };
    auto centerline = [](CKTVector &v) { return v.mabstractcenterline(31, 4, 3, 8, 0.9, 4, 1.5); };
    const struct {
        std::vector<std::string> options;
        std::function<void(CKTVector &)> post;
    } cases[] = {
        {{"--arcs", "2,400"}, [](CKTVector &v) { v.marcall(2, 400); }},
        {{"--circles", "30"}, [](CKTVector &v) { v.mfitcircleall(30); }},
        {{"--splines", "3"}, [&](CKTVector &v) { splines(v, 3); }},
        {{"--simplify", "4,25"},
         [](CKTVector &v) {
             for (int k = 0, before = -1; k < kSimplifyRounds && live_nodes(v) != before; ++k) {
                 before = live_nodes(v);
                 v.mnearpointall(4, 25 * M_PI / 180);
             }
         }},
        {{"--splines", "2", "--same-curvature", "0.1", "--arcs", "1,1000", "--circles", "30"},
         [&](CKTVector &v) {
             v.mfitcircleall(30);
             v.marcall(1, 1000);
             for (int k = 0, before = -1; k < kSimplifyRounds && live_nodes(v) != before; ++k) {
                 before = live_nodes(v);
                 v.msamecurvatureall(0.1);
             }
             splines(v, 2);
         }},
    };
    // The library's graph, unrefined, at the tolerance the calls are given.
    std::vector<std::string> base = {"--no-refine", "--tolerance", "1.5"};
    const std::string plain = graph_of(run_json("centerline", dir / "c.pbm", base, dir));
    for (const auto &c : cases) {
        SCOPED_TRACE(c.options[0]);
        std::vector<std::string> options = base;
        options.insert(options.end(), c.options.begin(), c.options.end());
        const std::string got = graph_of(run_json("centerline", dir / "c.pbm", options, dir));
        EXPECT_EQ(got, library_graph(dir / "c.pbm", [&](CKTVector &v) {
                      const int r = centerline(v);
                      c.post(v);
                      return r;
                  }));
        EXPECT_NE(got, plain) << "the option changed nothing";
    }
    // After --simplify one more pass of the library drops nothing; the
    // JSON records the step.
    CKTVector v;
    LoadedResult loaded;
    load_result(JsonDocument(run_json("outline", KTVEC_SAMPLE_PNG, {"--simplify", "6,40"}, dir)), v, loaded);
    const int before = live_nodes(v);
    v.mnearpointall(6, 40 * M_PI / 180);
    EXPECT_EQ(live_nodes(v), before);
    const JsonDocument r = json_file(dir / "r.json");
    const JsonValue p = r.root().member("parameters");
    EXPECT_EQ(p.member("simplify-dist").number() * 100 + p.member("simplify-angle").number(), 640);
    // Fitted circles are <circle> in the SVG, everything else a path.
    ASSERT_EQ(run_here({"centerline", dir / "c.pbm", "-q", "--circles", "40", "--splines", "4", "-o", dir / "c.json",
                        "-o", dir / "c.svg"}).status, 0);
    const std::string svg = read_bytes(dir / "c.svg");
    EXPECT_EQ(occurrences(svg, "<circle"), 1u);
    EXPECT_EQ(occurrences(svg, "<path") + 1, json_file(dir / "c.json").root().member("polylines").size());
    int circles = 0;
    const JsonDocument c = json_file(dir / "c.json");
    for (JsonValue q = c.root().member("polylines").first(); q.valid(); q = q.next()) {
        if (!q.member("circle").valid()) continue;
        ++circles;
        EXPECT_NEAR(q.member("circle").member("cx").number(), 40, 1.5);  // the ring about (40, 45), radius 24
        EXPECT_NEAR(q.member("circle").member("cy").number(), 45, 1.5);
        EXPECT_NEAR(q.member("circle").member("r").number(), 24, 1.5);
    }
    EXPECT_EQ(circles, 1);
}

TEST(Program, PinholesAreFilledForCentreLinesByDefault) {
    // A pinhole in a thick bar is a loop of the centre lines unless it is
    // filled; outlines keep it as a ring of its own unless asked.
    Bitmap bar(90, 30);
    for (int y = 10; y < 21; ++y)
        for (int x = 10; x < 80; ++x) bar.set(x, y, x != 45 || y != 15);
    TempDir dir;
    write_bytes(dir / "bar.pbm", pbm_raw(bar));
    auto polylines = [&](const std::string &command, std::vector<std::string> extra, const char *file = "bar.pbm") {
        return JsonDocument(run_json(command, dir / file, extra, dir)).root().member("counts").member("polylines").number();
    };
    EXPECT_EQ(polylines("centerline", {}), 1);
    EXPECT_EQ(json_file(dir / "r.json").root().member("parameters").member("fill-holes").number(), kDefaultFillHoles);
    EXPECT_GT(polylines("centerline", {"--fill-holes", "0"}), 1);
    const double kept = polylines("outline", {});
    EXPECT_EQ(json_file(dir / "r.json").root().member("parameters").member("fill-holes").number(), 0);
    EXPECT_LT(polylines("outline", {"--fill-holes", "4"}), kept);

    // A file of 8 MB or more is mapped, and the hole is filled in the
    // mapping's own copy of its pages: the file stays as it was.
    Bitmap page(8200, 8200);
    for (int y = 0; y < bar.height; ++y)
        for (int x = 0; x < bar.width; ++x) page.set(x, y, bar.get(x, y));
    const std::string large = pbm_raw(page);
    write_bytes(dir / "page.pbm", large);
    EXPECT_EQ(polylines("centerline", {}, "page.pbm"), 1);
    EXPECT_TRUE(read_bytes(dir / "page.pbm") == large);
}

#ifdef KTVEC_HAVE_TIFF
TEST(Program, EveryPageOfATiffHasItsOutputs) {
    TempDir dir;
    const Bitmap first = sample_drawing(), second = stroke_drawing();
    write_bytes(dir / "scan.tif", tiff_of({Page{&first}, Page{&second}}));
    ASSERT_EQ(run_here({"centerline", dir / "scan.tif", "-o", dir / "scan.json", "-q"}).status, 0);
    EXPECT_EQ(dir.names(), (std::vector<std::string>{"scan-p1.json", "scan-p2.json", "scan.tif"}));
    EXPECT_EQ(json_file(dir / "scan-p2.json").root().member("image").member("width").number(), 120);
    const std::string two = run_json("outline", dir / "scan.tif", {"--page", "2", "--dpi", "300"}, dir);
    EXPECT_NE(two.find("\"width\":120"), std::string::npos);
    EXPECT_NE(two.find("\"format\":\"TIFF\""), std::string::npos);
    EXPECT_NE(two.find("\"dpi\":300"), std::string::npos);
    const RunResult r = run_here({"outline", dir / "scan.tif", "--page", "3", "-o", dir / "three.json"});
    EXPECT_EQ(r.status, 1);
    expect_one_line(r, "page 3 asked for, the file has 2 pages");
}
#endif
