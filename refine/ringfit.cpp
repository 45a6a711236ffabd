// Sides of a polygon along a crack chain.
//
// A straight edge of the ink, sampled by pixel centres, shows as a
// staircase of cracks: its turning corners lie within half a pixel on
// either side of the true edge, and the cracks between them average out to
// it.  So the chain is cut into sides, each as long as a straight line
// still explains it: the least-squares line of the side's cracks (taken as
// a uniform density along the chain) must pass within `corner` of every
// turning corner of the side as they are added and of its first one, and
// the cracks must stay within `spread` of it on average.  A side grows
// greedily, run by run, and never holds runs in all four directions (no
// straight line turns back on itself).  Each vertex is then where the lines
// of its two sides cross, held within `reach` of the chain corner between
// them.
//
// The chain is closed, so the first side is grown from the chain's start
// only to find where a side ends; the sides are then laid from that corner
// round to it again.  Every run is added once per side that takes it and
// once more when a side stops at it, so the work is linear in the chain.
#include "refine/ringfit.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace ktv::refine {

namespace {

// Moments of a chain piece taken as a uniform density of length along its
// cracks, in coordinates relative to a local origin (small numbers, so the
// central moments keep their precision).
struct Moments {
    double length = 0, sx = 0, sy = 0, sxx = 0, sxy = 0, syy = 0;

    // The straight run of `steps` px from p along the axis direction (dx, dy).
    void add(double px, double py, int dx, int dy, double steps) {
        static const bool dev_mid = std::getenv("OMID") && std::atoi(std::getenv("OMID"));
        if (dev_mid) {
            const double mx = px + 0.5 * dx * steps, my = py + 0.5 * dy * steps;
            length += steps;
            sx += steps * mx;
            sy += steps * my;
            sxx += steps * mx * mx;
            syy += steps * my * my;
            sxy += steps * mx * my;
            return;
        }
        const double h = steps * steps / 2, q = steps * steps * steps / 3;
        length += steps;
        sx += steps * px + dx * h;
        sy += steps * py + dy * h;
        sxx += steps * px * px + 2 * px * dx * h + dx * dx * q;
        syy += steps * py * py + 2 * py * dy * h + dy * dy * q;
        sxy += steps * px * py + (px * dy + py * dx) * h + dx * dy * q;
    }
};

// The least-squares line of a piece: through its centroid along its major
// axis; `spread` is the mean squared distance from it.
struct Fitted {
    Vec2 centre, dir;
    double spread = 0;
};

Fitted fit_line(const Moments &m, Vec2 chord) {
    Fitted f;
    const double inv = 1 / m.length;
    f.centre = {m.sx * inv, m.sy * inv};
    const double a = m.sxx * inv - f.centre.x * f.centre.x, b = m.sxy * inv - f.centre.x * f.centre.y,
                 c = m.syy * inv - f.centre.y * f.centre.y;
    const double h = 0.5 * (a - c), root = std::sqrt(h * h + b * b);
    f.spread = std::max(0.0, 0.5 * (a + c) - root);
    // Eigenvector of the larger eigenvalue; a round piece has none and
    // takes its chord.
    const Vec2 major = h >= 0 ? Vec2{h + root, b} : Vec2{b, root - h};
    const double len = norm(major);
    f.dir = len > 1e-9 ? major * (1 / len) : unit(chord);
    return f;
}

int direction_bit(int dx, int dy) { return dx > 0 ? 1 : dx < 0 ? 4 : dy > 0 ? 2 : 8; }

Vec2 node_frame(const Corner &c) { return {c.x - 0.5, c.y - 0.5}; }

}  // namespace

