#include "vector_view.h"

#include <cmath>

#include "error.h"

namespace ktvcli {

bool arc_sweep(const _KTNODELINK &l, const _KTNODE &a, const _KTNODE &b) {
    return arc_sweep(l, l.centerx, l.centery, a.x, a.y, b.x, b.y);
}

bool arc_sweep(const _KTNODELINK &l, double cx, double cy, double ax, double ay, double bx, double by) {
    const double cross = (ax - cx) * (by - cy) - (ay - cy) * (bx - cx);
    return cross != 0 ? cross > 0 : l.arc == 1;
}

// A node is written when it is live or when a live polyline still runs
// through it: clean-up may delete a node yet leave a link to it (a spur cut
// back to the node before its end), and every node a polyline names must be
// in the output for the polyline to be drawn as the library holds it.
VectorView::VectorView(CKTVector &v) : v_(v), dense_(sizeof(int) * static_cast<std::size_t>(v.mgetnodenum())) {
    if (!dense_.ok()) throw CliError("out of memory while writing the result");
    int *dense = reinterpret_cast<int *>(dense_.data());
    const int nodes = v.mgetnodenum();
    constexpr int kOnPolyline = -2;
    for (int i = 0; i < nodes; ++i) dense[i] = -1;
    for (int k = 1, n = v.mgetpolylinenum(); k <= n; ++k) {
        const _KTPOLYLINE &p = *v.mgetpolyline(k);
        if (p.deleted) continue;
        ++live_polylines_;
        for (int i = 0; i < p.nodenum; ++i)
            if (p.nodeindex[i] >= 0 && p.nodeindex[i] < nodes) dense[p.nodeindex[i]] = kOnPolyline;
    }
    for (int i = 0; i < nodes; ++i)
        if (!v.mgetnode(i)->deleted || dense[i] == kOnPolyline) dense[i] = written_nodes_++;
}

const _KTNODELINK *find_link(CKTVector &v, int from, int to, int id) {
    auto find = [&v](int a, int b, int want) -> const _KTNODELINK * {
        const _KTNODE &n = *v.mgetnode(a);
        for (int i = 0; i < n.linknum; ++i)
            if (n.link[i].node == b && n.link[i].id == want) return &n.link[i];
        return nullptr;
    };
    // The twin carries the same length and fitted arc, so it stands in for a
    // record that is missing.
    const _KTNODELINK *l = find(from, to, id);
    return l ? l : find(to, from, -id);
}

const _KTNODELINK *VectorView::link(int from, int to, int id) { return find_link(v_, from, to, id); }

bool VectorView::circle(const _KTPOLYLINE &p, Circle &c) {
    if (!closed(p) || p.nodenum < 4) return false;
    const int n = p.nodenum - 1;
    double sx = 0, sy = 0;
    for (int i = 0; i < n; ++i) {
        sx += node(p.nodeindex[i]).x;
        sy += node(p.nodeindex[i]).y;
    }
    c.cx = sx / n;
    c.cy = sy / n;
    double sr = 0;
    for (int i = 0; i < n; ++i) sr += std::hypot(node(p.nodeindex[i]).x - c.cx, node(p.nodeindex[i]).y - c.cy);
    c.r = sr / n;
    return true;
}

}  // namespace ktvcli
