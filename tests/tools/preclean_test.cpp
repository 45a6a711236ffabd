// Pre-cleaning: pictures in, pictures out, and on random pages a pixel-wise
// reference for specks and holes and the topology for smoothing.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "bitmap.h"
#include "preclean.h"
#include "sweep.h"

namespace {

ktvcli::BitRaster raster_of(Bitmap &b) { return {b.data(), b.width, b.height, static_cast<std::size_t>(b.bytesperline)}; }

ktvcli::PrecleanOptions options(long despeckle, long holes, bool smooth) {
    ktvcli::PrecleanOptions o;
    o.despeckle = despeckle;
    o.fill_holes = holes;
    o.smooth = smooth;
    return o;
}

// A picture written as rows separated by '|', '#' black, moved `shift`
// pixels to the right.
Bitmap rows(const std::string &picture, int stride = -1, int shift = 0) {
    std::vector<std::string> r;
    std::istringstream in(picture);
    for (std::string row; std::getline(in, row, '|');) r.push_back(std::string(shift, '.') + row);
    std::vector<const char *> c;
    for (const std::string &row : r) c.push_back(row.c_str());
    return Bitmap::from_ascii(c, stride);
}

// Components of one colour (black 8-connected, white 4-connected): a label
// per pixel (0 for the other colour), each component's size, and whether it
// reaches the image border.
struct Components {
    std::vector<int> label, size{0};
    std::vector<bool> border{false};
};

Components components(const Bitmap &b, bool black) {
    Components c;
    c.label.assign(static_cast<std::size_t>(b.width) * b.height, 0);
    for (int y0 = 0; y0 < b.height; ++y0)
        for (int x0 = 0; x0 < b.width; ++x0) {
            if (b.get(x0, y0) != black || c.label[y0 * b.width + x0]) continue;
            const int id = static_cast<int>(c.size.size());
            c.size.push_back(0);
            c.border.push_back(false);
            std::vector<std::pair<int, int>> stack{{x0, y0}};
            c.label[y0 * b.width + x0] = id;
            while (!stack.empty()) {
                const auto [x, y] = stack.back();
                stack.pop_back();
                ++c.size[id];
                if (x == 0 || y == 0 || x == b.width - 1 || y == b.height - 1) c.border[id] = true;
                for (int dy = -1; dy <= 1; ++dy)
                    for (int dx = -1; dx <= 1; ++dx) {
                        const int nx = x + dx, ny = y + dy;
                        if ((!dx && !dy) || (!black && dx && dy) || nx < 0 || ny < 0 || nx >= b.width || ny >= b.height ||
                            b.get(nx, ny) != black || c.label[ny * b.width + nx])
                            continue;
                        c.label[ny * b.width + nx] = id;
                        stack.push_back({nx, ny});
                    }
            }
        }
    return c;
}

// A page of random runs, diagonals and pinholes, padding bits set.
Bitmap random_page(std::mt19937 &rng, int w, int h, int stride) {
    Bitmap b(w, h, stride);
    for (int k = 0; k < w * h / 40; ++k) {
        const int x = static_cast<int>(rng() % w), y = static_cast<int>(rng() % h), l = 1 + static_cast<int>(rng() % 12);
        const int kind = static_cast<int>(rng() % 100);
        for (int i = 0; i < l; ++i) {
            if (kind < 40) b.set(std::min(w - 1, x + i), y);                              // row
            else if (kind < 70) b.set(x, std::min(h - 1, y + i));                          // column
            else if (kind < 85) b.set(std::min(w - 1, x + i), std::min(h - 1, y + i));     // diagonal
            else b.set(x, y, false);                                                       // pinhole
        }
    }
    for (int y = 0; y < h; ++y)
        for (int x = w; x < 8 * b.bytesperline; ++x) b.set(x, y);
    return b;
}

}  // namespace

