// The sub-pixel centre lines against drawings of known geometry: how far
// they run from the true centre lines, where junctions and ends land, and
// that the stage only reads the vectorizer.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <functional>
#include <string>
#include <vector>

#include "drawing.h"
#include "invariants.h"
#include "ktvec.h"
#include "ktvec_refine.h"
#include "refine_support.h"

namespace {

struct P {
    double x, y;
};

// A drawing, its true centre lines in the node frame (pixel centres at
// integers) and what the refined lines must reach.
struct Case {
    const char *name;
    std::function<void(ktvdraw::Canvas &)> draw;
    std::vector<std::vector<P>> truth;
    double mean;                  // largest mean distance of the lines from the truth, px
    std::vector<P> junctions;     // each within `place` of a point where 3+ line ends meet
    std::vector<P> ends;          // each within `place` of a free end
    double place;
    int junction_count = -1;      // points where 3+ line ends meet, when given
    int end_count = -1;           // free ends, when given
    std::vector<P> corners = {};  // each within `place` of a point where a line bends or two line ends meet
    int ring_count = -1;          // closed lines, when given
};

double segment_distance(P p, P a, P b) {
    const double dx = b.x - a.x, dy = b.y - a.y, dd = dx * dx + dy * dy;
    const double t = dd > 0 ? std::fmax(0, std::fmin(1, ((p.x - a.x) * dx + (p.y - a.y) * dy) / dd)) : 0;
    return std::hypot(p.x - a.x - t * dx, p.y - a.y - t * dy);
}

double truth_distance(const Case &c, P p) {
    double best = 1e9;
    for (const auto &line : c.truth)
        for (std::size_t i = 0; i + 1 < line.size(); ++i) best = std::fmin(best, segment_distance(p, line[i], line[i + 1]));
    return best;
}

// Page coordinates of the canvas to the node frame.
P node_frame(double x, double y) { return {x - 0.5, y - 0.5}; }

// The true centre line of the arc of radius r about page point (cx, cy)
// from angle `from` to `to`, in degrees: a point per degree.
std::vector<P> arc_truth(double cx, double cy, double r, int from = 0, int to = 360) {
    std::vector<P> arc;
    for (int k = from; k <= to; ++k)
        arc.push_back(node_frame(cx + r * std::cos(k * M_PI / 180), cy + r * std::sin(k * M_PI / 180)));
    return arc;
}

class RefinedCentreLines : public ::testing::Test {
protected:
    void vectorize(const Case &c, int width = 120, int height = 100) {
        canvas = ktvdraw::Canvas(width, height);
        c.draw(canvas);
        v.msetdocument(canvas.data(), canvas.width(), canvas.stride(), canvas.height());
        ASSERT_EQ(v.mabstractcenterline(31, 4, 3.0, 8.0, 0.9, 4.0, 1.0), 0);
    }
    // Mean distance of the refined lines (sampled every 0.25 px) from the truth.
    double mean_distance(const Case &c) const {
        double sum = 0, length = 0;
        for (int k = 0; k < refiner.mgetlinenum(); ++k) {
            const _KTREFINEDLINE &l = *refiner.mgetline(k);
            for (int i = 0; i + 1 < l.pointnum; ++i) {
                const P a{l.point[i].x, l.point[i].y}, b{l.point[i + 1].x, l.point[i + 1].y};
                const double len = std::hypot(b.x - a.x, b.y - a.y);
                const int n = std::max(1, static_cast<int>(len / 0.25));
                for (int s = 0; s < n; ++s) {
                    const double t = (s + 0.5) / n;
                    sum += truth_distance(c, {a.x + t * (b.x - a.x), a.y + t * (b.y - a.y)}) * len / n;
                }
                length += len;
            }
        }
        return length > 0 ? sum / length : 1e9;
    }
    // Points where line ends meet, with how many ends meet there.
    std::vector<std::pair<P, int>> meetings() const {
        std::vector<std::pair<P, int>> m;
        auto count = [&](P p, int degree) {
            for (auto &e : m)
                if (std::hypot(e.first.x - p.x, e.first.y - p.y) < 1e-9) return void(e.second += degree);
            m.push_back({p, degree});
        };
        for (int k = 0; k < refiner.mgetlinenum(); ++k) {
            const _KTREFINEDLINE &l = *refiner.mgetline(k);
            if (l.pointnum < 2 || l.closed) continue;
            // Nodes placed at one point are one vertex of the drawing, and
            // a line all of whose nodes lie at one point draws nothing.
            std::vector<P> q;
            for (int i = 0; i < l.pointnum; ++i)
                if (q.empty() || q.back().x != l.point[i].x || q.back().y != l.point[i].y) q.push_back({l.point[i].x, l.point[i].y});
            if (q.size() < 2) continue;
            count(q.front(), 1);
            count(q.back(), 1);
            for (std::size_t i = 1; i + 1 < q.size(); ++i) count(q[i], 2);
        }
        return m;
    }
    // Whether a point where `degree` line ends meet (3: three or more) lies
    // within `reach` of p.
    static bool near(const std::vector<std::pair<P, int>> &m, P p, double reach, int degree) {
        for (const auto &e : m)
            if ((degree >= 3 ? e.second >= 3 : e.second == degree) && std::hypot(e.first.x - p.x, e.first.y - p.y) <= reach)
                return true;
        return false;
    }

    // Refines the drawing of c and checks it against c's truth.
    void follow(const Case &c, int width = 120, int height = 100) {
        vectorize(c, width, height);
        ASSERT_EQ(refiner.mrefinecenterline(&v), 0);
        EXPECT_LE(mean_distance(c), c.mean);
        // A node is where its lines draw it.
        for (int k = 0; k < refiner.mgetlinenum(); ++k) {
            const _KTREFINEDLINE &l = *refiner.mgetline(k);
            for (int i = 0; i < l.pointnum; ++i) {
                double x, y;
                if (l.node[i] < 0) continue;
                ASSERT_EQ(refiner.mgetnodeposition(l.node[i], &x, &y), 1);
                EXPECT_TRUE(x == l.point[i].x && y == l.point[i].y) << "node " << l.node[i];
            }
        }
        const auto m = meetings();
        for (const P &j : c.junctions) EXPECT_TRUE(near(m, j, c.place, 3)) << "junction " << j.x << "," << j.y;
        for (const P &e : c.ends) EXPECT_TRUE(near(m, e, c.place, 1)) << "end " << e.x << "," << e.y;
        for (const P &b : c.corners) EXPECT_TRUE(near(m, b, c.place, 2)) << "corner " << b.x << "," << b.y;
        if (c.junction_count >= 0) {
            EXPECT_EQ(std::count_if(m.begin(), m.end(), [](const auto &e) { return e.second >= 3; }), c.junction_count);
        }
        if (c.end_count >= 0) {
            EXPECT_EQ(std::count_if(m.begin(), m.end(), [](const auto &e) { return e.second == 1; }), c.end_count);
        }
        if (c.ring_count >= 0) {
            int rings = 0;
            for (int k = 0; k < refiner.mgetlinenum(); ++k) rings += refiner.mgetline(k)->closed;
            EXPECT_EQ(rings, c.ring_count);
        }
    }

