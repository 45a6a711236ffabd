// Pixel classification: one point record per set pixel of a 1-bit raster,
// with its 3x3 neighbourhood code and connectivity class.
//
// Codes are built a byte at a time: for each of the three rows the byte is
// widened to a 10-bit window with the neighbouring pixel on each side (bit 0
// of the byte before, bit 7 of the byte after), and each pixel's three bits
// are a shift of that window.  Zero bytes are skipped whole, eight at a time
// where the row allows.
#include <cstdint>
#include <cstring>

#include "ktvec.h"
#include "raster/raster.h"
#include "raster/tables.h"

namespace {

// Window of byte b of `row`: bit 9 = left neighbour pixel, bits 8..1 = the
// byte's pixels (most significant first), bit 0 = right neighbour pixel.
inline unsigned window(const unsigned char *row, int b, int used) {
    if (!row) return 0;
    unsigned w = static_cast<unsigned>(row[b]) << 1;
    if (b > 0) w |= (row[b - 1] & 1u) << 9;
    if (b + 1 < used) w |= row[b + 1] >> 7;
    return w;
}

// Index of the first non-zero byte of row[from..used), or used.
inline int next_nonzero(const unsigned char *row, int from, int used) {
    int b = from;
    while (b + 8 <= used) {
        std::uint64_t word;
        std::memcpy(&word, row + b, 8);
        if (word) break;
        b += 8;
    }
    while (b < used && row[b] == 0) ++b;
    return b;
}

}  // namespace

void ktv::classify_rows(const unsigned char *raster, int width, int bytesperline, int height, int y0,
                        int y1, _KTPOINT *points, KTLINEINFO *rows) {
    const int used = ktv::used_bytes(width, bytesperline);
    if (!raster || used == 0 || height <= 0) return;
    const std::size_t stride = static_cast<std::size_t>(bytesperline);
    _KTPOINT *out = points;
    if (y0 < 0) y0 = 0;
    if (y1 > height) y1 = height;
    for (int y = y0; y < y1; ++y) {
        const unsigned char *row = raster + static_cast<std::size_t>(y) * stride;
        const unsigned char *above = y > 0 ? row - stride : nullptr;
        const unsigned char *below = y + 1 < height ? row + stride : nullptr;
        _KTPOINT *const rowstart = out;
        for (int b = next_nonzero(row, 0, used); b < used; b = next_nonzero(row, b + 1, used)) {
            const unsigned wa = window(above, b, used);
            const unsigned wc = window(row, b, used);
            const unsigned wb = window(below, b, used);
            // The byte's set pixels, leftmost first.
            for (unsigned bits = row[b]; bits;) {
                const int k = __builtin_clz(bits) - 24;  // 0 = leftmost pixel of the byte
                bits &= ~(0x80u >> k);
                const int s = 7 - k;
                const unsigned code =
                    (((wa >> s) & 7u) << 6) | (((wc >> s) & 7u) << 3) | ((wb >> s) & 7u);
                out->x = 8 * b + k;
                out->y = y;
                out->pattern = static_cast<unsigned short>(code);
                out->kind = ktv::kKind[code];
                out->flag = 0;
                out->segment = -1;
                ++out;
            }
        }
        if (rows) {
            const int n = static_cast<int>(out - rowstart);
            rows[y].pointnum = n;
            rows[y].point = n ? rowstart : nullptr;
        }
    }
}

extern "C" KTVEC_API void MORABASE_setkind(unsigned char *raster, int width, int bytesperline,
                                           int height, _KTPOINT *points) {
    ktv::classify_rows(raster, width, bytesperline, height, 0, height, points, nullptr);
}
