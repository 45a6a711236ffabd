// Node links.  Every connection between two nodes is a pair of records, one
// on each end, naming the other end by its table index: id p on one side,
// -p on the other, equal length, opposite area.  A node's link array holds
// exactly its links (it grows one record at a time, is never shrunk while the
// node lives, and keeps the order in which links were added).
#include <climits>
#include <cstring>

#include "ktvec.h"
#include "vectorizer/memory.h"

void CKTVector::minitnodelink(_KTNODELINK *link) {
    std::memset(static_cast<void *>(link), 0, sizeof(_KTNODELINK));
}

int CKTVector::maddnodetolink(int id, double length, double sum, _KTNODE *from, _KTNODE *to) {
    if (from->linknum < 0 || from->linknum == INT_MAX) return KTVEC_NO_MEMORY;
    const std::size_t n = static_cast<std::size_t>(from->linknum);
    _KTNODELINK *grown = ktv::grow_zeroed(from->link, n, n + 1);
    if (!grown) return KTVEC_NO_MEMORY;
    from->link = grown;
    _KTNODELINK *l = &grown[n];
    minitnodelink(l);
    l->length = length;
    l->area = sum * 0.5;
    l->id = id;
    l->node = static_cast<int>(to - node);
    ++from->linknum;
    return 0;
}

// The record on `a` goes first.  When the twin on `b` cannot be added, the
// half on `a` is taken back, so that no link is ever left without its twin.
int CKTVector::mlinknode(int id, double length, double sum, _KTNODE *a, _KTNODE *b) {
    int r = maddnodetolink(id, length, sum, a, b);
    if (r < 0) return r;
    r = maddnodetolink(-id, length, -sum, b, a);
    if (r < 0) {
        if (--a->linknum == 0) ktv::release(a->link);
        return r;
    }
    return 0;
}

int CKTVector::mdeletenodefromlink(_KTNODE *a, _KTNODE *b) {
    const int target = static_cast<int>(b - node);
    for (int i = 0; i < a->linknum; ++i) {
        if (a->link[i].node != target) continue;
        const int id = a->link[i].id;
        std::memmove(static_cast<void *>(a->link + i), a->link + i + 1,
                     static_cast<std::size_t>(a->linknum - i - 1) * sizeof(_KTNODELINK));
        --a->linknum;
        return id;
    }
    return 0;
}

_KTNODELINK *CKTVector::mgetnodelink(_KTNODE *a, _KTNODE *b, int id) {
    if (!a || !b || !a->link) return nullptr;
    const int target = static_cast<int>(b - node);
    for (int i = 0; i < a->linknum; ++i) {
        _KTNODELINK *l = &a->link[i];
        if (l->node == target && (l->id == id || l->id == -id)) return l;
    }
    return nullptr;
}
