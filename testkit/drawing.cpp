// The sheet generator: lays out a technical drawing on a canvas from a seed.
// Sizes are chosen in millimetres and converted with the sheet's dpi, so an
// A4 at 300 dpi and an A0 at 400 dpi look like the same kind of drawing.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>

#include "drawing.h"
#include "vectorizer/geometry.h"

namespace ktvdraw {

namespace {
using ktv::kPi;

struct Box {
    double x0, y0, x1, y1;
    double w() const { return x1 - x0; }
    double h() const { return y1 - y0; }
    double cx() const { return (x0 + x1) / 2; }
    double cy() const { return (y0 + y1) / 2; }
};

std::string number(double v) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%d", (int)std::lround(v));
    return buf;
}

class Sheet {
public:
    Sheet(Canvas &c, std::uint64_t seed, double dpi)
        : c_(c), rng_(seed), mm_(dpi / 25.4) {
        thick_ = width_mm(0.5, 0.75, 3);
        thin_ = width_mm(0.18, 0.25, 2);
        letter_ = width_mm(0.25, 0.35, 2);
    }

    void draw() {
        Box frame{20 * mm_, 10 * mm_, c_.width() - 10 * mm_, c_.height() - 10 * mm_};
        if (frame.w() < 60 * mm_ || frame.h() < 60 * mm_)  // tiny page: no margins
            frame = Box{2 * thick_, 2 * thick_, c_.width() - 2 * thick_, c_.height() - 2 * thick_};
        draw_frame(frame);
        double tb_h = std::min(36 * mm_, frame.h() / 4);
        Box title{std::max(frame.x0, frame.x1 - 180 * mm_), frame.y1 - tb_h, frame.x1, frame.y1};
        draw_title_block(title);
        draw_notes(Box{frame.x0, title.y0, title.x0, frame.y1});
        Box views{frame.x0 + 4 * mm_, frame.y0 + 4 * mm_, frame.x1 - 4 * mm_, title.y0 - 4 * mm_};
        int cols = std::max(1, (int)(views.w() / (70 * mm_)));
        int rows = std::max(1, (int)(views.h() / (70 * mm_)));
        for (int r = 0; r < rows; ++r)
            for (int k = 0; k < cols; ++k) {
                Box cell{views.x0 + views.w() * k / cols, views.y0 + views.h() * r / rows,
                         views.x0 + views.w() * (k + 1) / cols,
                         views.y0 + views.h() * (r + 1) / rows};
                draw_view(cell);
            }
    }

private:
    // A stroke width of lo..hi mm, at least `least` px, at most 9 px.
    double width_mm(double lo, double hi, int least) {
        return std::clamp(std::round(rng_.uniform(lo, hi) * mm_), (double)least, 9.0);
    }
    // Per-view variation of the outline width (2..9 px overall).
    double vary(double w) { return std::clamp(w + rng_.range(-1, 1), 2.0, 9.0); }
    // Hatching is the finest line of a sheet.
    double hatch_width() const { return std::max(2.0, thin_ - 1); }

    void rect(const Box &b, double w) {
        c_.thick_line(b.x0, b.y0, b.x1, b.y0, w);
        c_.thick_line(b.x1, b.y0, b.x1, b.y1, w);
        c_.thick_line(b.x1, b.y1, b.x0, b.y1, w);
        c_.thick_line(b.x0, b.y1, b.x0, b.y0, w);
    }

    void rounded_rect(const Box &b, double r, double w) {
        r = std::min(r, std::min(b.w(), b.h()) / 2);
        c_.thick_line(b.x0 + r, b.y0, b.x1 - r, b.y0, w);
        c_.thick_line(b.x1, b.y0 + r, b.x1, b.y1 - r, w);
        c_.thick_line(b.x1 - r, b.y1, b.x0 + r, b.y1, w);
        c_.thick_line(b.x0, b.y1 - r, b.x0, b.y0 + r, w);
        c_.thick_arc(b.x1 - r, b.y0 + r, r, -kPi / 2, 0, w);
        c_.thick_arc(b.x1 - r, b.y1 - r, r, 0, kPi / 2, w);
        c_.thick_arc(b.x0 + r, b.y1 - r, r, kPi / 2, kPi, w);
        c_.thick_arc(b.x0 + r, b.y0 + r, r, kPi, 1.5 * kPi, w);
    }

