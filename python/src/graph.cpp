#include "graph.h"

#include <cmath>
#include <limits>

#include "commands.h"
#include "error.h"
#include "outputs.h"
#include "vector_view.h"

namespace ktvpy {

namespace {

const char *meaning(int code) {
    switch (code) {
    case KTVEC_REFUSED: return "a precondition fails";
    case KTVEC_LOOP: return "the connection would close a loop of connections";
    case KTVEC_SAME_POLYLINE: return "both branches belong to one polyline";
    case KTVEC_NOT_AN_END: return "the joint is not an end of one of the two polylines";
    case KTVEC_NO_POLYLINES: return "there is no polyline table";
    case KTVEC_LINK_MISSING: return "a link between consecutive nodes of a polyline is missing";
    default: return "refused";
    }
}

constexpr unsigned char kCurveFlags = KTVEC_POLYLINE_ARC | KTVEC_POLYLINE_SPLINE | KTVEC_POLYLINE_CIRCLE;

}  // namespace

void check(int result, const char *call) {
    if (result == KTVEC_NO_MEMORY) throw OutOfMemory(std::string(call) + ": out of memory");
    if (result < 0)
        throw Refused(result, std::string(call) + " refused: " + meaning(result) + " (library code " +
                                  std::to_string(result) + ")");
}

Graph::Graph(std::shared_ptr<Page> page, std::unique_ptr<CKTVector> v, std::unique_ptr<CKTRefiner> refiner,
             ktvcli::ResultInfo info)
    : page_(std::move(page)), v_(std::move(v)), info_(std::move(info)) {
    if (refiner) {
        refiner_ = std::move(refiner);
        refined_version_ = version_;
    }
}

std::shared_ptr<const CKTVector> Graph::state() {
    std::lock_guard<std::mutex> lock(mutex_);
    return v_;
}

std::unique_ptr<CKTVector> Graph::blank_vectorizer() const {
    auto v = std::make_unique<CKTVector>();
    const ktvcli::PackedBitmap &b = page_->bitmap;
    // The library never writes the document; it is shared read-only.
    v->msetdocument(const_cast<unsigned char *>(b.bits.data()), b.width, static_cast<int>(b.stride), b.height);
    return v;
}

// What a vectorizer keeps beside its vector layer, which mundo leaves out:
// the click radius and the arguments that refitting reuses.
static void keep_settings(const CKTVector &from, CKTVector &to) {
    to.canundo = from.canundo;
    to.selectradius = from.selectradius;
    to.arcminradius = from.arcminradius;
    to.arcmaxradius = from.arcmaxradius;
    to.splinedivision = from.splinedivision;
}

CKTVector &Graph::writable() {
    ++version_;
    if (v_.use_count() == 1) return *v_;
    // A view still reads this vectorizer: edit a copy of it.
    std::unique_ptr<CKTVector> copy = blank_vectorizer();
    check(copy->mundo(v_.get()), "copying the graph");
    keep_settings(*v_, *copy);
    v_ = std::move(copy);
    return *v_;
}

_KTNODE *Graph::node_at(CKTVector &v, int index, const char *role) {
    _KTNODE *n = v.mgetnode(index);
    if (!n) throw std::out_of_range(std::string(role) + " " + std::to_string(index) + " is not a node index (0 to " +
                                    std::to_string(v.mgetnodenum() - 1) + ")");
    if (n->deleted) throw std::invalid_argument(std::string(role) + " " + std::to_string(index) + " is deleted");
    return n;
}

void Graph::check_polyline(CKTVector &v, int id) {
    if (id < 1 || id > v.mgetpolylinenum())
        throw std::out_of_range("polyline " + std::to_string(id) + " is not a polyline id (1 to " +
                                std::to_string(v.mgetpolylinenum()) + ")");
    if (v.mgetpolyline(id)->deleted) throw std::invalid_argument("polyline " + std::to_string(id) + " is deleted");
}

// ---- reading ----------------------------------------------------------------

std::shared_ptr<const PolylineTable> Graph::polylines() {
    std::lock_guard<std::mutex> lock(mutex_);
    if (table_ && table_version_ == version_) return table_;
    auto t = std::make_shared<PolylineTable>();
    CKTVector &v = *v_;
    ktvcli::VectorView view(v);
    for (int id = 1, n = v.mgetpolylinenum(); id <= n; ++id) {
        const _KTPOLYLINE &p = *v.mgetpolyline(id);
        if (p.deleted) continue;
        const auto k = static_cast<std::int32_t>(t->ids.size());
        t->ids.push_back(id);
        t->indices.insert(t->indices.end(), p.nodeindex, p.nodeindex + p.nodenum);
        t->offsets.push_back(static_cast<std::int64_t>(t->indices.size()));
        t->closed.push_back(ktvcli::VectorView::closed(p) ? 1 : 0);
        t->curve.push_back(p.flag & kCurveFlags);
        t->prev.insert(t->prev.end(), p.prev, p.prev + p.prevnum);
        t->prev_offsets.push_back(static_cast<std::int64_t>(t->prev.size()));
        t->next.insert(t->next.end(), p.next, p.next + p.nextnum);
        t->next_offsets.push_back(static_cast<std::int64_t>(t->next.size()));
        // The same records, read the same way, as the JSON writer's.
        for (int i = 0; i + 1 < p.nodenum; ++i) {
            const _KTNODELINK *l = view.link(p.nodeindex[i], p.nodeindex[i + 1], id);
            if (l && l->arc) t->arcs.push_back({k, i, l->centerx, l->centery, l->radius, l->arc});
        }
        ktvcli::Circle c;
        if ((p.flag & KTVEC_POLYLINE_CIRCLE) && view.circle(p, c)) t->circles.push_back({k, c.cx, c.cy, c.r});
        if (p.splinenum > 0 && p.splinex && p.spliney)
            for (int i = 0; i < p.splinenum; ++i) {
                t->spline.push_back(p.splinex[i]);
                t->spline.push_back(p.spliney[i]);
            }
        t->spline_offsets.push_back(static_cast<std::int64_t>(t->spline.size() / 2));
    }
    table_ = std::move(t);
    table_version_ = version_;
    return table_;
}

// ---- sub-pixel geometry ------------------------------------------------------

void Graph::show_refined(ktvcli::VectorView &view) const {
    if (refined_now()) view.set_refined(refiner_.get());
}

bool Graph::refined() {
    std::lock_guard<std::mutex> lock(mutex_);
    return refined_now();
}

std::shared_ptr<const RefinedTable> Graph::refined_table() {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!refined_now()) return nullptr;
    if (refined_table_) return refined_table_;
    auto t = std::make_shared<RefinedTable>();
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const int n = v_->mgetnodenum();
    t->nodes.assign(2 * static_cast<std::size_t>(n), nan);
    for (int i = 0; i < n; ++i) refiner_->mgetnodeposition(i, &t->nodes[2 * i], &t->nodes[2 * i + 1]);
    for (int k = 0, lines = refiner_->mgetlinenum(); k < lines; ++k) {
        const _KTREFINEDLINE &l = *refiner_->mgetline(k);
        t->sources.push_back(l.source);
        t->closed.push_back(l.closed ? 1 : 0);
        for (int i = 0; i < l.pointnum; ++i) {
            t->points.push_back(l.point[i].x);
            t->points.push_back(l.point[i].y);
        }
        t->point_nodes.insert(t->point_nodes.end(), l.node, l.node + l.pointnum);
        t->offsets.push_back(static_cast<std::int64_t>(t->point_nodes.size()));
    }
    refined_table_ = std::move(t);
    return refined_table_;
}

