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
// marks, so the nodes the previous search marked (kept in `findlist`) are
// exactly the marked ones and clearing them is enough; this keeps a search
// proportional to its window on graphs of any size.  The marks left behind
// are the same either way.
#include <algorithm>
#include <cmath>

#include "ktvec.h"
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

void CKTVector::mresetfind() {
    if (findtracking && findlistvalid && !findreference) {
        for (int i = 0; i < findlistnum; ++i)
            if (findlist[i] < nodenum) node[findlist[i]].flag &= static_cast<unsigned char>(~2u);
    } else {
        for (int i = 0; i < nodenum; ++i) node[i].flag &= static_cast<unsigned char>(~2u);
    }
    findlistnum = 0;
    findlistvalid = 1;
    findlistsorted = 1;
}

void CKTVector::mmarkfound(int index) {
    node[index].flag |= 2;
    if (!findlistvalid) return;
    if (findlistcapacity <= findlistnum) {
        const int grown = findlistcapacity ? 2 * findlistcapacity : 64;
        int *list = ktv::grow_zeroed(findlist, static_cast<std::size_t>(findlistcapacity),
                                     static_cast<std::size_t>(grown));
        if (!list) {  // fall back to whole-array clearing and scanning
            findlistvalid = 0;
            return;
        }
        findlist = list;
        findlistcapacity = grown;
    }
    if (findlistnum && findlist[findlistnum - 1] > index) findlistsorted = 0;
    findlist[findlistnum++] = index;
}

// The first node after `after`, in index order, that carries the find mark;
// -1 when there is none.
int CKTVector::mnextfound(int after) {
    if (findlistvalid && !findreference) {
        if (!findlistsorted) {
            std::sort(findlist, findlist + findlistnum);
            findlistsorted = 1;
        }
        for (const int *it = std::upper_bound(findlist, findlist + findlistnum, after);
             it != findlist + findlistnum; ++it)
            if (*it < nodenum && (node[*it].flag & 2)) return *it;
        return -1;
    }
    for (int i = after + 1; i < nodenum; ++i)
        if (node[i].flag & 2) return i;
    return -1;
}

// One search hint per row, made on first use for the current rows; null
// when memory is short (the searches then start from each row's front).
// The same block holds the rows' "known distinct" marks behind the hints.
int *CKTVector::mrowhints() {
    if (!rowhint || rowhintrows != linerows) {
        const std::size_t rows = static_cast<std::size_t>(linerows > 0 ? linerows : 0);
        int *fresh = ktv::alloc_zeroed<int>(2 * rows);
        if (!fresh) return nullptr;
        ktv::release(rowhint);
        rowhint = fresh;
        rowhintrows = linerows;
    }
    return rowhint;
}

// Per row, 1 where the row is known to be in x order without two equal x:
// kept only inside a driver call (where only the library changes rows, and
// every change passes through the row operations that keep these marks);
// null outside one, or when memory is short (then every row is sorted in
// full).
int *CKTVector::mrowdistinct() {
    if (!findtracking || findreference) return nullptr;
    int *hints = mrowhints();
    return hints ? hints + rowhintrows : nullptr;
}

// Forgets every row's mark: at the start of a driver call, as a host may
// have changed rows since the last one.
void CKTVector::mforgetrowdistinct() {
    if (rowhint) std::fill(rowhint + rowhintrows, rowhint + 2 * rowhintrows, 0);
}

void CKTVector::mclearselect() {
    for (int i = 0; i < nodenum; ++i) node[i].flag &= static_cast<unsigned char>(~1u);
}

void CKTVector::mclearfind() {
    for (int i = 0; i < nodenum; ++i) node[i].flag &= static_cast<unsigned char>(~2u);
    findlistnum = 0;
    findlistvalid = 1;
    findlistsorted = 1;
}

int CKTVector::mgetselectnodenum() {
    int count = 0;
    for (int i = 0; node && i < nodenum; ++i) count += !node[i].deleted && (node[i].flag & 1);
    return count;
}

