// A bitmap encoded as a 1-bit grey PNG in memory (the SVG background).  As
// in the reader, the function that libpng may leave by longjmp holds only
// trivial locals; the output block and the row buffer belong to the caller.
#include <png.h>

#include <csetjmp>
#include <cstring>

#include "error.h"
#include "image.h"

namespace ktvcli {

namespace {

struct PngOut {
    Buffer *out;
    std::size_t used;
};

void write_data(png_structp png, png_bytep data, png_size_t n) {
    PngOut *o = static_cast<PngOut *>(png_get_io_ptr(png));
    if (o->out->size() - o->used < n) {
        std::size_t want = o->out->size() * 2;
        if (want < o->used + n) want = o->used + n;
        if (!o->out->resize(want)) png_error(png, "out of memory");
    }
    std::memcpy(o->out->data() + o->used, data, n);
    o->used += n;
}

void flush_data(png_structp) {}

void on_error(png_structp png, png_const_charp) { png_longjmp(png, 1); }
void on_warning(png_structp, png_const_charp) {}

bool write_rows(png_structp png, png_infop info, const PackedBitmap &b, unsigned char *row) {
    if (setjmp(png_jmpbuf(png))) return false;
    png_set_IHDR(png, info, static_cast<png_uint_32>(b.width), static_cast<png_uint_32>(b.height), 1,
                 PNG_COLOR_TYPE_GRAY, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
                 PNG_FILTER_TYPE_DEFAULT);
    png_set_filter(png, PNG_FILTER_TYPE_BASE, PNG_FILTER_NONE);
    png_set_compression_level(png, 1);  // drawings are mostly white: fast deflate is nearly as small
    png_write_info(png, info);
    for (int y = 0; y < b.height; ++y) {
        const unsigned char *src = b.row(y);
        for (std::size_t i = 0; i < b.stride; ++i) row[i] = static_cast<unsigned char>(~src[i]);
        png_write_row(png, row);
    }
    png_write_end(png, info);
    return true;
}

}  // namespace

Buffer encode_png(const PackedBitmap &bitmap) {
    Buffer out(4096 + bitmap.stride * static_cast<std::size_t>(bitmap.height) / 8);
    Buffer row(bitmap.stride);
    if (!out.ok() || !row.ok()) throw CliError("out of memory while encoding the background");
    PngOut sink{&out, 0};
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, on_error, on_warning);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    bool ok = false;
    if (info) {
        png_set_write_fn(png, &sink, write_data, flush_data);
        ok = write_rows(png, info, bitmap, row.data());
    }
    png_destroy_write_struct(&png, &info);
    if (!ok) throw CliError("out of memory while encoding the background");
    out.resize(sink.used);
    return out;
}

}  // namespace ktvcli
