// The writers on hand-made results (deleted nodes and polylines, a closed
// polyline, connections, a fitted arc, spline samples, a fitted circle) and
// on the library's own results: the JSON says exactly what the vectorizer
// holds, the SVG draws it at pixel centres, the DXF draws it upright in its
// units and an independent reader (ezdxf) loads it.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <map>
#include <set>
#include <sstream>

#include "error.h"
#include "graph_builder.h"
#include "peer.h"
#include "support.h"
#include "text_sink.h"
#include "vector_view.h"
#include "vectorizer/memory.h"
#include "writers.h"

using namespace ktvcli;

namespace {

ResultInfo about(const char *command, double dpi_x = 0, double dpi_y = 0, const char *units = "") {
    ResultInfo info;
    info.command = command;
    info.source = "s";
    info.dpi_x = dpi_x;
    info.dpi_y = dpi_y;
    info.units = units;
    return info;
}

std::string write(OutputFormat f, CKTVector &v, const ResultInfo &info) {
    VectorView view(v);
    TextSink sink;
    write_result(f, view, info, sink);
    return sink.text();
}

void set_arc(_KTNODELINK *l, unsigned char side, double cx, double cy, double r) {
    l->arc = side;
    l->centerx = cx;
    l->centery = cy;
    l->radius = r;
}

// 12 x 8.  Nodes 0 (1,1), 1 (5,1), 2 (5,4), 3 deleted, 4 (1,4), 5 (8,2),
// 6 (10,6).  Polyline 1: the closed square 0-1-2-4-0; 2: deleted; 3: 5-6
// with an arc about (9, 4.5), radius 2.5, and three spline samples,
// connected at its start to the start of 1 and at its end to the end of 1.
void small_result(CKTVector &v) {
    GraphBuilder g(v);
    for (auto [x, y] : {std::pair{1, 1}, {5, 1}, {5, 4}, {9, 9}, {1, 4}, {8, 2}, {10, 6}}) g.node(x, y);
    v.width = 12;
    v.height = 8;
    v.node[3].deleted = 1;
    g.path_of({0, 1, 2, 4, 0});
    g.polyline({});
    v.polyline[1].deleted = 1;
    g.path_of({5, 6});
    set_arc(g.find_link(5, 6, 3), 1, 9.0, 4.5, 2.5);
    v.msetarc(3);
    Peer::maddprev(v, 3, 1);
    Peer::maddnext(v, 3, -1);
    _KTPOLYLINE &c = v.polyline[2];
    c.splinenum = 3;
    c.splinex = ktv::alloc_array<double>(3);
    c.spliney = ktv::alloc_array<double>(3);
    const double sx[3] = {8, 9.75, 10}, sy[3] = {2, 3.125, 6};
    std::copy(sx, sx + 3, c.splinex);
    std::copy(sy, sy + 3, c.spliney);
}

std::vector<double> numbers(JsonValue a) {
    std::vector<double> v;
    for (JsonValue e = a.first(); e.valid(); e = e.next()) v.push_back(e.number());
    return v;
}

// ---- DXF as group code / value pairs ------------------------------------------------

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

// Entities of the ENTITIES section: type, then its groups.
struct Entity {
    std::string type;
    std::multimap<int, std::string> fields;
    double real(int code) const { return std::stod(fields.find(code)->second); }
    std::string text(int code) const { return fields.find(code)->second; }
    std::vector<double> all(int code) const {
        std::vector<double> v;
        for (auto [it, end] = fields.equal_range(code); it != end; ++it) v.push_back(std::stod(it->second));
        return v;
    }
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

std::string header_value(const std::vector<Group> &g, const std::string &name, int code) {
    for (std::size_t i = 0; i + 1 < g.size(); ++i)
        if (g[i].code == 9 && g[i].value == name)
            for (std::size_t k = i + 1; k < g.size() && g[k].code != 9; ++k)
                if (g[k].code == code) return g[k].value;
    return "";
}

// 40 x 30.  Polyline 1: a closed square.  2: (2,20) -> (12,20) -> (20,25),
// the first link an arc about (7, 15) (a quarter circle bulging downwards
// in the image).  3: an octagon snapped onto a circle of radius 5 about
// (30, 10).  4: one straight link.
void dxf_result(CKTVector &v) {
    GraphBuilder g(v);
    v.width = 40;
    v.height = 30;
    g.path({{1, 1}, {9, 1}, {9, 9}, {1, 9}}, true);
    g.path({{2, 20}, {12, 20}, {20, 25}});
    set_arc(g.find_link(4, 5, 2), 1, 7, 15, 5 * std::sqrt(2.0));
    v.msetarc(2);
    g.path({{35, 10}, {34, 14}, {30, 15}, {26, 14}, {25, 10}, {26, 6}, {30, 5}, {34, 6}}, true);
    v.polyline[2].flag = 4;
    g.path({{15, 2}, {25, 2}});
}

std::string dxf_of(CKTVector &v, const ResultInfo &info) { return write(OutputFormat::Dxf, v, info); }

}  // namespace

TEST(SvgWriter, PathsArcsSplinesAndTheBackground) {
    CKTVector v;
    small_result(v);
    ResultInfo info = about("outline-fast");
    info.source = "x<y>.png";
    std::string svg = write(OutputFormat::Svg, v, info);
    EXPECT_NE(svg.find("width=\"12\" height=\"8\" viewBox=\"0 0 12 8\""), std::string::npos);
    EXPECT_NE(svg.find("x&lt;y&gt;.png"), std::string::npos);
    // Closed: the closing link is Z.  The arc runs the short way from (8,2)
    // to (10,6) about (9,4.5).
    EXPECT_NE(svg.find("<path id=\"p1\" d=\"M1.5 1.5 L5.5 1.5 L5.5 4.5 L1.5 4.5 Z\"/>"), std::string::npos) << svg;
    EXPECT_EQ(svg.find("id=\"p2\""), std::string::npos);
    EXPECT_NE(svg.find("<path id=\"p3\" d=\"M8.5 2.5 A2.5 2.5 0 0 1 10.5 6.5\"/>"), std::string::npos) << svg;
    EXPECT_EQ(svg.find("<image"), std::string::npos);
    EXPECT_EQ(svg.substr(svg.size() - 7), "</svg>\n");
    v.polyline[2].flag = 2;  // spline samples replace the links
    EXPECT_NE(write(OutputFormat::Svg, v, info).find("<path id=\"p3\" d=\"M8.5 2.5 L10.25 3.625 L10.5 6.5\"/>"),
              std::string::npos);
    // The background is the bitmap as a base64 PNG, under the vectors.
    PackedBitmap bm = allocate_bitmap(12, 8);
    bm.row(3)[0] = 0xA0;
    info.background = &bm;
    svg = write(OutputFormat::Svg, v, info);
    const std::string head = "xlink:href=\"data:image/png;base64,";
    const std::size_t at = svg.find(head);
    ASSERT_NE(at, std::string::npos);
    EXPECT_LT(at, svg.find("<path"));
    std::string png;
    unsigned acc = 0;
    int bits = 0;
    for (std::size_t i = at + head.size(); svg[i] != '"' && svg[i] != '='; ++i) {
        acc = acc << 6 | static_cast<unsigned>(std::string("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/").find(svg[i]));
        if ((bits += 6) >= 8) png += static_cast<char>(acc >> (bits -= 8) & 0xFF);
    }
    const LoadedImage back = decode(png);
    EXPECT_EQ(back.bitmap.count(), 2u);
    EXPECT_TRUE(back.bitmap.get(0, 3) && back.bitmap.get(2, 3));
    // Hand-made arcs of either side, and exact half circles, where only the
    // side tells which way the arc bulges (side 1: upwards on screen).
    for (auto [side, cy, drawn] : {std::tuple{1, 30.0, "0 0 1"}, {2, 10.0, "0 0 0"}, {1, 20.0, "0 0 1"}, {2, 20.0, "0 0 0"}}) {
        CKTVector w;
        GraphBuilder g(w);
        w.width = w.height = 40;
        g.path({{10, 20}, {30, 20}});
        set_arc(g.find_link(0, 1, 1), static_cast<unsigned char>(side), 20, cy, std::hypot(10.0, cy - 20));
        w.msetarc(1);
        EXPECT_NE(write(OutputFormat::Svg, w, about("c")).find(std::string(" ") + drawn + " 30.5 20.5\""), std::string::npos)
            << side << " " << cy;
    }
}

// 40 x 20, connections as the table in it says.  2 runs on into 1 around
// the square (30,2)-(38,2)-(38,10)-(30,10), 1's first link an arc about
// (34,5).  A wall (0,5)-(10,5)-(20,5) is
// cut at the junction (10,5) into 3 (ending there) and 4
// (20,5)-(16,5)-(10,5), also ending there, its first link an arc about
// (18,6.5), connected end to end; 3's start names 9, a closed triangle at
// (0,5).  5 is the stem (10,5)-(10,15), its start naming 3's end as well (a
// stale entry: 3 is taken by 4), its end connected to 6, a spline's
// samples, whose end names a polyline that does not exist (as a result
// read back may).  7 and 8 make a loop of connections around the square
// (30,12)-(38,12)-(38,18)-(30,18).  10, 11 and 12 meet at (24,2) and (28,2)
// with connections each listed at one end only, as edits can leave them.
void wall_and_loop(CKTVector &v) {
    GraphBuilder g(v);
    v.width = 40;
    v.height = 20;
    for (auto [x, y] : {std::pair{30, 2}, {38, 2}, {38, 10}, {30, 10}, {0, 5}, {10, 5}, {20, 5}, {16, 5}, {10, 15},
                        {10, 19}, {30, 12}, {38, 12}, {38, 18}, {30, 18}, {2, 9}, {4, 9}, {24, 2}, {28, 2},
                        {26, 0}, {26, 4}, {24, 8}})
        g.node(x, y);
    for (const std::vector<int> &nodes : std::vector<std::vector<int>>{
             {0, 1, 2}, {2, 3, 0}, {4, 5}, {6, 7, 5}, {5, 8}, {8, 9}, {10, 11, 12}, {12, 13, 10}, {4, 14, 15, 4},
             {16, 20}, {17, 18, 16}, {16, 19, 17}})
        g.path_of(nodes);
    set_arc(g.find_link(0, 1, 1), 1, 34, 5, 5);
    v.msetarc(1);
    set_arc(g.find_link(6, 7, 4), 1, 18, 6.5, 2.5);
    v.msetarc(4);
    _KTPOLYLINE &spline = v.polyline[5];
    spline.flag |= KTVEC_POLYLINE_SPLINE;
    spline.splinenum = 3;
    spline.splinex = ktv::alloc_array<double>(3);
    spline.spliney = ktv::alloc_array<double>(3);
    for (int i = 0; i < 3; ++i) spline.splinex[i] = 10, spline.spliney[i] = 15 + 2 * i;
    const int connections[][3] = {{1, 0, -2}, {2, 1, 1},                                       // polyline, at end?, end named
                                  {3, 1, -4}, {4, 1, -3}, {5, 0, -3}, {5, 1, 6}, {6, 0, -5}, {6, 1, -99},
                                  {7, 1, 8},  {8, 0, -7}, {8, 1, 7},  {7, 0, -8}, {3, 0, 9},  {9, 0, 3},
                                  {10, 0, -11}, {11, 0, -12}, {12, 0, -11}};
    for (const auto &c : connections) c[1] ? Peer::maddnext(v, c[0], c[2]) : Peer::maddprev(v, c[0], c[2]);
}

TEST(Writers, ConnectedPolylinesAreDrawnAsOneStroke) {
    CKTVector v;
    wall_and_loop(v);
    ResultInfo one_each = about("centerline");
    one_each.join_strokes = false;
    const std::string apart = write(OutputFormat::Svg, v, one_each), joined = write(OutputFormat::Svg, v, about("centerline"));
    // 2 runs on into 1: drawn from 2's free start, 1's arc where it was.
    EXPECT_NE(joined.find("<path id=\"p2-1\" d=\"M38.5 10.5 L30.5 10.5 L30.5 2.5 A5 5 0 0 1 38.5 2.5 L38.5 10.5\"/>"),
              std::string::npos) << joined;
    // Alone, polyline 4 runs from (20,5) to (10,5); joined, it is drawn the
    // other way, after polyline 3, and its arc turns the other way.  The
    // closed triangle is not joined.
    EXPECT_NE(apart.find("<path id=\"p4\" d=\"M20.5 5.5 A2.5 2.5 0 0 0 16.5 5.5 L10.5 5.5\"/>"), std::string::npos) << apart;
    EXPECT_NE(joined.find("<path id=\"p3-4\" d=\"M0.5 5.5 L10.5 5.5 L16.5 5.5 A2.5 2.5 0 0 1 20.5 5.5\"/>"),
              std::string::npos) << joined;
    EXPECT_NE(joined.find("<path id=\"p9\" d=\"M0.5 5.5 L2.5 9.5 L4.5 9.5 Z\"/>"), std::string::npos) << joined;
    // The stem's start names an end already drawn, its end a spline: it
    // stays alone, and so does the spline.
    EXPECT_NE(joined.find("<path id=\"p5\" d=\"M10.5 5.5 L10.5 15.5\"/>"), std::string::npos) << joined;
    EXPECT_NE(joined.find("<path id=\"p6\" d=\"M10.5 15.5 L10.5 17.5 L10.5 19.5\"/>"), std::string::npos) << joined;
    // The loop is walked back to where it closes and drawn once, from there.
    EXPECT_NE(joined.find("<path id=\"p8-7\" d=\"M38.5 18.5 L30.5 18.5 L30.5 12.5 L38.5 12.5 L38.5 18.5\"/>"),
              std::string::npos) << joined;
    // Connections listed at one end only join nothing: each polyline once.
    for (const char *alone : {"<path id=\"p10\"", "<path id=\"p11\"", "<path id=\"p12\""})
        EXPECT_NE(joined.find(alone), std::string::npos) << alone;
    EXPECT_EQ(std::count(joined.begin(), joined.end(), '<') - std::count(apart.begin(), apart.end(), '<'), -3);
    // DXF: each joined path's straight runs and arcs; apart, each polyline's own.
    std::string kinds;
    for (const Entity &e : entities_of(groups_of(dxf_of(v, about("centerline"))))) kinds += e.type + " ";
    EXPECT_EQ(kinds, "LWPOLYLINE ARC LINE LWPOLYLINE ARC LINE LWPOLYLINE LWPOLYLINE LWPOLYLINE LINE LWPOLYLINE LWPOLYLINE ");
    EXPECT_EQ(entities_of(groups_of(dxf_of(v, one_each))).size(), 14u);
    // The JSON is the graph, whichever way the strokes are drawn.
    EXPECT_EQ(write(OutputFormat::Json, v, one_each), write(OutputFormat::Json, v, about("centerline")));
}

// Refined lines as a test states them: (source, points), no node entries;
// closed, as the refiner closes a line, when a third or later point is the
// first again.
class StatedLines final : public RefinedGeometry {
public:
    explicit StatedLines(std::vector<std::pair<int, std::vector<_KTREFINEDPOINT>>> lines) : given_(std::move(lines)) {
        for (auto &[source, pts] : given_) {
            nodes_.emplace_back(pts.size(), -1);  // moving a vector keeps its block
            const bool closed = pts.size() > 2 && pts.front().x == pts.back().x && pts.front().y == pts.back().y;
            lines_.push_back({source, closed ? 1 : 0, int(pts.size()), pts.data(), nodes_.back().data()});
        }
    }
    int line_count() const override { return int(lines_.size()); }
    const _KTREFINEDLINE &line(int k) const override { return lines_[std::size_t(k)]; }
    bool node_position(int, double &, double &) const override { return false; }

private:
    std::vector<std::pair<int, std::vector<_KTREFINEDPOINT>>> given_;
    std::vector<std::vector<int>> nodes_;
    std::vector<_KTREFINEDLINE> lines_;
};

TEST(Writers, AChainRunsOnThroughALineDrawnAtOnePoint) {
    // Junctions the refiner placed together: the links between them are
    // lines all at one point (of three points, such a line is closed), and
    // the wall through them is still one path.
    CKTVector v;
    GraphBuilder g(v);
    v.width = 32;
    v.height = 20;
    for (auto [x, y] : {std::pair{0, 5}, {9, 5}, {11, 5}, {19, 5}, {21, 5}, {30, 5}, {20, 5}}) g.node(x, y);
    for (int k = 0; k < 5; ++k) {
        g.path_of(k == 3 ? std::vector<int>{3, 6, 4} : std::vector<int>{k, k + 1});
        if (k) Peer::maddnext(v, k, k + 1), Peer::maddprev(v, k + 1, -k);
    }
    const StatedLines lines({{1, {{0, 5}, {10, 5.25}}},
                             {2, {{10, 5.25}}},
                             {3, {{10, 5.25}, {20, 5.25}}},
                             {4, {{20, 5.25}, {20, 5.25}, {20, 5.25}}},
                             {5, {{20, 5.25}, {30, 5}}}});
    VectorView view(v);
    view.set_refined(&lines);
    TextSink sink;
    write_result(OutputFormat::Svg, view, about("centerline"), sink);
    EXPECT_NE(sink.text().find("<path id=\"p1-2-3-4-5\" d=\"M0.5 5.5 L10.5 5.75 L20.5 5.75 L30.5 5.5\"/>"),
              std::string::npos) << sink.text();
}

TEST(DxfWriter, GeometryIsUprightAtPixelCentresInItsUnits) {
    CKTVector v;
    dxf_result(v);
    const std::vector<Group> g = groups_of(dxf_of(v, about("centerline")));
    EXPECT_EQ(header_value(g, "$ACADVER", 1), "AC1015");
    EXPECT_EQ(header_value(g, "$INSUNITS", 70), "0");  // no resolution: unitless pixels
    EXPECT_EQ(g.back().value, "EOF");
    const std::vector<Entity> e = entities_of(g);
    ASSERT_EQ(e.size(), 5u);
    // The square: closed, four vertices, y flipped about the image height.
    EXPECT_EQ(e[0].type + e[0].text(8) + e[0].text(70) + e[0].text(90), "LWPOLYLINECENTERLINES14");
    EXPECT_EQ(e[0].all(10), (std::vector<double>{1.5, 9.5, 9.5, 1.5}));
    EXPECT_EQ(e[0].all(20), (std::vector<double>{28.5, 28.5, 20.5, 20.5}));
    // The arc of (2,20) -> (12,20) about (7,15): in the flipped frame the
    // centre is (7.5, 14.5) and the arc runs counter-clockwise from 225 to
    // 315 degrees, under the centre as in the image.
    EXPECT_EQ(e[1].type + e[1].text(8), "ARCARCS");
    EXPECT_EQ(std::vector<double>({e[1].real(10), e[1].real(20)}), (std::vector<double>{7.5, 14.5}));
    EXPECT_NEAR(e[1].real(40), 5 * std::sqrt(2.0), 1e-12);
    EXPECT_NEAR(e[1].real(50), 225, 1e-9);
    EXPECT_NEAR(e[1].real(51), 315, 1e-9);
    EXPECT_EQ(e[2].type + e[2].text(8), "LINECENTERLINES");  // the straight rest of polyline 2
    EXPECT_EQ(std::vector<double>({e[2].real(10), e[2].real(20), e[2].real(11), e[2].real(21)}),
              (std::vector<double>{12.5, 9.5, 20.5, 4.5}));
    EXPECT_EQ(e[3].type + e[3].text(8), "CIRCLECIRCLES");
    EXPECT_EQ(std::vector<double>({e[3].real(10), e[3].real(20)}), (std::vector<double>{30.5, 19.5}));
    EXPECT_NEAR(e[3].real(40), 5, 0.5);
    EXPECT_EQ(e[4].type, "LINE");
    // Handles are unique and below the announced seed; each table announces
    // the number of its records.
    const long seed = std::stol(header_value(g, "$HANDSEED", 5), nullptr, 16);
    std::set<long> handles;
    std::string table;
    int announced = -1, records = 0;
    for (std::size_t i = 1; i < g.size(); ++i) {
        if ((g[i].code == 5 || g[i].code == 105) && g[i - 1].value != "$HANDSEED") {
            const long h = std::stol(g[i].value, nullptr, 16);
            EXPECT_TRUE(handles.insert(h).second && h < seed) << g[i].value;
        }
        if (g[i].code == 2 && g[i - 1].value == "TABLE") table = g[i].value, announced = -1, records = 0;
        if (!table.empty() && g[i].code == 70 && announced < 0) announced = std::stoi(g[i].value);
        if (!table.empty() && g[i].code == 0 && g[i].value == table) ++records;
        if (g[i].code == 0 && g[i].value == "ENDTAB") {
            EXPECT_EQ(announced, records) << table;
            table.clear();
        }
    }
    // Units: millimetres by default when the resolution is known, inches or
    // pixels when asked; mm and inch need a resolution, other names none.
    for (auto [units, insunits, unit] : {std::tuple{"", "4", 0.1}, {"inch", "1", 1 / 254.0}, {"px", "0", 1.0}}) {
        const std::vector<Group> u = groups_of(dxf_of(v, about("outline", 254, 254, units)));
        EXPECT_EQ(header_value(u, "$INSUNITS", 70), insunits);
        EXPECT_NEAR(std::stod(header_value(u, "$EXTMAX", 10)), 40 * unit, 1e-12);
        EXPECT_NEAR(std::stod(header_value(u, "$EXTMAX", 20)), 30 * unit, 1e-12);
        const std::vector<Entity> ue = entities_of(u);
        EXPECT_EQ(ue[0].text(8), "OUTLINES");
        EXPECT_NEAR(ue[0].real(10), 1.5 * unit, 1e-12);
        EXPECT_NEAR(ue[1].real(40), 5 * std::sqrt(2.0) * unit, 1e-12);
    }
    for (const char *units : {"mm", "inch", "furlong"}) {
        try {
            dxf_of(v, about("outline", 0, 0, units));
            ADD_FAILURE() << units << " accepted";
        } catch (const CliError &err) {
            EXPECT_TRUE(err.usage);
        }
    }
}

TEST(DxfWriter, UnequalResolutionsDrawCurvesAsPolylinesOnTheCurve) {
    // Fax resolution: a pixel twice as tall as wide; arcs and circles
    // become polylines whose every vertex lies on the curve.
    CKTVector v;
    dxf_result(v);
    const double sx = 25.4 / 204, sy = 25.4 / 98;
    const std::vector<Entity> e = entities_of(groups_of(dxf_of(v, about("centerline", 204, 98))));
    ASSERT_EQ(e.size(), 5u);
    EXPECT_EQ(e[1].type + e[1].text(8) + e[3].type + e[3].text(8) + e[3].text(70), "LWPOLYLINEARCSLWPOLYLINECIRCLES1");
    const std::vector<double> x = e[1].all(10), y = e[1].all(20);
    ASSERT_GT(x.size(), 4u);
    EXPECT_NEAR(x.front(), 2.5 * sx, 1e-12);  // the ends are the nodes
    EXPECT_NEAR(y.front(), (30 - 20.5) * sy, 1e-12);
    EXPECT_NEAR(x.back(), 12.5 * sx, 1e-12);
    for (std::size_t k = 0; k < x.size(); ++k) {
        const double px = x[k] / sx - 0.5, py = 30 - y[k] / sy - 0.5;
        EXPECT_NEAR(std::hypot(px - 7, py - 15), 5 * std::sqrt(2.0), 1e-9) << k;
        EXPECT_GE(py, 19.999) << k;  // the short way, under the centre
    }
    EXPECT_TRUE(std::is_sorted(x.begin(), x.end()));  // left to right, as the arc runs
    // Spline samples are the vertices, one each.
    v.polyline[0].flag = 2;
    _KTPOLYLINE &p = v.polyline[0];
    p.splinenum = 3;
    p.splinex = ktv::alloc_array<double>(3);
    p.spliney = ktv::alloc_array<double>(3);
    for (int k = 0; k < 3; ++k) p.splinex[k] = 2 + k, p.spliney[k] = 3 + 2 * k;
    const std::vector<Entity> s = entities_of(groups_of(dxf_of(v, about("centerline"))));
    EXPECT_EQ(s[0].text(8), "SPLINES");
    EXPECT_EQ(s[0].all(10), (std::vector<double>{2.5, 3.5, 4.5}));
    EXPECT_EQ(s[0].all(20), (std::vector<double>{26.5, 24.5, 22.5}));
}

// An exact half circle has its centre on the chord; only the arc's side
// tells which half it is, as the SVG and JSON say.  True when the DXF draws
// the half of (10,20) -> (30,20) about (20,20) upwards, as an ARC at equal
// resolutions and sampled at unequal ones.
namespace {
bool dxf_half_circle_up(int side, double dpi_y) {
    CKTVector v;
    GraphBuilder g(v);
    v.width = v.height = 40;
    g.path({{10, 20}, {30, 20}});
    set_arc(g.find_link(0, 1, 1), static_cast<unsigned char>(side), 20, 20, 10);
    v.msetarc(1);
    const Entity e = entities_of(groups_of(dxf_of(v, about("c", 300, dpi_y))))[0];
    if (e.type == "ARC") return std::fmod(e.real(50) + 90, 360) < 180;  // the middle of the sweep
    const std::vector<double> y = e.all(20);
    return y[y.size() / 2] > y[0];
}
}  // namespace

// Side 1 bulges upwards on screen, so up in the DXF frame too, whether the
// writer draws an ARC (equal resolutions) or samples the arc (unequal ones).
TEST(DxfWriter, ExactHalfCirclesFollowTheArcsSide) {
    for (const double dpi_y : {300.0, 150.0}) {
        EXPECT_TRUE(dxf_half_circle_up(1, dpi_y)) << dpi_y;
        EXPECT_FALSE(dxf_half_circle_up(2, dpi_y)) << dpi_y;
    }
}

TEST(Writers, JsonMatchesTheLibraryAndTextIsExact) {
    Bitmap b = sample_drawing();
    CKTVector v;
    v.msetdocument(b.data(), b.width, b.height);
    ASSERT_EQ(v.mabstractoutlinefast(4, 0, 1.5, 1), 0);
    const JsonDocument doc(write(OutputFormat::Json, v, about("outline-fast")));
    std::vector<int> dense(static_cast<std::size_t>(v.mgetnodenum()), -1);
    JsonValue n = doc.root().member("nodes").first();
    int live = 0;
    for (int i = 0; i < v.mgetnodenum(); ++i) {
        if (v.mgetnode(i)->deleted) continue;
        EXPECT_EQ(n.member("x").number() * 1000 + n.member("y").number(), v.mgetnode(i)->x * 1000 + v.mgetnode(i)->y);
        dense[i] = live++;
        n = n.next();
    }
    EXPECT_FALSE(n.valid());
    JsonValue q = doc.root().member("polylines").first();
    for (int id = 1; id <= v.mgetpolylinenum(); ++id) {
        const _KTPOLYLINE *p = v.mgetpolyline(id);
        if (p->deleted) continue;
        ASSERT_TRUE(q.valid());
        EXPECT_EQ(q.member("id").number(), id);
        std::vector<double> nodes, prev(p->prev, p->prev + p->prevnum), next(p->next, p->next + p->nextnum);
        for (int i = 0; i < p->nodenum; ++i) nodes.push_back(dense[p->nodeindex[i]]);
        EXPECT_EQ(numbers(q.member("nodes")), nodes);
        EXPECT_EQ(numbers(q.member("prev")), prev);
        EXPECT_EQ(numbers(q.member("next")), next);
        EXPECT_EQ(q.member("closed").boolean(), VectorView::closed(*p));
        q = q.next();
    }
    EXPECT_FALSE(q.valid());

    // Base64, escapes, and numbers as the shortest text that reads back.
    for (auto [plain, coded] : {std::pair{"", ""}, {"f", "Zg=="}, {"fo", "Zm8="}, {"foo", "Zm9v"}, {"foob", "Zm9vYg=="},
                                {"fooba", "Zm9vYmE="}, {"foobar", "Zm9vYmFy"}, {"\xff\xfe", "//4="}}) {
        TextSink s;
        put_base64(reinterpret_cast<const unsigned char *>(plain), std::strlen(plain), s);
        EXPECT_EQ(s.text(), coded);
    }
    TextSink s;
    s.number(0.5).put(' ').number(-0.0).put(' ').number(12345678.5).put(' ').number(0.1).put(' ').integer(-42);
    s.put(' ').number(-200000.5).put(' ').number(99999.5).put(' ').number(100000.0).put(' ').number(std::nan(""));
    s.put(' ').number(1e-7).put(' ').number(-2.5e300);
    EXPECT_EQ(s.text(), "0.5 0 12345678.5 0.1 -42 -200000.5 99999.5 1e+05 0 1e-07 -2.5e+300");
    TextSink j;
    j.json_string("a\"b\\c\n\x01\x1f/").put(' ').xml_text("<a & \"b\">");
    EXPECT_EQ(j.text(), "\"a\\\"b\\\\c\\u000a\\u0001\\u001f/\" &lt;a &amp; &quot;b&quot;&gt;");
    OutputFormat f{};
    EXPECT_TRUE(format_from_extension("out/a.SVG", f) && f == OutputFormat::Svg);
    EXPECT_TRUE(format_from_extension("a.b.json", f) && f == OutputFormat::Json);
    EXPECT_TRUE(format_from_name("dxf", f) && f == OutputFormat::Dxf);
    EXPECT_FALSE(format_from_extension("dir.svg/file", f) || format_from_extension("noext", f) || format_from_name("xml", f));
}

TEST(DxfWriter, IndependentReaderLoadsLibraryResults) {
    // Debian's python3-ezdxf lives beside the system interpreter, which a
    // python3 earlier on the PATH may not see.
    std::string python;
    for (const char *p : {"/usr/bin/python3", "python3"})
        if (python.empty() && std::system((std::string(p) + " -c 'import ezdxf' 2>/dev/null").c_str()) == 0) python = p;
    if (python.empty()) GTEST_SKIP() << "python3-ezdxf is not installed; the DXF files are not read back";
    // A bow (half a thick ring), a disc and a bar, as outlines with arcs and
    // a circle, and as centre lines drawn by their splines; every vertex and
    // arc end must be a node.
    Bitmap b(200, 150);
    for (int y = 0; y < b.height; ++y)
        for (int x = 0; x < b.width; ++x) {
            const double bow = std::hypot(x - 110.0, y - 110.0), disc = std::hypot(x - 35.0, y - 35.0);
            b.set(x, y, (bow >= 70 && bow <= 80 && y < 110) || disc <= 22 || (y >= 125 && y < 131 && x >= 20 && x < 180));
        }
    TempDir dir;
    std::string command = python + " " + std::string(__FILE__).substr(0, std::string(__FILE__).rfind('/')) + "/dxf_check.py";
    std::vector<int> polylines;
    for (bool outline : {true, false}) {
        CKTVector v;
        v.msetdocument(b.data(), b.width, b.height);
        ASSERT_EQ(outline ? v.mabstractoutline(4, 1, 1.5, 1) : v.mabstractcenterline(31, 4, 3, 8, 0.9, 4, 1.5), 0);
        if (outline) v.mfitcircleall(30), v.marcall(1, 1000);  // the circle: the disc only
        for (int id = 1; !outline && id <= v.mgetpolylinenum(); ++id) v.msetspline(id), v.mspline(id, 4);
        const std::string name = dir / (outline ? "outline" : "centerline");
        write_bytes(name + ".dxf", dxf_of(v, about(outline ? "outline" : "centerline", 300, 300)));
        std::string nodes;
        char line[64];
        for (int i = 0; i < v.mgetnodenum(); ++i) {
            std::snprintf(line, sizeof line, "%.9g %.9g\n", (v.mgetnode(i)->x + 0.5) * 25.4 / 300, (149.5 - v.mgetnode(i)->y) * 25.4 / 300);
            nodes += line;
        }
        write_bytes(name + ".txt", nodes);
        command += " " + name + ".dxf " + name + ".txt";
        polylines.push_back(VectorView(v).live_polylines());
    }
    std::string report;
    if (std::FILE *pipe = ::popen((command + " 2>&1").c_str(), "r")) {
        char buf[4096];
        for (std::size_t k; (k = std::fread(buf, 1, sizeof buf, pipe)) > 0;) report.append(buf, k);
        ::pclose(pipe);
    }
    EXPECT_EQ(occurrences(report, "AUDIT 0\n") + occurrences(report, "INSUNITS 4\n"), 4u) << report.substr(0, 500);
    EXPECT_EQ(occurrences(report, "LAYERS 0 ARCS CENTERLINES CIRCLES"), 2u) << report.substr(0, 500);
    EXPECT_EQ(occurrences(report, "OFFNODE"), 0u) << report.substr(0, 500);
    EXPECT_NE(report.find("COUNT ARC ARCS "), std::string::npos);
    EXPECT_NE(report.find("COUNT CIRCLE CIRCLES 1\n"), std::string::npos);
    EXPECT_NE(report.find("COUNT LWPOLYLINE SPLINES " + std::to_string(polylines[1]) + "\n"), std::string::npos) << report;
}
