// The program end to end: every failure is one line on stderr naming the
// file and the problem, a non-zero exit, and no file under the output name;
// a successful run writes SVG and JSON that agree with the library run
// in-process on the same bitmap.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <thread>

#include "json.h"
#include "tool_support.h"

namespace {

// One line, prefixed, containing `problem`.
void expect_one_line(const RunResult &r, const std::string &problem) {
    EXPECT_EQ(r.err.rfind("ktvec: ", 0), 0u) << r.err;
    EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
    EXPECT_NE(r.err.find(problem), std::string::npos) << r.err;
    EXPECT_TRUE(r.out.empty()) << r.out;
}

struct Failure {
    const char *name;
    std::string file;   // contents of the input (not written when null name)
    std::vector<std::string> extra;
    int status;
    std::string problem;
};

}  // namespace

TEST(Cli, FailuresLeaveNothingBehind) {
    const std::string good = pbm_raw(sample_drawing());
    const std::string png = png_of(sample_drawing(), PngKind::Grey8);
    const Failure cases[] = {
        {"empty.pbm", "", {}, 1, "empty.pbm: empty file"},
        {"trunc.pbm", good.substr(0, good.size() - 5), {}, 1, "trunc.pbm: truncated PBM data"},
        {"trunc.png", png.substr(0, png.size() / 2), {}, 1, "trunc.png: truncated PNG data"},
        {"magic.png", "GIF89a....", {}, 1, "magic.png: unsupported image format GIF"},
        {"text.pbm", "hello", {}, 1, "text.pbm: not an image"},
        {"lying.pbm", "P4\n40000 40000\n\x01\x02", {}, 1, "lying.pbm: image of 40000x40000 pixels exceeds the limit"},
        {"short.pbm", "P4\n4000 4000\n\x01\x02", {}, 1, "short.pbm: truncated PBM data"},
        {"small.pbm", good, {"--max-pixels", "100"}, 1, "small.pbm: image of 61x43 pixels exceeds the limit of 100"},
        {"opt1.pbm", good, {"--tolerance", "abc"}, 2, "--tolerance: 'abc' is not a number"},
        {"opt2.pbm", good, {"--nodesearch", "3"}, 2, "--nodesearch: '3' is out of range"},
        {"opt3.pbm", good, {"--frobnicate"}, 2, "unknown option '--frobnicate'"},
        {"opt4.pbm", good, {"--format", "xml"}, 2, "--format: 'xml' is not svg, json or dxf"},
        {"opt5.pbm", good, {"-o", "x.txt"}, 2, "cannot tell the output format"},
        {"opt6.pbm", good, {"--background", "--format", "json"}, 2, "--background needs an SVG output"},
        {"opt7.pbm", good, {"another.pbm"}, 2, "more than one input file"},
    };
    for (const Failure &c : cases) {
        SCOPED_TRACE(c.name);
        TempDir dir;
        write_bytes(dir / c.name, c.file);
        write_bytes(dir / "keep.svg", "old");
        std::vector<std::string> args = {"outline-fast", dir / c.name, "-o", dir / "out.svg", "-o", dir / "keep.svg"};
        args.insert(args.end(), c.extra.begin(), c.extra.end());
        const RunResult r = run_ktvec(args);
        EXPECT_EQ(r.status, c.status);
        expect_one_line(r, c.problem);
        std::vector<std::string> left = {"keep.svg", c.name};
        std::sort(left.begin(), left.end());
        EXPECT_EQ(dir.names(), left);
        EXPECT_EQ(read_bytes(dir / "keep.svg"), "old");
    }
}

