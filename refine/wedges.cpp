// Two strokes that meet at a narrow angle run merged for w / sin of the
// angle, and thinning puts their junction where the ink parts, not
// where they meet.  Their own lines cross too flatly to say how far on
// that is (a tenth of a pixel of offset moves it a pixel along), but
// the ink does: where the stroke leaving the wedge holds both strokes,
// as wide as the two together, all the way to a node (the corner or
// the line the two run into, past the bends the approximation put in
// the merged stroke), they meet there.  The junction and those bends
// then take that node's place; two junctions that each run merged into
// the other (a shallow crossing) meet halfway.  Where the merged stroke
// ends free, it is the tip of a V or of a cusp (an inductor's loops):
// the two meet half a stroke width inside the tip of the ink, and the
// stub the skeleton drew to the tip shrinks to that point.  A cusp's
// curves, drawn straight from there, would cut across their loops: they
// first go back to where thinning parted them, each on its own side.
//
// Thick strokes part a stroke width or two before they meet, so from
// where thinning parts them they leave at up to twice their angle: they
// are judged from the junction or the corner the merged stroke runs into
// (an X in a box), where their ways must lie within a stroke of each
// other at the parting.
//
// An open arrowhead is three such strokes: its two sides and the line
// they point along (a dimension line, a leader), merged up to the tip,
// where the line they point at often runs on.  Thinning parts them in a
// junction of four links well before the tip, so the sides leave it at
// twice their slant or more; seen from the tip, they part narrowly.
#include "refine/wedges.h"

#include <algorithm>
#include <cmath>

namespace ktv::refine {

namespace {

constexpr double kWedgeCos = 0.866;     // cosine of the widest angle between two branches that merge (30 degrees)
constexpr double kArrowCos = 0.707;     // ... of an arrowhead's sides, seen from its tip (45 degrees)
constexpr double kPartedCos = 0.5;      // ... of two thick ones that merge, seen from their parting (60 degrees)
constexpr double kMetCos = 0.8;         // ... and from where they meet (37 degrees: way points lie a pixel off)
constexpr double kWedgeOpposite = 0.9;  // the merged stroke leaves within this cosine of straight opposite them
constexpr double kWedgeMerged = 0.75;   // a cut this share of the two strokes' widths wide holds both
constexpr double kWedgeWider = 0.5;     // ... and this much wider than the wider of them, px
constexpr double kWedgeShare = 0.6;     // share of the merged stroke's cuts that must hold both
constexpr double kWedgeReach = 40.0;    // longest merged stroke looked along, px
constexpr int kWedgeSteps = 4;          // most links a merged stroke is followed along
constexpr double kWedgeAhead = 0.7;     // cosine of the largest turn of the merged stroke from its first link
constexpr double kCuspCos = -0.5;       // cosine of the widest angle between the arms of a V or cusp (120 degrees)
constexpr double kTipShare = 0.5;       // share of a merged tip's cuts that must hold both
constexpr double kInkedShare = 0.8;     // share of the steps along an arm through a tip that must be ink
constexpr double kTipPixel = 2.0;       // a stub this short off a V's junction is its tip's last pixels, px
constexpr double kSplitWidth = 5.0;     // narrowest sides of an arrowhead thinning splits in two junctions, px
constexpr double kSamePen = 0.67;       // narrowest share of the wider side an arrowhead's other side is wide
constexpr double kShortTipCos = 0.5;    // cosine of the widest angle between the arms of a V whose tip is
                                        // shorter than they are wide (60 degrees) ...
constexpr double kShortTipAxis = 0.94;  // ... and of the largest angle of the tip to their middle (20 degrees)
constexpr double kThickWidth = 3.0;     // narrowest strokes thinning parts well before they meet, px
constexpr double kWayReach = 2.0;       // a branch's way is taken this many stroke widths out at least
constexpr double kSamePlace = 0.5;      // nodes placed this close are at one place, px
constexpr double kStubPoint = 1.0;      // a stub shorter than this points nowhere in particular, px
constexpr double kCuspLength = 3.5;     // longest tip of a cusp, in stroke widths (thin pens merge for
                                        // several widths) ...
constexpr double kCuspShortest = 0.8;   // ... and shortest: the skeleton's stub to the outer corner of a
                                        // thick corner of 90 degrees or more is 0.71 widths at most
constexpr double kCuspAxis = 0.97;      // cosine of the largest angle of a cusp's tip to its arms' middle (14 degrees)
constexpr double kCuspTurn = 0.15;      // a cusp's arm turns this many widths off its tip's axis
constexpr double kCornerCos = 0.5;      // cosine of the widest angle between the arms of an acute corner (60 degrees)
constexpr double kCornerNarrow = 0.95;  // ... and of the narrowest whose lines meet well (18 degrees)

// Whether and how a junction goes to the tip of its V: inside the tip of
// the ink, at its place already, inside the tip with its arms turning at
// its place (a cusp), or where the lines of an acute corner's arms meet.
enum TipMove : unsigned char { kNoTip, kToTip, kAtTip, kCusp, kToCorner };

// The pass over the placing state's view.
class Wedges : NodeGraph {
public:
    Wedges(const NodeGraph &g, Array<CuspTurn> &turns) : NodeGraph(g), turns(turns) {}

