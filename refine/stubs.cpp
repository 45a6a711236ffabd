// Stroke ends that the centre lines lost.
//
// Thinning wears a short stroke end away when it lies near a junction (it
// cannot tell it from a burr on the border of a wide stroke), and the spur
// pass and the clean-up drop what is left.  So the overshoot of two lines
// past a corner, the arms of a cross hair and the ticks on a line vanish,
// and with them an end and a junction of the drawing.  The ink still shows
// them.  Each line explains the ink within half its stroke width (and a
// margin for ragged edges) of it; a piece of ink that no line explains and
// that hangs off an explained one is a lost end when it sticks out clearly
// and is slender.  It gets a line of its own, from the point where its axis
// meets the line it hangs off (the corner, when it continues a line past
// one) to the tip of its ink.  A piece that touches no explained ink at
// all is a mark of its own that the clean-up took for a speck, a dot.
#include "refine/stubs.h"

#include "refine/segment_grid.h"
#include "refine/unexplained.h"

#include <algorithm>
#include <cmath>
#include <cstdint>

namespace ktv::refine {

namespace {

constexpr double kMargin = 1.0;     // ink this far beyond half the width is still explained, px
constexpr double kStick = 0.8;      // a lost end's tip sticks out of the explained band by this much, px
constexpr double kStickPerWidth = 0.5;  // ... and by half the stroke width: the corners of a wide
                                        // stroke stick out of the band around its centre line
constexpr double kInkStick = 1.0;   // the same for the far side of its ink, where it runs on a line, px
constexpr double kRunsOn = 0.94;    // cosine within which a stub runs on the line behind it (20 degrees)
constexpr double kBehind = -0.7;    // cosine beyond which a line leaves a point behind the stub (45 degrees)
constexpr double kApexBehind = 0.0; // cosine beyond which the line leaves an apex behind the stub: the
                                    // chords of a cusp's loops leave it at up to 65 degrees from back
constexpr double kApexAhead = 0.9;  // cosine within which a V's tip lies straight ahead of its apex
constexpr double kApexNarrow = 0.5; // cosine of the widest angle between a V's arms (60 degrees) ...
constexpr double kApexWider = 0.5;  // ... beyond which the ink past its apex is this much wider than its line, px
constexpr double kApexOpening = 0.1; // ... or both its sides turn this much farther from straight back (cosine)
constexpr double kOffMiddle = 0.5;  // a chord whose middle lies this far off its stroke's gets a point there, px
constexpr std::size_t kMaxPiece = 2000;  // larger unexplained pieces are not lost ends, px
constexpr double kEndCap = 0.5;     // a restored end stops this far inside the ink's tip, px
constexpr double kTickLength = 2.0; // a tick runs on at least this far past its line's ink, px
constexpr double kTickWidth = 1.5;  // ... at most this wide, px
constexpr double kTickSlant = 0.5;  // ... at no more than 60 degrees from square to the line (cosine)
constexpr double kSlantMin = 0.25;   // a piece leaves its line at a slant from 15 degrees (sine) ...
constexpr double kSlantMax = 0.707;  // ... to 45 degrees ...
constexpr double kSlantLength = 2.5; // ... when it runs this far from where it touches the line, px
constexpr double kAcrossReach = 12.0;  // farthest a cut across a piece looks for its edges, px
constexpr double kMinMarkLength = 1.0; // a dot's line is this long, px
constexpr double kJointSine = 0.5;  // a stem crossing its line at 30 degrees or more ...
constexpr double kJointGrid = 1.0;  // ... is at most this much wider past it than its line, px

// The mean of the pixels' centres; `pixels` holds one at least.
Vec2 mean_of(const Array<Pixel> &pixels) {
    Vec2 sum{};
    for (const Pixel &p : pixels) sum = sum + p.centre();
    return sum * (1.0 / static_cast<double>(pixels.size()));
}

// A point to insert into a line: on segment `at` at parameter t.
struct Insert {
    int line, at;
    double t;
    Vec2 p;
};

// A point of a line to move.
struct Move {
    int line, point;
    Vec2 to;
};

struct Stub {
    Vec2 from, to;
    int node;  // node index at `from` when it is a point of a line, else -1
};

// Calls use(away, line, point) for each way a line leaves point `at` of
// the lines: `point` of `line` is at `at`, and `away` is the first point
// of the line at least `reach` from it that way, or its last.  A point
// repeated gives no way of its own: the segments on either side count.
template <class Grid, class Use>
void ways_from(const LineSet &lines, const Array<Segment> &segments, const Grid &grid, Vec2 at, double reach, Use use) {
    grid.near(at, [&](int s) {
        const Segment &g = segments[static_cast<std::size_t>(s)];
        if (norm(g.b - g.a) < 1e-9) return;
        for (int e = 0; e < 2; ++e) {
            if (norm((e ? g.b : g.a) - at) > 1e-9) continue;
            Vec2 away = e ? g.a : g.b;
            for (int k = g.at + (e ? 0 : 1); k >= 0 && k < lines.points(g.line) && norm(away - at) < reach;
                 k += e ? -1 : 1)
                away = lines.point(g.line, k);
            if (norm(away - at) < 1e-9) continue;
            use(away, g.line, g.at + e);
        }
    });
}

// Whether a stub leaving point `at` of the lines in direction `dir` runs
// on a line that comes to `at` from straight behind it, at a corner or a
// junction: `at` ends two lines or more, and only one of them leaves it
// behind the stub (within 45 degrees of straight back: the chords of a
// small ring's polygon leave a crossing at up to 60), that one within
// 20.  Each line's way is taken over a few pixels, past a chamfer.  So the
// overshoot of a line past a corner and the arm of a cross qualify; the
// ink poking out of a sharp corner between two lines, and a bump beside a
// line, do not.  Gets the line it runs on in `stem`.
template <class Grid>
bool runs_on(const LineSet &lines, const Array<Segment> &segments, const Grid &grid, Vec2 at, Vec2 dir,
             double width, int &stem) {
    int meeting = 0, behind = 0, straight = 0;
    ways_from(lines, segments, grid, at, 2 + width, [&](Vec2 away, int line, int) {
        const double c = dot(unit(away - at), dir);
        ++meeting;
        behind += c < kBehind;
        if (c <= -kRunsOn) ++straight, stem = line;
    });
    return meeting >= 2 && behind == 1 && straight == 1;
}

// Whether the ink past a joint at `at`, where a stem `stem` wide meets the
// line of segment h (a stroke `w` wide) and would run on across it in
// direction `dir`, is a dot on the joint rather than the stem's own ink: a
// schematic marks the T's that join wires with a dot a few pens across,
// which sticks out past the through-line as a round bump.  Just past the
// through-line's ink, along it, the bump is wider than the stem crossing
// there would be, by more than the pixel the grid may add.
bool dot_on_joint(const Ink &ink, const Segment &h, Vec2 at, Vec2 dir, double w, double stem) {
    const Vec2 along = unit(h.b - h.a);
    const double sine = std::fabs(cross(dir, along));
    if (sine < kJointSine) return false;
    Run r;
    return run_across(ink, at + dir * ((0.5 * w + 0.5) / sine), along, kAcrossReach, r) &&
           r.width() * sine > stem + kJointGrid;
}

// The point of the lines at `at` that is the apex of a V or a cusp whose
// tip a stub `length` long leaving it in direction `dir` would draw: a
// point inside one line, ending no other, whose line leaves it backwards
// both ways, behind the square to the stub and about as far to either side
// of straight back, for twice the stub's length at least.  Two strokes
// that meet at a narrow angle run merged to the tip, and where the
// clean-up cut the skeleton's stub there, the line turns back inside the
// merged ink, short of where the strokes meet.  (The chords of a cusp's
// loops leave it at up to 65 degrees from straight back; the overshoot of
// a line past a corner leaves it at 45 degrees from the corner's middle,
// or nearer where its line ends in a short chamfer, which the length
// rules out.)  Where the line's two ways part by more than 60 degrees, the
// ink beyond the apex must also be `wider` than one stroke, as two merged
// ones are, or both ways open out from it, as a cusp's loops do: a short
// stem off a Y is neither.  Gets the line and point; false when `at` is no
// such apex.
template <class Grid>
bool apex(const LineSet &lines, const Array<Segment> &segments, const Grid &grid, Vec2 at, Vec2 dir, double length,
          double width, bool wider, int &line, int &point) {
    const double reach = std::max(2 + width, 2 * length);
    int meeting = 0, behind = 0;
    Vec2 ways[2];
    double farthest = reach;  // of the points the ways are taken to
    line = -1;
    ways_from(lines, segments, grid, at, reach, [&](Vec2 away, int on, int k) {
        if (meeting < 2) ways[meeting] = unit(away - at), farthest = std::max(farthest, norm(away - at));
        ++meeting;
        behind += norm(away - at) >= reach && dot(unit(away - at), dir) < kApexBehind;
        if (line < 0 || on == line) line = on, point = k;
        else line = -2;  // a second line: a junction
    });
    if (meeting != 2 || behind != 2 || line < 0 || lines.line(line).closed ||
        dot(dir, unit(ways[0] + ways[1])) > -kApexAhead)
        return false;
    if (wider || dot(ways[0], ways[1]) >= kApexNarrow) return true;
    // Both ways open out when, taken twice as far out as the farther of
    // the points they were taken to (a long chord may reach past twice the
    // reach), each turns farther from straight back: the loops of a cusp
    // drawn with a pen of a pixel or two, whose merged ink ends no wider
    // than one stroke.
    int farther = 0, opening = 0;
    ways_from(lines, segments, grid, at, 2 * farthest, [&](Vec2 away, int, int) {
        if (farther < 2) opening += dot(unit(away - at), dir) > dot(ways[farther], dir) + kApexOpening;
        ++farther;
    });
    return farther == 2 && opening == 2;
}

// Whether the ink at `tip` is the end of a tick on segment h of a stroke
// `w` wide: a stroke a pixel wide leaving the line across it and running on
// at least kTickLength past the line's own ink.  The band a line explains
// reaches over most of a short tick (on a dimension line, a scale), so
// what is left of it looks like a bump; but the bumps of a ragged edge
// stand at most a pixel past the ink and are as wide as they are long.
bool tick(const Ink &ink, const Segment &h, Vec2 tip, double w) {
    double t;
    distance_to_segment(tip, h.a, h.b, t);
    const Vec2 foot = h.a + (h.b - h.a) * t, dir = unit(tip - foot), n = perp(dir);
    if (std::fabs(dot(dir, unit(h.b - h.a))) > kTickSlant) return false;
    const double reach = ink.at(foot) ? ink.edge(foot, dir, w + kTickLength + 4, false) : kNoEdge;
    if (reach >= kNoEdge || reach - 0.5 * w < kTickLength) return false;
    // One pixel wide with paper on both sides, from just past the line's
    // ink to just short of the end.
    for (double along = 0.5 * w + 1; along <= reach - 0.5; along += 1) {
        Run r;
        if (!ink.at(foot + dir * along) || !run_across(ink, foot + dir * along, n, kTickLength, r) || r.width() > kTickWidth)
            return false;
    }
    return true;
}

// A mark on its own: a piece of ink that no line explains and that touches
// none.  The clean-up drops a dot, a period or the short dash of a
// dash-dot line as a speck, since thinning leaves a point or a segment of a
// pixel or two of it.  It gets the centre line of a stroke with round ends:
// along the piece's principal axis, half its width across that axis inside
// each end (a round dot's centre line is its centre), and at least
// kMinMarkLength long, so that writers draw it.  False for dust.
bool mark(const Array<Pixel> &piece, Stub &m) {
    if (piece.size() < kMinMark) return false;
    const Vec2 centre = mean_of(piece);
    double xx = 0, xy = 0, yy = 0;
    for (const Pixel &p : piece) {
        const Vec2 d = p.centre() - centre;
        xx += d.x * d.x;
        xy += d.x * d.y;
        yy += d.y * d.y;
    }
    const Vec2 u = half_angle(xx - yy, 2 * xy), n = perp(u);
    double lo = 1e300, hi = -1e300, left = 1e300, right = -1e300;
    for (const Pixel &p : piece) {
        const Vec2 d = p.centre() - centre;
        lo = std::min(lo, dot(d, u));
        hi = std::max(hi, dot(d, u));
        left = std::min(left, dot(d, n));
        right = std::max(right, dot(d, n));
    }
    const double half = 0.5 * std::max(kMinMarkLength, hi - lo - (right - left));
    const Vec2 middle = centre + u * (0.5 * (lo + hi)) + n * (0.5 * (left + right));
    m = {middle - u * half, middle + u * half, -1};
    return true;
}

}  // namespace

int restore_stubs(const Ink &ink, const Array<double> &widths, LineSet &lines, int threads) {
    const int width = ink.width(), height = ink.height();
    Array<Segment> segments;
    if (!segments_of(lines, widths, kMargin, segments)) return KTVEC_NO_MEMORY;
    // The unexplained ink, and where it touches explained ink.
    Array<Capsule> capsules;
    Array<LoosePixel> loose;
    Array<std::size_t> rowstart;
    if (!capsules.reserve(segments.size())) return KTVEC_NO_MEMORY;
    for (const Segment &g : segments) capsules.push({g.a, g.b, g.reach});
    // The grid of segments is built on the calling thread while other
    // threads sweep the page.
    SegmentGrid grid;
    struct GridChore : Chore {
        SegmentGrid &grid;
        const Array<Segment> &segments;
        int width, height;
        GridChore(SegmentGrid &g, const Array<Segment> &s, int w, int h) : grid(g), segments(s), width(w), height(h) {}
        // Queries come from up to a cell beyond a band: a piece's base and
        // the points a stub may start from.
        bool run() override { return grid.build(segments, width, height, SegmentGrid::kCell); }
    } chore(grid, segments, width, height);
    if (!find_unexplained(ink, capsules, loose, rowstart, threads, &chore)) return KTVEC_NO_MEMORY;
    // For each loose pixel, where its neighbours in the rows above and
    // below may begin: the first loose pixel there from x - 1 on.  Raster
    // order keeps every row sorted, so one pass over each pair of rows.
    Array<std::size_t> above, below;
    if (!above.resize(loose.size(), 0) || !below.resize(loose.size(), 0)) return KTVEC_NO_MEMORY;
    for (int y = 0; y < height; ++y) {
        for (const int dy : {-1, 1}) {
            if (y + dy < 0 || y + dy >= height) continue;
            Array<std::size_t> &first = dy < 0 ? above : below;
            std::size_t j = rowstart[std::size_t(y + dy)];
            const std::size_t end = rowstart[std::size_t(y + dy) + 1];
            for (std::size_t i = rowstart[std::size_t(y)]; i < rowstart[std::size_t(y) + 1]; ++i) {
                while (j < end && loose[j].x < loose[i].x - 1) ++j;
                first[i] = j;
            }
        }
    }

    Array<unsigned char> seen;
    Array<Pixel> piece, attach;
    Array<long> stack;
    Array<Insert> inserts;
    Array<Stub> stubs;
    Array<Move> apexes;
    if (!seen.resize(loose.size(), 0)) return KTVEC_NO_MEMORY;
    for (std::size_t start = 0; start < loose.size(); ++start) {
        if (seen[start]) continue;
        // The unexplained piece of ink around it, 8-connected.
        piece.clear();
        attach.clear();
        stack.clear();
        bool large = false;
        seen[start] = 1;
        if (!stack.push(static_cast<long>(start))) return KTVEC_NO_MEMORY;
        while (!stack.empty()) {
            const std::size_t at = std::size_t(stack.back());
            const LoosePixel lp = loose[at];
            stack.pop();
            const Pixel p{lp.x, lp.y};
            if (piece.size() < kMaxPiece) {
                if (!piece.push(p) || (lp.touches && !attach.push(p))) return KTVEC_NO_MEMORY;
            } else {
                large = true;
            }
            // The eight neighbours, row by row and left to right.
            for (int dy = -1; dy <= 1; ++dy) {
                if (p.y + dy < 0 || p.y + dy >= height) continue;
                const std::size_t end = rowstart[std::size_t(p.y + dy) + 1];
                std::size_t q = dy < 0 ? above[at] : dy > 0 ? below[at] : at;
                if (dy == 0 && q > rowstart[std::size_t(p.y)] && loose[q - 1].x == p.x - 1) --q;
                for (; q < end && loose[q].x <= p.x + 1; ++q) {
                    if ((dy == 0 && q == at) || seen[q]) continue;
                    seen[q] = 1;
                    if (!stack.push(static_cast<long>(q))) return KTVEC_NO_MEMORY;
                }
            }
        }
            if (large) continue;
            if (attach.empty()) {
                Stub m;
                if (mark(piece, m) && !stubs.push(m)) return KTVEC_NO_MEMORY;
                continue;
            }

            const Vec2 base = mean_of(attach);
            // The line it hangs off: the segment nearest to where it touches.
            int host = -1;
            double best = 1e300, hostt = 0;
            grid.near(base, [&](int s) {
                double t;
                const double d = distance_to_segment(base, segments[static_cast<std::size_t>(s)].a,
                                                     segments[static_cast<std::size_t>(s)].b, t);
                if (d < best) best = d, host = s, hostt = t;
            });
            if (host < 0) continue;
            const Segment &h = segments[static_cast<std::size_t>(host)];
            const double w = 2 * (h.reach - kMargin);
            // Its tip: the middle of the pixels farthest from the base.
            double far = 0;
            for (const Pixel &p : piece) far = std::max(far, norm(p.centre() - base));
            Vec2 tip{};
            int tips = 0;
            for (const Pixel &p : piece)
                if (norm(p.centre() - base) >= far - 1) tip = tip + p.centre(), ++tips;
            tip = tip * (1.0 / tips);
            // It must stick out of the band and be slender.  A piece whose
            // tip (the middle of its last pixels) does is a lost end.  One
            // whose ink does, to the far side of its farthest pixel, is
            // still one where it runs on a line past a corner or through a
            // junction (checked below): the overshoots of lines two pixels
            // wide are a couple of pixels long, and their tips lie less
            // than that beyond the band.
            double t, extent = 0;
            for (const Pixel &p : piece)
                extent = std::max(extent, distance_to_segment(p.centre(), h.a, h.b, t));
            const double tip_off = distance_to_segment(tip, h.a, h.b, t);  // t: the tip's foot on h
            const bool short_end = tip_off - h.reach < std::max(kStick, kStickPerWidth * w);
            if (short_end && extent + 0.5 - h.reach < std::max(kInkStick, kStickPerWidth * w)) continue;
            // It must be a stroke's end: narrower across than it sticks out
            // from its line, and about as many pixels as a stroke that wide
            // and long has.  What a blob at a junction (the dot of a
            // schematic's joint, a fillet) leaves beyond the lines is as
            // wide as it is long; a tick may be wider than its line.  The
            // cut goes square to the way it sticks out, or, where it
            // leaves its line at a slant (the side of an arrowhead, long
            // enough to show its own axis), square to that axis: square to
            // the line's way, it would run along it.
            const Vec2 hd = h.b - h.a;
            const Vec2 d = unit(tip - base);
            const double slant = std::fabs(cross(d, unit(hd)));  // sine of the angle its axis meets its line at
            const bool slanted = far >= kSlantLength && slant >= kSlantMin && slant <= kSlantMax;
            double stroke = w;
            Run across;
            if (tip_off > 0 && run_across(ink, (base + tip) * 0.5, perp(slanted ? d : unit(tip - (h.a + hd * t))),
                                          kAcrossReach, across)) {
                if (across.width() > extent) continue;
                stroke = std::max(stroke, across.width());
            }
            if (static_cast<double>(piece.size()) > (far + 1) * std::max(2.5, 1.5 * stroke)) continue;
            // A piece that touches explained ink at its far end too joins two
            // lines (a stretch of a crowded drawing the lines missed), it
            // does not end.
            bool bridge = false;
            for (const Pixel &p : attach)
                if (norm(p.centre() - base) > 0.5 * far + 1) bridge = true;
            if (bridge) continue;
            // Where its axis meets the host line, kept near the touching
            // point: a piece that continues its host past the host's end
            // runs nearly along it, and its axis may meet the host's line
            // anywhere, far back along the host as often as not.  A slanted
            // piece's axis meets it as far back as the band reaches along
            // that slant.
            Vec2 from = h.a + hd * hostt;
            const double den = cross(d, hd);
            if (std::fabs(den) > 1e-9) {
                const double s = cross(h.a - tip, hd) / den;  // tip + d * s lies on the host line
                const Vec2 meet = tip + d * s;
                double tm;
                if (norm(meet - from) <= std::max(w + 1.5, slanted ? (h.reach + 1) / slant : 0.0)) {
                    distance_to_segment(meet, h.a, h.b, tm);
                    hostt = tm;
                    from = h.a + hd * tm;
                }
            }
            // A point of the line close by takes the stub (a corner, a junction).
            const double snap = std::max(1.0, 0.5 * w + 0.5);
            int node = -1;
            Vec2 at = from;
            double nearest = snap;
            grid.near(from, [&](int s) {
                const Segment &g = segments[static_cast<std::size_t>(s)];
                for (int e = 0; e < 2; ++e) {
                    const Vec2 q = e ? g.b : g.a;
                    const double dq = norm(q - from);
                    if (dq <= nearest) nearest = dq, at = q, node = lines.node(g.line, g.at + e);
                }
            });
            if (short_end && !tick(ink, h, tip, w)) {
                int stem = -1;
                if (nearest >= snap || !runs_on(lines, segments, grid, at, unit(tip - at), w, stem) ||
                    dot_on_joint(ink, h, at, unit(tip - at), w, widths[static_cast<std::size_t>(stem)]))
                    continue;
            }
            if (nearest >= snap) {
                if (!inserts.push({h.line, h.at, hostt, from})) return KTVEC_NO_MEMORY;
                at = from;
                node = -1;
            }
            // The end at the tip of the ink along the stub.
            const Vec2 dir = unit(tip - at);
            const double edge = ink.edge(tip, dir, 4 + w, false);
            int vline = -1, vpoint = -1;
            if (nearest < snap && apex(lines, segments, grid, at, dir, norm(tip - at), w, stroke >= w + kApexWider, vline, vpoint)) {
                // The two strokes meet as far inside the tip as they
                // would at a free end: half a stroke width.
                const Vec2 ink_tip = edge < kNoEdge ? tip + dir * edge : tip;
                if (!apexes.push({vline, vpoint, ink_tip - dir * std::max(kEndCap, 0.5 * w)})) return KTVEC_NO_MEMORY;
                continue;
            }
            const Vec2 end = edge < kNoEdge ? tip + dir * std::max(0.0, edge - kEndCap) : tip;
            if (!stubs.push({at, end, node})) return KTVEC_NO_MEMORY;
        }
    // An apex and the points placed with it (at one spot) go to the tip.
    // The chords on either side then run from the tip, and where the
    // strokes curve away from it (a cusp's loops), their middles leave
    // the ink: each gets a point on the middle of its stroke there.
    for (const Move &m : apexes) {
        const Vec2 was = lines.point(m.line, m.point);
        int lo = m.point, hi = m.point;
        while (lo > 0 && norm(lines.point(m.line, lo - 1) - was) < 1e-9) --lo;
        while (hi + 1 < lines.points(m.line) && norm(lines.point(m.line, hi + 1) - was) < 1e-9) ++hi;
        for (int k = lo; k <= hi; ++k) lines.set(m.line, k, m.to);
        const double w = widths[static_cast<std::size_t>(m.line)];
        for (const int seg : {lo - 1, hi}) {
            if (seg < 0 || seg + 1 >= lines.points(m.line)) continue;
            const Vec2 a = lines.point(m.line, seg), b = lines.point(m.line, seg + 1);
            if (norm(b - a) < 2 * w + 2) continue;
            const Vec2 mid = (a + b) * 0.5, n = perp(unit(b - a));
            Run r;
            if (!run_across(ink, mid, n, kAcrossReach, r) || std::fabs(r.middle()) < kOffMiddle || r.width() > 1.5 * w + 1)
                continue;
            if (!inserts.push({m.line, seg, 0.5, mid + n * r.middle()})) return KTVEC_NO_MEMORY;
        }
    }
    if (stubs.empty() && inserts.empty()) return 0;

    // The lines again, with the new points and the stubs.
    std::sort(inserts.begin(), inserts.end(), [](const Insert &a, const Insert &b) {
        return a.line != b.line ? a.line < b.line : a.at != b.at ? a.at < b.at : a.t < b.t;
    });
    LineSet grown;
    std::size_t next = 0;
    const bool built = copy_with_points(lines, grown, [&](int i, int k, LineSet &to) {
        while (next < inserts.size() && inserts[next].line == i && inserts[next].at == k)
            if (!to.add(inserts[next++].p, -1)) return false;
        return true;
    });
    if (!built) return KTVEC_NO_MEMORY;
    for (const Stub &s : stubs) {
        if (!grown.begin(0) || !grown.add(s.from, s.node) || !grown.add(s.to, -1)) return KTVEC_NO_MEMORY;
        grown.end();
    }
    lines.swap(grown);
    return 0;
}

}  // namespace ktv::refine
