// The program against hostile input: every damaged, lying or unreadable
// file, bad output place and out-of-range option ends in one line on
// stderr, a non-zero exit (not a signal), nothing on stdout and no output
// file, with the program's address space bounded so that a header that
// talks it into a huge allocation shows up as a failure here.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <zlib.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstdint>
#include <string>
#include <vector>

#include "tool_support.h"

#if defined(__SANITIZE_ADDRESS__)
#define KTVEC_HOSTILE_UNDER_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define KTVEC_HOSTILE_UNDER_ASAN 1
#endif
#endif

namespace {

// Limits the address space of the programs started while it lives (they
// inherit it).  The sanitizer's shadow memory needs terabytes of address
// space, so sanitizer builds run without the limit.
class AddressSpaceLimit {
public:
    explicit AddressSpaceLimit(std::uint64_t bytes) {
#ifndef KTVEC_HOSTILE_UNDER_ASAN
        active_ = getrlimit(RLIMIT_AS, &saved_) == 0;
        rlimit lower = saved_;
        lower.rlim_cur = std::min<rlim_t>(saved_.rlim_max, bytes);
        active_ = active_ && setrlimit(RLIMIT_AS, &lower) == 0;
#else
        (void)bytes;
#endif
    }
    ~AddressSpaceLimit() {
        if (active_) setrlimit(RLIMIT_AS, &saved_);
    }
    AddressSpaceLimit(const AddressSpaceLimit &) = delete;
    AddressSpaceLimit &operator=(const AddressSpaceLimit &) = delete;

private:
    rlimit saved_{};
    bool active_ = false;
};

// 768 MiB: far above what the sample drawings need, far below what the
// lying headers below would make a careless reader allocate.
constexpr std::uint64_t kLimit = 768ull << 20;

struct Hostile {
    std::string name;   // file name of the input
    std::string bytes;  // its contents
};

std::string be32(std::uint32_t v) {
    return {static_cast<char>(v >> 24), static_cast<char>(v >> 16), static_cast<char>(v >> 8),
            static_cast<char>(v)};
}

// A PNG signature and IHDR chunk with a correct CRC (so that the reader
// judges the fields themselves), then `rest`.
std::string png_header(std::uint32_t width, std::uint32_t height, int depth, int colour,
                       const std::string &rest) {
    std::string chunk = "IHDR" + be32(width) + be32(height);
    chunk += static_cast<char>(depth);
    chunk += static_cast<char>(colour);
    chunk += std::string(3, '\0');
    const uLong crc = crc32(0, reinterpret_cast<const Bytef *>(chunk.data()), static_cast<uInt>(chunk.size()));
    return "\x89PNG\r\n\x1a\n" + be32(13) + chunk + be32(static_cast<std::uint32_t>(crc)) + rest;
}

const std::string kIend = be32(0) + "IEND" + be32(0xae426082);

std::string le16(unsigned v) { return {static_cast<char>(v), static_cast<char>(v >> 8)}; }
std::string le32(std::uint32_t v) { return le16(v & 0xffff) + le16(v >> 16); }

// A little-endian TIFF of one strip: the header, one directory of the usual
// tags with the values given, then `data` (where the strip offset may or
// may not point).
std::string tiff(std::uint32_t width, std::uint32_t height, unsigned bits, std::uint32_t offset,
                 std::uint32_t count, const std::string &data) {
    const struct { unsigned tag, type; std::uint32_t value; } tags[] = {
        {256, 4, width}, {257, 4, height}, {258, 3, bits}, {259, 3, 1}, {262, 3, 0},
        {273, 4, offset}, {277, 3, 1}, {278, 4, height}, {279, 4, count}};
    std::string s = std::string("II*\0", 4) + le32(8) + le16(9);
    for (const auto &t : tags) s += le16(t.tag) + le16(t.type) + le32(1) + le32(t.value);
    return s + le32(0) + data;
}

// Cuts of a valid file at a spread of lengths, each a truncated file.
void add_truncations(std::vector<Hostile> &out, const std::string &name, const std::string &whole) {
    const size_t n = whole.size();
    std::vector<size_t> cuts = {1, 2, 3, 5, 8, 12, 16, 24, 33, 40, 50};
    for (size_t k = 1; k < 8; ++k) cuts.push_back(n * k / 8);
    cuts.push_back(n - 1);
    std::sort(cuts.begin(), cuts.end());
    cuts.erase(std::unique(cuts.begin(), cuts.end()), cuts.end());
    for (size_t c : cuts) {
        // A plain file that loses only trailing white space is still whole.
        const bool whole_anyway = whole.find_first_not_of(" \n", c) == std::string::npos;
        if (c > 0 && c < n && !whole_anyway) out.push_back({name + "-cut" + std::to_string(c), whole.substr(0, c)});
    }
}

std::vector<Hostile> hostile_files() {
    const Bitmap drawing = sample_drawing();
    std::vector<Hostile> files = {
        {"empty.pbm", ""},
        {"nul.pbm", std::string(64, '\0')},
        {"text.png", "this is not an image\n"},
        {"gif.pbm", "GIF89a\x01\x00\x01\x00"},
        {"bmp.png", "BM\x36\x00\x00\x00"},
        {"pgm.pbm", "P5\n4 4\n255\n0123456789abcdef"},
        {"p7.pbm", "P7\nWIDTH 4\n"},
        {"almost-png.png", "\x89PNX\r\n\x1a\n"},
        {"tiff-stub.tif", std::string("II*\0\x08\0\0\0", 8)},
        {"tiff-stub-mm.tif", std::string("MM\0*\0\0\0\x08\xff\xff", 10)},
        // Lying TIFF directories (the strip of a 16x2 image starts at 122).
        {"tiff-huge.tif", tiff(100000, 100000, 1, 122, 4, "\xff\xff\xff\xff")},
        {"tiff-zero.tif", tiff(0, 5, 1, 122, 4, "\xff\xff\xff\xff")},
        {"tiff-2to31.tif", tiff(0x80000000u, 1, 1, 122, 4, "\xff\xff\xff\xff")},
        {"tiff-strip-past-end.tif", tiff(16, 2, 1, 0x7ffffff0u, 4, "\xff\xff\xff\xff")},
        {"tiff-strip-too-short.tif", tiff(16, 2, 1, 122, 1, "\xff")},
        // A byte count that wraps past the offset, over a strip too short
        // for the 64 rows (an overlong count over enough bytes is harmless).
        {"tiff-count-wraps.tif", tiff(64, 64, 1, 122, 0xfffffff0u, "\xff\xff\xff\xff")},
        {"tiff-bad-depth.tif", tiff(16, 2, 3, 122, 4, "\xff\xff\xff\xff")},
        {"tiff-directory-loop.tif", std::string("II*\0", 4) + le32(8) + le16(0) + le32(8)},
        // Lying PBM headers.
        {"zero-width.pbm", "P4\n0 10\n"},
        {"zero-height.pbm", "P4\n10 0\n"},
        {"negative.pbm", "P4\n-5 10\n\xff\xff"},
        {"int-overflow.pbm", "P4\n2147483648 1\n\xff"},
        {"long-number.pbm", "P4\n99999999999999999999999999 3\n"},
        {"gigapixels.pbm", "P4\n65536 65536\n\xff\xff\xff"},
        {"under-limit-short.pbm", "P4\n31622 31622\n\xff\xff\xff"},
        {"plain-short.pbm", "P1\n1000 1000\n0 1 0 1"},
        {"plain-bad-digit.pbm", "P1\n3 1\n0 2 0\n"},
        {"no-size.pbm", "P4\n"},
        {"comment-forever.pbm", "P4\n#" + std::string(4096, 'c')},
        // Lying PNG headers.
        {"png-zero.png", png_header(0, 10, 8, 0, "")},
        {"png-huge.png", png_header(0x7fffffff, 0x7fffffff, 8, 0, "")},
        {"png-2to31.png", png_header(0x80000000u, 1, 1, 0, "")},
        {"png-gigapixels.png", png_header(65536, 65536, 1, 0, "")},
        {"png-under-limit.png", png_header(31622, 31622, 8, 0, kIend)},
        {"png-rgba16-big.png", png_header(20000, 20000, 16, 6, "")},
        {"png-bad-depth.png", png_header(8, 8, 3, 0, "")},
        {"png-bad-colour.png", png_header(8, 8, 8, 5, "")},
        {"png-no-idat.png", png_header(8, 8, 8, 0, kIend)},
        {"png-bad-crc.png", [] {
             std::string p = png_header(8, 8, 8, 0, kIend);
             p[29] = static_cast<char>(p[29] ^ 1);
             return p;
         }()},
        // A header within the pixel limit whose grey image (a gigabyte)
        // does not fit the address space: refused as too large for memory.
        {"png-under-limit-idat.png", png_header(31622, 31622, 8, 0, be32(2) + "IDAT" + "xx" + be32(0) + kIend)},
    };
    // Inputs the reader fuzzer found, kept with its other findings.
    const char *root = std::getenv("KTVEC_SOURCE_DIR");
    for (const char *found : {"tiff-multiline-message.tif"})
        files.push_back({found, read_bytes(std::string(root ? root : ".") + "/tests/fuzz/regressions/" + found)});
    add_truncations(files, "raw.pbm", pbm_raw(drawing));
    add_truncations(files, "plain.pbm", pbm_plain(drawing));
    add_truncations(files, "grey.png", png_of(drawing, PngKind::Grey8));
    add_truncations(files, "interlaced.png", png_of(drawing, PngKind::Rgba8, true));
    add_truncations(files, "strip.tif", tiff(16, 2, 1, 122, 4, "\x0f\xf0\xaa\x55"));
    // A valid PNG with one byte of its compressed data flipped.
    std::string flipped = png_of(drawing, PngKind::Grey8);
    flipped[flipped.size() / 2] = static_cast<char>(flipped[flipped.size() / 2] ^ 0x5a);
    files.push_back({"flipped.png", flipped});
    return files;
}

// One line, the program's prefix, nothing on stdout, no signal.
void expect_clean_refusal(const RunResult &r, const std::string &what) {
    EXPECT_TRUE(r.status == 1 || r.status == 2) << what << ": status " << r.status << "\n" << r.err;
    EXPECT_EQ(r.err.rfind("ktvec: ", 0), 0u) << what << ": " << r.err;
    EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << what << ": " << r.err;
    EXPECT_TRUE(r.out.empty()) << what;
}

}  // namespace

