// PBM input, plain (P1) and raw (P4).  Header fields are separated by
// whitespace and may be interleaved with '#' comments running to the end of
// the line.  P4 rows are already the vectorizer's layout (1 = black, MSB
// first, ceil(width / 8) bytes per row); only the padding bits are cleared,
// and a raster read from a whole file stays in the file's block.
#include <algorithm>
#include <cstdint>
#include <string>

#include "error.h"
#include "image.h"

namespace ktvcli {

namespace {

bool is_space(unsigned char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f'; }

class PbmScanner {
public:
    PbmScanner(const unsigned char *data, std::size_t size) : p_(data), end_(data + size) {}

    // Skips whitespace and comments.
    void skip_blank() {
        while (p_ < end_) {
            if (is_space(*p_)) {
                ++p_;
            } else if (*p_ == '#') {
                while (p_ < end_ && *p_ != '\n' && *p_ != '\r') ++p_;
            } else {
                break;
            }
        }
    }

    // A decimal header field; the value is capped so a lying header cannot
    // overflow (the dimension check refuses it afterwards).
    std::uint64_t number(const char *what) {
        skip_blank();
        if (p_ == end_) throw CliError(std::string("truncated PBM header (no ") + what + ")");
        if (*p_ < '0' || *p_ > '9')
            throw CliError(std::string("malformed PBM header (") + what + " is not a number)");
        std::uint64_t v = 0;
        while (p_ < end_ && *p_ >= '0' && *p_ <= '9') {
            v = v * 10 + static_cast<std::uint64_t>(*p_ - '0');
            if (v > (std::uint64_t{1} << 40)) v = std::uint64_t{1} << 40;
            ++p_;
        }
        if (p_ < end_ && !is_space(*p_) && *p_ != '#')
            throw CliError(std::string("malformed PBM header (") + what + " is not a number)");
        return v;
    }

    // The raw raster starts after exactly one whitespace byte following the
    // height; a comment may stand between the height and that byte.
    void end_raw_header() {
        while (p_ < end_ && *p_ == '#')
            while (p_ < end_ && *p_ != '\n' && *p_ != '\r') ++p_;
        if (p_ == end_) throw CliError("truncated PBM data");
        if (!is_space(*p_)) throw CliError("malformed PBM header");
        ++p_;
    }

    const unsigned char *pos() const { return p_; }
    const unsigned char *end() const { return end_; }
    void advance(std::size_t n) { p_ += n; }
    bool at_end() const { return p_ == end_; }
    unsigned char peek() const { return *p_; }

private:
    const unsigned char *p_, *end_;
};

void read_plain_raster(PbmScanner &in, PackedBitmap &b) {
    // Each pixel is one '0' or '1'; digits may be run together or separated
    // by whitespace and comments.
    for (int y = 0; y < b.height; ++y) {
        unsigned char *row = b.row(y);
        for (int x = 0; x < b.width; ++x) {
            in.skip_blank();
            if (in.at_end()) throw CliError("truncated PBM data");
            unsigned char c = in.peek();
            if (c != '0' && c != '1')
                throw CliError("malformed PBM data (pixels must be 0 or 1)");
            if (c == '1') row[x >> 3] |= static_cast<unsigned char>(0x80u >> (x & 7));
            in.advance(1);
        }
    }
}

// The raw raster, checked to be complete by the caller, copied into a new
// bitmap or, when `file` holds the data, kept where it lies.
PackedBitmap read_raw_raster(const PbmScanner &in, const unsigned char *data, int width, int height,
                             Buffer *file) {
    PackedBitmap b;
    if (file) {
        b.width = width;
        b.height = height;
        b.stride = (static_cast<std::size_t>(width) + 7) / 8;
        const std::size_t offset = static_cast<std::size_t>(in.pos() - data);
        b.bits = std::move(*file).window(offset, b.stride * static_cast<std::size_t>(height));
    } else {
        b = allocate_bitmap(width, height, Fill::kUnset);
        std::copy(in.pos(), in.pos() + b.bits.size(), b.bits.data());
    }
    b.clear_padding();
    return b;
}

}  // namespace

LoadedImage decode_pbm(const unsigned char *data, std::size_t size, const ReadOptions &options,
                       Buffer *file) {
    const bool raw = data[1] == '4';
    PbmScanner in(data + 2, size - 2);
    if (!in.at_end() && !is_space(in.peek()) && in.peek() != '#')
        throw CliError("malformed PBM header");
    const std::uint64_t width = in.number("width");
    const std::uint64_t height = in.number("height");
    check_dimensions(width, height, options, "PBM");
    if (raw) in.end_raw_header();
    // A header that promises more pixels than the file can hold is refused
    // before the bitmap is allocated (a plain pixel takes at least one byte).
    const std::uint64_t stride = (width + 7) / 8;
    if (static_cast<std::uint64_t>(in.end() - in.pos()) < (raw ? stride * height : width * height))
        throw CliError("truncated PBM data");
    LoadedImage image;
    image.format = "PBM";
    if (raw) {
        image.bitmap = read_raw_raster(in, data, static_cast<int>(width), static_cast<int>(height),
                                       file && file->data() == data ? file : nullptr);
    } else {
        image.bitmap = allocate_bitmap(static_cast<int>(width), static_cast<int>(height));
        read_plain_raster(in, image.bitmap);
    }
    return image;
}

}  // namespace ktvcli