    bool run() {
        Array<int> into;          // per junction: the node its wedge runs merged into, or -1
        Array<std::size_t> via;   // ... and the link the merged stroke leaves it by
        Array<double> inset;      // ... and for a tip, how far inside the ink the two meet, px
        Array<unsigned char> tip;  // ... and for a tip, how the junction goes there (TipMove)
        Array<int> start;         // ... and the node `via` leaves: j, or its partner in a split arrowhead
        Array<Vec2> meet;         // ... and for an acute corner, where its arms' lines meet
        if (!into.resize(u(nodes), -1) || !via.resize(u(nodes), 0) || !inset.resize(u(nodes), 0) ||
            !tip.resize(u(nodes), kNoTip) || !start.resize(u(nodes), -1) || !meet.resize(u(nodes)))
            return false;
        for (int j = 0; j < nodes; ++j) {
            if (degree[u(j)] != 3 && degree[u(j)] != 4) continue;
            start[u(j)] = j;
            into[u(j)] = wedge_end(j, via[u(j)], inset[u(j)], tip[u(j)], meet[u(j)]);
            // A junction tied to its neighbours was placed where their
            // lines meet, and stays there, but for a V's tip: thinning
            // parts a V of a middle pen with a bend inside the junction
            // link, tied to the junction, and the two meet at the tip all
            // the same.
            if (anchor[u(j)] >= 0) {
                if (into[u(j)] >= 0 && degree[u(into[u(j)])] != 1) into[u(j)] = -1;
                continue;
            }
            if (into[u(j)] < 0 && degree[u(j)] == 3) into[u(j)] = split_arrow_end(j, via[u(j)], start[u(j)]);
        }
        Array<Vec2> at;
        if (!at.resize(u(nodes))) return false;
        for (int j = 0; j < nodes; ++j) {
            if (into[u(j)] < 0) continue;
            if (const int tip_node = into[u(j)]; degree[u(tip_node)] == 1) {
                const Vec2 out = unit(placed[u(tip_node)] - placed[u(j)]);  // apart: merged_tip needs a length
                const double edge = ink.edge(placed[u(tip_node)], out, kReach, false);
                const Vec2 end = edge < kNoEdge ? placed[u(tip_node)] + out * edge : placed[u(tip_node)];
                at[u(j)] = tip[u(j)] == kAtTip ? placed[u(j)] : tip[u(j)] == kToCorner ? meet[u(j)] : end - out * inset[u(j)];
                if (tip[u(j)] == kCusp && !turns.push(cusp_turn(j, tip_node, out, 2 * inset[u(j)]))) return false;
                if (2 * inset[u(j)] >= kThickWidth) clear_tip(j, via[u(j)], 2 * inset[u(j)]);
                continue;
            }
            // Along a chain of such junctions to the last, a step at most
            // per junction of the chain.
            int last = into[u(j)];
            for (int step = 0; step < nodes && into[u(last)] >= 0 && into[u(last)] != j; ++step) {
                if (into[u(into[u(last)])] == last) break;  // the chain ends in a pair
                last = into[u(last)];
            }
            const int pair = into[u(last)];
            at[u(j)] = pair >= 0 && into[u(pair)] == last ? (placed[u(last)] + placed[u(pair)]) * 0.5 : placed[u(last)];
        }
        for (int j = 0; j < nodes; ++j) {
            if (into[u(j)] < 0) continue;
            // The members of its tied group next to the junction share its
            // place, and go with it.
            if (anchor[u(j)] >= 0)
                for (std::size_t a = adjstart[u(j)]; a < adjstart[u(j) + 1]; ++a) {
                    const int n = other(links[adj[a]], j);
                    if (anchor[u(n)] == anchor[u(j)] && norm(placed[u(n)] - placed[u(j)]) < kSamePlace)
                        placed[u(n)] = at[u(j)];
                }
            placed[u(j)] = at[u(j)];
            // The bends on the way, and a tip, go along.
            int n = start[u(j)];
            std::size_t k = via[u(j)];
            for (int step = 0; step < kWedgeSteps; ++step) {
                n = other(links[k], n);
                if (n == into[u(j)]) {
                    if (degree[u(n)] == 1) placed[u(n)] = at[u(j)];
                    break;
                }
                placed[u(n)] = at[u(j)];
                k = next_link(n, k);
            }
        }
        return true;
    }

