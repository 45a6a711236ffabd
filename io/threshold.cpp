// Binarisation of grey images.  The automatic threshold is Otsu's: the cut
// of the 256-bin histogram that maximises the variance between the dark and
// the light class.  Ink on paper gives two well separated peaks, so the cut
// falls between them whatever the scan's exposure.
#include <cstdint>

#include "image.h"

namespace ktvcli {

int otsu_threshold(const GreyView &grey) {
    std::uint64_t histogram[256] = {};
    for (int y = 0; y < grey.height; ++y)
        for (int x = 0; x < grey.width; ++x) ++histogram[grey.at(x, y)];
    const std::size_t n = static_cast<std::size_t>(grey.width) * static_cast<std::size_t>(grey.height);

    double total = 0;
    for (int v = 0; v < 256; ++v) total += static_cast<double>(v) * static_cast<double>(histogram[v]);

    // Class "dark" holds the values below t.  Between-class variance, up to
    // the constant factor 1/n^2: w0 * w1 * (mean0 - mean1)^2.  The first
    // maximum wins, so the result is deterministic.
    double best = 0;
    int threshold = -1;
    double w0 = 0, sum0 = 0;
    for (int t = 1; t < 256; ++t) {
        w0 += static_cast<double>(histogram[t - 1]);
        sum0 += static_cast<double>(t - 1) * static_cast<double>(histogram[t - 1]);
        const double w1 = static_cast<double>(n) - w0;
        if (w0 == 0 || w1 == 0) continue;
        const double d = sum0 / w0 - (total - sum0) / w1;
        const double between = w0 * w1 * d * d;
        if (between > best) {
            best = between;
            threshold = t;
        }
    }
    // A single grey level has no cut: it is ink when it is darker than mid-grey.
    return threshold >= 0 ? threshold : 128;
}

namespace {

// Sets the bit of every pixel that `black` says is ink.  Each byte is
// gathered whole and stored once, padding bits 0, so the bitmap is not
// cleared first.
template <class Black> PackedBitmap pack(const GreyView &grey, Black black) {
    PackedBitmap b = allocate_bitmap(grey.width, grey.height, Fill::kUnset);
    for (int y = 0; y < grey.height; ++y) {
        const unsigned char *src = grey.data + y * grey.row_step;
        unsigned char *dst = b.row(y);
        unsigned byte = 0;
        for (int x = 0; x < grey.width; ++x) {
            if (black(src[x * grey.pixel_step])) byte |= 0x80u >> (x & 7);
            if ((x & 7) == 7) {
                dst[x >> 3] = static_cast<unsigned char>(byte);
                byte = 0;
            }
        }
        if (grey.width & 7) dst[grey.width >> 3] = static_cast<unsigned char>(byte);
    }
    return b;
}

}  // namespace

PackedBitmap binarise(const GreyView &grey, int threshold) {
    return pack(grey, [threshold](unsigned char v) { return v < threshold; });
}

PackedBitmap pack_mask(const GreyView &mask) {
    return pack(mask, [](unsigned char v) { return v != 0; });
}

void binarise_into(const GreyView &grey, const ReadOptions &options, LoadedImage &image) {
    image.threshold = options.threshold >= 0 ? options.threshold : otsu_threshold(grey);
    image.bitmap = binarise(grey, image.threshold);
}

}  // namespace ktvcli
