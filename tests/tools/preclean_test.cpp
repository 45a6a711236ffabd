// Pre-cleaning: pictures in, pictures out, and on random pages a pixel-wise
// reference for specks and holes and a topology count for smoothing.
#include <gtest/gtest.h>

#include <cstdint>
#include <ostream>
#include <random>
#include <string>
#include <vector>

#include "bitmap.h"
#include "json.h"
#include "preclean.h"
#include "tool_support.h"
#include "vectorizer/memory.h"

using ktvcli::PrecleanCounts;
using ktvcli::PrecleanOptions;

namespace {

ktvcli::BitRaster raster_of(Bitmap &b) {
    return {b.data(), b.width, b.height, static_cast<std::size_t>(b.bytesperline)};
}

PrecleanOptions options(long despeckle, long holes, bool smooth) {
    PrecleanOptions o;
    o.despeckle = despeckle;
    o.fill_holes = holes;
    o.smooth = smooth;
    return o;
}

struct Picture {
    const char *what;
    PrecleanOptions options;
    std::vector<const char *> before, after;  // after empty: unchanged
};

Bitmap from_rows(const std::vector<const char *> &rows, int stride = -1) {
    const int h = static_cast<int>(rows.size()), w = h ? static_cast<int>(std::string(rows[0]).size()) : 0;
    Bitmap b(w, h, stride);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) b.set(x, y, rows[y][x] == '#');
    return b;
}

const Picture kPictures[] = {
    {"a speck of two pixels goes, a stroke of five stays",
     options(2, 0, false),
     {"..........",
      ".##.......",
      "..........",
      "...#####..",
      ".........."},
     {"..........",
      "..........",
      "..........",
      "...#####..",
      ".........."}},
    {"diagonal pixels are one black component",
     options(2, 0, false),
     {".......",
      ".#.....",
      "..#....",
      "...#...",
      "......."},
     {}},
    {"a pinhole inside a stroke is filled, a hole of eight pixels is not",
     options(0, 4, false),
     {"###########",
      "#.####...##",
      "######.#.##",
      "######...##",
      "###########"},
     {"###########",
      "######...##",
      "######.#.##",
      "######...##",
      "###########"}},
    {"white touching the border is paper, not a hole",
     options(0, 8, false),
     {".####",
      "#####",
      "###.#",
      "#####"},
     {".####",
      "#####",
      "#####",
      "#####"}},
    {"white pixels meeting at a corner only are two holes (4-connected)",
     options(0, 1, false),
     {"#####",
      "#.###",
      "##.##",
      "#####"},
     {"#####",
      "#####",
      "#####",
      "#####"}},
    {"smoothing: a notch is filled and a bump on a thick edge cleared",
     options(0, 0, true),
     {"...........",
      ".....#.....",
      ".#########.",
      ".#########.",
      ".####.####.",
      "..........."},
     {"...........",
      "...........",
      ".#########.",
      ".#########.",
      ".#########.",
      "..........."}},
    {"smoothing keeps one-pixel strokes, their ends and their corners",
     options(0, 0, true),
     {"..........",
      ".#####....",
      ".....#....",
      ".....#..#.",
      "......#.#.",
      ".......##.",
      ".........."},
     {}},
    {"smoothing leaves a small plus-shaped speck whole",
     options(0, 0, true),
     {".......",
      "...#...",
      "..###..",
      "...#...",
      "......."},
     {}},
    {"smoothing leaves the outermost pixels alone",
     options(0, 0, true),
     {"..#..",
      ".###.",
      ".###.",
      "#.###"},
     {}},
    {"width not a multiple of 8: a speck in the last byte",
     options(1, 0, false),
     {"#########...",
      "..........#.",
      "#########..."},
     {"#########...",
      "............",
      "#########..."}},
};

void PrintTo(const Picture &p, std::ostream *os) { *os << p.what; }

class PrecleanPicture : public ::testing::TestWithParam<Picture> {};

TEST_P(PrecleanPicture, Result) {
    const Picture &p = GetParam();
    for (int stride : {-1, 5}) {
        Bitmap b = from_rows(p.before, stride);
        ASSERT_TRUE(ktvcli::preclean(raster_of(b), p.options));
        EXPECT_EQ(b.to_ascii(), from_rows(p.after.empty() ? p.before : p.after).to_ascii())
            << p.what << ", stride " << stride;
    }
}

INSTANTIATE_TEST_SUITE_P(Pictures, PrecleanPicture, ::testing::ValuesIn(kPictures));

// ---- reference ---------------------------------------------------------------

