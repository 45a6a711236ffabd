// TIFF input: fixtures are written at test time with libtiff itself, in
// every compression and layout a scanner produces, and each must decode to
// the bitmap it was made from.
#include <gtest/gtest.h>

#ifdef KTVEC_HAVE_TIFF

#include <tiffio.h>

#include <cstdint>
#include <vector>

#include "error.h"
#include "image.h"
#include "tool_support.h"

using namespace ktvcli;

namespace {

struct Page {
    const Bitmap *bitmap;
    uint16_t compression = COMPRESSION_NONE;
    bool tiled = false;
    bool min_is_black = false;
    int depth = 1;             // 1: bilevel; 8: grey; 24: RGB
    float xres = 0, yres = 0;  // 0: no resolution tags
    uint16_t unit = RESUNIT_INCH;
    uint16_t fill = FILLORDER_MSB2LSB;  // LSB2MSB: bits stored reversed, as some fax software does
    uint32_t rows_per_strip = 7;        // several strips, the last one short
    uint16_t orientation = ORIENTATION_TOPLEFT;
};

// The drawing's pixel at the file's row y and column x: a page stored
// bottom-up or right to left is the drawing mirrored.
bool ink(const Page &p, int x, int y) {
    const Bitmap &b = *p.bitmap;
    const uint16_t o = p.orientation;
    if (o == ORIENTATION_BOTLEFT || o == ORIENTATION_BOTRIGHT) y = b.height - 1 - y;
    if (o == ORIENTATION_TOPRIGHT || o == ORIENTATION_BOTRIGHT) x = b.width - 1 - x;
    return b.get(x, y);
}

// Grey level of a pixel in the grey and colour fixtures: dark ink, light
// paper, neither at the extremes so that binarising has work to do.
unsigned char level(const Page &p, int x, int y) { return ink(p, x, y) ? 30 : 220; }

void fill_row(const Page &p, int y, std::vector<unsigned char> &row) {
    const Bitmap &b = *p.bitmap;
    std::fill(row.begin(), row.end(), 0);
    for (int x = 0; x < b.width; ++x) {
        if (p.depth == 1) {
            if (ink(p, x, y) != p.min_is_black) row[x >> 3] |= static_cast<unsigned char>(0x80u >> (x & 7));
        } else if (p.depth == 8) {
            const unsigned char v = level(p, x, y);
            row[x] = p.min_is_black ? v : static_cast<unsigned char>(255 - v);
        } else {
            // Ink drawn in dark blue on cream paper.
            const bool dark = ink(p, x, y);
            row[3 * x] = dark ? 20 : 240;
            row[3 * x + 1] = dark ? 30 : 230;
            row[3 * x + 2] = dark ? 120 : 200;
        }
    }
}

void write_page(TIFF *tif, const Page &p) {
    const Bitmap &b = *p.bitmap;
    TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, static_cast<uint32_t>(b.width));
    TIFFSetField(tif, TIFFTAG_IMAGELENGTH, static_cast<uint32_t>(b.height));
    TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, static_cast<uint16_t>(p.depth == 1 ? 1 : 8));
    TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, static_cast<uint16_t>(p.depth == 24 ? 3 : 1));
    TIFFSetField(tif, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
    TIFFSetField(tif, TIFFTAG_PHOTOMETRIC,
                 p.depth == 24 ? PHOTOMETRIC_RGB : p.min_is_black ? PHOTOMETRIC_MINISBLACK : PHOTOMETRIC_MINISWHITE);
    TIFFSetField(tif, TIFFTAG_COMPRESSION, p.compression);
    TIFFSetField(tif, TIFFTAG_FILLORDER, p.fill);
    TIFFSetField(tif, TIFFTAG_ORIENTATION, p.orientation);
    if (p.xres > 0) {
        TIFFSetField(tif, TIFFTAG_XRESOLUTION, p.xres);
        TIFFSetField(tif, TIFFTAG_YRESOLUTION, p.yres);
        TIFFSetField(tif, TIFFTAG_RESOLUTIONUNIT, p.unit);
    }
    const tmsize_t line = TIFFScanlineSize(tif);
    std::vector<unsigned char> row(static_cast<std::size_t>(line));
    if (!p.tiled) {
        TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, p.rows_per_strip);
        for (int y = 0; y < b.height; ++y) {
            fill_row(p, y, row);
            ASSERT_EQ(TIFFWriteScanline(tif, row.data(), static_cast<uint32_t>(y), 0), 1);
        }
    } else {
        const uint32_t t = 16;
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
                    const std::size_t n = std::min(tile_row, row.size() - from);
                    std::copy_n(row.begin() + static_cast<std::ptrdiff_t>(from), n, tile.begin() + r * tile_row);
                }
                ASSERT_GE(TIFFWriteEncodedTile(tif, TIFFComputeTile(tif, x0, y0, 0, 0), tile.data(),
                                               static_cast<tmsize_t>(tile.size())), 0);
            }
    }
    ASSERT_EQ(TIFFWriteDirectory(tif), 1);
}

