// The one error type of the readers, the writers and the program.  Every
// failure becomes a single line (the program prints it on stderr); the
// message is the problem only ("truncated PNG data"), and the caller that
// knows which file was involved prefixes it.
#ifndef KTVEC_IO_ERROR_H
#define KTVEC_IO_ERROR_H

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
