#include "refine/crack.h"

#include <cstdlib>

namespace ktv::refine {

namespace {

// Directions of travel, clockwise on the screen (y down): turning right is
// +1, turning left -1 (mod 4).
enum Dir { kEast = 0, kSouth = 1, kWest = 2, kNorth = 3 };
constexpr int kDy[4] = {0, 1, 0, -1};
// The two pixels ahead of a corner, on the right and on the left of the
// direction of travel, as offsets from the corner (corner (x, y) is the
// top-left corner of pixel (x, y)).
constexpr int kRightX[4] = {0, -1, -1, 0}, kRightY[4] = {0, 0, -1, -1};
constexpr int kLeftX[4] = {0, 0, -1, -1}, kLeftY[4] = {-1, 0, 0, -1};

// Eight packed bytes (most significant bit first) as one word with the
// first pixel in the least significant bit.
std::uint64_t load_word(const unsigned char *p, std::size_t bytes) {
    std::uint64_t x = 0;
    for (std::size_t i = 0; i < bytes; ++i) x |= static_cast<std::uint64_t>(p[i]) << (8 * i);
    x = ((x >> 1) & 0x5555555555555555ull) | ((x & 0x5555555555555555ull) << 1);
    x = ((x >> 2) & 0x3333333333333333ull) | ((x & 0x3333333333333333ull) << 2);
    x = ((x >> 4) & 0x0F0F0F0F0F0F0F0Full) | ((x & 0x0F0F0F0F0F0F0F0Full) << 4);
    return x;
}

// Bits at positions >= p.
std::uint64_t from_bit(std::size_t p) { return ~std::uint64_t{0} << (p & 63); }
// Bits at positions <= p.
std::uint64_t to_bit(std::size_t p) {
    return (p & 63) == 63 ? ~std::uint64_t{0} : (std::uint64_t{1} << ((p & 63) + 1)) - 1;
}

}  // namespace

// Two black pixels that touch only at corner (cx, cy), with white in the
// other two, belong to one area when black is the rarer colour in the 4 x 4
// pixels about the corner (a thin dark line drawn at a slant), and to two
// areas when white is (a thin gap between two dark areas).  The window is
// centred on the corner, so both walks through it decide alike.
bool CrackTracer::joins_black(std::size_t cx, std::size_t cy) const {
    static const int dev_policy = std::getenv("OTP") ? std::atoi(std::getenv("OTP")) : 1;
    if (dev_policy == 0) return true;
    int count = 0;
    for (std::size_t y = cy < 2 ? 0 : cy - 2; y < cy + 2 && y < rows_; ++y)
        for (std::size_t x = cx < 2 ? 0 : cx - 2; x < cx + 2 && x < words_ * 64; ++x) count += black(x, y);
    return count <= 8;
}

bool CrackTracer::start(const unsigned char *bits, int width, int height, std::size_t stride) {
    bits_.clear();
    tops_.clear();
    marks_.clear();
    filtering_ = false;
    words_ = rows_ = scan_ = mark_words_ = mark_rows_ = mark_cols_ = 0;
    width_ = height_ = 0;
    if (!bits || width <= 0 || height <= 0) return true;
    width_ = width;
    height_ = height;
    const std::size_t w = static_cast<std::size_t>(width), h = static_cast<std::size_t>(height);
    words_ = (w + 2 + 63) / 64;
    rows_ = h + 2;
    if (!bits_.resize(words_ * rows_, 0) || !tops_.resize(words_ * rows_, 0)) {
        words_ = rows_ = 0;
        return false;
    }
    const std::size_t bytes = (w + 7) / 8, whole = w / 64;
    const std::uint64_t last_mask = (w & 63) ? (std::uint64_t{1} << (w & 63)) - 1 : ~std::uint64_t{0};
    for (std::size_t y = 0; y < h; ++y) {
        const unsigned char *src = bits + y * stride;
        std::uint64_t *row = &bits_[(y + 1) * words_];
        // Page word k covers pixels 64k..64k+63; shifted by the frame it
        // lands on bit 1 of framed word k and spills into word k + 1.
        for (std::size_t k = 0; k * 64 < w; ++k) {
            const std::size_t at = k * 8;
            std::uint64_t x = load_word(src + at, bytes - at < 8 ? bytes - at : 8);
            if (k >= whole) x &= last_mask;
            row[k] |= x << 1;
            if (k + 1 < words_) row[k + 1] |= x >> 63;
        }
    }
    for (std::size_t y = 1; y < rows_; ++y)
        for (std::size_t k = 0; k < words_; ++k)
            tops_[y * words_ + k] = bits_[y * words_ + k] & ~bits_[(y - 1) * words_ + k];
    return true;
}

bool CrackTracer::keep_near_marks() {
    marks_.clear();
    filtering_ = true;
    if (width_ <= 0) return true;
    mark_rows_ = (static_cast<std::size_t>(height_) + 1) / 2;
    mark_cols_ = (static_cast<std::size_t>(width_) + 1) / 2;
    mark_words_ = (mark_cols_ + 63) / 64;
    return marks_.resize(mark_rows_ * mark_words_, 0);
}

void CrackTracer::mark(int x, int y) {
    if (marks_.empty() || x < 0 || y < 0 || x >= width_ || y >= height_) return;
    const std::size_t c = static_cast<std::size_t>(x) / 2, r = static_cast<std::size_t>(y) / 2;
    for (std::size_t j = r == 0 ? 0 : r - 1; j <= r + 1 && j < mark_rows_; ++j)
        for (std::size_t i = c == 0 ? 0 : c - 1; i <= c + 1 && i < mark_cols_; ++i)
            marks_[j * mark_words_ + (i >> 6)] |= std::uint64_t{1} << (i & 63);
}

bool CrackTracer::marked_span(std::size_t py, std::size_t from, std::size_t to) const {
    const std::uint64_t *row = &marks_[((py - 1) >> 1) * mark_words_];
    for (std::size_t c = (from - 1) >> 1, last = (to - 1) >> 1; c <= last; ++c)
        if ((row[c >> 6] >> (c & 63)) & 1) return true;
    return false;
}

int CrackTracer::next(Array<Corner> &ring) {
    const std::size_t total = words_ * rows_;
    while (scan_ < total) {
        const std::uint64_t t = tops_[scan_];
        if (!t) {
            ++scan_;
            continue;
        }
        const std::size_t px = (scan_ % words_) * 64 + static_cast<std::size_t>(__builtin_ctzll(t));
        bool near = !filtering_;
        if (!trace(px, scan_ / words_, ring, near)) return -1000;
        if (near) return 1;
    }
    return 0;
}

// Walks the border through the top edge of framed pixel (px, py).  Runs to
// the right and to the left are taken a word at a time: along a top edge
// the walk goes straight while the pixel ahead is black with white above,
// along a bottom edge while it is black with white below.  The walk ends
// when it is about to take its first edge again; every step takes a new
// directed edge of a finite set, so it ends.
bool CrackTracer::trace(std::size_t px, std::size_t py, Array<Corner> &ring, bool &near) {
    ring.clear();
    if (!ring.push({static_cast<int>(px) - 1, static_cast<int>(py) - 1})) return false;
    std::size_t cx = px, cy = py;
    int d = kEast;
    for (;;) {
        if (d == kEast) {
            // Top edges of pixels cx, cx + 1, ... while black below, white above.
            const std::uint64_t *row = &bits_[cy * words_], *above = &bits_[(cy - 1) * words_];
            std::size_t k = cx >> 6;
            std::uint64_t stop = ~(row[k] & ~above[k]) & from_bit(cx);
            while (!stop) {
                ++k;
                stop = ~(row[k] & ~above[k]);
            }
            const std::size_t end = k * 64 + static_cast<std::size_t>(__builtin_ctzll(stop));
            if (!near) near = marked_span(cy, cx, end - 1);
            // Those top edges are walked: clear them as starts.
            std::uint64_t *tops = &tops_[cy * words_];
            for (std::size_t j = cx >> 6; j <= (end - 1) >> 6; ++j) {
                std::uint64_t m = ~std::uint64_t{0};
                if (j == cx >> 6) m &= from_bit(cx);
                if (j == (end - 1) >> 6) m &= to_bit(end - 1);
                tops[j] &= ~m;
            }
            cx = end;
        } else if (d == kWest) {
            // Bottom edges of pixels cx - 1, cx - 2, ... while black above,
            // white below.
            const std::uint64_t *row = &bits_[(cy - 1) * words_], *below = &bits_[cy * words_];
            std::size_t k = (cx - 1) >> 6;
            std::uint64_t stop = ~(row[k] & ~below[k]) & to_bit(cx - 1);
            while (!stop) {
                --k;
                stop = ~(row[k] & ~below[k]);
            }
            const std::size_t end = k * 64 + 63 - static_cast<std::size_t>(__builtin_clzll(stop)) + 1;
            if (!near) near = marked_span(cy - 1, end, cx - 1);
            cx = end;
        } else {
            // The black pixel on the right of the step: west of a step
            // down, east of a step up.
            if (!near) near = d == kSouth ? marked(cx - 1, cy) : marked(cx, cy - 1);
            cy += kDy[d];
        }
        // Left first (a black pixel ahead on the left joins this area, also
        // across a corner), then straight on, else right.
        int turn;
        const bool ahead_left = black(cx + kLeftX[d], cy + kLeftY[d]);
        const bool ahead_right = black(cx + kRightX[d], cy + kRightY[d]);
        if (ahead_left && !ahead_right) turn = joins_black(cx, cy) ? (d + 3) & 3 : (d + 1) & 3;
        else if (ahead_left) turn = (d + 3) & 3;
        else if (ahead_right) turn = d;
        else turn = (d + 1) & 3;
        if (turn == d) continue;
        if (cx == px && cy == py && turn == kEast) return true;
        if (!ring.push({static_cast<int>(cx) - 1, static_cast<int>(cy) - 1})) return false;
        d = turn;
    }
}

}  // namespace ktv::refine
