// Provenance tag of a constant's value.
#pragma once

#include <cstdint>
#include <string_view>

namespace orbalin::formulas {

// The numbering is internal: nothing stored or sent depends on it.
enum class ConstantStatus : std::uint8_t {
    Seed = 0,      // given directly in the seed table
    Cached = 1,    // reserved: computed once and kept
    Pending = 2,   // carries a derivation that has not been evaluated
    External = 3,  // reserved: supplied from outside
};

// The text shown for a status, exactly the enumerator's name.
[[nodiscard]] constexpr std::string_view display_text(ConstantStatus status) noexcept {
    switch (status) {
        case ConstantStatus::Seed:
            return "Seed";
        case ConstantStatus::Cached:
            return "Cached";
        case ConstantStatus::Pending:
            return "Pending";
        case ConstantStatus::External:
            return "External";
    }
    return "Seed";  // unreachable for the four enumerators; keeps -Wreturn-type quiet
}

}  // namespace orbalin::formulas
