// Synthetic technical drawings: a 1-bit canvas with thick-stroke
// rasterisation, a stroke font, and a page generator that lays out a sheet
// (frame, title block, part views, centre lines, hatching, dimensions, text,
// scanner noise) deterministically from a seed.
//
// Coordinates are continuous page coordinates in pixels, x to the right and
// y downwards; pixel (x, y) covers the square [x, x+1) x [y, y+1) and is
// black when its centre (x + 0.5, y + 0.5) lies strictly inside the shape.
// A vector node at integer pixel (x, y) therefore corresponds to the page
// point (x + 0.5, y + 0.5).  Angles are in radians and grow clockwise on the
// page (y down): a point at angle a on a circle is (cx + r cos a, cy + r sin a).
//
// The bitmap is packed 1 bit per pixel, 1 = black, most significant bit =
// leftmost pixel, rows of `stride` bytes (at least ceil(width / 8)); padding
// bits and bytes stay 0.
#ifndef KTVEC_TESTKIT_DRAWING_H
#define KTVEC_TESTKIT_DRAWING_H

#include <cstdint>
#include <string>
#include <vector>

namespace ktvdraw {

struct Point {
    double x = 0, y = 0;
};

// One vector primitive the canvas drew: the ground truth of the drawing.
struct Primitive {
    enum Kind { Line, Arc, Polygon };
    Kind kind = Line;
    double width = 0;                 // stroke width, px (0 for filled polygons)
    double x0 = 0, y0 = 0, x1 = 0, y1 = 0;  // Line: end points (centre line)
    double cx = 0, cy = 0, r = 0;     // Arc: centre and radius of the centre line
    double a0 = 0, a1 = 0;            // Arc: start and end angle, a0 < a1,
                                      // a1 - a0 <= 2 pi (2 pi = full circle)
    std::vector<Point> points;        // Polygon: vertices (even-odd fill)
};

// Deterministic generator (splitmix64); identical sequences on every platform.
class Rng {
public:
    explicit Rng(std::uint64_t seed) : state_(seed) {}
    std::uint64_t next();
    double uniform(double lo, double hi);   // [lo, hi)
    int range(int lo, int hi);              // [lo, hi], inclusive
    bool chance(double p);

private:
    std::uint64_t state_;
};

class Canvas {
public:
    // stride 0 packs rows without padding: ceil(width / 8) bytes.
    Canvas(int width, int height, int stride = 0);

    int width() const { return width_; }
    int height() const { return height_; }
    int stride() const { return stride_; }
    unsigned char *data() { return bits_.data(); }
    const unsigned char *data() const { return bits_.data(); }
    const std::vector<unsigned char> &bits() const { return bits_; }
    std::vector<unsigned char> take_bits() { return std::move(bits_); }

    bool get(int x, int y) const;          // false outside the page
    void set(int x, int y, bool black = true);
    // Pixels xa..xb (inclusive) of row y, clipped to the page.
    void span(int y, int xa, int xb, bool black = true);
    long count() const;                    // black pixels

    // Ground truth: every primitive drawn while recording is on.
    const std::vector<Primitive> &primitives() const { return primitives_; }
    void set_recording(bool on) { recording_ = on; }
    void clear_primitives() { primitives_.clear(); }

    // Ink: black by default; white ink erases (text backgrounds, gaps).
    void set_ink(bool black) { ink_ = black; }

    // Stroke of the given width round the straight segment, round caps.
    void thick_line(double x0, double y0, double x1, double y1, double width);
    // Stroke along a circular arc from angle a0 to a1 (a1 > a0), round caps.
    void thick_arc(double cx, double cy, double r, double a0, double a1, double width);
    void circle(double cx, double cy, double r, double width);
    void disc(double cx, double cy, double r);
    void fill_polygon(const std::vector<Point> &polygon);
    // A dashed or dash-dot line: `pattern` alternates drawn and skipped
    // lengths in px (e.g. {24, 6, 2, 6} for a centre line).
    void pattern_line(double x0, double y0, double x1, double y1, double width,
                      const std::vector<double> &pattern);
    void pattern_arc(double cx, double cy, double r, double a0, double a1, double width,
                     const std::vector<double> &pattern);
    // Parallel lines at `angle` every `spacing` px, clipped to a convex polygon.
    void hatch(const std::vector<Point> &convex, double spacing, double angle, double width);
    // Arrowhead with its tip at (tx, ty), pointing away from (fx, fy).
    void arrow_head(double tx, double ty, double fx, double fy, double length, double half_width);
    // Stroke-font text: capitals, digits and a few signs (lower case is drawn
    // as upper case; '%' is the diameter sign).  (x, y) is the bottom left of
    // the first character; `angle` turns the baseline.  Returns the advance.
    double text(double x, double y, double height, const std::string &s, double width,
                double angle = 0);
    static double text_length(double height, const std::string &s);

    // Scanner noise: flips a share `probability` of the pixels on stroke
    // borders (white pixels touching ink turn black, black border pixels
    // next to a stroke interior turn white), so edges become jagged without
    // breaking two-pixel strokes.
    void roughen(std::uint64_t seed, double probability);
    // Small isolated blobs of 1 to `maxsize` px across on white areas.
    void specks(std::uint64_t seed, int count, int maxsize);

private:
    void capsule(double ax, double ay, double bx, double by, double r);
    void record(const Primitive &p) {
        if (recording_) primitives_.push_back(p);
    }

    int width_, height_, stride_;
    std::vector<unsigned char> bits_;
    std::vector<Primitive> primitives_;
    bool recording_ = true;
    bool ink_ = true;
};

struct DrawingOptions {
    double dpi = 300;        // sets the physical scale of widths and parts
    int stride = 0;          // row stride in bytes, 0 = packed
    bool noise = true;       // jagged borders and specks
    double roughness = 0.12; // share of border pixels flipped
    bool record = false;     // keep the primitive list (costs memory on A0)
};

// A whole sheet: frame with zone marks, title block, part views with thick
// outlines, holes with dash-dot centre lines, fillets, slots, hatched
// sections, dimension lines with arrows and stroke-font text.
Canvas render_drawing(int width, int height, std::uint64_t seed,
                      const DrawingOptions &options = DrawingOptions());

// Standard sheets.
struct PageSize {
    const char *name;
    int width, height;
    double dpi;
};
constexpr PageSize kPageA4{"A4", 2480, 3508, 300};   // 210 x 297 mm at 300 dpi
constexpr PageSize kPageA0{"A0", 13244, 18724, 400}; // 841 x 1189 mm at 400 dpi

}  // namespace ktvdraw

#endif
