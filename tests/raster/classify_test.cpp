// Pixel classification: the constant tables, point records and row records.
#include <gtest/gtest.h>

#include <cstring>
#include <random>

#include "bitmap.h"
#include "peer.h"
#include "raster/tables.h"

namespace {

// Reference neighbourhood code, pixel by pixel: pixels beyond the used bytes
// of a row (or outside the raster) read as 0.
unsigned naive_code(const Bitmap &b, int x, int y) {
    const int usedpx = 8 * ((b.width + 7) / 8);
    auto px = [&](int xx, int yy) -> unsigned {
        if (xx < 0 || yy < 0 || yy >= b.height || xx >= usedpx) return 0;
        return (b.bits[static_cast<size_t>(yy) * b.bytesperline + xx / 8] >> (7 - xx % 8)) & 1;
    };
    return px(x - 1, y - 1) << 8 | px(x, y - 1) << 7 | px(x + 1, y - 1) << 6 | px(x - 1, y) << 5 |
           px(x, y) << 4 | px(x + 1, y) << 3 | px(x - 1, y + 1) << 2 | px(x, y + 1) << 1 |
           px(x + 1, y + 1);
}

std::vector<_KTPOINT> classify(const Bitmap &b) {
    CKTVector v;
    load_working_raster(v, b);
    EXPECT_EQ(v.minitbuffer(), 0);
    return std::vector<_KTPOINT>(v.point, v.point + v.pointnum);
}

}  // namespace

TEST(Tables, ClassCountsOverCodesWithCentreSet) {
    int count[5] = {0, 0, 0, 0, 0};
    for (unsigned code = 0; code < 512; ++code) {
        if (!(code & 16)) {
            EXPECT_EQ(ktv::kKind[code], 0) << code;
            continue;
        }
        ASSERT_LE(ktv::kKind[code], 4);
        ++count[ktv::kKind[code]];
    }
    EXPECT_EQ(count[0], 1);
    EXPECT_EQ(count[1], 57);
    EXPECT_EQ(count[2], 140);
    EXPECT_EQ(count[3], 56);
    EXPECT_EQ(count[4], 2);
    EXPECT_EQ(ktv::kKind[511], 1);  // fully surrounded behaves like an end
    EXPECT_EQ(ktv::kKind[16], 0);
}

TEST(Tables, DirectionTableValueCounts) {
    int count[9] = {};
    for (int i = 0; i < 4096; ++i) ++count[ktv::kDirection[i]];
    EXPECT_EQ(count[0], 2056);
    for (int d = 1; d <= 8; ++d) EXPECT_EQ(count[d], 255) << d;
    // Straight on first, counter-clockwise side before clockwise, back last.
    EXPECT_EQ(ktv::kDirection[(1 - 1) * 512 + (16 | 8 | 64 | 1)], 1);
    EXPECT_EQ(ktv::kDirection[(1 - 1) * 512 + (16 | 64 | 1)], 2);
    EXPECT_EQ(ktv::kDirection[(1 - 1) * 512 + (16 | 32)], 5);
    EXPECT_EQ(ktv::dir_opposite(1), 5);
    EXPECT_EQ(ktv::dir_opposite(6), 2);
}

TEST(Tables, BitCount) {
    EXPECT_EQ(ktv::kBitCount[0], 0);
    EXPECT_EQ(ktv::kBitCount[0xff], 8);
    EXPECT_EQ(ktv::kBitCount[0xa5], 4);
}

TEST(Classify, BlankRasterHasNoPointsAndEmptyRows) {
    Bitmap b(20, 5);
    CKTVector v;
    load_working_raster(v, b);
    ASSERT_EQ(v.minitbuffer(), 0);
    EXPECT_EQ(v.pointnum, 0);
    EXPECT_NE(v.point, nullptr);  // zero records is still an allocation
    ASSERT_NE(v.lineinfo, nullptr);
    for (int y = 0; y < 5; ++y) {
        EXPECT_EQ(v.lineinfo[y].pointnum, 0);
        EXPECT_EQ(v.lineinfo[y].point, nullptr);
    }
}

struct SmallCase {
    const char *name;
    std::vector<const char *> rows;
    std::vector<std::pair<int, int>> kind_pattern;  // per point in raster order
};

TEST(Classify, SmallRasters) {
    const SmallCase cases[] = {
        {"single pixel", {"...", ".#.", "..."}, {{0, 16}}},
        {"run of three", {"###"}, {{1, 24}, {2, 56}, {1, 48}}},
        {"diagonal", {"#..", ".#.", "..#"}, {{1, 17}, {2, 273}, {1, 272}}},
    };
    for (const SmallCase &c : cases) {
        Bitmap b(static_cast<int>(std::strlen(c.rows[0])), static_cast<int>(c.rows.size()));
        for (int y = 0; y < b.height; ++y)
            for (int x = 0; x < b.width; ++x)
                if (c.rows[y][x] == '#') b.set(x, y);
        auto pts = classify(b);
        ASSERT_EQ(pts.size(), c.kind_pattern.size()) << c.name;
        for (size_t i = 0; i < pts.size(); ++i) {
            EXPECT_EQ(pts[i].kind, c.kind_pattern[i].first) << c.name << " point " << i;
            EXPECT_EQ(pts[i].pattern, c.kind_pattern[i].second) << c.name << " point " << i;
            EXPECT_EQ(pts[i].flag, 0);
            EXPECT_EQ(pts[i].segment, -1);
        }
    }
}

