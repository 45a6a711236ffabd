// The command-line program's readers on any bytes.  An image is either
// refused with the program's one error type or decoded into a bitmap whose
// rows are all there and whose padding bits are clear; a decoded bitmap
// survives the PNG writer and reads back the same.  A JSON result (bytes
// that begin with '{') is either refused the same way or read into a graph
// that every writer writes, the SVG and DXF drawing each polyline once
// however the file's connections run.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include <string_view>

#include "error.h"
#include "image.h"
#include "joined_check.h"
#include "json_reader.h"
#include "result_loader.h"
#include "writers.h"

namespace {

void require(bool ok, const char *what) {
    if (!ok) {
        std::fprintf(stderr, "%s\n", what);
        std::abort();
    }
}

void check_bitmap(const ktvcli::PackedBitmap &b) {
    require(b.width > 0 && b.height > 0, "decoded an empty image");
    require(b.stride == static_cast<std::size_t>((b.width + 7) / 8), "stride is not the packed width");
    require(b.bits.size() >= b.stride * static_cast<std::size_t>(b.height), "fewer bytes than rows");
    if (b.width % 8) {
        const unsigned char pad = static_cast<unsigned char>(0xFFu >> (b.width % 8));
        for (int y = 0; y < b.height; ++y) require(!(b.row(y)[b.stride - 1] & pad), "padding bits set");
    }
}

void check_message(const ktvcli::CliError &e) {
    require(std::strlen(e.what()) > 0 && !std::strchr(e.what(), '\n'), "empty or multi-line message");
}

void check_result(const std::uint8_t *data, std::size_t size) {
    CKTVector v;
    ktvcli::LoadedResult loaded;
    try {
        const ktvcli::JsonDocument doc(std::string_view(reinterpret_cast<const char *>(data), size));
        ktvcli::load_result(doc, v, loaded);
    } catch (const ktvcli::CliError &e) {
        check_message(e);
        return;
    }
    try {
        ktvcli::VectorView view(v);
        for (ktvcli::OutputFormat f : {ktvcli::OutputFormat::Svg, ktvcli::OutputFormat::Json, ktvcli::OutputFormat::Dxf}) {
            ktvcli::TextSink sink;
            ktvcli::write_result(f, view, loaded.info, sink);
        }
        require(polyline_not_drawn_once(view) == 0, "a polyline drawn other than once among the joined strokes");
    } catch (const ktvcli::CliError &e) {
        check_message(e);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    if (size < 2) return 0;
    if (data[0] == '{') {
        check_result(data, size);
        return 0;
    }
    ktvcli::ReadOptions options;
    // Leading option bytes: a threshold, inversion, and a pixel limit small
    // enough that a header within it never exhausts the fuzzer's memory.
    options.threshold = data[0] < 200 ? -1 : data[0] - 200 + 100;
    options.invert = data[1] & 1;
    options.max_pixels = 1 + static_cast<std::uint64_t>(data[1] >> 1) * 32768;
    ktvcli::LoadedImage image;
    try {
        image = ktvcli::decode_image(data + 2, size - 2, options);
    } catch (const ktvcli::CliError &e) {
        check_message(e);
        return 0;
    }
    check_bitmap(image.bitmap);
    require(image.bitmap.count() <= static_cast<std::size_t>(image.bitmap.width) * image.bitmap.height,
            "more black pixels than pixels");

    const ktvcli::Buffer png = ktvcli::encode_png(image.bitmap);
    require(png.ok(), "PNG writer failed");
    ktvcli::ReadOptions plain;
    const ktvcli::LoadedImage back = ktvcli::decode_image(png.data(), png.size(), plain);
    check_bitmap(back.bitmap);
    require(back.bitmap.width == image.bitmap.width && back.bitmap.height == image.bitmap.height,
            "round trip changed the size");
    require(std::memcmp(back.bitmap.bits.data(), image.bitmap.bits.data(),
                        image.bitmap.stride * static_cast<std::size_t>(image.bitmap.height)) == 0,
            "round trip changed the pixels");
    return 0;
}
