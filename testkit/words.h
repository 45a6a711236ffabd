// 64-pixel words over a packed 1-bit raster.  A word holds 64 consecutive
// pixels of a row with the leftmost in bit 63 (the big-endian reading of the
// row's bytes), so the west neighbour of a pixel sits one bit higher and the
// east neighbour one bit lower; pixels beyond the row's width are 0.
#ifndef KTVEC_TESTKIT_WORDS_H
#define KTVEC_TESTKIT_WORDS_H

#include <cstdint>

namespace ktvdraw {

using Word = std::uint64_t;

inline int words_per_row(int width) { return (width + 63) / 64; }

// Mask of the pixels of the last word of a row that lie inside `width`.
inline Word tail_mask(int width) { return (width % 64) ? ~Word(0) << (64 - width % 64) : ~Word(0); }

// Word i of `row` seen from each pixel's west / east neighbour.
inline Word west(const Word *row, int i) { return (row[i] >> 1) | (i > 0 ? row[i - 1] << 63 : 0); }
inline Word east(const Word *row, int i, int n) {
    return (row[i] << 1) | (i + 1 < n ? row[i + 1] >> 63 : 0);
}

// One packed row (ceil(width / 8) bytes used) into n words, and back.
inline void load_row(const unsigned char *src, int width, Word *dst) {
    int used = (width + 7) / 8, n = words_per_row(width);
    for (int i = 0; i < n; ++i) dst[i] = 0;
    for (int b = 0; b < used; ++b) dst[b >> 3] |= Word(src[b]) << (56 - 8 * (b & 7));
    if (n) dst[n - 1] &= tail_mask(width);
}
inline void store_row(const Word *src, int width, unsigned char *dst) {
    int used = (width + 7) / 8;
    for (int b = 0; b < used; ++b) dst[b] = (unsigned char)(src[b >> 3] >> (56 - 8 * (b & 7)));
}

}  // namespace ktvdraw

#endif
