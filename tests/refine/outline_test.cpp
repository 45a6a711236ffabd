// The sub-pixel outlines against drawings of known edges: every black area
// and every hole is one closed ring, and the rings lie on the true edge of
// the ink whatever the width of the stroke.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <utility>
#include <vector>

#include "drawing.h"
#include "ktvec.h"
#include "ktvec_refine.h"
#include "refine_support.h"

namespace {

// A stroke with round caps from a to b (a == b: a disc), or with r > 0 a
// circle of radius r round a, or a filled polygon (white: a hole cut in
// the shapes before it): page coordinates, as the canvas draws.
struct Shape {
    Shape(double ax_, double ay_, double bx_, double by_, double width_, double r_)
        : ax(ax_), ay(ay_), bx(bx_), by(by_), width(width_), r(r_) {}
    Shape(std::vector<ktvdraw::Point> polygon_, bool white_) : polygon(std::move(polygon_)), white(white_) {}
    double ax = 0, ay = 0, bx = 0, by = 0, width = 0, r = 0;
    std::vector<ktvdraw::Point> polygon;
    bool white = false;
};

// A filled regular polygon of n corners round (cx, cy), the first at
// angle a.
Shape regular(double cx, double cy, double radius, int n, double a, bool white = false) {
    std::vector<ktvdraw::Point> p;
    for (int k = 0; k < n; ++k) {
        const double at = a + 2 * M_PI * k / n;
        p.push_back({cx + radius * std::cos(at), cy + radius * std::sin(at)});
    }
    return Shape(std::move(p), white);
}

// Distance from the point (x, y) to the segment from a to b.
double segment_distance(double x, double y, ktvdraw::Point a, ktvdraw::Point b) {
    const double dx = b.x - a.x, dy = b.y - a.y, dd = dx * dx + dy * dy;
    const double t = dd > 0 ? std::clamp(((x - a.x) * dx + (y - a.y) * dy) / dd, 0.0, 1.0) : 0;
    return std::hypot(x - a.x - t * dx, y - a.y - t * dy);
}

// Distance from the point (x, y) of the page to the edge of the shape.
double edge_distance(const Shape &s, double x, double y) {
    if (!s.polygon.empty()) {
        double best = 1e9;
        for (std::size_t k = 0; k < s.polygon.size(); ++k)
            best = std::min(best, segment_distance(x, y, s.polygon[k], s.polygon[(k + 1) % s.polygon.size()]));
        return best;
    }
    if (s.r > 0) return std::fabs(std::fabs(std::hypot(x - s.ax, y - s.ay) - s.r) - s.width / 2);
    return std::fabs(segment_distance(x, y, {s.ax, s.ay}, {s.bx, s.by}) - s.width / 2);
}

struct Case {
    const char *name;
    std::vector<Shape> shapes;  // apart from one another
    int rings;                  // closed rings expected: areas and holes
    double mean;                // largest mean distance of the rings from the edge, px
    int vertices;               // most vertices of all rings together
};

const Case kCases[] = {
    // Too thin for two borders in the driver's outline: one open line there.
    {"one-pixel stroke", {{10, 50.5, 100, 50.5, 1, 0}}, 1, 0.1, 4},
    {"two-pixel slanted stroke", {{15, 80, 95, 30.3, 2, 0}}, 1, 0.1, 4},
    {"four-pixel stroke", {{10, 20, 110, 24, 4, 0}}, 1, 0.15, 4},
    // Circles: the sides are short enough along the curve that their
    // corners stay on it (a polygon of long sides is twice as far off).
    {"ring round a hole", {{60, 50, 0, 0, 6, 30}}, 2, 0.15, 50},
    {"filled disc and a thin ring", {{30, 30, 30, 30, 36, 0}, {85, 60, 0, 0, 1.5, 20}}, 3, 0.15, 62},
    // Straight sides meet at their corners, and only there; an edge along a
    // row of pixels lies anywhere within half a pixel of its cracks.
    {"square turned 30 degrees", {regular(60, 50, 30, 4, M_PI / 6)}, 1, 0.06, 4},
    {"triangle and hexagon", {regular(30, 50, 22, 3, 0.3), regular(88, 50, 20, 6, 0.2)}, 2, 0.08, 9},
    {"square with a diamond hole", {regular(60, 50, 40, 4, M_PI / 4), regular(60, 50, 12, 4, 0, true)}, 2, 0.35, 8},
    // A few pixels across, where a side has only a few cracks.
    {"small squares and a hexagon",
     {regular(20, 20, 5, 4, 0), regular(45, 20, 4, 4, M_PI / 4), regular(70, 20, 7, 4, 0.3), regular(95, 20, 6, 6, 0)},
     4, 0.22, 20},
    {"small discs", {{20, 60, 20, 60, 8, 0}, {45, 60, 45, 60, 11, 0}, {75, 60, 75, 60, 15, 0}}, 3, 0.25, 31},
    {"small circles", {{20, 60, 0, 0, 2, 5}, {50, 60, 0, 0, 2, 8}, {85, 60, 0, 0, 1.5, 12}}, 6, 0.25, 76},
    // Too small for an inside, so the driver's outline thins them to a
    // point or two and drops that as dust: the dot is a mark and comes
    // back, the 2 x 2 speck stays dust.
    {"dot and a speck", {{30, 50, 30, 50, 4.6, 0}, {60, 50, 64, 51, 2.5, 0}, regular(90, 50, 1.4, 4, M_PI / 4)},
     2, 0.3, 12},
};

class RefinedOutlines : public ::testing::Test {
protected:
    // Draws `shapes`, then hands the page to `touch` (when given), and
    // vectorizes it.
    void vectorize(const std::vector<Shape> &shapes, int width = 120, int height = 100,
                   void (*touch)(ktvdraw::Canvas &) = nullptr) {
        canvas = ktvdraw::Canvas(width, height);
        for (const Shape &s : shapes) {
            canvas.set_ink(!s.white);
            if (!s.polygon.empty()) canvas.fill_polygon(s.polygon);
            else if (s.r > 0) canvas.circle(s.ax, s.ay, s.r, s.width);
            else canvas.thick_line(s.ax, s.ay, s.bx, s.by, s.width);
        }
        if (touch) touch(canvas);
        v.msetdocument(canvas.data(), canvas.width(), canvas.stride(), canvas.height());
        ASSERT_EQ(v.mabstractoutline(4, 1, 1.5, 1), 0);
    }
    // The rings: how many are closed, their mean distance (sampled every
    // 0.25 px) from the nearest edge, their vertices (the first not
    // repeated) and length; the node frame is half a pixel off the page's.
    struct Measured {
        int closed = 0;
        double mean = 1e9;
        int vertices = 0;
        double length = 0;
    };
    Measured measure(const std::vector<Shape> &shapes) const {
        Measured m;
        double sum = 0;
        for (int k = 0; k < refiner.mgetlinenum(); ++k) {
            const _KTREFINEDLINE &l = *refiner.mgetline(k);
            const bool ends_meet = l.pointnum > 2 && l.point[0].x == l.point[l.pointnum - 1].x &&
                                   l.point[0].y == l.point[l.pointnum - 1].y;
            m.closed += l.closed && ends_meet;
            m.vertices += l.pointnum - 1;
            for (int i = 0; i + 1 < l.pointnum; ++i) {
                const double ax = l.point[i].x + 0.5, ay = l.point[i].y + 0.5;
                const double bx = l.point[i + 1].x + 0.5, by = l.point[i + 1].y + 0.5;
                const double len = std::hypot(bx - ax, by - ay);
                const int n = std::max(1, static_cast<int>(len / 0.25));
                for (int s = 0; s < n; ++s) {
                    const double t = (s + 0.5) / n;
                    double best = 1e9;
                    for (const Shape &sh : shapes)
                        best = std::min(best, edge_distance(sh, ax + t * (bx - ax), ay + t * (by - ay)));
                    sum += best * len / n;
                }
                m.length += len;
            }
        }
        if (m.length > 0) m.mean = sum / m.length;
        return m;
    }

