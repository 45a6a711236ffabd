// The JSON parser: one pass over the text with an explicit stack of open
// containers (limited in depth), so a hostile file can neither exhaust the
// call stack nor make the reader accept what a stricter reader refuses.
#include "json_reader.h"

#include <cerrno>
#include <charconv>
#include <cstdlib>
#include <cmath>
#include <cstdio>
#include <tuple>

#include "error.h"

namespace ktvcli {

namespace {

constexpr int kMaxDepth = 64;

}  // namespace

// ---- values ------------------------------------------------------------------

JsonKind JsonValue::kind() const { return doc_->nodes_[index_].kind; }
int JsonValue::line() const { return doc_->nodes_[index_].line; }
bool JsonValue::boolean() const { return doc_->nodes_[index_].boolean; }
double JsonValue::number() const { return doc_->nodes_[index_].number; }
std::size_t JsonValue::size() const { return static_cast<std::size_t>(doc_->nodes_[index_].count); }
JsonValue JsonValue::first() const { return {doc_, doc_->nodes_[index_].first}; }
JsonValue JsonValue::next() const { return {doc_, doc_->nodes_[index_].next}; }

std::string_view JsonValue::text() const {
    const auto &n = doc_->nodes_[index_];
    return std::string_view(doc_->strings_).substr(n.text, n.text_size);
}

std::string_view JsonValue::key() const {
    const auto &n = doc_->nodes_[index_];
    return std::string_view(doc_->strings_).substr(n.key, n.key_size);
}

JsonValue JsonValue::member(std::string_view name) const {
    if (kind() != JsonKind::Object) return {doc_, -1};
    for (JsonValue m = first(); m.valid(); m = m.next())
        if (m.key() == name) return m;
    return {doc_, -1};
}

const char *json_kind_name(JsonKind kind) {
    switch (kind) {
    case JsonKind::Null: return "null";
    case JsonKind::Bool: return "true or false";
    case JsonKind::Number: return "a number";
    case JsonKind::String: return "a string";
    case JsonKind::Array: return "an array";
    case JsonKind::Object: return "an object";
    }
    return "?";
}

// ---- parser ------------------------------------------------------------------

namespace {

// The number text [b, e), checked by the grammar, as the nearest double:
// std::from_chars where the standard library has it for doubles, strtod
// (correctly rounded, and reading '.' in the "C" locale that a program
// starts in, which nothing here changes) where it does not, as in the
// library of the WebAssembly build.
template <class D>
auto read_double(const char *b, const char *e, D &v, int) -> decltype(std::from_chars(b, e, v), bool()) {
    return std::from_chars(b, e, v).ec == std::errc();
}
template <class D> bool read_double(const char *b, const char *e, D &v, long) {
    const std::string text(b, e);
    errno = 0;
    char *end = nullptr;
    v = std::strtod(text.c_str(), &end);
    return errno != ERANGE && end == text.c_str() + text.size();
}

struct JsonParser {
    std::string_view s;
    std::size_t pos = 0;
    int line = 1;
    std::string &strings;

    [[noreturn]] void fail(const std::string &problem) const {
        throw CliError("line " + std::to_string(line) + ": " + problem);
    }

    void skip_space() {
        while (pos < s.size()) {
            const char c = s[pos];
            if (c == '\n') ++line;
            else if (c != ' ' && c != '\t' && c != '\r') break;
            ++pos;
        }
    }

    bool take(char c) {
        if (pos < s.size() && s[pos] == c) {
            ++pos;
            return true;
        }
        return false;
    }

    std::string describe_here() const {
        if (pos >= s.size()) return "the end of the file";
        const unsigned char c = static_cast<unsigned char>(s[pos]);
        if (c >= 0x20 && c < 0x7f) return std::string("'") + static_cast<char>(c) + "'";
        char buf[16];
        std::snprintf(buf, sizeof buf, "byte 0x%02x", c);
        return buf;
    }

    void expect_word(const char *word) {
        for (const char *w = word; *w; ++w)
            if (!take(*w)) fail(std::string("expected '") + word + "'");
    }

