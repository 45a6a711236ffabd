#include "bitmap.h"

#include <cmath>
#include <cstring>

#include "vectorizer/memory.h"

Bitmap::Bitmap(int w, int h, int stride)
    : width(w), height(h), bytesperline(stride >= 0 ? stride : (w + 7) / 8),
      bits(static_cast<size_t>(h) * static_cast<size_t>(bytesperline), 0) {}

Bitmap Bitmap::from_ascii(std::initializer_list<const char *> rows, int stride) {
    return from_ascii(std::vector<const char *>(rows), stride);
}

Bitmap Bitmap::from_ascii(const std::vector<const char *> &rows, int stride) {
    const int h = static_cast<int>(rows.size());
    const int w = h ? static_cast<int>(std::strlen(rows[0])) : 0;
    Bitmap b(w, h, stride);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w && rows[y][x]; ++x)
            if (rows[y][x] == '#') b.set(x, y);
    return b;
}

bool Bitmap::get(int x, int y) const {
    if (x < 0 || y < 0 || x >= width || y >= height) return false;
    return bits[static_cast<size_t>(y) * bytesperline + x / 8] & (0x80 >> (x % 8));
}

void Bitmap::set(int x, int y, bool black) {
    if (x < 0 || y < 0 || x >= 8 * bytesperline || y >= height) return;
    unsigned char &byte = bits[static_cast<size_t>(y) * bytesperline + x / 8];
    if (black) byte |= static_cast<unsigned char>(0x80 >> (x % 8));
    else byte &= static_cast<unsigned char>(~(0x80 >> (x % 8)));
}

int Bitmap::count() const {
    int n = 0;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) n += get(x, y);
    return n;
}

std::string Bitmap::to_ascii() const {
    std::string s;
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) s += get(x, y) ? '#' : '.';
        s += '\n';
    }
    return s;
}

void disc(Bitmap &b, double cx, double cy, double r) {
    for (int y = static_cast<int>(std::floor(cy - r)); y <= cy + r; ++y)
        for (int x = static_cast<int>(std::floor(cx - r)); x <= cx + r; ++x)
            if ((x - cx) * (x - cx) + (y - cy) * (y - cy) <= r * r && x < b.width) b.set(x, y);
}

void stroke(Bitmap &b, double x0, double y0, double x1, double y1, double r) {
    const int steps = static_cast<int>(std::hypot(x1 - x0, y1 - y0)) + 1;
    for (int i = 0; i <= steps; ++i)
        disc(b, x0 + (x1 - x0) * i / steps, y0 + (y1 - y0) * i / steps, r);
}

Bitmap random_strokes(std::mt19937 &rng) {
    const int w = 60 + static_cast<int>(rng() % 140), h = 60 + static_cast<int>(rng() % 140);
    Bitmap b(w, h);
    const int n = 3 + static_cast<int>(rng() % 10);
    for (int i = 0; i < n; ++i) {
        const double x0 = rng() % w, y0 = rng() % h, x1 = rng() % w, y1 = rng() % h;
        stroke(b, x0, y0, x1, y1, 0.5 + (rng() % 5) * 0.6);
    }
    for (int i = 0; i < 8; ++i) b.set(static_cast<int>(rng() % w), static_cast<int>(rng() % h));
    return b;
}

void load_working_raster(CKTVector &v, const Bitmap &b) {
    v.width = b.width;
    v.height = b.height;
    v.bytesperline = b.bytesperline;
    ktv::release(v.thindata);
    v.thindata = ktv::alloc_array<unsigned char>(b.bits.size());
    if (!b.bits.empty()) std::memcpy(v.thindata, b.bits.data(), b.bits.size());
}
