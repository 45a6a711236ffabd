// Composite shapes of the canvas (hatching, dash patterns, rotated text,
// specks), the sheet's stroke widths, PBM headers, and the reference
// thinning at word and padding boundaries.
#include <gtest/gtest.h>

#if __has_include("drawing.h")

#include <cmath>
#include <cstdio>
#include <string>

#include "drawing.h"
#include "zhangsuen.h"
#if defined(KTVEC_HAVE_IMAGEFILE)
#include "imagefile.h"
#endif

using ktvdraw::Canvas;
using ktvdraw::Point;

namespace {
constexpr double kPi = 3.14159265358979323846;

// Ink runs along row y between x0 and x1.
int runs_on_row(const Canvas &c, int y, int x0, int x1) {
    int runs = 0;
    for (int x = x0; x <= x1; ++x) runs += c.get(x, y) && !c.get(x - 1, y);
    return runs;
}

void bounding_box(const Canvas &c, int &x0, int &y0, int &x1, int &y1) {
    x0 = y0 = 1 << 30;
    x1 = y1 = -1;
    for (int y = 0; y < c.height(); ++y)
        for (int x = 0; x < c.width(); ++x)
            if (c.get(x, y)) {
                x0 = std::min(x0, x); x1 = std::max(x1, x);
                y0 = std::min(y0, y); y1 = std::max(y1, y);
            }
}
}  // namespace

TEST(Shapes, HatchingStaysInsideItsPolygonAtItsSpacing) {
    Canvas c(200, 200);
    const double w = 2, spacing = 10;
    c.hatch({{40, 40}, {160, 40}, {160, 140}, {40, 140}}, spacing, 0, w);  // horizontal lines
    for (int y = 0; y < 200; ++y)
        for (int x = 0; x < 200; ++x)
            if (c.get(x, y)) {
                ASSERT_GE(x + 0.5, 40 - w / 2) << x << "," << y;
                ASSERT_LE(x + 0.5, 160 + w / 2) << x << "," << y;
                ASSERT_GE(y + 0.5, 40) << x << "," << y;
                ASSERT_LE(y + 0.5, 140) << x << "," << y;
            }
    // a vertical scan crosses one line per spacing
    int lines = 0;
    for (int y = 0; y < 200; ++y) lines += c.get(100, y) && !c.get(100, y - 1);
    EXPECT_EQ(lines, 10);
}

TEST(Shapes, DashDotPatternRepeatsAlongTheLine) {
    Canvas c(400, 20);
    // 30 drawn, 10 gap, 2 dot, 10 gap: period 52 over 312 px = 6 dashes and 6 dots
    c.pattern_line(40, 10, 352, 10, 2, {30, 10, 2, 10});
    EXPECT_EQ(runs_on_row(c, 9, 0, 399), 12);
    EXPECT_TRUE(c.get(40, 9));
    EXPECT_TRUE(c.get(68, 9));
    EXPECT_FALSE(c.get(75, 9));  // inside the first gap
    Canvas a(200, 200);
    a.pattern_arc(100, 100, 60, 0, 2 * kPi, 3, {20, 8});
    EXPECT_EQ(a.primitives().size(), 14u);  // 377 px of circle / 28 px period, rounded up
}

TEST(Shapes, TextRunsAlongItsBaselineAngle) {
    Canvas h(300, 300), v(300, 300);
    h.text(50, 150, 20, "KT-42", 2);
    v.text(150, 250, 20, "KT-42", 2, -kPi / 2);  // reading upwards
    int x0, y0, x1, y1;
    bounding_box(h, x0, y0, x1, y1);
    EXPECT_GT(x1 - x0, 3 * (y1 - y0));
    EXPECT_LE(y1, 151);
    bounding_box(v, x0, y0, x1, y1);
    EXPECT_GT(y1 - y0, 3 * (x1 - x0));
    EXPECT_LE(x1, 151);  // the glyphs rise to the left of an upward baseline
    EXPECT_DOUBLE_EQ(Canvas::text_length(20, "KT-42"), 100);
}

TEST(Shapes, SpecksLandOnWhiteOnly) {
    Canvas c(300, 300);
    c.thick_line(0, 150, 300, 150, 9);
    Canvas before = c;
    c.specks(8, 40, 4);
    int added = 0;
    for (int y = 0; y < 300; ++y)
        for (int x = 0; x < 300; ++x) {
            if (c.get(x, y) == before.get(x, y)) continue;
            ASSERT_TRUE(c.get(x, y));  // specks only add ink
            ++added;
            for (int dy = -3; dy <= 3; ++dy) ASSERT_FALSE(before.get(x, y + dy)) << x << "," << y;
        }
    EXPECT_GT(added, 40);
    EXPECT_TRUE(c.primitives().size() == 1);  // noise is not recorded
}

