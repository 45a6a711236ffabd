// Circle fitting: a closed polyline that should be a circle is replaced by
// the regular polygon inscribed in the circle through three of its nodes.
// Every distinct node moves onto the circle at equal angular steps, starting
// at angle 0 and following the node order; every link along the polyline
// becomes one chord of that polygon, its area the circular segment between
// chord and circle.
//
// Moved nodes are rounded to the nearest pixel and kept inside the raster:
// a circle reaching past any edge puts the nodes beyond it on the edge, so
// the row index is only asked for rows 0 .. height - 1.
#include <cmath>

#include "ktvec.h"
#include "vectorizer/geometry.h"

namespace {

using ktv::kPi;

// Nearest pixel coordinate of v, clamped to 0 .. size - 1.  v + 0.5 is
// truncated toward zero, so values just below -0.5 land on 0 as well.
int to_pixel(double v, int size) {
    double shifted = v + 0.5;
    int p;
    if (!(shifted < size))
        p = size - 1;
    else if (shifted <= -1)
        p = 0;
    else
        p = static_cast<int>(shifted);
    return p < 0 ? 0 : p;
}

}  // namespace

// Circle through the positions of a, b and c.  Collinear or coinciding
// positions have no circle: the radius is then infinite (and the centre 0),
// so that any radius limit refuses it.
void CKTVector::mfitcircle(_KTNODE *a, _KTNODE *b, _KTNODE *c, double &cx, double &cy,
                           double &r) {
    const double x1 = a->x, y1 = a->y, x2 = b->x, y2 = b->y, x3 = c->x, y3 = c->y;
    const double d = 2 * (x1 * (y2 - y3) + x2 * (y3 - y1) + x3 * (y1 - y2));
    if (d == 0) {
        cx = cy = 0;
        r = HUGE_VAL;
        return;
    }
    const double s1 = x1 * x1 + y1 * y1, s2 = x2 * x2 + y2 * y2, s3 = x3 * x3 + y3 * y3;
    cx = (s1 * (y2 - y3) + s2 * (y3 - y1) + s3 * (y1 - y2)) / d;
    cy = (s1 * (x3 - x2) + s2 * (x1 - x3) + s3 * (x2 - x1)) / d;
    r = ktv::careful_length(x1 - cx, y1 - cy);
}

int CKTVector::mfitcircle(double maxradius, _KTNODE *start) {
    if (start->linknum != 2) return 0;
    const int id = start->link[0].id;
    if (!polyline || id == 0 || (id < 0 ? -id : id) > polylinenum) return 0;
    _KTPOLYLINE &p = polyline[(id < 0 ? -id : id) - 1];
    if (p.modify == 1) return KTVEC_REFUSED;
    p.modify = 1;
    const int m = p.nodenum;
    if (m < 4) return KTVEC_REFUSED;
    const int *index = p.nodeindex;
    if (index[0] != index[m - 1]) return 0;

    // Three nodes spread round the loop.
    int q3 = index[2 * m / 3];
    if (q3 == index[m / 3]) q3 = index[2 * m / 3 + 1];
    double cx, cy, r;
    mfitcircle(&node[index[0]], &node[index[m / 3]], &node[q3], cx, cy, r);
    if (!(r <= maxradius)) return KTVEC_REFUSED;

    // The inscribed regular polygon with one corner per distinct node.
    const int n = m - 1;
    const double step = 2 * kPi / n;
    const double chord = ktv::careful_length(r * std::sin(step), r * std::cos(step) - r);
    const double seg = r * r * kPi / n - 0.5 * std::cos(step / 2) * chord * r;

    for (int k = 0; k < n; ++k) {
        _KTNODE *moved = &node[index[k]];
        const int oldx = moved->x, oldy = moved->y;
        int res = mdeletelinenode(moved);
        if (res < 0) return res;
        moved->x = to_pixel(cx + r * std::cos(k * step), width);
        moved->y = to_pixel(cy + r * std::sin(k * step), height);
        res = mregistlinenodesort(moved);
        if (res < 0) {
            // The new row could not grow.  The node goes back where it was:
            // its old row has just freed an entry, so that cannot fail, and
            // no node is left outside the row index.
            moved->x = oldx;
            moved->y = oldy;
            mregistlinenodesort(moved);
            return res;
        }
    }

    for (int k = 0; k + 1 < m; ++k) {
        const int a = index[k], b = index[k + 1];
        _KTNODE &na = node[a];
        for (int i = 0; i < na.linknum; ++i) {
            if (na.link[i].node != b) continue;
            na.link[i].length = chord;
            na.link[i].area = -seg;
        }
        _KTNODE &nb = node[b];
        for (int i = 0; i < nb.linknum; ++i) {
            if (nb.link[i].node != a) continue;
            nb.link[i].length = chord;
            nb.link[i].area = seg;
        }
    }
    p.flag |= KTVEC_POLYLINE_CIRCLE;
    return 0;
}

void CKTVector::mfitcircleall(double maxradius) {
    msetmodify(static_cast<unsigned char>(0));
    for (int i = 0; i < polylinenum; ++i) {
        const _KTPOLYLINE &p = polyline[i];
        // A polyline of fewer than two nodes has no second node to start from.
        if (p.deleted == 1 || !p.nodeindex || p.nodenum < 2) continue;
        mfitcircle(maxradius, &node[p.nodeindex[1]]);
    }
}
