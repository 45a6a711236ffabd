#include "chains.h"

#include "bitmap.h"
#include "peer.h"

_KTPOINT *Chains::at(int x, int y) {
    for (auto &p : points)
        if (p.x == x && p.y == y) return &p;
    _KTPOINT p{};
    p.x = x;
    p.y = y;
    p.kind = 2;
    p.segment = -1;
    points.push_back(p);
    return &points.back();
}

void setup_rows(CKTVector &v, int w, int h) {
    load_working_raster(v, Bitmap(w, h));
    v.minitbuffer();
}

int add_chain(CKTVector &v, Chains &c, const Pixels &pixels, bool discard) {
    _KTSEGMENT *s = Peer::add_segment(v);
    const int index = v.segmentnum - 1;
    for (auto [x, y] : pixels) Peer::registpoint(v, s, c.at(x, y));
    s->discard = discard ? 1 : 0;
    return index;
}

Pixels run(int x0, int y0, int x1, int y1) {
    Pixels out;
    const int sx = x1 > x0 ? 1 : x1 < x0 ? -1 : 0;
    const int sy = y1 > y0 ? 1 : y1 < y0 ? -1 : 0;
    for (int x = x0, y = y0;;) {
        out.push_back({x, y});
        if (x == x1 && y == y1) break;
        if (x != x1) x += sx;
        if (y != y1) y += sy;
    }
    return out;
}

Pixels ring(int x0, int y0, int x1, int y1) {
    Pixels out;
    for (int x = x0; x < x1; ++x) out.push_back({x, y0});
    for (int y = y0; y < y1; ++y) out.push_back({x1, y});
    for (int x = x1; x > x0; --x) out.push_back({x, y1});
    for (int y = y1; y > y0; --y) out.push_back({x0, y});
    out.push_back({x0, y0});
    return out;
}

Pixels polyline_pixels(CKTVector &v, int id) {
    Pixels out;
    _KTPOLYLINE *p = v.mgetpolyline(id);
    for (int i = 0; i < p->nodenum; ++i) {
        _KTNODE *n = v.mgetnode(p->nodeindex[i]);
        out.push_back({n->x, n->y});
    }
    return out;
}
