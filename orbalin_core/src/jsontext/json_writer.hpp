// Compact JSON text for flat objects of null, number and string members.
//
// Plain C++ without the interpreter, so the exact text can be tested natively.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "jsontext/text_buffer.hpp"

namespace orbalin::jsontext {

// `number` when it is finite, else nothing, which a member writes as null:
// JSON has no NaN or infinity.
[[nodiscard]] std::optional<double> finite_or_null(double number);

// Why writing stopped; the text reaches Python as a ValueError.
struct WriteError {
    std::string message;
};

// Appends `text` as a JSON string: quotes, the two-character escapes, \u00xx
// (lower-case hex) for other control bytes; every other byte, 0x7F and the
// bytes of multi-byte UTF-8 included, is copied unchanged.
void append_string(TextBuffer& out, std::string_view text);

// Appends a finite double in the shortest digits that read back to it,
// plain for decimal exponents -5..15 (always with ".0" or a fraction), else as
// d.ddde[+-]x. Refuses NaN and infinities, leaving `out` unchanged.
[[nodiscard]] std::optional<WriteError> append_number(TextBuffer& out, double number);

// Writes one object member by member, for callers whose keys come in byte
// order already: "{", members separated by ",", then "}" on close().
class ObjectWriter {
public:
    explicit ObjectWriter(TextBuffer& out) : out_(out) { out_.push_back('{'); }

    void text_member(std::string_view key, std::string_view text) {
        key_of_next_member(key);
        append_string(out_, text);
    }
    // A number member, or null for no number.
    [[nodiscard]] std::optional<WriteError> member(std::string_view key, std::optional<double> number);

    void close() { out_.push_back('}'); }

private:
    void key_of_next_member(std::string_view key);

    TextBuffer& out_;
    bool first_ = true;
};

}  // namespace orbalin::jsontext
