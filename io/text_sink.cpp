#include "text_sink.h"

#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "error.h"

namespace ktvcli {

namespace {

// The shortest text that reads back to v, as std::to_chars(buf, end, v)
// writes it: where the standard library has that for doubles, it does; where
// it does not (the library of the WebAssembly build), the same text is
// found with printf: the fewest significant digits P whose correctly
// rounded %e form reads back to v, then the plain decimal form of those
// digits when it is not longer than the exponent form.  Near a power of two,
// where the doubles below lie twice as close as those above, to_chars can
// find a P-digit text that is not the nearest one; printf's nearest then
// needs one digit more.
template <class D>
auto shortest(char *buf, D v, int) -> decltype(std::to_chars(buf, buf, v), std::size_t()) {
    return static_cast<std::size_t>(std::to_chars(buf, buf + 32, v).ptr - buf);
}
// The P-digit text in %e form that reads back to v: printf's nearest, or
// else one of its neighbours in the last digit (a power of two has a wider
// gap on one side); false when there is none.
bool digits_that_read_back(char *sci, std::size_t size, double v, int digits) {
    std::snprintf(sci, size, "%.*e", digits - 1, v);
    if (std::strtod(sci, nullptr) == v) return true;
    const char *e = std::strchr(sci, 'e');
    unsigned long long m = 0;
    for (const char *p = sci; p != e; ++p)
        if (*p >= '0' && *p <= '9') m = m * 10 + static_cast<unsigned>(*p - '0');
    const int exponent = std::atoi(e + 1);
    unsigned long long limit = 1;
    for (int i = 0; i < digits; ++i) limit *= 10;
    for (const long long step : {-1LL, 1LL}) {
        const unsigned long long n = m + static_cast<unsigned long long>(step);
        if (n < limit / 10 || n >= limit) continue;
        char text[40];
        std::snprintf(text, sizeof text, "%s%llue%d", v < 0 ? "-" : "", n, exponent - digits + 1);
        if (std::strtod(text, nullptr) != v) continue;
        // The same digits in %e form: d[.ddd]e(+|-)XX.
        char mant[24];
        std::snprintf(mant, sizeof mant, "%llu", n);
        std::snprintf(sci, size, "%s%c%s%se%c%02d", v < 0 ? "-" : "", mant[0], digits > 1 ? "." : "", mant + 1,
                      exponent < 0 ? '-' : '+', exponent < 0 ? -exponent : exponent);
        return true;
    }
    return false;
}

template <class D> std::size_t shortest(char *buf, D v, long) {
    char sci[40];
    int digits = 1;
    while (digits < 17 && !digits_that_read_back(sci, sizeof sci, v, digits)) ++digits;
    if (digits == 17) std::snprintf(sci, sizeof sci, "%.16e", v);
    // sci: [-]d[.ddd]e(+|-)XX
    const char *p = sci;
    const bool negative = *p == '-';
    if (negative) ++p;
    char mantissa[20];
    int m = 0;
    for (; *p != 'e'; ++p)
        if (*p != '.') mantissa[m++] = *p;
    const int exponent = std::atoi(p + 1);
    const std::size_t sci_len = std::strlen(sci);
    // The plain form: digits with the point moved, zeros added as needed.
    std::size_t fixed_len = negative ? 1 : 0;
    if (exponent >= m - 1) fixed_len += static_cast<std::size_t>(exponent) + 1;
    else if (exponent >= 0) fixed_len += static_cast<std::size_t>(m) + 1;
    else fixed_len += static_cast<std::size_t>(m + 1 - exponent);
    // to_chars writes the exponent with at least two digits, as %e does.
    if (fixed_len > sci_len) {
        std::memcpy(buf, sci, sci_len);
        return sci_len;
    }
    // A whole number in plain form is written with all its digits, exactly,
    // not the shortest digits padded with zeros.
    if (exponent >= m - 1) return static_cast<std::size_t>(std::snprintf(buf, 40, "%.0f", v));
    char *o = buf;
    if (negative) *o++ = '-';
    if (exponent >= 0) {
        for (int i = 0; i < m; ++i) {
            *o++ = mantissa[i];
            if (i == exponent) *o++ = '.';
        }
    } else {
        *o++ = '0';
        *o++ = '.';
        for (int i = 0; i < -exponent - 1; ++i) *o++ = '0';
        for (int i = 0; i < m; ++i) *o++ = mantissa[i];
    }
    return static_cast<std::size_t>(o - buf);
}

}  // namespace

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
    char buf[40];
    return put(std::string_view(buf, shortest(buf, v, 0)));
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
