// `ktvec batch`: whatever the number of workers, the same files with the
// same bytes as the single command writes; a broken input is reported with
// its reason, makes the exit status 1 and leaves no file behind; an
// interrupt finishes the image in hand.  `ktvec edit`: each op does its
// library call, an undo right after it gives the input back byte for byte,
// and bad scripts are refused with one line naming the script.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <thread>

#include "support.h"
#include "sweep.h"

extern char **environ;

using namespace ktvcli;

namespace {

// An input folder of five images of three drawings in both formats and
// one truncated file.
struct Sheet {
    TempDir dir;
    std::string in = dir / "in";
    Sheet() {
        ::mkdir(in.c_str(), 0777);
        write_bytes(input("sample.pbm"), pbm_raw(sample_drawing()));
        write_bytes(input("strokes.png"), png_of(stroke_drawing(), PngKind::Grey8));
        write_bytes(input("curves.pbm"), pbm_plain(fitting_drawing()));
        write_bytes(input("curves2.png"), png_of(fitting_drawing(), PngKind::Rgb8));
        write_bytes(input("strokes2.pbm"), pbm_raw(stroke_drawing(), true));
        const std::string whole = pbm_raw(sample_drawing());
        write_bytes(input("broken.pbm"), whole.substr(0, whole.size() / 2));
    }
    std::string input(const std::string &name) const { return in + "/" + name; }
};

std::vector<std::string> names_in(const std::string &dir) {
    std::vector<std::string> names;
    for (const auto &e : std::filesystem::directory_iterator(dir)) names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

}  // namespace

TEST(Batch, SameBytesWithOneOrThreeWorkersAsTheSingleCommand) {
    const Sheet s;
    std::vector<std::string> first;
    for (const char *jobs : {"1", "--jobs=3"}) {
        SCOPED_TRACE(jobs);
        const std::string out = s.dir / (std::string("out") + jobs[0]);
        std::vector<std::string> args = {"batch", s.in + "/*", "-o", out, "--format", "svg,json,dxf"};
        if (jobs[0] == '1') args.insert(args.end(), {"--jobs", jobs});
        else args.push_back(jobs);
        const RunResult r = run_here(args);
        EXPECT_EQ(r.status, 1) << r.err;
        // One plain progress line an input (stderr is not a terminal), and
        // the summary names the broken file with its reason.
        EXPECT_EQ(occurrences(r.err, "ktvec batch: ["), 6u) << r.err;
        EXPECT_NE(r.err.find("6 files, 5 pages"), std::string::npos) << r.err;
        EXPECT_NE(r.err.find("1 failed\n  " + s.input("broken.pbm") + ": truncated PBM data"), std::string::npos) << r.err;
        const std::vector<std::string> names = names_in(out);
        EXPECT_EQ(names, (std::vector<std::string>{"curves.dxf", "curves.json", "curves.svg", "curves2.dxf", "curves2.json",
                                                   "curves2.svg", "sample.dxf", "sample.json", "sample.svg", "strokes.dxf",
                                                   "strokes.json", "strokes.svg", "strokes2.dxf", "strokes2.json",
                                                   "strokes2.svg"}));
        std::vector<std::string> bytes;
        for (const std::string &n : names) bytes.push_back(read_bytes(out + "/" + n));
        if (first.empty()) first = bytes;
        else {
            EXPECT_TRUE(bytes == first);
        }
    }
    // The single command's own path: same bytes, options included.
    for (const std::vector<std::string> &o : {std::vector<std::string>{"centerline", "--tolerance", "2"},
                                              {"outline", "--spur-nodes=3", "--simplify", "1,0.2"},
                                              {"outline-fast", "--fill-holes", "0", "--no-smooth"}}) {
        SCOPED_TRACE(o[0]);
        std::vector<std::string> one = {o[0], s.input("strokes.png"), "-o", s.dir / "single.json"};
        std::vector<std::string> many = {"batch", "--command=" + o[0], s.input("strokes.png"), s.input("sample.pbm"),
                                         "-o", s.dir / o[0], "--format=json", "-j", "2"};
        one.insert(one.end(), o.begin() + 1, o.end());
        many.insert(many.end(), o.begin() + 1, o.end());
        ASSERT_EQ(run_here(one).status, 0);
        const RunResult r = run_here(many);
        ASSERT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(read_bytes(s.dir / o[0] + "/strokes.json"), read_bytes(s.dir / "single.json"));
    }
}

TEST(Batch, BadCommandLinesAndFailuresTheirStatusAndOrder) {
    const Sheet s;
    const std::string out = s.dir / "out", sample = s.input("sample.pbm");
    const struct {
        std::vector<std::string> args;
        int status;
        std::string says;
    } cases[] = {
        {{sample, "-o", out}, 0, "1 file, 1 page"},
        {{sample, s.in + "/*.gif", "-o", out}, 1, "*.gif: no file matches"},
        {{s.input("none.pbm"), "-o", out}, 1, "none.pbm: cannot open"},
        {{sample}, 2, "give one output folder"},
        {{sample, "-o", out, "-o", out + "2"}, 2, "give one output folder"},
        {{"-o", out}, 2, "no input files"},
        {{"-", "-o", out}, 2, "batch reads files, not standard input"},
        {{sample, "-o", out, "--jobs", "0"}, 2, "--jobs: '0'"},
        {{sample, "-o", out, "--jobs", "2x"}, 2, "--jobs: '2x'"},
        {{sample, "-o", out, "--jobs"}, 2, "--jobs needs a value"},
        {{sample, "-o", out, "--command", "edit"}, 2, "--command: 'edit'"},
        {{sample, "-o", out, "--format", "svg,xml"}, 2, "--format: 'xml'"},
        {{sample, "-o", out, "--format", "json", "--background"}, 2, "--background needs"},
        {{sample, "-o", out, "--tolerance", "x"}, 2, "--tolerance: 'x'"},
        {{sample, "-o", sample}, 1, "not a folder"},
    };
    for (const auto &c : cases) {
        std::vector<std::string> args = {"batch"};
        args.insert(args.end(), c.args.begin(), c.args.end());
        const RunResult r = run_here(args);
        SCOPED_TRACE(c.says);
        EXPECT_EQ(r.status, c.status) << r.err;
        EXPECT_NE(r.err.find(c.says), std::string::npos) << r.err;
    }
    // The workers take the largest files first (one worker: one after the
    // other); the summary still follows the input order.
    write_bytes(s.input("small.pbm"), pbm_raw(stroke_drawing()));
    write_bytes(s.input("large.pbm"), pbm_plain(sample_drawing()));
    write_bytes(s.input("bad.pbm"), "P4\n1 1\n");
    const RunResult r = run_here({"batch", s.input("small.pbm"), s.input("bad.pbm"), s.input("large.pbm"), "-o", out, "-j", "1"});
    EXPECT_EQ(r.status, 1);
    const std::size_t large = r.err.find("[1/3] " + s.input("large.pbm")), small = r.err.find("[2/3] " + s.input("small.pbm"));
    const std::size_t broken = r.err.find("[3/3] failed: " + s.input("bad.pbm"));
    EXPECT_TRUE(large < small && small < broken && broken != std::string::npos) << r.err;
}

// A file whose clean-up ran out of memory part-way fails with its reason
// and leaves no output; the other file is written.  One worker: the
// calling thread, whose allocation requests the test can make fail.
TEST(Batch, IncompleteCleanUpFailsItsFile) {
    TempDir dir;
    write_bytes(dir / "a.pbm", pbm_raw(stroke_drawing()));
    write_bytes(dir / "b.pbm", pbm_raw(sample_drawing()));
    const std::string out = dir / "out";
    ::mkdir(out.c_str(), 0777);
    int reported = 0;
    for (long n = 1; n < 4000 && reported == 0; ++n) {
        RunResult r;
        fails_at(n, [&] { r = run_here({"batch", dir / "a.pbm", dir / "b.pbm", "-o", out, "--jobs", "1"}); });
        const std::vector<std::string> written = names_in(out);
        for (const std::string &f : written) std::remove((out + "/" + f).c_str());
        if (r.err.find("result incomplete") == std::string::npos) continue;
        ++reported;
        SCOPED_TRACE(r.err);
        EXPECT_EQ(r.status, 1);
        EXPECT_EQ(occurrences(r.err, "result incomplete"), 2u);  // its progress line and the summary
        const bool first = r.err.find("a.pbm: out of memory") != std::string::npos;
        EXPECT_EQ(written, std::vector<std::string>{first ? "b.svg" : "a.svg"});
    }
    EXPECT_EQ(reported, 1);
}

TEST(Batch, AnInterruptFinishesTheImageInHand) {
    // The image in hand is a FIFO, so the signal arrives while the worker
    // is surely reading it (--page 1: the FIFO is read once, not first for
    // its page count); the empty c.pbm comes after it, largest first.
    TempDir dir;
    const std::string image = pbm_raw(sample_drawing()), out = dir / "out", err = dir / "err.txt";
    write_bytes(dir / "a.pbm", image);
    write_bytes(dir / "c.pbm", "");
    ASSERT_EQ(::mkfifo((dir / "b.pbm").c_str(), 0600), 0);
    std::vector<std::string> args = {KTVEC_CLI_PATH, "batch", dir / "a.pbm", dir / "b.pbm", dir / "c.pbm", "-o", out,
                                     "--jobs", "1", "--page", "1"};
    std::vector<char *> argv;
    for (std::string &a : args) argv.push_back(&a[0]);
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 2, err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    pid_t pid = 0;
    ASSERT_EQ(posix_spawn(&pid, KTVEC_CLI_PATH, &actions, nullptr, argv.data(), environ), 0);
    posix_spawn_file_actions_destroy(&actions);
    // Opens the FIFO for writing once the batch has it open for reading.
    int fd = -1;
    const auto give_up = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while ((fd = ::open((dir / "b.pbm").c_str(), O_WRONLY | O_NONBLOCK)) < 0 && errno == ENXIO &&
           std::chrono::steady_clock::now() < give_up)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    if (fd < 0) {
        ::kill(pid, SIGKILL);
        ::waitpid(pid, nullptr, 0);
        FAIL() << "the batch never opened the FIFO";
    }
    ::fcntl(fd, F_SETFL, 0);
    ::kill(pid, SIGINT);
    EXPECT_EQ(::write(fd, image.data(), image.size()), static_cast<ssize_t>(image.size()));
    ::close(fd);
    int status = 0;
    ASSERT_EQ(::waitpid(pid, &status, 0), pid);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 128 + SIGINT);
    EXPECT_EQ(names_in(out), (std::vector<std::string>{"a.svg", "b.svg"}));
    EXPECT_NE(read_bytes(out + "/b.svg").find("</svg>"), std::string::npos);
    EXPECT_NE(read_bytes(err).find("interrupted, 1 of 3 files not started"), std::string::npos) << read_bytes(err);
}