    // Thick arms, w wide, of the tip at junction j (its stub leaving by
    // link `via`) run merged from where they meet until they lie a stroke
    // and a pixel apart, (w + 1) / (2 sin(angle / 2)): a cut across either
    // there meets one run whose middle lies between them, and the bends it
    // would give pull the arm off its line.  No cuts come nearer to j.
    void clear_tip(int j, std::size_t via, double w) {
        Vec2 arm[2];
        int arms = 0;
        for (std::size_t a = adjstart[u(j)]; a < adjstart[u(j) + 1] && arms < 2; ++a)
            if (adj[a] != via) arm[arms++] = unit(placed[u(other(links[adj[a]], j))] - placed[u(j)]);
        if (norm(arm[0] - arm[1]) > 0) clear[u(j)] = std::max(clear[u(j)], apart_at(arm[0], arm[1], w + 1));
    }

    // The turn of junction j, moved to the tip of a cusp that lies along
    // `out` from it, of arms w px wide.  Thinning parts two strokes where
    // the largest disc in their merged ink touches the notch between them,
    // well before the notch itself (where their middles lie a width
    // apart): on coils of 3.5 to 6 px their middles lie about a third of a
    // width apart there, either side of the middle of the merged ink.
    CuspTurn cusp_turn(int j, int tip, Vec2 out, double w) const {
        CuspTurn t{j, tip, placed[u(j)], out, kCuspTurn * w};
        Run r;
        if (run_across(ink, placed[u(j)], perp(out), kReach, r)) t.from = placed[u(j)] + perp(out) * r.middle();
        return t;
    }

    // How wide the merged stroke of two strokes wa and wb wide is at
    // least: a wall that a thin line joins at a slant is no wider than it
    // is anywhere, so clearly wider than the wider of the two as well.
    static double merged_width(double wa, double wb) {
        return std::max(kWedgeMerged * (wa + wb), std::max(wa, wb) + kWedgeWider);
    }

    // Whether the ink across the straight run from p to q holds a stroke
    // at least `both` wide at `share` of the pixels along.
    bool holds(Vec2 p, Vec2 q, double both, double share) const {
        const double length = norm(q - p);
        if (length <= 0) return false;
        const Vec2 along = (q - p) * (1 / length), across = perp(along);
        // Cuts every pixel along; the walk stops once too many are thin.
        const int cuts = static_cast<int>(std::ceil(length - 1));
        const int misses_allowed = cuts - static_cast<int>(std::ceil(share * cuts));
        int misses = 0;
        for (int k = 1; k <= cuts && misses <= misses_allowed; ++k) {
            // A cut in ink that runs on past the reach (along the line the
            // two run into) is wide enough.
            const Vec2 q = p + along * static_cast<double>(k);
            Run r;
            misses += !(run_across(ink, q, across, kReach, r) ? r.width() >= both : ink.at(q));
        }
        return misses <= misses_allowed;
    }

