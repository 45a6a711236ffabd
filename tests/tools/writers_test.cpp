// The writers on a hand-made result (deleted nodes and polylines, a closed
// polyline, connections, a fitted arc, spline samples) and on the library's
// own result for a drawing: the JSON must parse strictly and say exactly
// what the vectorizer holds, the SVG must draw it at pixel centres.
#include <gtest/gtest.h>


#include "json.h"
#include "text_sink.h"
#include "tool_support.h"
#include "vector_view.h"
#include "vectorizer/memory.h"
#include "writers.h"

using namespace ktvcli;

namespace {

int *ints(std::initializer_list<int> v) {
    int *p = ktv::alloc_zeroed<int>(v.size());
    std::copy(v.begin(), v.end(), p);
    return p;
}

// Nodes: 0 (1,1), 1 (5,1), 2 (5,4), 3 deleted, 4 (1,4), 5 (8,2), 6 (10,6).
// Polyline 1: closed square 0-1-2-4-0.  Polyline 2: deleted.
// Polyline 3: 5-6 with an arc about (9, 4.5), radius 2.5, and spline
// samples; connected at its start to the start of 1 and at its end to the
// end of 1.
void build_result(CKTVector &v) {
    v.width = 12;
    v.height = 8;
    const int xy[7][2] = {{1, 1}, {5, 1}, {5, 4}, {9, 9}, {1, 4}, {8, 2}, {10, 6}};
    v.node = ktv::alloc_zeroed<_KTNODE>(7);
    v.nodenum = v.nodecapacity = 7;
    for (int i = 0; i < 7; ++i) {
        v.node[i].x = xy[i][0];
        v.node[i].y = xy[i][1];
    }
    v.node[3].deleted = 1;
    const int square[5] = {0, 1, 2, 4, 0};
    for (int i = 0; i < 4; ++i) {
        add_link(v.node[square[i]], 1, square[i + 1]);
        add_link(v.node[square[i + 1]], -1, square[i]);
    }
    add_link(v.node[5], 3, 6, 1, 9.0, 4.5, 2.5);
    add_link(v.node[6], -3, 5, 1, 9.0, 4.5, 2.5);

    v.polyline = ktv::alloc_zeroed<_KTPOLYLINE>(3);
    v.polylinenum = v.polylinecapacity = 3;
    _KTPOLYLINE &a = v.polyline[0];
    a.nodeindex = ints({0, 1, 2, 4, 0});
    a.nodenum = a.nodecapacity = 5;
    v.polyline[1].deleted = 1;
    _KTPOLYLINE &c = v.polyline[2];
    c.nodeindex = ints({5, 6});
    c.nodenum = c.nodecapacity = 2;
    c.flag = 1;
    c.prev = ints({1});
    c.prevnum = 1;
    c.next = ints({-1});
    c.nextnum = 1;
    c.splinenum = 3;
    c.splinex = ktv::alloc_zeroed<double>(3);
    c.spliney = ktv::alloc_zeroed<double>(3);
    const double sx[3] = {8, 9.75, 10}, sy[3] = {2, 3.125, 6};
    std::copy(sx, sx + 3, c.splinex);
    std::copy(sy, sy + 3, c.spliney);
}

ResultInfo about(const char *command, const char *source, const PackedBitmap *background) {
    ResultInfo info;
    info.command = command;
    info.source = source;
    info.background = background;
    return info;
}

std::string write(OutputFormat f, CKTVector &v, const ResultInfo &info) {
    VectorView view(v);
    TextSink sink;
    write_result(f, view, info, sink);
    return sink.text();
}

std::vector<int> int_list(const Json &a) {
    std::vector<int> v;
    for (const Json &e : a.array) v.push_back(e.as_int());
    return v;
}

}  // namespace

