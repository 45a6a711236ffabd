// Reference thinning for the benchmark and the tests: the classic
// two-subiteration Zhang-Suen sweep run to convergence, bit-parallel on
// 64-pixel words.  It is what the library's thinning is measured against,
// not a part of it.
#ifndef KTVEC_TESTKIT_ZHANGSUEN_H
#define KTVEC_TESTKIT_ZHANGSUEN_H

#include <cstdint>
#include <vector>

namespace ktvdraw {

class ZhangSuen {
public:
    // Copies the packed 1-bit image (MSB first, `stride` bytes per row) into
    // 64-bit words; bits beyond `width` are dropped.
    void load(const unsigned char *bits, int width, int height, int stride);
    // Sweeps until a full iteration deletes nothing; returns the iterations.
    int run();
    // Writes the skeleton back in the packed layout; padding bits keep what
    // they hold.
    void store(unsigned char *bits, int stride) const;
    long count() const;

private:
    bool subiteration(int pass);
    std::uint64_t *row(int y) { return words_.data() + (std::size_t)(y + 1) * n_; }

    int width_ = 0, height_ = 0, n_ = 0;
    std::vector<std::uint64_t> words_;  // height + 2 rows, one white row above and below
    std::vector<std::uint64_t> above_, del_;
};

}  // namespace ktvdraw

#endif
