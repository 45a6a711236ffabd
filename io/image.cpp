// Reading an image file: the whole file is loaded (a large one is mapped),
// recognised by its signature (never by its name) and handed to the decoder
// of its format.
#include "image.h"

#include <cerrno>
#include <climits>
#include <cstring>
#include <thread>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "error.h"
#include "filter/bands.h"

namespace ktvcli {

// ---- packed bitmap -------------------------------------------------------------

void PackedBitmap::clear_padding() {
    if (width % 8 == 0 || stride == 0) return;
    const unsigned char keep = static_cast<unsigned char>(0xFFu << (8 - width % 8));
    // Written only where a padding bit is set: a raster still in the
    // file's mapping keeps its pages shared with the file.
    for (int y = 0; y < height; ++y) {
        unsigned char &last = row(y)[stride - 1];
        if (last & ~keep) last &= keep;
    }
}

void PackedBitmap::invert() {
    unsigned char *p = bits.data();
    for (std::size_t i = 0, n = stride * static_cast<std::size_t>(height); i < n; ++i)
        p[i] = static_cast<unsigned char>(~p[i]);
    clear_padding();
}

std::size_t PackedBitmap::count() const {
    std::size_t n = 0;
    const unsigned char *p = bits.data();
    for (std::size_t i = 0, e = stride * static_cast<std::size_t>(height); i < e; ++i)
        n += static_cast<std::size_t>(__builtin_popcount(p[i]));
    return n;
}

// ---- dimensions and allocation ------------------------------------------------------

void check_dimensions(std::uint64_t width, std::uint64_t height, const ReadOptions &options,
                      const char *format) {
    const std::string size = std::to_string(width) + "x" + std::to_string(height);
    if (width == 0 || height == 0)
        throw CliError(std::string(format) + " header claims an empty image (" + size + ")");
    if (width > INT_MAX || height > INT_MAX)
        throw CliError(std::string(format) + " header claims " + size +
                       " pixels, beyond the supported size");
    // Both are below 2^31, so the product cannot overflow 64 bits.
    if (width * height > options.max_pixels)
        throw CliError("image of " + size + " pixels exceeds the limit of " +
                       std::to_string(options.max_pixels) + " pixels (see --max-pixels)");
}

static std::string too_large(int width, int height) {
    return "image of " + std::to_string(width) + "x" + std::to_string(height) +
           " pixels is too large for memory";
}

static Buffer allocate(std::size_t bytes, Fill fill) {
    return fill == Fill::kWhite ? Buffer(bytes) : Buffer::uninitialised(bytes);
}

PackedBitmap allocate_bitmap(int width, int height, Fill fill) {
    PackedBitmap b;
    b.width = width;
    b.height = height;
    b.stride = (static_cast<std::size_t>(width) + 7) / 8;
    b.bits = allocate(b.stride * static_cast<std::size_t>(height), fill);
    if (!b.bits.ok()) throw CliError(too_large(width, height));
    return b;
}

GreyImage allocate_grey(int width, int height, Fill fill) {
    GreyImage g;
    g.width = width;
    g.height = height;
    g.pixels = allocate(static_cast<std::size_t>(width) * static_cast<std::size_t>(height), fill);
    if (!g.pixels.ok()) throw CliError(too_large(width, height));
    return g;
}

// ---- files -------------------------------------------------------------------

namespace {

struct Fd {
    int fd;
    ~Fd() { if (fd >= 0) ::close(fd); }
};

// Files of this size and more are mapped, or read on several threads where
// they cannot be.
constexpr off_t kLargeFile = off_t(8) << 20;

std::string errno_text(const char *what) { return std::string(what) + " (" + std::strerror(errno) + ")"; }

constexpr int kMostReadParts = 4;

// Reads bytes 0 .. size - 1 of the file into `to`, in equal parts on
// separate threads; how many bytes from the start are in place (all of
// them, unless a part fell short).  The file position is not used.
std::size_t read_in_parts(int fd, unsigned char *to, std::size_t size) {
    int parts = static_cast<int>(std::thread::hardware_concurrency());
    parts = parts < 1 ? 1 : parts > kMostReadParts ? kMostReadParts : parts;
    std::size_t begin[kMostReadParts + 1], done[kMostReadParts] = {};
    for (int k = 0; k <= parts; ++k) begin[k] = size / static_cast<std::size_t>(parts) * static_cast<std::size_t>(k);
    begin[parts] = size;
    const auto part = [&](int k) {
        for (std::size_t at = begin[k]; at < begin[k + 1];) {
            const ssize_t got = ::pread(fd, to + at, begin[k + 1] - at, static_cast<off_t>(at));
            if (got < 0 && errno == EINTR) continue;
            if (got <= 0) break;
            at += static_cast<std::size_t>(got);
            done[k] = at - begin[k];
        }
    };
    qorfil::run_on_threads(1, parts, part, [&] { part(0); });
    std::size_t whole = 0;
    for (int k = 0; k < parts && done[k] == begin[k + 1] - begin[k]; ++k) whole = begin[k + 1];
    return whole;
}

}  // namespace

Buffer read_file(const std::string &path, bool map) {
    Fd f{::open(path.c_str(), O_RDONLY | O_CLOEXEC)};
    if (f.fd < 0) throw CliError(errno_text("cannot open"));
    struct stat st {};
    if (::fstat(f.fd, &st) != 0) throw CliError(errno_text("cannot read"));
    if (S_ISDIR(st.st_mode)) throw CliError("is a directory, not an image");

    // A large regular file is mapped rather than read: a block of its size
    // would come as fresh pages that the kernel clears before the read
    // copies the file into them (some 15 ms for an A0 sheet's 31 MB, and
    // several times that when the pages come 2 MB at a time), while the
    // mapping is the cached file itself.  Smaller files, and files the
    // system cannot map, are read.
    if (map && S_ISREG(st.st_mode) && st.st_size >= kLargeFile) {
        Buffer mapped = Buffer::map_file(f.fd, static_cast<std::size_t>(st.st_size));
        if (mapped.ok()) return mapped;
    }
    // Regular files are read in one block of their size; pipes and devices
    // grow the block as data arrives.  Only the bytes read are ever looked
    // at, so the block is not cleared first.
    std::size_t capacity = S_ISREG(st.st_mode) ? static_cast<std::size_t>(st.st_size) + 1 : 1 << 16;
    Buffer data = Buffer::uninitialised(capacity);
    if (!data.ok()) throw CliError("file is too large for memory");
    std::size_t used = 0;
    // A large file is read in parts at once, each into its own stretch of
    // the block: the kernel clears the block's fresh pages as they are
    // written, and that work is then shared between the cores.  What the
    // parts leave (a file that shrank meanwhile) the plain reads below find.
    if (S_ISREG(st.st_mode) && st.st_size >= kLargeFile) {
        used = read_in_parts(f.fd, data.data(), capacity - 1);
        if (::lseek(f.fd, static_cast<off_t>(used), SEEK_SET) < 0) used = 0;
    }
    for (;;) {
        if (used == data.size() && !data.extend(data.size() * 2))
            throw CliError("file is too large for memory");
        ssize_t got = ::read(f.fd, data.data() + used, data.size() - used);
        if (got < 0) {
            if (errno == EINTR) continue;
            throw CliError(errno_text("cannot read"));
        }
        if (got == 0) break;
        used += static_cast<std::size_t>(got);
    }
    data.extend(used);
    return data;
}

// ---- format recognition -----------------------------------------------------------

namespace {

bool starts_with(const unsigned char *data, std::size_t size, const char *magic, std::size_t n) {
    return size >= n && std::memcmp(data, magic, n) == 0;
}

// Formats we recognise but do not read, so the message can say what the file is.
const char *known_unsupported(const unsigned char *d, std::size_t n) {
    if (starts_with(d, n, "II*\0", 4) || starts_with(d, n, "MM\0*", 4)) return "TIFF";
    if (starts_with(d, n, "\xFF\xD8\xFF", 3)) return "JPEG";
    if (starts_with(d, n, "GIF8", 4)) return "GIF";
    if (starts_with(d, n, "BM", 2)) return "BMP";
    if (starts_with(d, n, "%PDF", 4)) return "PDF";
    if (starts_with(d, n, "P2", 2) || starts_with(d, n, "P5", 2)) return "PGM";
    if (starts_with(d, n, "P3", 2) || starts_with(d, n, "P6", 2)) return "PPM";
    if (starts_with(d, n, "P7", 2)) return "PAM";
    if (starts_with(d, n, "RIFF", 4)) return "WebP";
    if (starts_with(d, n, "<svg", 4) || starts_with(d, n, "<?xml", 5)) return "SVG/XML";
    return nullptr;
}

}  // namespace

// `file`, when given, holds data and may be taken over by the decoder.
static LoadedImage decode_by_signature(const unsigned char *data, std::size_t size,
                                       const ReadOptions &options, Buffer *file) {
    if (size == 0) throw CliError("empty file");
    if (starts_with(data, size, "\x89PNG\r\n\x1A\n", 8)) return decode_png(data, size, options);
    if (starts_with(data, size, "P1", 2) || starts_with(data, size, "P4", 2))
        return decode_pbm(data, size, options, file);
    if (tiff_signature(data, size)) return decode_tiff(data, size, options);
    if (starts_with(data, size, "\x89PNG", 4)) throw CliError("damaged PNG signature");
    if (const char *name = known_unsupported(data, size))
        throw CliError(std::string("unsupported image format ") + name + " (use " + readable_formats() + ")");
    throw CliError(std::string("not an image this program reads (expected ") + readable_formats() + ")");
}

const char *readable_formats() {
#ifdef KTVEC_HAVE_TIFF
    return "PBM, PNG or TIFF";
#else
    return "PBM or PNG";
#endif
}

static LoadedImage decode_owned(const unsigned char *data, std::size_t size, const ReadOptions &options,
                                Buffer *file) {
    LoadedImage image = decode_by_signature(data, size, options, file);
    if (options.page > 1 && std::strcmp(image.format, "TIFF") != 0)  // single-page formats
        throw CliError("page " + std::to_string(options.page) + " asked for, the file has 1 page");
    apply_read_options(image, options);
    return image;
}

LoadedImage decode_image(const unsigned char *data, std::size_t size, const ReadOptions &options) {
    return decode_owned(data, size, options, nullptr);
}

void apply_read_options(LoadedImage &image, const ReadOptions &options) {
    if (options.invert) image.bitmap.invert();
    if (options.dpi > 0) image.dpi_x = image.dpi_y = options.dpi;
}

LoadedImage read_image(const std::string &path, const ReadOptions &options) {
    // A raster that will be changed all over is read: each page of a
    // mapping that is written is copied on its own, which costs more than
    // reading the whole file.
    Buffer file = read_file(path, !options.invert && !options.edited);
    return decode_owned(file.data(), file.size(), options, &file);
}

}  // namespace ktvcli