    // Whether the free end `tip` of junction j's third link is the merged
    // tip of a V whose arms leave j for nodes a and b, strokes up to `w`
    // wide that hold `both` where merged.  Judged from where the nodes
    // were placed: thinning parts such a V well before its tip, and the
    // junction then follows its arms' lines towards the tip.  The two
    // arms leave the tip's way at up to 60 degrees each (the chords of a
    // cusp's loops) and run on past the tip's length; the tip is at least
    // a stroke width long (a shorter stub off a wide corner is the
    // skeleton's, to the corner's far side), or two pixels or less: the
    // last pixels of strokes a pixel or two wide, which part at once, are
    // a tip whatever the ink across them shows.  A shorter tip of thick
    // strokes is one where the arms part by 60 degrees or less, the tip
    // leaves within 20 degrees of their middle, and they `part` for good:
    // the skeleton of a V with a round tip ends a few pixels short of
    // where the arms meet.  (A cusp's loops, whose chords part wider,
    // would lose their curve to chords from the tip; the end of an arm
    // standing out of a ring runs straight on from the arm, off the middle
    // of the arm and the ring; three strokes fanning out of a blob, two of
    // them joined again a link or two on, end apart.)  Its first half holds both
    // strokes (the tip then narrows to one; a stroke that stems from a
    // point is no wider than itself but for a pixel or so at the point),
    // or, where the two meet at a very narrow angle and overlap nearly all
    // the way, each arm runs on straight through the tip in ink and the
    // first half is still clearly wider than one stroke (a stem leaves
    // the arms' ways at once, or, where the arms meet at 40 to 60 degrees
    // and it is short, is no wider than itself).  Or it is a cusp's: two
    // curves (the loops of a coil) come into the tip side by side, so
    // they hold both only close to where thinning parted them, and their
    // chords from there part as widely as the loops bend.  The tip lies
    // within 14 degrees of straight opposite the arms' middle and is up
    // to 3.5 stroke widths long: from one width on, still clearly wider
    // than one stroke in its first half; under one, at least 0.8 of a
    // width (the stub to the outer corner of a thick corner of 90 degrees
    // or more is shorter; one of a sharper corner that the clean-up left
    // is taken as a cusp too, and the corner is drawn as one, its arms
    // turning beside it).  Drawn from the tip, the arms would cut across
    // their loops, so they turn first where the junction stood (kCusp).
    TipMove merged_tip(int j, int tip, int a, int b, double w, double both, bool part) const {
        const Vec2 at = placed[u(j)];
        const double length = norm(placed[u(tip)] - at), la = norm(placed[u(a)] - at), lb = norm(placed[u(b)] - at);
        if (length <= 0 || length > kWedgeReach || std::min(la, lb) < length) return kNoTip;
        const Vec2 da = (placed[u(a)] - at) * (1 / la), db = (placed[u(b)] - at) * (1 / lb);
        const Vec2 dc = (placed[u(tip)] - at) * (1 / length);
        const double axis = dot(dc, unit(da + db));  // -1: straight opposite the arms' middle
        if (dot(da, db) < kCuspCos || axis > -kWedgeOpposite) return kNoTip;
        const bool cusp_axis = part && axis <= -kCuspAxis;
        if (length < std::max(w, 2.0)) {
            if (length <= kTipPixel || (w >= kThickWidth && part && dot(da, db) >= kShortTipCos && axis <= -kShortTipAxis))
                return kToTip;
            return w >= kThickWidth && cusp_axis && length >= kCuspShortest * w ? kCusp : kNoTip;
        }
        const double run = length - 0.5 * w;
        const Vec2 half = at + dc * (0.5 * run + 1);
        if (holds(at, half, both, kTipShare) ||
            (inked(at, da * -1, run) && inked(at, db * -1, run) && holds(at, half, w + kWedgeWider, kTipShare)))
            return kToTip;
        return cusp_axis && length < kCuspLength * w && holds(at, half, w + kWedgeWider, kTipShare) ? kCusp : kNoTip;
    }

    // The node a branch of junction j that leaves it by link k is aimed at
    // from j: the first node along it, past bends, kWayReach stroke widths
    // away (the links next to the junction of two strokes meeting at a
    // narrow angle may be short ones across their merged ink), or the
    // last before the branch ends or meets another.
    // `k` gets the link that reaches it.
    int way_point(int j, std::size_t &k) const {
        const double reach = kWayReach * width(j);
        int at = j;
        for (int step = 0; step < kWedgeSteps; ++step) {
            at = other(links[k], at);
            if (degree[u(at)] != 2 || at == j || norm(pixel(at) - pixel(j)) >= reach) break;
            k = next_link(at, k);
        }
        return at;
    }

