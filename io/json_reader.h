// A small strict JSON reader (RFC 8259: no comments, no trailing commas, no
// leading zeros, no bare control characters, no duplicate member names,
// nothing after the value).  The document is one flat array of values; a
// container's children are chained by index, so a file of a million nodes
// costs a few tens of bytes per value and no allocation per value.
#ifndef KTVEC_IO_JSON_READER_H
#define KTVEC_IO_JSON_READER_H

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace ktvcli {

enum class JsonKind : std::uint8_t { Null, Bool, Number, String, Array, Object };

class JsonDocument;

// A handle on one value of a document; cheap to copy.
class JsonValue {
public:
    JsonValue() = default;  // invalid
    JsonKind kind() const;
    int line() const;              // line of the value in the file, from 1
    bool boolean() const;          // Bool only
    double number() const;         // Number only
    std::string_view text() const; // String only
    std::size_t size() const;      // members of an Object, items of an Array

    // Children in file order: items of an array, member values of an object.
    JsonValue first() const;       // invalid when there are none
    JsonValue next() const;        // the following sibling, or invalid
    bool valid() const { return index_ >= 0; }
    std::string_view key() const;  // member name, for a member value

    // The value of member `name`, or invalid.
    JsonValue member(std::string_view name) const;

private:
    friend class JsonDocument;
    JsonValue(const JsonDocument *doc, std::int32_t index) : doc_(doc), index_(index) {}
    const JsonDocument *doc_ = nullptr;
    std::int32_t index_ = -1;
};

class JsonDocument {
public:
    // Parses `text`; throws CliError "line L: <problem>".
    explicit JsonDocument(std::string_view text);
    JsonValue root() const { return {this, 0}; }

private:
    friend class JsonValue;
    struct Node {
        double number = 0;
        std::uint32_t text = 0, text_size = 0;  // decoded string, in strings_
        std::uint32_t key = 0, key_size = 0;    // member name, in strings_
        std::int32_t first = -1, next = -1, count = 0;
        std::int32_t line = 0;
        JsonKind kind = JsonKind::Null;
        bool boolean = false;
    };
    std::vector<Node> nodes_;
    std::string strings_;
};

// Names the kind for messages ("a number", "an object").
const char *json_kind_name(JsonKind kind);

}  // namespace ktvcli

#endif
