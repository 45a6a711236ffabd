// Image input: every PBM, PNG and TIFF variant of a drawing decodes to the
// same packed bitmap (padding bits clear), and damaged, lying or unreadable
// files are refused with one line naming the problem before anything large
// is allocated.
#include <gtest/gtest.h>
#include <zlib.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "error.h"
#include "image.h"
#include "support.h"
#include "sweep.h"


using namespace ktvcli;

namespace {

void expect_same(const Bitmap &want, const PackedBitmap &got) {
    ASSERT_EQ(got.width * 10000 + got.height, want.width * 10000 + want.height);
    ASSERT_EQ(got.stride, static_cast<std::size_t>((want.width + 7) / 8));
    for (int y = 0; y < want.height; ++y)
        for (int x = 0; x < static_cast<int>(got.stride) * 8; ++x)
            ASSERT_EQ(x < want.width && want.get(x, y), got.get(x, y)) << "pixel " << x << "," << y;
}

std::string be32(std::uint32_t v) {
    return {static_cast<char>(v >> 24), static_cast<char>(v >> 16), static_cast<char>(v >> 8), static_cast<char>(v)};
}
std::string le16(unsigned v) { return {static_cast<char>(v), static_cast<char>(v >> 8)}; }
std::string le32(std::uint32_t v) { return le16(v & 0xffff) + le16(v >> 16); }

// A PNG signature and IHDR chunk with a correct CRC (so that the reader
// judges the fields themselves), then `rest`.
std::string png_header(std::uint32_t width, std::uint32_t height, int depth, int colour, const std::string &rest) {
    std::string chunk = "IHDR" + be32(width) + be32(height);
    chunk += static_cast<char>(depth);
    chunk += static_cast<char>(colour);
    chunk += std::string(3, '\0');
    const uLong crc = crc32(0, reinterpret_cast<const Bytef *>(chunk.data()), static_cast<uInt>(chunk.size()));
    return "\x89PNG\r\n\x1a\n" + be32(13) + chunk + be32(static_cast<std::uint32_t>(crc)) + rest;
}
const std::string kIend = be32(0) + "IEND" + be32(0xae426082);

// A valid PNG whose IHDR claims another size, with a correct CRC.
std::string with_png_size(std::string png, std::uint32_t w, std::uint32_t h) {
    png.replace(16, 8, be32(w) + be32(h));
    return png.replace(29, 4, be32(static_cast<std::uint32_t>(crc32(0, reinterpret_cast<const Bytef *>(png.data() + 12), 17))));
}

// A little-endian TIFF of one strip with the usual tags; `data` follows
// the directory (where the strip offset may or may not point: 122).
std::string tiff_file(std::uint32_t width, std::uint32_t height, unsigned bits, std::uint32_t offset, std::uint32_t count,
                 const std::string &data) {
    const struct { unsigned tag, type; std::uint32_t value; } tags[] = {
        {256, 4, width}, {257, 4, height}, {258, 3, bits}, {259, 3, 1},      {262, 3, 0},
        {273, 4, offset}, {277, 3, 1},     {278, 4, height}, {279, 4, count}};
    std::string s = std::string("II*\0", 4) + le32(8) + le16(9);
    for (const auto &t : tags) s += le16(t.tag) + le16(t.type) + le32(1) + le32(t.value);
    return s + le32(0) + data;
}

struct Refusal {
    std::string name, bytes, problem;  // problem: a part of the message, or empty for any
};

// Cuts of a valid file at a spread of lengths.
void add_truncations(std::vector<Refusal> &out, const std::string &name, const std::string &whole) {
    std::vector<size_t> cuts = {1, 2, 3, 5, 8, 12, 16, 24, 33, 40, 50, whole.size() - 1};
    for (size_t k = 1; k < 8; ++k) cuts.push_back(whole.size() * k / 8);
    for (size_t c : cuts)
        // A plain file that loses only trailing white space is still whole.
        if (c > 0 && c < whole.size() && whole.find_first_not_of(" \n", c) != std::string::npos)
            out.push_back({name + " cut at " + std::to_string(c), whole.substr(0, c), ""});
}

}  // namespace

