#include "support.h"

#include <gtest/gtest.h>

#include "error.h"
#include "cli.h"

#include <fcntl.h>
#include <png.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

extern char **environ;

namespace fs = std::filesystem;

// ---- files and folders ----------------------------------------------------------

TempDir::TempDir() {
    std::string templ = (fs::temp_directory_path() / "ktvec-tools-XXXXXX").string();
    if (!::mkdtemp(&templ[0])) throw std::runtime_error("mkdtemp failed");
    path_ = templ;
}

TempDir::~TempDir() {
    std::error_code ec;
    fs::remove_all(path_, ec);
}

std::vector<std::string> TempDir::names() const {
    std::vector<std::string> v;
    for (const auto &e : fs::directory_iterator(path_)) v.push_back(e.path().filename().string());
    std::sort(v.begin(), v.end());
    return v;
}

std::string read_bytes(const std::string &path) {
    std::ifstream f(path, std::ios::binary);
    std::ostringstream s;
    s << f.rdbuf();
    return s.str();
}

void write_bytes(const std::string &path, const std::string &data) {
    std::ofstream f(path, std::ios::binary);
    f.write(data.data(), static_cast<std::streamsize>(data.size()));
}

// ---- running the program -----------------------------------------------------------

RunResult run_ktvec(const std::vector<std::string> &args, const std::string &input) {
    TempDir capture;
    const std::string out = capture / "stdout", err = capture / "stderr";
    std::vector<std::string> argv_s = {KTVEC_CLI_PATH};
    argv_s.insert(argv_s.end(), args.begin(), args.end());
    std::vector<char *> argv;
    for (std::string &a : argv_s) argv.push_back(&a[0]);
    argv.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_addopen(&actions, 2, err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (!input.empty()) posix_spawn_file_actions_addopen(&actions, 0, input.c_str(), O_RDONLY, 0);
    pid_t pid;
    RunResult r;
    if (posix_spawn(&pid, KTVEC_CLI_PATH, &actions, nullptr, argv.data(), environ) == 0) {
        int status = 0;
        waitpid(pid, &status, 0);
        r.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    posix_spawn_file_actions_destroy(&actions);
    r.out = read_bytes(out);
    r.err = read_bytes(err);
    return r;
}

RunResult run_here(std::vector<std::string> args) {
    args.insert(args.begin(), "ktvec");
    std::vector<char *> argv;
    for (std::string &a : args) argv.push_back(&a[0]);
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    RunResult r;
    r.status = ktvcli::run(static_cast<int>(argv.size()), argv.data());
    std::fflush(stdout);
    r.out = testing::internal::GetCapturedStdout();
    r.err = testing::internal::GetCapturedStderr();
    return r;
}

// ---- PBM -------------------------------------------------------------------------

std::string pbm_plain(const Bitmap &b) {
    std::string s = "P1\n# plain\n" + std::to_string(b.width) + " " + std::to_string(b.height) + "\n";
    for (int y = 0; y < b.height; ++y) {
        for (int x = 0; x < b.width; ++x) s += b.get(x, y) ? "1" : "0";
        s += "\n";
    }
    return s;
}

std::string pbm_raw(const Bitmap &b, bool padbits) {
    std::string s = "P4\n" + std::to_string(b.width) + " " + std::to_string(b.height) + "\n";
    Bitmap packed(b.width, b.height);  // rows without spare bytes, padding bits as asked
    for (int y = 0; y < b.height; ++y)
        for (int x = 0; x < 8 * packed.bytesperline; ++x) packed.set(x, y, x < b.width ? b.get(x, y) : padbits);
    return s + std::string(packed.bits.begin(), packed.bits.end());
}

// ---- PNG -------------------------------------------------------------------------

namespace {

void append(png_structp png, png_bytep data, png_size_t n) {
    static_cast<std::string *>(png_get_io_ptr(png))->append(reinterpret_cast<char *>(data), n);
}
void no_flush(png_structp) {}

std::string encode(int w, int h, int type, int depth, bool interlaced, const std::vector<std::string> &rows,
                   const std::vector<png_color> &palette = {}) {
    std::string out;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    if (setjmp(png_jmpbuf(png))) throw std::runtime_error("test PNG encoding failed");
    png_set_write_fn(png, &out, append, no_flush);
    png_set_IHDR(png, info, static_cast<png_uint_32>(w), static_cast<png_uint_32>(h), depth, type,
                 interlaced ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
                 PNG_FILTER_TYPE_DEFAULT);
    if (!palette.empty()) png_set_PLTE(png, info, palette.data(), static_cast<int>(palette.size()));
    png_write_info(png, info);
    std::vector<png_bytep> pointers;
    for (const std::string &r : rows) pointers.push_back(reinterpret_cast<png_bytep>(const_cast<char *>(r.data())));
    png_write_image(png, pointers.data());
    png_write_end(png, info);
    png_destroy_write_struct(&png, &info);
    return out;
}

}  // namespace

std::string png_of(const Bitmap &b, PngKind kind, bool interlaced, int ink, int paper) {
    // Colour type, depth and the samples of a black and of a white pixel
    // (Bit1 packs its bits below; TransparentWhite stores white paper as
    // transparent black, which only composition over white makes paper).
    const char k = static_cast<char>(ink), p = static_cast<char>(paper);
    const struct {
        int type, depth;
        std::string black, white;
    } formats[] = {
        {PNG_COLOR_TYPE_GRAY, 1, "", ""},
        {PNG_COLOR_TYPE_GRAY, 8, {k}, {p}},
        {PNG_COLOR_TYPE_GRAY, 16, {k, '\x55'}, {p, '\x55'}},
        {PNG_COLOR_TYPE_GRAY_ALPHA, 8, {k, '\xff'}, {p, '\xff'}},
        {PNG_COLOR_TYPE_PALETTE, 8, {'\1'}, {'\0'}},
        {PNG_COLOR_TYPE_RGB, 8, {k, k, k}, {p, p, p}},
        {PNG_COLOR_TYPE_RGB_ALPHA, 8, {k, k, k, '\xff'}, {p, p, p, '\xff'}},
        {PNG_COLOR_TYPE_RGB, 16, {k, 0, k, 0, k, 0}, {p, 0, p, 0, p, 0}},
        {PNG_COLOR_TYPE_GRAY_ALPHA, 8, {0, '\xff'}, {0, 0}},
    };
    const auto &f = formats[static_cast<int>(kind)];
    std::vector<std::string> rows;
    for (int y = 0; y < b.height; ++y) {
        std::string r(kind == PngKind::Bit1 ? static_cast<std::size_t>((b.width + 7) / 8) : 0, '\0');
        for (int x = 0; x < b.width; ++x) {
            if (kind == PngKind::Bit1 && !b.get(x, y)) r[static_cast<std::size_t>(x / 8)] |= static_cast<char>(0x80 >> (x % 8));
            if (kind != PngKind::Bit1) r += b.get(x, y) ? f.black : f.white;
        }
        rows.push_back(r);
    }
    const png_byte pb = static_cast<png_byte>(paper), ib = static_cast<png_byte>(ink);
    return encode(b.width, b.height, f.type, f.depth, interlaced, rows,
                  kind == PngKind::Palette ? std::vector<png_color>{{pb, pb, pb}, {ib, ib, 0}} : std::vector<png_color>{});
}

std::string png_grey(int width, int height, const std::vector<unsigned char> &levels) {
    std::vector<std::string> rows;
    for (int y = 0; y < height; ++y)
        rows.emplace_back(reinterpret_cast<const char *>(levels.data()) + static_cast<std::size_t>(y) * width,
                          static_cast<std::size_t>(width));
    return encode(width, height, PNG_COLOR_TYPE_GRAY, 8, false, rows);
}

// ---- a drawing ---------------------------------------------------------------------

Bitmap sample_drawing() {
    Bitmap b(61, 43);
    for (int y = 3; y < 15; ++y)
        for (int x = 4; x < 25; ++x)
            if (y < 6 || y > 11 || x < 7 || x > 21) b.set(x, y);  // hollow rectangle
    for (int y = 20; y < 40; ++y)
        for (int x = 30; x < 58; ++x) {
            const int dx = x - 44, dy = y - 30, d2 = dx * dx + dy * dy;
            if (d2 <= 81 && d2 >= 25) b.set(x, y);  // ring
        }
    for (int i = 0; i < 18; ++i)
        for (int t = 0; t < 3; ++t) b.set(5 + i + t, 22 + i);  // diagonal bar
    for (int y = 30; y < 34; ++y)
        for (int x = 0; x < 4; ++x) b.set(x, y);  // block touching the left edge
    return b;
}

namespace {

void fill(Bitmap &b, int x0, int y0, int x1, int y1) {
    for (int y = y0; y < y1; ++y)
        for (int x = x0; x < x1; ++x) b.set(x, y);
}

}  // namespace

Bitmap stroke_drawing() {
    Bitmap b(120, 90);
    fill(b, 8, 20, 48, 24);                  // a plus: two strokes crossing square
    fill(b, 26, 4, 30, 40);
    fill(b, 60, 10, 80, 13);                 // a line broken by a 5-pixel gap
    fill(b, 85, 10, 110, 13);
    fill(b, 60, 30, 110, 34);                // a line with a bump under it
    fill(b, 84, 34, 88, 40);
    fill(b, 8, 60, 40, 63);                  // a line ending next to the start of a diagonal
    stroke(b, 42, 63, 59, 80, 1.5);
    stroke(b, 62, 45, 100, 65, 2.5);         // an X: thinning splits its crossing in two
    stroke(b, 62, 65, 100, 45, 2.5);
    fill(b, 100, 70, 102, 71);               // a speck
    return b;
}

Bitmap fitting_drawing() {
    Bitmap b(170, 120);
    auto ring = [&](double cx, double cy, double r, double half_width, bool upper_only) {
        for (int y = 0; y < b.height; ++y)
            for (int x = 0; x < b.width; ++x)
                if (std::abs(std::hypot(x - cx, y - cy) - r) <= half_width && (!upper_only || y <= cy))
                    b.set(x, y);
    };
    ring(40, 45, 24, 2.0, false);
    ring(120, 60, 32, 2.0, true);
    stroke(b, 10, 105, 160, 105, 2.0);
    return b;
}

#ifdef KTVEC_HAVE_TIFF
// The file's row y: a page stored bottom-up or right to left is the drawing
// mirrored; grey and colour pixels are dark ink on light paper.
static void fill_row(const Page &p, int y, std::vector<unsigned char> &row) {
    const Bitmap &b = *p.bitmap;
    const uint16_t o = p.orientation;
    if (o == ORIENTATION_BOTLEFT || o == ORIENTATION_BOTRIGHT) y = b.height - 1 - y;
    std::fill(row.begin(), row.end(), 0);
    for (int x = 0; x < b.width; ++x) {
        const bool ink = b.get(o == ORIENTATION_TOPRIGHT || o == ORIENTATION_BOTRIGHT ? b.width - 1 - x : x, y);
        if (p.depth == 1) {
            if (ink != p.min_is_black) row[x >> 3] |= static_cast<unsigned char>(0x80u >> (x & 7));
        } else if (p.depth == 8) {
            const unsigned char v = ink ? 30 : 220;
            row[x] = p.min_is_black ? v : static_cast<unsigned char>(255 - v);
        } else {
            const int samples = p.depth / 8;  // dark blue on cream
            for (int k = 0; k < samples; ++k)
                row[samples * x + k] = static_cast<unsigned char>(ink ? 20 + 50 * (k % 3) : 240 - 20 * (k % 3));
        }
    }
}

std::string tiff_of(const std::vector<Page> &pages) {
    TempDir dir;
    TIFF *tif = TIFFOpen((dir / "f.tif").c_str(), "w");
    for (const Page &p : pages) {
        const Bitmap &b = *p.bitmap;
        TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, static_cast<uint32_t>(b.width));
        TIFFSetField(tif, TIFFTAG_IMAGELENGTH, static_cast<uint32_t>(b.height));
        const uint16_t samples = static_cast<uint16_t>(p.depth > 8 ? p.depth / 8 : 1);
        TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, static_cast<uint16_t>(p.depth == 1 ? 1 : 8));
        TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, samples);
        const std::vector<uint16_t> extra(samples > 3 ? samples - 3 : 1, 0);
        if (samples > 3) TIFFSetField(tif, TIFFTAG_EXTRASAMPLES, static_cast<uint16_t>(samples - 3), extra.data());
        TIFFSetField(tif, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
        TIFFSetField(tif, TIFFTAG_PHOTOMETRIC,
                     samples >= 3 ? PHOTOMETRIC_RGB : p.min_is_black ? PHOTOMETRIC_MINISBLACK : PHOTOMETRIC_MINISWHITE);
        TIFFSetField(tif, TIFFTAG_COMPRESSION, p.compression);
        TIFFSetField(tif, TIFFTAG_FILLORDER, p.fill);
        TIFFSetField(tif, TIFFTAG_ORIENTATION, p.orientation);
        if (p.xres > 0) {
            TIFFSetField(tif, TIFFTAG_XRESOLUTION, p.xres);
            TIFFSetField(tif, TIFFTAG_YRESOLUTION, p.yres);
            TIFFSetField(tif, TIFFTAG_RESOLUTIONUNIT, p.unit);
        }
        std::vector<unsigned char> row(static_cast<std::size_t>(TIFFScanlineSize(tif)));
        if (!p.tiled) {
            TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, p.rows_per_strip);
            for (int y = 0; y < b.height; ++y) {
                fill_row(p, y, row);
                TIFFWriteScanline(tif, row.data(), static_cast<uint32_t>(y), 0);
            }
        } else {
            const uint32_t t = p.tile;
            TIFFSetField(tif, TIFFTAG_TILEWIDTH, t);
            TIFFSetField(tif, TIFFTAG_TILELENGTH, t);
            const std::size_t tile_row = static_cast<std::size_t>(TIFFTileRowSize(tif));
            std::vector<unsigned char> tile(static_cast<std::size_t>(TIFFTileSize(tif)));
            for (uint32_t y0 = 0; y0 < static_cast<uint32_t>(b.height); y0 += t)
                for (uint32_t x0 = 0; x0 < static_cast<uint32_t>(b.width); x0 += t) {
                    std::fill(tile.begin(), tile.end(), 0);
                    for (uint32_t r = 0; r < t && y0 + r < static_cast<uint32_t>(b.height); ++r) {
                        fill_row(p, static_cast<int>(y0 + r), row);
                        const std::size_t from = x0 * static_cast<std::size_t>(p.depth) / 8;
                        std::copy_n(row.begin() + static_cast<std::ptrdiff_t>(from), std::min(tile_row, row.size() - from),
                                    tile.begin() + r * tile_row);
                    }
                    TIFFWriteEncodedTile(tif, TIFFComputeTile(tif, x0, y0, 0, 0), tile.data(),
                                         static_cast<tmsize_t>(tile.size()));
                }
        }
        TIFFWriteDirectory(tif);
    }
    TIFFClose(tif);
    return read_bytes(dir / "f.tif");
}
#endif

ktvcli::LoadedImage decode(const std::string &file, ktvcli::ReadOptions o) {
    return ktvcli::decode_image(reinterpret_cast<const unsigned char *>(file.data()), file.size(), o);
}

std::string decode_error(const std::string &file, ktvcli::ReadOptions o) {
    try {
        decode(file, o);
    } catch (const ktvcli::CliError &e) {
        return e.what();
    }
    return "(no error)";
}

ktvcli::JsonDocument json_file(const std::string &path) { return ktvcli::JsonDocument(read_bytes(path)); }

std::size_t occurrences(const std::string &text, const std::string &what) {
    std::size_t n = 0;
    for (std::size_t p = text.find(what); p != std::string::npos; p = text.find(what, p + 1)) ++n;
    return n;
}