    std::vector<double> centre_pattern() const { return {12 * mm_, 2 * mm_, 1 * mm_, 2 * mm_}; }

    // Dash-dot cross through a circle's centre, reaching `over` beyond it.
    void centre_cross(double cx, double cy, double r, double over) {
        double e = r + over;
        c_.pattern_line(cx - e, cy, cx + e, cy, thin_, centre_pattern());
        c_.pattern_line(cx, cy - e, cx, cy + e, thin_, centre_pattern());
    }

    void text_centred(double x, double y, double height, const std::string &s, double angle = 0) {
        double len = Canvas::text_length(height, s) - height / 3;  // last gap
        c_.text(x - std::cos(angle) * len / 2, y - std::sin(angle) * len / 2, height, s, letter_,
                angle);
    }

    // Linear dimension between feature points a and b, measured across the
    // unit normal (nx, ny): the dimension line lies `off` beyond the farther
    // of the two points, extension lines run out to it, two arrows, and the
    // value text on the far side of the line.
    void dimension(Point a, Point b, double nx, double ny, double off, const std::string &label) {
        double gap = rng_.chance(0.5) ? 1.5 * mm_ : 0;  // some touch the outline (T-junctions)
        double over = 2 * mm_;
        double da = a.x * nx + a.y * ny, db = b.x * nx + b.y * ny;
        double level = std::max(da, db) + off;
        Point p{a.x + nx * (level - da), a.y + ny * (level - da)};
        Point q{b.x + nx * (level - db), b.y + ny * (level - db)};
        c_.thick_line(a.x + nx * gap, a.y + ny * gap, p.x + nx * over, p.y + ny * over, thin_);
        c_.thick_line(b.x + nx * gap, b.y + ny * gap, q.x + nx * over, q.y + ny * over, thin_);
        c_.thick_line(p.x, p.y, q.x, q.y, thin_);
        c_.arrow_head(p.x, p.y, q.x, q.y, 3 * mm_, 0.6 * mm_);
        c_.arrow_head(q.x, q.y, p.x, p.y, 3 * mm_, 0.6 * mm_);
        double len = std::hypot(q.x - p.x, q.y - p.y);
        if (len <= 0) return;
        double ux = (q.x - p.x) / len, uy = (q.y - p.y) / len;
        if (ux < -1e-9 || (std::fabs(ux) <= 1e-9 && uy > 0)) { ux = -ux; uy = -uy; }
        // The glyphs rise towards -(v), v = (-uy, ux); lift the baseline that way.
        double lift = 1.2 * mm_;
        double mx = (p.x + q.x) / 2 + uy * lift, my = (p.y + q.y) / 2 - ux * lift;
        text_centred(mx, my, 3.5 * mm_, label, std::atan2(uy, ux));
    }

    // Leader from a circle at angle `a` outwards with a shoulder and a label.
    void leader(double cx, double cy, double r, double a, const std::string &label) {
        double tx = cx + r * std::cos(a), ty = cy + r * std::sin(a);
        double ex = cx + (r + 10 * mm_) * std::cos(a), ey = cy + (r + 10 * mm_) * std::sin(a);
        c_.thick_line(tx, ty, ex, ey, thin_);
        c_.arrow_head(tx, ty, ex, ey, 3 * mm_, 0.6 * mm_);
        double dir = std::cos(a) >= 0 ? 1 : -1;
        double len = Canvas::text_length(3.5 * mm_, label);
        c_.thick_line(ex, ey, ex + dir * len, ey, thin_);
        c_.text(dir > 0 ? ex + 0.5 * mm_ : ex - len, ey - 1.2 * mm_, 3.5 * mm_, label, letter_);
    }

