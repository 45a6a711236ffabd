// Hand-made vector graphs for tests: nodes at given pixels, link pairs with
// ids and areas, polyline records with node lists, and optionally the row
// index, all allocated through the allocation seam exactly as the library
// would (so the vectorizer releases them and the leak checker stays quiet).
//
//   CKTVector v;
//   GraphBuilder g(v);
//   g.rows(200, 200);                                   // optional row index
//   int id = g.path({{0, 0}, {100, 0}, {100, 100}});    // nodes, links, polyline
//   int closed = g.path({{10, 10}, {20, 10}, {20, 20}}, true);
//
// path() makes one polyline with the next id: new nodes, one link pair per
// consecutive pair (+id on the earlier node, -id on the later one, length =
// the distance, area 0), and the node list (a closed path repeats its first
// node at the end).  The pieces are also available one by one.
#ifndef KTVEC_TEST_GRAPH_BUILDER_H
#define KTVEC_TEST_GRAPH_BUILDER_H

#include <initializer_list>
#include <utility>
#include <vector>

#include "ktvec.h"

class GraphBuilder {
public:
    explicit GraphBuilder(CKTVector &v) : v_(v) {}

    // Row records for a raster of width x height (sets width and height);
    // nodes made afterwards enter their row in x order.  Call before node().
    void rows(int width, int height);
    // A new node at (x, y); returns its index.
    int node(int x, int y);
    // A link pair a -> b with id (and b -> a with -id); area on a's half,
    // -area on b's.  Returns the index of a's new link record.
    int link(int a, int b, int id, double area = 0);
    // A polyline record holding `nodes` (no links made); returns its id.
    int polyline(const std::vector<int> &nodes);
    // Nodes, links and polyline record for a path through `points`.
    int path(const std::vector<std::pair<int, int>> &points, bool closed = false);
    // The node list of a polyline whose nodes exist already, with its links.
    int path_of(const std::vector<int> &nodes);

    // The link of node a that points to node b with id (null if none).
    _KTNODELINK *find_link(int a, int b, int id) const;

private:
    CKTVector &v_;
};

// Read-back of a polyline's lists, for comparisons in tests.
inline std::vector<int> nodes_of(CKTVector &v, int id) {
    const _KTPOLYLINE *p = v.mgetpolyline(id);
    return std::vector<int>(p->nodeindex, p->nodeindex + p->nodenum);
}
inline std::vector<int> prev_of(CKTVector &v, int id) {
    const _KTPOLYLINE *p = v.mgetpolyline(id);
    return std::vector<int>(p->prev, p->prev + p->prevnum);
}
inline std::vector<int> next_of(CKTVector &v, int id) {
    const _KTPOLYLINE *p = v.mgetpolyline(id);
    return std::vector<int>(p->next, p->next + p->nextnum);
}

#endif
