// TIFF input through libtiff, read from the file already in memory.
//
// 1-bit images (any compression libtiff decodes: CCITT Group 3 and 4,
// PackBits, LZW, Deflate, none; strips or tiles) are copied bit for bit:
// with min-is-white a set bit is already ink, with min-is-black the bits are
// inverted.  Every other layout libtiff can render (grey of any depth,
// palette, RGB, separated planes, alpha) is turned into 8-bit grey through
// libtiff's RGBA renderer, a band of rows at a time, with the same weights
// and composition over white as PNG input, and binarised like it.
//
// A multi-page file is a chain of directories; ReadOptions::page picks one
// (1-based, 0 = the first).  The resolution tags become dots per inch.  A
// page stored bottom-up or right to left is turned upright.
#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <string>

#include "error.h"
#include "image.h"

#ifdef KTVEC_HAVE_TIFF
#include <tiffio.h>
#endif

namespace ktvcli {

bool tiff_signature(const unsigned char *data, std::size_t size) {
    if (size < 4) return false;
    // Classic TIFF (42) and BigTIFF (43), little- and big-endian.
    return (data[0] == 'I' && data[1] == 'I' && (data[2] == 42 || data[2] == 43) && data[3] == 0) ||
           (data[0] == 'M' && data[1] == 'M' && data[2] == 0 && (data[3] == 42 || data[3] == 43));
}

#ifndef KTVEC_HAVE_TIFF

int tiff_page_count(const unsigned char *, std::size_t) {
    throw CliError("TIFF input is not available: this program was built without libtiff");
}

LoadedImage decode_tiff(const unsigned char *, std::size_t, const ReadOptions &) {
    throw CliError("TIFF input is not available: this program was built without libtiff");
}

#else

namespace {

constexpr uint16_t kMaxSamples = 8;               // CMYK with alpha and a few more
constexpr uint64_t kLargestTile = uint64_t{1} << 22;  // pixels; 2048 x 2048

// ---- libtiff over a memory block -------------------------------------------------

struct MemoryFile {
    const unsigned char *data;
    std::size_t size;
    toff_t pos = 0;
    std::string error;  // first error libtiff reported
};

tsize_t mem_read(thandle_t h, tdata_t buf, tsize_t n) {
    MemoryFile &f = *static_cast<MemoryFile *>(h);
    if (n <= 0 || f.pos >= f.size) return 0;
    const std::size_t got = std::min<std::size_t>(static_cast<std::size_t>(n), f.size - f.pos);
    std::memcpy(buf, f.data + f.pos, got);
    f.pos += got;
    return static_cast<tsize_t>(got);
}

tsize_t mem_write(thandle_t, tdata_t, tsize_t) { return -1; }

toff_t mem_seek(thandle_t h, toff_t off, int whence) {
    MemoryFile &f = *static_cast<MemoryFile *>(h);
    toff_t base = whence == SEEK_CUR ? f.pos : whence == SEEK_END ? f.size : 0;
    f.pos = base + off;  // beyond the end is allowed; reads there return nothing
    return f.pos;
}

int mem_close(thandle_t) { return 0; }
toff_t mem_size(thandle_t h) { return static_cast<MemoryFile *>(h)->size; }
int mem_map(thandle_t, tdata_t *, toff_t *) { return 0; }
void mem_unmap(thandle_t, tdata_t, toff_t) {}

#if TIFFLIB_VERSION >= 20221213
// libtiff's messages go to the open file's record instead of stderr: the
// program prints one line per failure, and warnings (unknown tags, private
// fields of scanner software) are not failures.
int on_error(TIFF *, void *user, const char *module, const char *fmt, va_list ap) {
    MemoryFile &f = *static_cast<MemoryFile *>(user);
    if (f.error.empty()) {
        char text[512];
        std::vsnprintf(text, sizeof text, fmt, ap);
        f.error = text;
        // Some of libtiff's texts run over several lines; the program's
        // report is one.
        for (char &c : f.error)
            if (c == '\n' || c == '\r' || c == '\t') c = ' ';
        (void)module;
    }
    return 1;
}

int on_warning(TIFF *, void *, const char *, const char *, va_list) { return 1; }
#endif

class TiffHandle {
public:
    TiffHandle(const unsigned char *data, std::size_t size) : file_{data, size, 0, {}} {
        // "m": no memory mapping.  Opening reads the first directory.
#if TIFFLIB_VERSION >= 20221213
        TIFFOpenOptions *opts = TIFFOpenOptionsAlloc();
        if (!opts) throw CliError("out of memory while reading TIFF");
        TIFFOpenOptionsSetErrorHandlerExtR(opts, on_error, &file_);
        TIFFOpenOptionsSetWarningHandlerExtR(opts, on_warning, &file_);
        tif_ = TIFFClientOpenExt("tiff", "rm", &file_, mem_read, mem_write, mem_seek, mem_close,
                                 mem_size, mem_map, mem_unmap, opts);
        TIFFOpenOptionsFree(opts);
#else
        // Older libtiff has only process-wide handlers: silence them, the
        // messages below are then the generic ones.
        TIFFSetErrorHandler(nullptr);
        TIFFSetWarningHandler(nullptr);
        tif_ = TIFFClientOpen("tiff", "rm", &file_, mem_read, mem_write, mem_seek, mem_close,
                              mem_size, mem_map, mem_unmap);
#endif
        if (!tif_) fail("not a readable TIFF file");
    }
    ~TiffHandle() {
        if (tif_) TIFFClose(tif_);
    }
    TiffHandle(const TiffHandle &) = delete;
    TiffHandle &operator=(const TiffHandle &) = delete;

