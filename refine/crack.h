// The borders of the black areas of a 1-bit page, as closed chains along
// the edges between black and white pixels (the cracks).
//
// Every border of a black area, outer or around a hole, is one closed
// chain of unit steps between pixel corners, walked with the black pixels
// on the right (so outer borders run clockwise on the screen, holes
// anticlockwise).  Two black pixels that touch only at a corner belong to
// one area when black is the rarer colour around that corner (a thin line
// drawn at a slant) and to two when white is (a thin gap between two dark
// areas), so every border is a simple cycle of directed edges and each edge
// lies in exactly one cycle.
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
    // Reads the page `bits` (1 = black, most significant bit first, `stride`
    // bytes per row; it must stay unchanged while borders are taken) and
    // makes room to remember the walked edges.  Pixels outside the page are
    // white.  False when memory runs out.
    bool start(const unsigned char *bits, int width, int height, std::size_t stride);

    // After start(): from now on only borders that pass near a marked
    // point are given (none until one is marked).  Marks are kept in cells
    // of 2 x 2 pixels; pixel (x, y) marks its cell and the eight around it,
    // and a border is near when one of its black pixels lies in a marked
    // cell, so within 2 to 4 px.  False when memory runs out.
    bool keep_near_marks();
    void mark(int x, int y) { set_cells(marks_, x, y); }
    // After keep_near_marks(): an outer border that passes near no mark and
    // near no veto (kept as marks are) is still given when it encloses at
    // least `pixels` pixels, and its corners are marked, so that its holes
    // are given too.  False when memory runs out.
    bool keep_pieces_of(std::size_t pixels);
    void veto(int x, int y) { set_cells(vetoes_, x, y); }

    // The next border in raster order of its first top edge: its turning
    // corners, the first one the top-left corner of its start edge (walked
    // to the right).  1 with `ring` filled, 0 when every border has been
    // given, -1000 when memory runs out (`ring` then holds a partial chain).
    int next(Array<Corner> &ring);

private:
    bool black(int x, int y) const {
        if (x < 0 || y < 0 || x >= width_ || y >= height_) return false;
        return (bits_[static_cast<std::size_t>(y) * stride_ + static_cast<std::size_t>(x >> 3)] >> (7 - (x & 7))) & 1;
    }
    // Pixels 64k .. 64k + 63 of row y, the first in the least significant
    // bit; 0 outside the page.
    std::uint64_t word(int y, std::size_t k) const;
    // The eight bytes of word k of row y as stored (k not the row's last
    // word, whose bytes may end early): non-zero when they hold ink.
    std::uint64_t raw_word(int y, std::size_t k) const;
    bool joins_black(int cx, int cy) const;
    // Marks the cell of pixel (x, y) and the eight around it in `cells`
    // (nothing when it is empty).
    void set_cells(Array<std::uint64_t> &cells, int x, int y);
    // Whether a cell of pixels from..to of row y is set in `cells`.
    bool any_cell(const Array<std::uint64_t> &cells, int y, int from, int to) const;
    // Walks a border; `near` and `vetoed` become true when it passes near
    // a mark or a veto (`vetoed` is only looked for while `near` is false).
    bool trace(int sx, int sy, Array<Corner> &ring, bool &near, bool &vetoed);
    void look(int y, int from, int to, bool &near, bool &vetoed) const {
        if (near) return;
        near = any_cell(marks_, y, from, to);
        if (!vetoed && !vetoes_.empty()) vetoed = any_cell(vetoes_, y, from, to);
    }

    const unsigned char *bits_ = nullptr;
    int width_ = 0, height_ = 0;
    std::size_t stride_ = 0;
    std::size_t words_ = 0;            // words per row
    std::uint64_t last_mask_ = 0;      // pixels of the last word inside the page
    // Top edges already walked.  Every border holds top edges, and the
    // first one met in raster order that is not walked yet starts a new
    // border, which lies wholly on that row and below; so the walked runs
    // of the rows below the scan wait in a list per row (few: one per
    // stretch of top edges) and become a bit row when the scan gets there.
    struct WalkedRun {
        int from, to;  // pixels from .. to - 1
        int next;      // next run of the same row, or -1
    };
    Array<int> first_run_;             // per row: its first waiting run, or -1
    Array<WalkedRun> runs_;
    Array<std::uint64_t> walked_;      // the scan row's walked top edges, one bit per pixel
    int scan_y_ = 0;
    std::size_t scan_k_ = 0;
    void enter_row(int y);
    // Marked and vetoed cells, one bit each, mark_words_ words per row of
    // cells.
    Array<std::uint64_t> marks_, vetoes_;
    std::size_t mark_words_ = 0, mark_rows_ = 0, mark_cols_ = 0;
    bool filtering_ = false;
    std::size_t min_piece_ = 0;
};

}  // namespace ktv::refine

#endif
