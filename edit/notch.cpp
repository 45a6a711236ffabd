// Notches: a V cut into a polyline at one of its inner nodes N.
//
// On each side of N the polyline is followed until it leaves the circle of
// the given radius around N.  Where it crosses the circle a node is wanted:
// the last node inside the circle is moved onto the crossing, or, when
// already N's neighbour lies outside, a new node is put on N's link at
// distance radius.  N itself then moves off the line by `depth` to the apex,
// on the side where the host's document is black.  Nodes between N and a
// moved side node stay where they are.
//
// The notch is made in named steps: both sides and the apex are planned on
// the graph as it stands (nothing changes), every block the changes need is
// obtained, and only then are the side nodes moved or made, N moved and the
// polyline rebuilt.  So a memory failure changes nothing, and the object is
// consistent after any result.  A side that cannot be made (-1) is found in
// the plan: when it is the first side nothing changes; when it is the
// second, the first side is still made and the polyline brought up to date,
// as the operation has always done.
//
// Row index: the rows that the side nodes and N end up in are put back in
// x order, so every search that relies on sorted rows stays right after a
// notch.  Positions stay inside the raster: side points lie on links
// between nodes of the raster, and the apex is clamped into it by the move
// of N.
#include <cmath>

#include "edit/position.h"
#include "graph/lists.h"
#include "ktvec.h"
#include "polyline/records.h"
#include "vectorizer/geometry.h"
#include "vectorizer/impl.h"
#include "vectorizer/memory.h"

namespace {

// Pixel (x, y) of a 1-bit, most-significant-bit-first bitmap; anything
// outside the bitmap is white.
bool black(const unsigned char *bits, int width, int height, int stride, long long x, long long y) {
    if (!bits || x < 0 || y < 0 || x >= width || y >= height || (x >> 3) >= stride) return false;
    const std::size_t at = static_cast<std::size_t>(y) * static_cast<std::size_t>(stride) +
                           static_cast<std::size_t>(x >> 3);
    return (bits[at] & (0x80u >> (x & 7))) != 0;
}

// Side k of the notch, as planned.
struct Side {
    int result = KTVEC_OK;  // KTVEC_REFUSED when this side cannot be made
    int moved = -1;         // the node moved onto the circle; -1: a new node
    int neighbour = -1;     // Ak, N's neighbour on this side
    int twin = -1;          // for a new node: position of Ak's record that
                            // answers N's link
    double ex = 0, ey = 0;  // the exact crossing
    int x = 0, y = 0;       // its pixel
};

// The position among `from`'s records of the one that answers a record with
// `id` pointing at `from` from node `to` (as ktv::twin_record chooses it),
// passing over position `except`; -1 when there is none.
int twin_position(const _KTNODE &from, int to, int id, int except) {
    int first = -1;
    for (int i = 0; i < from.linknum; ++i) {
        if (i == except || from.link[i].node != to) continue;
        if (from.link[i].id == -id) return i;
        if (first < 0) first = i;
    }
    return first;
}

// Step 1: side k followed out from N (node index `in`) until it leaves the
// circle of squared radius r2.  At most four of its nodes may lie inside; a
// walk that ends, or comes round to N again (a small closed polyline),
// inside the circle cannot make the side.  `other` is the side planned
// before (or null): a record of Ak that it redirects to its own new node
// no longer answers N's link.
Side plan_side(const CKTVector &v, int in, int k, double r2, const Side *other) {
    Side side;
    const _KTNODE &c = v.node[in];
    const int pk = c.link[k].id;
    side.neighbour = c.link[k].node;
    auto inside = [&](int i) {
        const double dx = static_cast<double>(v.node[i].x) - c.x, dy = static_cast<double>(v.node[i].y) - c.y;
        return dx * dx + dy * dy <= r2;
    };
    auto refused = [&side] {
        side.result = KTVEC_REFUSED;
        return side;
    };
    int prev = in, cur = side.neighbour, steps = 0;
    for (; inside(cur); ++steps) {
        if (steps == 4 || cur == in) return refused();
        prev = cur;
        const _KTNODE &pn = v.node[cur];
        int onward = -1;
        for (int i = 0; i < pn.linknum && onward < 0; ++i)
            if (pn.link[i].id == pk) onward = pn.link[i].node;
        if (onward < 0) return refused();
        cur = onward;
    }

    if (steps > 0) {
        // The circle crosses prev -> cur: |e + t d| = radius.
        const _KTNODE &a = v.node[prev], &b = v.node[cur];
        const double dx = static_cast<double>(b.x) - a.x, dy = static_cast<double>(b.y) - a.y;
        const double fx = static_cast<double>(a.x) - c.x, fy = static_cast<double>(a.y) - c.y;
        const double qa = dx * dx + dy * dy, qb = 2 * (fx * dx + fy * dy);
        const double qc = fx * fx + fy * fy - r2;
        const double root = std::sqrt(qb * qb - 4 * qa * qc);
        const double t1 = (-qb + root) / (2 * qa), t2 = (-qb - root) / (2 * qa);
        double t;
        if (t1 >= 0 && t1 <= 1) t = t1;
        else if (t2 >= 0 && t2 <= 1) t = t2;
        else return refused();
        side.moved = prev;
        side.ex = a.x + t * dx;
        side.ey = a.y + t * dy;
    } else {
        // N's neighbour already lies outside: a new node on N's link, which
        // needs the neighbour's record answering that link.
        const _KTNODE &ak = v.node[side.neighbour];
        const int taken = other && other->moved < 0 && other->neighbour == side.neighbour ? other->twin : -1;
        side.twin = twin_position(ak, in, pk, taken);
        if (side.twin < 0) return refused();
        const double dx = static_cast<double>(ak.x) - c.x, dy = static_cast<double>(ak.y) - c.y;
        const double s = std::sqrt(r2 / (dx * dx + dy * dy));
        side.ex = c.x + s * dx;
        side.ey = c.y + s * dy;
    }
    side.x = ktv::raster_coord(side.ex, v.width);
    side.y = ktv::raster_coord(side.ey, v.height);
    return side;
}

// Step 2: the apex, depth away from the midpoint of the exact side points,
// square to the chord S1 -> S2 (on the side nodes' pixels): the candidate
// at the chord's direction turned by +90 degrees when the document is black
// there, else the opposite one.
void plan_apex(CKTVector &v, const Side s[2], double depth, int &px, int &py) {
    const double mx = 0.5 * (s[0].ex + s[1].ex), my = 0.5 * (s[0].ey + s[1].ey);
    const double angle = std::atan2(static_cast<double>(s[1].y) - s[0].y, static_cast<double>(s[1].x) - s[0].x);
    px = ktv::raster_coord(mx + depth * std::cos(angle + ktv::kPi / 2), 0);
    py = ktv::raster_coord(my + depth * std::sin(angle + ktv::kPi / 2), 0);
    if (!CKTVectorImpl::checkfront(v, px, py)) {
        px = ktv::raster_coord(mx + depth * std::cos(angle - ktv::kPi / 2), 0);
        py = ktv::raster_coord(my + depth * std::sin(angle - ktv::kPi / 2), 0);
    }
}

// Step 3: every block the changes need, obtained before any change: the new
// side nodes' link records, room in each row that gains an entry, and room
// in the polyline's node list for the new nodes.  Released again unless
// handed over.
class NotchMemory {
public:
    NotchMemory() = default;
    NotchMemory(const NotchMemory &) = delete;
    NotchMemory &operator=(const NotchMemory &) = delete;
    ~NotchMemory() {
        for (_KTNODELINK *l : links_) ktv::mem_free(l);
    }

