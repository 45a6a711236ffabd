// Image input: every PBM and PNG variant of one drawing decodes to the same
// packed bitmap, and damaged or lying files are refused with the right
// problem before anything large is allocated.
#include <gtest/gtest.h>

#include <cstring>
#include <zlib.h>

#include "error.h"
#include "image.h"
#include "tool_support.h"

using namespace ktvcli;

namespace {

// The decoded bitmap as a test Bitmap, padding bits included (they must be 0).
void expect_same(const Bitmap &want, const PackedBitmap &got) {
    ASSERT_EQ(got.width, want.width);
    ASSERT_EQ(got.height, want.height);
    ASSERT_EQ(got.stride, static_cast<std::size_t>((want.width + 7) / 8));
    for (int y = 0; y < want.height; ++y)
        for (int x = 0; x < static_cast<int>(got.stride) * 8; ++x)
            ASSERT_EQ(x < want.width && want.get(x, y), got.get(x, y)) << "pixel " << x << "," << y;
}

// Rewrites the IHDR dimensions of a PNG, with a correct CRC, so the header
// lies consistently.
std::string with_png_size(std::string png, unsigned w, unsigned h) {
    auto put32 = [&](std::size_t at, unsigned v) {
        for (int i = 0; i < 4; ++i) png[at + i] = static_cast<char>(v >> (24 - 8 * i));
    };
    put32(16, w);
    put32(20, h);
    const unsigned crc = static_cast<unsigned>(
        crc32(0, reinterpret_cast<const Bytef *>(png.data() + 12), 17));
    put32(29, crc);
    return png;
}

}  // namespace

TEST(PbmReader, PlainAndRawGiveTheDrawing) {
    const Bitmap b = sample_drawing();
    expect_same(b, decode(pbm_plain(b)).bitmap);
    expect_same(b, decode(pbm_raw(b)).bitmap);
    EXPECT_STREQ(decode(pbm_raw(b)).format, "PBM");
    EXPECT_EQ(decode(pbm_raw(b)).threshold, -1);
}

TEST(PbmReader, RawPaddingBitsAreCleared) {
    // Width 13: three pad bits per row, all set in the file.
    const Bitmap b = Bitmap::from_ascii({"#...........#", ".............", "#############"});
    const LoadedImage img = decode(pbm_raw(b, true));
    expect_same(b, img.bitmap);
    EXPECT_EQ(img.bitmap.count(), static_cast<std::size_t>(b.count()));
}

TEST(PbmReader, HeaderCommentsAndRunTogetherDigits) {
    const std::string plain = "P1 # magic\n#whole line\n 4 # width\n 2\n1001 0\n1 1 0";
    const LoadedImage img = decode(plain);
    expect_same(Bitmap::from_ascii({"#..#", ".##."}), img.bitmap);
    // A comment between the height and the one byte that ends a raw header.
    std::string raw = "P4\n8 2# note\n";
    raw += '\xF0';
    raw += '\x0F';
    expect_same(Bitmap::from_ascii({"####....", "....####"}), decode(raw).bitmap);
}

TEST(PbmReader, InvertKeepsPaddingClear) {
    const Bitmap b = Bitmap::from_ascii({"#....", "..#.."});
    ReadOptions o;
    o.invert = true;
    const LoadedImage img = decode(pbm_raw(b), o);
    EXPECT_EQ(img.bitmap.count(), 8u);
    EXPECT_FALSE(img.bitmap.get(0, 0));
    EXPECT_TRUE(img.bitmap.get(1, 0));
    EXPECT_FALSE(img.bitmap.get(5, 0));  // padding
}

TEST(PbmReader, DamagedFilesAreRefused) {
    struct Case {
        std::string file, problem;
    } cases[] = {
        {"P4\n16 16\n\x01\x02", "truncated PBM data"},
        {"P4\n16", "truncated PBM header"},
        {"P4\n16 16", "truncated PBM data"},
        {"P1\n3 2\n1 0 1\n0 1", "truncated PBM data"},
        {"P1\n3 1\n1 2 1", "pixels must be 0 or 1"},
        {"P4\nx 3\n", "width is not a number"},
        {"P4\n3 -3\n", "height is not a number"},
        {"P4 0 5\n", "empty image"},
        {"P4x 5 5\n", "malformed PBM header"},
        // Lying headers: refused from the header alone.
        {"P4\n100000 100000\n\x01", "exceeds the limit"},
        {"P4\n3000000000 1\n\x01", "beyond the supported size"},
        {"P4\n3000 3000\n\x01\x02\x03", "truncated PBM data"},
        {"P1\n3000 3000\n0101", "truncated PBM data"},
    };
    for (const Case &c : cases)
        EXPECT_NE(decode_error(c.file).find(c.problem), std::string::npos)
            << "file " << c.file << " gave: " << decode_error(c.file);
}

TEST(PbmReader, PixelLimitIsConfigurable) {
    const std::string file = pbm_raw(sample_drawing());  // 61 x 43 = 2623 pixels
    ReadOptions o;
    o.max_pixels = 2622;
    EXPECT_NE(decode_error(file, o).find("exceeds the limit of 2622 pixels"), std::string::npos);
    o.max_pixels = 2623;
    EXPECT_EQ(decode(file, o).bitmap.width, 61);
}

