// Raster images of the readers and writers: the packed 1-bit bitmap handed
// to the vectorizer, the 8-bit grey image that non-1-bit inputs are turned
// into first, and the readers and encoders that produce and consume them.
#ifndef KTVEC_IO_IMAGE_H
#define KTVEC_IO_IMAGE_H

#include <cstddef>
#include <cstdint>
#include <string>

#include "buffer.h"

namespace ktvcli {

// 1 bit per pixel, 1 = black, most significant bit = leftmost pixel, rows of
// ceil(width / 8) bytes.  Bits past `width` in the last byte of a row are
// always 0: the vectorizer would count them as pixels.
struct PackedBitmap {
    int width = 0, height = 0;
    std::size_t stride = 0;
    Buffer bits;

    unsigned char *row(int y) { return bits.data() + static_cast<std::size_t>(y) * stride; }
    const unsigned char *row(int y) const { return bits.data() + static_cast<std::size_t>(y) * stride; }
    bool get(int x, int y) const { return row(y)[x >> 3] & (0x80u >> (x & 7)); }
    void invert();          // black <-> white, padding stays 0
    void clear_padding();   // zero the bits past `width` in every row
    std::size_t count() const;  // black pixels
};

// 8 bits per pixel, 0 = black, 255 = white, rows of `width` bytes.
struct GreyImage {
    int width = 0, height = 0;
    Buffer pixels;
};

// 8-bit grey pixels read where they lie, in any layout: pixel (x, y) is
// data[y * row_step + x * pixel_step].  A decoded GreyImage is one such
// layout; a caller's own array (a strided or transposed view) is another,
// and is binarised without a copy.
struct GreyView {
    const unsigned char *data;
    int width, height;
    std::ptrdiff_t row_step, pixel_step;

    GreyView(const unsigned char *data, int width, int height, std::ptrdiff_t row_step,
             std::ptrdiff_t pixel_step)
        : data(data), width(width), height(height), row_step(row_step), pixel_step(pixel_step) {}
    // Implicit: every decoded grey image is read through its view.
    GreyView(const GreyImage &g) : GreyView(g.pixels.data(), g.width, g.height, g.width, 1) {}
    unsigned char at(int x, int y) const { return data[y * row_step + x * pixel_step]; }
};

struct ReadOptions {
    int threshold = -1;           // grey < threshold is black; -1 = automatic
    bool invert = false;          // white drawing on black ground
    std::uint64_t max_pixels = 1000000000;  // refuse larger images unread
    int page = 0;                 // multi-page files (TIFF): 1-based page, 0 = the first
    double dpi = 0;               // > 0: resolution to use instead of the file's
    bool edited = false;          // the caller changes pixels all over the raster (smoothing)
};

struct LoadedImage {
    PackedBitmap bitmap;
    const char *format = "";      // "PBM", "PNG" or "TIFF"
    int threshold = -1;           // threshold applied, -1 when the source was 1-bit
    double dpi_x = 0, dpi_y = 0;  // resolution in dots per inch, 0 when unknown
};

// The formats decode_image reads in this build, for messages: "PBM, PNG or
// TIFF", or "PBM or PNG" when built without libtiff.
const char *readable_formats();

// All of these throw CliError with the problem only (no file name).
// read_file maps a large regular file instead of reading it when `map` is set.
Buffer read_file(const std::string &path, bool map = true);
LoadedImage decode_image(const unsigned char *data, std::size_t size, const ReadOptions &options);
LoadedImage read_image(const std::string &path, const ReadOptions &options);

// Shared by the decoders: refuses dimensions that are zero, beyond the
// library's int range or above max_pixels, before anything is allocated.
void check_dimensions(std::uint64_t width, std::uint64_t height, const ReadOptions &options,
                      const char *format);
// What a new raster holds: all white (0), or whatever the heap gave, for a
// decoder that writes every byte of every row before anything reads it.
enum class Fill { kWhite, kUnset };
PackedBitmap allocate_bitmap(int width, int height, Fill fill = Fill::kWhite);
GreyImage allocate_grey(int width, int height, Fill fill = Fill::kWhite);

// Per-format decoders (input already recognised by its signature).  A PBM
// decoder given `file`, the buffer that holds `data`, may take it over: a
// raw raster then becomes the bitmap where it lies, without a copy, and
// `file` is left empty.
LoadedImage decode_pbm(const unsigned char *data, std::size_t size, const ReadOptions &options,
                       Buffer *file = nullptr);
LoadedImage decode_png(const unsigned char *data, std::size_t size, const ReadOptions &options);
LoadedImage decode_tiff(const unsigned char *data, std::size_t size, const ReadOptions &options);
bool tiff_signature(const unsigned char *data, std::size_t size);
int tiff_page_count(const unsigned char *data, std::size_t size);  // 1 or more

// Binarisation: Otsu's threshold on the grey histogram (the value t such that
// grey < t is black), and the packing of a grey image at a threshold.
int otsu_threshold(const GreyView &grey);
PackedBitmap binarise(const GreyView &grey, int threshold);
// What every reader of a grey or colour image ends with: the image packed at
// options.threshold, or at Otsu's threshold when that is -1; sets
// image.bitmap and image.threshold.
void binarise_into(const GreyView &grey, const ReadOptions &options, LoadedImage &image);
// A mask packed as it is: black where the byte is not 0.
PackedBitmap pack_mask(const GreyView &mask);
// What every input goes through after decoding: --invert, then --dpi in
// place of the file's resolution.
void apply_read_options(LoadedImage &image, const ReadOptions &options);

// A grey level g seen through opacity a (both 0-255) over white paper,
// rounded to the nearest level.
inline unsigned char compose_over_white(unsigned g, unsigned a) {
    return static_cast<unsigned char>((g * a + 255u * (255u - a) + 127u) / 255u);
}

// A 1-bit grey PNG of the bitmap (black = 0 as PNG wants it).
Buffer encode_png(const PackedBitmap &bitmap);

}  // namespace ktvcli

#endif
