// The option parser.  "--name value", "--name=value" and the short aliases
// are accepted; "--" ends the options.  Numbers must be complete, finite and
// inside their range.
#include "options.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>

#include "error.h"

namespace ktvcli {

namespace {

const OptionDef kInput[] = {
    {"--threshold", nullptr, "N|auto", &Settings::threshold, 0, 255,
     "grey level 0-255 below which a pixel of a grey or colour image counts as black "
     "(1-bit images are taken as they are); 'auto' picks the level between ink and paper "
     "from the image's histogram (Otsu's method)",
     "auto", "auto"},
    {"--invert", nullptr, nullptr, &Settings::invert, 0, 0,
     "swap black and white after binarising, for white drawings on a black ground", nullptr, nullptr},
    {"--max-pixels", nullptr, "N", &Settings::max_pixels, 1, 4.0e18,
     "refuse, before reading the pixels, an image whose header claims more than N pixels", nullptr,
     nullptr},
    {"--page", nullptr, "N", &Settings::page, 1, 1e6,
     "multi-page TIFF: vectorize page N only; by default every page, each output name "
     "numbered (scan.svg becomes scan-p1.svg, scan-p2.svg, ...)", "every page", nullptr},
    {"--dpi", nullptr, "D", &Settings::dpi, 1, 1e6,
     "resolution of the input in dots per inch, instead of the file's (TIFF resolution tags); "
     "sets the size of a DXF drawing", "the file's", nullptr},
};

const OptionDef kOutput[] = {
    {"--output", "-o", "FILE", &Settings::outputs, 0, 0,
     "write the result to FILE; may be given several times (e.g. -o a.svg -o a.json); "
     "'-' is standard output",
     "none", nullptr},
    {"--format", nullptr, "svg|json|dxf", &Settings::format, 0, 0,
     "format of every output; by default taken from each file's extension (.svg, .json, .dxf)",
     "by extension", nullptr},
    {"--units", nullptr, "mm|inch|px", &Settings::units, 0, 0,
     "DXF drawing units; mm or inch need the resolution (from the file or --dpi)",
     "mm when the resolution is known, else px", nullptr},
    {"--background", nullptr, nullptr, &Settings::background, 0, 0,
     "SVG only: embed the binarised input as a PNG image under the vectors", nullptr, nullptr},
    {"--quiet", "-q", nullptr, &Settings::quiet, 0, 0,
     "do not print the summary line (nodes, polylines, milliseconds)", nullptr, nullptr},
    {"--help", "-h", nullptr, &Settings::help, 0, 0, "show this help and exit", nullptr, nullptr},
    // Last: the drawing option (drawing_options), which the browser page offers too.
    {"--join-strokes", nullptr, nullptr, &Settings::join_strokes, 0, 0,
     "SVG and DXF: draw a stroke that runs straight on across junctions (the polylines' "
     "connections, see --connect) as one path rather than one per polyline, so that a wall "
     "is one object however many lines meet it; the graph and the JSON are the same either "
     "way. --no-join-strokes writes one path per polyline",
     nullptr, nullptr, nullptr, true},
};

[[noreturn]] void bad(const std::string &message) { throw CliError(message, true); }

const OptionDef *find(const std::vector<OptionTable> &tables, const std::string &name) {
    for (const OptionTable &t : tables)
        for (const OptionDef *o = t.begin; o != t.end; ++o)
            if (name == o->name || (o->alias && name == o->alias)) return o;
    return nullptr;
}

// The flag that "--no-NAME" switches off, or null.
const OptionDef *find_negated(const std::vector<OptionTable> &tables, const std::string &name) {
    if (name.rfind("--no-", 0) != 0) return nullptr;
    const OptionDef *o = find(tables, "--" + name.substr(5));
    return o && o->negatable ? o : nullptr;
}

[[noreturn]] void out_of_range(const OptionDef &o, const std::string &text) {
    char range[96];
    std::snprintf(range, sizeof range, " is out of range (%g to %g)", o.min, o.max);
    bad(std::string(o.name) + ": '" + text + "'" + range);
}

void check_text(const OptionDef &o, const std::string &text, const char *end, const char *kind) {
    if (*end != '\0' || end == text.c_str()) bad(std::string(o.name) + ": '" + text + "' is not " + kind);
}

double parse_real(const OptionDef &o, const std::string &text) {
    if (o.auto_word && text == o.auto_word) return -1;
    if (text.empty()) bad(std::string(o.name) + ": missing value");
    errno = 0;
    char *end = nullptr;
    const double v = std::strtod(text.c_str(), &end);
    check_text(o, text, end, "a number");
    if (errno == ERANGE || !std::isfinite(v) || v < o.min || v > o.max) out_of_range(o, text);
    return v;
}

// Whole numbers are read and checked as integers: a limit such as
// --max-pixels keeps every digit, which a double would round above 2^53.
// The ranges' bounds are whole numbers well inside 64 bits, so converting
// them is exact.
long long parse_whole(const OptionDef &o, const std::string &text) {
    if (o.auto_word && text == o.auto_word) return -1;
    if (text.empty()) bad(std::string(o.name) + ": missing value");
    errno = 0;
    char *end = nullptr;
    const long long v = std::strtoll(text.c_str(), &end, 10);
    check_text(o, text, end, "a whole number");
    if (errno == ERANGE || v < static_cast<long long>(o.min) || v > static_cast<long long>(o.max))
        out_of_range(o, text);
    return v;
}

struct Assign {
    const OptionDef &o;
    const std::string &text;
    Settings &s;
    void operator()(bool Settings::*p) const { s.*p = true; }
    void operator()(int Settings::*p) const { s.*p = static_cast<int>(parse_whole(o, text)); }
    void operator()(double Settings::*p) const { s.*p = parse_real(o, text); }
    void operator()(std::uint64_t Settings::*p) const { s.*p = static_cast<std::uint64_t>(parse_whole(o, text)); }
    void operator()(std::string Settings::*p) const {
        if (text.empty()) bad(std::string(o.name) + ": missing value");
        s.*p = text;
    }
    void operator()(std::vector<std::string> Settings::*p) const {
        if (text.empty()) bad(std::string(o.name) + ": missing value");
        (s.*p).push_back(text);
    }
};

struct ShowDefault {
    const Settings &s;
    std::string operator()(bool Settings::*p) const { return s.*p ? "on" : "off"; }
    std::string operator()(int Settings::*p) const { return std::to_string(s.*p); }
    std::string operator()(double Settings::*p) const {
        char buf[32];
        std::snprintf(buf, sizeof buf, "%g", s.*p);
        return buf;
    }
    std::string operator()(std::uint64_t Settings::*p) const { return std::to_string(s.*p); }
    std::string operator()(std::string Settings::*p) const { return s.*p; }
    std::string operator()(std::vector<std::string> Settings::*) const { return ""; }
};

struct NumberOf {
    const Settings &s;
    double operator()(bool Settings::*p) const { return s.*p ? 1 : 0; }
    double operator()(int Settings::*p) const { return s.*p; }
    double operator()(double Settings::*p) const { return s.*p; }
    double operator()(std::uint64_t Settings::*p) const { return static_cast<double>(s.*p); }
    double operator()(std::string Settings::*) const { return std::nan(""); }
    double operator()(std::vector<std::string> Settings::*) const { return std::nan(""); }
};

// Wraps `text` at `width` columns, each line after the first indented.
std::string wrap(const std::string &text, std::size_t indent, std::size_t width) {
    std::string out, line;
    std::size_t pos = 0;
    while (pos < text.size()) {
        std::size_t end = text.find(' ', pos);
        if (end == std::string::npos) end = text.size();
        const std::string word = text.substr(pos, end - pos);
        if (!line.empty() && indent + line.size() + 1 + word.size() > width) {
            out += line + "\n" + std::string(indent, ' ');
            line.clear();
        }
        line += (line.empty() ? "" : " ") + word;
        pos = end + 1;
    }
    return out + line;
}

}  // namespace

OptionTable input_options() { return {"Input", std::begin(kInput), std::end(kInput)}; }
// --dpi comes last in kInput.
OptionTable scan_options() { return {"Scan", std::begin(kInput), std::end(kInput) - 1}; }
OptionTable output_options() { return {"Output", std::begin(kOutput), std::end(kOutput)}; }
// --join-strokes comes last in kOutput.
OptionTable drawing_options() { return {"Drawing", std::end(kOutput) - 1, std::end(kOutput)}; }

void parse_options(int argc, char **argv, const std::vector<OptionTable> &tables, Settings &settings,
                   std::vector<std::string> *inputs) {
    bool options_done = false;
    for (int i = 0; i < argc; ++i) {
        const std::string arg = argv[i];
        if (options_done || arg == "-" || arg.empty() || arg[0] != '-') {
            if (inputs) {
                inputs->push_back(arg);
                continue;
            }
            if (!settings.input.empty())
                bad("more than one input file ('" + settings.input + "' and '" + arg + "')");
            settings.input = arg;
            continue;
        }
        if (arg == "--") {
            options_done = true;
            continue;
        }
        const std::size_t eq = arg.rfind("--", 0) == 0 ? arg.find('=') : std::string::npos;
        const std::string name = arg.substr(0, eq);
        if (const OptionDef *negated = find_negated(tables, name)) {
            if (eq != std::string::npos) bad(name + " takes no value");
            settings.*std::get<bool Settings::*>(negated->target) = false;
            continue;
        }
        const OptionDef *o = find(tables, name);
        if (!o) bad("unknown option '" + name + "'");
        std::string value;
        if (!o->metavar) {
            if (eq != std::string::npos) bad(name + " takes no value");
        } else if (eq != std::string::npos) {
            value = arg.substr(eq + 1);
        } else if (i + 1 < argc) {
            value = argv[++i];
        } else {
            bad(name + " needs a value (" + o->metavar + ")");
        }
        std::visit(Assign{*o, value, settings}, o->target);
    }
    // Checked here, not when a DXF is written: a misspelt unit must not pass
    // unnoticed on a run whose outputs happen to be SVG or JSON.
    const std::string &u = settings.units;
    if (!u.empty() && u != "mm" && u != "inch" && u != "px") bad("--units: '" + u + "' is not mm, inch or px");
}

double option_value(const OptionDef &option, const Settings &settings) {
    return std::visit(NumberOf{settings}, option.target);
}

void set_option_value(const OptionDef &option, Settings &settings, double value) {
    struct SetNumber {
        Settings &s;
        double v;
        void operator()(bool Settings::*p) const { s.*p = v != 0; }
        void operator()(int Settings::*p) const { s.*p = static_cast<int>(v); }
        void operator()(double Settings::*p) const { s.*p = v; }
        void operator()(std::uint64_t Settings::*p) const { s.*p = static_cast<std::uint64_t>(v); }
        void operator()(std::string Settings::*) const {}
        void operator()(std::vector<std::string> Settings::*) const {}
    };
    std::visit(SetNumber{settings, value}, option.target);
}

std::string describe_options(const std::vector<OptionTable> &tables, const Settings &defaults) {
    std::string out;
    for (auto t = tables.begin(); t != tables.end(); ++t) {
        out += std::string("\n") + t->heading + ":\n";
        for (const OptionDef *o = t->begin; o != t->end; ++o) {
            if (find(std::vector<OptionTable>(tables.begin(), t), o->name)) continue;  // hidden
            std::string head = "  ";
            if (o->alias) head += std::string(o->alias) + ", ";
            head += o->negatable ? "--[no-]" + std::string(o->name + 2) : std::string(o->name);
            if (o->metavar) head += std::string(" ") + o->metavar;
            std::string help = o->help;
            const std::string def =
                o->default_text ? o->default_text : std::visit(ShowDefault{defaults}, o->target);
            std::string note;
            if ((o->metavar || o->negatable) && !def.empty()) note = "default: " + def;
            if (o->sets) note += (note.empty() ? "" : "; ") + std::string("sets ") + o->sets;
            if (!note.empty()) help += " [" + note + "]";
            out += head + "\n      " + wrap(help, 6, 79) + "\n";
        }
    }
    return out;
}

}  // namespace ktvcli
