// Post-processing options: each reaches its library call with its
// arguments (the program's graph equals the library's after the same calls
// spelled out), simplification repeats until nothing is left to drop, arcs
// are drawn on the side of the ink with the right sweep, fitted circles
// become <circle>, and malformed values are refused.
#include <gtest/gtest.h>

#include <cmath>
#include <functional>

#include "image.h"
#include "json.h"
#include "json_reader.h"
#include "postprocess.h"
#include "result_loader.h"
#include "text_sink.h"
#include "tool_support.h"
#include "vector_view.h"
#include "writers.h"

using namespace ktvcli;

namespace {

std::string graph_of(const std::string &json) { return json.substr(json.find("\"counts\"")); }

RunResult centerline_json(const std::string &input, const std::vector<std::string> &options) {
    std::vector<std::string> args = {"centerline", input, "--format", "json", "-o", "-", "-q", "--no-refine",
                                     "--tolerance", "1.5"};
    args.insert(args.end(), options.begin(), options.end());
    return run_ktvec(args);
}

// The library run with default centre-line arguments, then `post`.
std::string library_graph(const std::string &input, const std::function<void(CKTVector &)> &post) {
    LoadedImage image = read_image(input, {});
    CKTVector v;
    v.msetdocument(image.bitmap.bits.data(), image.bitmap.width, image.bitmap.height);
    EXPECT_EQ(v.mabstractcenterline(31, 4, 3, 8, 0.9, 4, 1.5), 0);
    post(v);
    VectorView view(v);
    TextSink sink;
    write_json(view, ResultInfo{}, sink);
    return graph_of(sink.text());
}

void splines(CKTVector &v, int division) {
    v.msetmodify(static_cast<unsigned char>(0));
    for (int id = 1; id <= v.mgetpolylinenum(); ++id)
        if (!v.mgetpolyline(id)->deleted) {
            v.msetspline(id);
            v.mspline(id, division);
        }
}

}  // namespace

TEST(PostProcessing, EachOptionReachesItsCall) {
    TempDir dir;
    write_bytes(dir / "c.pbm", pbm_raw(fitting_drawing()));
    write_bytes(dir / "c.pbm", pbm_raw(fitting_drawing()));
    const struct {
        std::vector<std::string> options;
        std::function<void(CKTVector &)> post;
    } cases[] = {
        {{"--arcs", "2,400"}, [](CKTVector &v) { v.marcall(2, 400); }},
        {{"--circles", "30"}, [](CKTVector &v) { v.mfitcircleall(30); }},
        {{"--splines", "3"}, [](CKTVector &v) { splines(v, 3); }},
        {{"--simplify", "4,25"},
         [](CKTVector &v) {
             for (int k = 0; k < kSimplifyRounds; ++k) {
                 const int before = live_nodes(v);
                 v.mnearpointall(4, 25 * M_PI / 180);
                 if (live_nodes(v) >= before) break;
             }
         }},
        // In the documented order, whatever the order on the command line.
        {{"--splines", "2", "--arcs", "1,1000", "--circles", "30"},
         [](CKTVector &v) {
             v.mfitcircleall(30);
             v.marcall(1, 1000);
             splines(v, 2);
         }},
    };
    std::string plain;
    for (const auto &c : cases) {
        SCOPED_TRACE(c.options[0]);
        const RunResult r = centerline_json(dir / "c.pbm", c.options);
        ASSERT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(graph_of(r.out), library_graph(dir / "c.pbm", c.post));
        if (plain.empty()) plain = graph_of(centerline_json(dir / "c.pbm", {}).out);
        EXPECT_NE(graph_of(r.out), plain) << "the option changed nothing";
    }
}

