// The one error type of the readers, the writers and the program.  Every
// failure becomes a single line (the program prints it on stderr); the
// message is the problem only ("truncated PNG data"), and the caller that
// knows which file was involved prefixes it.
#ifndef KTVEC_IO_ERROR_H
#define KTVEC_IO_ERROR_H

#include <cstdio>
#include <stdexcept>
#include <string>

namespace ktvcli {

// `text` on one line: a control character (a file's bytes quoted in a
// message, a name with a line break in it) is written as an escape, \n or
// \x1b; other text is left as it is.
inline std::string one_line(const std::string &text) {
    std::string out;
    out.reserve(text.size());
    for (const char ch : text) {
        const unsigned char c = static_cast<unsigned char>(ch);
        if (c >= 0x20 && c != 0x7f) {
            out += ch;
        } else if (c == '\n') {
            out += "\\n";
        } else {
            char buf[8];
            std::snprintf(buf, sizeof buf, "\\x%02x", c);
            out += buf;
        }
    }
    return out;
}

struct CliError : std::runtime_error {
    // usage = true for a bad command line (exit code 2), false for a failure
    // while reading, vectorizing or writing (exit code 1).
    explicit CliError(const std::string &message, bool usage = false)
        : std::runtime_error(one_line(message)), usage(usage) {}
    bool usage;
};

// Re-throws `e` with "<subject>: " in front, keeping its kind.
[[noreturn]] inline void rethrow_about(const std::string &subject, const CliError &e) {
    throw CliError(subject + ": " + e.what(), e.usage);
}

}  // namespace ktvcli

#endif