TEST(JsonWriter, HandMadeResult) {
    CKTVector v;
    build_result(v);
    ResultInfo info = about("outline-fast", "a \"b\".png", nullptr);
    info.format = "PNG";
    info.threshold = 97;
    info.parameters = {{"tolerance", 1.25}, {"nodesearch", 0}};
    const Json j = Json::parse(write(OutputFormat::Json, v, info));
    EXPECT_EQ(j["image"]["format"].string, "PNG");
    EXPECT_EQ(j["image"]["threshold"].as_int(), 97);
    EXPECT_DOUBLE_EQ(j["parameters"]["tolerance"].number, 1.25);
    EXPECT_EQ(j["parameters"]["nodesearch"].as_int(), 0);
    EXPECT_EQ(j["schema"].as_int(), 1);
    EXPECT_EQ(j["source"].string, "a \"b\".png");
    EXPECT_EQ(j["image"]["width"].as_int(), 12);
    EXPECT_EQ(j["counts"]["nodes"].as_int(), 6);
    EXPECT_EQ(j["counts"]["polylines"].as_int(), 2);

    // Live nodes renumbered densely in library order.
    const int want[6][2] = {{1, 1}, {5, 1}, {5, 4}, {1, 4}, {8, 2}, {10, 6}};
    ASSERT_EQ(j["nodes"].size(), 6u);
    for (int i = 0; i < 6; ++i) {
        EXPECT_EQ(j["nodes"][i]["x"].as_int(), want[i][0]);
        EXPECT_EQ(j["nodes"][i]["y"].as_int(), want[i][1]);
    }

    const Json &p = j["polylines"];
    ASSERT_EQ(p.size(), 2u);
    EXPECT_EQ(p[0]["id"].as_int(), 1);
    EXPECT_TRUE(p[0]["closed"].boolean);
    EXPECT_EQ(int_list(p[0]["nodes"]), (std::vector<int>{0, 1, 2, 3, 0}));
    EXPECT_EQ(p[0]["prev"].size(), 0u);
    EXPECT_FALSE(p[0].has("arcs"));
    EXPECT_FALSE(p[0].has("spline"));

    EXPECT_EQ(p[1]["id"].as_int(), 3);
    EXPECT_FALSE(p[1]["closed"].boolean);
    EXPECT_EQ(int_list(p[1]["nodes"]), (std::vector<int>{4, 5}));
    EXPECT_EQ(int_list(p[1]["prev"]), (std::vector<int>{1}));
    EXPECT_EQ(int_list(p[1]["next"]), (std::vector<int>{-1}));
    EXPECT_EQ(p[1]["curve"][0].string, "arc");
    const Json &arc = p[1]["arcs"][0];
    EXPECT_EQ(arc["link"].as_int(), 0);
    EXPECT_DOUBLE_EQ(arc["cx"].number, 9.0);
    EXPECT_DOUBLE_EQ(arc["cy"].number, 4.5);
    EXPECT_DOUBLE_EQ(arc["r"].number, 2.5);
    EXPECT_EQ(arc["side"].as_int(), 1);
    ASSERT_EQ(p[1]["spline"].size(), 3u);
    EXPECT_DOUBLE_EQ(p[1]["spline"][1][0].number, 9.75);
    EXPECT_DOUBLE_EQ(p[1]["spline"][1][1].number, 3.125);
}

// Clean-up can delete a node and leave a live polyline running through it;
// the node is still written, so that every reference resolves and both
// formats draw the same polyline.
TEST(JsonWriter, DeletedNodeOnALivePolylineIsWritten) {
    CKTVector v;
    build_result(v);
    v.node[5].deleted = 1;  // start of polyline 3
    v.node[0].deleted = 1;  // on the closed polyline 1
    const Json j = Json::parse(write(OutputFormat::Json, v, about("outline", "s", nullptr)));
    EXPECT_EQ(j["counts"]["nodes"].as_int(), 6);
    ASSERT_EQ(j["nodes"].size(), 6u);
    EXPECT_EQ(j["nodes"][4]["x"].as_int(), 8);
    EXPECT_EQ(int_list(j["polylines"][0]["nodes"]), (std::vector<int>{0, 1, 2, 3, 0}));
    EXPECT_EQ(int_list(j["polylines"][1]["nodes"]), (std::vector<int>{4, 5}));
    const std::string svg = write(OutputFormat::Svg, v, about("outline", "s", nullptr));
    EXPECT_NE(svg.find("s outline: 6 nodes, 2 polylines"), std::string::npos) << svg;

    // Not on a live polyline any more: left out.
    v.polyline[2].deleted = 1;
    const Json k = Json::parse(write(OutputFormat::Json, v, about("outline", "s", nullptr)));
    EXPECT_EQ(k["counts"]["nodes"].as_int(), 5);
    EXPECT_EQ(k["nodes"][4]["x"].as_int(), 10);
}

