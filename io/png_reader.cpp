// PNG input through libpng.  Every colour type and depth is accepted: 1-bit
// grey is copied bit for bit (PNG stores 0 = black, so the bits are
// inverted); everything else is reduced to 8-bit grey (palette expanded,
// colour weighted to grey, 16 bits scaled, alpha composed over white) and
// then binarised at the given or the automatic threshold.
//
// libpng reports errors by longjmp.  The functions that call it (header,
// transforms, pixels) keep only trivial locals so that the
// jump skips no destructor; every owned block lives in their caller.
#include <png.h>

#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <string>

#include "error.h"
#include "image.h"

namespace ktvcli {

namespace {

struct PngJob {
    // input
    const unsigned char *data;
    std::size_t size;
    std::size_t pos;
    // libpng state
    png_structp png;
    png_infop info;
    // header, after the transforms
    png_uint_32 width, height;
    int passes;
    int channels;           // 1 grey, 2 grey + alpha (not used for 1-bit)
    bool one_bit;           // packed 1-bit grey, read without transforms
    std::size_t rowbytes;
    char message[160];
};

void read_data(png_structp png, png_bytep out, png_size_t n) {
    PngJob *job = static_cast<PngJob *>(png_get_io_ptr(png));
    if (job->size - job->pos < n) png_error(png, "truncated PNG data");
    std::memcpy(out, job->data + job->pos, n);
    job->pos += n;
}

void on_error(png_structp png, png_const_charp text) {
    PngJob *job = static_cast<PngJob *>(png_get_error_ptr(png));
    if (std::strcmp(text, "truncated PNG data") == 0 || std::strstr(text, "Not enough image data"))
        std::snprintf(job->message, sizeof job->message, "truncated PNG data");
    else
        std::snprintf(job->message, sizeof job->message, "invalid PNG data (%s)", text);
    png_longjmp(png, 1);
}

void on_warning(png_structp, png_const_charp) {}

// Reads the chunks up to the pixels and the image size.  False with
// job.message set on failure.
bool read_info(PngJob &job) {
    if (setjmp(png_jmpbuf(job.png))) return false;
    png_set_user_limits(job.png, 0x7fffffff, 0x7fffffff);
    png_read_info(job.png, job.info);
    job.width = png_get_image_width(job.png, job.info);
    job.height = png_get_image_height(job.png, job.info);
    return true;
}

// Sets up the transforms to packed 1-bit or 8-bit grey (+ alpha).  libpng
// allocates its row buffers here, so the size has been checked before.
bool set_transforms(PngJob &job) {
    if (setjmp(png_jmpbuf(job.png))) return false;
    const int type = png_get_color_type(job.png, job.info);
    const int depth = png_get_bit_depth(job.png, job.info);
    const bool trns = png_get_valid(job.png, job.info, PNG_INFO_tRNS) != 0;
    job.one_bit = type == PNG_COLOR_TYPE_GRAY && depth == 1 && !trns;
    if (!job.one_bit) {
        if (type == PNG_COLOR_TYPE_PALETTE) png_set_palette_to_rgb(job.png);
        if (type == PNG_COLOR_TYPE_GRAY && depth < 8) png_set_expand_gray_1_2_4_to_8(job.png);
        if (trns) png_set_tRNS_to_alpha(job.png);
        if (depth == 16) png_set_scale_16(job.png);
        if ((type & PNG_COLOR_MASK_COLOR) != 0)
            png_set_rgb_to_gray(job.png, PNG_ERROR_ACTION_NONE, -1, -1);
    }
    job.passes = png_set_interlace_handling(job.png);
    png_read_update_info(job.png, job.info);
    job.channels = png_get_channels(job.png, job.info);
    job.rowbytes = png_get_rowbytes(job.png, job.info);
    return true;
}

// Reads every pass of every row.  Row y goes to stage + y * stagestride (a
// stride of 0 reuses one row; then `done(y)` is called after each row of the
// last pass).  False with job.message set on failure.
bool read_pixels(PngJob &job, unsigned char *stage, std::size_t stagestride,
                 void (*done)(void *, png_uint_32, const unsigned char *), void *user) {
    if (setjmp(png_jmpbuf(job.png))) return false;
    for (int pass = 0; pass < job.passes; ++pass) {
        for (png_uint_32 y = 0; y < job.height; ++y) {
            unsigned char *row = stage + y * stagestride;
            png_read_row(job.png, row, nullptr);
            if (done && pass + 1 == job.passes) done(user, y, row);
        }
    }
    png_read_end(job.png, nullptr);
    return true;
}

// Grey + alpha composed over white into one grey byte.
void compose_row(unsigned char *grey, const unsigned char *ga, png_uint_32 width) {
    for (png_uint_32 x = 0; x < width; ++x) grey[x] = compose_over_white(ga[2 * x], ga[2 * x + 1]);
}

struct ComposeTarget {
    GreyImage *grey;
};

void compose_done(void *user, png_uint_32 y, const unsigned char *row) {
    GreyImage &g = *static_cast<ComposeTarget *>(user)->grey;
    compose_row(g.pixels.data() + static_cast<std::size_t>(y) * g.width, row,
                static_cast<png_uint_32>(g.width));
}

struct JobGuard {
    PngJob &job;
    ~JobGuard() { png_destroy_read_struct(&job.png, &job.info, nullptr); }
};

}  // namespace

LoadedImage decode_png(const unsigned char *data, std::size_t size, const ReadOptions &options) {
    PngJob job{};
    job.data = data;
    job.size = size;
    job.png = png_create_read_struct(PNG_LIBPNG_VER_STRING, &job, on_error, on_warning);
    if (!job.png) throw CliError("out of memory while reading PNG");
    JobGuard guard{job};
    job.info = png_create_info_struct(job.png);
    if (!job.info) throw CliError("out of memory while reading PNG");
    png_set_read_fn(job.png, &job, read_data);

    if (!read_info(job)) throw CliError(job.message);
    check_dimensions(job.width, job.height, options, "PNG");
    if (!set_transforms(job)) throw CliError(job.message);
    const int width = static_cast<int>(job.width), height = static_cast<int>(job.height);

    LoadedImage image;
    image.format = "PNG";
    if (job.one_bit) {
        image.bitmap = allocate_bitmap(width, height);
        if (job.rowbytes != image.bitmap.stride) throw CliError("unexpected PNG row layout");
        if (!read_pixels(job, image.bitmap.bits.data(), image.bitmap.stride, nullptr, nullptr))
            throw CliError(job.message);
        image.bitmap.invert();
        return image;
    }

    // Rows read in one pass are written whole; interlaced passes fill their
    // pixels into what is there.
    GreyImage grey = allocate_grey(width, height, job.passes == 1 ? Fill::kUnset : Fill::kWhite);
    if (job.rowbytes != static_cast<std::size_t>(width) * job.channels)
        throw CliError("unexpected PNG row layout");
    bool ok;
    if (job.channels == 1) {
        ok = read_pixels(job, grey.pixels.data(), static_cast<std::size_t>(width), nullptr, nullptr);
    } else if (job.passes == 1) {
        // One grey + alpha row at a time, composed as it arrives.
        Buffer row(job.rowbytes);
        if (!row.ok()) throw CliError("out of memory while reading PNG");
        ComposeTarget target{&grey};
        ok = read_pixels(job, row.data(), 0, compose_done, &target);
    } else {
        // Interlaced rows are complete only after the last pass.
        Buffer stage(job.rowbytes * static_cast<std::size_t>(height));
        if (!stage.ok()) throw CliError("image is too large for memory");
        ok = read_pixels(job, stage.data(), job.rowbytes, nullptr, nullptr);
        if (ok)
            for (int y = 0; y < height; ++y)
                compose_row(grey.pixels.data() + static_cast<std::size_t>(y) * width,
                            stage.data() + static_cast<std::size_t>(y) * job.rowbytes, job.width);
    }
    if (!ok) throw CliError(job.message);

    binarise_into(grey, options, image);
    return image;
}

}  // namespace ktvcli
