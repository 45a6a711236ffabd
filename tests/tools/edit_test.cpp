// `ktvec edit`: each op through the program on a small drawing changes the
// result the way its library call does, an undo right after it gives back
// the input file byte for byte, and bad scripts are refused with one line
// naming the script and the problem, leaving no output behind.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>

#include "json.h"
#include "tool_support.h"

namespace {

struct Graph {
    Json j;
    int nodes() const { return j["counts"]["nodes"].as_int(); }
    int polylines() const { return j["counts"]["polylines"].as_int(); }
    const Json &node(int k) const { return j["nodes"][static_cast<std::size_t>(k)]; }
    const Json *polyline(int id) const {
        for (const Json &p : j["polylines"].array)
            if (p["id"].as_int() == id) return &p;
        return nullptr;
    }
    std::string at(int k) const {
        return "[" + std::to_string(node(k)["x"].as_int()) + "," + std::to_string(node(k)["y"].as_int()) + "]";
    }
};

// The drawing edited: the stroke drawing's centre lines with arcs fitted.
class Edit : public ::testing::Test {
protected:
    void SetUp() override {
        write_bytes(dir_ / "d.pbm", pbm_raw(stroke_drawing()));
        const RunResult r = run_ktvec({"centerline", dir_ / "d.pbm", "--arcs", "1,1000", "-q", "--no-refine", "-o", dir_ / "base.json"});
        ASSERT_EQ(r.status, 0) << r.err;
        base_text_ = read_bytes(dir_ / "base.json");
        base_.j = Json::parse(base_text_);
        // An open polyline of at least three nodes (the broken line, its
        // gap bridged) and a connection through a junction (the plus).
        for (const Json &p : base_.j["polylines"].array) {
            if (!p["closed"].boolean && p["nodes"].size() >= 3 && !long_id_) long_id_ = p["id"].as_int();
            if (p["next"].size() == 1 && !connected_id_) connected_id_ = p["id"].as_int();
        }
        ASSERT_TRUE(long_id_ && connected_id_);
        const Json &nodes = (*base_.polyline(long_id_))["nodes"];
        mid_ = nodes[1].as_int();
        const Json &c = *base_.polyline(connected_id_);
        joint_ = c["nodes"][c["nodes"].size() - 1].as_int();
        other_id_ = std::abs(c["next"][0].as_int());
    }

    // Runs a script on base.json; the JSON written, or the failure.
    RunResult edit(const std::string &ops, const std::string &out = "out.json") {
        write_bytes(dir_ / "ops.json", "{\"ops\":[" + ops + "]}");
        return run_ktvec({"edit", dir_ / "base.json", "--ops", dir_ / "ops.json", "-q", "-o", dir_ / out});
    }
    Graph edited(const std::string &ops) {
        const RunResult r = edit(ops);
        EXPECT_EQ(r.status, 0) << ops << ": " << r.err;
        return {Json::parse(read_bytes(dir_ / "out.json"))};
    }

    TempDir dir_;
    std::string base_text_;
    Graph base_;
    int long_id_ = 0, connected_id_ = 0, other_id_ = 0, mid_ = -1, joint_ = -1;
};

}  // namespace

