// Outlines on the edge of the ink.
//
// The borders of the black areas are traced on the cracks between black and
// white pixels (crack.h), so every border is a closed ring whatever the
// width of its strokes, and each ring becomes a polygon whose sides are
// fitted to its cracks (ringfit.h), so its vertices lie on the edge of the
// ink rather than on the centres of the border pixels.
//
// Which borders: those the driver's result follows.  The outline drivers
// drop specks and, with their spur and speck options, whiskers and small
// pieces; a border is kept when a live node of the vectorizer lies within
// two to four pixels of it, so the rings are the driver's outlines made
// whole.  A dot the drivers never traced (a blob too narrow for an inside
// is thinned to a line of a pixel or two, which goes as dust) is given
// back as its ring when it holds a mark's worth of pixels, as the centre
// lines give it back as a dot; what the driver's clean-up removed, where
// its deleted nodes lie, stays removed.
#include "refine/outline.h"

#include "refine/crack.h"
#include "refine/ink.h"
#include "refine/penwidth.h"
#include "refine/ringfit.h"
#include "refine/workers.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>

namespace ktv::refine {

namespace {

// Borders are traced on the calling thread (each one starts where the scan
// of the rows finds a top edge no border has taken yet, so tracing goes in
// order) and fitted in batches of about this many crack edges, split over
// the threads by their edges; the batches keep the room made for the
// polygons small.
constexpr std::size_t kBatchEdges = std::size_t(1) << 20;
// Rows a page needs per thread before its rings are fitted on several.
constexpr std::size_t kRowsPerPart = 512;
// A hole of at most this many times the square of the drawing's main pen
// (a square half a pen wide), and at most kMostPinhole square px, is a
// pinhole: strokes of that pen that overlap or nearly touch leave such
// specks of paper between them (a hatched area, the corner where two walls
// meet), and a scan leaves them in its wide strokes.  The drawing has no
// such hole, so the outline has none either.  Such specks are a few pixels
// whatever the pen, while the cells the strokes of a wide pen enclose are
// as large as the strokes make them (a small triangle between three 16 px
// strokes is some 30 px or more); and between strokes a pixel or two wide
// a hole of a pixel or two is a cell of the drawing.
constexpr double kPinhole = 0.25;
constexpr double kMostPinhole = 8;
constexpr double kGapReach = 1.5;  // px between the boxes of two holes of one gap, see drop_pinholes()
constexpr double kHoleCell = 16;   // px: two pinholes' boxes (some 8 px long at most) and kGapReach fit in it

struct Traced {
    std::size_t first, corners;  // in the batch's corners
    std::size_t edges;
};

// One part of a batch: its fitter and polygons, with room made beforehand.
struct FitPart {
    RingFitter fitter;
    Array<Vec2> polygon;         // the ring being fitted
    Array<Vec2> points;          // the part's polygons, one after the other
    Array<std::size_t> sizes;    // vertices of each
    bool short_of_room = false;
};

std::size_t edges_of(const Array<Corner> &ring) {
    std::size_t edges = 0;
    for (std::size_t k = 0; k < ring.size(); ++k) {
        const Corner &a = ring[k], &b = ring[k + 1 < ring.size() ? k + 1 : 0];
        edges += static_cast<std::size_t>(std::abs(b.x - a.x) + std::abs(b.y - a.y));
    }
    return edges;
}

bool add_ring(const Vec2 *polygon, std::size_t n, LineSet &out) {
    if (!out.begin(0)) return false;
    for (std::size_t k = 0; k < n; ++k)
        if (!out.add(polygon[k], -1)) return false;
    if (!out.add(polygon[0], -1)) return false;
    out.end();
    return true;
}

// Fits the traced rings of a batch in `parts` parts, each a run of rings
// with about the same number of edges, and adds them to `out` in order.
bool fit_batch(const Array<Corner> &corners, const Array<Traced> &rings, int parts, FitPart *fit, LineSet &out) {
    std::size_t total = 0;
    for (const Traced &r : rings) total += r.edges;
    // Part p ends with the ring that brings the edges to p / parts of them.
    std::size_t bounds[kMaxWorkers + 1] = {};
    for (std::size_t p = 1, i = 0, sum = 0; p < static_cast<std::size_t>(parts); ++p) {
        const std::size_t target = part_begin(total, parts, static_cast<int>(p));
        while (i < rings.size() && sum < target) sum += rings[i++].edges;
        bounds[p] = i;
    }
    bounds[parts] = rings.size();
    for (int p = 0; p < parts; ++p) {
        std::size_t most = 0, room = 0;
        for (std::size_t i = bounds[p]; i < bounds[p + 1]; ++i) {
            most = std::max(most, rings[i].edges);
            room += 2 * rings[i].edges;
        }
        FitPart &f = fit[p];
        f.points.clear();
        f.sizes.clear();
        if (!f.fitter.reserve(most) || !f.polygon.reserve(2 * most) || !f.points.reserve(room) ||
            !f.sizes.reserve(bounds[p + 1] - bounds[p]))
            return false;
    }
    run_parts(parts, [&](int p) {
        FitPart &f = fit[p];
        for (std::size_t i = bounds[p]; i < bounds[p + 1]; ++i) {
            if (!f.fitter.fit(corners.data() + rings[i].first, rings[i].corners, f.polygon) ||
                !f.sizes.push(f.polygon.size())) {
                f.short_of_room = true;
                return;
            }
            for (const Vec2 &v : f.polygon)
                if (!f.points.push(v)) {
                    f.short_of_room = true;
                    return;
                }
        }
    });
    for (int p = 0; p < parts; ++p) {
        if (fit[p].short_of_room) return false;
        std::size_t at = 0;
        for (const std::size_t n : fit[p].sizes) {
            if (!add_ring(fit[p].points.data() + at, n, out)) return false;
            at += n;
        }
    }
    return true;
}

// Twice the signed area of closed line i in the node frame (y down):
// negative round a hole, which the tracer runs anticlockwise on the screen.
double twice_area(const LineSet &lines, int i) {
    double sum = 0;
    const int n = lines.points(i);
    for (int k = 1; k < n; ++k) sum += cross(lines.point(i, k - 1), lines.point(i, k));
    return sum;
}

struct Box {
    double x0, y0, x1, y1;
};

Box box_of(const LineSet &lines, int i) {
    Box b{1e300, 1e300, -1e300, -1e300};
    for (int k = 0; k < lines.points(i); ++k) {
        const Vec2 p = lines.point(i, k);
        b = {std::min(b.x0, p.x), std::min(b.y0, p.y), std::max(b.x1, p.x), std::max(b.y1, p.y)};
    }
    return b;
}

// Drops the holes of at most `most` square px from `rings`, save those
// within kGapReach of another such hole: a gap of paper under a pixel wide
// between two strokes that nearly touch (two arcs side by side) comes out
// of the pixels as a dotted line of such holes, and it is the drawing's.
// False when memory runs out (the rings are then unchanged).
bool drop_pinholes(LineSet &rings, double most) {
    // The small holes by the cell of kHoleCell px that holds their box's
    // centre: a hole's neighbours lie in its cell or the eight round it.
    struct Hole {
        std::int64_t row, col;
        int ring;
        Box box;
    };
    const auto before = [](const Hole &a, const Hole &b) {
        return a.row != b.row ? a.row < b.row : a.col != b.col ? a.col < b.col : a.ring < b.ring;
    };
    const auto cell = [](double v) { return static_cast<std::int64_t>(std::floor(v / kHoleCell)); };
    Array<Hole> holes;
    for (int i = 0; i < rings.count(); ++i) {
        const double a = twice_area(rings, i);
        if (!(a < 0 && -a <= 2 * most)) continue;
        const Box b = box_of(rings, i);
        if (!holes.push({cell(0.5 * (b.y0 + b.y1)), cell(0.5 * (b.x0 + b.x1)), i, b})) return false;
    }
    if (holes.empty()) return true;
    std::sort(holes.begin(), holes.end(), before);
    const auto near = [](const Box &a, const Box &b) {
        return a.x0 - kGapReach <= b.x1 && b.x0 - kGapReach <= a.x1 && a.y0 - kGapReach <= b.y1 &&
               b.y0 - kGapReach <= a.y1;
    };
    Array<unsigned char> drop;
    if (!drop.resize(static_cast<std::size_t>(rings.count()), 0)) return false;
    int dropped = 0;
    for (const Hole &h : holes) {
        bool gap = false;
        for (int dy = -1; dy <= 1 && !gap; ++dy)
            for (int dx = -1; dx <= 1 && !gap; ++dx) {
                const Hole first{h.row + dy, h.col + dx, -1, {}};
                for (auto it = std::lower_bound(holes.begin(), holes.end(), first, before);
                     it != holes.end() && it->row == first.row && it->col == first.col && !gap; ++it)
                    gap = it->ring != h.ring && near(it->box, h.box);
            }
        if (!gap) drop[static_cast<std::size_t>(h.ring)] = 1, ++dropped;
    }
    if (dropped > 0) rings.retain([&](int i) { return !drop[static_cast<std::size_t>(i)]; });
    return true;
}

// The rings complete: with `pens`, strokes of the drawing's pens drawn their
// widths, and the pinholes of its main pen filled.
bool finish(const CKTVector &v, bool pens, int threads, LineSet &out) {
    Pens measured;
    if (pens && !place_pen_sides(Ink(v.document, v.width, v.height, static_cast<std::size_t>(v.bytesperline)), out,
                                 threads, &measured))
        return false;
    if (measured.count > 0 &&
        !drop_pinholes(out, std::min(kMostPinhole, kPinhole * measured.width[0] * measured.width[0])))
        return false;
    out.seal();
    return true;
}

}  // namespace

int refine_outlines(CKTVector &v, LineSet &out, int threads, bool pens) {
    out.clear();
    auto fail = [&out]() {
        out.clear();
        out.seal();
        return -1000;
    };
    CrackTracer tracer;
    if (!tracer.start(v.document, v.width, v.height, static_cast<std::size_t>(v.bytesperline)) ||
        !tracer.keep_near_marks() || !tracer.keep_pieces_of(kMinMark))
        return fail();
    // A deleted node is where the driver's clean-up removed a piece it had
    // traced (a spur, a speck with the driver's options): that stays gone.
    for (int i = 0, n = v.mgetnodenum(); i < n; ++i) {
        const _KTNODE &node = *v.mgetnode(i);
        if (node.deleted) tracer.veto(node.x, node.y);
        else tracer.mark(node.x, node.y);
    }
    Array<Corner> ring;
    const int parts = part_count(static_cast<std::size_t>(v.height > 0 ? v.height : 0), kRowsPerPart, threads);
    if (parts == 1) {
        // Each ring fitted as it is traced.
        RingFitter fitter;
        Array<Vec2> polygon;
        for (;;) {
            const int r = tracer.next(ring);
            if (r == 0) break;
            if (r < 0 || !fitter.fit(ring, polygon) || !add_ring(polygon.data(), polygon.size(), out)) return fail();
        }
        return finish(v, pens, threads, out) ? 0 : fail();
    }
    Array<Corner> corners;
    Array<Traced> rings;
    FitPart fit[kMaxWorkers];
    for (bool more = true; more;) {
        corners.clear();
        rings.clear();
        std::size_t edges = 0;
        while (edges < kBatchEdges) {
            const int r = tracer.next(ring);
            if (r < 0) return fail();
            if (r == 0) {
                more = false;
                break;
            }
            const Traced t{corners.size(), ring.size(), edges_of(ring)};
            if (!rings.push(t)) return fail();
            for (const Corner &c : ring)
                if (!corners.push(c)) return fail();
            edges += t.edges;
        }
        if (!rings.empty() && !fit_batch(corners, rings, std::min(parts, static_cast<int>(rings.size())), fit, out))
            return fail();
    }
    return finish(v, pens, threads, out) ? 0 : fail();
}

}  // namespace ktv::refine
