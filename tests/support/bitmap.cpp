#include "bitmap.h"

#include <cstring>

#include "vectorizer/memory.h"

Bitmap::Bitmap(int w, int h, int stride)
    : width(w), height(h), bytesperline(stride >= 0 ? stride : (w + 7) / 8),
      bits(static_cast<size_t>(h) * static_cast<size_t>(bytesperline), 0) {}

Bitmap Bitmap::from_ascii(std::initializer_list<const char *> rows, int stride) {
    int h = static_cast<int>(rows.size());
    int w = h ? static_cast<int>(std::strlen(*rows.begin())) : 0;
    Bitmap b(w, h, stride);
    int y = 0;
    for (const char *r : rows) {
        for (int x = 0; x < w && r[x]; ++x)
            if (r[x] == '#') b.set(x, y);
        ++y;
    }
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

void load_working_raster(CKTVector &v, const Bitmap &b) {
    v.width = b.width;
    v.height = b.height;
    v.bytesperline = b.bytesperline;
    ktv::release(v.thindata);
    v.thindata = ktv::alloc_array<unsigned char>(b.bits.size());
    if (!b.bits.empty()) std::memcpy(v.thindata, b.bits.data(), b.bits.size());
}
