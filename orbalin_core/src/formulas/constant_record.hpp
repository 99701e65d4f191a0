// One named natural constant.
#pragma once

#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "formulas/constant_status.hpp"

namespace orbalin::formulas {

// A plain value type that owns all of its texts, so copying it is a deep copy
// and a copy shares nothing with its source. Records are never modified after
// they are made.
struct ConstantRecord {
    std::string name;
    double value = 0.0;
    std::string units;
    std::optional<double> uncertainty;  // absent is a state of its own, not 0.0
    ConstantStatus status = ConstantStatus::Seed;
    std::optional<std::string> derivation;  // present (maybe empty) only when derived
    std::vector<std::string> dependencies;  // names the derivation refers to, in order

    // A constant given with its value: status Seed, no uncertainty, no derivation.
    [[nodiscard]] static ConstantRecord direct(std::string_view name, double value, std::string_view units);

    // A constant to be derived from `expression`: value 0.0, status Pending. The
    // expression and the dependency names are stored as given, never checked.
    [[nodiscard]] static ConstantRecord derived(std::string_view name, std::string_view expression,
                                                std::string_view units, std::span<const std::string_view> dependencies);

    friend bool operator==(const ConstantRecord&, const ConstantRecord&) = default;
};

}  // namespace orbalin::formulas
