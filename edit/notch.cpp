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
// A failure on the first side changes nothing.  A later one keeps what was
// done (nothing is rolled back) and brings the polyline up to date.
//
// Row index: a side node moved within its row keeps its place in the row's
// list, and a new side node is appended to its row; only the rows that the
// moves of N and of a side node to another row touch are put back in x
// order.  Positions stay inside the raster: side points lie on links between
// nodes of the raster, and the apex is clamped into it by the move of N.
#include <cmath>

#include "edit/position.h"
#include "ktvec.h"
#include "vectorizer/memory.h"

namespace {

const double kPi = 3.14159265358979323846;

// Pixel (x, y) of a 1-bit, most-significant-bit-first bitmap; anything
// outside the bitmap is white.
bool black(const unsigned char *bits, int width, int height, int stride, long long x, long long y) {
    if (!bits || x < 0 || y < 0 || x >= width || y >= height || (x >> 3) >= stride) return false;
    const std::size_t at = static_cast<std::size_t>(y) * static_cast<std::size_t>(stride) +
                           static_cast<std::size_t>(x >> 3);
    return (bits[at] & (0x80u >> (x & 7))) != 0;
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
    if (in < 0 || n->deleted || n->linknum != 2 || n->link[1].id != -n->link[0].id) return -1;
    if (!(radius >= 0) || !std::isfinite(radius) || !std::isfinite(depth)) return -1;
    if (menhancenode(2) < 0) return -1000;
    const double r2 = radius * radius;

    // Side k: the node that ends up on the circle (index, or a negative
    // result) and the exact crossing point (ex, ey).
    auto side = [&](int k, double &ex, double &ey) -> int {
        const _KTNODE &c = node[in];
        const int pk = c.link[k].id;
        const int ak = c.link[k].node;
        auto inside = [&](int i) {
            const double dx = static_cast<double>(node[i].x) - c.x, dy = static_cast<double>(node[i].y) - c.y;
            return dx * dx + dy * dy <= r2;
        };
        // Walk out along the side; at most four of its nodes may lie inside.
        // A walk that comes round to N again (a small closed polyline)
        // cannot leave the circle.
        int prev = in, cur = ak, steps = 0;
        for (; inside(cur); ++steps) {
            if (steps == 4 || cur == in) return -1;
            prev = cur;
            const _KTNODE &pn = node[cur];
            int onward = -1;
            for (int i = 0; i < pn.linknum && onward < 0; ++i)
                if (pn.link[i].id == pk) onward = pn.link[i].node;
            if (onward < 0) return -1;
            cur = onward;
        }

        if (steps > 0) {
            // The circle crosses prev -> cur: |e + t d| = radius.
            const _KTNODE &a = node[prev], &b = node[cur];
            const double dx = static_cast<double>(b.x) - a.x, dy = static_cast<double>(b.y) - a.y;
            const double fx = static_cast<double>(a.x) - c.x, fy = static_cast<double>(a.y) - c.y;
            const double qa = dx * dx + dy * dy, qb = 2 * (fx * dx + fy * dy);
            const double qc = fx * fx + fy * fy - r2;
            const double root = std::sqrt(qb * qb - 4 * qa * qc);
            const double t1 = (-qb + root) / (2 * qa), t2 = (-qb - root) / (2 * qa);
            double t;
            if (t1 >= 0 && t1 <= 1) t = t1;
            else if (t2 >= 0 && t2 <= 1) t = t2;
            else return -1;
            ex = a.x + t * dx;
            ey = a.y + t * dy;
            const int nx = ktv::raster_coord(ex, width), ny = ktv::raster_coord(ey, height);
            _KTNODE &m = node[prev];
            if (ny != m.y) {
                const int r = mmovenoderow(&m, nx, ny);
                if (r < 0) return r;
            } else {
                m.x = nx;  // the row's list is left as it is
            }
            for (int i = 0; i < m.linknum; ++i) {
                _KTNODELINK &l = m.link[i];
                _KTNODE &o = node[l.node];
                l.length = ktv::distance(ex, ey, o.x, o.y);
                if (_KTNODELINK *back = ktv::twin_record(o, prev, l.id)) back->length = l.length;
            }
            return prev;
        }

        // N's neighbour already lies outside: a new node on N's link.
        if (!ktv::twin_record(node[ak], in, pk)) return -1;
        const double dx = static_cast<double>(node[ak].x) - c.x, dy = static_cast<double>(node[ak].y) - c.y;
        const double s = std::sqrt(r2 / (dx * dx + dy * dy));
        ex = c.x + s * dx;
        ey = c.y + s * dy;
        _KTNODELINK *own = ktv::alloc_zeroed<_KTNODELINK>(2);
        if (!own) return -1000;
        _KTPOINT at{};
        at.x = ktv::raster_coord(ex, width);
        at.y = ktv::raster_coord(ey, height);
        _KTNODE *fresh = mregistnode(0, &at);
        if (!fresh) {
            ktv::mem_free(own);
            return -1000;
        }
        const int sk = static_cast<int>(fresh - node);
        _KTNODELINK &fromn = node[in].link[k];
        _KTNODELINK &froma = *ktv::twin_record(node[ak], in, pk);
        fromn.node = sk;
        fromn.length = radius;
        fromn.area = 0;
        fromn.mark = 0;
        froma.node = sk;
        froma.length = ktv::distance(ex, ey, node[ak].x, node[ak].y);
        froma.area = 0;
        froma.mark = 0;
        own[0].node = in;
        own[0].length = radius;
        own[0].id = -fromn.id;
        own[1].node = ak;
        own[1].length = froma.length;
        own[1].id = -froma.id;
        node[sk].link = own;
        node[sk].linknum = 2;
        return sk;
    };

    // A failure after the first side point is in place keeps what was done
    // but rebuilds the polyline, so that its record follows its links.
    auto fail = [&](int result) {
        mupdatepolyline(node[in].link[0].id);
        return result;
    };
    double ex[2], ey[2];
    int s[2];
    for (int k = 0; k < 2; ++k) {
        s[k] = side(k, ex[k], ey[k]);
        if (s[k] < 0) return k == 0 ? s[k] : fail(s[k]);
    }

    // Apex: depth away from the midpoint of the side points, square to the
    // chord S1 -> S2: the candidate at the chord's direction turned by +90
    // degrees when the document is black there, else the opposite one.
    const double mx = 0.5 * (ex[0] + ex[1]), my = 0.5 * (ey[0] + ey[1]);
    const double angle = std::atan2(static_cast<double>(node[s[1]].y) - node[s[0]].y,
                                    static_cast<double>(node[s[1]].x) - node[s[0]].x);
    int px = ktv::raster_coord(mx + depth * std::cos(angle + kPi / 2), 0);
    int py = ktv::raster_coord(my + depth * std::sin(angle + kPi / 2), 0);
    if (!mcheckfront(px, py)) {
        px = ktv::raster_coord(mx + depth * std::cos(angle - kPi / 2), 0);
        py = ktv::raster_coord(my + depth * std::sin(angle - kPi / 2), 0);
    }
    // A row that cannot grow leaves N where it was; the memory failure is
    // reported like every other.
    const int r = movenode(&node[in], px, py);
    if (r < 0) return fail(r);
    return mupdatepolyline(node[in].link[0].id);
}
