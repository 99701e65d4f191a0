// Texts fixed at compile time and joined there. A wrapper class's dotted
// name and the names its messages use are all made from its one class name,
// so a renamed class cannot leave one of them behind.
#pragma once

#include <algorithm>
#include <cstddef>

namespace orbalin::pyfacade {

// A string literal's characters, held by value so that constants can be made
// by joining others, and usable as a template argument.
template <std::size_t Size>
struct FixedText {
    char text[Size]{};  // the characters and the terminating zero

    constexpr FixedText() noexcept = default;
    // Implicit, so that a literal can stand where a FixedText is expected.
    // NOLINTNEXTLINE(google-explicit-constructor,hicpp-explicit-conversions)
    constexpr FixedText(const char (&literal)[Size]) noexcept { std::copy_n(literal, Size, text); }

    [[nodiscard]] constexpr const char* c_str() const noexcept { return text; }
};

// The parts one after another, as one text.
template <std::size_t... Sizes>
consteval auto join(const FixedText<Sizes>&... parts) noexcept {
    FixedText<(Sizes + ...) - sizeof...(Sizes) + 1> joined;
    char* end = joined.text;
    ((end = std::copy_n(parts.text, Sizes - 1, end)), ...);
    return joined;
}

}  // namespace orbalin::pyfacade
