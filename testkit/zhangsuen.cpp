// Bit-parallel Zhang-Suen.  Neighbours of pixel P1 in the usual numbering:
//   P9 P2 P3
//   P8 P1 P4
//   P7 P6 P5
// P1 is deleted in pass 1 when 2 <= B <= 6, A = 1, P2 P4 P6 = 0 and
// P4 P6 P8 = 0; in pass 2 the last two terms are P2 P4 P8 = 0 and
// P2 P6 P8 = 0.  B counts black neighbours, A counts white-to-black steps
// round P2 .. P9, P2.  Each pass decides every pixel from the image as it
// was at the start of the pass.
#include "zhangsuen.h"

#include <algorithm>

#include "vectorizer/words.h"

namespace ktvdraw {

using ktv::east;
using ktv::load_row;
using ktv::store_row;
using ktv::west;
using ktv::Word;

namespace {
// Bits where at most one of the eight inputs is set.
inline Word at_most_one(const Word (&v)[8]) {
    Word seen = 0, twice = 0;
    for (Word x : v) {
        twice |= seen & x;
        seen |= x;
    }
    return ~twice;
}
inline Word exactly_one(const Word (&v)[8]) {
    Word seen = 0, twice = 0;
    for (Word x : v) {
        twice |= seen & x;
        seen |= x;
    }
    return seen & ~twice;
}
}  // namespace

void ZhangSuen::load(const unsigned char *bits, int width, int height, int stride) {
    width_ = std::max(0, width);
    height_ = std::max(0, height);
    n_ = ktv::words_for(width_);
    words_.assign((std::size_t)(height_ + 2) * n_, 0);
    above_.assign(n_, 0);
    del_.assign(n_, 0);
    for (int y = 0; y < height_; ++y) load_row(bits + (std::size_t)y * stride, width_, row(y));
}

bool ZhangSuen::subiteration(int pass) {
    bool changed = false;
    std::fill(above_.begin(), above_.end(), Word(0));  // original of the row above
    for (int y = 0; y < height_; ++y) {
        Word *c = row(y);
        const Word *u = above_.data(), *d = row(y + 1);
        bool any = false;
        for (int i = 0; i < n_; ++i) {
            del_[i] = 0;
            if (!c[i]) continue;
            Word p2 = u[i], p3 = east(u, i, n_), p4 = east(c, i, n_), p5 = east(d, i, n_);
            Word p6 = d[i], p7 = west(d, i), p8 = west(c, i), p9 = west(u, i);
            const Word nb[8] = {p2, p3, p4, p5, p6, p7, p8, p9};
            const Word steps[8] = {~p2 & p3, ~p3 & p4, ~p4 & p5, ~p5 & p6,
                                   ~p6 & p7, ~p7 & p8, ~p8 & p9, ~p9 & p2};
            const Word white[8] = {~p2, ~p3, ~p4, ~p5, ~p6, ~p7, ~p8, ~p9};
            Word b_ok = ~at_most_one(nb) & ~at_most_one(white);  // 2 <= B <= 6
            Word side = pass == 0 ? ~(p2 & p4 & p6) & ~(p4 & p6 & p8)
                                  : ~(p2 & p4 & p8) & ~(p2 & p6 & p8);
            del_[i] = c[i] & b_ok & exactly_one(steps) & side;
            any |= del_[i] != 0;
        }
        std::copy(c, c + n_, above_.begin());
        if (!any) continue;
        for (int i = 0; i < n_; ++i) c[i] &= ~del_[i];
        changed = true;
    }
    return changed;
}

int ZhangSuen::run() {
    int iterations = 0;
    for (;;) {
        ++iterations;
        bool a = subiteration(0);
        bool b = subiteration(1);
        if (!a && !b) return iterations;
    }
}

void ZhangSuen::store(unsigned char *bits, int stride) const {
    for (int y = 0; y < height_; ++y)
        store_row(words_.data() + (std::size_t)(y + 1) * n_, width_, bits + (std::size_t)y * stride);
}

long ZhangSuen::count() const {
    long total = 0;
    for (Word w : words_) total += __builtin_popcountll(w);
    return total;
}

}  // namespace ktvdraw
