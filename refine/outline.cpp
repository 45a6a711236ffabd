#include "refine/outline.h"

#include <cstdlib>

#include "refine/crack.h"
#include "refine/ringfit.h"

namespace ktv::refine {

namespace {
// DEVELOPMENT KNOBS (removed before landing)
double knob(const char *name, double def) {
    const char *v = std::getenv(name);
    return v ? std::atof(v) : def;
}
}  // namespace

int refine_outlines(CKTVector &v, LineSet &out) {
    out.clear();
    auto fail = [&out]() {
        out.clear();
        out.seal();
        return -1000;
    };
    CrackTracer tracer;
    if (!tracer.start(v.document, v.width, v.height, static_cast<std::size_t>(v.bytesperline))) return fail();
    // Only the borders the driver's result follows: a live node marks its
    // neighbourhood.
    if (!std::getenv("OALL")) {
        if (!tracer.keep_near_marks()) return fail();
        for (int i = 0, n = v.mgetnodenum(); i < n; ++i) {
            const _KTNODE &node = *v.mgetnode(i);
            if (!node.deleted) tracer.mark(node.x, node.y);
        }
    }
    RingFitLimits limits;
    limits.corner = knob("OC", limits.corner);
    limits.spread = knob("OS", limits.spread);
    limits.reach = knob("OR", limits.reach);
    limits.reach_dev = knob("OD", limits.reach_dev);
    RingFitter fitter(limits);
    Array<Corner> ring;
    Array<Vec2> polygon;
    for (;;) {
        const int r = tracer.next(ring);
        if (r == 0) break;
        if (r < 0 || !fitter.fit(ring, polygon)) return fail();
        if (!out.begin(0)) return fail();
        for (const Vec2 &p : polygon)
            if (!out.add(p, -1)) return fail();
        if (!out.add(polygon[0], -1)) return fail();
        out.end();
    }
    out.seal();
    return 0;
}

}  // namespace ktv::refine