#ifdef KTVEC_HAVE_TIFF
TEST(Batch, EveryPageOfATiffAndAPageThatFails) {
    TempDir dir;
    const Bitmap one = sample_drawing(), three = fitting_drawing();  // page 2 has nine samples a pixel
    write_bytes(dir / "scan.tif", tiff_of({Page{&one}, Page{&one, COMPRESSION_NONE, false, false, 72}, Page{&three}}));
    write_bytes(dir / "scan.pbm", pbm_raw(stroke_drawing()));
    const RunResult r = run_here({"batch", dir / "scan.*", "-o", dir / "out", "--format", "json"});
    EXPECT_EQ(r.status, 1);
    // scan.pbm comes first in the sorted matches and keeps the plain name.
    EXPECT_EQ(names_in(dir / "out"), (std::vector<std::string>{"scan-2-p1.json", "scan-2-p3.json", "scan.json"}));
    EXPECT_NE(r.err.find("2 files, 3 pages"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("1 failed\n  " + (dir / "scan.tif") + ": "), std::string::npos) << r.err;
    EXPECT_NE(r.err.find(" (page 2)\n"), std::string::npos) << r.err;
    ASSERT_EQ(run_here({"centerline", dir / "scan.tif", "--page", "3", "-o", dir / "p3.json"}).status, 0);
    EXPECT_EQ(read_bytes(dir / "out/scan-2-p3.json"), read_bytes(dir / "p3.json"));
}
#endif

namespace {

// The edited drawing: the stroke drawing's centre lines with arcs fitted.
class Edit : public ::testing::Test {
protected:
    void SetUp() override {
        write_bytes(dir_ / "d.pbm", pbm_raw(stroke_drawing()));
        ASSERT_EQ(run_here({"centerline", dir_ / "d.pbm", "--arcs", "1,1000", "-q", "--no-refine", "-o", dir_ / "base.json"})
                      .status,
                  0);
        base_ = read_bytes(dir_ / "base.json");
        const JsonDocument doc = json_file(dir_ / "base.json");
        const JsonValue root = doc.root();
        nodes_ = static_cast<int>(root.member("counts").member("nodes").number());
        polylines_ = static_cast<int>(root.member("counts").member("polylines").number());
        for (JsonValue n = root.member("nodes").first(); n.valid(); n = n.next())
            xy_.push_back({static_cast<int>(n.member("x").number()), static_cast<int>(n.member("y").number())});
        // An open polyline of at least three nodes (the broken line, its gap
        // bridged) and a connection through a junction (the plus).
        for (JsonValue p = root.member("polylines").first(); p.valid(); p = p.next()) {
            std::vector<int> list;
            for (JsonValue k = p.member("nodes").first(); k.valid(); k = k.next()) list.push_back(static_cast<int>(k.number()));
            const int id = static_cast<int>(p.member("id").number());
            lists_[id] = list;
            if (!p.member("closed").boolean() && list.size() >= 3 && !long_) long_ = id;
            if (p.member("next").size() == 1 && !connected_) {
                connected_ = id;
                other_ = static_cast<int>(std::abs(p.member("next").first().number()));
            }
            if (p.member("arcs").valid() && list.size() >= 3 && curved_ < 0) curved_ = list[1], curved_id_ = id;
        }
        ASSERT_TRUE(long_ && connected_ && curved_ >= 0);
        mid_ = lists_[long_][1];
        joint_ = lists_[connected_].back();
    }
    // Runs a script on base.json; the JSON written.
    RunResult edit(const std::string &ops, const std::string &out = "out.json") {
        write_bytes(dir_ / "ops.json", "{\"ops\":[" + ops + "]}");
        return run_here({"edit", dir_ / "base.json", "--ops", dir_ / "ops.json", "-q", "-o", dir_ / out});
    }
    JsonValue edited(const std::string &ops) {
        const RunResult r = edit(ops);
        EXPECT_EQ(r.status, 0) << ops << ": " << r.err;
        doc_ = std::make_unique<JsonDocument>(read_bytes(dir_ / "out.json"));
        return doc_->root();
    }
    std::string at(int k) const { return "[" + std::to_string(xy_[k].first) + "," + std::to_string(xy_[k].second) + "]"; }
    std::string move(int k, int dx, int dy) const {
        return "{\"op\":\"move\",\"node\":" + std::to_string(k) + ",\"to\":[" + std::to_string(xy_[k].first + dx) + "," +
               std::to_string(xy_[k].second + dy) + "]}";
    }
    static double count(JsonValue root, const char *what) { return root.member("counts").member(what).number(); }
    static JsonValue nth(JsonValue array, int k) {
        JsonValue e = array.first();
        while (k-- > 0) e = e.next();
        return e;
    }
    static JsonValue polyline(JsonValue root, int id) {
        JsonValue p = root.member("polylines").first();
        while (p.valid() && p.member("id").number() != id) p = p.next();
        return p;
    }

    TempDir dir_;
    std::string base_;
    std::unique_ptr<JsonDocument> doc_;
    std::vector<std::pair<int, int>> xy_;
    std::map<int, std::vector<int>> lists_;
    int nodes_ = 0, polylines_ = 0, long_ = 0, connected_ = 0, other_ = 0, mid_ = -1, joint_ = -1, curved_ = -1,
        curved_id_ = 0;
};

}  // namespace

TEST_F(Edit, EachOpDoesItsCallAndUndoGivesTheFileBack) {
    const std::string m = std::to_string(mid_), l = std::to_string(long_);
    const auto [x0, y0] = xy_[lists_[long_][0]];
    char insert[160];  // a third of the way along the first link of the long polyline
    std::snprintf(insert, sizeof insert, "{\"op\":\"insert\",\"at\":[%.17g,%.17g],\"margin\":0.05,\"maxdistance\":2}",
                  x0 + (xy_[mid_].first - x0) / 3.0, y0 + (xy_[mid_].second - y0) / 3.0);
    const std::string disconnect = "{\"op\":\"disconnect\",\"polyline\":" + std::to_string(connected_) + ",\"joint\":" +
                                   std::to_string(joint_) + ",\"with\":" + std::to_string(other_) + "}";
    const struct {
        std::string ops;
        std::function<void(JsonValue)> expect;
    } cases[] = {
        {move(mid_, 0, 2), [&](JsonValue g) { EXPECT_EQ(nth(g.member("nodes"), mid_).member("y").number(), xy_[mid_].second + 2); }},
        {"{\"op\":\"move\",\"node\":" + at(mid_) + ",\"to\":[" + std::to_string(xy_[mid_].first + 1) + "," +
             std::to_string(xy_[mid_].second) + "]}",
         [&](JsonValue g) { EXPECT_EQ(nth(g.member("nodes"), mid_).member("x").number(), xy_[mid_].first + 1); }},
        {"{\"op\":\"move-attach\",\"node\":" + m + ",\"to\":" + at(joint_) + "}",
         [&](JsonValue g) { EXPECT_EQ(count(g, "nodes"), nodes_ - 1); }},
        {"{\"op\":\"delete-node\",\"node\":" + m + "}", [&](JsonValue g) { EXPECT_EQ(count(g, "nodes"), nodes_ - 1); }},
        {"{\"op\":\"delete-polyline\",\"node\":" + m + "}", [&](JsonValue g) { EXPECT_EQ(count(g, "polylines"), polylines_ - 1); }},
        {"{\"op\":\"split\",\"polyline\":" + std::to_string(long_) + ",\"node\":" + m + "}",
         [&](JsonValue g) { EXPECT_EQ(count(g, "polylines"), polylines_ + 1); }},
        {disconnect, [&](JsonValue g) { EXPECT_EQ(polyline(g, connected_).member("next").size(), 0u); }},
        {"{\"op\":\"notch\",\"node\":" + m + ",\"radius\":3,\"depth\":2}", [&](JsonValue g) { EXPECT_EQ(count(g, "nodes"), nodes_ + 2); }},
        {insert, [&](JsonValue g) { EXPECT_EQ(count(g, "nodes"), nodes_ + 1); }},
        {"{\"op\":\"merge\",\"node\":" + m + ",\"into\":" + std::to_string(joint_) + "}",
         [&](JsonValue g) { EXPECT_EQ(count(g, "nodes"), nodes_ - 1); }},
        {"{\"op\":\"spline\",\"polyline\":" + l + ",\"division\":4}",
         [&](JsonValue g) { EXPECT_TRUE(polyline(g, long_).member("spline").valid()); }},
        {"{\"op\":\"simplify\",\"polyline\":" + l + ",\"dist\":1000,\"angle\":180}",
         [&](JsonValue g) { EXPECT_LT(count(g, "nodes"), nodes_); }},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.ops);
        c.expect(edited(c.ops));
        EXPECT_NE(read_bytes(dir_ / "out.json"), base_);
        edited(c.ops + ",{\"op\":\"undo\"}");  // the same op taken back
        EXPECT_EQ(read_bytes(dir_ / "out.json"), base_);
    }
    const auto [jx, jy] = xy_[joint_];
    // Selecting marks nodes only; connecting by a stroke across the joint
    // puts back what disconnecting took away.
    edited("{\"op\":\"select\",\"rect\":[0,0,200,200]}");
    EXPECT_EQ(read_bytes(dir_ / "out.json"), base_);
    auto toward = [&](int id) {  // 6 px from the joint along polyline id
        const std::vector<int> &n = lists_[id];
        const int k = n[0] == joint_ ? n[1] : n[n.size() - 2];
        const double dx = xy_[k].first - jx, dy = xy_[k].second - jy, d = std::hypot(dx, dy);
        return std::to_string(std::lround(jx + 6 * dx / d)) + "," + std::to_string(std::lround(jy + 6 * dy / d));
    };
    edited(disconnect + ",{\"op\":\"connect\",\"stroke\":[" + toward(connected_) + "," + toward(other_) + "]}");
    EXPECT_EQ(read_bytes(dir_ / "out.json"), base_);
    // Refitting after a move fits the moved links again; fitting arcs to
    // that one polyline with the same radius range is the same refit.
    edited(move(curved_, 0, 2));
    const std::string moved = read_bytes(dir_ / "out.json");
    edited(move(curved_, 0, 2) + ",{\"op\":\"refit\"}");
    const std::string refitted = read_bytes(dir_ / "out.json");
    EXPECT_NE(refitted, moved);
    edited(move(curved_, 0, 2) + ",{\"op\":\"arc\",\"polyline\":" + std::to_string(curved_id_) + ",\"min\":1,\"max\":1000}");
    EXPECT_EQ(read_bytes(dir_ / "out.json"), refitted);
    // Without a script the file comes back as it was, in both formats.
    ASSERT_EQ(run_here({"centerline", dir_ / "d.pbm", "--arcs", "1,1000", "-q", "--no-refine", "-o", dir_ / "base.svg"}).status,
              0);
    ASSERT_EQ(run_here({"edit", dir_ / "base.json", "-q", "-o", dir_ / "again.json", "-o", dir_ / "again.svg"}).status, 0);
    EXPECT_EQ(read_bytes(dir_ / "again.json"), base_);
    EXPECT_EQ(read_bytes(dir_ / "again.svg"), read_bytes(dir_ / "base.svg"));
}

