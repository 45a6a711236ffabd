#include "graph_compare.h"

#include <sstream>

#include "peer.h"

namespace {

template <class T> bool same_list(const T *a, const T *b, int n) {
    for (int i = 0; i < n; ++i)
        if (a[i] != b[i]) return false;
    return true;
}

bool same_link(const _KTNODELINK &a, const _KTNODELINK &b) {
    return a.length == b.length && a.area == b.area && a.centerx == b.centerx &&
           a.centery == b.centery && a.radius == b.radius && a.id == b.id && a.mark == b.mark &&
           a.arc == b.arc && a.node == b.node;
}

std::string node_difference(CKTVector &a, CKTVector &b) {
    std::ostringstream out;
    if (a.nodenum != b.nodenum) out << "nodenum " << a.nodenum << " != " << b.nodenum;
    for (int i = 0; out.str().empty() && i < a.nodenum; ++i) {
        const _KTNODE &p = a.node[i], &q = b.node[i];
        if (p.x != q.x || p.y != q.y || p.flag != q.flag || p.deleted != q.deleted ||
            p.spare != q.spare || p.linknum != q.linknum) {
            out << "node " << i << " fields differ";
            break;
        }
        for (int k = 0; k < p.linknum; ++k)
            if (!same_link(p.link[k], q.link[k])) {
                out << "node " << i << " link " << k << " differs";
                break;
            }
    }
    return out.str();
}

std::string row_difference(CKTVector &a, CKTVector &b) {
    std::ostringstream out;
    if (!a.lineinfo != !b.lineinfo) return "one has row records, the other not";
    if (!a.lineinfo) return "";
    const int rows = Peer::linerows(a);
    if (rows != Peer::linerows(b) || a.height != b.height) return "row count or height differs";
    for (int y = 0; y < rows; ++y) {
        const KTLINEINFO &p = a.lineinfo[y], &q = b.lineinfo[y];
        if (p.nodenum != q.nodenum || !same_list(p.nodeindex, q.nodeindex, p.nodenum)) {
            out << "row " << y << " differs";
            break;
        }
    }
    return out.str();
}

std::string polyline_difference(CKTVector &a, CKTVector &b) {
    std::ostringstream out;
    if (!a.polyline != !b.polyline) return "one has a polyline table, the other not";
    if (a.polylinenum != b.polylinenum) {
        out << "polylinenum " << a.polylinenum << " != " << b.polylinenum;
        return out.str();
    }
    for (int i = 0; i < a.polylinenum; ++i) {
        const _KTPOLYLINE &p = a.polyline[i], &q = b.polyline[i];
        const bool same = p.flag == q.flag && p.deleted == q.deleted && p.modify == q.modify &&
                          p.jointmark == q.jointmark && p.nodenum == q.nodenum &&
                          same_list(p.nodeindex, q.nodeindex, p.nodenum) && p.prevnum == q.prevnum &&
                          same_list(p.prev, q.prev, p.prevnum) && p.nextnum == q.nextnum &&
                          same_list(p.next, q.next, p.nextnum) && p.splinenum == q.splinenum &&
                          same_list(p.splinex, q.splinex, p.splinenum) &&
                          same_list(p.spliney, q.spliney, p.splinenum);
        if (!same) {
            out << "polyline " << i + 1 << " differs";
            break;
        }
    }
    return out.str();
}

}  // namespace

std::string graph_difference(CKTVector &a, CKTVector &b) {
    std::string d = node_difference(a, b);
    if (d.empty()) d = row_difference(a, b);
    if (d.empty()) d = polyline_difference(a, b);
    return d;
}
