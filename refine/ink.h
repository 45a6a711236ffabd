// Read-only view of the document bitmap for the sub-pixel stage, and the
// ray walks it is measured with.
//
// Pixel (i, j) is the square [i - 0.5, i + 0.5] x [j - 0.5, j + 0.5], so the
// node frame (pixel centres at integers) is also the frame of the squares.
// A ray crosses the squares' edges at exactly computable distances, which is
// where the ink of a 1-bit drawing begins and ends: a walk from square to
// square (a digital differential analyser) gives the edges of the ink along
// any direction with no sampling error and one bitmap read per square.
#ifndef KTVEC_REFINE_INK_H
#define KTVEC_REFINE_INK_H

#include <cmath>
#include <cstddef>

#include "refine/vec2.h"

namespace ktv::refine {

constexpr double kNoEdge = 1e30;  // a walk that met no edge within its reach
// A piece of ink on its own with fewer pixels is dust, not a mark of the
// drawing (a dot, a period): the drivers drop up to 5 pixels, two specks
// that touch make more.  The refined centre lines and outlines give the
// marks the drivers dropped back.
constexpr std::size_t kMinMark = 9;

// A pixel by its column and row.
struct Pixel {
    int x, y;
    Vec2 centre() const { return {double(x), double(y)}; }  // in the node frame
};

class Ink {
public:
    Ink(const unsigned char *bits, int width, int height, std::size_t stride)
        : bits_(bits), width_(width), height_(height), stride_(stride) {}

    int width() const { return width_; }
    int height() const { return height_; }
    // Row y of the bitmap, ceil(width / 8) bytes that count, MSB first; null
    // without a bitmap.
    const unsigned char *row(int y) const {
        return bits_ ? bits_ + static_cast<std::size_t>(y) * stride_ : nullptr;
    }

    // Black at pixel (x, y); everything outside the bitmap is white.
    bool at(int x, int y) const {
        if (!bits_ || x < 0 || y < 0 || x >= width_ || y >= height_) return false;
        return (bits_[static_cast<std::size_t>(y) * stride_ + static_cast<std::size_t>(x >> 3)] >> (7 - (x & 7))) & 1;
    }
    static int pixel(double c) { return static_cast<int>(std::floor(c + 0.5)); }
    bool at(Vec2 p) const { return at(pixel(p.x), pixel(p.y)); }

    // Distance along the unit direction d from p to the first square whose
    // colour is `black`, or kNoEdge when there is none within `reach`.  The
    // square p lies in is not looked at.
    double edge(Vec2 p, Vec2 d, double reach, bool black) const;
    // Whether the straight way from a to b crosses no white square.
    bool black_between(Vec2 a, Vec2 b) const {
        const double length = norm(b - a);
        return edge(a, unit(b - a), length + 1, false) >= length;
    }

private:
    const unsigned char *bits_;
    int width_, height_;
    std::size_t stride_;
};

// The run of black squares a line crosses: from lo to hi along its unit
// direction, measured from the point it was asked at.
struct Run {
    double lo = 0, hi = 0;
    double width() const { return hi - lo; }
    double middle() const { return 0.5 * (lo + hi); }
};

// The black run across p along the unit direction n: the one that holds p,
// or when p is white the nearer one within `reach` on either side.  False
// when there is none, or when it does not end within `reach` of p.
bool run_across(const Ink &ink, Vec2 p, Vec2 n, double reach, Run &run);

}  // namespace ktv::refine

#endif
