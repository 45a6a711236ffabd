// SVG output.  The canvas is the image: viewBox "0 0 W H" and width/height
// W x H, so one user unit is one pixel.  A node at pixel (x, y) is drawn at
// the pixel's centre (x + 0.5, y + 0.5), which makes the vectors overlay the
// image exactly.  One <path> per live polyline, id "p<polyline id>"; a
// closed polyline ends with Z instead of repeating its first node.  Links
// that carry a fitted arc are drawn as arcs, a polyline with spline samples
// as the polyline through its samples, a polyline fitted onto a circle as
// a <circle>.
#include <cmath>

#include "drawing.h"
#include "writers.h"

namespace ktvcli {

namespace {

void put_point(TextSink &out, double x, double y) {
    out.number(x + 0.5).put(' ').number(y + 0.5);
}

// Refined positions to a thousandth of a pixel: finer is noise, and the
// shortest text of an unrounded double runs to seventeen digits.
double thousandths(double v) { return std::round(v * 1000) / 1000; }

void put_point(TextSink &out, const Stroke &s, DrawPoint p) {
    if (s.refined) put_point(out, thousandths(p.x), thousandths(p.y));
    else put_point(out, p.x, p.y);
}

// One path: straight pieces as L, arcs as A; a closed path ends with Z
// instead of its last straight piece.
void put_path(TextSink &out, const Stroke &s) {
    out.put('M');
    put_point(out, s, s.points[0]);
    const std::size_t n = s.points.size();
    for (std::size_t i = 1; i < n; ++i) {
        const ArcPiece *arc = i - 1 < s.pieces.size() && s.pieces[i - 1].r > 0 ? &s.pieces[i - 1] : nullptr;
        if (arc) {
            const double r = s.refined ? thousandths(arc->r) : arc->r;
            out.put(" A").number(r).put(' ').number(r).put(" 0 0 ").put(arc->sweep ? '1' : '0').put(' ');
            put_point(out, s, s.points[i]);
        } else if (!(s.closed && i + 1 == n && s.kind == Stroke::Kind::Path)) {
            out.put(" L");
            put_point(out, s, s.points[i]);
        }
    }
    if (s.closed) out.put(" Z");
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
    // Paths "p<id>" draw polylines; the refiner's own lines (restored
    // stroke ends and dots, outline rings) are "r<k>", numbered in order.
    int own = 0;
    for_each_drawn_stroke(view, info.join_strokes, [&](const Stroke &s) {
        if (s.kind == Stroke::Kind::Circle) {
            Circle c = s.circle;
            if (s.refined) c = {thousandths(c.cx), thousandths(c.cy), thousandths(c.r)};
            out.put("<circle id=\"p").integer(s.id).put("\" cx=\"").number(c.cx + 0.5);
            out.put("\" cy=\"").number(c.cy + 0.5).put("\" r=\"").number(c.r).put("\"/>\n");
            return;
        }
        out.put("<path id=\"");
        if (s.joined.size() > 1) {
            for (std::size_t i = 0; i < s.joined.size(); ++i) (i ? out.put('-') : out.put('p')).integer(s.joined[i]);
        } else if (s.id > 0) {
            out.put('p').integer(s.id);
        } else {
            out.put('r').integer(++own);
        }
        out.put("\" d=\"");
        put_path(out, s);
        out.put("\"/>\n");
    });
    out.put("</g>\n</svg>\n");
}

}  // namespace ktvcli
