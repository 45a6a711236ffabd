// Random pictures of every density: the invariants that must hold whatever
// the input, on both memory paths.
#include <gtest/gtest.h>

#include "qorfil2.h"
#include "shapes.h"

namespace {

enum Kind { kPepper, kBlocks, kStrokes };

Bitmap random_picture(int seed, Kind kind) {
    Lcg rng(seed);
    const int w = rng.range(1, 90), h = rng.range(1, 40), pad = rng.range(0, 2);
    Bitmap r(w, h, (w + 7) / 8 + pad);
    const double density = rng.uniform(0.05, 0.95);
    switch (kind) {
    case kPepper:
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x)
                if (rng.uniform(0, 1) < density) r.set(x, y);
        break;
    case kBlocks:
        for (int y = 0; y < h; y += 2)
            for (int x = 0; x < w; x += 2)
                if (rng.uniform(0, 1) < density) draw_rect(r, x, y, x + 1, y + 1);
        break;
    case kStrokes:
        for (int i = 0; i < 5; ++i)
            draw_line(r, rng.uniform(0, w), rng.uniform(0, h), rng.uniform(0, w), rng.uniform(0, h),
                      rng.uniform(1, 8));
        roughen(r, rng, 0.3);
        break;
    }
    fill_padding(r);
    return r;
}

TEST(Random, InvariantsHoldOnAnyPicture) {
    int blocks = 0;
    for (int seed = 1; seed <= 600; ++seed) {
        const Kind kind = static_cast<Kind>(seed % 3);
        const Bitmap r = random_picture(seed, kind);
        for (Filter f : {Filter::Skeleton, Filter::Outline, Filter::OneSideOutline}) {
            const Bitmap out = run_filter(r, f);
            ASSERT_TRUE(same_pixels(out, run_filter(r, f, CPenoDoc::kNoCopy))) << "seed " << seed;
            ASSERT_TRUE(padding_clear(out));
            const ThinReport t = thinness(out);
            // A 2x2 square can only survive where every white pixel round it
            // is a hole of its own (dense pepper noise).
            if (kind == kStrokes) {
                EXPECT_EQ(t.blocks, 0) << "seed " << seed;
            }
            blocks += t.blocks;
            if (f == Filter::Skeleton) {
                ASSERT_EQ(topology(out), topology(r)) << "seed " << seed;
                EXPECT_EQ(t.removable, 0) << "seed " << seed;
                EXPECT_TRUE(same_pixels(run_filter(out, f), out)) << "seed " << seed;
            } else {
                // Every area keeps a contour and every hole stays a hole.
                EXPECT_GE(topology(out).black, topology(r).black) << "seed " << seed;
                EXPECT_GE(topology(out).white, topology(r).white) << "seed " << seed;
            }
            if (f == Filter::Outline) {
                EXPECT_EQ(t.removable, 0) << "seed " << seed;
            }
        }
    }
    EXPECT_LE(blocks, 10);
}

}  // namespace
