// Drawings the fuzzers turned up, replayed through the driver they broke.
// Each file of tests/fuzz/regressions holds the driver call, the graph rules
// its result must keep, and the picture ('#' black); a file marked "open"
// records a finding that is not fixed yet and is reported as skipped.
#include <gtest/gtest.h>

#include <cstdlib>
#include <dirent.h>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "bitmap.h"
#include "invariants.h"

namespace {

struct Regression {
    std::string name, driver, open;
    std::vector<double> args;
    std::vector<std::string> rows;
};

std::string folder() {
    const char *root = std::getenv("KTVEC_SOURCE_DIR");
    return std::string(root ? root : ".") + "/tests/fuzz/regressions";
}

std::vector<Regression> load_all() {
    std::vector<Regression> all;
    DIR *d = opendir(folder().c_str());
    if (!d) return all;
    while (dirent *e = readdir(d)) {
        const std::string name = e->d_name;
        if (name.size() < 5 || name.substr(name.size() - 4) != ".txt") continue;
        std::ifstream in(folder() + "/" + name);
        Regression r;
        r.name = name;
        std::string line;
        bool rows = false;
        while (std::getline(in, line)) {
            if (rows) {
                if (!line.empty()) r.rows.push_back(line);
            } else if (line.rfind("call ", 0) == 0) {
                std::istringstream words(line.substr(5));
                words >> r.driver;
                for (double x; words >> x;) r.args.push_back(x);
            } else if (line.rfind("open ", 0) == 0) {
                r.open = line.substr(5);
            } else if (line == "rows") {
                rows = true;
            }
        }
        all.push_back(r);
    }
    closedir(d);
    return all;
}

Bitmap picture(const Regression &r) {
    const int h = static_cast<int>(r.rows.size());
    Bitmap b(h ? static_cast<int>(r.rows[0].size()) : 0, h);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < static_cast<int>(r.rows[static_cast<size_t>(y)].size()); ++x)
            if (r.rows[static_cast<size_t>(y)][static_cast<size_t>(x)] == '#') b.set(x, y);
    return b;
}

// The driver named in the file, and the rules its result keeps (those the
// drivers' own tests hold them to).
int run(CKTVector &v, const Regression &r, CheckOptions &o) {
    const std::vector<double> &a = r.args;
    auto i = [&a](size_t k) { return static_cast<int>(a.at(k)); };
    if (r.driver == "centerline") {
        o = structural_checks();
        return v.mabstractcenterline(i(0), i(1), a.at(2), a.at(3), a.at(4), a.at(5), a.at(6));
    }
    if (r.driver == "outline") {
        o = structural_checks();
        o.links_to_deleted = true;
        return v.mabstractoutline(i(0), i(1), a.at(2), i(3));
    }
    o = CheckOptions{};
    return v.mabstractoutlinefast(i(0), i(1), a.at(2), i(3));
}

}  // namespace

TEST(FuzzRegressions, EveryFoundDrawingKeepsTheGraphRules) {
    const std::vector<Regression> all = load_all();
    ASSERT_FALSE(all.empty()) << "no files in " << folder();
    std::string open;
    for (const Regression &r : all) {
        SCOPED_TRACE(r.name);
        Bitmap b = picture(r);
        CKTVector v;
        v.msetdocument(b.data(), b.width, b.height);
        CheckOptions o;
        const int result = run(v, r, o);
        const std::string problems = check_graph(v, o);
        if (!r.open.empty()) {
            // Still open: say so, and notice when it has been fixed.
            open += r.name + " (" + r.open + (problems.empty() ? ", now passes: close it" : "") + ") ";
            continue;
        }
        EXPECT_EQ(result, 0);
        EXPECT_EQ(problems, "") << dump_graph(v);
    }
    if (!open.empty()) GTEST_SKIP() << "open findings: " << open;
}