    void draw_frame(const Box &f) {
        rect(f, thick_);
        // zone marks: ticks from the frame into the margin, letters/numbers between
        double zone = 50 * mm_;
        int nx = std::max(1, (int)std::lround(f.w() / zone)), ny = std::max(1, (int)std::lround(f.h() / zone));
        double tick = std::min(5 * mm_, f.y0 * 0.6);
        if (tick < 3 * thin_) return;
        for (int i = 1; i < nx; ++i) {
            double x = f.x0 + f.w() * i / nx;
            c_.thick_line(x, f.y0, x, f.y0 - tick, thin_);
            c_.thick_line(x, f.y1, x, f.y1 + tick, thin_);
        }
        for (int i = 1; i < ny; ++i) {
            double y = f.y0 + f.h() * i / ny;
            c_.thick_line(f.x0, y, f.x0 - tick, y, thin_);
            c_.thick_line(f.x1, y, f.x1 + tick, y, thin_);
        }
        double th = std::min(3.5 * mm_, tick * 0.7);
        for (int i = 0; i < nx; ++i) {
            double x = f.x0 + f.w() * (i + 0.5) / nx;
            text_centred(x, f.y0 - (tick - th) / 2, th, number(i + 1));
        }
        for (int i = 0; i < ny && i < 26; ++i) {
            double y = f.y0 + f.h() * (i + 0.5) / ny;
            text_centred(f.x1 + tick / 2 + th / 3, y + th / 2, th, std::string(1, (char)('A' + i)));
        }
    }

    void draw_title_block(const Box &t) {
        double w = vary(thick_);
        c_.thick_line(t.x0, t.y0, t.x1, t.y0, w);
        c_.thick_line(t.x0, t.y0, t.x0, t.y1, w);
        int rows = 4;
        double rh = t.h() / rows;
        for (int i = 1; i < rows; ++i) c_.thick_line(t.x0, t.y0 + rh * i, t.x1, t.y0 + rh * i, thin_);
        double split1 = t.x0 + t.w() * 0.45, split2 = t.x0 + t.w() * 0.72;
        c_.thick_line(split1, t.y0, split1, t.y1, thin_);
        c_.thick_line(split2, t.y0 + rh, split2, t.y1, thin_);
        char id[32];
        std::snprintf(id, sizeof id, "KT-%04d-%03d", rng_.range(1000, 9999), rng_.range(1, 999));
        const std::string left[4] = {"KTVEC TEST SHEET", "DRAWN JD  2026-12-05", "CHECKED AB",
                                     "MATERIAL S235JR"};
        const std::string mid[4] = {id, "SCALE 1:2", "WEIGHT 2.4", "ISO 2768-M"};
        const std::string right[3] = {"SHEET 1/1", "REV B", "ISO 128"};
        double th = std::min(rh * 0.5, 3.5 * mm_), big = std::min(rh * 0.6, 4.5 * mm_);
        double pad = 2 * mm_;
        for (int i = 0; i < rows; ++i) {
            double base = t.y0 + rh * (i + 1) - (rh - (i == 0 ? big : th)) / 2;
            c_.text(t.x0 + pad, base, i == 0 ? big : th, left[i], letter_);
            c_.text(split1 + pad, base, i == 0 ? big : th, mid[i], letter_);
            if (i > 0) c_.text(split2 + pad, base, th, right[i - 1], letter_);
        }
    }

    void draw_notes(const Box &b) {
        if (b.w() < 60 * mm_) return;
        const std::string lines[] = {"NOTES:", "1. ALL DIMENSIONS IN MM",
                                     "2. BREAK SHARP EDGES 0.5X45", "3. UNTOLERANCED +-0.2"};
        std::size_t longest = 0;
        for (const std::string &s : lines) longest = std::max(longest, s.size());
        double th = std::min(3.5 * mm_, (b.w() - 6 * mm_) / (double)longest);
        double y = b.y0 + 2 * mm_ + th;
        for (const std::string &s : lines) {
            if (y > b.y1 - mm_) break;
            c_.text(b.x0 + 3 * mm_, y, th, s, letter_);
            y += th * 1.6;
        }
    }

