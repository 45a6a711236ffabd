// The extension module ktvec._ktvec: vectorizing functions over the
// program's commands, the Graph class, and the helpers the archive recipe
// shares with `ktvec batch`.  The package ktvec (python/ktvec) wraps it
// with keyword signatures and the pure-Python parts.
#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <cmath>
#include <cstddef>
#include <memory>

#include "batch.h"
#include "commands.h"
#include "error.h"
#include "graph.h"
#include "heap.h"
#include "input.h"
#include "json_reader.h"
#include "pages.h"
#include "result_loader.h"

namespace py = pybind11;
using ktvpy::Graph;

namespace {

// An array over memory that `owner` keeps alive; read-only, because it is
// the library's or a cached table's own memory.
template <class Owner>
py::array view(const std::shared_ptr<Owner> &owner, const py::dtype &dtype, std::vector<py::ssize_t> shape,
               std::vector<py::ssize_t> strides, const void *data) {
    auto *keep = new std::shared_ptr<Owner>(owner);
    py::capsule base(keep, [](void *p) { delete static_cast<std::shared_ptr<Owner> *>(p); });
    py::array a(dtype, std::move(shape), std::move(strides), data, base);
    a.attr("setflags")(py::arg("write") = false);
    return a;
}

template <class Table, class T>
py::array column(const std::shared_ptr<const Table> &t, const std::vector<T> &v,
                 const py::dtype &dtype = py::dtype::of<T>()) {
    const auto n = static_cast<py::ssize_t>(v.size());
    return view(t, dtype, {n}, {static_cast<py::ssize_t>(sizeof(T))}, n ? v.data() : nullptr);
}

// Nodes are 2 ints at the start of each node record: an (N, 2) view.
static_assert(offsetof(_KTNODE, y) == offsetof(_KTNODE, x) + sizeof(int), "x and y are adjacent");

py::array node_view(Graph &g) {
    const std::shared_ptr<const CKTVector> v = g.state();
    const py::ssize_t n = v->nodenum;
    const _KTNODE *nodes = n ? v->node : nullptr;
    return view(v, py::dtype::of<std::int32_t>(), {n, 2}, {sizeof(_KTNODE), sizeof(int)}, nodes ? &nodes->x : nullptr);
}

py::array deleted_view(Graph &g) {
    const std::shared_ptr<const CKTVector> v = g.state();
    const py::ssize_t n = v->nodenum;
    const _KTNODE *nodes = n ? v->node : nullptr;
    return view(v, py::dtype("?"), {n}, {sizeof(_KTNODE)}, nodes ? &nodes->deleted : nullptr);
}

py::object none_if(bool absent, py::object value) { return absent ? py::object(py::none()) : value; }

// The record types of `arcs` and `circles`, made known to numpy when first
// asked for: importing the module and vectorizing a file need no numpy.
void register_record_dtypes() {
    static const bool done = [] {
        PYBIND11_NUMPY_DTYPE(ktvpy::ArcRow, polyline, link, cx, cy, r, side);
        PYBIND11_NUMPY_DTYPE(ktvpy::CircleRow, polyline, cx, cy, r);
        return true;
    }();
    (void)done;
}

std::shared_ptr<Graph> vectorize(const std::string &command, const py::object &image, const py::dict &options) {
    const ktvcli::Command *c = ktvcli::find_command(command.c_str());
    if (!c) throw std::invalid_argument("'" + command + "' is not centerline, outline or outline-fast");
    const ktvcli::Settings s = ktvpy::settings_from(*c, options);
    const ktvcli::PostProcessing post = ktvcli::postprocessing(s);
    std::string source;
    ktvcli::LoadedImage image_read = ktvpy::load_image(image, s, source);
    auto page = std::make_shared<ktvpy::Page>();
    page->bitmap = std::move(image_read.bitmap);
    page->scan = true;
    auto v = std::make_unique<CKTVector>();
    auto refiner = std::make_unique<CKTRefiner>();
    int result;
    {
        py::gil_scoped_release nogil;
        v->msetdocument(page->bitmap.bits.data(), page->bitmap.width, page->bitmap.height);
        result = ktvcli::vectorize_document(*c, s, post, *v, *refiner);
    }
    ktvpy::check(result, c->name);
    // As the program: a graph whose clean-up ran short of memory is not a result.
    if (v->mispostprocessincomplete())
        throw ktvpy::OutOfMemory(source + ": out of memory while cleaning up the vectors (result incomplete)");
    if (!s.refine) refiner.reset();
    return std::make_shared<Graph>(std::move(page), std::move(v), std::move(refiner),
                                   ktvcli::result_info(*c, s, image_read, post, source));
}

std::shared_ptr<Graph> from_json(const py::object &path_like) {
    const std::string path = py::str(py::module_::import("os").attr("fspath")(path_like));
    py::module_::import("builtins").attr("open")(path, "rb").attr("close")();  // OSError as open() gives it
    auto page = std::make_shared<ktvpy::Page>();
    auto v = std::make_unique<CKTVector>();
    ktvcli::LoadedResult loaded;
    {
        py::gil_scoped_release nogil;
        try {
            const ktvcli::Buffer text = ktvcli::read_file(path);
            const ktvcli::JsonDocument doc(
                std::string_view(reinterpret_cast<const char *>(text.data()), text.size()));
            ktvcli::load_result(doc, *v, loaded);
        } catch (const ktvcli::CliError &e) {
            ktvcli::rethrow_about(path, e);
        }
    }
    // The vectorizer points at the loader's blank page; the graph keeps it.
    page->bitmap.width = v->width;
    page->bitmap.height = v->height;
    page->bitmap.stride = static_cast<std::size_t>(v->bytesperline);
    page->bitmap.bits = std::move(loaded.page);
    return std::make_shared<Graph>(std::move(page), std::move(v), nullptr, std::move(loaded.info));
}

// The options of a command as the Python functions take them, with the
// program's defaults: None where the default is "off" or "automatic" (a
// value outside the option's range, or its auto word).
py::list option_table(const std::string &command) {
    const ktvcli::Command *c = ktvcli::find_command(command.c_str());
    if (!c) throw std::invalid_argument("'" + command + "' is not centerline, outline or outline-fast");
    const ktvcli::Settings defaults = ktvcli::command_defaults(*c);
    py::list out;
    for (const ktvcli::OptionTable &t : ktvpy::python_tables(*c))
        for (const ktvcli::OptionDef *o = t.begin; o != t.end; ++o) {
            py::dict d;
            d["name"] = ktvpy::keyword(*o);
            d["group"] = t.heading;
            d["help"] = o->help;
            d["sets"] = o->sets ? py::object(py::str(o->sets)) : py::object(py::none());
            const double value = ktvcli::option_value(*o, defaults);
            if (std::holds_alternative<bool ktvcli::Settings::*>(o->target)) {
                d["kind"] = "flag";
                d["default"] = py::bool_(value != 0);
            } else if (std::holds_alternative<std::string ktvcli::Settings::*>(o->target)) {
                d["kind"] = "pair";
                const std::string &text = defaults.*std::get<std::string ktvcli::Settings::*>(o->target);
                d["default"] = none_if(text.empty(), py::str(text));
            } else {
                const bool integral = !std::holds_alternative<double ktvcli::Settings::*>(o->target);
                d["kind"] = integral ? "int" : "float";
                const bool off = (o->auto_word && value == -1) || value < o->min || value > o->max;
                d["default"] = none_if(off, integral ? py::object(py::int_(static_cast<long long>(value)))
                                                     : py::object(py::float_(value)));
            }
            out.append(d);
        }
    return out;
}

void register_errors(py::module_ &m) {
    static py::exception<ktvpy::Refused> refused(m, "RefusedError", PyExc_ValueError);
    refused.doc() = "A library call refused (a negative result code other than -1000); .code holds the code.";
    py::register_exception_translator([](std::exception_ptr p) {
        try {
            if (p) std::rethrow_exception(p);
        } catch (const ktvpy::Refused &e) {
            py::object error = py::handle(refused.ptr())(e.what());  // an instance, to carry the code
            error.attr("code") = e.code;
            PyErr_SetObject(refused.ptr(), error.ptr());
        } catch (const ktvpy::OutOfMemory &e) {
            PyErr_SetString(PyExc_MemoryError, e.what());
        } catch (const ktvcli::CliError &e) {
            PyErr_SetString(PyExc_ValueError, e.what());
        }
    });
}

}  // namespace