// A position names the live node within 5 px of it, whichever row it is in;
// 5.66 px (4, 4) away is too far.
TEST_F(Edit, APositionNamesTheNodeWithinTheClickRadius) {
    int k = 0;
    auto alone = [&](int i) {  // no other node within 12 px
        for (std::size_t j = 0; j < xy_.size(); ++j)
            if (static_cast<int>(j) != i &&
                std::hypot(xy_[j].first - xy_[i].first, xy_[j].second - xy_[i].second) < 12)
                return false;
        return true;
    };
    while (k < nodes_ && !alone(k)) ++k;
    ASSERT_LT(k, nodes_);
    const auto [x, y] = xy_[k];
    auto probe = [&](int dx, int dy) {
        return "{\"op\":\"move\",\"node\":[" + std::to_string(x + dx) + "," + std::to_string(y + dy) + "],\"to\":[" +
               std::to_string(x + 1) + "," + std::to_string(y) + "]}";
    };
    for (const auto &[dx, dy] : {std::pair{0, 5}, {0, -5}, {-5, 0}, {3, 4}})
        EXPECT_EQ(nth(edited(probe(dx, dy)).member("nodes"), k).member("x").number(), x + 1) << dx << "," << dy;
    for (const auto &[dx, dy] : {std::pair{0, 6}, {4, 4}, {-4, -4}}) {
        const RunResult r = edit(probe(dx, dy));
        EXPECT_EQ(r.status, 1) << dx << "," << dy;
        EXPECT_NE(r.err.find("no node within 5 px"), std::string::npos) << r.err;
    }
}