    void draw_view(const Box &cell) {
        // keep room for dimensions round the part
        Box inner{cell.x0 + 14 * mm_, cell.y0 + 16 * mm_, cell.x1 - 16 * mm_, cell.y1 - 10 * mm_};
        if (inner.w() < 20 * mm_ || inner.h() < 20 * mm_) return;
        switch (rng_.range(0, 3)) {
        case 0: plate(inner); break;
        case 1: shaft(inner); break;
        case 2: flange(inner); break;
        default: bracket(inner); break;
        }
    }

    // Plate with rounded corners, holes with centre lines, optionally a
    // hatched rib section and a slot; overall dimensions.
    void plate(const Box &in) {
        double w = vary(thick_);
        double pw = in.w() * rng_.uniform(0.55, 0.8), ph = in.h() * rng_.uniform(0.45, 0.7);
        Box p{in.cx() - pw / 2, in.cy() - ph / 2, in.cx() + pw / 2, in.cy() + ph / 2};
        rounded_rect(p, rng_.uniform(2, 8) * mm_, w);
        int holes = rng_.range(1, 4);
        double hr = std::min(ph, pw / holes) * rng_.uniform(0.12, 0.2);
        for (int i = 0; i < holes; ++i) {
            double hx = p.x0 + pw * (i + 0.5) / holes, hy = p.y0 + ph * 0.35;
            c_.circle(hx, hy, hr, w);
            centre_cross(hx, hy, hr, 3 * mm_);
        }
        leader(p.x0 + pw * 0.5 / holes, p.y0 + ph * 0.35, hr, -kPi * 0.75, "%" + number(2 * hr / mm_));
        if (rng_.chance(0.5)) {
            // hatched section of a rib across the lower part
            Box rib{p.x0 + pw * 0.15, p.y0 + ph * 0.62, p.x0 + pw * 0.55, p.y0 + ph * 0.85};
            rect(rib, w);
            c_.hatch({{rib.x0, rib.y0}, {rib.x1, rib.y0}, {rib.x1, rib.y1}, {rib.x0, rib.y1}},
                     2.5 * mm_, rng_.chance(0.5) ? kPi / 4 : -kPi / 4, hatch_width());
        } else {
            // slot: two lines and two half circles, with its centre line
            double sy = p.y0 + ph * 0.72, sr = ph * 0.08;
            double sx0 = p.x0 + pw * 0.2, sx1 = p.x0 + pw * 0.6;
            c_.thick_line(sx0, sy - sr, sx1, sy - sr, w);
            c_.thick_line(sx0, sy + sr, sx1, sy + sr, w);
            c_.thick_arc(sx1, sy, sr, -kPi / 2, kPi / 2, w);
            c_.thick_arc(sx0, sy, sr, kPi / 2, 1.5 * kPi, w);
            c_.pattern_line(sx0 - sr - 3 * mm_, sy, sx1 + sr + 3 * mm_, sy, thin_, centre_pattern());
        }
        dimension({p.x0, p.y0}, {p.x1, p.y0}, 0, -1, 9 * mm_, number(pw / mm_));
        dimension({p.x1, p.y1}, {p.x1, p.y0}, 1, 0, 9 * mm_, number(ph / mm_));
    }

