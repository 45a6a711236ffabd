// Selection and search: picking nodes near a point, in a rectangle or along
// a polyline, and the neighbourhood searches that the clean-up passes and the
// connection operation use.
//
// The searches scan a square window over the row index: only the rows of the
// window, and in a row only the entries up to the first node right of the
// window (rows are kept in ascending x).  A search marks what it finds with
// the `find` bit after clearing the marks of the previous search.
//
// Clearing: outside the drivers every node's mark is cleared, because a host
// may have set marks itself.  Inside a driver only the library touches the
// marks, so the nodes the previous search marked (kept in the find list of
// the vectorizer's bookkeeping) are exactly the marked ones and clearing
// them is enough; this keeps a search proportional to its window on graphs
// of any size.  The marks left behind are the same either way.
#include "edit/find.h"

#include <algorithm>
#include <cmath>

#include "graph/registry.h"
#include "ktvec.h"
#include "polyline/records.h"
#include "vectorizer/geometry.h"
#include "vectorizer/impl.h"
#include "vectorizer/memory.h"

namespace {

// Square window of half-width w around (x, y), clipped to the raster and to
// the rows that exist; empty when the row range is.
struct Window {
    int row0, row1, col0, col1;
    bool empty() const { return row0 > row1; }
};

Window make_window(long long x, long long y, long long w, int width, int height, int rows) {
    const long long lastrow = std::min<long long>(height, rows) - 1;
    Window win;
    win.row0 = static_cast<int>(std::max<long long>(y - w, 0));
    win.row1 = static_cast<int>(std::min<long long>(std::max<long long>(y + w, -1), lastrow));
    win.col0 = static_cast<int>(std::max<long long>(x - w, 0));
    win.col1 = static_cast<int>(std::min<long long>(std::max<long long>(x + w, -1), width - 1LL));
    if (w < 0) win.row0 = win.row1 + 1;
    return win;
}

// Half-width of a floating radius: truncated toward zero, kept in a range
// where window arithmetic cannot overflow; not-a-number gives no window.
long long half_width(double rr) {
    if (std::isnan(rr)) return -1;
    if (rr > 1e9) return 1000000000LL;
    if (rr < -1e9) return -1000000000LL;
    return static_cast<long long>(rr);
}

// The first entry of a row (sorted by x) whose node lies at or right of
// column `col`, found from `hint`, the entry where the previous scan of the
// row started: a gallop away from the hint brackets the answer, bisection
// finishes it.  The passes search around nodes in index order, and
// neighbouring indices are mostly neighbours on the page, so this reads a
// couple of entries near the last ones instead of log2(row) scattered ones:
// on a large graph each of those is a cache miss into the node table.  Any
// hint gives the same entry.
int first_at_or_right(const CKTVector &v, const KTLINEINFO &line, int col, int hint) {
    const long long n = line.nodenum;
    const auto x_at = [&](long long k) { return v.node[line.nodeindex[k]].x; };
    const long long h = std::min<long long>(std::max(hint, 0), n);
    long long lo, hi;  // entries before lo lie left of col, those from hi on do not
    if (h < n && x_at(h) < col) {
        lo = h + 1;
        hi = n;
        for (long long step = 1; h + step < n; step *= 2) {
            if (x_at(h + step) >= col) {
                hi = h + step;
                break;
            }
            lo = h + step + 1;
        }
    } else {
        lo = 0;
        hi = h;
        for (long long step = 1; h - step >= 0; step *= 2) {
            if (x_at(h - step) < col) {
                lo = h - step + 1;
                break;
            }
            hi = h - step;
        }
    }
    while (lo < hi) {
        const long long mid = lo + (hi - lo) / 2;
        if (x_at(mid) < col) lo = mid + 1;
        else hi = mid;
    }
    return static_cast<int>(lo);
}

// Calls f(index) for every live node in the window, in scan order; f returns
// false to stop the scan.  With `sorted` (inside a driver, where every row
// is kept in x order) the entries left of the window are skipped by a
// search from the row's hint instead of one by one: the same entries are
// visited.  `hints` (one per row, may be null) are read and updated.
template <class F> void scan_window(CKTVector &v, const Window &win, F f, bool sorted = false, int *hints = nullptr) {
    if (win.empty() || !v.lineinfo || !v.node) return;
    for (int row = win.row0; row <= win.row1; ++row) {
        const KTLINEINFO &line = v.lineinfo[row];
        int k = 0;
        if (sorted) {
            k = first_at_or_right(v, line, win.col0, hints ? hints[row] : 0);
            if (hints) hints[row] = k;
        }
        for (; k < line.nodenum; ++k) {
            const int index = line.nodeindex[k];
            const _KTNODE &n = v.node[index];
            if (n.x < win.col0) continue;
            if (n.x > win.col1) break;
            if (n.deleted) continue;
            if (!f(index)) return;
        }
    }
}

}  // namespace