TEST_F(Edit, BadScriptsAreRefusedAndNothingIsWritten) {
    const std::size_t open_files = names_in("/proc/self/fd").size();
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
        {"{\"op\":\"connect\",\"stroke\":[1,2,3]}", "stroke must be an array of 4 numbers"},
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
    }
    write_bytes(dir_ / "ops.json", "{\"ops\":[],\"extra\":1}");
    RunResult r = run_here({"edit", dir_ / "base.json", "--ops", dir_ / "ops.json", "-o", dir_ / "never.json"});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("unknown member \"extra\""), std::string::npos) << r.err;
    r = run_here({"edit", dir_ / "base.json", "--background", "-o", dir_ / "x.svg"});  // no image to draw under
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("(see 'ktvec edit --help')"), std::string::npos) << r.err;
    EXPECT_EQ(names_in(dir_.path()), (std::vector<std::string>{"base.json", "d.pbm", "ops.json"}));
    EXPECT_EQ(names_in("/proc/self/fd").size(), open_files);  // every script file closed again
}

// A JSON result holds no pixels: with the scan (--image) a refined result
// is measured again after the edits, as the program measures a fresh one
// but for the nodes the edits placed, which stay where they were put; a
// result on pixel centres stays so, and a scan of another size is refused.
TEST_F(Edit, WithTheScanARefinedResultIsMeasuredAgain) {
    ASSERT_EQ(run_here({"centerline", dir_ / "d.pbm", "-q", "-o", dir_ / "refined.json"}).status, 0);
    auto edit_refined = [&](const std::string &ops, std::vector<std::string> more) {
        write_bytes(dir_ / "ops.json", "{\"ops\":[" + ops + "]}");
        std::vector<std::string> args = {"edit", dir_ / "refined.json", "--ops", dir_ / "ops.json", "-q", "-o",
                                         dir_ / "out.json"};
        args.insert(args.end(), more.begin(), more.end());
        const RunResult r = run_here(args);
        EXPECT_EQ(r.status, 0) << r.err;
        return read_bytes(dir_ / "out.json");
    };
    EXPECT_EQ(edit_refined("", {"--image", dir_ / "d.pbm"}), read_bytes(dir_ / "refined.json"));
    // A node moved one pixel along the ink: measured, it would go back to
    // the middle of its stroke.
    const JsonDocument measured(edit_refined(move(mid_, 1, 1), {"--image", dir_ / "d.pbm"}));
    EXPECT_TRUE(measured.root().member("refined").valid());
    const JsonValue moved = nth(measured.root().member("nodes"), mid_);
    EXPECT_EQ(moved.member("rx").number(), xy_[mid_].first + 1);
    EXPECT_EQ(moved.member("ry").number(), xy_[mid_].second + 1);
    EXPECT_FALSE(JsonDocument(edit_refined(move(mid_, 1, 1), {})).root().member("refined").valid());
    // base.json was written with --no-refine.
    ASSERT_EQ(run_here({"edit", dir_ / "base.json", "--image", dir_ / "d.pbm", "-q", "-o", dir_ / "raw.json"}).status, 0);
    EXPECT_EQ(read_bytes(dir_ / "raw.json"), base_);
    write_bytes(dir_ / "small.pbm", "P1\n2 2\n1 0 0 1\n");
    const RunResult r = run_here({"edit", dir_ / "refined.json", "--image", dir_ / "small.pbm", "-o", dir_ / "never.json"});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("the scan is 2 x 2 pixels"), std::string::npos) << r.err;
    EXPECT_EQ(read_bytes(dir_ / "never.json"), "");
}

