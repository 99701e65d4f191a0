// Fuzzes the JSON text writer with an independent oracle that parses the
// text back: strings must come back byte for byte, numbers bit for bit, and
// the text must keep to the writer's grammar (no raw control bytes, only
// the escapes of the table, numbers always with "." or "e").
//
// Input layout: the first 8 bytes are a double's bits (when present), the
// rest is the string to write.
#include <bit>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>

#include "jsontext/json_writer.hpp"

namespace {

[[noreturn]] void fail(const char* what) {
    std::fputs(what, stderr);
    std::fputc('\n', stderr);
    std::abort();
}

int hex_digit(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    return -1;  // upper-case hex is not what the writer produces
}

// Decodes a JSON string literal written by the writer; empty on any text the
// writer must never produce.
std::optional<std::string> parse_string(std::string_view text) {
    if (text.size() < 2 || text.front() != '"' || text.back() != '"') {
        return std::nullopt;
    }
    std::string out;
    for (std::size_t i = 1; i + 1 < text.size(); ++i) {
        const auto byte = static_cast<unsigned char>(text[i]);
        if (byte < 0x20 || byte == '"') {
            return std::nullopt;  // must have been escaped
        }
        if (byte != '\\') {
            out.push_back(text[i]);
            continue;
        }
        ++i;  // the escape's letter, which must come before the closing quote
        if (i >= text.size() - 1) {
            return std::nullopt;
        }
        switch (text[i]) {
            case '"':
                out.push_back('"');
                break;
            case '\\':
                out.push_back('\\');
                break;
            case 'b':
                out.push_back('\b');
                break;
            case 't':
                out.push_back('\t');
                break;
            case 'n':
                out.push_back('\n');
                break;
            case 'f':
                out.push_back('\f');
                break;
            case 'r':
                out.push_back('\r');
                break;
            case 'u': {
                if (i + 4 >= text.size() - 1 || text[i + 1] != '0' || text[i + 2] != '0') {
                    return std::nullopt;
                }
                const int high = hex_digit(text[i + 3]);
                const int low = hex_digit(text[i + 4]);
                if (high < 0 || low < 0) {
                    return std::nullopt;
                }
                const int value = high * 16 + low;
                // Only bytes without a short escape use the \u00xx form.
                if (value >= 0x20 || value == '\b' || value == '\t' || value == '\n' || value == '\f' ||
                    value == '\r') {
                    return std::nullopt;
                }
                out.push_back(static_cast<char>(value));
                i += 4;
                break;
            }
            default:
                return std::nullopt;  // includes "\/": the slash is never escaped
        }
    }
    return out;
}

void check_number(double number) {
    orbalin::jsontext::TextBuffer buffer;
    const auto error = orbalin::jsontext::append_number(buffer, number);
    const std::string text(buffer.view());
    if (!std::isfinite(number)) {
        if (!error || !text.empty()) {
            fail("non-finite number was written");
        }
        return;
    }
    if (error) {
        fail("finite number was refused");
    }
    if (text.find_first_of(".e") == std::string::npos) {
        fail("number without '.' or 'e' would parse as an int");
    }
    if (text.find_first_not_of("0123456789.e+-") != std::string::npos) {
        fail("unexpected character in number");
    }
    char* end = nullptr;
    const double back = std::strtod(text.c_str(), &end);
    if (end != text.c_str() + text.size()) {
        fail("number text not fully consumed");
    }
    if (std::bit_cast<std::uint64_t>(back) != std::bit_cast<std::uint64_t>(number)) {
        fail("number did not read back to the same bits");
    }
}

void check_string(std::string_view raw) {
    orbalin::jsontext::TextBuffer text;
    orbalin::jsontext::append_string(text, raw);
    const auto parsed = parse_string(text.view());
    if (!parsed) {
        fail("string text outside the writer's grammar");
    }
    if (*parsed != raw) {
        fail("string did not read back byte for byte");
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size >= sizeof(double)) {
        double number = 0.0;
        std::memcpy(&number, data, sizeof number);
        check_number(number);
    }
    const std::size_t skip = size >= sizeof(double) ? sizeof(double) : 0;
    check_string(std::string_view(reinterpret_cast<const char*>(data) + skip, size - skip));
    return 0;
}
