// Choosing an output format by name or by file extension, and dispatching
// to its writer.
#include "writers.h"

#include <cctype>
#include <string>

namespace ktvcli {

namespace {

// Each format's name, which is also its file extension.
struct FormatName {
    OutputFormat format;
    const char *name;
};
constexpr FormatName kFormats[] = {
    {OutputFormat::Svg, "svg"},
    {OutputFormat::Json, "json"},
    {OutputFormat::Dxf, "dxf"},
};

}  // namespace

bool format_from_name(std::string_view name, OutputFormat &format) {
    std::string lower;
    for (char c : name) lower += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    for (const FormatName &f : kFormats)
        if (lower == f.name) {
            format = f.format;
            return true;
        }
    return false;
}

std::string format_extension(OutputFormat format) {
    for (const FormatName &f : kFormats)
        if (f.format == format) return std::string(".") + f.name;
    return "";
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
