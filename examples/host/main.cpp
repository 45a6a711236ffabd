// A minimal host of the ktvec library: reads a 1-bit PBM scan (plain P1 or
// raw P4), abstracts its centre lines with the ktvec program's default
// arguments and prints every polyline as its node coordinates.
//
//   ktvec_host scan.pbm
#include <ktvec.h>

#include <cctype>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <iterator>
#include <string>
#include <vector>

namespace {

struct Scan {
    int width = 0, height = 0, bytesperline = 0;
    std::vector<unsigned char> bits;  // 1 = black, most significant bit first
};

// Next header number, skipping blanks and '#' comments.
bool header_number(const std::string &f, std::size_t &pos, int &value) {
    for (;;) {
        while (pos < f.size() && std::isspace(static_cast<unsigned char>(f[pos]))) ++pos;
        if (pos < f.size() && f[pos] == '#') {
            while (pos < f.size() && f[pos] != '\n') ++pos;
            continue;
        }
        break;
    }
    if (pos >= f.size() || !std::isdigit(static_cast<unsigned char>(f[pos]))) return false;
    long v = 0;
    while (pos < f.size() && std::isdigit(static_cast<unsigned char>(f[pos])) && v < 1000000)
        v = v * 10 + (f[pos++] - '0');
    value = static_cast<int>(v);
    return v > 0 && v < 1000000;
}

bool read_pbm(const char *path, Scan &scan) {
    std::ifstream in(path, std::ios::binary);
    const std::string f((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (f.size() < 2 || f[0] != 'P' || (f[1] != '1' && f[1] != '4')) return false;
    std::size_t pos = 2;
    if (!header_number(f, pos, scan.width) || !header_number(f, pos, scan.height)) return false;
    scan.bytesperline = (scan.width + 7) / 8;
    scan.bits.assign(static_cast<std::size_t>(scan.bytesperline) * scan.height, 0);
    if (f[1] == '4') {
        ++pos;  // the single blank after the height
        if (f.size() - pos < scan.bits.size()) return false;
        std::copy(f.begin() + static_cast<std::ptrdiff_t>(pos), f.begin() + static_cast<std::ptrdiff_t>(pos + scan.bits.size()),
                  scan.bits.begin());
        // Bits past the width count as pixels for the library: clear them.
        if (scan.width % 8)
            for (int y = 0; y < scan.height; ++y)
                scan.bits[static_cast<std::size_t>(y + 1) * scan.bytesperline - 1] &=
                    static_cast<unsigned char>(0xFF << (8 - scan.width % 8));
        return true;
    }
    for (int y = 0; y < scan.height; ++y)
        for (int x = 0; x < scan.width; ++x) {
            while (pos < f.size() && f[pos] != '0' && f[pos] != '1') ++pos;
            if (pos >= f.size()) return false;
            if (f[pos++] == '1')
                scan.bits[static_cast<std::size_t>(y) * scan.bytesperline + x / 8] |= static_cast<unsigned char>(0x80 >> (x % 8));
        }
    return true;
}

}  // namespace

int main(int argc, char **argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: ktvec_host scan.pbm\n");
        return 2;
    }
    Scan scan;
    if (!read_pbm(argv[1], scan)) {
        std::fprintf(stderr, "ktvec_host: %s: not a readable PBM file\n", argv[1]);
        return 1;
    }

    // The bitmap must stay alive while the driver runs; the vectorizer owns
    // everything it builds and frees it when it goes out of scope.
    CKTVector v;
    v.msetdocument(scan.bits.data(), scan.width, scan.bytesperline, scan.height);
    // flags 31: merge ends, bridge gaps, connect, cut spurs, merge junctions;
    // maxlength 4, a 3, b 8, c 0.9, d 4, e 1.5 (the ktvec program's defaults).
    const int result = v.mabstractcenterline(31, 4, 3.0, 8.0, 0.9, 4.0, 1.5);
    if (result < 0) {
        std::fprintf(stderr, "ktvec_host: vectorizing failed (code %d)\n", result);
        return 1;
    }

    int live = 0;
    for (int id = 1; id <= v.mgetpolylinenum(); ++id) {
        const _KTPOLYLINE *p = v.mgetpolyline(id);
        if (!p || p->deleted) continue;
        ++live;
        std::printf("polyline %d:", id);
        for (int i = 0; i < p->nodenum; ++i) {
            const _KTNODE *n = v.mgetnode(p->nodeindex[i]);
            std::printf(" (%d,%d)", n->x, n->y);
        }
        std::printf("\n");
    }
    std::printf("%dx%d pixels: %d polylines\n", scan.width, scan.height, live);
    return 0;
}
