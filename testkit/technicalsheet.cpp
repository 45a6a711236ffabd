// Technical sheets of known vectors: the figures of CAD views, schematics
// and elevations that the plain sheets lack, each turned at random.  They
// are drawn with two pens, outlines thick and marks thin, as a CAD view
// draws them, and each figure is one where the ink shows the strokes
// meeting other than where they truly meet:
//   - a dimension: open arrowheads whose sides run merged with the
//     dimension line to a tip on an extension line (five strokes meet);
//   - the centre mark of a hole: thin arms standing out of a thick ring;
//   - fillets: arcs tangent to the lines they round (no junction);
//   - a hatched section: thin lines ending on a thick frame at a slant;
//   - a narrow V (the two strokes merge up to the point);
//   - an inductor: loops meeting in cusps, with its leads;
//   - a leader: a line with an arrowhead to a point on a thick circle, and
//     its shoulder;
//   - an X in a box (a shaft or a void on a plan): diagonals running into
//     the box's corners at 20 to 36 degrees to its long sides.
#include <algorithm>
#include <cmath>

#include "groundtruth.h"
#include "tiles.h"
#include "vectorizer/geometry.h"

namespace ktvdraw {

namespace {
using ktv::kPi;

class Figures {
public:
    Figures(Canvas &c, Rng &rng, double thick, double thin) : c_(c), rng_(rng), thick_(thick), thin_(thin) {}

    void draw(int kind, double tx, double ty) {
        cx_ = tx + kTile / 2;
        cy_ = ty + kTile / 2;
        turn_ = rng_.uniform(0, 2 * kPi);
        switch (kind % 8) {
        case 0: dimension(); break;
        case 1: centre_mark(); break;
        case 2: fillets(); break;
        case 3: hatched(); break;
        case 4: vee(); break;
        case 5: inductor(); break;
        case 6: leader(); break;
        default: crossed_box(); break;
        }
    }

private:
    // Tile coordinates (u along the turned axis, v across it, from the
    // tile's centre) to the page.
    Point at(double u, double v) const {
        const double c = std::cos(turn_), s = std::sin(turn_);
        return {cx_ + u * c - v * s, cy_ + u * s + v * c};
    }
    void line(double u0, double v0, double u1, double v1, double w) {
        const Point a = at(u0, v0), b = at(u1, v1);
        c_.thick_line(a.x, a.y, b.x, b.y, w);
    }
    // An arc about tile point (u, v), its angles in tile coordinates.
    void arc(double u, double v, double r, double a0, double a1, double w) {
        const Point o = at(u, v);
        c_.thick_arc(o.x, o.y, r, a0 + turn_, a1 + turn_, w);
    }
    // An open arrowhead with its tip at tile point (u, v), its sides
    // leaving along tile direction `a`.
    void arrowhead(double u, double v, double a, double w) {
        const double half = rng_.uniform(15, 20) * kPi / 180, length = std::max(12.0, 5 * w + 6);
        for (const double side : {a - half, a + half})
            line(u, v, u + length * std::cos(side), v + length * std::sin(side), w);
    }

