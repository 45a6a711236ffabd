#include "drawing.h"

#include <cmath>
#include <algorithm>

namespace ktvcli {

namespace {

bool spline_of(const _KTPOLYLINE &p) { return (p.flag & KTVEC_POLYLINE_SPLINE) && p.splinenum >= 2 && p.splinex && p.spliney; }

ArcPiece arc_piece(const _KTNODELINK &l, double cx, double cy, DrawPoint a, DrawPoint b) {
    return {cx, cy, l.radius, arc_sweep(l, cx, cy, a.x, a.y, b.x, b.y)};
}

// Circle of the points of a closed polyline (the last repeats the first):
// their centroid and mean distance from it.
Circle circle_of(const std::vector<DrawPoint> &pts) {
    const std::size_t n = pts.size() - 1;
    Circle c{0, 0, 0};
    for (std::size_t i = 0; i < n; ++i) c.cx += pts[i].x, c.cy += pts[i].y;
    c.cx /= n;
    c.cy /= n;
    for (std::size_t i = 0; i < n; ++i) c.r += std::hypot(pts[i].x - c.cx, pts[i].y - c.cy);
    c.r /= n;
    return c;
}

// Where the refiner put two neighbouring nodes on one spot (the two pixel
// corners of a bend both meet at the bend), the path draws one vertex: the
// zero-length piece between them adds a vertex and nothing to the shape.
void drop_repeated_points(Stroke &s) {
    std::size_t kept = 1;
    for (std::size_t i = 1; i < s.points.size(); ++i) {
        if (same_spot(s.points[i], s.points[kept - 1])) continue;  // drops the piece into it
        if (!s.pieces.empty()) s.pieces[kept - 1] = s.pieces[i - 1];
        s.points[kept++] = s.points[i];
    }
    s.points.resize(kept);
    if (!s.pieces.empty()) s.pieces.resize(kept - 1);
}

}  // namespace

bool same_spot(DrawPoint a, DrawPoint b) {
    return std::llround(a.x * 1000) == std::llround(b.x * 1000) && std::llround(a.y * 1000) == std::llround(b.y * 1000);
}

void raw_stroke(VectorView &view, int id, const _KTPOLYLINE &p, Stroke &s) {
    s.id = id;
    s.joined.clear();
    s.refined = false;
    s.closed = VectorView::closed(p);
    s.points.clear();
    s.pieces.clear();
    if ((p.flag & KTVEC_POLYLINE_CIRCLE) && view.circle(p, s.circle)) {
        s.kind = Stroke::Kind::Circle;
        return;
    }
    if (spline_of(p)) {
        s.kind = Stroke::Kind::Samples;
        for (int i = 0; i < p.splinenum; ++i) s.points.push_back({p.splinex[i], p.spliney[i]});
        return;
    }
    s.kind = Stroke::Kind::Path;
    for (int i = 0; i < p.nodenum; ++i) {
        const _KTNODE &n = view.node(p.nodeindex[i]);
        s.points.push_back({double(n.x), double(n.y)});
        if (i == 0) continue;
        const _KTNODELINK *l = view.link(p.nodeindex[i - 1], p.nodeindex[i], id);
        if (!l || !l->arc || l->radius <= 0) continue;
        s.pieces.resize(s.points.size() - 1, ArcPiece{0, 0, 0, false});
        s.pieces.back() = arc_piece(*l, l->centerx, l->centery, s.points[i - 1], s.points[i]);
    }
}

// A refined line: a circle where the polyline was fitted onto one; the
// moved samples of a fitted spline; otherwise a path whose pieces between
// two nodes keep a fitted arc, its radius kept and its centre moved with
// the chord (the centre stays on the same side, at the same distance).
bool refined_stroke(VectorView &view, const _KTREFINEDLINE &l, Stroke &s) {
    if (l.pointnum < 1) return false;
    s.id = l.source;
    s.joined.clear();
    s.refined = true;
    s.closed = l.closed != 0;
    s.points.clear();
    s.pieces.clear();
    for (int i = 0; i < l.pointnum; ++i) s.points.push_back({l.point[i].x, l.point[i].y});
    const _KTPOLYLINE *p = l.source > 0 ? &view.polyline(l.source) : nullptr;
    if (p && (p->flag & KTVEC_POLYLINE_CIRCLE) && s.closed && s.points.size() >= 4) {
        s.kind = Stroke::Kind::Circle;
        s.circle = circle_of(s.points);
        return true;
    }
    s.kind = p && spline_of(*p) ? Stroke::Kind::Samples : Stroke::Kind::Path;
    if (!p || s.kind == Stroke::Kind::Samples) return true;
    for (int i = 1; i < l.pointnum; ++i) {
        const int a = l.node[i - 1], b = l.node[i];
        if (a < 0 || b < 0) continue;
        const _KTNODELINK *link = view.link(a, b, l.source);
        if (!link || !link->arc || link->radius <= 0) continue;
        const _KTNODE &na = view.node(a), &nb = view.node(b);
        // Which side of the chord the centre lies on.
        const double ox = nb.x - na.x, oy = nb.y - na.y, olen = std::hypot(ox, oy);
        const DrawPoint pa = s.points[i - 1], pb = s.points[i];
        const double nx = pb.x - pa.x, ny = pb.y - pa.y, nlen = std::hypot(nx, ny);
        if (olen <= 0 || nlen <= 0) continue;
        const double across = ((link->centery - na.y) * ox - (link->centerx - na.x) * oy) / olen;
        // Same side, same radius: the centre sits across the new chord's
        // middle so that both ends lie on the circle.
        const double half = nlen / 2, r = link->radius;
        const double depth = r > half ? std::sqrt(r * r - half * half) : 0;
        const double side = across >= 0 ? 1 : -1;
        const double mx = (pa.x + pb.x) / 2, my = (pa.y + pb.y) / 2;
        const double cx = mx - side * depth * ny / nlen, cy = my + side * depth * nx / nlen;
        s.pieces.resize(s.points.size() - 1, ArcPiece{0, 0, 0, false});
        s.pieces[i - 1] = arc_piece(*link, cx, cy, pa, pb);
        s.pieces[i - 1].r = std::max(r, half);
    }
    drop_repeated_points(s);
    return true;
}

}  // namespace ktvcli
