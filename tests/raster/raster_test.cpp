// The raster stages on working rasters given directly (no filter): pixel
// classification against a pixel-by-pixel reference, contour tracing, the
// point and segment passes, and their memory failures.
#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <utility>
#include <vector>

#include "bitmap.h"
#include "peer.h"
#include "raster/tables.h"
#include "sweep.h"
#include "vectorizer/memory.h"

namespace {

using Chain = std::vector<std::pair<int, int>>;

// The kept segments of a traced raster and the number discarded.
struct Traced {
    std::vector<Chain> kept;
    int discarded = 0;
};

Traced trace(CKTVector &v, const Bitmap &b, bool point_pass = true) {
    load_working_raster(v, b);
    EXPECT_EQ(v.minitbuffer(), 0);
    if (point_pass) v.mpreprocess1();
    EXPECT_EQ(v.mtrace(), 0);
    Traced t;
    EXPECT_LE(v.segmentnum, v.segmentcapacity);
    for (int i = 0; i < v.segmentnum; ++i) {
        const _KTSEGMENT &s = v.segment[i];
        EXPECT_LE(s.pointnum, s.pointcapacity);
        if (s.discard) {
            ++t.discarded;
            continue;
        }
        Chain c;
        for (int k = 0; k < s.pointnum; ++k) c.emplace_back(s.pointlist[k]->x, s.pointlist[k]->y);
        t.kept.push_back(c);
    }
    return t;
}

// Reference neighbourhood code: pixels beyond the used bytes of a row (or
// outside the raster) read as 0.
unsigned naive_code(const Bitmap &b, int x, int y) {
    const int usedpx = 8 * ((b.width + 7) / 8);
    auto px = [&](int xx, int yy) -> unsigned {
        if (xx < 0 || yy < 0 || yy >= b.height || xx >= usedpx) return 0;
        return (b.bits[static_cast<size_t>(yy) * b.bytesperline + xx / 8] >> (7 - xx % 8)) & 1;
    };
    unsigned code = 0;
    for (int dy = -1; dy <= 1; ++dy)
        for (int dx = -1; dx <= 1; ++dx) code = code << 1 | px(x + dx, y + dy);
    return code;
}

}  // namespace

TEST(Classify, MatchesThePixelByPixelReferenceOnRandomRasters) {
    std::mt19937 rng(7);
    for (int trial = 0; trial < 60; ++trial) {
        const int w = 1 + static_cast<int>(rng() % 150), h = 1 + static_cast<int>(rng() % 40);
        const int stride = (w + 7) / 8 + static_cast<int>(rng() % 3);
        Bitmap b(w, h, stride);
        const unsigned density = 1 + rng() % 4;  // sparse to dense
        for (auto &byte : b.bits)
            for (int k = 0; k < 8; ++k)
                if (rng() % 5 < density) byte |= static_cast<unsigned char>(1u << k);
        CKTVector v;
        load_working_raster(v, b);
        ASSERT_EQ(v.minitbuffer(), 0);
        // Bits beyond the width in the last used byte are pixels; bytes
        // beyond it are not.
        int i = 0;
        for (int y = 0; y < h; ++y) {
            EXPECT_EQ(v.lineinfo[y].point, v.lineinfo[y].pointnum ? &v.point[i] : nullptr);
            for (int x = 0; x < 8 * ((w + 7) / 8); ++x) {
                if (!((b.bits[static_cast<size_t>(y) * stride + x / 8] >> (7 - x % 8)) & 1)) continue;
                ASSERT_LT(i, v.pointnum);
                const _KTPOINT &p = v.point[i];
                ASSERT_EQ(p.x * 1000 + p.y, x * 1000 + y);
                EXPECT_EQ(p.pattern, naive_code(b, x, y)) << x << "," << y;
                EXPECT_EQ(p.kind, ktv::kKind[p.pattern]);
                EXPECT_EQ(p.flag, 0);
                EXPECT_EQ(p.segment, -1);
                EXPECT_EQ(Peer::mgetpoint(v, x, y), &p);
                ++i;
            }
        }
        EXPECT_EQ(i, v.pointnum);
        EXPECT_EQ(Peer::mcountpixel(v), v.pointnum);
    }

    // The exported form writes the same records in raster order.
    Bitmap d = Bitmap::from_ascii({".#", "#."});
    _KTPOINT pts[2];
    MORABASE_setkind(d.data(), d.width, d.bytesperline, d.height, pts);
    EXPECT_EQ(pts[0].x * 10 + pts[0].y, 10);
    EXPECT_EQ(pts[0].pattern, 16 | 4);
    EXPECT_EQ(pts[1].x * 10 + pts[1].y, 1);
    EXPECT_EQ(pts[1].pattern, 16 | 64);
}