TEST(Classify, FullBlockCentreIsClassOne) {
    auto pts = classify(Bitmap::from_ascii({"###", "###", "###"}));
    ASSERT_EQ(pts.size(), 9u);
    EXPECT_EQ(pts[4].pattern, 511);
    EXPECT_EQ(pts[4].kind, 1);
    EXPECT_EQ(pts[0].pattern, 16 | 8 | 2 | 1);
    EXPECT_EQ(pts[0].kind, 1);
}

TEST(Classify, PaddingBitsAreNotNeighbours) {
    // Width 8 in rows of 2 bytes: the first bit of the padding byte is set.
    Bitmap b(8, 1, 2);
    b.set(7, 0);
    b.set(8, 0);
    auto pts = classify(b);
    ASSERT_EQ(pts.size(), 1u);
    EXPECT_EQ(pts[0].x, 7);
    EXPECT_EQ(pts[0].pattern, 16);
}

TEST(Classify, BitsBeyondWidthInTheLastUsedByteCount) {
    Bitmap b(17, 1, 4);  // 3 used bytes of 4
    b.set(20, 0);        // beyond the width, inside byte 2
    b.set(24, 0);        // padding byte: never read
    CKTVector v;
    load_working_raster(v, b);
    EXPECT_EQ(Peer::mcountpixel(v), 1);
    ASSERT_EQ(v.minitbuffer(), 0);
    ASSERT_EQ(v.pointnum, 1);
    EXPECT_EQ(v.point[0].x, 20);
}

TEST(Classify, MatchesPixelByPixelReferenceOnRandomRasters) {
    std::mt19937 rng(7);
    for (int trial = 0; trial < 60; ++trial) {
        const int w = 1 + static_cast<int>(rng() % 150);
        const int h = 1 + static_cast<int>(rng() % 40);
        const int stride = (w + 7) / 8 + static_cast<int>(rng() % 3);
        Bitmap b(w, h, stride);
        const unsigned density = 1 + rng() % 4;  // sparse to dense
        for (auto &byte : b.bits)
            for (int k = 0; k < 8; ++k)
                if (rng() % 5 < density) byte |= static_cast<unsigned char>(1u << k);
        auto pts = classify(b);
        const int usedpx = 8 * ((w + 7) / 8);
        size_t i = 0;
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < usedpx; ++x) {
                if (!((b.bits[static_cast<size_t>(y) * stride + x / 8] >> (7 - x % 8)) & 1)) continue;
                ASSERT_LT(i, pts.size());
                EXPECT_EQ(pts[i].x, x);
                EXPECT_EQ(pts[i].y, y);
                const unsigned code = naive_code(b, x, y);
                EXPECT_EQ(pts[i].pattern, code) << "at " << x << "," << y;
                EXPECT_EQ(pts[i].kind, ktv::kKind[code]);
                ++i;
            }
        EXPECT_EQ(i, pts.size());
    }
}

TEST(Classify, RowRecordsAndPointLookup) {
    Bitmap b = Bitmap::from_ascii({"#.#.#", ".....", "##..#"});
    CKTVector v;
    load_working_raster(v, b);
    ASSERT_EQ(v.minitbuffer(), 0);
    EXPECT_EQ(v.lineinfo[0].pointnum, 3);
    EXPECT_EQ(v.lineinfo[0].point, &v.point[0]);
    EXPECT_EQ(v.lineinfo[1].pointnum, 0);
    EXPECT_EQ(v.lineinfo[1].point, nullptr);
    EXPECT_EQ(v.lineinfo[2].pointnum, 3);
    EXPECT_EQ(v.lineinfo[2].point, &v.point[3]);
    for (int i = 0; i < v.pointnum; ++i)
        EXPECT_EQ(Peer::mgetpoint(v, v.point[i].x, v.point[i].y), &v.point[i]);
    EXPECT_EQ(Peer::mgetpoint(v, 1, 0), nullptr);
    EXPECT_EQ(Peer::mgetpoint(v, 3, 2), nullptr);
    EXPECT_EQ(Peer::mgetpoint(v, 0, 1), nullptr);
    EXPECT_EQ(Peer::mgetpoint(v, 0, -1), nullptr);  // outside the rows
    EXPECT_EQ(Peer::mgetpoint(v, 0, 3), nullptr);
}

TEST(Classify, ExportedFunctionWritesRasterOrder) {
    Bitmap b = Bitmap::from_ascii({".#", "#."});
    _KTPOINT pts[2];
    MORABASE_setkind(b.data(), b.width, b.bytesperline, b.height, pts);
    EXPECT_EQ(pts[0].x, 1);
    EXPECT_EQ(pts[0].y, 0);
    EXPECT_EQ(pts[0].pattern, 16 | 4);
    EXPECT_EQ(pts[1].x, 0);
    EXPECT_EQ(pts[1].y, 1);
    EXPECT_EQ(pts[1].pattern, 16 | 64);
}
