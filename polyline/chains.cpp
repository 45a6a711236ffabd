// Walks along chains of connections.  From end reference r a chain enters
// polyline |r| at the end r names and leaves it at the other end: a positive
// r continues with the entries of its `next` list, a negative one with those
// of its `prev` list.
//
// The connection operations keep the chains free of loops, but joining and
// re-pointing can still close one, and chains can share tails (one end may
// hold several connections until they are pruned).  So both walks here are
// depth-first with an explicit stack and a visited stamp per end reference:
// they end on any graph and visit each end once, which gives the same answer
// as the plain recursion wherever that recursion ends.
#include <algorithm>

#include "ktvec.h"
#include "polyline/records.h"
#include "vectorizer/memory.h"

namespace {

// Scratch layout for a block of room for E end references (E >= 2n for n
// polylines): stamp[E], value[E], then a stack of frames of at most 3 ints
// (at most E deep).
constexpr int kIntsPerEnd = 5;

inline int chain_ends(int capacity) { return capacity / kIntsPerEnd; }

inline int slot(int ref) { return ref > 0 ? 2 * (ref - 1) : 2 * (-ref - 1) + 1; }

struct List {
    const int *entries;
    int count;
};

// The list a chain continues with after entering at end reference `ref`.
List continuation(CKTVector &v, int ref) {
    const _KTPOLYLINE *p = ktv::record_of(v, ref);
    if (!p) return {nullptr, 0};
    return ref > 0 ? List{p->next, p->nextnum} : List{p->prev, p->prevnum};
}

}  // namespace

// Scratch sized for the current table with a fresh visited generation, or
// null when memory is short.
int *CKTVector::mchainwork() {
    const long long need = static_cast<long long>(kIntsPerEnd) * 2 * (polylinenum + 1);
    if (need > 0x7fffffff) return nullptr;
    if (chainworkcapacity < need) {
        // Half as much again of room: the clean-up splits polylines between
        // connections, and scratch sized exactly would be made and cleared
        // afresh after the first split.  The layout (see chain_ends) follows
        // the block, so stamps stay where they were while it lasts.
        long long room = need + need / 2;
        if (room > 0x7fffffff) room = need;
        int *grown = ktv::alloc_zeroed<int>(static_cast<std::size_t>(room));
        if (!grown) return nullptr;
        ktv::mem_free(chainwork);
        chainwork = grown;
        chainworkcapacity = static_cast<int>(room);
        chaingeneration = 0;
    }
    if (++chaingeneration == 0) {  // stamps wrapped: start afresh
        std::fill(chainwork, chainwork + chainworkcapacity, 0);
        chaingeneration = 1;
    }
    return chainwork;
}

// The stack part of the scratch alone, for a walk that keeps no stamps: it
// leaves the stamps of the walks above intact.
int *CKTVector::mchainstack() {
    int *work = mchainwork();
    return work ? work + 2 * chain_ends(chainworkcapacity) : nullptr;
}

// 1 when some chain from end reference b reaches polyline a (so connecting
// to b would close a loop back to a), 0 when none does, -1000 when the walk
// has no memory.
int CKTVector::mcheckjointloop(int a, int b) {
    if (b == a || b == -a) return 1;
    if (!ktv::record_of(*this, b)) return 0;
    int *work = mchainwork();
    if (!work) return -1000;
    const int ends = chain_ends(chainworkcapacity);
    int *stamp = work;
    int *stack = work + 2 * ends;  // frames of (ref, next entry)
    const int gen = static_cast<int>(chaingeneration);
    int depth = 0;
    stamp[slot(b)] = gen;
    stack[0] = b;
    stack[1] = 0;
    depth = 1;
    while (depth > 0) {
        int *frame = stack + 2 * (depth - 1);
        const List l = continuation(*this, frame[0]);
        if (frame[1] >= l.count) {
            --depth;
            continue;
        }
        const int e = l.entries[frame[1]++];
        if (e == a || e == -a) return 1;
        if (!ktv::record_of(*this, e) || stamp[slot(e)] == gen) continue;
        stamp[slot(e)] = gen;
        int *next = stack + 2 * depth++;
        next[0] = e;
        next[1] = 0;
    }
    return 0;
}

// Number of polylines on the longest chain that starts by entering polyline
// |ref| at the end ref names (1 when its continuation list is empty).  Each
// end's length is computed once; an end met again while its own chain is
// still open (a loop) counts as a chain of 0.
int CKTVector::mgetpathlen(int ref) {
    if (!ktv::record_of(*this, ref)) return 1;
    int *work = mchainwork();
    if (!work) {  // no memory for the stamps: plain recursion, depth-bounded
        struct Plain {
            CKTVector &v;
            int limit;
            int len(int r, int depth) {
                if (depth > limit) return 0;
                const List l = continuation(v, r);
                int best = 0;
                for (int i = 0; i < l.count; ++i) best = std::max(best, len(l.entries[i], depth + 1));
                return 1 + best;
            }
        } plain{*this, 2 * polylinenum + 1};
        return plain.len(ref, 0);
    }
    const int ends = chain_ends(chainworkcapacity);
    int *stamp = work;
    int *value = work + ends;
    int *stack = work + 2 * ends;  // frames of (ref, next entry, best so far)
    const int gen = static_cast<int>(chaingeneration);
    stamp[slot(ref)] = gen;
    value[slot(ref)] = -1;  // open
    stack[0] = ref;
    stack[1] = 0;
    stack[2] = 0;
    int depth = 1;
    while (depth > 0) {
        int *frame = stack + 3 * (depth - 1);
        const List l = continuation(*this, frame[0]);
        if (frame[1] >= l.count) {
            value[slot(frame[0])] = 1 + frame[2];
            const int done = value[slot(frame[0])];
            if (--depth > 0) {
                int *parent = stack + 3 * (depth - 1);
                parent[2] = std::max(parent[2], done);
            }
            continue;
        }
        const int e = l.entries[frame[1]++];
        if (!ktv::record_of(*this, e)) {
            frame[2] = std::max(frame[2], 1);  // a dangling entry still counts itself
            continue;
        }
        if (stamp[slot(e)] == gen) {
            frame[2] = std::max(frame[2], std::max(value[slot(e)], 0));
            continue;
        }
        stamp[slot(e)] = gen;
        value[slot(e)] = -1;
        int *next = stack + 3 * depth++;
        next[0] = e;
        next[1] = 0;
        next[2] = 0;
    }
    return value[slot(ref)];
}