TEST(Hostile, DamagedAndLyingFilesAreRefusedInOneLine) {
    const std::vector<Hostile> files = hostile_files();
    TempDir dir;
    AddressSpaceLimit limit(kLimit);
    int tried = 0;
    for (const Hostile &f : files) {
        write_bytes(dir / f.name, f.bytes);
        const char *command = tried % 2 ? "centerline" : "outline-fast";
        const RunResult r = run_ktvec({command, dir / f.name, "-o", dir / "out.svg", "-o", dir / "out.json"});
        expect_clean_refusal(r, f.name);
        ++tried;
        std::vector<std::string> names = dir.names();
        EXPECT_EQ(std::count(names.begin(), names.end(), "out.svg") +
                      std::count(names.begin(), names.end(), "out.json"),
                  0)
            << f.name << " left an output file";
        std::remove((dir / f.name).c_str());
        std::remove((dir / "out.svg").c_str());  // so that one leak is reported once
        std::remove((dir / "out.json").c_str());
    }
    std::printf("[ hostile  ] %zu files, %d runs\n", files.size(), tried);
    EXPECT_GT(files.size(), 60u);
}

TEST(Hostile, DamagedFilesOnStandardInput) {
    TempDir dir;
    AddressSpaceLimit limit(kLimit);
    const std::vector<Hostile> files = hostile_files();
    for (size_t i = 0; i < files.size(); i += 3) {  // a third of them: the reader is the same
        const Hostile &f = files[i];
        if (f.bytes.empty()) continue;  // an empty standard input is its own case below
        write_bytes(dir / "in", f.bytes);
        expect_clean_refusal(run_ktvec({"outline-fast", "-", "-o", dir / "out.svg"}, dir / "in"), f.name);
    }
    write_bytes(dir / "in", "");
    expect_clean_refusal(run_ktvec({"outline-fast", "-", "-o", dir / "out.svg"}, dir / "in"), "empty stdin");
    EXPECT_EQ(dir.names(), std::vector<std::string>{"in"});
}

