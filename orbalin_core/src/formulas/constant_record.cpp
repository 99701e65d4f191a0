#include "formulas/constant_record.hpp"

namespace orbalin::formulas {

ConstantRecord ConstantRecord::direct(std::string_view name, double value, std::string_view units) {
    ConstantRecord record;
    record.name = name;
    record.value = value;
    record.units = units;
    record.status = ConstantStatus::Seed;
    return record;
}

ConstantRecord ConstantRecord::derived(std::string_view name, std::string_view expression, std::string_view units,
                                       std::span<const std::string_view> dependencies) {
    ConstantRecord record;
    record.name = name;
    record.value = 0.0;
    record.units = units;
    record.status = ConstantStatus::Pending;
    record.derivation.emplace(expression);
    record.dependencies.assign(dependencies.begin(), dependencies.end());
    return record;
}

}  // namespace orbalin::formulas
