// Strokes followed across junctions.  The centre-line clean-up records, at
// each junction, which branches run straight on through it (a wall passing
// a partition, two lines crossing): each such connection names, at a
// polyline's start (`prev`) or end (`next`), the end of the polyline that
// continues it.  A CAD program or a drawing editor wants the wall as one
// object, not cut wherever another line meets it, so the drawing formats
// write each chain of connected polylines as one path.
//
// End references, as in the library: +K is the start of polyline K, -K its
// end.  Standing at end e of polyline |e|, the connection there is the
// first entry of prev (e > 0) or next (e < 0); the chain goes on through
// the polyline that entry names, entered at that end and left at the other.
// The connect pass lists each connection at both ends, at most one per
// end, and no loops; editing can leave more entries, stale ones or a loop.
// So a step takes only the first entry at an end, and only when the end it
// names lists this one first in turn, the two strokes truly meet and the
// next one is not drawn yet: each polyline is drawn once and every walk
// ends.
#include <vector>

#include "drawing.h"

namespace ktvcli {

namespace {

class Chains {
public:
    Chains(VectorView &view, std::vector<Stroke> &strokes) : view_(view), strokes_(strokes) {
        index_.assign(static_cast<std::size_t>(view.polyline_slots()) + 1, -1);
        for (std::size_t k = 0; k < strokes.size(); ++k) {
            const Stroke &s = strokes[k];
            if (s.id > 0 && s.id <= view.polyline_slots() && joinable(s)) index_[static_cast<std::size_t>(s.id)] = int(k);
        }
        drawn_.assign(strokes.size(), 0);
    }

    // Every stroke once: chains joined, the others as they are.
    void write(std::vector<Stroke> &out) {
        for (std::size_t k = 0; k < strokes_.size(); ++k) {
            if (drawn_[k]) continue;
            Stroke &s = strokes_[k];
            Stroke c;
            if (s.id > 0 && index_[static_cast<std::size_t>(s.id)] == int(k)) c = chain(s.id);
            drawn_[k] = 1;
            // A stroke that joins nothing is drawn as it is.  Drawn, it is
            // read no more: a chain stops at a drawn stroke before it looks.
            out.push_back(std::move(c.joined.size() > 1 ? c : s));
        }
    }

private:
    // A line the refiner drew all at one point (a link between two
    // junctions it placed together) is joined too, though a line of three
    // or more such points counts as closed: it adds nothing to the path,
    // and a chain through it must not break there.
    static bool joinable(const Stroke &s) {
        return s.kind != Stroke::Kind::Circle && !s.points.empty() && (!s.closed || at_one_spot(s));
    }
    static bool at_one_spot(const Stroke &s) {
        for (const DrawPoint &p : s.points)
            if (!same_spot(p, s.points.front())) return false;
        return true;
    }

    static int id_of(int ref) { return ref < 0 ? -ref : ref; }
    // The stroke of polyline |ref|: its place in strokes_, or -1.
    int slot(int ref) const { return index_[static_cast<std::size_t>(id_of(ref))]; }
    const Stroke &stroke(int ref) const { return strokes_[static_cast<std::size_t>(slot(ref))]; }
    // The point of polyline |ref|'s stroke at the end ref names.
    DrawPoint at(int ref) const {
        const Stroke &s = stroke(ref);
        return ref > 0 ? s.points.front() : s.points.back();
    }

    // The first connection listed at end `e` of a polyline that has a
    // stroke, or 0.
    int first_entry(int e) const {
        const _KTPOLYLINE &p = view_.polyline(id_of(e));
        const int *list = e > 0 ? p.prev : p.next;
        const int count = e > 0 ? p.prevnum : p.nextnum;
        return count < 1 || !list ? 0 : list[0];
    }

    // The end at which the chain goes on from end `e` (whose stroke is
    // drawn or being drawn), or 0 where it stops.  The connection must be
    // listed at both ends, so that a walk back along a chain and the walk
    // forward that draws it pass the same polylines.
    int next_end(int e) {
        const int r = first_entry(e);
        // A result read back may name anything; only live ids are followed.
        if (r == 0 || r < -view_.polyline_slots() || r > view_.polyline_slots()) return 0;
        if (id_of(r) == id_of(e) || slot(r) < 0 || drawn_[static_cast<std::size_t>(slot(r))]) return 0;
        if (first_entry(r) != e) return 0;
        if (stroke(r).kind != stroke(e).kind || !same_spot(at(e), at(r))) return 0;
        return r;
    }

    // The chain through polyline `id`, from its free end.
    Stroke chain(int id) {
        // Back to where the chain starts.  Connections listed at both ends
        // pair every end with at most one other, so the walk is a simple
        // path, or a loop that comes back to `id`, marked meanwhile.
        int start = id;  // the chain is drawn from end `start` of |start|
        mark(id, 1);
        for (int r; (r = next_end(start)) != 0;) start = -r;
        mark(id, 0);

        Stroke out;
        for (int e = start; e != 0; e = next_end(-e)) {
            append(out, stroke(e), e < 0);
            mark(e, 1);
        }
        return out;
    }

    void mark(int ref, unsigned char v) { drawn_[static_cast<std::size_t>(slot(ref))] = v; }

    // Appends `s` (reversed when drawn from its end) to the chain `out`.
    static void append(Stroke &out, const Stroke &s, bool reversed) {
        const bool first = out.joined.empty();
        if (first) {
            out.kind = s.kind;
            out.id = s.id;
            out.refined = s.refined;
            out.closed = false;
        }
        out.joined.push_back(s.id);
        if (!first && at_one_spot(s)) return;
        const std::size_t base = out.points.size();  // the shared point is kept once
        const std::size_t n = s.points.size();
        for (std::size_t i = first ? 0 : 1; i < n; ++i) out.points.push_back(s.points[reversed ? n - 1 - i : i]);
        if (s.pieces.empty() && out.pieces.empty()) return;
        // Pieces: one per point after the first; straight (r = 0) where the
        // stroke had none, or where its list ended.  An arc drawn the other
        // way turns the other way.
        out.pieces.resize(out.points.size() - 1, ArcPiece{0, 0, 0, false});
        if (s.pieces.empty()) return;
        const std::size_t from = first ? 0 : base - 1;
        for (std::size_t i = 0; i + 1 < n; ++i) {
            const std::size_t k = reversed ? n - 2 - i : i;
            if (k >= s.pieces.size()) continue;  // pieces may stop after the last arc
            ArcPiece a = s.pieces[k];
            if (reversed) a.sweep = !a.sweep;
            out.pieces[from + i] = a;
        }
    }

    VectorView &view_;
    std::vector<Stroke> &strokes_;
    std::vector<int> index_;             // polyline id -> its joinable stroke, or -1
    std::vector<unsigned char> drawn_;   // per stroke
};

}  // namespace

void joined_strokes(VectorView &view, std::vector<Stroke> &out) {
    std::vector<Stroke> strokes;
    for_each_stroke(view, [&](const Stroke &s) { strokes.push_back(s); });
    out.clear();
    out.reserve(strokes.size());
    Chains(view, strokes).write(out);
}

}  // namespace ktvcli
