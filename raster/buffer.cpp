// Buffer set-up: count the set pixels of the working raster, make one point
// record per pixel and one row record per raster row, so that any point can
// be found again by its coordinates.
#include <cstdint>
#include <cstring>

#include "ktvec.h"
#include "filter/bands.h"
#include "filter/qorfil2.h"
#include "raster/raster.h"
#include "raster/tables.h"
#include "vectorizer/impl.h"
#include "vectorizer/memory.h"

long long ktv::count_rows(const unsigned char *raster, int used, int bytesperline, int y0, int y1) {
    long long total = 0;
    for (int y = y0; y < y1; ++y) {
        const unsigned char *row = raster + static_cast<std::size_t>(y) * bytesperline;
        int b = 0;
        for (; b + 8 <= used; b += 8) {  // skip blank stretches a word at a time
            std::uint64_t word;
            std::memcpy(&word, row + b, 8);
            if (!word) continue;
            for (int i = 0; i < 8; ++i) total += ktv::kBitCount[row[b + i]];
        }
        for (; b < used; ++b) total += ktv::kBitCount[row[b]];
    }
    return total;
}

namespace {

// A raster of more than 2^31 - 1 set pixels cannot be indexed by int: -1.
int point_count(long long total) { return total > 0x7fffffffLL ? -1 : static_cast<int>(total); }

}  // namespace

int CKTVector::mcountpixel() {
    const int used = ktv::used_bytes(width, bytesperline);
    if (!thindata || height < 1 || used == 0) return 0;
    return point_count(ktv::count_rows(thindata, used, bytesperline, 0, height));
}

// Counting and classification run in row bands at once, as the filter does
// on large rasters: each band counts its pixels, and then writes its points
// from the sum of the counts of the bands above it, so the records come out
// as one pass over the whole raster writes them.
int CKTVector::minitbuffer() {
    const int used = ktv::used_bytes(width, bytesperline);
    const bool pixels = thindata && height >= 1 && used > 0;
    const int words = (used + 7) / 8;
    const qorfil::Bands bands(pixels ? height : 1,
                              pixels ? qorfil::automatic_bands(words, height, filter ? filter->m_threads : 0) : 1);
    long long counts[qorfil::kMaxBands] = {};
    if (pixels)
        bands.run([&](int i) {
            counts[i] = ktv::count_rows(thindata, used, bytesperline, bands.begin(i), bands.end(i));
        });
    long long total = 0;
    for (int i = 0; i < bands.count(); ++i) total += counts[i];
    const int count = point_count(total);
    mfreepoint();
    if (count < 0) return KTVEC_NO_MEMORY;
    point = ktv::alloc_array<_KTPOINT>(static_cast<std::size_t>(count));
    if (!point) return KTVEC_NO_MEMORY;
    pointnum = count;

    mfreelineinfo();
    // The row count is kept in the bookkeeping block.
    CKTVectorImpl *in = CKTVectorImpl::make(*this);
    if (!in) return KTVEC_NO_MEMORY;
    const int rows = height > 0 ? height : 0;
    lineinfo = ktv::alloc_zeroed<KTLINEINFO>(static_cast<std::size_t>(rows));
    if (!lineinfo) return KTVEC_NO_MEMORY;
    in->linerows = rows;

    // The classification fills in the row records as it goes (the rows
    // are zero-filled, as an empty raster leaves them).
    if (pixels) {
        _KTPOINT *from[qorfil::kMaxBands];
        for (int i = 0, at = 0; i < bands.count(); at += static_cast<int>(counts[i]), ++i) from[i] = point + at;
        bands.run([&](int i) {
            ktv::classify_rows(thindata, width, bytesperline, height, bands.begin(i), bands.end(i), from[i],
                               lineinfo);
        });
    }
    return 0;
}

void CKTVector::msetlinepoint() {
    int cursor = 0;
    for (int y = 0; y < ktv::row_count(*this); ++y) {
        KTLINEINFO &row = lineinfo[y];
        int n = 0;
        while (cursor + n < pointnum && point[cursor + n].y == y) ++n;
        row.pointnum = n;
        row.point = n ? &point[cursor] : nullptr;
        cursor += n;
    }
}

// Binary search of row y's points for column x.  Rows outside the raster
// have no points.
_KTPOINT *CKTVector::mgetpoint(int x, int y) {
    if (y < 0 || y >= ktv::row_count(*this)) return nullptr;
    const KTLINEINFO &row = lineinfo[y];
    int low = 0, high = row.pointnum;
    while (low < high) {
        int mid = (low + high) / 2;
        int px = row.point[mid].x;
        if (px == x) return &row.point[mid];
        if (px < x) low = mid + 1;
        else high = mid;
    }
    return nullptr;
}
