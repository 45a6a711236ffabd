// DXF output.  A hand-made result checks the exact geometry (y flip, pixel
// centres, arc direction, units); the library's own results are read back by
// an independent reader (ezdxf, when Python has it) that must load them
// without audit errors and find every vertex and arc end on a node.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <map>
#include <set>
#include <sstream>

#include "error.h"
#include "text_sink.h"
#include "tool_support.h"
#include "vector_view.h"
#include "vectorizer/memory.h"
#include "writers.h"

using namespace ktvcli;

namespace {

// ---- the file as group code / value pairs ------------------------------------------

struct Group {
    int code;
    std::string value;
};

std::vector<Group> groups_of(const std::string &dxf) {
    std::vector<Group> g;
    std::istringstream in(dxf);
    std::string code, value;
    while (std::getline(in, code) && std::getline(in, value)) g.push_back({std::stoi(code), value});
    return g;
}

// Entities of the ENTITIES section: type, then the groups up to the next 0.
struct Entity {
    std::string type;
    std::multimap<int, std::string> fields;
    double real(int code) const { return std::stod(fields.find(code)->second); }
    std::string text(int code) const { return fields.find(code)->second; }
};

std::vector<Entity> entities_of(const std::vector<Group> &g) {
    std::vector<Entity> out;
    bool inside = false;
    for (std::size_t i = 0; i < g.size(); ++i) {
        if (g[i].code == 2 && i > 0 && g[i - 1].value == "SECTION") inside = g[i].value == "ENTITIES";
        if (!inside) continue;
        if (g[i].code == 0) {
            if (g[i].value == "ENDSEC") inside = false;
            else out.push_back({g[i].value, {}});
        } else if (!out.empty()) {
            out.back().fields.emplace(g[i].code, g[i].value);
        }
    }
    return out;
}

// Type, layer and first point (group codes 10 and 20).
void expect_entity(const Entity &e, const char *type, const char *layer, double x, double y) {
    EXPECT_EQ(e.type, type);
    EXPECT_EQ(e.text(8), layer) << type;
    EXPECT_DOUBLE_EQ(e.real(10), x) << type;
    EXPECT_DOUBLE_EQ(e.real(20), y) << type;
}

std::string header_value(const std::vector<Group> &g, const std::string &name, int code) {
    for (std::size_t i = 0; i + 1 < g.size(); ++i)
        if (g[i].code == 9 && g[i].value == name)
            for (std::size_t k = i + 1; k < g.size() && g[k].code != 9; ++k)
                if (g[k].code == code) return g[k].value;
    return "";
}

// ---- a hand-made result ------------------------------------------------------------

void add_polyline(CKTVector &v, std::initializer_list<int> nodes, unsigned char flag = 0) {
    const int id = ++v.polylinenum;
    v.polyline = ktv::grow_zeroed(v.polyline, static_cast<std::size_t>(id - 1), static_cast<std::size_t>(id));
    v.polylinecapacity = id;
    _KTPOLYLINE &p = v.polyline[id - 1];
    p.nodeindex = ktv::alloc_zeroed<int>(nodes.size());
    std::copy(nodes.begin(), nodes.end(), p.nodeindex);
    p.nodenum = p.nodecapacity = static_cast<int>(nodes.size());
    p.flag = flag;
    for (int i = 0; i + 1 < p.nodenum; ++i) {
        add_link(v.node[p.nodeindex[i]], id, p.nodeindex[i + 1]);
        add_link(v.node[p.nodeindex[i + 1]], -id, p.nodeindex[i]);
    }
}

// 40 x 30 image.  Polyline 1: a closed square.  Polyline 2: (2,20) ->
// (12,20) -> (20,25), the first link an arc about (7, 15) (a quarter circle
// bulging downwards in the image).  Polyline 3: an octagon snapped onto a
// circle of radius 5 about (30, 10).  Polyline 4: one straight link.
void build_result(CKTVector &v) {
    v.width = 40;
    v.height = 30;
    const int xy[][2] = {{1, 1},   {9, 1},   {9, 9},   {1, 9},   {2, 20}, {12, 20}, {20, 25},
                         {35, 10}, {34, 14}, {30, 15}, {26, 14}, {25, 10}, {26, 6},  {30, 5},
                         {34, 6},  {15, 2},  {25, 2}};
    const int n = static_cast<int>(sizeof xy / sizeof xy[0]);
    v.node = ktv::alloc_zeroed<_KTNODE>(static_cast<std::size_t>(n));
    v.nodenum = v.nodecapacity = n;
    for (int i = 0; i < n; ++i) {
        v.node[i].x = xy[i][0];
        v.node[i].y = xy[i][1];
    }
    add_polyline(v, {0, 1, 2, 3, 0});
    add_polyline(v, {4, 5, 6}, 1);
    const double r = 5 * std::sqrt(2.0);
    v.node[4].link[0].arc = 1;
    v.node[4].link[0].centerx = 7;
    v.node[4].link[0].centery = 15;
    v.node[4].link[0].radius = r;
    add_polyline(v, {7, 8, 9, 10, 11, 12, 13, 14, 7}, 4);
    add_polyline(v, {15, 16});
}

std::string dxf_of(CKTVector &v, ResultInfo info) {
    VectorView view(v);
    TextSink sink;
    write_dxf(view, info, sink);
    return sink.text();
}

ResultInfo about(const char *command, double dpi_x = 0, double dpi_y = 0, const char *units = "") {
    ResultInfo info;
    info.command = command;
    info.dpi_x = dpi_x;
    info.dpi_y = dpi_y;
    info.units = units;
    return info;
}

}  // namespace

