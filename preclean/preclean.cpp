// Pre-cleaning.  Components are labelled over runs, not pixels: one pass
// counts the runs worth keeping, a second extracts them and joins each run
// with the runs of the row above that touch it (union-find,
// the lower index is the root, so the result does not depend on the order of
// the unions).  A page of a few hundred thousand runs needs one allocation
// per array and no per-pixel work beyond reading the words.
//
// Smoothing works on 64-pixel words.  Its changes are made in four sweeps,
// one per pixel of each 2x2 block: the pixels changed in one sweep are never
// neighbours of each other, and the rows above and below are not changed in
// that sweep, so every change is judged on the image as the earlier changes
// left it, as if pixels were flipped one at a time.  Each single flip keeps
// the topology, hence the whole pass does.
#include "preclean.h"
#include "pairs.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <memory>
#include <utility>

#include "filter/bands.h"
#include "vectorizer/memory.h"
#include "vectorizer/words.h"

namespace ktvcli {

namespace {

using ktv::east;
using ktv::for_each_run;
using ktv::last_word_mask;
using ktv::west;
using ktv::Word;
using ktv::words_for;

// Working arrays come from the library's allocation seam, so that a failed
// request is an ordinary "no memory" answer that tests can provoke.
struct SeamFree {
    void operator()(void *p) const { ktv::mem_free(p); }
};
template <class T> using Block = std::unique_ptr<T[], SeamFree>;
template <class T> bool obtain(Block<T> &b, std::size_t count) {
    b.reset(ktv::alloc_zeroed<T>(count));
    return b != nullptr;
}

int popcount(Word w) { return __builtin_popcountll(w); }

// Row y as words, pixels past the width 0; `black` false reads the row
// inverted (white pixels as 1).
void load_row(const BitRaster &r, int y, bool black, Word *out) {
    ktv::load_row(r.bits + static_cast<std::size_t>(y) * r.stride, r.width, out);
    if (black) return;
    const int n = words_for(r.width);
    for (int i = 0; i < n; ++i) out[i] = ~out[i];
    out[n - 1] &= last_word_mask(r.width);
}

// Writes the pixels x < width of row y from `in`; padding bits stay.
void store_row(const BitRaster &r, int y, const Word *in) {
    ktv::store_row(in, r.width, r.bits + static_cast<std::size_t>(y) * r.stride);
}

// Sets pixels x0..x1 (inclusive) of row y to `black`.
void fill_span(const BitRaster &r, int y, int x0, int x1, bool black) {
    unsigned char *row = r.bits + static_cast<std::size_t>(y) * r.stride;
    for (int b = x0 >> 3; b <= x1 >> 3; ++b) {
        const int lo = b == x0 >> 3 ? x0 & 7 : 0, hi = b == x1 >> 3 ? x1 & 7 : 7;
        const unsigned mask = (0xFFu >> lo) & (0xFFu << (7 - hi)) & 0xFFu;
        row[b] = static_cast<unsigned char>(black ? row[b] | mask : row[b] & ~mask);
    }
}

// A hole's wall is thin when paper lies at most this many pixels behind it.
constexpr int kCellWall = 2;

struct Run {
    std::int32_t x0, x1, y;
};

// A run of the row above or of this row while a row is joined: its
// columns and its index among the kept runs, kLong for a run too long to keep.
constexpr std::uint32_t kLong = UINT32_MAX;
struct Near {
    std::int32_t x0, x1;
    std::uint32_t index;
};

// The components of one colour as runs, with their sizes.  Only the
// components of at most `limit` pixels matter to the callers, and none of
// them has a run longer than `limit`: so only the short runs are kept and
// joined, and a short run that touches a longer one marks its component as
// too large.  A line drawing has few short runs of either colour (gaps
// between close strokes, specks), so the arrays stay small however large
// the page.
//
// A large page is labelled in row bands at once.  The kept runs are
// numbered in raster order whatever the bands, each band numbers and joins
// its own rows (it touches only the records of its runs), and the rows on
// either side of each band border are joined afterwards on the calling
// thread.  The root of a component is its lowest index and the marks are
// gathered at the roots, so the components come out the same as from one
// pass.
class Components {
public:
    // Black components 8-connected, white ones 4-connected.
    bool label(const BitRaster &r, bool black, std::uint64_t limit, int requested_bands) {
        const int n = words_for(r.width);
        const std::size_t row_most = static_cast<std::size_t>(r.width) / 2 + 1;  // runs in one row
        const qorfil::Bands bands(r.height, qorfil::automatic_bands(n, r.height, requested_bands));
        const int parts = bands.count();
        // Per band: a row of words and the runs of two rows.
        Block<Word> words;
        Block<Near> near;
        if (!obtain(words, static_cast<std::size_t>(parts) * static_cast<std::size_t>(n)) ||
            !obtain(near, static_cast<std::size_t>(parts) * 2 * row_most))
            return false;
        const auto short_run = [limit](int x0, int x1) { return static_cast<std::uint64_t>(x1 - x0) < limit; };
        std::size_t first[qorfil::kMaxBands + 1] = {};  // per band: the index of its first kept run
        bands.run([&](int k) {
            Word *w = words.get() + static_cast<std::size_t>(k) * static_cast<std::size_t>(n);
            std::size_t count = 0;
            for (int y = bands.begin(k); y < bands.end(k); ++y) {
                load_row(r, y, black, w);
                for_each_run(w, n, [&](int x0, int x1) { count += short_run(x0, x1); });
            }
            first[k + 1] = count;
        });
        for (int k = 0; k < parts; ++k) first[k + 1] += first[k];
        const std::size_t total = first[parts];
        if (total >= kLong) return false;  // indices are 32-bit
        if (!obtain(runs_, total) || !obtain(parent_, total) || !obtain(size_, total) || !obtain(border_, total) ||
            !obtain(large_, total))
            return false;
        count_ = total;
        const int reach = black ? 1 : 0;  // diagonal contact counts for black
        // Row y's runs into `out`, the short ones numbered from `at` on (which
        // moves past them) and, with `record`, given their records; how many
        // runs the row has.
        auto row_runs = [&](int y, Word *w, Near *out, std::size_t &at, bool record) {
            Run *run = runs();
            std::uint32_t *parent = parents();
            std::size_t count = 0;
            load_row(r, y, black, w);
            for_each_run(w, n, [&](int x0, int x1) {
                std::uint32_t me = kLong;
                if (short_run(x0, x1)) {
                    me = static_cast<std::uint32_t>(at);
                    if (record) {
                        run[at] = {x0, x1, y};
                        parent[at] = me;
                    }
                    ++at;
                }
                out[count++] = {x0, x1, me};
            });
            return count;
        };
        // Joins the runs of a row with those of the row above that touch them.
        auto join = [&](const Near *above, std::size_t above_n, const Near *here, std::size_t here_n) {
            std::size_t j = 0;
            for (std::size_t h = 0; h < here_n; ++h) {
                const std::uint32_t me = here[h].index;
                while (j < above_n && above[j].x1 + reach < here[h].x0) ++j;
                for (std::size_t k = j; k < above_n && above[k].x0 <= here[h].x1 + reach; ++k) {
                    const std::uint32_t other = above[k].index;
                    if (me != kLong && other != kLong) unite(me, other);
                    else if (me != kLong) large_[find(me)] = 1;
                    else if (other != kLong) large_[find(other)] = 1;
                }
            }
        };
        bands.run([&](int k) {
            Word *w = words.get() + static_cast<std::size_t>(k) * static_cast<std::size_t>(n);
            Near *above = near.get() + static_cast<std::size_t>(k) * 2 * row_most, *here = above + row_most;
            std::size_t at = first[k], above_n = 0;
            for (int y = bands.begin(k); y < bands.end(k); ++y) {
                const std::size_t here_n = row_runs(y, w, here, at, true);
                if (y > bands.begin(k)) join(above, above_n, here, here_n);
                std::swap(above, here);
                above_n = here_n;
            }
        });
        // The band borders: the last row of each band with the first of the
        // next, their runs numbered again from where their records are.
        for (int k = 1; k < parts; ++k) {
            const int y = bands.begin(k);
            std::size_t above_at = first[k], here_at = first[k];
            while (above_at > first[k - 1] && runs()[above_at - 1].y == y - 1) --above_at;
            Near *above = near.get(), *here = above + row_most;
            const std::size_t above_n = row_runs(y - 1, words.get(), above, above_at, false);
            const std::size_t here_n = row_runs(y, words.get(), here, here_at, false);
            join(above, above_n, here, here_n);
        }
        // sizes and border contact gathered at the roots
        Run *run = runs();
        std::uint32_t *parent = parents();
        std::uint64_t *size = sizes();
        unsigned char *border = borders();
        for (std::size_t i = 0; i < count_; ++i) {
            const std::uint32_t root = find(static_cast<std::uint32_t>(i));
            parent[i] = root;
            size[root] += static_cast<std::uint64_t>(run[i].x1 - run[i].x0 + 1);
            if (run[i].x0 == 0 || run[i].x1 == r.width - 1 || run[i].y == 0 || run[i].y == r.height - 1)
                border[root] = 1;
        }
        return true;
    }

