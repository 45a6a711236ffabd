// How faithfully the program's result follows drawings of known vectors,
// in the measures used for real drawings: F1 of line length within tau of
// the truth (tau = max(1.5, width / 2)), mean distance to the true lines,
// junctions and free ends found (within 2 tau, one to one), pieces per true
// junction-to-junction edge, vertices per 100 px; for outlines F1 and mean
// distance against the true borders of the ink and the share of closed
// rings.  Each sheet (testkit/groundtruth.h: lines at all angles, circles,
// arcs, T and Y junctions, crossings, corners) is vectorized the way the
// program does it, with its defaults, once with the sub-pixel stage and
// once without.  The output is a Markdown report.
//
//   ktvec_fidelity [--seed N] [--size WxH] [--widths 1,2,4,8,16] [--technical | --courses] [--dump DIR]
//
// --technical draws the figures of technical drawings instead (dimensions
// with open arrowheads, centre marks of holes, fillets, hatched sections,
// narrow V's, an inductor's cusps, leaders, X's in boxes;
// testkit/groundtruth.h), each sheet with two pens: its width for outlines
// and half that (at least 1 px) for marks, or the widest and narrowest of a
// + list.
//
// --courses draws boxes of level brick courses instead, 2.5 to 6 pen widths
// high, with one pen (the narrowest of a + list): lines a few pixels apart
// joined by short ties.
//
// A width may have a fraction (--widths 1.3,5.4): every stroke of the sheet
// is then drawn that wide, as by one pen of a plotter, on the same tiles.
// Widths joined by + draw one sheet with several pens (--widths 2.6+5.4),
// each stroke taking one; tau and the truth's width are then the widest.
//
// --dump DIR writes each sheet (sheet-W-clean.pbm, sheet-W-jagged.pbm) and
// its truth beside it (.json: the width, the true centre lines sampled every
// pixel as "edges", the "junctions" and the free "ends"; the centre of pixel
// (i, j) at (i, j)), to look at a result over its drawing.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <unordered_map>
#include <string>
#include <vector>

#include "commands.h"
#include "drawing.h"
#include "groundtruth.h"
#include "imagefile.h"
#include "ktvec.h"
#include "ktvec_refine.h"

