// Editing script: strict parsing (every op has exactly its members) and
// the application of each op through the library's editing calls.
#include "edit_ops.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <initializer_list>
#include <string>

#include "error.h"

namespace ktvcli {

namespace {

struct OpShape {
    const char *name;
    OpKind kind;
    std::initializer_list<const char *> members;  // besides "op"
};

const OpShape kShapes[] = {
    {"select", OpKind::Select, {"rect"}},
    {"insert", OpKind::Insert, {"at", "margin", "maxdistance"}},
    {"move", OpKind::Move, {"node", "to"}},
    {"move-attach", OpKind::MoveAttach, {"node", "to"}},
    {"delete-node", OpKind::DeleteNode, {"node"}},
    {"delete-polyline", OpKind::DeletePolyline, {"node"}},
    {"merge", OpKind::Merge, {"node", "into"}},
    {"split", OpKind::Split, {"polyline", "node"}},
    {"connect", OpKind::Connect, {"stroke"}},
    {"disconnect", OpKind::Disconnect, {"polyline", "joint", "with"}},
    {"notch", OpKind::Notch, {"node", "radius", "depth"}},
    {"arc", OpKind::Arc, {"polyline", "min", "max"}},
    {"circle", OpKind::Circle, {"node", "maxradius"}},
    {"spline", OpKind::Spline, {"polyline", "division"}},
    {"simplify", OpKind::Simplify, {"polyline", "dist", "angle"}},
    {"refit", OpKind::Refit, {}},
    {"undo", OpKind::Undo, {}},
};

[[noreturn]] void fail(const JsonValue &at, const std::string &problem) {
    throw CliError("line " + std::to_string(at.line()) + ": " + problem);
}

double number(const JsonValue &v, const std::string &what) {
    if (v.kind() != JsonKind::Number) fail(v, what + " must be a number");
    return v.number();
}

int whole(const JsonValue &v, const std::string &what, double min) {
    const double x = number(v, what);
    if (x != std::floor(x) || x < min || x > 2e9) fail(v, what + " must be a whole number of at least " + std::to_string(static_cast<int>(min)));
    return static_cast<int>(x);
}

// An array of exactly `n` numbers into out[0..n-1].
void numbers(const JsonValue &v, const std::string &what, int n, double *out, bool integral) {
    if (v.kind() != JsonKind::Array || v.size() != static_cast<std::size_t>(n))
        fail(v, what + " must be an array of " + std::to_string(n) + " numbers");
    int i = 0;
    for (JsonValue e = v.first(); e.valid(); e = e.next(), ++i)
        out[i] = integral ? whole(e, what + " entry", -2e9) : number(e, what + " entry");
}

NodeRef node_ref(const JsonValue &v, const std::string &what) {
    NodeRef r;
    if (v.kind() == JsonKind::Number) {
        r.index = whole(v, what, 0);
        return r;
    }
    if (v.kind() != JsonKind::Array) fail(v, what + " must be a node number or a position [x, y]");
    double xy[2];
    numbers(v, what, 2, xy, true);
    r.by_position = true;
    r.x = static_cast<int>(xy[0]);
    r.y = static_cast<int>(xy[1]);
    return r;
}

Op parse_op(const JsonValue &e, int k) {
    const std::string where = "op " + std::to_string(k + 1);
    if (e.kind() != JsonKind::Object) fail(e, where + " must be an object");
    const JsonValue name = e.member("op");
    if (!name.valid() || name.kind() != JsonKind::String) fail(e, where + " has no \"op\" name");
    const OpShape *shape = nullptr;
    for (const OpShape &s : kShapes)
        if (name.text() == s.name) shape = &s;
    if (!shape) fail(name, where + ": unknown op \"" + std::string(name.text()) + "\"");
    const std::string what = where + " (" + shape->name + ")";
    for (JsonValue m = e.first(); m.valid(); m = m.next()) {
        bool known = m.key() == "op";
        for (const char *allowed : shape->members) known |= m.key() == allowed;
        if (!known) fail(m, what + ": unknown member \"" + std::string(m.key()) + "\"");
    }
    for (const char *needed : shape->members)
        if (!e.member(needed).valid()) fail(e, what + " needs \"" + needed + "\"");

    Op op{shape->kind, e.line(), {}, {}, 0, 0, {}, 0, 0};
    auto get = [&](const char *m) { return e.member(m); };
    switch (shape->kind) {
    case OpKind::Select: numbers(get("rect"), what + " rect", 4, op.numbers, true); break;
    case OpKind::Connect: numbers(get("stroke"), what + " stroke", 4, op.numbers, true); break;
    case OpKind::Insert: {
        double at[2];
        numbers(get("at"), what + " at", 2, at, false);
        op.x = at[0];
        op.y = at[1];
        op.numbers[0] = number(get("margin"), what + " margin");
        op.numbers[1] = number(get("maxdistance"), what + " maxdistance");
        break;
    }
    case OpKind::Move:
    case OpKind::MoveAttach: {
        op.node = node_ref(get("node"), what + " node");
        double to[2];
        numbers(get("to"), what + " to", 2, to, true);
        op.x = to[0];
        op.y = to[1];
        break;
    }
    case OpKind::DeleteNode:
    case OpKind::DeletePolyline: op.node = node_ref(get("node"), what + " node"); break;
    case OpKind::Merge:
        op.node = node_ref(get("node"), what + " node");
        op.joint = node_ref(get("into"), what + " into");
        break;
    case OpKind::Split:
        op.polyline = whole(get("polyline"), what + " polyline", 1);
        op.node = node_ref(get("node"), what + " node");
        break;
    case OpKind::Arc:
        op.polyline = whole(get("polyline"), what + " polyline", 1);
        op.numbers[0] = number(get("min"), what + " min");
        op.numbers[1] = number(get("max"), what + " max");
        if (!(op.numbers[0] >= 0 && op.numbers[0] <= op.numbers[1]))
            fail(get("min"), what + " needs 0 <= min <= max");
        break;
    case OpKind::Circle:
        op.node = node_ref(get("node"), what + " node");
        op.numbers[0] = number(get("maxradius"), what + " maxradius");
        break;
    case OpKind::Spline:
        op.polyline = whole(get("polyline"), what + " polyline", 1);
        op.other = whole(get("division"), what + " division", 1);
        break;
    case OpKind::Simplify:
        op.polyline = whole(get("polyline"), what + " polyline", 1);
        op.numbers[0] = number(get("dist"), what + " dist");
        op.numbers[1] = number(get("angle"), what + " angle");
        break;
    case OpKind::Disconnect:
        op.polyline = whole(get("polyline"), what + " polyline", 1);
        op.joint = node_ref(get("joint"), what + " joint");
        op.other = whole(get("with"), what + " with", 1);
        break;
    case OpKind::Notch:
        op.node = node_ref(get("node"), what + " node");
        op.numbers[0] = number(get("radius"), what + " radius");
        op.numbers[1] = number(get("depth"), what + " depth");
        if (op.numbers[0] <= 0) fail(get("radius"), what + " radius must be above 0");
        break;
    case OpKind::Refit:
    case OpKind::Undo: break;
    }
    return op;
}

// ---- application -------------------------------------------------------------


_KTNODE *resolve(CKTVector &v, const NodeRef &r, const char *role) {
    if (!r.by_position) {
        _KTNODE *n = v.mgetnode(r.index);
        if (!n) throw CliError(std::string(role) + " " + std::to_string(r.index) + " does not exist");
        if (n->deleted) throw CliError(std::string(role) + " " + std::to_string(r.index) + " is deleted");
        return n;
    }
    // Nearest live node within the click radius; ties to the lowest index.
    // Every live node stands in the row record of its y (the loader enters
    // them and the library's edits keep them there), so only the rows the
    // radius reaches are looked at: a script of many ops on a large sheet
    // stays linear in its ops.
    _KTNODE *best = nullptr;
    int best_i = 0;
    double best_d = v.selectradius;
    const auto consider = [&](int i) {
        _KTNODE *c = v.mgetnode(i);
        if (!c || c->deleted) return;
        const double d = std::hypot(c->x - r.x, c->y - r.y);
        if (d > v.selectradius) return;
        if (!best || d < best_d || (d == best_d && i < best_i)) {
            best = c;
            best_i = i;
            best_d = d;
        }
    };
    if (v.lineinfo && v.selectradius >= 0 && v.selectradius < 1e6) {
        const double reach = std::ceil(v.selectradius);
        const long long y0 = std::max<long long>(0, r.y - static_cast<long long>(reach));
        const long long y1 = std::min<long long>(v.height - 1LL, r.y + static_cast<long long>(reach));
        for (long long y = y0; y <= y1; ++y) {
            const KTLINEINFO &row = v.lineinfo[y];
            for (int k = 0; k < row.nodenum; ++k) consider(row.nodeindex[k]);
        }
    } else {
        for (int i = 0, n = v.mgetnodenum(); i < n; ++i) consider(i);
    }
    if (!best)
        throw CliError("no " + std::string(role) + " within " + std::to_string(static_cast<int>(v.selectradius)) +
                      " px of (" + std::to_string(r.x) + ", " + std::to_string(r.y) + ")");
    return best;
}

void check(int result, const char *call) {
    if (result == KTVEC_NO_MEMORY) throw CliError("out of memory while editing");
    if (result < 0) throw CliError(std::string(call) + " refused (library code " + std::to_string(result) + ")");
}

bool valid_polyline(CKTVector &v, int id) {
    return id >= 1 && id <= v.mgetpolylinenum() && !v.mgetpolyline(id)->deleted;
}

int live_polyline(CKTVector &v, int id) {
    if (!valid_polyline(v, id)) throw CliError("polyline " + std::to_string(id) + " does not exist");
    return id;
}

// The fits refuse a polyline that already carries the change mark (their
// whole-graph forms clear every mark first and fit each polyline once); a
// fit asked for one polyline clears that polyline's mark.
void fit_afresh(CKTVector &v, int id) { v.msetmodify(id, static_cast<unsigned char>(0)); }

// The polyline a circle is fitted to: the one through the node, which must
// be a node of two links on a closed polyline.
int closed_polyline_at(CKTVector &v, const _KTNODE &n) {
    const int id = n.linknum == 2 ? std::abs(n.link[0].id) : 0;
    if (!valid_polyline(v, id)) throw CliError("the node is not inside one polyline (two links)");
    const _KTPOLYLINE &p = *v.mgetpolyline(id);
    if (p.nodenum < 2 || p.nodeindex[0] != p.nodeindex[p.nodenum - 1]) throw CliError("the polyline is not closed");
    return id;
}

void apply(const Op &op, CKTVector &v) {
    switch (op.kind) {
    case OpKind::Select:
        v.mselectnode(static_cast<int>(op.numbers[0]), static_cast<int>(op.numbers[1]),
                      static_cast<int>(op.numbers[2]), static_cast<int>(op.numbers[3]));
        break;
    case OpKind::Insert: {
        const int r = v.minsertnode(op.x, op.y, op.numbers[0], op.numbers[1]);
        check(r, "minsertnode");
        if (r == 0) throw CliError("no link passes near the point");
        break;
    }
    case OpKind::Move:
        check(v.movenode(resolve(v, op.node, "node"), static_cast<int>(op.x), static_cast<int>(op.y)), "movenode");
        break;
    case OpKind::MoveAttach:
        check(v.movenodeattach(resolve(v, op.node, "node"), static_cast<int>(op.x), static_cast<int>(op.y)),
              "movenodeattach");
        break;
    case OpKind::DeleteNode: check(v.mdeletenode(resolve(v, op.node, "node")), "mdeletenode"); break;
    case OpKind::DeletePolyline: check(v.mdeletepolyline(resolve(v, op.node, "node")), "mdeletepolyline"); break;
    case OpKind::Merge: {
        _KTNODE *gone = resolve(v, op.node, "node"), *keep = resolve(v, op.joint, "into");
        if (gone == keep) throw CliError("a node cannot be merged into itself");
        check(v.mergenode(keep, gone), "mergenode");
        break;
    }
    case OpKind::Split:
        check(v.mseparatepolyline(live_polyline(v, op.polyline), resolve(v, op.node, "node")), "mseparatepolyline");
        break;
    case OpKind::Arc: {
        const int id = live_polyline(v, op.polyline);
        v.msetarc(id);
        fit_afresh(v, id);
        check(v.marc(id, op.numbers[0], op.numbers[1]), "marc");
        break;
    }
    case OpKind::Circle: {
        _KTNODE *n = resolve(v, op.node, "node");
        fit_afresh(v, closed_polyline_at(v, *n));
        check(v.mfitcircle(op.numbers[0], n), "mfitcircle");
        break;
    }
    case OpKind::Spline: {
        const int id = live_polyline(v, op.polyline);
        v.msetspline(id);
        fit_afresh(v, id);
        check(v.mspline(id, op.other), "mspline");
        break;
    }
    case OpKind::Simplify: {
        const int id = live_polyline(v, op.polyline);
        fit_afresh(v, id);
        check(v.mnearpoint(id, op.numbers[0], op.numbers[1] * 3.14159265358979323846 / 180.0), "mnearpoint");
        break;
    }
    case OpKind::Connect:
        check(v.mconnectpolyline(static_cast<int>(op.numbers[0]), static_cast<int>(op.numbers[1]),
                                 static_cast<int>(op.numbers[2]), static_cast<int>(op.numbers[3])),
              "mconnectpolyline");
        break;
    case OpKind::Disconnect:
        for (const int id : {op.polyline, op.other})
            if (!valid_polyline(v, id)) throw CliError("polyline " + std::to_string(id) + " does not exist");
        v.mdisconnectpolyline(op.polyline, resolve(v, op.joint, "joint"), op.other);
        break;
    case OpKind::Notch:
        check(v.maddnotch(resolve(v, op.node, "node"), op.numbers[0], op.numbers[1]), "maddnotch");
        break;
    case OpKind::Refit: v.mreflectmodify(); break;
    case OpKind::Undo: break;  // handled by apply_ops
    }
}

}  // namespace

const char *op_name(OpKind kind) {
    for (const OpShape &s : kShapes)
        if (s.kind == kind) return s.name;
    return "?";
}

std::vector<Op> parse_ops(const JsonDocument &doc) {
    const JsonValue root = doc.root();
    if (root.kind() != JsonKind::Object) fail(root, "an ops file holds one object {\"ops\": [...]}");
    for (JsonValue m = root.first(); m.valid(); m = m.next())
        if (m.key() != "ops") fail(m, "unknown member \"" + std::string(m.key()) + "\" (only \"ops\")");
    const JsonValue list = root.member("ops");
    if (!list.valid() || list.kind() != JsonKind::Array) fail(root, "\"ops\" must be an array");
    std::vector<Op> ops;
    int k = 0;
    for (JsonValue e = list.first(); e.valid(); e = e.next(), ++k) {
        ops.push_back(parse_op(e, k));
        // One snapshot: an undo takes back the op before it, which must be
        // an op that changed something.
        if (ops.back().kind == OpKind::Undo && (k == 0 || ops[ops.size() - 2].kind == OpKind::Undo))
            fail(e, "op " + std::to_string(k + 1) + " (undo): nothing to undo (an undo takes back the op just before it)");
    }
    return ops;
}

void apply_ops(const std::vector<Op> &ops, CKTVector &v) {
    CKTVector snapshot;
    for (std::size_t k = 0; k < ops.size(); ++k) {
        const Op &op = ops[k];
        const std::string what = "op " + std::to_string(k + 1) + " (" + op_name(op.kind) + "), line " +
                                 std::to_string(op.line);
        try {
            if (op.kind == OpKind::Undo) {
                check(v.mundo(&snapshot), "mundo");
                continue;
            }
            // The snapshot is what an undo right after this op restores;
            // no other op can reach it, so it is taken only then.
            if (k + 1 < ops.size() && ops[k + 1].kind == OpKind::Undo) check(snapshot.mundo(&v), "mundo");
            apply(op, v);
        } catch (const CliError &e) {
            throw CliError(what + ": " + e.what());
        }
    }
}

}  // namespace ktvcli
