#include "refine/crack.h"

#include <cstring>

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

// Bits at positions >= p (mod 64).
std::uint64_t from_bit(std::size_t p) { return ~std::uint64_t{0} << (p & 63); }
// Bits at positions <= p (mod 64).
std::uint64_t to_bit(std::size_t p) {
    return (p & 63) == 63 ? ~std::uint64_t{0} : (std::uint64_t{1} << ((p & 63) + 1)) - 1;
}

void set_span(std::uint64_t *row, std::size_t from, std::size_t to) {  // bits from..to
    for (std::size_t j = from >> 6; j <= to >> 6; ++j) {
        std::uint64_t m = ~std::uint64_t{0};
        if (j == from >> 6) m &= from_bit(from);
        if (j == to >> 6) m &= to_bit(to);
        row[j] |= m;
    }
}

// The area a chain encloses, in pixels: positive for an outer
// border (clockwise on the screen), negative for a hole.  The turning
// corners are enough, the runs between them are straight.
double enclosed(const Array<Corner> &ring) {
    double twice = 0;
    for (std::size_t k = 0; k < ring.size(); ++k) {
        const Corner &a = ring[k], &b = ring[k + 1 < ring.size() ? k + 1 : 0];
        twice += static_cast<double>(a.x) * b.y - static_cast<double>(b.x) * a.y;
    }
    return 0.5 * twice;
}

}  // namespace

std::uint64_t CrackTracer::word(int y, std::size_t k) const {
    if (y < 0 || y >= height_ || k >= words_) return 0;
    const unsigned char *p = bits_ + static_cast<std::size_t>(y) * stride_ + k * 8;
    const std::size_t bytes = (static_cast<std::size_t>(width_) + 7) / 8 - k * 8;
    std::uint64_t x = 0;
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
    if (bytes >= 8) std::memcpy(&x, p, 8);
    else
#endif
        for (std::size_t i = 0; i < bytes && i < 8; ++i) x |= static_cast<std::uint64_t>(p[i]) << (8 * i);
    // Reverse the bits of each byte: the first pixel of a byte is its most
    // significant bit.
    x = ((x >> 1) & 0x5555555555555555ull) | ((x & 0x5555555555555555ull) << 1);
    x = ((x >> 2) & 0x3333333333333333ull) | ((x & 0x3333333333333333ull) << 2);
    x = ((x >> 4) & 0x0F0F0F0F0F0F0F0Full) | ((x & 0x0F0F0F0F0F0F0F0Full) << 4);
    return k + 1 == words_ ? x & last_mask_ : x;
}

std::uint64_t CrackTracer::raw_word(int y, std::size_t k) const {
    std::uint64_t x;
    std::memcpy(&x, bits_ + static_cast<std::size_t>(y) * stride_ + k * 8, 8);
    return x;
}

// Two black pixels that touch only at corner (cx, cy), with white in the
// other two, belong to one area when black is the rarer colour in the 4 x 4
// pixels about the corner (a thin dark line drawn at a slant), and to two
// areas when white is (a thin gap between two dark areas).  The window is
// centred on the corner, so both walks through it decide alike.
bool CrackTracer::joins_black(int cx, int cy) const {
    int count = 0;
    for (int y = cy - 2; y < cy + 2; ++y)
        for (int x = cx - 2; x < cx + 2; ++x) count += black(x, y);
    return count <= 8;
}

bool CrackTracer::start(const unsigned char *bits, int width, int height, std::size_t stride) {
    walked_.clear();
    first_run_.clear();
    marks_.clear();
    filtering_ = false;
    bits_ = nullptr;
    width_ = height_ = scan_y_ = 0;
    stride_ = words_ = scan_k_ = mark_words_ = mark_rows_ = mark_cols_ = 0;
    if (!bits || width <= 0 || height <= 0) return true;
    bits_ = bits;
    width_ = width;
    height_ = height;
    stride_ = stride;
    words_ = (static_cast<std::size_t>(width) + 63) / 64;
    last_mask_ = (width & 63) ? (std::uint64_t{1} << (width & 63)) - 1 : ~std::uint64_t{0};
    runs_.clear();
    if (!walked_.resize(words_, 0) || !first_run_.resize(static_cast<std::size_t>(height), -1)) {
        bits_ = nullptr;
        width_ = height_ = 0;
        return false;
    }
    enter_row(0);
    return true;
}

