// The datasheet of one constant: the compact JSON text handed to json.loads.
#pragma once

#include <optional>

#include "formulas/stored_record.hpp"
#include "jsontext/json_writer.hpp"

namespace orbalin::formulas {

// Writes the datasheet of `record` into `out` (cleared first; every seed
// datasheet fits in the buffer's 128 inline bytes without growing). Five members in
// the byte order of their keys: name, status (its text), uncertainty (null
// when absent or not finite), units, value (null when not finite). The
// derivation and dependencies stay out. The members are written straight
// from the record's texts in that fixed order, rather than gathered in an
// ordered map first.
[[nodiscard]] std::optional<jsontext::WriteError> write_datasheet(const StoredRecord& record,
                                                                  jsontext::TextBuffer& out);

}  // namespace orbalin::formulas
