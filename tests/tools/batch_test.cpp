// ktvec batch: whatever the number of workers, the same files with the same
// bytes as the single command writes; a broken input is reported with its
// reason, makes the exit status non-zero and leaves no file behind.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <thread>

#include "batch.h"
#include "tool_support.h"
#include "vectorizer/memory.h"

namespace {

struct Sheet {
    TempDir dir;
    std::string in;
    Sheet() : in(dir / "in") { ::mkdir(in.c_str(), 0777); }
    std::string input(const std::string &name) const { return in + "/" + name; }
};

// Five images of three drawings in both formats, and one truncated file.
void fill(const Sheet &s) {
    write_bytes(s.input("sample.pbm"), pbm_raw(sample_drawing()));
    write_bytes(s.input("strokes.png"), png_of(stroke_drawing(), PngKind::Grey8));
    write_bytes(s.input("curves.pbm"), pbm_plain(fitting_drawing()));
    write_bytes(s.input("curves2.png"), png_of(fitting_drawing(), PngKind::Rgb8));
    write_bytes(s.input("strokes2.pbm"), pbm_raw(stroke_drawing(), true));
    const std::string whole = pbm_raw(sample_drawing());
    write_bytes(s.input("broken.pbm"), whole.substr(0, whole.size() / 2));
}

std::vector<std::string> files_of(const std::string &dir) {
    std::vector<std::string> names;
    for (const std::string &pattern : {dir + "/*", dir + "/.*"})
        for (const ktvcli::Input &in : ktvcli::expand_patterns({pattern}))
            if (in.problem.empty()) names.push_back(in.path.substr(dir.size() + 1));
    std::sort(names.begin(), names.end());
    return names;
}

// Opens the FIFO for writing once a reader has it open, waiting at most
// ten seconds; -1 when none came.
int open_when_read(const std::string &fifo) {
    const auto give_up = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    for (;;) {
        const int fd = ::open(fifo.c_str(), O_WRONLY | O_NONBLOCK);
        if (fd >= 0) {
            ::fcntl(fd, F_SETFL, 0);  // blocking writes from here on
            return fd;
        }
        if (errno != ENXIO || std::chrono::steady_clock::now() > give_up) return -1;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
}

void put16(std::string &s, unsigned v) {
    s += static_cast<char>(v & 255);
    s += static_cast<char>(v >> 8 & 255);
}
void put32(std::string &s, std::uint32_t v) { put16(s, v & 0xffff), put16(s, v >> 16); }

// A little-endian TIFF of uncompressed 1-bit pages, white 0 as in PBM, one
// strip each.  Page number `broken` (from 1; 0 for none) has its strip
// placed far past the end of the file.
std::string tiff_pages(const std::vector<Bitmap> &pages, std::size_t broken) {
    std::string f = "II";
    put16(f, 42);
    std::size_t link = f.size();  // where the next directory's offset goes
    put32(f, 0);
    for (std::size_t i = 0; i < pages.size(); ++i) {
        const Bitmap &b = pages[i];
        const auto data = static_cast<std::uint32_t>(f.size());
        f.append(b.bits.begin(), b.bits.end());
        if (f.size() % 2) f += '\0';  // a directory starts on a word boundary
        const auto here = static_cast<std::uint32_t>(f.size());
        for (int k = 0; k < 4; ++k) f[link + k] = static_cast<char>(here >> 8 * k & 255);
        const std::uint32_t w = b.width, h = b.height, size = static_cast<std::uint32_t>(b.bits.size());
        const std::uint32_t strip = i + 1 == broken ? 1u << 30 : data;
        // tag, type (3 short, 4 long), value: one value each, sorted by tag
        const std::uint32_t entries[][3] = {{256, 4, w}, {257, 4, h},     {258, 3, 1}, {259, 3, 1},   {262, 3, 0},
                                            {273, 4, strip}, {277, 3, 1}, {278, 4, h}, {279, 4, size}};
        put16(f, std::size(entries));
        for (const auto &e : entries) put16(f, e[0]), put16(f, e[1]), put32(f, 1), put32(f, e[2]);
        link = f.size();
        put32(f, 0);
    }
    return f;
}

std::size_t count(const std::string &text, const std::string &what) {
    std::size_t n = 0;
    for (std::size_t p = text.find(what); p != std::string::npos; p = text.find(what, p + 1)) ++n;
    return n;
}

}  // namespace

TEST(Batch, SameBytesWithOneOrThreeWorkers) {
    const Sheet s;
    fill(s);
    std::vector<std::string> listing;
    std::vector<std::string> contents;
    for (const char *jobs : {"1", "3"}) {
        SCOPED_TRACE(jobs);
        const std::string out = s.dir / (std::string("out") + jobs);
        const RunResult r =
            run_ktvec({"batch", s.in + "/*", "-o", out, "--jobs", jobs, "--format", "svg,json,dxf"});
        EXPECT_EQ(r.status, 1) << r.err;
        // Each input gets one plain progress line (stderr is not a terminal),
        // and the summary names the broken file with its reason.
        EXPECT_EQ(count(r.err, "ktvec batch: ["), 6u) << r.err;
        EXPECT_NE(r.err.find("6 files, 5 pages"), std::string::npos) << r.err;
        EXPECT_NE(r.err.find("1 failed\n  " + s.input("broken.pbm") + ": truncated PBM data"), std::string::npos)
            << r.err;
        const std::vector<std::string> names = files_of(out);
        const std::vector<std::string> expected = {
            "curves.dxf",  "curves.json",  "curves.svg",  "curves2.dxf",  "curves2.json",  "curves2.svg",
            "sample.dxf",  "sample.json",  "sample.svg",  "strokes.dxf",  "strokes.json",  "strokes.svg",
            "strokes2.dxf", "strokes2.json", "strokes2.svg"};
        EXPECT_EQ(names, expected);  // nothing of the broken file, no temporary file
        std::vector<std::string> bytes;
        for (const std::string &n : names) bytes.push_back(read_bytes(out + "/" + n));
        if (listing.empty()) {
            listing = names, contents = bytes;
        } else {
            EXPECT_EQ(names, listing);
            EXPECT_TRUE(bytes == contents);
        }
    }
}

// The batch runs the single command's own path: same bytes, options included.
TEST(Batch, WritesWhatTheSingleCommandWrites) {
    const Sheet s;
    fill(s);
    const std::vector<std::vector<std::string>> option_sets = {
        {"centerline", "--tolerance", "2"},
        {"outline", "--spur-nodes=3", "--simplify", "1,0.2"},
        {"outline-fast", "--fill-holes", "0", "--no-smooth"},
    };
    for (const auto &o : option_sets) {
        SCOPED_TRACE(o[0]);
        const std::string single = s.dir / ("single-" + o[0] + ".json");
        std::vector<std::string> one = {o[0], s.input("strokes.png"), "-o", single};
        std::vector<std::string> many = {"batch", "--command", o[0], s.input("strokes.png"),
                                         s.input("sample.pbm"), "-o", s.dir / o[0], "--format=json", "-j", "2"};
        one.insert(one.end(), o.begin() + 1, o.end());
        many.insert(many.end(), o.begin() + 1, o.end());
        ASSERT_EQ(run_ktvec(one).status, 0);
        const RunResult r = run_ktvec(many);
        ASSERT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(read_bytes(s.dir / o[0] + "/strokes.json"), read_bytes(single));
    }
}

TEST(Batch, OutputNamesAreUniqueInInputOrder) {
    struct Case {
        std::vector<std::string> inputs, stems;
    };
    const Case cases[] = {
        {{"a/x.png", "b/x.pbm", "x.tif"}, {"x", "x-2", "x-3"}},
        {{"x.png", "x-2.png", "x.pbm"}, {"x", "x-2", "x-3"}},
        {{"x-2.png", "x.png", "x.pbm"}, {"x-2", "x", "x-3"}},
        {{"dir.v1/scan", ".hidden", "a.b.png", "a.b.pbm"}, {"scan", ".hidden", "a.b", "a.b-2"}},
    };
    for (const Case &c : cases) EXPECT_EQ(ktvcli::output_stems(c.inputs), c.stems);
}

TEST(Batch, PatternsExpandedOnceEach) {
    const Sheet s;
    fill(s);
    const std::vector<ktvcli::Input> got = ktvcli::expand_patterns(
        {s.in + "/curves*", s.in + "/../in/curves.pbm", s.in + "/*.{png,pbm}", s.in + "/*.gif", s.in + "/none.pbm"});
    std::vector<std::string> paths, problems;
    for (const ktvcli::Input &in : got) paths.push_back(in.path), problems.push_back(in.problem);
    // {png,pbm} expands the braces first: every png, then every pbm.
    const std::vector<std::string> order = {s.input("curves.pbm"), s.input("curves2.png"), s.input("strokes.png"),
                                            s.input("broken.pbm"),  s.input("sample.pbm"),  s.input("strokes2.pbm"),
                                            s.in + "/*.gif",        s.input("none.pbm")};
    EXPECT_EQ(paths, order);
    EXPECT_EQ(problems[6], s.in + "/*.gif: no file matches");
    EXPECT_EQ(problems[7], "");  // a plain name is read, and reading says what is wrong
}

TEST(Batch, FailuresAndTheirExitStatus) {
    const Sheet s;
    fill(s);
    struct Case {
        std::vector<std::string> args;
        int status;
        std::string says;
    };
    const std::string out = s.dir / "out";
    const Case cases[] = {
        {{s.input("sample.pbm"), "-o", out}, 0, "1 file, 1 page"},
        {{s.input("sample.pbm"), s.in + "/*.gif", "-o", out}, 1, "*.gif: no file matches"},
        {{s.input("none.pbm"), "-o", out}, 1, "none.pbm: cannot open"},
        {{s.input("sample.pbm")}, 2, "give one output folder"},
        {{s.input("sample.pbm"), "-o", out, "-o", out + "2"}, 2, "give one output folder"},
        {{"-o", out}, 2, "no input files"},
        {{s.input("sample.pbm"), "-o", out, "--jobs", "0"}, 2, "--jobs: '0'"},
        {{s.input("sample.pbm"), "-o", out, "--command", "edit"}, 2, "--command: 'edit'"},
        {{s.input("sample.pbm"), "-o", out, "--format", "svg,xml"}, 2, "--format: 'xml'"},
        {{s.input("sample.pbm"), "-o", out, "--format", "json", "--background"}, 2, "--background needs"},
        {{s.input("sample.pbm"), "-o", out, "--tolerance", "x"}, 2, "--tolerance: 'x'"},
        {{s.input("sample.pbm"), "-o", s.input("sample.pbm")}, 1, "not a folder"},
    };
    for (const Case &c : cases) {
        std::vector<std::string> args = {"batch"};
        args.insert(args.end(), c.args.begin(), c.args.end());
        const RunResult r = run_ktvec(args);
        SCOPED_TRACE(args.back());
        EXPECT_EQ(r.status, c.status) << r.err;
        EXPECT_NE(r.err.find(c.says), std::string::npos) << r.err;
    }
}

// A file whose clean-up ran out of memory part-way fails with its reason
// and leaves no output; the other file is written.  One worker: the
// calling thread, whose allocation requests the test can make fail.
TEST(Batch, IncompleteCleanUpFailsItsFile) {
    const Sheet s;
    write_bytes(s.input("a.pbm"), pbm_raw(stroke_drawing()));
    write_bytes(s.input("b.pbm"), pbm_raw(sample_drawing()));
    const std::string out = s.dir / "out";
    int reported = 0;
    for (long n = 1; n < 4000 && reported == 0; ++n) {
        std::vector<std::string> args = {s.input("a.pbm"), s.input("b.pbm"), "-o", out, "--jobs", "1"};
        std::vector<char *> argv;
        for (std::string &a : args) argv.push_back(&a[0]);
        testing::internal::CaptureStderr();
        ktv::mem_fail_at(n);
        const int status = ktvcli::run_batch(static_cast<int>(argv.size()), argv.data());
        ktv::mem_fail_at(0);
        const std::string err = testing::internal::GetCapturedStderr();
        const std::vector<std::string> written = files_of(out);
        for (const std::string &f : written) std::remove((out + "/" + f).c_str());
        if (err.find("result incomplete") == std::string::npos) continue;
        ++reported;
        SCOPED_TRACE(err);
        EXPECT_EQ(status, 1);
        EXPECT_EQ(count(err, "result incomplete"), 2u);  // its progress line and the summary
        const bool first = err.find("a.pbm: out of memory") != std::string::npos;
        EXPECT_EQ(written, std::vector<std::string>{first ? "b.svg" : "a.svg"});
    }
    EXPECT_EQ(reported, 1);
}

// The workers take the largest files first (one worker: one after the
// other); the summary still follows the input order.
TEST(Batch, LargestFilesFirst) {
    const Sheet s;
    write_bytes(s.input("small.pbm"), pbm_raw(stroke_drawing()));
    write_bytes(s.input("large.pbm"), pbm_plain(sample_drawing()));
    write_bytes(s.input("broken.pbm"), "P4\n1 1\n");
    const RunResult r = run_ktvec({"batch", s.input("small.pbm"), s.input("broken.pbm"), s.input("large.pbm"),
                                   "-o", s.dir / "out", "-j", "1"});
    EXPECT_EQ(r.status, 1);
    const std::size_t large = r.err.find("[1/3] " + s.input("large.pbm"));
    const std::size_t small = r.err.find("[2/3] " + s.input("small.pbm"));
    const std::size_t broken = r.err.find("[3/3] failed: " + s.input("broken.pbm"));
    EXPECT_TRUE(large < small && small < broken && broken != std::string::npos) << r.err;
}

// Interrupted while an image is in hand: that image is finished and written,
// no other one is started, nothing half-written is left.  The image in hand
// is a FIFO, so the signal arrives while the worker is surely reading it
// (--page 1: the FIFO is read once, not first for its page count).
TEST(Batch, InterruptFinishesTheImageInHand) {
    const Sheet s;
    const std::string image = pbm_raw(sample_drawing());
    write_bytes(s.input("a.pbm"), image);
    write_bytes(s.input("c.pbm"), "");  // the workers take larger files first: c comes after the FIFO
    ASSERT_EQ(::mkfifo(s.input("b.pbm").c_str(), 0600), 0);
    const std::string out = s.dir / "out", err = s.dir / "err.txt";
    std::vector<std::string> args = {KTVEC_CLI_PATH, "batch", s.input("a.pbm"), s.input("b.pbm"),
                                     s.input("c.pbm"), "-o", out, "--jobs", "1", "--page", "1"};
    std::vector<char *> argv;
    for (std::string &a : args) argv.push_back(&a[0]);
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 2, err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    pid_t pid = 0;
    ASSERT_EQ(posix_spawn(&pid, KTVEC_CLI_PATH, &actions, nullptr, argv.data(), environ), 0);
    posix_spawn_file_actions_destroy(&actions);
    const int fd = open_when_read(s.input("b.pbm"));
    if (fd < 0) {
        ::kill(pid, SIGKILL);
        ::waitpid(pid, nullptr, 0);
        FAIL() << "the batch never opened the FIFO";
    }
    ::kill(pid, SIGINT);
    EXPECT_EQ(::write(fd, image.data(), image.size()), static_cast<ssize_t>(image.size()));
    ::close(fd);
    int status = 0;
    ASSERT_EQ(::waitpid(pid, &status, 0), pid);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 128 + SIGINT);
    EXPECT_EQ(files_of(out), (std::vector<std::string>{"a.svg", "b.svg"}));
    EXPECT_NE(read_bytes(out + "/b.svg").find("</svg>"), std::string::npos);
    EXPECT_NE(read_bytes(err).find("interrupted, 1 of 3 files not started"), std::string::npos) << read_bytes(err);
}