TEST_F(Edit, EachOpDoesItsCallAndUndoGivesTheFileBack) {
    const Json &mid = base_.node(mid_);
    const int mx = mid["x"].as_int(), my = mid["y"].as_int();
    const std::string m = std::to_string(mid_), l = std::to_string(long_id_);
    // A point on the first link of the long polyline, a third of the way.
    const Json &n0 = base_.node((*base_.polyline(long_id_))["nodes"][0].as_int());
    const double ix = n0["x"].number + (mx - n0["x"].number) / 3, iy = n0["y"].number + (my - n0["y"].number) / 3;
    char insert[160];
    std::snprintf(insert, sizeof insert, "{\"op\":\"insert\",\"at\":[%.17g,%.17g],\"margin\":0.05,\"maxdistance\":2}", ix, iy);
    const std::string disconnect = "{\"op\":\"disconnect\",\"polyline\":" + std::to_string(connected_id_) +
                                   ",\"joint\":" + std::to_string(joint_) + ",\"with\":" + std::to_string(other_id_) + "}";

    const struct {
        std::string ops;
        std::function<void(const Graph &)> expect;
    } cases[] = {
        {"{\"op\":\"move\",\"node\":" + m + ",\"to\":[" + std::to_string(mx) + "," + std::to_string(my + 2) + "]}",
         [&](const Graph &g) { EXPECT_EQ(g.node(mid_)["y"].as_int(), my + 2); }},
        {"{\"op\":\"move\",\"node\":" + base_.at(mid_) + ",\"to\":[" + std::to_string(mx + 1) + "," + std::to_string(my) + "]}",
         [&](const Graph &g) { EXPECT_EQ(g.node(mid_)["x"].as_int(), mx + 1); }},
        {"{\"op\":\"move-attach\",\"node\":" + m + ",\"to\":" + base_.at(joint_) + "}",
         [&](const Graph &g) { EXPECT_EQ(g.nodes(), base_.nodes() - 1); }},
        {"{\"op\":\"delete-node\",\"node\":" + m + "}",
         [&](const Graph &g) {
             EXPECT_EQ(g.nodes(), base_.nodes() - 1);
             EXPECT_EQ((*g.polyline(long_id_))["nodes"].size(), (*base_.polyline(long_id_))["nodes"].size() - 1);
         }},
        {"{\"op\":\"delete-polyline\",\"node\":" + m + "}",
         [&](const Graph &g) {
             EXPECT_EQ(g.polyline(long_id_), nullptr);
             EXPECT_EQ(g.polylines(), base_.polylines() - 1);
         }},
        {"{\"op\":\"split\",\"polyline\":" + std::to_string(long_id_) + ",\"node\":" + m + "}",
         [&](const Graph &g) { EXPECT_EQ(g.polylines(), base_.polylines() + 1); }},
        {disconnect, [&](const Graph &g) { EXPECT_EQ((*g.polyline(connected_id_))["next"].size(), 0u); }},
        {"{\"op\":\"notch\",\"node\":" + m + ",\"radius\":3,\"depth\":2}",
         [&](const Graph &g) { EXPECT_EQ(g.nodes(), base_.nodes() + 2); }},
        {insert, [&](const Graph &g) { EXPECT_EQ(g.nodes(), base_.nodes() + 1); }},
        {"{\"op\":\"merge\",\"node\":" + m + ",\"into\":" + std::to_string(joint_) + "}",
         [&](const Graph &g) { EXPECT_EQ(g.nodes(), base_.nodes() - 1); }},
        {"{\"op\":\"spline\",\"polyline\":" + l + ",\"division\":4}",
         [&](const Graph &g) { EXPECT_TRUE((*g.polyline(long_id_)).has("spline")); }},
        {"{\"op\":\"simplify\",\"polyline\":" + l + ",\"dist\":1000,\"angle\":180}",
         [&](const Graph &g) { EXPECT_LT(g.nodes(), base_.nodes()); }},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.ops);
        const Graph g = edited(c.ops);
        c.expect(g);
        EXPECT_NE(read_bytes(dir_ / "out.json"), base_text_);
        // The same op taken back.
        edited(c.ops + ",{\"op\":\"undo\"}");
        EXPECT_EQ(read_bytes(dir_ / "out.json"), base_text_);
    }

    // Selecting marks nodes only; connecting by a stroke across the joint
    // puts back what disconnecting took away.
    edited("{\"op\":\"select\",\"rect\":[0,0,200,200]}");
    EXPECT_EQ(read_bytes(dir_ / "out.json"), base_text_);
    const Json &a = base_.node(joint_);
    const int jx = a["x"].as_int(), jy = a["y"].as_int();
    auto toward = [&](int id) {  // 6 px from the joint along polyline id
        const Json &p = *base_.polyline(id);
        const Json &ns = p["nodes"];
        const int k = ns[0].as_int() == joint_ ? ns[1].as_int() : ns[ns.size() - 2].as_int();
        const double dx = base_.node(k)["x"].number - jx, dy = base_.node(k)["y"].number - jy;
        const double d = std::hypot(dx, dy);
        return std::to_string(static_cast<int>(std::lround(jx + 6 * dx / d))) + "," +
               std::to_string(static_cast<int>(std::lround(jy + 6 * dy / d)));
    };
    edited(disconnect + ",{\"op\":\"connect\",\"stroke\":[" + toward(connected_id_) + "," + toward(other_id_) + "]}");
    EXPECT_EQ(read_bytes(dir_ / "out.json"), base_text_);

    // Refitting after a move fits the moved links again: the middle node
    // of a polyline with fitted arcs (the X, split by thinning).
    int curved = -1, curved_id = 0;
    for (const Json &p : base_.j["polylines"].array)
        if (p.has("arcs") && p["nodes"].size() >= 3 && curved < 0) {
            curved = p["nodes"][1].as_int();
            curved_id = p["id"].as_int();
        }
    ASSERT_GE(curved, 0);
    const std::string move = "{\"op\":\"move\",\"node\":" + std::to_string(curved) + ",\"to\":[" +
                             std::to_string(base_.node(curved)["x"].as_int()) + "," +
                             std::to_string(base_.node(curved)["y"].as_int() + 2) + "]}";
    edited(move);
    const std::string moved = read_bytes(dir_ / "out.json");
    edited(move + ",{\"op\":\"refit\"}");
    const std::string refitted = read_bytes(dir_ / "out.json");
    EXPECT_NE(refitted, moved);
    // Fitting arcs to that one polyline with the same radius range is the
    // same refit.
    edited(move + ",{\"op\":\"arc\",\"polyline\":" + std::to_string(curved_id) + ",\"min\":1,\"max\":1000}");
    EXPECT_EQ(read_bytes(dir_ / "out.json"), refitted);
}