// Bad values of the driver options of every command: exit status 2, one
// line naming the option, nothing written.
TEST(Cli, DriverOptionsRefuseBadValues) {
    const struct {
        const char *command;
        std::vector<std::string> extra;
        std::string problem;
    } cases[] = {
        {"centerline", {"--straightness", "2"}, "--straightness: '2' is out of range (0 to 1)"},
        {"centerline", {"--merge-radius", "near"}, "--merge-radius: 'near' is not a number"},
        {"centerline", {"--bridge-radius", "-3"}, "--bridge-radius: '-3' is out of range"},
        {"centerline", {"--junction-link="}, "--junction-link: missing value"},
        {"centerline", {"--maxlength", "4.5"}, "--maxlength: '4.5' is not a whole number"},
        {"centerline", {"--tolerance"}, "--tolerance needs a value"},
        {"centerline", {"--no-connect=0"}, "--no-connect takes no value"},
        {"centerline", {"--spur-nodes", "3"}, "unknown option '--spur-nodes'"},
        {"outline", {"--spur-nodes", "x"}, "--spur-nodes: 'x' is not a whole number"},
        {"outline", {"--spur-nodes", "-1"}, "--spur-nodes: '-1' is out of range"},
        {"outline", {"--nodesearch", "2"}, "--nodesearch: '2' is out of range"},
        {"outline", {"--no-merge-ends"}, "unknown option '--no-merge-ends'"},
        {"outline-fast", {"--spur-nodes", "3"}, "unknown option '--spur-nodes'"},
    };
    TempDir dir;
    write_bytes(dir / "d.pbm", pbm_raw(sample_drawing()));
    for (const auto &c : cases) {
        SCOPED_TRACE(std::string(c.command) + " " + c.extra[0]);
        std::vector<std::string> args = {c.command, dir / "d.pbm", "-o", dir / "out.json"};
        args.insert(args.end(), c.extra.begin(), c.extra.end());
        const RunResult r = run_ktvec(args);
        EXPECT_EQ(r.status, 2);
        expect_one_line(r, c.problem);
        expect_one_line(r, std::string("(see 'ktvec ") + c.command + " --help')");
        EXPECT_EQ(dir.names(), (std::vector<std::string>{"d.pbm"}));
    }
}

TEST(Cli, MissingInputOutputAndCommand) {
    TempDir dir;
    RunResult r = run_ktvec({"outline-fast", dir / "nope.png", "-o", dir / "a.svg"});
    EXPECT_EQ(r.status, 1);
    expect_one_line(r, "nope.png: cannot open (No such file or directory)");

    write_bytes(dir / "d.pbm", pbm_raw(sample_drawing()));
    r = run_ktvec({"outline-fast", dir / "d.pbm", "-o", dir / "missing/a.svg"});
    EXPECT_EQ(r.status, 1);
    expect_one_line(r, "missing/a.svg: cannot create file (No such file or directory)");

    r = run_ktvec({"outline-fast", dir / "d.pbm", "-o", dir.path()});
    EXPECT_EQ(r.status, 2);  // a folder has no extension to take the format from
    r = run_ktvec({"outline-fast", dir / "d.pbm", "--format", "svg", "-o", dir.path()});
    EXPECT_EQ(r.status, 1);
    expect_one_line(r, "is a directory");

    r = run_ktvec({"outline-fast", dir / "d.pbm"});
    EXPECT_EQ(r.status, 2);
    expect_one_line(r, "no output file");
    r = run_ktvec({"outline-fast", "-o", dir / "a.svg"});
    EXPECT_EQ(r.status, 2);
    expect_one_line(r, "no input file");
    r = run_ktvec({"centreline", dir / "d.pbm"});
    EXPECT_EQ(r.status, 2);
    expect_one_line(r, "unknown command 'centreline'");
    r = run_ktvec({"outline-fast", dir.path(), "-o", dir / "a.svg"});
    EXPECT_EQ(r.status, 1);
    expect_one_line(r, "is a directory, not an image");
    EXPECT_EQ(dir.names(), (std::vector<std::string>{"d.pbm"}));
}

