// Pre-cleaning: pictures in, pictures out.
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

ktvcli::PrecleanOptions options(long despeckle, long holes, bool smooth, bool cells = false, bool pairs = false) {
    ktvcli::PrecleanOptions o;
    o.despeckle = despeckle;
    o.fill_holes = holes;
    o.smooth = smooth;
    o.keep_cells = cells;
    o.part_pairs = pairs;
    return o;
}

ktvcli::PrecleanOptions parting() { return options(0, 0, false, false, true); }

// Two thin lines two pixels apart at a slope of 1 in 5 (a scan's window
// frame): their ink merges but for slivers of paper, a row up each time.
const char *const kSlantedPair =
    "..............................|"
    "............................##|"
    ".......................#######|"
    "..................#######....#|"
    ".............#######....######|"
    "........#######....#######....|"
    "...#######....#######.........|"
    "#####....#######..............|"
    "#....######...................|"
    ".#####........................|"
    "..............................";

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

}  // namespace

TEST(Preclean, Pictures) {
    // A bump on top of a stroke two deep and a notch in its underside.
    const char *const notch_and_bump = "...........|.....#.....|.#########.|.#########.|.####.####.|...........";
    const struct {
        const char *what;
        ktvcli::PrecleanOptions options;
        const char *before, *after;  // after null: unchanged
    } cases[] = {
        {"a speck of two pixels goes, a stroke of five stays", options(2, 0, false),
         "..........|.##.......|..........|...#####..|..........", "..........|..........|..........|...#####..|.........."},
        {"diagonal pixels are one black component", options(2, 0, false), ".......|.#.....|..#....|...#...|.......", nullptr},
        {"a component is judged whole: short runs above and below a long one, and many short ones, stay",
         options(3, 0, false), "..........|.#......#.|.#####..#.|.....#..#.|.....#..#.|..........", nullptr},
        {"a pinhole inside a stroke is filled, a hole of eight pixels is not", options(0, 4, false),
         "###########|#.####...##|######.#.##|######...##|###########",
         "###########|######...##|######.#.##|######...##|###########"},
        {"cells between lines a pixel wide stay, a pinhole in a stroke four wide and a sliver are filled",
         options(0, 4, false, true),
         "..............|.#######......|.#..#..#......|.#..#..#......|.#######......|.#..#..#......|"
         ".#..#..#......|.#######......|..............|.############.|.#####..#####.|.#####..#####.|"
         ".############.|..............|.######.......|.#....#.......|.######.......",
         "..............|.#######......|.#..#..#......|.#..#..#......|.#######......|.#..#..#......|"
         ".#..#..#......|.#######......|..............|.############.|.############.|.############.|"
         ".############.|..............|.######.......|.######.......|.######......."},
        {"a cell between lines two wide stays, and one with a thick wall on one side of four",
         options(0, 4, false, true), "........|.######.|.######.|.##..##.|.##..##.|.######.|.######.|........|"
         ".####...|.#..#...|.#..#...|.####...|.####...|.####...|........", nullptr},
        {"... and without keeping cells every one is filled", options(0, 4, false),
         ".#######.|.#..#..#.|.#..#..#.|.#######.", ".#######.|.#######.|.#######.|.#######."},
        {"white touching the border is paper, not a hole", options(0, 8, false), ".####|#####|###.#|#####",
         ".####|#####|#####|#####"},
        {"white pixels meeting at a corner are two holes", options(0, 1, false), "#####|#.###|##.##|#####",
         "#####|#####|#####|#####"},
        {"smoothing: a notch is filled and a bump on a thick edge cleared", options(0, 0, true),
         notch_and_bump,
         "...........|...........|.#########.|.#########.|.#########.|..........."},
        {"smoothing: a bump hanging under a stroke two deep is cleared", options(0, 0, true),
         "...........|.#########.|.#########.|.....#.....|...........",
         "...........|.#########.|.#########.|...........|..........."},
        {"smoothing keeps one-pixel strokes, their ends and corners", options(0, 0, true),
         "..........|.#####....|.....#....|.....#..#.|......#.#.|.......##.|..........", nullptr},
        {"smoothing leaves a small plus-shaped speck whole", options(0, 0, true), ".......|...#...|..###..|...#...|.......", nullptr},
        {"smoothing leaves the outermost pixels alone", options(0, 0, true), "..#..|.###.|.###.|#.###", nullptr},
        {"a row of odd width with every other pixel black holds the most runs a row can", options(1, 0, false),
         "#.#.#.#.#", "........."},
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
    Bitmap grid = rows(".#######.|.#..#..#.|.#..#..#.|.#######.");
    ktvcli::PrecleanCounts kept;
    ASSERT_TRUE(ktvcli::preclean(raster_of(grid), options(0, 4, false, true), &kept));
    EXPECT_EQ(kept.cells, 2);
    EXPECT_EQ(kept.holes, 0);
    Bitmap notch = rows(notch_and_bump);
    ktvcli::PrecleanCounts smoothed;
    ASSERT_TRUE(ktvcli::preclean(raster_of(notch), options(0, 0, true), &smoothed));
    EXPECT_EQ(smoothed.smoothed, 2);  // the bump and the notch
    Bitmap b = rows("#..|...|..#");
    EXPECT_TRUE(fails_at(1, [&] { EXPECT_FALSE(ktvcli::preclean(raster_of(b), options(1, 1, true))); }, true));
    const Bitmap before = b;
    ktvcli::PrecleanCounts counts;
    ASSERT_TRUE(ktvcli::preclean(raster_of(b), ktvcli::PrecleanOptions(), &counts));  // nothing asked, nothing touched
    EXPECT_EQ(b.bits, before.bits);
    EXPECT_EQ(counts.specks + counts.holes + counts.smoothed, 0);
}

// The picture turned a quarter: rows become columns.
std::string transposed(const std::string &picture) {
    std::vector<std::string> r;
    std::istringstream in(picture);
    for (std::string row; std::getline(in, row, '|');) r.push_back(row);
    std::string out;
    for (std::size_t x = 0; x < r[0].size(); ++x) {
        if (x) out += '|';
        for (const std::string &row : r) out += row[x];
    }
    return out;
}

TEST(Preclean, SlantedPairsAreParted) {
    const std::string parted =
        "..............................|"
        "............................##|"
        ".......................#######|"
        "..................######.....#|"
        ".............######......#####|"
        "........######......######....|"
        "...######......######.........|"
        "#####.....######..............|"
        "#.....#####...................|"
        ".#####........................|"
        "..............................";
    const struct {
        const char *what;
        std::string before, after;  // after empty: unchanged
    } cases[] = {
        {"a slanted pair becomes two lines", kSlantedPair, parted},
        {"... and so along columns", transposed(kSlantedPair), transposed(parted)},
        {"the channel steps over where the ink runs on beyond both lines",
         "................|................|..#############.|..#....#######..|..#######...####|..#####.########|"
         "................",
         "................|................|..#############.|..#......#####..|..######....####|..#####.########|"
         "................"},
        {"cells between rails, one after another on the same rows, stay",
         "....................|.##################.|.#...####...#######.|.#####...####...###.|.##################.|"
         "....................",
         ""},
        {"two pinholes in a wide stroke are no pair",
         "....................|.##################.|.##################.|.###..#############.|"
         ".########..########.|.##################.|.##################.|.##################.|"
         "....................",
         ""},
    };
    for (const auto &c : cases)
        for (auto [stride, shift] : {std::pair{-1, 0}, {-1, 59}}) {
            Bitmap b = rows(c.before, stride, shift);
            ASSERT_TRUE(ktvcli::preclean(raster_of(b), parting()));
            EXPECT_EQ(b.to_ascii(), rows(c.after.empty() ? c.before : c.after, -1, shift).to_ascii())
                << c.what << ", moved " << shift;
        }
    // The pixels cleared are counted; a run short of memory changes nothing.
    Bitmap b = rows(kSlantedPair);
    ktvcli::PrecleanCounts counts;
    ASSERT_TRUE(ktvcli::preclean(raster_of(b), parting(), &counts));
    EXPECT_EQ(counts.parted, 9);
    Bitmap thin = rows("#.#|###");  // a page two rows high holds no sliver
    ASSERT_TRUE(ktvcli::preclean(raster_of(thin), parting(), &counts));
    EXPECT_EQ(counts.parted, 0);
    const Bitmap before = rows(kSlantedPair);
    sweep([&](long n) {
        Bitmap page = before;
        bool ok = true;
        if (!fails_at(n, [&] { ok = ktvcli::preclean(raster_of(page), parting()); })) return false;
        EXPECT_FALSE(ok);
        EXPECT_EQ(page.bits, before.bits);
        return true;
    });
}

TEST(Preclean, SameWhateverTheNumberOfBands) {
    // Strokes across the band borders, and specks and pinholes on them:
    // the components a border cuts must come out whole.
    std::mt19937 rng(7);
    for (int page = 0; page < 8; ++page) {
        Bitmap original = random_strokes(rng);
        for (int k = original.width * original.height / 60; k > 0; --k) {
            const int x = static_cast<int>(rng() % static_cast<unsigned>(original.width));
            const int y = static_cast<int>(rng() % static_cast<unsigned>(original.height));
            original.set(x, y, !original.get(x, y));
        }
        ktvcli::PrecleanOptions o = options(6, 6, true, true, true);
        o.bands = 1;
        Bitmap one = original;
        ktvcli::PrecleanCounts counts_one;
        ASSERT_TRUE(ktvcli::preclean(raster_of(one), o, &counts_one));
        ASSERT_GT(counts_one.specks + counts_one.holes, 0);
        for (int bands : {2, 3, 8}) {
            o.bands = bands;
            Bitmap b = original;
            ktvcli::PrecleanCounts counts;
            ASSERT_TRUE(ktvcli::preclean(raster_of(b), o, &counts));
            EXPECT_EQ(b.bits, one.bits) << "page " << page << ", " << bands << " bands";
            EXPECT_EQ(counts.specks, counts_one.specks);
            EXPECT_EQ(counts.holes, counts_one.holes);
            EXPECT_EQ(counts.cells, counts_one.cells);
            EXPECT_EQ(counts.parted, counts_one.parted);
        }
    }
    // Slanted pairs cut by the band borders.
    std::string stacked = kSlantedPair;
    for (int k = 0; k < 11; ++k) stacked += std::string("|") + kSlantedPair;
    ktvcli::PrecleanOptions o = parting();
    o.bands = 1;
    Bitmap one = rows(stacked);
    ASSERT_TRUE(ktvcli::preclean(raster_of(one), o));
    for (int bands : {2, 3, 8}) {
        o.bands = bands;
        Bitmap b = rows(stacked);
        ASSERT_TRUE(ktvcli::preclean(raster_of(b), o));
        EXPECT_EQ(b.bits, one.bits) << bands << " bands";
    }
}