TEST_F(Edit, BadScriptsAreRefusedAndNothingIsWritten) {
    const struct {
        std::string ops, problem;
    } cases[] = {
        {"{\"op\":\"fly\"}", "line 1: op 1: unknown op \"fly\""},
        {"{\"op\":\"move\",\"node\":1}", "op 1 (move) needs \"to\""},
        {"{\"op\":\"move\",\"node\":1,\"to\":[1,2],\"speed\":3}", "op 1 (move): unknown member \"speed\""},
        {"{\"op\":\"move\",\"node\":1.5,\"to\":[1,2]}", "op 1 (move) node must be a whole number"},
        {"{\"op\":\"move\",\"node\":[1],\"to\":[1,2]}", "op 1 (move) node must be an array of 2 numbers"},
        {"{\"op\":\"notch\",\"node\":1,\"radius\":0,\"depth\":1}", "radius must be above 0"},
        {"{\"op\":\"select\",\"rect\":\"all\"}", "rect must be an array of 4 numbers"},
        {"{\"op\":\"undo\"}", "op 1 (undo): nothing to undo"},
        {"{\"op\":\"refit\"},{\"op\":\"undo\"},{\"op\":\"undo\"}", "op 3 (undo): nothing to undo"},
        {"{\"op\":\"refit\"},", "expected a value"},
        // Refused while applying: the script is fine, the graph is not.
        {"{\"op\":\"delete-node\",\"node\":9999}", "op 1 (delete-node), line 1: node 9999 does not exist"},
        {"{\"op\":\"delete-node\",\"node\":[0,89]}", "op 1 (delete-node), line 1: no node within 5 px of (0, 89)"},
        {"{\"op\":\"split\",\"polyline\":999,\"node\":0}", "polyline 999 does not exist"},
        {"{\"op\":\"insert\",\"at\":[1,88],\"margin\":0.1,\"maxdistance\":1}", "no link passes near the point"},
        {"{\"op\":\"arc\",\"polyline\":1,\"min\":5,\"max\":2}", "needs 0 <= min <= max"},
        {"{\"op\":\"merge\",\"node\":0,\"into\":0}", "cannot be merged into itself"},
        {"{\"op\":\"circle\",\"node\":0,\"maxradius\":100}", "not inside one polyline"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.ops);
        const RunResult r = edit(c.ops, "never.json");
        EXPECT_EQ(r.status, 1);
        EXPECT_EQ(r.err.rfind("ktvec: " + (dir_ / "ops.json") + ": ", 0), 0u) << r.err;
        EXPECT_NE(r.err.find(c.problem), std::string::npos) << r.err;
        EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
        EXPECT_EQ(read_bytes(dir_ / "never.json"), "");
    }
    write_bytes(dir_ / "ops.json", "{\"ops\":[],\"extra\":1}");
    const RunResult r = run_ktvec({"edit", dir_ / "base.json", "--ops", dir_ / "ops.json", "-o", dir_ / "never.json"});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("unknown member \"extra\""), std::string::npos) << r.err;
    // No image to draw under the vectors.
    EXPECT_EQ(run_ktvec({"edit", dir_ / "base.json", "--background", "-o", dir_ / "x.svg"}).status, 2);
}

