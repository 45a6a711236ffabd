// The centerline and outline commands: each option reaches its driver
// argument.  Every case runs the program and the library in-process with the
// arguments spelled out, and the two graphs must be identical; each case
// also has to change the graph of its base run, so an option the program
// dropped on the way would show.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include "commands.h"
#include "json.h"
#include "image.h"
#include "options.h"
#include "preclean.h"
#include "tool_support.h"
#include "vector_view.h"
#include "writers.h"

using namespace ktvcli;

namespace {

struct Outline {
    int maxlength, spurnodes;
    double tolerance;
    int nodesearch;
};

struct Case {
    std::vector<std::string> options;
    CenterlineArguments centerline;  // used by "centerline" cases
    Outline outline;                 // used by "outline" cases
};

// The graph part of a JSON result: everything from "counts" on.
std::string graph_of(const std::string &json) {
    const std::size_t at = json.find("\"counts\"");
    return at == std::string::npos ? json : json.substr(at);
}

std::string library_graph(const std::string &input, const std::string &command, const Case &c) {
    LoadedImage image = read_image(input, {});
    CKTVector v;
    v.msetdocument(image.bitmap.bits.data(), image.bitmap.width, image.bitmap.height);
    const CenterlineArguments &a = c.centerline;
    const Outline &o = c.outline;
    const int result = command == "centerline"
                           ? v.mabstractcenterline(a.flags, a.maxlength, a.a, a.b, a.c, a.d, a.e)
                           : v.mabstractoutline(o.maxlength, o.spurnodes, o.tolerance, o.nodesearch);
    EXPECT_EQ(result, 0);
    VectorView view(v);
    TextSink sink;
    write_json(view, ResultInfo{command, "x", nullptr, "PBM", -1, {}}, sink);
    return graph_of(sink.text());
}

RunResult run_json(const std::string &command, const std::string &input, const std::vector<std::string> &options) {
    std::vector<std::string> args = {command, input, "--format", "json", "-o", "-", "-q", "--no-refine"};
    args.insert(args.end(), options.begin(), options.end());
    return run_ktvec(args);
}

// Runs every case through the program and the library; cases after the
// first must differ from the first.
void check_cases(const std::string &command, const std::string &input, const std::vector<Case> &cases) {
    std::string base;
    for (const Case &c : cases) {
        std::string name = command;
        for (const std::string &o : c.options) name += " " + o;
        SCOPED_TRACE(name);
        const RunResult r = run_json(command, input, c.options);
        ASSERT_EQ(r.status, 0) << r.err;
        const std::string graph = graph_of(r.out);
        EXPECT_EQ(graph, library_graph(input, command, c));
        // Every node a polyline names is in the nodes array.
        const Json j = Json::parse(r.out);
        const double nodes = static_cast<double>(j["nodes"].size());
        for (const Json &p : j["polylines"].array)
            for (const Json &k : p["nodes"].array) ASSERT_TRUE(k.number >= 0 && k.number < nodes) << k.number;
        if (base.empty())
            base = graph;
        else
            EXPECT_NE(graph, base) << "the option changed nothing on this drawing";
    }
}

const std::vector<std::string> kBase = {"--merge-radius", "5", "--junction-link", "6"};
const CenterlineArguments kBaseArgs = {31, 4, 5.0, 8.0, 0.9, 6.0, 1.0};

Case centerline_case(std::vector<std::string> extra, CenterlineArguments a) {
    std::vector<std::string> options = kBase;
    options.insert(options.end(), extra.begin(), extra.end());
    return {options, a, {}};
}

CenterlineArguments with(CenterlineArguments a, double CenterlineArguments::*field, double value) {
    a.*field = value;
    return a;
}

CenterlineArguments flags(int value, int maxlength = 4) {
    CenterlineArguments a = kBaseArgs;
    a.flags = value;
    a.maxlength = maxlength;
    return a;
}

Settings parse(const char *command, std::vector<std::string> args) {
    const Command *c = find_command(command);
    std::vector<char *> argv;
    for (std::string &s : args) argv.push_back(&s[0]);
    Settings s = command_defaults(*c);
    parse_options(static_cast<int>(argv.size()), argv.data(), {c->options, input_options(), output_options()}, s);
    return s;
}

bool same(const CenterlineArguments &x, const CenterlineArguments &y) {
    return x.flags == y.flags && x.maxlength == y.maxlength && x.a == y.a && x.b == y.b && x.c == y.c &&
           x.d == y.d && x.e == y.e;
}

}  // namespace