    // Marks the components of at most `limit` pixels that do not touch the
    // border and are cells (PrecleanOptions::keep_cells) as too large, so
    // that repaint() leaves them; returns how many, or -1 when working
    // memory could not be obtained.  Each side of a component's pixels
    // that faces ink is one wall sample, thin when paper lies within
    // kCellWall pixels behind that ink pixel, straight on.
    long keep_cells(const BitRaster &r, std::uint64_t limit) {
        struct Cell {
            std::uint32_t sides, thin;
            std::int32_t x0, x1, y0, y1;  // bounding box
        };
        Block<Cell> cell;
        if (!obtain(cell, count_)) return -1;
        const Run *run = runs();
        const std::uint32_t *parent = parents();
        auto candidate = [&](std::uint32_t root) { return !large_[root] && sizes()[root] <= limit && !borders()[root]; };
        auto wall = [&](Cell &c, int x, int y, int dx, int dy) {
            if (!r.black(x + dx, y + dy)) return;  // the component goes on there
            ++c.sides;
            for (int k = 2; k <= kCellWall + 1; ++k)
                if (!r.black(x + k * dx, y + k * dy)) {
                    ++c.thin;
                    return;
                }
        };
        for (std::size_t i = 0; i < count_; ++i) {
            if (parent[i] == i) cell[i] = {0, 0, run[i].x0, run[i].x1, run[i].y, run[i].y};
        }
        for (std::size_t i = 0; i < count_; ++i) {
            if (!candidate(parent[i])) continue;
            Cell &c = cell[parent[i]];
            const Run &u = run[i];
            c.x0 = std::min(c.x0, u.x0);
            c.x1 = std::max(c.x1, u.x1);
            c.y0 = std::min(c.y0, u.y);
            c.y1 = std::max(c.y1, u.y);
            wall(c, u.x0, u.y, -1, 0);
            wall(c, u.x1, u.y, 1, 0);
            for (int x = u.x0; x <= u.x1; ++x) {
                wall(c, x, u.y, 0, -1);
                wall(c, x, u.y, 0, 1);
            }
        }
        long kept = 0;
        for (std::size_t i = 0; i < count_; ++i) {
            if (parent[i] != i || !candidate(static_cast<std::uint32_t>(i))) continue;
            const Cell &c = cell[i];
            if (c.x1 > c.x0 && c.y1 > c.y0 && c.sides > 0 && 4 * c.thin >= 3 * c.sides) {
                large_[i] = 1;
                ++kept;
            }
        }
        return kept;
    }

