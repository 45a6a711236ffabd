// Slanted pairs of thin lines parted (see pairs.h).
//
// A sliver is a run of paper one pixel wide across and at least two long,
// with ink on both of its sides all along and at both of its ends: a white
// run of a row with black above and below every pixel (or of a column with
// black left and right).  Such a hole is exactly that run, so rows are
// scanned a word at a time for runs of white pixels between black rows,
// and columns for white pixels between black neighbours.
//
// Two slivers of one pair lie one row apart (the pair has stepped), the
// second starting after the first one ends, at most kReach pixels on.  The
// merged band between them is cleared along the first sliver's row up to a
// step column and along the second's from there, the step column in both
// rows so that the paper joins side by side, not only at a corner (lines
// of ink are 8-connected: paper joined at a corner would leave the two
// lines touching there).  A pixel is cleared only where the band keeps ink
// on both sides of it and is at most kMostBand pixels thick across: two
// thin lines, not a wide stroke with two pinholes; the step column is the
// first where both rows can go.  Where no step column fits, the pair is
// left as it is.  Slivers that follow one another on the same line are a
// band of cells (hatching between two rails), not a pair: neither is
// joined.  The pass runs after pinholes are filled, so that the pinholes a
// scan leaves in its strokes are gone before slivers are looked for.
#include "pairs.h"

#include <algorithm>
#include <cstdint>

#include "filter/bands.h"
#include "refine/array.h"
#include "vectorizer/words.h"