TEST(Centerline, EveryOptionReachesItsArgument) {
    // The starting defaults: every pass on.
    EXPECT_TRUE(same(centerline_arguments(parse("centerline", {})), CenterlineArguments{31, 4, 3.0, 8.0, 0.9, 4.0, 1.0}));
    const struct {
        std::vector<std::string> args;
        CenterlineArguments want;
    } cases[] = {
        {{"--no-merge-ends"}, flags(30)},
        {{"--no-bridge-gaps"}, flags(29)},
        {{"--no-connect"}, flags(27)},
        {{"--no-cut-spurs"}, flags(23)},
        {{"--no-merge-junctions"}, flags(15)},
        {{"--no-merge-ends", "--no-bridge-gaps", "--no-connect", "--no-cut-spurs", "--no-merge-junctions"}, flags(0)},
        {{"--no-connect", "--connect"}, flags(31)},  // the last word counts
        {{"--maxlength", "3"}, flags(31, 3)},
        {{"--merge-radius", "2.25"}, with(kBaseArgs, &CenterlineArguments::a, 2.25)},
        {{"--bridge-radius", "12"}, with(kBaseArgs, &CenterlineArguments::b, 12)},
        {{"--straightness", "0.5"}, with(kBaseArgs, &CenterlineArguments::c, 0.5)},
        {{"--junction-link", "7.5"}, with(kBaseArgs, &CenterlineArguments::d, 7.5)},
        {{"--tolerance", "0.75"}, with(kBaseArgs, &CenterlineArguments::e, 0.75)},
    };
    for (const auto &c : cases) {
        std::vector<std::string> args = kBase;
        args.insert(args.end(), c.args.begin(), c.args.end());
        const CenterlineArguments got = centerline_arguments(parse("centerline", args));
        EXPECT_TRUE(same(got, c.want)) << c.args[0] << ": flags " << got.flags << " maxlength " << got.maxlength
                                       << " a " << got.a << " b " << got.b << " c " << got.c << " d " << got.d
                                       << " e " << got.e;
    }
}

TEST(Centerline, ProgramRunsTheDriverWithItsOptions) {
    using A = CenterlineArguments;
    TempDir dir;
    write_bytes(dir / "d.pbm", pbm_raw(stroke_drawing()));
    check_cases("centerline", dir / "d.pbm",
                {
                    centerline_case({}, kBaseArgs),
                    centerline_case({"--no-merge-ends"}, flags(30)),
                    centerline_case({"--no-bridge-gaps"}, flags(29)),
                    centerline_case({"--no-connect"}, flags(27)),
                    centerline_case({"--no-merge-junctions"}, flags(15)),
                    centerline_case({"--maxlength", "8"}, flags(31, 8)),
                    centerline_case({"--merge-radius", "3"}, with(kBaseArgs, &A::a, 3)),
                    centerline_case({"--bridge-radius", "4"}, with(kBaseArgs, &A::b, 4)),
                    centerline_case({"--straightness", "1"}, with(kBaseArgs, &A::c, 1)),
                    centerline_case({"--junction-link", "4"}, with(kBaseArgs, &A::d, 4)),
                    centerline_case({"--tolerance", "0.4"}, with(kBaseArgs, &A::e, 0.4)),
                });
    // The bump under the third line is a side branch of about six skeleton
    // points: the default reach leaves it, 8 cuts it, so the spur switch is
    // checked against a base that cuts.
    check_cases("centerline", dir / "d.pbm",
                {
                    centerline_case({"--maxlength", "8"}, flags(31, 8)),
                    centerline_case({"--maxlength", "8", "--no-cut-spurs"}, flags(23, 8)),
                    centerline_case({"--maxlength", "8", "--maxlength", "2"}, flags(31, 2)),
                });
}

// On the bundled sample sheet, where outline spurs long enough for the
// segment pass are found.  Pre-cleaning off, so that the program's driver
// sees the pixels the library run here gets.
TEST(Outline, ProgramRunsTheDriverWithItsOptions) {
    auto raw = [](std::vector<std::string> options) {
        options.insert(options.end(), {"--despeckle", "0", "--fill-holes", "0", "--no-smooth"});
        return options;
    };
    check_cases("outline", KTVEC_SAMPLE_PNG,
                {
                    {raw({}), {}, {4, 1, 1.5, 1}},
                    {raw({"--spur-nodes", "3"}), {}, {4, 3, 1.5, 1}},
                    {raw({"--spur-nodes", "6"}), {}, {4, 6, 1.5, 1}},
                    {raw({"--maxlength", "12"}), {}, {12, 1, 1.5, 1}},
                    {raw({"--tolerance", "0.5"}), {}, {4, 1, 0.5, 1}},
                    {raw({"--nodesearch", "0"}), {}, {4, 1, 1.5, 0}},
                });
}