TEST(Cli, HelpAndUsage) {
    RunResult r = run_ktvec({"--help"});
    EXPECT_EQ(r.status, 0);
    EXPECT_NE(r.out.find("outline-fast"), std::string::npos);
    r = run_ktvec({"outline-fast", "--help"});
    EXPECT_EQ(r.status, 0);
    for (const char *o : {"--maxlength", "--tolerance", "--nodesearch", "--threshold", "--invert", "--format",
                          "--background", "--max-pixels", "--quiet", "[default: "})
        EXPECT_NE(r.out.find(o), std::string::npos) << o;
    r = run_ktvec({});
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("usage:"), std::string::npos);

    r = run_ktvec({"--help"});
    for (const char *c : {"\n  centerline ", "\n  outline ", "\n  outline-fast ", "PBM", "PNG", "TIFF"})
        EXPECT_NE(r.out.find(c), std::string::npos) << c;
    r = run_ktvec({"centerline", "-h"});
    EXPECT_EQ(r.status, 0);
    for (const char *o : {"mabstractcenterline(flags, maxlength, a, b, c, d, e)", "--[no-]merge-ends",
                          "--[no-]bridge-gaps", "--[no-]connect", "--[no-]cut-spurs", "--[no-]merge-junctions",
                          "--merge-radius R", "--bridge-radius R", "--straightness C", "--junction-link L",
                          "--maxlength N", "--tolerance T", "[default: on;", "[default: 8;"})
        EXPECT_NE(r.out.find(o), std::string::npos) << o;
    r = run_ktvec({"outline", "--help"});
    EXPECT_EQ(r.status, 0);
    for (const char *o : {"mabstractoutline(maxlength, spurnodes", "--spur-nodes N", "--maxlength N",
                          "--tolerance T", "--nodesearch 0|1", "[default: 1;"})
        EXPECT_NE(r.out.find(o), std::string::npos) << o;
}

// The program's files say what the library computes in-process.
TEST(Cli, OutputsMatchTheLibrary) {
    TempDir dir;
    Bitmap b = sample_drawing();
    write_bytes(dir / "d.png", png_of(b, PngKind::Rgb8));
    const RunResult r = run_ktvec({"outline-fast", dir / "d.png", "-o", dir / "d.svg", "-o", dir / "d.json",
                                   "--tolerance", "1", "--maxlength", "3", "--nodesearch", "1"});
    ASSERT_EQ(r.status, 0) << r.err;
    int threshold = -1, nodes = -1, polylines = -1, ms = -1;
    const std::size_t at = r.err.find("d.png (61x43 PNG, threshold ");
    ASSERT_NE(at, std::string::npos) << r.err;
    EXPECT_EQ(std::sscanf(r.err.c_str() + at, "d.png (61x43 PNG, threshold %d): %d nodes, %d polylines, %d ms",
                          &threshold, &nodes, &polylines, &ms), 4)
        << r.err;
    EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1);
    EXPECT_EQ(dir.names(), (std::vector<std::string>{"d.json", "d.png", "d.svg"}));

    CKTVector v;
    v.msetdocument(b.data(), b.width, b.height);
    ASSERT_EQ(v.mabstractoutlinefast(3, 0, 1.0, 1), 0);

    const Json j = Json::parse(read_bytes(dir / "d.json"));
    EXPECT_EQ(j["image"]["width"].as_int(), 61);
    EXPECT_EQ(j["image"]["height"].as_int(), 43);
    EXPECT_EQ(j["image"]["threshold"].as_int(), threshold);
    EXPECT_DOUBLE_EQ(j["parameters"]["tolerance"].number, 1.0);
    EXPECT_EQ(j["parameters"]["maxlength"].as_int(), 3);
    EXPECT_EQ(j["parameters"]["nodesearch"].as_int(), 1);
    std::vector<int> dense;
    std::vector<std::pair<int, int>> xy;
    for (int i = 0; i < v.mgetnodenum(); ++i) {
        const _KTNODE *n = v.mgetnode(i);
        dense.push_back(n->deleted ? -1 : static_cast<int>(xy.size()));
        if (!n->deleted) xy.emplace_back(n->x, n->y);
    }
    ASSERT_EQ(j["nodes"].size(), xy.size());
    for (std::size_t i = 0; i < xy.size(); ++i) {
        EXPECT_EQ(j["nodes"][i]["x"].as_int(), xy[i].first);
        EXPECT_EQ(j["nodes"][i]["y"].as_int(), xy[i].second);
    }

    // SVG: one path per live polyline, its points the node centres.
    const std::string svg = read_bytes(dir / "d.svg");
    EXPECT_NE(svg.find("viewBox=\"0 0 61 43\""), std::string::npos);
    std::size_t paths = 0;
    for (std::size_t pos = svg.find("<path id=\"p"); pos != std::string::npos;
         pos = svg.find("<path id=\"p", pos + 1), ++paths) {
        const std::size_t d = svg.find("\" d=\"", pos), end = svg.find("\"/>", pos);
        ASSERT_TRUE(d != std::string::npos && end != std::string::npos);
        const int id = std::stoi(svg.substr(pos + 11, d - pos - 11));
        const _KTPOLYLINE *p = v.mgetpolyline(id);
        ASSERT_FALSE(p->deleted);
        const bool closed = p->nodeindex[0] == p->nodeindex[p->nodenum - 1] && p->nodenum >= 2;
        std::string want;
        for (int i = 0; i < p->nodenum - (closed ? 1 : 0); ++i) {
            const _KTNODE *n = v.mgetnode(p->nodeindex[i]);
            want += (i ? " L" : "M") + std::to_string(n->x) + ".5 " + std::to_string(n->y) + ".5";
        }
        if (closed) want += " Z";
        EXPECT_EQ(svg.substr(d + 5, end - d - 5), want) << "polyline " << id;
        const Json &q = j["polylines"][paths];
        EXPECT_EQ(q["id"].as_int(), id);
        ASSERT_EQ(q["nodes"].size(), static_cast<std::size_t>(p->nodenum));
        for (int i = 0; i < p->nodenum; ++i)
            EXPECT_EQ(q["nodes"][static_cast<std::size_t>(i)].as_int(), dense[static_cast<std::size_t>(p->nodeindex[i])]);
    }
    EXPECT_EQ(paths, j["polylines"].size());
    EXPECT_EQ(nodes, static_cast<int>(xy.size()));
    EXPECT_EQ(polylines, static_cast<int>(paths));
    EXPECT_EQ(static_cast<int>(paths), j["counts"]["polylines"].as_int());
    EXPECT_GT(paths, 0u);
}

