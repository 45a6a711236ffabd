// 64-pixel words over packed 1-bit rows, the one set of helpers that the
// filters, the pre-cleaning and the test kit's drawings all work with.
//
// A packed row holds 1 bit per pixel, 1 = black, the most significant bit of
// each byte the leftmost pixel, ceil(width / 8) bytes used.  Word k of a row
// covers pixels 64k .. 64k+63 with the leftmost in bit 63, which is the
// big-endian reading of the row's bytes: the pixel to the right of bit i is
// bit i-1, so a shift by one moves every pixel onto its neighbour.  Pixels
// beyond the row's width read as 0 (white) in every word these helpers make.
#ifndef KTVEC_WORDS_H
#define KTVEC_WORDS_H

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace ktv {

using Word = std::uint64_t;

// Words per row, and the bytes of a row that hold pixels (ceil(width / 8));
// both 0 for an empty row.
inline int words_for(int width) { return width > 0 ? static_cast<int>((static_cast<long long>(width) + 63) / 64) : 0; }
inline int used_bytes(int width) { return width > 0 ? static_cast<int>((static_cast<long long>(width) + 7) / 8) : 0; }

// The pixels of a row's last word that lie inside `width`.
inline Word last_word_mask(int width) {
    const int tail = width & 63;
    return tail ? ~Word(0) << (64 - tail) : ~Word(0);
}

// n (1..8) bytes read as the high bytes of a word, the first byte in bits
// 63..56; and the reverse.  Fewer than 8 bytes never touch memory past them.
inline Word load_be(const unsigned char *p, int n) {
    Word v = 0;
    if (n >= 8) {
        std::memcpy(&v, p, 8);  // one load on the common path
        return __builtin_bswap64(v);
    }
    std::memcpy(&v, p, static_cast<std::size_t>(n));  // bytes land little-endian in the low end
    return __builtin_bswap64(v);                       // first byte -> bits 63..56
}
inline void store_be(unsigned char *p, int n, Word w) {
    const Word v = __builtin_bswap64(w);
    std::memcpy(p, &v, static_cast<std::size_t>(n >= 8 ? 8 : n));
}

// At each bit of word c, the pixel to its right / left, with the carry from
// the word r to the right / l to the left (0 at the ends of a row).
inline Word from_right(Word c, Word r) { return (c << 1) | (r >> 63); }
inline Word from_left(Word l, Word c) { return (c >> 1) | (l << 63); }

// The same over a row of n words: word i as seen from each pixel's west /
// east neighbour, white beyond the row.
inline Word west(const Word *row, int i) { return from_left(i > 0 ? row[i - 1] : 0, row[i]); }
inline Word east(const Word *row, int i, int n) { return from_right(row[i], i + 1 < n ? row[i + 1] : 0); }

// A packed row into words_for(width) words, pixels past the width 0.
inline void load_row(const unsigned char *src, int width, Word *dst) {
    const int n = words_for(width), used = used_bytes(width);
    for (int k = 0; k < n; ++k) dst[k] = load_be(src + 8 * static_cast<std::size_t>(k), used - 8 * k);
    if (n) dst[n - 1] &= last_word_mask(width);
}

// Words back into a packed row: the pixels x < width are written, the
// padding bits after them in the last byte keep what they were.
inline void store_row(const Word *src, int width, unsigned char *dst) {
    const int used = used_bytes(width);
    if (!used) return;
    for (int b = 0; b + 1 < used; ++b) dst[b] = static_cast<unsigned char>(src[b >> 3] >> (56 - 8 * (b & 7)));
    const int last = used - 1;
    const unsigned keep = (width % 8) ? 0xFFu >> (width % 8) : 0u;
    const unsigned value = static_cast<unsigned char>(src[last >> 3] >> (56 - 8 * (last & 7)));
    dst[last] = static_cast<unsigned char>((dst[last] & keep) | (value & ~keep));
}

// Calls f(x0, x1) for every run of 1 bits of a row of n words, left to right.
// Words with no run in them cost one test each.
template <class F> void for_each_run(const Word *w, int n, F f) {
    int start = -1;
    for (int i = 0; i < n; ++i) {
        for (int pos = 0; pos < 64;) {
            const Word ahead = ~Word(0) >> pos;
            const Word next = start < 0 ? w[i] & ahead : ~w[i] & ahead;
            if (!next) break;
            pos = __builtin_clzll(next);
            if (start < 0) {
                start = 64 * i + pos;
            } else {
                f(start, 64 * i + pos - 1);
                start = -1;
            }
        }
    }
    if (start >= 0) f(start, 64 * n - 1);
}

}  // namespace ktv

#endif
