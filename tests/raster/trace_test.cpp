// Contour tracing and the two pre-processing passes, on working rasters
// given directly (no filter involved).
#include <gtest/gtest.h>

#include <utility>
#include <vector>

#include "bitmap.h"
#include "peer.h"

namespace {

using Chain = std::vector<std::pair<int, int>>;

struct Traced {
    std::vector<Chain> kept;
    int discarded = 0;
};

Chain chain_of(const _KTSEGMENT &s) {
    Chain c;
    for (int i = 0; i < s.pointnum; ++i) c.emplace_back(s.pointlist[i]->x, s.pointlist[i]->y);
    return c;
}

Traced trace(CKTVector &v, const Bitmap &b, bool point_pass = true, int maxlength = -1) {
    load_working_raster(v, b);
    EXPECT_EQ(v.minitbuffer(), 0);
    if (point_pass) v.mpreprocess1();
    EXPECT_EQ(v.mtrace(), 0);
    if (maxlength >= 0) v.mpreprocess2(maxlength);
    Traced t;
    for (int i = 0; i < v.segmentnum; ++i) {
        EXPECT_LE(v.segment[i].pointnum, v.segment[i].pointcapacity);
        if (v.segment[i].discard) ++t.discarded;
        else t.kept.push_back(chain_of(v.segment[i]));
    }
    EXPECT_LE(v.segmentnum, v.segmentcapacity);
    return t;
}

Traced trace(const Bitmap &b, bool point_pass = true, int maxlength = -1) {
    CKTVector v;
    return trace(v, b, point_pass, maxlength);
}

}  // namespace

TEST(Trace, ClosedRingIsOneLoopFromItsFirstPixel) {
    Traced t = trace(Bitmap::from_ascii({"###", "#.#", "###"}));
    ASSERT_EQ(t.kept.size(), 1u);
    EXPECT_EQ(t.discarded, 0);
    const Chain &c = t.kept[0];
    ASSERT_EQ(c.size(), 9u);
    EXPECT_EQ(c.front(), std::make_pair(0, 0));
    EXPECT_EQ(c.back(), std::make_pair(0, 0));
}

TEST(Trace, StraightLineRunsWestToEast) {
    Traced t = trace(Bitmap::from_ascii({"#####"}));
    ASSERT_EQ(t.kept.size(), 1u);
    EXPECT_EQ(t.discarded, 1);
    EXPECT_EQ(t.kept[0], (Chain{{0, 0}, {1, 0}, {2, 0}, {3, 0}, {4, 0}}));
}

TEST(Trace, TwoPixelLineGivesNoSegment) {
    Traced t = trace(Bitmap::from_ascii({"##"}));
    EXPECT_TRUE(t.kept.empty());
    EXPECT_EQ(t.discarded, 0);
}

TEST(Trace, TJunctionMeetsAtTheBranchPixel) {
    Traced t = trace(Bitmap::from_ascii({
        ".......", ".......", "#######", "...#...", "...#...", "...#...", "...#...",
    }));
    ASSERT_EQ(t.kept.size(), 3u);
    EXPECT_EQ(t.kept[0], (Chain{{0, 2}, {1, 2}, {2, 2}, {3, 2}}));
    EXPECT_EQ(t.kept[1], (Chain{{3, 2}, {4, 2}, {5, 2}, {6, 2}}));
    // The stem's first walk steps north-east onto (4,2); the snap moves it
    // onto the branch pixel (3,2).
    EXPECT_EQ(t.kept[2].front(), std::make_pair(3, 6));
    EXPECT_EQ(t.kept[2].back(), std::make_pair(3, 2));
    EXPECT_EQ(t.kept[2].size(), 5u);
}

TEST(Trace, StaircaseCornerBesideADiagonalIsDiscarded) {
    // The diagonal walk steps past (3,2); the L of (2,2), (3,2), (3,3) is
    // traced afterwards between two traced points and dropped.
    Traced t = trace(Bitmap::from_ascii({
        "#.....", ".#....", "..##..", "...#..", "....#.", ".....#",
    }));
    ASSERT_EQ(t.kept.size(), 1u);
    EXPECT_EQ(t.kept[0].front(), std::make_pair(0, 0));
    EXPECT_EQ(t.kept[0].back(), std::make_pair(5, 5));
    EXPECT_EQ(t.kept[0].size(), 6u);
    EXPECT_EQ(t.discarded, 3);  // the two joined walks' first halves, and the corner
}

TEST(Trace, EveryPointOfASegmentIsFlaggedAndRetracingFindsNothing) {
    Bitmap b = Bitmap::from_ascii({"#####....", "....#....", "....#####"});
    CKTVector v;
    trace(v, b);
    for (int i = 0; i < v.pointnum; ++i) {
        if (v.point[i].kind == 2) {
            EXPECT_TRUE(v.point[i].flag & 2);
        }
    }
    ASSERT_EQ(v.mtrace(), 0);
    EXPECT_EQ(v.segmentnum, 0);
}