void Graph::refine() {
    if (!page_->scan) throw std::invalid_argument("no scan to measure the graph against: it was read from JSON");
    const ktvcli::Command *c = ktvcli::find_command(info_.command.c_str());
    if (!c) throw std::invalid_argument("no refining for a result of '" + info_.command + "'");
    std::lock_guard<std::mutex> lock(mutex_);
    if (!refiner_) {
        refiner_ = std::make_unique<CKTRefiner>();
        refiner_->msetpenwidths(ktvcli::recorded_settings(*c, info_).pen_widths);
    }
    // Stale until the stage succeeds: after -1000 the refiner holds nothing.
    refined_version_ = ~version_;
    refined_table_.reset();
    check(c->refine(*refiner_, *v_), "refining");
    refined_version_ = version_;
}

int Graph::node_count() {
    std::lock_guard<std::mutex> lock(mutex_);
    return ktvcli::VectorView(*v_).written_nodes();
}

std::string Graph::write(ktvcli::OutputFormat format, const std::optional<std::string> &path, bool background,
                         const std::string &units, bool join_strokes) {
    if (path) {
        if (background && format != ktvcli::OutputFormat::Svg)
            throw std::invalid_argument("background is drawn under an SVG only");
        save_outputs({{*path, format}}, background, units, join_strokes);
        return {};
    }
    std::lock_guard<std::mutex> lock(mutex_);
    ktvcli::VectorView view(*v_);
    show_refined(view);
    ktvcli::ResultInfo info = info_;
    info.units = units;
    info.join_strokes = join_strokes;
    info.background = under(background);
    ktvcli::TextSink sink;
    ktvcli::write_result(format, view, info, sink);
    return sink.text();
}

