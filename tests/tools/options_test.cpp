// Command-line options: values land in their settings and reach the driver
// arguments, every kind of bad argument is refused as a usage error naming
// the option, and --help lists every option with its default.
#include <gtest/gtest.h>

#include <cctype>
#include <cmath>
#include <map>

#include "batch.h"
#include "commands.h"
#include "error.h"
#include "invariants.h"
#include "options.h"
#include "postprocess.h"
#include "progress.h"
#include "support.h"
#include "sweep.h"

using namespace ktvcli;

namespace {

std::vector<OptionTable> tables(const char *command) {
    return {find_command(command)->options, postprocess_options(), input_options(), output_options()};
}

Settings parse(const char *command, std::vector<std::string> args) {
    std::vector<char *> argv;
    for (std::string &a : args) argv.push_back(&a[0]);
    Settings s = command_defaults(*find_command(command));
    parse_options(static_cast<int>(argv.size()), argv.data(), tables(command), s);
    postprocessing(s);  // the post-processing values are checked here
    return s;
}

// The refusal of `args`, or "(accepted)".
std::string refusal(const char *command, std::vector<std::string> args) {
    try {
        parse(command, std::move(args));
    } catch (const CliError &e) {
        EXPECT_TRUE(e.usage);
        return e.what();
    }
    return "(accepted)";
}

std::vector<double> arguments(const CenterlineArguments &a) { return {double(a.flags), double(a.maxlength), a.a, a.b, a.c, a.d, a.e}; }

}  // namespace

TEST(Options, CenterlineOptionsReachTheirDriverArguments) {
    auto args = [](std::vector<std::string> a) { return arguments(centerline_arguments(parse("centerline", a))); };
    EXPECT_EQ(args({}), (std::vector<double>{31, 4, 3, 8, 0.9, 4, 1}));  // every pass on
    const struct {
        std::vector<std::string> options;
        std::vector<double> want;
    } cases[] = {
        {{"--no-merge-ends"}, {30, 4, 3, 8, 0.9, 4, 1}},
        {{"--no-bridge-gaps"}, {29, 4, 3, 8, 0.9, 4, 1}},
        {{"--no-connect"}, {27, 4, 3, 8, 0.9, 4, 1}},
        {{"--no-cut-spurs"}, {23, 4, 3, 8, 0.9, 4, 1}},
        {{"--no-merge-junctions"}, {15, 4, 3, 8, 0.9, 4, 1}},
        {{"--no-connect", "--connect", "--merge-ends"}, {31, 4, 3, 8, 0.9, 4, 1}},  // the last word counts
        {{"--maxlength", "3"}, {31, 3, 3, 8, 0.9, 4, 1}},
        {{"--merge-radius", "2.25"}, {31, 4, 2.25, 8, 0.9, 4, 1}},
        {{"--bridge-radius", "12"}, {31, 4, 3, 12, 0.9, 4, 1}},
        {{"--straightness", "0.5"}, {31, 4, 3, 8, 0.5, 4, 1}},
        {{"--junction-link", "7.5"}, {31, 4, 3, 8, 0.9, 7.5, 1}},
        {{"--tolerance", "0.75"}, {31, 4, 3, 8, 0.9, 4, 0.75}},
    };
    for (const auto &c : cases) EXPECT_EQ(args(c.options), c.want) << c.options[0];
    // The outline commands call their drivers with the settings, after
    // pre-cleaning (whose memory failure is the driver's).
    Bitmap b = stroke_drawing();
    for (const char *command : {"outline", "outline-fast"}) {
        Settings s = parse(command, {"--maxlength", "12", "--tolerance", "0.5", "--nodesearch", "0", "--fill-holes", "0"});
        if (command[7] != '-') s.spur_nodes = 3;
        CKTVector v, w;
        v.msetdocument(b.data(), b.width, b.height);
        w.msetdocument(b.data(), b.width, b.height);
        ASSERT_EQ(find_command(command)->vectorize(v, s), 0);
        ASSERT_EQ(command[7] == '-' ? w.mabstractoutlinefast(12, 0, 0.5, 0) : w.mabstractoutline(12, 3, 0.5, 0), 0);
        EXPECT_EQ(dump_graph(v), dump_graph(w)) << command;
        CKTVector x;
        x.msetdocument(b.data(), b.width, b.height);
        int r = 0;
        EXPECT_TRUE(fails_at(1, [&] { r = find_command(command)->vectorize(x, parse(command, {})); }, true));
        EXPECT_EQ(r, -1000) << command;
    }
}