// After --simplify one more pass of the library drops nothing.
TEST(PostProcessing, SimplifyRepeatsUntilNothingIsLeft) {
    TempDir dir;
    const RunResult r = run_ktvec({"outline", KTVEC_SAMPLE_PNG, "-q", "--simplify", "6,40", "-o", dir / "s.json"});
    ASSERT_EQ(r.status, 0) << r.err;
    CKTVector v;
    LoadedResult loaded;
    load_result(JsonDocument(read_bytes(dir / "s.json")), v, loaded);
    const int before = live_nodes(v);
    v.mnearpointall(6, 40 * M_PI / 180);
    EXPECT_EQ(live_nodes(v), before);
    const Json j = Json::parse(read_bytes(dir / "s.json"));
    EXPECT_DOUBLE_EQ(j["parameters"]["simplify-dist"].number, 6);
    EXPECT_DOUBLE_EQ(j["parameters"]["simplify-angle"].number, 40);
}

// The arcs fitted on the centre lines of the two rings curve like the
// rings: the fitted centre lies on the same side of the chord as the
// ring's centre.
TEST(PostProcessing, ArcsCurveLikeTheStrokes) {
    TempDir dir;
    write_bytes(dir / "c.pbm", pbm_raw(fitting_drawing()));
    const RunResult r = run_ktvec({"centerline", dir / "c.pbm", "-q", "--arcs", "2,1000", "-o", dir / "a.json"});
    ASSERT_EQ(r.status, 0) << r.err;
    const Json j = Json::parse(read_bytes(dir / "a.json"));
    const struct {
        double cx, cy, r;
    } rings[] = {{40, 45, 24}, {120, 60, 32}};
    int checked = 0;
    for (const Json &p : j["polylines"].array) {
        if (!p.has("arcs")) continue;
        for (const Json &a : p["arcs"].array) {
            const std::size_t i = static_cast<std::size_t>(a["link"].as_int());
            const Json &n0 = j["nodes"][static_cast<std::size_t>(p["nodes"][i].as_int())];
            const Json &n1 = j["nodes"][static_cast<std::size_t>(p["nodes"][i + 1].as_int())];
            const double x0 = n0["x"].number, y0 = n0["y"].number, x1 = n1["x"].number, y1 = n1["y"].number;
            for (const auto &ring : rings) {
                if (std::abs(std::hypot(x0 - ring.cx, y0 - ring.cy) - ring.r) > 3 ||
                    std::abs(std::hypot(x1 - ring.cx, y1 - ring.cy) - ring.r) > 3)
                    continue;
                auto side = [&](double x, double y) { return (x1 - x0) * (y - y0) - (y1 - y0) * (x - x0); };
                EXPECT_GT(side(a["cx"].number, a["cy"].number) * side(ring.cx, ring.cy), 0)
                    << "link " << x0 << "," << y0 << " - " << x1 << "," << y1;
                ++checked;
            }
        }
    }
    EXPECT_GT(checked, 4);
}

// The SVG sweep flag on hand-made arcs: a minor arc of either side and an
// exact half circle, where only the side value tells.
TEST(PostProcessing, ArcSweepFollowsTheSide) {
    const std::string head =
        "{\"generator\":\"ktvec\",\"schema\":1,\"command\":\"centerline\",\"source\":\"x\",\"parameters\":{},"
        "\"image\":{\"width\":40,\"height\":40},\"counts\":{\"nodes\":2,\"polylines\":1},"
        "\"nodes\":[{\"x\":10,\"y\":20},{\"x\":30,\"y\":20}],\"polylines\":[{\"id\":1,\"closed\":false,"
        "\"nodes\":[0,1],\"prev\":[],\"next\":[],\"curve\":[\"arc\"],\"arcs\":[";
    const struct {
        const char *arc, *drawn;
    } cases[] = {
        // Centre below the chord (y down): the arc runs above it, from -135
        // to -45 degrees about the centre, through increasing angles.
        {"{\"link\":0,\"cx\":20,\"cy\":30,\"r\":14.142135623730951,\"side\":1}", " A14.142135623730951 14.142135623730951 0 0 1 30.5 20.5"},
        {"{\"link\":0,\"cx\":20,\"cy\":10,\"r\":14.142135623730951,\"side\":2}", " A14.142135623730951 14.142135623730951 0 0 0 30.5 20.5"},
        // Centre on the chord: side 1 (area not positive) bulges upwards.
        {"{\"link\":0,\"cx\":20,\"cy\":20,\"r\":10,\"side\":1}", " A10 10 0 0 1 30.5 20.5"},
        {"{\"link\":0,\"cx\":20,\"cy\":20,\"r\":10,\"side\":2}", " A10 10 0 0 0 30.5 20.5"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.arc);
        CKTVector v;
        LoadedResult loaded;
        load_result(JsonDocument(head + c.arc + "]}]}"), v, loaded);
        VectorView view(v);
        TextSink sink;
        write_svg(view, loaded.info, sink);
        EXPECT_NE(sink.text().find(std::string("d=\"M10.5 20.5") + c.drawn + "\""), std::string::npos) << sink.text();
    }
}

