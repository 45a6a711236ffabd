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
//
// The visited ends of a walk sit in a small open-addressing table keyed by
// end reference, sized to what the walk meets: a walk costs what it touches,
// not the size of the polyline table (clearing scratch for every end of a
// large graph was most of the connection pass).  An entry is live when its
// stamp is the walk's generation, so a new walk needs no clearing.
#include "polyline/chains.h"

#include <algorithm>

#include "ktvec.h"
#include "polyline/records.h"
#include "vectorizer/impl.h"
#include "vectorizer/memory.h"

namespace {

// Scratch layout for C slots (a power of two): stamp[C], key[C], value[C],
// then the stack (frames of at most 3 ints, at most C/2 deep, so 3C ints
// are always there).
constexpr int kFirstSlots = 64;

inline int slot_of(int ref, int slots) {
    unsigned h = static_cast<unsigned>(ref) * 0x9E3779B1u;
    h ^= h >> 16;
    return static_cast<int>(h & static_cast<unsigned>(slots - 1));
}

// The slot holding `ref` in this walk's entries, or -1.
int find_end(const int *work, int slots, int gen, int ref) {
    const int *stamp = work, *key = work + slots;
    for (int i = slot_of(ref, slots);; i = (i + 1) & (slots - 1)) {
        if (stamp[i] != gen) return -1;
        if (key[i] == ref) return i;
    }
}

// Enters `ref` (not yet present); the table has a free slot.
int add_end(int *work, int slots, int gen, int ref) {
    int *stamp = work, *key = work + slots;
    int i = slot_of(ref, slots);
    while (stamp[i] == gen) i = (i + 1) & (slots - 1);
    stamp[i] = gen;
    key[i] = ref;
    return i;
}

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


// Makes the scratch hold at least `slots` slots and `stackints` ints of
// stack, keeping this walk's entries and the first `keep` ints of the
// stack; false (the old block untouched) when memory is short.
bool reserve(CKTVectorImpl &in, int slots, int stackints, int keep) {
    const int have = in.chainslots;
    const long long haverest = static_cast<long long>(in.chainworkcapacity) - 3LL * have;
    if (in.chainwork && have >= slots && haverest >= stackints) return true;
    long long c = have > kFirstSlots ? have : kFirstSlots;
    while (c < slots) c *= 2;
    const long long rest = std::max<long long>(stackints, 3 * c);
    const long long total = 3 * c + rest;
    if (total > 0x7fffffff) return false;
    int *grown = ktv::alloc_array<int>(static_cast<std::size_t>(total));
    if (!grown) return false;
    const int newslots = static_cast<int>(c);
    std::fill(grown, grown + newslots, 0);  // no stamp is a generation
    const int gen = static_cast<int>(in.chaingeneration);
    if (in.chainwork) {
        const int *work = in.chainwork;
        if (newslots == have) {
            std::copy(work, work + 3 * have, grown);
        } else if (gen != 0) {  // generation 0: no walk has entered anything yet
            const int *stamp = work, *key = work + have, *value = work + 2 * have;
            for (int i = 0; i < have; ++i)
                if (stamp[i] == gen) grown[2 * newslots + add_end(grown, newslots, gen, key[i])] = value[i];
        }
        std::copy(work + 3 * have, work + 3 * have + keep, grown + 3 * newslots);
        ktv::mem_free(in.chainwork);
    }
    in.chainwork = grown;
    in.chainslots = newslots;
    in.chainworkcapacity = static_cast<int>(total);
    return true;
}

// Scratch with a fresh visited generation (no live entries), or null when
// memory is short.
CKTVectorImpl *fresh_walk(CKTVector &v) {
    CKTVectorImpl *in = CKTVectorImpl::make(v);
    if (!in || !reserve(*in, kFirstSlots, 3 * kFirstSlots, 0)) return nullptr;
    if (++in->chaingeneration == 0 || in->chaingeneration > 0x7fffffffu) {  // stamps wrapped: start afresh
        std::fill(in->chainwork, in->chainwork + in->chainslots, 0);
        in->chaingeneration = 1;
    }
    return in;
}

// Room for one more visited end in the current walk: the table is kept at
// most half full.  Keeps the first `keep` ints of the stack.
bool room(CKTVectorImpl &in, int entries, int keep) {
    if (2 * (entries + 1) <= in.chainslots) return true;
    return reserve(in, 2 * in.chainslots, 0, keep);
}

}  // namespace

