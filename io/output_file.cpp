#include "output_file.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

#include "error.h"

namespace ktvcli {

namespace {

std::string errno_text(const char *what) { return std::string(what) + " (" + std::strerror(errno) + ")"; }

// The mode a newly created file would get: 0666 less the umask.  The umask
// can only be read by setting it, so it is put straight back; it is read
// once, because two threads doing this at the same time (ktvec batch) could
// leave the other's temporary value in place.
mode_t creation_mode() {
    static const mode_t mode = [] {
        const mode_t mask = ::umask(022);
        ::umask(mask);
        return static_cast<mode_t>(0666 & ~mask);
    }();
    return mode;
}

}  // namespace

OutputFile::OutputFile(const std::string &path) : path_(path) {
    if (path == "-") {
        to_stdout_ = true;
        stream_ = stdout;
        return;
    }
    struct stat st {};
    const bool exists = ::stat(path.c_str(), &st) == 0;
    if (exists && S_ISDIR(st.st_mode)) throw CliError("is a directory");
    if (exists && !S_ISREG(st.st_mode)) {
        // A device or a pipe (/dev/null, /dev/stdout, a FIFO) is written in
        // place: renaming a temporary file over it would replace the node.
        stream_ = std::fopen(path.c_str(), "wb");
        if (!stream_) throw CliError(errno_text("cannot open for writing"));
        return;
    }
    const std::size_t slash = path.find_last_of('/');
    const std::string dir = slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
    const std::string base = slash == std::string::npos ? path : path.substr(slash + 1);
    temp_ = dir + "." + base + ".tmp-XXXXXX";
    const int fd = ::mkstemp(&temp_[0]);
    if (fd < 0) {
        temp_.clear();
        throw CliError(errno_text("cannot create file"));
    }
    ::fchmod(fd, creation_mode());
    stream_ = ::fdopen(fd, "wb");
    if (!stream_) {
        ::close(fd);
        ::unlink(temp_.c_str());
        temp_.clear();
        throw CliError(errno_text("cannot create file"));
    }
}

OutputFile::~OutputFile() {
    if (to_stdout_) return;
    if (stream_) std::fclose(stream_);
    if (!temp_.empty()) ::unlink(temp_.c_str());
}

void OutputFile::commit() {
    if (to_stdout_) {
        if (std::fflush(stdout) != 0) throw CliError(errno_text("cannot write"));
        return;
    }
    std::FILE *f = stream_;
    stream_ = nullptr;
    const bool flushed = std::fflush(f) == 0;
    const int flush_errno = errno;
    if (std::fclose(f) != 0 || !flushed) {
        errno = flushed ? errno : flush_errno;
        throw CliError(errno_text("cannot write"));
    }
    if (temp_.empty()) return;  // written in place
    if (::rename(temp_.c_str(), path_.c_str()) != 0) throw CliError(errno_text("cannot rename into place"));
    temp_.clear();
}

}  // namespace ktvcli