    // For the first `sides` planned sides and, when `apexrow` >= 0, N's
    // move into that row.  False when memory is short.
    bool obtain(CKTVector &v, int in, const Side *s, int sides, int apexrow) {
        int rows[3], added[3], count = 0;
        auto gains = [&](int y) {
            for (int i = 0; i < count; ++i)
                if (rows[i] == y) return void(++added[i]);
            rows[count] = y;
            added[count++] = 1;
        };
        int fresh = 0;
        for (int k = 0; k < sides; ++k) {
            if (s[k].moved < 0) {
                if (!(links_[fresh++] = ktv::alloc_zeroed<_KTNODELINK>(2))) return false;
                gains(s[k].y);
            } else if (s[k].y != v.node[s[k].moved].y) {
                gains(s[k].y);
            }
        }
        if (apexrow >= 0 && apexrow != v.node[in].y) gains(apexrow);
        for (int i = 0; i < count; ++i)
            if (KTLINEINFO *row = ktv::row_of(v, rows[i]))
                if (ktv::reserve_index(row->nodeindex, row->nodecapacity, row->nodenum, added[i]) < 0) return false;
        if (_KTPOLYLINE *p = ktv::record_of(v, v.node[in].link[0].id))
            if (ktv::reserve_index(p->nodeindex, p->nodecapacity, p->nodenum, fresh) < 0) return false;
        return true;
    }