TEST(Options, BadArgumentsAreRefusedNamingTheOption) {
    const struct {
        const char *command;
        std::vector<std::string> args;
        std::string problem;
    } cases[] = {
        {"outline-fast", {"--tolerance", "abc"}, "--tolerance: 'abc' is not a number"},
        {"outline-fast", {"--tolerance", "-1"}, "out of range"},
        {"outline-fast", {"--tolerance", "nan"}, "out of range"},
        {"outline-fast", {"--tolerance", "1e309"}, "out of range"},
        {"outline-fast", {"--maxlength", "2.5"}, "is not a whole number"},
        {"outline-fast", {"--maxlength", "99999999999999999999"}, "out of range"},
        {"outline-fast", {"--nodesearch", "2"}, "--nodesearch: '2' is out of range (0 to 1)"},
        {"outline-fast", {"--threshold", "256"}, "out of range"},
        {"outline-fast", {"--max-pixels", "0"}, "out of range"},
        {"outline-fast", {"--max-pixels", "18446744073709551616"}, "out of range"},
        {"outline-fast", {"--dpi", "0"}, "--dpi"},
        {"outline-fast", {"--page", "0"}, "--page"},
        {"outline-fast", {"--tolerance"}, "--tolerance needs a value"},
        {"outline-fast", {"--tolerance="}, "--tolerance: missing value"},
        {"outline-fast", {"--invert=yes"}, "--invert takes no value"},
        {"outline-fast", {"--bogus"}, "unknown option '--bogus'"},
        {"outline-fast", {"a.png", "b.png"}, "more than one input file"},
        {"outline-fast", {"--spur-nodes", "3"}, "unknown option '--spur-nodes'"},
        {"outline-fast", {"--units", "furlong"}, "--units: 'furlong' is not mm, inch or px"},
        {"outline", {"--spur-nodes", "-1"}, "out of range"},
        {"outline", {"--no-merge-ends"}, "unknown option '--no-merge-ends'"},
        {"centerline", {"--straightness", "1.01"}, "--straightness: '1.01' is out of range (0 to 1)"},
        {"centerline", {"--no-connect=1"}, "--no-connect takes no value"},
        {"centerline", {"--no-maxlength"}, "unknown option '--no-maxlength'"},  // not a flag
        {"centerline", {"--no-invert"}, "unknown option '--no-invert'"},        // off already
        {"centerline", {"--arcs", "5"}, "--arcs: '5' is not two numbers separated by a comma"},
        {"centerline", {"--arcs", "5,3"}, "--arcs: MIN is above MAX"},
        {"centerline", {"--simplify", "2,x"}, "--simplify: 'x' is not a number"},
        {"centerline", {"--simplify", "2,200"}, "--simplify: '200' is out of range"},
        {"centerline", {"--same-curvature", "0.1"}, "--same-curvature needs --arcs"},
        {"centerline", {"--splines", "0"}, "--splines: '0' is out of range"},
        {"centerline", {"--circles", "-1"}, "--circles: '-1' is out of range"},
    };
    for (const auto &c : cases) {
        const std::string got = refusal(c.command, c.args);
        EXPECT_NE(got.find(c.problem), std::string::npos) << c.command << " " << c.args[0] << " gave: " << got;
    }
    EXPECT_EQ(refusal("outline", {"--simplify", "3,30", "--arcs", "1,1", "--same-curvature", "0.1", "--splines", "2"}),
              "(accepted)");
    // Read as an integer: through a double it would become 4e18.
    EXPECT_EQ(parse("outline-fast", {"--max-pixels", "3999999999999999999"}).max_pixels, 3999999999999999999u);
}

