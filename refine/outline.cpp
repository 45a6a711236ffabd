// Outlines on the edge of the ink.
//
// The borders of the black areas are traced on the cracks between black and
// white pixels (crack.h), so every border is a closed ring whatever the
// width of its strokes, and each ring becomes a polygon whose sides are
// fitted to its cracks (ringfit.h), so its vertices lie on the edge of the
// ink rather than on the centres of the border pixels.
//
// Which borders: those the driver's result follows.  The outline drivers
// drop specks and, with their spur and speck options, whiskers and small
// pieces; a border is kept when a live node of the vectorizer lies within
// two to four pixels of it, so the rings are the driver's outlines made
// whole, and a page with no result has no rings.
#include "refine/outline.h"

#include "refine/crack.h"
#include "refine/ringfit.h"

namespace ktv::refine {

int refine_outlines(CKTVector &v, LineSet &out) {
    out.clear();
    auto fail = [&out]() {
        out.clear();
        out.seal();
        return -1000;
    };
    CrackTracer tracer;
    if (!tracer.start(v.document, v.width, v.height, static_cast<std::size_t>(v.bytesperline)) ||
        !tracer.keep_near_marks())
        return fail();
    for (int i = 0, n = v.mgetnodenum(); i < n; ++i) {
        const _KTNODE &node = *v.mgetnode(i);
        if (!node.deleted) tracer.mark(node.x, node.y);
    }
    RingFitter fitter;
    Array<Corner> ring;
    Array<Vec2> polygon;
    for (;;) {
        const int r = tracer.next(ring);
        if (r == 0) break;
        if (r < 0 || !fitter.fit(ring, polygon) || !out.begin(0)) return fail();
        for (const Vec2 &p : polygon)
            if (!out.add(p, -1)) return fail();
        if (!out.add(polygon[0], -1)) return fail();
        out.end();
    }
    out.seal();
    return 0;
}

}  // namespace ktv::refine
