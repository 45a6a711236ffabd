// Heap accounting for the benchmark: the program that links heapcount.cpp
// replaces the C allocation functions with thin wrappers over the C
// library's own, counting the usable bytes of every live block.  Every array
// of the vectorizer comes from the allocation seam, which allocates from this
// heap, so the peak here is the peak of what the library holds (plus the
// benchmark's own page bitmap).  Single-threaded use only.
#ifndef KTVEC_BENCH_HEAPCOUNT_H
#define KTVEC_BENCH_HEAPCOUNT_H

#include <cstddef>

namespace ktvdraw {

std::size_t heap_live();        // bytes in live blocks now
std::size_t heap_peak();        // highest heap_live() since the last reset
void heap_reset_peak();         // peak = live
bool heap_counting();           // false if the wrappers are not in use

}  // namespace ktvdraw

#endif