TEST(Hostile, UnreadableInputsAndUnwritableOutputs) {
    TempDir dir;
    write_bytes(dir / "d.pbm", pbm_raw(sample_drawing()));
    write_bytes(dir / "file", "x");
    const struct {
        std::vector<std::string> args;
        const char *what;
    } cases[] = {
        {{"outline-fast", dir / "missing.pbm", "-o", dir / "o.svg"}, "missing input"},
        {{"outline-fast", dir / "file/inside.pbm", "-o", dir / "o.svg"}, "input below a file"},
        {{"outline-fast", dir.path(), "-o", dir / "o.svg"}, "input is a folder"},
        {{"outline-fast", "", "-o", dir / "o.svg"}, "empty input name"},
        {{"outline-fast", dir / "d.pbm", "-o", dir / "missing/o.svg"}, "output in a missing folder"},
        {{"outline-fast", dir / "d.pbm", "-o", dir / "file/o.svg"}, "output below a file"},
        {{"outline-fast", dir / "d.pbm", "-o", dir / "o.svg", "-o", dir / "missing/o.json"},
         "second output in a missing folder"},
    };
    for (const auto &c : cases) expect_clean_refusal(run_ktvec(c.args), c.what);
    std::vector<std::string> expected = {"d.pbm", "file"};
    EXPECT_EQ(dir.names(), expected);
}