    TIFF *get() const { return tif_; }

    // Throws the first error libtiff reported, or `fallback`.
    [[noreturn]] void fail(const std::string &fallback) const {
        throw CliError(file_.error.empty() ? fallback : "damaged TIFF data (" + file_.error + ")");
    }

private:
    MemoryFile file_;
    TIFF *tif_ = nullptr;
};

int count_directories(const TiffHandle &t) {
    const tdir_t n = TIFFNumberOfDirectories(t.get());
    return n > 0 ? static_cast<int>(n) : 1;
}

// ---- orientation -----------------------------------------------------------------

// Where the file's first row and first column are.  The transposing
// orientations are taken as their untransposed partners, as libtiff's
// renderer does.
bool rows_bottom_up(uint16_t o) {
    return o == ORIENTATION_BOTLEFT || o == ORIENTATION_BOTRIGHT || o == ORIENTATION_LEFTBOT ||
           o == ORIENTATION_RIGHTBOT;
}

bool columns_right_to_left(uint16_t o) {
    return o == ORIENTATION_TOPRIGHT || o == ORIENTATION_BOTRIGHT || o == ORIENTATION_RIGHTTOP ||
           o == ORIENTATION_RIGHTBOT;
}

unsigned char reversed_byte(unsigned char v) {
    v = static_cast<unsigned char>((v & 0xF0u) >> 4 | (v & 0x0Fu) << 4);
    v = static_cast<unsigned char>((v & 0xCCu) >> 2 | (v & 0x33u) << 2);
    return static_cast<unsigned char>((v & 0xAAu) >> 1 | (v & 0x55u) << 1);
}

// Turns a bitmap read in the file's row and column order upright.  The
// padding bits must be clear: mirrored, they come first and are shifted out.
void set_upright(PackedBitmap &b, uint16_t orientation) {
    if (rows_bottom_up(orientation))
        for (int y = 0, z = b.height - 1; y < z; ++y, --z) std::swap_ranges(b.row(y), b.row(y) + b.stride, b.row(z));
    if (!columns_right_to_left(orientation)) return;
    const unsigned pad = static_cast<unsigned>(b.stride * 8 - static_cast<std::size_t>(b.width));
    for (int y = 0; y < b.height; ++y) {
        unsigned char *row = b.row(y);
        std::reverse(row, row + b.stride);
        for (std::size_t i = 0; i < b.stride; ++i) row[i] = reversed_byte(row[i]);
        if (pad == 0) continue;
        for (std::size_t i = 0; i < b.stride; ++i) {
            const unsigned next = i + 1 < b.stride ? row[i + 1] : 0u;
            row[i] = static_cast<unsigned char>(row[i] << pad | next >> (8 - pad));
        }
    }
}

// Rows of one strip, or of one row of tiles, at most the page's height
// (libtiff's default "one strip" is 2^32 - 1 rows).
uint32_t rows_per_block(TIFF *tif, int height) {
    uint32_t rows = 0;
    if (TIFFIsTiled(tif)) TIFFGetField(tif, TIFFTAG_TILELENGTH, &rows);
    else TIFFGetFieldDefaulted(tif, TIFFTAG_ROWSPERSTRIP, &rows);
    const uint32_t all = static_cast<uint32_t>(height);
    return rows == 0 || rows > all ? all : rows;
}

// ---- 1-bit images --------------------------------------------------------------

void read_bilevel_strips(const TiffHandle &t, PackedBitmap &b) {
    TIFF *tif = t.get();
    // A strip's rows are the bitmap's rows (same bytes per row), so each
    // strip is decoded straight into its place, at most `want` bytes.
    if (TIFFStripSize(tif) <= 0 || static_cast<std::size_t>(TIFFScanlineSize(tif)) != b.stride)
        t.fail("unexpected TIFF strip layout");
    const uint32_t rows_per_strip = rows_per_block(tif, b.height);
    for (int y0 = 0; y0 < b.height; y0 += static_cast<int>(rows_per_strip)) {
        const int rows = std::min<int>(static_cast<int>(rows_per_strip), b.height - y0);
        const tmsize_t want = static_cast<tmsize_t>(rows) * static_cast<tmsize_t>(b.stride);
        const tstrip_t s = TIFFComputeStrip(tif, static_cast<uint32_t>(y0), 0);
        if (TIFFReadEncodedStrip(tif, s, b.row(y0), want) < want) t.fail("truncated TIFF data");
    }
}

void read_bilevel_tiles(const TiffHandle &t, PackedBitmap &b) {
    TIFF *tif = t.get();
    uint32_t tw = 0, th = 0;
    TIFFGetField(tif, TIFFTAG_TILEWIDTH, &tw);
    TIFFGetField(tif, TIFFTAG_TILELENGTH, &th);
    const tmsize_t tile_size = TIFFTileSize(tif);
    const std::size_t tile_stride = (static_cast<std::size_t>(tw) + 7) / 8;
    // Tile widths are multiples of 16, so every tile starts on a byte.
    if (tw == 0 || th == 0 || tw % 8 != 0 || tile_size <= 0 ||
        static_cast<std::size_t>(TIFFTileRowSize(tif)) != tile_stride)
        t.fail("unexpected TIFF tile layout");
    Buffer tile(static_cast<std::size_t>(tile_size));
    if (!tile.ok()) throw CliError("out of memory while reading TIFF");
    for (uint32_t y0 = 0; y0 < static_cast<uint32_t>(b.height); y0 += th) {
        for (uint32_t x0 = 0; x0 < static_cast<uint32_t>(b.width); x0 += tw) {
            if (TIFFReadEncodedTile(tif, TIFFComputeTile(tif, x0, y0, 0, 0), tile.data(), tile_size) < 0)
                t.fail("truncated TIFF data");
            const std::size_t first = x0 / 8;
            const std::size_t bytes = std::min(tile_stride, b.stride - first);
            const uint32_t rows = std::min(th, static_cast<uint32_t>(b.height) - y0);
            for (uint32_t r = 0; r < rows; ++r)
                std::memcpy(b.row(static_cast<int>(y0 + r)) + first, tile.data() + r * tile_stride, bytes);
        }
    }
}

// ---- everything else: grey through the RGBA renderer -------------------------------

// Premultiplied RGBA (libtiff multiplies unassociated alpha in) to grey over
// white: the luminance weights libpng uses for its colour-to-grey reduction,
// plus the white showing through.
unsigned char grey_of(uint32_t abgr) {
    const uint32_t r = TIFFGetR(abgr), g = TIFFGetG(abgr), b = TIFFGetB(abgr), a = TIFFGetA(abgr);
    const uint32_t lum = (6968u * r + 23434u * g + 2366u * b + 16384u) >> 15;
    const uint32_t v = lum + (255u - a);
    return static_cast<unsigned char>(v > 255u ? 255u : v);
}

void read_grey(const TiffHandle &t, GreyImage &grey) {
    TIFF *tif = t.get();
    char message[1024] = "";
    if (!TIFFRGBAImageOK(tif, message)) throw CliError(std::string("unsupported TIFF layout (") + message + ")");
    TIFFRGBAImage img;
    if (!TIFFRGBAImageBegin(&img, tif, 0, message)) t.fail(std::string("unsupported TIFF layout (") + message + ")");
    struct End {
        TIFFRGBAImage &img;
        ~End() { TIFFRGBAImageEnd(&img); }
    } end{img};
    img.req_orientation = ORIENTATION_TOPLEFT;

    // Every call of the renderer decodes each strip (or row of tiles) it
    // touches from that block's start, so the bands follow the file's own
    // blocks: each block is decoded once, and a page stored as one big
    // strip costs one pass instead of one per band.  Small blocks are
    // grouped into bands of about 64 rows; the 4-byte-per-pixel stage is
    // then at most four times the grey image.
    const uint64_t unit = rows_per_block(tif, grey.height);
    const int band = static_cast<int>(std::min<uint64_t>(static_cast<uint64_t>(grey.height),
                                                         unit * std::max<uint64_t>(1, 64 / unit)));
    Buffer stage(static_cast<std::size_t>(grey.width) * static_cast<std::size_t>(band) * sizeof(uint32_t));
    if (!stage.ok()) throw CliError("out of memory while reading TIFF");
    uint32_t *rgba = reinterpret_cast<uint32_t *>(stage.data());

    // The renderer turns a bottom-up page upright within each call only, so
    // the band read from the file's rows [y0, y0 + rows) lands at the other
    // end of the picture.
    const bool bottom_up = rows_bottom_up(img.orientation);
    for (int y0 = 0; y0 < grey.height; y0 += band) {
        const int rows = std::min(band, grey.height - y0);
        img.row_offset = y0;
        img.col_offset = 0;
        if (!TIFFRGBAImageGet(&img, rgba, static_cast<uint32_t>(grey.width), static_cast<uint32_t>(rows)))
            t.fail("truncated TIFF data");
        const int top = bottom_up ? grey.height - y0 - rows : y0;
        unsigned char *dst = grey.pixels.data() + static_cast<std::size_t>(top) * grey.width;
        for (std::size_t i = 0, n = static_cast<std::size_t>(rows) * grey.width; i < n; ++i)
            dst[i] = grey_of(rgba[i]);
    }
}

// ---- resolution ------------------------------------------------------------------

// Dots per inch from the resolution tags; 0 when absent or without a unit.
void read_resolution(TIFF *tif, LoadedImage &image) {
    float xres = 0, yres = 0;
    uint16_t unit = RESUNIT_INCH;
    TIFFGetFieldDefaulted(tif, TIFFTAG_RESOLUTIONUNIT, &unit);
    if (unit != RESUNIT_INCH && unit != RESUNIT_CENTIMETER) return;
    const double per_inch = unit == RESUNIT_CENTIMETER ? 2.54 : 1.0;
    if (TIFFGetField(tif, TIFFTAG_XRESOLUTION, &xres) && xres > 0 && xres < 1e6) image.dpi_x = xres * per_inch;
    if (TIFFGetField(tif, TIFFTAG_YRESOLUTION, &yres) && yres > 0 && yres < 1e6) image.dpi_y = yres * per_inch;
    if (image.dpi_x <= 0) image.dpi_x = image.dpi_y;
    if (image.dpi_y <= 0) image.dpi_y = image.dpi_x;
}

}  // namespace

int tiff_page_count(const unsigned char *data, std::size_t size) {
    TiffHandle t(data, size);
    return count_directories(t);
}

LoadedImage decode_tiff(const unsigned char *data, std::size_t size, const ReadOptions &options) {
    TiffHandle t(data, size);
    TIFF *tif = t.get();
    if (options.page > 1) {
        const int pages = count_directories(t);
        if (options.page > pages)
            throw CliError("page " + std::to_string(options.page) + " asked for, the file has " +
                           std::to_string(pages) + (pages == 1 ? " page" : " pages"));
        if (!TIFFSetDirectory(tif, static_cast<tdir_t>(options.page - 1))) t.fail("cannot read TIFF page");
    }

    uint32_t width = 0, height = 0;
    uint16_t bits = 1, samples = 1, photometric = PHOTOMETRIC_MINISWHITE;
    if (!TIFFGetField(tif, TIFFTAG_IMAGEWIDTH, &width) || !TIFFGetField(tif, TIFFTAG_IMAGELENGTH, &height))
        t.fail("TIFF page without image size");
    TIFFGetFieldDefaulted(tif, TIFFTAG_BITSPERSAMPLE, &bits);
    TIFFGetFieldDefaulted(tif, TIFFTAG_SAMPLESPERPIXEL, &samples);
    const bool has_photometric = TIFFGetField(tif, TIFFTAG_PHOTOMETRIC, &photometric) != 0;
    check_dimensions(width, height, options, "TIFF");
    // Refused before libtiff sizes its buffers from them: no scan has more
    // than a handful of samples per pixel, and a tile far larger than the
    // page would make every block read allocate and clear the whole tile.
    if (samples > kMaxSamples)
        throw CliError("unsupported TIFF layout (" + std::to_string(samples) + " samples per pixel)");
    if (TIFFIsTiled(tif)) {
        uint32_t tw = 0, th = 0;
        TIFFGetField(tif, TIFFTAG_TILEWIDTH, &tw);
        TIFFGetField(tif, TIFFTAG_TILELENGTH, &th);
        const uint64_t tile = static_cast<uint64_t>(tw) * th, page = static_cast<uint64_t>(width) * height;
        if (tile > std::max<uint64_t>(4 * page, kLargestTile)) throw CliError("TIFF tiles larger than the page");
    }

    LoadedImage image;
    image.format = "TIFF";
    read_resolution(tif, image);
    const int w = static_cast<int>(width), h = static_cast<int>(height);
    // A bilevel page without the photometric tag is taken as min-is-white,
    // the fax convention.
    const bool bilevel = bits == 1 && samples == 1 &&
                         (!has_photometric || photometric == PHOTOMETRIC_MINISWHITE ||
                          photometric == PHOTOMETRIC_MINISBLACK);
    // Strips and tiles, and the grey renderer's bands, write every byte of
    // every row, or the page is refused: the rasters are not cleared first.
    if (bilevel) {
        image.bitmap = allocate_bitmap(w, h, Fill::kUnset);
        if (TIFFIsTiled(tif)) read_bilevel_tiles(t, image.bitmap);
        else read_bilevel_strips(t, image.bitmap);
        if (has_photometric && photometric == PHOTOMETRIC_MINISBLACK) image.bitmap.invert();
        else image.bitmap.clear_padding();
        uint16_t orientation = ORIENTATION_TOPLEFT;
        TIFFGetFieldDefaulted(tif, TIFFTAG_ORIENTATION, &orientation);
        set_upright(image.bitmap, orientation);
        return image;
    }

    GreyImage grey = allocate_grey(w, h, Fill::kUnset);
    read_grey(t, grey);
    binarise_into(grey, options, image);
    return image;
}

#endif  // KTVEC_HAVE_TIFF

}  // namespace ktvcli
