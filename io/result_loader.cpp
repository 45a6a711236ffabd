// Schema checks and the rebuilding of the vector layer.  Every array that
// the vectorizer will own comes from the library's allocation seam, and a
// count is raised only after its array exists, so a failure at any point
// leaves a vectorizer that the destructor can release.
#include "result_loader.h"

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "error.h"
#include "vectorizer/memory.h"

namespace ktvcli {

namespace {

[[noreturn]] void fail(const JsonValue &at, const std::string &problem) {
    throw CliError("line " + std::to_string(at.line()) + ": " + problem);
}

[[noreturn]] void out_of_memory() { throw CliError("out of memory while reading the result"); }

JsonValue need(const JsonValue &object, const char *name, JsonKind kind, const std::string &where) {
    const JsonValue m = object.member(name);
    if (!m.valid()) fail(object, where + " has no \"" + name + "\"");
    if (m.kind() != kind) fail(m, where + "." + name + " must be " + json_kind_name(kind));
    return m;
}

// An optional member: invalid when absent, else of `kind`.
JsonValue maybe(const JsonValue &object, const char *name, JsonKind kind, const std::string &where) {
    const JsonValue m = object.member(name);
    if (m.valid() && m.kind() != kind) fail(m, where + "." + name + " must be " + json_kind_name(kind));
    return m;
}

int whole(const JsonValue &v, const std::string &what, double min, double max) {
    if (v.kind() != JsonKind::Number) fail(v, what + " must be a number");
    const double x = v.number();
    if (x != std::floor(x)) fail(v, what + " must be a whole number");
    if (x < min || x > max) fail(v, what + " is out of range");
    return static_cast<int>(x);
}

double real(const JsonValue &v, const std::string &what) {
    if (v.kind() != JsonKind::Number) fail(v, what + " must be a number");
    return v.number();
}

int whole_member(const JsonValue &object, const char *name, const std::string &where, double min, double max) {
    return whole(need(object, name, JsonKind::Number, where), where + "." + name, min, max);
}

// A list of whole numbers into an array from the seam (null when empty,
// as the library keeps its connection lists).
int *int_list(const JsonValue &list, const std::string &what, double min, double max, bool null_when_empty) {
    const std::size_t n = list.size();
    if (n == 0 && null_when_empty) return nullptr;
    int *a = ktv::alloc_array<int>(n);
    if (!a) out_of_memory();
    std::size_t i = 0;
    for (JsonValue e = list.first(); e.valid(); e = e.next(), ++i) {
        try {
            a[i] = whole(e, what, min, max);
        } catch (...) {
            ktv::mem_free(a);
            throw;
        }
    }
    return a;
}

struct Header {
    int width = 0, height = 0, nodes = 0, polylines = 0;
};

Header read_header(const JsonValue &root, ResultInfo &info) {
    if (root.kind() != JsonKind::Object) fail(root, "the file must hold one JSON object");
    if (need(root, "generator", JsonKind::String, "the file").text() != "ktvec")
        fail(root.member("generator"), "not a ktvec result (generator is not \"ktvec\")");
    if (whole_member(root, "schema", "the file", 0, 1e9) != 1)
        fail(root.member("schema"), "schema version other than 1");
    info.command = std::string(need(root, "command", JsonKind::String, "the file").text());
    info.source = std::string(need(root, "source", JsonKind::String, "the file").text());
    const JsonValue params = need(root, "parameters", JsonKind::Object, "the file");
    for (JsonValue p = params.first(); p.valid(); p = p.next())
        info.parameters.emplace_back(std::string(p.key()), real(p, "parameters." + std::string(p.key())));

    Header h;
    const JsonValue image = need(root, "image", JsonKind::Object, "the file");
    h.width = whole_member(image, "width", "image", 0, 1e9);
    h.height = whole_member(image, "height", "image", 0, 1e9);
    if (const JsonValue f = maybe(image, "format", JsonKind::String, "image"); f.valid()) info.format = std::string(f.text());
    if (const JsonValue t = image.member("threshold"); t.valid()) info.threshold = whole(t, "image.threshold", 0, 255);
    // The input's resolution; one value when both axes agree.
    if (const JsonValue d = maybe(image, "dpi", JsonKind::Number, "image"); d.valid()) {
        if (d.number() <= 0) fail(d, "image.dpi must be above 0");
        info.dpi_x = info.dpi_y = d.number();
    }
    if (const JsonValue d = maybe(image, "dpi-y", JsonKind::Number, "image"); d.valid()) {
        if (d.number() <= 0 || info.dpi_x <= 0) fail(d, "image.dpi-y needs image.dpi and must be above 0");
        info.dpi_y = d.number();
    }

    const JsonValue counts = need(root, "counts", JsonKind::Object, "the file");
    h.nodes = whole_member(counts, "nodes", "counts", 0, 2e9);
    h.polylines = whole_member(counts, "polylines", "counts", 0, 2e9);
    return h;
}

// Nodes at their indices, live ones entered into their rows in ascending x
// (equal positions by index).
void load_nodes(const JsonValue &nodes, const Header &h, CKTVector &v) {
    const std::size_t n = nodes.size();
    if (n != static_cast<std::size_t>(h.nodes)) fail(nodes, "counts.nodes does not match the nodes array");
    v.node = ktv::alloc_zeroed<_KTNODE>(n);
    if (!v.node) out_of_memory();
    v.nodecapacity = static_cast<int>(n);
    std::vector<int> order;
    order.reserve(n);
    int i = 0;
    for (JsonValue e = nodes.first(); e.valid(); e = e.next(), ++i) {
        const std::string where = "nodes[" + std::to_string(i) + "]";
        if (e.kind() != JsonKind::Object) fail(e, where + " must be an object");
        _KTNODE &node = v.node[i];
        node.x = whole_member(e, "x", where, 0, h.width - 1);
        node.y = whole_member(e, "y", where, 0, h.height - 1);
        if (const JsonValue d = maybe(e, "deleted", JsonKind::Bool, where); d.valid()) node.deleted = d.boolean();
        if (!node.deleted) order.push_back(i);
        v.nodenum = i + 1;
    }
    std::sort(order.begin(), order.end(), [&](int a, int b) {
        const _KTNODE &p = v.node[a], &q = v.node[b];
        return p.y != q.y ? p.y < q.y : p.x != q.x ? p.x < q.x : a < b;
    });
    for (std::size_t k = 0; k < order.size();) {
        const int y = v.node[order[k]].y;
        std::size_t end = k;
        while (end < order.size() && v.node[order[end]].y == y) ++end;
        KTLINEINFO &row = v.lineinfo[y];
        row.nodeindex = ktv::alloc_array<int>(end - k);
        if (!row.nodeindex) out_of_memory();
        row.nodecapacity = static_cast<int>(end - k);
        for (; k < end; ++k) row.nodeindex[row.nodenum++] = order[k];
    }
}

// One polyline of the file into its (zeroed) record and its link pairs.
void load_polyline(const JsonValue &e, int id, int polylines_max, CKTVector &v) {
    const std::string where = "polyline " + std::to_string(id);
    _KTPOLYLINE &p = v.polyline[id - 1];
    const JsonValue nodes = need(e, "nodes", JsonKind::Array, where);
    if (nodes.size() < 1) fail(nodes, where + " has no nodes");
    p.nodeindex = int_list(nodes, where + " node", 0, v.nodenum - 1, false);
    p.nodecapacity = p.nodenum = static_cast<int>(nodes.size());
    const bool closed = p.nodenum >= 2 && p.nodeindex[0] == p.nodeindex[p.nodenum - 1];
    if (need(e, "closed", JsonKind::Bool, where).boolean() != closed)
        fail(e.member("closed"), where + ": \"closed\" disagrees with its node list");

    const JsonValue prev = need(e, "prev", JsonKind::Array, where);
    p.prev = int_list(prev, where + " prev entry", -polylines_max, polylines_max, true);
    p.prevnum = static_cast<int>(prev.size());
    const JsonValue next = need(e, "next", JsonKind::Array, where);
    p.next = int_list(next, where + " next entry", -polylines_max, polylines_max, true);
    p.nextnum = static_cast<int>(next.size());

    if (const JsonValue curve = maybe(e, "curve", JsonKind::Array, where); curve.valid()) {
        for (JsonValue c = curve.first(); c.valid(); c = c.next()) {
            const std::string_view name = c.kind() == JsonKind::String ? c.text() : "";
            if (name == "arc") p.flag |= KTVEC_POLYLINE_ARC;
            else if (name == "spline") p.flag |= KTVEC_POLYLINE_SPLINE;
            else if (name == "circle") p.flag |= KTVEC_POLYLINE_CIRCLE;
            else fail(c, where + ": curve marks are \"arc\", \"spline\" and \"circle\"");
        }
    }

    // Link pairs, +id from nodes[i] to nodes[i + 1].
    const JsonValue areas = maybe(e, "areas", JsonKind::Array, where);
    if (areas.valid() && areas.size() + 1 != nodes.size()) fail(areas, where + ": one area per link expected");
    JsonValue area = areas.valid() ? areas.first() : JsonValue();
    for (int i = 0; i + 1 < p.nodenum; ++i) {
        _KTNODE &a = v.node[p.nodeindex[i]], &b = v.node[p.nodeindex[i + 1]];
        const double sum = area.valid() ? 2 * real(area, where + " area") : 0;
        if (area.valid()) area = area.next();
        if (v.mlinknode(id, std::hypot(b.x - a.x, b.y - a.y), sum, &a, &b) < 0) out_of_memory();
    }

    if (const JsonValue arcs = maybe(e, "arcs", JsonKind::Array, where); arcs.valid()) {
        for (JsonValue arc = arcs.first(); arc.valid(); arc = arc.next()) {
            if (arc.kind() != JsonKind::Object) fail(arc, where + ": an arc must be an object");
            const int link = whole_member(arc, "link", where + " arc", 0, p.nodenum - 2);
            _KTNODE &a = v.node[p.nodeindex[link]];
            _KTNODELINK *l = nullptr;
            for (int k = a.linknum - 1; k >= 0 && !l; --k)  // the pair just made is last
                if (a.link[k].id == id && a.link[k].node == p.nodeindex[link + 1]) l = &a.link[k];
            if (!l) fail(arc, where + ": arc on a missing link");
            l->centerx = real(need(arc, "cx", JsonKind::Number, where + " arc"), "cx");
            l->centery = real(need(arc, "cy", JsonKind::Number, where + " arc"), "cy");
            l->radius = real(need(arc, "r", JsonKind::Number, where + " arc"), "r");
            l->arc = static_cast<unsigned char>(whole_member(arc, "side", where + " arc", 1, 2));
        }
    }

    if (const JsonValue spline = maybe(e, "spline", JsonKind::Array, where); spline.valid() && spline.size()) {
        const std::size_t n = spline.size();
        p.splinex = ktv::alloc_array<double>(n);
        p.spliney = ktv::alloc_array<double>(n);
        if (!p.splinex || !p.spliney) out_of_memory();
        p.splinenum = static_cast<int>(n);
        std::size_t i = 0;
        for (JsonValue s = spline.first(); s.valid(); s = s.next(), ++i) {
            if (s.kind() != JsonKind::Array || s.size() != 2) fail(s, where + ": a spline sample is [x, y]");
            p.splinex[i] = real(s.first(), where + " spline x");
            p.spliney[i] = real(s.first().next(), where + " spline y");
        }
    }
}

void load_polylines(const JsonValue &list, const Header &h, CKTVector &v) {
    if (list.size() != static_cast<std::size_t>(h.polylines))
        fail(list, "counts.polylines does not match the polylines array");
    // Ids ascend; the largest one sizes the table.
    int last = 0;
    for (JsonValue e = list.first(); e.valid(); e = e.next()) {
        if (e.kind() != JsonKind::Object) fail(e, "a polyline must be an object");
        const int id = whole_member(e, "id", "polyline", 1, 2e9);
        if (id <= last) fail(e.member("id"), "polyline ids must ascend");
        last = id;
    }
    v.polyline = ktv::alloc_zeroed<_KTPOLYLINE>(static_cast<std::size_t>(last));
    if (!v.polyline) out_of_memory();
    v.polylinecapacity = v.polylinenum = last;
    v.polylineid = last + 1;
    for (int k = 0; k < last; ++k) v.polyline[k].deleted = 1;  // the ids the file skips
    for (JsonValue e = list.first(); e.valid(); e = e.next()) {
        const int id = static_cast<int>(e.member("id").number());
        v.polyline[id - 1].deleted = 0;
        load_polyline(e, id, last, v);
    }
    // Every connection names a polyline of the file.
    for (JsonValue e = list.first(); e.valid(); e = e.next()) {
        const _KTPOLYLINE &p = v.polyline[static_cast<int>(e.member("id").number()) - 1];
        for (const int *l : {p.prev, p.next})
            for (int i = 0, n = l == p.prev ? p.prevnum : p.nextnum; i < n; ++i)
                if (l[i] == 0 || v.polyline[std::abs(l[i]) - 1].deleted)
                    fail(e, "a connection names polyline " + std::to_string(l[i]) + ", which is not in the file");
    }
}

double parameter(const ResultInfo &info, const char *name, double otherwise) {
    for (const auto &p : info.parameters)
        if (p.first == name) return p.second;
    return otherwise;
}

}  // namespace

void load_result(const JsonDocument &doc, CKTVector &v, LoadedResult &out) {
    const JsonValue root = doc.root();
    const Header h = read_header(root, out.info);
    const JsonValue nodes = need(root, "nodes", JsonKind::Array, "the file");
    const JsonValue polylines = need(root, "polylines", JsonKind::Array, "the file");

    // A blank page of the image's size: the row records come from the
    // library's own raster set-up, which finds no pixels on it.
    const std::size_t stride = (static_cast<std::size_t>(h.width) + 7) / 8;
    out.page = Buffer(stride * static_cast<std::size_t>(h.height));
    if (!out.page.ok()) out_of_memory();
    v.msetdocument(out.page.data(), h.width, h.height);
    const int made = v.makethindata();
    if (made == KTVEC_NO_MEMORY || (made >= 0 && v.minitbuffer() == KTVEC_NO_MEMORY)) out_of_memory();
    if (made < 0 || (h.height > 0 && !v.lineinfo)) throw CliError("cannot set up the raster of the result");

    load_nodes(nodes, h, v);
    load_polylines(polylines, h, v);
    v.arcminradius = parameter(out.info, "arcs-min", v.arcminradius);
    v.arcmaxradius = parameter(out.info, "arcs-max", v.arcmaxradius);
    v.splinedivision = static_cast<int>(parameter(out.info, "splines", 0));
}

}  // namespace ktvcli
