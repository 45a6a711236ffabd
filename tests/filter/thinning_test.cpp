// Skeleton properties on generated pictures.
#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <string>
#include <vector>

#include "ktvec.h"
#include "memory.h"
#include "qorfil2.h"
#include "shapes.h"

namespace {

// Every kind of picture the filters must handle, at widths that are and are
// not multiples of 8 or 64, with padded strides whose padding is set.
std::vector<Picture> pictures() {
    std::vector<Picture> v;
    auto add = [&](const std::string &name, int w, int h, int pad, const std::function<void(Bitmap &)> &draw) {
        add_picture(v, name, w, h, pad, draw);
    };
    for (int seed = 1; seed <= 12; ++seed)
        add("blob" + std::to_string(seed), 50 + seed * 7, 61 + seed * 3, seed % 3, [&](Bitmap &r) {
            Lcg rng(seed);
            draw_blob(r, rng, 6 + seed);
            if (seed % 2) roughen(r, rng, 0.25);
        });
    for (int a = 0; a < 24; ++a)
        add("line" + std::to_string(a), 77, 70, 1, [&](Bitmap &r) {
            const double t = a * M_PI / 12, w = 2 + a % 7;
            draw_line(r, 38 - 28 * std::cos(t), 35 - 28 * std::sin(t), 38 + 28 * std::cos(t),
                      35 + 28 * std::sin(t), w);
        });
    add("rings", 130, 67, 2, [](Bitmap &r) {
        draw_ring(r, 30, 32, 10, 22);
        draw_ring(r, 80, 32, 4, 9);
        draw_ring(r, 110, 32, 12, 14);
    });
    add("disks", 129, 40, 0, [](Bitmap &r) {
        for (int i = 0; i < 6; ++i) draw_disk(r, 10 + i * 20, 20, 2 + i * 1.7);
    });
    add("rects", 65, 64, 3, [](Bitmap &r) {
        draw_rect(r, 0, 0, 64, 9);   // touches the page edges
        draw_rect(r, 3, 14, 40, 30);
        draw_rect(r, 45, 14, 46, 60);
        draw_rect(r, 5, 40, 30, 41);
        draw_rect(r, 10, 50, 13, 53);
    });
    add("letters", 150, 50, 1, [](Bitmap &r) {
        draw_letter(r, 'A', 4, 5, 36, 6);
        draw_letter(r, 'B', 44, 5, 36, 5);
        draw_letter(r, 'E', 84, 5, 36, 4);
        draw_letter(r, 'O', 112, 5, 36, 7);
    });
    add("noisy", 200, 90, 2, [](Bitmap &r) {
        Lcg rng(99);
        draw_line(r, 5, 10, 190, 20, 9);
        draw_line(r, 10, 80, 180, 40, 7);
        draw_ring(r, 100, 50, 15, 24);
        roughen(r, rng, 0.3);
        roughen(r, rng, 0.15);
        specks(r, rng, 40);
    });
    add("solid", 33, 21, 0, [](Bitmap &r) { draw_rect(r, 0, 0, 32, 20); });
    add("one-row", 70, 1, 1, [](Bitmap &r) { draw_rect(r, 3, 0, 60, 0); });
    add("one-column", 1, 40, 1, [](Bitmap &r) { draw_rect(r, 0, 2, 0, 37); });
    add("checker", 40, 24, 1, [](Bitmap &r) {
        for (int y = 0; y < 24; ++y)
            for (int x = 0; x < 40; ++x)
                if ((x + y) % 2 == 0) r.set(x, y);
    });
    add("empty", 17, 9, 2, [](Bitmap &) {});
    return v;
}

class SkeletonTest : public ::testing::TestWithParam<Picture> {};

TEST_P(SkeletonTest, KeepsTopologyAndIsThin) {
    const Bitmap &in = GetParam().raster;
    const Bitmap out = run_filter(in, Filter::Skeleton);
    EXPECT_TRUE(padding_clear(out));
    EXPECT_EQ(topology(out).black, topology(in).black) << out.to_ascii();
    EXPECT_EQ(topology(out).white, topology(in).white) << out.to_ascii();
    const ThinReport t = thinness(out);
    EXPECT_EQ(t.blocks, 0) << out.to_ascii();
    EXPECT_EQ(t.staircase, 0) << out.to_ascii();
    EXPECT_EQ(t.removable, 0) << out.to_ascii();
}

TEST_P(SkeletonTest, ThinningTheSkeletonChangesNothing) {
    const Bitmap once = run_filter(GetParam().raster, Filter::Skeleton);
    const Bitmap twice = run_filter(once, Filter::Skeleton);
    EXPECT_TRUE(same_pixels(twice, once)) << once.to_ascii() << "\n" << twice.to_ascii();
}

TEST_P(SkeletonTest, LowMemoryPathGivesTheSameResult) {
    const Bitmap &in = GetParam().raster;
    const Bitmap fast = run_filter(in, Filter::Skeleton);
    const Bitmap inplace = run_filter(in, Filter::Skeleton, CPenoDoc::kNoCopy);
    EXPECT_TRUE(same_pixels(inplace, fast));
    EXPECT_TRUE(padding_clear(inplace));
    ktv::mem_fail_at(1, true);
    const Bitmap starved = run_filter(in, Filter::Skeleton);
    ktv::mem_fail_at(0);
    EXPECT_TRUE(same_pixels(starved, fast));
}

INSTANTIATE_TEST_SUITE_P(Pictures, SkeletonTest, ::testing::ValuesIn(pictures()),
                         [](const ::testing::TestParamInfo<Picture> &i) {
                             return test_name(i.param.name);
                         });

// Distance from (x, y) to the nearest skeleton pixel.
double nearest(const Bitmap &r, double x, double y) {
    double best = 1e9;
    for (int j = 0; j < r.height; ++j)
        for (int i = 0; i < r.width; ++i)
            if (r.get(i, j)) best = std::min(best, std::hypot(i + 0.5 - x, j + 0.5 - y));
    return best;
}

TEST(Skeleton, StrokeEndsRecedeAboutHalfTheWidth) {
    // Straight strokes at several angles and widths, square-ish ends: the
    // skeleton must come within about w/2 of both ends of the centre line.
    for (int w = 2; w <= 11; ++w)
        for (int a = 0; a < 8; ++a) {
            Bitmap r(90, 90);
            const double t = a * M_PI / 8, dx = 30 * std::cos(t), dy = 30 * std::sin(t);
            draw_line(r, 45 - dx, 45 - dy, 45 + dx, 45 + dy, w);
            const Bitmap s = run_filter(r, Filter::Skeleton);
            // The drawn stroke ends w/2 beyond the end points (round caps):
            // the skeleton must come close to the end points themselves.
            EXPECT_LE(nearest(s, 45 - dx, 45 - dy), 1.5 + w / 4.0) << "w=" << w << " a=" << a << "\n" << s.to_ascii();
            EXPECT_LE(nearest(s, 45 + dx, 45 + dy), 1.5 + w / 4.0) << "w=" << w << " a=" << a;
            EXPECT_EQ(thinness(s).ends, 2) << "w=" << w << " a=" << a << "\n" << s.to_ascii();
        }
}

TEST(Skeleton, ShortStrokesAndSpecksSurvive) {
    Bitmap r(40, 20);
    draw_rect(r, 2, 2, 4, 3);    // 3x2
    draw_rect(r, 8, 2, 9, 3);    // 2x2
    draw_rect(r, 12, 2, 13, 2);  // 2x1
    r.set(16, 2);
    draw_line(r, 20, 10, 26, 14, 3);
    const Bitmap s = run_filter(r, Filter::Skeleton);
    EXPECT_EQ(topology(s).black, 5);
    EXPECT_GE(s.count(), 5);
}

TEST(Skeleton, OddBarLiesOnItsMiddleRow) {
    for (int w = 3; w <= 15; w += 2) {
        Bitmap r(100, 40, 14);
        draw_rect(r, 10, 20 - w / 2, 89, 20 + w / 2);
        fill_padding(r);
        const Bitmap s = run_filter(r, Filter::Skeleton);
        long off = 0, on = 0;
        for (int y = 0; y < 40; ++y)
            for (int x = 0; x < 100; ++x)
                if (s.get(x, y)) (y == 20 ? on : off) += 1;
        EXPECT_EQ(off, 0) << "w=" << w << "\n" << s.to_ascii();
        EXPECT_GE(on, 80 - 2 * (w / 2)) << "w=" << w;  // square ends recede at most w/2
        // Same for the vertical bar.
        Bitmap v(40, 100);
        draw_rect(v, 20 - w / 2, 10, 20 + w / 2, 89);
        const Bitmap sv = run_filter(v, Filter::Skeleton);
        for (int y = 0; y < 100; ++y)
            for (int x = 0; x < 40; ++x)
                if (sv.get(x, y)) {
                    EXPECT_EQ(x, 20) << "w=" << w;
                }
    }
}

// A long stroke of width 6..11 with ragged edges (bumps and nicks of a few
// pixels, topology unchanged).
Bitmap jagged_stroke(int seed) {
    Lcg rng(seed);
    Bitmap r(160, 60);
    const double w = 6 + seed % 6, t = rng.uniform(-0.5, 0.5);
    draw_line(r, 15, 30 - 50 * std::sin(t), 145, 30 + 50 * std::sin(t), w);
    roughen(r, rng, 0.25);
    return r;
}

TEST(Skeleton, JaggedStrokesGiveFewSpurs) {
    // Each ragged stroke should thin to one line with two ends; count the
    // extra end pixels (spur tips) over many strokes, with and without the
    // spur control.
    int extra = 0, unguarded = 0, strokes = 0;
    for (int seed = 1; seed <= 40; ++seed) {
        const Bitmap r = jagged_stroke(seed);
        ASSERT_EQ(topology(r).black, 1);
        extra += thinness(run_filter(r, Filter::Skeleton)).ends - 2;
        unguarded += thinness(run_filter(r, Filter::Skeleton, CPenoDoc::kKeepAllEnds)).ends - 2;
        ++strokes;
    }
    EXPECT_LE(extra, strokes / 10) << "spur ends over " << strokes << " strokes";
    EXPECT_GT(unguarded, 4 * extra + 10) << "spur ends without spur control";
}

// Kept segments after thinning and tracing with the vectorizer, and how
// many of them are closed.
std::pair<int, int> traced_skeleton(Bitmap &b) {
    CKTVector v;
    v.msetdocument(b.data(), b.width, b.bytesperline, b.height);
    int kept = 0, closed = 0;
    if (v.makethindata() != 0 || v.minitbuffer() != 0 || v.mtrace() != 0) return {-1, -1};
    for (int i = 0; i < v.segmentnum; ++i) {
        const _KTSEGMENT &s = v.segment[i];
        if (s.discard) continue;
        ++kept;
        closed += s.pointnum > 2 && s.pointlist[0] == s.pointlist[s.pointnum - 1];
    }
    return {kept, closed};
}

TEST(Skeleton, TracesIntoOneSegmentPerStroke) {
    struct Case {
        const char *name;
        std::function<void(Bitmap &)> draw;
        int kept, closed;
    };
    const Case cases[] = {
        {"bar", [](Bitmap &r) { draw_line(r, 10, 20, 90, 60, 7); }, 1, 0},
        {"ring", [](Bitmap &r) { draw_ring(r, 50, 40, 20, 27); }, 1, 1},
        {"tee", [](Bitmap &r) {
             draw_line(r, 10, 15, 90, 15, 7);
             draw_line(r, 50, 15, 50, 70, 7);
         }, 3, 0},
        {"cross", [](Bitmap &r) {
             draw_line(r, 10, 40, 90, 40, 9);
             draw_line(r, 50, 5, 50, 75, 9);
         }, 4, 0},
    };
    for (const Case &c : cases) {
        Bitmap r(100, 80, 14);
        c.draw(r);
        fill_padding(r);
        const auto [kept, closed] = traced_skeleton(r);
        EXPECT_EQ(kept, c.kept) << c.name << "\n" << run_filter(r, Filter::Skeleton).to_ascii();
        EXPECT_EQ(closed, c.closed) << c.name;
    }
}

TEST(Skeleton, DegenerateDocuments) {
    CPenoDoc doc;
    unsigned char out[8], work[8];
    std::fill(out, out + 8, 0xFF);
    doc.m_image = nullptr;
    doc.m_width = 10;
    doc.m_bytesperline = 2;
    doc.m_height = 4;
    EXPECT_EQ(doc.mdeutschfilter(out, work), 0);
    for (unsigned char b : out) EXPECT_EQ(b, 0);
    doc.m_height = 0;
    EXPECT_EQ(doc.mdeutschfilter(out, work), 0);
    unsigned char one = 0xC0;  // width 1: the second bit is padding
    doc.m_image = &one;
    doc.m_width = 1;
    doc.m_bytesperline = 1;
    doc.m_height = 1;
    EXPECT_EQ(doc.mdeutschfilter(out, work), 0);
    EXPECT_EQ(out[0], 0x80);
}

}  // namespace