// Components of one colour by flood fill over pixels: black 8-connected,
// white 4-connected.  Labels from 1; sizes[label]; touches[label] when the
// component reaches the image border.
struct Labels {
    std::vector<int> label, sizes;
    std::vector<bool> touches;
};

Labels label(const Bitmap &b, bool black) {
    Labels l;
    l.label.assign(static_cast<std::size_t>(b.width) * b.height, 0);
    l.sizes.push_back(0);
    l.touches.push_back(false);
    std::vector<std::pair<int, int>> stack;
    for (int y0 = 0; y0 < b.height; ++y0)
        for (int x0 = 0; x0 < b.width; ++x0) {
            if (b.get(x0, y0) != black || l.label[y0 * b.width + x0]) continue;
            const int id = static_cast<int>(l.sizes.size());
            l.sizes.push_back(0);
            l.touches.push_back(false);
            stack.assign(1, {x0, y0});
            l.label[y0 * b.width + x0] = id;
            while (!stack.empty()) {
                auto [x, y] = stack.back();
                stack.pop_back();
                ++l.sizes[id];
                if (x == 0 || y == 0 || x == b.width - 1 || y == b.height - 1) l.touches[id] = true;
                for (int dy = -1; dy <= 1; ++dy)
                    for (int dx = -1; dx <= 1; ++dx) {
                        if ((!dx && !dy) || (!black && dx && dy)) continue;
                        const int nx = x + dx, ny = y + dy;
                        if (nx < 0 || ny < 0 || nx >= b.width || ny >= b.height) continue;
                        if (b.get(nx, ny) != black || l.label[ny * b.width + nx]) continue;
                        l.label[ny * b.width + nx] = id;
                        stack.push_back({nx, ny});
                    }
            }
        }
    return l;
}

// A page of random blobs, strokes and noise, padding bits set.
Bitmap random_page(std::mt19937 &rng, int w, int h, int stride) {
    Bitmap b(w, h, stride);
    std::uniform_int_distribution<int> px(0, w - 1), py(0, h - 1), len(1, 12), coin(0, 99);
    for (int k = 0; k < w * h / 40; ++k) {
        const int x = px(rng), y = py(rng), l = len(rng), kind = coin(rng);
        for (int i = 0; i < l; ++i) {
            if (kind < 40) b.set(std::min(w - 1, x + i), y);                         // row
            else if (kind < 70) b.set(x, std::min(h - 1, y + i));                    // column
            else if (kind < 85) b.set(std::min(w - 1, x + i), std::min(h - 1, y + i));  // diagonal
            else b.set(x, y, false);                                                  // pinhole
        }
    }
    for (int y = 0; y < h; ++y)
        for (int x = w; x < 8 * b.bytesperline; ++x) b.set(x, y);
    return b;
}

std::vector<unsigned char> padding_of(const Bitmap &b) {
    std::vector<unsigned char> out;
    for (int y = 0; y < b.height; ++y)
        for (int x = b.width; x < 8 * b.bytesperline; ++x) {
            const std::size_t at = static_cast<std::size_t>(y) * b.bytesperline + x / 8;
            out.push_back((b.bits[at] >> (7 - x % 8)) & 1);
        }
    return out;
}

int components(const Bitmap &b, bool black) { return static_cast<int>(label(b, black).sizes.size()) - 1; }

// Counts of black components, white components and white components that
// touch the border: what thinning and tracing see of the topology.
std::vector<int> topology(const Bitmap &b) {
    const Labels white = label(b, false);
    int inner = 0;
    for (std::size_t i = 1; i < white.sizes.size(); ++i) inner += !white.touches[i];
    return {components(b, true), static_cast<int>(white.sizes.size()) - 1, inner};
}

}  // namespace

