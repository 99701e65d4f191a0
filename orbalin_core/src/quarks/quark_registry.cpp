#include "quarks/quark_registry.hpp"

#include <array>
#include <bit>
#include <cstdint>
#include <string_view>

#include "common/byte_order.hpp"

namespace orbalin::quarks {
namespace {

// One row of the standard-model table, with its numbers as IEEE-754 bits.
struct QuarkRow {
    std::string_view name;
    std::uint8_t generation;
    std::int32_t phi_exponent;
    std::uint64_t mass_mev_bits;
    std::uint64_t phi_factor_bits;
};

// Masses are 246220.0 MeV times the inverse golden ratio to the power
// phi_exponent. Both numbers are stored as their exact bits; no power is
// computed at run time.
constexpr std::array<QuarkRow, 6> rows{{
    {"up", 1, 12, 0x4087e5537a0bcdc3, 0x3f6970f50cc34671},
    {"down", 1, 11, 0x409355055081af84, 0x3f749517d40e5239},
    {"strange", 2, 8, 0x40b47918dae43714, 0x3f95cc0f223b8f47},
    {"charm", 2, 5, 0x40d5ae692fec520d, 0x3fb715609f7c746b},
    {"bottom", 3, 4, 0x40e18a60719f80fb, 0x3fc2acc969c11045},
    {"top", 3, 0, 0x410e0e6000000000, 0x3ff0000000000000},
}};

}  // namespace

QuarkRegistry QuarkRegistry::new_empty() {
    return QuarkRegistry(common::fresh_hash_key());
}

QuarkRegistry QuarkRegistry::standard_model() {
    // The registry's key and one per record's attribute map, in one draw.
    std::array<common::HashKey, rows.size() + 1> keys;
    common::fresh_hash_keys(keys);
    QuarkRegistry registry(keys[0]);
    for (std::size_t i = 0; i < rows.size(); ++i) {
        const QuarkRow& row = rows[i];
        // An attribute map given its key allocates nothing until it is used.
        // Made in place in the map: QuarkRegistry::insert would move each record twice.
        registry.records_.insert_or_assign_with(row.name, [&] {
            return QuarkRecord{std::string(row.name),
                               QuarkAttributes(keys[i + 1]),
                               std::bit_cast<double>(row.mass_mev_bits),
                               std::bit_cast<double>(row.phi_factor_bits),
                               row.phi_exponent,
                               row.generation};
        });
    }
    return registry;
}

void QuarkRegistry::insert(QuarkRecord record) {
    // The map copies the key before it moves the record in.
    const std::string_view key = record.name;
    records_.insert_or_assign(key, std::move(record));
}

std::vector<std::string_view> QuarkRegistry::sorted_name_views() const {
    std::vector<std::string_view> names;
    names.reserve(records_.size());
    records_.for_each([&names](std::string_view key, const QuarkRecord& /*record*/) { names.push_back(key); });
    common::sort_by_bytes(names);
    return names;
}

const QuarkRecord* QuarkRegistry::find(std::string_view name) const {
    return records_.find(name);
}

}  // namespace orbalin::quarks
