// Small helpers shared by the node registry and polyline construction: the
// index lists that grow in blocks of four (a row's node index, a polyline's
// node list) and the lookup of a row record by y.
#ifndef KTVEC_GRAPH_LISTS_H
#define KTVEC_GRAPH_LISTS_H

#include <climits>
#include <cstddef>

#include "ktvec.h"
#include "vectorizer/memory.h"

namespace ktv {

// Appends `value` to a list of `num` used entries in a block of `capacity`.
// A full list moves to a new block four entries larger (the first block
// holds four).  On failure nothing changes and -1000 comes back.
inline int append_index(int *&block, int &capacity, int &num, int value) {
    if (capacity <= num) {
        if (capacity > INT_MAX - 4) return -1000;
        int *grown = move_to_larger(block, static_cast<std::size_t>(capacity),
                                    static_cast<std::size_t>(capacity) + 4);
        if (!grown) return -1000;
        block = grown;
        capacity += 4;
    }
    block[num++] = value;
    return 0;
}

// The row record of row y, or null when there are no row records or y lies
// outside the rows that were made.
inline KTLINEINFO *row_of(KTLINEINFO *rows, int rowcount, int y) {
    if (!rows || y < 0 || y >= rowcount) return nullptr;
    return &rows[y];
}

}  // namespace ktv

#endif