PYBIND11_MODULE(_ktvec, m) {
    m.doc() = "ktvec: raster-to-vector conversion of line drawings (extension module; use the package ktvec)";
    m.attr("__version__") = KTVEC_VERSION;
    // Bits of Graph.curve.
    m.attr("ARC") = static_cast<int>(KTVEC_POLYLINE_ARC);
    m.attr("SPLINE") = static_cast<int>(KTVEC_POLYLINE_SPLINE);
    m.attr("CIRCLE") = static_cast<int>(KTVEC_POLYLINE_CIRCLE);
    register_errors(m);

    m.def("vectorize", &vectorize, py::arg("command"), py::arg("image"), py::arg("options"));
    m.def("from_json", &from_json, py::arg("path"));
    m.def("option_table", &option_table, py::arg("command"));
    m.def("page_count", [](const py::object &path) {
        const std::string p = py::str(py::module_::import("os").attr("fspath")(path));
        py::gil_scoped_release nogil;
        return ktvcli::input_page_count(p);
    }, py::arg("path"));
    m.def("output_stems", &ktvcli::output_stems, py::arg("inputs"));
    m.def("page_output_name", &ktvcli::page_output_name, py::arg("path"), py::arg("page"));
    m.def("keep_blocks_in_heap", &ktvcli::keep_blocks_in_heap);

    using Opt = std::optional<std::string>;
    py::class_<Graph, std::shared_ptr<Graph>> g(m, "Graph");
    const auto nogil = py::call_guard<py::gil_scoped_release>();
    g.def_property_readonly("command", [](const Graph &g) { return g.info().command; })
        .def_property_readonly("source", [](const Graph &g) { return g.info().source; })
        .def_property_readonly("width", &Graph::width)
        .def_property_readonly("height", &Graph::height)
        .def_property_readonly("format", [](const Graph &g) {
            return none_if(g.info().format.empty(), py::str(g.info().format));
        })
        .def_property_readonly("threshold", [](const Graph &g) {
            return none_if(g.info().threshold < 0, py::int_(g.info().threshold));
        })
        .def_property_readonly("dpi", [](const Graph &g) {
            const ktvcli::ResultInfo &i = g.info();
            return none_if(i.dpi_x <= 0, py::make_tuple(i.dpi_x, i.dpi_y > 0 ? i.dpi_y : i.dpi_x));
        })
        .def_property_readonly("parameters", [](const Graph &g) {
            py::dict d;
            for (const auto &p : g.info().parameters) d[py::str(p.first)] = p.second;
            return d;
        })
        .def_property_readonly("nodes", &node_view)
        .def_property_readonly("deleted", &deleted_view)
        .def_property_readonly("bitmap", [](Graph &g) {
            const std::shared_ptr<const ktvpy::Page> &page = g.page();
            const ktvcli::PackedBitmap &b = page->bitmap;
            const auto stride = static_cast<py::ssize_t>(b.stride);
            return view(page, py::dtype::of<std::uint8_t>(), {b.height, stride}, {stride, 1}, b.bits.data());
        })
        .def_property_readonly("has_scan", [](const Graph &g) { return g.page()->scan; })
        .def_property_readonly("ids", [](Graph &g) { auto t = g.polylines(); return column(t, t->ids); })
        .def_property_readonly("offsets", [](Graph &g) { auto t = g.polylines(); return column(t, t->offsets); })
        .def_property_readonly("indices", [](Graph &g) { auto t = g.polylines(); return column(t, t->indices); })
        .def_property_readonly("closed", [](Graph &g) {
            auto t = g.polylines();
            return column(t, t->closed, py::dtype("?"));
        })
        .def_property_readonly("curve", [](Graph &g) { auto t = g.polylines(); return column(t, t->curve); })
        .def_property_readonly("prev", [](Graph &g) {
            auto t = g.polylines();
            return py::make_tuple(column(t, t->prev_offsets), column(t, t->prev));
        })
        .def_property_readonly("next", [](Graph &g) {
            auto t = g.polylines();
            return py::make_tuple(column(t, t->next_offsets), column(t, t->next));
        })
        .def_property_readonly("arcs", [](Graph &g) {
            register_record_dtypes();
            auto t = g.polylines();
            return column(t, t->arcs);
        })
        .def_property_readonly("circles", [](Graph &g) {
            register_record_dtypes();
            auto t = g.polylines();
            return column(t, t->circles);
        })
        .def_property_readonly("spline_offsets", [](Graph &g) {
            auto t = g.polylines();
            return column(t, t->spline_offsets);
        })
        .def_property_readonly("spline", [](Graph &g) {
            auto t = g.polylines();
            const auto n = static_cast<py::ssize_t>(t->spline.size() / 2);
            return view(t, py::dtype::of<double>(), {n, 2}, {2 * sizeof(double), sizeof(double)},
                        n ? t->spline.data() : nullptr);
        })
        .def_property_readonly("node_count", &Graph::node_count)
        .def_property_readonly("refined", &Graph::refined)
        .def_property_readonly("refined_nodes", [](Graph &g) -> py::object {
            const std::shared_ptr<const ktvpy::RefinedTable> t = g.refined_table();
            if (!t) return py::none();
            const auto n = static_cast<py::ssize_t>(t->nodes.size() / 2);
            return view(t, py::dtype::of<double>(), {n, 2}, {2 * sizeof(double), sizeof(double)},
                        n ? t->nodes.data() : nullptr);
        })
        // The refined lines as CSR columns; the package makes them RefinedLine tuples.
        .def_property_readonly("_refined_lines", [](Graph &g) -> py::object {
            const std::shared_ptr<const ktvpy::RefinedTable> t = g.refined_table();
            if (!t) return py::none();
            const auto points = static_cast<py::ssize_t>(t->point_nodes.size());
            return py::make_tuple(column(t, t->sources), column(t, t->closed, py::dtype("?")), column(t, t->offsets),
                                  view(t, py::dtype::of<double>(), {points, 2}, {2 * sizeof(double), sizeof(double)},
                                       points ? t->points.data() : nullptr),
                                  column(t, t->point_nodes));
        })
        .def("refine", &Graph::refine, nogil,
             "Measures the graph as it is now against its scan, as the program's --refine does after\n"
             "vectorizing; an edit or undo() leaves the graph without refined geometry until then.")
        .def("__len__", [](Graph &g) { return g.polylines()->ids.size(); })
        .def("_write", [](Graph &g, const std::string &format, const Opt &path, bool background, const std::string &units,
                          bool join_strokes) {
            ktvcli::OutputFormat f{};
            if (!ktvcli::format_from_name(format, f)) throw std::invalid_argument("format '" + format + "'");
            py::gil_scoped_release release;
            return g.write(f, path, background, units, join_strokes);
        })
        .def("save", [](Graph &g, const py::args &paths, bool background, const std::optional<std::string> &units,
                        bool join_strokes) {
            std::vector<std::string> names;
            for (const py::handle &p : paths) names.push_back(py::str(py::module_::import("os").attr("fspath")(p)));
            py::gil_scoped_release release;
            g.save(names, background, units.value_or(""), join_strokes);
        }, py::kw_only(), py::arg("background") = false, py::arg("units") = py::none(), py::arg("join_strokes") = true,
           "Writes every file named, its format by its extension (.svg, .json, .dxf), as the program's\n"
           "-o options do: all complete before any is renamed into place, so after a failure none has changed.\n"
           "join_strokes=False draws one SVG or DXF path per polyline (the program's --no-join-strokes).")
        .def("pick_node", &Graph::pick_node, py::arg("x"), py::arg("y"), py::arg("radius") = 5.0, nogil)
        .def("pick_polyline", &Graph::pick_polyline, py::arg("x"), py::arg("y"), py::arg("radius") = 5.0, nogil)
        .def("move_node", &Graph::move_node, py::arg("node"), py::arg("x"), py::arg("y"), py::arg("attach") = false,
             nogil)
        .def("insert_node", &Graph::insert_node, py::arg("x"), py::arg("y"), py::arg("margin") = 0.1,
             py::arg("max_distance") = 3.0, nogil)
        .def("delete_node", &Graph::delete_node, py::arg("node"), nogil)
        .def("merge_nodes", &Graph::merge_nodes, py::arg("a"), py::arg("b"), nogil)
        .def("delete_polyline", &Graph::delete_polyline, py::arg("node"), nogil)
        .def("split", &Graph::split, py::arg("polyline"), py::arg("node"), nogil)
        .def("join", &Graph::join, py::arg("a"), py::arg("b"), nogil)
        .def("connect", &Graph::connect, py::arg("x1"), py::arg("y1"), py::arg("x2"), py::arg("y2"), nogil)
        .def("connect_nodes", &Graph::connect_nodes, py::arg("joint"), py::arg("a"), py::arg("b"), nogil)
        .def("disconnect", &Graph::disconnect, py::arg("polyline"), py::arg("joint"), py::arg("other"), nogil)
        .def("notch", &Graph::notch, py::arg("node"), py::arg("radius"), py::arg("depth"), nogil)
        .def("fit_arcs", &Graph::fit_arcs, py::arg("polyline"), py::arg("min_radius") = 1.0,
             py::arg("max_radius") = 1000.0, nogil)
        .def("fit_circle", &Graph::fit_circle, py::arg("node"), py::arg("max_radius"), nogil)
        .def("fit_spline", &Graph::fit_spline, py::arg("polyline"), py::arg("division") = 8, nogil)
        .def("set_curve", &Graph::set_curve, py::arg("polyline"), py::arg("curve"), nogil)
        .def("refit", &Graph::refit, nogil)
        .def("snapshot", &Graph::snapshot, nogil)
        .def("undo", &Graph::undo, nogil)
        .def_property_readonly("can_undo", &Graph::can_undo)
        .def_property_readonly("undo_memory", &Graph::undo_memory);
}
