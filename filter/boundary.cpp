// Boundary extraction (see boundary.h).
#include "boundary.h"

#include "bitplane.h"
#include "neighbourhood.h"

namespace qorfil {

namespace {

// Interior pixels of word k of row `mid`: black with four black 4-neighbours.
template <class Row> Word interior(const Row &up, const Row &mid, const Row &down, int k) {
    const Word c = mid.at(k);
    if (!c) return 0;
    return c & up.at(k) & down.at(k) & from_right(c, mid.at(k + 1)) & from_left(mid.at(k - 1), c);
}

template <class Plane> Word interior_at(const Plane &p, int y, int k) {
    return interior(p.row(y - 1), p.row(y), p.row(y + 1), k);
}

// Spreads the set bits of `seed` along the runs of `mask` towards lower bits
// (to the right on the page) and towards higher bits, in log steps.
inline Word fill_right(Word seed, Word mask) {
    seed &= mask;
    for (int d = 1; d < 64; d <<= 1) {
        seed |= mask & (seed >> d);
        mask &= mask >> d;
    }
    return seed;
}
inline Word fill_left(Word seed, Word mask) {
    seed &= mask;
    for (int d = 1; d < 64; d <<= 1) {
        seed |= mask & (seed << d);
        mask &= mask << d;
    }
    return seed;
}

// One sweep of the interior reconstruction over the rows in order `step`
// (+1 downwards, -1 upwards): each row takes the reached pixels of the row
// before it, then spreads them along its interior runs both ways.  With
// `dirty` (one flag per row), only rows flagged or following a row that has
// just changed are looked at; a changed row flags the row before it for the
// next sweep, so the work follows the changes and a drawing with a few
// winding areas does not cost a full pass per turn.
template <class Plane> bool sweep(const Plane &img, Plane &reached, int step, int *dirty) {
    const int h = img.height(), nw = img.words();
    bool changed = false, prevchanged = false;
    for (int i = 0; i < h; ++i) {
        const int y = step > 0 ? i : h - 1 - i;
        if (dirty && !dirty[y] && !prevchanged) continue;
        if (dirty) dirty[y] = 0;
        bool rowchanged = false;
        const typename Plane::Row up = img.row(y - 1), mid = img.row(y), down = img.row(y + 1);
        const typename Plane::Row prev = reached.row(y - step), cur = reached.row(y);
        // Rightwards, with the carry from the previous word's last pixel.
        Word carry = 0;
        for (int k = 0; k < nw; ++k) {
            const Word m = interior(up, mid, down, k);
            if (!m) {
                carry = 0;
                continue;
            }
            const Word old = cur.at(k);
            const Word r = fill_right(old | prev.at(k) | (carry << 63), m);
            carry = r & 1;
            if (r != old) {
                cur.put(k, r);
                rowchanged = true;
            }
        }
        // Leftwards, with the carry from the next word's first pixel.
        carry = 0;
        for (int k = nw - 1; k >= 0; --k) {
            const Word m = interior(up, mid, down, k);
            if (!m) {
                carry = 0;
                continue;
            }
            const Word old = cur.at(k);
            const Word r = fill_left(old | carry, m);
            carry = r >> 63;
            if (r != old) {
                cur.put(k, r);
                rowchanged = true;
            }
        }
        prevchanged = rowchanged;
        changed |= rowchanged;
        if (dirty && rowchanged && y - step >= 0 && y - step < h) dirty[y - step] = 1;
    }
    return changed;
}

}  // namespace

template <class Plane> void keep_boundary(Plane &img, Plane &tmp, int *rowflags) {
    const int h = img.height(), nw = img.words();
    // Seeds: interior pixels whose 4-neighbours are interior as well, i.e.
    // pixels at least two steps from the white.
    for (int y = 0; y < h; ++y) {
        const typename Plane::Row out = tmp.row(y);
        for (int k = 0; k < nw; ++k) {
            const Word in = interior_at(img, y, k);
            Word seed = 0;
            if (in)
                seed = in & interior_at(img, y - 1, k) & interior_at(img, y + 1, k) &
                       from_right(in, interior_at(img, y, k + 1)) & from_left(interior_at(img, y, k - 1), in);
            out.put(k, seed);
        }
    }
    // Reached interior: everything 4-connected to a seed inside the interior.
    if (rowflags)
        for (int y = 0; y < h; ++y) rowflags[y] = 1;
    while (sweep(img, tmp, +1, rowflags) | sweep(img, tmp, -1, rowflags)) {
    }
    // The boundary is the black minus the reached interior.  Interior
    // pockets that no seed reaches (the inside of strokes up to about four
    // pixels wide, single pixels enclosed by a ragged edge) stay with the
    // boundary, so that such parts thin to one line instead of a chain of
    // tiny loops.
    for (int y = 0; y < h; ++y) {
        const typename Plane::Row mid = img.row(y), r = tmp.row(y);
        for (int k = 0; k < nw; ++k) {
            const Word v = mid.at(k);
            if (v) mid.put(k, v & ~r.at(k));
        }
    }
}

template void keep_boundary<WordPlane>(WordPlane &, WordPlane &, int *);
template void keep_boundary<ByteRowPlane>(ByteRowPlane &, ByteRowPlane &, int *);

}  // namespace qorfil
