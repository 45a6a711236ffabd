// Random editing sequences on driver results and on hand-made graphs, with
// the operation table of the editing fuzzer (tests/support/edit_script.h)
// fed with random bytes and the clean-up passes' own joining steps added:
// the graph rules hold after every operation, also when an allocation
// fails inside one, and an undo copy restores a snapshot exactly.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "bitmap.h"
#include "edit_script.h"
#include "graph_builder.h"
#include "invariants.h"
#include "sweep.h"

namespace {

// A graph to edit and the bytes that choose the edits.  Even seeds take the
// fast outline driver's result on random strokes (the drivers whose passes
// edit inside polylines leave no normal form to start from), odd ones a hand-made grid of nodes
// with random paths through it (junctions, shared nodes, short links).
struct Sample {
    Bitmap page;  // the document of a driver result; outlives v
    CKTVector v;
    std::vector<std::uint8_t> bytes;
    FuzzInput in;
    EditScript script;

    explicit Sample(unsigned seed) : bytes(bytes_for(seed)), in(bytes.data(), bytes.size()), script(v, in, true) {
        std::mt19937 rng(seed);
        auto pick = [&rng](int n) { return static_cast<int>(rng() % static_cast<unsigned>(n)); };
        if (seed % 2 == 0) {
            page = random_strokes(rng);
            v.msetdocument(page.data(), page.width, page.height);
            EXPECT_EQ(v.mabstractoutlinefast(pick(6), 0, 0.5 + pick(3), pick(2)), 0);
            return;
        }
        GraphBuilder g(v);
        g.rows(64, 64);
        std::vector<int> grid;
        for (int y = 0; y < 8; ++y)
            for (int x = 0; x < 8; ++x) grid.push_back(g.node(4 + 8 * x + pick(3), 4 + 8 * y + pick(3)));
        for (int p = 4 + pick(8); p > 0; --p) {
            int at = pick(64);
            std::vector<int> nodes{grid[at]};
            for (int k = 1 + pick(6); k > 0; --k) {
                const int dir = pick(4), x = at % 8 + (dir == 0) - (dir == 1), y = at / 8 + (dir == 2) - (dir == 3);
                if (x < 0 || y < 0 || x > 7 || y > 7) break;
                at = y * 8 + x;
                bool used = false;
                for (int n : nodes) used |= n == grid[at];
                if (used) break;
                nodes.push_back(grid[at]);
            }
            if (nodes.size() >= 2) g.path_of(nodes);
        }
    }
    static std::vector<std::uint8_t> bytes_for(unsigned seed) {
        std::mt19937 rng(seed * 7919u + 1);
        std::vector<std::uint8_t> b(1 << 14);
        for (auto &x : b) x = static_cast<std::uint8_t>(rng());
        return b;
    }
    // Rules for the graph as edited: structural always; `normal` adds the
    // normal form, which some host edits leave on purpose (see CheckOptions).
    std::string problems(bool normal) { return check_graph(v, normal ? CheckOptions{} : structural_checks()); }
};

long operations() {
    const char *env = std::getenv("KTVEC_RANDOM_EDITS");
    return env ? std::atol(env) : 30000;
}

}  // namespace

TEST(RandomEdits, InvariantsHoldAfterEveryOperation) {
    // A sequence ends when the graph leaves its normal form: later edits
    // would follow chains that no record describes, which no host does.
    long done = 0;
    int graphs = 0;
    unsigned long long results = digest("");
    int per_op[EditScript::kHostOps + EditScript::kInternalOps] = {};
    for (unsigned seed = 1; done < operations(); ++seed, ++graphs) {
        Sample s(seed);
        ASSERT_EQ(s.problems(true), "") << "seed " << seed << " as built";
        for (int k = 0; k < 150 && done < operations(); ++k, ++done) {
            s.script.step();
            ++per_op[s.script.last];
            ASSERT_EQ(s.problems(false), "") << "seed " << seed << ", step " << k << ": " << s.script.name() << "\n"
                                             << dump_graph(s.v);
            if (!s.problems(true).empty()) break;
        }
        if (seed <= 40) results = digest(dump_graph(s.v), results);
    }
    EXPECT_GE(done / graphs, 20);  // edits build on edits
    // The edits are exact: the first forty edited graphs are recorded.
    if (graphs >= 40) {
        EXPECT_EQ(results, 13240944148139500352ull);
    }
    for (int op = 0; op < EditScript::kHostOps + EditScript::kInternalOps; ++op) EXPECT_GT(per_op[op], 100) << op;
}

TEST(RandomEdits, MemoryFailureInAnyEditLeavesAConsistentGraph) {
    // Step k of a sequence is replayed on the same graph with its 1st, 2nd,
    // ... allocation failing until it needs none.  The steps done before
    // the failure stay; counts, lists and link pairs stay consistent, and
    // the graph can still be edited; rows stay in x order.
    int swept = 0;
    for (unsigned seed = 1; seed <= 40; ++seed)
        for (int prefix = 0; prefix < 40; prefix += 13)
            swept += sweep([&](long n) {
                Sample s(seed);
                for (int i = 0; i < prefix; ++i) s.script.step();
                if (!s.problems(true).empty()) return false;  // left normal form: next sample
                const bool failed = fails_at(n, [&] { s.script.step(); });
                CheckOptions after_failure = structural_checks();
                after_failure.polylines_complete = false;
                EXPECT_EQ(check_graph(s.v, after_failure), "")
                    << "seed " << seed << " prefix " << prefix << " failing request " << n << " in " << s.script.name();
                s.script.step();
                EXPECT_EQ(check_graph(s.v, after_failure), "") << "a further edit after " << s.script.name();
                return failed && !::testing::Test::HasFailure();
            });
    EXPECT_GT(swept, 150);
}

TEST(RandomEdits, UndoRestoresTheSnapshotExactly) {
    // The host's undo cycle: a snapshot copied before a few edits and
    // copied back after them equals a second copy taken with it, field for
    // field, and editing goes on from there.
    int restored = 0;
    for (unsigned seed = 100; seed < 140; ++seed) {
        Sample s(seed);
        for (int round = 0; round < 8; ++round) {
            CKTVector snapshot, reference;
            ASSERT_EQ(snapshot.mundo(&s.v), 0);
            ASSERT_EQ(reference.mundo(&s.v), 0);
            for (int k = 1 + static_cast<int>(s.in.byte() % 10); k > 0; --k) {
                s.script.step();
                ASSERT_EQ(s.problems(false), "") << s.script.name();
                if (!s.problems(true).empty()) break;
            }
            ASSERT_EQ(s.v.mundo(&snapshot), 0);
            EXPECT_EQ(s.v.mgetcanundo(), 1);
            ASSERT_EQ(dump_graph(s.v), dump_graph(reference)) << "seed " << seed << " round " << round;
            ++restored;
            for (int k = 0; k < 3; ++k) s.script.step();
            if (!s.problems(true).empty()) break;
        }
    }
    EXPECT_GT(restored, 150);
}