TEST(Trace, Shapes) {
    struct Case {
        const char *name;
        std::vector<const char *> rows;
        std::vector<Chain> kept;  // a chain of one pixel: only its ends are given
        int discarded;
    };
    const Case cases[] = {
        {"ring: one loop from its first pixel", {"###", "#.#", "###"},
         {{{0, 0}, {1, 0}, {2, 0}, {2, 1}, {2, 2}, {1, 2}, {0, 2}, {0, 1}, {0, 0}}}, 0},
        {"line: west to east", {"#####"}, {{{0, 0}, {1, 0}, {2, 0}, {3, 0}, {4, 0}}}, 1},
        {"two pixels: nothing", {"##"}, {}, 0},
        // The stem's first walk steps onto (4,2); the snap moves it onto the
        // branch pixel (3,2).
        {"T junction meets at the branch pixel",
         {".......", ".......", "#######", "...#...", "...#...", "...#...", "...#..."},
         {{{0, 2}, {1, 2}, {2, 2}, {3, 2}}, {{3, 2}, {4, 2}, {5, 2}, {6, 2}}, {{3, 6}, {3, 5}, {3, 4}, {3, 3}, {3, 2}}}, 3},
        // The diagonal walk steps past (3,2); the L of (2,2), (3,2), (3,3)
        // is traced afterwards between two traced points and dropped.
        {"staircase corner beside a diagonal",
         {"#.....", ".#....", "..##..", "...#..", "....#.", ".....#"},
         {{{0, 0}, {1, 1}, {2, 2}, {3, 3}, {4, 4}, {5, 5}}}, 3},
        // The one-pixel spur (3,1) is detached from its branch (2,2) by the
        // point pass: one diagonal.
        {"one-pixel spur", {"#....", ".#.#.", "..#..", "...#.", "....#"},
         {{{0, 0}, {1, 1}, {2, 2}, {3, 3}, {4, 4}}}, 1},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        CKTVector v;
        const Traced t = trace(v, Bitmap::from_ascii(c.rows));
        EXPECT_EQ(t.kept, c.kept);
        EXPECT_EQ(t.discarded, c.discarded);
        for (int i = 0; i < v.pointnum; ++i)
            if (v.point[i].kind == 2) { // traced
                EXPECT_TRUE(v.point[i].flag & 2) << i;
            }
        ASSERT_EQ(v.mtrace(), 0);  // a second trace finds nothing left
        EXPECT_EQ(v.segmentnum, 0);
    }
}

TEST(PointPass, DetachesOnlyOneNeighbourSpurs) {
    // A one-pixel spur off a branch in each of the eight directions, the
    // branch's two other arms leading away from it: the spur becomes an
    // isolated end and the branch a line pixel without the spur's bit.
    auto bit = [](int dx, int dy) { return 1u << (8 - ((dy + 1) * 3 + dx + 1)); };
    for (int dx = -1; dx <= 1; ++dx)
        for (int dy = -1; dy <= 1; ++dy) {
            if (!dx && !dy) continue;
            SCOPED_TRACE(testing::Message() << dx << "," << dy);
            const bool diagonal = dx && dy;
            const int ax = diagonal ? -dy : -dx - dy, ay = diagonal ? dx : dx - dy;
            const int bx = diagonal ? dy : dy - dx, by = diagonal ? -dx : -dx - dy;
            Bitmap b(7, 7);
            b.set(3, 3);
            b.set(3 + dx, 3 + dy);
            for (int k = 1; k <= 2; ++k) b.set(3 + k * ax, 3 + k * ay), b.set(3 + k * bx, 3 + k * by);
            CKTVector v;
            load_working_raster(v, b);
            ASSERT_EQ(v.minitbuffer(), 0);
            _KTPOINT *spur = Peer::mgetpoint(v, 3 + dx, 3 + dy), *branch = Peer::mgetpoint(v, 3, 3);
            EXPECT_EQ(spur->pattern, 16 | bit(-dx, -dy));
            EXPECT_EQ(branch->kind, 3);
            v.mpreprocess1();
            EXPECT_EQ(spur->pattern * 10 + spur->kind, 1);
            EXPECT_EQ(branch->kind, 2);
            EXPECT_FALSE(branch->pattern & bit(dx, dy));
        }
    // An end pixel of class 1 with two neighbours is left alone.
    CKTVector w;
    load_working_raster(w, Bitmap::from_ascii({"##...", "##...", "..###"}));
    ASSERT_EQ(w.minitbuffer(), 0);
    std::vector<_KTPOINT> before(w.point, w.point + w.pointnum);
    w.mpreprocess1();
    for (int i = 0; i < w.pointnum; ++i) EXPECT_EQ(w.point[i].pattern * 8 + w.point[i].kind, before[i].pattern * 8 + before[i].kind);
}

// Memory failures of each stage inside the drivers are swept in
// tests/vectorizer; here the buffers on their own and sizes beyond an int.
TEST(AllocFailure, BuffersAndRastersBeyondAnInt) {
    Bitmap b(40, 30);
    for (int x = 2; x < 38; ++x) b.set(x, 5);
    // The rows fail after the points: the points stay, the rows are gone.
    CKTVector v;
    load_working_raster(v, b);
    EXPECT_TRUE(fails_at(2, [&] { EXPECT_EQ(v.minitbuffer(), -1000); }));
    EXPECT_EQ(v.pointnum, b.count());
    EXPECT_EQ(v.lineinfo, nullptr);
    // Zero-size requests are not failures; a huge document is out of
    // memory, not a wrapped-around size.
    CKTVector blank, empty;
    load_working_raster(blank, Bitmap(16, 16));
    EXPECT_EQ(blank.minitbuffer(), 0);
    EXPECT_NE(blank.point, nullptr);
    load_working_raster(empty, Bitmap(0, 0));
    EXPECT_EQ(empty.minitbuffer() + empty.mtrace(), 0);
    static unsigned char byte = 0;
    CKTVector huge;
    huge.msetdocument(&byte, 0x7ffffff0, 0x7ffffff0);
    EXPECT_EQ(huge.makethindata(), -1000);
    EXPECT_EQ(huge.thindata, nullptr);
    // More set pixels than an int counts (2^31 + 2^19): out of memory too.
    CKTVector dense;
    dense.width = 8 << 16;
    dense.bytesperline = 1 << 16;
    dense.height = 4097;
    const std::size_t bytes = std::size_t{1} << 16 << 12 | std::size_t{1} << 16;
    dense.thindata = ktv::alloc_array<unsigned char>(bytes);
    ASSERT_NE(dense.thindata, nullptr);
    std::memset(dense.thindata, 0xFF, bytes);
    EXPECT_EQ(dense.minitbuffer(), -1000);
    EXPECT_EQ(dense.point, nullptr);
}
