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

// Writes one point record per set pixel of the raster, like
// MORABASE_setkind, and with `rows` (height records, zero-filled, or null)
// also each row's slice of them, like CKTVector::msetlinepoint: one pass
// over the records instead of two.
void classify_rows(const unsigned char *raster, int width, int bytesperline, int height, _KTPOINT *points,
                   KTLINEINFO *rows);

}  // namespace ktv

#endif