TEST(DxfWriter, GeometryIsUprightAtPixelCentres) {
    CKTVector v;
    build_result(v);
    const std::string text = dxf_of(v, about("centerline"));
    const std::vector<Group> g = groups_of(text);
    EXPECT_EQ(header_value(g, "$ACADVER", 1), "AC1015");
    EXPECT_EQ(header_value(g, "$INSUNITS", 70), "0");  // no resolution: unitless pixels
    EXPECT_EQ(g.back().value, "EOF");

    const std::vector<Entity> e = entities_of(g);
    ASSERT_EQ(e.size(), 5u);
    // The square: closed, four vertices, y flipped about the image height.
    expect_entity(e[0], "LWPOLYLINE", "CENTERLINES", 1.5, 28.5);
    EXPECT_EQ(e[0].text(70), "1");
    EXPECT_EQ(e[0].text(90), "4");

    // The arc of (2,20) -> (12,20) about (7,15): in the flipped frame the
    // centre is (7.5, 14.5) and the arc runs counter-clockwise from 225 to
    // 315 degrees, under the centre as in the image.
    expect_entity(e[1], "ARC", "ARCS", 7.5, 14.5);
    EXPECT_NEAR(e[1].real(40), 5 * std::sqrt(2.0), 1e-12);
    EXPECT_NEAR(e[1].real(50), 225, 1e-9);
    EXPECT_NEAR(e[1].real(51), 315, 1e-9);
    // The straight rest of polyline 2 is one LINE.
    expect_entity(e[2], "LINE", "CENTERLINES", 12.5, 9.5);
    EXPECT_DOUBLE_EQ(e[2].real(11), 20.5);
    EXPECT_DOUBLE_EQ(e[2].real(21), 4.5);

    expect_entity(e[3], "CIRCLE", "CIRCLES", 30.5, 19.5);
    EXPECT_NEAR(e[3].real(40), 5, 0.5);
    EXPECT_EQ(e[4].type, "LINE");

    // Handles are unique and below the announced seed.
    const long seed = std::stol(header_value(g, "$HANDSEED", 5), nullptr, 16);
    std::set<long> handles;
    for (std::size_t i = 0; i < g.size(); ++i) {
        const Group &x = g[i];
        if ((x.code == 5 || x.code == 105) && g[i - 1].value != "$HANDSEED") {
            const long h = std::stol(x.value, nullptr, 16);
            EXPECT_TRUE(handles.insert(h).second) << x.value;
            EXPECT_LT(h, seed);
        }
    }
}

TEST(DxfWriter, UnitsScaleTheDrawing) {
    CKTVector v;
    build_result(v);
    struct Case {
        ResultInfo info;
        const char *insunits;
        double unit;  // drawing units per pixel
    } cases[] = {
        {about("outline", 254, 254), "4", 0.1},             // mm by default when the resolution is known
        {about("outline", 254, 254, "inch"), "1", 1 / 254.0},
        {about("outline", 254, 254, "px"), "0", 1},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.insunits);
        const std::vector<Group> g = groups_of(dxf_of(v, c.info));
        EXPECT_EQ(header_value(g, "$INSUNITS", 70), c.insunits);
        EXPECT_NEAR(std::stod(header_value(g, "$EXTMAX", 10)), 40 * c.unit, 1e-12);
        EXPECT_NEAR(std::stod(header_value(g, "$EXTMAX", 20)), 30 * c.unit, 1e-12);
        const std::vector<Entity> e = entities_of(g);
        EXPECT_EQ(e[0].text(8), "OUTLINES");
        EXPECT_NEAR(e[0].real(10), 1.5 * c.unit, 1e-12);
        EXPECT_NEAR(e[1].real(40), 5 * std::sqrt(2.0) * c.unit, 1e-12);
    }

    // Without a resolution mm and inch cannot be honoured; a bad name is refused.
    for (const char *units : {"mm", "inch", "furlong"}) {
        try {
            dxf_of(v, about("outline", 0, 0, units));
            ADD_FAILURE() << units << " accepted";
        } catch (const CliError &e) {
            EXPECT_TRUE(e.usage);
        }
    }
}