TEST(Preclean, Pictures) {
    const struct {
        const char *what;
        ktvcli::PrecleanOptions options;
        const char *before, *after;  // after null: unchanged
    } cases[] = {
        {"a speck of two pixels goes, a stroke of five stays", options(2, 0, false),
         "..........|.##.......|..........|...#####..|..........", "..........|..........|..........|...#####..|.........."},
        {"diagonal pixels are one black component", options(2, 0, false), ".......|.#.....|..#....|...#...|.......", nullptr},
        {"a pinhole inside a stroke is filled, a hole of eight pixels is not", options(0, 4, false),
         "###########|#.####...##|######.#.##|######...##|###########",
         "###########|######...##|######.#.##|######...##|###########"},
        {"white touching the border is paper, not a hole", options(0, 8, false), ".####|#####|###.#|#####",
         ".####|#####|#####|#####"},
        {"white pixels meeting at a corner are two holes", options(0, 1, false), "#####|#.###|##.##|#####",
         "#####|#####|#####|#####"},
        {"smoothing: a notch is filled and a bump on a thick edge cleared", options(0, 0, true),
         "...........|.....#.....|.#########.|.#########.|.####.####.|...........",
         "...........|...........|.#########.|.#########.|.#########.|..........."},
        {"smoothing keeps one-pixel strokes, their ends and corners", options(0, 0, true),
         "..........|.#####....|.....#....|.....#..#.|......#.#.|.......##.|..........", nullptr},
        {"smoothing leaves a small plus-shaped speck whole", options(0, 0, true), ".......|...#...|..###..|...#...|.......", nullptr},
        {"smoothing leaves the outermost pixels alone", options(0, 0, true), "..#..|.###.|.###.|#.###", nullptr},
        {"a speck in the last byte of a width not a multiple of 8", options(1, 0, false),
         "#########...|..........#.|#########...", "#########...|............|#########..."},
    };
    // Each as given, on a padded stride, and moved across the boundary of
    // the 64-pixel words the filter works in.
    for (const auto &c : cases)
        for (auto [stride, shift] : {std::pair{-1, 0}, {5, 0}, {-1, 59}}) {
            Bitmap b = rows(c.before, stride, shift);
            ASSERT_TRUE(ktvcli::preclean(raster_of(b), c.options));
            EXPECT_EQ(b.to_ascii(), rows(c.after ? c.after : c.before, -1, shift).to_ascii())
                << c.what << ", stride " << stride << ", moved " << shift;
        }
    Bitmap b = rows("#..|...|..#");
    EXPECT_TRUE(fails_at(1, [&] { EXPECT_FALSE(ktvcli::preclean(raster_of(b), options(1, 1, true))); }, true));
    const Bitmap before = b;
    ktvcli::PrecleanCounts counts;
    ASSERT_TRUE(ktvcli::preclean(raster_of(b), ktvcli::PrecleanOptions(), &counts));  // nothing asked, nothing touched
    EXPECT_EQ(b.bits, before.bits);
    EXPECT_EQ(counts.specks + counts.holes + counts.smoothed, 0);
}

TEST(Preclean, RandomPagesMatchTheFloodFillReferenceAndSmoothingKeepsTheTopology) {
    std::mt19937 rng(7);
    long flipped = 0;
    for (int round = 0; round < 60; ++round) {
        const int w = 3 + static_cast<int>(rng() % 150), h = 3 + static_cast<int>(rng() % 60);
        Bitmap page = random_page(rng, w, h, (w + 7) / 8 + static_cast<int>(rng() % 3));
        const Bitmap original = page;
        const long specks = static_cast<long>(rng() % 6), holes = static_cast<long>(rng() % 6);
        // Expected: specks cleared on the original, then holes filled.
        Bitmap expected = page;
        const Components black = components(page, true);
        long removed = 0, filled = 0;
        for (std::size_t i = 1; i < black.size.size(); ++i) removed += black.size[i] <= specks;
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x)
                if (const int id = black.label[y * w + x]; id && black.size[id] <= specks) expected.set(x, y, false);
        const Components white = components(expected, false);
        for (std::size_t i = 1; i < white.size.size(); ++i) filled += white.size[i] <= holes && !white.border[i];
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x)
                if (const int id = white.label[y * w + x]; id && white.size[id] <= holes && !white.border[id]) expected.set(x, y);
        ktvcli::PrecleanCounts counts;
        ASSERT_TRUE(ktvcli::preclean(raster_of(page), options(specks, holes, false), &counts));
        EXPECT_EQ(page.to_ascii(), expected.to_ascii()) << w << "x" << h << " round " << round;
        EXPECT_EQ(counts.specks * 100 + counts.holes, removed * 100 + filled);
        // Smoothing: the same counts of black components, white components
        // and holes (what thinning and tracing see); padding bits untouched.
        Bitmap smooth = original;
        ASSERT_TRUE(ktvcli::preclean(raster_of(smooth), options(0, 0, true), &counts));
        flipped += counts.smoothed;
        const Components a = components(original, false), b = components(smooth, false);
        EXPECT_EQ(components(smooth, true).size.size(), components(original, true).size.size()) << "round " << round;
        EXPECT_EQ(b.size.size(), a.size.size()) << "round " << round;
        EXPECT_EQ(std::count(b.border.begin(), b.border.end(), false), std::count(a.border.begin(), a.border.end(), false));
        for (const Bitmap *after : {&page, &smooth})
            for (int y = 0; y < h; ++y)
                for (int x = w; x < 8 * original.bytesperline; ++x)
                    ASSERT_TRUE(after->bits[y * original.bytesperline + x / 8] & (0x80 >> x % 8)) << "padding changed";
    }
    EXPECT_GT(flipped, 0) << "the random pages should have notches and bumps";
}