namespace {

// The lines of a result's sub-pixel geometry: source and points.
struct DrawnLine {
    int source;
    std::vector<std::pair<double, double>> points;
};

std::vector<DrawnLine> drawn_lines(const std::string &json) {
    const JsonDocument doc(json);
    std::vector<DrawnLine> lines;
    for (JsonValue l = doc.root().member("refined").first(); l.valid(); l = l.next()) {
        lines.push_back({static_cast<int>(l.member("source").number()), {}});
        for (JsonValue p = l.member("points").first(); p.valid(); p = p.next())
            lines.back().points.emplace_back(p.first().number(), p.first().next().number());
    }
    return lines;
}

double path_length(const std::vector<std::pair<double, double>> &p) {
    double length = 0;
    for (std::size_t i = 1; i < p.size(); ++i) length += std::hypot(p[i].first - p[i - 1].first, p[i].second - p[i - 1].second);
    return length;
}

// Distance from (x, y) to the nearest side of a closed ring.
double off_ring(const std::vector<std::pair<double, double>> &ring, double x, double y) {
    double best = 1e9;
    for (std::size_t i = 1; i < ring.size(); ++i) {
        const auto [ax, ay] = ring[i - 1];
        const auto [bx, by] = ring[i];
        const double dx = bx - ax, dy = by - ay, side = dx * dx + dy * dy;
        const double t = side > 0 ? std::clamp(((x - ax) * dx + (y - ay) * dy) / side, 0.0, 1.0) : 0;
        best = std::min(best, std::hypot(x - ax - t * dx, y - ay - t * dy));
    }
    return best;
}

}  // namespace

