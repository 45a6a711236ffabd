// Allocation-failure sweep over each driver: the run is repeated with its
// 1st, 2nd, 3rd ... allocation failing until one needs no failure.  After
// every failed run the result is -1000, or 0 with the clean-up recorded
// incomplete (its passes go on past a step that found no memory), or the
// clean run's graph (a fallback absorbed the failure); the graph keeps its
// structural rules, and the same vectorizer runs again, complete, to the
// result of a clean run; the sanitizer build reports any leak on the way.  (Editing calls are swept in
// tests/cleanup/random_edit_test.cpp, the undo copy in tests/undo.)
#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <string>
#include <vector>

#include "bitmap.h"
#include "invariants.h"
#include "sweep.h"
#include "vectorizer/geometry.h"

namespace {

// Strokes with a T junction, a crossing, a ring, a thick bar and a speck on
// a padded stride: every stage and every clean-up pass has work to do.
Bitmap drawing() {
    Bitmap b(72, 48, 10);
    for (int x = 4; x < 40; ++x) disc(b, x, 6, 1);   // bar
    for (int y = 6; y < 40; ++y) disc(b, 22, y, 1);  // stem: T junction
    for (int i = 0; i < 28; ++i) b.set(6 + i, 14 + i);  // diagonal across the stem
    for (int a = 0; a < 360; a += 2) {
        const double t = a * ktv::kPi / 180;
        b.set(56 + static_cast<int>(10 * std::cos(t)), 30 + static_cast<int>(10 * std::sin(t)));
    }
    for (int y = 40; y < 46; ++y)
        for (int x = 40; x < 68; ++x) b.set(x, y);  // thick bar
    b.set(66, 4);                                   // speck
    return b;
}

struct DriverCase {
    const char *name;
    std::function<int(CKTVector &)> run;
    CheckOptions rules;  // what a clean run keeps
};

std::vector<DriverCase> drivers() {
    CheckOptions outline = structural_checks();
    outline.links_to_deleted = true;  // spur removal leaves links aimed at deleted nodes
    return {
        {"outline fast", [](CKTVector &v) { return v.mabstractoutlinefast(4, 0, 1.0, 1); }, CheckOptions{}},
        {"centerline", [](CKTVector &v) { return v.mabstractcenterline(31, 4, 4.0, 8.0, 0.8, 3.0, 1.0); },
         structural_checks()},
        {"outline", [](CKTVector &v) { return v.mabstractoutline(4, 3, 1.0, 1); }, outline},
    };
}

// After a failure part-way: rows may be unsorted, records short.
CheckOptions after_failure() {
    CheckOptions o = structural_checks();
    o.rows_sorted = false;
    o.polylines_complete = false;
    o.links_to_deleted = true;
    return o;
}

}  // namespace

TEST(AllocSweep, EveryDriverFailsCleanlyAtEveryAllocation) {
    Bitmap b = drawing();
    for (const DriverCase &d : drivers()) {
        SCOPED_TRACE(d.name);
        CKTVector clean;
        clean.msetdocument(b.data(), b.width, b.bytesperline, b.height);
        ASSERT_EQ(d.run(clean), 0);
        const std::string expected = dump_graph(clean);
        ASSERT_EQ(check_graph(clean, d.rules), "");
        // On a fresh vectorizer, and over the result of an earlier run (a
        // failure there leaves a mixture of old and new layers: only
        // reading, running again and destroying are promised).
        int incomplete = 0;
        for (bool again : {false, true}) {
            const int failures = sweep([&](long n) {
                CKTVector v;
                v.msetdocument(b.data(), b.width, b.bytesperline, b.height);
                if (again) d.run(v);
                int r = 0;
                if (!fails_at(n, [&] { r = d.run(v); })) return false;
                EXPECT_TRUE(r == -1000 || r == 0) << "request " << n << ": " << r;
                if (again) read_everything(v);
                else {
                    EXPECT_EQ(check_graph(v, after_failure()), "") << "request " << n;
                    incomplete += v.mispostprocessincomplete();
                    if (r < 0) {
                        EXPECT_EQ(v.mispostprocessincomplete(), 0) << "request " << n;
                    } else if (!v.mispostprocessincomplete()) {
                        EXPECT_EQ(dump_graph(v), expected) << "request " << n;
                    }
                }
                EXPECT_EQ(d.run(v), 0) << "request " << n;
                EXPECT_EQ(v.mispostprocessincomplete(), 0) << "run after request " << n;
                EXPECT_EQ(dump_graph(v), expected) << "run after request " << n;
                return !::testing::Test::HasFailure();
            });
            EXPECT_GT(failures, 20) << (again ? "second run" : "first run");
        }
        EXPECT_EQ(incomplete > 0, std::string(d.name) != "outline fast");  // it has no clean-up
    }
}
