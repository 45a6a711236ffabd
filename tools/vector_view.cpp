#include "vector_view.h"

#include "error.h"

namespace ktvcli {

VectorView::VectorView(CKTVector &v) : v_(v), dense_(sizeof(int) * static_cast<std::size_t>(v.mgetnodenum())) {
    if (!dense_.ok()) throw CliError("out of memory while writing the result");
    int *dense = reinterpret_cast<int *>(dense_.data());
    for (int i = 0, n = v.mgetnodenum(); i < n; ++i)
        dense[i] = v.mgetnode(i)->deleted ? -1 : live_nodes_++;
    for (int k = 1, n = v.mgetpolylinenum(); k <= n; ++k)
        if (!v.mgetpolyline(k)->deleted) ++live_polylines_;
}

const _KTNODELINK *VectorView::link(int from, int to, int id) {
    const _KTNODE &n = node(from);
    for (int i = 0; i < n.linknum; ++i)
        if (n.link[i].node == to && n.link[i].id == id) return &n.link[i];
    return nullptr;
}

}  // namespace ktvcli
