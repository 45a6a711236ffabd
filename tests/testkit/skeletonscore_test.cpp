// Skeleton scoring on hand-made skeletons with known faults.
#include <gtest/gtest.h>

#if __has_include("skeletonscore.h")

#include "skeletonscore.h"

using ktvdraw::Canvas;
using ktvdraw::Primitive;

namespace {
// One horizontal stroke of width 7 from x = 20 to 100 on row 30.5, and the
// canvas its ideal skeleton is drawn on.
std::vector<Primitive> bar() {
    Primitive p;
    p.kind = Primitive::Line;
    p.x0 = 20; p.y0 = 30.5; p.x1 = 100; p.y1 = 30.5; p.width = 7;
    return {p};
}
void row(Canvas &c, int y, int x0, int x1) { c.span(y, x0, x1); }
}  // namespace

TEST(SkeletonScore, IdealSkeletonScoresClean) {
    Canvas c(128, 64);
    row(c, 30, 20, 99);
    ktvdraw::SkeletonScore s = ktvdraw::score_skeleton(c.data(), 128, 64, c.stride(), bar());
    EXPECT_EQ(s.pixels, 80);
    EXPECT_NEAR(s.mean_offset, 0, 1e-12);
    EXPECT_EQ(s.stray, 0);
    EXPECT_DOUBLE_EQ(s.coverage, 1.0);
    EXPECT_EQ(s.free_ends, 2);
    EXPECT_LT(s.mean_end_gap, 0.6);
    EXPECT_EQ(s.end_pixels, 2);
    EXPECT_EQ(s.spurs, 0);
}

TEST(SkeletonScore, OffsetShortenedSpurredAndStraySkeletonsAreSeen) {
    Canvas c(128, 64);
    row(c, 32, 40, 99);                           // two rows low, first 20 px lost
    for (int k = 1; k <= 3; ++k) c.set(70, 32 - k);  // a spur off the middle (its tip is an end)
    c.set(60, 5);                                 // a stray speck far from the stroke
    ktvdraw::SkeletonScore s = ktvdraw::score_skeleton(c.data(), 128, 64, c.stride(), bar());
    EXPECT_EQ(s.pixels, 60 + 3 + 1);
    EXPECT_EQ(s.stray, 1);
    EXPECT_GT(s.mean_offset, 1.5);
    EXPECT_LT(s.coverage, 0.8);
    EXPECT_GT(s.mean_end_gap, 5);                 // the left end is 20 px away: capped at 11
    // ends where the truth has none: the spur tip and the cut-back left end
    // (the speck has no neighbour, so it is no end pixel)
    EXPECT_EQ(s.spurs, 2);
}

#endif