std::string tiff_of(const std::vector<Page> &pages) {
    TempDir dir;
    const std::string path = dir / "fixture.tif";
    TIFF *tif = TIFFOpen(path.c_str(), "w");
    EXPECT_NE(tif, nullptr);
    if (!tif) return "";
    for (const Page &p : pages) write_page(tif, p);
    TIFFClose(tif);
    return read_bytes(path);
}

// Padding bits past the width must come out 0 as well.
void expect_same(const Bitmap &want, const PackedBitmap &got) {
    ASSERT_EQ(got.width, want.width);
    ASSERT_EQ(got.height, want.height);
    for (int y = 0; y < want.height; ++y)
        for (int x = 0; x < static_cast<int>(got.stride) * 8; ++x)
            ASSERT_EQ(x < want.width && want.get(x, y), got.get(x, y)) << "pixel " << x << "," << y;
}

struct Variant {
    const char *name;
    uint16_t compression;
    bool tiled, min_is_black;
    int depth;
};

const Variant kVariants[] = {
    {"none", COMPRESSION_NONE, false, false, 1},
    {"group4", COMPRESSION_CCITTFAX4, false, false, 1},
    {"group3", COMPRESSION_CCITTFAX3, false, false, 1},
    {"packbits", COMPRESSION_PACKBITS, false, false, 1},
    {"lzw", COMPRESSION_LZW, false, false, 1},
    {"group4 min-is-black", COMPRESSION_CCITTFAX4, false, true, 1},
    {"none min-is-black", COMPRESSION_NONE, false, true, 1},
    {"tiled none", COMPRESSION_NONE, true, false, 1},
    {"tiled group4", COMPRESSION_CCITTFAX4, true, false, 1},
    {"tiled packbits min-is-black", COMPRESSION_PACKBITS, true, true, 1},
    {"grey 8-bit min-is-black", COMPRESSION_LZW, false, true, 8},
    {"grey 8-bit min-is-white", COMPRESSION_NONE, false, false, 8},
    {"grey 8-bit tiled", COMPRESSION_PACKBITS, true, true, 8},
    {"rgb lzw", COMPRESSION_LZW, false, false, 24},
};

}  // namespace

TEST(TiffReader, EveryLayoutGivesTheDrawing) {
    const Bitmap drawing = sample_drawing();  // 61 wide: a partial last byte
    for (const Variant &v : kVariants) {
        SCOPED_TRACE(v.name);
        Page p{&drawing, v.compression, v.tiled, v.min_is_black, v.depth};
        const LoadedImage image = decode(tiff_of({p}));
        EXPECT_STREQ(image.format, "TIFF");
        expect_same(drawing, image.bitmap);
        if (v.depth == 1) EXPECT_EQ(image.threshold, -1);
        else EXPECT_GT(image.threshold, 30);
    }
}

TEST(TiffReader, ReversedFillOrderGivesTheDrawing) {
    const Bitmap drawing = stroke_drawing();
    for (uint16_t compression : {COMPRESSION_CCITTFAX4, COMPRESSION_CCITTFAX3, COMPRESSION_NONE}) {
        SCOPED_TRACE(compression);
        Page p{&drawing, compression};
        p.fill = FILLORDER_LSB2MSB;
        expect_same(drawing, decode(tiff_of({p})).bitmap);
    }
}

TEST(TiffReader, ResolutionInInchesOrCentimetres) {
    const Bitmap drawing = sample_drawing();
    Page fax{&drawing, COMPRESSION_CCITTFAX3};
    fax.xres = 204;
    fax.yres = 98;  // fax normal resolution: pixels twice as tall as wide
    LoadedImage image = decode(tiff_of({fax}));
    EXPECT_DOUBLE_EQ(image.dpi_x, 204);
    EXPECT_DOUBLE_EQ(image.dpi_y, 98);

    Page metric{&drawing, COMPRESSION_CCITTFAX4};
    metric.xres = metric.yres = 118.11f;  // 300 dpi in pixels per centimetre
    metric.unit = RESUNIT_CENTIMETER;
    image = decode(tiff_of({metric}));
    EXPECT_NEAR(image.dpi_x, 300, 0.01);

    Page unitless = metric;
    unitless.unit = RESUNIT_NONE;  // an aspect ratio only: no size
    EXPECT_EQ(decode(tiff_of({unitless})).dpi_x, 0);
    EXPECT_EQ(decode(tiff_of({Page{&drawing}})).dpi_x, 0);

    ReadOptions forced;
    forced.dpi = 600;  // --dpi wins over the tags
    image = decode(tiff_of({fax}), forced);
    EXPECT_EQ(image.dpi_x, 600);
    EXPECT_EQ(image.dpi_y, 600);
}

