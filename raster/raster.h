// Small helpers shared by the raster-analysis stages.
#ifndef KTVEC_RASTER_H
#define KTVEC_RASTER_H

#include <cstddef>

#include "ktvec.h"

namespace ktv {

// Bytes of a raster of `height` rows of `bytesperline` bytes, in 64-bit
// arithmetic; negative dimensions count as 0.
inline std::size_t raster_bytes(int height, int bytesperline) {
    if (height <= 0 || bytesperline <= 0) return 0;
    return static_cast<std::size_t>(height) * static_cast<std::size_t>(bytesperline);
}

// Bytes of a row that hold image pixels: ceil(width / 8), never more than
// the row stride (a stride shorter than the image is a host error; reading
// stays inside the rows).
inline int used_bytes(int width, int bytesperline) {
    if (width <= 0 || bytesperline <= 0) return 0;
    int used = width / 8 + (width % 8 != 0 ? 1 : 0);
    return used < bytesperline ? used : bytesperline;
}

// Writes one point record per set pixel of rows y0 .. y1 - 1 of the raster
// (of `height` rows, which give the neighbourhoods) from `points` on, like
// MORABASE_setkind, and with `rows` (height records, zero-filled, or null)
// also each of those rows' slice of them, like CKTVector::msetlinepoint:
// one pass over the records instead of two.  Separate row ranges write
// separate records, so bands of rows can be classified at once.
void classify_rows(const unsigned char *raster, int width, int bytesperline, int height, int y0, int y1,
                   _KTPOINT *points, KTLINEINFO *rows);

// Set pixels in the used bytes of rows y0 .. y1 - 1.
long long count_rows(const unsigned char *raster, int used, int bytesperline, int y0, int y1);

}  // namespace ktv

#endif
