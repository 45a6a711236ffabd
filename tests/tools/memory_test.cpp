// Memory shortage anywhere in a run (reading, pre-cleaning, vectorizing,
// post-processing, writing, the SVG background, reading a result back and
// editing it with an undo snapshot) ends the program with one line that
// says so, exit status 1, and no output file.  The runs are in-process so
// that the allocation seam can fail each request in turn.
#include <gtest/gtest.h>

#include <algorithm>

#include "support.h"
#include "sweep.h"

namespace {

// Sweeps the allocation requests of one run with `args`, which writes
// `outputs` into `dir`, every request for small runs and an even spread of
// about 300 otherwise.  A run that succeeds although a request failed (one
// the run can do without) must write exactly what the run without failures
// wrote: a result the library reports incomplete is an error.  Returns how
// many runs succeeded so.  With `sticky` every request after the failing
// one fails too; without, only that one.
long sweep_run(const std::vector<std::string> &args, const TempDir &dir, const std::vector<std::string> &outputs,
               bool sticky = true) {
    const std::vector<std::string> inputs = dir.names();
    std::vector<std::string> all = inputs;
    all.insert(all.end(), outputs.begin(), outputs.end());
    std::sort(all.begin(), all.end());
    ktv::mem_reset_requests();
    EXPECT_EQ(run_here(args).status, 0);
    const long total = ktv::mem_requests();
    std::vector<std::string> expected;
    for (const std::string &o : outputs) {
        expected.push_back(read_bytes(dir / o));
        std::remove((dir / o).c_str());
    }
    long succeeded = 0;
    sweep([&](long n) {
        RunResult r;
        ktv::mem_reset_requests();
        fails_at(n, [&] { r = run_here(args); }, sticky);
        if (r.status == 0) {
            EXPECT_EQ(r.err, "") << "request " << n;
            EXPECT_EQ(dir.names(), all) << "request " << n;
            for (std::size_t i = 0; i < outputs.size(); ++i) {
                EXPECT_TRUE(read_bytes(dir / outputs[i]) == expected[i]) << outputs[i] << " differs, request " << n;
                std::remove((dir / outputs[i]).c_str());
            }
            ++succeeded;
        } else {
            EXPECT_EQ(r.status, 1) << "request " << n;
            EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
            EXPECT_NE(r.err.find("memory"), std::string::npos) << r.err;
            EXPECT_EQ(dir.names(), inputs) << "request " << n;
        }
        return n + std::max(1L, total / 300) <= total && !::testing::Test::HasFailure();
    }, std::max(1L, total / 300));
    return succeeded;
}

}  // namespace

TEST(Memory, EveryFailingRequestEndsTheRunCleanly) {
    TempDir dir;
    write_bytes(dir / "d.png", png_of(sample_drawing(), PngKind::Rgba8));
    // Only the few shrinking requests may fail harmlessly.
    EXPECT_LT(sweep_run({"outline-fast", dir / "d.png", "-o", dir / "d.svg", "-o", dir / "d.json", "--background", "-q"},
                        dir, {"d.json", "d.svg"}),
              5);
    // The clean-up passes go on past a merge or a link that found no
    // memory; the library records such a run as incomplete and the program
    // refuses its result, so what is written is always the whole result.
    // Also with one request failing alone: the clean-up steps after it find
    // memory.
    std::remove((dir / "d.png").c_str());
    write_bytes(dir / "s.png", png_of(stroke_drawing(), PngKind::Rgba8));
    for (bool sticky : {true, false})
        for (const char *spurs : {"--maxlength=8", "--spur-nodes=3"})
            sweep_run({spurs[2] == 'm' ? "centerline" : "outline", dir / "s.png", "-o", dir / "s.svg", "-o",
                       dir / "s.json", spurs, "--arcs", "1,100", "-q"},
                      dir, {"s.json", "s.svg"}, sticky);
}

TEST(Memory, EditSurvivesEveryFailingRequest) {
    TempDir dir;
    write_bytes(dir / "d.pbm", pbm_raw(stroke_drawing()));
    ASSERT_EQ(run_here({"centerline", dir / "d.pbm", "--arcs", "1,1000", "--splines", "2", "-q", "-o", dir / "d.json"}).status, 0);
    std::remove((dir / "d.pbm").c_str());
    write_bytes(dir / "ops.json",
                "{\"ops\":[{\"op\":\"move\",\"node\":1,\"to\":[20,8]},{\"op\":\"undo\"},"
                "{\"op\":\"insert\",\"at\":[70,11],\"margin\":0.05,\"maxdistance\":3},{\"op\":\"refit\"}]}");
    sweep_run({"edit", dir / "d.json", "--ops", dir / "ops.json", "-q", "-o", dir / "e.json", "-o", dir / "e.svg"}, dir,
              {"e.json", "e.svg"});
}
