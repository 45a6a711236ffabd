// Reading a result back: every driver's JSON, with and without fitted
// curves, read and written again is the same file byte for byte, the graph
// read back keeps the library's structural rules, and files that do not
// follow the schema or the JSON grammar are refused with their line.
#include <gtest/gtest.h>

#include "error.h"
#include "invariants.h"
#include "json_reader.h"
#include "result_loader.h"
#include "text_sink.h"
#include "support.h"
#include "vector_view.h"
#include "writers.h"

using namespace ktvcli;

namespace {
const char *const kDrivers[] = {"centerline", "outline", "outline-fast"};
}  // namespace

TEST(RoundTrip, EveryDriverWithAndWithoutCurvesReadsBackToTheSameFiles) {
    // The command writes JSON and SVG; edit without a script writes both
    // again from the JSON alone (the driver's graph: edit has no image to
    // measure refined geometry on).
    TempDir dir;
    write_bytes(dir / "strokes.pbm", pbm_raw(stroke_drawing()));
    write_bytes(dir / "curves.pbm", pbm_raw(fitting_drawing()));
    const std::vector<std::vector<std::string>> post = {
        {},
        {"--splines", "4"},
        {"--simplify", "3,30", "--circles", "200", "--arcs", "1,1000", "--same-curvature", "0.2", "--splines", "3"},
    };
    for (const char *input : {"strokes.pbm", "curves.pbm"})
        for (const char *command : {"centerline", "outline", "outline-fast"})
            for (const auto &options : post) {
                SCOPED_TRACE(std::string(input) + " " + command + " " + std::to_string(options.size()));
                std::vector<std::string> args = {command, dir / input, "-q", "--no-refine", "-o", dir / "a.json",
                                                 "-o", dir / "a.svg"};
                args.insert(args.end(), options.begin(), options.end());
                RunResult r = run_here(args);
                ASSERT_EQ(r.status, 0) << r.err;
                r = run_here({"edit", dir / "a.json", "-q", "-o", dir / "b.json", "-o", dir / "b.svg"});
                ASSERT_EQ(r.status, 0) << r.err;
                EXPECT_EQ(read_bytes(dir / "b.json"), read_bytes(dir / "a.json"));
                EXPECT_EQ(read_bytes(dir / "b.svg"), read_bytes(dir / "a.svg"));
            }
}

