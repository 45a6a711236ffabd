// Option parsing: values land in the right settings, and every kind of bad
// argument is refused as a usage error naming the option.
#include <gtest/gtest.h>

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
    const std::string help = describe_options(tables());
    for (const OptionTable &t : tables())
        for (const OptionDef *o = t.begin; o != t.end; ++o)
            EXPECT_NE(help.find(o->name), std::string::npos) << o->name;
    const Settings d;
    char tol[32];
    std::snprintf(tol, sizeof tol, "[default: %g]", d.tolerance);
    EXPECT_NE(help.find(tol), std::string::npos);
    EXPECT_NE(help.find("[default: " + std::to_string(d.maxlength) + "]"), std::string::npos);
    EXPECT_NE(help.find("[default: auto]"), std::string::npos);
}
