// PBM and 1-bit PNG files for the drawing generator and the benchmark.
#include "imagefile.h"

#include <png.h>

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>

namespace ktvdraw {

namespace {
struct FileCloser {
    void operator()(std::FILE *f) const {
        if (f) std::fclose(f);
    }
};
using File = std::unique_ptr<std::FILE, FileCloser>;

std::string io_error(const std::string &what) { return what + ": " + std::strerror(errno); }

// libpng's messages go nowhere: the callers report one line of their own.
void png_quiet_error(png_structp png, png_const_charp) { png_longjmp(png, 1); }
void png_quiet_warning(png_structp, png_const_charp) {}

// One header number of a PBM file, skipping white space and # comments.
bool pbm_number(std::FILE *f, long &value) {
    int c = std::fgetc(f);
    for (;;) {
        while (c != EOF && std::isspace(c)) c = std::fgetc(f);
        if (c != '#') break;
        while (c != EOF && c != '\n') c = std::fgetc(f);
    }
    if (c == EOF || !std::isdigit(c)) return false;
    value = 0;
    while (c != EOF && std::isdigit(c)) {
        value = value * 10 + (c - '0');
        if (value > 1000000000L) return false;
        c = std::fgetc(f);
    }
    return c != EOF && std::isspace(c);  // exactly one white space follows
}
}  // namespace

std::string write_pbm(const std::string &path, int width, int height, int stride,
                      const unsigned char *bits) {
    File f(std::fopen(path.c_str(), "wb"));
    if (!f) return io_error("cannot create " + path);
    std::fprintf(f.get(), "P4\n%d %d\n", width, height);
    std::size_t used = (std::size_t)(width + 7) / 8;
    for (int y = 0; y < height; ++y)
        if (std::fwrite(bits + (std::size_t)y * stride, 1, used, f.get()) != used)
            return io_error("cannot write " + path);
    if (std::fclose(f.release()) != 0) return io_error("cannot write " + path);
    return "";
}

// libpng reports errors by longjmp: keep this frame free of C++ objects.
static bool emit_png(std::FILE *f, int width, int height, int stride, const unsigned char *bits,
              unsigned char *row) {
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, png_quiet_error,
                                              png_quiet_warning);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    if (!info) {
        png_destroy_write_struct(&png, nullptr);
        return false;
    }
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        return false;
    }
    png_init_io(png, f);
    // 1-bit grey: 0 is black in PNG, so the ink bits are inverted on the way out.
    png_set_IHDR(png, info, (png_uint_32)width, (png_uint_32)height, 1, PNG_COLOR_TYPE_GRAY,
                 PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_set_compression_level(png, 9);
    png_write_info(png, info);
    std::size_t used = (std::size_t)(width + 7) / 8;
    for (int y = 0; y < height; ++y) {
        const unsigned char *src = bits + (std::size_t)y * stride;
        for (std::size_t b = 0; b < used; ++b) row[b] = (unsigned char)~src[b];
        png_write_row(png, row);
    }
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    return true;
}

std::string write_png(const std::string &path, int width, int height, int stride,
                      const unsigned char *bits) {
    File f(std::fopen(path.c_str(), "wb"));
    if (!f) return io_error("cannot create " + path);
    std::vector<unsigned char> row((std::size_t)(width + 7) / 8 + 1);
    if (!emit_png(f.get(), width, height, stride, bits, row.data())) return "cannot write " + path;
    if (std::fclose(f.release()) != 0) return io_error("cannot write " + path);
    return "";
}

// Reads rows as 8-bit grey (libpng expands palettes and low depths, drops
// alpha onto white, turns colour into grey) into `grey`; longjmp-safe frame.
static bool decode_png(std::FILE *f, std::vector<unsigned char> *grey, int *width, int *height) {
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, png_quiet_error,
                                             png_quiet_warning);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    if (!info) {
        png_destroy_read_struct(&png, nullptr, nullptr);
        return false;
    }
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_read_struct(&png, &info, nullptr);
        return false;
    }
    png_init_io(png, f);
    png_read_info(png, info);
    png_uint_32 w = png_get_image_width(png, info), h = png_get_image_height(png, info);
    if (w == 0 || h == 0 || (double)w * h > 4e9) png_error(png, "size");
    png_set_expand(png);
    png_set_strip_16(png);
    png_color_16 white{};
    white.red = white.green = white.blue = white.gray = 255;
    png_set_background(png, &white, PNG_BACKGROUND_GAMMA_SCREEN, 0, 1.0);
    png_set_rgb_to_gray_fixed(png, 1, -1, -1);
    png_read_update_info(png, info);
    if (png_get_rowbytes(png, info) != w) png_error(png, "layout");
    grey->resize((std::size_t)w * h);
    for (png_uint_32 y = 0; y < h; ++y) png_read_row(png, grey->data() + (std::size_t)y * w, nullptr);
    png_destroy_read_struct(&png, &info, nullptr);
    *width = (int)w;
    *height = (int)h;
    return true;
}

std::string read_png(const std::string &path, PackedImage &out) {
    File f(std::fopen(path.c_str(), "rb"));
    if (!f) return io_error("cannot open " + path);
    std::vector<unsigned char> grey;
    int w = 0, h = 0;
    if (!decode_png(f.get(), &grey, &w, &h)) return path + ": unreadable PNG";
    out.width = w;
    out.height = h;
    out.stride = (w + 7) / 8;
    out.bits.assign((std::size_t)out.stride * h, 0);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            if (grey[(std::size_t)y * w + x] < 128)
                out.bits[(std::size_t)y * out.stride + x / 8] |= (unsigned char)(0x80 >> (x % 8));
    return "";
}

std::string read_image(const std::string &path, PackedImage &out) {
    unsigned char magic[8] = {0};
    File f(std::fopen(path.c_str(), "rb"));
    if (!f) return io_error("cannot open " + path);
    std::size_t n = std::fread(magic, 1, sizeof magic, f.get());
    f.reset();
    if (n == sizeof magic && png_sig_cmp(magic, 0, sizeof magic) == 0) return read_png(path, out);
    return read_pbm(path, out);
}

std::string read_pbm(const std::string &path, PackedImage &out) {
    File f(std::fopen(path.c_str(), "rb"));
    if (!f) return io_error("cannot open " + path);
    char magic[2] = {0, 0};
    if (std::fread(magic, 1, 2, f.get()) != 2 || magic[0] != 'P' || (magic[1] != '4' && magic[1] != '1'))
        return path + ": not a PBM file";
    long w = 0, h = 0;
    if (!pbm_number(f.get(), w) || !pbm_number(f.get(), h) || w <= 0 || h <= 0 ||
        w * h > 4000000000L)
        return path + ": bad PBM header";
    out.width = (int)w;
    out.height = (int)h;
    out.stride = (int)((w + 7) / 8);
    out.bits.assign((std::size_t)out.stride * out.height, 0);
    if (magic[1] == '4') {
        if (std::fread(out.bits.data(), 1, out.bits.size(), f.get()) != out.bits.size())
            return path + ": truncated PBM data";
        return "";
    }
    for (long y = 0; y < h; ++y)
        for (long x = 0; x < w; ++x) {
            int c;
            do c = std::fgetc(f.get());
            while (c != EOF && c != '0' && c != '1');
            if (c == EOF) return path + ": truncated PBM data";
            if (c == '1') out.bits[(std::size_t)y * out.stride + x / 8] |= (unsigned char)(0x80 >> (x % 8));
        }
    return "";
}

}  // namespace ktvdraw
