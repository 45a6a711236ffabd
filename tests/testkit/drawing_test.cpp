// The synthetic drawing generator and the reference thinning: rasterisation
// against brute-force geometry, layout invariants, noise, and the
// bit-parallel Zhang-Suen against a plain per-pixel one.
#include <gtest/gtest.h>

#if __has_include("drawing.h")

#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "drawing.h"
#include "zhangsuen.h"
#if defined(KTVEC_HAVE_IMAGEFILE)
#include "imagefile.h"
#endif

using ktvdraw::Canvas;

namespace {
constexpr double kPi = 3.14159265358979323846;

double segment_distance(double px, double py, double ax, double ay, double bx, double by) {
    double dx = bx - ax, dy = by - ay, len2 = dx * dx + dy * dy;
    double t = len2 > 0 ? ((px - ax) * dx + (py - ay) * dy) / len2 : 0;
    t = std::fmax(0, std::fmin(1, t));
    return std::hypot(px - (ax + t * dx), py - (ay + t * dy));
}

double arc_distance(double px, double py, double cx, double cy, double r, double a0, double a1) {
    double a = std::atan2(py - cy, px - cx);
    while (a < a0) a += 2 * kPi;
    while (a > a0 + 2 * kPi) a -= 2 * kPi;
    if (a <= a1) return std::fabs(std::hypot(px - cx, py - cy) - r);
    return std::fmin(std::hypot(px - cx - r * std::cos(a0), py - cy - r * std::sin(a0)),
                     std::hypot(px - cx - r * std::cos(a1), py - cy - r * std::sin(a1)));
}

// Every padding bit and byte of every row is still 0.
bool padding_clear(const Canvas &c) {
    for (int y = 0; y < c.height(); ++y)
        for (int x = c.width(); x < c.stride() * 8; ++x)
            if ((c.data()[(std::size_t)y * c.stride() + x / 8] >> (7 - x % 8)) & 1) return false;
    return true;
}

// Plain Zhang-Suen over a byte per pixel, the textbook way.
std::vector<unsigned char> scalar_zhang_suen(std::vector<unsigned char> img, int w, int h) {
    auto at = [&](int x, int y) { return x < 0 || y < 0 || x >= w || y >= h ? 0 : img[y * w + x]; };
    for (bool changed = true; changed;) {
        changed = false;
        for (int pass = 0; pass < 2; ++pass) {
            std::vector<int> del;
            for (int y = 0; y < h; ++y)
                for (int x = 0; x < w; ++x) {
                    if (!at(x, y)) continue;
                    int p[8] = {at(x, y - 1), at(x + 1, y - 1), at(x + 1, y),     at(x + 1, y + 1),
                                at(x, y + 1), at(x - 1, y + 1), at(x - 1, y),     at(x - 1, y - 1)};
                    int b = 0, a = 0;
                    for (int i = 0; i < 8; ++i) {
                        b += p[i];
                        a += !p[i] && p[(i + 1) % 8];
                    }
                    bool side = pass == 0 ? !(p[0] && p[2] && p[4]) && !(p[2] && p[4] && p[6])
                                          : !(p[0] && p[2] && p[6]) && !(p[0] && p[4] && p[6]);
                    if (b >= 2 && b <= 6 && a == 1 && side) del.push_back(y * w + x);
                }
            for (int i : del) img[i] = 0;
            changed |= !del.empty();
        }
    }
    return img;
}
}  // namespace

// Thick lines: a pixel is black exactly when its centre lies within half the
// width of the segment (pixels within 1e-6 of the border may go either way).
TEST(Canvas, ThickLineCoversExactlyTheCapsule) {
    ktvdraw::Rng rng(7);
    for (int trial = 0; trial < 60; ++trial) {
        Canvas c(61, 47, 9);
        double ax = rng.uniform(-5, 66), ay = rng.uniform(-5, 52);
        double bx = rng.uniform(-5, 66), by = rng.uniform(-5, 52);
        if (trial % 10 == 0) bx = ax, by = ay;           // a dot
        if (trial % 10 == 1) by = ay;                     // horizontal
        if (trial % 10 == 2) bx = ax;                     // vertical
        double w = 2 + trial % 8;
        c.thick_line(ax, ay, bx, by, w);
        for (int y = 0; y < c.height(); ++y)
            for (int x = 0; x < c.width(); ++x) {
                double d = segment_distance(x + 0.5, y + 0.5, ax, ay, bx, by) - w / 2;
                if (std::fabs(d) < 1e-6) continue;
                ASSERT_EQ(c.get(x, y), d < 0) << "trial " << trial << " pixel " << x << "," << y;
            }
        EXPECT_TRUE(padding_clear(c));
    }
}