namespace ktv {

int *chain_stack(CKTVector &v, int count) {
    CKTVectorImpl *in = CKTVectorImpl::make(v);
    if (!in || !reserve(*in, in->chainslots, count, 0)) return nullptr;
    return in->chainwork + 3 * in->chainslots;
}

}  // namespace ktv

// 1 when some chain from end reference b reaches polyline a (so connecting
// to b would close a loop back to a), 0 when none does, KTVEC_NO_MEMORY when the walk
// has no memory.
int CKTVector::mcheckjointloop(int a, int b) {
    if (b == a || b == -a) return 1;
    if (!ktv::record_of(*this, b)) return 0;
    CKTVectorImpl *in = fresh_walk(*this);
    if (!in) return KTVEC_NO_MEMORY;
    const int gen = static_cast<int>(in->chaingeneration);
    add_end(in->chainwork, in->chainslots, gen, b);
    int entries = 1;
    int *stack = in->chainwork + 3 * in->chainslots;  // frames of (ref, next entry)
    stack[0] = b;
    stack[1] = 0;
    int depth = 1;
    while (depth > 0) {
        int *frame = stack + 2 * (depth - 1);
        const List l = continuation(*this, frame[0]);
        if (frame[1] >= l.count) {
            --depth;
            continue;
        }
        const int e = l.entries[frame[1]++];
        if (e == a || e == -a) return 1;
        if (!ktv::record_of(*this, e) || find_end(in->chainwork, in->chainslots, gen, e) >= 0) continue;
        if (!room(*in, entries, 2 * depth)) return KTVEC_NO_MEMORY;
        add_end(in->chainwork, in->chainslots, gen, e);
        ++entries;
        stack = in->chainwork + 3 * in->chainslots;
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
    // Without memory for the visited ends: plain recursion, depth-bounded.
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
    CKTVectorImpl *in = fresh_walk(*this);
    if (!in) return plain.len(ref, 0);
    const int gen = static_cast<int>(in->chaingeneration);
    auto value = [in](int at) -> int & { return in->chainwork[2 * in->chainslots + at]; };
    value(add_end(in->chainwork, in->chainslots, gen, ref)) = -1;  // open
    int entries = 1;
    int *stack = in->chainwork + 3 * in->chainslots;  // frames of (ref, next entry, best so far)
    stack[0] = ref;
    stack[1] = 0;
    stack[2] = 0;
    int depth = 1;
    while (depth > 0) {
        int *frame = stack + 3 * (depth - 1);
        const List l = continuation(*this, frame[0]);
        if (frame[1] >= l.count) {
            const int done = 1 + frame[2];
            value(find_end(in->chainwork, in->chainslots, gen, frame[0])) = done;
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
        const int seen = find_end(in->chainwork, in->chainslots, gen, e);
        if (seen >= 0) {
            frame[2] = std::max(frame[2], std::max(value(seen), 0));
            continue;
        }
        if (!room(*in, entries, 3 * depth)) return plain.len(ref, 0);
        value(add_end(in->chainwork, in->chainslots, gen, e)) = -1;
        ++entries;
        stack = in->chainwork + 3 * in->chainslots;
        int *next = stack + 3 * depth++;
        next[0] = e;
        next[1] = 0;
        next[2] = 0;
    }
    return value(find_end(in->chainwork, in->chainslots, gen, ref));
}
