// The JSON text writer, grouped by the kind of fault each test catches:
// layout of numbers, escaping of strings, round trip and shortness of digits.
#include <gtest/gtest.h>

#include <bit>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <limits>
#include <ostream>
#include <random>
#include <string>

#include "jsontext/json_writer.hpp"

namespace orbalin::jsontext {
namespace {

std::string number_text(double number) {
    std::string out;
    EXPECT_FALSE(append_number(out, number).has_value()) << number;
    return out;
}

std::string string_text(std::string_view text) {
    std::string out;
    append_string(out, text);
    return out;
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
                                           Layout{4503599627370497.0, "4503599627370497.0"}));

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
        std::string out = "x";
        EXPECT_TRUE(append_number(out, bad).has_value());
        EXPECT_EQ(out, "x");
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

TEST(ObjectText, MembersInKeyByteOrderCompact) {
    const Object object{{"value", 3.0},
                        {"name", std::string("n_gen")},
                        {"units", std::string("count")},
                        {"uncertainty", Null{}},
                        {"status", std::string("Seed")}};
    std::string out;
    ASSERT_FALSE(append_object(out, object).has_value());
    EXPECT_EQ(out, R"({"name":"n_gen","status":"Seed","uncertainty":null,"units":"count","value":3.0})");
}

TEST(ObjectText, PrefixKeyFirstUnsignedBytes) {
    const Object object{{"\xC3\xA9", Null{}}, {"ab", Null{}}, {"a", Null{}}, {"", Null{}}};
    std::string out;
    ASSERT_FALSE(append_object(out, object).has_value());
    EXPECT_EQ(out, "{\"\":null,\"a\":null,\"ab\":null,\"\xC3\xA9\":null}");
}

TEST(ObjectText, NonFiniteMemberFailsWithAMessage) {
    const Object object{{"v", std::numeric_limits<double>::quiet_NaN()}};
    std::string out;
    const auto error = append_object(out, object);
    ASSERT_TRUE(error.has_value());
    EXPECT_FALSE(error->message.empty());
}

TEST(ObjectText, FiniteOrNullMapsNonFiniteToNull) {
    EXPECT_EQ(finite_or_null(1.5), Value(1.5));
    EXPECT_EQ(finite_or_null(std::numeric_limits<double>::infinity()), Value(Null{}));
    EXPECT_EQ(finite_or_null(std::numeric_limits<double>::quiet_NaN()), Value(Null{}));
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
