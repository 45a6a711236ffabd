// The filters on generated pictures: the skeleton keeps the topology and is
// one pixel thin; outlines give one thin closed curve per boundary; every
// memory path and any number of row bands give the same, recorded, pixels;
// traced outlines have the segments the shapes promise.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <string>
#include <vector>

#include "ktvec.h"
#include "memory.h"
#include "qorfil2.h"
#include "invariants.h"
#include "shapes.h"

namespace {

const Filter kFilters[] = {Filter::Skeleton, Filter::Outline, Filter::OneSideOutline};

Picture picture(const std::string &name, int w, int h, int pad, const std::function<void(Bitmap &)> &draw) {
    std::vector<Picture> one;
    add_picture(one, name, w, h, pad, draw);
    return one[0];
}

// Filled areas whose parts are all several pixels thick, so that every
// boundary must become its own closed curve.
std::vector<Picture> thick_shapes() {
    std::vector<Picture> v;
    for (int i = 0; i < 8; ++i)
        v.push_back(picture("disk", 70 + i, 70, i % 3, [&](Bitmap &r) { draw_disk(r, 35.3, 34.8, 4 + 4 * i); }));
    for (int i = 0; i < 6; ++i)
        v.push_back(picture("ring", 90, 90, 2, [&](Bitmap &r) { draw_ring(r, 45, 45, 10 + 3 * i, 18 + 4 * i); }));
    for (int a = 0; a < 6; ++a)
        v.push_back(picture("bar", 90, 90, 0, [&](Bitmap &r) {
            const double t = a * M_PI / 6;
            draw_line(r, 45 - 30 * std::cos(t), 45 - 30 * std::sin(t), 45 + 30 * std::cos(t), 45 + 30 * std::sin(t), 7 + a);
        }));
    v.push_back(picture("rects with a hole, at the page edge", 100, 60, 1, [](Bitmap &r) {
        draw_rect(r, 0, 0, 30, 20);
        draw_rect(r, 40, 5, 44, 50);
        draw_rect(r, 60, 10, 99, 59);
        draw_rect(r, 70, 20, 85, 45, false);
    }));
    v.push_back(picture("spiral", 121, 121, 1, [](Bitmap &r) {
        // A wide winding band: its inside is reached only turn by turn.
        double px = 60, py = 60;
        for (double t = 0.5; t < 6 * M_PI; t += 0.05) {
            const double rad = 3 + 2.9 * t, x = 60 + rad * std::cos(t), y = 60 + rad * std::sin(t);
            draw_line(r, px, py, x, y, 8);
            px = x, py = y;
        }
    }));
    v.push_back(picture("letters", 200, 70, 1, [](Bitmap &r) {
        for (int i = 0; i < 3; ++i) draw_letter(r, "ABO"[i], 8 + 66 * i, 8, 54, 9 - (i == 1));
    }));
    for (int s = 1; s <= 4; ++s)
        v.push_back(picture("rough disk", 80, 80, 1, [&](Bitmap &r) {
            Lcg rng(s);
            draw_ring(r, 40, 40, 12, 30);
            roughen(r, rng, 0.15);
        }));
    return v;
}

// Number of boundaries: one per black component and one per hole.
int boundaries(const Bitmap &b) {
    const Topology t = topology(b);
    return t.black + t.white - 1;
}

// The kept segments after the filter of `prepare` and tracing, and how many
// of them are closed.
std::pair<int, int> traced(Bitmap &b, int (CKTVector::*prepare)()) {
    CKTVector v;
    v.msetdocument(b.data(), b.width, b.bytesperline, b.height);
    EXPECT_EQ((v.*prepare)() + v.minitbuffer() + v.mtrace(), 0);
    int kept = 0, closed = 0;
    for (int i = 0; i < v.segmentnum; ++i) {
        const _KTSEGMENT &s = v.segment[i];
        if (s.discard) continue;
        ++kept;
        closed += s.pointnum > 2 && s.pointlist[0] == s.pointlist[s.pointnum - 1];
    }
    return {kept, closed};
}

}  // namespace

