// `ktvec edit INPUT.json [--ops OPS.json] [--image SCAN] -o OUTPUT`: a
// result of the program read back, edited by a script of library calls and
// written again.  Without --ops the graph goes through unchanged, which
// turns a JSON result into SVG and proves that reading and writing agree.
// A JSON result holds no pixels, so the sub-pixel geometry of the edited
// graph can only be measured against the scan itself, given by --image.
#include "edit_command.h"

#include <chrono>
#include <cstdio>
#include <string>

#include "commands.h"
#include "edit_ops.h"
#include "edited_geometry.h"
#include "error.h"
#include "outputs.h"
#include "result_loader.h"

namespace ktvcli {

namespace {

const OptionDef kEditOptions[] = {
    {"--ops", nullptr, "FILE", &Settings::ops, 0, 0,
     "the editing script: {\"ops\": [...]}, one object per library call, applied in order "
     "(see docs/cli.md); without it the result is written back unchanged",
     "none", nullptr},
    {"--image", nullptr, "FILE", &Settings::image, 0, 0,
     "the scan INPUT was made from: when INPUT is refined (its parameter refine is 1), the "
     "result is written in sub-pixel coordinates: centre lines measured again against the "
     "scan's ink after the edits, as a fresh result, but nodes the edits placed stay where "
     "they were put and strokes they deleted are not restored; outlines as the rings of "
     "INPUT measured against the ink, with the polylines the edits changed drawn as edited in "
     "place of their parts of the rings.  The scan is binarised at INPUT's threshold "
     "(--threshold gives another) and cleaned with INPUT's options; a white drawing on black "
     "needs --invert again, which INPUT does not record.  Without it the graph is written on "
     "pixel centres",
     "none", nullptr},
};

std::vector<OptionTable> edit_tables() {
    return {{"Editing", std::begin(kEditOptions), std::end(kEditOptions)}, scan_options(), output_options()};
}

const char *const kEditDescription =
    "Reads a JSON result of this program (centerline, outline or outline-fast),\n"
    "applies the editing script of --ops to its graph and writes the result as SVG,\n"
    "JSON or DXF.  Nodes are named by their number in INPUT (nodes that earlier ops\n"
    "make follow in order of creation) or by a position [x, y] (the nearest node\n"
    "within 5 px).  Each op is a library call: select, insert, move, move-attach,\n"
    "delete-node, delete-polyline, merge, split, connect, disconnect, notch, arc,\n"
    "circle, spline, simplify, refit, undo.\n"
    "With --image, refined centre lines are measured again after the edits; refined\n"
    "outlines are drawn from the result's rings as measured before them.\n";

// The whole file; "-" is standard input.
std::string read_text(const std::string &path) {
    std::FILE *f = path == "-" ? stdin : std::fopen(path.c_str(), "rb");
    if (!f) throw CliError("cannot open the file");
    std::string text;
    char block[1 << 16];
    std::size_t n;
    while ((n = std::fread(block, 1, sizeof block, f)) > 0) text.append(block, n);
    const bool failed = std::ferror(f) != 0;
    if (f != stdin) std::fclose(f);
    if (failed) throw CliError("read error");
    return text;
}

std::vector<Op> read_ops(const std::string &path) {
    try {
        const JsonDocument doc(read_text(path));
        return parse_ops(doc);
    } catch (const CliError &e) {
        rethrow_about(path, e);
    }
}

// The scan of --image, for measuring the edited graph against its ink.
struct Scan {
    const Command *command = nullptr;  // that made the result
    Settings recorded;                 // the settings it was made with
    PackedBitmap ink;                  // the scan as the command's driver read it
    UneditedResult before;             // the result before the edits
};

// Reads the scan --image names for a result described by `info` and
// measures the unedited graph `v` against it, as the result's command
// measured it: binarised at the recorded threshold (a 1-bit scan as it is),
// cleaned with the recorded options.  False when the result was not
// refined; throws when the scan cannot be read, has another size, or memory
// runs out.
bool read_scan(const Settings &s, const ResultInfo &info, CKTVector &v, Scan &scan) {
    scan.command = find_command(info.command.c_str());
    if (!scan.command) throw CliError(s.input + ": --image: no command '" + info.command + "' measures its results");
    scan.recorded = recorded_settings(*scan.command, info);
    const Settings &recorded = scan.recorded;
    if (!recorded.refine) return false;
    ReadOptions options = s.read_options();
    if (options.threshold < 0) options.threshold = info.threshold;
    try {
        scan.ink = read_image(s.image, options).bitmap;
    } catch (const CliError &e) {
        rethrow_about(s.image, e);
    }
    if (scan.ink.width != v.width || scan.ink.height != v.height)
        throw CliError(s.image + ": the scan is " + std::to_string(scan.ink.width) + " x " +
                       std::to_string(scan.ink.height) + " pixels, the result " + std::to_string(v.width) + " x " +
                       std::to_string(v.height));
    CKTRefiner unedited;
    if (preclean_bitmap(scan.ink, recorded) != KTVEC_OK || refine_against(*scan.command, recorded, unedited, v, scan.ink) != KTVEC_OK)
        throw CliError(s.image + ": out of memory while measuring the result");
    scan.before.take(v, &unedited,
                     refines_outlines(*scan.command) ? UneditedResult::Lines::Outlines : UneditedResult::Lines::CentreLines);
    return true;
}

}  // namespace

std::string edit_help() {
    return std::string("usage: ktvec edit INPUT.json [--ops OPS.json] [--image SCAN] -o OUTPUT [-o OUTPUT ...]\n\n") +
           kEditDescription + describe_options(edit_tables()) +
           "\nExit status: 0 done, 1 unreadable input, refused op or failed output, 2 bad command line.\n";
}

int run_edit(int argc, char **argv) {
    const auto start = std::chrono::steady_clock::now();
    Settings s;
    parse_options(argc, argv, edit_tables(), s);
    if (s.help) {
        std::fputs(edit_help().c_str(), stdout);
        return 0;
    }
    if (s.input.empty()) throw CliError("edit: no input file", true);
    if (s.background) throw CliError("--background needs the image, which a JSON result does not hold", true);
    const std::vector<Output> outputs = resolve_outputs(s);
    const std::string name = s.input == "-" ? "<stdin>" : s.input;

    // The script is checked before the graph is read, so a bad script
    // costs nothing.
    const std::vector<Op> ops = s.ops.empty() ? std::vector<Op>() : read_ops(s.ops);
    CKTVector v;
    LoadedResult loaded;
    try {
        const JsonDocument doc(read_text(s.input));
        load_result(doc, v, loaded);
    } catch (const CliError &e) {
        rethrow_about(name, e);
    }
    Scan scan;
    const bool refined = !s.image.empty() && read_scan(s, loaded.info, v, scan);
    try {
        apply_ops(ops, v);
    } catch (const CliError &e) {
        rethrow_about(s.ops, e);
    }

    VectorView view(v);
    CKTRefiner refiner;
    EditedGeometry lines;
    if (refined) {
        const bool measure = EditedGeometry::measures_edited(scan.before);
        if (measure && refine_against(*scan.command, scan.recorded, refiner, v, scan.ink) != KTVEC_OK)
            throw CliError(s.image + ": out of memory while measuring the edited graph");
        lines.compose(scan.before, v, measure ? &refiner : nullptr);
        view.set_refined(&lines);
    }
    loaded.info.join_strokes = s.join_strokes;
    write_outputs(outputs, view, loaded.info, nullptr);
    if (!s.quiet) {
        const double ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
        std::fprintf(stderr, "ktvec edit: %s: %zu ops, %d nodes, %d polylines, %.0f ms\n", name.c_str(), ops.size(),
                     view.written_nodes(), view.live_polylines(), ms);
    }
    return 0;
}

}  // namespace ktvcli