// ---- find marks ------------------------------------------------------------

namespace {

// The find list is used inside a driver only, and never by the reference
// behaviour of the tests.
bool tracked(const CKTVectorImpl *in) { return in && in->findtracking && !in->findreference; }

}  // namespace

namespace ktv {

void reset_find(CKTVector &v) {
    CKTVectorImpl *in = CKTVectorImpl::of(v);
    if (tracked(in) && in->findlistvalid) {
        for (int i = 0; i < in->findlistnum; ++i)
            if (in->findlist[i] < v.nodenum) v.node[in->findlist[i]].flag &= static_cast<unsigned char>(~KTVEC_NODE_FIND);
    } else {
        for (int i = 0; i < v.nodenum; ++i) v.node[i].flag &= static_cast<unsigned char>(~KTVEC_NODE_FIND);
    }
    if (!in) return;
    in->findlistnum = 0;
    in->findlistvalid = true;
    in->findlistsorted = true;
}

void mark_found(CKTVector &v, int index) {
    v.node[index].flag |= KTVEC_NODE_FIND;
    CKTVectorImpl *in = CKTVectorImpl::of(v);
    if (!in || !in->findlistvalid) return;
    if (in->findlistcapacity <= in->findlistnum) {
        const int grown = in->findlistcapacity ? 2 * in->findlistcapacity : 64;
        int *list = grow_zeroed(in->findlist, static_cast<std::size_t>(in->findlistcapacity),
                                static_cast<std::size_t>(grown));
        if (!list) {  // fall back to whole-array clearing and scanning
            in->findlistvalid = false;
            return;
        }
        in->findlist = list;
        in->findlistcapacity = grown;
    }
    if (in->findlistnum && in->findlist[in->findlistnum - 1] > index) in->findlistsorted = false;
    in->findlist[in->findlistnum++] = index;
}

int next_found(CKTVector &v, int after) {
    CKTVectorImpl *in = CKTVectorImpl::of(v);
    if (in && in->findlistvalid && !in->findreference) {
        if (!in->findlistsorted) {
            std::sort(in->findlist, in->findlist + in->findlistnum);
            in->findlistsorted = true;
        }
        const int *begin = in->findlist, *end = begin + in->findlistnum;
        for (const int *it = std::upper_bound(begin, end, after); it != end; ++it)
            if (*it < v.nodenum && (v.node[*it].flag & KTVEC_NODE_FIND)) return *it;
        return -1;
    }
    for (int i = after + 1; i < v.nodenum; ++i)
        if (v.node[i].flag & KTVEC_NODE_FIND) return i;
    return -1;
}

}  // namespace ktv

void CKTVector::mclearselect() {
    for (int i = 0; i < nodenum; ++i) node[i].flag &= static_cast<unsigned char>(~KTVEC_NODE_SELECT);
}

void CKTVector::mclearfind() {
    for (int i = 0; i < nodenum; ++i) node[i].flag &= static_cast<unsigned char>(~KTVEC_NODE_FIND);
    if (CKTVectorImpl *in = CKTVectorImpl::of(*this)) {
        in->findlistnum = 0;
        in->findlistvalid = true;
        in->findlistsorted = true;
    }
}

int CKTVector::mgetselectnodenum() {
    int count = 0;
    for (int i = 0; node && i < nodenum; ++i) count += !node[i].deleted && (node[i].flag & KTVEC_NODE_SELECT);
    return count;
}

int CKTVector::mgetfindnodenum() {
    int count = 0;
    for (int i = 0; node && i < nodenum; ++i) count += !node[i].deleted && (node[i].flag & KTVEC_NODE_FIND);
    return count;
}

// ---- neighbourhood searches ------------------------------------------------

// Marks the live nodes strictly within 1.414 r of (x, y): the circle through
// the corners of the square of half-width r.
int CKTVector::mfindnode(int x, int y, double r) {
    const double rr = 1.414 * r;
    const bool sorted = tracked(CKTVectorImpl::of(*this));
    ktv::reset_find(*this);
    const Window win = make_window(x, y, half_width(rr), width, height, ktv::row_count(*this));
    int count = 0;
    scan_window(*this, win, [&](int index) {
        const double dx = node[index].x - static_cast<double>(x);
        const double dy = node[index].y - static_cast<double>(y);
        if (ktv::length_of(dx, dy) < rr) {
            ktv::mark_found(*this, index);
            ++count;
        }
        return true;
    }, sorted, sorted ? ktv::row_hints(*this) : nullptr);
    return count;
}