void Graph::save(const std::vector<std::string> &paths, bool background, const std::string &units, bool join_strokes) {
    std::vector<ktvcli::Output> outputs;
    bool any_svg = false;
    for (const std::string &path : paths) {
        ktvcli::OutputFormat f{};
        if (!ktvcli::format_from_extension(path, f))
            throw std::invalid_argument(path + ": cannot tell the format (use .svg, .json or .dxf)");
        any_svg |= f == ktvcli::OutputFormat::Svg;
        outputs.push_back({path, f});
    }
    if (background && !any_svg) throw std::invalid_argument("background is drawn under an SVG only");
    save_outputs(outputs, background, units, join_strokes);
}

const ktvcli::PackedBitmap *Graph::under(bool background) const {
    if (background && !page_->scan)
        throw std::invalid_argument("no scan to draw under the vectors: the graph was read from JSON");
    return background ? &page_->bitmap : nullptr;
}

void Graph::save_outputs(const std::vector<ktvcli::Output> &outputs, bool background, const std::string &units,
                         bool join_strokes) {
    const ktvcli::PackedBitmap *bitmap = under(background);
    std::lock_guard<std::mutex> lock(mutex_);
    ktvcli::VectorView view(*v_);
    show_refined(view);
    ktvcli::ResultInfo info = info_;
    info.units = units;
    info.join_strokes = join_strokes;
    ktvcli::write_outputs(outputs, view, info, bitmap);
}

// ---- editing ----------------------------------------------------------------

std::optional<int> Graph::pick_node(int x, int y, double radius) {
    std::lock_guard<std::mutex> lock(mutex_);
    // A search marks nodes (`find`), nothing a view shows or a writer writes.
    _KTNODE *n = v_->msearchNN(x, y, radius);
    if (!n) return std::nullopt;
    return static_cast<int>(n - v_->mgetnode());
}

std::optional<int> Graph::pick_polyline(int x, int y, double radius) {
    std::lock_guard<std::mutex> lock(mutex_);
    _KTNODE *n = v_->msearchNN(x, y, radius);
    if (!n) return std::nullopt;
    // An end node names its polyline whichever end it is (the library's
    // answer for the end of polyline 1 would be -1, its stored id).
    if (n->linknum == 1) return std::abs(n->link[0].id);
    const int id = v_->mselectpolyline(n);
    if (id < 0) return std::nullopt;  // a junction: no single polyline
    return id;
}

void Graph::move_node(int node, int x, int y, bool attach) {
    std::lock_guard<std::mutex> lock(mutex_);
    CKTVector &v = writable();
    _KTNODE *n = node_at(v, node, "node");
    if (attach) check(v.movenodeattach(n, x, y), "movenodeattach");
    else check(v.movenode(n, x, y), "movenode");
}

std::optional<int> Graph::insert_node(double x, double y, double margin, double max_distance) {
    std::lock_guard<std::mutex> lock(mutex_);
    CKTVector &v = writable();
    const int r = v.minsertnode(x, y, margin, max_distance);
    check(r, "minsertnode");
    if (r == 0) return std::nullopt;
    return v.mgetnodenum() - 1;  // a new node always takes the next slot
}

void Graph::delete_node(int node) {
    std::lock_guard<std::mutex> lock(mutex_);
    CKTVector &v = writable();
    check(v.mdeletenode(node_at(v, node, "node")), "mdeletenode");
}

void Graph::merge_nodes(int a, int b) {
    std::lock_guard<std::mutex> lock(mutex_);
    CKTVector &v = writable();
    _KTNODE *na = node_at(v, a, "node");
    _KTNODE *nb = node_at(v, b, "node");
    if (na == nb) throw std::invalid_argument("a node cannot be merged with itself");
    check(v.mergenode(na, nb), "mergenode");
}

void Graph::delete_polyline(int node) {
    std::lock_guard<std::mutex> lock(mutex_);
    CKTVector &v = writable();
    check(v.mdeletepolyline(node_at(v, node, "node")), "mdeletepolyline");
}

int Graph::split(int polyline, int node) {
    std::lock_guard<std::mutex> lock(mutex_);
    CKTVector &v = writable();
    check_polyline(v, polyline);
    const int before = v.mgetpolylinenum();
    check(v.mseparatepolyline(polyline, node_at(v, node, "node")), "mseparatepolyline");
    if (v.mgetpolylinenum() == before)
        throw Refused(KTVEC_REFUSED, "mseparatepolyline changed nothing: node " + std::to_string(node) + " is not on polyline " +
                              std::to_string(polyline));
    return v.mgetpolylinenum();
}