    // A part's edge; extension lines from a gap off it past the dimension
    // line, which runs between them with an arrowhead at each end.
    void dimension() {
        const double gap = 2 + thick_ / 2 + thin_ / 2, span = 50;
        line(-58, -45, 58, -45, thick_);
        const double v = -45 + gap + 50;
        for (const double u : {-span, span}) line(u, -45 + gap, u, v + 8 + thin_, thin_);
        line(-span, v, span, v, thin_);
        arrowhead(-span, v, 0, thin_);
        arrowhead(span, v, kPi, thin_);
    }
    // A thick ring with thin arms through its centre, standing out of it.
    void centre_mark() {
        const double r = rng_.uniform(std::max(8.0, 1.5 * thick_ + 4), 40), out = rng_.uniform(4, 9) + thick_ / 2;
        arc(0, 0, r, kPi / 4, 2.25 * kPi, thick_);  // its seam off the arms
        line(-r - out, 0, r + out, 0, thin_);
        line(0, -r - out, 0, r + out, thin_);
    }
    // A thick L whose corner is rounded, and a slot: arcs tangent to their lines.
    void fillets() {
        const double r = rng_.uniform(std::max(8.0, thick_ + 4), 30);
        line(-50, 50, -50, -50 + r, thick_);
        arc(-50 + r, -50 + r, r, kPi, 1.5 * kPi, thick_);
        line(-50 + r, -50, 50, -50, thick_);
        const double s = std::max(6.0, thick_ + 3);
        line(-10, 20 - s, 35, 20 - s, thick_);
        arc(35, 20, s, -0.5 * kPi, 0.5 * kPi, thick_);
        line(35, 20 + s, -10, 20 + s, thick_);
        arc(-10, 20, s, 0.5 * kPi, 1.5 * kPi, thick_);
    }
    // A thick frame with thin section lines at 45 degrees ending on it.
    void hatched() {
        const double h = 50, spacing = std::max(9.0, 2.5 * thin_ + 5) * std::sqrt(2.0);
        line(-h, -h, h, -h, thick_), line(h, -h, h, h, thick_), line(h, h, -h, h, thick_), line(-h, h, -h, -h, thick_);
        // u - v = c from edge to edge of the square.
        for (double c = -2 * h + spacing / 2; c < 2 * h; c += spacing) {
            const double u0 = std::max(-h, c - h), u1 = std::min(h, c + h);
            if (u1 - u0 > 2 * thin_ + 6) line(u0, u0 - c, u1, u1 - c, thin_);  // not a speck across a corner
        }
    }
    // Two strokes meeting at the point of a V, 14 to 40 degrees apart.
    void vee() {
        const double half = rng_.uniform(7, 20) * kPi / 180, w = rng_.chance(0.5) ? thick_ : thin_;
        for (const double side : {-half, half}) line(-55, 0, -55 + 110 * std::cos(side), 110 * std::sin(side), w);
    }
    // Three half loops meeting in cusps, between two leads.
    void inductor() {
        const double r = rng_.uniform(std::max(8.0, 2 * thick_), 18), w = rng_.chance(0.5) ? thick_ : thin_;
        line(-65, 0, -3 * r, 0, w);
        for (int k = 0; k < 3; ++k) arc((2 * k - 2) * r, 0, r, kPi, 2 * kPi, w);
        line(3 * r, 0, 65, 0, w);
    }
    // A thick circle, a thin leader to a point of it with an arrowhead, and
    // the leader's shoulder.
    void leader() {
        const double r = rng_.uniform(25, 40), a = rng_.uniform(-0.3, 0.3) - 0.75 * kPi;
        arc(20, 20, r, kPi / 4, 2.25 * kPi, thick_);  // its seam off the tip
        const double tu = 20 + r * std::cos(a), tv = 20 + r * std::sin(a), ku = tu - 30, kv = tv - 30;
        line(tu, tv, ku, kv, thin_);
        line(ku, kv, ku - 20, kv, thin_);
        arrowhead(tu, tv, std::atan2(kv - tv, ku - tu), thin_);
    }

    // A thick box, long across the tile's axis, and its diagonals.
    void crossed_box() {
        const double hu = rng_.uniform(18, 36), hv = 50, w = rng_.chance(0.5) ? thick_ : thin_;
        line(-hu, -hv, hu, -hv, thick_), line(hu, -hv, hu, hv, thick_), line(hu, hv, -hu, hv, thick_), line(-hu, hv, -hu, -hv, thick_);
        line(-hu, -hv, hu, hv, w), line(hu, -hv, -hu, hv, w);
    }

    Canvas &c_;
    Rng &rng_;
    double thick_, thin_;
    double cx_ = 0, cy_ = 0, turn_ = 0;
};

}  // namespace

Canvas render_technical_sheet(int width, int height, std::uint64_t seed, const GroundTruthOptions &options) {
    double thick = options.max_width, thin = std::max(1.0, options.max_width / 2.0);
    if (!options.pens.empty()) {
        thick = *std::max_element(options.pens.begin(), options.pens.end());
        thin = *std::min_element(options.pens.begin(), options.pens.end());
        if (options.pens.size() == 1) thin = std::max(1.0, thick / 2);
    }
    return tiled_sheet(width, height, seed, options, [&](Canvas &c, Rng &rng) { return Figures(c, rng, thick, thin); });
}

}  // namespace ktvdraw