TEST(Canvas, StrokeWidthAcrossAnAxisParallelLine) {
    for (int w = 2; w <= 9; ++w) {
        Canvas c(40, 40);
        // integer centre for even widths, half-pixel centre for odd ones
        double y = 20 + (w % 2) * 0.5;
        c.thick_line(5, y, 35, y, w);
        int run = 0;
        for (int yy = 0; yy < 40; ++yy) run += c.get(20, yy);
        EXPECT_EQ(run, w) << "width " << w;
    }
}

TEST(Canvas, ArcStaysWithinAHundredthOfAPixelOfTheTrueCurve) {
    ktvdraw::Rng rng(11);
    for (int trial = 0; trial < 20; ++trial) {
        Canvas c(120, 120);
        double cx = rng.uniform(40, 80), cy = rng.uniform(40, 80), r = rng.uniform(3, 50);
        double a0 = rng.uniform(-kPi, kPi), a1 = a0 + rng.uniform(0.2, 2 * kPi);
        double w = rng.range(2, 9);
        c.thick_arc(cx, cy, r, a0, a1, w);
        for (int y = 0; y < c.height(); ++y)
            for (int x = 0; x < c.width(); ++x) {
                double d = arc_distance(x + 0.5, y + 0.5, cx, cy, r, a0, a1) - w / 2;
                if (std::fabs(d) <= 0.03) continue;
                ASSERT_EQ(c.get(x, y), d < 0) << trial << ": " << x << "," << y;
            }
    }
}

TEST(Canvas, SpansClipAndKeepPadding) {
    Canvas c(21, 3, 5);  // 3 used bytes, 2 padding bytes per row
    c.span(1, -10, 100);
    EXPECT_EQ(c.count(), 21);
    EXPECT_TRUE(padding_clear(c));
    c.span(1, 3, 17, false);
    for (int x = 0; x < 21; ++x) EXPECT_EQ(c.get(x, 1), x < 3 || x > 17) << x;
    c.span(-1, 0, 20);
    c.span(3, 0, 20);
    c.span(0, 15, 4);  // empty
    EXPECT_EQ(c.count(), 21 - 15);
}

TEST(Canvas, PolygonFillCoversItsArea) {
    Canvas c(50, 50);
    c.fill_polygon({{10, 10}, {30, 10}, {30, 25}, {10, 25}});
    EXPECT_EQ(c.count(), 20 * 15);
    Canvas t(100, 100);
    t.fill_polygon({{10, 10}, {90, 20}, {40, 85}});
    double area = 0.5 * std::fabs((90 - 10) * (85 - 10) - (40 - 10) * (20 - 10));
    EXPECT_NEAR(t.count(), area, 0.03 * area);
}

TEST(Canvas, RecordsTheVectorsItDraws) {
    Canvas c(100, 100);
    c.thick_line(1, 2, 30, 40, 3);
    c.circle(50, 50, 20, 4);
    c.set_recording(false);
    c.thick_line(0, 0, 10, 10, 2);
    ASSERT_EQ(c.primitives().size(), 2u);
    const ktvdraw::Primitive &l = c.primitives()[0], &a = c.primitives()[1];
    EXPECT_EQ(l.kind, ktvdraw::Primitive::Line);
    EXPECT_EQ(l.x1, 30);
    EXPECT_EQ(l.width, 3);
    EXPECT_EQ(a.kind, ktvdraw::Primitive::Arc);
    EXPECT_NEAR(a.a1 - a.a0, 2 * kPi, 1e-12);
    EXPECT_EQ(a.r, 20);
}

TEST(Canvas, EveryFontCharacterDrawsAndUnknownOnesOnlyAdvance) {
    const std::string known = "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ-+=/.,:()%";
    for (char ch : known) {
        Canvas c(40, 40);
        c.text(5, 30, 18, std::string(1, ch), 2);
        EXPECT_GE(c.count(), 4) << ch;  // a dot is one 2-px disc
    }
    Canvas c(40, 40);
    EXPECT_DOUBLE_EQ(c.text(5, 30, 18, "~?", 2), 36);
    EXPECT_EQ(c.count(), 0);
}

TEST(Canvas, RoughenKeepsTwoPixelStrokesWholeAndOnlyTouchesBorders) {
    Canvas c(300, 40);
    c.thick_line(10, 10, 290, 10, 2);  // rows 9 and 10
    c.thick_line(10, 25.5, 290, 25.5, 7);
    Canvas before = c;
    c.roughen(3, 0.5);
    int changed = 0;
    for (int y = 0; y < 40; ++y)
        for (int x = 0; x < 300; ++x) {
            if (c.get(x, y) == before.get(x, y)) continue;
            ++changed;
            bool border = false;  // a 4-neighbour of the opposite colour
            const int d[4][2] = {{1, 0}, {-1, 0}, {0, 1}, {0, -1}};
            for (auto &s : d) border |= before.get(x + s[0], y + s[1]) != before.get(x, y);
            EXPECT_TRUE(border) << x << "," << y;
        }
    EXPECT_GT(changed, 100);
    for (int x = 10; x < 290; ++x) EXPECT_TRUE(c.get(x, 9) || c.get(x, 10)) << x;
}

