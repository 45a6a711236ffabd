// The approximation kernels on hand-made chains, as a table: chain, kernel,
// tolerance, and the vertices, sums and chord lengths worked out by hand
// from the piece rule (|S_i / L_i| <= tolerance) and the corner check.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "graph/kernels.h"

namespace {

using XY = std::vector<std::pair<int, int>>;

struct Chain {
    std::vector<_KTPOINT> pts;
    std::vector<_KTPOINT *> ptr, vertices;
    std::vector<double> lengths, sums, w1, w2;
    explicit Chain(const XY &xy, unsigned char flag = 0) {
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
        sums = w1 = w2 = lengths;
    }
    int run(int kernel, double t) {
        const int n = static_cast<int>(pts.size());
        if (kernel == 1) return MORABASE_approximateL1(t, n, ptr.data(), vertices.data(), lengths.data(), sums.data());
        if (kernel == 2)
            return MORABASE_approximateL2(t, n, ptr.data(), vertices.data(), lengths.data(), sums.data(), w1.data(),
                                          w2.data());
        return MORABASE_approximateL3(t, n, ptr.data(), vertices.data(), lengths.data(), sums.data(), w1.data(),
                                      w2.data());
    }
};

XY axis_then(int axis_end, XY tail) {
    XY out;
    for (int x = 0; x <= axis_end; ++x) out.push_back({x, 0});
    out.insert(out.end(), tail.begin(), tail.end());
    return out;
}

// Eleven points on the x axis, then a bend: P11 (11,1) passes with S/L =
// 10/11.05, P12 (12,3) fails (S = 31); its deviation 21/12.37 exceeds 0.75
// in the one-entry window of tolerance 1.
const XY kA = axis_then(10, {{11, 1}, {12, 3}, {13, 5}});
// Thirteen on the axis, P13 (13,3) passes (36/13.34 <= 3), P14 fails; with
// tolerance 3 the corner check answers 3 with j = 12.
const XY kB = axis_then(12, {{13, 3}, {14, 8}, {15, 13}});
// Ten on the axis, a jump to (10,3), then a slow climb until (14,7) fails.
// With tolerance 3.4 the window of 5 entries reaches D_10 only at its far
// end: j = 8, q = 2*8 - 13 - 3 = 0, so the first extra vertex is the start.
const XY kC = axis_then(9, {{10, 3}, {11, 4}, {12, 5}, {13, 6}, {14, 7}, {15, 8}, {16, 9}});
XY diagonal() {
    XY xy;
    for (int i = 0; i < 20; ++i) xy.push_back({i, 2 * i});
    return xy;
}

struct KernelCase {
    const char *name;
    XY chain;
    int kernel;
    double tolerance;
    std::vector<int> vertices;   // indices into the chain
    std::vector<double> sums;    // per vertex
    std::vector<double> lengths; // per vertex, squared (exact)
};

const KernelCase kCases[] = {
    // Three points: the last one without a test (tolerance 0 would refuse
    // c_2 = -2 over L_2 = 2); L1 sums only closed pieces, L2/L3 keep c_2.
    {"three points, L1", {{0, 0}, {1, 1}, {2, 0}}, 1, 0.0, {2}, {0}, {4}},
    {"three points, L2", {{0, 0}, {1, 1}, {2, 0}}, 2, 0.0, {2}, {-2}, {4}},
    {"three points, L3", {{0, 0}, {1, 1}, {2, 0}}, 3, 0.0, {2}, {-2}, {4}},
    {"straight, L1", diagonal(), 1, 0.5, {19}, {0}, {19 * 19 + 38 * 38}},
    {"straight, L2", diagonal(), 2, 0.5, {19}, {0}, {19 * 19 + 38 * 38}},
    {"straight, L3", diagonal(), 3, 0.5, {19}, {0}, {19 * 19 + 38 * 38}},
    // c_2 = 25 over L_2 = 7.07 fails at once: a one-step piece; L1's sum
    // keeps the failing term.
    {"failing third point, L1", {{0, 0}, {5, 0}, {5, 5}, {5, 6}}, 1, 1.0, {1, 3}, {25, 0}, {25, 36}},
    {"failing third point, L2", {{0, 0}, {5, 0}, {5, 5}, {5, 6}}, 2, 1.0, {1, 3}, {25, 0}, {25, 36}},
    // P2 = P0: S = 0 over L = 0 is not a number and passes.
    {"point on the start passes", {{0, 0}, {1, 0}, {0, 0}, {0, 1}, {0, 2}}, 1, 0.5, {4}, {}, {4}},
    {"plain kernel on a bend", kA, 1, 1.0, {11, 13}, {31, 0}, {122, 20}},
    // The corner check cuts back to P9 with W1[9] = S_11 = 10; the rest is
    // one piece with S = 7.
    {"corner cut on a bend", kA, 2, 1.0, {9, 13}, {10, 7}, {81, 41}},
    {"corner cut, wider window", kB, 2, 3.0, {11, 15}, {36, 17}, {121, 185}},
    // An extra vertex V_j = P9 before V_k = P11.
    {"corner vertex", kA, 3, 1.0, {9, 11, 13}, {10, 10, 0}, {81, 5, 20}},
    // The check answers 3 (j = 12, q = 8): V_q, V_j, V_k all with W1[8] = 0.
    {"two corner vertices", kB, 3, 3.0, {8, 11, 13, 15}, {0, 0, 0, 0}, {64, 9, 13, 104}},
    {"corner vertex on the piece start", kC, 3, 3.4, {0, 7, 13, 16}, {}, {0}},
};

}  // namespace