    // Whether the free end `tip` of junction j's third link is the last
    // pixels of thinning's stub to the tip of a V whose thick arms, up to
    // `w` wide, leave j for nodes a and b: where the arms' lines placed j
    // past the stub's end, on the tip's way, the stub points back between
    // the arms, and j is at the tip already.  A stub under a pixel long
    // points any way: the arms' lines put j among the tip's last pixels.
    bool tip_behind(int j, int tip, int a, int b, double w) const {
        const Vec2 at = placed[u(j)];
        const double length = norm(placed[u(tip)] - at);
        if (w < kThickWidth || length <= 0 || length >= w) return false;
        const Vec2 da = unit(placed[u(a)] - at), db = unit(placed[u(b)] - at);
        return dot(da, db) >= kShortTipCos &&
               (length < kStubPoint || dot(unit(placed[u(tip)] - at), unit(da + db)) >= kWedgeOpposite) &&
               std::min(norm(placed[u(a)] - at), norm(placed[u(b)] - at)) > length;
    }

    // Whether the free end `tip` of junction j's third link is the tip of
    // an acute corner: two strokes up to `w` wide, along lines la and lb
    // towards their way points, meet at 18 to 60 degrees (a roof's eaves,
    // a closed arrowhead).  Their ink merges over 0.5 w / sin(a / 2)
    // before the tip, and thinning leaves the junction where it parts and
    // a stub on to the tip.  The lines meet ahead of j, through ink, and
    // the stub ends within a quarter width and 1.5 px of that point, as the
    // last pixels of a round corner do; `meet` gets the point.  The stem
    // of a Y ends a width or more past where its arms meet, and lines
    // measured in the merged ink (an arm too short to reach clear of it)
    // meet short of the stub's end: both stay as they are.
    bool corner_tip(int j, int tip, const Line &la, Vec2 aim_a, const Line &lb, Vec2 aim_b, double w, Vec2 &meet) const {
        const Vec2 at = placed[u(j)];
        Vec2 da = la.dir, db = lb.dir;
        if (dot(da, aim_a - at) < 0) da = da * -1;
        if (dot(db, aim_b - at) < 0) db = db * -1;
        const double c = dot(da, db);
        if (c < kCornerCos || c > kCornerNarrow) return false;
        meet = meeting_point(la, lb);
        if (norm(placed[u(tip)] - meet) > 0.25 * w + 1.5) return false;
        // Ahead of j, away from both arms, and through ink.
        const Vec2 to = meet - at;
        const double reach = norm(to);
        if (reach >= kSamePlace && (dot(to, da) > 0 || dot(to, db) > 0)) return false;
        return reach < 1 || ink.black_between(at, meet);
    }

    // The node other than a bend that the branch of junction j leaving it
    // by link k ends at within kWedgeSteps links, or -1.
    int branch_end(int j, std::size_t k) const {
        int at = j;
        for (int step = 0; step < kWedgeSteps; ++step) {
            at = other(links[k], at);
            if (degree[u(at)] != 2 || at == j) return at;
            k = next_link(at, k);
        }
        return -1;
    }

    // The first bend short of its way point, 2 px or more from junction j,
    // where the stroke leaving j by link k turns by more than the merged
    // stroke may, having run straight so far: a corner.  -1 if there is
    // none (a chamfer turns at two bends, but one whose middle link is half
    // a stroke width or shorter cuts a thick corner: the corner is at its
    // first bend, when that lies half a stroke width or more from j; a
    // junction nearer is at the corner already).
    int corner_after(int j, std::size_t k) const {
        const double reach = kWayReach * width(j);
        const Vec2 first = unit(pixel(other(links[k], j)) - pixel(j));
        int from = j;
        for (int step = 0; step < kWedgeSteps; ++step) {
            const int at = other(links[k], from);
            if (degree[u(at)] != 2 || at == j || norm(pixel(at) - pixel(j)) >= reach) return -1;
            const std::size_t next = next_link(at, k);
            const Vec2 in = unit(pixel(at) - pixel(from)), out = unit(pixel(other(links[next], at)) - pixel(at));
            if (dot(in, first) < kWedgeCos) {
                const bool chamfer = from != j && norm(pixel(from) - pixel(j)) >= 0.5 * width(j) &&
                                     norm(pixel(at) - pixel(from)) <= 0.5 * width(j) && dot(first, out) <= kWedgeAhead;
                return chamfer ? from : -1;
            }
            if (dot(in, out) <= kWedgeAhead) return norm(pixel(at) - pixel(j)) >= 2 ? at : -1;
            from = at;
            k = next;
        }
        return -1;
    }

