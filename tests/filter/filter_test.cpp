// The filters on generated pictures: the skeleton keeps the topology and is
// one pixel thin, outlines give one thin closed curve per boundary, both
// memory paths and any number of row bands give the same pixels, and the
// traced results have the segments the strokes promise.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <string>
#include <vector>

#include "ktvec.h"
#include "memory.h"
#include "qorfil2.h"
#include "shapes.h"

namespace {

// Every kind of picture the skeleton must handle, at widths that are and
// are not multiples of 8 or 64, with padded strides whose padding is set.
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
    for (int a = 0; a < 24; a += 2)
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

// Distance from (x, y) to the nearest skeleton pixel.
double nearest(const Bitmap &r, double x, double y) {
    double best = 1e9;
    for (int j = 0; j < r.height; ++j)
        for (int i = 0; i < r.width; ++i)
            if (r.get(i, j)) best = std::min(best, std::hypot(i + 0.5 - x, j + 0.5 - y));
    return best;
}

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

}  // namespace

TEST(Skeleton, KeepsTopologyIsThinAndTheSameOnEveryPath) {
    for (const Picture &p : pictures()) {
        SCOPED_TRACE(p.name);
        const Bitmap out = run_filter(p.raster, Filter::Skeleton);
        EXPECT_TRUE(padding_clear(out));
        EXPECT_EQ(topology(out), topology(p.raster)) << out.to_ascii();
        const ThinReport t = thinness(out);
        EXPECT_EQ(t.blocks + t.staircase + t.removable, 0) << out.to_ascii();
        EXPECT_TRUE(same_pixels(run_filter(out, Filter::Skeleton), out)) << "thinning again changed it";
        EXPECT_TRUE(same_pixels(run_filter(p.raster, Filter::Skeleton, CPenoDoc::kNoCopy), out));
        ktv::mem_fail_at(1, true);
        const Bitmap starved = run_filter(p.raster, Filter::Skeleton);
        ktv::mem_fail_at(0);
        EXPECT_TRUE(same_pixels(starved, out));
    }
}

TEST(Outline, EveryBoundaryIsOneThinClosedCurveAndOneTracedSegment) {
    for (const Picture &p : thick_shapes())
        for (bool oneside : {false, true}) {
            SCOPED_TRACE(p.name + (oneside ? " one side" : ""));
            const Filter f = oneside ? Filter::OneSideOutline : Filter::Outline;
            const Bitmap &in = p.raster;
            const Bitmap out = run_filter(in, f);
            EXPECT_TRUE(padding_clear(out));
            // Each curve is its own black component and adds one white region.
            const Topology t = topology(out);
            EXPECT_EQ(t.black, boundaries(in)) << out.to_ascii();
            EXPECT_EQ(t.white, t.black + 1) << out.to_ascii();
            int bad = 0;
            for (int y = 0; y < out.height; ++y)
                for (int x = 0; x < out.width; ++x)
                    if (out.get(x, y))
                        bad += black_neighbours(out, x, y) != 2 || transitions(out, x, y) != 2 || !in.get(x, y);
            EXPECT_EQ(bad, 0) << out.to_ascii();
            EXPECT_EQ(thinness(out).blocks, 0);
            EXPECT_TRUE(same_pixels(run_filter(in, f, CPenoDoc::kNoCopy), out));
            Bitmap copy = in;
            const TraceResult r = trace_outline(copy, oneside);
            EXPECT_EQ(r.kept, boundaries(in));
            EXPECT_EQ(r.closed, r.kept);
        }
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

TEST(Random, InvariantsHoldOnAnyPicture) {
    int blocks = 0;
    for (int seed = 1; seed <= 300; ++seed) {
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

TEST(Bands, SamePixelsWhateverTheNumberOfThreads) {
    for (int seed = 1; seed <= 10; ++seed) {
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
    for (int seed = 1; seed <= 6; ++seed) {
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