// The parameters member records the driver arguments by option name.
TEST(Centerline, JsonRecordsTheArguments) {
    TempDir dir;
    write_bytes(dir / "d.pbm", pbm_raw(stroke_drawing()));
    const RunResult r = run_json("centerline", dir / "d.pbm", {"--no-connect", "--straightness", "0.8"});
    ASSERT_EQ(r.status, 0) << r.err;
    const Json p = Json::parse(r.out)["parameters"];
    const std::pair<const char *, double> want[] = {
        {"cut-spurs", 1},     {"maxlength", 4},     {"tolerance", 1.0},     {"bridge-gaps", 1},
        {"bridge-radius", 8}, {"straightness", 0.8}, {"merge-ends", 1},     {"merge-radius", 3},
        {"merge-junctions", 1}, {"junction-link", 4}, {"connect", 0},
        {"despeckle", static_cast<double>(kDefaultDespeckle)},
        {"fill-holes", static_cast<double>(kDefaultFillHoles)}, {"smooth", kDefaultSmooth ? 1.0 : 0.0},
        {"refine", 0},
    };
    EXPECT_EQ(p.size(), std::size(want));
    for (const auto &w : want) EXPECT_DOUBLE_EQ(p[w.first].number, w.second) << w.first;
}

// A reader follows a stroke through a junction by the connections: the
// polylines that prev/next pair share the junction node and leave it in
// opposite directions.
TEST(Centerline, ConnectionsLeadStraightThroughJunctions) {
    TempDir dir;
    write_bytes(dir / "d.pbm", pbm_raw(stroke_drawing()));
    // With the bump cut (it would add a junction that --connect pairs).
    std::vector<std::string> options = kBase;
    options.insert(options.end(), {"--maxlength", "8"});
    const RunResult r = run_json("centerline", dir / "d.pbm", options);
    ASSERT_EQ(r.status, 0) << r.err;
    const Json j = Json::parse(r.out);
    std::vector<const Json *> by_id;
    for (const Json &p : j["polylines"].array) {
        const std::size_t id = static_cast<std::size_t>(p["id"].as_int());
        by_id.resize(std::max(by_id.size(), id + 1));
        by_id[id] = &p;
    }
    // The node at an end of a polyline and the next one inwards.
    auto end_of = [&](int ref, int &at, int &inward) {
        const Json &nodes = (*by_id.at(static_cast<std::size_t>(std::abs(ref))))["nodes"];
        const std::size_t n = nodes.size();
        at = nodes[ref > 0 ? 0 : n - 1].as_int();
        inward = nodes[ref > 0 ? 1 : n - 2].as_int();
    };
    int connections = 0;
    for (const Json *p : by_id) {
        if (!p) continue;
        const int id = (*p)["id"].as_int();
        for (const char *side : {"prev", "next"})
            for (const Json &e : (*p)[side].array) {
                SCOPED_TRACE(std::to_string(id) + " " + side + " " + std::to_string(e.as_int()));
                int v, a, w, b;
                end_of(side[0] == 'p' ? id : -id, v, a);
                end_of(e.as_int(), w, b);
                ASSERT_EQ(v, w);
                const Json &n = j["nodes"];
                auto dx = [&](int k) { return n[static_cast<std::size_t>(k)]["x"].number - n[static_cast<std::size_t>(v)]["x"].number; };
                auto dy = [&](int k) { return n[static_cast<std::size_t>(k)]["y"].number - n[static_cast<std::size_t>(v)]["y"].number; };
                const double cosine = (dx(a) * dx(b) + dy(a) * dy(b)) / std::hypot(dx(a), dy(a)) / std::hypot(dx(b), dy(b));
                EXPECT_LE(cosine, -0.9);
                ++connections;
            }
    }
    // The plus and the X each carry two strokes through: four pairs, each
    // listed at both polylines.
    EXPECT_EQ(connections, 8);
}