TEST(Drawing, SameSeedSameSheetOtherSeedOtherSheet) {
    ktvdraw::DrawingOptions opt;
    opt.dpi = 150;
    Canvas a = ktvdraw::render_drawing(1240, 877, 5, opt);
    Canvas b = ktvdraw::render_drawing(1240, 877, 5, opt);
    Canvas d = ktvdraw::render_drawing(1240, 877, 6, opt);
    EXPECT_EQ(a.bits(), b.bits());
    EXPECT_NE(a.bits(), d.bits());
    double ink = (double)a.count() / (1240.0 * 877.0);
    EXPECT_GT(ink, 0.01);
    EXPECT_LT(ink, 0.15);
}

TEST(Drawing, StrideAndTinyPagesAreSafe) {
    ktvdraw::DrawingOptions opt;
    opt.stride = 40;
    opt.record = true;
    Canvas a = ktvdraw::render_drawing(300, 200, 1, opt);
    EXPECT_EQ(a.stride(), 40);
    EXPECT_TRUE(padding_clear(a));
    EXPECT_FALSE(a.primitives().empty());
    for (int w : {0, 1, 7, 9})
        for (int h : {0, 1, 5}) {
            Canvas t = ktvdraw::render_drawing(w, h, 1);
            EXPECT_TRUE(padding_clear(t));
        }
}

TEST(ZhangSuen, WordParallelSweepEqualsThePerPixelOne) {
    ktvdraw::Rng rng(21);
    for (int trial = 0; trial < 12; ++trial) {
        int w = 60 + trial * 7, h = 50;  // crosses one and two word boundaries
        Canvas c(w, h, (w + 7) / 8 + trial % 3);
        for (int k = 0; k < 6; ++k)
            c.thick_line(rng.uniform(0, w), rng.uniform(0, h), rng.uniform(0, w),
                         rng.uniform(0, h), rng.range(2, 9));
        c.roughen(trial, 0.3);
        std::vector<unsigned char> img((std::size_t)w * h);
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) img[y * w + x] = c.get(x, y);
        std::vector<unsigned char> want = scalar_zhang_suen(img, w, h);
        ktvdraw::ZhangSuen z;
        z.load(c.data(), w, h, c.stride());
        z.run();
        Canvas out(w, h, c.stride());
        z.store(out.data(), out.stride());
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x)
                ASSERT_EQ(out.get(x, y), want[y * w + x] != 0) << trial << ": " << x << "," << y;
        EXPECT_TRUE(padding_clear(out));
    }
}

#if defined(KTVEC_HAVE_IMAGEFILE)
TEST(ImageFile, PbmRoundTripRepacksRows) {
    Canvas c(13, 5, 4);
    c.thick_line(0, 2.5, 13, 2.5, 1);
    c.set(12, 4);
    std::string path = ::testing::TempDir() + "ktvec_drawing_test.pbm";
    ASSERT_EQ(ktvdraw::write_pbm(path, 13, 5, c.stride(), c.data()), "");
    ktvdraw::PackedImage img;
    ASSERT_EQ(ktvdraw::read_pbm(path, img), "");
    EXPECT_EQ(img.width, 13);
    EXPECT_EQ(img.stride, 2);
    for (int y = 0; y < 5; ++y)
        for (int x = 0; x < 13; ++x)
            EXPECT_EQ((img.bits[y * 2 + x / 8] >> (7 - x % 8)) & 1, c.get(x, y) ? 1 : 0);
    std::FILE *f = std::fopen(path.c_str(), "wb");
    std::fputs("P4\n13 5\n\x01", f);
    std::fclose(f);
    EXPECT_NE(ktvdraw::read_pbm(path, img), "");
    std::remove(path.c_str());
}

TEST(ImageFile, PngRoundTripKeepsEveryPixel) {
    Canvas c = ktvdraw::render_drawing(203, 77, 4);  // odd width: a partial last byte
    std::string path = ::testing::TempDir() + "ktvec_drawing_test.png";
    ASSERT_EQ(ktvdraw::write_png(path, 203, 77, c.stride(), c.data()), "");
    ktvdraw::PackedImage img;
    ASSERT_EQ(ktvdraw::read_image(path, img), "");
    ASSERT_EQ(img.width, 203);
    ASSERT_EQ(img.height, 77);
    EXPECT_EQ(img.bits, c.bits());
    std::FILE *f = std::fopen(path.c_str(), "r+b");
    std::fseek(f, 40, SEEK_SET);
    std::fputs("garbage", f);
    std::fclose(f);
    EXPECT_NE(ktvdraw::read_png(path, img), "");
    std::remove(path.c_str());
}
#endif

#else  // the generator is not part of this build

TEST(Drawing, Unavailable) { GTEST_SKIP() << "built without the test kit"; }

#endif