namespace {

using ktvdraw::Point;
using ktvdraw::Primitive;
using ktvdraw::PrimitiveIndex;
constexpr double kStep = 0.5;  // sampling step of lines and borders, px
constexpr double kFar = 40;    // distances saturate here

struct Polyline {
    std::vector<Point> points;  // page coordinates
    bool closed = false;
};

// ---- the truth --------------------------------------------------------------

// Points bucketed in square cells, so that the points near a point are found
// without a pass over all of them (a sheet of brick courses has tens of
// thousands of junctions).
class PointGrid {
public:
    explicit PointGrid(double cell) : cell_(cell) {}
    void add(Point p, int index) { cells_[key(cell_of(p.x), cell_of(p.y))].push_back({p, index}); }
    // Calls visit(index, point) for every point within `reach` of p (and some a
    // little farther), in no particular order.
    template <class Visit> void near(Point p, double reach, Visit visit) const {
        for (long long cy = cell_of(p.y - reach); cy <= cell_of(p.y + reach); ++cy)
            for (long long cx = cell_of(p.x - reach); cx <= cell_of(p.x + reach); ++cx) {
                const auto it = cells_.find(key(cx, cy));
                if (it != cells_.end())
                    for (const auto &e : it->second) visit(e.second, e.first);
            }
    }

private:
    long long cell_of(double v) const { return static_cast<long long>(std::floor(v / cell_)); }
    static long long key(long long cx, long long cy) { return cx * 4000037LL + cy; }
    double cell_;
    std::unordered_map<long long, std::vector<std::pair<Point, int>>> cells_;
};

struct Truth {
    std::vector<Primitive> strokes;   // lines and arcs
    std::vector<Point> junctions;     // where three or more edges meet
    std::vector<Point> ends;          // free stroke ends
    double width = 1;
};

double length_of(const Primitive &p) {
    return p.kind == Primitive::Line ? std::hypot(p.x1 - p.x0, p.y1 - p.y0) : p.r * (p.a1 - p.a0);
}

std::vector<Point> ends_of(const Primitive &p) {
    if (p.kind == Primitive::Line) return {{p.x0, p.y0}, {p.x1, p.y1}};
    if (p.a1 - p.a0 >= 2 * M_PI - 1e-9) return {};
    return {{p.cx + p.r * std::cos(p.a0), p.cy + p.r * std::sin(p.a0)},
            {p.cx + p.r * std::cos(p.a1), p.cy + p.r * std::sin(p.a1)}};
}

// Junctions: points where the edges of the drawing meet three or more at a
// time: shared stroke ends (a Y), an end on another stroke (a T), strokes
// crossing (an X).  Each meeting point counts the stroke ends there and
// twice each stroke that runs through it.
Truth make_truth(const ktvdraw::Canvas &canvas, double width) {
    Truth t;
    t.width = width;
    for (const Primitive &p : canvas.primitives())
        if (p.kind != Primitive::Polygon && length_of(p) > 0) t.strokes.push_back(p);
    PrimitiveIndex index(t.strokes, 32);
    std::vector<std::pair<Point, int>> meet;  // point, degree
    PointGrid meeting(1.0);
    auto add = [&](Point q, int degree) {
        int first = -1;  // the earliest meeting point within 1 px takes it
        meeting.near(q, 1.0, [&](int i, Point m) {
            if (std::hypot(m.x - q.x, m.y - q.y) < 1.0 && (first < 0 || i < first)) first = i;
        });
        if (first >= 0) return void(meet[std::size_t(first)].second += degree);
        meeting.add(q, int(meet.size()));
        meet.push_back({q, degree});
    };
    std::vector<int> near;
    for (std::size_t i = 0; i < t.strokes.size(); ++i) {
        for (const Point &e : ends_of(t.strokes[i])) {
            index.within(e, width + 2, near);
            bool touches = false;
            for (int j : near)
                if (static_cast<std::size_t>(j) != i && ktvdraw::distance_to(t.strokes[std::size_t(j)], e) <= 0.5) touches = true;
            if (touches) add(e, 1);
            else if ([&] {  // no other stroke's ink at all: a free end
                         for (int j : near)
                             if (static_cast<std::size_t>(j) != i &&
                                 ktvdraw::distance_to(t.strokes[std::size_t(j)], e) <= t.strokes[std::size_t(j)].width / 2 + 1)
                                 return false;
                         return true;
                     }())
                t.ends.push_back(e);
        }
    }
    // Strokes through a meeting point, and crossings: along each stroke, the
    // points nearest to another stroke that it meets away from both ends.
    for (auto &m : meet) {
        index.within(m.first, 1.0, near);
        for (int j : near) {
            bool at_end = false;
            for (const Point &e : ends_of(t.strokes[std::size_t(j)])) at_end |= std::hypot(e.x - m.first.x, e.y - m.first.y) < 1.0;
            if (!at_end && ktvdraw::distance_to(t.strokes[std::size_t(j)], m.first) <= 0.5) m.second += 2;
        }
    }
    for (std::size_t i = 0; i < t.strokes.size(); ++i) {
        const std::vector<Point> along = ktvdraw::sample_along(t.strokes[i], 0.25);
        for (std::size_t k = 1; k + 1 < along.size(); ++k) {
            index.within(along[k], 0.5, near);
            for (int j : near) {
                if (static_cast<std::size_t>(j) <= i) continue;
                const Primitive &o = t.strokes[std::size_t(j)];
                const double d = ktvdraw::distance_to(o, along[k]);
                if (d > 0.2 || d > ktvdraw::distance_to(o, along[k - 1]) || d > ktvdraw::distance_to(o, along[k + 1])) continue;
                bool at_end = false;
                for (const Primitive *q : {static_cast<const Primitive *>(&t.strokes[i]), &o})
                    for (const Point &e : ends_of(*q)) at_end |= std::hypot(e.x - along[k].x, e.y - along[k].y) < 1.0;
                if (!at_end) add(along[k], 4);
            }
        }
    }
    for (const auto &m : meet)
        if (m.second >= 3) t.junctions.push_back(m.first);
    return t;
}

// ---- the result ---------------------------------------------------------------

// The result as the program's SVG and DXF writers draw it (io/drawing.h),
// in page coordinates: a node or refined point (x, y) lies at
// (x + 0.5, y + 0.5).
std::vector<Polyline> result_lines(CKTVector &v, const CKTRefiner *refined, bool join) {
    ktvcli::VectorView view(v);
    if (refined) view.set_refined(refined);
    std::vector<Polyline> out;
    ktvcli::for_each_drawn_stroke(view, join, [&](const ktvcli::Stroke &s) {
        Polyline p;
        p.closed = s.closed;
        for (const ktvcli::DrawPoint &q : s.points) p.points.push_back({q.x + 0.5, q.y + 0.5});
        out.push_back(std::move(p));
    });
    return out;
}

struct Sample {
    Point at;
    double weight;  // length it stands for, px
    int owner;      // polyline
};

std::vector<Sample> sample_lines(const std::vector<Polyline> &lines) {
    std::vector<Sample> s;
    for (std::size_t k = 0; k < lines.size(); ++k) {
        const std::vector<Point> &p = lines[k].points;
        for (std::size_t i = 0; i + 1 < p.size(); ++i) {
            const double len = std::hypot(p[i + 1].x - p[i].x, p[i + 1].y - p[i].y);
            const int n = std::max(1, static_cast<int>(std::ceil(len / kStep)));
            for (int j = 0; j < n; ++j) {
                const double f = (j + 0.5) / n;
                s.push_back({{p[i].x + f * (p[i + 1].x - p[i].x), p[i].y + f * (p[i + 1].y - p[i].y)}, len / n, int(k)});
            }
        }
    }
    return s;
}

std::vector<Primitive> segments_of(const std::vector<Polyline> &lines) {
    std::vector<Primitive> segs;
    for (const Polyline &l : lines)
        for (std::size_t i = 0; i + 1 < l.points.size(); ++i) {
            Primitive s;
            s.x0 = l.points[i].x, s.y0 = l.points[i].y, s.x1 = l.points[i + 1].x, s.y1 = l.points[i + 1].y;
            segs.push_back(s);
        }
    return segs;
}

// Greedy one-to-one matching by distance: how many of `truth` have a
// partner in `found` within `reach`.
int matched(const std::vector<Point> &truth, const std::vector<Point> &found, double reach) {
    struct Pair {
        double d;
        int a, b;
    };
    std::vector<Pair> pairs;
    PointGrid grid(std::max(reach, 1.0));
    for (std::size_t b = 0; b < found.size(); ++b) grid.add(found[b], int(b));
    for (std::size_t a = 0; a < truth.size(); ++a)
        grid.near(truth[a], reach, [&](int b, Point q) {
            const double d = std::hypot(truth[a].x - q.x, truth[a].y - q.y);
            if (d <= reach) pairs.push_back({d, int(a), b});
        });
    std::sort(pairs.begin(), pairs.end(), [](const Pair &x, const Pair &y) {
        return x.d != y.d ? x.d < y.d : x.a != y.a ? x.a < y.a : x.b < y.b;
    });
    std::vector<char> ua(truth.size()), ub(found.size());
    int n = 0;
    for (const Pair &p : pairs)
        if (!ua[std::size_t(p.a)] && !ub[std::size_t(p.b)]) ua[std::size_t(p.a)] = ub[std::size_t(p.b)] = 1, ++n;
    return n;
}

// Vertices of the result by degree (points closer than 0.01 px are one).
void vertex_degrees(const std::vector<Polyline> &lines, std::vector<Point> &junctions, std::vector<Point> &ends,
                    long &vertices) {
    std::map<std::pair<long, long>, std::pair<Point, int>> deg;
    auto key = [](Point p) { return std::make_pair(std::lround(p.x * 100), std::lround(p.y * 100)); };
    vertices = 0;
    for (const Polyline &l : lines) {
        std::vector<Point> pts;
        for (const Point &p : l.points)
            if (pts.empty() || key(pts.back()) != key(p)) pts.push_back(p);
        vertices += static_cast<long>(pts.size()) - (l.closed && pts.size() > 1 ? 1 : 0);
        for (std::size_t i = 0; i + 1 < pts.size(); ++i)
            for (const Point &p : {pts[i], pts[i + 1]}) {
                auto &e = deg[key(p)];
                e.first = p;
                ++e.second;
            }
    }
    for (const auto &kv : deg) {
        if (kv.second.second >= 3) junctions.push_back(kv.second.first);
        if (kv.second.second == 1) ends.push_back(kv.second.first);
    }
}

struct Scores {
    double f1 = 0, mean = 0, jrec = 0, jprec = 0, erec = 0, pieces = 0, vertices = 0, closed = 0;
};

Scores score_centre_lines(const Truth &t, const std::vector<Polyline> &lines) {
    Scores s;
    const double tau = std::max(1.5, t.width / 2);
    const PrimitiveIndex truth(t.strokes, 32);
    const std::vector<Primitive> segs = segments_of(lines);
    const PrimitiveIndex result(segs, 32);
    const std::vector<Sample> rs = sample_lines(lines);
    double rlen = 0, rnear = 0, dsum = 0;
    for (const Sample &q : rs) {
        double d = kFar;
        if (truth.nearest(q.at, kFar, &d) < 0) d = kFar;
        rlen += q.weight;
        dsum += d * q.weight;
        if (d <= tau) rnear += q.weight;
    }
    // Truth samples: covered, and which result line covers each, per true
    // edge (the strokes cut at the junctions on them).
    double tlen = 0, tnear = 0, piecesum = 0;
    int edges = 0;
    std::vector<int> owner;
    PointGrid junctions(1.0);
    for (std::size_t i = 0; i < t.junctions.size(); ++i) junctions.add(t.junctions[i], int(i));
    for (const Primitive &p : t.strokes) {
        const std::vector<Point> along = ktvdraw::sample_along(p, kStep);
        std::vector<double> cuts;  // arc lengths of the junctions on the stroke
        for (std::size_t k = 0; k < along.size(); ++k) {
            int at = 0;
            junctions.near(along[k], kStep * 0.75, [&](int, Point j) {
                at += std::hypot(j.x - along[k].x, j.y - along[k].y) < kStep * 0.75;
            });
            cuts.insert(cuts.end(), std::size_t(at), k * kStep);
        }
        std::map<int, double> cover;
        double considered = 0, edge_start = 0;
        auto close_edge = [&](double edge_len) {
            if (edge_len <= 0) return;
            const double need = std::min(3 * tau, 0.25 * edge_len);
            int n = 0;
            for (const auto &c : cover) n += c.second >= need;
            piecesum += std::max(n, 1);
            ++edges;
            cover.clear();
        };
        for (std::size_t k = 0; k < along.size(); ++k) {
            const double at = k * kStep;
            for (double c : cuts)
                if (c > edge_start + 1e-9 && c <= at) {
                    close_edge(c - edge_start);
                    edge_start = c;
                }
            int seg = -1;
            double d = kFar;
            seg = result.nearest(along[k], tau, &d);
            tlen += kStep;
            if (seg >= 0) tnear += kStep;
            bool near_junction = false;
            for (double c : cuts) near_junction |= std::fabs(c - at) <= t.width / 2 + tau;
            if (seg >= 0 && !near_junction) {
                // the polyline of that segment
                int line = 0;
                for (std::size_t acc = 0, L = 0; L < lines.size(); ++L) {
                    const std::size_t n = lines[L].points.size() ? lines[L].points.size() - 1 : 0;
                    if (static_cast<std::size_t>(seg) < acc + n) { line = int(L); break; }
                    acc += n;
                }
                cover[line] += kStep;
            }
            considered += kStep;
        }
        close_edge(along.size() * kStep - edge_start);
    }
    const double rec = tlen > 0 ? tnear / tlen : 0, prec = rlen > 0 ? rnear / rlen : 0;
    s.f1 = rec + prec > 0 ? 2 * rec * prec / (rec + prec) : 0;
    s.mean = rlen > 0 ? dsum / rlen : 0;
    std::vector<Point> rj, re;
    long vertices = 0;
    vertex_degrees(lines, rj, re, vertices);
    const int mj = matched(t.junctions, rj, 2 * tau), me = matched(t.ends, re, 2 * tau);
    s.jrec = t.junctions.empty() ? 1 : double(mj) / t.junctions.size();
    s.jprec = rj.empty() ? 1 : double(mj) / rj.size();
    s.erec = t.ends.empty() ? 1 : double(me) / t.ends.size();
    s.pieces = edges ? piecesum / edges : 0;
    double total = 0;
    for (const Primitive &p : t.strokes) total += length_of(p);
    s.vertices = total > 0 ? 100.0 * vertices / total : 0;
    return s;
}

// The true border of the ink: both sides of every stroke and its round
// caps, where no other stroke's ink covers it.
std::vector<Point> border_samples(const Truth &t) {
    const PrimitiveIndex index(t.strokes, 32);
    std::vector<Point> out;
    std::vector<int> near;
    for (std::size_t i = 0; i < t.strokes.size(); ++i) {
        const Primitive &p = t.strokes[i];
        const double h = p.width / 2;
        std::vector<Point> cand;
        const std::vector<Point> along = ktvdraw::sample_along(p, kStep);
        for (std::size_t k = 0; k < along.size(); ++k) {
            double nx, ny;
            if (p.kind == Primitive::Arc) {
                nx = (along[k].x - p.cx) / p.r, ny = (along[k].y - p.cy) / p.r;
            } else {
                const double len = std::hypot(p.x1 - p.x0, p.y1 - p.y0);
                nx = -(p.y1 - p.y0) / len, ny = (p.x1 - p.x0) / len;
            }
            cand.push_back({along[k].x + h * nx, along[k].y + h * ny});
            cand.push_back({along[k].x - h * nx, along[k].y - h * ny});
        }
        for (const Point &e : ends_of(p))
            for (int a = 0; a < 64; ++a) cand.push_back({e.x + h * std::cos(a * M_PI / 32), e.y + h * std::sin(a * M_PI / 32)});
        for (const Point &c : cand) {
            index.within(c, 40, near);
            bool covered = false;
            for (int j : near)
                if (ktvdraw::distance_to(t.strokes[std::size_t(j)], c) < t.strokes[std::size_t(j)].width / 2 - 1e-6)
                    covered = true;
            if (!covered) out.push_back(c);
        }
    }
    return out;
}

Scores score_outlines(const std::vector<Point> &border, const std::vector<Polyline> &lines) {
    Scores s;
    const double tau = 1.5;
    std::vector<Primitive> dots;
    for (const Point &b : border) {
        Primitive d;
        d.x0 = d.x1 = b.x, d.y0 = d.y1 = b.y;
        dots.push_back(d);
    }
    const PrimitiveIndex truth(dots, 16);
    const std::vector<Primitive> segs = segments_of(lines);
    const PrimitiveIndex result(segs, 32);
    double rlen = 0, rnear = 0, dsum = 0;
    for (const Sample &q : sample_lines(lines)) {
        double d = kFar;
        if (truth.nearest(q.at, kFar, &d) < 0) d = kFar;
        rlen += q.weight;
        dsum += d * q.weight;
        if (d <= tau) rnear += q.weight;
    }
    double tnear = 0;
    for (const Point &b : border) tnear += result.nearest(b, tau) >= 0;
    const double rec = border.empty() ? 0 : tnear / border.size(), prec = rlen > 0 ? rnear / rlen : 0;
    s.f1 = rec + prec > 0 ? 2 * rec * prec / (rec + prec) : 0;
    s.mean = rlen > 0 ? dsum / rlen : 0;
    int closed = 0;
    for (const Polyline &l : lines) closed += l.closed;
    s.closed = lines.empty() ? 0 : double(closed) / lines.size();
    std::vector<Point> rj, re;
    long vertices = 0;
    vertex_degrees(lines, rj, re, vertices);
    s.vertices = border.empty() ? 0 : 100.0 * vertices / (border.size() * kStep / 2);
    return s;
}

// ---- the run ----------------------------------------------------------------

struct Options {
    std::uint64_t seed = 1;
    int width = 1600, height = 1600;
    std::vector<std::vector<double>> widths = {{1}, {2}, {4}, {8}, {16}};  // each sheet's pens, px
    std::string dump;  // folder for the sheets and their truth, or empty
    enum class Sheet { Plain, Technical, Courses } sheet = Sheet::Plain;  // the motifs drawn
};

// A sheet's pens as the report and the file names give them: 2, 5.4, 2.6+5.4.
std::string label(const std::vector<double> &pens) {
    std::string name;
    for (const double w : pens) {
        char text[32];
        std::snprintf(text, sizeof text, "%s%g", name.empty() ? "" : "+", w);
        name += text;
    }
    return name;
}

// Writes the sheet as a PBM and its truth as JSON under `stem` (see the
// top of the file); false with a message on stderr when a file fails.
bool dump_sheet(const std::string &stem, const ktvdraw::Canvas &sheet, const Truth &t) {
    const std::string failed = ktvdraw::write_pbm(stem + ".pbm", sheet.width(), sheet.height(), sheet.stride(), sheet.data());
    if (!failed.empty()) {
        std::fprintf(stderr, "ktvec_fidelity: %s\n", failed.c_str());
        return false;
    }
    std::FILE *f = std::fopen((stem + ".json").c_str(), "w");
    if (!f) {
        std::fprintf(stderr, "ktvec_fidelity: cannot write %s.json\n", stem.c_str());
        return false;
    }
    // Page coordinates put a pixel's centre at (i + 0.5, j + 0.5).
    auto point = [&](Point p) { std::fprintf(f, "[%.3f,%.3f]", p.x - 0.5, p.y - 0.5); };
    std::fprintf(f, "{\"width\":%g,\"edges\":[", t.width);
    for (std::size_t i = 0; i < t.strokes.size(); ++i) {
        std::fputs(i ? ",[" : "[", f);
        const std::vector<Point> along = ktvdraw::sample_along(t.strokes[i], 1.0);
        for (std::size_t k = 0; k < along.size(); ++k) {
            if (k) std::fputc(',', f);
            point(along[k]);
        }
        std::fputc(']', f);
    }
    std::fputs("],\"junctions\":[", f);
    for (std::size_t i = 0; i < t.junctions.size(); ++i)
        std::fprintf(f, "%s{\"x\":%.3f,\"y\":%.3f}", i ? "," : "", t.junctions[i].x - 0.5, t.junctions[i].y - 0.5);
    std::fputs("],\"ends\":[", f);
    for (std::size_t i = 0; i < t.ends.size(); ++i) {
        if (i) std::fputc(',', f);
        point(t.ends[i]);
    }
    std::fputs("]}\n", f);
    return std::fclose(f) == 0;
}

std::vector<Polyline> vectorize(const ktvdraw::Canvas &sheet, const char *command, bool refine, int &failure) {
    const ktvcli::Command *c = ktvcli::find_command(command);
    ktvcli::Settings s = ktvcli::command_defaults(*c);
    std::vector<unsigned char> copy(sheet.bits());
    CKTVector v;
    v.msetdocument(copy.data(), sheet.width(), sheet.stride(), sheet.height());
    failure = c->vectorize(v, s);
    CKTRefiner r;
    if (!failure && refine) failure = c->refine(r, v);
    return failure ? std::vector<Polyline>{} : result_lines(v, refine ? &r : nullptr, s.join_strokes);
}

}  // namespace