TEST(DxfWriter, UnequalResolutionsDrawCurvesAsPolylines) {
    CKTVector v;
    build_result(v);
    // Fax resolution: a pixel is twice as tall as wide; circles become ellipses.
    const std::vector<Entity> e = entities_of(groups_of(dxf_of(v, about("centerline", 204, 98))));
    ASSERT_EQ(e.size(), 5u);
    EXPECT_EQ(e[1].type, "LWPOLYLINE");
    EXPECT_EQ(e[1].text(8), "ARCS");
    EXPECT_EQ(e[3].type, "LWPOLYLINE");
    EXPECT_EQ(e[3].text(8), "CIRCLES");
    EXPECT_EQ(e[3].text(70), "1");
    // Arc samples keep the end nodes: first vertex at pixel (2, 20).
    EXPECT_NEAR(e[1].real(10), 2.5 * 25.4 / 204, 1e-12);
    EXPECT_NEAR(e[1].real(20), (30 - 20.5) * 25.4 / 98, 1e-12);
}

// ---- the independent reader ----------------------------------------------------------

namespace {

std::string capture(const std::string &command) {
    std::string out;
    if (std::FILE *p = ::popen(command.c_str(), "r")) {
        char buf[4096];
        std::size_t n;
        while ((n = std::fread(buf, 1, sizeof buf, p)) > 0) out.append(buf, n);
        ::pclose(p);
    }
    return out;
}

// A Python that has ezdxf: Debian's python3-ezdxf lives beside the system
// interpreter, which a python3 earlier on the PATH may not see.
std::string ezdxf_python() {
    for (const char *python : {"/usr/bin/python3", "python3"})
        if (capture(std::string(python) + " -c \"import ezdxf; print('ezdxf ok')\" 2>&1").find("ezdxf ok") !=
            std::string::npos)
            return python;
    return "";
}

std::string check_script() {
    const std::string here = __FILE__;
    return here.substr(0, here.find_last_of('/')) + "/dxf_check.py";
}

struct Reading {
    std::map<std::string, std::vector<std::vector<std::string>>> rows;  // by first word
    std::vector<std::vector<std::string>> entities;
};

Reading read_back(const std::string &python, const std::string &path) {
    Reading r;
    std::istringstream in(capture(python + " " + check_script() + " " + path + " 2>&1"));
    std::string line;
    while (std::getline(in, line)) {
        std::istringstream words(line);
        std::vector<std::string> w;
        for (std::string s; words >> s;) w.push_back(s);
        if (w.empty()) continue;
        r.rows[w[0]].push_back(w);
        if (w[0] == "LINE" || w[0] == "LWPOLYLINE" || w[0] == "ARC" || w[0] == "CIRCLE") r.entities.push_back(w);
    }
    return r;
}

// Node positions of the result in drawing coordinates, rounded to 1e-6.
std::set<std::pair<long long, long long>> mapped_nodes(VectorView &view, double unit) {
    std::set<std::pair<long long, long long>> s;
    for (int i = 0; i < view.node_slots(); ++i) {
        const _KTNODE &n = view.node(i);
        s.insert({std::llround((n.x + 0.5) * unit * 1e6), std::llround((view.height() - n.y - 0.5) * unit * 1e6)});
    }
    return s;
}

bool on_node(const std::set<std::pair<long long, long long>> &nodes, const std::string &x, const std::string &y) {
    return nodes.count({std::llround(std::stod(x) * 1e6), std::llround(std::stod(y) * 1e6)}) != 0;
}

// Curves for the fits: a bow (half a thick ring), a disc and a bar.
Bitmap bow_drawing() {
    Bitmap b(200, 150);
    for (int y = 0; y < b.height; ++y)
        for (int x = 0; x < b.width; ++x) {
            const double bow = std::hypot(x - 110.0, y - 110.0), disc = std::hypot(x - 35.0, y - 35.0);
            if ((bow >= 70 && bow <= 80 && y < 110) || disc <= 22 || (y >= 125 && y < 131 && x >= 20 && x < 180))
                b.set(x, y);
        }
    return b;
}

}  // namespace

