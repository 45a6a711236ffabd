// The result the Python module hands out: one vectorizer with the page it
// points at and the header its files carry, read as arrays, written by the
// program's own writers and edited through the library's editing calls.
//
// Node arrays handed to Python are views into the library's node table, so
// they must never see that table move.  The graph therefore copies on
// write: while any view still holds the current vectorizer, an edit first
// copies the vector layer (mundo) into a fresh vectorizer and works on that
// one; the views keep the state they were taken from, intact.
//
// The sub-pixel geometry measured by the refiner belongs to one state of
// the vector layer: an edit or an undo makes it stale, so from then on the
// graph holds none (the writers draw the driver's own nodes, as `ktvec
// edit` does) until refine() measures the current state again.
#ifndef KTVEC_PYTHON_GRAPH_H
#define KTVEC_PYTHON_GRAPH_H

#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "image.h"
#include "ktvec.h"
#include "ktvec_refine.h"
#include "outputs.h"
#include "writers.h"

namespace ktvpy {

// A negative result of a library call other than -1000, with its code.
struct Refused : std::runtime_error {
    Refused(int code, const std::string &message) : std::runtime_error(message), code(code) {}
    int code;
};

// -1000 from a library call, or memory the module itself could not get.
struct OutOfMemory : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// Throws OutOfMemory for -1000 and Refused for any other negative result;
// `call` names the library call in the message.
void check(int result, const char *call);

// The pixels a vectorizer points at: the packed scan after pre-cleaning,
// or for a result read back from JSON a blank page of its size.  Never
// changed once the graph exists, and shared by every copy of its
// vectorizer, so it outlives all of them.
struct Page {
    ktvcli::PackedBitmap bitmap;
    bool scan = false;  // false: the blank page of a result read back
};

// One fitted arc: link `link` of polyline `polyline` (from its node i to
// node i + 1), centre and radius in pixels, `side` the candidate centre taken.
struct ArcRow {
    std::int32_t polyline, link;
    double cx, cy, r;
    std::int32_t side;
};

// The circle a polyline marked `circle` was fitted onto, in pixels.
struct CircleRow {
    std::int32_t polyline;
    double cx, cy, r;
};

// The live polylines of one state of the graph as flat arrays: polyline k
// (0-based, ascending id) runs through indices[offsets[k] .. offsets[k+1]),
// library node indices; its connections are prev[prev_offsets[k] ..
// prev_offsets[k+1]) and the same for next (signed end references); its
// spline samples are the x, y pairs spline[2 * spline_offsets[k] ..
// 2 * spline_offsets[k+1]).
struct PolylineTable {
    std::vector<std::int32_t> ids;
    std::vector<std::int64_t> offsets{0};
    std::vector<std::int32_t> indices;
    std::vector<std::uint8_t> closed, curve;  // curve: flag bits arc 1, spline 2, circle 4
    std::vector<std::int64_t> prev_offsets{0}, next_offsets{0};
    std::vector<std::int32_t> prev, next;
    std::vector<ArcRow> arcs;
    std::vector<CircleRow> circles;
    std::vector<std::int64_t> spline_offsets{0};
    std::vector<double> spline;
};

// The refined geometry of one state of the graph, in pixels of the node
// frame: for every node slot an x, y pair (NaN, NaN where the refiner
// placed none), and the refiner's lines, line k running through the x, y
// pairs points[2 * offsets[k] .. 2 * offsets[k+1]), point_nodes giving the
// node index at each point or -1 for a point of the refiner's own.
struct RefinedTable {
    std::vector<double> nodes;
    std::vector<std::int32_t> sources;  // polyline id the line draws, 0 for the refiner's own
    std::vector<std::uint8_t> closed;
    std::vector<std::int64_t> offsets{0};
    std::vector<double> points;
    std::vector<std::int32_t> point_nodes;
};

class Graph {
public:
    // Takes the vectorizer, whose document is page->bitmap, and the refiner
    // that measured it, or null when it was not refined.
    Graph(std::shared_ptr<Page> page, std::unique_ptr<CKTVector> v, std::unique_ptr<CKTRefiner> refiner,
          ktvcli::ResultInfo info);

