// Row bands on separate threads give the same pixels as one thread, for
// every filter, on pictures of odd sizes whose features cross the band
// borders (winding areas whose inside is reached from both sides of a
// border, strokes thinned across it, 2x2 blocks broken next to it).
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include "qorfil2.h"
#include "shapes.h"

namespace {

// A page of mixed content: a spiral band (its inside winds across many
// rows, so the reconstruction of the inside crosses every band border
// several times), strokes of every width and direction, letters, blobs,
// pepper noise and rough edges.
Bitmap page(int seed) {
    Lcg rng(seed);
    const int w = rng.range(70, 330), h = rng.range(60, 420), pad = rng.range(0, 3);
    Bitmap r(w, h, (w + 7) / 8 + pad);
    const double cx = w / 2.0, cy = h / 2.0;
    for (double t = 0; t < 18; t += 0.02) {
        const double rad = 3 + t * std::min(w, h) / 40.0;
        draw_disk(r, cx + rad * std::cos(t), cy + rad * std::sin(t), 3.5);
    }
    for (int i = 0; i < 12; ++i)
        draw_line(r, rng.uniform(0, w), rng.uniform(0, h), rng.uniform(0, w), rng.uniform(0, h),
                  rng.uniform(1, 9));
    for (int i = 0; i < 4; ++i)
        draw_letter(r, "ABEO"[i], rng.uniform(0, w - 30), rng.uniform(0, h - 30), rng.uniform(12, 40),
                    rng.uniform(1, 6));
    draw_blob(r, rng, 6);
    for (int i = 0; i < 3; ++i) {
        const int x = rng.range(0, w - 20), y = rng.range(0, h - 20);
        draw_rect(r, x, y, x + rng.range(4, 19), y + rng.range(4, 19));
    }
    roughen(r, rng, 0.2);
    specks(r, rng, w * h / 200);
    fill_padding(r);
    return r;
}

TEST(Bands, SamePixelsWhateverTheNumberOfThreads) {
    for (int seed = 1; seed <= 24; ++seed) {
        const Bitmap r = page(seed);
        for (Filter f : {Filter::Skeleton, Filter::Outline, Filter::OneSideOutline}) {
            const Bitmap one = run_filter(r, f, 0, 1);
            for (int threads : {2, 3, 5, 8})
                ASSERT_TRUE(same_pixels(run_filter(r, f, 0, threads), one))
                    << "seed " << seed << " filter " << (int)f << " threads " << threads << " size "
                    << r.width << "x" << r.height;
        }
    }
}

TEST(Bands, SamePixelsOnDenseNoiseAndWithoutSpurControl) {
    // Pepper noise makes many 2x2 blocks and tiny interiors at every border.
    for (int seed = 1; seed <= 12; ++seed) {
        Lcg rng(seed);
        const int w = rng.range(9, 200), h = rng.range(30, 160);
        Bitmap r(w, h, (w + 7) / 8 + 1);
        const double density = rng.uniform(0.3, 0.8);
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x)
                if (rng.uniform(0, 1) < density) r.set(x, y);
        fill_padding(r);
        for (Filter f : {Filter::Skeleton, Filter::Outline, Filter::OneSideOutline})
            for (int option : {0, (int)CPenoDoc::kKeepAllEnds}) {
                const Bitmap one = run_filter(r, f, option, 1);
                EXPECT_TRUE(same_pixels(run_filter(r, f, option, 4), one)) << "seed " << seed;
                // and the low-memory path agrees with both
                EXPECT_TRUE(same_pixels(run_filter(r, f, option | CPenoDoc::kNoCopy, 4), one)) << "seed " << seed;
            }
    }
}

TEST(Bands, OwnChoiceOnALargePageMatchesOneThread) {
    // Large enough (half a million words, 16400 rows) for the filter to cut
    // it into bands by itself where the machine has more than one core;
    // sparse, so that it stays quick.
    Lcg rng(7);
    const int w = 2048, h = 16400;
    Bitmap r(w, h, w / 8 + 3);
    for (int i = 0; i < 600; ++i) {
        const double x = rng.uniform(0, w), y = rng.uniform(0, h);
        draw_line(r, x, y, x + rng.uniform(-150, 150), y + rng.uniform(-150, 150), rng.uniform(1, 12));
    }
    for (int i = 0; i < 60; ++i) draw_ring(r, rng.uniform(0, w), rng.uniform(0, h), 20, rng.uniform(24, 60));
    specks(r, rng, 5000);
    fill_padding(r);
    for (Filter f : {Filter::Skeleton, Filter::Outline, Filter::OneSideOutline})
        EXPECT_TRUE(same_pixels(run_filter(r, f), run_filter(r, f, 0, 1))) << (int)f;
}

TEST(Bands, LowRastersFallBackToFewerBands) {
    // Rasters too low for the bands asked for (down to one row) still give
    // the one-thread result.
    for (int h = 1; h <= 40; h += 3) {
        Bitmap r(37, h, 6);
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < 37; ++x)
                if ((x * 7 + y * 3) % 11 < 6) r.set(x, y);
        fill_padding(r);
        for (Filter f : {Filter::Skeleton, Filter::Outline, Filter::OneSideOutline})
            EXPECT_TRUE(same_pixels(run_filter(r, f, 0, 8), run_filter(r, f, 0, 1))) << "height " << h;
    }
}

}  // namespace
