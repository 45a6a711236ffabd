// Command-line options: the settings every subcommand shares (input,
// binarisation, outputs), the settings of the vectorizing drivers, and the
// table-driven parser that fills them.  Each option's default is the value
// of a default-constructed Settings, so --help cannot disagree with it.
#ifndef KTVEC_TOOLS_OPTIONS_H
#define KTVEC_TOOLS_OPTIONS_H

#include <cstdint>
#include <string>
#include <variant>
#include <vector>

#include "image.h"
#include "preclean.h"

namespace ktvcli {

struct Settings {
    // input
    std::string input;
    int threshold = -1;                        // -1: automatic (Otsu)
    bool invert = false;
    std::uint64_t max_pixels = 1000000000;
    int page = 0;                              // multi-page input: 0 = every page
    double dpi = 0;                            // 0: the file's resolution
    // output
    std::vector<std::string> outputs;
    std::string format;                        // empty: by extension
    bool background = false;
    bool join_strokes = true;                  // SVG, DXF: one path per stroke followed across junctions
    bool quiet = false;
    bool help = false;
    std::string units;                         // DXF: mm, inch or px; empty: by resolution
    // outline drivers; tolerance is also the centre-line driver's e
    int maxlength = 4;
    double tolerance = 1.5;
    int nodesearch = 1;
    int spur_nodes = 1;
    // centre-line driver: the passes switched on (flag bits) and their
    // thresholds, named after what they do
    bool cut_spurs = true;         // 8
    bool bridge_gaps = true;       // 2
    bool merge_ends = true;        // 1
    bool merge_junctions = true;   // 16
    bool connect = true;           // 4
    int centerline_maxlength = 4;  // measured: docs/quality.md
    double merge_radius = 3.0;     // a
    double bridge_radius = 8.0;    // b
    double straightness = 0.9;     // c
    double junction_link = 4.0;    // d
    // pre-cleaning of the bitmap before every driver (preclean.h)
    int despeckle = kDefaultDespeckle;
    int fill_holes = kDefaultFillHoles;
    bool keep_cells = kDefaultKeepCells;
    bool smooth = kDefaultSmooth;
    bool part_pairs = kDefaultPartPairs;
    // sub-pixel geometry after the driver (outline-fast: off)
    bool refine = true;
    bool pen_widths = true;        // outlines: level strokes of a measured pen drawn its width
    // post-processing of every vectorizing command; -1 / empty: not asked for
    std::string simplify;          // "DIST,ANGLE"
    double circles = -1;           // largest radius
    std::string arcs;              // "MIN,MAX"
    double same_curvature = -1;    // tolerance
    int splines = -1;              // division
    // edit
    std::string ops;               // the editing script
    std::string image;             // the scan the result was made from, to measure against
    // batch
    std::string command = "centerline";  // the command run on every file
    int jobs = 0;                  // worker threads; 0: one per processor core
    std::string manifest;          // the JSON-lines record of the pages done; empty: none
    bool skip_done = false;        // pass over the inputs the manifest shows done
    // Not an option: the threads each page's filter bands and sub-pixel
    // stage may use (0: one per core); batch workers share the cores out
    // among them.
    int page_threads = 0;

    // Removing specks and filling pinholes writes the few rows they lie in,
    // so a mapped input copies only those pages; smoothing may change a
    // row anywhere along a jagged stroke.
    ReadOptions read_options() const {
        return {threshold, invert, max_pixels, page, dpi, smooth};
    }
};

using OptionTarget = std::variant<bool Settings::*, int Settings::*, double Settings::*,
                                  std::uint64_t Settings::*, std::string Settings::*,
                                  std::vector<std::string> Settings::*>;

struct OptionDef {
    const char *name;         // "--tolerance"
    const char *alias;        // "-o", or null
    const char *metavar;      // "T"; null for a flag
    OptionTarget target;
    double min, max;          // accepted range of numbers (inclusive)
    const char *help;         // meaning and, where it matters, why the default
    const char *default_text; // shown instead of the default value, or null
    const char *auto_word;    // a word accepted for the value -1 ("auto"), or null
    const char *sets = nullptr;  // the driver argument it sets ("argument a", "flag 4")
    bool negatable = false;      // a flag that --no-NAME switches off
};

struct OptionTable {
    const char *heading;
    const OptionDef *begin, *end;
};

// Parses arguments (after the subcommand name) against the tables into
// `settings`.  An option is looked up in the tables in order, so an earlier
// table's option hides a later one of the same name.  The one argument that
// is not an option is the input file; with `inputs`, every such argument is
// appended there instead, in order.  Throws CliError(usage = true) with a
// one-line message.
void parse_options(int argc, char **argv, const std::vector<OptionTable> &tables, Settings &settings,
                   std::vector<std::string> *inputs = nullptr);

// The numeric value of an option in `settings` (flags as 0/1); NaN for a
// text option.
double option_value(const OptionDef &option, const Settings &settings);
// The reverse: a numeric option set to `value` as option_value gives it
// (a flag is on for any value but 0); a text option is left as it is.
void set_option_value(const OptionDef &option, Settings &settings, double value);

// The option list of --help, one block per table, with the defaults of
// `defaults` (a command's own, see command_defaults); an option hidden by
// an earlier table's one of the same name is left out.
std::string describe_options(const std::vector<OptionTable> &tables, const Settings &defaults = Settings{});

// The options every subcommand has.
OptionTable input_options();
OptionTable output_options();
// The output option that says how the SVG and DXF draw the result
// (--join-strokes), for a host that writes no files of its own naming.
OptionTable drawing_options();
// The input options that say how a scan becomes the bitmap (all but --dpi):
// for a scan read beside a result, as `ktvec edit --image` reads one.
OptionTable scan_options();

}  // namespace ktvcli

#endif