TEST(TiffReader, PagesAreChosenByNumber) {
    const Bitmap first = sample_drawing(), second = stroke_drawing();
    const std::string file = tiff_of({Page{&first, COMPRESSION_CCITTFAX4}, Page{&second, COMPRESSION_PACKBITS}});
    EXPECT_EQ(tiff_page_count(reinterpret_cast<const unsigned char *>(file.data()), file.size()), 2);
    ReadOptions o;
    expect_same(first, decode(file, o).bitmap);  // page 0: the first
    o.page = 1;
    expect_same(first, decode(file, o).bitmap);
    o.page = 2;
    expect_same(second, decode(file, o).bitmap);
    o.page = 3;
    EXPECT_EQ(decode_error(file, o), "page 3 asked for, the file has 2 pages");
    o.page = 2;
    EXPECT_EQ(decode_error(pbm_raw(first), o), "page 2 asked for, the file has 1 page");
    o.page = 1;
    expect_same(first, decode(pbm_raw(first), o).bitmap);
}

// Taller than the reader's bands, with a partial last byte and nothing
// symmetric, so that a band out of place or a mirrored row shows.
Bitmap tall_drawing() {
    const Bitmap part = sample_drawing();
    Bitmap b(part.width, 3 * part.height + 50);
    for (int copy = 0; copy < 3; ++copy)
        for (int y = 0; y < part.height; ++y)
            for (int x = 0; x < part.width; ++x)
                if (part.get(x, y)) b.set(x, copy * (part.height + 10) + y);
    for (int y = 0; y < b.height; ++y) b.set((y * 7) % b.width, y);
    return b;
}

TEST(TiffReader, StripsOfAnyHeightAndEveryOrientationGiveTheUprightDrawing) {
    const Bitmap drawing = tall_drawing();
    const uint16_t orientations[] = {ORIENTATION_TOPLEFT, ORIENTATION_TOPRIGHT, ORIENTATION_BOTRIGHT,
                                     ORIENTATION_BOTLEFT};
    for (int depth : {1, 8, 24})
        for (bool tiled : {false, true})
            for (uint32_t rows : {1u, 7u, 100u, 1000u})  // 1000: one strip for the whole page
                for (uint16_t orientation : orientations) {
                    if (tiled && rows != 7) continue;
                    SCOPED_TRACE(testing::Message() << "depth " << depth << (tiled ? " tiled" : "")
                                                    << " rows per strip " << rows << " orientation "
                                                    << orientation);
                    Page p{&drawing, COMPRESSION_LZW, tiled, false, depth};
                    p.rows_per_strip = rows;
                    p.orientation = orientation;
                    expect_same(drawing, decode(tiff_of({p})).bitmap);
                }
}

TEST(TiffReader, LayoutsThatWouldOnlyCostMemoryAreRefused) {
    const Bitmap drawing = sample_drawing();
    TempDir dir;
    const std::string path = dir / "odd.tif";
    // Nine samples per pixel (RGB and six extra channels).
    TIFF *tif = TIFFOpen(path.c_str(), "w");
    ASSERT_NE(tif, nullptr);
    TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, 4u);
    TIFFSetField(tif, TIFFTAG_IMAGELENGTH, 4u);
    TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, uint16_t{8});
    TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, uint16_t{9});
    const uint16_t extra[6] = {};
    TIFFSetField(tif, TIFFTAG_EXTRASAMPLES, uint16_t{6}, extra);
    TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_RGB);
    TIFFSetField(tif, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
    std::vector<unsigned char> row(4 * 9, 255);
    for (uint32_t y = 0; y < 4; ++y) ASSERT_EQ(TIFFWriteScanline(tif, row.data(), y, 0), 1);
    TIFFClose(tif);
    EXPECT_EQ(decode_error(read_bytes(path)), "unsupported TIFF layout (9 samples per pixel)");

    // A 4096 x 4096 tile on a 61 x 43 page.
    tif = TIFFOpen(path.c_str(), "w");
    ASSERT_NE(tif, nullptr);
    TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, static_cast<uint32_t>(drawing.width));
    TIFFSetField(tif, TIFFTAG_IMAGELENGTH, static_cast<uint32_t>(drawing.height));
    TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, uint16_t{8});
    TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, uint16_t{1});
    TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_MINISBLACK);
    TIFFSetField(tif, TIFFTAG_TILEWIDTH, 4096u);
    TIFFSetField(tif, TIFFTAG_TILELENGTH, 4096u);
    TIFFSetField(tif, TIFFTAG_COMPRESSION, COMPRESSION_LZW);
    std::vector<unsigned char> tile(static_cast<std::size_t>(TIFFTileSize(tif)), 255);
    ASSERT_GE(TIFFWriteEncodedTile(tif, 0, tile.data(), static_cast<tmsize_t>(tile.size())), 0);
    TIFFClose(tif);
    EXPECT_EQ(decode_error(read_bytes(path)), "TIFF tiles larger than the page");
}

