// One quark of the Standard Model.
#pragma once

#include <cstdint>
#include <string>

#include "common/flat_text_map.hpp"

namespace orbalin::quarks {

// Free-form numeric attributes of a quark, keyed by name. Nothing fills or
// reads it yet; each map has its own hash key and allocates nothing until
// its first insert.
using QuarkAttributes = common::FlatTextMap<std::int64_t>;

struct QuarkRecord {
    std::string name;
    QuarkAttributes attributes;
    double mass_mev = 0.0;    // 246220.0 MeV x phi_factor, exactly in double arithmetic
    double phi_factor = 0.0;  // golden ratio to the power -phi_exponent, as stored bits
    std::int32_t phi_exponent = 0;
    std::uint8_t generation = 0;  // 1, 2 or 3
};

}  // namespace orbalin::quarks
