// The borders of the black areas of a 1-bit page, as closed chains along
// the edges between black and white pixels (the cracks).
//
// Every border of an 8-connected black area, outer or around a hole, is one
// closed chain of unit steps between pixel corners, walked with the black
// pixels on the right (so outer borders run clockwise on the screen, holes
// anticlockwise).  Where two black pixels touch only at a corner the walk
// turns towards the black one ahead, which keeps them in one area: black is
// 8-connected, white 4-connected, and every border is a simple cycle of
// directed edges, each edge in exactly one cycle.
//
// A chain is kept as the corners where it turns; the straight runs between
// them are implied.  Corner (x, y) is the top-left corner of pixel (x, y),
// the point (x - 0.5, y - 0.5) in the node frame.
#ifndef KTVEC_REFINE_CRACK_H
#define KTVEC_REFINE_CRACK_H

#include <cstddef>
#include <cstdint>

#include "refine/array.h"

namespace ktv::refine {

struct Corner {
    int x, y;  // pixel corner, 0..width x 0..height
};

class CrackTracer {
public:
    // Takes a packed copy of the page (1 = black, most significant bit
    // first, `stride` bytes per row) with a white frame around it, and marks
    // where borders may start.  False when memory runs out.
    bool start(const unsigned char *bits, int width, int height, std::size_t stride);

    // After start(): from now on only borders that pass near a marked
    // point are given (none until one is marked).  Marks are kept in cells
    // of 2 x 2 pixels; pixel (x, y) marks its cell and the eight around it,
    // and a border is near when one of its black pixels lies in a marked
    // cell, so within 2 to 4 px.  False when memory runs out.
    bool keep_near_marks();
    void mark(int x, int y);

    // The next border in raster order of its first top edge: its turning
    // corners, the first one the top-left corner of its start edge (walked
    // to the right).  1 with `ring` filled, 0 when every border has been
    // given, -1000 when memory runs out (`ring` then holds a partial chain).
    int next(Array<Corner> &ring);

private:
    bool black(std::size_t px, std::size_t py) const {
        return (bits_[py * words_ + (px >> 6)] >> (px & 63)) & 1;
    }
    bool joins_black(std::size_t cx, std::size_t cy) const;
    // Whether framed pixel (px, py), or one of row py from `from` to `to`,
    // lies in a marked cell.
    bool marked(std::size_t px, std::size_t py) const { return marked_span(py, px, px); }
    bool marked_span(std::size_t py, std::size_t from, std::size_t to) const;
    bool trace(std::size_t px, std::size_t py, Array<Corner> &ring, bool &near);

    // The page with one white pixel of frame on every side, 64 pixels a
    // word, pixel x of a row at bit x + 1 (least significant first).
    Array<std::uint64_t> bits_;
    // Top edges not yet walked: black pixels with white above.  Every
    // border holds at least one, and its walk clears all of its own.
    Array<std::uint64_t> tops_;
    std::size_t words_ = 0;   // words per framed row
    std::size_t rows_ = 0;    // framed rows
    std::size_t scan_ = 0;    // next word of tops_ to look at
    // Marked cells, one bit each, mark_words_ words per row of cells;
    // empty while every border is given.
    Array<std::uint64_t> marks_;
    std::size_t mark_words_ = 0, mark_rows_ = 0, mark_cols_ = 0;
    bool filtering_ = false;
    int width_ = 0, height_ = 0;
};

}  // namespace ktv::refine

#endif