    ktvdraw::Canvas canvas{1, 1};
    CKTVector v;
    CKTRefiner refiner;
};

// A line a pixel wide as a scan draws it: a pixel per row from (x0, y0)
// to (x1, y1), y0 < y1, at most 45 degrees from the vertical.
void steep_line(ktvdraw::Canvas &c, double x0, int y0, double x1, int y1) {
    for (int y = y0; y <= y1; ++y) c.set(static_cast<int>(std::lround(x0 + (x1 - x0) * (y - y0) / (y1 - y0))), y);
}

// A box three pixels deep hung from a wall by two posts, its far side
// ragged: the approximation draws it by three nodes, and the chord from
// the third to the far post cuts the corner across the paper inside.
// Moved by (dx, dy), the wall running to x = wall_end.
Case narrow_box(const char *name, int dx, int dy, int wall_end) {
    const double x = dx, y = dy;
    return {name,
            [dx, dy, wall_end](ktvdraw::Canvas &c) {
                c.span(20 + dy, 10 + dx, wall_end), c.span(21 + dy, 10 + dx, wall_end);
                steep_line(c, 30 + dx, 22 + dy, 30 + dx, 57 + dy), steep_line(c, 62 + dx, 22 + dy, 62 + dx, 56 + dy);
                c.span(53 + dy, 30 + dx, 62 + dx), c.span(57 + dy, 30 + dx, 61 + dx);
                c.set(61 + dx, 54 + dy), c.set(61 + dx, 56 + dy);
            },
            {{{10 + x, 20.5 + y}, {double(wall_end), 20.5 + y}},
             {{30 + x, 20.5 + y}, {30 + x, 57 + y}},
             {{62 + x, 20.5 + y}, {62 + x, 57 + y}},
             {{30 + x, 53 + y}, {62 + x, 53 + y}},
             {{30 + x, 57 + y}, {62 + x, 57 + y}}},
            0.18, {}, {}, 0};
}

// Two strokes w pixels wide from (15, 51 - spread) and (15, 51 + spread)
// to the tip of a V at (100, 51), `round` or pointed: two lines, their far
// ends the only ends, within `place`.
Case v_of(const char *name, double spread, double w = 3, bool round = false, double place = 1.5) {
    const P tip = node_frame(100, 51), a = node_frame(15, 51 - spread), b = node_frame(15, 51 + spread);
    return {name,
            [spread, w, round](ktvdraw::Canvas &c) {
                c.thick_line(15, 51 - spread, 100, 51, w), c.thick_line(15, 51 + spread, 100, 51, w);
                if (round) c.disc(100, 51, 0.5 * w);
            },
            {{a, tip}, {b, tip}}, 0.25, {}, {a, b}, place, 0, 2};
}

// Two arms w px wide meeting at (60.3, 45.1), each `half` degrees off the
// vertical, and a stem `stem` widths long below them: one junction, three
// ends.
Case y_of(const char *name, double w, double half, double stem_widths = 1.2) {
    const double dx = 35 * std::tan(half * M_PI / 180), stem = 45.1 + stem_widths * w;
    const P meet = node_frame(60.3, 45.1), end = node_frame(60.3, stem);
    return {name,
            [=](ktvdraw::Canvas &c) {
                c.thick_line(60.3 - dx, 10, 60.3, 45.1, w), c.thick_line(60.3 + dx, 10, 60.3, 45.1, w);
                c.thick_line(60.3, 45.1, 60.3, stem, w);
            },
            {{node_frame(60.3 - dx, 10), meet}, {node_frame(60.3 + dx, 10), meet}, {meet, end}},
            0.4, {meet}, {}, 1.5, 1, 3};
}

// A stroke w px wide that joins a level line at `angle` degrees, at
// `meet`, coming in from the upper left (side -1) or right (side 1) and
// bending towards the line by `bend` degrees on the way (a contour line
// reaching a map's frame): it runs merged with the line for some
// w / sin(angle) px before they meet, and its chord from where they part
// leans in more steeply.  One junction, where they meet, within `place`.
Case slant_of(const char *name, double angle, double w, double bend, double place, double side = -1,
              P meet = {70.3, 70.4}) {
    const double a0 = (angle + bend) * M_PI / 180, a1 = angle * M_PI / 180;
    const P mid{meet.x + side * 20 * std::cos(a1), meet.y - 20 * std::sin(a1)},
        far{mid.x + side * 25 * std::cos(a0), mid.y - 25 * std::sin(a0)};
    return {name,
            [=](ktvdraw::Canvas &c) {
                c.thick_line(10.3, meet.y, 110.3, meet.y, w);
                c.thick_line(far.x, far.y, mid.x, mid.y, w), c.thick_line(mid.x, mid.y, meet.x, meet.y, w);
            },
            {{node_frame(10.3, meet.y), node_frame(110.3, meet.y)},
             {node_frame(far.x, far.y), node_frame(mid.x, mid.y), node_frame(meet.x, meet.y)}},
            0.3, {node_frame(meet.x, meet.y)}, {}, place, 1, 3};
}

// A dimension line w px wide along y = 50.3 with an open arrowhead whose
// tip touches an extension line at x = 20.2: sides `side` px long, 17 degrees
// off the line.  All five strokes meet at the tip: one junction, five ends, the lines
// within `mean` of the truth.
Case arrow_of(const char *name, double w, double side = 15, double mean = 0.3) {
    const P tip = node_frame(20.2, 50.3), s0 = node_frame(20.2 + side * std::cos(0.3), 50.3 - side * std::sin(0.3)),
            s1 = node_frame(20.2 + side * std::cos(0.3), 50.3 + side * std::sin(0.3));
    return {name,
            [=](ktvdraw::Canvas &c) {
                c.thick_line(20.2, 10, 20.2, 90, w), c.thick_line(20.2, 50.3, 110, 50.3, w);
                c.thick_line(20.2, 50.3, s0.x + 0.5, s0.y + 0.5, w), c.thick_line(20.2, 50.3, s1.x + 0.5, s1.y + 0.5, w);
            },
            {{node_frame(20.2, 10), node_frame(20.2, 90)}, {tip, node_frame(110, 50.3)}, {tip, s0}, {tip, s1}},
            mean, {tip}, {s0, s1}, 1.5, 1, 5};
}

// A coil of three loops of radius r about x = 40, drawn w px wide, with
// no leads: its loops meet in two cusps, and it has two free ends.
Case coil_of(const char *name, double w, double r, double mean, int junctions = 0, int ends = 2) {
    return {name,
            [=](ktvdraw::Canvas &c) {
                for (int k = -1; k <= 1; ++k) c.thick_arc(40, 50 + 2 * r * k, r, -M_PI / 2, M_PI / 2, w);
            },
            {arc_truth(40, 50 - 2 * r, r, -90, 90), arc_truth(40, 50, r, -90, 90), arc_truth(40, 50 + 2 * r, r, -90, 90)},
            mean, {}, {}, 1.5, junctions, ends};
}

// The same coil as an inductor, with its leads: its loops meet in two
// cusps, a bend of one line each, and the leads' far ends are its ends.
Case inductor_of(const char *name, double w, double r, double mean) {
    Case c = coil_of(name, w, r, mean);
    const double top = 50 - 3 * r, bottom = 50 + 3 * r;
    c.draw = [w, top, bottom, loops = c.draw](ktvdraw::Canvas &canvas) {
        loops(canvas);
        canvas.thick_line(40, top - 12, 40, top, w), canvas.thick_line(40, bottom, 40, bottom + 12, w);
    };
    c.truth.push_back({node_frame(40, top - 12), node_frame(40, top)});
    c.truth.push_back({node_frame(40, bottom), node_frame(40, bottom + 12)});
    c.ends = {node_frame(40, top - 12), node_frame(40, bottom + 12)};
    return c;
}

// The acute corner of a roof drawn w px wide: a slope rising `angle`
// degrees off the eave line from the corner at (12.8, 80.7), and a wall
// standing on the eave `wall` widths from the corner.  One junction (the
// wall's top), three ends (their round caps are not the point here);
// the corner is where the lines meet.
Case eave_of(const char *name, double angle, double w, double wall, double mean) {
    const double a = angle * M_PI / 180, x = 12.8, y = 80.7, wx = x + wall * w;
    const double rx = x + 70 * std::cos(a), ry = y - 70 * std::sin(a);
    return {name,
            [=](ktvdraw::Canvas &c) {
                c.thick_line(x, y, 112.3, y, w), c.thick_line(x, y, rx, ry, w), c.thick_line(wx, y, wx, 97, w);
            },
            {{node_frame(x, y), node_frame(112.3, y)}, {node_frame(x, y), node_frame(rx, ry)},
             {node_frame(wx, y), node_frame(wx, 97)}},
            mean, {node_frame(wx, y)}, {}, 1.5, 1, 3, {node_frame(x, y)}};
}

// Two strokes w px wide, 60 px long, meeting at (60.8, 85.3) at `angle`
// degrees, their middle `turn` degrees from straight up: one corner, two
// ends.
Case corner_of(const char *name, double angle, double w, double turn, double mean) {
    const double a = (turn - 0.5 * angle) * M_PI / 180, b = (turn + 0.5 * angle) * M_PI / 180;
    const double ax = 60.8 + 60 * std::sin(a), ay = 85.3 - 60 * std::cos(a), bx = 60.8 + 60 * std::sin(b), by = 85.3 - 60 * std::cos(b);
    return {name,
            [=](ktvdraw::Canvas &c) { c.thick_line(60.8, 85.3, ax, ay, w), c.thick_line(60.8, 85.3, bx, by, w); },
            {{node_frame(ax, ay), node_frame(60.8, 85.3), node_frame(bx, by)}},
            mean, {}, {}, 1.5, 0, 2, {node_frame(60.8, 85.3)}};
}

// A circle of radius r about (60, 50), w px wide, with n ticks standing
// `length` widths out of it, as a dial's scale: a junction and an end per
// tick.
Case ticked_circle_of(const char *name, double w, double r, double length, int n, double mean) {
    Case c{name, nullptr, {arc_truth(60, 50, r)}, mean, {}, {}, 1.5, n, n};
    std::vector<std::array<double, 4>> ticks;
    for (int k = 0; k < n; ++k) {
        const double a = 2 * M_PI * (k + 0.3) / n, x = std::cos(a), y = std::sin(a);
        ticks.push_back({60 + r * x, 50 + r * y, 60 + (r + length * w) * x, 50 + (r + length * w) * y});
        c.truth.push_back({node_frame(ticks.back()[0], ticks.back()[1]), node_frame(ticks.back()[2], ticks.back()[3])});
    }
    c.draw = [=](ktvdraw::Canvas &canvas) {
        canvas.circle(60, 50, r, w);
        for (const auto &t : ticks) canvas.thick_line(t[0], t[1], t[2], t[3], w);
    };
    return c;
}

// A resistor's zigzag: six teeth whose legs meet `angle` degrees apart, w
// px wide, `depth` px from peak to peak, between wires 10 px long; the
// line must bend at the peaks numbered in `peaks` (1 to 6).
Case zigzag_of(const char *name, double angle, double w, double depth, double mean, std::vector<int> peaks) {
    const double h = depth / 2, dx = depth * std::tan(angle * M_PI / 360);
    std::vector<P> page{{10.3, 50.4}, {20.3, 50.4}};
    for (int i = 0; i < 6; ++i) page.push_back({20.3 + dx * (i + 0.5), 50.4 + (i % 2 ? h : -h)});
    page.push_back({20.3 + 6 * dx, 50.4});
    page.push_back({30.3 + 6 * dx, 50.4});
    Case c{name, nullptr, {{}}, mean, {}, {node_frame(page.front().x, page.front().y), node_frame(page.back().x, page.back().y)},
           1.0, 0, 2};
    for (const P &q : page) c.truth[0].push_back(node_frame(q.x, q.y));
    for (const int k : peaks) c.corners.push_back(node_frame(page[1 + k].x, page[1 + k].y));
    c.draw = [=](ktvdraw::Canvas &canvas) {
        for (std::size_t i = 0; i + 1 < page.size(); ++i) canvas.thick_line(page[i].x, page[i].y, page[i + 1].x, page[i + 1].y, w);
    };
    return c;
}

// A box with corners q[0..3] (page coordinates, in order round it), its
// sides `side` px wide and its diagonals `diagonal` px wide: junctions at
// the four corners and where the diagonals cross.
Case crossed_box_of(const char *name, const std::array<P, 4> &q, double side, double diagonal, double place,
                    int junction_count = -1) {
    std::array<P, 4> f;
    for (int i = 0; i < 4; ++i) f[i] = node_frame(q[i].x, q[i].y);
    const P centre = node_frame((q[0].x + q[1].x + q[2].x + q[3].x) / 4, (q[0].y + q[1].y + q[2].y + q[3].y) / 4);
    return {name,
            [=](ktvdraw::Canvas &c) {
                for (int i = 0; i < 4; ++i) c.thick_line(q[i].x, q[i].y, q[(i + 1) % 4].x, q[(i + 1) % 4].y, side);
                c.thick_line(q[0].x, q[0].y, q[2].x, q[2].y, diagonal), c.thick_line(q[1].x, q[1].y, q[3].x, q[3].y, diagonal);
            },
            {{f[0], f[1], f[2], f[3], f[0]}, {f[0], f[2]}, {f[1], f[3]}},
            0.6, {f[0], f[1], f[2], f[3], centre}, {}, place, junction_count};
}

// A ring 16 px wide, radius 30, about (60, 50), and arms 8 px wide through
// its centre at `turn` degrees, reaching `out` px from it: junctions at the
// centre and where the arms cross the ring's middle.  A narrower ring
// (radius r, `ring` px wide, arms half as wide) is checked for the arms'
// ends instead, and the count of junctions is not.
Case thick_centre_mark_of(const char *name, double turn, double out = 46, double r = 30, double ring = 16) {
    const double a = turn * M_PI / 180;
    std::vector<std::vector<P>> truth{arc_truth(60, 50, r)};
    std::vector<P> junctions{node_frame(60, 50)};
    std::array<P, 4> ends;
    for (int k = 0; k < 4; ++k) {
        const P d{std::cos(a + k * M_PI / 2), std::sin(a + k * M_PI / 2)};
        ends[k] = {60 + out * d.x, 50 + out * d.y};
        junctions.push_back(node_frame(60 + r * d.x, 50 + r * d.y));
    }
    for (int k = 0; k < 2; ++k)
        truth.push_back({node_frame(ends[k].x, ends[k].y), node_frame(ends[k + 2].x, ends[k + 2].y)});
    return {name,
            [=](ktvdraw::Canvas &c) {
                c.circle(60, 50, r, ring);
                for (int k = 0; k < 2; ++k) c.thick_line(ends[k].x, ends[k].y, ends[k + 2].x, ends[k + 2].y, ring / 2);
            },
            truth, 0.5, ring == 16 ? junctions : std::vector<P>{},
            ring == 16 ? std::vector<P>{} : std::vector<P>{node_frame(ends[0].x, ends[0].y), node_frame(ends[1].x, ends[1].y),
                                                          node_frame(ends[2].x, ends[2].y), node_frame(ends[3].x, ends[3].y)},
            ring == 16 ? 1.0 : 1.5, ring == 16 ? 5 : -1};
}

// An X in a box about (60, 50), 2 hu by 2 hv, turned by `turn` degrees.
Case turned_crossed_box_of(const char *name, double turn, double hu, double hv, double side, double diagonal,
                           double place) {
    const double a = turn * M_PI / 180, c = std::cos(a), s = std::sin(a);
    auto at = [&](double u, double v) { return P{60 + u * c - v * s, 50 + u * s + v * c}; };
    return crossed_box_of(name, {at(-hu, -hv), at(hu, -hv), at(hu, hv), at(-hu, hv)}, side, diagonal, place);
}

// A line through (cx, cy) at angle a0 and a branch from there at angle b,
// strokes w wide.
Case branch_off_a_line(const char *name, double w, double a0, double b, double cx, double cy, double mean,
                       double place = 1.5) {
    const P c{cx, cy}, d{std::cos(a0), std::sin(a0)}, e{std::cos(b), std::sin(b)};
    const P l0{c.x - 45 * d.x, c.y - 45 * d.y}, l1{c.x + 45 * d.x, c.y + 45 * d.y}, t{c.x + 42 * e.x, c.y + 42 * e.y};
    return {name,
            [=](ktvdraw::Canvas &cv) { cv.thick_line(l0.x, l0.y, l1.x, l1.y, w), cv.thick_line(c.x, c.y, t.x, t.y, w); },
            {{node_frame(l0.x, l0.y), node_frame(l1.x, l1.y)}, {node_frame(c.x, c.y), node_frame(t.x, t.y)}},
            mean, {node_frame(c.x, c.y)}, {}, place, 1};
}

const Case kCases[] = {
    // Two pixels wide: the centre lies between two rows of pixels, where no
    // node of the driver can be.
    {"horizontal two-pixel stroke",
     [](ktvdraw::Canvas &c) { c.thick_line(10, 50, 100, 50, 2); },
     {{node_frame(10, 50), node_frame(100, 50)}}, 0.1, {}, {node_frame(10, 50), node_frame(100, 50)}, 1.5},
    {"slanted three-pixel stroke",
     [](ktvdraw::Canvas &c) { c.thick_line(15, 80, 95, 30.3, 3); },
     {{node_frame(15, 80), node_frame(95, 30.3)}}, 0.15, {}, {node_frame(15, 80), node_frame(95, 30.3)}, 2},
    // Thinning leaves a T's junction a pixel into the branch.
    {"T of three-pixel strokes",
     [](ktvdraw::Canvas &c) {
         c.thick_line(10, 30, 110, 30, 3);
         c.thick_line(60.5, 30, 60.5, 90, 3);
     },
     {{node_frame(10, 30), node_frame(110, 30)}, {node_frame(60.5, 30), node_frame(60.5, 90)}}, 0.2,
     {node_frame(60.5, 30)}, {node_frame(10, 30), node_frame(110, 30), node_frame(60.5, 90)}, 1.0},
    {"crossing of two-pixel strokes",
     [](ktvdraw::Canvas &c) {
         c.thick_line(10, 20, 110, 80, 2);
         c.thick_line(10, 80, 110, 20, 2);
     },
     {{node_frame(10, 20), node_frame(110, 80)}, {node_frame(10, 80), node_frame(110, 20)}}, 0.25,
     {node_frame(60, 50)}, {}, 1.0},
    // Dots on their own, which the clean-up drops as specks, come back;
    // dust of four pixels does not.
    {"dots on their own, 5 and 3 px",
     [](ktvdraw::Canvas &c) {
         c.thick_line(10.5, 20.5, 110.5, 20.5, 3);
         c.disc(30.5, 70.5, 2.5);
         c.disc(60.5, 70.5, 1.5);
         for (int k = 0; k < 4; ++k) c.set(95 + k % 2, 70 + k / 2);
     },
     {{node_frame(10.5, 20.5), node_frame(110.5, 20.5)}, {node_frame(30.5, 70.5), node_frame(30.5, 70.5)},
      {node_frame(60.5, 70.5), node_frame(60.5, 70.5)}}, 0.3,
     {}, {node_frame(30.5, 70.5), node_frame(60.5, 70.5)}, 1.0, 0, 6},
    // A disc on its own six pens across or more is a filled shape: besides
    // its dot it gets the path of the page's 2 px pen round its edge, a
    // pixel inside it.
    {"filled disc on its own",
     [](ktvdraw::Canvas &c) {
         c.thick_line(10, 12, 110, 12, 2), c.thick_line(10, 92, 110, 92, 2);
         c.disc(60.5, 52.5, 13);
     },
     {{node_frame(10, 12), node_frame(110, 12)}, {node_frame(10, 92), node_frame(110, 92)},
      arc_truth(60.5, 52.5, 12), {node_frame(60.5, 52.5), node_frame(60.5, 52.5)}}, 0.25,
     {}, {}, 1.0, 0, -1, {}, 1},
    // A hole in it gets the path round its edge too, half a pen outside it.
    {"filled ring",
     [](ktvdraw::Canvas &c) {
         c.thick_line(10, 8, 110, 8, 2), c.thick_line(10, 96, 110, 96, 2);
         c.disc(60.5, 52.5, 21), c.set_ink(false), c.disc(60.5, 52.5, 6), c.set_ink(true);
     },
     {{node_frame(10, 8), node_frame(110, 8)}, {node_frame(10, 96), node_frame(110, 96)},
      arc_truth(60.5, 52.5, 20), arc_truth(60.5, 52.5, 7), arc_truth(60.5, 52.5, 13.5)}, 0.3,
     {}, {}, 1.0, 0, -1, {}, 3},
    // ... but neither is a stroke of a pen four times as wide, whose ends
    // are its own, nor a disc that a line runs out of.
    {"wide stroke among thin ones",
     [](ktvdraw::Canvas &c) {
         c.thick_line(10, 12, 110, 12, 2), c.thick_line(10, 92, 110, 92, 2);
         c.thick_line(20.5, 52.5, 100.5, 52.5, 8);
     },
     {{node_frame(10, 12), node_frame(110, 12)}, {node_frame(10, 92), node_frame(110, 92)},
      {node_frame(24.5, 52.5), node_frame(96.5, 52.5)}}, 0.25,
     {}, {}, 1.0, 0, 6, {}, 0},
    {"disc with a line out of it",
     [](ktvdraw::Canvas &c) {
         c.thick_line(10, 12, 110, 12, 2), c.thick_line(10, 92, 110, 92, 2);
         c.disc(60.5, 52.5, 13), c.thick_line(60, 52.5, 60, 86, 2);
     },
     {{node_frame(10, 12), node_frame(110, 12)}, {node_frame(10, 92), node_frame(110, 92)},
      {node_frame(60, 52.5), node_frame(60, 86)}}, 0.6,
     {}, {}, 1.0, -1, -1, {}, 0},
    // The same for a short dash of a wide pen, at a slant: its line runs
    // along the dash, not across it.
    {"short dash on its own, 6 px",
     [](ktvdraw::Canvas &c) {
         c.thick_line(10.5, 20.5, 110.5, 20.5, 3);
         c.thick_line(60.5, 75.5, 62.1, 74.3, 6);
     },
     {{node_frame(10.5, 20.5), node_frame(110.5, 20.5)}, {node_frame(60.5, 75.5), node_frame(62.1, 74.3)}}, 0.2,
     {}, {node_frame(60.5, 75.5), node_frame(62.1, 74.3)}, 0.6, 0, 4},
    // A corner of one-pixel lines that run on past each other by three
    // pixels: the spur pass cuts both overshoots, the ink keeps them.
    {"corner with overshoots",
     [](ktvdraw::Canvas &c) {
         c.thick_line(21.5, 20.5, 100, 20.5, 1.2);
         c.thick_line(24.5, 17.5, 24.5, 90, 1.2);
     },
     {{node_frame(21.5, 20.5), node_frame(100, 20.5)}, {node_frame(24.5, 17.5), node_frame(24.5, 90)}}, 0.2,
     {node_frame(24.5, 20.5)}, {node_frame(21.5, 20.5), node_frame(24.5, 17.5)}, 1.0},
    // The same with lines two pixels wide, square ended: each overshoot's
    // tip lies less than a pixel beyond the band its line explains.
    {"corner with overshoots two pixels wide",
     [](ktvdraw::Canvas &c) {
         for (int y = 20; y < 22; ++y) c.span(y, 22, 99);
         for (int y = 18; y < 90; ++y) c.span(y, 24, 25);
     },
     {{node_frame(22, 21), node_frame(100, 21)}, {node_frame(25, 18), node_frame(25, 90)}}, 0.3,
     {node_frame(25, 21)}, {node_frame(22, 21), node_frame(25, 18)}, 1.5},
    // Ticks three pixels long under a line two pixels wide: the band the
    // line explains reaches over most of each.
    {"ticks on a two-pixel line",
     [](ktvdraw::Canvas &c) {
         c.span(50, 10, 110), c.span(51, 10, 110);
         for (const int x : {30, 50, 70, 90}) c.set(x, 52), c.set(x, 53), c.set(x, 54);
     },
     {{{10, 50.5}, {110, 50.5}}, {{30, 50.5}, {30, 54}}, {{50, 50.5}, {50, 54}}, {{70, 50.5}, {70, 54}}, {{90, 50.5}, {90, 54}}},
     0.2, {}, {{30, 54}, {50, 54}, {70, 54}, {90, 54}}, 1.0},
    // Sixteen-pixel strokes: one ends on another's ink (a T), and the ends
    // of two run into each other's ink; the link of the through-stroke next
    // to the T is too short to be measured, and the T's stem is a link
    // between two junctions, like a shallow crossing's.
    {"T of sixteen-pixel strokes among touching strokes",
     [](ktvdraw::Canvas &c) {
         c.thick_line(58.74, 64.31, 21.30, -17.53, 16);
         c.thick_line(90.62, 66.05, 49.48, 74.53, 16);
         c.thick_line(91.53, 50.55, 51.66, 37.32, 16);
     },
     {{node_frame(58.74, 64.31), node_frame(21.30, -17.53)},
      {node_frame(90.62, 66.05), node_frame(49.48, 74.53)},
      {node_frame(91.53, 50.55), node_frame(51.66, 37.32)}},
     1.2, {node_frame(62.22, 71.91)}, {}, 1.0},
    // A line meeting another at 8 degrees where both turn into a third (a
    // corner), a pixel wide as a scan draws it: the two run merged into the
    // corner, and thinning parts them five pixels before.
    {"narrow wedge into a corner",
     [](ktvdraw::Canvas &c) {
         steep_line(c, 60, 10, 60, 80), steep_line(c, 50.16, 10, 60, 80);
         c.span(80, 60, 110);
     },
     {{{60, 10}, {60, 80}, {110, 80}}, {{50.16, 10}, {60, 80}}}, 0.25, {{60, 80}}, {}, 1.5, 1},
    // ... but where they go on as one stroke, they meet where they merge;
    // and two crossing at 14 degrees, parted into two junctions ten pixels
    // apart, cross at one point, halfway (the pixels of the two lines lie
    // side by side there, a quarter pixel off the true crossing).
    {"narrow Y",
     [](ktvdraw::Canvas &c) {
         steep_line(c, 50.5, 10, 56, 50), steep_line(c, 61.5, 10, 56, 50), steep_line(c, 56, 50, 56, 90);
         c.span(90, 56, 110);
     },
     {{{50.5, 10}, {56, 50}}, {{61.5, 10}, {56, 50}}, {{56, 50}, {56, 90}, {110, 90}}}, 0.25, {{56, 50}}, {}, 1.5, 1},
    {"shallow crossing",
     [](ktvdraw::Canvas &c) { steep_line(c, 55.5, 10, 65.5, 90), steep_line(c, 65, 10, 55, 90); },
     {{{55.5, 10}, {65.5, 90}}, {{65, 10}, {55, 90}}}, 0.3, {{60.25, 48}}, {}, 3.5, 1},
    // Strokes eight pixels wide crossing at 38 degrees, a quarter of the
    // way along each: thinning parts the crossing into two junctions, the
    // links next to them bent towards each other.
    {"crossing of eight-pixel strokes",
     [](ktvdraw::Canvas &c) {
         c.thick_line(10, 48, 110, 52, 8);
         c.thick_line(20, 61, 88, 8, 8);
     },
     {{node_frame(10, 48), node_frame(110, 52)}, {node_frame(20, 61), node_frame(88, 8)}}, 0.3,
     {node_frame(35.38, 48.62)}, {}, 1.0, 1},
    // Branches whose link next to the junction lies in the junction's ink,
    // bent by thinning, with a long straight link beyond it.
    branch_off_a_line("branch at 33 degrees, six pixels wide", 6, 1.883, 1.300, 61.49, 50.94, 0.25),
    branch_off_a_line("branch at 68 degrees, eight pixels wide", 8, 2.818, 2.313, 60.62, 51.04, 0.25),
    branch_off_a_line("branch at 141 degrees, ten pixels wide", 10, 1.500, -0.961, 60.56, 50.72, 0.5),
    branch_off_a_line("branch at 122 degrees, twelve pixels wide", 12, 2.505, 0.371, 61.10, 51.49, 0.4),
    // ... and where a short link ties the junction to the next node, which
    // go together to where the lines of the branches meet, not a pixel
    // along the flattest line towards one of them.
    branch_off_a_line("tied branch at 26 degrees, three pixels wide", 3, 0.886, 0.432, 61.54, 50.68, 0.3),
    branch_off_a_line("tied branch at 122 degrees, six pixels wide", 6, 0.306, -1.819, 61.79, 51.92, 0.15),
    branch_off_a_line("tied branch at 83 degrees, ten pixels wide", 10, 1.169, 2.615, 60.99, 51.22, 0.25),
    // A shallow branch's lines meet far along, out of the tied nodes'
    // reach: they stay one junction, held near their pixels.
    branch_off_a_line("shallow tied branch at 32 degrees, five pixels wide", 5, 0.442, 1.009, 61.76, 51.79, 0.4, 3.0),
    // Wires two pixels wide joined under dots, as a schematic draws its
    // joints: the ink of a dot beyond the wires is no stroke's end.
    {"joints under dots",
     [](ktvdraw::Canvas &c) {
         c.thick_line(10, 30, 110, 30, 2);
         c.thick_line(35, 30, 35, 90, 2), c.thick_line(85, 30, 85, 90, 2);
         c.disc(35, 30, 3), c.disc(85, 30, 5.5);
     },
     {{node_frame(10, 30), node_frame(110, 30)}, {node_frame(35, 30), node_frame(35, 90)},
      {node_frame(85, 30), node_frame(85, 90)}},
     0.2, {node_frame(35, 30), node_frame(85, 30)}, {}, 1.0, 2, 4},
    // ... and under dots a little wider than the wires (radius 1.3 pens),
    // whose bump past the through-wire is a pixel or two high, as short
    // as the arm of a cross there would be.
    {"joints under small dots",
     [](ktvdraw::Canvas &c) {
         c.thick_line(10, 31.044, 110, 31.044, 2), c.thick_line(10, 75.448, 110, 75.448, 1.5);
         c.thick_line(35.738, 31.044, 35.738, 60, 2), c.thick_line(85.456, 75.448, 85.456, 45, 1.5);
         c.disc(35.738, 31.044, 2.6), c.disc(85.456, 75.448, 2.2);
     },
     {{node_frame(10, 31.044), node_frame(110, 31.044)}, {node_frame(10, 75.448), node_frame(110, 75.448)},
      {node_frame(35.738, 31.044), node_frame(35.738, 60)}, {node_frame(85.456, 75.448), node_frame(85.456, 45)}},
     0.25, {node_frame(35.738, 31.044), node_frame(85.456, 75.448)}, {}, 1.0, 2, 6},
    // Ticks five pixels across a line two pixels wide, as a dimension
    // line ends: thinning wears their arms away, the ink keeps them, each
    // as wide as its tick and more than twice the line.  (The first
    // tick's lower arm is still lost: the line's first piece has two
    // links, and the one in the tick's ink sets its width.)
    {"ticks wider than their line",
     [](ktvdraw::Canvas &c) {
         c.span(50, 5, 115), c.span(51, 5, 115);
         const int rows[][3] = {{43, 10, 10}, {44, 9, 11}, {45, 8, 12}, {46, 7, 11}, {47, 6, 10},
                                {48, 5, 9},   {49, 4, 8},  {52, 1, 5},  {53, 0, 4},  {54, -1, 3},
                                {55, -2, 2},  {56, -1, 1}, {57, 0, 0}};
         for (const int x : {30, 60, 90})
             for (const auto &r : rows) c.span(r[0], x + r[1], x + r[2]);
     },
     {{{5, 50.5}, {115, 50.5}}, {{30, 57}, {40, 43}}, {{60, 57}, {70, 43}}, {{90, 57}, {100, 43}}},
     0.4, {}, {{40, 43}, {60, 57}, {70, 43}, {90, 57}, {100, 43}}, 1.5},
    // Hatch lines a pixel wide joining a wall two pixels wide at 30
    // degrees, 12 pixels apart: beside each junction the wall is as wide
    // as a wall and a thin line together only where a hatch line joins,
    // and no junction runs merged into the next.
    {"hatch joining a wall",
     [](ktvdraw::Canvas &c) {
         for (int y = 5; y <= 95; ++y) c.span(y, 99, 100);
         for (const int y : {10, 22, 34, 46, 58, 70}) steep_line(c, 98.4, y + 2, 99.5 - 0.575 * (95 - y), 95);
     },
     {{{99.5, 5}, {99.5, 95}}, {{99.5, 10}, {99.5 - 0.575 * 85, 95}}, {{99.5, 22}, {99.5 - 0.575 * 73, 95}},
      {{99.5, 34}, {99.5 - 0.575 * 61, 95}}, {{99.5, 46}, {99.5 - 0.575 * 49, 95}},
      {{99.5, 58}, {99.5 - 0.575 * 37, 95}}, {{99.5, 70}, {99.5 - 0.575 * 25, 95}}},
     0.3, {{99.5, 10}, {99.5, 22}, {99.5, 34}, {99.5, 46}, {99.5, 58}, {99.5, 70}}, {}, 2.0, 6},
    // Strokes four and eight pixels wide with an eighth of their border
    // pixels flipped, as a poor scan gives them: the bumps of the ragged
    // edges are no stroke ends.  (The flips leave a pinhole in the wide
    // stroke, a loop of the ink, so the junctions are not counted.)
    {"ragged strokes",
     [](ktvdraw::Canvas &c) {
         c.thick_line(10, 25, 110, 27, 4), c.thick_line(10, 75, 110, 71, 8), c.thick_line(60, 26, 60, 73, 4);
         c.roughen(3, 0.12);
     },
     {{node_frame(10, 25), node_frame(110, 27)}, {node_frame(10, 75), node_frame(110, 71)},
      {node_frame(60, 26), node_frame(60, 73)}},
     0.4, {node_frame(60, 26), node_frame(60, 73)}, {}, 3.0, -1, 4},
    // A pen's round cap reaches half a width past its stroke's end, from
    // 4 px on more than a pixel: the ends are drawn where the strokes end,
    // not at the tips of the ink.
    {"round caps, 4 and 5 px",
     [](ktvdraw::Canvas &c) { c.thick_line(15, 30.3, 105, 36.2, 4), c.thick_line(15.4, 70, 104.6, 62.5, 5); },
     {{node_frame(15, 30.3), node_frame(105, 36.2)}, {node_frame(15.4, 70), node_frame(104.6, 62.5)}},
     0.3, {}, {node_frame(15, 30.3), node_frame(105, 36.2), node_frame(15.4, 70), node_frame(104.6, 62.5)}, 1.0, 0, 4},
    // Two strokes meeting at the tip of a V run merged to the tip, six
    // pixels at 28 degrees, where the clean-up cuts thinning's stub and
    // the line turns back inside the merged ink; twelve at 14 degrees,
    // where the stub stays, off a junction where the ink parts.  Either
    // way they meet inside the tip, and its stub shrinks to a point.
    v_of("narrow V", 21), v_of("narrower V", 11),
    // A pixel or two wide, they part at once: the skeleton's stub past
    // the junction is the tip's last pixels.
    v_of("narrow V a pixel wide", 11, 1), v_of("narrow V, 1.5 px", 15, 1.5),
    // Drawn with a middle pen, thinning may part them with a bend inside
    // the junction link, tied to the junction, or one a little nearer than
    // the tip is long: the arms are seen from farther out.
    v_of("narrow V, 4.5 px", 14, 4.5), v_of("V at 23 degrees, 4.5 px", 18, 4.5), v_of("narrow V, 3 px", 14, 3),
    // ... or leave a stub under a pixel long, which points anywhere.  (Under
    // 4 px the far ends' round caps are not told from flat ones.)
    v_of("V at 28 degrees, 3.5 px", 21, 3.5, false, 2.0),
    // Thick, their lines meet past the end of thinning's stub, which then
    // points back between them; with a round tip, the stub is shorter
    // than the strokes are wide.  Either way the junction is at the tip.
    v_of("narrow V, 8 px", 21, 8), v_of("V at 39 degrees, 8 px", 30, 8),
    v_of("narrower V with a round tip, 8 px", 12, 8, true),
    // ... but a Y's stem, short as it is, stays: its ink is one stroke
    // wide, whether the arms part at 40, 60 or 90 degrees.
    y_of("Y at 40 degrees, 3 px", 3, 20), y_of("Y at 60 degrees, 5 px", 5, 30), y_of("Y at 90 degrees, 3 px", 3, 45),
    // A thin pen's stem three widths long is no cusp's tip either: past the
    // junction's ink it is one stroke wide.
    y_of("Y at 60 degrees, 2 px, stem of three widths", 2, 30, 3),
    // An eave: a roof leaving a wall's top at 21 degrees runs merged with
    // it for eight pixels to the corner where the wall and the eave meet
    // them: one junction there.
    // The acute corner of a closed figure drawn thick: the two strokes'
    // ink merges far before the corner, and thinning cuts it by a chamfer
    // or leaves a junction where the inks part with a stub on to the tip.
    // The lines meet at the corner all the same.
    eave_of("eave at 35 degrees, 6 px", 35, 6, 8, 0.3), eave_of("eave at 45 degrees, 8 px", 45, 8, 8, 0.25),
    eave_of("eave at 40 degrees, 3 px", 40, 3, 8, 0.15), eave_of("eave at 30 degrees, 4 px, wall near", 30, 4, 5, 0.15),
    eave_of("eave at 25 degrees, 6 px", 25, 6, 8, 0.25), eave_of("eave at 20 degrees, 8 px", 20, 8, 8, 0.3),
    // ... and their arms, turned off the grid, follow their lines from
    // where they run clear of each other's ink: cuts nearer would pull
    // them towards the merged ink's middle.
    corner_of("corner at 35 degrees, 8 px, turned", 35, 8, -12, 0.4),
    corner_of("corner at 35 degrees, 8 px, turned the other way", 35.4, 8, 14.3, 0.2),
    {"roof over an eave",
     [](ktvdraw::Canvas &c) {
         c.thick_line(30.2, 95, 30.2, 40.3, 3), c.thick_line(30.2, 40.3, 110, 40.3, 3);
         c.thick_line(30.2, 40.3, 110, 18.3, 3), c.thick_line(30.2, 40.3, 10, 53, 3);
     },
     {{node_frame(30.2, 95), node_frame(30.2, 40.3)}, {node_frame(30.2, 40.3), node_frame(110, 40.3)},
      {node_frame(30.2, 40.3), node_frame(110, 18.3)}, {node_frame(30.2, 40.3), node_frame(10, 53)}},
     0.25, {node_frame(30.2, 40.3)}, {}, 1.5, 1, 4},
    // An X in a box on a wall: at 5 px, a diagonal that runs into a
    // corner at 24 degrees parts from the wall 10 px before it, at twice
    // that angle seen from there.  It meets the wall in the corner.
    {"X in a box on a wall, 5 px",
     [](ktvdraw::Canvas &c) {
         c.thick_line(20, 5, 20, 95, 5.3), c.thick_line(20, 30, 45, 30, 5.3), c.thick_line(45, 30, 45, 75, 5.3);
         c.thick_line(45, 75, 20, 75, 5.3), c.thick_line(20, 30, 45, 75, 5.3), c.thick_line(45, 30, 20, 75, 5.3);
     },
     {{node_frame(20, 5), node_frame(20, 95)}, {node_frame(20, 30), node_frame(45, 30), node_frame(45, 75), node_frame(20, 75)},
      {node_frame(20, 30), node_frame(45, 75)}, {node_frame(45, 30), node_frame(20, 75)}},
     0.5, {node_frame(20, 30), node_frame(20, 75), node_frame(45, 75), node_frame(32.5, 52.5)}, {}, 2.0, 5, 2},
    // ... and one that runs into a corner of the box, where the box's
    // sides turn: the diagonal meets them there, though thinning parts it
    // from a side at up to 51 degrees.
    crossed_box_of("X in a box, 5 px", {{{15, 15}, {35, 15}, {35, 60}, {15, 60}}}, 5.3, 5.3, 2.5),
    // ... and with an 8 px box and diagonals half as wide, turned: the
    // merged stroke may run a link or two on to the corner.
    // Steep diagonals run merged with a long side up to a chamfer across
    // the corner whose middle link is short: the corner is at its first
    // bend.
    turned_crossed_box_of("X in a turned box with steep diagonals, 8 px, diagonals 4 px", 50, 14, 36, 8, 4, 5),
    turned_crossed_box_of("X in a turned box with steep diagonals, 6 px", 75, 12, 30, 6, 6, 4),
    // Turned the other way, thinning puts a junction at a corner already,
    // a few pixels short of the chamfer's first bend: it stays.
    turned_crossed_box_of("X in a box turned a little, steep diagonals, 6 px", 15, 12, 30, 6, 6, 4.5),
    crossed_box_of("X in a turned box, 8 px, diagonals 4 px", {{{102.4, 40.2}, {105.2, 72.1}, {17.6, 79.8}, {14.8, 47.9}}},
                   8, 4, 3.5, 5),
    // Thinning parts an arrowhead's sides from its line well before the
    // tip; the three meet at the tip.  At 2.5 px the clean-up drops a side,
    // whose ink leaves the line at a slant.
    arrow_of("arrowhead, 1.5 px", 1.5), arrow_of("arrowhead, 2.5 px", 2.5),
    // Thick, thinning may part the three in two junctions a few pixels
    // apart; they meet at the tip all the same.
    arrow_of("arrowhead, 9 px, sides 45 px", 9, 45, 0.4),
    // An inductor's loops: each two meet in a cusp, the same.
    inductor_of("cusps of an inductor", 3, 12, 0.35),
    // With pens of a pixel or two the loops' merged ink ends no wider than
    // one stroke, but the loops open out from the tip, as a Y's arms do not.
    inductor_of("cusps of an inductor, 2 px", 2, 10, 0.3),
    // Wider, the loops merge only near the cusp, so the tip holds both
    // only where thinning parted them, and their chords from there part
    // at 80 to 110 degrees; the tip's stub is 0.8 to 2 widths long.  They
    // meet at the tip all the same, and each goes back along its own side
    // of the merged ink before it curves away.
    coil_of("cusps of a coil, 3.5 px", 3.5, 14, 0.21), coil_of("cusps of a coil, 5 px", 5, 10, 0.28),
    coil_of("cusps of a coil, 6 px", 6, 12, 0.41), coil_of("cusps of a coil, 6 px, loops of 14 px", 6, 14, 0.31),
    // Drawn with an 8 px pen, thinning's stub into a cusp is under 0.8
    // widths long, as a thick corner's stub to its outer corner is, and
    // the loops' chords part at more than 120 degrees: the junction stays
    // before the cusp.
    coil_of("cusps of a coil, 8 px", 8, 14, 0.38, -1, -1),
    // A tick a width or two long standing out of a thick circle is no
    // cusp's tip, though the circle's chords leave it much as a coil's
    // loops leave a cusp (at 135 to 150 degrees, where a cusp's part at 120
    // or less): it keeps its junction and its end.
    // Thinning ends each tooth short of its peak, where the legs merge,
    // by up to 2 px; the legs, measured clear of the merged ink, meet at
    // the peak.  (The outer teeth also merge with the turn into the wire,
    // and may stay up to 1.5 px short.)
    // A closed pennant of 36 degrees: the ring's turn at its tip, where
    // the ring begins and ends.
    {"pennant of 36 degrees, 2.5 px",
     [](ktvdraw::Canvas &c) {
         c.thick_line(48.3, 85.4, 72.3, 85.4, 2.5), c.thick_line(72.3, 85.4, 60.3, 48.5, 2.5);
         c.thick_line(60.3, 48.5, 48.3, 85.4, 2.5);
     },
     {{node_frame(48.3, 85.4), node_frame(72.3, 85.4), node_frame(60.3, 48.5), node_frame(48.3, 85.4)}},
     0.11, {}, {}, 1.0, 0, 0},
    // A stroke joining a line at a slant meets it where their centre lines
    // meet, not where thinning parts their merged ink.
    slant_of("slant of 22 degrees, 1.5 px", 22, 1.5, 10, 1.0), slant_of("slant of 25 degrees, 2.5 px", 25, 2.5, 8, 1.0),
    slant_of("slant of 30 degrees, 4 px", 30, 4, 0, 1.5),
    // From the right at 4 px, thinning leaves the stroke by a short link
    // whose cuts run along the line: the stroke's width is its next link's.
    slant_of("slant of 30 degrees from the right, 4 px", 30, 4, 0, 1.0, 1, {75.3, 80.4}),
    zigzag_of("zigzag of 35-degree teeth, 2 px", 35, 2, 14, 0.21, {3, 4, 5}),
    zigzag_of("zigzag of 50-degree teeth, 3 px", 50, 3, 19.5, 0.21, {3}),
    ticked_circle_of("ticks out of a thick circle, 8 px", 8, 20, 2, 8, 0.34),
    ticked_circle_of("short ticks out of a thick circle, 8 px", 8, 16, 1.2, 4, 0.36),
    // The centre mark of a small hole: the arms stand a few pixels out of
    // the ring, whose polygon's chords leave the crossings at up to 60
    // degrees from the arms' way back.
    {"centre mark of a small hole",
     [](ktvdraw::Canvas &c) {
         c.circle(60, 50, 12, 1.5), c.thick_line(44, 50, 76, 50, 1.5), c.thick_line(60, 34, 60, 66, 1.5);
     },
     {{node_frame(44, 50), node_frame(76, 50)}, {node_frame(60, 34), node_frame(60, 66)}, arc_truth(60, 50, 12)},
     0.35, {}, {node_frame(44, 50), node_frame(76, 50), node_frame(60, 34), node_frame(60, 66)}, 1.5, -1, 4},
    // A bold hole's centre mark: the ring's polygon has links shorter than
    // the ring is wide, and the arms' links from the ring to the centre are
    // long enough to tie the crossings to the centre.  Each crossing lies
    // on its arm where the ring's middle crosses it.
    thick_centre_mark_of("centre mark of a thick ring, 16 px", 0),
    // Turned, thinning parts each crossing into two junctions on the ring.
    thick_centre_mark_of("centre mark of a thick ring, turned, 16 px", 10),
    // Its arms' ends 5 px out of the ring are measured a little turned.
    thick_centre_mark_of("centre mark of a thick ring, turned, short arms, 16 px", 20, 43),
    // At 8 px an arm standing out of the ring leaves its crossing as a
    // short stub, straight on from its inner part: a stroke end, not the
    // tip of a V the inner part and the ring would make.
    thick_centre_mark_of("centre mark of a ring, turned, 8 px", 10, 27, 18, 8),
    narrow_box("narrow box under a wall", 0, 0, 110),
    {"circle",
     [](ktvdraw::Canvas &c) { c.circle(60, 50, 30, 2); },
     {arc_truth(60, 50, 30)},
     0.25, {}, {}, 0},
};

const Case &case_named(const char *name) {
    for (const Case &c : kCases)
        if (std::string(c.name) == name) return c;
    ADD_FAILURE() << "no case " << name;
    return kCases[0];
}

TEST_F(RefinedCentreLines, FollowTheTrueCentreLines) {
    for (const Case &c : kCases) {
        SCOPED_TRACE(c.name);
        follow(c);
    }
}

// A V of 14 degrees, 2.6 px, turned 30 degrees from the vertical, as the
// technical sheets draw one: where the arms run merged, the links next to
// the tip measure the two together, some 5 px, and the merged ink narrows
// to the tip as a round cap of that width would.  The cut a width inside
// the tip measures less than those 5 px, so it is no cap: the arms meet
// at the tip.
TEST_F(RefinedCentreLines, TheMergedTipOfANarrowVIsNoCap) {
    const P tip = node_frame(100.702, 20.778), a = node_frame(46.697, 116.608), b = node_frame(24.897, 100.488);
    follow({"narrow V turned, 2.6 px",
            [](ktvdraw::Canvas &c) {
                c.thick_line(46.697, 116.608, 100.702, 20.778, 2.6), c.thick_line(24.897, 100.488, 100.702, 20.778, 2.6);
            },
            {{a, tip}, {b, tip}}, 0.25, {}, {a, b}, 1.5, 0, 2},
           120, 130);
}

// Strokes a pixel of paper apart: thinning's nodes and chords can lie on
// the neighbour or on the paper between.
const Case kApart[] = {
    // A narrow loop: a wall layer two pixels wide and one a pixel wide
    // below it, from a wall to a post.
    {"narrow loop",
     [](ktvdraw::Canvas &c) {
         c.span(49, 10, 100), c.span(50, 10, 100), c.span(52, 10, 100);
         for (int x = 9; x <= 11; ++x) steep_line(c, x, 20, x, 79);
         steep_line(c, 100, 40, 100, 61);
     },
     {{{10, 20}, {10, 79}}, {{10, 49.5}, {100, 49.5}}, {{10, 52}, {100, 52}}, {{100, 40}, {100, 61}}}, 0.15, {}, {}, 0},
    // A chord from the far end of a line to a node on the stroke below it,
    // where the line turns down to it: the bend that follows the ink
    // leaves the line halfway, for the stroke below.
    {"chord to the stroke below",
     [](ktvdraw::Canvas &c) {
         c.span(20, 30, 110), c.span(21, 30, 110), c.set(30, 22), c.span(23, 5, 110), c.span(24, 5, 110);
         for (int x = 109; x <= 111; ++x) steep_line(c, x, 8, x, 41);
         for (int x = 4; x <= 6; ++x) steep_line(c, x, 10, x, 39);
     },
     {{{30, 20.5}, {110, 20.5}}, {{30, 20.5}, {30, 23.5}}, {{5, 23.5}, {110, 23.5}}, {{110, 8}, {110, 41}}, {{5, 10}, {5, 39}}},
     0.15, {}, {}, 0},
    // A long line beside two frames whose sides lie a pixel of paper
    // away from it, its junctions a pixel towards them.
    {"line beside frames",
     [](ktvdraw::Canvas &c) {
         c.span(5, 20, 79), c.span(95, 20, 79);
         steep_line(c, 62, 5, 62, 95);
         for (const auto &[y0, y1] : {std::pair{12, 45}, {52, 88}}) {
             c.span(y0, 40, 60), c.span(y1, 40, 60);
             steep_line(c, 40, y0, 40, y1), steep_line(c, 60, y0, 60, y1);
         }
     },
     {{{20, 5}, {79, 5}}, {{20, 95}, {79, 95}}, {{62, 5}, {62, 95}},
      {{40, 12}, {60, 12}, {60, 45}, {40, 45}, {40, 12}}, {{40, 52}, {60, 52}, {60, 88}, {40, 88}, {40, 52}}},
     0.15, {}, {}, 0},
};

// Each of the strokes is drawn, none twice.
TEST_F(RefinedCentreLines, StrokesAPixelApartAreEachDrawn) {
    for (const Case &c : kApart) {
        SCOPED_TRACE(c.name);
        ASSERT_NO_FATAL_FAILURE(follow(c));
        // A moved stretch keeps the nodes of its polyline, in order, where
        // they were placed.
        for (int k = 0; k < refiner.mgetlinenum(); ++k) {
            const _KTREFINEDLINE &l = *refiner.mgetline(k);
            if (l.source <= 0) continue;
            const _KTPOLYLINE &p = *v.mgetpolyline(l.source);
            std::vector<int> nodes;
            for (int i = 0; i < l.pointnum; ++i) {
                if (l.node[i] < 0) continue;
                nodes.push_back(l.node[i]);
                double x, y;
                ASSERT_TRUE(refiner.mgetnodeposition(l.node[i], &x, &y));
                EXPECT_TRUE(x == l.point[i].x && y == l.point[i].y) << l.node[i];
            }
            EXPECT_EQ(nodes, std::vector<int>(p.nodeindex, p.nodeindex + p.nodenum)) << l.source;
        }
        // Every point of the truth, a stroke width clear of its ends, has a
        // line within 0.75 px.
        int uncovered = 0;
        for (const auto &line : c.truth)
            for (std::size_t i = 0; i + 1 < line.size(); ++i) {
                const P a = line[i], b = line[i + 1];
                const double length = std::hypot(b.x - a.x, b.y - a.y);
                for (double t = 3; t <= length - 3; t += 1) {
                    const P p{a.x + (b.x - a.x) * t / length, a.y + (b.y - a.y) * t / length};
                    double best = 1e9;
                    for (int k = 0; k < refiner.mgetlinenum(); ++k) {
                        const _KTREFINEDLINE &l = *refiner.mgetline(k);
                        for (int j = 0; j + 1 < l.pointnum; ++j)
                            best = std::fmin(best, segment_distance(p, {l.point[j].x, l.point[j].y},
                                                                    {l.point[j + 1].x, l.point[j + 1].y}));
                    }
                    uncovered += best > 0.75;
                }
            }
        EXPECT_EQ(uncovered, 0);
    }
}

// The chord across the narrow box gains the corner it cut, not the
// steps of the pixels it is routed along.
TEST_F(RefinedCentreLines, ChordsAcrossPaperGainTheirCornersOnly) {
    vectorize(case_named("narrow box under a wall"));
    ASSERT_EQ(refiner.mrefinecenterline(&v), 0);
    int own = 0;
    for (int k = 0; k < refiner.mgetlinenum(); ++k) {
        const _KTREFINEDLINE &l = *refiner.mgetline(k);
        own += static_cast<int>(std::count(l.node, l.node + l.pointnum, -1));
    }
    EXPECT_LE(own, 2);
}

// The same box against the far corner of a page whose sides are no
// multiple of the blocks the crossings are looked up in: its chord still
// gains the corner, and nothing is read or marked beyond the page.
TEST_F(RefinedCentreLines, ChordsAcrossPaperAtThePageEdge) {
    follow(narrow_box("narrow box in a page's corner", 60, 4, 126), 127, 63);
}

// Tables of one-pixel lines: thinning takes the corner pixel of each frame,
// and where lines meet the frame its corners are bends of open polylines;
// a corner must come back as one point, not a chamfer across it.
TEST_F(RefinedCentreLines, OnePixelTablesKeepTheirCorners) {
    struct Table {
        int x0, y0, x1, y1;
    };
    const std::vector<Table> tables = {{10, 8, 70, 50}, {80, 13, 111, 88}, {25, 60, 64, 91}};
    const Case c{"tables",
                 [&](ktvdraw::Canvas &cv) {
                     for (const Table &t : tables) {
                         const int xm = (t.x0 + t.x1) / 2, ym = (t.y0 + t.y1) / 2;
                         for (int x = t.x0; x <= t.x1; ++x) cv.set(x, t.y0), cv.set(x, t.y1);
                         for (int y = t.y0; y <= t.y1; ++y) cv.set(t.x0, y), cv.set(t.x1, y), cv.set(xm, y);
                         for (int x = t.x0; x <= xm; ++x) cv.set(x, ym);
                     }
                 },
                 {}, 0, {}, {}, 0};
    vectorize(c);
    ASSERT_EQ(refiner.mrefinecenterline(&v), 0);
    for (const Table &t : tables)
        for (const P q : {P{double(t.x0), double(t.y0)}, P{double(t.x1), double(t.y0)}, P{double(t.x1), double(t.y1)},
                          P{double(t.x0), double(t.y1)}}) {
            SCOPED_TRACE(testing::Message() << "corner " << q.x << "," << q.y);
            // Some line passes through the corner, and none has a point
            // near it but at it.
            int at = 0, beside = 0;
            for (int k = 0; k < refiner.mgetlinenum(); ++k) {
                const _KTREFINEDLINE &l = *refiner.mgetline(k);
                for (int i = 0; i < l.pointnum; ++i) {
                    const double d = std::hypot(l.point[i].x - q.x, l.point[i].y - q.y);
                    at += d <= 0.1;
                    beside += d > 0.1 && d < 4;
                }
            }
            EXPECT_GT(at, 0);
            EXPECT_EQ(beside, 0);
        }
}

// The stage reads the vectorizer and nothing else: its graph is as the
// driver left it, and the node positions answer for the nodes on lines.
TEST_F(RefinedCentreLines, LeaveTheVectorizerAsItWas) {
    vectorize(case_named("T of three-pixel strokes"));
    const std::string before = dump_graph(v);
    ASSERT_EQ(refiner.mrefinecenterline(&v), 0);
    EXPECT_EQ(dump_graph(v), before);
    int placed = 0;
    for (int i = 0; i < v.mgetnodenum(); ++i) {
        double x, y;
        if (!refiner.mgetnodeposition(i, &x, &y)) continue;
        ++placed;
        EXPECT_LE(std::hypot(x - v.mgetnode(i)->x, y - v.mgetnode(i)->y), 3.0);
    }
    EXPECT_GT(placed, 0);
    double x, y;
    EXPECT_EQ(refiner.mgetnodeposition(-1, &x, &y), 0);
    EXPECT_EQ(refiner.mgetnodeposition(v.mgetnodenum(), &x, &y), 0);
}

TEST_F(RefinedCentreLines, EmptyAndFullPages) {
    for (const bool black : {false, true}) {
        plain_page(canvas, v, black);
        ASSERT_EQ(v.mabstractcenterline(31, 4, 3.0, 8.0, 0.9, 4.0, 1.0), 0);
        EXPECT_EQ(refiner.mrefinecenterline(&v), 0);
        if (!black) {
            EXPECT_EQ(refiner.mgetlinenum(), 0);
        }
    }
    CKTVector blank;
    EXPECT_EQ(refiner.mrefinecenterline(&blank), 0);
    EXPECT_EQ(refiner.mgetlinenum(), 0);
}

// Every allocation of the stage failing in turn: -1000 and no lines, then
// the same lines as an undisturbed run, on one thread and on several.
TEST_F(RefinedCentreLines, AllocationFailuresLeaveNoLines) {
    for (const Case *c : {&case_named("corner with overshoots"), &case_named("arrowhead, 2.5 px"), &kApart[0],
                          &case_named("narrow box under a wall"), &case_named("filled ring")}) {
        SCOPED_TRACE(c->name);
        vectorize(*c);
        ASSERT_EQ(refiner.mrefinecenterline(&v), 0);
        for (const int threads : {1, 3}) {
            SCOPED_TRACE(threads);
            EXPECT_GT(sweep_refiner(v, &CKTRefiner::mrefinecenterline, refiner.mgetlinenum(), threads), 0);
        }
    }
}

// A noisy drawing, and a page all black (whose unexplained ink outgrows
// the room a band of rows is given), alike on any number of threads.
TEST_F(RefinedCentreLines, SameOnAnyNumberOfThreads) {
    canvas = ktvdraw::render_drawing(600, 420, 5);
    v.msetdocument(canvas.data(), canvas.width(), canvas.stride(), canvas.height());
    ASSERT_EQ(v.mabstractcenterline(31, 4, 3.0, 8.0, 0.9, 4.0, 1.0), 0);
    expect_same_on_any_threads(v, &CKTRefiner::mrefinecenterline);
    plain_page(canvas, v, true);
    ASSERT_EQ(v.mabstractcenterline(31, 4, 3.0, 8.0, 0.9, 4.0, 1.0), 0);
    expect_same_on_any_threads(v, &CKTRefiner::mrefinecenterline);
}

}  // namespace

