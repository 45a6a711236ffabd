// PNG in the browser: the page decodes PNG files with the browser's own
// decoder and hands their pixels to kw_begin_grey / kw_grey_rows, and SVG
// exports carry no embedded image, so libpng is not part of this build.
// These take the place of the program's libpng reader and writer.
#include "error.h"
#include "image.h"

namespace ktvcli {

LoadedImage decode_png(const unsigned char *, std::size_t, const ReadOptions &) {
    throw CliError("PNG files are decoded by the browser here");
}

Buffer encode_png(const PackedBitmap &) {
    throw CliError("the page does not embed the scan in its SVG");
}

}  // namespace ktvcli
