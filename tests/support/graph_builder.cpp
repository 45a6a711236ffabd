#include "graph_builder.h"

#include <cmath>
#include <cstdlib>

#include "peer.h"
#include "vectorizer/memory.h"

namespace {
// Test set-up must not fail quietly: an allocation failure here is a broken
// test environment, not a result.
template <class T> T *must(T *p) {
    if (!p) std::abort();
    return p;
}
}  // namespace

void GraphBuilder::rows(int width, int height) {
    v_.width = width;
    v_.height = height;
    v_.bytesperline = (width + 7) / 8;
    v_.lineinfo = must(ktv::alloc_zeroed<KTLINEINFO>(static_cast<std::size_t>(height)));
    Peer::linerows(v_) = height;
}

int GraphBuilder::node(int x, int y) {
    if (v_.nodecapacity <= v_.nodenum) {
        int grown = v_.nodecapacity + 4;
        v_.node = must(ktv::grow_zeroed(v_.node, static_cast<std::size_t>(v_.nodecapacity),
                                        static_cast<std::size_t>(grown)));
        v_.nodecapacity = grown;
    }
    int index = v_.nodenum++;
    v_.node[index].x = x;
    v_.node[index].y = y;
    if (v_.lineinfo && y >= 0 && y < v_.height) {
        KTLINEINFO &row = v_.lineinfo[y];
        if (row.nodecapacity <= row.nodenum) {
            row.nodeindex = must(ktv::move_to_larger(row.nodeindex,
                                                     static_cast<std::size_t>(row.nodecapacity),
                                                     static_cast<std::size_t>(row.nodecapacity) + 4));
            row.nodecapacity += 4;
        }
        int at = row.nodenum;
        while (at > 0 && v_.node[row.nodeindex[at - 1]].x > x) {
            row.nodeindex[at] = row.nodeindex[at - 1];
            --at;
        }
        row.nodeindex[at] = index;
        ++row.nodenum;
    }
    return index;
}

static int add_half(_KTNODE &from, int to, int id, double length, double area) {
    from.link = must(ktv::grow_zeroed(from.link, static_cast<std::size_t>(from.linknum),
                                      static_cast<std::size_t>(from.linknum) + 1));
    _KTNODELINK &l = from.link[from.linknum];
    l.id = id;
    l.node = to;
    l.length = length;
    l.area = area;
    return from.linknum++;
}

int GraphBuilder::link(int a, int b, int id, double area) {
    double length = std::hypot(double(v_.node[b].x - v_.node[a].x),
                               double(v_.node[b].y - v_.node[a].y));
    int k = add_half(v_.node[a], b, id, length, area);
    add_half(v_.node[b], a, -id, length, -area);
    return k;
}

int GraphBuilder::polyline(const std::vector<int> &nodes) {
    if (v_.polylinecapacity <= v_.polylinenum) {
        int grown = v_.polylinecapacity + 1;
        v_.polyline = must(ktv::grow_zeroed(v_.polyline,
                                            static_cast<std::size_t>(v_.polylinecapacity),
                                            static_cast<std::size_t>(grown)));
        v_.polylinecapacity = grown;
    }
    _KTPOLYLINE &p = v_.polyline[v_.polylinenum++];
    std::size_t n = nodes.size();
    p.nodeindex = must(ktv::alloc_array<int>(n));
    for (std::size_t i = 0; i < n; ++i) p.nodeindex[i] = nodes[i];
    p.nodenum = p.nodecapacity = static_cast<int>(n);
    return v_.polylinenum;
}

int GraphBuilder::path_of(const std::vector<int> &nodes) {
    int id = v_.polylinenum + 1;
    for (std::size_t i = 0; i + 1 < nodes.size(); ++i) link(nodes[i], nodes[i + 1], id);
    return polyline(nodes);
}

int GraphBuilder::path(const std::vector<std::pair<int, int>> &points, bool closed) {
    std::vector<int> nodes;
    for (auto [x, y] : points) nodes.push_back(node(x, y));
    if (closed && !nodes.empty()) nodes.push_back(nodes.front());
    return path_of(nodes);
}

_KTNODELINK *GraphBuilder::find_link(int a, int b, int id) const {
    _KTNODE &n = v_.node[a];
    for (int i = 0; i < n.linknum; ++i)
        if (n.link[i].node == b && n.link[i].id == id) return &n.link[i];
    return nullptr;
}
