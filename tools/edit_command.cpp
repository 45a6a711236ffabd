// `ktvec edit INPUT.json [--ops OPS.json] -o OUTPUT`: a result of the
// program read back, edited by a script of library calls and written again.
// Without --ops the graph goes through unchanged, which turns a JSON result
// into SVG and proves that reading and writing agree.
#include "edit_command.h"

#include <chrono>
#include <cstdio>
#include <string>

#include "edit_ops.h"
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
};

std::vector<OptionTable> edit_tables() {
    return {{"Editing", std::begin(kEditOptions), std::end(kEditOptions)}, output_options()};
}

const char *const kEditDescription =
    "Reads a JSON result of this program (centerline, outline or outline-fast),\n"
    "applies the editing script of --ops to its graph and writes the result as SVG,\n"
    "JSON or DXF.  Nodes are named by their number in INPUT (nodes that earlier ops\n"
    "make follow in order of creation) or by a position [x, y] (the nearest node\n"
    "within 5 px).  Each op is a library call: select, insert, move, move-attach,\n"
    "delete-node, delete-polyline, merge, split, connect, disconnect, notch, arc,\n"
    "circle, spline, simplify, refit, undo.\n";

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

}  // namespace

std::string edit_help() {
    return std::string("usage: ktvec edit INPUT.json [--ops OPS.json] -o OUTPUT [-o OUTPUT ...]\n\n") +
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
    try {
        apply_ops(ops, v);
    } catch (const CliError &e) {
        rethrow_about(s.ops, e);
    }

    VectorView view(v);
    write_outputs(outputs, view, loaded.info, nullptr);
    if (!s.quiet) {
        const double ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
        std::fprintf(stderr, "ktvec edit: %s: %zu ops, %d nodes, %d polylines, %.0f ms\n", name.c_str(), ops.size(),
                     view.written_nodes(), view.live_polylines(), ms);
    }
    return 0;
}

}  // namespace ktvcli