TEST(Shapes, SheetStrokesStayOnThePageWithWidthsTwoToNine) {
    ktvdraw::DrawingOptions opt;
    opt.record = true;
    opt.dpi = 300;
    Canvas c = ktvdraw::render_drawing(2480, 3508, 3, opt);
    double lo = 1e9, hi = 0;
    for (const ktvdraw::Primitive &p : c.primitives()) {
        if (p.kind == ktvdraw::Primitive::Polygon) continue;
        lo = std::min(lo, p.width);
        hi = std::max(hi, p.width);
        if (p.kind == ktvdraw::Primitive::Line) {
            EXPECT_GE(std::min(p.x0, p.x1), 0);
            EXPECT_LE(std::max(p.x0, p.x1), 2480);
            EXPECT_GE(std::min(p.y0, p.y1), 0);
            EXPECT_LE(std::max(p.y0, p.y1), 3508);
        }
    }
    EXPECT_EQ(lo, 2);
    EXPECT_GE(hi, 7);
    EXPECT_LE(hi, 9);
}

TEST(Shapes, RngRangesAreInclusiveAndUniformIsHalfOpen) {
    ktvdraw::Rng r(1);
    bool low = false, high = false;
    for (int i = 0; i < 2000; ++i) {
        int v = r.range(-2, 3);
        ASSERT_GE(v, -2);
        ASSERT_LE(v, 3);
        low |= v == -2;
        high |= v == 3;
        double u = r.uniform(5, 6);
        ASSERT_GE(u, 5);
        ASSERT_LT(u, 6);
    }
    EXPECT_TRUE(low && high);
    EXPECT_EQ(r.range(4, 4), 4);
    EXPECT_EQ(ktvdraw::Rng(9).next(), ktvdraw::Rng(9).next());
}

TEST(ZhangSuen, EdgeRastersAndPaddingBits) {
    // empty, a lone pixel, a 3x3 block, bars ending exactly on word boundaries
    for (int w : {1, 63, 64, 65, 128}) {
        Canvas c(w, 9, (w + 7) / 8 + 1);
        ktvdraw::ZhangSuen z;
        z.load(c.data(), w, 9, c.stride());
        EXPECT_EQ(z.run(), 1);
        EXPECT_EQ(z.count(), 0);
        c.span(4, 0, w - 1);
        c.span(3, 0, w - 1);
        for (int y = 0; y < 9; ++y) c.data()[(std::size_t)y * c.stride() + c.stride() - 1] = 0xFF;
        z.load(c.data(), w, 9, c.stride());  // the padding byte must read as white
        z.run();
        Canvas out(w, 9, c.stride());
        z.store(out.data(), out.stride());
        for (int y = 0; y < 9; ++y)
            EXPECT_EQ(out.data()[(std::size_t)y * out.stride() + out.stride() - 1], 0) << w;
        EXPECT_LE(z.count(), std::max(w, 2)) << w;  // one pixel per column (a 1x2 bar stays)
        EXPECT_GE(z.count(), w >= 3 ? 1 : 0) << w;
    }
    Canvas b(5, 5);
    b.span(1, 1, 3);
    b.span(2, 1, 3);
    b.span(3, 1, 3);
    ktvdraw::ZhangSuen z;
    z.load(b.data(), 5, 5, b.stride());
    z.run();
    EXPECT_EQ(z.count(), 1);  // a square shrinks to its centre
}

#if defined(KTVEC_HAVE_IMAGEFILE)
TEST(ImageFile, PbmHeadersWithCommentsAndPlainData) {
    std::string path = ::testing::TempDir() + "ktvec_shapes_test.pbm";
    std::FILE *f = std::fopen(path.c_str(), "wb");
    std::fputs("P1\n# made by hand\n3 # width\n2\n1 0 1\n0 1 0\n", f);
    std::fclose(f);
    ktvdraw::PackedImage img;
    ASSERT_EQ(ktvdraw::read_pbm(path, img), "");
    ASSERT_EQ(img.width, 3);
    ASSERT_EQ(img.height, 2);
    EXPECT_EQ(img.bits[0], 0xA0);
    EXPECT_EQ(img.bits[1], 0x40);
    f = std::fopen(path.c_str(), "wb");
    std::fputs("P2\n3 2\n", f);
    std::fclose(f);
    EXPECT_NE(ktvdraw::read_pbm(path, img), "");
    std::remove(path.c_str());
}
#endif

#endif