// `ktvec batch` learns its command by reading the arguments against every
// command's options at once, which is only right while an option of one
// name takes a value, and the same range, in every command.
TEST(Options, AnOptionOfOneNameIsReadAlikeByEveryCommand) {
    std::map<std::string, const OptionDef *> seen;
    for (const Command &c : commands())
        for (const OptionDef *o = c.options.begin; o != c.options.end; ++o) {
            const OptionDef *&first = seen[o->name];
            if (!first) first = o;
            EXPECT_EQ(!first->metavar, !o->metavar) << o->name;
            EXPECT_EQ(first->min, o->min) << o->name;
            EXPECT_EQ(first->max, o->max) << o->name;
            EXPECT_EQ(first->target.index(), o->target.index()) << o->name;
        }
}

TEST(Options, HelpListsEveryOptionWithItsDefaultAndArgument) {
    for (const Command &c : commands()) {
        SCOPED_TRACE(c.name);
        const std::vector<OptionTable> all = tables(c.name);
        const std::string help = describe_options(all, command_defaults(c));
        for (const OptionTable &t : all)
            for (const OptionDef *o = t.begin; o != t.end; ++o) {
                const std::string name = o->negatable ? "--[no-]" + std::string(o->name + 2) : o->name;
                const std::string head = o->alias ? std::string(o->alias) + ", " + name : "  " + name;
                const std::size_t at = help.find(head + (o->metavar ? " " : "\n"));
                ASSERT_NE(at, std::string::npos) << name;
                // The option's own block, up to the next option, as one line.
                std::string block;
                for (char ch : help.substr(at, help.find("\n  -", at + 1) - at))
                    if (!std::isspace(static_cast<unsigned char>(ch)) || (!block.empty() && block.back() != ' '))
                        block += std::isspace(static_cast<unsigned char>(ch)) ? ' ' : ch;
                EXPECT_NE(block.find(std::string(o->help).substr(0, 20)), std::string::npos) << block;
                if (o->sets) {
                    EXPECT_NE(block.find(std::string("sets ") + o->sets + "]"), std::string::npos) << block;
                }
                if (o->metavar || o->negatable) {
                    EXPECT_NE(block.find("[default: "), std::string::npos) << block;
                }
            }
    }
    const std::string help = describe_options(tables("outline-fast"));
    const Settings d;
    EXPECT_NE(help.find("[default: " + std::to_string(d.maxlength) + ";"), std::string::npos);
    EXPECT_NE(help.find("[default: 1.5;"), std::string::npos);
    EXPECT_NE(help.find("[default: auto]"), std::string::npos);
}

TEST(Batch, OutputNamesAndPatterns) {
    const struct {
        std::vector<std::string> inputs, stems;
    } cases[] = {
        {{"a/x.png", "b/x.pbm", "x.tif"}, {"x", "x-2", "x-3"}},
        {{"x.png", "x-2.png", "x.pbm"}, {"x", "x-2", "x-3"}},
        {{"x-2.png", "x.png", "x.pbm"}, {"x-2", "x", "x-3"}},
        {{"dir.v1/scan", ".hidden", "a.b.png", "a.b.pbm"}, {"scan", ".hidden", "a.b", "a.b-2"}},
    };
    for (const auto &c : cases) EXPECT_EQ(output_stems(c.inputs), c.stems);
    TempDir dir;
    for (const char *name : {"curves.pbm", "curves2.png", "strokes.png", "broken.pbm", "sample.pbm"})
        write_bytes(dir / name, "x");
    std::vector<std::string> paths, problems;
    for (const Input &in : expand_patterns({dir / "curves*", dir / "../" + dir.path().substr(dir.path().rfind('/') + 1) + "/curves.pbm",
                                            dir / "*.{png,pbm}", dir / "*.gif", dir / "none.pbm"}))
        paths.push_back(in.path), problems.push_back(in.problem);
    // Each file once; {png,pbm} expands the braces first: every png, then
    // every pbm.
    EXPECT_EQ(paths, (std::vector<std::string>{dir / "curves.pbm", dir / "curves2.png", dir / "strokes.png",
                                               dir / "broken.pbm", dir / "sample.pbm", dir / "*.gif", dir / "none.pbm"}));
    EXPECT_EQ(problems[5], dir / "*.gif: no file matches");
    EXPECT_EQ(problems[6], "");  // a plain name is read, and reading says what is wrong
    // The progress line's times.
    EXPECT_EQ(Progress::duration_text(3725.4) + " " + Progress::duration_text(59.6), "1:02:05 1:00");
}
