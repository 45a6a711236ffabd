// Quality of the centre-line and outline drivers on sheets of known vectors,
// per stroke width and per setting.  Each setting varies one argument of the
// program's defaults, so every row reads as "what this one knob does".
//
//   ktvec_quality [--seed N] [--size WxH] [--widths 1,2,4,8,16] [--no-holes]
//
// Every run first pre-cleans a copy of the sheet the way the program does
// (preclean/preclean.h), with the program's defaults unless the row says
// otherwise.
//
// For the centre lines it reports how far the polylines run from the true
// centre lines (sampled every pixel along every link), how much of the true
// centre lines some link passes near, how many free polyline ends sit far from
// every true free stroke end (spurs), how many polylines each true stroke
// became, and how many nodes each 100 px of true stroke cost.  For the
// outlines it reports the distance of the links from the true stroke borders
// and the node count per 100 px of border.  The output is a Markdown report.
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "drawing.h"
#include "groundtruth.h"
#include "ktvec.h"
#include "ktvec_refine.h"
#include "preclean.h"
#include "spread.h"
#include "vectorizer/geometry.h"

namespace {

using ktvdraw::Point;
using ktvdraw::Primitive;
using ktvdraw::PrimitiveIndex;
using ktv::kPi;
// Distances are looked for up to this far and saturate there: a speck's
// centre line far from every stroke counts as this far off, and the grid
// search stays local.
constexpr double kFar = 40;

// ---- the sheets -------------------------------------------------------------

// Small white holes punched into the ink where a stroke is wide enough to
// keep them enclosed (a square of ink around the hole), so thin strokes are
// never cut.
void punch_holes(ktvdraw::Canvas &c, std::uint64_t seed, int count) {
    ktvdraw::Rng rng(seed);
    c.set_recording(false);
    c.set_ink(false);
    for (int made = 0, tries = 0; made < count && tries < count * 40; ++tries) {
        int x = rng.range(4, c.width() - 5), y = rng.range(4, c.height() - 5);
        double r = rng.uniform(0.5, 1.5);
        int m = (int)std::ceil(r) + 2;
        bool inside = true;
        for (int yy = y - m; yy <= y + m && inside; ++yy)
            for (int xx = x - m; xx <= x + m && inside; ++xx) inside = c.get(xx, yy);
        if (!inside) continue;
        if (r < 1.0) c.set(x, y, false);
        else c.disc(x + 0.5, y + 0.5, r);
        ++made;
    }
    c.set_ink(true);
    c.set_recording(true);
}

// One sheet of one stroke width, with what the scores need from its truth.
struct Sheet {
    int width_px = 0;
    bool noisy = false;
    ktvdraw::Canvas canvas{1, 1};
    std::vector<Primitive> ends;   // true free stroke ends as zero-length lines
    double length = 0;             // total true centre-line length, px
    std::size_t strokes = 0;
};

double stroke_length(const Primitive &p) {
    if (p.kind == Primitive::Line) return std::hypot(p.x1 - p.x0, p.y1 - p.y0);
    if (p.kind == Primitive::Arc) return p.r * (p.a1 - p.a0);
    return 0;
}

// Ends of lines and of arcs that are not full circles which touch no other
// stroke: there a correct centre line has a free end too.
void free_ends(Sheet &s) {
    const std::vector<Primitive> &truth = s.canvas.primitives();
    PrimitiveIndex index(truth, 32);
    std::vector<int> near;
    for (std::size_t i = 0; i < truth.size(); ++i) {
        const Primitive &p = truth[i];
        std::vector<Point> ends;
        if (p.kind == Primitive::Line) ends = {{p.x0, p.y0}, {p.x1, p.y1}};
        else if (p.kind == Primitive::Arc && p.a1 - p.a0 < 2 * kPi - 1e-9)
            ends = {{p.cx + p.r * std::cos(p.a0), p.cy + p.r * std::sin(p.a0)},
                    {p.cx + p.r * std::cos(p.a1), p.cy + p.r * std::sin(p.a1)}};
        for (const Point &e : ends) {
            index.within(e, p.width + 2, near);
            bool touches = false;
            for (int j : near)
                if ((std::size_t)j != i && ktvdraw::distance_to(truth[j], e) <= truth[j].width / 2 + 1)
                    touches = true;
            if (touches) continue;
            Primitive q;
            q.x0 = q.x1 = e.x;
            q.y0 = q.y1 = e.y;
            s.ends.push_back(q);
        }
    }
}

Sheet make_sheet(int w, int h, std::uint64_t seed, int stroke, bool noisy, bool holes) {
    ktvdraw::GroundTruthOptions o;
    o.min_width = o.max_width = stroke;
    o.noise = noisy;
    Sheet s;
    s.width_px = stroke;
    s.noisy = noisy;
    s.canvas = ktvdraw::render_ground_truth(w, h, seed, o);
    if (noisy) {
        long area = (long)w * h;
        s.canvas.specks(seed ^ 0x51u, (int)(area / 40000), 3);
        if (holes) punch_holes(s.canvas, seed ^ 0x77u, (int)(area / 40000));
    }
    for (const Primitive &p : s.canvas.primitives()) {
        s.length += stroke_length(p);
        s.strokes += p.kind != Primitive::Polygon;
    }
    free_ends(s);
    return s;
}

// ---- scoring ----------------------------------------------------------------

using ktvdraw::Spread;
using ktvdraw::spread;

// Every live link once, as a zero-width line in page coordinates.
void link_segments(CKTVector &v, std::vector<Primitive> &out) {
    for (int i = 0; i < v.mgetnodenum(); ++i) {
        const _KTNODE *n = v.mgetnode(i);
        if (n->deleted) continue;
        for (int k = 0; k < n->linknum; ++k) {
            const _KTNODE *m = v.mgetnode(n->link[k].node);
            if (!m || n->link[k].node <= i || m->deleted) continue;
            Primitive seg;
            seg.x0 = n->x + 0.5; seg.y0 = n->y + 0.5; seg.x1 = m->x + 0.5; seg.y1 = m->y + 0.5;
            out.push_back(seg);
        }
    }
}

// Share of the true stroke sides (the pixel centres half a pixel inside each
// border, every pixel along both sides of every line and arc; caps left out)
// that some link passes within 1.5 px of: what spur removal took away.
double border_coverage(const Sheet &s, const std::vector<Primitive> &segments) {
    PrimitiveIndex graph(segments, 32);
    long samples = 0, covered = 0;
    double inset = std::max(0.0, s.width_px / 2.0 - 0.5);
    for (const Primitive &p : s.canvas.primitives()) {
        if (p.kind == Primitive::Polygon) continue;
        std::vector<Point> along = ktvdraw::sample_along(p, 1.0);
        for (std::size_t i = 0; i < along.size(); ++i) {
            double nx, ny;  // unit normal of the centre line at the sample
            if (p.kind == Primitive::Arc) {
                nx = (along[i].x - p.cx) / p.r;
                ny = (along[i].y - p.cy) / p.r;
            } else {
                double len = std::hypot(p.x1 - p.x0, p.y1 - p.y0);
                if (len <= 0) continue;
                nx = -(p.y1 - p.y0) / len;
                ny = (p.x1 - p.x0) / len;
            }
            for (double side : {-1.0, 1.0}) {
                ++samples;
                Point q{along[i].x + side * inset * nx, along[i].y + side * inset * ny};
                covered += graph.nearest(q, 1.5) >= 0;
            }
        }
    }
    return samples ? (double)covered / samples : 0;
}

// Calls f(point) every pixel or closer along every live link (each link once,
// its far node left to the next link), in page coordinates.  Links aimed at
// deleted nodes are leftovers of clean-up passes, not part of the result.
template <class F> void walk_links(CKTVector &v, F f) {
    for (int i = 0; i < v.mgetnodenum(); ++i) {
        const _KTNODE *n = v.mgetnode(i);
        if (n->deleted) continue;
        for (int k = 0; k < n->linknum; ++k) {
            const _KTNODE *m = v.mgetnode(n->link[k].node);
            if (!m || n->link[k].node <= i || m->deleted) continue;
            double dx = m->x - n->x, dy = m->y - n->y;
            int steps = std::max(1, (int)std::ceil(std::hypot(dx, dy)));
            for (int t = 0; t < steps; ++t)
                f(Point{n->x + 0.5 + dx * t / steps, n->y + 0.5 + dy * t / steps});
        }
    }
}

struct Result {
    double ms = 0;
    Spread dist;
    double coverage = 0;      // share of true centre-line samples with a link near
    long spurs = 0;           // free ends far from every true free end, stray pieces aside
    long stray = 0;           // polylines with every node away from every stroke (specks)
    long lost_ends = 0;       // true free ends with no free polyline end near them
    double lines_per_stroke = 0;
    double nodes_per_100 = 0;
    int failure = 0;
};

int live_nodes(CKTVector &v) {
    int n = 0;
    for (int i = 0; i < v.mgetnodenum(); ++i) n += !v.mgetnode(i)->deleted;
    return n;
}

// A polyline whose every node lies farther than `on_stroke` from every true
// centre line: the trace of a speck or of a piece of noise.
bool is_stray(CKTVector &v, const _KTPOLYLINE &p, const PrimitiveIndex &truth, double on_stroke) {
    for (int k = 0; k < p.nodenum; ++k) {
        const _KTNODE *n = v.mgetnode(p.nodeindex[k]);
        if (n && truth.nearest({n->x + 0.5, n->y + 0.5}, on_stroke) >= 0) return false;
    }
    return true;
}

Result score_centerline(CKTVector &v, const Sheet &s, const PrimitiveIndex &truth) {
    Result r;
    std::vector<double> dist;
    std::vector<Primitive> segments;
    link_segments(v, segments);
    walk_links(v, [&](Point p) {
        double d = kFar;
        if (truth.nearest(p, kFar, &d) < 0) d = kFar;
        dist.push_back(d);
    });
    r.dist = spread(dist);
    PrimitiveIndex graph(segments, 32);
    long samples = 0, covered = 0;
    double reach = std::max(2.0, s.width_px / 2.0);
    for (const Primitive &p : s.canvas.primitives())
        for (const Point &q : ktvdraw::sample_along(p, 1.0)) {
            ++samples;
            covered += graph.nearest(q, reach) >= 0;
        }
    r.coverage = samples ? (double)covered / samples : 0;
    PrimitiveIndex ends(s.ends, 32);
    double near_end = s.width_px / 2.0 + 3, on_stroke = s.width_px / 2.0 + 2;
    int lines = 0;
    std::vector<Primitive> found;  // free polyline ends as zero-length lines
    for (int id = 1; id <= v.mgetpolylinenum(); ++id) {
        const _KTPOLYLINE *p = v.mgetpolyline(id);
        if (p->deleted || p->nodenum < 1) continue;
        ++lines;
        if (is_stray(v, *p, truth, on_stroke)) {
            ++r.stray;
            continue;
        }
        for (int at : {p->nodeindex[0], p->nodeindex[p->nodenum - 1]}) {
            const _KTNODE *n = v.mgetnode(at);
            if (!n || n->deleted || n->linknum != 1) continue;
            Primitive q;
            q.x0 = q.x1 = n->x + 0.5;
            q.y0 = q.y1 = n->y + 0.5;
            found.push_back(q);
            if (ends.nearest({q.x0, q.y0}, near_end) < 0) ++r.spurs;
        }
    }
    PrimitiveIndex free_found(found, 32);
    for (const Primitive &e : s.ends) r.lost_ends += free_found.nearest({e.x0, e.y0}, near_end) < 0;
    r.lines_per_stroke = s.strokes ? (double)lines / s.strokes : 0;
    r.nodes_per_100 = s.length > 0 ? 100.0 * live_nodes(v) / s.length : 0;
    return r;
}

// A traced contour pixel's centre lies half a pixel inside the border, so a
// point's error is |border offset + inset| with inset 0.5; inset 0 measures
// from the border itself.  Border length: both sides of every stroke.
Result score_outline_inset(CKTVector &v, const Sheet &s, const PrimitiveIndex &truth, double inset) {
    Result r;
    std::vector<double> dist;
    std::vector<Primitive> segments;
    walk_links(v, [&](Point p) { dist.push_back(std::fabs(truth.border_offset(p, 10) + inset)); });
    link_segments(v, segments);
    r.dist = spread(dist);
    r.coverage = border_coverage(s, segments);
    r.nodes_per_100 = s.length > 0 ? 100.0 * live_nodes(v) / (2 * s.length) : 0;
    // an outline node lies about half a width from the centre line
    for (int id = 1; id <= v.mgetpolylinenum(); ++id) {
        const _KTPOLYLINE *p = v.mgetpolyline(id);
        if (!p->deleted && p->nodenum > 0) r.stray += is_stray(v, *p, truth, s.width_px / 2.0 + 2);
    }
    return r;
}

Result score_outline(CKTVector &v, const Sheet &s, const PrimitiveIndex &truth) {
    return score_outline_inset(v, s, truth, 0.5);
}

Result score_outline_on_border(CKTVector &v, const Sheet &s, const PrimitiveIndex &truth) {
    return score_outline_inset(v, s, truth, 0);
}

// The sub-pixel stage's rings lie on the stroke borders themselves: a
// point's error is |border offset|, sampled every pixel or closer along
// every side (node frame + 0.5 = page coordinates).
Result score_refined_outline(const CKTRefiner &refiner, const Sheet &s, const PrimitiveIndex &truth) {
    Result r;
    std::vector<double> dist;
    std::vector<Primitive> segments;
    long vertices = 0;
    for (int i = 0; i < refiner.mgetlinenum(); ++i) {
        const _KTREFINEDLINE &l = *refiner.mgetline(i);
        vertices += l.closed ? l.pointnum - 1 : l.pointnum;
        bool near = false;
        for (int k = 0; k < l.pointnum; ++k) {
            const Point a{l.point[k].x + 0.5, l.point[k].y + 0.5};
            near = near || truth.nearest(a, s.width_px / 2.0 + 2) >= 0;
            if (k + 1 == l.pointnum) break;
            const Point b{l.point[k + 1].x + 0.5, l.point[k + 1].y + 0.5};
            Primitive seg;
            seg.x0 = a.x; seg.y0 = a.y; seg.x1 = b.x; seg.y1 = b.y;
            segments.push_back(seg);
            const int steps = std::max(1, (int)std::ceil(std::hypot(b.x - a.x, b.y - a.y)));
            for (int t = 0; t < steps; ++t) {
                const Point p{a.x + (b.x - a.x) * t / steps, a.y + (b.y - a.y) * t / steps};
                dist.push_back(std::fabs(truth.border_offset(p, 10)));
            }
        }
        r.stray += !near;
    }
    r.dist = spread(dist);
    r.coverage = border_coverage(s, segments);
    r.nodes_per_100 = s.length > 0 ? 100.0 * vertices / (2 * s.length) : 0;
    return r;
}

// ---- settings ---------------------------------------------------------------

using ktvcli::PrecleanOptions;

using ktvcli::program_precleaning;

// Rows that change one pre-cleaning option of the program's defaults.
template <class Setting> void vary_preclean(std::vector<Setting> &g, const Setting base) {
    auto add = [&](std::string name, auto set) {
        Setting s = base;
        set(s.pre);
        s.name = std::move(name);
        g.push_back(s);
    };
    add("no pre-cleaning", [](PrecleanOptions &p) { p = PrecleanOptions(); });
    for (long n : {4L, 8L, 16L})
        if (n != base.pre.despeckle)
            add("despeckle " + std::to_string(n), [n](PrecleanOptions &p) { p.despeckle = n; });
    for (long n : {2L, 4L, 8L, 16L})
        if (n != base.pre.fill_holes)
            add("fill-holes " + std::to_string(n), [n](PrecleanOptions &p) { p.fill_holes = n; });
    add(base.pre.smooth ? "no smoothing" : "smooth", [](PrecleanOptions &p) { p.smooth = !p.smooth; });
}

struct Centerline {
    std::string name;
    int flags = 31, maxlength = 4;
    double a = 3, b = 8, c = 0.9, d = 4, e = 1.5;
    PrecleanOptions pre = program_precleaning();
};

std::vector<Centerline> centerline_grid() {
    std::vector<Centerline> g;
    Centerline base;
    base.name = "defaults";
    g.push_back(base);
    auto vary = [&](const char *label, double value, auto set) {
        Centerline s = base;
        set(s, value);
        char buf[48];
        std::snprintf(buf, sizeof buf, "%s %g", label, value);
        s.name = buf;
        g.push_back(s);
    };
    for (double x : {1.0, 2.0, 3.0}) vary("e", x, [](Centerline &s, double v) { s.e = v; });
    for (double x : {2.0, 5.0}) vary("a", x, [](Centerline &s, double v) { s.a = v; });
    for (double x : {4.0, 12.0}) vary("b", x, [](Centerline &s, double v) { s.b = v; });
    for (double x : {0.8, 0.95}) vary("c", x, [](Centerline &s, double v) { s.c = v; });
    for (double x : {2.0, 6.0}) vary("d", x, [](Centerline &s, double v) { s.d = v; });
    for (double x : {8.0, 16.0})
        vary("maxlength", x, [](Centerline &s, double v) { s.maxlength = (int)v; });
    for (int bit = 0; bit < 5; ++bit)
        vary("flags without", 1 << bit, [](Centerline &s, double v) { s.flags = 31 & ~(int)v; });
    vary_preclean(g, base);
    return g;
}

struct Outline {
    std::string name;
    int maxlength = 4, spurnodes = 1, nodesearch = 1;
    double tolerance = 1.5;
    PrecleanOptions pre = program_precleaning();
};

std::vector<Outline> outline_grid() {
    std::vector<Outline> g;
    g.push_back({"defaults"});
    for (double t : {1.0, 2.0}) {
        Outline o;
        char buf[48];
        std::snprintf(buf, sizeof buf, "tolerance %g", t);
        o.name = buf;
        o.tolerance = t;
        g.push_back(o);
    }
    for (int n : {2, 3}) {
        Outline o;
        o.name = "spurnodes " + std::to_string(n);
        o.spurnodes = n;
        g.push_back(o);
    }
    vary_preclean(g, g.front());
    return g;
}

double ms_since(std::chrono::steady_clock::time_point t0) {
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count();
}

// The time includes the pre-cleaning of the copy.
template <class Run, class Score>
Result run_one(const Sheet &s, const PrimitiveIndex &truth, const PrecleanOptions &pre, Run run,
               Score score) {
    CKTVector v;
    std::vector<unsigned char> copy(s.canvas.bits());
    const int w = s.canvas.width(), h = s.canvas.height(), stride = s.canvas.stride();
    auto t0 = std::chrono::steady_clock::now();
    int rc = ktvcli::preclean({copy.data(), w, h, (std::size_t)stride}, pre) ? 0 : -1000;
    v.msetdocument(copy.data(), w, stride, h);
    if (rc == 0) rc = run(v);
    double ms = ms_since(t0);
    Result r;
    if (rc == 0) r = score(v, s, truth);
    r.failure = rc;
    r.ms = ms;
    return r;
}

void row(const std::string &setting, const Sheet &s, const Result &r, bool centre) {
    if (r.failure) {
        std::printf("| %s | %d | failed %d | | | | | | | | |\n", setting.c_str(), s.width_px, r.failure);
        return;
    }
    if (centre)
        std::printf("| %s | %d | %.2f | %.2f | %.1f%% | %ld | %ld | %ld | %.2f | %.2f | %.0f |\n",
                    setting.c_str(), s.width_px, r.dist.mean, r.dist.p95, 100 * r.coverage, r.spurs,
                    r.lost_ends, r.stray, r.lines_per_stroke, r.nodes_per_100, r.ms);
    else
        std::printf("| %s | %d | %.2f | %.2f | %.1f%% | %ld | %.2f | %.0f |\n", setting.c_str(), s.width_px,
                    r.dist.mean, r.dist.p95, 100 * r.coverage, r.stray, r.nodes_per_100, r.ms);
}

// ---- what pre-cleaning takes from a drawing -----------------------------------

// On the synthetic technical drawings (text, dash-dot centre lines, hatching,
// arrows) drawn without noise every black component and every enclosed white
// area is part of the drawing, so what an option removes there is lost; drawn
// with noise, the difference is what it cleans.
void feature_report(std::uint64_t seed) {
    std::printf("\n### What pre-cleaning removes from a technical drawing (A4, seed %llu)\n\n",
                (unsigned long long)seed);
    std::printf("| dpi | noise | option | specks removed | holes filled | cells kept | pixels smoothed | ms |\n"
                "|---|---|---|---|---|---|---|---|\n");
    for (double dpi : {300.0, 150.0})
        for (bool noise : {false, true}) {
            ktvdraw::DrawingOptions o;
            o.dpi = dpi;
            o.noise = noise;
            const int w = (int)std::lround(ktvdraw::kPageA4.width * dpi / 300),
                      h = (int)std::lround(ktvdraw::kPageA4.height * dpi / 300);
            const ktvdraw::Canvas page = ktvdraw::render_drawing(w, h, seed, o);
            std::vector<std::pair<std::string, PrecleanOptions>> rows;
            for (long n : {2L, 4L, 8L, 16L}) {
                PrecleanOptions p;
                p.despeckle = n;
                rows.push_back({"despeckle " + std::to_string(n), p});
            }
            for (long n : {2L, 4L, 8L, 16L, 64L}) {
                PrecleanOptions p;
                p.fill_holes = n;
                p.keep_cells = ktvcli::kDefaultKeepCells;
                rows.push_back({"fill-holes " + std::to_string(n), p});
            }
            PrecleanOptions smooth;
            smooth.smooth = true;
            rows.push_back({"smooth", smooth});
            rows.push_back({"program defaults", program_precleaning()});
            for (const auto &[name, pre] : rows) {
                // fastest of three runs: the figure is the work, not the load
                double best = 1e30;
                ktvcli::PrecleanCounts counts;
                for (int rep = 0; rep < 3; ++rep) {
                    std::vector<unsigned char> copy(page.bits());
                    auto t0 = std::chrono::steady_clock::now();
                    ktvcli::preclean({copy.data(), w, h, (std::size_t)page.stride()}, pre, &counts);
                    best = std::min(best, ms_since(t0));
                }
                std::printf("| %.0f | %s | %s | %ld | %ld | %ld | %ld | %.1f |\n", dpi, noise ? "yes" : "no",
                            name.c_str(), counts.specks, counts.holes, counts.cells, counts.smoothed, best);
            }
        }
}

std::vector<int> parse_widths(const char *text) {
    std::vector<int> out;
    for (const char *p = text; *p;) {
        char *end = nullptr;
        long w = std::strtol(p, &end, 10);
        if (end == p) break;
        if (w > 0 && w < 100) out.push_back((int)w);
        p = *end == ',' ? end + 1 : end;
    }
    return out;
}

}  // namespace

