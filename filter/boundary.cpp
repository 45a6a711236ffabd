// Boundary extraction (see boundary.h).
#include "boundary.h"

#include "bitplane.h"
#include "neighbourhood.h"

namespace qorfil {

template <class Plane> void keep_boundary(Plane &img, Plane &tmp) {
    const int h = img.height(), nw = img.words();
    for (int y = 0; y < h; ++y) {
        const typename Plane::Row up = img.row(y - 1), mid = img.row(y), down = img.row(y + 1);
        const typename Plane::Row out = tmp.row(y);
        for (int k = 0; k < nw; ++k) {
            if (!mid.at(k)) continue;
            const Neighbours b = gather(up, mid, down, k);
            out.put(k, b.c & ~(b.n & b.s & b.e & b.w));
        }
    }
    for (int y = 0; y < h; ++y) {
        const typename Plane::Row mid = img.row(y), src = tmp.row(y);
        for (int k = 0; k < nw; ++k)
            if (mid.at(k)) mid.put(k, src.at(k));
    }
}

template void keep_boundary<WordPlane>(WordPlane &, WordPlane &);
template void keep_boundary<ByteRowPlane>(ByteRowPlane &, ByteRowPlane &);

}  // namespace qorfil
