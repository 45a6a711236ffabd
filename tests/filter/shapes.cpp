#include "shapes.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include "qorfil2.h"

Bitmap run_filter(const Bitmap &in, Filter f, int option, int threads) {
    Bitmap out = in;
    std::fill(out.bits.begin(), out.bits.end(), (unsigned char)0xA5);
    std::vector<unsigned char> work(out.bits.size() + 1, 0x5A);
    CPenoDoc doc;
    doc.m_image = const_cast<unsigned char *>(in.bits.data());
    doc.m_width = in.width;
    doc.m_bytesperline = in.bytesperline;
    doc.m_height = in.height;
    doc.m_option = option;
    doc.m_threads = threads;
    switch (f) {
    case Filter::Skeleton: doc.mdeutschfilter(out.data(), work.data()); break;
    case Filter::Outline: doc.moutlinefilter(work.data(), out.data()); break;
    case Filter::OneSideOutline: doc.m1sideoutlinefilter(work.data(), out.data()); break;
    }
    return out;
}

void add_picture(std::vector<Picture> &list, const std::string &name, int w, int h, int pad,
                 const std::function<void(Bitmap &)> &draw) {
    Bitmap r(w, h, (w + 7) / 8 + pad);
    draw(r);
    fill_padding(r);
    list.push_back({name, r});
}

void draw_disk(Bitmap &r, double cx, double cy, double radius, bool black) {
    for (int y = (int)std::floor(cy - radius); y <= (int)std::ceil(cy + radius); ++y)
        for (int x = (int)std::floor(cx - radius); x <= (int)std::ceil(cx + radius); ++x) {
            const double dx = x + 0.5 - cx, dy = y + 0.5 - cy;
            if (dx * dx + dy * dy < radius * radius) r.set(x, y, black);
        }
}

void draw_ring(Bitmap &r, double cx, double cy, double inner, double outer) {
    draw_disk(r, cx, cy, outer, true);
    draw_disk(r, cx, cy, inner, false);
}

void draw_rect(Bitmap &r, int x0, int y0, int x1, int y1, bool black) {
    for (int y = y0; y <= y1; ++y)
        for (int x = x0; x <= x1; ++x) r.set(x, y, black);
}

void draw_line(Bitmap &r, double x0, double y0, double x1, double y1, double w, bool black) {
    const double rad = w / 2;
    const int xa = (int)std::floor(std::min(x0, x1) - rad), xb = (int)std::ceil(std::max(x0, x1) + rad);
    const int ya = (int)std::floor(std::min(y0, y1) - rad), yb = (int)std::ceil(std::max(y0, y1) + rad);
    const double vx = x1 - x0, vy = y1 - y0, len2 = vx * vx + vy * vy;
    for (int y = ya; y <= yb; ++y)
        for (int x = xa; x <= xb; ++x) {
            const double px = x + 0.5 - x0, py = y + 0.5 - y0;
            double t = len2 > 0 ? (px * vx + py * vy) / len2 : 0;
            t = std::max(0.0, std::min(1.0, t));
            const double dx = px - t * vx, dy = py - t * vy;
            if (dx * dx + dy * dy < rad * rad) r.set(x, y, black);
        }
}

void draw_blob(Bitmap &r, Lcg &rng, int disks) {
    double cx = r.width / 2.0, cy = r.height / 2.0;
    for (int i = 0; i < disks; ++i) {
        const double rad = rng.uniform(2, std::min(r.width, r.height) / 5.0);
        draw_disk(r, cx, cy, rad);
        cx = std::max(rad, std::min(r.width - rad, cx + rng.uniform(-rad, rad) * 1.5));
        cy = std::max(rad, std::min(r.height - rad, cy + rng.uniform(-rad, rad) * 1.5));
    }
}

void draw_letter(Bitmap &r, char c, double x, double y, double s, double w) {
    switch (c) {
    case 'A':
        draw_line(r, x, y + s, x + s / 2, y, w);
        draw_line(r, x + s / 2, y, x + s, y + s, w);
        draw_line(r, x + s / 4, y + s / 2, x + 3 * s / 4, y + s / 2, w);
        break;
    case 'B':
        draw_line(r, x, y, x, y + s, w);
        draw_line(r, x, y, x + s * 0.6, y, w);
        draw_line(r, x, y + s / 2, x + s * 0.6, y + s / 2, w);
        draw_line(r, x, y + s, x + s * 0.6, y + s, w);
        draw_line(r, x + s * 0.6, y, x + s * 0.75, y + s / 4, w);
        draw_line(r, x + s * 0.75, y + s / 4, x + s * 0.6, y + s / 2, w);
        draw_line(r, x + s * 0.6, y + s / 2, x + s * 0.8, y + 3 * s / 4, w);
        draw_line(r, x + s * 0.8, y + 3 * s / 4, x + s * 0.6, y + s, w);
        break;
    case 'E':
        draw_line(r, x, y, x, y + s, w);
        draw_line(r, x, y, x + s * 0.7, y, w);
        draw_line(r, x, y + s / 2, x + s * 0.5, y + s / 2, w);
        draw_line(r, x, y + s, x + s * 0.7, y + s, w);
        break;
    default:
        draw_ring(r, x + s / 2, y + s / 2, s / 2 - w, s / 2);
        break;
    }
}

void roughen(Bitmap &r, Lcg &rng, double p) {
    std::vector<std::pair<int, int>> flips;
    for (int y = 0; y < r.height; ++y)
        for (int x = 0; x < r.width; ++x) {
            const bool v = r.get(x, y);
            const bool edge = r.get(x + 1, y) != v || r.get(x - 1, y) != v || r.get(x, y + 1) != v ||
                              r.get(x, y - 1) != v;
            if (edge && rng.uniform(0, 1) < p) flips.push_back({x, y});
        }
    // One at a time, and only where the flip is a simple change, so the
    // picture keeps its topology and strokes keep their ends.
    for (auto [x, y] : flips) {
        const bool v = r.get(x, y);
        const bool simple = is_simple(r, x, y);  // depends on the neighbours only
        if (v && simple && black_neighbours(r, x, y) >= 2) r.set(x, y, false);
        if (!v && simple) r.set(x, y, true);
    }
}

void specks(Bitmap &r, Lcg &rng, int count) {
    for (int i = 0; i < count; ++i) {
        const int x = rng.range(0, r.width - 1), y = rng.range(0, r.height - 1);
        const int kind = rng.range(0, 3);
        r.set(x, y);
        if (kind >= 1) r.set(x + 1, y);
        if (kind >= 2) r.set(x, y + 1);
        if (kind >= 3) r.set(x + 1, y + 1);
    }
}