TEST(Preclean, RandomPagesMatchTheFloodFillReference) {
    std::mt19937 rng(7);
    for (int round = 0; round < 40; ++round) {
        const int w = 1 + static_cast<int>(rng() % 150), h = 1 + static_cast<int>(rng() % 60);
        const int stride = (w + 7) / 8 + static_cast<int>(rng() % 3);
        const long specks = static_cast<long>(rng() % 6), holes = static_cast<long>(rng() % 6);
        Bitmap page = random_page(rng, w, h, stride);
        const std::vector<unsigned char> padding = padding_of(page);

        // expected: specks cleared on the original, then holes filled
        Bitmap expected = page;
        const Labels black = label(page, true);
        int removed = 0;
        for (std::size_t i = 1; i < black.sizes.size(); ++i) removed += black.sizes[i] <= specks;
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x)
                if (const int id = black.label[y * w + x]; id && black.sizes[id] <= specks) expected.set(x, y, false);
        const Labels white = label(expected, false);
        int filled = 0;
        for (std::size_t i = 1; i < white.sizes.size(); ++i) filled += white.sizes[i] <= holes && !white.touches[i];
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x)
                if (const int id = white.label[y * w + x]; id && white.sizes[id] <= holes && !white.touches[id])
                    expected.set(x, y, true);

        PrecleanCounts counts;
        ASSERT_TRUE(ktvcli::preclean(raster_of(page), options(specks, holes, false), &counts));
        EXPECT_EQ(page.to_ascii(), expected.to_ascii()) << w << "x" << h << " round " << round;
        EXPECT_EQ(counts.specks, removed);
        EXPECT_EQ(counts.holes, filled);
        EXPECT_EQ(padding_of(page), padding) << "padding bits changed";
    }
}

TEST(Preclean, SmoothingKeepsTheTopology) {
    std::mt19937 rng(11);
    long flipped = 0;
    for (int round = 0; round < 40; ++round) {
        const int w = 3 + static_cast<int>(rng() % 140), h = 3 + static_cast<int>(rng() % 50);
        Bitmap page = random_page(rng, w, h, (w + 7) / 8 + static_cast<int>(rng() % 2));
        const std::vector<int> before = topology(page);
        const std::vector<unsigned char> padding = padding_of(page);
        PrecleanCounts counts;
        ASSERT_TRUE(ktvcli::preclean(raster_of(page), options(0, 0, true), &counts));
        EXPECT_EQ(topology(page), before) << w << "x" << h << " round " << round;
        EXPECT_EQ(padding_of(page), padding);
        flipped += counts.smoothed;
    }
    EXPECT_GT(flipped, 0) << "the random pages should have notches and bumps";
}

TEST(Preclean, FailedAllocationIsReported) {
    Bitmap b = from_rows({"#..", "...", "..#"});
    ktv::mem_fail_at(1, true);
    const bool ok = ktvcli::preclean(raster_of(b), options(1, 1, true));
    ktv::mem_fail_at(0);
    EXPECT_FALSE(ok);
}

TEST(Preclean, NothingAskedNothingTouched) {
    std::mt19937 rng(3);
    Bitmap page = random_page(rng, 70, 20, 10);
    const Bitmap before = page;
    PrecleanCounts counts;
    ASSERT_TRUE(ktvcli::preclean(raster_of(page), PrecleanOptions(), &counts));
    EXPECT_EQ(page.bits, before.bits);
    EXPECT_EQ(counts.specks + counts.holes + counts.smoothed, 0);
}

// The program cleans before every driver: a pinhole inside a thick bar is a
// loop of the centre lines, and two closed outlines more, unless it is
// filled; the JSON records the setting.
TEST(Preclean, ProgramFillsPinholesOfCentreLinesByDefault) {
    Bitmap bar(90, 30);
    for (int y = 10; y < 21; ++y)
        for (int x = 10; x < 80; ++x) bar.set(x, y);
    bar.set(45, 15, false);
    TempDir dir;
    write_bytes(dir / "bar.pbm", pbm_raw(bar));
    auto polylines = [&](const std::string &command, std::vector<std::string> extra, double *fill) {
        std::vector<std::string> args = {command, dir / "bar.pbm", "--format", "json", "-o", "-", "-q"};
        args.insert(args.end(), extra.begin(), extra.end());
        const RunResult r = run_ktvec(args);
        EXPECT_EQ(r.status, 0) << r.err;
        const Json j = Json::parse(r.out);
        *fill = j["parameters"]["fill-holes"].number;
        return j["counts"]["polylines"].as_int();
    };
    double fill = -1;
    EXPECT_EQ(polylines("centerline", {}, &fill), 1);
    EXPECT_EQ(fill, ktvcli::kDefaultFillHoles);
    EXPECT_GT(polylines("centerline", {"--fill-holes", "0"}, &fill), 1);
    EXPECT_EQ(fill, 0);
    // an outline keeps the pinhole as a ring of its own unless asked
    const int kept = polylines("outline", {}, &fill);
    EXPECT_EQ(fill, 0);
    EXPECT_LT(polylines("outline", {"--fill-holes", "4"}, &fill), kept);
    for (const char *bad : {"--despeckle=-1", "--fill-holes=x", "--smooth=1"})
        EXPECT_EQ(run_ktvec({"outline-fast", dir / "bar.pbm", "-o", "-", "--format", "json", bad}).status, 2)
            << bad;
}