TEST(Readers, EveryPbmAndPngVariantGivesTheDrawing) {
    const Bitmap b = sample_drawing();  // 61 wide: a partial last byte
    expect_same(b, decode(pbm_plain(b)).bitmap);
    TempDir dir;
    for (bool padbits : {false, true}) {
        // Padding bits set in the file are cleared, whether the raster is
        // copied out of memory or kept in the block a file was read into.
        write_bytes(dir / "raw.pbm", "P4 # a comment before the size\n" + pbm_raw(b, padbits).substr(3));
        for (bool from_file : {false, true}) {
            const LoadedImage img = from_file ? read_image(dir / "raw.pbm", {}) : decode(pbm_raw(b, padbits));
            expect_same(b, img.bitmap);
            EXPECT_EQ(img.bitmap.count(), static_cast<std::size_t>(b.count()));
            EXPECT_STREQ(img.format, "PBM");
            EXPECT_EQ(img.threshold, -1);
        }
    }
    for (PngKind k : {PngKind::Bit1, PngKind::Grey8, PngKind::Grey16, PngKind::GreyAlpha8, PngKind::Palette,
                      PngKind::Rgb8, PngKind::Rgba8, PngKind::Rgb16, PngKind::TransparentWhite})
        for (bool interlaced : {false, true}) {
            SCOPED_TRACE(testing::Message() << "kind " << static_cast<int>(k) << " interlaced " << interlaced);
            const LoadedImage img = decode(png_of(b, k, interlaced));
            EXPECT_STREQ(img.format, "PNG");
            expect_same(b, img.bitmap);
            EXPECT_TRUE(k == PngKind::Bit1 ? img.threshold == -1 : img.threshold > 0);
        }
    // Header comments, run-together digits, a comment before the byte that
    // ends a raw header; inverting keeps the padding clear.
    expect_same(Bitmap::from_ascii({"#..#", ".##."}), decode("P1 # magic\n#whole line\n 4 # width\n 2\n1001 0\n1 1 0").bitmap);
    expect_same(Bitmap::from_ascii({"####....", "....####"}), decode(std::string("P4\n8 2# note\n\xF0\x0F", 15)).bitmap);
    ReadOptions inverted;
    inverted.invert = true;
    const LoadedImage neg = decode(pbm_raw(Bitmap::from_ascii({"#....", "..#.."})), inverted);
    EXPECT_EQ(neg.bitmap.count(), 8u);
    EXPECT_FALSE(neg.bitmap.get(0, 0) || neg.bitmap.get(5, 0));
    // The PNG writer round-trips through the reader as 1-bit.
    for (int w : {1, 7, 8, 9, 61}) {
        Bitmap d(w, 5);
        for (int y = 0; y < 5; ++y)
            for (int x = 0; x < w; ++x) d.set(x, y, (x * 7 + y * 3) % 5 < 2);
        const Buffer png = encode_png(decode(pbm_raw(d)).bitmap);
        const LoadedImage back = decode_image(png.data(), png.size(), {});
        expect_same(d, back.bitmap);
        EXPECT_EQ(back.threshold, -1);
    }
}

TEST(Readers, LargeFilesComeWholeMappedOrReadInParts) {
    // Past the size from which files are mapped, or read in parts on
    // several threads: an odd size, so that the parts are unequal.
    std::string bytes((std::size_t(8) << 20) + 4099, '\0');
    for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<char>((i * 2654435761u) >> 13);
    TempDir dir;
    write_bytes(dir / "large", bytes);
    for (bool map : {true, false}) {
        const Buffer b = read_file(dir / "large", map);
        ASSERT_EQ(b.size(), bytes.size()) << "mapped " << map;
        EXPECT_EQ(std::memcmp(b.data(), bytes.data(), bytes.size()), 0) << "mapped " << map;
    }
}