    // Whether the ink is black at kInkedShare of the pixel steps along the
    // unit direction d from p, for `length` px.
    bool inked(Vec2 p, Vec2 d, double length) const {
        int steps = 0, black = 0;
        for (double t = 1; t <= length; t += 1, ++steps) black += ink.at(p + d * t);
        return steps > 0 && black >= kInkedShare * steps;
    }

    // The node junction j's narrow wedge runs merged into, or -1; `via`
    // gets the link it leaves j by, `inset` (for a tip) how far inside the
    // ink's tip the two strokes meet, `move` how j goes there and `meet`
    // (for an acute corner) where.
    int wedge_end(int j, std::size_t &via, double &inset, unsigned char &move, Vec2 &meet) const {
        std::size_t link[4], way[4];
        int toward[4];  // each branch's way point
        Vec2 dir[4], aim[4];
        int n = 0;
        for (std::size_t a = adjstart[u(j)]; a < adjstart[u(j) + 1] && n < 4; ++a, ++n) {
            link[n] = way[n] = adj[a];
            toward[n] = way_point(j, way[n]);
            aim[n] = pixel(toward[n]);
            dir[n] = unit(aim[n] - pixel(j));
        }
        if (n != 3 && n != 4) return -1;
        for (int c = 0; c < n; ++c) {
            // The two outer branches of the others.  Of four links, the
            // third runs between them: the sides of an arrowhead and the
            // line they point along.
            int a = (c + 1) % n, b = (c + 2) % n;
            if (n == 4 && !outer(dir, c, a, b)) continue;
            const int far = other(links[link[c]], j);
            const LinkRecord &ra = links[link[a]], &rb = links[link[b]];
            // The two strokes, each as wide as it is on its way.
            const LinkRecord &wra = links[way[a]], &wrb = links[way[b]];
            const double wa = wra.fit.ok ? wra.fit.width : 1.0, wb = wrb.fit.ok ? wrb.fit.width : 1.0;
            const double both = merged_width(wa, wb);
            via = link[c];
            // The free end of a stub from j, straight or past bends (thinning
            // bends the long stub of a thick, sharp corner).  An arm's first
            // link may lie in the merged ink: the narrower is the strokes'
            // width.  Arms that cuts find no edges of (inside a filled area,
            // whose skeleton branches to every corner) are no strokes, and
            // arms that end at one node are a loop.
            const int end = degree[u(far)] == 1 ? far : degree[u(far)] == 2 ? branch_end(j, link[c]) : -1;
            const bool stub = end >= 0 && degree[u(end)] == 1 && n == 3 && wra.fit.ok && wrb.fit.ok;
            const int end_a = stub ? branch_end(j, link[a]) : -1;
            const bool part = stub && (end_a < 0 || end_a != branch_end(j, link[b]));
            if (stub) inset = std::max(kEndCap, 0.5 * std::min(wa, wb));
            // The stub's end may be the tip of an acute corner.
            if (part && corner_tip(j, end, wra.fit.line, aim[a], wrb.fit.line, aim[b], std::min(wa, wb), meet)) {
                move = kToCorner;
                return end;
            }
            if (degree[u(far)] == 1) {
                if (!stub) continue;
                // An arm is seen from its way point where its first node
                // shares the junction's place (a tied group) or lies
                // nearer than the tip is long (a bend in the merged ink).
                const double stub = norm(placed[u(far)] - placed[u(j)]);
                auto arm = [&](int k, const LinkRecord &r) {
                    const int next = other(r, j);
                    return norm(placed[u(next)] - placed[u(j)]) < std::max(kSamePlace, stub) ? toward[k] : next;
                };
                const int node_a = arm(a, ra), node_b = arm(b, rb);
                move = part && tip_behind(j, far, node_a, node_b, std::min(wa, wb))
                           ? kAtTip
                           : merged_tip(j, far, node_a, node_b, std::min(wa, wb), both, part);
                if (move == kNoTip) continue;
                return far;
            }
            // Thinning parts an arrowhead's three lines well before their
            // tip, and from there its sides leave at twice their slant or
            // more: they are judged from the tip (below).  So are two thick
            // strokes that run merged into a junction: thinning parts them
            // a stroke width or two before it, at up to twice their angle.
            const Vec2 axis = unit(dir[a] + dir[b]);
            const double parting = dot(dir[a], dir[b]);
            const bool wide = n == 3 && parting < kWedgeCos;
            if (wide && (parting < kPartedCos || std::min(wa, wb) < kThickWidth)) continue;
            // A thick merged stroke may turn at a corner short of its way
            // point, which then says nothing of where it leaves j.  (Where
            // its lines placed j at the corner already, it stays.)
            const int bend = wide && dot(dir[c], axis) > -kWedgeOpposite ? corner_after(j, link[c]) : -1;
            const bool corner = bend >= 0 && norm(placed[u(bend)] - placed[u(j)]) > 0.5 * std::max(wa, wb);
            const Vec2 leaves = corner ? unit(pixel(bend) - pixel(j)) : dir[c];
            if (dot(leaves, axis) > -kWedgeOpposite) continue;
            if (norm(pixel(far) - pixel(j)) < 2) return -1;
            // The run to a corner is short and narrows to one stroke at the
            // corner: it need only hold more than either stroke.
            const double hold = corner ? std::max(wa, wb) + kWedgeWider : both;
            const int reached = merged_end(j, link[c], leaves, hold, n == 4, corner ? bend : -1);
            if (reached >= 0 && n == 4 && !sides_part_narrowly(j, reached, n, c, a, b, aim, kArrowCos)) continue;
            if (reached >= 0 && wide &&
                ((corner ? reached != bend : degree[u(reached)] < 3) ||
                 !still_merged(j, reached, a, b, aim, std::max(wa, wb)) ||
                 !sides_part_narrowly(j, reached, n, c, a, b, aim, kMetCos)))
                continue;
            return reached;
        }
        return -1;
    }