TEST(ImageReader, RecognisesBySignature) {
    EXPECT_EQ(decode_error(""), "empty file");
    EXPECT_NE(decode_error(std::string("II*\0xxxx", 8)).find("TIFF"), std::string::npos);
    EXPECT_NE(decode_error("P5\n2 2\n255\n").find("PGM"), std::string::npos);
    EXPECT_NE(decode_error("\xFF\xD8\xFF\xE0").find("JPEG"), std::string::npos);
    EXPECT_NE(decode_error("hello world").find(std::string("expected ") + readable_formats()), std::string::npos);
    EXPECT_NE(decode_error("\x89PNG\r\n\x1b\n").find("damaged PNG signature"), std::string::npos);
}

TEST(PngReader, EveryColourTypeGivesTheDrawing) {
    const Bitmap b = sample_drawing();
    const PngKind kinds[] = {PngKind::Bit1,    PngKind::Grey8, PngKind::Grey16,
                             PngKind::GreyAlpha8, PngKind::Palette, PngKind::Rgb8,
                             PngKind::Rgba8,   PngKind::Rgb16, PngKind::TransparentWhite};
    for (PngKind k : kinds)
        for (bool interlaced : {false, true}) {
            SCOPED_TRACE(testing::Message() << "kind " << static_cast<int>(k) << " interlaced " << interlaced);
            const LoadedImage img = decode(png_of(b, k, interlaced));
            EXPECT_STREQ(img.format, "PNG");
            expect_same(b, img.bitmap);
            if (k == PngKind::Bit1) EXPECT_EQ(img.threshold, -1);
            else EXPECT_GT(img.threshold, 0);
        }
}

TEST(PngReader, ExplicitThresholdCutsBelowIt) {
    // One row of levels 0, 50, 100, 150, 200, 250.
    const std::string file = png_grey(6, 1, {0, 50, 100, 150, 200, 250});
    for (int t : {0, 1, 100, 101, 251, 255}) {
        ReadOptions o;
        o.threshold = t;
        const PackedBitmap bm = decode(file, o).bitmap;
        for (int x = 0; x < 6; ++x) EXPECT_EQ(bm.get(x, 0), x * 50 < t) << "t " << t << " x " << x;
    }
}

TEST(PngReader, DamagedFilesAreRefused) {
    const std::string good = png_of(sample_drawing(), PngKind::Grey8);
    EXPECT_EQ(decode_error(good.substr(0, good.size() / 2)), "truncated PNG data");
    EXPECT_EQ(decode_error(good.substr(0, 20)), "truncated PNG data");
    EXPECT_EQ(decode_error(good.substr(0, good.size() - 12)), "truncated PNG data");  // no IEND
    std::string flipped = good;
    flipped[45] = static_cast<char>(flipped[45] ^ 0x55);  // inside IDAT: CRC fails
    EXPECT_NE(decode_error(flipped).find("invalid PNG data"), std::string::npos) << decode_error(flipped);
    // Lying IHDR: refused by the limit before the pixels are read.
    EXPECT_NE(decode_error(with_png_size(good, 60000, 60000)).find("exceeds the limit"), std::string::npos);
    // ... also when one row alone would be gigabytes (libpng sizes its row
    // buffers from the header).
    EXPECT_NE(decode_error(with_png_size(png_of(sample_drawing(), PngKind::Rgba8), 2000000000, 1))
                  .find("exceeds the limit"),
              std::string::npos);
    // Consistent but taller than the data: the rows run out.
    EXPECT_EQ(decode_error(with_png_size(good, 61, 600)), "truncated PNG data");
}

TEST(Threshold, OtsuSplitsTwoPeaks) {
    GreyImage g = allocate_grey(100, 1);
    for (int x = 0; x < 100; ++x) g.pixels.data()[x] = static_cast<unsigned char>(x < 30 ? 40 + x % 5 : 200 + x % 7);
    const int t = otsu_threshold(g);
    EXPECT_GT(t, 44);
    EXPECT_LE(t, 200);
    EXPECT_EQ(binarise(g, t).count(), 30u);
}

TEST(Threshold, SingleLevelIsInkOnlyWhenDark) {
    GreyImage g = allocate_grey(9, 2);
    std::memset(g.pixels.data(), 255, 18);
    EXPECT_EQ(binarise(g, otsu_threshold(g)).count(), 0u);
    std::memset(g.pixels.data(), 10, 18);
    EXPECT_EQ(binarise(g, otsu_threshold(g)).count(), 18u);
}

TEST(PngWriter, RoundTripsThroughTheReader) {
    for (int w : {1, 7, 8, 9, 61}) {
        Bitmap b(w, 5);
        for (int y = 0; y < 5; ++y)
            for (int x = 0; x < w; ++x)
                if ((x * 7 + y * 3) % 5 < 2) b.set(x, y);
        const LoadedImage src = decode(pbm_raw(b));
        const Buffer png = encode_png(src.bitmap);
        const LoadedImage back = decode_image(png.data(), png.size(), {});
        expect_same(b, back.bitmap);
        EXPECT_EQ(back.threshold, -1);  // written as 1-bit
    }
}