TEST(Readers, ThresholdsCutBelowTheLevel) {
    const std::string file = png_grey(6, 1, {0, 50, 100, 150, 200, 250});
    for (int t : {0, 1, 100, 101, 251, 255}) {
        ReadOptions o;
        o.threshold = t;
        const PackedBitmap bm = decode(file, o).bitmap;
        for (int x = 0; x < 6; ++x) EXPECT_EQ(bm.get(x, 0), x * 50 < t) << "t " << t << " x " << x;
    }
    // Otsu splits two peaks; a single level is ink only when dark.
    GreyImage g = allocate_grey(100, 1);
    for (int x = 0; x < 100; ++x) g.pixels.data()[x] = static_cast<unsigned char>(x < 30 ? 40 + x % 5 : 200 + x % 7);
    const int t = otsu_threshold(g);
    EXPECT_TRUE(t > 44 && t <= 200) << t;
    EXPECT_EQ(binarise(g, t).count(), 30u);
    GreyImage flat = allocate_grey(9, 2);
    std::memset(flat.pixels.data(), 255, 18);
    EXPECT_EQ(binarise(flat, otsu_threshold(flat)).count(), 0u);
    std::memset(flat.pixels.data(), 10, 18);
    EXPECT_EQ(binarise(flat, otsu_threshold(flat)).count(), 18u);
}

TEST(Readers, DamagedAndLyingFilesAreRefusedInOneLine) {
    const Bitmap drawing = sample_drawing();
    const std::string png = png_of(drawing, PngKind::Grey8);
    std::vector<Refusal> files = {
        {"empty", "", "empty file"},
        {"nul", std::string(64, '\0'), ""},
        {"text", "this is not an image\n", std::string("expected ") + readable_formats()},
        {"gif", "GIF89a\x01\x00\x01\x00", "GIF"},
        {"pgm", "P5\n4 4\n255\n0123456789abcdef", "PGM"},
        {"jpeg", "\xFF\xD8\xFF\xE0", "JPEG"},
        {"almost png", "\x89PNG\r\n\x1b\n", "damaged PNG signature"},
        {"tiff stub", std::string("II*\0\x08\0\0\0", 8), "TIFF"},
        {"tiff stub, big-endian", std::string("MM\0*\0\0\0\x08\xff\xff", 10), "TIFF"},
        {"tiff huge", tiff_file(100000, 100000, 1, 122, 4, "\xff\xff\xff\xff"), "exceeds the limit"},
        {"tiff zero width", tiff_file(0, 5, 1, 122, 4, "\xff\xff\xff\xff"), ""},
        {"tiff 2^31 wide", tiff_file(0x80000000u, 1, 1, 122, 4, "\xff\xff\xff\xff"), ""},
        {"tiff strip past the end", tiff_file(16, 2, 1, 0x7ffffff0u, 4, "\xff\xff\xff\xff"), ""},
        {"tiff strip too short", tiff_file(16, 2, 1, 122, 1, "\xff"), ""},
        {"tiff count wraps", tiff_file(64, 64, 1, 122, 0xfffffff0u, "\xff\xff\xff\xff"), ""},
        {"tiff bad depth", tiff_file(16, 2, 3, 122, 4, "\xff\xff\xff\xff"), ""},
        {"tiff directory loop", std::string("II*\0", 4) + le32(8) + le16(0) + le32(8), ""},
        {"pbm zero width", "P4\n0 10\n", "empty image"},
        {"pbm negative", "P4\n-5 10\n\xff\xff", "not a number"},
        {"pbm int overflow", "P4\n2147483648 1\n\xff", ""},
        {"pbm beyond int", "P4\n3000000000 1\n\x01", "beyond the supported size"},
        {"pbm long number", "P4\n99999999999999999999999999 3\n", ""},
        {"pbm gigapixels", "P4\n65536 65536\n\xff\xff\xff", "exceeds the limit of 1000000000 pixels"},
        {"pbm short data", "P4\n31622 31622\n\xff\xff\xff", "truncated PBM data"},
        {"pbm header only", "P4\n16", "truncated PBM header"},
        {"pbm bad header", "P4x 5 5\n", "malformed PBM header"},
        {"pbm x width", "P4\nx 3\n", "width is not a number"},
        {"plain pbm short", "P1\n3 2\n1 0 1\n0 1", "truncated PBM data"},
        {"plain pbm bad digit", "P1\n3 1\n1 2 1", "pixels must be 0 or 1"},
        {"pbm comment forever", "P4\n#" + std::string(4096, 'c'), ""},
        {"png zero", png_header(0, 10, 8, 0, ""), ""},
        {"png huge", png_header(0x7fffffff, 0x7fffffff, 8, 0, ""), ""},
        {"png lying size", with_png_size(png, 60000, 60000), "exceeds the limit"},
        {"png taller than its data", with_png_size(png, 61, 600), "truncated PNG data"},
        {"png 2^31", png_header(0x80000000u, 1, 1, 0, ""), ""},
        {"png rgba16 big", png_header(20000, 20000, 16, 6, ""), ""},
        {"png bad depth", png_header(8, 8, 3, 0, ""), ""},
        {"png bad colour", png_header(8, 8, 8, 5, ""), ""},
        {"png no data", png_header(8, 8, 8, 0, kIend), ""},
        {"png half", png.substr(0, png.size() / 2), "truncated PNG data"},
        {"png without its end", png.substr(0, png.size() - 12), "truncated PNG data"},
        // One row alone would be gigabytes: libpng sizes its row buffers
        // from the header, so the limit must come first.
        {"png wide row", with_png_size(png_of(drawing, PngKind::Rgba8), 2000000000, 1), "exceeds the limit"},
    };
    std::string crc = png;
    crc[45] = static_cast<char>(crc[45] ^ 0x55);  // inside IDAT: the CRC fails
    files.push_back({"png bad crc", crc, "invalid PNG data"});
    std::string flipped = png;  // the deflate stream damaged under a fresh CRC
    flipped[flipped.size() / 2] = static_cast<char>(flipped[flipped.size() / 2] ^ 0x5a);
    files.push_back({"png flipped byte", flipped, ""});
    const char *root = std::getenv("KTVEC_SOURCE_DIR");  // inputs the reader fuzzer found
    files.push_back({"fuzz finding", read_bytes(std::string(root ? root : ".") + "/tests/fuzz/regressions/tiff-multiline-message.tif"), ""});
    add_truncations(files, "raw pbm", pbm_raw(drawing));
    add_truncations(files, "plain pbm", pbm_plain(drawing));
    add_truncations(files, "png", png);
    add_truncations(files, "interlaced png", png_of(drawing, PngKind::Rgba8, true));
    add_truncations(files, "tiff", tiff_file(16, 2, 1, 122, 4, "\x0f\xf0\xaa\x55"));
    for (const Refusal &f : files) {
        const std::string message = decode_error(f.bytes);
        EXPECT_NE(message, "(no error)") << f.name;
        EXPECT_EQ(message.find('\n'), std::string::npos) << f.name << ": " << message;
        EXPECT_NE(message.find(f.problem), std::string::npos) << f.name << ": " << message;
    }
    EXPECT_GT(files.size(), 100u);
    // The pixel limit can be lowered and raised; a bitmap that cannot be
    // allocated is too large for memory.
    ReadOptions o;
    o.max_pixels = 61 * 43 - 1;
    EXPECT_NE(decode_error(pbm_raw(drawing), o).find("image of 61x43 pixels exceeds the limit of 2622 pixels"), std::string::npos);
    EXPECT_NE(decode_error(png, o).find("exceeds the limit"), std::string::npos);
    o.max_pixels = 61 * 43;
    EXPECT_EQ(decode(pbm_raw(drawing), o).bitmap.width, 61);
    std::string error;
    EXPECT_TRUE(fails_at(1, [&] { error = decode_error(pbm_raw(drawing)); }));
    EXPECT_EQ(error, "image of 61x43 pixels is too large for memory");
}

