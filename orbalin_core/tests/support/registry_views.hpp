// The registries' answers in the shapes tests compare and print plainly: a
// listing as owned strings, a lookup as a ConstantRecord.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "formulas/formulas_registry.hpp"

namespace orbalin::test_support {

template <class Registry>
std::vector<std::string> sorted_names(const Registry& registry) {
    const std::vector<std::string_view> views = registry.sorted_name_views();
    return {views.begin(), views.end()};
}

// The record stored under exactly `name`, or nothing.
inline std::optional<formulas::ConstantRecord> lookup(const formulas::FormulasRegistry& registry,
                                                      std::string_view name) {
    formulas::RecordCopy copy;
    if (registry.get(name, copy)) {
        return std::nullopt;
    }
    return copy.record().to_record();
}

}  // namespace orbalin::test_support
