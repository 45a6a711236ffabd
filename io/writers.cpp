// Choosing an output format by name or by file extension, and dispatching
// to its writer.
#include <cctype>

#include "writers.h"

namespace ktvcli {

bool format_from_name(std::string_view name, OutputFormat &format) {
    std::string lower;
    for (char c : name) lower += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (lower == "svg") format = OutputFormat::Svg;
    else if (lower == "json") format = OutputFormat::Json;
    else if (lower == "dxf") format = OutputFormat::Dxf;
    else return false;
    return true;
}

bool format_from_extension(std::string_view path, OutputFormat &format) {
    const std::size_t dot = path.find_last_of('.');
    const std::size_t slash = path.find_last_of('/');
    if (dot == std::string_view::npos || (slash != std::string_view::npos && dot < slash)) return false;
    return format_from_name(path.substr(dot + 1), format);
}

void write_result(OutputFormat format, VectorView &view, const ResultInfo &info, TextSink &out) {
    switch (format) {
    case OutputFormat::Svg: write_svg(view, info, out); break;
    case OutputFormat::Json: write_json(view, info, out); break;
    case OutputFormat::Dxf: write_dxf(view, info, out); break;
    }
}

}  // namespace ktvcli