// Grows a side from corner `first` over at most `limit` runs; returns the
// runs it took (at least one) and its line.
int RingFitter::grow(const Array<Corner> &ring, int first, int limit, Line &line) {
    const int n = static_cast<int>(ring.size());
    const Corner origin = ring[static_cast<std::size_t>(first)];
    static const int dev_opposite = static_cast<int>(std::getenv("OOPP") ? std::atoi(std::getenv("OOPP")) : 1);
    static const int dev_notch = static_cast<int>(std::getenv("ON") ? std::atoi(std::getenv("ON")) : 1);
    Moments m;
    int mask = 0, k = 0;
    strip_.reset(2 * limits_.corner);
    strip_.add({0, 0});
    for (; k < limit; ++k) {
        int j = first + k;
        if (j >= n) j -= n;
        const Corner &p = ring[static_cast<std::size_t>(j)];
        const Corner &q = ring[static_cast<std::size_t>(j + 1 < n ? j + 1 : 0)];
        const int dx = (q.x > p.x) - (q.x < p.x), dy = (q.y > p.y) - (q.y < p.y);
        const int steps = std::abs(q.x - p.x) + std::abs(q.y - p.y);
        const int bit = direction_bit(dx, dy);
        const int grown = mask | bit;
        if (k > 0) {
            if (grown == 15) break;
            // the opposite of this run's direction is already in the side
            const int opposite = bit < 4 ? bit << 2 : bit >> 2;
            if ((mask & opposite) && (dev_opposite || steps > dev_notch)) break;
        }
        const Vec2 pr{static_cast<double>(p.x - origin.x), static_cast<double>(p.y - origin.y)};
        const Vec2 qr{static_cast<double>(q.x - origin.x), static_cast<double>(q.y - origin.y)};
        if (k > 0 && !strip_.add(qr)) { if (std::getenv("ODBG")) fprintf(stderr, "  strip break k=%d\n", k); break; }
        if (k == 0) strip_.add(qr);
        Moments t = m;
        t.add(pr.x, pr.y, dx, dy, steps);
        static const int dev_minruns = static_cast<int>(std::getenv("OMR") ? std::atoi(std::getenv("OMR")) : 2);
        if (k >= dev_minruns) {
            const Fitted f = fit_line(t, qr);
            if (strip_.farthest(f.centre, f.dir) > limits_.reach_dev || f.spread > limits_.spread * limits_.spread) { if (std::getenv("ODBG")) fprintf(stderr, "  lsq break k=%d far %g centre %g %g dir %g %g\n", k, strip_.farthest(f.centre, f.dir), f.centre.x, f.centre.y, f.dir.x, f.dir.y); break; }
        }
        m = t;
        mask = grown;
    }
    const Corner &last = ring[static_cast<std::size_t>((first + k) % n)];
    const Fitted best = fit_line(m, {static_cast<double>(last.x - origin.x), static_cast<double>(last.y - origin.y)});
    line.at = node_frame(origin) + best.centre;
    line.dir = best.dir;
    line.weight = m.length;
    return k;
}

bool RingFitter::fit(const Array<Corner> &ring, Array<Vec2> &polygon) {
    polygon.clear();
    sides_.clear();
    const int n = static_cast<int>(ring.size());
    auto raw = [&]() {
        polygon.clear();
        for (const Corner &c : ring)
            if (!polygon.push(node_frame(c))) return false;
        return true;
    };
    static const bool dev_raw = std::getenv("ORAW") != nullptr;
    if (n < 4 || dev_raw) return raw();
    if (!strip_.reserve(ring.size() + 1)) return false;
    Line line;
    const int start = grow(ring, 0, n, line);
    if (start >= n) return raw();
    for (int at = start, covered = 0; covered < n;) {
        const int runs = grow(ring, at, n - covered, line);
        if (!sides_.push({at, runs, line})) return false;
        if (std::getenv("ODBG")) fprintf(stderr, "side at %d (%d,%d) runs %d\n", at, ring[at].x, ring[at].y, runs);
        covered += runs;
        at = (at + runs) % n;
    }
    const std::size_t sides = sides_.size();
    if (sides < 3) return raw();
    for (std::size_t i = 0; i < sides; ++i) {
        const Side &a = sides_[i == 0 ? sides - 1 : i - 1], &b = sides_[i];
        const Vec2 c = node_frame(ring[static_cast<std::size_t>(b.first)]);
        // Where the two lines cross, or, for lines too near parallel or
        // crossing too far away, the middle of the corner's feet on them.
        Vec2 v;
        const double det = cross(a.line.dir, b.line.dir);
        bool crossed = false;
        if (std::fabs(det) > 1e-6) {
            const double s = cross(b.line.at - a.line.at, b.line.dir) / det;
            v = a.line.at + a.line.dir * s;
            crossed = norm(v - c) <= limits_.reach;
        }
        if (!crossed) {
            const Vec2 fa = a.line.at + a.line.dir * dot(c - a.line.at, a.line.dir);
            const Vec2 fb = b.line.at + b.line.dir * dot(c - b.line.at, b.line.dir);
            static const int dev_two = std::getenv("OTWO") ? std::atoi(std::getenv("OTWO")) : 1;
            if (dev_two && norm(fb - fa) > 0.05) {
                if (!polygon.push(fa)) return false;
                v = fb;
            } else {
                v = (fa + fb) * 0.5;
            }
        }
        if (!polygon.push(v)) return false;
    }
    return true;
}

}  // namespace ktv::refine
