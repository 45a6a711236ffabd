// Ground truth for accuracy tests: sheets drawn from known vectors (lines at
// all angles, circles, arcs, T and Y junctions, crossings, corners), and the
// geometry to score a vectorization against them: the distance from a point
// to a primitive's centre line, points sampled along a primitive, and a grid
// index that finds the nearest primitive quickly.
//
// Page coordinates as in drawing.h: a node at integer pixel (x, y) is the
// page point (x + 0.5, y + 0.5).
#ifndef KTVEC_TESTKIT_GROUNDTRUTH_H
#define KTVEC_TESTKIT_GROUNDTRUTH_H

#include <cstdint>
#include <vector>

#include "drawing.h"

namespace ktvdraw {

struct GroundTruthOptions {
    int min_width = 2, max_width = 9;     // stroke widths, px
    // When not empty, the stroke widths instead, px (fractions allowed): each
    // stroke takes one of them, as by the pens of a plotter; the tiles stay
    // the same.
    std::vector<double> pens;
    bool noise = false;                   // jagged borders (the vectors stay exact)
    double roughness = 0.12;
};

// Tiles of about 160 px, each with one motif; the motifs cycle so every sheet
// of at least 7 tiles has each kind.  The canvas records every primitive.
Canvas render_ground_truth(int width, int height, std::uint64_t seed,
                           const GroundTruthOptions &options = GroundTruthOptions());

// Tiles of the figures of technical drawings (technicalsheet.cpp: dimensions
// with open arrowheads, centre marks of holes, fillets, hatched sections,
// narrow V's, an inductor's cusps, leaders, X's in boxes), drawn with two
// pens: the widest of `pens` for outlines and the narrowest for marks, or
// one pen and half its width (at least 1 px).
Canvas render_technical_sheet(int width, int height, std::uint64_t seed,
                              const GroundTruthOptions &options = GroundTruthOptions());

// Tiles of brick courses (coursessheet.cpp): lines a few pen widths apart
// joined by short ties, level, all drawn with the narrowest of `pens` (or
// max_width).
Canvas render_courses_sheet(int width, int height, std::uint64_t seed,
                            const GroundTruthOptions &options = GroundTruthOptions());

// Distance from p to the primitive's centre line: the segment of a Line, the
// arc of an Arc; for a Polygon, 0 inside and the distance to its boundary
// outside.
double distance_to(const Primitive &primitive, Point p);

// Points along the centre line every `step` px or closer, both ends included
// (a Polygon yields its boundary).
std::vector<Point> sample_along(const Primitive &primitive, double step);

// Nearest-primitive queries over a uniform grid of cells.
class PrimitiveIndex {
public:
    explicit PrimitiveIndex(const std::vector<Primitive> &primitives, double cell = 32);
    // Index of the nearest primitive whose distance is at most maxdist, or
    // -1; *distance gets its distance.  Ties go to the lower index.
    int nearest(Point p, double maxdist, double *distance = nullptr) const;
    // Indices of the primitives within `radius` of p, ascending.
    void within(Point p, double radius, std::vector<int> &out) const;
    // Signed distance from p to the nearest stroke border of the drawing
    // (negative inside the ink): min over primitives of distance - width / 2,
    // looked for up to `radius` beyond the widest stroke; `radius` if none.
    double border_offset(Point p, double radius) const;

private:
    template <class Visit> void visit(Point p, double radius, Visit visit) const;

    const std::vector<Primitive> &primitives_;
    double widest_ = 0;
    double cell_;
    double x0_ = 0, y0_ = 0;
    int cols_ = 0, rows_ = 0;
    std::vector<std::vector<int>> cells_;
    mutable std::vector<unsigned> stamp_;
    mutable unsigned query_ = 0;
};

}  // namespace ktvdraw

#endif