int main(int argc, char **argv) {
    std::uint64_t seed = 1;
    int w = ktvdraw::kPageA4.width, h = ktvdraw::kPageA4.height;
    std::vector<int> widths{1, 2, 4, 8, 16};
    bool holes = true, outline_defaults = false;
    for (int i = 1; i < argc; ++i) {
        bool more = i + 1 < argc;
        if (!std::strcmp(argv[i], "--seed") && more) seed = std::strtoull(argv[++i], nullptr, 10);
        else if (!std::strcmp(argv[i], "--size") && more) {
            if (std::sscanf(argv[++i], "%dx%d", &w, &h) != 2 || w < 160 || h < 160) {
                std::fprintf(stderr, "ktvec_quality: --size wants WxH, each at least 160\n");
                return 2;
            }
        } else if (!std::strcmp(argv[i], "--widths") && more) widths = parse_widths(argv[++i]);
        else if (!std::strcmp(argv[i], "--no-holes")) holes = false;
        else if (!std::strcmp(argv[i], "--outline-defaults")) outline_defaults = true;
        else {
            std::fprintf(stderr, "usage: ktvec_quality [--seed N] [--size WxH] [--widths 1,2,4,8,16] [--no-holes]\n"
                                 "                     [--outline-defaults]\n");
            return 2;
        }
    }
    if (widths.empty()) widths = {1, 2, 4, 8, 16};
    // --outline-defaults: the outline rows of the program's defaults only.
    std::vector<Centerline> cgrid = outline_defaults ? std::vector<Centerline>() : centerline_grid();
    std::vector<Outline> ogrid = outline_grid();
    if (outline_defaults) ogrid.resize(1);
    auto t0 = std::chrono::steady_clock::now();
    for (bool noisy : {false, true}) {
        std::vector<Sheet> sheets;
        for (int stroke : widths) sheets.push_back(make_sheet(w, h, seed, stroke, noisy, holes));
        std::vector<PrimitiveIndex> truth;
        truth.reserve(sheets.size());
        for (const Sheet &s : sheets) truth.emplace_back(s.canvas.primitives(), 32);
        const char *kind = !noisy ? "clean" : holes ? "jagged borders, specks and small holes"
                                                    : "jagged borders and specks";
        if (!cgrid.empty()) {
            std::printf("\n### Centre lines, %s (%dx%d, seed %llu)\n\n", kind, w, h, (unsigned long long)seed);
        std::printf("True strokes per sheet, free stroke ends and centre-line length by width:");
        for (const Sheet &s : sheets)
            std::printf(" %d px: %zu, %zu, %.0f px;", s.width_px, s.strokes, s.ends.size(), s.length);
        std::printf("\n\n");
        std::printf("| setting | width | mean px | p95 px | coverage | spurs | lost ends | "
                    "stray | polylines/stroke | nodes/100px | ms |\n|---|---|---|---|---|---|---|---|---|---|---|\n");
        for (const Centerline &c : cgrid)
            for (std::size_t k = 0; k < sheets.size(); ++k)
                row(c.name, sheets[k],
                    run_one(sheets[k], truth[k], c.pre,
                            [&](CKTVector &v) {
                                return v.mabstractcenterline(c.flags, c.maxlength, c.a, c.b, c.c, c.d, c.e);
                            },
                            score_centerline),
                    true);
        }
        std::printf("\n### Outlines, %s (%dx%d, seed %llu)\n\n", kind, w, h, (unsigned long long)seed);
        std::printf("| setting | width | mean px | p95 px | coverage | stray | nodes/100px border | ms |\n"
                    "|---|---|---|---|---|---|---|---|\n");
        for (const Outline &o : ogrid)
            for (std::size_t k = 0; k < sheets.size(); ++k)
                row(o.name, sheets[k],
                    run_one(sheets[k], truth[k], o.pre,
                            [&](CKTVector &v) {
                                return v.mabstractoutline(o.maxlength, o.spurnodes, o.tolerance, o.nodesearch);
                            },
                            score_outline),
                    false);
        // The driver's nodes measured from the border itself, and the
        // sub-pixel stage after the driver with the program's defaults.
        const Outline base = ogrid.front();
        auto driver = [&](CKTVector &v) {
            return v.mabstractoutline(base.maxlength, base.spurnodes, base.tolerance, base.nodesearch);
        };
        for (std::size_t k = 0; k < sheets.size(); ++k)
            row("defaults, from the border", sheets[k],
                run_one(sheets[k], truth[k], base.pre, driver, score_outline_on_border), false);
        CKTRefiner refiner;
        for (std::size_t k = 0; k < sheets.size(); ++k)
            row("defaults, refined", sheets[k],
                run_one(sheets[k], truth[k], base.pre,
                        [&](CKTVector &v) {
                            const int rc = driver(v);
                            return rc < 0 ? rc : refiner.mrefineoutline(&v);
                        },
                        [&](CKTVector &, const Sheet &s, const PrimitiveIndex &t) {
                            return score_refined_outline(refiner, s, t);
                        }),
                false);
        std::fflush(stdout);
    }
    if (!outline_defaults) feature_report(seed);
    std::printf("\n(total %.1f s)\n", ms_since(t0) / 1000);
    return 0;
}
