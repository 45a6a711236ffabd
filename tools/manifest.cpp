#include "manifest.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <functional>

#include "error.h"
#include "json_reader.h"
#include "text_sink.h"

namespace ktvcli {

Stamp stamp_of(const std::string &path) {
    Stamp s;
    struct stat st {};
    struct tm utc {};
    if (::stat(path.c_str(), &st) != 0 || !::gmtime_r(&st.st_mtim.tv_sec, &utc)) return s;
    char text[48];
    const std::size_t n = std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%S", &utc);
    std::snprintf(text + n, sizeof text - n, ".%09ldZ", static_cast<long>(st.st_mtim.tv_nsec));
    s.known = true;
    s.size = static_cast<std::int64_t>(st.st_size);
    s.mtime = text;
    return s;
}

std::uint64_t Stamp::key() const {
    if (!known) return 0;
    const std::uint64_t h = std::hash<std::string>{}(mtime) ^ (static_cast<std::uint64_t>(size) * 0x9E3779B97F4A7C15u);
    return h ? h : 1;
}

std::string manifest_line(const PageRecord &r) {
    TextSink out;
    out.put("{\"input\":").json_string(r.input);
    out.put(",\"page\":").integer(r.page).put(",\"pages\":").integer(r.pages);
    if (r.stamp.known) out.put(",\"size\":").integer(r.stamp.size).put(",\"mtime\":").json_string(r.stamp.mtime);
    else out.put(",\"size\":null,\"mtime\":null");
    out.put(",\"outputs\":[");
    for (std::size_t i = 0; i < r.outputs.size(); ++i) (i ? out.put(',') : out).json_string(r.outputs[i]);
    out.put(']');
    if (r.error.empty()) out.put(",\"counts\":{\"nodes\":").integer(r.nodes).put(",\"polylines\":").integer(r.polylines).put('}');
    else out.put(",\"counts\":null");
    // Microseconds are plenty, and keep the line short.
    out.put(",\"seconds\":").number(std::round(r.seconds * 1e6) / 1e6);
    out.put(",\"error\":");
    if (r.error.empty()) out.put("null");
    else out.json_string(r.error);
    out.put("}\n");
    return out.text();
}

namespace {

struct PageState {
    int page, pages;
    std::uint64_t stamp;
    bool ok;
};

// One line into (input, page) and its state; false for a line that does
// not parse or lacks a member.
bool parse_line(std::string_view line, std::string &input, PageState &state) {
    try {
        const JsonDocument doc(line);
        const JsonValue root = doc.root();
        if (root.kind() != JsonKind::Object) return false;
        const JsonValue in = root.member("input"), pg = root.member("page"), pgs = root.member("pages"),
                        size = root.member("size"), mtime = root.member("mtime"), error = root.member("error");
        if (!in.valid() || in.kind() != JsonKind::String || !pg.valid() || pg.kind() != JsonKind::Number ||
            !pgs.valid() || pgs.kind() != JsonKind::Number || !error.valid())
            return false;
        input = in.text();
        state.page = static_cast<int>(pg.number());
        state.pages = static_cast<int>(pgs.number());
        Stamp stamp;
        stamp.known = size.valid() && size.kind() == JsonKind::Number && mtime.valid() &&
                      mtime.kind() == JsonKind::String;
        if (stamp.known) {
            stamp.size = static_cast<std::int64_t>(size.number());
            stamp.mtime = mtime.text();
        }
        state.stamp = stamp.key();
        state.ok = error.kind() == JsonKind::Null && stamp.known && state.page >= 1 && state.page <= state.pages;
        return true;
    } catch (const CliError &) {
        return false;  // the torn last line of a killed run
    }
}

}  // namespace

std::unordered_map<std::string, std::uint64_t> done_inputs(const std::string &path) {
    std::unordered_map<std::string, std::uint64_t> done;
    std::FILE *f = std::fopen(path.c_str(), "rb");
    if (!f) {
        if (errno == ENOENT) return done;
        throw CliError(path + ": cannot open the manifest (" + std::strerror(errno) + ")");
    }
    // The latest line of every page of every input (a few pages per input:
    // a short list, searched in place), then each input's verdict.  Read a
    // line at a time: a million-page manifest is a quarter of a gigabyte.
    std::unordered_map<std::string, std::vector<PageState>> latest;
    std::string input;
    char *line = nullptr;
    std::size_t capacity = 0;
    ssize_t n;
    while ((n = ::getline(&line, &capacity, f)) >= 0) {
        PageState state{};
        if (!parse_line(std::string_view(line, static_cast<std::size_t>(n)), input, state)) continue;
        std::vector<PageState> &pages = latest[input];
        const auto same = std::find_if(pages.begin(), pages.end(), [&](const PageState &p) { return p.page == state.page; });
        if (same != pages.end()) *same = state;
        else pages.push_back(state);
    }
    const bool failed = std::ferror(f) != 0;
    std::free(line);
    std::fclose(f);
    if (failed) throw CliError(path + ": cannot read the manifest");
    for (const auto &[name, pages] : latest) {
        const PageState &first = pages.front();
        bool ok = static_cast<int>(pages.size()) == first.pages;
        for (const PageState &s : pages) ok = ok && s.ok && s.pages == first.pages && s.stamp == first.stamp;
        if (ok) done.emplace(name, first.stamp);
    }
    return done;
}

ManifestWriter::ManifestWriter(const std::string &path) : path_(path) {
    fd_ = ::open(path.c_str(), O_RDWR | O_CREAT | O_APPEND | O_CLOEXEC, 0666);
    if (fd_ < 0) throw CliError(path + ": cannot open the manifest (" + std::strerror(errno) + ")");
    // A run killed while writing leaves a torn last line: end it, so that
    // the first line of this run does not run on from it.
    struct stat st {};
    char last = '\n';
    if (::fstat(fd_, &st) == 0 && st.st_size > 0 && ::pread(fd_, &last, 1, st.st_size - 1) == 1 && last != '\n') {
        write_text("\n");
    }
}

ManifestWriter::~ManifestWriter() {
    if (fd_ >= 0) ::close(fd_);
}

void ManifestWriter::write(const PageRecord &r) { write_text(manifest_line(r)); }

void ManifestWriter::write_text(const std::string &line) {
    const std::lock_guard<std::mutex> lock(mutex_);
    const char *p = line.data();
    std::size_t left = line.size();
    while (left > 0) {
        const ssize_t n = ::write(fd_, p, left);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) throw CliError(path_ + ": cannot write the manifest (" + std::strerror(errno) + ")");
        p += n;
        left -= static_cast<std::size_t>(n);
    }
}

}  // namespace ktvcli
