// The graph the centre-line nodes are placed on, as the placing passes
// share it (see centerline.cpp): every link of the driver's polylines with
// its measured line, the links of each node, and each node's degree,
// pixel, tie and place.
#ifndef KTVEC_REFINE_NODEGRAPH_H
#define KTVEC_REFINE_NODEGRAPH_H

#include <algorithm>
#include <cstddef>

#include "refine/array.h"
#include "refine/ink.h"
#include "refine/linefit.h"
#include "refine/vec2.h"

namespace ktv::refine {

constexpr double kEndCap = 0.5;         // a free end stops this far inside the ink's tip, px
constexpr double kReach = 12.0;         // farthest a cut looks for the stroke's edges, px

struct LinkRecord {
    int a, b;        // node indices
    double length;   // between their pixels, px
    LinkFit fit;
    bool tying;      // short, between nodes that both go on: ties its nodes together
    bool crossing;   // between two junctions, may lie inside the merged ink of a shallow crossing
};

// Views of the placing state; `placed` is what the passes move.
struct NodeGraph {
    const Array<LinkRecord> &links;
    const Array<std::size_t> &adjstart, &adj;  // node i's links are adj[adjstart[i] .. adjstart[i + 1])
    const Array<int> &degree;                  // per node: links in the drawn graph
    const Array<int> &anchor;                  // per node: the member whose place its tied group shares, or -1
    const Array<Vec2> &pixels;                 // per node: its pixel
    const Array<double> &widths;               // per node: the widest of its links' measured widths, px
    Array<Vec2> &placed;                       // per node: where it is placed
    Array<double> &clear;                      // per node: how far along its lines from it the ink of
                                               // other strokes runs in (a crossing, a tip), px, or 0
    const Ink &ink;
    int nodes;

    static std::size_t u(int i) { return static_cast<std::size_t>(i); }
    Vec2 pixel(int i) const { return pixels[u(i)]; }
    double width(int i) const { return std::max(1.0, widths[u(i)]); }
    static int other(const LinkRecord &r, int node) { return r.a == node ? r.b : r.a; }
    // The other link of node n, which has two, than k.
    std::size_t next_link(int n, std::size_t k) const {
        const std::size_t first = adj[adjstart[u(n)]];
        return first != k ? first : adj[adjstart[u(n)] + 1];
    }
};

}  // namespace ktv::refine

#endif
