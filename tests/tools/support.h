// Helpers for the command-line tests: running the program (in-process, or
// the built program for what only a process shows), scratch folders, image
// files of every supported kind made from a Bitmap, and reading results.
#ifndef KTVEC_TEST_TOOLS_SUPPORT_H
#define KTVEC_TEST_TOOLS_SUPPORT_H

#include <string>
#include <vector>

#include "bitmap.h"
#include "image.h"
#include "json_reader.h"
#include "ktvec.h"

#ifdef KTVEC_HAVE_TIFF
#include <tiffio.h>
#endif

struct RunResult {
    int status = -1;  // exit status, or -1 when the program did not exit normally
    std::string out, err;
};

// Runs build/ktvec with `args`, capturing stdout and stderr; standard input
// comes from the file `input` when one is named.
RunResult run_ktvec(const std::vector<std::string> &args, const std::string &input = "");
// The same through ktvcli::run in this process (stdout and stderr captured):
// quicker, and the allocation seam can be made to fail.
RunResult run_here(std::vector<std::string> args);

// A fresh folder under the system temp folder, removed with its contents.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir &) = delete;
    TempDir &operator=(const TempDir &) = delete;
    const std::string &path() const { return path_; }
    std::string operator/(const std::string &name) const { return path_ + "/" + name; }
    std::vector<std::string> names() const;  // sorted, hidden files included

private:
    std::string path_;
};

std::string read_bytes(const std::string &path);
void write_bytes(const std::string &path, const std::string &data);

// PBM files of a bitmap; P4 rows padded with `padbits` set in the unused bits.
std::string pbm_plain(const Bitmap &b);
std::string pbm_raw(const Bitmap &b, bool padbits = false);

// PNG encodings of a bitmap.  Black pixels become grey level `ink`, white
// ones `paper`, in the colour type and depth named; transparent variants make
// the white pixels fully transparent (and black) to check composition.
enum class PngKind { Bit1, Grey8, Grey16, GreyAlpha8, Palette, Rgb8, Rgba8, Rgb16, TransparentWhite };
std::string png_of(const Bitmap &b, PngKind kind, bool interlaced = false, int ink = 20, int paper = 235);
// An 8-bit grey PNG of explicit levels (row-major, width * height values).
std::string png_grey(int width, int height, const std::vector<unsigned char> &levels);

// A drawing to vectorize: rectangles, a ring and a diagonal bar.
Bitmap sample_drawing();
// Strokes with the defects the centre-line clean-up repairs: a gap, a bump,
// two ends close together, a crossing split by thinning, a speck.
Bitmap stroke_drawing();
// Curves for the fitting options: a ring, the upper half of a larger ring
// and a straight stroke under them.
Bitmap fitting_drawing();

#ifdef KTVEC_HAVE_TIFF
// TIFF files written with libtiff itself, in the compressions and layouts
// scanners produce: one Page each.
struct Page {
    const Bitmap *bitmap;
    uint16_t compression = COMPRESSION_NONE;
    bool tiled = false;
    bool min_is_black = false;
    int depth = 1;             // 1: bilevel; 8: grey; 24: RGB; 72: nine samples
    float xres = 0, yres = 0;  // 0: no resolution tags
    uint16_t unit = RESUNIT_INCH;
    uint16_t fill = FILLORDER_MSB2LSB;  // LSB2MSB: bits stored reversed, as some fax software does
    uint32_t rows_per_strip = 7;        // several strips, the last one short
    uint32_t tile = 16;                 // tile width and height when tiled
    uint16_t orientation = ORIENTATION_TOPLEFT;
};
std::string tiff_of(const std::vector<Page> &pages);
#endif

// The program's readers on bytes in memory; decode_error gives the one-line
// refusal, or "(no error)" when the bytes decode.
ktvcli::LoadedImage decode(const std::string &file, ktvcli::ReadOptions o = {});
std::string decode_error(const std::string &file, ktvcli::ReadOptions o = {});

// A result file read back: the JSON of a path, and the number of times
// `what` occurs in a text.
ktvcli::JsonDocument json_file(const std::string &path);
std::size_t occurrences(const std::string &text, const std::string &what);

#endif