TEST(RoundTrip, SchemaFaultsAreRefusedWithTheirLine) {
    const std::string head =
        "{\"generator\":\"ktvec\",\"schema\":1,\"command\":\"centerline\",\"source\":\"x\",\n"
        "\"parameters\":{},\"image\":{\"width\":10,\"height\":10},\n";
    const std::string good_graph =
        "\"counts\":{\"nodes\":3,\"polylines\":1},\n\"nodes\":[{\"x\":1,\"y\":1},{\"x\":5,\"y\":1},{\"x\":5,\"y\":6}],\n"
        "\"polylines\":[{\"id\":2,\"closed\":false,\"nodes\":[0,1,2],\"prev\":[],\"next\":[]}]}";
    const struct {
        std::string text, problem;
    } cases[] = {
        {"[]", "line 1: the file must hold one JSON object"},
        {"{\"generator\":\"other\"}", "not a ktvec result"},
        {head + "\"counts\":{\"nodes\":1,\"polylines\":0},\n\"nodes\":[{\"x\":10,\"y\":1}],\"polylines\":[]}",
         "line 4: nodes[0].x is out of range"},
        {head + "\"counts\":{\"nodes\":2,\"polylines\":0},\n\"nodes\":[{\"x\":1,\"y\":1}],\"polylines\":[]}",
         "line 4: counts.nodes does not match"},
        {head + "\"counts\":{\"nodes\":2,\"polylines\":1},\n\"nodes\":[{\"x\":1,\"y\":1},{\"x\":2,\"y\":1}],\n"
                "\"polylines\":[{\"id\":1,\"closed\":true,\"nodes\":[0,1],\"prev\":[],\"next\":[]}]}",
         "line 5: polyline 1: \"closed\" disagrees"},
        {head + "\"counts\":{\"nodes\":2,\"polylines\":1},\n\"nodes\":[{\"x\":1,\"y\":1},{\"x\":2,\"y\":1}],\n"
                "\"polylines\":[{\"id\":1,\"closed\":false,\"nodes\":[0,2],\"prev\":[],\"next\":[]}]}",
         "polyline 1 node is out of range"},
        {head + "\"counts\":{\"nodes\":2,\"polylines\":1},\n\"nodes\":[{\"x\":1,\"y\":1},{\"x\":2,\"y\":1}],\n"
                "\"polylines\":[{\"id\":1,\"closed\":false,\"nodes\":[0,1],\"prev\":[3],\"next\":[]}]}",
         "polyline 1 prev entry is out of range"},
        {head + "\"counts\":{\"nodes\":2,\"polylines\":1},\n\"nodes\":[{\"x\":1,\"y\":1},{\"x\":2,\"y\":1}],\n"
                "\"polylines\":[{\"id\":3,\"closed\":false,\"nodes\":[0,1],\"prev\":[2],\"next\":[]}]}",
         "names polyline 2, which is not in the file"},
        {head + "\"counts\":{\"nodes\":2,\"polylines\":1},\n\"nodes\":[{\"x\":1,\"y\":1},{\"x\":2,\"y\":1}],\n"
                "\"polylines\":[{\"id\":1,\"closed\":false,\"nodes\":[0,1],\"prev\":[],\"next\":[],\"areas\":[1,2]}]}",
         "one area per link expected"},
        {head + "\"counts\":{\"nodes\":2,\"polylines\":1},\n\"nodes\":[{\"x\":1,\"y\":1},{\"x\":2,\"y\":1}],\n"
                "\"polylines\":[{\"id\":1,\"closed\":false,\"nodes\":[0,1],\"prev\":[],\"next\":[],\"curve\":[\"bezier\"]}]}",
         "curve marks are"},
        {head + "\"counts\":{\"nodes\":2,\"polylines\":1},\n\"nodes\":[{\"x\":1,\"y\":1},{\"x\":2,\"y\":1}],\n"
                "\"polylines\":[{\"id\":1,\"closed\":false,\"nodes\":[0,1],\"prev\":[],\"next\":[],"
                "\"arcs\":[{\"link\":0,\"cx\":1,\"cy\":0,\"r\":1,\"side\":0}]}]}",
         "side is out of range"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.text);
        CKTVector v;
        LoadedResult loaded;
        try {
            load_result(JsonDocument(c.text), v, loaded);
            ADD_FAILURE() << "accepted";
        } catch (const CliError &e) {
            EXPECT_NE(std::string(e.what()).find(c.problem), std::string::npos) << e.what();
        }
    }
    // The resolution is carried through, one value when both axes agree.
    for (const char *image : {"\"dpi\":300", "\"dpi\":300,\"dpi-y\":150"}) {
        std::string text = head;
        text.replace(text.find("\"height\":10"), 11, std::string("\"height\":10,") + image);
        CKTVector v;
        LoadedResult loaded;
        load_result(JsonDocument(text + good_graph), v, loaded);
        VectorView view(v);
        TextSink sink;
        write_json(view, loaded.info, sink);
        EXPECT_NE(sink.text().find(std::string("\"height\":10,") + image + "}"), std::string::npos) << sink.text();
    }
    // The good graph loads on a blank page of the image's size (two bytes
    // a row, ten rows: the raster set-up reads all of it), the id gap
    // becomes a deleted record, links are as long as the distances of their
    // nodes.
    CKTVector v;
    LoadedResult loaded;
    load_result(JsonDocument(head + good_graph), v, loaded);
    EXPECT_EQ(loaded.page.size(), 20u);
    ASSERT_EQ(v.mgetpolylinenum(), 2);
    EXPECT_EQ(v.mgetpolyline(1)->deleted, 1);
    EXPECT_EQ(v.mgetpolyline(2)->nodenum, 3);
    EXPECT_EQ(check_graph(v), "");
    EXPECT_DOUBLE_EQ(v.mgetnode(2)->link[0].length, 5);
}

TEST(JsonReader, StrictGrammar) {
    const struct {
        const char *text, *problem;
    } bad[] = {
        {"", "line 1: expected a value, found the end"},
        {"{\"a\":1,}", "expected a member name"},
        {"[1,]", "expected a value"},
        {"[01]", "leading zero"},
        {"[1.]", "digit after '.'"},
        {"{\"a\":1,\"a\":2}", "member \"a\" given twice"},
        {"[\"a\nb\"]", "control character"},
        {"[\"\\ud800\"]", "unpaired surrogate"},
        {"[\"\\x\"]", "bad escape"},
        // The file's bytes quoted in a message keep it on one line.
        {"[\"\\\n\"]", "bad escape '\\\\n'"},
        {"{\"a\\n\":1,\"a\\n\":2}", "member \"a\\n\" given twice"},
        {"[1] 2", "after the value"},
        {"[1e999]", "out of range"},
        {"{\"a\" 1}", "expected ':'"},
        {"[tru]", "expected 'true'"},
        {"\n\n[1 2]", "line 3: expected ',' or ']'"},
    };
    for (const auto &c : bad) {
        SCOPED_TRACE(c.text);
        try {
            JsonDocument doc(c.text);
            ADD_FAILURE() << "accepted";
        } catch (const CliError &e) {
            EXPECT_NE(std::string(e.what()).find(c.problem), std::string::npos) << e.what();
            EXPECT_EQ(std::string(e.what()).find('\n'), std::string::npos) << e.what();
        }
    }
    std::string deep(200, '[');
    EXPECT_THROW(JsonDocument(deep + std::string(200, ']')), CliError);

    const JsonDocument doc("{\"s\":\"\\u00e9\\ud83d\\ude00\\n\",\"n\":-1.5e2,\"a\":[true,null,{}]}");
    const JsonValue r = doc.root();
    EXPECT_EQ(r.member("s").text(), "\xc3\xa9\xf0\x9f\x98\x80\n");
    EXPECT_EQ(r.member("n").number(), -150);
    EXPECT_EQ(r.member("a").size(), 3u);
    EXPECT_TRUE(r.member("a").first().boolean());
    EXPECT_EQ(r.member("a").first().next().kind(), JsonKind::Null);
    EXPECT_FALSE(r.member("missing").valid());
}