    static void put_utf8(std::string &out, unsigned long cp) {
        if (cp < 0x80) {
            out += static_cast<char>(cp);
        } else if (cp < 0x800) {
            out += static_cast<char>(0xc0 | (cp >> 6));
            out += static_cast<char>(0x80 | (cp & 0x3f));
        } else if (cp < 0x10000) {
            out += static_cast<char>(0xe0 | (cp >> 12));
            out += static_cast<char>(0x80 | ((cp >> 6) & 0x3f));
            out += static_cast<char>(0x80 | (cp & 0x3f));
        } else {
            out += static_cast<char>(0xf0 | (cp >> 18));
            out += static_cast<char>(0x80 | ((cp >> 12) & 0x3f));
            out += static_cast<char>(0x80 | ((cp >> 6) & 0x3f));
            out += static_cast<char>(0x80 | (cp & 0x3f));
        }
    }

    unsigned long hex4() {
        if (pos + 4 > s.size()) fail("truncated \\u escape");
        unsigned long v = 0;
        for (int i = 0; i < 4; ++i) {
            const char c = s[pos++];
            v <<= 4;
            if (c >= '0' && c <= '9') v |= static_cast<unsigned long>(c - '0');
            else if (c >= 'a' && c <= 'f') v |= static_cast<unsigned long>(c - 'a' + 10);
            else if (c >= 'A' && c <= 'F') v |= static_cast<unsigned long>(c - 'A' + 10);
            else fail("bad \\u escape");
        }
        return v;
    }

    // A string after its opening quote, decoded into `strings`; its place.
    std::pair<std::uint32_t, std::uint32_t> string_body() {
        const std::size_t start = strings.size();
        for (;;) {
            if (pos >= s.size()) fail("unterminated string");
            const unsigned char c = static_cast<unsigned char>(s[pos++]);
            if (c == '"') break;
            if (c < 0x20) fail("control character inside a string");
            if (c != '\\') {
                strings += static_cast<char>(c);
                continue;
            }
            if (pos >= s.size()) fail("unterminated string");
            const char e = s[pos++];
            switch (e) {
            case '"': strings += '"'; break;
            case '\\': strings += '\\'; break;
            case '/': strings += '/'; break;
            case 'b': strings += '\b'; break;
            case 'f': strings += '\f'; break;
            case 'n': strings += '\n'; break;
            case 'r': strings += '\r'; break;
            case 't': strings += '\t'; break;
            case 'u': {
                unsigned long cp = hex4();
                if (cp >= 0xd800 && cp < 0xdc00) {
                    if (!(take('\\') && take('u'))) fail("unpaired surrogate in \\u escape");
                    const unsigned long low = hex4();
                    if (low < 0xdc00 || low >= 0xe000) fail("unpaired surrogate in \\u escape");
                    cp = 0x10000 + ((cp - 0xd800) << 10) + (low - 0xdc00);
                } else if (cp >= 0xdc00 && cp < 0xe000) {
                    fail("unpaired surrogate in \\u escape");
                }
                put_utf8(strings, cp);
                break;
            }
            default: fail(std::string("bad escape '\\") + e + "'");
            }
        }
        return {static_cast<std::uint32_t>(start), static_cast<std::uint32_t>(strings.size() - start)};
    }

    static bool digit(char c) { return c >= '0' && c <= '9'; }

