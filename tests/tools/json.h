// A small strict JSON reader for checking the program's output: RFC 8259
// grammar (no trailing commas, no leading zeros, no bare control characters,
// nothing after the value).  Throws std::runtime_error with the offset of
// the first fault.
#ifndef KTVEC_TEST_JSON_H
#define KTVEC_TEST_JSON_H

#include <map>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

struct Json {
    enum Type { Null, Bool, Number, String, Array, Object } type = Null;
    bool boolean = false;
    double number = 0;
    std::string string;
    std::vector<Json> array;
    std::map<std::string, Json> object;

    const Json &operator[](const std::string &key) const {
        auto it = object.find(key);
        if (type != Object || it == object.end()) throw std::runtime_error("no member " + key);
        return it->second;
    }
    const Json &operator[](std::size_t i) const { return array.at(i); }
    bool has(const std::string &key) const { return type == Object && object.count(key); }
    int as_int() const { return static_cast<int>(number); }
    std::size_t size() const { return type == Array ? array.size() : object.size(); }

    static Json parse(const std::string &text);
};

#endif
