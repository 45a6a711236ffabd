#include "json.h"

#include <cstdlib>

namespace {

class Parser {
public:
    explicit Parser(const std::string &t) : t_(t) {}

    Json document() {
        Json v = value();
        blank();
        if (i_ != t_.size()) fail("text after the value");
        return v;
    }

private:
    [[noreturn]] void fail(const std::string &what) {
        throw std::runtime_error("JSON: " + what + " at offset " + std::to_string(i_));
    }
    void blank() {
        while (i_ < t_.size() && (t_[i_] == ' ' || t_[i_] == '\n' || t_[i_] == '\r' || t_[i_] == '\t')) ++i_;
    }
    char peek() { return i_ < t_.size() ? t_[i_] : '\0'; }
    void expect(char c) {
        if (peek() != c) fail(std::string("expected '") + c + "'");
        ++i_;
    }
    void word(const char *w) {
        for (; *w; ++w) expect(*w);
    }

    Json value() {
        blank();
        Json v;
        switch (peek()) {
        case '{': v.type = Json::Object; object(v); break;
        case '[': v.type = Json::Array; array(v); break;
        case '"': v.type = Json::String; v.string = string(); break;
        case 't': word("true"); v.type = Json::Bool; v.boolean = true; break;
        case 'f': word("false"); v.type = Json::Bool; break;
        case 'n': word("null"); break;
        default: v.type = Json::Number; v.number = number();
        }
        return v;
    }

    void object(Json &v) {
        expect('{');
        blank();
        if (peek() == '}') { ++i_; return; }
        for (;;) {
            blank();
            std::string key = string();
            if (v.object.count(key)) fail("duplicate key " + key);
            blank();
            expect(':');
            v.object[key] = value();
            blank();
            if (peek() == ',') { ++i_; continue; }
            expect('}');
            return;
        }
    }

    void array(Json &v) {
        expect('[');
        blank();
        if (peek() == ']') { ++i_; return; }
        for (;;) {
            v.array.push_back(value());
            blank();
            if (peek() == ',') { ++i_; continue; }
            expect(']');
            return;
        }
    }

    std::string string() {
        expect('"');
        std::string s;
        for (;;) {
            if (i_ >= t_.size()) fail("unterminated string");
            char c = t_[i_++];
            if (c == '"') return s;
            if (static_cast<unsigned char>(c) < 0x20) fail("control character in string");
            if (c != '\\') { s += c; continue; }
            char e = peek();
            ++i_;
            switch (e) {
            case '"': case '\\': case '/': s += e; break;
            case 'b': s += '\b'; break;
            case 'f': s += '\f'; break;
            case 'n': s += '\n'; break;
            case 'r': s += '\r'; break;
            case 't': s += '\t'; break;
            case 'u': {
                if (i_ + 4 > t_.size()) fail("short \\u escape");
                unsigned code = static_cast<unsigned>(std::strtoul(t_.substr(i_, 4).c_str(), nullptr, 16));
                i_ += 4;
                if (code < 0x80) s += static_cast<char>(code);
                else s += '?';
                break;
            }
            default: fail("bad escape");
            }
        }
    }

    double number() {
        const std::size_t start = i_;
        if (peek() == '-') ++i_;
        if (peek() == '0') {
            ++i_;
        } else if (peek() >= '1' && peek() <= '9') {
            while (peek() >= '0' && peek() <= '9') ++i_;
        } else {
            fail("bad value");
        }
        if (peek() == '.') {
            ++i_;
            if (!(peek() >= '0' && peek() <= '9')) fail("bad fraction");
            while (peek() >= '0' && peek() <= '9') ++i_;
        }
        if (peek() == 'e' || peek() == 'E') {
            ++i_;
            if (peek() == '+' || peek() == '-') ++i_;
            if (!(peek() >= '0' && peek() <= '9')) fail("bad exponent");
            while (peek() >= '0' && peek() <= '9') ++i_;
        }
        return std::strtod(t_.substr(start, i_ - start).c_str(), nullptr);
    }

    const std::string &t_;
    std::size_t i_ = 0;
};

}  // namespace

Json Json::parse(const std::string &text) { return Parser(text).document(); }
