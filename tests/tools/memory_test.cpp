// Memory shortage anywhere in a run (reading, vectorizing, writing, the SVG
// background) ends the program with one line that says so, exit status 1,
// and no output file.  The run is made in-process so that the allocation
// seam can fail each request in turn.
#include <gtest/gtest.h>

#include <algorithm>

#include "cli.h"
#include "error.h"
#include "image.h"
#include "tool_support.h"
#include "vectorizer/memory.h"

namespace {

int run_in_process(std::vector<std::string> args) {
    args.insert(args.begin(), "ktvec");
    std::vector<char *> argv;
    for (std::string &a : args) argv.push_back(&a[0]);
    return ktvcli::run(static_cast<int>(argv.size()), argv.data());
}

}  // namespace

TEST(Memory, BitmapAllocationFailureIsReported) {
    const std::string file = pbm_raw(sample_drawing());
    ktv::mem_fail_at(1);
    try {
        ktvcli::decode_image(reinterpret_cast<const unsigned char *>(file.data()), file.size(), {});
        ADD_FAILURE() << "no error";
    } catch (const ktvcli::CliError &e) {
        EXPECT_STREQ(e.what(), "image of 61x43 pixels is too large for memory");
    }
    ktv::mem_fail_at(0);
}

// Sweeps the allocation requests of one whole run with `args`, which
// writes `outputs` into `dir`.  A run that succeeds although a request
// failed must write exactly what the run without failures wrote: a result
// the library reports incomplete is an error.  Returns how many runs
// succeeded so.  With `sticky` every request after the failing one fails
// too; without, only that one.
long sweep_run(const std::vector<std::string> &args, const TempDir &dir, const std::vector<std::string> &outputs,
               bool sticky = true) {
    const std::vector<std::string> inputs = dir.names();
    std::vector<std::string> all = inputs;
    all.insert(all.end(), outputs.begin(), outputs.end());
    std::sort(all.begin(), all.end());
    auto remove_outputs = [&] {
        for (const std::string &o : outputs) std::remove((dir / o).c_str());
    };
    ktv::mem_reset_requests();
    EXPECT_EQ(run_in_process(args), 0);
    const long total = ktv::mem_requests();
    EXPECT_GT(total, 5);
    std::vector<std::string> expected;
    for (const std::string &o : outputs) expected.push_back(read_bytes(dir / o));
    remove_outputs();

    // Every request for small runs, an even spread of about 300 otherwise.
    const long step = std::max(1L, total / 300);
    long succeeded = 0;
    for (long n = 1; n <= total; n += step) {
        SCOPED_TRACE(args[0] + " request " + std::to_string(n));
        testing::internal::CaptureStderr();
        ktv::mem_reset_requests();
        ktv::mem_fail_at(n, sticky);
        const int status = run_in_process(args);
        ktv::mem_fail_at(0);
        const std::string err = testing::internal::GetCapturedStderr();
        // Either the request was one the run can do without and it
        // succeeded completely, or it failed with one line and left nothing.
        if (status == 0) {
            EXPECT_EQ(err, "");
            EXPECT_EQ(dir.names(), all);
            for (std::size_t i = 0; i < outputs.size(); ++i)
                EXPECT_TRUE(read_bytes(dir / outputs[i]) == expected[i]) << outputs[i] << " differs";
            remove_outputs();
            ++succeeded;
            continue;
        }
        EXPECT_EQ(status, 1);
        EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 1) << err;
        EXPECT_NE(err.find("memory"), std::string::npos) << err;
        EXPECT_EQ(dir.names(), inputs);
    }
    return succeeded;
}

// The same for a vectorizing command on d.png.
long sweep(const std::string &command, const TempDir &dir, const std::vector<std::string> &options = {},
           bool sticky = true) {
    std::vector<std::string> args = {command, dir / "d.png", "-o", dir / "d.svg",
                                     "-o", dir / "d.json", "--background", "-q"};
    args.insert(args.end(), options.begin(), options.end());
    return sweep_run(args, dir, {"d.json", "d.svg"}, sticky);
}

TEST(Memory, EveryFailingRequestEndsTheRunCleanly) {
    TempDir dir;
    write_bytes(dir / "d.png", png_of(sample_drawing(), PngKind::Rgba8));
    // Only the few shrinking requests may fail harmlessly.
    EXPECT_LT(sweep("outline-fast", dir), 5);
}

// The clean-up passes go on past a merge or a link that found no memory;
// the library records such a run as incomplete and the program refuses its
// result, so what is written is always the whole result, and a failed run
// leaves nothing.
TEST(Memory, CleanedUpDriversSurviveEveryFailingRequest) {
    TempDir dir;
    write_bytes(dir / "d.png", png_of(stroke_drawing(), PngKind::Rgba8));
    sweep("centerline", dir);
    sweep("outline", dir, {"--spur-nodes", "3"});
    // One request failing alone: the clean-up steps after it find memory.
    sweep("centerline", dir, {}, false);
    sweep("outline", dir, {"--spur-nodes", "3"}, false);
}

// Reading a result back, editing it with an undo snapshot and refitting:
// every failing request ends the run with one line and no output.
TEST(Memory, EditSurvivesEveryFailingRequest) {
    TempDir dir;
    write_bytes(dir / "d.pbm", pbm_raw(stroke_drawing()));
    ASSERT_EQ(run_in_process({"centerline", dir / "d.pbm", "--arcs", "1,1000", "--splines", "2", "-q", "-o",
                              dir / "d.json"}),
              0);
    std::remove((dir / "d.pbm").c_str());
    write_bytes(dir / "ops.json",
                "{\"ops\":[{\"op\":\"move\",\"node\":1,\"to\":[20,8]},{\"op\":\"undo\"},"
                "{\"op\":\"insert\",\"at\":[70,11],\"margin\":0.05,\"maxdistance\":3},{\"op\":\"refit\"}]}");
    sweep_run({"edit", dir / "d.json", "--ops", dir / "ops.json", "-q", "-o", dir / "e.json", "-o", dir / "e.svg"},
              dir, {"e.json", "e.svg"});
}