TEST(PostProcessing, CirclesAndSplinesAreDrawn) {
    TempDir dir;
    write_bytes(dir / "c.pbm", pbm_raw(fitting_drawing()));
    const RunResult r = run_ktvec({"centerline", dir / "c.pbm", "-q", "--circles", "40", "--splines", "4", "-o",
                                   dir / "c.json", "-o", dir / "c.svg"});
    ASSERT_EQ(r.status, 0) << r.err;
    const Json j = Json::parse(read_bytes(dir / "c.json"));
    int circles = 0;
    for (const Json &p : j["polylines"].array) {
        if (p.has("circle")) {
            ++circles;
            EXPECT_NEAR(p["circle"]["cx"].number, 40, 1.5);  // the ring about (40, 45), radius 24
            EXPECT_NEAR(p["circle"]["cy"].number, 45, 1.5);
            EXPECT_NEAR(p["circle"]["r"].number, 24, 1.5);
        }
        // (knots - 1) * division samples, the first on the first node.
        ASSERT_TRUE(p.has("spline"));
        EXPECT_EQ(p["spline"].size() % 4, 0u);
        const Json &first = j["nodes"][static_cast<std::size_t>(p["nodes"][0].as_int())];
        EXPECT_DOUBLE_EQ(p["spline"][0][0].number, first["x"].number);
    }
    EXPECT_EQ(circles, 1);
    const std::string svg = read_bytes(dir / "c.svg");
    std::size_t drawn = 0, circle_elements = 0;
    for (std::size_t at = svg.find("<path"); at != std::string::npos; at = svg.find("<path", at + 1)) ++drawn;
    for (std::size_t at = svg.find("<circle"); at != std::string::npos; at = svg.find("<circle", at + 1)) ++circle_elements;
    EXPECT_EQ(circle_elements, 1u);
    EXPECT_EQ(drawn + circle_elements, j["polylines"].size());
}

TEST(PostProcessing, MalformedValuesAreRefused) {
    TempDir dir;
    write_bytes(dir / "c.pbm", pbm_raw(fitting_drawing()));
    const struct {
        std::vector<std::string> options;
        const char *problem;
    } cases[] = {
        {{"--arcs", "5"}, "--arcs: '5' is not two numbers separated by a comma"},
        {{"--arcs", "5,3"}, "--arcs: MIN is above MAX"},
        {{"--arcs", "1,2,3"}, "is not two numbers"},
        {{"--simplify", "2,x"}, "--simplify: 'x' is not a number"},
        {{"--simplify", "2,200"}, "--simplify: '200' is out of range"},
        {{"--same-curvature", "0.1"}, "--same-curvature needs --arcs"},
        {{"--splines", "0"}, "--splines: '0' is out of range"},
        {{"--circles", "-1"}, "--circles: '-1' is out of range"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.options[0] + " " + c.options[1]);
        std::vector<std::string> args = {"outline", dir / "c.pbm", "-o", dir / "x.json"};
        args.insert(args.end(), c.options.begin(), c.options.end());
        const RunResult r = run_ktvec(args);
        EXPECT_EQ(r.status, 2);
        EXPECT_NE(r.err.find(c.problem), std::string::npos) << r.err;
    }
    EXPECT_EQ(dir.names(), std::vector<std::string>{"c.pbm"});
}