// A JSON result holds no pixels: with the scan (--image) a refined result is
// measured again after the edits, as the program measures a fresh one but
// for the nodes the edits placed, which stay where they were put; a result
// on pixel centres stays so, and a scan of another size is refused.
TEST_F(Edit, WithTheScanARefinedResultIsMeasuredAgain) {
    const RunResult fresh = run_ktvec({"centerline", dir_ / "d.pbm", "-q", "-o", dir_ / "refined.json"});
    ASSERT_EQ(fresh.status, 0) << fresh.err;
    auto edit_refined = [&](const std::vector<std::string> &more) {
        std::vector<std::string> args = {"edit", dir_ / "refined.json", "--ops", dir_ / "ops.json", "-q", "-o",
                                         dir_ / "out.json"};
        args.insert(args.end(), more.begin(), more.end());
        const RunResult r = run_ktvec(args);
        EXPECT_EQ(r.status, 0) << r.err;
        return Json::parse(read_bytes(dir_ / "out.json"));
    };
    write_bytes(dir_ / "ops.json", "{\"ops\":[]}");
    edit_refined({"--image", dir_ / "d.pbm"});
    EXPECT_EQ(read_bytes(dir_ / "out.json"), read_bytes(dir_ / "refined.json"));

    // A node moved one pixel along the ink: measured, it would go back to
    // the middle of its stroke.
    const Json &node = base_.node(mid_);
    const int x = node["x"].as_int() + 1, y = node["y"].as_int() + 1;
    write_bytes(dir_ / "ops.json", "{\"ops\":[{\"op\":\"move\",\"node\":" + std::to_string(mid_) + ",\"to\":[" +
                                       std::to_string(x) + "," + std::to_string(y) + "]}]}");
    const Json measured = edit_refined({"--image", dir_ / "d.pbm"});
    EXPECT_TRUE(measured.has("refined"));
    const Json &moved = measured["nodes"][static_cast<std::size_t>(mid_)];
    EXPECT_EQ(moved["rx"].number, x);
    EXPECT_EQ(moved["ry"].number, y);
    EXPECT_FALSE(edit_refined({}).has("refined"));

    // base.json was written with --no-refine.
    EXPECT_EQ(run_ktvec({"edit", dir_ / "base.json", "--image", dir_ / "d.pbm", "-q", "-o", dir_ / "raw.json"}).status, 0);
    EXPECT_EQ(read_bytes(dir_ / "raw.json"), base_text_);

    write_bytes(dir_ / "small.pbm", "P1\n2 2\n1 0 0 1\n");
    const RunResult r = run_ktvec({"edit", dir_ / "refined.json", "--image", dir_ / "small.pbm", "-o", dir_ / "never.json"});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("the scan is 2 x 2 pixels"), std::string::npos) << r.err;
    EXPECT_EQ(read_bytes(dir_ / "never.json"), "");
}