TEST(SvgWriter, HandMadeResult) {
    CKTVector v;
    build_result(v);
    const std::string svg = write(OutputFormat::Svg, v, about("outline-fast", "x<y>.png", nullptr));
    EXPECT_NE(svg.find("width=\"12\" height=\"8\" viewBox=\"0 0 12 8\""), std::string::npos);
    EXPECT_NE(svg.find("x&lt;y&gt;.png"), std::string::npos);
    // Closed: the closing link is Z, not a repeat of the first node.
    EXPECT_NE(svg.find("<path id=\"p1\" d=\"M1.5 1.5 L5.5 1.5 L5.5 4.5 L1.5 4.5 Z\"/>"), std::string::npos) << svg;
    EXPECT_EQ(svg.find("id=\"p2\""), std::string::npos);
    // The arc runs the short way from (8,2) to (10,6) about (9,4.5).
    EXPECT_NE(svg.find("<path id=\"p3\" d=\"M8.5 2.5 A2.5 2.5 0 0 1 10.5 6.5\"/>"), std::string::npos) << svg;
    EXPECT_EQ(svg.find("<image"), std::string::npos);
    EXPECT_EQ(svg.substr(svg.size() - 7), "</svg>\n");
}

TEST(SvgWriter, SplineSamplesReplaceTheLinks) {
    CKTVector v;
    build_result(v);
    v.polyline[2].flag = 2;
    const std::string svg = write(OutputFormat::Svg, v, about("c", "s", nullptr));
    EXPECT_NE(svg.find("<path id=\"p3\" d=\"M8.5 2.5 L10.25 3.625 L10.5 6.5\"/>"), std::string::npos) << svg;
}

TEST(SvgWriter, BackgroundIsTheBitmapAsPng) {
    CKTVector v;
    build_result(v);
    PackedBitmap bm = allocate_bitmap(12, 8);
    bm.row(3)[0] = 0xA0;
    const std::string svg = write(OutputFormat::Svg, v, about("c", "s", &bm));
    const std::string head = "xlink:href=\"data:image/png;base64,";
    const std::size_t at = svg.find(head);
    ASSERT_NE(at, std::string::npos);
    // Decode the base64 and the PNG back to the bitmap.
    const std::string b64 = svg.substr(at + head.size(), svg.find('"', at + head.size()) - at - head.size());
    std::string png;
    unsigned acc = 0;
    int bits = 0;
    for (char ch : b64) {
        if (ch == '=') break;
        acc = (acc << 6) | static_cast<unsigned>(std::string("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/").find(ch));
        bits += 6;
        if (bits >= 8) {
            bits -= 8;
            png += static_cast<char>((acc >> bits) & 0xFF);
        }
    }
    const LoadedImage back = decode_image(reinterpret_cast<const unsigned char *>(png.data()), png.size(), {});
    EXPECT_EQ(back.bitmap.count(), 2u);
    EXPECT_TRUE(back.bitmap.get(0, 3));
    EXPECT_TRUE(back.bitmap.get(2, 3));
    // The image lies under the vectors.
    EXPECT_LT(svg.find("<image"), svg.find("<path"));
}