// Outlines of a drawing with one pen 3.4 px wide (level strokes and the
// slanted ones its width is measured from): with the scan, each result is
// measured again as it was made, with or without the pen's widths.
TEST_F(Edit, OutlinesAreMeasuredAgainWithTheirPenWidths) {
    Bitmap b(160, 120);
    auto stroke = [&b](double ax, double ay, double bx, double by) {
        const double dx = bx - ax, dy = by - ay, dd = dx * dx + dy * dy;
        for (int y = 0; y < 120; ++y)
            for (int x = 0; x < 160; ++x) {
                const double t = std::clamp(((x - ax) * dx + (y - ay) * dy) / dd, 0.0, 1.0);
                if (std::hypot(x - ax - t * dx, y - ay - t * dy) <= 1.7) b.set(x, y);
            }
    };
    for (int k = 0; k < 8; ++k) stroke(6, 8 + 13.1 * k, 90, 8 + 13.1 * k);
    for (int k = 0; k < 3; ++k) stroke(100, 10 + 35 * k, 150, 30 + 35 * k);
    write_bytes(dir_ / "p.pbm", pbm_raw(b));
    for (const std::string pens : {"--pen-widths", "--no-pen-widths"}) {
        ASSERT_EQ(run_here({"outline", dir_ / "p.pbm", pens, "-q", "-o", dir_ / (pens + ".json")}).status, 0);
        ASSERT_EQ(run_here({"edit", dir_ / (pens + ".json"), "--image", dir_ / "p.pbm", "-q", "-o", dir_ / "again.json"}).status, 0);
        EXPECT_EQ(read_bytes(dir_ / "again.json"), read_bytes(dir_ / (pens + ".json"))) << pens;
    }
    EXPECT_NE(read_bytes(dir_ / "--pen-widths.json"), read_bytes(dir_ / "--no-pen-widths.json"));
}

