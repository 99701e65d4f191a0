// The datasheet of one constant: the compact JSON text handed to json.loads.
#pragma once

#include <optional>
#include <string>

#include "formulas/constant_record.hpp"
#include "jsontext/json_writer.hpp"

namespace orbalin::formulas {

// The five members: name, status (its text), uncertainty (null when absent or
// not finite), units, value (null when not finite). Derivation and
// dependencies stay out.
[[nodiscard]] jsontext::Object datasheet_object(const ConstantRecord& record);

// Writes `object` as the datasheet text into `out`, which is cleared first and
// given room for 128 bytes: every seed datasheet fits without growing.
[[nodiscard]] std::optional<jsontext::WriteError> write_datasheet(const jsontext::Object& object, std::string& out);

inline constexpr std::size_t datasheet_reserve = 128;

}  // namespace orbalin::formulas
