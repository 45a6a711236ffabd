// Row bands: the raster cut into horizontal strips that separate threads
// work on at once.
//
// Every filter stage that runs in bands is written so that its result does
// not depend on the number of bands: each band reads only what no other band
// writes during the same step (the rows at a band border are settled in a
// step of their own, on one thread), so one band and eight give the same
// pixels.  A band that cannot get a thread of its own (the system refuses
// one) runs on the calling thread, with the same result.
#ifndef QORFIL2_BANDS_H
#define QORFIL2_BANDS_H

#include <thread>

namespace qorfil {

constexpr int kMaxBands = 8;
constexpr int kMaxThreads = 16;

// Runs work(i) for i = first .. last - 1, each on a thread of its own (for
// i < kMaxThreads), while the calling thread runs here(); then waits for
// them.  A part whose thread cannot start (the system refuses one) runs on
// the calling thread after here(), with the same result.  The work must not
// throw.
template <class Work, class Here> void run_on_threads(int first, int last, const Work &work, const Here &here) {
    std::thread threads[kMaxThreads];
    bool started[kMaxThreads] = {};
    for (int i = first; i < last && i < kMaxThreads; ++i) {
        try {
            threads[i] = std::thread([&work, i] { work(i); });
            started[i] = true;
        } catch (...) {
            // No thread to be had: the part waits for the calling thread.
        }
    }
    here();
    for (int i = first; i < last; ++i) {
        if (i < kMaxThreads && started[i]) threads[i].join();
        else work(i);
    }
}

class Bands {
public:
    // `count` bands over `height` rows, each at least two rows high (the
    // border steps take one row on each side of a border); fewer when the
    // raster is too low.
    Bands(int height, int count) : height_(height < 0 ? 0 : height) {
        count_ = count < 1 ? 1 : count > kMaxBands ? kMaxBands : count;
        if (count_ > height_ / 2) count_ = height_ / 2 > 1 ? height_ / 2 : 1;
    }

    int count() const { return count_; }
    // Rows begin(i) .. end(i) - 1 form band i; the bands cover the raster.
    int begin(int i) const { return (int)((long long)height_ * i / count_); }
    int end(int i) const { return begin(i + 1); }

    // Runs work(i) for every band, band 0 on the calling thread and the
    // others on threads of their own, and returns when all are done.  The
    // work must not throw.
    template <class Work> void run(const Work &work) const {
        if (count_ == 1) work(0);
        else run_on_threads(1, count_, work, [&work] { work(0); });
    }

private:
    int height_, count_;
};

// Bands an image of `words` 64-pixel words by `height` rows is cut into when
// the caller leaves the choice to the filter (`requested` 0): one per
// processor core, up to kMaxBands, but only for images large enough that a
// thread pays for itself (half a million words, and 256 rows a band):
// starting one costs some 60 microseconds, and a thinning runs dozens of
// steps that each start them anew.
inline int automatic_bands(int words, int height, int requested) {
    if (requested > 0) return requested;
    const long long size = (long long)words * height;
    if (size < (1 << 19)) return 1;
    int n = (int)std::thread::hardware_concurrency();
    if (n > kMaxBands) n = kMaxBands;
    if (n > height / 256) n = height / 256;
    return n < 1 ? 1 : n;
}

}  // namespace qorfil

#endif
