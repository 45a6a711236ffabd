// SVG output.  The canvas is the image: viewBox "0 0 W H" and width/height
// W x H, so one user unit is one pixel.  A node at pixel (x, y) is drawn at
// the pixel's centre (x + 0.5, y + 0.5), which makes the vectors overlay the
// image exactly.  One <path> per live polyline, id "p<polyline id>"; a
// closed polyline ends with Z instead of repeating its first node.  Links
// that carry a fitted arc are drawn as arcs, a polyline with spline samples
// as the polyline through its samples, a polyline fitted onto a circle as
// a <circle>.
#include <cmath>

#include "writers.h"

namespace ktvcli {

namespace {

void put_point(TextSink &out, double x, double y) {
    out.number(x + 0.5).put(' ').number(y + 0.5);
}

// The arc of a link from a to b about its fitted centre (see arc_sweep).
void put_arc(TextSink &out, const _KTNODELINK &l, const _KTNODE &a, const _KTNODE &b) {
    const bool sweep = arc_sweep(l, a, b);
    out.put(" A").number(l.radius).put(' ').number(l.radius).put(" 0 0 ").put(sweep ? '1' : '0').put(' ');
    put_point(out, b.x, b.y);
}

void put_spline_path(TextSink &out, const _KTPOLYLINE &p, bool closed) {
    out.put('M');
    put_point(out, p.splinex[0], p.spliney[0]);
    for (int i = 1; i < p.splinenum; ++i) {
        out.put(" L");
        put_point(out, p.splinex[i], p.spliney[i]);
    }
    if (closed) out.put(" Z");
}

void put_link_path(TextSink &out, VectorView &view, int id, const _KTPOLYLINE &p, bool closed) {
    const int last = closed ? p.nodenum - 1 : p.nodenum;  // closing link drawn by Z unless an arc
    const _KTNODE &first = view.node(p.nodeindex[0]);
    out.put('M');
    put_point(out, first.x, first.y);
    for (int i = 1; i < p.nodenum; ++i) {
        const _KTNODE &a = view.node(p.nodeindex[i - 1]);
        const _KTNODE &b = view.node(p.nodeindex[i]);
        const _KTNODELINK *l = view.link(p.nodeindex[i - 1], p.nodeindex[i], id);
        if (l && l->arc && l->radius > 0) {
            put_arc(out, *l, a, b);
        } else if (i < last) {
            out.put(" L");
            put_point(out, b.x, b.y);
        }
    }
    if (closed) out.put(" Z");
}

}  // namespace

void write_svg(VectorView &view, const ResultInfo &info, TextSink &out) {
    const int w = view.width(), h = view.height();
    out.put("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n");
    out.put("<svg xmlns=\"http://www.w3.org/2000/svg\" xmlns:xlink=\"http://www.w3.org/1999/xlink\"");
    out.put(" version=\"1.1\" width=\"").integer(w).put("\" height=\"").integer(h);
    out.put("\" viewBox=\"0 0 ").integer(w).put(' ').integer(h).put("\">\n");
    out.put("<title>").xml_text(info.source).put(' ').xml_text(info.command).put(": ");
    out.integer(view.written_nodes()).put(" nodes, ").integer(view.live_polylines()).put(" polylines</title>\n");

    if (info.background) {
        const Buffer png = encode_png(*info.background);
        out.put("<image x=\"0\" y=\"0\" width=\"").integer(w).put("\" height=\"").integer(h);
        out.put("\" style=\"image-rendering:pixelated\" xlink:href=\"data:image/png;base64,");
        put_base64(png.data(), png.size(), out);
        out.put("\"/>\n");
    }

    // Thin red over the image, black on its own.
    out.put(info.background ? "<g fill=\"none\" stroke=\"#e0102a\" stroke-width=\"0.5\""
                            : "<g fill=\"none\" stroke=\"#000000\" stroke-width=\"1\"");
    out.put(" stroke-linejoin=\"round\" stroke-linecap=\"round\">\n");
    for (int id = 1, n = view.polyline_slots(); id <= n; ++id) {
        const _KTPOLYLINE &p = view.polyline(id);
        if (p.deleted || p.nodenum < 1) continue;
        const bool closed = VectorView::closed(p);
        Circle c;
        if ((p.flag & KTVEC_POLYLINE_CIRCLE) && view.circle(p, c)) {
            out.put("<circle id=\"p").integer(id).put("\" cx=\"").number(c.cx + 0.5);
            out.put("\" cy=\"").number(c.cy + 0.5).put("\" r=\"").number(c.r).put("\"/>\n");
            continue;
        }
        out.put("<path id=\"p").integer(id).put("\" d=\"");
        if ((p.flag & KTVEC_POLYLINE_SPLINE) && p.splinenum >= 2 && p.splinex && p.spliney) put_spline_path(out, p, closed);
        else put_link_path(out, view, id, p, closed);
        out.put("\"/>\n");
    }
    out.put("</g>\n</svg>\n");
}

}  // namespace ktvcli