TEST(Skeleton, SpurControlAndDegenerateDocuments) {
    // Ragged strokes (bumps and nicks of a few pixels, topology unchanged)
    // thin to one line with two ends; without the spur control they grow
    // many more spur ends.
    int extra = 0, unguarded = 0;
    for (int seed = 1; seed <= 40; ++seed) {
        Lcg rng(seed);
        Bitmap r(160, 60);
        const double t = rng.uniform(-0.5, 0.5);
        draw_line(r, 15, 30 - 50 * std::sin(t), 145, 30 + 50 * std::sin(t), 6 + seed % 6);
        roughen(r, rng, 0.25);
        extra += thinness(run_filter(r, Filter::Skeleton)).ends - 2;
        unguarded += thinness(run_filter(r, Filter::Skeleton, CPenoDoc::kKeepAllEnds)).ends - 2;
    }
    EXPECT_LE(extra, 4);
    EXPECT_GT(unguarded, 4 * extra + 10);
    // No image, no rows, a width of one pixel whose second bit is padding.
    CPenoDoc doc;
    unsigned char out[8], work[8], one = 0xC0;
    std::fill(out, out + 8, 0xFF);
    doc.m_image = nullptr;
    doc.m_width = 10;
    doc.m_bytesperline = 2;
    doc.m_height = 4;
    EXPECT_EQ(doc.mdeutschfilter(out, work), 0);
    EXPECT_EQ(std::count(out, out + 8, 0), 8);
    doc.m_height = 0;
    EXPECT_EQ(doc.mdeutschfilter(out, work), 0);
    doc.m_image = &one;
    doc.m_width = doc.m_bytesperline = doc.m_height = 1;
    EXPECT_EQ(doc.mdeutschfilter(out, work), 0);
    EXPECT_EQ(out[0], 0x80);
}

TEST(Skeleton, CrowdedTeesStayOnTheirLine) {
    // Two one-pixel lines `pitch` rows apart joined by ties (brick courses,
    // a ladder): the skeleton keeps each tie's T's on their lines, so the
    // centre lines keep a junction at both ends of every tie.  A lone T and
    // a line two pixels thick or more keep the 8-thin junction.
    struct Case {
        const char *name;
        int pitch, width, tees;  // rows between the lines' tops, their width, T's set back on a line
    };
    const Case cases[] = {
        {"ties of two pixels", 3, 1, 14},
        {"ties of three pixels", 4, 1, 14},
        {"ties of four pixels (their junctions three pixels apart already)", 5, 1, 0},
        {"lines two pixels thick (one thinned onto the tie's side)", 4, 2, 7},
        {"lines three pixels thick", 6, 3, 0},
    };
    const int top = 8, ties[] = {14, 26, 38, 50, 62, 74, 86};
    for (const Case &c : cases) {
        Bitmap r(100, 30);
        const int low = top + c.pitch;
        draw_rect(r, 4, top, 96, top + c.width - 1);
        draw_rect(r, 4, low, 96, low + c.width - 1);
        for (int x : ties) draw_rect(r, x, top, x, low);
        const Bitmap s = run_filter(r, Filter::Skeleton);
        const ThinReport t = thinness(s);
        EXPECT_EQ(t.removable, 0) << c.name;
        EXPECT_EQ(t.tees, c.tees) << c.name;
        EXPECT_EQ(topology(s), topology(r)) << c.name;
        EXPECT_TRUE(same_pixels(run_filter(s, Filter::Skeleton), s)) << c.name;

        // The drivers' clean-up takes junctions within two pixels of each
        // other for one: with the T's on the lines, no tie collapses.
        Bitmap doc = r;
        CKTVector v;
        v.msetdocument(doc.data(), doc.width, doc.bytesperline, doc.height);
        ASSERT_EQ(v.mabstractcenterline(KTVEC_MERGE_ENDS | KTVEC_BRIDGE_GAPS | KTVEC_CONNECT | KTVEC_CUT_SPURS |
                                            KTVEC_MERGE_JUNCTIONS,
                                        4, 3, 8, 0.9, 4, 1.5),
                  0);
        int junctions = 0;
        for (int i = 0; i < v.mgetnodenum(); ++i) {
            const _KTNODE *n = v.mgetnode(i);
            junctions += !n->deleted && n->linknum >= 3;
        }
        if (c.width < 3) {
            EXPECT_EQ(junctions, 2 * 7) << c.name;
        }
    }

    // A lone T keeps its junction a pixel into the stem; so does an X of
    // two lines crossing at a slant, which thinning parts into two Y's.
    Bitmap lone(60, 30);
    draw_rect(lone, 4, 8, 56, 8);
    draw_rect(lone, 30, 9, 30, 25);
    draw_line(lone, 4, 14, 56, 26, 1);
    draw_line(lone, 4, 26, 56, 14, 1);
    EXPECT_EQ(thinness(run_filter(lone, Filter::Skeleton)).tees, 0);
}