    // The node the stroke leaving junction j by link k in direction d runs
    // merged into, holding `both`: on through bends while the ink holds
    // both and the merged stroke goes on ahead, or -1.  An arrowhead's
    // three lines narrow to its tip as a V does: they hold all three in
    // the first half of the way only, and the tip is the next junction
    // (or, with `bends`, the next past bends).
    int merged_end(int j, std::size_t k, Vec2 d, double both, bool arrowhead, int corner = -1, bool bends = false) const {
        int from = j, reached = -1;
        double walked = 0;
        for (int step = 0; step < kWedgeSteps; ++step) {
            const int to = other(links[k], from);
            walked += norm(pixel(to) - pixel(from));
            if (to == j || degree[u(to)] < 2 || walked > kWedgeReach ||
                dot(unit(pixel(to) - pixel(from)), d) < kWedgeAhead ||
                !(arrowhead ? holds(pixel(from), (pixel(from) + pixel(to)) * 0.5, both, kTipShare)
                            : holds(pixel(from), pixel(to), both, kWedgeShare)))
                break;
            if (arrowhead) {
                if (!bends || degree[u(to)] != 2) return degree[u(to)] >= 3 ? to : -1;
                k = next_link(to, k);
                from = to;
                continue;
            }
            // Past the first link, only to a junction or the corner: a
            // merged run that ends at a bend is a band, not two strokes
            // meeting.
            if (step == 0 || degree[u(to)] >= 3 || to == corner) reached = to;
            if (to == corner) break;
            if (degree[u(to)] != 2) break;
            k = next_link(to, k);
            from = to;
        }
        return reached;
    }

    // Whether the sides a and b of an arrowhead whose line leaves junction
    // j by branch c (way points `aim`, n of them) run on past j and, seen
    // from its tip, part within `cosine` with the line between them; of a
    // junction of three, whether its two branches a and b do so seen from
    // `tip`.
    bool sides_part_narrowly(int j, int tip, int n, int c, int a, int b, const Vec2 *aim, double cosine) const {
        Vec2 from_tip[4];
        for (int i = 0; i < n; ++i) from_tip[i] = unit(aim[i] - pixel(tip));
        const double length = norm(pixel(tip) - pixel(j));
        int oa = a, ob = b;
        return std::min(norm(aim[a] - pixel(tip)), norm(aim[b] - pixel(tip))) > length &&
               (n == 3 || outer(from_tip, c, oa, ob)) && dot(from_tip[oa], from_tip[ob]) >= cosine;
    }

