// Sheets of lines joined by short ties, level as an elevation draws them:
// in each tile a box of brick courses, each course 2.5 to 6 pen widths high
// (a fraction of a pixel more or less), its bricks 2.5 to 4 courses long and
// every other course shifted half a brick.  One pen draws it all.  The
// narrow courses are what thinning and the clean-up find hard: the two
// junctions of a tie lie a pixel or two apart.
#include <algorithm>

#include "groundtruth.h"
#include "tiles.h"

namespace ktvdraw {

namespace {

class Courses {
public:
    Courses(Canvas &c, Rng &rng, double pen) : c_(c), rng_(rng), pen_(pen) {}

    void draw(int, double tx, double ty) {
        static const double kHeights[] = {2.5, 3, 4, 6};  // course heights, pen widths
        const double x0 = tx + 12 + rng_.uniform(0, 1), x1 = tx + kTile - 12 - rng_.uniform(0, 1);
        const double y0 = ty + 12 + rng_.uniform(0, 1), y1 = ty + kTile - 12 - rng_.uniform(0, 1);
        line(x0, y0, x1, y0), line(x1, y0, x1, y1), line(x1, y1, x0, y1), line(x0, y1, x0, y0);
        double y = y0;
        for (int k = 0;; ++k) {
            const double h = pen_ * kHeights[rng_.range(0, 3)] + rng_.uniform(-0.5, 0.5);
            const bool last = y + h > y1 - 2 * pen_ - 1;
            const double bottom = last ? y1 : y + h;
            if (!last) line(x0, bottom, x1, bottom);
            const double brick = (bottom - y) * rng_.uniform(2.5, 4);
            for (double x = x0 + (k % 2 ? brick / 2 : brick) + rng_.uniform(0, 1); x < x1 - 2 * pen_ - 1; x += brick)
                line(x, y, x, bottom);
            if (last) break;
            y = bottom;
        }
    }

private:
    void line(double ax, double ay, double bx, double by) { c_.thick_line(ax, ay, bx, by, pen_); }

    Canvas &c_;
    Rng &rng_;
    double pen_;
};

}  // namespace

Canvas render_courses_sheet(int width, int height, std::uint64_t seed, const GroundTruthOptions &options) {
    const double pen = options.pens.empty() ? options.max_width
                                            : *std::min_element(options.pens.begin(), options.pens.end());
    return tiled_sheet(width, height, seed, options, [&](Canvas &c, Rng &rng) { return Courses(c, rng, pen); });
}

}  // namespace ktvdraw