    // Paints every component of at most `limit` pixels (and, with
    // `inner_only`, not touching the border) in the other colour; returns
    // how many components were painted.
    long repaint(const BitRaster &r, std::uint64_t limit, bool inner_only, bool to_black) {
        const Run *run = runs();
        const std::uint32_t *parent = parents();
        const std::uint64_t *size = sizes();
        const unsigned char *border = borders();
        const unsigned char *large = large_.get();
        auto small = [&](std::uint32_t root) {
            return !large[root] && size[root] <= limit && !(inner_only && border[root]);
        };
        long painted = 0;
        for (std::size_t i = 0; i < count_; ++i) {
            if (!small(parent[i])) continue;
            painted += parent[i] == i;
            fill_span(r, run[i].y, run[i].x0, run[i].x1, to_black);
        }
        return painted;
    }

private:
    Run *runs() { return runs_.get(); }
    std::uint32_t *parents() { return parent_.get(); }
    std::uint64_t *sizes() { return size_.get(); }
    unsigned char *borders() { return border_.get(); }

    std::uint32_t find(std::uint32_t i) {
        std::uint32_t *parent = parents();
        while (parent[i] != i) {
            parent[i] = parent[parent[i]];  // path halving
            i = parent[i];
        }
        return i;
    }
    // Joins two components; the root left keeps the mark of either as too large.
    void unite(std::uint32_t a, std::uint32_t b) {
        a = find(a);
        b = find(b);
        if (a == b) return;
        if (b < a) std::swap(a, b);
        parents()[b] = a;
        large_[a] |= large_[b];
    }

