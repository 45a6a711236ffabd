// The one error type of the command-line program.  Every failure becomes a
// single line on stderr; the message is the problem only ("truncated PNG
// data"), and the caller that knows which file was involved prefixes it.
#ifndef KTVEC_TOOLS_ERROR_H
#define KTVEC_TOOLS_ERROR_H

#include <stdexcept>
#include <string>

namespace ktvcli {

struct CliError : std::runtime_error {
    // usage = true for a bad command line (exit code 2), false for a failure
    // while reading, vectorizing or writing (exit code 1).
    explicit CliError(const std::string &message, bool usage = false)
        : std::runtime_error(message), usage(usage) {}
    bool usage;
};

// Re-throws `e` with "<subject>: " in front, keeping its kind.
[[noreturn]] inline void rethrow_about(const std::string &subject, const CliError &e) {
    throw CliError(subject + ": " + e.what(), e.usage);
}

}  // namespace ktvcli

#endif