void Graph::join(int a, int b) {
    std::lock_guard<std::mutex> lock(mutex_);
    CKTVector &v = writable();
    _KTNODE *na = node_at(v, a, "node");
    const _KTNODE *nb = node_at(v, b, "node");
    if (na->linknum != 1 || nb->linknum != 1)
        throw Refused(KTVEC_REFUSED, "join needs two end nodes (one link each)");
    // Dragging one end onto the other: the library attaches a moved node to
    // the nearest suitable node, and two end nodes fuse into one.
    check(v.movenodeattach(na, nb->x, nb->y), "movenodeattach");
}

void Graph::connect(int x1, int y1, int x2, int y2) {
    std::lock_guard<std::mutex> lock(mutex_);
    check(writable().mconnectpolyline(x1, y1, x2, y2), "mconnectpolyline");
}

void Graph::connect_nodes(int joint, int a, int b) {
    std::lock_guard<std::mutex> lock(mutex_);
    CKTVector &v = writable();
    check(v.mconnectpolyline(node_at(v, joint, "joint"), node_at(v, a, "node"), node_at(v, b, "node")),
          "mconnectpolyline");
}

void Graph::disconnect(int polyline, int joint, int other) {
    std::lock_guard<std::mutex> lock(mutex_);
    CKTVector &v = writable();
    check_polyline(v, polyline);
    check_polyline(v, other);
    v.mdisconnectpolyline(polyline, node_at(v, joint, "joint"), other);
}

void Graph::notch(int node, double radius, double depth) {
    std::lock_guard<std::mutex> lock(mutex_);
    CKTVector &v = writable();
    check(v.maddnotch(node_at(v, node, "node"), radius, depth), "maddnotch");
}

// A fit refuses a polyline already marked changed; the mark is cleared
// first, as refitting does, so that a fit right after an edit is taken.
void Graph::fit_arcs(int polyline, double min_radius, double max_radius) {
    std::lock_guard<std::mutex> lock(mutex_);
    CKTVector &v = writable();
    check_polyline(v, polyline);
    v.msetmodify(polyline, 0);
    check(v.marc(polyline, min_radius, max_radius), "marc");
    v.mgetpolyline(polyline)->flag |= KTVEC_POLYLINE_ARC;  // as marcall marks what it fitted
}

void Graph::fit_circle(int node, double max_radius) {
    std::lock_guard<std::mutex> lock(mutex_);
    CKTVector &v = writable();
    _KTNODE *n = node_at(v, node, "node");
    // The library leaves any other node alone and answers 0; say so instead.
    const int id = n->linknum == 2 && n->link[0].id == -n->link[1].id ? std::abs(n->link[0].id) : 0;
    if (!id || !ktvcli::VectorView::closed(*v.mgetpolyline(id)))
        throw Refused(KTVEC_REFUSED, "fit_circle needs a node inside a closed polyline (two links of that polyline)");
    v.msetmodify(id, 0);
    check(v.mfitcircle(max_radius, n), "mfitcircle");
}

void Graph::fit_spline(int polyline, int division) {
    std::lock_guard<std::mutex> lock(mutex_);
    CKTVector &v = writable();
    check_polyline(v, polyline);
    v.msetmodify(polyline, 0);
    v.msetspline(polyline);
    check(v.mspline(polyline, division), "mspline");
}

void Graph::set_curve(int polyline, const std::string &curve) {
    std::lock_guard<std::mutex> lock(mutex_);
    CKTVector &v = writable();
    check_polyline(v, polyline);
    if (curve == "arc") v.msetarc(polyline);
    else if (curve == "spline") v.msetspline(polyline);
    else if (curve == "line") v.msetline(polyline);
    else throw std::invalid_argument("curve '" + curve + "' is not arc, spline or line");
}

void Graph::refit() {
    std::lock_guard<std::mutex> lock(mutex_);
    writable().mreflectmodify();
}

void Graph::snapshot() {
    std::lock_guard<std::mutex> lock(mutex_);
    auto s = blank_vectorizer();
    check(s->mundo(v_.get()), "mundo");
    snapshot_ = std::move(s);
}

void Graph::undo() {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!snapshot_) throw std::invalid_argument("nothing to undo: take a snapshot() first");
    ++version_;
    // The copy replaces the whole vector layer, so a shared vectorizer is
    // left to its views and a fresh one receives it.
    if (v_.use_count() > 1) {
        std::unique_ptr<CKTVector> fresh = blank_vectorizer();
        keep_settings(*v_, *fresh);
        v_ = std::move(fresh);
    }
    check(v_->mundo(snapshot_.get()), "mundo");
}

bool Graph::can_undo() {
    std::lock_guard<std::mutex> lock(mutex_);
    return snapshot_ != nullptr;
}

long long Graph::undo_memory() {
    std::lock_guard<std::mutex> lock(mutex_);
    return v_->mgetundomemory();
}

}  // namespace ktvpy