    Block<Run> runs_;
    Block<std::uint32_t> parent_;
    Block<std::uint64_t> size_;
    Block<unsigned char> border_;
    Block<unsigned char> large_;  // at a root: the component has a run longer than the limit
    std::size_t count_ = 0;
};

// Word i of a row seen from each pixel's west / east neighbour two pixels
// away (one pixel away: ktv::west, ktv::east).
Word west2(const Word *row, int i) { return (row[i] >> 2) | (i > 0 ? row[i - 1] << 62 : 0); }
Word east2(const Word *row, int i, int n) { return (row[i] << 2) | (i + 1 < n ? row[i + 1] >> 62 : 0); }

// Row y as words, or all white outside the image.
void load_row_or_white(const BitRaster &r, int y, Word *out) {
    if (y >= 0 && y < r.height) load_row(r, y, true, out);
    else
        for (int i = 0, n = words_for(r.width); i < n; ++i) out[i] = 0;
}

// One smoothing sweep over the pixels (x, y) with x % 2 == px, y % 2 == py.
// `rows` holds five rows of n words, y - 2 to y + 2.
long smooth_sweep(const BitRaster &r, int px, int py, Word *rows) {
    const int n = words_for(r.width);
    Word *u2 = rows, *u = rows + n, *c = rows + 2 * n, *d = rows + 3 * n, *d2 = rows + 4 * n;
    const Word columns = px == 0 ? 0xAAAAAAAAAAAAAAAAull : 0x5555555555555555ull;
    long flipped = 0;
    // The outermost pixels are left alone: outside the image is not white
    // paper that could connect what lies on either side of them.
    for (int y = py == 0 ? 2 : 1; y < r.height - 1; y += 2) {
        load_row_or_white(r, y - 2, u2);
        load_row(r, y - 1, true, u);
        load_row(r, y, true, c);
        load_row(r, y + 1, true, d);
        load_row_or_white(r, y + 2, d2);
        bool changed = false;
        for (int i = 0; i < n; ++i) {
            Word inside = columns;
            if (i == 0) inside &= ~(Word(1) << 63);
            if (i == n - 1) inside &= last_word_mask(r.width) & ~(Word(1) << (63 - (r.width - 1) % 64));
            // all white or all black around: nothing to flip
            if (!(u[i] | c[i] | d[i]) || !~(u[i] & c[i] & d[i])) continue;
            const Word cw = west(c, i), ce = east(c, i, n);
            const Word uw = west(u, i), ue = east(u, i, n), dw = west(d, i), de = east(d, i, n);
            // Three neighbours in a row on one side (a 4-neighbour and the
            // two diagonals beside it) of one colour, the other five of the
            // other colour: a black pixel so surrounded by white is a bump,
            // a white one so surrounded by black a notch.  The three pixels
            // behind that side must have the same colour too, so the bump
            // sits on a body at least two pixels deep (the arms of a small
            // plus-shaped speck are no bumps) and the notch opens onto
            // white at least two pixels deep.
            const Word a = u[i], b = d[i];
            const Word south = b & dw & de, north = a & uw & ue, west_side = cw & uw & dw,
                       east_side = ce & ue & de;
            const Word south_w = ~b & ~dw & ~de, north_w = ~a & ~uw & ~ue, west_w = ~cw & ~uw & ~dw,
                       east_w = ~ce & ~ue & ~de;
            const Word south2 = d2[i] & west(d2, i) & east(d2, i, n),
                       north2 = u2[i] & west(u2, i) & east(u2, i, n),
                       west2_side = west2(u, i) & west2(c, i) & west2(d, i),
                       east2_side = east2(u, i, n) & east2(c, i, n) & east2(d, i, n);
            const Word south2_w = ~(d2[i] | west(d2, i) | east(d2, i, n)),
                       north2_w = ~(u2[i] | west(u2, i) | east(u2, i, n)),
                       west2_w = ~(west2(u, i) | west2(c, i) | west2(d, i)),
                       east2_w = ~(east2(u, i, n) | east2(c, i, n) | east2(d, i, n));
            const Word bump = c[i] & inside &
                              ((south & south2 & north_w & ~cw & ~ce) | (north & north2 & south_w & ~cw & ~ce) |
                               (west_side & west2_side & east_w & ~a & ~b) |
                               (east_side & east2_side & west_w & ~a & ~b));
            const Word fill = ~c[i] & inside &
                              ((south_w & south2_w & north & cw & ce) | (north_w & north2_w & south & cw & ce) |
                               (west_w & west2_w & east_side & a & b) | (east_w & east2_w & west_side & a & b));
            if (!(fill | bump)) continue;
            // the neighbours read above stay the originals: the changed
            // pixels of this sweep are two columns apart
            flipped += popcount(fill | bump);
            c[i] = (c[i] | fill) & ~bump;
            changed = true;
        }
        if (changed) store_row(r, y, c);
    }
    return flipped;
}

bool smooth(const BitRaster &r, long &flipped) {
    if (r.width < 3 || r.height < 3) return true;
    const int n = words_for(r.width);
    Block<Word> rows;
    if (!obtain(rows, 5 * static_cast<std::size_t>(n))) return false;
    Word *w = rows.get();
    for (int py = 0; py < 2; ++py)
        for (int px = 0; px < 2; ++px) flipped += smooth_sweep(r, px, py, w);
    return true;
}

}  // namespace

bool preclean(const BitRaster &raster, const PrecleanOptions &options, PrecleanCounts *counts) {
    PrecleanCounts local;
    PrecleanCounts &done = counts ? *counts : local;
    done = PrecleanCounts();
    if (!raster.bits || raster.width <= 0 || raster.height <= 0) return true;
    if (options.despeckle > 0) {
        Components black;
        if (!black.label(raster, true, static_cast<std::uint64_t>(options.despeckle), options.bands)) return false;
        done.specks = black.repaint(raster, static_cast<std::uint64_t>(options.despeckle), false, false);
    }
    if (options.fill_holes > 0) {
        Components white;
        if (!white.label(raster, false, static_cast<std::uint64_t>(options.fill_holes), options.bands)) return false;
        if (options.keep_cells) {
            done.cells = white.keep_cells(raster, static_cast<std::uint64_t>(options.fill_holes));
            if (done.cells < 0) return false;
        }
        done.holes = white.repaint(raster, static_cast<std::uint64_t>(options.fill_holes), true, true);
    }
    if (options.part_pairs) {
        done.parted = part_pairs(raster, options.bands);
        if (done.parted < 0) return false;
    }
    if (options.smooth && !smooth(raster, done.smoothed)) return false;
    return true;
}

}  // namespace ktvcli
