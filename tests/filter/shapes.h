// Generated test pictures for the filters and a runner for CPenoDoc.
#ifndef KTVEC_TEST_FILTER_SHAPES_H
#define KTVEC_TEST_FILTER_SHAPES_H

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "topology.h"

enum class Filter { Skeleton, Outline, OneSideOutline };

// Runs one filter on `in` (the document, left untouched) and answers the
// result buffer.  Both buffers start filled with junk.  `threads`: the
// filter's m_threads (0 = its own choice).
Bitmap run_filter(const Bitmap &in, Filter f, int option = 0, int threads = 0);

// A named test picture; lists of them drive the property tests.
struct Picture {
    std::string name;
    Bitmap raster;
};
// Draws a w x h picture with `pad` spare bytes per row, then sets every
// padding bit (the filters must ignore them), and appends it to `list`.
void add_picture(std::vector<Picture> &list, const std::string &name, int w, int h, int pad,
                 const std::function<void(Bitmap &)> &draw);

struct Lcg {
    std::uint64_t s;
    explicit Lcg(std::uint64_t seed) : s(seed * 2862933555777941757ull + 3037000493ull) {}
    std::uint32_t next() {
        s = s * 6364136223846793005ull + 1442695040888963407ull;
        return (std::uint32_t)(s >> 33);
    }
    double uniform(double lo, double hi) { return lo + (hi - lo) * (next() / 4294967296.0); }
    int range(int lo, int hi) { return lo + (int)(next() % (std::uint32_t)(hi - lo + 1)); }
};

void draw_disk(Bitmap &r, double cx, double cy, double radius, bool black = true);
void draw_ring(Bitmap &r, double cx, double cy, double inner, double outer);
void draw_rect(Bitmap &r, int x0, int y0, int x1, int y1, bool black = true);  // inclusive
// Stroke of width `w` round the segment, round caps.
void draw_line(Bitmap &r, double x0, double y0, double x1, double y1, double w, bool black = true);
// Union of random disks round the middle.
void draw_blob(Bitmap &r, Lcg &rng, int disks);
// Letter-like shapes made of strokes: 'A' (one hole), 'B' (two holes), 'E', 'O'.
void draw_letter(Bitmap &r, char c, double x, double y, double size, double w);
// Flips each boundary pixel (black or white, 4-adjacent to the other
// colour) with probability p.
void roughen(Bitmap &r, Lcg &rng, double p);
void specks(Bitmap &r, Lcg &rng, int count);

#endif
