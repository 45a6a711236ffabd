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

template <class Plane> void interior_row(const Plane &p, int y, Word *out) {
    const typename Plane::Row up = p.row(y - 1), mid = p.row(y), down = p.row(y + 1);
    for (int k = 0, nw = p.words(); k < nw; ++k) out[k] = interior(up, mid, down, k);
}

// Seeds of rows y0 .. y1-1 into `tmp`: interior pixels whose 4-neighbours
// are interior as well, i.e. pixels at least two steps from the white.
// With `rows` (3 * words), the interior of three consecutive rows is kept
// there and each row's interior is computed once.
template <class Plane, class Reached>
void seed_rows(const Plane &img, Reached &tmp, int y0, int y1, Word *rows) {
    const int nw = img.words();
    if (!rows) {
        for (int y = y0; y < y1; ++y) {
            const typename Reached::Row out = tmp.row(y);
            for (int k = 0; k < nw; ++k) {
                const Word in = interior_at(img, y, k);
                Word seed = 0;
                if (in)
                    seed = in & interior_at(img, y - 1, k) & interior_at(img, y + 1, k) &
                           from_right(in, interior_at(img, y, k + 1)) & from_left(interior_at(img, y, k - 1), in);
                out.put(k, seed);
            }
        }
        return;
    }
    Word *up = rows, *cur = rows + nw, *down = rows + 2 * nw;
    interior_row(img, y0 - 1, up);
    interior_row(img, y0, cur);
    for (int y = y0; y < y1; ++y) {
        interior_row(img, y + 1, down);
        const typename Reached::Row out = tmp.row(y);
        for (int k = 0; k < nw; ++k) {
            const Word in = cur[k];
            Word seed = 0;
            if (in)
                seed = in & up[k] & down[k] & from_right(in, k + 1 < nw ? cur[k + 1] : 0) &
                       from_left(k > 0 ? cur[k - 1] : 0, in);
            out.put(k, seed);
        }
        Word *t = up;
        up = cur;
        cur = down;
        down = t;
    }
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

// Row flags of the reconstruction.
enum : int {
    kSettled = 0,  // nothing new can reach the row
    kFlagged = 1,  // a neighbour row changed since the row was looked at
    kSeeded = 2,   // never looked at: holds its seeds only
};

// One sweep of the interior reconstruction over rows ylo .. yhi-1 in order
// `step` (+1 downwards, -1 upwards): each row takes the reached pixels of
// the rows above and below it, then spreads them along its interior runs
// both ways.  Rows outside the range are read, never written.  With `dirty`
// (one flag per row), only flagged rows are looked at; a row that changes
// flags both neighbours (the one ahead is looked at in this sweep, the one
// behind in the next, a neighbour outside the range when its own range is
// swept), so the work follows the changes and a drawing with a few winding
// areas does not cost a full pass per turn.  With `mrow` (words), the
// interior of the row is kept there between the two directions.
//
// A row that has been looked at once holds whole interior runs only, so a
// word that gets no new pixel from the rows beside it or from its
// neighbour word stays as it is, and when no word of the row changes on
// the way right, the way left changes nothing either.
template <class Plane, class Reached>
bool sweep(const Plane &img, Reached &reached, int step, int *dirty, int ylo, int yhi, Word *mrow) {
    const int h = img.height(), nw = img.words();
    bool changed = false;
    for (int i = 0; i < yhi - ylo; ++i) {
        const int y = step > 0 ? ylo + i : yhi - 1 - i;
        if (dirty && dirty[y] == kSettled) continue;
        const bool whole_runs = dirty && dirty[y] != kSeeded;
        if (dirty) dirty[y] = kSettled;
        bool rowchanged = false;
        const typename Plane::Row up = img.row(y - 1), mid = img.row(y), down = img.row(y + 1);
        const typename Reached::Row above = reached.row(y - 1), below = reached.row(y + 1), cur = reached.row(y);
        // Rightwards, with the carry from the previous word's last pixel.
        Word carry = 0;
        for (int k = 0; k < nw; ++k) {
            const Word m = interior(up, mid, down, k);
            if (mrow) mrow[k] = m;
            if (!m) {
                carry = 0;
                continue;
            }
            const Word old = cur.at(k);
            const Word in = old | above.at(k) | below.at(k) | (carry << 63);
            if (whole_runs && !(in & m & ~old)) {
                carry = old & 1;
                continue;
            }
            const Word r = fill_right(in, m);
            carry = r & 1;
            if (r != old) {
                cur.put(k, r);
                rowchanged = true;
            }
        }
        // Leftwards, with the carry from the next word's first pixel.
        if (whole_runs && !rowchanged) continue;
        carry = 0;
        for (int k = nw - 1; k >= 0; --k) {
            const Word m = mrow ? mrow[k] : interior(up, mid, down, k);
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
        changed |= rowchanged;
        if (dirty && rowchanged) {
            if (y > 0 && dirty[y - 1] == kSettled) dirty[y - 1] = kFlagged;
            if (y + 1 < h && dirty[y + 1] == kSettled) dirty[y + 1] = kFlagged;
        }
    }
    return changed;
}

// Sweeps rows ylo .. yhi-1 down and up until a pair of sweeps changes
// nothing; true if anything changed.
template <class Plane, class Reached>
bool settle(const Plane &img, Reached &reached, int *dirty, int ylo, int yhi, Word *mrow) {
    bool any = false;
    // Both directions run every round: a change found on the way down must
    // still be carried back on the way up.
    for (;;) {
        const bool down = sweep(img, reached, +1, dirty, ylo, yhi, mrow);
        const bool up = sweep(img, reached, -1, dirty, ylo, yhi, mrow);
        if (!down && !up) break;
        any = true;
    }
    return any;
}

}  // namespace

template <class Plane, class Reached>
void keep_boundary(Plane &img, Reached &tmp, int *rowflags, const Bands &bands, Word *scratch) {
    const int h = img.height(), nw = img.words();
    auto rows = [&](int band) { return scratch ? scratch + (std::size_t)band * 3 * (std::size_t)nw : nullptr; };
    bands.run([&](int band) { seed_rows(img, tmp, bands.begin(band), bands.end(band), rows(band)); });
    // Reached interior: everything 4-connected to a seed inside the
    // interior.  That set does not depend on the order in which pixels are
    // reached, so the bands settle on their own, without the two rows at
    // each band border (the seams), which stay as they are meanwhile; then
    // the seams settle, one after the other, with the bands standing still.
    // A seam that changes flags its neighbour rows in the bands, and the
    // rounds go on until the seams settle without a change.  Each band only
    // writes its own rows and the dirty flags of the seam rows next to it,
    // one seam row per band.
    if (rowflags)
        for (int y = 0; y < h; ++y) rowflags[y] = kSeeded;
    const int n = bands.count();
    if (n == 1) {
        settle(img, tmp, rowflags, 0, h, rows(0));
    } else {
        // Band i without its seam rows: begin(i) + 1 .. end(i) - 2, the
        // first band from row 0 and the last to the bottom row.
        auto inner_begin = [&](int i) { return i == 0 ? 0 : bands.begin(i) + 1; };
        auto inner_end = [&](int i) { return i == n - 1 ? h : bands.end(i) - 1; };
        for (;;) {
            bands.run([&](int band) { settle(img, tmp, rowflags, inner_begin(band), inner_end(band), rows(band)); });
            bool seams = false;
            for (int i = 1; i < n; ++i)
                seams |= settle(img, tmp, rowflags, bands.begin(i) - 1, bands.begin(i) + 1, rows(0));
            if (!seams) break;
        }
    }
    // The boundary is the black minus the reached interior.  Interior
    // pockets that no seed reaches (the inside of strokes up to about four
    // pixels wide, single pixels enclosed by a ragged edge) stay with the
    // boundary, so that such parts thin to one line instead of a chain of
    // tiny loops.
    bands.run([&](int band) {
        for (int y = bands.begin(band); y < bands.end(band); ++y) {
            const typename Plane::Row mid = img.row(y);
            const typename Reached::Row r = tmp.row(y);
            for (int k = 0; k < nw; ++k) {
                const Word v = mid.at(k);
                if (v) mid.put(k, v & ~r.at(k));
            }
        }
    });
}

template void keep_boundary<WordPlane, WordPlane>(WordPlane &, WordPlane &, int *, const Bands &, Word *);
template void keep_boundary<WordPlane, FlatPlane>(WordPlane &, FlatPlane &, int *, const Bands &, Word *);
template void keep_boundary<ByteRowPlane, ByteRowPlane>(ByteRowPlane &, ByteRowPlane &, int *, const Bands &, Word *);

}  // namespace qorfil
