// An output file that appears complete or not at all: the text goes to a
// temporary file in the same folder, which is renamed over the final name
// only by commit().  An uncommitted file is removed when the object dies.
// The name "-" writes to standard output instead, and an existing device or
// pipe (/dev/null, a FIFO) is written in place.
#ifndef KTVEC_IO_OUTPUT_FILE_H
#define KTVEC_IO_OUTPUT_FILE_H

#include <cstdio>
#include <string>

namespace ktvcli {

class OutputFile {
public:
    // Throws CliError (problem only) when the temporary file cannot be made.
    explicit OutputFile(const std::string &path);
    ~OutputFile();
    OutputFile(const OutputFile &) = delete;
    OutputFile &operator=(const OutputFile &) = delete;

    std::FILE *stream() { return stream_; }
    // Closes and renames into place; throws CliError on failure (and then
    // leaves nothing behind).
    void commit();

private:
    std::string path_, temp_;
    std::FILE *stream_ = nullptr;
    bool to_stdout_ = false;
};

}  // namespace ktvcli

#endif
