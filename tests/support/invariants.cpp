#include "invariants.h"

#include <algorithm>
#include <cstdlib>
#include <map>
#include <sstream>
#include <tuple>
#include <vector>

#include "peer.h"

namespace {

struct Report {
    std::ostringstream out;
    int count = 0;
    template <class... A> void add(const A &...parts) {
        if (++count > 12) return;
        (out << ... << parts);
        out << '\n';
    }
    std::string text() const {
        if (count == 0) return {};
        std::string s = out.str();
        if (count > 12) s += "... and " + std::to_string(count - 12) + " more\n";
        return s;
    }
};

bool has_link(const _KTNODE &n, int target, int id) {
    for (int i = 0; i < n.linknum; ++i)
        if (n.link[i].node == target && n.link[i].id == id) return true;
    return false;
}

bool has_link_with_id(const _KTNODE &n, int id) {
    for (int i = 0; i < n.linknum; ++i)
        if (n.link[i].id == id) return true;
    return false;
}

void check_links(CKTVector &v, const CheckOptions &o, Report &r) {
    const int nn = v.nodenum;
    // Multiset of half-links keyed by (from, to, id, length, area); every key
    // needs its twin key (to, from, -id, length, -area) equally often.
    using Key = std::tuple<int, int, int, double, double>;
    std::map<Key, int> halves;
    for (int a = 0; a < nn; ++a) {
        const _KTNODE &n = v.node[a];
        if (n.deleted) continue;  // history: see the header
        if (n.linknum < 0) r.add("node ", a, ": linknum ", n.linknum);
        if (n.linknum > 0 && !n.link) r.add("node ", a, ": linknum ", n.linknum, " without array");
        for (int i = 0; i < n.linknum && n.link; ++i) {
            const _KTNODELINK &l = n.link[i];
            if (l.node < 0 || l.node >= nn) {
                r.add("node ", a, " link ", i, ": target ", l.node, " outside 0..", nn - 1);
                continue;
            }
            if (l.id == 0) r.add("node ", a, " link ", i, ": id 0");
            if (o.no_self_links && l.node == a) r.add("node ", a, " link ", i, ": to itself");
            if (v.node[l.node].deleted) {
                if (!o.links_to_deleted)
                    r.add("node ", a, " link ", i, ": aims at deleted node ", l.node);
                continue;
            }
            ++halves[Key(a, l.node, l.id, l.length, l.area)];
        }
    }
    // With crossed pairs allowed, the halves left without their twin pair
    // up by their ends, length and area alone.
    using Ends = std::tuple<int, int, double, double>;
    std::map<Ends, int> left;
    for (const auto &[k, count] : halves) {
        const auto &[a, b, id, len, area] = k;
        auto it = halves.find(Key(b, a, -id, len, -area));
        const int twins = it == halves.end() ? 0 : it->second;
        if (twins == count) continue;
        if (o.crossed_pairs && count > twins) {
            left[Ends(a, b, len, area)] += count - twins;
            continue;
        }
        r.add("link ", a, "->", b, " id ", id, " length ", len, " area ", area, ": ", count, " record(s) but ", twins,
              " twin(s)");
    }
    for (const auto &[k, count] : left) {
        const auto &[a, b, len, area] = k;
        auto it = left.find(Ends(b, a, len, -area));
        const int twins = it == left.end() ? 0 : it->second;
        if (twins != count)
            r.add("link ", a, "->", b, " length ", len, " area ", area, ": ", count, " record(s) without a twin but ",
                  twins, " crossed one(s)");
    }
}

void check_rows(CKTVector &v, const CheckOptions &o, Report &r) {
    const int rows = Peer::linerows(v);
    if (!v.lineinfo) return;
    std::vector<int> listed(static_cast<size_t>(std::max(v.nodenum, 0)), 0);
    for (int y = 0; y < rows; ++y) {
        const KTLINEINFO &row = v.lineinfo[y];
        if (row.nodenum < 0 || row.nodenum > row.nodecapacity)
            r.add("row ", y, ": nodenum ", row.nodenum, " capacity ", row.nodecapacity);
        for (int i = 0; i < row.nodenum; ++i) {
            const int ix = row.nodeindex[i];
            if (ix < 0 || ix >= v.nodenum) {
                r.add("row ", y, " entry ", i, ": node ", ix, " outside the table");
                continue;
            }
            const _KTNODE &n = v.node[ix];
            ++listed[static_cast<size_t>(ix)];
            if (n.y != y) r.add("row ", y, " lists node ", ix, " of row ", n.y);
            if (n.deleted) r.add("row ", y, " lists deleted node ", ix);
            if (o.rows_sorted && i > 0) {
                const int prev = row.nodeindex[i - 1];
                if (prev >= 0 && prev < v.nodenum && v.node[prev].x > n.x)
                    r.add("row ", y, ": node ", prev, " (x ", v.node[prev].x, ") before node ", ix,
                          " (x ", n.x, ")");
            }
        }
    }
    for (int i = 0; i < v.nodenum; ++i) {
        const _KTNODE &n = v.node[i];
        if (n.deleted) continue;
        if (n.y < 0 || n.y >= rows) {
            r.add("node ", i, " at row ", n.y, " outside the ", rows, " rows");
            continue;
        }
        if (listed[static_cast<size_t>(i)] != 1)
            r.add("node ", i, " (", n.x, ",", n.y, ") listed ", listed[static_cast<size_t>(i)],
                  " times in its row");
    }
}

// The list of the end that reference e names: +k the start (prev), -k the
// end (next).
bool list_contains(const _KTPOLYLINE &p, bool start, int value) {
    const int n = start ? p.prevnum : p.nextnum;
    const int *list = start ? p.prev : p.next;
    for (int i = 0; i < n; ++i)
        if (list[i] == value) return true;
    return false;
}

void check_connections(CKTVector &v, int id, const CheckOptions &o, Report &r) {
    const _KTPOLYLINE &p = v.polyline[id - 1];
    for (int side = 0; side < 2; ++side) {
        const bool start = side == 0;
        const int n = start ? p.prevnum : p.nextnum;
        const int *list = start ? p.prev : p.next;
        const char *name = start ? "prev" : "next";
        if (n < 0 || (n == 0) != (list == nullptr)) {
            r.add("polyline ", id, ": ", name, "num ", n, " with ", list ? "an array" : "no array");
            continue;
        }
        for (int i = 0; i < n; ++i) {
            const int e = list[i];
            for (int j = 0; j < i; ++j)
                if (list[j] == e) r.add("polyline ", id, ": ", name, " holds ", e, " twice");
            const int other = e < 0 ? -e : e;
            if (other == id) r.add("polyline ", id, ": ", name, " connects it to itself (", e, ")");
            if (other < 1 || other > v.polylinenum) {
                r.add("polyline ", id, ": ", name, " entry ", e, " names no polyline");
                continue;
            }
            // Our end is +id (start) or -id (end); the other polyline's list
            // for end e must name it.
            const int self = start ? id : -id;
            const _KTPOLYLINE &q = v.polyline[other - 1];
            if (o.connections_meet && !p.deleted && !q.deleted && p.nodenum > 0 && q.nodenum > 0) {
                const int here = start ? p.nodeindex[0] : p.nodeindex[p.nodenum - 1];
                const int there = e > 0 ? q.nodeindex[0] : q.nodeindex[q.nodenum - 1];
                if (here != there)
                    r.add("polyline ", id, ": ", name, " entry ", e, " names an end at node ", there,
                          ", not at node ", here);
            }
            if (!list_contains(v.polyline[other - 1], e > 0, self))
                r.add("polyline ", id, ": ", name, " entry ", e, " has no entry ", self,
                      " on the other side");
        }
    }
}

void check_polylines(CKTVector &v, const CheckOptions &o, Report &r) {
    if (v.polylinenum < 0 || v.polylinenum > v.polylinecapacity)
        r.add("polylinenum ", v.polylinenum, " capacity ", v.polylinecapacity);
    if (!v.polyline) {
        if (v.polylinenum) r.add("polylinenum ", v.polylinenum, " without a table");
        return;
    }
    for (int id = 1; id <= v.polylinenum; ++id) {
        const _KTPOLYLINE &p = v.polyline[id - 1];
        check_connections(v, id, o, r);
        if (p.deleted) continue;
        if (p.nodenum < 0 || p.nodenum > p.nodecapacity) {
            r.add("polyline ", id, ": nodenum ", p.nodenum, " capacity ", p.nodecapacity);
            continue;
        }
        bool indices_ok = true;
        for (int i = 0; i < p.nodenum; ++i)
            if (p.nodeindex[i] < 0 || p.nodeindex[i] >= v.nodenum) {
                r.add("polyline ", id, " entry ", i, ": node ", p.nodeindex[i], " outside the table");
                indices_ok = false;
            }
        if (!indices_ok) continue;
        for (int i = 0; i + 1 < p.nodenum; ++i)
            if (!has_link(v.node[p.nodeindex[i]], p.nodeindex[i + 1], id))
                r.add("polyline ", id, ": no +", id, " link from node ", p.nodeindex[i], " (entry ", i,
                      ") to node ", p.nodeindex[i + 1]);
        if (!o.polylines_complete || p.nodenum == 0) continue;
        if (p.nodenum == 1) {
            if (!o.single_node_polylines) r.add("polyline ", id, ": a single node");
            continue;
        }
        const int first = p.nodeindex[0];
        const int last = p.nodeindex[p.nodenum - 1];
        if (first == last || !o.chain_ends) continue;
        if (has_link_with_id(v.node[first], -id))
            r.add("polyline ", id, ": starts at node ", first, " which still has a -", id, " link");
        if (has_link_with_id(v.node[last], id))
            r.add("polyline ", id, ": ends at node ", last, " which still has a +", id, " link");
    }
}

void check_coverage(CKTVector &v, Report &r) {
    // Pairs (from, to, id) the live polylines account for, with multiplicity.
    std::map<std::tuple<int, int, int>, int> covered;
    for (int id = 1; id <= v.polylinenum; ++id) {
        const _KTPOLYLINE &p = v.polyline[id - 1];
        if (p.deleted) continue;
        for (int i = 0; i + 1 < p.nodenum; ++i) {
            ++covered[{p.nodeindex[i], p.nodeindex[i + 1], id}];
            ++covered[{p.nodeindex[i + 1], p.nodeindex[i], -id}];
        }
    }
    for (int a = 0; a < v.nodenum; ++a) {
        const _KTNODE &n = v.node[a];
        if (n.deleted) continue;
        for (int i = 0; i < n.linknum; ++i) {
            const _KTNODELINK &l = n.link[i];
            if (l.node < 0 || l.node >= v.nodenum || v.node[l.node].deleted) continue;
            auto it = covered.find({a, l.node, l.id});
            if (it == covered.end() || it->second == 0)
                r.add("link ", a, "->", l.node, " id ", l.id, " lies on no live polyline");
            else
                --it->second;
        }
    }
}

}  // namespace