// Outlines measured again after edits: a ring stays exactly as it was while
// the polylines that traced it are unchanged; a changed polyline takes its
// part of the ring away and is drawn through its nodes (a moved node where
// it was put, the others on the ring, kept links along it); a deleted
// outline takes its ring with it.
TEST_F(Edit, AnEditedOutlineIsDrawnInPlaceOfItsRing) {
    Bitmap b(40, 34);
    auto fill = [&b](int x0, int y0, int x1, int y1, bool ink) {
        for (int y = y0; y <= y1; ++y)
            for (int x = x0; x <= x1; ++x) b.set(x, y, ink);
    };
    fill(3, 3, 14, 12, true);    // a block: ring 0, one closed polyline
    fill(20, 3, 34, 14, true);   // a frame: its border, ring 1 ...
    fill(24, 6, 30, 11, false);  // ... and its hole, ring 2
    fill(3, 20, 30, 20, true);   // a line one pixel wide: ring 3, one open polyline
    fill(3, 24, 30, 24, true);   // a T one pixel wide: ring 4, a polyline each
    fill(16, 24, 16, 31, true);  // from the joint
    write_bytes(dir_ / "o.pbm", pbm_raw(b));
    ASSERT_EQ(run_here({"outline", dir_ / "o.pbm", "-q", "-o", dir_ / "o.json"}).status, 0);
    const std::string fresh = read_bytes(dir_ / "o.json");
    const std::vector<DrawnLine> rings = drawn_lines(fresh);
    ASSERT_EQ(rings.size(), 5u);
    // The block's polyline: the one through its node at (4, 3).
    int block = 0;
    {
        const JsonDocument doc(fresh);
        int index = 0, corner = -1;
        for (JsonValue n = doc.root().member("nodes").first(); n.valid(); n = n.next(), ++index)
            if (n.member("x").number() == 4 && n.member("y").number() == 3) corner = index;
        for (JsonValue p = doc.root().member("polylines").first(); p.valid() && !block; p = p.next())
            for (JsonValue k = p.member("nodes").first(); k.valid(); k = k.next())
                if (k.number() == corner) block = static_cast<int>(p.member("id").number());
        ASSERT_GT(block, 0);
    }
    const std::string split = "{\"op\":\"split\",\"polyline\":" + std::to_string(block) + ",\"node\":[13,12]}";
    const struct {
        std::string ops;
        std::vector<int> kept;          // rings drawn whole as they were
        int parts;                      // lines of the rest of a ring
        int lines;                      // drawn from polylines
        std::vector<double> placed;     // x, y of a node the edits placed, drawn there; none: every point on a ring
        bool whole;                     // the drawn lines run the whole block ring
    } cases[] = {
        {"", {0, 1, 2, 3, 4}, 0, 0, {}, false},
        {"{\"op\":\"move\",\"node\":[4,3],\"to\":[5,1]}", {1, 2, 3, 4}, 0, 1, {5, 1}, false},
        {"{\"op\":\"move\",\"node\":[4,3],\"to\":[5,1]},{\"op\":\"move\",\"node\":[5,1],\"to\":[4,3]}", {0, 1, 2, 3, 4}, 0, 0, {}, false},
        {"{\"op\":\"move\",\"node\":[4,3],\"to\":[5,1]},{\"op\":\"undo\"}", {0, 1, 2, 3, 4}, 0, 0, {}, false},
        {"{\"op\":\"move\",\"node\":[30,20],\"to\":[35,22]}", {0, 1, 2, 4}, 0, 1, {35, 22}, false},
        {"{\"op\":\"move\",\"node\":[16,31],\"to\":[18,31]}", {0, 1, 2, 3}, 1, 1, {18, 31}, false},
        {"{\"op\":\"insert\",\"at\":[23,24],\"margin\":0.05,\"maxdistance\":3}", {0, 1, 2, 3}, 1, 1, {23, 24}, false},
        {"{\"op\":\"delete-polyline\",\"node\":[24,5]}", {0, 1, 3, 4}, 0, 0, {}, false},
        {"{\"op\":\"delete-node\",\"node\":[14,4]}", {1, 2, 3, 4}, 0, 1, {}, false},
        {split, {1, 2, 3, 4}, 0, 2, {}, true},
        {"{\"op\":\"notch\",\"node\":[13,12],\"radius\":3,\"depth\":2}", {1, 2, 3, 4}, 0, 1, {}, false},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.ops);
        write_bytes(dir_ / "ops.json", "{\"ops\":[" + c.ops + "]}");
        const RunResult r = run_here({"edit", dir_ / "o.json", "--ops", dir_ / "ops.json", "--image", dir_ / "o.pbm", "-q", "-o",
                                      dir_ / "out.json"});
        ASSERT_EQ(r.status, 0) << r.err;
        const std::string out = read_bytes(dir_ / "out.json");
        if (c.ops.empty()) {
            EXPECT_EQ(out, fresh);
        }
        const std::vector<DrawnLine> lines = drawn_lines(out);
        std::vector<int> kept;
        std::vector<const DrawnLine *> drawn, parts;
        for (const DrawnLine &l : lines) {
            if (l.source > 0) drawn.push_back(&l);
            for (std::size_t k = 0; k < rings.size(); ++k)
                if (l.source == 0 && l.points == rings[k].points) kept.push_back(static_cast<int>(k));
            if (l.source == 0 && std::none_of(rings.begin(), rings.end(), [&](const DrawnLine &r) { return r.points == l.points; }))
                parts.push_back(&l);
        }
        EXPECT_EQ(kept, c.kept);
        ASSERT_EQ(static_cast<int>(parts.size()), c.parts);
        for (const DrawnLine *part : parts)  // what is left of the T's ring
            for (const auto &[x, y] : part->points) EXPECT_LT(off_ring(rings[4].points, x, y), 1e-3) << x << "," << y;
        ASSERT_EQ(static_cast<int>(drawn.size()), c.lines);
        // What is left of a ring meets the lines drawn anew where they end,
        // not where the owner of the ring's points changed: the outline
        // stays closed.
        auto meets = [&drawn](std::pair<double, double> p) {
            return std::any_of(drawn.begin(), drawn.end(), [&p](const DrawnLine *l) {
                return std::hypot(l->points.front().first - p.first, l->points.front().second - p.second) < 1e-3 ||
                       std::hypot(l->points.back().first - p.first, l->points.back().second - p.second) < 1e-3;
            });
        };
        for (const DrawnLine *part : parts) EXPECT_TRUE(meets(part->points.front()) && meets(part->points.back()));
        bool placed_there = false;
        double length = 0;
        for (const DrawnLine *l : drawn) {
            length += path_length(l->points);
            for (const auto &[x, y] : l->points) {
                if (!c.placed.empty() && x == c.placed[0] && y == c.placed[1]) {
                    placed_there = true;
                    continue;
                }
                double off = 1e9;
                for (const DrawnLine &ring : rings) off = std::min(off, off_ring(ring.points, x, y));
                if (c.ops.find("notch") == std::string::npos) {
                    EXPECT_LT(off, 1e-3) << x << "," << y;
                }
            }
        }
        EXPECT_EQ(placed_there, !c.placed.empty());
        if (c.whole) {
            EXPECT_NEAR(length, path_length(rings[0].points), 1e-3);
        }
    }
}
