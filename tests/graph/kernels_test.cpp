// The approximation kernels on hand-made chains.  Expected values are worked
// out by hand from the piece rule (|S_i / L_i| <= tolerance) and the corner
// check; the comments give the deciding terms.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "graph/kernels.h"

namespace {

struct Chain {
    std::vector<_KTPOINT> pts;
    std::vector<_KTPOINT *> ptr;
    std::vector<_KTPOINT *> vertices;
    std::vector<double> lengths, sums, w1, w2;
    explicit Chain(std::vector<std::pair<int, int>> xy, unsigned char flag = 0) {
        for (auto [x, y] : xy) {
            _KTPOINT p{};
            p.x = x;
            p.y = y;
            p.flag = flag;
            pts.push_back(p);
        }
        for (auto &p : pts) ptr.push_back(&p);
        const size_t n = pts.size();
        vertices.assign(n > 2 ? n - 2 : 1, nullptr);
        lengths.assign(n > 1 ? n - 1 : 1, -1.0);
        sums = lengths;
        w1 = lengths;
        w2 = lengths;
    }
    int count() const { return static_cast<int>(pts.size()); }
    int l1(double t) {
        return MORABASE_approximateL1(t, count(), ptr.data(), vertices.data(), lengths.data(), sums.data());
    }
    int l2(double t) {
        return MORABASE_approximateL2(t, count(), ptr.data(), vertices.data(), lengths.data(), sums.data(),
                                      w1.data(), w2.data());
    }
    int l3(double t) {
        return MORABASE_approximateL3(t, count(), ptr.data(), vertices.data(), lengths.data(), sums.data(),
                                      w1.data(), w2.data());
    }
    // Indices of the vertices in the chain.
    std::vector<int> picked(int v) const {
        std::vector<int> out;
        for (int i = 0; i < v; ++i) out.push_back(static_cast<int>(vertices[i] - pts.data()));
        return out;
    }
    std::vector<double> sum_list(int v) const { return std::vector<double>(sums.begin(), sums.begin() + v); }
};

using XY = std::vector<std::pair<int, int>>;

XY axis_then(int axis_end, XY tail) {
    XY out;
    for (int x = 0; x <= axis_end; ++x) out.push_back({x, 0});
    out.insert(out.end(), tail.begin(), tail.end());
    return out;
}

// Eleven points on the x axis, then a bend: P11 (11,1) passes with
// S/L = 10/11.05, P12 (12,3) fails (S = 31).  The failing point's deviation
// 21/12.37 exceeds 0.75 in the one-entry window of tolerance 1.
XY chain_a() { return axis_then(10, {{11, 1}, {12, 3}, {13, 5}}); }
// Thirteen points on the axis, P13 (13,3) passes (36/13.34 <= 3), P14
// (14,8) fails; with tolerance 3 the corner check answers 3 with j = 12.
XY chain_b() { return axis_then(12, {{13, 3}, {14, 8}, {15, 13}}); }

TEST(Kernels, ShortChainsGiveNothingAndMarkNothing) {
    for (int n = 0; n <= 2; ++n) {
        XY xy;
        for (int i = 0; i < n; ++i) xy.push_back({i, 0});
        Chain c(xy);
        EXPECT_EQ(c.l1(1.0), 0);
        EXPECT_EQ(c.l2(1.0), 0);
        EXPECT_EQ(c.l3(1.0), 0);
        for (auto &p : c.pts) EXPECT_EQ(p.flag, 0);
    }
}

TEST(Kernels, ThreePointsGiveTheLastPointWithoutATest) {
    // c_2 = 1*0 - 1*2 = -2, L_2 = 2, D_2 = -1; tolerance 0 would reject it.
    const XY xy = {{0, 0}, {1, 1}, {2, 0}};
    Chain a(xy);
    ASSERT_EQ(a.l1(0.0), 1);
    EXPECT_EQ(a.picked(1), std::vector<int>{2});
    EXPECT_EQ(a.sums[0], 0.0);
    EXPECT_DOUBLE_EQ(a.lengths[0], 2.0);
    for (int kernel = 2; kernel <= 3; ++kernel) {
        Chain b(xy);
        ASSERT_EQ(kernel == 2 ? b.l2(0.0) : b.l3(0.0), 1);
        EXPECT_EQ(b.picked(1), std::vector<int>{2});
        EXPECT_DOUBLE_EQ(b.sums[0], -2.0);
        EXPECT_DOUBLE_EQ(b.w1[0], -2.0);
        EXPECT_DOUBLE_EQ(b.w1[1], -2.0);
        EXPECT_DOUBLE_EQ(b.w2[0], -1.0);
        EXPECT_DOUBLE_EQ(b.w2[1], -1.0);
    }
}

TEST(Kernels, StraightChainIsOnePiece) {
    XY xy;
    for (int i = 0; i < 20; ++i) xy.push_back({i, 2 * i});
    for (int kernel = 1; kernel <= 3; ++kernel) {
        Chain c(xy);
        const int v = kernel == 1 ? c.l1(0.5) : kernel == 2 ? c.l2(0.5) : c.l3(0.5);
        ASSERT_EQ(v, 1) << "kernel " << kernel;
        EXPECT_EQ(c.picked(1), std::vector<int>{19});
        EXPECT_EQ(c.sums[0], 0.0);
        EXPECT_DOUBLE_EQ(c.lengths[0], std::sqrt(19.0 * 19.0 + 38.0 * 38.0));
        for (auto &p : c.pts) EXPECT_EQ(p.flag & 1, 1);
    }
}

TEST(Kernels, FailingThirdPointGivesAOneStepPiece) {
    // c_2 = 5*5 = 25 over L_2 = 7.07: fails at once; L1's sum keeps the
    // failing term.
    const XY xy = {{0, 0}, {5, 0}, {5, 5}, {5, 6}};
    Chain a(xy);
    ASSERT_EQ(a.l1(1.0), 2);
    EXPECT_EQ(a.picked(2), (std::vector<int>{1, 3}));
    EXPECT_EQ(a.sum_list(2), (std::vector<double>{25.0, 0.0}));
    EXPECT_DOUBLE_EQ(a.lengths[0], 5.0);
    EXPECT_DOUBLE_EQ(a.lengths[1], 6.0);
    Chain b(xy);
    ASSERT_EQ(b.l2(1.0), 2);
    EXPECT_EQ(b.picked(2), (std::vector<int>{1, 3}));
    EXPECT_DOUBLE_EQ(b.sums[0], 25.0);
}

TEST(Kernels, PointOnTheStartPassesAndAnInfiniteQuotientFails) {
    // P2 = P0: S = 0 over L = 0 is not a number and passes.
    Chain a({{0, 0}, {1, 0}, {0, 0}, {0, 1}, {0, 2}});
    ASSERT_EQ(a.l1(0.5), 1);
    EXPECT_EQ(a.picked(1), std::vector<int>{4});
    // P3 = P0 with S = 1: 1 / 0 fails, the piece ends at P2.
    Chain b({{0, 0}, {1, 0}, {1, 1}, {0, 0}, {5, 5}, {6, 6}});
    ASSERT_GE(b.l1(1.0), 1);
    EXPECT_EQ(b.picked(1), std::vector<int>{2});
}

TEST(Kernels, PlainKernelOnABend) {
    Chain c(chain_a());
    ASSERT_EQ(c.l1(1.0), 2);
    EXPECT_EQ(c.picked(2), (std::vector<int>{11, 13}));
    EXPECT_EQ(c.sum_list(2), (std::vector<double>{31.0, 0.0}));  // 10 + 21
    EXPECT_DOUBLE_EQ(c.lengths[0], std::sqrt(122.0));
    EXPECT_DOUBLE_EQ(c.lengths[1], std::sqrt(20.0));
}

TEST(Kernels, PlainKernelStoresOneIntoTheFlagByte) {
    Chain c(chain_a(), 0xf0);
    c.l1(1.0);
    std::vector<int> flags;
    for (auto &p : c.pts) flags.push_back(p.flag);
    // P0 and each piece's P1 are or-ed (P1 of the second piece is P12),
    // the points that pass and the chain's end are stored as 1.
    std::vector<int> expect(14, 0x01);
    expect[0] = expect[1] = expect[12] = 0xf1;
    EXPECT_EQ(flags, expect);
}

TEST(Kernels, CornerKernelsOrTheirMarks) {
    Chain c(chain_a(), 0xf0);
    c.l2(1.0);
    for (auto &p : c.pts) EXPECT_EQ(p.flag, 0xf1);
}

TEST(Kernels, CornerCutShortensThePiece) {
    // The check finds the bend at j = 10: the piece is cut back to P9 with
    // sum W1[9] = S_11 = 10; the rest (P9..P13) is one piece with S = 7.
    Chain c(chain_a());
    ASSERT_EQ(c.l2(1.0), 2);
    EXPECT_EQ(c.picked(2), (std::vector<int>{9, 13}));
    EXPECT_EQ(c.sum_list(2), (std::vector<double>{10.0, 7.0}));
    EXPECT_DOUBLE_EQ(c.lengths[0], 9.0);
    EXPECT_DOUBLE_EQ(c.lengths[1], std::sqrt(41.0));

    Chain b(chain_b());
    ASSERT_EQ(b.l2(3.0), 2);
    EXPECT_EQ(b.picked(2), (std::vector<int>{11, 15}));
    EXPECT_EQ(b.sum_list(2), (std::vector<double>{36.0, 17.0}));
}

TEST(Kernels, CornerVerticesKeepThePieceAndMarkBitTwo) {
    // Tolerance 1: one extra vertex V_j = P9 before V_k = P11.
    Chain a(chain_a());
    ASSERT_EQ(a.l3(1.0), 3);
    EXPECT_EQ(a.picked(3), (std::vector<int>{9, 11, 13}));
    EXPECT_EQ(a.sum_list(3), (std::vector<double>{10.0, 10.0, 0.0}));
    EXPECT_DOUBLE_EQ(a.lengths[0], 9.0);
    EXPECT_DOUBLE_EQ(a.lengths[1], std::sqrt(5.0));
    for (int i = 0; i < a.count(); ++i) EXPECT_EQ((a.pts[i].flag & 4) != 0, i == 9) << i;

    // Tolerance 3: the check answers 3 (j = 12, q = 2*12 - 13 - 3 = 8): V_q =
    // P8, V_j = P11, V_k = P13, all with sum W1[8] = 0.
    Chain b(chain_b());
    ASSERT_EQ(b.l3(3.0), 4);
    EXPECT_EQ(b.picked(4), (std::vector<int>{8, 11, 13, 15}));
    EXPECT_EQ(b.sum_list(4), (std::vector<double>{0.0, 0.0, 0.0, 0.0}));
    EXPECT_DOUBLE_EQ(b.lengths[0], 8.0);
    EXPECT_DOUBLE_EQ(b.lengths[1], 3.0);
    EXPECT_DOUBLE_EQ(b.lengths[2], std::sqrt(13.0));
    for (int i = 0; i < b.count(); ++i) EXPECT_EQ((b.pts[i].flag & 4) != 0, i == 8 || i == 11) << i;
}

// Ten points on the axis, a jump to (10,3) (D_10 = 27/10.44), then a slow
// climb whose deviations stay small until (14,7) fails.  With tolerance 3.4
// the window of 5 entries reaches D_10 only at its far end: j = 8,
// q = 2*8 - 13 - 3 = 0, so the first extra vertex is the piece's start.
XY chain_c() { return axis_then(9, {{10, 3}, {11, 4}, {12, 5}, {13, 6}, {14, 7}, {15, 8}, {16, 9}}); }

TEST(Kernels, CornerVerticesCanRepeatThePieceStart) {
    Chain c(chain_c());
    ASSERT_EQ(c.l3(3.4), 4);
    EXPECT_EQ(c.picked(4), (std::vector<int>{0, 7, 13, 16}));
    EXPECT_EQ(c.lengths[0], 0.0);
    EXPECT_EQ(c.pts[0].flag, 5);
}

struct CornerCase {
    double tolerance;
    int k;
    std::vector<std::pair<int, double>> deviations;  // W2 entries set
    int r, j1, q;
};

class CornerCheck : public ::testing::TestWithParam<CornerCase> {};

TEST_P(CornerCheck, Answers) {
    const CornerCase &c = GetParam();
    std::vector<double> w2(static_cast<size_t>(c.k), 0.0);
    for (auto [i, d] : c.deviations) w2[static_cast<size_t>(i)] = d;
    int result[3] = {-7, -7, -7};
    EXPECT_EQ(ktv::checkcorner(c.tolerance, c.k, w2.data(), result), c.r);
    EXPECT_EQ(result[0], c.k);
    if (c.r >= 2) {
        EXPECT_EQ(result[1], c.j1);
    }
    EXPECT_EQ(result[2], c.r == 3 ? c.q : -7);
}

INSTANTIATE_TEST_SUITE_P(
    Thresholds, CornerCheck,
    ::testing::Values(
        // Tolerance 3: at least 12 steps, window of 4 entries, threshold 2.25.
        CornerCase{3.0, 11, {{10, 50.0}}, 1, 0, 0},
        CornerCase{3.0, 12, {{11, 50.0}}, 3, 10, 7},
        CornerCase{3.0, 12, {{11, 0.5}, {10, 0.5}, {9, 0.5}, {8, 0.5}, {7, 50.0}}, 1, 0, 0},
        CornerCase{3.0, 12, {{11, 0.5}, {10, 0.5}, {9, 0.5}, {8, 1.0}}, 3, 7, 1},
        CornerCase{3.0, 12, {{11, -3.0}}, 3, 10, 7},  // the sum's magnitude counts
        // Tolerance 1: at least 11 steps, window of 1 entry.
        CornerCase{1.0, 10, {{9, 5.0}}, 1, 0, 0},
        CornerCase{1.0, 11, {{10, 1.0}}, 2, 9, 0},
        CornerCase{1.0, 11, {{10, 0.75}}, 1, 0, 0},  // not greater than 0.75
        CornerCase{1.0, 11, {{10, 0.5}, {9, 5.0}}, 1, 0, 0},
        // Tolerance 2 or less never answers 3; just above it does.
        CornerCase{2.0, 20, {{19, 9.0}}, 2, 18, 0},
        CornerCase{2.01, 20, {{19, 9.0}}, 3, 18, 15},
        // Window trunc(1.5 t) < 1: nothing.
        CornerCase{0.5, 30, {{29, 9.0}}, 1, 0, 0},
        // Absurd tolerances find no bend.
        CornerCase{NAN, 30, {{29, 9.0}}, 1, 0, 0},
        CornerCase{-1.0, 30, {{29, 9.0}}, 1, 0, 0},
        CornerCase{1e300, 30, {{29, 9.0}}, 1, 0, 0}));

TEST(Kernels, PieceFinderWritesTheWorkArraysOfTheFailingPoint) {
    Chain c(chain_a());
    int result[3] = {0, 0, 0};
    const int r = ktv::approximatepiece2(1.0, c.count(), c.ptr.data(), c.w1.data(), c.w2.data(), result);
    EXPECT_EQ(r, 2);
    EXPECT_EQ(result[0], 11);
    EXPECT_EQ(result[1], 9);
    EXPECT_DOUBLE_EQ(c.w1[9], 10.0);
    EXPECT_DOUBLE_EQ(c.w1[10], 31.0);
    EXPECT_DOUBLE_EQ(c.w2[10], 21.0 / std::sqrt(153.0));
    EXPECT_EQ(c.pts[12].flag, 0);  // the failing point is not marked

    double sum = -1.0;
    Chain d({{0, 0}, {3, 4}});
    EXPECT_EQ(ktv::approximatepiece(1.0, &sum, 2, d.ptr.data()), 1);
    EXPECT_EQ(sum, 0.0);
    EXPECT_EQ(d.pts[1].flag, 1);
}

}  // namespace
