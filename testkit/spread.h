// Mean, 95th percentile and largest of a list of distances, as the quality
// and benchmark reports give them.
#ifndef KTVEC_TESTKIT_SPREAD_H
#define KTVEC_TESTKIT_SPREAD_H

#include <algorithm>
#include <cstddef>
#include <vector>

namespace ktvdraw {

struct Spread {
    double mean = 0, p95 = 0, max = 0;  // all 0 for an empty list
};

// Reorders `v` (the percentile is found in place).
inline Spread spread(std::vector<double> &v) {
    Spread s;
    if (v.empty()) return s;
    double sum = 0;
    for (double x : v) {
        sum += x;
        s.max = std::max(s.max, x);
    }
    s.mean = sum / static_cast<double>(v.size());
    const std::size_t k = std::min(v.size() - 1, static_cast<std::size_t>(0.95 * static_cast<double>(v.size())));
    std::nth_element(v.begin(), v.begin() + static_cast<std::ptrdiff_t>(k), v.end());
    s.p95 = v[k];
    return s;
}

}  // namespace ktvdraw

#endif