std::string check_graph(CKTVector &v, const CheckOptions &o) {
    Report r;
    if (v.nodenum < 0 || v.nodenum > v.nodecapacity)
        r.add("nodenum ", v.nodenum, " capacity ", v.nodecapacity);
    else if (v.nodecapacity > 0 && !v.node)
        r.add("node capacity ", v.nodecapacity, " without a table");
    if (v.segmentnum < 0 || v.segmentnum > v.segmentcapacity)
        r.add("segmentnum ", v.segmentnum, " capacity ", v.segmentcapacity);
    if (r.count) return r.text();  // the tables themselves cannot be walked
    check_links(v, o, r);
    check_rows(v, o, r);
    if (o.polylines) check_polylines(v, o, r);
    if (o.polylines && o.links_on_polylines && v.polyline) check_coverage(v, r);
    return r.text();
}

bool chain_meets_itself(const CKTVector &v) {
    for (int i = 0; v.node && i < v.nodenum; ++i) {
        const _KTNODE &n = v.node[i];
        if (n.deleted) continue;
        for (int a = 0; a < n.linknum; ++a)
            for (int b = a + 1; b < n.linknum; ++b)
                if (n.link[a].id == n.link[b].id) return true;
    }
    return false;
}

std::string dump_graph(CKTVector &v) {
    std::ostringstream out;
    out.precision(17);
    for (int i = 0; i < v.nodenum; ++i) {
        const _KTNODE &n = v.node[i];
        out << "node " << i << " (" << n.x << "," << n.y << ")" << (n.deleted ? " deleted" : "") << " flag "
            << int(n.flag) << " spare " << int(n.spare) << ":";
        for (int k = 0; k < n.linknum; ++k) {
            const _KTNODELINK &l = n.link[k];
            out << " [" << l.id << "->" << l.node << " " << l.length << " " << l.area;
            if (l.mark || l.arc || l.radius) out << " mark " << int(l.mark) << " arc " << int(l.arc) << " " << l.centerx << "," << l.centery << " r " << l.radius;
            out << "]";
        }
        out << '\n';
    }
    if (v.lineinfo) out << "rows " << Peer::linerows(v) << " height " << v.height << '\n';
    for (int y = 0; v.lineinfo && y < Peer::linerows(v); ++y) {
        if (!v.lineinfo[y].nodenum) continue;
        out << "row " << y << ":";
        for (int i = 0; i < v.lineinfo[y].nodenum; ++i) out << ' ' << v.lineinfo[y].nodeindex[i];
        out << '\n';
    }
    for (int id = 1; v.polyline && id <= v.polylinenum; ++id) {
        const _KTPOLYLINE &p = v.polyline[id - 1];
        out << "polyline " << id << (p.deleted ? " deleted" : "") << " flag " << int(p.flag) << " modify "
            << int(p.modify) << " joint " << int(p.jointmark) << ":";
        for (int i = 0; i < p.nodenum; ++i) out << ' ' << p.nodeindex[i];
        out << " prev";
        for (int i = 0; i < p.prevnum; ++i) out << ' ' << p.prev[i];
        out << " next";
        for (int i = 0; i < p.nextnum; ++i) out << ' ' << p.next[i];
        for (int i = 0; i < p.splinenum; ++i) out << (i ? " " : " spline ") << p.splinex[i] << "," << p.spliney[i];
        out << '\n';
    }
    return out.str();
}

