// Union-find over node indices: the groups of nodes that the stage treats
// as one place.
#ifndef KTVEC_REFINE_GROUPS_H
#define KTVEC_REFINE_GROUPS_H

#include "refine/array.h"

namespace ktv::refine {

class Groups {
public:
    bool reset(std::size_t n) {
        if (!parent_.resize(n)) return false;
        for (std::size_t i = 0; i < n; ++i) parent_[i] = static_cast<int>(i);
        return true;
    }
    int find(int i) {
        while (parent_[static_cast<std::size_t>(i)] != i) {
            int &p = parent_[static_cast<std::size_t>(i)];
            p = parent_[static_cast<std::size_t>(p)];  // path halving
            i = p;
        }
        return i;
    }
    // The smaller index becomes the root, so a group and its root do not
    // depend on the order in which its members are joined.
    void join(int a, int b) {
        a = find(a);
        b = find(b);
        if (a < b) parent_[static_cast<std::size_t>(b)] = a;
        else if (b < a) parent_[static_cast<std::size_t>(a)] = b;
    }

private:
    Array<int> parent_;
};

}  // namespace ktv::refine

#endif