#ifdef KTVEC_HAVE_TIFF

namespace {

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

}  // namespace

TEST(TiffReader, EveryLayoutAndOrientationGivesTheUprightDrawing) {
    const Bitmap drawing = sample_drawing(), strokes = stroke_drawing(), tall = tall_drawing();
    const struct {
        uint16_t compression;
        bool tiled, min_is_black;
        int depth;
    } variants[] = {
        {COMPRESSION_NONE, false, false, 1},     {COMPRESSION_CCITTFAX4, false, false, 1},
        {COMPRESSION_CCITTFAX3, false, false, 1}, {COMPRESSION_PACKBITS, false, false, 1},
        {COMPRESSION_LZW, false, false, 1},      {COMPRESSION_CCITTFAX4, false, true, 1},
        {COMPRESSION_NONE, false, true, 1},      {COMPRESSION_NONE, true, false, 1},
        {COMPRESSION_CCITTFAX4, true, false, 1}, {COMPRESSION_PACKBITS, true, true, 1},
        {COMPRESSION_LZW, false, true, 8},       {COMPRESSION_NONE, false, false, 8},
        {COMPRESSION_PACKBITS, true, true, 8},   {COMPRESSION_LZW, false, false, 24},
    };
    for (const auto &v : variants) {
        SCOPED_TRACE(testing::Message() << "compression " << v.compression << " tiled " << v.tiled << " depth " << v.depth);
        const LoadedImage image = decode(tiff_of({Page{&drawing, v.compression, v.tiled, v.min_is_black, v.depth}}));
        EXPECT_STREQ(image.format, "TIFF");
        expect_same(drawing, image.bitmap);
        EXPECT_TRUE(v.depth == 1 ? image.threshold == -1 : image.threshold > 30);
    }
    Page wide{&tall, COMPRESSION_NONE, true};  // tiles of 64 pixels: wider than the page
    wide.tile = 64;
    expect_same(tall, decode(tiff_of({wide})).bitmap);
    for (uint16_t compression : {COMPRESSION_CCITTFAX4, COMPRESSION_CCITTFAX3, COMPRESSION_NONE}) {
        Page p{&strokes, compression};
        p.fill = FILLORDER_LSB2MSB;
        expect_same(strokes, decode(tiff_of({p})).bitmap);
    }
    for (int depth : {1, 8, 24})
        for (bool tiled : {false, true})
            for (uint32_t rows : {1u, 7u, 1000u})  // 1000: one strip for the whole page
                for (uint16_t orientation : {ORIENTATION_TOPLEFT, ORIENTATION_TOPRIGHT, ORIENTATION_BOTRIGHT, ORIENTATION_BOTLEFT}) {
                    if (tiled && rows != 7) continue;
                    SCOPED_TRACE(testing::Message() << "depth " << depth << " tiled " << tiled << " rows " << rows
                                                    << " orientation " << orientation);
                    Page p{&tall, COMPRESSION_LZW, tiled, false, depth};
                    p.rows_per_strip = rows;
                    p.orientation = orientation;
                    expect_same(tall, decode(tiff_of({p})).bitmap);
                }
}

