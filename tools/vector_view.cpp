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
    auto find = [this](int a, int b, int want) -> const _KTNODELINK * {
        const _KTNODE &n = node(a);
        for (int i = 0; i < n.linknum; ++i)
            if (n.link[i].node == b && n.link[i].id == want) return &n.link[i];
        return nullptr;
    };
    // The twin carries the same length and fitted arc, so it stands in for a
    // record that is missing.
    const _KTNODELINK *l = find(from, to, id);
    return l ? l : find(to, from, -id);
}

}  // namespace ktvcli
