// Small helpers shared by the node registry and polyline construction: the
// index lists that grow in blocks of four (a row's node index, a polyline's
// node list) and the lookup of a row record by y.
#ifndef KTVEC_GRAPH_LISTS_H
#define KTVEC_GRAPH_LISTS_H

#include <climits>
#include <cstddef>

#include "ktvec.h"
#include "vectorizer/impl.h"
#include "vectorizer/memory.h"

namespace ktv {

// Appends `value` to a list of `num` used entries in a block of `capacity`.
// A full list moves to a new block four entries larger (the first block
// holds four).  On failure nothing changes and KTVEC_NO_MEMORY comes back.
inline int append_index(int *&block, int &capacity, int &num, int value) {
    if (capacity <= num) {
        if (capacity > INT_MAX - 4) return KTVEC_NO_MEMORY;
        int *grown = move_to_larger(block, static_cast<std::size_t>(capacity),
                                    static_cast<std::size_t>(capacity) + 4);
        if (!grown) return KTVEC_NO_MEMORY;
        block = grown;
        capacity += 4;
    }
    block[num++] = value;
    return 0;
}

// Makes room for `extra` more entries in a list of `num` used entries in a
// block of `capacity`, growing in the steps append_index takes (so the
// block ends as large as those appends would leave it).  On failure
// nothing changes and KTVEC_NO_MEMORY comes back.
inline int reserve_index(int *&block, int &capacity, int num, int extra) {
    if (extra <= 0 || static_cast<long long>(num) + extra <= capacity) return 0;
    long long grown = capacity;
    while (grown < static_cast<long long>(num) + extra) grown += 4;
    if (grown > INT_MAX) return KTVEC_NO_MEMORY;
    int *moved = move_to_larger(block, static_cast<std::size_t>(capacity), static_cast<std::size_t>(grown));
    if (!moved) return KTVEC_NO_MEMORY;
    block = moved;
    capacity = static_cast<int>(grown);
    return 0;
}

// The row record of row y, or null when there are no row records or y lies
// outside the rows that were made.
inline KTLINEINFO *row_of(CKTVector &v, int y) {
    if (y < 0 || y >= row_count(v)) return nullptr;
    return &v.lineinfo[y];
}

}  // namespace ktv

#endif
