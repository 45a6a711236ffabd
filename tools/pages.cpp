#include "pages.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

#include "error.h"
#include "image.h"

namespace ktvcli {

namespace {

// Only a TIFF file can hold several pages; its first four bytes say so, and
// reading just those spares a large PBM or PNG a second full read.
bool may_hold_pages(const std::string &path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return true;  // let the full read report the problem
    unsigned char head[4] = {};
    ssize_t got;
    do got = ::read(fd, head, sizeof head);
    while (got < 0 && errno == EINTR);
    ::close(fd);
    return got != static_cast<ssize_t>(sizeof head) || tiff_signature(head, sizeof head);
}

}  // namespace

int input_page_count(const std::string &input) {
    if (input == "-") return 1;  // a stream cannot be read twice
    if (!may_hold_pages(input)) return 1;
    try {
        const Buffer file = read_file(input);
        if (!tiff_signature(file.data(), file.size())) return 1;
        return tiff_page_count(file.data(), file.size());
    } catch (const CliError &) {
        return 1;
    }
}

std::string page_output_name(const std::string &path, int page) {
    if (path == "-") return path;
    const std::size_t slash = path.find_last_of('/');
    const std::size_t name = slash == std::string::npos ? 0 : slash + 1;
    std::size_t dot = path.find_last_of('.');
    // A leading dot is part of the name (".svg" is a hidden file, not an extension).
    if (dot == std::string::npos || dot <= name) dot = path.size();
    return path.substr(0, dot) + "-p" + std::to_string(page) + path.substr(dot);
}

Settings page_settings(const Settings &s, int page) {
    Settings one = s;
    one.page = page;
    for (std::string &path : one.outputs) path = page_output_name(path, page);
    return one;
}

}  // namespace ktvcli