TEST(TiffReader, PixelLimitRefusesBeforeDecoding) {
    const Bitmap drawing = sample_drawing();
    ReadOptions o;
    o.max_pixels = static_cast<std::uint64_t>(drawing.width) * drawing.height - 1;
    EXPECT_NE(decode_error(tiff_of({Page{&drawing, COMPRESSION_CCITTFAX4}}), o).find("exceeds the limit"),
              std::string::npos);
}

TEST(TiffReader, DamagedFilesGiveOneError) {
    const Bitmap drawing = stroke_drawing();
    const std::string good = tiff_of({Page{&drawing, COMPRESSION_CCITTFAX4}});
    ASSERT_GT(good.size(), 64u);
    // Cut anywhere: the header, the image data or the directory at the end.
    for (std::size_t keep : {std::size_t{4}, std::size_t{9}, good.size() / 2, good.size() - 20}) {
        SCOPED_TRACE(keep);
        const std::string message = decode_error(good.substr(0, keep));
        EXPECT_NE(message, "(no error)");
        EXPECT_NE(message.find("TIFF"), std::string::npos) << message;
        EXPECT_EQ(message.find('\n'), std::string::npos);
    }
    // A directory that points its strip past the end of the file.
    const std::string uncompressed = tiff_of({Page{&drawing}});
    const std::string cut = uncompressed.substr(0, 8) + std::string(uncompressed.size() - 8, '\0');
    EXPECT_NE(decode_error(cut), "(no error)");
}

TEST(TiffReader, ProgramWritesOneOutputPerPage) {
    const Bitmap first = sample_drawing(), second = stroke_drawing();
    TempDir dir;
    write_bytes(dir / "scan.tif", tiff_of({Page{&first, COMPRESSION_CCITTFAX4}, Page{&second, COMPRESSION_CCITTFAX4}}));
    RunResult r = run_ktvec({"centerline", dir / "scan.tif", "-o", dir / "scan.json", "-q"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(dir.names(), (std::vector<std::string>{"scan-p1.json", "scan-p2.json", "scan.tif"}));
    EXPECT_NE(read_bytes(dir / "scan-p2.json").find("\"width\":120"), std::string::npos);

    r = run_ktvec({"outline", dir / "scan.tif", "--page", "2", "-o", dir / "two.json", "-q"});
    ASSERT_EQ(r.status, 0) << r.err;
    const std::string json = read_bytes(dir / "two.json");
    EXPECT_NE(json.find("\"width\":120"), std::string::npos);
    EXPECT_NE(json.find("\"format\":\"TIFF\""), std::string::npos);

    r = run_ktvec({"outline", dir / "scan.tif", "--page", "3", "-o", dir / "three.json"});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("page 3 asked for"), std::string::npos) << r.err;
}

TEST(TiffReader, ResolutionReachesTheJson) {
    const Bitmap drawing = sample_drawing();
    Page p{&drawing, COMPRESSION_CCITTFAX4};
    p.xres = p.yres = 300;
    TempDir dir;
    write_bytes(dir / "scan.tif", tiff_of({p}));
    RunResult r = run_ktvec({"outline", dir / "scan.tif", "-o", dir / "scan.json", "-q"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(read_bytes(dir / "scan.json").find("\"dpi\":300"), std::string::npos);
}

#else

TEST(TiffReader, BuiltWithoutLibtiff) { GTEST_SKIP() << "libtiff was not found at build time"; }

#endif
