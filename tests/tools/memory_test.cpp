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

// Sweeps the allocation requests of one whole run of `command`.  Returns
// how many runs succeeded although a request failed.
long sweep(const std::string &command, const TempDir &dir, const std::vector<std::string> &options = {}) {
    std::vector<std::string> args = {command, dir / "d.png", "-o", dir / "d.svg",
                                     "-o", dir / "d.json", "--background", "-q"};
    args.insert(args.end(), options.begin(), options.end());
    ktv::mem_reset_requests();
    EXPECT_EQ(run_in_process(args), 0);
    const long total = ktv::mem_requests();
    EXPECT_GT(total, 5);
    std::remove((dir / "d.svg").c_str());
    std::remove((dir / "d.json").c_str());

    // Every request for small runs, an even spread of about 300 otherwise.
    const long step = std::max(1L, total / 300);
    long succeeded = 0;
    for (long n = 1; n <= total; n += step) {
        SCOPED_TRACE(command + " request " + std::to_string(n));
        testing::internal::CaptureStderr();
        ktv::mem_reset_requests();
        ktv::mem_fail_at(n, true);
        const int status = run_in_process(args);
        ktv::mem_fail_at(0);
        const std::string err = testing::internal::GetCapturedStderr();
        // Either the request was one the run can do without and it
        // succeeded completely, or it failed with one line and left nothing.
        if (status == 0) {
            EXPECT_EQ(err, "");
            EXPECT_EQ(dir.names(), (std::vector<std::string>{"d.json", "d.png", "d.svg"}));
            std::remove((dir / "d.svg").c_str());
            std::remove((dir / "d.json").c_str());
            ++succeeded;
            continue;
        }
        EXPECT_EQ(status, 1);
        EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 1) << err;
        EXPECT_NE(err.find("memory"), std::string::npos) << err;
        EXPECT_EQ(dir.names(), std::vector<std::string>{"d.png"});
    }
    return succeeded;
}

TEST(Memory, EveryFailingRequestEndsTheRunCleanly) {
    TempDir dir;
    write_bytes(dir / "d.png", png_of(sample_drawing(), PngKind::Rgba8));
    // Only the few shrinking requests may fail harmlessly.
    EXPECT_LT(sweep("outline-fast", dir), 5);
}

// The clean-up passes go on past a merge or a link that found no memory, so
// failures there may leave a complete result; what is written must still be
// whole, and a failed run must leave nothing.
TEST(Memory, CleanedUpDriversSurviveEveryFailingRequest) {
    TempDir dir;
    write_bytes(dir / "d.png", png_of(stroke_drawing(), PngKind::Rgba8));
    sweep("centerline", dir);
    sweep("outline", dir, {"--spur-nodes", "3"});
}