TEST(DxfWriter, IndependentReaderLoadsLibraryResults) {
    const std::string python = ezdxf_python();
    if (python.empty()) GTEST_SKIP() << "python3-ezdxf is not installed; the DXF files are not read back";

    Bitmap drawing = bow_drawing();
    struct Case {
        const char *name, *command;
        int fit;  // 0 none, 1 arcs and circles, 2 splines
    } cases[] = {{"outline with arcs and circles", "outline", 1},
                 {"centre lines", "centerline", 0},
                 {"centre lines as splines", "centerline", 2}};
    TempDir dir;
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        CKTVector v;
        v.msetdocument(drawing.data(), drawing.width, drawing.bytesperline, drawing.height);
        const int result = c.command[0] == 'o' ? v.mabstractoutline(4, 1, 1.5, 1)
                                               : v.mabstractcenterline(31, 4, 3, 8, 0.9, 4, 1.5);
        ASSERT_GE(result, 0);
        if (c.fit == 1) {
            v.mfitcircleall(30);  // the disc only
            v.marcall(1, 1000);
        }
        if (c.fit == 2)
            for (int id = 1; id <= v.mgetpolylinenum(); ++id) {
                v.msetspline(id);
                v.mspline(id, 4);
            }

        VectorView view(v);
        const double unit = 25.4 / 300;
        {
            std::FILE *f = std::fopen((dir / "out.dxf").c_str(), "w");
            ASSERT_NE(f, nullptr);
            TextSink sink(f);
            write_dxf(view, about(c.command, 300, 300), sink);
            sink.flush();
            std::fclose(f);
        }
        const Reading r = read_back(python, dir / "out.dxf");
        ASSERT_EQ(r.rows.count("AUDIT"), 1u) << read_bytes(dir / "out.dxf").substr(0, 400);
        EXPECT_EQ(r.rows.at("VERSION")[0][1], "AC1015");
        EXPECT_EQ(r.rows.at("INSUNITS")[0][1], "4");
        EXPECT_EQ(r.rows.at("AUDIT")[0][1], "0") << "audit errors";
        const std::vector<std::string> &layers = r.rows.at("LAYERS")[0];
        for (const char *layer : {"CENTERLINES", "OUTLINES", "ARCS", "CIRCLES", "SPLINES"})
            EXPECT_NE(std::find(layers.begin(), layers.end(), layer), layers.end()) << layer;

        // Every vertex and arc end is a node (splines excepted: their
        // samples lie between nodes); every polyline is drawn.
        const auto nodes = mapped_nodes(view, unit);
        std::map<std::string, int> count;
        int checked = 0;
        for (const auto &w : r.entities) {
            ++count[w[0] + " " + w[1]];
            if (w[1] == "SPLINES" || w[0] == "CIRCLE") continue;
            const std::size_t from = w[0] == "LWPOLYLINE" ? 3 : 2, to = w[0] == "ARC" ? 6 : w.size();
            for (std::size_t k = from; k + 1 < to; k += 2, ++checked)
                ASSERT_TRUE(on_node(nodes, w[k], w[k + 1])) << w[0] << " vertex " << w[k] << "," << w[k + 1];
        }
        EXPECT_GE(static_cast<int>(r.entities.size()), view.live_polylines());
        if (c.fit == 1) {
            EXPECT_GT(count["ARC ARCS"], 0);
            EXPECT_GT(count["CIRCLE CIRCLES"], 0);
        }
        if (c.fit == 2) {
            EXPECT_EQ(count["LWPOLYLINE SPLINES"], view.live_polylines());
        } else {
            EXPECT_GT(checked, 0);
        }
    }
}

TEST(DxfWriter, ProgramChoosesDxfByExtensionOrFormat) {
    TempDir dir;
    RunResult r = run_ktvec({"centerline", KTVEC_SAMPLE_PNG, "-o", dir / "a.DXF", "--dpi", "300", "-q"});
    ASSERT_EQ(r.status, 0) << r.err;
    const std::vector<Group> g = groups_of(read_bytes(dir / "a.DXF"));
    EXPECT_EQ(header_value(g, "$INSUNITS", 70), "4");
    EXPECT_FALSE(entities_of(g).empty());

    r = run_ktvec({"outline", KTVEC_SAMPLE_PNG, "-o", dir / "b.txt", "--format", "dxf", "--units", "px", "-q"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(header_value(groups_of(read_bytes(dir / "b.txt")), "$INSUNITS", 70), "0");

    // mm without any resolution is a usage error, and nothing is left behind.
    r = run_ktvec({"outline", KTVEC_SAMPLE_PNG, "-o", dir / "c.dxf", "--units", "mm", "-q"});
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("--dpi"), std::string::npos) << r.err;
    EXPECT_EQ(dir.names(), (std::vector<std::string>{"a.DXF", "b.txt"}));
}
