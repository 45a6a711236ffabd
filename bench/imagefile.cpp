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
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
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
