#include "jsontext/json_writer.hpp"

#include <array>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdlib>

namespace orbalin::jsontext {
namespace {

// Shortest round-trip digits and the decimal exponent of the first digit.
struct Decimal {
    std::array<char, 17> digits{};  // a double never needs more than 17
    int count = 0;
    int exponent = 0;
};

// std::to_chars in scientific form without a precision yields the shortest
// digit string that reads back to the same double, the nearest one on ties:
// "d[.ddd]e[+-]xx". Split it into digits and exponent.
Decimal shortest_decimal(double magnitude) {
    std::array<char, 32> text{};
    const auto written =
        std::to_chars(text.data(), text.data() + text.size(), magnitude, std::chars_format::scientific);
    Decimal decimal;
    const char* at = text.data();
    for (; at != written.ptr && *at != 'e'; ++at) {
        if (*at != '.') {
            decimal.digits[static_cast<std::size_t>(decimal.count++)] = *at;
        }
    }
    ++at;  // the 'e'
    const bool negative = *at == '-';
    ++at;  // the exponent's sign, always written
    int exponent = 0;
    std::from_chars(at, written.ptr, exponent);
    decimal.exponent = negative ? -exponent : exponent;
    return decimal;
}

void append_hex_escape(TextBuffer& out, unsigned char byte) {
    static constexpr std::string_view hex = "0123456789abcdef";
    out.append("\\u00");
    out.push_back(hex[byte >> 4]);
    out.push_back(hex[byte & 0x0F]);
}

}  // namespace

std::optional<double> finite_or_null(double number) {
    if (std::isfinite(number)) {
        return number;
    }
    return std::nullopt;
}

void append_string(TextBuffer& out, std::string_view text) {
    out.push_back('"');
    // Bytes that need no escape are copied in runs, one append per run.
    std::size_t run = 0;
    for (std::size_t at = 0; at < text.size(); ++at) {
        const auto byte = static_cast<unsigned char>(text[at]);
        if (byte >= 0x20 && byte != 0x22 && byte != 0x5C) {
            continue;
        }
        out.append(text.substr(run, at - run));
        run = at + 1;
        switch (byte) {
            case 0x22:
                out.append("\\\"");
                break;
            case 0x5C:
                out.append("\\\\");
                break;
            case 0x08:
                out.append("\\b");
                break;
            case 0x09:
                out.append("\\t");
                break;
            case 0x0A:
                out.append("\\n");
                break;
            case 0x0C:
                out.append("\\f");
                break;
            case 0x0D:
                out.append("\\r");
                break;
            default:
                append_hex_escape(out, byte);
        }
    }
    out.append(text.substr(run));
    out.push_back('"');
}

std::optional<WriteError> append_number(TextBuffer& out, double number) {
    if (!std::isfinite(number)) {
        return WriteError{"cannot write a non-finite number as JSON"};
    }
    if (std::signbit(number)) {
        out.push_back('-');
    }
    const double magnitude = std::fabs(number);
    // An integral magnitude below 2^53 is its integer's digits: that is the
    // shortest text that reads back to it, and below 1e16 it is written
    // plainly. Most values are such counts; they skip the digit search.
    if (magnitude < 0x1p53 && magnitude == std::trunc(magnitude)) {
        std::array<char, 16> integer{};
        const auto written =
            std::to_chars(integer.data(), integer.data() + integer.size(), static_cast<std::uint64_t>(magnitude));
        out.append(std::string_view(integer.data(), static_cast<std::size_t>(written.ptr - integer.data())));
        out.append(".0");
        return std::nullopt;
    }
    const Decimal d = shortest_decimal(magnitude);
    const std::string_view digits(d.digits.data(), static_cast<std::size_t>(d.count));
    const int n = d.count;
    const int e = d.exponent;
    if (e >= -5 && e <= 15) {
        if (e >= n - 1) {  // integral: pad with zeros, then ".0"
            const int zeros = e - n + 1;
            out.append(digits).append(static_cast<std::size_t>(zeros), '0').append(".0");
        } else if (e >= 0) {
            const int whole_digits = e + 1;
            const auto whole = static_cast<std::size_t>(whole_digits);
            out.append(digits.substr(0, whole)).append(1, '.').append(digits.substr(whole));
        } else {
            const int zeros = -e - 1;
            out.append("0.").append(static_cast<std::size_t>(zeros), '0').append(digits);
        }
        return std::nullopt;
    }
    out.push_back(digits[0]);
    if (n > 1) {
        out.append(1, '.').append(digits.substr(1));
    }
    out.append(e > 0 ? "e+" : "e-");
    std::array<char, 8> exponent{};
    const auto written = std::to_chars(exponent.data(), exponent.data() + exponent.size(), std::abs(e));
    out.append(std::string_view(exponent.data(), static_cast<std::size_t>(written.ptr - exponent.data())));
    return std::nullopt;
}

void ObjectWriter::key_of_next_member(std::string_view key) {
    if (!first_) {
        out_.push_back(',');
    }
    first_ = false;
    append_string(out_, key);
    out_.push_back(':');
}

std::optional<WriteError> ObjectWriter::member(std::string_view key, std::optional<double> number) {
    key_of_next_member(key);
    if (!number) {
        out_.append("null");
        return std::nullopt;
    }
    return append_number(out_, *number);
}

}  // namespace orbalin::jsontext