    // Thinning may part the three lines of an arrowhead drawn with a
    // thick pen in two junctions of three links a few pixels apart, rather
    // than one of four.  A pair joined by a link shorter than half the
    // merged stroke is wide, neither tied to others, is judged as one
    // junction of the four links they have besides, where the sides are
    // of one pen, kSplitWidth or wider, and no narrower than the link
    // between the two; its merged stroke may pass the bends thinning put
    // in it on the way to the tip.  Gets the link it leaves by and the
    // member it leaves (`from`); the tip or -1.  (Clutter whose skeleton
    // has such a pair has sides of unlike widths.)
    int split_arrow_end(int j, std::size_t &via, int &from) const {
        int partner = -1;
        std::size_t joint = 0;
        for (std::size_t a = adjstart[u(j)]; a < adjstart[u(j) + 1]; ++a) {
            const int o = other(links[adj[a]], j);
            if (o == j || degree[u(o)] != 3 || anchor[u(o)] >= 0 || links[adj[a]].length > 0.5 * width(j)) continue;
            if (partner >= 0) return -1;
            partner = o, joint = adj[a];
        }
        if (partner < 0) return -1;
        std::size_t link[4], way[4];
        int owner[4];
        Vec2 dir[4], aim[4];
        const Vec2 middle = (pixel(j) + pixel(partner)) * 0.5;
        int n = 0;
        for (const int m : {j, partner})
            for (std::size_t a = adjstart[u(m)]; a < adjstart[u(m) + 1]; ++a) {
                if (adj[a] == joint) continue;
                if (n == 4) return -1;  // the joint repeated
                link[n] = way[n] = adj[a];
                owner[n] = m;
                aim[n] = pixel(way_point(m, way[n]));
                dir[n] = unit(aim[n] - middle);
                ++n;
            }
        if (n != 4) return -1;
        for (int c = 0; c < 4; ++c) {
            int a = 0, b = 0;
            if (!outer(dir, c, a, b) || degree[u(other(links[link[c]], owner[c]))] == 1) continue;
            const LinkRecord &wra = links[way[a]], &wrb = links[way[b]];
            if (!wra.fit.ok || !wrb.fit.ok) continue;
            const double wa = wra.fit.width, wb = wrb.fit.width;
            if (links[joint].length > std::min(wa, wb) || std::min(wa, wb) < kSamePen * std::max(wa, wb) ||
                std::min(wa, wb) < kSplitWidth)
                continue;
            const double both = merged_width(wa, wb);
            if (dot(dir[c], unit(dir[a] + dir[b])) > -kWedgeOpposite) continue;
            const int reached = merged_end(owner[c], link[c], dir[c], both, true, -1, true);
            if (reached < 0 || reached == j || reached == partner ||
                !sides_part_narrowly(owner[c], reached, 4, c, a, b, aim, kArrowCos))
                continue;
            via = link[c];
            from = owner[c];
            return reached;
        }
        return -1;
    }

    // Whether the ways of branches a and b, seen from the junction `meet`
    // they run merged into, lie at most a stroke `w` wide and a pixel apart
    // where junction j parts them: thinning parts two strokes where their
    // inks part, not a stroke width or more further on.
    bool still_merged(int j, int meet, int a, int b, const Vec2 *aim, double w) const {
        const double length = norm(pixel(meet) - pixel(j));
        return length * norm(unit(aim[a] - pixel(meet)) - unit(aim[b] - pixel(meet))) <= w + 1;
    }

    // Of the three branches of a four-link junction other than c (unit
    // directions d), gets the two that part the most in a and b; false
    // unless the third lies between them and the two part by at most 120
    // degrees, as the sides of an arrowhead do even seen from where
    // thinning parts them.
    static bool outer(const Vec2 *d, int c, int &a, int &b) {
        int k[3], m = 0;
        for (int i = 0; i < 4; ++i)
            if (i != c) k[m++] = i;
        a = k[0], b = k[1];
        int mid = k[2];
        if (dot(d[k[0]], d[k[2]]) < dot(d[a], d[b])) b = k[2], mid = k[1];
        if (dot(d[k[1]], d[k[2]]) < dot(d[a], d[b])) a = k[1], b = k[2], mid = k[0];
        if (dot(d[a], d[b]) < kCuspCos) return false;
        const Vec2 axis = unit(d[a] + d[b]);
        return dot(d[mid], axis) >= dot(d[a], axis);
    }

    Array<CuspTurn> &turns;  // the junctions moved to a cusp's tip
};

}  // namespace

bool close_wedges(NodeGraph &graph, Array<CuspTurn> &turns) {
    turns.clear();
    return Wedges(graph, turns).run();
}

}  // namespace ktv::refine