// Every page of a multi-page file gets its own outputs, numbered; a page
// that cannot be read is a failure of the file, and the other pages are
// still written.
TEST(Batch, EveryPageOfATiff) {
#ifndef KTVEC_HAVE_TIFF
    GTEST_SKIP() << "built without libtiff";
#endif
    const Sheet s;
    write_bytes(s.input("scan.tif"), tiff_pages({sample_drawing(), stroke_drawing(), fitting_drawing()}, 2));
    write_bytes(s.input("scan.pbm"), pbm_raw(stroke_drawing()));
    const RunResult r = run_ktvec({"batch", s.input("scan.*"), "-o", s.dir / "out", "--format", "json"});
    EXPECT_EQ(r.status, 1);
    // scan.pbm comes first in the sorted matches and keeps the plain name.
    EXPECT_EQ(files_of(s.dir / "out"), (std::vector<std::string>{"scan-2-p1.json", "scan-2-p3.json", "scan.json"}));
    EXPECT_NE(r.err.find("2 files, 3 pages"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("1 failed\n  " + s.input("scan.tif") + ": "), std::string::npos) << r.err;
    EXPECT_NE(r.err.find(" (page 2)\n"), std::string::npos) << r.err;
    // A page is what the single command makes of it.
    const RunResult one = run_ktvec({"centerline", s.input("scan.tif"), "--page", "3", "-o", s.dir / "p3.json"});
    ASSERT_EQ(one.status, 0);
    EXPECT_EQ(read_bytes(s.dir / "out/scan-2-p3.json"), read_bytes(s.dir / "p3.json"));
}
