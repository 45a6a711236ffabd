// The output files of a run: their formats, decided before any work is
// done, and their writing, all complete before any is renamed into place.
#ifndef KTVEC_TOOLS_OUTPUTS_H
#define KTVEC_TOOLS_OUTPUTS_H

#include <string>
#include <vector>

#include "options.h"
#include "writers.h"

namespace ktvcli {

struct Output {
    std::string path;
    OutputFormat format;
};

// The -o files with their formats; throws CliError(usage) when a format
// cannot be told or --background has no SVG to go into.
std::vector<Output> resolve_outputs(const Settings &s);

// Writes every output to its temporary file, then renames them all; after
// a failure no output name has changed.
void write_outputs(const std::vector<Output> &outputs, VectorView &view, ResultInfo info,
                   const PackedBitmap *background);

}  // namespace ktvcli

#endif
