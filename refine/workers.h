// Independent pieces of the sub-pixel stage on several threads.
//
// The stage's steps that split (links measured in blocks of index order,
// the unexplained-ink sweep in bands of rows, segments followed in blocks
// of lines) write each part's result into its own place, made ready by the
// calling thread, and the calling thread joins the parts in index order.
// So the result never depends on how many parts there were or which one
// finished first, and a worker never asks the allocation seam for memory:
// whatever a part needs is obtained beforehand, on the calling thread, so
// a failing request lands at the same place on every run.
//
// A part that cannot get a thread of its own (the system refuses one, or
// the library was built without threads, as for the browser) runs on the
// calling thread, with the same result.
#ifndef KTVEC_REFINE_WORKERS_H
#define KTVEC_REFINE_WORKERS_H

#include <cstddef>

#if !defined(__EMSCRIPTEN__) || defined(__EMSCRIPTEN_PTHREADS__)
#define KTVEC_REFINE_THREADS 1
#include <thread>

#include "filter/bands.h"
#endif

namespace ktv::refine {

constexpr int kMaxWorkers = 16;
#ifdef KTVEC_REFINE_THREADS
static_assert(kMaxWorkers <= qorfil::kMaxThreads, "every part may get a thread");
#endif

// How many parts `items` pieces of work are cut into for `threads`, the
// count the host asked for.  With 0 the stage chooses: one part per
// processor core, but none smaller than `least` items (starting a thread
// costs tens of microseconds), and in a build without threads one part.
// A count the host set is kept as far as there are items (at most
// kMaxWorkers), whatever the page: that is what the tests split small
// pages with.
inline int part_count(std::size_t items, std::size_t least, int threads) {
    std::size_t most = items;
    if (threads <= 0) {
#ifdef KTVEC_REFINE_THREADS
        threads = static_cast<int>(std::thread::hardware_concurrency());
#else
        threads = 1;
#endif
        most = least ? items / least : items;
    }
    if (threads > kMaxWorkers) threads = kMaxWorkers;
    const std::size_t n = most < static_cast<std::size_t>(threads) ? most : static_cast<std::size_t>(threads);
    return n < 1 ? 1 : static_cast<int>(n);
}

// Part i of `parts` equal parts of [0, total): begin(i) .. begin(i + 1) - 1.
inline std::size_t part_begin(std::size_t total, int parts, int i) {
    return static_cast<std::size_t>(static_cast<unsigned long long>(total) * static_cast<unsigned>(i) /
                                    static_cast<unsigned>(parts));
}

// Runs work(i) for the parts from `first` on, each on a thread of its own,
// while the calling thread runs here(); then waits for them.  A part whose
// thread cannot start, or every part in a build without threads, runs on
// the calling thread after here().  The work must not throw.
template <class Work, class Here> void run_threads(int first, int parts, const Work &work, const Here &here) {
#ifdef KTVEC_REFINE_THREADS
    qorfil::run_on_threads(first, parts, work, here);
#else
    here();
    for (int i = first; i < parts; ++i) work(i);
#endif
}

// Runs work(i) for i = 0 .. parts - 1, part 0 on the calling thread (all
// of them when there is one), and returns when all are done.
template <class Work> void run_parts(int parts, const Work &work) {
    if (parts <= 1) {
        if (parts == 1) work(0);
        return;
    }
    run_threads(1, parts, work, [&work] { work(0); });
}

// Work of its own that the calling thread does while the parts of a step
// run on other threads (the memory it asks for is then still asked for on
// the calling thread, in a fixed order).  False when memory runs out.
class Chore {
public:
    virtual bool run() = 0;

protected:
    ~Chore() = default;
};

}  // namespace ktv::refine

#endif
