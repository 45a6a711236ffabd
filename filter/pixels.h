// Pixel-by-pixel access to a plane view (bitplane.h), white outside it: for
// the rare places where a filter repairs by hand what its word-parallel
// search found (blocks.h, tees.h).
#ifndef QORFIL2_PIXELS_H
#define QORFIL2_PIXELS_H

#include <cstdint>

namespace qorfil {

template <class Plane> class Pixels {
public:
    explicit Pixels(const Plane &p) : p_(p) {}
    bool inside(int x, int y) const { return x >= 0 && y >= 0 && x < p_.width() && y < p_.height(); }
    bool get(int x, int y) const {
        if (!inside(x, y)) return false;
        return (p_.row(y).at(x >> 6) >> (63 - (x & 63))) & 1;
    }
    void set(int x, int y, bool v) const {
        const typename Plane::Row r = p_.row(y);
        const std::uint64_t bit = 1ull << (63 - (x & 63)), w = r.at(x >> 6);
        r.put(x >> 6, v ? (w | bit) : (w & ~bit));
    }

private:
    const Plane &p_;
};

}  // namespace qorfil

#endif
