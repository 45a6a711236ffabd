// JSON output: the live graph with dense node numbers.  One node or one
// polyline per line, so files diff well.  Optional members (fitted arcs,
// spline samples, curve flags) are written only when present; readers
// must ignore members they do not know.  Schema: docs/formats.md.
#include <cmath>

#include "writers.h"

namespace ktvcli {

namespace {

constexpr int kSchemaVersion = 1;

void put_int_list(TextSink &out, const int *v, int n) {
    out.put('[');
    for (int i = 0; i < n; ++i) {
        if (i) out.put(',');
        out.integer(v[i]);
    }
    out.put(']');
}

void put_flags(TextSink &out, unsigned char flag) {
    static const struct {
        int bit;
        const char *name;
    } curves[] = {{KTVEC_POLYLINE_ARC, "arc"}, {KTVEC_POLYLINE_SPLINE, "spline"}, {KTVEC_POLYLINE_CIRCLE, "circle"}};
    if (!(flag & (KTVEC_POLYLINE_ARC | KTVEC_POLYLINE_SPLINE | KTVEC_POLYLINE_CIRCLE))) return;
    out.put(",\"curve\":[");
    bool first = true;
    for (const auto &c : curves) {
        if (!(flag & c.bit)) continue;
        if (!first) out.put(',');
        out.json_string(c.name);
        first = false;
    }
    out.put(']');
}

// Links of the polyline that carry a fitted arc: link i joins nodes i and
// i + 1 of the polyline.
void put_arcs(TextSink &out, VectorView &view, int id, const _KTPOLYLINE &p) {
    bool any = false;
    for (int i = 0; i + 1 < p.nodenum; ++i) {
        const _KTNODELINK *l = view.link(p.nodeindex[i], p.nodeindex[i + 1], id);
        if (!l || !l->arc) continue;
        out.put(any ? "," : ",\"arcs\":[");
        any = true;
        out.put("{\"link\":").integer(i);
        out.put(",\"cx\":").number(l->centerx).put(",\"cy\":").number(l->centery);
        out.put(",\"r\":").number(l->radius).put(",\"side\":").integer(l->arc).put('}');
    }
    if (any) out.put(']');
}

// The signed area between the traced pixels and each link, in the
// polyline's direction (the record on nodes[i] towards nodes[i + 1]; its
// twin holds the negated value).  Fitting arcs and merging links read it,
// so a graph read back from the file can be fitted again.
void put_areas(TextSink &out, VectorView &view, int id, const _KTPOLYLINE &p) {
    bool any = false;
    for (int i = 0; i + 1 < p.nodenum; ++i) {
        const _KTNODELINK *l = view.link(p.nodeindex[i], p.nodeindex[i + 1], id);
        any |= l && l->area != 0;
    }
    if (!any) return;
    out.put(",\"areas\":[");
    for (int i = 0; i + 1 < p.nodenum; ++i) {
        if (i) out.put(',');
        const _KTNODELINK *l = view.link(p.nodeindex[i], p.nodeindex[i + 1], id);
        const double area = !l ? 0 : l->node == p.nodeindex[i + 1] ? l->area : -l->area;
        out.number(area);
    }
    out.put(']');
}

void put_circle(TextSink &out, VectorView &view, const _KTPOLYLINE &p) {
    Circle c;
    if (!(p.flag & KTVEC_POLYLINE_CIRCLE) || !view.circle(p, c)) return;
    out.put(",\"circle\":{\"cx\":").number(c.cx).put(",\"cy\":").number(c.cy);
    out.put(",\"r\":").number(c.r).put('}');
}

void put_spline(TextSink &out, const _KTPOLYLINE &p) {
    if (p.splinenum <= 0 || !p.splinex || !p.spliney) return;
    out.put(",\"spline\":[");
    for (int i = 0; i < p.splinenum; ++i) {
        if (i) out.put(',');
        out.put('[').number(p.splinex[i]).put(',').number(p.spliney[i]).put(']');
    }
    out.put(']');
}

// Refined positions to a thousandth of a pixel (as the SVG writes them).
double thousandths(double v) { return std::round(v * 1000) / 1000; }

// The refiner's lines: the drawable sub-pixel geometry.  "source" is the
// polyline a line draws (0 for a restored stroke end or an outline ring),
// "nodes" the dense node number at each point, -1 for a point of the
// refiner's own (where a stroke bends, a spline sample, a ring vertex).
void put_refined(TextSink &out, VectorView &view, const RefinedGeometry &r) {
    out.put(",\n\"refined\":[");
    for (int k = 0; k < r.line_count(); ++k) {
        const _KTREFINEDLINE &l = r.line(k);
        out.put(k ? ",\n" : "\n");
        out.put("{\"source\":").integer(l.source).put(",\"closed\":").put(l.closed ? "true" : "false");
        out.put(",\"points\":[");
        for (int i = 0; i < l.pointnum; ++i) {
            if (i) out.put(',');
            out.put('[').number(thousandths(l.point[i].x)).put(',').number(thousandths(l.point[i].y)).put(']');
        }
        out.put("],\"nodes\":[");
        for (int i = 0; i < l.pointnum; ++i) {
            if (i) out.put(',');
            out.integer(l.node[i] >= 0 && l.node[i] < view.node_slots() ? view.dense(l.node[i]) : -1);
        }
        out.put("]}");
    }
    out.put("\n]");
}

}  // namespace

void write_json(VectorView &view, const ResultInfo &info, TextSink &out) {
    out.put("{\n\"generator\":\"ktvec\",\n\"schema\":").integer(kSchemaVersion);
    out.put(",\n\"command\":").json_string(info.command);
    out.put(",\n\"source\":").json_string(info.source);
    out.put(",\n\"parameters\":{");
    for (std::size_t i = 0; i < info.parameters.size(); ++i) {
        if (i) out.put(',');
        out.json_string(info.parameters[i].first).put(':').number(info.parameters[i].second);
    }
    out.put("},\n\"image\":{\"width\":").integer(view.width()).put(",\"height\":").integer(view.height());
    if (!info.format.empty()) out.put(",\"format\":").json_string(info.format);
    if (info.threshold >= 0) out.put(",\"threshold\":").integer(info.threshold);
    if (info.dpi_x > 0) out.put(",\"dpi\":").number(info.dpi_x);
    if (info.dpi_y > 0 && info.dpi_y != info.dpi_x) out.put(",\"dpi-y\":").number(info.dpi_y);
    out.put("},\n\"counts\":{\"nodes\":").integer(view.written_nodes());
    out.put(",\"polylines\":").integer(view.live_polylines()).put("},\n\"nodes\":[");

    bool first = true;
    for (int i = 0, n = view.node_slots(); i < n; ++i) {
        const _KTNODE &node = view.node(i);
        if (view.dense(i) < 0) continue;
        out.put(first ? "\n" : ",\n");
        first = false;
        out.put("{\"x\":").integer(node.x).put(",\"y\":").integer(node.y);
        double rx, ry;
        if (view.refined() && view.refined()->node_position(i, rx, ry))
            out.put(",\"rx\":").number(thousandths(rx)).put(",\"ry\":").number(thousandths(ry));
        if (node.deleted) out.put(",\"deleted\":true");
        out.put('}');
    }
    out.put("\n],\n\"polylines\":[");

    first = true;
    for (int id = 1, n = view.polyline_slots(); id <= n; ++id) {
        const _KTPOLYLINE &p = view.polyline(id);
        if (p.deleted) continue;
        out.put(first ? "\n" : ",\n");
        first = false;
        out.put("{\"id\":").integer(id).put(",\"closed\":").put(VectorView::closed(p) ? "true" : "false");
        out.put(",\"nodes\":[");
        for (int i = 0; i < p.nodenum; ++i) {
            if (i) out.put(',');
            out.integer(view.dense(p.nodeindex[i]));
        }
        out.put("],\"prev\":");
        put_int_list(out, p.prev, p.prevnum);
        out.put(",\"next\":");
        put_int_list(out, p.next, p.nextnum);
        put_flags(out, p.flag);
        put_areas(out, view, id, p);
        put_arcs(out, view, id, p);
        put_circle(out, view, p);
        put_spline(out, p);
        out.put('}');
    }
    out.put("\n]");
    if (const RefinedGeometry *r = view.refined()) put_refined(out, view, *r);
    out.put("\n}\n");
}

}  // namespace ktvcli
