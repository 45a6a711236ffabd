// The output files of a run: the formats of the -o files, decided before
// any work is done, and the writing of all of them, complete before any is
// renamed into place.
#include "outputs.h"

#include <deque>

#include "error.h"
#include "output_file.h"

namespace ktvcli {

std::vector<Output> resolve_outputs(const Settings &s) {
    if (s.outputs.empty()) throw CliError("no output file (give -o FILE)", true);
    OutputFormat forced{};
    if (!s.format.empty() && !format_from_name(s.format, forced))
        throw CliError("--format: '" + s.format + "' is not svg, json or dxf", true);
    std::vector<Output> outputs;
    bool any_svg = false;
    for (const std::string &path : s.outputs) {
        OutputFormat f = forced;
        if (s.format.empty() && !format_from_extension(path, f))
            throw CliError(path + ": cannot tell the output format (use .svg, .json or .dxf, or --format)", true);
        any_svg |= f == OutputFormat::Svg;
        outputs.push_back({path, f});
    }
    if (s.background && !any_svg) throw CliError("--background needs an SVG output", true);
    return outputs;
}

// Every output is written to its temporary file first; only when all of
// them are complete are they renamed into place.
void write_outputs(const std::vector<Output> &outputs, VectorView &view, ResultInfo info,
                   const PackedBitmap *background) {
    std::deque<OutputFile> files;
    for (const Output &o : outputs) {
        try {
            files.emplace_back(o.path);
            TextSink sink(files.back().stream());
            info.background = o.format == OutputFormat::Svg ? background : nullptr;
            write_result(o.format, view, info, sink);
            sink.flush();
        } catch (const CliError &e) {
            rethrow_about(o.path, e);
        }
    }
    for (std::size_t i = 0; i < files.size(); ++i) {
        try {
            files[i].commit();
        } catch (const CliError &e) {
            rethrow_about(outputs[i].path, e);
        }
    }
}

}  // namespace ktvcli