TEST(TiffReader, ResolutionPagesAndCostlyLayouts) {
    const Bitmap drawing = sample_drawing();
    Page fax{&drawing, COMPRESSION_CCITTFAX3};
    fax.xres = 204;
    fax.yres = 98;  // fax normal resolution: pixels twice as tall as wide
    LoadedImage image = decode(tiff_of({fax}));
    EXPECT_EQ(image.dpi_x * 1000 + image.dpi_y, 204098);
    Page metric{&drawing, COMPRESSION_CCITTFAX4};
    metric.xres = metric.yres = 118.11f;  // 300 dpi in pixels per centimetre
    metric.unit = RESUNIT_CENTIMETER;
    EXPECT_NEAR(decode(tiff_of({metric})).dpi_x, 300, 0.01);
    metric.unit = RESUNIT_NONE;  // an aspect ratio only: no size
    EXPECT_EQ(decode(tiff_of({metric})).dpi_x + decode(tiff_of({Page{&drawing}})).dpi_x, 0);
    ReadOptions forced;
    forced.dpi = 600;  // --dpi wins over the tags
    image = decode(tiff_of({fax}), forced);
    EXPECT_EQ(image.dpi_x + image.dpi_y, 1200);

    // Pages beyond the last are refused, also in single-page formats.
    ReadOptions o;
    o.page = 2;
    EXPECT_EQ(decode_error(pbm_raw(drawing), o), "page 2 asked for, the file has 1 page");
    o.page = 1;
    expect_same(drawing, decode(pbm_raw(drawing), o).bitmap);

    // Layouts that would only cost memory: nine samples a pixel, a tile far
    // larger than the page.
    EXPECT_EQ(decode_error(tiff_of({Page{&drawing, COMPRESSION_NONE, false, false, 72}})),
              "unsupported TIFF layout (9 samples per pixel)");
    Page big{&drawing, COMPRESSION_LZW, true, true, 8};
    big.tile = 4096;
    EXPECT_EQ(decode_error(tiff_of({big})), "TIFF tiles larger than the page");
}

#endif