int CKTVector::mgetfindnodenum() {
    int count = 0;
    for (int i = 0; node && i < nodenum; ++i) count += !node[i].deleted && (node[i].flag & 2);
    return count;
}

// ---- neighbourhood searches ------------------------------------------------

// Marks the live nodes strictly within 1.414 r of (x, y): the circle through
// the corners of the square of half-width r.
int CKTVector::mfindnode(int x, int y, double r) {
    const double rr = 1.414 * r;
    const bool sorted = findtracking && !findreference;
    mresetfind();
    const Window win = make_window(x, y, half_width(rr), width, height, linerows);
    int count = 0;
    scan_window(*this, win, [&](int index) {
        const double dx = node[index].x - static_cast<double>(x);
        const double dy = node[index].y - static_cast<double>(y);
        if (std::sqrt(dx * dx + dy * dy) < rr) {
            mmarkfound(index);
            ++count;
        }
        return true;
    }, sorted, sorted ? mrowhints() : nullptr);
    return count;
}

int CKTVector::mfindnodefast(int x, int y, int r) {
    const bool sorted = findtracking && !findreference;
    mresetfind();
    const Window win = make_window(x, y, r, width, height, linerows);
    int count = 0;
    scan_window(*this, win, [&](int index) {
        mmarkfound(index);
        ++count;
        return true;
    }, sorted, sorted ? mrowhints() : nullptr);
    return count;
}

int CKTVector::msearchnodefast(int x, int y, int r) {
    if (!lineinfo) return 0;
    int found = 0;
    scan_window(*this, make_window(x, y, r, width, height, linerows), [&](int) {
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
    for (int i = mnextfound(-1); i >= 0; i = mnextfound(i)) {
        if (node[i].deleted) continue;
        const double dx = node[i].x - static_cast<double>(x);
        const double dy = node[i].y - static_cast<double>(y);
        const double d = std::sqrt(dx * dx + dy * dy);
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
        if (n.deleted || (n.flag & 1)) continue;
        if (n.x < x1 || n.x > x2 || n.y < y1 || n.y > y2) continue;
        n.flag |= 1;
        ++count;
    }
    return count;
}

void CKTVector::mselectnode1(int x, int y, _KTNODE *&picked) {
    picked = msearchNN(x, y, selectradius);
    if (picked) picked->flag |= 1;
}

void CKTVector::mselectnode2(int x1, int y1, int x2, int y2, _KTNODE *&node1, _KTNODE *&node2) {
    node1 = msearchNN(x1, y1, selectradius);
    node2 = msearchNN(x2, y2, selectradius);
    if (node1) node1->flag |= 1;
    if (node2) node2->flag |= 1;
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
    int p = 0;
    for (int i = 0; i < a->linknum && !p; ++i)
        for (int k = 0; k < b->linknum; ++k)
            if (b->link[k].id == a->link[i].id || b->link[k].id == -a->link[i].id) {
                p = a->link[i].id;
                break;
            }
    if (!p) return -1;
    const int q = p < 0 ? -p : p;
    const int ia = static_cast<int>(a - node), ib = static_cast<int>(b - node);

    bool reached = ia == ib;
    for (int cur = ia, steps = 0; !reached && steps <= nodenum; ++steps) {
        cur = step(*this, cur, -q);
        if (cur < 0) break;
        reached = cur == ib;
    }
    const int from = reached ? ib : ia, to = reached ? ia : ib;
    node[from].flag |= 1;
    if (from == to) return 0;
    for (int cur = from, steps = 0; steps <= nodenum; ++steps) {
        cur = step(*this, cur, q);
        if (cur < 0) return -1;
        node[cur].flag |= 1;
        if (cur == to) return 0;
    }
    return -1;
}

int CKTVector::mselectpolyline(_KTNODE *n) {
    if (n->linknum == 1) return n->link[0].id;
    if (n->linknum == 2 && n->link[0].id == -n->link[1].id)
        return n->link[0].id < 0 ? -n->link[0].id : n->link[0].id;
    return -1;
}