    // Stepped shaft along a dash-dot axis; one step shown in half section.
    void shaft(const Box &in) {
        double w = vary(thick_);
        int steps = rng_.range(3, 5);
        double total = in.w() * rng_.uniform(0.7, 0.95);
        double axis = in.cy(), x = in.cx() - total / 2;
        std::vector<double> xs{x}, ds, parts;
        double sum = 0;
        for (int i = 0; i < steps; ++i) {
            parts.push_back(rng_.uniform(0.6, 1.4));
            sum += parts.back();
            ds.push_back(in.h() * rng_.uniform(0.25, 0.8));
        }
        for (int i = 0; i < steps; ++i) {
            x += total * parts[i] / sum;
            xs.push_back(x);
        }
        double ch = std::min(1.5 * mm_, ds.front() / 6);  // chamfer at both ends
        for (int i = 0; i < steps; ++i) {
            double r = ds[i] / 2, xa = xs[i] + (i == 0 ? ch : 0), xb = xs[i + 1] - (i == steps - 1 ? ch : 0);
            c_.thick_line(xa, axis - r, xb, axis - r, w);
            c_.thick_line(xa, axis + r, xb, axis + r, w);
        }
        // end faces with chamfers, shoulders between steps
        double r0 = ds.front() / 2, rn = ds.back() / 2;
        c_.thick_line(xs.front(), axis - r0 + ch, xs.front(), axis + r0 - ch, w);
        c_.thick_line(xs.front(), axis - r0 + ch, xs.front() + ch, axis - r0, w);
        c_.thick_line(xs.front(), axis + r0 - ch, xs.front() + ch, axis + r0, w);
        c_.thick_line(xs.back(), axis - rn + ch, xs.back(), axis + rn - ch, w);
        c_.thick_line(xs.back(), axis - rn + ch, xs.back() - ch, axis - rn, w);
        c_.thick_line(xs.back(), axis + rn - ch, xs.back() - ch, axis + rn, w);
        for (int i = 1; i < steps; ++i) {
            double r = std::max(ds[i - 1], ds[i]) / 2;
            c_.thick_line(xs[i], axis - r, xs[i], axis + r, w);
        }
        int cut = rng_.range(0, steps - 1);
        double r = ds[cut] / 2;
        c_.hatch({{xs[cut], axis - r}, {xs[cut + 1], axis - r}, {xs[cut + 1], axis}, {xs[cut], axis}},
                 2.5 * mm_, kPi / 4, hatch_width());
        c_.thick_line(xs[cut], axis, xs[cut + 1], axis, w);
        c_.pattern_line(xs.front() - 4 * mm_, axis, xs.back() + 4 * mm_, axis, thin_, centre_pattern());
        double dmax = *std::max_element(ds.begin(), ds.end());
        dimension({xs.front(), axis + ds.front() / 2}, {xs.back(), axis + ds.back() / 2}, 0, 1,
                  (dmax - std::max(ds.front(), ds.back())) / 2 + 7 * mm_, number(total / mm_));
        dimension({xs.front(), axis + r0}, {xs.front(), axis - r0}, -1, 0, 7 * mm_,
                  "%" + number(ds.front() / mm_));
    }

    // Flange: outer circle, bore, dash-dot bolt circle with holes, centre lines.
    void flange(const Box &in) {
        double w = vary(thick_);
        double cx = in.cx(), cy = in.cy();
        double R = std::min(in.w(), in.h()) * rng_.uniform(0.32, 0.45);
        double rb = R * rng_.uniform(0.25, 0.4), pcd = (R + rb) / 2;
        c_.circle(cx, cy, R, w);
        c_.circle(cx, cy, rb, w);
        c_.pattern_arc(cx, cy, pcd, 0, 2 * kPi, thin_, centre_pattern());
        int n = rng_.range(3, 8);
        double hr = std::min((R - rb) * 0.22, pcd * std::sin(kPi / n) * 0.5);
        double start = rng_.uniform(0, kPi / n);
        for (int i = 0; i < n; ++i) {
            double a = start + 2 * kPi * i / n;
            double hx = cx + pcd * std::cos(a), hy = cy + pcd * std::sin(a);
            c_.circle(hx, hy, hr, w);
            // radial centre dash through the hole
            double e = hr + 2 * mm_;
            c_.thick_line(hx - std::cos(a) * e, hy - std::sin(a) * e, hx + std::cos(a) * e,
                          hy + std::sin(a) * e, thin_);
        }
        centre_cross(cx, cy, R, 4 * mm_);
        if (rng_.chance(0.5)) {
            // keyway in the bore: three lines and the bore arc left open
            double kw = rb * 0.35, kd = rb * 0.3;
            double a = std::asin(kw / rb);
            c_.set_ink(false);
            c_.thick_arc(cx, cy, rb, -kPi / 2 - a, -kPi / 2 + a, w + 2);
            c_.set_ink(true);
            double yk = cy - std::sqrt(rb * rb - kw * kw);
            c_.thick_line(cx - kw, yk, cx - kw, cy - rb - kd, w);
            c_.thick_line(cx + kw, yk, cx + kw, cy - rb - kd, w);
            c_.thick_line(cx - kw, cy - rb - kd, cx + kw, cy - rb - kd, w);
        }
        leader(cx, cy, R, -kPi / 4, "%" + number(2 * R / mm_));
    }

