// Outline filters: closed 8-thin curves round every boundary, one traced
// segment per boundary.
#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <string>
#include <vector>

#include "ktvec.h"
#include "qorfil2.h"
#include "shapes.h"

namespace {

// Filled areas whose parts are all several pixels thick, so that every
// boundary must become its own closed curve.
std::vector<Picture> thick_shapes() {
    std::vector<Picture> v;
    auto add = [&](const std::string &name, int w, int h, int pad, const std::function<void(Bitmap &)> &draw) {
        add_picture(v, name, w, h, pad, draw);
    };
    for (int i = 0; i < 8; ++i)
        add("disk" + std::to_string(i), 70 + i, 70, i % 3, [&](Bitmap &r) { draw_disk(r, 35.3, 34.8, 4 + 4 * i); });
    add("rects", 100, 60, 1, [](Bitmap &r) {
        draw_rect(r, 2, 2, 30, 20);
        draw_rect(r, 40, 5, 44, 50);
        draw_rect(r, 60, 10, 95, 55);
        draw_rect(r, 70, 20, 85, 45, false);  // a square hole
    });
    add("page-edge", 64, 40, 0, [](Bitmap &r) { draw_rect(r, 0, 0, 63, 39); });
    for (int i = 0; i < 6; ++i)
        add("ring" + std::to_string(i), 90, 90, 2, [&](Bitmap &r) { draw_ring(r, 45, 45, 10 + 3 * i, 18 + 4 * i); });
    for (int a = 0; a < 6; ++a)
        add("bar" + std::to_string(a), 90, 90, 0, [&](Bitmap &r) {
            const double t = a * M_PI / 6;
            draw_line(r, 45 - 30 * std::cos(t), 45 - 30 * std::sin(t), 45 + 30 * std::cos(t),
                      45 + 30 * std::sin(t), 7 + a);
        });
    add("spiral", 121, 121, 1, [](Bitmap &r) {
        // A wide winding band: its inside is reached only turn by turn.
        double px = 60, py = 60;
        for (double t = 0.5; t < 6 * M_PI; t += 0.05) {
            const double rad = 3 + 2.9 * t, x = 60 + rad * std::cos(t), y = 60 + rad * std::sin(t);
            draw_line(r, px, py, x, y, 8);
            px = x;
            py = y;
        }
    });
    add("letters", 200, 70, 1, [](Bitmap &r) {
        draw_letter(r, 'A', 8, 8, 54, 9);
        draw_letter(r, 'B', 70, 8, 54, 8);
        draw_letter(r, 'O', 140, 8, 54, 10);
    });
    for (int s = 1; s <= 4; ++s)
        add("rough-disk" + std::to_string(s), 80, 80, 1, [&](Bitmap &r) {
            Lcg rng(s);
            draw_disk(r, 40, 40, 30);
            draw_disk(r, 40, 40, 12, false);
            roughen(r, rng, 0.15);
        });
    return v;
}

// Number of boundaries: one per black component and one per hole.
int boundaries(const Bitmap &b) {
    const Topology t = topology(b);
    return t.black + t.white - 1;
}

// Traces `b` with the vectorizer after the chosen outline filter; answers
// the kept segments, and how many of them are closed.
struct TraceResult {
    int kept = 0, closed = 0;
};
TraceResult trace_outline(Bitmap &b, bool oneside) {
    CKTVector v;
    v.msetdocument(b.data(), b.width, b.bytesperline, b.height);
    TraceResult r;
    if ((oneside ? v.make1sideoutlinedata() : v.makeoutlinedata()) != 0) return r;
    if (v.minitbuffer() != 0 || v.mtrace() != 0) return r;
    for (int i = 0; i < v.segmentnum; ++i) {
        const _KTSEGMENT &s = v.segment[i];
        if (s.discard) continue;
        ++r.kept;
        if (s.pointnum > 2 && s.pointlist[0] == s.pointlist[s.pointnum - 1]) ++r.closed;
    }
    return r;
}

class OutlineTest : public ::testing::TestWithParam<std::tuple<Picture, bool>> {};

TEST_P(OutlineTest, EveryBoundaryIsOneThinClosedCurve) {
    const Bitmap &in = std::get<0>(GetParam()).raster;
    const bool oneside = std::get<1>(GetParam());
    const Bitmap out = run_filter(in, oneside ? Filter::OneSideOutline : Filter::Outline);
    EXPECT_TRUE(padding_clear(out));
    // Each curve is its own black component and adds one white region.
    const Topology t = topology(out);
    EXPECT_EQ(t.black, boundaries(in)) << out.to_ascii();
    EXPECT_EQ(t.white, t.black + 1) << out.to_ascii();
    int bad = 0;
    for (int y = 0; y < out.height; ++y)
        for (int x = 0; x < out.width; ++x)
            if (out.get(x, y)) {
                bad += black_neighbours(out, x, y) != 2 || transitions(out, x, y) != 2;
                EXPECT_TRUE(in.get(x, y)) << "contour pixel outside the area";
            }
    EXPECT_EQ(bad, 0) << out.to_ascii();
    EXPECT_EQ(thinness(out).blocks, 0);
}

TEST_P(OutlineTest, TracingGivesOneClosedSegmentPerBoundary) {
    Bitmap in = std::get<0>(GetParam()).raster;
    const TraceResult r = trace_outline(in, std::get<1>(GetParam()));
    EXPECT_EQ(r.kept, boundaries(in));
    EXPECT_EQ(r.closed, r.kept);
}

TEST_P(OutlineTest, LowMemoryPathGivesTheSameResult) {
    const Bitmap &in = std::get<0>(GetParam()).raster;
    const Filter f = std::get<1>(GetParam()) ? Filter::OneSideOutline : Filter::Outline;
    EXPECT_TRUE(same_pixels(run_filter(in, f, CPenoDoc::kNoCopy), run_filter(in, f)));
}

INSTANTIATE_TEST_SUITE_P(Pictures, OutlineTest,
                         ::testing::Combine(::testing::ValuesIn(thick_shapes()), ::testing::Bool()),
                         [](const ::testing::TestParamInfo<std::tuple<Picture, bool>> &i) {
                             return test_name(std::get<0>(i.param).name) + (std::get<1>(i.param) ? "_oneside" : "_full");
                         });

TEST(Outline, NarrowPartsAreThinnedToOneLine) {
    // Strokes one or two pixels wide: outer and inner boundary coincide;
    // the full outline leaves one 8-thin line, topology kept.
    Bitmap r(120, 60, 16);
    draw_line(r, 5, 5, 110, 20, 2);
    draw_line(r, 5, 50, 110, 30, 2.5);
    draw_rect(r, 60, 40, 61, 55);
    draw_ring(r, 30, 30, 6, 8);
    fill_padding(r);
    const Bitmap out = run_filter(r, Filter::Outline);
    EXPECT_EQ(topology(out), topology(r));
    const ThinReport t = thinness(out);
    EXPECT_EQ(t.blocks, 0);
    EXPECT_EQ(t.staircase, 0);
    EXPECT_EQ(t.removable, 0) << out.to_ascii();
    // The quick variant keeps the topology too, but only peels one layer.
    const Bitmap quick = run_filter(r, Filter::OneSideOutline);
    EXPECT_EQ(topology(quick), topology(r));
    EXPECT_GE(quick.count(), out.count());
}

TEST(Outline, EveryStrokeGivesOneLineOrOneLoop) {
    // Straight strokes of every width and angle: narrow ones thin to one open
    // line, wide ones give one closed loop, never a chain of small loops or
    // a junction; tracing yields exactly one segment.
    for (double w = 2; w <= 9; w += 0.5)
        for (int a = 0; a < 12; ++a) {
            Bitmap r(100, 100);
            const double t = a * M_PI / 12, dx = 40 * std::cos(t), dy = 40 * std::sin(t);
            draw_line(r, 50 - dx, 50 - dy, 50 + dx, 50 + dy, w);
            for (bool oneside : {false, true}) {
                const Bitmap out = run_filter(r, oneside ? Filter::OneSideOutline : Filter::Outline);
                const Topology t = topology(out);
                const ThinReport thin = thinness(out);
                EXPECT_EQ(t.black, 1);
                EXPECT_TRUE((t.white == 1 && thin.ends == 2) || (t.white == 2 && thin.ends == 0))
                    << "w=" << w << " a=" << a << "\n" << out.to_ascii();
                int junctions = 0;
                for (int y = 0; y < out.height; ++y)
                    for (int x = 0; x < out.width; ++x) junctions += out.get(x, y) && transitions(out, x, y) > 2;
                EXPECT_EQ(junctions, 0) << "w=" << w << " a=" << a;
                EXPECT_EQ(trace_outline(r, oneside).kept, 1) << "w=" << w << " a=" << a;
            }
        }
}

TEST(Outline, MixedPicturesKeepTheirBoundaries) {
    // Blobs, specks and noise: whatever the shapes, the outline keeps one
    // curve or line per boundary component and never leaves the ink.
    for (int seed = 1; seed <= 10; ++seed) {
        Lcg rng(seed);
        Bitmap r(96 + seed, 80, 14 + seed % 2);
        draw_blob(r, rng, 8);
        specks(r, rng, 10);
        roughen(r, rng, 0.2);
        fill_padding(r);
        for (Filter f : {Filter::Outline, Filter::OneSideOutline}) {
            const Bitmap out = run_filter(r, f);
            EXPECT_TRUE(padding_clear(out));
            // Every area keeps a contour of its own and every hole stays.
            const Topology t = topology(out), tin = topology(r);
            EXPECT_GE(t.black, tin.black);
            EXPECT_LE(t.black, boundaries(r));
            EXPECT_GE(t.white, tin.white);
            for (int y = 0; y < r.height; ++y)
                for (int x = 0; x < r.width; ++x)
                    if (out.get(x, y) && !r.get(x, y)) ADD_FAILURE() << "outside at " << x << "," << y;
            EXPECT_EQ(thinness(out).blocks, 0);
        }
    }
}

}  // namespace