    const ktvcli::ResultInfo &info() const { return info_; }
    const std::shared_ptr<const Page> &page() const { return page_; }
    int width() const { return page_->bitmap.width; }
    int height() const { return page_->bitmap.height; }

    // The current vectorizer, for a view that keeps it alive.  The caller
    // reads only; an edit made while the pointer is held goes to a copy.
    std::shared_ptr<const CKTVector> state();
    std::shared_ptr<const PolylineTable> polylines();
    // Nodes the result files list: the live ones and deleted ones that a
    // live polyline still runs through (the program's node count).
    int node_count();

    // Whether the graph holds sub-pixel geometry of its current state.
    bool refined();
    // The refined geometry of the current state, or null when there is none.
    std::shared_ptr<const RefinedTable> refined_table();
    // Measures the current state against the scan with the command's stage
    // (centre lines or outlines).  Throws std::invalid_argument for a graph
    // read from JSON (no scan), OutOfMemory for -1000 (the graph then holds
    // no refined geometry).
    void refine();

    // The program's writers.  With a path the file is written as the
    // program writes it (temporary file, then renamed) and "" comes back;
    // without one the text is returned.  `units` as --units ("" by
    // resolution); `join_strokes` as --join-strokes.  Throws CliError for a
    // bad unit or a failed write.
    std::string write(ktvcli::OutputFormat format, const std::optional<std::string> &path, bool background,
                      const std::string &units, bool join_strokes);
    // Several files at once, each format by its extension, as `-o` gives
    // them to the program: all are written before any is renamed into place,
    // so after a failure none has changed.
    void save(const std::vector<std::string> &paths, bool background, const std::string &units, bool join_strokes);

    // ---- editing: node arguments are library node indices, polylines ids.
    // A node index outside the table throws std::out_of_range, a deleted
    // node or polyline std::invalid_argument; library failures go through
    // check().
    std::optional<int> pick_node(int x, int y, double radius);
    std::optional<int> pick_polyline(int x, int y, double radius);
    void move_node(int node, int x, int y, bool attach);
    std::optional<int> insert_node(double x, double y, double margin, double max_distance);
    void delete_node(int node);
    void merge_nodes(int a, int b);
    void delete_polyline(int node);
    int split(int polyline, int node);
    void join(int a, int b);
    void connect(int x1, int y1, int x2, int y2);
    void connect_nodes(int joint, int a, int b);
    void disconnect(int polyline, int joint, int other);
    void notch(int node, double radius, double depth);
    void fit_arcs(int polyline, double min_radius, double max_radius);
    void fit_circle(int node, double max_radius);
    void fit_spline(int polyline, int division);
    void set_curve(int polyline, const std::string &curve);
    void refit();
    void snapshot();
    void undo();
    bool can_undo();
    long long undo_memory();

private:
    // The scan to draw under an SVG, or null; throws for a graph read from JSON.
    const ktvcli::PackedBitmap *under(bool background) const;
    void save_outputs(const std::vector<ktvcli::Output> &outputs, bool background, const std::string &units,
                      bool join_strokes);
    // With mutex_ held.
    CKTVector &writable();  // the vectorizer to edit, copied first while shared
    bool refined_now() const { return refiner_ && refined_version_ == version_; }
    // Gives the writers' view of the current state its refined geometry, if any.
    void show_refined(ktvcli::VectorView &view) const;
    std::unique_ptr<CKTVector> blank_vectorizer() const;
    _KTNODE *node_at(CKTVector &v, int index, const char *role);
    void check_polyline(CKTVector &v, int id);

    std::shared_ptr<const Page> page_;
    std::shared_ptr<CKTVector> v_;
    std::unique_ptr<CKTVector> snapshot_;
    std::unique_ptr<CKTRefiner> refiner_;
    std::uint64_t refined_version_ = ~std::uint64_t{0};  // the state refiner_ measured
    std::shared_ptr<const RefinedTable> refined_table_;
    ktvcli::ResultInfo info_;
    std::uint64_t version_ = 0;  // raised by every edit
    std::shared_ptr<const PolylineTable> table_;
    std::uint64_t table_version_ = ~std::uint64_t{0};
    std::mutex mutex_;  // one call at a time on the vectorizer
};

}  // namespace ktvpy

#endif
