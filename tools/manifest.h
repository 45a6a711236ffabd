// The manifest of a batch: one JSON line per page, appended as pages finish,
// that a rerun with --skip-done reads to pass over the inputs already done.
// The Python archive recipe (python/ktvec/manifest.py) writes and reads the
// same lines, so either can finish the other's work:
//
//   {"input":"scans/a.tif","page":2,"pages":3,"size":48213,
//    "mtime":"2024-05-01T09:30:12.123456789Z","outputs":["out/a-p2.svg"],
//    "counts":{"nodes":812,"polylines":240},"seconds":0.084,"error":null}
//
// `input` is the path as given; size and mtime (UTC, to the nanosecond) are
// the input's when its reading began, null when it could not be read; error
// is null for a page done.  A later line for the same input and page
// replaces an earlier one.  An input is done when, with its present size and
// modification time, each of its pages has a line without error.
#ifndef KTVEC_TOOLS_MANIFEST_H
#define KTVEC_TOOLS_MANIFEST_H

#include <cstdint>
#include <mutex>
#include <string>
#include <unordered_map>
#include <vector>

namespace ktvcli {

// What tells an input unchanged.  `known` is false when it could not be read.
struct Stamp {
    bool known = false;
    std::int64_t size = 0;
    std::string mtime;  // "2024-05-01T09:30:12.123456789Z"
    // The stamp as one number, for holding a million of them; 0 when unknown.
    std::uint64_t key() const;
};
Stamp stamp_of(const std::string &path);

struct PageRecord {
    std::string input;
    int page = 1, pages = 1;
    Stamp stamp;
    std::vector<std::string> outputs;  // written; empty after a failure
    int nodes = 0, polylines = 0;      // as the summary line counts them
    double seconds = 0;
    std::string error;                 // empty: done
};

// The line of a record, newline included.
std::string manifest_line(const PageRecord &r);

// The inputs the manifest shows done, with the key of the stamp they were
// done with.  A missing manifest is empty; lines that do not parse (the torn
// last line of a killed run) are passed over.  Throws CliError when the file
// exists but cannot be read.
std::unordered_map<std::string, std::uint64_t> done_inputs(const std::string &path);

// Appends lines from any thread, one write per line (O_APPEND), so a line
// is never interleaved with another, also from other processes on a local
// file system.  A torn last line left by a killed run is ended first.
// Throws CliError when the file cannot be opened or written.
class ManifestWriter {
public:
    explicit ManifestWriter(const std::string &path);
    ~ManifestWriter();
    ManifestWriter(const ManifestWriter &) = delete;
    ManifestWriter &operator=(const ManifestWriter &) = delete;
    void write(const PageRecord &r);

private:
    void write_text(const std::string &text);  // in one write (a few if interrupted)
    std::string path_;
    int fd_ = -1;
    std::mutex mutex_;
};

}  // namespace ktvcli

#endif
