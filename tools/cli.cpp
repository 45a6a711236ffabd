#include "cli.h"

#include <chrono>
#include <cstdio>
#include <memory>
#include <new>
#include <string>

#include "batch.h"
#include "commands.h"
#include "edit_command.h"
#include "error.h"
#include "outputs.h"
#include "pages.h"
#include "postprocess.h"
#include "writers.h"

namespace ktvcli {

namespace {

const char *const kVersion = "0.1.0";

using Clock = std::chrono::steady_clock;

double ms_since(Clock::time_point t) {
    return std::chrono::duration<double, std::milli>(Clock::now() - t).count();
}

// Every input format the program reads, as the help lists them.
#ifdef KTVEC_HAVE_TIFF
const char *const kInputFormats =
    "Input:  PBM (P1, P4), PNG of any colour type, TIFF (1-bit pages in any\n"
    "        compression libtiff decodes, CCITT Group 4 and 3 included, grey and\n"
    "        colour too; every page of a multi-page file)\n";
#else
const char *const kInputFormats =
    "Input:  PBM (P1, P4), PNG of any colour type; not TIFF: this program was\n"
    "        built without libtiff (-DKTVEC_WITH_TIFF=OFF)\n";
#endif
const char *const kOutputFormats = "Output: SVG, JSON, DXF\n";

std::string general_help() {
    std::string s = std::string("usage: ktvec COMMAND INPUT -o OUTPUT [options]\n\n"
                                "Turns a scanned line drawing into vectors.\n") +
                    kInputFormats + kOutputFormats + "\nCommands:\n";
    for (const Command &c : commands()) {
        std::string name = c.name;
        name.resize(16, ' ');
        s += "  " + name + c.summary + "\n";
    }
    s += "  edit            edit a JSON result by a script of library calls (--ops), write it again\n";
    s += "  batch           vectorize many files on worker threads into a folder (--command, --jobs)\n";
    s += "\n'ktvec COMMAND --help' lists the options of a command.\n"
         "Example: ktvec centerline drawing.png -o drawing.svg -o drawing.json\n";
    return s;
}

std::vector<OptionTable> option_tables(const Command &c) {
    return {c.options, postprocess_options(), input_options(), output_options()};
}

std::string command_help(const Command &c) {
    return std::string("usage: ktvec ") + c.name + " INPUT -o OUTPUT [-o OUTPUT ...] [options]\n\n" +
           c.description +
           "\n" + kInputFormats + kOutputFormats +
           "Grey and colour images are binarised first.  A node at pixel (x, y) is drawn at\n"
           "(x + 0.5, y + 0.5) in the SVG, so the vectors overlay the image; the JSON keeps\n"
           "pixel coordinates (see docs/formats.md).\n" +
           describe_options(option_tables(c), command_defaults(c)) +
           "\nExit status: 0 done, 1 unreadable input or failed output, 2 bad command line.\n";
}

LoadedImage load_input(const Settings &s, const std::string &name) {
    try {
        return read_image(s.input == "-" ? "/dev/stdin" : s.input, s.read_options());
    } catch (const CliError &e) {
        rethrow_about(name, e);
    }
}

bool g_process_ends = false;  // see process_ends_after_run

// The results of a run left to the process's end; a static pointer, so that
// leak checkers see them as still reachable.
struct Results {
    CKTVector vectors;
    CKTRefiner refiner;
};
Results *g_left_to_exit = nullptr;

int run_settings(const Command &c, const Settings &s, PageCounts *counts = nullptr, bool last = false);

int run_command(const Command &c, int argc, char **argv) {
    Settings s = command_defaults(c);
    parse_options(argc, argv, option_tables(c), s);
    if (s.help) {
        std::fputs(command_help(c).c_str(), stdout);
        return 0;
    }
    if (s.input.empty()) throw CliError(std::string(c.name) + ": no input file", true);
    // A multi-page input without --page: every page in turn, outputs numbered.
    if (const int pages = s.page == 0 ? input_page_count(s.input) : 1; pages > 1) {
        for (int page = 1; page <= pages; ++page) run_settings(c, page_settings(s, page));
        return 0;
    }
    return run_settings(c, s, nullptr, g_process_ends);
}

// `last`: nothing runs after this in the process, which ends soon.
int run_settings(const Command &c, const Settings &s, PageCounts *counts, bool last) {
    const std::vector<Output> outputs = resolve_outputs(s);
    const PostProcessing post = postprocessing(s);
    const Clock::time_point start = Clock::now();
    const std::string name = s.input == "-" ? "<stdin>" : s.input;
    LoadedImage image = load_input(s, name);

    std::unique_ptr<Results> results(new Results);
    CKTVector &v = results->vectors;
    CKTRefiner &refiner = results->refiner;
    v.msetdocument(image.bitmap.bits.data(), image.bitmap.width, image.bitmap.height);
    const Clock::time_point vectorize_start = Clock::now();
    const int result = vectorize_document(c, s, post, v, refiner);
    const double vectorize_ms = ms_since(vectorize_start);
    if (result == KTVEC_NO_MEMORY) throw CliError(name + ": out of memory while vectorizing");
    if (result < 0) throw CliError(name + ": vectorizing failed (library code " + std::to_string(result) + ")");
    // The clean-up ran short of memory part-way: the graph is only partly
    // cleaned, so no output is written from it.
    if (v.mispostprocessincomplete())
        throw CliError(name + ": out of memory while cleaning up the vectors (result incomplete)");

    VectorView view(v);
    if (s.refine) view.set_refined(&refiner);
    write_outputs(outputs, view, result_info(c, s, image, post, name), s.background ? &image.bitmap : nullptr);
    if (counts) *counts = {view.written_nodes(), view.live_polylines()};

    if (!s.quiet) {
        const std::string binarised = image.threshold >= 0 ? ", threshold " + std::to_string(image.threshold) : "";
        std::fprintf(stderr, "ktvec %s: %s (%dx%d %s%s): %d nodes, %d polylines, %.0f ms (vectorizing %.0f ms)\n",
                     c.name, name.c_str(), image.bitmap.width, image.bitmap.height, image.format,
                     binarised.c_str(), view.written_nodes(), view.live_polylines(), ms_since(start),
                     vectorize_ms);
    }
    if (last && !g_left_to_exit) g_left_to_exit = results.release();
    return 0;
}

}  // namespace

int run_one(const Command &c, const Settings &s, PageCounts *counts) { return run_settings(c, s, counts); }

void process_ends_after_run() { g_process_ends = true; }

int run(int argc, char **argv) {
    try {
        if (argc < 2) {
            std::fputs(general_help().c_str(), stderr);
            return 2;
        }
        const std::string first = argv[1];
        if (first == "--help" || first == "-h" || first == "help") {
            std::fputs(general_help().c_str(), stdout);
            return 0;
        }
        if (first == "--version") {
            std::printf("ktvec %s\n", kVersion);
            return 0;
        }
        if (first == "batch") {
            try {
                return run_batch(argc - 2, argv + 2);
            } catch (const CliError &e) {
                if (!e.usage) throw;
                throw CliError(std::string(e.what()) + " (see 'ktvec batch --help')", true);
            }
        }
        if (first == "edit") {
            try {
                return run_edit(argc - 2, argv + 2);
            } catch (const CliError &e) {
                if (!e.usage) throw;
                throw CliError(std::string(e.what()) + " (see 'ktvec edit --help')", true);
            }
        }
        const Command *c = find_command(argv[1]);
        if (!c) throw CliError("unknown command '" + first + "' (see 'ktvec --help')", true);
        try {
            return run_command(*c, argc - 2, argv + 2);
        } catch (const CliError &e) {
            if (!e.usage) throw;
            throw CliError(std::string(e.what()) + " (see 'ktvec " + c->name + " --help')", true);
        }
    } catch (const CliError &e) {
        std::fprintf(stderr, "ktvec: %s\n", e.what());
        return e.usage ? 2 : 1;
    } catch (const std::bad_alloc &) {
        std::fprintf(stderr, "ktvec: out of memory\n");
        return 1;
    } catch (const std::exception &e) {
        std::fprintf(stderr, "ktvec: %s\n", e.what());
        return 1;
    }
}

}  // namespace ktvcli