void CrackTracer::enter_row(int y) {
    for (std::uint64_t &w : walked_) w = 0;
    if (y >= height_) return;
    for (int r = first_run_[static_cast<std::size_t>(y)]; r >= 0; r = runs_[static_cast<std::size_t>(r)].next)
        set_span(walked_.data(), static_cast<std::size_t>(runs_[static_cast<std::size_t>(r)].from),
                 static_cast<std::size_t>(runs_[static_cast<std::size_t>(r)].to - 1));
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

bool CrackTracer::keep_pieces_of(std::size_t pixels) {
    min_piece_ = pixels;
    vetoes_.clear();
    return vetoes_.resize(marks_.size(), 0);
}

void CrackTracer::set_cells(Array<std::uint64_t> &cells, int x, int y) {
    if (cells.empty() || x < 0 || y < 0 || x >= width_ || y >= height_) return;
    const std::size_t c = static_cast<std::size_t>(x) / 2, r = static_cast<std::size_t>(y) / 2;
    for (std::size_t j = r == 0 ? 0 : r - 1; j <= r + 1 && j < mark_rows_; ++j)
        for (std::size_t i = c == 0 ? 0 : c - 1; i <= c + 1 && i < mark_cols_; ++i)
            cells[j * mark_words_ + (i >> 6)] |= std::uint64_t{1} << (i & 63);
}

bool CrackTracer::any_cell(const Array<std::uint64_t> &cells, int y, int from, int to) const {
    if (cells.empty()) return false;
    const std::uint64_t *row = &cells[static_cast<std::size_t>(y >> 1) * mark_words_];
    for (std::size_t c = static_cast<std::size_t>(from >> 1), last = static_cast<std::size_t>(to >> 1); c <= last; ++c)
        if ((row[c >> 6] >> (c & 63)) & 1) return true;
    return false;
}

int CrackTracer::next(Array<Corner> &ring) {
    while (scan_y_ < height_) {
        // Most of a drawing is white: a word with no ink is passed over
        // before its bits are put in order.
        const std::uint64_t here = scan_k_ + 1 < words_ ? raw_word(scan_y_, scan_k_) : word(scan_y_, scan_k_);
        const std::uint64_t tops =
            here ? word(scan_y_, scan_k_) & ~word(scan_y_ - 1, scan_k_) & ~walked_[scan_k_] : 0;
        if (!tops) {
            if (++scan_k_ == words_) {
                scan_k_ = 0;
                enter_row(++scan_y_);
            }
            continue;
        }
        const int x = static_cast<int>(scan_k_ * 64) + __builtin_ctzll(tops);
        bool near = !filtering_, vetoed = false;
        if (!trace(x, scan_y_, ring, near, vetoed)) return -1000;
        if (near) return 1;
        if (min_piece_ > 0 && !vetoed && enclosed(ring) >= static_cast<double>(min_piece_)) {
            // The piece stands for itself: its holes, traced later, are near it.
            for (const Corner &c : ring) mark(c.x < width_ ? c.x : width_ - 1, c.y < height_ ? c.y : height_ - 1);
            return 1;
        }
    }
    return 0;
}

// Walks the border through the top edge of pixel (sx, sy).  Runs to the
// right and to the left are taken a word at a time: along a top edge the
// walk goes straight while the pixel ahead is black with white above, along
// a bottom edge while it is black with white below.  The walk ends when it
// is about to take its first edge again; every step takes a new directed
// edge of a finite set, so it ends.
bool CrackTracer::trace(int sx, int sy, Array<Corner> &ring, bool &near, bool &vetoed) {
    ring.clear();
    if (!ring.push({sx, sy})) return false;
    int cx = sx, cy = sy, d = kEast;
    for (;;) {
        if (d == kEast) {
            // Top edges of pixels cx, cx + 1, ... while black below, white
            // above; past the page every word is white, so the run stops.
            // Most runs of a ragged border are a pixel or two long.
            int end = cx + 1;
            if (black(end, cy) && !black(end, cy - 1)) {
                std::size_t k = static_cast<std::size_t>(end) >> 6;
                std::uint64_t stop = ~(word(cy, k) & ~word(cy - 1, k)) & from_bit(static_cast<std::size_t>(end));
                while (!stop) {
                    ++k;
                    stop = ~(word(cy, k) & ~word(cy - 1, k));
                }
                end = static_cast<int>(k * 64) + __builtin_ctzll(stop);
            }
            look(cy, cx, end - 1, near, vetoed);
            if (cy == scan_y_) {
                set_span(walked_.data(), static_cast<std::size_t>(cx), static_cast<std::size_t>(end - 1));
            } else {
                int &head = first_run_[static_cast<std::size_t>(cy)];
                if (!runs_.push({cx, end, head})) return false;
                head = static_cast<int>(runs_.size() - 1);
            }
            cx = end;
        } else if (d == kWest) {
            // Bottom edges of pixels cx - 1, cx - 2, ... while black above,
            // white below; the run stops at the page's left edge at the latest.
            int end = cx - 1;
            if (black(end - 1, cy - 1) && !black(end - 1, cy)) {
                std::size_t k = static_cast<std::size_t>(end - 1) >> 6;
                std::uint64_t stop = ~(word(cy - 1, k) & ~word(cy, k)) & to_bit(static_cast<std::size_t>(end - 1));
                while (!stop && k > 0) {
                    --k;
                    stop = ~(word(cy - 1, k) & ~word(cy, k));
                }
                end = stop ? static_cast<int>(k * 64) + 64 - __builtin_clzll(stop) : 0;
            }
            look(cy - 1, end, cx - 1, near, vetoed);
            cx = end;
        } else {
            // The black pixel on the right of the step: west of a step
            // down, east of a step up.
            if (d == kSouth) look(cy, cx - 1, cx - 1, near, vetoed);
            else look(cy - 1, cx, cx, near, vetoed);
            cy += kDy[d];
        }
        // Left first (a black pixel ahead on the left joins this area, also
        // across a corner when black is the rarer colour there), then
        // straight on, else right.
        int turn;
        const bool ahead_left = black(cx + kLeftX[d], cy + kLeftY[d]);
        const bool ahead_right = black(cx + kRightX[d], cy + kRightY[d]);
        if (ahead_left && !ahead_right) turn = joins_black(cx, cy) ? (d + 3) & 3 : (d + 1) & 3;
        else if (ahead_left) turn = (d + 3) & 3;
        else if (ahead_right) turn = d;
        else turn = (d + 1) & 3;
        if (turn == d) continue;
        if (cx == sx && cy == sy && turn == kEast) return true;
        if (!ring.push({cx, cy})) return false;
        d = turn;
    }
}

}  // namespace ktv::refine