TEST(Base64, KnownVectors) {
    const char *cases[][2] = {{"", ""}, {"f", "Zg=="}, {"fo", "Zm8="}, {"foo", "Zm9v"},
                              {"foob", "Zm9vYg=="}, {"fooba", "Zm9vYmE="}, {"foobar", "Zm9vYmFy"}};
    for (auto &c : cases) {
        TextSink s;
        put_base64(reinterpret_cast<const unsigned char *>(c[0]), std::strlen(c[0]), s);
        EXPECT_EQ(s.text(), c[1]);
    }
}

TEST(TextSink, NumbersAndStrings) {
    TextSink s;
    s.number(0.5).put(' ').number(-0.0).put(' ').number(12345678.5).put(' ').number(0.1).put(' ').integer(-42);
    EXPECT_EQ(s.text(), "0.5 0 12345678.5 0.1 -42");
    TextSink j;
    j.json_string("a\"b\\c\n\x01");
    EXPECT_EQ(j.text(), "\"a\\\"b\\\\c\\u000a\\u0001\"");
}

TEST(OutputFormats, ByNameAndExtension) {
    OutputFormat f{};
    EXPECT_TRUE(format_from_extension("out/a.SVG", f));
    EXPECT_EQ(f, OutputFormat::Svg);
    EXPECT_TRUE(format_from_extension("a.b.json", f));
    EXPECT_EQ(f, OutputFormat::Json);
    EXPECT_FALSE(format_from_extension("dir.svg/file", f));
    EXPECT_FALSE(format_from_extension("noext", f));
    EXPECT_FALSE(format_from_name("xml", f));
}

// The library's own result: what the JSON says is what the vectorizer holds.
TEST(JsonWriter, MatchesTheLibrary) {
    Bitmap b = sample_drawing();
    CKTVector v;
    v.msetdocument(b.data(), b.width, b.height);
    ASSERT_EQ(v.mabstractoutlinefast(4, 0, 1.5, 1), 0);
    const Json j = Json::parse(write(OutputFormat::Json, v, about("outline-fast", "d.pbm", nullptr)));

    std::vector<int> dense(static_cast<std::size_t>(v.mgetnodenum()), -1);
    int live = 0;
    for (int i = 0; i < v.mgetnodenum(); ++i)
        if (!v.mgetnode(i)->deleted) {
            const Json &n = j["nodes"][static_cast<std::size_t>(live)];
            EXPECT_EQ(n["x"].as_int(), v.mgetnode(i)->x);
            EXPECT_EQ(n["y"].as_int(), v.mgetnode(i)->y);
            dense[static_cast<std::size_t>(i)] = live++;
        }
    EXPECT_EQ(j["nodes"].size(), static_cast<std::size_t>(live));
    ASSERT_GT(live, 0);

    std::size_t k = 0;
    for (int id = 1; id <= v.mgetpolylinenum(); ++id) {
        const _KTPOLYLINE *p = v.mgetpolyline(id);
        if (p->deleted) continue;
        const Json &q = j["polylines"][k++];
        EXPECT_EQ(q["id"].as_int(), id);
        ASSERT_EQ(q["nodes"].size(), static_cast<std::size_t>(p->nodenum));
        for (int i = 0; i < p->nodenum; ++i)
            EXPECT_EQ(q["nodes"][static_cast<std::size_t>(i)].as_int(), dense[static_cast<std::size_t>(p->nodeindex[i])]);
        EXPECT_EQ(q["closed"].boolean, p->nodenum >= 2 && p->nodeindex[0] == p->nodeindex[p->nodenum - 1]);
        EXPECT_EQ(int_list(q["prev"]), std::vector<int>(p->prev, p->prev + p->prevnum));
        EXPECT_EQ(int_list(q["next"]), std::vector<int>(p->next, p->next + p->nextnum));
    }
    EXPECT_EQ(j["polylines"].size(), k);
    EXPECT_EQ(j["counts"]["polylines"].as_int(), static_cast<int>(k));
}
