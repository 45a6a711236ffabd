// Scanner noise: jagged stroke borders and specks.  The border pass works on
// copies of the rows as 64-pixel words, one pass over the page.
#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <vector>

#include "drawing.h"
#include "vectorizer/words.h"

namespace ktvdraw {

using ktv::east;
using ktv::load_row;
using ktv::store_row;
using ktv::west;
using ktv::Word;

namespace {
// A random word whose bits are set independently with probability ~p
// (resolution 1/64): binary expansion of p, least significant digit first.
Word random_mask(Rng &rng, double p) {
    unsigned q = (unsigned)std::lround(std::clamp(p, 0.0, 1.0) * 64);
    if (q >= 64) return ~Word(0);
    Word m = 0;
    for (int bit = 0; bit < 6; ++bit) {
        Word r = rng.next();
        m = (q >> bit) & 1 ? (m | r) : (m & r);
    }
    return m;
}

}  // namespace

void Canvas::roughen(std::uint64_t seed, double probability) {
    if (width_ == 0 || height_ == 0 || probability <= 0) return;
    const int n = ktv::words_for(width_);
    auto load = [&](int y, Word *out) {
        if (y < 0 || y >= height_) std::fill(out, out + n, Word(0));
        else load_row(bits_.data() + (std::size_t)y * stride_, width_, out);
    };
    Rng rng(seed);
    // Ring of original rows y-2 .. y+2 and their interiors y-1 .. y+1.
    std::array<std::vector<Word>, 5> rows;
    std::array<std::vector<Word>, 3> inner;
    for (auto &r : rows) r.assign(n, 0);
    for (auto &r : inner) r.assign(n, 0);
    auto row_at = [&](int y) -> std::vector<Word> & { return rows[(y + 10) % 5]; };
    auto inner_at = [&](int y) -> std::vector<Word> & { return inner[(y + 9) % 3]; };
    // interior: black with all four neighbours black
    auto make_inner = [&](int y) {
        std::vector<Word> &out = inner_at(y);
        const Word *c = row_at(y).data(), *u = row_at(y - 1).data(), *d = row_at(y + 1).data();
        for (int i = 0; i < n; ++i) out[i] = c[i] & u[i] & d[i] & west(c, i) & east(c, i, n);
    };
    for (int y = -2; y <= 2; ++y) load(y, row_at(y).data());
    make_inner(-1);
    make_inner(0);
    std::vector<Word> result(n);
    for (int y = 0; y < height_; ++y) {
        make_inner(y + 1);
        const Word *c = row_at(y).data(), *u = row_at(y - 1).data(), *d = row_at(y + 1).data();
        const Word *iu = inner_at(y - 1).data(), *ic = inner_at(y).data(),
                   *id = inner_at(y + 1).data();
        bool changed = false;
        for (int i = 0; i < n; ++i) {
            Word touch = u[i] | d[i] | west(c, i) | east(c, i, n);
            Word grow = ~c[i] & touch;
            Word near_inner = iu[i] | id[i] | west(ic, i) | east(ic, i, n);
            Word shrink = c[i] & ~ic[i] & near_inner;
            result[i] = c[i];
            if (!(grow | shrink)) continue;
            result[i] = (c[i] & ~(shrink & random_mask(rng, probability))) |
                        (grow & random_mask(rng, probability));
            changed = true;
        }
        if (n) result[n - 1] &= ktv::last_word_mask(width_);
        if (changed) store_row(result.data(), width_, bits_.data() + (std::size_t)y * stride_);
        // slide the window: row y-2 leaves, row y+3 enters
        load(y + 3, row_at(y + 3).data());
    }
}

void Canvas::specks(std::uint64_t seed, int count, int maxsize) {
    if (width_ < 16 || height_ < 16) return;
    Rng rng(seed);
    bool was = recording_;
    recording_ = false;  // noise is not part of the drawing's vectors
    for (int made = 0, tries = 0; made < count && tries < count * 20; ++tries) {
        int x = rng.range(4, width_ - 5), y = rng.range(4, height_ - 5);
        double r = rng.uniform(0.5, std::max(1.0, maxsize / 2.0));
        int m = (int)std::ceil(r) + 4;
        bool clear = true;
        for (int yy = y - m; yy <= y + m && clear; ++yy)
            for (int xx = x - m; xx <= x + m && clear; xx += 1) clear = !get(xx, yy);
        if (!clear) continue;
        if (r < 1.0) set(x, y);
        else disc(x + 0.5, y + 0.5, r);
        ++made;
    }
    recording_ = was;
}

}  // namespace ktvdraw
