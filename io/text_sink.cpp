#include "text_sink.h"

#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstring>

#include "error.h"

namespace ktvcli {

TextSink &TextSink::integer(long long v) {
    char buf[24];
    auto r = std::to_chars(buf, buf + sizeof buf, v);
    return put(std::string_view(buf, static_cast<std::size_t>(r.ptr - buf)));
}

TextSink &TextSink::number(double v) {
    if (!std::isfinite(v)) v = 0;  // neither JSON nor SVG can carry these
    if (v == 0) v = 0;             // no "-0"
    // Most numbers are pixel positions and pixel centres: whole or half
    // numbers of modest size.  Below 1e5 their shortest text is the plain
    // decimal one (it is never longer than the exponent form, and wins
    // ties), so they are written by hand, digit by digit.
    const double twice = v * 2;
    if (twice > -2e5 && twice < 2e5 && twice == static_cast<double>(static_cast<long>(twice))) {
        const long t = static_cast<long>(twice);
        unsigned long n = static_cast<unsigned long>(t < 0 ? -t : t);
        char buf[16];
        char *end = buf + sizeof buf, *p = end;
        if (n & 1) {
            *--p = '5';
            *--p = '.';
        }
        n >>= 1;
        do {
            *--p = static_cast<char>('0' + n % 10);
            n /= 10;
        } while (n);
        if (t < 0) *--p = '-';
        return put(std::string_view(p, static_cast<std::size_t>(end - p)));
    }
    char buf[32];
    auto r = std::to_chars(buf, buf + sizeof buf, v);
    return put(std::string_view(buf, static_cast<std::size_t>(r.ptr - buf)));
}

TextSink &TextSink::json_string(std::string_view s) {
    put('"');
    for (unsigned char c : s) {
        if (c == '"' || c == '\\') {
            put('\\');
            put(static_cast<char>(c));
        } else if (c < 0x20) {
            static const char hex[] = "0123456789abcdef";
            char esc[6] = {'\\', 'u', '0', '0', hex[c >> 4], hex[c & 15]};
            put(std::string_view(esc, 6));
        } else {
            put(static_cast<char>(c));
        }
    }
    return put('"');
}

TextSink &TextSink::xml_text(std::string_view s) {
    for (char c : s) {
        switch (c) {
        case '<': put("&lt;"); break;
        case '>': put("&gt;"); break;
        case '&': put("&amp;"); break;
        case '"': put("&quot;"); break;
        default:
            if (static_cast<unsigned char>(c) >= 0x20 || c == '\t' || c == '\n') put(c);
        }
    }
    return *this;
}

void TextSink::flush() {
    if (!stream_ || buffer_.empty()) return;
    if (std::fwrite(buffer_.data(), 1, buffer_.size(), stream_) != buffer_.size())
        throw CliError(std::string("cannot write (") + std::strerror(errno) + ")");
    buffer_.clear();
}

}  // namespace ktvcli