unsigned long long digest(const std::string &text, unsigned long long seed) {
    for (unsigned char c : text) seed = (seed ^ c) * 1099511628211ull;
    return seed;
}

void read_everything(CKTVector &v) {
    // Summed into a value the compiler cannot drop; the sanitizer checks
    // every read against the array it came from.
    double sum = 0;
    const unsigned char *thin = v.mgetthindata();
    if (thin)
        for (size_t i = 0; i < static_cast<size_t>(v.height) * static_cast<size_t>(v.bytesperline); ++i)
            sum += thin[i];
    const int nodes = v.mgetnodenum();
    if (v.mgetnode(-1) || v.mgetnode(nodes)) std::abort();
    for (int i = 0; i < nodes; ++i) {
        const _KTNODE *n = v.mgetnode(i);
        sum += n->x + n->y + n->flag + n->deleted + n->spare + n->linknum;
        for (int k = 0; k < n->linknum; ++k) {
            const _KTNODELINK &l = n->link[k];
            sum += l.length + l.area + l.centerx + l.centery + l.radius + l.id + l.mark + l.arc + l.node;
        }
    }
    for (int id = 1; v.mgetpolyline() && id <= v.mgetpolylinenum(); ++id) {
        const _KTPOLYLINE *p = v.mgetpolyline(id);
        if (p != v.mgetpolyline(-id)) std::abort();
        sum += p->flag + p->deleted + p->modify + p->jointmark + p->nodecapacity;
        for (int i = 0; i < p->nodenum; ++i) sum += p->nodeindex[i];
        for (int i = 0; i < p->prevnum; ++i) sum += p->prev[i];
        for (int i = 0; i < p->nextnum; ++i) sum += p->next[i];
        for (int i = 0; i < p->splinenum; ++i) sum += p->splinex[i] + p->spliney[i];
    }
    volatile double sink = sum;
    (void)sink;
}