TEST(PointPass, OnePixelSpurIsDetachedFromItsBranch) {
    Bitmap b = Bitmap::from_ascii({"#....", ".#.#.", "..#..", "...#.", "....#"});
    CKTVector v;
    load_working_raster(v, b);
    ASSERT_EQ(v.minitbuffer(), 0);
    _KTPOINT *spur = Peer::mgetpoint(v, 3, 1);
    _KTPOINT *branch = Peer::mgetpoint(v, 2, 2);
    EXPECT_EQ(spur->pattern, 20);
    EXPECT_EQ(branch->kind, 3);
    v.mpreprocess1();
    EXPECT_EQ(spur->pattern, 0);
    EXPECT_EQ(spur->kind, 1);
    EXPECT_EQ(branch->kind, 2);
    EXPECT_FALSE(branch->pattern & 64);
    ASSERT_EQ(v.mtrace(), 0);
    int kept = 0;
    for (int i = 0; i < v.segmentnum; ++i) {
        if (v.segment[i].discard) continue;
        ++kept;
        EXPECT_EQ(chain_of(v.segment[i]), (Chain{{0, 0}, {1, 1}, {2, 2}, {3, 3}, {4, 4}}));
    }
    EXPECT_EQ(kept, 1);
}

TEST(PointPass, EndPixelWithTwoNeighboursIsLeftAlone) {
    // (0,0) has two neighbours: class 1 but not a one-neighbour pattern.
    Bitmap b = Bitmap::from_ascii({"##...", "##...", "..###"});
    CKTVector v;
    load_working_raster(v, b);
    ASSERT_EQ(v.minitbuffer(), 0);
    std::vector<_KTPOINT> before(v.point, v.point + v.pointnum);
    v.mpreprocess1();
    for (int i = 0; i < v.pointnum; ++i) {
        EXPECT_EQ(v.point[i].pattern, before[i].pattern);
        EXPECT_EQ(v.point[i].kind, before[i].kind);
    }
}

// The segment pass on hand-made segments: points with chosen classes, each
// segment a list of references into them.
class SegmentPass : public ::testing::Test {
protected:
    CKTVector v;
    std::vector<_KTPOINT> pts;

    void SetUp() override { pts.reserve(64); }
    _KTPOINT *pt(int kind) {
        pts.push_back(_KTPOINT{static_cast<int>(pts.size()), 0, static_cast<unsigned char>(kind), 0,
                               16, -1});
        return &pts.back();
    }
    // A segment from `a` to `b` with `inner` line points between them.
    void seg(_KTPOINT *a, int inner, _KTPOINT *b) {
        Peer::add_segment(v);
        _KTSEGMENT *s = &v.segment[v.segmentnum - 1];
        Peer::registpoint(v, s, a);
        for (int i = 0; i < inner; ++i) Peer::registpoint(v, s, pt(2));
        Peer::registpoint(v, s, b);
    }
    bool discarded(int i) const { return v.segment[i].discard == 1; }
};

TEST_F(SegmentPass, ShortestSpurAtAClassFourPixelIsCutLongerFirst) {
    _KTPOINT *b = pt(4);
    seg(b, 3, pt(1));  // 5 points
    seg(b, 1, pt(1));  // 3 points: replaces the first cut
    v.mpreprocess2(10);
    EXPECT_FALSE(discarded(0));
    EXPECT_TRUE(discarded(1));
    EXPECT_EQ(b->kind, 3);  // lowered once only
    EXPECT_EQ(b->segment, 1);
}

TEST_F(SegmentPass, ShortestSpurAtAClassFourPixelIsCutShorterFirst) {
    _KTPOINT *b = pt(4);
    seg(b, 1, pt(1));
    seg(b, 3, pt(1));
    v.mpreprocess2(10);
    EXPECT_TRUE(discarded(0));
    EXPECT_FALSE(discarded(1));
    EXPECT_EQ(b->kind, 3);
    EXPECT_EQ(b->segment, 0);
}

TEST_F(SegmentPass, FirstCutLowersAClassThreePixelSoALaterSpurIsNotSeen) {
    _KTPOINT *b = pt(3);
    seg(b, 3, pt(1));  // 5 points, met first
    seg(b, 1, pt(1));  // 3 points
    v.mpreprocess2(10);
    EXPECT_TRUE(discarded(0));
    EXPECT_FALSE(discarded(1));
    EXPECT_EQ(b->kind, 2);
}

TEST_F(SegmentPass, EqualSpursKeepTheFirstCut) {
    _KTPOINT *b = pt(4);
    seg(b, 2, pt(1));
    seg(pt(1), 2, b);  // branch pixel at the end this time
    v.mpreprocess2(10);
    EXPECT_TRUE(discarded(0));
    EXPECT_FALSE(discarded(1));
}

TEST_F(SegmentPass, WhatIsNeverCut) {
    _KTPOINT *b = pt(3);
    _KTPOINT *b2 = pt(3);
    seg(b, 5, pt(1));   // longer than maxlength 4
    seg(b, 1, b2);      // branch to branch
    seg(pt(1), 1, pt(1));  // end to end
    _KTPOINT *loop = pt(3);
    seg(loop, 2, loop);    // closed
    v.mpreprocess2(4);
    for (int i = 0; i < v.segmentnum; ++i) EXPECT_FALSE(discarded(i)) << i;
    v.mpreprocess2(0);
    for (int i = 0; i < v.segmentnum; ++i) EXPECT_FALSE(discarded(i)) << i;
}