    // The next new node's two link records, now owned by the caller.
    _KTNODELINK *take_links() {
        _KTNODELINK *l = links_[taken_];
        links_[taken_++] = nullptr;
        return l;
    }

private:
    _KTNODELINK *links_[2] = {nullptr, nullptr};
    int taken_ = 0;
};

// Step 4: a moved side node goes onto the crossing (re-entered in its row
// when the row changes); its links and their twins get the distance from
// the exact crossing as length.
void move_side_node(CKTVector &v, const Side &side) {
    _KTNODE &m = v.node[side.moved];
    if (side.y != m.y) CKTVectorImpl::movetorow(v, &m, side.x, side.y);  // room was obtained
    else m.x = side.x;
    for (int i = 0; i < m.linknum; ++i) {
        _KTNODELINK &l = m.link[i];
        _KTNODE &o = v.node[l.node];
        l.length = ktv::distance(side.ex, side.ey, o.x, o.y);
        if (_KTNODELINK *back = ktv::twin_record(o, side.moved, l.id)) back->length = l.length;
    }
}

// Step 4, the other case: a new side node S on N's link k to Ak.  N's
// record and Ak's answering record are redirected to S (area and mark
// cleared), and S gets the two records that answer them.  Returns S.
int make_side_node(CKTVector &v, int in, int k, const Side &side, _KTNODELINK *own, double radius) {
    _KTPOINT at{};
    at.x = side.x;
    at.y = side.y;
    const int sk = static_cast<int>(CKTVectorImpl::registnode(v, 0, &at) - v.node);  // room was obtained
    const int ak = side.neighbour;
    _KTNODELINK &fromn = v.node[in].link[k];
    _KTNODELINK &froma = v.node[ak].link[side.twin];
    fromn.node = sk;
    fromn.length = radius;
    fromn.area = 0;
    fromn.mark = 0;
    froma.node = sk;
    froma.length = ktv::distance(side.ex, side.ey, v.node[ak].x, v.node[ak].y);
    froma.area = 0;
    froma.mark = 0;
    own[0].node = in;
    own[0].length = radius;
    own[0].id = -fromn.id;
    own[1].node = ak;
    own[1].length = froma.length;
    own[1].id = -froma.id;
    v.node[sk].link = own;
    v.node[sk].linknum = 2;
    return sk;
}

}  // namespace

// 1 when the document is black at (x, y) or at one of its four
// 4-neighbours.  On the first and last row the row itself stands in for the
// missing row above or below; columns left of 0 and right of width - 1 are
// not looked at.
int CKTVector::mcheckfront(int x, int y) {
    const long long cx = x, cy = y;
    const long long above = cy == 0 ? cy : cy - 1;
    const long long below = cy == height - 1 ? cy : cy + 1;
    auto at = [&](long long px, long long py) {
        return black(document, width, height, bytesperline, px, py);
    };
    if (at(cx, above) || at(cx, cy) || at(cx, below)) return 1;
    if (cx > 0 && at(cx - 1, cy)) return 1;
    if (cx < width - 1LL && at(cx + 1, cy)) return 1;
    return 0;
}

int CKTVector::maddnotch(_KTNODE *n, double radius, double depth) {
    const int in = ktv::node_index(*this, n);
    if (in < 0 || n->deleted || n->linknum != 2 || n->link[1].id != -n->link[0].id) return KTVEC_REFUSED;
    if (!(radius >= 0) || !std::isfinite(radius) || !std::isfinite(depth)) return KTVEC_REFUSED;
    // The node table does not move while the side nodes are made.
    if (menhancenode(2) < 0) return KTVEC_NO_MEMORY;

    const double r2 = radius * radius;
    Side s[2];
    s[0] = plan_side(*this, in, 0, r2, nullptr);
    if (s[0].result < 0) return s[0].result;
    s[1] = plan_side(*this, in, 1, r2, &s[0]);
    const int sides = s[1].result < 0 ? 1 : 2;
    int px = 0, py = 0;
    if (sides == 2) plan_apex(*this, s, depth, px, py);
    const int apexrow = sides == 2 ? ktv::raster_coord(py, height) : -1;

    NotchMemory memory;
    if (!memory.obtain(*this, in, s, sides, apexrow)) return KTVEC_NO_MEMORY;

    // No step below can fail.
    int sidenode[2];
    for (int k = 0; k < sides; ++k) {
        if (s[k].moved >= 0) {
            move_side_node(*this, s[k]);
            sidenode[k] = s[k].moved;
        } else {
            sidenode[k] = make_side_node(*this, in, k, s[k], memory.take_links(), radius);
        }
    }
    if (sides == 2) movenode(&node[in], px, py);
    for (int k = 0; k < sides; ++k)
        if (KTLINEINFO *row = ktv::row_of(*this, node[sidenode[k]].y)) msetlinenode1(row);
    const int r = mupdatepolyline(node[in].link[0].id);
    return sides == 2 ? r : s[1].result;
}