int CKTVector::mfindnodefast(int x, int y, int r) {
    const bool sorted = tracked(CKTVectorImpl::of(*this));
    ktv::reset_find(*this);
    const Window win = make_window(x, y, r, width, height, ktv::row_count(*this));
    int count = 0;
    scan_window(*this, win, [&](int index) {
        ktv::mark_found(*this, index);
        ++count;
        return true;
    }, sorted, sorted ? ktv::row_hints(*this) : nullptr);
    return count;
}

int CKTVector::msearchnodefast(int x, int y, int r) {
    if (!lineinfo) return 0;
    int found = 0;
    scan_window(*this, make_window(x, y, r, width, height, ktv::row_count(*this)), [&](int) {
        found = 1;
        return false;
    });
    return found;
}

_KTNODE *CKTVector::msearchNN(int x, int y, double r) {
    mclearfind();
    mfindnode(x, y, r);
    if (!node || nodenum == 0) return nullptr;
    _KTNODE *best = nullptr;
    double bestdist = 0;
    for (int i = ktv::next_found(*this, -1); i >= 0; i = ktv::next_found(*this, i)) {
        if (node[i].deleted) continue;
        const double dx = node[i].x - static_cast<double>(x);
        const double dy = node[i].y - static_cast<double>(y);
        const double d = ktv::length_of(dx, dy);
        if (!best || d < bestdist) {
            best = &node[i];
            bestdist = d;
        }
    }
    return best;
}

// ---- selection ---------------------------------------------------------------

int CKTVector::mselectnode(int x1, int y1, int x2, int y2) {
    if (x1 > x2) std::swap(x1, x2);
    if (y1 > y2) std::swap(y1, y2);
    int count = 0;
    for (int i = 0; i < nodenum; ++i) {
        _KTNODE &n = node[i];
        if (n.deleted || (n.flag & KTVEC_NODE_SELECT)) continue;
        if (n.x < x1 || n.x > x2 || n.y < y1 || n.y > y2) continue;
        n.flag |= KTVEC_NODE_SELECT;
        ++count;
    }
    return count;
}

void CKTVector::mselectnode1(int x, int y, _KTNODE *&picked) {
    picked = msearchNN(x, y, selectradius);
    if (picked) picked->flag |= KTVEC_NODE_SELECT;
}

void CKTVector::mselectnode2(int x1, int y1, int x2, int y2, _KTNODE *&node1, _KTNODE *&node2) {
    node1 = msearchNN(x1, y1, selectradius);
    node2 = msearchNN(x2, y2, selectradius);
    if (node1) node1->flag |= KTVEC_NODE_SELECT;
    if (node2) node2->flag |= KTVEC_NODE_SELECT;
}

namespace {

// One step along polyline `id` (signed: +q forward, -q backward) from node
// index `from`: the target of the first link carrying `id`, or -1.
int step(const CKTVector &v, int from, int id) {
    const _KTNODE &n = v.node[from];
    for (int k = 0; k < n.linknum; ++k)
        if (n.link[k].id == id) return n.link[k].node;
    return -1;
}

}  // namespace

// Selects the run of the polyline shared by a and b from whichever comes
// first in the polyline's direction to the other, both included.  Every walk
// is bounded by the node count, so a chain that circles without meeting its
// target (a loop with a tail) ends as a broken walk.
int CKTVector::mselectnodes(_KTNODE *a, _KTNODE *b) {
    const _KTNODELINK *shared = ktv::shared_link(*a, *b);
    const int p = shared ? shared->id : 0;
    if (!p) return KTVEC_REFUSED;
    const int q = p < 0 ? -p : p;
    const int ia = static_cast<int>(a - node), ib = static_cast<int>(b - node);

    bool reached = ia == ib;
    for (int cur = ia, steps = 0; !reached && steps <= nodenum; ++steps) {
        cur = step(*this, cur, -q);
        if (cur < 0) break;
        reached = cur == ib;
    }
    const int from = reached ? ib : ia, to = reached ? ia : ib;
    node[from].flag |= KTVEC_NODE_SELECT;
    if (from == to) return 0;
    for (int cur = from, steps = 0; steps <= nodenum; ++steps) {
        cur = step(*this, cur, q);
        if (cur < 0) return KTVEC_REFUSED;
        node[cur].flag |= KTVEC_NODE_SELECT;
        if (cur == to) return 0;
    }
    return KTVEC_REFUSED;
}

int CKTVector::mselectpolyline(_KTNODE *n) {
    if (n->linknum == 1) return n->link[0].id;
    if (n->linknum == 2 && n->link[0].id == -n->link[1].id)
        return n->link[0].id < 0 ? -n->link[0].id : n->link[0].id;
    return KTVEC_REFUSED;
}