namespace ktvcli {

namespace {

using ktv::Word;
using ktv::refine::Array;

constexpr int kReach = 40;     // farthest the next sliver of a pair starts past the end of one, px
constexpr int kMostBand = 5;   // thickest band of two thin lines across, px

// A sliver along its line (row or column) `line`, pixels first..last.
struct Sliver {
    int line, first, last;
};

struct Pixel {
    int x, y;
};

// The raster as given, read along rows or, transposed, along columns:
// (line, along) is pixel (along, line) of rows or (line, along) of columns;
// outside the page is white.
class View {
public:
    View(const BitRaster &r, bool columns) : r_(r), columns_(columns) {}
    bool black(int line, int along) const { return columns_ ? r_.black(line, along) : r_.black(along, line); }
    Pixel pixel(int line, int along) const { return columns_ ? Pixel{line, along} : Pixel{along, line}; }
    // Ink across the band at (line, along), the pixel itself taken as ink:
    // how far it runs to either side, up to kMostBand + 1 in all.
    int band(int line, int along) const {
        int n = 1;
        for (int d = 1; n <= kMostBand && black(line - d, along); ++d) ++n;
        for (int d = 1; n <= kMostBand && black(line + d, along); ++d) ++n;
        return n;
    }

private:
    const BitRaster &r_;
    bool columns_;
};

// The slivers that start in rows y0 .. y1 - 1, each row read once: along
// rows, runs of white pixels with black above and below every pixel and
// black at both ends; along columns, white pixels with black left and
// right in vertical runs with black above and below.  Both need ink in the
// row above, which most words of a drawing lack.
bool find_slivers(const BitRaster &r, int y0, int y1, Array<Sliver> &along_rows, Array<Sliver> &along_columns) {
    const View rows(r, false), columns(r, true);
    const int n = ktv::words_for(r.width);
    y0 = std::max(y0, 1);
    y1 = std::min(y1, r.height - 1);
    if (y0 >= y1) return true;
    Array<Word> words;
    if (!words.resize(5 * static_cast<std::size_t>(n), 0)) return false;
    Word *above = words.data(), *here = above + n, *below = here + n, *framed = below + n, *starts = framed + n;
    const auto load = [&](int y, Word *w) { ktv::load_row(r.bits + static_cast<std::size_t>(y) * r.stride, r.width, w); };
    load(y0 - 1, here);
    load(y0, below);
    for (int y = y0; y < y1; ++y) {
        std::swap(above, here);  // the rows move up by one: above <- here <- below <- next
        std::swap(here, below);
        load(y + 1, below);
        for (int k = 0; k < n; ++k) {
            if (!above[k]) {
                framed[k] = starts[k] = 0;
                continue;
            }
            framed[k] = ~here[k] & above[k] & below[k];
            // White between black neighbours under a black pixel: a column sliver may start here.
            starts[k] = ~here[k] & ktv::east(here, k, n) & ktv::west(here, k) & above[k];
        }
        bool ok = true;
        ktv::for_each_run(framed, n, [&](int x0, int x1) {
            if (ok && x1 > x0 && rows.black(y, x0 - 1) && rows.black(y, x1 + 1)) ok = along_rows.push({y, x0, x1});
        });
        ktv::for_each_run(starts, n, [&](int x0, int x1) {
            for (int x = x0; ok && x <= x1; ++x) {
                int end = y;
                while (!columns.black(x, end + 1) && columns.black(x - 1, end + 1) && columns.black(x + 1, end + 1)) ++end;
                if (end > y && columns.black(x, end + 1)) ok = along_columns.push({x, y, end});
            }
        });
        if (!ok) return false;
    }
    return true;
}

// Whether the pairing may clear (line, along), should it be ink: ink on
// both sides across, in a thin band.
bool may_clear(const View &v, int line, int along) {
    return !v.black(line, along) ||
           (v.black(line - 1, along) && v.black(line + 1, along) && v.band(line, along) <= kMostBand);
}

// The pixels that join sliver a to sliver b (one line over, starting after
// a ends) appended to `clear`: 1, or 0 when the band between them cannot
// be parted (`clear` as it was), -1 when memory runs out.
int join(const View &v, const Sliver &a, const Sliver &b, Array<Pixel> &clear) {
    const int from = a.last + 1, to = b.first;  // the band between them: from .. to - 1
    const int beyond_a = 2 * a.line - b.line, beyond_b = 2 * b.line - a.line;
    if (from == to) {
        // The slivers touch at a corner: open a's line beside b's start.
        if (!v.black(a.line, from) || !v.black(beyond_a, from) || v.band(a.line, from) > kMostBand) return 0;
        return clear.push(v.pixel(a.line, from)) ? 1 : -1;
    }
    for (int step = from; step < to; ++step) {
        bool ok = v.black(a.line, step) && v.black(b.line, step) && v.black(beyond_a, step) &&
                  v.black(beyond_b, step) && v.band(a.line, step) <= kMostBand;
        for (int s = from; ok && s < step; ++s) ok = may_clear(v, a.line, s);
        for (int s = step + 1; ok && s < to; ++s) ok = may_clear(v, b.line, s);
        if (!ok) continue;
        for (int s = from; s <= step; ++s)
            if (!clear.push(v.pixel(a.line, s))) return -1;
        for (int s = step; s < to; ++s)
            if (!clear.push(v.pixel(b.line, s))) return -1;
        return 1;
    }
    return 0;
}

bool before(const Sliver &p, const Sliver &q) { return p.line != q.line ? p.line < q.line : p.first < q.first; }

// Every sliver joined to the slivers one line over that start after it
// ends, within reach.  Not where the line of either holds another sliver
// between them and reach: a band of cells (hatching between two rails, a
// row of treads) has its cells one after another on the same line, a
// slanted pair has stepped on.  `slivers` sorted by before().
bool join_all(const View &v, const Array<Sliver> &slivers, Array<Pixel> &clear) {
    const Sliver *begin = slivers.data(), *end = begin + slivers.size();
    // The first sliver of `line` starting at or after `from`, or end.
    const auto first_from = [&](int line, int from) { return std::lower_bound(begin, end, Sliver{line, from, 0}, before); };
    for (const Sliver *a = begin; a != end; ++a) {
        const Sliver *next = a + 1;
        const bool a_alone = next == end || next->line != a->line || next->first > a->last + 1 + kReach;
        if (!a_alone) continue;
        for (const int over : {-1, 1}) {
            for (const Sliver *b = first_from(a->line + over, a->last + 1);
                 b != end && b->line == a->line + over && b->first <= a->last + 1 + kReach; ++b) {
                const bool b_alone = b == begin || (b - 1)->line != b->line || (b - 1)->last < b->first - 1 - kReach;
                if (b_alone && join(v, *a, *b, clear) < 0) return false;
            }
        }
    }
    return true;
}

}  // namespace

long part_pairs(const BitRaster &raster, int threads) {
    if (!raster.bits || raster.width < 3 || raster.height < 3) return 0;
    // The page is searched in row bands at once; their slivers, put
    // together in band order, are the same whatever the bands.
    const qorfil::Bands bands(raster.height, qorfil::automatic_bands(ktv::words_for(raster.width), raster.height, threads));
    Array<Sliver> found[qorfil::kMaxBands][2];
    bool failed[qorfil::kMaxBands] = {};
    bands.run([&](int k) {
        failed[k] = !find_slivers(raster, bands.begin(k), bands.end(k), found[k][0], found[k][1]);
    });
    Array<Sliver> along[2];
    for (int k = 0; k < bands.count(); ++k) {
        if (failed[k]) return -1;
        for (int c = 0; c < 2; ++c)
            for (const Sliver &s : found[k][c])
                if (!along[c].push(s)) return -1;
    }
    Array<Pixel> clear;
    for (const bool columns : {false, true}) {
        Array<Sliver> &slivers = along[columns];
        std::sort(slivers.data(), slivers.data() + slivers.size(), before);
        if (!join_all(View(raster, columns), slivers, clear)) return -1;
    }
    long cleared = 0;  // a pixel two joins clear is counted once
    for (const Pixel &p : clear) {
        cleared += raster.black(p.x, p.y);
        raster.clear(p.x, p.y);
    }
    return cleared;
}

}  // namespace ktvcli
