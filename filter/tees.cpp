// Crowded T's kept on their through-line (see tees.h).  T's are found
// word-parallel by the one neighbourhood thinning leaves at a T (a few
// thousand on a large sheet); each is then judged pixel by pixel on the
// skeleton as thinned, and its pixel set at once.
#include "tees.h"

#include <cmath>
#include <cstdlib>
#include <initializer_list>

#include "bitplane.h"
#include "neighbourhood.h"
#include "pixels.h"

namespace qorfil {

namespace {

// The eight directions counter-clockwise from east, y down.
constexpr int kDx[8] = {1, 1, 0, -1, -1, -1, 0, 1};
constexpr int kDy[8] = {0, -1, -1, -1, 0, 1, 1, 1};
inline int turn(int d, int k) { return (d + k) & 7; }

constexpr int kArmReach = 4;           // an arm of the line is followed this many pixels at most ...
constexpr int kArmLength = 2;          // ... and must run on at least this far
constexpr double kStraightOn = -0.85;  // cosine of the two arms' ways at most: one line (32 degrees off at most)
constexpr double kAcross = 0.5;        // |cosine| of the stem's way to the line's at most (60 degrees off square)
constexpr int kCrowded = 2;            // another junction pixel this near (Chebyshev, px) crowds the T

// The through-line pixel set back: the line on either side, the stem.
inline int line_pixel(int d) { return 1 << turn(d, 2) | 1 << turn(d, 6) | 1 << turn(d, 4); }
// The neighbourhood thinning leaves at the top pixel of a stem whose line
// lies in direction d: the line's two pixels diagonal to it and the stem.
inline int stem_top(int d) { return 1 << turn(d, 1) | 1 << turn(d, 7) | 1 << turn(d, 4); }

// Pixel reads of the skeleton as thinning left it, white outside: a pixel
// set back by this pass reads white.
template <class Plane> class PlaneBits {
public:
    explicit PlaneBits(const Plane &p) : raw_(p) {}
    bool get(int x, int y) const { return raw_.get(x, y) && !set_back(x, y); }
    // Bit k set where the neighbour in direction k is black.
    int ring(int x, int y) const {
        int m = 0;
        for (int k = 0; k < 8; ++k) m |= get(x + kDx[k], y + kDy[k]) << k;
        return m;
    }
    void set(int x, int y) const { raw_.set(x, y, true); }

private:
    bool set_back(int x, int y) const {
        int m = 0;
        for (int k = 0; k < 8; ++k) m |= raw_.get(x + kDx[k], y + kDy[k]) << k;
        return m == line_pixel(0) || m == line_pixel(2) || m == line_pixel(4) || m == line_pixel(6);
    }

    Pixels<Plane> raw_;
};

template <class Plane> class Tees {
public:
    Tees(Plane &img, const unsigned char *document, int bytesperline)
        : skel_(img), document_(const_cast<unsigned char *>(document), img.width(), img.height(), bytesperline),
          doc_(document_) {}

    // Whether the pixel of a crowded T's line in direction d of the stem
    // top (x, y) is to be set back: the T qualifies, and no other T that
    // qualifies would set a pixel next to it.
    bool keeps(int x, int y, int d) const {
        if (skel_.ring(x, y) != stem_top(d) || !qualifies(x, y, d)) return false;
        const int tx = x + kDx[d], ty = y + kDy[d];
        for (int k = 0; k < 8; ++k)
            for (int e = 0; e < 8; e += 2) {
                const int bx = tx + kDx[k] - kDx[e], by = ty + kDy[k] - kDy[e];
                if ((bx != x || by != y) && skel_.get(bx, by) && skel_.ring(bx, by) == stem_top(e) &&
                    qualifies(bx, by, e))
                    return false;
            }
        return true;
    }
    void set(int x, int y, int d) const { skel_.set(x + kDx[d], y + kDy[d]); }

private:
    // Whether the stem top (x, y), its line in direction d, is a crowded T.
    bool qualifies(int x, int y, int d) const {
        const int tx = x + kDx[d], ty = y + kDy[d];
        if (!doc_.get(tx, ty) || !thin_line(x, y, d) || skel_.ring(tx, ty) != line_pixel(d)) return false;
        if (!crowded(x, y, d)) return false;
        int e1x, e1y, e2x, e2y, sx, sy;
        const int a1 = turn(d, 1), a2 = turn(d, 7), st = turn(d, 4);
        if (follow(x + kDx[a1], y + kDy[a1], x, y, e1x, e1y) < kArmLength ||
            follow(x + kDx[a2], y + kDy[a2], x, y, e2x, e2y) < kArmLength)
            return false;
        const double v1x = e1x - tx, v1y = e1y - ty, v2x = e2x - tx, v2y = e2y - ty;
        const double n1 = std::hypot(v1x, v1y), n2 = std::hypot(v2x, v2y);
        if (v1x * v2x + v1y * v2y > kStraightOn * n1 * n2) return false;
        if (follow(x + kDx[st], y + kDy[st], x, y, sx, sy) == 0) {
            // A stem of no pixel of its own is a tie whose other end is the
            // same T from the other side.
            return skel_.ring(x + kDx[st], y + kDy[st]) == stem_top(st);
        }
        const double v3x = sx - x, v3y = sy - y;
        return std::fabs(v1x * v3x + v1y * v3y) <= kAcross * n1 * std::hypot(v3x, v3y);
    }
    // The line was ink at most two pixels across at the T: nothing beyond
    // the pixel to set, and at each arm nothing past it and the pixel on
    // the stem's side.
    bool thin_line(int x, int y, int d) const {
        const int dx = kDx[d], dy = kDy[d];
        if (doc_.get(x + 2 * dx, y + 2 * dy)) return false;
        for (int a : {turn(d, 1), turn(d, 7)}) {
            const int ax = x + kDx[a], ay = y + kDy[a];
            if (doc_.get(ax + dx, ay + dy) || doc_.get(ax - 2 * dx, ay - 2 * dy)) return false;
        }
        return true;
    }
    // Another junction pixel (three or more neighbours) near the stem top,
    // its own line's pixels aside.
    bool crowded(int x, int y, int d) const {
        const int a1 = turn(d, 1), a2 = turn(d, 7);
        for (int py = y - kCrowded; py <= y + kCrowded; ++py)
            for (int px = x - kCrowded; px <= x + kCrowded; ++px) {
                if ((px == x && py == y) || (px == x + kDx[a1] && py == y + kDy[a1]) ||
                    (px == x + kDx[a2] && py == y + kDy[a2]) || !skel_.get(px, py))
                    continue;
                if (__builtin_popcount((unsigned)skel_.ring(px, py)) >= 3) return true;
            }
        return false;
    }
    // Follows the skeleton from (x, y), which leaves the T at (tx, ty), while
    // it runs on as one line, kArmReach pixels at most.  Returns the pixels
    // gone and where it stopped.  A step never goes back next to the pixel
    // it came from or next to the T.
    int follow(int x, int y, int tx, int ty, int &ex, int &ey) const {
        int steps = 0, fx = tx, fy = ty;
        while (steps < kArmReach) {
            int count = 0, nx = 0, ny = 0;
            for (int k = 0; k < 8; ++k) {
                const int qx = x + kDx[k], qy = y + kDy[k];
                if (!skel_.get(qx, qy) || (std::abs(qx - fx) <= 1 && std::abs(qy - fy) <= 1) ||
                    (std::abs(qx - tx) <= 1 && std::abs(qy - ty) <= 1))
                    continue;
                ++count, nx = qx, ny = qy;
            }
            if (count != 1) break;
            fx = x, fy = y, x = nx, y = ny;
            ++steps;
        }
        ex = x, ey = y;
        return steps;
    }

    PlaneBits<Plane> skel_;
    const ByteRowPlane document_;  // read only
    Pixels<ByteRowPlane> doc_;
};

}  // namespace

template <class Plane> long keep_tees_on_line(Plane &img, const unsigned char *document, int bytesperline) {
    const int h = img.height(), nw = img.words();
    const Tees<Plane> tees(img, document, bytesperline);
    long set = 0;
    for (int y = 0; y < h; ++y) {
        const typename Plane::Row up = img.row(y - 1), mid = img.row(y), down = img.row(y + 1);
        for (int k = 0; k < nw; ++k) {
            if (!mid.at(k)) continue;
            const Neighbours b = gather(up, mid, down, k);
            // Stem tops: exactly the line's two diagonals and the stem (as
            // read here, with the pixels set back so far; keeps() reads past
            // them).
            const Word top[4] = {
                b.c & b.ne & b.se & b.w & ~(b.n | b.s | b.e | b.nw | b.sw),  // line east
                b.c & b.nw & b.ne & b.s & ~(b.n | b.e | b.w | b.sw | b.se),  // line north
                b.c & b.nw & b.sw & b.e & ~(b.n | b.s | b.w | b.ne | b.se),  // line west
                b.c & b.sw & b.se & b.n & ~(b.s | b.e | b.w | b.nw | b.ne),  // line south
            };
            for (int i = 0; i < 4; ++i)
                for (Word m = top[i]; m; m &= m - 1) {
                    const int x = 64 * k + 63 - __builtin_ctzll(m);
                    if (tees.keeps(x, y, 2 * i)) tees.set(x, y, 2 * i), ++set;
                }
        }
    }
    return set;
}

template long keep_tees_on_line<WordPlane>(WordPlane &, const unsigned char *, int);
template long keep_tees_on_line<ByteRowPlane>(ByteRowPlane &, const unsigned char *, int);

}  // namespace qorfil
