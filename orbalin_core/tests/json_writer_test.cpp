// The JSON text writer, grouped by the kind of fault each test catches:
// layout of numbers, escaping of strings, round trip and shortness of digits.
#include <gtest/gtest.h>

#include <bit>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <limits>
#include <optional>
#include <ostream>
#include <random>
#include <string>

#include "jsontext/json_writer.hpp"

namespace orbalin::jsontext {
namespace {

std::string number_text(double number) {
    TextBuffer out;
    EXPECT_FALSE(append_number(out, number).has_value()) << number;
    return std::string(out.view());
}

std::string string_text(std::string_view text) {
    TextBuffer out;
    append_string(out, text);
    return std::string(out.view());
}

struct Layout {
    double number;
    const char* text;
};

void PrintTo(const Layout& layout, std::ostream* os) {
    *os << layout.text;
}

class NumberLayout : public ::testing::TestWithParam<Layout> {};

TEST_P(NumberLayout, FollowsTheExponentRules) {
    EXPECT_EQ(number_text(GetParam().number), GetParam().text);
}

INSTANTIATE_TEST_SUITE_P(Plain, NumberLayout,
                         ::testing::Values(Layout{3.0, "3.0"}, Layout{288.0, "288.0"},
                                           Layout{1e15, "1000000000000000.0"},
                                           Layout{1.618033988749895, "1.618033988749895"}, Layout{1776.86, "1776.86"},
                                           Layout{0.5, "0.5"}, Layout{0.00001, "0.00001"}, Layout{0.000123, "0.000123"},
                                           Layout{123456789012345.6, "123456789012345.6"}, Layout{-2.5, "-2.5"},
                                           Layout{246220.0, "246220.0"},
                                           Layout{4503599627370497.0, "4503599627370497.0"}, Layout{-3.0, "-3.0"},
                                           // both sides of 2^53, where integral values stop taking the short path
                                           Layout{9007199254740991.0, "9007199254740991.0"},
                                           Layout{9007199254740992.0, "9007199254740992.0"},
                                           Layout{9999999999999998.0, "9999999999999998.0"}));

INSTANTIATE_TEST_SUITE_P(Exponent, NumberLayout,
                         ::testing::Values(Layout{1e16, "1e+16"}, Layout{1e-6, "1e-6"}, Layout{2.5e-7, "2.5e-7"},
                                           Layout{std::numeric_limits<double>::max(), "1.7976931348623157e+308"},
                                           Layout{std::numeric_limits<double>::denorm_min(), "5e-324"},
                                           Layout{std::numeric_limits<double>::min(), "2.2250738585072014e-308"},
                                           Layout{-1.5e100, "-1.5e+100"}, Layout{1.2345e16, "1.2345e+16"}));

INSTANTIATE_TEST_SUITE_P(Zeros, NumberLayout, ::testing::Values(Layout{0.0, "0.0"}, Layout{-0.0, "-0.0"}));

TEST(NumberLayout, RefusesWhatJsonCannotHoldAndLeavesTheBufferAlone) {
    for (const double bad : {std::numeric_limits<double>::quiet_NaN(), std::numeric_limits<double>::infinity(),
                             -std::numeric_limits<double>::infinity()}) {
        TextBuffer out;
        out.push_back('x');
        EXPECT_TRUE(append_number(out, bad).has_value());
        EXPECT_EQ(out.view(), "x");
    }
}

struct Escape {
    std::string raw;
    std::string written;
};

void PrintTo(const Escape& escape, std::ostream* os) {
    *os << ::testing::PrintToString(escape.raw);
}

class StringEscape : public ::testing::TestWithParam<Escape> {};

TEST_P(StringEscape, WritesTheTableForm) {
    EXPECT_EQ(string_text(GetParam().raw), GetParam().written);
}

INSTANTIATE_TEST_SUITE_P(Table, StringEscape,
                         ::testing::Values(Escape{"\"", R"("\"")"}, Escape{"\\", R"("\\")"}, Escape{"\b", R"("\b")"},
                                           Escape{"\t", R"("\t")"}, Escape{"\n", R"("\n")"}, Escape{"\f", R"("\f")"},
                                           Escape{"\r", R"("\r")"}, Escape{std::string(1, '\0'), R"("\u0000")"},
                                           Escape{"\x01", R"("\u0001")"}, Escape{"\x0b", R"("\u000b")"},
                                           Escape{"\x1f", R"("\u001f")"}, Escape{"\"\\\t\x01", R"("\"\\\t\u0001")"}));

INSTANTIATE_TEST_SUITE_P(Copied, StringEscape,
                         ::testing::Values(Escape{"", R"("")"}, Escape{"/", R"("/")"}, Escape{"\x7f", "\"\x7f\""},
                                           Escape{" ", R"(" ")"}, Escape{"km/s/Mpc", R"("km/s/Mpc")"},
                                           Escape{"\xC3\xA9\xE2\x80\x94\xF0\x9F\x98\x80",
                                                  "\"\xC3\xA9\xE2\x80\x94\xF0\x9F\x98\x80\""},
                                           Escape{"\xff\xfe", "\"\xff\xfe\""}));

TEST(StringEscape, EveryControlByteIsEscapedAndNoOtherByte) {
    for (int byte = 0; byte < 256; ++byte) {
        const std::string written = string_text(std::string(1, static_cast<char>(byte)));
        const bool escaped = written.size() > 3;
        EXPECT_EQ(escaped, byte < 0x20 || byte == '"' || byte == '\\') << byte;
    }
}

TEST(ObjectText, MembersCompactInTheOrderWritten) {
    TextBuffer out;
    ObjectWriter writer(out);
    writer.text_member("name", "n\"gen");
    ASSERT_FALSE(writer.member("uncertainty", std::nullopt).has_value());
    ASSERT_FALSE(writer.member("value", 3.0).has_value());
    writer.close();
    EXPECT_EQ(out.view(), R"({"name":"n\"gen","uncertainty":null,"value":3.0})");
}

TEST(ObjectText, NonFiniteMemberFailsWithAMessage) {
    TextBuffer out;
    ObjectWriter writer(out);
    const auto error = writer.member("v", std::numeric_limits<double>::quiet_NaN());
    ASSERT_TRUE(error.has_value());
    EXPECT_FALSE(error->message.empty());
}

// Texts longer than the inline bytes move to the heap whole, at every step
// of growth, whether they arrive byte by byte or in runs.
TEST(TextBufferGrowth, KeepsEveryByteAcrossTheMoveToTheHeap) {
    std::string expected;
    TextBuffer out;
    for (std::size_t i = 0; i < 3 * TextBuffer::inline_capacity; ++i) {
        const char byte = static_cast<char>('a' + i % 26);
        if (i % 3 == 0) {
            out.push_back(byte);
            expected.push_back(byte);
        } else if (i % 3 == 1) {
            out.append(i % 7, byte);
            expected.append(i % 7, byte);
        } else {
            out.append(std::string_view(expected).substr(0, i % 41));
            expected.append(expected.substr(0, i % 41));
        }
        ASSERT_EQ(out.view(), expected) << i;
    }
    EXPECT_TRUE(out.on_heap());
    TextBuffer short_text;
    short_text.append(std::string(TextBuffer::inline_capacity, 'x'));
    EXPECT_FALSE(short_text.on_heap()) << "128 bytes fit inline";
}

TEST(ObjectText, FiniteOrNullMapsNonFiniteToNull) {
    EXPECT_EQ(finite_or_null(1.5), 1.5);
    EXPECT_EQ(finite_or_null(std::numeric_limits<double>::infinity()), std::nullopt);
    EXPECT_EQ(finite_or_null(std::numeric_limits<double>::quiet_NaN()), std::nullopt);
}

// Digits of the written text: everything but sign, point, zeros padding the
// integral part or leading a fraction, and the exponent.
std::size_t significant_digits(const std::string& text) {
    std::string digits;
    for (const char c : text.substr(0, text.find('e'))) {
        if (c >= '0' && c <= '9') {
            digits.push_back(c);
        }
    }
    const auto first = digits.find_first_not_of('0');
    const auto last = digits.find_last_not_of('0');
    return first == std::string::npos ? 0 : last - first + 1;
}

// Slow checkers (valgrind) ask for fewer samples through the environment.
int round_trip_samples() {
    const char* requested = std::getenv("ORBALIN_ROUND_TRIP_SAMPLES");
    return requested != nullptr ? std::atoi(requested) : 200000;
}

TEST(NumberRoundTrip, RandomBitPatternsReadBackExactlyInShortestDigits) {
    std::mt19937_64 random(20261208);
    const int samples = round_trip_samples();
    int checked = 0;
    while (checked < samples) {
        const auto number = std::bit_cast<double>(random());
        if (!std::isfinite(number)) {
            continue;
        }
        ++checked;
        const std::string text = number_text(number);
        ASSERT_TRUE(text.find('.') != std::string::npos || text.find('e') != std::string::npos) << text;
        const double back = std::strtod(text.c_str(), nullptr);
        ASSERT_EQ(std::bit_cast<std::uint64_t>(back), std::bit_cast<std::uint64_t>(number)) << text;

        std::array<char, 64> shortest{};
        const auto end =
            std::to_chars(shortest.data(), shortest.data() + shortest.size(), number, std::chars_format::scientific);
        ASSERT_LE(significant_digits(text), significant_digits(std::string(shortest.data(), end.ptr))) << text;
    }
}

}  // namespace
}  // namespace orbalin::jsontext
