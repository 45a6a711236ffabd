// The result writers: SVG for looking at (it overlays the input image
// exactly), JSON for programs and DXF for CAD.  The formats are described
// in docs/formats.md.
#ifndef KTVEC_IO_WRITERS_H
#define KTVEC_IO_WRITERS_H

#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "image.h"
#include "text_sink.h"
#include "vector_view.h"

namespace ktvcli {

enum class OutputFormat { Svg, Json, Dxf };

// "svg", "json" or "dxf" (case-insensitive); false for anything else.
bool format_from_name(std::string_view name, OutputFormat &format);
// By the extension of `path` (case-insensitive); false when unknown.
bool format_from_extension(std::string_view path, OutputFormat &format);
// The extension a file of `format` is given: ".svg", ".json", ".dxf".
std::string format_extension(OutputFormat format);

struct ResultInfo {
    std::string command;                    // subcommand that made the result
    std::string source;                     // input file as given
    const PackedBitmap *background = nullptr;  // SVG: embed under the vectors
    std::string format;                     // input format ("PBM", "PNG", "TIFF"), or empty
    int threshold = -1;                     // binarisation threshold used, -1 for none
    // The driver's arguments, by option name without the dashes.
    std::vector<std::pair<std::string, double>> parameters;
    double dpi_x = 0, dpi_y = 0;            // input resolution, 0 when unknown
    std::string units{};                    // DXF units: "mm", "inch", "px"; empty: by resolution
    // SVG and DXF: a stroke followed across junctions along the polylines'
    // connections is one path (for_each_drawn_stroke); false: one per polyline.
    bool join_strokes = true;
};

void write_svg(VectorView &view, const ResultInfo &info, TextSink &out);
void write_json(VectorView &view, const ResultInfo &info, TextSink &out);
void write_dxf(VectorView &view, const ResultInfo &info, TextSink &out);
void write_result(OutputFormat format, VectorView &view, const ResultInfo &info, TextSink &out);

// Standard base64 (RFC 4648, with padding), appended to the sink.
void put_base64(const unsigned char *data, std::size_t size, TextSink &out);

}  // namespace ktvcli

#endif
