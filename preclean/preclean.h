// Pre-cleaning of the packed 1-bit bitmap before it is vectorized: black
// specks removed, small white pinholes filled, one-pixel bumps and notches of
// stroke edges smoothed.  Thinning keeps the topology of exactly what it is
// given, so a speck becomes a stray piece, a pinhole inside a stroke becomes a
// loop with two false junctions, and a bump on a thick stroke becomes a side
// branch; removing them here is cheaper and safer than undoing them in the
// vector graph.
//
// Black pixels are 8-connected, white pixels 4-connected (the pair under
// which a one-pixel diagonal line is one stroke and does not leak).  Only the
// pixels x < width of each row are read or written: padding bits past the
// width stay as they are.
#ifndef KTVEC_PRECLEAN_H
#define KTVEC_PRECLEAN_H

#include <cstddef>

namespace ktvcli {

// The program's defaults, chosen on the known-vector sheets of ktvec_quality
// (docs/quality.md).
constexpr long kDefaultDespeckle = 0;
constexpr long kDefaultFillHoles = 4;
constexpr bool kDefaultKeepCells = true;
constexpr bool kDefaultSmooth = false;
constexpr bool kDefaultPartPairs = true;

struct PrecleanOptions {
    // Black components of at most this many pixels are removed (0: none).
    long despeckle = 0;
    // White components of at most this many pixels that do not reach the
    // image border are filled (0: none).
    long fill_holes = 0;
    // Of those, the cells of a drawing of thin lines stay: holes at least two
    // pixels across both ways whose walls are mostly thin (paper lies at most
    // two pixels behind three quarters of the ink pixels bordering them),
    // such as the quadrants of a small circle crossed by its centre lines or
    // the gaps of a hatched band.  A pinhole in a stroke wide enough to hold
    // it has long walls along the stroke and is filled.
    bool keep_cells = false;
    // One pass that clears black pixels whose only black neighbours are one
    // 4-neighbour and the two diagonals beside it, with the three pixels
    // behind those black too (one-pixel bumps on a stroke at least three
    // pixels wide and two deep) and, the same with the colours swapped,
    // fills one-pixel notches.  Neither can join, split, open or close
    // anything, and one-pixel strokes and small specks have neither, so they
    // stay untouched.
    bool smooth = false;
    // After the holes are filled: two thin lines a pixel or less apart that
    // run at a slant, whose ink merges but for slivers of paper a pixel
    // wide, are parted along the middle of their ink (pairs.h).
    bool part_pairs = false;
    // Row bands the components are labelled in at once: 0 leaves it to the
    // size of the page (one per core on large pages, else one).  The result
    // is the same for any number.
    int bands = 0;

    bool any() const { return despeckle > 0 || fill_holes > 0 || smooth || part_pairs; }
};

// What the program does when no pre-cleaning option is given.
inline PrecleanOptions program_precleaning() {
    PrecleanOptions p;
    p.despeckle = kDefaultDespeckle;
    p.fill_holes = kDefaultFillHoles;
    p.keep_cells = kDefaultKeepCells;
    p.smooth = kDefaultSmooth;
    p.part_pairs = kDefaultPartPairs;
    return p;
}

struct PrecleanCounts {
    long specks = 0;     // black components removed
    long holes = 0;      // white components filled
    long cells = 0;      // white components small enough to fill kept as cells
    long smoothed = 0;   // pixels flipped by smoothing
    long parted = 0;     // pixels cleared to part slanted pairs
};

// A packed raster the pre-cleaning works on in place: 1 = black, most
// significant bit = leftmost pixel, rows `stride` bytes apart.
struct BitRaster {
    unsigned char *bits = nullptr;
    int width = 0, height = 0;
    std::size_t stride = 0;

    // Pixel (x, y), white outside the raster; and one pixel made white.
    bool black(int x, int y) const {
        if (x < 0 || y < 0 || x >= width || y >= height) return false;
        return (bits[static_cast<std::size_t>(y) * stride + static_cast<std::size_t>(x >> 3)] >> (7 - (x & 7))) & 1;
    }
    void clear(int x, int y) const {
        bits[static_cast<std::size_t>(y) * stride + static_cast<std::size_t>(x >> 3)] &= static_cast<unsigned char>(~(0x80u >> (x & 7)));
    }
};

// Despeckle, fill holes, part pairs, then smooth.  False when working memory could
// not be obtained; the raster then holds the steps finished before.
bool preclean(const BitRaster &raster, const PrecleanOptions &options, PrecleanCounts *counts = nullptr);

}  // namespace ktvcli

#endif
