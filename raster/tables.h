// Constant tables of raster analysis, built at compile time from their
// definitions: set-bit counts of a byte, the connectivity class of a 3x3
// neighbourhood code, and the next-step table of the tracing walk.
//
// Neighbourhood code (9 bits): bits 8,7,6 = row above (left, centre, right),
// bits 5,4,3 = own row (left, the pixel, right), bits 2,1,0 = row below.
#ifndef KTVEC_RASTER_TABLES_H
#define KTVEC_RASTER_TABLES_H

#include <array>
#include <cstdint>

namespace ktv {

// Pattern bits of the neighbours.
enum : unsigned {
    kBitSE = 1, kBitS = 2, kBitSW = 4, kBitE = 8, kBitCentre = 16,
    kBitW = 32, kBitNE = 64, kBitN = 128, kBitNW = 256
};

// Directions 1..8, counter-clockwise from east (y grows downwards).
// Index 0 is unused so that a direction indexes the arrays directly.
constexpr int kStepX[9] = {0, 1, 1, 0, -1, -1, -1, 0, 1};
constexpr int kStepY[9] = {0, 0, -1, -1, -1, 0, 1, 1, 1};
constexpr unsigned kDirBit[9] = {0, kBitE, kBitNE, kBitN, kBitNW, kBitW, kBitSW, kBitS, kBitSE};

// Direction d + k taken round the circle (values 1..8).
constexpr int dir_add(int d, int k) { return ((d - 1 + k) % 8 + 8) % 8 + 1; }
constexpr int dir_opposite(int d) { return ((d + 3) % 8) + 1; }

constexpr std::array<std::uint8_t, 256> make_bitcount() {
    std::array<std::uint8_t, 256> t{};
    for (int v = 0; v < 256; ++v) {
        int c = 0;
        for (int b = 0; b < 8; ++b) c += (v >> b) & 1;
        t[v] = static_cast<std::uint8_t>(c);
    }
    return t;
}

// Class of a code: the number of places where, walking once round the eight
// neighbours, an unset neighbour is followed by a set one; all eight set is
// class 1 (an interior pixel behaves like an end), a clear centre class 0.
constexpr std::array<std::uint8_t, 512> make_kind() {
    std::array<std::uint8_t, 512> t{};
    for (unsigned code = 0; code < 512; ++code) {
        if (!(code & kBitCentre)) continue;
        int runs = 0, set = 0;
        for (int d = 1; d <= 8; ++d) {
            bool here = code & kDirBit[d];
            bool next = code & kDirBit[dir_add(d, 1)];
            if (!here && next) ++runs;
            set += here;
        }
        t[code] = static_cast<std::uint8_t>(set == 8 ? 1 : runs);
    }
    return t;
}

// Next step of the walk, indexed by (arrival direction - 1) * 512 + code:
// keep straight on when possible, prefer the counter-clockwise side at equal
// deviation, turn back only from a dead end.
constexpr std::array<std::uint8_t, 4096> make_direction() {
    std::array<std::uint8_t, 4096> t{};
    constexpr int order[8] = {0, 1, -1, 2, -2, 3, -3, 4};
    for (int d = 1; d <= 8; ++d)
        for (unsigned code = 0; code < 512; ++code) {
            if (!(code & kBitCentre)) continue;
            for (int k : order) {
                int n = dir_add(d, k);
                if (code & kDirBit[n]) {
                    t[(d - 1) * 512 + code] = static_cast<std::uint8_t>(n);
                    break;
                }
            }
        }
    return t;
}

inline constexpr std::array<std::uint8_t, 256> kBitCount = make_bitcount();
inline constexpr std::array<std::uint8_t, 512> kKind = make_kind();
inline constexpr std::array<std::uint8_t, 4096> kDirection = make_direction();

}  // namespace ktv

#endif
