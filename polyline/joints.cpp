// Joints: nodes where polyline ends meet.  Queries for the host: which ends
// of a polyline lie on a node, how many ends meet there, the connections held
// there, and a flood mark over everything connected to the polylines at a
// node.
#include "ktvec.h"
#include "polyline/chains.h"
#include "polyline/records.h"

int CKTVector::mcheckend(_KTNODE *n, int ref) {
    const _KTPOLYLINE *p = ktv::record_of(*this, ref);
    if (!p) return 0;
    const int j = static_cast<int>(n - node);
    return (ktv::first_node(*p) == j ? 1 : 0) | (ktv::last_node(*p) == j ? 2 : 0);
}

int CKTVector::mcountend(_KTNODE *n) {
    int count = 0;
    for (int k = 0; k < n->linknum; ++k) count += mcheckend(n, n->link[k].id) > 0;
    return count;
}

int CKTVector::mduplicatecheck(int a, int na, int b, int nb, int *info, int count) {
    for (int i = 0; i < count; ++i) {
        const int *e = info + 4 * i;
        if ((e[0] == a && e[1] == na && e[2] == b && e[3] == nb) ||
            (e[0] == b && e[1] == nb && e[2] == a && e[3] == na))
            return 1;
    }
    return 0;
}

// Entries (A, A's node next to the joint, B, B's node next to it), one per
// connection held at the node, each reported once.
int CKTVector::mgetjointinfo(_KTNODE *n, int *info) {
    const int j = static_cast<int>(n - node);
    int entries = 0;
    for (int k = 0; k < n->linknum; ++k) {
        _KTPOLYLINE *a = ktv::record_of(*this, n->link[k].id);
        if (!a || a->nodenum < 2) continue;
        const int ida = ktv::id_of(*this, a);
        const int *list;
        int count, anext;
        if (ktv::first_node(*a) == j) {
            list = a->prev;
            count = a->prevnum;
            anext = a->nodeindex[1];
        } else if (ktv::last_node(*a) == j) {
            list = a->next;
            count = a->nextnum;
            anext = a->nodeindex[a->nodenum - 2];
        } else {
            continue;
        }
        for (int i = 0; i < count; ++i) {
            const int e = list[i];
            const _KTPOLYLINE *b = ktv::record_of(*this, e);
            if (!b || b->nodenum < 2) continue;
            const int idb = ktv::id_of(*this, b);
            const int bnext = e > 0 ? b->nodeindex[1] : b->nodeindex[b->nodenum - 2];
            if (mduplicatecheck(ida, anext, idb, bnext, info, entries)) continue;
            int *out = info + 4 * entries++;
            out[0] = ida;
            out[1] = anext;
            out[2] = idb;
            out[3] = bnext;
        }
    }
    return 4 * entries;
}

// Marks the polyline `ref` names and everything connected to it, directly or
// through other joints.  The mark is the visited set; the pending polylines
// wait on a stack (each is pushed once, when it is marked).
void CKTVector::markjointpolyline(int ref) {
    _KTPOLYLINE *start = ktv::record_of(*this, ref);
    if (!start || start->jointmark == 1) return;
    int *stack = ktv::chain_stack(*this, polylinenum + 1);  // each polyline is pushed at most once
    if (!stack) {  // no memory for the stack: recurse (the marks bound it)
        start->jointmark = 1;
        for (int i = 0; i < start->prevnum; ++i) markjointpolyline(start->prev[i]);
        for (int i = 0; i < start->nextnum; ++i) markjointpolyline(start->next[i]);
        return;
    }
    int depth = 0;
    start->jointmark = 1;
    stack[depth++] = ktv::id_of(*this, start);
    while (depth > 0) {
        _KTPOLYLINE *p = &polyline[stack[--depth] - 1];
        for (int pass = 0; pass < 2; ++pass) {
            const int *list = pass == 0 ? p->prev : p->next;
            const int count = pass == 0 ? p->prevnum : p->nextnum;
            for (int i = 0; i < count; ++i) {
                _KTPOLYLINE *q = ktv::record_of(*this, list[i]);
                if (!q || q->jointmark == 1) continue;
                q->jointmark = 1;
                stack[depth++] = ktv::id_of(*this, q);
            }
        }
    }
}

void CKTVector::markjointpolyline(_KTNODE *n) {
    for (int k = 0; k < n->linknum; ++k) markjointpolyline(n->link[k].id);
}

void CKTVector::munmarkjointpolyline() {
    for (int i = 0; i < polylinenum; ++i) polyline[i].jointmark = 0;
}
