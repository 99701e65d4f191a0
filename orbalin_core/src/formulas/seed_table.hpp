// The fixed table every FormulasRegistry is filled from.
#pragma once

#include <array>
#include <span>
#include <string_view>

namespace orbalin::formulas {

struct DirectSeed {
    std::string_view name;
    double value;
    std::string_view units;
};

struct DerivedSeed {
    std::string_view name;
    std::string_view derivation;
    std::span<const std::string_view> dependencies;
    std::string_view units;
};

// Constants given with their value, in insertion order.
[[nodiscard]] std::span<const DirectSeed> direct_seeds() noexcept;

// Constants that carry a derivation (stored, never evaluated), in insertion
// order; they are inserted after every direct seed.
[[nodiscard]] std::span<const DerivedSeed> derived_seeds() noexcept;

inline constexpr std::size_t seed_count = 17;

}  // namespace orbalin::formulas
