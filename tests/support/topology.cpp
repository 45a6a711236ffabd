#include "topology.h"

#include <utility>
#include <vector>

void fill_padding(Bitmap &b) {
    for (int y = 0; y < b.height; ++y)
        for (int x = b.width; x < 8 * b.bytesperline; ++x) b.set(x, y);
}
bool padding_clear(const Bitmap &b) {
    for (int y = 0; y < b.height; ++y)
        for (int x = b.width; x < 8 * b.bytesperline; ++x)
            if (b.bits[(size_t)y * b.bytesperline + x / 8] & (0x80 >> (x % 8))) return false;
    return true;
}
bool same_pixels(const Bitmap &a, const Bitmap &b) {
    if (a.width != b.width || a.height != b.height) return false;
    for (int y = 0; y < a.height; ++y)
        for (int x = 0; x < a.width; ++x)
            if (a.get(x, y) != b.get(x, y)) return false;
    return true;
}

namespace {

// Flood fill over a grid padded by one white pixel on every side.
int components(const Bitmap &r, bool black, bool eight) {
    const int w = r.width + 2, h = r.height + 2;
    std::vector<char> seen((size_t)w * h, 0);
    auto colour = [&](int x, int y) { return r.get(x - 1, y - 1) == black; };
    std::vector<std::pair<int, int>> stack;
    int n = 0;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            if (seen[(size_t)y * w + x] || !colour(x, y)) continue;
            ++n;
            seen[(size_t)y * w + x] = 1;
            stack.push_back({x, y});
            while (!stack.empty()) {
                auto [cx, cy] = stack.back();
                stack.pop_back();
                for (int dy = -1; dy <= 1; ++dy)
                    for (int dx = -1; dx <= 1; ++dx) {
                        if (!dx && !dy) continue;
                        if (!eight && dx && dy) continue;
                        const int nx = cx + dx, ny = cy + dy;
                        if (nx < 0 || ny < 0 || nx >= w || ny >= h) continue;
                        if (seen[(size_t)ny * w + nx] || !colour(nx, ny)) continue;
                        seen[(size_t)ny * w + nx] = 1;
                        stack.push_back({nx, ny});
                    }
            }
        }
    return n;
}

// Neighbours counter-clockwise from east: E NE N NW W SW S SE.
const int kDx[8] = {1, 1, 0, -1, -1, -1, 0, 1};
const int kDy[8] = {0, -1, -1, -1, 0, 1, 1, 1};

}  // namespace

Topology topology(const Bitmap &r) {
    Topology t;
    t.black = components(r, true, true);
    t.white = components(r, false, false);
    return t;
}

int black_neighbours(const Bitmap &r, int x, int y) {
    int n = 0;
    for (int i = 0; i < 8; ++i) n += r.get(x + kDx[i], y + kDy[i]);
    return n;
}

int transitions(const Bitmap &r, int x, int y) {
    int t = 0;
    for (int i = 0; i < 8; ++i)
        t += !r.get(x + kDx[i], y + kDy[i]) && r.get(x + kDx[(i + 1) % 8], y + kDy[(i + 1) % 8]);
    return t;
}

bool is_simple(const Bitmap &r, int x, int y) {
    // Exactly one 8-component of black neighbours and a white 4-neighbour,
    // checked directly on the 3x3 window.
    bool white4 = false;
    for (int i = 0; i < 8; i += 2) white4 |= !r.get(x + kDx[i], y + kDy[i]);
    if (!white4) return false;
    int label[8] = {0};
    int comps = 0;
    for (int i = 0; i < 8; ++i) {
        if (!r.get(x + kDx[i], y + kDy[i]) || label[i]) continue;
        ++comps;
        std::vector<int> st{i};
        label[i] = comps;
        while (!st.empty()) {
            int a = st.back();
            st.pop_back();
            for (int j = 0; j < 8; ++j) {
                if (label[j] || !r.get(x + kDx[j], y + kDy[j])) continue;
                const int ddx = kDx[a] - kDx[j], ddy = kDy[a] - kDy[j];
                if (ddx >= -1 && ddx <= 1 && ddy >= -1 && ddy <= 1) {
                    label[j] = comps;
                    st.push_back(j);
                }
            }
        }
    }
    return comps == 1;
}

ThinReport thinness(const Bitmap &r) {
    ThinReport t;
    for (int y = 0; y < r.height; ++y)
        for (int x = 0; x < r.width; ++x) {
            if (!r.get(x, y)) continue;
            if (r.get(x + 1, y) && r.get(x, y + 1) && r.get(x + 1, y + 1)) ++t.blocks;
            const int n = black_neighbours(r, x, y);
            if (n == 1) ++t.ends;
            if (n == 2) {
                int a = -1, b = -1;
                for (int i = 0; i < 8; ++i)
                    if (r.get(x + kDx[i], y + kDy[i])) (a < 0 ? a : b) = i;
                const int ddx = kDx[a] - kDx[b], ddy = kDy[a] - kDy[b];
                if (ddx >= -1 && ddx <= 1 && ddy >= -1 && ddy <= 1) ++t.staircase;
            }
            if (n < 2 || !is_simple(r, x, y)) continue;
            const bool e = r.get(x + 1, y), w = r.get(x - 1, y), no = r.get(x, y - 1), so = r.get(x, y + 1);
            const bool tee = n == 3 && ((e && w && (no || so)) || (no && so && (e || w)));
            ++(tee ? t.tees : t.removable);
        }
    return t;
}