    ktvdraw::Canvas canvas{1, 1};
    CKTVector v;
    CKTRefiner refiner;
};

TEST_F(RefinedOutlines, CloseOnTheTrueEdge) {
    for (const Case &c : kCases) {
        SCOPED_TRACE(c.name);
        vectorize(c.shapes);
        ASSERT_EQ(refiner.mrefineoutline(&v), 0);
        EXPECT_EQ(refiner.mgetlinenum(), c.rings);
        const Measured m = measure(c.shapes);
        EXPECT_EQ(m.closed, c.rings);
        EXPECT_LE(m.mean, c.mean);
        EXPECT_LE(m.vertices, c.vertices);
    }
}

// A rough border: the rings follow the stroke, not every burr.
TEST_F(RefinedOutlines, RoughBordersKeepFewVertices) {
    const std::vector<Shape> shapes = {{10, 50, 110, 56, 8, 0}};
    vectorize(shapes);
    canvas.roughen(7, 0.12);
    v.msetdocument(canvas.data(), canvas.width(), canvas.stride(), canvas.height());
    ASSERT_EQ(v.mabstractoutline(4, 1, 1.5, 1), 0);
    ASSERT_EQ(refiner.mrefineoutline(&v), 0);
    const Measured m = measure(shapes);
    EXPECT_LE(100 * m.vertices / m.length, 17);  // 20.6 with the clean border's straightness
    EXPECT_LE(m.mean, 0.34);
}

// A page with no ink has no rings; a page all black is one ring round the
// page, on its border.
TEST_F(RefinedOutlines, EmptyAndFullPages) {
    for (const bool black : {false, true}) {
        plain_page(canvas, v, black);
        ASSERT_EQ(v.mabstractoutline(4, 1, 1.5, 1), 0);
        ASSERT_EQ(refiner.mrefineoutline(&v), 0);
        ASSERT_EQ(refiner.mgetlinenum(), black ? 1 : 0);
        if (!black) continue;
        const _KTREFINEDLINE &l = *refiner.mgetline(0);
        for (int i = 0; i < l.pointnum; ++i) {
            const double x = l.point[i].x + 0.5, y = l.point[i].y + 0.5;
            EXPECT_NEAR(std::min(std::min(x, 64 - x), std::min(y, 48 - y)), 0, 1e-9);
        }
    }
}

// Every allocation of the stage failing in turn: -1000 and no rings, then
// the rings of an undisturbed run, on one thread and on several.
TEST_F(RefinedOutlines, AllocationFailuresLeaveNoRings) {
    vectorize(kCases[4].shapes);
    for (const int threads : {1, 3}) {
        SCOPED_TRACE(threads);
        EXPECT_GT(sweep_refiner(v, &CKTRefiner::mrefineoutline, kCases[4].rings, threads), 0);
    }
}

// A plan drawn with pens: level and plumb strokes at every offset from the
// grid, and slanted ones that show each pen's width.  Strokes of one pen
// 3.4 px wide are drawn that wide about the middle of their ink, nearer
// the true edges than the cracks are; whole pens keep their sides on the
// cracks.
std::vector<Shape> plan(const std::vector<double> &pens) {
    std::vector<Shape> s;
    for (int k = 0; k < 12; ++k) {
        const double w = pens[static_cast<std::size_t>(k) % pens.size()], at = 14 + 15 * k + 0.09 * k;
        s.emplace_back(8, at, 120, at, w, 0);
        s.emplace_back(at + 1, 132, at + 1, 192, w, 0);
    }
    // Square ends: sides on the cracks from end to end.
    for (int k = 0; k < 9; ++k) {
        const double w = pens[static_cast<std::size_t>(k) % pens.size()], y = 6 + 13.13 * k;
        s.emplace_back(std::vector<ktvdraw::Point>{{127, y}, {190, y}, {190, y + w}, {127, y + w}}, false);
    }
    // Slopes clear of 1, 2, 3, 1/2, 1/3, 3/2 and 2/3, along which chords
    // are not measured.
    const double degrees[] = {15, 22, 30, 37, 52, 60, 67, 78};
    for (int k = 0; k < 8; ++k) {
        const double w = pens[static_cast<std::size_t>(k) % pens.size()], a = degrees[k] * M_PI / 180,
                     x = 200 + 45 * (k / 4);
        s.emplace_back(x, 12 + 45 * (k % 4), x + 40 * std::cos(a), 12 + 45 * (k % 4) + 40 * std::sin(a), w, 0);
    }
    return s;
}

TEST_F(RefinedOutlines, PenStrokesAboutTheirMiddle) {
    struct PenCase {
        std::vector<double> pens;
        double nearer;  // least gain in mean distance from the true edges over the cracks, px; 0: the same rings
    };
    for (const PenCase &c : {PenCase{{3.4}, 0.09}, PenCase{{1.3}, 0.08}, PenCase{{2, 3}, 0}}) {
        SCOPED_TRACE(c.pens.size());
        const std::vector<Shape> shapes = plan(c.pens);
        vectorize(shapes, 290, 200);
        refiner.msetpenwidths(0);
        ASSERT_EQ(refiner.mrefineoutline(&v), 0);
        const std::vector<double> on_cracks = line_numbers(refiner);
        const double cracks = measure(shapes).mean;  // 0.22-0.23
        refiner.msetpenwidths(1);
        ASSERT_EQ(refiner.mrefineoutline(&v), 0);
        if (c.nearer > 0) EXPECT_LE(measure(shapes).mean, cracks - c.nearer);
        else EXPECT_EQ(line_numbers(refiner), on_cracks);
        expect_same_on_any_threads(v, &CKTRefiner::mrefineoutline);
    }
}

// Specks of paper a few pixels large inside the strokes of a wide pen are
// no holes of the drawing; a dotted gap between two strokes, and a hole
// as large as the pen leaves, are.
TEST_F(RefinedOutlines, PinholesOfWidePensAreFilled) {
    // In the first three level strokes (rows 11-17, 26-32, 41-47): a 2 x 2
    // speck, two 3 x 1 specks a pixel apart, a 3 x 3 hole.
    vectorize(plan({6.4}), 290, 200, [](ktvdraw::Canvas &c) {
        for (const int y : {14, 15}) c.span(y, 40, 41, false);
        c.span(29, 40, 42, false), c.span(29, 44, 46, false);
        for (const int y : {43, 44, 45}) c.span(y, 40, 42, false);
    });
    refiner.msetpenwidths(0);
    ASSERT_EQ(refiner.mrefineoutline(&v), 0);
    const int every = refiner.mgetlinenum();
    refiner.msetpenwidths(1);
    ASSERT_EQ(refiner.mrefineoutline(&v), 0);
    EXPECT_EQ(refiner.mgetlinenum(), every - 1);
    for (int k = 0; k < refiner.mgetlinenum(); ++k) {
        const _KTREFINEDLINE &l = *refiner.mgetline(k);
        for (int i = 0; i < l.pointnum; ++i)
            EXPECT_FALSE(std::abs(l.point[i].x - 40.5) < 2 && std::abs(l.point[i].y - 14.5) < 2) << "the speck's ring";
    }
    EXPECT_GT(sweep_refiner(v, &CKTRefiner::mrefineoutline, every - 1, 1), 0);
}

TEST_F(RefinedOutlines, SameOnAnyNumberOfThreads) {
    canvas = ktvdraw::render_drawing(600, 420, 5);
    v.msetdocument(canvas.data(), canvas.width(), canvas.stride(), canvas.height());
    ASSERT_EQ(v.mabstractoutline(4, 1, 1.5, 1), 0);
    expect_same_on_any_threads(v, &CKTRefiner::mrefineoutline);
}


// What the driver traced and its clean-up then removed (with more spur
// nodes: isolated thin strokes) stays removed; a dot it never traced comes
// back whatever the options.
TEST_F(RefinedOutlines, WhatTheDriverRemovedStaysRemoved) {
    const std::vector<Shape> shapes = {{30, 50, 30, 50, 4.6, 0}, {10, 80.5, 60, 80.5, 1, 0}};
    for (const int spurnodes : {1, 3}) {
        SCOPED_TRACE(spurnodes);
        vectorize(shapes);
        ASSERT_EQ(v.mabstractoutline(4, spurnodes, 1.5, 1), 0);
        ASSERT_EQ(refiner.mrefineoutline(&v), 0);
        EXPECT_EQ(refiner.mgetlinenum(), spurnodes == 1 ? 2 : 1);
        for (int k = 0; k < refiner.mgetlinenum(); ++k)
            EXPECT_EQ(refiner.mgetline(k)->closed, 1);
    }
}

}  // namespace