    double number_text() {
        const std::size_t start = pos;
        take('-');
        if (take('0')) {
            if (pos < s.size() && digit(s[pos])) fail("leading zero in a number");
        } else {
            if (pos >= s.size() || !digit(s[pos])) fail("expected a value, found " + describe_here());
            while (pos < s.size() && digit(s[pos])) ++pos;
        }
        if (take('.')) {
            if (pos >= s.size() || !digit(s[pos])) fail("expected a digit after '.'");
            while (pos < s.size() && digit(s[pos])) ++pos;
        }
        if (pos < s.size() && (s[pos] == 'e' || s[pos] == 'E')) {
            ++pos;
            if (!take('+')) take('-');
            if (pos >= s.size() || !digit(s[pos])) fail("expected a digit in the exponent");
            while (pos < s.size() && digit(s[pos])) ++pos;
        }
        double v = 0;
        if (!read_double(s.data() + start, s.data() + pos, v, 0) || !std::isfinite(v)) fail("number out of range");
        return v;
    }
};

}  // namespace

JsonDocument::JsonDocument(std::string_view text) {
    JsonParser p{text, 0, 1, strings_};
    if (text.size() >= 0xffffffffu) p.fail("file too large");
    nodes_.reserve(text.size() / 8 + 1);

    // Explicit stack of open containers: the value index and the last child.
    struct Open {
        std::int32_t index, last;
    };
    std::vector<Open> open;
    auto add = [&](JsonKind kind, std::uint32_t key, std::uint32_t key_size) -> std::int32_t {
        const auto index = static_cast<std::int32_t>(nodes_.size());
        Node n;
        n.kind = kind;
        n.line = p.line;
        n.key = key;
        n.key_size = key_size;
        nodes_.push_back(n);
        if (!open.empty()) {
            Open &o = open.back();
            if (o.last < 0) nodes_[static_cast<std::size_t>(o.index)].first = index;
            else nodes_[static_cast<std::size_t>(o.last)].next = index;
            o.last = index;
            ++nodes_[static_cast<std::size_t>(o.index)].count;
        }
        return index;
    };

    for (;;) {
        // One value (and its member name inside an object).
        std::uint32_t key = 0, key_size = 0;
        p.skip_space();
        if (!open.empty() && nodes_[static_cast<std::size_t>(open.back().index)].kind == JsonKind::Object) {
            if (!p.take('"')) p.fail("expected a member name in quotes, found " + p.describe_here());
            std::tie(key, key_size) = p.string_body();
            const std::string_view name = std::string_view(strings_).substr(key, key_size);
            const Node &obj = nodes_[static_cast<std::size_t>(open.back().index)];
            for (std::int32_t m = obj.first; m >= 0; m = nodes_[static_cast<std::size_t>(m)].next) {
                const Node &n = nodes_[static_cast<std::size_t>(m)];
                if (std::string_view(strings_).substr(n.key, n.key_size) == name)
                    p.fail("member \"" + std::string(name) + "\" given twice");
            }
            p.skip_space();
            if (!p.take(':')) p.fail("expected ':' after a member name, found " + p.describe_here());
            p.skip_space();
        }
        if (p.pos >= text.size()) p.fail("expected a value, found the end of the file");
        const char c = text[p.pos];
        bool opened = false;
        if (c == '{' || c == '[') {
            if (open.size() >= kMaxDepth) p.fail("nested too deeply");
            ++p.pos;
            const std::int32_t index = add(c == '{' ? JsonKind::Object : JsonKind::Array, key, key_size);
            open.push_back({index, -1});
            p.skip_space();
            opened = !(p.take(c == '{' ? '}' : ']'));
            if (!opened) open.pop_back();
        } else if (c == '"') {
            ++p.pos;
            const std::int32_t index = add(JsonKind::String, key, key_size);
            const auto body = p.string_body();
            nodes_[static_cast<std::size_t>(index)].text = body.first;
            nodes_[static_cast<std::size_t>(index)].text_size = body.second;
        } else if (c == 't' || c == 'f') {
            p.expect_word(c == 't' ? "true" : "false");
            nodes_[static_cast<std::size_t>(add(JsonKind::Bool, key, key_size))].boolean = c == 't';
        } else if (c == 'n') {
            p.expect_word("null");
            add(JsonKind::Null, key, key_size);
        } else {
            const double v = p.number_text();
            nodes_[static_cast<std::size_t>(add(JsonKind::Number, key, key_size))].number = v;
        }
        if (opened) continue;
        // After a value: a comma for the next one, or close containers.
        for (;;) {
            p.skip_space();
            if (open.empty()) {
                if (p.pos != text.size()) p.fail("unexpected " + p.describe_here() + " after the value");
                return;
            }
            const bool object = nodes_[static_cast<std::size_t>(open.back().index)].kind == JsonKind::Object;
            if (p.take(',')) break;
            if (p.take(object ? '}' : ']')) {
                open.pop_back();
                continue;
            }
            p.fail(std::string("expected ',' or '") + (object ? '}' : ']') + "', found " + p.describe_here());
        }
    }
}

}  // namespace ktvcli