TEST(Kernels, Table) {
    for (const KernelCase &c : kCases) {
        SCOPED_TRACE(c.name);
        Chain ch(c.chain);
        const int n = ch.run(c.kernel, c.tolerance);
        ASSERT_EQ(n, static_cast<int>(c.vertices.size()));
        for (int i = 0; i < n; ++i) {
            EXPECT_EQ(ch.vertices[i] - ch.pts.data(), c.vertices[i]) << "vertex " << i;
            if (i < static_cast<int>(c.sums.size())) {
                EXPECT_DOUBLE_EQ(ch.sums[i], c.sums[i]) << "sum " << i;
            }
            if (i < static_cast<int>(c.lengths.size())) {
                EXPECT_NEAR(ch.lengths[i] * ch.lengths[i], c.lengths[i], 1e-9) << "length " << i;
            }
        }
    }
}

TEST(Kernels, ShortChainsAndMarks) {
    for (int n = 0; n <= 2; ++n) {
        XY xy;
        for (int i = 0; i < n; ++i) xy.push_back({i, 0});
        Chain c(xy);
        for (int kernel = 1; kernel <= 3; ++kernel) EXPECT_EQ(c.run(kernel, 1.0), 0);
        for (auto &p : c.pts) EXPECT_EQ(p.flag, 0);
    }
    // L1 stores 1 into the flag byte, except that it ors it into P0 and each
    // piece's P1 (P12 for the second piece); L2 ors it everywhere; L3 also
    // marks its extra vertices with bit 2.
    Chain plain(kA, 0xf0), cut(kA, 0xf0), corner(kA), repeat(kC);
    plain.run(1, 1.0);
    cut.run(2, 1.0);
    corner.run(3, 1.0);
    repeat.run(3, 3.4);
    for (int i = 0; i < 14; ++i) {
        EXPECT_EQ(plain.pts[i].flag, i == 0 || i == 1 || i == 12 ? 0xf1 : 0x01) << i;
        EXPECT_EQ(cut.pts[i].flag, 0xf1) << i;
        EXPECT_EQ((corner.pts[i].flag & 4) != 0, i == 9) << i;
    }
    EXPECT_EQ(repeat.pts[0].flag, 5);
    Chain two(kB);
    two.run(3, 3.0);
    for (int i = 0; i < 16; ++i) EXPECT_EQ((two.pts[i].flag & 4) != 0, i == 8 || i == 11) << i;
    // P3 = P0 with S = 1: 1 / 0 fails, the piece ends at P2.
    Chain inf({{0, 0}, {1, 0}, {1, 1}, {0, 0}, {5, 5}, {6, 6}});
    ASSERT_GE(inf.run(1, 1.0), 1);
    EXPECT_EQ(inf.vertices[0] - inf.pts.data(), 2);
}