TEST(Hostile, OptionsOutOfRange) {
    TempDir dir;
    write_bytes(dir / "d.pbm", pbm_raw(sample_drawing()));
    const std::vector<std::vector<std::string>> bad = {
        {"--max-pixels", "0"},
        {"--max-pixels", "-1"},
        {"--max-pixels", "1e400"},
        {"--max-pixels", "18446744073709551616"},
        {"--max-pixels", "lots"},
        {"--max-pixels", ""},
        {"--threshold", "256"},
        {"--threshold", "-2"},
        {"--tolerance", "nan"},
        {"--tolerance", "inf"},
        {"--tolerance", "-inf"},
        {"--tolerance", "1e309"},
        {"--tolerance", "0x"},
        {"--maxlength", "99999999999"},
        {"--maxlength", "-99999999999"},
        {"--dpi", "0"},
        {"--page", "0"},
        {"--format", ""},
    };
    for (const char *command : {"outline-fast", "outline", "centerline"})
        for (const std::vector<std::string> &option : bad) {
            std::vector<std::string> args = {command, dir / "d.pbm", "-o", dir / "o.svg"};
            args.insert(args.end(), option.begin(), option.end());
            const RunResult r = run_ktvec(args);
            expect_clean_refusal(r, std::string(command) + " " + option[0] + " '" + option[1] + "'");
            EXPECT_EQ(r.status, 2) << command << " " << option[0] << " " << option[1];
        }
    // A misspelt unit is refused whatever the outputs are.
    for (const char *out : {"o.dxf", "o.svg"}) {
        const RunResult r = run_ktvec({"outline-fast", dir / "d.pbm", "-o", dir / out, "--units", "furlong"});
        expect_clean_refusal(r, std::string("--units furlong, ") + out);
        EXPECT_EQ(r.status, 2) << out;
    }
    EXPECT_EQ(dir.names(), std::vector<std::string>{"d.pbm"});
}

TEST(Hostile, PixelLimitRefusesBeforeAllocating) {
    // A header that claims more pixels than the limit is refused before
    // anything is read past it, also when the limit is lowered to a few
    // pixels, and a file within a raised limit still decodes.
    TempDir dir;
    AddressSpaceLimit limit(kLimit);
    write_bytes(dir / "huge.pbm", "P4\n100000 100000\n");
    RunResult r = run_ktvec({"outline-fast", dir / "huge.pbm", "-o", dir / "o.svg"});
    expect_clean_refusal(r, "ten gigapixels");
    EXPECT_NE(r.err.find("exceeds the limit of 1000000000 pixels"), std::string::npos) << r.err;

    write_bytes(dir / "d.pbm", pbm_raw(sample_drawing()));
    r = run_ktvec({"outline-fast", dir / "d.pbm", "-o", dir / "o.svg", "--max-pixels", "1"});
    expect_clean_refusal(r, "one-pixel limit");
    r = run_ktvec({"outline-fast", dir / "d.pbm", "-o", dir / "o.svg", "--max-pixels", "4000000000000000000"});
    EXPECT_EQ(r.status, 0) << r.err;
}
