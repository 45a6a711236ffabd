// Known-vector sheets: the bitmap is exactly the union of the recorded
// strokes, and the scoring geometry agrees with brute force.
#include <gtest/gtest.h>

#if __has_include("groundtruth.h")

#include <cmath>
#include <limits>

#include "groundtruth.h"

using ktvdraw::Point;
using ktvdraw::Primitive;

namespace {
constexpr double kPi = 3.14159265358979323846;

Primitive line(double x0, double y0, double x1, double y1, double w = 2) {
    Primitive p;
    p.kind = Primitive::Line;
    p.x0 = x0; p.y0 = y0; p.x1 = x1; p.y1 = y1; p.width = w;
    return p;
}
Primitive arc(double cx, double cy, double r, double a0, double a1, double w = 2) {
    Primitive p;
    p.kind = Primitive::Arc;
    p.cx = cx; p.cy = cy; p.r = r; p.a0 = a0; p.a1 = a1; p.width = w;
    return p;
}
}  // namespace

TEST(GroundTruth, SheetIsTheUnionOfItsStrokes) {
    for (std::uint64_t seed : {1u, 4u}) {
        ktvdraw::Canvas c = ktvdraw::render_ground_truth(500, 340, seed);
        const auto &prims = c.primitives();
        ASSERT_GE(prims.size(), 12u);
        for (int y = 0; y < c.height(); ++y)
            for (int x = 0; x < c.width(); ++x) {
                double margin = std::numeric_limits<double>::infinity();  // < 0 inside a stroke
                for (const Primitive &p : prims)
                    margin = std::min(margin, ktvdraw::distance_to(p, {x + 0.5, y + 0.5}) - p.width / 2);
                if (std::fabs(margin) < 0.03) continue;
                ASSERT_EQ(c.get(x, y), margin < 0) << "seed " << seed << " pixel " << x << "," << y;
            }
    }
}

TEST(GroundTruth, EveryMotifKindAppearsAndWidthsStayInRange) {
    ktvdraw::GroundTruthOptions o;
    o.min_width = 3;
    o.max_width = 5;
    ktvdraw::Canvas c = ktvdraw::render_ground_truth(4 * 160, 2 * 160, 9, o);
    int lines = 0, arcs = 0, full = 0;
    for (const Primitive &p : c.primitives()) {
        EXPECT_GE(p.width, 3);
        EXPECT_LE(p.width, 5);
        lines += p.kind == Primitive::Line;
        arcs += p.kind == Primitive::Arc;
        full += p.kind == Primitive::Arc && p.a1 - p.a0 > 2 * kPi - 1e-9;
    }
    EXPECT_GE(lines, 12 + 2 + 2 + 2 + 5);  // star, tee, crossing, corner, parallels
    EXPECT_GE(full, 2);                     // circles
    EXPECT_GE(arcs - full, 2);              // open arcs
}

TEST(GroundTruth, DistancesToLinesArcsAndPolygons) {
    EXPECT_DOUBLE_EQ(ktvdraw::distance_to(line(0, 0, 10, 0), {5, 3}), 3);
    EXPECT_DOUBLE_EQ(ktvdraw::distance_to(line(0, 0, 10, 0), {13, 4}), 5);
    EXPECT_DOUBLE_EQ(ktvdraw::distance_to(line(2, 2, 2, 2), {5, 6}), 5);
    // quarter arc from angle 0 to pi/2 (y down: from east to south)
    Primitive a = arc(0, 0, 10, 0, kPi / 2);
    EXPECT_NEAR(ktvdraw::distance_to(a, {0, 7}), 3, 1e-12);
    EXPECT_NEAR(ktvdraw::distance_to(a, {0, -10}), std::hypot(10, 10), 1e-12);  // nearest end (10, 0)
    Primitive b = arc(0, 0, 10, 3 * kPi / 2, 5 * kPi / 2);  // north through east to south
    EXPECT_NEAR(ktvdraw::distance_to(b, {12, 0}), 2, 1e-12);
    Primitive poly;
    poly.kind = Primitive::Polygon;
    poly.points = {{0, 0}, {10, 0}, {10, 10}, {0, 10}};
    EXPECT_EQ(ktvdraw::distance_to(poly, {4, 4}), 0);
    EXPECT_DOUBLE_EQ(ktvdraw::distance_to(poly, {14, 5}), 4);
}

TEST(GroundTruth, SamplesLieOnTheCentreLineAndKeepTheStep) {
    for (const Primitive &p : {line(3, 4, 40, -7), arc(5, 5, 30, 1, 4), arc(0, 0, 8, 0, 2 * kPi)}) {
        std::vector<Point> s = ktvdraw::sample_along(p, 1.5);
        ASSERT_GE(s.size(), 2u);
        for (std::size_t i = 0; i < s.size(); ++i) {
            EXPECT_LT(ktvdraw::distance_to(p, s[i]), 1e-9);
            if (i) {
                EXPECT_LE(std::hypot(s[i].x - s[i - 1].x, s[i].y - s[i - 1].y), 1.5 + 1e-9);
            }
        }
    }
    std::vector<Point> s = ktvdraw::sample_along(line(3, 4, 40, -7), 2);
    EXPECT_DOUBLE_EQ(s.front().x, 3);
    EXPECT_DOUBLE_EQ(s.back().x, 40);
}

TEST(GroundTruth, IndexFindsWhatBruteForceFinds) {
    ktvdraw::Canvas c = ktvdraw::render_ground_truth(480, 480, 2);
    const auto &prims = c.primitives();
    ktvdraw::PrimitiveIndex index(prims, 24);
    ktvdraw::Rng rng(5);
    for (int q = 0; q < 2000; ++q) {
        Point p{rng.uniform(-100, 580), rng.uniform(-100, 580)};
        double maxdist = q % 5 == 0 ? std::numeric_limits<double>::infinity() : rng.uniform(0, 40);
        int want = -1;
        double wantd = std::numeric_limits<double>::infinity();
        for (std::size_t i = 0; i < prims.size(); ++i) {
            double d = ktvdraw::distance_to(prims[i], p);
            if (d <= maxdist && d < wantd) { wantd = d; want = (int)i; }
        }
        double got = 0;
        ASSERT_EQ(index.nearest(p, maxdist, &got), want) << q;
        // border offset: min over strokes of distance - half width, capped
        double border = 7;
        std::vector<int> near, near_want;
        for (std::size_t i = 0; i < prims.size(); ++i) {
            double d = ktvdraw::distance_to(prims[i], p);
            border = std::min(border, d - prims[i].width / 2);
            if (d <= 12) near_want.push_back((int)i);
        }
        EXPECT_DOUBLE_EQ(index.border_offset(p, 7), border) << q;
        index.within(p, 12, near);
        EXPECT_EQ(near, near_want) << q;
        if (want >= 0) {
            EXPECT_DOUBLE_EQ(got, wantd);
        }
    }
    std::vector<Primitive> none;
    ktvdraw::PrimitiveIndex empty(none);
    EXPECT_EQ(empty.nearest({1, 1}, 100), -1);
}

#endif