TEST(Outline, EveryBoundaryIsOneThinClosedCurveAndOneTracedSegment) {
    for (const Picture &p : thick_shapes())
        for (bool oneside : {false, true}) {
            SCOPED_TRACE(p.name + " " + std::to_string(p.raster.width) + (oneside ? " one side" : ""));
            const Filter f = oneside ? Filter::OneSideOutline : Filter::Outline;
            Bitmap in = p.raster;
            const Bitmap out = run_filter(in, f);
            EXPECT_TRUE(padding_clear(out));
            // Each curve is its own black component and adds one white region.
            const Topology t = topology(out);
            EXPECT_EQ(t.black, boundaries(in)) << out.to_ascii();
            EXPECT_EQ(t.white, t.black + 1) << out.to_ascii();
            int bad = 0;
            for (int y = 0; y < out.height; ++y)
                for (int x = 0; x < out.width; ++x)
                    if (out.get(x, y)) bad += black_neighbours(out, x, y) != 2 || transitions(out, x, y) != 2 || !in.get(x, y);
            EXPECT_EQ(bad + thinness(out).blocks, 0) << out.to_ascii();
            EXPECT_TRUE(same_pixels(run_filter(in, f, CPenoDoc::kNoCopy), out));
            const auto [kept, closed] = traced(in, oneside ? &CKTVector::make1sideoutlinedata : &CKTVector::makeoutlinedata);
            EXPECT_EQ(kept, boundaries(in));
            EXPECT_EQ(closed, kept);
        }
}

TEST(Outline, NarrowStrokesGiveOneLineOrOneLoop) {
    // Straight strokes of every width and angle: narrow ones thin to one
    // open line (outer and inner boundary coincide), wide ones give one
    // closed loop, never a junction; tracing yields one segment.
    for (double w = 2; w <= 9; w += 1.5)
        for (int a = 0; a < 12; a += 2) {
            Bitmap r(100, 100);
            const double t = a * M_PI / 12, dx = 40 * std::cos(t), dy = 40 * std::sin(t);
            draw_line(r, 50 - dx, 50 - dy, 50 + dx, 50 + dy, w);
            for (bool oneside : {false, true}) {
                const Bitmap out = run_filter(r, oneside ? Filter::OneSideOutline : Filter::Outline);
                const Topology t = topology(out);
                const ThinReport thin = thinness(out);
                EXPECT_TRUE(t.black == 1 && ((t.white == 1 && thin.ends == 2) || (t.white == 2 && thin.ends == 0)))
                    << "w=" << w << " a=" << a << "\n" << out.to_ascii();
                int junctions = 0;
                for (int y = 0; y < out.height; ++y)
                    for (int x = 0; x < out.width; ++x) junctions += out.get(x, y) && transitions(out, x, y) > 2;
                EXPECT_EQ(junctions, 0) << "w=" << w << " a=" << a;
                EXPECT_EQ(traced(r, oneside ? &CKTVector::make1sideoutlinedata : &CKTVector::makeoutlinedata).first, 1);
            }
        }
}

