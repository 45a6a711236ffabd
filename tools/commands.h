// The subcommands.  Each names its driver options and the call that runs
// its driver on a vectorizer whose document is set; reading the input and
// writing the outputs is shared by all of them (cli.cpp).
#ifndef KTVEC_TOOLS_COMMANDS_H
#define KTVEC_TOOLS_COMMANDS_H

#include <vector>

#include "ktvec.h"
#include "ktvec_refine.h"
#include "options.h"
#include "postprocess.h"
#include "writers.h"

namespace ktvcli {

struct Command {
    const char *name;
    const char *summary;      // one line for the command list
    const char *description;  // paragraph for the command's --help
    OptionTable options;      // driver options
    // Runs the driver; the library's result (0 or a negative code).
    int (*vectorize)(CKTVector &v, const Settings &s);
    // Measures the driver's result against the ink (--refine): 0 or -1000.
    int (*refine)(CKTRefiner &r, CKTVector &v);
};

const std::vector<Command> &commands();

// Whether `c` measures its results as outline rings (else as centre lines).
bool refines_outlines(const Command &c);

// The pre-cleaning every command gives the bitmap before its driver reads
// it (despeckle, fill holes, smooth), in place.  0 or -1000.
int preclean_bitmap(PackedBitmap &bitmap, const Settings &s);

// The settings a result of `c` was made with as far as its file records
// them: the command's defaults, then every driver option its parameters
// name (a result read back, the pre-cleaning and --refine among them).
Settings recorded_settings(const Command &c, const ResultInfo &info);

// Measures the graph `v` of a result of `c` against `ink`, the bitmap its
// driver read (the input after the command's pre-cleaning), with the
// sub-pixel settings of `s` (those the result was made with).  The graph may
// have been edited or read back from a file since: its own document (a
// blank page for a graph read back) is only set aside while the refiner
// reads the ink, and is put back.  0 or -1000 (`r` then holds no lines).
int refine_against(const Command &c, const Settings &s, CKTRefiner &r, CKTVector &v, const PackedBitmap &ink);

// The settings a command starts from before its options are read: the
// common defaults, except that centre lines are approximated more closely
// (tolerance 1, chosen on real drawings) and outline-fast, the quickest
// command, leaves the bitmap as it is (no pinholes filled) and skips the
// sub-pixel stage unless asked.
Settings command_defaults(const Command &c);
const Command *find_command(const char *name);

// The arguments of mabstractcenterline(flags, maxlength, a, b, c, d, e) as
// the options of `centerline` set them.
struct CenterlineArguments {
    int flags;
    int maxlength;
    double a, b, c, d, e;
};
CenterlineArguments centerline_arguments(const Settings &s);

// What the outputs record about a run of `c` with `s` on `image` read from
// `source`: the driver's arguments by option name, the post-processing steps
// that ran, the input's format, threshold and resolution, the DXF units.  The
// program and the browser editor write their files from it, so both give the
// same bytes for the same run.
ResultInfo result_info(const Command &c, const Settings &s, const LoadedImage &image,
                       const PostProcessing &post, const std::string &source);

// Runs `c` on `v`, whose document is set (pre-cleaning and driver), then,
// when the driver succeeded and its clean-up was complete, the
// post-processing and (with s.refine) the sub-pixel stage into `refiner`:
// one image as the program and the Python module vectorize it.  The
// library's result: 0, the driver's negative code (the graph is whatever the
// driver left, the refiner untouched), or -1000 when the sub-pixel stage ran
// short of memory (the refiner then holds no lines);
// v.mispostprocessincomplete() tells a clean-up cut short.
int vectorize_document(const Command &c, const Settings &s, const PostProcessing &post, CKTVector &v,
                       CKTRefiner &refiner);

}  // namespace ktvcli

#endif