TEST(Cli, FormatsStdoutQuietAndInvert) {
    TempDir dir;
    Bitmap b = sample_drawing();
    write_bytes(dir / "d.pbm", pbm_plain(b));
    // --format decides over the extension; '-' is standard output; --quiet
    // silences the summary.
    RunResult r = run_ktvec({"outline-fast", dir / "d.pbm", "--format", "json", "-o", "-", "-q"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(r.err.empty()) << r.err;
    const std::string plain = r.out;
    EXPECT_EQ(Json::parse(plain)["command"].string, "outline-fast");

    // '-' reads standard input.
    r = run_ktvec({"outline-fast", "-", "--format", "json", "-o", "-", "-q"}, dir / "d.pbm");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(Json::parse(r.out)["source"].string, "<stdin>");
    EXPECT_EQ(r.out.substr(r.out.find("\"image\"")), plain.substr(plain.find("\"image\"")));

    // White on black, inverted, gives the same result as black on white.
    Bitmap neg(b.width, b.height);
    for (int y = 0; y < b.height; ++y)
        for (int x = 0; x < b.width; ++x) neg.set(x, y, !b.get(x, y));
    write_bytes(dir / "neg.pbm", pbm_raw(neg));
    r = run_ktvec({"outline-fast", dir / "neg.pbm", "--invert", "--format", "json", "-o", "-", "-q"});
    ASSERT_EQ(r.status, 0) << r.err;
    // Identical apart from the source name.
    EXPECT_EQ(r.out.substr(r.out.find("\"image\"")), plain.substr(plain.find("\"image\"")));

    // A pipe is written in place, never replaced by a renamed file.
    ASSERT_EQ(::mkfifo((dir / "pipe").c_str(), 0600), 0);
    std::string piped;
    std::thread reader([&] { piped = read_bytes(dir / "pipe"); });
    r = run_ktvec({"outline-fast", dir / "d.pbm", "--format", "svg", "-o", dir / "pipe", "-q"});
    if (r.status != 0) {  // the program never opened the pipe: release the reader
        const int fd = ::open((dir / "pipe").c_str(), O_WRONLY | O_NONBLOCK);
        if (fd >= 0) ::close(fd);
    }
    reader.join();
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_NE(piped.find("</svg>"), std::string::npos);
    struct stat st {};
    ASSERT_EQ(::stat((dir / "pipe").c_str(), &st), 0);
    EXPECT_TRUE(S_ISFIFO(st.st_mode));

    r = run_ktvec({"outline-fast", dir / "d.pbm", "-o", dir / "bg.svg", "--background", "-q"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(read_bytes(dir / "bg.svg").find("data:image/png;base64,"), std::string::npos);
}