TEST(Filters, InvariantsOnRandomPicturesOfEveryDensity) {
    int blocks = 0;
    unsigned long long results = digest("");
    for (int seed = 1; seed <= 300; ++seed) {
        Lcg rng(seed);
        const int w = rng.range(1, 90), h = rng.range(1, 40);
        Bitmap r(w, h, (w + 7) / 8 + rng.range(0, 2));
        const double density = rng.uniform(0.05, 0.95);
        const int cell = seed % 3 == 1 ? 2 : 1;  // pepper, 2x2 blocks, or strokes
        for (int y = 0; y < h && seed % 3 < 2; y += cell)
            for (int x = 0; x < w; x += cell)
                if (rng.uniform(0, 1) < density) draw_rect(r, x, y, x + cell - 1, y + cell - 1);
        if (seed % 3 == 2) {
            for (int i = 0; i < 5; ++i)
                draw_line(r, rng.uniform(0, w), rng.uniform(0, h), rng.uniform(0, w), rng.uniform(0, h), rng.uniform(1, 8));
            roughen(r, rng, 0.3);
        }
        fill_padding(r);
        for (Filter f : kFilters) {
            // Without the word-aligned copy, asked for or for want of memory,
            // the filter works in the caller's buffers to the same pixels.
            const Bitmap out = run_filter(r, f);
            ASSERT_TRUE(same_pixels(out, run_filter(r, f, CPenoDoc::kNoCopy))) << "seed " << seed;
            ktv::mem_fail_at(1, true);
            const Bitmap starved = run_filter(r, f);
            ktv::mem_fail_at(0);
            ASSERT_TRUE(same_pixels(out, starved)) << "seed " << seed;
            ASSERT_TRUE(padding_clear(out));
            const ThinReport t = thinness(out);
            // A 2x2 square survives only where every white pixel round it is
            // a hole of its own (dense pepper noise).
            if (seed % 3 == 2) {
                EXPECT_EQ(t.blocks, 0) << "seed " << seed;
            }
            blocks += t.blocks;
            results = digest(std::string(out.bits.begin(), out.bits.end()), results);
            if (f != Filter::OneSideOutline) {
                EXPECT_EQ(t.removable, 0) << "seed " << seed;
            }
            if (f == Filter::Skeleton) {
                ASSERT_EQ(topology(out), topology(r)) << "seed " << seed;
                EXPECT_TRUE(same_pixels(run_filter(out, f), out)) << "seed " << seed;
            } else {
                // Every area keeps a contour and every hole stays a hole.
                EXPECT_GE(topology(out).black, topology(r).black) << "seed " << seed;
                EXPECT_GE(topology(out).white, topology(r).white) << "seed " << seed;
            }
        }
    }
    EXPECT_LE(blocks, 10);
    // The pixels are exact (the one-side outline, for one, stops after four
    // thinning iterations): every result is pinned by a recorded digest.
    EXPECT_EQ(results, 289989723914664757ull);
}

TEST(Filters, SamePixelsWhateverTheNumberOfBands) {
    // Pages of mixed content (a spiral band whose inside winds across many
    // rows, strokes, letters, blobs, boxes, specks, rough edges), pepper
    // noise with and without spur control, and rasters too low for the
    // bands asked for.
    std::vector<std::pair<Bitmap, int>> rasters;  // raster, option
    for (int seed = 1; seed <= 10; ++seed) {
        Lcg rng(seed);
        const int w = rng.range(70, 330), h = rng.range(60, 420);
        Bitmap r(w, h, (w + 7) / 8 + rng.range(0, 3));
        for (double t = 0; t < 18; t += 0.02) {
            const double rad = 3 + t * std::min(w, h) / 40.0;
            draw_disk(r, w / 2.0 + rad * std::cos(t), h / 2.0 + rad * std::sin(t), 3.5);
        }
        for (int i = 0; i < 12; ++i)
            draw_line(r, rng.uniform(0, w), rng.uniform(0, h), rng.uniform(0, w), rng.uniform(0, h), rng.uniform(1, 9));
        for (int i = 0; i < 4; ++i)
            draw_letter(r, "ABEO"[i], rng.uniform(0, w - 30), rng.uniform(0, h - 30), rng.uniform(12, 40), rng.uniform(1, 6));
        draw_blob(r, rng, 6);
        const int x = rng.range(0, w - 20), y = rng.range(0, h - 20);
        draw_rect(r, x, y, x + rng.range(4, 19), y + rng.range(4, 19));
        roughen(r, rng, 0.2);
        specks(r, rng, w * h / 200);
        rasters.push_back({r, seed % 2 ? 0 : CPenoDoc::kKeepAllEnds});
        Bitmap noise(rng.range(9, 200), rng.range(30, 160), 26);
        const double density = rng.uniform(0.3, 0.8);
        for (int py = 0; py < noise.height; ++py)
            for (int px = 0; px < noise.width; ++px) noise.set(px, py, rng.uniform(0, 1) < density);
        rasters.push_back({noise, seed % 2 ? 0 : CPenoDoc::kKeepAllEnds});
    }
    for (int h = 1; h <= 40; h += 3) {
        Bitmap r(37, h, 6);
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < 37; ++x) r.set(x, y, (x * 7 + y * 3) % 11 < 6);
        rasters.push_back({r, 0});
    }
    for (auto &[r, option] : rasters) {
        fill_padding(r);
        for (Filter f : kFilters) {
            const Bitmap one = run_filter(r, f, option, 1);
            for (int threads : {2, 3, 8})
                ASSERT_TRUE(same_pixels(run_filter(r, f, option, threads), one))
                    << r.width << "x" << r.height << " filter " << int(f) << " threads " << threads;
            EXPECT_TRUE(same_pixels(run_filter(r, f, option | CPenoDoc::kNoCopy, 4), one));
        }
    }
}
