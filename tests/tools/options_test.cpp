// Option parsing: values land in the right settings, and every kind of bad
// argument is refused as a usage error naming the option.
#include <gtest/gtest.h>

#include <cctype>
#include <map>

#include "commands.h"
#include "error.h"
#include "options.h"

using namespace ktvcli;

namespace {

std::vector<OptionTable> tables() {
    return {find_command("outline-fast")->options, input_options(), output_options()};
}

Settings parse(std::vector<std::string> args) {
    std::vector<char *> argv;
    for (std::string &a : args) argv.push_back(&a[0]);
    Settings s;
    parse_options(static_cast<int>(argv.size()), argv.data(), tables(), s);
    return s;
}

std::string refusal(std::vector<std::string> args) {
    try {
        parse(std::move(args));
    } catch (const CliError &e) {
        EXPECT_TRUE(e.usage);
        return e.what();
    }
    return "(accepted)";
}

}  // namespace

TEST(Options, ValuesLandInTheirSettings) {
    const Settings s = parse({"in.png", "--tolerance", "0.75", "--maxlength=9", "--nodesearch", "0", "-o",
                              "a.svg", "--output=b.json", "--threshold", "100", "--invert", "--background",
                              "-q", "--max-pixels", "5000", "--format", "json"});
    EXPECT_EQ(s.input, "in.png");
    EXPECT_DOUBLE_EQ(s.tolerance, 0.75);
    EXPECT_EQ(s.maxlength, 9);
    EXPECT_EQ(s.nodesearch, 0);
    EXPECT_EQ(s.outputs, (std::vector<std::string>{"a.svg", "b.json"}));
    EXPECT_EQ(s.threshold, 100);
    EXPECT_TRUE(s.invert && s.background && s.quiet);
    EXPECT_EQ(s.max_pixels, 5000u);
    // read as an integer: a double would make it 4e18
    EXPECT_EQ(parse({"--max-pixels", "3999999999999999999"}).max_pixels, 3999999999999999999u);
    EXPECT_EQ(s.format, "json");
    EXPECT_EQ(parse({"--threshold", "auto"}).threshold, -1);
    EXPECT_EQ(parse({"--", "-odd-name.png"}).input, "-odd-name.png");
    EXPECT_EQ(parse({"-"}).input, "-");
}

TEST(Options, BadArgumentsAreRefused) {
    struct Case {
        std::vector<std::string> args;
        std::string problem;
    } cases[] = {
        {{"--tolerance", "abc"}, "--tolerance: 'abc' is not a number"},
        {{"--tolerance", "1.5x"}, "is not a number"},
        {{"--tolerance", "-1"}, "out of range"},
        {{"--tolerance", "nan"}, "out of range"},
        {{"--tolerance", "inf"}, "out of range"},
        {{"--maxlength", "2.5"}, "is not a whole number"},
        {{"--maxlength", "99999999999999999999"}, "out of range"},
        {{"--nodesearch", "2"}, "out of range"},
        {{"--threshold", "256"}, "out of range"},
        {{"--threshold", "-1"}, "out of range"},
        {{"--max-pixels", "0"}, "out of range"},
        {{"--tolerance"}, "--tolerance needs a value"},
        {{"--tolerance="}, "--tolerance: missing value"},
        {{"--invert=yes"}, "--invert takes no value"},
        {{"--bogus"}, "unknown option '--bogus'"},
        {{"-x"}, "unknown option '-x'"},
        {{"a.png", "b.png"}, "more than one input file"},
    };
    for (Case &c : cases) {
        const std::string got = refusal(c.args);
        EXPECT_NE(got.find(c.problem), std::string::npos) << c.args[0] << " gave: " << got;
    }
}

TEST(Options, HelpListsEveryOptionWithItsDefault) {
    for (const Command &c : commands()) {
        SCOPED_TRACE(c.name);
        const std::vector<OptionTable> all = {c.options, input_options(), output_options()};
        const std::string help = describe_options(all);
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
                if (o->sets) {
                    EXPECT_NE(block.find(std::string("sets ") + o->sets + "]"), std::string::npos) << block;
                }
                if (o->metavar || o->negatable) {
                    EXPECT_NE(block.find("[default: "), std::string::npos) << block;
                }
            }
    }
    const std::string help = describe_options(tables());
    const Settings d;
    char tol[32];
    std::snprintf(tol, sizeof tol, "[default: %g;", d.tolerance);
    EXPECT_NE(help.find(tol), std::string::npos);
    EXPECT_NE(help.find("[default: " + std::to_string(d.maxlength) + ";"), std::string::npos);
    EXPECT_NE(help.find("[default: auto]"), std::string::npos);
}

TEST(Options, FlagsThatDefaultOnCanBeSwitchedOff) {
    const std::vector<OptionTable> centerline = {find_command("centerline")->options, input_options(),
                                                 output_options()};
    auto parse_centerline = [&](std::vector<std::string> args) {
        std::vector<char *> argv;
        for (std::string &a : args) argv.push_back(&a[0]);
        Settings s;
        parse_options(static_cast<int>(argv.size()), argv.data(), centerline, s);
        return s;
    };
    Settings s = parse_centerline({"--no-bridge-gaps", "--no-merge-junctions"});
    EXPECT_FALSE(s.bridge_gaps || s.merge_junctions);
    EXPECT_TRUE(s.merge_ends && s.connect && s.cut_spurs);
    s = parse_centerline({"--no-cut-spurs", "--cut-spurs", "--merge-ends"});
    EXPECT_TRUE(s.cut_spurs && s.merge_ends);

    const std::pair<std::vector<std::string>, std::string> refused[] = {
        {{"--no-connect=1"}, "--no-connect takes no value"},
        {{"--no-maxlength"}, "unknown option '--no-maxlength'"},   // not a flag
        {{"--no-invert"}, "unknown option '--no-invert'"},         // off already
        {{"--no-"}, "unknown option '--no-'"},
        {{"--straightness", "1.01"}, "--straightness: '1.01' is out of range (0 to 1)"},
        {{"--merge-radius", "-0.5"}, "out of range"},
    };
    for (const auto &r : refused) {
        std::string got = "(accepted)";
        try {
            parse_centerline(r.first);
        } catch (const CliError &e) {
            EXPECT_TRUE(e.usage);
            got = e.what();
        }
        EXPECT_NE(got.find(r.second), std::string::npos) << r.first[0] << " gave: " << got;
    }
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
