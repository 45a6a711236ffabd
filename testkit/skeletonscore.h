// Scoring a one-pixel skeleton against the known centre lines of a
// ground-truth sheet: how far skeleton pixels sit from the true centre lines,
// how much of the centre lines the skeleton covers, how much of the stroke
// ends it loses, and how many spurs it grows.
#ifndef KTVEC_TESTKIT_SKELETONSCORE_H
#define KTVEC_TESTKIT_SKELETONSCORE_H

#include <vector>

#include "drawing.h"

namespace ktvdraw {

struct SkeletonScore {
    long pixels = 0;           // skeleton pixels
    double mean_offset = 0;    // mean distance of skeleton pixels to the nearest centre line, px
    double p95_offset = 0;     // 95th percentile of that distance
    long stray = 0;            // skeleton pixels beyond half the stroke width + 2 px of every
                               // centre line (noise specks, broken-off bits)
    double coverage = 0;       // share of centre-line samples (1 px apart) with a skeleton
                               // pixel within max(2, width / 2)
    long free_ends = 0;        // stroke ends that touch no other stroke
    double mean_end_gap = 0;   // mean distance from a free end to the nearest skeleton pixel
                               // (searched up to the stroke width + 4 px; farther counts as that)
    long end_pixels = 0;       // skeleton pixels with exactly one 8-neighbour
    long spurs = 0;            // end pixels farther than width / 2 + 3 px from every free end
};

// bits: packed 1-bit skeleton (MSB first, `stride` bytes per row).
SkeletonScore score_skeleton(const unsigned char *bits, int width, int height, int stride,
                             const std::vector<Primitive> &truth);

}  // namespace ktvdraw

#endif
