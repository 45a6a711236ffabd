// Buffered text output for the writers: into a stream (flushed in blocks)
// or into a string (tests).  Numbers are written locale-independently, as
// the shortest text that reads back to the same double.
#ifndef KTVEC_IO_TEXT_SINK_H
#define KTVEC_IO_TEXT_SINK_H

#include <cstdio>
#include <string>
#include <string_view>

namespace ktvcli {

class TextSink {
public:
    TextSink() = default;                       // collects into text()
    explicit TextSink(std::FILE *stream) : stream_(stream) {}
    ~TextSink() = default;
    TextSink(const TextSink &) = delete;
    TextSink &operator=(const TextSink &) = delete;

    TextSink &put(std::string_view s) {
        buffer_.append(s);
        if (stream_ && buffer_.size() >= kBlock) flush();
        return *this;
    }
    TextSink &put(char c) {
        buffer_.push_back(c);
        return *this;
    }
    TextSink &integer(long long v);
    TextSink &number(double v);
    // A JSON/XML-safe quoted string is the writers' business; this only
    // escapes for JSON.
    TextSink &json_string(std::string_view s);
    TextSink &xml_text(std::string_view s);

    // Writes what is buffered to the stream; throws CliError on a write error.
    void flush();
    const std::string &text() const { return buffer_; }

private:
    static constexpr std::size_t kBlock = 1 << 16;
    std::FILE *stream_ = nullptr;
    std::string buffer_;
};

}  // namespace ktvcli

#endif