int main(int argc, char **argv) {
    Options o;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--seed" && i + 1 < argc) o.seed = std::strtoull(argv[++i], nullptr, 10);
        else if (a == "--dump" && i + 1 < argc) o.dump = argv[++i];
        else if (a == "--technical") o.sheet = Options::Sheet::Technical;
        else if (a == "--courses") o.sheet = Options::Sheet::Courses;
        else if (a == "--size" && i + 1 < argc) std::sscanf(argv[++i], "%dx%d", &o.width, &o.height);
        else if (a == "--widths" && i + 1 < argc) {
            o.widths.clear();
            for (char *p = argv[++i]; *p;) {
                o.widths.emplace_back(1, std::strtod(p, &p));
                while (*p == '+') o.widths.back().push_back(std::strtod(p + 1, &p));
                if (*p == ',') ++p;
                else break;
            }
        } else {
            std::fprintf(stderr, "usage: ktvec_fidelity [--seed N] [--size WxH] [--widths 1,2,4,8,16] [--technical | --courses] "
                                 "[--dump DIR]\n");
            return 2;
        }
    }
    const char *kind = o.sheet == Options::Sheet::Technical ? "technical sheets"
                       : o.sheet == Options::Sheet::Courses ? "sheets of brick courses"
                                                            : "sheets";
    std::printf("## Fidelity on %s of known vectors (%dx%d, seed %llu)\n\n", kind, o.width, o.height,
                static_cast<unsigned long long>(o.seed));
    std::printf("### Centre lines (`ktvec centerline`, its defaults)\n\n");
    std::printf("| stroke | sheet | stage | F1 | mean d | J rec | J prec | E rec | pcs/edge | v/100px |\n");
    std::printf("|---|---|---|---|---|---|---|---|---|---|\n");
    std::vector<std::string> outline_rows;
    for (const bool noisy : {false, true})
        for (const std::vector<double> &pens : o.widths) {
            ktvdraw::GroundTruthOptions g;
            g.pens = pens;
            if (pens.size() == 1) g.min_width = g.max_width = static_cast<int>(pens[0]);
            const double w = *std::max_element(pens.begin(), pens.end());
            const std::string name = label(pens);
            g.noise = noisy;
            const ktvdraw::Canvas sheet =
                o.sheet == Options::Sheet::Technical ? ktvdraw::render_technical_sheet(o.width, o.height, o.seed, g)
                : o.sheet == Options::Sheet::Courses ? ktvdraw::render_courses_sheet(o.width, o.height, o.seed, g)
                                                     : ktvdraw::render_ground_truth(o.width, o.height, o.seed, g);
            const Truth truth = make_truth(sheet, w);
            const std::vector<Point> border = border_samples(truth);
            if (!o.dump.empty() &&
                !dump_sheet(o.dump + "/sheet-" + name + (noisy ? "-jagged" : "-clean"), sheet, truth))
                return 1;
            for (const bool refine : {false, true}) {
                int failure = 0;
                const Scores c = score_centre_lines(truth, vectorize(sheet, "centerline", refine, failure));
                std::printf("| %s | %s | %s | %.3f | %.3f | %.3f | %.3f | %.3f | %.3f | %.2f |\n", name.c_str(),
                            noisy ? "jagged" : "clean", refine ? "refined" : "driver", c.f1, c.mean, c.jrec, c.jprec,
                            c.erec, c.pieces, c.vertices);
                if (failure) std::printf("(failed: %d)\n", failure);
                const Scores l = score_outlines(border, vectorize(sheet, "outline", refine, failure));
                char row[256];
                std::snprintf(row, sizeof row, "| %s | %s | %s | %.3f | %.3f | %.3f | %.2f |\n", name.c_str(),
                              noisy ? "jagged" : "clean", refine ? "refined" : "driver", l.f1, l.mean, l.closed,
                              l.vertices);
                outline_rows.push_back(row);
            }
            std::fflush(stdout);
        }
    std::printf("\n### Outlines (`ktvec outline`, its defaults)\n\n");
    std::printf("| stroke | sheet | stage | F1 | mean d | closed | v/100px |\n|---|---|---|---|---|---|---|\n");
    for (const std::string &r : outline_rows) std::fputs(r.c_str(), stdout);
    return 0;
}