    // L-shaped bracket with a slanted edge, an inner fillet and two holes.
    void bracket(const Box &in) {
        double w = vary(thick_);
        double bw = in.w() * rng_.uniform(0.6, 0.85), bh = in.h() * rng_.uniform(0.6, 0.85);
        double t = std::min(bw, bh) * rng_.uniform(0.25, 0.35);
        double x0 = in.cx() - bw / 2, y0 = in.cy() - bh / 2, x1 = x0 + bw, y1 = y0 + bh;
        double fr = t * 0.5;               // inner fillet radius
        double slant = t * rng_.uniform(0.3, 0.8);  // the top of the upright leans
        c_.thick_line(x0, y1, x1, y1, w);                       // base bottom
        c_.thick_line(x1, y1, x1, y1 - t, w);                   // base end
        c_.thick_line(x1, y1 - t, x0 + t + fr, y1 - t, w);      // base top
        c_.thick_arc(x0 + t + fr, y1 - t - fr, fr, kPi / 2, kPi, w);
        c_.thick_line(x0 + t, y1 - t - fr, x0 + t, y0 + slant, w);  // upright inner
        c_.thick_line(x0 + t, y0 + slant, x0, y0, w);           // slanted top
        c_.thick_line(x0, y0, x0, y1, w);                       // upright outer
        double hr = t * 0.25;
        double hx = x0 + t + (bw - t) * 0.6, hy = y1 - t / 2;
        c_.circle(hx, hy, hr, w);
        c_.pattern_line(hx, hy - hr - 3 * mm_, hx, hy + hr + 3 * mm_, thin_, centre_pattern());
        double vx = x0 + t / 2, vy = y0 + (bh - t) * 0.45;
        c_.circle(vx, vy, hr, w);
        c_.pattern_line(vx - hr - 3 * mm_, vy, vx + hr + 3 * mm_, vy, thin_, centre_pattern());
        dimension({x0, y1}, {x1, y1}, 0, 1, 8 * mm_, number(bw / mm_));
        dimension({x0, y1}, {x0, y0}, -1, 0, 8 * mm_, number(bh / mm_));
    }

    Canvas &c_;
    Rng rng_;
    double mm_;
    double thick_, thin_, letter_;
};
}  // namespace

Canvas render_drawing(int width, int height, std::uint64_t seed, const DrawingOptions &options) {
    Canvas c(width, height, options.stride);
    c.set_recording(options.record);
    Sheet(c, seed, options.dpi > 0 ? options.dpi : 300).draw();
    if (options.noise) {
        c.roughen(seed ^ 0x5EEDu, options.roughness);
        double area_a4 = (double)width * height / (2480.0 * 3508.0);
        c.specks(seed ^ 0x5BECu, (int)std::lround(25 * area_a4) + 3, 4);
    }
    return c;
}

}  // namespace ktvdraw
