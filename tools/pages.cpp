#include "pages.h"

#include "error.h"
#include "image.h"

namespace ktvcli {

int input_page_count(const std::string &input) {
    if (input == "-") return 1;  // a stream cannot be read twice
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
