// The layout the known-vector sheets share: square tiles of kTile px,
// centred on the page, each with one figure whose kind cycles from the
// seed, and the borders roughened last when asked.
#ifndef KTVEC_TESTKIT_TILES_H
#define KTVEC_TESTKIT_TILES_H

#include <cstdint>

#include "groundtruth.h"

namespace ktvdraw {

constexpr double kTile = 160;

// A recording canvas drawn tile by tile: make(canvas, rng) gives the
// drawer, whose draw(kind, x, y) fills the tile with corner (x, y).
template <class Make>
Canvas tiled_sheet(int width, int height, std::uint64_t seed, const GroundTruthOptions &options, Make make) {
    Canvas c(width, height);
    c.set_recording(true);
    Rng rng(seed);
    auto drawer = make(c, rng);
    const int cols = static_cast<int>(width / kTile), rows = static_cast<int>(height / kTile);
    const double ox = (width - cols * kTile) / 2, oy = (height - rows * kTile) / 2;
    int kind = static_cast<int>(seed % 7);
    for (int r = 0; r < rows; ++r)
        for (int k = 0; k < cols; ++k) drawer.draw(kind++, ox + k * kTile, oy + r * kTile);
    if (options.noise) c.roughen(seed ^ 0x9E37u, options.roughness);
    return c;
}

}  // namespace ktvdraw

#endif
