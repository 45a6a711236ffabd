// Base64 (RFC 4648 alphabet, with padding) for embedding binary data in
// text output.
#include "writers.h"

namespace ktvcli {

void put_base64(const unsigned char *data, std::size_t size, TextSink &out) {
    static const char table[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    char quad[4];
    std::size_t i = 0;
    for (; i + 3 <= size; i += 3) {
        const unsigned v = (unsigned(data[i]) << 16) | (unsigned(data[i + 1]) << 8) | data[i + 2];
        quad[0] = table[v >> 18];
        quad[1] = table[(v >> 12) & 63];
        quad[2] = table[(v >> 6) & 63];
        quad[3] = table[v & 63];
        out.put(std::string_view(quad, 4));
    }
    if (i < size) {
        const bool two = i + 1 < size;
        const unsigned v = (unsigned(data[i]) << 16) | (two ? unsigned(data[i + 1]) << 8 : 0u);
        quad[0] = table[v >> 18];
        quad[1] = table[(v >> 12) & 63];
        quad[2] = two ? table[(v >> 6) & 63] : '=';
        quad[3] = '=';
        out.put(std::string_view(quad, 4));
    }
}

}  // namespace ktvcli
